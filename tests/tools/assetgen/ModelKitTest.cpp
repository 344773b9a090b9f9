// The modelling kit: faces wound towards the outside (the engine culls the others), roofs whose
// covers face the sky and whose undersides never do, textures that run on from face to face, and
// meshes grouped by texture.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "tools/assetgen/ModelKit.h"

namespace {

using assetgen::TModelKit;
using assetgen::TTile;
using gx::TGXVector3;
using K = TModelKit;

struct TFace {
  TGXVector3 A, B, C;
  TGXVector3 Normal() const { return gx::GXVec3Normalize(gx::GXVec3Cross(B - A, C - A)); }
  TGXVector3 Centre() const { return (A + B + C) * (1.0f / 3); }
};

// The triangles of the sub-mesh with the texture (all when texture is empty), with the stored
// normal of each triangle's first corner.
std::vector<std::pair<TFace, TGXVector3>> Faces(const gx::TGXModelData& model,
                                                const std::string& texture = {}) {
  std::vector<std::pair<TFace, TGXVector3>> out;
  for (const gx::TGXModelMesh& mesh : model.Meshes)
    for (const gx::TGXModelSubMesh& sub : mesh.SubMeshes) {
      if (!texture.empty() && sub.TextureName != texture) continue;
      for (uint32_t i = sub.FirstIndex; i < sub.FirstIndex + sub.IndexCount; i += 3) {
        const auto& v = mesh.Vertices;
        out.push_back(
            {{v[mesh.Indices[i]].Position, v[mesh.Indices[i + 1]].Position, v[mesh.Indices[i + 2]].Position},
             v[mesh.Indices[i]].Normal});
      }
    }
  return out;
}

TEST(ModelKit, ClosedSolidsFaceOutwards) {
  struct TCase {
    const char* Name;
    TGXVector3 Centre;
    std::function<void(K&)> Make;
  };
  const float tilt = 0.6f;
  const TCase cases[] = {
      {"box",
       {1, 2, 3},
       [](K& k) {
         k.Box("t", {0, 1, 2}, {2, 3, 4}, {1, 1}, K::kAll);
       }},
      {"turned box",
       {0, 0, 0},
       [&](K& k) {
         // The upright frame turned about x: y = (0, cos, -sin), z = (0, sin, cos).
         const TGXVector3 y{0, std::cos(tilt), -std::sin(tilt)}, z{0, std::sin(tilt), std::cos(tilt)};
         k.OrientedBox("t", TGXVector3{-1, 0, 0} - y - z, {1, 0, 0}, y, z, {2, 2, 2}, {1, 1});
       }},
      {"frustum",
       {0, 1, 0},
       [](K& k) {
         k.Frustum("t", {0, 0, 0}, 2, 1, 0, 2, 8, {1, 1}, K::kTop | K::kBottom);
       }},
      {"fitted frustum",
       {0, 1, 0},
       [](K& k) {
         k.Frustum("t", {0, 0, 0}, 1, 1, 0, 2, 6, assetgen::kFit, K::kTop | K::kBottom, 0.3f);
       }},
      {"cone",
       {0, 0.5f, 0},
       [](K& k) {
         k.Cone("t", {0, 0, 0}, 1, 0, 2, 8, {1, 1});
         k.Ring("t", {0, 0, 0}, 0.0001f, 1, 0, 8, {1, 1}, false);
       }},
      {"diagonal beam",
       {1, 1, 1},
       [](K& k) {
         k.Beam("t", {0, 0, 0}, {2, 2, 2}, 0.3f, {1, 1});
       }},
      {"upright beam",
       {0, 1, 0},
       [](K& k) {
         k.Beam("t", {0, 0, 0}, {0, 2, 0}, 0.3f, {1, 1});
       }},
      // Tubes along each axis and both ways, capped at both ends (wheels, boilers, buffers).
      {"tube along +x", {1, 2, 3}, [](K& k) { k.Tube("t", {0, 2, 3}, {2, 2, 3}, 1, 1, 12, K::kTop | K::kBottom); }},
      {"tube along -x", {1, 2, 3}, [](K& k) { k.Tube("t", {2, 2, 3}, {0, 2, 3}, 1, 1, 7, K::kTop | K::kBottom, "c"); }},
      {"tube along +z", {0, 1, 1}, [](K& k) { k.Tube("t", {0, 1, 0}, {0, 1, 2}, 0.5f, 0.8f, 16, K::kTop | K::kBottom); }},
      {"tube along -y", {0, 1, 0}, [](K& k) { k.Tube("t", {0, 2, 0}, {0, 0, 0}, 1, 0.5f, 9, K::kTop | K::kBottom, {}, 0.4f); }},
      {"slanted tube", {1, 1, 0}, [](K& k) { k.Tube("t", {0, 0, 0}, {2, 2, 0}, 0.4f, 0.4f, 10, K::kTop | K::kBottom); }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    K k;
    k.Part("p");
    c.Make(k);
    const auto faces = Faces(k.Build(gx::EGXModelFormat::XFile));
    ASSERT_FALSE(faces.empty());
    for (const auto& [f, stored] : faces) {
      const TGXVector3 n = f.Normal();
      if (gx::GXVec3Length(n) == 0) continue;  // the ring's degenerate inner edge
      EXPECT_GT(gx::GXVec3Dot(n, f.Centre() - c.Centre), 0);
      EXPECT_GT(gx::GXVec3Dot(n, stored), 0.99f);
    }
  }
}

TEST(ModelKit, TubesAndRingsFaceWhereTheyAreSeenFrom) {
  K k;
  k.Part("p");
  k.InnerWall("wall", {0, 0, 0}, 3, 0, 1, 12, {1, 1});
  k.Ring("up", {0, 0, 0}, 1, 3, 1, 12, {1, 1}, true);
  k.Ring("down", {0, 0, 0}, 1, 3, 0, 12, {1, 1}, false);
  const gx::TGXModelData m = k.Build(gx::EGXModelFormat::XFile);
  for (const auto& [f, n] : Faces(m, "wall"))
    EXPECT_LT(gx::GXVec3Dot(f.Normal(), {f.Centre().x, 0, f.Centre().z}), 0);
  for (const auto& [f, n] : Faces(m, "up")) EXPECT_GT(f.Normal().y, 0.99f);
  for (const auto& [f, n] : Faces(m, "down")) EXPECT_LT(f.Normal().y, -0.99f);
}

TEST(ModelKit, SmoothTubesShadeRoundAndKeepTheirWinding) {
  // A tapered smooth tube along a slanted axis: every face still faces out, and every stored
  // normal leans away from the axis within half a facet of its face's normal.
  const TGXVector3 from{1, 0, 0}, to{3, 2, 1};
  const gx::TGXVector3 axis = gx::GXVec3Normalize(to - from);
  const int sides = 12;
  K k;
  k.Part("p");
  k.Tube("t", from, to, 1.0f, 0.6f, sides, 0, {}, 0, true);
  const gx::TGXModelData m = k.Build(gx::EGXModelFormat::XFile);
  const gx::TGXModelMesh& mesh = m.Meshes.at(0);
  ASSERT_EQ(mesh.Indices.size(), size_t(sides) * 6);
  for (size_t i = 0; i < mesh.Indices.size(); i += 3) {
    const TFace f{mesh.Vertices[mesh.Indices[i]].Position, mesh.Vertices[mesh.Indices[i + 1]].Position,
                  mesh.Vertices[mesh.Indices[i + 2]].Position};
    const TGXVector3 c = f.Centre() - from;
    const TGXVector3 radial = c - axis * gx::GXVec3Dot(c, axis);
    EXPECT_GT(gx::GXVec3Dot(f.Normal(), radial), 0);
    for (size_t j = 0; j < 3; ++j) {
      const gx::TGXModelVertex& v = mesh.Vertices[mesh.Indices[i + j]];
      EXPECT_NEAR(gx::GXVec3Length(v.Normal), 1, 1e-4f);
      EXPECT_GT(gx::GXVec3Dot(v.Normal, f.Normal()), std::cos(gx::GX_PI / sides) - 0.01f);
      // Narrowing towards "to", the side faces a little that way.
      EXPECT_GT(gx::GXVec3Dot(v.Normal, axis), 0.1f);
    }
  }
}

TEST(ModelKit, RoofsShedTheRainAndCloseTheirGables) {
  struct TCase {
    const char* Name;
    void (K::*Make)(const K::TRoof&);
    bool AlongX, Flip;
  };
  const TCase cases[] = {
      {"gable along x", &K::GableRoof, true, false}, {"gable along z", &K::GableRoof, false, false},
      {"hip along x", &K::HipRoof, true, false},     {"hip along z", &K::HipRoof, false, false},
      {"shed along x", &K::ShedRoof, true, false},   {"shed flipped", &K::ShedRoof, true, true},
      {"shed along z", &K::ShedRoof, false, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    K::TRoof r;
    r.X0 = -4, r.Z0 = -2, r.X1 = 4, r.Z1 = 3;  // off centre, wider than deep
    r.Eave = 5, r.Ridge = 8, r.Overhang = 0.5f, r.Thickness = 0.2f, r.AlongX = c.AlongX, r.Flip = c.Flip;
    r.Cover = "cover", r.Under = "under", r.Gable = "gable";
    K k;
    k.Part("p");
    (k.*c.Make)(r);
    const gx::TGXModelData m = k.Build(gx::EGXModelFormat::XFile);
    const TGXVector3 centre{0, 0, 0.5f};
    TGXVector3 lo{1e9f, 1e9f, 1e9f}, hi{-1e9f, -1e9f, -1e9f};
    for (const auto& [f, n] : Faces(m, "cover")) {
      EXPECT_GT(f.Normal().y, 0.2f);
      for (const TGXVector3& p : {f.A, f.B, f.C})
        lo = gx::GXVec3Minimize(lo, p), hi = gx::GXVec3Maximize(hi, p);
      // Saddle and hipped covers slope away from the middle.
      if (c.Make != &K::ShedRoof) {
        const TGXVector3 out = f.Centre() - centre;
        EXPECT_GE(f.Normal().x * out.x + f.Normal().z * out.z, 0);
      }
    }
    // The cover spans the footprint and its overhang (none where a shed roof meets its wall:
    // the back, the front when flipped, the left across) and reaches the ridge.
    const bool shed = c.Make == &K::ShedRoof;
    EXPECT_NEAR(lo.x, shed && !c.AlongX ? -4.0f : -4.5f, 1e-4f);
    EXPECT_NEAR(hi.x, 4.5f, 1e-4f);
    EXPECT_NEAR(lo.z, shed && c.Flip ? -2.0f : -2.5f, 1e-4f);
    EXPECT_NEAR(hi.z, shed && c.AlongX && !c.Flip ? 3.0f : 3.5f, 1e-4f);
    EXPECT_NEAR(hi.y, 8, 1e-4f);
    for (const auto& [f, n] : Faces(m, "under")) EXPECT_LT(f.Normal().y, 0.01f);
    // Gable walls stand upright, face out and rest on the eave.
    for (const auto& [f, n] : Faces(m, "gable")) {
      EXPECT_NEAR(f.Normal().y, 0, 1e-4f);
      const TGXVector3 out = f.Centre() - centre;
      EXPECT_GT(f.Normal().x * out.x + f.Normal().z * out.z, 0);
      EXPECT_NEAR(std::min({f.A.y, f.B.y, f.C.y}), 5, 1e-4f);
    }
  }
}

TEST(ModelKit, TiledTexturesRunOnAcrossNeighbouringFaces) {
  // Around a tiled frustum: each face's left edge continues where its left neighbour's right
  // edge ended; walls of a tiled box show the same v at the same height on every side.
  K k;
  k.Part("p");
  k.Frustum("round", {0, 0, 0}, 2, 2, 0, 3, 8, {1.5f, 2}, 0);
  k.Box("box", {-1, 0, -2}, {1, 3, 2}, {1.5f, 2, 0.25f, 0.5f}, K::kSides);
  const gx::TGXModelData m = k.Build(gx::EGXModelFormat::XFile);
  const gx::TGXModelMesh& mesh = m.Meshes.at(0);
  const float perimeter = 8 * 2 * 2 * std::sin(gx::GX_PI / 8);
  for (const gx::TGXModelSubMesh& sub : mesh.SubMeshes) {
    SCOPED_TRACE(sub.TextureName);
    // Every pair of vertices at one position (a shared edge between two faces) has one v, and
    // around the frustum one u as well.
    for (uint32_t i = sub.FirstIndex; i < sub.FirstIndex + sub.IndexCount; ++i)
      for (uint32_t j = sub.FirstIndex; j < sub.FirstIndex + sub.IndexCount; ++j) {
        const gx::TGXModelVertex& a = mesh.Vertices[mesh.Indices[i]];
        const gx::TGXModelVertex& b = mesh.Vertices[mesh.Indices[j]];
        if (gx::GXVec3Length(a.Position - b.Position) > 1e-4f) continue;
        EXPECT_NEAR(a.TexCoord.y, b.TexCoord.y, 1e-4f);
        if (sub.TextureName != "round") continue;
        // One u, except where the ring closes: there a whole way round apart.
        const float du = std::fabs(a.TexCoord.x - b.TexCoord.x);
        if (du > 1e-3f) {
          EXPECT_NEAR(du, perimeter / 1.5f, 1e-3f);
        }
      }
    // v follows the height: one repeat every 2 units, offset 0.5.
    for (uint32_t i = sub.FirstIndex; i < sub.FirstIndex + sub.IndexCount; ++i) {
      const gx::TGXModelVertex& v = mesh.Vertices[mesh.Indices[i]];
      EXPECT_NEAR(v.TexCoord.y, -v.Position.y / 2 + (sub.TextureName == "box" ? 0.5f : 0), 1e-4f);
    }
  }
}

TEST(ModelKit, PartsBecomeNodesWithOneSubMeshPerTexture) {
  K k;
  const int body = k.Part("Body", -1, {1, 0, 0});
  k.Box("a", {0, 0, 0}, {1, 1, 1}, {1, 1}, K::kFront);
  k.Box("b", {0, 0, 0}, {1, 1, 1}, {1, 1}, K::kBack);
  k.Box("a", {0, 0, 0}, {1, 1, 1}, {1, 1}, K::kTop);
  k.Part("Empty", body);
  k.Part("Arm", body, {0, 1, 0}, assetgen::YRotation(1));
  k.Box("c", {0, 0, 0}, {1, 2, 1}, {1, 1}, K::kLeft);
  const gx::TGXModelData m = k.Build(gx::EGXModelFormat::Format3DS);
  ASSERT_EQ(m.Nodes.size(), 3u);
  EXPECT_EQ(m.Nodes[1].Parent, 0);
  EXPECT_TRUE(m.Nodes[1].Meshes.empty());
  EXPECT_EQ(m.Nodes[2].Parent, 0);
  ASSERT_EQ(m.Meshes.size(), 2u);
  const gx::TGXModelMesh& first = m.Meshes[m.Nodes[0].Meshes.at(0)];
  ASSERT_EQ(first.SubMeshes.size(), 2u);
  EXPECT_EQ(first.SubMeshes[0].TextureName, "a");
  EXPECT_EQ(first.SubMeshes[0].IndexCount, 12u);  // two quads in one group
  EXPECT_EQ(first.SubMeshes[1].FirstIndex, 12u);
  for (uint16_t i : first.Indices) EXPECT_LT(i, first.Vertices.size());
  EXPECT_FLOAT_EQ(m.Meshes[m.Nodes[2].Meshes.at(0)].BoundsMax.y, 2);

  // A part beyond what 16-bit indices reach is refused rather than wrapped.
  K big;
  big.Part("Big");
  for (int i = 0; i < 16400; ++i) big.Quad("t", {0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {1, 1});
  EXPECT_THROW(big.Build(gx::EGXModelFormat::XFile), std::length_error);
}

}  // namespace
