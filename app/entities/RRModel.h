#pragma once
// Scenery models: TRRModel is the placeable object that shows one model file of the packages (a
// building, a tree, a figure) and may play the animation stored in it; TRRModelDesc is its
// description; TRRModelEntity is the scene node that loads the model, instantiates it under
// itself and dresses every sub-mesh with a generated material (app/RRMaterial.h).
//
// Description payload (after the base payload, little-endian):
//   Integer version (3 written; 1..3 read), the model file name (TRRModelFileName: asset file
//   name, Integer count, companions), version 2 only a material description (read and
//   discarded), animation-enabled byte, CAD-type byte, version 3 only loop byte, start time and
//   speed (Single each). Versions 1 and 2 read the speed as 0.1 and keep loop and start time.
//   Non-finite start times and speeds are read as 0 and 1. The CAD type is kept as read; the
//   colour lookup takes values above 12 as 4.
//
// Loading a model entity goes through the installed TRRModelServices (app/RRModelServices.h).
// Without services or without a model factory (a command that does not draw) a model entity
// stays an empty node and the model keeps its description whole: no dummy, no report. A file
// that cannot be loaded is reported with its asset file name and replaced by the base package's
// dummy model; when even the dummy fails the node stays empty (reported once per live dummy).
//
// The technical view (UpdateView) swaps every sub-entity's material for the flat colour of the
// CAD type and gives the saved materials back afterwards; the swap costs nothing while nothing
// changes.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/RRMaterial.h"
#include "app/RRModelServices.h"
#include "app/entities/RRAssetFileName.h"
#include "app/entities/RREntity.h"
#include "app/entities/RREntityDescription.h"
#include "engine/core/GXSceneNode.h"
#include "engine/render/GXAnimation.h"
#include "engine/render/GXModel.h"

namespace rr {

class TRRRegisteredEntityList;
enum class TRRTrackType : uint8_t;

inline constexpr const char* RRKindModel = "{B0051E49-BEC0-4613-81C8-1DE013CB79D2}";
// The version of the model payload that is written; 1..3 are read.
inline constexpr int32_t RRModelDescVersion = 3;
// The speed of descriptions of versions 1 and 2.
inline constexpr float RRModelOldSpeed = 0.1f;
// The CAD type of imported model files and of old-format models without a valid one.
inline constexpr uint8_t RRModelDefaultCadType = 4;
// The placeholder of a model file that cannot be loaded.
inline constexpr const char* RRDummyModelFile = "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Dummy.x";

// ---- description ----

class TRRModelDesc : public TRREntityDescription {
  RR_DESCRIPTION_CLASS()

 public:
  void LoadFromStream(gx::TGXStream& s) override;
  void SaveToStream(gx::TGXStream& s) const override;
  // Base accessors, then the model file name.
  void GetPropertyAccess(TRRPropertyAccessList& list) override;
  // Base data and, from another model description, the model file name.
  void AssignFrom(const TRREntityDescription& other) override;
  // Base keys, "EnableAnimation" (boolean, true when absent), "CADType" (integer, 4 unless within
  // 0..12) and "ModelName" (a file-name property; a string property is taken too): the file
  // becomes the model file, and its name without folder is handed back for the catalogue lookup.
  void LoadFromPropertyBag(const TRREntityDescription_10& bag, std::string& modelFileName) override;

  TRRModelFileName& ModelFile() { return FModelFile; }
  const TRRModelFileName& ModelFile() const { return FModelFile; }
  bool AnimationEnabled() const { return FAnimationEnabled; }
  void SetAnimationEnabled(bool value) { FAnimationEnabled = value; }
  bool Loop() const { return FLoop; }
  void SetLoop(bool value) { FLoop = value; }
  // Seconds.
  float StartTime() const { return FStartTime; }
  void SetStartTime(float value) { FStartTime = value; }
  float Speed() const { return FSpeed; }
  void SetSpeed(float value) { FSpeed = value; }
  uint8_t CADType() const { return FCADType; }
  void SetCADType(uint8_t value) { FCADType = value; }

 private:
  TRRModelFileName FModelFile;
  bool FAnimationEnabled = true;
  bool FLoop = true;
  float FStartTime = 0;
  float FSpeed = 1.0f;
  uint8_t FCADType = 0;
};

// The description an imported model file becomes: a new asset identifier, the file's name
// without folder and extension as German name, CAD type 4, the file as model file and the
// textures found beside it (FindCompanionFiles) as companions. file is the path as given (a disk
// path or a path below a root), diskFile where the file lies on disk (empty: the companions are
// not looked for).
std::unique_ptr<TRRModelDesc> RRImportedModelDesc(const std::string& file, const std::string& diskFile);

// ---- model entity ----

// Material descriptions that are derived or handed on are shared, unchanged, between the model,
// its model entity and every other instance of the same file: a layout shows the same building
// thousands of times.
using TRRSharedMaterialDesc = std::shared_ptr<const TRRMaterialDesc>;

class TRRModelEntity : public gx::TGXSceneNode {
 public:
  // The node under parent, made from the model file. materials is in/out: when it is null or
  // empty (or the file could not be loaded) the description is derived from the model and kept,
  // and unless the placeholder is shown a copy is handed back; otherwise the entity keeps a copy.
  TRRModelEntity(gx::TGXNode* parent, TRRMaterialDesc* materials, const TRRModelFileName& file);
  // The same with a shared description: an empty one receives the derived description itself.
  TRRModelEntity(gx::TGXNode* parent, TRRSharedMaterialDesc& materials, const TRRModelFileName& file);
  ~TRRModelEntity() override;

  // Gives every sub-entity the material of its path again (sub-mesh paths the description does
  // not list take the derived ones).
  void ApplyMaterials();

  const TRRModelFileName& ModelFileName() const { return FFileName; }
  // The dummy stands in for a file that could not be loaded.
  bool IsDummy() const { return FIsDummy; }
  // Whether a model (the file's or the dummy) was instantiated under the node.
  bool HasModel() const { return FModel && FModel->IsLoaded(); }
  const gx::IGXModel& Model() const { return FModel; }
  const gx::IGXAnimation& Animation() const { return FAnimation; }
  const TRRMaterialDesc& Materials() const;

 private:
  // Loads and instantiates the model (the dummy when that fails) and dresses it; materials as in
  // the constructors.
  void Build(TRRSharedMaterialDesc& materials);
  bool Instantiate(const TRRModelServices& services);

  TRRModelFileName FFileName;
  TRRSharedMaterialDesc FMaterials;
  TRRSharedMaterialDesc FDerived;
  gx::IGXModel FModel;
  gx::IGXAnimation FAnimation;
  bool FIsDummy = false;
  IRRReflectionManager* FReflections = nullptr;
};

// Makes a TRRModelEntity for a track's buffer-stop or turntable model (TRRTrack::SetModelFactory).
gx::TGXSceneNode* RRCreateTrackModelEntity(gx::TGXNode* parent, const TRRModelFileName& model,
                                           TRRTrackType type);

// ---- model ----

class TRRModel : public TRREntity, private IRRReflectionListener {
  RR_ENTITY_CLASS()

 public:
  TRRModel(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description);
  ~TRRModel() override;

  static void RegisterKinds(TRRRegisteredEntityList& list);

  // ---- TRREntity ----
  // Switches the CAD display on or off.
  void UpdateView(bool technicalView) override;
  // Link following, then the animation by the frame time times the speed while it is enabled
  // and animations are on; a non-looping animation that reaches its end stops.
  void Animate(bool animationsOn, float deltaTime) override;
  std::unique_ptr<TRREntityDescription> CreateDescription() const override;

  // ---- model ----
  // A new model entity from the file (materials derived anew), speed 1, the animation rebuilt
  // from the start with the loop kept.
  void ReplaceModel(const TRRModelFileName& file);
  TRRModelEntity* ModelEntity() const { return FModelEntity; }
  const TRRModelFileName& ModelFileName() const;
  // Empty until the model entity filled it (and for the dummy).
  const TRRMaterialDesc& Materials() const;
  uint8_t CADType() const { return FCADType; }
  // Takes effect at the next switch of the CAD display.
  void SetCADType(uint8_t value) { FCADType = value; }
  bool CadDisplayOn() const { return FSavedMaterials != nullptr; }

  // ---- animation ----
  bool HasAnimation() const { return FHasAnimation; }
  bool AnimationEnabled() const { return FAnimationEnabled; }
  void StartAnimation() { FAnimationEnabled = true; }
  void StopAnimation() { FAnimationEnabled = false; }
  // Time 0 (toBeginning) or the duration; nothing without an animation.
  void ResetAnimation(bool toBeginning);
  bool Loop() const { return FLoop; }
  void SetLoop(bool value);
  float Speed() const { return FSpeed; }
  void SetSpeed(float value) { FSpeed = value; }
  // False when not enabled; true with loop on; otherwise while the time lies strictly between 0
  // and the duration.
  bool IsRunning() const;
  float CurrentTime() const;
  float Duration() const;
  const gx::TGXAnimationController* Controller() const { return FController.get(); }

  // What the start-animation action does: start position 0 beginning, 1 as it is, 2 end;
  // direction 0 forward (|speed|), 1 as it is, 2 backward (-|speed|); then start.
  void StartAnimationAction(int32_t direction, int32_t startPosition);
  // What the stop-animation action does: end position 0 beginning, 1 as it is, 2 end; then stop.
  void StopAnimationAction(int32_t endPosition);

 protected:
  // For kinds that play the model's animation by a rule of their own (vehicles): the controller,
  // and the switch that keeps the model's own playback from running it as well.
  gx::TGXAnimationController* OwnController() const { return FController.get(); }
  void SetHasAnimation(bool value) { FHasAnimation = value; }

 private:
  void BuildModel(const TRRModelFileName& file, bool loop, float startTime);
  void FreeModel();
  void ReflectionSettingsChanged() override;

  TRRModelEntity* FModelEntity = nullptr;  // a child node: the node tree owns it
  TRRSharedMaterialDesc FMaterials;
  std::unique_ptr<std::vector<gx::IGXMaterial>> FSavedMaterials;
  std::unique_ptr<gx::TGXAnimationController> FController;
  IRRReflectionManager* FReflections = nullptr;
  uint8_t FCADType = 0;
  bool FAnimationEnabled = true;
  bool FLoop = true;
  bool FHasAnimation = false;
  float FSpeed = 1.0f;
  // Written back while there is no controller (no animation, or not loaded), so a description
  // survives a run that does not draw or a file that is missing for a while.
  float FStartTime = 0;
};

}  // namespace rr
