#pragma once
// Effects as the renderer drives them: an effect resource (TGXEffect) has techniques, each with
// passes; a pass knows whether it turns alpha blending on (which decides its place in the render
// queue). Parameters whose semantic names a global source of the effect-parameter manager are
// filled automatically: the matrices "WORLD" (per drawn primitive), "VIEW", "PROJECTION" and
// "VIEWPROJECTION" (per technique begin), and whatever sources the application registers.
//
// The compiled program behind an effect is a TGXCompiledEffect. The render core supplies one
// per effect when it compiles the effect file (GLSL); tests supply a recording one. Techniques,
// passes and parameters refer to it through opaque handles that the compiled effect hands out.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/GXGuid.h"
#include "engine/core/GXMath.h"
#include "engine/core/GXRefCounted.h"
#include "engine/core/GXResourceManager.h"

namespace gx {

// {9ECE45E0-B0BB-4E45-B5F8-88F6B3EFE1A2}
inline constexpr TGXGuid IID_IGXEffect{
    0x9ECE45E0, 0xB0BB, 0x4E45, {0xB5, 0xF8, 0x88, 0xF6, 0xB3, 0xEF, 0xE1, 0xA2}};

// A technique or parameter of a compiled effect, as the compiled effect numbers them.
using TGXEffectHandle = uint32_t;

// The compiled program of an effect: the operations the engine needs from it.
class TGXCompiledEffect {
 public:
  virtual ~TGXCompiledEffect() = default;
  // Makes the technique the one Begin starts.
  virtual void SetTechnique(TGXEffectHandle technique) = 0;
  virtual void Begin() = 0;
  virtual void End() = 0;
  virtual void BeginPass(int index) = 0;
  virtual void EndPass() = 0;
  virtual void SetMatrix(TGXEffectHandle parameter, const TGXMatrix& value) = 0;
  // Sets a parameter from its raw value block (the elements one after the other, as the
  // parameter's source keeps them). Effects without such parameters need not take it.
  virtual void SetValue(TGXEffectHandle parameter, const void* data, uint32_t size) {}
  // Hands the parameter values changed inside an active pass to the device.
  virtual void CommitChanges() = 0;
};

// Supplies the value of effect parameters. Shared between effects (the global sources) and kept
// alive by every parameter bound to it.
class TGXEffectParameterSource : public TGXRefCounted {
 public:
  const std::string& Name() const { return FName; }
  // Array elements, at least 1.
  int Count() const { return FCount; }
  // Sets the value on the compiled effect's parameter.
  virtual void Apply(TGXCompiledEffect& effect, TGXEffectHandle handle) = 0;

 protected:
  TGXEffectParameterSource(std::string name, int count)
      : FName(std::move(name)), FCount(count < 1 ? 1 : count) {}
  ~TGXEffectParameterSource() override = default;

 private:
  std::string FName;
  int FCount;
};

// A source that reads a matrix kept elsewhere (the renderer's camera and world matrices). A null
// pointer stands for the identity, so a source is never left pointing at nothing.
class TGXEffectMatrixPointerSource : public TGXEffectParameterSource {
 public:
  explicit TGXEffectMatrixPointerSource(std::string name, int count = 1)
      : TGXEffectParameterSource(std::move(name), count) {}
  const TGXMatrix* Matrix() const { return FMatrix; }
  // The matrix must stay valid until the pointer is changed again.
  void SetMatrix(const TGXMatrix* matrix) { FMatrix = matrix; }
  // Sets one matrix when the count is 1; arrays are not read through a pointer.
  void Apply(TGXCompiledEffect& effect, TGXEffectHandle handle) override;

 private:
  const TGXMatrix* FMatrix = nullptr;
};

// A parameter of an effect bound to its source.
struct TGXEffectParameter {
  TGXRef<TGXEffectParameterSource> Source;
  TGXEffectHandle Handle = 0;
  void Apply(TGXCompiledEffect& effect) const { Source->Apply(effect, Handle); }
};

// The global sources. Created with the four matrix-pointer sources "WORLD", "VIEW",
// "PROJECTION" and "VIEWPROJECTION" in this order; names are unique.
class TGXEffectParameterManager {
 public:
  TGXEffectParameterManager();
  TGXEffectParameterManager(const TGXEffectParameterManager&) = delete;
  TGXEffectParameterManager& operator=(const TGXEffectParameterManager&) = delete;

  // A null source or a second source with an existing name is a programming error.
  void AddSource(TGXRef<TGXEffectParameterSource> source);
  // Exact comparison; null when there is none.
  TGXEffectParameterSource* FindSource(std::string_view name) const;
  int SourceCount() const { return static_cast<int>(FSources.size()); }
  TGXEffectParameterSource* Source(int index) const { return FSources.at(index).Get(); }

  TGXEffectMatrixPointerSource* World() const { return FWorld; }
  TGXEffectMatrixPointerSource* View() const { return FView; }
  TGXEffectMatrixPointerSource* Projection() const { return FProjection; }
  TGXEffectMatrixPointerSource* ViewProjection() const { return FViewProjection; }

 private:
  std::vector<TGXRef<TGXEffectParameterSource>> FSources;
  TGXEffectMatrixPointerSource* FWorld;
  TGXEffectMatrixPointerSource* FView;
  TGXEffectMatrixPointerSource* FProjection;
  TGXEffectMatrixPointerSource* FViewProjection;
};

class TGXEffect;
class TGXEffectTechnique;

class TGXEffectPass {
 public:
  TGXEffectTechnique* Technique() const { return FTechnique; }
  int Index() const { return FIndex; }
  // The pass turns alpha blending on: it is drawn among the blended items, back to front.
  bool AlphaBlend() const { return FAlphaBlend; }
  // Begin and End the pass on the compiled effect (nothing without one).
  void Begin();
  void End();

 private:
  friend class TGXEffectTechnique;
  TGXEffectPass(TGXEffectTechnique* technique, int index, bool alphaBlend)
      : FTechnique(technique), FIndex(index), FAlphaBlend(alphaBlend) {}
  TGXEffectTechnique* FTechnique;
  int FIndex;
  bool FAlphaBlend;
};

class TGXEffectTechnique {
 public:
  TGXEffect* Effect() const { return FEffect; }
  TGXEffectHandle Handle() const { return FHandle; }
  const std::string& Name() const { return FName; }
  // The device can draw the technique.
  bool Valid() const { return FValid; }
  int PassCount() const { return static_cast<int>(FPasses.size()); }
  TGXEffectPass* Pass(int index) const { return FPasses.at(index).get(); }
  // Appends a pass with the next index.
  TGXEffectPass* AddPass(bool alphaBlend);
  // Makes it the effect's current technique if it is not (setting it on the compiled effect),
  // then begins it.
  void Begin();
  void End();

 private:
  friend class TGXEffect;
  TGXEffectTechnique(TGXEffect* effect, TGXEffectHandle handle, std::string name, bool valid)
      : FEffect(effect), FHandle(handle), FName(std::move(name)), FValid(valid) {}
  TGXEffect* FEffect;
  TGXEffectHandle FHandle;
  std::string FName;
  bool FValid;
  std::vector<std::unique_ptr<TGXEffectPass>> FPasses;
};

// An effect resource. Loading (compiling the effect file, finding its techniques, passes and
// parameters) belongs to the render core; code can also build an effect by hand with
// SetCompiled, AddTechnique and AddAutoParameter.
class TGXEffect : public TGXResource {
 public:
  static constexpr TGXGuid IID = IID_IGXEffect;

  TGXEffect(TGXWeakRef<TGXResource>* cell, std::string name, bool manual);
  std::string ClassName() const override { return "TGXEffect"; }

  // Null until the effect is compiled; techniques and passes do nothing without it.
  TGXCompiledEffect* Compiled() const { return FCompiled.get(); }
  void SetCompiled(std::unique_ptr<TGXCompiledEffect> compiled);

  int TechniqueCount() const { return static_cast<int>(FTechniques.size()); }
  TGXEffectTechnique* Technique(int index) const { return FTechniques.at(index).get(); }
  TGXEffectTechnique* AddTechnique(std::string name, TGXEffectHandle handle, bool valid = true);
  TGXEffectTechnique* FirstValidTechnique() const;
  // Exact comparison; null when there is none.
  TGXEffectTechnique* FindTechnique(std::string_view name) const;
  // The technique begun last, or null.
  TGXEffectTechnique* CurrentTechnique() const { return FCurrentTechnique; }

  // Binds a parameter to a global source: a source named "WORLD" goes to the world parameters,
  // every other to the automatic ones.
  void AddAutoParameter(TGXRef<TGXEffectParameterSource> source, TGXEffectHandle handle);
  int AutoParameterCount() const { return static_cast<int>(FAutoParameters.size()); }
  int WorldParameterCount() const { return static_cast<int>(FWorldParameters.size()); }

  // Applies the automatic parameters except "WORLD" (when a technique begins).
  void UpdateAutoParameters();
  // Applies the "WORLD" parameters and commits the changes (for every drawn primitive).
  void UpdateWorldParametersAndCommit();

 protected:
  ~TGXEffect() override;

 private:
  friend class TGXEffectTechnique;
  std::unique_ptr<TGXCompiledEffect> FCompiled;
  std::vector<std::unique_ptr<TGXEffectTechnique>> FTechniques;
  std::vector<TGXEffectParameter> FAutoParameters;
  std::vector<TGXEffectParameter> FWorldParameters;
  TGXEffectTechnique* FCurrentTechnique = nullptr;
};
using IGXEffect = TGXRef<TGXEffect>;

}  // namespace gx
