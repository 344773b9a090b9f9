#include "app/edit/RRTransformationGizmo.h"

#include <cmath>
#include <numbers>

#include "app/RRSurroundings.h"
#include "app/edit/RROverlay.h"
#include "engine/core/GXGeometry.h"
#include "engine/render/GXRenderQueue.h"

namespace rr {

using gx::TGXVector3;

int RRDragModeOfHandle(int handle) {
  switch (handle) {
    case RRGizmoArrowX:
      return RRDragMoveX;
    case RRGizmoArrowZ:
      return RRDragMoveZ;
    case RRGizmoArrowY:
      return RRDragMoveY;
    case RRGizmoRingX:
      return RRDragRotateX;
    case RRGizmoRingZ:
      return RRDragRotateZ;
    case RRGizmoRingY:
      return RRDragRotateY;
    default:
      return RRDragFree;
  }
}

int RRHandleOfDragMode(int mode) {
  switch (mode) {
    case RRDragMoveX:
      return RRGizmoArrowX;
    case RRDragMoveY:
      return RRGizmoArrowY;
    case RRDragMoveZ:
      return RRGizmoArrowZ;
    case RRDragRotateX:
      return RRGizmoRingX;
    case RRDragRotateY:
      return RRGizmoRingY;
    case RRDragRotateZ:
      return RRGizmoRingZ;
    default:
      return 0;
  }
}

TRRGizmoCamera TRRGizmoCamera::FromMatrices(const gx::TGXMatrix& view, const gx::TGXMatrix& projection) {
  TRRGizmoCamera c;
  gx::TGXMatrix inverse;
  if (gx::GXMatrixInverse(inverse, nullptr, view)) {
    c.Position = {inverse.m[3][0], inverse.m[3][1], inverse.m[3][2]};
    c.Direction = gx::GXVec3Normalize({inverse.m[2][0], inverse.m[2][1], inverse.m[2][2]});
  }
  // Row-vector projections: an orthographic one keeps w (m44 = 1), a perspective one takes w
  // from z; the near plane of the latter is -m43 / m33.
  c.Orthographic = projection.m[3][3] != 0;
  if (c.Orthographic) {
    c.OrthoHeight = projection.m[1][1] != 0 ? 2.0f / projection.m[1][1] : 0;
  } else if (projection.m[2][2] != 0) {
    c.NearPlane = -projection.m[3][2] / projection.m[2][2];
  }
  return c;
}

void TRRTransformationGizmo::Place(const TGXVector3& centre, const TRRGizmoCamera& camera) {
  FCentre = centre;
  FScale = camera.Orthographic ? 0.2f * camera.OrthoHeight
                               : 0.1f * gx::GXVec3Dot(centre - camera.Position, camera.Direction);
  const float smallest = camera.Orthographic ? 0.0f : 0.1f * camera.NearPlane;
  FPlaced = std::isfinite(FScale) && FScale > 0 && FScale >= smallest;
}

uint8_t TRRTransformationGizmo::Highlight(int handle) const {
  return handle >= 1 && handle <= 10 ? FHighlight[static_cast<size_t>(handle)] : RRGizmoNormal;
}

void TRRTransformationGizmo::SetHighlight(int handle, uint8_t state) {
  if (handle < 1 || handle > 10 || FHighlight[static_cast<size_t>(handle)] == state) return;
  FHighlight[static_cast<size_t>(handle)] = state;
  ++FLook;
}

void TRRTransformationGizmo::HighlightForMode(int mode) {
  const int active = RRHandleOfDragMode(mode);
  for (int h = 1; h <= 10; ++h)
    SetHighlight(h, mode == RRDragNone ? RRGizmoNormal : h == active ? RRGizmoHighlighted : RRGizmoDimmed);
}

bool TRRTransformationGizmo::PickArrow(int handle, const TGXVector3& origin, const TGXVector3& direction,
                                       TRRGizmoHit& hit) const {
  const float L = Length(), r = Thickness();
  gx::TGXBoundingBox box;
  switch (handle) {
    case RRGizmoArrowX:
      box = gx::BoxFromMinMax({0, -r, -r}, {L, r, r});
      break;
    case RRGizmoArrowZ:
      box = gx::BoxFromMinMax({-r, -r, 0}, {r, r, L});
      break;
    default:
      box = gx::BoxFromMinMax({-r, 0, -r}, {r, L, r});
      break;
  }
  const std::optional<gx::TGXRayHit> h = gx::RayBox(box, origin - FCentre, direction);
  if (!h) return false;
  hit = {handle, h->Point + FCentre, h->Normal};
  return true;
}

bool TRRTransformationGizmo::PickRing(int handle, const TGXVector3& origin, const TGXVector3& direction,
                                      const TGXVector3& cameraPosition, TRRGizmoHit& hit) const {
  const TGXVector3 axis = handle == RRGizmoRingX   ? TGXVector3{1, 0, 0}
                          : handle == RRGizmoRingZ ? TGXVector3{0, 0, 1}
                                                   : TGXVector3{0, 1, 0};
  const float R = Radius();
  // A ray that meets the ball meets the ring where it crosses the ring's band.
  if (!FFlatView)
    if (std::optional<TGXVector3> p = gx::RaySphere(origin, direction, FCentre, R))
      if (std::fabs(gx::GXVec3Dot(*p - FCentre, axis)) <= 0.05f * FScale) {
        hit = {handle, *p, gx::GXVec3Normalize(*p - FCentre)};
        return true;
      }
  // Else where it crosses the ring's plane (its normal against the ray), in front of the gizmo.
  const TGXVector3 normal = gx::GXVec3Dot(direction, axis) > 0 ? -1.0f * axis : axis;
  std::optional<TGXVector3> p =
      gx::RayPlane(origin, direction, normal, -gx::GXVec3Dot(normal, FCentre), false);
  if (!p) return false;
  if (!FFlatView && gx::GXVec3Dot(*p - FCentre, cameraPosition - FCentre) < 0) return false;
  const float d = gx::GXVec3Length(*p - FCentre);
  if (d < 0.9f * R || d > 1.1f * R) return false;
  hit = {handle, *p, normal};
  return true;
}

TRRGizmoHit TRRTransformationGizmo::Pick(const TGXVector3& origin, const TGXVector3& direction,
                                         const TGXVector3& cameraPosition) const {
  TRRGizmoHit hit;
  if (!FEnabled || !FPlaced || gx::GXVec3LengthSq(direction) <= 0) return hit;
  for (int handle : {RRGizmoArrowX, RRGizmoArrowZ, RRGizmoArrowY, RRGizmoRingX, RRGizmoRingZ, RRGizmoRingY}) {
    if (FFlatView && handle != RRGizmoArrowX && handle != RRGizmoArrowZ && handle != RRGizmoRingY) continue;
    const bool found = handle <= RRGizmoArrowY ? PickArrow(handle, origin, direction, hit)
                                               : PickRing(handle, origin, direction, cameraPosition, hit);
    if (found) return hit;
  }
  return {};
}

std::vector<TGXVector3> TRRTransformationGizmo::LineGeometry() {
  std::vector<TGXVector3> lines;
  auto line = [&](TGXVector3 a, TGXVector3 b) {
    lines.push_back(a);
    lines.push_back(b);
  };
  line({0, 0, 0}, {0.75f, 0, 0});
  line({0, 0, 0}, {0, 0.75f, 0});
  line({0, 0, 0}, {0, 0, 0.75f});
  // Letters of 0.1 beyond each arrow's tip, drawn from segments of a +-0.5 square scaled by 0.1.
  constexpr float g = 0.1f, tip = 0.85f;
  auto glyph = [&](TGXVector3 at, TGXVector3 right, TGXVector3 up, std::initializer_list<float> xy) {
    const float* v = xy.begin();
    for (size_t i = 0; i + 3 < xy.size(); i += 4)
      line(at + right * (v[i] * g) + up * (v[i + 1] * g), at + right * (v[i + 2] * g) + up * (v[i + 3] * g));
  };
  glyph({tip, 0, 0}, {1, 0, 0}, {0, 1, 0}, {-0.5f, -0.5f, 0.5f, 0.5f, -0.5f, 0.5f, 0.5f, -0.5f});   // X
  glyph({0, tip, 0}, {1, 0, 0}, {0, 0, 1}, {-0.5f, 0.5f, 0, 0, 0.5f, 0.5f, 0, 0, 0, 0, 0, -0.5f});  // Y
  glyph({0, 0, tip}, {1, 0, 0}, {0, 1, 0},
        {-0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, -0.5f, -0.5f, -0.5f, -0.5f, 0.5f, -0.5f});  // Z
  // Circles of 33 points (angle i / 32 x -2 pi) in the YZ, XY and XZ planes.
  for (int plane = 0; plane < 3; ++plane)
    for (int i = 0; i < 32; ++i) {
      auto at = [&](int k) {
        const float a = static_cast<float>(k) / 32.0f * -2.0f * std::numbers::pi_v<float>;
        const float c = std::cos(a), s = std::sin(a);
        return plane == 0 ? TGXVector3{0, c, s} : plane == 1 ? TGXVector3{c, s, 0} : TGXVector3{c, 0, s};
      };
      line(at(i), at(i + 1));
    }
  return lines;
}

}  // namespace rr

namespace rr {

// ---- drawing ----

namespace {
constexpr const char* kGizmoMaterial = "RRMaterial:Gizmo";
constexpr float kConeLength = 0.16f, kConeRadius = 0.045f;
constexpr int kConeSides = 12;
}  // namespace

TRRTransformationGizmo::TRRTransformationGizmo() : FPrimitive(std::make_unique<TRROverlayPrimitive>()) {
  FPrimitive->PrimitiveType = gx::GXTriangleList;
  // Rings of radius 1 and letters just beyond the arrows: the node's box must hold them all.
  SetLocalBounds(gx::BoxFromMinMax({-1.05f, -1.05f, -1.05f}, {1.05f, 1.05f, 1.05f}));
}

TRRTransformationGizmo::~TRRTransformationGizmo() = default;

int TRRTransformationGizmo::HandleOfLine(size_t line) {
  // LineGeometry's order: the X, Y and Z axes, the letters X (2 strokes), Y (3), Z (3), then the
  // rings about X, Z and Y of 32 segments each.
  static constexpr int kAxes[3] = {RRGizmoArrowX, RRGizmoArrowY, RRGizmoArrowZ};
  if (line < 3) return kAxes[line];
  if (line < 5) return RRGizmoArrowX;
  if (line < 8) return RRGizmoArrowY;
  if (line < 11) return RRGizmoArrowZ;
  if (line < 43) return RRGizmoRingX;
  if (line < 75) return RRGizmoRingZ;
  return RRGizmoRingY;
}

uint32_t TRRTransformationGizmo::HandleColour(int handle, uint8_t highlight) {
  if (highlight == RRGizmoHighlighted) return 0xFFFFD83C;
  uint32_t rgb = 0xD8D8D8;
  switch (handle) {
    case RRGizmoArrowX:
    case RRGizmoRingX:
      rgb = 0xF04848;
      break;
    case RRGizmoArrowY:
    case RRGizmoRingY:
      rgb = 0x58D048;
      break;
    case RRGizmoArrowZ:
    case RRGizmoRingZ:
      rgb = 0x4C8CFF;
      break;
  }
  return (highlight == RRGizmoDimmed ? 0x50000000u : 0xFF000000u) | rgb;
}

std::vector<TRRGizmoVertex> TRRTransformationGizmo::DrawVertices() const {
  auto visible = [this](int handle) {
    return !FFlatView || handle == RRGizmoArrowX || handle == RRGizmoArrowZ || handle == RRGizmoRingY;
  };
  auto colour = [this](int handle) { return HandleColour(handle, Highlight(handle)); };
  const std::vector<TGXVector3> lines = LineGeometry();
  std::vector<TRRGizmoVertex> v;
  v.reserve(lines.size() * 3 + 3 * kConeSides * 6);
  for (size_t i = 0; i + 1 < lines.size(); i += 2) {
    const int handle = HandleOfLine(i / 2);
    if (!visible(handle)) continue;
    const uint32_t c = colour(handle);
    const TGXVector3 &a = lines[i], &b = lines[i + 1];
    const TRRGizmoVertex a0{a.x, a.y, a.z, b.x, b.y, b.z, -1, 0, c}, a1{a.x, a.y, a.z, b.x, b.y, b.z, 1, 0, c};
    // The far end's "other end" is the near one, which turns its screen direction round: its
    // sides are swapped so both ends push to the same side.
    const TRRGizmoVertex b0{b.x, b.y, b.z, a.x, a.y, a.z, 1, 0, c}, b1{b.x, b.y, b.z, a.x, a.y, a.z, -1, 0, c};
    v.insert(v.end(), {a0, a1, b1, a0, b1, b0});
  }
  // Solid cones at the arrow tips (0.75 along the axis, pointing outwards).
  const struct {
    int Handle;
    TGXVector3 Axis, U, W;
  } arrows[3] = {{RRGizmoArrowX, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                 {RRGizmoArrowY, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}},
                 {RRGizmoArrowZ, {0, 0, 1}, {1, 0, 0}, {0, 1, 0}}};
  for (const auto& arrow : arrows) {
    if (!visible(arrow.Handle)) continue;
    const uint32_t c = colour(arrow.Handle);
    const TGXVector3 base = arrow.Axis * (0.75f - kConeLength * 0.5f), tip = arrow.Axis * (0.75f + kConeLength * 0.5f);
    auto rim = [&](int k) {
      const float a = float(k) / kConeSides * 2.0f * std::numbers::pi_v<float>;
      return base + (arrow.U * std::cos(a) + arrow.W * std::sin(a)) * kConeRadius;
    };
    auto point = [c](const TGXVector3& p) { return TRRGizmoVertex{p.x, p.y, p.z, p.x, p.y, p.z, 0, 0, c}; };
    for (int k = 0; k < kConeSides; ++k) {
      const TGXVector3 p = rim(k), q = rim(k + 1);
      v.insert(v.end(), {point(tip), point(p), point(q), point(base), point(q), point(p)});
    }
  }
  return v;
}

void TRRTransformationGizmo::SetViewportSize(uint32_t width, uint32_t height) {
  FViewWidth = float(std::max(width, 1u));
  FViewHeight = float(std::max(height, 1u));
}

void TRRTransformationGizmo::AddToRenderQueue(gx::TGXSceneCamera*, gx::TGXRenderQueue* queue) {
  if (!queue || !Node() || !Shown()) return;
  if (!FPrimitive->Material && !FTriedMaterial) {
    FTriedMaterial = true;
    FPrimitive->Material = RRMakeSurroundingsMaterial(kGizmoMaterial, false, RRGizmoEffectFile, {});
  }
  if (!FPrimitive->Material) return;
  if (FDrawnLook != FLook || !FPrimitive->VertexGeometry) {
    const std::vector<TRRGizmoVertex> v = DrawVertices();
    gx::TGXVertexLayoutDecl decl;
    decl.AddElement(0, gx::GXDeclFloat3, gx::GXUsagePosition, 0);
    decl.AddElement(0, gx::GXDeclFloat3, gx::GXUsageNormal, 0);
    decl.AddElement(0, gx::GXDeclFloat2, gx::GXUsageTexCoord, 0);
    decl.AddElement(0, gx::GXDeclColor, gx::GXUsageColor, 0);
    if (!FPrimitive->Write(v.data(), uint32_t(v.size()), sizeof(TRRGizmoVertex), decl)) return;
    FDrawnLook = FLook;
  }
  if (gx::TGXEffectValueSource* size = FPrimitive->Material->FindValue("ViewportSize"))
    size->SetFloats({FViewWidth, FViewHeight});
  FPrimitive->World = Node()->WorldMatrix();
  queue->Add(FPrimitive.get(), 100, 0);
}

}  // namespace rr
