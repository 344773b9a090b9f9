#include "engine/core/GXGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace gx {


TGXBoundingBox BoxFromMinMax(const TGXVector3& min, const TGXVector3& max) {
  TGXBoundingBox b;
  FillBoxCorners(b, min, max);
  return b;
}

void BoxFromMinMax(TGXOrientedBox& box, const TGXVector3& min, const TGXVector3& max) {
  FillBoxCorners(box, min, max);
}

TGXBoundingBox TransformBox(const TGXBoundingBox& box, const TGXMatrix& m) {
  if (box.Empty) return {};
  const std::array<TGXVector3, 8> corners = box.Corners();
  TGXVector3 mn = GXVec3TransformCoord(corners[0], m), mx = mn;
  for (int i = 1; i < 8; ++i) {
    TGXVector3 p = GXVec3TransformCoord(corners[i], m);
    mn = GXVec3Minimize(mn, p);
    mx = GXVec3Maximize(mx, p);
  }
  return BoxFromMinMax(mn, mx);
}

void MergeBox(TGXBoundingBox& target, const TGXBoundingBox& source) {
  if (source.Empty) return;
  if (target.Empty) {
    target = BoxFromMinMax(source.Min(), source.Max());
    return;
  }
  target =
      BoxFromMinMax(GXVec3Minimize(target.Min(), source.Min()), GXVec3Maximize(target.Max(), source.Max()));
}

TGXOrientedBox TransformOrientedBox(const TGXBoundingBox& box, const TGXMatrix& m) {
  TGXOrientedBox r;
  if (box.Empty) return r;
  r.Empty = false;
  for (int i = 0; i < 8; ++i) r.Corners[i] = GXVec3TransformCoord(box.Corner(i), m);
  r.Center = GXVec3TransformCoord(box.Center, m);
  return r;
}

bool BoxesIntersect(const TGXBoundingBox& a, const TGXBoundingBox& b) {
  if (a.Empty || b.Empty) return false;
  if (!GXIsFinite(a.Min()) || !GXIsFinite(a.Max()) || !GXIsFinite(b.Min()) || !GXIsFinite(b.Max())) return false;
  return a.Min().x <= b.Max().x && b.Min().x <= a.Max().x && a.Min().y <= b.Max().y && b.Min().y <= a.Max().y &&
         a.Min().z <= b.Max().z && b.Min().z <= a.Max().z;
}

bool BoxContains(const TGXBoundingBox& box, const TGXVector3& p) {
  if (box.Empty) return false;
  const TGXVector3 &mn = box.Min(), &mx = box.Max();
  return p.x >= mn.x && p.x <= mx.x && p.y >= mn.y && p.y <= mx.y && p.z >= mn.z && p.z <= mx.z;
}

std::optional<TGXInterval> ProjectBox(const TGXBoundingBox& box, const TGXVector3& axis) {
  if (box.Empty) return std::nullopt;
  const TGXVector3& mx = box.Max();
  float c = GXVec3Dot(box.Center, axis);
  float r = std::fabs(axis.x) * (mx.x - box.Center.x) + std::fabs(axis.y) * (mx.y - box.Center.y) +
            std::fabs(axis.z) * (mx.z - box.Center.z);
  TGXInterval i{c - r, c + r};
  if (!std::isfinite(i.Min) || !std::isfinite(i.Max)) return std::nullopt;
  return i;
}

// ---- spheres ----

TGXBoundingSphere SphereFrom(const TGXVector3& center, float radius) {
  TGXBoundingSphere s;
  s.Empty = false;
  s.Center = center;
  s.Radius = std::fabs(radius);
  return s;
}

TGXBoundingSphere SphereFromBox(const TGXBoundingBox& box) {
  if (box.Empty) return {};
  return SphereFrom(box.Center, GXVec3Length(box.Max() - box.Min()) * 0.5f);
}

bool SpheresIntersect(const TGXBoundingSphere& a, const TGXBoundingSphere& b) {
  if (a.Empty || b.Empty) return false;
  float r = a.Radius + b.Radius;
  // NaN anywhere makes the comparison false.
  return DistanceSquared(a.Center, b.Center) <= r * r;
}

// ---- frusta ----

TGXFrustum FrustumFromCorners(std::span<const TGXVector3, 8> c) {
  TGXFrustum f;
  f.Empty = false;
  std::copy(c.begin(), c.end(), f.Corners);
  // Each triple runs so that the plane's normal points out of the volume.
  f.Planes[GXFrustumLeft] = GXPlaneFromPoints(c[3], c[7], c[4]);
  f.Planes[GXFrustumRight] = GXPlaneFromPoints(c[1], c[5], c[6]);
  f.Planes[GXFrustumTop] = GXPlaneFromPoints(c[4], c[7], c[6]);
  f.Planes[GXFrustumBottom] = GXPlaneFromPoints(c[3], c[0], c[1]);
  f.Planes[GXFrustumNear] = GXPlaneFromPoints(c[0], c[4], c[5]);
  f.Planes[GXFrustumFar] = GXPlaneFromPoints(c[2], c[6], c[7]);
  return f;
}

TGXFrustum FrustumFromRays(const TGXVector3& p0, const TGXVector3& d0, const TGXVector3& p1,
                           const TGXVector3& d1, const TGXVector3& p2, const TGXVector3& d2,
                           const TGXVector3& p3, const TGXVector3& d3, float depth) {
  const TGXVector3 corners[8] = {p0, p1, p1 + d1 * depth, p0 + d0 * depth,
                                 p3, p2, p2 + d2 * depth, p3 + d3 * depth};
  return FrustumFromCorners(corners);
}

namespace {

bool AllFinite(const TGXVector3 (&corners)[8]) {
  return std::all_of(std::begin(corners), std::end(corners),
                     [](const TGXVector3& v) { return GXIsFinite(v); });
}

// True when the projections of the two corner sets onto the axis do not overlap. The axis is
// normalised first so that nearly parallel edges, whose cross product is tiny, do not lose the
// projections in underflow; an axis that normalises to zero carries no information and never
// separates.
bool AxisSeparates(const TGXVector3& axis, const TGXVector3 (&a)[8], const TGXVector3 (&b)[8]) {
  TGXVector3 n = GXVec3Normalize(axis);
  if (n.x == 0 && n.y == 0 && n.z == 0) return false;
  float aMin = GXVec3Dot(a[0], n), aMax = aMin, bMin = GXVec3Dot(b[0], n), bMax = bMin;
  for (int i = 1; i < 8; ++i) {
    float pa = GXVec3Dot(a[i], n), pb = GXVec3Dot(b[i], n);
    aMin = std::min(aMin, pa);
    aMax = std::max(aMax, pa);
    bMin = std::min(bMin, pb);
    bMax = std::max(bMax, pb);
  }
  return bMax < aMin || bMin > aMax;
}

}  // namespace

bool FrustumIntersectsOrientedBox(const TGXFrustum& frustum, const TGXOrientedBox& box) {
  if (frustum.Empty || box.Empty) return false;
  const auto& fc = frustum.Corners;
  const auto& bc = box.Corners;
  if (!AllFinite(fc) || !AllFinite(bc)) return false;
  const TGXVector3 boxDirections[3] = {bc[3] - bc[0], bc[4] - bc[0], bc[1] - bc[0]};
  for (const auto& edge : GXBoxEdges) {
    TGXVector3 e = GXVec3Normalize(fc[edge[1]] - fc[edge[0]]);
    for (const TGXVector3& a : boxDirections)
      if (AxisSeparates(GXVec3Cross(a, e), fc, bc)) return false;
  }
  for (const TGXVector3& a : boxDirections)
    if (AxisSeparates(a, fc, bc)) return false;
  // The far plane is parallel to the near plane in every frustum built from a projection, so
  // five normals suffice.
  for (int i = GXFrustumLeft; i <= GXFrustumNear; ++i)
    if (AxisSeparates(frustum.Planes[i].Normal(), fc, bc)) return false;
  return true;
}

// ---- rays ----

namespace {

bool IsNonZero(const TGXVector3& v) { return v.x != 0 || v.y != 0 || v.z != 0; }

bool UsableRay(const TGXVector3& o, const TGXVector3& d) {
  return GXIsFinite(o) && GXIsFinite(d) && IsNonZero(d);
}

// The ray parameter t >= 0 at which o + t d meets normal . X + distance = 0.
std::optional<float> RayPlaneParameter(const TGXVector3& o, const TGXVector3& d, const TGXVector3& normal,
                                       float distance, bool cullBackFace) {
  if (!UsableRay(o, d) || !GXIsFinite(normal) || !std::isfinite(distance)) return std::nullopt;
  float dn = GXVec3Dot(d, normal);
  if (dn == 0 || !std::isfinite(dn)) return std::nullopt;
  if (cullBackFace && dn > 0) return std::nullopt;
  float t = -(GXVec3Dot(normal, o) + distance) / dn;
  // A tiny dn can push t to infinity; such a plane is out of reach.
  if (!(t >= 0) || !std::isfinite(t)) return std::nullopt;
  return t;
}

std::optional<TGXVector3> PointOnRay(const TGXVector3& o, const TGXVector3& d, float t) {
  TGXVector3 p = o + d * t;
  if (!GXIsFinite(p)) return std::nullopt;
  return p;
}

}  // namespace

std::optional<TGXVector3> RayPlane(const TGXVector3& o, const TGXVector3& d, const TGXVector3& normal,
                                   float distance, bool cullBackFace) {
  auto t = RayPlaneParameter(o, d, normal, distance, cullBackFace);
  if (!t) return std::nullopt;
  return PointOnRay(o, d, *t);
}

std::optional<TGXVector3> RayPlane(const TGXVector3& o, const TGXVector3& d, const TGXPlane& plane,
                                   bool cullBackFace) {
  return RayPlane(o, d, plane.Normal(), plane.d, cullBackFace);
}

std::optional<TGXRayHit> RayTriangle(const TGXVector3& o, const TGXVector3& d, const TGXVector3& v0,
                                     const TGXVector3& v1, const TGXVector3& v2, bool cullBackFace) {
  if (!UsableRay(o, d) || !GXIsFinite(v0) || !GXIsFinite(v1) || !GXIsFinite(v2)) return std::nullopt;
  TGXVector3 n = GXVec3Cross(v1 - v0, v2 - v0);
  // Written as "not < 0" so that an overflowed (NaN) product culls as well.
  if (cullBackFace && !(GXVec3Dot(n, d) < 0)) return std::nullopt;
  float t = 0;
  if (!GXIntersectTri(v0, v1, v2, o, d, nullptr, nullptr, &t)) return std::nullopt;
  auto p = PointOnRay(o, d, t);
  if (!p || !std::isfinite(t)) return std::nullopt;
  return TGXRayHit{*p, n, t};
}

std::optional<TGXVector3> RaySphere(const TGXVector3& o, const TGXVector3& d, const TGXVector3& center,
                                    float radius) {
  if (!UsableRay(o, d) || !GXIsFinite(center) || !std::isfinite(radius)) return std::nullopt;
  TGXVector3 oc = o - center;
  float a = GXVec3Dot(d, d);
  float b = 2 * GXVec3Dot(d, oc);
  float c = GXVec3Dot(oc, oc) - radius * radius;
  if (!(a > 0)) return std::nullopt;  // the direction's square underflowed
  float disc = b * b - 4 * a * c;
  if (!(disc >= 0)) return std::nullopt;  // also NaN from overflow
  float root = std::sqrt(disc);
  float t0 = (-b - root) / (2 * a), t1 = (-b + root) / (2 * a);
  float t;
  if (t0 > 0)
    t = t0;
  else if (t1 > 0)
    t = t1;
  else
    return std::nullopt;
  return PointOnRay(o, d, t);
}

std::optional<TGXRayHit> RayBox(const TGXBoundingBox& box, const TGXVector3& o, const TGXVector3& d) {
  if (box.Empty) return std::nullopt;
  const TGXVector3 &mn = box.Min(), &mx = box.Max();
  if (!GXIsFinite(mn) || !GXIsFinite(mx)) return std::nullopt;
  struct Face {
    int Axis;
    float Sign;
  };
  static constexpr Face kFaces[6] = {{2, 1}, {2, -1}, {1, 1}, {1, -1}, {0, 1}, {0, -1}};
  for (const Face& f : kFaces) {
    TGXVector3 n;
    n[f.Axis] = f.Sign;
    float coordinate = f.Sign > 0 ? mx[f.Axis] : mn[f.Axis];
    // With back faces culled only the faces the ray travels into count.
    auto t = RayPlaneParameter(o, d, n, -f.Sign * coordinate, true);
    if (!t) continue;
    auto p = PointOnRay(o, d, *t);
    if (!p) continue;
    int u = (f.Axis + 1) % 3, v = (f.Axis + 2) % 3;
    if ((*p)[u] >= mn[u] && (*p)[u] <= mx[u] && (*p)[v] >= mn[v] && (*p)[v] <= mx[v])
      return TGXRayHit{*p, n, *t};
  }
  return std::nullopt;
}

std::optional<TGXRayHit> RayOrientedBox(const TGXOrientedBox& box, const TGXVector3& o, const TGXVector3& d) {
  if (box.Empty || !AllFinite(box.Corners)) return std::nullopt;
  const auto& c = box.Corners;
  // A mirroring matrix (negative determinant) turns every triangle inwards; swapping two
  // vertices turns them out again so that the entry face, not the exit face, is hit.
  bool mirrored = GXVec3Dot(GXVec3Cross(c[1] - c[0], c[4] - c[0]), c[3] - c[0]) < 0;
  for (const auto& tri : GXBoxFaceTriangles) {
    const TGXVector3& v1 = c[tri[mirrored ? 2 : 1]];
    const TGXVector3& v2 = c[tri[mirrored ? 1 : 2]];
    if (auto hit = RayTriangle(o, d, c[tri[0]], v1, v2, true)) return hit;
  }
  return std::nullopt;
}

// ---- points and vectors ----

float DistanceSquared(const TGXVector3& a, const TGXVector3& b) { return GXVec3LengthSq(a - b); }

float DistanceSquared(const TGXVector3& a, const TGXVector3& b, float x) { return GXVec3LengthSq(a - b) - x; }

TGXPointSegmentDistance PointSegmentDistanceSquared(const TGXVector3& p, const TGXVector3& a,
                                                    const TGXVector3& b) {
  TGXVector3 ab = b - a;
  float l = GXVec3LengthSq(ab);
  if (l != 0) {
    float t = GXVec3Dot(ab, p - a) / l;
    if (t >= 0 && t <= 1) return {DistanceSquared(p, a + ab * t), t};
  }
  float da = DistanceSquared(p, a), db = DistanceSquared(p, b);
  if (da < db) return {da, 0};
  return {db, 1};
}

TGXVector3 RotateVector(const TGXVector3& v, const TGXQuaternion& q) {
  TGXVector3 u{q.x, q.y, q.z};
  TGXVector3 uv = GXVec3Cross(u, v);
  return v + uv * (2 * q.w) + GXVec3Cross(u, uv) * 2;
}

TGXQuaternion QuaternionFromAxes(const TGXVector3& forward, const TGXVector3& up, const TGXVector3& right) {
  TGXMatrix m(right.x, right.y, right.z, 0,  //
              up.x, up.y, up.z, 0,           //
              forward.x, forward.y, forward.z, 0, 0, 0, 0, 1);
  if (!GXIsFinite(m)) return {};
  TGXQuaternion q = GXQuaternionRotationMatrix(m);
  return GXIsFinite(q) ? q : TGXQuaternion();
}

TGXQuaternion QuaternionFromAxesNormalized(const TGXVector3& forward, const TGXVector3& up,
                                           const TGXVector3& right) {
  return QuaternionFromAxes(GXVec3Normalize(forward), GXVec3Normalize(up), GXVec3Normalize(right));
}

TGXQuaternion QuaternionDifference(const TGXQuaternion& a, const TGXQuaternion& b) {
  return GXQuaternionMultiply(GXQuaternionInverse(a), b);
}

TGXEulerAngles QuaternionToEuler(const TGXQuaternion& q) {
  if (!GXIsFinite(q)) return {};
  // A quaternion at a pole that is a few units in the last place off unit length has s just
  // below or above 0.5. Above, the arc sine's argument leaves [-1, 1]; just below, both
  // arguments of the general arc tangents are rounding noise. The tolerance sends both to the
  // pole form, and the clamp keeps the arc sine defined.
  constexpr float kPoleTolerance = 1e-6f;
  const float x = q.x, y = q.y, z = q.z, w = q.w;
  const float s = x * y + z * w;
  TGXEulerAngles r;
  r.Attitude = std::asin(std::clamp(2 * x * y + 2 * z * w, -1.0f, 1.0f));
  if (s >= 0.5f - kPoleTolerance) {
    r.Heading = 2 * std::atan2(x, w);
    r.Bank = 0;
  } else if (s <= -0.5f + kPoleTolerance) {
    r.Heading = -2 * std::atan2(x, w);
    r.Bank = 0;
  } else {
    r.Heading = std::atan2(2 * y * w - 2 * x * z, 1 - 2 * y * y - 2 * z * z);
    r.Bank = std::atan2(2 * x * w - 2 * y * z, 1 - 2 * x * x - 2 * z * z);
  }
  return r;
}

TGXYawPitchRoll QuaternionToYawPitchRoll(const TGXQuaternion& q) {
  if (!GXIsFinite(q)) return {};
  // With pitch 0 the result equals QuaternionToEuler's only for rolls within +-90 degrees: its
  // attitude (the roll) cannot leave that range and it turns bank and heading by 180 instead.
  constexpr float kPoleTolerance = 1e-6f;  // as QuaternionToEuler
  const float x = q.x, y = q.y, z = q.z, w = q.w;
  const float s = w * x - y * z;
  TGXYawPitchRoll r;
  r.Pitch = std::asin(std::clamp(2 * s, -1.0f, 1.0f));
  if (s >= 0.5f - kPoleTolerance || s <= -0.5f + kPoleTolerance) {
    // At either pole only yaw - roll (north) or yaw + roll (south) is defined, both 2 atan2(y, w).
    r.Yaw = 2 * std::atan2(y, w);
    if (r.Yaw > GX_PI) r.Yaw -= 2 * GX_PI;
    if (r.Yaw < -GX_PI) r.Yaw += 2 * GX_PI;
    r.Roll = 0;
  } else {
    r.Yaw = std::atan2(2 * (x * z + w * y), 1 - 2 * (x * x + y * y));
    r.Roll = std::atan2(2 * (x * y + w * z), 1 - 2 * (x * x + z * z));
  }
  return r;
}

TGXVector3 HermiteTangent(const TGXVector3& p0, const TGXVector3& t0, const TGXVector3& p1,
                          const TGXVector3& t1, float t) {
  float t2 = t * t;
  return p0 * (6 * t2 - 6 * t) + t0 * (3 * t2 - 4 * t + 1) + p1 * (6 * t - 6 * t2) + t1 * (3 * t2 - 2 * t);
}

int64_t GreatestCommonDivisor(int32_t a, int32_t b) {
  // Magnitudes in 64 bits: |INT32_MIN| does not fit in 32, and INT32_MIN % -1 would overflow.
  uint64_t x = static_cast<uint64_t>(std::llabs(a)), y = static_cast<uint64_t>(std::llabs(b));
  while (y != 0) {
    uint64_t r = x % y;
    x = y;
    y = r;
  }
  return static_cast<int64_t>(x);
}

std::optional<TGXPlane> TransformPlane(const TGXPlane& plane, const TGXMatrix& m) {
  if (!std::isfinite(plane.a) || !std::isfinite(plane.b) || !std::isfinite(plane.c) ||
      !std::isfinite(plane.d))
    return std::nullopt;
  TGXMatrix inverse;
  if (!GXMatrixInverse(inverse, nullptr, m)) return std::nullopt;  // also refuses non-finite m
  TGXPlane p = GXPlaneNormalize(GXPlaneTransform(plane, GXMatrixTranspose(inverse)));
  if (!std::isfinite(p.a) || !std::isfinite(p.b) || !std::isfinite(p.c) || !std::isfinite(p.d))
    return std::nullopt;
  return p;
}

// ---- screen ----

std::optional<TGXRay> ScreenToRay(const TGXPoint& point, const TGXViewportRect& viewport,
                                  const TGXMatrix& view, const TGXMatrix& projection) {
  // The unprojection hands back its input when there is no inverse; ask first so that such a
  // camera gives no ray instead of a meaningless one.
  TGXMatrix inverse;
  if (!GXMatrixInverse(inverse, nullptr, view * projection)) return std::nullopt;
  const float x = static_cast<float>(point.X), y = static_cast<float>(point.Y);
  const TGXVector3 in[2] = {{x, y, 0}, {x, y, 1}};
  TGXVector3 out[2];
  GXVec3UnprojectArray(out, in, 2, viewport, projection, view, TGXMatrix());
  TGXRay ray{out[0], GXVec3Normalize(out[1] - out[0])};
  if (!GXIsFinite(ray.Origin) || !IsNonZero(ray.Direction)) return std::nullopt;
  return ray;
}

std::optional<TGXPoint> WorldToScreen(const TGXVector3& v, const TGXViewportRect& viewport,
                                      const TGXMatrix& projection, const TGXMatrix& view) {
  TGXVector3 s = GXVec3Project(v, viewport, projection, view, TGXMatrix());
  if (!std::isfinite(s.x) || !std::isfinite(s.y)) return std::nullopt;
  auto toPixel = [](float f) {
    // Converting a float outside the int32 range is undefined; clamp in double first.
    double r = std::clamp(std::round(static_cast<double>(f)), static_cast<double>(INT32_MIN),
                          static_cast<double>(INT32_MAX));
    return static_cast<int32_t>(r);
  };
  return TGXPoint{toPixel(s.x), toPixel(s.y)};
}

}  // namespace gx
