#pragma once
// TGXNullRenderDevice: a device that draws nothing and records what it is asked to do, for the
// tests and for headless runs that need no pixels. Its objects are plain handles with a name
// ("Surface1", "VertexBuffer2", ... when the device made them, or the name given to the
// constructors below), so that a recorded call sequence reads like a script:
//
//   SetRenderTarget(Back) / SetDepthStencilSurface(none) / SetViewport(0, 0, 640, 480, 0, 1)
//   Clear(1, 0xFF000000, 1, 0) / BeginScene / SetVertexDeclaration(Decl) / SetStreamSource(0, VB, 0, 24)
//   DrawIndexedPrimitive(4, 0, 0, 3, 0, 1) / EndScene
//
// A declaration with streams that advance per instance shows their frequencies, stream 0 first:
// "SetVertexDeclaration(Decl, frequencies 0 1)".
//
// Recording can be switched off for long runs; the draw counters keep counting. Test doubles of
// other device-side objects can write their own lines into the same log with Note.

#include <string>
#include <vector>

#include "engine/render/GXRenderDevice.h"

namespace gx {

class TGXNullSurface : public TGXDeviceSurface {
 public:
  TGXNullSurface(std::string name, uint32_t width, uint32_t height, uint32_t format)
      : TGXDeviceSurface(width, height, format), FName(std::move(name)) {}
  const std::string& Name() const { return FName; }

 private:
  std::string FName;
};

class TGXNullVertexBuffer : public TGXDeviceVertexBuffer {
 public:
  TGXNullVertexBuffer(std::string name, uint32_t size)
      : TGXDeviceVertexBuffer(size), FName(std::move(name)) {}
  const std::string& Name() const { return FName; }

 private:
  std::string FName;
};

class TGXNullIndexBuffer : public TGXDeviceIndexBuffer {
 public:
  TGXNullIndexBuffer(std::string name, uint32_t size, uint32_t format)
      : TGXDeviceIndexBuffer(size, format), FName(std::move(name)) {}
  const std::string& Name() const { return FName; }

 private:
  std::string FName;
};

class TGXNullVertexDeclaration : public TGXDeviceVertexDeclaration {
 public:
  // frequencies: per stream from 0, the instance frequency (0: per vertex; TGXVertexLayoutDecl).
  explicit TGXNullVertexDeclaration(std::string name, std::vector<uint32_t> frequencies = {})
      : FName(std::move(name)), FFrequencies(std::move(frequencies)) {}
  const std::string& Name() const { return FName; }
  const std::vector<uint32_t>& Frequencies() const { return FFrequencies; }

 private:
  std::string FName;
  std::vector<uint32_t> FFrequencies;
};

enum class TGXDeviceCallKind {
  CreateRenderTarget,
  CreateDepthStencilSurface,
  CreateVertexBuffer,
  CreateIndexBuffer,
  BeginScene,
  EndScene,
  Clear,
  SetRenderTarget,
  SetDepthStencilSurface,
  SetViewport,
  SetVertexDeclaration,
  SetStreamSource,
  SetIndices,
  DrawPrimitive,
  DrawIndexedPrimitive,
  WriteVertexBuffer,
  WriteIndexBuffer,
  DrawIndexedPrimitiveInstanced,
  // Not a device call: a line written by Note, for tests that interleave their own events.
  Note,
};

// One recorded call. Object identifies the handle passed or created (never dereferenced, the
// handle may be gone) and ObjectName is its name then ("none" for null). Values hold the integer
// arguments in declaration order (seven for the instanced draw, the last in InstanceCount); Depth the clear depth; Viewport the viewport record.
struct TGXDeviceCall {
  TGXDeviceCallKind Kind;
  const void* Object = nullptr;
  std::string ObjectName;
  int64_t Values[6] = {};
  // The buffer calls with usage and pool, or with lock flags (shown in Text()).
  bool Extended = false;
  // SetVertexDeclaration: the declaration's stream frequencies (empty: all per vertex).
  std::vector<uint32_t> Frequencies;
  int64_t InstanceCount = 0;
  float Depth = 0;
  TGXViewportRect Viewport;
  // The call as one line, in the form shown at the top of this file.
  std::string Text() const;
};

class TGXNullRenderDevice : public TGXRenderDevice {
 public:
  TGXRef<TGXDeviceSurface> CreateRenderTarget(uint32_t width, uint32_t height, uint32_t format) override;
  TGXRef<TGXDeviceSurface> CreateDepthStencilSurface(uint32_t width, uint32_t height,
                                                     uint32_t format) override;
  TGXRef<TGXDeviceVertexBuffer> CreateVertexBuffer(uint32_t size) override;
  // Recorded as "CreateVertexBuffer(size, usage, pool) -> VertexBuffer1".
  TGXRef<TGXDeviceVertexBuffer> CreateVertexBuffer(uint32_t size, uint32_t usage, uint32_t pool) override;
  TGXRef<TGXDeviceIndexBuffer> CreateIndexBuffer(uint32_t size, uint32_t format) override;
  // Recorded as "WriteVertexBuffer(VertexBuffer1, offset, size)"; the bytes are not kept. False
  // while SetWriteResult(false) plays a failing lock, or for a range beyond the buffer.
  bool WriteVertexBuffer(TGXDeviceVertexBuffer* buffer, uint32_t offset, const void* data, uint32_t size) override;
  bool WriteIndexBuffer(TGXDeviceIndexBuffer* buffer, uint32_t offset, const void* data, uint32_t size) override;
  // Recorded as "WriteVertexBuffer(VertexBuffer1, offset, size, discard)" with GXLockDiscard.
  bool WriteVertexBuffer(TGXDeviceVertexBuffer* buffer, uint32_t offset, const void* data, uint32_t size,
                         uint32_t lockFlags) override;
  void SetWriteResult(bool value) { FWriteResult = value; }

  bool BeginScene() override;
  void EndScene() override;
  void Clear(uint32_t flags, uint32_t color, float z, uint32_t stencil) override;
  void SetRenderTarget(TGXDeviceSurface* surface) override;
  void SetDepthStencilSurface(TGXDeviceSurface* surface) override;
  void SetViewport(const TGXViewportRect& rect) override;
  void SetVertexDeclaration(TGXDeviceVertexDeclaration* declaration) override;
  void SetStreamSource(uint32_t stream, TGXDeviceVertexBuffer* buffer, uint32_t offset,
                       uint32_t stride) override;
  void SetIndices(TGXDeviceIndexBuffer* buffer) override;
  void DrawPrimitive(TGXPrimitiveType type, uint32_t startVertex, uint32_t primitiveCount) override;
  void DrawIndexedPrimitive(TGXPrimitiveType type, int32_t baseVertex, uint32_t minIndex,
                            uint32_t numVertices, uint32_t startIndex, uint32_t primitiveCount) override;
  // One draw call; primitives drawn count every instance.
  void DrawIndexedPrimitiveInstanced(TGXPrimitiveType type, int32_t baseVertex, uint32_t minIndex,
                                     uint32_t numVertices, uint32_t startIndex, uint32_t primitiveCount,
                                     uint32_t instanceCount) override;

  // What BeginScene answers (true unless set), e.g. false to play a lost device.
  void SetBeginSceneResult(bool value) { FBeginSceneResult = value; }
  bool InScene() const { return FInScene; }

  // Records text as it is, between the device calls (for example by a recording effect), so
  // that one log shows the order of both.
  void Note(std::string text);

  void SetRecording(bool value) { FRecording = value; }
  const std::vector<TGXDeviceCall>& Calls() const { return FCalls; }
  // Every recorded call as Text(), in order.
  std::vector<std::string> Log() const;
  void ClearCalls() { FCalls.clear(); }

  // Draw calls and primitives drawn since creation, recorded or not.
  int64_t DrawCallCount() const { return FDrawCalls; }
  int64_t PrimitivesDrawn() const { return FPrimitives; }

 private:
  TGXDeviceCall* Record(TGXDeviceCallKind kind, const void* object = nullptr,
                        const std::string* name = nullptr);

  std::vector<TGXDeviceCall> FCalls;
  bool FRecording = true;
  bool FBeginSceneResult = true;
  bool FWriteResult = true;
  bool FInScene = false;
  int FCreated = 0;
  int64_t FDrawCalls = 0;
  int64_t FPrimitives = 0;
};

}  // namespace gx
