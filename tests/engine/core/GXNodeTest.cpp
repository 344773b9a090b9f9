#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/core/GXException.h"
#include "engine/core/GXNode.h"

using namespace gx;

namespace {

constexpr float kEps = 1e-4f;

#define EXPECT_VEC_NEAR(a, b)              \
  do {                                     \
    const TGXVector3 va_ = (a), vb_ = (b); \
    EXPECT_NEAR(va_.x, vb_.x, kEps) << #a; \
    EXPECT_NEAR(va_.y, vb_.y, kEps) << #a; \
    EXPECT_NEAR(va_.z, vb_.z, kEps) << #a; \
  } while (0)

void ExpectMatrixNear(const TGXMatrix& a, const TGXMatrix& b, float eps = 1e-4f) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(a.m[r][c], b.m[r][c], eps) << r << "," << c;
}

TGXQuaternion AboutY(float degrees) { return GXQuaternionRotationAxis({0, 1, 0}, GXToRadian(degrees)); }

std::vector<std::string> Names(const TGXNode& n) {
  std::vector<std::string> r;
  for (TGXNode* c : n.Children()) r.push_back(c->Name());
  return r;
}

// Counts the nodes whose matrices an Update recomputed (Update returning true on a dirty node).
struct TCountingNode : TGXNode {
  using TGXNode::TGXNode;
  static inline int Visits = 0;
  bool Update(bool force = false) override {
    ++Visits;
    return TGXNode::Update(force);
  }
};

}  // namespace

TEST(GXNodeTree, ChildrenOrderRemovalAndOwnership) {
  auto root = std::make_unique<TGXNode>("root");
  EXPECT_EQ(root->ChildCount(), 0);
  auto* a = new TGXNode("a", root.get());
  auto* b = root->AddChild(std::make_unique<TGXNode>("b"));
  new TGXNode("c", root.get());
  EXPECT_EQ(root->Child(1), b);
  EXPECT_THROW(root->Child(3), EGXListError);

  // Fast removal: the last child takes the hole.
  EXPECT_TRUE(root->RemoveChild(a));
  EXPECT_EQ(Names(*root), (std::vector<std::string>{"c", "b"}));
  EXPECT_EQ(a->Parent(), nullptr);
  EXPECT_FALSE(root->RemoveChild(a));
  std::unique_ptr<TGXNode> owned(a);  // a removed child belongs to the caller

  // Adding a child of another parent moves it; a node cannot become its own descendant.
  auto* other = new TGXNode("other", a);
  root->AddChild(other);
  EXPECT_EQ(a->ChildCount(), 0);
  EXPECT_EQ(other->Parent(), root.get());
  EXPECT_THROW(other->AddChild(root.get()), EInvalidParameter);
  EXPECT_THROW(b->AddChild(b), EInvalidParameter);
  EXPECT_THROW(b->AddChild(nullptr), EInvalidParameter);
  EXPECT_EQ(root->ChildCount(), 3);

  root->DeleteChildren();
  EXPECT_EQ(root->ChildCount(), 0);
}

TEST(GXNodeTree, FindChildIsDepthFirstPreOrder) {
  TGXNode root("root");
  auto* first = new TGXNode("first", &root);
  new TGXNode("Rad1", first);
  auto* umlaut = new TGXNode("Gehäuse", first);
  new TGXNode("rad1", &root);  // a later sibling of the grandchild's parent
  EXPECT_EQ(root.FindChild("Rad1")->Parent(), first);
  EXPECT_EQ(root.FindChild("rad1")->Parent(), &root);
  EXPECT_EQ(root.FindChild("RAD1", false)->Parent(), first);
  EXPECT_EQ(root.FindChild("RAD1"), nullptr);
  EXPECT_EQ(root.FindChild("GEHÄUSE", false), umlaut);
  EXPECT_EQ(root.FindChild("GEHÄUSE"), nullptr);
  EXPECT_EQ(root.FindChild("GEHAUSE", false), nullptr);
  EXPECT_EQ(root.FindChild("root"), nullptr);  // the node itself is not compared
}

TEST(GXNodeInvalidation, FlagsAndShortcuts) {
  TGXNode root("root");
  auto* child = new TGXNode("child", &root);
  auto* grand = new TGXNode("grand", child);
  EXPECT_TRUE(root.Update());
  EXPECT_FALSE(root.Update());
  EXPECT_FALSE(root.Dirty() || child->Dirty() || grand->Dirty() || root.ChildDirty() ||
               grand->ParentNotified());

  grand->SetPosition({0, 0, 0});  // unchanged: nothing happens
  EXPECT_FALSE(grand->Dirty());
  grand->ResetRotation();  // always invalidates
  EXPECT_TRUE(grand->Dirty());
  EXPECT_TRUE(grand->ParentNotified());
  EXPECT_TRUE(child->ChildDirty() && child->ParentNotified());
  EXPECT_TRUE(root.ChildDirty());
  EXPECT_FALSE(root.Dirty());
  root.Update();
  EXPECT_FALSE(grand->Dirty() || grand->ParentNotified() || child->ChildDirty() || root.ChildDirty());
}

TEST(GXNodeInvalidation, UpdateWalksOnlyDirtyPaths) {
  TCountingNode root("root");
  std::vector<TGXNode*> leaves;
  for (int i = 0; i < 10; ++i) {
    auto* branch = new TCountingNode("b", &root);
    for (int j = 0; j < 10; ++j) leaves.push_back(new TCountingNode("l", branch));
  }
  root.Update();
  TCountingNode::Visits = 0;
  leaves[55]->SetPosition({1, 0, 0});
  EXPECT_TRUE(root.Update());
  // The root, its 10 branches (9 of them return at once) and the 10 leaves of the dirty branch.
  EXPECT_EQ(TCountingNode::Visits, 21);
  EXPECT_VEC_NEAR(leaves[55]->WorldPosition(), TGXVector3(1, 0, 0));
}

TEST(GXNodeInvalidation, AddedAndRemovedNodesArePlacedByTheNextUpdate) {
  TGXNode root("root");
  root.SetPosition({10, 0, 0});
  root.Update();
  auto* child = new TGXNode("child");
  child->SetPosition({1, 2, 3});
  child->Update();
  root.AddChild(child);
  root.Update(false);
  EXPECT_VEC_NEAR(child->WorldPosition(), TGXVector3(11, 2, 3));

  // A removed child is a root again: its world values drop the old parent at its next update.
  root.RemoveChild(child);
  std::unique_ptr<TGXNode> owned(child);
  EXPECT_TRUE(child->Update(false));
  EXPECT_VEC_NEAR(child->WorldPosition(), TGXVector3(1, 2, 3));
}

TEST(GXNodeTransform, MatricesAndInversesAgreeWithTheGeneralFormulas) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> u(-2, 2);
  TGXNode root("root");
  TGXNode* n = &root;
  for (int depth = 0; depth < 5; ++depth) {
    n = new TGXNode("n", n);
    n->SetPosition({u(rng), u(rng), u(rng)});
    n->SetRotation(GXQuaternionRotationAxis({u(rng), u(rng), u(rng)}, u(rng)));
    n->SetScale({0.5f + std::fabs(u(rng)), 0.5f + std::fabs(u(rng)), 0.5f + std::fabs(u(rng))});
  }
  root.SetScale({2, 2, 2});
  root.Update();
  for (TGXNode* m = n; m; m = m->Parent()) {
    ExpectMatrixNear(m->LocalMatrix(), GXMatrixTransformation(m->Scale(), m->Rotation(), m->Position()));
    const TGXMatrix parentWorld = m->Parent() ? m->Parent()->WorldMatrix() : TGXMatrix();
    ExpectMatrixNear(m->WorldMatrix(), m->LocalMatrix() * parentWorld);
    TGXMatrix inverse;
    ASSERT_TRUE(GXMatrixInverse(inverse, nullptr, m->LocalMatrix()));
    ExpectMatrixNear(m->InverseLocalMatrix(), inverse);
    ASSERT_TRUE(GXMatrixInverse(inverse, nullptr, m->WorldMatrix()));
    ExpectMatrixNear(m->InverseWorldMatrix(), inverse, 1e-3f);
    EXPECT_VEC_NEAR(m->WorldPosition(), GXVec3TransformCoord({0, 0, 0}, m->WorldMatrix()));
  }
  EXPECT_VEC_NEAR(n->TransformPoint({1, 0, 0}, TGXTransformSpace::World),
                  GXVec3TransformCoord({1, 0, 0}, n->WorldMatrix()));
  EXPECT_VEC_NEAR(n->TransformNormal({1, 0, 0}, TGXTransformSpace::Parent),
                  GXVec3TransformNormal({1, 0, 0}, n->LocalMatrix()));
  EXPECT_VEC_NEAR(n->TransformPoint({1, 2, 3}, static_cast<TGXTransformSpace>(7)), TGXVector3(1, 2, 3));
}

// The inverses belong to the matrices of the last update, however the transforms changed since
// and whether or not they were asked for before the change; the next update renews them.
TEST(GXNodeTransform, InversesFollowTheLastUpdateNotTheLatestSetter) {
  for (const bool askedBefore : {false, true}) {
    SCOPED_TRACE(askedBefore ? "asked before the change" : "first asked after the change");
    TGXNode root("root");
    auto* parent = new TGXNode("parent", &root);
    auto* child = new TGXNode("child", parent);
    parent->SetPosition({4, 0, 1});
    child->SetPosition({1, 2, 3});
    child->SetRotation(AboutY(30));
    child->SetScale({2, 1, 0.5f});
    root.Update();
    if (askedBefore) (void)child->InverseWorldMatrix();
    const TGXMatrix local = child->LocalMatrix(), world = child->WorldMatrix();
    child->SetPosition({-7, 1, 0});
    child->SetRotation(AboutY(-80));
    child->SetScale({1, 3, 1});
    parent->SetRotation(AboutY(45));
    TGXMatrix inverse;
    ASSERT_TRUE(GXMatrixInverse(inverse, nullptr, local));
    ExpectMatrixNear(child->InverseLocalMatrix(), inverse);
    ASSERT_TRUE(GXMatrixInverse(inverse, nullptr, world));
    ExpectMatrixNear(child->InverseWorldMatrix(), inverse);
    root.Update();
    ASSERT_TRUE(GXMatrixInverse(inverse, nullptr, child->WorldMatrix()));
    ExpectMatrixNear(child->InverseWorldMatrix(), inverse);
    ExpectMatrixNear(child->WorldMatrix() * child->InverseWorldMatrix(), TGXMatrix());
  }
}

TEST(GXNodeTransform, DegenerateValuesGiveFiniteInverses) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  TGXNode root("root");
  auto* flat = new TGXNode("flat", &root);
  flat->SetScale({2, 0, 1});
  flat->SetPosition({1, 5, 0});
  auto* under = new TGXNode("under", flat);
  root.Update();
  EXPECT_TRUE(GXIsFinite(flat->InverseLocalMatrix()));
  EXPECT_TRUE(GXIsFinite(under->InverseWorldMatrix()));
  EXPECT_VEC_NEAR(GXVec3TransformCoord({3, 7, 2}, flat->InverseLocalMatrix()), TGXVector3(1, 0, 2));

  for (TGXVector3 bad : {TGXVector3(nan, 0, 0), TGXVector3(inf, 1, 1)}) {
    flat->SetPosition(bad);
    flat->SetScale(bad);
    flat->SetRotation({nan, 0, 0, 1});
    root.Update();
    EXPECT_TRUE(GXIsFinite(flat->InverseLocalMatrix()));
    EXPECT_TRUE(GXIsFinite(under->InverseWorldMatrix()));
  }
  flat->SetRotation({0, 0, 0, 2});  // not a unit quaternion: the general inverse
  flat->SetPosition({1, 2, 3});
  flat->SetScale({1, 1, 1});
  root.Update();
  TGXMatrix inverse;
  ASSERT_TRUE(GXMatrixInverse(inverse, nullptr, flat->LocalMatrix()));
  ExpectMatrixNear(flat->InverseLocalMatrix(), inverse);
}

// A child carried along by its parent keeps the local matrices it had; its world values equal
// those of a twin whose own transform was set again before each update (and so recomputed).
TEST(GXNodeTransform, ACarriedChildKeepsItsLocalMatricesAndEqualsAChildMadeAnew) {
  TGXNode root("root");
  auto* parent = new TGXNode("parent", &root);
  TGXNode* children[2] = {new TGXNode("carried", parent), new TGXNode("renewed", parent)};
  for (TGXNode* c : children) {
    c->SetPosition({1, 2, 3});
    c->SetRotation(GXQuaternionRotationAxis({0.3f, 1, 0.2f}, 0.7f));
    c->SetScale({1, 0.5f, 2});
  }
  root.Update();
  const TGXMatrix local = children[0]->LocalMatrix(), inverse = children[0]->InverseLocalMatrix();
  const struct {
    const char* What;
    void (*Change)(TGXNode&);
  } changes[] = {
      {"moved",
       [](TGXNode& n) {
         n.SetPosition({-4, 1, 9});
       }},
      {"turned",
       [](TGXNode& n) {
         n.SetRotation(GXQuaternionRotationAxis({1, 0, 0}, 2.1f));
       }},
      {"scaled",
       [](TGXNode& n) {
         n.SetScale({3, 3, 0.5f});
       }},
      {"not a unit rotation",
       [](TGXNode& n) {
         n.SetRotation({0, 0, 0, 2});
       }},
  };
  for (const auto& c : changes) {
    SCOPED_TRACE(c.What);
    c.Change(*parent);
    children[1]->ResetScale();
    children[1]->SetScale({1, 0.5f, 2});
    const uint64_t before = children[0]->MatrixRevision();
    root.Update();
    EXPECT_NE(children[0]->MatrixRevision(), before);
    EXPECT_EQ(0, std::memcmp(&children[0]->LocalMatrix(), &local, sizeof local));
    EXPECT_EQ(0, std::memcmp(&children[0]->InverseLocalMatrix(), &inverse, sizeof inverse));
    EXPECT_EQ(0, std::memcmp(&children[0]->WorldMatrix(), &children[1]->WorldMatrix(), sizeof(TGXMatrix)));
    EXPECT_EQ(0, std::memcmp(&children[0]->InverseWorldMatrix(), &children[1]->InverseWorldMatrix(),
                             sizeof(TGXMatrix)));
    EXPECT_EQ(children[0]->WorldPosition(), children[1]->WorldPosition());
  }
}

TEST(GXNodeTransform, WorldSettersUnderATransformedParent) {
  TGXNode root("root");
  root.SetPosition({5, 0, 0});
  root.SetRotation(AboutY(90));
  root.SetScale({2, 2, 2});
  auto* child = new TGXNode("child", &root);
  root.Update();

  child->SetWorldPosition({5, 0, -4});
  EXPECT_VEC_NEAR(child->WorldPosition(), TGXVector3(5, 0, -4));  // stored at once
  child->SetWorldRotation(AboutY(30));
  child->SetWorldScale({4, 0, 1});
  root.Update();
  EXPECT_VEC_NEAR(child->Position(), TGXVector3(2, 0, 0));
  EXPECT_VEC_NEAR(child->WorldPosition(), TGXVector3(5, 0, -4));
  EXPECT_NEAR(std::fabs(GXQuaternionDot(child->WorldRotation(), AboutY(30))), 1.0f, kEps);
  EXPECT_VEC_NEAR(child->Scale(), TGXVector3(2, 0, 0.5f));

  root.SetScale({2, 0, 2});
  root.Update();
  child->SetWorldScale({4, 3, 1});  // the parent's zero component leaves that one undivided
  EXPECT_VEC_NEAR(child->Scale(), TGXVector3(2, 3, 0.5f));
}

TEST(GXNodeTransform, TranslateInEachSpace) {
  TGXNode node("node");
  node.SetRotation(AboutY(90));
  node.Translate({1, 0, 0}, TGXTransformSpace::Local);
  EXPECT_VEC_NEAR(node.Position(), TGXVector3(0, 0, -1));
  node.Translate(1, 0, 0, TGXTransformSpace::Parent);
  node.Translate(0, 1, 0, TGXTransformSpace::World);  // without a parent: as Parent
  EXPECT_VEC_NEAR(node.Position(), TGXVector3(1, 1, -1));
  node.Update();
  node.Translate({5, 5, 5}, static_cast<TGXTransformSpace>(9));
  EXPECT_TRUE(node.Dirty());
  EXPECT_VEC_NEAR(node.Position(), TGXVector3(1, 1, -1));

  // World translation moves by V in world units under a scaled parent, a scaled grandparent
  // and a turned, scaled chain.
  TGXNode grand("grand");
  auto* parent = new TGXNode("parent", &grand);
  auto* child = new TGXNode("child", parent);
  for (int setup = 0; setup < 3; ++setup) {
    grand.SetScale(setup == 0 ? TGXVector3(1, 1, 1) : TGXVector3(2, 2, 2));
    parent->SetScale(setup == 1 ? TGXVector3(1, 1, 1) : TGXVector3(2, 2, 2));
    grand.SetRotation(setup == 2 ? AboutY(90) : TGXQuaternion());
    parent->SetRotation(setup == 2 ? AboutY(45) : TGXQuaternion());
    grand.Update();
    const TGXVector3 before = child->WorldPosition();
    child->Translate({1, 2, 3}, TGXTransformSpace::World);
    grand.Update();
    EXPECT_VEC_NEAR(child->WorldPosition() - before, TGXVector3(1, 2, 3));
  }
}

TEST(GXNodeTransform, RotateAroundAndRotateInEachSpace) {
  TGXNode parent("parent");
  parent.SetPosition({10, 0, 0});
  parent.SetRotation(AboutY(90));
  auto* node = new TGXNode("node", &parent);
  node->SetPosition({1, 0, 0});
  parent.Update();
  const TGXVector3 world = node->WorldPosition();  // (10, 0, -1)

  // World: a quarter turn about a world pivot moves the world position on the circle.
  const TGXVector3 pivot{10, 0, 0};
  node->RotateAround(AboutY(90), pivot, TGXTransformSpace::World);
  parent.Update();
  EXPECT_VEC_NEAR(node->WorldPosition(),
                  pivot + GXVec3TransformNormal(world - pivot, GXMatrixRotationY(GXToRadian(90))));
  EXPECT_NEAR(std::fabs(GXQuaternionDot(node->WorldRotation(), AboutY(180))), 1.0f, kEps);

  // Parent: about a pivot in the parent's space.
  node->SetPosition({1, 0, 0});
  node->ResetRotation();
  node->RotateAround(AboutY(180), {0, 0, 0}, TGXTransformSpace::Parent);
  EXPECT_VEC_NEAR(node->Position(), TGXVector3(-1, 0, 0));

  // Local: the pivot turns with the node's own rotation; Rotate keeps the position.
  node->SetPosition({0, 0, 0});
  node->SetRotation(AboutY(90));
  node->RotateAround(AboutY(180), {0, 0, 1}, TGXTransformSpace::Local);
  EXPECT_VEC_NEAR(node->Position(), TGXVector3(2, 0, 0));
  node->Rotate(AboutY(90), TGXTransformSpace::Local);
  EXPECT_VEC_NEAR(node->Position(), TGXVector3(2, 0, 0));
  EXPECT_NEAR(std::fabs(GXQuaternionDot(node->Rotation(), AboutY(360))), 1.0f, kEps);
}

TEST(GXNodeTransform, SetTransformWithPivot) {
  TGXNode node("node");
  node.SetTransform(TGXVector3(1, 0, 0), AboutY(180), TGXVector3(2, 2, 2), TGXVector3(0, 0, 1));
  EXPECT_VEC_NEAR(node.Position(), TGXVector3(1, 0, 2));
  EXPECT_VEC_NEAR(node.Scale(), TGXVector3(2, 2, 2));
  node.Update();
  node.SetTransform();
  EXPECT_TRUE(node.Dirty());
}

TEST(GXNodeTransform, LookAtAndItsDegenerateCases) {
  TGXNode parent("parent");
  parent.SetRotation(AboutY(40));
  auto* eye = new TGXNode("eye", &parent);
  eye->SetPosition({1, 2, 3});
  parent.Update();
  const TGXVector3 target{-4, 0, 7};
  eye->LookAt(target, {0, 1, 0});
  parent.Update();
  const TGXVector3 dir = GXVec3Normalize(target - eye->WorldPosition());
  EXPECT_VEC_NEAR(GXVec3Normalize(eye->TransformNormal({0, 0, 1}, TGXTransformSpace::World)), dir);
  EXPECT_NEAR(GXVec3Dot(eye->TransformNormal({1, 0, 0}, TGXTransformSpace::World), {0, 1, 0}), 0, kEps);

  const TGXQuaternion kept = eye->Rotation();
  eye->LookAt(eye->WorldPosition() + TGXVector3(0, 5, 0), {0, 1, 0});  // up along the view
  eye->LookAt(eye->WorldPosition(), {0, 1, 0});                        // target at the eye
  eye->LookAt({std::numeric_limits<float>::quiet_NaN(), 0, 0}, {0, 1, 0});
  EXPECT_EQ(eye->Rotation(), kept);
}

TEST(GXNodeDestruction, ListenersAndOrder) {
  std::vector<std::string> log;
  struct TWatcher {
    std::vector<std::string>* Log;
    void OnDestroy(TGXNode* sender) {
      Log->push_back(sender->Name() + (sender->Parent() ? " in " + sender->Parent()->Name() : "") + " with " +
                     std::to_string(sender->ChildCount()));
    }
  } watcher{&log};

  auto root = std::make_unique<TGXNode>("root");
  auto* a = new TGXNode("a", root.get());
  auto* b = new TGXNode("b", a);
  new TGXNode("c", a);
  for (TGXNode* n : {root.get(), a, b}) n->AddDestroyListener({&watcher, &TWatcher::OnDestroy});
  a->AddDestroyListener({&watcher, &TWatcher::OnDestroy});  // duplicates are ignored
  b->RemoveDestroyListener(TGXMethodKey::Of(&watcher, &TWatcher::OnDestroy));
  TGXWeakRef<TGXNode> weakB(b);

  delete a;  // listeners first (still in the tree), then it leaves root, then its children go
  EXPECT_EQ(root->ChildCount(), 0);
  EXPECT_EQ(weakB.Get(), nullptr);
  root.reset();
  EXPECT_EQ(log, (std::vector<std::string>{"a in root with 2", "root with 0"}));
}
