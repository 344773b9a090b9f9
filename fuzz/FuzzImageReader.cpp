// Any input must decode into an image whose pixel count matches its size, or end in
// EGXImageFormat; never a crash, a hang or a read past the data. The header reader
// (GXReadImageInfo) must agree with the decoders on every file they take: the same size, and the
// format the texture gets (alpha or not; a DDS file's own format, levels and cube flag).
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "engine/render/GXDdsReader.h"
#include "engine/render/GXImageInfo.h"
#include "engine/render/GXImageReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  std::optional<gx::TGXImageInfo> info;
  try {
    info = gx::GXReadImageInfo(bytes);
  } catch (const gx::EGXImageFormat&) {
  }
  try {
    const gx::TGXImage image = gx::GXReadImage(bytes);
    if (image.Width == 0 || image.Height == 0 || image.Pixels.size() != size_t(image.Width) * image.Height)
      std::abort();
    if (!info || info->Width != image.Width || info->Height != image.Height ||
        info->Format != (image.HasAlpha ? uint32_t(gx::GXFormatA8R8G8B8) : uint32_t(gx::GXFormatX8R8G8B8)))
      std::abort();
  } catch (const gx::EGXImageFormat&) {
  }
  if (gx::GXImageFileType(bytes) == gx::TGXImageFileType::Dds) {
    try {
      const gx::TGXDdsImage dds = gx::GXReadDds(bytes);
      if (!info || info->Width != dds.Width || info->Height != dds.Height || info->Format != dds.Format ||
          info->Levels != dds.Levels || info->Cube != dds.Cube)
        std::abort();
    } catch (const gx::EGXImageFormat&) {
    }
  }
  return 0;
}
