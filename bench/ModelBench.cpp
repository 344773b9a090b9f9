// Mesh and model speed, each beside a baseline in the same run:
// - reading a mesh file of 100k triangles (target below 10 ms) beside a plain copy of its bytes;
// - picking that mesh with RayIntersect (below 1 ms) beside a brute-force loop of ray-triangle
//   tests over an unindexed copy of the triangles;
// - 500 instances with 40 tracks of 3 kinds each sampled per frame (below 0.5 ms), alone and
//   with the values written into the nodes, beside the same number of bare interpolations;
// - CreateInstance of a 50-node model 5,000 times (below 100 ms) beside making as many bare
//   scene nodes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/BenchHeap.h"
#include "engine/core/GXGeometry.h"
#include "engine/core/GXSceneNode.h"
#include "engine/core/GXStream.h"
#include "engine/render/GXAnimation.h"
#include "engine/render/GXMesh.h"
#include "engine/render/GXMeshData.h"
#include "engine/render/GXModel.h"

namespace {

using namespace gx;

// A wavy grid of 225 x 225 vertices: 100,352 triangles in one sub-mesh.
constexpr int kSide = 225;

TGXMeshData GridData() {
  TGXMeshData data;
  data.VertexCount = kSide * kSide;
  data.Layout.AddElement(0, GXDeclFloat3, GXUsagePosition, 0);
  data.Layout.AddElement(0, GXDeclFloat3, GXUsageNormal, 0);
  data.Layout.AddElement(0, GXDeclFloat2, GXUsageTexCoord, 0);
  TGXMeshStreamData stream;
  stream.Stride = 32;
  for (int z = 0; z < kSide; ++z)
    for (int x = 0; x < kSide; ++x) {
      const float v[8] = {float(x), std::sin(x * 0.3f) * std::cos(z * 0.2f), float(z), 0, 1, 0, 0, 0};
      const auto* b = reinterpret_cast<const uint8_t*>(v);
      stream.Data.insert(stream.Data.end(), b, b + 32);
    }
  data.Streams.push_back(std::move(stream));
  TGXSubMeshData sub;
  for (int z = 0; z + 1 < kSide; ++z)
    for (int x = 0; x + 1 < kSide; ++x) {
      const uint16_t a = uint16_t(z * kSide + x), b = uint16_t(a + 1), c = uint16_t(a + kSide),
                     d = uint16_t(c + 1);
      sub.Indices.insert(sub.Indices.end(), {a, c, d, a, d, b});
    }
  sub.IndexCount = uint32_t(sub.Indices.size());
  sub.BoundsMin = {0, -1, 0};
  sub.BoundsMax = {kSide - 1, 1, kSide - 1};
  data.SubMeshes.push_back(std::move(sub));
  return data;
}

const std::vector<uint8_t>& GridFile() {
  static const std::vector<uint8_t> bytes = [] {
    TGXMemoryStream s;
    TGXMeshSerializer().Write(s, GridData());
    return s.Data();
  }();
  return bytes;
}

void BM_MeshFileRead100kTriangles(benchmark::State& state) {
  const std::vector<uint8_t>& file = GridFile();
  for (auto _ : state) {
    TGXMemoryStreamAdapter s(const_cast<uint8_t*>(file.data()), int64_t(file.size()));
    TGXMeshData data = TGXMeshSerializer().Read(s);
    benchmark::DoNotOptimize(data.SubMeshes.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}
BENCHMARK(BM_MeshFileRead100kTriangles)->Unit(benchmark::kMillisecond);

void BM_BaselineCopyOfTheMeshFile(benchmark::State& state) {
  const std::vector<uint8_t>& file = GridFile();
  for (auto _ : state) {
    std::vector<uint8_t> copy(file.size());
    std::memcpy(copy.data(), file.data(), file.size());
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}
BENCHMARK(BM_BaselineCopyOfTheMeshFile)->Unit(benchmark::kMillisecond);

// A ray slanting across the whole grid, so that it passes over every triangle and hits late.
const TGXVector3 kOrigin(-5, 3, -3), kDirection(1, -0.011f, 0.97f);

void BM_BaselineBruteForceTriangles(benchmark::State& state) {
  const TGXMeshData data = GridData();
  const std::vector<TGXVector3> p = data.Positions();
  std::vector<TGXVector3> soup;
  for (uint16_t i : data.SubMeshes[0].Indices) soup.push_back(p[i]);
  for (auto _ : state) {
    float best = INFINITY;
    for (size_t i = 0; i + 2 < soup.size(); i += 3)
      if (auto h = RayTriangle(kOrigin, kDirection, soup[i], soup[i + 1], soup[i + 2], false))
        best = std::min(best, h->Distance);
    benchmark::DoNotOptimize(best);
  }
}

// Picking reads only the CPU copies, so the mesh is given those without a device.
void BM_RayIntersect100kTriangles(benchmark::State& state) {
  const TGXMeshData data = GridData();
  TGXRef<TGXMesh> mesh = MakeRef<TGXMesh>(nullptr, "Grid", true);
  const std::vector<TGXVector3> positions = data.Positions();
  mesh->SetPositions(positions.data(), positions.size() * 12, 12, 0);
  TGXSubMesh* sub = mesh->AddSubMesh();
  sub->Indices = data.SubMeshes[0].Indices;
  sub->IndexGeometry.IndexCount = uint32_t(sub->Indices.size());
  int hits = 0;
  for (auto _ : state) {
    TGXVector3 normal, hit;
    hits += mesh->RayIntersect(kOrigin, kDirection, normal, hit, false);
    benchmark::DoNotOptimize(hit);
  }
  state.counters["hits"] = double(hits) / double(state.iterations());
}
BENCHMARK(BM_RayIntersect100kTriangles)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BaselineBruteForceTriangles)->Unit(benchmark::kMicrosecond);

// ---- animation ----

constexpr int kInstances = 500, kTracks = 40, kKeys = 200;

IGXAnimation TrackAnimation() {
  IGXAnimation animation = MakeRef<TGXAnimation>(nullptr, "Default", true);
  for (int t = 0; t < kTracks; ++t) {
    TGXSubAnimation* sub = animation->AddSubAnimation("Node" + std::to_string(t));
    for (int k = 0; k < kKeys; ++k) {
      const float a = float(k) * 0.1f + float(t);
      sub->AddPositionKey(uint32_t(k * 5), {std::sin(a), std::cos(a), float(k)});
      sub->AddRotationKey(uint32_t(k * 5), GXQuaternionRotationAxis({0, 1, 0}, a));
      sub->AddScaleKey(uint32_t(k * 5), {1 + 0.1f * std::sin(a), 1, 1});
    }
  }
  return animation;
}

void BM_Sample500Instances40Tracks3Kinds(benchmark::State& state) {
  IGXAnimation animation = TrackAnimation();
  TGXSceneNode root;
  std::vector<std::unique_ptr<TGXAnimationController>> controllers;
  for (int i = 0; i < kInstances; ++i) {
    auto* instance = new TGXSceneNode("Instance", &root);
    for (int t = 0; t < kTracks; ++t) new TGXSceneNode("Node" + std::to_string(t), instance);
    controllers.push_back(std::make_unique<TGXAnimationController>());
    controllers.back()->Bind(animation, instance);
    controllers.back()->SetEndFrame(animation->EndFrame());
    controllers.back()->SetTime(float(i) * 0.01f);
  }
  for (auto _ : state)
    for (auto& c : controllers) c->Advance(0.04f);
}
BENCHMARK(BM_Sample500Instances40Tracks3Kinds)->Unit(benchmark::kMicrosecond);

// The sampling alone, as the controller does it (a kept key index per track and kind), without
// writing the values into 20,000 nodes: what is left of the figure above is the nodes' setters
// and their invalidation, which touch every node's memory.
void BM_SampleOnly500Instances40Tracks3Kinds(benchmark::State& state) {
  IGXAnimation animation = TrackAnimation();
  std::vector<uint32_t> hints(size_t(kInstances) * kTracks * 3, 0);
  std::vector<float> frames(kInstances);
  for (int i = 0; i < kInstances; ++i) frames[size_t(i)] = float(i) * 0.25f;
  const float end = float(animation->EndFrame());
  for (auto _ : state) {
    uint32_t* hint = hints.data();
    for (int i = 0; i < kInstances; ++i) {
      float& f = frames[size_t(i)];
      f = f + 1 >= end ? 0 : f + 1;
      for (int t = 0; t < kTracks; ++t) {
        const TGXSubAnimation& sub = *animation->SubAnimation(t);
        TGXVector3 p = sub.SamplePosition(f, hint[0]);
        TGXQuaternion q = sub.SampleRotation(f, hint[1]);
        TGXVector3 s = sub.SampleScale(f, hint[2]);
        benchmark::DoNotOptimize(p);
        benchmark::DoNotOptimize(q);
        benchmark::DoNotOptimize(s);
        hint += 3;
      }
    }
  }
}
BENCHMARK(BM_SampleOnly500Instances40Tracks3Kinds)->Unit(benchmark::kMicrosecond);

void BM_BaselineBareInterpolations(benchmark::State& state) {
  const TGXVector3 a(0, 1, 2), b(3, 4, 5);
  const TGXQuaternion qa, qb = GXQuaternionRotationAxis({0, 1, 0}, 1);
  std::vector<TGXVector3> out(kTracks * 2);
  std::vector<TGXQuaternion> turns(kTracks);
  float t = 0;
  for (auto _ : state) {
    for (int i = 0; i < kInstances; ++i) {
      t = t > 0.9f ? 0 : t + 0.01f;
      for (int k = 0; k < kTracks; ++k) {
        out[2 * k] = GXVec3Lerp(a, b, t);
        turns[k] = GXQuaternionSlerp(qa, qb, t);
        out[2 * k + 1] = GXVec3Lerp(b, a, t);
      }
      benchmark::DoNotOptimize(out.data());
      benchmark::DoNotOptimize(turns.data());
    }
  }
}
BENCHMARK(BM_BaselineBareInterpolations)->Unit(benchmark::kMicrosecond);

// ---- instances ----

constexpr int kModelNodes = 50, kCopies = 5000;

IGXModel FiftyNodeModel() {
  TGXModelData data;
  data.Meshes.push_back({});
  data.Meshes[0].Name = "Part";
  data.Meshes[0].SubMeshes.push_back({});
  for (int i = 0; i < kModelNodes; ++i) {
    TGXModelNode node;
    node.Name = "Node" + std::to_string(i);
    node.Parent = i == 0 ? -1 : (i - 1) / 3;
    node.Position = {float(i), 0, 0};
    node.Meshes = {0};
    data.Nodes.push_back(node);
  }
  RegisterModelImporter("Bench", [data](TGXStream&, TGXSceneNode* target) {
    struct TImporter : TGXModelImporter {
      TImporter(const TGXModelData& d, TGXSceneNode* t) { Build(d, t); }
    };
    return std::make_unique<TImporter>(data, target);
  });
  struct TLoader : TGXDataLoader {
    std::unique_ptr<TGXMemoryStream> LoadData() override { return std::make_unique<TGXMemoryStream>(); }
  };
  IGXModel model = MakeRef<TGXModel>(nullptr, "Bench", false);
  model->SetDataLoader(MakeRef<TLoader>());
  model->Load();
  return model;
}

void BM_CreateInstance50Nodes5000Times(benchmark::State& state) {
  IGXModel model = FiftyNodeModel();
  for (auto _ : state) {
    auto root = std::make_unique<TGXSceneNode>("Root");
    for (int i = 0; i < kCopies; ++i) model->CreateInstance(new TGXSceneNode("Copy", root.get()));
    state.PauseTiming();
    root.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_CreateInstance50Nodes5000Times)->Unit(benchmark::kMillisecond);

void BM_BaselineBareNodes250k(benchmark::State& state) {
  for (auto _ : state) {
    auto root = std::make_unique<TGXSceneNode>("Root");
    for (int i = 0; i < kCopies; ++i) {
      auto* copy = new TGXSceneNode("Copy", root.get());
      for (int n = 0; n < kModelNodes; ++n) new TGXSceneNode("Node", copy);
    }
    state.PauseTiming();
    root.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_BaselineBareNodes250k)->Unit(benchmark::kMillisecond);

}  // namespace
