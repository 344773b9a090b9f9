#include "tools/assetgen/BaseMaterials.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "app/RRProjectSerializer.h"
#include "engine/render/GXModelWriter.h"

namespace assetgen {

namespace {

using gx::TGXModelMesh;
using gx::TGXVector2;
using gx::TGXVector3;

constexpr float kHalf = 5.0f;

uint16_t Vertex(TGXModelMesh& m, const TGXVector3& p, const TGXVector3& n, const TGXVector2& uv) {
  m.Vertices.push_back({p, n, uv});
  return uint16_t(m.Vertices.size() - 1);
}

// A flat quad a-b-c-d, clockwise seen from the front (the engine's front faces).
void Quad(TGXModelMesh& m, const TGXVector3& a, const TGXVector3& b, const TGXVector3& c,
          const TGXVector3& d) {
  const TGXVector3 n = gx::GXVec3Normalize(gx::GXVec3Cross(b - a, c - a));
  const uint16_t i = Vertex(m, a, n, {0, 1});
  Vertex(m, b, n, {0, 0});
  Vertex(m, c, n, {1, 0});
  Vertex(m, d, n, {1, 1});
  m.Indices.insert(m.Indices.end(),
                   {i, uint16_t(i + 1), uint16_t(i + 2), i, uint16_t(i + 2), uint16_t(i + 3)});
}

// One face of the crate seen from outside: origin at its lower left corner, right and up the
// face's axes (each kHalf * 2 long), out its normal.
struct TFace {
  TGXVector3 Origin, Right, Up, Out;
};

// The question mark, 5 x 7 cells, top row first.
constexpr const char* kGlyph[7] = {".###.", "#...#", "....#", "...#.", "..#..", ".....", "..#.."};

}  // namespace

gx::TGXModelData DummyModel() {
  const float h = kHalf, t = 2 * kHalf;
  // Sides seen from outside, with right and up as a viewer standing in front of them sees them.
  const TFace faces[5] = {
      {{-h, 0, -h}, {1, 0, 0}, {0, 1, 0}, {0, 0, -1}},  // front (-z)
      {{h, 0, -h}, {0, 0, 1}, {0, 1, 0}, {1, 0, 0}},    // right (+x)
      {{h, 0, h}, {-1, 0, 0}, {0, 1, 0}, {0, 0, 1}},    // back (+z)
      {{-h, 0, h}, {0, 0, -1}, {0, 1, 0}, {-1, 0, 0}},  // left (-x)
      {{-h, t, -h}, {1, 0, 0}, {0, 0, 1}, {0, 1, 0}},   // top
  };
  TGXModelMesh m;
  m.Name = "Platzhalter";
  auto at = [](const TFace& f, float u, float v, float lift) {
    return f.Origin + f.Right * (u * 2 * kHalf) + f.Up * (v * 2 * kHalf) + f.Out * lift;
  };
  // The crate: the five faces and the bottom.
  for (const TFace& f : faces) Quad(m, at(f, 0, 0, 0), at(f, 0, 1, 0), at(f, 1, 1, 0), at(f, 1, 0, 0));
  Quad(m, {-h, 0, h}, {-h, 0, -h}, {h, 0, -h}, {h, 0, h});
  const uint32_t crateIndices = uint32_t(m.Indices.size());
  // The question marks: one small quad per glyph cell, a little in front of each face.
  const float cell = 0.1f, left = 0.25f, top = 0.85f, lift = 0.02f;
  for (const TFace& f : faces)
    for (int row = 0; row < 7; ++row)
      for (int col = 0; col < 5; ++col) {
        if (kGlyph[row][col] != '#') continue;
        const float u0 = left + col * cell, v1 = top - row * cell;
        const float u1 = u0 + cell, v0 = v1 - cell;
        Quad(m, at(f, u0, v0, lift), at(f, u0, v1, lift), at(f, u1, v1, lift), at(f, u1, v0, lift));
      }
  m.SubMeshes = {{0, crateIndices, gx::GXModelColorName(0.95f, 0.55f, 0.1f, 1.0f), {}, {}},
                 {crateIndices,
                  uint32_t(m.Indices.size()) - crateIndices,
                  gx::GXModelColorName(0.1f, 0.1f, 0.12f, 1.0f),
                  {},
                  {}}};
  gx::GXModelCalculateBounds(m);
  gx::TGXModelData model;
  model.Format = gx::EGXModelFormat::XFile;
  model.Meshes.push_back(std::move(m));
  model.RootMeshes = {0};
  return model;
}

std::vector<uint8_t> LightConeTexture() {
  constexpr uint32_t size = 64;
  std::vector<uint32_t> pixels(size * size);
  for (uint32_t y = 0; y < size; ++y)
    for (uint32_t x = 0; x < size; ++x) {
      // Distance from the top centre, 1 at the bottom corners' height.
      const float dx = (float(x) + 0.5f) / size - 0.5f, dy = (float(y) + 0.5f) / size;
      const float r = std::min(1.0f, std::sqrt(dx * dx * 4 + dy * dy));
      const float fall = (1 - r) * (1 - r);
      const uint32_t a = uint32_t(std::lround(std::clamp(fall, 0.0f, 1.0f) * 255));
      pixels[y * size + x] = a << 24 | 0xFFF4D6u;
    }
  return rr::RREncodePng(size, size, pixels, true);
}

std::vector<uint8_t> DummyTexture() {
  constexpr uint32_t size = 64;
  std::vector<uint32_t> pixels(size * size);
  for (uint32_t y = 0; y < size; ++y)
    for (uint32_t x = 0; x < size; ++x)
      pixels[y * size + x] = ((x / 8 + y / 8) % 2) ? 0xFF282828u : 0xFFFF00FFu;
  return rr::RREncodePng(size, size, pixels, false);
}

std::shared_ptr<void> AddMaterialFiles(rr::TRRAsset& shared, const std::filesystem::path& workFolder,
                                       const std::filesystem::path& dataFolder) {
  std::ifstream shader(dataFolder / "shaders" / "Model.fx", std::ios::binary);
  if (!shader)
    throw std::runtime_error("Datei kann nicht gelesen werden: " +
                             (dataFolder / "shaders" / "Model.fx").string());
  const std::vector<uint8_t> effect((std::istreambuf_iterator<char>(shader)),
                                    std::istreambuf_iterator<char>());
  const std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
      {"Shader\\Model.fx", effect},
      {"Dummy.x", gx::GXWriteXFile(DummyModel())},
      {"Lichtkegel.png", LightConeTexture()},
      {"Textures\\Dummy.png", DummyTexture()},
  };
  std::vector<std::filesystem::path> written;
  for (const auto& [name, bytes] : files) {
    if (bytes.empty()) throw std::runtime_error("Datei konnte nicht erzeugt werden: " + name);
    std::string flat = name;
    std::replace(flat.begin(), flat.end(), '\\', '_');
    const std::filesystem::path file = workFolder / (flat + ".tmp");
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("Datei kann nicht geschrieben werden: " + file.string());
    written.push_back(file);
    shared.AdditionalFiles().push_back({file.string(), name});
  }
  return std::shared_ptr<void>(nullptr, [written](void*) {
    std::error_code ignored;
    for (const auto& f : written) std::filesystem::remove(f, ignored);
  });
}

}  // namespace assetgen
