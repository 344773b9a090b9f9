#pragma once
// Our reader of DDS image files: the header, the pixel format and where each face and mip level
// lies in the file. Supported: DXT1, DXT3, DXT5, A8R8G8B8, X8R8G8B8, R5G6B5, X1R5G5B5, A1R5G5B5,
// A4R4G4B4, L8 and A8; plain textures with a mip chain and complete cube maps. Everything else
// (volume textures, the extended header, partial cube maps, other formats) is refused.
//
// The reader trusts no number in the file: sizes are limited, every level is computed in 64 bits
// and checked against the bytes that remain, so a corrupt or hostile file ends in an error and
// never in a large allocation or a read past the data.

#include <cstdint>
#include <span>
#include <vector>

#include "engine/core/GXException.h"

namespace gx {

GX_DECLARE_EXCEPTION(EGXImageFormat, EGXException)

// Formats by their stored numbers; the DXT formats by their four-character codes.
enum : uint32_t {
  GXFormatA1R5G5B5 = 25,
  GXFormatA4R4G4B4 = 26,
  GXFormatA8 = 28,
  GXFormatL8 = 50,
  GXFormatDXT1 = 0x31545844,  // "DXT1"
  GXFormatDXT3 = 0x33545844,  // "DXT3"
  GXFormatDXT5 = 0x35545844,  // "DXT5"
};

// The largest edge the reader accepts (the largest texture any adapter we target takes).
inline constexpr uint32_t GXDdsMaxEdge = 16384;

struct TGXDdsSurface {
  uint32_t Face = 0, Level = 0;
  uint32_t Width = 0, Height = 0;
  // Where the level's bytes lie in the file, and how many.
  uint64_t Offset = 0, Size = 0;
};

struct TGXDdsImage {
  uint32_t Width = 0, Height = 0;
  uint32_t Format = 0;
  uint32_t Levels = 1;
  bool Cube = false;
  // Face by face (cube faces +x, -x, +y, -y, +z, -z), within a face level by level.
  std::vector<TGXDdsSurface> Surfaces;
  const TGXDdsSurface& Surface(uint32_t face, uint32_t level) const { return Surfaces.at(face * Levels + level); }
};

bool GXIsCompressedFormat(uint32_t format);
// Bytes of a level of the format and size (64 bits: no overflow for any 32-bit size); 0 for an
// unknown format.
uint64_t GXSurfaceSize(uint32_t format, uint32_t width, uint32_t height);

// Reads the file's layout; EGXImageFormat with the reason on any fault.
TGXDdsImage GXReadDds(std::span<const uint8_t> data);

}  // namespace gx
