#pragma once
// Camera entities: the 3D view always looks through one camera entity, the active camera. Cameras
// are models (RRModel.h) so that they can be placed, named, linked to moving things, saved and
// selected like other objects. The camera type decides the projection and the controller:
//
//   type 0 placed by the user   perspective   no controller        model as the user sets it
//   type 1 free camera          perspective   TRRFreeCameraModifier never shown, fixed
//   type 2 cockpit              perspective   none                 never shown, fixed
//   type 3 top-down             orthographic  TRR2DCameraModifier  never shown, fixed
//   type 4 technical drawing    orthographic  TRR2DCameraModifier  never shown, fixed
//
// Perspective cameras start with a field of view of 30 degrees, near 1 and far 5000; orthographic
// ones with near 1, far 5000 and view size 200, after which the view size follows the camera's
// world height. The far plane of a perspective camera is widened each frame to reach across the
// layout (never below 5000), so a framed layout never vanishes beyond it.
//
// Activation goes through the project (TRRProject::SetActiveCamera) only: it deactivates the old
// camera, activates the new one and hands its engine camera to the view. A camera's controller
// (modifier) exists exactly while it is active; it is the entity manager's separate camera
// modifier, never on the modifier stack.
//
// Description payload (after the model payload, little-endian): Integer version (2 written; 1
// and 2 read), type byte, version 1: the parent-link entity ID (Integer; it becomes the link
// target and the camera links itself at its first frame), version 2: the look-at target ID
// (Integer); active byte; visible byte. Only the camera that is active when saved writes
// active = 1. For every type but 0 the stored rotation is made roll-free on reading.
//
// Cockpit cameras (TRRCockpit, type 2) belong to an entity that implements IRRCockpitOwner (the
// nearest enclosing one); without an owner they are plain perspective cameras.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/entities/RRModel.h"
#include "engine/core/GXMath.h"

namespace gx {
class TGXCamera;
class TGXAnimationController;
}  // namespace gx

namespace rr {

class TRREntityManager;
class TRREntityModifier;
class TRRRegisteredEntityList;

inline constexpr const char* RRKindCamera = "{169F0537-5E3F-46AB-99D7-D56DD1FD7A1E}";
inline constexpr const char* RRKindCockpit = "{2C753670-471E-458D-A36E-DC6176DECCF7}";
// The version of the camera payload that is written; 1 and 2 are read.
inline constexpr int32_t RRCameraDescVersion = 2;
// The CAD colour of cameras (black).
inline constexpr uint8_t RRCameraCadType = 11;
inline constexpr const char* RRTextPredefinedCamera = "Vordefinierte Kameras können nicht entfernt werden.";

// Camera types.
inline constexpr uint8_t RRCameraPlaced = 0;
inline constexpr uint8_t RRCameraFree = 1;
inline constexpr uint8_t RRCameraCockpit = 2;
inline constexpr uint8_t RRCameraTopDown = 3;
inline constexpr uint8_t RRCameraTechnical = 4;
inline constexpr uint8_t RRCameraTypeCount = 5;

// Projections.
inline constexpr float RRCameraFieldOfView = 0.5235988f;  // 30 degrees
inline constexpr float RRCameraNearPlane = 1.0f;
inline constexpr float RRCameraFarPlane = 5000.0f;
inline constexpr float RRCameraOrthoSize = 200.0f;
inline constexpr float RRCockpitFieldOfView = 0.7853982f;  // 45 degrees
inline constexpr float RRCockpitNearPlane = 0.1f;
inline constexpr float RRCockpitFarPlane = 1000.0f;
// The control animation of a cab: 100 frames of 0.04 s; speeds -75 ... 75 map onto it.
inline constexpr float RRCockpitControlDuration = 4.0f;
inline constexpr float RRCockpitControlSpeedRange = 75.0f;

// Top-down cameras stay between these heights (cm).
inline constexpr float RRTopDownMinHeight = 10.0f;
inline constexpr float RRTopDownMaxHeight = 1000.0f;
// Framing keeps at least this distance (cm) from the centre of what it frames.
inline constexpr float RRFrameMinDistance = 10.0f;

inline bool RRIsOrthographicCameraType(uint8_t type) {
  return type == RRCameraTopDown || type == RRCameraTechnical;
}

// ---- descriptions ----

class TRRCameraDesc : public TRRModelDesc {
  RR_DESCRIPTION_CLASS()

 public:
  // Type 0, no target, not active, visible; CAD type 11.
  TRRCameraDesc();

  // Raises EUnknownEntityDescription for a version outside 1..2. A type beyond 4 is read as 0.
  void LoadFromStream(gx::TGXStream& s) override;
  void SaveToStream(gx::TGXStream& s) const override;
  // Model accessors, then the look-at target ID.
  void GetPropertyAccess(TRRPropertyAccessList& list) override;
  // Model keys, "CameraType" (0, 1 -> 0, 1; 2 -> 3; 3 -> 4; others keep the type), "LinkID" (the
  // parent link, linked at the first frame) and "ActiveCamera".
  void LoadFromPropertyBag(const TRREntityDescription_10& bag, std::string& modelFileName) override;
  // Every camera but a placed one (type 0) is fixed.
  bool IsFixed() const override { return FType != RRCameraPlaced; }

  uint8_t Type() const { return FType; }
  void SetType(uint8_t value) { FType = value; }
  int32_t LookAtTarget() const { return FLookAtTarget; }
  void SetLookAtTarget(int32_t id) { FLookAtTarget = id; }
  bool Active() const { return FActive; }
  void SetActive(bool value) { FActive = value; }
  // Whether a placed camera shows its model.
  bool CameraVisible() const { return FCameraVisible; }
  void SetCameraVisible(bool value) { FCameraVisible = value; }
  // Set when the link came from an old record; not stored.
  bool LinkPending() const { return FLinkPending; }
  void SetLinkPending(bool value) { FLinkPending = value; }

 private:
  uint8_t FType = RRCameraPlaced;
  int32_t FLookAtTarget = 0;
  bool FActive = false;
  bool FCameraVisible = true;
  bool FLinkPending = false;
};

// Adds no stream data: the cab model and its offset come from the owner (the vehicle's catalogue
// entry) each time the owner builds its cockpit.
class TRRCockpitDesc : public TRRCameraDesc {
  RR_DESCRIPTION_CLASS()

 public:
  // Type 2.
  TRRCockpitDesc();

  TRRModelFileName& CockpitModel() { return FCockpitModel; }
  const TRRModelFileName& CockpitModel() const { return FCockpitModel; }
  float CockpitOffset() const { return FCockpitOffset; }
  void SetCockpitOffset(float value) { FCockpitOffset = value; }

 private:
  TRRModelFileName FCockpitModel;
  float FCockpitOffset = 0;
};

// ---- camera ----

class TRRCamera : public TRRModel {
  RR_ENTITY_CLASS()

 public:
  TRRCamera(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description);
  ~TRRCamera() override;

  static void RegisterKinds(TRRRegisteredEntityList& list);

  // ---- TRREntity ----
  // Node update; an orthographic camera's view size follows its world height.
  bool Update(bool force = false) override;
  // Links itself after an old record, follows its link and its look-at target, writes its world
  // position into "CAMERAPOSITION" while active, keeps the far plane across the layout.
  void Animate(bool animationsOn, float deltaTime) override;
  // A predefined camera refuses with "Vordefinierte Kameras können nicht entfernt werden.".
  bool CanDelete(std::string& reason) const override;
  bool IsFixed() const override { return FType != RRCameraPlaced; }
  // Type, look-at target, active and the model's visibility after the model's fields.
  std::unique_ptr<TRREntityDescription> CreateDescription() const override;

  // ---- camera ----
  uint8_t Type() const { return FType; }
  // Owned by the camera's node.
  gx::TGXCamera* EngineCamera() const { return FCamera; }
  bool IsActive() const { return FActive; }
  // Only TRRProject::SetActiveCamera calls this: frees the controller, stores the flag and, when
  // true, makes the controller of the type.
  virtual void SetActive(bool value);
  // The controller while active (null for types 0 and 2, and while inactive).
  TRREntityModifier* Modifier() const { return FModifier.get(); }
  // Whether a placed camera shows its model ("Kameraobjekt anzeigen"; predefined cameras never
  // do). The model is hidden while the view looks through the camera, which keeps this flag.
  bool ShowModel() const { return FShowModel; }
  void SetShowModel(bool value);

  // The entity (ID) the camera keeps looking at; null / 0 for none.
  void SetLookAtTarget(TRREntity* target);
  int32_t LookAtTarget() const { return FLookAtTarget; }
  bool LinkPending() const { return FLinkPending; }

  // Moves the camera (keeping its orientation) so that it looks at the centre of the entities'
  // joined world box from twice its diagonal (at least RRFrameMinDistance); a top-down camera
  // stays at least RRTopDownMinHeight high. Nothing for a cockpit, for an empty box, or when only
  // the camera itself is listed. Returns whether it moved.
  bool FrameEntities(const std::vector<TRREntity*>& entities);
  // Turns the camera to look at the point with world up (0, 1, 0), roll-free. A point at the
  // camera or straight above or below it keeps the orientation. Returns whether it turned.
  bool LookAt(const gx::TGXVector3& point);

  // The camera's own axes in world space (rows of its world rotation).
  gx::TGXVector3 ForwardAxis() const;
  gx::TGXVector3 RightAxis() const;
  gx::TGXVector3 UpAxis() const;

  // Widens the far plane of a perspective camera to reach every corner of box (never below
  // 5000); an empty box leaves 5000.
  void CoverBox(const gx::TGXBoundingBox& box);

  // For tests and the frame step: the "CAMERAPOSITION" value last written.
  static gx::TGXVector3 LastCameraPosition();

 protected:
  std::unique_ptr<TRREntityModifier> FModifier;

 private:
  void ApplyProjection();

  uint8_t FType = RRCameraPlaced;
  gx::TGXCamera* FCamera = nullptr;
  bool FActive = false;
  int32_t FLookAtTarget = 0;
  bool FLinkPending = false;
  bool FShowModel = false;
  float FOrthoHeight = -1;
};

// The rotation that looks along forward with world up (0, 1, 0) and no roll. right :=
// normalise(up x forward); a vertical forward takes the right axis of hint flattened instead;
// when both are degenerate the result is none (keep what you have).
bool RRRollFreeRotation(const gx::TGXVector3& forward, const gx::TGXVector3& rightHint,
                        gx::TGXQuaternion& out);
// A stored rotation made roll-free: forward and the flattened right axis of q rebuilt (with the
// sign of the flattened right). Returns q unchanged when both axes are degenerate.
gx::TGXQuaternion RRMakeRollFree(const gx::TGXQuaternion& q);

// ---- cockpit ----

class TRRCockpit;

// What an entity that carries a cockpit (the vehicle kind) offers its cab camera.
class IRRCockpitOwner {
 public:
  virtual ~IRRCockpitOwner() = default;
  // The owner as entity (selected when the cockpit becomes active).
  virtual TRREntity* CockpitOwnerEntity() = 0;
  // The outside model, hidden while the cockpit is active (null: none).
  virtual gx::TGXSceneNode* CockpitExteriorNode() = 0;
  // The inside parts, shown exactly while the cockpit is active (null: none).
  virtual gx::TGXSceneNode* CockpitInteriorNode() = 0;
};

class TRRCockpit : public TRRCamera {
  RR_ENTITY_CLASS()

 public:
  // The camera, then the cab model on the same parent node (a sibling, never written as a child),
  // its control animation (4 s, no loop, at speed 0), the offset along z in parent space (offset
  // / d, d the parent's local box depth; 1 when d is not usable), the owner's interior hidden and
  // the projection 45 degrees, near 0.1, far 1000.
  TRRCockpit(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description);
  // Gives the entity manager its overlay back when destroyed while active.
  ~TRRCockpit() override;

  // Activation of the camera; while active the owner's exterior is hidden and its interior shown,
  // the owner is selected on activation, and the manager's overlay is off.
  void SetActive(bool value) override;

  // The control animation for a target speed: time := (v + 75) / 150 * duration.
  void SetControlSpeed(float speed);
  IRRCockpitOwner* Owner() const { return FOwner; }
  TRRModelEntity* CabModel() const { return FCab; }
  const gx::TGXAnimationController* ControlController() const { return FControl.get(); }

 private:
  void ShowOwnerParts(bool active);

  IRRCockpitOwner* FOwner = nullptr;
  TRRModelEntity* FCab = nullptr;  // a sibling node: the parent owns it
  TRRSharedMaterialDesc FCabMaterials;
  std::unique_ptr<gx::TGXAnimationController> FControl;
};

// The d of the cockpit offset: the z extent of a parent's local box, 1 when it is not finite or
// not above 1e-6.
float RRCockpitOffsetDivisor(const gx::TGXBoundingBox& parentBounds);

// Where a top-down camera stands to show a box (a baseboard): over its centre at the height that
// shows the whole box at 4:3 (the view size equals the height), at least 300 and at most 1000;
// (0, 300, 0) for an empty or unusable box.
inline constexpr float RRTopDownDefaultHeight = 300.0f;
gx::TGXVector3 RRTopDownPlaceOver(const gx::TGXBoundingBox& box);

// ---- pivot ----

// The point a camera rotates about (and imports are placed at): the selection's centre when it is
// near the middle of the view (unless ignoreSelection, and not a single panel), else the nearest
// entity the view ray hits, else the nearest panel plane in front, else the ground y = 0 in front,
// else 100 cm ahead. Only intersections in front of the camera (t > 0) count.
gx::TGXVector3 RRCameraRotationPivot(TRRCamera& camera, TRREntityManager& manager, bool ignoreSelection);

}  // namespace rr
