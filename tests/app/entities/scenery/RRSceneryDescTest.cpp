// The payloads and old-format keys of the scenery kinds: round trips, older primitive versions,
// unknown versions, counts beyond the record, and damaged numbers.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <fstream>
#include <iterator>
#include <limits>

#include "app/entities/RREntity_10.h"
#include "app/entities/scenery/RRBarrier.h"
#include "app/entities/scenery/RRPrimitive.h"
#include "app/entities/scenery/RRStreet.h"
#include "app/entities/scenery/RRVegetation.h"
#include "app/entities/scenery/RRVehicleBuilding.h"
#include "engine/core/GXSerialization.h"
#include "engine/core/GXStream.h"
#include "tests/app/entities/EntityTestSupport.h"

using namespace rr;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// The description read back from what save wrote; the whole record must be consumed.
template <class D>
std::unique_ptr<D> RoundTrip(const D& d) {
  gx::TGXMemoryStream s;
  d.SaveToStream(s);
  s.SetPosition(0);
  auto back = std::make_unique<D>();
  back->LoadFromStream(s);
  EXPECT_EQ(s.Position(), s.Size());
  return back;
}

// A record of the base class's payload followed by what tail writes.
template <class Base, class D>
std::unique_ptr<D> Read(const std::function<void(gx::TGXStream&)>& tail) {
  gx::TGXMemoryStream s;
  Base().SaveToStream(s);
  tail(s);
  s.SetPosition(0);
  auto d = std::make_unique<D>();
  d->LoadFromStream(s);
  return d;
}

TEST(SceneryDesc, PayloadsRoundTrip) {
  TRRVegetationDesc plant;
  plant.ScaleSeed = 1.0625f;
  EXPECT_EQ(RoundTrip(plant)->ScaleSeed, 1.0625f);
  EXPECT_EQ(plant.CADType(), RRVegetationCadType);

  TRRStreetDesc street;
  street.Contacts = {{{10, 0, 0}, 0}, {{-10, 0.5f, 2}, 3.1415927f}};
  const auto read = RoundTrip(street);
  const TRRStreetDesc& s = *read;
  ASSERT_EQ(s.Contacts.size(), 2u);
  EXPECT_EQ(s.Contacts[1].Position, gx::TGXVector3(-10, 0.5f, 2));
  EXPECT_EQ(s.Contacts[1].Angle, 3.1415927f);

  TRRVehicleBuildingDesc shed;
  shed.BayModel.Model = TRRAssetFileName("Stand.x");
  shed.ConnectorModel.Model = TRRAssetFileName("Keil.x");
  shed.BayCount = 5;
  shed.BendAngle = 0.3f;
  const auto b = RoundTrip(shed);
  EXPECT_EQ(b->BayModel.Model.FileName, "Stand.x");
  EXPECT_EQ(b->ConnectorModel.Model.FileName, "Keil.x");
  EXPECT_EQ(b->BayCount, 5);
  EXPECT_EQ(b->BendAngle, 0.3f);

  TRRPrimitiveDesc shape;
  shape.PrimitiveType = 7;
  shape.Scale = {2, 3, 4};
  shape.Sub().Diffuse = {0.1f, 0.2f, 0.3f};
  shape.Sub().ReflectionStrength = 0.5f;
  const auto p = RoundTrip(shape);
  EXPECT_EQ(p->PrimitiveType, 7);
  EXPECT_EQ(p->Scale, gx::TGXVector3(2, 3, 4));
  // Reading makes ambient and specular follow the diffuse colour.
  EXPECT_EQ(p->Sub().Ambient, gx::TGXVector3(0.1f, 0.2f, 0.3f));
  EXPECT_EQ(p->Sub().Specular, gx::TGXVector3(0.1f, 0.2f, 0.3f));
  EXPECT_EQ(p->Sub().ReflectionStrength, 0.5f);
  EXPECT_TRUE(p->Sub().AlphaTest);
  EXPECT_EQ(p->Sub().AlphaReference, 15);
  EXPECT_FALSE(TRRPrimitiveDesc().Sub().TwoSided);

  // The barrier has the model's payload only.
  TRRBarrierDesc barrier;
  barrier.ModelFile().Model = TRRAssetFileName("Schranke.x");
  EXPECT_EQ(RoundTrip(barrier)->ModelFile().Model.FileName, "Schranke.x");
}

TEST(SceneryDesc, ACatalogueRefreshKeepsAPlacedShedsLayoutAndGivesStreetsTheirEnds) {
  TRRVehicleBuildingDesc placed, catalogue;
  placed.BayCount = 2;
  placed.BendAngle = 0.2f;
  catalogue.BayModel.Model = TRRAssetFileName("Stand.x");
  catalogue.BayCount = 3;
  placed.AssignFrom(catalogue);
  EXPECT_EQ(placed.BayModel.Model.FileName, "Stand.x");
  EXPECT_EQ(placed.BayCount, 2);
  EXPECT_EQ(placed.BendAngle, 0.2f);
  TRRStreetDesc street, entry;
  entry.Contacts = {{{1, 2, 3}, 0.5f}};
  street.AssignFrom(entry);
  ASSERT_EQ(street.Contacts.size(), 1u);
  EXPECT_EQ(street.Contacts[0].Angle, 0.5f);
}

TEST(SceneryDesc, OlderPrimitiveVersionsFillTheMaterial) {
  for (int32_t version : {1, 2}) {
    auto d = Read<TRREntityDescription, TRRPrimitiveDesc>([&](gx::TGXStream& s) {
      gx::WriteInteger(s, version);
      gx::WriteByte(s, 2);
      gx::WriteVector3(s, {0.5f, 0.25f, 1});
      if (version == 1)
        gx::WriteWideString(s, "Ziegel.png");
      else
        TRRAssetFileName("Ziegel.png", "{X}\\Ziegel.png").WriteToStream(s);
      gx::WriteSingle(s, 2);
      gx::WriteSingle(s, 3);
      gx::WriteVector3(s, {4, 5, 6});
    });
    EXPECT_EQ(d->PrimitiveType, 2) << version;
    EXPECT_EQ(d->Scale, gx::TGXVector3(4, 5, 6)) << version;
    for (const gx::TGXVector3& c : {d->Sub().Ambient, d->Sub().Diffuse, d->Sub().Specular})
      EXPECT_EQ(c, gx::TGXVector3(0.5f, 0.25f, 1)) << version;
    EXPECT_EQ(d->Sub().DiffuseMap.FileName, "Ziegel.png") << version;
    EXPECT_EQ(d->Sub().DiffuseMap.RelativeName, version == 2 ? "{X}\\Ziegel.png" : "") << version;
    EXPECT_EQ(d->Sub().TextureScaling, gx::TGXVector2(2, 3)) << version;
  }
  // Version 3: an unknown type is a box, a damaged scale is (1, 1, 1).
  auto d = Read<TRREntityDescription, TRRPrimitiveDesc>([](gx::TGXStream& s) {
    gx::WriteInteger(s, 3);
    gx::WriteByte(s, 200);
    gx::WriteVector3(s, {kNaN, 1, 1});
    TRRPrimitiveDesc().Material.SaveToStream(s);
  });
  EXPECT_EQ(d->PrimitiveType, 0);
  EXPECT_EQ(d->Scale, gx::TGXVector3(1, 1, 1));
}

TEST(SceneryDesc, UnknownVersionsAndOverlongCountsRaise) {
  using TWrite = std::function<void(gx::TGXStream&)>;
  auto version = [](int32_t v) { return TWrite([v](gx::TGXStream& s) { gx::WriteInteger(s, v); }); };
  EXPECT_THROW((Read<TRRModelDesc, TRRVegetationDesc>(version(2))), EUnknownEntityDescription);
  EXPECT_THROW((Read<TRRModelDesc, TRRStreetDesc>(version(0))), EUnknownEntityDescription);
  EXPECT_THROW((Read<TRREntityDescription, TRRVehicleBuildingDesc>(version(2))), EUnknownEntityDescription);
  EXPECT_THROW((Read<TRREntityDescription, TRRPrimitiveDesc>(version(5))), EUnknownEntityDescription);
  EXPECT_THROW((Read<TRREntityDescription, TRRPrimitiveDesc>(version(0))), EUnknownEntityDescription);
  // A contact of another version raises before its fields; a count beyond the record before
  // anything is allocated.
  EXPECT_THROW((Read<TRRModelDesc, TRRStreetDesc>([](gx::TGXStream& s) {
                 gx::WriteInteger(s, 1);
                 gx::WriteInteger(s, 1);
                 gx::WriteInteger(s, 2);
                 gx::WriteVector3(s, {});
                 gx::WriteSingle(s, 0);
               })),
               EUnknownEntityDescription);
  EXPECT_THROW((Read<TRRModelDesc, TRRStreetDesc>([](gx::TGXStream& s) {
                 gx::WriteInteger(s, 1);
                 gx::WriteInteger(s, 2);
                 gx::WriteInteger(s, 1);
                 gx::WriteVector3(s, {});
                 gx::WriteSingle(s, 0);
               })),
               gx::EGXStreamReadError);
}

TEST(SceneryDesc, DamagedNumbersReadAsHarmlessValues) {
  const struct {
    float Seed, Want;
  } seeds[] = {{kNaN, 0}, {-2, 0}, {kInf, 0}, {1.1f, 1.1f}};
  for (const auto& c : seeds) {
    auto d = Read<TRRModelDesc, TRRVegetationDesc>([&](gx::TGXStream& s) {
      gx::WriteInteger(s, 1);
      gx::WriteSingle(s, c.Seed);
    });
    EXPECT_EQ(d->ScaleSeed, c.Want) << c.Seed;
  }
  const struct {
    int32_t Count;
    float Angle;
    int32_t WantCount;
    float WantAngle;
  } sheds[] = {{0, kNaN, 1, RRDefaultBendAngle}, {-7, 0.2f, 1, 0.2f}, {2000000000, kInf, 64, RRDefaultBendAngle},
               {12, -0.5f, 12, -0.5f}};
  for (const auto& c : sheds) {
    auto d = Read<TRREntityDescription, TRRVehicleBuildingDesc>([&](gx::TGXStream& s) {
      gx::WriteInteger(s, 1);
      TRRModelFileName().WriteToStream(s);
      TRRModelFileName().WriteToStream(s);
      gx::WriteInteger(s, c.Count);
      gx::WriteSingle(s, c.Angle);
    });
    EXPECT_EQ(d->BayCount, c.WantCount) << c.Count;
    EXPECT_EQ(d->BendAngle, c.WantAngle) << c.Count;
  }
  auto street = Read<TRRModelDesc, TRRStreetDesc>([](gx::TGXStream& s) {
    gx::WriteInteger(s, 1);
    gx::WriteInteger(s, 1);
    gx::WriteInteger(s, 1);
    gx::WriteVector3(s, {kNaN, 2, kInf});
    gx::WriteSingle(s, kNaN);
  });
  ASSERT_EQ(street->Contacts.size(), 1u);
  EXPECT_EQ(street->Contacts[0].Position, gx::TGXVector3(0, 2, 0));
  EXPECT_EQ(street->Contacts[0].Angle, 0);
}

TEST(SceneryDesc, OldFormatKeys) {
  using T = TRREntityPropertyType_10;
  using rrtest::BagBytes, rrtest::BagText;
  std::string model;
  TRREntityDescription_10 plantBag("TRRVegetation", "TRRVegetationDesc");
  const float seed = 1.12f;
  plantBag.AddProperty(T::Single, "ScaleSeed", BagBytes(&seed, 4));
  TRRVegetationDesc plant;
  plant.LoadFromPropertyBag(plantBag, model);
  EXPECT_EQ(plant.ScaleSeed, seed);

  TRREntityDescription_10 shedBag("TRRVehicleBuilding", "TRRVehicleBuildingDesc");
  const int32_t count = -3;
  const float angle = 0.5f;
  shedBag.AddProperty(T::Integer, "SubBuildingCount", BagBytes(&count, 4));
  shedBag.AddProperty(T::Single, "BendAngle", BagBytes(&angle, 4));
  shedBag.AddProperty(T::Filename, "ModelName", BagText("C:\\Modelle\\Schuppen.x"));
  TRRVehicleBuildingDesc shed;
  shed.LoadFromPropertyBag(shedBag, model);
  EXPECT_EQ(shed.BayCount, 1);
  EXPECT_EQ(shed.BendAngle, 0.5f);
  EXPECT_EQ(shed.BayModel.Model.FileName, "C:\\Modelle\\Schuppen.x");
  EXPECT_EQ(model, "Schuppen.x");

  TRREntityDescription_10 shapeBag("TRRPrimitive", "TRRPrimitiveDesc");
  const int32_t type = 3;
  const float colour[3] = {1, 0, 0.5f}, scaling[2] = {4, 2}, scale[3] = {2, 2, 1};
  shapeBag.AddProperty(T::Integer, "PrimitiveType", BagBytes(&type, 4));
  shapeBag.AddProperty(T::Vector3, "Color", BagBytes(colour, 12));
  shapeBag.AddProperty(T::Filename, "TextureName", BagText("Gras.png"));
  shapeBag.AddProperty(T::Vector2, "TexScaling", BagBytes(scaling, 8));
  shapeBag.AddProperty(T::Vector3, "PrimitiveScale", BagBytes(scale, 12));
  TRRPrimitiveDesc shape;
  shape.LoadFromPropertyBag(shapeBag, model);
  EXPECT_EQ(shape.PrimitiveType, 3);
  EXPECT_EQ(shape.Sub().Specular, gx::TGXVector3(1, 0, 0.5f));
  EXPECT_EQ(shape.Sub().DiffuseMap.FileName, "Gras.png");
  EXPECT_EQ(shape.Sub().TextureScaling, gx::TGXVector2(4, 2));
  EXPECT_EQ(shape.Scale, gx::TGXVector3(2, 2, 1));
  // Absent keys: a white box of size 1.
  TRRPrimitiveDesc plain;
  plain.LoadFromPropertyBag(TRREntityDescription_10("TRRPrimitive", "TRRPrimitiveDesc"), model);
  EXPECT_EQ(plain.Sub().Diffuse, gx::TGXVector3(1, 1, 1));
  EXPECT_EQ(plain.Scale, gx::TGXVector3(1, 1, 1));
}

}  // namespace

namespace {

TEST(SceneryDesc, TheFuzzSeedsAreSceneryRecords) {
  // The description fuzz target's seeds of the scenery kinds: the first byte picks the reader,
  // the rest is one record.
  const std::string folder = std::string(VELMORA_SOURCE_DIR) + "/fuzz/corpus/FuzzEntityDescription/";
  const struct {
    const char* File;
    const TRRDescriptionClass& Class;
  } cases[] = {{"plant-v1.bin", TRRVegetationDesc::StaticClass()},   {"plant-nan.bin", TRRVegetationDesc::StaticClass()},
               {"street-v1.bin", TRRStreetDesc::StaticClass()},      {"barrier.bin", TRRBarrierDesc::StaticClass()},
               {"shed-v1.bin", TRRVehicleBuildingDesc::StaticClass()}, {"shape-v2.bin", TRRPrimitiveDesc::StaticClass()}};
  for (const auto& c : cases) {
    std::ifstream in(folder + c.File, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 1u) << c.File;
    gx::TGXMemoryStream s(std::vector<uint8_t>(bytes.begin() + 1, bytes.end()));
    auto d = TRREntityDescription::ReadRecord(s);
    EXPECT_EQ(&d->GetClass(), &c.Class) << c.File;
    EXPECT_EQ(s.Position(), s.Size()) << c.File;
  }
}

}  // namespace
