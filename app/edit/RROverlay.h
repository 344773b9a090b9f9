#pragma once
// What the 3D view draws over the layout while editing:
// - TRROverlay: a second viewport over the whole view that clears only the depth and shows a
//   small scene of its own through the view's camera. Its node "Gizmo" carries the
//   transformation gizmo, placed and scaled every frame; its TRRSelectionBorder draws the rubber
//   band of a rectangle selection. The viewport is switched off while there is nothing to show,
//   so a view without selection draws exactly what it drew before.
// - TRRSelectionBox: the corner marks of one selected entity's box, hung on the entity's node
//   (the entity manager makes them for the selection display).
//
// Rectangle selection: a left press where no tool, entity or camera took it starts a band and
// captures the mouse; moves stretch it; releasing selects the unlocked top-level entities (not
// baseboards) the band's frustum meets - in addition to the selection with Control held at the
// press, instead of it otherwise - and releases the mouse. A band of fewer than 3 pixels either
// way selects nothing; Escape drops the band.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/RREntityManager.h"
#include "engine/core/GXMath.h"
#include "engine/core/GXSceneNode.h"
#include "engine/render/GXRenderPrimitive.h"
#include "engine/render/GXVertexLayout.h"

namespace gx {
class TGXScene;
class TGXViewport;
}  // namespace gx

namespace rr {

inline constexpr const char* RRGizmoEffectFile =
    "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Shader\\Overlay\\GizmoText.fx";
inline constexpr const char* RRSelectionBorderEffectFile =
    "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Shader\\Overlay\\SelectionBorder.fx";
inline constexpr const char* RRGizmoNodeName = "Gizmo";
// A band narrower or lower than this (pixels) is a click, not a rectangle.
inline constexpr int RRBandMinimum = 3;

// A primitive whose vertices are written again when they change; the buffer grows, never
// shrinks. World is the matrix it draws with.
class TRROverlayPrimitive : public gx::TGXRenderPrimitive {
 public:
  // False (nothing to draw) without a render core, for no vertices, or when the buffer cannot be
  // made or written.
  bool Write(const void* vertices, uint32_t count, uint32_t stride, const gx::TGXVertexLayoutDecl& layout);
  const gx::TGXMatrix* GetWorldMatrix() override { return &World; }
  gx::TGXMatrix World = gx::GXMatrixIdentity();
};

// Position and colour (0xAARRGGBB): the selection display's vertices.
struct TRRBorderVertex {
  float X, Y, Z;
  uint32_t Color;
};

// The corner marks of a box: at each of the eight corners three strokes along the edges, a
// quarter of each edge long (24 lines, 48 vertices).
std::vector<TRRBorderVertex> RRBoxCornerLines(const gx::TGXBoundingBox& box, uint32_t colour);

// The selection display of one entity. It has no bounds of its own unless given some (it then
// marks those), so hanging it on a node changes neither the node's box nor any pick.
class TRRSelectionBox : public gx::TGXSceneObject {
 public:
  bool RayIntersect(const gx::TGXVector3&, const gx::TGXVector3&, gx::TGXVector3&, gx::TGXVector3&) override {
    return false;
  }
  void AddToRenderQueue(gx::TGXSceneCamera* camera, gx::TGXRenderQueue* queue) override;
  // The box the marks show: its own bounds when set, else its node's.
  gx::TGXBoundingBox MarkedBox() const;

 private:
  TRROverlayPrimitive FPrimitive;
  gx::TGXBoundingBox FDrawn;
  bool FWritten = false;
  bool FTried = false;
};

// The rubber band: a translucent fill and a frame over the view's pixels.
class TRRSelectionBorder : public gx::TGXSceneObject {
 public:
  TRRSelectionBorder();
  bool RayIntersect(const gx::TGXVector3&, const gx::TGXVector3&, gx::TGXVector3&, gx::TGXVector3&) override {
    return false;
  }
  void AddToRenderQueue(gx::TGXSceneCamera* camera, gx::TGXRenderQueue* queue) override;
  // The band from corner to corner in a view of the size (pixels); Hide removes it.
  void ShowBand(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t viewWidth, uint32_t viewHeight);
  void Hide() { FBand = false; }
  bool BandShown() const { return FBand; }
  // Fill (two triangles) and frame (four lines) through the corners.
  static std::vector<TRRBorderVertex> BandFill(const gx::TGXVector3& lt, const gx::TGXVector3& rt,
                                               const gx::TGXVector3& rb, const gx::TGXVector3& lb);
  static std::vector<TRRBorderVertex> BandFrame(const gx::TGXVector3& lt, const gx::TGXVector3& rt,
                                                const gx::TGXVector3& rb, const gx::TGXVector3& lb);

 private:
  TRROverlayPrimitive FFill, FFrame;
  // Left, top, right, bottom in pixels of a view of the size; written into the buffers (on the
  // camera's near plane) when next drawn, and again when the camera moved.
  std::array<int32_t, 4> FRect{};
  uint32_t FViewWidth = 0, FViewHeight = 0;
  gx::TGXMatrix FView, FProjection;
  bool FBand = false;
  bool FWritten = false;
  bool FTried = false;
};

class TRROverlay : public IRRInputHandler {
 public:
  explicit TRROverlay(TRREntityManager& manager);
  ~TRROverlay() override;

  // Adds the overlay's viewport to the view (null or a view without viewports: none).
  void Attach(gx::TGXRenderTarget* view);
  gx::TGXScene& Scene() const { return *FScene; }
  gx::TGXSceneNode* GizmoNode() const { return FGizmoNode; }
  TRRSelectionBorder& Border() const { return *FBorder; }
  gx::TGXViewport* Viewport() const { return FViewport; }

  // Every frame after the tools' ticks: the view's camera, the gizmo's node from the gizmo's
  // placement, and whether the viewport draws at all.
  void Update();

  // Rectangle selection.
  bool KeyEvent(gx::TGXRenderTarget* view, const TRRInputRecord& record) override;
  bool MouseEvent(gx::TGXRenderTarget* view, const TRRInputRecord& record) override;
  bool BandActive() const { return FBandActive; }
  // Selects what the rectangle covers (pixels of the view; any corner order).
  void SelectRectangle(int32_t x0, int32_t y0, int32_t x1, int32_t y1, bool add);

 private:
  void EndBand();

  TRREntityManager& FManager;
  std::unique_ptr<gx::TGXScene> FScene;
  gx::TGXSceneNode* FGizmoNode = nullptr;
  gx::TGXRef<TRRSelectionBorder> FBorder;
  gx::TGXRenderTarget* FView = nullptr;
  gx::TGXViewport* FViewport = nullptr;
  bool FBandActive = false;
  bool FBandAdds = false;
  int32_t FBandX0 = 0, FBandY0 = 0, FBandX1 = 0, FBandY1 = 0;
};

}  // namespace rr
