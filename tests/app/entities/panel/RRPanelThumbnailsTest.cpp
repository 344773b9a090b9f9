#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/RRProjectSerializer.h"
#include "app/RRTextureConverter.h"
#include "app/entities/panel/RRPanelThumbnails.h"
#include "engine/core/GXFileSystem.h"

using namespace rr;
namespace fs = std::filesystem;

namespace {

// Left half black, right half white.
std::vector<uint32_t> HalfAndHalf(uint32_t w, uint32_t h) {
  std::vector<uint32_t> p(size_t(w) * h);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) p[size_t(y) * w + x] = x < w / 2 ? 0xFF000000u : 0xFFFFFFFFu;
  return p;
}

gx::TGXImage Image(uint32_t w, uint32_t h, std::vector<uint32_t> pixels) {
  gx::TGXImage image;
  image.Width = w;
  image.Height = h;
  image.Pixels = std::move(pixels);
  return image;
}

struct ThumbnailFolder : ::testing::Test {
  std::string Dir;
  gx::TGXFileSystem Files;
  void SetUp() override {
    char pattern[] = "/tmp/velmora-thumbs-XXXXXX";
    Dir = mkdtemp(pattern);
    Files.SetRoot("Game", Dir);
    TRRPanelThumbnails::Instance().Clear();
  }
  void TearDown() override {
    TRRPanelThumbnails::Instance().Clear();
    fs::remove_all(Dir);
  }
  void Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(Dir + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
};

}  // namespace

TEST(RRPanelThumbnails, ShrinkingAveragesBlocksAndStretchingInterpolates) {
  // 320 x 186 is a little taller than 162:93, so one row is cropped at the top and bottom.
  gx::TGXImage big = RRMakeThumbnail(Image(320, 186, HalfAndHalf(320, 186)), 162, 93);
  ASSERT_EQ(big.Width, 162u);
  ASSERT_EQ(big.Height, 93u);
  EXPECT_EQ(big.Pixel(0, 0), 0xFF000000u);
  EXPECT_EQ(big.Pixel(80, 50), 0xFF000000u);  // columns 158 and 159
  EXPECT_EQ(big.Pixel(81, 50), 0xFFFFFFFFu);  // columns 160 and 161
  EXPECT_EQ(big.Pixel(161, 92), 0xFFFFFFFFu);

  // A 3 x 3 picture averaged into 1 x 1.
  std::vector<uint32_t> nine(9, 0xFF000000u);
  nine[4] = 0xFF900000u;
  EXPECT_EQ(RRMakeThumbnail(Image(3, 3, nine), 1, 1).Pixel(0, 0), 0xFF100000u);

  // 2 x 2 stretched to 16 x 16: the corners keep their colours, the middle lies between them.
  gx::TGXImage up =
      RRMakeThumbnail(Image(2, 2, {0xFF000000u, 0xFFFFFFFFu, 0xFF000000u, 0xFFFFFFFFu}), 16, 16);
  EXPECT_EQ(up.Pixel(0, 0), 0xFF000000u);
  EXPECT_EQ(up.Pixel(15, 15), 0xFFFFFFFFu);
  const uint32_t mid = up.Pixel(7, 3) & 0xFF;
  EXPECT_GT(mid, 60u);
  EXPECT_LT(mid, 130u);
  EXPECT_TRUE(RRMakeThumbnail(Image(0, 0, {}), 16, 16).Pixels.empty());
}

TEST_F(ThumbnailFolder, FilesGetTwoThumbnailsOnceAndBadFilesAddNothing) {
  const std::vector<uint8_t> png = RREncodePng(64, 64, HalfAndHalf(64, 64), false);
  Write("Boden.png", png);
  Write("Boden.dds", ConvertTextureForPackage(png));
  Write("Kaputt.dds", std::vector<uint8_t>(png.begin(), png.begin() + 40));
  TRRPanelThumbnails& cache = TRRPanelThumbnails::Instance();

  EXPECT_TRUE(cache.Add(Files, "Game:\\Boden.png"));
  EXPECT_EQ(cache.Count(), 2);
  EXPECT_TRUE(cache.Add(Files, "Game:\\BODEN.PNG"));  // already made in this run
  EXPECT_EQ(cache.Count(), 2);
  const gx::TGXImage* small = cache.Find("game:\\boden.png", RRThumbnailSmall);
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(small->Height, 16u);
  EXPECT_EQ(small->Pixel(0, 8), 0xFF000000u);
  EXPECT_EQ(small->Pixel(15, 8), 0xFFFFFFFFu);
  const gx::TGXImage* large = cache.Find("Game:\\Boden.png", RRThumbnailLargeWidth);
  ASSERT_NE(large, nullptr);
  EXPECT_EQ(large->Height, 93u);
  EXPECT_EQ(cache.Find("Game:\\Boden.png", 17), nullptr);

  // The DDS decodes through the block decompressor (DXT1 keeps black and white exactly).
  const gx::TGXImage* dds = cache.Get(Files, "Game:\\Boden.dds", RRThumbnailSmall);
  ASSERT_NE(dds, nullptr);
  EXPECT_EQ(dds->Pixel(0, 0), 0xFF000000u);
  EXPECT_EQ(dds->Pixel(15, 15), 0xFFFFFFFFu);
  EXPECT_EQ(cache.Count(), 4);

  EXPECT_FALSE(cache.Add(Files, "Game:\\Kaputt.dds"));
  EXPECT_FALSE(cache.Add(Files, "Game:\\Fehlt.png"));
  EXPECT_EQ(cache.Get(Files, "Game:\\Fehlt.png", RRThumbnailSmall), nullptr);
  EXPECT_EQ(cache.Count(), 4);
  // The earlier pictures stay where they were while entries are added before them.
  EXPECT_EQ(cache.Find("Game:\\Boden.png", RRThumbnailSmall), small);
}

TEST(RRPanelThumbnails, PlainDdsFormatsDecode) {
  // A 2 x 1 A8R8G8B8 file: 128-byte header, then the pixels.
  std::vector<uint8_t> dds(128 + 8, 0);
  auto put = [&](size_t at, uint32_t v) { std::memcpy(&dds[at], &v, 4); };
  put(0, 0x20534444);                // "DDS "
  put(4, 124);                       // header size
  put(8, 0x1 | 0x2 | 0x4 | 0x1000);  // caps, height, width, pixel format
  put(12, 1);                        // height
  put(16, 2);                        // width
  put(76, 32);                       // pixel format size
  put(80, 0x40 | 0x1);               // RGB with alpha
  put(88, 32);                       // bits
  put(92, 0xFF0000), put(96, 0xFF00), put(100, 0xFF), put(104, 0xFF000000u);
  put(108, 0x1000);  // texture
  put(128, 0x80102030u), put(132, 0xFFFFFFFFu);
  gx::TGXImage image = RRDecodeTextureFile(dds);
  ASSERT_EQ(image.Width, 2u);
  EXPECT_EQ(image.Pixel(0, 0), 0x80102030u);
  EXPECT_TRUE(image.HasAlpha);
  dds.resize(130);
  EXPECT_THROW(RRDecodeTextureFile(dds), gx::EGXImageFormat);
}
