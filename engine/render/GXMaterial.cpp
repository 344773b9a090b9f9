#include "engine/render/GXMaterial.h"

#include "engine/core/GXException.h"

namespace gx {

TGXMaterial::TGXMaterial(TGXWeakRef<TGXResource>* cell, std::string name, bool manual)
    : TGXResource(cell, std::move(name), manual) {}

TGXMaterial::~TGXMaterial() = default;

void TGXMaterial::SetEffect(IGXEffect effect) {
  if (!IsUnloaded())
    throw EInvalidCall({TGXExceptionArg::Object(ClassName()), "SetEffect", "Material is loaded"});
  FEffect = std::move(effect);
  FTechnique = nullptr;
  if (FEffect) FEffect->Load();
}

void TGXMaterial::SetTechnique(TGXEffectTechnique* technique) {
  if (technique && (!FEffect || technique->Effect() != FEffect.Get()))
    throw EInvalidParameter(
        {TGXExceptionArg::Object(ClassName()), "SetTechnique", "Technique belongs to another effect"});
  FTechnique = technique;
}

TGXEffectTechnique* TGXMaterial::DefaultTechnique() const {
  return FEffect ? FEffect->FirstValidTechnique() : nullptr;
}

}  // namespace gx
