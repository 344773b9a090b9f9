#pragma once
// The render device over one OpenGL 3.3 core context.
//
// TGXGLContext makes the context: EGL on Mesa's surfaceless platform for headless runs and tests
// (the desktop program will hand in its window's context instead). TGXGLRenderDevice implements
// TGXRenderDevice on it and keeps the system's conventions at the GL boundary:
//
// - Every surface the device makes is a framebuffer attachment stored top-down: GL row 0 is the
//   image's top row. Viewport and scissor rectangles therefore go to GL as they are, read-back
//   needs no flip and a render texture sampled later has v = 0 at its top, as textures loaded
//   from files do. The price is a y-flip in clip space, folded into the projection uploaded (see
//   ClipFix) together with the [0, 1] -> [-1, 1] depth fix, and a mirrored winding, handled
//   where the cull mode is mapped.
// - Cull modes 1 none, 2 clockwise, 3 counter-clockwise (as seen in the image).
// - Colours 0xAARRGGBB; vertex colours (D3DCOLOR) are B, G, R, A bytes.
// - Render states by their stored numbers (SetRenderState), applied lazily before each draw so
//   that a pass can set many of them for the price of the changed ones.
//
// Vertex and index buffers keep a CPU copy of their contents: draws are checked against it, so
// a wrong count or index raises instead of letting the driver read past a buffer.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/GXMath.h"
#include "engine/render/GXRenderDevice.h"

namespace gx {

// ---- vertex elements (stored numbers) ----

enum TGXDeclType : uint8_t {
  GXDeclFloat1 = 0,
  GXDeclFloat2 = 1,
  GXDeclFloat3 = 2,
  GXDeclFloat4 = 3,
  GXDeclColor = 4,
  GXDeclUByte4 = 5,
  GXDeclShort2 = 6,
  GXDeclShort4 = 7,
  GXDeclUByte4N = 8,
  GXDeclShort2N = 9,
  GXDeclShort4N = 10,
  GXDeclUShort2N = 11,
  GXDeclUShort4N = 12,
  GXDeclUDec3 = 13,
  GXDeclDec3N = 14,
  GXDeclFloat16_2 = 15,
  GXDeclFloat16_4 = 16,
};

enum TGXDeclUsage : uint8_t {
  GXUsagePosition = 0,
  GXUsageBlendWeight = 1,
  GXUsageBlendIndices = 2,
  GXUsageNormal = 3,
  GXUsagePSize = 4,
  GXUsageTexCoord = 5,
  GXUsageTangent = 6,
  GXUsageBinormal = 7,
  GXUsageTessFactor = 8,
  GXUsagePositionT = 9,
  GXUsageColor = 10,
  GXUsageFog = 11,
  GXUsageDepth = 12,
  GXUsageSample = 13,
};

struct TGXVertexElement {
  uint16_t Stream = 0;
  uint16_t Offset = 0;
  uint8_t Type = GXDeclFloat3;
  uint8_t Method = 0;
  uint8_t Usage = GXUsagePosition;
  uint8_t UsageIndex = 0;
};

// Bytes of one element of the type; 0 for an unknown type.
uint32_t GXDeclTypeSize(uint32_t type);

// The vertex attribute location a shader input of the usage and index is bound to, or -1 when
// the pair has none. Shaders name their inputs after it (GXGLAttributeName).
int GXGLAttributeLocation(uint32_t usage, uint32_t usageIndex);
// "vPosition", "vNormal", "vColor0", "vTexCoord3", ... for each location; empty when unused.
const char* GXGLAttributeName(int location);
inline constexpr int GXGLAttributeCount = 16;

// ---- render states (stored numbers) ----

enum TGXRenderState : uint32_t {
  GXRSZEnable = 7,
  GXRSZWriteEnable = 14,
  GXRSSrcBlend = 19,
  GXRSDestBlend = 20,
  GXRSCullMode = 22,
  GXRSZFunc = 23,
  GXRSAlphaBlendEnable = 27,
  GXRSColorWriteEnable = 168,
  GXRSBlendOp = 171,
  GXRSSlopeScaleDepthBias = 175,
  GXRSDepthBias = 195,
};
inline constexpr uint32_t GXRenderStateCount = 256;

enum : uint32_t { GXCullNone = 1, GXCullClockwise = 2, GXCullCounterClockwise = 3 };

// Texture filter values: 1 point, 2 linear, 3 anisotropic (mip filter 0: none).
struct TGXTextureFilterLevel {
  uint32_t MinFilter = 2, MagFilter = 2, MipFilter = 1;
  uint32_t MaxAnisotropy = 1;
};

// ---- the context ----

// Adapter facts read from the current context.
struct TGXGLInfo {
  std::string Vendor, Renderer, Version, ShadingLanguageVersion;
  int MajorVersion = 0, MinorVersion = 0;
  int MaxTextureSize = 0, MaxCubeMapSize = 0, MaxRenderbufferSize = 0;
  int MaxTextureUnits = 0, MaxVertexAttribs = 0, MaxColorAttachments = 0, MaxSamples = 0;
  // Drawn by the CPU (no graphics hardware): no anisotropic filtering then.
  bool Software = false;
  bool Anisotropic = false;
  float MaxAnisotropy = 1;
  bool TextureCompressionS3TC = false;
};

// The GL_RENDERER text names a rasteriser that runs on the CPU.
bool GXIsSoftwareRasterizer(std::string_view renderer);

class TGXGLContext {
 public:
  // An OpenGL 3.3 core context on EGL's surfaceless platform, made current on this thread.
  // EDirect3D when none can be made (no EGL, no such platform, no 3.3 core context).
  static std::unique_ptr<TGXGLContext> CreateSurfaceless();
  ~TGXGLContext();
  TGXGLContext(const TGXGLContext&) = delete;
  TGXGLContext& operator=(const TGXGLContext&) = delete;

  void MakeCurrent();
  TGXGLInfo ReadInfo() const;

 private:
  TGXGLContext() = default;
  void* FDisplay = nullptr;
  void* FContext = nullptr;
};

// ---- device objects ----

class TGXGLRenderDevice;

class TGXGLTexture;

class TGXGLSurface : public TGXDeviceSurface {
 public:
  bool IsDepth() const { return FDepth; }
  // The renderbuffer, or 0 for level 0 of a texture.
  uint32_t Name() const { return FName; }
  // The texture whose level 0 the surface is, or null.
  TGXGLTexture* Texture() const { return FTexture.Get(); }
  // Samples per pixel of a multisampled renderbuffer, else 0.
  uint32_t Samples() const { return FSamples; }

 private:
  friend class TGXGLRenderDevice;
  TGXGLSurface(std::shared_ptr<bool> alive, uint32_t name, uint32_t w, uint32_t h, uint32_t format, bool depth)
      : TGXDeviceSurface(w, h, format), FAlive(std::move(alive)), FName(name), FDepth(depth) {}
  ~TGXGLSurface() override;
  void Attach(uint32_t target, uint32_t attachment) const;
  std::shared_ptr<bool> FAlive;
  uint32_t FName;
  bool FDepth;
  TGXRef<TGXGLTexture> FTexture;
  uint32_t FFace = 0;
  uint32_t FSamples = 0;
};

class TGXGLVertexBuffer : public TGXDeviceVertexBuffer {
 public:
  // Copies bytes into the buffer at offset; a range beyond the buffer raises EInvalidParameter.
  void Write(uint32_t offset, const void* data, uint32_t size);
  // Gives up the GL storage (same size and usage) before a write of everything.
  void Orphan();
  const std::vector<uint8_t>& Data() const { return FData; }
  uint32_t Name() const { return FName; }
  bool IsDynamic() const { return FDynamic; }

 private:
  friend class TGXGLRenderDevice;
  bool FDynamic = false;
  TGXGLVertexBuffer(std::shared_ptr<bool> alive, uint32_t name, uint32_t size)
      : TGXDeviceVertexBuffer(size), FAlive(std::move(alive)), FName(name), FData(size) {}
  ~TGXGLVertexBuffer() override;
  std::shared_ptr<bool> FAlive;
  uint32_t FName;
  std::vector<uint8_t> FData;
};

class TGXGLIndexBuffer : public TGXDeviceIndexBuffer {
 public:
  void Write(uint32_t offset, const void* data, uint32_t size);
  const std::vector<uint8_t>& Data() const { return FData; }
  uint32_t IndexSize() const { return Format() == GXFormatIndex32 ? 4 : 2; }
  uint32_t IndexCount() const { return Size() / IndexSize(); }
  // The index at position i (i < IndexCount()).
  uint32_t Index(uint32_t i) const;
  uint32_t Name() const { return FName; }

 private:
  friend class TGXGLRenderDevice;
  TGXGLIndexBuffer(std::shared_ptr<bool> alive, uint32_t name, uint32_t size, uint32_t format)
      : TGXDeviceIndexBuffer(size, format), FAlive(std::move(alive)), FName(name), FData(size) {}
  ~TGXGLIndexBuffer() override;
  std::shared_ptr<bool> FAlive;
  uint32_t FName;
  std::vector<uint8_t> FData;
  // The largest index written, so that most draws are checked without a scan.
  uint32_t FMaxIndex = 0;
};

class TGXGLVertexDeclaration : public TGXDeviceVertexDeclaration {
 public:
  const std::vector<TGXVertexElement>& Elements() const { return FElements; }
  // The stream's instance frequency (0: per vertex); see TGXVertexLayoutDecl.
  uint32_t Frequency(uint32_t stream) const { return stream < FFrequencies.size() ? FFrequencies[stream] : 0; }

 private:
  friend class TGXGLRenderDevice;
  TGXGLVertexDeclaration(std::vector<TGXVertexElement> elements, std::vector<uint32_t> frequencies)
      : FElements(std::move(elements)), FFrequencies(std::move(frequencies)) {}
  std::vector<TGXVertexElement> FElements;
  std::vector<uint32_t> FFrequencies;
};

// A texture (2D or cube) with its levels, made from a DDS layout or empty.
class TGXGLTexture : public TGXRefCounted {
 public:
  uint32_t Name() const { return FName; }
  // A number the device gives each texture it makes, never repeated: a new texture may get a
  // freed one's address and GL name, but never its serial.
  uint64_t Serial() const { return FSerial; }
  uint32_t Width() const { return FWidth; }
  uint32_t Height() const { return FHeight; }
  uint32_t Levels() const { return FLevels; }
  uint32_t Format() const { return FFormat; }
  bool Cube() const { return FCube; }

 private:
  friend class TGXGLRenderDevice;
  TGXGLTexture(std::shared_ptr<bool> alive, uint32_t name, uint64_t serial)
      : FAlive(std::move(alive)), FName(name), FSerial(serial) {}
  ~TGXGLTexture() override;
  std::shared_ptr<bool> FAlive;
  uint32_t FName;
  uint64_t FSerial;
  uint32_t FWidth = 0, FHeight = 0, FLevels = 0, FFormat = 0;
  bool FCube = false;
};

struct TGXDdsImage;
struct TGXImage;

// ---- the device ----

class TGXGLRenderDevice : public TGXRenderDevice {
 public:
  // Takes over the context (made current); the device's objects must be freed on its thread.
  explicit TGXGLRenderDevice(std::unique_ptr<TGXGLContext> context);
  ~TGXGLRenderDevice() override;

  TGXGLContext& Context() const { return *FContext; }

  // Colour formats A8R8G8B8, X8R8G8B8, R5G6B5, X1R5G5B5; depth formats D16, D24X8, D24S8 (75),
  // D32. Other formats and sizes of 0 or beyond the adapter's limit raise EDirect3D.
  TGXRef<TGXDeviceSurface> CreateRenderTarget(uint32_t width, uint32_t height, uint32_t format) override;
  TGXRef<TGXDeviceSurface> CreateDepthStencilSurface(uint32_t width, uint32_t height, uint32_t format) override;
  // The same with several samples per pixel (clamped to what the driver offers; 0 or 1: one). A
  // frame drawn into a multisampled colour surface is resolved by ReadPixels; colour and depth
  // surfaces drawn together must have the same sample count.
  TGXRef<TGXDeviceSurface> CreateMultisampledSurface(uint32_t width, uint32_t height, uint32_t format, bool depth,
                                                     uint32_t samples);
  TGXRef<TGXDeviceVertexBuffer> CreateVertexBuffer(uint32_t size) override;
  // Dynamic buffers are GL_DYNAMIC_DRAW; the pool does not matter (buffers keep a CPU copy).
  TGXRef<TGXDeviceVertexBuffer> CreateVertexBuffer(uint32_t size, uint32_t usage, uint32_t pool) override;
  TGXRef<TGXDeviceIndexBuffer> CreateIndexBuffer(uint32_t size, uint32_t format) override;
  // TGXGLVertexBuffer::Write / TGXGLIndexBuffer::Write; false for a buffer of another device or a
  // range beyond the buffer.
  bool WriteVertexBuffer(TGXDeviceVertexBuffer* buffer, uint32_t offset, const void* data, uint32_t size) override;
  // With GXLockDiscard a write of the whole buffer gives GL fresh storage first (orphaning).
  bool WriteVertexBuffer(TGXDeviceVertexBuffer* buffer, uint32_t offset, const void* data, uint32_t size,
                         uint32_t lockFlags) override;
  bool WriteIndexBuffer(TGXDeviceIndexBuffer* buffer, uint32_t offset, const void* data, uint32_t size) override;
  // Elements with an unknown type, a usage without attribute location or a stream beyond the
  // device's raise EInvalidParameter. frequencies: per stream from 0, the instance frequency
  // (glVertexAttribDivisor; 0 per vertex); more than the device's streams raise EInvalidParameter.
  TGXRef<TGXDeviceVertexDeclaration> CreateVertexDeclaration(std::span<const TGXVertexElement> elements,
                                                             std::span<const uint32_t> frequencies = {});

  bool BeginScene() override;
  void EndScene() override;
  void Clear(uint32_t flags, uint32_t color, float z, uint32_t stencil) override;
  void SetRenderTarget(TGXDeviceSurface* surface) override;
  void SetDepthStencilSurface(TGXDeviceSurface* surface) override;
  void SetViewport(const TGXViewportRect& rect) override;
  void SetVertexDeclaration(TGXDeviceVertexDeclaration* declaration) override;
  void SetStreamSource(uint32_t stream, TGXDeviceVertexBuffer* buffer, uint32_t offset, uint32_t stride) override;
  void SetIndices(TGXDeviceIndexBuffer* buffer) override;
  void DrawPrimitive(TGXPrimitiveType type, uint32_t startVertex, uint32_t primitiveCount) override;
  void DrawIndexedPrimitive(TGXPrimitiveType type, int32_t baseVertex, uint32_t minIndex, uint32_t numVertices,
                            uint32_t startIndex, uint32_t primitiveCount) override;
  // Checked like DrawIndexedPrimitive (every instance reads the same vertices); streams that
  // advance per instance are checked against the instance count.
  void DrawIndexedPrimitiveInstanced(TGXPrimitiveType type, int32_t baseVertex, uint32_t minIndex,
                                     uint32_t numVertices, uint32_t startIndex, uint32_t primitiveCount,
                                     uint32_t instanceCount) override;

  // A texture holding the image's faces and levels read from data (the file the layout was read
  // from); GL_TEXTURE_MAX_LEVEL follows the level count. EDirect3D "D3DXCreateTexture failed" for
  // a format the adapter cannot take.
  TGXRef<TGXGLTexture> CreateTexture(const TGXDdsImage& image, std::span<const uint8_t> data);
  // A texture of a decoded image (A8R8G8B8 when it has alpha, else X8R8G8B8) with levels mip
  // levels generated from it; 0 makes the complete chain.
  TGXRef<TGXGLTexture> CreateTexture(const TGXImage& image, uint32_t levels);
  // An empty texture (cube: six faces of width x width) of the colour format with levels levels
  // (0: the complete chain). Formats and sizes as for render targets; others raise EDirect3D.
  TGXRef<TGXGLTexture> CreateEmptyTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t format,
                                          bool cube);
  // Fills a level of a plain texture made by CreateEmptyTexture with pixels 0xAARRGGBB (row 0 the
  // image top; exactly the level's width x height of them, else EInvalidParameter).
  void WriteTexture(TGXGLTexture* texture, uint32_t level, std::span<const uint32_t> pixels);
  // A colour surface on level 0 of a face of a texture made by CreateEmptyTexture (face 0 for a
  // plain texture), so that the texture can be drawn into and sampled afterwards.
  TGXRef<TGXDeviceSurface> CreateTextureSurface(TGXGLTexture* texture, uint32_t face);
  // A render texture: a texture of one level whose level 0 is a colour surface (formats as for
  // CreateRenderTarget). Drawn top-down like every surface, so v = 0 samples the image top.
  TGXRef<TGXDeviceSurface> CreateRenderTexture(uint32_t width, uint32_t height, uint32_t format);
  // Binds the texture (null unbinds) to the unit, unless it is bound there already.
  void SetTexture(uint32_t unit, TGXGLTexture* texture);
  // Binds the sampler object to the unit unless it is bound there; ForgetSampler before the
  // object is deleted, so that a new object of the same name is bound again.
  void BindSampler(uint32_t unit, uint32_t sampler);
  void ForgetSampler(uint32_t sampler);

  // The filtering of every sampler state an effect does not set itself (the adapter's filter
  // level for the texture-quality setting). Effects take a new level at their next pass.
  void SetFilterLevel(const TGXTextureFilterLevel& level);
  const TGXTextureFilterLevel& FilterLevel() const { return FFilterLevel; }
  uint64_t FilterGeneration() const { return FFilterGeneration; }
  bool Anisotropic() const { return FAnisotropic; }

  // Render states by their stored numbers; applied before the next draw.
  void SetRenderState(uint32_t state, uint32_t value);
  uint32_t RenderState(uint32_t state) const;

  // The program the next draws use (0: none). Set by the effects; the device only binds it.
  void UseProgram(uint32_t program);

  // Multiply a projection by this before uploading it: flips y for the top-down targets and maps
  // depth from [0, 1] to GL's [-1, 1].
  TGXMatrix ClipFix() const;

  // The colour surface's pixels as 0xAARRGGBB, row 0 = image top (X8 formats read with alpha
  // 0xFF). EInvalidParameter for a depth surface or one of another device.
  std::vector<uint32_t> ReadPixels(TGXDeviceSurface* surface);

  // A test hook: a lost device begins no scene until it is marked found again.
  void SetLost(bool value) { FLost = value; }
  bool Lost() const { return FLost; }

  // Raises EDirect3D with the operation and the GL error if one is pending.
  void CheckError(const char* operation) const;

 private:
  void ApplyFramebuffer();
  void ApplyStates();
  void ApplyAttributes();
  bool VertexRangeValid(uint64_t firstVertex, uint64_t vertexCount) const;
  void CheckVertexRange(const char* operation, uint64_t firstVertex, uint64_t vertexCount) const;
  // The streams that advance per instance hold the elements instanceCount instances read.
  void CheckInstanceRange(const char* operation, uint64_t instanceCount) const;
  // Checks an indexed draw of instanceCount instances and applies the pending state; the index
  // count to draw (0: nothing).
  uint64_t PrepareIndexedDraw(const char* operation, TGXPrimitiveType type, int32_t baseVertex, uint32_t startIndex,
                              uint32_t primitiveCount, uint64_t instanceCount);
  TGXRef<TGXDeviceSurface> CreateSurface(uint32_t width, uint32_t height, uint32_t format, bool depth,
                                         uint32_t samples = 0);

  struct TStream {
    TGXRef<TGXGLVertexBuffer> Buffer;
    uint32_t Offset = 0, Stride = 0;
  };

  std::unique_ptr<TGXGLContext> FContext;
  std::shared_ptr<bool> FAlive;
  int FMaxRenderbufferSize = 0;
  int FMaxSamples = 0;
  uint32_t FFramebuffer = 0;
  uint32_t FReadFramebuffer = 0;
  uint32_t FVertexArray = 0;
  bool FLost = false;
  bool FInScene = false;
  uint64_t FTextureSerial = 0;

  TGXRef<TGXGLSurface> FColor, FDepth;
  bool FFramebufferDirty = true;
  TGXViewportRect FViewport;

  TGXRef<TGXGLVertexDeclaration> FDeclaration;
  std::array<TStream, GXMaxVertexStreams> FStreams;
  TGXRef<TGXGLIndexBuffer> FIndices;
  bool FAttributesDirty = true;
  uint32_t FEnabledAttributes = 0;
  // The divisor each attribute location has in the vertex array (GL starts them at 0).
  std::array<uint32_t, GXGLAttributeCount> FDivisors{};

  // What each texture unit has bound (held, so that a bound texture's name cannot be reused
  // while the cache remembers it); units beyond the cache are always bound anew.
  static constexpr uint32_t kCachedUnits = 16;
  std::array<TGXRef<TGXGLTexture>, kCachedUnits> FTextureUnits;
  std::array<bool, kCachedUnits> FTextureUnitKnown{};
  std::array<uint32_t, kCachedUnits> FSamplerUnits{};
  void ForgetTextureUnit0() {
    FTextureUnits[0].Reset();
    FTextureUnitKnown[0] = false;
  }

  std::array<uint32_t, GXRenderStateCount> FStates{};
  std::array<uint32_t, GXRenderStateCount> FApplied{};
  bool FStatesDirty = true;
  bool FForceStates = true;
  uint32_t FProgram = 0;
  // Until a window applies the adapter's level: linear, with linear mip filtering.
  TGXTextureFilterLevel FFilterLevel{2, 2, 2, 1};
  uint64_t FFilterGeneration = 1;
  bool FAnisotropic = false;
};

}  // namespace gx
