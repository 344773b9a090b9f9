// The painted vehicle textures: sizes the converter can build mip chains for, names apart from
// the buildings', the same bytes every time, the coal repeating without a seam, and block
// letters that set exactly their font cells.

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "tools/assetgen/Textures.h"
#include "tools/assetgen/VehicleTextures.h"

namespace {

using assetgen::TImage;

bool PowerOfTwo(uint32_t v) { return v >= 4 && (v & (v - 1)) == 0; }

TEST(VehicleTextures, PowerOfTwoSizesOwnNamesAndTheSameBytesEveryTime) {
  std::set<std::string> buildings;
  for (const assetgen::TTextureInfo& b : assetgen::BuildingTextures()) buildings.insert(b.FileName);
  ASSERT_GE(assetgen::VehicleTextures().size(), 15u);
  for (const assetgen::TTextureInfo& info : assetgen::VehicleTextures()) {
    SCOPED_TRACE(info.FileName);
    EXPECT_EQ(buildings.count(info.FileName), 0u);
    const TImage a = assetgen::PaintVehicleTexture(info.FileName), b = assetgen::PaintVehicleTexture(info.FileName);
    EXPECT_TRUE(PowerOfTwo(a.Width) && PowerOfTwo(a.Height));
    EXPECT_EQ(a.Pixels, b.Pixels);
    EXPECT_FALSE(a.Alpha);
    // Not one flat colour: every picture has some drawing in it.
    std::set<uint32_t> colours(a.Pixels.begin(), a.Pixels.end());
    EXPECT_GE(colours.size(), 3u);
    if (!info.Tile.Fit()) {
      // Tiled: the last column and row lead into the first as any neighbours do.
      double edge = 0, inner = 0;
      for (uint32_t y = 0; y < a.Height; ++y)
        for (int shift : {0, 8, 16}) {
          edge += std::abs(int((a.At(a.Width - 1, y) >> shift) & 255) - int((a.At(0, y) >> shift) & 255));
          inner += std::abs(int((a.At(a.Width / 2, y) >> shift) & 255) - int((a.At(a.Width / 2 + 1, y) >> shift) & 255));
        }
      EXPECT_LT(edge, inner * 2.5 + 1);
    }
  }
  EXPECT_THROW(assetgen::PaintVehicleTexture("Putz.png"), std::invalid_argument);
}

TEST(VehicleTextures, BlockLettersSetTheirFontCellsAndNothingElse) {
  for (char c : std::string(assetgen::RailwayLetters) + "0123456789") ASSERT_NE(assetgen::BlockGlyph(c), nullptr) << c;
  EXPECT_EQ(assetgen::BlockGlyph('?'), nullptr);
  const uint32_t background = 0xFF000000u, ink = 0xFFFFFFFFu;
  TImage img(64, 32, background);
  const int scale = 2;
  const int width = assetgen::DrawBlockText(img, 3, 4, "KW", scale, ink);
  EXPECT_EQ(width, assetgen::BlockTextWidth("KW", scale));
  EXPECT_EQ(width, (2 * 6 - 1) * scale);
  for (uint32_t y = 0; y < img.Height; ++y)
    for (uint32_t x = 0; x < img.Width; ++x) {
      bool set = false;
      const int cx = int(x) - 3, cy = int(y) - 4;
      if (cx >= 0 && cy >= 0 && cy < 7 * scale) {
        const int letter = cx / (6 * scale), col = (cx % (6 * scale)) / scale;
        if (letter < 2 && col < 5) set = assetgen::BlockGlyph("KW"[letter])[cy / scale][col] == '#';
      }
      EXPECT_EQ(img.At(x, y), set ? ink : background) << x << "," << y;
    }
}

}  // namespace
