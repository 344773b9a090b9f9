#include "engine/render/GXEffect.h"

#include "engine/core/GXException.h"

namespace gx {

namespace {
const TGXMatrix kIdentity;
}

// ---- sources ----

void TGXEffectMatrixPointerSource::Apply(TGXCompiledEffect& effect, TGXEffectHandle handle) {
  if (Count() == 1) effect.SetMatrix(handle, FMatrix ? *FMatrix : kIdentity);
}

TGXEffectParameterManager::TGXEffectParameterManager() {
  auto add = [this](const char* name) {
    auto* source = new TGXEffectMatrixPointerSource(name);
    AddSource(TGXRef<TGXEffectParameterSource>(source));
    return source;
  };
  FWorld = add("WORLD");
  FView = add("VIEW");
  FProjection = add("PROJECTION");
  FViewProjection = add("VIEWPROJECTION");
}

void TGXEffectParameterManager::AddSource(TGXRef<TGXEffectParameterSource> source) {
  GX_ASSERT(source);
  GX_ASSERT(!FindSource(source->Name()));
  FSources.push_back(std::move(source));
}

TGXEffectParameterSource* TGXEffectParameterManager::FindSource(std::string_view name) const {
  for (const auto& source : FSources)
    if (source->Name() == name) return source.Get();
  return nullptr;
}

// ---- passes and techniques ----

void TGXEffectPass::Begin() {
  if (TGXCompiledEffect* compiled = FTechnique->Effect()->Compiled()) compiled->BeginPass(FIndex);
}

void TGXEffectPass::End() {
  if (TGXCompiledEffect* compiled = FTechnique->Effect()->Compiled()) compiled->EndPass();
}

TGXEffectPass* TGXEffectTechnique::AddPass(bool alphaBlend) {
  FPasses.push_back(std::unique_ptr<TGXEffectPass>(new TGXEffectPass(this, PassCount(), alphaBlend)));
  return FPasses.back().get();
}

void TGXEffectTechnique::Begin() {
  TGXCompiledEffect* compiled = FEffect->Compiled();
  if (FEffect->FCurrentTechnique != this) {
    if (compiled) compiled->SetTechnique(FHandle);
    FEffect->FCurrentTechnique = this;
  }
  if (compiled) compiled->Begin();
}

void TGXEffectTechnique::End() {
  if (TGXCompiledEffect* compiled = FEffect->Compiled()) compiled->End();
}

// ---- effect ----

TGXEffect::TGXEffect(TGXWeakRef<TGXResource>* cell, std::string name, bool manual)
    : TGXResource(cell, std::move(name), manual) {}

TGXEffect::~TGXEffect() = default;

void TGXEffect::SetCompiled(std::unique_ptr<TGXCompiledEffect> compiled) {
  FCompiled = std::move(compiled);
  // A new program knows no current technique yet.
  FCurrentTechnique = nullptr;
}

TGXEffectTechnique* TGXEffect::AddTechnique(std::string name, TGXEffectHandle handle, bool valid) {
  FTechniques.push_back(
      std::unique_ptr<TGXEffectTechnique>(new TGXEffectTechnique(this, handle, std::move(name), valid)));
  return FTechniques.back().get();
}

TGXEffectTechnique* TGXEffect::FirstValidTechnique() const {
  for (const auto& technique : FTechniques)
    if (technique->Valid()) return technique.get();
  return nullptr;
}

TGXEffectTechnique* TGXEffect::FindTechnique(std::string_view name) const {
  for (const auto& technique : FTechniques)
    if (technique->Name() == name) return technique.get();
  return nullptr;
}

void TGXEffect::AddAutoParameter(TGXRef<TGXEffectParameterSource> source, TGXEffectHandle handle) {
  if (!source)
    throw EInvalidParameter({TGXExceptionArg::Object(ClassName()), "AddAutoParameter", "No source"});
  auto& list = source->Name() == "WORLD" ? FWorldParameters : FAutoParameters;
  list.push_back({std::move(source), handle});
}

void TGXEffect::UpdateAutoParameters() {
  if (!FCompiled) return;
  for (const TGXEffectParameter& p : FAutoParameters) p.Apply(*FCompiled);
}

void TGXEffect::UpdateWorldParametersAndCommit() {
  if (!FCompiled) return;
  for (const TGXEffectParameter& p : FWorldParameters) p.Apply(*FCompiled);
  FCompiled->CommitChanges();
}

}  // namespace gx
