#pragma once
// The transformation modifier: how the user moves and turns the selection in the 3D view. The
// entity manager makes one for every non-empty selection (and frees it when the selection
// changes). A press on a selected entity or on a gizmo handle arms a drag; moving the pointer by
// more than 4 pixels across or 5 down or up starts it; every frame the mouse ray gives a target
// placement, which is applied with snapping (and, for a free move, dropped onto what lies below);
// releasing the button ends the drag as one command on the history. W/S, A/D and Q/Y move the
// selection by 0.1 along Z, X and Y; Escape puts a drag back where it started.
//
// Drag modes: 1 free move in the horizontal plane through the grabbed point, 2-4 along X, Y or Z,
// 5-7 turning about X, Y or Z by 0.01 rad per pixel. Targets are kept inside the layout's box
// widened to hold the camera and ten metres beside and below; a ray that misses its plane or a
// non-finite result keeps the last target.

#include <cstdint>
#include <memory>

#include "app/entities/RREntityModifier.h"
#include "engine/core/GXGeometry.h"
#include "engine/core/GXMath.h"

namespace rr {

class TRRCommand;
class TRREntity;
class TRREntityManager;
class TRRTransformationGizmo;

// Pixels the pointer must travel before an armed drag starts: more than 4 across, 5 or more down.
inline constexpr int RRDragThresholdX = 4, RRDragThresholdY = 5;
// The key moves' step and the keys (W/S: Z, A/D: X, Q/Y: Y).
inline constexpr float RRKeyMoveStep = 0.1f;

class TRRTransformationModifier : public TRREntityModifier {
 public:
  // gizmo may be null (no handles to pick).
  TRRTransformationModifier(TRREntityManager& manager, TRRTransformationGizmo* gizmo);
  // Releases the mouse, ends a running drag (its command pushed for the entities still there)
  // and hides the gizmo.
  ~TRRTransformationModifier() override;

  void Activate() override { FActive = true; }
  void Deactivate() override { FActive = false; }
  bool Active() const { return FActive; }
  bool KeyEvent(gx::TGXRenderTarget* view, uint32_t message, const TRRInputRecord& record,
                int32_t key) override;
  bool MouseEvent(gx::TGXRenderTarget* view, uint32_t message, int32_t phase, const TRRInputRecord& record,
                  uint32_t flags) override;
  void Tick() override;

  int DragMode() const { return FDragMode; }
  bool Armed() const { return FPending; }
  // Starts a drag as a press would (the tests and the catalogue's drop use it directly).
  void BeginDrag(int mode, const gx::TGXVector3& point, const gx::TGXVector3& normal, bool recordUndo);
  // Ends a running drag: its command goes on the history unless nothing changed.
  void EndDrag();
  // Puts a running drag back where it started and forgets its command.
  void CancelDrag();
  // Applies a placement of the selection with snapping (true when it was accepted).
  bool ApplyWithSnapping(const gx::TGXVector3& position, const gx::TGXQuaternion& rotation);
  const gx::TGXBoundingBox& PositionBounds() const { return FBounds; }

 private:
  void DragFrame();
  bool DropBelow(gx::TGXVector3& position, gx::TGXQuaternion& rotation);
  struct TSnapQuery {
    bool Acceptable = true;
    bool Snapped = false;
    gx::TGXVector3 Translation{0, 0, 0};
    gx::TGXVector3 Point{0, 0, 0};
    gx::TGXQuaternion Rotation{0, 0, 0, 1};
  };
  TSnapQuery QuerySnaps();
  void SetPlacement(const gx::TGXVector3& position, const gx::TGXQuaternion& rotation);
  gx::TGXVector3 Clamp(const gx::TGXVector3& p) const;
  bool ModifierKeysHeld() const;
  void UpdateGizmo();
  void Release();

  TRREntityManager& FManager;
  TRRTransformationGizmo* FGizmo;
  bool FActive = false;
  int FDragMode = 0;
  gx::TGXVector3 FGrabOffset{0, 0, 0};
  bool FPending = false;
  int FPendingMode = 0;
  int32_t FPressX = 0, FPressY = 0;
  gx::TGXVector3 FPressPoint{0, 0, 0};
  gx::TGXVector3 FPressNormal{0, 1, 0};
  gx::TGXVector3 FStartPosition{0, 0, 0};
  gx::TGXQuaternion FStartRotation{0, 0, 0, 1};
  int32_t FStartMouseX = 0, FStartMouseY = 0;
  gx::TGXPlane FDragPlane{0, 1, 0, 0};
  gx::TGXBoundingBox FBounds;
  std::unique_ptr<TRRCommand> FCommand;
  bool FCaptured = false;
  // The modifier keys of the last input record (mouse messages carry Shift and Control).
  uint32_t FButtons = 0;
  bool FAltDown = false;
};

}  // namespace rr
