#pragma once
// TGXRenderTarget: something the renderer draws into - a colour surface, an optional depth
// surface, a size in pixels and the viewports that show scenes on it. This is the part the
// renderer needs; windows and render textures derive from it and supply the surfaces.

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/GXRefCounted.h"
#include "engine/render/GXRenderDevice.h"
#include "engine/render/GXViewport.h"

namespace gx {

class TGXRenderer;

class TGXRenderTarget : public TGXRefCounted {
 public:
  explicit TGXRenderTarget(uint32_t width = 0, uint32_t height = 0) : FWidth(width), FHeight(height) {}

  uint32_t Width() const { return FWidth; }
  uint32_t Height() const { return FHeight; }
  // Stores the size and recomputes every viewport's pixel rectangle.
  void SetSize(uint32_t width, uint32_t height);

  TGXDeviceSurface* ColorSurface() const { return FColorSurface.Get(); }
  // Null when the target draws without depth buffer.
  TGXDeviceSurface* DepthSurface() const { return FDepthSurface.Get(); }
  void SetSurfaces(TGXRef<TGXDeviceSurface> color, TGXRef<TGXDeviceSurface> depth);

  // A new viewport owned by the target, after the existing ones.
  TGXViewport* AddViewport(float left, float top, float width, float height);
  int ViewportCount() const { return static_cast<int>(FViewports.size()); }
  TGXViewport* Viewport(int index) const { return FViewports.at(index).get(); }
  // False when the viewport is not one of this target's; otherwise it is freed.
  bool RemoveViewport(TGXViewport* viewport);

  // Renders every enabled viewport in order.
  virtual void Render(TGXRenderer& renderer);

 protected:
  ~TGXRenderTarget() override;

 private:
  uint32_t FWidth, FHeight;
  TGXRef<TGXDeviceSurface> FColorSurface;
  TGXRef<TGXDeviceSurface> FDepthSurface;
  std::vector<std::unique_ptr<TGXViewport>> FViewports;
};

}  // namespace gx
