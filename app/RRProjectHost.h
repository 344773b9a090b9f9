#pragma once
// IRRProjectHost: what the entity manager, the history and the clipboard need from the open
// project. The project object implements it; until it exists, tests implement it with a plain
// scene node as the project node. Everything here is state or a notification the project owns -
// the manager never reaches past this interface into the project.

#include <cstdint>
#include <string>

#include "app/RRUIService.h"
#include "engine/core/GXNode.h"

namespace rr {

class IRREventNotifier;

class TRRHistory;
class TRRClipboard;
class TRREntity;

class IRRProjectHost {
 public:
  virtual ~IRRProjectHost() = default;

  // The node under which top-level entities live (parent ID 0 in the history).
  virtual gx::TGXNode* ProjectNode() = 0;
  virtual IRRUIService& UI() = 0;
  // The project's history; null when edits are not recorded.
  virtual TRRHistory* History() = 0;
  // The program's entity clipboard (duplicate goes through it); null when there is none.
  virtual TRRClipboard* Clipboard() = 0;
  // The project changed in a way the history cannot take back.
  virtual void SetModified() = 0;

  // Called for every entity once it is complete and registered.
  virtual void EntityCreated(TRREntity* entity) {}
  // The selection changed (once per outermost update bracket).
  virtual void SelectionChanged() {}
  // The status bar's entity panel: the hovered entity's name, or empty.
  virtual void ShowStatusText(const std::string& text) {}
  // The program's selection-border display switch.
  virtual bool SelectionBordersEnabled() const { return true; }
  // The page of the project menu's entity area; -1 shows no entity.
  virtual int32_t EntityMenuPage() const { return 0; }
  virtual void ShowEntityMenuPage(int32_t page) {}
  // Whether an event refers to the entity (the event manager answers).
  virtual bool IsReferencedByEvents(const TRREntity* entity) const { return false; }

  // The frame timer: the current counter, its frequency (counts per second), the last frame's
  // duration in seconds, and the program's animations switch.
  virtual int64_t FrameCounter() const { return 0; }
  virtual int64_t FrameFrequency() const { return 1000; }
  virtual float FrameDeltaTime() const { return 0; }
  virtual bool AnimationsOn() const { return true; }

  // Camera controllers: the 3D view keeps the mouse while a button drags (release gives it back).
  // Whether a key is held now (virtual key; 162 the left Control key): tools that look at keys
  // outside their messages ask here.
  virtual bool KeyDown(int32_t key) const { return false; }
  // The gizmo display switch and the automatic alignment of moved objects to what lies below
  // (left Control inverts the latter while dragging).
  virtual bool GizmoEnabled() const { return true; }
  virtual bool AutoTerrainAlign() const { return true; }
  virtual void CaptureMouse() {}
  virtual void ReleaseMouse() {}
  // A camera was made, renamed, activated or removed (the camera menu follows).
  virtual void CamerasChanged() {}
  // A top-down camera moved: the rulers are drawn again.
  virtual void RulersChanged() {}
  // The active camera is being destroyed; the project chooses another one.
  virtual void ActiveCameraDestroyed(TRREntity* camera) {}
  // Where switches, vehicles and signals report what happened (null: nothing listens).
  virtual IRREventNotifier* EventNotifier() { return nullptr; }
};

}  // namespace rr
