#include "engine/render/GXNullRenderDevice.h"

#include <cstdio>

namespace gx {

namespace {

const char* KindName(TGXDeviceCallKind kind) {
  switch (kind) {
    case TGXDeviceCallKind::CreateRenderTarget:
      return "CreateRenderTarget";
    case TGXDeviceCallKind::CreateDepthStencilSurface:
      return "CreateDepthStencilSurface";
    case TGXDeviceCallKind::CreateVertexBuffer:
      return "CreateVertexBuffer";
    case TGXDeviceCallKind::CreateIndexBuffer:
      return "CreateIndexBuffer";
    case TGXDeviceCallKind::BeginScene:
      return "BeginScene";
    case TGXDeviceCallKind::EndScene:
      return "EndScene";
    case TGXDeviceCallKind::Clear:
      return "Clear";
    case TGXDeviceCallKind::SetRenderTarget:
      return "SetRenderTarget";
    case TGXDeviceCallKind::SetDepthStencilSurface:
      return "SetDepthStencilSurface";
    case TGXDeviceCallKind::SetViewport:
      return "SetViewport";
    case TGXDeviceCallKind::SetVertexDeclaration:
      return "SetVertexDeclaration";
    case TGXDeviceCallKind::SetStreamSource:
      return "SetStreamSource";
    case TGXDeviceCallKind::SetIndices:
      return "SetIndices";
    case TGXDeviceCallKind::DrawPrimitive:
      return "DrawPrimitive";
    case TGXDeviceCallKind::DrawIndexedPrimitive:
      return "DrawIndexedPrimitive";
    case TGXDeviceCallKind::WriteVertexBuffer:
      return "WriteVertexBuffer";
    case TGXDeviceCallKind::WriteIndexBuffer:
      return "WriteIndexBuffer";
    case TGXDeviceCallKind::DrawIndexedPrimitiveInstanced:
      return "DrawIndexedPrimitiveInstanced";
    case TGXDeviceCallKind::Note:
      return "Note";
  }
  return "?";
}

// The name of a handle of any device; handles of other devices show as "?".
template <class TNull, class T>
std::string HandleName(const T* handle) {
  if (!handle) return "none";
  if (auto* named = dynamic_cast<const TNull*>(handle)) return named->Name();
  return "?";
}

std::string FormatFloat(float v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", static_cast<double>(v));
  return buffer;
}

}  // namespace

std::string TGXDeviceCall::Text() const {
  std::string s = KindName(Kind);
  auto values = [this](int n) {
    std::string r;
    for (int i = 0; i < n; ++i) r += (i ? ", " : "") + std::to_string(Values[i]);
    return r;
  };
  switch (Kind) {
    case TGXDeviceCallKind::CreateRenderTarget:
    case TGXDeviceCallKind::CreateDepthStencilSurface:
      return s + "(" + values(3) + ") -> " + ObjectName;
    case TGXDeviceCallKind::CreateVertexBuffer:
      return s + "(" + values(Extended ? 3 : 1) + ") -> " + ObjectName;
    case TGXDeviceCallKind::CreateIndexBuffer:
      return s + "(" + values(2) + ") -> " + ObjectName;
    case TGXDeviceCallKind::BeginScene:
      return s + (Values[0] ? "" : " failed");
    case TGXDeviceCallKind::EndScene:
      return s;
    case TGXDeviceCallKind::Clear: {
      char color[16];
      std::snprintf(color, sizeof color, "0x%08X", static_cast<unsigned>(Values[1]));
      return s + "(" + std::to_string(Values[0]) + ", " + color + ", " + FormatFloat(Depth) + ", " +
             std::to_string(Values[2]) + ")";
    }
    case TGXDeviceCallKind::SetRenderTarget:
    case TGXDeviceCallKind::SetDepthStencilSurface:
    case TGXDeviceCallKind::SetVertexDeclaration:
      if (!Frequencies.empty()) {
        std::string f;
        for (uint32_t v : Frequencies) f += " " + std::to_string(v);
        return s + "(" + ObjectName + ", frequencies" + f + ")";
      }
      return s + "(" + ObjectName + ")";
    case TGXDeviceCallKind::SetIndices:
      return s + "(" + ObjectName + ")";
    case TGXDeviceCallKind::SetViewport:
      return s + "(" + std::to_string(Viewport.X) + ", " + std::to_string(Viewport.Y) + ", " +
             std::to_string(Viewport.Width) + ", " + std::to_string(Viewport.Height) + ", " +
             FormatFloat(Viewport.MinZ) + ", " + FormatFloat(Viewport.MaxZ) + ")";
    case TGXDeviceCallKind::SetStreamSource:
      return s + "(" + std::to_string(Values[0]) + ", " + ObjectName + ", " + std::to_string(Values[1]) +
             ", " + std::to_string(Values[2]) + ")";
    case TGXDeviceCallKind::DrawPrimitive:
      return s + "(" + values(3) + ")";
    case TGXDeviceCallKind::DrawIndexedPrimitive:
      return s + "(" + values(6) + ")";
    case TGXDeviceCallKind::WriteVertexBuffer:
    case TGXDeviceCallKind::WriteIndexBuffer:
      return s + "(" + ObjectName + ", " + values(2) +
             (Extended && (Values[3] & GXLockDiscard) ? ", discard" : "") + (Values[2] ? ")" : ") failed");
    case TGXDeviceCallKind::DrawIndexedPrimitiveInstanced:
      return s + "(" + values(6) + ", " + std::to_string(InstanceCount) + ")";
    case TGXDeviceCallKind::Note:
      return ObjectName;
  }
  return s;
}

TGXDeviceCall* TGXNullRenderDevice::Record(TGXDeviceCallKind kind, const void* object,
                                           const std::string* name) {
  if (!FRecording) return nullptr;
  TGXDeviceCall& call = FCalls.emplace_back();
  call.Kind = kind;
  call.Object = object;
  if (name) call.ObjectName = *name;
  return &call;
}

TGXRef<TGXDeviceSurface> TGXNullRenderDevice::CreateRenderTarget(uint32_t width, uint32_t height,
                                                                 uint32_t format) {
  std::string name = "Surface" + std::to_string(++FCreated);
  TGXRef<TGXDeviceSurface> surface(new TGXNullSurface(name, width, height, format));
  if (auto* c = Record(TGXDeviceCallKind::CreateRenderTarget, surface.Get(), &name)) {
    c->Values[0] = width;
    c->Values[1] = height;
    c->Values[2] = format;
  }
  return surface;
}

TGXRef<TGXDeviceSurface> TGXNullRenderDevice::CreateDepthStencilSurface(uint32_t width, uint32_t height,
                                                                        uint32_t format) {
  std::string name = "Surface" + std::to_string(++FCreated);
  TGXRef<TGXDeviceSurface> surface(new TGXNullSurface(name, width, height, format));
  if (auto* c = Record(TGXDeviceCallKind::CreateDepthStencilSurface, surface.Get(), &name)) {
    c->Values[0] = width;
    c->Values[1] = height;
    c->Values[2] = format;
  }
  return surface;
}

TGXRef<TGXDeviceVertexBuffer> TGXNullRenderDevice::CreateVertexBuffer(uint32_t size) {
  std::string name = "VertexBuffer" + std::to_string(++FCreated);
  TGXRef<TGXDeviceVertexBuffer> buffer(new TGXNullVertexBuffer(name, size));
  if (auto* c = Record(TGXDeviceCallKind::CreateVertexBuffer, buffer.Get(), &name)) c->Values[0] = size;
  return buffer;
}

TGXRef<TGXDeviceVertexBuffer> TGXNullRenderDevice::CreateVertexBuffer(uint32_t size, uint32_t usage,
                                                                      uint32_t pool) {
  std::string name = "VertexBuffer" + std::to_string(++FCreated);
  TGXRef<TGXDeviceVertexBuffer> buffer(new TGXNullVertexBuffer(name, size));
  if (auto* c = Record(TGXDeviceCallKind::CreateVertexBuffer, buffer.Get(), &name)) {
    c->Values[0] = size;
    c->Values[1] = usage;
    c->Values[2] = pool;
    c->Extended = true;
  }
  return buffer;
}

TGXRef<TGXDeviceIndexBuffer> TGXNullRenderDevice::CreateIndexBuffer(uint32_t size, uint32_t format) {
  std::string name = "IndexBuffer" + std::to_string(++FCreated);
  TGXRef<TGXDeviceIndexBuffer> buffer(new TGXNullIndexBuffer(name, size, format));
  if (auto* c = Record(TGXDeviceCallKind::CreateIndexBuffer, buffer.Get(), &name)) {
    c->Values[0] = size;
    c->Values[1] = format;
  }
  return buffer;
}

bool TGXNullRenderDevice::BeginScene() {
  if (auto* c = Record(TGXDeviceCallKind::BeginScene)) c->Values[0] = FBeginSceneResult;
  FInScene = FBeginSceneResult;
  return FBeginSceneResult;
}

void TGXNullRenderDevice::EndScene() {
  Record(TGXDeviceCallKind::EndScene);
  FInScene = false;
}

void TGXNullRenderDevice::Clear(uint32_t flags, uint32_t color, float z, uint32_t stencil) {
  if (auto* c = Record(TGXDeviceCallKind::Clear)) {
    c->Values[0] = flags;
    c->Values[1] = color;
    c->Values[2] = stencil;
    c->Depth = z;
  }
}

void TGXNullRenderDevice::SetRenderTarget(TGXDeviceSurface* surface) {
  if (!FRecording) return;
  std::string name = HandleName<TGXNullSurface>(surface);
  Record(TGXDeviceCallKind::SetRenderTarget, surface, &name);
}

void TGXNullRenderDevice::SetDepthStencilSurface(TGXDeviceSurface* surface) {
  if (!FRecording) return;
  std::string name = HandleName<TGXNullSurface>(surface);
  Record(TGXDeviceCallKind::SetDepthStencilSurface, surface, &name);
}

void TGXNullRenderDevice::SetViewport(const TGXViewportRect& rect) {
  if (auto* c = Record(TGXDeviceCallKind::SetViewport)) c->Viewport = rect;
}

void TGXNullRenderDevice::SetVertexDeclaration(TGXDeviceVertexDeclaration* declaration) {
  if (!FRecording) return;
  std::string name = HandleName<TGXNullVertexDeclaration>(declaration);
  TGXDeviceCall* c = Record(TGXDeviceCallKind::SetVertexDeclaration, declaration, &name);
  if (auto* d = dynamic_cast<TGXNullVertexDeclaration*>(declaration)) c->Frequencies = d->Frequencies();
}

void TGXNullRenderDevice::SetStreamSource(uint32_t stream, TGXDeviceVertexBuffer* buffer, uint32_t offset,
                                          uint32_t stride) {
  if (!FRecording) return;
  std::string name = HandleName<TGXNullVertexBuffer>(buffer);
  TGXDeviceCall* c = Record(TGXDeviceCallKind::SetStreamSource, buffer, &name);
  c->Values[0] = stream;
  c->Values[1] = offset;
  c->Values[2] = stride;
}

void TGXNullRenderDevice::SetIndices(TGXDeviceIndexBuffer* buffer) {
  if (!FRecording) return;
  std::string name = HandleName<TGXNullIndexBuffer>(buffer);
  Record(TGXDeviceCallKind::SetIndices, buffer, &name);
}

void TGXNullRenderDevice::DrawPrimitive(TGXPrimitiveType type, uint32_t startVertex,
                                        uint32_t primitiveCount) {
  ++FDrawCalls;
  FPrimitives += primitiveCount;
  if (auto* c = Record(TGXDeviceCallKind::DrawPrimitive)) {
    c->Values[0] = type;
    c->Values[1] = startVertex;
    c->Values[2] = primitiveCount;
  }
}

void TGXNullRenderDevice::DrawIndexedPrimitive(TGXPrimitiveType type, int32_t baseVertex, uint32_t minIndex,
                                               uint32_t numVertices, uint32_t startIndex,
                                               uint32_t primitiveCount) {
  ++FDrawCalls;
  FPrimitives += primitiveCount;
  if (auto* c = Record(TGXDeviceCallKind::DrawIndexedPrimitive)) {
    c->Values[0] = type;
    c->Values[1] = baseVertex;
    c->Values[2] = minIndex;
    c->Values[3] = numVertices;
    c->Values[4] = startIndex;
    c->Values[5] = primitiveCount;
  }
}

bool TGXNullRenderDevice::WriteVertexBuffer(TGXDeviceVertexBuffer* buffer, uint32_t offset, const void* data,
                                            uint32_t size) {
  const bool ok = FWriteResult && buffer && uint64_t(offset) + size <= buffer->Size();
  if (FRecording) {
    std::string name = HandleName<TGXNullVertexBuffer>(buffer);
    TGXDeviceCall* c = Record(TGXDeviceCallKind::WriteVertexBuffer, buffer, &name);
    c->Values[0] = offset;
    c->Values[1] = size;
    c->Values[2] = ok;
  }
  return ok;
}

bool TGXNullRenderDevice::WriteVertexBuffer(TGXDeviceVertexBuffer* buffer, uint32_t offset, const void* data,
                                            uint32_t size, uint32_t lockFlags) {
  const bool ok = WriteVertexBuffer(buffer, offset, data, size);
  if (FRecording) {
    FCalls.back().Values[3] = lockFlags;
    FCalls.back().Extended = true;
  }
  return ok;
}

bool TGXNullRenderDevice::WriteIndexBuffer(TGXDeviceIndexBuffer* buffer, uint32_t offset, const void* data,
                                           uint32_t size) {
  const bool ok = FWriteResult && buffer && uint64_t(offset) + size <= buffer->Size();
  if (FRecording) {
    std::string name = HandleName<TGXNullIndexBuffer>(buffer);
    TGXDeviceCall* c = Record(TGXDeviceCallKind::WriteIndexBuffer, buffer, &name);
    c->Values[0] = offset;
    c->Values[1] = size;
    c->Values[2] = ok;
  }
  return ok;
}

void TGXNullRenderDevice::DrawIndexedPrimitiveInstanced(TGXPrimitiveType type, int32_t baseVertex,
                                                        uint32_t minIndex, uint32_t numVertices,
                                                        uint32_t startIndex, uint32_t primitiveCount,
                                                        uint32_t instanceCount) {
  ++FDrawCalls;
  FPrimitives += int64_t(primitiveCount) * instanceCount;
  if (auto* c = Record(TGXDeviceCallKind::DrawIndexedPrimitiveInstanced)) {
    c->Values[0] = type;
    c->Values[1] = baseVertex;
    c->Values[2] = minIndex;
    c->Values[3] = numVertices;
    c->Values[4] = startIndex;
    c->Values[5] = primitiveCount;
    c->InstanceCount = instanceCount;
  }
}

void TGXNullRenderDevice::Note(std::string text) {
  if (FRecording) Record(TGXDeviceCallKind::Note, nullptr, &text);
}

std::vector<std::string> TGXNullRenderDevice::Log() const {
  std::vector<std::string> lines;
  lines.reserve(FCalls.size());
  for (const TGXDeviceCall& call : FCalls) lines.push_back(call.Text());
  return lines;
}

}  // namespace gx
