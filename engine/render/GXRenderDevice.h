#pragma once
// The graphics device as the render layer sees it: the few operations that drawing a viewport
// needs (begin/end scene, clear, render target and viewport selection, stream and index binding,
// drawing) and handles of the device objects they take. The OpenGL render core implements it over
// one GL context; TGXNullRenderDevice records the calls for tests and headless runs.
//
// The numbers keep the stored conventions: primitive types 1 to 6, clear flags 1/2/4, surface
// formats by their stored values, colours 0xAARRGGBB, depth in [0, 1]. The device is used from
// the user-interface thread only.

#include <cstdint>
#include <string>

#include "engine/core/GXMath.h"
#include "engine/core/GXRefCounted.h"

namespace gx {

// Clear flags: colour, depth, stencil.
enum : uint32_t { GXClearTarget = 1, GXClearZBuffer = 2, GXClearStencil = 4 };

enum TGXPrimitiveType : uint32_t {
  GXPointList = 1,
  GXLineList = 2,
  GXLineStrip = 3,
  GXTriangleList = 4,
  GXTriangleStrip = 5,
  GXTriangleFan = 6,
};

// Surface and index formats by their stored numbers.
enum TGXFormat : uint32_t {
  GXFormatUnknown = 0,
  GXFormatA8R8G8B8 = 21,
  GXFormatX8R8G8B8 = 22,
  GXFormatR5G6B5 = 23,
  GXFormatX1R5G5B5 = 24,
  GXFormatD32 = 71,
  GXFormatD24X8 = 77,
  GXFormatD16 = 80,
  GXFormatIndex16 = 101,
  GXFormatIndex32 = 102,
};

// The format's name as the stored numbers are known ("X8R8G8B8"), or "Format N" for others.
inline std::string GXFormatName(uint32_t format) {
  switch (format) {
    case GXFormatA8R8G8B8:
      return "A8R8G8B8";
    case GXFormatX8R8G8B8:
      return "X8R8G8B8";
    case GXFormatR5G6B5:
      return "R5G6B5";
    case GXFormatX1R5G5B5:
      return "X1R5G5B5";
    case 25:
      return "A1R5G5B5";
    case GXFormatD32:
      return "D32";
    case 75:
      return "D24S8";
    case GXFormatD24X8:
      return "D24X8";
    case GXFormatD16:
      return "D16";
    case GXFormatIndex16:
      return "INDEX16";
    case GXFormatIndex32:
      return "INDEX32";
  }
  return "Format " + std::to_string(format);
}

// How a buffer is used and where it lives, by the stored numbers: static buffers are write-only in
// the managed pool and written without flags; buffers rewritten every frame are dynamic and
// write-only in the default pool and written with discard (the old content is given up, so the
// write need not wait for draws still reading it).
enum : uint32_t {
  GXBufferUsageWriteOnly = 8,
  GXBufferUsageDynamic = 0x200,
  GXBufferUsageStatic = GXBufferUsageWriteOnly,
  GXBufferUsageDynamicWriteOnly = GXBufferUsageDynamic | GXBufferUsageWriteOnly,
};
enum : uint32_t { GXPoolDefault = 0, GXPoolManaged = 1 };
enum : uint32_t { GXLockDiscard = 0x2000 };

// The number of vertex streams a device offers; stream numbers are 0 .. GXMaxVertexStreams - 1.
inline constexpr uint32_t GXMaxVertexStreams = 16;

// Handles of device objects. A device implementation derives its own classes and the render
// layer never looks inside them. They are reference-counted so that whoever binds one (the
// renderer's binding caches, a render target) keeps it alive while it is bound.
class TGXDeviceSurface : public TGXRefCounted {
 public:
  uint32_t Width() const { return FWidth; }
  uint32_t Height() const { return FHeight; }
  uint32_t Format() const { return FFormat; }

 protected:
  TGXDeviceSurface(uint32_t width, uint32_t height, uint32_t format)
      : FWidth(width), FHeight(height), FFormat(format) {}
  ~TGXDeviceSurface() override = default;

 private:
  uint32_t FWidth, FHeight, FFormat;
};

class TGXDeviceVertexBuffer : public TGXRefCounted {
 public:
  uint32_t Size() const { return FSize; }

 protected:
  explicit TGXDeviceVertexBuffer(uint32_t size) : FSize(size) {}
  ~TGXDeviceVertexBuffer() override = default;

 private:
  uint32_t FSize;
};

class TGXDeviceIndexBuffer : public TGXRefCounted {
 public:
  uint32_t Size() const { return FSize; }
  // GXFormatIndex16 or GXFormatIndex32.
  uint32_t Format() const { return FFormat; }

 protected:
  TGXDeviceIndexBuffer(uint32_t size, uint32_t format) : FSize(size), FFormat(format) {}
  ~TGXDeviceIndexBuffer() override = default;

 private:
  uint32_t FSize, FFormat;
};

// The vertex layout as the device knows it (made by the render core from a layout declaration).
class TGXDeviceVertexDeclaration : public TGXRefCounted {
 protected:
  TGXDeviceVertexDeclaration() = default;
  ~TGXDeviceVertexDeclaration() override = default;
};

// Objects that hold device objects which do not survive a lost device: render targets, the
// render state manager, effects and textures register with the render core's callback list and
// are told when the device is lost and when it has been reset.
// {1A9E2324-E5A4-4B9B-BAE9-91FA79ED1AA0}
class IGXDeviceCallback {
 public:
  virtual void OnDeviceLost() = 0;
  virtual void OnDeviceReset() = 0;

 protected:
  ~IGXDeviceCallback() = default;
};

class TGXRenderDevice {
 public:
  TGXRenderDevice() = default;
  TGXRenderDevice(const TGXRenderDevice&) = delete;
  TGXRenderDevice& operator=(const TGXRenderDevice&) = delete;
  virtual ~TGXRenderDevice() = default;

  // ---- device objects (failures raise EDirect3D) ----

  virtual TGXRef<TGXDeviceSurface> CreateRenderTarget(uint32_t width, uint32_t height, uint32_t format) = 0;
  virtual TGXRef<TGXDeviceSurface> CreateDepthStencilSurface(uint32_t width, uint32_t height,
                                                             uint32_t format) = 0;
  virtual TGXRef<TGXDeviceVertexBuffer> CreateVertexBuffer(uint32_t size) = 0;
  // A vertex buffer of the usage (GXBufferUsage...) in the pool (GXPool...); the plain form is a
  // static buffer in the managed pool.
  virtual TGXRef<TGXDeviceVertexBuffer> CreateVertexBuffer(uint32_t size, uint32_t usage, uint32_t pool) {
    (void)usage;
    (void)pool;
    return CreateVertexBuffer(size);
  }
  virtual TGXRef<TGXDeviceIndexBuffer> CreateIndexBuffer(uint32_t size, uint32_t format) = 0;
  // Copies size bytes into the buffer at offset (a lock, a copy and an unlock). False when the
  // buffer cannot be written - a buffer of another device, a range beyond its end, a failed
  // lock - and the buffer is then unchanged.
  virtual bool WriteVertexBuffer(TGXDeviceVertexBuffer* buffer, uint32_t offset, const void* data,
                                 uint32_t size) = 0;
  virtual bool WriteIndexBuffer(TGXDeviceIndexBuffer* buffer, uint32_t offset, const void* data, uint32_t size) = 0;
  // WriteVertexBuffer with lock flags (0 or GXLockDiscard: the rest of the buffer's content may
  // be lost, so write all of it).
  virtual bool WriteVertexBuffer(TGXDeviceVertexBuffer* buffer, uint32_t offset, const void* data, uint32_t size,
                                 uint32_t lockFlags) {
    (void)lockFlags;
    return WriteVertexBuffer(buffer, offset, data, size);
  }

  // ---- drawing ----

  // False when the device cannot draw now (for example while it is lost); then nothing may be
  // drawn and EndScene is not called.
  virtual bool BeginScene() = 0;
  virtual void EndScene() = 0;
  // Clears the current target's viewport rectangle: flags from GXClearTarget/ZBuffer/Stencil.
  virtual void Clear(uint32_t flags, uint32_t color, float z, uint32_t stencil) = 0;
  // Colour surface of render target 0; null unbinds it.
  virtual void SetRenderTarget(TGXDeviceSurface* surface) = 0;
  // Null draws without depth and stencil.
  virtual void SetDepthStencilSurface(TGXDeviceSurface* surface) = 0;
  virtual void SetViewport(const TGXViewportRect& rect) = 0;
  virtual void SetVertexDeclaration(TGXDeviceVertexDeclaration* declaration) = 0;
  // Binds (or with null unbinds) the buffer to the stream; offset and stride in bytes.
  virtual void SetStreamSource(uint32_t stream, TGXDeviceVertexBuffer* buffer, uint32_t offset,
                               uint32_t stride) = 0;
  virtual void SetIndices(TGXDeviceIndexBuffer* buffer) = 0;
  // primitiveCount primitives from the vertices starting at startVertex.
  virtual void DrawPrimitive(TGXPrimitiveType type, uint32_t startVertex, uint32_t primitiveCount) = 0;
  // primitiveCount primitives from the indices starting at startIndex; every index is offset by
  // baseVertex and lies in minIndex .. minIndex + numVertices - 1.
  virtual void DrawIndexedPrimitive(TGXPrimitiveType type, int32_t baseVertex, uint32_t minIndex,
                                    uint32_t numVertices, uint32_t startIndex, uint32_t primitiveCount) = 0;
  // DrawIndexedPrimitive of the same indices instanceCount times in one call; the vertex shader
  // tells the copies apart by gl_InstanceID (0 .. instanceCount - 1). A count of 0 draws nothing.
  virtual void DrawIndexedPrimitiveInstanced(TGXPrimitiveType type, int32_t baseVertex, uint32_t minIndex,
                                             uint32_t numVertices, uint32_t startIndex, uint32_t primitiveCount,
                                             uint32_t instanceCount) = 0;
};

}  // namespace gx
