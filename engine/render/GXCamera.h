#pragma once
// Cameras: scene objects that give the view and projection a viewport is drawn with and decide
// which bounding boxes can be seen.
//
// TGXCamera keeps its matrices and frustum planes lazily up to date: every matrix or visibility
// query compares the node's world position and rotation with the copy used last and recomputes
// only what is stale, so moving the camera's node is enough to move the view. The node's world
// values must be up to date (the renderer updates the scene first).
//
// Degenerate input never yields NaN matrices or planes: a node rotation that is zero or not finite
// counts as no rotation (others are normalised), a non-finite node position as the origin, an
// aspect that is not a positive finite number as 1, and a projection that still comes out
// non-finite (field of view 0 or 180 degrees, near = far, ortho height 0) is the identity.

#include <array>
#include <cstdint>

#include "engine/core/GXGeometry.h"
#include "engine/core/GXMath.h"
#include "engine/core/GXSceneNode.h"

namespace gx {

class TGXSceneCamera : public TGXSceneObject {
 public:
  virtual const TGXMatrix& GetViewMatrix() = 0;
  virtual const TGXMatrix& GetProjectionMatrix() = 0;
  virtual const TGXMatrix& GetViewProjectionMatrix() = 0;
  virtual bool IsPointVisible(const TGXVector3& p) = 0;
  // An empty box is always visible.
  virtual bool IsBoxVisible(const TGXBoundingBox& box) = 0;
  // IsBoxVisible of a child's packed world box (TGXSceneNode::ChildExtents) with the same answer,
  // without building a box; an unusable extent (invisible or empty child) counts as visible.
  virtual bool IsExtentVisible(const TGXChildExtent& e) {
    return !e.Usable || IsBoxVisible(BoxFromMinMax({e.Min[0], e.Min[1], e.Min[2]}, {e.Max[0], e.Max[1], e.Max[2]}));
  }
  // The pixel size of the viewport the camera draws; nothing in the base class.
  virtual void SetViewportSize(uint32_t width, uint32_t height) {}

 protected:
  ~TGXSceneCamera() override = default;
};

// Identity for all three matrices; sees everything. Used for viewports without a camera.
class TGXNullCamera : public TGXSceneCamera {
 public:
  const TGXMatrix& GetViewMatrix() override { return FIdentity; }
  const TGXMatrix& GetProjectionMatrix() override { return FIdentity; }
  const TGXMatrix& GetViewProjectionMatrix() override { return FIdentity; }
  bool IsPointVisible(const TGXVector3&) override { return true; }
  bool IsBoxVisible(const TGXBoundingBox&) override { return true; }
  bool IsExtentVisible(const TGXChildExtent&) override { return true; }

 protected:
  ~TGXNullCamera() override = default;

 private:
  TGXMatrix FIdentity;
};

class TGXCamera : public TGXSceneCamera {
 public:
  // 36 degrees, the single nearest to pi / 5.
  static constexpr float DefaultFieldOfView = 0.62831855f;

  // Attaches to the node when one is given (the node then holds the camera); perspective with
  // the default field of view, aspect 1, near plane 1, far plane 5000, ortho height 1.
  explicit TGXCamera(TGXSceneNode* node = nullptr);

  const TGXMatrix& GetViewMatrix() override;
  const TGXMatrix& GetProjectionMatrix() override;
  const TGXMatrix& GetViewProjectionMatrix() override;
  // IsBoxVisible of the box from p - 0.001 to p + 0.001.
  bool IsPointVisible(const TGXVector3& p) override;
  // False when one frustum plane has the whole box on its outer side.
  bool IsBoxVisible(const TGXBoundingBox& box) override;
  bool IsExtentVisible(const TGXChildExtent& e) override;
  // Unless the aspect is locked: aspect := width / height, a height of 0 counting as 1.
  void SetViewportSize(uint32_t width, uint32_t height) override;

  void SetPerspective(float fieldOfView, float nearPlane, float farPlane);
  void SetOrthographic(float nearPlane, float farPlane, float orthoHeight);
  // Each marks the projection stale only when the value differs from the stored one.
  void SetFieldOfView(float value);
  void SetAspect(float value);
  void SetOrthoHeight(float value);
  // In world space; replaces the near plane of the projection while enabled (oblique clipping,
  // for reflections).
  void SetClipPlane(const TGXPlane& value);
  void SetClipPlaneEnabled(bool value);
  // While locked, SetViewportSize leaves the aspect alone.
  void SetAspectLocked(bool value);
  // The part of the projected image (left, bottom, right, top in normalised device coordinates,
  // -1 ... 1 by default) that fills the viewport: a viewport over a part of a target draws that
  // part exactly as the whole image would have it, and the frustum narrows with it. A window that
  // is empty or not finite counts as the whole image.
  void SetProjectionWindow(const TGXVector4& window);
  const TGXVector4& ProjectionWindow() const { return FWindow; }

  bool ViewDirty() const { return FViewDirty; }
  bool ProjectionDirty() const { return FProjectionDirty; }
  bool Perspective() const { return FPerspective; }
  float FieldOfView() const { return FFieldOfView; }
  float Aspect() const { return FAspect; }
  float NearPlane() const { return FNearPlane; }
  float FarPlane() const { return FFarPlane; }
  float OrthoHeight() const { return FOrthoHeight; }
  const TGXPlane& ClipPlane() const { return FClipPlane; }
  bool ClipPlaneEnabled() const { return FClipPlaneEnabled; }
  bool AspectLocked() const { return FAspectLocked; }

  // Left, right, top, bottom, near, far: normalised, normals pointing out of the view volume (a
  // point is outside a plane when its plane value is positive). Brought up to date first.
  const std::array<TGXPlane, 6>& GetFrustumPlanes();

 protected:
  ~TGXCamera() override = default;

 private:
  void Update();

  bool FViewDirty = true;
  bool FProjectionDirty = true;
  TGXVector3 FCachedPosition;
  TGXQuaternion FCachedRotation;
  bool FPerspective = true;
  float FFieldOfView = DefaultFieldOfView;
  float FAspect = 1;
  float FNearPlane = 1;
  float FFarPlane = 5000;
  float FOrthoHeight = 1;
  std::array<TGXPlane, 6> FFrustumPlanes{};
  TGXPlane FClipPlane;
  bool FClipPlaneEnabled = false;
  bool FAspectLocked = false;
  TGXVector4 FWindow{-1, -1, 1, 1};
  TGXMatrix FViewMatrix;
  TGXMatrix FProjectionMatrix;
  TGXMatrix FViewProjectionMatrix;
};

}  // namespace gx
