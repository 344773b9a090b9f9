// The track tools at layout scale. Each section measures one figure beside its baseline:
// - the track tool bending a chain of 50 tracks towards the mouse (goal under 1 ms a move) and
//   tilting it into a gradient (under 5 ms);
// - the parts list of 20,000 tracks (under 5 ms);
// - the frame tick of 2,000 catenary masts that did not move (under 0.2 ms).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "app/RREntityManager.h"
#include "app/RRBareProjectHost.h"
#include "app/RRUIService.h"
#include "app/entities/track/RRPartsList.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackModifier.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/core/GXGeometry.h"
#include "engine/core/GXSceneNode.h"
// catenary masts
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/RRModelServices.h"
#include "app/entities/track/RRCatenary.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXResourceManager.h"
#include "tests/app/ModelTestSupport.h"

// ---- track tool: chain bending and gradients ----

namespace tracktool {

using THost = rr::TRRBareProjectHost<rr::TRRScriptedUIService>;

// 50 selected straights of 10 in a line along +z from the origin, a track tool of the mode on
// them and a drag started at the free end at the origin.
struct TChain {
  static constexpr int Count = 50;
  THost Host;
  std::unique_ptr<rr::TRREntityManager> Manager = std::make_unique<rr::TRREntityManager>(Host);
  std::vector<rr::TRRTrack*> Tracks;
  std::unique_ptr<rr::TRRTrackModifier> Tool;
  std::vector<gx::TGXVector3> Positions;
  std::vector<gx::TGXQuaternion> Rotations;

  explicit TChain(int mode) {
    for (int i = 0; i < Count; ++i) {
      rr::TRRTrackDesc d(rr::TRRTrackType::Straight);
      auto route = std::make_unique<rr::TRRTrackRouteDesc>();
      route->L1 = 10;
      d.AddRoute(std::move(route));
      d.SetID(Manager->NextID());
      Manager->ReserveIDs(1);
      d.SetPosition({0, 0, 10.0f * i});
      Tracks.push_back(static_cast<rr::TRRTrack*>(Manager->CreateEntity(nullptr, d)));
      Manager->Selection().Add(Tracks.back());
    }
    Host.Scene.Root()->Update(false);
    Tool = std::make_unique<rr::TRRTrackModifier>(*Manager, mode);
    Tool->Pick({0, 10, 0.1f}, {0, -20, 0});
    Tool->BeginDrag();
    for (rr::TRRTrack* t : Tracks) {
      Positions.push_back(t->Position());
      Rotations.push_back(t->Rotation());
    }
  }
  ~TChain() {
    Tool.reset();
    Host.Scene.Root()->DeleteChildren();
  }
  void RestoreAll() {
    for (int i = 0; i < Count; ++i) {
      Tracks[size_t(i)]->SetPosition(Positions[size_t(i)]);
      Tracks[size_t(i)]->SetRotation(Rotations[size_t(i)]);
      Tracks[size_t(i)]->Update(false);
    }
  }
  // The picked end, for checks.
  gx::TGXVector3 PickedEnd() const { return Tool->PickedContact()->GetWorldPosition(); }
};

// Chain bending: the tool's move (one IK solve, each track placed once).
void BM_TrackToolBendMove(benchmark::State& state) {
  TChain chain(rr::RRTrackToolBend);
  int k = 0;
  for (auto _ : state) {
    const float x = (k++ & 1) ? 40.0f : -40.0f;
    chain.Tool->DragTo({x, 10, 5}, {0, -20, 0}, {0, -1, 0});
  }
  state.counters["end_x"] = chain.PickedEnd().x;
}
BENCHMARK(BM_TrackToolBendMove)->Unit(benchmark::kMicrosecond);

// Baseline: the same solve, then every chain track restored and turned about each joint in turn,
// updated after every turn, as the bend is defined.
void BM_TrackToolBendMoveStepwise(benchmark::State& state) {
  TChain chain(rr::RRTrackToolBend);
  const int n = chain.Tool->ChainCount();
  std::vector<rr::TRRTrack*> chainTracks;
  std::vector<gx::TGXVector3> joints;
  for (int i = 0; i < n; ++i) chainTracks.push_back(chain.Tool->ChainContact(i)->Route()->Track());
  for (int j = 0; j < n; ++j) joints.push_back(chain.Tool->ChainContact(n - 1 - j)->GetWorldPosition());
  const gx::TGXVector3 end = chain.PickedEnd();
  rr::TRRTrackIKSolver ik;
  int k = 0;
  for (auto _ : state) {
    const float x = (k++ & 1) ? 40.0f : -40.0f;
    chain.RestoreAll();
    ik.Setup(joints, end, {0, 1, 0}, 1);
    ik.Solve({x, 0, 5});
    for (int m = n - 1; m >= 0; --m) {
      const gx::TGXVector3 pivot = chain.Tool->ChainContact(m)->GetWorldPosition();
      const gx::TGXQuaternion q = gx::GXQuaternionRotationAxis({0, 1, 0}, ik.Angle(n - m - 1));
      for (int i = 0; i <= m; ++i) {
        chainTracks[size_t(i)]->RotateAround(q, pivot, gx::TGXTransformSpace::World);
        chainTracks[size_t(i)]->Update(false);
      }
    }
  }
  state.counters["end_x"] = chain.PickedEnd().x;
}
BENCHMARK(BM_TrackToolBendMoveStepwise)->Unit(benchmark::kMicrosecond);

// Gradient: the tool's move (the tilt searched on the saved positions, the tracks set once).
void BM_TrackToolGradientMove(benchmark::State& state) {
  TChain chain(rr::RRTrackToolGradient);
  int k = 0;
  for (auto _ : state) {
    const float y = (k++ & 1) ? 30.0f : -30.0f;
    chain.Tool->DragTo({50, y, 0}, {-100, 0, 0}, {-1, 0, 0});
  }
  state.counters["end_y"] = chain.PickedEnd().y;
  state.counters["angle"] = chain.Tool->GradientAngle();
}
BENCHMARK(BM_TrackToolGradientMove)->Unit(benchmark::kMicrosecond);

// Baseline: the tilt searched on the track nodes, each step restoring the chain and translating,
// turning and updating every track.
void BM_TrackToolGradientMoveStepwise(benchmark::State& state) {
  TChain chain(rr::RRTrackToolGradient);
  const int n = chain.Tool->ChainCount();
  std::vector<rr::TRRTrackRouteContact*> contacts;
  for (int i = 0; i < n; ++i) contacts.push_back(chain.Tool->ChainContact(i));
  rr::TRRTrackRouteContact* picked = chain.Tool->PickedContact();
  int k = 0;
  float a = 0;
  for (auto _ : state) {
    const gx::TGXVector3 target{0, (k++ & 1) ? 30.0f : -30.0f, 0};
    chain.RestoreAll();
    const float s =
        picked->GetWorldPosition().y > target.y ? rr::RRTrackGradientStep : -rr::RRTrackGradientStep;
    a = 0;
    float previous = 1e30f;
    for (;;) {
      chain.RestoreAll();
      a += s;
      for (int i = n - 1; i >= 0; --i) {
        rr::TRRTrackRouteContact* c = contacts[size_t(i)];
        rr::TRRTrack* track = c->Route()->Track();
        const gx::TGXVector3 d = c->GetOpposite()->GetWorldPosition() - c->GetWorldPosition();
        const gx::TGXVector3 axis = gx::GXVec3Normalize(gx::GXVec3Cross({0, 1, 0}, d));
        if (i != n - 1) {
          track->Translate(contacts[size_t(i + 1)]->GetOpposite()->GetWorldPosition() - c->GetWorldPosition(),
                           gx::TGXTransformSpace::World);
          track->Update(false);
        }
        track->RotateAround(gx::GXQuaternionRotationAxis(axis, a), c->GetWorldPosition(),
                            gx::TGXTransformSpace::World);
        track->Update(false);
      }
      const float h = gx::DistanceSquared(picked->GetWorldPosition(), target);
      if (!(h >= rr::RRTrackGradientReachedSq && std::fabs(a) <= rr::RRTrackGradientMaxAngle && h < previous))
        break;
      previous = h;
    }
  }
  state.counters["end_y"] = chain.PickedEnd().y;
  state.counters["angle"] = a;
}
BENCHMARK(BM_TrackToolGradientMoveStepwise)->Unit(benchmark::kMicrosecond);

}  // namespace tracktool

// ---- parts list ----

namespace partslist {

// 20,000 tracks of 40 catalogue pieces in two systems, 200 groups of 100 under the project node
// (layouts group their stations and yards).
struct TLayout {
  gx::TGXSceneNode Root{"Root"};
  TLayout() {
    int id = 1;
    for (int g = 0; g < 200; ++g) {
      auto* group = new gx::TGXSceneNode("Gruppe", &Root);
      for (int i = 0; i < 100; ++i, ++id) {
        rr::TRRTrackDesc d(rr::TRRTrackType::Straight);
        d.SetID(id);
        const int piece = id % 40;
        d.Name().SetUserText("G" + std::to_string(piece));
        d.Description().SetUserText("Gerades Gleis " + std::to_string(piece * 10) + " mm");
        d.TrackSystemName().SetUserText(piece % 2 ? "Profilgleis" : "Modellgleis");
        auto r = std::make_unique<rr::TRRTrackRouteDesc>();
        r->L1 = 10;
        d.AddRoute(std::move(r));
        rr::TRRTrack::StaticClass().Create(group, nullptr, d);
      }
    }
  }
};

TLayout& Layout() {
  static TLayout layout;
  return layout;
}

// The list as the window shows it: rows built and sorted by count.
void BM_PartsList20000(benchmark::State& state) {
  TLayout& l = Layout();
  rr::TRRPartsList list;
  for (auto _ : state) {
    list.Build(l.Root);
    list.Sort(rr::TRRPartsListColumn::Count, false);
    benchmark::DoNotOptimize(list.Rows().data());
  }
  state.counters["rows"] = double(list.Rows().size());
  state.counters["tracks"] = double(list.TrackCount());
}
BENCHMARK(BM_PartsList20000)->Unit(benchmark::kMillisecond);

// Baseline: the plain form - a description made of every track and the rows searched one by one.
void BM_PartsList20000Plain(benchmark::State& state) {
  TLayout& l = Layout();
  struct TRow {
    std::string System, Name, Text;
    int Count;
  };
  for (auto _ : state) {
    std::vector<TRow> rows;
    std::vector<const gx::TGXNode*> stack{&l.Root};
    while (!stack.empty()) {
      const gx::TGXNode* n = stack.back();
      stack.pop_back();
      for (int i = n->ChildCount() - 1; i >= 0; --i) stack.push_back(n->Child(i));
      auto* t = dynamic_cast<const rr::TRRTrack*>(n);
      if (!t) continue;
      std::unique_ptr<rr::TRRTrackDesc> d = t->ToDescription();
      auto it = std::find_if(rows.begin(), rows.end(), [&](const TRow& r) { return r.Name == t->Name(); });
      if (it != rows.end())
        ++it->Count;
      else
        rows.push_back({d->TrackSystemName().GetText(), d->Name().GetText(), d->Description().GetText(), 1});
    }
    benchmark::DoNotOptimize(rows.data());
  }
}
BENCHMARK(BM_PartsList20000Plain)->Unit(benchmark::kMillisecond);

}  // namespace partslist


// ---- catenary masts ----

namespace catenary {

constexpr int kMasts = 2000;
constexpr const char* kPackage = "{6E2A9C41-0B7D-4F35-A218-5C9D3E7F1B46}";

using THost = rr::TRRBareProjectHost<rr::TRRScriptedUIService>;

// The pole and a wire 10 high hanging from (4, 7, 0), as the catalogue's mast is built.
gx::TGXModelData MastModel() {
  gx::TGXModelData data;
  data.Format = gx::EGXModelFormat::XFile;
  gx::TGXModelMesh pole, wire;
  pole.Name = "Mast";
  modeltest::AddBox(pole, {-0.25f, 0, -0.25f}, {0.25f, 9, 0.25f});
  modeltest::CloseSubMesh(pole, 0, gx::GXModelColorName(0.5f, 0.5f, 0.5f, 1));
  gx::GXModelCalculateBounds(pole);
  wire.Name = "Kabel";
  modeltest::AddBox(wire, {-0.05f, 0, -0.05f}, {0.05f, 10, 0.05f});
  modeltest::CloseSubMesh(wire, 0, gx::GXModelColorName(0.3f, 0.2f, 0.1f, 1));
  gx::GXModelCalculateBounds(wire);
  data.Meshes = {pole, wire};
  data.Nodes.push_back({"Mast", -1, {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1}, {0}});
  data.Nodes.push_back({"Kabel", -1, {4, 7, 0}, {0, 0, 0, 1}, {1, 1, 1}, {1}});
  return data;
}

// 2,000 masts 20 apart along a gentle curve, each linked to the next, their wires laid once.
// Models load without geometry (no render core: the tick never touches the device).
struct TLine {
  std::filesystem::path Folder =
      std::filesystem::temp_directory_path() / ("catenary-bench-" + std::to_string(getpid()));
  gx::TGXFileSystem FileSystem;
  gx::TGXResourceManager Resources;
  std::unique_ptr<modeltest::TGeometryFreeModels> Models;
  THost Host;
  std::unique_ptr<rr::TRREntityManager> Manager;
  std::vector<rr::TRRCatenary*> Masts;

  TLine() {
    std::filesystem::create_directories(Folder / kPackage);
    const std::vector<uint8_t> bytes = modeltest::Write(MastModel());
    std::ofstream(Folder / kPackage / "Mast.x", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    FileSystem.SetRoot("Game", Folder.string());
    Models = std::make_unique<modeltest::TGeometryFreeModels>(&Resources);
    rr::TRRModelServices services;
    services.FileSystem = &FileSystem;
    services.Resources = &Resources;
    rr::TRRModelServices::Install(services);
    Manager = std::make_unique<rr::TRREntityManager>(Host);
    for (int i = 0; i < kMasts; ++i) {
      rr::TRRCatenaryDesc d;
      d.SetID(Manager->NextID());
      Manager->ReserveIDs(1);
      d.ModelFile().Model = rr::TRRAssetFileName("Mast.x", std::string(kPackage) + "\\Mast.x");
      const float a = 0.002f * float(i);
      d.SetPosition({1000 * std::sin(a), 0, 1000 * std::cos(a)});
      d.SetRotation({0, std::sin(a / 2), 0, std::cos(a / 2)});
      Masts.push_back(static_cast<rr::TRRCatenary*>(Manager->CreateEntity(nullptr, d)));
    }
    Host.Scene.Root()->Update(false);
    for (int i = 0; i + 1 < kMasts; ++i) Masts[size_t(i)]->Link(*Masts[size_t(i + 1)]);
    Host.Scene.Root()->Update(false);
  }
  ~TLine() {
    Host.Scene.Root()->DeleteChildren();
    Manager.reset();
    rr::TRRModelServices::Clear();
    Models.reset();
    std::error_code ignored;
    std::filesystem::remove_all(Folder, ignored);
  }
  int64_t Lays() const {
    int64_t n = 0;
    for (const rr::TRRCatenary* m : Masts) n += m->LayCount();
    return n;
  }
};

TLine& Line() {
  static TLine line;
  return line;
}

// The frame tick of masts that stand still: the snapshots agree, nothing is laid.
void BM_CatenaryTickStanding(benchmark::State& state) {
  TLine& line = Line();
  const int64_t before = line.Lays();
  for (auto _ : state)
    for (rr::TRRCatenary* m : line.Masts) m->Animate(true, 0.04f);
  state.counters["lays_per_tick"] = double(line.Lays() - before) / double(state.iterations());
  state.counters["wire_shown"] = line.Masts.front()->WireVisible();
}
BENCHMARK(BM_CatenaryTickStanding)->Unit(benchmark::kMicrosecond);

// Baseline: the same tick laying every wire again, as without the snapshots.
void BM_CatenaryTickRelaying(benchmark::State& state) {
  TLine& line = Line();
  for (auto _ : state)
    for (rr::TRRCatenary* m : line.Masts) {
      m->Animate(true, 0.04f);
      m->LayWire();
    }
  state.counters["wire_shown"] = line.Masts.front()->WireVisible();
}
BENCHMARK(BM_CatenaryTickRelaying)->Unit(benchmark::kMicrosecond);

}  // namespace catenary
