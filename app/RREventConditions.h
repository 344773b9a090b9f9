#pragma once
// The conditions of events. A condition belongs to one event and says which change of the model
// makes the event queue its actions. Files name a condition by its class name (exact match);
// the fields follow in the order each class lists them. Entity references are plain entity IDs
// (-1 "any" where a field allows it); the entity kinds are not looked at here.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/RREvents.h"
#include "app/entities/track/RRTrackEvents.h"
#include "engine/core/GXStream.h"

namespace rr {

class TRRCondition {
 public:
  explicit TRRCondition(TRREvent* event = nullptr) : FEvent(event) {}
  virtual ~TRRCondition() = default;
  TRRCondition(const TRRCondition&) = delete;
  TRRCondition& operator=(const TRRCondition&) = delete;

  // The name files store.
  virtual const char* ClassName() const = 0;
  TRREvent* Event() const { return FEvent; }
  void SetEvent(TRREvent* event) { FEvent = event; }

  // The fields in stream order; version is the project file's version.
  virtual void ReadFromStream(gx::TGXStream& s, int32_t version) = 0;
  virtual void WriteToStream(gx::TGXStream& s) const = 0;
  virtual void CollectEntityIDs(TRRIDAccessList& list) {}
  virtual void CollectEventIDs(TRRIDAccessList& list) {}
  // A new condition of the same class with default fields.
  virtual std::unique_ptr<TRRCondition> CreateNew(TRREvent* event) const = 0;
  // Whether the reported change is the one this condition waits for (by IDs; the kind of the
  // notification was matched to the class before).
  virtual bool Matches(const TRREventNotification& notification) const = 0;

 protected:
  // A field the manager looks conditions up by changed.
  void Changed() {
    if (FEvent && FEvent->Manager()) FEvent->Manager()->TreeChanged();
  }

 private:
  TRREvent* FEvent;
};

// Shared by the conditions that name one entity and a state of it (-1 any).
class TRREntityStateCondition : public TRRCondition {
 public:
  using TRRCondition::TRRCondition;
  void ReadFromStream(gx::TGXStream& s, int32_t version) override;
  void WriteToStream(gx::TGXStream& s) const override;
  void CollectEntityIDs(TRRIDAccessList& list) override { list.Add(FEntityID); }
  // The subject is the named entity and the state is -1 or the parameter.
  bool Matches(const TRREventNotification& notification) const override;
  int32_t SubjectID() const { return FEntityID; }

 protected:
  int32_t FEntityID = -1;
  int32_t FState = -1;
};

// A track's active route changes.
class TRRSwitchCondition : public TRREntityStateCondition {
 public:
  using TRREntityStateCondition::TRREntityStateCondition;
  const char* ClassName() const override { return "TRRSwitchCondition"; }
  std::unique_ptr<TRRCondition> CreateNew(TRREvent* event) const override;
  int32_t TrackID() const { return FEntityID; }
  void SetTrackID(int32_t id) {
    FEntityID = id;
    Changed();
  }
  // -1 any route.
  int32_t Route() const { return FState; }
  void SetRoute(int32_t route) {
    FState = route;
    Changed();
  }
};

// A signal's state changes.
class TRRSignalSwitchCondition : public TRREntityStateCondition {
 public:
  using TRREntityStateCondition::TRREntityStateCondition;
  const char* ClassName() const override { return "TRRSignalSwitchCondition"; }
  std::unique_ptr<TRRCondition> CreateNew(TRREvent* event) const override;
  int32_t SignalID() const { return FEntityID; }
  void SetSignalID(int32_t id) {
    FEntityID = id;
    Changed();
  }
  // -1 any, 0 open, 1 closed.
  int32_t State() const { return FState; }
  void SetState(int32_t state) {
    FState = state;
    Changed();
  }
};

// A toggle switch is operated.
class TRRControllerCondition : public TRREntityStateCondition {
 public:
  using TRREntityStateCondition::TRREntityStateCondition;
  const char* ClassName() const override { return "TRRControllerCondition"; }
  std::unique_ptr<TRRCondition> CreateNew(TRREvent* event) const override;
  int32_t ControllerID() const { return FEntityID; }
  void SetControllerID(int32_t id) {
    FEntityID = id;
    Changed();
  }
  // -1 any, 1 on, 0 off.
  int32_t Position() const { return FState; }
  void SetPosition(int32_t position) {
    FState = position;
    Changed();
  }
};

// A vehicle enters or leaves a track. Project files up to version 9 store only the track (the
// vehicle is then -1, any vehicle).
class TRRTrackCondition : public TRRCondition {
 public:
  using TRRCondition::TRRCondition;
  void ReadFromStream(gx::TGXStream& s, int32_t version) override;
  void WriteToStream(gx::TGXStream& s) const override;
  void CollectEntityIDs(TRRIDAccessList& list) override {
    list.Add(FVehicleID);
    list.Add(FTrackID);
  }
  // The route's track is the named track and the vehicle is -1 or the subject.
  bool Matches(const TRREventNotification& notification) const override;
  // -1 any vehicle.
  int32_t VehicleID() const { return FVehicleID; }
  void SetVehicleID(int32_t id) {
    FVehicleID = id;
    Changed();
  }
  int32_t TrackID() const { return FTrackID; }
  void SetTrackID(int32_t id) {
    FTrackID = id;
    Changed();
  }

 private:
  int32_t FVehicleID = -1;
  int32_t FTrackID = -1;
};

class TRRTrackEnterCondition : public TRRTrackCondition {
 public:
  using TRRTrackCondition::TRRTrackCondition;
  const char* ClassName() const override { return "TRRTrackEnterCondition"; }
  std::unique_ptr<TRRCondition> CreateNew(TRREvent* event) const override;
};

class TRRTrackExitCondition : public TRRTrackCondition {
 public:
  using TRRTrackCondition::TRRTrackCondition;
  const char* ClassName() const override { return "TRRTrackExitCondition"; }
  std::unique_ptr<TRRCondition> CreateNew(TRREvent* event) const override;
};

// An enable action changed an event's or group's enabled flag.
class TRREventEnabledCondition : public TRRCondition {
 public:
  using TRRCondition::TRRCondition;
  const char* ClassName() const override { return "TRREventEnabledCondition"; }
  void ReadFromStream(gx::TGXStream& s, int32_t version) override;
  void WriteToStream(gx::TGXStream& s) const override;
  void CollectEventIDs(TRRIDAccessList& list) override { list.Add(FEventID); }
  std::unique_ptr<TRRCondition> CreateNew(TRREvent* event) const override;
  bool Matches(const TRREventNotification& notification) const override;
  // An event or group ID; 0 none.
  int32_t EventID() const { return FEventID; }
  void SetEventID(int32_t id) {
    FEventID = id;
    Changed();
  }
  // -1 any, 1 enabled, 0 disabled.
  int32_t State() const { return FState; }
  void SetState(int32_t state) {
    FState = state;
    Changed();
  }

 private:
  int32_t FEventID = 0;
  int32_t FState = -1;
};

// A countdown runs out.
class TRRCountdownCondition : public TRRCondition {
 public:
  using TRRCondition::TRRCondition;
  const char* ClassName() const override { return "TRRCountdownCondition"; }
  void ReadFromStream(gx::TGXStream& s, int32_t version) override;
  void WriteToStream(gx::TGXStream& s) const override;
  std::unique_ptr<TRRCondition> CreateNew(TRREvent* event) const override;
  // The countdown's name, ignoring case.
  bool Matches(const TRREventNotification& notification) const override;
  const std::string& CountdownName() const { return FName; }
  void SetCountdownName(std::string name) {
    FName = std::move(name);
    Changed();
  }

 private:
  std::string FName;
};

// ---- registered classes ----

struct TRRConditionClass {
  const char* Name;         // stored in files
  const char* DisplayName;  // shown in the editor
  std::unique_ptr<TRRCondition> (*Create)(TRREvent* event);
};

// The seven condition classes in the editor's order.
const std::vector<TRRConditionClass>& RRConditionClasses();
// The class with exactly that name, or null.
const TRRConditionClass* RRFindConditionClass(std::string_view name);
// The kind of notification a condition waits for: its class's place in RRConditionClasses
// (exact class, so that an entry never fires an exit), or -1.
int RRConditionKindOf(const TRRCondition& condition);

}  // namespace rr
