#include "engine/render/GXCamera.h"

#include <cmath>
#include <cstring>

namespace gx {

namespace {

// Bitwise comparison: a NaN equals itself here, so a node stuck on a NaN value does not make the
// camera recompute on every query.
template <class T>
bool SameBits(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

float Sign(float v) { return v > 0 ? 1.0f : (v < 0 ? -1.0f : 0.0f); }

bool IsFinite(const TGXPlane& p) {
  return std::isfinite(p.a) && std::isfinite(p.b) && std::isfinite(p.c) && std::isfinite(p.d);
}

// The negated sum or difference of two columns, normalised; a plane that cannot be normalised
// to finite values is the zero plane, which rejects nothing.
TGXPlane FrustumPlane(const TGXMatrix& m, int column, float sign) {
  TGXPlane p(-(m.m[0][3] + sign * m.m[0][column]), -(m.m[1][3] + sign * m.m[1][column]),
             -(m.m[2][3] + sign * m.m[2][column]), -(m.m[3][3] + sign * m.m[3][column]));
  p = GXPlaneNormalize(p);
  return IsFinite(p) ? p : TGXPlane();
}

}  // namespace

TGXCamera::TGXCamera(TGXSceneNode* node) {
  if (node) node->AttachObject(this);
}

void TGXCamera::Update() {
  TGXVector3 position;
  TGXQuaternion rotation;
  if (TGXSceneNode* node = Node()) {
    position = node->WorldPosition();
    rotation = node->WorldRotation();
  }

  bool viewChanged = false;
  if (FViewDirty || !SameBits(position, FCachedPosition) || !SameBits(rotation, FCachedRotation)) {
    FCachedPosition = position;
    FCachedRotation = rotation;
    // A rotation that is zero or not finite has no direction; the camera then looks along +z.
    TGXQuaternion q = GXIsFinite(rotation) ? GXQuaternionNormalize(rotation) : TGXQuaternion();
    if (!GXIsFinite(position)) position = TGXVector3();
    // The inverse of a unit rotation is its conjugate; negating w gives the same rotation.
    FViewMatrix = GXMatrixRotationQuaternion({q.x, q.y, q.z, -q.w});
    for (int c = 0; c < 3; ++c)
      FViewMatrix.m[3][c] = -(position.x * FViewMatrix.m[0][c] + position.y * FViewMatrix.m[1][c] +
                              position.z * FViewMatrix.m[2][c]);
    viewChanged = true;
  }

  bool projectionChanged = false;
  // The clip plane is carried into view space, so an oblique projection follows the view.
  if (FProjectionDirty || (viewChanged && FClipPlaneEnabled)) {
    const float aspect = std::isfinite(FAspect) && FAspect > 0 ? FAspect : 1.0f;
    FProjectionMatrix = FPerspective
                            ? GXMatrixPerspectiveFovLH(FFieldOfView, aspect, FNearPlane, FFarPlane)
                            : GXMatrixOrthoLH(aspect * FOrthoHeight, FOrthoHeight, FNearPlane, FFarPlane);
    if (!GXIsFinite(FProjectionMatrix)) FProjectionMatrix = TGXMatrix();
    if (FClipPlaneEnabled) {
      TGXMatrix inverse;
      std::optional<TGXPlane> c = TransformPlane(FClipPlane, FViewMatrix);
      if (c && GXMatrixInverse(inverse, nullptr, FProjectionMatrix)) {
        const TGXVector4 q = GXVec4Transform({Sign(c->a), Sign(c->b), 1, 1}, inverse);
        const float dot = c->a * q.x + c->b * q.y + c->c * q.z + c->d * q.w;
        if (dot != 0 && std::isfinite(dot)) {
          const float column[4] = {c->a / dot, c->b / dot, c->c / dot, c->d / dot};
          if (std::isfinite(column[0]) && std::isfinite(column[1]) && std::isfinite(column[2]) &&
              std::isfinite(column[3]))
            for (int r = 0; r < 4; ++r) FProjectionMatrix.m[r][2] = column[r];
        }
      }
    }
    // A part of the image: x and y of that part stretched over -1 ... 1 (z and w stay).
    const TGXVector4& w = FWindow;
    if (w.z > w.x && w.w > w.y && (w.x != -1 || w.y != -1 || w.z != 1 || w.w != 1)) {
      const float sx = 2 / (w.z - w.x), ox = -(w.x + w.z) / (w.z - w.x);
      const float sy = 2 / (w.w - w.y), oy = -(w.y + w.w) / (w.w - w.y);
      for (int r = 0; r < 4; ++r) {
        FProjectionMatrix.m[r][0] = sx * FProjectionMatrix.m[r][0] + ox * FProjectionMatrix.m[r][3];
        FProjectionMatrix.m[r][1] = sy * FProjectionMatrix.m[r][1] + oy * FProjectionMatrix.m[r][3];
      }
    }
    projectionChanged = true;
  }

  if (viewChanged || projectionChanged) {
    FViewProjectionMatrix = FViewMatrix * FProjectionMatrix;
    const TGXMatrix& m = FViewProjectionMatrix;
    FFrustumPlanes[GXFrustumLeft] = FrustumPlane(m, 0, 1);
    FFrustumPlanes[GXFrustumRight] = FrustumPlane(m, 0, -1);
    FFrustumPlanes[GXFrustumTop] = FrustumPlane(m, 1, -1);
    FFrustumPlanes[GXFrustumBottom] = FrustumPlane(m, 1, 1);
    FFrustumPlanes[GXFrustumNear] = FrustumPlane(m, 2, 1);
    FFrustumPlanes[GXFrustumFar] = FrustumPlane(m, 2, -1);
  }
  FViewDirty = false;
  FProjectionDirty = false;
}

const TGXMatrix& TGXCamera::GetViewMatrix() {
  Update();
  return FViewMatrix;
}

const TGXMatrix& TGXCamera::GetProjectionMatrix() {
  Update();
  return FProjectionMatrix;
}

const TGXMatrix& TGXCamera::GetViewProjectionMatrix() {
  Update();
  return FViewProjectionMatrix;
}

const std::array<TGXPlane, 6>& TGXCamera::GetFrustumPlanes() {
  Update();
  return FFrustumPlanes;
}

bool TGXCamera::IsBoxVisible(const TGXBoundingBox& box) {
  if (box.Empty) return true;
  Update();
  const TGXVector3& mn = box.Min();
  const TGXVector3& mx = box.Max();
  for (const TGXPlane& p : FFrustumPlanes) {
    // The corner deepest inside the plane; if even that one is outside, the whole box is.
    const TGXVector3 corner(p.a >= 0 ? mn.x : mx.x, p.b >= 0 ? mn.y : mx.y, p.c >= 0 ? mn.z : mx.z);
    if (GXPlaneDotCoord(p, corner) > 0) return false;
  }
  return true;
}

bool TGXCamera::IsExtentVisible(const TGXChildExtent& e) {
  if (!e.Usable) return true;
  Update();
  // The same deepest-corner test as IsBoxVisible, on the packed copy of the same box.
  for (const TGXPlane& p : FFrustumPlanes) {
    const TGXVector3 corner(p.a >= 0 ? e.Min[0] : e.Max[0], p.b >= 0 ? e.Min[1] : e.Max[1],
                            p.c >= 0 ? e.Min[2] : e.Max[2]);
    if (GXPlaneDotCoord(p, corner) > 0) return false;
  }
  return true;
}

bool TGXCamera::IsPointVisible(const TGXVector3& p) {
  const TGXVector3 e(0.001f, 0.001f, 0.001f);
  return IsBoxVisible(BoxFromMinMax(p - e, p + e));
}

void TGXCamera::SetViewportSize(uint32_t width, uint32_t height) {
  if (FAspectLocked) return;
  // A viewport of height 0 must not give an infinite aspect; a width of 0 gives aspect 0, which
  // the projection treats as 1.
  SetAspect(static_cast<float>(width) / static_cast<float>(height ? height : 1));
}

void TGXCamera::SetPerspective(float fieldOfView, float nearPlane, float farPlane) {
  FFieldOfView = fieldOfView;
  FNearPlane = nearPlane;
  FFarPlane = farPlane;
  FPerspective = true;
  FProjectionDirty = true;
}

void TGXCamera::SetOrthographic(float nearPlane, float farPlane, float orthoHeight) {
  FNearPlane = nearPlane;
  FFarPlane = farPlane;
  FOrthoHeight = orthoHeight;
  FPerspective = false;
  FProjectionDirty = true;
}

void TGXCamera::SetFieldOfView(float value) {
  if (SameBits(value, FFieldOfView)) return;
  FFieldOfView = value;
  FProjectionDirty = true;
}

void TGXCamera::SetAspect(float value) {
  if (SameBits(value, FAspect)) return;
  FAspect = value;
  FProjectionDirty = true;
}

void TGXCamera::SetOrthoHeight(float value) {
  if (SameBits(value, FOrthoHeight)) return;
  FOrthoHeight = value;
  FProjectionDirty = true;
}

void TGXCamera::SetClipPlane(const TGXPlane& value) {
  if (SameBits(value, FClipPlane)) return;
  FClipPlane = value;
  FProjectionDirty = true;
}

void TGXCamera::SetClipPlaneEnabled(bool value) {
  if (value == FClipPlaneEnabled) return;
  FClipPlaneEnabled = value;
  FProjectionDirty = true;
}

void TGXCamera::SetProjectionWindow(const TGXVector4& window) {
  TGXVector4 w = window;
  if (!(std::isfinite(w.x) && std::isfinite(w.y) && std::isfinite(w.z) && std::isfinite(w.w)) || !(w.z > w.x) ||
      !(w.w > w.y))
    w = {-1, -1, 1, 1};
  if (SameBits(w, FWindow)) return;
  FWindow = w;
  FProjectionDirty = true;
}

void TGXCamera::SetAspectLocked(bool value) {
  if (value == FAspectLocked) return;
  FAspectLocked = value;
  FProjectionDirty = true;
}

}  // namespace gx
