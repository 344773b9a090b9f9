// The gizmo and the transformation modifier on the manager's test project, with the camera
// turned to look straight down from 50 above the origin (screen right is +x, screen up is +z):
// the gizmo's size and picking, arming and the drag threshold, free and axis moves, turning,
// snapping and refused placements, the drop onto what lies below, keys, Escape, and what ends up
// on the history.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "app/RRInput.h"
#include "app/edit/RRCatalogDrop.h"
#include "app/edit/RROverlay.h"
#include "app/edit/RRTransformationGizmo.h"
#include "app/edit/RRTransformationModifier.h"
#include "app/entities/RREntityRegistry.h"
#include "engine/render/GXRenderTarget.h"
#include "engine/render/GXScene.h"
#include "engine/render/GXViewport.h"
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
  // A press beside the selection arms nothing (it clears the selection and starts a rectangle);
  // switched off, nothing drags.
  Mouse(RRMsgLButtonDown, 20, 20, RRMKLButton);
  EXPECT_TRUE(P.M().FindTransformationModifier() == nullptr || !Mod().Armed());
  Mouse(RRMsgLButtonUp, 20, 20);
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

// ---- the overlay: rectangle selection, the gizmo's node and viewport, the selection marks ----

TEST_F(TTools, ARectangleSelectsTheUnlockedEntitiesItCoversAndControlAdds) {
  TRREntity* b = P.Model("B", {10, 0, 0});  // 150 pixels right of A
  TRREntity* c = P.Model("C", {-15, 0, 0});
  TRREntity* locked = P.Model("D", {5, 0, -4});
  locked->SetLocked(true);
  TRREntity* panel = P.Make<mgrtest::TPanelDesc>("Platte", {0, -5, 0});
  P.M().Selection().Clear();
  struct {
    int X0, Y0, X1, Y1;
    uint32_t Buttons;
    bool Escape;
    bool A, B, C;
  } cases[] = {
      {300, 200, 500, 300, 0, false, true, true, false},            // A and B, not D or the board
      {450, 200, 500, 280, 0, false, false, true, false},           // B alone, instead of both
      {280, 220, 360, 260, RRMKControl, false, true, true, false},  // Control adds A
      {600, 10, 630, 40, 0, false, false, false, false},            // an empty rectangle
      {10, 200, 500, 300, 0, true, false, false, false},            // Escape drops the band
  };
  TRROverlay& overlay = *P.M().Overlay();
  for (const auto& k : cases) {
    SCOPED_TRACE(k.X0);
    ASSERT_TRUE(Mouse(RRMsgLButtonDown, k.X0, k.Y0, RRMKLButton | k.Buttons));
    EXPECT_TRUE(overlay.BandActive());
    Mouse(RRMsgMouseMove, k.X1, k.Y1, RRMKLButton | k.Buttons);
    EXPECT_TRUE(overlay.Border().BandShown());
    if (k.Escape) {
      EXPECT_TRUE(P.Key(RRMsgKeyDown, RRVKEscape));
    }
    Mouse(RRMsgLButtonUp, k.X1, k.Y1, k.Buttons);
    EXPECT_FALSE(overlay.BandActive());
    EXPECT_FALSE(overlay.Border().BandShown());
    EXPECT_EQ(A->Selected(), k.A);
    EXPECT_EQ(b->Selected(), k.B);
    EXPECT_EQ(c->Selected(), k.C);
    EXPECT_FALSE(locked->Selected());
    EXPECT_FALSE(panel->Selected());
  }
  // A press that barely moves is a click on empty ground: nothing is selected.
  Mouse(RRMsgLButtonDown, 300, 200, RRMKLButton);
  Mouse(RRMsgLButtonUp, 302, 201);
  EXPECT_TRUE(P.M().Selection().Empty());
}

TEST_F(TTools, TheOverlayDrawsThePlacedGizmoOverTheViewOnlyWhileOneIsShown) {
  TRROverlay& overlay = *P.M().Overlay();
  ASSERT_NE(overlay.Viewport(), nullptr);
  EXPECT_EQ(overlay.Viewport()->ClearFlags(), uint32_t(gx::GXClearZBuffer));
  EXPECT_EQ(overlay.Viewport()->Scene(), &overlay.Scene());
  Frame();
  TRRTransformationGizmo* gizmo = P.M().Gizmo();
  ASSERT_TRUE(gizmo && gizmo->Shown());
  EXPECT_EQ(gizmo->Node(), overlay.GizmoNode());
  EXPECT_EQ(overlay.Scene().FindNode(RRGizmoNodeName), overlay.GizmoNode());
  EXPECT_TRUE(overlay.Viewport()->Enabled());
  EXPECT_EQ(overlay.Viewport()->Camera(), P.M().ViewCamera());
  overlay.Scene().Root()->Update(false);
  const gx::TGXVector3 centre = overlay.GizmoNode()->WorldPosition();
  EXPECT_NEAR(gx::GXVec3Length(centre - P.M().Selection().Centre()), 0, 1e-4f);
  EXPECT_NEAR(overlay.GizmoNode()->Scale().x, gizmo->Scale(), 1e-5f);
  // The gizmo answers no ray of the layout's picks.
  EXPECT_EQ(overlay.Scene().Pick({0, 50, 0}, {0, -1, 0}).Object, nullptr);

  P.M().Selection().Clear();
  Frame();
  EXPECT_FALSE(overlay.GizmoNode()->Visible());
  EXPECT_FALSE(overlay.Viewport()->Enabled());
}

TEST(TransformationGizmo, DrawingFollowsHighlightsAndTheFlatView) {
  TRRTransformationGizmo g;
  auto stats = [&g](uint32_t colour) {
    int count = 0;
    float maxY = 0;
    for (const TRRGizmoVertex& v : g.DrawVertices()) {
      count += v.Color == colour;
      maxY = std::max(maxY, std::fabs(v.Y));
    }
    return std::pair{count, maxY};
  };
  const uint32_t yellow = TRRTransformationGizmo::HandleColour(RRGizmoRingX, RRGizmoHighlighted);
  EXPECT_EQ(stats(yellow).first, 0);
  g.SetHighlight(RRGizmoRingX, RRGizmoHighlighted);
  EXPECT_EQ(stats(yellow).first, 32 * 6);  // the ring's 32 segments, two triangles each
  g.HighlightForMode(RRDragMoveX);
  const auto [arrow, height] = stats(yellow);
  EXPECT_GT(arrow, 6);  // the X axis, its letter and its head
  EXPECT_NEAR(height, 1, 1e-5f);
  for (const TRRGizmoVertex& v : g.DrawVertices())
    if (v.Color != yellow) {
      ASSERT_LT(v.Color >> 24, 0xFFu);  // the others dimmed
    }
  // Seen from above only the X and Z arrows and the ring about Y are drawn: all near y = 0.
  g.HighlightForMode(RRDragNone);
  g.SetFlatView(true);
  EXPECT_LT(stats(yellow).second, 0.1f);
  for (size_t line = 0; line < 107; ++line) {
    const int h = TRRTransformationGizmo::HandleOfLine(line);
    ASSERT_TRUE(h == 1 || h == 2 || h == 3 || h == 7 || h == 8 || h == 9) << line;
  }
  EXPECT_EQ(TRRTransformationGizmo::LineGeometry().size(), 2u * 107u);
}

TEST(SelectionBox, CornerMarksRunAQuarterAlongEachEdgeFromEveryCorner) {
  const gx::TGXBoundingBox box = gx::BoxFromMinMax({0, 0, 0}, {4, 8, 12});
  const std::vector<TRRBorderVertex> v = RRBoxCornerLines(box, 0xFF00FF00);
  ASSERT_EQ(v.size(), 48u);
  for (size_t i = 0; i < v.size(); i += 2) {
    const TGXVector3 a{v[i].X, v[i].Y, v[i].Z}, b{v[i + 1].X, v[i + 1].Y, v[i + 1].Z};
    for (int axis = 0; axis < 3; ++axis) ASSERT_TRUE(a[axis] == 0 || a[axis] == box.Max()[axis]);
    const TGXVector3 d = b - a;
    const int moved = (d.x != 0) + (d.y != 0) + (d.z != 0);
    ASSERT_EQ(moved, 1);
    const float len = gx::GXVec3Length(d);
    ASSERT_TRUE(len == 1 || len == 2 || len == 3) << len;
    ASSERT_TRUE(gx::BoxContains(box, b));
  }
  EXPECT_TRUE(RRBoxCornerLines(gx::TGXBoundingBox(), 0).empty());
}

TEST_F(TTools, ASelectedEntityCarriesItsMarksWithoutChangingItsBoxOrItsPicks) {
  auto marks = [this] {
    int n = 0;
    for (int i = 0; i < A->ObjectCount(); ++i) n += dynamic_cast<TRRSelectionBox*>(A->Objects().At(i)) != nullptr;
    return n;
  };
  EXPECT_EQ(marks(), 1);
  P.Scene.Root()->Update(false);
  const gx::TGXPickResult hit = P.Scene.Pick({0, 50, 0}, {0, -1, 0});
  ASSERT_NE(hit.Object, nullptr);
  EXPECT_EQ(dynamic_cast<TRRSelectionBox*>(hit.Object), nullptr);
  for (int i = 0; i < A->ObjectCount(); ++i)
    if (auto* box = dynamic_cast<TRRSelectionBox*>(A->Objects().At(i))) {
      EXPECT_TRUE(box->LocalBounds().Empty);
      EXPECT_FALSE(box->MarkedBox().Empty);
    }
  P.M().Selection().Clear();
  EXPECT_EQ(marks(), 0);
}

// ---- dragging an object from the catalogue into the view ----

TEST_F(TTools, CatalogDropCreatesMovesAndRecordsOneCommand) {
  mgrtest::TModelDesc d;
  d.Name().SetUserText("Neu");
  const int commands = P.Hist->Count();
  const int32_t next = P.M().NextID();
  {
    TRRCatalogDrop drop(P.M(), d, 2);
    EXPECT_EQ(drop.Entity(), nullptr);
    ASSERT_TRUE(drop.Over(400, 240));
    TRREntity* e = drop.Entity();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->ID(), next);
    EXPECT_EQ(P.M().NextID(), next + 1);
    EXPECT_FLOAT_EQ(e->Scale().x, 2);
    ASSERT_EQ(P.M().Selection().Count(), 1);
    EXPECT_EQ(P.M().Selection().First(), e);
    Frame();
    const float x0 = e->WorldPosition().x;
    EXPECT_GT(x0, 0);  // right of the middle
    ASSERT_TRUE(drop.Over(480, 240));
    Frame();
    EXPECT_GT(e->WorldPosition().x, x0 + 1);
    EXPECT_EQ(P.Hist->Count(), commands);  // the move itself records nothing
    EXPECT_EQ(drop.Drop(), e);
    EXPECT_FALSE(drop.Over(500, 240));  // finished
  }
  // Still there after the drop object is gone; one command takes it back and brings it again.
  ASSERT_EQ(P.Hist->Count(), commands + 1);
  ASSERT_NE(P.M().FindByID(next), nullptr);
  P.Hist->Undo();
  EXPECT_EQ(P.M().FindByID(next), nullptr);
  EXPECT_NE(P.M().FindByID(A->ID()), nullptr);
  P.Hist->Redo();
  ASSERT_NE(P.M().FindByID(next), nullptr);
  EXPECT_FLOAT_EQ(P.M().FindByID(next)->Scale().x, 2);
}

TEST_F(TTools, CatalogDropCancelledOrRefusedLeavesNothing) {
  mgrtest::TModelDesc d;
  const int commands = P.Hist->Count();
  auto live = [&] {
    int n = 0;
    for (int i = 0; i < P.M().EntitySlotCount(); ++i) n += P.M().EntitySlot(i) != nullptr;
    return n;
  };
  const int entities = live();
  struct TCase {
    const char* Name;
    bool Overlay, Enter, Cancel;
  } cases[] = {
      {"cancelled", true, true, true},
      {"gone without a drop", true, true, false},
      {"no overlay", false, true, false},
      {"never over the view", true, false, false},
  };
  for (const TCase& c : cases) {
    P.M().SetShowOverlay(c.Overlay);
    {
      TRRCatalogDrop drop(P.M(), d);
      if (c.Enter) {
        EXPECT_EQ(drop.Over(320, 240), c.Overlay) << c.Name;
        Frame();
      }
      if (c.Cancel) drop.Cancel();
    }
    EXPECT_EQ(live(), entities) << c.Name;
    EXPECT_EQ(P.Hist->Count(), commands) << c.Name;
    ASSERT_EQ(P.M().Selection().Count(), 1) << c.Name;
    EXPECT_EQ(P.M().Selection().First(), A) << c.Name;
  }
  P.M().SetShowOverlay(true);
  // A drop with nothing created records nothing.
  TRRCatalogDrop drop(P.M(), d);
  EXPECT_EQ(drop.Drop(), nullptr);
  EXPECT_EQ(P.Hist->Count(), commands);
}
