#include "engine/render/GXRenderer.h"

#include "engine/core/GXException.h"
#include "engine/render/GXRenderTarget.h"
#include "engine/render/GXScene.h"

namespace gx {

// ---- state manager ----

void TGXRenderStateManager::SetSurfaces(TGXDeviceSurface* color, TGXDeviceSurface* depth) {
  if (!FSurfacesKnown || FColorSurface.Get() != color) {
    FDevice.SetRenderTarget(color);
    FColorSurface = color;
  }
  if (!FSurfacesKnown || FDepthSurface.Get() != depth) {
    FDevice.SetDepthStencilSurface(depth);
    FDepthSurface = depth;
  }
  FSurfacesKnown = true;
}

void TGXRenderStateManager::SelectViewport(const TGXViewport& viewport) {
  TGXRenderTarget* target = viewport.Target();
  SetSurfaces(target ? target->ColorSurface() : nullptr, target ? target->DepthSurface() : nullptr);
  FDevice.SetViewport(viewport.Rect());
}

void TGXRenderStateManager::EndTechnique() {
  if (FPass) {
    FPass->End();
    FPass = nullptr;
  }
  if (FTechnique) {
    FTechnique->End();
    FTechnique = nullptr;
  }
}

void TGXRenderStateManager::Activate(TGXMaterial* material, TGXEffectPass* pass) {
  TGXEffectTechnique* technique = pass->Technique();
  if (technique != FTechnique) {
    EndTechnique();
    technique->Begin();
    FTechnique = technique;
    technique->Effect()->UpdateAutoParameters();
  }
  if (material) {
    material->Apply(FMaterial.Get() != material);
    FMaterial = material;
  }
  if (pass != FPass) {
    if (FPass) FPass->End();
    pass->Begin();
    FPass = pass;
  }
}

void TGXRenderStateManager::Finish() {
  EndTechnique();
  FMaterial = nullptr;
  if (!FDummySurface) FDummySurface = FDevice.CreateRenderTarget(1, 1, GXFormatX8R8G8B8);
  SetSurfaces(FDummySurface.Get(), nullptr);
  UnbindGeometry();
}

void TGXRenderStateManager::BindVertexGeometry(const TGXVertexGeometry& geometry) {
  const size_t count = geometry.Buffers.size();
  GX_ASSERT(count <= GXMaxVertexStreams && geometry.Strides.size() >= count);
  if (geometry.Layout != FDeclaration) {
    FDevice.SetVertexDeclaration(geometry.Layout.Get());
    FDeclaration = geometry.Layout;
  }
  for (uint32_t s = static_cast<uint32_t>(count); s < FStreamCount; ++s) {
    if (!FStreams[s].Buffer) continue;
    FDevice.SetStreamSource(s, nullptr, 0, 0);
    FStreams[s] = TStream();
  }
  for (uint32_t s = 0; s < count; ++s) {
    TStream& bound = FStreams[s];
    const TGXRef<TGXDeviceVertexBuffer>& buffer = geometry.Buffers[s];
    const uint32_t stride = geometry.Strides[s];
    if (bound.Buffer == buffer && bound.Stride == stride) continue;
    FDevice.SetStreamSource(s, buffer.Get(), 0, stride);
    bound.Buffer = buffer;
    bound.Stride = stride;
  }
  FStreamCount = static_cast<uint32_t>(count);
}

void TGXRenderStateManager::BindIndexGeometry(const TGXIndexGeometry& geometry) {
  if (geometry.Buffer == FIndices) return;
  FDevice.SetIndices(geometry.Buffer.Get());
  FIndices = geometry.Buffer;
}

void TGXRenderStateManager::UnbindGeometry() {
  for (uint32_t s = 0; s < GXMaxVertexStreams; ++s) {
    if (!FStreams[s].Buffer) continue;
    FDevice.SetStreamSource(s, nullptr, 0, 0);
    FStreams[s] = TStream();
  }
  FStreamCount = 0;
  if (FIndices) {
    FDevice.SetIndices(nullptr);
    FIndices.Reset();
  }
}

void TGXRenderStateManager::DeviceLost() {
  // Nothing is ended or unbound on the device: its objects are gone or about to be.
  FPass = nullptr;
  FTechnique = nullptr;
  FMaterial = nullptr;
  FSurfacesKnown = false;
  FColorSurface.Reset();
  FDepthSurface.Reset();
  FDummySurface.Reset();
  FDeclaration.Reset();
  for (TStream& stream : FStreams) stream = TStream();
  FStreamCount = 0;
  FIndices.Reset();
}

// ---- renderer ----

TGXRenderer::TGXRenderer(TGXRenderDevice& device, TGXEffectParameterManager& parameters)
    : FDevice(device), FParameters(parameters), FStateManager(device), FNullCamera(MakeRef<TGXNullCamera>()) {
  BindParameterSources();
}

TGXRenderer::~TGXRenderer() {
  // The sources must not keep pointing into a renderer that is gone; another renderer that
  // took them over keeps them.
  if (FParameters.World()->Matrix() == &FWorld) FParameters.World()->SetMatrix(nullptr);
  if (FParameters.View()->Matrix() == &FView) FParameters.View()->SetMatrix(nullptr);
  if (FParameters.Projection()->Matrix() == &FProjection) FParameters.Projection()->SetMatrix(nullptr);
  if (FParameters.ViewProjection()->Matrix() == &FViewProjection)
    FParameters.ViewProjection()->SetMatrix(nullptr);
}

void TGXRenderer::BindParameterSources() {
  FParameters.World()->SetMatrix(&FWorld);
  FParameters.View()->SetMatrix(&FView);
  FParameters.Projection()->SetMatrix(&FProjection);
  FParameters.ViewProjection()->SetMatrix(&FViewProjection);
}

namespace {

// Nodes and objects are separate heap blocks spread over memory, so a walk over a large scene
// waits on cache misses more than it computes. Asking for the next siblings' data early lets
// those waits overlap. A hint only: it changes no result.
inline void PrefetchNode(const TGXSceneNode* node) {
  const TGXBoundingBox& bounds = node->WorldBounds();
  __builtin_prefetch(&bounds);
  __builtin_prefetch(&bounds.Center);
  __builtin_prefetch(&node->LocalBounds());  // the visibility switches lie next to it
  __builtin_prefetch(&node->Objects());
}

inline void PrefetchObject(const TGXSceneObject* object) {
  __builtin_prefetch(object);
  __builtin_prefetch(reinterpret_cast<const char*>(object) + 64);
  __builtin_prefetch(&object->WorldBounds().Center);
}

}  // namespace

void TGXRenderer::Collect(TGXSceneNode* node, TGXSceneCamera* camera) {
  if (!node->Visible() || !node->RenderEnabled() || !camera->IsBoxVisible(node->WorldBounds())) return;
  for (TGXSceneObject* object : node->Objects()) PrefetchObject(object);
  for (int i = 0; i < node->ObjectCount(); ++i) {
    TGXSceneObject* object = node->Objects().At(i);
    if (object->Visible()) object->AddToRenderQueue(camera, &FQueue);
  }
  const TGXArrayView<TGXNode> children = node->Children();
  const int n = children.size();
  auto child = [&children](int i) { return static_cast<TGXSceneNode*>(children[i]); };
  // The children's packed world boxes are tested first, so a child outside the view costs no
  // visit of its own memory. Indices are kept on a shared stack (the recursion appends above).
  const size_t base = FSeenChildren.size();
  const std::vector<TGXChildExtent>& extents = node->ChildExtents();
  if (static_cast<int>(extents.size()) == n) {
    // A switched-off child is left out before its box is tested (its own visit would end at once).
    for (int i = 0; i < n; ++i)
      if (extents[i].Drawn && camera->IsExtentVisible(extents[i])) FSeenChildren.push_back(i);
  } else {
    for (int i = 0; i < n; ++i) FSeenChildren.push_back(i);
  }
  const size_t end = FSeenChildren.size();
  // A pipeline over the children seen: a node's own data eight ahead, its object list four ahead
  // (each step reads only what the earlier one asked for).
  for (size_t k = base; k < end && k < base + 8; ++k) PrefetchNode(child(FSeenChildren[k]));
  for (size_t k = base; k < end; ++k) {
    if (k + 8 < end) PrefetchNode(child(FSeenChildren[k + 8]));
    if (k + 4 < end && child(FSeenChildren[k + 4])->ObjectCount() > 0)
      __builtin_prefetch(child(FSeenChildren[k + 4])->Objects().Items());
    Collect(child(FSeenChildren[k]), camera);
  }
  FSeenChildren.resize(base);
}

void TGXRenderer::Draw(const TGXRenderQueueItem& item) {
  TGXRenderPrimitive* primitive = item.Primitive;
  GX_ASSERT(primitive->VertexGeometry.has_value());
  primitive->BeforeRender();
  // A primitive drawn as part of another (an instanced batch) has nothing left to draw.
  if (primitive->InstanceCount == 0) return;
  FStateManager.Activate(primitive->Material.Get(), item.Pass);

  const TGXMatrix* world = primitive->GetWorldMatrix();
  FWorld = world ? *world : TGXMatrix();
  item.Pass->Technique()->Effect()->UpdateWorldParametersAndCommit();

  const TGXVertexGeometry& vertices = *primitive->VertexGeometry;
  FStateManager.BindVertexGeometry(vertices);
  const auto type = static_cast<TGXPrimitiveType>(primitive->PrimitiveType);
  if (const auto& indices = primitive->IndexGeometry) {
    const uint32_t count = GXPrimitiveCount(type, indices->IndexCount);
    if (count == 0) return;
    FStateManager.BindIndexGeometry(*indices);
    ++FDrawCalls;
    ++FTotalDrawCalls;
    if (primitive->InstanceCount == 1)
      FDevice.DrawIndexedPrimitive(type, static_cast<int32_t>(vertices.FirstVertex), 0, vertices.VertexCount,
                                   indices->FirstIndex, count);
    else
      FDevice.DrawIndexedPrimitiveInstanced(type, static_cast<int32_t>(vertices.FirstVertex), 0,
                                            vertices.VertexCount, indices->FirstIndex, count,
                                            primitive->InstanceCount);
  } else {
    const uint32_t count = GXPrimitiveCount(type, vertices.VertexCount);
    if (count == 0) return;
    ++FDrawCalls;
    ++FTotalDrawCalls;
    FDevice.DrawPrimitive(type, vertices.FirstVertex, count);
  }
}

void TGXRenderer::BuildQueue(TGXViewport& viewport) {
  // Taken again for every viewport: another renderer on the same manager may have drawn since.
  BindParameterSources();
  FQueue.Clear();
  if (TGXScene* scene = viewport.Scene()) {
    scene->Root()->Update(false);
    TGXSceneCamera* camera = viewport.Camera();
    if (camera)
      camera->SetViewportSize(viewport.Rect().Width, viewport.Rect().Height);
    else
      camera = FNullCamera.Get();
    Collect(scene->Root(), camera);
    FView = camera->GetViewMatrix();
    FProjection = camera->GetProjectionMatrix();
    FViewProjection = camera->GetViewProjectionMatrix();
  }
  FQueue.Finish();
}

void TGXRenderer::DrawQueue() {
  FDrawCalls = 0;
  // Primitives and their stream lists are separate heap blocks, so a long queue waits on a cache
  // miss per item. A pipeline of hints like the scene walk's: the primitive eight items ahead,
  // its stream lists four ahead (read from the primitive asked for earlier). Hints only.
  const int n = FQueue.ItemCount();
  for (int i = 0; i < n; ++i) {
    if (i + 8 < n) {
      const char* p = reinterpret_cast<const char*>(FQueue.Items(i + 8).Primitive);
      __builtin_prefetch(p);
      __builtin_prefetch(p + 64);
      __builtin_prefetch(p + 128);
    }
    if (i + 4 < n) {
      const TGXRenderPrimitive* ahead = FQueue.Items(i + 4).Primitive;
      if (ahead->VertexGeometry) {
        __builtin_prefetch(ahead->VertexGeometry->Buffers.data());
        __builtin_prefetch(ahead->VertexGeometry->Strides.data());
      }
    }
    Draw(FQueue.Items(i));
  }
}

void TGXRenderer::Render(TGXViewport& viewport) {
  BuildQueue(viewport);
  FStateManager.SelectViewport(viewport);
  uint32_t flags = viewport.ClearFlags();
  TGXRenderTarget* target = viewport.Target();
  // Without a depth-stencil surface there is neither depth nor stencil to clear, and asking for
  // either would make the device refuse the colour clear as well.
  if (!target || !target->DepthSurface()) flags &= ~(GXClearZBuffer | GXClearStencil);
  if (flags) FDevice.Clear(flags, viewport.ClearColor(), 1.0f, 0);

  bool inScene = false;
  try {
    if (FDevice.BeginScene()) {
      inScene = true;
      DrawQueue();
      inScene = false;
      FDevice.EndScene();
    }
  } catch (...) {
    if (inScene) FDevice.EndScene();
    FStateManager.Finish();
    throw;
  }
  FStateManager.Finish();
}

}  // namespace gx
