// The PNG encoder: what it writes reads back pixel for pixel, with or without alpha, always as the
// same bytes; sizes the pixels do not fill give nothing.

#include <gtest/gtest.h>

#include "app/RRProjectSerializer.h"
#include "engine/render/GXImageReader.h"

namespace {

using namespace rr;

TEST(RREncodePngTest, ReadsBackAsWritten) {
  const std::vector<uint32_t> pixels = {0xFF102030, 0x80FFFFFF, 0x00000000,
                                        0xFF00FF00, 0x7F123456, 0xFFFFFFFF};
  for (bool alpha : {false, true}) {
    SCOPED_TRACE(alpha);
    const std::vector<uint8_t> png = RREncodePng(3, 2, pixels, alpha);
    ASSERT_FALSE(png.empty());
    EXPECT_EQ(RREncodePng(3, 2, pixels, alpha), png);
    const gx::TGXImage image = gx::GXReadPng(png);
    EXPECT_EQ(image.Width, 3u);
    EXPECT_EQ(image.Height, 2u);
    EXPECT_EQ(image.HasAlpha, alpha);
    for (size_t i = 0; i < pixels.size(); ++i)
      EXPECT_EQ(image.Pixels[i], alpha ? pixels[i] : (pixels[i] | 0xFF000000u)) << i;
  }
  TRRBitmap bitmap;
  bitmap.Width = 2;
  bitmap.Height = 1;
  bitmap.Pixels = {1, 2, 3, 250, 251, 252};
  const gx::TGXImage image = gx::GXReadPng(RREncodePng(bitmap));
  EXPECT_EQ(image.Pixels, (std::vector<uint32_t>{0xFF010203u, 0xFFFAFBFCu}));
}

TEST(RREncodePngTest, RefusesSizesThePixelsDoNotFill) {
  EXPECT_TRUE(RREncodePng(0, 2, {}, false).empty());
  EXPECT_TRUE(RREncodePng(2, 2, std::vector<uint32_t>(3), true).empty());
  EXPECT_TRUE(RREncodePng(2, 2, std::vector<uint32_t>(5), true).empty());
  TRRBitmap small;
  small.Width = 4;
  small.Height = 4;
  small.Pixels.resize(10);
  EXPECT_TRUE(RREncodePng(small).empty());
  EXPECT_TRUE(RREncodePng(TRRBitmap()).empty());
}

}  // namespace
