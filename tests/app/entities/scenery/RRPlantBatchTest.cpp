// Plants drawn instanced on the null device: model entities of the real model readers (geometry
// left out, index counts put back so that sub-meshes draw) with materials of the real model
// effect, registered with a batch on the recording device. Covers one instanced draw per
// sub-mesh for the plants in view, separate groups per model, removed plants, and the plants
// that draw one by one.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

#include "app/entities/RRModel.h"
#include "app/entities/scenery/RRPlantBatch.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXEntity.h"
#include "engine/render/GXModelReader.h"
#include "engine/render/GXNullRenderDevice.h"
#include "engine/render/GXRenderTarget.h"
#include "engine/render/GXRenderer.h"
#include "engine/render/GXScene.h"
#include "tests/app/MaterialTestSupport.h"
#include "tests/app/ModelTestSupport.h"

using namespace rr;

namespace {

constexpr const char* kPackage = "{3C2B1A09-8F7E-4D6C-9B5A-4A3B2C1D0E0F}";

class TRRPlantBatchTest : public test::TMaterialTest {
 protected:
  void SetUp() override {
    TMaterialTest::SetUp();
    Models = std::make_unique<modeltest::TGeometryFreeModels>(&Resources);
    Install();
    PutFile(std::string(kPackage) + "\\Haus.x",
            modeltest::Write(modeltest::House(gx::EGXModelFormat::XFile)));
    PutFile(std::string(kPackage) + "\\Glashaus.x",
            modeltest::Write(modeltest::House(gx::EGXModelFormat::XFile, "Putz.png", 0.5f)));
    PutFile(std::string(kPackage) + "\\Muehle.3ds",
            modeltest::Write(modeltest::Windmill(gx::EGXModelFormat::Format3DS)));
    TRRPlantBatchDevice device;
    device.Device = &Device;
    device.MakeDeclaration = [](const gx::TGXVertexLayoutDecl& decl) {
      return gx::TGXRef<gx::TGXDeviceVertexDeclaration>(
          new gx::TGXNullVertexDeclaration("Instanzen", decl.Frequencies()));
    };
    Batch = gx::MakeRef<TRRPlantBatch>(std::move(device));
    Target = gx::MakeRef<gx::TGXRenderTarget>(64, 64);
    Target->SetSurfaces(gx::MakeRef<gx::TGXNullSurface>("Back", 64, 64, gx::GXFormatX8R8G8B8), nullptr);
    View = Target->AddViewport(0, 0, 1, 1);
    View->SetScene(&Scene);
    auto* eye = new gx::TGXSceneNode("Auge", Scene.Root());
    Camera = gx::MakeRef<gx::TGXCamera>();
    eye->AttachObject(Camera.Get());  // at the origin, looking along +z
  }
  void TearDown() override {
    View->SetScene(nullptr);
    Scene.Root()->DeleteChildren();
    Prepared.clear();
    Batch.Reset();
    TRRModelServices::Clear();
    Models.reset();
    TMaterialTest::TearDown();
  }

  // A plant of the file at the position, registered with the batch. The first plant of a file
  // gives the file's sub-meshes their index counts back, before any instance builds its
  // sub-entities from them.
  TRRModel* Plant(const std::string& file, const gx::TGXVector3& position, bool registered = true) {
    TRRModelDesc d;
    d.SetID(1);
    d.ModelFile().Model = TRRAssetFileName(file, std::string(kPackage) + "\\" + file);
    d.SetPosition(position);
    if (!Prepared.contains(file)) {
      // Kept, so the model (and its meshes) stays loaded.
      auto& first = Prepared[file];
      first.reset(TRRModel::StaticClass().Create(nullptr, nullptr, d));
      for (const gx::TGXImportedMesh& info :
           static_cast<TRRModel&>(*first).ModelEntity()->Model()->MeshInfos())
        for (int i = 0; i < info.Mesh->SubMeshCount(); ++i)
          info.Mesh->SubMesh(i)->IndexGeometry.IndexCount = 36;
    }
    auto* plant = static_cast<TRRModel*>(TRRModel::StaticClass().Create(Scene.Root(), nullptr, d));
    if (registered) Batch->RegisterPlant(*plant);
    return plant;
  }

  // Draws a frame; the draws as the device recorded them.
  std::vector<std::string> Draw() {
    Device.ClearCalls();
    View->SetCamera(Camera.Get());
    Renderer.Render(*View);
    std::vector<std::string> draws;
    for (const std::string& line : Device.Log())
      if (line.starts_with("Draw")) draws.push_back(line);
    return draws;
  }
  static int Instanced(const std::vector<std::string>& draws, int instances) {
    const std::string tail = ", " + std::to_string(instances) + ")";
    return int(std::count_if(draws.begin(), draws.end(), [&](const std::string& d) {
      return d.starts_with("DrawIndexedPrimitiveInstanced") && d.ends_with(tail);
    }));
  }
  static int Plain(const std::vector<std::string>& draws) {
    return int(std::count_if(draws.begin(), draws.end(),
                             [](const std::string& d) { return d.starts_with("DrawIndexedPrimitive("); }));
  }

  std::unique_ptr<modeltest::TGeometryFreeModels> Models;
  std::map<std::string, std::unique_ptr<TRREntity>> Prepared;
  gx::TGXNullRenderDevice Device;
  gx::TGXRenderer Renderer{Device, Parameters};
  gx::TGXRef<TRRPlantBatch> Batch;
  gx::TGXScene Scene;
  gx::TGXRef<gx::TGXRenderTarget> Target;
  gx::TGXViewport* View = nullptr;
  gx::TGXRef<gx::TGXCamera> Camera;
};

// The house has two meshes: the body (walls and roof) and the door.
constexpr int kHouseSubMeshes = 3;

TEST_F(TRRPlantBatchTest, ThePlantsInViewDrawOneInstancedCallPerSubMesh) {
  std::vector<TRRModel*> seen;
  for (int i = 0; i < 5; ++i) seen.push_back(Plant("Haus.x", {float(i * 6 - 12), 0, 40}));
  for (int i = 0; i < 2; ++i) Plant("Haus.x", {float(i * 6), 0, -40});  // behind the camera
  const std::vector<std::string> draws = Draw();
  EXPECT_EQ(Instanced(draws, 5), kHouseSubMeshes);
  EXPECT_EQ(Plain(draws), 0);
  EXPECT_EQ(Renderer.DrawCallCount(), kHouseSubMeshes);
  const std::vector<std::string> log = Device.Log();
  EXPECT_THAT(log, ::testing::Contains("SetVertexDeclaration(Instanzen, frequencies 0 1)"));
  // The instance data of both meshes (body and door) holds the plants in view only, in any order.
  auto expectPlantsInView = [&] {
    ASSERT_EQ(Batch->ActiveGroupCount(), 2);
    for (int g = 0; g < 2; ++g) {
      const TRRPlantGroup& group = Batch->ActiveGroup(g);
      ASSERT_EQ(group.Count(), 5u);
      std::vector<float> xs;
      for (size_t k = 0; k < group.Count(); ++k) {
        EXPECT_NEAR(group.Matrix(k).m[3][2], group.Matrix(0).m[3][2], 1e-4f);
        xs.push_back(std::round(group.Matrix(k).m[3][0] * 1000) / 1000);
      }
      std::sort(xs.begin(), xs.end());
      EXPECT_THAT(xs, ::testing::ElementsAre(-12, -6, 0, 6, 12));
    }
  };
  expectPlantsInView();
  // The plants' proxies add their matrices without the collector visiting their models; the next
  // frames gather them anew, and a moved plant takes its model along.
  for (TRRModel* p : seen) EXPECT_FALSE(p->ModelEntity()->RenderEnabled());
  for (int frame = 0; frame < 2; ++frame) {
    EXPECT_EQ(Instanced(Draw(), 5), kHouseSubMeshes);
    expectPlantsInView();
    for (TRRModel* p : seen) EXPECT_FALSE(p->ModelEntity()->RenderEnabled());
  }
  seen[0]->SetPosition({-12, 0, 44});
  Draw();
  float nearest = 1e9f, farthest = -1e9f;
  for (size_t k = 0; k < Batch->ActiveGroup(0).Count(); ++k) {
    nearest = std::min(nearest, Batch->ActiveGroup(0).Matrix(k).m[3][2]);
    farthest = std::max(farthest, Batch->ActiveGroup(0).Matrix(k).m[3][2]);
  }
  EXPECT_NEAR(farthest - nearest, 4, 1e-3f);
  // Selecting a plant gives it its own path again.
  seen[1]->Select();
  const std::vector<std::string> selected = Draw();
  EXPECT_TRUE(seen[1]->ModelEntity()->RenderEnabled());
  EXPECT_EQ(Instanced(selected, 4), kHouseSubMeshes);
  EXPECT_EQ(Plain(selected), kHouseSubMeshes);
}

TEST_F(TRRPlantBatchTest, TwoModelsGiveSeparateBatchesAndRemovedPlantsLeaveTheirs) {
  std::vector<TRRModel*> houses, mills;
  for (int i = 0; i < 3; ++i) houses.push_back(Plant("Haus.x", {float(i * 8 - 8), 0, 40}));
  for (int i = 0; i < 4; ++i) mills.push_back(Plant("Muehle.3ds", {float(i * 8 - 12), 0, 60}));
  std::vector<std::string> draws = Draw();
  EXPECT_EQ(Instanced(draws, 3), kHouseSubMeshes);
  EXPECT_EQ(Instanced(draws, 4), 2);  // tower and sails
  EXPECT_EQ(Batch->ActiveGroupCount(), 4);

  delete mills[0];
  draws = Draw();
  EXPECT_EQ(Instanced(draws, 3), kHouseSubMeshes + 2);
  // One mill left: it draws itself.
  delete mills[1];
  delete mills[2];
  draws = Draw();
  EXPECT_EQ(Instanced(draws, 3), kHouseSubMeshes);
  EXPECT_EQ(Plain(draws), 2);
}

// Where instancing does not apply, a plant draws its sub-meshes one by one; the others of its
// file are still drawn instanced.
TEST_F(TRRPlantBatchTest, PlantsWhereInstancingDoesNotApplyDrawThemselves) {
  struct TCase {
    const char* Name;
    int Plants;
    std::function<void(TRRModel&)> Change;  // applied to the first plant
    int InstancesOfTheOthers;               // 0: none drawn instanced
  } cases[] = {
      {"alone", 1, [](TRRModel&) {}, 0},
      {"selected", 3, [](TRRModel& p) { p.Select(); }, 2},
      {"technical view", 3, [](TRRModel& p) { p.UpdateView(true); }, 2},
      {"material of its own", 3,
       [](TRRModel& p) {
         TRRMaterialSubDesc own;
         own.Diffuse = {0.2f, 0.9f, 0.2f};
         own.ReflectionMode = RRReflectionPlanar;  // never shared
         TRRMaterialGenerator::ApplyMaterial(p.ModelEntity(), own);
       },
       2},
      {"not registered", 3, [](TRRModel& p) { TRRPlantBatch::Unregister(*p.ModelEntity()); }, 2},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<TRRModel*> plants;
    for (int i = 0; i < c.Plants; ++i) plants.push_back(Plant("Haus.x", {float(i * 8 - 8), 0, 40}));
    c.Change(*plants[0]);
    const std::vector<std::string> draws = Draw();
    EXPECT_EQ(Plain(draws), kHouseSubMeshes);
    if (c.InstancesOfTheOthers > 0) EXPECT_EQ(Instanced(draws, c.InstancesOfTheOthers), kHouseSubMeshes);
    EXPECT_EQ(int(draws.size()), kHouseSubMeshes * (c.InstancesOfTheOthers > 0 ? 2 : 1));
    // Back to normal, the first plant joins the others again.
    if (c.Plants > 1 && std::string(c.Name) == "selected") {
      plants[0]->Deselect();
      EXPECT_EQ(Instanced(Draw(), 3), kHouseSubMeshes);
    }
    for (TRRModel* p : plants) delete p;
  }
}

// What one frame drew: the device's draw lines and, per mesh, the matrices of its plants drawn
// instanced (each sorted: a plant handed back to the collector comes after the field's plants).
struct TFrame {
  std::vector<std::string> Draws;
  int DrawCalls = 0;
  int QueueItems = 0;
  std::map<const gx::TGXMesh*, std::vector<std::vector<float>>> Instances;
  bool operator==(const TFrame&) const = default;
};

// The plant field gives every frame what the plants' own proxies give, through moves, new and
// deleted plants, hidden and selected ones and a plant taken to another parent.
TEST_F(TRRPlantBatchTest, APlantFieldDrawsWhatThePlantsDrawThemselves) {
  struct TStep {
    const char* Name;
    std::function<void(std::vector<TRRModel*>&)> Change;
  };
  gx::TGXSceneNode* other = nullptr;  // a second parent, made in each run
  const TStep steps[] = {
      {"first frame", [](auto&) {}},
      {"taken over", [](auto&) {}},
      {"moved",
       [](auto& p) {
         p[3]->SetPosition({3, 1, 48});
       }},
      {"rotated in place",
       [](auto& p) {
         p[5]->SetRotation(gx::GXQuaternionRotationAxis({0, 1, 0}, 1.5707964f));
       }},
      {"added",
       [this](auto& p) {
         p.push_back(Plant("Haus.x", {20, 0, 44}));
       }},
      {"added and drawn", [](auto&) {}},
      {"deleted",
       [](auto& p) {
         delete p[1];
         p.erase(p.begin() + 1);
       }},
      {"hidden", [](auto& p) { p[2]->SetVisible(false); }},
      {"selected", [](auto& p) { p[4]->Select(); }},
      {"shown and deselected",
       [](auto& p) {
         p[2]->SetVisible(true);
         p[4]->Deselect();
       }},
      {"out of view",
       [](auto& p) {
         p[0]->SetPosition({0, 0, -40});
       }},
      {"moved to another parent",
       [&other](auto& p) {
         gx::TGXNode* plant = p[6];
         plant->Parent()->RemoveChild(plant);
         other->AddChild(plant);
       }},
      {"there", [](auto&) {}},
      {"technical view", [](auto& p) { p[5]->UpdateView(true); }},
      {"back", [](auto& p) { p[5]->UpdateView(false); }},
  };
  std::vector<TFrame> frames[2];
  int fieldPlants = 0;
  for (int fields = 0; fields < 2; ++fields) {
    Batch->SetPlantFields(fields == 1);
    other = new gx::TGXSceneNode("Beet", Scene.Root());
    std::vector<TRRModel*> plants;
    // Eight houses with proxies and an animated mill, which draws through its entities' hooks.
    for (int i = 0; i < 9; ++i)
      plants.push_back(Plant(i == 8 ? "Muehle.3ds" : "Haus.x", {float(i * 5 - 20), 0, 40}));
    for (const TStep& step : steps) {
      SCOPED_TRACE(step.Name);
      step.Change(plants);
      TFrame frame;
      frame.Draws = Draw();
      std::sort(frame.Draws.begin(), frame.Draws.end());
      frame.DrawCalls = Renderer.DrawCallCount();
      frame.QueueItems = Renderer.Queue().ItemCount();
      for (int g = 0; g < Batch->ActiveGroupCount(); ++g) {
        const TRRPlantGroup& group = Batch->ActiveGroup(g);
        auto& matrices = frame.Instances[group.Mesh()];
        // Rounded: the first plant of a group gives its entity's own matrix, the others their kept
        // place in the plant carried by the plant's matrix, and which plant comes first may differ.
        for (size_t k = 0; k < group.Count(); ++k) {
          std::vector<float> m(&group.Matrix(k).m[0][0], &group.Matrix(k).m[0][0] + 16);
          for (float& v : m) v = std::round(v * 1000) / 1000 + 0.0f;
          matrices.push_back(m);
        }
        std::sort(matrices.begin(), matrices.end());
      }
      frames[fields].push_back(frame);
      if (fields == 1 && std::string(step.Name) == "taken over")
        for (TRRModel* p : plants) fieldPlants += p->RenderEnabled() ? 0 : 1;
    }
    for (TRRModel* p : plants) delete p;
    delete other;
  }
  // The field took over the seven houses in view (their nodes are switched off for the
  // collector); the first house, left of the view, was never drawn and stays with the collector.
  EXPECT_EQ(fieldPlants, 7);
  ASSERT_EQ(frames[0].size(), frames[1].size());
  for (size_t i = 0; i < frames[0].size(); ++i) {
    SCOPED_TRACE(steps[i].Name);
    EXPECT_EQ(frames[1][i].Draws, frames[0][i].Draws);
    EXPECT_EQ(frames[1][i].DrawCalls, frames[0][i].DrawCalls);
    EXPECT_EQ(frames[1][i].QueueItems, frames[0][i].QueueItems);
    EXPECT_TRUE(frames[1][i].Instances == frames[0][i].Instances);
    EXPECT_GT(frames[0][i].DrawCalls, 0);
  }
}

TEST_F(TRRPlantBatchTest, BlendedSubMeshesKeepTheirMeshOutOfTheBatch) {
  // A see-through roof: the body (walls and roof) draws plant by plant, back to front; the door
  // is still instanced.
  for (int i = 0; i < 3; ++i) Plant("Glashaus.x", {float(i * 8 - 8), 0, 40});
  const std::vector<std::string> draws = Draw();
  EXPECT_EQ(Instanced(draws, 3), 1);
  EXPECT_EQ(Plain(draws), 3 * 2);
}

}  // namespace
