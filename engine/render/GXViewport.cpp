#include "engine/render/GXViewport.h"

#include <algorithm>
#include <cmath>

#include "engine/render/GXRenderTarget.h"

namespace gx {

namespace {

// The pixel position of an edge at fraction f of size pixels.
uint32_t Edge(double f, uint32_t size) {
  if (!(f > 0)) return 0;  // also NaN
  if (f >= 1) return size;
  return static_cast<uint32_t>(std::lround(f * size));
}

}  // namespace

TGXViewport::TGXViewport(TGXRenderTarget* target, float left, float top, float width, float height)
    : FTarget(target) {
  SetRect(left, top, width, height);
}

void TGXViewport::SetRect(float left, float top, float width, float height) {
  FLeft = left;
  FTop = top;
  FWidth = width;
  FHeight = height;
  UpdateRect();
}

void TGXViewport::UpdateRect() {
  const uint32_t w = FTarget ? FTarget->Width() : 0, h = FTarget ? FTarget->Height() : 0;
  const double left = std::isnan(FLeft) ? 0 : FLeft, top = std::isnan(FTop) ? 0 : FTop;
  const uint32_t x0 = Edge(left, w), x1 = Edge(left + (std::isnan(FWidth) ? 0.0 : FWidth), w);
  const uint32_t y0 = Edge(top, h), y1 = Edge(top + (std::isnan(FHeight) ? 0.0 : FHeight), h);
  FRect.X = static_cast<int32_t>(x0);
  FRect.Y = static_cast<int32_t>(y0);
  FRect.Width = x1 > x0 ? x1 - x0 : 0;
  FRect.Height = y1 > y0 ? y1 - y0 : 0;
  FRect.MinZ = 0;
  FRect.MaxZ = 1;
}

}  // namespace gx
