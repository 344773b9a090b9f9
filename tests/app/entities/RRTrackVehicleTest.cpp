// Rolling stock on a test layout: straight pieces joined end to end along +Z (a crossing or a
// switch where a case needs one), vehicles 10 long with bogies 7 apart (or without bogies), read
// from model files with their geometry left out. Positions are checked against distances worked
// out by hand from the pieces' lengths.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <limits>

#include "app/RREntityManager.h"
#include "app/RREventActions.h"
#include "app/RREventConditions.h"
#include "app/RREvents.h"
#include "app/RRInput.h"
#include "app/entities/RRController.h"
#include "app/entities/RRSignal.h"
#include "app/entities/RRTrackVehicle.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackConnections.h"
#include "app/entities/track/RRTrackEvents.h"
#include "app/entities/track/RRTrackSystems.h"
#include "engine/core/GXGeometry.h"
#include "engine/core/GXSerialization.h"
#include "engine/core/GXStream.h"
#include "tests/app/ManagerTestSupport.h"
#include "tests/app/MaterialTestSupport.h"
#include "tests/app/ModelTestSupport.h"

using namespace rr;

namespace {

constexpr const char* kPackage = "{0D5E8A7C-3B21-4F0E-9A6D-5C4B3A291807}";
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// A vehicle 10 long (z -5..5) and 2 wide; with bogies "Rad0"/"Rad1" at z +-3.5, each with a
// wheel set "radanimN", and a headlight cone "lk0" that sticks out in front (hidden, so it does
// not count for the length).
gx::TGXModelData VehicleModel(bool bogies) {
  gx::TGXModelData data;
  data.Format = gx::EGXModelFormat::XFile;
  gx::TGXModelMesh body, bogie, cone;
  body.Name = "Kasten";
  modeltest::AddBox(body, {-1, 0.4f, -5}, {1, 2.5f, 5});
  modeltest::CloseSubMesh(body, 0, gx::GXModelColorName(0.6f, 0.1f, 0.1f, 1));
  gx::GXModelCalculateBounds(body);
  bogie.Name = "Drehgestell";
  modeltest::AddBox(bogie, {-0.8f, 0, -0.8f}, {0.8f, 0.4f, 0.8f});
  modeltest::CloseSubMesh(bogie, 0, gx::GXModelColorName(0.1f, 0.1f, 0.1f, 1));
  gx::GXModelCalculateBounds(bogie);
  cone.Name = "Kegel";
  modeltest::AddBox(cone, {-0.5f, 0.5f, 5}, {0.5f, 1.5f, 12});
  modeltest::CloseSubMesh(cone, 0, gx::GXModelColorName(1, 1, 0.6f, 0.3f));
  gx::GXModelCalculateBounds(cone);
  data.Meshes = {body, bogie, cone};
  gx::TGXModelNode root{"Fahrzeug", -1, {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1}, {0}};
  data.Nodes.push_back(root);
  data.Nodes.push_back({"lk0", 0, {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1}, {2}});
  if (bogies) {
    data.Nodes.push_back({"Rad1", 0, {0, 0, -3.5f}, {0, 0, 0, 1}, {1, 1, 1}, {}});
    data.Nodes.push_back({"radanim1", 2, {0, 0.2f, 0}, {0, 0, 0, 1}, {1, 1, 1}, {1}});
    data.Nodes.push_back({"Rad0", 0, {0, 0, 3.5f}, {0, 0, 0, 1}, {1, 1, 1}, {}});
    data.Nodes.push_back({"radanim0", 4, {0, 0.2f, 0}, {0, 0, 0, 1}, {1, 1, 1}, {1}});
  } else {
    data.Nodes.push_back({"Unterbau", 0, {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1}, {1}});
  }
  return data;
}

// A manager whose project records what the tracks and vehicles report.
struct TRecordingProject : mgrtest::TTestProject, IRREventNotifier {
  IRREventNotifier* EventNotifier() override { return this; }
  void Notify(TRRConditionKind kind, const TRREventNotification& n) override {
    EXPECT_EQ(n.SubjectID, n.Subject ? n.Subject->ID() : 0);
    Events.push_back({kind, n.SubjectID, n.TrackID, n.RouteIndex});
    if (EventManager) EventManager->Notify(kind, n);
  }
  TRREventManager* EventManager = nullptr;
  struct TEvent {
    TRRConditionKind Kind;
    int32_t Subject, Track, Route;
    bool operator==(const TEvent&) const = default;
  };
  std::vector<TEvent> Events;
};

class TrackVehicle : public test::TMaterialTest {
 protected:
  void SetUp() override {
    TMaterialTest::SetUp();
    Models = std::make_unique<modeltest::TGeometryFreeModels>(&Resources);
    Install();
    PutFile(std::string(kPackage) + "\\Wagen.x", modeltest::Write(VehicleModel(true)));
    PutFile(std::string(kPackage) + "\\Lore.x", modeltest::Write(VehicleModel(false)));
    PutFile(std::string(kPackage) + "\\Signal.x", modeltest::Write(modeltest::Windmill(gx::EGXModelFormat::XFile)));
    P = std::make_unique<TRecordingProject>();
  }
  void TearDown() override {
    P.reset();
    TRRModelServices::Clear();
    Models.reset();
    TMaterialTest::TearDown();
  }

  TRREntityManager& M() { return P->M(); }

  // A piece whose route 0 starts where the last piece ended (at the origin for the first one).
  TRRTrack* Piece(TRRTrackType type, std::vector<float> lengths, float slope = 0, int system = RRTrackSystemH0) {
    TRRTrackDesc d(type);
    d.SetTrackWidth(static_cast<uint8_t>(system));
    d.SetID(M().NextID());
    M().ReserveIDs(1);
    for (float l : lengths) {
      auto r = std::make_unique<TRRTrackRouteDesc>();
      r->L1 = l;
      d.AddRoute(std::move(r));
    }
    if (type == TRRTrackType::Crossing) d.Route(1)->Rotation = 1.2f;
    d.SetRotation(gx::GXQuaternionRotationAxis({1, 0, 0}, -std::atan(slope)));
    auto* t = static_cast<TRRTrack*>(M().CreateEntity(nullptr, d));
    t->Update(true);
    TRRTrackRoute* r = t->GetRoute(0);
    const gx::TGXVector3 start = r->Contact(0)->GetWorldPosition();
    t->SetPosition(t->Position() + (End - start));
    t->Update(true);
    End = r->Contact(1)->GetWorldPosition();
    RRRefreshConnections(M().Tracks());
    return t;
  }

  TRRTrackVehicle* Vehicle(TRRTrack* track, float position, int direction = 0, bool engine = false,
                           float target = 0, const char* model = "Wagen.x") {
    TRRTrackVehicleDesc d;
    d.SetID(M().NextID());
    M().ReserveIDs(1);
    d.ModelFile() = {TRRAssetFileName(model, std::string(kPackage) + "\\" + model), {}};
    d.ForwardAxis = 1;  // + Z
    d.TrackID = track->ID();
    d.RoutePosition = position;
    d.RouteDirection = static_cast<uint8_t>(direction);
    d.HasEngine = engine;
    d.TargetSpeed = target;
    d.CurrentSpeed = target;
    return static_cast<TRRTrackVehicle*>(M().CreateEntity(nullptr, d));
  }

  // One frame of the layout as the project's frame step runs it: the scene brought up to date,
  // then every entity's animation, in ID order.
  void Frame(float dt) {
    P->Scene.Root()->Update(false);
    M().AnimateEntities(true, dt);
  }

  // Where along the line of pieces a vehicle's pivot stands (they run along +Z).
  static float At(TRRTrackVehicle* v) { return v->WorldPivot().z; }

  std::unique_ptr<modeltest::TGeometryFreeModels> Models;
  std::unique_ptr<TRecordingProject> P;
  gx::TGXVector3 End{0, 0, 0};
};

}  // namespace

TEST(TrackVehicleDesc, PayloadVersionsAndDamagedNumbers) {
  TRRTrackVehicleDesc d;
  d.ForwardAxis = 4;
  d.TrackID = 17;
  d.RouteIndex = 1;
  d.RoutePosition = 3.5f;
  d.RouteDirection = 1;
  d.HasEngine = true;
  d.UnlockSwitches = false;
  d.AutomaticScaling = false;
  d.TargetSpeed = 40;
  d.CurrentSpeed = -12;
  d.Sound = TRRAssetFileName("Lok.wav");
  d.SoundEnabled = true;
  d.AdaptSpeed = false;
  d.BaselineOffset = 0.25f;
  gx::TGXMemoryStream s;
  d.SaveToStream(s);
  s.SetPosition(0);
  TRRTrackVehicleDesc back;
  back.LoadFromStream(s);
  EXPECT_EQ(back.ForwardAxis, 4);
  EXPECT_EQ(back.TrackID, 17);
  EXPECT_EQ(back.RouteIndex, 1);
  EXPECT_EQ(back.RouteDirection, 1);
  EXPECT_FALSE(back.UnlockSwitches);
  EXPECT_FALSE(back.AutomaticScaling);
  EXPECT_FLOAT_EQ(back.CurrentSpeed, -12);
  EXPECT_EQ(back.Sound.FileName, "Lok.wav");
  EXPECT_FALSE(back.AdaptSpeed);
  EXPECT_FLOAT_EQ(back.BaselineOffset, 0.25f);
  EXPECT_EQ(s.Position(), s.Size());

  // Older versions lack bytes; damaged numbers and unknown axes read as harmless values.
  struct TCase {
    int32_t Version;
    uint8_t Axis;
    float Target, Current;
    uint8_t WantAxis;
    float WantTarget, WantCurrent;
  } cases[] = {{1, 0, 30, 30, 0, 30, 30},      {2, 9, kNaN, kInf, 0, 0, 0},
               {3, 2, 100, -1e30f, 2, 75, -142.5f}, {3, 5, -100, 150, 5, -75, 142.5f}};
  for (const TCase& c : cases) {
    gx::TGXMemoryStream m;
    TRRModelDesc().SaveToStream(m);
    gx::WriteInteger(m, c.Version);
    if (c.Version >= 2) gx::WriteByte(m, c.Axis);
    gx::WriteInteger(m, 5);
    gx::WriteInteger(m, 0);
    gx::WriteSingle(m, kNaN);
    for (int i = 0; i < (c.Version >= 2 ? 5 : 4); ++i) gx::WriteByte(m, 1);
    gx::WriteSingle(m, c.Target);
    gx::WriteSingle(m, c.Current);
    TRRAssetFileName().WriteToStream(m);
    gx::WriteByte(m, 0);
    TRRModelFileName().WriteToStream(m);
    gx::WriteSingle(m, 0);
    if (c.Version >= 3) {
      gx::WriteByte(m, 0);
      gx::WriteSingle(m, kInf);
    }
    m.SetPosition(0);
    TRRTrackVehicleDesc r;
    r.LoadFromStream(m);
    EXPECT_EQ(r.ForwardAxis, c.WantAxis) << c.Version;
    EXPECT_FLOAT_EQ(r.TargetSpeed, c.WantTarget) << c.Version;
    EXPECT_FLOAT_EQ(r.CurrentSpeed, c.WantCurrent) << c.Version;
    EXPECT_EQ(r.RoutePosition, 0) << c.Version;
    EXPECT_EQ(r.AdaptSpeed, c.Version < 3) << c.Version;
    EXPECT_EQ(r.BaselineOffset, 0) << c.Version;
    EXPECT_EQ(m.Position(), m.Size()) << c.Version;
  }
  gx::TGXMemoryStream bad;
  TRRModelDesc().SaveToStream(bad);
  gx::WriteInteger(bad, 4);
  bad.SetPosition(0);
  TRRTrackVehicleDesc r;
  EXPECT_THROW(r.LoadFromStream(bad), EUnknownEntityDescription);
}

TEST(TrackVehicleAxes, EveryForwardAxisTurnsOntoZWithYUp) {
  for (int i = 0; i < RRForwardAxisCount; ++i) {
    const gx::TGXQuaternion q = RRForwardAlignment(i);
    const gx::TGXVector3 f = gx::RotateVector(RRForwardAxis(i), q);
    EXPECT_NEAR(f.z, 1, 1e-5f) << RRForwardAxisLabels[i];
    EXPECT_NEAR(gx::GXQuaternionLength(q), 1, 1e-5f) << RRForwardAxisLabels[i];
    if (std::fabs(RRForwardAxis(i).y) < 0.5f) {
      EXPECT_NEAR(gx::RotateVector({0, 1, 0}, q).y, 1, 1e-5f) << i;
    }
  }
}

TEST_F(TrackVehicle, StandsOnTheRailsWithItsPartsAndFacesItsDirection) {
  TRRTrack* t = Piece(TRRTrackType::Straight, {100});
  for (const char* model : {"Wagen.x", "Lore.x"})
    for (int dir : {0, 1}) {
      TRRTrackVehicle* v = Vehicle(t, 40, dir, false, 0, model);
      v->Update(false);  // world values follow with the scene's update
      const bool bogies = std::string(model) == "Wagen.x";
      EXPECT_EQ(v->Bogie(0) != nullptr, bogies);
      EXPECT_EQ(v->Wheels().size(), bogies ? 2u : 0u);
      ASSERT_EQ(v->LightCones().size(), 1u);
      EXPECT_FALSE(v->LightCones()[0]->Visible());
      // The cone is no part of the length: couplers at the buffers.
      EXPECT_NEAR(v->Coupler(0).Distance, 5, 1e-4f) << model;
      EXPECT_NEAR(v->Coupler(1).Distance, 5, 1e-4f) << model;
      EXPECT_NEAR(v->HalfBogieDistance(), bogies ? 3.5f : 2.0f, 1e-4f) << model;
      const gx::TGXVector3 rail = t->GetRoute(0)->GetWorldRailPosition(40);
      const gx::TGXVector3 pivot = v->WorldPivot();
      EXPECT_NEAR(gx::GXVec3Length(pivot - rail), 0, 1e-3f) << model << dir;
      const gx::TGXVector3 forward = gx::RotateVector({0, 0, 1}, v->WorldRotation());
      EXPECT_NEAR(forward.z, dir == 0 ? 1 : -1, 1e-4f) << model << dir;
      EXPECT_NEAR(forward.y, 0, 1e-4f);
      if (bogies) {
        // On a straight piece both bogies keep their rest orientation.
        EXPECT_NEAR(std::fabs(v->Bogie(0)->Rotation().w), 1, 1e-4f);
        EXPECT_NEAR(std::fabs(v->Bogie(1)->Rotation().w), 1, 1e-4f);
        // Bogie 0 is the front one, whichever way the vehicle faces.
        EXPECT_GT(gx::GXVec3Dot(v->Bogie(0)->WorldPosition() - pivot, forward), 0);
      }
      delete v;
    }
}

TEST_F(TrackVehicle, SpeedRisesByTenASecondAndFollowsTheGradient) {
  TRRTrack* flat = Piece(TRRTrackType::Straight, {1000});
  TRRTrackVehicle* loco = Vehicle(flat, 10, 0, true, 0);
  loco->SetTargetSpeed(30);
  std::vector<float> seen;
  for (int i = 0; i < 31; ++i) {
    Frame(0.1f);
    seen.push_back(loco->CurrentSpeed());
  }
  EXPECT_NEAR(seen[0], 1, 1e-4f);
  EXPECT_NEAR(seen[1], 2, 1e-4f);
  EXPECT_NEAR(seen[29], 30, 1e-3f);
  EXPECT_NEAR(seen[30], 30, 1e-3f);
  EXPECT_GT(At(loco), 10 + 40);  // it moved about 1 + 2 + ... + 30 tenths

  // Two per cent up: 45 of 50; running backwards the same piece is downhill: 55.
  delete loco;
  End = {0, 0, 5000};
  TRRTrack* hill = Piece(TRRTrackType::Straight, {1000}, 0.02f);
  struct TCase {
    float Target, Want;
  } cases[] = {{50, 45}, {-50, -55}};
  for (const TCase& c : cases) {
    TRRTrackVehicle* v = Vehicle(hill, 500, 0, true, 0);
    v->SetTargetSpeed(c.Target);
    for (int i = 0; i < 100; ++i) Frame(0.1f);
    EXPECT_NEAR(v->CurrentSpeed(), c.Want, 0.05f) << c.Target;
    delete v;
  }
}

TEST_F(TrackVehicle, OpenEndsReverseOrStopTheTrain) {
  TRRTrack* t = Piece(TRRTrackType::Straight, {60});
  for (bool change : {true, false}) {
    TRRTrackVehicle* loco = Vehicle(t, 50, 0, true, 20);
    loco->SetChangeDirection(change);
    for (int i = 0; i < 10 && loco->TargetSpeed() == 20; ++i) Frame(0.1f);
    EXPECT_FLOAT_EQ(loco->TargetSpeed(), change ? -20 : 0);
    EXPECT_FLOAT_EQ(loco->CurrentSpeed(), 0);
    EXPECT_LE(At(loco), 55.0001f);  // the front coupler never passes the end
    delete loco;
  }
}

TEST_F(TrackVehicle, ALocomotivePushesAfterClosingTheGapAndCoupledWagonsFollowEitherWayRound) {
  TRRTrack* t = Piece(TRRTrackType::Straight, {400});
  TRRTrackVehicle* loco = Vehicle(t, 100, 0, true, 0);
  TRRTrackVehicle* ahead = Vehicle(t, 113, 1);   // 3 ahead, turned round
  TRRTrackVehicle* behind = Vehicle(t, 90, 0);   // touching behind
  TRRTrackVehicle* behind2 = Vehicle(t, 80, 1);  // touching, turned round
  TRRTrackVehicle* last = Vehicle(t, 70, 0);     // touching: the turned one runs within the train
  loco->SetCurrentSpeed(75);
  loco->SetTargetSpeed(75);
  Frame(0.04f);  // 3 ahead: the gap closes first
  EXPECT_NEAR(At(loco), 103, 1e-3f);
  EXPECT_NEAR(At(ahead), 113, 1e-3f);
  EXPECT_NEAR(At(behind), 93, 1e-3f);
  EXPECT_NEAR(At(behind2), 83, 1e-3f);
  EXPECT_NEAR(At(last), 73, 1e-3f);
  Frame(0.04f);  // then everything moves together
  for (auto [v, want] :
       {std::pair{loco, 106.0f}, {ahead, 116.0f}, {behind, 96.0f}, {behind2, 86.0f}, {last, 76.0f}})
    EXPECT_NEAR(At(v), want, 1e-3f) << v->ID();
  // Backwards the same train runs the other way, the turned vehicles with it.
  loco->SetTargetSpeed(-75);
  loco->SetCurrentSpeed(-75);
  Frame(0.04f);
  for (auto [v, want] :
       {std::pair{loco, 103.0f}, {ahead, 113.0f}, {behind, 93.0f}, {behind2, 83.0f}, {last, 73.0f}})
    EXPECT_NEAR(At(v), want, 1e-3f) << v->ID();
  // Two locomotives of one train move it once per frame, not twice.
  ahead->SetCurrentSpeed(-75);
  Frame(0.04f);
  EXPECT_NEAR(At(loco), 100, 1e-3f);
}

TEST_F(TrackVehicle, EveryPieceEnteredAndLeftIsReportedOnce) {
  TRRTrack* a = Piece(TRRTrackType::Straight, {100});
  TRRTrack* shortPiece = Piece(TRRTrackType::Straight, {0.3f});
  TRRTrack* c = Piece(TRRTrackType::Straight, {200});
  TRRTrackVehicle* loco = Vehicle(a, 80, 0, true, 0);
  loco->SetCurrentSpeed(10);
  loco->SetTargetSpeed(10);
  // Slow frames: the leading coupler crosses the short piece within one 0.5 step.
  for (int i = 0; i < 400 && At(loco) < 150; ++i) Frame(0.04f);
  using E = TRecordingProject::TEvent;
  const int id = loco->ID();
  const std::vector<E> want{{TRRConditionKind::TrackEnter, id, shortPiece->ID(), 0},
                            {TRRConditionKind::TrackEnter, id, c->ID(), 0},
                            {TRRConditionKind::TrackExit, id, a->ID(), 0},
                            {TRRConditionKind::TrackExit, id, shortPiece->ID(), 0}};
  EXPECT_EQ(P->Events, want);
  // Big steps give the same report.
  P->Events.clear();
  for (int i = 0; i < 200 && At(loco) > 60; ++i) {
    loco->SetCurrentSpeed(-75);
    Frame(0.2f);
  }
  ASSERT_EQ(P->Events.size(), 4u);
  EXPECT_EQ(P->Events[0].Kind, TRRConditionKind::TrackEnter);
  EXPECT_EQ(P->Events[0].Track, shortPiece->ID());
  EXPECT_EQ(P->Events[1].Track, a->ID());
}

TEST_F(TrackVehicle, TrainsOfAnyLengthAtAnySpeedReportThePiecesInTheOrderTheyPassThem) {
  // Long, short and very short pieces (several within one 0.5 step), one line per case side by
  // side; a train of one to three vehicles runs towards the far piece and back. Each way, the
  // pieces are entered and left once each, in the order of the line.
  struct TCase {
    int Vehicles;
    float Speed, FrameTime;
  };
  const TCase cases[] = {{1, 10, 0.04f}, {1, 75, 0.2f}, {2, 30, 0.04f}, {3, 75, 0.04f}, {3, 60, 0.33f}};
  for (size_t n = 0; n < std::size(cases); ++n) {
    const TCase& k = cases[n];
    SCOPED_TRACE(testing::Message() << k.Vehicles << " vehicles at " << k.Speed << " every " << k.FrameTime);
    End = {30.0f * float(n), 0, 0};
    std::vector<TRRTrack*> line;
    for (float l : {60.0f, 0.3f, 7.0f, 0.22f, 0.24f, 12.0f, 0.4f, 90.0f})
      line.push_back(Piece(TRRTrackType::Straight, {l}));
    std::vector<int32_t> ids;
    for (TRRTrack* t : line) ids.push_back(t->ID());
    TRRTrackVehicle* loco = Vehicle(line[0], 50, 0, true, 0);
    for (int v = 1; v < k.Vehicles; ++v) Vehicle(line[0], 50 - 10.0f * float(v));
    const int id = loco->ID();
    auto run = [&](float speed, float until) {
      P->Events.clear();
      for (int i = 0; i < 2000 && (speed > 0 ? At(loco) < until : At(loco) > until); ++i) {
        loco->SetTargetSpeed(speed);
        loco->SetCurrentSpeed(speed);
        Frame(k.FrameTime);
      }
      loco->Stop();
      std::vector<int32_t> entered, left;
      for (const TRecordingProject::TEvent& e : P->Events) {
        EXPECT_EQ(e.Subject, id);
        (e.Kind == TRRConditionKind::TrackEnter ? entered : left).push_back(e.Track);
      }
      return std::pair{entered, left};
    };
    // Forward until the whole train stands on the last piece: every piece after the first
    // entered, every one before the last left.
    const auto [forwardIn, forwardOut] = run(k.Speed, 100 + 10.0f * float(k.Vehicles));
    EXPECT_EQ(forwardIn, std::vector<int32_t>(ids.begin() + 1, ids.end()));
    EXPECT_EQ(forwardOut, std::vector<int32_t>(ids.begin(), ids.end() - 1));
    // And back onto the first piece.
    const auto [backIn, backOut] = run(-k.Speed, 50);
    EXPECT_EQ(backIn, std::vector<int32_t>(ids.rbegin() + 1, ids.rend()));
    EXPECT_EQ(backOut, std::vector<int32_t>(ids.rbegin(), ids.rend() - 1));
  }
}

TEST_F(TrackVehicle, SwitchesAgainstTheTrainAreThrownOrTurnItBack) {
  TRRTrack* lead = Piece(TRRTrackType::Straight, {100});
  // A switch turned round, entered at the far end of its straight route while the branch is set:
  // the switch is set against the train.
  TRRTrackDesc d(TRRTrackType::Switch);
  d.SetRotation(gx::GXQuaternionRotationAxis({0, 1, 0}, gx::GX_PI));
  d.SetID(M().NextID());
  M().ReserveIDs(1);
  for (int i = 0; i < 2; ++i) {
    auto r = std::make_unique<TRRTrackRouteDesc>();
    r->L1 = 20;
    if (i == 1) r->Angle = 0.2f, r->Radius = 60;
    d.AddRoute(std::move(r));
  }
  auto* sw = static_cast<TRRTrack*>(M().CreateEntity(nullptr, d));
  sw->Update(true);
  sw->SetPosition(sw->Position() + (End - sw->GetRoute(0)->Contact(1)->GetWorldPosition()));
  sw->Update(true);
  RRRefreshConnections(M().Tracks());
  sw->SetActiveRoute(1);
  P->Events.clear();
  for (bool unlock : {true, false}) {
    sw->SetActiveRoute(1);
    TRRTrackVehicle* loco = Vehicle(lead, 80, 0, true, 20);
    loco->SetUnlockSwitches(unlock);
    for (int i = 0; i < 100 && loco->TargetSpeed() > 0 && At(loco) < 105; ++i) Frame(0.1f);
    if (unlock) {
      EXPECT_EQ(sw->ActiveRoute(), 0);
      EXPECT_GT(At(loco), 100);  // passed on the straight route
    } else {
      EXPECT_EQ(sw->ActiveRoute(), 1);
      EXPECT_FLOAT_EQ(loco->TargetSpeed(), -20);
    }
    delete loco;
  }
}

TEST_F(TrackVehicle, EventsStopTheTrainOnAPieceThrowATurnoutAndStartItAgain) {
  TRRTrack* a = Piece(TRRTrackType::Straight, {100});
  TRRTrack* b = Piece(TRRTrackType::Straight, {100});
  TRRTrack* c = Piece(TRRTrackType::Straight, {300});
  TRRTrackDesc d(TRRTrackType::Switch);  // off to the side, on its own
  d.SetPosition({500, 0, 0});
  d.SetID(M().NextID());
  M().ReserveIDs(1);
  for (int i = 0; i < 2; ++i) d.AddRoute(std::make_unique<TRRTrackRouteDesc>());
  auto* sw = static_cast<TRRTrack*>(M().CreateEntity(nullptr, d));
  TRRTrackVehicle* loco = Vehicle(a, 50, 0, true, 10);
  TRRTrackVehicle* wagon = Vehicle(c, 250);
  TRRTrackVehicle* other = Vehicle(c, 150, 0, true, 0);

  TRREventManager events;
  P->EventManager = &events;
  auto event = [&](const std::string& name, auto condition) {
    auto e = std::make_unique<TRREvent>(&events);
    e->SetName(name);
    e->SetID(events.NewID());
    e->SetCondition(std::move(condition));
    return events.Root().AddEvent(std::move(e));
  };
  auto enter = std::make_unique<TRRTrackEnterCondition>();
  enter->SetTrackID(b->ID());
  TRREvent* halt = event("Halt", std::move(enter));
  auto speed = [](int32_t vehicle, int32_t track, float value) {
    auto s = std::make_unique<TRRSetVehicleSpeedAction>();
    s->SetVehicleID(vehicle), s->SetTrackID(track), s->SetSpeed(value);
    return s;
  };
  halt->AddAction(speed(-1, b->ID(), 0));                  // only the locomotive on b
  halt->AddAction(speed(wagon->ID(), -1, 30));             // a wagon has no engine
  halt->AddAction(speed(other->ID(), b->ID(), 30));        // not on b
  for (int32_t id : {sw->ID(), a->ID(), loco->ID()}) {     // only the switch switches
    auto r = std::make_unique<TRRSwitchTrackRouteAction>();
    r->SetTrackID(id);
    halt->AddAction(std::move(r));
  }
  auto thrown = std::make_unique<TRRSwitchCondition>();
  thrown->SetTrackID(sw->ID());
  thrown->SetRoute(1);
  auto start = std::make_unique<TRRStartCountdownAction>();
  start->SetCountdownName("Aufenthalt");
  start->SetDuration(2);
  event("Weiche umgestellt", std::move(thrown))->AddAction(std::move(start));
  auto expired = std::make_unique<TRRCountdownCondition>();
  expired->SetCountdownName("aufenthalt");
  event("Weiter", std::move(expired))->AddAction(speed(loco->ID(), -1, 10));

  auto frame = [&] {
    Frame(0.04f);
    events.TickCountdowns(0.04f);
    events.ExecutePendingActions(&M());
  };
  int frames = 0;
  while (frames < 400 && loco->TargetSpeed() != 0) ++frames, frame();
  ASSERT_EQ(loco->TargetSpeed(), 0) << "the train never reached b";
  EXPECT_TRUE(loco->IsOnTrack(b->ID()));
  EXPECT_EQ(other->TargetSpeed(), 0);
  EXPECT_EQ(wagon->TargetSpeed(), 0);
  EXPECT_EQ(sw->ActiveRoute(), 1);
  frame();  // the switch's own event starts the countdown one frame later
  ASSERT_NE(events.FindCountdown("Aufenthalt"), nullptr);
  for (int i = 0; i < 49; ++i) frame();
  EXPECT_EQ(loco->TargetSpeed(), 0) << "still waiting";
  for (int i = 0; i < 3; ++i) frame();
  EXPECT_EQ(loco->TargetSpeed(), 10) << "off again when the countdown ran out";
  P->EventManager = nullptr;
}

namespace {

template <class D>
std::unique_ptr<D> RoundTrip(const D& d) {
  gx::TGXMemoryStream m;
  d.SaveToStream(m);
  m.SetPosition(0);
  auto back = std::make_unique<D>();
  back->LoadFromStream(m);
  return back;
}

}  // namespace

TEST_F(TrackVehicle, SignalsReportRealChangesAnimateToTheirStateAndToggleOnSpace) {
  TRRSignalDesc d;
  d.SetID(M().NextID());
  M().ReserveIDs(1);
  d.ModelFile() = {TRRAssetFileName("Signal.x", std::string(kPackage) + "\\Signal.x"), {}};
  d.SignalState = 7;  // any non-zero state is closed
  EXPECT_EQ(RoundTrip(d)->SignalState, RRSignalClosed);
  auto* signal = static_cast<TRRSignal*>(M().CreateEntity(nullptr, d));
  ASSERT_NE(signal->Controller(), nullptr);
  EXPECT_FALSE(signal->HasAnimation()) << "the model's own playback never runs it";
  EXPECT_FLOAT_EQ(signal->Duration(), 0.4f);
  EXPECT_EQ(signal->SignalState(), RRSignalClosed);
  P->Events.clear();
  signal->SetSignalState(1);  // unchanged: nothing told
  signal->SetSignalState(0);
  signal->SetSignalState(0);
  ASSERT_EQ(P->Events.size(), 1u);
  EXPECT_EQ(P->Events[0].Kind, TRRConditionKind::SignalSwitch);
  EXPECT_EQ(P->Events[0].Subject, signal->ID());
  // Open runs to the end pose in 0.4 s; closed runs back; with animations off it snaps.
  for (int i = 0; i < 5; ++i) signal->Animate(true, 0.1f);
  EXPECT_FLOAT_EQ(signal->CurrentTime(), 0.4f);
  signal->SetSignalState(1);
  signal->Animate(true, 0.1f);
  EXPECT_NEAR(signal->CurrentTime(), 0.3f, 1e-6f);
  signal->Animate(false, 0.0f);
  EXPECT_FLOAT_EQ(signal->CurrentTime(), 0.0f);
  EXPECT_EQ(dynamic_cast<TRRSignalDesc*>(signal->CreateDescription().get())->SignalState, RRSignalClosed);
  // Selected, space toggles it; other keys pass on; deselected, the modifier is gone.
  const int modifiers = M().ModifierCount();
  signal->Select();
  ASSERT_EQ(M().ModifierCount(), modifiers + 1);
  TRREntityModifier* modifier = M().Modifier(M().ModifierCount() - 1);
  TRRInputRecord key;
  EXPECT_FALSE(modifier->KeyEvent(nullptr, RRMsgKeyUp, key, RRVKSpace));
  EXPECT_FALSE(modifier->KeyEvent(nullptr, RRMsgKeyDown, key, RRVKReturn));
  EXPECT_TRUE(modifier->KeyEvent(nullptr, RRMsgKeyDown, key, RRVKSpace));
  EXPECT_EQ(signal->SignalState(), RRSignalOpen);
  signal->Deselect();
  EXPECT_EQ(M().ModifierCount(), modifiers);
  // Another version is refused.
  gx::TGXMemoryStream bad;
  TRRModelDesc().SaveToStream(bad);
  gx::WriteInteger(bad, 2);
  gx::WriteByte(bad, 0);
  bad.SetPosition(0);
  TRRSignalDesc refused;
  EXPECT_THROW(refused.LoadFromStream(bad), EUnknownEntityDescription);
}

TEST_F(TrackVehicle, ControllersReadAndSetTheirTargetsAndAreReportedOnEverySet) {
  TRRTrack* line = Piece(TRRTrackType::Straight, {200});
  TRRTrackVehicle* loco = Vehicle(line, 50, 0, true, 0);
  TRRTrackVehicle* wagon = Vehicle(line, 120);
  TRRTrackDesc sd(TRRTrackType::ThreeWaySwitch);
  sd.SetPosition({300, 0, 0});
  sd.SetID(M().NextID());
  M().ReserveIDs(1);
  for (int i = 0; i < 3; ++i) sd.AddRoute(std::make_unique<TRRTrackRouteDesc>());
  auto* sw = static_cast<TRRTrack*>(M().CreateEntity(nullptr, sd));
  ASSERT_TRUE(sw->IsSwitchable());
  TRRSignalDesc sig;
  sig.SetID(M().NextID());
  M().ReserveIDs(1);
  auto* signal = static_cast<TRRSignal*>(M().CreateEntity(nullptr, sig));
  auto controller = [&](uint8_t kind, int32_t target, float value = 0, float on = 0, float off = 0) {
    TRRControllerDesc d;
    d.SetID(M().NextID());
    M().ReserveIDs(1);
    d.Kind = kind, d.TargetID = target, d.Value = value, d.OnSpeed = on, d.OffSpeed = off;
    return static_cast<TRRController*>(M().CreateEntity(nullptr, d));
  };
  constexpr uint8_t R = RRControllerRegulator, T = RRControllerToggle;
  // Creation pushes nothing: the switch stays on route 0 although the regulator says 1.
  TRRController* onSwitch = controller(R, sw->ID(), 1.0f);
  EXPECT_EQ(sw->ActiveRoute(), 0);
  struct TCase {
    TRRController* C;
    float Set;
    float Read;  // what the controller shows afterwards
    std::function<bool()> Target;
  };
  TRRController* toggleLoco = controller(T, loco->ID(), 0, 30, -10);
  TRRController* sameSpeeds = controller(T, loco->ID(), 0, 20, 20);
  TRRController* regLoco = controller(R, loco->ID());
  TRRController* onSignal = controller(T, signal->ID());
  TRRController* onWagon = controller(R, wagon->ID());  // a wagon is no target: the own value
  TRRController* toggleSwitch = controller(T, sw->ID());
  const std::vector<TCase> cases = {
      {onSwitch, 0.74f, 0.5f, [&] { return sw->ActiveRoute() == 1; }},  // 1.48 rounds to 1
      {onSwitch, 0.75f, 1.0f, [&] { return sw->ActiveRoute() == 2; }},  // 1.5 rounds to even
      {onSwitch, 0.25f, 0.0f, [&] { return sw->ActiveRoute() == 0; }},  // 0.5 rounds to even
      {toggleSwitch, 0.6f, 1.0f, [&] { return sw->ActiveRoute() == 2; }},
      {toggleLoco, 0.9f, 1.0f, [&] { return loco->TargetSpeed() == 30; }},
      {toggleLoco, 0.2f, 0.0f, [&] { return loco->TargetSpeed() == -10; }},
      {sameSpeeds, 1.0f, 0.0f, [&] { return loco->TargetSpeed() == 20; }},  // equal speeds read 0
      {regLoco, 0.75f, 0.75f, [&] { return loco->TargetSpeed() == 37.5f; }},
      {regLoco, 7.0f, 1.0f, [&] { return loco->TargetSpeed() == 75; }},
      {onSignal, 1.0f, 1.0f, [&] { return signal->SignalState() == RRSignalOpen; }},
      {onSignal, 0.0f, 0.0f, [&] { return signal->SignalState() == RRSignalClosed; }},
      {onWagon, 0.3f, 0.3f, [&] { return wagon->TargetSpeed() == 0; }},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    P->Events.clear();
    cases[i].C->SetValue(cases[i].Set);
    EXPECT_NEAR(cases[i].C->Value(), cases[i].Read, 1e-6f) << "case " << i;
    EXPECT_TRUE(cases[i].Target()) << "case " << i;
    ASSERT_FALSE(P->Events.empty()) << "case " << i;
    EXPECT_EQ(P->Events.back().Kind, TRRConditionKind::Controller);
  }
  // Every set is reported, also an unchanged one; a value that is no number is neither.
  P->Events.clear();
  onWagon->SetValue(0.3f);
  onWagon->SetValue(std::nanf(""));
  EXPECT_EQ(P->Events.size(), 1u);
  EXPECT_NEAR(onWagon->Value(), 0.3f, 1e-6f);
  // Unbinding keeps what it showed; binding again pushes it to the new target.
  onSwitch->SetValue(1.0f);
  onSwitch->SetTarget(0);
  EXPECT_EQ(onSwitch->Value(), 1.0f);
  onSwitch->SetTarget(regLoco->TargetID());
  EXPECT_EQ(loco->TargetSpeed(), 75);
  // Keys: a toggle switch flips, a regulator steps from the value it shows.
  struct TKey {
    uint8_t Kind;
    int32_t Key;
    float From;
    std::optional<float> To;
  };
  for (const TKey& k : std::vector<TKey>{{T, RRVKSpace, 1, 0.0f},   {T, RRVKSpace, 0, 1.0f},  {T, RRVKDown, 1, 0.0f},
                                         {T, RRVKRight, 0, 1.0f},   {T, RRVKHome, 0, {}},     {R, RRVKBack, 0, 0.5f},
                                         {R, RRVKPrior, 0.95f, 1.0f}, {R, RRVKNext, 0.05f, -0.05f},
                                         {R, RRVKEnd, 0, 1.0f},     {R, RRVKHome, 1, 0.0f},   {R, RRVKUp, 0.5f, 0.51f},
                                         {R, RRVKLeft, 0.005f, 0.0f}, {R, RRVKSpace, 0.5f, {}}}) {
    const std::optional<float> got = RRControllerKeyValue(k.Kind, k.Key, k.From);
    ASSERT_EQ(got.has_value(), k.To.has_value()) << int(k.Kind) << " " << k.Key;
    if (got) {
      EXPECT_NEAR(*got, *k.To, 1e-6f) << int(k.Kind) << " " << k.Key;
    }
  }
  // The record: version 2 written, 1 read without the value; numbers that are not finite read 0;
  // assigning takes only the kind.
  TRRControllerDesc d;
  d.Kind = T, d.TargetID = 5, d.Value = 0.5f, d.OnSpeed = std::nanf(""), d.OffSpeed = 12;
  const std::unique_ptr<TRRControllerDesc> back = RoundTrip(d);
  EXPECT_EQ(back->Kind, T);
  EXPECT_EQ(back->TargetID, 5);
  EXPECT_EQ(back->Value, 0.5f);
  EXPECT_EQ(back->OnSpeed, 0.0f);
  EXPECT_EQ(back->OffSpeed, 12.0f);
  gx::TGXMemoryStream v1;
  TRRModelDesc().SaveToStream(v1);
  gx::WriteInteger(v1, 1);
  gx::WriteByte(v1, T);
  gx::WriteInteger(v1, 9);
  gx::WriteSingle(v1, 3);
  gx::WriteSingle(v1, 4);
  v1.SetPosition(0);
  TRRControllerDesc old;
  old.LoadFromStream(v1);
  EXPECT_EQ(v1.Position(), v1.Size());
  EXPECT_EQ(old.TargetID, 9);
  EXPECT_EQ(old.OffSpeed, 4.0f);
  TRRControllerDesc assigned;
  assigned.AssignFrom(d);
  EXPECT_EQ(assigned.Kind, T);
  EXPECT_EQ(assigned.TargetID, 0);
}

TEST_F(TrackVehicle, AbsurdSpeedsAndFrameTimesEndAndMoveNothingWild) {
  TRRTrack* t = Piece(TRRTrackType::Straight, {300});
  TRRTrackVehicle* loco = Vehicle(t, 150, 0, true, 0);
  for (float v : {kNaN, kInf, -kInf, 1e30f}) {
    loco->SetTargetSpeed(v);
    loco->SetCurrentSpeed(v);
    EXPECT_TRUE(std::isfinite(loco->TargetSpeed()) && std::fabs(loco->TargetSpeed()) <= RRMaxTargetSpeed);
    EXPECT_TRUE(std::isfinite(loco->CurrentSpeed()) && std::fabs(loco->CurrentSpeed()) <= RRMaxCurrentSpeed);
  }
  loco->SetCurrentSpeed(0);
  loco->SetTargetSpeed(0);
  for (float dt : {kNaN, kInf, -1.0f}) {
    Frame(dt);
    EXPECT_NEAR(At(loco), 150, 1e-3f) << dt;
  }
  loco->SetTargetSpeed(75);
  loco->SetCurrentSpeed(75);
  Frame(1e9f);  // a frame of decades ends at the piece's end, in bounded time
  EXPECT_LE(At(loco), 300);
  loco->Move(nullptr, kNaN);
  EXPECT_TRUE(std::isfinite(At(loco)));
}

namespace {
struct TFakeSound : IRRSound {
  float Level = 0;
  bool Playing = false;
  int Starts = 0;
  void SetVolume(float v) override { Level = v; }
  float Volume() const override { return Level; }
  void Play() override { Starts += !Playing, Playing = true; }
  void Stop() override { Playing = false; }
  bool IsPlaying() const override { return Playing; }
};
}  // namespace

TEST_F(TrackVehicle, ALocomotiveSoundsBySpeedWhileSoundAndAnimationsAreOn) {
  TRRTrack* t = Piece(TRRTrackType::Straight, {1000});
  auto sound = std::make_shared<TFakeSound>();
  bool soundOn = true;
  std::vector<std::string> asked;
  TRRModelServices s = *TRRModelServices::Get();
  s.LoadSound = [&](const TRRAssetFileName& f) -> std::shared_ptr<IRRSound> {
    asked.push_back(f.FileName);
    return f.FileName == "Lok.wav" ? sound : nullptr;
  };
  s.SoundOn = [&] { return soundOn; };
  s.SoundVolume = [] { return 50.0f; };
  TRRModelServices::Install(s);
  auto make = [&](bool engine, const char* file) {
    TRRTrackVehicleDesc d;
    d.SetID(M().NextID());
    M().ReserveIDs(1);
    d.ForwardAxis = 1;
    d.TrackID = t->ID();
    d.RoutePosition = 100;
    d.HasEngine = engine;
    d.Sound = TRRAssetFileName(file);
    d.SoundEnabled = true;
    return static_cast<TRRTrackVehicle*>(M().CreateEntity(nullptr, d));
  };
  TRRTrackVehicle* wagon = make(false, "Lok.wav");
  TRRTrackVehicle* silent = make(true, "kaputt.wav");
  EXPECT_FALSE(wagon->SoundEnabled());
  EXPECT_FALSE(silent->SoundEnabled());  // a sound that cannot be loaded leaves it off
  TRRTrackVehicle* loco = make(true, "Lok.wav");
  EXPECT_EQ(asked, (std::vector<std::string>{"kaputt.wav", "Lok.wav"}));
  ASSERT_TRUE(loco->SoundEnabled());
  // Volume: |speed| / 10 (at most 1) times the program's volume; no camera, no distance.
  struct TCase {
    float Speed;
    bool SoundOn, Animations;
    bool Playing;
    float Level;
  } cases[] = {{5, true, true, true, 25}, {-30, true, true, true, 50}, {0, true, true, true, 0},
               {20, false, true, false, -1}, {20, true, false, false, -1}};
  for (const TCase& c : cases) {
    loco->SetTargetSpeed(c.Speed);
    loco->SetCurrentSpeed(c.Speed);
    soundOn = c.SoundOn;
    M().AdvanceAnimationFrame();
    loco->Animate(c.Animations, 0);
    EXPECT_EQ(sound->Playing, c.Playing) << c.Speed;
    if (c.Level >= 0) {
      EXPECT_NEAR(sound->Level, c.Level, 1e-3f) << c.Speed;
    }
  }
  EXPECT_EQ(sound->Starts, 1);  // started once, however often told to play
  loco->SetSoundEnabled(false);
  EXPECT_FALSE(sound->Playing);
}

TEST_F(TrackVehicle, TrainsWaitBeforeOccupiedCrossingsAndDroppedVehiclesCloseUp) {
  TRRTrack* lead = Piece(TRRTrackType::Straight, {100});
  TRRTrack* crossing = Piece(TRRTrackType::Crossing, {20, 20});
  Piece(TRRTrackType::Straight, {100});
  // A vehicle standing on the crossing's other route blocks it.
  TRRTrackVehicleDesc d;
  d.SetID(M().NextID());
  M().ReserveIDs(1);
  d.ModelFile() = {TRRAssetFileName("Lore.x", std::string(kPackage) + "\\Lore.x"), {}};
  d.ForwardAxis = 1;
  d.TrackID = crossing->ID();
  d.RouteIndex = 1;
  d.RoutePosition = 10;
  auto* across = static_cast<TRRTrackVehicle*>(M().CreateEntity(nullptr, d));
  ASSERT_EQ(across->RouteIndex(), 1);
  TRRTrackVehicle* loco = Vehicle(lead, 60, 0, true, 20);
  for (int i = 0; i < 100; ++i) Frame(0.1f);
  EXPECT_NE(loco->CouplerPlace(0).Route->Track(), crossing);
  EXPECT_GT(At(loco), 85);  // it came up to the crossing
  EXPECT_FLOAT_EQ(loco->TargetSpeed(), 20);  // and waits there
  delete across;
  for (int i = 0; i < 20; ++i) Frame(0.1f);
  EXPECT_GT(At(loco), 100);  // then crosses

  // A wagon dropped a little short of another one closes up to it; farther away it stays.
  End = {0, 0, 5000};
  TRRTrack* t = Piece(TRRTrackType::Straight, {200});
  TRRTrackVehicle* a = Vehicle(t, 50);
  TRRTrackVehicle* near = Vehicle(t, 61);
  TRRTrackVehicle* far = Vehicle(t, 35);
  a->Relink();
  EXPECT_NEAR(near->RoutePosition(), 60, 1e-3f);
  EXPECT_NEAR(far->RoutePosition(), 35, 1e-3f);
  // Dragged beside the rails, the pivot snaps onto them within 3, not beyond.
  bool snapped = false;
  gx::TGXVector3 position = a->Position() + gx::TGXVector3{2, 0, 0};
  gx::TGXQuaternion rotation = a->Rotation();
  ASSERT_TRUE(a->Snap(snapped, position, rotation));
  EXPECT_TRUE(snapped);
  EXPECT_NEAR(position.x, a->Position().x, 1e-3f);
  position = a->Position() + gx::TGXVector3{5, 0, 0};
  a->Snap(snapped, position, rotation);
  EXPECT_FALSE(snapped);
  EXPECT_TRUE(a->IsOnTrack(t->ID()));
  EXPECT_FALSE(a->IsOnTrack(lead->ID()));
}

TEST_F(TrackVehicle, TakesItsTrackSystemsScaleAndFindsItsRouteAgainWhenTheTrackIsLaidAnew) {
  for (const char* system : {"H0", "N", "G"}) {
    End = {0, 0, 0};
    const int index = RRTrackSystemIndex(system);
    TRRTrack* t = Piece(TRRTrackType::Straight, {400}, 0, index);
    TRRTrackVehicle* v = Vehicle(t, 100);
    const float scale = RRTrackSystemScale(index);
    EXPECT_NEAR(v->Scale().x, scale, 1e-5f) << system;
    EXPECT_NEAR(v->Coupler(0).EffectiveDistance(), 5 * scale, 1e-4f) << system;
    EXPECT_NEAR(gx::GXVec3Length(v->WorldPivot() - t->GetRoute(0)->GetWorldRailPosition(100)), 0, 1e-3f) << system;
    // The piece goes and a new one is laid in its place: the vehicle finds it on its next frame.
    delete t;
    End = {0, 0, 0};
    TRRTrack* again = Piece(TRRTrackType::Straight, {400}, 0, index);
    Frame(0.04f);
    EXPECT_EQ(v->TrackID(), again->ID()) << system;
    EXPECT_NEAR(v->RoutePosition(), 100, 1e-2f) << system;
    delete v;
    delete again;
  }
}

// A piece that goes and another laid under the same ID: the vehicle's stored route is the new
// piece's, or none where its position lies beyond the new piece's end.
TEST_F(TrackVehicle, TheStoredRouteIsTheOneOfThePieceThatHoldsTheIDNow) {
  struct TCase {
    float Length;
    bool OnIt;
  } cases[] = {{400, true}, {80, false}};
  for (const TCase& c : cases) {
    End = {0, 0, 0};
    TRRTrack* t = Piece(TRRTrackType::Straight, {400});
    TRRTrackVehicle* v = Vehicle(t, 100);
    ASSERT_EQ(v->GetRoute(), t->GetRoute(0));
    const int32_t id = t->ID();
    delete t;
    TRRTrackDesc d(TRRTrackType::Straight);
    d.SetID(id);
    auto r = std::make_unique<TRRTrackRouteDesc>();
    r->L1 = c.Length;
    d.AddRoute(std::move(r));
    auto* again = static_cast<TRRTrack*>(M().CreateEntity(nullptr, d));
    EXPECT_EQ(v->GetRoute(), c.OnIt ? again->GetRoute(0) : nullptr) << c.Length;
    EXPECT_EQ(v->TrackID(), c.OnIt ? id : 0) << c.Length;
    delete v;
    delete again;
  }
}

TEST_F(TrackVehicle, TheCouplerSearchFollowsVehiclesAddedMovedAndRemoved) {
  // Three pieces of 30: a search walks over the joints to the vehicles on the next pieces.
  TRRTrack* a = Piece(TRRTrackType::Straight, {30});
  TRRTrack* b = Piece(TRRTrackType::Straight, {30});
  TRRTrack* c = Piece(TRRTrackType::Straight, {30});
  // Vehicles 10 long: v's front coupler at 25, near's (turned round) at 25.4, its pivot on b.
  TRRTrackVehicle* v = Vehicle(a, 20);
  TRRTrackVehicle* near = Vehicle(b, 0.4f, 1);
  struct TCase {
    const char* What;
    float Limit;
    TRRTrackVehicle* Want;
    float Gap;
  };
  auto check = [&](const TCase& k) {
    // As in a frame: the scene is up to date before the vehicles look for each other.
    P->Scene.Root()->Update(false);
    float gap = 0;
    const TRRVehicleSocket* facing = nullptr;
    TRRTrackVehicle* found = v->FindCoupledVehicle(0, k.Limit, gap, &facing);
    EXPECT_EQ(found, k.Want) << k.What;
    if (k.Want) {
      EXPECT_NEAR(gap, k.Gap, 1e-4f) << k.What;
      ASSERT_NE(facing, nullptr) << k.What;
      EXPECT_EQ(facing->Vehicle, k.Want) << k.What;
    } else {
      EXPECT_EQ(facing, nullptr) << k.What;
    }
  };
  for (const TCase& k : {TCase{"touching across the joint", 0.5f, near, 0.4f}, {"beyond the limit", 0.3f, nullptr, 0}})
    check(k);
  // One made later and nearer is found; gone again, the first one is.
  TRRTrackVehicle* nearer = Vehicle(b, 0.2f, 1);
  check({"made nearer", 0.5f, nearer, 0.2f});
  delete nearer;
  check({"the nearer one deleted", 0.5f, near, 0.4f});
  // Moved onto the third piece it is out of reach; moved back it is found again.
  near->PlaceOnRoute(c->GetRoute(0), 20);
  check({"moved away", 1.5f, nullptr, 0});
  near->PlaceOnRoute(b->GetRoute(0), 0.1f);
  check({"moved back (turned round)", 0.5f, near, 0.1f});
  // A locomotive driven over two joints towards v (its front coupler from 65 to 25.4) is found
  // where its steps took it.
  delete near;
  TRRTrackVehicle* loco = Vehicle(c, 10, 1, true, 0);
  check({"the locomotive far away", 1.5f, nullptr, 0});
  loco->Move(nullptr, 39.6f);
  EXPECT_NEAR(At(loco), 30.4f, 1e-3f);
  check({"the locomotive driven up", 0.5f, loco, 0.4f});
}

TEST_F(TrackVehicle, EachBogieTurnsWithTheRailUnderIt) {
  // A lead-in of 20, then an arc of radius 40 through 1 rad: a vehicle facing either way moved
  // from the lead-in across the start of the arc (one bogie on either side) onto the arc.
  TRRTrackDesc d(TRRTrackType::Curve);
  d.SetID(M().NextID());
  M().ReserveIDs(1);
  auto r = std::make_unique<TRRTrackRouteDesc>();
  r->L1 = 20;
  r->Angle = 1;
  r->Radius = 40;
  d.AddRoute(std::move(r));
  auto* t = static_cast<TRRTrack*>(M().CreateEntity(nullptr, d));
  t->Update(true);
  TRRTrackRoute* route = t->GetRoute(0);
  for (int dir : {0, 1}) {
    const std::vector<float> places =
        dir == 0 ? std::vector<float>{10, 20, 40} : std::vector<float>{40, 20, 10};
    TRRTrackVehicle* v = Vehicle(t, places[0], dir);
    for (size_t k = 0; k < places.size(); ++k) {
      const float at = places[k];
      if (k > 0) ASSERT_TRUE(v->MoveVehicle(std::fabs(at - places[k - 1])));
      v->Update(false);
      ASSERT_NE(v->Bogie(0), nullptr);
      for (int i = 0; i < 2; ++i) {
        // Bogie 0 is the front one, 3.5 ahead of the pivot in the vehicle's direction.
        const float along = at + ((i == 0) == (dir == 0) ? 3.5f : -3.5f);
        const gx::TGXVector3 rail = route->GetWorldTangent(along);
        const gx::TGXVector3 forward = gx::RotateVector({0, 0, 1}, v->Bogie(i)->WorldRotation());
        EXPECT_NEAR(std::fabs(gx::GXVec3Dot(forward, rail)), 1, 1e-4f)
            << "at " << at << " dir " << dir << " bogie " << i;
      }
    }
    delete v;
  }
}

TEST_F(TrackVehicle, ATrainRunsOnWithoutAVehicleDeletedBetweenFramesAndTakesANewOneAlong) {
  TRRTrack* t = Piece(TRRTrackType::Straight, {400});
  TRRTrackVehicle* loco = Vehicle(t, 100, 0, true, 75);
  TRRTrackVehicle* middle = Vehicle(t, 90);
  TRRTrackVehicle* last = Vehicle(t, 80);
  Frame(0.04f);
  for (auto [v, want] : {std::pair{loco, 103.0f}, {middle, 93.0f}, {last, 83.0f}})
    EXPECT_NEAR(At(v), want, 1e-3f);
  // Without the middle vehicle the last one no longer touches: the locomotive runs alone.
  delete middle;
  Frame(0.04f);
  EXPECT_NEAR(At(loco), 106, 1e-3f);
  EXPECT_NEAR(At(last), 83, 1e-3f);
  // A wagon put against the locomotive's rear goes with it.
  TRRTrackVehicle* added = Vehicle(t, 96);
  Frame(0.04f);
  EXPECT_NEAR(At(loco), 109, 1e-3f);
  EXPECT_NEAR(At(added), 99, 1e-3f);
  EXPECT_NEAR(At(last), 83, 1e-3f);
}

// Each train asks for the memory of the train that moved after it in the last frame. A vehicle of
// that train deleted, or the piece under it laid anew, is not followed (the sanitizer build sees any
// read of freed memory), and the trains run on as they would without the hint.
TEST_F(TrackVehicle, TrainsRunOnWhenTheTrainAfterThemLosesAVehicleOrItsPiece) {
  TRRTrack* a = Piece(TRRTrackType::Straight, {400});
  End = {50, 0, 0};
  TRRTrack* b = Piece(TRRTrackType::Straight, {400});
  TRRTrackVehicle* locoA = Vehicle(a, 100, 0, true, 75);
  TRRTrackVehicle* wagonA = Vehicle(a, 90);
  TRRTrackVehicle* locoB = Vehicle(b, 100, 0, true, 75);
  TRRTrackVehicle* middleB = Vehicle(b, 90);
  TRRTrackVehicle* lastB = Vehicle(b, 80);
  for (int i = 0; i < 3; ++i) Frame(0.04f);
  delete middleB;
  Frame(0.04f);
  delete a;
  End = {0, 0, 0};
  TRRTrack* again = Piece(TRRTrackType::Straight, {400});
  Frame(0.04f);
  // The whole train finds the new piece before it moves on, and stays together.
  for (int i = 0; i < 2; ++i) {
    for (auto [v, want] : {std::pair{locoA, 115.0f}, {wagonA, 105.0f}, {locoB, 115.0f}})
      EXPECT_NEAR(At(v), want + 3.0f * float(i), 1e-3f) << v->ID();
    EXPECT_NEAR(At(lastB), 89, 1e-3f);  // left standing when the wagon before it went
    EXPECT_EQ(wagonA->TrackID(), again->ID());
    Frame(0.04f);
  }
}

TEST_F(TrackVehicle, AnOpenEndJoinedLaterLetsTheTrainThrough) {
  TRRTrack* t = Piece(TRRTrackType::Straight, {60});
  TRRTrackVehicle* loco = Vehicle(t, 50, 0, true, 20);
  for (int i = 0; i < 10 && loco->TargetSpeed() > 0; ++i) Frame(0.1f);
  ASSERT_FLOAT_EQ(loco->TargetSpeed(), -20);  // the end was open (and is remembered as open)
  Piece(TRRTrackType::Straight, {100});
  loco->SetTargetSpeed(20);
  loco->SetCurrentSpeed(20);
  for (int i = 0; i < 20; ++i) Frame(0.1f);
  EXPECT_GT(At(loco), 70);
  EXPECT_FLOAT_EQ(loco->TargetSpeed(), 20);
}

TEST_F(TrackVehicle, ARunningTrainTakesAlongWhatItMeetsAndLeavesWhatIsTakenAwayFromIt) {
  // A train that runs 3 a frame, its couplers touching; standing wagons 3.3 ahead.
  TRRTrack* t = Piece(TRRTrackType::Straight, {400});
  TRRTrackVehicle* loco = Vehicle(t, 100, 0, true, 75);
  TRRTrackVehicle* wagon = Vehicle(t, 90);
  TRRTrackVehicle* standing = Vehicle(t, 113.3f);
  Frame(0.04f);  // stops 0.3 short of them: within coupling distance
  EXPECT_NEAR(At(loco), 103, 1e-3f);
  EXPECT_NEAR(At(standing), 113.3f, 1e-3f);
  Frame(0.04f);  // and takes them along in the very next frame
  for (auto [v, want] : {std::pair{loco, 106.0f}, {wagon, 96.0f}, {standing, 116.3f}})
    EXPECT_NEAR(At(v), want, 1e-3f) << v->ID();

  // The rear wagon put on the rails elsewhere stays there; put back against the train it goes
  // with it again.
  wagon->PlaceOnRoute(t->GetRoute(0), 20);
  Frame(0.04f);
  EXPECT_NEAR(At(loco), 109, 1e-3f);
  EXPECT_NEAR(At(wagon), 20, 1e-3f);
  wagon->PlaceOnRoute(t->GetRoute(0), 99);
  Frame(0.04f);
  EXPECT_NEAR(At(wagon), 102, 1e-3f);

  // Lifted off the rails (its node moved, its stored place unchanged) it is no longer part of the
  // train and is not put back onto the rails by the train's next move.
  const gx::TGXVector3 lifted = wagon->Position() + gx::TGXVector3{0, 50, 0};
  wagon->SetPosition(lifted);
  Frame(0.04f);
  EXPECT_NEAR(At(loco), 115, 1e-3f);
  EXPECT_NEAR(gx::GXVec3Length(wagon->Position() - lifted), 0, 1e-4f);
}
