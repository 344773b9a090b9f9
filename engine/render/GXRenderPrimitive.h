#pragma once
// TGXRenderPrimitive: one drawable piece - a material plus vertex and (optionally) index
// geometry and the primitive type. Scene objects hand primitives to the render queue; the
// application derives its track, panel, gizmo, selection and sky primitives from it, and a mesh's
// sub-entity is one too.

#include <cstdint>
#include <optional>

#include "engine/core/GXMath.h"
#include "engine/render/GXMaterial.h"
#include "engine/render/GXRenderDevice.h"
#include "engine/render/GXVertexGeometry.h"

namespace gx {

// The number of primitives n vertices (or indices) make: point list n, line list n / 2, line strip
// n - 1, triangle list n / 3, triangle strip and fan n - 2. Too few vertices, and a type outside
// 1 .. 6, give 0 (nothing to draw).
uint32_t GXPrimitiveCount(uint32_t primitiveType, uint32_t n);

class TGXRenderPrimitive {
 public:
  TGXRenderPrimitive() = default;
  TGXRenderPrimitive(const TGXRenderPrimitive&) = delete;
  TGXRenderPrimitive& operator=(const TGXRenderPrimitive&) = delete;
  virtual ~TGXRenderPrimitive() = default;

  IGXMaterial Material;
  // Drawing a primitive without vertex geometry is a programming error.
  std::optional<TGXVertexGeometry> VertexGeometry;
  std::optional<TGXIndexGeometry> IndexGeometry;
  uint32_t PrimitiveType = GXTriangleList;
  // Indexed primitives drawn more than once in one call (instanced; the vertex shader tells the
  // copies apart by gl_InstanceID). 0 draws nothing.
  uint32_t InstanceCount = 1;

  // Called right before the primitive is drawn (after sorting, before its material is applied).
  virtual void BeforeRender() {}
  // The matrix for the automatic parameter "WORLD"; null draws in world space (identity). The
  // matrix must stay valid until the primitive has been drawn.
  virtual const TGXMatrix* GetWorldMatrix() { return nullptr; }
};

}  // namespace gx
