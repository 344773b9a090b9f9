#include <random>
#include <gtest/gtest.h>

#include "engine/render/GXScene.h"
#include "tests/engine/render/GXRenderTestSupport.h"

namespace gx {
namespace {

using test::Box;
using test::TTestObject;

TEST(GXSceneTest, RootAndFindNode) {
  TGXScene scene;
  ASSERT_NE(scene.Root(), nullptr);
  EXPECT_EQ(scene.Root()->Name(), "Root");
  EXPECT_EQ(scene.Root()->Scene(), &scene);
  auto* a = new TGXSceneNode("Gleis", scene.Root());
  auto* b = new TGXSceneNode("Signal", a);
  EXPECT_EQ(b->Scene(), &scene);
  EXPECT_EQ(scene.FindNode("Root"), scene.Root());
  EXPECT_EQ(scene.FindNode("Signal"), b);
  EXPECT_EQ(scene.FindNode("signal"), nullptr);  // case-sensitive
  EXPECT_EQ(scene.FindNode("root"), nullptr);
}

// An object hit by every ray at a fixed local point, whatever its bounds say.
class TAlwaysHit : public TGXSceneObject {
 public:
  explicit TAlwaysHit(const TGXVector3& point) : Point(point) {}
  bool RayIntersect(const TGXVector3&, const TGXVector3&, TGXVector3& normal, TGXVector3& hit) override {
    normal = {0, 1, 0};
    hit = Point;
    return true;
  }
  TGXVector3 Point;
};

struct PickFixture : ::testing::Test {
  TGXScene Scene;

  TGXSceneNode* AddNode(const char* name, TGXSceneNode* parent, const TGXVector3& position) {
    auto* node = new TGXSceneNode(name, parent ? parent : Scene.Root());
    node->SetPosition(position);
    return node;
  }
  TTestObject* AddBox(TGXSceneNode* node, float half = 1) {
    auto* object = new TTestObject(Box(-half, -half, -half, half, half, half));
    node->AttachObject(object);
    return object;
  }
  TGXPickResult PickAlongX(float y = 0) { return Scene.Pick({-100, y, 0}, {1, 0, 0}); }
};

TEST_F(PickFixture, NearestVisibleObjectThroughTheTree) {
  TGXSceneNode* group = AddNode("Group", nullptr, {0, 0, 0});
  TTestObject* far = AddBox(AddNode("Far", group, {30, 0, 0}));
  TTestObject* near = AddBox(AddNode("Near", group, {10, 0, 0}));
  TGXPickResult r = PickAlongX();
  EXPECT_EQ(r.Object, near);
  EXPECT_NEAR(r.Hit.x, 9, 1e-5f);
  EXPECT_NEAR(r.Normal.x, -1, 1e-5f);

  // Invisible objects and invisible nodes are skipped; a node that is not render-enabled is not.
  near->SetVisible(false);
  EXPECT_EQ(PickAlongX().Object, far);
  near->SetVisible(true);
  near->Node()->SetVisible(false);
  EXPECT_EQ(PickAlongX().Object, far);
  near->Node()->SetVisible(true);
  near->Node()->SetRenderEnabled(false);
  EXPECT_EQ(PickAlongX().Object, near);
  group->SetVisible(false);
  EXPECT_EQ(PickAlongX().Object, nullptr);
  group->SetVisible(true);

  // A miss leaves the result empty.
  EXPECT_EQ(PickAlongX(50).Object, nullptr);
}

TEST_F(PickFixture, HitsAreCarriedThroughTheNodeTransform) {
  TGXSceneNode* node = AddNode("Scaled", nullptr, {20, 0, 0});
  node->SetScale({2, 2, 2});
  node->SetRotation(GXQuaternionRotationAxis({0, 0, 1}, GX_PI / 2));
  TTestObject* object = AddBox(node);
  TGXPickResult r = Scene.Pick({20, -100, 0}, {0, 3, 0});  // direction need not be unit length
  ASSERT_EQ(r.Object, object);
  EXPECT_NEAR(r.Hit.y, -2, 1e-4f);
  EXPECT_NEAR(r.Hit.x, 20, 1e-4f);
  EXPECT_LT(r.Normal.y, 0);
}

TEST_F(PickFixture, NearerHitWinsWhateverTheOrderInOneNode) {
  TGXSceneNode* node = AddNode("Node", nullptr, {0, 0, 0});
  // Both objects lie along the ray; the second attached is the nearer.
  auto* far = new TTestObject(Box(9, -1, -1, 11, 1, 1));
  auto* near = new TTestObject(Box(4, -1, -1, 6, 1, 1));
  node->AttachObject(far);
  node->AttachObject(near);
  EXPECT_EQ(PickAlongX().Object, near);
  node->DetachObject(far);
  node->AttachObject(new TTestObject(Box(0, -1, -1, 2, 1, 1)));
  EXPECT_NE(PickAlongX().Object, near);
}

TEST_F(PickFixture, OriginInsideANodeBoxTestsAllItsObjects) {
  TGXSceneNode* node = AddNode("Big", nullptr, {0, 0, 0});
  node->AttachObject(new TTestObject(Box(-50, -50, -50, 50, 50, 50)));  // contains the origin
  auto* inner = new TTestObject(Box(10, -1, -1, 12, 1, 1));
  node->AttachObject(inner);
  // The big box itself is entered from inside (no hit); the inner box is hit.
  TGXPickResult r = Scene.Pick({0, 0, 0}, {1, 0, 0});
  EXPECT_EQ(r.Object, inner);
  EXPECT_NEAR(r.Hit.x, 10, 1e-5f);
}

TEST_F(PickFixture, EmptyNodeBoundsAndFartherSubtreesArePruned) {
  // An object with an empty box: the node's world box is empty, so the object is never asked.
  TGXSceneNode* empty = AddNode("Empty", nullptr, {0, 0, 0});
  auto* ghost = new TAlwaysHit({0, 0, 0});
  empty->AttachObject(ghost);
  EXPECT_EQ(PickAlongX().Object, nullptr);

  // A subtree whose box begins beyond the best hit is skipped even if an object in it claims a
  // nearer point; one whose box begins nearer is searched.
  TTestObject* wall = AddBox(AddNode("Wall", nullptr, {10, 0, 0}));
  TGXSceneNode* beyond = AddNode("Beyond", nullptr, {40, 0, 0});
  auto* liar = new TAlwaysHit({-45, 0, 0});  // claims a hit at world x = -5
  liar->SetLocalBounds(Box(-1, -1, -1, 1, 1, 1));
  beyond->AttachObject(liar);
  EXPECT_EQ(PickAlongX().Object, wall);
  beyond->SetPosition({5, 0, 0});
  EXPECT_EQ(PickAlongX().Object, liar);
}

}  // namespace
}  // namespace gx

namespace gx {
namespace {

// The pick walk passes a node's children through their packed world boxes first. Against the
// nearest hit found by asking every object directly, over many random rays through a flat crowd
// of turned and scaled nodes, some invisible, the results must be the same - also right after
// nodes moved, when the packed boxes must follow.
TEST_F(PickFixture, PackedChildBoxesGiveTheSameHitsAsAskingEveryObject) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> pos(-40, 40), unit(-1, 1), size(0.2f, 3);
  std::vector<std::pair<TGXSceneNode*, TTestObject*>> all;
  for (int i = 0; i < 400; ++i) {
    TGXSceneNode* node = AddNode("N", nullptr, {pos(rng), pos(rng) * 0.2f, pos(rng)});
    node->SetRotation(GXQuaternionRotationAxis({unit(rng), unit(rng), unit(rng)}, unit(rng) * 3));
    node->SetScale({size(rng), size(rng), size(rng)});
    if (i % 17 == 0) node->SetVisible(false);
    all.emplace_back(node, AddBox(node, size(rng)));
  }
  auto bruteForce = [&](const TGXVector3& o, const TGXVector3& d) {
    TGXSceneObject* best = nullptr;
    float bestDistance = 0;
    for (auto& [node, object] : all) {
      if (!node->Visible()) continue;
      TGXVector3 normal, hit;
      TGXVector3 lo = GXVec3TransformCoord(o, node->InverseWorldMatrix());
      TGXVector3 ld = GXVec3TransformNormal(d, node->InverseWorldMatrix());
      if (!object->RayIntersect(lo, ld, normal, hit)) continue;
      float distance = DistanceSquared(GXVec3TransformCoord(hit, node->WorldMatrix()), o);
      if (!best || distance < bestDistance) best = object, bestDistance = distance;
    }
    return best;
  };
  for (int round = 0; round < 2; ++round) {
    int hits = 0;
    for (int i = 0; i < 300; ++i) {
      TGXVector3 o{pos(rng) * 2, pos(rng), pos(rng) * 2};
      TGXVector3 d = GXVec3Normalize(TGXVector3{pos(rng), pos(rng) * 0.2f, pos(rng)} - o);
      TGXPickResult r = Scene.Pick(o, d);
      EXPECT_EQ(r.Object, bruteForce(o, d)) << "round " << round << " ray " << i;
      hits += r.Object != nullptr;
    }
    EXPECT_GT(hits, 50);  // the rays must actually meet the crowd for the comparison to mean much
    for (auto& [node, object] : all) node->Translate({unit(rng) * 5, 0, unit(rng) * 5}, TGXTransformSpace::Parent);
  }
}

TEST_F(PickFixture, PickWithinOneSubtreeIgnoresNearerObjectsElsewhere) {
  TGXSceneNode* panel = AddNode("Panel", nullptr, {0, 0, 0});
  TTestObject* inside = AddBox(AddNode("Far", panel, {30, 0, 0}));
  TTestObject* outside = AddBox(AddNode("Near", nullptr, {10, 0, 0}));
  EXPECT_EQ(PickAlongX().Object, outside);
  TGXPickResult r = Scene.Pick(panel, {-100, 0, 0}, {1, 0, 0});
  EXPECT_EQ(r.Object, inside);
  EXPECT_NEAR(r.Hit.x, 29, 1e-5f);
  // A move not yet brought up to date counts: the pick updates the tree first.
  panel->SetPosition({0, 50, 0});
  EXPECT_EQ(Scene.Pick(panel, {-100, 0, 0}, {1, 0, 0}).Object, nullptr);
  EXPECT_EQ(Scene.Pick(panel, {-100, 50, 0}, {1, 0, 0}).Object, inside);
  EXPECT_EQ(Scene.Pick(nullptr, {-100, 0, 0}, {1, 0, 0}).Object, nullptr);
  // An invisible subtree root hits nothing.
  panel->SetVisible(false);
  EXPECT_EQ(Scene.Pick(panel, {-100, 50, 0}, {1, 0, 0}).Object, nullptr);
}

TEST_F(PickFixture, AFilterLeavesOutWholeSubtreesAndTheNearestOfTheRestWins) {
  TGXSceneNode* moving = AddNode("Moving", nullptr, {0, 0, 0});
  TTestObject* carried = AddBox(AddNode("Carried", moving, {10, 0, 0}));
  TTestObject* middle = AddBox(AddNode("Middle", nullptr, {20, 0, 0}));
  TTestObject* far = AddBox(AddNode("Far", nullptr, {30, 0, 0}));
  auto without = [&](std::initializer_list<const char*> names) {
    return Scene.Pick(Scene.Root(), {-100, 0, 0}, {1, 0, 0}, [names](const TGXSceneNode& n) {
      for (const char* name : names)
        if (n.Name() == name) return false;
      return true;
    });
  };
  EXPECT_EQ(without({}).Object, carried);
  EXPECT_EQ(without({"Moving"}).Object, middle);  // the child goes with its parent
  EXPECT_EQ(without({"Moving", "Middle"}).Object, far);
  EXPECT_NEAR(without({"Moving", "Middle"}).Hit.x, 29, 1e-5f);
  EXPECT_EQ(without({"Root"}).Object, nullptr);
  EXPECT_EQ(Scene.Pick(Scene.Root(), {-100, 0, 0}, {1, 0, 0}, TGXPickFilter()).Object, carried);
}

}  // namespace
}  // namespace gx
