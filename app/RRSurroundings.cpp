#include "app/RRSurroundings.h"

#include "app/RRMaterial.h"
#include "app/RRModelServices.h"
#include "engine/core/GXEngine.h"
#include "engine/render/GXEffect.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXTexture.h"
#include "engine/render/GXVertexLayout.h"

namespace rr {

gx::TGXVertexLayoutDecl RRColorVertexLayout(bool texCoord) {
  gx::TGXVertexLayoutDecl decl;
  decl.AddElement(0, gx::GXDeclFloat3, gx::GXUsagePosition, 0);
  decl.AddElement(0, gx::GXDeclColor, gx::GXUsageColor, 0);
  if (texCoord) decl.AddElement(0, gx::GXDeclFloat2, gx::GXUsageTexCoord, 0);
  return decl;
}

bool RRMakeColorGeometry(const void* vertices, uint32_t count, uint32_t stride, bool texCoord,
                         const std::vector<uint16_t>& indices, gx::TGXRenderPrimitive& primitive) {
  gx::TGXRenderCore* core = gx::GXCurrentRenderCore();
  if (!core || count == 0 || indices.empty()) return false;
  const gx::TGXVertexLayoutDecl decl = RRColorVertexLayout(texCoord);
  gx::TGXRenderDevice& device = core->Device();
  const uint32_t vertexBytes = count * stride;
  const uint32_t indexBytes = uint32_t(indices.size() * sizeof(uint16_t));
  gx::TGXRef<gx::TGXDeviceVertexBuffer> vb = device.CreateVertexBuffer(vertexBytes);
  gx::TGXRef<gx::TGXDeviceIndexBuffer> ib = device.CreateIndexBuffer(indexBytes, gx::GXFormatIndex16);
  if (!vb || !ib || !device.WriteVertexBuffer(vb.Get(), 0, vertices, vertexBytes) ||
      !device.WriteIndexBuffer(ib.Get(), 0, indices.data(), indexBytes))
    return false;
  gx::TGXVertexGeometry v;
  v.FirstVertex = 0;
  v.VertexCount = count;
  v.Layout = core->VertexLayouts().GetLayout(decl);
  v.Buffers = {vb};
  v.Strides = {stride};
  gx::TGXIndexGeometry i;
  i.FirstIndex = 0;
  i.IndexCount = uint32_t(indices.size());
  i.Buffer = ib;
  primitive.VertexGeometry = std::move(v);
  primitive.IndexGeometry = std::move(i);
  primitive.PrimitiveType = gx::GXTriangleList;
  return true;
}

gx::IGXMaterial RRMakeSurroundingsMaterial(const char* name, bool unique, const char* effectFile,
                                           const std::vector<std::pair<std::string, std::string>>& textures) {
  const TRRModelServices* services = TRRModelServices::Get();
  gx::TGXResourceManager* resources = services && services->Resources
                                          ? services->Resources
                                          : (gx::Engine() ? &gx::Engine()->ResourceManager() : nullptr);
  if (!resources) return nullptr;
  try {
    gx::IGXEffect effect = resources->Get<gx::TGXEffect>(effectFile);
    if (effect->IsUnloaded() && services)
      effect->SetDataLoader(services->MakeLoader(TRRAssetFileName(effectFile)));
    effect->Load();
    if (!effect->IsLoaded()) {
      if (services) services->Report(TRRAssetFileName(effectFile), nullptr);
      return nullptr;
    }
    gx::IGXMaterial material = resources->Get<gx::TGXMaterial>(name, unique, true);
    if (material->IsLoaded()) return material;
    if (!material->IsUnloaded()) return nullptr;
    material->SetEffect(effect);
    material->Load();
    if (!material->IsLoaded()) return nullptr;
    for (const auto& [parameter, file] : textures)
      if (gx::TGXEffectTextureSource* source = material->FindTexture(parameter)) {
        try {
          source->SetTexture(TRRMaterialGenerator::MakeTexture(TRRAssetFileName(file)));
        } catch (...) {
          if (services) services->Report(TRRAssetFileName(file), std::current_exception());
        }
      }
    return material;
  } catch (...) {
    if (services) services->Report(TRRAssetFileName(effectFile), std::current_exception());
    return nullptr;
  }
}

void RRSetSkyColor(gx::TGXMaterial& material, const gx::TGXVector4& colour) {
  if (gx::TGXEffectValueSource* v = material.FindValue("SkyColor"))
    v->SetFloats({colour.x, colour.y, colour.z, colour.w});
}

}  // namespace rr
