// Any input must end in a layout whose every surface lies inside the data, or in EGXImageFormat.
#include <cstdint>
#include <cstdlib>

#include "engine/render/GXDdsReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const gx::TGXDdsImage image = gx::GXReadDds(std::span<const uint8_t>(data, size));
    for (const auto& s : image.Surfaces)
      if (s.Offset > size || s.Size > size - s.Offset) std::abort();
  } catch (const gx::EGXImageFormat&) {
  }
  return 0;
}
