// The update pass over a scene tree of 100,000 nodes (five children per node, depth 8), each
// node carrying one scene object with a box: a clean tree, 1 % of the nodes dirty (leaves only,
// and anywhere in the tree, where a dirty inner node forces its subtree), and 100 % dirty.
// "per_node" is the time per node whose matrices, inverses and bounds were recomputed.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "engine/core/GXSceneNode.h"

using namespace gx;

namespace {

constexpr int kNodes = 100000;
constexpr int kBranching = 5;

struct TBoxObject : TGXSceneObject {
  TBoxObject() { SetLocalBounds(BoxFromMinMax({-1, -1, -1}, {1, 1, 1})); }
};

struct TTree {
  std::unique_ptr<TGXSceneNode> Root;
  std::vector<TGXSceneNode*> Nodes;  // breadth-first, Nodes[0] = Root
  std::vector<int> Parent;           // index of each node's parent (-1 for the root)

  // Built level by level (the shape), then the nodes are created depth-first, the order in which
  // loading creates an entity's nodes; Scattered creates them level by level instead, so that
  // the depth-first update pass meets them far apart in memory.
  explicit TTree(bool scattered) {
    std::vector<std::vector<int>> kids(1);
    for (size_t i = 0; kids.size() < kNodes; ++i)
      for (int c = 0; c < kBranching && kids.size() < kNodes; ++c) {
        kids[i].push_back(static_cast<int>(kids.size()));
        kids.emplace_back();
      }
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> u(-1, 1);
    Nodes.assign(kNodes, nullptr);
    Parent.assign(kNodes, -1);
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
    for (size_t i = 0; i < Nodes.size(); ++i) {  // parents come before children
      if (!mark[i] && Parent[i] >= 0 && mark[static_cast<size_t>(Parent[i])]) mark[i] = 1;
      count += mark[i];
    }
    return count;
  }
};

TTree& Tree(bool scattered = false) {
  if (scattered) {
    static TTree tree(true);
    return tree;
  }
  static TTree tree(false);
  return tree;
}

// Changes the position of each chosen node (a real change, so the setter marks it).
void Touch(TTree& tree, const std::vector<int>& dirty, float& phase) {
  phase = -phase;
  for (int d : dirty) {
    TGXSceneNode* n = tree.Nodes[static_cast<size_t>(d)];
    TGXVector3 p = n->Position();
    p.x += phase;
    n->SetPosition(p);
  }
}

void Run(benchmark::State& state, const TTree& picked, const std::vector<int>& dirty) {
  TTree& tree = const_cast<TTree&>(picked);
  const int recomputed = tree.Recomputed(dirty);
  float phase = 0.001f;
  for (auto _ : state) {
    state.PauseTiming();
    Touch(tree, dirty, phase);
    state.ResumeTiming();
    benchmark::DoNotOptimize(tree.Root->Update(false));
  }
  state.counters["dirty"] = static_cast<double>(dirty.size());
  state.counters["recomputed"] = recomputed;
  // Seconds per recomputed node, shown with its unit ("80n" = 80 ns).
  state.counters["per_node"] =
      benchmark::Counter(static_cast<double>(recomputed), benchmark::Counter::kIsIterationInvariantRate |
                                                              benchmark::Counter::kInvert);
}

std::vector<int> Pick(const TTree& tree, int count, bool leavesOnly) {
  std::vector<int> candidates;
  for (size_t i = 0; i < tree.Nodes.size(); ++i)
    if (!leavesOnly || tree.Nodes[i]->ChildCount() == 0) candidates.push_back(static_cast<int>(i));
  std::mt19937 rng(2);
  std::shuffle(candidates.begin(), candidates.end(), rng);
  candidates.resize(static_cast<size_t>(count));
  return candidates;
}

// Argument 0: nodes created depth-first (as loading does); 1: scattered.
const TTree& TreeOf(const benchmark::State& state) { return Tree(state.range(0) != 0); }

void BM_UpdateCleanTree(benchmark::State& state) {
  TTree& tree = const_cast<TTree&>(TreeOf(state));
  tree.Root->Update();
  for (auto _ : state) benchmark::DoNotOptimize(tree.Root->Update(false));
  state.counters["nodes"] = kNodes;
}

void BM_Update1PercentDirtyLeaves(benchmark::State& state) {
  Run(state, TreeOf(state), Pick(TreeOf(state), kNodes / 100, true));
}

void BM_Update1PercentDirtyAnywhere(benchmark::State& state) {
  Run(state, TreeOf(state), Pick(TreeOf(state), kNodes / 100, false));
}

void BM_Update100PercentDirty(benchmark::State& state) {
  std::vector<int> all(kNodes);
  for (int i = 0; i < kNodes; ++i) all[static_cast<size_t>(i)] = i;
  Run(state, TreeOf(state), all);
}

}  // namespace

BENCHMARK(BM_UpdateCleanTree)->ArgName("scattered")->Arg(0)->Arg(1);
BENCHMARK(BM_Update1PercentDirtyLeaves)->ArgName("scattered")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Update1PercentDirtyAnywhere)->ArgName("scattered")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Update100PercentDirty)->ArgName("scattered")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
