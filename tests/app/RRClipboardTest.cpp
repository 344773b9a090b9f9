#include <gtest/gtest.h>

#include "app/RREntityIDProcessor.h"
#include "engine/core/GXException.h"
#include "tests/app/ManagerTestSupport.h"
#include "tests/app/entities/EntityTestSupport.h"

using namespace rr;
using mgrtest::TTestProject;

namespace {

// A description with a second entity reference (as a signal names its track).
class TRefDesc : public TRREntityDescription {
 public:
  int32_t Other = 0;
  void GetPropertyAccess(TRRPropertyAccessList& list) override {
    TRREntityDescription::GetPropertyAccess(list);
    list.Add<TRREntityIDRefAccess>(Other);
  }
};

TRefDesc* AddRef(TRREntityDescriptionList& list, int32_t id, int32_t link, int32_t other) {
  auto d = std::make_unique<TRefDesc>();
  d->SetID(id);
  d->SetLinkTarget(link);
  d->Other = other;
  TRefDesc* raw = d.get();
  list.Add(std::move(d));
  return raw;
}

struct TRemapLog : IRREntityRemapListener {
  std::vector<std::pair<int32_t, int32_t>> Pairs;
  std::string Calls;
  void BeginRemap() override { Calls += "B"; }
  void Remap(int32_t o, int32_t n) override {
    Calls += "R";
    Pairs.emplace_back(o, n);
  }
  void EndRemap() override { Calls += "E"; }
};

}  // namespace

TEST(RREntityIDProcessor, RenumbersAndRewritesReferences) {
  TRREntityDescriptionList list(true);
  TRefDesc* d3 = AddRef(list, 3, 0, -1);
  TRefDesc* d7 = AddRef(list, 7, 42, 0);  // 42 is outside the set
  TRefDesc* d9 = AddRef(list, 9, 3, 7);
  auto nested = std::make_unique<TRefDesc>();
  nested->SetID(0);
  nested->SetLinkTarget(9);
  TRREntityDescription* child = d7->AddChild(std::move(nested));
  TRemapLog log;
  EXPECT_EQ(TRREntityIDProcessor::RenumberList(list, 1, &log), 4);
  // Pre-order: 3, 7, its child, 9.
  EXPECT_EQ(d3->ID(), 1);
  EXPECT_EQ(d7->ID(), 2);
  EXPECT_EQ(child->ID(), 3);
  EXPECT_EQ(d9->ID(), 4);
  EXPECT_EQ(d9->LinkTarget(), 1);
  EXPECT_EQ(d9->Other, 2);
  EXPECT_EQ(child->LinkTarget(), 4);
  EXPECT_EQ(d7->LinkTarget(), 0);
  // Sentinels stay.
  EXPECT_EQ(d3->Other, -1);
  EXPECT_EQ(log.Calls, "BRRRE");
  EXPECT_EQ(log.Pairs, (std::vector<std::pair<int32_t, int32_t>>{{3, 1}, {7, 2}, {9, 4}}));

  // Renumbering again from elsewhere keeps the structure.
  EXPECT_EQ(TRREntityIDProcessor::RenumberList(list, 100), 4);
  EXPECT_EQ(d9->LinkTarget(), 100);
  EXPECT_EQ(child->LinkTarget(), 103);
  EXPECT_THROW(TRREntityIDProcessor::RenumberList(list, INT32_MAX - 1), gx::EInvalidParameter);
}

TEST(RRClipboard, CopyKeepsInnerLinksAndDropsFixedEntities) {
  TTestProject p;
  EXPECT_FALSE(p.PasteAction.Enabled);
  TRREntity* target = p.Model("Ziel", {10, 0, 0});
  TRREntity* follower = p.Model("Folger", {10, 0, 5});
  TRREntity* light = p.Make<mgrtest::TLightDesc>("Licht");
  follower->SetLinkTarget(target);
  for (TRREntity* e : {target, follower, light}) p.M().Selection().Add(e);
  p.Board.Copy(p.M().Selection());
  EXPECT_EQ(p.Board.Count(), 2);
  EXPECT_TRUE(p.PasteAction.Enabled);

  EXPECT_EQ(p.Board.Paste(p.M()), 2);
  TRREntity* t1 = p.M().FindByID(4);
  TRREntity* f1 = p.M().FindByID(5);
  ASSERT_TRUE(t1 && f1);
  EXPECT_EQ(f1->LinkTarget(), 4);
  EXPECT_EQ(p.M().Selection().IDs(), (std::vector<int32_t>{4, 5}));
  EXPECT_EQ(p.Board.Paste(p.M()), 2);
  TRREntity* t2 = p.M().FindByID(6);
  ASSERT_NE(t2, nullptr);
  EXPECT_EQ(p.M().FindByID(7)->LinkTarget(), 6);
  // Both copies sit at the same offset from the original.
  EXPECT_EQ(t1->Position().x, 5);
  EXPECT_EQ(t1->Position().z, 5);
  EXPECT_EQ(t2->Position().x, 5);
  EXPECT_EQ(t2->Position().z, 5);
  EXPECT_EQ(p.Hist->Count(), 2);
  p.Hist->Undo();
  EXPECT_EQ(p.M().FindByID(6), nullptr);
  EXPECT_EQ(p.M().Selection().IDs(), (std::vector<int32_t>{4, 5}));

  // Only the follower: the copy follows nothing.
  p.M().Selection().Clear();
  p.M().Selection().Add(follower);
  p.Board.Copy(p.M().Selection());
  p.Board.Paste(p.M());
  EXPECT_EQ(p.M().Selection().First()->LinkTarget(), 0);

  // Only the light: nothing to paste.
  p.M().Selection().Clear();
  p.M().Selection().Add(light);
  p.Board.Copy(p.M().Selection());
  EXPECT_EQ(p.Board.Count(), 0);
  EXPECT_FALSE(p.PasteAction.Enabled);
  EXPECT_EQ(p.Board.Paste(p.M()), 0);
}

TEST(RRClipboard, FailedPasteMarksTheProjectModified) {
  TTestProject p;
  p.M().Selection().Add(p.Model("a"));
  p.M().Selection().Add(p.Model("b"));
  p.Board.Copy(p.M().Selection());
  // The second item carries a kind the program cannot build.
  p.Board.Item(1)->AddChild(std::make_unique<rrtest::TUnregisteredDesc>());
  int pushed = p.Hist->Count();
  EXPECT_THROW(p.Board.Paste(p.M()), gx::EGXException);
  EXPECT_EQ(p.Hist->Count(), pushed);
  EXPECT_GT(p.Modified, 0);
  EXPECT_EQ(p.M().Selection().UpdateCount(), 0);
  // What was created before the failure stays.
  EXPECT_NE(p.M().FindByID(3), nullptr);
}

TEST(RRClipboard, RemoveAssetRemovesNestedDescriptions) {
  TTestProject p;
  gx::TGXGuid tree = gx::TGXGuid::Parse("{11111111-2222-3333-4444-555555555555}");
  TRREntity* a = p.Model("a");
  TRREntity* b = p.Model("b", {}, a);
  p.Model("c", {}, a);
  b->SetDescriptionText("x");
  TRREntity* d = p.Model("d");
  p.M().Selection().Add(a);
  p.M().Selection().Add(d);
  p.Board.Copy(p.M().Selection());
  p.Board.Item(0)->Child(0)->SetAssetID(tree);
  p.Board.Item(1)->SetAssetID(tree);
  p.Board.RemoveAsset(tree);
  ASSERT_EQ(p.Board.Count(), 1);
  EXPECT_EQ(p.Board.Item(0)->ChildCount(), 1);
  EXPECT_EQ(p.Board.Item(0)->Child(0)->Name().GetText(), "c");
}
