// The track tool driven through the entity manager's modifier stack by input records, as the 3D
// view sends them: picking, chains, snapping, the three drag modes, the IK solver's limits, the
// commands of drags and of the space bar with undo and redo, capture and the tool's lifetime.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackModifier.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/core/GXGeometry.h"
#include "tests/app/ManagerTestSupport.h"

using namespace rr;
using gx::TGXVector3;

namespace {

bool Near(const TGXVector3& a, const TGXVector3& b, float tol) {
  return gx::DistanceSquared(a, b) < tol * tol;
}

// A layout on the test project with a camera whose position the test chooses, and a host that
// counts mouse captures.
struct TToolScene : mgrtest::TTestProject {
  int Captures = 0, Releases = 0;
  void CaptureMouse() override { ++Captures; }
  void ReleaseMouse() override { ++Releases; }
  bool Captured() const { return Captures > Releases; }

  TToolScene() { Look({0, 120, 30}, {0, 0, 30}, {0, 0, 1}); }

  void Look(const TGXVector3& eye, const TGXVector3& at, const TGXVector3& up) {
    gx::TGXNode* camera = Scene.Root()->FindChild("Camera", true);
    camera->SetPosition(eye);
    Scene.Root()->Update(false);
    camera->LookAt(at, up);
    Scene.Root()->Update(false);
  }

  TRRTrack* Make(std::unique_ptr<TRRTrackRouteDesc> route, const TGXVector3& position, float yaw = 0,
                 TRRTrackType type = TRRTrackType::Straight, int routes = 1) {
    TRRTrackDesc d(type);
    for (int i = 1; i < routes; ++i) d.AddRoute(route->Clone());
    d.AddRoute(std::move(route));
    d.SetID(M().NextID());
    M().ReserveIDs(1);
    d.SetPosition(position);
    d.SetRotation(gx::GXQuaternionRotationAxis({0, 1, 0}, yaw));
    auto* t = static_cast<TRRTrack*>(M().CreateEntity(nullptr, d));
    Scene.Root()->Update(false);
    return t;
  }
  TRRTrack* Straight(const TGXVector3& position, float yaw = 0, float length = 20) {
    auto r = std::make_unique<TRRTrackRouteDesc>();
    r->L1 = length;
    return Make(std::move(r), position, yaw);
  }
  TRRTrack* Switch(const TGXVector3& position, TRRTrackType type, int routes) {
    auto r = std::make_unique<TRRTrackRouteDesc>();
    r->L1 = 18;
    return Make(std::move(r), position, 0, type, routes);
  }
  TRRTrack* Flexible(const TGXVector3& position, float length = 30) {
    auto r = std::make_unique<TRRTrackRouteDesc>();
    r->FlexL = length;
    return Make(std::move(r), position, 0, TRRTrackType::Flexible);
  }
  // n straights of 20 joined along +z from the origin.
  std::vector<TRRTrack*> Line(int n) {
    std::vector<TRRTrack*> line;
    for (int i = 0; i < n; ++i) line.push_back(Straight({0, 0, 20.0f * i}));
    return line;
  }
  void Select(const std::vector<TRRTrack*>& tracks) {
    for (TRRTrack* t : tracks) M().Selection().Add(t);
  }
  std::unique_ptr<TRRTrackModifier> Tool(int mode) {
    auto tool = std::make_unique<TRRTrackModifier>(M(), mode);
    M().AddModifier(tool.get());
    return tool;
  }

  // A mouse message at the pixel showing the world point, on a new frame.
  bool Mouse(uint32_t message, const TGXVector3& world, uint32_t buttons = 0) {
    ++Counter;
    Scene.Root()->Update(false);
    gx::TGXViewport* v = View->Viewport(0);
    const TGXVector3 s = gx::GXVec3Project(world, v->Rect(), v->Camera()->GetProjectionMatrix(),
                                           v->Camera()->GetViewMatrix(), gx::TGXMatrix());
    TRRInputRecord r;
    r.Message = message;
    r.Buttons = buttons;
    r.X = static_cast<int32_t>(std::lround(s.x));
    r.Y = static_cast<int32_t>(std::lround(s.y));
    return M().HandleInput(View.Get(), r);
  }
  // Press at from, move to each point, release at the last.
  void Drag(const TGXVector3& from, std::initializer_list<TGXVector3> path) {
    Mouse(RRMsgLButtonDown, from, RRMKLButton);
    TGXVector3 last = from;
    for (const TGXVector3& p : path) Mouse(RRMsgMouseMove, last = p, RRMKLButton);
    Mouse(RRMsgLButtonUp, last);
  }
  // Where the last pick ray meets the ground.
  TGXVector3 GroundHit() const {
    return *gx::RayPlane(Manager->RayOrigin(), Manager->RayDirection(), {0, 1, 0}, 0, false);
  }
};

TRRTrackRouteContact* Contact(TRRTrack* t, int i) { return t->GetRoute(0)->Contact(i); }

// The tracks of a line, looked up again (undo makes them anew).
std::vector<TRRTrack*> Lookup(TToolScene& s, const std::vector<int32_t>& ids) {
  std::vector<TRRTrack*> tracks;
  for (int32_t id : ids) tracks.push_back(dynamic_cast<TRRTrack*>(s.M().FindByID(id)));
  return tracks;
}

std::vector<int32_t> IDs(const std::vector<TRRTrack*>& tracks) {
  std::vector<int32_t> ids;
  for (TRRTrack* t : tracks) ids.push_back(t->ID());
  return ids;
}

}  // namespace

TEST(RRTrackModifier, ModesTrackSelectionAndHighlights) {
  EXPECT_STREQ(RRTrackToolModeTexts[0], "Keine");
  EXPECT_STREQ(RRTrackToolModeTexts[1], "Flexgleis biegen");
  EXPECT_STREQ(RRTrackToolModeTexts[2], "Biegen");
  EXPECT_STREQ(RRTrackToolModeTexts[3], "Anstellen");
  TToolScene s;
  std::vector<TRRTrack*> line = s.Line(2);
  TRRTrack* three = s.Switch({40, 0, 0}, TRRTrackType::ThreeWaySwitch, 3);
  TRRTrack* unselected = s.Straight({-40, 0, 0});
  s.Select({line[0], line[1], three});
  struct TCase {
    int Mode, Expected, Tracks;
  };
  for (TCase c : {TCase{-1, 0, 0}, TCase{7, 0, 0}, TCase{0, 0, 0}, TCase{2, 2, 2}, TCase{3, 3, 2}}) {
    SCOPED_TRACE(c.Mode);
    {
      auto tool = s.Tool(c.Mode);
      EXPECT_EQ(tool->Mode(), c.Expected);
      EXPECT_EQ(TRRTrackModifier::LastMode(), c.Expected);
      EXPECT_EQ(static_cast<int>(tool->TrackIDs().size()), c.Tracks);
      // The switch has three routes: it is not a tool track, but the space bar's.
      EXPECT_EQ(tool->SwitchID(), three->ID());
      EXPECT_EQ(line[0]->Highlight(), c.Tracks ? 1 : 0);
      EXPECT_EQ(three->Highlight(), 0);
      EXPECT_EQ(unselected->Highlight(), 0);
    }
    EXPECT_EQ(line[0]->Highlight(), 0);
    EXPECT_EQ(line[1]->Highlight(), 0);
  }
  // Two switchable tracks selected: none is the space bar's.
  s.Select({s.Switch({60, 0, 0}, TRRTrackType::Switch, 2)});
  EXPECT_EQ(TRRTrackModifier(s.M(), 2).SwitchID(), 0);
}

TEST(RRTrackModifier, PickingTakesTheNearestFreeEndAndBuildsTheChain) {
  TToolScene s;
  std::vector<TRRTrack*> line = s.Line(3);
  TRRTrack* outside = s.Straight({0, 0, -20});  // joined to the first track's start, not selected
  TRRTrack* lone = s.Straight({1.5f, 0, 61});   // its start lies 1.8 from the line's end
  s.Select(line);
  s.Select({lone});
  auto tool = s.Tool(2);

  // The joints between tool tracks are no ends; a joint with a track outside the tool is.
  s.Mouse(RRMsgMouseMove, {0, 0, 20.3f});
  EXPECT_EQ(tool->PickedContact(), nullptr);
  EXPECT_EQ(tool->ChainCount(), 0);
  s.Mouse(RRMsgMouseMove, {0.4f, 0, 0.5f});
  ASSERT_EQ(tool->PickedContact(), Contact(line[0], 0));
  // The chain runs from the picked track away from the picked end.
  ASSERT_EQ(tool->ChainCount(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(tool->ChainContact(i), Contact(line[i], 1));
    EXPECT_EQ(line[i]->Highlight(), 2);
  }
  // Both ends near (60, 61) are hit: the one nearer to the hit point wins.
  s.Mouse(RRMsgMouseMove, {0.6f, 0, 60.4f});
  ASSERT_EQ(tool->PickedContact(), Contact(line[2], 1));
  EXPECT_EQ(tool->ChainContact(2), Contact(line[0], 0));  // the chain runs the other way now
  s.Mouse(RRMsgMouseMove, {0.9f, 0, 60.6f});
  ASSERT_EQ(tool->PickedContact(), Contact(lone, 0));
  EXPECT_EQ(tool->ChainCount(), 1);
  // Hovering off every contact clears the chain back to highlight 1.
  s.Mouse(RRMsgMouseMove, {15, 0, 30});
  EXPECT_EQ(tool->ChainCount(), 0);
  for (TRRTrack* t : line) EXPECT_EQ(t->Highlight(), 1);
  EXPECT_EQ(outside->Highlight(), 0);
  tool.reset();

  // Flexible bending moves one track only.
  TRRTrackModifier flex(s.M(), 1);
  EXPECT_TRUE(flex.Pick({0, 10, 0.2f}, {0, -1, 0}));
  EXPECT_EQ(flex.ChainCount(), 1);
}

TEST(RRTrackModifier, SnapFindsForeignContactsOnly) {
  TToolScene s;
  TRRTrack* flex = s.Flexible({0, 0, 0});
  TRRTrack* other = s.Straight({20, 0, 40}, 1.5707964f);
  s.Select({flex});
  auto tool = s.Tool(1);
  tool->Pick({0, 10, 30}, {0, -1, 0});
  ASSERT_EQ(tool->PickedContact(), Contact(flex, 1));
  EXPECT_EQ(tool->FindContactNear({20.5f, 0, 40.3f}), Contact(other, 0));
  EXPECT_EQ(tool->FindContactNear({21.2f, 0, 40}), nullptr);         // beyond one scale
  EXPECT_EQ(tool->FindContactNear({0, 0, 30.2f}), nullptr);          // the picked track's own end
  EXPECT_EQ(tool->FindContactNear({std::nanf(""), 0, 0}), nullptr);  // nothing is near NaN

  // Dragging the flexible end near the foreign contact lays it onto it, facing it.
  s.Drag({0, 0, 30}, {{10, 0, 36}, {20.4f, 0, 40.3f}});
  TRRTrackRouteContact* end = Contact(flex, 1);
  EXPECT_TRUE(Near(end->GetWorldPosition(), {20, 0, 40}, 1e-3f));
  EXPECT_TRUE(end->Coincides(*Contact(other, 0)));
  EXPECT_LT(gx::GXVec3Dot(end->GetWorldOutward(), Contact(other, 0)->GetWorldOutward()), -0.99f);
}

TEST(RRTrackModifier, FlexibleBendsEitherEndAndRefusesShortBends) {
  struct TCase {
    const char* Name;
    int Index;            // the dragged contact
    TGXVector3 From, To;  // the press and the target
    bool Bends;
  };
  const TCase cases[] = {
      {"end", 1, {0, 0, 30}, {8, 0, 26}, true},
      {"start", 0, {0, 0, 0}, {-6, 0, 4}, true},
      {"end closer than three scales", 1, {0, 0, 30}, {0.5f, 0, 2.5f}, false},
      {"start closer than three scales", 0, {0, 0, 0}, {0.4f, 0, 28}, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TToolScene s;
    TRRTrack* flex = s.Flexible({0, 0, 0});
    s.Select({flex});
    auto tool = s.Tool(1);
    const TRRFlexPointArray before = flex->GetRoute(0)->FlexPoints();
    const TGXVector3 fixedBefore = Contact(flex, c.Index ^ 1)->GetWorldPosition();
    s.Drag(c.From, {c.To});
    const TGXVector3 hit = s.GroundHit();
    EXPECT_FALSE(s.Captured());
    // The other end stays where it was in every case.
    EXPECT_TRUE(Near(Contact(flex, c.Index ^ 1)->GetWorldPosition(), fixedBefore, 1e-3f));
    if (c.Bends) {
      EXPECT_TRUE(Near(Contact(flex, c.Index)->GetWorldPosition(), hit, 1e-3f));
      EXPECT_EQ(s.Hist->Count(), 1);
    } else {
      EXPECT_EQ(flex->GetRoute(0)->FlexPoints(), before);
      EXPECT_TRUE(Near(flex->Position(), {0, 0, 0}, 1e-6f));
      EXPECT_EQ(s.Hist->Count(), 0);  // nothing changed, nothing recorded
    }
  }
}

TEST(RRTrackModifier, ChainBendTurnsEachJointAtMostTheLimitAndKeepsTheChainJoined) {
  TToolScene s;
  std::vector<TRRTrack*> line = s.Line(4);
  s.Select(line);
  auto tool = s.Tool(2);
  const TGXVector3 root = Contact(line[3], 1)->GetWorldPosition();
  // Far off to the side: the solver runs into its limit.
  s.Mouse(RRMsgLButtonDown, {0, 0, 0}, RRMKLButton);
  ASSERT_TRUE(tool->Dragging());
  EXPECT_TRUE(s.Captured());
  for (TGXVector3 p : {TGXVector3{10, 0, 5}, TGXVector3{45, 0, 30}, TGXVector3{-30, 0, 10}}) {
    s.Mouse(RRMsgMouseMove, p, RRMKLButton);
    const TRRTrackIKSolver& ik = tool->IKSolver();
    ASSERT_EQ(ik.JointCount(), 4);
    for (int j = 0; j < 4; ++j) {
      EXPECT_LE(std::fabs(ik.Angle(j)), RRTrackIKMaxAngle + 1e-6f);
      // The track beyond each joint turned by the joint's angle against its neighbour.
      const float total = ik.TotalAngle(j);
      const gx::TGXQuaternion expected = gx::GXQuaternionRotationAxis({0, 1, 0}, total);
      EXPECT_NEAR(std::fabs(gx::GXQuaternionDot(line[3 - j]->WorldRotation(), expected)), 1, 1e-5f);
    }
    EXPECT_TRUE(Near(Contact(line[3], 1)->GetWorldPosition(), root, 1e-4f));
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(Contact(line[i], 1)->Coincides(*Contact(line[i + 1], 0)));
  }
  // Absurd rays leave every track where it is finite.
  const float nan = std::nanf("");
  for (TGXVector3 o : {TGXVector3{nan, 10, 0}, TGXVector3{1e30f, 10, -1e30f}, TGXVector3{3e38f, 10, 3e38f}})
    tool->DragTo(o, {0, -1, 0}, {0, -1, 0});
  for (TRRTrack* t : line)
    EXPECT_TRUE(gx::GXIsFinite(t->WorldPosition()) && gx::GXIsFinite(t->WorldRotation()));
  // Within reach the picked end comes close to the mouse (the descent stops after 100 steps).
  s.Mouse(RRMsgMouseMove, {6, 0, 1}, RRMKLButton);
  EXPECT_LT(gx::DistanceSquared(Contact(line[0], 0)->GetWorldPosition(), s.GroundHit()), 0.5f * 0.5f);
  s.Mouse(RRMsgLButtonUp, {6, 0, 1});
  EXPECT_FALSE(s.Captured());
  ASSERT_EQ(s.Hist->Count(), 1);
  EXPECT_EQ(s.Hist->Command(0)->ChildCount(), 4);
}

TEST(RRTrackModifier, IKSolverNeverTurnsPastTheLimitNorMakesNaN) {
  const float nan = std::nanf("");
  struct TCase {
    const char* Name;
    std::vector<TGXVector3> Joints;
    TGXVector3 End, Axis, Target;
  };
  const TCase cases[] = {
      {"out of reach", {{0, 0, 60}, {0, 0, 40}, {0, 0, 20}}, {0, 0, 0}, {0, 1, 0}, {200, 0, -50}},
      {"behind the root", {{0, 0, 60}, {0, 0, 40}}, {0, 0, 20}, {0, 1, 0}, {0, 0, 100}},
      {"end on a joint", {{0, 0, 60}, {0, 0, 40}, {0, 0, 40}}, {0, 0, 40}, {0, 1, 0}, {5, 0, 30}},
      {"target on a joint", {{0, 0, 60}, {0, 0, 40}}, {0, 0, 20}, {0, 1, 0}, {0, 0, 40}},
      {"zero axis", {{0, 0, 60}, {0, 0, 40}}, {0, 0, 20}, {0, 0, 0}, {5, 0, 20}},
      {"NaN target", {{0, 0, 60}, {0, 0, 40}}, {0, 0, 20}, {0, 1, 0}, {nan, 0, 1}},
      {"NaN axis", {{0, 0, 60}}, {0, 0, 20}, {nan, 1, 0}, {5, 0, 20}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TRRTrackIKSolver ik;
    ik.Setup(c.Joints, c.End, c.Axis, 1);
    ik.Solve(c.Target);
    for (int j = 0; j < ik.JointCount(); ++j) {
      EXPECT_TRUE(std::isfinite(ik.Angle(j)));
      EXPECT_LE(std::fabs(ik.Angle(j)), RRTrackIKMaxAngle + 1e-6f);
      EXPECT_TRUE(gx::GXIsFinite(ik.JointPosition(j)));
    }
    EXPECT_TRUE(gx::GXIsFinite(ik.EndEffector()));
  }
  // Within reach it comes close, and says whether it got within 0.2 scales.
  for (TGXVector3 target : {TGXVector3{5.99f, 0, 0.3f}, TGXVector3{4, 0, 1}, TGXVector3{-2, 0, 0.5f}}) {
    TRRTrackIKSolver ik;
    ik.Setup({{0, 0, 60}, {0, 0, 40}, {0, 0, 20}}, {0, 0, 0}, {0, 1, 0}, 1);
    const bool reached = ik.Solve(target);
    const float d = gx::DistanceSquared(ik.EndEffector(), target);
    EXPECT_EQ(reached, d <= 0.04f + 1e-6f);
    EXPECT_LT(d, 0.8f * 0.8f);
  }
}

TEST(RRTrackModifier, GradientTiltsTheChainTowardsTheMouse) {
  TToolScene s;
  s.Look({80, 40, 0}, {0, 0, 0}, {0, 1, 0});
  std::vector<TRRTrack*> line = s.Line(3);
  s.Select(line);
  auto tool = s.Tool(3);
  const TGXVector3 root = Contact(line[2], 1)->GetWorldPosition();
  s.Drag({0, 0, 0}, {{0, 2, 0}, {0, 4, 0}});
  const TGXVector3 picked = Contact(line[0], 0)->GetWorldPosition();
  EXPECT_NEAR(picked.y, 4, 0.3f);
  EXPECT_LT(tool->GradientAngle(), 0);
  EXPECT_LE(std::fabs(tool->GradientAngle()), RRTrackGradientMaxAngle + 1e-6f);
  EXPECT_TRUE(Near(Contact(line[2], 1)->GetWorldPosition(), root, 1e-4f));
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(Contact(line[i], 1)->Coincides(*Contact(line[i + 1], 0)));
  // Every track has the same slope: one straight ramp.
  for (TRRTrack* t : line)
    EXPECT_NEAR(Contact(t, 0)->GetWorldPosition().y - Contact(t, 1)->GetWorldPosition().y, picked.y / 3,
                0.01f);
  EXPECT_EQ(s.Hist->Count(), 1);
}

TEST(RRTrackModifier, EachDragIsOneCommandThatUndoesAndRedoes) {
  struct TCase {
    int Mode;
    TGXVector3 From, To;
  };
  for (TCase c : {TCase{1, {0, 0, 40}, {8, 0, 32}}, TCase{2, {0, 0, 40}, {5, 0, 38}},
                  TCase{2, {0, 0, 0}, {-5, 0, 2}}}) {
    SCOPED_TRACE(c.Mode);
    TToolScene s;
    std::vector<TRRTrack*> line = {s.Straight({0, 0, 0}), s.Flexible({0, 0, 20}, 20)};
    const std::vector<int32_t> ids = IDs(line);
    s.Select(line);
    auto tool = s.Tool(c.Mode);
    auto state = [&] {
      std::string text;
      for (TRRTrack* t : Lookup(s, ids)) {
        const TGXVector3 p = t->Position();
        const gx::TGXQuaternion q = t->Rotation();
        for (float v : {p.x, p.y, p.z, q.x, q.y, q.z, q.w}) text += std::to_string(v) + " ";
        for (const TRRFlexPoint& f : t->GetRoute(0)->FlexPoints()) text += std::to_string(f.PosX) + " ";
        text += ";";
      }
      return text;
    };
    const std::string before = state();
    // A press without a move records nothing.
    s.Drag(c.From, {});
    EXPECT_EQ(s.Hist->Count(), 0);
    s.Drag(c.From, {c.To});
    const std::string after = state();
    ASSERT_NE(after, before);
    ASSERT_EQ(s.Hist->Count(), 1);
    EXPECT_EQ(s.Hist->Command(0)->ChildCount(), tool->ChainCount());
    s.Hist->Undo();
    EXPECT_EQ(state(), before);
    // The tool follows the tracks made anew.
    tool->Tick();
    for (TRRTrack* t : Lookup(s, ids)) EXPECT_NE(t->Highlight(), 0);
    s.Hist->Redo();
    EXPECT_EQ(state(), after);
  }
}

TEST(RRTrackModifier, SpaceBarCyclesTheSwitchAsCommands) {
  TToolScene s;
  TRRTrack* sw = s.Switch({0, 0, 0}, TRRTrackType::ThreeWaySwitch, 3);
  const int32_t id = sw->ID();
  s.Select({sw});
  auto tool = s.Tool(0);
  auto active = [&] { return static_cast<TRRTrack*>(s.M().FindByID(id))->ActiveRoute(); };
  EXPECT_FALSE(s.Key(RRMsgKeyUp, RRVKSpace));
  EXPECT_FALSE(s.Key(RRMsgKeyDown, 'B'));
  for (int expected : {1, 2, 0}) {
    EXPECT_TRUE(s.Key(RRMsgKeyDown, RRVKSpace));
    EXPECT_EQ(active(), expected);
  }
  EXPECT_EQ(s.Hist->Count(), 3);
  s.Hist->Undo();
  EXPECT_EQ(active(), 2);
  s.Hist->Undo();
  EXPECT_EQ(active(), 1);
  // The switch made anew by undo still answers the space bar.
  EXPECT_TRUE(s.Key(RRMsgKeyDown, RRVKSpace));
  EXPECT_EQ(active(), 2);
  EXPECT_FALSE(s.Hist->CanRedo());
}

TEST(RRTrackModifier, UndoDuringADragCancelsIt) {
  TToolScene s;
  std::vector<TRRTrack*> line = s.Line(3);
  const std::vector<int32_t> ids = IDs(line);
  s.Select(line);
  auto tool = s.Tool(2);
  s.Drag({0, 0, 0}, {{4, 0, 1}});
  ASSERT_EQ(s.Hist->Count(), 1);
  const TGXVector3 first = Contact(Lookup(s, ids)[0], 0)->GetWorldPosition();

  s.Mouse(RRMsgLButtonDown, first, RRMKLButton);
  s.Mouse(RRMsgMouseMove, {-4, 0, 1}, RRMKLButton);
  ASSERT_TRUE(tool->Dragging());
  s.Hist->Undo();  // frees the chain's tracks and makes them as they were before the first drag
  s.Mouse(RRMsgMouseMove, {-6, 0, 2}, RRMKLButton);
  EXPECT_FALSE(tool->Dragging());
  EXPECT_FALSE(s.Captured());
  s.Mouse(RRMsgLButtonUp, {-6, 0, 2});
  EXPECT_EQ(s.Hist->Count(), 1);
  EXPECT_TRUE(s.Hist->CanRedo());
  for (TRRTrack* t : Lookup(s, ids)) {
    EXPECT_TRUE(Near(t->Position(), {0, 0, t->Position().z}, 1e-4f));
    EXPECT_EQ(t->Highlight(), 1);
  }
}

TEST(RRTrackModifier, CaptureEndsWithTheDragDeactivationAndDestruction) {
  for (int end = 0; end < 3; ++end) {
    SCOPED_TRACE(end);
    TToolScene s;
    std::vector<TRRTrack*> line = s.Line(2);
    s.Select(line);
    auto tool = s.Tool(2);
    s.Mouse(RRMsgLButtonDown, {0, 0, 0}, RRMKLButton);
    s.Mouse(RRMsgMouseMove, {3, 0, 1}, RRMKLButton);
    ASSERT_TRUE(s.Captured());
    if (end == 0) s.Mouse(RRMsgLButtonUp, {3, 0, 1});
    if (end == 1) tool->Deactivate();
    if (end == 2) tool.reset();
    EXPECT_FALSE(s.Captured());
    EXPECT_EQ(s.Releases, 1);
    // What the drag did is kept and recorded.
    EXPECT_EQ(s.Hist->Count(), 1);
    // The chain stays marked until the mouse moves on.
    EXPECT_EQ(line[0]->Highlight(), end == 2 ? 0 : 2);
  }
}

TEST(RRTrackModifier, DeletedTracksDropOut) {
  TToolScene s;
  std::vector<TRRTrack*> line = s.Line(3);
  s.Select(line);
  auto tool = s.Tool(2);
  s.Mouse(RRMsgMouseMove, {0, 0, 0.3f});
  ASSERT_EQ(tool->ChainCount(), 3);
  delete line[1];
  tool->Tick();
  EXPECT_EQ(tool->TrackIDs().size(), 2u);
  EXPECT_EQ(tool->ChainCount(), 0);
  // The chain now ends at the gap.
  s.Mouse(RRMsgMouseMove, {0, 0, 0.3f});
  EXPECT_EQ(tool->ChainCount(), 1);
  tool.reset();
  EXPECT_EQ(line[0]->Highlight(), 0);
  EXPECT_EQ(line[2]->Highlight(), 0);
}
