#pragma once
// The layout's one global light: a model (the bulb of the catalogue) with named lighting presets
// ("Tag", "Nacht", ...). The active preset feeds the engine's global effect sources
// "LIGHTPOSITION", "LIGHTRADIUS", "SCENEAMBIENT", "LIGHTDIFFUSE" and "LIGHTSPECULAR", which the
// project adds to the effect parameters when it opens (RRAddGlobalEffectSources) together with
// "CAMERAPOSITION". Without those sources (a command that does not draw) the light keeps its own
// values: every accessor reads and writes the preset array.
//
// Description payload (after the model payload, little-endian):
//   Integer version (1), Integer preset count, per preset: localized name, sky colour (Integer,
//   0xAARRGGBB), ambient and diffuse (3 Singles each), spotlights (byte); Integer active index,
//   show-model byte. The count is checked against the bytes that remain (33 bytes per preset
//   at least) and non-finite colour components are read as 0, so a
//   damaged record never lights the layout with NaN.
//
// Sound behaviour where the stored form allows nonsense: a light without presets answers the
// defaults (sky colour RRLightDefaultSkyColor, ambient and diffuse of the preview lighting) and
// ignores writes; an active index outside the array is clamped (-1 and an empty array mean
// "none yet").

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/entities/RRModel.h"
#include "engine/core/GXMath.h"
#include "engine/core/GXRefCounted.h"
#include "engine/core/GXSerialization.h"

namespace gx {
class TGXEffectParameterManager;
class TGXEffectValueSource;
}  // namespace gx

namespace rr {

class TRRRegisteredEntityList;

inline constexpr const char* RRKindLight = "{359AD087-3C41-4C3F-95B2-C9FB900C5538}";
inline constexpr int32_t RRLightDescVersion = 1;
// The CAD type of lights (yellow in the technical view).
inline constexpr uint8_t RRLightCadType = 10;
inline constexpr const char* RRTextLightCannotDelete =
    "Die globale Lichtquelle kann nicht entfernt werden. Stellen Sie in den Lichteigenschaften eine schwarze "
    "Farbe ein, um das Licht zu deaktivieren.";
// The presets of a new layout.
inline constexpr const char* RRNameLightDay = "Tag";
inline constexpr const char* RRNameLightNight = "Nacht";
// What a light without presets shows as sky.
inline constexpr uint32_t RRLightDefaultSkyColor = 0xFFC8E1FA;

// The global effect sources (added by the project while it is open).
inline constexpr const char* RRSourceCameraPosition = "CAMERAPOSITION";
inline constexpr const char* RRSourceLightPosition = "LIGHTPOSITION";
inline constexpr const char* RRSourceLightRadius = "LIGHTRADIUS";
inline constexpr const char* RRSourceLightDiffuse = "LIGHTDIFFUSE";
inline constexpr const char* RRSourceLightSpecular = "LIGHTSPECULAR";
inline constexpr const char* RRSourceSceneAmbient = "SCENEAMBIENT";

// The catalogue preview's lighting, also the sources' values before a light exists.
inline constexpr gx::TGXVector3 RRPreviewLightPosition{1000, 1000, -500};
inline constexpr float RRPreviewLightRadius = 10000;
inline constexpr gx::TGXVector3 RRPreviewAmbient{0.5f, 0.5f, 0.5f};
inline constexpr gx::TGXVector3 RRPreviewDiffuse{0.7f, 0.7f, 0.7f};
inline constexpr gx::TGXVector3 RRLightSpecular{0.8f, 0.8f, 0.8f};
inline constexpr float RRLightRadius = 10000;
// The camera position the sources start with (the model effect's initial value).
inline constexpr gx::TGXVector3 RRDefaultCameraPosition{0, 1000, -1500};

// Adds the six global sources with their starting values ("CAMERAPOSITION" and the preview
// lighting); a source of that name that exists already is set to the starting value and kept.
void RRAddGlobalEffectSources(gx::TGXEffectParameterManager& parameters);
// Removes the six sources (unknown ones are skipped).
void RRRemoveGlobalEffectSources(gx::TGXEffectParameterManager& parameters);
// Writes the camera position source when it exists.
void RRSetCameraPositionSource(gx::TGXEffectParameterManager* parameters, const gx::TGXVector3& position);

// One lighting preset.
struct TRRLightParameter {
  gx::TGXLocalizedString Name;
  uint32_t SkyColor = RRLightDefaultSkyColor;  // 0xAARRGGBB
  gx::TGXVector3 Ambient = RRPreviewAmbient;
  gx::TGXVector3 Diffuse = RRPreviewDiffuse;
  bool Spotlights = false;

  void WriteToStream(gx::TGXStream& s) const;
  // Non-finite components become 0.
  void ReadFromStream(gx::TGXStream& s);
  bool operator==(const TRRLightParameter& other) const;
};
using TRRLightParameterArray = std::vector<TRRLightParameter>;

// The two presets of a new layout: "Tag" and "Nacht".
TRRLightParameterArray RRDefaultLightPresets();

// ---- description ----

class TRRLightDesc : public TRRModelDesc {
  RR_DESCRIPTION_CLASS()

 public:
  TRRLightDesc();
  void LoadFromStream(gx::TGXStream& s) override;
  void SaveToStream(gx::TGXStream& s) const override;
  // The model data only: a catalogue refresh completes the bulb and keeps the layout's lighting.
  void AssignFrom(const TRREntityDescription& other) override;
  // The light is never deleted, copied, exported or grouped.
  bool IsFixed() const override { return true; }
  // Model keys, then the presets "ParameterName%d" (string, read while present), "SkyColor%d"
  // (integer), "Ambient%d" and "Diffuse%d" (3-vectors), "Spotlights%d" (boolean);
  // "ParameterIndex" (integer, 0 unless within the array) and "ShowModel" (boolean).
  void LoadFromPropertyBag(const TRREntityDescription_10& bag, std::string& modelFileName) override;

  TRRLightParameterArray& Presets() { return FPresets; }
  const TRRLightParameterArray& Presets() const { return FPresets; }
  int32_t ActiveIndex() const { return FActiveIndex; }
  void SetActiveIndex(int32_t value) { FActiveIndex = value; }
  bool ShowModel() const { return FShowModel; }
  void SetShowModel(bool value) { FShowModel = value; }

 private:
  TRRLightParameterArray FPresets;
  int32_t FActiveIndex = 0;
  bool FShowModel = true;
};

// ---- light ----

class TRRLight : public TRRModel {
  RR_ENTITY_CLASS()

 public:
  TRRLight(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description);
  ~TRRLight() override;

  static void RegisterKinds(TRRRegisteredEntityList& list);

  // ---- TRREntity ----
  // Always refuses with RRTextLightCannotDelete.
  bool CanDelete(std::string& reason) const override;
  bool IsFixed() const override { return true; }
  std::unique_ptr<TRREntityDescription> CreateDescription() const override;
  // Keeps "LIGHTPOSITION" at the node's world position.
  bool Update(bool force = false) override;

  // ---- presets ----
  int PresetCount() const { return static_cast<int>(FPresets.size()); }
  // A copy; an index outside the array gives a default preset.
  TRRLightParameter Preset(int index) const;
  const TRRLightParameterArray& Presets() const { return FPresets; }
  // -1 until a preset was applied (and while there are none).
  int ActiveIndex() const { return FActiveIndex; }
  // Ignored when equal to the active index (unless forced: the user's choice always takes
  // effect, also after preview lighting); otherwise clamped into the array, applied to the
  // engine's sources and the reflections are told that the lighting changed. Nothing without
  // presets.
  void ApplyPreset(int index, bool force = false);
  // Applies the active preset again whatever the index: what undoes the preview lighting.
  void RestoreLighting();
  // The catalogue preview's fixed lighting on the engine's sources (the presets stay).
  void SetPreviewLighting();
  bool PreviewLighting() const { return FPreview; }

  // ---- the active preset (defaults and ignored writes without presets) ----
  uint32_t SkyColor() const;
  void SetSkyColor(uint32_t value);
  gx::TGXVector3 Ambient() const;
  // Non-finite components are refused (nothing changes).
  void SetAmbient(const gx::TGXVector3& value);
  gx::TGXVector3 Diffuse() const;
  void SetDiffuse(const gx::TGXVector3& value);
  bool Spotlights() const;
  void SetSpotlights(bool value);

 private:
  TRRLightParameter* Active();
  const TRRLightParameter* Active() const;
  void WriteSources(const gx::TGXVector3& ambient, const gx::TGXVector3& diffuse);
  void WritePosition();
  void LightingChanged();

  TRRLightParameterArray FPresets;
  int FActiveIndex = -1;
  bool FPreview = false;
  // The engine's sources (null without a render core's parameters).
  gx::TGXRef<gx::TGXEffectValueSource> FPosition, FRadius, FAmbient, FDiffuse, FSpecular;
};

}  // namespace rr
