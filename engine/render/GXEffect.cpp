#include "engine/render/GXEffect.h"

#include <cstring>

#include "engine/core/GXEngine.h"
#include "engine/core/GXException.h"
#include "engine/core/GXSerialization.h"
#include "engine/render/GXGLEffect.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXTexture.h"

namespace gx {

namespace {
const TGXMatrix kIdentity;
}

// ---- sources ----

void TGXEffectMatrixPointerSource::Apply(TGXCompiledEffect& effect, TGXEffectHandle handle) {
  if (Count() == 1) effect.SetMatrix(handle, FMatrix ? *FMatrix : kIdentity);
}

// ---- state recorder ----

void TGXEffectStateRecorder::SetRenderState(uint32_t state, uint32_t value) {
  for (auto& recorded : FStates)
    if (recorded.first == state) {
      recorded.second = value;
      return;
    }
  FStates.emplace_back(state, value);
}

std::optional<uint32_t> TGXEffectStateRecorder::RecordedRenderState(uint32_t state) const {
  for (const auto& recorded : FStates)
    if (recorded.first == state) return recorded.second;
  return std::nullopt;
}

// ---- value sources ----

TGXEffectValueSource::TGXEffectValueSource(std::string name, TGXEffectValueType type, int count)
    : TGXEffectParameterSource(std::move(name), count), FType(type) {
  FData.assign(size_t(ElementSize()) * Count(), 0);
}

void TGXEffectValueSource::SetFloats(const std::vector<float>& values) {
  if (values.size() * 4 > FData.size())
    throw EInvalidParameter({TGXExceptionArg::Object(ClassName()), "SetFloats", "Too many values"});
  const bool integral = FType == TGXEffectValueType::Bool || FType == TGXEffectValueType::Int;
  for (size_t i = 0; i < values.size(); ++i) {
    if (integral) {
      const int32_t v = FType == TGXEffectValueType::Bool ? (values[i] != 0) : static_cast<int32_t>(values[i]);
      std::memcpy(FData.data() + i * 4, &v, 4);
    } else {
      std::memcpy(FData.data() + i * 4, &values[i], 4);
    }
  }
}

void TGXEffectValueSource::SetRaw(const void* data, uint32_t size) {
  if (size > FData.size())
    throw EInvalidParameter({TGXExceptionArg::Object(ClassName()), "SetRaw", "Too many bytes"});
  std::memcpy(FData.data(), data, size);
}

TGXRef<TGXEffectParameterSource> TGXEffectValueSource::Clone() const {
  return MakeRef<TGXEffectValueSource>(Name(), FType, Count());
}

void TGXEffectValueSource::CopyValue(const TGXEffectParameterSource& other) {
  const auto* value = dynamic_cast<const TGXEffectValueSource*>(&other);
  if (value && value->FData.size() == FData.size()) FData = value->FData;
}

void TGXEffectValueSource::Apply(TGXCompiledEffect& effect, TGXEffectHandle handle) {
  effect.SetValue(handle, FData.data(), static_cast<uint32_t>(FData.size()));
}

void TGXEffectValueSource::ReadValue(TGXStream& stream) {
  // Read whole before taking it, so that a short record leaves the value as it was.
  std::vector<uint8_t> value(FData.size());
  stream.ReadBuffer(value.data(), static_cast<int64_t>(value.size()));
  FData = std::move(value);
}

void TGXEffectValueSource::WriteValue(TGXStream& stream) const {
  stream.WriteBuffer(FData.data(), static_cast<int64_t>(FData.size()));
}

std::string TGXEffectValueSource::ClassName() const {
  switch (FType) {
    case TGXEffectValueType::Int: return "TGXEffectIntegerSource";
    case TGXEffectValueType::Float2: return "TGXEffectVector2Source";
    case TGXEffectValueType::Float3: return "TGXEffectVector3Source";
    case TGXEffectValueType::Float4: return "TGXEffectVector4Source";
    case TGXEffectValueType::Float4x4: return "TGXEffectMatrixSource";
    default: return "TGXEffectSingleSource";
  }
}

// ---- texture sources ----

TGXEffectTextureSource::TGXEffectTextureSource(std::string name, bool cube)
    : TGXEffectParameterSource(std::move(name), 1), FCube(cube) {}

TGXEffectTextureSource::~TGXEffectTextureSource() = default;

TGXTexture* TGXEffectTextureSource::GetTexture() const { return FTexture.Get(); }
TGXCubeTexture* TGXEffectTextureSource::GetCubeTexture() const { return FCubeTexture.Get(); }

void TGXEffectTextureSource::SetTexture(TGXRef<TGXTexture> texture) {
  FTexture = std::move(texture);
  if (FTexture) FTexture->Load();
}

void TGXEffectTextureSource::SetCubeTexture(TGXRef<TGXCubeTexture> texture) {
  FCubeTexture = std::move(texture);
  if (FCubeTexture) FCubeTexture->Load();
}

void TGXEffectTextureSource::SetDeviceTexture(TGXRef<TGXGLTexture> texture) { FDeviceTexture = std::move(texture); }

TGXGLTexture* TGXEffectTextureSource::DeviceTexture() const {
  if (FCube && FCubeTexture && FCubeTexture->GetDeviceTexture()) return FCubeTexture->GetDeviceTexture();
  if (!FCube && FTexture && FTexture->GetDeviceTexture()) return FTexture->GetDeviceTexture();
  return FDeviceTexture.Get();
}

TGXRef<TGXEffectParameterSource> TGXEffectTextureSource::Clone() const {
  return MakeRef<TGXEffectTextureSource>(Name(), FCube);
}

void TGXEffectTextureSource::CopyValue(const TGXEffectParameterSource& other) {
  if (const auto* texture = dynamic_cast<const TGXEffectTextureSource*>(&other)) {
    FTexture = texture->FTexture;
    FCubeTexture = texture->FCubeTexture;
    FDeviceTexture = texture->FDeviceTexture;
  }
}

void TGXEffectTextureSource::Apply(TGXCompiledEffect& effect, TGXEffectHandle handle) {
  effect.SetTexture(handle, DeviceTexture());
}

void TGXEffectTextureSource::ReadValue(TGXStream& stream) {
  const std::string name = ReadAnsiString(stream);
  FDeviceTexture.Reset();
  if (name.empty()) {
    FTexture.Reset();
    FCubeTexture.Reset();
    return;
  }
  TGXEngine* engine = Engine();
  if (!engine) throw EInvalidCall({TGXExceptionArg::Object(ClassName()), "ReadValue", "No engine"});
  if (FCube)
    SetCubeTexture(engine->ResourceManager().Get<TGXCubeTexture>(name));
  else
    SetTexture(engine->ResourceManager().Get<TGXTexture>(name));
}

void TGXEffectTextureSource::WriteValue(TGXStream& stream) const {
  const TGXResource* texture = FCube ? static_cast<const TGXResource*>(FCubeTexture.Get()) : FTexture.Get();
  WriteAnsiString(stream, texture ? texture->GetName().Text() : std::string());
}

TGXRef<TGXEffectParameterSource> GXCreateMaterialSource(const std::string& name, TGXEffectValueType type, int count) {
  switch (type) {
    case TGXEffectValueType::Bool: return MakeRef<TGXEffectSingleSource>(name, count, true);
    case TGXEffectValueType::Float: return MakeRef<TGXEffectSingleSource>(name, count);
    case TGXEffectValueType::Int: return MakeRef<TGXEffectIntegerSource>(name, count);
    case TGXEffectValueType::Float2: return MakeRef<TGXEffectVector2Source>(name, count);
    case TGXEffectValueType::Float3: return MakeRef<TGXEffectVector3Source>(name, count);
    case TGXEffectValueType::Float4: return MakeRef<TGXEffectVector4Source>(name, count);
    case TGXEffectValueType::Float4x4: return MakeRef<TGXEffectMatrixSource>(name, count);
    case TGXEffectValueType::Texture: return MakeRef<TGXEffectTextureSource>(name);
    case TGXEffectValueType::CubeTexture: return MakeRef<TGXEffectCubeTextureSource>(name);
    default: return nullptr;
  }
}

// ---- parameter manager ----

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

bool TGXEffectParameterManager::RemoveSource(std::string_view name) {
  for (auto it = FSources.begin(); it != FSources.end(); ++it) {
    if ((*it)->Name() != name) continue;
    if (it->Get() == FWorld || it->Get() == FView || it->Get() == FProjection || it->Get() == FViewProjection)
      throw EInvalidParameter({TGXExceptionArg::Object("TGXEffectParameterManager"), "RemoveSource", std::string(name)});
    FSources.erase(it);
    return true;
  }
  return false;
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

TGXEffect::~TGXEffect() {
  if (TGXRenderCore* core = GXCurrentRenderCore()) core->UnregisterDeviceCallback(this);
}

void TGXEffect::SetCompiled(std::unique_ptr<TGXCompiledEffect> compiled) {
  FCompiled = std::move(compiled);
  // A new program knows no current technique yet.
  FCurrentTechnique = nullptr;
}

namespace {

// The folder part of a virtual path, with its separator ("Game:\Shaders\" of
// "Game:\Shaders\Flat.fx"); empty without one.
std::string FolderOf(const std::string& path) {
  const size_t at = path.find_last_of("\\/");
  return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

std::string StreamText(TGXMemoryStream& stream) {
  std::string text(static_cast<size_t>(stream.Size()), '\0');
  stream.SetPosition(0);
  stream.ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
  return text;
}

}  // namespace

void TGXEffect::DoLoad() {
  // An effect built by code is complete already.
  if (FCompiled) return;
  TGXRenderCore* core = GXCurrentRenderCore();
  if (!core) throw EInvalidCall({TGXExceptionArg::Object(ClassName()), "DoLoad", "No render core"});
  std::string text;
  std::string folder = FolderOf(GetName().Text());
  if (IsManual() && !GetDataLoader()) {
    text = FSourceText;
  } else if (IGXDataLoader loader = GetDataLoader()) {
    std::unique_ptr<TGXMemoryStream> stream = loader->LoadData();
    text = StreamText(*stream);
    if (!loader->GetName().empty()) folder = FolderOf(loader->GetName());
    SetDataLoader(nullptr);
  } else {
    TGXEngine* engine = Engine();
    if (!engine) throw EInvalidCall({TGXExceptionArg::Object(ClassName()), "DoLoad", "No engine"});
    text = StreamText(*engine->FileSystem().OpenFile(GetName().Text()));
  }
  // Includes are read through the file system, relative to the effect's folder.
  TGXEffectIncludeHandler include = [folder](const std::string& name) {
    TGXEngine* engine = Engine();
    if (!engine) throw EInvalidCall({TGXExceptionArg::Object("TGXEffect"), "Include", "No engine"});
    return StreamText(*engine->FileSystem().OpenFile(folder + name));
  };
  try {
    GXBuildGLEffect(*this, core->Device(), core->EffectParameters(), text, FMacros, include);
  } catch (const EGXEffectSyntax& e) {
    // A fault of the file is a compile error like the GL compiler's.
    FCompiled.reset();
    FTechniques.clear();
    throw EDirect3D({TGXExceptionArg::Object(ClassName()), "DoLoad", "D3DXCreateEffect failed", e.what()});
  } catch (...) {
    FCompiled.reset();
    FTechniques.clear();
    FAutoParameters.clear();
    FWorldParameters.clear();
    FMaterialParameters.clear();
    throw;
  }
  core->RegisterDeviceCallback(this);
}

TGXEffectTechnique* TGXEffect::SpecialTechnique(int kind) const {
  return kind >= 1 && kind <= 3 ? FSpecial[kind - 1] : nullptr;
}

void TGXEffect::SetSpecialTechnique(int kind, TGXEffectTechnique* technique) {
  if (kind < 1 || kind > 3 || (technique && technique->Effect() != this))
    throw EInvalidParameter({TGXExceptionArg::Object(ClassName()), "SetSpecialTechnique", "Invalid technique"});
  FSpecial[kind - 1] = technique;
}

void TGXEffect::AddMaterialParameter(TGXRef<TGXEffectParameterSource> source, TGXEffectHandle handle) {
  if (!source)
    throw EInvalidParameter({TGXExceptionArg::Object(ClassName()), "AddMaterialParameter", "No source"});
  FMaterialParameters.push_back({std::move(source), handle});
}

IGXResource TGXEffectFactory::CreateResource(TSlot* cell, const std::string& name, bool manual) {
  return IGXResource(new TGXEffect(cell, name, manual));
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
