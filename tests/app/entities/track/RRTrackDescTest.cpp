// Track descriptions: stream forms of the three versions, kinds, catalogue keys, the old
// property bag and copying from the catalogue.

#include <gtest/gtest.h>

#include <cstring>

#include "app/entities/RREntityRegistry.h"
#include "app/entities/RREntity_10.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/core/GXException.h"
#include "tests/app/entities/EntityTestSupport.h"

using namespace rr;
using rrtest::TBytes;

namespace {

std::unique_ptr<TRRTrackRouteDesc> Route(float l1, float angle = 0, float radius = 0, float l2 = 0) {
  auto r = std::make_unique<TRRTrackRouteDesc>();
  r->L1 = l1;
  r->Angle = angle;
  r->Radius = radius;
  r->L2 = l2;
  return r;
}

// A route record of version 2 without flex points.
TBytes& RouteBytes(TBytes& b, float shift, float l1, float angle, float radius, float l2, int version = 2) {
  b.I32(version);
  if (version == 2) b.F32(shift);
  return b.F32(l1).F32(angle).F32(radius).F32(l2).F32(0).F32(0).I32(0).F32(0).I32(0).I32(0);
}

// The base payload of a default description (version 2), written by the base class itself.
std::vector<uint8_t> BasePayload() {
  TRREntityDescription base;
  gx::TGXMemoryStream s;
  base.SaveToStream(s);
  return s.Data();
}

std::unique_ptr<TRREntityDescription> ReadRecordBytes(const std::vector<uint8_t>& bytes) {
  gx::TGXMemoryStream s(bytes);
  return TRREntityDescription::ReadRecord(s);
}

// Bitwise CRC-32 (reflected 0xEDB88320, start 0, no final inversion), independent of the table.
uint32_t Crc(const std::vector<float>& values) {
  uint32_t crc = 0;
  for (float f : values) {
    uint8_t bytes[4];
    std::memcpy(bytes, &f, 4);
    for (uint8_t byte : bytes) {
      crc ^= byte;
      for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ ((crc & 1) ? 0xEDB88320u : 0);
    }
  }
  return crc;
}

std::vector<uint8_t> Ansi(const std::string& s) {
  std::vector<uint8_t> d(s.begin(), s.end());
  d.push_back(0);
  return d;
}

std::vector<uint8_t> SingleBytes(float f) {
  std::vector<uint8_t> d(4);
  std::memcpy(d.data(), &f, 4);
  return d;
}

}  // namespace

TEST(RRTrackDesc, WritesVersion3WithTheFirstKindForEveryType) {
  TRRTrackDesc d(TRRTrackType::Switch);
  d.Manufacturer().SetText(0x0407, "Brettmann");
  d.TrackSystemName().SetText(0x0407, "Profil");
  d.SetTrackWidth(1);
  d.AddRoute(Route(10));
  d.AddRoute(Route(2, 0.5f, 36, 1));
  d.SetActiveRoute(1);
  d.SetHasBed(false);
  gx::TGXMemoryStream s;
  TRREntityDescription::WriteRecord(d, s);

  TBytes expected;
  expected.Guid(RRKindTrack[0]).Raw(BasePayload());
  expected.I32(3).U8(3).Text(0x0407, "Brettmann").Text(0x0407, "Profil").U8(1).I32(2);
  RouteBytes(expected, 0, 10, 0, 0, 0);
  RouteBytes(expected, 0, 2, 0.5f, 36, 1);
  expected.I32(1).U8(0).Str(RRDefaultTrackTextureName).Str(RRDefaultTrackTexturePath).I32(0);
  EXPECT_EQ(s.Data(), expected.Data);

  // Reading gives the same fields back.
  auto back = ReadRecordBytes(s.Data());
  auto* t = dynamic_cast<TRRTrackDesc*>(back.get());
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->Type(), TRRTrackType::Switch);
  EXPECT_EQ(t->RouteCount(), 2);
  EXPECT_FLOAT_EQ(t->Route(1)->Radius, 36);
  EXPECT_EQ(t->ActiveRoute(), 1);
  EXPECT_FALSE(t->HasBed());
  EXPECT_EQ(t->TrackWidth(), 1);
}

TEST(RRTrackDesc, ModelFileNamesOnlyForBufferStopsAndTurntables) {
  TRRTrackDesc stop(TRRTrackType::BufferStop);
  stop.BedModel().Model = TRRAssetFileName("Prellbock.x", "{X}\\Prellbock.x");
  stop.NoBedModel().Model = TRRAssetFileName("PrellbockOhne.x");
  TRRTrackDesc turntable(TRRTrackType::Turntable);
  turntable.TurntableModel().Model = TRRAssetFileName("Drehscheibe.x");

  for (TRRTrackDesc* d : {&stop, &turntable}) {
    gx::TGXMemoryStream s;
    TRREntityDescription::WriteRecord(*d, s);
    auto back = ReadRecordBytes(s.Data());
    auto* t = static_cast<TRRTrackDesc*>(back.get());
    EXPECT_EQ(t->Type(), d->Type());
    EXPECT_TRUE(t->BedModel().SameFile(d->BedModel()));
    EXPECT_TRUE(t->NoBedModel().SameFile(d->NoBedModel()));
    EXPECT_EQ(t->TurntableModel().Model.FileName, d->TurntableModel().Model.FileName);
  }
}

TEST(RRTrackDesc, Version1TakesTheTypeFromTheKindAndSkipsFourBytesBeforeModels) {
  // A buffer stop of version 1: no type byte, route version 1, 4 bytes before the two models, no
  // texture (the default stays).
  TBytes b;
  b.Guid("{8A62B600-3401-4935-8C9A-E587F667402B}").Raw(BasePayload());
  b.I32(1).Text(0x0407, "Kuhnel").Text(0, "").U8(3).I32(1);
  RouteBytes(b, 0, 5, 0, 0, 0, 1);
  b.I32(0).U8(1).I32(-1);
  b.Str("Bett.x").Str("").I32(0).Str("Ohne.x").Str("").I32(0);
  b.I32(0);  // child count
  auto d = ReadRecordBytes(b.Data);
  auto* t = dynamic_cast<TRRTrackDesc*>(d.get());
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->Type(), TRRTrackType::BufferStop);
  EXPECT_EQ(t->BedModel().Model.FileName, "Bett.x");
  EXPECT_EQ(t->NoBedModel().Model.FileName, "Ohne.x");
  EXPECT_EQ(t->Texture().RelativeName, RRDefaultTrackTexturePath);
  EXPECT_FLOAT_EQ(t->Route(0)->L1, 5);

  // Every one of the nine kinds reads into a track description of its type.
  for (int i = 0; i < RRTrackTypeCount; ++i) {
    const TRRRegisteredEntity* e = RegisteredEntities().FindByKind(gx::TGXGuid::Parse(RRKindTrack[i]));
    ASSERT_NE(e, nullptr);
    auto made = e->DescriptionClass->Create();
    ASSERT_TRUE(made->Is<TRRTrackDesc>());
    EXPECT_EQ(static_cast<int>(static_cast<TRRTrackDesc&>(*made).Type()), i);
    EXPECT_EQ(RRTrackTypeFromKind(gx::TGXGuid::Parse(RRKindTrack[i])), static_cast<TRRTrackType>(i));
  }
  EXPECT_THROW(RRTrackTypeFromKind(gx::TGXGuid::Parse(rrtest::kGroupKind)), EUnknownTrackType);
}

TEST(RRTrackDesc, Version2HasATypeByteButNoTexture) {
  TBytes b;
  b.Guid(RRKindTrack[0]).Raw(BasePayload());
  b.I32(2).U8(8).Text(0, "").Text(0, "").U8(3).I32(0).I32(0).U8(1);
  b.Str("Drehscheibe.x").Str("").I32(0);
  b.I32(0);
  auto d = ReadRecordBytes(b.Data);
  auto* t = static_cast<TRRTrackDesc*>(d.get());
  EXPECT_EQ(t->Type(), TRRTrackType::Turntable);
  EXPECT_EQ(t->TurntableModel().Model.FileName, "Drehscheibe.x");
  EXPECT_EQ(t->Texture().FileName, RRDefaultTrackTextureName);
}

TEST(RRTrackDesc, BadRecordsRaiseWithoutCrashing) {
  auto record = [](int version, uint8_t type, int64_t routeCount) {
    TBytes b;
    b.Guid(RRKindTrack[0]).Raw(BasePayload());
    b.I32(version).U8(type).Text(0, "").Text(0, "").U8(3).I32(routeCount);
    return b;
  };
  EXPECT_THROW(ReadRecordBytes(record(4, 0, 0).Data), EUnknownEntityDescription);
  EXPECT_THROW(ReadRecordBytes(record(0, 0, 0).Data), EUnknownEntityDescription);
  EXPECT_THROW(ReadRecordBytes(record(3, 9, 0).Data), EUnknownTrackType);
  // A route count beyond the remaining bytes, and a negative one, are refused before allocating.
  EXPECT_ANY_THROW(ReadRecordBytes(record(3, 0, 0x7FFFFFFF).Data));
  EXPECT_ANY_THROW(ReadRecordBytes(record(3, 0, -1).Data));

  // Every truncation of a valid record raises.
  TRRTrackDesc d(TRRTrackType::BufferStop);
  d.AddRoute(Route(5));
  gx::TGXMemoryStream s;
  TRREntityDescription::WriteRecord(d, s);
  for (size_t n = 0; n < s.Data().size(); ++n) {
    std::vector<uint8_t> cut(s.Data().begin(), s.Data().begin() + static_cast<long>(n));
    EXPECT_ANY_THROW(ReadRecordBytes(cut)) << n;
  }
}

TEST(RRTrackDesc, CatalogueKeyPrintsTheRouteChecksumSigned) {
  TRRTrackDesc d(TRRTrackType::Curve);
  d.Manufacturer().SetText(0x0407, "Brettmann");
  d.TrackSystemName().SetText(0x0407, "Profil");
  d.SetTrackWidth(3);
  d.Description().SetText(0x0407, "R1 30°");
  EXPECT_EQ(d.CatalogueKey(), "Brettmann\\Profil\\H0\\R1 30°\\0");  // no routes: checksum 0

  d.AddRoute(Route(0, 0.5235988f, 36.0f, 0));
  uint32_t crc = Crc({0, 0.5235988f, 36.0f, 0});
  EXPECT_EQ(RRTrackRouteChecksum(d.Routes()), crc);
  EXPECT_EQ(d.CatalogueKey(), "Brettmann\\Profil\\H0\\R1 30°\\" + std::to_string(static_cast<int32_t>(crc)));

  // Find a route whose checksum has the top bit set: it prints negative.
  for (int i = 1; i < 100; ++i) {
    d.Route(0)->L2 = static_cast<float>(i);
    uint32_t c = RRTrackRouteChecksum(d.Routes());
    if (c & 0x80000000u) {
      std::string key = d.CatalogueKey();
      EXPECT_NE(key.find("\\-"), std::string::npos) << key;
      EXPECT_EQ(key.substr(key.rfind('\\') + 1), std::to_string(static_cast<int32_t>(c)));
      break;
    }
  }

  // Descriptions differing only in one route's L2 get different keys.
  TRRTrackDesc other(TRRTrackType::Curve);
  other.AddRoute(Route(0, 0.5f, 36, 1));
  std::string k1 = other.CatalogueKey();
  other.Route(0)->L2 = 2;
  EXPECT_NE(k1, other.CatalogueKey());
}

TEST(RRTrackDesc, PropertyBagReadsOldClassNamesAndRoutesByExactPrefix) {
  TRREntityDescription_10 bag("trrswitchtrack", "TRRTrackDesc");  // case does not matter
  using P = TRREntityPropertyType_10;
  bag.AddProperty(P::String, "Manufacturer", Ansi("K\xFChnel"));  // Windows-1252
  bag.AddProperty(P::String, "TrackSystem", Ansi("Gleis K"));
  bag.AddProperty(P::String, "TrackWidth", Ansi("N"));
  bag.AddProperty(P::Integer, "ActiveRoute", {1, 0, 0, 0});
  bag.AddProperty(P::Single, "Route0:L1", SingleBytes(11));
  bag.AddProperty(P::Single, "Route1:Radius", SingleBytes(36));
  // Route 2 is missing; "Route10:" must not be taken for route 1 or 2, "XRoute2:" not for 2.
  bag.AddProperty(P::Single, "Route10:L1", SingleBytes(99));
  bag.AddProperty(P::Single, "XRoute2:L1", SingleBytes(99));
  TRRTrackDesc d;
  std::string model;
  d.LoadFromPropertyBag(bag, model);
  EXPECT_EQ(d.Type(), TRRTrackType::Switch);
  EXPECT_EQ(d.Manufacturer().GetText(), "Kühnel");
  EXPECT_EQ(d.Manufacturer().Items().at(0).Language, 1031);
  EXPECT_EQ(d.TrackSystemName().GetText(), "Gleis K");
  EXPECT_EQ(d.TrackWidth(), 1);
  EXPECT_EQ(d.ActiveRoute(), 1);
  EXPECT_TRUE(d.HasBed());
  ASSERT_EQ(d.RouteCount(), 2);
  EXPECT_FLOAT_EQ(d.Route(0)->L1, 11);
  EXPECT_FLOAT_EQ(d.Route(1)->Radius, 36);

  // Only "Route1:" present (no route 0): no routes. Missing width: H0.
  TRREntityDescription_10 onlyOne("TRRLinearTrack", "TRRTrackDesc");
  onlyOne.AddProperty(P::Single, "Route1:L1", SingleBytes(3));
  onlyOne.AddProperty(P::Boolean, "HasBed", {0});
  TRRTrackDesc e;
  e.LoadFromPropertyBag(onlyOne, model);
  EXPECT_EQ(e.Type(), TRRTrackType::Straight);
  EXPECT_EQ(e.RouteCount(), 0);
  EXPECT_EQ(e.TrackWidth(), 3);
  EXPECT_FALSE(e.HasBed());

  TRREntityDescription_10 unknown("TRRLinearTrackX", "TRRTrackDesc");
  EXPECT_THROW(e.LoadFromPropertyBag(unknown, model), EUnknownTrackType);
}

TEST(RRTrackDesc, AssignFromKeepsTextureAndFlexibleRoutes) {
  TRRTrackDesc catalogue(TRRTrackType::Switch);
  catalogue.Manufacturer().SetText(0x0407, "Brettmann");
  catalogue.SetTrackWidth(1);
  catalogue.AddRoute(Route(18.83f));
  catalogue.AddRoute(Route(0, 0.3927f, 43.7f));
  catalogue.Texture() = TRRAssetFileName("Katalog.dds", "{X}\\Katalog.dds");

  TRRTrackDesc placed(TRRTrackType::Switch);
  placed.SetActiveRoute(5);
  placed.Texture() = TRRAssetFileName("Eigene.dds");
  placed.AssignFrom(catalogue);
  EXPECT_EQ(placed.Manufacturer().GetText(), "Brettmann");
  EXPECT_EQ(placed.TrackWidth(), 1);
  ASSERT_EQ(placed.RouteCount(), 2);
  EXPECT_NE(placed.Route(0), catalogue.Route(0));  // copies
  EXPECT_EQ(placed.ActiveRoute(), 1);              // clamped to the new routes
  EXPECT_EQ(placed.Texture().FileName, "Eigene.dds");

  // A bent flexible track keeps its own routes when its catalogue entry is refreshed.
  TRRTrackDesc flexCatalogue(TRRTrackType::Flexible);
  flexCatalogue.AddRoute(Route(0))->FlexL = 50;
  TRRTrackDesc flexPlaced(TRRTrackType::Flexible);
  auto* bent = flexPlaced.AddRoute(Route(0));
  bent->FlexL = 50;
  bent->FlexPoints.resize(3);
  flexPlaced.AssignFrom(flexCatalogue);
  ASSERT_EQ(flexPlaced.RouteCount(), 1);
  EXPECT_EQ(flexPlaced.Route(0), bent);
}

TEST(RRTrackDesc, PropertyAccessCoversModelsConnectionsAndTexture) {
  TRRTrackDesc d(TRRTrackType::BufferStop);
  d.AddRoute(Route(5))->LastConnection[1] = 42;
  TRRPropertyAccessList list;
  d.GetPropertyAccess(list);
  EXPECT_EQ(list.OfType<TRRModelFileNameAccess>().size(), 2u);
  EXPECT_EQ(list.OfType<TRRAssetFileNameAccess>().size(), 1u);
  auto ids = list.OfType<TRREntityIDRefAccess>();
  ASSERT_EQ(ids.size(), 3u);  // link target and the two connections
  ids[2]->SetValue(7);
  EXPECT_EQ(d.Route(0)->LastConnection[1], 7);
}

TEST(RRTrackDesc, CorruptedRecordsEitherReadOrRaise) {
  // Every byte of a turntable and a buffer-stop record replaced by a few values: the reader either
  // reads something (which then writes and reads back) or raises; the sanitizers watch the rest.
  for (TRRTrackType type : {TRRTrackType::Turntable, TRRTrackType::BufferStop}) {
    TRRTrackDesc d(type);
    d.AddRoute(Route(25.8f))->FlexPoints.resize(2);
    d.AddRoute(Route(1, 0.5f, 36, 2));
    d.BedModel().Companions.resize(1);
    gx::TGXMemoryStream s;
    TRREntityDescription::WriteRecord(d, s);
    for (size_t i = 0; i < s.Data().size(); ++i)
      for (uint8_t v : {uint8_t{0x00}, uint8_t{0x7F}, uint8_t{0xFF}}) {
        std::vector<uint8_t> bytes = s.Data();
        bytes[i] = v;
        try {
          auto read = ReadRecordBytes(bytes);
          gx::TGXMemoryStream again;
          TRREntityDescription::WriteRecord(*read, again);
          ReadRecordBytes(again.Data());
        } catch (const std::runtime_error&) {
        }
      }
  }
}
