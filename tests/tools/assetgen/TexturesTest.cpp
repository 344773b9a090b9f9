// The painted building textures: sizes the texture converter can build a full mip chain for,
// seamless repeats for the tiled ones, the same bytes on every run, and a TGA writer whose files
// the image reader gives back pixel for pixel.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "engine/render/GXImageReader.h"
#include "tools/assetgen/Textures.h"

namespace {

using assetgen::TImage;

bool PowerOfTwo(uint32_t v) { return v >= 4 && (v & (v - 1)) == 0; }

// Mean difference of the colour channels between column a and column b.
double ColumnDifference(const TImage& img, uint32_t a, uint32_t b) {
  double sum = 0;
  for (uint32_t y = 0; y < img.Height; ++y)
    for (int shift : {0, 8, 16})
      sum += std::abs(int((img.At(a, y) >> shift) & 255) - int((img.At(b, y) >> shift) & 255));
  return sum / (3.0 * img.Height);
}

double RowDifference(const TImage& img, uint32_t a, uint32_t b) {
  double sum = 0;
  for (uint32_t x = 0; x < img.Width; ++x)
    for (int shift : {0, 8, 16})
      sum += std::abs(int((img.At(x, a) >> shift) & 255) - int((img.At(x, b) >> shift) & 255));
  return sum / (3.0 * img.Width);
}

TEST(BuildingTextures, PaintedAlikeEveryTimeAndTilingWithoutSeams) {
  ASSERT_GE(assetgen::BuildingTextures().size(), 10u);
  int tga = 0, alpha = 0;
  for (const assetgen::TTextureInfo& info : assetgen::BuildingTextures()) {
    SCOPED_TRACE(info.FileName);
    const TImage img = assetgen::PaintTexture(info.FileName);
    EXPECT_TRUE(PowerOfTwo(img.Width) && PowerOfTwo(img.Height));
    ASSERT_EQ(img.Pixels.size(), size_t(img.Width) * img.Height);
    EXPECT_EQ(img.Pixels, assetgen::PaintTexture(info.FileName).Pixels);
    tga += info.FileName.ends_with(".tga");
    alpha += img.Alpha;
    if (!img.Alpha) {
      for (uint32_t p : img.Pixels) ASSERT_EQ(p >> 24, 0xFFu);
    }
    if (info.Tile.Fit()) continue;
    // The step across the repeat's edge is hardly larger than the largest step inside the picture
    // (a joint or a beam may lie there, but no break in the noise).
    double inner = 0;
    for (uint32_t x = 0; x + 1 < img.Width; ++x) inner = std::max(inner, ColumnDifference(img, x, x + 1));
    EXPECT_LE(ColumnDifference(img, img.Width - 1, 0), 1.1 * inner);
    inner = 0;
    for (uint32_t y = 0; y + 1 < img.Height; ++y) inner = std::max(inner, RowDifference(img, y, y + 1));
    EXPECT_LE(RowDifference(img, img.Height - 1, 0), 1.1 * inner);
  }
  EXPECT_GE(tga, 3);
  EXPECT_EQ(alpha, 1);  // the windmill's sail lattice
  EXPECT_THROW(assetgen::PaintTexture("Gibtsnicht.png"), std::invalid_argument);
}

TEST(BuildingTextures, TgaFilesReadBackPixelForPixel) {
  for (bool withAlpha : {false, true}) {
    SCOPED_TRACE(withAlpha);
    TImage img(6, 4);
    img.Alpha = withAlpha;
    for (uint32_t i = 0; i < img.Pixels.size(); ++i)
      img.Pixels[i] = ((withAlpha ? i * 40u : 255u) << 24) | (i * 0x0A0B0Cu & 0xFFFFFFu);
    const std::vector<uint8_t> file = assetgen::EncodeTga(img);
    EXPECT_EQ(gx::GXImageFileType(file), gx::TGXImageFileType::Tga);
    const gx::TGXImage back = gx::GXReadTga(file);
    EXPECT_EQ(back.Width, 6u);
    EXPECT_EQ(back.Height, 4u);
    EXPECT_EQ(back.HasAlpha, withAlpha);
    EXPECT_EQ(back.Pixels, img.Pixels);  // row 0 stays the top row
  }
}

}  // namespace
