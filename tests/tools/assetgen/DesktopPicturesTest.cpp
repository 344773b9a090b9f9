// The desktop program's start picture and icon: the picture melts into its top-left colour at
// every border (the window fills the room beside it with that colour), shows sky above and
// meadow below, and is painted alike every time; the icon is transparent round its rounded
// square with soft edges, opaque inside and shows the red engine's front. Sizes that cannot be
// painted are refused.

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "tools/assetgen/DesktopPictures.h"

namespace {

int Channel(uint32_t p, int shift) { return int((p >> shift) & 255); }

// Largest difference of one colour channel.
int Difference(uint32_t a, uint32_t b) {
  int d = 0;
  for (int shift : {0, 8, 16}) d = std::max(d, std::abs(Channel(a, shift) - Channel(b, shift)));
  return d;
}

TEST(DesktopBackground, BordersMeltIntoTheTopLeftColourAndTheLandscapeLiesBetween) {
  constexpr uint32_t w = 320, h = 200;
  const std::vector<uint32_t> px = assetgen::PaintDesktopBackground(w, h);
  ASSERT_EQ(px.size(), size_t(w) * h);
  const uint32_t edge = assetgen::DesktopBackgroundEdgeColour();
  EXPECT_EQ(px[0], edge);
  // A calm sky colour: blue above green and red.
  EXPECT_GT(Channel(edge, 0), Channel(edge, 8));
  EXPECT_GT(Channel(edge, 8), Channel(edge, 16));
  for (uint32_t x = 0; x < w; ++x) {
    EXPECT_LE(Difference(px[x], edge), 1) << "top, x " << x;
    EXPECT_LE(Difference(px[size_t(h - 1) * w + x], edge), 1) << "bottom, x " << x;
  }
  for (uint32_t y = 0; y < h; ++y) {
    EXPECT_LE(Difference(px[size_t(y) * w], edge), 1) << "left, y " << y;
    EXPECT_LE(Difference(px[size_t(y) * w + w - 1], edge), 1) << "right, y " << y;
  }
  // Inside: sky (and clouds) in the upper middle, meadow in the lower left, the ballasted track
  // crossing the bottom right of the middle.
  auto greenish = [](uint32_t p) { return Channel(p, 8) > Channel(p, 16) && Channel(p, 8) > Channel(p, 0); };
  int sky = 0, skyTotal = 0, meadow = 0, meadowTotal = 0, track = 0;
  for (uint32_t y = h / 8; y < h / 4; ++y)
    for (uint32_t x = w / 3; x < 2 * w / 3; ++x, ++skyTotal)
      sky += Channel(px[size_t(y) * w + x], 0) + 2 >= Channel(px[size_t(y) * w + x], 16);
  for (uint32_t y = 3 * h / 4; y < 7 * h / 8; ++y)
    for (uint32_t x : {w / 8, w / 6, w / 4, w / 3}) meadow += greenish(px[size_t(y) * w + x]), ++meadowTotal;
  for (uint32_t x = w / 2; x < 3 * w / 4; ++x) track += !greenish(px[size_t(7 * h / 8) * w + x]);
  EXPECT_GE(sky, skyTotal * 95 / 100);
  EXPECT_GE(meadow, meadowTotal * 9 / 10);
  EXPECT_GE(track, int(w / 16));
  for (uint32_t p : px) ASSERT_EQ(p >> 24, 0xFFu);
  EXPECT_EQ(px, assetgen::PaintDesktopBackground(w, h));
}

TEST(DesktopBackground, RefusesSizesItCannotPaint) {
  EXPECT_THROW(assetgen::PaintDesktopBackground(0, 100), std::invalid_argument);
  EXPECT_THROW(assetgen::PaintDesktopBackground(100, 0), std::invalid_argument);
  EXPECT_THROW(assetgen::PaintDesktopBackground(100000, 10), std::invalid_argument);
  EXPECT_THROW(assetgen::PaintProgramIcon(0), std::invalid_argument);
  EXPECT_THROW(assetgen::PaintProgramIcon(4), std::invalid_argument);
  EXPECT_THROW(assetgen::PaintProgramIcon(5000), std::invalid_argument);
}

TEST(ProgramIcon, TransparentRoundTheSquareSoftAtItsEdgeAndTheEngineInTheMiddle) {
  for (uint32_t size : assetgen::kIconSizes) {
    SCOPED_TRACE(size);
    const std::vector<uint32_t> px = assetgen::PaintProgramIcon(size);
    ASSERT_EQ(px.size(), size_t(size) * size);
    auto at = [&](uint32_t x, uint32_t y) { return px[size_t(y) * size + x]; };
    // Rounded corners are clear, the middle of every side is solid.
    for (uint32_t corner : {at(0, 0), at(size - 1, 0), at(0, size - 1), at(size - 1, size - 1)})
      EXPECT_LT(corner >> 24, 0x40u);
    if (size >= 32) {
      EXPECT_EQ(at(0, 0), 0u);  // fully clear where the margin is a pixel or more
    }
    EXPECT_EQ(at(size / 2, size / 16 + 1) >> 24, 0xFFu);
    EXPECT_EQ(at(size / 2, size / 2) >> 24, 0xFFu);
    EXPECT_EQ(at(size / 2, size - 1 - size / 16) >> 24, 0xFFu);
    // Anti-aliased: partly covered pixels along the rounded corners.
    int partial = 0;
    for (uint32_t p : px) partial += (p >> 24) > 0 && (p >> 24) < 0xFF;
    EXPECT_GE(partial, int(size / 8));
    // The engine's red body fills the centre column between windscreen and lamps.
    const uint32_t body = at(size / 2, size * 5 / 8);
    EXPECT_GT(Channel(body, 16), 2 * Channel(body, 8)) << std::hex << body;
    EXPECT_EQ(px, assetgen::PaintProgramIcon(size));
  }
}

}  // namespace
