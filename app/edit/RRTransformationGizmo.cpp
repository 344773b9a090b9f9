#include "app/edit/RRTransformationGizmo.h"

#include <cmath>
#include <numbers>

#include "engine/core/GXGeometry.h"

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
  if (handle >= 1 && handle <= 10) FHighlight[static_cast<size_t>(handle)] = state;
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
