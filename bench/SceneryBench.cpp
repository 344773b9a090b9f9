// Scenery at layout scale on a surfaceless render core (CPU time), each figure with its goal or
// "Vergleich" (measured in the same run) as label:
// - 20,000 plants of four model files (trunk and crown each), all in view of a camera from
//   above: culling and queuing of one frame (the renderer's BuildQueue) with the plant batch
//   below 3 ms; beside it the same plants queued one by one. The counter drawCalls is the draw
//   calls of one whole frame in either case, instances the plants drawn instanced.
// - 10,000 plants made from one model file (loaded, one plant alive): below 1 s.
// - one vehicle check of 300 level-crossing barriers against the boxes of 1,000 vehicles: below
//   0.3 ms; beside it the same test box by box.
// - one street Snap among 5,000 streets: below 0.5 ms.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "app/entities/scenery/RRBarrier.h"
#include "app/entities/scenery/RRPlantBatch.h"
#include "app/entities/scenery/RRStreet.h"
#include "app/entities/scenery/RRVegetation.h"
#include "bench/BenchLayout.h"
#include "bench/BenchHeap.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXModelData.h"
#include "engine/render/GXModelWriter.h"
#include "engine/render/GXRenderWindow.h"
#include "engine/render/GXScene.h"
#include "tests/app/ModelTestSupport.h"

using namespace rr;

namespace {

constexpr int kKinds = 4, kPlants = 20000, kColumns = 125, kCreated = 10000;
constexpr int kBarriers = 300, kVehicles = 1000, kStreets = 5000;
constexpr float kSpacing = 10;

// A tree of kind k: a trunk and a crown, each a sub-mesh in a colour of its own.
std::vector<uint8_t> TreeFile(int k) {
  gx::TGXModelData data;
  data.Format = gx::EGXModelFormat::XFile;
  gx::TGXModelMesh mesh;
  mesh.Name = "Baum";
  modeltest::AddBox(mesh, {-0.3f, 0, -0.3f}, {0.3f, 2, 0.3f});
  mesh.SubMeshes.push_back(
      {0, uint32_t(mesh.Indices.size()), gx::GXModelColorName(0.4f, 0.25f, 0.1f, 1), {}, {}});
  const uint32_t crown = uint32_t(mesh.Indices.size());
  const float r = 1.5f + 0.3f * float(k);
  modeltest::AddBox(mesh, {-r, 2, -r}, {r, 4 + float(k), r});
  mesh.SubMeshes.push_back({crown,
                            uint32_t(mesh.Indices.size()) - crown,
                            gx::GXModelColorName(0.1f, 0.4f + 0.1f * float(k), 0.1f, 1),
                            {},
                            {}});
  gx::GXModelCalculateBounds(mesh);
  data.Meshes.push_back(mesh);
  gx::TGXModelNode node;
  node.Name = "Baum";
  node.Meshes = {0};
  data.Nodes.push_back(node);
  return gx::GXWriteXFile(data);
}

// A flat slab x in [-5, 5], z in [-2, 2] (street pieces).
std::vector<uint8_t> SlabFile() {
  gx::TGXModelData data;
  data.Format = gx::EGXModelFormat::XFile;
  gx::TGXModelMesh mesh;
  mesh.Name = "Platte";
  modeltest::AddBox(mesh, {-5, 0, -2}, {5, 0.1f, 2});
  mesh.SubMeshes.push_back(
      {0, uint32_t(mesh.Indices.size()), gx::GXModelColorName(0.3f, 0.3f, 0.3f, 1), {}, {}});
  gx::GXModelCalculateBounds(mesh);
  data.Meshes.push_back(mesh);
  gx::TGXModelNode node;
  node.Name = "Platte";
  node.Meshes = {0};
  data.Nodes.push_back(node);
  return gx::GXWriteXFile(data);
}

struct TWorld {
  benchlayout::TBenchLayout Layout{"scenery-bench", "{2E4A6C8E-1B3D-4F50-9A7C-B1D2E3F40516}"};
  gx::TGXScene Scene;
  gx::TGXOffscreenSurface Surface{64, 64};
  gx::TGXRef<gx::TGXRenderWindow> Window;
  gx::TGXViewport* View = nullptr;
  gx::TGXRef<gx::TGXCamera> Camera;
  std::vector<TRRVegetation*> Plants;

  TWorld() {
    for (int k = 0; k < kKinds; ++k) Layout.Put("Baum" + std::to_string(k) + ".x", TreeFile(k));
    Layout.Put("Platte.x", SlabFile());
    Window = gx::MakeRef<gx::TGXRenderWindow>(&Surface);
    auto* eye = new gx::TGXSceneNode("Auge", Scene.Root());
    Camera = gx::MakeRef<gx::TGXCamera>();
    eye->AttachObject(Camera.Get());
    // High above the middle of the field, looking straight down; the field fills the view.
    const float width = kColumns * kSpacing, depth = float(kPlants / kColumns) * kSpacing;
    eye->SetPosition({width / 2, 1000, depth / 2});
    eye->SetRotation(gx::GXQuaternionRotationAxis({1, 0, 0}, 1.5707964f));
    Camera->SetOrthographic(1, 5000, std::max(width, depth) * 1.05f);
    View = Window->AddViewport(0, 0, 1, 1);
    View->SetScene(&Scene);
    View->SetCamera(Camera.Get());
    Plants.reserve(kPlants);
    for (int i = 0; i < kPlants; ++i) {
      TRRVegetationDesc d;
      d.SetID(1);
      d.ModelFile().Model = Layout.Asset("Baum" + std::to_string(i % kKinds) + ".x");
      d.SetPosition({float(i % kColumns) * kSpacing, 0, float(i / kColumns) * kSpacing});
      Plants.push_back(
          static_cast<TRRVegetation*>(TRRVegetation::StaticClass().Create(Scene.Root(), nullptr, d)));
    }
    Scene.Root()->Update(false);
  }
  ~TWorld() {
    View->SetScene(nullptr);
    Scene.Root()->DeleteChildren();
  }
  void SetInstanced(bool on) {
    for (TRRVegetation* p : Plants)
      if (on)
        TRRPlantBatch::Attach(*p);
      else
        TRRPlantBatch::Detach(*p);
  }
};

TWorld& World() {
  static TWorld world;
  return world;
}

void CullAndQueue(benchmark::State& state, bool instanced, const char* label) {
  TWorld& world = World();
  world.SetInstanced(instanced);
  gx::TGXRenderer& renderer = gx::GXCurrentRenderCore()->Renderer();
  for (auto _ : state) {
    renderer.BuildQueue(*world.View);
    benchmark::DoNotOptimize(renderer.Queue().ItemCount());
  }
  state.counters["queueItems"] = renderer.Queue().ItemCount();
  // The plants drawn instanced in the last collection (20,000 when every plant is drawn once).
  size_t instances = 0;
  if (gx::TGXRef<TRRPlantBatch> batch = TRRPlantBatch::Shared())
    for (int g = 0; g < batch->ActiveGroupCount(); ++g) instances += batch->ActiveGroup(g).Count();
  state.counters["instances"] = double(instances);
  // One whole frame, drawn once outside the timing, for its draw calls.
  world.Window->RenderAll();
  state.counters["drawCalls"] = renderer.DrawCallCount();
  state.SetLabel(label);
}

void BM_CullAndQueue20000PlantsInstanced(benchmark::State& state) {
  CullAndQueue(state, true, "Ziel < 3 ms");
}
BENCHMARK(BM_CullAndQueue20000PlantsInstanced)->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_CullAndQueue20000PlantsOneByOne(benchmark::State& state) { CullAndQueue(state, false, "Vergleich"); }
BENCHMARK(BM_CullAndQueue20000PlantsOneByOne)->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_Create10000PlantsOfOneModel(benchmark::State& state) {
  TWorld& world = World();
  TRRVegetationDesc d;
  d.SetID(1);
  d.ModelFile().Model = world.Layout.Asset("Baum0.x");
  for (auto _ : state) {
    gx::TGXSceneNode parent;
    for (int i = 0; i < kCreated; ++i) {
      d.SetPosition({float(i % 100) * kSpacing, 0, float(i / 100) * kSpacing});
      benchmark::DoNotOptimize(TRRVegetation::StaticClass().Create(&parent, nullptr, d));
    }
    state.PauseTiming();
    parent.DeleteChildren();
    state.ResumeTiming();
  }
  state.SetLabel("Ziel < 1 s");
}
BENCHMARK(BM_Create10000PlantsOfOneModel)->Unit(benchmark::kMillisecond)->Iterations(3);

// 300 barriers along a line, 1,000 vehicles on lines beside them: no box meets a detection box,
// so every check looks at every vehicle.
struct TBarriers {
  gx::TGXSceneNode Root{"Schranken"};
  std::vector<TRRBarrier*> Barriers;
  TRRVehicleBoxes Boxes;
  std::vector<gx::TGXBoundingBox> Plain;
  TBarriers() {
    for (int i = 0; i < kBarriers; ++i) {
      TRRBarrierDesc d;
      d.SetID(1);
      d.SetPosition({float(i) * 40, 0, 0});
      Barriers.push_back(static_cast<TRRBarrier*>(TRRBarrier::StaticClass().Create(&Root, nullptr, d)));
    }
    Root.Update(true);
    for (int v = 0; v < kVehicles; ++v) {
      const float x = float(v % 500) * 24, z = 50 + float(v / 500) * 8;
      const gx::TGXBoundingBox box = gx::BoxFromMinMax({x, 0, z}, {x + 20, 5, z + 3});
      Boxes.Add(box);
      Plain.push_back(box);
    }
  }
};

TBarriers& Barriers() {
  static TBarriers barriers;
  return barriers;
}

void BM_Check300BarriersAgainst1000Vehicles(benchmark::State& state) {
  TBarriers& b = Barriers();
  for (auto _ : state)
    for (TRRBarrier* barrier : b.Barriers) benchmark::DoNotOptimize(barrier->CheckVehicles(b.Boxes));
  state.SetLabel("Ziel < 0.3 ms");
}
BENCHMARK(BM_Check300BarriersAgainst1000Vehicles)->Unit(benchmark::kMicrosecond);

void BM_Check300BarriersBoxByBox(benchmark::State& state) {
  TBarriers& b = Barriers();
  for (auto _ : state)
    for (TRRBarrier* barrier : b.Barriers) {
      const gx::TGXBoundingBox detection = barrier->WorldDetectionBox();
      bool closed = false;
      for (const gx::TGXBoundingBox& v : b.Plain)
        if (gx::BoxesIntersect(detection, v)) {
          closed = true;
          break;
        }
      benchmark::DoNotOptimize(closed);
    }
  state.SetLabel("Vergleich");
}
BENCHMARK(BM_Check300BarriersBoxByBox)->Unit(benchmark::kMicrosecond);

// 5,000 straight street pieces of length 10 in rows, ends touching; the street that snaps lies
// near the end of one in the middle of the field.
void BM_SnapOneStreetAmong5000(benchmark::State& state) {
  TWorld& world = World();
  benchlayout::TBenchLayout& layout = world.Layout;
  int32_t id = 0;
  auto make = [&](const gx::TGXVector3& position) {
    TRRStreetDesc d;
    d.SetID(++id);
    d.ModelFile().Model = layout.Asset("Platte.x");
    d.Contacts = {{{-5, 0, 0}, 3.14159265f}, {{5, 0, 0}, 0}};
    d.SetPosition(position);
    return static_cast<TRRStreet*>(
        TRRStreet::StaticClass().Create(&layout.Project.Root, layout.Manager.get(), d));
  };
  for (int i = 0; i < kStreets; ++i) make({float(i % 100) * 10, 0, float(i / 100) * 20});
  TRRStreet* moving = make({511, 0, 501});
  layout.Project.Root.Update(false);
  bool snapped = false;
  for (auto _ : state) {
    gx::TGXVector3 position = moving->WorldPosition();
    gx::TGXQuaternion rotation = moving->WorldRotation();
    moving->Snap(snapped, position, rotation);
    benchmark::DoNotOptimize(position);
  }
  state.counters["snapped"] = snapped ? 1 : 0;
  state.SetLabel("Ziel < 0.5 ms");
  layout.Project.Root.DeleteChildren();
}
BENCHMARK(BM_SnapOneStreetAmong5000)->Unit(benchmark::kMicrosecond);

}  // namespace
