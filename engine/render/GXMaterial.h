#pragma once
// TGXMaterial: the material resource the renderer draws with. It names one effect and the
// technique of that effect it is drawn with, and owns its own copy of every material parameter
// of the effect (a parameter whose semantic names no global source), which it applies when the
// renderer activates it.
//
// A material file (docs/material-format.md) is the engine file header, the effect's resource
// name and the parameter records. A manual material skips the file: code sets its effect before
// loading and its values afterwards. Materials of the same name share one parameter set; code
// that needs its own values asks for a unique material.

#include <string>
#include <vector>

#include "engine/core/GXGuid.h"
#include "engine/core/GXResourceManager.h"
#include "engine/render/GXEffect.h"

namespace gx {

// {F53CB897-9829-4D06-BDA1-83FAB799A501}
inline constexpr TGXGuid IID_IGXMaterial{
    0xF53CB897, 0x9829, 0x4D06, {0xBD, 0xA1, 0x83, 0xFA, 0xB7, 0x99, 0xA5, 0x01}};

class TGXMaterial : public TGXResource {
 public:
  static constexpr TGXGuid IID = IID_IGXMaterial;
  static constexpr int32_t FileVersion = 1;

  TGXMaterial(TGXWeakRef<TGXResource>* cell, std::string name, bool manual);
  std::string ClassName() const override { return "TGXMaterial"; }

  const IGXEffect& GetEffect() const { return FEffect; }
  // Only while the material is not loaded (EInvalidCall otherwise): stores the effect and loads
  // it (its load errors pass on). The technique is cleared; loading the material (or
  // SetTechnique) chooses it.
  void SetEffect(IGXEffect effect);
  // The same with the shared effect resource of that name from the engine.
  void SetEffectByName(const std::string& name);
  // The technique drawn with; null draws nothing.
  TGXEffectTechnique* GetTechnique() const { return FTechnique; }
  // Null, or a technique of the material's effect (EInvalidParameter otherwise).
  void SetTechnique(TGXEffectTechnique* technique);
  // The effect's first valid technique, or null.
  TGXEffectTechnique* DefaultTechnique() const;

  // The material parameters, in the effect's order (after loading).
  int ParameterCount() const { return static_cast<int>(FParameters.size()); }
  TGXEffectParameterSource* Parameter(int index) const { return FParameters.at(index).Source.Get(); }
  // Exact comparison; null when there is none.
  TGXEffectParameterSource* FindParameter(std::string_view name) const;
  // FindParameter for a value or a texture parameter; null for another kind.
  TGXEffectValueSource* FindValue(std::string_view name) const;
  TGXEffectTextureSource* FindTexture(std::string_view name) const;

  // Sets the material's parameter values on the effect. Changed tells whether another material
  // was applied since this one; every value is applied in any case (the compiled effect uploads
  // only what differs from what the device has).
  virtual void Apply(bool changed);

  // Writes the material file: header, effect name, one record per parameter with a stored form.
  void SaveToStream(TGXStream& stream) const;

 protected:
  ~TGXMaterial() override;
  // Not manual: reads the file of the resource name (header, effect name) and gets that effect.
  // Then the effect is loaded, the parameters are made from its material parameters (starting
  // from the effect file's initial values), the file's records are read, and the technique
  // becomes the effect's first valid one unless code chose one. Fails with EGXException when
  // the effect cannot be loaded, when a record names a parameter the effect does not have (its
  // value's length is not stored, so nothing after it could be read), or "No valid technique
  // found".
  void DoLoad() override;

 private:
  void ReadParameters(TGXStream& stream);

  IGXEffect FEffect;
  TGXEffectTechnique* FTechnique = nullptr;
  std::vector<TGXEffectParameter> FParameters;
};
using IGXMaterial = TGXRef<TGXMaterial>;

class TGXMaterialFactory : public TGXResourceFactory {
 public:
  using TGXResourceFactory::TGXResourceFactory;
  TGXGuid GetResourceKind() const override { return IID_IGXMaterial; }
  IGXResource CreateResource(TSlot* cell, const std::string& name, bool manual) override {
    return IGXResource(new TGXMaterial(cell, name, manual));
  }
};

}  // namespace gx
