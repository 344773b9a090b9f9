#pragma once
// The last frame of a preview as a picture for the toolkit (null before the first frame).

#include <QImage>

#include "app/RRPreview.h"

namespace rr {

inline QImage RRPreviewImage(const TRRPreviewRenderWindow& preview) {
  const std::vector<uint32_t> frame = preview.Frame();
  const int w = int(preview.Width()), h = int(preview.Height());
  if (frame.size() != size_t(w) * size_t(h)) return {};
  return QImage(reinterpret_cast<const uchar*>(frame.data()), w, h, w * 4, QImage::Format_RGB32).copy();
}

}  // namespace rr
