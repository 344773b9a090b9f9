#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/core/GXException.h"
#include "engine/core/GXSceneNode.h"

using namespace gx;

namespace {

struct TBox : TGXSceneObject {
  explicit TBox(TGXVector3 min, TGXVector3 max, int* alive = nullptr) : Alive(alive) {
    SetLocalBounds(BoxFromMinMax(min, max));
    if (Alive) ++*Alive;
  }
  ~TBox() override {
    if (Alive) --*Alive;
  }
  int* Alive;
};

TGXScene* FakeScene(int i) { return reinterpret_cast<TGXScene*>(static_cast<intptr_t>(0x1000 * i)); }

void ExpectBox(const TGXBoundingBox& box, TGXVector3 min, TGXVector3 max) {
  ASSERT_FALSE(box.Empty);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(box.Min()[i], min[i], 1e-4f) << i;
    EXPECT_NEAR(box.Max()[i], max[i], 1e-4f) << i;
  }
}

}  // namespace

TEST(GXSceneNode, SceneFollowsWholeSubtrees) {
  TGXSceneNode root("Root");
  root.SetScene(FakeScene(1));
  auto* branch = new TGXSceneNode("branch");
  auto* leaf = new TGXSceneNode("leaf", branch);
  root.AddChild(branch);
  EXPECT_EQ(branch->Scene(), FakeScene(1));
  EXPECT_EQ(leaf->Scene(), FakeScene(1));
  EXPECT_EQ((new TGXSceneNode("late", leaf))->Scene(), FakeScene(1));
  EXPECT_THROW(leaf->SetScene(FakeScene(2)), EInvalidCall);

  TGXSceneNode other("Other");
  other.SetScene(FakeScene(2));
  other.AddChild(branch);  // moves: leaves the first scene, joins the second
  EXPECT_EQ(leaf->Scene(), FakeScene(2));
  other.RemoveChild(branch);
  std::unique_ptr<TGXNode> owned(branch);
  EXPECT_EQ(leaf->Scene(), nullptr);

  std::unique_ptr<TGXNode> plain(new TGXNode("plain"));
  EXPECT_THROW(root.AddChild(plain.get()), EInvalidParameter);  // rejected before taking it
  EXPECT_EQ(root.ChildCount(), 0);
  // A plain node may hold scene nodes; those have no scene of their own to inherit.
  auto* sceneUnderPlain = new TGXSceneNode("s", plain.get());
  EXPECT_EQ(sceneUnderPlain->Scene(), nullptr);
}

TEST(GXSceneNode, BoundsFollowObjectsChildrenAndVisibility) {
  TGXSceneNode root("Root");
  auto* child = new TGXSceneNode("child", &root);
  child->SetPosition({10, 0, 0});
  child->SetScale({2, 2, 2});
  TGXRef<TBox> box = MakeRef<TBox>(TGXVector3(-1, -1, -1), TGXVector3(1, 1, 1));
  TGXRef<TBox> hidden = MakeRef<TBox>(TGXVector3(-50, 0, 0), TGXVector3(0, 0, 0));
  child->AttachObject(box.Get());
  child->AttachObject(hidden.Get());
  hidden->SetVisible(false);
  root.SetPosition({0, 5, 0});
  root.Update();
  ExpectBox(child->LocalBounds(), {-1, -1, -1}, {1, 1, 1});
  ExpectBox(root.LocalBounds(), {8, -2, -2}, {12, 2, 2});
  ExpectBox(root.WorldBounds(), {8, 3, -2}, {12, 7, 2});
  ExpectBox(box->WorldBounds(), {8, 3, -2}, {12, 7, 2});
  ExpectBox(hidden->WorldBounds(), {-90, 5, 0}, {10, 5, 0});  // computed although invisible

  // A changed box reaches the ancestors on the next update; so does a detached object.
  box->SetLocalBounds(BoxFromMinMax({0, 0, 0}, {1, 1, 1}));
  EXPECT_TRUE(child->Dirty());
  root.Update();
  ExpectBox(root.LocalBounds(), {10, 0, 0}, {12, 2, 2});
  hidden->SetVisible(true);
  root.Update();
  ExpectBox(root.LocalBounds(), {-90, 0, 0}, {12, 2, 2});
  child->DetachObject(hidden.Get());
  EXPECT_EQ(hidden->Node(), nullptr);
  root.Update();
  ExpectBox(root.LocalBounds(), {10, 0, 0}, {12, 2, 2});
  root.AttachObject(hidden.Get());  // attaching to an updated node counts at the next update
  root.Update();
  ExpectBox(root.LocalBounds(), {-50, 0, 0}, {12, 2, 2});
  root.DetachObject(hidden.Get());

  // RenderEnabled does not matter for bounds; an invisible child leaves them.
  child->SetRenderEnabled(false);
  EXPECT_FALSE(child->Dirty());
  child->SetVisible(false);
  root.Update();
  EXPECT_TRUE(root.LocalBounds().Empty);
  EXPECT_TRUE(root.WorldBounds().Empty);
  EXPECT_FALSE(child->LocalBounds().Empty);
}

TEST(GXSceneNode, ObjectReferencesAndLifetime) {
  int alive = 0;
  auto node = std::make_unique<TGXSceneNode>("node");
  TGXSceneNode other("other");
  auto* owned = new TBox({0, 0, 0}, {1, 1, 1}, &alive);  // the node's reference is the only one
  TGXRef<TBox> held = MakeRef<TBox>(TGXVector3(0, 0, 0), TGXVector3(1, 1, 1), &alive);
  node->AttachObject(owned);
  node->AttachObject(held.Get());
  EXPECT_EQ(held->RefCount(), 2);
  EXPECT_THROW(node->AttachObject(nullptr), EInvalidParameter);

  // Attaching elsewhere moves the object without freeing it on the way.
  other.AttachObject(owned);
  EXPECT_EQ(owned->Node(), &other);
  EXPECT_EQ(node->ObjectCount(), 1);
  EXPECT_EQ(alive, 2);
  EXPECT_FALSE(node->DetachObject(owned));

  // An object whose last reference goes while attached leaves its node.
  owned->Release();
  EXPECT_EQ(other.ObjectCount(), 0);
  EXPECT_EQ(alive, 1);

  // The node drops its references when it dies; a held object survives, detached.
  node.reset();
  EXPECT_EQ(alive, 1);
  EXPECT_EQ(held->Node(), nullptr);
  EXPECT_EQ(held->RefCount(), 1);
}

TEST(GXSceneNode, DestructionOrder) {
  std::vector<std::string> log;
  struct TWatcher {
    std::vector<std::string>* Log;
    void OnDestroy(TGXNode* sender) {
      auto* scene = static_cast<TGXSceneNode*>(sender);
      Log->push_back(sender->Name() + " objects " + std::to_string(scene->ObjectCount()) + " parent " +
                     (sender->Parent() ? sender->Parent()->Name() : "-"));
    }
  } watcher{&log};

  TGXSceneNode root("Root");
  root.SetScene(FakeScene(1));
  auto* a = new TGXSceneNode("a", &root);
  auto* b = new TGXSceneNode("b", a);
  TGXRef<TBox> box = MakeRef<TBox>(TGXVector3(0, 0, 0), TGXVector3(1, 1, 1));
  a->AttachObject(box.Get());
  a->AddDestroyListener({&watcher, &TWatcher::OnDestroy});
  b->AddDestroyListener({&watcher, &TWatcher::OnDestroy});
  root.Update();
  delete a;
  EXPECT_EQ(log, (std::vector<std::string>{"a objects 1 parent Root", "b objects 0 parent -"}));
  EXPECT_EQ(box->Node(), nullptr);
  EXPECT_EQ(root.ChildCount(), 0);
  EXPECT_TRUE(root.Update());
  EXPECT_TRUE(root.LocalBounds().Empty);
}

TEST(GXSceneNode, BaseRayTestUsesTheLocalBoxOfVisibleObjects) {
  TGXRef<TBox> box = MakeRef<TBox>(TGXVector3(-1, -1, -1), TGXVector3(1, 1, 1));
  TGXVector3 normal, hit;
  ASSERT_TRUE(box->RayIntersect({0, 0, -5}, {0, 0, 1}, normal, hit));
  EXPECT_NEAR(hit.z, -1, 1e-5f);
  EXPECT_NEAR(normal.z, -1, 1e-5f);
  EXPECT_FALSE(box->RayIntersect({0, 0, -5}, {0, 0, -1}, normal, hit));
  box->SetVisible(false);
  EXPECT_FALSE(box->RayIntersect({0, 0, -5}, {0, 0, 1}, normal, hit));
}

TEST(GXSceneNode, BoundsMatchTheGeneralBoxFunctions) {
  TGXSceneNode root("Root");
  root.SetRotation(GXQuaternionRotationAxis({1, 2, 3}, 0.7f));
  root.SetPosition({3, -2, 1});
  auto* child = new TGXSceneNode("child", &root);
  child->SetRotation(GXQuaternionRotationAxis({0, 1, 1}, -1.1f));
  child->SetScale({1, 2, 0.5f});
  child->SetPosition({4, 0, 0});
  TGXRef<TBox> a = MakeRef<TBox>(TGXVector3(-1, -2, -3), TGXVector3(2, 1, 0.5f));
  TGXRef<TBox> b = MakeRef<TBox>(TGXVector3(0, 0, 0), TGXVector3(1, 1, 1));
  child->AttachObject(a.Get());
  root.AttachObject(b.Get());
  root.Update();

  TGXBoundingBox local = b->LocalBounds();
  MergeBox(local, TransformBox(child->LocalBounds(), child->LocalMatrix()));
  const TGXBoundingBox expected[] = {local, TransformBox(local, root.WorldMatrix()),
                                     TransformBox(a->LocalBounds(), child->WorldMatrix())};
  const TGXBoundingBox* actual[] = {&root.LocalBounds(), &root.WorldBounds(), &a->WorldBounds()};
  for (int k = 0; k < 3; ++k) {
    ASSERT_FALSE(actual[k]->Empty);
    for (int c = 0; c < 8; ++c)
      for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(actual[k]->Corner(c)[i], expected[k].Corner(c)[i], 1e-4f) << k << c;
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(actual[k]->Center[i], expected[k].Center[i], 1e-4f) << k;
  }
}

namespace {

// Counts the updates that reach it, to see which children a walk visits.
struct TCountingNode : TGXSceneNode {
  using TGXSceneNode::TGXSceneNode;
  bool Update(bool force = false) override {
    ++Visits;
    return TGXSceneNode::Update(force);
  }
  int Visits = 0;
};

// A root with many boxed children, built twice: one tree updated as usual, the other forced
// through completely; both must end with the same bounds, child boxes and matrices.
struct TTwinTrees {
  static constexpr int kChildren = 40;
  TGXSceneNode Roots[2] = {TGXSceneNode("A"), TGXSceneNode("B")};
  std::vector<TCountingNode*> Children[2];

  TTwinTrees() {
    for (int t = 0; t < 2; ++t) {
      Roots[t].SetPosition({1, 2, 3});
      for (int i = 0; i < kChildren; ++i) {
        auto* c = new TCountingNode("c" + std::to_string(i), &Roots[t]);
        c->SetPosition({float(i % 7) * 3, float(i / 7), float(i % 3)});
        c->AttachObject(MakeRef<TBox>(TGXVector3(-1, -1, -1), TGXVector3(1, 1, 1)).Get());
        Children[t].push_back(c);
      }
      Roots[t].Update(true);
    }
  }
  template <class F>
  void Both(F change) {
    for (int t = 0; t < 2; ++t) change(Roots[t], Children[t]);
  }
  void UpdateAndCompare(const char* step) {
    for (TCountingNode* c : Children[0]) c->Visits = 0;
    Roots[0].Update(false);
    Roots[1].Update(true);
    SCOPED_TRACE(step);
    const TGXBoundingBox* boxes[2][2] = {{&Roots[0].LocalBounds(), &Roots[0].WorldBounds()},
                                         {&Roots[1].LocalBounds(), &Roots[1].WorldBounds()}};
    for (int k = 0; k < 2; ++k) {
      ASSERT_EQ(boxes[0][k]->Empty, boxes[1][k]->Empty);
      if (!boxes[0][k]->Empty) ExpectBox(*boxes[0][k], boxes[1][k]->Min(), boxes[1][k]->Max());
    }
    ASSERT_EQ(Roots[0].ChildCount(), Roots[1].ChildCount());
    const auto& ea = Roots[0].ChildExtents();
    const auto& eb = Roots[1].ChildExtents();
    ASSERT_EQ(ea.size(), eb.size());
    for (size_t i = 0; i < ea.size(); ++i) {
      ASSERT_EQ(ea[i].Usable, eb[i].Usable) << i;
      for (int j = 0; j < 3 && ea[i].Usable; ++j) EXPECT_EQ(ea[i].Min[j], eb[i].Min[j]) << i;
      const auto* a = static_cast<TGXSceneNode*>(Roots[0].Child(int(i)));
      const auto* b = static_cast<TGXSceneNode*>(Roots[1].Child(int(i)));
      EXPECT_EQ(a->Name(), b->Name());
      EXPECT_EQ(a->WorldPosition(), b->WorldPosition()) << i;
      // The packed render switch and matrix revision are the child's own, however it was updated.
      EXPECT_EQ(ea[i].Drawn, a->RenderEnabled()) << i;
      EXPECT_EQ(eb[i].Drawn, b->RenderEnabled()) << i;
      ASSERT_EQ(Roots[0].ChildRevisions().size(), ea.size());
      EXPECT_EQ(Roots[0].ChildRevisions()[i], a->MatrixRevision()) << i;
      ExpectBox(a->Objects()[0]->WorldBounds(), b->Objects()[0]->WorldBounds().Min(),
                b->Objects()[0]->WorldBounds().Max());
    }
  }
  int Visited() const {
    int n = 0;
    for (TCountingNode* c : Children[0]) n += c->Visits;
    return n;
  }
};

}  // namespace

TEST(GXSceneNode, UpdateVisitsOnlyTheChildrenThatChangedAndBoundsStayExact) {
  TTwinTrees trees;
  // Nothing changed: no child is visited.
  trees.UpdateAndCompare("unchanged");
  EXPECT_EQ(trees.Visited(), 0);

  // The outermost child moves inward: the root's box shrinks although only one child is visited.
  trees.Both([](TGXSceneNode&, std::vector<TCountingNode*>& c) { c[39]->SetPosition({0, 0, 0}); });
  trees.UpdateAndCompare("outermost moved in");
  EXPECT_EQ(trees.Visited(), 1);

  // A hidden child and a grown box count like a move.
  trees.Both([](TGXSceneNode&, std::vector<TCountingNode*>& c) {
    c[3]->SetVisible(false);
    c[5]->Objects()[0]->SetLocalBounds(BoxFromMinMax({-30, -1, -1}, {1, 1, 1}));
  });
  trees.UpdateAndCompare("hidden and grown");
  EXPECT_EQ(trees.Visited(), 2);

  // A child that reported and then left (and died) before the update leaves no trace in the walk.
  trees.Both([](TGXSceneNode&, std::vector<TCountingNode*>& c) {
    c[7]->SetPosition({50, 0, 0});
    c[8]->SetPosition({-50, 0, 0});
    delete c[7];
    c.erase(c.begin() + 7);
  });
  trees.UpdateAndCompare("reported child deleted");

  // A child updated on its own in between is still taken by its parent's next update; one that
  // reports again is listed once.
  trees.Both([](TGXSceneNode&, std::vector<TCountingNode*>& c) {
    c[10]->SetPosition({0, 40, 0});
    c[10]->Update();
    c[10]->SetPosition({0, 41, 0});
  });
  trees.UpdateAndCompare("child updated on its own");
  EXPECT_EQ(trees.Visited(), 1);

  // The render switch reaches the parent's packed copy at once, before and after an update,
  // without an update of its own.
  trees.Both([](TGXSceneNode&, std::vector<TCountingNode*>& c) {
    c[4]->SetRenderEnabled(false);
    c[6]->SetRenderEnabled(false);
  });
  EXPECT_FALSE(trees.Roots[0].ChildExtents()[4].Drawn);
  trees.UpdateAndCompare("switched off");
  EXPECT_EQ(trees.Visited(), 0);
  trees.Both([](TGXSceneNode&, std::vector<TCountingNode*>& c) {
    c[6]->SetRenderEnabled(true);
    c[6]->SetPosition({0, -3, 0});
  });
  trees.UpdateAndCompare("switched on and moved");
  EXPECT_EQ(trees.Visited(), 1);

  // Most children moving at once: the walk takes them all and the result is the same.
  trees.Both([](TGXSceneNode&, std::vector<TCountingNode*>& c) {
    for (size_t i = 0; i < c.size(); i += 2) c[i]->SetScale({2, 2, 2});
  });
  trees.UpdateAndCompare("many moved");

  // The root itself moves: every child's world values follow.
  trees.Both([](TGXSceneNode& root, std::vector<TCountingNode*>&) { root.SetPosition({-5, 0, 9}); });
  trees.UpdateAndCompare("root moved");

  // Children leave after one reported, until too few are left to list reports: the reported one
  // is still placed. New children make the list worth keeping again, and it holds new reports only.
  trees.Both([](TGXSceneNode&, std::vector<TCountingNode*>& c) {
    c[0]->SetPosition({7, 7, 7});
    while (c.size() > 10) {
      delete c.back();
      c.pop_back();
    }
  });
  trees.UpdateAndCompare("fell below the listing size");
  trees.Both([](TGXSceneNode& root, std::vector<TCountingNode*>& c) {
    c[1]->SetPosition({-7, 0, 0});
    while (c.size() < 30) {
      auto* n = new TCountingNode("n" + std::to_string(c.size()), &root);
      n->AttachObject(MakeRef<TBox>(TGXVector3(-1, -1, -1), TGXVector3(1, 1, 1)).Get());
      c.push_back(n);
    }
  });
  trees.UpdateAndCompare("listed again");
  trees.Both([](TGXSceneNode&, std::vector<TCountingNode*>& c) { c[2]->SetPosition({0, 0, -7}); });
  trees.UpdateAndCompare("one moved after");
  EXPECT_EQ(trees.Visited(), 1);
}
