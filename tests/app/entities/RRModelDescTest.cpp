// Model descriptions: the stream forms of the three versions, refusals, the old property bag,
// property access and copying from the catalogue.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>

#include "app/entities/RREntityRegistry.h"
#include "app/entities/RREntity_10.h"
#include "app/entities/RRModel.h"
#include "engine/core/GXException.h"
#include "tests/app/entities/EntityTestSupport.h"

using namespace rr;
using rrtest::TBytes;

namespace {

// The base payload of a default description, written by the base class itself.
std::vector<uint8_t> BasePayload() {
  TRREntityDescription base;
  gx::TGXMemoryStream s;
  base.SaveToStream(s);
  return s.Data();
}

// A model file name: the model's two strings and the companions' pairs.
TBytes& ModelFileBytes(TBytes& b, const std::string& file, const std::string& relative,
                       const std::vector<std::string>& companions) {
  b.Str(file).Str(relative).I32(static_cast<int64_t>(companions.size()));
  for (const std::string& c : companions) b.Str(c).Str("");
  return b;
}

// A material description of version 1 with one entry, spelled out field by field.
TBytes& MaterialBytes(TBytes& b, int32_t version = 1) {
  b.I32(version).I32(1).Str("Root\\Mesh_0\\SubMesh_0");
  b.U8(1).U8(1).Vec(0.8f, 0.8f, 0.8f).Vec(0.9f, 0.9f, 0.9f).Vec(1, 1, 1);
  b.Str("Holz.png").Str("{X}\\Holz.png").F32(1).F32(1);
  return b.U8(0).I32(0).U8(0).F32(1).U8(0).F32(0).U8(0).F32(0);
}

// A model record of the version; version 3 takes loop, start time and speed.
std::vector<uint8_t> ModelRecord(int32_t version, bool enabled, uint8_t cadType, bool loop = true,
                                 float startTime = 0, float speed = 1) {
  TBytes b;
  b.Guid(RRKindModel).Raw(BasePayload()).I32(version);
  ModelFileBytes(b, "Game:\\{P}\\Haus.x", "{P}\\Haus.x", {"Game:\\{P}\\Putz.dds"});
  if (version == 2) MaterialBytes(b);
  b.U8(enabled).U8(cadType);
  if (version == 3) b.U8(loop).F32(startTime).F32(speed);
  return b.I32(0).Data;
}

std::unique_ptr<TRREntityDescription> Read(const std::vector<uint8_t>& bytes) {
  gx::TGXMemoryStream s(bytes);
  auto d = TRREntityDescription::ReadRecord(s);
  EXPECT_EQ(s.Position(), s.Size());
  return d;
}

std::vector<uint8_t> Written(const TRREntityDescription& d) {
  gx::TGXMemoryStream s;
  TRREntityDescription::WriteRecord(d, s);
  return s.Data();
}

const TRRModelDesc& AsModel(const std::unique_ptr<TRREntityDescription>& d) {
  const auto* m = dynamic_cast<const TRRModelDesc*>(d.get());
  EXPECT_NE(m, nullptr);
  return *m;
}

}  // namespace

TEST(RRModelDesc, EveryVersionReadsAndWritesBackAsVersion3) {
  struct TCase {
    int32_t Version;
    bool Loop;
    float StartTime, Speed;
    float WantStart, WantSpeed;
  } cases[] = {
      {1, false, 9, 9, 0, 0.1f},  // no loop, start time or speed: defaults and 0.1
      {2, false, 9, 9, 0, 0.1f},  // the material description is read past
      {3, false, 1.5f, -2, 1.5f, -2},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Version);
    auto d = Read(ModelRecord(c.Version, false, 7, c.Loop, c.StartTime, c.Speed));
    const TRRModelDesc& m = AsModel(d);
    EXPECT_EQ(m.ModelFile().Model.RelativeName, "{P}\\Haus.x");
    ASSERT_EQ(m.ModelFile().Companions.size(), 1u);
    EXPECT_EQ(m.ModelFile().Companions[0].FileName, "Game:\\{P}\\Putz.dds");
    EXPECT_FALSE(m.AnimationEnabled());
    EXPECT_EQ(m.CADType(), 7);
    EXPECT_EQ(m.Loop(), c.Version == 3 ? c.Loop : true);
    EXPECT_FLOAT_EQ(m.StartTime(), c.WantStart);
    EXPECT_FLOAT_EQ(m.Speed(), c.WantSpeed);
    // Written back: version 3 with what was read, byte for byte as a version-3 record says.
    EXPECT_EQ(Written(m), ModelRecord(3, false, 7, m.Loop(), c.WantStart, c.WantSpeed));
  }
}

TEST(RRModelDesc, RecordsItCannotReadAreRefused) {
  for (int32_t version : {0, 4, -1}) {
    SCOPED_TRACE(version);
    EXPECT_THROW(Read(ModelRecord(version, true, 0)), EUnknownEntityDescription);
  }
  // A version-2 record whose material description has another version.
  TBytes b;
  b.Guid(RRKindModel).Raw(BasePayload()).I32(2);
  ModelFileBytes(b, "a.x", "", {});
  MaterialBytes(b, 2).U8(1).U8(0).I32(0);
  EXPECT_THROW(Read(b.Data), EUnknownEntityDescription);
  // A companion count far beyond the bytes that follow raises before anything is allocated.
  TBytes many;
  many.Guid(RRKindModel).Raw(BasePayload()).I32(3).Str("a.x").Str("").I32(0x7FFFFFFF);
  EXPECT_THROW(Read(many.Data), std::runtime_error);
  // Every cut of a good record raises.
  const std::vector<uint8_t> good = ModelRecord(3, true, 4, true, 1, 1);
  for (size_t n = 0; n < good.size(); ++n) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_THROW(Read(cut), std::runtime_error) << n;
  }
}

TEST(RRModelDesc, DamagedNumbersAreReadAsDefaultsAndCadTypesAsTheyAre) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  struct TCase {
    float StartTime, Speed, WantStart, WantSpeed;
  } cases[] = {{nan, nan, 0, 1}, {inf, -inf, 0, 1}, {-inf, 2, 0, 2}, {3, inf, 3, 1}};
  for (const TCase& c : cases) {
    auto d = Read(ModelRecord(3, true, 200, true, c.StartTime, c.Speed));
    const TRRModelDesc& m = AsModel(d);
    EXPECT_FLOAT_EQ(m.StartTime(), c.WantStart);
    EXPECT_FLOAT_EQ(m.Speed(), c.WantSpeed);
    EXPECT_EQ(m.CADType(), 200);  // kept; only the colour lookup reads it as 4
  }
  EXPECT_EQ(RRCadColour(200).x, RRCadColour(4).x);
}

TEST(RRModelDesc, DescriptionsWrittenByTheClassReadBackEqual) {
  TRRModelDesc d;
  d.Name().SetText(0x0407, "Stellwerk");
  d.ModelFile().Model = TRRAssetFileName("C:\\Modelle\\Stellwerk.3ds");
  d.ModelFile().Companions = {TRRAssetFileName("C:\\Modelle\\Ziegel.png"), TRRAssetFileName("b", "{Q}\\b")};
  d.SetAnimationEnabled(false);
  d.SetLoop(false);
  d.SetStartTime(0.75f);
  d.SetSpeed(0.5f);
  d.SetCADType(12);
  const std::vector<uint8_t> bytes = Written(d);
  auto back = Read(bytes);
  EXPECT_EQ(Written(*back), bytes);
  EXPECT_TRUE(AsModel(back).ModelFile().SameFile(d.ModelFile()));
  auto clone = d.Clone();
  EXPECT_FLOAT_EQ(AsModel(clone).Speed(), 0.5f);
  // The kind written is the model kind, and it reads into the model classes.
  const TRRRegisteredEntity* entry = RegisteredEntities().FindByKind(gx::TGXGuid::Parse(RRKindModel));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->DescriptionClass, &TRRModelDesc::StaticClass());
  EXPECT_EQ(entry->EntityClass, &TRRModel::StaticClass());
  EXPECT_EQ(gx::TGXGuid::FromBytes(bytes.data()), gx::TGXGuid::Parse(RRKindModel));
}

TEST(RRModelDesc, OldPropertyBagsGiveTheModelFileAndItsNameWithoutFolder) {
  using P = TRREntityPropertyType_10;
  auto ansi = [](const std::string& s) {
    std::vector<uint8_t> d(s.begin(), s.end());
    d.push_back(0);
    return d;
  };
  struct TCase {
    const char* Name;
    P ModelType;  // the type of "ModelName"
    const char* Model;
    bool HasEnable;
    uint8_t Enable;
    bool HasCad;
    int32_t Cad;
    bool WantEnabled;
    uint8_t WantCad;
    const char* WantName;  // handed back for the catalogue lookup
  } cases[] = {
      {"file name", P::Filename, "C:\\Daten\\Wasserturm.x", true, 0, true, 9, false, 9, "Wasserturm.x"},
      {"string", P::String, "Muehle.3ds", false, 0, true, 12, true, 12, "Muehle.3ds"},
      {"cad out of range", P::Filename, "/home/a/b/Kirche.x", true, 1, true, 13, true, 4, "Kirche.x"},
      {"cad negative", P::Filename, "Haus.x", false, 0, true, -1, true, 4, "Haus.x"},
      {"cad missing", P::Filename, "Haus.x", false, 0, false, 0, true, 4, "Haus.x"},
      {"no model name", P::Integer, "", false, 0, false, 0, true, 4, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TRREntityDescription_10 bag("TRRModel", "TRRModelDesc");
    bag.AddProperty(P::String, "Name", ansi("Turm"));
    if (c.ModelType == P::Integer)
      bag.AddProperty(P::Integer, "ModelName", {1, 0, 0, 0});
    else
      bag.AddProperty(c.ModelType, "ModelName", ansi(c.Model));
    if (c.HasEnable) bag.AddProperty(P::Boolean, "EnableAnimation", {c.Enable});
    if (c.HasCad)
      bag.AddProperty(P::Integer, "CADType",
                      {uint8_t(c.Cad), uint8_t(c.Cad >> 8), uint8_t(c.Cad >> 16), uint8_t(c.Cad >> 24)});
    TRRModelDesc d;
    d.SetCADType(1);
    std::string name = "stale";
    d.LoadFromPropertyBag(bag, name);
    EXPECT_EQ(d.Name().GetText(), "Turm");
    EXPECT_EQ(d.AnimationEnabled(), c.WantEnabled);
    EXPECT_EQ(d.CADType(), c.WantCad);
    EXPECT_EQ(name, c.WantName);
    EXPECT_EQ(d.ModelFile().Model.FileName, c.Model);
    EXPECT_FLOAT_EQ(d.Speed(), 1.0f);  // speed, loop and start time keep their defaults
    EXPECT_TRUE(d.Loop());
  }
  // An "EnableAnimation" of another type counts as missing.
  TRREntityDescription_10 typed("TRRModel", "TRRModelDesc");
  typed.AddProperty(P::Integer, "EnableAnimation", {0, 0, 0, 0});
  TRRModelDesc d;
  std::string name;
  d.LoadFromPropertyBag(typed, name);
  EXPECT_TRUE(d.AnimationEnabled());
}

TEST(RRModelDesc, PropertyAccessAndCatalogueCopyCoverTheModelFile) {
  TRRModelDesc d;
  d.SetLinkTarget(3);
  TRRPropertyAccessList list;
  d.GetPropertyAccess(list);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_NE(dynamic_cast<TRREntityIDRefAccess*>(list.Item(0)), nullptr);  // the base's first
  auto* model = dynamic_cast<TRRModelFileNameAccess*>(list.Item(1));
  ASSERT_NE(model, nullptr);
  model->Value().Model.FileName = "neu.x";
  EXPECT_EQ(d.ModelFile().Model.FileName, "neu.x");

  TRRModelDesc catalogue;
  catalogue.Description().SetText(0x0407, "Ein Turm");
  catalogue.ModelFile().Model = TRRAssetFileName("Turm.x", "{K}\\Turm.x");
  catalogue.SetCADType(9);
  catalogue.SetSpeed(3);
  d.SetCADType(2);
  d.AssignFrom(catalogue);
  EXPECT_EQ(d.ModelFile().Model.RelativeName, "{K}\\Turm.x");
  EXPECT_EQ(d.Description().GetText(), "Ein Turm");
  EXPECT_EQ(d.CADType(), 2);  // placed-object settings stay
  EXPECT_FLOAT_EQ(d.Speed(), 1);
  // From a description of another kind only the base data is taken.
  TRREntityDescription other;
  other.Description().SetText(0x0407, "Anders");
  d.AssignFrom(other);
  EXPECT_EQ(d.ModelFile().Model.RelativeName, "{K}\\Turm.x");
  EXPECT_EQ(d.Description().GetText(), "Anders");
}

TEST(RRModelDesc, CorruptedRecordsEitherReadOrRaise) {
  // Every byte of a version-2 record replaced by a few values: the reader reads something that
  // writes and reads back, or raises; the sanitizers watch the rest.
  const std::vector<uint8_t> good = ModelRecord(2, true, 3);
  for (size_t i = 0; i < good.size(); ++i)
    for (uint8_t v : {uint8_t{0x00}, uint8_t{0x7F}, uint8_t{0xFF}}) {
      std::vector<uint8_t> bytes = good;
      bytes[i] = v;
      try {
        gx::TGXMemoryStream s(bytes);
        auto d = TRREntityDescription::ReadRecord(s);
        auto again = Written(*d);
        gx::TGXMemoryStream t(again);
        TRREntityDescription::ReadRecord(t);
      } catch (const std::runtime_error&) {
      }
    }
}

TEST(RRModelDesc, TheFuzzSeedsAreModelRecordsAndBags) {
  // The seeds of the description fuzz target: the first byte picks the reader (odd: an old
  // property-bag node), the rest is one model record of each version or a model node.
  const std::string folder = std::string(VELMORA_SOURCE_DIR) + "/fuzz/corpus/FuzzEntityDescription/";
  struct TCase {
    const char* File;
    float WantSpeed;
    uint8_t WantCad;
  } cases[] = {{"model-v1.bin", 0.1f, 4},
               {"model-v2.bin", 0.1f, 4},
               {"model-v3.bin", 2.0f, 4},
               {"model-bag.bin", 1, 9}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.File);
    std::ifstream in(folder + c.File, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 1u);
    gx::TGXMemoryStream s(std::vector<uint8_t>(bytes.begin() + 1, bytes.end()));
    std::unique_ptr<TRREntityDescription> d;
    if (bytes[0] & 1) {
      auto bag = TRREntityDescription_10::ReadFromStream(s);
      ASSERT_EQ(bag->DescriptionClass(), &TRRModelDesc::StaticClass());
      d = bag->DescriptionClass()->Create();
      std::string name;
      d->LoadFromPropertyBag(*bag, name);
      EXPECT_EQ(name, "Muehle.3ds");
    } else {
      d = TRREntityDescription::ReadRecord(s);
    }
    EXPECT_EQ(s.Position(), s.Size());
    const TRRModelDesc& m = AsModel(d);
    EXPECT_FLOAT_EQ(m.Speed(), c.WantSpeed);
    EXPECT_EQ(m.CADType(), c.WantCad);
  }
}
