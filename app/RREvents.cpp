#include "app/RREvents.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <unordered_set>

#include "app/RREventActions.h"
#include "app/RREventConditions.h"
#include "engine/core/GXException.h"
#include "engine/core/GXSerialization.h"
#include "engine/core/GXStrings.h"

namespace rr {

using gx::ReadAnsiString;
using gx::ReadByte;
using gx::ReadCount;
using gx::ReadInteger;
using gx::ReadSingle;
using gx::WriteAnsiString;
using gx::WriteByte;
using gx::WriteInteger;
using gx::WriteSingle;

namespace {

// Smallest stored forms, for checking counts against the bytes that remain: an event or a group
// is at least name length, ID, enabled byte and two 4-byte fields (condition class name length
// and action count, or the two counts); an action at least a one-character class name and a
// 4-byte field; a countdown a name length, duration, flag and offset.
constexpr int64_t MinEventSize = 4 + 4 + 1 + 4 + 4;
constexpr int64_t MinGroupSize = 4 + 4 + 1 + 4 + 4;
constexpr int64_t MinActionSize = 4 + 1 + 4;
constexpr int64_t MinCountdownSize = 4 + 4 + 1 + 4;

// Class names from a hostile file can be long or binary; the message shows a bounded, printable
// excerpt.
std::string ShownClassName(const std::string& name) {
  std::string shown;
  for (size_t i = 0; i < name.size() && shown.size() < 64; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    shown += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
  }
  if (shown.size() < name.size()) shown += "...";
  return shown.empty() ? "\"\"" : shown;
}

bool IsValidID(int32_t id) { return id != 0 && id != -1; }

// The next candidate after id: wrapping, never 0 or -1.
int32_t NextCandidate(int32_t id) {
  int64_t next = static_cast<int64_t>(id) + 1;
  if (next > INT32_MAX) next = INT32_MIN;
  if (next == -1) next = 1;
  return static_cast<int32_t>(next);
}

int32_t RandomStart() {
  thread_local std::mt19937 generator{std::random_device{}()};
  return std::uniform_int_distribution<int32_t>(0, 0x7FFFFFFE)(generator);
}

// A fresh ID not in taken; it is added to taken.
int32_t DrawID(std::unordered_set<int32_t>& taken) {
  int32_t id = RandomStart();
  do id = NextCandidate(id);
  while (taken.count(id));
  taken.insert(id);
  return id;
}

void CollectTreeIDs(TRREventGroup& root, std::unordered_set<int32_t>& ids) {
  root.ForEachGroup([&](TRREventGroup& g) { ids.insert(g.ID()); });
  root.ForEachEvent([&](TRREvent& e) { ids.insert(e.ID()); });
}

}  // namespace

// ---- TRRIDAccessList ----

void TRRIDAccessList::Map(int32_t oldID, int32_t newID) {
  for (TRRIDAccess& a : FItems)
    if (a.OldValue == oldID) a.NewValue = newID;
}

void TRRIDAccessList::Apply() {
  for (TRRIDAccess& a : FItems) *a.Field = a.NewValue;
}

bool TRRCountdownNameLess::operator()(const std::string& a, const std::string& b) const {
  return gx::CompareText(a, b) < 0;
}

// ---- TRREvent ----

TRREvent::TRREvent(TRREventManager* manager) : FManager(manager), FName(RRTextNewEventName) {}

TRREvent::~TRREvent() = default;

void TRREvent::SetCondition(std::unique_ptr<TRRCondition> condition) {
  if (condition) condition->SetEvent(this);
  FCondition = std::move(condition);
  if (FManager) FManager->TreeChanged();
}

TRRAction* TRREvent::AddAction(std::unique_ptr<TRRAction> action) {
  return InsertAction(ActionCount(), std::move(action));
}

TRRAction* TRREvent::InsertAction(int index, std::unique_ptr<TRRAction> action) {
  if (!action)
    throw gx::EInvalidParameter({gx::TGXExceptionArg::Object("TRREvent"), "InsertAction", "No action"});
  index = std::clamp(index, 0, ActionCount());
  action->SetEvent(this);
  return FActions.insert(FActions.begin() + index, std::move(action))->get();
}

std::unique_ptr<TRRAction> TRREvent::ExtractAction(int index) {
  std::unique_ptr<TRRAction> a = std::move(FActions.at(static_cast<size_t>(index)));
  FActions.erase(FActions.begin() + index);
  if (FManager) FManager->Unqueue(a.get());
  a->SetEvent(nullptr);
  return a;
}

void TRREvent::ExchangeActions(int a, int b) {
  std::swap(FActions.at(static_cast<size_t>(a)), FActions.at(static_cast<size_t>(b)));
}

void TRREvent::ReadFromStream(gx::TGXStream& s, int32_t version) {
  // Into locals first, so that a failure leaves the event as it was.
  std::string name = ReadAnsiString(s);
  int32_t id = ReadInteger(s);
  uint8_t enabled = ReadByte(s);
  std::unique_ptr<TRRCondition> condition;
  std::string className = ReadAnsiString(s);
  if (!className.empty()) {
    const TRRConditionClass* cls = RRFindConditionClass(className);
    if (!cls) throw EUnknownEventClass(RRTextUnknownEventCondition + ShownClassName(className));
    condition = cls->Create(this);
    condition->ReadFromStream(s, version);
  }
  int32_t count = ReadCount(s, MinActionSize);
  TRRActionList actions;
  actions.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    className = ReadAnsiString(s);
    const TRRActionClass* cls = RRFindActionClass(className);
    if (!cls) throw EUnknownEventClass(RRTextUnknownEventAction + ShownClassName(className));
    actions.push_back(cls->Create(this));
    actions.back()->ReadFromStream(s, version);
  }
  FName = std::move(name);
  FID = id;
  FEnabled = enabled;
  FCondition = std::move(condition);
  FActions = std::move(actions);  // the old actions leave the queue as they go
  if (FManager) FManager->TreeChanged();
}

void TRREvent::WriteToStream(gx::TGXStream& s) const {
  WriteAnsiString(s, FName);
  WriteInteger(s, FID);
  WriteByte(s, FEnabled);
  if (FCondition) {
    WriteAnsiString(s, FCondition->ClassName());
    FCondition->WriteToStream(s);
  } else {
    WriteAnsiString(s, "");
  }
  WriteInteger(s, ActionCount());
  for (const auto& a : FActions) {
    WriteAnsiString(s, a->ClassName());
    a->WriteToStream(s);
  }
}

std::unique_ptr<TRREvent> TRREvent::Clone() const {
  // Belongs to no manager until it is inserted.
  auto copy = std::make_unique<TRREvent>(nullptr);
  copy->Assign(*this);
  return copy;
}

void TRREvent::Assign(const TRREvent& other) {
  if (&other == this) return;
  gx::TGXMemoryStream m;
  other.WriteToStream(m);
  m.SetPosition(0);
  ReadFromStream(m, RREventVersionCurrent);
}

void TRREvent::CollectEntityIDs(TRRIDAccessList& list) {
  if (FCondition) FCondition->CollectEntityIDs(list);
  for (auto& a : FActions) a->CollectEntityIDs(list);
}

void TRREvent::CollectEventIDs(TRRIDAccessList& list) {
  if (FCondition) FCondition->CollectEventIDs(list);
  for (auto& a : FActions) a->CollectEventIDs(list);
}

void TRREvent::SetManagerRecursive(TRREventManager* manager) { FManager = manager; }

void TRREvent::LeaveManager() {
  if (!FManager) return;
  for (auto& a : FActions) FManager->Unqueue(a.get());
  FManager->TreeChanged();
  FManager = nullptr;
}

// ---- TRREventGroup ----

TRREventGroup::TRREventGroup(TRREventManager* manager) : FManager(manager), FName(RRTextNewGroupName) {}

TRREventGroup::~TRREventGroup() = default;

void TRREventGroup::Renumber() {
  for (size_t i = 0; i < FEvents.size(); ++i) FEvents[i]->FIndex = static_cast<int>(i);
  for (size_t i = 0; i < FGroups.size(); ++i) FGroups[i]->FIndex = static_cast<int>(i);
}

void TRREventGroup::SetManagerRecursive(TRREventManager* manager) {
  FManager = manager;
  for (auto& e : FEvents) e->SetManagerRecursive(manager);
  for (auto& g : FGroups) g->SetManagerRecursive(manager);
}

TRREvent* TRREventGroup::InsertEvent(int index, std::unique_ptr<TRREvent> event) {
  if (!event)
    throw gx::EInvalidParameter({gx::TGXExceptionArg::Object("TRREventGroup"), "InsertEvent", "No event"});
  index = std::clamp(index, 0, EventCount());
  event->FParent = this;
  event->SetManagerRecursive(FManager);
  TRREvent* e = FEvents.insert(FEvents.begin() + index, std::move(event))->get();
  Renumber();
  if (FManager) FManager->TreeChanged();
  return e;
}

TRREvent* TRREventGroup::AddEvent(std::unique_ptr<TRREvent> event) {
  return InsertEvent(EventCount(), std::move(event));
}

std::unique_ptr<TRREvent> TRREventGroup::ExtractEvent(int index) {
  std::unique_ptr<TRREvent> e = std::move(FEvents.at(static_cast<size_t>(index)));
  FEvents.erase(FEvents.begin() + index);
  e->FParent = nullptr;
  e->FIndex = -1;
  Renumber();
  // Out of the tree: its queued actions go, and it belongs to no manager until inserted again.
  e->LeaveManager();
  if (FManager) FManager->TreeChanged();
  return e;
}

std::unique_ptr<TRREvent> TRREventGroup::ExtractEvent(TRREvent* event) {
  if (!event || event->FParent != this) return nullptr;
  return ExtractEvent(event->FIndex);
}

TRREventGroup* TRREventGroup::InsertGroup(int index, std::unique_ptr<TRREventGroup> group) {
  if (!group)
    throw gx::EInvalidParameter({gx::TGXExceptionArg::Object("TRREventGroup"), "InsertGroup", "No group"});
  // A group that holds this one would end up owning itself.
  if (group->Contains(this))
    throw gx::EInvalidCall(
        {gx::TGXExceptionArg::Object("TRREventGroup"), "InsertGroup", "Group contains target"});
  if (Depth() + 1 + group->Height() > RRMaxEventGroupDepth)
    throw gx::EInvalidCall({gx::TGXExceptionArg::Object("TRREventGroup"), "InsertGroup", "Nesting too deep"});
  index = std::clamp(index, 0, GroupCount());
  group->FParent = this;
  group->SetManagerRecursive(FManager);
  TRREventGroup* g = FGroups.insert(FGroups.begin() + index, std::move(group))->get();
  Renumber();
  if (FManager) FManager->TreeChanged();
  return g;
}

TRREventGroup* TRREventGroup::AddGroup(std::unique_ptr<TRREventGroup> group) {
  return InsertGroup(GroupCount(), std::move(group));
}

std::unique_ptr<TRREventGroup> TRREventGroup::DetachGroup(int index) {
  std::unique_ptr<TRREventGroup> g = std::move(FGroups.at(static_cast<size_t>(index)));
  FGroups.erase(FGroups.begin() + index);
  g->FParent = nullptr;
  g->FIndex = -1;
  Renumber();
  if (FManager) FManager->TreeChanged();
  return g;
}

std::unique_ptr<TRREventGroup> TRREventGroup::ExtractGroup(int index) {
  std::unique_ptr<TRREventGroup> g = DetachGroup(index);
  g->ForEachEvent([](TRREvent& e) { e.LeaveManager(); });
  g->SetManagerRecursive(nullptr);
  return g;
}

std::unique_ptr<TRREventGroup> TRREventGroup::ExtractGroup(TRREventGroup* group) {
  if (!group || group->FParent != this) return nullptr;
  return ExtractGroup(group->FIndex);
}

bool TRREventGroup::MoveTo(TRREventGroup* target) {
  if (!FParent || !target || Contains(target)) return false;
  if (target->Depth() + 1 + Height() > RRMaxEventGroupDepth) return false;
  // Moved, not taken out: its queued actions stay queued.
  target->InsertGroup(0, FParent->DetachGroup(FIndex));
  return true;
}

int TRREventGroup::Depth() const {
  int depth = 0;
  for (const TRREventGroup* g = FParent; g; g = g->FParent) ++depth;
  return depth;
}

int TRREventGroup::Height() const {
  int height = 0;
  for (const auto& g : FGroups) height = std::max(height, g->Height() + 1);
  return height;
}

bool TRREventGroup::Contains(const TRREventGroup* group) const {
  for (; group; group = group->FParent)
    if (group == this) return true;
  return false;
}

void TRREventGroup::ReadBody(gx::TGXStream& s, int32_t version, int depth) {
  int32_t count = ReadCount(s, MinEventSize);
  FEvents.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    auto e = std::make_unique<TRREvent>(FManager);
    e->ReadFromStream(s, version);
    e->FParent = this;
    e->FIndex = static_cast<int>(FEvents.size());
    FEvents.push_back(std::move(e));
  }
  count = ReadCount(s, MinGroupSize);
  if (count > 0 && depth + 1 > RRMaxEventGroupDepth) throw EEventSectionError(RRTextEventGroupsTooDeep);
  FGroups.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    auto g = std::make_unique<TRREventGroup>(FManager);
    g->FName = ReadAnsiString(s);
    g->FID = ReadInteger(s);
    g->FEnabled = ReadByte(s);
    g->ReadBody(s, version, depth + 1);
    g->FParent = this;
    g->FIndex = static_cast<int>(FGroups.size());
    FGroups.push_back(std::move(g));
  }
}

void TRREventGroup::ReadFromStream(gx::TGXStream& s, int32_t version, bool skipHeader) {
  // Everything is read into a new group first, so a failure appends nothing.
  TRREventGroup read(FManager);
  read.FName = ReadAnsiString(s);
  read.FID = ReadInteger(s);
  read.FEnabled = ReadByte(s);
  read.ReadBody(s, version, Depth());
  if (!skipHeader) {
    FName = std::move(read.FName);
    FID = read.FID;
    FEnabled = read.FEnabled;
  }
  for (auto& e : read.FEvents) {
    e->FParent = this;
    FEvents.push_back(std::move(e));
  }
  for (auto& g : read.FGroups) {
    g->FParent = this;
    FGroups.push_back(std::move(g));
  }
  read.FEvents.clear();
  read.FGroups.clear();
  Renumber();
}

void TRREventGroup::WriteToStream(gx::TGXStream& s) const {
  WriteAnsiString(s, FName);
  WriteInteger(s, FID);
  WriteByte(s, FEnabled);
  WriteInteger(s, EventCount());
  for (const auto& e : FEvents) e->WriteToStream(s);
  WriteInteger(s, GroupCount());
  for (const auto& g : FGroups) g->WriteToStream(s);
}

std::unique_ptr<TRREventGroup> TRREventGroup::Clone() const {
  gx::TGXMemoryStream m;
  WriteToStream(m);
  m.SetPosition(0);
  auto copy = std::make_unique<TRREventGroup>(nullptr);
  copy->ReadFromStream(m, RREventVersionCurrent);
  return copy;
}

void TRREventGroup::ForEachEvent(const std::function<void(TRREvent&)>& fn) {
  for (auto& e : FEvents) fn(*e);
  for (auto& g : FGroups) g->ForEachEvent(fn);
}

void TRREventGroup::ForEachGroup(const std::function<void(TRREventGroup&)>& fn) {
  fn(*this);
  for (auto& g : FGroups) g->ForEachGroup(fn);
}

void TRREventGroup::CollectEntityIDs(TRRIDAccessList& list) {
  ForEachEvent([&](TRREvent& e) { e.CollectEntityIDs(list); });
}

void TRREventGroup::CollectEventIDs(TRRIDAccessList& list) {
  ForEachEvent([&](TRREvent& e) { e.CollectEventIDs(list); });
}

// ---- TRREventManager ----

TRREventManager::TRREventManager() { Clear(); }

TRREventManager::~TRREventManager() {
  // The tree goes first, with nothing queued and no manager for its actions to leave.
  UnqueueAll();
  FRoot->ForEachEvent([](TRREvent& e) { e.FManager = nullptr; });
  FRoot.reset();
}

void TRREventManager::Clear() {
  UnqueueAll();
  TreeChanged();
  FCountdowns.clear();
  FRemapRefs.Clear();
  FRemapTable.clear();
  FRemapping = false;
  FRoot = std::make_unique<TRREventGroup>(this);
  FRoot->SetName(RRTextRootGroupName);
  FRoot->SetID(NewID());
}

void TRREventManager::SaveToStream(gx::TGXStream& s) const {
  FRoot->WriteToStream(s);
  WriteInteger(s, static_cast<int32_t>(FCountdowns.size()));
  for (const auto& [name, info] : FCountdowns) {
    WriteAnsiString(s, name);
    WriteSingle(s, info.Duration);
    WriteByte(s, info.AutoRestart);
    WriteSingle(s, info.Remaining - info.Duration);
  }
}

void TRREventManager::ReadCountdowns(gx::TGXStream& s, TRRCountdownList& out) {
  int32_t count = ReadCount(s, MinCountdownSize);
  for (int32_t i = 0; i < count; ++i) {
    std::string name = ReadAnsiString(s);
    TRRCountdownInfo info;
    info.Duration = ReadSingle(s);
    info.AutoRestart = ReadByte(s);
    info.Remaining = info.Duration + ReadSingle(s);
    // A repeated name restarts the countdown, as StartCountdown would.
    out[name] = info;
  }
}

void TRREventManager::LoadFromStream(gx::TGXStream& s, int32_t version, bool merge) {
  // Read completely before anything of this manager changes.
  auto read = std::make_unique<TRREventGroup>(this);
  TRRCountdownList countdowns;
  const bool treeForm = version > RREventOldFormMaxVersion;
  if (treeForm) {
    read->FName = ReadAnsiString(s);
    read->FID = ReadInteger(s);
    read->FEnabled = ReadByte(s);
    read->ReadBody(s, version, 0);
    ReadCountdowns(s, countdowns);
  } else {
    int32_t count = ReadCount(s, MinEventSize);
    for (int32_t i = 0; i < count; ++i) {
      auto e = std::make_unique<TRREvent>(this);
      e->ReadFromStream(s, version);
      read->FEvents.push_back(std::move(e));
    }
  }

  TreeChanged();
  if (!merge) {
    if (treeForm) {
      UnqueueAll();
      FCountdowns.clear();
      SettleReadIDs(*read, true, {});
      FRoot = std::move(read);
      FRoot->FParent = nullptr;
      FRoot->FIndex = -1;
      FRoot->Renumber();
    } else {
      Clear();
      SettleReadIDs(*read, false, {FRoot->ID()});
      for (auto& e : read->FEvents) FRoot->AddEvent(std::move(e));
    }
  } else {
    std::unordered_set<int32_t> existing;
    CollectTreeIDs(*FRoot, existing);
    SettleReadIDs(*read, false, existing);
    for (auto& e : read->FEvents) FRoot->AddEvent(std::move(e));
    for (auto& g : read->FGroups) {
      g->FParent = FRoot.get();
      FRoot->FGroups.push_back(std::move(g));
    }
    read->FEvents.clear();
    read->FGroups.clear();
    FRoot->Renumber();
  }
  // As StartCountdown: a running countdown of the same name is re-initialised.
  for (auto& [name, info] : countdowns) {
    // Stored numbers that are not finite count as a countdown of 0 (NaN would never expire).
    if (!std::isfinite(info.Duration) || info.Duration < 0) info.Duration = 0;
    if (!std::isfinite(info.Remaining)) info.Remaining = info.Duration;
    FCountdowns[name] = info;
  }
}

void TRREventManager::SettleReadIDs(TRREventGroup& read, bool includeRoot,
                                    const std::unordered_set<int32_t>& existing) {
  // Groups before events, each in search order: of items sharing an ID the one that keeps it is
  // the one references resolved to (an enable action looks for a group first, then an event).
  std::vector<int32_t*> fields;
  read.ForEachGroup([&](TRREventGroup& g) {
    if (&g != &read || includeRoot) fields.push_back(&g.FID);
  });
  read.ForEachEvent([&](TRREvent& e) { fields.push_back(&e.FID); });

  std::unordered_set<int32_t> taken = existing;
  for (int32_t* f : fields) taken.insert(*f);
  std::unordered_set<int32_t> seen;
  std::unordered_map<int32_t, int32_t> moved;  // an ID of this tree -> the read item's new ID
  for (int32_t* f : fields) {
    const int32_t id = *f;
    const bool clash = existing.count(id) != 0;
    if (!IsValidID(id) || clash || seen.count(id)) {
      *f = DrawID(taken);
      if (clash && !seen.count(id)) moved[id] = *f;
    }
    seen.insert(id);
  }
  if (moved.empty()) return;
  TRRIDAccessList refs;
  read.CollectEventIDs(refs);
  for (int i = 0; i < refs.Count(); ++i)
    if (auto it = moved.find(refs.Item(i).OldValue); it != moved.end()) *refs.Item(i).Field = it->second;
}

std::unique_ptr<TRREventManager> TRREventManager::Clone() const {
  auto copy = std::make_unique<TRREventManager>();
  copy->Assign(*this);
  return copy;
}

void TRREventManager::Assign(const TRREventManager& other) {
  if (&other == this) return;
  gx::TGXMemoryStream m;
  other.SaveToStream(m);
  m.SetPosition(0);
  LoadFromStream(m, RREventVersionCurrent, false);
}

void TRREventManager::MergeImported(TRREventManager& imported) {
  // Event references that name nothing in the imported tree would otherwise come to name
  // whatever event of this project happens to carry that ID.
  // The imported root is not taken over (its content joins this root), so references to it
  // name nothing either.
  std::unordered_set<int32_t> importedIDs;
  CollectTreeIDs(*imported.FRoot, importedIDs);
  importedIDs.erase(imported.FRoot->ID());
  TRRIDAccessList refs;
  imported.CollectEventIDs(refs);
  for (int i = 0; i < refs.Count(); ++i)
    if (!importedIDs.count(refs.Item(i).OldValue)) *refs.Item(i).Field = 0;

  imported.AssignNewIDs(*this);
  imported.MakeCountdownNamesUnique(*this);
  gx::TGXMemoryStream m;
  imported.SaveToStream(m);
  m.SetPosition(0);
  LoadFromStream(m, RREventVersionCurrent, true);
}

// ---- IDs ----

int32_t TRREventManager::NewID() const { return NewIDs(1).front(); }

std::vector<int32_t> TRREventManager::NewIDs(int count, const std::vector<int32_t>& exclude) const {
  std::unordered_set<int32_t> taken(exclude.begin(), exclude.end());
  if (FRoot) CollectTreeIDs(*FRoot, taken);
  std::vector<int32_t> ids;
  ids.reserve(static_cast<size_t>(std::max(count, 0)));
  for (int i = 0; i < count; ++i) ids.push_back(DrawID(taken));
  return ids;
}

namespace {

TRREventGroup* FindGroupIn(TRREventGroup& g, int32_t id) {
  if (g.ID() == id) return &g;
  for (int i = 0; i < g.GroupCount(); ++i)
    if (TRREventGroup* found = FindGroupIn(*g.Group(i), id)) return found;
  return nullptr;
}

TRREvent* FindEventIn(TRREventGroup& g, int32_t id) {
  for (int i = 0; i < g.EventCount(); ++i)
    if (g.Event(i)->ID() == id) return g.Event(i);
  for (int i = 0; i < g.GroupCount(); ++i)
    if (TRREvent* found = FindEventIn(*g.Group(i), id)) return found;
  return nullptr;
}

}  // namespace

TRREventGroup* TRREventManager::FindGroup(int32_t id) const { return FindGroupIn(*FRoot, id); }

TRREvent* TRREventManager::FindEvent(int32_t id) const { return FindEventIn(*FRoot, id); }

void TRREventManager::AssignNewIDs(const TRREventManager& source, TRREventGroup* group, TRREvent* event) {
  std::vector<TRREvent*> events;
  std::vector<TRREventGroup*> groups;
  if (event) {
    events.push_back(event);
  } else {
    TRREventGroup* top = group ? group : FRoot.get();
    top->ForEachEvent([&](TRREvent& e) { events.push_back(&e); });
    top->ForEachGroup([&](TRREventGroup& g) { groups.push_back(&g); });
  }
  TRRIDAccessList refs;
  for (TRREvent* e : events) e->CollectEventIDs(refs);
  std::vector<int32_t> ids = source.NewIDs(static_cast<int>(events.size() + groups.size()));

  std::unordered_map<int32_t, int32_t> newIDs;
  size_t next = 0;
  auto renumber = [&](int32_t& field) {
    // 0 is "none" in references: an item that never had an ID must not capture them.
    if (IsValidID(field)) newIDs[field] = ids[next];
    field = ids[next++];
  };
  for (TRREvent* e : events) renumber(e->FID);
  for (TRREventGroup* g : groups) renumber(g->FID);
  for (int i = 0; i < refs.Count(); ++i)
    if (auto it = newIDs.find(refs.Item(i).OldValue); it != newIDs.end()) *refs.Item(i).Field = it->second;
  TreeChanged();
}

// ---- countdowns ----

TRRCountdownList::iterator TRREventManager::FindCountdownIt(std::string_view name) {
  return FCountdowns.find(std::string(name));
}

const TRRCountdownInfo* TRREventManager::FindCountdown(std::string_view name) const {
  auto it = FCountdowns.find(std::string(name));
  return it == FCountdowns.end() ? nullptr : &it->second;
}

void TRREventManager::StartCountdown(const std::string& name, bool autoRestart, float offset,
                                     float duration) {
  // A countdown that is NaN never expires and one that is negative or infinite never ends its
  // count: such numbers count as 0.
  if (!std::isfinite(duration) || duration < 0) duration = 0;
  if (!std::isfinite(offset)) offset = 0;
  TRRCountdownInfo& info = FCountdowns[name];
  info.Duration = duration;
  info.AutoRestart = autoRestart ? 1 : 0;
  info.Remaining = duration + offset;
}

void TRREventManager::StopCountdown(std::string_view name) {
  if (auto it = FindCountdownIt(name); it != FCountdowns.end()) FCountdowns.erase(it);
}

void TRREventManager::RenameCountdown(const std::string& oldName, const std::string& newName) {
  if (oldName == newName) return;
  if (auto it = FindCountdownIt(oldName); it != FCountdowns.end()) {
    TRRCountdownInfo info = it->second;
    FCountdowns.erase(it);
    FCountdowns[newName] = info;
  }
  ForEachEvent([&](TRREvent& e) {
    if (auto* c = dynamic_cast<TRRCountdownCondition*>(e.Condition()))
      if (gx::SameText(c->CountdownName(), oldName)) c->SetCountdownName(newName);
    for (int i = 0; i < e.ActionCount(); ++i) {
      if (auto* a = dynamic_cast<TRRStartCountdownAction*>(e.Action(i))) {
        if (gx::SameText(a->CountdownName(), oldName)) a->SetCountdownName(newName);
      } else if (auto* b = dynamic_cast<TRRStopCountdownAction*>(e.Action(i))) {
        if (gx::SameText(b->CountdownName(), oldName)) b->SetCountdownName(newName);
      }
    }
  });
}

bool TRREventManager::IsCountdownNameUsed(std::string_view name) const {
  if (FindCountdown(name)) return true;
  bool used = false;
  ForEachEvent([&](TRREvent& e) {
    if (used) return;
    if (auto* c = dynamic_cast<TRRCountdownCondition*>(e.Condition()))
      if (gx::SameText(c->CountdownName(), name)) used = true;
    for (int i = 0; i < e.ActionCount() && !used; ++i) {
      if (auto* a = dynamic_cast<TRRStartCountdownAction*>(e.Action(i))) {
        used = gx::SameText(a->CountdownName(), name);
      } else if (auto* b = dynamic_cast<TRRStopCountdownAction*>(e.Action(i))) {
        used = gx::SameText(b->CountdownName(), name);
      }
    }
  });
  return used;
}

void TRREventManager::RemoveUnusedCountdowns() {
  std::set<std::string, TRRCountdownNameLess> named;
  for (TRRCountdownCondition* c : ConditionsOf<TRRCountdownCondition>()) named.insert(c->CountdownName());
  for (auto it = FCountdowns.begin(); it != FCountdowns.end();) {
    if (named.count(it->first))
      ++it;
    else
      it = FCountdowns.erase(it);
  }
}

void TRREventManager::MakeCountdownNamesUnique(const TRREventManager& target) {
  std::set<std::string, TRRCountdownNameLess> names;
  for (const auto& [name, info] : FCountdowns) names.insert(name);
  for (TRRCountdownCondition* c : ConditionsOf<TRRCountdownCondition>()) names.insert(c->CountdownName());
  for (TRRStartCountdownAction* a : ActionsOf<TRRStartCountdownAction>()) names.insert(a->CountdownName());
  for (TRRStopCountdownAction* a : ActionsOf<TRRStopCountdownAction>()) names.insert(a->CountdownName());
  std::set<std::string, TRRCountdownNameLess> chosen;
  for (const std::string& name : std::vector<std::string>(names.begin(), names.end())) {
    // An empty name is an action or condition not set up yet, not a countdown.
    if (name.empty() || !target.IsCountdownNameUsed(name)) continue;
    for (int64_t n = 2;; ++n) {
      std::string candidate = name + std::to_string(n);
      if (names.count(candidate) || chosen.count(candidate) || target.IsCountdownNameUsed(candidate))
        continue;
      chosen.insert(candidate);
      RenameCountdown(name, candidate);
      break;
    }
  }
}

// ---- references ----

void TRREventManager::CollectEntityIDs(TRRIDAccessList& list) const { FRoot->CollectEntityIDs(list); }

void TRREventManager::CollectEventIDs(TRRIDAccessList& list) const { FRoot->CollectEventIDs(list); }

bool TRREventManager::IsEntityReferenced(int32_t entityID) const {
  if (entityID <= 0) return false;
  TRRIDAccessList refs;
  CollectEntityIDs(refs);
  for (int i = 0; i < refs.Count(); ++i)
    if (refs.Item(i).OldValue == entityID) return true;
  return false;
}

void TRREventManager::BeginRemap() {
  TRRIDAccessList all;
  CollectEntityIDs(all);
  FRemapRefs.Clear();
  // 0 ("none") and -1 ("any", "all") are not entities and keep their meaning.
  for (int i = 0; i < all.Count(); ++i)
    if (all.Item(i).OldValue > 0) FRemapRefs.Add(*all.Item(i).Field);
  FRemapTable.clear();
  FRemapping = true;
}

void TRREventManager::Remap(int32_t oldID, int32_t newID) {
  // Should two renumbered entities have had the same old ID, the later one keeps the references,
  // as in the entity renumbering itself.
  if (FRemapping) FRemapTable[oldID] = newID;
}

void TRREventManager::EndRemap() {
  if (!FRemapping) return;
  for (int i = 0; i < FRemapRefs.Count(); ++i) {
    auto it = FRemapTable.find(FRemapRefs.Item(i).OldValue);
    FRemapRefs.Item(i).NewValue = it == FRemapTable.end() ? 0 : it->second;
  }
  FRemapRefs.Apply();
  FRemapRefs.Clear();
  FRemapTable.clear();
  FRemapping = false;
  TreeChanged();
}

// ---- lists for the editor ----

namespace {

void AddOptions(TRREventGroup& g, std::vector<std::pair<std::string, int32_t>>& out) {
  out.emplace_back(g.Name(), g.ID());
  for (int i = 0; i < g.EventCount(); ++i) out.emplace_back("  " + g.Event(i)->Name(), g.Event(i)->ID());
  for (int i = 0; i < g.GroupCount(); ++i) AddOptions(*g.Group(i), out);
}

}  // namespace

std::vector<std::pair<std::string, int32_t>> TRREventManager::EventAndGroupOptions() const {
  std::vector<std::pair<std::string, int32_t>> out;
  AddOptions(*FRoot, out);
  return out;
}

std::vector<std::string> TRREventManager::ActionCountdownNames() const {
  std::set<std::string, TRRCountdownNameLess> names;
  auto add = [&](const std::string& name) {
    std::string_view trimmed = gx::TrimText(name);
    if (!trimmed.empty()) names.insert(std::string(trimmed));
  };
  for (TRRStartCountdownAction* a : ActionsOf<TRRStartCountdownAction>()) add(a->CountdownName());
  for (TRRStopCountdownAction* a : ActionsOf<TRRStopCountdownAction>()) add(a->CountdownName());
  return {names.begin(), names.end()};
}

}  // namespace rr
