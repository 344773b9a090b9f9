#pragma once
// TGXRenderer: draws one viewport at a time. It brings the scene's transforms up to date,
// collects the primitives the camera sees into the render queue, sorts them and draws them pass
// by pass through the device.
//
// TGXRenderStateManager keeps what the device has bound, so that the renderer only changes what
// the next item needs: render target surfaces, technique and pass, vertex declaration, vertex
// streams and index buffer. It holds references to everything it has bound, so a cached binding
// can never stand for a buffer that has since been freed and its memory reused.

#include <vector>
#include <array>
#include <cstdint>

#include "engine/core/GXMath.h"
#include "engine/core/GXRefCounted.h"
#include "engine/core/GXSceneNode.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXEffect.h"
#include "engine/render/GXMaterial.h"
#include "engine/render/GXRenderDevice.h"
#include "engine/render/GXRenderPrimitive.h"
#include "engine/render/GXRenderQueue.h"
#include "engine/render/GXVertexGeometry.h"
#include "engine/render/GXViewport.h"

namespace gx {

class TGXRenderStateManager {
 public:
  explicit TGXRenderStateManager(TGXRenderDevice& device) : FDevice(device) {}
  TGXRenderStateManager(const TGXRenderStateManager&) = delete;
  TGXRenderStateManager& operator=(const TGXRenderStateManager&) = delete;

  // Sets the target's colour and depth surfaces where they differ from the bound ones, and the
  // device viewport from the pixel rectangle.
  void SelectViewport(const TGXViewport& viewport);
  // Makes the pass (of the material's technique) active: a new technique ends the active pass and
  // technique, begins the new one and updates its automatic parameters; the material is applied,
  // told whether it differs from the one applied before; a new pass ends the active one and
  // begins it.
  void Activate(TGXMaterial* material, TGXEffectPass* pass);
  // Ends the active pass and technique, binds the 1 x 1 dummy colour surface (made once) and no
  // depth surface, so that render textures are free to be read afterwards, and unbinds the
  // geometry.
  void Finish();

  // Sets the declaration, unbinds the streams the previous geometry used beyond this one's, and
  // binds each stream whose buffer or stride differs from the bound one. A geometry with more
  // streams than the device has, or fewer strides than buffers, is a programming error.
  void BindVertexGeometry(const TGXVertexGeometry& geometry);
  // Sets the index buffer unless it is the bound one.
  void BindIndexGeometry(const TGXIndexGeometry& geometry);
  // Unbinds the bound streams and index buffer.
  void UnbindGeometry();

  // Forgets every device object (the device was lost or replaced): the next selection binds
  // everything anew and the dummy surface is made again.
  void DeviceLost();

  TGXEffectTechnique* ActiveTechnique() const { return FTechnique; }
  TGXEffectPass* ActivePass() const { return FPass; }

 private:
  void EndTechnique();
  void SetSurfaces(TGXDeviceSurface* color, TGXDeviceSurface* depth);

  struct TStream {
    TGXRef<TGXDeviceVertexBuffer> Buffer;
    uint32_t Stride = 0;
  };

  TGXRenderDevice& FDevice;
  // Whether the bound surfaces are known: not before the first selection or after a device loss.
  bool FSurfacesKnown = false;
  TGXRef<TGXDeviceSurface> FColorSurface;
  TGXRef<TGXDeviceSurface> FDepthSurface;
  TGXRef<TGXDeviceSurface> FDummySurface;
  TGXEffectTechnique* FTechnique = nullptr;
  TGXEffectPass* FPass = nullptr;
  TGXWeakRef<TGXMaterial> FMaterial;
  TGXRef<TGXDeviceVertexDeclaration> FDeclaration;
  std::array<TStream, GXMaxVertexStreams> FStreams;
  uint32_t FStreamCount = 0;
  TGXRef<TGXDeviceIndexBuffer> FIndices;
};

class TGXRenderer {
 public:
  // The parameter manager's "WORLD", "VIEW", "PROJECTION" and "VIEWPROJECTION" sources are
  // pointed at the renderer's matrices for each viewport it draws, and reset when it is
  // destroyed. Device and manager must outlive the renderer.
  TGXRenderer(TGXRenderDevice& device, TGXEffectParameterManager& parameters);
  TGXRenderer(const TGXRenderer&) = delete;
  TGXRenderer& operator=(const TGXRenderer&) = delete;
  ~TGXRenderer();

  // Draws the viewport: update and collect the scene (if any) with the viewport's camera or the
  // null camera, sort, select the target, clear, draw between begin and end scene (nothing when
  // the device cannot begin a scene), finish. An exception while drawing still ends the scene and
  // finishes before it passes on.
  void Render(TGXViewport& viewport);
  // The first part of Render: clears the queue and, when the viewport shows a scene, updates it,
  // collects what the camera sees, points the view and projection parameters at the camera's
  // matrices; then finishes (sorts) the queue.
  void BuildQueue(TGXViewport& viewport);
  // Draws every queue item in order; the caller has begun the scene.
  void DrawQueue();

  TGXRenderDevice& Device() const { return FDevice; }
  // Draw calls of the last DrawQueue (one per drawn queue item, an instanced item counting once).
  int DrawCallCount() const { return FDrawCalls; }
  // Draw calls since the renderer was made: a window of several viewports counts its frame as
  // the difference across its drawing.
  uint64_t TotalDrawCalls() const { return FTotalDrawCalls; }
  TGXRenderQueue& Queue() { return FQueue; }
  TGXRenderStateManager& StateManager() { return FStateManager; }
  TGXNullCamera* NullCamera() const { return FNullCamera.Get(); }
  // See TGXRenderStateManager::DeviceLost.
  void DeviceLost() { FStateManager.DeviceLost(); }

 private:
  void BindParameterSources();
  void Collect(TGXSceneNode* node, TGXSceneCamera* camera);
  void Draw(const TGXRenderQueueItem& item);

  TGXRenderDevice& FDevice;
  TGXEffectParameterManager& FParameters;
  TGXRenderQueue FQueue;
  TGXRenderStateManager FStateManager;
  TGXRef<TGXNullCamera> FNullCamera;
  // Copies of the camera's matrices and the current world matrix, for the automatic parameters:
  // the sources point here, never into a camera or primitive that may go away.
  TGXMatrix FView, FProjection, FViewProjection, FWorld;
  // Indices of the children that passed the packed-box test, a stack shared by the recursion.
  std::vector<int> FSeenChildren;
  int FDrawCalls = 0;
  uint64_t FTotalDrawCalls = 0;
};

}  // namespace gx
