#include "app/RRProjectRenderWindow.h"

#include <algorithm>
#include <cmath>

#include "engine/render/GXRenderCore.h"
#include "engine/render/GXScene.h"

namespace rr {

int RRFilterLevelFor(int textureQuality, int levelCount) {
  if (levelCount <= 0) return 0;
  return std::clamp(textureQuality - 1, 0, levelCount - 1);
}

namespace {

// The adapter's filter level has to be chosen before the window makes its surfaces (the primary
// window applies it then).
gx::TGXRenderSurface* ChooseFilterLevel(gx::TGXRenderSurface* surface, int textureQuality) {
  if (gx::TGXRenderCore* core = gx::GXCurrentRenderCore()) {
    gx::TGXRenderAdapter& adapter = core->Adapter();
    adapter.FilterLevel = RRFilterLevelFor(textureQuality, int(adapter.FilterLevels.size()));
  }
  return surface;
}

// The window's present parameters with a sample count. The record lives in the caller's full
// expression (a default argument's temporary), long enough for the window's constructor.
const gx::TGXPresentParameters* WithMultiSample(int samples, gx::TGXPresentParameters&& record = {}) {
  record = gx::GXInitPresentParameters(nullptr, uint32_t(std::clamp(samples, 0, 64)), true, true);
  return &record;
}

}  // namespace

TRRProjectRenderWindow::TRRProjectRenderWindow(gx::TGXRenderSurface* surface, gx::TGXScene* scene,
                                               int textureQuality, int multiSample)
    : gx::TGXRenderWindow(ChooseFilterLevel(surface, textureQuality), WithMultiSample(multiSample)) {
  gx::TGXViewport* view = AddViewport(0, 0, 1, 1);
  view->SetScene(scene);
}

TRRProjectRenderWindow::~TRRProjectRenderWindow() = default;

void TRRProjectRenderWindow::SetMultiSample(int multiSample) {
  gx::TGXPresentParameters parameters = PresentParameters();
  const auto samples = uint32_t(std::clamp(multiSample, 0, 64));
  if (parameters.MultiSampleType == samples) return;
  parameters.MultiSampleType = samples;
  SetPresentParameters(parameters);
}

void TRRProjectRenderWindow::SetScene(gx::TGXScene* scene) { View()->SetScene(scene); }

void TRRProjectRenderWindow::SetCamera(gx::TGXCamera* camera) {
  View()->SetCamera(camera);
  if (camera) camera->SetViewportSize(View()->Rect().Width, View()->Rect().Height);
}

gx::TGXCamera* TRRProjectRenderWindow::Camera() const {
  return dynamic_cast<gx::TGXCamera*>(View()->Camera());
}

float TRRProjectRenderWindow::Aspect() const {
  const uint32_t w = Surface()->ClientWidth(), h = Surface()->ClientHeight();
  return float(w) / float(h ? h : 1);
}

bool TRRProjectRenderWindow::CanRender() const {
  return !Surface()->Minimised() && Surface()->ClientWidth() > 0 && Surface()->ClientHeight() > 0;
}

void TRRProjectRenderWindow::RenderFrame(uint32_t background) {
  if (!CanRender()) return;
  UpdateSize();
  View()->SetClearColor(background);
  gx::TGXRenderCore* core = gx::GXCurrentRenderCore();
  if (!core) return;
  // Every viewport's calls: the 3D view and the overlay drawn over it.
  const uint64_t before = core->Renderer().TotalDrawCalls();
  const float scale = DrawScale();
  if (scale < 1) {
    RenderScaled(scale);
  } else {
    RenderAll();
    FFrameWidth = Width();
    FFrameHeight = Height();
  }
  FDrawCalls = int(core->Renderer().TotalDrawCalls() - before);
  ++FFrames;
}

float TRRProjectRenderWindow::DrawScale() const {
  const gx::TGXRenderCore* core = gx::GXCurrentRenderCore();
  return FFollowingPointer && core && core->Adapter().Info.Software ? 0.5f : 1.0f;
}

void TRRProjectRenderWindow::RenderScaled(float scale) {
  gx::TGXRenderCore& core = *gx::GXCurrentRenderCore();
  const uint32_t width = Width(), height = Height();
  const uint32_t w = std::max(1u, uint32_t(std::lround(float(width) * scale)));
  const uint32_t h = std::max(1u, uint32_t(std::lround(float(height) * scale)));
  auto fullSize = [&] {
    RenderAll();
    FFrameWidth = Width();
    FFrameHeight = Height();
  };
  // A lost device is reset by the window's own render, at full size.
  if (core.Device().Lost()) return fullSize();
  if (!FScaledColor || FScaledColor->Width() != w || FScaledColor->Height() != h) {
    // Without multisampling: the smaller frame is a stand-in while the pointer moves.
    const gx::TGXPresentParameters& p = PresentParameters();
    try {
      FScaledColor = core.Device().CreateMultisampledSurface(w, h, p.BackBufferFormat, false, 0);
      FScaledDepth = p.EnableAutoDepthStencil
                         ? core.Device().CreateMultisampledSurface(w, h, p.AutoDepthStencilFormat, true, 0)
                         : gx::TGXRef<gx::TGXDeviceSurface>();
    } catch (const gx::EGXException&) {
      FScaledColor = nullptr;
      FScaledDepth = nullptr;
      return fullSize();
    }
  }
  // The window's own surfaces and size come back however the render ends (a draw may raise).
  struct TBack {
    TRRProjectRenderWindow& Window;
    gx::TGXRef<gx::TGXDeviceSurface> Color, Depth;
    uint32_t Width, Height;
    ~TBack() {
      // A device lost and reset while drawing made the window's surfaces anew (or none): those stay.
      if (Window.FScaledColor && Window.ColorSurface() == Window.FScaledColor.Get())
        Window.SetSurfaces(Color, Depth);
      Window.SetSize(Width, Height);
      // The renderer gave the cameras the smaller viewports' aspect; picking reads the full one.
      for (int i = 0; i < Window.ViewportCount(); ++i)
        if (gx::TGXSceneCamera* camera = Window.Viewport(i)->Camera())
          camera->SetViewportSize(Window.Viewport(i)->Rect().Width, Window.Viewport(i)->Rect().Height);
    }
  } back{*this, gx::TGXRef<gx::TGXDeviceSurface>(ColorSurface()),
         gx::TGXRef<gx::TGXDeviceSurface>(DepthSurface()), width, height};
  SetSurfaces(FScaledColor, FScaledDepth);
  SetSize(w, h);
  RenderAll();
  FFrameWidth = w;
  FFrameHeight = h;
}

void TRRProjectRenderWindow::OnDeviceLost() {
  FScaledColor = nullptr;
  FScaledDepth = nullptr;
  gx::TGXRenderWindow::OnDeviceLost();
}

std::vector<uint32_t> TRRProjectRenderWindow::LastFrame() const {
  if (FFrames == 0) return {};
  // An offscreen surface keeps what it showed; any other is read back from the colour surface,
  // which holds the last frame until the next one is drawn.
  if (auto* offscreen = dynamic_cast<const gx::TGXOffscreenSurface*>(Surface()))
    if (offscreen->Frame().size() == size_t(FFrameWidth) * FFrameHeight) return offscreen->Frame();
  gx::TGXRenderCore* core = gx::GXCurrentRenderCore();
  if (!core || !ColorSurface()) return {};
  return core->Device().ReadPixels(ColorSurface());
}

std::optional<TRRBitmap> TRRProjectRenderWindow::ViewImage() const {
  const std::vector<uint32_t> frame = LastFrame();
  if (frame.empty() || frame.size() != size_t(FFrameWidth) * FFrameHeight) return std::nullopt;
  TRRBitmap b;
  b.Width = int(FFrameWidth);
  b.Height = int(FFrameHeight);
  b.Pixels.resize(frame.size() * 3);
  for (size_t i = 0; i < frame.size(); ++i) {
    b.Pixels[3 * i] = uint8_t(frame[i] >> 16);
    b.Pixels[3 * i + 1] = uint8_t(frame[i] >> 8);
    b.Pixels[3 * i + 2] = uint8_t(frame[i]);
  }
  return b;
}

}  // namespace rr
