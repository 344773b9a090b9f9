#pragma once
// TGXRenderCore: the render side of the engine. It holds the one GL device, the adapter the device
// runs on (as GL describes it), the effect-parameter manager and the renderer that draws the
// render targets. Attached to the engine with AttachRenderCore when the program starts drawing.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/GXEngine.h"
#include "engine/render/GXEffect.h"
#include "engine/render/GXGLRenderDevice.h"
#include "engine/render/GXRenderer.h"
#include "engine/render/GXVertexLayout.h"

namespace gx {


// The filter levels an adapter offers, lowest quality first: one to three of them. Level 0 is
// bilinear without mip blending; level 1 anisotropic (or linear) with linear mip filtering and
// an anisotropy of at most 2; level 2, only where the adapter goes beyond 2, the same with its
// full anisotropy.
std::vector<TGXTextureFilterLevel> GXFilterLevels(bool anisotropic, float maxAnisotropy);

// What the adapter offers for one back-buffer format, windowed or full screen.
struct TGXRenderAdapterSettings {
  uint32_t Format = 0;
  bool Windowed = true;
  // Usable with the format, in the order D32, D24X8, D16.
  std::vector<uint32_t> DepthFormats;
  // Multisample types (0 none, 2 .. 16).
  std::vector<uint32_t> MultiSampleTypes;
};

struct TGXDisplayMode {
  uint32_t Width = 0, Height = 0, RefreshRate = 0, Format = 0;
};

struct TGXRenderAdapter {
  // The format the desktop shows; the back-buffer format of windowed rendering.
  static constexpr uint32_t DisplayFormat = 22;  // X8R8G8B8

  TGXGLInfo Info;
  // Sorted by width, height, format, refresh rate; empty without a display (surfaceless).
  std::vector<TGXDisplayMode> DisplayModes;
  // One record per format and windowed flag that has depth formats and multisample types.
  std::vector<TGXRenderAdapterSettings> Settings;
  // The record for the format and flag, or null; format 0 with windowed means DisplayFormat.
  const TGXRenderAdapterSettings* FindSettings(uint32_t format, bool windowed) const;
  // The first of D32, D24X8, D16 usable with the format; 0 if none.
  uint32_t BestDepthFormat(uint32_t format) const;
  // Colour formats usable as back buffer and render texture, and the depth formats with them.
  std::vector<uint32_t> ColorFormats;
  std::vector<uint32_t> DepthFormats;
  // Multisample types (0 none, 2 .. the adapter's maximum sample count).
  std::vector<uint32_t> MultiSampleTypes;
  std::vector<TGXTextureFilterLevel> FilterLevels;
  // Index into FilterLevels, chosen from the texture-quality setting.
  int FilterLevel = 0;

  // The first of D32, D24X8, D16 that the adapter offers; 0 if none.
  uint32_t BestDepthFormat() const;
};

// The objects told about device loss and reset. Notifications go over a copy of the list, and
// an object unregistered meanwhile (for example freed by another's handler) is skipped.
class TGXD3DDeviceCallback {
 public:
  // A second registration of the same object is ignored.
  void Register(IGXDeviceCallback* object);
  void Unregister(IGXDeviceCallback* object);
  bool Registered(IGXDeviceCallback* object) const;
  int Count() const { return static_cast<int>(FObjects.size()); }
  void NotifyLost();
  void NotifyReset();

 private:
  void Notify(bool lost);
  std::vector<IGXDeviceCallback*> FObjects;
};

class TGXEffectFactory;
class TGXMaterialFactory;
class TGXTextureFactory;
class TGXCubeTextureFactory;
class TGXMeshFactory;
class TGXModelFactory;

class TGXRenderCore : public TGXEngineCore {
 public:
  // Makes the GL context (EGL surfaceless), the device, the parameter manager and the renderer,
  // and registers the effect, material, texture, cube-texture, mesh and model factories with the
  // manager (the live engine's when none is given and an engine exists), in that order; they are
  // freed in reverse. The model importers are registered (GXRegisterModelImporters). EDirect3D "No compatible
  // graphic cards found" when no OpenGL 3.3 core context can be made. The newest live render
  // core is the one resources load on (GXCurrentRenderCore).
  explicit TGXRenderCore(TGXResourceManager* manager = nullptr);
  ~TGXRenderCore() override;

  TGXD3DDeviceCallback& DeviceCallbacks() { return FDeviceCallbacks; }
  void RegisterDeviceCallback(IGXDeviceCallback* object) { FDeviceCallbacks.Register(object); }
  void UnregisterDeviceCallback(IGXDeviceCallback* object) { FDeviceCallbacks.Unregister(object); }
  // The lost/reset protocol: LoseDevice marks the device lost (it begins no scene) and tells
  // every registered object; ResetDevice tells them the device is back and clears the mark.
  // GL contexts are not lost on their own; the desktop program's window and the tests use these.
  void LoseDevice();
  void ResetDevice();

  TGXGLRenderDevice& Device() { return *FDevice; }
  const TGXRenderAdapter& Adapter() const { return FAdapter; }
  TGXRenderAdapter& Adapter() { return FAdapter; }
  TGXEffectParameterManager& EffectParameters() { return *FEffectParameters; }
  TGXRenderer& Renderer() { return *FRenderer; }
  // One device declaration per distinct vertex layout.
  TGXVertexLayoutFactory& VertexLayouts() { return *FVertexLayouts; }

 private:
  TGXD3DDeviceCallback FDeviceCallbacks;
  std::unique_ptr<TGXGLRenderDevice> FDevice;
  TGXRenderAdapter FAdapter;
  std::unique_ptr<TGXEffectParameterManager> FEffectParameters;
  std::unique_ptr<TGXRenderer> FRenderer;
  std::unique_ptr<TGXVertexLayoutFactory> FVertexLayouts;
  std::unique_ptr<TGXEffectFactory> FEffectFactory;
  std::unique_ptr<TGXMaterialFactory> FMaterialFactory;
  std::unique_ptr<TGXTextureFactory> FTextureFactory;
  std::unique_ptr<TGXCubeTextureFactory> FCubeTextureFactory;
  std::unique_ptr<TGXMeshFactory> FMeshFactory;
  std::unique_ptr<TGXModelFactory> FModelFactory;
};

// The render core resources load on, or null.
TGXRenderCore* GXCurrentRenderCore();

}  // namespace gx
