#pragma once
// The 3D view: a render window over the surface the host hands in (the desktop's view panel or
// an offscreen surface of the command line), with one viewport covering it that shows the
// project's scene through the active camera. The adapter's filter level follows the
// texture-quality setting (at most the levels the adapter offers, stored as level − 1).
//
// The frame step sets the background, renders the view (RenderFrame) and reads back what it
// drew: the last frame is the view image (thumbnails, the command line's pictures) and the
// renderer's draw calls of that frame are counted.

#include <cstdint>
#include <optional>
#include <vector>

#include "app/RRProjectSerializer.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXRenderWindow.h"

namespace gx {
class TGXScene;
}

namespace rr {

// The filter level index for a texture-quality setting: quality − 1, clamped to the levels.
int RRFilterLevelFor(int textureQuality, int levelCount);

class TRRProjectRenderWindow : public gx::TGXRenderWindow {
 public:
  // Needs a live render core (as every render window). The scene must outlive the window or be
  // taken away with SetScene(nullptr).
  // multiSample: samples per pixel for antialiasing (0: none; a count the adapter does not offer
  // is none).
  TRRProjectRenderWindow(gx::TGXRenderSurface* surface, gx::TGXScene* scene, int textureQuality,
                         int multiSample = 0);
  // Rebuilds the surfaces when the count differs from the current one.
  void SetMultiSample(int multiSample);

  gx::TGXViewport* View() const { return Viewport(0); }
  void SetScene(gx::TGXScene* scene);
  // The viewport's camera (held weakly, null for none); the camera takes the view's aspect.
  void SetCamera(gx::TGXCamera* camera);
  gx::TGXCamera* Camera() const;
  // Width / height of the view (height 0 counts as 1).
  float Aspect() const;
  // False while the surface is minimised or has no pixels: the frame step draws nothing then.
  bool CanRender() const;

  // Clears with the background colour, renders and presents; keeps the frame and the draw
  // calls. Nothing while the view cannot render.
  void RenderFrame(uint32_t background);
  // Whether the view follows the pointer (a drag in it). A rasteriser on the CPU then draws the
  // frames at half the width and height, to be shown scaled up: its frame costs the pixels it
  // shades, and a drag wants the next frame soon more than sharp. The viewports, and so the
  // cameras' aspect that picking reads, keep the full size between frames.
  void SetFollowingPointer(bool value) { FFollowingPointer = value; }
  // The factor the next frame is drawn at: 0.5 while following the pointer on a CPU rasteriser,
  // else 1.
  float DrawScale() const;
  int DrawCallCount() const { return FDrawCalls; }
  int FramesRendered() const { return FFrames; }
  // The last frame as a 24-bit bitmap (none before the first frame).
  std::optional<TRRBitmap> ViewImage() const;
  // The last frame as 0xAARRGGBB pixels, top row first (empty before the first frame), read
  // back when asked for; its size (smaller than the view's for a frame drawn at DrawScale < 1).
  std::vector<uint32_t> LastFrame() const;
  uint32_t FrameWidth() const { return FFrameWidth; }
  uint32_t FrameHeight() const { return FFrameHeight; }

  // Drops the smaller surfaces with the others.
  void OnDeviceLost() override;

 protected:
  ~TRRProjectRenderWindow() override;

 private:
  // Renders every viewport into surfaces of the scaled size and shows them; the window's own
  // surfaces and size are back afterwards.
  void RenderScaled(float scale);
  bool FFollowingPointer = false;
  gx::TGXRef<gx::TGXDeviceSurface> FScaledColor, FScaledDepth;
  uint32_t FFrameWidth = 0, FFrameHeight = 0;
  int FDrawCalls = 0;
  int FFrames = 0;
};

}  // namespace rr
