// Any input must decode into an image whose pixel count matches its size, or end in
// EGXImageFormat; never a crash, a hang or a read past the data.
#include <cstdint>
#include <cstdlib>

#include "engine/render/GXImageReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const gx::TGXImage image = gx::GXReadImage(std::span<const uint8_t>(data, size));
    if (image.Width == 0 || image.Height == 0 || image.Pixels.size() != size_t(image.Width) * image.Height)
      std::abort();
  } catch (const gx::EGXImageFormat&) {
  }
  return 0;
}
