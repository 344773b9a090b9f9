// Model entities on a surfaceless render core (CPU time), each figure with its goal as label:
// - 5,000 models made from 100 distinct model files of 10 sub-meshes each, with their model
//   resources and textures already loaded (one live instance of each file): below 250 ms;
// - the technical view switched on or off for 5,000 of them: below 20 ms; the same call when
//   nothing changes: near zero;
// - Animate of 500 animated models for one frame: below 0.5 ms.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/RRModelServices.h"
#include "app/RRProjectSerializer.h"
#include "app/entities/RRModel.h"
#include "bench/BenchHeap.h"
#include "engine/core/GXEngine.h"
#include "engine/core/GXSceneNode.h"
#include "engine/render/GXModelData.h"
#include "engine/render/GXModelWriter.h"
#include "engine/render/GXRenderCore.h"
#include "tests/app/ModelTestSupport.h"

namespace {

using namespace rr;

constexpr int kFiles = 100, kSubMeshes = 10, kInstances = 5000, kTextures = 20, kAnimated = 500;
constexpr const char* kPackage = "{0B1C2D3E-4F50-4617-8293-A4B5C6D7E8F9}";

// File f: one mesh of 10 boxes, each its own sub-mesh with one of the textures.
gx::TGXModelData FileData(int f, bool animated) {
  gx::TGXModelData data;
  data.Format = gx::EGXModelFormat::XFile;
  gx::TGXModelMesh mesh;
  mesh.Name = "Teil";
  for (int s = 0; s < kSubMeshes; ++s) {
    const uint32_t first = uint32_t(mesh.Indices.size());
    const float x = float(s) * 2, size = 1 + 0.01f * float(f);
    modeltest::AddBox(mesh, {x, 0, 0}, {x + size, size, size});
    mesh.SubMeshes.push_back({first,
                              uint32_t(mesh.Indices.size()) - first,
                              "T" + std::to_string((f + s) % kTextures) + ".png",
                              {},
                              {}});
  }
  gx::GXModelCalculateBounds(mesh);
  data.Meshes.push_back(mesh);
  gx::TGXModelNode node;
  node.Name = "Teil";
  node.Meshes = {0};
  data.Nodes.push_back(node);
  if (animated) {
    data.HasAnimation = true;
    gx::TGXModelTrack track;
    track.Name = "Teil";
    for (uint32_t k = 0; k <= 100; k += 10)
      track.RotationKeys.push_back({k, {0, std::sin(k * 0.01f), 0, std::cos(k * 0.01f)}});
    track.PositionKeys = {{0, {0, 0, 0}}, {50, {0, 1, 0}}, {100, {0, 0, 0}}};
    data.Animation.Tracks.push_back(track);
  }
  return data;
}

TRRAssetFileName Asset(const std::string& name) { return {name, std::string(kPackage) + "\\" + name}; }

// The engine with a render core, the files below its Game root, the model services installed,
// and one live instance of every file so that models and textures stay loaded.
struct TWorld {
  std::unique_ptr<gx::TGXEngine> Engine = gx::TGXEngine::CreateEngine();
  std::filesystem::path Folder =
      std::filesystem::temp_directory_path() / ("model-bench-" + std::to_string(getpid()));
  TRRDefaultReflectionManager Reflections;
  gx::TGXSceneNode Keep;
  std::vector<std::unique_ptr<TRRModelDesc>> Descriptions;
  std::unique_ptr<TRRModelDesc> Animated;

  TWorld() {
    Engine->AttachRenderCore(std::make_unique<gx::TGXRenderCore>());
    const std::filesystem::path shader = Folder / RRBasePackageID / "Shader";
    std::filesystem::create_directories(shader);
    std::filesystem::create_directories(Folder / kPackage);
    std::filesystem::copy_file(std::filesystem::path(VELMORA_SOURCE_DIR) / "data" / "shaders" / "Model.fx",
                               shader / "Model.fx", std::filesystem::copy_options::overwrite_existing);
    Engine->FileSystem().SetRoot("Game", Folder.string());
    for (int t = 0; t < kTextures; ++t) {
      std::vector<uint32_t> pixels(16 * 16, 0xFF000000u | uint32_t(t * 0x0B0907));
      Put("T" + std::to_string(t) + ".png", RREncodePng(16, 16, pixels, false));
    }
    TRRModelServices services;
    services.FileSystem = &Engine->FileSystem();
    services.Resources = &Engine->ResourceManager();
    services.Reflections = &Reflections;
    TRRModelServices::Install(services);
    for (int f = 0; f <= kFiles; ++f) {
      const bool animated = f == kFiles;
      const std::string name = "M" + std::to_string(f) + ".x";
      Put(name, gx::GXWriteXFile(FileData(f, animated)));
      auto d = std::make_unique<TRRModelDesc>();
      d->SetID(1);
      d->ModelFile().Model = Asset(name);
      for (int t = 0; t < kTextures; ++t)
        d->ModelFile().Companions.push_back(Asset("T" + std::to_string(t) + ".png"));
      TRRModel::StaticClass().Create(&Keep, nullptr, *d);
      if (animated)
        Animated = std::move(d);
      else
        Descriptions.push_back(std::move(d));
    }
  }
  ~TWorld() {
    Keep.DeleteChildren();
    TRRModelServices::Clear();
    Engine.reset();
    std::error_code ignored;
    std::filesystem::remove_all(Folder, ignored);
  }
  void Put(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(Folder / kPackage / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  // count models, spread over the files (or all of the animated one).
  std::vector<TRRModel*> Make(gx::TGXSceneNode& parent, int count, bool animated = false) {
    std::vector<TRRModel*> models;
    models.reserve(size_t(count));
    for (int i = 0; i < count; ++i)
      models.push_back(static_cast<TRRModel*>(TRRModel::StaticClass().Create(
          &parent, nullptr, animated ? *Animated : *Descriptions[size_t(i % kFiles)])));
    return models;
  }
};

TWorld& World() {
  static TWorld world;
  return world;
}

void BM_Create5000ModelsOf100Files(benchmark::State& state) {
  TWorld& world = World();
  for (auto _ : state) {
    gx::TGXSceneNode parent;
    std::vector<TRRModel*> models = world.Make(parent, kInstances);
    benchmark::DoNotOptimize(models.data());
    state.PauseTiming();
    parent.DeleteChildren();
    state.ResumeTiming();
  }
  state.SetLabel("Ziel < 250 ms");
}
BENCHMARK(BM_Create5000ModelsOf100Files)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_TechnicalViewSwitch5000Models(benchmark::State& state) {
  TWorld& world = World();
  gx::TGXSceneNode parent;
  std::vector<TRRModel*> models = world.Make(parent, kInstances);
  bool technical = false;
  for (auto _ : state) {
    technical = !technical;
    for (TRRModel* m : models) m->UpdateView(technical);
  }
  state.SetLabel("Ziel < 20 ms");
}
BENCHMARK(BM_TechnicalViewSwitch5000Models)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_TechnicalViewUnchanged5000Models(benchmark::State& state) {
  TWorld& world = World();
  gx::TGXSceneNode parent;
  std::vector<TRRModel*> models = world.Make(parent, kInstances);
  for (TRRModel* m : models) m->UpdateView(true);
  for (auto _ : state)
    for (TRRModel* m : models) m->UpdateView(true);
  state.SetLabel("Ziel: nahe 0");
}
BENCHMARK(BM_TechnicalViewUnchanged5000Models)->Unit(benchmark::kMicrosecond);

void BM_Animate500AnimatedModels(benchmark::State& state) {
  TWorld& world = World();
  gx::TGXSceneNode parent;
  std::vector<TRRModel*> models = world.Make(parent, kAnimated, true);
  for (auto _ : state)
    for (TRRModel* m : models) m->Animate(true, 0.04f);
  state.SetLabel("Ziel < 0.5 ms");
}
BENCHMARK(BM_Animate500AnimatedModels)->Unit(benchmark::kMicrosecond);

}  // namespace
