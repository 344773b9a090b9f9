// The project's 3D view as the frame step draws it (llvmpipe in headless runs): the sample
// layout at 1280 x 720 through its free camera, a generated layout of 10,000 tracks and 1,000
// models made by copying the sample's tracks and models over a grid, and the technical view
// switched on and off (the first switch, which makes the flat materials, and later ones). Each
// frame is one TRRProject::Tick including the read-back of the picture; the draw calls of the
// last frame are reported as a counter. Needs the generated base packages and the sample.

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/RREntityManager.h"
#include "app/RRGlobal.h"
#include "app/RRProject.h"
#include "app/RRProjectRenderWindow.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RRModel.h"
#include "app/entities/track/RRTrack.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderWindow.h"

namespace {

using namespace rr;

const std::string kSample = std::string(VELMORA_CLI_DATA_DIR) + "/Beispielanlagen/Kleine Beispielanlage.vmp";

class TFrameClock final : public gx::IGXClock {
 public:
  int64_t Frequency() const override { return 1000; }
  int64_t Counter() const override { return Now; }
  uint32_t TickCount() const override { return uint32_t(Now); }
  int64_t Now = 0;
};

// The program's start-up with a render core and the build's packages, the view on an offscreen
// surface; every root but Game in a folder of its own.
struct TViewRun {
  TRRScriptedUIService Ui;
  std::unique_ptr<TRRGlobal> Global;
  gx::TGXOffscreenSurface Surface{1280, 720};
  TFrameClock Clock;
  std::string Dir;

  TViewRun() {
    Dir = (std::filesystem::temp_directory_path() / "velmora-view-bench-XXXXXX").string();
    if (!mkdtemp(Dir.data())) throw std::runtime_error("no temporary folder");
    TRRStartOptions options;
    options.UI = &Ui;
    options.Roots.push_back({"Game", VELMORA_CLI_DATA_DIR});
    for (const char* root : {"User", "CommonUser", "Documents", "CommonDocuments", "Temp"})
      options.Roots.push_back({root, Dir + "/" + root});
    options.CreateRenderCore = [](gx::TGXEngine&) -> std::unique_ptr<gx::TGXEngineCore> {
      return std::make_unique<gx::TGXRenderCore>();
    };
    Global = std::make_unique<TRRGlobal>(options);
    Project().SetViewSurface(&Surface);
    Project().SetFrameClock(&Clock);
  }
  ~TViewRun() {
    Project().CloseProject();
    Project().SetViewSurface(nullptr);
    Project().SetFrameClock(nullptr);
    Global.reset();
    std::error_code ignored;
    std::filesystem::remove_all(Dir, ignored);
  }
  TRRProject& Project() { return Global->Project(); }
  void Frame() {
    Clock.Now += 40;
    Project().Tick();
  }
  TRRCamera* CameraOfType(uint8_t type) {
    for (TRREntity* e : Project().Manager()->Cameras())
      if (auto* c = dynamic_cast<TRRCamera*>(e); c && c->Type() == type) return c;
    return nullptr;
  }
  int DrawCalls() { return Project().RenderWindow() ? Project().RenderWindow()->DrawCallCount() : 0; }
};

void BM_SampleFrame(benchmark::State& state) {
  TViewRun run;
  if (!run.Project().LoadProject(kSample, false)) {
    state.SkipWithError("sample layout not loaded");
    return;
  }
  if (TRRCamera* free = run.CameraOfType(RRCameraFree)) run.Project().SetActiveCamera(free);
  run.Frame();
  for (auto _ : state) run.Frame();
  state.counters["drawCalls"] = run.DrawCalls();
}
BENCHMARK(BM_SampleFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Copies of the sample's tracks and models on a grid of 4 m cells until the counts are reached.
void Generate(TViewRun& run, int tracks, int models) {
  TRREntityManager& manager = *run.Project().Manager();
  std::vector<std::unique_ptr<TRREntityDescription>> trackDescs, modelDescs;
  gx::TGXNode* node = run.Project().ProjectNode();
  for (int i = 0; i < node->ChildCount(); ++i) {
    auto* e = dynamic_cast<TRREntity*>(node->Child(i));
    if (dynamic_cast<TRRTrack*>(e))
      trackDescs.push_back(e->CreateDescription());
    else if (dynamic_cast<TRRModel*>(e) && !dynamic_cast<TRRCamera*>(e) && e->ID() != 0 &&
             e->GetClass().Name == std::string("TRRModel"))
      modelDescs.push_back(e->CreateDescription());
  }
  if (trackDescs.empty() || modelDescs.empty()) throw std::runtime_error("sample without tracks or models");
  auto place = [&](std::vector<std::unique_ptr<TRREntityDescription>>& from, int count, float z0) {
    for (int i = 0; i < count; ++i) {
      std::unique_ptr<TRREntityDescription> d = from[size_t(i) % from.size()]->Clone();
      const gx::TGXVector3 p = d->Position();
      const int cell = i / int(from.size());
      d->SetPosition({p.x + float(cell % 50) * 400, p.y, p.z + z0 + float(cell / 50) * 400});
      d->SetID(manager.NextID());
      d->SetLinkTarget(0);
      manager.ReserveIDs(1);
      manager.CreateEntity(nullptr, *d);
    }
  };
  place(trackDescs, tracks - int(trackDescs.size()), 0);
  place(modelDescs, models - int(modelDescs.size()), -20000);
}

void BM_GeneratedFrame(benchmark::State& state) {
  TViewRun run;
  if (!run.Project().LoadProject(kSample, false)) {
    state.SkipWithError("sample layout not loaded");
    return;
  }
  Generate(run, 10000, 1000);
  TRRCamera* free = run.CameraOfType(RRCameraFree);
  if (free) {
    run.Project().SetActiveCamera(free);
    free->SetPosition({10000, 3000, -8000});
    free->LookAt({10000, 0, 5000});
  }
  run.Frame();
  for (auto _ : state) run.Frame();
  state.counters["drawCalls"] = run.DrawCalls();
  state.counters["entities"] = double(run.Project().ProjectNode()->ChildCount());
}
BENCHMARK(BM_GeneratedFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The switch itself (SetActiveCamera between the top-down and the technical camera) and the
// frame after it.
void BM_TechnicalSwitch(benchmark::State& state) {
  TViewRun run;
  if (!run.Project().LoadProject(kSample, false)) {
    state.SkipWithError("sample layout not loaded");
    return;
  }
  TRRCamera* topDown = run.CameraOfType(RRCameraTopDown);
  TRRCamera* drawing = run.CameraOfType(RRCameraTechnical);
  if (!topDown || !drawing) {
    state.SkipWithError("no top-down or technical camera");
    return;
  }
  run.Project().SetActiveCamera(topDown);
  run.Frame();
  auto timed = [&](TRRCamera* camera) {
    const auto start = std::chrono::steady_clock::now();
    run.Project().SetActiveCamera(camera);
    run.Frame();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  };
  state.counters["firstOnMs"] = timed(drawing);
  state.counters["firstOffMs"] = timed(topDown);
  int switches = 0;
  for (auto _ : state) {
    timed(drawing);
    timed(topDown);
    ++switches;
  }
  state.counters["technicalDrawCalls"] = 0;
  run.Project().SetActiveCamera(drawing);
  run.Frame();
  state.counters["technicalDrawCalls"] = run.DrawCalls();
  state.counters["switchPairs"] = switches;
}
BENCHMARK(BM_TechnicalSwitch)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

// ---- reflections (null device) ----

#include "app/RRReflectionManager.h"
#include "app/entities/RRLight.h"
#include "engine/render/GXNullRenderDevice.h"
#include "engine/render/GXScene.h"
#include "tests/engine/render/GXRenderTestSupport.h"

namespace {

// 3 planar and 10 environment records among 400 drawn boxes on the recording null device: the
// main pass's draws against one planar pass's (the mirror image draws what the mirrored camera
// sees, at most 1.1 times the main pass) and the time of the reflection manager's frame update.
void BM_ReflectionPasses(benchmark::State& state) {
  gx::TGXNullRenderDevice device;
  device.SetRecording(false);
  gx::TGXEffectParameterManager parameters;
  rr::RRAddGlobalEffectSources(parameters);
  auto owned = std::make_unique<rr::TRRNullReflectionDevice>(device, parameters);
  rr::TRRNullReflectionDevice* null = owned.get();
  rr::TRRReflectionManager manager(std::move(owned), 2, 2);
  gx::TGXScene scene;
  auto* project = new gx::TGXSceneNode("Project", scene.Root());
  auto* eye = new gx::TGXSceneNode("Auge", scene.Root());
  eye->SetPosition({0, 150, -400});
  eye->SetRotation(gx::GXQuaternionRotationAxis({1, 0, 0}, 0.35f));
  auto* camera = new gx::TGXCamera(eye);
  camera->SetPerspective(0.8f, 1, 5000);
  gx::TGXRef<gx::TGXEffect> effect = gx::test::MakeEffect(device, "E", {{false}}, &parameters);
  gx::IGXMaterial plain = gx::test::MakeMaterial(nullptr, "Plain", effect);
  auto decl = gx::MakeRef<gx::TGXNullVertexDeclaration>("Decl");
  auto vb = gx::MakeRef<gx::TGXNullVertexBuffer>("VB", 960);
  auto ib = gx::MakeRef<gx::TGXNullIndexBuffer>("IB", 600, gx::GXFormatIndex16);
  std::vector<std::unique_ptr<gx::test::TTestPrimitive>> primitives;
  std::vector<gx::IGXMaterial> materials;
  auto add = [&](const gx::TGXVector3& at, float half, float height, const gx::IGXMaterial& material) {
    auto* node = new gx::TGXSceneNode("Box", project);
    node->SetPosition(at);
    auto* object = new gx::test::TTestObject(gx::test::Box(-half, 0, -half, half, height, half));
    auto p = std::make_unique<gx::test::TTestPrimitive>();
    p->Material = material;
    p->VertexGeometry = gx::TGXVertexGeometry{2, 4, decl, {vb}, {24}};
    p->IndexGeometry = gx::TGXIndexGeometry{6, 6, ib};
    object->Primitives.push_back(p.get());
    primitives.push_back(std::move(p));
    node->AttachObject(object);
    return node;
  };
  for (int x = 0; x < 20; ++x)
    for (int z = 0; z < 20; ++z) add({float(x - 10) * 40, 0, float(z) * 40}, 8, 20, plain);
  for (int i = 0; i < 13; ++i) {
    gx::IGXMaterial m = gx::test::MakeMaterial(nullptr, "Spiegel", effect);
    materials.push_back(m);
    gx::TGXSceneNode* node = add({float(i - 6) * 30, i < 3 ? 1.0f : 0.0f, 200}, 12, i < 3 ? 0.5f : 15, m);
    manager.RegisterMaterial(m.Get(), node, i < 3 ? rr::RRReflectionPlanar : rr::RRReflectionEnvironment);
  }
  auto target = gx::MakeRef<gx::TGXRenderTarget>(1280, 720);
  target->SetSurfaces(device.CreateRenderTarget(1280, 720, gx::GXFormatX8R8G8B8),
                      device.CreateDepthStencilSurface(1280, 720, gx::GXFormatD24X8));
  gx::TGXViewport* view = target->AddViewport(0, 0, 1, 1);
  view->SetScene(&scene);
  view->SetCamera(camera);
  int frameDraws = 0;
  for (auto _ : state) {
    scene.Root()->Update(false);
    const int before = null->DrawCalls;
    manager.Update(camera, 0xFF8090A0, nullptr, 1280.0f / 720.0f);
    frameDraws = null->DrawCalls - before;
  }
  // One planar pass alone, then the main pass.
  manager.SetQualities(2, 0);
  manager.RegisterMaterial(materials[0].Get(), static_cast<gx::TGXSceneNode*>(project->Child(400)),
                           rr::RRReflectionPlanar);
  scene.Root()->Update(false);
  const int before = null->DrawCalls;
  manager.Update(camera, 0xFF8090A0, nullptr, 1280.0f / 720.0f);
  const int planarDraws = null->DrawCalls - before;
  null->Renderer().Render(*view);
  const int mainDraws = null->Renderer().DrawCallCount();
  state.counters["reflectionDrawsPerFrame"] = frameDraws;
  state.counters["mainDraws"] = mainDraws;
  state.counters["planarDraws"] = planarDraws;
  state.counters["planarRatio"] = mainDraws ? double(planarDraws) / mainDraws : 0;
  view->SetScene(nullptr);
  scene.Root()->DeleteChildren();
}
BENCHMARK(BM_ReflectionPasses)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

// ---- cameras: the rotation pivot over 20,000 entities and framing 10,000 (no device) ----

#include <cmath>

#include "app/RRBareProjectHost.h"
#include "app/entities/RRCameraModifiers.h"

namespace {

class TBenchBox : public gx::TGXSceneObject {
 public:
  TBenchBox() { SetLocalBounds(gx::BoxFromMinMax({-2.5f, 0, -2.5f}, {2.5f, 5, 2.5f})); }
};

struct TCameraField {
  rr::TRRBareProjectHost<rr::TRRScriptedUIService> Host;
  std::unique_ptr<rr::TRREntityManager> Manager;
  std::vector<rr::TRREntity*> Entities;
  rr::TRRCamera* Camera = nullptr;

  // count entities on a square grid 20 cm apart, each a 5 cm box; a free camera over one corner
  // looking down 45 degrees across the field.
  explicit TCameraField(int count) {
    Manager = std::make_unique<rr::TRREntityManager>(Host, nullptr, &Host.Scene);
    const int side = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
    for (int i = 0; i < count; ++i) {
      rr::TRRModelDesc d;
      d.SetID(Manager->NextID());
      d.SetPosition({static_cast<float>(i % side) * 20.0f, 0, static_cast<float>(i / side) * 20.0f});
      Manager->ReserveIDs(1);
      rr::TRREntity* e = Manager->CreateEntity(nullptr, d);
      e->AttachObject(gx::MakeRef<TBenchBox>().Get());
      Entities.push_back(e);
    }
    rr::TRRCameraDesc c;
    c.SetType(rr::RRCameraFree);
    c.SetID(Manager->NextID());
    c.SetPosition({-100, 300, -100});
    c.SetRotation(gx::GXQuaternionMultiply(gx::GXQuaternionRotationAxis({1, 0, 0}, 0.7853982f),
                                           gx::GXQuaternionRotationAxis({0, 1, 0}, 0.7853982f)));
    Manager->ReserveIDs(1);
    Camera = static_cast<rr::TRRCamera*>(Manager->CreateEntity(nullptr, c));
    Host.Scene.Root()->Update(false);
  }
  ~TCameraField() {
    Host.Scene.Root()->DeleteChildren();
    Manager.reset();
  }
};

void BM_CameraPivot(benchmark::State& state) {
  TCameraField field(20000);
  gx::TGXVector3 pivot;
  for (auto _ : state) {
    pivot = rr::RRCameraRotationPivot(*field.Camera, *field.Manager, false);
    benchmark::DoNotOptimize(pivot);
  }
  state.counters["entities"] = 20000;
}
BENCHMARK(BM_CameraPivot)->Unit(benchmark::kMicrosecond);

void BM_CameraFraming(benchmark::State& state) {
  TCameraField field(10000);
  const gx::TGXVector3 start = field.Camera->WorldPosition();
  for (auto _ : state) {
    field.Camera->SetWorldPosition(start);
    benchmark::DoNotOptimize(field.Camera->FrameEntities(field.Entities));
  }
  state.counters["entities"] = 10000;
}
BENCHMARK(BM_CameraFraming)->Unit(benchmark::kMicrosecond);

}  // namespace
