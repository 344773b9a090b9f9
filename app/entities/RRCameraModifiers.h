#pragma once
// Camera controllers: they turn the 3D view's keyboard and mouse input into camera motion. A
// camera owns its controller exactly while it is active (TRRCamera::SetActive) and the entity
// manager keeps it apart from its modifier stack: it hears input only after the stack and the
// selection handling declined it, and its Tick runs after the stack's.
//
// Step sizes follow the camera's world height h (cm), so the same key moves a camera over a
// whole layout and one close to a figure sensibly:
//   free camera: forward clamp(0.07 h, 0.1, 50), arrow pan clamp(0.015 h, 0.02, 10), mouse pan
//                clamp(0.0015 h, 0.002, 1) per pixel, wheel clamp(0.0007 h, 0.001, 0.5) per unit,
//                turns 0.03 rad per key and 0.002 rad per pixel about the rotation pivot;
//   top-down:    height step 0.04 h + 0.01 (kept within 10 ... 1000), pan (0.3 h + 2) * 0.1 per
//                key and * 0.01 per pixel, wheel 0.0004 h + 0.0001 per unit.
// Of two held mouse buttons the one pressed later decides between panning and orbiting; presses
// are stamped from the frame counter and are strictly increasing even within one frame.
//
// The host (IRRProjectHost) captures and releases the mouse and redraws the rulers.

#include <cstdint>
#include <functional>

#include "app/entities/RREntityModifier.h"
#include "engine/core/GXMath.h"

namespace rr {

class IRRProjectHost;
class TRRCamera;
class TRREntity;
class TRREntityManager;

// Numeric-pad keys and the letters the controllers use.
inline constexpr int32_t RRVKAdd = 107;
inline constexpr int32_t RRVKSubtract = 109;
inline constexpr int32_t RRVKKeyA = 'A';
inline constexpr int32_t RRVKKeyQ = 'Q';
inline constexpr int32_t RRVKKeyW = 'W';
inline constexpr int32_t RRVKKeyY = 'Y';

// The base of the three: the camera, and the manager and host it reaches through the camera.
class TRRCameraModifier : public TRREntityModifier {
 public:
  explicit TRRCameraModifier(TRRCamera& camera);
  TRRCamera& Camera() const { return FCamera; }

 protected:
  TRREntityManager* EntityManager() const;
  IRRProjectHost* Host() const;
  // A stamp later than every earlier one: the frame counter + 1, or one more than the last.
  int64_t NextStamp();
  // The camera's world height.
  float Height() const;

 private:
  TRRCamera& FCamera;
  int64_t FLastStamp = 0;
};

class TRRFreeCameraModifier : public TRRCameraModifier {
 public:
  explicit TRRFreeCameraModifier(TRRCamera& camera);
  ~TRRFreeCameraModifier() override;

  bool KeyEvent(gx::TGXRenderTarget* view, uint32_t message, const TRRInputRecord& record,
                int32_t key) override;
  bool MouseEvent(gx::TGXRenderTarget* view, uint32_t message, int32_t phase, const TRRInputRecord& record,
                  uint32_t flags) override;

  // 0 while the button is up.
  int64_t RightStamp() const { return FRightStamp; }
  int64_t MiddleStamp() const { return FMiddleStamp; }
  const gx::TGXVector3& Pivot() const { return FPivot; }

  // The camera's axis with Y set to 0 and normalised; the flattened up axis when the axis is
  // (nearly) vertical.
  gx::TGXVector3 HorizontalAxis(const gx::TGXVector3& axis) const;

 private:
  void ComputePivot();
  void Pan(float dx, float dz);
  void Forward(float distance);
  void TurnAboutRight(float angle);
  void TurnAboutUp(float angle);

  int64_t FRightStamp = 0;
  int64_t FMiddleStamp = 0;
  bool FCaptured = false;
  int32_t FLastX = 0, FLastY = 0;
  gx::TGXVector3 FPivot{0, 0, 0};
};

class TRR2DCameraModifier : public TRRCameraModifier {
 public:
  // Looks straight down at once, the view size set to the height.
  explicit TRR2DCameraModifier(TRRCamera& camera);
  // Hands the place to the other top-down camera (type 3 <-> 4) so that switching between the
  // two keeps it; never while either is being destroyed.
  ~TRR2DCameraModifier() override;

  bool KeyEvent(gx::TGXRenderTarget* view, uint32_t message, const TRRInputRecord& record,
                int32_t key) override;
  bool MouseEvent(gx::TGXRenderTarget* view, uint32_t message, int32_t phase, const TRRInputRecord& record,
                  uint32_t flags) override;
  // Looks straight down again and keeps the view size at the height.
  void Tick() override;

  int64_t RightStamp() const { return FRightStamp; }

 private:
  void ResetOrientation();
  void Pan(float dx, float dz);
  void MoveHeight(float dy);

  int64_t FRightStamp = 0;
  bool FCaptured = false;
  int32_t FLastX = 0, FLastY = 0;
};

// Following a target: a left click (or double click) on an entity other than the camera makes it
// the camera's look-at target; Escape cancels. The callback hears the picked entity or the
// cancellation. Every click is consumed.
class TRRCameraLinkModifier : public TRRCameraModifier {
 public:
  using TCallback = std::function<void(TRREntity* picked, bool cancelled)>;
  TRRCameraLinkModifier(TRRCamera& camera, TCallback callback);

  bool KeyEvent(gx::TGXRenderTarget* view, uint32_t message, const TRRInputRecord& record,
                int32_t key) override;
  bool MouseEvent(gx::TGXRenderTarget* view, uint32_t message, int32_t phase, const TRRInputRecord& record,
                  uint32_t flags) override;

 private:
  TCallback FCallback;
};

// The orientation of a camera that looks straight down: forward (0, -1, 0), up (0, 0, 1).
gx::TGXQuaternion RRTopDownRotation();

}  // namespace rr
