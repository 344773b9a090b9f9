// The event system at run time: which notifications queue which actions, the once-per-frame
// execution, countdowns, and a queue that never dangles.

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/RREventActions.h"
#include "app/RREventConditions.h"
#include "app/RREvents.h"
#include "tests/app/EventTestSupport.h"

using namespace rr;
using evtest::NewEvent;
using evtest::NewGroup;
using evtest::SetCond;

namespace {

// An action that records its event's name when it runs, and does what the test asks.
struct TProbe : TRRAction {
  std::vector<std::string>* Log;
  std::function<void()> Then;
  TProbe(std::vector<std::string>* log, std::function<void()> then = {}) : Log(log), Then(std::move(then)) {}
  const char* ClassName() const override { return "TProbe"; }
  void ReadFromStream(gx::TGXStream&, int32_t) override {}
  void WriteToStream(gx::TGXStream&) const override {}
  std::unique_ptr<TRRAction> CreateNew(TRREvent*) const override { return nullptr; }
  std::string Execute(TRRActionContext&) override {
    Log->push_back(Event() ? Event()->Name() : "?");
    if (Then) Then();
    return "ok";
  }
};

TProbe* Probe(TRREvent* e, std::vector<std::string>& log, std::function<void()> then = {}) {
  return static_cast<TProbe*>(e->AddAction(std::make_unique<TProbe>(&log, std::move(then))));
}

// The names of the events whose actions wait, in queue order.
std::vector<std::string> Queued(const TRREventManager& m) {
  std::vector<std::string> out;
  for (const TRRAction* a : m.PendingActions()) out.push_back(a->Event()->Name());
  return out;
}

TRREventNotification About(int32_t subject, int32_t parameter = 0) {
  TRREventNotification n;
  n.SubjectID = subject;
  n.Parameter = parameter;
  return n;
}

TRREventNotification OnTrack(int32_t vehicle, int32_t track, int32_t route = 0) {
  TRREventNotification n;
  n.SubjectID = vehicle;
  n.TrackID = track;
  n.RouteIndex = route;
  return n;
}

TRREventNotification Countdown(const std::string& name) {
  TRREventNotification n;
  n.Name = name;
  return n;
}

}  // namespace

TEST(RREventRuntime, EachConditionMatchesItsKindBySubjectAndState) {
  TRREventManager m;
  std::vector<std::string> log;
  TRREventGroup& root = m.Root();
  auto add = [&](const std::string& name, auto* condition, auto configure) {
    TRREvent* e = NewEvent(m, root, name);
    using T = std::remove_pointer_t<decltype(condition)>;
    configure(*SetCond<T>(e));
    Probe(e, log);
  };
  add("switch 7 any", (TRRSwitchCondition*)nullptr, [](auto& c) { c.SetTrackID(7); });
  add("switch 7 route 2", (TRRSwitchCondition*)nullptr, [](auto& c) { c.SetTrackID(7), c.SetRoute(2); });
  add("signal 8 closed", (TRRSignalSwitchCondition*)nullptr, [](auto& c) { c.SetSignalID(8), c.SetState(1); });
  add("enter 9", (TRRTrackEnterCondition*)nullptr, [](auto& c) { c.SetTrackID(9); });
  add("enter 9 by 30", (TRRTrackEnterCondition*)nullptr, [](auto& c) { c.SetTrackID(9), c.SetVehicleID(30); });
  add("exit 9", (TRRTrackExitCondition*)nullptr, [](auto& c) { c.SetTrackID(9); });
  add("controller 10 on", (TRRControllerCondition*)nullptr, [](auto& c) { c.SetControllerID(10), c.SetPosition(1); });
  add("countdown", (TRRCountdownCondition*)nullptr, [](auto& c) { c.SetCountdownName("Abfahrt Süd"); });
  add("any switch", (TRRSwitchCondition*)nullptr, [](auto&) {});  // track -1 names no track
  const int32_t target = m.Root().Event(0)->ID();
  add("enabled", (TRREventEnabledCondition*)nullptr, [&](auto& c) { c.SetEventID(target), c.SetState(0); });

  struct TCase {
    TRRConditionKind Kind;
    TRREventNotification N;
    std::vector<std::string> Expected;
  };
  const std::vector<TCase> cases = {
      {TRRConditionKind::Switch, About(7, 2), {"switch 7 any", "switch 7 route 2"}},
      {TRRConditionKind::Switch, About(7, 1), {"switch 7 any"}},
      {TRRConditionKind::Switch, About(-1, 1), {}},
      {TRRConditionKind::SignalSwitch, About(8, 1), {"signal 8 closed"}},
      {TRRConditionKind::SignalSwitch, About(8, 0), {}},
      {TRRConditionKind::SignalSwitch, About(7, 1), {}},
      {TRRConditionKind::TrackEnter, OnTrack(30, 9), {"enter 9", "enter 9 by 30"}},
      {TRRConditionKind::TrackEnter, OnTrack(31, 9), {"enter 9"}},
      {TRRConditionKind::TrackEnter, OnTrack(30, 9, -1), {}},  // no route: nothing entered
      {TRRConditionKind::TrackExit, OnTrack(30, 9), {"exit 9"}},  // an entry never fires an exit
      {TRRConditionKind::Controller, About(10, 1), {"controller 10 on"}},
      {TRRConditionKind::Controller, About(10, 0), {}},
      {TRRConditionKind::Countdown, Countdown("ABFAHRT SÜD"), {"countdown"}},
      {TRRConditionKind::Countdown, Countdown("Abfahrt"), {}},
      {TRRConditionKind::EventEnabled, About(target, 0), {"enabled"}},
      {TRRConditionKind::EventEnabled, About(target, 1), {}},
      {static_cast<TRRConditionKind>(99), About(7, 2), {}},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    m.Notify(cases[i].Kind, cases[i].N);
    EXPECT_EQ(Queued(m), cases[i].Expected) << "case " << i;
    m.ExecutePendingActions(nullptr);
  }
  // A condition changed after the lookup was built is found under its new subject.
  static_cast<TRRSwitchCondition*>(m.Root().Event(1)->Condition())->SetTrackID(70);
  m.Notify(TRRConditionKind::Switch, About(70, 2));
  EXPECT_EQ(Queued(m), std::vector<std::string>{"switch 7 route 2"});
}

TEST(RREventRuntime, TreeOrderDisabledGroupsAndRepeatedMatches) {
  TRREventManager m;
  std::vector<std::string> log;
  TRREventGroup* a = NewGroup(m, m.Root(), "A");
  TRREventGroup* b = NewGroup(m, m.Root(), "B");
  TRREventGroup* a1 = NewGroup(m, *a, "A1");
  for (auto [group, name] : std::vector<std::pair<TRREventGroup*, std::string>>{
           {a1, "a1"}, {b, "b"}, {a, "a"}, {&m.Root(), "root"}}) {
    TRREvent* e = NewEvent(m, *group, name);
    SetCond<TRRSwitchCondition>(e)->SetTrackID(5);
    Probe(e, log);
    if (name == "b") Probe(e, log);  // two actions, both queued in order
  }
  auto fire = [&] {
    m.Notify(TRRConditionKind::Switch, About(5, 0));
    return Queued(m);
  };
  using V = std::vector<std::string>;
  // A group's events before its sub-groups, depth first.
  EXPECT_EQ(fire(), (V{"root", "a", "a1", "b", "b"}));
  // The same change twice queues everything twice.
  EXPECT_EQ(fire(), (V{"root", "a", "a1", "b", "b", "root", "a", "a1", "b", "b"}));
  m.ExecutePendingActions(nullptr);
  a->SetEnabled(false);
  b->Event(0)->SetEnabled(false);
  EXPECT_EQ(fire(), (V{"root"}));
}

TEST(RREventRuntime, ActionsRunOncePerFrameAndChainsAdvanceOneStepPerFrame) {
  TRREventManager m;
  std::vector<std::string> log;
  TRREvent* trigger = NewEvent(m, m.Root(), "trigger");
  SetCond<TRRSwitchCondition>(trigger)->SetTrackID(3);
  TRREvent* target = NewEvent(m, m.Root(), "target");
  target->SetEnabled(false);
  auto* enable = static_cast<TRREnableEventAction*>(trigger->AddAction(std::make_unique<TRREnableEventAction>()));
  enable->SetEventID(target->ID());
  enable->SetMode(TRREnableEventAction::ModeEnable);
  TRREvent* follow = NewEvent(m, m.Root(), "follow");
  auto* when = SetCond<TRREventEnabledCondition>(follow);
  when->SetEventID(target->ID());
  when->SetState(1);
  Probe(follow, log);

  m.Notify(TRRConditionKind::Switch, About(3));
  EXPECT_TRUE(log.empty()) << "nothing runs inside Notify";
  m.ExecutePendingActions(nullptr);  // frame 1: the enable action
  EXPECT_TRUE(target->Enabled());
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(Queued(m), std::vector<std::string>{"follow"});
  m.ExecutePendingActions(nullptr);  // frame 2: what it set off
  EXPECT_EQ(log, std::vector<std::string>{"follow"});

  // Enabling what is enabled changes nothing and tells nobody; unknown modes and IDs do nothing.
  m.Notify(TRRConditionKind::Switch, About(3));
  m.ExecutePendingActions(nullptr);
  EXPECT_TRUE(m.PendingActions().empty());
  for (auto [mode, id] : std::vector<std::pair<uint8_t, int32_t>>{{3, target->ID()}, {2, 0}, {2, 12345}}) {
    enable->SetMode(mode);
    enable->SetEventID(id);
    TRRActionContext context{nullptr, &m};
    EXPECT_EQ(enable->Execute(context), "") << int(mode);
  }
  EXPECT_TRUE(target->Enabled());
  // A toggle of a group reports the group.
  enable->SetEventID(m.Root().ID());
  enable->SetMode(TRREnableEventAction::ModeToggle);
  TRRActionContext context{nullptr, &m, true};
  EXPECT_EQ(enable->Execute(context), "deaktiviert");
  EXPECT_FALSE(m.Root().Enabled());
}

TEST(RREventRuntime, CountdownsExpireInNameOrderAndRestartWithoutDrift) {
  TRREventManager m;
  std::vector<std::string> log;
  for (const char* name : {"b", "a", "c", "zero", "broken"}) {
    TRREvent* e = NewEvent(m, m.Root(), name);
    SetCond<TRRCountdownCondition>(e)->SetCountdownName(name);
    Probe(e, log);
  }
  m.StartCountdown("c", false, 0, 1.0f);
  m.StartCountdown("b", true, 0, 1.0f);
  m.StartCountdown("a", false, 0, 0.5f);
  m.StartCountdown("zero", true, 0, 0.0f);
  m.StartCountdown("broken", false, 0, std::nanf(""));  // counts as 0: expires, never hangs
  m.TickCountdowns(0.6f);
  EXPECT_EQ(Queued(m), (std::vector<std::string>{"a", "broken", "zero"}));
  m.ExecutePendingActions(nullptr);
  m.TickCountdowns(0.7f);  // b and c at -0.3
  EXPECT_EQ(Queued(m), (std::vector<std::string>{"b", "c", "zero"}));
  ASSERT_NE(m.FindCountdown("b"), nullptr);
  EXPECT_NEAR(m.FindCountdown("b")->Remaining, 0.7f, 1e-5f) << "the overshoot carries over";
  EXPECT_EQ(m.FindCountdown("c"), nullptr);
  EXPECT_EQ(m.FindCountdown("zero")->Remaining, 0.0f) << "a zero countdown never drifts";
  m.ExecutePendingActions(nullptr);
  // A stall of many periods expires once and keeps less than one period.
  m.TickCountdowns(10.3f);
  EXPECT_EQ(Queued(m), (std::vector<std::string>{"b", "zero"}));
  EXPECT_GT(m.FindCountdown("b")->Remaining, 0.0f);
  EXPECT_LE(m.FindCountdown("b")->Remaining, 1.0f);
  m.ExecutePendingActions(nullptr);
  // Time that is not a number, or runs back, counts as none.
  const float before = m.FindCountdown("b")->Remaining;
  m.TickCountdowns(std::nanf(""));
  m.TickCountdowns(-5);
  EXPECT_EQ(m.FindCountdown("b")->Remaining, before);
}

TEST(RREventRuntime, QueuedActionsLeaveWithTheirEventsAndFailuresAreReportedOnce) {
  std::vector<std::string> log, reports;
  auto m = std::make_unique<TRREventManager>();
  m->SetErrorReporter([&](const std::string& text) { reports.push_back(text); });
  TRREvent* first = NewEvent(*m, m->Root(), "first");
  TRREvent* second = NewEvent(*m, m->Root(), "second");
  TRREventGroup* group = NewGroup(*m, m->Root(), "group");
  TRREvent* third = NewEvent(*m, *group, "third");
  for (TRREvent* e : {first, second, third}) SetCond<TRRSwitchCondition>(e)->SetTrackID(1);
  // The first action deletes the second event and the group while their actions wait in the
  // list being executed; then it fails, once per frame.
  bool deleted = false;
  Probe(first, log, [&] {
    if (!deleted) {
      m->Root().ExtractEvent(second);
      m->Root().ExtractGroup(group);
      deleted = true;
    }
    throw std::runtime_error("kaputt");
  });
  Probe(second, log);
  Probe(third, log);
  TProbe* survivor = Probe(first, log);

  m->Notify(TRRConditionKind::Switch, About(1));
  m->ExecutePendingActions(nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"first", "first"})) << "the rest ran; the deleted ones did not";
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("kaputt"), std::string::npos);
  m->Notify(TRRConditionKind::Switch, About(1));
  m->ExecutePendingActions(nullptr);
  EXPECT_EQ(reports.size(), 1u) << "the same failure is reported once";

  // A throwing hook is reported and the events still queue.
  TRREventManager::SetNotifyHook([](TRRConditionKind, const TRREventNotification&) { throw std::runtime_error("x"); });
  m->Notify(TRRConditionKind::Switch, About(1));
  TRREventManager::SetNotifyHook({});
  EXPECT_EQ(reports.size(), 2u);
  EXPECT_EQ(m->PendingActions().size(), 2u);

  // Taking out an action, replacing an event's actions or clearing drops what waits.
  std::unique_ptr<TRRAction> out = first->ExtractAction(first->ActionCount() - 1);
  EXPECT_EQ(out.get(), survivor);
  EXPECT_EQ(m->PendingActions().size(), 1u);
  m->Notify(TRRConditionKind::Switch, About(1));
  m->Clear();
  EXPECT_TRUE(m->PendingActions().empty());
  TRREvent* again = NewEvent(*m, m->Root(), "again");
  SetCond<TRRSwitchCondition>(again)->SetTrackID(1);
  Probe(again, log);
  m->Notify(TRRConditionKind::Switch, About(1));
  m.reset();  // the manager goes with actions queued
}
