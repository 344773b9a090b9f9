#include "app/entities/RRSignal.h"

#include <algorithm>
#include <cmath>

#include "app/RREntityManager.h"
#include "app/RRInput.h"
#include "app/entities/RREntityRegistry.h"
#include "app/entities/RREntity_10.h"
#include "app/entities/track/RRTrackEvents.h"
#include "engine/core/GXSerialization.h"
#include "engine/render/GXAnimation.h"

namespace rr {

namespace {

// The animation of a signal: 20 frames of 0.02 s.
constexpr uint32_t kSignalFrames = 20;
constexpr float kSignalSecondsPerFrame = 0.02f;

}  // namespace

// ---- description ----

RR_DEFINE_DESCRIPTION_CLASS(TRRSignalDesc, TRRModelDesc)

void TRRSignalDesc::LoadFromStream(gx::TGXStream& s) {
  TRRModelDesc::LoadFromStream(s);
  const int32_t version = gx::ReadInteger(s);
  if (version != RRSignalDescVersion) throw EUnknownEntityDescription();
  SignalState = gx::ReadByte(s) != 0 ? RRSignalClosed : RRSignalOpen;
}

void TRRSignalDesc::SaveToStream(gx::TGXStream& s) const {
  TRRModelDesc::SaveToStream(s);
  gx::WriteInteger(s, RRSignalDescVersion);
  gx::WriteByte(s, SignalState != 0 ? RRSignalClosed : RRSignalOpen);
}

void TRRSignalDesc::LoadFromPropertyBag(const TRREntityDescription_10& bag, std::string& modelFileName) {
  TRRModelDesc::LoadFromPropertyBag(bag, modelFileName);
  int32_t state = 0;
  bag.GetInteger("SignalState", state);
  SignalState = state != 0 ? RRSignalClosed : RRSignalOpen;
}

// ---- signal ----

RR_DEFINE_ENTITY_CLASS(TRRSignal, TRRModel)

void TRRSignal::RegisterKinds(TRRRegisteredEntityList& list) {
  list.Register(gx::TGXGuid::Parse(RRKindSignal), StaticClass(), TRRSignalDesc::StaticClass());
}

TRRSignal::TRRSignal(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description)
    : TRRModel(parent, manager, description) {
  if (auto* d = dynamic_cast<const TRRSignalDesc*>(&description)) FSignalState = d->SignalState != 0 ? 1 : 0;
  // The signal plays its animation by its state, never by the model's own playback.
  SetHasAnimation(false);
  if (gx::TGXAnimationController* c = OwnController()) {
    c->SetSecondsPerFrame(kSignalSecondsPerFrame);
    c->SetEndFrame(kSignalFrames);
    c->SetLoop(false);
    // A signal loaded open shows its open pose at once.
    c->SetTime(FSignalState == RRSignalOpen ? c->Duration() : 0.0f);
  }
}

TRRSignal::~TRRSignal() {
  BeginDestruction();
  FModifier.reset();
}

std::unique_ptr<TRREntityDescription> TRRSignal::CreateDescription() const {
  std::unique_ptr<TRREntityDescription> base = TRRModel::CreateDescription();
  if (auto* d = dynamic_cast<TRRSignalDesc*>(base.get())) d->SignalState = FSignalState;
  return base;
}

void TRRSignal::SetSignalState(uint8_t state) {
  state = state != 0 ? RRSignalClosed : RRSignalOpen;
  if (state == FSignalState) return;
  FSignalState = state;
  if (IRREventNotifier* notifier = RREventNotifierOf(Manager())) {
    TRREventNotification n;
    n.SubjectID = ID();
    n.Subject = this;
    n.Parameter = state;
    notifier->Notify(TRRConditionKind::SignalSwitch, n);
  }
}

void TRRSignal::Animate(bool animationsOn, float deltaTime) {
  TRRModel::Animate(animationsOn, deltaTime);
  gx::TGXAnimationController* c = OwnController();
  if (!c) return;
  const float duration = c->Duration();
  const float step = animationsOn && std::isfinite(deltaTime) && deltaTime > 0 ? deltaTime : animationsOn ? 0.0f : duration;
  const float t = c->Time();
  if (FSignalState == RRSignalOpen && t < duration)
    c->SetTime(std::min(duration, t + step));
  else if (FSignalState == RRSignalClosed && t > 0)
    c->SetTime(std::max(0.0f, t - step));
}

void TRRSignal::Select() {
  TRRModel::Select();
  if (FModifier) return;
  if (auto* manager = dynamic_cast<TRREntityManager*>(Manager())) {
    FModifier = std::make_unique<TRRSignalModifier>(*this);
    manager->AddModifier(FModifier.get());
  }
}

void TRRSignal::Deselect() {
  FModifier.reset();  // leaves the manager's stack
  TRRModel::Deselect();
}

bool TRRSignalModifier::KeyEvent(gx::TGXRenderTarget*, uint32_t message, const TRRInputRecord&, int32_t key) {
  if (message != RRMsgKeyDown || key != RRVKSpace) return false;
  FSignal.SetSignalState(FSignal.SignalState() == RRSignalOpen ? RRSignalClosed : RRSignalOpen);
  return true;
}

}  // namespace rr
