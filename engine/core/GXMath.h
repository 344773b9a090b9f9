#pragma once
// Single-precision vector, quaternion, matrix and plane math of the engine.
//
// Conventions shared by every part of the program: left-handed coordinates, row vectors
// multiplied on the left (p' = p * M, so a chain of matrices applies from left to right),
// matrices stored row by row, quaternions (x, y, z, w) with the identity (0, 0, 0, 1), and
// GXQuaternionMultiply(A, B) meaning "rotation A followed by rotation B". The functions follow
// the published definitions of the D3DX 9 math library, so that values computed here match
// those stored in layouts made with that convention.
//
// Degenerate input never produces NaN from the functions that would otherwise divide by zero:
// normalising a zero vector gives zero, the inverse of a singular matrix is reported as failed
// (and the output set to identity), a homogeneous divide by w = 0 is skipped.

#include <cmath>
#include <cstdint>

namespace gx {

constexpr float GX_PI = 3.14159265358979323846f;

struct TGXVector2 {
  float x = 0, y = 0;
  constexpr TGXVector2() = default;
  constexpr TGXVector2(float ax, float ay) : x(ax), y(ay) {}
  friend constexpr bool operator==(const TGXVector2&, const TGXVector2&) = default;
};

struct TGXVector3 {
  float x = 0, y = 0, z = 0;
  constexpr TGXVector3() = default;
  constexpr TGXVector3(float ax, float ay, float az) : x(ax), y(ay), z(az) {}

  constexpr float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
  constexpr float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
  constexpr TGXVector3 operator-() const { return {-x, -y, -z}; }
  constexpr TGXVector3& operator+=(const TGXVector3& o) { x += o.x; y += o.y; z += o.z; return *this; }
  constexpr TGXVector3& operator-=(const TGXVector3& o) { x -= o.x; y -= o.y; z -= o.z; return *this; }
  constexpr TGXVector3& operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
  friend constexpr TGXVector3 operator+(TGXVector3 a, const TGXVector3& b) { return a += b; }
  friend constexpr TGXVector3 operator-(TGXVector3 a, const TGXVector3& b) { return a -= b; }
  friend constexpr TGXVector3 operator*(TGXVector3 a, float s) { return a *= s; }
  friend constexpr TGXVector3 operator*(float s, TGXVector3 a) { return a *= s; }
  friend constexpr bool operator==(const TGXVector3&, const TGXVector3&) = default;
};

struct TGXVector4 {
  float x = 0, y = 0, z = 0, w = 0;
  constexpr TGXVector4() = default;
  constexpr TGXVector4(float ax, float ay, float az, float aw) : x(ax), y(ay), z(az), w(aw) {}
  friend constexpr bool operator==(const TGXVector4&, const TGXVector4&) = default;
};

struct TGXQuaternion {
  float x = 0, y = 0, z = 0, w = 1;
  constexpr TGXQuaternion() = default;
  constexpr TGXQuaternion(float ax, float ay, float az, float aw) : x(ax), y(ay), z(az), w(aw) {}
  friend constexpr bool operator==(const TGXQuaternion&, const TGXQuaternion&) = default;
};

// 4 x 4 singles, row by row: m[row][column]. Default-constructed as identity.
struct TGXMatrix {
  float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  constexpr TGXMatrix() = default;
  constexpr TGXMatrix(float m11, float m12, float m13, float m14, float m21, float m22, float m23,
                      float m24, float m31, float m32, float m33, float m34, float m41, float m42,
                      float m43, float m44)
      : m{{m11, m12, m13, m14}, {m21, m22, m23, m24}, {m31, m32, m33, m34}, {m41, m42, m43, m44}} {}
  constexpr float& operator()(int r, int c) { return m[r][c]; }
  constexpr float operator()(int r, int c) const { return m[r][c]; }
  friend bool operator==(const TGXMatrix& a, const TGXMatrix& b);
};

// Plane a*x + b*y + c*z + d = 0; (a, b, c) is the normal.
struct TGXPlane {
  float a = 0, b = 0, c = 0, d = 0;
  constexpr TGXPlane() = default;
  constexpr TGXPlane(float aa, float ab, float ac, float ad) : a(aa), b(ab), c(ac), d(ad) {}
  constexpr TGXVector3 Normal() const { return {a, b, c}; }
  friend constexpr bool operator==(const TGXPlane&, const TGXPlane&) = default;
};

// A viewport rectangle in pixels with its depth range, as projection and unprojection use it.
struct TGXViewportRect {
  int32_t X = 0, Y = 0;
  uint32_t Width = 0, Height = 0;
  float MinZ = 0, MaxZ = 1;
};

// ---- vectors ----
inline float GXVec3Dot(const TGXVector3& a, const TGXVector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline TGXVector3 GXVec3Cross(const TGXVector3& a, const TGXVector3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float GXVec3LengthSq(const TGXVector3& v) { return GXVec3Dot(v, v); }
inline float GXVec3Length(const TGXVector3& v) { return std::sqrt(GXVec3LengthSq(v)); }
inline TGXVector3 GXVec3Lerp(const TGXVector3& a, const TGXVector3& b, float s) { return a + (b - a) * s; }
inline TGXVector3 GXVec3Minimize(const TGXVector3& a, const TGXVector3& b) {
  return {a.x < b.x ? a.x : b.x, a.y < b.y ? a.y : b.y, a.z < b.z ? a.z : b.z};
}
inline TGXVector3 GXVec3Maximize(const TGXVector3& a, const TGXVector3& b) {
  return {a.x > b.x ? a.x : b.x, a.y > b.y ? a.y : b.y, a.z > b.z ? a.z : b.z};
}
// Component-wise product.
inline TGXVector3 GXVec3Modulate(const TGXVector3& a, const TGXVector3& b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }
// Unit vector in the direction of v; the zero vector (or one of non-finite length) gives zero.
// (Inline, like the transforms below: vehicles and nodes call them many times per frame.)
inline TGXVector3 GXVec3Normalize(const TGXVector3& v) {
  const float len = GXVec3Length(v);
  if (!(len > 0) || !std::isfinite(len)) return {};
  return v * (1.0f / len);
}
// (v, 1) * M without the divide.
inline TGXVector4 GXVec3Transform(const TGXVector3& v, const TGXMatrix& m) {
  return {v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0] + m.m[3][0],
          v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1] + m.m[3][1],
          v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2] + m.m[3][2],
          v.x * m.m[0][3] + v.y * m.m[1][3] + v.z * m.m[2][3] + m.m[3][3]};
}
// (v, 1) * M, divided by the resulting w (skipped when w is 0).
inline TGXVector3 GXVec3TransformCoord(const TGXVector3& v, const TGXMatrix& m) {
  const TGXVector4 r = GXVec3Transform(v, m);
  // An affine matrix has w = 1; skip the divide rather than produce infinities for w = 0.
  if (r.w == 1.0f || r.w == 0.0f) return {r.x, r.y, r.z};
  const float inv = 1.0f / r.w;
  return {r.x * inv, r.y * inv, r.z * inv};
}
// (v, 0) * M: directions and normals, no translation.
inline TGXVector3 GXVec3TransformNormal(const TGXVector3& v, const TGXMatrix& m) {
  return {v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0], v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1],
          v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2]};
}
TGXVector4 GXVec4Transform(const TGXVector4& v, const TGXMatrix& m);
// Cubic Hermite curve through P0 (tangent T0) at s = 0 and P1 (tangent T1) at s = 1.
TGXVector3 GXVec3Hermite(const TGXVector3& p0, const TGXVector3& t0, const TGXVector3& p1,
                         const TGXVector3& t1, float s);
// Object space to screen: world * view * projection, then the viewport mapping.
TGXVector3 GXVec3Project(const TGXVector3& v, const TGXViewportRect& viewport, const TGXMatrix& projection,
                         const TGXMatrix& view, const TGXMatrix& world);
// Screen (x, y, depth) back to object space; a singular combined matrix gives the input unchanged.
TGXVector3 GXVec3Unproject(const TGXVector3& v, const TGXViewportRect& viewport, const TGXMatrix& projection,
                           const TGXMatrix& view, const TGXMatrix& world);
// Unprojects several points with one matrix inversion.
void GXVec3UnprojectArray(TGXVector3* out, const TGXVector3* in, int count, const TGXViewportRect& viewport,
                          const TGXMatrix& projection, const TGXMatrix& view, const TGXMatrix& world);

// True when every component is finite (neither NaN nor infinite).
inline bool GXIsFinite(const TGXVector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
inline bool GXIsFinite(const TGXQuaternion& q) {
  return std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) && std::isfinite(q.w);
}
bool GXIsFinite(const TGXMatrix& m);

// ---- matrices ----
TGXMatrix GXMatrixIdentity();
bool GXMatrixIsIdentity(const TGXMatrix& m);
TGXMatrix GXMatrixMultiply(const TGXMatrix& a, const TGXMatrix& b);
inline TGXMatrix operator*(const TGXMatrix& a, const TGXMatrix& b) { return GXMatrixMultiply(a, b); }
TGXMatrix GXMatrixTranspose(const TGXMatrix& m);
float GXMatrixDeterminant(const TGXMatrix& m);
// Writes the inverse of m to out and returns true. A singular (or non-finite) matrix has no
// inverse: out becomes identity, determinant (when asked) the value found, and the result false.
bool GXMatrixInverse(TGXMatrix& out, float* determinant, const TGXMatrix& m);
TGXMatrix GXMatrixScaling(float sx, float sy, float sz);
inline TGXMatrix GXMatrixScaling(const TGXVector3& s) { return GXMatrixScaling(s.x, s.y, s.z); }
TGXMatrix GXMatrixTranslation(float x, float y, float z);
inline TGXMatrix GXMatrixTranslation(const TGXVector3& t) { return GXMatrixTranslation(t.x, t.y, t.z); }
TGXMatrix GXMatrixRotationX(float angle);
TGXMatrix GXMatrixRotationY(float angle);
TGXMatrix GXMatrixRotationZ(float angle);
TGXMatrix GXMatrixRotationAxis(const TGXVector3& axis, float angle);
TGXMatrix GXMatrixRotationQuaternion(const TGXQuaternion& q);
// Roll about z, then pitch about x, then yaw about y.
TGXMatrix GXMatrixRotationYawPitchRoll(float yaw, float pitch, float roll);
// Scale, then rotate, then translate: S * R * T.
TGXMatrix GXMatrixTransformation(const TGXVector3& scale, const TGXQuaternion& rotation, const TGXVector3& translation);
// Splits S * R * T into its parts; false when a scale component is zero (rotation then identity).
bool GXMatrixDecompose(TGXVector3& scale, TGXQuaternion& rotation, TGXVector3& translation, const TGXMatrix& m);
TGXMatrix GXMatrixLookAtLH(const TGXVector3& eye, const TGXVector3& at, const TGXVector3& up);
TGXMatrix GXMatrixPerspectiveFovLH(float fovY, float aspect, float zNear, float zFar);
TGXMatrix GXMatrixPerspectiveLH(float width, float height, float zNear, float zFar);
TGXMatrix GXMatrixPerspectiveOffCenterLH(float l, float r, float b, float t, float zNear, float zFar);
TGXMatrix GXMatrixOrthoLH(float width, float height, float zNear, float zFar);
TGXMatrix GXMatrixOrthoOffCenterLH(float l, float r, float b, float t, float zNear, float zFar);
// Mirror matrix for a (normalised) plane.
TGXMatrix GXMatrixReflect(const TGXPlane& plane);

// ---- quaternions ----
inline float GXQuaternionDot(const TGXQuaternion& a, const TGXQuaternion& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}
inline float GXQuaternionLength(const TGXQuaternion& q) { return std::sqrt(GXQuaternionDot(q, q)); }
inline TGXQuaternion GXQuaternionConjugate(const TGXQuaternion& q) { return {-q.x, -q.y, -q.z, q.w}; }
// Rotation a followed by rotation b (inline: every moved node and every placed vehicle takes
// several of them).
inline TGXQuaternion GXQuaternionMultiply(const TGXQuaternion& a, const TGXQuaternion& b) {
  // The Hamilton product b * a: rotation a first, then b.
  return {b.w * a.x + b.x * a.w + b.y * a.z - b.z * a.y,  //
          b.w * a.y - b.x * a.z + b.y * a.w + b.z * a.x,  //
          b.w * a.z + b.x * a.y - b.y * a.x + b.z * a.w,  //
          b.w * a.w - b.x * a.x - b.y * a.y - b.z * a.z};
}
// Conjugate divided by the squared length; the zero quaternion gives identity.
TGXQuaternion GXQuaternionInverse(const TGXQuaternion& q);
// Unit quaternion; the zero quaternion gives identity.
TGXQuaternion GXQuaternionNormalize(const TGXQuaternion& q);
TGXQuaternion GXQuaternionRotationAxis(const TGXVector3& axis, float angle);
// The rotation part of a row-vector matrix (the upper 3 x 3 must be orthonormal).
TGXQuaternion GXQuaternionRotationMatrix(const TGXMatrix& m);
TGXQuaternion GXQuaternionRotationYawPitchRoll(float yaw, float pitch, float roll);
TGXQuaternion GXQuaternionSlerp(const TGXQuaternion& a, const TGXQuaternion& b, float t);
// Axis and angle of a unit quaternion; the identity gives axis (1, 0, 0) and angle 0.
void GXQuaternionToAxisAngle(const TGXQuaternion& q, TGXVector3& axis, float& angle);

// ---- planes ----
inline float GXPlaneDotCoord(const TGXPlane& p, const TGXVector3& v) { return p.a * v.x + p.b * v.y + p.c * v.z + p.d; }
inline float GXPlaneDotNormal(const TGXPlane& p, const TGXVector3& v) { return p.a * v.x + p.b * v.y + p.c * v.z; }
// The plane through three points, normal (p1 - p0) x (p2 - p0) normalised.
TGXPlane GXPlaneFromPoints(const TGXVector3& p0, const TGXVector3& p1, const TGXVector3& p2);
TGXPlane GXPlaneFromPointNormal(const TGXVector3& point, const TGXVector3& normal);
// Divides all four coefficients by the normal's length; a zero normal gives the zero plane.
TGXPlane GXPlaneNormalize(const TGXPlane& p);
// (a, b, c, d) * M; pass the inverse transpose of a point transform to carry a plane with it.
TGXPlane GXPlaneTransform(const TGXPlane& p, const TGXMatrix& m);
// Where the line through a and b meets the plane; false when it is parallel.
bool GXPlaneIntersectLine(TGXVector3& out, const TGXPlane& p, const TGXVector3& a, const TGXVector3& b);

// Ray against triangle (both faces): true with barycentric u (weight of v1), v (weight of v2) and
// the distance along dir when the ray meets the triangle at a distance >= 0.
bool GXIntersectTri(const TGXVector3& v0, const TGXVector3& v1, const TGXVector3& v2, const TGXVector3& origin,
                    const TGXVector3& dir, float* u, float* v, float* dist);

inline float GXToRadian(float degree) { return degree * (GX_PI / 180.0f); }
inline float GXToDegree(float radian) { return radian * (180.0f / GX_PI); }

}  // namespace gx
