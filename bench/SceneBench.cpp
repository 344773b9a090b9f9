// Culling, queueing and picking in a scene of 100,000 nodes with 1 to 3 objects each, laid out
// on a grid like the pieces of a large layout (about 320 m x 320 m, objects 0.2 m to 1 m).
//
// Two shapes of the same scene: "grouped" puts the nodes into 100 regions of 1,000 nodes (as a
// layout with groups and folders), "flat" hangs all 100,000 directly under one node (the worst
// case for a walk that prunes by bounds). Cameras: "partial" stands at one corner looking across
// with the default far plane of 50 m; "all" looks down on the whole layout.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "engine/core/GXGeometry.h"
#include "engine/core/GXSceneNode.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXEffect.h"
#include "engine/render/GXMaterial.h"
#include "engine/render/GXNullRenderDevice.h"
#include "engine/render/GXRenderPrimitive.h"
#include "engine/render/GXRenderQueue.h"
#include "engine/render/GXRenderTarget.h"
#include "engine/render/GXRenderer.h"
#include "engine/render/GXScene.h"

namespace {

using namespace gx;

constexpr int kNodes = 100000;
constexpr int kSide = 317;  // grid side, kSide^2 >= kNodes
constexpr float kSpacing = 100;

class TBenchObject : public TGXSceneObject {
 public:
  TBenchObject(const TGXBoundingBox& box, const IGXMaterial& material) {
    SetLocalBounds(box);
    FPrimitive.Material = material;
    FPrimitive.VertexGeometry = TGXVertexGeometry{0, 36, nullptr, {}, {}};
  }
  void AddToRenderQueue(TGXSceneCamera* camera, TGXRenderQueue* queue) override {
    const TGXVector3 eye = camera->Node() ? camera->Node()->WorldPosition() : TGXVector3();
    queue->Add(&FPrimitive, 0, DistanceSquared(eye, WorldBounds().Center));
  }

 private:
  TGXRenderPrimitive FPrimitive;
};

// Code-built effects are complete only with a compiled program; the benchmark measures the scene
// walk and the queue, so a program that does nothing stands in for the device's.
class TNoOpEffect : public TGXCompiledEffect {
 public:
  void SetTechnique(TGXEffectHandle) override {}
  void Begin() override {}
  void End() override {}
  void BeginPass(int) override {}
  void EndPass() override {}
  void SetMatrix(TGXEffectHandle, const TGXMatrix&) override {}
  void CommitChanges() override {}
};

struct TBenchScene {
  TGXScene Scene;
  std::vector<TGXRef<TGXEffect>> Effects;
  std::vector<IGXMaterial> Materials;
  TGXNullRenderDevice Device;
  TGXEffectParameterManager Parameters;
  std::unique_ptr<TGXRenderer> Renderer;
  TGXRef<TGXRenderTarget> Target = MakeRef<TGXRenderTarget>(1280, 720);
  TGXViewport* Viewport = nullptr;
  TGXSceneNode* CameraNode = nullptr;
  TGXCamera* Camera = nullptr;
  int Objects = 0;

  explicit TBenchScene(bool grouped) {
    Device.SetRecording(false);
    Renderer = std::make_unique<TGXRenderer>(Device, Parameters);
    // Eight effects: six opaque (one of them two-pass), two blended.
    for (int e = 0; e < 8; ++e) {
      auto effect = MakeRef<TGXEffect>(nullptr, "Bench" + std::to_string(e), true);
      effect->SetCompiled(std::make_unique<TNoOpEffect>());
      TGXEffectTechnique* t = effect->AddTechnique("Main", 1);
      t->AddPass(e >= 6);
      if (e == 5) t->AddPass(false);
      Effects.push_back(effect);
      for (int m = 0; m < 4; ++m) {
        auto material = MakeRef<TGXMaterial>(nullptr, "M", true);
        material->SetEffect(effect);
        material->SetTechnique(t);
        Materials.push_back(material);
      }
    }

    std::mt19937 random(12345);
    std::uniform_real_distribution<float> size(10, 50), turn(0, 2 * GX_PI);
    std::uniform_int_distribution<int> count(1, 3), material(0, static_cast<int>(Materials.size()) - 1);
    TGXSceneNode* layout = new TGXSceneNode("Anlage", Scene.Root());
    std::vector<TGXSceneNode*> regions;
    if (grouped)
      for (int r = 0; r < 100; ++r) regions.push_back(new TGXSceneNode("Region", layout));
    for (int i = 0; i < kNodes; ++i) {
      const int gx = i % kSide, gz = i / kSide;
      // Regions are 10 x 10 tiles of the grid, so their bounds are compact.
      TGXSceneNode* parent = grouped ? regions[(gz * 10 / kSide) * 10 + gx * 10 / kSide] : layout;
      auto* node = new TGXSceneNode("Node", parent);
      node->SetPosition({gx * kSpacing, 0, gz * kSpacing});
      node->SetRotation(GXQuaternionRotationAxis({0, 1, 0}, turn(random)));
      const int n = count(random);
      for (int k = 0; k < n; ++k) {
        const float s = size(random);
        const TGXVector3 offset(static_cast<float>(k) * 20 - 20, 0, 0);
        node->AttachObject(
            new TBenchObject(BoxFromMinMax(offset + TGXVector3(-s, 0, -s), offset + TGXVector3(s, 2 * s, s)),
                             Materials[material(random)]));
        ++Objects;
      }
    }
    CameraNode = new TGXSceneNode("Kamera", Scene.Root());
    Camera = new TGXCamera(CameraNode);
    Viewport = Target->AddViewport(0, 0, 1, 1);
    Viewport->SetScene(&Scene);
    Viewport->SetCamera(Camera);
    Scene.Root()->Update(false);
  }

  // At a corner, 1.6 m up, looking diagonally across with the default far plane (50 m).
  void CornerView() {
    CameraNode->SetPosition({-200, 160, -200});
    CameraNode->SetRotation(GXQuaternionMultiply(GXQuaternionRotationAxis({1, 0, 0}, 0.15f),
                                                 GXQuaternionRotationAxis({0, 1, 0}, GX_PI / 4)));
    Camera->SetPerspective(TGXCamera::DefaultFieldOfView, 1, 5000);
    Scene.Root()->Update(false);
  }
  // High above the centre looking straight down, far plane beyond everything.
  void TopView() {
    const float c = kSide * kSpacing / 2;
    CameraNode->SetPosition({c, 60000, c});
    CameraNode->SetRotation(GXQuaternionRotationAxis({1, 0, 0}, GX_PI / 2));
    Camera->SetPerspective(1.2f, 1, 100000);
    Scene.Root()->Update(false);
  }
};

TBenchScene& SceneOf(bool grouped) {
  static std::unique_ptr<TBenchScene> scenes[2];
  auto& s = scenes[grouped ? 1 : 0];
  if (!s) s = std::make_unique<TBenchScene>(grouped);
  return *s;
}

void BM_CullAndQueue(benchmark::State& state) {
  TBenchScene& s = SceneOf(state.range(0) != 0);
  if (state.range(1))
    s.TopView();
  else
    s.CornerView();
  for (auto _ : state) {
    s.Renderer->BuildQueue(*s.Viewport);
    benchmark::DoNotOptimize(s.Renderer->Queue().ItemCount());
  }
  state.counters["nodes"] = kNodes;
  state.counters["objects"] = s.Objects;
  state.counters["items"] = s.Renderer->Queue().ItemCount();
}
BENCHMARK(BM_CullAndQueue)
    ->ArgNames({"grouped", "all"})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({0, 1})
    ->Unit(benchmark::kMillisecond);

// The whole frame on the null device: queue, then draw every item (state changes, binding).
void BM_RenderFrame(benchmark::State& state) {
  TBenchScene& s = SceneOf(state.range(0) != 0);
  if (state.range(1))
    s.TopView();
  else
    s.CornerView();
  for (auto _ : state) s.Renderer->Render(*s.Viewport);
  state.counters["items"] = s.Renderer->Queue().ItemCount();
}
BENCHMARK(BM_RenderFrame)
    ->ArgNames({"grouped", "all"})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond);

// Rays from a viewer 10 m above the layout down at points spread over it: each meets few objects.
void BM_Pick(benchmark::State& state) {
  TBenchScene& s = SceneOf(state.range(0) != 0);
  std::mt19937 random(777);
  std::uniform_real_distribution<float> where(0, kSide * kSpacing);
  std::vector<TGXRay> rays;
  for (int i = 0; i < 64; ++i) {
    const TGXVector3 target(where(random), 0, where(random));
    const TGXVector3 eye = target + TGXVector3(-300, 1000, -300);
    rays.push_back({eye, GXVec3Normalize(target - eye)});
  }
  size_t i = 0, hits = 0;
  for (auto _ : state) {
    const TGXRay& ray = rays[i++ % rays.size()];
    TGXPickResult r = s.Scene.Pick(ray.Origin, ray.Direction);
    hits += r.Object != nullptr;
  }
  state.counters["hit_rate"] = static_cast<double>(hits) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_Pick)->ArgName("grouped")->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

}  // namespace
