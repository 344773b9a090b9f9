#pragma once
// TGXViewport: a rectangle of a render target that shows a scene through a camera. The
// rectangle is kept as fractions of the target's size and as the pixel rectangle the device
// draws into; the pixel rectangle follows the target's size.

#include <cstdint>

#include "engine/core/GXMath.h"
#include "engine/core/GXRefCounted.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXRenderDevice.h"

namespace gx {

class TGXRenderTarget;
class TGXScene;

class TGXViewport {
 public:
  TGXViewport(const TGXViewport&) = delete;
  TGXViewport& operator=(const TGXViewport&) = delete;

  TGXRenderTarget* Target() const { return FTarget; }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value) { FEnabled = value; }
  // The scene shown, or null (the viewport is then only cleared). The scene must outlive the
  // viewport or be taken away first.
  TGXScene* Scene() const { return FScene; }
  void SetScene(TGXScene* scene) { FScene = scene; }
  // The camera, or null (identity view and projection). Held weakly: a camera that dies with its
  // node leaves the viewport without one.
  TGXSceneCamera* Camera() const { return FCamera.Get(); }
  void SetCamera(TGXSceneCamera* camera) { FCamera = camera; }

  // Fractions of the target's size.
  float Left() const { return FLeft; }
  float Top() const { return FTop; }
  float Width() const { return FWidth; }
  float Height() const { return FHeight; }
  // Stores the fractions and recomputes the pixel rectangle.
  void SetRect(float left, float top, float width, float height);
  // The pixel rectangle with MinZ 0 and MaxZ 1: each edge is its fraction of the target's size,
  // rounded to the nearest pixel, so that viewports sharing an edge tile the target without a
  // gap. Edges outside the target are clamped to it and NaN counts as 0.
  const TGXViewportRect& Rect() const { return FRect; }
  // Recomputes the pixel rectangle from the target's current size.
  void UpdateRect();

  // GXClearTarget | GXClearZBuffer by default.
  uint32_t ClearFlags() const { return FClearFlags; }
  void SetClearFlags(uint32_t value) { FClearFlags = value; }
  // 0xAARRGGBB; opaque black by default.
  uint32_t ClearColor() const { return FClearColor; }
  void SetClearColor(uint32_t value) { FClearColor = value; }

 private:
  friend class TGXRenderTarget;
  TGXViewport(TGXRenderTarget* target, float left, float top, float width, float height);

  TGXRenderTarget* FTarget;
  bool FEnabled = true;
  TGXScene* FScene = nullptr;
  TGXWeakRef<TGXSceneCamera> FCamera;
  float FLeft = 0, FTop = 0, FWidth = 1, FHeight = 1;
  TGXViewportRect FRect;
  uint32_t FClearFlags = GXClearTarget | GXClearZBuffer;
  uint32_t FClearColor = 0xFF000000;
};

}  // namespace gx
