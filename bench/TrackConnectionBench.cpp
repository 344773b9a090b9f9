// Contacts at layout scale: a closed loop of 10,000 connected tracks (two lines of 4,998
// straights joined by four quarter curves). Finding every contact's partner should take under
// 50 ms: with remembered connections each search tests a few contacts; without them (a layout
// whose IDs were lost) one contact index over the layout replaces the scan of every track, which
// is measured too for comparison. Advancing a vehicle over 1,000 km of that track in steps of
// half a metre crosses a joint at every second step.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "app/RREntityManager.h"
#include "app/RRProjectHost.h"
#include "app/RRUIService.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackConnections.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/core/GXSceneNode.h"

using namespace rr;

namespace {

constexpr int kStraightsPerSide = 4998;
constexpr float kStraight = 20;
constexpr float kRadius = 50;

struct TBenchProject : IRRProjectHost {
  gx::TGXSceneNode Root{"Root"};
  TRRScriptedUIService Ui;
  gx::TGXNode* ProjectNode() override { return &Root; }
  IRRUIService& UI() override { return Ui; }
  TRRHistory* History() override { return nullptr; }
  TRRClipboard* Clipboard() override { return nullptr; }
  void SetModified() override {}
};

struct TLayout {
  TBenchProject Project;
  std::unique_ptr<TRREntityManager> Manager = std::make_unique<TRREntityManager>(Project);
  std::vector<TRRTrack*> Tracks;
  double Length = 0;

  TLayout() {
    double x = 0, z = 0, heading = 0;
    auto place = [&](float l1, float angle, float radius) {
      TRRTrackDesc d(angle == 0 ? TRRTrackType::Straight : TRRTrackType::Curve);
      d.SetID(Manager->NextID());
      Manager->ReserveIDs(1);
      d.SetPosition({static_cast<float>(x), 0, static_cast<float>(z)});
      d.SetRotation(gx::GXQuaternionRotationAxis({0, 1, 0}, static_cast<float>(heading)));
      auto r = std::make_unique<TRRTrackRouteDesc>();
      r->L1 = l1;
      r->Angle = angle;
      r->Radius = radius;
      d.AddRoute(std::move(r));
      Tracks.push_back(static_cast<TRRTrack*>(Manager->CreateEntity(nullptr, d)));
      // The end of the piece in its own frame, turned by the heading.
      const double ex = angle == 0 ? 0 : radius - radius * std::cos(angle);
      const double ez = angle == 0 ? l1 : radius * std::sin(angle);
      x += ex * std::cos(heading) + ez * std::sin(heading);
      z += -ex * std::sin(heading) + ez * std::cos(heading);
      heading += angle;
      Length += angle == 0 ? l1 : angle * radius;
    };
    for (int side = 0; side < 2; ++side) {
      for (int i = 0; i < kStraightsPerSide; ++i) place(kStraight, 0, 0);
      place(0, gx::GX_PI / 2, kRadius);
      place(0, gx::GX_PI / 2, kRadius);
    }
    Project.Root.Update(true);
  }

  void ForgetConnections() {
    for (TRRTrack* t : Tracks)
      for (int i = 0; i < 2; ++i) t->GetRoute(0)->Contact(i)->SetConnection(0);
  }
  int FindAll() {
    int found = 0;
    for (TRRTrack* t : Tracks)
      for (int i = 0; i < 2; ++i) {
        bool blocked = false;
        found += t->GetRoute(0)->Contact(i)->FindPartner(blocked) != nullptr;
      }
    return found;
  }
};

TLayout& Layout() {
  static TLayout layout;
  return layout;
}

// Every contact with its connection remembered (the usual case after a load or a refresh).
void BM_FindAllPartnersRemembered(benchmark::State& state) {
  TLayout& l = Layout();
  RRRefreshConnections(l.Manager->Tracks());
  for (auto _ : state) benchmark::DoNotOptimize(l.FindAll());
  state.counters["contacts"] = 2.0 * static_cast<double>(l.Tracks.size());
  state.counters["connected"] = l.FindAll();
}
BENCHMARK(BM_FindAllPartnersRemembered)->Unit(benchmark::kMillisecond);

// No connection remembered: one index over the layout, built inside the timing.
void BM_FindAllPartnersIndexed(benchmark::State& state) {
  TLayout& l = Layout();
  int connected = 0;
  for (auto _ : state) {
    state.PauseTiming();
    l.ForgetConnections();
    state.ResumeTiming();
    connected = RRRefreshConnections(l.Manager->Tracks());
  }
  state.counters["connected"] = connected;
}
BENCHMARK(BM_FindAllPartnersIndexed)->Unit(benchmark::kMillisecond);

// No connection remembered and no index: every search scans the track list.
void BM_FindAllPartnersScan(benchmark::State& state) {
  TLayout& l = Layout();
  int connected = 0;
  for (auto _ : state) {
    state.PauseTiming();
    l.ForgetConnections();
    state.ResumeTiming();
    connected = l.FindAll();
  }
  state.counters["connected"] = connected;
}
BENCHMARK(BM_FindAllPartnersScan)->Unit(benchmark::kMillisecond)->Iterations(1);

// 1,000 km in steps of 0.5 m round the loop.
void BM_Advance1000km(benchmark::State& state) {
  TLayout& l = Layout();
  RRRefreshConnections(l.Manager->Tracks());
  constexpr double kTotal = 1.0e8;  // cm
  constexpr float kStep = 50;
  const int64_t steps = static_cast<int64_t>(kTotal / kStep);
  int64_t stops = 0;
  for (auto _ : state) {
    RouteLocation at{l.Tracks[0]->GetRoute(0), 0, 0, RouteLocation::Moved};
    for (int64_t i = 0; i < steps; ++i) {
      at = at.Route->Advance(at.Direction, kStep, at.Distance);
      stops += at.Status != RouteLocation::Moved;
    }
    benchmark::DoNotOptimize(at);
  }
  state.counters["laps"] = kTotal / l.Length;
  state.counters["stops"] = static_cast<double>(stops);
}
BENCHMARK(BM_Advance1000km)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
