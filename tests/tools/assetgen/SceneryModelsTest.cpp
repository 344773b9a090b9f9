// The scenery models as assetgen builds them: street pieces whose road ends lie in the middle of
// an open end of the road and point out of it, a barrier whose booms rise at frame 0 and lie over
// the road at frame 20, an engine-shed bay the program can fan out (walls, corners, door node and
// box, doors that swing clear of the track) with its connector wedge, light plants standing on the
// ground, and textures that repeat and cut out as their models need.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "tools/assetgen/EngineShed.h"
#include "tools/assetgen/Plants.h"
#include "tools/assetgen/SceneryTextures.h"
#include "tools/assetgen/Streets.h"

namespace {

using gx::TGXVector3;

// The model's triangles in model space with every node at its key of frame (its rest pose when
// the animation has no key there), each tagged with the name of its node.
struct TTriangle {
  TGXVector3 P[3];
  std::string Node;
  TGXVector3 Normal() const { return gx::GXVec3Normalize(gx::GXVec3Cross(P[1] - P[0], P[2] - P[0])); }
};
std::vector<TTriangle> Posed(const gx::TGXModelData& model, uint32_t frame = 0) {
  std::vector<gx::TGXMatrix> world(model.Nodes.size());
  std::vector<TTriangle> out;
  for (size_t i = 0; i < model.Nodes.size(); ++i) {
    const gx::TGXModelNode& n = model.Nodes[i];
    gx::TGXQuaternion rotation = n.Rotation;
    for (const gx::TGXModelTrack& t : model.Animation.Tracks)
      if (t.Name == n.Name)
        for (const auto& key : t.RotationKeys)
          if (key.Frame == frame) rotation = key.Value;
    world[i] = gx::GXMatrixTransformation(n.Scale, rotation, n.Position);
    if (n.Parent >= 0) world[i] = world[i] * world[size_t(n.Parent)];
    for (uint32_t m : n.Meshes) {
      const gx::TGXModelMesh& mesh = model.Meshes.at(m);
      for (size_t k = 0; k + 2 < mesh.Indices.size(); k += 3) {
        TTriangle t;
        for (int c = 0; c < 3; ++c)
          t.P[c] = gx::GXVec3TransformCoord(mesh.Vertices[mesh.Indices[k + size_t(c)]].Position, world[i]);
        t.Node = n.Name;
        out.push_back(t);
      }
    }
  }
  return out;
}

// The highest upward face over (x, z) below ceiling, if any.
std::optional<float> TopAt(const std::vector<TTriangle>& faces, float x, float z, float ceiling = 1e9f) {
  std::optional<float> top;
  for (const TTriangle& t : faces) {
    if (t.Normal().y < 0.5f) continue;
    const TGXVector3 &a = t.P[0], &b = t.P[1], &c = t.P[2];
    const float d = (b.x - a.x) * (c.z - a.z) - (c.x - a.x) * (b.z - a.z);
    if (std::fabs(d) < 1e-9f) continue;
    const float u = ((x - a.x) * (c.z - a.z) - (c.x - a.x) * (z - a.z)) / d;
    const float v = ((b.x - a.x) * (z - a.z) - (x - a.x) * (b.z - a.z)) / d;
    if (u < -1e-5f || v < -1e-5f || u + v > 1 + 1e-5f) continue;
    const float y = a.y + (b.y - a.y) * u + (c.y - a.y) * v;
    if (y < ceiling && (!top || y > *top)) top = y;
  }
  return top;
}

struct TBounds {
  TGXVector3 Min{1e9f, 1e9f, 1e9f}, Max{-1e9f, -1e9f, -1e9f};
};
TBounds BoundsOf(const std::vector<TTriangle>& faces, const std::string& node = {}) {
  TBounds b;
  for (const TTriangle& t : faces)
    if (node.empty() || t.Node == node)
      for (const TGXVector3& p : t.P)
        b.Min = gx::GXVec3Minimize(b.Min, p), b.Max = gx::GXVec3Maximize(b.Max, p);
  return b;
}

TEST(SceneryModels, EveryRoadEndLiesMidwayAcrossAnOpenEndOfTheRoadAndPointsOutOfIt) {
  struct TPiece {
    const char* Name;
    size_t Ends;
  };
  const TPiece pieces[] = {
      {"Straße gerade", 2}, {"Straßenkurve", 2}, {"Einmündung", 3}, {"Kreuzung", 4}, {"Bahnübergang", 2}};
  const std::vector<assetgen::TSceneryItem> streets = assetgen::StreetModels();
  ASSERT_EQ(streets.size(), std::size(pieces));
  for (size_t i = 0; i < streets.size(); ++i) {
    const assetgen::TSceneryItem& s = streets[i];
    SCOPED_TRACE(s.Name);
    EXPECT_EQ(s.Name, pieces[i].Name);
    // Older layouts tell streets by their files' names.
    EXPECT_EQ(s.FileName.rfind("Straße", 0), 0u);
    ASSERT_EQ(s.Ends.size(), pieces[i].Ends);
    const std::vector<TTriangle> faces = Posed(s.Model);
    for (const assetgen::TRoadEnd& e : s.Ends) {
      const TGXVector3 out{std::cos(e.Angle), 0, -std::sin(e.Angle)}, across{-out.z, 0, out.x};
      const TGXVector3 p = e.Position, in = p - out * 0.05f;
      EXPECT_FLOAT_EQ(p.y, 0);
      EXPECT_FALSE(TopAt(faces, p.x + out.x * 0.05f, p.z + out.z * 0.05f)) << p.x << " " << p.z;
      // Just inside, the road is RoadWidth wide round the end's point, at the street's height.
      const std::optional<float> top = TopAt(faces, in.x, in.z);
      ASSERT_TRUE(top);
      EXPECT_NEAR(*top, assetgen::StreetTop, 1e-4f);
      for (float side : {-1.0f, 1.0f}) {
        const TGXVector3 edge = in + across * (side * (assetgen::RoadWidth / 2 - 0.05f));
        const TGXVector3 beyond = in + across * (side * (assetgen::RoadWidth / 2 + 0.05f));
        EXPECT_TRUE(TopAt(faces, edge.x, edge.z));
        EXPECT_FALSE(TopAt(faces, beyond.x, beyond.z));
      }
    }
  }
  // The plate lies at rail height on the track's centre, between the rails.
  const std::optional<float> plate = TopAt(Posed(streets.back().Model), 0, 0);
  ASSERT_TRUE(plate);
  EXPECT_NEAR(*plate, assetgen::RailTop, 1e-4f);
}

TEST(SceneryModels, TheBarrierRaisesItsBoomsAtRestAndLowersThemAlongTheTrackOverTheRoad) {
  const assetgen::TSceneryItem barrier = assetgen::BarrierModel();
  const gx::TGXModelData& m = barrier.Model;
  ASSERT_TRUE(m.HasAnimation);
  EXPECT_EQ(gx::GXModelEndFrame(m.Animation), 20u);
  const std::vector<TTriangle> open = Posed(m, 0), closed = Posed(m, 20);
  EXPECT_NEAR(BoundsOf(open).Min.y, 0, 1e-4f);
  float postX[2] = {}, postZ[2] = {};
  for (int i = 0; i < 2; ++i) {
    const std::string boom = assetgen::BarrierBooms[i];
    SCOPED_TRACE(boom);
    const TBounds up = BoundsOf(open, boom), down = BoundsOf(closed, boom);
    EXPECT_GT(up.Max.y, 4.0f);
    EXPECT_LT(up.Max.x - up.Min.x, 0.5f);
    // Lowered: lying at about a centimetre above the ground, along x, from beside the road to
    // its middle, beside the track (a wagon is 3 wide).
    EXPECT_GT(down.Min.y, 0.3f);
    EXPECT_LT(down.Max.y, 1.6f);
    EXPECT_GT(down.Max.x - down.Min.x, assetgen::RoadWidth / 2);
    EXPECT_LT(std::min(std::fabs(down.Min.x), std::fabs(down.Max.x)), 0.4f);
    EXPECT_LT(down.Max.z - down.Min.z, 0.5f);
    EXPECT_GT(std::min(std::fabs(down.Min.z), std::fabs(down.Max.z)), 1.5f + 1.5f);
    postX[i] = (up.Min.x + up.Max.x) / 2, postZ[i] = (up.Min.z + up.Max.z) / 2;
  }
  // A half-barrier pair: one post either side of the track, at opposite ends of the road.
  EXPECT_LT(postX[0] * postX[1], 0);
  EXPECT_LT(postZ[0] * postZ[1], 0);
  for (float z : postZ) EXPECT_NEAR(std::fabs(z), assetgen::BarrierPostZ, 0.5f);
}

TEST(SceneryModels, TheShedBayJoinsAtItsCornersAndOpensItsDoorsOutwardsForTheDoorBox) {
  const gx::TGXModelData bay = assetgen::ShedBayModel().Model;
  const std::vector<TTriangle> closed = Posed(bay, 0), open = Posed(bay, 20);
  const TBounds all = BoundsOf(closed);
  // The long walls' faces at ±ShedWallZ (only the flat window panes stand 0.02 proud), with
  // the corners the fan joins.
  EXPECT_LE(std::max(-all.Min.z, all.Max.z), assetgen::ShedWallZ + 0.025f);
  for (float x : {assetgen::ShedDoorX, assetgen::ShedBackX})
    for (float z : {-assetgen::ShedWallZ, assetgen::ShedWallZ}) {
      bool corner = false;
      for (const TTriangle& t : closed)
        for (const TGXVector3& p : t.P) corner |= gx::GXVec3Length(p - TGXVector3{x, 0, z}) < 1e-4f;
      EXPECT_TRUE(corner) << x << " " << z;
    }
  // A floor from the doorway to the back for the longest engine (22).
  for (float x : {assetgen::ShedDoorX + 0.1f, assetgen::ShedBackX - 0.5f}) {
    const std::optional<float> floor = TopAt(closed, x, 0, 1);
    ASSERT_TRUE(floor);
    EXPECT_NEAR(*floor, 0, 0.05f);
  }

  // One door node, unturned and not animated, whose box spans the track in the doorway from the
  // rails up past a raised pantograph.
  int door = -1;
  for (size_t i = 0; i < bay.Nodes.size(); ++i) {
    std::string name = bay.Nodes[i].Name;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    if (name.find("ANIM") != std::string::npos) {
      EXPECT_EQ(door, -1);
      door = int(i);
    }
  }
  ASSERT_GE(door, 0);
  const gx::TGXModelNode& node = bay.Nodes[size_t(door)];
  EXPECT_EQ(node.Parent, -1);
  EXPECT_GT(std::fabs(node.Rotation.w), 0.99999f);
  for (const gx::TGXModelTrack& t : bay.Animation.Tracks) EXPECT_NE(t.Name, node.Name);
  const TGXVector3 lo = node.Position + TGXVector3{-8, -3.5f, -1.5f},
                   hi = node.Position + TGXVector3{8, 3.5f, 1.5f};
  EXPECT_TRUE(lo.x < assetgen::ShedDoorX && hi.x > assetgen::ShedDoorX && lo.z < 0 && hi.z > 0);
  EXPECT_LE(lo.y, assetgen::RailTop + 0.05f);
  EXPECT_GE(hi.y, assetgen::RailTop + 6.5f);

  // Its children, the leaves, close the doorway at frame 0 and stand clear of it at frame 20.
  ASSERT_EQ(gx::GXModelEndFrame(bay.Animation), 20u);
  for (const char* leaf : assetgen::ShedDoorLeaves) {
    SCOPED_TRACE(leaf);
    const auto child = std::find_if(bay.Nodes.begin(), bay.Nodes.end(),
                                    [&](const gx::TGXModelNode& n) { return n.Name == leaf; });
    ASSERT_NE(child, bay.Nodes.end());
    EXPECT_EQ(child->Parent, door);
    const TBounds shut = BoundsOf(closed, leaf), swung = BoundsOf(open, leaf);
    EXPECT_GT(shut.Min.x, assetgen::ShedDoorX - 0.3f);
    EXPECT_LT(shut.Max.x, assetgen::ShedDoorX);
    EXPECT_LT(swung.Max.x, assetgen::ShedDoorX);
    EXPECT_LT(swung.Min.x, assetgen::ShedDoorX - 2);
    EXPECT_GT(std::min(std::fabs(swung.Min.z), std::fabs(swung.Max.z)), 2.0f);
  }

  // The connector: a wedge from its apex along the bay's length, half as wide as a quarter of
  // the distance (the little more the roof reaches hides under the bays' roofs), its roof just
  // below theirs.
  const std::vector<TTriangle> wedge = Posed(assetgen::ShedConnectorModel().Model);
  for (const TTriangle& t : wedge)
    for (const TGXVector3& p : t.P) {
      EXPECT_GE(p.x, 0);
      EXPECT_LE(p.x, assetgen::ShedBackX - assetgen::ShedDoorX + 0.35f);
      EXPECT_LE(std::fabs(p.z), p.x * 0.26f + 1e-3f);
    }
  const std::optional<float> roof = TopAt(closed, 0, assetgen::ShedWallZ - 0.1f);
  ASSERT_TRUE(roof);
  EXPECT_NEAR(BoundsOf(wedge).Max.y, *roof, 0.05f);
  EXPECT_LT(BoundsOf(wedge).Max.y, *roof);
}

TEST(SceneryModels, PlantsStandOnTheGroundInFewTrianglesWithCutOutLeaves) {
  struct TPlant {
    const char* Name;
    float MinHeight, MaxHeight;
  };
  const TPlant plants[] = {
      {"Laubbaum", 12, 20}, {"Nadelbaum", 12, 20}, {"Busch", 2, 5}, {"Ginsterbusch", 2, 5}, {"Hecke", 2, 4}};
  const std::vector<assetgen::TSceneryItem> models = assetgen::PlantModels();
  ASSERT_EQ(models.size(), std::size(plants));
  for (size_t i = 0; i < models.size(); ++i) {
    SCOPED_TRACE(plants[i].Name);
    EXPECT_EQ(models[i].Name, plants[i].Name);
    // 3D Studio files: the program draws their materials from both sides.
    EXPECT_EQ(models[i].Form, assetgen::TModelFileForm::Studio3DS);
    const std::vector<TTriangle> faces = Posed(models[i].Model);
    EXPECT_LE(faces.size(), 400u);
    const TBounds b = BoundsOf(faces);
    EXPECT_NEAR(b.Min.y, 0, 0.01f);
    EXPECT_GE(b.Max.y, plants[i].MinHeight);
    EXPECT_LE(b.Max.y, plants[i].MaxHeight);
    int cutOut = 0;
    for (const gx::TGXModelMesh& mesh : models[i].Model.Meshes)
      for (const gx::TGXModelSubMesh& sub : mesh.SubMeshes)
        if (!gx::GXModelIsColorName(sub.TextureName))
          cutOut += assetgen::PaintSceneryTexture(sub.TextureName).Alpha;
    EXPECT_GE(cutOut, 1);
  }
  const TBounds hedge = BoundsOf(Posed(models.back().Model));
  EXPECT_NEAR(hedge.Max.x - hedge.Min.x, assetgen::HedgeLength, 0.01f);
}

TEST(SceneryTextures, RepeatWithoutSeamsAndCutOutTheirLeaves) {
  for (const assetgen::TTextureInfo& info : assetgen::SceneryTextures()) {
    SCOPED_TRACE(info.FileName);
    const assetgen::TImage img = assetgen::PaintSceneryTexture(info.FileName);
    EXPECT_EQ(img.Width & (img.Width - 1), 0u);
    EXPECT_EQ(img.Height & (img.Height - 1), 0u);
    EXPECT_EQ(img.Pixels, assetgen::PaintSceneryTexture(info.FileName).Pixels);
    if (img.Alpha) {
      // Leaves with air between them, nothing half transparent to sort.
      size_t clear = 0, solid = 0;
      for (uint32_t p : img.Pixels) {
        clear += (p >> 24) == 0;
        solid += (p >> 24) == 255;
      }
      EXPECT_GT(clear, img.Pixels.size() / 20);
      EXPECT_GT(solid, img.Pixels.size() / 5);
      EXPECT_EQ(clear + solid, img.Pixels.size());
      continue;
    }
    // The road surfaces run on along v: the last row steps into the first no more than any row
    // into the next.
    auto rowStep = [&](uint32_t a, uint32_t b) {
      double sum = 0;
      for (uint32_t x = 0; x < img.Width; ++x)
        for (int shift : {0, 8, 16})
          sum += std::abs(int((img.At(x, a) >> shift) & 255) - int((img.At(x, b) >> shift) & 255));
      return sum / img.Width;
    };
    double inner = 0;
    for (uint32_t y = 0; y + 1 < img.Height; ++y) inner = std::max(inner, rowStep(y, y + 1));
    EXPECT_LE(rowStep(img.Height - 1, 0), inner * 1.1);
  }
}

}  // namespace
