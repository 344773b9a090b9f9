#pragma once
// The transformation gizmo: three axis arrows and three rotation rings at the selection's centre,
// kept at one size on screen. This holds what the tools ask of it - its scale for a camera, the
// handles a mouse ray picks, which handle is highlighted, whether it is shown and where - and the
// line geometry it is drawn from. The gizmo is not turned with the selection: its axes are the
// world's.
//
// Handles (gizmo space, s the scale, L = 0.75 s, r = 0.03 s, R = s):
//   1 X arrow: box (0, -r, -r)..(L, r, r)        7 ring of radius R about X
//   2 Z arrow: box (-r, -r, 0)..(r, r, L)        8 ring about Z
//   3 Y arrow: box (-r, 0, -r)..(r, L, r)        9 ring about Y
// Picked in the order 1, 2, 3, 7, 8, 9 (the first hit wins); in the flat view of the top-down
// cameras only 1, 2 and 9 can be picked.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/GXMath.h"
#include "engine/core/GXSceneNode.h"

namespace rr {

// Drag modes of the transformation tools.
inline constexpr int RRDragNone = 0, RRDragFree = 1, RRDragMoveX = 2, RRDragMoveY = 3, RRDragMoveZ = 4,
                     RRDragRotateX = 5, RRDragRotateY = 6, RRDragRotateZ = 7;
inline constexpr int RRGizmoArrowX = 1, RRGizmoArrowZ = 2, RRGizmoArrowY = 3, RRGizmoRingX = 7,
                     RRGizmoRingZ = 8, RRGizmoRingY = 9;
// Highlight states of a handle.
inline constexpr uint8_t RRGizmoNormal = 0, RRGizmoHighlighted = 1, RRGizmoDimmed = 2;

// The drag mode a picked handle starts (any other number: free move) and the handle shown while
// a mode drags (none: 0).
int RRDragModeOfHandle(int handle);
int RRHandleOfDragMode(int mode);

struct TRRGizmoHit {
  int Handle = 0;  // 0: nothing hit
  gx::TGXVector3 Point{0, 0, 0};
  gx::TGXVector3 Normal{0, 0, 0};
};

// What the gizmo's size follows: the camera's position, view direction, projection kind and, for
// a perspective camera, its near plane (all read from the camera's matrices).
struct TRRGizmoCamera {
  gx::TGXVector3 Position{0, 0, 0};
  gx::TGXVector3 Direction{0, 0, 1};  // unit length
  bool Orthographic = false;
  float OrthoHeight = 0;
  float NearPlane = 1;

  static TRRGizmoCamera FromMatrices(const gx::TGXMatrix& view, const gx::TGXMatrix& projection);
};

class TRROverlayPrimitive;

// A vertex of the gizmo's drawing: a corner of a line widened on screen (its own end, the line's
// other end and the side it is pushed to, -1 or 1) or of a solid arrow head (side 0).
struct TRRGizmoVertex {
  float X, Y, Z;
  float OtherX, OtherY, OtherZ;
  float Side, Unused;
  uint32_t Color;
};

class TRRTransformationGizmo : public gx::TGXSceneObject {
 public:
  TRRTransformationGizmo();
  ~TRRTransformationGizmo() override;
  // Off: nothing can be picked (the manager's transform switch).
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value) { FEnabled = value; }
  // The flat view of the top-down and technical cameras: only the X and Z arrows and the Y ring.
  bool FlatView() const { return FFlatView; }
  void SetFlatView(bool value) {
    if (value != FFlatView) ++FLook;
    FFlatView = value;
  }

  // Places the gizmo at centre with the scale the camera gives it: 0.1 x the centre's signed
  // distance along the view direction (perspective) or 0.2 x the orthographic height. A scale
  // below 0.1 x the near plane (behind or at the camera) leaves the gizmo unplaced: hidden and
  // not pickable.
  void Place(const gx::TGXVector3& centre, const TRRGizmoCamera& camera);
  bool Placed() const { return FPlaced; }
  const gx::TGXVector3& Centre() const { return FCentre; }
  float Scale() const { return FScale; }
  float Length() const { return 0.75f * FScale; }
  float Thickness() const { return 0.03f * FScale; }
  float Radius() const { return FScale; }
  // Whether the tools want it drawn (their own rules); drawn only when also placed.
  bool Shown() const { return FShown && FPlaced; }
  void SetShown(bool value) { FShown = value; }

  uint8_t Highlight(int handle) const;
  void SetHighlight(int handle, uint8_t state);
  // All normal, or (mode != 0) the mode's handle highlighted and the others dimmed.
  void HighlightForMode(int mode);

  // The handle the ray (world space, any length) meets first, with the world hit point and the
  // hit face's normal (a ring's: its axis facing the ray); Handle 0 when none. cameraPosition
  // decides which side of the gizmo counts as the front for the rings.
  TRRGizmoHit Pick(const gx::TGXVector3& origin, const gx::TGXVector3& direction,
                   const gx::TGXVector3& cameraPosition) const;

  // The drawing's line segments in unit gizmo space (pairs of points): the three axes to 0.75, the
  // letters X, Y, Z from segments within +-0.5 around their arrow's tip, and three circles of 32
  // segments in the YZ, XY and XZ planes.
  static std::vector<gx::TGXVector3> LineGeometry();
  // The handle a segment of LineGeometry belongs to (by its index).
  static int HandleOfLine(size_t line);
  // What is drawn for the current highlights and view (unit gizmo space): each visible line as
  // two triangles, and a cone at the tip of each visible arrow. Handles are coloured by axis,
  // highlighted ones yellow, dimmed ones faint; in the flat view only the pickable ones.
  std::vector<TRRGizmoVertex> DrawVertices() const;
  static uint32_t HandleColour(int handle, uint8_t highlight);

  // Drawing (the overlay's "Gizmo" node carries it, placed and scaled): the view's pixel size
  // keeps the lines' width.
  void SetViewportSize(uint32_t width, uint32_t height);
  bool RayIntersect(const gx::TGXVector3&, const gx::TGXVector3&, gx::TGXVector3&, gx::TGXVector3&) override {
    return false;
  }
  void AddToRenderQueue(gx::TGXSceneCamera* camera, gx::TGXRenderQueue* queue) override;

 private:
  bool PickArrow(int handle, const gx::TGXVector3& origin, const gx::TGXVector3& direction,
                 TRRGizmoHit& hit) const;
  bool PickRing(int handle, const gx::TGXVector3& origin, const gx::TGXVector3& direction,
                const gx::TGXVector3& cameraPosition, TRRGizmoHit& hit) const;

  bool FEnabled = true;
  bool FFlatView = false;
  bool FPlaced = false;
  bool FShown = false;
  gx::TGXVector3 FCentre{0, 0, 0};
  float FScale = 0;
  std::array<uint8_t, 11> FHighlight{};  // by handle 1..10
  // Bumped by every change of what DrawVertices gives; the drawing is written again then.
  uint32_t FLook = 1, FDrawnLook = 0;
  bool FTriedMaterial = false;
  float FViewWidth = 800, FViewHeight = 600;
  std::unique_ptr<TRROverlayPrimitive> FPrimitive;
};

}  // namespace rr
