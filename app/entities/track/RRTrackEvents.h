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
#include <string>

#include "app/entities/RREntity.h"

namespace rr {

// The condition classes, numbered as in the condition list of the event editor.
enum class TRRConditionKind : int32_t {
  Switch = 0,        // TRRSwitchCondition: subject the track, parameter the new route
  SignalSwitch = 1,  // TRRSignalSwitchCondition
  TrackEnter = 2,    // TRRTrackEnterCondition: subject the vehicle, the route entered
  TrackExit = 3,     // TRRTrackExitCondition: subject the vehicle, the route left
  Controller = 4,    // TRRControllerCondition
  EventEnabled = 5,  // TRREventEnabledCondition: subject the event or group
  Countdown = 6,     // TRRCountdownCondition: the countdown's name
};
inline constexpr int RRConditionKindCount = 7;

inline constexpr const char* RRTextSwitchCondition = "Weiche schaltet";
// The display names are those of the condition classes (RRConditionClasses, app/RREventConditions.h).

class TRRTrackRoute;

// What happened, by IDs (conditions compare IDs only), with pointers for names while the subject
// and the route live: the subject (an entity, an event or a group; 0 and null for the event
// manager), the route's track and index (-1 without a route), the parameter and a name.
struct TRREventNotification {
  int32_t SubjectID = 0;
  TRREntity* Subject = nullptr;
  int32_t TrackID = 0;
  int32_t RouteIndex = -1;
  const TRRTrackRoute* Route = nullptr;
  int32_t Parameter = 0;
  std::string Name;
};

class IRREventNotifier {
 public:
  virtual ~IRREventNotifier() = default;
  virtual void Notify(TRRConditionKind condition, const TRREventNotification& notification) = 0;
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
