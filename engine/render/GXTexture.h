#pragma once
// Textures and cube textures as resources. A texture is read from an image file (DDS with its
// mip levels and formats; PNG, JPEG and BMP as 32-bit images with a generated mip chain), or
// made empty by code with explicit parameters (a manual texture: size, levels, usage, format,
// pool). After loading the parameters hold what the device made.
//
// The parameters keep their stored meaning: Usage 1 is a render target, Pool 0 the default pool
// (lost with the device), 1 managed; Levels 0 asks for the complete mip chain.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/GXGuid.h"
#include "engine/core/GXResourceManager.h"
#include "engine/render/GXGLRenderDevice.h"

namespace gx {

// {D393A968-D004-4247-9077-B494B604DBF1}
inline constexpr TGXGuid IID_IGXTexture{
    0xD393A968, 0xD004, 0x4247, {0x90, 0x77, 0xB4, 0x94, 0xB6, 0x04, 0xDB, 0xF1}};
// {FE2EED5C-0DFC-4A92-ACB3-7671A7224B37}
inline constexpr TGXGuid IID_IGXCubeTexture{
    0xFE2EED5C, 0x0DFC, 0x4A92, {0xAC, 0xB3, 0x76, 0x71, 0xA7, 0x22, 0x4B, 0x37}};

enum : uint32_t { GXUsageRenderTarget = 1 };
// GXPoolDefault and GXPoolManaged: GXRenderDevice.h.

// What textures and cube textures share: the creation parameters and the device texture. Manual
// textures in the default pool are on the render core's device-callback list while they hold a
// device texture: they give it up when the device is lost. On reset they do nothing; their owner
// (a render texture) makes them anew with Recreate.
class TGXTextureResource : public TGXResource, public IGXDeviceCallback {
 public:
  uint32_t GetLevels() const { return FLevels; }
  uint32_t GetUsage() const { return FUsage; }
  uint32_t GetFormat() const { return FFormat; }
  uint32_t GetPool() const { return FPool; }
  // Null until loaded.
  TGXGLTexture* GetDeviceTexture() const { return FDeviceTexture.Get(); }
  void SetLevels(uint32_t value) { FLevels = value; }
  void SetUsage(uint32_t value) { FUsage = value; }
  void SetFormat(uint32_t value) { FFormat = value; }
  void SetPool(uint32_t value) { FPool = value; }

  void ReleaseDeviceTexture() { FDeviceTexture.Reset(); }
  void Recreate() {
    if (IsManual() && IsLoaded()) CreateManual();
  }
  void OnDeviceLost() override {
    if (IsManual() && FPool == GXPoolDefault) FDeviceTexture.Reset();
  }
  void OnDeviceReset() override {}

 protected:
  TGXTextureResource(TGXWeakRef<TGXResource>* cell, std::string name, bool manual)
      : TGXResource(cell, std::move(name), manual) {}
  ~TGXTextureResource() override;
  // Makes the empty device texture of a manual texture from the parameters.
  virtual void CreateManual() = 0;

  uint32_t FLevels = 0, FUsage = 0, FFormat = GXFormatA8R8G8B8, FPool = GXPoolManaged;
  TGXRef<TGXGLTexture> FDeviceTexture;
};

class TGXTexture : public TGXTextureResource {
 public:
  static constexpr TGXGuid IID = IID_IGXTexture;

  TGXTexture(TGXWeakRef<TGXResource>* cell, std::string name, bool manual)
      : TGXTextureResource(cell, std::move(name), manual) {}
  std::string ClassName() const override { return "TGXTexture"; }

  uint32_t GetWidth() const { return FWidth; }
  uint32_t GetHeight() const { return FHeight; }
  void SetWidth(uint32_t value) { FWidth = value; }
  void SetHeight(uint32_t value) { FHeight = value; }

  // The pixels (0xAARRGGBB, row 0 the image top) a manual texture's level 0 is filled with each
  // time its device texture is made; empty leaves it undefined. Set before loading: width x
  // height words, else loading raises EInvalidParameter.
  void SetInitialPixels(std::vector<uint32_t> pixels) { FInitialPixels = std::move(pixels); }
  const std::vector<uint32_t>& InitialPixels() const { return FInitialPixels; }

 protected:
  void DoLoad() override;
  void CreateManual() override;

 private:
  uint32_t FWidth = 0, FHeight = 0;
  std::vector<uint32_t> FInitialPixels;
};
using IGXTexture = TGXRef<TGXTexture>;

class TGXCubeTexture : public TGXTextureResource {
 public:
  static constexpr TGXGuid IID = IID_IGXCubeTexture;

  TGXCubeTexture(TGXWeakRef<TGXResource>* cell, std::string name, bool manual)
      : TGXTextureResource(cell, std::move(name), manual) {}
  std::string ClassName() const override { return "TGXCubeTexture"; }

  uint32_t GetEdgeLength() const { return FEdgeLength; }
  void SetEdgeLength(uint32_t value) { FEdgeLength = value; }

 protected:
  void DoLoad() override;
  void CreateManual() override;

 private:
  uint32_t FEdgeLength = 0;
};
using IGXCubeTexture = TGXRef<TGXCubeTexture>;

class TGXTextureFactory : public TGXResourceFactory {
 public:
  using TGXResourceFactory::TGXResourceFactory;
  TGXGuid GetResourceKind() const override { return IID_IGXTexture; }
  IGXResource CreateResource(TSlot* cell, const std::string& name, bool manual) override {
    return IGXResource(new TGXTexture(cell, name, manual));
  }
};

class TGXCubeTextureFactory : public TGXResourceFactory {
 public:
  using TGXResourceFactory::TGXResourceFactory;
  TGXGuid GetResourceKind() const override { return IID_IGXCubeTexture; }
  IGXResource CreateResource(TSlot* cell, const std::string& name, bool manual) override {
    return IGXResource(new TGXCubeTexture(cell, name, manual));
  }
};

// The bytes of a resource: from its data loader when it has one, else the file of its name
// through the engine's file system (whose errors pass on).
std::vector<uint8_t> GXLoadResourceBytes(TGXResource& resource, const std::string& fileName);

}  // namespace gx
