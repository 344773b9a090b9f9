#pragma once
// TGXMaterial: the material resource the renderer draws with. It names one effect and the
// technique of that effect it is drawn with, and applies its own parameter values when the
// renderer activates it. Loading a material file (effect name and parameter records) and the
// material parameters belong to the effect and material loaders of the render core; this class
// is what the render queue and the renderer rely on.

#include <string>

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

  TGXMaterial(TGXWeakRef<TGXResource>* cell, std::string name, bool manual);
  std::string ClassName() const override { return "TGXMaterial"; }

  const IGXEffect& GetEffect() const { return FEffect; }
  // Only while the material is not loaded (EInvalidCall otherwise): stores the effect and loads
  // it. The technique is cleared; loading the material (or SetTechnique) chooses it.
  void SetEffect(IGXEffect effect);
  // The technique drawn with; null draws nothing.
  TGXEffectTechnique* GetTechnique() const { return FTechnique; }
  // Null, or a technique of the material's effect (EInvalidParameter otherwise).
  void SetTechnique(TGXEffectTechnique* technique);
  // The effect's first valid technique, or null.
  TGXEffectTechnique* DefaultTechnique() const;

  // Sets the material's parameter values on the effect. Changed tells whether another material
  // was applied since this one; a material may skip unchanged values then.
  virtual void Apply(bool changed) {}

 protected:
  ~TGXMaterial() override;

 private:
  IGXEffect FEffect;
  TGXEffectTechnique* FTechnique = nullptr;
};
using IGXMaterial = TGXRef<TGXMaterial>;

}  // namespace gx
