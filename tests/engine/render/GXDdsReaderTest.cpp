#include <gtest/gtest.h>

#include <cstring>

#include "engine/render/GXDdsReader.h"

namespace gx {
namespace {

struct TDdsFileShape {
  uint32_t Width = 4, Height = 4, Mips = 0;
  uint32_t FormatFlags = 0x40, FourCC = 0, Bits = 32;
  uint32_t Masks[4] = {0xFF0000, 0xFF00, 0xFF, 0};  // r, g, b, a
  uint32_t Caps2 = 0;
  uint64_t DataBytes = 0;
};

// A file with the header described by the arguments and DataBytes bytes of pixel data (value = offset & 0xFF).
std::vector<uint8_t> Dds(const TDdsFileShape& s) {
  std::vector<uint8_t> f(128 + s.DataBytes, 0);
  auto put = [&f](size_t at, uint32_t v) { std::memcpy(&f[at], &v, 4); };
  put(0, 0x20534444);
  put(4, 124);
  put(8, 0x1007 | (s.Mips ? 0x20000 : 0));
  put(12, s.Height);
  put(16, s.Width);
  put(28, s.Mips);
  put(76, 32);
  put(80, s.FormatFlags);
  put(84, s.FourCC);
  put(88, s.Bits);
  for (int i = 0; i < 4; ++i) put(92 + 4 * i, s.Masks[i]);
  put(112, s.Caps2);
  for (size_t i = 128; i < f.size(); ++i) f[i] = uint8_t(i);
  return f;
}

TDdsFileShape Dxt(uint32_t code, uint32_t w, uint32_t h, uint32_t mips, uint64_t bytes) {
  TDdsFileShape s;
  s.Width = w;
  s.Height = h;
  s.Mips = mips;
  s.FormatFlags = 0x4;
  s.FourCC = code;
  s.Bits = 0;
  s.Masks[0] = s.Masks[1] = s.Masks[2] = 0;
  s.DataBytes = bytes;
  return s;
}

TEST(TGXDdsReaderTest, LaysOutACompressedMipChain) {
  // 8 x 4 DXT1: 2 blocks, then 4 x 2 and 2 x 1 and 1 x 1 with one block each (blocks round up).
  const TGXDdsImage image = GXReadDds(Dds(Dxt(GXFormatDXT1, 8, 4, 4, 16 + 8 + 8 + 8)));
  EXPECT_EQ(image.Format, uint32_t(GXFormatDXT1));
  ASSERT_EQ(image.Levels, 4u);
  EXPECT_EQ(image.Surface(0, 0).Size, 16u);
  EXPECT_EQ(image.Surface(0, 1).Offset, 128u + 16);
  EXPECT_EQ(image.Surface(0, 2).Width, 2u);
  EXPECT_EQ(image.Surface(0, 2).Height, 1u);
  EXPECT_EQ(image.Surface(0, 3).Offset, 128u + 32);
  // DXT3 and DXT5 take 16 bytes a block.
  EXPECT_EQ(GXReadDds(Dds(Dxt(GXFormatDXT5, 4, 4, 0, 16))).Surface(0, 0).Size, 16u);
  EXPECT_EQ(GXReadDds(Dds(Dxt(GXFormatDXT3, 5, 5, 1, 64))).Surface(0, 0).Size, 64u);
}

TEST(TGXDdsReaderTest, RecognisesTheUncompressedFormatsByTheirMasks) {
  struct TCase {
    uint32_t Flags, Bits, R, G, B, A, Format, Bytes;
  } cases[] = {
      {0x41, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 21, 4},
      {0x40, 32, 0xFF0000, 0xFF00, 0xFF, 0, 22, 4},
      {0x40, 16, 0xF800, 0x07E0, 0x1F, 0, 23, 2},
      {0x40, 16, 0x7C00, 0x03E0, 0x1F, 0, 24, 2},
      {0x41, 16, 0x7C00, 0x03E0, 0x1F, 0x8000, GXFormatA1R5G5B5, 2},
      {0x41, 16, 0x0F00, 0x00F0, 0x0F, 0xF000, GXFormatA4R4G4B4, 2},
      {0x20000, 8, 0xFF, 0, 0, 0, GXFormatL8, 1},
      {0x2, 8, 0, 0, 0, 0xFF, GXFormatA8, 1},
  };
  for (const TCase& c : cases) {
    TDdsFileShape s;
    s.Width = 3;
    s.Height = 2;
    s.FormatFlags = c.Flags;
    s.Bits = c.Bits;
    s.Masks[0] = c.R;
    s.Masks[1] = c.G;
    s.Masks[2] = c.B;
    s.Masks[3] = c.A;
    s.DataBytes = 6 * c.Bytes;
    const TGXDdsImage image = GXReadDds(Dds(s));
    EXPECT_EQ(image.Format, c.Format);
    EXPECT_EQ(image.Surface(0, 0).Size, 6u * c.Bytes) << c.Format;
  }
  TDdsFileShape bgr;
  bgr.Masks[0] = 0xFF;  // red and blue swapped: not one of ours
  bgr.Masks[2] = 0xFF0000;
  bgr.DataBytes = 64;
  EXPECT_THROW(GXReadDds(Dds(bgr)), EGXImageFormat);
}

TEST(TGXDdsReaderTest, ReadsCompleteCubeMapsFaceByFace) {
  TDdsFileShape s;
  s.Mips = 2;
  s.Caps2 = 0x200 | 0xFC00;
  s.DataBytes = 6 * (64 + 16);
  const TGXDdsImage image = GXReadDds(Dds(s));
  ASSERT_TRUE(image.Cube);
  ASSERT_EQ(image.Surfaces.size(), 12u);
  EXPECT_EQ(image.Surface(1, 0).Offset, 128u + 80);
  EXPECT_EQ(image.Surface(5, 1).Offset, 128u + 5 * 80 + 64);
  s.Caps2 = 0x200 | 0x400;  // one face only
  EXPECT_THROW(GXReadDds(Dds(s)), EGXImageFormat);
  s.Caps2 = 0x200 | 0xFC00;
  s.Width = 8;  // faces not square
  s.DataBytes = 6 * (128 + 32);
  EXPECT_THROW(GXReadDds(Dds(s)), EGXImageFormat);
}

TEST(TGXDdsReaderTest, RefusesCorruptAndHostileHeaders) {
  auto fails = [](std::vector<uint8_t> file) {
    try {
      GXReadDds(file);
    } catch (const EGXImageFormat&) {
      return true;
    }
    return false;
  };
  const std::vector<uint8_t> good = Dds(Dxt(GXFormatDXT1, 4, 4, 3, 24));
  ASSERT_FALSE(fails(good));
  for (size_t cut : {size_t(0), size_t(4), size_t(127), good.size() - 1})
    EXPECT_TRUE(fails(std::vector<uint8_t>(good.begin(), good.begin() + cut))) << cut;
  auto patched = [&good](size_t at, uint32_t v) {
    auto f = good;
    std::memcpy(&f[at], &v, 4);
    return f;
  };
  EXPECT_TRUE(fails(patched(0, 0x12345678)));   // magic
  EXPECT_TRUE(fails(patched(4, 100)));          // header size
  EXPECT_TRUE(fails(patched(16, 0)));           // width 0
  EXPECT_TRUE(fails(patched(16, 0x80000000)));  // absurd width: refused before any size is used
  EXPECT_TRUE(fails(patched(12, 0xFFFFFFFF)));
  EXPECT_TRUE(fails(patched(28, 4)));           // 4 x 4 has at most 3 levels
  EXPECT_TRUE(fails(patched(28, 0xFFFFFFFF)));
  EXPECT_TRUE(fails(patched(84, 0x30315844)));  // extended header
  EXPECT_TRUE(fails(patched(84, 0x32545844)));  // DXT2
  EXPECT_TRUE(fails(patched(112, 0x200000)));   // volume
  // Largest edge, data missing: an error, not an allocation of the size.
  auto huge = Dds(Dxt(GXFormatDXT5, GXDdsMaxEdge, GXDdsMaxEdge, 15, 0));
  EXPECT_TRUE(fails(huge));
}

}  // namespace
}  // namespace gx
