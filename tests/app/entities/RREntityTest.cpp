#include "app/entities/RREntity.h"

#include <gtest/gtest.h>

#include <cmath>

#include "app/entities/RREntityGroup.h"
#include "app/entities/RREntityModifier.h"
#include "engine/core/GXGeometry.h"
#include "tests/app/entities/EntityTestSupport.h"

using namespace rr;
using gx::TGXQuaternion;
using gx::TGXVector3;

namespace {

constexpr float kEps = 1e-4f;

TRREntity* Make(const TRREntityClass& cls, gx::TGXNode* parent, IRREntityManager* manager, int id,
                TGXVector3 position = {}, TGXQuaternion rotation = {}, TGXVector3 scale = {1, 1, 1}) {
  TRREntityDescription d;
  d.SetID(id);
  d.SetPosition(position);
  d.SetRotation(rotation);
  d.SetScale(scale);
  return cls.Create(parent, manager, d);
}

TRREntity* MakeModel(gx::TGXNode* parent, IRREntityManager* manager, int id, TGXVector3 position = {},
                     TGXQuaternion rotation = {}, TGXVector3 scale = {1, 1, 1}) {
  rrtest::RegisterTestKinds();
  return Make(rrtest::TModelTestEntity::StaticClass(), parent, manager, id, position, rotation, scale);
}

void ExpectNear(const TGXVector3& a, const TGXVector3& b) {
  EXPECT_NEAR(a.x, b.x, kEps);
  EXPECT_NEAR(a.y, b.y, kEps);
  EXPECT_NEAR(a.z, b.z, kEps);
}

// The same rotation (q and -q are).
void ExpectSameRotation(const TGXQuaternion& a, const TGXQuaternion& b) {
  EXPECT_NEAR(std::fabs(gx::GXQuaternionDot(a, b)), 1.0f, kEps)
      << "(" << a.x << ", " << a.y << ", " << a.z << ", " << a.w << ") vs (" << b.x << ", " << b.y << ", " << b.z
      << ", " << b.w << ")";
}

TGXQuaternion AboutX(float degrees) { return gx::GXQuaternionRotationAxis({1, 0, 0}, degrees * gx::GX_PI / 180); }
TGXQuaternion AboutY(float degrees) { return gx::GXQuaternionRotationAxis({0, 1, 0}, degrees * gx::GX_PI / 180); }

gx::TGXFrustum BoxVolume(TGXVector3 min, TGXVector3 max) {
  gx::TGXBoundingBox box = gx::BoxFromMinMax(min, max);
  const std::array<TGXVector3, 8> corners = box.Corners();
  return gx::FrustumFromCorners(std::span<const TGXVector3, 8>(corners));
}

}  // namespace

TEST(Entity, TakesTheDescriptionAndRegistersOnceComplete) {
  rrtest::TTestManager manager;
  gx::TGXSceneNode root;
  TRREntityDescription d;
  d.SetID(4);
  d.SetAssetID(gx::TGXGuid::Parse("{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}"));
  d.Name().SetText(0x0407, "Bahnhof");
  d.Description().SetText(0x0407, "Klein");
  d.SetLocked(true);
  d.SetPivot({0, 1, 0});
  d.SetPosition({1, 2, 3});
  d.SetScale({2, 2, 2});
  d.SetLinkTarget(9);
  TRREntity* e = TRREntityGroup::StaticClass().Create(&root, &manager, d);
  EXPECT_EQ(e->Parent(), &root);
  EXPECT_EQ(e->ID(), 4);
  EXPECT_EQ(e->AssetID(), d.AssetID());
  EXPECT_EQ(e->Name(), "Bahnhof");
  EXPECT_EQ(e->DescriptionText(), "Klein");
  EXPECT_TRUE(e->Locked());
  EXPECT_EQ(e->Pivot(), TGXVector3(0, 1, 0));
  EXPECT_EQ(e->Position(), TGXVector3(1, 2, 3));
  EXPECT_EQ(e->Scale(), TGXVector3(2, 2, 2));
  EXPECT_EQ(e->LinkTarget(), 9);
  // The manager saw the final class, registration before the created hook.
  EXPECT_EQ(manager.Log, (std::vector<std::string>{"register TRREntityGroup", "created TRREntityGroup"}));
  EXPECT_EQ(manager.FindByID(4), e);

  delete e;
  EXPECT_EQ(manager.Log.back(), "unregister 4");
  EXPECT_EQ(root.ChildCount(), 0);

  // Without manager an entity is a plain node.
  std::unique_ptr<TRREntity> loose(TRREntityGroup::StaticClass().Create(nullptr, nullptr, d));
  EXPECT_EQ(loose->ID(), 4);
}

TEST(Entity, FollowsARotatedAndScaledLinkTarget) {
  rrtest::TTestManager manager;
  gx::TGXSceneNode root;
  // Rotations about different axes do not commute, so the order of the link rotation matters.
  TRREntity* target = MakeModel(&root, &manager, 1, {10, 0, 0}, AboutY(90), {2, 2, 2});
  TRREntity* follower = MakeModel(&root, &manager, 2, {10, 0, 5}, AboutX(90));
  root.Update();
  follower->SetLinkTarget(target);
  EXPECT_EQ(follower->LinkTarget(), 1);

  // Following an unmoved target keeps the follower exactly where it is.
  follower->Animate(true, 0.04f);
  root.Update();
  ExpectNear(follower->WorldPosition(), {10, 0, 5});
  ExpectSameRotation(follower->WorldRotation(), AboutX(90));

  // The target moves and turns another 90 degrees about Y: the follower swings with it.
  TGXQuaternion turn = AboutY(90);
  target->SetPosition({0, 0, 0});
  target->SetRotation(gx::GXQuaternionMultiply(AboutY(90), turn));
  root.Update();
  follower->Animate(true, 0.04f);
  root.Update();
  ExpectNear(follower->WorldPosition(), gx::RotateVector({0, 0, 5}, turn));
  ExpectSameRotation(follower->WorldRotation(), gx::GXQuaternionMultiply(AboutX(90), turn));

  // A follower inside a moved parent still lands in world space.
  gx::TGXSceneNode* shifted = root.AddChild(std::make_unique<gx::TGXSceneNode>());
  shifted->SetPosition({0, 100, 0});
  TRREntity* inner = MakeModel(shifted, &manager, 3, {1, -100, 0});
  root.Update();
  inner->SetLinkTarget(target);
  target->SetRotation(AboutY(0));
  root.Update();
  inner->Animate(false, 0);
  root.Update();
  ExpectNear(inner->WorldPosition(), {-1, 0, 0});  // was at +1 while the target faced the other way
}

TEST(Entity, RelinkClearsAVanishedTargetAndRecurses) {
  rrtest::TTestManager manager;
  gx::TGXSceneNode root;
  TRREntity* target = MakeModel(&root, &manager, 1, {5, 0, 0});
  TRREntity* parent = MakeModel(&root, &manager, 2, {0, 0, 0});
  TRREntity* child = MakeModel(parent, &manager, 3, {0, 0, 7});
  root.Update();
  parent->SetLinkTarget(target);
  child->SetLinkTarget(target);
  EXPECT_EQ(child->LinkTarget(), 1);

  delete target;
  root.Update();
  parent->Animate(true, 0.04f);  // nothing to follow
  parent->Relink();
  EXPECT_EQ(parent->LinkTarget(), 0);
  EXPECT_EQ(child->LinkTarget(), 0);
  root.Update();
  ExpectNear(child->WorldPosition(), {0, 0, 7});

  parent->SetLinkTarget(nullptr);
  EXPECT_EQ(parent->LinkTarget(), 0);
}

TEST(Entity, CreateDescriptionCoversChildEntitiesInOrder) {
  rrtest::TTestManager manager;
  gx::TGXSceneNode root;
  TRREntityDescription gd;
  gd.SetID(1);
  gd.Name().SetText(0x0407, "Gruppe");
  gd.SetLinkTarget(6);
  gd.SetLinkRotation(AboutY(30));
  TRREntity* group = TRREntityGroup::StaticClass().Create(&root, &manager, gd);
  MakeModel(group, &manager, 2, {1, 0, 0});
  group->AddChild(std::make_unique<gx::TGXSceneNode>("Geometrie"));  // not an entity: skipped
  TRREntity* second = MakeModel(group, &manager, 3, {2, 0, 0});
  MakeModel(second, &manager, 4);

  auto d = group->CreateDescription();
  ASSERT_TRUE(d->Is<TRREntityGroupDesc>());
  EXPECT_EQ(d->Parent(), nullptr);
  EXPECT_EQ(d->ID(), 1);
  EXPECT_EQ(d->Name().GetText(), "Gruppe");
  EXPECT_EQ(d->LinkTarget(), 6);
  EXPECT_EQ(d->LinkRotation(), AboutY(30));
  ASSERT_EQ(d->ChildCount(), 2);
  EXPECT_TRUE(d->Child(0)->Is<rrtest::TModelTestDesc>());
  EXPECT_EQ(d->Child(0)->ID(), 2);
  EXPECT_EQ(d->Child(1)->Position(), TGXVector3(2, 0, 0));
  ASSERT_EQ(d->Child(1)->ChildCount(), 1);
  EXPECT_EQ(d->Child(1)->Child(0)->ID(), 4);

  std::unique_ptr<TRREntity> unknown(
      Make(rrtest::TUnregisteredEntity::StaticClass(), nullptr, nullptr, 9));
  EXPECT_THROW(unknown->CreateDescription(), EUnknownEntityClass);
}

TEST(Entity, SelectionOutermostEntityAndBorders) {
  rrtest::TTestManager manager;
  gx::TGXSceneNode root;
  TRREntity* outer = MakeModel(&root, &manager, 1);
  gx::TGXSceneNode* plain = outer->AddChild(std::make_unique<gx::TGXSceneNode>());
  TRREntity* middle = MakeModel(plain, &manager, 2);
  TRREntity* inner = MakeModel(middle, &manager, 3);
  EXPECT_EQ(inner->OutermostEntity(), outer);
  EXPECT_EQ(outer->OutermostEntity(), outer);

  EXPECT_FALSE(inner->IsSelectedOrInSelected());
  middle->Select();
  EXPECT_TRUE(inner->IsSelectedOrInSelected());
  EXPECT_TRUE(middle->IsSelectedOrInSelected());
  EXPECT_FALSE(outer->IsSelectedOrInSelected());
  EXPECT_TRUE(middle->SelectionBorders().empty());  // the manager shows none

  manager.ShowBorders = true;
  outer->Select();
  ASSERT_EQ(outer->SelectionBorders().size(), 1u);
  gx::TGXRef<gx::TGXSceneObject> border = outer->SelectionBorders()[0];
  EXPECT_EQ(border->Node(), outer);
  outer->Deselect();
  EXPECT_FALSE(outer->Selected());
  EXPECT_TRUE(outer->SelectionBorders().empty());
  EXPECT_EQ(border->Node(), nullptr);
  EXPECT_EQ(border->RefCount(), 1);  // only the test holds it now
}

TEST(EntityGroup, HitTestAndMembersKeepTheirWorldPlacement) {
  rrtest::TTestManager manager;
  gx::TGXSceneNode root;
  root.SetPosition({0, 0, 100});
  TRREntity* a = MakeModel(&root, &manager, 1, {10, 0, 0}, AboutY(90));
  TRREntity* b = MakeModel(&root, &manager, 2, {20, 0, 4});
  a->AttachObject(gx::MakeRef<rrtest::TBoxObject>(TGXVector3{-1, -1, -1}, TGXVector3{1, 1, 1}).Get());
  b->AttachObject(gx::MakeRef<rrtest::TBoxObject>(TGXVector3{-1, -1, -1}, TGXVector3{1, 1, 1}).Get());
  TRREntityDescription gd;
  gd.SetID(3);
  auto* group = static_cast<TRREntityGroup*>(TRREntityGroup::StaticClass().Create(&root, &manager, gd));
  root.Update();

  group->BeginUpdate();
  group->AddMember(a);
  group->AddMember(b);
  EXPECT_EQ(group->Position(), TGXVector3(0, 0, 0));  // deferred until EndUpdate
  group->EndUpdate();
  root.Update();
  EXPECT_EQ(a->Parent(), group);
  ExpectNear(group->Position(), {15, 0, 2});
  EXPECT_EQ(group->Rotation(), TGXQuaternion(0, 0, 0, 1));
  ExpectNear(a->WorldPosition(), {10, 0, 100});
  ExpectSameRotation(a->WorldRotation(), AboutY(90));
  ExpectNear(b->WorldPosition(), {20, 0, 104});

  // The group's box spans both members; a volume between them meets the box but no member.
  EXPECT_TRUE(group->HitTest(BoxVolume({19, -1, 103}, {19.5f, 1, 103.5f})));
  EXPECT_FALSE(group->HitTest(BoxVolume({14, -1, 101}, {16, 1, 103})));
  b->SetVisible(false);
  root.Update();
  EXPECT_FALSE(b->HitTest(BoxVolume({19, -1, 103}, {21, 1, 105})));
  b->SetVisible(true);
  root.Update();

  group->ReleaseAll();
  root.Update();
  EXPECT_EQ(a->Parent(), &root);
  EXPECT_EQ(b->Parent(), &root);
  ExpectNear(a->WorldPosition(), {10, 0, 100});
  ExpectSameRotation(a->WorldRotation(), AboutY(90));
  ExpectNear(b->WorldPosition(), {20, 0, 104});
}

TEST(EntityModifier, LeavesItsManagerWhenDestroyed) {
  rrtest::TTestManager manager;
  {
    TRREntityModifier modifier;
    modifier.SetManager(&manager);
    EXPECT_FALSE(modifier.IsExclusive());
  }
  EXPECT_EQ(manager.RemovedModifiers, 1);
  { TRREntityModifier alone; }
  EXPECT_EQ(manager.RemovedModifiers, 1);
}
