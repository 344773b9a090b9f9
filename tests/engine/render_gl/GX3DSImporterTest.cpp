// The two importers of the engine (3DS and DirectX): registration order, what they make with and
// without a target node, and refusal of each other's files.
#include <gtest/gtest.h>

#include "engine/core/GXEngine.h"
#include "engine/render/GX3DSImporter.h"
#include "engine/render/GXModelWriter.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXXFileImporter.h"

namespace gx {
namespace {

class TImporterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Engine = TGXEngine::CreateEngine();
    try {
      Engine->AttachRenderCore(std::make_unique<TGXRenderCore>());
    } catch (const std::exception& e) {
      FAIL() << "No OpenGL 3.3 core context: " << e.what();
    }
  }
  void TearDown() override { Engine.reset(); }
  std::unique_ptr<TGXEngine> Engine;
};

// A mesh shown on a node with a child whose track has two keys.
TGXModelData Animated() {
  TGXModelData m;
  TGXModelMesh mesh;
  mesh.Name = "Haus";
  mesh.Vertices = {
      {{0, 0, 0}, {0, 1, 0}, {0, 0}}, {{1, 0, 0}, {0, 1, 0}, {1, 0}}, {{0, 0, 1}, {0, 1, 0}, {0, 1}}};
  mesh.Indices = {0, 2, 1};
  mesh.SubMeshes = {{0, 3, "Dach.png", {}, {}}};
  GXModelCalculateBounds(mesh);
  m.Meshes = {mesh};
  TGXModelNode root, door;
  root.Name = "Haus", root.Meshes = {0};
  door.Name = "Tuer", door.Parent = 0, door.Position = {2, 0, 0};
  m.Nodes = {root, door};
  m.HasAnimation = true;
  TGXModelTrack t;
  t.Name = "Tuer";
  t.PositionKeys = {{0, {2, 0, 0}}, {10, {2, 1, 0}}};
  m.Animation.Tracks = {t};
  return m;
}

TEST_F(TImporterTest, RegisteredThreeDSFirstAndOnlyOnce) {
  GXRegisterModelImporters();
  GXRegisterModelImporters();
  std::vector<std::string> names;
  for (const TGXModelImporterClass& c : GXModelImporterClasses()) names.push_back(c.Name);
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(std::count(names.begin(), names.end(), "TGX3DSImporter"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), "TGXXFileImporter"), 1);
  EXPECT_LT(std::find(names.begin(), names.end(), "TGX3DSImporter"),
            std::find(names.begin(), names.end(), "TGXXFileImporter"));
}

TEST_F(TImporterTest, NodesEntitiesAndAnimationWithAndWithoutTarget) {
  const TGXModelData model = Animated();
  struct TCase {
    const char* Name;
    std::vector<uint8_t> File;
    bool X;
  };
  const TCase cases[] = {{"3DS", GXWrite3DS(model), false}, {"X", GXWriteXFile(model), true}};
  for (const TCase& c : cases) {
    for (bool withTarget : {true, false}) {
      TGXSceneNode target("Ziel", nullptr);
      TGXMemoryStream s;
      s.WriteBuffer(c.File.data(), int64_t(c.File.size()));
      s.SetPosition(0);
      std::unique_ptr<TGXModelImporter> importer;
      if (c.X)
        importer = std::make_unique<TGXXFileImporter>(s, withTarget ? &target : nullptr);
      else
        importer = std::make_unique<TGX3DSImporter>(s, withTarget ? &target : nullptr);
      EXPECT_EQ(importer->IsXFile(), c.X) << c.Name;
      ASSERT_EQ(importer->MeshCount(), 1) << c.Name;
      EXPECT_EQ(importer->Mesh(0).TextureNames, std::vector<std::string>{"Dach.png"}) << c.Name;
      if (withTarget) {
        ASSERT_EQ(target.ChildCount(), 1) << c.Name;
        auto* house = static_cast<TGXSceneNode*>(target.Child(0));
        EXPECT_EQ(house->Name(), "Haus") << c.Name;
        EXPECT_EQ(house->ObjectCount(), 1) << c.Name << ": the mesh's entity";
        ASSERT_NE(house->FindChild("Tuer"), nullptr) << c.Name;
        ASSERT_TRUE(importer->Animation()) << c.Name;
        EXPECT_EQ(importer->Animation()->SubAnimationCount(), 1) << c.Name;
      } else {
        EXPECT_EQ(target.ChildCount(), 0) << c.Name;
        // The DirectX importer keeps its animation without a target; the 3DS one does not.
        EXPECT_EQ(bool(importer->Animation()), c.X) << c.Name;
      }
    }
  }
}

TEST_F(TImporterTest, EachRefusesTheOthersFiles) {
  const TGXModelData model = Animated();
  const std::vector<uint8_t> x = GXWriteXFile(model), threeDS = GXWrite3DS(model);
  TGXMemoryStream xs, ts;
  xs.WriteBuffer(x.data(), int64_t(x.size()));
  ts.WriteBuffer(threeDS.data(), int64_t(threeDS.size()));
  xs.SetPosition(0), ts.SetPosition(0);
  EXPECT_THROW(TGX3DSImporter(xs, nullptr), EUnknownModel);
  EXPECT_THROW(TGXXFileImporter(ts, nullptr), EUnknownModel);
}

}  // namespace
}  // namespace gx
