#include "app/entities/RRController.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "app/RREntityManager.h"
#include "app/RRInput.h"
#include "app/entities/RREntityRegistry.h"
#include "app/entities/RRSignal.h"
#include "app/entities/RRTrackVehicle.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackEvents.h"
#include "engine/core/GXSerialization.h"
#include "engine/render/GXAnimation.h"

namespace rr {

namespace {

float Finite(float v) { return std::isfinite(v) ? v : 0.0f; }
float Unit(float v) { return std::clamp(Finite(v), 0.0f, 1.0f); }

// The locomotive speed a regulator spans: -75..75 maps to 0..1.
constexpr float kFullSpeed = 75.0f;

TRRTrackVehicle* Locomotive(TRREntity* e) {
  auto* v = dynamic_cast<TRRTrackVehicle*>(e);
  return v && v->HasEngine() ? v : nullptr;
}

TRRTrack* SwitchableTrack(TRREntity* e) {
  auto* t = dynamic_cast<TRRTrack*>(e);
  return t && t->IsSwitchable() ? t : nullptr;
}

}  // namespace

// ---- description ----

RR_DEFINE_DESCRIPTION_CLASS(TRRControllerDesc, TRRModelDesc)

TRRControllerDesc::TRRControllerDesc() { SetCADType(RRControllerCadType); }

void TRRControllerDesc::LoadFromStream(gx::TGXStream& s) {
  TRRModelDesc::LoadFromStream(s);
  const int32_t version = gx::ReadInteger(s);
  if (version < 1 || version > RRControllerDescVersion) throw EUnknownEntityDescription();
  const uint8_t kind = gx::ReadByte(s);
  const int32_t target = gx::ReadInteger(s);
  const float value = version >= 2 ? gx::ReadSingle(s) : 0.0f;
  const float on = gx::ReadSingle(s);
  const float off = gx::ReadSingle(s);
  Kind = kind == RRControllerToggle ? RRControllerToggle : RRControllerRegulator;
  TargetID = target;
  Value = Unit(value);
  OnSpeed = Finite(on);
  OffSpeed = Finite(off);
}

void TRRControllerDesc::SaveToStream(gx::TGXStream& s) const {
  TRRModelDesc::SaveToStream(s);
  gx::WriteInteger(s, RRControllerDescVersion);
  gx::WriteByte(s, Kind);
  gx::WriteInteger(s, TargetID);
  gx::WriteSingle(s, Value);
  gx::WriteSingle(s, OnSpeed);
  gx::WriteSingle(s, OffSpeed);
}

void TRRControllerDesc::GetPropertyAccess(TRRPropertyAccessList& list) {
  TRRModelDesc::GetPropertyAccess(list);
  list.Add<TRREntityIDRefAccess>(TargetID);
}

void TRRControllerDesc::AssignFrom(const TRREntityDescription& other) {
  TRRModelDesc::AssignFrom(other);
  if (auto* o = dynamic_cast<const TRRControllerDesc*>(&other); o && o != this) Kind = o->Kind;
}

// ---- controller ----

RR_DEFINE_ENTITY_CLASS(TRRController, TRRModel)

void TRRController::RegisterKinds(TRRRegisteredEntityList& list) {
  list.Register(gx::TGXGuid::Parse(RRKindController), StaticClass(), TRRControllerDesc::StaticClass());
}

TRRController::TRRController(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description)
    : TRRModel(parent, manager, description) {
  // Creation only takes the values over; nothing is pushed to the target.
  if (auto* d = dynamic_cast<const TRRControllerDesc*>(&description)) {
    FKind = d->Kind == RRControllerToggle ? RRControllerToggle : RRControllerRegulator;
    FTargetID = d->TargetID;
    FValue = Unit(d->Value);
    FOnSpeed = Finite(d->OnSpeed);
    FOffSpeed = Finite(d->OffSpeed);
  }
  SetHasAnimation(false);
  SetCADType(RRControllerCadType);
}

TRRController::~TRRController() {
  BeginDestruction();
  FModifier.reset();
}

std::unique_ptr<TRREntityDescription> TRRController::CreateDescription() const {
  std::unique_ptr<TRREntityDescription> base = TRRModel::CreateDescription();
  if (auto* d = dynamic_cast<TRRControllerDesc*>(base.get())) {
    d->Kind = FKind;
    d->TargetID = FTargetID;
    d->Value = FValue;
    d->OnSpeed = FOnSpeed;
    d->OffSpeed = FOffSpeed;
  }
  return base;
}

TRREntity* TRRController::Target() const {
  return FTargetID > 0 && Manager() ? Manager()->FindByID(FTargetID) : nullptr;
}

float TRRController::Value() const {
  TRREntity* target = Target();
  if (auto* signal = dynamic_cast<TRRSignal*>(target)) return signal->SignalState() == RRSignalOpen ? 1.0f : 0.0f;
  if (TRRTrackVehicle* loco = Locomotive(target)) {
    const float speed = loco->TargetSpeed();
    if (FKind == RRControllerRegulator) return Unit(speed / kFullSpeed * 0.5f + 0.5f);
    const bool on = std::fabs(FOnSpeed - FOffSpeed) > 0.01f &&
                    std::fabs(speed - std::clamp(FOnSpeed, -kFullSpeed, kFullSpeed)) <= 0.01f;
    return on ? 1.0f : 0.0f;
  }
  if (TRRTrack* track = SwitchableTrack(target)) {
    const int n = track->GetRouteCount();
    if (n < 2) return 0.0f;
    const float active = static_cast<float>(track->ActiveRoute());
    if (FKind == RRControllerToggle) return active > static_cast<float>(n - 1) * 0.5f ? 1.0f : 0.0f;
    return Unit(active / static_cast<float>(n - 1));
  }
  return FValue;
}

void TRRController::SetValue(float x) {
  if (!std::isfinite(x)) return;
  const float v = FKind == RRControllerToggle ? (x > 0.5f ? 1.0f : 0.0f) : std::clamp(x, 0.0f, 1.0f);
  TRREntity* target = Target();
  if (auto* signal = dynamic_cast<TRRSignal*>(target)) {
    signal->SetSignalState(v > 0.5f ? RRSignalOpen : RRSignalClosed);
  } else if (TRRTrackVehicle* loco = Locomotive(target)) {
    loco->SetTargetSpeed(FKind == RRControllerToggle ? (v > 0.5f ? FOnSpeed : FOffSpeed)
                                                     : (v - 0.5f) * 2.0f * kFullSpeed);
  } else if (TRRTrack* track = SwitchableTrack(target)) {
    const int n = track->GetRouteCount();
    // Halves round to even, as segment counts do.
    if (n >= 1) track->SetActiveRoute(static_cast<int32_t>(std::nearbyint(static_cast<float>(n - 1) * v)));
  } else {
    FValue = v;
  }
  if (IRREventNotifier* notifier = RREventNotifierOf(Manager())) {
    TRREventNotification n;
    n.SubjectID = ID();
    n.Subject = this;
    // A toggle switch reports 0 or 1; a regulator the bits of its value.
    n.Parameter = FKind == RRControllerToggle ? static_cast<int32_t>(v) : std::bit_cast<int32_t>(v);
    notifier->Notify(TRRConditionKind::Controller, n);
  }
}

void TRRController::SetTarget(int32_t id) {
  if (id > 0) {
    FTargetID = id;
    SetValue(FValue);
    return;
  }
  // Unbound, the controller keeps showing what it showed.
  FValue = Value();
  FTargetID = 0;
}

void TRRController::Animate(bool animationsOn, float deltaTime) {
  TRRModel::Animate(animationsOn, deltaTime);
  if (gx::TGXAnimationController* c = OwnController()) c->SetTime(Value() * c->Duration());
}

void TRRController::Select() {
  TRRModel::Select();
  if (FModifier) return;
  if (auto* manager = dynamic_cast<TRREntityManager*>(Manager())) {
    FModifier = std::make_unique<TRRControllerModifier>(*this);
    manager->AddModifier(FModifier.get());
  }
}

void TRRController::Deselect() {
  FModifier.reset();
  TRRModel::Deselect();
}

std::optional<float> RRControllerKeyValue(uint8_t kind, int32_t key, float value) {
  if (kind == RRControllerToggle) {
    switch (key) {
      case RRVKSpace: return value > 0.5f ? 0.0f : 1.0f;
      case RRVKLeft:
      case RRVKDown: return 0.0f;
      case RRVKUp:
      case RRVKRight: return 1.0f;
      default: return std::nullopt;
    }
  }
  if (kind != RRControllerRegulator) return std::nullopt;
  switch (key) {
    case RRVKBack: return 0.5f;
    case RRVKPrior: return std::min(1.0f, value + 0.1f);
    case RRVKNext: return value - 0.1f;
    case RRVKEnd: return 1.0f;
    case RRVKHome: return 0.0f;
    case RRVKLeft:
    case RRVKDown: return std::max(0.0f, value - 0.01f);
    case RRVKUp:
    case RRVKRight: return std::min(1.0f, value + 0.01f);
    default: return std::nullopt;
  }
}

bool TRRControllerModifier::KeyEvent(gx::TGXRenderTarget*, uint32_t message, const TRRInputRecord&, int32_t key) {
  if (message != RRMsgKeyDown) return false;
  const std::optional<float> value = RRControllerKeyValue(FController.Kind(), key, FController.Value());
  if (!value) return false;
  FController.SetValue(*value);
  return true;
}

}  // namespace rr
