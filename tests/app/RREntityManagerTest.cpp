#include <gtest/gtest.h>

#include <functional>

#include "app/RRInput.h"
#include "app/edit/RROverlay.h"
#include "app/edit/RRTransformationModifier.h"
#include "engine/core/GXException.h"
#include "app/entities/RRCamera.h"
#include "tests/app/ManagerTestSupport.h"
#include "tests/app/entities/EntityTestSupport.h"

using namespace rr;
using mgrtest::TTestProject;

namespace {

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

class TRecordingModifier : public TRREntityModifier {
 public:
  TRecordingModifier(std::string name, bool exclusive, std::vector<std::string>& log, bool handles = false)
      : FName(std::move(name)), FExclusive(exclusive), FLog(log), FHandles(handles) {}
  void Activate() override { FLog.push_back("+" + FName); Active = true; }
  void Deactivate() override { FLog.push_back("-" + FName); Active = false; }
  bool IsExclusive() const override { return FExclusive; }
  bool KeyEvent(gx::TGXRenderTarget*, uint32_t, const TRRInputRecord&, int32_t) override {
    FLog.push_back("key " + FName);
    return FHandles;
  }
  bool Active = false;

 private:
  std::string FName;
  bool FExclusive;
  std::vector<std::string>& FLog;
  bool FHandles;
};

}  // namespace

TEST(RREntityManager, IDsAreNeverReusedAndTheTableOnlyGrows) {
  TTestProject p;
  std::vector<TRREntity*> e;
  for (int i = 0; i < 9; ++i) e.push_back(p.Model(std::string("M").append(std::to_string(i + 1))));
  EXPECT_EQ(e[4]->ID(), 5);
  delete e[4];
  EXPECT_EQ(p.M().FindByID(5), nullptr);
  EXPECT_EQ(p.M().EntitySlotCount(), 9);
  EXPECT_EQ(p.Model("next")->ID(), 10);
  EXPECT_EQ(p.M().FindByID(0), nullptr);
  EXPECT_EQ(p.M().FindByID(-1), nullptr);
  EXPECT_EQ(p.M().FindByID(11), nullptr);
  EXPECT_EQ(p.M().FindByID(9), e[8]);
}

TEST(RREntityManager, CreateEntityRefusesBadDescriptions) {
  TTestProject p;
  p.Model("a");
  mgrtest::TModelDesc taken;
  taken.SetID(1);
  std::string error = ErrorOf([&] { p.M().CreateEntity(nullptr, taken); });
  EXPECT_NE(error.find("CreateEntity"), std::string::npos) << error;
  EXPECT_NE(error.find("Entity with same ID already exists"), std::string::npos) << error;

  mgrtest::TModelDesc zero;
  EXPECT_NE(ErrorOf([&] { p.M().CreateEntity(nullptr, zero); }).find("Invalid description"), std::string::npos);
  mgrtest::TModelDesc huge;
  huge.SetID(INT32_MAX);
  EXPECT_NE(ErrorOf([&] { p.M().CreateEntity(nullptr, huge); }).find("Invalid description"), std::string::npos);

  rrtest::TUnregisteredDesc unknown;
  unknown.SetID(7);
  EXPECT_NE(ErrorOf([&] { p.M().CreateEntity(nullptr, unknown); }).find("Unknown entity class"), std::string::npos);

  // A failing child leaves the parent and the children before it.
  mgrtest::TModelDesc parent;
  parent.SetID(2);
  auto* c1 = parent.AddChild(std::make_unique<mgrtest::TModelDesc>());
  c1->SetID(3);
  parent.AddChild(std::make_unique<mgrtest::TModelDesc>())->SetID(1);
  EXPECT_THROW(p.M().CreateEntity(nullptr, parent), gx::EGXException);
  ASSERT_NE(p.M().FindByID(2), nullptr);
  EXPECT_EQ(p.M().FindByID(3)->Parent(), p.M().FindByID(2));
}

TEST(RREntityManager, KindListsAndTheLight) {
  TTestProject p;
  TRREntity* cam = p.Camera("Kamera", RRCameraPlaced);
  TRREntity* fixedCam = p.Camera("Draufsicht", RRCameraTopDown);
  TRREntity* panel = p.Make<mgrtest::TPanelDesc>("Platte");
  TRREntity* light1 = p.Make<mgrtest::TLightDesc>("Licht");
  TRREntity* light2 = p.Make<mgrtest::TLightDesc>("Licht 2");
  EXPECT_EQ(p.M().Cameras().Count(), 2);
  EXPECT_EQ(p.M().Cameras().Item(0), cam);
  EXPECT_EQ(p.M().Cameras().Item(1), fixedCam);
  EXPECT_EQ(p.M().Panels().Count(), 1);
  EXPECT_EQ(p.M().Panels().Item(0), panel);
  EXPECT_EQ(p.M().Light(), light2);
  // The replaced light going away leaves the current one in place.
  delete light1;
  EXPECT_EQ(p.M().Light(), light2);
  delete light2;
  EXPECT_EQ(p.M().Light(), nullptr);
  delete fixedCam;
  EXPECT_EQ(p.M().Cameras().Count(), 1);
}

TEST(RREntityManager, FindByNameIgnoresCaseIncludingUmlauts) {
  TTestProject p;
  p.Model("Schuppen");
  TRREntity* cam = p.Camera("Bahnhof Ärzen", RRCameraPlaced);
  TRREntity* model = p.Model("bahnhof ärzen");
  EXPECT_EQ(p.M().FindByName(nullptr, "BAHNHOF ÄRZEN"), cam);
  EXPECT_EQ(p.M().FindByName(&TRRCamera::StaticClass(), "bahnhof ärzen"), cam);
  delete cam;
  EXPECT_EQ(p.M().FindByName(nullptr, "Bahnhof Ärzen"), model);
  EXPECT_EQ(p.M().FindByName(&TRRCamera::StaticClass(), "Bahnhof Ärzen"), nullptr);
  EXPECT_EQ(p.M().FindByName(nullptr, "Bahnhof"), nullptr);
}

TEST(RREntitySelection, BracketsNotifyOnceAndDestructionDeselects) {
  TTestProject p;
  TRREntity* a = p.Model("a");
  TRREntity* b = p.Model("b");
  TRREntitySelection& s = p.M().Selection();
  s.Add(a);
  EXPECT_EQ(p.SelectionChanges, 1);
  EXPECT_TRUE(a->Selected());
  s.Add(a);  // already selected
  EXPECT_EQ(p.SelectionChanges, 1);
  s.BeginUpdate();
  s.BeginUpdate();
  s.Add(b);
  s.Remove(a);
  s.EndUpdate();
  EXPECT_EQ(p.SelectionChanges, 1);
  s.EndUpdate();
  EXPECT_EQ(p.SelectionChanges, 2);
  EXPECT_FALSE(a->Selected());
  // An empty bracket still reports.
  s.BeginUpdate();
  s.EndUpdate();
  EXPECT_EQ(p.SelectionChanges, 3);
  s.Add(a);
  s.Clear();
  EXPECT_EQ(p.SelectionChanges, 5);
  s.Clear();
  EXPECT_EQ(p.SelectionChanges, 5);
  s.Add(b);
  delete b;
  EXPECT_TRUE(s.Empty());
  EXPECT_EQ(s.UpdateCount(), 0);
}

TEST(RREntityManager, ModifierStackWithExclusiveModifiers) {
  TTestProject p;
  std::vector<std::string> log;
  TRecordingModifier a("a", false, log), b("b", false, log), x("x", true, log);
  p.M().AddModifier(&a);
  p.M().AddModifier(&b);
  p.M().AddModifier(&x);
  EXPECT_EQ(log, (std::vector<std::string>{"+a", "+b", "-a", "-b", "+x"}));
  EXPECT_FALSE(a.Active);
  EXPECT_TRUE(x.Active);

  // Input goes from the top and stops after the exclusive one.
  p.M().Selection().Add(p.Model("m"));
  log.clear();
  p.Key(RRMsgKeyDown, 'A');
  EXPECT_EQ(log, (std::vector<std::string>{"key x"}));

  log.clear();
  p.M().RemoveModifier(&x);
  EXPECT_TRUE(a.Active);
  EXPECT_TRUE(b.Active);
  EXPECT_EQ(x.Manager(), nullptr);
  p.Key(RRMsgKeyDown, 'A');
  EXPECT_EQ(log.back(), "key a");

  // An exclusive modifier in the middle hides those below it when one above goes (the
  // selection's own transformation modifier lies at the bottom).
  TRecordingModifier top("top", false, log);
  p.M().AddModifier(&x, p.M().ModifierCount() - 1);
  p.M().AddModifier(&top);
  p.M().RemoveModifier(&top);
  EXPECT_FALSE(a.Active);
  EXPECT_FALSE(p.M().FindTransformationModifier()->Active());
  EXPECT_TRUE(x.Active);
  EXPECT_TRUE(b.Active);
  EXPECT_THROW(p.M().AddModifier(&x), gx::EInvalidParameter);
}

TEST(RREntityManager, ClicksSelectAndPickOncePerFrame) {
  TTestProject p;
  TRREntity* m = p.Model("Haus", {0, 0, 20});
  p.Model("Baum", {50, 0, 20});
  EXPECT_TRUE(p.Click(RRMsgLButtonDown));
  EXPECT_EQ(p.M().HoveredEntity(), m);
  EXPECT_TRUE(m->Selected());
  // Ctrl + click on a selected entity removes it.
  EXPECT_TRUE(p.Click(RRMsgLButtonDown, RRMKControl));
  EXPECT_FALSE(m->Selected());

  // Several messages of one frame cast one ray.
  int64_t picks = p.M().PickCount();
  TRRInputRecord move;
  move.Message = RRMsgMouseMove;
  p.M().HandleInput(p.View.Get(), move);
  p.M().HandleInput(p.View.Get(), move);
  p.M().UpdateFrame();
  EXPECT_EQ(p.M().PickCount(), picks);

  // A plain click on a panel deselects all; a double-click selects the panel.
  delete m;
  TRREntity* panel = p.Make<mgrtest::TPanelDesc>("Platte", {0, 0, 20});
  TRREntity* other = p.Model("other", {50, 0, 20});
  p.M().Selection().Add(other);
  // The press that deselected goes on to the overlay, where it begins a rectangle selection.
  EXPECT_TRUE(p.Click(RRMsgLButtonDown));
  EXPECT_TRUE(p.M().Selection().Empty());
  EXPECT_TRUE(p.M().Overlay()->BandActive());
  p.Click(RRMsgLButtonUp);
  EXPECT_FALSE(p.M().Overlay()->BandActive());
  EXPECT_TRUE(p.Click(RRMsgLButtonDblClk));
  EXPECT_TRUE(panel->Selected());
}

TEST(RREntityManager, OnlyPressingDeleteDeletes) {
  TTestProject p;
  TRREntity* m = p.Model("m");
  int32_t id = m->ID();
  p.M().Selection().Add(m);
  // A typed "." arrives as a character message with 46; the key-up of Delete follows a press.
  p.Key(RRMsgChar, 46);
  p.Key(RRMsgKeyUp, RRVKDelete);
  EXPECT_NE(p.M().FindByID(id), nullptr);
  EXPECT_TRUE(p.Key(RRMsgKeyDown, RRVKDelete));
  EXPECT_EQ(p.M().FindByID(id), nullptr);

  TRREntity* cam = p.Camera("Draufsicht", RRCameraTopDown);
  p.M().Selection().Add(cam);
  EXPECT_TRUE(p.Key(RRMsgKeyDown, RRVKDelete));
  p.Key(RRMsgKeyUp, RRVKDelete);
  EXPECT_EQ(p.Ui.Texts(), (std::vector<std::string>{RRTextPredefinedCamera}));
  EXPECT_EQ(p.Ui.Shown()[0].Caption, "Löschen");
  EXPECT_TRUE(cam->Selected());
}

TEST(RREntityManager, DeletingReferencedEntitiesAsksFirst) {
  TTestProject p;
  TRREntity* m = p.Model("m");
  p.Referenced = {m->ID()};
  p.M().Selection().Add(m);
  p.Ui.QueueAnswer(TRRAnswer::Cancel);
  EXPECT_FALSE(p.M().CanDeleteSelection());
  EXPECT_EQ(p.Ui.Texts().back(), RRTextDeleteReferencedOne);
  p.M().Selection().Add(p.Model("n"));
  p.Ui.QueueAnswer(TRRAnswer::OK);
  EXPECT_TRUE(p.M().CanDeleteSelection());
  EXPECT_EQ(p.Ui.Texts().back(), RRTextDeleteReferencedMany);
}
