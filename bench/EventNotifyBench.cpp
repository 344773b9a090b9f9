// The event system at layout scale: 10,000 events in 10 groups of 10 sub-groups, each waiting for
// a train to enter one of 2,000 pieces, a switch to turn or a countdown to run out. One frame is
// 1,000 notifications of trains entering pieces, the tick of 1,000 running countdowns (a few
// expire) and the execution of everything queued.
//
// Goal: one such frame <= 1 ms. For context in the same run: the same notifications matched by
// walking the whole tree for each, and 1,000 signals and 1,000 controllers animated.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "app/RREventActions.h"
#include "app/RREventConditions.h"
#include "app/RREvents.h"
#include "app/entities/RRController.h"
#include "app/entities/RRSignal.h"
#include "bench/BenchLayout.h"
#include "engine/render/GXModelWriter.h"
#include "tests/app/ModelTestSupport.h"

using namespace rr;

namespace {

constexpr int kGroups = 10, kSubGroups = 10, kEventsPerSubGroup = 100, kPieces = 2000, kCountdowns = 1000;
constexpr int kNotifications = 1000;
constexpr float kFrame = 0.04f;

// Event i: a train entering piece i % 2000 (seven in ten), a switch turning (two in ten) or a
// countdown running out (one in ten). Its action starts a countdown or sets speeds (no entities
// here, so the speed action finds none).
struct TEvents {
  TRREventManager M;
  TEvents() {
    // IDs by counting: NewID looks through the whole tree for every one it draws.
    M.Root().SetID(1);
    int32_t nextID = 2;
    int i = 0;
    for (int g = 0; g < kGroups; ++g) {
      auto group = std::make_unique<TRREventGroup>(&M);
      group->SetID(nextID++);
      TRREventGroup* top = M.Root().AddGroup(std::move(group));
      for (int s = 0; s < kSubGroups; ++s) {
        auto sub = std::make_unique<TRREventGroup>(&M);
        sub->SetID(nextID++);
        TRREventGroup* inner = top->AddGroup(std::move(sub));
        for (int e = 0; e < kEventsPerSubGroup; ++e, ++i) {
          auto event = std::make_unique<TRREvent>(&M);
          event->SetID(nextID++);
          if (i % 10 < 7) {
            auto c = std::make_unique<TRRTrackEnterCondition>();
            c->SetTrackID(1 + i % kPieces);
            event->SetCondition(std::move(c));
          } else if (i % 10 < 9) {
            auto c = std::make_unique<TRRSwitchCondition>();
            c->SetTrackID(1 + i % kPieces);
            event->SetCondition(std::move(c));
          } else {
            auto c = std::make_unique<TRRCountdownCondition>();
            c->SetCountdownName("Takt " + std::to_string(i % kCountdowns));
            event->SetCondition(std::move(c));
          }
          if (i % 2 == 0) {
            auto a = std::make_unique<TRRStartCountdownAction>();
            a->SetCountdownName("Takt " + std::to_string(i % kCountdowns));
            a->SetDuration(60 + float(i % 7));
            event->AddAction(std::move(a));
          } else {
            auto a = std::make_unique<TRRSetVehicleSpeedAction>();
            a->SetSpeed(30);
            event->AddAction(std::move(a));
          }
          inner->AddEvent(std::move(event));
        }
      }
    }
    // Running countdowns of 1 to 100 s: a few run out in every few frames.
    for (int c = 0; c < kCountdowns; ++c)
      M.StartCountdown("Takt " + std::to_string(c), true, 0, 1 + float(c % 100));
  }
};

TRREventNotification Entering(int frame, int k) {
  TRREventNotification n;
  n.SubjectID = 5000 + k % 200;
  n.TrackID = 1 + (frame * 7919 + k * 31) % kPieces;
  n.RouteIndex = 0;
  return n;
}

void BM_EventFrame(benchmark::State& state) {
  TEvents events;
  int frame = 0;
  size_t executed = 0;
  events.M.SetActionObserver([&](const TRRAction&, const std::string& effect) { (void)effect, ++executed; });
  // With a run log the actions put what they did in words; without one (the program) they do not.
  if (state.range(0) == 0) events.M.SetActionObserver({});
  for (auto _ : state) {
    for (int k = 0; k < kNotifications; ++k) events.M.Notify(TRRConditionKind::TrackEnter, Entering(frame, k));
    events.M.TickCountdowns(kFrame);
    events.M.ExecutePendingActions(nullptr);
    ++frame;
  }
  state.SetLabel(state.range(0) == 0 ? "Ziel <= 1 ms" : "mit Protokoll");
  if (state.range(0) != 0) state.counters["actions"] = double(executed) / double(state.iterations());
  state.counters["countdowns"] = double(events.M.Countdowns().size());
}
BENCHMARK(BM_EventFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->Iterations(250);

// The same notifications matched by visiting every event of the tree for each.
void BM_EventFrameByTreeWalk(benchmark::State& state) {
  TEvents events;
  int frame = 0;
  size_t queued = 0;
  for (auto _ : state) {
    for (int k = 0; k < kNotifications; ++k) {
      const TRREventNotification n = Entering(frame, k);
      events.M.ForEachEvent([&](TRREvent& e) {
        if (e.Enabled() && e.Condition() &&
            RRConditionKindOf(*e.Condition()) == static_cast<int>(TRRConditionKind::TrackEnter) &&
            e.Condition()->Matches(n))
          queued += size_t(e.ActionCount());
      });
    }
    ++frame;
  }
  state.SetLabel("Vergleich");
  state.counters["actions"] = double(queued) / double(state.iterations());
}
BENCHMARK(BM_EventFrameByTreeWalk)->Unit(benchmark::kMicrosecond)->Iterations(5);

// 1,000 signals changing state and 1,000 regulators showing their values, with an animated model.
void BM_SignalsAndControllersAnimated(benchmark::State& state) {
  benchlayout::TBenchLayout layout("event-bench", "{3E7A1C52-9B04-4D6F-8E21-7C5A0B9D4F63}");
  layout.Put("Signal.x", gx::GXWriteXFile(modeltest::Windmill(gx::EGXModelFormat::XFile)));
  std::vector<TRRSignal*> signals;
  std::vector<TRRController*> controllers;
  for (int i = 0; i < 1000; ++i) {
    TRRSignalDesc s;
    s.SetID(layout.Manager->NextID());
    layout.Manager->ReserveIDs(1);
    s.ModelFile() = {layout.Asset("Signal.x"), {}};
    s.SetPosition({float(i % 40) * 10, 0, float(i / 40) * 10});
    signals.push_back(static_cast<TRRSignal*>(layout.Manager->CreateEntity(nullptr, s)));
    TRRControllerDesc c;
    c.SetID(layout.Manager->NextID());
    layout.Manager->ReserveIDs(1);
    c.ModelFile() = {layout.Asset("Signal.x"), {}};
    c.SetPosition({float(i % 40) * 10, 0, float(i / 40) * 10 + 5});
    controllers.push_back(static_cast<TRRController*>(layout.Manager->CreateEntity(nullptr, c)));
  }
  layout.Project.Root.Update(true);
  int frame = 0;
  for (auto _ : state) {
    // Every 10th frame a tenth of the signals changes state and the regulators move.
    if (frame % 10 == 0)
      for (size_t i = size_t(frame / 10) % 10; i < signals.size(); i += 10) {
        signals[i]->SetSignalState(signals[i]->SignalState() ^ 1);
        controllers[i]->SetValue(float(frame % 100) / 100);
      }
    for (TRRSignal* s : signals) s->Animate(true, kFrame);
    for (TRRController* c : controllers) c->Animate(true, kFrame);
    layout.Project.Root.Update(false);
    ++frame;
  }
  state.SetLabel("Vergleich");
}
BENCHMARK(BM_SignalsAndControllersAnimated)->Unit(benchmark::kMicrosecond)->Iterations(250);

}  // namespace
