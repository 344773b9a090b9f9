// The gizmo and the transformation modifier on the manager's test project, with the camera
// turned to look straight down from 50 above the origin (screen right is +x, screen up is +z):
// the gizmo's size and picking, arming and the drag threshold, free and axis moves, turning,
// snapping and refused placements, the drop onto what lies below, keys, Escape, and what ends up
// on the history.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "app/RRInput.h"
#include "app/edit/RRTransformationGizmo.h"
#include "app/edit/RRTransformationModifier.h"
#include "app/entities/RREntityRegistry.h"
#include "tests/app/ManagerTestSupport.h"

using namespace rr;
using gx::TGXVector3;

namespace {

// Snaps to the nearest multiple of 10 along x when within 3, and refuses anything below y = -1.
class TSnapDesc : public TRREntityDescription {
  RR_DESCRIPTION_CLASS()
};
class TSnapModel : public mgrtest::TModel {
  RR_ENTITY_CLASS()
 public:
  using TModel::TModel;
  bool Snap(bool& snapped, TGXVector3& p, gx::TGXQuaternion& q) override {
    if (WorldPosition().y < -1) return false;
    p = {std::round(WorldPosition().x / 10) * 10, WorldPosition().y, WorldPosition().z};
    q = WorldRotation();
    snapped = std::fabs(p.x - WorldPosition().x) < 3;
    return true;
  }
};
RR_DEFINE_DESCRIPTION_CLASS(TSnapDesc, TRREntityDescription)
RR_DEFINE_ENTITY_CLASS(TSnapModel, mgrtest::TModel)

struct TTools : ::testing::Test {
  mgrtest::TTestProject P;
  TRREntity* A = nullptr;

  void SetUp() override {
    static bool registered = [] {
      RegisteredEntities().Register(gx::TGXGuid::Parse("{7D3E0A11-5B2C-4F60-8C1A-2E4B6D8F0101}"),
                                    TSnapModel::StaticClass(), TSnapDesc::StaticClass());
      return true;
    }();
    (void)registered;
    gx::TGXSceneNode* camera = P.Scene.FindNode("Camera");
    camera->SetPosition({0, 50, 0});
    camera->SetRotation(gx::GXQuaternionRotationAxis({1, 0, 0}, std::numbers::pi_v<float> / 2));
    A = P.Model("A");
    P.M().Selection().Add(A);
  }
  TRRTransformationModifier& Mod() { return *P.M().FindTransformationModifier(); }
  bool Mouse(uint32_t message, int x, int y, uint32_t buttons = 0) {
    ++P.Counter;
    P.Scene.Root()->Update(false);
    TRRInputRecord r;
    r.Message = message;
    r.X = x;
    r.Y = y;
    r.Buttons = buttons;
    return P.M().HandleInput(P.View.Get(), r);
  }
  void Frame() {
    ++P.Counter;
    P.M().UpdateFrame();
  }
  // Press on A, move to (x, y) and let a frame drag there.
  void DragTo(int x, int y) {
    ASSERT_TRUE(Mouse(RRMsgLButtonDown, 320, 240, RRMKLButton));
    Mouse(RRMsgMouseMove, x, y, RRMKLButton);
    Frame();
  }
};

}  // namespace

TEST(TransformationGizmo, ScaleFollowsTheCameraAndHandlesArePickedInOrder) {
  TRRTransformationGizmo g;
  TRRGizmoCamera cam;  // at the origin looking along +z, near plane 1
  g.Place({0, 0, 50}, cam);
  EXPECT_FLOAT_EQ(g.Scale(), 5);
  EXPECT_FLOAT_EQ(g.Length(), 3.75f);
  // Behind the camera or too close to it: not placed, nothing picked.
  for (float z : {-10.0f, 0.5f}) {
    g.Place({0, 0, z}, cam);
    EXPECT_FALSE(g.Placed()) << z;
    EXPECT_EQ(g.Pick({0, 0, -100}, {0, 0, 1}, cam.Position).Handle, 0);
  }
  cam.Orthographic = true;
  cam.OrthoHeight = 100;
  g.Place({0, 0, 50}, cam);
  EXPECT_FLOAT_EQ(g.Scale(), 20);

  // Scale 10 at the origin: arrows 7.5 long and 0.3 thick, rings of radius 10.
  g.Place({0, 0, 0}, TRRGizmoCamera{{0, 0, -100}, {0, 0, 1}});
  const TGXVector3 eye{0, 0, -100};
  struct TCase {
    TGXVector3 Origin, Direction;
    bool Flat;
    int Handle;
  } cases[] = {
      {{5, 0, -50}, {0, 0, 1}, false, RRGizmoArrowX},      // along the X arrow
      {{0, 5, -50}, {0, 0, 1}, false, RRGizmoArrowY},      // the Y arrow
      {{-0.1f, 0, -50}, {0, 0, 1}, false, RRGizmoArrowZ},  // straight down the Z arrow
      {{0, 0, -50}, {0, 0, 1}, false, RRGizmoArrowX},      // through the X arrow's base too: X first
      {{10.5f, 0, -50}, {0, 0, 1}, false, RRGizmoRingZ},   // the Z ring's plane, beside the ball
      {{6, 8, -50}, {0, 0, 1}, false, RRGizmoRingZ},       // the ball's edge on the Z ring's band
      {{0, 10, -50}, {0, 0, 1}, false, RRGizmoRingX},      // where the X and Z rings cross: X first
      {{20, 20, -50}, {0, 0, 1}, false, 0},                // beside everything
      {{0, 50, 10}, {0, -1, 0}, true, RRGizmoRingY},       // flat view: the Y ring from above
      {{0, 50, 5}, {0, -1, 0}, true, RRGizmoArrowZ},       // and the Z arrow
      {{0, 5, -50}, {0, 0, 1}, true, 0},                   // no Y arrow in the flat view
  };
  for (const TCase& c : cases) {
    g.SetFlatView(c.Flat);
    const TRRGizmoHit hit = g.Pick(c.Origin, c.Direction, c.Flat ? TGXVector3{0, 100, 0} : eye);
    EXPECT_EQ(hit.Handle, c.Handle) << c.Origin.x << "," << c.Origin.y << "," << c.Origin.z;
  }
  g.SetFlatView(false);
  g.SetEnabled(false);
  EXPECT_EQ(g.Pick({5, 0, -50}, {0, 0, 1}, eye).Handle, 0);

  for (int mode = RRDragMoveX; mode <= RRDragRotateZ; ++mode)
    EXPECT_EQ(RRDragModeOfHandle(RRHandleOfDragMode(mode)), mode);
  EXPECT_EQ(RRDragModeOfHandle(4), RRDragFree);
  g.HighlightForMode(RRDragRotateY);
  EXPECT_EQ(g.Highlight(RRGizmoRingY), RRGizmoHighlighted);
  EXPECT_EQ(g.Highlight(RRGizmoArrowX), RRGizmoDimmed);
  EXPECT_EQ(TRRTransformationGizmo::LineGeometry().size() % 2, 0u);
}

TEST_F(TTools, APressArmsAndOnlyAMoveBeyondTheThresholdDrags) {
  ASSERT_NE(P.M().FindTransformationModifier(), nullptr);
  ASSERT_TRUE(Mouse(RRMsgLButtonDown, 320, 240, RRMKLButton));
  EXPECT_TRUE(Mod().Armed());
  Mouse(RRMsgMouseMove, 324, 244, RRMKLButton);
  EXPECT_EQ(Mod().DragMode(), RRDragNone);
  Mouse(RRMsgMouseMove, 320, 245, RRMKLButton);
  EXPECT_EQ(Mod().DragMode(), RRDragFree);
  Mouse(RRMsgLButtonUp, 320, 245);
  EXPECT_EQ(Mod().DragMode(), RRDragNone);
  // A press beside the selection arms nothing; switched off, nothing drags.
  EXPECT_FALSE(Mouse(RRMsgLButtonDown, 20, 20, RRMKLButton) && Mod().Armed());
  P.M().SetTransformEnabled(false);
  DragTo(360, 240);
  EXPECT_EQ(Mod().DragMode(), RRDragNone);
  EXPECT_FLOAT_EQ(A->WorldPosition().x, 0);
}

TEST_F(TTools, AFreeDragIsOneCommandAndADragBackToTheStartIsNone) {
  DragTo(360, 240);  // to the right: +x
  const float x = A->WorldPosition().x;
  EXPECT_GT(x, 1.0f);
  EXPECT_NEAR(A->WorldPosition().y, 0, 1e-4);
  EXPECT_NEAR(A->WorldPosition().z, 0, 1e-4);
  Mouse(RRMsgMouseMove, 320, 280, RRMKLButton);  // down the screen: -z
  Frame();
  EXPECT_LT(A->WorldPosition().z, -1.0f);
  Mouse(RRMsgLButtonUp, 320, 280);
  ASSERT_EQ(P.Hist->Count(), 1);
  const int32_t id = A->ID();
  P.Hist->Undo();
  TRREntity* back = P.M().FindByID(id);
  ASSERT_NE(back, nullptr);
  EXPECT_NEAR(back->WorldPosition().x, 0, 1e-4);
  EXPECT_NEAR(back->WorldPosition().z, 0, 1e-4);

  // Out and back: the selection ends where it began, nothing is recorded.
  P.M().Selection().Add(back);
  A = back;
  const int before = P.Hist->Count();
  DragTo(360, 240);
  Mouse(RRMsgMouseMove, 320, 240, RRMKLButton);
  Frame();
  Mouse(RRMsgLButtonUp, 320, 240);
  EXPECT_NEAR(A->WorldPosition().x, 0, 0.01);
  EXPECT_EQ(P.Hist->Count(), before);
}

TEST_F(TTools, EscapeUndoAndASelectionChangeEndADragCleanly) {
  // Escape during a turn puts position and orientation back and records nothing.
  Mod().BeginDrag(RRDragRotateY, {0, 1, 0}, {0, 1, 0}, true);
  Mouse(RRMsgMouseMove, 400, 240, RRMKLButton);
  Frame();
  EXPECT_GT(std::fabs(A->WorldRotation().y), 0.1f);
  EXPECT_TRUE(P.Key(RRMsgKeyDown, RRVKEscape));
  EXPECT_NEAR(A->WorldRotation().y, 0, 1e-5);
  EXPECT_NEAR(A->WorldRotation().w, 1, 1e-5);
  Mouse(RRMsgLButtonUp, 400, 240);
  EXPECT_EQ(P.Hist->Count(), 0);

  // Undo in the middle of a drag: the drag becomes a command first, then is taken back.
  DragTo(360, 240);
  const int32_t id = A->ID();
  P.Hist->Undo();
  EXPECT_EQ(P.Hist->Count(), 1);
  A = P.M().FindByID(id);
  ASSERT_NE(A, nullptr);
  EXPECT_NEAR(A->WorldPosition().x, 0, 1e-4);

  // A selection change mid-drag ends it with its command.
  P.M().Selection().Clear();
  P.M().Selection().Add(A);
  DragTo(360, 240);
  const float moved = A->WorldPosition().x;
  P.M().Selection().Clear();
  EXPECT_EQ(P.Hist->Count(), 1);  // the redo step was replaced by the new drag
  EXPECT_EQ(P.Hist->Current(), 0);
  EXPECT_FLOAT_EQ(A->WorldPosition().x, moved);
}

TEST_F(TTools, KeysMoveByATenthAndMarkTheLayoutChangedWithoutACommand) {
  struct TCase {
    int32_t Key;
    TGXVector3 Step;
  } cases[] = {{87, {0, 0, 0.1f}}, {83, {0, 0, -0.1f}}, {65, {-0.1f, 0, 0}},
               {68, {0.1f, 0, 0}}, {81, {0, 0.1f, 0}},  {89, {0, -0.1f, 0}}};
  for (const TCase& c : cases) {
    const TGXVector3 before = A->WorldPosition();
    const int modified = P.Modified;
    EXPECT_TRUE(P.Key(RRMsgKeyDown, c.Key));
    P.Scene.Root()->Update(false);
    const TGXVector3 d = A->WorldPosition() - before;
    EXPECT_NEAR(d.x, c.Step.x, 1e-4);
    EXPECT_NEAR(d.y, c.Step.y, 1e-4);
    EXPECT_NEAR(d.z, c.Step.z, 1e-4);
    EXPECT_EQ(P.Modified, modified + 1);
  }
  EXPECT_FALSE(P.Key(RRMsgKeyDown, 'X'));
  EXPECT_FALSE(P.Key(RRMsgKeyUp, 87));
  EXPECT_EQ(P.Hist->Count(), 0);
}

TEST_F(TTools, PlacementsSnapAndRefusedOnesStay) {
  P.M().Selection().Clear();
  TRREntity* s = P.Make<TSnapDesc>("S");
  P.M().Selection().Add(s);
  struct TCase {
    TGXVector3 Target;
    bool Accepted;
    TGXVector3 Result;
  } cases[] = {
      {{8, 0, 0}, true, {10, 0, 0}},   // near a multiple of 10: snapped
      {{4, 0, 2}, true, {4, 0, 2}},    // too far from one: where it was put
      {{4, -5, 2}, false, {4, 0, 2}},  // refused: stays
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(Mod().ApplyWithSnapping(c.Target, {0, 0, 0, 1}), c.Accepted);
    EXPECT_NEAR(s->WorldPosition().x, c.Result.x, 1e-4);
    EXPECT_NEAR(s->WorldPosition().y, c.Result.y, 1e-4);
    EXPECT_NEAR(s->WorldPosition().z, c.Result.z, 1e-4);
  }
}

TEST_F(TTools, AFreeMoveLandsOnWhatLiesBelowButABaseboardAloneDoesNot) {
  TRREntity* below = P.Model("B", {8, -3, 0});  // its top at y = -2
  (void)below;
  DragTo(440, 240);  // well past B's middle (about +8 at the grab plane)
  ASSERT_GT(A->WorldPosition().x, 6.0f);
  EXPECT_NEAR(A->WorldPosition().y, -2 + 0.01 + 1, 1e-3);  // A's bottom 0.01 above B's top
  Mouse(RRMsgLButtonUp, 440, 240);

  P.M().Selection().Clear();
  TRREntity* panel = P.Make<mgrtest::TPanelDesc>("Platte", {0, 0, 0});
  P.M().Selection().Add(panel);
  Mod().BeginDrag(RRDragFree, {0, 1, 0}, {0, 1, 0}, true);
  Mouse(RRMsgMouseMove, 440, 240, RRMKLButton);
  Frame();
  EXPECT_GT(panel->WorldPosition().x, 6.0f);
  EXPECT_NEAR(panel->WorldPosition().y, 0, 1e-4);
  Mod().EndDrag();
}
