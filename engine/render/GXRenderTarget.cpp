#include "engine/render/GXRenderTarget.h"

#include "engine/core/GXException.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderer.h"

namespace gx {

TGXRenderTarget::TGXRenderTarget(uint32_t width, uint32_t height) : FWidth(width), FHeight(height) {
  if (TGXRenderCore* core = GXCurrentRenderCore()) core->RegisterDeviceCallback(this);
}

TGXRenderTarget::TGXRenderTarget(TGXRenderTarget* parent, uint32_t width, uint32_t height)
    : TGXRenderTarget(width, height) {
  // The parent's reference is taken before the caller's, so the count must not reach zero here.
  if (parent) {
    FParent = parent;
    parent->FChildren.push_back(TGXRef<TGXRenderTarget>(this));
  }
}

TGXRenderTarget::~TGXRenderTarget() {
  if (TGXRenderCore* core = GXCurrentRenderCore()) core->UnregisterDeviceCallback(this);
  // Last first, as they were created.
  while (!FChildren.empty()) {
    FChildren.back()->FParent = nullptr;
    FChildren.pop_back();
  }
  while (!FViewports.empty()) FViewports.pop_back();
}

void TGXRenderTarget::SetParent(TGXRenderTarget* parent) {
  if (parent == FParent) return;
  for (TGXRenderTarget* p = parent; p; p = p->FParent)
    if (p == this)
      throw EInvalidParameter({TGXExceptionArg::Object("TGXRenderTarget"), "SetParent", "Target below itself"});
  TGXRef<TGXRenderTarget> keep(this);
  if (FParent) {
    auto& siblings = FParent->FChildren;
    for (auto it = siblings.begin(); it != siblings.end(); ++it)
      if (it->Get() == this) {
        siblings.erase(it);
        break;
      }
  }
  FParent = parent;
  if (parent) parent->FChildren.push_back(keep);
}

void TGXRenderTarget::OnDeviceLost() {
  FColorSurface.Reset();
  FDepthSurface.Reset();
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
  for (size_t i = 0; i < FChildren.size(); ++i) {
    TGXRef<TGXRenderTarget> child = FChildren[i];  // rendering must not free it under us
    child->Render(renderer);
  }
  // By index: rendering may not add viewports, but must not read freed memory if it does.
  for (size_t i = 0; i < FViewports.size(); ++i)
    if (FViewports[i]->Enabled()) renderer.Render(*FViewports[i]);
}

}  // namespace gx
