#pragma once
// A simple shape (box, sphere, cylinder, ramp, plane, disc, pyramid, round arch) in a colour or
// texture of its own. Types 0..3 are engine meshes of the base package, 4..7 model files of which
// the mesh of the first mesh entity (depth first) is shown. The shape sits on a child node that
// carries the primitive's scale and one mesh entity; one material, made from the primitive's
// material sub description, dresses every sub-mesh and is made again on every change and when the
// reflection settings change.
//
// Description payload (after the base payload): Integer version (4 written, 1..4 read).
//   Versions 3 and 4: type (byte), scale (3 Singles), material description (one sub description
//   under the empty key); after reading, ambient and specular follow the diffuse colour, alpha
//   test is on with reference 15 and transparency on.
//   Versions 1 and 2: type, colour (3 Singles), texture (version 1 a wide string, version 2 an
//   asset file name), texture scaling (2 Singles), scale (3 Singles); colour and texture go into
//   the sub description.
// An unknown type reads as 0 (box); a non-finite scale as (1, 1, 1).

#include <cstdint>
#include <memory>
#include <string>

#include "app/RRMaterial.h"
#include "app/RRModelServices.h"
#include "app/entities/RREntity.h"
#include "app/entities/RREntityDescription.h"
#include "engine/render/GXMesh.h"

namespace rr {

class TRRRegisteredEntityList;

inline constexpr const char* RRKindPrimitive = "{4BD4D070-4697-44D2-BE66-D47A076A445C}";
inline constexpr int32_t RRPrimitiveDescVersion = 4;
inline constexpr int RRPrimitiveTypeCount = 8;

// The file of a primitive type and the reflection mode it shows when reflective.
struct TRRPrimitiveType {
  const char* File;
  uint8_t ReflectionMode;
  bool ModelFile;  // a model file (the first mesh is taken); otherwise an engine mesh
};
const TRRPrimitiveType& RRPrimitiveTypeOf(uint8_t type);

class TRRPrimitiveDesc : public TRREntityDescription {
  RR_DESCRIPTION_CLASS()

 public:
  // One sub description: not two-sided, alpha test with reference 15, transparency on.
  TRRPrimitiveDesc();
  void LoadFromStream(gx::TGXStream& s) override;
  void SaveToStream(gx::TGXStream& s) const override;
  void GetPropertyAccess(TRRPropertyAccessList& list) override;
  // Base keys, "PrimitiveType", "Color", "TextureName", "TexScaling", "PrimitiveScale".
  void LoadFromPropertyBag(const TRREntityDescription_10& bag, std::string& modelFileName) override;

  // The sub description under the empty key (made when missing).
  TRRMaterialSubDesc& Sub();
  const TRRMaterialSubDesc& Sub() const;

  uint8_t PrimitiveType = 0;
  gx::TGXVector3 Scale{1, 1, 1};
  TRRMaterialDesc Material;
};

class TRRPrimitive : public TRREntity, private IRRReflectionListener {
  RR_ENTITY_CLASS()

 public:
  TRRPrimitive(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description);
  ~TRRPrimitive() override;
  static void RegisterKinds(TRRRegisteredEntityList& list);

  std::unique_ptr<TRREntityDescription> CreateDescription() const override;

  uint8_t PrimitiveType() const { return FType; }
  // The node that carries the shape (its scale is the primitive's scale).
  gx::TGXSceneNode* ShapeNode() const { return FShape; }
  // Whether the type's mesh could be had.
  bool HasMesh() const { return FHasMesh; }
  const TRRMaterialSubDesc& Material() const { return FSub; }

  gx::TGXVector3 PrimitiveScale() const;
  void SetPrimitiveScale(const gx::TGXVector3& scale);
  gx::TGXVector3 Color() const { return FSub.Diffuse; }
  // Ambient, diffuse and specular take the colour (when it differs).
  void SetColor(const gx::TGXVector3& color);
  float Opacity() const { return FSub.Opacity; }
  void SetOpacity(float opacity);
  float ReflectionStrength() const { return FSub.ReflectionStrength; }
  // 0 turns reflections off (mode 0: a shared material); any other value the type's mode.
  void SetReflectionStrength(float strength);
  const TRRAssetFileName& Texture() const { return FSub.DiffuseMap; }
  void SetTexture(const TRRAssetFileName& texture);
  gx::TGXVector2 TextureScaling() const { return FSub.TextureScaling; }

 private:
  gx::IGXMesh LoadMesh(const TRRModelServices& services) const;
  void ApplyMaterial();
  void ReflectionSettingsChanged() override;

  uint8_t FType = 0;
  TRRMaterialSubDesc FSub;
  gx::TGXSceneNode* FShape = nullptr;  // a child node: the node tree owns it
  bool FHasMesh = false;
  IRRReflectionManager* FReflections = nullptr;
};

}  // namespace rr
