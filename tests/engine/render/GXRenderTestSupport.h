#pragma once
// Test doubles shared by the render tests: a compiled effect and a material that write what they
// are asked to do into the null device's log, a scene object that queues given primitives, and
// a builder for effects with techniques and passes.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/GXSceneNode.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXEffect.h"
#include "engine/render/GXMaterial.h"
#include "engine/render/GXNullRenderDevice.h"
#include "engine/render/GXRenderPrimitive.h"
#include "engine/render/GXRenderQueue.h"

namespace gx::test {

// Parameter handles the recording effect uses for the automatic matrices.
enum : TGXEffectHandle { HWorld = 100, HView = 101, HProjection = 102, HViewProjection = 103 };

class TRecordingEffect : public TGXCompiledEffect {
 public:
  TRecordingEffect(TGXNullRenderDevice& device, std::string name) : FDevice(device), FName(std::move(name)) {}
  void SetTechnique(TGXEffectHandle technique) override {
    FDevice.Note(FName + ".SetTechnique(" + std::to_string(technique) + ")");
  }
  void Begin() override { FDevice.Note(FName + ".Begin"); }
  void End() override { FDevice.Note(FName + ".End"); }
  void BeginPass(int index) override { FDevice.Note(FName + ".BeginPass(" + std::to_string(index) + ")"); }
  void EndPass() override { FDevice.Note(FName + ".EndPass"); }
  void SetMatrix(TGXEffectHandle parameter, const TGXMatrix& value) override {
    Matrices[parameter] = value;
    FDevice.Note(FName + ".SetMatrix(" + std::to_string(parameter) + ")");
  }
  void CommitChanges() override { FDevice.Note(FName + ".Commit"); }

  std::map<TGXEffectHandle, TGXMatrix> Matrices;

 private:
  TGXNullRenderDevice& FDevice;
  std::string FName;
};

// An effect with one technique per entry of passes; each entry lists the passes' blend flags.
// The automatic matrices are bound when a manager is given.
inline TGXRef<TGXEffect> MakeEffect(TGXNullRenderDevice& device, const std::string& name,
                                    const std::vector<std::vector<bool>>& passes,
                                    TGXEffectParameterManager* manager = nullptr,
                                    TRecordingEffect** recorder = nullptr) {
  TGXRef<TGXEffect> effect = MakeRef<TGXEffect>(nullptr, name, true);
  auto compiled = std::make_unique<TRecordingEffect>(device, name);
  if (recorder) *recorder = compiled.get();
  effect->SetCompiled(std::move(compiled));
  for (size_t t = 0; t < passes.size(); ++t) {
    TGXEffectTechnique* technique =
        effect->AddTechnique(std::string("T").append(std::to_string(t)), static_cast<TGXEffectHandle>(t + 1));
    for (bool blend : passes[t]) technique->AddPass(blend);
  }
  if (manager) {
    effect->AddAutoParameter(manager->FindSource("WORLD"), HWorld);
    effect->AddAutoParameter(manager->FindSource("VIEW"), HView);
    effect->AddAutoParameter(manager->FindSource("PROJECTION"), HProjection);
    effect->AddAutoParameter(manager->FindSource("VIEWPROJECTION"), HViewProjection);
  }
  return effect;
}

class TRecordingMaterial : public TGXMaterial {
 public:
  TRecordingMaterial(TGXNullRenderDevice* device, const std::string& name)
      : TGXMaterial(nullptr, name, true), FDevice(device) {}
  void Apply(bool changed) override {
    if (FDevice) FDevice->Note("Apply(" + GetName().Text() + ", " + (changed ? "changed" : "same") + ")");
  }

 private:
  TGXNullRenderDevice* FDevice;
};

// A material of the effect drawing with technique index t.
inline TGXRef<TRecordingMaterial> MakeMaterial(TGXNullRenderDevice* device, const std::string& name,
                                               const TGXRef<TGXEffect>& effect, int t = 0) {
  auto material = MakeRef<TRecordingMaterial>(device, name);
  material->SetEffect(effect);
  material->SetTechnique(effect->Technique(t));
  return material;
}

// A primitive with its own world matrix (identity unless set) and a note when it is prepared.
class TTestPrimitive : public TGXRenderPrimitive {
 public:
  void BeforeRender() override {
    if (Device) Device->Note("BeforeRender(" + Name + ")");
  }
  const TGXMatrix* GetWorldMatrix() override { return HasWorld ? &World : nullptr; }

  std::string Name;
  TGXNullRenderDevice* Device = nullptr;
  bool HasWorld = false;
  TGXMatrix World;
};

// A scene object with a box that queues its primitives with their layers, at the squared
// distance from the camera's node to the centre of its world bounds.
class TTestObject : public TGXSceneObject {
 public:
  explicit TTestObject(const TGXBoundingBox& box) { SetLocalBounds(box); }
  void AddToRenderQueue(TGXSceneCamera* camera, TGXRenderQueue* queue) override {
    ++Queued;
    TGXVector3 eye;
    if (camera->Node()) eye = camera->Node()->WorldPosition();
    for (size_t i = 0; i < Primitives.size(); ++i)
      queue->Add(Primitives[i], i < Layers.size() ? Layers[i] : 0.0f,
                 DistanceSquared(eye, WorldBounds().Center));
  }

  std::vector<TGXRenderPrimitive*> Primitives;
  std::vector<float> Layers;
  int Queued = 0;
};

inline TGXBoundingBox Box(float x0, float y0, float z0, float x1, float y1, float z1) {
  return BoxFromMinMax({x0, y0, z0}, {x1, y1, z1});
}

}  // namespace gx::test
