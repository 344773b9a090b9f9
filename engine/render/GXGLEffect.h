#pragma once
// Effects on the GL device: a parsed effect file (GXEffectParser.h) compiled into one GL program
// per pass, and the material parameters that give each material its own values.
//
// Parameter values live in the compiled effect; setting one only stores it and counts a new
// version, and a program uploads a uniform when its pass begins or changes are committed and
// the version differs from the one it uploaded last. Matrices with the semantics PROJECTION,
// VIEWPROJECTION and WORLDVIEWPROJECTION get the device's clip fix on the way (flip to the
// top-down targets, depth [0, 1] to GL's range); every other matrix goes up as it is, row-major
// with the transpose flag, so that shaders multiply `vec4 * matrix`.
//
// A pass sets only the render states it names and puts back the previous values when it ends,
// so that a blended pass does not leave blending on for the next one. A state may take the value
// of a parameter ("CullMode = (CullMode);"), read when the pass begins, so that materials of one
// effect can differ in culling and depth bias.

#include <memory>
#include <string>
#include <vector>

#include "engine/render/GXEffect.h"
#include "engine/render/GXEffectParser.h"
#include "engine/render/GXGLRenderDevice.h"

namespace gx {

class TGXGLCompiledEffect : public TGXCompiledEffect {
 public:
  // Compiles and links every pass; EDirect3D "D3DXCreateEffect failed" with the GL log on error.
  TGXGLCompiledEffect(TGXGLRenderDevice& device, TGXEffectDesc desc, const std::string& name);
  ~TGXGLCompiledEffect() override;

  const TGXEffectDesc& Desc() const { return FDesc; }

  void SetTechnique(TGXEffectHandle technique) override;
  void Begin() override;
  void End() override;
  void BeginPass(int index) override;
  void EndPass() override;
  void SetMatrix(TGXEffectHandle parameter, const TGXMatrix& value) override;
  void SetValue(TGXEffectHandle parameter, const void* data, uint32_t size) override;
  void CommitChanges() override;
  void SetStateManager(IGXEffectStateManager* manager) override { FStateManager = manager; }
  // The texture of a texture parameter; bound, with its sampler's states, to the unit of every
  // sampler that names the parameter when a pass begins or changes are committed.
  void SetTexture(TGXEffectHandle parameter, TGXGLTexture* texture) override;

  // Uniform uploads since creation (for tests of the upload-only-when-changed rule).
  int64_t Uploads() const { return FUploads; }

 private:
  struct TProgram {
    uint32_t Name = 0;
    std::vector<int> Locations;      // per parameter, -1 when the program does not use it
    std::vector<uint64_t> Uploaded;  // per parameter, the version uploaded last
  };
  void Upload(TProgram& program);
  // The render state's value from the parameter's current value (a pass's ParameterStates).
  uint32_t ParameterState(uint32_t state, int parameter) const;
  void BindTextures();
  // Sets each sampler object's filtering: the effect's own states, the device's filter level for
  // the rest.
  void ApplySamplerFilters();

  TGXGLRenderDevice& FDevice;
  TGXEffectDesc FDesc;
  // Per technique, per pass.
  std::vector<std::vector<TProgram>> FPrograms;
  std::vector<std::vector<uint8_t>> FValues;
  std::vector<uint64_t> FVersions;
  std::vector<bool> FClipFixed;
  std::vector<TGXRef<TGXGLTexture>> FTextures;  // per parameter
  std::vector<uint32_t> FSamplerObjects;         // per sampler
  uint64_t FFilterGeneration = 0;                // the device's filter level the samplers have
  std::vector<int> FSamplerTextures;             // per sampler, the parameter index or -1
  uint64_t FNextVersion = 1;
  int FTechnique = 0;
  TProgram* FPass = nullptr;
  int FPassIndex = -1;
  std::vector<std::pair<uint32_t, uint32_t>> FSavedStates;
  int64_t FUploads = 0;
  IGXEffectStateManager* FStateManager = nullptr;
};

// Builds the effect from its file text: compiles it on the device, creates its techniques and
// passes (a pass blends when it turns alpha blending on; a technique annotated with the string
// "SHADOWGENERATION", "SHADOWMAPPING" or "DepthOfField" becomes the special technique of that
// kind), binds parameters whose semantic names a source of the manager and gives every other
// parameter a material source holding its initial value. Errors of the file raise
// EGXEffectSyntax, of the GL compiler EDirect3D.
void GXBuildGLEffect(TGXEffect& effect, TGXGLRenderDevice& device, TGXEffectParameterManager& manager,
                     std::string_view text, const std::vector<std::string>& macros = {},
                     const TGXEffectIncludeHandler& include = nullptr);

}  // namespace gx
