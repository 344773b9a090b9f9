// Any texture file must decode into pixels that fill its size and give thumbnails of exactly the
// asked size, or end in EGXImageFormat.
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "app/entities/panel/RRPanelThumbnails.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const gx::TGXImage image = rr::RRDecodeTextureFile(std::span<const uint8_t>(data, size));
    if (image.Pixels.size() != size_t(image.Width) * image.Height) std::abort();
    for (const auto& [w, h] : {std::pair{rr::RRThumbnailSmall, rr::RRThumbnailSmall},
                               std::pair{rr::RRThumbnailLargeWidth, rr::RRThumbnailLargeHeight}}) {
      const gx::TGXImage t = rr::RRMakeThumbnail(image, w, h);
      if (image.Width && image.Height && (t.Width != uint32_t(w) || t.Height != uint32_t(h))) std::abort();
      if (t.Pixels.size() != size_t(t.Width) * t.Height) std::abort();
    }
  } catch (const gx::EGXImageFormat&) {
  }
  return 0;
}
