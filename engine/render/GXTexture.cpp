#include "engine/render/GXTexture.h"

#include "engine/core/GXEngine.h"
#include "engine/core/GXException.h"
#include "engine/render/GXDdsReader.h"
#include "engine/render/GXImageReader.h"
#include "engine/render/GXRenderCore.h"

namespace gx {

std::vector<uint8_t> GXLoadResourceBytes(TGXResource& resource, const std::string& fileName) {
  std::unique_ptr<TGXMemoryStream> stream;
  if (IGXDataLoader loader = resource.GetDataLoader()) {
    stream = loader->LoadData();
  } else {
    TGXEngine* engine = Engine();
    if (!engine) throw EInvalidCall({TGXExceptionArg::Object(resource.ClassName()), "DoLoad", "No engine"});
    stream = engine->FileSystem().OpenFile(fileName);
  }
  if (!stream) throw EInvalidCall({TGXExceptionArg::Object(resource.ClassName()), "DoLoad", "No data"});
  return std::move(stream->Data());
}

namespace {

TGXGLRenderDevice& DeviceFor(const TGXResource& resource, const char* operation) {
  TGXRenderCore* core = GXCurrentRenderCore();
  if (!core) throw EInvalidCall({TGXExceptionArg::Object(resource.ClassName()), operation, "No render core"});
  return core->Device();
}

[[noreturn]] void ImageFailed(const TGXResource& resource, const std::exception& e) {
  throw EDirect3D({TGXExceptionArg::Object(resource.ClassName()), "LoadTexture",
                   "D3DXGetImageInfoFromFileInMemory failed", e.what()});
}

}  // namespace

TGXTextureResource::~TGXTextureResource() {
  if (TGXRenderCore* core = GXCurrentRenderCore()) core->UnregisterDeviceCallback(this);
}

// ---- texture ----

void TGXTexture::CreateManual() {
  TGXGLRenderDevice& device = DeviceFor(*this, "CreateManualTexture");
  if (!FInitialPixels.empty() && FInitialPixels.size() != size_t(FWidth) * FHeight)
    throw EInvalidParameter({TGXExceptionArg::Object(ClassName()), "CreateManualTexture", "Wrong pixel count"});
  try {
    FDeviceTexture = device.CreateEmptyTexture(FWidth, FHeight, FLevels, FFormat, false);
  } catch (const EGXException& e) {
    throw EDirect3D({TGXExceptionArg::Object(ClassName()), "CreateManualTexture", "D3DXCreateTexture failed", e.what()});
  }
  if (!FInitialPixels.empty()) device.WriteTexture(FDeviceTexture.Get(), 0, FInitialPixels);
  if (FPool == GXPoolDefault) GXCurrentRenderCore()->RegisterDeviceCallback(this);
}

void TGXTexture::DoLoad() {
  if (IsManual()) {
    CreateManual();
    FLevels = FDeviceTexture->Levels();
    return;
  }
  TGXGLRenderDevice& device = DeviceFor(*this, "LoadTexture");
  const std::vector<uint8_t> data = GXLoadResourceBytes(*this, GetName().Text());
  if (GXImageFileType(data) == TGXImageFileType::Dds) {
    TGXDdsImage dds;
    try {
      dds = GXReadDds(data);
    } catch (const EGXException& e) {
      ImageFailed(*this, e);
    }
    if (dds.Cube)
      throw EDirect3D({TGXExceptionArg::Object(ClassName()), "LoadTexture", "D3DXCreateTextureFromFileInMemoryEx failed",
                       "Würfeltextur"});
    // The file's own levels, at most as many as asked for (0: all of them).
    if (FLevels != 0 && FLevels < dds.Levels) {
      std::vector<TGXDdsSurface> kept(dds.Surfaces.begin(), dds.Surfaces.begin() + FLevels);
      dds.Surfaces = std::move(kept);
      dds.Levels = FLevels;
    }
    FDeviceTexture = device.CreateTexture(dds, data);
  } else {
    TGXImage image;
    try {
      image = GXReadImage(data);
    } catch (const EGXException& e) {
      ImageFailed(*this, e);
    }
    FDeviceTexture = device.CreateTexture(image, FLevels);
  }
  FWidth = FDeviceTexture->Width();
  FHeight = FDeviceTexture->Height();
  FLevels = FDeviceTexture->Levels();
  FFormat = FDeviceTexture->Format();
  FUsage = 0;
  FPool = GXPoolManaged;
}

// ---- cube texture ----

void TGXCubeTexture::CreateManual() {
  TGXGLRenderDevice& device = DeviceFor(*this, "CreateManualTexture");
  try {
    FDeviceTexture = device.CreateEmptyTexture(FEdgeLength, FEdgeLength, FLevels, FFormat, true);
  } catch (const EGXException& e) {
    throw EDirect3D(
        {TGXExceptionArg::Object(ClassName()), "CreateManualTexture", "D3DXCreateCubeTexture failed", e.what()});
  }
  if (FPool == GXPoolDefault) GXCurrentRenderCore()->RegisterDeviceCallback(this);
}

void TGXCubeTexture::DoLoad() {
  if (IsManual()) {
    CreateManual();
    FLevels = FDeviceTexture->Levels();
    return;
  }
  TGXGLRenderDevice& device = DeviceFor(*this, "LoadTexture");
  const std::vector<uint8_t> data = GXLoadResourceBytes(*this, GetName().Text());
  TGXDdsImage dds;
  try {
    if (GXImageFileType(data) != TGXImageFileType::Dds)
      throw EGXImageFormat({TGXExceptionArg::Object("TGXCubeTexture"), "LoadTexture", "Keine DDS-Datei"});
    dds = GXReadDds(data);
    if (!dds.Cube) throw EGXImageFormat({TGXExceptionArg::Object("TGXCubeTexture"), "LoadTexture", "Keine Würfeltextur"});
  } catch (const EGXException& e) {
    ImageFailed(*this, e);
  }
  FDeviceTexture = device.CreateTexture(dds, data);
  FEdgeLength = FDeviceTexture->Width();
  FLevels = FDeviceTexture->Levels();
  FFormat = FDeviceTexture->Format();
  FUsage = 0;
  FPool = GXPoolManaged;
}

}  // namespace gx
