#pragma once
// The vertex and index data a render primitive draws: which buffers, from where, how many.
// Geometry descriptions are small values holding references to the device buffers, so several
// primitives may describe parts of the same buffers.

#include <cstdint>
#include <vector>

#include "engine/core/GXRefCounted.h"
#include "engine/render/GXRenderDevice.h"

namespace gx {

struct TGXVertexGeometry {
  uint32_t FirstVertex = 0;
  uint32_t VertexCount = 0;
  TGXRef<TGXDeviceVertexDeclaration> Layout;
  // One buffer per stream, stream 0 first, and the bytes per vertex of each.
  std::vector<TGXRef<TGXDeviceVertexBuffer>> Buffers;
  std::vector<uint32_t> Strides;
};

struct TGXIndexGeometry {
  uint32_t FirstIndex = 0;
  uint32_t IndexCount = 0;
  TGXRef<TGXDeviceIndexBuffer> Buffer;
};

}  // namespace gx
