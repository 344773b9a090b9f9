#include "engine/core/GXMath.h"

#include <algorithm>

namespace gx {

bool operator==(const TGXMatrix& a, const TGXMatrix& b) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      if (a.m[r][c] != b.m[r][c]) return false;
  return true;
}

bool GXIsFinite(const TGXMatrix& m) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      if (!std::isfinite(m.m[r][c])) return false;
  return true;
}

// ---- vectors ----

TGXVector4 GXVec4Transform(const TGXVector4& v, const TGXMatrix& m) {
  return {v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0] + v.w * m.m[3][0],
          v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1] + v.w * m.m[3][1],
          v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2] + v.w * m.m[3][2],
          v.x * m.m[0][3] + v.y * m.m[1][3] + v.z * m.m[2][3] + v.w * m.m[3][3]};
}

TGXVector3 GXVec3Hermite(const TGXVector3& p0, const TGXVector3& t0, const TGXVector3& p1, const TGXVector3& t1,
                         float s) {
  float s2 = s * s, s3 = s2 * s;
  float h1 = 2 * s3 - 3 * s2 + 1;
  float h2 = s3 - 2 * s2 + s;
  float h3 = -2 * s3 + 3 * s2;
  float h4 = s3 - s2;
  return p0 * h1 + t0 * h2 + p1 * h3 + t1 * h4;
}

TGXVector3 GXVec3Project(const TGXVector3& v, const TGXViewportRect& vp, const TGXMatrix& projection,
                         const TGXMatrix& view, const TGXMatrix& world) {
  TGXMatrix m = world * view * projection;
  TGXVector3 p = GXVec3TransformCoord(v, m);
  return {vp.X + (1.0f + p.x) * vp.Width * 0.5f, vp.Y + (1.0f - p.y) * vp.Height * 0.5f,
          vp.MinZ + p.z * (vp.MaxZ - vp.MinZ)};
}

static TGXVector3 UnprojectWith(const TGXVector3& v, const TGXViewportRect& vp, const TGXMatrix& inverse) {
  float w = vp.Width ? static_cast<float>(vp.Width) : 1.0f;
  float h = vp.Height ? static_cast<float>(vp.Height) : 1.0f;
  float depth = vp.MaxZ - vp.MinZ;
  TGXVector3 n{2.0f * (v.x - vp.X) / w - 1.0f, 1.0f - 2.0f * (v.y - vp.Y) / h,
               depth != 0 ? (v.z - vp.MinZ) / depth : v.z - vp.MinZ};
  return GXVec3TransformCoord(n, inverse);
}

TGXVector3 GXVec3Unproject(const TGXVector3& v, const TGXViewportRect& vp, const TGXMatrix& projection,
                           const TGXMatrix& view, const TGXMatrix& world) {
  TGXMatrix inv;
  if (!GXMatrixInverse(inv, nullptr, world * view * projection)) return v;
  return UnprojectWith(v, vp, inv);
}

void GXVec3UnprojectArray(TGXVector3* out, const TGXVector3* in, int count, const TGXViewportRect& vp,
                          const TGXMatrix& projection, const TGXMatrix& view, const TGXMatrix& world) {
  TGXMatrix inv;
  bool ok = GXMatrixInverse(inv, nullptr, world * view * projection);
  for (int i = 0; i < count; ++i) out[i] = ok ? UnprojectWith(in[i], vp, inv) : in[i];
}

// ---- matrices ----

TGXMatrix GXMatrixIdentity() { return TGXMatrix(); }

bool GXMatrixIsIdentity(const TGXMatrix& m) { return m == TGXMatrix(); }

TGXMatrix GXMatrixMultiply(const TGXMatrix& a, const TGXMatrix& b) {
  TGXMatrix r;
  for (int i = 0; i < 4; ++i) {
    const float a0 = a.m[i][0], a1 = a.m[i][1], a2 = a.m[i][2], a3 = a.m[i][3];
    for (int j = 0; j < 4; ++j)
      r.m[i][j] = a0 * b.m[0][j] + a1 * b.m[1][j] + a2 * b.m[2][j] + a3 * b.m[3][j];
  }
  return r;
}

TGXMatrix GXMatrixTranspose(const TGXMatrix& m) {
  TGXMatrix r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) r.m[i][j] = m.m[j][i];
  return r;
}

// Cofactor expansion with the 2 x 2 sub-determinants shared between the terms.
namespace {
struct Cofactors {
  float inv[16];
  float det;
};

Cofactors ComputeCofactors(const TGXMatrix& mat) {
  const float* m = &mat.m[0][0];
  Cofactors c;
  float* inv = c.inv;
  float s0 = m[0] * m[5] - m[4] * m[1];
  float s1 = m[0] * m[6] - m[4] * m[2];
  float s2 = m[0] * m[7] - m[4] * m[3];
  float s3 = m[1] * m[6] - m[5] * m[2];
  float s4 = m[1] * m[7] - m[5] * m[3];
  float s5 = m[2] * m[7] - m[6] * m[3];
  float c5 = m[10] * m[15] - m[14] * m[11];
  float c4 = m[9] * m[15] - m[13] * m[11];
  float c3 = m[9] * m[14] - m[13] * m[10];
  float c2 = m[8] * m[15] - m[12] * m[11];
  float c1 = m[8] * m[14] - m[12] * m[10];
  float c0 = m[8] * m[13] - m[12] * m[9];
  c.det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
  inv[0] = m[5] * c5 - m[6] * c4 + m[7] * c3;
  inv[1] = -m[1] * c5 + m[2] * c4 - m[3] * c3;
  inv[2] = m[13] * s5 - m[14] * s4 + m[15] * s3;
  inv[3] = -m[9] * s5 + m[10] * s4 - m[11] * s3;
  inv[4] = -m[4] * c5 + m[6] * c2 - m[7] * c1;
  inv[5] = m[0] * c5 - m[2] * c2 + m[3] * c1;
  inv[6] = -m[12] * s5 + m[14] * s2 - m[15] * s1;
  inv[7] = m[8] * s5 - m[10] * s2 + m[11] * s1;
  inv[8] = m[4] * c4 - m[5] * c2 + m[7] * c0;
  inv[9] = -m[0] * c4 + m[1] * c2 - m[3] * c0;
  inv[10] = m[12] * s4 - m[13] * s2 + m[15] * s0;
  inv[11] = -m[8] * s4 + m[9] * s2 - m[11] * s0;
  inv[12] = -m[4] * c3 + m[5] * c1 - m[6] * c0;
  inv[13] = m[0] * c3 - m[1] * c1 + m[2] * c0;
  inv[14] = -m[12] * s3 + m[13] * s1 - m[14] * s0;
  inv[15] = m[8] * s3 - m[9] * s1 + m[10] * s0;
  return c;
}
}  // namespace

float GXMatrixDeterminant(const TGXMatrix& m) { return ComputeCofactors(m).det; }

bool GXMatrixInverse(TGXMatrix& out, float* determinant, const TGXMatrix& m) {
  Cofactors c = ComputeCofactors(m);
  if (determinant) *determinant = c.det;
  if (c.det == 0.0f || !std::isfinite(c.det)) {
    out = TGXMatrix();
    return false;
  }
  float invDet = 1.0f / c.det;
  TGXMatrix r;
  float* dst = &r.m[0][0];
  for (int i = 0; i < 16; ++i) dst[i] = c.inv[i] * invDet;
  // A determinant near the smallest normal float can still overflow the cofactors' quotient.
  if (!GXIsFinite(r)) {
    out = TGXMatrix();
    return false;
  }
  out = r;
  return true;
}

TGXMatrix GXMatrixScaling(float sx, float sy, float sz) {
  TGXMatrix r;
  r.m[0][0] = sx;
  r.m[1][1] = sy;
  r.m[2][2] = sz;
  return r;
}

TGXMatrix GXMatrixTranslation(float x, float y, float z) {
  TGXMatrix r;
  r.m[3][0] = x;
  r.m[3][1] = y;
  r.m[3][2] = z;
  return r;
}

TGXMatrix GXMatrixRotationX(float angle) {
  float s = std::sin(angle), c = std::cos(angle);
  TGXMatrix r;
  r.m[1][1] = c;
  r.m[1][2] = s;
  r.m[2][1] = -s;
  r.m[2][2] = c;
  return r;
}

TGXMatrix GXMatrixRotationY(float angle) {
  float s = std::sin(angle), c = std::cos(angle);
  TGXMatrix r;
  r.m[0][0] = c;
  r.m[0][2] = -s;
  r.m[2][0] = s;
  r.m[2][2] = c;
  return r;
}

TGXMatrix GXMatrixRotationZ(float angle) {
  float s = std::sin(angle), c = std::cos(angle);
  TGXMatrix r;
  r.m[0][0] = c;
  r.m[0][1] = s;
  r.m[1][0] = -s;
  r.m[1][1] = c;
  return r;
}

TGXMatrix GXMatrixRotationAxis(const TGXVector3& axis, float angle) {
  return GXMatrixRotationQuaternion(GXQuaternionRotationAxis(axis, angle));
}

TGXMatrix GXMatrixRotationQuaternion(const TGXQuaternion& q) {
  const float xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z;
  const float xy = q.x * q.y, xz = q.x * q.z, yz = q.y * q.z;
  const float xw = q.x * q.w, yw = q.y * q.w, zw = q.z * q.w;
  return TGXMatrix(1 - 2 * (yy + zz), 2 * (xy + zw), 2 * (xz - yw), 0,  //
                   2 * (xy - zw), 1 - 2 * (xx + zz), 2 * (yz + xw), 0,  //
                   2 * (xz + yw), 2 * (yz - xw), 1 - 2 * (xx + yy), 0,  //
                   0, 0, 0, 1);
}

TGXMatrix GXMatrixRotationYawPitchRoll(float yaw, float pitch, float roll) {
  return GXMatrixRotationZ(roll) * GXMatrixRotationX(pitch) * GXMatrixRotationY(yaw);
}

TGXMatrix GXMatrixTransformation(const TGXVector3& s, const TGXQuaternion& q, const TGXVector3& t) {
  // S * R * T written out: the rows of R scaled by S, then the translation row.
  TGXMatrix r = GXMatrixRotationQuaternion(q);
  for (int c = 0; c < 3; ++c) {
    r.m[0][c] *= s.x;
    r.m[1][c] *= s.y;
    r.m[2][c] *= s.z;
  }
  r.m[3][0] = t.x;
  r.m[3][1] = t.y;
  r.m[3][2] = t.z;
  return r;
}

bool GXMatrixDecompose(TGXVector3& scale, TGXQuaternion& rotation, TGXVector3& translation, const TGXMatrix& m) {
  translation = {m.m[3][0], m.m[3][1], m.m[3][2]};
  TGXVector3 rows[3];
  for (int i = 0; i < 3; ++i) {
    rows[i] = {m.m[i][0], m.m[i][1], m.m[i][2]};
    scale[i] = GXVec3Length(rows[i]);
  }
  if (GXMatrixDeterminant(m) < 0) scale.x = -scale.x;
  if (scale.x == 0 || scale.y == 0 || scale.z == 0) {
    rotation = {};
    return false;
  }
  TGXMatrix r;
  for (int i = 0; i < 3; ++i)
    for (int c = 0; c < 3; ++c) r.m[i][c] = rows[i][c] / scale[i];
  rotation = GXQuaternionRotationMatrix(r);
  return true;
}

TGXMatrix GXMatrixLookAtLH(const TGXVector3& eye, const TGXVector3& at, const TGXVector3& up) {
  TGXVector3 z = GXVec3Normalize(at - eye);
  TGXVector3 x = GXVec3Normalize(GXVec3Cross(up, z));
  TGXVector3 y = GXVec3Cross(z, x);
  return TGXMatrix(x.x, y.x, z.x, 0,  //
                   x.y, y.y, z.y, 0,  //
                   x.z, y.z, z.z, 0,  //
                   -GXVec3Dot(x, eye), -GXVec3Dot(y, eye), -GXVec3Dot(z, eye), 1);
}

TGXMatrix GXMatrixPerspectiveFovLH(float fovY, float aspect, float zn, float zf) {
  float yScale = 1.0f / std::tan(fovY * 0.5f);
  float xScale = yScale / aspect;
  float q = zf / (zf - zn);
  return TGXMatrix(xScale, 0, 0, 0,  //
                   0, yScale, 0, 0,  //
                   0, 0, q, 1,       //
                   0, 0, -zn * q, 0);
}

TGXMatrix GXMatrixPerspectiveLH(float w, float h, float zn, float zf) {
  float q = zf / (zf - zn);
  return TGXMatrix(2 * zn / w, 0, 0, 0,  //
                   0, 2 * zn / h, 0, 0,  //
                   0, 0, q, 1,           //
                   0, 0, -zn * q, 0);
}

TGXMatrix GXMatrixPerspectiveOffCenterLH(float l, float r, float b, float t, float zn, float zf) {
  float q = zf / (zf - zn);
  return TGXMatrix(2 * zn / (r - l), 0, 0, 0,                  //
                   0, 2 * zn / (t - b), 0, 0,                  //
                   (l + r) / (l - r), (t + b) / (b - t), q, 1,  //
                   0, 0, -zn * q, 0);
}

TGXMatrix GXMatrixOrthoLH(float w, float h, float zn, float zf) {
  return TGXMatrix(2 / w, 0, 0, 0,                //
                   0, 2 / h, 0, 0,                //
                   0, 0, 1 / (zf - zn), 0,        //
                   0, 0, zn / (zn - zf), 1);
}

TGXMatrix GXMatrixOrthoOffCenterLH(float l, float r, float b, float t, float zn, float zf) {
  return TGXMatrix(2 / (r - l), 0, 0, 0,                                      //
                   0, 2 / (t - b), 0, 0,                                      //
                   0, 0, 1 / (zf - zn), 0,                                    //
                   (l + r) / (l - r), (t + b) / (b - t), zn / (zn - zf), 1);
}

TGXMatrix GXMatrixReflect(const TGXPlane& plane) {
  TGXPlane p = GXPlaneNormalize(plane);
  return TGXMatrix(-2 * p.a * p.a + 1, -2 * p.b * p.a, -2 * p.c * p.a, 0,  //
                   -2 * p.a * p.b, -2 * p.b * p.b + 1, -2 * p.c * p.b, 0,  //
                   -2 * p.a * p.c, -2 * p.b * p.c, -2 * p.c * p.c + 1, 0,  //
                   -2 * p.a * p.d, -2 * p.b * p.d, -2 * p.c * p.d, 1);
}

// ---- quaternions ----

TGXQuaternion GXQuaternionInverse(const TGXQuaternion& q) {
  float n = GXQuaternionDot(q, q);
  if (!(n > 0) || !std::isfinite(n)) return {};
  float inv = 1.0f / n;
  return {-q.x * inv, -q.y * inv, -q.z * inv, q.w * inv};
}

TGXQuaternion GXQuaternionNormalize(const TGXQuaternion& q) {
  float len = GXQuaternionLength(q);
  if (!(len > 0) || !std::isfinite(len)) return {};
  float inv = 1.0f / len;
  return {q.x * inv, q.y * inv, q.z * inv, q.w * inv};
}

TGXQuaternion GXQuaternionRotationAxis(const TGXVector3& axis, float angle) {
  TGXVector3 a = GXVec3Normalize(axis);
  float s = std::sin(angle * 0.5f);
  return {a.x * s, a.y * s, a.z * s, std::cos(angle * 0.5f)};
}

TGXQuaternion GXQuaternionRotationMatrix(const TGXMatrix& m) {
  float trace = m.m[0][0] + m.m[1][1] + m.m[2][2] + 1.0f;
  TGXQuaternion q;
  if (trace > 1.0f) {
    float s = 2.0f * std::sqrt(trace);
    q.x = (m.m[1][2] - m.m[2][1]) / s;
    q.y = (m.m[2][0] - m.m[0][2]) / s;
    q.z = (m.m[0][1] - m.m[1][0]) / s;
    q.w = 0.25f * s;
    return q;
  }
  int i = 0;
  if (m.m[1][1] > m.m[0][0]) i = 1;
  if (m.m[2][2] > m.m[i][i]) i = 2;
  // max() keeps the root's argument non-negative for a matrix that is not quite orthonormal.
  if (i == 0) {
    float s = 2.0f * std::sqrt(std::max(0.0f, 1.0f + m.m[0][0] - m.m[1][1] - m.m[2][2]));
    if (s == 0) return {};
    q.x = 0.25f * s;
    q.y = (m.m[0][1] + m.m[1][0]) / s;
    q.z = (m.m[0][2] + m.m[2][0]) / s;
    q.w = (m.m[1][2] - m.m[2][1]) / s;
  } else if (i == 1) {
    float s = 2.0f * std::sqrt(std::max(0.0f, 1.0f + m.m[1][1] - m.m[0][0] - m.m[2][2]));
    if (s == 0) return {};
    q.x = (m.m[0][1] + m.m[1][0]) / s;
    q.y = 0.25f * s;
    q.z = (m.m[1][2] + m.m[2][1]) / s;
    q.w = (m.m[2][0] - m.m[0][2]) / s;
  } else {
    float s = 2.0f * std::sqrt(std::max(0.0f, 1.0f + m.m[2][2] - m.m[0][0] - m.m[1][1]));
    if (s == 0) return {};
    q.x = (m.m[0][2] + m.m[2][0]) / s;
    q.y = (m.m[1][2] + m.m[2][1]) / s;
    q.z = 0.25f * s;
    q.w = (m.m[0][1] - m.m[1][0]) / s;
  }
  return q;
}

TGXQuaternion GXQuaternionRotationYawPitchRoll(float yaw, float pitch, float roll) {
  float sy = std::sin(yaw * 0.5f), cy = std::cos(yaw * 0.5f);
  float sp = std::sin(pitch * 0.5f), cp = std::cos(pitch * 0.5f);
  float sr = std::sin(roll * 0.5f), cr = std::cos(roll * 0.5f);
  return {sy * cp * sr + cy * sp * cr,  //
          sy * cp * cr - cy * sp * sr,  //
          cy * cp * sr - sy * sp * cr,  //
          cy * cp * cr + sy * sp * sr};
}

TGXQuaternion GXQuaternionSlerp(const TGXQuaternion& a, const TGXQuaternion& b, float t) {
  float dot = GXQuaternionDot(a, b);
  float sign = 1.0f;
  if (dot < 0) {
    dot = -dot;
    sign = -1.0f;
  }
  float wa, wb;
  if (1.0f - dot > 1e-6f) {
    float theta = std::acos(std::min(dot, 1.0f));
    float s = std::sin(theta);
    wa = std::sin((1 - t) * theta) / s;
    wb = std::sin(t * theta) / s;
  } else {
    wa = 1 - t;
    wb = t;
  }
  wb *= sign;
  return {wa * a.x + wb * b.x, wa * a.y + wb * b.y, wa * a.z + wb * b.z, wa * a.w + wb * b.w};
}

void GXQuaternionToAxisAngle(const TGXQuaternion& q, TGXVector3& axis, float& angle) {
  TGXQuaternion n = GXQuaternionNormalize(q);
  angle = 2.0f * std::acos(std::clamp(n.w, -1.0f, 1.0f));
  float s = std::sqrt(std::max(0.0f, 1.0f - n.w * n.w));
  axis = s > 1e-7f ? TGXVector3{n.x / s, n.y / s, n.z / s} : TGXVector3{1, 0, 0};
}

// ---- planes ----

TGXPlane GXPlaneFromPoints(const TGXVector3& p0, const TGXVector3& p1, const TGXVector3& p2) {
  TGXVector3 n = GXVec3Normalize(GXVec3Cross(p1 - p0, p2 - p0));
  return {n.x, n.y, n.z, -GXVec3Dot(p0, n)};
}

TGXPlane GXPlaneFromPointNormal(const TGXVector3& point, const TGXVector3& normal) {
  return {normal.x, normal.y, normal.z, -GXVec3Dot(point, normal)};
}

TGXPlane GXPlaneNormalize(const TGXPlane& p) {
  float len = std::sqrt(p.a * p.a + p.b * p.b + p.c * p.c);
  if (!(len > 0) || !std::isfinite(len)) return {};
  float inv = 1.0f / len;
  return {p.a * inv, p.b * inv, p.c * inv, p.d * inv};
}

TGXPlane GXPlaneTransform(const TGXPlane& p, const TGXMatrix& m) {
  TGXVector4 r = GXVec4Transform({p.a, p.b, p.c, p.d}, m);
  return {r.x, r.y, r.z, r.w};
}

bool GXPlaneIntersectLine(TGXVector3& out, const TGXPlane& p, const TGXVector3& a, const TGXVector3& b) {
  TGXVector3 dir = b - a;
  float d = GXPlaneDotNormal(p, dir);
  if (d == 0) return false;
  float t = -GXPlaneDotCoord(p, a) / d;
  out = a + dir * t;
  return true;
}

bool GXIntersectTri(const TGXVector3& v0, const TGXVector3& v1, const TGXVector3& v2, const TGXVector3& origin,
                    const TGXVector3& dir, float* u, float* v, float* dist) {
  TGXVector3 e1 = v1 - v0, e2 = v2 - v0;
  TGXVector3 p = GXVec3Cross(dir, e2);
  float det = GXVec3Dot(e1, p);
  if (det == 0 || !std::isfinite(det)) return false;
  float inv = 1.0f / det;
  TGXVector3 s = origin - v0;
  float bu = GXVec3Dot(s, p) * inv;
  if (bu < 0 || bu > 1) return false;
  TGXVector3 q = GXVec3Cross(s, e1);
  float bv = GXVec3Dot(dir, q) * inv;
  if (bv < 0 || bu + bv > 1) return false;
  float t = GXVec3Dot(e2, q) * inv;
  if (t < 0) return false;
  if (u) *u = bu;
  if (v) *v = bv;
  if (dist) *dist = t;
  return true;
}

}  // namespace gx
