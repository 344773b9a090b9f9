// The buildings and track models as the build generated them into its "Data" folder: every model
// reads with the device-free reader, its textures travel along as decodable DDS companions, and
// the animations, the light cone and the colour-only model are where the catalogue promises them.

#include <gtest/gtest.h>
#include <squish.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "app/RRBareProjectHost.h"
#include "app/RRDatabase.h"
#include "app/RREntityManager.h"
#include "app/RRProjectSerializer.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RRController.h"
#include "app/entities/RRLight.h"
#include "app/entities/RRModel.h"
#include "app/entities/RRSignal.h"
#include "app/entities/RRTrackVehicle.h"
#include "app/entities/scenery/RRBarrier.h"
#include "app/entities/scenery/RRStreet.h"
#include "app/entities/scenery/RRVegetation.h"
#include "app/entities/track/RRCatenary.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackParameters.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXStrings.h"
#include "engine/render/GXDdsReader.h"
#include "engine/render/GXModelReader.h"
#include "tests/tools/assetgen/SampleLayoutSupport.h"
#include "tools/assetgen/Buildings.h"
#include "tools/assetgen/LayoutScenery.h"
#include "tools/assetgen/ModelCatalogue.h"
#include "tools/assetgen/Textures.h"
#include "tools/assetgen/TrackModels.h"

namespace {

using namespace rr;
using gx::TGXVector3;

struct TBounds {
  TGXVector3 Min{1e9f, 1e9f, 1e9f}, Max{-1e9f, -1e9f, -1e9f};
  TGXVector3 Size() const { return Max - Min; }
};

// The model's bounds with every node in its rest pose.
TBounds ModelBounds(const gx::TGXModelData& model) {
  std::vector<gx::TGXMatrix> world(model.Nodes.size());
  TBounds b;
  auto add = [&](const gx::TGXModelMesh& mesh, const gx::TGXMatrix& m) {
    for (const gx::TGXModelVertex& v : mesh.Vertices) {
      const TGXVector3 p = gx::GXVec3TransformCoord(v.Position, m);
      b.Min = gx::GXVec3Minimize(b.Min, p);
      b.Max = gx::GXVec3Maximize(b.Max, p);
    }
  };
  for (uint32_t m : model.RootMeshes) add(model.Meshes.at(m), gx::GXMatrixIdentity());
  for (size_t i = 0; i < model.Nodes.size(); ++i) {
    const gx::TGXModelNode& n = model.Nodes[i];
    world[i] = gx::GXMatrixTransformation(n.Scale, n.Rotation, n.Position);
    if (n.Parent >= 0) world[i] = world[i] * world[size_t(n.Parent)];
    for (uint32_t m : n.Meshes) add(model.Meshes.at(m), world[i]);
  }
  return b;
}

// The angle turned from key to key, summed (radians).
float TotalTurn(const gx::TGXModelTrack& t) {
  float total = 0;
  for (size_t i = 1; i < t.RotationKeys.size(); ++i) {
    const float d = std::fabs(gx::GXQuaternionDot(t.RotationKeys[i - 1].Value, t.RotationKeys[i].Value));
    total += 2 * std::acos(std::min(1.0f, d));
  }
  return total;
}

std::string FilePart(const std::string& path) { return path.substr(path.find_last_of("/\\") + 1); }

// Mean colour of 0xAARRGGBB pixels.
TGXVector3 Mean(const std::vector<uint32_t>& pixels) {
  double r = 0, g = 0, b = 0;
  for (uint32_t p : pixels) r += (p >> 16) & 255, g += (p >> 8) & 255, b += p & 255;
  const double n = double(pixels.size());
  return {float(r / n), float(g / n), float(b / n)};
}

class TGeneratedCatalogue : public ::testing::Test {
 protected:
  void SetUp() override {
    FFileSystem.SetRoot("Game", VELMORA_CLI_DATA_DIR);
    FDatabase = std::make_unique<TRRDatabase>(FFileSystem, std::vector<TRRAssetPath>{});
    ASSERT_TRUE(FDatabase->FindAsset(gx::TGXGuid::Parse(RRBasePackage1)));
    ASSERT_TRUE(FDatabase->FindAsset(gx::TGXGuid::Parse(RRBasePackage2)));
  }
  std::vector<uint8_t> Bytes(const std::string& virtualPath) {
    std::unique_ptr<gx::TGXMemoryStream> s = FFileSystem.OpenFile(virtualPath);
    return s->Data();
  }
  const TRRModelDesc* Entry(const std::string& path) {
    TRREntityDescriptionList found(false);
    FDatabase->CollectCatalogByAsset(assetgen::ModelAssetID(path), found);
    if (found.Count() != 1) return nullptr;
    return dynamic_cast<const TRRModelDesc*>(found.Item(0));
  }

  gx::TGXFileSystem FFileSystem;
  std::unique_ptr<TRRDatabase> FDatabase;
};

struct TExpectedBuilding {
  const char* Path;
  const char* File;
  const char* Form;      // the first bytes after "xof 0303", or "3DS"
  const char* Animated;  // an animated node, or null
  float Turn;            // degrees its rotation keys turn in all
  bool Loop;
  bool LightCone;
  bool ColoursOnly;
  float MinHeight, MaxHeight;
};

const TExpectedBuilding kBuildings[] = {
    {"Gebäude\\Bahnhöfe\\Landbahnhof", "Landbahnhof.3ds", "3DS", nullptr, 0, false, true, false, 10, 16},
    {"Gebäude\\Bahnhöfe\\Güterschuppen", "Gueterschuppen.x", "txt ", nullptr, 0, false, false, false, 6, 10},
    {"Gebäude\\Bahnbetrieb\\Stellwerk", "Stellwerk.x", "bin ", nullptr, 0, false, false, false, 8, 12},
    {"Gebäude\\Bahnbetrieb\\Wasserturm", "Wasserturm.3ds", "3DS", nullptr, 0, false, false, false, 16, 24},
    {"Gebäude\\Bahnbetrieb\\Lokschuppen", "Lokschuppen.x", "bzip", "TorLinks", 90, false, false, false, 8,
     12},
    {"Gebäude\\Wohnhäuser\\Einfamilienhaus", "Einfamilienhaus.3ds", "3DS", nullptr, 0, false, false, false, 8,
     12},
    {"Gebäude\\Wohnhäuser\\Stadthaus", "Stadthaus.3ds", "3DS", nullptr, 0, false, false, false, 12, 17},
    {"Gebäude\\Öffentliche Gebäude\\Dorfkirche", "Dorfkirche.3ds", "3DS", nullptr, 0, false, false, true, 20,
     30},
    {"Gebäude\\Landwirtschaft\\Bauernhaus", "Bauernhaus.x", "tzip", nullptr, 0, false, false, false, 10, 15},
    {"Gebäude\\Landwirtschaft\\Windmühle", "Windmuehle.x", "txt ", "Fluegel", 360, true, false, false, 18,
     26},
};

TEST_F(TGeneratedCatalogue, EveryBuildingReadsWithItsCompanionsAnimationsAndLightCone) {
  const std::string catalogueID = std::string(RRBasePackage1) + "\\";
  int lightCones = 0;
  for (const TExpectedBuilding& e : kBuildings) {
    SCOPED_TRACE(e.Path);
    const TRRModelDesc* d = Entry(e.Path);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->CataloguePath(), e.Path);
    EXPECT_EQ(d->Name().GetText(), FilePart(e.Path));
    EXPECT_EQ(d->CADType(), assetgen::BuildingCadType);
    EXPECT_EQ(d->Loop(), e.Loop);
    // Stored in the catalogue package under its SDK source name, never a path of the build machine.
    const TRRModelFileName& file = d->ModelFile();
    EXPECT_EQ(file.Model.FileName.rfind(assetgen::ModelSourceFolder, 0), 0u) << file.Model.FileName;
    EXPECT_EQ(FilePart(file.Model.FileName), e.File);
    EXPECT_EQ(file.Model.RelativeName.rfind(catalogueID, 0), 0u) << file.Model.RelativeName;

    const std::vector<uint8_t> bytes = Bytes(file.Model.EffectiveFileName());
    ASSERT_GT(bytes.size(), 16u);
    if (std::string(e.Form) == "3DS")
      EXPECT_TRUE(bytes[0] == 0x4D && bytes[1] == 0x4D);
    else
      EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 12), std::string("xof 0303") + e.Form);
    const gx::TGXModelData model = gx::GXReadModel(bytes.data(), bytes.size());

    // H0 size, standing on the ground.
    const TBounds b = ModelBounds(model);
    EXPECT_NEAR(b.Min.y, 0, 0.05f);
    EXPECT_GE(b.Size().y, e.MinHeight);
    EXPECT_LE(b.Size().y, e.MaxHeight);
    EXPECT_LT(std::max(b.Size().x, b.Size().z), 40.0f);
    EXPECT_GT(std::max(b.Size().x, b.Size().z), 5.0f);

    // Every texture the model names travels with it as a DDS companion of the same picture.
    std::set<std::string> names;
    for (const gx::TGXModelMesh& m : model.Meshes)
      for (const gx::TGXModelSubMesh& s : m.SubMeshes) {
        ASSERT_FALSE(s.TextureName.empty()) << m.Name;
        if (!gx::GXModelIsColorName(s.TextureName)) names.insert(s.TextureName);
      }
    EXPECT_EQ(names.empty(), e.ColoursOnly);
    EXPECT_EQ(file.Companions.size(), names.size());
    for (const std::string& name : names) {
      SCOPED_TRACE(name);
      const TRRAssetFileName* companion = nullptr;
      for (const TRRAssetFileName& c : file.Companions)
        if (gx::SameText(FilePart(c.FileName), name)) companion = &c;
      ASSERT_NE(companion, nullptr);
      EXPECT_EQ(companion->RelativeName.rfind(catalogueID, 0), 0u);
      const std::vector<uint8_t> dds = Bytes(companion->EffectiveFileName());
      const gx::TGXDdsImage image = gx::GXReadDds(dds);
      const assetgen::TImage painted = assetgen::PaintTexture(name);
      EXPECT_EQ(image.Width, painted.Width);
      EXPECT_EQ(image.Height, painted.Height);
      EXPECT_EQ(image.Format, painted.Alpha ? uint32_t(gx::GXFormatDXT5) : uint32_t(gx::GXFormatDXT1));
      EXPECT_EQ(image.Levels, uint32_t(std::log2(std::max(image.Width, image.Height))) + 1);
      // The top level decodes to the picture that was painted (same mean colour).
      const gx::TGXDdsSurface& top = image.Surface(0, 0);
      std::vector<uint8_t> rgba(size_t(top.Width) * top.Height * 4);
      squish::DecompressImage(rgba.data(), int(top.Width), int(top.Height), dds.data() + top.Offset,
                              painted.Alpha ? squish::kDxt5 : squish::kDxt1);
      std::vector<uint32_t> decoded;
      for (size_t i = 0; i < rgba.size(); i += 4)
        decoded.push_back((uint32_t(rgba[i]) << 16) | (uint32_t(rgba[i + 1]) << 8) | rgba[i + 2]);
      const TGXVector3 want = Mean(painted.Pixels), got = Mean(decoded);
      EXPECT_LT(gx::GXVec3Length(want - got), 6.0f);
    }

    // Animation where promised, on a node of that name.
    EXPECT_EQ(model.HasAnimation, e.Animated != nullptr);
    if (e.Animated) {
      const gx::TGXModelTrack* track = nullptr;
      for (const gx::TGXModelTrack& t : model.Animation.Tracks)
        if (t.Name == e.Animated) track = &t;
      ASSERT_NE(track, nullptr);
      bool node = false;
      for (const gx::TGXModelNode& n : model.Nodes) node |= n.Name == e.Animated;
      EXPECT_TRUE(node);
      EXPECT_NEAR(TotalTurn(*track) * 180 / gx::GX_PI, e.Turn, 1.0f);
      EXPECT_GT(gx::GXModelEndFrame(model.Animation), 25u);
    }
    bool cone = false;
    for (const gx::TGXModelNode& n : model.Nodes)
      if (n.Name.size() >= 2 && gx::SameText(n.Name.substr(0, 2), "lk") && !n.Meshes.empty()) cone = true;
    EXPECT_EQ(cone, e.LightCone);
    lightCones += cone;
  }
  EXPECT_EQ(lightCones, 1);
}

TEST_F(TGeneratedCatalogue, TrackModelsFitTheTrackThatShowsThem) {
  const std::string shared = std::string(RRGameRoot) + RRBasePackage2 + "\\";
  struct TCase {
    const char* File;
    bool Bed;
  };
  for (const TCase& c :
       {TCase{assetgen::BufferStopModelFile, true}, TCase{assetgen::BufferStopNoBedModelFile, false}}) {
    SCOPED_TRACE(c.File);
    const std::vector<uint8_t> bytes = Bytes(shared + c.File);
    const TBounds b = ModelBounds(gx::GXReadModel(bytes.data(), bytes.size()));
    // Within the bed's width, at the start of the route, the buffers above the rails.
    EXPECT_GE(b.Min.x, -2.5f);
    EXPECT_LE(b.Max.x, 2.5f);
    EXPECT_LE(b.Max.z, 7.5f);
    EXPECT_GT(b.Max.y, 1.8f);
    EXPECT_LT(b.Max.y, 3.0f);
    // Only the bedded one closes the bed's end before the route's start.
    EXPECT_EQ(b.Min.z < -0.5f, c.Bed);
    EXPECT_NEAR(b.Min.y, 0, c.Bed ? 0.01f : 0.65f);
  }
  const std::vector<uint8_t> bytes = Bytes(shared + assetgen::TurntableModelFile);
  const gx::TGXModelData turntable = gx::GXReadModel(bytes.data(), bytes.size());
  const TBounds b = ModelBounds(turntable);
  EXPECT_NEAR(b.Size().x, assetgen::TurntableModelDiameter, 0.05f);
  EXPECT_NEAR(b.Size().z, assetgen::TurntableModelDiameter, 0.05f);
  EXPECT_NEAR(b.Min.x + b.Max.x, 0, 0.05f);
  EXPECT_NEAR(b.Min.z + b.Max.z, 0, 0.05f);
  // The hut rides on the bridge: "Haus" lies below "Rad".
  int bridge = -1, hut = -1;
  for (size_t i = 0; i < turntable.Nodes.size(); ++i) {
    if (turntable.Nodes[i].Name == "Rad") bridge = int(i);
    if (turntable.Nodes[i].Name == "Haus") hut = int(i);
  }
  ASSERT_GE(bridge, 0);
  ASSERT_GE(hut, 0);
  int up = hut;
  while (up >= 0 && up != bridge) up = turntable.Nodes[size_t(up)].Parent;
  EXPECT_EQ(up, bridge);
}

TEST_F(TGeneratedCatalogue, SampleLayoutKeepsItsBuildingsClearOfTheTrack) {
  assetgentest::TSampleLayout sample(FFileSystem, FDatabase.get());
  TRREntityDescriptionList& list = sample.List;
  TRREntityManager& manager = sample.Manager;
  auto& host = sample.Host;
  std::vector<std::pair<std::string, assetgen::TBox>> models, signals;
  std::vector<std::pair<std::string, assetgen::TBox>> tracks;
  std::vector<TRRTrack*> trackEntities;
  int bufferStops = 0;
  int lights = 0;
  int cameras = 0;
  int vehicles = 0;
  std::vector<gx::TGXVector3> masts;
  for (TRREntityDescription* d : list) {
    if (auto* l = dynamic_cast<TRRLightDesc*>(d)) {
      // The light with the day, night and dusk presets, showing the catalogue's bulb.
      ++lights;
      ASSERT_EQ(l->Presets().size(), 3u);
      EXPECT_EQ(l->Presets()[2].Name.GetText(), "Dämmerung");
      EXPECT_EQ(FDatabase->FindAssetIDByPath("Birne.gxmodel"), l->AssetID());
      EXPECT_FALSE(Bytes(l->ModelFile().Model.EffectiveFileName()).empty());
    } else if (auto* c = dynamic_cast<TRRCameraDesc*>(d)) {
      // The three fixed cameras and the placed view; they show no catalogue model.
      ++cameras;
      (void)c;
    } else if (dynamic_cast<TRRTrackVehicleDesc*>(d)) {
      // The train stands on the track (RollingStockTest checks it).
      ++vehicles;
    } else if (auto* mast = dynamic_cast<TRRCatenaryDesc*>(d)) {
      // A catenary mast beside the line (its arm and wire reach over the track).
      TRREntityDescriptionList entries(false);
      FDatabase->CollectCatalogByAsset(mast->AssetID(), entries);
      ASSERT_EQ(entries.Count(), 1);
      EXPECT_EQ(entries.Item(0)->CataloguePath().rfind("Oberleitung\\", 0), 0u);
      masts.push_back(mast->Position());
    } else if (dynamic_cast<TRRStreetDesc*>(d) || dynamic_cast<TRRBarrierDesc*>(d) ||
               dynamic_cast<TRRVegetationDesc*>(d)) {
      // Streets, the barrier and the plants (GeneratedSceneryTest checks them).
    } else if (auto* m = dynamic_cast<TRRModelDesc*>(d)) {
      // A building, a piece of scenery (pond, tank), a signal or a control desk of the catalogue,
      // shown as the catalogue package holds it, where the layout puts it.
      TRREntityDescriptionList entries(false);
      FDatabase->CollectCatalogByAsset(m->AssetID(), entries);
      ASSERT_EQ(entries.Count(), 1) << m->Name().GetText();
      const std::string path = entries.Item(0)->CataloguePath();
      const bool signal = dynamic_cast<TRRSignalDesc*>(m) != nullptr;
      EXPECT_EQ(path.rfind(signal ? "Signale\\" : dynamic_cast<TRRControllerDesc*>(m) ? "Steuerung\\" : "", 0), 0u)
          << path;
      const std::vector<uint8_t> data = Bytes(m->ModelFile().Model.EffectiveFileName());
      gx::TGXModelData model = gx::GXReadModel(data.data(), data.size());
      // A signal's arm, disc or plate turns in place, within the footprint of its rest pose.
      if (signal) model.HasAnimation = false;
      (signal ? signals : models)
          .push_back({m->Name().GetText(), assetgen::PlacedModelBox(model, m->Position(), m->Rotation())});
    } else if (auto* t = dynamic_cast<TRRTrackDesc*>(d)) {
      // The buffer stop shows the shared package's models, with and without bed.
      if (t->Type() == TRRTrackType::BufferStop) {
        ++bufferStops;
        for (const TRRModelFileName* m : {&t->BedModel(), &t->NoBedModel()}) {
          const std::vector<uint8_t> data = Bytes(m->Model.EffectiveFileName());
          EXPECT_FALSE(gx::GXReadModel(data.data(), data.size()).Meshes.empty());
        }
      }
      trackEntities.push_back(static_cast<TRRTrack*>(manager.CreateEntity(nullptr, *d)));
    }
  }
  EXPECT_EQ(bufferStops, 1);
  EXPECT_EQ(lights, 1);
  EXPECT_EQ(cameras, 7);  // three of every layout, over the layout, signal, crossing and shed
  EXPECT_EQ(vehicles, 5);
  host.Scene.Root()->Update(false);
  for (TRRTrack* t : trackEntities) {
    // The engine's own world box of the track entity.
    assetgen::TBox box;
    box.Add(t->WorldBounds().Min());
    box.Add(t->WorldBounds().Max());
    tracks.push_back({t->Name(), box});
  }
  std::set<std::string> names;
  for (const auto& [name, box] : models) names.insert(name);
  EXPECT_EQ(names, (std::set<std::string>{"Landbahnhof", "Güterschuppen", "Lokschuppen", "Wasserturm",
                                          "Dorfkirche", "Einfamilienhaus", "Stadthaus", "Windmühle", "Teich",
                                          "Tank", "Weichenschalter", "Fahrregler"}));
  // Signals stand close beside the line, but no train touches them: every point of every route
  // keeps more than half a wagon's width (1.5) from each signal's box in plan, and each signal
  // stands within 5 of some route.
  ASSERT_EQ(signals.size(), 3u);
  for (const auto& [name, box] : signals) {
    float nearest = 1e9f;
    for (TRRTrack* t : trackEntities)
      for (int r = 0; r < t->GetRouteCount(); ++r)
        for (float at = 0; at <= t->GetRoute(r)->GetLength(); at += 0.5f) {
          const gx::TGXVector3 p = t->GetRoute(r)->GetWorldRailPosition(at);
          const float dx = std::max({box.Min.x - p.x, 0.0f, p.x - box.Max.x});
          const float dz = std::max({box.Min.z - p.z, 0.0f, p.z - box.Max.z});
          nearest = std::min(nearest, std::sqrt(dx * dx + dz * dz));
        }
    EXPECT_GT(nearest, 1.5f) << name;
    EXPECT_LT(nearest, 5.0f) << name;
  }
  // Eight masts, each pole clear of the routes but close beside one.
  ASSERT_EQ(masts.size(), 8u);
  for (const gx::TGXVector3& m : masts) {
    float nearest = 1e9f;
    for (TRRTrack* t : trackEntities)
      for (int r = 0; r < t->GetRouteCount(); ++r)
        for (float at = 0; at <= t->GetRoute(r)->GetLength(); at += 0.5f) {
          const gx::TGXVector3 p = t->GetRoute(r)->GetWorldRailPosition(at);
          nearest = std::min(nearest, std::hypot(p.x - m.x, p.z - m.z));
        }
    EXPECT_GT(nearest, 1.5f);
    EXPECT_LT(nearest, 8.0f);
  }
  ASSERT_GE(tracks.size(), 16u);
  for (const auto& [name, box] : models)
    for (const auto& [track, t] : tracks) EXPECT_FALSE(box.MeetsInPlan(t)) << name << " meets " << track;
  for (size_t i = 0; i < models.size(); ++i)
    for (size_t j = i + 1; j < models.size(); ++j)
      EXPECT_FALSE(models[i].second.MeetsInPlan(models[j].second)) << models[i].first << " meets " << models[j].first;
  // The station stands at the oval's straight and the goods shed at the siding: their boxes come
  // within a unit of the first piece and of the siding's straight (the sixteenth).
  auto gap = [](const assetgen::TBox& a, const assetgen::TBox& b) {
    return std::max({a.Min.x - b.Max.x, b.Min.x - a.Max.x, a.Min.z - b.Max.z, b.Min.z - a.Max.z});
  };
  for (const auto& [name, box] : models) {
    if (name == "Landbahnhof") {
      EXPECT_LT(gap(box, tracks[0].second), 1.0f);
    } else if (name == "Güterschuppen") {
      EXPECT_LT(gap(box, tracks[15].second), 1.0f);
    }
  }
}

}  // namespace
