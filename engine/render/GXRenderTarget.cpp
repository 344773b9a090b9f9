#include "engine/render/GXRenderTarget.h"

#include "engine/render/GXRenderer.h"

namespace gx {

TGXRenderTarget::~TGXRenderTarget() {
  // Last first, as they were created.
  while (!FViewports.empty()) FViewports.pop_back();
}

void TGXRenderTarget::SetSize(uint32_t width, uint32_t height) {
  FWidth = width;
  FHeight = height;
  for (auto& viewport : FViewports) viewport->UpdateRect();
}

void TGXRenderTarget::SetSurfaces(TGXRef<TGXDeviceSurface> color, TGXRef<TGXDeviceSurface> depth) {
  FColorSurface = std::move(color);
  FDepthSurface = std::move(depth);
}

TGXViewport* TGXRenderTarget::AddViewport(float left, float top, float width, float height) {
  FViewports.push_back(std::unique_ptr<TGXViewport>(new TGXViewport(this, left, top, width, height)));
  return FViewports.back().get();
}

bool TGXRenderTarget::RemoveViewport(TGXViewport* viewport) {
  for (auto it = FViewports.begin(); it != FViewports.end(); ++it)
    if (it->get() == viewport) {
      FViewports.erase(it);
      return true;
    }
  return false;
}

void TGXRenderTarget::Render(TGXRenderer& renderer) {
  // By index: rendering may not add viewports, but must not read freed memory if it does.
  for (size_t i = 0; i < FViewports.size(); ++i)
    if (FViewports[i]->Enabled()) renderer.Render(*FViewports[i]);
}

}  // namespace gx
