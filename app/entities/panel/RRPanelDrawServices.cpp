// The engine's draw services for panels: device and vertex layouts of the current render core,
// effects and textures through the engine's resource manager, the board's material from the
// material generator. An effect or texture that cannot be had is reported once per file and
// then not tried again while the services live.

#include <mutex>
#include <set>
#include <utility>

#include "app/RRMaterial.h"
#include "app/RRModelServices.h"
#include "app/entities/panel/RRPanelPartition.h"
#include "app/entities/panel/RRPanelTexture.h"
#include "engine/core/GXEngine.h"
#include "engine/core/GXException.h"
#include "engine/render/GXEffect.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXVertexLayout.h"

namespace rr {

namespace {

struct TFailures {
  std::set<std::string> Files;
  // True the first time a file fails.
  bool First(const std::string& file) { return Files.insert(file).second; }
};

void Report(const std::string& file, std::exception_ptr error) {
  if (const TRRModelServices* services = TRRModelServices::Get()) {
    services->Report(TRRAssetFileName(file), error);
  }
}

std::shared_ptr<TRRPanelDrawServices>& InstalledServices() {
  static std::shared_ptr<TRRPanelDrawServices> installed;
  return installed;
}

}  // namespace

TRRPanelDrawServicesScope::TRRPanelDrawServicesScope(std::shared_ptr<TRRPanelDrawServices> services)
    : FPrevious(std::exchange(InstalledServices(), std::move(services))) {}

TRRPanelDrawServicesScope::~TRRPanelDrawServicesScope() { InstalledServices() = std::move(FPrevious); }

std::shared_ptr<TRRPanelDrawServices> RRPanelEngineDrawServices() {
  if (InstalledServices()) return InstalledServices();
  gx::TGXRenderCore* core = gx::GXCurrentRenderCore();
  gx::TGXEngine* engine = gx::Engine();
  if (!core || !engine) return nullptr;
  auto services = std::make_shared<TRRPanelDrawServices>();
  auto failures = std::make_shared<TFailures>();
  services->Device = &core->Device();
  services->DeviceEvents = &core->DeviceCallbacks();
  services->Layout = [core](int kind) {
    gx::TGXVertexLayoutDecl decl;
    decl.AddElement(0, gx::GXDeclFloat3, gx::GXUsagePosition, 0);
    decl.AddElement(0, gx::GXDeclFloat3, gx::GXUsageNormal, 0);
    if (kind == TRRPanelDrawServices::LayoutSurface) decl.AddElement(1, gx::GXDeclColor, gx::GXUsageColor, 0);
    if (kind == TRRPanelDrawServices::LayoutBase)
      decl.AddElement(0, gx::GXDeclFloat2, gx::GXUsageTexCoord, 0);
    return core->VertexLayouts().GetLayout(decl);
  };
  services->MakeMaterial = [failures](const std::string& name,
                                      const std::string& effectFile) -> gx::IGXMaterial {
    if (failures->Files.count(effectFile)) return nullptr;
    try {
      gx::IGXEffect effect = gx::Engine()->ResourceManager().Get<gx::TGXEffect>(effectFile);
      effect->Load();
      if (!effect->IsLoaded())
        throw gx::EGXException({gx::TGXExceptionArg::Object("TGXEffect"), "Load", effect->LoadError()});
      gx::IGXMaterial material = gx::Engine()->ResourceManager().Get<gx::TGXMaterial>(name, true, true);
      material->SetEffect(effect);
      material->Load();
      return material;
    } catch (...) {
      if (failures->First(effectFile)) Report(effectFile, std::current_exception());
      return nullptr;
    }
  };
  services->LoadTexture = [failures](const std::string& file) -> gx::IGXTexture {
    if (failures->Files.count(file)) return nullptr;
    try {
      gx::IGXTexture texture = gx::Engine()->ResourceManager().Get<gx::TGXTexture>(file);
      texture->Load();
      if (!texture->IsLoaded())
        throw gx::EGXException({gx::TGXExceptionArg::Object("TGXTexture"), "Load", texture->LoadError()});
      return texture;
    } catch (...) {
      if (failures->First(file)) Report(file, std::current_exception());
      return nullptr;
    }
  };
  services->BaseMaterial = [](const std::string& diffuseMap, bool twoSided) -> gx::IGXMaterial {
    TRRMaterialSubDesc sub;
    sub.TwoSided = twoSided;
    const TRRAssetFileName wood = RRPanelDefaultTexture();
    sub.DiffuseMap = diffuseMap.empty() || diffuseMap == wood.EffectiveFileName()
                         ? wood
                         : TRRAssetFileName(diffuseMap, "");
    sub.DepthBias = 0.00001f;
    return TRRMaterialGenerator::MakeMaterial(sub);
  };
  return services;
}

}  // namespace rr
