// Track drawing: building the primitives of a generated 10,000-piece layout, setting up and
// queueing 20,000 primitives and building one 64-segment geometry on the null device, and the
// whole layout in full view on the GL device (llvmpipe), batched and unbatched, with the draw
// calls of one frame as a counter.

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackGeometry.h"
#include "app/entities/track/RRTrackPrimitives.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/core/GXEngine.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXImageReader.h"
#include "engine/render/GXMesh.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderWindow.h"
#include "engine/render/GXScene.h"
#include "tests/app/entities/track/TrackDrawingSupport.h"

namespace {

using namespace rr;

struct TManager : IRREntityManager {
  void RegisterEntity(TRREntity*) override {}
  void UnregisterEntity(TRREntity*) override {}
  TRREntity* FindByID(int32_t) const override { return nullptr; }
  TRRTrackResources* TrackResources() override { return Resources; }
  TRRTrackResources* Resources = nullptr;
};

// Pieces on a grid 40 units apart, 100 to a row: 50 % straights, 45 % curves, 5 % bent flexible
// tracks, a third with bed off.
struct TLayout {
  TManager Manager;
  gx::TGXSceneNode* Root;
  std::vector<TRRTrack*> Tracks;
  explicit TLayout(gx::TGXSceneNode* root, int count = 10000) : Root(root) {
    for (int i = 0; i < count; ++i) {
      const int kind = i % 20 < 10 ? 0 : i % 20 < 19 ? 1 : 2;
      TRRTrackDesc d(kind == 0   ? TRRTrackType::Straight
                     : kind == 1 ? TRRTrackType::Curve
                                 : TRRTrackType::Flexible);
      d.SetID(i + 1);
      d.SetHasBed(i % 3 != 1);
      auto r = std::make_unique<TRRTrackRouteDesc>();
      if (kind == 0) {
        r->L1 = 10 + float(i % 7) * 3;
      } else if (kind == 1) {
        r->Radius = 30 + float(i % 5) * 8;
        r->Angle = 0.2f + float(i % 4) * 0.1f;
      } else {
        const int n = 20 + i % 30;
        float heading = 0, x = 0, z = 0;
        for (int k = 0; k < n; ++k) {
          r->FlexPoints.push_back({std::sin(heading), std::cos(heading), x, z});
          x += std::sin(heading + 0.005f);
          z += std::cos(heading + 0.005f);
          heading += 0.01f;
        }
        r->FlexL = float(n - 1);
      }
      d.AddRoute(std::move(r));
      auto* t = static_cast<TRRTrack*>(TRRTrack::StaticClass().Create(root, &Manager, d));
      t->SetPosition(
          {float(i % 100) * 40 - 2000, 0, float(i / 100 % 100) * 40 - 2000 + float(i / 10000) * 13});
      Tracks.push_back(t);
    }
    root->Update(true);
  }
  ~TLayout() {
    for (TRRTrack* t : Tracks) delete t;
  }
};

void BM_BuildPrimitivesOf10000Pieces(benchmark::State& state) {
  gx::TGXSceneNode root("Wurzel");
  TLayout layout(&root);
  size_t primitives = 0;
  for (auto _ : state) {
    primitives = 0;
    for (TRRTrack* t : layout.Tracks) {
      t->GetRoute(0)->BuildPrimitives();
      primitives += t->GetRoute(0)->Primitives().size();
    }
  }
  state.counters["primitives"] = double(primitives);
}
BENCHMARK(BM_BuildPrimitivesOf10000Pieces)->Unit(benchmark::kMillisecond);

void BM_SetUpAndQueue20000Primitives(benchmark::State& state) {
  tracktest::TDrawing drawing;
  drawing.Device.SetRecording(false);
  auto resources = drawing.Make();
  resources->SetBatching(state.range(0) != 0);
  gx::TGXSceneNode root("Wurzel");
  TLayout layout(&root, 20000);
  layout.Manager.Resources = resources.get();
  gx::TGXRenderQueue queue;
  std::vector<TRRTrackRoute*> routes;
  size_t primitives = 0;
  for (TRRTrack* t : layout.Tracks) {
    routes.push_back(t->GetRoute(0));
    t->GetRoute(0)->BuildPrimitives();
    primitives += t->GetRoute(0)->Primitives().size();
  }
  for (auto _ : state) {
    queue.Clear();
    for (TRRTrackRoute* r : routes) r->AddToRenderQueue(nullptr, &queue);
    benchmark::DoNotOptimize(queue.ItemCount());
  }
  state.counters["primitives"] = double(primitives);
}
BENCHMARK(BM_SetUpAndQueue20000Primitives)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_One64SegmentGeometry(benchmark::State& state) {
  tracktest::TDrawing drawing;
  drawing.Device.SetRecording(false);
  const TRRSegmentMesh mesh = tracktest::SegmentMesh(drawing.Device, assetgen::TrackSegmentMesh(false));
  for (auto _ : state) {
    TRRTrackNoBedGeometry g(drawing.Device, mesh);
    benchmark::DoNotOptimize(g.Indices().IndexCount);
  }
}
BENCHMARK(BM_One64SegmentGeometry)->Unit(benchmark::kMicrosecond);

std::string ReadText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The layout in full view on llvmpipe; range 0: one draw per primitive, 1: batched.
void BM_GLFrameOf10000Pieces(benchmark::State& state) {
  auto engine = gx::TGXEngine::CreateEngine();
  try {
    engine->AttachRenderCore(std::make_unique<gx::TGXRenderCore>());
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  gx::TGXRenderCore* core = gx::GXCurrentRenderCore();
  TRRTrackResources::TSource s;
  s.Device = &core->Device();
  s.LoadMesh = [](const std::string& file) {
    gx::IGXMesh mesh = gx::MakeRef<gx::TGXMesh>(nullptr, file, true);
    mesh->SetData(assetgen::TrackSegmentMesh(file == RRTrackMeshBed));
    TRRSegmentMesh m;
    m.Data = mesh->GetData();
    m.Layout = mesh->GetGeometry().Layout;
    m.Vertices = mesh->GetGeometry();
    m.Indices = mesh->SubMesh(0)->IndexGeometry;
    return m;
  };
  s.LoadEffect = [](const std::string& file) {
    const std::filesystem::path folder =
        std::filesystem::path(VELMORA_SOURCE_DIR) / "data" / "shaders" / "tracks";
    std::string text = ReadText(folder / file.substr(file.rfind('\\') + 1));
    const std::string include = "#include \"TrackCommon.fxh\"";
    text.replace(text.find(include), include.size(), ReadText(folder / "TrackCommon.fxh"));
    gx::IGXEffect effect = gx::MakeRef<gx::TGXEffect>(nullptr, file, true);
    effect->SetSourceText(text);
    effect->Load();
    return effect;
  };
  s.LoadDefaultTexture = [core] {
    gx::TGXImage image;
    image.Width = image.Height = 128;
    image.Pixels = assetgen::TrackTexture(0);
    return gx::TGXRef<gx::TGXRefCounted>(core->Device().CreateTexture(image, 0).Get());
  };
  {
    TRRTrackResources resources(std::move(s));
    resources.SetBatching(state.range(0) != 0);
    gx::TGXScene scene;
    TLayout layout(scene.Root());
    layout.Manager.Resources = &resources;
    gx::TGXOffscreenSurface surface(512, 512);
    auto window = gx::MakeRef<gx::TGXRenderWindow>(&surface);
    auto* eye = new gx::TGXSceneNode("Auge", scene.Root());
    auto camera = gx::MakeRef<gx::TGXCamera>();
    eye->AttachObject(camera.Get());
    eye->SetRotation(gx::GXQuaternionRotationAxis({1, 0, 0}, 3.14159265f / 2));
    eye->SetPosition({0, 200, 0});
    camera->SetOrthographic(1, 1000, 4100);
    gx::TGXViewport* v = window->AddViewport(0, 0, 1, 1);
    v->SetScene(&scene);
    v->SetCamera(camera.Get());
    window->RenderAll();  // builds the primitives
    for (auto _ : state) window->RenderAll();
    state.counters["drawCalls"] = core->Renderer().DrawCallCount();
    v->SetScene(nullptr);
  }
}
BENCHMARK(BM_GLFrameOf10000Pieces)->Arg(0)->Arg(1)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
