#pragma once
// Bounding volumes (axis-aligned box, oriented box, sphere, frustum) and the functions that
// build, transform, merge and intersect them, plus small vector and quaternion helpers.
// An empty volume holds nothing and every operation treats it as absent.
//
// Results that may not exist (a ray that hits nothing, a plane carried through a singular
// matrix) are std::optional; std::nullopt means "none".
//
// Degenerate input never crashes, hangs or produces a NaN out of finite numbers:
// - A ray whose origin or direction has a NaN or infinite component, or whose direction is zero,
//   hits nothing. A volume or triangle with a non-finite coordinate is hit by nothing.
// - A box or frustum with a non-finite corner intersects nothing; a flat box or a frustum that
//   collapsed to a line or point still works, because zero separating axes are skipped.
// - Functions that only compute (distances, projections of finite values, Hermite tangents) pass
//   NaN through like ordinary arithmetic; each declaration below says where it differs.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "engine/core/GXMath.h"

namespace gx {

// Axis-aligned box. Corner order (signs give min (-) or max (+) per axis x, y, z):
// 0 (-,-,-), 1 (+,-,-), 2 (+,-,+), 3 (-,-,+), 4 (-,+,-), 5 (+,+,-), 6 (+,+,+), 7 (-,+,+).
// Corner 0 is the minimum, corner 6 the maximum.
struct TGXBoundingBox {
  bool Empty = true;
  // Corners 0 and 6; the others follow from them. Kept small: every scene node holds two boxes,
  // and the bounds update writes both for every node that moved.
  TGXVector3 Low, High;
  TGXVector3 Center;

  const TGXVector3& Min() const { return Low; }
  const TGXVector3& Max() const { return High; }
  // Corner k (0..7) in the order above.
  TGXVector3 Corner(int k) const {
    const bool x = k == 1 || k == 2 || k == 5 || k == 6, y = k >= 4, z = k == 2 || k == 3 || k == 6 || k == 7;
    return {x ? High.x : Low.x, y ? High.y : Low.y, z ? High.z : Low.z};
  }
  std::array<TGXVector3, 8> Corners() const {
    return {Corner(0), Corner(1), Corner(2), Corner(3), Corner(4), Corner(5), Corner(6), Corner(7)};
  }
};

// The corners of a box carried through a matrix, not re-aligned to the axes: corner k keeps its
// role, so the edges 0->1, 0->4 and 0->3 are the box's own x, y and z directions.
struct TGXOrientedBox {
  bool Empty = true;
  TGXVector3 Corners[8];
  TGXVector3 Center;
};

struct TGXBoundingSphere {
  bool Empty = true;
  TGXVector3 Center;
  float Radius = 0;  // never negative
};

// A convex volume of six planes and eight corners. The corners are numbered like a box's with z
// read as depth: 0, 1, 4, 5 on the near side, 2, 3, 6, 7 on the far side; 0 to 3 at the bottom,
// 4 to 7 at the top. The planes, in the order left, right, top, bottom, near, far, have unit
// normals pointing out of the volume (a point inside has a negative GXPlaneDotCoord).
struct TGXFrustum {
  bool Empty = true;
  TGXPlane Planes[6];
  TGXVector3 Corners[8];
};

enum : int { GXFrustumLeft = 0, GXFrustumRight, GXFrustumTop, GXFrustumBottom, GXFrustumNear, GXFrustumFar };

// The twelve edges of a box or frustum as pairs of corner numbers: first the four along x, then
// the four along y, then the four along z.
inline constexpr int GXBoxEdges[12][2] = {{0, 1}, {4, 5}, {3, 2}, {7, 6}, {0, 4}, {1, 5},
                                          {2, 6}, {3, 7}, {0, 3}, {1, 2}, {4, 7}, {5, 6}};

// Two triangles per face of a box (-z, +x, +z, -x, +y, -y), wound so that (v1 - v0) x (v2 - v0)
// points out of the box when its corners come from BoxFromMinMax.
inline constexpr int GXBoxFaceTriangles[12][3] = {{0, 4, 1}, {4, 5, 1}, {1, 5, 2}, {5, 6, 2},
                                                  {2, 6, 3}, {6, 7, 3}, {3, 7, 0}, {7, 4, 0},
                                                  {4, 7, 5}, {7, 6, 5}, {3, 0, 2}, {0, 1, 2}};

// A closed interval on an axis.
struct TGXInterval {
  float Min = 0, Max = 0;
};

// Where a ray meets a surface. Distance is the ray parameter t (Point = Origin + t * Direction),
// a length only when the direction has unit length. Normal is the face normal, not normalised.
struct TGXRayHit {
  TGXVector3 Point;
  TGXVector3 Normal;
  float Distance = 0;
};

struct TGXRay {
  TGXVector3 Origin;
  TGXVector3 Direction;  // unit length
};

struct TGXPointSegmentDistance {
  float DistanceSquared = 0;
  float T = 0;  // 0 at the segment's start A, 1 at its end B
};

// Rotations about x (Bank), y (Heading) and z (Attitude), in radians.
struct TGXEulerAngles {
  float Bank = 0, Heading = 0, Attitude = 0;
};

// A pixel position on a render target.
struct TGXPoint {
  int32_t X = 0, Y = 0;
  friend constexpr bool operator==(const TGXPoint&, const TGXPoint&) = default;
};

// ---- boxes ----

// Corners and centre of the box from min to max; the result is never empty. The corners are
// taken as given: a min above max gives a box whose corner 0 is not its minimum.
// Writes the corners and the centre of the box from min to max straight into b (inline, so the
// bounds update can fill boxes in place without a call and a copy per box).
inline void FillBoxCorners(TGXBoundingBox& b, const TGXVector3& mn, const TGXVector3& mx) {
  b.Empty = false;
  b.Low = mn;
  b.High = mx;
  b.Center = mn + (mx - mn) * 0.5f;
}
template <class Box>
inline void FillBoxCorners(Box& b, const TGXVector3& mn, const TGXVector3& mx) {
  b.Empty = false;
  b.Corners[0] = {mn.x, mn.y, mn.z};
  b.Corners[1] = {mx.x, mn.y, mn.z};
  b.Corners[2] = {mx.x, mn.y, mx.z};
  b.Corners[3] = {mn.x, mn.y, mx.z};
  b.Corners[4] = {mn.x, mx.y, mn.z};
  b.Corners[5] = {mx.x, mx.y, mn.z};
  b.Corners[6] = {mx.x, mx.y, mx.z};
  b.Corners[7] = {mn.x, mx.y, mx.z};
  b.Center = mn + (mx - mn) * 0.5f;
}

TGXBoundingBox BoxFromMinMax(const TGXVector3& min, const TGXVector3& max);
void BoxFromMinMax(TGXOrientedBox& box, const TGXVector3& min, const TGXVector3& max);
// The axis-aligned box around the eight transformed corners; empty stays empty.
TGXBoundingBox TransformBox(const TGXBoundingBox& box, const TGXMatrix& m);
// The eight corners and the centre carried through m one by one; empty stays empty.
TGXOrientedBox TransformOrientedBox(const TGXBoundingBox& box, const TGXMatrix& m);
// Grows target to hold source; an empty source changes nothing.
void MergeBox(TGXBoundingBox& target, const TGXBoundingBox& source);
// True when min <= p <= max in every component, boundary included. False for an empty box and
// for a point with a NaN component.
bool BoxContains(const TGXBoundingBox& box, const TGXVector3& p);
// True when the boxes share a point (touching faces count). An empty box, or one with a NaN or
// infinite corner, meets nothing.
bool BoxesIntersect(const TGXBoundingBox& a, const TGXBoundingBox& b);
// The interval the box covers on the axis (in units of the axis' length): centre . axis plus or
// minus the half extents weighted by |axis| per component. None for an empty box or when the
// result is not finite.
std::optional<TGXInterval> ProjectBox(const TGXBoundingBox& box, const TGXVector3& axis);

// ---- spheres ----

// A non-empty sphere with the radius' absolute value.
TGXBoundingSphere SphereFrom(const TGXVector3& center, float radius);
// The sphere through the box's minimum and maximum corners around its centre; empty stays empty.
TGXBoundingSphere SphereFromBox(const TGXBoundingBox& box);
// True when the spheres touch or overlap. False when either is empty or has a NaN value.
bool SpheresIntersect(const TGXBoundingSphere& a, const TGXBoundingSphere& b);

// ---- frusta ----

// A frustum with the given corners (numbered as in TGXFrustum) and the planes through them.
// Corners that coincide give zero planes; such a frustum is still tested by the remaining axes.
TGXFrustum FrustumFromCorners(std::span<const TGXVector3, 8> corners);
// The frustum swept by four rays, for example those through the corners of a selection
// rectangle: ray 0 bottom left, 1 bottom right, 2 top right, 3 top left. The near corners are the
// origins, the far corners origin + direction * depth (directions are not normalised).
TGXFrustum FrustumFromRays(const TGXVector3& p0, const TGXVector3& d0, const TGXVector3& p1,
                           const TGXVector3& d1, const TGXVector3& p2, const TGXVector3& d2,
                           const TGXVector3& p3, const TGXVector3& d3, float depth);
// Separating-axis test: true when the frustum and the box share at least one point (touching
// counts). False when either is empty or has a non-finite corner.
bool FrustumIntersectsOrientedBox(const TGXFrustum& frustum, const TGXOrientedBox& box);

// ---- rays ----
// Origin o, direction d (any length unless stated). See the top of this file for rays and
// volumes with non-finite or zero values: they hit nothing.

// Where the ray meets the plane normal . X + distance = 0, at t >= 0. None when the ray runs
// parallel to the plane, when the plane lies behind the origin, or, with cullBackFace, when the
// ray travels along the normal (d . normal > 0).
std::optional<TGXVector3> RayPlane(const TGXVector3& o, const TGXVector3& d, const TGXVector3& normal,
                                   float distance, bool cullBackFace);
std::optional<TGXVector3> RayPlane(const TGXVector3& o, const TGXVector3& d, const TGXPlane& plane,
                                   bool cullBackFace);
// Where the ray meets the triangle (edges included) at t >= 0; Normal is (v1 - v0) x (v2 - v0).
// With cullBackFace, a triangle whose normal does not face against the ray is not hit.
std::optional<TGXRayHit> RayTriangle(const TGXVector3& o, const TGXVector3& d, const TGXVector3& v0,
                                     const TGXVector3& v1, const TGXVector3& v2, bool cullBackFace);
// The first point of the sphere ahead of the origin (t > 0); from inside that is where the ray
// leaves it. A negative radius counts as its absolute value.
std::optional<TGXVector3> RaySphere(const TGXVector3& o, const TGXVector3& d, const TGXVector3& center,
                                    float radius);
// Where the ray enters the box, with the outward unit normal of that face; faces are tried in the
// order +z, -z, +y, -y, +x, -x, so an edge or corner hit reports the first of them. A ray that
// starts inside the box or travels away from it hits nothing (test BoxContains first to pick).
std::optional<TGXRayHit> RayBox(const TGXBoundingBox& box, const TGXVector3& o, const TGXVector3& d);
// Where the ray enters the oriented box: the face triangles are tried in GXBoxFaceTriangles
// order with back faces culled and the first hit wins (an edge hit reports the earlier face).
// Normal is the triangle's outward (v1 - v0) x (v2 - v0). A ray from inside hits nothing.
// A box carried through a mirroring matrix is handled too: its triangles are turned round, so
// the normals still point outwards.
std::optional<TGXRayHit> RayOrientedBox(const TGXOrientedBox& box, const TGXVector3& o, const TGXVector3& d);

// ---- points and vectors ----

// |a - b|^2, and |a - b|^2 - x (compare against a squared distance without a second function).
float DistanceSquared(const TGXVector3& a, const TGXVector3& b);
float DistanceSquared(const TGXVector3& a, const TGXVector3& b, float x);
// The squared distance from p to the segment a-b and the parameter of the nearest point. When
// the foot of the perpendicular falls outside the segment (or a = b) the nearer end point is
// taken, t = 0 for a and t = 1 for b, b winning a tie. NaN input gives a NaN distance and t = 1.
TGXPointSegmentDistance PointSegmentDistanceSquared(const TGXVector3& p, const TGXVector3& a,
                                                    const TGXVector3& b);
// v rotated by the unit quaternion q: v + 2w (q x v) + 2 q x (q x v), the same as multiplying by
// the matrix of q.
TGXVector3 RotateVector(const TGXVector3& v, const TGXQuaternion& q);
// The rotation of the matrix whose rows are right, up and forward (local x, y, z). The axes
// should be orthonormal; the second form normalises them first. Non-finite axes, or axes so
// degenerate that no finite quaternion results, give the identity.
TGXQuaternion QuaternionFromAxes(const TGXVector3& forward, const TGXVector3& up, const TGXVector3& right);
TGXQuaternion QuaternionFromAxesNormalized(const TGXVector3& forward, const TGXVector3& up,
                                           const TGXVector3& right);
// The rotation that follows a to give b: inverse(a) followed by b. A zero a counts as identity.
TGXQuaternion QuaternionDifference(const TGXQuaternion& a, const TGXQuaternion& b);
// Bank, heading and attitude of a unit quaternion. Within a small tolerance of the poles
// (attitude +-90 degrees) the bank is 0 and the whole turn is in the heading; the tolerance
// absorbs the rounding of quaternions that are not exactly unit length. Never NaN for finite
// input; a non-finite quaternion gives (0, 0, 0).
TGXEulerAngles QuaternionToEuler(const TGXQuaternion& q);
// The angles GXQuaternionRotationYawPitchRoll takes (roll about z, then pitch about x, then yaw
// about y) back from a unit quaternion, so that feeding them in again gives the same rotation:
// pitch in [-pi/2, pi/2], yaw and roll in [-pi, pi]. Within the pole tolerance of
// QuaternionToEuler (pitch +-90 degrees) the roll is 0 and the whole turn is in the yaw. Where the
// pitch or the roll is 0 the angles are those of QuaternionToEuler (bank = pitch, heading = yaw,
// attitude = roll). Never NaN for finite input; a non-finite quaternion gives (0, 0, 0).
struct TGXYawPitchRoll {
  float Yaw = 0;
  float Pitch = 0;
  float Roll = 0;
};
TGXYawPitchRoll QuaternionToYawPitchRoll(const TGXQuaternion& q);
// The derivative with respect to t of GXVec3Hermite(p0, t0, p1, t1, t).
TGXVector3 HermiteTangent(const TGXVector3& p0, const TGXVector3& t0, const TGXVector3& p1,
                          const TGXVector3& t1, float t);
// Euclid's algorithm, non-negative; gcd(0, 0) = 0. 64-bit so that gcd(INT32_MIN, 0) = 2^31 fits.
int64_t GreatestCommonDivisor(int32_t a, int32_t b);
// The plane carried along with points transformed by m, normalised. None when m has no inverse
// or a value is not finite; a plane whose carried normal is zero becomes the zero plane.
std::optional<TGXPlane> TransformPlane(const TGXPlane& plane, const TGXMatrix& m);

// ---- screen ----
// Viewport, view and projection as the camera and render target give them (world = identity).

// The ray through a pixel: origin on the near plane, unit direction towards the far plane. None
// when view * projection has no inverse or the ray is not finite.
std::optional<TGXRay> ScreenToRay(const TGXPoint& point, const TGXViewportRect& viewport,
                                  const TGXMatrix& view, const TGXMatrix& projection);
// The pixel a world point projects to, rounded to the nearest integer (halves away from zero) and
// clamped to the 32-bit range. Points behind the camera project mirrored, as the projection
// gives them. None when the projected position is not finite.
std::optional<TGXPoint> WorldToScreen(const TGXVector3& v, const TGXViewportRect& viewport,
                                      const TGXMatrix& projection, const TGXMatrix& view);

}  // namespace gx
