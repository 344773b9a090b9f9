#include "app/edit/RROverlay.h"

#include <algorithm>
#include <cmath>

#include "app/RRSurroundings.h"
#include "app/edit/RRTransformationGizmo.h"
#include "app/entities/RREntity.h"
#include "engine/core/GXGeometry.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderQueue.h"
#include "engine/render/GXRenderTarget.h"
#include "engine/render/GXScene.h"
#include "engine/render/GXViewport.h"

namespace rr {

using gx::TGXVector3;

namespace {

constexpr const char* kBorderMaterial = "RRMaterial:Selektionsrahmen";
constexpr uint32_t kBoxColour = 0xFFFFB020;
constexpr uint32_t kBandFillColour = 0x303C8CFF;
constexpr uint32_t kBandFrameColour = 0xE0A0C8FF;
// Drawn after the layout's own primitives of the same viewport.
constexpr float kOverlayLayer = 100;

gx::TGXVertexLayoutDecl BorderLayout() { return RRColorVertexLayout(false); }

// The material is asked for once per primitive: a missing effect is reported once, not every frame.
void EnsureMaterial(gx::TGXRenderPrimitive& p, bool& tried) {
  if (p.Material || tried) return;
  tried = true;
  p.Material = RRMakeSurroundingsMaterial(kBorderMaterial, false, RRSelectionBorderEffectFile, {});
}

}  // namespace

// ---- primitive ----

bool TRROverlayPrimitive::Write(const void* vertices, uint32_t count, uint32_t stride,
                                const gx::TGXVertexLayoutDecl& layout) {
  gx::TGXRenderCore* core = gx::GXCurrentRenderCore();
  if (!core || count == 0 || !vertices) return false;
  gx::TGXRenderDevice& device = core->Device();
  const uint32_t bytes = count * stride;
  gx::TGXRef<gx::TGXDeviceVertexBuffer> vb;
  if (VertexGeometry && !VertexGeometry->Buffers.empty() && VertexGeometry->Buffers[0] &&
      VertexGeometry->Buffers[0]->Size() >= bytes)
    vb = VertexGeometry->Buffers[0];
  else
    vb = device.CreateVertexBuffer(bytes, gx::GXBufferUsageDynamicWriteOnly, gx::GXPoolDefault);
  if (!vb || !device.WriteVertexBuffer(vb.Get(), 0, vertices, bytes)) {
    VertexGeometry.reset();
    return false;
  }
  gx::TGXVertexGeometry v;
  v.FirstVertex = 0;
  v.VertexCount = count;
  v.Layout = core->VertexLayouts().GetLayout(layout);
  v.Buffers = {vb};
  v.Strides = {stride};
  VertexGeometry = std::move(v);
  IndexGeometry.reset();
  return true;
}

// ---- selection box ----

std::vector<TRRBorderVertex> RRBoxCornerLines(const gx::TGXBoundingBox& box, uint32_t colour) {
  std::vector<TRRBorderVertex> v;
  if (box.Empty) return v;
  const TGXVector3 lo = box.Min(), hi = box.Max();
  const TGXVector3 quarter = (hi - lo) * 0.25f;
  v.reserve(48);
  for (int c = 0; c < 8; ++c) {
    const TGXVector3 p{c & 1 ? hi.x : lo.x, c & 2 ? hi.y : lo.y, c & 4 ? hi.z : lo.z};
    for (int axis = 0; axis < 3; ++axis) {
      TGXVector3 q = p;
      // Towards the box's inside along the axis.
      const bool high = (c >> axis) & 1;
      q[axis] += high ? -quarter[axis] : quarter[axis];
      v.push_back({p.x, p.y, p.z, colour});
      v.push_back({q.x, q.y, q.z, colour});
    }
  }
  return v;
}

gx::TGXBoundingBox TRRSelectionBox::MarkedBox() const {
  if (!LocalBounds().Empty) return LocalBounds();
  return Node() ? Node()->LocalBounds() : gx::TGXBoundingBox();
}

void TRRSelectionBox::AddToRenderQueue(gx::TGXSceneCamera*, gx::TGXRenderQueue* queue) {
  if (!queue || !Node()) return;
  EnsureMaterial(FPrimitive, FTried);
  if (!FPrimitive.Material) return;
  const gx::TGXBoundingBox box = MarkedBox();
  if (box.Empty) return;
  if (!FWritten || !(box.Min() == FDrawn.Min()) || !(box.Max() == FDrawn.Max())) {
    const std::vector<TRRBorderVertex> lines = RRBoxCornerLines(box, kBoxColour);
    FWritten = FPrimitive.Write(lines.data(), uint32_t(lines.size()), sizeof(TRRBorderVertex), BorderLayout());
    FPrimitive.PrimitiveType = gx::GXLineList;
    FDrawn = box;
    if (!FWritten) return;
  }
  FPrimitive.World = Node()->WorldMatrix();
  queue->Add(&FPrimitive, kOverlayLayer, 0);
}

// ---- rubber band ----

TRRSelectionBorder::TRRSelectionBorder() {
  FFill.PrimitiveType = gx::GXTriangleList;
  FFrame.PrimitiveType = gx::GXLineList;
}

std::vector<TRRBorderVertex> TRRSelectionBorder::BandFill(const TGXVector3& lt, const TGXVector3& rt,
                                                          const TGXVector3& rb, const TGXVector3& lb) {
  auto v = [](const TGXVector3& p) { return TRRBorderVertex{p.x, p.y, p.z, kBandFillColour}; };
  return {v(lt), v(rt), v(rb), v(lt), v(rb), v(lb)};
}

std::vector<TRRBorderVertex> TRRSelectionBorder::BandFrame(const TGXVector3& lt, const TGXVector3& rt,
                                                           const TGXVector3& rb, const TGXVector3& lb) {
  auto v = [](const TGXVector3& p) { return TRRBorderVertex{p.x, p.y, p.z, kBandFrameColour}; };
  return {v(lt), v(rt), v(rt), v(rb), v(rb), v(lb), v(lb), v(lt)};
}

void TRRSelectionBorder::ShowBand(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t viewWidth,
                                  uint32_t viewHeight) {
  FBand = viewWidth > 0 && viewHeight > 0;
  FRect = {std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)};
  FViewWidth = viewWidth;
  FViewHeight = viewHeight;
  FWritten = false;
}

void TRRSelectionBorder::AddToRenderQueue(gx::TGXSceneCamera* camera, gx::TGXRenderQueue* queue) {
  if (!queue || !FBand || !camera) return;
  if (!FFill.Material) {
    EnsureMaterial(FFill, FTried);
    FFrame.Material = FFill.Material;
  }
  if (!FFill.Material) return;
  // The corners just behind the near plane, unprojected through the camera that draws them: the
  // band lands on the pixels the mouse went over whatever the camera's projection.
  const gx::TGXMatrix view = camera->GetViewMatrix(), projection = camera->GetProjectionMatrix();
  if (!FWritten || !(view == FView) || !(projection == FProjection)) {
    gx::TGXViewportRect rect;
    rect.Width = FViewWidth;
    rect.Height = FViewHeight;
    const gx::TGXMatrix identity;
    auto at = [&](int32_t x, int32_t y) {
      return gx::GXVec3Unproject({float(x) + 0.5f, float(y) + 0.5f, 0.001f}, rect, projection, view, identity);
    };
    const auto [l, t, r, b] = FRect;
    const TGXVector3 lt = at(l, t), rt = at(r, t), rb = at(r, b), lb = at(l, b);
    const gx::TGXVertexLayoutDecl layout = BorderLayout();
    const std::vector<TRRBorderVertex> fill = BandFill(lt, rt, rb, lb), frame = BandFrame(lt, rt, rb, lb);
    FWritten = FFill.Write(fill.data(), uint32_t(fill.size()), sizeof(TRRBorderVertex), layout) &&
               FFrame.Write(frame.data(), uint32_t(frame.size()), sizeof(TRRBorderVertex), layout);
    FView = view;
    FProjection = projection;
    if (!FWritten) return;
  }
  queue->Add(&FFill, kOverlayLayer, 1);
  queue->Add(&FFrame, kOverlayLayer, 0);
}

// ---- overlay ----

TRROverlay::TRROverlay(TRREntityManager& manager) : FManager(manager), FScene(std::make_unique<gx::TGXScene>()) {
  FGizmoNode = new gx::TGXSceneNode(RRGizmoNodeName, FScene->Root());
  FGizmoNode->SetVisible(false);
  FBorder = gx::MakeRef<TRRSelectionBorder>();
  // The band is drawn in device coordinates: it must never be culled by its node's box.
  FBorder->SetLocalBounds(gx::BoxFromMinMax({-1e9f, -1e9f, -1e9f}, {1e9f, 1e9f, 1e9f}));
  FScene->Root()->AttachObject(FBorder.Get());
}

TRROverlay::~TRROverlay() {
  if (FBandActive) FManager.Project().ReleaseMouse();
  if (FView && FViewport) {
    FViewport->SetScene(nullptr);
    FView->RemoveViewport(FViewport);
  }
  // The gizmo belongs to the manager: it leaves this scene's node before the scene goes.
  if (TRRTransformationGizmo* gizmo = FManager.Gizmo())
    if (gizmo->Node() == FGizmoNode) FGizmoNode->DetachObject(gizmo);
}

void TRROverlay::Attach(gx::TGXRenderTarget* view) {
  if (!view || view->ViewportCount() == 0 || FViewport) return;
  FView = view;
  FViewport = view->AddViewport(0, 0, 1, 1);
  FViewport->SetScene(FScene.get());
  FViewport->SetClearFlags(gx::GXClearZBuffer);
  FViewport->SetEnabled(false);
}

void TRROverlay::Update() {
  TRRTransformationGizmo* gizmo = FManager.Gizmo();
  if (gizmo && gizmo->Node() != FGizmoNode) {
    if (gizmo->Node()) gizmo->Node()->DetachObject(gizmo);
    FGizmoNode->AttachObject(gizmo);
  }
  const bool gizmoShown = gizmo && gizmo->Shown() && FManager.FindTransformationModifier();
  FGizmoNode->SetVisible(gizmoShown);
  if (gizmoShown) {
    if (FView) gizmo->SetViewportSize(FView->Width(), FView->Height());
    FGizmoNode->SetPosition(gizmo->Centre());
    const float s = gizmo->Scale();
    FGizmoNode->SetScale({s, s, s});
  }
  if (!FViewport) return;
  gx::TGXSceneCamera* camera = FManager.ViewCamera();
  FViewport->SetCamera(camera);
  FViewport->SetEnabled(camera && FManager.ShowOverlay() && (gizmoShown || FBorder->BandShown()));
}

bool TRROverlay::KeyEvent(gx::TGXRenderTarget*, const TRRInputRecord& record) {
  if (!FBandActive || record.Message != RRMsgKeyDown || record.Key != RRVKEscape) return false;
  EndBand();
  return true;
}

bool TRROverlay::MouseEvent(gx::TGXRenderTarget* view, const TRRInputRecord& record) {
  switch (record.Message) {
    case RRMsgLButtonDown:
      if (FBandActive) return true;
      FBandActive = true;
      FBandAdds = (record.Buttons & RRMKControl) != 0;
      FBandX0 = FBandX1 = record.X;
      FBandY0 = FBandY1 = record.Y;
      FManager.Project().CaptureMouse();
      return true;
    case RRMsgMouseMove:
      if (!FBandActive) return false;
      FBandX1 = record.X;
      FBandY1 = record.Y;
      if (view && (std::abs(FBandX1 - FBandX0) >= RRBandMinimum || std::abs(FBandY1 - FBandY0) >= RRBandMinimum))
        FBorder->ShowBand(FBandX0, FBandY0, FBandX1, FBandY1, view->Width(), view->Height());
      else
        FBorder->Hide();
      return true;
    case RRMsgLButtonUp: {
      if (!FBandActive) return false;
      FBandX1 = record.X;
      FBandY1 = record.Y;
      const int32_t x0 = FBandX0, y0 = FBandY0, x1 = FBandX1, y1 = FBandY1;
      const bool add = FBandAdds;
      EndBand();
      if (std::abs(x1 - x0) >= RRBandMinimum || std::abs(y1 - y0) >= RRBandMinimum)
        SelectRectangle(x0, y0, x1, y1, add);
      return true;
    }
    default:
      return false;
  }
}

void TRROverlay::EndBand() {
  FBandActive = false;
  FBorder->Hide();
  FManager.Project().ReleaseMouse();
}

void TRROverlay::SelectRectangle(int32_t x0, int32_t y0, int32_t x1, int32_t y1, bool add) {
  gx::TGXSceneCamera* camera = FManager.ViewCamera();
  gx::TGXRenderTarget* view = FView;
  auto* project = dynamic_cast<gx::TGXSceneNode*>(FManager.Project().ProjectNode());
  if (!camera || !view || view->ViewportCount() == 0 || !project) return;
  const gx::TGXViewportRect& rect = view->Viewport(0)->Rect();
  const gx::TGXMatrix identity;
  auto ray = [&](int32_t x, int32_t y, TGXVector3& origin, TGXVector3& direction) {
    const float fx = float(x), fy = float(y);
    origin = gx::GXVec3Unproject({fx, fy, 0}, rect, camera->GetProjectionMatrix(), camera->GetViewMatrix(), identity);
    direction = gx::GXVec3Unproject({fx, fy, 1}, rect, camera->GetProjectionMatrix(), camera->GetViewMatrix(),
                                    identity) -
                origin;
  };
  const int32_t l = std::min(x0, x1), r = std::max(x0, x1), t = std::min(y0, y1), b = std::max(y0, y1);
  TGXVector3 p[4], d[4];
  ray(l, b, p[0], d[0]);
  ray(r, b, p[1], d[1]);
  ray(r, t, p[2], d[2]);
  ray(l, t, p[3], d[3]);
  const gx::TGXFrustum frustum = gx::FrustumFromRays(p[0], d[0], p[1], d[1], p[2], d[2], p[3], d[3], 1.0f);
  project->Update(false);
  std::vector<TRREntity*> covered;
  for (int i = 0; i < project->ChildCount(); ++i) {
    auto* e = dynamic_cast<TRREntity*>(project->Child(i));
    if (!e || e->Locked() || TRREntityManager::KindListOf(e->GetClass()) == TRREntityKindList::Panels) continue;
    if (e->HitTest(frustum)) covered.push_back(e);
  }
  TRREntitySelection& selection = FManager.Selection();
  selection.BeginUpdate();
  if (!add) selection.Clear();
  for (TRREntity* e : covered)
    if (!e->Selected()) selection.Add(e);
  selection.EndUpdate();
}

}  // namespace rr
