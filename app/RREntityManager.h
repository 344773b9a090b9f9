#pragma once
// TRREntityManager: the bookkeeping of the entities of one open project - the ID table and the
// next-ID counter, the per-kind lists other parts iterate, the selection, the modifier stack,
// picking of the entity under the mouse, and the editing operations on the selection with their
// undo commands. Entities are scene nodes under the project node and are not owned here; they
// register on construction and unregister on destruction.
//
// IDs: slot i of the table holds the entity with ID i + 1. The table only grows and IDs of
// deleted entities are not handed out again while the project is open, so a command in the
// history can always bring an entity back under its former ID. New IDs come in blocks from the
// counter: descriptions are renumbered from NextID (RREntityIDProcessor.h), then ReserveIDs
// advances the counter by the number used.
//
// Kind lists: an entity goes into the first list whose class it is or derives from, tested in
// the order camera, light, panel, track, vehicle, street. The kinds are recognised by their class
// records' names, so the manager needs none of their units.
//
// The project is reached through IRRProjectHost (RRProjectHost.h). The overlay (gizmo, rulers)
// and the active camera's controller are input handlers set from outside.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/RREntitySelection.h"
#include "app/RRInput.h"
#include "app/RRProjectHost.h"
#include "app/entities/RREntity.h"
#include "app/entities/track/RRTrackEvents.h"
#include "app/entities/RREntityModifier.h"
#include "engine/core/GXMath.h"

namespace gx {
class TGXRenderTarget;
class TGXScene;
class TGXSceneObject;
}  // namespace gx

namespace rr {

class TRREntityDescription;
class TRRTrackEffect;
class TRRTrackGeometry;

// German texts of the manager.
inline constexpr const char* RRCaptionDelete = "Löschen";
inline constexpr const char* RRTextDeleteReferencedOne =
    "Das zu löschende Objekt wird von mindestens einem Ereignis referenziert. Wenn Sie fortfahren, verlieren "
    "alle "
    "Ereignisse die Verknüpfung zum gelöschten Objekt.";
inline constexpr const char* RRTextDeleteReferencedMany =
    "Die zu löschenden Objekte werden von mindestens einem Ereignis referenziert. Wenn Sie fortfahren, "
    "verlieren alle "
    "Ereignisse die Verknüpfung zu den gelöschten Objekten.";
inline constexpr const char* RRTextGroupName = "Gruppe";
inline constexpr const char* RRTextUnknownEntityClass = "Unknown entity class";
inline constexpr const char* RRTextInvalidDescription = "Invalid description";
inline constexpr const char* RRTextDuplicateEntityID = "Entity with same ID already exists";

// Keyboard and mouse handling of something that is not a modifier (the overlay).
class IRRInputHandler {
 public:
  virtual ~IRRInputHandler() = default;
  virtual bool KeyEvent(gx::TGXRenderTarget* view, const TRRInputRecord& record) = 0;
  virtual bool MouseEvent(gx::TGXRenderTarget* view, const TRRInputRecord& record) = 0;
};

// The kind lists.
enum class TRREntityKindList { Cameras, Light, Panels, Tracks, Vehicles, Streets, None };

class TRROverlay;
class TRRTransformationGizmo;
class TRRTransformationModifier;

class TRREntityManager : public IRREntityManager, public IRREventNotifierHost {
 public:
  // view and scene may be null (no picking).
  TRREntityManager(IRRProjectHost& project, gx::TGXRenderTarget* view = nullptr,
                   gx::TGXScene* scene = nullptr);
  ~TRREntityManager() override;
  TRREntityManager(const TRREntityManager&) = delete;
  TRREntityManager& operator=(const TRREntityManager&) = delete;

  IRRProjectHost& Project() const { return FProject; }
  gx::TGXNode* ProjectNode() const { return FProject.ProjectNode(); }

  // ---- IDs ----
  int32_t NextID() const { return FNextID; }
  // Advances the counter; a negative count or an overflow of the ID range raises EInvalidParameter.
  void ReserveIDs(int32_t count);

  // Builds the entity and its child entities from the description under parent (the project node
  // when null). Raises EGXException in context "CreateEntity" with "Unknown entity class",
  // "Invalid description" (ID <= 0) or "Entity with same ID already exists"; children created
  // before a failing child stay.
  TRREntity* CreateEntity(gx::TGXNode* parent, const TRREntityDescription& description);

  // ---- IRREntityManager ----
  void RegisterEntity(TRREntity* entity) override;
  void UnregisterEntity(TRREntity* entity) override;
  TRREntity* FindByID(int32_t id) const override;
  void EntityCreated(TRREntity* entity) override;
  void EntityRenamed(TRREntity* entity, const std::string& oldName) override;
  void FrameStepChanged(TRREntity* entity) override;
  bool ShowSelectionBorders() const override;
  // The corner marks of a selected entity, hung on its node (a TRRSelectionBox).
  gx::TGXRef<gx::TGXSceneObject> CreateSelectionBox(TRREntity* entity) override;
  void RemoveModifier(TRREntityModifier* modifier) override;

  // ---- lookups ----
  // The first entity in ID order of the class (or any class for null) whose name equals name
  // ignoring case (Latin letters with accents and umlauts fold too). Served by the name index,
  // so a lookup costs the entities sharing the folded name, not the whole table.
  TRREntity* FindByName(const TRREntityClass* cls, const std::string& name) const;
  void FindByAsset(const gx::TGXGuid& asset, std::vector<TRREntity*>& list) const;
  void FindByClass(const TRREntityClass& cls, std::vector<TRREntity*>& list) const;
  // Table slots (ID - 1), which may be empty.
  int EntitySlotCount() const { return static_cast<int>(FEntities.size()); }
  TRREntity* EntitySlot(int index) const { return FEntities.at(static_cast<size_t>(index)); }
  const TRREntityList& Cameras() const { return FCameras; }
  const TRREntityList& Panels() const { return FPanels; }
  const TRREntityList& Tracks() const { return FTracks; }
  const TRREntityList& Vehicles() const { return FVehicles; }
  const TRREntityList& Streets() const { return FStreets; }
  TRREntity* Light() const { return FLight; }
  // The project's notifier.
  IRREventNotifier* EventNotifier() override { return FProject.EventNotifier(); }
  // Counts the frames whose entity animations ran (a train moves once per frame).
  uint64_t AnimationFrame() const { return FAnimationFrame; }
  // The next frame of the entities' animations: the counter moves on, then every entity that is
  // not idle in frames (TRREntity::IdleInFrames) animates, in ID order.
  void AnimateEntities(bool animationsOn, float deltaTime);
  void AdvanceAnimationFrame() { ++FAnimationFrame; }
  static TRREntityKindList KindListOf(const TRREntityClass& cls);

  TRREntitySelection& Selection() { return FSelection; }

  // ---- view state ----
  bool TechnicalView() const override { return FTechnicalView; }
  void SetTechnicalView(bool value);
  bool ShowOverlay() const { return FShowOverlay; }
  void SetShowOverlay(bool value);
  // The active camera and its own controller (either may be null).
  void SetCamera(TRREntity* camera, TRREntityModifier* cameraModifier = nullptr);
  TRREntity* ActiveCamera() const { return FActiveCamera; }
  // The handler of what no tool, click or camera took (the overlay's rectangle selection unless
  // replaced); the overlay drawn over the view, made with the manager.
  void SetOverlay(IRRInputHandler* overlay) { FOverlay = overlay; }
  TRROverlay* Overlay() const { return FOwnOverlay.get(); }
  void SetScene(gx::TGXScene* scene) { FScene = scene; }

  // ---- picking and frame ----
  // Casts the picking ray through the cursor unless that already happened at this frame counter.
  void UpdatePick();
  TRREntity* HoveredEntity() const { return FHoveredEntity; }
  gx::TGXSceneObject* HitObject() const { return FHitObject; }
  const gx::TGXVector3& HitPoint() const { return FHitPoint; }
  // The cursor in view coordinates (mouse messages set it).
  // The pointer's position in the view; it counts as inside the view until a mouse-leave message.
  void SetCursor(int32_t x, int32_t y) { FCursorX = x, FCursorY = y, FCursorInside = true; }
  int64_t PickCount() const { return FPickCount; }
  // The world-space ray of the last pick (direction from the near to the far plane, not unit
  // length) and the cursor it went through; the brushes cast it at their own entity.
  const gx::TGXVector3& RayOrigin() const { return FRayOrigin; }
  const gx::TGXVector3& RayDirection() const { return FRayDirection; }
  int32_t PickCursorX() const { return FPickCursorX; }
  int32_t PickCursorY() const { return FPickCursorY; }
  gx::TGXScene* PickScene() const;
  // Picking, modifier ticks, UpdateView and Animate of every entity; while the technical view is
  // on, the connections of all tracks are refreshed (RRRefreshConnections) at most every 0.2 s of
  // the frame timer, which keeps markers and connection IDs current.
  void UpdateFrame();

  // ---- track drawing ----
  // The shared track geometries and effects, made on first request from the engine's resources
  // on the current render core (the project log hears once of each that cannot be made), freed
  // with the manager.
  TRRTrackResources* TrackResources() override;
  // Geometry kinds 0-2 and effect kinds 0-6 (RRTrackGeometry.h); null when they cannot be made.
  TRRTrackGeometry* GetTrackGeometry(int kind);
  TRRTrackEffect* GetTrackEffect(int kind);
  // Replaces the resources (tests hand in ones on the null device).
  void SetTrackResources(std::unique_ptr<TRRTrackResources> resources);

  // ---- input ----
  // True when the message was handled.
  bool HandleInput(gx::TGXRenderTarget* view, const TRRInputRecord& record);

  // ---- modifiers ----
  // position -1 appends (on top).
  void AddModifier(TRREntityModifier* modifier, int position = -1);
  int ModifierCount() const { return static_cast<int>(FModifiers.size()); }
  TRREntityModifier* Modifier(int index) const { return FModifiers.at(static_cast<size_t>(index)); }

  // ---- editing ----
  bool CanDeleteSelection();
  void DeleteSelection();
  void GroupSelection();
  void UngroupSelection();
  // Copies the selection through the clipboard and selects the copies; returns how many.
  int DuplicateSelection();
  void RefreshSelectionBorders();

  // ---- transformation tools ----
  // Whether the selection may be moved and turned by the mouse and the keys: the switch (the main
  // window turns it off in simulation mode), and never while a cockpit camera is active.
  bool TransformEnabled() const;
  void SetTransformEnabled(bool value) { FTransformEnabled = value; }
  // The modifier made for the current selection (null while nothing is selected) and the gizmo
  // it shows (made with the first one).
  TRRTransformationModifier* FindTransformationModifier() const { return FTransformModifier.get(); }
  TRRTransformationGizmo* Gizmo() const { return FGizmo.Get(); }
  // Ends a running drag as releasing the button would (undo, redo and deletes call it first).
  void EndTransformation();
  // The camera of the view's first viewport, or null.
  gx::TGXSceneCamera* ViewCamera() const;
  // Called by the selection after each change outside its brackets: the old selection's
  // transformation modifier goes, the new one's comes.
  void SelectionChanged();

 private:
  template <class Fn>
  bool OfferToModifiers(Fn&& fn);
  void AddToKindList(TRREntity* entity);
  void RemoveFromKindList(TRREntity* entity);
  void AddToNameIndex(TRREntity* entity, const std::string& name);
  void RemoveFromNameIndex(TRREntity* entity, const std::string& name);
  bool HandleKey(gx::TGXRenderTarget* view, const TRRInputRecord& record);
  bool HandleMouse(gx::TGXRenderTarget* view, const TRRInputRecord& record);

  IRRProjectHost& FProject;
  std::vector<TRREntity*> FEntities;
  // Per slot: 1 when the entity there is idle in frames, so the frame step need not touch it.
  std::vector<uint8_t> FIdle;
  // The entities of the table by case-folded name (gx::LowerCaseText), in no particular order.
  std::unordered_map<std::string, std::vector<TRREntity*>> FNameIndex;
  int32_t FNextID = 1;
  gx::TGXRenderTarget* FView;
  gx::TGXScene* FScene;
  int64_t FLastPickTime = -1;
  int64_t FPickCount = 0;
  int32_t FCursorX = 0, FCursorY = 0;
  bool FCursorInside = false;
  int32_t FPickCursorX = 0, FPickCursorY = 0;
  gx::TGXVector3 FRayOrigin{0, 0, 0};
  gx::TGXVector3 FRayDirection{0, 0, 1};
  gx::TGXSceneObject* FHitObject = nullptr;
  gx::TGXVector3 FHitPoint{0, 0, 0};
  float FHitDistance = 0;
  TRREntity* FHoveredEntity = nullptr;
  TRREntity* FLastHoveredEntity = nullptr;
  TRREntitySelection FSelection;
  std::vector<TRREntityModifier*> FModifiers;
  TRREntityList FCameras;
  TRREntity* FActiveCamera = nullptr;
  uint64_t FAnimationFrame = 0;
  TRREntityModifier* FCameraModifier = nullptr;
  TRREntity* FLight = nullptr;
  TRREntityList FPanels;
  IRRInputHandler* FOverlay = nullptr;
  bool FTechnicalView = false;
  bool FShowOverlay = true;
  TRREntityList FTracks;
  TRREntityList FVehicles;
  TRREntityList FStreets;
  std::unique_ptr<TRRTrackResources> FTrackResources;
  // Frame counter of the last connection refresh; -1 before the first.
  int64_t FLastConnectionRefresh = -1;
  bool FTransformEnabled = true;
  gx::TGXRef<TRRTransformationGizmo> FGizmo;
  std::unique_ptr<TRRTransformationModifier> FTransformModifier;
  // After the gizmo: it goes first and hands the gizmo back from its node.
  std::unique_ptr<TRROverlay> FOwnOverlay;
};

}  // namespace rr
