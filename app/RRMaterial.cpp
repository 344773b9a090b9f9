#include "app/RRMaterial.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <unordered_map>

#include "app/RRAssetFileLoader.h"
#include "app/RRModelServices.h"
#include "app/entities/RREntityDescription.h"
#include "engine/core/GXDigest.h"
#include "engine/core/GXSceneNode.h"
#include "engine/core/GXSerialization.h"
#include "engine/core/GXStrings.h"
#include "engine/render/GXEntity.h"
#include "engine/render/GXImageInfo.h"

namespace rr {

using gx::TGXStream;

// ---- sub description ----

void TRRMaterialSubDesc::WriteToStream(TGXStream& s) const {
  gx::WriteBoolean(s, TwoSided);
  gx::WriteBoolean(s, Lit);
  gx::WriteVector3(s, Ambient);
  gx::WriteVector3(s, Diffuse);
  gx::WriteVector3(s, Specular);
  DiffuseMap.WriteToStream(s);
  gx::WriteSingle(s, TextureScaling.x);
  gx::WriteSingle(s, TextureScaling.y);
  gx::WriteBoolean(s, AlphaTest);
  gx::WriteInteger(s, AlphaReference);
  gx::WriteBoolean(s, Transparency);
  gx::WriteSingle(s, Opacity);
  gx::WriteBoolean(s, AdditiveBlending);
  gx::WriteSingle(s, DepthBias);
  gx::WriteByte(s, ReflectionMode);
  gx::WriteSingle(s, ReflectionStrength);
}

void TRRMaterialSubDesc::ReadFromStream(TGXStream& s) {
  TRRMaterialSubDesc r;
  r.TwoSided = gx::ReadBoolean(s);
  r.Lit = gx::ReadBoolean(s);
  r.Ambient = gx::ReadVector3(s);
  r.Diffuse = gx::ReadVector3(s);
  r.Specular = gx::ReadVector3(s);
  r.DiffuseMap.ReadFromStream(s);
  r.TextureScaling.x = gx::ReadSingle(s);
  r.TextureScaling.y = gx::ReadSingle(s);
  r.AlphaTest = gx::ReadBoolean(s);
  r.AlphaReference = gx::ReadInteger(s);
  r.Transparency = gx::ReadBoolean(s);
  r.Opacity = gx::ReadSingle(s);
  r.AdditiveBlending = gx::ReadBoolean(s);
  r.DepthBias = gx::ReadSingle(s);
  r.ReflectionMode = gx::ReadByte(s);
  r.ReflectionStrength = gx::ReadSingle(s);
  *this = std::move(r);
}

std::vector<uint8_t> TRRMaterialSubDesc::SerializedBytes() const {
  gx::TGXMemoryStream s;
  WriteToStream(s);
  return std::move(s.Data());
}

// ---- description ----

TRRMaterialDesc::TRRMaterialDesc(const TRRMaterialDesc& other) { Assign(other); }

TRRMaterialDesc& TRRMaterialDesc::operator=(const TRRMaterialDesc& other) {
  if (this != &other) Assign(other);
  return *this;
}

size_t TRRMaterialDesc::LowerBound(std::string_view key) const {
  auto it = std::lower_bound(FItems.begin(), FItems.end(), key, [](const TItem& item, std::string_view k) {
    return gx::CompareText(item.Key, k) < 0;
  });
  return static_cast<size_t>(it - FItems.begin());
}

int TRRMaterialDesc::IndexOf(std::string_view key) const {
  const size_t at = LowerBound(key);
  return at < FItems.size() && gx::CompareText(FItems[at].Key, key) == 0 ? static_cast<int>(at) : -1;
}

TRRMaterialSubDesc* TRRMaterialDesc::Find(std::string_view key) {
  const int at = IndexOf(key);
  return at < 0 ? nullptr : FItems[size_t(at)].Sub.get();
}

const TRRMaterialSubDesc* TRRMaterialDesc::Find(std::string_view key) const {
  const int at = IndexOf(key);
  return at < 0 ? nullptr : FItems[size_t(at)].Sub.get();
}

TRRMaterialSubDesc& TRRMaterialDesc::Set(const std::string& key, const TRRMaterialSubDesc& sub) {
  const size_t at = LowerBound(key);
  if (at < FItems.size() && gx::CompareText(FItems[at].Key, key) == 0) {
    *FItems[at].Sub = sub;
    return *FItems[at].Sub;
  }
  FItems.insert(FItems.begin() + static_cast<std::ptrdiff_t>(at),
                TItem{key, std::make_unique<TRRMaterialSubDesc>(sub)});
  return *FItems[at].Sub;
}

bool TRRMaterialDesc::Remove(std::string_view key) {
  const int at = IndexOf(key);
  if (at < 0) return false;
  FItems.erase(FItems.begin() + at);
  return true;
}

void TRRMaterialDesc::SaveToStream(TGXStream& s) const {
  gx::WriteInteger(s, StreamVersion);
  gx::WriteInteger(s, Count());
  for (const TItem& item : FItems) {
    gx::WriteAnsiString(s, item.Key);
    item.Sub->WriteToStream(s);
  }
}

void TRRMaterialDesc::LoadFromStream(TGXStream& s) {
  if (gx::ReadInteger(s) != StreamVersion) throw EUnknownEntityDescription();
  const int32_t count = gx::ReadCount(s, MinEntrySize);
  TRRMaterialDesc read;
  read.FItems.reserve(size_t(count));
  for (int32_t i = 0; i < count; ++i) {
    std::string key = gx::ReadAnsiString(s);
    TRRMaterialSubDesc sub;
    sub.ReadFromStream(s);
    // A key listed twice (ignoring case) keeps its first entry, as the sorted list did.
    if (read.IndexOf(key) < 0) read.Set(key, sub);
  }
  FItems = std::move(read.FItems);
}

void TRRMaterialDesc::Assign(const TRRMaterialDesc& other) {
  gx::TGXMemoryStream s;
  other.SaveToStream(s);
  s.SetPosition(0);
  LoadFromStream(s);
}

// ---- sub-mesh paths ----

namespace {

void Walk(gx::TGXSceneNode* node, const std::string& path, const TRRSubMeshVisitor& visit) {
  const int objects = node->ObjectCount();
  for (int k = 0; k < objects; ++k) {
    auto* entity = dynamic_cast<gx::TGXEntity*>(node->Objects()[k]);
    if (!entity) continue;
    const std::string mesh = path + "\\Mesh_" + std::to_string(k);
    const int subs = entity->SubEntityCount();
    for (int j = 0; j < subs; ++j) visit(mesh + "\\SubMesh_" + std::to_string(j), *entity->SubEntity(j));
  }
  const int children = node->ChildCount();
  for (int i = 0; i < children; ++i)
    if (auto* child = dynamic_cast<gx::TGXSceneNode*>(node->Child(i)))
      Walk(child, path + "\\Node_" + std::to_string(i), visit);
}

void WalkTemplate(
    gx::TGXSceneNode* node, const std::string& path,
    const std::function<void(const std::string&, gx::TGXSceneNode&, const gx::IGXMesh&, int)>& visit) {
  const int objects = node->ObjectCount();
  for (int k = 0; k < objects; ++k) {
    auto* entity = dynamic_cast<gx::TGXEntity*>(node->Objects()[k]);
    if (!entity) continue;
    const std::string mesh = path + "\\Mesh_" + std::to_string(k);
    const int subs = entity->SubEntityCount();
    for (int j = 0; j < subs; ++j) visit(mesh + "\\SubMesh_" + std::to_string(j), *node, entity->Mesh(), j);
  }
  const int children = node->ChildCount();
  for (int i = 0; i < children; ++i)
    if (auto* child = dynamic_cast<gx::TGXSceneNode*>(node->Child(i)))
      WalkTemplate(child, path + "\\Node_" + std::to_string(i), visit);
}

}  // namespace

void RRForEachSubMesh(gx::TGXSceneNode* root, const TRRSubMeshVisitor& visit) {
  if (root) Walk(root, "Root", visit);
}

void RRForEachTemplateSubMesh(gx::TGXSceneNode* root,
                              const std::function<void(const std::string& path, gx::TGXSceneNode& node,
                                                       const gx::IGXMesh& mesh, int subMesh)>& visit) {
  if (root) WalkTemplate(root, "Root", visit);
}

// ---- CAD display ----

gx::TGXVector3 RRCadColour(uint8_t cadType) {
  static const gx::TGXVector3 colours[RRCadTypeCount] = {
      {1.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f}, {0.4f, 0.6f, 1.0f}, {0.1f, 0.3f, 1.0f}, {1.0f, 1.0f, 1.0f},
      {0.0f, 0.0f, 0.5f}, {0.6f, 0.0f, 0.0f}, {0.5f, 0.5f, 0.5f}, {0.5f, 0.8f, 0.8f}, {0.0f, 0.6f, 0.0f},
      {1.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {0.2f, 0.2f, 0.2f}};
  return colours[cadType < RRCadTypeCount ? cadType : 4];
}

TRRMaterialSubDesc RRCadSubDesc(uint8_t cadType) {
  TRRMaterialSubDesc sub;
  sub.Lit = false;
  sub.Diffuse = RRCadColour(cadType);
  return sub;
}

// ---- colours as texture names ----

std::string RRColourMapName(uint32_t colour) {
  char text[16];
  std::snprintf(text, sizeof text, "$%x", colour);
  return text;
}

namespace {

// 1 to 8 hexadecimal digits of either case.
std::optional<uint32_t> ParseHex(std::string_view digits) {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  uint32_t value = 0;
  for (char c : digits) {
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return std::nullopt;
    value = value << 4 | uint32_t(d);
  }
  return value;
}

}  // namespace

std::optional<uint32_t> RRParseColourMapName(std::string_view name) {
  if (name.empty() || name[0] != '$') return std::nullopt;
  return ParseHex(name.substr(1));
}

std::vector<uint32_t> RRColourTexels(uint32_t colour) {
  // The device takes 0xAARRGGBB words: red from bits 16-23, green 8-15, blue 0-7, alpha 24-31.
  return std::vector<uint32_t>(4, colour);
}

// ---- caches ----

namespace {

struct TEffectEntry {
  gx::IGXEffect Effect;
  bool Failed = false;
};

struct TInstancedTwin {
  gx::TGXWeakRef<gx::TGXMaterial> Original;
  gx::TGXWeakRef<gx::TGXMaterial> Twin;
};

struct TCaches {
  std::map<uint16_t, TEffectEntry> Effects;
  std::unordered_map<const gx::TGXMaterial*, TInstancedTwin> Twins;
  size_t TwinsPruneAt = 64;
  std::unordered_map<std::string, TRRMaterialDesc> Derived;
  // Format by the lower-case effective file name; none when the header could not be read.
  std::unordered_map<std::string, std::optional<uint32_t>> ImageFormats;
  bool DummyTextureReported = false;
};

TCaches& Caches() {
  static TCaches caches;
  return caches;
}

const TRRAssetFileName& ModelEffectFileName() {
  static const TRRAssetFileName name(RRModelEffectFile, RRModelEffectRelative);
  return name;
}

const TRRAssetFileName& DummyTextureFileName() {
  static const TRRAssetFileName name(RRDummyTextureFile, std::string(RRDummyTextureFile).substr(6));
  return name;
}

std::string FileNamePart(std::string_view path) {
  const size_t at = path.find_last_of("\\/");
  return std::string(at == std::string_view::npos ? path : path.substr(at + 1));
}

bool StartsWithText(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && gx::SameText(text.substr(0, prefix.size()), prefix);
}

void SetFloats(gx::TGXMaterial& material, std::string_view name, const std::vector<float>& values) {
  if (gx::TGXEffectValueSource* source = material.FindValue(name)) source->SetFloats(values);
}

}  // namespace

void TRRMaterialGenerator::ClearCaches() {
  TCaches& caches = Caches();
  caches.Effects.clear();
  caches.Twins.clear();
  caches.Derived.clear();
  caches.ImageFormats.clear();
  caches.DummyTextureReported = false;
}

// ---- feature bits and names ----

uint16_t TRRMaterialGenerator::FeatureBits(const TRRMaterialSubDesc& sub,
                                           const IRRReflectionManager* reflections) {
  uint16_t bits = sub.Lit ? RRFeatureLight : RRFeatureExplicitColor;
  if (!sub.DiffuseMap.IsEmpty()) bits |= RRFeatureDiffuseMap;
  if (sub.TextureScaling.x != 1.0f || sub.TextureScaling.y != 1.0f) bits |= RRFeatureTexScaling;
  if (sub.AlphaTest) bits |= RRFeatureAlphaTest;
  if (sub.Transparency)
    bits |= RRFeatureTransparency;
  else if (sub.AdditiveBlending)
    bits |= RRFeatureAdditiveBlending;
  if (sub.ReflectionMode == RRReflectionPlanar && reflections && reflections->PlanarReflectionsEnabled())
    bits |= RRFeatureReflection;
  else if (sub.ReflectionMode == RRReflectionEnvironment && reflections &&
           reflections->EnvironmentMapsSupported() && reflections->EnvironmentMapsEnabled())
    bits |= RRFeatureEnvironmentMapping;
  return bits;
}

std::string TRRMaterialGenerator::EffectName(uint16_t bits) {
  const uint8_t bytes[2] = {uint8_t(bits & 0xFF), uint8_t(bits >> 8)};
  return std::to_string(gx::GXChecksum(bytes, sizeof bytes));
}

std::vector<std::string> TRRMaterialGenerator::EffectMacros(uint16_t bits) {
  std::vector<std::string> macros;
  for (int i = 0; i < RRFeatureCount; ++i)
    if (bits & (1u << i)) macros.emplace_back(RRFeatureNames[i]);
  return macros;
}

std::string TRRMaterialGenerator::EffectMacroList(uint16_t bits) {
  std::string list;
  for (const std::string& macro : EffectMacros(bits)) {
    if (!list.empty()) list += ',';
    list += macro;
  }
  return list;
}

std::string TRRMaterialGenerator::MaterialName(const TRRMaterialSubDesc& sub) {
  if (sub.ReflectionMode != RRReflectionNone) return RRPrivateMaterialName;
  const std::vector<uint8_t> bytes = sub.SerializedBytes();
  return RRMaterialNamePrefix + gx::GXDigestToHex(gx::GXMD5(bytes.data(), bytes.size()));
}

// ---- effects ----

gx::IGXEffect TRRMaterialGenerator::MakeEffect(uint16_t bits) {
  const TRRModelServices* services = TRRModelServices::Get();
  if (!services || !services->Resources) return nullptr;
  TCaches& caches = Caches();
  if (auto it = caches.Effects.find(bits); it != caches.Effects.end())
    return it->second.Failed ? nullptr : it->second.Effect;
  try {
    gx::IGXEffect effect = services->Resources->Get<gx::TGXEffect>(EffectName(bits));
    if (effect->IsUnloaded()) {
      effect->SetMacros(EffectMacros(bits));
      gx::IGXDataLoader loader = services->MakeLoader(ModelEffectFileName());
      // Includes resolve against the base package's folder, not the shader's.
      loader->SetName(std::string(RRModelEffectRoot) + "\\");
      effect->SetDataLoader(loader);
      effect->Load();
    }
    if (!effect->IsLoaded())
      throw gx::EGXException(
          {gx::TGXExceptionArg::Object("TRRMaterialGenerator"), "MakeEffect",
           effect->LoadError().empty() ? std::string("Effect not loaded") : effect->LoadError()});
    caches.Effects[bits] = {effect, false};
    return effect;
  } catch (...) {
    // Reported once per feature set: the failure is remembered until the caches are emptied.
    caches.Effects[bits] = {nullptr, true};
    services->Report(ModelEffectFileName(), std::current_exception());
    return nullptr;
  }
}

// ---- textures ----

namespace {

gx::IGXTexture LoadFileTexture(const TRRModelServices& services, const TRRAssetFileName& file, bool report) {
  gx::IGXTexture texture = services.Resources->Get<gx::TGXTexture>(file.EffectiveFileName());
  if (texture->IsUnloaded()) {
    texture->SetDataLoader(services.MakeLoader(file));
    try {
      texture->Load();
    } catch (...) {
      if (report) services.Report(file, std::current_exception());
    }
  }
  return texture->IsLoaded() ? texture : nullptr;
}

gx::IGXTexture DummyTexture(const TRRModelServices& services) {
  TCaches& caches = Caches();
  const bool report = !caches.DummyTextureReported;
  caches.DummyTextureReported = true;
  return LoadFileTexture(services, DummyTextureFileName(), report);
}

}  // namespace

gx::IGXTexture TRRMaterialGenerator::MakeColourTexture(uint32_t colour) {
  const TRRModelServices* services = TRRModelServices::Get();
  if (!services || !services->Resources) return nullptr;
  gx::IGXTexture texture =
      services->Resources->Get<gx::TGXTexture>(std::to_string(static_cast<int32_t>(colour)), false, true);
  if (texture->IsUnloaded()) {
    texture->SetWidth(2);
    texture->SetHeight(2);
    texture->SetLevels(1);
    texture->SetUsage(0);
    texture->SetFormat(gx::GXFormatX8R8G8B8);
    texture->SetPool(gx::GXPoolManaged);
    texture->SetInitialPixels(RRColourTexels(colour));
    try {
      texture->Load();
    } catch (...) {
      services->Report(TRRAssetFileName(RRColourMapName(colour)), std::current_exception());
    }
  }
  return texture->IsLoaded() ? texture : nullptr;
}

gx::IGXTexture TRRMaterialGenerator::MakeTexture(const TRRAssetFileName& map) {
  const TRRModelServices* services = TRRModelServices::Get();
  if (!services || !services->Resources || !services->FileSystem) return nullptr;
  if (!map.FileName.empty() && map.FileName[0] == '$') {
    if (std::optional<uint32_t> colour = RRParseColourMapName(map.FileName))
      if (gx::IGXTexture texture = MakeColourTexture(*colour)) return texture;
    return DummyTexture(*services);
  }
  if (gx::IGXTexture texture = LoadFileTexture(*services, map, true)) return texture;
  return DummyTexture(*services);
}

// ---- materials ----

gx::IGXMaterial TRRMaterialGenerator::MakeMaterial(const TRRMaterialSubDesc& sub, gx::TGXSceneNode* node) {
  const TRRModelServices* services = TRRModelServices::Get();
  if (!services || !services->Resources) return nullptr;
  const uint16_t bits = FeatureBits(sub, services->Reflections);
  gx::IGXEffect effect = MakeEffect(bits);
  if (!effect) return nullptr;
  const bool unique = sub.ReflectionMode != RRReflectionNone;
  gx::IGXMaterial material = services->Resources->Get<gx::TGXMaterial>(MaterialName(sub), unique, true);
  if (material->IsLoaded()) return material;
  if (!material->IsUnloaded()) return nullptr;
  try {
    material->SetEffect(effect);
    material->Load();
  } catch (...) {
    services->Report(ModelEffectFileName(), std::current_exception());
    return nullptr;
  }

  gx::TGXMaterial& m = *material;
  SetFloats(m, "CullMode", {sub.TwoSided ? 1.0f : 3.0f});
  SetFloats(m, "DepthBias", {sub.DepthBias});
  if (sub.Lit) {
    SetFloats(m, "Ambient", {sub.Ambient.x, sub.Ambient.y, sub.Ambient.z});
    SetFloats(m, "Diffuse", {sub.Diffuse.x, sub.Diffuse.y, sub.Diffuse.z});
    SetFloats(m, "Specular", {sub.Specular.x, sub.Specular.y, sub.Specular.z});
    SetFloats(m, "SpecularPower", {8.0f});
  } else {
    SetFloats(m, "ExplicitColor", {sub.Diffuse.x, sub.Diffuse.y, sub.Diffuse.z, sub.Opacity});
  }
  if (!sub.DiffuseMap.IsEmpty())
    if (gx::TGXEffectTextureSource* source = m.FindTexture("DiffuseMap")) {
      try {
        source->SetTexture(MakeTexture(sub.DiffuseMap));
      } catch (...) {
        services->Report(sub.DiffuseMap, std::current_exception());
      }
    }
  if (bits & RRFeatureTexScaling) SetFloats(m, "TexScaling", {sub.TextureScaling.x, sub.TextureScaling.y});
  if (bits & RRFeatureAlphaTest) {
    if (gx::TGXEffectValueSource* source = m.FindValue("AlphaRef")) {
      const int32_t value = sub.AlphaReference;
      if (source->DataSize() >= 4 && source->Type() == gx::TGXEffectValueType::Int)
        source->SetRaw(&value, 4);
      else
        source->SetFloats({float(value)});
    }
  }
  if (bits & RRFeatureTransparency) SetFloats(m, "Opacity", {sub.Opacity});
  if ((bits & (RRFeatureReflection | RRFeatureEnvironmentMapping)) && services->Reflections && node) {
    SetFloats(m, "Reflection", {sub.ReflectionStrength});
    services->Reflections->RegisterMaterial(
        material.Get(), node, (bits & RRFeatureReflection) ? RRReflectionPlanar : RRReflectionEnvironment);
  }
  return material;
}

gx::IGXMaterial TRRMaterialGenerator::InstancedMaterial(gx::TGXMaterial* material) {
  const TRRModelServices* services = TRRModelServices::Get();
  if (!material || !material->IsLoaded() || !services || !services->Resources) return nullptr;
  TCaches& caches = Caches();
  if (auto it = caches.Twins.find(material); it != caches.Twins.end()) {
    if (it->second.Original.Get() == material)
      if (gx::IGXMaterial twin = it->second.Twin.Lock()) return twin;
    caches.Twins.erase(it);  // a dead material whose address came back, or a dead twin
  }
  // The bits are those of the cached effect the material draws with.
  const gx::TGXEffect* effect = material->GetEffect().Get();
  std::optional<uint16_t> bits;
  for (const auto& [b, entry] : caches.Effects)
    if (entry.Effect && entry.Effect.Get() == effect) bits = b;
  if (!bits || (*bits & (RRFeatureReflection | RRFeatureEnvironmentMapping | RRFeatureInstancing))) return nullptr;
  gx::IGXEffect instanced = MakeEffect(uint16_t(*bits | RRFeatureInstancing));
  if (!instanced) return nullptr;
  gx::IGXMaterial twin =
      services->Resources->Get<gx::TGXMaterial>(material->GetName().Text() + ":Instanzen", true, true);
  try {
    twin->SetEffect(instanced);
    twin->Load();
  } catch (...) {
    services->Report(ModelEffectFileName(), std::current_exception());
    return nullptr;
  }
  // Both effects declare every material parameter, whatever the bits.
  for (int i = 0; i < material->ParameterCount(); ++i) {
    gx::TGXEffectParameterSource* from = material->Parameter(i);
    if (gx::TGXEffectParameterSource* to = twin->FindParameter(from->Name())) to->CopyValue(*from);
  }
  if (caches.Twins.size() >= caches.TwinsPruneAt) {
    std::erase_if(caches.Twins, [](const auto& item) { return !item.second.Original || !item.second.Twin; });
    caches.TwinsPruneAt = std::max<size_t>(64, caches.Twins.size() * 2);
  }
  caches.Twins[material] = {material, twin.Get()};
  return twin;
}

gx::IGXMaterial TRRMaterialGenerator::MakeMaterial(const TRRMaterialDesc& desc, std::string_view key,
                                                   gx::TGXSceneNode* node) {
  const TRRMaterialSubDesc* sub = desc.Find(key);
  if (!sub) throw std::runtime_error(RRTextUnknownMaterialSubDesc);
  return MakeMaterial(*sub, node);
}

gx::IGXMaterial TRRMaterialGenerator::MakeMaterialOrDerived(const TRRMaterialDesc& desc, std::string_view key,
                                                            const TRRMaterialDesc* derived,
                                                            gx::TGXSceneNode* node) {
  if (const TRRMaterialSubDesc* sub = desc.Find(key)) return MakeMaterial(*sub, node);
  if (derived)
    if (const TRRMaterialSubDesc* sub = derived->Find(key)) return MakeMaterial(*sub, node);
  return MakeMaterial(TRRMaterialSubDesc(), node);
}

void TRRMaterialGenerator::ApplyMaterials(gx::TGXSceneNode* root, const TRRMaterialDesc& desc,
                                          const TRRMaterialDesc* derived) {
  RRForEachSubMesh(root, [&](const std::string& path, gx::TGXSubEntity& sub) {
    sub.SetMaterial(MakeMaterialOrDerived(desc, path, derived, sub.Entity()->Node()));
  });
}

void TRRMaterialGenerator::ApplyMaterial(gx::TGXSceneNode* root, const TRRMaterialSubDesc& sub) {
  gx::IGXMaterial material;
  bool made = false;
  RRForEachSubMesh(root, [&](const std::string&, gx::TGXSubEntity& subEntity) {
    // One material for all (a reflecting one would be made per node, but the CAD display has none).
    if (!made || sub.ReflectionMode != RRReflectionNone) {
      material = MakeMaterial(sub, subEntity.Entity()->Node());
      made = true;
    }
    subEntity.SetMaterial(material);
  });
}

// ---- derivation ----

void TRRMaterialGenerator::ApplyAlphaRules(TRRMaterialSubDesc& sub) {
  const TRRModelServices* services = TRRModelServices::Get();
  if (!services || !services->FileSystem || sub.DiffuseMap.IsEmpty()) return;
  const std::string file = sub.DiffuseMap.EffectiveFileName();
  const std::string key = gx::LowerCaseText(file);
  TCaches& caches = Caches();
  auto it = caches.ImageFormats.find(key);
  if (it == caches.ImageFormats.end()) {
    std::optional<uint32_t> format;
    try {
      std::unique_ptr<gx::TGXMemoryStream> stream = services->FileSystem->OpenFile(file);
      format = gx::GXReadImageInfo(stream->Data()).Format;
    } catch (...) {
      // An image that cannot be read counts as one without alpha; its texture reports it.
    }
    it = caches.ImageFormats.emplace(key, format).first;
  }
  if (!it->second) return;
  const uint32_t format = *it->second;
  if (format == gx::GXFormatDXT1) {
    sub.AlphaTest = true;
    sub.AlphaReference = 150;
  } else if (format == gx::GXFormatDXT5 || format == gx::GXFormatA8R8G8B8 || format == gx::GXFormatA8B8G8R8) {
    sub.AlphaTest = true;
    const bool sdk =
        std::any_of(std::begin(RRSdkModelFolders), std::end(RRSdkModelFolders),
                    [&](const char* folder) { return StartsWithText(sub.DiffuseMap.FileName, folder); });
    if (sdk) {
      sub.AlphaReference = 150;
    } else {
      sub.Transparency = true;
      sub.AlphaReference = 5;
    }
  }
}

TRRMaterialSubDesc TRRMaterialGenerator::DeriveSubDesc(bool twoSided, bool lightCone,
                                                       const std::string& textureName,
                                                       const std::vector<TRRAssetFileName>& companions) {
  TRRMaterialSubDesc sub;
  sub.TwoSided = twoSided;
  if (lightCone) {
    sub.Lit = false;
    sub.Diffuse = {1, 1, 1};
    sub.DiffuseMap = TRRAssetFileName(RRLightConeTextureName, RRLightConeTextureRelative);
    sub.AdditiveBlending = true;
    return sub;
  }
  sub.Lit = true;
  if (textureName.size() >= 2 && textureName[0] == '\0') {
    // A colour AARRGGBB; a text that is not hexadecimal means no diffuse map.
    const std::optional<uint32_t> colour = ParseHex(std::string_view(textureName).substr(1));
    if (!colour) return sub;
    sub.Ambient = sub.Diffuse = sub.Specular = {1, 1, 1};
    sub.AlphaTest = false;
    const float alpha = float(*colour >> 24) / 255.0f;
    sub.Transparency = alpha < 0.999f;
    sub.Opacity = alpha;
    auto component = [](float x) { return uint32_t(std::clamp(x, 0.0f, 1.0f) * 255.0f + 0.5f); };
    const float r = float((*colour >> 16) & 0xFF) / 255.0f, g = float((*colour >> 8) & 0xFF) / 255.0f,
                b = float(*colour & 0xFF) / 255.0f;
    const uint32_t opaque = 0xFF000000u | component(r) << 16 | component(g) << 8 | component(b);
    sub.DiffuseMap = TRRAssetFileName(RRColourMapName(opaque));
    return sub;
  }
  const std::string part = FileNamePart(textureName);
  if (part.empty()) return sub;
  // Stored companions keep their original file name beside the package entry (whose name is a
  // digest), so the original name is compared first, the relative one after.
  for (const TRRAssetFileName& companion : companions)
    if (gx::SameText(FileNamePart(companion.FileName), part) ||
        gx::SameText(FileNamePart(companion.RelativeName), part)) {
      sub.DiffuseMap = companion;
      ApplyAlphaRules(sub);
      break;
    }
  return sub;
}

TRRMaterialDesc TRRMaterialGenerator::DeriveDescription(const gx::TGXModel& model,
                                                        const std::vector<TRRAssetFileName>& companions) {
  std::string key;
  const std::string& name = model.GetName().Text();
  if (!name.empty()) {
    key = gx::LowerCaseText(name);
    for (const TRRAssetFileName& c : companions)
      key.append("\n")
          .append(gx::LowerCaseText(c.FileName))
          .append("|")
          .append(gx::LowerCaseText(c.RelativeName));
    if (auto it = Caches().Derived.find(key); it != Caches().Derived.end()) return it->second;
  }
  TRRMaterialDesc desc;
  gx::TGXSceneNode* root = model.GetTemplate();
  const bool twoSided = !model.IsXFile();
  RRForEachTemplateSubMesh(
      root, [&](const std::string& path, gx::TGXSceneNode& node, const gx::IGXMesh& mesh, int j) {
        std::string texture;
        for (const gx::TGXImportedMesh& info : model.MeshInfos())
          if (info.Mesh == mesh) {
            if (j < int(info.TextureNames.size())) texture = info.TextureNames[size_t(j)];
            break;
          }
        // A light cone: the node or an ancestor inside the model is named "lk..." (any case).
        bool lightCone = false;
        for (gx::TGXNode* n = &node; n && n != root; n = n->Parent())
          if (StartsWithText(n->Name(), "lk")) {
            lightCone = true;
            break;
          }
        TRRMaterialSubDesc sub = DeriveSubDesc(twoSided, lightCone, texture, companions);
        // A mirroring surface (water: "spiegel...") or a polished one with an environment map
        // ("glanz..."), named on the node or an ancestor inside the model.
        for (gx::TGXNode* n = &node; n && n != root && !lightCone; n = n->Parent())
          if (StartsWithText(n->Name(), RRMirrorNodePrefix)) {
            sub.ReflectionMode = RRReflectionPlanar;
            sub.ReflectionStrength = RRMirrorStrength;
            break;
          } else if (StartsWithText(n->Name(), RRShinyNodePrefix)) {
            sub.ReflectionMode = RRReflectionEnvironment;
            sub.ReflectionStrength = RRShinyStrength;
            break;
          }
        desc.Set(path, std::move(sub));
      });
  if (!key.empty()) Caches().Derived.emplace(key, desc);
  return desc;
}

}  // namespace rr
