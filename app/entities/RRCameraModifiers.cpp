#include "app/entities/RRCameraModifiers.h"

#include <algorithm>
#include <cmath>

#include "app/RREntityManager.h"
#include "app/RRInput.h"
#include "app/entities/RRCamera.h"

namespace rr {

namespace {

constexpr float kKeyTurn = 0.03f;
constexpr float kMouseTurn = 0.002f;

gx::TGXVector3 Flatten(const gx::TGXVector3& v) { return {v.x, 0, v.z}; }

}  // namespace

gx::TGXQuaternion RRTopDownRotation() {
  const float h = static_cast<float>(M_PI / 4);
  return {std::sin(h), 0, 0, std::cos(h)};
}

// ---- base ----

TRRCameraModifier::TRRCameraModifier(TRRCamera& camera) : FCamera(camera) {}

TRREntityManager* TRRCameraModifier::EntityManager() const {
  return dynamic_cast<TRREntityManager*>(FCamera.Manager());
}

IRRProjectHost* TRRCameraModifier::Host() const {
  TRREntityManager* m = EntityManager();
  return m ? &m->Project() : nullptr;
}

int64_t TRRCameraModifier::NextStamp() {
  IRRProjectHost* host = Host();
  const int64_t counter = host ? host->FrameCounter() : 0;
  FLastStamp = std::max(counter + 1, FLastStamp + 1);
  return FLastStamp;
}

float TRRCameraModifier::Height() const { return FCamera.WorldPosition().y; }

// ---- free camera ----

TRRFreeCameraModifier::TRRFreeCameraModifier(TRRCamera& camera) : TRRCameraModifier(camera) {}

TRRFreeCameraModifier::~TRRFreeCameraModifier() {
  if (FCaptured)
    if (IRRProjectHost* host = Host()) host->ReleaseMouse();
}

gx::TGXVector3 TRRFreeCameraModifier::HorizontalAxis(const gx::TGXVector3& axis) const {
  gx::TGXVector3 flat = Flatten(axis);
  if (gx::GXVec3LengthSq(flat) < 0.0001f) flat = Flatten(Camera().UpAxis());
  return gx::GXVec3Normalize(flat);
}

void TRRFreeCameraModifier::ComputePivot() {
  if (TRREntityManager* manager = EntityManager())
    FPivot = RRCameraRotationPivot(Camera(), *manager, false);
  else
    FPivot = Camera().WorldPosition() + Camera().ForwardAxis() * 100.0f;
}

void TRRFreeCameraModifier::Pan(float dx, float dz) {
  TRRCamera& c = Camera();
  const gx::TGXVector3 move = HorizontalAxis(c.RightAxis()) * dx + HorizontalAxis(c.ForwardAxis()) * dz;
  c.Translate(move, gx::TGXTransformSpace::World);
  c.Update(false);
}

void TRRFreeCameraModifier::Forward(float distance) {
  TRRCamera& c = Camera();
  c.Translate(gx::GXVec3Normalize(c.ForwardAxis()) * distance, gx::TGXTransformSpace::World);
  c.Update(false);
}

void TRRFreeCameraModifier::TurnAboutRight(float angle) {
  TRRCamera& c = Camera();
  c.RotateAround(gx::GXQuaternionRotationAxis(gx::GXVec3Normalize(c.RightAxis()), angle), FPivot,
                 gx::TGXTransformSpace::World);
  c.Update(false);
}

void TRRFreeCameraModifier::TurnAboutUp(float angle) {
  TRRCamera& c = Camera();
  c.RotateAround(gx::GXQuaternionRotationAxis({0, 1, 0}, angle), FPivot, gx::TGXTransformSpace::World);
  c.Update(false);
}

bool TRRFreeCameraModifier::KeyEvent(gx::TGXRenderTarget*, uint32_t message, const TRRInputRecord&,
                                     int32_t key) {
  if (message != RRMsgKeyDown) return false;
  const float h = Height();
  switch (key) {
    case RRVKAdd:
    case RRVKSubtract: {
      const float s = std::clamp(h * 0.07f, 0.1f, 50.0f);
      Forward(key == RRVKAdd ? s : -s);
      return true;
    }
    case RRVKLeft:
    case RRVKRight:
    case RRVKUp:
    case RRVKDown: {
      const float s = std::clamp(h * 0.015f, 0.02f, 10.0f);
      if (key == RRVKLeft)
        Pan(-s, 0);
      else if (key == RRVKRight)
        Pan(s, 0);
      else if (key == RRVKUp)
        Pan(0, s);
      else
        Pan(0, -s);
      return true;
    }
    case RRVKKeyA:
    case RRVKKeyY:
      ComputePivot();
      TurnAboutRight(key == RRVKKeyA ? kKeyTurn : -kKeyTurn);
      return true;
    case RRVKKeyQ:
    case RRVKKeyW:
      ComputePivot();
      TurnAboutUp(key == RRVKKeyQ ? kKeyTurn : -kKeyTurn);
      return true;
    default:
      return false;
  }
}

bool TRRFreeCameraModifier::MouseEvent(gx::TGXRenderTarget*, uint32_t message, int32_t,
                                       const TRRInputRecord& r, uint32_t) {
  IRRProjectHost* host = Host();
  auto capture = [&] {
    if (!FCaptured && host) host->CaptureMouse();
    FCaptured = true;
  };
  auto release = [&] {
    if (FCaptured && host) host->ReleaseMouse();
    FCaptured = false;
  };
  switch (message) {
    case RRMsgRButtonDown:
      capture();
      FRightStamp = NextStamp();
      FLastX = r.X, FLastY = r.Y;
      return true;
    case RRMsgRButtonUp:
      if (FRightStamp == 0) return false;
      FRightStamp = 0;
      if (FMiddleStamp != 0)
        ComputePivot();
      else
        release();
      return true;
    case RRMsgMButtonDown:
      capture();
      FMiddleStamp = NextStamp();
      FLastX = r.X, FLastY = r.Y;
      ComputePivot();
      return true;
    case RRMsgMButtonUp:
      if (FMiddleStamp == 0) return false;
      FMiddleStamp = 0;
      if (FRightStamp == 0) release();
      return true;
    case RRMsgMouseMove: {
      bool handled = false;
      const float h = Height();
      if (FRightStamp != 0 && FRightStamp > FMiddleStamp) {
        const float s = std::clamp(h * 0.0015f, 0.002f, 1.0f);
        Pan(static_cast<float>(r.X - FLastX) * s, static_cast<float>(FLastY - r.Y) * s);
        handled = true;
      } else if (FMiddleStamp != 0 && FMiddleStamp > FRightStamp) {
        TurnAboutUp(static_cast<float>(FLastX - r.X) * kMouseTurn);
        TurnAboutRight(static_cast<float>(FLastY - r.Y) * kMouseTurn);
        handled = true;
      }
      FLastX = r.X, FLastY = r.Y;
      return handled;
    }
    case RRMsgMouseWheel: {
      if (FMiddleStamp != 0) return false;
      Forward(static_cast<float>(r.WheelDelta) * std::clamp(Height() * 0.0007f, 0.001f, 0.5f));
      return true;
    }
    default:
      return false;
  }
}

// ---- top-down cameras ----

TRR2DCameraModifier::TRR2DCameraModifier(TRRCamera& camera) : TRRCameraModifier(camera) {
  ResetOrientation();
}

TRR2DCameraModifier::~TRR2DCameraModifier() {
  IRRProjectHost* host = Host();
  if (FCaptured && host) host->ReleaseMouse();
  TRRCamera& self = Camera();
  TRREntityManager* manager = EntityManager();
  if (!manager || self.EntityDestroying()) return;
  const uint8_t partnerType = self.Type() == RRCameraTopDown ? RRCameraTechnical : RRCameraTopDown;
  for (TRREntity* e : manager->Cameras()) {
    auto* other = e && e->Is<TRRCamera>() ? static_cast<TRRCamera*>(e) : nullptr;
    if (!other || other == &self || other->Type() != partnerType || other->EntityDestroying()) continue;
    self.Update(false);
    other->SetWorldPosition(self.WorldPosition());
    other->Update(false);
    break;
  }
}

void TRR2DCameraModifier::ResetOrientation() {
  TRRCamera& c = Camera();
  c.Update(false);
  const gx::TGXQuaternion q = RRTopDownRotation();
  if (!(c.WorldRotation() == q)) c.SetWorldRotation(q);
  c.Update(false);
}

void TRR2DCameraModifier::Tick() { ResetOrientation(); }

void TRR2DCameraModifier::MoveHeight(float dy) {
  TRRCamera& c = Camera();
  gx::TGXVector3 p = c.WorldPosition();
  p.y = std::clamp(p.y + dy, RRTopDownMinHeight, RRTopDownMaxHeight);
  if (!std::isfinite(p.y)) p.y = RRTopDownMinHeight;
  c.SetWorldPosition(p);
  c.Update(false);
  if (IRRProjectHost* host = Host()) host->RulersChanged();
}

void TRR2DCameraModifier::Pan(float dx, float dz) {
  TRRCamera& c = Camera();
  const gx::TGXVector3 right = c.RightAxis();
  // The signed angle from world X to the camera's right axis, about world Y.
  const float angle = std::atan2(-right.z, right.x);
  const gx::TGXVector3 move = gx::GXVec3TransformNormal({dx, 0, dz}, gx::GXMatrixRotationY(angle));
  c.Translate(move, gx::TGXTransformSpace::World);
  c.Update(false);
  if (IRRProjectHost* host = Host()) host->RulersChanged();
}

bool TRR2DCameraModifier::KeyEvent(gx::TGXRenderTarget*, uint32_t message, const TRRInputRecord&,
                                   int32_t key) {
  if (message != RRMsgKeyDown) return false;
  const float h = Height();
  switch (key) {
    case RRVKAdd:
    case RRVKSubtract: {
      const float c = h * 0.04f + 0.01f;
      MoveHeight(key == RRVKAdd ? -c : c);
      return true;
    }
    case RRVKLeft:
    case RRVKRight:
    case RRVKUp:
    case RRVKDown: {
      const float c = (h * 0.3f + 2) * 0.1f;
      if (key == RRVKLeft)
        Pan(-c, 0);
      else if (key == RRVKRight)
        Pan(c, 0);
      else if (key == RRVKUp)
        Pan(0, c);
      else
        Pan(0, -c);
      return true;
    }
    default:
      return false;
  }
}

bool TRR2DCameraModifier::MouseEvent(gx::TGXRenderTarget*, uint32_t message, int32_t, const TRRInputRecord& r,
                                     uint32_t) {
  IRRProjectHost* host = Host();
  switch (message) {
    case RRMsgRButtonDown:
      if (!FCaptured && host) host->CaptureMouse();
      FCaptured = true;
      FRightStamp = NextStamp();
      FLastX = r.X, FLastY = r.Y;
      return true;
    case RRMsgRButtonUp:
      if (FRightStamp == 0) return false;
      FRightStamp = 0;
      if (FCaptured && host) host->ReleaseMouse();
      FCaptured = false;
      return true;
    case RRMsgMouseMove: {
      bool handled = false;
      if (FRightStamp != 0) {
        const float c = (Height() * 0.3f + 2) * 0.01f;
        Pan(static_cast<float>(r.X - FLastX) * c, static_cast<float>(FLastY - r.Y) * c);
        handled = true;
      }
      FLastX = r.X, FLastY = r.Y;
      return handled;
    }
    case RRMsgMouseWheel:
      MoveHeight(-(static_cast<float>(r.WheelDelta) * (Height() * 0.0004f + 0.0001f)));
      return true;
    default:
      return false;
  }
}

// ---- following a target ----

TRRCameraLinkModifier::TRRCameraLinkModifier(TRRCamera& camera, TCallback callback)
    : TRRCameraModifier(camera), FCallback(std::move(callback)) {}

bool TRRCameraLinkModifier::KeyEvent(gx::TGXRenderTarget*, uint32_t message, const TRRInputRecord&,
                                     int32_t key) {
  if (message != RRMsgKeyDown || key != RRVKEscape) return false;
  if (FCallback) FCallback(nullptr, true);
  return true;
}

bool TRRCameraLinkModifier::MouseEvent(gx::TGXRenderTarget*, uint32_t message, int32_t, const TRRInputRecord&,
                                       uint32_t) {
  if (message != RRMsgLButtonDown && message != RRMsgLButtonDblClk) return false;
  TRREntityManager* manager = EntityManager();
  TRREntity* picked = manager ? manager->HoveredEntity() : nullptr;
  if (picked && picked != &Camera()) {
    Camera().SetLookAtTarget(picked);
    if (FCallback) FCallback(picked, false);
  }
  return true;
}

}  // namespace rr
