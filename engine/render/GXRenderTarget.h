#pragma once
// TGXRenderTarget: something the renderer draws into - a colour surface, an optional depth
// surface, a size in pixels and the viewports that show scenes on it. Targets form a tree: a
// target holds its children and renders them before its own viewports (a render texture a
// window's view samples is drawn first). Windows and render textures derive from it and supply
// the surfaces; while a render core lives, every target is on its device-callback list and gives
// its surfaces up when the device is lost.

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/GXRefCounted.h"
#include "engine/render/GXRenderDevice.h"
#include "engine/render/GXViewport.h"

namespace gx {

class TGXRenderer;

class TGXRenderTarget : public TGXRefCounted, public IGXDeviceCallback {
 public:
  explicit TGXRenderTarget(uint32_t width = 0, uint32_t height = 0);
  // Appends the new target to the parent's children (the parent holds it from then on).
  TGXRenderTarget(TGXRenderTarget* parent, uint32_t width, uint32_t height);

  TGXRenderTarget* Parent() const { return FParent; }
  int ChildCount() const { return static_cast<int>(FChildren.size()); }
  TGXRenderTarget* Child(int index) const { return FChildren.at(index).Get(); }
  // Moves the target under another parent (null: none), after its children. A target cannot
  // become its own descendant (EInvalidParameter).
  void SetParent(TGXRenderTarget* parent);

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

  // Renders every child target in order, then every enabled viewport in order.
  virtual void Render(TGXRenderer& renderer);

  // Releases the colour and depth surfaces.
  void OnDeviceLost() override;
  void OnDeviceReset() override {}

 protected:
  // Destroys its children and viewports, last first.
  ~TGXRenderTarget() override;

 private:
  TGXRenderTarget* FParent = nullptr;
  std::vector<TGXRef<TGXRenderTarget>> FChildren;
  uint32_t FWidth, FHeight;
  TGXRef<TGXDeviceSurface> FColorSurface;
  TGXRef<TGXDeviceSurface> FDepthSurface;
  std::vector<std::unique_ptr<TGXViewport>> FViewports;
};

}  // namespace gx
