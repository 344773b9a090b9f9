#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "engine/render/GXImageInfo.h"
#include "engine/render/GXImageReader.h"

namespace gx {
namespace {

// A PNG of the pixels (0xAARRGGBB, top row first), with or without its alpha channel.
std::vector<uint8_t> EncodePng(uint32_t width, uint32_t height, const std::vector<uint32_t>& pixels,
                               bool alpha) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = alpha ? PNG_FORMAT_BGRA : PNG_FORMAT_BGR;
  std::vector<uint8_t> bytes;
  for (uint32_t p : pixels) {
    bytes.push_back(uint8_t(p)), bytes.push_back(uint8_t(p >> 8)), bytes.push_back(uint8_t(p >> 16));
    if (alpha) bytes.push_back(uint8_t(p >> 24));
  }
  png_alloc_size_t size = 0;
  EXPECT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, bytes.data(), 0, nullptr));
  std::vector<uint8_t> file(size);
  EXPECT_TRUE(png_image_write_to_memory(&image, file.data(), &size, 0, bytes.data(), 0, nullptr));
  file.resize(size);
  return file;
}

std::vector<uint8_t> EncodeJpeg(uint32_t width, uint32_t height, uint8_t r, uint8_t g, uint8_t b) {
  jpeg_compress_struct info;
  jpeg_error_mgr error;
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = width;
  info.image_height = height;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 100, TRUE);
  jpeg_start_compress(&info, TRUE);
  std::vector<uint8_t> row;
  for (uint32_t x = 0; x < width; ++x) row.insert(row.end(), {r, g, b});
  while (info.next_scanline < height) {
    JSAMPROW p = row.data();
    jpeg_write_scanlines(&info, &p, 1);
  }
  jpeg_finish_compress(&info);
  std::vector<uint8_t> file(buffer, buffer + size);
  jpeg_destroy_compress(&info);
  free(buffer);
  return file;
}

// A BMP file: the 14-byte file header, the info header of the given size, then the extra bytes
// (masks, palette) and the pixel rows.
std::vector<uint8_t> Bmp(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
                         const std::vector<uint8_t>& extra, const std::vector<uint8_t>& rows,
                         uint32_t headerSize = 40) {
  std::vector<uint8_t> f(14 + headerSize, 0);
  auto put32 = [&f](size_t at, uint32_t v) { std::memcpy(&f[at], &v, 4); };
  f[0] = 'B', f[1] = 'M';
  put32(10, uint32_t(14 + headerSize + extra.size()));
  put32(14, headerSize);
  put32(18, uint32_t(width));
  put32(22, uint32_t(height));
  f[26] = 1;
  std::memcpy(&f[28], &bits, 2);
  put32(30, compression);
  f.insert(f.end(), extra.begin(), extra.end());
  f.insert(f.end(), rows.begin(), rows.end());
  put32(2, uint32_t(f.size()));
  return f;
}

TEST(TGXImageReaderTest, DecodesPngWithAndWithoutAlphaTopRowFirst) {
  const std::vector<uint32_t> pixels = {0xFFFF0000, 0x8000FF00, 0x000000FF,
                                        0xFFFFFFFF, 0xFF000000, 0x40102030};
  const auto withAlpha = EncodePng(3, 2, pixels, true);
  EXPECT_EQ(GXImageFileType(withAlpha), TGXImageFileType::Png);
  TGXImage image = GXReadImage(withAlpha);
  EXPECT_EQ(image.Width, 3u);
  EXPECT_EQ(image.Height, 2u);
  EXPECT_TRUE(image.HasAlpha);
  EXPECT_EQ(image.Pixels, pixels);

  image = GXReadImage(EncodePng(3, 2, pixels, false));
  EXPECT_FALSE(image.HasAlpha);
  EXPECT_EQ(image.Pixel(1, 0), 0xFF00FF00u);
  EXPECT_EQ(image.Pixel(2, 1), 0xFF102030u);
}

TEST(TGXImageReaderTest, DecodesJpegAndRefusesATruncatedOne) {
  const auto file = EncodeJpeg(16, 8, 255, 0, 0);
  const TGXImage image = GXReadImage(file);
  EXPECT_EQ(image.Width, 16u);
  EXPECT_EQ(image.Height, 8u);
  EXPECT_FALSE(image.HasAlpha);
  const uint32_t p = image.Pixel(7, 3);
  EXPECT_EQ(p >> 24, 0xFFu);
  EXPECT_GE((p >> 16) & 0xFF, 250u);
  EXPECT_LE((p >> 8) & 0xFF, 5u);
  // Cut inside the scan data: the library would pad it, the reader refuses it.
  const std::vector<uint8_t> cut(file.begin(), file.begin() + file.size() * 2 / 3);
  EXPECT_THROW(GXReadImage(cut), EGXImageFormat);
}

TEST(TGXImageReaderTest, DecodesUncompressedBmpDepths) {
  // 24 bit, 2 x 2, bottom-up, rows padded to four bytes: bottom row blue, white; top red, green.
  TGXImage image = GXReadImage(Bmp(2, 2, 24, 0, {},
                                   {0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0,  //
                                    0, 0, 0xFF, 0, 0xFF, 0, 0, 0}));
  EXPECT_EQ(image.Pixels, (std::vector<uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF}));

  // 8 bit with a two-colour palette, top-down (negative height).
  std::vector<uint8_t> palette = {0, 0, 0, 0, 0x30, 0x20, 0x10, 0};
  std::vector<uint8_t> extra = palette;
  std::vector<uint8_t> rows = {1, 0, 0, 0, 0, 1, 0, 0};
  auto file = Bmp(2, -2, 8, 0, extra, rows);
  std::memcpy(&file[14 + 32], "\x02\0\0\0", 4);  // colours used
  image = GXReadImage(file);
  EXPECT_EQ(image.Pixels, (std::vector<uint32_t>{0xFF102030, 0xFF000000, 0xFF000000, 0xFF102030}));

  // 1 bit: the high bit is the left pixel; an index beyond a short palette draws black.
  image = GXReadImage(Bmp(3, 1, 1, 0, {0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0}, {0b10100000, 0, 0, 0}));
  EXPECT_EQ(image.Pixels, (std::vector<uint32_t>{0xFF000000, 0xFFFFFFFF, 0xFF000000}));

  // 32 bit with bit fields including alpha (a version 4 header holds the masks).
  std::vector<uint8_t> header(108 - 40, 0);
  auto file32 = Bmp(1, 1, 32, 3, {}, {0x11, 0x22, 0x33, 0x80}, 108);
  const uint32_t masks[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
  std::memcpy(&file32[14 + 40], masks, 16);
  image = GXReadImage(file32);
  EXPECT_TRUE(image.HasAlpha);
  EXPECT_EQ(image.Pixels[0], 0x80332211u);

  // 16 bit without masks is 5-5-5.
  image = GXReadImage(Bmp(1, 1, 16, 0, {}, {0x00, 0x7C, 0, 0}));
  EXPECT_EQ(image.Pixels[0], 0xFFFF0000u);
}

TEST(TGXImageReaderTest, RefusesCorruptAndHostileFiles) {
  const std::vector<uint8_t> row(8, 0);
  // Pixel rows shorter than the header claims.
  EXPECT_THROW(GXReadImage(Bmp(2, 3, 24, 0, {}, row)), EGXImageFormat);
  // Absurd sizes are refused before anything is allocated.
  EXPECT_THROW(GXReadImage(Bmp(100000, 1, 24, 0, {}, row)), EGXImageFormat);
  EXPECT_THROW(GXReadImage(Bmp(16384, 16384, 1, 0, {0, 0, 0, 0, 0, 0, 0, 0}, row)), EGXImageFormat);
  EXPECT_THROW(GXReadImage(Bmp(0, 1, 24, 0, {}, row)), EGXImageFormat);
  // A palette that the file does not hold, run-length data, unknown depths and headers.
  EXPECT_THROW(GXReadImage(Bmp(1, 1, 8, 0, {}, {})), EGXImageFormat);
  EXPECT_THROW(GXReadImage(Bmp(1, 1, 8, 1, std::vector<uint8_t>(1024), row)), EGXImageFormat);
  EXPECT_THROW(GXReadImage(Bmp(1, 1, 7, 0, {}, row)), EGXImageFormat);
  EXPECT_THROW(GXReadImage(Bmp(1, 1, 24, 0, {}, row, 20)), EGXImageFormat);
  // Every prefix of a sound file is refused, never read past; a PNG without only its closing
  // chunk (12 bytes) still holds the whole image.
  const auto png = EncodePng(3, 2, std::vector<uint32_t>(6, 0xFF808080), false);
  for (size_t n = 0; n + 12 < png.size(); ++n)
    EXPECT_THROW(GXReadImage(std::span(png.data(), n)), EGXImageFormat) << n;
  const auto bmp = Bmp(2, 2, 24, 0, {}, std::vector<uint8_t>(16, 0x40));
  for (size_t n = 0; n < bmp.size(); ++n)
    EXPECT_THROW(GXReadImage(std::span(bmp.data(), n)), EGXImageFormat) << n;
  EXPECT_THROW(GXReadImage(std::vector<uint8_t>{'G', 'I', 'F', '8'}), EGXImageFormat);
}

// A TGA file of the pixels (0xAARRGGBB, top row first): type 1-3 or 9-11, written bottom-up
// unless topDown; colour-mapped files get a map of the distinct pixels in mapDepth bits.
std::vector<uint8_t> Tga(uint8_t type, uint8_t depth, uint8_t alphaBits, bool topDown, uint16_t width,
                         uint16_t height, const std::vector<uint32_t>& pixels, uint8_t mapDepth = 24) {
  auto color = [](std::vector<uint8_t>& out, uint32_t p, uint8_t bits) {
    const uint8_t a = uint8_t(p >> 24), r = uint8_t(p >> 16), g = uint8_t(p >> 8), b = uint8_t(p);
    if (bits == 8) {
      out.push_back(r);
    } else if (bits == 15 || bits == 16) {
      const uint16_t v = uint16_t((a >= 0x80 ? 0x8000 : 0) | (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
      out.push_back(uint8_t(v)), out.push_back(uint8_t(v >> 8));
    } else {
      out.insert(out.end(), {b, g, r});
      if (bits == 32) out.push_back(a);
    }
  };
  std::vector<uint32_t> map;
  const bool mapped = (type & ~8) == 1;
  if (mapped)
    for (uint32_t p : pixels)
      if (std::find(map.begin(), map.end(), p) == map.end()) map.push_back(p);
  std::vector<uint8_t> out = {0,
                              uint8_t(mapped),
                              type,
                              0,
                              0,
                              uint8_t(map.size()),
                              uint8_t(map.size() >> 8),
                              mapped ? mapDepth : uint8_t(0),
                              0,
                              0,
                              0,
                              0,
                              uint8_t(width),
                              uint8_t(width >> 8),
                              uint8_t(height),
                              uint8_t(height >> 8),
                              depth,
                              uint8_t(alphaBits | (topDown ? 0x20 : 0))};
  for (uint32_t p : map) color(out, p, mapDepth);
  std::vector<uint32_t> rows;
  for (uint16_t y = 0; y < height; ++y) {
    const uint16_t from = topDown ? y : uint16_t(height - 1 - y);
    rows.insert(rows.end(), pixels.begin() + from * width, pixels.begin() + (from + 1) * width);
  }
  auto write = [&](uint32_t p) {
    if (mapped)
      out.push_back(uint8_t(std::find(map.begin(), map.end(), p) - map.begin()));
    else
      color(out, p, depth);
  };
  if (type & 8) {
    // Runs of equal pixels as run packets, the others as one-pixel raw packets.
    for (size_t i = 0; i < rows.size();) {
      size_t n = 1;
      while (i + n < rows.size() && rows[i + n] == rows[i] && n < 128) ++n;
      out.push_back(uint8_t(n > 1 ? 0x80 | (n - 1) : 0));
      write(rows[i]);
      i += n;
    }
  } else {
    for (uint32_t p : rows) write(p);
  }
  return out;
}

TEST(TGXImageReaderTest, DecodesTgaKinds) {
  // Pure channels survive 5-bit depths; the last three pixels form a run.
  const std::vector<uint32_t> pixels = {0xFFFF0000, 0x0000FF00, 0xFF0000FF,
                                        0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF};
  auto opaque = [](std::vector<uint32_t> p) {
    for (uint32_t& v : p) v |= 0xFF000000u;
    return p;
  };
  const std::vector<uint32_t> grey = {0xFF101010, 0xFF808080, 0xFFFFFFFF, 0xFF000000, 0xFF000000, 0xFF000000};
  struct TCase {
    const char* Name;
    std::vector<uint8_t> File;
    bool Alpha;
    std::vector<uint32_t> Expected;
  };
  const TCase cases[] = {
      {"24 bit, bottom-up", Tga(2, 24, 0, false, 3, 2, pixels), false, opaque(pixels)},
      {"24 bit, top-down", Tga(2, 24, 0, true, 3, 2, pixels), false, opaque(pixels)},
      {"32 bit with alpha", Tga(2, 32, 8, false, 3, 2, pixels), true, pixels},
      {"32 bit, descriptor without alpha", Tga(2, 32, 0, true, 3, 2, pixels), false, opaque(pixels)},
      {"16 bit with alpha bit", Tga(2, 16, 1, false, 3, 2, pixels), true, pixels},
      {"15 bit", Tga(2, 15, 0, false, 3, 2, pixels), false, opaque(pixels)},
      {"grey", Tga(3, 8, 0, false, 3, 2, grey), false, grey},
      {"colour-mapped", Tga(1, 8, 0, true, 3, 2, pixels), false, opaque(pixels)},
      {"colour-mapped, 32-bit map with alpha", Tga(1, 8, 8, false, 3, 2, pixels, 32), true, pixels},
      {"run-length 24 bit", Tga(10, 24, 0, false, 3, 2, pixels), false, opaque(pixels)},
      {"run-length 32 bit", Tga(10, 32, 8, true, 3, 2, pixels), true, pixels},
      {"run-length grey", Tga(11, 8, 0, true, 3, 2, grey), false, grey},
      {"run-length colour-mapped", Tga(9, 8, 0, false, 3, 2, pixels, 16), false, opaque(pixels)},
  };
  for (const TCase& c : cases) {
    ASSERT_EQ(GXImageFileType(c.File), TGXImageFileType::Tga) << c.Name;
    const TGXImage image = GXReadImage(c.File);
    EXPECT_EQ(image.Width, 3u) << c.Name;
    EXPECT_EQ(image.Height, 2u) << c.Name;
    EXPECT_EQ(image.HasAlpha, c.Alpha) << c.Name;
    EXPECT_EQ(image.Pixels, c.Expected) << c.Name;
  }
}

TEST(TGXImageReaderTest, RefusesImplausibleAndTruncatedTga) {
  const std::vector<uint32_t> pixels(6, 0xFF123456);
  // Not taken as TGA at all: unknown image types, depths, sizes and map kinds.
  for (std::vector<uint8_t> f : {Tga(4, 24, 0, false, 3, 2, pixels), Tga(2, 12, 0, false, 3, 2, pixels),
                                 Tga(2, 24, 0, false, 0, 2, pixels), Tga(1, 16, 0, false, 3, 2, pixels)})
    EXPECT_EQ(GXImageFileType(f), TGXImageFileType::Unknown);
  // Every prefix of a plausible file is refused, never read past.
  for (const auto& file : {Tga(2, 32, 8, false, 3, 2, pixels), Tga(10, 24, 0, false, 3, 2, pixels),
                           Tga(1, 8, 0, false, 3, 2, pixels)}) {
    for (size_t n = 18; n < file.size(); ++n)
      EXPECT_THROW(GXReadImage(std::span(file.data(), n)), EGXImageFormat) << n;
  }
  // An absurd size is refused before anything is allocated.
  auto huge = Tga(2, 24, 0, false, 3, 2, pixels);
  huge[12] = huge[13] = huge[14] = huge[15] = 0xFF;
  EXPECT_THROW(GXReadImage(huge), EGXImageFormat);
}

// ---- image headers without decoding ----

// A DDS header (4 x 4 unless given) with the pixel format's flags, code or masks; caps2 for cube
// and volume flags.
std::vector<uint8_t> DdsHeader(uint32_t pfFlags, uint32_t fourCC, uint32_t bits,
                               std::array<uint32_t, 4> masks, uint32_t mips = 0, uint32_t caps2 = 0,
                               uint32_t width = 4, uint32_t height = 4) {
  std::vector<uint8_t> f(128, 0);
  auto put = [&](size_t at, uint32_t v) { std::memcpy(&f[at], &v, 4); };
  std::memcpy(f.data(), "DDS ", 4);
  put(4, 124);
  put(8, 0x1007 | (mips ? 0x20000 : 0));
  put(12, height);
  put(16, width);
  put(28, mips);
  put(76, 32);
  put(80, pfFlags);
  put(84, fourCC);
  put(88, bits);
  for (int i = 0; i < 4; ++i) put(92 + 4 * i, masks[size_t(i)]);
  put(112, caps2);
  return f;
}

TEST(GXReadImageInfoTest, AgreesWithTheDecoderOnEveryFileItDecodes) {
  const std::vector<uint32_t> six = {0xFF102030, 0x80FFFFFF, 0xFF000000, 0x00123456, 0xFFFFFFFF, 0xFF808080};
  const std::vector<uint8_t> rows24(2 * 8, 0x7F);  // 2 x 2 pixels, rows padded to 8 bytes
  const std::vector<uint8_t> rows32(2 * 2 * 4, 0x7F);
  std::vector<uint8_t> masks56;  // a version-3 header's masks, alpha included
  for (uint32_t m : {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u})
    for (int i = 0; i < 4; ++i) masks56.push_back(uint8_t(m >> (8 * i)));
  std::vector<uint8_t> bmpV3 = Bmp(2, 2, 32, 3, {}, rows32, 56);
  std::memcpy(&bmpV3[14 + 40], masks56.data(), 16);
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> files = {
      {"png rgb", EncodePng(3, 2, six, false)},
      {"png rgba", EncodePng(3, 2, six, true)},
      {"jpeg", EncodeJpeg(5, 3, 10, 20, 30)},
      {"bmp 24", Bmp(2, -2, 24, 0, {}, rows24)},
      {"bmp 32 plain", Bmp(2, 2, 32, 0, {}, rows32)},
      {"bmp 32 alpha mask", bmpV3},
      {"tga 24", Tga(2, 24, 0, false, 3, 2, six)},
      {"tga 32 alpha", Tga(2, 32, 8, true, 3, 2, six)},
      {"tga 32 no alpha bits", Tga(2, 32, 0, true, 3, 2, six)},
      {"tga rle 16 alpha", Tga(10, 16, 1, false, 3, 2, six)},
      {"tga mapped 32", Tga(1, 8, 8, false, 3, 2, six, 32)},
      {"tga grey", Tga(3, 8, 0, false, 3, 2, six)},
  };
  for (const auto& [name, file] : files) {
    SCOPED_TRACE(name);
    const TGXImage image = GXReadImage(file);
    const TGXImageInfo info = GXReadImageInfo(file);
    EXPECT_EQ(info.Type, GXImageFileType(file));
    EXPECT_EQ(info.Width, image.Width);
    EXPECT_EQ(info.Height, image.Height);
    EXPECT_EQ(info.Levels, 1u);
    EXPECT_EQ(info.Format, image.HasAlpha ? uint32_t(GXFormatA8R8G8B8) : uint32_t(GXFormatX8R8G8B8));
    // Every shorter piece of the file either reads the same header or fails cleanly.
    for (size_t n = 0; n < std::min<size_t>(file.size(), 200); ++n) {
      const std::vector<uint8_t> piece(file.begin(), file.begin() + ptrdiff_t(n));
      try {
        const TGXImageInfo part = GXReadImageInfo(piece);
        EXPECT_EQ(part.Width, info.Width);
        EXPECT_EQ(part.Format, info.Format);
      } catch (const EGXImageFormat&) {
      }
    }
  }
}

TEST(GXReadImageInfoTest, ReadsDdsFormatsLevelsAndCubes) {
  struct TCase {
    const char* Name;
    std::vector<uint8_t> File;
    uint32_t Format, Levels;
    bool Cube;
  };
  const std::vector<TCase> cases = {
      {"dxt1 mips", DdsHeader(0x4, GXFormatDXT1, 0, {}, 3, 0, 8, 4), GXFormatDXT1, 3, false},
      {"dxt5", DdsHeader(0x4, GXFormatDXT5, 0, {}), GXFormatDXT5, 1, false},
      {"a8r8g8b8", DdsHeader(0x41, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}), 21, 1, false},
      {"x8r8g8b8", DdsHeader(0x40, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0}), 22, 1, false},
      {"alpha mask without flag", DdsHeader(0x40, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}), 22, 1, false},
      {"a8b8g8r8", DdsHeader(0x41, 0, 32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}), 32, 1, false},
      {"x8b8g8r8", DdsHeader(0x40, 0, 32, {0xFF, 0xFF00, 0xFF0000, 0}), 33, 1, false},
      {"r8g8b8", DdsHeader(0x40, 0, 24, {0xFF0000, 0xFF00, 0xFF, 0}), 20, 1, false},
      {"r5g6b5", DdsHeader(0x40, 0, 16, {0xF800, 0x7E0, 0x1F, 0}), 23, 1, false},
      {"a1r5g5b5", DdsHeader(0x41, 0, 16, {0x7C00, 0x3E0, 0x1F, 0x8000}), 25, 1, false},
      {"a4r4g4b4", DdsHeader(0x41, 0, 16, {0xF00, 0xF0, 0xF, 0xF000}), 26, 1, false},
      {"l8", DdsHeader(0x20000, 0, 8, {0xFF, 0, 0, 0}), 50, 1, false},
      {"a8", DdsHeader(0x2, 0, 8, {0, 0, 0, 0xFF}), 28, 1, false},
      {"cube", DdsHeader(0x4, GXFormatDXT1, 0, {}, 0, 0xFE00), GXFormatDXT1, 1, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TGXImageInfo info = GXReadImageInfo(c.File);
    EXPECT_EQ(info.Type, TGXImageFileType::Dds);
    EXPECT_EQ(info.Format, c.Format);
    EXPECT_EQ(info.Levels, c.Levels);
    EXPECT_EQ(info.Cube, c.Cube);
  }
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> refused = {
      {"volume", DdsHeader(0x4, GXFormatDXT1, 0, {}, 0, 0x200000)},
      {"extended header", DdsHeader(0x4, 0x30315844, 0, {})},
      {"no code", DdsHeader(0x4, 0, 0, {})},
      {"unknown masks", DdsHeader(0x40, 0, 32, {0xFF, 0xFF, 0xFF, 0})},
      {"no pixels", DdsHeader(0x4, GXFormatDXT1, 0, {}, 0, 0, 0, 4)},
      {"too wide", DdsHeader(0x4, GXFormatDXT1, 0, {}, 0, 0, 16385, 4)},
      {"absurd levels", DdsHeader(0x4, GXFormatDXT1, 0, {}, 1000)},
      {"short", std::vector<uint8_t>{'D', 'D', 'S', ' ', 124, 0, 0, 0}},
  };
  for (const auto& [name, file] : refused) EXPECT_THROW(GXReadImageInfo(file), EGXImageFormat) << name;
}

TEST(GXReadImageInfoTest, FindsTheFrameAndTheTransparencyPastOtherBlocksAndRefusesGarbage) {
  // A JPEG whose frame header comes after a large application block.
  std::vector<uint8_t> jpeg = EncodeJpeg(7, 9, 1, 2, 3);
  std::vector<uint8_t> app = {0xFF, 0xE5, 0xFF, 0xF0};
  app.resize(2 + 0xFFF0, 0xAB);
  jpeg.insert(jpeg.begin() + 2, app.begin(), app.end());
  TGXImageInfo info = GXReadImageInfo(jpeg);
  EXPECT_EQ(info.Width, 7u);
  EXPECT_EQ(info.Height, 9u);
  // An RGB PNG with a transparency block before its data has alpha.
  std::vector<uint8_t> png = EncodePng(2, 2, std::vector<uint32_t>(4, 0xFF808080), false);
  std::vector<uint8_t> trns = {0, 0, 0, 6, 't', 'R', 'N', 'S', 0, 0x80, 0, 0x80, 0, 0x80};
  const uint32_t crc = uint32_t(crc32(0, trns.data() + 4, 10));
  for (int i = 3; i >= 0; --i) trns.push_back(uint8_t(crc >> (8 * i)));
  // The same block damaged is skipped, as the decoder skips it.
  std::vector<uint8_t> damaged = png;
  std::vector<uint8_t> badTrns = trns;
  badTrns.back() ^= 1;
  damaged.insert(damaged.begin() + 8 + 25, badTrns.begin(), badTrns.end());
  EXPECT_EQ(GXReadImageInfo(damaged).Format, uint32_t(GXFormatX8R8G8B8));
  EXPECT_FALSE(GXReadImage(damaged).HasAlpha);
  png.insert(png.begin() + 8 + 25, trns.begin(), trns.end());
  EXPECT_EQ(GXReadImageInfo(png).Format, uint32_t(GXFormatA8R8G8B8));
  EXPECT_TRUE(GXReadImage(png).HasAlpha);

  std::vector<uint8_t> noData = EncodePng(2, 2, std::vector<uint32_t>(4, 0xFF808080), false);
  noData.resize(8 + 25);
  const std::vector<uint8_t> iend = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
  noData.insert(noData.end(), iend.begin(), iend.end());
  std::vector<uint8_t> badColour = EncodePng(2, 2, std::vector<uint32_t>(4, 0xFF808080), false);
  badColour[25] = 5;
  std::vector<uint8_t> longBlock = EncodePng(2, 2, std::vector<uint32_t>(4, 0xFF808080), false);
  longBlock[33] = 0x7F;  // the block after the header claims 2 GiB
  std::vector<uint8_t> jpegWithoutFrame = {0xFF, 0xD8, 0xFF, 0xE0, 0, 4, 0, 0, 0xFF, 0xDA, 0, 2};
  for (const auto& bad : {noData, badColour, longBlock, jpegWithoutFrame,
                          std::vector<uint8_t>{'G', 'I', 'F', '8', '9'}, std::vector<uint8_t>{}})
    EXPECT_THROW(GXReadImageInfo(bad), EGXImageFormat);
}

}  // namespace
}  // namespace gx
