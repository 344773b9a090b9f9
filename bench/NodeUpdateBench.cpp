// The update pass over a scene tree (five children per node; 100,000 nodes give depth 8), each
// node carrying one scene object with a box: a clean tree, 1 % of the nodes dirty (leaves only,
// or anywhere, where a dirty inner node forces its whole subtree), and 100 % dirty.
//
// Arguments: the node count, and whether the nodes were created depth-first (0, the order in
// which loading creates an entity's nodes) or level by level (1, so that the depth-first update
// meets them scattered in memory). A small tree that fits in the caches shows the computing cost
// apart from the memory traffic.
// "per_node" is the time per node whose matrices, inverses and bounds were recomputed.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "engine/core/GXSceneNode.h"

using namespace gx;

namespace {

constexpr int kBranching = 5;

struct TBoxObject : TGXSceneObject {
  TBoxObject() { SetLocalBounds(BoxFromMinMax({-1, -1, -1}, {1, 1, 1})); }
};

struct TTree {
  std::unique_ptr<TGXSceneNode> Root;
  std::vector<TGXSceneNode*> Nodes;  // level by level; Nodes[0] = Root
  std::vector<int> Parent;           // index of each node's parent (-1 for the root)

  TTree(int count, bool scattered) {
    std::vector<std::vector<int>> kids(1);
    for (size_t i = 0; static_cast<int>(kids.size()) < count; ++i)
      for (int c = 0; c < kBranching && static_cast<int>(kids.size()) < count; ++c) {
        kids[i].push_back(static_cast<int>(kids.size()));
        kids.emplace_back();
      }
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> u(-1, 1);
    Nodes.assign(kids.size(), nullptr);
    Parent.assign(kids.size(), -1);
    Root = std::make_unique<TGXSceneNode>("Root");
    Root->AttachObject(new TBoxObject);
    Nodes[0] = Root.get();
    auto create = [&](int index, int parent) {
      auto* n = new TGXSceneNode("n", Nodes[static_cast<size_t>(parent)]);
      n->SetPosition({u(rng) * 10, u(rng) * 10, u(rng) * 10});
      n->SetRotation(GXQuaternionRotationAxis({u(rng), u(rng), u(rng)}, u(rng) * 3));
      n->SetScale({1 + u(rng) * 0.1f, 1 + u(rng) * 0.1f, 1 + u(rng) * 0.1f});
      n->AttachObject(new TBoxObject);
      Nodes[static_cast<size_t>(index)] = n;
      Parent[static_cast<size_t>(index)] = parent;
    };
    if (scattered) {
      for (size_t i = 0; i < kids.size(); ++i)
        for (int k : kids[i]) create(k, static_cast<int>(i));
    } else {
      std::vector<std::pair<int, int>> stack;  // (node, parent), pre-order
      for (auto it = kids[0].rbegin(); it != kids[0].rend(); ++it) stack.emplace_back(*it, 0);
      while (!stack.empty()) {
        auto [i, parent] = stack.back();
        stack.pop_back();
        create(i, parent);
        const auto& k = kids[static_cast<size_t>(i)];
        for (auto it = k.rbegin(); it != k.rend(); ++it) stack.emplace_back(*it, i);
      }
    }
    Root->Update();
  }

  // How many nodes an update recomputes when the given nodes are dirty: their subtrees.
  int Recomputed(const std::vector<int>& dirty) const {
    std::vector<char> mark(Nodes.size(), 0);
    for (int d : dirty) mark[static_cast<size_t>(d)] = 1;
    int count = 0;
    for (size_t i = 0; i < Nodes.size(); ++i) {  // parents come before their children
      if (!mark[i] && Parent[i] >= 0 && mark[static_cast<size_t>(Parent[i])]) mark[i] = 1;
      count += mark[i];
    }
    return count;
  }

  std::vector<int> Pick(int count, bool leavesOnly) const {
    std::vector<int> candidates;
    for (size_t i = 0; i < Nodes.size(); ++i)
      if (!leavesOnly || Nodes[i]->ChildCount() == 0) candidates.push_back(static_cast<int>(i));
    std::mt19937 rng(2);
    std::shuffle(candidates.begin(), candidates.end(), rng);
    candidates.resize(std::min(candidates.size(), static_cast<size_t>(count)));
    return candidates;
  }
};

// One tree per shape, built once (building 100,000 nodes takes longer than a measurement).
TTree& TreeOf(const benchmark::State& state) {
  static std::map<std::pair<int64_t, int64_t>, std::unique_ptr<TTree>> trees;
  auto& tree = trees[{state.range(0), state.range(1)}];
  if (!tree) tree = std::make_unique<TTree>(static_cast<int>(state.range(0)), state.range(1) != 0);
  return *tree;
}

void Run(benchmark::State& state, const std::vector<int>& dirty) {
  TTree& tree = TreeOf(state);
  const int recomputed = tree.Recomputed(dirty);
  float step = 0.001f;
  for (auto _ : state) {
    state.PauseTiming();
    step = -step;  // a real change each time, so the setter marks the node
    for (int d : dirty) {
      TGXSceneNode* n = tree.Nodes[static_cast<size_t>(d)];
      n->SetPosition(n->Position() + TGXVector3(step, 0, 0));
    }
    state.ResumeTiming();
    benchmark::DoNotOptimize(tree.Root->Update(false));
  }
  state.counters["dirty"] = static_cast<double>(dirty.size());
  state.counters["recomputed"] = recomputed;
  // Seconds per recomputed node, printed with its unit ("80n" = 80 ns).
  state.counters["per_node"] =
      benchmark::Counter(static_cast<double>(recomputed),
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_UpdateCleanTree(benchmark::State& state) {
  TTree& tree = TreeOf(state);
  tree.Root->Update();
  for (auto _ : state) benchmark::DoNotOptimize(tree.Root->Update(false));
  state.counters["nodes"] = static_cast<double>(tree.Nodes.size());
}

void BM_Update1PercentDirtyLeaves(benchmark::State& state) {
  Run(state, TreeOf(state).Pick(static_cast<int>(state.range(0) / 100), true));
}

void BM_Update1PercentDirtyAnywhere(benchmark::State& state) {
  Run(state, TreeOf(state).Pick(static_cast<int>(state.range(0) / 100), false));
}

void BM_Update100PercentDirty(benchmark::State& state) {
  std::vector<int> all(static_cast<size_t>(state.range(0)));
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
  Run(state, all);
}

}  // namespace

BENCHMARK(BM_UpdateCleanTree)->ArgNames({"nodes", "scattered"})->Args({100000, 0});
BENCHMARK(BM_Update1PercentDirtyLeaves)
    ->ArgNames({"nodes", "scattered"})
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Update1PercentDirtyAnywhere)
    ->ArgNames({"nodes", "scattered"})
    ->Args({100000, 0})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Update100PercentDirty)
    ->ArgNames({"nodes", "scattered"})
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Args({5000, 0})
    ->Unit(benchmark::kMillisecond);
