#pragma once
// The brushes of a baseboard panel. TRRPanelModifier sits on the entity manager's modifier stack
// while one of the panel's two mode buttons is down: in texture mode (0) it paints the chosen
// ground texture under the cursor, in height mode (1) it marks grid points with soft weights,
// shown by the point overlay TRRPanelHeightmap (one TRRHeightmapSegment per panel segment); the
// marked points then take a typed height (SetMarkedHeights) or are raised and lowered by dragging
// with Shift held.
//
// Brush: radius r and gradient width g (r x gradient fraction). A grid point at distance D from
// the hit (Euclidean for the circle, the larger axis distance for the square, only the z distance
// for "Horizontal", only the x distance for "Vertikal") gets 255 up to r - g and
// round(255 - (D - (r - g)) * 255 / g) out to r. Painting raises the texture's weight to that
// value times the opacity; marking raises a point's mark, which only a plain press discards (Ctrl
// adds to the marks, Shift drags them).
//
// Undo: every press that changes the panel is one command, opened at the button press and pushed
// at its release (painting always; in height mode only a Shift drag). A command still open when
// the next press comes or when the brush is freed is completed and pushed, never dropped.
// Undo and redo free the panel entity and make it anew: the brush listens for the destruction of
// its panel's node and from then on does nothing (the page frees it).

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/entities/RREntityModifier.h"
#include "app/entities/panel/RRPanelSegment.h"
#include "engine/core/GXSceneNode.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderPrimitive.h"

namespace rr {

class TRRCommand;
class TRRPanel;
class TRRPanelHeightmap;
class TRREntityManager;

inline constexpr const char* RRHeightmapEffectName = "RRHeightmapVertex";
inline constexpr const char* RRHeightmapEffectFile =
    "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Shader\\Bodenplatte\\HeightmapVertex.fx";
inline constexpr uint32_t RRHeightmapUnmarked = 0x80808080u;
// Overlay points float this far above the terrain.
inline constexpr float RRHeightmapLift = 0.2f;
// The Shift drag: cm of height per pixel of cursor movement (up raises).
inline constexpr float RRHeightDragPerPixel = 0.1f;

// The overlay colour of a mark weight (0 unmarked), red through yellow to green.
uint32_t RRHeightmapColour(uint8_t weight);
// The weight a colour stands for (the inverse of RRHeightmapColour up to its rounding).
uint8_t RRHeightmapWeightOfColour(uint32_t colour);

// One overlay vertex: position in the panel's space, the corner of the point's square in the
// normal (x and y each -0.5 or 0.5), the colour.
struct TRRHeightmapVertex {
  gx::TGXVector3 Position;
  gx::TGXVector3 Corner;
  uint32_t Colour = RRHeightmapUnmarked;
};
static_assert(sizeof(TRRHeightmapVertex) == 28);

class TRRHeightmapSegment : public gx::TGXRenderPrimitive {
 public:
  TRRHeightmapSegment(TRRPanel& panel, TRRPanelSegment& segment);

  TRRPanelSegment& Segment() const { return FSegment; }
  uint32_t X0() const { return FX0; }
  uint32_t Y0() const { return FY0; }
  uint32_t X1() const { return FX1; }
  uint32_t Y1() const { return FY1; }
  uint32_t RowLength() const { return FX1 - FX0 + 1; }
  bool Contains(int64_t x, int64_t y) const { return x >= FX0 && x <= FX1 && y >= FY0 && y <= FY1; }
  uint8_t Weight(uint32_t vertex) const { return FWeights[vertex]; }
  // Raises the vertex's mark (true when it rose).
  bool Mark(uint32_t vertex, uint8_t weight);
  const std::vector<uint32_t>& Marked() const { return FMarked; }
  // The overlay's six vertices per grid point.
  const std::vector<TRRHeightmapVertex>& Vertices() const { return FVertices; }
  bool Dirty() const { return FBuffer.Dirty; }
  float CapturedHeight(uint32_t vertex) const { return FCaptured[vertex]; }
  void CaptureHeights();
  // The overlay height of a vertex follows a new terrain height.
  void SetPointHeight(uint32_t vertex, float height);
  // Whether this segment is the first holding the vertex's grid point (it writes the panel).
  bool Owns(uint32_t vertex) const { return FOwned[vertex] != 0; }
  void SetOwned(uint32_t vertex, bool value) { FOwned[vertex] = value; }

  void UpdateBuffer(gx::TGXRenderDevice& device);
  void ReleaseBuffer();
  gx::TGXDeviceVertexBuffer* Buffer() const { return FBuffer.Buffer.Get(); }
  const gx::TGXMatrix* GetWorldMatrix() override;

 private:
  TRRPanel& FPanel;
  TRRPanelSegment& FSegment;
  uint32_t FX0, FY0, FX1, FY1;
  std::vector<TRRHeightmapVertex> FVertices;
  std::vector<uint8_t> FWeights;
  std::vector<uint8_t> FOwned;
  std::vector<uint32_t> FMarked;
  std::vector<float> FCaptured;
  TRRPanelBufferState FBuffer;
};

class TRRPanelModifier;

class TRRPanelHeightmap : public gx::TGXSceneObject, public gx::IGXDeviceCallback {
 public:
  // Mirrors every segment of the panel's subtree (depth-first, a node's own objects first) and
  // attaches itself to the panel's node.
  TRRPanelHeightmap(TRRPanel& panel, TRRPanelModifier* owner);

  int SegmentCount() const { return static_cast<int>(Segments().size()); }
  TRRHeightmapSegment& Segment(int index) const { return *Segments().at(static_cast<size_t>(index)); }

  // Raises the mark of the grid point in every overlay segment holding it.
  void Mark(int64_t column, int64_t row, uint8_t weight);
  // Marks every point of the inclusive grid range with the weight weightOf(column, row) gives
  // (0 leaves a point alone); the same as Mark point by point, visiting each segment once.
  template <class Fn>
  void MarkRange(int64_t c0, int64_t r0, int64_t c1, int64_t r1, Fn&& weightOf);
  bool IsMarked(int64_t column, int64_t row) const;
  uint8_t MarkWeight(int64_t column, int64_t row) const;
  bool AnyMarked() const;
  void CaptureHeights();
  // Every marked point gets max(h * w / 255, 0), w its mark.
  void SetHeights(float h);
  // Every marked point gets max(captured + d * w / 255, 0).
  void ShiftHeights(float d);
  // Lowest and highest panel height of the marked points; (999999, -999999) without marks.
  void MarkedHeightRange(float& lowest, float& highest) const;

  // Overlay drawing: the segments the camera sees, then the shared effect's "Scale", "UpVector"
  // and "RightVector". Without draw services nothing is drawn.
  void AddToRenderQueue(gx::TGXSceneCamera* camera, gx::TGXRenderQueue* queue) override;
  bool RayIntersect(const gx::TGXVector3&, const gx::TGXVector3&, gx::TGXVector3&, gx::TGXVector3&) override {
    return false;
  }
  void OnDeviceLost() override;
  void OnDeviceReset() override {}

  // The vertex layout the overlay draws with (made from the render core when not set).
  void SetLayout(gx::TGXRef<gx::TGXDeviceVertexDeclaration> layout) { FLayout = std::move(layout); }
  const gx::IGXMaterial& Material() const { return FMaterial; }
  // The owner forgets it (the modifier is going away first).
  void Detach() { FOwner = nullptr; }

 protected:
  ~TRRPanelHeightmap() override;

 private:
  template <class Fn>
  void ForMarked(Fn&& fn);
  // The overlay segments, made again (marks kept by grid point) when the panel rebuilt its
  // drawing tree since they were made: the old ones point into freed segments.
  std::vector<std::unique_ptr<TRRHeightmapSegment>>& Segments() const;
  void BuildSegments() const;
  TRRPanel& FPanel;
  TRRPanelModifier* FOwner;
  mutable std::vector<std::unique_ptr<TRRHeightmapSegment>> FSegments;
  mutable uint64_t FGeneration = 0;
  mutable std::shared_ptr<TRRPanelDrawServices> FServices;
  gx::TGXRef<gx::TGXDeviceVertexDeclaration> FLayout;
  gx::IGXMaterial FMaterial;
  bool FMaterialTried = false;
};

class TRRPanelModifier : public TRREntityModifier {
 public:
  // mode 0 texture painting, 1 heights (the overlay is made at once).
  TRRPanelModifier(TRRPanel& panel, int mode);
  // Completes and pushes an open command, ends the edit burst and frees the overlay (when the
  // panel still exists).
  ~TRRPanelModifier() override;

  void SetTextureBrush(int texture, int shape, float opacity, float gradient, float radius);
  void SetHeightBrush(int shape, float gradient, float radius);
  // Every marked point gets max(h * w / 255, 0). The caller records the command.
  void SetMarkedHeights(float h);
  void MarkedHeightRange(float& lowest, float& highest) const;
  bool HasMarks() const;

  bool MouseEvent(gx::TGXRenderTarget* view, uint32_t message, int32_t phase, const TRRInputRecord& record,
                  uint32_t flags) override;
  void Tick() override;

  // Null once the panel was destroyed.
  TRRPanel* Panel() const { return FPanel; }
  TRRPanelHeightmap* Overlay() const { return FOverlay; }
  int Mode() const { return FMode; }
  int Shape() const { return FShape; }
  float Radius() const { return FRadius; }
  float GradientWidth() const { return FGradientWidth; }
  float Opacity() const { return FOpacity; }
  int Texture() const { return FTexture; }
  bool ButtonDown() const { return FButtonDown; }
  bool ShiftDrag() const { return FShiftDrag; }
  bool CommandOpen() const { return FCommand != nullptr; }

  // The brush weight (0 ... 255) of a point at offset (dx, dz) from the hit.
  static int BrushWeight(int shape, double radius, double gradientWidth, double dx, double dz);

 private:
  friend class TRRPanelHeightmap;
  void PanelDestroyed(gx::TGXNode* node);
  void OverlayDestroyed() { FOverlay = nullptr; }
  TRREntityManager* EntityManager() const;
  void OpenCommand();
  void PushCommand();
  void NewOverlay();
  void FreeOverlay();

  TRRPanel* FPanel;
  TRRPanelHeightmap* FOverlay = nullptr;
  std::unique_ptr<TRRCommand> FCommand;
  int FMode;
  bool FShiftDrag = false;
  int32_t FPressX = 0, FPressY = 0;
  float FRadius = 5;
  float FGradientWidth = 1.25f;
  float FOpacity = 1;
  int FShape = 0;
  bool FButtonDown = false;
  int FTexture = 0;
};

template <class Fn>
void TRRPanelHeightmap::MarkRange(int64_t c0, int64_t r0, int64_t c1, int64_t r1, Fn&& weightOf) {
  for (auto& s : Segments()) {
    const int64_t x0 = std::max<int64_t>(c0, s->X0()), x1 = std::min<int64_t>(c1, s->X1());
    const int64_t y0 = std::max<int64_t>(r0, s->Y0()), y1 = std::min<int64_t>(r1, s->Y1());
    if (x0 > x1 || y0 > y1) continue;
    for (int64_t y = y0; y <= y1; ++y)
      for (int64_t x = x0; x <= x1; ++x) {
        const int w = weightOf(x, y);
        if (w > 0)
          s->Mark(static_cast<uint32_t>((x - s->X0()) + (y - s->Y0()) * s->RowLength()),
                  static_cast<uint8_t>(w));
      }
  }
}

}  // namespace rr
