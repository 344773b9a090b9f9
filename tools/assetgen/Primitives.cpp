#include "tools/assetgen/Primitives.h"

#include <cmath>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/core/GXStream.h"
#include "engine/render/GXMeshData.h"
#include "engine/render/GXModelWriter.h"

namespace assetgen {

namespace {

using gx::TGXModelMesh;
using gx::TGXVector2;
using gx::TGXVector3;

constexpr float kHalf = 5.0f;  // half of the 10 units across
constexpr float kHeight = 10.0f;
constexpr int kSegments = 24;

// Appends a vertex and returns its index.
uint16_t Vertex(TGXModelMesh& m, const TGXVector3& p, const TGXVector3& n, const TGXVector2& uv) {
  m.Vertices.push_back({p, n, uv});
  return uint16_t(m.Vertices.size() - 1);
}

// Triangles are clockwise seen from the side their normal points to (the engine's front faces).
void Triangle(TGXModelMesh& m, uint16_t a, uint16_t b, uint16_t c) {
  m.Indices.insert(m.Indices.end(), {a, b, c});
}

// A flat quad a-b-c-d, clockwise seen from the front, with its own four vertices and UVs
// (0,0) (1,0) (1,1) (0,1) at a, b, c, d.
void Quad(TGXModelMesh& m, const TGXVector3& a, const TGXVector3& b, const TGXVector3& c,
          const TGXVector3& d) {
  const TGXVector3 n = gx::GXVec3Normalize(gx::GXVec3Cross(b - a, c - a));
  const uint16_t i = Vertex(m, a, n, {0, 1});
  Vertex(m, b, n, {0, 0});
  Vertex(m, c, n, {1, 0});
  Vertex(m, d, n, {1, 1});
  Triangle(m, i, uint16_t(i + 1), uint16_t(i + 2));
  Triangle(m, i, uint16_t(i + 2), uint16_t(i + 3));
}

// A flat triangle with its own vertices.
void FlatTriangle(TGXModelMesh& m, const TGXVector3& a, const TGXVector3& b, const TGXVector3& c,
                  const TGXVector2& ua, const TGXVector2& ub, const TGXVector2& uc) {
  const TGXVector3 n = gx::GXVec3Normalize(gx::GXVec3Cross(b - a, c - a));
  const uint16_t i = Vertex(m, a, n, ua);
  Vertex(m, b, n, ub);
  Vertex(m, c, n, uc);
  Triangle(m, i, uint16_t(i + 1), uint16_t(i + 2));
}

// A disc of radius kHalf at height y facing up or down; UVs map the 10-unit square.
void Disc(TGXModelMesh& m, float y, bool up) {
  const TGXVector3 n{0, up ? 1.0f : -1.0f, 0};
  const uint16_t centre = Vertex(m, {0, y, 0}, n, {0.5f, 0.5f});
  for (int s = 0; s <= kSegments; ++s) {
    const float a = 2 * gx::GX_PI * float(s) / kSegments;
    const float x = std::sin(a) * kHalf, z = std::cos(a) * kHalf;
    Vertex(m, {x, y, z}, n, {0.5f + x / (2 * kHalf), 0.5f - z / (2 * kHalf)});
  }
  for (int s = 0; s < kSegments; ++s) {
    const uint16_t a = uint16_t(centre + 1 + s), b = uint16_t(a + 1);
    // Angles grow from +z towards +x: clockwise seen from above.
    if (up)
      Triangle(m, centre, a, b);
    else
      Triangle(m, centre, b, a);
  }
}

void Finish(TGXModelMesh& m, const char* name) {
  m.Name = name;
  m.SubMeshes = {{0, uint32_t(m.Indices.size()), std::string(), {}, {}}};
  gx::GXModelCalculateBounds(m);
}

}  // namespace

TGXModelMesh PrimitiveBox() {
  TGXModelMesh m;
  const float h = kHalf, t = kHeight;
  Quad(m, {-h, 0, -h}, {-h, t, -h}, {h, t, -h}, {h, 0, -h});  // front (-z)
  Quad(m, {h, 0, h}, {h, t, h}, {-h, t, h}, {-h, 0, h});      // back (+z)
  Quad(m, {-h, 0, h}, {-h, t, h}, {-h, t, -h}, {-h, 0, -h});  // left (-x)
  Quad(m, {h, 0, -h}, {h, t, -h}, {h, t, h}, {h, 0, h});      // right (+x)
  Quad(m, {-h, t, -h}, {-h, t, h}, {h, t, h}, {h, t, -h});    // top
  Quad(m, {-h, 0, h}, {-h, 0, -h}, {h, 0, -h}, {h, 0, h});    // bottom
  Finish(m, "Box");
  return m;
}

TGXModelMesh PrimitiveSphere() {
  TGXModelMesh m;
  const int rings = kSegments / 2;
  for (int r = 0; r <= rings; ++r) {
    const float phi = gx::GX_PI * float(r) / rings;  // 0 at the top
    for (int s = 0; s <= kSegments; ++s) {
      const float a = 2 * gx::GX_PI * float(s) / kSegments;
      const TGXVector3 n{std::sin(phi) * std::sin(a), std::cos(phi), std::sin(phi) * std::cos(a)};
      Vertex(m, {n.x * kHalf, kHalf + n.y * kHalf, n.z * kHalf}, n, {float(s) / kSegments, float(r) / rings});
    }
  }
  const int row = kSegments + 1;
  for (int r = 0; r < rings; ++r)
    for (int s = 0; s < kSegments; ++s) {
      const uint16_t a = uint16_t(r * row + s), b = uint16_t(a + 1), c = uint16_t(a + row),
                     d = uint16_t(c + 1);
      if (r > 0) Triangle(m, a, d, b);  // none at the top pole, where a and b meet
      if (r + 1 < rings) Triangle(m, a, c, d);
    }
  Finish(m, "Sphere");
  return m;
}

TGXModelMesh PrimitiveCylinder() {
  TGXModelMesh m;
  for (int s = 0; s <= kSegments; ++s) {
    const float a = 2 * gx::GX_PI * float(s) / kSegments;
    const TGXVector3 n{std::sin(a), 0, std::cos(a)};
    Vertex(m, {n.x * kHalf, 0, n.z * kHalf}, n, {float(s) / kSegments, 1});
    Vertex(m, {n.x * kHalf, kHeight, n.z * kHalf}, n, {float(s) / kSegments, 0});
  }
  for (int s = 0; s < kSegments; ++s) {
    const uint16_t a = uint16_t(2 * s), b = uint16_t(a + 1), c = uint16_t(a + 2), d = uint16_t(a + 3);
    Triangle(m, a, c, d);
    Triangle(m, a, d, b);
  }
  Disc(m, kHeight, true);
  Disc(m, 0, false);
  Finish(m, "Cylinder");
  return m;
}

TGXModelMesh PrimitiveRamp() {
  // A wedge rising from the front edge (z = -5, height 0) to the back (z = +5, height 10).
  TGXModelMesh m;
  const float h = kHalf, t = kHeight;
  Quad(m, {-h, 0, -h}, {-h, t, h}, {h, t, h}, {h, 0, -h});                       // slope
  Quad(m, {h, 0, h}, {h, t, h}, {-h, t, h}, {-h, 0, h});                         // back
  Quad(m, {-h, 0, h}, {-h, 0, -h}, {h, 0, -h}, {h, 0, h});                       // bottom
  FlatTriangle(m, {-h, 0, h}, {-h, t, h}, {-h, 0, -h}, {0, 1}, {0, 0}, {1, 1});  // left
  FlatTriangle(m, {h, 0, -h}, {h, t, h}, {h, 0, h}, {0, 1}, {1, 0}, {1, 1});     // right
  Finish(m, "Ramp");
  return m;
}

TGXModelMesh PrimitivePlane() {
  TGXModelMesh m;
  Quad(m, {-kHalf, 0, -kHalf}, {-kHalf, 0, kHalf}, {kHalf, 0, kHalf}, {kHalf, 0, -kHalf});
  Finish(m, "Plane");
  return m;
}

TGXModelMesh PrimitiveCircle() {
  TGXModelMesh m;
  Disc(m, 0, true);
  Finish(m, "Circle");
  return m;
}

TGXModelMesh PrimitivePyramid() {
  TGXModelMesh m;
  const float h = kHalf;
  const TGXVector3 apex{0, kHeight, 0};
  const TGXVector3 c[4] = {{-h, 0, -h}, {-h, 0, h}, {h, 0, h}, {h, 0, -h}};
  for (int i = 0; i < 4; ++i)  // each side clockwise seen from outside
    FlatTriangle(m, c[(i + 1) % 4], apex, c[i], {0, 1}, {0.5f, 0}, {1, 1});
  Quad(m, {-h, 0, h}, {-h, 0, -h}, {h, 0, -h}, {h, 0, h});  // base
  Finish(m, "Pyramid");
  return m;
}

TGXModelMesh PrimitiveRoundArch() {
  // A half ring standing on y = 0: outer radius 5, inner radius 3, 2 units deep (z from -1 to 1).
  TGXModelMesh m;
  const float outer = kHalf, inner = 3.0f, depth = 1.0f;
  const int n = kSegments;
  auto at = [&](int s, float r, float z) {
    // From +x over the top to -x; the ends exactly on the ground.
    if (s == 0 || s == n) return TGXVector3{s == 0 ? r : -r, 0, z};
    const float a = gx::GX_PI * float(s) / n;
    return TGXVector3{std::cos(a) * r, std::sin(a) * r, z};
  };
  for (int s = 0; s < n; ++s) {
    const float u0 = float(s) / n, u1 = float(s + 1) / n;
    const TGXVector3 o0 = at(s, outer, 0), o1 = at(s + 1, outer, 0);
    // Outer and inner surfaces with smooth normals along the arch.
    const TGXVector3 no0 = gx::GXVec3Normalize(o0), no1 = gx::GXVec3Normalize(o1);
    uint16_t a = Vertex(m, at(s, outer, -depth), no0, {u0, 1});
    Vertex(m, at(s, outer, depth), no0, {u0, 0});
    Vertex(m, at(s + 1, outer, depth), no1, {u1, 0});
    Vertex(m, at(s + 1, outer, -depth), no1, {u1, 1});
    Triangle(m, a, uint16_t(a + 2), uint16_t(a + 1));
    Triangle(m, a, uint16_t(a + 3), uint16_t(a + 2));
    a = Vertex(m, at(s, inner, -depth), -no0, {u0, 1});
    Vertex(m, at(s, inner, depth), -no0, {u0, 0});
    Vertex(m, at(s + 1, inner, depth), -no1, {u1, 0});
    Vertex(m, at(s + 1, inner, -depth), -no1, {u1, 1});
    Triangle(m, a, uint16_t(a + 1), uint16_t(a + 2));
    Triangle(m, a, uint16_t(a + 2), uint16_t(a + 3));
    // Front (-z) and back (+z) faces; UVs map the 10 x 5 outline.
    auto uv = [&](const TGXVector3& p) { return TGXVector2{0.5f + p.x / (2 * outer), 1 - p.y / outer}; };
    const TGXVector3 f[4] = {at(s, inner, -depth), at(s, outer, -depth), at(s + 1, outer, -depth),
                             at(s + 1, inner, -depth)};
    a = Vertex(m, f[0], {0, 0, -1}, uv(f[0]));
    for (int k = 1; k < 4; ++k) Vertex(m, f[k], {0, 0, -1}, uv(f[k]));
    Triangle(m, a, uint16_t(a + 2), uint16_t(a + 1));
    Triangle(m, a, uint16_t(a + 3), uint16_t(a + 2));
    const TGXVector3 b[4] = {at(s, inner, depth), at(s, outer, depth), at(s + 1, outer, depth),
                             at(s + 1, inner, depth)};
    a = Vertex(m, b[0], {0, 0, 1}, uv(b[0]));
    for (int k = 1; k < 4; ++k) Vertex(m, b[k], {0, 0, 1}, uv(b[k]));
    Triangle(m, a, uint16_t(a + 1), uint16_t(a + 2));
    Triangle(m, a, uint16_t(a + 2), uint16_t(a + 3));
  }
  // The two feet on the ground.
  Quad(m, {inner, 0, depth}, {inner, 0, -depth}, {outer, 0, -depth}, {outer, 0, depth});
  Quad(m, {-outer, 0, depth}, {-outer, 0, -depth}, {-inner, 0, -depth}, {-inner, 0, depth});
  Finish(m, "RoundArch");
  return m;
}

namespace {

std::vector<uint8_t> MeshFile(const TGXModelMesh& mesh) {
  gx::TGXMeshData data;
  data.VertexCount = uint32_t(mesh.Vertices.size());
  data.Layout.AddElement(0, gx::GXDeclFloat3, gx::GXUsagePosition, 0);
  data.Layout.AddElement(0, gx::GXDeclFloat3, gx::GXUsageNormal, 0);
  data.Layout.AddElement(0, gx::GXDeclFloat2, gx::GXUsageTexCoord, 0);
  gx::TGXMeshStreamData stream;
  stream.Stride = sizeof(gx::TGXModelVertex);
  const auto* bytes = reinterpret_cast<const uint8_t*>(mesh.Vertices.data());
  stream.Data.assign(bytes, bytes + mesh.Vertices.size() * sizeof(gx::TGXModelVertex));
  data.Streams.push_back(std::move(stream));
  for (const gx::TGXModelSubMesh& sub : mesh.SubMeshes) {
    gx::TGXSubMeshData s;
    s.IndexCount = sub.IndexCount;
    s.Indices.assign(mesh.Indices.begin() + sub.FirstIndex,
                     mesh.Indices.begin() + sub.FirstIndex + sub.IndexCount);
    s.BoundsMin = sub.BoundsMin;
    s.BoundsMax = sub.BoundsMax;
    data.SubMeshes.push_back(std::move(s));
  }
  gx::TGXMemoryStream out;
  gx::TGXMeshSerializer().Write(out, data);
  return std::vector<uint8_t>(out.Memory(), out.Memory() + out.Size());
}

gx::TGXModelData ModelOf(TGXModelMesh mesh, gx::EGXModelFormat format) {
  gx::TGXModelData model;
  model.Format = format;
  model.Meshes.push_back(std::move(mesh));
  model.RootMeshes = {0};
  return model;
}

}  // namespace

std::shared_ptr<void> AddPrimitives(rr::TRRAsset& shared, const std::filesystem::path& workFolder) {
  using gx::EGXModelFormat;
  const std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
      {"Box.gxmesh", MeshFile(PrimitiveBox())},
      {"Sphere.gxmesh", MeshFile(PrimitiveSphere())},
      {"Cylinder.gxmesh", MeshFile(PrimitiveCylinder())},
      {"Ramp.gxmesh", MeshFile(PrimitiveRamp())},
      {"Plane.3ds", gx::GXWrite3DS(ModelOf(PrimitivePlane(), EGXModelFormat::Format3DS))},
      {"Circle.3ds", gx::GXWrite3DS(ModelOf(PrimitiveCircle(), EGXModelFormat::Format3DS))},
      {"Pyramid.x", gx::GXWriteXFile(ModelOf(PrimitivePyramid(), EGXModelFormat::XFile))},
      {"RoundArch.x", gx::GXWriteXFile(ModelOf(PrimitiveRoundArch(), EGXModelFormat::XFile))},
  };
  std::vector<std::filesystem::path> written;
  for (const auto& [name, bytes] : files) {
    const std::filesystem::path file = workFolder / (name + ".tmp");
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
