#pragma once
// Helpers that make vertex and index buffers from other buffers or from memory. Buffers keep a
// CPU copy of their bytes (GXGLRenderDevice.h), so copies and combinations read that copy and
// need no read-back from the GPU; buffers survive a lost device whatever pool they were asked
// for. Failures raise EDirect3D with the operation and "CreateVertexBuffer failed" or
// "CreateIndexBuffer failed".

#include <cstdint>
#include <span>

#include "engine/render/GXGLRenderDevice.h"

namespace gx {

// A vertex buffer holding the bytes.
TGXRef<TGXGLVertexBuffer> GXCreateVertexBuffer(TGXGLRenderDevice& device, std::span<const uint8_t> bytes);
// 16-bit indices.
TGXRef<TGXGLIndexBuffer> GXCreateIndexBuffer(TGXGLRenderDevice& device, std::span<const uint16_t> indices);
TGXRef<TGXGLVertexBuffer> GXCopyVertexBuffer(TGXGLRenderDevice& device, const TGXGLVertexBuffer& source);
// One buffer holding the sources' bytes one after the other (at most 2 GiB together).
TGXRef<TGXGLVertexBuffer> GXCombineVertexBuffers(TGXGLRenderDevice& device,
                                                 std::span<const TGXGLVertexBuffer* const> sources);
// A copy with offset added to every index: 16-bit indices when the largest index plus the
// offset stays below 65536, else 32-bit ones. An index that would pass 2^32 - 1 raises
// EInvalidParameter.
TGXRef<TGXGLIndexBuffer> GXOffsetIndexBuffer(TGXGLRenderDevice& device, const TGXGLIndexBuffer& source,
                                             uint32_t offset);

}  // namespace gx
