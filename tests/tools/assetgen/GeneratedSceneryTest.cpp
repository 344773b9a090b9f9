// The scenery as the build generated it into its "Data" folder: catalogue entries of the right
// kinds whose contacts, plants' sizes, shed and primitives are as the program expects them, and a
// sample layout whose road crosses the station straight on the plate, joined end to end and
// guarded by the barrier, whose plants keep off the tracks and whose shed takes the siding.

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "app/RRDatabase.h"
#include "app/entities/scenery/RRBarrier.h"
#include "app/entities/scenery/RRPrimitive.h"
#include "app/entities/scenery/RRStreet.h"
#include "app/entities/scenery/RRVegetation.h"
#include "app/entities/scenery/RRVehicleBuilding.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/core/GXFileSystem.h"
#include "engine/render/GXDdsReader.h"
#include "engine/render/GXModelReader.h"
#include "tests/tools/assetgen/SampleLayoutSupport.h"
#include "tools/assetgen/EngineShed.h"
#include "tools/assetgen/ModelCatalogue.h"
#include "tools/assetgen/Plants.h"
#include "tools/assetgen/SceneryCatalogue.h"
#include "tools/assetgen/Streets.h"

namespace {

using namespace rr;
using gx::TGXVector3;

class TGeneratedScenery : public ::testing::Test {
 protected:
  void SetUp() override {
    FFileSystem.SetRoot("Game", VELMORA_CLI_DATA_DIR);
    FDatabase = std::make_unique<TRRDatabase>(FFileSystem, std::vector<TRRAssetPath>{});
  }
  const TRREntityDescription* Entry(const std::string& path) {
    TRREntityDescriptionList found(false);
    FDatabase->CollectCatalogByAsset(assetgen::ModelAssetID(path), found);
    return found.Count() == 1 ? found.Item(0) : nullptr;
  }
  gx::TGXModelData Model(const TRRModelFileName& file) {
    std::unique_ptr<gx::TGXMemoryStream> s = FFileSystem.OpenFile(file.Model.EffectiveFileName());
    return gx::GXReadModel(s->Data().data(), s->Data().size());
  }

  gx::TGXFileSystem FFileSystem;
  std::unique_ptr<TRRDatabase> FDatabase;
};

TEST_F(TGeneratedScenery, CatalogueEntriesCarryTheirKindsContactsAndModels) {
  for (const assetgen::TSceneryItem& s : assetgen::StreetModels()) {
    SCOPED_TRACE(s.Name);
    const auto* d =
        dynamic_cast<const TRRStreetDesc*>(Entry(assetgen::SceneryCataloguePath(s.Folder, s.Name)));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->CADType(), assetgen::StreetCadType);
    EXPECT_EQ(d->ModelFile().Model.FileName,
              std::string(assetgen::ModelSourceFolder) + "\\Landschaft\\Straßen\\" + s.FileName);
    ASSERT_EQ(d->Contacts.size(), s.Ends.size());
    for (size_t i = 0; i < s.Ends.size(); ++i) {
      EXPECT_LT(gx::GXVec3Length(d->Contacts[i].Position - s.Ends[i].Position), 1e-5f);
      EXPECT_FLOAT_EQ(d->Contacts[i].Angle, s.Ends[i].Angle);
    }
    EXPECT_FALSE(Model(d->ModelFile()).Meshes.empty());
  }
  const auto* barrier = dynamic_cast<const TRRBarrierDesc*>(
      Entry(assetgen::SceneryCataloguePath(assetgen::StreetFolder, "Schranke")));
  ASSERT_NE(barrier, nullptr);
  EXPECT_EQ(gx::GXModelEndFrame(Model(barrier->ModelFile()).Animation), 20u);

  for (const assetgen::TSceneryItem& p : assetgen::PlantModels()) {
    SCOPED_TRACE(p.Name);
    const auto* d =
        dynamic_cast<const TRRVegetationDesc*>(Entry(assetgen::SceneryCataloguePath(p.Folder, p.Name)));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->ScaleSeed, 0.0f);
    EXPECT_EQ(d->CADType(), RRVegetationCadType);
    // The leaves travel as DDS with alpha, which the program alpha-tests (SDK model folder).
    int alpha = 0;
    for (const TRRAssetFileName& c : d->ModelFile().Companions) {
      std::unique_ptr<gx::TGXMemoryStream> s = FFileSystem.OpenFile(c.EffectiveFileName());
      alpha += gx::GXReadDds(s->Data()).Format == uint32_t(gx::GXFormatDXT5);
    }
    EXPECT_GE(alpha, 1);
    EXPECT_EQ(d->ModelFile().Model.FileName.rfind(assetgen::ModelSourceFolder, 0), 0u);
  }

  const auto* shed = dynamic_cast<const TRRVehicleBuildingDesc*>(
      Entry(assetgen::SceneryCataloguePath(assetgen::ShedFolder, assetgen::ShedName)));
  ASSERT_NE(shed, nullptr);
  EXPECT_EQ(shed->Name().GetText(), "Lokschuppen");
  EXPECT_EQ(shed->BayCount, 3);
  EXPECT_FLOAT_EQ(shed->BendAngle, RRDefaultBendAngle);
  bool door = false;
  for (const gx::TGXModelNode& n : Model(shed->BayModel).Nodes) door |= n.Name == assetgen::ShedDoorNode;
  EXPECT_TRUE(door);
  EXPECT_FALSE(Model(shed->ConnectorModel).Meshes.empty());

  std::set<std::vector<float>> colours;
  for (int type = 0; type < 8; ++type) {
    const auto* d = dynamic_cast<const TRRPrimitiveDesc*>(
        Entry(assetgen::SceneryCataloguePath(assetgen::PrimitiveFolder, assetgen::PrimitiveNames[type])));
    ASSERT_NE(d, nullptr) << type;
    EXPECT_EQ(d->PrimitiveType, type);
    colours.insert({d->Sub().Diffuse.x, d->Sub().Diffuse.y, d->Sub().Diffuse.z});
  }
  EXPECT_EQ(colours.size(), 8u);
}

TEST_F(TGeneratedScenery, SampleCrossesTheStationOnThePlateAndTheShedTakesTheSiding) {
  assetgentest::TSampleLayout sample(FFileSystem, FDatabase.get());
  std::vector<TRRTrack*> tracks;
  std::vector<TRRStreet*> streets;
  std::vector<const TRRVegetationDesc*> plants;
  std::vector<const TRRBarrierDesc*> barriers;
  TRRVehicleBuilding* shed = nullptr;
  int sheds = 0;
  const gx::TGXGuid plateID = assetgen::ModelAssetID(
      assetgen::SceneryCataloguePath(assetgen::StreetFolder, assetgen::LevelCrossingName));
  TRRStreet* plate = nullptr;
  for (TRREntityDescription* d : sample.List) {
    if (auto* t = dynamic_cast<TRRTrackDesc*>(d)) {
      tracks.push_back(static_cast<TRRTrack*>(sample.Manager.CreateEntity(nullptr, *t)));
    } else if (dynamic_cast<TRRStreetDesc*>(d)) {
      streets.push_back(static_cast<TRRStreet*>(sample.Manager.CreateEntity(nullptr, *d)));
      if (d->AssetID() == plateID) plate = streets.back();
    } else if (auto* b = dynamic_cast<TRRBarrierDesc*>(d)) {
      barriers.push_back(b);
    } else if (auto* v = dynamic_cast<TRRVegetationDesc*>(d)) {
      plants.push_back(v);
    } else if (dynamic_cast<TRRVehicleBuildingDesc*>(d)) {
      shed = static_cast<TRRVehicleBuilding*>(sample.Manager.CreateEntity(nullptr, *d));
      ++sheds;
    }
  }
  sample.Host.Scene.Root()->Update(false);
  ASSERT_GE(tracks.size(), 17u);
  ASSERT_NE(plate, nullptr);
  EXPECT_GE(streets.size(), 6u);

  // The plate lies on the station straight, across it; both its road ends go on in a street.
  const TRRTrackRoute& station = *tracks[0]->GetRoute(0);
  const TGXVector3 at = plate->WorldPosition();
  float along = 0, nearest = 1e9f;
  for (float d = 0; d <= station.GetLength(); d += 0.01f) {
    const float gap = gx::GXVec3Length(station.GetWorldPosition(d) - at);
    if (gap < nearest) nearest = gap, along = d;
  }
  EXPECT_LT(nearest, 0.01f);
  EXPECT_GT(std::fabs(gx::GXVec3Dot(gx::RotateVector({1, 0, 0}, plate->WorldRotation()),
                                    station.GetWorldTangent(along))),
            0.9999f);
  for (const TRRStreetContact& own : plate->Contacts()) {
    const TGXVector3 p = plate->ContactWorldPosition(own);
    const TGXVector3 out = gx::RotateVector(own.Forward, plate->WorldRotation());
    int joined = 0;
    for (const TRRStreet* s : streets)
      for (const TRRStreetContact& c : s->Contacts())
        joined += s != plate && gx::GXVec3Length(s->ContactWorldPosition(c) - p) < 1e-3f &&
                  gx::GXVec3Dot(gx::RotateVector(c.Forward, s->WorldRotation()), out) < -0.9999f;
    EXPECT_EQ(joined, 1);
  }

  // The barrier stands on the ground at the plate's middle.
  ASSERT_EQ(barriers.size(), 1u);
  EXPECT_LT(std::hypot(barriers[0]->Position().x - at.x, barriers[0]->Position().z - at.z), 0.05f);
  EXPECT_NEAR(barriers[0]->Position().y, at.y, 1e-4f);

  // Every kind of plant, each with its own size, its trunk off every track.
  std::set<std::string> kinds;
  for (const TRRVegetationDesc* v : plants) {
    kinds.insert(v->Name().GetText());
    EXPECT_GE(v->ScaleSeed, 1.0f);
    EXPECT_LT(v->ScaleSeed, 1.0f + RRVegetationScaleSpread);
    for (const TRRTrack* t : tracks)
      for (int r = 0; r < t->GetRouteCount(); ++r)
        for (float d = 0; d <= t->GetRoute(r)->GetLength(); d += 0.5f) {
          const TGXVector3 p = t->GetRoute(r)->GetWorldPosition(d);
          ASSERT_GT(std::hypot(p.x - v->Position().x, p.z - v->Position().z), 3.0f) << v->Name().GetText();
        }
  }
  EXPECT_GE(plants.size(), 20u);
  EXPECT_EQ(kinds, (std::set<std::string>{"Laubbaum", "Nadelbaum", "Busch", "Ginsterbusch", "Hecke"}));

  // The siding runs into one of the shed's two or three bays: its last stretch lies on that bay's
  // track, inside it.
  ASSERT_EQ(sheds, 1);
  EXPECT_GE(shed->BayCount(), 2);
  EXPECT_LE(shed->BayCount(), assetgen::ShedBayCount);
  const TRRTrackRoute& siding = *tracks[15]->GetRoute(0);
  int taking = 0;
  for (int i = 0; i < shed->BayCount(); ++i) {
    gx::TGXMatrix inverse;
    ASSERT_TRUE(gx::GXMatrixInverse(inverse, nullptr, shed->Bay(i)->WorldMatrix()));
    bool inside = true;
    for (float d : {siding.GetLength() - 4, siding.GetLength()}) {
      const TGXVector3 p = gx::GXVec3TransformCoord(siding.GetWorldPosition(d), inverse);
      inside = inside && p.x > assetgen::ShedDoorX && p.x < assetgen::ShedBackX && std::fabs(p.z) < 0.5f;
    }
    taking += inside;
  }
  EXPECT_EQ(taking, 1);
}

}  // namespace
