#include "tools/assetgen/TrackMeshes.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "engine/core/GXStream.h"
#include "engine/render/GXGLRenderDevice.h"

namespace assetgen {

namespace {

using gx::TGXVector3;

// Cross-section (H0 units).
constexpr float kRailHeight = 0.62f;
constexpr float kRailBase = 0.40f;
constexpr float kRailCentre = 0.825f;  // rail heads 1.65 apart
constexpr float kRailHalfWidth = 0.06f;
constexpr float kBedTop = 0.40f, kBedTopHalf = 1.75f, kBedBottomHalf = 2.5f;
constexpr float kStripTop = 0.30f, kStripTopHalf = 1.2f, kStripBottomHalf = 1.5f;
constexpr float kSleeperHalf = 1.3f;
// Two sleepers per segment: their stretches of Z (and of v in the atlas).
constexpr float kSleepers[2][2] = {{10 / 128.0f, 38 / 128.0f}, {74 / 128.0f, 102 / 128.0f}};

// Atlas regions (u).
constexpr float kBedTopU0 = 0.0f, kBedTopU1 = 0.5f;
constexpr float kBallastU0 = 0.5f, kBallastU1 = 0.75f;
constexpr float kRailSideU0 = 0.75f, kRailSideU1 = 0.875f;
constexpr float kRailHeadU0 = 0.875f, kRailHeadU1 = 1.0f;

struct TVertex {
  TGXVector3 P, N;
  float U, V;
};

struct TBuilder {
  std::vector<TVertex> Vertices;
  std::vector<uint16_t> Indices;

  // A quad a-b-c-d (clockwise seen from its front) with u from u0 to u1 across and v = Z.
  void Quad(const TGXVector3& a, const TGXVector3& b, const TGXVector3& c, const TGXVector3& d, float ua,
            float ub, float uc, float ud) {
    const TGXVector3 n = gx::GXVec3Normalize(gx::GXVec3Cross(b - a, c - a));
    const auto i = uint16_t(Vertices.size());
    Vertices.push_back({a, n, ua, a.z});
    Vertices.push_back({b, n, ub, b.z});
    Vertices.push_back({c, n, uc, c.z});
    Vertices.push_back({d, n, ud, d.z});
    Indices.insert(Indices.end(), {i, uint16_t(i + 1), uint16_t(i + 2), i, uint16_t(i + 2), uint16_t(i + 3)});
  }
  // A face running along Z between the cross-section points p (left, x0) and q (right, x1).
  void Strip(float x0, float y0, float x1, float y1, float z0, float z1, float u0, float u1) {
    Quad({x0, y0, z0}, {x0, y0, z1}, {x1, y1, z1}, {x1, y1, z0}, u0, u0, u1, u1);
  }
};

void Rails(TBuilder& b) {
  for (float side : {-1.0f, 1.0f}) {
    const float c = side * kRailCentre, l = c - kRailHalfWidth, r = c + kRailHalfWidth;
    b.Strip(l, kRailHeight, r, kRailHeight, 0, 1, kRailHeadU0, kRailHeadU1);  // head, facing up
    b.Strip(r, kRailHeight, r, kRailBase, 0, 1, kRailSideU0, kRailSideU1);    // right side
    b.Strip(l, kRailBase, l, kRailHeight, 0, 1, kRailSideU0, kRailSideU1);    // left side
  }
}

// The u of x on the bed top region.
float BedTopU(float x) { return kBedTopU0 + (x + kBedTopHalf) / (2 * kBedTopHalf) * (kBedTopU1 - kBedTopU0); }

void Write32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

uint32_t Noise(uint32_t& seed) {
  seed = seed * 1664525u + 1013904223u;
  return seed >> 8;
}

uint32_t Rgb(int r, int g, int b) {
  auto c = [](int v) { return uint32_t(std::clamp(v, 0, 255)); };
  return 0xFF000000u | (c(r) << 16) | (c(g) << 8) | c(b);
}

struct TStyle {
  int Sleeper[3];
  int Ballast[3];
  int Rail[3];
  bool Grain;  // wood grain on the sleepers
};

constexpr TStyle kStyles[TrackTextureCount] = {
    {{92, 62, 38}, {128, 120, 108}, {104, 72, 50}, true},     // Holz und Schotter (Standard)
    {{168, 166, 160}, {122, 122, 120}, {98, 80, 66}, false},  // Beton und Schotter (Grau)
    {{110, 78, 50}, {176, 162, 132}, {110, 80, 56}, true},    // Holz und Schotter (Beige)
    {{58, 38, 24}, {112, 106, 98}, {90, 62, 44}, true},       // Holz und Schotter (Dunkelbraun)
    {{112, 106, 100}, {124, 124, 124}, {100, 92, 86}, true},  // Holz und Schotter (Grau)
    {{84, 88, 94}, {120, 120, 122}, {96, 96, 100}, false},    // Stahl und Schotter (Grau)
    {{104, 74, 52}, {134, 118, 98}, {112, 78, 52}, false},    // Stahl und Schotter (Mittelbraun)
};

}  // namespace

gx::TGXMeshData TrackSegmentMesh(bool bed) {
  TBuilder b;
  if (bed) {
    b.Strip(-kBedTopHalf, kBedTop, kBedTopHalf, kBedTop, 0, 1, kBedTopU0, kBedTopU1);
    b.Strip(-kBedBottomHalf, 0, -kBedTopHalf, kBedTop, 0, 1, kBallastU0, kBallastU1);
    b.Strip(kBedTopHalf, kBedTop, kBedBottomHalf, 0, 0, 1, kBallastU1, kBallastU0);
  } else {
    b.Strip(-kStripTopHalf, kStripTop, kStripTopHalf, kStripTop, 0, 1, kBallastU0, kBallastU1);
    b.Strip(-kStripBottomHalf, 0, -kStripTopHalf, kStripTop, 0, 1, kBallastU0, kBallastU1);
    b.Strip(kStripTopHalf, kStripTop, kStripBottomHalf, 0, 0, 1, kBallastU1, kBallastU0);
    for (const auto& s : kSleepers) {
      const float z0 = s[0], z1 = s[1], y0 = kStripTop, y1 = kRailBase, l = -kSleeperHalf, r = kSleeperHalf;
      const float ul = BedTopU(l), ur = BedTopU(r);
      b.Strip(l, y1, r, y1, z0, z1, ul, ur);  // top
      // Front (facing -Z) and back (facing +Z) faces, textured with the sleeper's middle.
      const float um = BedTopU(0);
      b.Quad({l, y0, z0}, {l, y1, z0}, {r, y1, z0}, {r, y0, z0}, um, um, um, um);
      b.Quad({r, y0, z1}, {r, y1, z1}, {l, y1, z1}, {l, y0, z1}, um, um, um, um);
      b.Quad({l, y0, z1}, {l, y1, z1}, {l, y1, z0}, {l, y0, z0}, um, um, um, um);
      b.Quad({r, y0, z0}, {r, y1, z0}, {r, y1, z1}, {r, y0, z1}, um, um, um, um);
    }
  }
  Rails(b);

  gx::TGXMeshData data;
  data.Layout.AddElement(0, gx::GXDeclFloat3, gx::GXUsagePosition, 0);
  data.Layout.AddElement(0, gx::GXDeclFloat3, gx::GXUsageNormal, 0);
  data.Layout.AddElement(0, gx::GXDeclFloat2, gx::GXUsageTexCoord, 0);
  data.FirstVertex = 0;
  data.VertexCount = uint32_t(b.Vertices.size());
  gx::TGXMeshStreamData stream;
  stream.Stride = 32;
  stream.Data.resize(b.Vertices.size() * 32);
  TGXVector3 lo = b.Vertices.front().P, hi = lo;
  for (size_t i = 0; i < b.Vertices.size(); ++i) {
    const TVertex& v = b.Vertices[i];
    const float f[8] = {v.P.x, v.P.y, v.P.z, v.N.x, v.N.y, v.N.z, v.U, v.V};
    std::memcpy(stream.Data.data() + i * 32, f, 32);
    lo = gx::GXVec3Minimize(lo, v.P);
    hi = gx::GXVec3Maximize(hi, v.P);
  }
  data.Streams.push_back(std::move(stream));
  gx::TGXSubMeshData sub;
  sub.FirstIndex = 0;
  sub.IndexCount = uint32_t(b.Indices.size());
  sub.Indices = b.Indices;
  sub.BoundsMin = lo;
  sub.BoundsMax = hi;
  data.SubMeshes.push_back(std::move(sub));
  return data;
}

std::vector<uint8_t> TrackSegmentMeshFile(bool bed) {
  gx::TGXMemoryStream s;
  gx::TGXMeshSerializer().Write(s, TrackSegmentMesh(bed));
  return s.Data();
}

std::vector<uint32_t> TrackTexture(int style) {
  constexpr uint32_t kSize = 128;
  const TStyle& st = kStyles[std::clamp(style, 0, TrackTextureCount - 1)];
  std::vector<uint32_t> pixels(kSize * kSize);
  uint32_t seed = 0x7A0C5EEDu + uint32_t(style) * 7919u;
  for (uint32_t y = 0; y < kSize; ++y) {
    const float v = (float(y) + 0.5f) / kSize;
    bool sleeperRow = false;
    for (const auto& s : kSleepers) sleeperRow = sleeperRow || (v >= s[0] && v < s[1]);
    for (uint32_t x = 0; x < kSize; ++x) {
      const float u = (float(x) + 0.5f) / kSize;
      const int n = int(Noise(seed) % 48) - 24;
      uint32_t c;
      if (u < kBedTopU1) {
        const float across = u / kBedTopU1 * 2 * kBedTopHalf - kBedTopHalf;
        if (sleeperRow && std::fabs(across) < kSleeperHalf) {
          const int grain = st.Grain ? int(8 * std::sin(float(x) * 0.9f + float(y % 7))) : 0;
          c = Rgb(st.Sleeper[0] + n / 4 + grain, st.Sleeper[1] + n / 4 + grain,
                  st.Sleeper[2] + n / 4 + grain);
        } else {
          c = Rgb(st.Ballast[0] + n, st.Ballast[1] + n, st.Ballast[2] + n);
        }
      } else if (u < kBallastU1) {
        c = Rgb(st.Ballast[0] + n - 6, st.Ballast[1] + n - 6, st.Ballast[2] + n - 6);
      } else if (u < kRailSideU1) {
        c = Rgb(st.Rail[0] + n / 6, st.Rail[1] + n / 6, st.Rail[2] + n / 6);
      } else {
        c = Rgb(196 + n / 8, 198 + n / 8, 204 + n / 8);
      }
      pixels[y * kSize + x] = c;
    }
  }
  return pixels;
}

std::vector<uint8_t> TrackTextureDds(int style) {
  constexpr uint32_t kSize = 128;
  uint32_t levels = 0;
  for (uint32_t s = kSize; s >= 1; s /= 2) ++levels;
  std::vector<uint8_t> dds;
  Write32(dds, 0x20534444);  // "DDS "
  Write32(dds, 124);
  Write32(dds, 0x1 | 0x2 | 0x4 | 0x8 | 0x1000 | 0x20000);  // caps, height, width, pitch, format, mips
  Write32(dds, kSize);
  Write32(dds, kSize);
  Write32(dds, kSize * 4);
  Write32(dds, 0);
  Write32(dds, levels);
  for (int i = 0; i < 11; ++i) Write32(dds, 0);
  Write32(dds, 32);
  Write32(dds, 0x41);  // RGB with alpha
  Write32(dds, 0);
  Write32(dds, 32);
  Write32(dds, 0x00FF0000);
  Write32(dds, 0x0000FF00);
  Write32(dds, 0x000000FF);
  Write32(dds, 0xFF000000);
  Write32(dds, 0x1000 | 0x8 | 0x400000);  // texture, complex, mip map
  for (int i = 0; i < 4; ++i) Write32(dds, 0);
  std::vector<uint32_t> level = TrackTexture(style);
  uint32_t size = kSize;
  for (uint32_t l = 0; l < levels; ++l) {
    for (uint32_t p : level) Write32(dds, p);
    if (size == 1) break;
    // Box filter to the next level.
    const uint32_t half = size / 2;
    std::vector<uint32_t> next(size_t(half) * half);
    for (uint32_t y = 0; y < half; ++y)
      for (uint32_t x = 0; x < half; ++x) {
        uint32_t sum[4] = {};
        for (uint32_t dy = 0; dy < 2; ++dy)
          for (uint32_t dx = 0; dx < 2; ++dx) {
            const uint32_t p = level[(2 * y + dy) * size + 2 * x + dx];
            for (int c = 0; c < 4; ++c) sum[c] += (p >> (8 * c)) & 0xFF;
          }
        uint32_t out = 0;
        for (int c = 0; c < 4; ++c) out |= ((sum[c] + 2) / 4) << (8 * c);
        next[y * half + x] = out;
      }
    level = std::move(next);
    size = half;
  }
  return dds;
}

std::shared_ptr<void> AddTrackDrawing(rr::TRRAsset& shared, const std::filesystem::path& workFolder,
                                      const std::filesystem::path& shaderFolder) {
  static const char* const kTextureNames[TrackTextureCount] = {
      nullptr,
      "Beton und Schotter (Grau)",
      "Holz und Schotter (Beige)",
      "Holz und Schotter (Dunkelbraun)",
      "Holz und Schotter (Grau)",
      "Stahl und Schotter (Grau)",
      "Stahl und Schotter (Mittelbraun)",
  };
  std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
      {"Tracks\\Track.gxmesh", TrackSegmentMeshFile(false)},
      {"Tracks\\TrackBed.gxmesh", TrackSegmentMeshFile(true)},
  };
  for (int i = 1; i < TrackTextureCount; ++i)
    files.push_back({std::string("Textures\\Tracks\\") + kTextureNames[i] + ".dds", TrackTextureDds(i)});

  auto read = [&](const char* name) {
    std::ifstream in(shaderFolder / name, std::ios::binary);
    if (!in) throw std::runtime_error("Effektdatei fehlt: " + (shaderFolder / name).string());
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  };
  const std::vector<uint8_t> common = read("TrackCommon.fxh");
  static const char* const kEffects[][2] = {
      {"Linear", "Linear.fx"},
      {"Linear", "TwistedLinear.fx"},
      {"Linear", "LinearLow.fx"},
      {"Curve", "Curve.fx"},
      {"Curve", "TwistedCurve.fx"},
      {"Flexible", "Flexible.fx"},
      {"Flexible", "TwistedFlexible.fx"},
  };
  for (const char* folder : {"Linear", "Curve", "Flexible"})
    files.push_back({std::string("Shader\\Gleise\\") + folder + "\\TrackCommon.fxh", common});
  for (const auto& e : kEffects)
    files.push_back({std::string("Shader\\Gleise\\") + e[0] + "\\" + e[1], read(e[1])});

  std::vector<std::filesystem::path> written;
  auto remove = [](const std::vector<std::filesystem::path>& list) {
    std::error_code ignored;
    for (const auto& f : list) std::filesystem::remove(f, ignored);
  };
  try {
    for (size_t i = 0; i < files.size(); ++i) {
      const std::filesystem::path file = workFolder / ("track-drawing-" + std::to_string(i) + ".tmp");
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
