#include "engine/render/GXRenderWindow.h"

#include "engine/core/GXException.h"

namespace gx {

namespace {
// The window that runs the lost/reset protocol, while it lives.
TGXRenderWindow* GPrimaryWindow = nullptr;

TGXRenderCore& CoreFor(const char* operation) {
  TGXRenderCore* core = GXCurrentRenderCore();
  if (!core) throw EInvalidCall({TGXExceptionArg::Object("TGXRenderWindow"), operation, "No render core"});
  return *core;
}
}  // namespace

bool TGXOffscreenSurface::Present(TGXGLRenderDevice& device, TGXDeviceSurface* color) {
  if (color) FFrame = device.ReadPixels(color);
  ++FPresents;
  return true;
}

TGXPresentParameters GXInitPresentParameters(const TGXRenderAdapter* adapter, uint32_t multiSampleType, bool vsync,
                                             bool depthBuffer) {
  TGXPresentParameters p;
  if (!adapter)
    if (TGXRenderCore* core = GXCurrentRenderCore()) adapter = &core->Adapter();
  p.Adapter = adapter;
  p.BackBufferCount = 1;
  p.MultiSampleType = multiSampleType;
  p.SwapEffect = 1;
  p.Windowed = true;
  p.EnableAutoDepthStencil = depthBuffer;
  p.PresentationInterval = vsync ? GXPresentIntervalOne : GXPresentIntervalImmediate;
  return p;
}

void GXUpdatePresentParameters(TGXPresentParameters& p, TGXRenderSurface* window) {
  if (!p.Windowed) return;
  const TGXRenderAdapterSettings* settings =
      p.Adapter ? p.Adapter->FindSettings(TGXRenderAdapter::DisplayFormat, true) : nullptr;
  if (!settings) throw EGXException({"TGXPresentParameters", "UpdateD3DParameters"});
  p.BackBufferWidth = 0;
  p.BackBufferHeight = 0;
  p.BackBufferFormat = settings->Format;
  p.DeviceWindow = window;
  if (p.EnableAutoDepthStencil) {
    if (settings->DepthFormats.empty()) throw EGXException({"TGXPresentParameters", "UpdateD3DParameters"});
    p.AutoDepthStencilFormat = settings->DepthFormats.front();
  }
}

TGXRenderWindow::TGXRenderWindow(TGXRenderSurface* surface, const TGXPresentParameters* parameters)
    : FSurface(surface) {
  if (!surface) throw EInvalidParameter({TGXExceptionArg::Object("TGXRenderWindow"), "Create", "No surface"});
  TGXRenderCore& core = CoreFor("Create");
  FPrimary = GPrimaryWindow == nullptr;
  if (FPrimary) GPrimaryWindow = this;
  try {
    FParameters = GXInitPresentParameters(&core.Adapter(), 0, true, true);
    SetPresentParameters(parameters ? *parameters : FParameters);
  } catch (...) {
    if (GPrimaryWindow == this) GPrimaryWindow = nullptr;
    throw;
  }
}

TGXRenderWindow::~TGXRenderWindow() {
  if (GPrimaryWindow == this) GPrimaryWindow = nullptr;
}

void TGXRenderWindow::CreateSurfaces() {
  TGXGLRenderDevice& device = CoreFor("OnDeviceReset").Device();
  const uint32_t width = std::max(1u, FSurface->ClientWidth()), height = std::max(1u, FSurface->ClientHeight());
  // The primary window's back buffer stands for the device's own, a secondary one's for the back
  // buffer of its swap chain; the failure texts say which.
  auto fail = [](const char* reason, const EGXException& e) {
    throw EDirect3D({TGXExceptionArg::Object("TGXRenderWindow"), "OnDeviceReset", reason, e.what()});
  };
  TGXRef<TGXDeviceSurface> color, depth;
  // Antialiasing draws into multisampled surfaces; a sample count the adapter does not offer is none.
  uint32_t samples = 0;
  if (const TGXRenderAdapter* adapter = FParameters.Adapter)
    for (uint32_t offered : adapter->MultiSampleTypes)
      if (offered == FParameters.MultiSampleType) samples = offered;
  try {
    color = device.CreateMultisampledSurface(width, height, FParameters.BackBufferFormat, false, samples);
  } catch (const EGXException& e) {
    fail(FPrimary ? "GetRenderTarget failed" : "GetBackBuffer failed", e);
  }
  if (FParameters.EnableAutoDepthStencil) {
    try {
      depth = device.CreateMultisampledSurface(width, height, FParameters.AutoDepthStencilFormat, true, samples);
    } catch (const EGXException& e) {
      fail(FPrimary ? "GetDepthStencilSurface failed" : "CreateDepthStencilSurface failed", e);
    }
  }
  SetSurfaces(std::move(color), std::move(depth));
}

void TGXRenderWindow::SetPresentParameters(const TGXPresentParameters& parameters) {
  FParameters = parameters;
  if (!FParameters.Adapter) FParameters.Adapter = &CoreFor("SetPresentParameters").Adapter();
  GXUpdatePresentParameters(FParameters, FSurface);
  TGXRenderCore& core = CoreFor("SetPresentParameters");
  if (FPrimary) {
    // A reset tells every registered object, this window among them.
    core.LoseDevice();
    core.ResetDevice();
    if (!ColorSurface()) CreateSurfaces();
  } else {
    OnDeviceLost();
    OnDeviceReset();
  }
  SetSize(0, 0);  // forces UpdateSize to take the client size
  FUpdating = true;
  UpdateSize();
  FUpdating = false;
}

void TGXRenderWindow::UpdateSize() {
  if (FSurface->Minimised()) return;
  const uint32_t width = FSurface->ClientWidth(), height = FSurface->ClientHeight();
  if (width == Width() && height == Height()) return;
  SetSize(width, height);
  if (!FUpdating) SetPresentParameters(FParameters);
}

bool TGXRenderWindow::HandleMessage(uint32_t message, uintptr_t, intptr_t) {
  switch (message) {
    case 3:  // move
    case 5:  // size
      if (!FInSizeMove) UpdateSize();
      return true;
    case 16:  // close: the user does not close a render window
      return true;
    case 36:  // min/max query: any size down to 1 x 1 will do
      return true;
    case 561:
      FInSizeMove = true;
      return false;
    case 562:
      UpdateSize();
      FInSizeMove = false;
      return false;
  }
  return false;
}

void TGXRenderWindow::Render(TGXRenderer& renderer) {
  TGXRenderCore& core = CoreFor("Render");
  if (core.Device().Lost()) {
    if (FPrimary) core.ResetDevice();
    return;
  }
  TGXRenderTarget::Render(renderer);
  if (!FSurface->Present(core.Device(), ColorSurface())) core.LoseDevice();
}

void TGXRenderWindow::RenderAll() { Render(CoreFor("RenderAll").Renderer()); }

void TGXRenderWindow::OnDeviceReset() {
  CreateSurfaces();
  // The primary window brings the texture filtering of the adapter's chosen level back.
  if (FPrimary && FParameters.Adapter) {
    const TGXRenderAdapter& adapter = *FParameters.Adapter;
    GX_ASSERT(adapter.FilterLevel >= 0 && size_t(adapter.FilterLevel) < adapter.FilterLevels.size());
    CoreFor("OnDeviceReset").Device().SetFilterLevel(adapter.FilterLevels[size_t(adapter.FilterLevel)]);
  }
}

}  // namespace gx
