#pragma once
// The event tree of a project: named events (one condition, an ordered list of actions) in a
// tree of named groups under the root group "Ereignisse", the running countdowns, and the file
// section that stores them at the end of a project file.
//
// Conditions and actions live in RREventConditions.h and RREventActions.h. They refer to
// entities by entity ID (stored as plain numbers; the entity kinds are never looked at here) and
// to events and groups by event ID. Events and groups share one ID space per manager; 0 and -1
// are never IDs of an event or group (0 is "none" in references).
//
// Reading is all-or-nothing: a section is read completely into new objects first, and only a
// complete read replaces (or, in merge mode, extends) the manager's tree. Every count and string
// length is checked against the bytes that remain; an unknown condition or action class ends the
// read with EUnknownEventClass (the layout carries no lengths, so nothing after it can be found).
//
// IDs that collide on read: items are taken in search order (groups first, then events, each
// depth first as FindGroup and FindEvent search), and the first item carrying an ID keeps it; an
// item whose stored ID is 0, -1, already kept by an earlier item of the same read, or (in merge
// mode) held by an item already in the manager gets a fresh ID. References inside the read that
// named an ID held by an item already in the manager follow the read item that carried it;
// references to an ID several read items carried keep naming the one that kept it (the one they
// resolved to before).
//
// At run time (RREventRuntime.cpp) every change of the model reaches Notify, which queues the
// actions of the enabled events whose condition matches; the frame step then advances the
// countdowns and runs the queue once. An action that leaves the tree (deleted, extracted,
// replaced, the manager cleared, loaded or destroyed) leaves the queue with it, also the part
// being executed, so nothing queued ever dangles.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "app/RREntityIDProcessor.h"
#include "app/entities/track/RRTrackEvents.h"
#include "engine/core/GXStream.h"

namespace rr {

class TRRCondition;
class TRRAction;
class TRREvent;
class TRREventGroup;
class TRREventManager;
class IRREntityManager;

// ---- constants ----

// The version argument of in-memory copies (clone, merge): always the current form.
inline constexpr int32_t RREventVersionCurrent = 0x7FFFFFFF;
// Project files up to this version store a flat event list without groups and countdowns.
inline constexpr int32_t RREventOldFormMaxVersion = 9;
// Groups nested deeper than this are refused on read and on insertion, which keeps the
// recursive reader, writer and destructor within a bounded stack.
inline constexpr int RRMaxEventGroupDepth = 256;

inline constexpr const char* RRTextRootGroupName = "Ereignisse";
inline constexpr const char* RRTextNewGroupName = "Ereignisgruppe";
inline constexpr const char* RRTextNewEventName = "Neues Ereignis";
inline constexpr const char* RRTextUnknownEventCondition =
    "Die Ereignisdaten enthalten eine unbekannte Bedingung: ";
inline constexpr const char* RRTextUnknownEventAction =
    "Die Ereignisdaten enthalten eine unbekannte Aktion: ";
inline constexpr const char* RRTextEventGroupsTooDeep = "Die Ereignisgruppen sind zu tief verschachtelt.";
inline constexpr const char* RRTextEventActionFailed = "Eine Ereignisaktion ist fehlgeschlagen";
inline constexpr const char* RRTextEventHookFailed = "Die Ereignisweitergabe an die Automatisierung ist fehlgeschlagen";
inline constexpr const char* RRTextEventNotifyFailed = "Ein Ereignis konnte nicht ausgelöst werden";

// ---- errors ----

// A section that cannot be read (besides the stream's own read error for short data): the
// message is German and names what was wrong.
class EEventSectionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// A condition or action class name that no class is registered for.
class EUnknownEventClass : public EEventSectionError {
 public:
  using EEventSectionError::EEventSectionError;
};

// ---- ID references ----

// References to 32-bit ID fields inside conditions, actions, events or groups, each with the
// value it had when collected and a staged new value (0 at collection). A record is valid while
// the object holding the field lives.
class TRRIDAccessList {
 public:
  struct TRRIDAccess {
    int32_t* Field;
    int32_t OldValue;
    int32_t NewValue;
  };

  void Add(int32_t& field) { FItems.push_back({&field, field, 0}); }
  int Count() const { return static_cast<int>(FItems.size()); }
  const TRRIDAccess& Item(int index) const { return FItems.at(static_cast<size_t>(index)); }
  TRRIDAccess& Item(int index) { return FItems.at(static_cast<size_t>(index)); }
  // Every record whose collected value equals oldID stages newID.
  void Map(int32_t oldID, int32_t newID);
  // Every record writes its staged value into its field.
  void Apply();
  void Clear() { FItems.clear(); }

 private:
  std::vector<TRRIDAccess> FItems;
};

// ---- countdowns ----

struct TRRCountdownInfo {
  float Duration = 0;  // seconds
  uint8_t AutoRestart = 0;
  float Remaining = 0;  // seconds
};

// Countdown names compare ignoring case (ASCII and the Latin letters).
struct TRRCountdownNameLess {
  bool operator()(const std::string& a, const std::string& b) const;
};
using TRRCountdownList = std::map<std::string, TRRCountdownInfo, TRRCountdownNameLess>;

// ---- events ----

using TRRActionList = std::vector<std::unique_ptr<TRRAction>>;

class TRREvent {
 public:
  // Name "Neues Ereignis", ID 0, enabled, no condition, no actions.
  explicit TRREvent(TRREventManager* manager = nullptr);
  ~TRREvent();
  TRREvent(const TRREvent&) = delete;
  TRREvent& operator=(const TRREvent&) = delete;

  TRREventManager* Manager() const { return FManager; }
  TRREventGroup* Parent() const { return FParent; }
  // Position in the parent's event list; -1 until inserted.
  int Index() const { return FIndex; }

  const std::string& Name() const { return FName; }
  void SetName(std::string name) { FName = std::move(name); }
  int32_t ID() const { return FID; }
  void SetID(int32_t id) { FID = id; }
  // The stored byte; any value other than 0 counts as enabled.
  uint8_t EnabledByte() const { return FEnabled; }
  bool Enabled() const { return FEnabled != 0; }
  void SetEnabled(bool enabled) { FEnabled = enabled ? 1 : 0; }

  TRRCondition* Condition() const { return FCondition.get(); }
  // Frees the old condition; the new one (may be null) belongs to this event.
  void SetCondition(std::unique_ptr<TRRCondition> condition);

  int ActionCount() const { return static_cast<int>(FActions.size()); }
  TRRAction* Action(int index) const { return FActions.at(static_cast<size_t>(index)).get(); }
  TRRAction* AddAction(std::unique_ptr<TRRAction> action);
  TRRAction* InsertAction(int index, std::unique_ptr<TRRAction> action);
  std::unique_ptr<TRRAction> ExtractAction(int index);
  void ExchangeActions(int a, int b);

  // Event layout: name, ID, enabled byte, condition class name (empty: none) and fields, action
  // count and per action class name and fields. Reading replaces name, ID, enabled flag,
  // condition and actions; on failure the event is left as it was.
  void ReadFromStream(gx::TGXStream& s, int32_t version);
  void WriteToStream(gx::TGXStream& s) const;
  // A deep copy (ID included) without parent.
  std::unique_ptr<TRREvent> Clone() const;
  // Takes name, ID, enabled flag, condition and actions of other (deep copies).
  void Assign(const TRREvent& other);

  // The ID fields the condition and the actions refer to.
  void CollectEntityIDs(TRRIDAccessList& list);
  void CollectEventIDs(TRRIDAccessList& list);

 private:
  friend class TRREventGroup;
  friend class TRREventManager;
  void SetManagerRecursive(TRREventManager* manager);
  // Taken out of the tree: its actions leave the queue and it belongs to no manager.
  void LeaveManager();

  TRREventManager* FManager;
  TRREventGroup* FParent = nullptr;
  int FIndex = -1;
  std::string FName;
  int32_t FID = 0;
  uint8_t FEnabled = 1;
  std::unique_ptr<TRRCondition> FCondition;
  TRRActionList FActions;
};

using TRREventList = std::vector<std::unique_ptr<TRREvent>>;

// ---- groups ----

class TRREventGroup;
using TRREventGroupList = std::vector<std::unique_ptr<TRREventGroup>>;

class TRREventGroup {
 public:
  // Name "Ereignisgruppe", ID 0, enabled, empty.
  explicit TRREventGroup(TRREventManager* manager = nullptr);
  ~TRREventGroup();
  TRREventGroup(const TRREventGroup&) = delete;
  TRREventGroup& operator=(const TRREventGroup&) = delete;

  TRREventManager* Manager() const { return FManager; }
  TRREventGroup* Parent() const { return FParent; }
  int Index() const { return FIndex; }

  const std::string& Name() const { return FName; }
  void SetName(std::string name) { FName = std::move(name); }
  int32_t ID() const { return FID; }
  void SetID(int32_t id) { FID = id; }
  uint8_t EnabledByte() const { return FEnabled; }
  bool Enabled() const { return FEnabled != 0; }
  void SetEnabled(bool enabled) { FEnabled = enabled ? 1 : 0; }

  int EventCount() const { return static_cast<int>(FEvents.size()); }
  TRREvent* Event(int index) const { return FEvents.at(static_cast<size_t>(index)).get(); }
  // index is clamped to 0...EventCount.
  TRREvent* InsertEvent(int index, std::unique_ptr<TRREvent> event);
  TRREvent* AddEvent(std::unique_ptr<TRREvent> event);
  std::unique_ptr<TRREvent> ExtractEvent(int index);
  std::unique_ptr<TRREvent> ExtractEvent(TRREvent* event);

  int GroupCount() const { return static_cast<int>(FGroups.size()); }
  TRREventGroup* Group(int index) const { return FGroups.at(static_cast<size_t>(index)).get(); }
  // index is clamped to 0...GroupCount. Raises EInvalidCall when the nesting would exceed
  // RRMaxEventGroupDepth (the tree could not be read back).
  TRREventGroup* InsertGroup(int index, std::unique_ptr<TRREventGroup> group);
  TRREventGroup* AddGroup(std::unique_ptr<TRREventGroup> group);
  // An extracted event or group belongs to no manager (its queued actions are dropped) until it
  // is inserted again.
  std::unique_ptr<TRREventGroup> ExtractGroup(int index);
  std::unique_ptr<TRREventGroup> ExtractGroup(TRREventGroup* group);
  // Moves this group to position 0 of target. Does nothing for the root, when target is this
  // group or lies below it (the subtree would cut itself off), or when the nesting would become
  // too deep; returns whether it moved.
  bool MoveTo(TRREventGroup* target);

  // Nesting level: 0 for a group without parent.
  int Depth() const;
  // Levels of sub-groups below this group: 0 without sub-groups.
  int Height() const;
  // True when group is this group or lies below it.
  bool Contains(const TRREventGroup* group) const;

  // Group layout: name, ID, enabled byte, event count and events, sub-group count and
  // sub-groups. With skipHeader the name is read and the ID and enabled byte are skipped (this
  // group keeps its own). Reading appends the events and sub-groups read; on failure nothing
  // is appended.
  void ReadFromStream(gx::TGXStream& s, int32_t version, bool skipHeader = false);
  void WriteToStream(gx::TGXStream& s) const;
  std::unique_ptr<TRREventGroup> Clone() const;

  // Depth first: the group's events before its sub-groups.
  void ForEachEvent(const std::function<void(TRREvent&)>& fn);
  void ForEachGroup(const std::function<void(TRREventGroup&)>& fn);  // this group first
  void CollectEntityIDs(TRRIDAccessList& list);
  void CollectEventIDs(TRRIDAccessList& list);

 private:
  friend class TRREventManager;
  void ReadBody(gx::TGXStream& s, int32_t version, int depth);
  void SetManagerRecursive(TRREventManager* manager);
  // Out of the list, still this manager's (moving a group keeps its actions queued).
  std::unique_ptr<TRREventGroup> DetachGroup(int index);
  void Renumber();

  TRREventManager* FManager;
  TRREventGroup* FParent = nullptr;
  int FIndex = -1;
  std::string FName;
  int32_t FID = 0;
  uint8_t FEnabled = 1;
  TRREventList FEvents;
  TRREventGroupList FGroups;
};

// ---- the manager ----

class TRREventManager : public IRREntityRemapListener {
 public:
  // A root group "Ereignisse" with a fresh ID, no countdowns, nothing pending.
  TRREventManager();
  ~TRREventManager() override;
  TRREventManager(const TRREventManager&) = delete;
  TRREventManager& operator=(const TRREventManager&) = delete;

  TRREventGroup& Root() const { return *FRoot; }
  // Back to the state of a new manager.
  void Clear();

  // ---- file section ----

  // The root group, then the countdown count and per running countdown (in name order) name,
  // duration, auto-restart byte and remaining - duration.
  void SaveToStream(gx::TGXStream& s) const;
  // version is the project file's version: above RREventOldFormMaxVersion the tree form, else
  // the flat form (event count and events, appended to the root). Without merge the manager's
  // tree and countdowns are replaced by what was read; with merge (tree form) the stored root's
  // name is read, its ID and enabled byte skipped, its events and sub-groups appended to this
  // root, and the countdowns started. Raises the stream's read error for short or oversized
  // data and EEventSectionError for content that cannot be read; the manager is then unchanged.
  void LoadFromStream(gx::TGXStream& s, int32_t version, bool merge = false);

  // A deep copy (through the stream form: IDs and countdowns included, nothing pending).
  std::unique_ptr<TRREventManager> Clone() const;
  // Becomes a deep copy of other.
  void Assign(const TRREventManager& other);
  // Takes over the events of an imported project file read into `imported` (whose entity IDs
  // were already renumbered): fresh IDs drawn against this manager with references following
  // them, countdown names made unique against this manager, then appended to this tree.
  // `imported` is changed on the way.
  void MergeImported(TRREventManager& imported);

  // ---- IDs ----

  // A random start, then the next number (wrapping, skipping 0 and -1) that no event or group
  // uses.
  int32_t NewID() const;
  // count distinct new IDs, none used by an event or group nor in `exclude`.
  std::vector<int32_t> NewIDs(int count, const std::vector<int32_t>& exclude = {}) const;
  // Depth first from the root (a group's events before its sub-groups); null when none.
  TRREventGroup* FindGroup(int32_t id) const;
  TRREvent* FindEvent(int32_t id) const;
  // Re-identifies the given event alone, or every event and group from group down (the root
  // when null), with IDs drawn from source; event references among the targets' events that
  // named a target's old ID are rewritten to its new ID.
  void AssignNewIDs(const TRREventManager& source, TRREventGroup* group = nullptr, TRREvent* event = nullptr);

  // ---- countdowns ----

  const TRRCountdownList& Countdowns() const { return FCountdowns; }
  const TRRCountdownInfo* FindCountdown(std::string_view name) const;
  // Re-initialises a running countdown of that name (ignoring case) or adds one; remaining :=
  // duration + offset.
  void StartCountdown(const std::string& name, bool autoRestart, float offset, float duration);
  void StopCountdown(std::string_view name);
  // Renames the running countdown and every countdown condition and start/stop action naming
  // oldName (ignoring case); nothing when the names are equal.
  void RenameCountdown(const std::string& oldName, const std::string& newName);
  // A countdown of that name runs, or a countdown condition or start/stop action names it.
  bool IsCountdownNameUsed(std::string_view name) const;
  // Stops every running countdown no countdown condition names.
  void RemoveUnusedCountdowns();
  // Renames this manager's countdowns that target uses as well: name + n with the first n >= 2
  // free here and in target.
  void MakeCountdownNamesUnique(const TRREventManager& target);

  // ---- references ----

  void CollectEntityIDs(TRRIDAccessList& list) const;
  void CollectEventIDs(TRRIDAccessList& list) const;
  bool IsEntityReferenced(int32_t entityID) const;

  // Entity renumbering (load and import): every positive entity reference of every event is
  // collected at BeginRemap and written at EndRemap: the new ID of its entity, or 0 when its
  // entity was not renumbered. -1 and 0 ("any", "none") stay. Use it only on a manager whose
  // entities are all being renumbered.
  void BeginRemap() override;
  void Remap(int32_t oldID, int32_t newID) override;
  void EndRemap() override;

  // ---- lists for the editor ----

  // Every group by its name and each of its events by two blanks and its name, depth first.
  std::vector<std::pair<std::string, int32_t>> EventAndGroupOptions() const;
  // Names used by start and stop countdown actions: trimmed, not empty, sorted ignoring case,
  // without duplicates.
  std::vector<std::string> ActionCountdownNames() const;
  // All conditions or actions of exactly or derived from class T (in tree order).
  template <class T>
  std::vector<T*> ConditionsOf() const;
  template <class T>
  std::vector<T*> ActionsOf() const;

  void ForEachEvent(const std::function<void(TRREvent&)>& fn) const { FRoot->ForEachEvent(fn); }
  void ForEachGroup(const std::function<void(TRREventGroup&)>& fn) const { FRoot->ForEachGroup(fn); }

  // ---- simulation ----

  // The one entry for changes of the model: first the automation hook, then every enabled event
  // (in an enabled group, all the way up) whose condition is of exactly the kind's class and
  // matches appends its actions to the queue, in the order of the tree walk (a group's events,
  // then its sub-groups). Nothing runs here.
  void Notify(TRRConditionKind kind, const TRREventNotification& notification);
  // Counts every running countdown down by dt (not finite or negative: 0); the expired ones
  // notify in ascending name order, and those with auto-restart start again carrying the
  // overshoot (modulo the duration; a duration of 0 restarts at 0 and expires once per tick).
  void TickCountdowns(float dt);
  // Runs the queue once: it is swapped for an empty one first, so what the actions raise waits
  // for the next frame. A failing action is reported (once per kind of failure) and the rest run.
  void ExecutePendingActions(IRREntityManager* entities);
  // Queued actions (not owned): waiting, and being executed (an entry is null once its action
  // left the tree).
  const std::vector<TRRAction*>& PendingActions() const { return FPendingActions; }
  // Call after changing condition fields in place (the editor's properties): the lookup of
  // conditions by subject is built again before the next notification. Every change through
  // this manager's, the groups', the events' and the conditions' own functions does this itself.
  void TreeChanged() { ++FTreeRevision; }
  // Where failures of actions, of the hook and of notifications raised by countdowns are told,
  // each kind of failure once per manager (German text, then the exception's message).
  void SetErrorReporter(std::function<void(const std::string&)> reporter) { FErrorReporter = std::move(reporter); }
  // Told about every action executed, with what it did (for the run log).
  using TRRActionObserver = std::function<void(const TRRAction&, const std::string& effect)>;
  void SetActionObserver(TRRActionObserver observer) { FActionObserver = std::move(observer); }
  // Told about every notification this manager receives, after the hook (for the run log: the
  // countdowns' and the enable actions' own notifications reach nobody else).
  using TRRNotifyObserver = std::function<void(TRRConditionKind, const TRREventNotification&)>;
  void SetNotifyObserver(TRRNotifyObserver observer) { FNotifyObserver = std::move(observer); }

  // One process-wide hook that sees every notification first (the automation interface). Its
  // owner sets and clears it and must not outlive it; an empty function clears it.
  using TRRNotifyHook = std::function<void(TRRConditionKind, const TRREventNotification&)>;
  static void SetNotifyHook(TRRNotifyHook hook);

  // Takes the action out of the queue (the waiting part and the part being executed).
  void Unqueue(const TRRAction* action);

 private:
  // Gives fresh IDs to read items that carry 0, -1, a duplicate or (merge) an ID of this tree.
  void SettleReadIDs(TRREventGroup& read, bool includeRoot, const std::unordered_set<int32_t>& existing);
  void ReadCountdowns(gx::TGXStream& s, TRRCountdownList& out);
  TRRCountdownList::iterator FindCountdownIt(std::string_view name);

  // The events whose condition waits for one subject, by kind (in tree-walk order), built on
  // the first notification after a change of the tree.
  void BuildNotifyIndex();
  void Report(const std::string& kind, const std::string& text);
  void UnqueueAll();

  std::unique_ptr<TRREventGroup> FRoot;
  TRRCountdownList FCountdowns;
  std::vector<TRRAction*> FPendingActions;
  std::vector<TRRAction*> FExecuting;
  bool FExecutingNow = false;
  uint64_t FTreeRevision = 1;
  uint64_t FIndexRevision = 0;
  std::unordered_map<int32_t, std::vector<TRREvent*>> FIndexByID[RRConditionKindCount];
  std::unordered_map<std::string, std::vector<TRREvent*>> FIndexByName;
  std::function<void(const std::string&)> FErrorReporter;
  TRRActionObserver FActionObserver;
  TRRNotifyObserver FNotifyObserver;
  std::unordered_set<std::string> FReported;
  TRRIDAccessList FRemapRefs;
  std::unordered_map<int32_t, int32_t> FRemapTable;
  bool FRemapping = false;
};

template <class T>
std::vector<T*> TRREventManager::ConditionsOf() const {
  std::vector<T*> out;
  ForEachEvent([&](TRREvent& e) {
    if (auto* c = dynamic_cast<T*>(e.Condition())) out.push_back(c);
  });
  return out;
}

template <class T>
std::vector<T*> TRREventManager::ActionsOf() const {
  std::vector<T*> out;
  ForEachEvent([&](TRREvent& e) {
    for (int i = 0; i < e.ActionCount(); ++i)
      if (auto* a = dynamic_cast<T*>(e.Action(i))) out.push_back(a);
  });
  return out;
}

}  // namespace rr
