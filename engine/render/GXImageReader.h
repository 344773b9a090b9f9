#pragma once
// Decoding of the plain image files textures and thumbnails come in: PNG (libpng), JPEG
// (libjpeg-turbo), uncompressed BMP and TGA (our own readers). The result is always 32-bit pixels
// 0xAARRGGBB with row 0 the image top, whatever the file stores.
//
// No number in a file is trusted: the edges are limited, the pixel count is limited before any
// buffer is made, and a truncated or corrupt file raises EGXImageFormat with the reason instead
// of returning a half-filled image.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/core/GXException.h"
#include "engine/render/GXDdsReader.h"

namespace gx {

enum class TGXImageFileType { Unknown, Dds, Png, Jpeg, Bmp, Tga };

// The file type by the first bytes (not by the name). TGA has no magic number: it is taken last,
// when the 18-byte header is plausible (a known image type, depth and colour map, a non-empty size).
TGXImageFileType GXImageFileType(std::span<const uint8_t> data);

// The largest edge and pixel count a decoded image may have (256 MiB of pixels).
inline constexpr uint32_t GXImageMaxEdge = 16384;
inline constexpr uint64_t GXImageMaxPixels = uint64_t(1) << 26;

struct TGXImage {
  uint32_t Width = 0, Height = 0;
  // The file holds an alpha channel (PNG with alpha or transparency, BMP with an alpha mask);
  // without one every pixel has alpha 0xFF.
  bool HasAlpha = false;
  // Width x Height pixels 0xAARRGGBB, row by row from the top.
  std::vector<uint32_t> Pixels;
  uint32_t Pixel(uint32_t x, uint32_t y) const { return Pixels.at(size_t(y) * Width + x); }
};

// Decodes a PNG, JPEG, BMP or TGA file; EGXImageFormat with the reason for any other file or fault.
TGXImage GXReadImage(std::span<const uint8_t> data);
TGXImage GXReadPng(std::span<const uint8_t> data);
TGXImage GXReadJpeg(std::span<const uint8_t> data);
TGXImage GXReadBmp(std::span<const uint8_t> data);
// TGA image types 1-3 (colour-mapped, true-colour, grey) and their run-length forms 9-11, 8 to 32
// bits per pixel, rows from the bottom or the top; alpha when the descriptor gives alpha bits.
TGXImage GXReadTga(std::span<const uint8_t> data);

}  // namespace gx
