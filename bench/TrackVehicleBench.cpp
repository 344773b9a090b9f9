// Rolling stock at layout scale: 200 lines of 50 straight pieces of 30 cm (10,000 pieces, the
// lines 8 cm apart as on a station's tracks), each line with one train of a locomotive and nine
// wagons (20 cm long, bogies 14 cm apart, couplers touching) that runs at 75 cm/s and turns back
// at the line's ends. One frame is what the entity manager does every 40 ms: the next animation
// frame and every entity's Animate(true, 0.04) in ID order.
//
// Goal: one frame of all 200 trains (2,000 vehicles) <= 2 ms. For context in the same run: the
// same layout with every train standing, and with only one of them running.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "app/entities/RRTrackVehicle.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackConnections.h"
#include "bench/BenchLayout.h"
#include "bench/BenchHeap.h"
#include "engine/render/GXModelData.h"
#include "engine/render/GXModelWriter.h"
#include "tests/app/ModelTestSupport.h"

using namespace rr;

namespace {

constexpr int kLines = 200, kPiecesPerLine = 50, kVehiclesPerTrain = 10;
constexpr float kPiece = 30, kLineSpacing = 8, kVehicleLength = 20, kSpeed = 75, kFrame = 0.04f;
constexpr int kFrames = 250;  // ten seconds of layout time per measurement
constexpr const char* kPackage = "{5A4E2C18-7D93-4B06-8F1E-2C6D9A3B7E40}";

gx::TGXModelMesh BoxMesh(const char* name, const gx::TGXVector3& lo, const gx::TGXVector3& hi, float r, float g,
                         float b) {
  gx::TGXModelMesh mesh;
  mesh.Name = name;
  modeltest::AddBox(mesh, lo, hi);
  mesh.SubMeshes.push_back({0, uint32_t(mesh.Indices.size()), gx::GXModelColorName(r, g, b, 1), {}, {}});
  gx::GXModelCalculateBounds(mesh);
  return mesh;
}

// A vehicle 20 long along +Z (z -10..10), 3 wide, on bogies "Rad0"/"Rad1" at z +-7, each with a
// wheel set "radanimN"; a locomotive has a cab on top.
gx::TGXModelData VehicleModel(bool locomotive) {
  const float half = kVehicleLength / 2;
  gx::TGXModelData data;
  data.Format = gx::EGXModelFormat::XFile;
  data.Meshes.push_back(BoxMesh("Kasten", {-1.5f, 1.2f, -half}, {1.5f, 4, half}, locomotive ? 0.1f : 0.5f, 0.2f, 0.1f));
  data.Meshes.push_back(BoxMesh("Drehgestell", {-1.2f, 0, -1.5f}, {1.2f, 1.2f, 1.5f}, 0.1f, 0.1f, 0.1f));
  data.Nodes.push_back({"Fahrzeug", -1, {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1}, {0}});
  data.Nodes.push_back({"Rad1", 0, {0, 0, -7}, {0, 0, 0, 1}, {1, 1, 1}, {}});
  data.Nodes.push_back({"radanim1", 1, {0, 0.6f, 0}, {0, 0, 0, 1}, {1, 1, 1}, {1}});
  data.Nodes.push_back({"Rad0", 0, {0, 0, 7}, {0, 0, 0, 1}, {1, 1, 1}, {}});
  data.Nodes.push_back({"radanim0", 3, {0, 0.6f, 0}, {0, 0, 0, 1}, {1, 1, 1}, {1}});
  if (locomotive) {
    data.Meshes.push_back(BoxMesh("Fuehrerhaus", {-1.4f, 4, -half}, {1.4f, 5.5f, -half + 5}, 0.1f, 0.3f, 0.1f));
    data.Nodes.push_back({"Haus", 0, {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1}, {2}});
  }
  return data;
}

enum class ERunning { All, One, None };

// The engine with a render core and the two model files below its Game root, the layout's
// pieces and, made anew for every measurement, the trains.
struct TWorld : benchlayout::TBenchLayout {
  std::vector<std::vector<TRRTrack*>> Lines;
  std::vector<TRRTrackVehicle*> Vehicles;
  std::vector<TRRTrackVehicle*> Locomotives;

  TWorld() : TBenchLayout("vehicle-bench", kPackage) {
    Put("Lok.x", gx::GXWriteXFile(VehicleModel(true)));
    Put("Wagen.x", gx::GXWriteXFile(VehicleModel(false)));
    for (int line = 0; line < kLines; ++line) {
      Lines.emplace_back();
      for (int i = 0; i < kPiecesPerLine; ++i) {
        TRRTrackDesc d(TRRTrackType::Straight);
        d.SetID(Manager->NextID());
        Manager->ReserveIDs(1);
        d.SetPosition({float(line) * kLineSpacing, 0, float(i) * kPiece});
        auto r = std::make_unique<TRRTrackRouteDesc>();
        r->L1 = kPiece;
        d.AddRoute(std::move(r));
        Lines.back().push_back(static_cast<TRRTrack*>(Manager->CreateEntity(nullptr, d)));
      }
    }
    Project.Root.Update(true);
    RRRefreshConnections(Manager->Tracks());
  }
  ~TWorld() { RemoveTrains(); }

  TRRTrackVehicle* Vehicle(int line, float at, bool locomotive, float speed) {
    const int piece = std::min(int(at / kPiece), kPiecesPerLine - 1);
    TRRTrackVehicleDesc d;
    d.SetID(Manager->NextID());
    Manager->ReserveIDs(1);
    const char* model = locomotive ? "Lok.x" : "Wagen.x";
    d.ModelFile() = {Asset(model), {}};
    d.ForwardAxis = 1;  // + Z
    d.TrackID = Lines[size_t(line)][size_t(piece)]->ID();
    d.RoutePosition = at - float(piece) * kPiece;
    d.HasEngine = locomotive;
    d.TargetSpeed = speed;
    d.CurrentSpeed = speed;
    return static_cast<TRRTrackVehicle*>(Manager->CreateEntity(nullptr, d));
  }

  void RemoveTrains() {
    for (TRRTrackVehicle* v : Vehicles) delete v;
    Vehicles.clear();
    Locomotives.clear();
  }

  // Every line's train, the locomotive in front (towards +Z), its rear end somewhere along the
  // line so that the trains reach the ends at different frames.
  void MakeTrains(ERunning running) {
    RemoveTrains();
    const float lineLength = kPiece * kPiecesPerLine;
    const float trainLength = kVehicleLength * kVehiclesPerTrain;
    for (int line = 0; line < kLines; ++line) {
      const float rear = 1 + std::fmod(float(line) * 97.0f, lineLength - trainLength - 2);
      const bool runs = running == ERunning::All || (running == ERunning::One && line == 0);
      for (int k = 0; k < kVehiclesPerTrain; ++k) {
        const bool locomotive = k == kVehiclesPerTrain - 1;
        TRRTrackVehicle* v =
            Vehicle(line, rear + kVehicleLength * (float(k) + 0.5f), locomotive, locomotive && runs ? kSpeed : 0);
        Vehicles.push_back(v);
        if (locomotive) Locomotives.push_back(v);
      }
    }
    Project.Root.Update(false);
  }

  // The two halves of the frames so far (microseconds): the scene update and the animation.
  double SceneTime = 0, AnimateTime = 0;
  // One frame of the layout as the project's frame step runs it: the scene brought up to date,
  // then every entity's animation, in ID order.
  void Frame() {
    const auto t0 = std::chrono::steady_clock::now();
    Project.Root.Update(false);
    const auto t1 = std::chrono::steady_clock::now();
    Manager->AnimateEntities(true, kFrame);
    const auto t2 = std::chrono::steady_clock::now();
    SceneTime += std::chrono::duration<double, std::micro>(t1 - t0).count();
    AnimateTime += std::chrono::duration<double, std::micro>(t2 - t1).count();
  }
};

TWorld& World() {
  static TWorld world;
  return world;
}

void RunFrames(benchmark::State& state, ERunning running, const char* goal) {
  TWorld& world = World();
  world.MakeTrains(running);
  const float start = world.Locomotives.front()->WorldPivot().z;
  std::vector<float> targets;
  for (TRRTrackVehicle* loco : world.Locomotives) targets.push_back(loco->TargetSpeed());
  int reversed = 0;
  double moved = 0;
  for (auto _ : state) {
    world.Frame();
    state.PauseTiming();
    for (size_t i = 0; i < world.Locomotives.size(); ++i) {
      TRRTrackVehicle* loco = world.Locomotives[i];
      if (loco->MovedInFrame() == world.Manager->AnimationFrame()) moved += 1;
      if (loco->TargetSpeed() != targets[i]) ++reversed;
      targets[i] = loco->TargetSpeed();
    }
    state.ResumeTiming();
  }
  state.SetLabel(goal);
  state.counters["vehicles"] = double(world.Vehicles.size());
  // Trains that moved per frame, on average, and how far the first one went (cm).
  state.counters["moving"] = moved / double(state.iterations());
  state.counters["reversals"] = reversed;
  state.counters["first_cm"] = std::fabs(world.Locomotives.front()->WorldPivot().z - start);
  // Where a frame's time goes: carrying the moved nodes into world space, and the trains' moves.
  state.counters["scene_us"] = world.SceneTime / double(state.iterations());
  state.counters["animate_us"] = world.AnimateTime / double(state.iterations());
  // The whole frame as the program runs it (the figure the goal is about is animate_us: the scene
  // update mostly finds the moved vehicles already carried by their train's move).
  state.counters["frame_us"] = (world.SceneTime + world.AnimateTime) / double(state.iterations());
  world.SceneTime = world.AnimateTime = 0;
  world.RemoveTrains();
}

void BM_Frame200TrainsRunning(benchmark::State& state) { RunFrames(state, ERunning::All, "Ziel: animate_us <= 2000"); }
BENCHMARK(BM_Frame200TrainsRunning)->Unit(benchmark::kMicrosecond)->Iterations(kFrames);

void BM_Frame200TrainsStanding(benchmark::State& state) { RunFrames(state, ERunning::None, "Vergleich"); }
BENCHMARK(BM_Frame200TrainsStanding)->Unit(benchmark::kMicrosecond)->Iterations(kFrames);

void BM_FrameOneOf200TrainsRunning(benchmark::State& state) { RunFrames(state, ERunning::One, "Vergleich"); }
BENCHMARK(BM_FrameOneOf200TrainsRunning)->Unit(benchmark::kMicrosecond)->Iterations(kFrames);

}  // namespace
