#pragma once
// The one entry through which model changes reach the event system: a track reports a switch,
// a signal its state, a controller its value, a vehicle entering or leaving a route. The event
// manager implements IRREventNotifier; a notification only queues the matching actions, which
// run once per frame.
//
// An entity finds the notifier through its manager: the entity manager (or a test's manager)
// also implements IRREventNotifierHost. A manager that does not, or answers null, means that
// nothing listens (a track switched while no project is open, in a tool, in a test).

#include <cstdint>

#include "app/entities/RREntity.h"

namespace rr {

// The condition classes, numbered as in the condition list of the event editor.
enum class TRRConditionKind : int32_t {
  Switch = 0,        // TRRSwitchCondition, "Weiche schaltet": subject the track, parameter the new route
  SignalSwitch = 1,  // TRRSignalSwitchCondition, "Signal schaltet"
};

inline constexpr const char* RRTextSwitchCondition = "Weiche schaltet";

class IRREventNotifier {
 public:
  virtual ~IRREventNotifier() = default;
  virtual void Notify(TRRConditionKind condition, TRREntity* subject, int32_t parameter) = 0;
};

class IRREventNotifierHost {
 public:
  virtual ~IRREventNotifierHost() = default;
  // Null while nothing listens.
  virtual IRREventNotifier* EventNotifier() = 0;
};

// The notifier behind the manager, or null.
inline IRREventNotifier* RREventNotifierOf(IRREntityManager* manager) {
  auto* host = dynamic_cast<IRREventNotifierHost*>(manager);
  return host ? host->EventNotifier() : nullptr;
}

}  // namespace rr
