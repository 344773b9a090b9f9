#pragma once
// A signal: a model with a two-valued state (0 open, 1 closed) shown by a short animation. Each
// change of the state is reported to the event notifier; the signal itself stops no train (the
// layout's events do). While the signal is selected, space toggles it.
//
// Description payload (after the model payload): Integer version (1), state byte. Any non-zero
// state reads as 1 (closed).
//
// Animation: a model with an animation plays frames 0..20 at 0.02 s (0.4 s, no loop); state 0
// runs it to its end pose, state 1 back to its start. With animations off it snaps.

#include <cstdint>
#include <memory>

#include "app/entities/RREntityModifier.h"
#include "app/entities/RRModel.h"

namespace rr {

class TRRRegisteredEntityList;

inline constexpr const char* RRKindSignal = "{5C1C93C8-4913-4460-A573-9B36176B939D}";
inline constexpr int32_t RRSignalDescVersion = 1;
inline constexpr uint8_t RRSignalOpen = 0;
inline constexpr uint8_t RRSignalClosed = 1;

class TRRSignalDesc : public TRRModelDesc {
  RR_DESCRIPTION_CLASS()

 public:
  void LoadFromStream(gx::TGXStream& s) override;
  void SaveToStream(gx::TGXStream& s) const override;
  // The model's keys and "SignalState" (integer).
  void LoadFromPropertyBag(const TRREntityDescription_10& bag, std::string& modelFileName) override;

  uint8_t SignalState = RRSignalOpen;
};

class TRRSignalModifier;

class TRRSignal : public TRRModel {
  RR_ENTITY_CLASS()

 public:
  TRRSignal(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description);
  ~TRRSignal() override;
  static void RegisterKinds(TRRRegisteredEntityList& list);

  // The model's frame step, then the signal's own animation.
  void Animate(bool animationsOn, float deltaTime) override;
  std::unique_ptr<TRREntityDescription> CreateDescription() const override;
  // Selected, the signal listens for space.
  void Select() override;
  void Deselect() override;

  uint8_t SignalState() const { return FSignalState; }
  // Any non-zero value is 1. A change is stored and reported (kind SignalSwitch, the new state);
  // setting the current state does nothing.
  void SetSignalState(uint8_t state);

 private:
  uint8_t FSignalState = RRSignalOpen;
  std::unique_ptr<TRRSignalModifier> FModifier;
};

// Toggles the selected signal on space (key-down); other input passes on.
class TRRSignalModifier : public TRREntityModifier {
 public:
  explicit TRRSignalModifier(TRRSignal& signal) : FSignal(signal) {}
  bool KeyEvent(gx::TGXRenderTarget* view, uint32_t message, const TRRInputRecord& record, int32_t key) override;

 private:
  TRRSignal& FSignal;
};

}  // namespace rr
