#pragma once
// The actions of events. An action belongs to one event; when the event's condition matches it
// is queued and run in the next frame step. Files name an action by its class name (exact
// match); the fields follow in the order each class lists them. Entity references are plain
// entity IDs (-1 where a field allows "all" or "toggle"); the entity kinds are not looked at here.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/RREvents.h"
#include "engine/core/GXStream.h"

namespace rr {

// What an action works on when it runs.
struct TRRActionContext {
  IRREntityManager* Entities = nullptr;
  TRREventManager* Events = nullptr;
  // Whether somebody reads what the actions did (the run log): only then is it put in words.
  bool Describe = false;
};

class TRRAction {
 public:
  explicit TRRAction(TRREvent* event = nullptr) : FEvent(event) {}
  // Leaves its manager's queue.
  virtual ~TRRAction();
  TRRAction(const TRRAction&) = delete;
  TRRAction& operator=(const TRRAction&) = delete;

  // The name files store.
  virtual const char* ClassName() const = 0;
  TRREvent* Event() const { return FEvent; }
  void SetEvent(TRREvent* event) { FEvent = event; }

  // The fields in stream order; version is the project file's version.
  virtual void ReadFromStream(gx::TGXStream& s, int32_t version) = 0;
  virtual void WriteToStream(gx::TGXStream& s) const = 0;
  virtual void CollectEntityIDs(TRRIDAccessList& list) {}
  virtual void CollectEventIDs(TRRIDAccessList& list) {}
  // A new action of the same class with default fields.
  virtual std::unique_ptr<TRRAction> CreateNew(TRREvent* event) const = 0;
  // Carries the action out on the model (entities of the wrong kind, missing ones and codes
  // outside their lists do nothing). Returns what it did when the context asks for it (empty
  // when nothing happened).
  virtual std::string Execute(TRRActionContext& context) = 0;
  // The class's name in the editor.
  const char* DisplayName() const;

 private:
  TRREvent* FEvent;
};

// Shared by the actions that name one entity and a value for it.
class TRREntityValueAction : public TRRAction {
 public:
  using TRRAction::TRRAction;
  void ReadFromStream(gx::TGXStream& s, int32_t version) override;
  void WriteToStream(gx::TGXStream& s) const override;
  void CollectEntityIDs(TRRIDAccessList& list) override { list.Add(FEntityID); }

 protected:
  int32_t FEntityID = -1;
  int32_t FValue = -1;
};

// Sets a track's active route.
class TRRSwitchTrackRouteAction : public TRREntityValueAction {
 public:
  using TRREntityValueAction::TRREntityValueAction;
  const char* ClassName() const override { return "TRRSwitchTrackRouteAction"; }
  std::string Execute(TRRActionContext& context) override;
  std::unique_ptr<TRRAction> CreateNew(TRREvent* event) const override;
  int32_t TrackID() const { return FEntityID; }
  void SetTrackID(int32_t id) { FEntityID = id; }
  // -1 advances to the next route.
  int32_t Route() const { return FValue; }
  void SetRoute(int32_t route) { FValue = route; }
};

// Sets a signal's state.
class TRRSetSignalAction : public TRREntityValueAction {
 public:
  using TRREntityValueAction::TRREntityValueAction;
  const char* ClassName() const override { return "TRRSetSignalAction"; }
  std::string Execute(TRRActionContext& context) override;
  std::unique_ptr<TRRAction> CreateNew(TRREvent* event) const override;
  int32_t SignalID() const { return FEntityID; }
  void SetSignalID(int32_t id) { FEntityID = id; }
  // -1 toggle, 0 open, 1 closed.
  int32_t State() const { return FValue; }
  void SetState(int32_t state) { FValue = state; }
};

// Sets the speed of locomotives. Project files up to version 9 store vehicle and speed only (the
// track is then -1, any track).
class TRRSetVehicleSpeedAction : public TRRAction {
 public:
  using TRRAction::TRRAction;
  const char* ClassName() const override { return "TRRSetVehicleSpeedAction"; }
  std::string Execute(TRRActionContext& context) override;
  void ReadFromStream(gx::TGXStream& s, int32_t version) override;
  void WriteToStream(gx::TGXStream& s) const override;
  void CollectEntityIDs(TRRIDAccessList& list) override {
    list.Add(FVehicleID);
    list.Add(FTrackID);
  }
  std::unique_ptr<TRRAction> CreateNew(TRREvent* event) const override;
  // -1 all locomotives.
  int32_t VehicleID() const { return FVehicleID; }
  void SetVehicleID(int32_t id) { FVehicleID = id; }
  // -1 any track.
  int32_t TrackID() const { return FTrackID; }
  void SetTrackID(int32_t id) { FTrackID = id; }
  // cm/s.
  float Speed() const { return FSpeed; }
  void SetSpeed(float speed) { FSpeed = speed; }

 private:
  int32_t FVehicleID = -1;
  int32_t FTrackID = -1;
  float FSpeed = 0;
};

// Enables, disables or toggles an event or group.
class TRREnableEventAction : public TRRAction {
 public:
  // Mode values as stored (note: 0 enables, unlike the enabled condition's state).
  static constexpr uint8_t ModeEnable = 0;
  static constexpr uint8_t ModeDisable = 1;
  static constexpr uint8_t ModeToggle = 2;

  using TRRAction::TRRAction;
  const char* ClassName() const override { return "TRREnableEventAction"; }
  std::string Execute(TRRActionContext& context) override;
  void ReadFromStream(gx::TGXStream& s, int32_t version) override;
  void WriteToStream(gx::TGXStream& s) const override;
  void CollectEventIDs(TRRIDAccessList& list) override { list.Add(FEventID); }
  std::unique_ptr<TRRAction> CreateNew(TRREvent* event) const override;
  // An event or group ID; 0 none.
  int32_t EventID() const { return FEventID; }
  void SetEventID(int32_t id) { FEventID = id; }
  uint8_t Mode() const { return FMode; }
  void SetMode(uint8_t mode) { FMode = mode; }

 private:
  int32_t FEventID = 0;
  uint8_t FMode = ModeToggle;
};

// Starts (or restarts) a countdown.
class TRRStartCountdownAction : public TRRAction {
 public:
  using TRRAction::TRRAction;
  const char* ClassName() const override { return "TRRStartCountdownAction"; }
  std::string Execute(TRRActionContext& context) override;
  void ReadFromStream(gx::TGXStream& s, int32_t version) override;
  void WriteToStream(gx::TGXStream& s) const override;
  std::unique_ptr<TRRAction> CreateNew(TRREvent* event) const override;
  const std::string& CountdownName() const { return FName; }
  void SetCountdownName(std::string name) { FName = std::move(name); }
  // Seconds.
  float Duration() const { return FDuration; }
  void SetDuration(float duration) { FDuration = duration; }
  uint8_t AutoRestart() const { return FAutoRestart; }
  void SetAutoRestart(bool autoRestart) { FAutoRestart = autoRestart ? 1 : 0; }

 private:
  std::string FName;
  float FDuration = 0;
  uint8_t FAutoRestart = 0;
};

// Stops a countdown.
class TRRStopCountdownAction : public TRRAction {
 public:
  using TRRAction::TRRAction;
  const char* ClassName() const override { return "TRRStopCountdownAction"; }
  std::string Execute(TRRActionContext& context) override;
  void ReadFromStream(gx::TGXStream& s, int32_t version) override;
  void WriteToStream(gx::TGXStream& s) const override;
  std::unique_ptr<TRRAction> CreateNew(TRREvent* event) const override;
  const std::string& CountdownName() const { return FName; }
  void SetCountdownName(std::string name) { FName = std::move(name); }

 private:
  std::string FName;
};

// Starts a model's animation.
class TRRStartAnimationAction : public TRRAction {
 public:
  using TRRAction::TRRAction;
  const char* ClassName() const override { return "TRRStartAnimationAction"; }
  std::string Execute(TRRActionContext& context) override;
  void ReadFromStream(gx::TGXStream& s, int32_t version) override;
  void WriteToStream(gx::TGXStream& s) const override;
  void CollectEntityIDs(TRRIDAccessList& list) override { list.Add(FModelID); }
  std::unique_ptr<TRRAction> CreateNew(TRREvent* event) const override;
  int32_t ModelID() const { return FModelID; }
  void SetModelID(int32_t id) { FModelID = id; }
  // 0 forward, 1 keep current, 2 backward.
  int32_t Direction() const { return FDirection; }
  void SetDirection(int32_t direction) { FDirection = direction; }
  // 0 beginning, 1 keep current, 2 end.
  int32_t StartPosition() const { return FStartPosition; }
  void SetStartPosition(int32_t position) { FStartPosition = position; }

 private:
  int32_t FModelID = -1;
  int32_t FDirection = 0;
  int32_t FStartPosition = 0;
};

// Stops a model's animation.
class TRRStopAnimationAction : public TRRAction {
 public:
  using TRRAction::TRRAction;
  const char* ClassName() const override { return "TRRStopAnimationAction"; }
  std::string Execute(TRRActionContext& context) override;
  void ReadFromStream(gx::TGXStream& s, int32_t version) override;
  void WriteToStream(gx::TGXStream& s) const override;
  void CollectEntityIDs(TRRIDAccessList& list) override { list.Add(FModelID); }
  std::unique_ptr<TRRAction> CreateNew(TRREvent* event) const override;
  int32_t ModelID() const { return FModelID; }
  void SetModelID(int32_t id) { FModelID = id; }
  // 0 beginning, 1 keep current, 2 end.
  int32_t EndPosition() const { return FEndPosition; }
  void SetEndPosition(int32_t position) { FEndPosition = position; }

 private:
  int32_t FModelID = -1;
  int32_t FEndPosition = 0;
};

// ---- registered classes ----

struct TRRActionClass {
  const char* Name;         // stored in files
  const char* DisplayName;  // shown in the editor
  std::unique_ptr<TRRAction> (*Create)(TRREvent* event);
};

// The eight action classes in the editor's order.
const std::vector<TRRActionClass>& RRActionClasses();
// The class with exactly that name, or null.
const TRRActionClass* RRFindActionClass(std::string_view name);

}  // namespace rr
