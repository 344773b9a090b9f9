#pragma once
// The materials of models. Every entity that shows a model file dresses each sub-mesh with a
// material generated from a material description: a case-insensitive sorted list whose keys are
// sub-mesh paths ("Root\Mesh_0\SubMesh_1", "Root\Node_2\Mesh_0\SubMesh_0") and whose items are
// sub descriptions (lighting, colours, diffuse map, alpha, blending, reflection).
//
// A sub description becomes a material through its feature bits: they choose the effect (the
// base package's "Shader\Model.fx" compiled with one ENABLE_* definition per set bit, named by
// the checksum of the bits) and the material parameters. Materials without reflection are shared
// by the MD5 digest of the sub description's stored bytes, so equal descriptions draw with one
// material; a reflecting material is always its own. Colour maps ("$AARRGGBB") are small
// textures made by code, file maps come through the asset loader with the base package's dummy
// texture as placeholder.
//
// A description is derived from a loaded model: light cones (nodes named "lk..."), colours that
// the model file encodes as texture names, and companion files for texture names, with the alpha
// rules of the image's format read from the image header alone.
//
// Everything that loads goes through the installed TRRModelServices (app/RRModelServices.h).
// Files that cannot be loaded and effects that cannot be compiled are reported there once and
// never stop a layout from loading: the sub-entity then has no material of its own.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/entities/RRAssetFileName.h"
#include "engine/core/GXMath.h"
#include "engine/core/GXStream.h"
#include "engine/render/GXMaterial.h"
#include "engine/render/GXModel.h"
#include "engine/render/GXTexture.h"

namespace gx {
class TGXSceneNode;
class TGXSubEntity;
}  // namespace gx

namespace rr {

class IRRReflectionManager;

// ---- names and texts ----

inline constexpr const char* RRBasePackageID = "{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}";
inline constexpr const char* RRModelEffectFile =
    "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Shader\\Model.fx";
inline constexpr const char* RRModelEffectRelative =
    "{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Shader\\Model.fx";
// The folder includes of the model effect are resolved against.
inline constexpr const char* RRModelEffectRoot = "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}";
inline constexpr const char* RRDummyTextureFile =
    "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Textures\\Dummy.png";
inline constexpr const char* RRLightConeTextureName = "Lichtkegel.png";
// Sub-meshes below a node named "spiegel..." mirror the layout (planar reflection), those below
// "glanz..." show an environment map, with these strengths.
inline constexpr const char* RRMirrorNodePrefix = "spiegel";
inline constexpr const char* RRShinyNodePrefix = "glanz";
inline constexpr float RRMirrorStrength = 0.6f;
inline constexpr float RRShinyStrength = 0.45f;
inline constexpr const char* RRLightConeTextureRelative =
    "{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Lichtkegel.png";
inline constexpr const char* RRMaterialNamePrefix = "RRMaterial:";
inline constexpr const char* RRPrivateMaterialName = "RRMaterial:Privat";
inline constexpr const char* RRTextUnknownMaterialSubDesc = "Unknown material subdesc.";
// Diffuse maps below these folders were made for alpha testing only (reference 150).
inline constexpr const char* RRSdkModelFolders[] = {"D:\\Projekte\\Velmora SDK\\3D-Modelle",
                                                    "D:\\Projekte\\Velmora 11 SDK\\3D-Modelle"};

// ---- feature bits ----

enum : uint16_t {
  RRFeatureLight = 1,
  RRFeatureDiffuseMap = 2,
  RRFeatureTransparency = 4,
  RRFeatureAlphaTest = 8,
  RRFeatureAdditiveBlending = 16,
  RRFeatureEnvironmentMapping = 32,
  RRFeatureReflection = 64,
  RRFeatureExplicitColor = 128,
  RRFeatureTexScaling = 256,
  // Never from a sub description: only the instanced twins of materials (InstancedMaterial).
  RRFeatureInstancing = 512,
};
inline constexpr int RRFeatureCount = 10;
// The definition of each bit, in bit order 1, 2, 4, ..., 512.
inline constexpr const char* RRFeatureNames[RRFeatureCount] = {
    "ENABLE_LIGHT",      "ENABLE_DIFFUSEMAP",        "ENABLE_TRANSPARENCY",
    "ENABLE_ALPHATEST",  "ENABLE_ADDITIVE_BLENDING", "ENABLE_ENVIRONMENTMAPPING",
    "ENABLE_REFLECTION", "ENABLE_EXPLICIT_COLOR",    "ENABLE_TEXSCALING",
    "ENABLE_INSTANCING"};

// ---- sub description ----

struct TRRMaterialSubDesc {
  bool TwoSided = true;
  bool Lit = true;
  gx::TGXVector3 Ambient{0.8f, 0.8f, 0.8f};
  gx::TGXVector3 Diffuse{0.9f, 0.9f, 0.9f};
  gx::TGXVector3 Specular{1.0f, 1.0f, 1.0f};
  // A file, or "$" and a hexadecimal colour 0xAARRGGBB in FileName.
  TRRAssetFileName DiffuseMap;
  gx::TGXVector2 TextureScaling{1.0f, 1.0f};
  bool AlphaTest = false;
  int32_t AlphaReference = 0;
  bool Transparency = false;
  float Opacity = 1.0f;
  bool AdditiveBlending = false;
  float DepthBias = 0;
  // RRReflectionNone, RRReflectionPlanar or RRReflectionEnvironment (other values kept as read).
  uint8_t ReflectionMode = 0;
  float ReflectionStrength = 0;

  // Stream form: two-sided, lit (1 byte each), ambient, diffuse, specular (12 bytes each), the
  // diffuse map's two strings, texture scaling (8 bytes), then (alpha test, alpha reference),
  // (transparency, opacity), (additive blending, depth bias), (reflection mode, reflection
  // strength), each pair 1 + 4 bytes.
  void WriteToStream(gx::TGXStream& s) const;
  void ReadFromStream(gx::TGXStream& s);
  // The stream form's bytes (what the shared material's name is the digest of).
  std::vector<uint8_t> SerializedBytes() const;
  // Equal stream forms.
  bool SameAs(const TRRMaterialSubDesc& other) const { return SerializedBytes() == other.SerializedBytes(); }
};

// ---- description ----

class TRRMaterialDesc {
 public:
  static constexpr int32_t StreamVersion = 1;
  // The fewest bytes an entry takes in the stream: an empty key and an empty diffuse map.
  static constexpr int64_t MinEntrySize = 78;

  TRRMaterialDesc() = default;
  // Copies go through the stream form.
  TRRMaterialDesc(const TRRMaterialDesc& other);
  TRRMaterialDesc& operator=(const TRRMaterialDesc& other);
  TRRMaterialDesc(TRRMaterialDesc&&) noexcept = default;
  TRRMaterialDesc& operator=(TRRMaterialDesc&&) noexcept = default;

  int Count() const { return static_cast<int>(FItems.size()); }
  bool Empty() const { return FItems.empty(); }
  // In sorted order (ignoring case).
  const std::string& Key(int index) const { return FItems.at(static_cast<size_t>(index)).Key; }
  TRRMaterialSubDesc& SubDesc(int index) { return *FItems.at(static_cast<size_t>(index)).Sub; }
  const TRRMaterialSubDesc& SubDesc(int index) const { return *FItems.at(static_cast<size_t>(index)).Sub; }
  // Position of the key (ignoring case), or -1.
  int IndexOf(std::string_view key) const;
  // The sub description of the key (ignoring case), or null.
  TRRMaterialSubDesc* Find(std::string_view key);
  const TRRMaterialSubDesc* Find(std::string_view key) const;
  // Inserts the key in order, or replaces the sub description of a key listed already.
  TRRMaterialSubDesc& Set(const std::string& key, const TRRMaterialSubDesc& sub);
  // False when the key is not listed.
  bool Remove(std::string_view key);
  void Clear() { FItems.clear(); }

  // Version 1, Integer count, per entry the key (8-bit string) and the sub description.
  void SaveToStream(gx::TGXStream& s) const;
  // Another version raises EUnknownEntityDescription ("Unsupported description version."); the
  // count is checked against the remaining bytes (MinEntrySize each). A key listed twice keeps
  // its first entry. On any error the description keeps what it held before.
  void LoadFromStream(gx::TGXStream& s);
  // Copies through the stream form.
  void Assign(const TRRMaterialDesc& other);

 private:
  struct TItem {
    std::string Key;
    std::unique_ptr<TRRMaterialSubDesc> Sub;
  };
  // Position where the key is or would go.
  size_t LowerBound(std::string_view key) const;
  std::vector<TItem> FItems;
};

// ---- sub-mesh paths ----

// Called with each sub-entity's path and the sub-entity, in path order.
using TRRSubMeshVisitor = std::function<void(const std::string& path, gx::TGXSubEntity& subEntity)>;

// Walks the node tree of an instantiated model from root ("Root"): for each object attached to
// a node that is a mesh entity, "Mesh_k" with k its position among ALL the node's objects, and
// for each of its sub-entities "SubMesh_j"; then each child node as "Node_i", recursively. Parts
// are joined by backslashes. Objects of other kinds are skipped but count for k. Null does nothing.
void RRForEachSubMesh(gx::TGXSceneNode* root, const TRRSubMeshVisitor& visit);
// The same walk over a model's template (whose entities are the template's own), for derivation.
void RRForEachTemplateSubMesh(gx::TGXSceneNode* root,
                              const std::function<void(const std::string& path, gx::TGXSceneNode& node,
                                                       const gx::IGXMesh& mesh, int subMesh)>& visit);

// ---- CAD display ----

inline constexpr int RRCadTypeCount = 13;
// The flat colour of a CAD type; values above 12 are taken as 4.
gx::TGXVector3 RRCadColour(uint8_t cadType);
// The sub description of the technical view: unlit, diffuse = the CAD colour, the rest default.
TRRMaterialSubDesc RRCadSubDesc(uint8_t cadType);

// ---- colours as texture names ----

// "$" and the colour in lower-case hexadecimal without leading zeros ("$ffffffff", "$ff").
std::string RRColourMapName(uint32_t colour);
// The colour of a "$" name (hexadecimal digits of either case, at most 8); none for any other text.
std::optional<uint32_t> RRParseColourMapName(std::string_view name);
// The four texels of a colour texture, as (R, G, B, A) = (bits 16-23, 8-15, 0-7, 24-31): the
// 0xAARRGGBB colour itself, four times.
std::vector<uint32_t> RRColourTexels(uint32_t colour);

// ---- generator ----

class TRRMaterialGenerator {
 public:
  // The bits of the sub description; reflections count only with a reflection manager that has
  // them on (null: none).
  static uint16_t FeatureBits(const TRRMaterialSubDesc& sub, const IRRReflectionManager* reflections);
  // The decimal text of the checksum of the bits' two little-endian bytes.
  static std::string EffectName(uint16_t bits);
  // The definitions of the set bits, in bit order.
  static std::vector<std::string> EffectMacros(uint16_t bits);
  // The same, comma-separated.
  static std::string EffectMacroList(uint16_t bits);
  // "RRMaterial:" and the 32 upper-case hex digits of the MD5 of the stream form for reflection
  // mode 0; RRPrivateMaterialName otherwise.
  static std::string MaterialName(const TRRMaterialSubDesc& sub);

  // The shared effect of the bits, loaded from RRModelEffectFile with the bits' definitions
  // (cached per bits). Null when it cannot be loaded or compiled: reported once per bits.
  static gx::IGXEffect MakeEffect(uint16_t bits);

  // The material for the key of desc; an absent key raises std::runtime_error
  // RRTextUnknownMaterialSubDesc.
  static gx::IGXMaterial MakeMaterial(const TRRMaterialDesc& desc, std::string_view key,
                                      gx::TGXSceneNode* node = nullptr);
  // The same, but an absent key takes derived's entry (when derived is given and holds it), else
  // the default sub description. A catalogue model replaced by one with other sub-meshes thus
  // still gets its materials.
  static gx::IGXMaterial MakeMaterialOrDerived(const TRRMaterialDesc& desc, std::string_view key,
                                               const TRRMaterialDesc* derived,
                                               gx::TGXSceneNode* node = nullptr);
  // The material of a sub description; node is the scene node that will use it (for
  // reflections). A material already loaded is returned as it is. Null when its effect cannot
  // be had (reported once); a texture that cannot be loaded is replaced by the dummy texture.
  static gx::IGXMaterial MakeMaterial(const TRRMaterialSubDesc& sub, gx::TGXSceneNode* node = nullptr);
  // The instanced twin of a material made here: the effect of its bits with RRFeatureInstancing
  // and a copy of its values, which draws many instances with their world matrices in a second
  // vertex stream (app/entities/scenery/RRPlantBatch.h). Kept while both live. Null for materials
  // of other origin, for reflecting ones (bound to their node) and when the effect fails.
  static gx::IGXMaterial InstancedMaterial(gx::TGXMaterial* material);

  // The texture of a diffuse map: a "$" colour name gives the 2 x 2 colour texture (named by the
  // colour's signed decimal value; a name that is not hexadecimal gives the dummy texture), any
  // other name the file's texture, loaded through the asset loader, with the dummy texture when
  // it fails (reported). Null only when even the dummy cannot be had.
  static gx::IGXTexture MakeTexture(const TRRAssetFileName& map);
  // The colour texture of a colour (made and filled when new).
  static gx::IGXTexture MakeColourTexture(uint32_t colour);

  // The description of a loaded model: one entry per sub-mesh path of its template, by the
  // derivation rules; companions are the model's companion files (texture names are looked up
  // by their file-name part, ignoring case). Cached per model name and companion list.
  static TRRMaterialDesc DeriveDescription(const gx::TGXModel& model,
                                           const std::vector<TRRAssetFileName>& companions);
  // The sub description the rules give one sub-mesh: twoSided from the model, lightCone when the
  // node or an ancestor is named "lk...", textureName as the model lists it.
  static TRRMaterialSubDesc DeriveSubDesc(bool twoSided, bool lightCone, const std::string& textureName,
                                          const std::vector<TRRAssetFileName>& companions);
  // The alpha rules for a diffuse map of the image format (by the header only; any failure reads
  // as an image without alpha).
  static void ApplyAlphaRules(TRRMaterialSubDesc& sub);

  // Gives every sub-entity under root the material for its path (MakeMaterialOrDerived, with
  // the sub-entity's node for reflections). A sub-entity whose material cannot be made is left
  // without a material of its own.
  static void ApplyMaterials(gx::TGXSceneNode* root, const TRRMaterialDesc& desc,
                             const TRRMaterialDesc* derived = nullptr);
  // Every sub-entity under root gets the material of the one sub description (the CAD display).
  static void ApplyMaterial(gx::TGXSceneNode* root, const TRRMaterialSubDesc& sub);

  // Empties the caches (effects per bits, derived descriptions, image headers).
  static void ClearCaches();
};

}  // namespace rr
