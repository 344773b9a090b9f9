#include "engine/render/GXMaterial.h"

#include "engine/core/GXEngine.h"
#include "engine/core/GXException.h"
#include "engine/core/GXSerialization.h"

namespace gx {

namespace {

class TMaterialSerializer : public TGXSerializer {
 public:
  TMaterialSerializer() : TGXSerializer(IID_IGXMaterial, TGXMaterial::FileVersion) {}
  std::string ClassName() const override { return "TGXMaterialSerializer"; }
};

}  // namespace

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

void TGXMaterial::SetEffectByName(const std::string& name) {
  if (!IsUnloaded())
    throw EInvalidCall({TGXExceptionArg::Object(ClassName()), "SetEffectByName", "Material is loaded"});
  TGXEngine* engine = Engine();
  if (!engine) throw EInvalidCall({TGXExceptionArg::Object(ClassName()), "SetEffectByName", "No engine"});
  SetEffect(engine->ResourceManager().Get<TGXEffect>(name));
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

TGXEffectParameterSource* TGXMaterial::FindParameter(std::string_view name) const {
  for (const TGXEffectParameter& p : FParameters)
    if (p.Source->Name() == name) return p.Source.Get();
  return nullptr;
}

TGXEffectValueSource* TGXMaterial::FindValue(std::string_view name) const {
  return dynamic_cast<TGXEffectValueSource*>(FindParameter(name));
}

TGXEffectTextureSource* TGXMaterial::FindTexture(std::string_view name) const {
  return dynamic_cast<TGXEffectTextureSource*>(FindParameter(name));
}

void TGXMaterial::Apply(bool) {
  TGXCompiledEffect* compiled = FEffect ? FEffect->Compiled() : nullptr;
  if (!compiled) return;
  for (const TGXEffectParameter& p : FParameters) p.Apply(*compiled);
}

void TGXMaterial::ReadParameters(TGXStream& stream) {
  // A record takes at least its two string lengths.
  const int32_t count = ReadCount(stream, 8);
  for (int32_t i = 0; i < count; ++i) {
    ReadAnsiString(stream);  // the source class, not needed to read the value
    const std::string name = ReadAnsiString(stream);
    TGXEffectParameterSource* source = FindParameter(name);
    if (!source)
      throw EGXException({TGXExceptionArg::Object(ClassName()), "DoLoad",
                          "Der Effekt hat keinen Parameter \"" + name + "\"", GetName().Text()});
    source->ReadValue(stream);
  }
}

void TGXMaterial::DoLoad() {
  std::unique_ptr<TGXMemoryStream> file;
  if (!IsManual()) {
    TGXEngine* engine = Engine();
    if (!engine) throw EInvalidCall({TGXExceptionArg::Object(ClassName()), "DoLoad", "No engine"});
    file = engine->FileSystem().OpenFile(GetName().Text());
    TMaterialSerializer().ReadFileHeader(*file);
    const std::string effectName = ReadAnsiString(*file);
    FEffect = engine->ResourceManager().Get<TGXEffect>(effectName);
    FTechnique = nullptr;
  }
  if (!FEffect) throw EGXException({TGXExceptionArg::Object(ClassName()), "DoLoad", "No effect"});
  // Loading is synchronous: an effect that is not loaded afterwards never will be (its earlier
  // load failed), so the material fails instead of waiting for it.
  try {
    FEffect->Load();
  } catch (...) {
  }
  if (!FEffect->IsLoaded())
    throw EGXException({TGXExceptionArg::Object(ClassName()), "DoLoad", "Effekt konnte nicht geladen werden",
                        FEffect->GetName().Text(), FEffect->LoadError()});

  FParameters.clear();
  for (int i = 0; i < FEffect->ParameterCount(); ++i) {
    const TGXEffectParameter& p = FEffect->Parameter(i);
    TGXRef<TGXEffectParameterSource> clone = p.Source->Clone();
    if (!clone) continue;
    clone->CopyValue(*p.Source);
    FParameters.push_back({std::move(clone), p.Handle});
  }
  if (file) ReadParameters(*file);

  if (!FTechnique) FTechnique = DefaultTechnique();
  if (!FTechnique) throw EGXException({TGXExceptionArg::Object(ClassName()), "DoLoad", "No valid technique found"});
}

void TGXMaterial::SaveToStream(TGXStream& stream) const {
  TMaterialSerializer().WriteFileHeader(stream);
  WriteAnsiString(stream, FEffect ? FEffect->GetName().Text() : std::string());
  std::vector<const TGXEffectParameterSource*> stored;
  for (const TGXEffectParameter& p : FParameters)
    if (p.Source->Clone()) stored.push_back(p.Source.Get());
  WriteInteger(stream, static_cast<int32_t>(stored.size()));
  for (const TGXEffectParameterSource* source : stored) {
    WriteAnsiString(stream, source->ClassName());
    WriteAnsiString(stream, source->Name());
    source->WriteValue(stream);
  }
}

}  // namespace gx
