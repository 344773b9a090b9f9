#pragma once
// Previews of single objects (the catalogue's balloon and small pictures): a small scene with an
// entity manager of its own that holds one object made from a description, drawn on the running
// render core into an offscreen surface through an orbit camera.
//
// The orbit camera looks at the centre of the object's box from a distance between r and 6 r
// (r: half the box's diagonal, at least 1), starting at 3.3 r; every frame the distance goes
// half-way to its goal. A drag with the left button turns it (0.01 rad per pixel, the pitch kept
// between 0.03 and about 88 degrees), the wheel moves the goal by 0.01 per unit of delta.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/RRBareProjectHost.h"
#include "app/RREntityManager.h"
#include "engine/core/GXGeometry.h"
#include "engine/core/GXMath.h"
#include "engine/render/GXRenderWindow.h"

namespace gx {
class TGXCamera;
class TGXSceneNode;
}  // namespace gx

namespace rr {

class TRREntity;
class TRREntityDescription;
class TRRProjectRenderWindow;

inline constexpr float RRPreviewPitchMin = 0.03f, RRPreviewPitchMax = 1.5407963f;

class TRRPreviewCamera {
 public:
  explicit TRRPreviewCamera(float fieldOfView = 0.5235988f, float pitch = 0.5f, float yaw = 0.5f);

  // A new object to look at: radius and distances start anew (an empty or non-finite box is a
  // unit box at the origin).
  void SetTarget(const gx::TGXBoundingBox& box);
  // One frame: the distance half-way to its goal.
  void Step();
  void Press(int32_t x, int32_t y);
  void Drag(int32_t x, int32_t y);
  void Wheel(int32_t delta);

  gx::TGXVector3 Centre() const { return FCentre; }
  gx::TGXVector3 Eye() const;
  float Radius() const { return FRadius; }
  float Distance() const { return FDistance; }
  float Goal() const { return FGoal; }
  float Pitch() const { return FPitch; }
  float Yaw() const { return FYaw; }
  float FieldOfView() const { return FFieldOfView; }
  // Near and far plane: the near plane never reaches the eye or behind it.
  float NearPlane() const;
  float FarPlane() const { return 3 * FRadius + FDistance; }

 private:
  float FFieldOfView;
  float FPitch, FYaw;
  float FPressPitch = 0, FPressYaw = 0;
  int32_t FPressX = 0, FPressY = 0;
  gx::TGXVector3 FCentre{0, 0, 0};
  float FRadius = 1, FDistance = 3.3f, FGoal = 3.3f;
};

class TRRPreviewRenderWindow {
 public:
  // Needs a live render core (EInvalidCall otherwise, as every render window).
  TRRPreviewRenderWindow(uint32_t width, uint32_t height, float fieldOfView = 0.5235988f);
  ~TRRPreviewRenderWindow();
  TRRPreviewRenderWindow(const TRRPreviewRenderWindow&) = delete;
  TRRPreviewRenderWindow& operator=(const TRRPreviewRenderWindow&) = delete;

  // Shows a copy of the description at the origin without turn (null: nothing). False when it
  // makes no entity (unknown kind or a failure while building it); the preview is empty then.
  bool Show(const TRREntityDescription* description);
  // Shows several objects made in order from descriptions whose IDs (and the references between
  // them) the caller set, looked at together; false when one of them makes no entity.
  // prepare (when given) sees every object once all are made (a vehicle placed on its track).
  bool ShowScene(const std::vector<std::unique_ptr<TRREntityDescription>>& descriptions,
                 const std::function<void(TRREntity&)>& prepare = {});
  // The object shown (the last one of a scene).
  TRREntity* Object() const { return FObjects.empty() ? nullptr : FObjects.back(); }
  TRRPreviewCamera& Camera() { return FOrbit; }

  // Steps the camera and draws the frame (background 0xAARRGGBB).
  void RenderFrame(uint32_t background = 0xFFDCE6F0);
  // The last frame, top row first (empty before the first).
  std::vector<uint32_t> Frame() const;
  uint32_t Width() const { return FWidth; }
  uint32_t Height() const { return FHeight; }

 private:
  void Clear();
  uint32_t FWidth, FHeight;
  gx::TGXOffscreenSurface FSurface;
  TRRBareProjectHost<TRRScriptedUIService> FHost;
  gx::TGXRef<TRRProjectRenderWindow> FWindow;
  std::unique_ptr<TRREntityManager> FManager;
  gx::TGXSceneNode* FCameraNode = nullptr;
  gx::TGXCamera* FCamera = nullptr;  // held by its node
  TRRPreviewCamera FOrbit;
  std::vector<TRREntity*> FObjects;
};

}  // namespace rr
