#pragma once
// TRREntityModifier: the base of the interaction tools stacked in the entity manager (camera
// controllers, the transformation gizmo, track laying, height brushes ...). The manager offers
// keyboard and mouse input from the top of the stack down and ticks every modifier once per
// frame; a modifier reports whether it consumed an event. Destroying a modifier takes it off the
// stack of the manager it is registered with.
//
// Seams: the manager is reached through IRREntityManager (RREntity.h); the view is the project's
// render target and the input record carries the system's message codes. Both types are defined
// by the parts that build them, so they are only declared here.

#include <cstdint>

namespace gx {
class TGXRenderTarget;
}

namespace rr {

class IRREntityManager;
// One keyboard or mouse message with the system's numeric codes (messages 256-261, 512-522,
// virtual keys, MK_SHIFT = 4, MK_CONTROL = 8, signed coordinates, wheel 120 per notch).
struct TRRInputRecord;

class TRREntityModifier {
 public:
  TRREntityModifier() = default;
  // Takes the modifier off its manager's stack.
  virtual ~TRREntityModifier();
  TRREntityModifier(const TRREntityModifier&) = delete;
  TRREntityModifier& operator=(const TRREntityModifier&) = delete;

  // Called when the modifier becomes active (on top of, or not hidden in, the stack) and when it
  // stops being active.
  virtual void Activate() {}
  virtual void Deactivate() {}
  // An exclusive modifier on top of the stack keeps input from, and deactivates, those below it.
  virtual bool IsExclusive() const { return false; }
  // True when the event was handled.
  virtual bool KeyEvent(gx::TGXRenderTarget* view, uint32_t message, const TRRInputRecord& record, int32_t key) {
    return false;
  }
  // phase 0: before the manager's own selection handling, 1: after it selected something.
  virtual bool MouseEvent(gx::TGXRenderTarget* view, uint32_t message, int32_t phase, const TRRInputRecord& record,
                          uint32_t flags) {
    return false;
  }
  // Once per frame.
  virtual void Tick() {}

  IRREntityManager* Manager() const { return FManager; }
  // Set by the manager when it stacks the modifier (null when it takes it off).
  void SetManager(IRREntityManager* manager) { FManager = manager; }

 private:
  IRREntityManager* FManager = nullptr;
};

}  // namespace rr
