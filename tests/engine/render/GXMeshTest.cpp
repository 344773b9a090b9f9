// Mesh operations on the CPU copies, and entities picking them; no device is needed for meshes
// built without buffers.

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "engine/core/GXException.h"
#include "engine/core/GXGeometry.h"
#include "engine/core/GXSceneNode.h"
#include "engine/render/GXEntity.h"
#include "engine/render/GXMesh.h"

namespace gx::test {
namespace {

TGXRef<TGXMesh> NewMesh(const std::string& name = "Mesh") { return MakeRef<TGXMesh>(nullptr, name, true); }

TGXSubMesh* AddSub(TGXMesh& mesh, std::vector<uint16_t> indices, uint32_t first, uint32_t count,
                   IGXMaterial material = nullptr) {
  TGXSubMesh* sub = mesh.AddSubMesh();
  sub->Indices = std::move(indices);
  sub->IndexGeometry.FirstIndex = first;
  sub->IndexGeometry.IndexCount = count;
  sub->Material = std::move(material);
  return sub;
}

void SetPositions(TGXMesh& mesh, const std::vector<TGXVector3>& p) {
  mesh.SetPositions(p.data(), p.size() * sizeof(TGXVector3), sizeof(TGXVector3), 0);
  mesh.GetGeometry().VertexCount = uint32_t(p.size());
}

// Two unit squares facing -z, at z = 0 (vertices 0..3) and z = 5 (vertices 4..7).
std::vector<TGXVector3> TwoSquares() {
  return {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {0, 0, 5}, {0, 1, 5}, {1, 1, 5}, {1, 0, 5}};
}

TEST(TGXMeshTest, PickingTakesExactlyTheDrawnTrianglesAndTheNearestHit) {
  struct TCase {
    const char* Name;
    uint32_t First, Count;
    std::vector<uint16_t> Indices;
    bool Hit;
    float Z;
  };
  const std::vector<TCase> cases = {
      {"both squares, the near one wins", 0, 12, {4, 5, 6, 4, 6, 7, 0, 1, 2, 0, 2, 3}, true, 0},
      {"only the far square is drawn", 6, 6, {0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7}, true, 5},
      {"the near square lies before the drawn range", 6, 0, {0, 1, 2, 0, 2, 3}, false, 0},
      {"indices outside the positions are skipped", 0, 6, {0, 1, 99, 4, 5, 6}, true, 5},
      {"a range beyond the indices stops at their end", 3, 30, {9, 9, 9, 4, 5, 6}, true, 5},
  };
  for (const TCase& c : cases) {
    auto mesh = NewMesh();
    SetPositions(*mesh, TwoSquares());
    AddSub(*mesh, c.Indices, c.First, c.Count);
    TGXVector3 normal, hit;
    // Along +z through both squares.
    const bool found = mesh->RayIntersect({0.25f, 0.6f, -10}, {0, 0, 1}, normal, hit, false);
    ASSERT_EQ(found, c.Hit) << c.Name;
    if (found) {
      EXPECT_FLOAT_EQ(hit.z, c.Z) << c.Name;
      EXPECT_FLOAT_EQ(std::abs(normal.z), 1) << c.Name;
    }
  }
}

TEST(TGXMeshTest, PickingFindsWhatTestingEveryTriangleFinds) {
  // Random soups of triangles of all sizes and rays through them: the mesh's filtered walk must
  // report the hit a plain loop of exact tests reports.
  std::mt19937 random(7);
  std::uniform_real_distribution<float> coordinate(-10, 10), small(-0.01f, 0.01f);
  int hits = 0;
  for (int round = 0; round < 40; ++round) {
    std::vector<TGXVector3> positions;
    for (int i = 0; i < 300; ++i) {
      const TGXVector3 base(coordinate(random), coordinate(random), coordinate(random));
      const bool tiny = i % 3 == 0;
      positions.push_back(base +
                          (tiny ? TGXVector3(small(random), small(random), small(random))
                                : TGXVector3(coordinate(random), coordinate(random), coordinate(random))));
    }
    std::vector<uint16_t> indices;
    for (uint16_t i = 0; i < 300; ++i) indices.push_back(uint16_t((i * 7 + round) % 300));
    auto mesh = NewMesh();
    SetPositions(*mesh, positions);
    AddSub(*mesh, indices, 0, uint32_t(indices.size()));
    const TGXVector3 origin(coordinate(random), coordinate(random), -30),
        target(coordinate(random) * 0.3f, coordinate(random) * 0.3f, 0);
    for (bool cull : {false, true}) {
      float best = INFINITY;
      for (size_t i = 0; i + 2 < indices.size(); i += 3)
        if (auto h = RayTriangle(origin, target - origin, positions[indices[i]], positions[indices[i + 1]],
                                 positions[indices[i + 2]], cull))
          best = std::min(best, h->Distance);
      TGXVector3 n, h;
      const bool found = mesh->RayIntersect(origin, target - origin, n, h, cull);
      ASSERT_EQ(found, best < INFINITY) << round;
      hits += found;
      if (found) {
        EXPECT_NEAR(GXVec3Length(h - origin) / GXVec3Length(target - origin), best, 1e-4f) << round;
      }
    }
  }
  EXPECT_GT(hits, 20);  // most rays hit something, so the comparison means something
}

TEST(TGXMeshTest, CulledBackFacesAndMissingPositionsAreNeverHit) {
  auto mesh = NewMesh();
  SetPositions(*mesh, TwoSquares());
  AddSub(*mesh, {0, 1, 2, 0, 2, 3}, 0, 6);
  TGXVector3 n, h;
  const bool front = mesh->RayIntersect({0.25f, 0.6f, -10}, {0, 0, 1}, n, h, true);
  const bool back = mesh->RayIntersect({0.25f, 0.6f, 10}, {0, 0, -1}, n, h, true);
  EXPECT_NE(front, back);
  EXPECT_TRUE(mesh->RayIntersect({0.25f, 0.6f, 10}, {0, 0, -1}, n, h, false));

  auto blind = NewMesh();
  AddSub(*blind, {0, 1, 2}, 0, 3);
  blind->SubMesh(0)->BoundsMax = {1, 1, 1};
  blind->CalculateBounds();
  TGXSceneNode node;
  auto entity = TGXEntity::Create(&node, blind);
  EXPECT_FALSE(entity->RayIntersect({0.5f, 0.5f, -5}, {0, 0, 1}, n, h));
}

TEST(TGXMeshTest, EntitiesPickFromInsideTheirBoxToo) {
  auto mesh = NewMesh();
  SetPositions(*mesh, TwoSquares());
  AddSub(*mesh, {4, 5, 6, 4, 6, 7}, 0, 6);
  mesh->SubMesh(0)->BoundsMin = {0, 0, 0};
  mesh->SubMesh(0)->BoundsMax = {1, 1, 5};
  mesh->CalculateBounds();
  TGXSceneNode node;
  auto entity = TGXEntity::Create(&node, mesh);
  TGXVector3 n, h;
  // From inside the box the box test never hits; the far square still must be found.
  ASSERT_TRUE(entity->RayIntersect({0.5f, 0.5f, 1}, {0, 0, 1}, n, h));
  EXPECT_FLOAT_EQ(h.z, 5);
  ASSERT_TRUE(entity->RayIntersect({0.5f, 0.5f, -3}, {0, 0, 1}, n, h));
  EXPECT_FALSE(entity->RayIntersect({3, 0.5f, -3}, {0, 0, 1}, n, h));
  entity->SetVisible(false);
  EXPECT_FALSE(entity->RayIntersect({0.5f, 0.5f, -3}, {0, 0, 1}, n, h));
}

TEST(TGXMeshTest, SubMeshConcatenationKeepsTheOrderOfTheRest) {
  auto a = MakeRef<TGXMaterial>(nullptr, "A", true), b = MakeRef<TGXMaterial>(nullptr, "B", true);
  auto mesh = NewMesh();
  // Materials A B A B A: merging must keep the B sub-meshes' order (a fast removal would swap it).
  const IGXMaterial materials[] = {a, b, a, b, a};
  for (uint16_t i = 0; i < 5; ++i) {
    TGXSubMesh* s =
        AddSub(*mesh, {9, uint16_t(3 * i), uint16_t(3 * i + 1), uint16_t(3 * i + 2)}, 1, 3, materials[i]);
    s->BoundsMin = {float(i), 0, 0};
    s->BoundsMax = {float(i) + 1, 1, 1};
  }
  TGXSubMesh* firstB = mesh->SubMesh(1);
  mesh->MergeSubMeshes();
  ASSERT_EQ(mesh->SubMeshCount(), 2);
  EXPECT_EQ(mesh->SubMesh(0)->Material, a);
  EXPECT_EQ(mesh->SubMesh(1), firstB);
  // The drawn ranges only, in list order, from index 0 of the new copy.
  EXPECT_EQ(mesh->SubMesh(0)->Indices, (std::vector<uint16_t>{0, 1, 2, 6, 7, 8, 12, 13, 14}));
  EXPECT_EQ(mesh->SubMesh(0)->IndexGeometry.FirstIndex, 0u);
  EXPECT_EQ(mesh->SubMesh(0)->IndexGeometry.IndexCount, 9u);
  EXPECT_EQ(mesh->SubMesh(1)->Indices, (std::vector<uint16_t>{3, 4, 5, 9, 10, 11}));
  EXPECT_EQ(mesh->SubMesh(0)->BoundsMax.x, 5);
  EXPECT_EQ(mesh->GetBoundsMin().x, 0);

  const std::vector<std::vector<int>> refused = {{0, 0}, {0, 2}, {-1, 1}};
  for (const auto& list : refused) {
    EXPECT_THROW(mesh->ConcatenateSubMeshes(list), EInvalidParameter);
    EXPECT_EQ(mesh->SubMeshCount(), 2);
  }
  mesh->ConcatenateSubMeshes(std::vector<int>{1});
  EXPECT_EQ(mesh->SubMeshCount(), 2);
}

TEST(TGXMeshTest, ConcatenatedMeshesExtendTheCpuCopies) {
  auto mesh = NewMesh(), other = NewMesh();
  SetPositions(*mesh, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  AddSub(*mesh, {0, 1, 2}, 0, 3);
  SetPositions(*other, {{0, 0, 7}, {0, 1, 7}, {1, 1, 7}, {1, 0, 7}});
  TGXSubMesh* o = AddSub(*other, {0, 1, 2, 0, 2, 3}, 0, 6);
  o->BoundsMin = {0, 0, 7};
  o->BoundsMax = {1, 1, 7};
  mesh->ConcatenateMesh(*other);
  EXPECT_EQ(mesh->GetGeometry().VertexCount, 7u);
  ASSERT_EQ(mesh->PositionCount(), 7);
  EXPECT_EQ(mesh->Position(3), TGXVector3(0, 0, 7));
  ASSERT_EQ(mesh->SubMeshCount(), 2);
  EXPECT_EQ(mesh->SubMesh(1)->Indices, (std::vector<uint16_t>{3, 4, 5, 3, 5, 6}));
  EXPECT_EQ(mesh->GetBoundsMax().z, 7);
  // The appended triangles are pickable where they were drawn.
  TGXVector3 n, h;
  ASSERT_TRUE(mesh->RayIntersect({0.8f, 0.5f, -1}, {0, 0, 1}, n, h, false));
  EXPECT_FLOAT_EQ(h.z, 7);

  EXPECT_THROW(mesh->ConcatenateMesh(*mesh), EInvalidParameter);
  auto huge = NewMesh();
  huge->GetGeometry().VertexCount = GXMaxMeshVertices - 6;
  EXPECT_THROW(mesh->ConcatenateMesh(*huge), EInvalidParameter);
  EXPECT_EQ(mesh->GetGeometry().VertexCount, 7u);
  auto otherLayout = NewMesh();
  TGXVertexLayoutDecl layout;
  layout.AddElement(0, GXDeclFloat3, GXUsagePosition, 0);
  TGXMeshData data;
  data.Layout = layout;
  data.Streams.push_back({12, {}});
  otherLayout->SetData(data);
  EXPECT_THROW(mesh->ConcatenateMesh(*otherLayout), EInvalidParameter);
  EXPECT_EQ(mesh->SubMeshCount(), 2);
}

TEST(TGXMeshTest, UsageAndPoolChangeOnlyBeforeLoading) {
  auto mesh = NewMesh();
  EXPECT_EQ(mesh->GetUsage(), 8u);
  EXPECT_EQ(mesh->GetPool(), 1u);
  mesh->SetUsage(0);
  mesh->SetPool(0);
  mesh->Load();
  EXPECT_TRUE(mesh->IsLoaded());
  EXPECT_THROW(mesh->SetUsage(8), EGXAssertion);
  EXPECT_THROW(mesh->SetPool(1), EGXAssertion);
  EXPECT_EQ(mesh->GetUsage(), 0u);
}

TEST(TGXMeshTest, EntitiesFollowTheMeshAndItsMaterials) {
  auto mesh = NewMesh();
  AddSub(*mesh, {}, 0, 0);
  TGXSceneNode node;
  auto entity = TGXEntity::Create(&node, mesh);
  EXPECT_EQ(entity->Node(), &node);
  EXPECT_EQ(entity->SubEntityCount(), 1);
  auto material = MakeRef<TGXMaterial>(nullptr, "Late", true);
  AddSub(*mesh, {}, 0, 0)->Material = material;
  EXPECT_EQ(entity->SubEntity(1)->Material, material);
  EXPECT_EQ(entity->SubEntityCount(), 2);
  mesh->RemoveSubMesh(mesh->SubMesh(0));
  EXPECT_EQ(entity->SubEntity(0)->Material, material);
  EXPECT_EQ(entity->SubEntityCount(), 1);
  EXPECT_THROW(entity->SubEntity(1), EInvalidParameter);
  EXPECT_THROW(TGXEntity(nullptr), EGXAssertion);
}

}  // namespace
}  // namespace gx::test
