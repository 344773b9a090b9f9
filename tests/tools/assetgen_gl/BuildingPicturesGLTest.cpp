// The generated buildings, track models, vehicles and the cab drawn on a real GL device (llvmpipe)
// from the build's packages, the way the program shows them: each loads without the placeholder
// and without a missing-file report, and fills a fair part of its picture. The pictures go into
// building-pictures/ and vehicle-pictures/ of the test output folder, for a developer to look at.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "app/RRDatabase.h"
#include "app/RRMaterial.h"
#include "app/RRModelServices.h"
#include "app/RRProjectSerializer.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RRLight.h"
#include "app/entities/RRModel.h"
#include "app/entities/scenery/RRBarrier.h"
#include "app/entities/scenery/RRStreet.h"
#include "app/entities/scenery/RRVegetation.h"
#include "app/entities/track/RRCatenary.h"
#include "app/entities/RRTrackVehicle.h"
#include "app/entities/track/RRTrackParameters.h"
#include "engine/core/GXEngine.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXModelReader.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderWindow.h"
#include "engine/render/GXScene.h"
#include "tools/assetgen/RollingStock.h"
#include "tools/assetgen/TrackModels.h"

namespace {

using namespace rr;
using gx::TGXVector3;

constexpr uint32_t kWidth = 480, kHeight = 360;
constexpr uint32_t kBackground = 0xFF9DB8CFu;  // sky

class TBuildingPictures : public ::testing::Test {
 protected:
  void SetUp() override {
    Engine = gx::TGXEngine::CreateEngine();
    try {
      Engine->AttachRenderCore(std::make_unique<gx::TGXRenderCore>());
    } catch (const std::exception& e) {
      FAIL() << "No OpenGL 3.3 core context: " << e.what();
    }
    Engine->FileSystem().SetRoot("Game", VELMORA_CLI_DATA_DIR);
    Database = std::make_unique<TRRDatabase>(Engine->FileSystem(), std::vector<TRRAssetPath>{});
    TRRModelServices services;
    services.FileSystem = &Engine->FileSystem();
    services.Resources = &Engine->ResourceManager();
    services.ReportAssetError = [this](const TRRAssetFileName& file, std::exception_ptr) {
      Reports.push_back(file.EffectiveFileName());
    };
    services.Reflections = &Reflections;
    TRRModelServices::Install(services);
    Surface = std::make_unique<gx::TGXOffscreenSurface>(kWidth, kHeight);
    Window = gx::MakeRef<gx::TGXRenderWindow>(Surface.get());
    Eye = new gx::TGXSceneNode("Auge", Scene.Root());
    Camera = gx::MakeRef<gx::TGXCamera>();
    Eye->AttachObject(Camera.Get());
    Camera->SetPerspective(0.6f, 1, 2000);
    gx::TGXViewport* v = Window->AddViewport(0, 0, 1, 1);
    v->SetScene(&Scene);
    v->SetCamera(Camera.Get());
    v->SetClearColor(kBackground);
  }
  void TearDown() override {
    if (Window) Window->Viewport(0)->SetScene(nullptr);
    Window.Reset();
    Scene.Root()->DeleteChildren();
    TRRModelServices::Clear();
    Database.reset();
    Engine.reset();
  }

  // Looks at the box's centre from the front left and above (the street side is -z), far enough
  // for the whole box; renders and writes the picture. Returns the share of pixels the models
  // cover.
  double Picture(const std::string& name, const gx::TGXBoundingBox& box, float height = 0.55f,
                 float along = 1, const char* folderName = "building-pictures") {
    const TGXVector3 centre = (box.Min() + box.Max()) * 0.5f;
    const float radius = gx::GXVec3Length(box.Max() - box.Min()) / 2;
    const TGXVector3 dir = gx::GXVec3Normalize({0.6f, -height, along});
    const TGXVector3 eye = centre - dir * (radius / std::tan(0.3f) * 0.8f);
    Eye->SetPosition(eye);
    Eye->SetRotation(gx::GXQuaternionRotationYawPitchRoll(std::atan2(dir.x, dir.z), std::asin(-dir.y), 0));
    return Snap(name, folderName);
  }

  // Renders the view as it stands and writes the picture; the share of pixels covered.
  double Snap(const std::string& name, const char* folderName) {
    Window->RenderAll();
    const std::vector<uint32_t>& frame = Surface->Frame();
    const std::filesystem::path folder = std::filesystem::path(VELMORA_TEST_OUTPUT_DIR) / folderName;
    std::filesystem::create_directories(folder);
    const std::vector<uint8_t> png = RREncodePng(kWidth, kHeight, frame, false);
    std::ofstream(folder / (name + ".png"), std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
    size_t covered = 0;
    for (uint32_t p : frame) covered += (p & 0xFFFFFF) != (kBackground & 0xFFFFFF);
    return double(covered) / double(frame.size());
  }

  TRRModelEntity* Show(const TRRModelFileName& file, const TGXVector3& position = {0, 0, 0},
                       const gx::TGXQuaternion& rotation = {0, 0, 0, 1}) {
    TRRMaterialDesc materials;
    auto* e = new TRRModelEntity(Scene.Root(), &materials, file);
    e->SetPosition(position);
    e->SetRotation(rotation);
    Scene.Root()->Update(false);
    return e;
  }

  std::unique_ptr<gx::TGXEngine> Engine;
  std::unique_ptr<TRRDatabase> Database;
  TRRDefaultReflectionManager Reflections;
  std::vector<std::string> Reports;
  gx::TGXScene Scene;
  std::unique_ptr<gx::TGXOffscreenSurface> Surface;
  gx::TGXRef<gx::TGXRenderWindow> Window;
  gx::TGXSceneNode* Eye = nullptr;
  gx::TGXRef<gx::TGXCamera> Camera;
};

TEST_F(TBuildingPictures, EveryBuildingIsDrawnWithItsOwnTextures) {
  TRREntityDescriptionList models(false);
  Database->CollectCatalogByClass(TRRModelDesc::StaticClass(), models);
  int drawn = 0;
  for (TRREntityDescription* d : models) {
    if (d->CataloguePath().rfind("Gebäude\\", 0) != 0) continue;
    SCOPED_TRACE(d->CataloguePath());
    TRRModelEntity* e = Show(static_cast<TRRModelDesc*>(d)->ModelFile());
    EXPECT_TRUE(e->HasModel());
    EXPECT_FALSE(e->IsDummy());
    // Every sub-mesh that names a texture file is drawn with its companion.
    const TRRModelFileName& file = static_cast<TRRModelDesc*>(d)->ModelFile();
    const std::unique_ptr<gx::TGXMemoryStream> bytes =
        Engine->FileSystem().OpenFile(file.Model.EffectiveFileName());
    size_t fileTextures = 0, mapped = 0;
    for (const gx::TGXModelMesh& m : gx::GXReadModel(bytes->Memory(), bytes->Data().size()).Meshes)
      for (const gx::TGXModelSubMesh& sub : m.SubMeshes)
        fileTextures += !gx::GXModelIsColorName(sub.TextureName);
    for (int i = 0; i < e->Materials().Count(); ++i)
      for (const TRRAssetFileName& c : file.Companions)
        mapped += e->Materials().SubDesc(i).DiffuseMap.SameFile(c);
    EXPECT_EQ(mapped, fileTextures);
    EXPECT_GT(Picture(d->Name().GetText(), e->WorldBounds()), 0.08);
    delete e;
    ++drawn;
  }
  EXPECT_EQ(drawn, 10);
  EXPECT_TRUE(Reports.empty()) << Reports.front();
}

TEST_F(TBuildingPictures, TrackModelsAndTheSampleLayoutsBuildings) {
  const std::string shared = std::string(RRBasePackage2) + "\\";
  for (const char* file :
       {assetgen::BufferStopModelFile, assetgen::BufferStopNoBedModelFile, assetgen::TurntableModelFile}) {
    SCOPED_TRACE(file);
    TRRModelEntity* e = Show({TRRAssetFileName(std::string(RRGameRoot) + shared + file, shared + file), {}});
    EXPECT_FALSE(e->IsDummy());
    const std::string name =
        std::filesystem::path(std::string(file).substr(std::string(file).find('\\') + 1)).stem();
    EXPECT_GT(Picture(name, e->WorldBounds()), 0.05);
    delete e;
  }
  // The sample layout's buildings where the layout puts them, seen from above (its tracks are
  // drawn by the track tests).
  const std::string file = std::string(VELMORA_CLI_DATA_DIR) + "/Beispielanlagen/Kleine Beispielanlage.vmp";
  std::unique_ptr<gx::TGXMemoryStream> bytes = Engine->FileSystem().OpenFile(file);
  TRREntityDescriptionList list(true);
  TRRTrackParameters parameters{TRRTrackCatalogueSource()};
  TRRProjectSerializer(*bytes, &Engine->FileSystem()).ReadProject(file, &parameters, list, Database.get());
  int placed = 0, streets = 0, barriers = 0, plants = 0, masts = 0;
  std::vector<TRRModelEntity*> train;
  for (TRREntityDescription* d : list)
    if (auto* m = dynamic_cast<TRRModelDesc*>(d);
        m && !dynamic_cast<TRRCameraDesc*>(d) && !dynamic_cast<TRRLightDesc*>(d)) {
      TRRModelEntity* e = Show(m->ModelFile(), m->Position(), m->Rotation());
      EXPECT_FALSE(e->IsDummy());
      if (dynamic_cast<TRRTrackVehicleDesc*>(d))
        train.push_back(e);
      else if (dynamic_cast<TRRStreetDesc*>(d))
        ++streets;
      else if (dynamic_cast<TRRBarrierDesc*>(d))
        ++barriers;
      else if (dynamic_cast<TRRVegetationDesc*>(d))
        ++plants;
      else if (dynamic_cast<TRRCatenaryDesc*>(d))
        ++masts;
      else
        ++placed;
    }
  EXPECT_EQ(placed, 15);  // eight buildings, the pond, the tank, three signals and two desks
  EXPECT_EQ(streets, 9);
  EXPECT_EQ(barriers, 1);
  EXPECT_EQ(plants, 54);
  EXPECT_EQ(masts, 8);
  ASSERT_EQ(train.size(), 5u);  // the train
  Scene.Root()->Update(false);
  TGXVector3 lo = train[0]->WorldBounds().Min(), hi = train[0]->WorldBounds().Max();
  for (TRRModelEntity* e : train) {
    lo = gx::GXVec3Minimize(lo, e->WorldBounds().Min());
    hi = gx::GXVec3Maximize(hi, e->WorldBounds().Max());
  }
  EXPECT_GT(Picture("Zug", gx::BoxFromMinMax(lo, hi), 0.5f, -1, "vehicle-pictures"), 0.03);
  Scene.Root()->Update(false);
  EXPECT_GT(Picture("Beispielanlage", Scene.Root()->WorldBounds(), 1.4f), 0.03);
  EXPECT_TRUE(Reports.empty()) << Reports.front();
}

TEST_F(TBuildingPictures, EveryVehicleIsDrawnWithItsOwnTexturesAndItsCabFromInside) {
  TRREntityDescriptionList vehicles(false);
  Database->CollectCatalogByClass(TRRTrackVehicleDesc::StaticClass(), vehicles);
  int drawn = 0;
  for (TRREntityDescription* d : vehicles) {
    SCOPED_TRACE(d->CataloguePath());
    const TRRModelFileName& file = static_cast<TRRTrackVehicleDesc*>(d)->ModelFile();
    TRRModelEntity* e = Show(file);
    EXPECT_TRUE(e->HasModel());
    EXPECT_FALSE(e->IsDummy());
    // Every textured sub-mesh finds its companion.
    size_t mapped = 0;
    for (int i = 0; i < e->Materials().Count(); ++i)
      for (const TRRAssetFileName& c : file.Companions) mapped += e->Materials().SubDesc(i).DiffuseMap.SameFile(c);
    EXPECT_GE(mapped, file.Companions.size());
    // From the front quarter and from the rear quarter.
    EXPECT_GT(Picture(d->Name().GetText(), e->WorldBounds(), 0.35f, -1, "vehicle-pictures"), 0.04);
    EXPECT_GT(Picture(d->Name().GetText() + " hinten", e->WorldBounds(), 0.3f, 1, "vehicle-pictures"), 0.04);
    delete e;
    ++drawn;
  }
  EXPECT_EQ(drawn, 7);

  // The cab as its camera sees it: from the origin along +z at the cockpit's field of view, the
  // desk, panel and window frames filling much of the picture and the sky showing through the
  // windscreens.
  const TRRTrackVehicleDesc* electric = nullptr;
  for (TRREntityDescription* d : vehicles)
    if (!static_cast<TRRTrackVehicleDesc*>(d)->CockpitModel.Model.IsEmpty())
      electric = static_cast<TRRTrackVehicleDesc*>(d);
  ASSERT_NE(electric, nullptr);
  TRRModelEntity* cab = Show(electric->CockpitModel);
  EXPECT_FALSE(cab->IsDummy());
  Camera->SetPerspective(RRCockpitFieldOfView, 0.01f, 100);
  Eye->SetPosition({0, 0, 0});
  Eye->SetRotation({0, 0, 0, 1});
  const double covered = Snap("Fuehrerstand", "vehicle-pictures");
  EXPECT_GT(covered, 0.4);
  EXPECT_LT(covered, 0.95);
  delete cab;
  EXPECT_TRUE(Reports.empty()) << Reports.front();
}

}  // namespace
