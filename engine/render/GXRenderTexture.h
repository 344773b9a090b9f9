#pragma once
// Render textures: targets whose colour surface is level 0 of a texture, so that what is drawn
// into them can be sampled afterwards (reflections, environment maps). The texture is a unique,
// manual texture resource named "RenderTexture" (format X8R8G8B8, one level, render-target usage,
// default pool); it is given up when the device is lost and made anew on reset. A cube render
// texture draws into one face at a time.

#include <cstdint>

#include "engine/render/GXRenderTarget.h"
#include "engine/render/GXTexture.h"

namespace gx {

class TGXRenderTexture : public TGXRenderTarget {
 public:
  // Needs a live render core. With depth the target gets a depth surface of its size (D24X8).
  TGXRenderTexture(uint32_t width, uint32_t height, bool depth = false);
  const IGXTexture& Texture() const { return FTexture; }
  // Renders with the render core's renderer.
  void RenderAll();
  void OnDeviceLost() override;
  void OnDeviceReset() override;

 private:
  void Create();
  bool FDepth;
  IGXTexture FTexture;
};

class TGXCubeRenderTexture : public TGXRenderTarget {
 public:
  // Six faces of edge length x edge length.
  explicit TGXCubeRenderTexture(uint32_t edgeLength, bool depth = false);
  const IGXCubeTexture& Texture() const { return FTexture; }
  // Makes level 0 of the face (0 +x, 1 -x, 2 +y, 3 -y, 4 +z, 5 -z) the colour surface.
  void SelectFace(uint32_t face);
  uint32_t Face() const { return FFace; }
  void RenderAll();
  void OnDeviceLost() override;
  void OnDeviceReset() override;

 private:
  void Create();
  bool FDepth;
  uint32_t FFace = 0;
  IGXCubeTexture FTexture;
};

}  // namespace gx
