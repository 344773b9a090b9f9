// Models with test importers: the order importers are tried in, what a refusing one leaves
// behind, the builder and CreateInstance. Meshes without vertices need no device.

#include <gtest/gtest.h>

#include "engine/core/GXException.h"
#include "engine/render/GXEntity.h"
#include "engine/render/GXModel.h"

namespace gx::test {
namespace {

class TBytesLoader : public TGXDataLoader {
 public:
  explicit TBytesLoader(std::string text) : FText(std::move(text)) {}
  std::unique_ptr<TGXMemoryStream> LoadData() override {
    return std::make_unique<TGXMemoryStream>(std::vector<uint8_t>(FText.begin(), FText.end()));
  }

 private:
  std::string FText;
};

// A model of two nodes: "Body" with one mesh entity, and under it "Wheel" with a track.
TGXModelData SampleData() {
  TGXModelData data;
  data.Format = EGXModelFormat::XFile;
  TGXModelMesh mesh;
  mesh.Name = "Mesh";
  mesh.SubMeshes.push_back({0, 0, "wood.png", {}, {}});
  mesh.SubMeshes.push_back({0, 0, GXModelColorName(1, 0, 0, 1), {}, {}});
  data.Meshes.push_back(mesh);
  TGXModelNode body;
  body.Name = "Body";
  body.Position = {1, 2, 3};
  body.Meshes = {0};
  TGXModelNode wheel;
  wheel.Name = "Wheel";
  wheel.Parent = 0;
  wheel.Scale = {2, 2, 2};
  data.Nodes = {body, wheel};
  data.RootMeshes = {0};
  data.HasAnimation = true;
  data.Animation.SecondsPerFrame = 0.5f;
  TGXModelTrack track;
  track.Name = "Wheel";
  track.RotationKeys = {{0, {}}, {4, {0, 1, 0, 0}}};
  data.Animation.Tracks.push_back(track);
  return data;
}

// Refuses unless the data starts with its tag, after making a node (which must not survive).
class TTagImporter : public TGXModelImporter {
 public:
  TTagImporter(TGXStream& stream, TGXSceneNode* target, const std::string& tag,
               std::vector<std::string>& log) {
    log.push_back(tag);
    new TGXSceneNode("Half-built " + tag, target);
    const std::vector<uint8_t> bytes = ReadAll(stream);
    if (std::string(bytes.begin(), bytes.end()).rfind(tag, 0) != 0)
      throw EUnknownModel({TGXExceptionArg::Object("TTagImporter"), "Not " + tag});
    target->DeleteChildren();
    Build(SampleData(), target);
  }
};

class TGXModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Saved = GXModelImporterClasses();
    for (const TGXModelImporterClass& c : Saved) UnregisterModelImporter(c.Name);
  }
  void TearDown() override {
    for (const TGXModelImporterClass& c : GXModelImporterClasses()) UnregisterModelImporter(c.Name);
    for (const TGXModelImporterClass& c : Saved) RegisterModelImporter(c.Name, c.Create);
  }
  void Register(const std::string& tag) {
    RegisterModelImporter(tag, [this, tag](TGXStream& s, TGXSceneNode* t) {
      return std::make_unique<TTagImporter>(s, t, tag, Log);
    });
  }
  IGXModel Load(const std::string& text) {
    IGXModel model = MakeRef<TGXModel>(nullptr, "Model", false);
    model->SetDataLoader(MakeRef<TBytesLoader>(text));
    try {
      model->Load();
    } catch (const EGXException& e) {
      Error = e.ClassName() + ": " + e.what();
    }
    return model;
  }

  std::vector<TGXModelImporterClass> Saved;
  std::vector<std::string> Log;
  std::string Error;
};

TEST_F(TGXModelTest, ImportersAreTriedInOrderEachOnAFreshTemplate) {
  Register("3DS");
  Register("X");
  Register("3DS");  // registered once only
  ASSERT_EQ(GXModelImporterClasses().size(), 2u);
  IGXModel model = Load("X file");
  ASSERT_TRUE(model->IsLoaded()) << Error;
  EXPECT_EQ(Log, (std::vector<std::string>{"3DS", "X"}));
  TGXSceneNode* root = model->GetTemplate();
  EXPECT_EQ(root->Name(), "");
  EXPECT_EQ(root->Parent(), nullptr);
  // Only the accepting importer's nodes: nothing of the refusing one's half-built tree.
  ASSERT_EQ(root->ChildCount(), 1);
  EXPECT_EQ(model->GetFirstNode()->Name(), "Body");
  EXPECT_TRUE(model->IsXFile());
  ASSERT_EQ(model->MeshInfos().size(), 1u);
  const TGXImportedMesh& info = model->GetMeshInfo(model->MeshInfos()[0].Mesh.Get());
  EXPECT_EQ(info.TextureNames, (std::vector<std::string>{"wood.png", std::string("\0FFFF0000", 9)}));
  EXPECT_EQ(info.Mesh->SubMeshCount(), 2);
  auto stranger = MakeRef<TGXMesh>(nullptr, "Mesh", true);
  EXPECT_THROW(model->GetMeshInfo(stranger.Get()), EGXException);
  ASSERT_TRUE(model->GetAnimation());
  EXPECT_FLOAT_EQ(model->GetAnimation()->GetSecondsPerFrame(), 0.5f);
  EXPECT_EQ(model->GetAnimation()->EndFrame(), 4u);
}

TEST_F(TGXModelTest, WithoutAnAcceptingImporterTheModelFails) {
  IGXModel none = Load("X");
  EXPECT_TRUE(none->IsFailed());
  EXPECT_NE(Error.find("EGXException"), std::string::npos) << Error;
  EXPECT_NE(Error.find("CreateInstance"), std::string::npos) << Error;
  Register("3DS");
  Register("X");
  IGXModel refused = Load("Neither");
  EXPECT_TRUE(refused->IsFailed());
  EXPECT_EQ(refused->GetTemplate(), nullptr);
  EXPECT_NE(Error.find("EUnknownModel"), std::string::npos) << Error;
  EXPECT_NE(Error.find("Not X"), std::string::npos) << Error;
}

TEST_F(TGXModelTest, InstancesCopyTheTemplate) {
  Register("X");
  IGXModel model = Load("X");
  ASSERT_TRUE(model->IsLoaded()) << Error;
  TGXSceneNode parent("Parent");
  auto* instance = new TGXSceneNode("Old name", &parent);
  model->CreateInstance(instance);
  // The template root's (empty) name, its entity, and copies of the children.
  EXPECT_EQ(instance->Name(), "");
  ASSERT_EQ(instance->ObjectCount(), 1);
  ASSERT_EQ(instance->ChildCount(), 1);
  auto* body = static_cast<TGXSceneNode*>(instance->Child(0));
  EXPECT_EQ(body->Name(), "Body");
  EXPECT_EQ(body->Position(), TGXVector3(1, 2, 3));
  ASSERT_EQ(body->ObjectCount(), 1);
  auto* entity = dynamic_cast<TGXEntity*>(body->Objects()[0]);
  ASSERT_NE(entity, nullptr);
  EXPECT_EQ(entity->Mesh(), model->MeshInfos()[0].Mesh);
  ASSERT_EQ(body->ChildCount(), 1);
  EXPECT_EQ(body->Child(0)->Name(), "Wheel");
  EXPECT_EQ(body->Child(0)->Scale(), TGXVector3(2, 2, 2));
  EXPECT_EQ(static_cast<TGXSceneNode*>(body->Child(0))->ObjectCount(), 0);
  // Instances hold the meshes, not the model.
  const IGXMesh mesh = model->MeshInfos()[0].Mesh;
  model.Reset();
  EXPECT_GE(mesh->RefCount(), 3);
}

TEST(TGXBuildModelTest, RefusesOversizedMeshesBeforeMakingAnything) {
  TGXModelData data = SampleData();
  TGXModelMesh big;
  big.Vertices.resize(GXMaxMeshVertices + 1);
  data.Meshes.push_back(big);
  TGXSceneNode target;
  EXPECT_THROW(GXBuildModel(data, &target), EInvalid32BitModel);
  EXPECT_EQ(target.ChildCount(), 0);
  data.Meshes.pop_back();
  data.Meshes[0].SubMeshes[0].IndexCount = 3;  // beyond the mesh's indices
  EXPECT_THROW(GXBuildModel(data, &target), EUnknownModel);
  EXPECT_EQ(target.ChildCount(), 0);
}

TEST(TGXBuildModelTest, NodesGoUnderTheirParentOrTheTarget) {
  TGXModelData data = SampleData();
  data.Nodes[0].Parent = 1;  // not before itself: the target takes both
  data.Nodes[1].Parent = 5;
  data.Nodes[0].Meshes = {0, 7};
  TGXSceneNode target;
  TGXBuiltModel built = GXBuildModel(data, &target);
  ASSERT_EQ(target.ChildCount(), 2);
  EXPECT_EQ(target.Child(0)->Name(), "Body");
  EXPECT_EQ(target.Child(1)->Name(), "Wheel");
  EXPECT_EQ(static_cast<TGXSceneNode*>(target.Child(0))->ObjectCount(), 1);
  EXPECT_EQ(target.ObjectCount(), 1);
  ASSERT_TRUE(built.Animation);
  EXPECT_TRUE(built.Animation->IsLoaded());
  // Without a target: meshes and animation only.
  TGXBuiltModel bare = GXBuildModel(data, nullptr);
  EXPECT_EQ(bare.Meshes.size(), 1u);
  EXPECT_TRUE(bare.Animation);
}

}  // namespace
}  // namespace gx::test
