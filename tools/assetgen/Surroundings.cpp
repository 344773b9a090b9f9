#include "tools/assetgen/Surroundings.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "app/RRProjectSerializer.h"
#include "app/RRSkybox.h"
#include "app/RRTextureConverter.h"

namespace assetgen {

namespace {

// Lattice value noise from an integer hash: the same seed gives the same picture everywhere.
float Hash(int32_t x, int32_t y, uint32_t seed) {
  uint32_t h = uint32_t(x) * 0x8DA6B343u ^ uint32_t(y) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
  h ^= h >> 13;
  h *= 0x5BD1E995u;
  h ^= h >> 15;
  return float(h & 0xFFFFFF) / float(0xFFFFFF);
}

// period > 0 wraps the lattice, so a texture of that many cells repeats without a seam.
float ValueNoise(float x, float y, uint32_t seed, int period = 0) {
  const float fx = std::floor(x), fy = std::floor(y);
  const float tx = x - fx, ty = y - fy;
  const float sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
  auto at = [&](int ix, int iy) {
    if (period > 0) ix = ((ix % period) + period) % period, iy = ((iy % period) + period) % period;
    return Hash(ix, iy, seed);
  };
  const int ix = int(fx), iy = int(fy);
  const float a = at(ix, iy), b = at(ix + 1, iy), c = at(ix, iy + 1), d = at(ix + 1, iy + 1);
  return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}

float Fbm(float x, float y, uint32_t seed, int octaves, int period = 0) {
  float sum = 0, amplitude = 0.5f, total = 0;
  for (int o = 0; o < octaves; ++o) {
    sum += ValueNoise(x, y, seed + uint32_t(o) * 101u, period) * amplitude;
    total += amplitude;
    x *= 2, y *= 2, amplitude *= 0.5f;
    if (period > 0) period *= 2;
  }
  return sum / total;
}

uint32_t Rgb(float r, float g, float b) {
  auto c = [](float v) { return uint32_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255)); };
  return 0xFF000000u | c(r) << 16 | c(g) << 8 | c(b);
}

float Mix(float a, float b, float t) { return a + (b - a) * t; }

float SmoothStep(float a, float b, float x) {
  const float t = std::clamp((x - a) / (b - a), 0.0f, 1.0f);
  return t * t * (3 - 2 * t);
}

constexpr uint32_t kSkySeed = 0x5A17C10Du, kFloorSeed = 0x0B0DE2u, kLightSeed = 0x11C4Eu;

}  // namespace

std::vector<uint32_t> SkyFacePixels(int face, uint32_t width, uint32_t height) {
  std::vector<uint32_t> pixels(size_t(width) * height);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      const gx::TGXVector3 p =
          rr::RRSkyboxFacePoint(face, (float(x) + 0.5f) / float(width), (float(y) + 0.5f) / float(height));
      const float length = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
      const float dx = p.x / length, dy = std::max(p.y / length, 0.0f), dz = p.z / length;
      // A light, slightly hazy horizon under a blue that deepens towards the zenith.
      const float up = std::pow(dy, 0.6f);
      float r = Mix(0.80f, 0.33f, up), g = Mix(0.88f, 0.55f, up), b = Mix(0.97f, 0.89f, up);
      // Clouds on a plane above: far ones crowd towards the horizon and thin out into the haze.
      const float h = std::max(dy, 0.03f);
      const float cx = dx / h * 1.6f, cz = dz / h * 1.6f;
      const float n = Fbm(cx + 11.3f, cz - 4.7f, kSkySeed, 6);
      float cloud = SmoothStep(0.44f, 0.64f, n) * SmoothStep(0.02f, 0.25f, dy);
      // Cloud bottoms are a little grey, their tops white.
      const float shade = 0.80f + 0.2f * SmoothStep(0.45f, 0.85f, Fbm(cx * 1.7f, cz * 1.7f, kSkySeed + 7, 4));
      r = Mix(r, 0.97f * shade, cloud * 0.9f);
      g = Mix(g, 0.97f * shade, cloud * 0.9f);
      b = Mix(b, 0.99f * shade, cloud * 0.9f);
      pixels[size_t(y) * width + x] = Rgb(r, g, b);
    }
  return pixels;
}

std::vector<uint32_t> FloorPixels(uint32_t size) {
  std::vector<uint32_t> pixels(size_t(size) * size);
  constexpr int cells = 8;
  for (uint32_t y = 0; y < size; ++y)
    for (uint32_t x = 0; x < size; ++x) {
      const float u = float(x) / float(size) * cells, v = float(y) / float(size) * cells;
      const float patches = Fbm(u, v, kFloorSeed, 5, cells);
      const float blades = ValueNoise(float(x) * 0.5f, float(y) * 0.5f, kFloorSeed + 3, int(size / 2));
      const float dry = SmoothStep(0.55f, 0.75f, patches);
      const float light = 0.85f + 0.25f * blades;
      const float r = Mix(0.36f, 0.52f, dry) * light, g = Mix(0.50f, 0.50f, dry) * light,
                  b = Mix(0.26f, 0.30f, dry) * light;
      pixels[size_t(y) * size + x] = Rgb(r, g, b);
    }
  return pixels;
}

std::vector<uint32_t> FloorLightMapPixels(uint32_t size) {
  std::vector<uint32_t> pixels(size_t(size) * size);
  for (uint32_t y = 0; y < size; ++y)
    for (uint32_t x = 0; x < size; ++x) {
      const float u = (float(x) + 0.5f) / float(size) - 0.5f, v = (float(y) + 0.5f) / float(size) - 0.5f;
      const float r = std::sqrt(u * u + v * v) * 2;
      const float soft = Fbm(float(x) / float(size) * 6, float(y) / float(size) * 6, kLightSeed, 4);
      const float l = std::clamp(1.0f - 0.18f * r * r - 0.12f * (soft - 0.5f), 0.6f, 1.0f);
      pixels[size_t(y) * size + x] = Rgb(l, l, l);
    }
  return pixels;
}

std::shared_ptr<void> AddSurroundingsFiles(rr::TRRAsset& shared, const std::filesystem::path& workFolder,
                                           const std::filesystem::path& dataFolder) {
  auto readShader = [&](const char* name) {
    std::ifstream in(dataFolder / "shaders" / name, std::ios::binary);
    if (!in)
      throw std::runtime_error("Datei kann nicht gelesen werden: " +
                               (dataFolder / "shaders" / name).string());
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  auto dds = [](const std::vector<uint8_t>& png) { return rr::ConvertTextureForPackage(png); };
  std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
      {"Shader\\Floor.fx", readShader("Floor.fx")},
      {"Shader\\Skybox.fx", readShader("Skybox.fx")},
      {"Shader\\Overlay\\GizmoText.fx", readShader("Overlay/GizmoText.fx")},
      {"Shader\\Overlay\\SelectionBorder.fx", readShader("Overlay/SelectionBorder.fx")},
      {"Textures\\Floor.dds", dds(rr::RREncodePng(256, 256, FloorPixels(256), false))},
      {"Textures\\FloorLightmap.dds", dds(rr::RREncodePng(128, 128, FloorLightMapPixels(128), false))},
  };
  for (int face = 0; face < rr::RRSkyboxFaces; ++face) {
    const uint32_t w = 512, h = face == 4 ? 512 : 256;
    files.push_back({"Skybox\\" + std::to_string(face + 1) + ".png",
                     rr::RREncodePng(w, h, SkyFacePixels(face, w, h), false)});
  }
  std::vector<std::filesystem::path> written;
  auto cleanup = [&written] {
    std::error_code ignored;
    for (const auto& f : written) std::filesystem::remove(f, ignored);
  };
  try {
    for (const auto& [name, bytes] : files) {
      if (bytes.empty()) throw std::runtime_error("Datei konnte nicht erzeugt werden: " + name);
      std::string flat = name;
      std::replace(flat.begin(), flat.end(), '\\', '_');
      const std::filesystem::path file = workFolder / ("Umgebung_" + flat + ".tmp");
      written.push_back(file);
      std::ofstream out(file, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
      if (!out) throw std::runtime_error("Datei kann nicht geschrieben werden: " + file.string());
      shared.AdditionalFiles().push_back({file.string(), name});
    }
  } catch (...) {
    cleanup();
    throw;
  }
  return std::shared_ptr<void>(nullptr, [written](void*) {
    std::error_code ignored;
    for (const auto& f : written) std::filesystem::remove(f, ignored);
  });
}

}  // namespace assetgen
