// The gap solver. Worst case: five pieces from the largest base track system (the one of
// data/tracks/*.xml with the most straights and curves, read by the catalogue reader), a gap within
// reach that no combination closes, so neither search stops early: the plain search (the
// baseline) and the fast one in the same run (goal: fast at least 100 times faster). Then a
// generated system of 150 candidates, fast only (goal: under 5 s), and how long a cancel takes
// while either search runs (goal: under 200 ms).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "app/entities/RREntityDescription.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackCatalogue.h"
#include "app/entities/track/RRTrackSolver.h"

namespace {

struct TSystem {
  std::string Name;
  std::vector<rr::TSolutionTrack> Candidates;
};

// The base system with the most candidates; its descriptions live as long as the program.
const TSystem& LargestSystem() {
  static std::vector<rr::TRRTrackSystemDefinition> definitions;
  static TSystem best;
  if (!best.Candidates.empty()) return best;
  for (const auto& e :
       std::filesystem::directory_iterator(std::filesystem::path(VELMORA_SOURCE_DIR) / "data/tracks")) {
    if (e.path().extension() != ".xml") continue;
    std::ifstream in(e.path(), std::ios::binary);
    definitions.push_back(rr::RRReadTrackSystem(std::string(std::istreambuf_iterator<char>(in), {}),
                                                e.path().filename().string()));
  }
  for (const auto& d : definitions) {
    rr::TRREntityDescriptionList list(false);
    for (const auto& p : d.Pieces) list.Add(p.get());
    auto candidates = rr::RRSolutionCandidates(list, d.SystemName, d.TrackWidth);
    if (candidates.size() > best.Candidates.size()) best = {d.SystemName, std::move(candidates)};
  }
  return best;
}

rr::TRRSolverProblem ProblemOf(std::vector<rr::TSolutionTrack> candidates, gx::TGXVector3 target) {
  rr::TRRSolverProblem p;
  p.Candidates = std::move(candidates);
  p.Target = target;
  p.MaxPieces = 5;
  p.Tolerance = 0.2f;
  return p;
}

// A gap within reach that has no solution: two units ahead, nearer than the shortest piece, and
// the pieces turn too little to come back (checked in the fast benchmark).
const rr::TRRSolverProblem& WorstCase() {
  static const rr::TRRSolverProblem problem = ProblemOf(LargestSystem().Candidates, {0, 0, 2});
  return problem;
}

// 50 straights and 50 curves (each also entered from its end): 150 candidates, and a gap two
// units ahead, nearer than the shortest piece reaches, so nothing closes it.
const rr::TRRSolverProblem& Generated() {
  static rr::TRRSolverProblem problem = [] {
    std::vector<rr::TSolutionTrack> c;
    for (int i = 0; i < 50; ++i) c.push_back({nullptr, 5 + 0.5f * float(i), 0, 0, 0, 0});
    for (int i = 0; i < 50; ++i) {
      const float angle = 0.1f + 0.01f * float(i), radius = 30 + 1.3f * float(i);
      c.push_back({nullptr, 0, angle, radius, 0, 0});
      c.push_back({nullptr, 0, -angle, -radius, 0, 1});
    }
    return ProblemOf(std::move(c), {0, 0, 2});
  }();
  return problem;
}

void Search(benchmark::State& state, const rr::TRRSolverProblem& p, bool fast) {
  size_t solutions = 0;
  for (auto _ : state) {
    const auto list = fast ? rr::RRSolveGap(p) : rr::RRSolveGapPlain(p);
    solutions = list.size();
    benchmark::DoNotOptimize(list.data());
  }
  const double total = double(rr::RRSolverTotal(p.Candidates.size(), p.MaxPieces));
  state.counters["candidates"] = double(p.Candidates.size());
  state.counters["combinations"] = total;
  state.counters["solutions"] = double(solutions);
  state.counters["combinations/s"] = benchmark::Counter(total, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_WorstCasePlain(benchmark::State& state) { Search(state, WorstCase(), false); }
void BM_WorstCaseFast(benchmark::State& state) {
  // Both searches must agree on the case they are measured on.
  if (!rr::RRSolveGap(WorstCase()).empty() || !rr::RRSolveGapPlain(WorstCase()).empty())
    state.SkipWithError("the worst case has solutions");
  Search(state, WorstCase(), true);
}
void BM_Generated150Fast(benchmark::State& state) { Search(state, Generated(), true); }

// From Cancel to the thread's end, a little after the start (the generated system keeps either
// search busy for far longer).
void BM_CancelLatency(benchmark::State& state) {
  const bool fast = state.range(0) != 0;
  double worst = 0;
  for (auto _ : state) {
    rr::TSolutionThread thread;
    thread.Start(Generated(), fast);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const auto start = std::chrono::steady_clock::now();
    thread.Cancel();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    worst = std::max(worst, seconds);
    state.SetIterationTime(seconds);
  }
  state.counters["worst ms"] = worst * 1000;
}

}  // namespace

BENCHMARK(BM_WorstCasePlain)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_WorstCaseFast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Generated150Fast)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_CancelLatency)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
