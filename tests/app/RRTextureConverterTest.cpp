// Textures on their way into packages: DXT1 for images without alpha, DXT5 with alpha, DDS kept
// as it is, anything else refused; the companion files of a model.

#include "app/RRTextureConverter.h"

#include <gtest/gtest.h>
#include <png.h>
#include <squish.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine/render/GXDdsReader.h"
#include "engine/render/GXModelWriter.h"

namespace fs = std::filesystem;
using namespace rr;

namespace {

// A PNG of one colour (RGBA bytes), with or without its alpha channel.
std::vector<uint8_t> SolidPng(uint32_t w, uint32_t h, const uint8_t rgba[4], bool alpha) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = w;
  image.height = h;
  image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  const int channels = alpha ? 4 : 3;
  std::vector<uint8_t> pixels(size_t(w) * h * channels);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = rgba[i % channels];
  png_alloc_size_t size = 0;
  EXPECT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr));
  std::vector<uint8_t> out(size);
  EXPECT_TRUE(png_image_write_to_memory(&image, out.data(), &size, 0, pixels.data(), 0, nullptr));
  out.resize(size);
  return out;
}

// An uncompressed 24-bit BMP of one colour.
std::vector<uint8_t> SolidBmp(uint32_t w, uint32_t h, uint8_t r, uint8_t g, uint8_t b) {
  uint32_t stride = (w * 3 + 3) & ~3u;
  uint32_t size = 54 + stride * h;
  std::vector<uint8_t> f(size, 0);
  auto put = [&](size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) f[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  f[0] = 'B';
  f[1] = 'M';
  put(2, size, 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, w, 4);
  put(22, h, 4);
  put(26, 1, 2);
  put(28, 24, 2);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      size_t at = 54 + size_t(y) * stride + x * 3;
      f[at] = b;
      f[at + 1] = g;
      f[at + 2] = r;
    }
  return f;
}

// The first pixel of the top level, decoded again: 0xAARRGGBB.
uint32_t FirstPixel(const std::vector<uint8_t>& dds, const gx::TGXDdsImage& layout, bool dxt5) {
  uint8_t rgba[64];
  squish::Decompress(rgba, dds.data() + layout.Surface(0, 0).Offset, dxt5 ? squish::kDxt5 : squish::kDxt1);
  return uint32_t(rgba[3]) << 24 | uint32_t(rgba[0]) << 16 | uint32_t(rgba[1]) << 8 | rgba[2];
}

TEST(TextureConverter, ImagesBecomeDxtWithAFullMipChain) {
  const uint8_t red[4] = {255, 0, 0, 128};
  std::vector<uint8_t> rgb = ConvertTextureForPackage(SolidPng(5, 3, red, false));
  gx::TGXDdsImage a = gx::GXReadDds(rgb);
  EXPECT_EQ(a.Format, gx::GXFormatDXT1);
  EXPECT_EQ(a.Width, 5u);
  EXPECT_EQ(a.Height, 3u);
  EXPECT_EQ(a.Levels, 3u);  // 5x3, 2x1, 1x1
  EXPECT_EQ(rgb.size(), a.Surfaces.back().Offset + a.Surfaces.back().Size) << "nothing after the last level";
  EXPECT_EQ(FirstPixel(rgb, a, false), 0xFFFF0000u);

  std::vector<uint8_t> rgba = ConvertTextureForPackage(SolidPng(16, 16, red, true));
  gx::TGXDdsImage b = gx::GXReadDds(rgba);
  EXPECT_EQ(b.Format, gx::GXFormatDXT5);
  EXPECT_EQ(b.Levels, 5u);
  EXPECT_EQ(FirstPixel(rgba, b, true), 0x80FF0000u);

  std::vector<uint8_t> bmp = ConvertTextureForPackage(SolidBmp(4, 4, 0, 0, 255));
  gx::TGXDdsImage c = gx::GXReadDds(bmp);
  EXPECT_EQ(c.Format, gx::GXFormatDXT1);
  EXPECT_EQ(FirstPixel(bmp, c, false), 0xFF0000FFu);

  // DDS stays byte for byte.
  EXPECT_EQ(ConvertTextureForPackage(rgba), rgba);

  // TGA, which has no magic number: 32 bits with 8 alpha bits, rows from the top.
  std::vector<uint8_t> tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 4, 0, 32, 0x28};
  for (int i = 0; i < 16; ++i) tga.insert(tga.end(), {0, 0, 255, 128});
  std::vector<uint8_t> fromTga = ConvertTextureForPackage(tga);
  gx::TGXDdsImage d = gx::GXReadDds(fromTga);
  EXPECT_EQ(d.Format, gx::GXFormatDXT5);
  EXPECT_EQ(FirstPixel(fromTga, d, true), 0x80FF0000u);
}

TEST(TextureConverter, AnythingElseIsRefused) {
  auto refused = [](std::vector<uint8_t> data) {
    try {
      ConvertTextureForPackage(data);
      return false;
    } catch (const ETextureConversion& e) {
      return std::string(e.what()) == RRTextErrorConvertingTexture;
    }
  };
  EXPECT_TRUE(refused({}));
  EXPECT_TRUE(refused({'G', 'a', 'r', 'b', 'a', 'g', 'e', '!', 0, 1, 2, 3}));
  const uint8_t blue[4] = {0, 0, 255, 255};
  std::vector<uint8_t> png = SolidPng(8, 8, blue, false);
  png.resize(png.size() / 2);
  EXPECT_TRUE(refused(png));
  std::vector<uint8_t> dds = ConvertTextureForPackage(SolidPng(8, 8, blue, false));
  dds.resize(dds.size() - 1);
  EXPECT_TRUE(refused(dds));
  std::vector<uint8_t> bmp = SolidBmp(4, 4, 1, 2, 3);
  bmp[18] = 0xFF, bmp[19] = 0xFF, bmp[20] = 0xFF;  // absurd width
  EXPECT_TRUE(refused(bmp));
}

TEST(TextureConverter, CompanionFilesLieBesideTheModel) {
  std::string dir = (fs::temp_directory_path() / "velmora-companion-XXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  fs::create_directories(dir + "/model/tex");
  for (const char* f : {"/model/Haus.x", "/model/b.png", "/model/tex/A.png", "/geheim.png"}) std::ofstream(dir + f) << "x";
  EXPECT_TRUE(FindCompanionFiles(dir + "/model/Haus.x").empty()) << "no importer registered";
  RRSetModelTextureLister([](const std::string&) {
    return std::vector<std::string>{"b.png", "tex\\A.png", "fehlt.png", "../geheim.png", "/etc/passwd", "B.png"};
  });
  std::vector<std::string> found = FindCompanionFiles(dir + "/model/Haus.x");
  RRSetModelTextureLister({});
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0], dir + "/model/b.png");
  EXPECT_EQ(found[1], dir + "/model/tex/A.png");
  fs::remove_all(dir);
}

TEST(TextureConverter, CompanionFilesOfTheModelsOwnTextureNames) {
  std::string dir = (fs::temp_directory_path() / "velmora-companion-XXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  fs::create_directories(dir + "/model/Tex");
  for (const char* f : {"/model/holz.png", "/model/Tex/stein.DDS", "/model/Dach.bmp", "/geheim.png"})
    std::ofstream(dir + f) << "x";
  // One mesh whose sub-meshes name their textures in every way exporters write them.
  gx::TGXModelData model;
  gx::TGXModelMesh mesh;
  mesh.Vertices.resize(3);
  mesh.Indices = {0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2};
  const std::vector<std::string> names = {"C:\\Modelle\\Haus\\HOLZ.PNG",   // absolute: its file name
                                          "tex/STEIN.dds",                 // relative path, other case
                                          "/home/anna/textures/dach.BMP",  // absolute POSIX
                                          "..\\geheim.png",                // outside: only beside
                                          gx::GXModelColorName(1, 0, 0, 1),
                                          "fehlt.png"};
  for (uint32_t i = 0; i < names.size(); ++i) mesh.SubMeshes.push_back({i * 3, 3, names[i], {}, {}});
  model.Meshes = {mesh};
  model.RootMeshes = {0};
  for (const auto& [file, bytes] : {std::pair{"/model/Haus.x", gx::GXWriteXFile(model)},
                                    std::pair{"/model/Haus.3ds", gx::GXWrite3DS(model)}}) {
    std::ofstream(dir + file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    const std::vector<std::string> found = FindCompanionFiles(dir + file);
    EXPECT_EQ(found, (std::vector<std::string>{dir + "/model/Dach.bmp", dir + "/model/holz.png",
                                               dir + "/model/Tex/stein.DDS"}))
        << file;
  }
  fs::remove_all(dir);
}

}  // namespace
