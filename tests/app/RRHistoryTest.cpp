#include <gtest/gtest.h>

#include "app/RRInput.h"
#include "engine/core/GXException.h"
#include "app/entities/RRCamera.h"
#include "tests/app/ManagerTestSupport.h"

using namespace rr;
using mgrtest::TTestProject;

namespace {

std::vector<int32_t> SelectedIDs(TTestProject& p) { return p.M().Selection().IDs(); }

int32_t ParentID(TRREntity* e) {
  auto* parent = dynamic_cast<TRREntity*>(e->Parent());
  return parent ? parent->ID() : 0;
}

void ExpectNear(const gx::TGXVector3& a, const gx::TGXVector3& b) {
  EXPECT_NEAR(a.x, b.x, 1e-4f);
  EXPECT_NEAR(a.y, b.y, 1e-4f);
  EXPECT_NEAR(a.z, b.z, 1e-4f);
}

// A single-entity edit as the property pages record it.
void Rename(TTestProject& p, TRREntity* e, const std::string& name) {
  auto c = p.Hist->OpenCommand(e);
  e->SetName(name);
  c->SetAfter(e);
  p.Hist->Push(std::move(c));
}

}  // namespace

TEST(RRHistory, GroupUndoRedoRestoresIDsParentsAndSelection) {
  TTestProject p;
  TRREntity* a = p.Model("a", {10, 0, 0});
  TRREntity* b = p.Model("b", {20, 0, 4});
  TRREntity* cam = p.Camera("Draufsicht", RRCameraTopDown);
  for (TRREntity* e : {a, b, cam}) p.M().Selection().Add(e);
  p.M().GroupSelection();
  ASSERT_EQ(p.M().Selection().Count(), 1);
  auto* group = dynamic_cast<TRREntityGroup*>(p.M().Selection().First());
  ASSERT_NE(group, nullptr);
  int32_t groupID = group->ID();
  EXPECT_EQ(groupID, 4);
  EXPECT_EQ(group->Name(), "Gruppe");
  EXPECT_EQ(group->ChildEntities().size(), 2u);
  EXPECT_EQ(ParentID(cam), 0);
  p.Scene.Root()->Update(false);
  ExpectNear(group->WorldPosition(), {15, 0, 2});
  ExpectNear(a->WorldPosition(), {10, 0, 0});
  EXPECT_TRUE(p.UndoAction.Enabled);
  EXPECT_EQ(p.UndoAction.Caption, "Rückgängig");

  p.Hist->Undo();
  EXPECT_EQ(p.M().FindByID(groupID), nullptr);
  TRREntity* a2 = p.M().FindByID(1);
  ASSERT_NE(a2, nullptr);
  EXPECT_EQ(ParentID(a2), 0);
  p.Scene.Root()->Update(false);
  ExpectNear(a2->WorldPosition(), {10, 0, 0});
  EXPECT_EQ(SelectedIDs(p), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_TRUE(p.RedoAction.Enabled);
  EXPECT_EQ(p.M().Selection().UpdateCount(), 0);

  p.Hist->Redo();
  TRREntity* g2 = p.M().FindByID(groupID);
  ASSERT_NE(g2, nullptr);
  EXPECT_EQ(ParentID(p.M().FindByID(1)), groupID);
  EXPECT_EQ(ParentID(p.M().FindByID(2)), groupID);
  EXPECT_EQ(SelectedIDs(p), (std::vector<int32_t>{groupID}));

  // Ungroup, then take it back.
  p.M().UngroupSelection();
  EXPECT_EQ(p.M().FindByID(groupID), nullptr);
  EXPECT_EQ(SelectedIDs(p), (std::vector<int32_t>{1, 2}));
  p.Scene.Root()->Update(false);
  ExpectNear(p.M().FindByID(2)->WorldPosition(), {20, 0, 4});
  p.Hist->Undo();
  EXPECT_EQ(ParentID(p.M().FindByID(2)), groupID);
  p.Hist->Redo();
  EXPECT_EQ(ParentID(p.M().FindByID(2)), 0);
  EXPECT_EQ(p.M().NextID(), 5);
}

TEST(RRHistory, GroupingNeedsTwoEligibleEntities) {
  TTestProject p;
  TRREntity* light = p.Make<mgrtest::TLightDesc>("Licht");
  TRREntity* m = p.Model("m");
  p.M().Selection().Add(light);
  p.M().Selection().Add(m);
  p.M().GroupSelection();
  EXPECT_EQ(p.Hist->Count(), 0);
  EXPECT_EQ(p.M().NextID(), 3);
}

TEST(RRHistory, DeleteUndoBringsBackLinksAndSkipsNestedSelections) {
  TTestProject p;
  TRREntity* target = p.Model("Ziel", {5, 0, 0});
  TRREntity* follower = p.Model("Folger", {5, 0, 3});
  follower->SetLinkTarget(target);
  TRREntity* parent = p.Model("Eltern", {0, 0, 0});
  TRREntity* child = p.Model("Kind", {1, 0, 0}, parent);
  int32_t parentID = parent->ID(), childID = child->ID();
  // The child and its selected parent: one snapshot holds both.
  for (TRREntity* e : {follower, child, parent}) p.M().Selection().Add(e);
  p.M().DeleteSelection();
  EXPECT_EQ(p.M().FindByID(2), nullptr);
  EXPECT_EQ(p.M().FindByID(childID), nullptr);
  EXPECT_EQ(p.M().Selection().UpdateCount(), 0);
  ASSERT_EQ(p.Hist->Count(), 1);
  EXPECT_EQ(p.Hist->Command(0)->ChildCount(), 2);

  p.Hist->Undo();
  TRREntity* f2 = p.M().FindByID(2);
  ASSERT_NE(f2, nullptr);
  EXPECT_EQ(f2->LinkTarget(), 1);
  ASSERT_NE(p.M().FindByID(childID), nullptr);
  EXPECT_EQ(ParentID(p.M().FindByID(childID)), parentID);
  EXPECT_EQ(SelectedIDs(p), (std::vector<int32_t>{2, childID, parentID}));
  p.Hist->Redo();
  EXPECT_EQ(p.M().FindByID(parentID), nullptr);
  EXPECT_TRUE(p.M().Selection().Empty());
}

TEST(RRHistory, LimitAndRedoDiscarding) {
  TTestProject p;
  TRREntity* m = p.Model("m");
  for (int i = 0; i < RRHistoryLimit; ++i) Rename(p, p.M().FindByID(1), std::string("n").append(std::to_string(i)));
  EXPECT_EQ(p.Modified, 0);
  Rename(p, p.M().FindByID(1), "last");
  EXPECT_EQ(p.Hist->Count(), RRHistoryLimit);
  // The first edit can no longer be taken back, so the project stays modified.
  EXPECT_EQ(p.Modified, 1);
  while (p.Hist->CanUndo()) p.Hist->Undo();
  EXPECT_EQ(p.M().FindByID(1)->Name(), "n0");
  EXPECT_FALSE(p.UndoAction.Enabled);
  EXPECT_TRUE(p.RedoAction.Enabled);
  EXPECT_EQ(p.RedoAction.Caption, "Wiederherstellen");

  p.Hist->Redo();
  p.Hist->Redo();
  p.Hist->Undo();
  p.Hist->Undo();
  Rename(p, p.M().FindByID(1), "other");
  EXPECT_EQ(p.Hist->Count(), 1);
  EXPECT_FALSE(p.Hist->CanRedo());
  p.Hist->Clear();
  EXPECT_FALSE(p.UndoAction.Enabled);
  (void)m;
}

TEST(RRHistory, FailedRevertClosesTheSelectionBracket) {
  TTestProject p;
  TRREntity* m = p.Model("m");
  p.M().Selection().Add(m);
  p.M().DeleteSelection();
  // Something else took the ID meanwhile (only possible by bypassing the counter).
  mgrtest::TModelDesc squatter;
  squatter.SetID(1);
  p.M().CreateEntity(nullptr, squatter);
  int changes = p.SelectionChanges;
  EXPECT_THROW(p.Hist->Undo(), gx::EGXException);
  EXPECT_EQ(p.M().Selection().UpdateCount(), 0);
  EXPECT_EQ(p.SelectionChanges, changes + 1);
  EXPECT_GT(p.Modified, 0);
}

TEST(RRHistory, AltClickDuplicatesTheSelection) {
  TTestProject p;
  TRREntity* m = p.Model("Haus", {0, 0, 20});
  p.M().Selection().Add(m);
  EXPECT_TRUE(p.Click(RRMsgLButtonDown, 0, true));
  ASSERT_EQ(p.M().Selection().Count(), 1);
  TRREntity* copy = p.M().Selection().First();
  EXPECT_EQ(copy->ID(), 2);
  EXPECT_EQ(copy->Name(), "Haus");
  p.Scene.Root()->Update(false);
  ExpectNear(copy->WorldPosition(), {0, 0, 20});
  p.Hist->Undo();
  EXPECT_EQ(p.M().FindByID(2), nullptr);
  EXPECT_EQ(SelectedIDs(p), (std::vector<int32_t>{1}));
}
