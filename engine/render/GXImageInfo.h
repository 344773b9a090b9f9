#pragma once
// What an image file holds, read from its header alone: the file type, the size, the mip levels
// and the format the image's texture gets. Nothing is decoded, so asking costs no more than a
// few hundred bytes of parsing (JPEG: the markers up to the frame header), whatever the image's
// size. Used where only the format matters, for example the alpha rules of model materials.
//
// Formats by their stored numbers: DDS files give their own (DXT1/3/5 by their four-character
// codes, the RGB layouts by their masks, including A8B8G8R8 and X8B8G8R8, which the texture
// reader does not take); PNG, BMP and TGA give A8R8G8B8 when they carry alpha (an alpha channel,
// a transparency chunk, an alpha mask, alpha bits) and X8R8G8B8 otherwise, as the texture reader
// makes them; JPEG always X8R8G8B8.
//
// Every field is checked: a truncated header, an unknown layout or a size outside the image
// reader's limits raises EGXImageFormat, like the decoders.

#include <cstdint>
#include <span>

#include "engine/render/GXImageReader.h"
#include "engine/render/GXRenderDevice.h"

namespace gx {

inline constexpr uint32_t GXFormatR8G8B8 = 20;
inline constexpr uint32_t GXFormatA8B8G8R8 = 32;
inline constexpr uint32_t GXFormatX8B8G8R8 = 33;

struct TGXImageInfo {
  TGXImageFileType Type = TGXImageFileType::Unknown;
  uint32_t Width = 0, Height = 0;
  // 1 for every type but DDS, which states its own.
  uint32_t Levels = 1;
  uint32_t Format = 0;
  // A DDS cube map.
  bool Cube = false;
};

// The header of a DDS, PNG, JPEG, BMP or TGA file; EGXImageFormat with the reason otherwise.
TGXImageInfo GXReadImageInfo(std::span<const uint8_t> data);

}  // namespace gx
