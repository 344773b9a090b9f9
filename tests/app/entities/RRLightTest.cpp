// The layout's light: its record (presets, index, show-model; damaged and hostile bytes), the
// old property bag, the presets it applies to the global effect sources, the preview lighting and
// its restore, the reflections' lighting notices and the lighting without presets or sources.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "app/RRModelServices.h"
#include "app/entities/RREntityDescription.h"
#include "app/entities/RREntityRegistry.h"
#include "app/entities/RREntity_10.h"
#include "app/entities/RRLight.h"
#include "engine/core/GXException.h"
#include "engine/core/GXStream.h"
#include "engine/render/GXEffect.h"
#include "tests/app/entities/EntityTestSupport.h"

using namespace rr;

namespace {

// Counts the lighting notices.
class TCountingReflections : public TRRDefaultReflectionManager {
 public:
  void LightingChanged() override { ++Notices; }
  int Notices = 0;
};

gx::TGXVector3 Value3(gx::TGXEffectParameterManager& p, const char* name) {
  auto* s = dynamic_cast<gx::TGXEffectValueSource*>(p.FindSource(name));
  if (!s || s->DataSize() < 12) return {NAN, NAN, NAN};
  gx::TGXVector3 v;
  std::memcpy(&v, s->Data().data(), 12);
  return v;
}

void SetValue3(gx::TGXEffectParameterManager& p, const char* name, const gx::TGXVector3& v) {
  if (auto* s = dynamic_cast<gx::TGXEffectValueSource*>(p.FindSource(name))) s->SetFloats({v.x, v.y, v.z});
}

float Value1(gx::TGXEffectParameterManager& p, const char* name) {
  auto* s = dynamic_cast<gx::TGXEffectValueSource*>(p.FindSource(name));
  if (!s || s->DataSize() < 4) return NAN;
  float v;
  std::memcpy(&v, s->Data().data(), 4);
  return v;
}

void ExpectVector(const gx::TGXVector3& a, const gx::TGXVector3& b) {
  EXPECT_FLOAT_EQ(a.x, b.x);
  EXPECT_FLOAT_EQ(a.y, b.y);
  EXPECT_FLOAT_EQ(a.z, b.z);
}

class TRRLightTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RRAddGlobalEffectSources(Parameters);
    TRRModelServices services;
    services.FileSystem = &FileSystem;
    services.Resources = nullptr;  // no model files: the bulb stays an empty node
    services.Reflections = &Reflections;
    services.EffectParameters = &Parameters;
    Scope = std::make_unique<TRRModelServicesScope>(services);
  }
  void TearDown() override {
    Root.reset();
    Scope.reset();
  }

  TRRLight* Make(const TRRLightDesc& d) {
    return static_cast<TRRLight*>(TRRLight::StaticClass().Create(Root.get(), nullptr, d));
  }
  // A light with the day and night presets at (-300, 300, 300), the preset given active.
  TRRLight* DayAndNight(int32_t index = 0) {
    TRRLightDesc d;
    d.SetID(1);
    d.Presets() = RRDefaultLightPresets();
    d.SetActiveIndex(index);
    d.SetPosition({-300, 300, 300});
    return Make(d);
  }

  gx::TGXFileSystem FileSystem;
  gx::TGXEffectParameterManager Parameters;
  TCountingReflections Reflections;
  std::unique_ptr<TRRModelServicesScope> Scope;
  std::unique_ptr<gx::TGXSceneNode> Root = std::make_unique<gx::TGXSceneNode>();
};

std::vector<uint8_t> RecordBytes(const TRREntityDescription& d) {
  gx::TGXMemoryStream s;
  TRREntityDescription::WriteRecord(d, s);
  return s.Data();
}

std::unique_ptr<TRREntityDescription> ReadRecord(const std::vector<uint8_t>& bytes) {
  gx::TGXMemoryStream s;
  s.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
  s.SetPosition(0);
  return TRREntityDescription::ReadRecord(s);
}

}  // namespace

TEST(RRLightDesc, RecordsKeepPresetsIndexAndShowModelAndTheKindIsRegistered) {
  TRRLightDesc d;
  d.Presets() = RRDefaultLightPresets();
  d.SetActiveIndex(1);
  d.SetShowModel(false);
  d.Name().SetText(gx::GX_LANG_GERMAN, "Licht", true);
  EXPECT_EQ(d.CADType(), RRLightCadType);
  EXPECT_TRUE(d.IsFixed());

  std::unique_ptr<TRREntityDescription> back = ReadRecord(RecordBytes(d));
  auto* l = dynamic_cast<TRRLightDesc*>(back.get());
  ASSERT_NE(l, nullptr);
  ASSERT_EQ(l->Presets().size(), 2u);
  EXPECT_TRUE(l->Presets() == d.Presets());
  EXPECT_EQ(l->Presets()[0].Name.GetText(), "Tag");
  EXPECT_EQ(l->Presets()[1].SkyColor, 0xFF111111u);
  EXPECT_TRUE(l->Presets()[1].Spotlights);
  EXPECT_EQ(l->ActiveIndex(), 1);
  EXPECT_FALSE(l->ShowModel());
  const TRRRegisteredEntity* reg = RegisteredEntities().FindByDescriptionClass(TRRLightDesc::StaticClass());
  ASSERT_NE(reg, nullptr);
  EXPECT_EQ(reg->Kind.ToString(), RRKindLight);
}

TEST(RRLightDesc, DamagedRecordsRaiseAndNonFiniteColoursReadAsZero) {
  TRRLightDesc d;
  d.Presets() = RRDefaultLightPresets();
  const std::vector<uint8_t> good = RecordBytes(d);

  // Every truncation raises (never a crash or a half-read description).
  for (size_t cut = 0; cut < good.size(); cut += 7) {
    std::vector<uint8_t> bytes(good.begin(), good.begin() + static_cast<ptrdiff_t>(cut));
    EXPECT_ANY_THROW(ReadRecord(bytes)) << cut;
  }

  // The light payload: version, count, presets, index, show-model; the preset count sits right
  // after the version. A huge count is refused before anything is allocated.
  TRRLightDesc empty;
  gx::TGXMemoryStream modelOnly;
  empty.TRRModelDesc::SaveToStream(modelOnly);
  const size_t lightStart = 16 + modelOnly.Data().size();  // kind GUID, then the payload
  ASSERT_LT(lightStart + 8, good.size());
  struct TCase {
    const char* What;
    size_t Offset;
    int32_t Value;
  } cases[] = {{"version 2", lightStart, 2},
               {"version 0", lightStart, 0},
               {"count huge", lightStart + 4, 0x7FFFFFFF},
               {"count negative", lightStart + 4, -1}};
  for (const TCase& c : cases) {
    std::vector<uint8_t> bytes = good;
    std::memcpy(bytes.data() + c.Offset, &c.Value, 4);
    EXPECT_ANY_THROW(ReadRecord(bytes)) << c.What;
  }

  // NaN and infinite colours become 0.
  TRRLightDesc bad;
  TRRLightParameter p;
  p.Ambient = {std::numeric_limits<float>::quiet_NaN(), 0.5f, std::numeric_limits<float>::infinity()};
  p.Diffuse = {0.25f, -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()};
  bad.Presets() = {p};
  auto back = ReadRecord(RecordBytes(bad));
  auto* l = dynamic_cast<TRRLightDesc*>(back.get());
  ASSERT_NE(l, nullptr);
  ExpectVector(l->Presets()[0].Ambient, {0, 0.5f, 0});
  ExpectVector(l->Presets()[0].Diffuse, {0.25f, 0, 0});
}

TEST(RRLightDesc, PropertyBagReadsNumberedPresetsIndexAndShowModel) {
  using T = TRREntityPropertyType_10;
  using rrtest::BagBytes, rrtest::BagText;
  struct TCase {
    const char* What;
    int32_t Index;
    bool WithShow;
    int ExpectedIndex;
  } cases[] = {
      {"index in range", 1, true, 1}, {"index beyond", 5, false, 0}, {"index negative", -1, false, 0}};
  for (const TCase& c : cases) {
    TRREntityDescription_10 bag("TRRLight", "TRRLightDesc");
    bag.AddProperty(T::String, "ParameterName0", BagText("Morgen"));
    const int32_t sky = int32_t(0xFF102030);
    bag.AddProperty(T::Integer, "SkyColor0", BagBytes(&sky, 4));
    const float ambient[3] = {0.3f, 0.2f, 0.1f};
    bag.AddProperty(T::Vector3, "Ambient0", BagBytes(ambient, 12));
    bag.AddProperty(T::String, "ParameterName1", BagText("Abend"));
    const uint8_t on = 1;
    bag.AddProperty(T::Boolean, "Spotlights1", BagBytes(&on, 1));
    // A gap ends the presets: "ParameterName3" is never reached.
    bag.AddProperty(T::String, "ParameterName3", BagText("Verloren"));
    bag.AddProperty(T::Integer, "ParameterIndex", BagBytes(&c.Index, 4));
    const uint8_t off = 0;
    if (c.WithShow) bag.AddProperty(T::Boolean, "ShowModel", BagBytes(&off, 1));

    TRRLightDesc d;
    std::string modelFile;
    d.LoadFromPropertyBag(bag, modelFile);
    ASSERT_EQ(d.Presets().size(), 2u) << c.What;
    EXPECT_EQ(d.Presets()[0].Name.GetText(), "Morgen");
    EXPECT_EQ(d.Presets()[0].SkyColor, 0xFF102030u);
    ExpectVector(d.Presets()[0].Ambient, {0.3f, 0.2f, 0.1f});
    ExpectVector(d.Presets()[0].Diffuse, RRPreviewDiffuse);  // absent: the default
    EXPECT_FALSE(d.Presets()[0].Spotlights);
    EXPECT_TRUE(d.Presets()[1].Spotlights);
    EXPECT_EQ(d.ActiveIndex(), c.ExpectedIndex) << c.What;
    EXPECT_EQ(d.ShowModel(), !c.WithShow) << c.What;
    EXPECT_EQ(d.CADType(), RRLightCadType);
  }
}

TEST(RRLightDesc, ACatalogueRefreshKeepsTheLayoutsLighting) {
  TRRLightDesc layout;
  layout.Presets() = RRDefaultLightPresets();
  layout.SetActiveIndex(1);
  TRRLightDesc catalogue;
  catalogue.ModelFile().Model =
      TRRAssetFileName("Birne.x", "{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Birne.x");
  layout.AssignFrom(catalogue);
  EXPECT_EQ(layout.ModelFile().Model.FileName, "Birne.x");
  EXPECT_EQ(layout.Presets().size(), 2u);
  EXPECT_EQ(layout.ActiveIndex(), 1);
}

TEST_F(TRRLightTest, ThePresetFeedsTheSourcesAndTheLightRefusesDeletion) {
  TRRLight* light = DayAndNight();
  Root->Update(false);
  EXPECT_EQ(light->ActiveIndex(), 0);
  ExpectVector(Value3(Parameters, RRSourceSceneAmbient), {0.5f, 0.5f, 0.5f});
  ExpectVector(Value3(Parameters, RRSourceLightDiffuse), {1, 1, 1});
  ExpectVector(Value3(Parameters, RRSourceLightSpecular), RRLightSpecular);
  EXPECT_FLOAT_EQ(Value1(Parameters, RRSourceLightRadius), RRLightRadius);
  ExpectVector(Value3(Parameters, RRSourceLightPosition), {-300, 300, 300});
  EXPECT_EQ(light->SkyColor(), 0xFFC8E1FAu);
  EXPECT_EQ(light->CADType(), RRLightCadType);
  EXPECT_TRUE(light->IsFixed());
  std::string reason;
  EXPECT_FALSE(light->CanDelete(reason));
  EXPECT_EQ(reason, RRTextLightCannotDelete);

  // Moving the light moves the light source.
  light->SetPosition({10, 20, 30});
  Root->Update(false);
  ExpectVector(Value3(Parameters, RRSourceLightPosition), {10, 20, 30});

  // Applying: the night, again the night (nothing), beyond the array (clamped to the night:
  // nothing), the day.
  const int before = Reflections.Notices;
  light->ApplyPreset(1);
  ExpectVector(Value3(Parameters, RRSourceSceneAmbient), {0.1f, 0.1f, 0.1f});
  EXPECT_EQ(light->SkyColor(), 0xFF111111u);
  EXPECT_EQ(Reflections.Notices, before + 1);
  light->ApplyPreset(1);
  light->ApplyPreset(7);
  EXPECT_EQ(light->ActiveIndex(), 1);
  EXPECT_EQ(Reflections.Notices, before + 1);
  light->ApplyPreset(-3);
  EXPECT_EQ(light->ActiveIndex(), 0);
  EXPECT_EQ(Reflections.Notices, before + 2);
  // The user's choice (the desktop's night switch, --light) applies also what is active: the
  // sources take the preset's values again, whoever changed them meanwhile.
  SetValue3(Parameters, RRSourceSceneAmbient, {0.9f, 0.9f, 0.9f});
  light->ApplyPreset(0);
  ExpectVector(Value3(Parameters, RRSourceSceneAmbient), {0.9f, 0.9f, 0.9f});
  light->ApplyPreset(0, true);
  ExpectVector(Value3(Parameters, RRSourceSceneAmbient), {0.5f, 0.5f, 0.5f});
  EXPECT_EQ(Reflections.Notices, before + 3);

  // The description carries what the light shows now.
  std::unique_ptr<TRREntityDescription> d = light->CreateDescription();
  auto* ld = dynamic_cast<TRRLightDesc*>(d.get());
  ASSERT_NE(ld, nullptr);
  EXPECT_EQ(ld->ActiveIndex(), 0);
  EXPECT_TRUE(ld->ShowModel());
  EXPECT_EQ(ld->Presets().size(), 2u);
}

TEST_F(TRRLightTest, WritesChangeTheActivePresetOnlyWhenDifferentAndRefuseNaN) {
  TRRLight* light = DayAndNight();
  Root->Update(false);
  struct TCase {
    const char* What;
    std::function<void()> Write;
    int Notices;
  } cases[] = {
      {"same ambient",
       [&] {
         light->SetAmbient({0.5f, 0.5f, 0.5f});
       },
       0},
      {"new ambient",
       [&] {
         light->SetAmbient({0.4f, 0.5f, 0.6f});
       },
       1},
      {"NaN ambient",
       [&] {
         light->SetAmbient({NAN, 0, 0});
       },
       0},
      {"new diffuse",
       [&] {
         light->SetDiffuse({0.9f, 0.8f, 0.7f});
       },
       1},
      {"infinite diffuse",
       [&] {
         light->SetDiffuse({0, INFINITY, 0});
       },
       0},
      {"same sky", [&] { light->SetSkyColor(0xFFC8E1FA); }, 0},
      {"new sky", [&] { light->SetSkyColor(0xFF000080); }, 1},
      {"spotlights on", [&] { light->SetSpotlights(true); }, 1},
      {"spotlights on again", [&] { light->SetSpotlights(true); }, 0},
  };
  for (const TCase& c : cases) {
    const int before = Reflections.Notices;
    c.Write();
    EXPECT_EQ(Reflections.Notices - before, c.Notices) << c.What;
  }
  ExpectVector(light->Ambient(), {0.4f, 0.5f, 0.6f});
  ExpectVector(Value3(Parameters, RRSourceSceneAmbient), {0.4f, 0.5f, 0.6f});
  ExpectVector(Value3(Parameters, RRSourceLightDiffuse), {0.9f, 0.8f, 0.7f});
  EXPECT_EQ(light->Preset(0).SkyColor, 0xFF000080u);
  EXPECT_TRUE(light->Spotlights());
  EXPECT_EQ(light->Preset(1).SkyColor, 0xFF111111u);  // the other preset untouched
}

TEST_F(TRRLightTest, PreviewLightingIsUndoneByTheForcedRestore) {
  TRRLight* light = DayAndNight();
  Root->Update(false);
  light->ApplyPreset(1);
  light->SetPreviewLighting();
  ExpectVector(Value3(Parameters, RRSourceLightPosition), RRPreviewLightPosition);
  ExpectVector(Value3(Parameters, RRSourceSceneAmbient), RRPreviewAmbient);
  ExpectVector(Value3(Parameters, RRSourceLightDiffuse), RRPreviewDiffuse);
  // Moving the node during the preview leaves the preview's light where it is.
  light->SetPosition({1, 2, 3});
  Root->Update(false);
  ExpectVector(Value3(Parameters, RRSourceLightPosition), RRPreviewLightPosition);
  // Applying the active preset again (what the old code relied on) now restores it.
  light->ApplyPreset(1);
  EXPECT_FALSE(light->PreviewLighting());
  ExpectVector(Value3(Parameters, RRSourceSceneAmbient), {0.1f, 0.1f, 0.1f});
  ExpectVector(Value3(Parameters, RRSourceLightPosition), {1, 2, 3});
  light->SetPreviewLighting();
  light->RestoreLighting();
  ExpectVector(Value3(Parameters, RRSourceLightDiffuse), {0.2f, 0.2f, 0.2f});
}

TEST_F(TRRLightTest, WithoutPresetsOrSourcesTheLightKeepsItsOwnValues) {
  // No presets, index -1: defaults, writes ignored, the sources keep the preview values.
  TRRLightDesc none;
  none.SetActiveIndex(-1);
  none.SetShowModel(false);
  TRRLight* light = Make(none);
  EXPECT_EQ(light->PresetCount(), 0);
  EXPECT_EQ(light->ActiveIndex(), -1);
  EXPECT_EQ(light->SkyColor(), RRLightDefaultSkyColor);
  light->SetSkyColor(0xFF000000);
  light->SetAmbient({1, 0, 0});
  EXPECT_EQ(light->SkyColor(), RRLightDefaultSkyColor);
  ExpectVector(light->Ambient(), RRPreviewAmbient);
  EXPECT_FALSE(light->Visible());
  ExpectVector(Value3(Parameters, RRSourceSceneAmbient), RRPreviewAmbient);
  EXPECT_EQ(light->Preset(3).SkyColor, RRLightDefaultSkyColor);

  // An index beyond the presets is clamped.
  EXPECT_EQ(DayAndNight(9)->ActiveIndex(), 1);

  // No sources (a command that does not draw): the light answers from its presets.
  Scope.reset();
  TRRModelServices bare;
  bare.FileSystem = &FileSystem;
  Scope = std::make_unique<TRRModelServicesScope>(bare);
  gx::TGXEffectParameterManager untouched;
  RRAddGlobalEffectSources(untouched);
  TRRLight* alone = DayAndNight();
  alone->ApplyPreset(1);
  alone->SetAmbient({0.3f, 0.3f, 0.3f});
  ExpectVector(alone->Ambient(), {0.3f, 0.3f, 0.3f});
  EXPECT_EQ(alone->SkyColor(), 0xFF111111u);
  ExpectVector(Value3(untouched, RRSourceSceneAmbient), RRPreviewAmbient);
}

TEST(RRGlobalEffectSources, AreAddedWithTheirStartingValuesAndRemovedAgain) {
  gx::TGXEffectParameterManager p;
  const int base = p.SourceCount();
  RRAddGlobalEffectSources(p);
  EXPECT_EQ(p.SourceCount(), base + 6);
  ExpectVector(Value3(p, RRSourceCameraPosition), RRDefaultCameraPosition);
  ExpectVector(Value3(p, RRSourceLightPosition), RRPreviewLightPosition);
  EXPECT_FLOAT_EQ(Value1(p, RRSourceLightRadius), RRPreviewLightRadius);
  ExpectVector(Value3(p, RRSourceSceneAmbient), RRPreviewAmbient);
  // A second project on the same parameters: kept (no duplicate), reset to the starting values.
  RRSetCameraPositionSource(&p, {1, 2, 3});
  RRAddGlobalEffectSources(p);
  EXPECT_EQ(p.SourceCount(), base + 6);
  ExpectVector(Value3(p, RRSourceCameraPosition), RRDefaultCameraPosition);
  RRRemoveGlobalEffectSources(p);
  EXPECT_EQ(p.SourceCount(), base);
  RRRemoveGlobalEffectSources(p);  // unknown ones are skipped
  EXPECT_EQ(p.SourceCount(), base);
}
