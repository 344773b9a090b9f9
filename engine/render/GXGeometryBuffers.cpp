#include "engine/render/GXGeometryBuffers.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "engine/core/GXException.h"

namespace gx {

namespace {

TGXRef<TGXGLVertexBuffer> NewVertexBuffer(TGXGLRenderDevice& device, const char* operation, uint64_t size) {
  try {
    if (size == 0 || size > uint64_t(std::numeric_limits<int32_t>::max()))
      throw EInvalidParameter({TGXExceptionArg::Object("TGXGLRenderDevice"), operation, "Size"});
    return TGXRef<TGXGLVertexBuffer>(static_cast<TGXGLVertexBuffer*>(device.CreateVertexBuffer(uint32_t(size)).Get()));
  } catch (const EGXException& e) {
    throw EDirect3D({TGXExceptionArg::Object("GXGeometryBuffers"), operation, "CreateVertexBuffer failed", e.what()});
  }
}

TGXRef<TGXGLIndexBuffer> NewIndexBuffer(TGXGLRenderDevice& device, const char* operation, uint64_t size,
                                        uint32_t format) {
  try {
    if (size == 0 || size > uint64_t(std::numeric_limits<int32_t>::max()))
      throw EInvalidParameter({TGXExceptionArg::Object("TGXGLRenderDevice"), operation, "Size"});
    return TGXRef<TGXGLIndexBuffer>(
        static_cast<TGXGLIndexBuffer*>(device.CreateIndexBuffer(uint32_t(size), format).Get()));
  } catch (const EGXException& e) {
    throw EDirect3D({TGXExceptionArg::Object("GXGeometryBuffers"), operation, "CreateIndexBuffer failed", e.what()});
  }
}

}  // namespace

TGXRef<TGXGLVertexBuffer> GXCreateVertexBuffer(TGXGLRenderDevice& device, std::span<const uint8_t> bytes) {
  auto buffer = NewVertexBuffer(device, "CreateAndLockVertexBuffer", bytes.size());
  buffer->Write(0, bytes.data(), uint32_t(bytes.size()));
  return buffer;
}

TGXRef<TGXGLIndexBuffer> GXCreateIndexBuffer(TGXGLRenderDevice& device, std::span<const uint16_t> indices) {
  auto buffer = NewIndexBuffer(device, "CreateAndLockIndexBuffer", uint64_t(indices.size()) * 2, GXFormatIndex16);
  buffer->Write(0, indices.data(), uint32_t(indices.size() * 2));
  return buffer;
}

TGXRef<TGXGLVertexBuffer> GXCopyVertexBuffer(TGXGLRenderDevice& device, const TGXGLVertexBuffer& source) {
  auto buffer = NewVertexBuffer(device, "CopyVertexBuffer", source.Size());
  buffer->Write(0, source.Data().data(), source.Size());
  return buffer;
}

TGXRef<TGXGLVertexBuffer> GXCombineVertexBuffers(TGXGLRenderDevice& device,
                                                 std::span<const TGXGLVertexBuffer* const> sources) {
  uint64_t size = 0;
  for (const TGXGLVertexBuffer* source : sources) size += source ? source->Size() : 0;
  auto buffer = NewVertexBuffer(device, "CombineVertexBuffers", size);
  uint32_t at = 0;
  for (const TGXGLVertexBuffer* source : sources) {
    if (!source) continue;
    buffer->Write(at, source->Data().data(), source->Size());
    at += source->Size();
  }
  return buffer;
}

TGXRef<TGXGLIndexBuffer> GXOffsetIndexBuffer(TGXGLRenderDevice& device, const TGXGLIndexBuffer& source,
                                             uint32_t offset) {
  const uint32_t count = source.IndexCount();
  uint64_t largest = 0;
  for (uint32_t i = 0; i < count; ++i) largest = std::max<uint64_t>(largest, source.Index(i));
  if (largest + offset > std::numeric_limits<uint32_t>::max())
    throw EInvalidParameter({TGXExceptionArg::Object("GXGeometryBuffers"), "OffsetIndexBuffer", "Index too large"});
  const bool wide = largest + offset >= 65536;
  auto buffer = NewIndexBuffer(device, "OffsetIndexBuffer", uint64_t(count) * (wide ? 4 : 2),
                               wide ? GXFormatIndex32 : GXFormatIndex16);
  if (wide) {
    std::vector<uint32_t> indices(count);
    for (uint32_t i = 0; i < count; ++i) indices[i] = source.Index(i) + offset;
    buffer->Write(0, indices.data(), count * 4);
  } else {
    std::vector<uint16_t> indices(count);
    for (uint32_t i = 0; i < count; ++i) indices[i] = uint16_t(source.Index(i) + offset);
    buffer->Write(0, indices.data(), count * 2);
  }
  return buffer;
}

}  // namespace gx
