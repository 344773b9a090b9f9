#include "app/entities/scenery/RRPrimitive.h"

#include <cmath>

#include "app/entities/RREntityRegistry.h"
#include "app/entities/RREntity_10.h"
#include "engine/core/GXException.h"
#include "engine/core/GXSerialization.h"
#include "engine/render/GXEntity.h"
#include "engine/render/GXModel.h"

namespace rr {

using gx::TGXVector3;

namespace {

const TRRPrimitiveType kTypes[RRPrimitiveTypeCount] = {
    {"Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Box.gxmesh", RRReflectionEnvironment, false},
    {"Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Sphere.gxmesh", RRReflectionEnvironment, false},
    {"Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Cylinder.gxmesh", RRReflectionEnvironment, false},
    {"Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Ramp.gxmesh", RRReflectionEnvironment, false},
    {"Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Plane.3ds", RRReflectionPlanar, true},
    {"Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Circle.3ds", RRReflectionPlanar, true},
    {"Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Pyramid.x", RRReflectionEnvironment, true},
    {"Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\RoundArch.x", RRReflectionEnvironment, true},
};

uint8_t UsableType(int32_t type) { return type >= 0 && type < RRPrimitiveTypeCount ? uint8_t(type) : 0; }

TGXVector3 UsableScale(const TGXVector3& v) { return gx::GXIsFinite(v) ? v : TGXVector3(1, 1, 1); }

void SetColour(TRRMaterialSubDesc& sub, const TGXVector3& colour) {
  sub.Ambient = colour;
  sub.Diffuse = colour;
  sub.Specular = colour;
}

// The mesh of the first entity below node, depth first (a node's objects before its children).
gx::IGXMesh FirstMesh(const gx::TGXSceneNode* node) {
  if (!node) return nullptr;
  for (gx::TGXSceneObject* object : node->Objects())
    if (auto* entity = dynamic_cast<gx::TGXEntity*>(object)) return entity->Mesh();
  for (int i = 0; i < node->ChildCount(); ++i)
    if (gx::IGXMesh mesh = FirstMesh(dynamic_cast<const gx::TGXSceneNode*>(node->Child(i)))) return mesh;
  return nullptr;
}

template <class T>
gx::TGXRef<T> LoadResource(const TRRModelServices& services, const std::string& file) {
  gx::TGXRef<T> resource = services.Resources->Get<T>(file);
  if (resource->IsUnloaded()) {
    resource->SetDataLoader(services.MakeLoader(TRRAssetFileName(file)));
    resource->Load();
  }
  if (!resource->IsLoaded())
    throw gx::EGXException({gx::TGXExceptionArg::Object(resource->ClassName()), "Load", resource->LoadError()});
  return resource;
}

}  // namespace

const TRRPrimitiveType& RRPrimitiveTypeOf(uint8_t type) { return kTypes[UsableType(type)]; }

// ---- description ----

RR_DEFINE_DESCRIPTION_CLASS(TRRPrimitiveDesc, TRREntityDescription)

TRRPrimitiveDesc::TRRPrimitiveDesc() {
  TRRMaterialSubDesc sub;
  sub.TwoSided = false;
  sub.AlphaTest = true;
  sub.AlphaReference = 15;
  sub.Transparency = true;
  Material.Set("", sub);
}

TRRMaterialSubDesc& TRRPrimitiveDesc::Sub() {
  if (TRRMaterialSubDesc* sub = Material.Find("")) return *sub;
  return Material.Set("", TRRMaterialSubDesc());
}

const TRRMaterialSubDesc& TRRPrimitiveDesc::Sub() const { return const_cast<TRRPrimitiveDesc*>(this)->Sub(); }

void TRRPrimitiveDesc::LoadFromStream(gx::TGXStream& s) {
  TRREntityDescription::LoadFromStream(s);
  const int32_t version = gx::ReadInteger(s);
  if (version < 1 || version > RRPrimitiveDescVersion) throw EUnknownEntityDescription();
  const uint8_t type = UsableType(gx::ReadByte(s));
  if (version >= 3) {
    const TGXVector3 scale = gx::ReadVector3(s);
    TRRMaterialDesc material;
    material.LoadFromStream(s);
    PrimitiveType = type;
    Scale = UsableScale(scale);
    Material = std::move(material);
    TRRMaterialSubDesc& sub = Sub();
    sub.Ambient = sub.Diffuse;
    sub.Specular = sub.Diffuse;
    sub.AlphaTest = true;
    sub.AlphaReference = 15;
    sub.Transparency = true;
    return;
  }
  const TGXVector3 colour = gx::ReadVector3(s);
  TRRAssetFileName texture;
  if (version == 1)
    texture = TRRAssetFileName(gx::ReadWideString(s));
  else
    texture.ReadFromStream(s);
  gx::TGXVector2 scaling;
  scaling.x = gx::ReadSingle(s);
  scaling.y = gx::ReadSingle(s);
  const TGXVector3 scale = gx::ReadVector3(s);
  PrimitiveType = type;
  Scale = UsableScale(scale);
  TRRMaterialSubDesc& sub = Sub();
  SetColour(sub, colour);
  sub.DiffuseMap = std::move(texture);
  sub.TextureScaling = scaling;
}

void TRRPrimitiveDesc::SaveToStream(gx::TGXStream& s) const {
  TRREntityDescription::SaveToStream(s);
  gx::WriteInteger(s, RRPrimitiveDescVersion);
  gx::WriteByte(s, PrimitiveType);
  gx::WriteVector3(s, Scale);
  Material.SaveToStream(s);
}

void TRRPrimitiveDesc::GetPropertyAccess(TRRPropertyAccessList& list) {
  TRREntityDescription::GetPropertyAccess(list);
  list.Add<TRRAssetFileNameAccess>(Sub().DiffuseMap);
}

void TRRPrimitiveDesc::LoadFromPropertyBag(const TRREntityDescription_10& bag, std::string& modelFileName) {
  TRREntityDescription::LoadFromPropertyBag(bag, modelFileName);
  int32_t type = 0;
  bag.GetInteger("PrimitiveType", type);
  PrimitiveType = UsableType(type);
  TGXVector3 colour{1, 1, 1};
  bag.GetVector3("Color", colour);
  std::string texture;
  bag.GetFilename("TextureName", texture);
  gx::TGXVector2 scaling{1, 1};
  bag.GetVector2("TexScaling", scaling);
  TGXVector3 scale{1, 1, 1};
  bag.GetVector3("PrimitiveScale", scale);
  Scale = UsableScale(scale);
  TRRMaterialSubDesc& sub = Sub();
  SetColour(sub, colour);
  sub.DiffuseMap = TRRAssetFileName(texture);
  sub.TextureScaling = scaling;
}

// ---- primitive ----

RR_DEFINE_ENTITY_CLASS(TRRPrimitive, TRREntity)

void TRRPrimitive::RegisterKinds(TRRRegisteredEntityList& list) {
  list.Register(gx::TGXGuid::Parse(RRKindPrimitive), StaticClass(), TRRPrimitiveDesc::StaticClass());
}

TRRPrimitive::TRRPrimitive(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description)
    : TRREntity(parent, manager, description) {
  const auto* d = dynamic_cast<const TRRPrimitiveDesc*>(&description);
  const TRRPrimitiveDesc defaults;
  if (!d) d = &defaults;
  FType = UsableType(d->PrimitiveType);
  FSub = d->Sub();
  FShape = new gx::TGXSceneNode("Primitive", this);
  FShape->SetScale(UsableScale(d->Scale));
  const TRRModelServices* services = TRRModelServices::Get();
  if (!services || !services->Resources) return;
  if (gx::IGXMesh mesh = LoadMesh(*services)) {
    gx::TGXEntity::Create(FShape, std::move(mesh));
    FHasMesh = true;
  }
  FReflections = services->Reflections;
  if (FReflections) FReflections->AddListener(this);
  ApplyMaterial();
}

TRRPrimitive::~TRRPrimitive() {
  BeginDestruction();
  if (FReflections) {
    FReflections->RemoveListener(this);
    FReflections->UnregisterNode(FShape);
  }
}

gx::IGXMesh TRRPrimitive::LoadMesh(const TRRModelServices& services) const {
  const TRRPrimitiveType& type = kTypes[FType];
  // A program that does not draw has no mesh or model factory: the shape stays empty, unreported.
  if (!services.CanMake(type.ModelFile ? gx::IID_IGXModel : gx::IID_IGXMesh)) return nullptr;
  const TRRAssetFileName file(type.File);
  try {
    if (!type.ModelFile) return LoadResource<gx::TGXMesh>(services, type.File);
    gx::IGXModel model = LoadResource<gx::TGXModel>(services, type.File);
    if (gx::IGXMesh mesh = FirstMesh(model->GetTemplate())) return mesh;
    services.Report(file, std::make_exception_ptr(gx::EGXException(
                              {gx::TGXExceptionArg::Object("TRRPrimitive"), "Create", "Das Modell enthält kein Netz."})));
  } catch (...) {
    services.Report(file, std::current_exception());
  }
  return nullptr;
}

void TRRPrimitive::ApplyMaterial() {
  if (!FHasMesh) return;
  gx::IGXMaterial material = TRRMaterialGenerator::MakeMaterial(FSub, FShape);
  for (gx::TGXSceneObject* object : FShape->Objects())
    if (auto* entity = dynamic_cast<gx::TGXEntity*>(object))
      for (int i = 0; i < entity->SubEntityCount(); ++i) entity->SubEntity(i)->SetMaterial(material);
}

void TRRPrimitive::ReflectionSettingsChanged() { ApplyMaterial(); }

std::unique_ptr<TRREntityDescription> TRRPrimitive::CreateDescription() const {
  std::unique_ptr<TRREntityDescription> base = TRREntity::CreateDescription();
  if (auto* d = dynamic_cast<TRRPrimitiveDesc*>(base.get())) {
    d->PrimitiveType = FType;
    d->Scale = PrimitiveScale();
    d->Sub() = FSub;
  }
  return base;
}

TGXVector3 TRRPrimitive::PrimitiveScale() const { return FShape->Scale(); }

void TRRPrimitive::SetPrimitiveScale(const TGXVector3& scale) {
  if (!gx::GXIsFinite(scale)) return;
  FShape->SetScale(scale);
  ApplyMaterial();
}

void TRRPrimitive::SetColor(const TGXVector3& color) {
  if (!gx::GXIsFinite(color) || (FSub.Diffuse == color && FSub.Ambient == color && FSub.Specular == color)) return;
  SetColour(FSub, color);
  ApplyMaterial();
}

void TRRPrimitive::SetOpacity(float opacity) {
  if (!std::isfinite(opacity)) return;
  FSub.Opacity = opacity;
  ApplyMaterial();
}

void TRRPrimitive::SetReflectionStrength(float strength) {
  if (!std::isfinite(strength)) return;
  FSub.ReflectionStrength = strength;
  FSub.ReflectionMode = strength == 0 ? uint8_t(RRReflectionNone) : kTypes[FType].ReflectionMode;
  ApplyMaterial();
}

void TRRPrimitive::SetTexture(const TRRAssetFileName& texture) {
  if (FSub.DiffuseMap.FileName == texture.FileName && FSub.DiffuseMap.RelativeName == texture.RelativeName) return;
  FSub.DiffuseMap = texture;
  ApplyMaterial();
}

}  // namespace rr
