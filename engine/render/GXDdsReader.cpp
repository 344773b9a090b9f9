#include "engine/render/GXDdsReader.h"

#include <algorithm>
#include <string>

namespace gx {

namespace {

[[noreturn]] void Bad(const std::string& reason) {
  throw EGXImageFormat({TGXExceptionArg::Object("TGXDdsReader"), "Read", reason});
}

uint32_t U32(std::span<const uint8_t> d, size_t at) {
  return uint32_t(d[at]) | uint32_t(d[at + 1]) << 8 | uint32_t(d[at + 2]) << 16 | uint32_t(d[at + 3]) << 24;
}

// Header fields, counted from the start of the file (after the four-byte magic).
enum : size_t {
  kHeaderSize = 4,
  kFlags = 8,
  kHeight = 12,
  kWidth = 16,
  kMipCount = 28,
  kFormatSize = 76,
  kFormatFlags = 80,
  kFourCC = 84,
  kBitCount = 88,
  kRMask = 92,
  kGMask = 96,
  kBMask = 100,
  kAMask = 104,
  kCaps2 = 112,
  kDataStart = 128,
};

enum : uint32_t {
  kFlagMipCount = 0x20000,
  kPfAlphaPixels = 0x1,
  kPfAlpha = 0x2,
  kPfFourCC = 0x4,
  kPfRGB = 0x40,
  kPfLuminance = 0x20000,
  kCaps2Cube = 0x200,
  kCaps2AllFaces = 0xFC00,
  kCaps2Volume = 0x200000,
};

uint32_t PixelFormat(std::span<const uint8_t> d) {
  const uint32_t flags = U32(d, kFormatFlags);
  const uint32_t bits = U32(d, kBitCount);
  const uint32_t r = U32(d, kRMask), g = U32(d, kGMask), b = U32(d, kBMask);
  const uint32_t a = flags & (kPfAlphaPixels | kPfAlpha) ? U32(d, kAMask) : 0;
  if (flags & kPfFourCC) {
    const uint32_t code = U32(d, kFourCC);
    if (code == GXFormatDXT1 || code == GXFormatDXT3 || code == GXFormatDXT5) return code;
    Bad("Unsupported compressed format");
  }
  if (flags & kPfRGB) {
    if (bits == 32 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF) return a == 0xFF000000u ? 21 : 22;
    if (bits == 16 && r == 0xF800 && g == 0x07E0 && b == 0x001F && a == 0) return 23;
    if (bits == 16 && r == 0x7C00 && g == 0x03E0 && b == 0x001F)
      return a == 0x8000 ? uint32_t{GXFormatA1R5G5B5} : 24u;  // 24: X1R5G5B5
    if (bits == 16 && r == 0x0F00 && g == 0x00F0 && b == 0x000F && a == 0xF000) return GXFormatA4R4G4B4;
  } else if ((flags & kPfLuminance) && bits == 8 && r == 0xFF && a == 0) {
    return GXFormatL8;
  } else if ((flags & kPfAlpha) && bits == 8 && a == 0xFF) {
    return GXFormatA8;
  }
  Bad("Unsupported pixel format");
}

}  // namespace

bool GXIsCompressedFormat(uint32_t format) {
  return format == GXFormatDXT1 || format == GXFormatDXT3 || format == GXFormatDXT5;
}

uint64_t GXSurfaceSize(uint32_t format, uint32_t width, uint32_t height) {
  const uint64_t w = width, h = height;
  switch (format) {
    case GXFormatDXT1:
      return ((w + 3) / 4) * ((h + 3) / 4) * 8;
    case GXFormatDXT3:
    case GXFormatDXT5:
      return ((w + 3) / 4) * ((h + 3) / 4) * 16;
    case 21:
    case 22:
      return w * h * 4;
    case 23:
    case 24:
    case GXFormatA1R5G5B5:
    case GXFormatA4R4G4B4:
      return w * h * 2;
    case GXFormatL8:
    case GXFormatA8:
      return w * h;
  }
  return 0;
}

TGXDdsImage GXReadDds(std::span<const uint8_t> d) {
  if (d.size() < kDataStart) Bad("File shorter than the header");
  if (U32(d, 0) != 0x20534444) Bad("Not a DDS file");  // "DDS "
  if (U32(d, kHeaderSize) != 124 || U32(d, kFormatSize) != 32) Bad("Wrong header size");
  if ((U32(d, kFormatFlags) & kPfFourCC) && U32(d, kFourCC) == 0x30315844)
    Bad("Extended header not supported");
  TGXDdsImage image;
  image.Width = U32(d, kWidth);
  image.Height = U32(d, kHeight);
  if (image.Width == 0 || image.Height == 0 || image.Width > GXDdsMaxEdge || image.Height > GXDdsMaxEdge)
    Bad("Unsupported size");
  image.Format = PixelFormat(d);
  const uint32_t caps2 = U32(d, kCaps2);
  if (caps2 & kCaps2Volume) Bad("Volume textures not supported");
  image.Cube = (caps2 & kCaps2Cube) != 0;
  if (image.Cube && (caps2 & kCaps2AllFaces) != kCaps2AllFaces) Bad("Cube map without all six faces");
  if (image.Cube && image.Width != image.Height) Bad("Cube map faces are not square");
  uint32_t maxLevels = 1;
  for (uint32_t edge = std::max(image.Width, image.Height); edge > 1; edge /= 2) ++maxLevels;
  image.Levels = 1;
  if (U32(d, kFlags) & kFlagMipCount) {
    const uint32_t count = U32(d, kMipCount);
    if (count > maxLevels) Bad("More mip levels than the size allows");
    if (count > 0) image.Levels = count;
  }
  const uint32_t faces = image.Cube ? 6 : 1;
  uint64_t offset = kDataStart;
  image.Surfaces.reserve(size_t(faces) * image.Levels);
  for (uint32_t face = 0; face < faces; ++face) {
    uint32_t w = image.Width, h = image.Height;
    for (uint32_t level = 0; level < image.Levels; ++level) {
      const uint64_t size = GXSurfaceSize(image.Format, w, h);
      if (size > d.size() - offset) Bad("File ends inside the image data");
      image.Surfaces.push_back({face, level, w, h, offset, size});
      offset += size;
      w = std::max(1u, w / 2);
      h = std::max(1u, h / 2);
    }
  }
  return image;
}

}  // namespace gx
