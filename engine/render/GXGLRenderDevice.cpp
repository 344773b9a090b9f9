#include "engine/render/GXGLRenderDevice.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <cstring>

#include "engine/core/GXException.h"
#include "engine/core/GXStrings.h"
#include "engine/render/GXDdsReader.h"
#include "engine/render/GXImageReader.h"

namespace gx {

namespace {

[[noreturn]] void Fail(const char* object, const char* operation, std::string reason, long long code = 0) {
  throw EDirect3D({TGXExceptionArg::Object(object), operation, std::move(reason), code});
}

[[noreturn]] void Invalid(const char* operation, std::string reason) {
  throw EInvalidParameter({TGXExceptionArg::Object("TGXGLRenderDevice"), operation, std::move(reason)});
}

GLenum GLPrimitive(TGXPrimitiveType type) {
  switch (type) {
    case GXPointList:
      return GL_POINTS;
    case GXLineList:
      return GL_LINES;
    case GXLineStrip:
      return GL_LINE_STRIP;
    case GXTriangleList:
      return GL_TRIANGLES;
    case GXTriangleStrip:
      return GL_TRIANGLE_STRIP;
    case GXTriangleFan:
      return GL_TRIANGLE_FAN;
  }
  return GL_NONE;
}

// Vertices (or indices) that primitiveCount primitives of the type take; 0 for an unknown type.
uint64_t VerticesFor(TGXPrimitiveType type, uint64_t count) {
  switch (type) {
    case GXPointList:
      return count;
    case GXLineList:
      return count * 2;
    case GXLineStrip:
      return count + 1;
    case GXTriangleList:
      return count * 3;
    case GXTriangleStrip:
    case GXTriangleFan:
      return count + 2;
  }
  return 0;
}

GLenum BlendFactor(uint32_t v) {
  switch (v) {
    case 1:
      return GL_ZERO;
    case 2:
      return GL_ONE;
    case 3:
      return GL_SRC_COLOR;
    case 4:
      return GL_ONE_MINUS_SRC_COLOR;
    case 5:
      return GL_SRC_ALPHA;
    case 6:
      return GL_ONE_MINUS_SRC_ALPHA;
    case 7:
      return GL_DST_ALPHA;
    case 8:
      return GL_ONE_MINUS_DST_ALPHA;
    case 9:
      return GL_DST_COLOR;
    case 10:
      return GL_ONE_MINUS_DST_COLOR;
    case 11:
      return GL_SRC_ALPHA_SATURATE;
  }
  return GL_ONE;
}

GLenum CompareFunc(uint32_t v) {
  switch (v) {
    case 1:
      return GL_NEVER;
    case 2:
      return GL_LESS;
    case 3:
      return GL_EQUAL;
    case 4:
      return GL_LEQUAL;
    case 5:
      return GL_GREATER;
    case 6:
      return GL_NOTEQUAL;
    case 7:
      return GL_GEQUAL;
  }
  return GL_ALWAYS;
}

GLenum BlendEquation(uint32_t v) {
  switch (v) {
    case 2:
      return GL_FUNC_SUBTRACT;
    case 3:
      return GL_FUNC_REVERSE_SUBTRACT;
    case 4:
      return GL_MIN;
    case 5:
      return GL_MAX;
  }
  return GL_FUNC_ADD;
}

float AsFloat(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

struct TAttribFormat {
  GLint Size;
  GLenum Type;
  GLboolean Normalized;
};

TAttribFormat AttribFormat(uint32_t type) {
  switch (type) {
    case GXDeclFloat1:
      return {1, GL_FLOAT, GL_FALSE};
    case GXDeclFloat2:
      return {2, GL_FLOAT, GL_FALSE};
    case GXDeclFloat3:
      return {3, GL_FLOAT, GL_FALSE};
    case GXDeclFloat4:
      return {4, GL_FLOAT, GL_FALSE};
    // B, G, R, A bytes in memory: GL swizzles them into r, g, b, a.
    case GXDeclColor:
      return {GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE};
    case GXDeclUByte4:
      return {4, GL_UNSIGNED_BYTE, GL_FALSE};
    case GXDeclShort2:
      return {2, GL_SHORT, GL_FALSE};
    case GXDeclShort4:
      return {4, GL_SHORT, GL_FALSE};
    case GXDeclUByte4N:
      return {4, GL_UNSIGNED_BYTE, GL_TRUE};
    case GXDeclShort2N:
      return {2, GL_SHORT, GL_TRUE};
    case GXDeclShort4N:
      return {4, GL_SHORT, GL_TRUE};
    case GXDeclUShort2N:
      return {2, GL_UNSIGNED_SHORT, GL_TRUE};
    case GXDeclUShort4N:
      return {4, GL_UNSIGNED_SHORT, GL_TRUE};
    case GXDeclUDec3:
      return {4, GL_UNSIGNED_INT_2_10_10_10_REV, GL_FALSE};
    case GXDeclDec3N:
      return {4, GL_INT_2_10_10_10_REV, GL_TRUE};
    case GXDeclFloat16_2:
      return {2, GL_HALF_FLOAT, GL_FALSE};
    case GXDeclFloat16_4:
      return {4, GL_HALF_FLOAT, GL_FALSE};
  }
  return {0, GL_NONE, GL_FALSE};
}

const char* const kAttributeNames[GXGLAttributeCount] = {
    "vPosition",  "vNormal",    "vColor0",      "vColor1",      "vTexCoord0", "vTexCoord1",
    "vTexCoord2", "vTexCoord3", "vTexCoord4",   "vTexCoord5",   "vTexCoord6", "vTexCoord7",
    "vTangent",   "vBinormal",  "vBlendWeight", "vBlendIndices"};

}  // namespace

uint32_t GXDeclTypeSize(uint32_t type) {
  switch (type) {
    case GXDeclFloat1:
    case GXDeclColor:
    case GXDeclUByte4:
    case GXDeclShort2:
    case GXDeclUByte4N:
    case GXDeclShort2N:
    case GXDeclUShort2N:
    case GXDeclUDec3:
    case GXDeclDec3N:
    case GXDeclFloat16_2:
      return 4;
    case GXDeclFloat2:
    case GXDeclShort4:
    case GXDeclShort4N:
    case GXDeclUShort4N:
    case GXDeclFloat16_4:
      return 8;
    case GXDeclFloat3:
      return 12;
    case GXDeclFloat4:
      return 16;
  }
  return 0;
}

int GXGLAttributeLocation(uint32_t usage, uint32_t usageIndex) {
  switch (usage) {
    case GXUsagePosition:
    case GXUsagePositionT:
      return usageIndex == 0 ? 0 : -1;
    case GXUsageNormal:
      return usageIndex == 0 ? 1 : -1;
    case GXUsageColor:
      return usageIndex < 2 ? 2 + static_cast<int>(usageIndex) : -1;
    case GXUsageTexCoord:
      return usageIndex < 8 ? 4 + static_cast<int>(usageIndex) : -1;
    case GXUsageTangent:
      return usageIndex == 0 ? 12 : -1;
    case GXUsageBinormal:
      return usageIndex == 0 ? 13 : -1;
    case GXUsageBlendWeight:
      return usageIndex == 0 ? 14 : -1;
    case GXUsageBlendIndices:
      return usageIndex == 0 ? 15 : -1;
  }
  return -1;
}

const char* GXGLAttributeName(int location) {
  return location >= 0 && location < GXGLAttributeCount ? kAttributeNames[location] : "";
}

// ---- context ----

std::unique_ptr<TGXGLContext> TGXGLContext::CreateSurfaceless() {
  std::unique_ptr<TGXGLContext> result(new TGXGLContext());
  // Through the client extension: epoxy cannot tell the EGL version before a display exists.
  if (!epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_MESA_platform_surfaceless"))
    Fail("TGXGLContext", "CreateSurfaceless", "No surfaceless EGL platform");
  EGLDisplay display = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  if (display == EGL_NO_DISPLAY)
    Fail("TGXGLContext", "CreateSurfaceless", "No surfaceless EGL display", eglGetError());
  EGLint major = 0, minor = 0;
  if (!eglInitialize(display, &major, &minor))
    Fail("TGXGLContext", "CreateSurfaceless", "eglInitialize failed", eglGetError());
  result->FDisplay = display;
  if (!eglBindAPI(EGL_OPENGL_API))
    Fail("TGXGLContext", "CreateSurfaceless", "No desktop OpenGL", eglGetError());
  // Every drawing goes into framebuffer objects, so the context needs no config of its own.
  EGLConfig config = EGL_NO_CONFIG_KHR;
  if (!epoxy_has_egl_extension(display, "EGL_KHR_no_config_context")) {
    const EGLint attributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLint count = 0;
    if (!eglChooseConfig(display, attributes, &config, 1, &count) || count < 1)
      Fail("TGXGLContext", "CreateSurfaceless", "No OpenGL config", eglGetError());
  }
  const EGLint contextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                      3,
                                      EGL_CONTEXT_MINOR_VERSION,
                                      3,
                                      EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                      EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                      EGL_NONE};
  EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
  if (context == EGL_NO_CONTEXT)
    Fail("TGXGLContext", "CreateSurfaceless", "No OpenGL 3.3 core context", eglGetError());
  result->FContext = context;
  result->MakeCurrent();
  return result;
}

TGXGLContext::~TGXGLContext() {
  auto display = static_cast<EGLDisplay>(FDisplay);
  if (!display) return;
  eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  if (FContext) eglDestroyContext(display, static_cast<EGLContext>(FContext));
  // The display is not terminated: EGL hands the same display to every caller in the process,
  // and terminating it would pull it from under any other context on it (a second render core,
  // the desktop program's window). It would also unload the driver, whose allocations the leak
  // checker then can no longer trace. Initializing it again later is cheap.
  eglReleaseThread();
}

void TGXGLContext::MakeCurrent() {
  if (!eglMakeCurrent(static_cast<EGLDisplay>(FDisplay), EGL_NO_SURFACE, EGL_NO_SURFACE,
                      static_cast<EGLContext>(FContext)))
    Fail("TGXGLContext", "MakeCurrent", "eglMakeCurrent failed", eglGetError());
}

bool GXIsSoftwareRasterizer(std::string_view renderer) {
  const std::string name = LowerCaseText(renderer);
  for (const char* marker : {"llvmpipe", "softpipe", "swrast", "software rasterizer"})
    if (name.find(marker) != std::string::npos) return true;
  return false;
}

TGXGLInfo TGXGLContext::ReadInfo() const {
  TGXGLInfo info;
  auto text = [](GLenum name) {
    const auto* s = reinterpret_cast<const char*>(glGetString(name));
    return std::string(s ? s : "");
  };
  auto integer = [](GLenum name) {
    GLint v = 0;
    glGetIntegerv(name, &v);
    return static_cast<int>(v);
  };
  info.Vendor = text(GL_VENDOR);
  info.Renderer = text(GL_RENDERER);
  info.Version = text(GL_VERSION);
  info.ShadingLanguageVersion = text(GL_SHADING_LANGUAGE_VERSION);
  info.MajorVersion = integer(GL_MAJOR_VERSION);
  info.MinorVersion = integer(GL_MINOR_VERSION);
  info.MaxTextureSize = integer(GL_MAX_TEXTURE_SIZE);
  info.MaxCubeMapSize = integer(GL_MAX_CUBE_MAP_TEXTURE_SIZE);
  info.MaxRenderbufferSize = integer(GL_MAX_RENDERBUFFER_SIZE);
  info.MaxTextureUnits = integer(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS);
  info.MaxVertexAttribs = integer(GL_MAX_VERTEX_ATTRIBS);
  info.MaxColorAttachments = integer(GL_MAX_COLOR_ATTACHMENTS);
  info.MaxSamples = integer(GL_MAX_SAMPLES);
  info.Software = GXIsSoftwareRasterizer(info.Renderer);
  // A software rasteriser's anisotropic filtering can take tens of seconds for one draw of a
  // few hundred triangles (seen on a moving locomotive, depending on where it stood on screen),
  // and costs a fifth of every frame besides. There the adapter offers trilinear filtering only.
  info.Anisotropic = !info.Software && (epoxy_gl_version() >= 46 ||
                                        epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic") ||
                                        epoxy_has_gl_extension("GL_ARB_texture_filter_anisotropic"));
  if (info.Anisotropic) {
    GLfloat v = 1;
    glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY, &v);
    info.MaxAnisotropy = v;
  }
  info.TextureCompressionS3TC = epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc");
  glGetError();  // an implementation without the anisotropy query leaves an error behind
  return info;
}

// ---- objects ----

TGXGLSurface::~TGXGLSurface() {
  if (*FAlive && FName) glDeleteRenderbuffers(1, &FName);
}

void TGXGLSurface::Attach(uint32_t target, uint32_t attachment) const {
  if (FTexture)
    glFramebufferTexture2D(target, attachment,
                           FTexture->Cube() ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + FFace : GL_TEXTURE_2D,
                           FTexture->Name(), 0);
  else
    glFramebufferRenderbuffer(target, attachment, GL_RENDERBUFFER, FName);
}

TGXGLVertexBuffer::~TGXGLVertexBuffer() {
  if (*FAlive && FName) glDeleteBuffers(1, &FName);
}

TGXGLIndexBuffer::~TGXGLIndexBuffer() {
  if (*FAlive && FName) glDeleteBuffers(1, &FName);
}

void TGXGLVertexBuffer::Write(uint32_t offset, const void* data, uint32_t size) {
  if (offset > FData.size() || size > FData.size() - offset)
    throw EInvalidParameter(
        {TGXExceptionArg::Object("TGXGLVertexBuffer"), "Write", "Range beyond the buffer"});
  if (size == 0) return;
  std::memcpy(FData.data() + offset, data, size);
  if (!*FAlive) return;
  glBindBuffer(GL_ARRAY_BUFFER, FName);
  glBufferSubData(GL_ARRAY_BUFFER, offset, size, data);
}

void TGXGLVertexBuffer::Orphan() {
  if (!*FAlive) return;
  glBindBuffer(GL_ARRAY_BUFFER, FName);
  glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(FData.size()), nullptr,
               FDynamic ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
}

void TGXGLIndexBuffer::Write(uint32_t offset, const void* data, uint32_t size) {
  if (offset > FData.size() || size > FData.size() - offset)
    throw EInvalidParameter(
        {TGXExceptionArg::Object("TGXGLIndexBuffer"), "Write", "Range beyond the buffer"});
  if (size == 0) return;
  std::memcpy(FData.data() + offset, data, size);
  const uint32_t n = IndexSize();
  for (uint32_t i = offset / n; i < (offset + size + n - 1) / n && i < IndexCount(); ++i)
    FMaxIndex = std::max(FMaxIndex, Index(i));
  if (!*FAlive) return;
  // The element binding belongs to the vertex array, which the device keeps bound: binding
  // here only changes what the next draw binds anyway.
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, FName);
  glBufferSubData(GL_ELEMENT_ARRAY_BUFFER, offset, size, data);
}

uint32_t TGXGLIndexBuffer::Index(uint32_t i) const {
  if (IndexSize() == 4) {
    uint32_t v;
    std::memcpy(&v, FData.data() + size_t(i) * 4, 4);
    return v;
  }
  uint16_t v;
  std::memcpy(&v, FData.data() + size_t(i) * 2, 2);
  return v;
}

TGXGLTexture::~TGXGLTexture() {
  if (*FAlive && FName) glDeleteTextures(1, &FName);
}

// ---- device ----

TGXGLRenderDevice::TGXGLRenderDevice(std::unique_ptr<TGXGLContext> context)
    : FContext(std::move(context)), FAlive(std::make_shared<bool>(true)) {
  FContext->MakeCurrent();
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &FMaxRenderbufferSize);
  glGetIntegerv(GL_MAX_SAMPLES, &FMaxSamples);
  FAnisotropic = epoxy_gl_version() >= 46 || epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic") ||
                 epoxy_has_gl_extension("GL_ARB_texture_filter_anisotropic");
  glGenFramebuffers(1, &FFramebuffer);
  glGenFramebuffers(1, &FReadFramebuffer);
  glGenVertexArrays(1, &FVertexArray);
  glBindVertexArray(FVertexArray);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  // The defaults of the stored render states.
  FStates[GXRSZEnable] = 1;
  FStates[GXRSZWriteEnable] = 1;
  FStates[GXRSSrcBlend] = 2;
  FStates[GXRSDestBlend] = 1;
  FStates[GXRSCullMode] = GXCullCounterClockwise;
  FStates[GXRSZFunc] = 4;
  FStates[GXRSColorWriteEnable] = 0xF;
  FStates[GXRSBlendOp] = 1;
  CheckError("Create");
}

TGXGLRenderDevice::~TGXGLRenderDevice() {
  FColor.Reset();
  FDepth.Reset();
  FDeclaration.Reset();
  for (TStream& s : FStreams) s = TStream();
  FIndices.Reset();
  for (auto& texture : FTextureUnits) texture.Reset();
  glBindVertexArray(0);
  glDeleteVertexArrays(1, &FVertexArray);
  glDeleteFramebuffers(1, &FFramebuffer);
  glDeleteFramebuffers(1, &FReadFramebuffer);
  // Objects still referenced elsewhere must not touch GL once the context is gone.
  *FAlive = false;
}

void TGXGLRenderDevice::CheckError(const char* operation) const {
  const GLenum error = glGetError();
  if (error != GL_NO_ERROR)
    Fail("TGXGLRenderDevice", operation, "OpenGL error", static_cast<long long>(error));
}

TGXRef<TGXDeviceSurface> TGXGLRenderDevice::CreateSurface(uint32_t width, uint32_t height, uint32_t format,
                                                          bool depth, uint32_t samples) {
  const char* operation = depth ? "CreateDepthStencilSurface" : "CreateRenderTarget";
  GLenum internal = GL_NONE;
  if (depth) {
    switch (format) {
      case GXFormatD16:
        internal = GL_DEPTH_COMPONENT16;
        break;
      case GXFormatD24X8:
        internal = GL_DEPTH_COMPONENT24;
        break;
      case 75:
        internal = GL_DEPTH24_STENCIL8;
        break;
      case GXFormatD32:
        internal = GL_DEPTH_COMPONENT32F;
        break;
    }
  } else {
    switch (format) {
      case GXFormatA8R8G8B8:
      case GXFormatX8R8G8B8:
        internal = GL_RGBA8;
        break;
      case GXFormatR5G6B5:
        internal = GL_RGB565;
        break;
      case GXFormatX1R5G5B5:
        internal = GL_RGB5_A1;
        break;
    }
  }
  if (internal == GL_NONE) Fail("TGXGLRenderDevice", operation, "Unsupported format", format);
  if (width == 0 || height == 0 || width > uint32_t(FMaxRenderbufferSize) ||
      height > uint32_t(FMaxRenderbufferSize))
    Fail("TGXGLRenderDevice", operation, "Unsupported size", static_cast<long long>(width) * 65536 + height);
  GLuint name = 0;
  glGenRenderbuffers(1, &name);
  glBindRenderbuffer(GL_RENDERBUFFER, name);
  samples = std::min(samples, uint32_t(std::max(FMaxSamples, 0)));
  // Resolving copies into an 8-bit colour buffer, which needs a source of the same format.
  if (!depth && internal != GL_RGBA8) samples = 0;
  if (samples > 1)
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, GLsizei(samples), internal, GLsizei(width), GLsizei(height));
  else
    glRenderbufferStorage(GL_RENDERBUFFER, internal, GLsizei(width), GLsizei(height));
  TGXRef<TGXGLSurface> surface(new TGXGLSurface(FAlive, name, width, height, format, depth));
  surface->FSamples = samples > 1 ? samples : 0;
  CheckError(operation);
  return surface;
}

TGXRef<TGXDeviceSurface> TGXGLRenderDevice::CreateRenderTarget(uint32_t width, uint32_t height,
                                                               uint32_t format) {
  return CreateSurface(width, height, format, false);
}

TGXRef<TGXDeviceSurface> TGXGLRenderDevice::CreateMultisampledSurface(uint32_t width, uint32_t height,
                                                                      uint32_t format, bool depth, uint32_t samples) {
  return CreateSurface(width, height, format, depth, samples);
}

TGXRef<TGXDeviceSurface> TGXGLRenderDevice::CreateDepthStencilSurface(uint32_t width, uint32_t height,
                                                                      uint32_t format) {
  return CreateSurface(width, height, format, true);
}

TGXRef<TGXDeviceVertexBuffer> TGXGLRenderDevice::CreateVertexBuffer(uint32_t size) {
  if (size == 0) Fail("TGXGLRenderDevice", "CreateVertexBuffer", "CreateVertexBuffer failed");
  GLuint name = 0;
  glGenBuffers(1, &name);
  glBindBuffer(GL_ARRAY_BUFFER, name);
  glBufferData(GL_ARRAY_BUFFER, size, nullptr, GL_STATIC_DRAW);
  TGXRef<TGXGLVertexBuffer> buffer(new TGXGLVertexBuffer(FAlive, name, size));
  CheckError("CreateVertexBuffer");
  return buffer;
}

TGXRef<TGXDeviceVertexBuffer> TGXGLRenderDevice::CreateVertexBuffer(uint32_t size, uint32_t usage,
                                                                    uint32_t pool) {
  (void)pool;
  if (!(usage & GXBufferUsageDynamic)) return CreateVertexBuffer(size);
  if (size == 0) Fail("TGXGLRenderDevice", "CreateVertexBuffer", "CreateVertexBuffer failed");
  GLuint name = 0;
  glGenBuffers(1, &name);
  glBindBuffer(GL_ARRAY_BUFFER, name);
  glBufferData(GL_ARRAY_BUFFER, size, nullptr, GL_DYNAMIC_DRAW);
  TGXRef<TGXGLVertexBuffer> buffer(new TGXGLVertexBuffer(FAlive, name, size));
  buffer->FDynamic = true;
  CheckError("CreateVertexBuffer");
  return buffer;
}

TGXRef<TGXDeviceIndexBuffer> TGXGLRenderDevice::CreateIndexBuffer(uint32_t size, uint32_t format) {
  if (format != GXFormatIndex16 && format != GXFormatIndex32)
    Fail("TGXGLRenderDevice", "CreateIndexBuffer", "Unsupported format", format);
  if (size == 0 || size % (format == GXFormatIndex32 ? 4 : 2) != 0)
    Fail("TGXGLRenderDevice", "CreateIndexBuffer", "CreateIndexBuffer failed", size);
  GLuint name = 0;
  glGenBuffers(1, &name);
  // Created through the array target: the element target would change the bound vertex array.
  glBindBuffer(GL_ARRAY_BUFFER, name);
  glBufferData(GL_ARRAY_BUFFER, size, nullptr, GL_STATIC_DRAW);
  TGXRef<TGXGLIndexBuffer> buffer(new TGXGLIndexBuffer(FAlive, name, size, format));
  CheckError("CreateIndexBuffer");
  return buffer;
}

TGXRef<TGXDeviceVertexDeclaration> TGXGLRenderDevice::CreateVertexDeclaration(
    std::span<const TGXVertexElement> elements, std::span<const uint32_t> frequencies) {
  if (frequencies.size() > GXMaxVertexStreams) Invalid("CreateVertexDeclaration", "Stream out of range");
  uint32_t used = 0;
  for (const TGXVertexElement& e : elements) {
    if (GXDeclTypeSize(e.Type) == 0) Invalid("CreateVertexDeclaration", "Unknown element type");
    if (e.Stream >= GXMaxVertexStreams) Invalid("CreateVertexDeclaration", "Stream out of range");
    const int location = GXGLAttributeLocation(e.Usage, e.UsageIndex);
    if (location < 0) continue;  // no shader input reads it (fog, point size, ...)
    if (used & (1u << location)) Invalid("CreateVertexDeclaration", "Usage given twice");
    used |= 1u << location;
  }
  return TGXRef<TGXDeviceVertexDeclaration>(
      new TGXGLVertexDeclaration(std::vector<TGXVertexElement>(elements.begin(), elements.end()),
                                 std::vector<uint32_t>(frequencies.begin(), frequencies.end())));
}

bool TGXGLRenderDevice::BeginScene() {
  if (FLost) return false;
  FInScene = true;
  return true;
}

void TGXGLRenderDevice::EndScene() { FInScene = false; }

void TGXGLRenderDevice::SetRenderTarget(TGXDeviceSurface* surface) {
  auto* s = dynamic_cast<TGXGLSurface*>(surface);
  if (surface && (!s || s->IsDepth())) Invalid("SetRenderTarget", "Not a colour surface of this device");
  FColor = s;
  FFramebufferDirty = true;
}

void TGXGLRenderDevice::SetDepthStencilSurface(TGXDeviceSurface* surface) {
  auto* s = dynamic_cast<TGXGLSurface*>(surface);
  if (surface && (!s || !s->IsDepth()))
    Invalid("SetDepthStencilSurface", "Not a depth surface of this device");
  FDepth = s;
  FFramebufferDirty = true;
}

void TGXGLRenderDevice::ApplyFramebuffer() {
  if (!FFramebufferDirty) return;
  glBindFramebuffer(GL_FRAMEBUFFER, FFramebuffer);
  if (FColor)
    FColor->Attach(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0);
  else
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, 0);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
  if (FDepth)
    FDepth->Attach(GL_FRAMEBUFFER,
                   FDepth->Format() == 75 ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT);
  const GLenum buffer = FColor ? GL_COLOR_ATTACHMENT0 : GL_NONE;
  glDrawBuffers(1, &buffer);
  FFramebufferDirty = false;
}

void TGXGLRenderDevice::SetViewport(const TGXViewportRect& rect) {
  FViewport = rect;
  // Top-down storage: the image's rows are the framebuffer's rows, no flip needed here.
  glViewport(rect.X, rect.Y, GLsizei(rect.Width), GLsizei(rect.Height));
  glDepthRange(rect.MinZ, rect.MaxZ);
}

void TGXGLRenderDevice::Clear(uint32_t flags, uint32_t color, float z, uint32_t stencil) {
  ApplyFramebuffer();
  GLbitfield mask = 0;
  if ((flags & GXClearTarget) && FColor) mask |= GL_COLOR_BUFFER_BIT;
  if ((flags & GXClearZBuffer) && FDepth) mask |= GL_DEPTH_BUFFER_BIT;
  if ((flags & GXClearStencil) && FDepth && FDepth->Format() == 75) mask |= GL_STENCIL_BUFFER_BIT;
  if (!mask) return;
  // Only the viewport is cleared, whatever the pass left in the write masks.
  glEnable(GL_SCISSOR_TEST);
  glScissor(FViewport.X, FViewport.Y, GLsizei(FViewport.Width), GLsizei(FViewport.Height));
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glDepthMask(GL_TRUE);
  glStencilMask(0xFF);
  glClearColor(((color >> 16) & 0xFF) / 255.0f, ((color >> 8) & 0xFF) / 255.0f, (color & 0xFF) / 255.0f,
               ((color >> 24) & 0xFF) / 255.0f);
  glClearDepth(std::clamp(z, 0.0f, 1.0f));
  glClearStencil(GLint(stencil & 0xFF));
  glClear(mask);
  glDisable(GL_SCISSOR_TEST);
  FForceStates = true;  // the masks are the states' again at the next draw
  FStatesDirty = true;
}

void TGXGLRenderDevice::SetVertexDeclaration(TGXDeviceVertexDeclaration* declaration) {
  auto* d = dynamic_cast<TGXGLVertexDeclaration*>(declaration);
  if (declaration && !d) Invalid("SetVertexDeclaration", "Not a declaration of this device");
  if (d == FDeclaration.Get()) return;
  FDeclaration = d;
  FAttributesDirty = true;
}

void TGXGLRenderDevice::SetStreamSource(uint32_t stream, TGXDeviceVertexBuffer* buffer, uint32_t offset,
                                        uint32_t stride) {
  if (stream >= GXMaxVertexStreams) Invalid("SetStreamSource", "Stream out of range");
  auto* b = dynamic_cast<TGXGLVertexBuffer*>(buffer);
  if (buffer && !b) Invalid("SetStreamSource", "Not a buffer of this device");
  TStream& s = FStreams[stream];
  s.Buffer = b;
  s.Offset = b ? offset : 0;
  s.Stride = b ? stride : 0;
  FAttributesDirty = true;
}

void TGXGLRenderDevice::SetIndices(TGXDeviceIndexBuffer* buffer) {
  auto* b = dynamic_cast<TGXGLIndexBuffer*>(buffer);
  if (buffer && !b) Invalid("SetIndices", "Not a buffer of this device");
  FIndices = b;
}

TGXRef<TGXGLTexture> TGXGLRenderDevice::CreateTexture(const TGXDdsImage& image,
                                                      std::span<const uint8_t> data) {
  struct TUpload {
    GLenum Internal, Format, Type;
    bool Compressed;
    GLint Swizzle[4];
  };
  TUpload u{GL_NONE, GL_NONE, GL_NONE, false, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}};
  switch (image.Format) {
    case GXFormatDXT1:
      u = {GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, true, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}};
      break;
    case GXFormatDXT3:
      u = {GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, true, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}};
      break;
    case GXFormatDXT5:
      u = {GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, true, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}};
      break;
    // B, G, R, A bytes; 16-bit words with red in the high bits.
    case GXFormatA8R8G8B8:
      u.Internal = GL_RGBA8, u.Format = GL_BGRA, u.Type = GL_UNSIGNED_BYTE;
      break;
    case GXFormatX8R8G8B8:
      u.Internal = GL_RGB8, u.Format = GL_BGRA, u.Type = GL_UNSIGNED_BYTE;
      break;
    case GXFormatR5G6B5:
      u.Internal = GL_RGB565, u.Format = GL_RGB, u.Type = GL_UNSIGNED_SHORT_5_6_5;
      break;
    case GXFormatX1R5G5B5:
      u.Internal = GL_RGB5, u.Format = GL_BGRA, u.Type = GL_UNSIGNED_SHORT_1_5_5_5_REV;
      break;
    case GXFormatA1R5G5B5:
      u.Internal = GL_RGB5_A1, u.Format = GL_BGRA, u.Type = GL_UNSIGNED_SHORT_1_5_5_5_REV;
      break;
    case GXFormatA4R4G4B4:
      u.Internal = GL_RGBA4, u.Format = GL_BGRA, u.Type = GL_UNSIGNED_SHORT_4_4_4_4_REV;
      break;
    case GXFormatL8:
      u = {GL_R8, GL_RED, GL_UNSIGNED_BYTE, false, {GL_RED, GL_RED, GL_RED, GL_ONE}};
      break;
    case GXFormatA8:
      u = {GL_R8, GL_RED, GL_UNSIGNED_BYTE, false, {GL_ZERO, GL_ZERO, GL_ZERO, GL_RED}};
      break;
  }
  if (u.Internal == GL_NONE || (u.Compressed && !epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc")))
    Fail("TGXGLRenderDevice", "CreateTexture", "D3DXCreateTexture failed", image.Format);
  for (const TGXDdsSurface& s : image.Surfaces)
    if (s.Offset > data.size() || s.Size > data.size() - s.Offset)
      Invalid("CreateTexture", "Image data shorter than its layout");
  GLuint name = 0;
  glGenTextures(1, &name);
  TGXRef<TGXGLTexture> texture(new TGXGLTexture(FAlive, name, ++FTextureSerial));
  texture->FWidth = image.Width;
  texture->FHeight = image.Height;
  texture->FLevels = image.Levels;
  texture->FFormat = image.Format;
  texture->FCube = image.Cube;
  const GLenum target = image.Cube ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(target, name);
  for (const TGXDdsSurface& s : image.Surfaces) {
    const GLenum face = image.Cube ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + s.Face : GL_TEXTURE_2D;
    // Row 0 of the file is the image top and is uploaded first: v = 0 samples the top.
    if (u.Compressed)
      glCompressedTexImage2D(face, GLint(s.Level), u.Internal, GLsizei(s.Width), GLsizei(s.Height), 0,
                             GLsizei(s.Size), data.data() + s.Offset);
    else
      glTexImage2D(face, GLint(s.Level), GLint(u.Internal), GLsizei(s.Width), GLsizei(s.Height), 0, u.Format,
                   u.Type, data.data() + s.Offset);
  }
  glTexParameteri(target, GL_TEXTURE_BASE_LEVEL, 0);
  glTexParameteri(target, GL_TEXTURE_MAX_LEVEL, GLint(image.Levels - 1));
  glTexParameteriv(target, GL_TEXTURE_SWIZZLE_RGBA, u.Swizzle);
  glBindTexture(target, 0);
  ForgetTextureUnit0();
  CheckError("CreateTexture");
  return texture;
}

namespace {

uint32_t FullChain(uint32_t width, uint32_t height) {
  uint32_t levels = 1;
  for (uint32_t edge = std::max(width, height); edge > 1; edge >>= 1) ++levels;
  return levels;
}

GLenum ColorInternalFormat(uint32_t format) {
  switch (format) {
    case GXFormatA8R8G8B8:
    case GXFormatX8R8G8B8:
      return GL_RGBA8;
    case GXFormatR5G6B5:
      return GL_RGB565;
    case GXFormatX1R5G5B5:
      return GL_RGB5_A1;
  }
  return GL_NONE;
}

}  // namespace

TGXRef<TGXGLTexture> TGXGLRenderDevice::CreateTexture(const TGXImage& image, uint32_t levels) {
  if (image.Width == 0 || image.Height == 0 || image.Pixels.size() != size_t(image.Width) * image.Height ||
      image.Width > uint32_t(FMaxRenderbufferSize) || image.Height > uint32_t(FMaxRenderbufferSize))
    Fail("TGXGLRenderDevice", "CreateTexture", "D3DXCreateTexture failed",
         static_cast<long long>(image.Width) * 65536 + image.Height);
  const uint32_t chain = FullChain(image.Width, image.Height);
  if (levels == 0 || levels > chain) levels = chain;
  GLuint name = 0;
  glGenTextures(1, &name);
  TGXRef<TGXGLTexture> texture(new TGXGLTexture(FAlive, name, ++FTextureSerial));
  texture->FWidth = image.Width;
  texture->FHeight = image.Height;
  texture->FLevels = levels;
  texture->FFormat = image.HasAlpha ? GXFormatA8R8G8B8 : GXFormatX8R8G8B8;
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, name);
  // 0xAARRGGBB words are B, G, R, A bytes; row 0 (the image top) first, so v = 0 is the top.
  glTexImage2D(GL_TEXTURE_2D, 0, image.HasAlpha ? GL_RGBA8 : GL_RGB8, GLsizei(image.Width),
               GLsizei(image.Height), 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, image.Pixels.data());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, GLint(levels - 1));
  if (levels > 1) glGenerateMipmap(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, 0);
  ForgetTextureUnit0();
  CheckError("CreateTexture");
  return texture;
}

TGXRef<TGXGLTexture> TGXGLRenderDevice::CreateEmptyTexture(uint32_t width, uint32_t height, uint32_t levels,
                                                           uint32_t format, bool cube) {
  const GLenum internal = ColorInternalFormat(format);
  if (internal == GL_NONE) Fail("TGXGLRenderDevice", "CreateEmptyTexture", "Unsupported format", format);
  if (cube) height = width;
  if (width == 0 || height == 0 || width > uint32_t(FMaxRenderbufferSize) ||
      height > uint32_t(FMaxRenderbufferSize))
    Fail("TGXGLRenderDevice", "CreateEmptyTexture", "Unsupported size",
         static_cast<long long>(width) * 65536 + height);
  const uint32_t chain = FullChain(width, height);
  if (levels == 0 || levels > chain) levels = chain;
  GLuint name = 0;
  glGenTextures(1, &name);
  TGXRef<TGXGLTexture> texture(new TGXGLTexture(FAlive, name, ++FTextureSerial));
  texture->FWidth = width;
  texture->FHeight = height;
  texture->FLevels = levels;
  texture->FFormat = format;
  texture->FCube = cube;
  const GLenum target = cube ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(target, name);
  for (uint32_t face = 0; face < (cube ? 6u : 1u); ++face)
    for (uint32_t level = 0; level < levels; ++level)
      glTexImage2D(cube ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + face : GL_TEXTURE_2D, GLint(level),
                   GLint(internal), GLsizei(std::max(1u, width >> level)),
                   GLsizei(std::max(1u, height >> level)), 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glTexParameteri(target, GL_TEXTURE_BASE_LEVEL, 0);
  glTexParameteri(target, GL_TEXTURE_MAX_LEVEL, GLint(levels - 1));
  glBindTexture(target, 0);
  ForgetTextureUnit0();
  CheckError("CreateEmptyTexture");
  return texture;
}

void TGXGLRenderDevice::WriteTexture(TGXGLTexture* texture, uint32_t level,
                                     std::span<const uint32_t> pixels) {
  if (!texture || texture->Cube() || level >= texture->Levels() ||
      ColorInternalFormat(texture->Format()) == GL_NONE)
    Invalid("WriteTexture", "Not a plain colour texture of this device");
  const uint32_t w = std::max(1u, texture->Width() >> level), h = std::max(1u, texture->Height() >> level);
  if (pixels.size() != size_t(w) * h) Invalid("WriteTexture", "Wrong pixel count");
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, texture->Name());
  // 0xAARRGGBB words are B, G, R, A bytes; row 0 (the image top) first, as CreateTexture stores images.
  glTexSubImage2D(GL_TEXTURE_2D, GLint(level), 0, 0, GLsizei(w), GLsizei(h), GL_BGRA,
                  GL_UNSIGNED_INT_8_8_8_8_REV, pixels.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  ForgetTextureUnit0();
  CheckError("WriteTexture");
}

TGXRef<TGXDeviceSurface> TGXGLRenderDevice::CreateTextureSurface(TGXGLTexture* texture, uint32_t face) {
  if (!texture || face >= (texture->Cube() ? 6u : 1u) || ColorInternalFormat(texture->Format()) == GL_NONE)
    Invalid("CreateTextureSurface", "Not a colour texture of this device");
  TGXRef<TGXGLSurface> surface(
      new TGXGLSurface(FAlive, 0, texture->Width(), texture->Height(), texture->Format(), false));
  surface->FTexture = texture;
  surface->FFace = face;
  return surface;
}

TGXRef<TGXDeviceSurface> TGXGLRenderDevice::CreateRenderTexture(uint32_t width, uint32_t height,
                                                                uint32_t format) {
  GLenum internal = GL_NONE;
  switch (format) {
    case GXFormatA8R8G8B8:
    case GXFormatX8R8G8B8:
      internal = GL_RGBA8;
      break;
    case GXFormatR5G6B5:
      internal = GL_RGB565;
      break;
    case GXFormatX1R5G5B5:
      internal = GL_RGB5_A1;
      break;
  }
  if (internal == GL_NONE) Fail("TGXGLRenderDevice", "CreateRenderTexture", "Unsupported format", format);
  if (width == 0 || height == 0 || width > uint32_t(FMaxRenderbufferSize) ||
      height > uint32_t(FMaxRenderbufferSize))
    Fail("TGXGLRenderDevice", "CreateRenderTexture", "D3DXCreateTexture failed",
         static_cast<long long>(width) * 65536 + height);
  GLuint name = 0;
  glGenTextures(1, &name);
  TGXRef<TGXGLTexture> texture(new TGXGLTexture(FAlive, name, ++FTextureSerial));
  texture->FWidth = width;
  texture->FHeight = height;
  texture->FLevels = 1;
  texture->FFormat = format;
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexImage2D(GL_TEXTURE_2D, 0, GLint(internal), GLsizei(width), GLsizei(height), 0, GL_RGBA,
               GL_UNSIGNED_BYTE, nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  glBindTexture(GL_TEXTURE_2D, 0);
  ForgetTextureUnit0();
  TGXRef<TGXGLSurface> surface(new TGXGLSurface(FAlive, 0, width, height, format, false));
  surface->FTexture = texture;
  CheckError("CreateRenderTexture");
  return surface;
}

void TGXGLRenderDevice::SetTexture(uint32_t unit, TGXGLTexture* texture) {
  if (unit < kCachedUnits) {
    if (FTextureUnitKnown[unit] && FTextureUnits[unit].Get() == texture) return;
    FTextureUnits[unit] = texture;
    FTextureUnitKnown[unit] = true;
  }
  glActiveTexture(GL_TEXTURE0 + unit);
  if (texture) {
    glBindTexture(texture->Cube() ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D, texture->Name());
  } else {
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
  }
}

void TGXGLRenderDevice::SetFilterLevel(const TGXTextureFilterLevel& level) {
  if (level.MinFilter == FFilterLevel.MinFilter && level.MagFilter == FFilterLevel.MagFilter &&
      level.MipFilter == FFilterLevel.MipFilter && level.MaxAnisotropy == FFilterLevel.MaxAnisotropy)
    return;
  FFilterLevel = level;
  ++FFilterGeneration;
}

void TGXGLRenderDevice::BindSampler(uint32_t unit, uint32_t sampler) {
  if (unit < kCachedUnits) {
    if (FSamplerUnits[unit] == sampler) return;
    FSamplerUnits[unit] = sampler;
  }
  glBindSampler(unit, sampler);
}

void TGXGLRenderDevice::ForgetSampler(uint32_t sampler) {
  for (uint32_t& bound : FSamplerUnits)
    if (bound == sampler) bound = 0;
}

void TGXGLRenderDevice::SetRenderState(uint32_t state, uint32_t value) {
  if (state >= GXRenderStateCount) return;  // states the device does not keep are ignored
  if (FStates[state] == value) return;
  FStates[state] = value;
  FStatesDirty = true;
}

uint32_t TGXGLRenderDevice::RenderState(uint32_t state) const {
  return state < GXRenderStateCount ? FStates[state] : 0;
}

void TGXGLRenderDevice::UseProgram(uint32_t program) {
  if (program == FProgram) return;
  FProgram = program;
  glUseProgram(program);
}

TGXMatrix TGXGLRenderDevice::ClipFix() const {
  return TGXMatrix(1, 0, 0, 0,   //
                   0, -1, 0, 0,  //
                   0, 0, 2, 0,   //
                   0, 0, -1, 1);
}

void TGXGLRenderDevice::ApplyStates() {
  if (!FStatesDirty && !FForceStates) return;
  auto changed = [this](uint32_t state) { return FForceStates || FStates[state] != FApplied[state]; };
  if (changed(GXRSZEnable) || changed(GXRSZFunc)) {
    if (FStates[GXRSZEnable])
      glEnable(GL_DEPTH_TEST);
    else
      glDisable(GL_DEPTH_TEST);
    glDepthFunc(CompareFunc(FStates[GXRSZFunc]));
  }
  if (changed(GXRSZWriteEnable)) glDepthMask(FStates[GXRSZWriteEnable] ? GL_TRUE : GL_FALSE);
  if (changed(GXRSColorWriteEnable)) {
    const uint32_t m = FStates[GXRSColorWriteEnable];
    // Bits: 1 red, 2 green, 4 blue, 8 alpha.
    glColorMask(m & 1 ? GL_TRUE : GL_FALSE, m & 2 ? GL_TRUE : GL_FALSE, m & 4 ? GL_TRUE : GL_FALSE,
                m & 8 ? GL_TRUE : GL_FALSE);
  }
  if (changed(GXRSAlphaBlendEnable) || changed(GXRSSrcBlend) || changed(GXRSDestBlend) ||
      changed(GXRSBlendOp)) {
    if (FStates[GXRSAlphaBlendEnable])
      glEnable(GL_BLEND);
    else
      glDisable(GL_BLEND);
    glBlendFunc(BlendFactor(FStates[GXRSSrcBlend]), BlendFactor(FStates[GXRSDestBlend]));
    glBlendEquation(BlendEquation(FStates[GXRSBlendOp]));
  }
  if (changed(GXRSCullMode)) {
    const uint32_t mode = FStates[GXRSCullMode];
    if (mode == GXCullClockwise || mode == GXCullCounterClockwise) {
      glEnable(GL_CULL_FACE);
      glCullFace(GL_BACK);
      // The targets are stored top-down, which mirrors the winding GL sees: a triangle
      // clockwise in the image is counter-clockwise to GL.
      glFrontFace(mode == GXCullCounterClockwise ? GL_CCW : GL_CW);
    } else {
      glDisable(GL_CULL_FACE);
    }
  }
  if (changed(GXRSDepthBias) || changed(GXRSSlopeScaleDepthBias)) {
    const float bias = AsFloat(FStates[GXRSDepthBias]);
    const float slope = AsFloat(FStates[GXRSSlopeScaleDepthBias]);
    // The stored bias is a fraction of the depth range; GL counts in steps of the format.
    const float steps = FDepth && FDepth->Format() == GXFormatD16 ? 65535.0f : 16777215.0f;
    if (bias != 0 || slope != 0) {
      glEnable(GL_POLYGON_OFFSET_FILL);
      glPolygonOffset(slope, bias * steps);
    } else {
      glDisable(GL_POLYGON_OFFSET_FILL);
    }
  }
  FApplied = FStates;
  FStatesDirty = false;
  FForceStates = false;
}

void TGXGLRenderDevice::ApplyAttributes() {
  if (!FAttributesDirty) return;
  uint32_t enabled = 0;
  if (FDeclaration) {
    for (const TGXVertexElement& e : FDeclaration->Elements()) {
      const int location = GXGLAttributeLocation(e.Usage, e.UsageIndex);
      if (location < 0) continue;
      const TStream& s = FStreams[e.Stream];
      if (!s.Buffer) continue;
      const TAttribFormat f = AttribFormat(e.Type);
      glBindBuffer(GL_ARRAY_BUFFER, s.Buffer->Name());
      glVertexAttribPointer(GLuint(location), f.Size, f.Type, f.Normalized, GLsizei(s.Stride),
                            reinterpret_cast<const void*>(uintptr_t(s.Offset) + e.Offset));
      const uint32_t divisor = FDeclaration->Frequency(e.Stream);
      if (FDivisors[size_t(location)] != divisor) {
        glVertexAttribDivisor(GLuint(location), divisor);
        FDivisors[size_t(location)] = divisor;
      }
      enabled |= 1u << location;
    }
  }
  // Only the locations whose switch changes are visited (usually none).
  for (uint32_t changed = enabled ^ FEnabledAttributes; changed; changed &= changed - 1) {
    const int location = __builtin_ctz(changed);
    if (enabled & (1u << location))
      glEnableVertexAttribArray(GLuint(location));
    else
      glDisableVertexAttribArray(GLuint(location));
  }
  FEnabledAttributes = enabled;
  FAttributesDirty = false;
}

bool TGXGLRenderDevice::VertexRangeValid(uint64_t firstVertex, uint64_t vertexCount) const {
  if (!FDeclaration) return false;
  if (vertexCount == 0) return true;
  for (const TGXVertexElement& e : FDeclaration->Elements()) {
    // Streams that advance per instance are checked against the instances.
    if (GXGLAttributeLocation(e.Usage, e.UsageIndex) < 0 || FDeclaration->Frequency(e.Stream) > 0) continue;
    const TStream& s = FStreams[e.Stream];
    if (!s.Buffer) return false;
    const uint64_t end =
        uint64_t(s.Offset) + (firstVertex + vertexCount - 1) * s.Stride + e.Offset + GXDeclTypeSize(e.Type);
    if (end > s.Buffer->Size()) return false;
  }
  return true;
}

void TGXGLRenderDevice::CheckVertexRange(const char* operation, uint64_t firstVertex,
                                         uint64_t vertexCount) const {
  if (!FDeclaration) Invalid(operation, "No vertex declaration");
  for (const TGXVertexElement& e : FDeclaration->Elements())
    if (GXGLAttributeLocation(e.Usage, e.UsageIndex) >= 0 && !FStreams[e.Stream].Buffer)
      Invalid(operation, "No vertex buffer on a stream the declaration reads");
  if (!VertexRangeValid(firstVertex, vertexCount)) Invalid(operation, "Vertices beyond the vertex buffer");
}

void TGXGLRenderDevice::CheckInstanceRange(const char* operation, uint64_t instanceCount) const {
  if (!FDeclaration || instanceCount == 0) return;
  for (const TGXVertexElement& e : FDeclaration->Elements()) {
    const uint32_t frequency = FDeclaration->Frequency(e.Stream);
    if (frequency == 0 || GXGLAttributeLocation(e.Usage, e.UsageIndex) < 0) continue;
    const TStream& s = FStreams[e.Stream];
    if (!s.Buffer) Invalid(operation, "No vertex buffer on a stream the declaration reads");
    const uint64_t elements = (instanceCount + frequency - 1) / frequency;
    const uint64_t end = uint64_t(s.Offset) + (elements - 1) * s.Stride + e.Offset + GXDeclTypeSize(e.Type);
    if (end > s.Buffer->Size()) Invalid(operation, "Instances beyond the vertex buffer");
  }
}

void TGXGLRenderDevice::DrawPrimitive(TGXPrimitiveType type, uint32_t startVertex, uint32_t primitiveCount) {
  const uint64_t count = VerticesFor(type, primitiveCount);
  if (count == 0 || primitiveCount == 0) return;
  CheckVertexRange("DrawPrimitive", startVertex, count);
  CheckInstanceRange("DrawPrimitive", 1);
  ApplyFramebuffer();
  ApplyStates();
  ApplyAttributes();
  glDrawArrays(GLPrimitive(type), GLint(startVertex), GLsizei(count));
}

uint64_t TGXGLRenderDevice::PrepareIndexedDraw(const char* operation, TGXPrimitiveType type,
                                               int32_t baseVertex, uint32_t startIndex,
                                               uint32_t primitiveCount, uint64_t instanceCount) {
  const uint64_t count = VerticesFor(type, primitiveCount);
  if (count == 0 || primitiveCount == 0) return 0;
  if (!FIndices) Invalid(operation, "No index buffer");
  if (uint64_t(startIndex) + count > FIndices->IndexCount())
    Invalid(operation, "Indices beyond the index buffer");
  // The vertices the indices may reach: checked against the largest index ever written first,
  // and only when that is not enough against the indices actually drawn.
  if (baseVertex < 0 || !VertexRangeValid(uint64_t(baseVertex), uint64_t(FIndices->FMaxIndex) + 1)) {
    uint64_t low = UINT32_MAX, high = 0;
    for (uint64_t i = startIndex; i < startIndex + count; ++i) {
      const uint32_t v = FIndices->Index(uint32_t(i));
      low = std::min<uint64_t>(low, v);
      high = std::max<uint64_t>(high, v);
    }
    if (int64_t(baseVertex) + int64_t(low) < 0) Invalid(operation, "Index below the first vertex");
    CheckVertexRange(operation, uint64_t(int64_t(baseVertex) + int64_t(low)), high - low + 1);
  }
  CheckInstanceRange(operation, instanceCount);
  ApplyFramebuffer();
  ApplyStates();
  ApplyAttributes();
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, FIndices->Name());
  return count;
}

void TGXGLRenderDevice::DrawIndexedPrimitive(TGXPrimitiveType type, int32_t baseVertex, uint32_t minIndex,
                                             uint32_t numVertices, uint32_t startIndex,
                                             uint32_t primitiveCount) {
  const uint64_t count =
      PrepareIndexedDraw("DrawIndexedPrimitive", type, baseVertex, startIndex, primitiveCount, 1);
  if (count == 0) return;
  const uint32_t size = FIndices->IndexSize();
  glDrawElementsBaseVertex(GLPrimitive(type), GLsizei(count), size == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                           reinterpret_cast<const void*>(uintptr_t(startIndex) * size), baseVertex);
}

void TGXGLRenderDevice::DrawIndexedPrimitiveInstanced(TGXPrimitiveType type, int32_t baseVertex,
                                                      uint32_t minIndex, uint32_t numVertices,
                                                      uint32_t startIndex, uint32_t primitiveCount,
                                                      uint32_t instanceCount) {
  if (instanceCount == 0) return;
  const uint64_t count =
      PrepareIndexedDraw("DrawIndexedPrimitiveInstanced", type, baseVertex, startIndex, primitiveCount,
                         instanceCount);
  if (count == 0) return;
  const uint32_t size = FIndices->IndexSize();
  glDrawElementsInstancedBaseVertex(
      GLPrimitive(type), GLsizei(count), size == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
      reinterpret_cast<const void*>(uintptr_t(startIndex) * size), GLsizei(instanceCount), baseVertex);
}

bool TGXGLRenderDevice::WriteVertexBuffer(TGXDeviceVertexBuffer* buffer, uint32_t offset, const void* data,
                                          uint32_t size) {
  auto* gl = dynamic_cast<TGXGLVertexBuffer*>(buffer);
  if (!gl || offset > gl->Size() || size > gl->Size() - offset) return false;
  gl->Write(offset, data, size);
  return true;
}

bool TGXGLRenderDevice::WriteVertexBuffer(TGXDeviceVertexBuffer* buffer, uint32_t offset, const void* data,
                                          uint32_t size, uint32_t lockFlags) {
  auto* gl = dynamic_cast<TGXGLVertexBuffer*>(buffer);
  if (!gl || offset > gl->Size() || size > gl->Size() - offset) return false;
  if ((lockFlags & GXLockDiscard) && offset == 0 && size == gl->Size()) gl->Orphan();
  gl->Write(offset, data, size);
  return true;
}

bool TGXGLRenderDevice::WriteIndexBuffer(TGXDeviceIndexBuffer* buffer, uint32_t offset, const void* data,
                                         uint32_t size) {
  auto* gl = dynamic_cast<TGXGLIndexBuffer*>(buffer);
  if (!gl || offset > gl->Size() || size > gl->Size() - offset) return false;
  gl->Write(offset, data, size);
  return true;
}

std::vector<uint32_t> TGXGLRenderDevice::ReadPixels(TGXDeviceSurface* surface) {
  auto* s = dynamic_cast<TGXGLSurface*>(surface);
  if (!s || s->IsDepth()) Invalid("ReadPixels", "Not a colour surface of this device");
  std::vector<uint32_t> pixels(size_t(s->Width()) * s->Height());
  glBindFramebuffer(GL_READ_FRAMEBUFFER, FReadFramebuffer);
  s->Attach(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  // Samples cannot be read directly: they are averaged into a one-sample buffer first.
  GLuint resolved = 0, resolveFramebuffer = 0;
  if (s->Samples() > 0) {
    glGenRenderbuffers(1, &resolved);
    glBindRenderbuffer(GL_RENDERBUFFER, resolved);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, GLsizei(s->Width()), GLsizei(s->Height()));
    glGenFramebuffers(1, &resolveFramebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolveFramebuffer);
    glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, resolved);
    const GLint w = GLint(s->Width()), h = GLint(s->Height());
    glDisable(GL_SCISSOR_TEST);  // a blit is scissored
    FForceStates = true;
    FStatesDirty = true;
    glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, resolveFramebuffer);
  }
  // BGRA bytes read as one little-endian word each are 0xAARRGGBB.
  glReadPixels(0, 0, GLsizei(s->Width()), GLsizei(s->Height()), GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
               pixels.data());
  glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  if (resolveFramebuffer) glDeleteFramebuffers(1, &resolveFramebuffer);
  if (resolved) glDeleteRenderbuffers(1, &resolved);
  FFramebufferDirty = true;
  CheckError("ReadPixels");
  if (s->Format() != GXFormatA8R8G8B8)
    for (uint32_t& p : pixels) p |= 0xFF000000u;
  return pixels;
}

}  // namespace gx
