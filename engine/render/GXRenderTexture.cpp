#include "engine/render/GXRenderTexture.h"

#include "engine/core/GXEngine.h"
#include "engine/core/GXException.h"
#include "engine/render/GXRenderCore.h"

namespace gx {

namespace {

TGXRenderCore& CoreFor(const char* object) {
  TGXRenderCore* core = GXCurrentRenderCore();
  if (!core) throw EInvalidCall({TGXExceptionArg::Object(object), "Create", "No render core"});
  return *core;
}

// A unique manual resource: from the engine's manager when there is one, else made directly.
template <class T>
TGXRef<T> UniqueResource() {
  if (TGXEngine* engine = Engine()) return engine->ResourceManager().Get<T>("RenderTexture", true, true);
  return MakeRef<T>(nullptr, "RenderTexture", true);
}

}  // namespace

// ---- render texture ----

TGXRenderTexture::TGXRenderTexture(uint32_t width, uint32_t height, bool depth)
    : TGXRenderTarget(width, height), FDepth(depth) {
  CoreFor("TGXRenderTexture");
  Create();
}

void TGXRenderTexture::Create() {
  TGXGLRenderDevice& device = CoreFor("TGXRenderTexture").Device();
  FTexture = UniqueResource<TGXTexture>();
  FTexture->SetWidth(Width());
  FTexture->SetHeight(Height());
  FTexture->SetLevels(1);
  FTexture->SetUsage(GXUsageRenderTarget);
  FTexture->SetFormat(GXFormatX8R8G8B8);
  FTexture->SetPool(GXPoolDefault);
  FTexture->Load();
  SetSurfaces(device.CreateTextureSurface(FTexture->GetDeviceTexture(), 0),
              FDepth ? device.CreateDepthStencilSurface(Width(), Height(), GXFormatD24X8) : nullptr);
}

void TGXRenderTexture::RenderAll() { Render(CoreFor("TGXRenderTexture").Renderer()); }

void TGXRenderTexture::OnDeviceLost() {
  TGXRenderTarget::OnDeviceLost();
  if (FTexture) FTexture->ReleaseDeviceTexture();
}

void TGXRenderTexture::OnDeviceReset() {
  TGXGLRenderDevice& device = CoreFor("TGXRenderTexture").Device();
  FTexture->Recreate();
  SetSurfaces(device.CreateTextureSurface(FTexture->GetDeviceTexture(), 0),
              FDepth ? device.CreateDepthStencilSurface(Width(), Height(), GXFormatD24X8) : nullptr);
}

// ---- cube render texture ----

TGXCubeRenderTexture::TGXCubeRenderTexture(uint32_t edgeLength, bool depth)
    : TGXRenderTarget(edgeLength, edgeLength), FDepth(depth) {
  CoreFor("TGXCubeRenderTexture");
  Create();
}

void TGXCubeRenderTexture::Create() {
  FTexture = UniqueResource<TGXCubeTexture>();
  FTexture->SetEdgeLength(Width());
  FTexture->SetLevels(1);
  FTexture->SetUsage(GXUsageRenderTarget);
  FTexture->SetFormat(GXFormatX8R8G8B8);
  FTexture->SetPool(GXPoolDefault);
  FTexture->Load();
  SelectFace(FFace);
}

void TGXCubeRenderTexture::SelectFace(uint32_t face) {
  if (face > 5) throw EInvalidParameter({TGXExceptionArg::Object("TGXCubeRenderTexture"), "SelectFace", "No such face"});
  TGXGLRenderDevice& device = CoreFor("TGXCubeRenderTexture").Device();
  FFace = face;
  TGXRef<TGXDeviceSurface> depth(DepthSurface());
  if (FDepth && !depth) depth = device.CreateDepthStencilSurface(Width(), Height(), GXFormatD24X8);
  SetSurfaces(device.CreateTextureSurface(FTexture->GetDeviceTexture(), face), depth);
}

void TGXCubeRenderTexture::RenderAll() { Render(CoreFor("TGXCubeRenderTexture").Renderer()); }

void TGXCubeRenderTexture::OnDeviceLost() {
  TGXRenderTarget::OnDeviceLost();
  if (FTexture) FTexture->ReleaseDeviceTexture();
}

void TGXCubeRenderTexture::OnDeviceReset() {
  FTexture->Recreate();
  SelectFace(FFace);
}

}  // namespace gx
