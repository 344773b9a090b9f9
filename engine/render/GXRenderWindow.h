#pragma once
// Render windows: targets shown on a surface of the window system. The render layer knows a
// window only through TGXRenderSurface (its client size, whether it is minimised, and how a
// finished frame is shown); headless runs and tests use TGXOffscreenSurface, the desktop program
// hands in its window's surface. The first window made while no other lives is the primary one:
// it runs the lost/reset protocol of the device.
//
// Messages keep the window system's numbers: 3 move, 5 size, 16 close, 36 min/max query, 561
// and 562 entering and leaving a size/move loop.

#include <cstdint>
#include <vector>

#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderTarget.h"

namespace gx {

class TGXRenderSurface {
 public:
  virtual ~TGXRenderSurface() = default;
  virtual uint32_t ClientWidth() const = 0;
  virtual uint32_t ClientHeight() const = 0;
  virtual bool Minimised() const { return false; }
  // Shows the finished frame held by the colour surface. Returns false when the device was lost
  // while showing it.
  virtual bool Present(TGXGLRenderDevice& device, TGXDeviceSurface* color) = 0;
};

// A surface without a window: its size is set by code; Present keeps a copy of the frame.
class TGXOffscreenSurface : public TGXRenderSurface {
 public:
  TGXOffscreenSurface(uint32_t width, uint32_t height) : FWidth(width), FHeight(height) {}
  uint32_t ClientWidth() const override { return FWidth; }
  uint32_t ClientHeight() const override { return FHeight; }
  bool Minimised() const override { return FMinimised; }
  void SetClientSize(uint32_t width, uint32_t height) { FWidth = width, FHeight = height; }
  void SetMinimised(bool value) { FMinimised = value; }
  bool Present(TGXGLRenderDevice& device, TGXDeviceSurface* color) override;
  // The last frame shown (0xAARRGGBB, top row first) and how many were shown.
  const std::vector<uint32_t>& Frame() const { return FFrame; }
  int PresentCount() const { return FPresents; }

 private:
  uint32_t FWidth, FHeight;
  bool FMinimised = false;
  std::vector<uint32_t> FFrame;
  int FPresents = 0;
};

// The stored present-parameter record, with the adapter it was made for.
struct TGXPresentParameters {
  const TGXRenderAdapter* Adapter = nullptr;
  uint32_t BackBufferWidth = 0, BackBufferHeight = 0, BackBufferFormat = 0, BackBufferCount = 0;
  uint32_t MultiSampleType = 0, MultiSampleQuality = 0;
  uint32_t SwapEffect = 0;
  TGXRenderSurface* DeviceWindow = nullptr;
  bool Windowed = false;
  bool EnableAutoDepthStencil = false;
  uint32_t AutoDepthStencilFormat = 0;
  uint32_t Flags = 0;
  uint32_t FullScreenRefreshRate = 0;
  uint32_t PresentationInterval = 0;
};

inline constexpr uint32_t GXPresentIntervalOne = 1;
inline constexpr uint32_t GXPresentIntervalImmediate = 0x80000000;

// All zero, then one back buffer, the multisample type, swap effect 1 (discard), windowed, the
// automatic depth buffer as asked, and one vertical blank with vsync or immediate without.
TGXPresentParameters GXInitPresentParameters(const TGXRenderAdapter* adapter, uint32_t multiSampleType, bool vsync,
                                             bool depthBuffer);
// For windowed parameters: the back buffer takes the window's client size (0 x 0) and the
// format of the adapter's settings for the display format, the depth buffer their first depth
// format. No settings raise EGXException ("TGXPresentParameters", "UpdateD3DParameters").
void GXUpdatePresentParameters(TGXPresentParameters& p, TGXRenderSurface* window);

class TGXRenderWindow : public TGXRenderTarget {
 public:
  // The surface must outlive the window. Without parameters the defaults (the core's adapter,
  // no multisampling, vsync, depth buffer) are used. Needs a live render core (EInvalidCall).
  explicit TGXRenderWindow(TGXRenderSurface* surface, const TGXPresentParameters* parameters = nullptr);

  TGXRenderSurface* Surface() const { return FSurface; }
  bool IsPrimary() const { return FPrimary; }
  const TGXPresentParameters& PresentParameters() const { return FParameters; }
  // Stores the parameters, completes them for the window, makes the back buffer and depth
  // surface anew (the primary window through a device reset of every registered object), and
  // then follows the window's size.
  void SetPresentParameters(const TGXPresentParameters& parameters);
  // Nothing while the window is minimised; otherwise takes a changed client size (viewports
  // follow) and, unless Updating, makes the back buffer anew.
  void UpdateSize();
  bool InSizeMove() const { return FInSizeMove; }
  bool Updating() const { return FUpdating; }
  void SetUpdating(bool value) { FUpdating = value; }

  // True for the messages the window handles itself.
  bool HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);

  // While the device is not lost: the target's rendering, then the frame is shown. A primary
  // window whose device is lost resets it instead (the next frame draws again).
  void Render(TGXRenderer& renderer) override;
  // Render with the render core's renderer.
  void RenderAll();

  // Makes the back buffer and depth surface anew; the primary window also applies the adapter's
  // filter level (FilterLevels[FilterLevel]; an index outside them is a programming error).
  void OnDeviceReset() override;

 protected:
  ~TGXRenderWindow() override;

 private:
  void CreateSurfaces();
  TGXRenderSurface* FSurface;
  TGXPresentParameters FParameters;
  bool FPrimary = false;
  bool FInSizeMove = false;
  bool FUpdating = false;
};

}  // namespace gx
