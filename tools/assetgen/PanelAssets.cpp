#include "tools/assetgen/PanelAssets.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <stdexcept>

#include "app/RRProjectSerializer.h"
#include "app/RRTextureConverter.h"

namespace assetgen {

namespace {

constexpr uint32_t N = GroundTextureSize;

struct TColour {
  float R, G, B;
};
TColour Hex(uint32_t c) { return {float((c >> 16) & 255), float((c >> 8) & 255), float(c & 255)}; }
TColour Mix(const TColour& a, const TColour& b, float t) {
  t = std::clamp(t, 0.0f, 1.0f);
  return {a.R + (b.R - a.R) * t, a.G + (b.G - a.G) * t, a.B + (b.B - a.B) * t};
}
TColour Shade(const TColour& c, float f) { return {c.R * f, c.G * f, c.B * f}; }
uint32_t Pack(const TColour& c) {
  auto b = [](float v) { return uint32_t(std::lround(std::clamp(v, 0.0f, 255.0f))); };
  return 0xFF000000u | b(c.R) << 16 | b(c.G) << 8 | b(c.B);
}

uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
  uint32_t h = seed * 0x9E3779B1u ^ x * 0x85EBCA77u ^ y * 0xC2B2AE3Du;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return h;
}
float Random(uint32_t x, uint32_t y, uint32_t seed) { return float(Hash(x, y, seed) >> 8) / 16777216.0f; }

// Smooth value noise with lattice cells of `cell` pixels, periodic over the texture.
float Value(float x, float y, uint32_t cell, uint32_t seed) {
  const uint32_t period = std::max<uint32_t>(1, N / cell);
  const float u = x / float(cell), v = y / float(cell);
  const float fu = std::floor(u), fv = std::floor(v);
  const float tu = u - fu, tv = v - fv;
  const float su = tu * tu * (3 - 2 * tu), sv = tv * tv * (3 - 2 * tv);
  const uint32_t ix = uint32_t(int64_t(fu) % period + period) % period,
                 iy = uint32_t(int64_t(fv) % period + period) % period;
  const uint32_t jx = (ix + 1) % period, jy = (iy + 1) % period;
  const float a = Random(ix, iy, seed), b = Random(jx, iy, seed), c = Random(ix, jy, seed),
              d = Random(jx, jy, seed);
  return (a + (b - a) * su) + ((c + (d - c) * su) - (a + (b - a) * su)) * sv;
}

// Fractal noise in 0..1 from cells of `cell` pixels down to 4.
float Fractal(uint32_t x, uint32_t y, uint32_t cell, uint32_t seed) {
  float sum = 0, weight = 0, amplitude = 1;
  for (uint32_t c = cell; c >= 4; c /= 2) {
    sum += amplitude * Value(float(x), float(y), c, seed + c);
    weight += amplitude;
    amplitude *= 0.55f;
  }
  return weight > 0 ? sum / weight : 0.5f;
}

struct TCells {
  float First = 1e9f, Second = 1e9f;
  uint32_t Id = 0;  // of the nearest seed point
};

// Distance to the nearest and second nearest of one seed point per cell (periodic): stones.
TCells Cells(uint32_t x, uint32_t y, uint32_t cell, uint32_t seed) {
  const int32_t period = int32_t(N / cell);
  const int32_t cx = int32_t(x / cell), cy = int32_t(y / cell);
  TCells r;
  for (int32_t dy = -1; dy <= 1; ++dy)
    for (int32_t dx = -1; dx <= 1; ++dx) {
      const int32_t gx = cx + dx, gy = cy + dy;
      const uint32_t wx = uint32_t((gx % period + period) % period),
                     wy = uint32_t((gy % period + period) % period);
      const float px = float(gx * int32_t(cell)) + Random(wx, wy, seed) * float(cell);
      const float py = float(gy * int32_t(cell)) + Random(wx, wy, seed + 7) * float(cell);
      const float d = std::hypot(px - float(x), py - float(y));
      if (d < r.First) {
        r.Second = r.First;
        r.First = d;
        r.Id = wx + wy * uint32_t(period);
      } else if (d < r.Second) {
        r.Second = d;
      }
    }
  return r;
}

std::vector<uint32_t> Paint(const std::function<TColour(uint32_t x, uint32_t y)>& f) {
  std::vector<uint32_t> pixels(size_t(N) * N);
  for (uint32_t y = 0; y < N; ++y)
    for (uint32_t x = 0; x < N; ++x) pixels[size_t(y) * N + x] = Pack(f(x, y));
  return pixels;
}

// Grass: blades as fine streaks over patchy ground.
std::vector<uint32_t> Grass(uint32_t dark, uint32_t light, uint32_t seed, float flowers) {
  static const uint32_t kFlowers[] = {0xF4F1E6, 0xF2D23A, 0xD8413A, 0x9C6BC9, 0xF0A5C0};
  return Paint([&](uint32_t x, uint32_t y) {
    const float patches = Fractal(x, y, 64, seed);
    const float blades = Value(float(x) * 2.0f, float(y) * 0.5f, 4, seed + 3);
    TColour c = Mix(Hex(dark), Hex(light), patches * 0.8f + blades * 0.4f - 0.1f);
    c = Shade(c, 0.9f + 0.2f * Random(x, y, seed + 5));
    if (flowers > 0) {
      const uint32_t cx = x / 8, cy = y / 8;
      if (Random(cx, cy, seed + 11) < flowers) {
        const float fx = float(cx * 8) + 2 + Random(cx, cy, seed + 12) * 4,
                    fy = float(cy * 8) + 2 + Random(cx, cy, seed + 13) * 4;
        const float d = std::hypot(float(x) - fx, float(y) - fy);
        if (d < 1.8f) c = Mix(c, Hex(kFlowers[Hash(cx, cy, seed + 14) % 5]), 1.0f - d / 2.2f);
      }
    }
    return c;
  });
}

std::vector<uint32_t> Stones(uint32_t mortar, uint32_t stoneA, uint32_t stoneB, uint32_t cell, uint32_t seed,
                             float gap) {
  return Paint([&](uint32_t x, uint32_t y) {
    const TCells cells = Cells(x, y, cell, seed);
    const float edge = cells.Second - cells.First;
    TColour stone =
        Mix(Hex(stoneA), Hex(stoneB), Random(cells.Id, 1, seed) * 0.7f + Fractal(x, y, 16, seed + 1) * 0.5f);
    stone = Shade(stone, 0.85f + 0.3f * Fractal(x, y, 8, seed + 2));
    return Mix(Hex(mortar), stone, std::clamp((edge - gap) / 2.0f, 0.0f, 1.0f));
  });
}

std::vector<uint32_t> Wood() {
  return Paint([](uint32_t x, uint32_t y) {
    // Boards of 64 pixels across, grain along x.
    const uint32_t board = y / 64;
    const float grain = Value(float(x) * 0.25f, float(y) * 4.0f, 8, 31 + board);
    const float rings =
        0.5f + 0.5f * std::sin((float(y % 64) + 6 * Value(float(x), float(y), 32, 37)) * 0.6f);
    TColour c = Mix(Hex(0x8A5A32), Hex(0xB98552), grain * 0.6f + rings * 0.3f + Random(board, 0, 41) * 0.3f);
    if (y % 64 < 2) c = Shade(c, 0.55f);
    return Shade(c, 0.92f + 0.16f * Random(x, y, 43));
  });
}

std::vector<uint32_t> Ice() {
  return Paint([](uint32_t x, uint32_t y) {
    const TCells cells = Cells(x, y, 64, 51);
    TColour c = Mix(Hex(0xBFD8E8), Hex(0xEEF6FB), Fractal(x, y, 64, 52));
    if (cells.Second - cells.First < 1.2f) c = Mix(c, Hex(0xFFFFFF), 0.7f);
    return c;
  });
}

std::vector<uint32_t> MossRock() {
  const std::vector<uint32_t> rock = Stones(0x4A4A46, 0x77756E, 0x9A978E, 64, 61, 1.5f);
  std::vector<uint32_t> out(rock.size());
  for (uint32_t y = 0; y < N; ++y)
    for (uint32_t x = 0; x < N; ++x) {
      const float moss = Fractal(x, y, 64, 63);
      const TColour green =
          Shade(Mix(Hex(0x3F5A22), Hex(0x6E8A34), Fractal(x, y, 8, 64)), 0.9f + 0.2f * Random(x, y, 65));
      out[size_t(y) * N + x] = Pack(Mix(Hex(rock[size_t(y) * N + x]), green, (moss - 0.45f) * 4));
    }
  return out;
}

std::vector<uint32_t> Granite() {
  return Paint([](uint32_t x, uint32_t y) {
    const float r = Random(x, y, 71);
    TColour c = Mix(Hex(0x8E8A88), Hex(0xB3ABA6), Fractal(x, y, 32, 72));
    if (r < 0.12f)
      c = Hex(0x3C3A3A);
    else if (r > 0.93f)
      c = Hex(0xC9A79A);
    else if (r > 0.86f)
      c = Hex(0xE2DED8);
    return c;
  });
}

std::vector<uint32_t> Mud() {
  return Paint([](uint32_t x, uint32_t y) {
    const float wet = Fractal(x, y, 64, 81);
    TColour c = Mix(Hex(0x5A4330), Hex(0x7A5E43), Fractal(x, y, 16, 82));
    c = Mix(c, Hex(0x3B2C20), (wet - 0.55f) * 5);
    return Shade(c, 0.92f + 0.16f * Random(x, y, 83));
  });
}

std::vector<uint32_t> Snow() {
  return Paint([](uint32_t x, uint32_t y) {
    TColour c = Mix(Hex(0xDDE6F0), Hex(0xFAFCFF), Fractal(x, y, 64, 91) * 1.2f);
    if (Random(x, y, 92) > 0.985f) c = Hex(0xFFFFFF);
    return c;
  });
}

std::vector<uint32_t> Sand(uint32_t a, uint32_t b, uint32_t seed) {
  return Paint([&](uint32_t x, uint32_t y) {
    // Ripples across, bent by noise; 4 periods over the texture keep the repeat seamless.
    const float bend = Fractal(x, y, 64, seed) * 6.0f;
    const float ripple = 0.5f + 0.5f * std::sin((float(y) / float(N) * 8.0f * 3.14159265f) + bend);
    TColour c = Mix(Hex(a), Hex(b), ripple * 0.5f + Fractal(x, y, 16, seed + 1) * 0.5f);
    return Shade(c, 0.94f + 0.12f * Random(x, y, seed + 2));
  });
}

std::vector<uint32_t> Soil() {
  return Paint([](uint32_t x, uint32_t y) {
    TColour c = Mix(Hex(0x5E4328), Hex(0x83603C), Fractal(x, y, 32, 101));
    const float r = Random(x, y, 102);
    if (r > 0.97f) c = Hex(0x9C8A70);
    return Shade(c, 0.9f + 0.2f * Random(x, y, 103));
  });
}

std::vector<uint32_t> Water() {
  return Paint([](uint32_t x, uint32_t y) {
    const float wave = Fractal(x, y, 32, 111);
    const float sparkle = Value(float(x) * 2, float(y), 8, 112);
    TColour c = Mix(Hex(0x23507A), Hex(0x3F7FAF), wave);
    if (sparkle > 0.8f) c = Mix(c, Hex(0xBFDDF2), (sparkle - 0.8f) * 4);
    return c;
  });
}

std::vector<uint32_t> Asphalt() {
  return Paint([](uint32_t x, uint32_t y) {
    TColour c = Mix(Hex(0x3A3B3D), Hex(0x505154), Fractal(x, y, 32, 121));
    const float r = Random(x, y, 122);
    if (r > 0.9f)
      c = Shade(c, 1.3f);
    else if (r < 0.08f)
      c = Shade(c, 0.7f);
    return c;
  });
}

std::vector<uint32_t> Paving() {
  return Paint([](uint32_t x, uint32_t y) {
    // Rows of 32 pixels, stones of 64 offset by half in every other row.
    const uint32_t row = y / 32;
    const uint32_t sx = (x + (row % 2) * 32) % N;
    const uint32_t stone = sx / 64;
    const bool joint = y % 32 < 2 || sx % 64 < 2;
    TColour c =
        Mix(Hex(0x7E7A74), Hex(0xA39E96), Random(stone, row, 131) * 0.6f + Fractal(x, y, 16, 132) * 0.4f);
    return joint ? Hex(0x4E4B47) : Shade(c, 0.92f + 0.16f * Random(x, y, 133));
  });
}

struct TGround {
  const char* Name;
  std::function<std::vector<uint32_t>()> Paint;
};

const std::vector<TGround>& Grounds() {
  static const std::vector<TGround> list = {
      {"Holz.dds", Wood},
      {"Blumenwiese.dds", [] { return Grass(0x3E6B22, 0x6E9A3A, 201, 0.35f); }},
      {"Eis.dds", Ice},
      {"Fels mit Moos.dds", MossRock},
      {"Granit.dds", Granite},
      {"Helle Wiese.dds", [] { return Grass(0x6A9A3A, 0xA4C45E, 202, 0.0f); }},
      {"Schlamm.dds", Mud},
      {"Schnee.dds", Snow},
      {"Stein.dds", [] { return Stones(0x5C5A55, 0x8C8880, 0xA8A39A, 32, 203, 1.2f); }},
      {"Wiese.dds", [] { return Grass(0x42702A, 0x79A444, 204, 0.0f); }},
      {"Wüste.dds", [] { return Sand(0xC9A567, 0xE2C58A, 205); }},
      {"Gras.dds", [] { return Grass(0x2F5A1C, 0x548232, 206, 0.0f); }},
      {"Schotter.dds", [] { return Stones(0x4A4640, 0x7D776C, 0xA59E90, 8, 207, 0.8f); }},
      {"Erde.dds", Soil},
      {"Wasser.dds", Water},
      {"Asphalt.dds", Asphalt},
      {"Pflaster.dds", Paving},
  };
  return list;
}

}  // namespace

const std::vector<std::string>& GroundTextureNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (size_t i = 0; i < 12; ++i) n.push_back(Grounds()[i].Name);
    return n;
  }();
  return names;
}

const std::vector<std::string>& ExtraGroundTextureNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (size_t i = 12; i < Grounds().size(); ++i) n.push_back(Grounds()[i].Name);
    return n;
  }();
  return names;
}

std::vector<uint32_t> PaintGroundTexture(const std::string& name) {
  for (const TGround& g : Grounds())
    if (name == g.Name) return g.Paint();
  throw std::invalid_argument("Unbekannte Bodentextur: " + name);
}

std::vector<uint32_t> PaintGroundRaster() {
  std::vector<uint32_t> pixels(size_t(N) * N, 0xFFFFFFFFu);
  for (uint32_t y = 0; y < N; ++y)
    for (uint32_t x = 0; x < N; ++x) {
      // Ten cells per repeat (256 / 10 is not whole: lines at round(k * 25.6)).
      auto onLine = [](uint32_t v, uint32_t width) {
        for (uint32_t k = 0; k <= 10; ++k) {
          const uint32_t at = uint32_t(std::lround(k * 25.6)) % N;
          if ((v + N - at) % N < width) return true;
        }
        return false;
      };
      if (x < 3 || y < 3)
        pixels[size_t(y) * N + x] = 0xFF8C96A0u;
      else if (onLine(x, 1) || onLine(y, 1))
        pixels[size_t(y) * N + x] = 0xFFC3CAD2u;
    }
  return pixels;
}

std::shared_ptr<void> AddPanelAssets(rr::TRRAsset& shared, const std::filesystem::path& workFolder,
                                     const std::filesystem::path& shaderFolder) {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
  auto read = [&](const char* name) {
    std::ifstream in(shaderFolder / name, std::ios::binary);
    if (!in) throw std::runtime_error("Effektdatei fehlt: " + (shaderFolder / name).string());
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  };
  for (const char* name :
       {"TerrainCommon.fxh", "TerrainOneTile.fx", "TerrainTwoTiles.fx", "TerrainThreeTiles.fx",
        "TerrainFourTiles.fx", "TerrainTransparent.fx", "TerrainCAD.fx", "HeightmapVertex.fx"})
    files.push_back({std::string("Shader\\Bodenplatte\\") + name, read(name)});
  for (const TGround& g : Grounds()) {
    const bool builtIn = files.size() < 8 + 12;
    const std::vector<uint8_t> png = rr::RREncodePng(N, N, g.Paint(), false);
    files.push_back({std::string(builtIn ? "PanelTextures\\" : "Bodentexturen\\") + g.Name,
                     rr::ConvertTextureForPackage(png)});
  }
  files.push_back({"Textures\\Bodenraster.png", rr::RREncodePng(N, N, PaintGroundRaster(), false)});

  std::vector<std::filesystem::path> written;
  auto remove = [](const std::vector<std::filesystem::path>& list) {
    std::error_code ignored;
    for (const auto& f : list) std::filesystem::remove(f, ignored);
  };
  try {
    for (size_t i = 0; i < files.size(); ++i) {
      const std::filesystem::path file = workFolder / ("panel-asset-" + std::to_string(i) + ".tmp");
      std::ofstream out(file, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(files[i].second.data()),
                std::streamsize(files[i].second.size()));
      written.push_back(file);
      if (!out) throw std::runtime_error("Datei kann nicht geschrieben werden: " + file.string());
      shared.AdditionalFiles().push_back({file.string(), files[i].first});
    }
  } catch (...) {
    remove(written);
    throw;
  }
  return std::shared_ptr<void>(nullptr, [written, remove](void*) { remove(written); });
}

}  // namespace assetgen
