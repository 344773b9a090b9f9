#include "app/entities/panel/RRPanelModifier.h"

#include <algorithm>
#include <cmath>

#include "app/RREntityManager.h"
#include "app/RRHistory.h"
#include "app/RRInput.h"
#include "app/entities/panel/RRPanel.h"
#include "app/entities/panel/RRPanelEdits.h"
#include "app/entities/panel/RRPanelPartition.h"
#include "app/entities/panel/RRPanelRules.h"
#include "engine/core/GXException.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXEffect.h"
#include "engine/render/GXRenderQueue.h"
#include "engine/render/GXScene.h"
#include "engine/render/GXVertexLayout.h"

namespace rr {

namespace {

uint32_t ChannelByte(double c) {
  if (c >= 1) return 255;
  if (c < 0) return 0;
  return static_cast<uint32_t>(std::trunc(c * 255 + 0.5));
}

constexpr float kCorners[6][2] = {{-0.5f, -0.5f}, {-0.5f, 0.5f}, {0.5f, 0.5f},
                                  {0.5f, 0.5f},   {0.5f, -0.5f}, {-0.5f, -0.5f}};

float Drawn(float h) { return std::isfinite(h) && h > 0 ? h : 0.0f; }

// The panel's grid extents in points (columns, rows) from its record.
void GridExtents(const TRRPanel& panel, int64_t& columns, int64_t& rows) {
  columns = rows = 0;
  for (const TRRPanelPartitionShape& p : panel.PartitionShapes()) {
    columns = std::max<int64_t>(columns, int64_t(p.X1) + 1);
    rows = std::max<int64_t>(rows, int64_t(p.Y1) + 1);
  }
}

void CollectSegments(gx::TGXNode* node, std::vector<TRRPanelSegment*>& out) {
  auto* scene = dynamic_cast<gx::TGXSceneNode*>(node);
  if (scene)
    for (int i = 0; i < scene->ObjectCount(); ++i)
      if (auto* segment = dynamic_cast<TRRPanelSegment*>(scene->Objects().At(i))) out.push_back(segment);
  for (int i = 0; i < node->ChildCount(); ++i) CollectSegments(node->Child(i), out);
}

}  // namespace

uint32_t RRHeightmapColour(uint8_t weight) {
  if (weight == 0) return RRHeightmapUnmarked;
  double r, g;
  if (weight <= 127) {
    r = 1;
    g = weight / 127.0;
  } else {
    const double t = (weight - 128) / 127.0;
    r = 1 - t;
    g = 1;
  }
  return 0xFF000000u | ChannelByte(r) << 16 | ChannelByte(g) << 8;
}

uint8_t RRHeightmapWeightOfColour(uint32_t colour) {
  const double a = (colour >> 24) / 255.0;
  if (a < 0.9) return 0;
  const uint32_t r = colour >> 16 & 255, g = colour >> 8 & 255;
  if (r == 255) return static_cast<uint8_t>(RRRoundHalfEven(g / 255.0 * 127));
  return static_cast<uint8_t>(RRRoundHalfEven((1 - r / 255.0) * 127 + 128));
}

// ---- overlay segment ----

TRRHeightmapSegment::TRRHeightmapSegment(TRRPanel& panel, TRRPanelSegment& segment)
    : FPanel(panel),
      FSegment(segment),
      FX0(segment.X0()),
      FY0(segment.Y0()),
      FX1(segment.X1()),
      FY1(segment.Y1()) {
  const uint32_t count = segment.VertexCount();
  const uint32_t row = RowLength();
  const float s = static_cast<float>(segment.QuadWidth());
  const std::vector<TRRPanelVertex>& surface = segment.Surface().Vertices();
  FVertices.resize(size_t(count) * 6);
  for (uint32_t i = 0; i < count; ++i) {
    const float h = i < surface.size() ? surface[i].Position.y : 0.0f;
    const gx::TGXVector3 p{(FX0 + i % row) * s, h + RRHeightmapLift, -static_cast<float>(FY0 + i / row) * s};
    for (int k = 0; k < 6; ++k) {
      TRRHeightmapVertex& v = FVertices[size_t(i) * 6 + k];
      v.Position = p;
      v.Corner = {kCorners[k][0], kCorners[k][1], 0};
      v.Colour = RRHeightmapUnmarked;
    }
  }
  FWeights.assign(count, 0);
  FOwned.assign(count, 1);
  FCaptured.assign(count, 0.0f);
  FBuffer.Dynamic = true;
  PrimitiveType = gx::GXTriangleList;
}

bool TRRHeightmapSegment::Mark(uint32_t vertex, uint8_t weight) {
  if (vertex >= FWeights.size() || weight <= FWeights[vertex]) return false;
  if (FWeights[vertex] == 0) FMarked.push_back(vertex);
  FWeights[vertex] = weight;
  const uint32_t colour = RRHeightmapColour(weight);
  for (int k = 0; k < 6; ++k) FVertices[size_t(vertex) * 6 + k].Colour = colour;
  FBuffer.Dirty = true;
  return true;
}

void TRRHeightmapSegment::CaptureHeights() {
  const std::vector<TRRPanelVertex>& surface = FSegment.Surface().Vertices();
  for (size_t i = 0; i < FCaptured.size() && i < surface.size(); ++i) FCaptured[i] = surface[i].Position.y;
}

void TRRHeightmapSegment::SetPointHeight(uint32_t vertex, float height) {
  const float y = Drawn(height) + RRHeightmapLift;
  TRRHeightmapVertex* v = &FVertices[size_t(vertex) * 6];
  if (v->Position.y == y) return;
  for (int k = 0; k < 6; ++k) v[k].Position.y = y;
  FBuffer.Dirty = true;
}

void TRRHeightmapSegment::UpdateBuffer(gx::TGXRenderDevice& device) {
  const uint32_t size = static_cast<uint32_t>(FVertices.size() * sizeof(TRRHeightmapVertex));
  if (size == 0) return;
  if (!FBuffer.Buffer) {
    FBuffer.Buffer = device.CreateVertexBuffer(size, gx::GXBufferUsageDynamicWriteOnly, gx::GXPoolDefault);
    if (!FBuffer.Buffer)
      throw gx::EDirect3D(
          {gx::TGXExceptionArg::Object("TRRHeightmapSegment"), "UpdateBuffer", "CreateVertexBuffer failed"});
    FBuffer.Dirty = true;
  }
  if (FBuffer.Dirty) {
    if (!device.WriteVertexBuffer(FBuffer.Buffer.Get(), 0, FVertices.data(), size, gx::GXLockDiscard))
      throw gx::EDirect3D(
          {gx::TGXExceptionArg::Object("TRRHeightmapSegment"), "UpdateBuffer", "Lock failed"});
    FBuffer.Dirty = false;
  }
}

void TRRHeightmapSegment::ReleaseBuffer() {
  FBuffer.Buffer = {};
  FBuffer.Dirty = true;
}

const gx::TGXMatrix* TRRHeightmapSegment::GetWorldMatrix() { return &FPanel.WorldMatrix(); }

// ---- overlay ----

TRRPanelHeightmap::TRRPanelHeightmap(TRRPanel& panel, TRRPanelModifier* owner)
    : FPanel(panel), FOwner(owner) {
  BuildSegments();
  if (FServices && FServices->DeviceEvents) FServices->DeviceEvents->Register(this);
  panel.AttachObject(this);
}

void TRRPanelHeightmap::BuildSegments() const {
  struct TMark {
    int64_t X, Y;
    uint8_t Weight;
  };
  // Only the overlay's own fields of the old segments are read: their panel segments are gone.
  std::vector<TMark> marks;
  for (const auto& s : FSegments)
    for (uint32_t v : s->Marked())
      marks.push_back({s->X0() + v % s->RowLength(), s->Y0() + v / s->RowLength(), s->Weight(v)});
  FSegments.clear();
  FGeneration = FPanel.NodeGeneration();
  std::vector<TRRPanelSegment*> segments;
  CollectSegments(&FPanel, segments);
  int64_t columns = 0, rows = 0;
  GridExtents(FPanel, columns, rows);
  // A grid point shared by several segments is written to the panel by the first of them only.
  std::vector<uint8_t> seen(size_t(columns) * size_t(rows), 0);
  for (TRRPanelSegment* segment : segments) {
    auto overlay = std::make_unique<TRRHeightmapSegment>(FPanel, *segment);
    const uint32_t row = overlay->RowLength();
    for (uint32_t i = 0; i < segment->VertexCount(); ++i) {
      const int64_t x = segment->X0() + i % row, y = segment->Y0() + i / row;
      if (x >= columns || y >= rows) continue;
      uint8_t& s = seen[size_t(y) * size_t(columns) + size_t(x)];
      overlay->SetOwned(i, s == 0);
      s = 1;
    }
    if (!FServices) FServices = segment->Creation().Services;
    FSegments.push_back(std::move(overlay));
  }
  for (const TMark& m : marks)
    for (auto& s : FSegments)
      if (s->Contains(m.X, m.Y))
        s->Mark(static_cast<uint32_t>((m.X - s->X0()) + (m.Y - s->Y0()) * s->RowLength()), m.Weight);
}

std::vector<std::unique_ptr<TRRHeightmapSegment>>& TRRPanelHeightmap::Segments() const {
  if (FGeneration != FPanel.NodeGeneration()) BuildSegments();
  return FSegments;
}

TRRPanelHeightmap::~TRRPanelHeightmap() {
  if (FServices && FServices->DeviceEvents) FServices->DeviceEvents->Unregister(this);
  if (FOwner) FOwner->OverlayDestroyed();
}

void TRRPanelHeightmap::Mark(int64_t column, int64_t row, uint8_t weight) {
  MarkRange(column, row, column, row, [weight](int64_t, int64_t) { return int(weight); });
}

uint8_t TRRPanelHeightmap::MarkWeight(int64_t column, int64_t row) const {
  for (const auto& s : Segments())
    if (s->Contains(column, row))
      return s->Weight(static_cast<uint32_t>((column - s->X0()) + (row - s->Y0()) * s->RowLength()));
  return 0;
}

bool TRRPanelHeightmap::IsMarked(int64_t column, int64_t row) const { return MarkWeight(column, row) > 0; }

bool TRRPanelHeightmap::AnyMarked() const {
  for (const auto& s : Segments())
    if (!s->Marked().empty()) return true;
  return false;
}

void TRRPanelHeightmap::CaptureHeights() {
  for (auto& s : Segments()) s->CaptureHeights();
}

template <class Fn>
void TRRPanelHeightmap::ForMarked(Fn&& fn) {
  for (auto& s : Segments()) {
    const uint32_t row = s->RowLength();
    for (uint32_t v : s->Marked()) {
      const float h = fn(*s, v);
      s->SetPointHeight(v, h);
      if (s->Owns(v)) FPanel.SetHeight(s->X0() + v % row, s->Y0() + v / row, h);
    }
  }
}

void TRRPanelHeightmap::SetHeights(float h) {
  ForMarked([h](TRRHeightmapSegment& s, uint32_t v) { return std::max(h * s.Weight(v) / 255.0f, 0.0f); });
}

void TRRPanelHeightmap::ShiftHeights(float d) {
  ForMarked([d](TRRHeightmapSegment& s, uint32_t v) {
    return std::max(s.CapturedHeight(v) + d * s.Weight(v) / 255.0f, 0.0f);
  });
}

void TRRPanelHeightmap::MarkedHeightRange(float& lowest, float& highest) const {
  lowest = 999999.0f;
  highest = -999999.0f;
  for (const auto& s : Segments()) {
    const uint32_t row = s->RowLength();
    for (uint32_t v : s->Marked()) {
      const float h = FPanel.GetHeight(s->X0() + v % row, s->Y0() + v / row);
      lowest = std::min(lowest, h);
      highest = std::max(highest, h);
    }
  }
}

void TRRPanelHeightmap::AddToRenderQueue(gx::TGXSceneCamera* camera, gx::TGXRenderQueue* queue) {
  if (!queue || !FServices || !FServices->Device || Segments().empty()) return;
  if (!FMaterialTried) {
    FMaterialTried = true;
    if (FServices->MakeMaterial)
      FMaterial = FServices->MakeMaterial(RRHeightmapEffectName, RRHeightmapEffectFile);
  }
  if (!FLayout) {
    if (gx::TGXRenderCore* core = gx::GXCurrentRenderCore()) {
      gx::TGXVertexLayoutDecl decl;
      decl.AddElement(0, gx::GXDeclFloat3, gx::GXUsagePosition, 0);
      decl.AddElement(0, gx::GXDeclFloat3, gx::GXUsageNormal, 0);
      decl.AddElement(0, gx::GXDeclColor, gx::GXUsageColor, 0);
      FLayout = core->VertexLayouts().GetLayout(decl);
    }
  }
  if (!FMaterial || !FLayout) return;
  gx::TGXRenderDevice& device = *FServices->Device;
  const gx::TGXVector3 eye =
      camera && camera->Node() ? camera->Node()->WorldPosition() : gx::TGXVector3{0, 0, 0};
  for (auto& s : Segments()) {
    const gx::TGXBoundingBox& box = s->Segment().WorldBounds();
    if (camera && !camera->IsBoxVisible(box)) continue;
    s->UpdateBuffer(device);
    gx::TGXVertexGeometry geometry;
    geometry.VertexCount = static_cast<uint32_t>(s->Vertices().size());
    geometry.Layout = FLayout;
    geometry.Buffers = {gx::TGXRef<gx::TGXDeviceVertexBuffer>(s->Buffer())};
    geometry.Strides = {sizeof(TRRHeightmapVertex)};
    s->VertexGeometry = std::move(geometry);
    s->IndexGeometry.reset();
    s->Material = FMaterial;
    queue->Add(s.get(), 0, gx::GXVec3LengthSq(eye - box.Center));
  }
  if (camera && camera->Node()) {
    const gx::TGXMatrix& w = camera->Node()->WorldMatrix();
    gx::TGXVector3 right = gx::GXVec3Normalize({w.m[0][0], w.m[0][1], w.m[0][2]});
    gx::TGXVector3 up = gx::GXVec3Normalize({w.m[1][0], w.m[1][1], w.m[1][2]});
    if (gx::TGXEffectValueSource* v = FMaterial->FindValue("Scale")) v->SetFloats({0.5f});
    if (gx::TGXEffectValueSource* v = FMaterial->FindValue("UpVector")) v->SetFloats({up.x, up.y, up.z});
    if (gx::TGXEffectValueSource* v = FMaterial->FindValue("RightVector"))
      v->SetFloats({right.x, right.y, right.z});
  }
}

void TRRPanelHeightmap::OnDeviceLost() {
  for (auto& s : Segments()) s->ReleaseBuffer();
}

// ---- modifier ----

TRRPanelModifier::TRRPanelModifier(TRRPanel& panel, int mode) : FPanel(&panel), FMode(mode == 1 ? 1 : 0) {
  panel.AddDestroyListener(gx::TGXDestroyHandler(this, &TRRPanelModifier::PanelDestroyed));
  if (FMode == 1) NewOverlay();
}

TRRPanelModifier::~TRRPanelModifier() {
  if (FPanel) {
    // A press still going on when the page closes keeps what it did.
    PushCommand();
    FPanel->FinishEdit();
    FreeOverlay();
    FPanel->RemoveDestroyListener(gx::TGXMethodKey::Of(this, &TRRPanelModifier::PanelDestroyed));
  }
}

void TRRPanelModifier::PanelDestroyed(gx::TGXNode*) {
  // The node frees the overlay with its objects; a command of a press that the panel's
  // destruction (an undo or redo) cut short is dropped, since the history now holds the state.
  if (FOverlay) FOverlay->Detach();
  FOverlay = nullptr;
  FCommand.reset();
  FPanel = nullptr;
  FButtonDown = false;
  FShiftDrag = false;
}

TRREntityManager* TRRPanelModifier::EntityManager() const {
  if (auto* m = dynamic_cast<TRREntityManager*>(Manager())) return m;
  return FPanel ? dynamic_cast<TRREntityManager*>(FPanel->Manager()) : nullptr;
}

void TRRPanelModifier::OpenCommand() {
  PushCommand();
  if (FPanel) FCommand = RRPanelOpenCommand(*FPanel);
}

void TRRPanelModifier::PushCommand() {
  if (!FCommand || !FPanel) return;
  FPanel->FinishEdit();
  RRPanelPushCommand(std::move(FCommand), *FPanel);
}

void TRRPanelModifier::NewOverlay() {
  FreeOverlay();
  if (FPanel) FOverlay = new TRRPanelHeightmap(*FPanel, this);
}

void TRRPanelModifier::FreeOverlay() {
  if (!FOverlay) return;
  TRRPanelHeightmap* overlay = FOverlay;
  overlay->Detach();
  FOverlay = nullptr;
  if (FPanel) FPanel->DetachObject(overlay);
}

void TRRPanelModifier::SetTextureBrush(int texture, int shape, float opacity, float gradient, float radius) {
  FMode = 0;
  FTexture = texture;
  FShape = std::clamp(shape, 0, 3);
  FOpacity = std::clamp(opacity, RRBrushOpacityMin, 1.0f);
  FRadius = std::max(radius, 0.0f);
  FGradientWidth = FRadius * std::clamp(gradient, 0.0f, 1.0f);
}

void TRRPanelModifier::SetHeightBrush(int shape, float gradient, float radius) {
  FMode = 1;
  FShape = std::clamp(shape, 0, 3);
  FRadius = std::max(radius, 0.0f);
  FGradientWidth = FRadius * std::clamp(gradient, 0.0f, 1.0f);
  if (!FOverlay) NewOverlay();
}

void TRRPanelModifier::SetMarkedHeights(float h) {
  if (!FPanel || !FOverlay) return;
  FOverlay->SetHeights(h);
  FPanel->UpdateBounds();
  FPanel->FinishEdit();
}

void TRRPanelModifier::MarkedHeightRange(float& lowest, float& highest) const {
  lowest = 999999.0f;
  highest = -999999.0f;
  if (FOverlay) FOverlay->MarkedHeightRange(lowest, highest);
}

bool TRRPanelModifier::HasMarks() const { return FOverlay && FOverlay->AnyMarked(); }

bool TRRPanelModifier::MouseEvent(gx::TGXRenderTarget*, uint32_t message, int32_t,
                                  const TRRInputRecord& record, uint32_t) {
  if (!FPanel) return false;
  const bool shift = (record.Buttons & RRMKShift) != 0;
  const bool ctrl = (record.Buttons & RRMKControl) != 0;
  switch (message) {
    case RRMsgLButtonDown:
      FButtonDown = true;
      PushCommand();
      if (FMode == 0) {
        OpenCommand();
      } else {
        FShiftDrag = shift;
        if (shift) {
          FPressX = record.X;
          FPressY = record.Y;
          OpenCommand();
        } else if (!ctrl) {
          NewOverlay();
        }
        if (FOverlay) FOverlay->CaptureHeights();
      }
      return true;
    case RRMsgLButtonUp:
      if (!FButtonDown) return false;
      FButtonDown = false;
      if (FShiftDrag && FPanel) FPanel->UpdateBounds();
      PushCommand();
      FShiftDrag = false;
      return true;
    case RRMsgLButtonDblClk:
      return true;
  }
  return false;
}

int TRRPanelModifier::BrushWeight(int shape, double radius, double gradientWidth, double dx, double dz) {
  double x = std::fabs(dx), z = std::fabs(dz);
  switch (shape) {
    case RRBrushSquare:
      if (x >= z)
        z = 0;
      else
        x = 0;
      break;
    case RRBrushHorizontal:
      x = 0;
      break;
    case RRBrushVertical:
      z = 0;
      break;
  }
  const double d = std::sqrt(x * x + z * z);
  const double r = radius, g = gradientWidth;
  if (!(d <= r)) return 0;
  if (d <= r - g) return 255;
  return std::clamp(RRRoundHalfEven(255 - (d - (r - g)) * 255 / g), 0, 255);
}

void TRRPanelModifier::Tick() {
  if (!FPanel || !FButtonDown) return;
  TRREntityManager* manager = EntityManager();
  if (!manager) return;
  if (FMode == 1 && FShiftDrag) {
    if (FOverlay) FOverlay->ShiftHeights((FPressY - manager->PickCursorY()) * RRHeightDragPerPixel);
    return;
  }
  gx::TGXScene* scene = FPanel->Scene();
  if (!scene) return;
  const gx::TGXPickResult pick = scene->Pick(FPanel, manager->RayOrigin(), manager->RayDirection());
  if (!pick.Object) return;
  const gx::TGXVector3 local = gx::GXVec3TransformCoord(pick.Hit, FPanel->InverseWorldMatrix());
  const double x = local.x, z = local.z;
  const double s = FPanel->Params().QuadWidth;
  if (s <= 0 || !std::isfinite(x) || !std::isfinite(z)) return;
  int64_t columns = 0, rows = 0;
  GridExtents(*FPanel, columns, rows);
  const double r = FRadius;
  const int64_t c0 = std::max<int64_t>(RRRoundHalfEven((x - r) / s), 0);
  const int64_t c1 = std::min<int64_t>(RRRoundHalfEven((x + r) / s), columns - 1);
  const int64_t r0 = std::max<int64_t>(RRRoundHalfEven((-z - r) / s), 0);
  const int64_t r1 = std::min<int64_t>(RRRoundHalfEven((r - z) / s), rows - 1);
  if (c0 > c1 || r0 > r1) return;
  const int shape = FShape;
  const float radius = FRadius, gradient = FGradientWidth;
  auto weightOf = [&](int64_t i, int64_t j) {
    return BrushWeight(shape, radius, gradient, i * s - x, -j * s - z);
  };
  if (FMode == 1) {
    if (FOverlay) FOverlay->MarkRange(c0, r0, c1, r1, weightOf);
    return;
  }
  for (int64_t j = r0; j <= r1; ++j)
    for (int64_t i = c0; i <= c1; ++i) {
      // A weight that rounds to 0 (low opacity at the rim) would only add an empty pack slot.
      const int w = std::clamp(RRRoundHalfEven(weightOf(i, j) * FOpacity), 0, 255);
      if (w > 0) FPanel->SetTextureWeight(FTexture, i, true, w, j);
    }
}

}  // namespace rr
