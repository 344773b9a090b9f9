#include <gtest/gtest.h>

#include <set>

#include "app/RREventActions.h"
#include "app/RREventConditions.h"
#include "app/RREvents.h"
#include "tests/app/EventTestSupport.h"
#include "engine/core/GXException.h"
#include "engine/core/GXSerialization.h"

using namespace rr;
using evtest::Add;
using evtest::NewEvent;
using evtest::NewGroup;
using evtest::SetCond;

namespace {

std::vector<uint8_t> Bytes(const TRREventManager& m) {
  gx::TGXMemoryStream s;
  m.SaveToStream(s);
  return s.Data();
}

void Load(TRREventManager& m, const std::vector<uint8_t>& bytes, int32_t version, bool merge = false) {
  gx::TGXMemoryStream s(bytes);
  m.LoadFromStream(s, version, merge);
  EXPECT_EQ(s.Position(), s.Size()) << "section not read to its end";
}

// A tree with every condition and action class, all fields off their defaults, nested groups, a
// disabled event and group, an event without condition and two running countdowns.
struct TFullTree {
  TRREventManager M;
  TRREvent* Signals;
  TRREvent* Toggle;
  TRREventGroup* Station;

  TFullTree() {
    TRREventGroup& root = M.Root();
    Signals = NewEvent(M, root, "Signale öffnen");
    auto* sw = SetCond<TRRSwitchCondition>(Signals);
    sw->SetTrackID(11);
    sw->SetRoute(2);
    auto* r = Add<TRRSwitchTrackRouteAction>(Signals);
    r->SetTrackID(12);
    r->SetRoute(-1);
    auto* sig = Add<TRRSetSignalAction>(Signals);
    sig->SetSignalID(13);
    sig->SetState(1);
    auto* speed = Add<TRRSetVehicleSpeedAction>(Signals);
    speed->SetVehicleID(14);
    speed->SetTrackID(15);
    speed->SetSpeed(-37.5f);

    Station = NewGroup(M, root, "Bahnhof");
    Station->SetEnabled(false);
    TRREvent* enter = NewEvent(M, *Station, "Einfahrt");
    auto* te = SetCond<TRRTrackEnterCondition>(enter);
    te->SetVehicleID(21);
    te->SetTrackID(22);
    auto* st = Add<TRRStartCountdownAction>(enter);
    st->SetCountdownName("Halt");
    st->SetDuration(12.25f);
    st->SetAutoRestart(true);
    Add<TRRStopCountdownAction>(enter)->SetCountdownName("Abfahrt");

    TRREventGroup* deep = NewGroup(M, *Station, "Gleis 2");
    TRREvent* exit = NewEvent(M, *deep, "Ausfahrt");
    auto* tx = SetCond<TRRTrackExitCondition>(exit);
    tx->SetVehicleID(-1);
    tx->SetTrackID(23);
    auto* sa = Add<TRRStartAnimationAction>(exit);
    sa->SetModelID(24);
    sa->SetDirection(2);
    sa->SetStartPosition(1);
    auto* sp = Add<TRRStopAnimationAction>(exit);
    sp->SetModelID(25);
    sp->SetEndPosition(2);

    TRREvent* signal = NewEvent(M, *deep, "Signal");
    auto* sc = SetCond<TRRSignalSwitchCondition>(signal);
    sc->SetSignalID(31);
    sc->SetState(0);
    TRREvent* ctrl = NewEvent(M, *deep, "Schalter");
    auto* cc = SetCond<TRRControllerCondition>(ctrl);
    cc->SetControllerID(32);
    cc->SetPosition(1);
    ctrl->SetEnabled(false);

    Toggle = NewEvent(M, root, "Umschalten");
    auto* ec = SetCond<TRREventEnabledCondition>(Toggle);
    ec->SetEventID(Station->ID());
    ec->SetState(0);
    auto* en = Add<TRREnableEventAction>(Toggle);
    en->SetEventID(Signals->ID());
    en->SetMode(TRREnableEventAction::ModeDisable);

    TRREvent* expiry = NewEvent(M, root, "Ablauf");
    SetCond<TRRCountdownCondition>(expiry)->SetCountdownName("Halt");
    NewEvent(M, root, "Leer");

    M.StartCountdown("Halt", true, -2.5f, 12.25f);
    M.StartCountdown("abfahrt", false, 0, 4);
  }
};

}  // namespace

// ---- stream form ----

TEST(RREvents, EveryClassRoundTripsByteForByteWithItsFields) {
  TFullTree t;
  std::set<std::string> conditions, actions;
  t.M.ForEachEvent([&](TRREvent& e) {
    if (e.Condition()) conditions.insert(e.Condition()->ClassName());
    for (int i = 0; i < e.ActionCount(); ++i) actions.insert(e.Action(i)->ClassName());
  });
  ASSERT_EQ(conditions.size(), RRConditionClasses().size());
  ASSERT_EQ(actions.size(), RRActionClasses().size());

  std::vector<uint8_t> first = Bytes(t.M);
  TRREventManager read;
  Load(read, first, 12);
  EXPECT_EQ(Bytes(read), first);

  EXPECT_EQ(read.Root().Name(), "Ereignisse");
  EXPECT_EQ(read.Root().ID(), t.M.Root().ID());
  TRREvent* s = read.FindEvent(t.Signals->ID());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->Name(), "Signale öffnen");
  auto* speed = dynamic_cast<TRRSetVehicleSpeedAction*>(s->Action(2));
  ASSERT_NE(speed, nullptr);
  EXPECT_EQ(speed->VehicleID(), 14);
  EXPECT_EQ(speed->TrackID(), 15);
  EXPECT_EQ(speed->Speed(), -37.5f);
  TRREventGroup* station = read.FindGroup(t.Station->ID());
  ASSERT_NE(station, nullptr);
  EXPECT_FALSE(station->Enabled());
  EXPECT_EQ(station->Parent(), &read.Root());
  EXPECT_EQ(station->Group(0)->Event(2)->Index(), 2);
  EXPECT_EQ(station->Group(0)->Event(2)->Manager(), &read);
  const TRRCountdownInfo* halt = read.FindCountdown("HALT");
  ASSERT_NE(halt, nullptr);
  EXPECT_EQ(halt->Duration, 12.25f);
  EXPECT_EQ(halt->Remaining, 9.75f);
  EXPECT_EQ(halt->AutoRestart, 1);
  // Sorted ignoring case: "abfahrt" before "Halt".
  EXPECT_EQ(read.Countdowns().begin()->first, "abfahrt");
}

TEST(RREvents, EventLayoutFieldWidths) {
  // Modes and flags are single bytes; animation direction and positions are four.
  TRREventManager m;
  TRREvent* e = NewEvent(m, m.Root(), "E");
  e->SetID(0x01020304);
  Add<TRREnableEventAction>(e)->SetEventID(7);
  auto* sa = Add<TRRStartAnimationAction>(e);
  sa->SetModelID(9);
  sa->SetDirection(2);
  sa->SetStartPosition(1);
  gx::TGXMemoryStream s;
  e->WriteToStream(s);
  std::vector<uint8_t> expected{1, 0, 0, 0, 'E', 4, 3, 2, 1, 1, 0, 0, 0, 0, 2, 0, 0, 0};
  auto str = [&](const std::string& t) {
    for (int i = 0; i < 4; ++i) expected.push_back(static_cast<uint8_t>(t.size() >> (8 * i)));
    expected.insert(expected.end(), t.begin(), t.end());
  };
  str("TRREnableEventAction");
  expected.insert(expected.end(), {7, 0, 0, 0, 2});
  str("TRRStartAnimationAction");
  expected.insert(expected.end(), {9, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0});
  EXPECT_EQ(s.Data(), expected);
}

TEST(RREvents, FlatFormOfOldProjectFiles) {
  // Version 9: event count and events; enter conditions without vehicle, speed actions without track.
  gx::TGXMemoryStream s;
  gx::WriteInteger(s, 2);
  gx::WriteAnsiString(s, "Einfahrt");
  gx::WriteInteger(s, 77);
  gx::WriteByte(s, 1);
  gx::WriteAnsiString(s, "TRRTrackEnterCondition");
  gx::WriteInteger(s, 40);  // track
  gx::WriteInteger(s, 1);
  gx::WriteAnsiString(s, "TRRSetVehicleSpeedAction");
  gx::WriteInteger(s, 41);  // vehicle
  gx::WriteSingle(s, 20.0f);
  gx::WriteAnsiString(s, "Ausfahrt");
  gx::WriteInteger(s, 78);
  gx::WriteByte(s, 0);
  gx::WriteAnsiString(s, "TRRTrackExitCondition");
  gx::WriteInteger(s, 42);
  gx::WriteInteger(s, 0);

  TRREventManager m;
  m.StartCountdown("alt", false, 0, 1);
  NewEvent(m, m.Root(), "alt");
  Load(m, s.Data(), 9);
  EXPECT_EQ(m.Root().Name(), "Ereignisse");
  ASSERT_EQ(m.Root().EventCount(), 2);
  EXPECT_EQ(m.Root().GroupCount(), 0);
  EXPECT_TRUE(m.Countdowns().empty());
  TRREvent* in = m.Root().Event(0);
  EXPECT_EQ(in->ID(), 77);
  auto* enter = dynamic_cast<TRRTrackEnterCondition*>(in->Condition());
  ASSERT_NE(enter, nullptr);
  EXPECT_EQ(enter->VehicleID(), -1);
  EXPECT_EQ(enter->TrackID(), 40);
  auto* speed = dynamic_cast<TRRSetVehicleSpeedAction*>(in->Action(0));
  ASSERT_NE(speed, nullptr);
  EXPECT_EQ(speed->VehicleID(), 41);
  EXPECT_EQ(speed->TrackID(), -1);
  EXPECT_EQ(speed->Speed(), 20.0f);
  auto* exit = dynamic_cast<TRRTrackExitCondition*>(m.Root().Event(1)->Condition());
  ASSERT_NE(exit, nullptr);
  EXPECT_EQ(exit->VehicleID(), -1);
  EXPECT_EQ(exit->TrackID(), 42);
  EXPECT_FALSE(m.Root().Event(1)->Enabled());
  EXPECT_NE(m.Root().ID(), 77);
  EXPECT_NE(m.Root().ID(), 78);
}

// ---- bad input ----

TEST(RREvents, EveryTruncationIsRefusedAndLeavesTheManagerAlone) {
  TFullTree t;
  std::vector<uint8_t> full = Bytes(t.M);
  TRREventManager target;
  NewEvent(target, target.Root(), "bleibt");
  target.StartCountdown("bleibt", false, 0, 1);
  const std::vector<uint8_t> before = Bytes(target);
  for (size_t n = 0; n < full.size(); ++n) {
    std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(n));
    for (bool merge : {false, true}) {
      gx::TGXMemoryStream s(cut);
      EXPECT_THROW(target.LoadFromStream(s, 12, merge), gx::EGXStreamReadError) << n;
      ASSERT_EQ(Bytes(target), before) << n;
    }
  }
}

TEST(RREvents, UnknownClassesHugeCountsAndDeepNestingAreClearErrors) {
  TRREventManager m;
  TRREvent* e = NewEvent(m, m.Root(), "E");
  SetCond<TRRCountdownCondition>(e);
  Add<TRRStopCountdownAction>(e);
  std::vector<uint8_t> good = Bytes(m);

  auto replace = [](std::vector<uint8_t> b, const std::string& from, const std::string& to) {
    auto it = std::search(b.begin(), b.end(), from.begin(), from.end());
    EXPECT_NE(it, b.end());
    std::copy(to.begin(), to.end(), it);
    return b;
  };
  TRREventManager target;
  const std::vector<uint8_t> before = Bytes(target);
  try {
    Load(target, replace(good, "TRRCountdownCondition", "TRRCountdownXondition"), 12);
    FAIL();
  } catch (const EUnknownEventClass& x) {
    EXPECT_STREQ(x.what(), "Die Ereignisdaten enthalten eine unbekannte Bedingung: TRRCountdownXondition");
  }
  try {
    Load(target, replace(good, "TRRStopCountdownAction", "TRRStopCountdownActio\x01"), 12);
    FAIL();
  } catch (const EUnknownEventClass& x) {
    EXPECT_STREQ(x.what(), "Die Ereignisdaten enthalten eine unbekannte Aktion: TRRStopCountdownActio?");
  }
  EXPECT_EQ(Bytes(target), before);

  // An event count of two billion in a few bytes.
  gx::TGXMemoryStream huge;
  gx::WriteAnsiString(huge, "R");
  gx::WriteInteger(huge, 5);
  gx::WriteByte(huge, 1);
  gx::WriteInteger(huge, 0x7FFFFFF0);
  EXPECT_THROW(Load(target, huge.Data(), 12), gx::EGXStreamReadError);
  gx::TGXMemoryStream flat;
  gx::WriteInteger(flat, -1);
  EXPECT_THROW(Load(target, flat.Data(), 8), gx::EGXStreamReadError);

  // Groups nested one level deeper than allowed: each level a group with no events and one sub-group.
  gx::TGXMemoryStream deep;
  for (int level = 0; level <= RRMaxEventGroupDepth + 1; ++level) {
    gx::WriteAnsiString(deep, "G");
    gx::WriteInteger(deep, level + 1);
    gx::WriteByte(deep, 1);
    gx::WriteInteger(deep, 0);
    gx::WriteInteger(deep, level <= RRMaxEventGroupDepth ? 1 : 0);
  }
  gx::WriteInteger(deep, 0);  // countdowns
  try {
    Load(target, deep.Data(), 12);
    FAIL();
  } catch (const EEventSectionError& x) {
    EXPECT_STREQ(x.what(), "Die Ereignisgruppen sind zu tief verschachtelt.");
  }
  EXPECT_EQ(Bytes(target), before);
}

TEST(RREvents, CollidingIDsOnReadGetFreshOnesAndReferencesKeepTheirTarget) {
  // Stored: root 5, group 6, events 6 (clashes with the group), 6 again, 0; an enable action
  // naming 6 must still find the group it found before.
  gx::TGXMemoryStream s;
  auto event = [&](int32_t id, int32_t ref) {
    gx::WriteAnsiString(s, "E");
    gx::WriteInteger(s, id);
    gx::WriteByte(s, 1);
    gx::WriteAnsiString(s, "");
    gx::WriteInteger(s, 1);
    gx::WriteAnsiString(s, "TRREnableEventAction");
    gx::WriteInteger(s, ref);
    gx::WriteByte(s, 2);
  };
  gx::WriteAnsiString(s, "Ereignisse");
  gx::WriteInteger(s, 5);
  gx::WriteByte(s, 1);
  gx::WriteInteger(s, 3);
  event(6, 6);
  event(6, 5);
  event(0, 0);
  gx::WriteInteger(s, 1);
  gx::WriteAnsiString(s, "G");
  gx::WriteInteger(s, 6);
  gx::WriteByte(s, 1);
  gx::WriteInteger(s, 0);
  gx::WriteInteger(s, 0);
  gx::WriteInteger(s, 0);

  TRREventManager m;
  Load(m, s.Data(), 12);
  std::set<int32_t> ids;
  m.ForEachGroup([&](TRREventGroup& g) { EXPECT_TRUE(ids.insert(g.ID()).second); });
  m.ForEachEvent([&](TRREvent& e) { EXPECT_TRUE(ids.insert(e.ID()).second); });
  for (int32_t id : ids) {
    EXPECT_NE(id, 0);
    EXPECT_NE(id, -1);
  }
  EXPECT_EQ(m.Root().ID(), 5);
  EXPECT_EQ(m.Root().Group(0)->ID(), 6);
  auto ref = [&](int i) {
    return static_cast<TRREnableEventAction*>(m.Root().Event(i)->Action(0))->EventID();
  };
  EXPECT_EQ(ref(0), 6);
  EXPECT_EQ(ref(1), 5);
  EXPECT_EQ(ref(2), 0);

  // Merging the same section again: every item clashes with the tree; references inside the
  // merged part follow the merged items.
  Load(m, s.Data(), 12, true);
  ASSERT_EQ(m.Root().EventCount(), 6);
  ASSERT_EQ(m.Root().GroupCount(), 2);
  TRREventGroup* mergedGroup = m.Root().Group(1);
  EXPECT_NE(mergedGroup->ID(), 6);
  EXPECT_EQ(ref(3), mergedGroup->ID());
  EXPECT_EQ(ref(4), 5);  // the skipped root: the name of the target's root, which kept its ID
  ids.clear();
  m.ForEachGroup([&](TRREventGroup& g) { EXPECT_TRUE(ids.insert(g.ID()).second); });
  m.ForEachEvent([&](TRREvent& e) { EXPECT_TRUE(ids.insert(e.ID()).second); });
}

// ---- copies, IDs and merging ----

TEST(RREvents, CloneIsDeepAndIndependent) {
  TFullTree t;
  const std::vector<uint8_t> original = Bytes(t.M);
  std::unique_ptr<TRREventManager> copy = t.M.Clone();
  EXPECT_EQ(Bytes(*copy), original);

  TRREvent* e = copy->FindEvent(t.Signals->ID());
  ASSERT_NE(e, nullptr);
  EXPECT_NE(e, t.Signals);
  e->SetName("anders");
  static_cast<TRRSetSignalAction*>(e->Action(1))->SetState(0);
  e->SetCondition(nullptr);
  copy->FindGroup(t.Station->ID())->SetEnabled(true);
  copy->StopCountdown("Halt");
  NewEvent(*copy, copy->Root(), "neu");
  EXPECT_EQ(Bytes(t.M), original);

  // An event clone and Assign copy the action list, not share it.
  std::unique_ptr<TRREvent> ec = t.Signals->Clone();
  EXPECT_EQ(ec->ID(), t.Signals->ID());
  EXPECT_EQ(ec->Parent(), nullptr);
  ASSERT_EQ(ec->ActionCount(), 3);
  EXPECT_NE(ec->Action(0), t.Signals->Action(0));
  EXPECT_EQ(ec->Action(0)->Event(), ec.get());
  t.Toggle->Assign(*ec);
  EXPECT_EQ(t.Toggle->Name(), "Signale öffnen");
  EXPECT_EQ(t.Toggle->ActionCount(), 3);
  EXPECT_EQ(t.Toggle->Parent(), &t.M.Root());
}

TEST(RREvents, DuplicatingAGroupRefersToTheCopiedEvents) {
  TRREventManager m;
  TRREventGroup* g = NewGroup(m, m.Root(), "G");
  TRREvent* a = NewEvent(m, *g, "a");
  TRREvent* b = NewEvent(m, *g, "b");
  TRREvent* outside = NewEvent(m, m.Root(), "draußen");
  Add<TRREnableEventAction>(a)->SetEventID(b->ID());
  Add<TRREnableEventAction>(a)->SetEventID(outside->ID());
  SetCond<TRREventEnabledCondition>(b)->SetEventID(g->ID());

  std::unique_ptr<TRREventGroup> dup = g->Clone();
  m.AssignNewIDs(m, dup.get());
  TRREventGroup* copy = m.Root().InsertGroup(g->Index() + 1, std::move(dup));
  EXPECT_NE(copy->ID(), g->ID());
  TRREvent* a2 = copy->Event(0);
  TRREvent* b2 = copy->Event(1);
  EXPECT_NE(a2->ID(), a->ID());
  EXPECT_EQ(static_cast<TRREnableEventAction*>(a2->Action(0))->EventID(), b2->ID());
  EXPECT_EQ(static_cast<TRREnableEventAction*>(a2->Action(1))->EventID(), outside->ID());
  EXPECT_EQ(static_cast<TRREventEnabledCondition*>(b2->Condition())->EventID(), copy->ID());
  EXPECT_EQ(static_cast<TRREnableEventAction*>(a->Action(0))->EventID(), b->ID());

  // A single event: only its own ID changes.
  std::unique_ptr<TRREvent> one = a->Clone();
  m.AssignNewIDs(m, nullptr, one.get());
  EXPECT_NE(one->ID(), a->ID());
  EXPECT_EQ(static_cast<TRREnableEventAction*>(one->Action(0))->EventID(), b->ID());
}

TEST(RREvents, MergeGivesFreshIDsRewritesReferencesAndRenamesCountdowns) {
  // The project already uses Timer and Timer2; the imported tree is a copy of the project's own
  // events (so every ID clashes) plus its own Timer countdown.
  TRREventManager project;
  TRREvent* p1 = NewEvent(project, project.Root(), "p1");
  TRREvent* p2 = NewEvent(project, project.Root(), "p2");
  Add<TRREnableEventAction>(p1)->SetEventID(p2->ID());
  SetCond<TRRCountdownCondition>(p2)->SetCountdownName("Timer");
  Add<TRRStartCountdownAction>(p2)->SetCountdownName("Timer2");
  project.StartCountdown("Timer", false, 0, 3);

  std::unique_ptr<TRREventManager> imported = project.Clone();
  TRREventGroup* ig = NewGroup(*imported, imported->Root(), "Import");
  TRREvent* i3 = NewEvent(*imported, *ig, "i3");
  Add<TRRStartCountdownAction>(i3)->SetCountdownName("timer");
  Add<TRREnableEventAction>(i3)->SetEventID(123456);  // names nothing
  Add<TRREnableEventAction>(i3)->SetEventID(ig->ID());
  auto* move = Add<TRRSetVehicleSpeedAction>(i3);
  move->SetVehicleID(-1);
  move->SetTrackID(55);
  // An unrelated project event that happens to carry the dangling ID.
  NewEvent(project, project.Root(), "zufall")->SetID(123456);
  const int32_t rootID = project.Root().ID();

  project.MergeImported(*imported);
  TRREventGroup& root = project.Root();
  EXPECT_EQ(root.ID(), rootID);
  EXPECT_EQ(root.Name(), "Ereignisse");
  ASSERT_EQ(root.EventCount(), 5);
  ASSERT_EQ(root.GroupCount(), 1);
  std::set<int32_t> ids;
  project.ForEachGroup([&](TRREventGroup& g) { EXPECT_TRUE(ids.insert(g.ID()).second); });
  project.ForEachEvent([&](TRREvent& e) { EXPECT_TRUE(ids.insert(e.ID()).second); });
  EXPECT_EQ(ids.size(), 8u);

  TRREvent* m1 = root.Event(3);
  TRREvent* m2 = root.Event(4);
  EXPECT_EQ(m1->Name(), "p1");
  EXPECT_EQ(static_cast<TRREnableEventAction*>(m1->Action(0))->EventID(), m2->ID());
  EXPECT_EQ(static_cast<TRREnableEventAction*>(p1->Action(0))->EventID(), p2->ID());
  EXPECT_EQ(static_cast<TRRCountdownCondition*>(m2->Condition())->CountdownName(), "Timer3");
  EXPECT_EQ(static_cast<TRRStartCountdownAction*>(m2->Action(0))->CountdownName(), "Timer22");
  TRREvent* m3 = root.Group(0)->Event(0);
  EXPECT_EQ(static_cast<TRRStartCountdownAction*>(m3->Action(0))->CountdownName(), "Timer3");
  EXPECT_EQ(static_cast<TRREnableEventAction*>(m3->Action(1))->EventID(), 0);
  EXPECT_EQ(static_cast<TRREnableEventAction*>(m3->Action(2))->EventID(), root.Group(0)->ID());
  EXPECT_EQ(static_cast<TRRSetVehicleSpeedAction*>(m3->Action(3))->TrackID(), 55);
  EXPECT_EQ(m3->Manager(), &project);
  // The project's own countdown keeps running under its name; the imported one joins renamed.
  EXPECT_EQ(project.FindCountdown("Timer")->Duration, 3.0f);
  EXPECT_NE(project.FindCountdown("Timer3"), nullptr);
  EXPECT_EQ(project.Countdowns().size(), 2u);

  // Into a project that does not use the name, it stays.
  TRREventManager empty;
  std::unique_ptr<TRREventManager> again = project.Clone();
  empty.MergeImported(*again);
  EXPECT_NE(empty.FindCountdown("Timer"), nullptr);
}

// ---- references and the rest of the model ----

TEST(RREvents, EntityRemapRewritesEntitiesAndKeepsSentinels) {
  TFullTree t;
  EXPECT_TRUE(t.M.IsEntityReferenced(24));
  EXPECT_FALSE(t.M.IsEntityReferenced(99));
  EXPECT_FALSE(t.M.IsEntityReferenced(-1));

  TRRIDAccessList refs;
  t.M.CollectEntityIDs(refs);
  std::set<int32_t> values;
  for (int i = 0; i < refs.Count(); ++i) values.insert(refs.Item(i).OldValue);
  EXPECT_EQ(values, (std::set<int32_t>{-1, 11, 12, 13, 14, 15, 21, 22, 23, 24, 25, 31, 32}));
  TRRIDAccessList eventRefs;
  t.M.CollectEventIDs(eventRefs);
  EXPECT_EQ(eventRefs.Count(), 2);

  IRREntityRemapListener& l = t.M;
  l.BeginRemap();
  for (int32_t id : {11, 12, 13, 14, 21, 22, 23, 24, 25, 31}) l.Remap(id, id + 1000);
  l.EndRemap();
  values.clear();
  TRRIDAccessList after;
  t.M.CollectEntityIDs(after);
  for (int i = 0; i < after.Count(); ++i) values.insert(after.Item(i).OldValue);
  // 15 and 32 were not renumbered (0); the "any vehicle" of the exit condition stays -1.
  EXPECT_EQ(values, (std::set<int32_t>{-1, 0, 1011, 1012, 1013, 1014, 1021, 1022, 1023, 1024, 1025, 1031}));
  auto* exit =
      dynamic_cast<TRRTrackExitCondition*>(t.M.FindEvent(t.Station->Group(0)->Event(0)->ID())->Condition());
  EXPECT_EQ(exit->VehicleID(), -1);
  // Event references are not entity references.
  EXPECT_EQ(static_cast<TRREnableEventAction*>(t.Toggle->Action(0))->EventID(), t.Signals->ID());
}

TEST(RREvents, GroupMovesNeverCutOffASubtree) {
  TRREventManager m;
  TRREventGroup* a = NewGroup(m, m.Root(), "a");
  TRREventGroup* b = NewGroup(m, *a, "b");
  TRREventGroup* c = NewGroup(m, m.Root(), "c");
  EXPECT_FALSE(a->MoveTo(b));
  EXPECT_FALSE(a->MoveTo(a));
  EXPECT_FALSE(m.Root().MoveTo(c));
  EXPECT_EQ(b->Parent(), a);
  EXPECT_TRUE(c->MoveTo(b));
  EXPECT_EQ(c->Parent(), b);
  EXPECT_EQ(m.Root().GroupCount(), 1);
  EXPECT_EQ(a->Index(), 0);

  std::unique_ptr<TRREventGroup> detached = m.Root().ExtractGroup(a);
  EXPECT_THROW(c->AddGroup(std::move(detached)), gx::EInvalidCall);

  // A chain at the deepest level the reader accepts can be written and read back.
  TRREventManager deep;
  TRREventGroup* g = &deep.Root();
  for (int i = 0; i < RRMaxEventGroupDepth; ++i) g = NewGroup(deep, *g, "g");
  EXPECT_THROW(NewGroup(deep, *g, "zu tief"), gx::EInvalidCall);
  TRREventManager back;
  Load(back, Bytes(deep), 12);
  EXPECT_EQ(back.Root().Height(), RRMaxEventGroupDepth);
}

TEST(RREvents, CountdownNamesAndEditorLists) {
  TFullTree t;
  EXPECT_TRUE(t.M.IsCountdownNameUsed("ABFAHRT"));
  EXPECT_FALSE(t.M.IsCountdownNameUsed("Pause"));
  t.M.RenameCountdown("halt", "Stopp");
  EXPECT_EQ(t.M.FindCountdown("halt"), nullptr);
  EXPECT_EQ(t.M.FindCountdown("Stopp")->Duration, 12.25f);
  EXPECT_EQ(t.M.ConditionsOf<TRRCountdownCondition>().front()->CountdownName(), "Stopp");
  EXPECT_EQ(t.M.ActionCountdownNames(), (std::vector<std::string>{"Abfahrt", "Stopp"}));
  t.M.RemoveUnusedCountdowns();
  ASSERT_EQ(t.M.Countdowns().size(), 1u);
  EXPECT_EQ(t.M.Countdowns().begin()->first, "Stopp");

  auto options = t.M.EventAndGroupOptions();
  ASSERT_GE(options.size(), 3u);
  EXPECT_EQ(options[0].first, "Ereignisse");
  EXPECT_EQ(options[1].first, "  Signale öffnen");
  EXPECT_EQ(options[1].second, t.Signals->ID());
}
