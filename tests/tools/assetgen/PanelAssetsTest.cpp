// The panel files of the shared base package as the build generated them, and the ground
// textures' painting: seamless repeats, distinct looks, the same pixels every run.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "app/RRDatabase.h"
#include "app/RRGlobal.h"
#include "app/RRMaterial.h"
#include "app/entities/panel/RRPanelTexture.h"
#include "engine/core/GXFileSystem.h"
#include "engine/render/GXDdsReader.h"
#include "engine/render/GXImageReader.h"
#include "tools/assetgen/PanelAssets.h"

namespace {

using namespace rr;

double Channel(uint32_t p, int shift) { return double((p >> shift) & 255); }

// Mean absolute difference of neighbouring pixels across the wrap seam and inside the image.
std::pair<double, double> SeamAndInterior(const std::vector<uint32_t>& pixels, uint32_t n) {
  auto diff = [](uint32_t a, uint32_t b) {
    return std::abs(Channel(a, 16) - Channel(b, 16)) + std::abs(Channel(a, 8) - Channel(b, 8)) +
           std::abs(Channel(a, 0) - Channel(b, 0));
  };
  double seam = 0, interior = 0;
  for (uint32_t i = 0; i < n; ++i) {
    seam += diff(pixels[size_t(i) * n + n - 1], pixels[size_t(i) * n]) +
            diff(pixels[size_t(n - 1) * n + i], pixels[i]);
    interior += diff(pixels[size_t(i) * n + n / 2 - 1], pixels[size_t(i) * n + n / 2]) +
                diff(pixels[size_t(n / 2 - 1) * n + i], pixels[size_t(n / 2) * n + i]);
  }
  return {seam / (2 * n), interior / (2 * n)};
}

}  // namespace

TEST(PanelAssets, GroundTexturesRepeatWithoutSeamsAndLookApart) {
  ASSERT_EQ(assetgen::GroundTextureNames().size(), size_t(RRPanelBuiltInTextureCount));
  for (int i = 0; i < RRPanelBuiltInTextureCount; ++i)
    EXPECT_EQ(assetgen::GroundTextureNames()[size_t(i)], RRPanelBuiltInTextureNames[size_t(i)]);
  const uint32_t n = assetgen::GroundTextureSize;
  std::vector<std::string> all = assetgen::GroundTextureNames();
  for (const std::string& extra : assetgen::ExtraGroundTextureNames()) all.push_back(extra);
  std::vector<std::array<double, 3>> means;
  std::vector<std::vector<uint32_t>> painted;
  for (const std::string& name : all) {
    const std::vector<uint32_t>& pixels = painted.emplace_back(assetgen::PaintGroundTexture(name));
    ASSERT_EQ(pixels.size(), size_t(n) * n) << name;
    EXPECT_EQ(pixels, assetgen::PaintGroundTexture(name)) << name;
    const auto [seam, interior] = SeamAndInterior(pixels, n);
    // A seam no rougher than the inside (with room for the noise of single pixels).
    EXPECT_LT(seam, interior * 1.6 + 12) << name;
    std::array<double, 3> mean{};
    for (uint32_t p : pixels)
      for (int c = 0; c < 3; ++c) mean[size_t(c)] += Channel(p, 16 - 8 * c) / double(pixels.size());
    means.push_back(mean);
  }
  // No texture is a copy of another.
  for (size_t a = 0; a < all.size(); ++a)
    for (size_t b = a + 1; b < all.size(); ++b)
      EXPECT_NE(assetgen::PaintGroundTexture(all[a]), assetgen::PaintGroundTexture(all[b]))
          << all[a] << all[b];
  // Meadows are green, snow is bright, water is blue.
  auto index = [&](const char* name) {
    return size_t(std::find(all.begin(), all.end(), name) - all.begin());
  };
  EXPECT_GT(means[index("Wiese.dds")][1], means[index("Wiese.dds")][0]);
  EXPECT_GT(means[index("Schnee.dds")][0], 200);
  EXPECT_GT(means[index("Wasser.dds")][2], means[index("Wasser.dds")][0]);
  EXPECT_THROW(assetgen::PaintGroundTexture("Mond.dds"), std::invalid_argument);
}

TEST(PanelAssets, TheBasePackageHoldsEffectsTexturesAndRaster) {
  gx::TGXFileSystem fileSystem;
  fileSystem.SetRoot("Game", VELMORA_CLI_DATA_DIR);
  TRRDatabase database(fileSystem, {});
  ASSERT_TRUE(database.FindAsset(gx::TGXGuid::Parse(RRBasePackage2)));
  auto bytes = [&](const std::string& relative) {
    return fileSystem.OpenFile(std::string("Game:\\") + RRBasePackageID + "\\" + relative)->Data();
  };
  for (const char* effect :
       {"TerrainOneTile.fx", "TerrainTwoTiles.fx", "TerrainThreeTiles.fx", "TerrainFourTiles.fx",
        "TerrainTransparent.fx", "TerrainCAD.fx", "HeightmapVertex.fx", "TerrainCommon.fxh"}) {
    std::ifstream in(std::string(VELMORA_DATA_DIR) + "/shaders/Bodenplatte/" + effect, std::ios::binary);
    const std::vector<uint8_t> source((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(bytes(std::string("Shader\\Bodenplatte\\") + effect), source) << effect;
  }
  std::vector<std::string> textures;
  for (const std::string& name : assetgen::GroundTextureNames()) textures.push_back("PanelTextures\\" + name);
  for (const std::string& name : assetgen::ExtraGroundTextureNames())
    textures.push_back("Bodentexturen\\" + name);
  for (const std::string& file : textures) {
    const std::vector<uint8_t> dds = bytes(file);
    ASSERT_GT(dds.size(), 128u) << file;
    EXPECT_EQ(std::string(dds.begin() + 84, dds.begin() + 88), "DXT1") << file;
    uint32_t mips = 0;
    std::memcpy(&mips, dds.data() + 28, 4);
    EXPECT_EQ(mips, 9u) << file;  // 256 down to 1
  }
  const gx::TGXImage raster = gx::GXReadImage(bytes("Textures\\Bodenraster.png"));
  EXPECT_EQ(raster.Width, assetgen::GroundTextureSize);
  EXPECT_NE(raster.Pixel(0, 100), raster.Pixel(100, 100));
}
