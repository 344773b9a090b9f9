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
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/GXGuid.h"
#include "engine/core/GXMath.h"
#include "engine/core/GXRefCounted.h"
#include "engine/core/GXResourceManager.h"
#include "engine/core/GXStream.h"
#include "engine/render/GXEffectParser.h"
#include "engine/render/GXRenderDevice.h"

namespace gx {

class TGXGLTexture;
class TGXTexture;
class TGXCubeTexture;

// {9ECE45E0-B0BB-4E45-B5F8-88F6B3EFE1A2}
inline constexpr TGXGuid IID_IGXEffect{
    0x9ECE45E0, 0xB0BB, 0x4E45, {0xB5, 0xF8, 0x88, 0xF6, 0xB3, 0xEF, 0xE1, 0xA2}};

// A technique or parameter of a compiled effect, as the compiled effect numbers them.
using TGXEffectHandle = uint32_t;

// Receives the render states an effect pass sets, instead of the device.
class IGXEffectStateManager {
 public:
  virtual void SetRenderState(uint32_t state, uint32_t value) = 0;

 protected:
  ~IGXEffectStateManager() = default;
};

// Records the render states of a pass (a later value of the same state replaces the earlier).
class TGXEffectStateRecorder : public IGXEffectStateManager {
 public:
  void SetRenderState(uint32_t state, uint32_t value) override;
  // The recorded value, or none when the pass did not set the state.
  std::optional<uint32_t> RecordedRenderState(uint32_t state) const;
  void Clear() { FStates.clear(); }

 private:
  std::vector<std::pair<uint32_t, uint32_t>> FStates;
};

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
  // Sets the texture of a texture parameter (null: none).
  virtual void SetTexture(TGXEffectHandle parameter, TGXGLTexture* texture) {}
  // Hands the parameter values changed inside an active pass to the device.
  virtual void CommitChanges() = 0;
  // While a manager is installed, passes hand their render states to it and change nothing on
  // the device (null: the device again).
  virtual void SetStateManager(IGXEffectStateManager* manager) {}
};

// Supplies the value of effect parameters. Shared between effects (the global sources) and kept
// alive by every parameter bound to it.
class TGXEffectParameterSource : public TGXRefCounted {
 public:
  const std::string& Name() const { return FName; }
  // Array elements, at least 1.
  int Count() const { return FCount; }
  // Bytes of one element and of the whole value (0 for sources that refer to something).
  virtual uint32_t ElementSize() const { return 0; }
  uint32_t DataSize() const { return ElementSize() * static_cast<uint32_t>(FCount); }
  // A new source of the same class, name and count with a zeroed value; null for sources that
  // cannot be copied.
  virtual TGXRef<TGXEffectParameterSource> Clone() const { return nullptr; }
  // Takes the value of a source of the same class (a material starting from the effect's
  // initial values); others are ignored.
  virtual void CopyValue(const TGXEffectParameterSource& other) {}
  // Sets the value on the compiled effect's parameter.
  virtual void Apply(TGXCompiledEffect& effect, TGXEffectHandle handle) = 0;
  // The value as material files store it; sources without a stored form read and write nothing.
  virtual void ReadValue(TGXStream& stream) {}
  virtual void WriteValue(TGXStream& stream) const {}
  // The class name written before each record of a material file.
  virtual std::string ClassName() const { return "TGXEffectParameterSource"; }

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
  std::string ClassName() const override { return "TGXEffectMatrixPointerSource"; }

 private:
  const TGXMatrix* FMatrix = nullptr;
};

// A value kept in the source: ElementSize() x Count() bytes, zero until set. Booleans and
// integers are 32-bit integers, everything else singles. The named classes below fix the type.
class TGXEffectValueSource : public TGXEffectParameterSource {
 public:
  TGXEffectValueSource(std::string name, TGXEffectValueType type, int count);
  TGXEffectValueType Type() const { return FType; }
  uint32_t ElementSize() const override { return static_cast<uint32_t>(GXEffectTypeComponents(FType)) * 4; }
  const std::vector<uint8_t>& Data() const { return FData; }
  // Sets the value from components (converted for booleans and integers); too few leave the rest
  // as they are, too many raise EInvalidParameter.
  void SetFloats(const std::vector<float>& values);
  void SetRaw(const void* data, uint32_t size);
  TGXRef<TGXEffectParameterSource> Clone() const override;
  void CopyValue(const TGXEffectParameterSource& other) override;
  // The raw value block; matrices go to SetMatrix when the count is 1, so that their clip fix and
  // change test apply.
  void Apply(TGXCompiledEffect& effect, TGXEffectHandle handle) override;
  // Raw DataSize() bytes.
  void ReadValue(TGXStream& stream) override;
  void WriteValue(TGXStream& stream) const override;
  std::string ClassName() const override;

 private:
  TGXEffectValueType FType;
  std::vector<uint8_t> FData;
};

// The source classes by value type: single (float and bool), integer, vectors, matrices.
class TGXEffectSingleSource : public TGXEffectValueSource {
 public:
  explicit TGXEffectSingleSource(std::string name, int count = 1, bool boolean = false)
      : TGXEffectValueSource(std::move(name), boolean ? TGXEffectValueType::Bool : TGXEffectValueType::Float, count) {}
};
class TGXEffectIntegerSource : public TGXEffectValueSource {
 public:
  explicit TGXEffectIntegerSource(std::string name, int count = 1)
      : TGXEffectValueSource(std::move(name), TGXEffectValueType::Int, count) {}
};
class TGXEffectVector2Source : public TGXEffectValueSource {
 public:
  explicit TGXEffectVector2Source(std::string name, int count = 1)
      : TGXEffectValueSource(std::move(name), TGXEffectValueType::Float2, count) {}
};
class TGXEffectVector3Source : public TGXEffectValueSource {
 public:
  explicit TGXEffectVector3Source(std::string name, int count = 1)
      : TGXEffectValueSource(std::move(name), TGXEffectValueType::Float3, count) {}
};
class TGXEffectVector4Source : public TGXEffectValueSource {
 public:
  explicit TGXEffectVector4Source(std::string name, int count = 1)
      : TGXEffectValueSource(std::move(name), TGXEffectValueType::Float4, count) {}
};
class TGXEffectMatrixSource : public TGXEffectValueSource {
 public:
  explicit TGXEffectMatrixSource(std::string name, int count = 1)
      : TGXEffectValueSource(std::move(name), TGXEffectValueType::Float4x4, count) {}
};

// A material's texture: a texture resource (loaded when set), or a device texture set directly
// (render textures, tests); none when neither is set. Material files store the resource name.
class TGXEffectTextureSource : public TGXEffectParameterSource {
 public:
  explicit TGXEffectTextureSource(std::string name, bool cube = false);
  ~TGXEffectTextureSource() override;
  bool Cube() const { return FCube; }
  TGXTexture* GetTexture() const;
  TGXCubeTexture* GetCubeTexture() const;
  // Stores the texture and loads it (its load errors pass on); null clears it.
  void SetTexture(TGXRef<TGXTexture> texture);
  void SetCubeTexture(TGXRef<TGXCubeTexture> texture);
  void SetDeviceTexture(TGXRef<TGXGLTexture> texture);
  // The device texture drawn with: the resource's, else the one set directly.
  TGXGLTexture* DeviceTexture() const;
  TGXRef<TGXEffectParameterSource> Clone() const override;
  void CopyValue(const TGXEffectParameterSource& other) override;
  void Apply(TGXCompiledEffect& effect, TGXEffectHandle handle) override;
  // An 8-bit string with the texture's resource name, empty for none. Reading a name gets the
  // shared texture resource of that name from the engine and loads it.
  void ReadValue(TGXStream& stream) override;
  void WriteValue(TGXStream& stream) const override;
  std::string ClassName() const override {
    return FCube ? "TGXEffectCubeTextureSource" : "TGXEffectTextureSource";
  }

 private:
  bool FCube;
  TGXRef<TGXTexture> FTexture;
  TGXRef<TGXCubeTexture> FCubeTexture;
  TGXRef<TGXGLTexture> FDeviceTexture;
};

class TGXEffectCubeTextureSource : public TGXEffectTextureSource {
 public:
  explicit TGXEffectCubeTextureSource(std::string name) : TGXEffectTextureSource(std::move(name), true) {}
};

// The material source for a parameter of the type and element count; null for types a material
// cannot hold (strings).
TGXRef<TGXEffectParameterSource> GXCreateMaterialSource(const std::string& name, TGXEffectValueType type, int count);

// A parameter of an effect bound to its source.
struct TGXEffectParameter {
  TGXRef<TGXEffectParameterSource> Source;
  TGXEffectHandle Handle = 0;
  void Apply(TGXCompiledEffect& effect) const { Source->Apply(effect, Handle); }
};

// Kinds of special techniques, named by a technique annotation's string value.
enum : int { GXShadowGeneration = 1, GXShadowMapping = 2, GXDepthOfField = 3 };

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
  // Takes a source of the program's away again (a project that closes removes the sources it
  // added, so that the next one can add them anew). Effects bound to it keep it alive and keep
  // reading it. The four matrix sources stay (EInvalidParameter); false for an unknown name.
  bool RemoveSource(std::string_view name);
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

// An effect resource. Loading reads the effect file (from the data loader, else the file named
// by the resource name), resolves its includes relative to the file's folder through the file
// system, compiles it on the render core's device and finds its techniques, passes and
// parameters. A manual effect compiles the text given with SetSourceText; code can also build an
// effect by hand with SetCompiled, AddTechnique and the parameter adders (loading it then only
// marks it loaded).
class TGXEffect : public TGXResource, public IGXDeviceCallback {
 public:
  static constexpr TGXGuid IID = IID_IGXEffect;

  TGXEffect(TGXWeakRef<TGXResource>* cell, std::string name, bool manual);
  std::string ClassName() const override { return "TGXEffect"; }

  // Names defined without value when the file is compiled; set them before loading.
  const std::vector<std::string>& GetMacros() const { return FMacros; }
  void SetMacros(std::vector<std::string> macros) { FMacros = std::move(macros); }
  // The text a manual effect compiles.
  void SetSourceText(std::string text) { FSourceText = std::move(text); }

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
  // GXShadowGeneration, GXShadowMapping or GXDepthOfField; null for other kinds or when the
  // effect has none.
  TGXEffectTechnique* SpecialTechnique(int kind) const;
  void SetSpecialTechnique(int kind, TGXEffectTechnique* technique);

  // Binds a parameter to a global source: a source named "WORLD" goes to the world parameters,
  // every other to the automatic ones.
  void AddAutoParameter(TGXRef<TGXEffectParameterSource> source, TGXEffectHandle handle);
  int AutoParameterCount() const { return static_cast<int>(FAutoParameters.size()); }
  int WorldParameterCount() const { return static_cast<int>(FWorldParameters.size()); }

  // The material parameters: every parameter whose semantic names no global source, with a
  // source holding the effect file's initial value. Materials take clones of them.
  void AddMaterialParameter(TGXRef<TGXEffectParameterSource> source, TGXEffectHandle handle);
  int ParameterCount() const { return static_cast<int>(FMaterialParameters.size()); }
  const TGXEffectParameter& Parameter(int index) const { return FMaterialParameters.at(index); }

  // GL programs survive a lost device: nothing to release or re-create.
  void OnDeviceLost() override {}
  void OnDeviceReset() override {}

  // Applies the automatic parameters except "WORLD" (when a technique begins).
  void UpdateAutoParameters();
  // Applies the "WORLD" parameters and commits the changes (for every drawn primitive).
  void UpdateWorldParametersAndCommit();

 protected:
  ~TGXEffect() override;
  void DoLoad() override;

 private:
  friend class TGXEffectTechnique;
  std::vector<std::string> FMacros;
  std::string FSourceText;
  std::unique_ptr<TGXCompiledEffect> FCompiled;
  std::vector<std::unique_ptr<TGXEffectTechnique>> FTechniques;
  std::vector<TGXEffectParameter> FAutoParameters;
  std::vector<TGXEffectParameter> FWorldParameters;
  std::vector<TGXEffectParameter> FMaterialParameters;
  TGXEffectTechnique* FSpecial[3] = {nullptr, nullptr, nullptr};
  TGXEffectTechnique* FCurrentTechnique = nullptr;
};
using IGXEffect = TGXRef<TGXEffect>;

class TGXEffectFactory : public TGXResourceFactory {
 public:
  using TGXResourceFactory::TGXResourceFactory;
  TGXGuid GetResourceKind() const override { return IID_IGXEffect; }
  IGXResource CreateResource(TSlot* cell, const std::string& name, bool manual) override;
};

}  // namespace gx
