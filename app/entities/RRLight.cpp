#include "app/entities/RRLight.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/RRModelServices.h"
#include "app/entities/RREntityRegistry.h"
#include "app/entities/RREntity_10.h"
#include "engine/core/GXException.h"
#include "engine/core/GXSerialization.h"
#include "engine/render/GXEffect.h"

namespace rr {

namespace {

float Finite(float v) { return std::isfinite(v) ? v : 0.0f; }

gx::TGXVector3 Finite(const gx::TGXVector3& v) { return {Finite(v.x), Finite(v.y), Finite(v.z)}; }

bool IsFinite(const gx::TGXVector3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

bool Same(const gx::TGXVector3& a, const gx::TGXVector3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// The minimum bytes of one stored preset: an empty localized name (its count), the sky colour,
// ambient, diffuse and the spotlights byte.
constexpr int64_t PresetMinSize = 4 + 4 + 12 + 12 + 1;

gx::TGXEffectValueSource* ValueSource(gx::TGXEffectParameterManager& parameters, const char* name) {
  return dynamic_cast<gx::TGXEffectValueSource*>(parameters.FindSource(name));
}

void SetSource(gx::TGXEffectValueSource* source, std::initializer_list<float> values) {
  if (!source) return;
  std::vector<float> v(values);
  // A source of another shape (made by someone else) takes only what fits.
  const size_t components = source->DataSize() / 4;
  if (v.size() > components) v.resize(components);
  source->SetFloats(v);
}

void SetSource(gx::TGXEffectValueSource* source, const gx::TGXVector3& v) {
  SetSource(source, {v.x, v.y, v.z});
}

struct TSourceSpec {
  const char* Name;
  bool Single;
};
constexpr TSourceSpec GlobalSources[] = {{RRSourceCameraPosition, false}, {RRSourceLightPosition, false},
                                         {RRSourceLightRadius, true},     {RRSourceLightDiffuse, false},
                                         {RRSourceLightSpecular, false},  {RRSourceSceneAmbient, false}};

}  // namespace

// ---- global sources ----

void RRAddGlobalEffectSources(gx::TGXEffectParameterManager& parameters) {
  for (const TSourceSpec& entry : GlobalSources) {
    if (parameters.FindSource(entry.Name)) continue;
    if (entry.Single)
      parameters.AddSource(gx::MakeRef<gx::TGXEffectSingleSource>(entry.Name));
    else
      parameters.AddSource(gx::MakeRef<gx::TGXEffectVector3Source>(entry.Name));
  }
  SetSource(ValueSource(parameters, RRSourceCameraPosition), RRDefaultCameraPosition);
  SetSource(ValueSource(parameters, RRSourceLightPosition), RRPreviewLightPosition);
  SetSource(ValueSource(parameters, RRSourceLightRadius), {RRPreviewLightRadius});
  SetSource(ValueSource(parameters, RRSourceSceneAmbient), RRPreviewAmbient);
  SetSource(ValueSource(parameters, RRSourceLightDiffuse), RRPreviewDiffuse);
  SetSource(ValueSource(parameters, RRSourceLightSpecular), RRLightSpecular);
}

void RRRemoveGlobalEffectSources(gx::TGXEffectParameterManager& parameters) {
  for (const TSourceSpec& entry : GlobalSources) parameters.RemoveSource(entry.Name);
}

void RRSetCameraPositionSource(gx::TGXEffectParameterManager* parameters, const gx::TGXVector3& position) {
  if (!parameters) return;
  SetSource(ValueSource(*parameters, RRSourceCameraPosition), position);
}

// ---- presets ----

void TRRLightParameter::WriteToStream(gx::TGXStream& s) const {
  Name.WriteLocalized(s);
  gx::WriteCardinal(s, SkyColor);
  gx::WriteVector3(s, Ambient);
  gx::WriteVector3(s, Diffuse);
  gx::WriteBoolean(s, Spotlights);
}

void TRRLightParameter::ReadFromStream(gx::TGXStream& s) {
  TRRLightParameter p;
  p.Name.ReadLocalized(s);
  p.SkyColor = gx::ReadCardinal(s);
  p.Ambient = Finite(gx::ReadVector3(s));
  p.Diffuse = Finite(gx::ReadVector3(s));
  p.Spotlights = gx::ReadBoolean(s);
  *this = std::move(p);
}

bool TRRLightParameter::operator==(const TRRLightParameter& o) const {
  return Name == o.Name && SkyColor == o.SkyColor && Same(Ambient, o.Ambient) && Same(Diffuse, o.Diffuse) &&
         Spotlights == o.Spotlights;
}

TRRLightParameterArray RRDefaultLightPresets() {
  TRRLightParameter day;
  day.Name.SetText(gx::GX_LANG_GERMAN, RRNameLightDay);
  day.SkyColor = 0xFFC8E1FA;
  day.Ambient = {0.5f, 0.5f, 0.5f};
  day.Diffuse = {1, 1, 1};
  day.Spotlights = false;
  TRRLightParameter night;
  night.Name.SetText(gx::GX_LANG_GERMAN, RRNameLightNight);
  night.SkyColor = 0xFF111111;
  night.Ambient = {0.1f, 0.1f, 0.1f};
  night.Diffuse = {0.2f, 0.2f, 0.2f};
  night.Spotlights = true;
  return {day, night};
}

// ---- description ----

RR_DEFINE_DESCRIPTION_CLASS(TRRLightDesc, TRRModelDesc)

TRRLightDesc::TRRLightDesc() { SetCADType(RRLightCadType); }

void TRRLightDesc::LoadFromStream(gx::TGXStream& s) {
  TRRModelDesc::LoadFromStream(s);
  const int32_t version = gx::ReadInteger(s);
  if (version != RRLightDescVersion) throw EUnknownEntityDescription();
  const int32_t count = gx::ReadCount(s, PresetMinSize);
  TRRLightParameterArray presets(static_cast<size_t>(count));
  for (TRRLightParameter& p : presets) p.ReadFromStream(s);
  const int32_t index = gx::ReadInteger(s);
  const bool show = gx::ReadBoolean(s);
  FPresets = std::move(presets);
  FActiveIndex = index;
  FShowModel = show;
}

void TRRLightDesc::SaveToStream(gx::TGXStream& s) const {
  TRRModelDesc::SaveToStream(s);
  gx::WriteInteger(s, RRLightDescVersion);
  gx::WriteInteger(s, static_cast<int32_t>(FPresets.size()));
  for (const TRRLightParameter& p : FPresets) p.WriteToStream(s);
  gx::WriteInteger(s, FActiveIndex);
  gx::WriteBoolean(s, FShowModel);
}

void TRRLightDesc::AssignFrom(const TRREntityDescription& other) {
  // The catalogue entry completes the model; the layout's own lighting stays.
  TRRModelDesc::AssignFrom(other);
}

void TRRLightDesc::LoadFromPropertyBag(const TRREntityDescription_10& bag, std::string& modelFileName) {
  TRRModelDesc::LoadFromPropertyBag(bag, modelFileName);
  TRRLightParameterArray presets;
  char key[48];
  for (int i = 0;; ++i) {
    std::string name;
    std::snprintf(key, sizeof key, "ParameterName%d", i);
    if (!bag.GetString(key, name)) break;
    TRRLightParameter p;
    p.Name.SetText(gx::GX_LANG_GERMAN, name, true);
    int32_t sky = 0;
    std::snprintf(key, sizeof key, "SkyColor%d", i);
    if (bag.GetInteger(key, sky)) p.SkyColor = static_cast<uint32_t>(sky);
    gx::TGXVector3 v;
    std::snprintf(key, sizeof key, "Ambient%d", i);
    if (bag.GetVector3(key, v)) p.Ambient = Finite(v);
    std::snprintf(key, sizeof key, "Diffuse%d", i);
    if (bag.GetVector3(key, v)) p.Diffuse = Finite(v);
    std::snprintf(key, sizeof key, "Spotlights%d", i);
    bag.GetBoolean(key, p.Spotlights);
    presets.push_back(std::move(p));
    // A property bag holds at most what its file held; the names are distinct keys.
  }
  int32_t index = 0;
  if (!bag.GetInteger("ParameterIndex", index) || index < 0 || index >= static_cast<int32_t>(presets.size()))
    index = 0;
  FPresets = std::move(presets);
  FActiveIndex = index;
  bag.GetBoolean("ShowModel", FShowModel);
  SetCADType(RRLightCadType);
}

// ---- light ----

RR_DEFINE_ENTITY_CLASS(TRRLight, TRRModel)

void TRRLight::RegisterKinds(TRRRegisteredEntityList& list) {
  list.Register(gx::TGXGuid::Parse(RRKindLight), StaticClass(), TRRLightDesc::StaticClass());
}

TRRLight::TRRLight(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description)
    : TRRModel(parent, manager, description) {
  SetCADType(RRLightCadType);
  if (TRRModelEntity* bulb = ModelEntity()) {
    bulb->SetRotation({1, 0, 0, 0});  // half a turn about x
    bulb->SetScale({0.2f, 0.2f, 0.2f});
  }
  const TRRModelServices* services = TRRModelServices::Get();
  if (services && services->EffectParameters) {
    gx::TGXEffectParameterManager& p = *services->EffectParameters;
    FPosition = ValueSource(p, RRSourceLightPosition);
    FRadius = ValueSource(p, RRSourceLightRadius);
    FAmbient = ValueSource(p, RRSourceSceneAmbient);
    FDiffuse = ValueSource(p, RRSourceLightDiffuse);
    FSpecular = ValueSource(p, RRSourceLightSpecular);
  }
  int32_t index = 0;
  bool show = true;
  if (const auto* d = dynamic_cast<const TRRLightDesc*>(&description)) {
    FPresets = d->Presets();
    index = d->ActiveIndex();
    show = d->ShowModel();
  }
  FActiveIndex = -1;
  ApplyPreset(index);
  SetVisible(show);
}

TRRLight::~TRRLight() { BeginDestruction(); }

bool TRRLight::CanDelete(std::string& reason) const {
  reason = RRTextLightCannotDelete;
  return false;
}

std::unique_ptr<TRREntityDescription> TRRLight::CreateDescription() const {
  std::unique_ptr<TRREntityDescription> base = TRRModel::CreateDescription();
  if (auto* d = dynamic_cast<TRRLightDesc*>(base.get())) {
    d->Presets() = FPresets;
    d->SetActiveIndex(FActiveIndex < 0 ? 0 : FActiveIndex);
    d->SetShowModel(Visible());
  }
  return base;
}

bool TRRLight::Update(bool force) {
  const bool changed = TRRModel::Update(force);
  if (!FPreview) WritePosition();
  return changed;
}

TRRLightParameter TRRLight::Preset(int index) const {
  if (index < 0 || index >= PresetCount()) return TRRLightParameter();
  return FPresets[static_cast<size_t>(index)];
}

TRRLightParameter* TRRLight::Active() {
  if (FActiveIndex < 0 || FActiveIndex >= PresetCount()) return nullptr;
  return &FPresets[static_cast<size_t>(FActiveIndex)];
}

const TRRLightParameter* TRRLight::Active() const { return const_cast<TRRLight*>(this)->Active(); }

void TRRLight::ApplyPreset(int index, bool force) {
  if (FPresets.empty()) {
    FActiveIndex = -1;
    return;
  }
  index = std::clamp(index, 0, PresetCount() - 1);
  if (index == FActiveIndex && !FPreview && !force) return;
  FActiveIndex = index;
  RestoreLighting();
}

void TRRLight::RestoreLighting() {
  FPreview = false;
  const TRRLightParameter* p = Active();
  WritePosition();
  SetSource(FRadius.Get(), {RRLightRadius});
  SetSource(FSpecular.Get(), RRLightSpecular);
  WriteSources(p ? p->Ambient : RRPreviewAmbient, p ? p->Diffuse : RRPreviewDiffuse);
  LightingChanged();
}

void TRRLight::SetPreviewLighting() {
  FPreview = true;
  SetSource(FPosition.Get(), RRPreviewLightPosition);
  SetSource(FRadius.Get(), {RRPreviewLightRadius});
  SetSource(FSpecular.Get(), RRLightSpecular);
  WriteSources(RRPreviewAmbient, RRPreviewDiffuse);
}

void TRRLight::WriteSources(const gx::TGXVector3& ambient, const gx::TGXVector3& diffuse) {
  SetSource(FAmbient.Get(), ambient);
  SetSource(FDiffuse.Get(), diffuse);
}

void TRRLight::WritePosition() { SetSource(FPosition.Get(), WorldPosition()); }

void TRRLight::LightingChanged() {
  const TRRModelServices* services = TRRModelServices::Get();
  if (services && services->Reflections) services->Reflections->LightingChanged();
}

uint32_t TRRLight::SkyColor() const {
  const TRRLightParameter* p = Active();
  return p ? p->SkyColor : RRLightDefaultSkyColor;
}

void TRRLight::SetSkyColor(uint32_t value) {
  TRRLightParameter* p = Active();
  if (!p || p->SkyColor == value) return;
  p->SkyColor = value;
  LightingChanged();
}

gx::TGXVector3 TRRLight::Ambient() const {
  const TRRLightParameter* p = Active();
  return p ? p->Ambient : RRPreviewAmbient;
}

void TRRLight::SetAmbient(const gx::TGXVector3& value) {
  TRRLightParameter* p = Active();
  if (!p || !IsFinite(value) || Same(p->Ambient, value)) return;
  p->Ambient = value;
  if (!FPreview) SetSource(FAmbient.Get(), value);
  LightingChanged();
}

gx::TGXVector3 TRRLight::Diffuse() const {
  const TRRLightParameter* p = Active();
  return p ? p->Diffuse : RRPreviewDiffuse;
}

void TRRLight::SetDiffuse(const gx::TGXVector3& value) {
  TRRLightParameter* p = Active();
  if (!p || !IsFinite(value) || Same(p->Diffuse, value)) return;
  p->Diffuse = value;
  if (!FPreview) SetSource(FDiffuse.Get(), value);
  LightingChanged();
}

bool TRRLight::Spotlights() const {
  const TRRLightParameter* p = Active();
  return p ? p->Spotlights : false;
}

void TRRLight::SetSpotlights(bool value) {
  TRRLightParameter* p = Active();
  if (!p || p->Spotlights == value) return;
  p->Spotlights = value;
  LightingChanged();
}

}  // namespace rr
