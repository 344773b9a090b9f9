#include "engine/render/GXRenderCore.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "engine/core/GXException.h"
#include "engine/render/GXMaterial.h"
#include "engine/render/GXMesh.h"
#include "engine/render/GXModel.h"
#include "engine/render/GXTexture.h"

namespace gx {

namespace {
TGXRenderCore* GCurrentRenderCore = nullptr;

// A software rasteriser allocates its per-frame command memory afresh for every frame and frees
// it at the frame's end. With the allocator's default threshold that memory goes back to the
// system at once and every frame faults it in again page by page, which costs more than drawing
// thousands of small meshes. Keeping up to 32 MiB of freed heap top avoids the round trip; the
// memory stays reusable by the process. Set once per process, before the first context exists.
void KeepFrameMemory() {
#if defined(__GLIBC__)
  static std::once_flag once;
  std::call_once(once, [] { mallopt(M_TRIM_THRESHOLD, 32 * 1024 * 1024); });
#endif
}
}  // namespace

TGXRenderCore* GXCurrentRenderCore() { return GCurrentRenderCore; }

// ---- device callbacks ----

void TGXD3DDeviceCallback::Register(IGXDeviceCallback* object) {
  if (object && !Registered(object)) FObjects.push_back(object);
}

void TGXD3DDeviceCallback::Unregister(IGXDeviceCallback* object) {
  std::erase(FObjects, object);
}

bool TGXD3DDeviceCallback::Registered(IGXDeviceCallback* object) const {
  return std::find(FObjects.begin(), FObjects.end(), object) != FObjects.end();
}

void TGXD3DDeviceCallback::Notify(bool lost) {
  const std::vector<IGXDeviceCallback*> copy = FObjects;
  for (IGXDeviceCallback* object : copy) {
    if (!Registered(object)) continue;
    if (lost)
      object->OnDeviceLost();
    else
      object->OnDeviceReset();
  }
}

void TGXD3DDeviceCallback::NotifyLost() { Notify(true); }
void TGXD3DDeviceCallback::NotifyReset() { Notify(false); }

std::vector<TGXTextureFilterLevel> GXFilterLevels(bool anisotropic, float maxAnisotropy) {
  // GL always filters linearly, also between mip levels; only anisotropy depends on the adapter.
  std::vector<TGXTextureFilterLevel> levels;
  levels.push_back({2, 2, 1, 1});
  const uint32_t maxAniso = anisotropic ? static_cast<uint32_t>(std::max(1.0f, std::floor(maxAnisotropy))) : 1;
  const uint32_t filter = anisotropic ? 3 : 2;
  levels.push_back({filter, filter, 2, std::min<uint32_t>(2, maxAniso)});
  if (maxAniso > 2) levels.push_back({filter, filter, 2, maxAniso});
  return levels;
}

uint32_t TGXRenderAdapter::BestDepthFormat() const {
  for (uint32_t format : {uint32_t(GXFormatD32), uint32_t(GXFormatD24X8), uint32_t(GXFormatD16)})
    if (std::find(DepthFormats.begin(), DepthFormats.end(), format) != DepthFormats.end()) return format;
  return 0;
}

const TGXRenderAdapterSettings* TGXRenderAdapter::FindSettings(uint32_t format, bool windowed) const {
  if (format == 0 && windowed) format = DisplayFormat;
  for (const TGXRenderAdapterSettings& s : Settings)
    if (s.Format == format && s.Windowed == windowed) return &s;
  return nullptr;
}

uint32_t TGXRenderAdapter::BestDepthFormat(uint32_t format) const {
  for (const TGXRenderAdapterSettings& s : Settings)
    if (s.Format == format && !s.DepthFormats.empty()) return s.DepthFormats.front();
  return 0;
}

TGXRenderCore::TGXRenderCore(TGXResourceManager* manager) {
  KeepFrameMemory();
  std::unique_ptr<TGXGLContext> context;
  try {
    context = TGXGLContext::CreateSurfaceless();
  } catch (const EDirect3D& e) {
    throw EDirect3D({TGXExceptionArg::Object("TGXRenderCore"), "Create", "No compatible graphic cards found",
                     e.what()});
  }
  FAdapter.Info = context->ReadInfo();
  const TGXGLInfo& info = FAdapter.Info;
  if (info.MajorVersion * 10 + info.MinorVersion < 33)
    throw EDirect3D({TGXExceptionArg::Object("TGXRenderCore"), "Create", "No compatible graphic cards found",
                     info.Version});
  FAdapter.ColorFormats = {GXFormatX8R8G8B8, GXFormatR5G6B5, GXFormatX1R5G5B5};
  FAdapter.DepthFormats = {GXFormatD32, GXFormatD24X8, GXFormatD16};
  FAdapter.MultiSampleTypes.push_back(0);
  for (int samples = 2; samples <= std::min(info.MaxSamples, 16); ++samples)
    FAdapter.MultiSampleTypes.push_back(static_cast<uint32_t>(samples));
  FAdapter.FilterLevels = GXFilterLevels(info.Anisotropic, info.MaxAnisotropy);
  // Framebuffer objects take every colour format with every depth format; full-screen modes
  // belong to the window system, which the surfaceless context has none of.
  for (uint32_t format : FAdapter.ColorFormats)
    for (bool windowed : {false, true})
      FAdapter.Settings.push_back({format, windowed, FAdapter.DepthFormats, FAdapter.MultiSampleTypes});
  FDevice = std::make_unique<TGXGLRenderDevice>(std::move(context));
  FEffectParameters = std::make_unique<TGXEffectParameterManager>();
  FRenderer = std::make_unique<TGXRenderer>(*FDevice, *FEffectParameters);
  FVertexLayouts = std::make_unique<TGXVertexLayoutFactory>(
      [device = FDevice.get()](std::span<const TGXVertexElement> elements) {
        return device->CreateVertexDeclaration(elements);
      });
  if (!manager && Engine()) manager = &Engine()->ResourceManager();
  FEffectFactory = std::make_unique<TGXEffectFactory>(manager);
  FMaterialFactory = std::make_unique<TGXMaterialFactory>(manager);
  FTextureFactory = std::make_unique<TGXTextureFactory>(manager);
  FCubeTextureFactory = std::make_unique<TGXCubeTextureFactory>(manager);
  FMeshFactory = std::make_unique<TGXMeshFactory>(manager);
  FModelFactory = std::make_unique<TGXModelFactory>(manager);
  GXRegisterModelImporters();
  GCurrentRenderCore = this;
}

TGXRenderCore::~TGXRenderCore() {
  if (GCurrentRenderCore == this) GCurrentRenderCore = nullptr;
  FModelFactory.reset();
  FMeshFactory.reset();
  FCubeTextureFactory.reset();
  FTextureFactory.reset();
  FMaterialFactory.reset();
  FEffectFactory.reset();
  FRenderer.reset();
  FEffectParameters.reset();
  FVertexLayouts.reset();
  FDevice.reset();
}

void TGXRenderCore::LoseDevice() {
  if (FDevice->Lost()) return;
  FDevice->SetLost(true);
  FRenderer->DeviceLost();
  FDeviceCallbacks.NotifyLost();
}

void TGXRenderCore::ResetDevice() {
  if (!FDevice->Lost()) return;
  FDeviceCallbacks.NotifyReset();
  FDevice->SetLost(false);
}

}  // namespace gx
