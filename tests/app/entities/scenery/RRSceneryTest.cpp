// The scenery kinds placed in a test layout: one straight track along +Z through the origin,
// models from the test model files (a small house, a windmill whose sails turn), vehicles that
// are windmills on the rails. The frame timer runs at 1000 counts a second.

#include <gtest/gtest.h>

#include <cmath>

#include "app/RREntityManager.h"
#include "app/entities/RREntityGroup.h"
#include "app/entities/RRTrackVehicle.h"
#include "app/entities/scenery/RRBarrier.h"
#include "app/entities/scenery/RRPrimitive.h"
#include "app/entities/scenery/RRStreet.h"
#include "app/entities/scenery/RRVegetation.h"
#include "app/entities/scenery/RRVehicleBuilding.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "app/entities/track/RRTrackSystems.h"
#include "engine/core/GXGeometry.h"
#include "engine/render/GXEntity.h"
#include "tests/app/ManagerTestSupport.h"
#include "tests/app/MaterialTestSupport.h"
#include "tests/app/ModelTestSupport.h"

using namespace rr;
using gx::TGXQuaternion;
using gx::TGXVector3;

namespace {

constexpr const char* kPackage = "{5A0C2E7D-6B14-4F38-9D2A-7E1B3C4D5F60}";
constexpr const char* kBase = "{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}";

void ExpectNear(const TGXVector3& a, const TGXVector3& b, float tolerance = 1e-3f) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

// The windmill with two door nodes (names containing "anim" in any case) for an engine-shed bay.
gx::TGXModelData Bay() {
  gx::TGXModelData data = modeltest::Windmill(gx::EGXModelFormat::XFile);
  data.Nodes.push_back({"TorAnim", 0, {-12.49f, 3.5f, 0}, {0, 0, 0, 1}, {1, 1, 1}, {}});
  data.Nodes.push_back({"hinten_ANIM", 0, {20, 3.5f, 0}, {0, 0, 0, 1}, {1, 1, 1}, {}});
  return data;
}

class Scenery : public test::TMaterialTest {
 protected:
  void SetUp() override {
    TMaterialTest::SetUp();
    Models = std::make_unique<modeltest::TGeometryFreeModels>(&Resources);
    Install();
    const auto house = modeltest::Write(modeltest::House(gx::EGXModelFormat::XFile));
    const auto mill = modeltest::Write(modeltest::Windmill(gx::EGXModelFormat::XFile));
    for (const char* name : {"Haus.x", "Keil.x"}) PutFile(std::string(kPackage) + "\\" + name, house);
    PutFile(std::string(kPackage) + "\\Muehle.x", mill);
    PutFile(std::string(kPackage) + "\\Stand.x", modeltest::Write(Bay()));
    PutFile(std::string(kBase) + "\\Pyramid.x", mill);
    gx::TGXModelData empty;
    empty.Format = gx::EGXModelFormat::XFile;
    empty.Nodes.push_back({"Leer", -1, {}, {0, 0, 0, 1}, {1, 1, 1}, {}});
    PutFile(std::string(kBase) + "\\RoundArch.x", modeltest::Write(empty));
    P = std::make_unique<mgrtest::TTestProject>();
  }
  void TearDown() override {
    P.reset();
    TRRVegetation::SetRandomSource(nullptr);
    TRRModelServices::Clear();
    Models.reset();
    TMaterialTest::TearDown();
  }

  TRREntityManager& M() { return P->M(); }
  static TRRModelFileName File(const char* name) {
    return {TRRAssetFileName(name, std::string(kPackage) + "\\" + name), {}};
  }

  template <class D>
  std::unique_ptr<D> Described(const char* model, const TGXVector3& position = {}) {
    auto d = std::make_unique<D>();
    d->SetID(M().NextID());
    M().ReserveIDs(1);
    if constexpr (std::is_base_of_v<TRRModelDesc, D>) d->ModelFile() = File(model);
    d->SetPosition(position);
    return d;
  }
  template <class E>
  E* Create(const TRREntityDescription& d) {
    auto* e = static_cast<E*>(M().CreateEntity(nullptr, d));
    e->Update(true);
    return e;
  }

  // A straight piece of the system along +Z, its route from z = -200 to 200 at x = 0.
  TRRTrack* Track(int system = RRTrackSystemH0) {
    TRRTrackDesc d(TRRTrackType::Straight);
    d.SetTrackWidth(static_cast<uint8_t>(system));
    d.SetID(M().NextID());
    M().ReserveIDs(1);
    auto r = std::make_unique<TRRTrackRouteDesc>();
    r->L1 = 400;
    d.AddRoute(std::move(r));
    auto* t = static_cast<TRRTrack*>(M().CreateEntity(nullptr, d));
    t->Update(true);
    TRRTrackRoute* route = t->GetRoute(0);
    const TGXVector3 a = route->Contact(0)->GetWorldPosition(), b = route->Contact(1)->GetWorldPosition();
    t->SetPosition(t->Position() - (a + b) * 0.5f);
    t->Update(true);
    return t;
  }

  TRRTrackVehicle* Vehicle(TRRTrack* track, float position) {
    auto d = Described<TRRTrackVehicleDesc>("Muehle.x");
    d->ForwardAxis = 1;
    d->TrackID = track->ID();
    d->RoutePosition = position;
    return Create<TRRTrackVehicle>(*d);
  }

  // One frame: the scene brought up to date, every entity's step, then the timer moves on.
  void Frame(float dt = 0.04f) {
    P->Scene.Root()->Update(false);
    for (int i = 0; i < M().EntitySlotCount(); ++i)
      if (TRREntity* e = M().EntitySlot(i)) e->Animate(true, dt);
    P->Counter += std::llround(dt * 1000);
  }

  std::unique_ptr<modeltest::TGeometryFreeModels> Models;
  std::unique_ptr<mgrtest::TTestProject> P;
};

TEST_F(Scenery, APlantDrawsItsSizeOnceAndKeepsItThroughADescription) {
  const struct {
    float Seed, Random, Want;
  } cases[] = {{0, 0, 1}, {0, 0.5f, 1.075f}, {0, 0.9999f, 1.149985f}, {0, 7, 1}, {1.3f, 0.5f, 1.3f}};
  for (const auto& c : cases) {
    TRRVegetation::SetRandomSource([&] { return c.Random; });
    auto d = Described<TRRVegetationDesc>("Haus.x");
    d->ScaleSeed = c.Seed;
    auto* plant = Create<TRRVegetation>(*d);
    EXPECT_FLOAT_EQ(plant->Scale(), c.Want) << c.Random;
    EXPECT_FLOAT_EQ(plant->ModelEntity()->Scale().y, c.Want);
    EXPECT_EQ(plant->CADType(), RRVegetationCadType);
    // A copy made from its description has the same size, whatever the source says now.
    TRRVegetation::SetRandomSource([] { return 0.25f; });
    auto copy = plant->CreateDescription();
    copy->SetID(M().NextID());
    M().ReserveIDs(1);
    EXPECT_FLOAT_EQ(Create<TRRVegetation>(*copy)->Scale(), c.Want);
  }
}

TEST_F(Scenery, StreetsSnapEndToEndWithinThreeUnits) {
  // A street 20 long with ends at x = +-10 facing out; the other's end at x = 10 + gap.
  auto street = [&](const TGXVector3& at, float turn, float scale) {
    auto d = Described<TRRStreetDesc>("Haus.x", at);
    d->Contacts = {{{10, 0, 0}, 0}, {{-10, 0, 0}, 3.1415927f}};
    d->SetRotation(gx::GXQuaternionRotationAxis({0, 1, 0}, turn));
    d->SetScale({scale, scale, scale});
    return Create<TRRStreet>(*d);
  };
  const struct {
    float Gap, Turn, Scale;
    bool Snaps;
  } cases[] = {{2.9f, 0, 1, true}, {0.5f, 0.7f, 1, true}, {2.9f, 0.3f, 0.5f, true}, {3.1f, 0, 1, false},
               {3.1f, 0, 2, false}};
  for (const auto& c : cases) {
    TRRStreet* fixed = street({0, 0, 0}, 0, 1);
    // The moving street's contact 1 (local x = -10) lies gap beyond the fixed street's x = 10.
    const float reach = 10 * c.Scale;
    const TGXVector3 end{10 + c.Gap, 0, 0};
    const TGXQuaternion turn = gx::GXQuaternionRotationAxis({0, 1, 0}, c.Turn);
    TRRStreet* moving = street(end + gx::RotateVector({reach, 0, 0}, turn), c.Turn, c.Scale);
    bool snapped = false;
    TGXVector3 position = moving->Position();
    TGXQuaternion rotation = moving->Rotation();
    EXPECT_TRUE(moving->Snap(snapped, position, rotation));
    EXPECT_EQ(snapped, c.Snaps) << c.Gap << " " << c.Turn;
    if (c.Snaps) {
      // Lined up behind the fixed street: its far end at x = 10 + 2 x reach, facing +x.
      ExpectNear(position, {10 + reach, 0, 0});
      ExpectNear(gx::RotateVector({1, 0, 0}, rotation), {1, 0, 0});
      ExpectNear(gx::RotateVector({0, 1, 0}, rotation), {0, 1, 0});
    }
    delete moving;
    delete fixed;
  }
  // A street does not snap to itself, nor to a street of its own group.
  auto group = Described<TRREntityGroupDesc>(nullptr);
  for (float x : {0.0f, 21.0f}) {
    auto d = Described<TRRStreetDesc>("Haus.x", {x, 0, 0});
    d->Contacts = {{{10, 0, 0}, 0}, {{-10, 0, 0}, 3.1415927f}};
    group->AddChild(std::move(d));
  }
  auto* grouped = Create<TRREntity>(*group);
  ASSERT_EQ(grouped->ChildCount(), 2);
  auto* first = dynamic_cast<TRRStreet*>(grouped->Child(0));
  ASSERT_NE(first, nullptr);
  bool snapped = true;
  TGXVector3 position = first->Position();
  TGXQuaternion rotation = first->Rotation();
  first->Snap(snapped, position, rotation);
  EXPECT_FALSE(snapped);
}

TEST_F(Scenery, BarriersSnapOntoTheNearestTrackAcrossIt) {
  const struct {
    int System;
    float Offset;
    bool Snaps;
  } cases[] = {{RRTrackSystemH0, 2.5f, true}, {RRTrackSystemH0, 3.5f, false}, {1 /* N */, 2, true}, {1, 2.5f, false}};
  for (const auto& c : cases) {
    TRRTrack* track = Track(c.System);
    auto* barrier = Create<TRRBarrier>(*Described<TRRBarrierDesc>("Muehle.x", {c.Offset, 0, 40}));
    bool snapped = false;
    TGXVector3 position = barrier->Position();
    TGXQuaternion rotation = barrier->Rotation();
    EXPECT_TRUE(barrier->Snap(snapped, position, rotation));
    EXPECT_EQ(snapped, c.Snaps) << c.System << " " << c.Offset;
    if (c.Snaps) {
      const float scale = RRTrackSystemScale(c.System);
      EXPECT_FLOAT_EQ(barrier->Scale().x, scale);
      // The barrier's x axis runs along the track; its bottom centre sits on the rails.
      const TGXVector3 axis = gx::RotateVector({1, 0, 0}, rotation);
      EXPECT_NEAR(std::fabs(axis.z), 1, 1e-4f);
      barrier->SetPosition(position);
      barrier->SetRotation(rotation);
      barrier->Update(true);
      const gx::TGXBoundingBox box = barrier->WorldBounds();
      EXPECT_NEAR(box.Center.x, 0, 1e-3f);
      EXPECT_NEAR(box.Center.z, 40, 0.2f);  // the nearest point is found to an eighth
    }
    delete barrier;
    delete track;
  }
}

TEST_F(Scenery, ABarrierClosesWithinATenthOfASecondOfATrainAndOpensAfterIt) {
  TRRTrack* track = Track();
  auto* barrier = Create<TRRBarrier>(*Described<TRRBarrierDesc>("Muehle.x", {0, 0, 0}));
  TRRTrackVehicle* train = Vehicle(track, 20);  // 180 before the barrier's box
  EXPECT_EQ(barrier->NextCheck(), -1);
  Frame();
  EXPECT_FALSE(barrier->Closed());
  EXPECT_EQ(barrier->NextCheck(), P->Counter - 40 + 100);
  // The train drives in: the barrier sees it at its next look, at most 0.1 s late.
  train->SetTargetSpeed(50);
  train->SetCurrentSpeed(50);
  float closedAt = -1, openedAt = -1, inBoxAt = -1;
  for (int frame = 0; frame < 300 && openedAt < 0; ++frame) {
    const float now = float(P->Counter) / 1000;
    const bool inBox = gx::BoxesIntersect(barrier->WorldDetectionBox(), train->WorldBounds());
    if (inBox && inBoxAt < 0) inBoxAt = now;
    Frame(0.02f);
    if (barrier->Closed() && closedAt < 0) closedAt = now;
    if (closedAt >= 0 && !barrier->Closed() && openedAt < 0) openedAt = now;
  }
  ASSERT_GE(inBoxAt, 0);
  EXPECT_GE(closedAt, inBoxAt);
  EXPECT_LE(closedAt, inBoxAt + 0.1f + 1e-4f);
  EXPECT_GT(openedAt, closedAt);
  // The booms went down fully while it was closed and come back up after.
  for (int i = 0; i < 40; ++i) Frame();
  EXPECT_EQ(barrier->Controller()->Time(), 0);

  // With animations off nothing looks; a faster timer looks at the same interval in its own counts.
  const int64_t before = barrier->NextCheck();
  barrier->Animate(false, 0.04f);
  EXPECT_EQ(barrier->NextCheck(), before);
  P->Frequency = 1000000;
  P->Counter = before;
  barrier->Animate(true, 0.04f);
  EXPECT_EQ(barrier->NextCheck(), before + 100000);
}

TEST_F(Scenery, ATurnedBarrierDoesNotCloseForATrainItsAxisAlignedBoxWouldReach) {
  TRRTrack* track = Track();
  Vehicle(track, 200);  // at z = 0, reaching x = +-3
  const struct {
    float X, Turn;
    bool Closes;
  } cases[] = {{15, 0.7853982f, false}, {15, 0, true}, {19, 0, false}, {8, 0.7853982f, true}};
  for (const auto& c : cases) {
    auto d = Described<TRRBarrierDesc>("Muehle.x", {c.X, 0, 0});
    d->SetRotation(gx::GXQuaternionRotationAxis({0, 1, 0}, c.Turn));
    auto* barrier = Create<TRRBarrier>(*d);
    Frame();
    EXPECT_EQ(barrier->Closed(), c.Closes) << c.X << " " << c.Turn;
    delete barrier;
  }
}

TEST_F(Scenery, BaysFanOutCornerToCornerAndKeepTheirAngle) {
  for (float angle : {RRDefaultBendAngle, 0.1f, 0.0f, -0.3f}) {
    auto d = Described<TRRVehicleBuildingDesc>(nullptr);
    d->BayModel = File("Stand.x");
    d->ConnectorModel = File("Keil.x");
    d->BayCount = 4;
    d->BendAngle = angle;
    auto* shed = Create<TRRVehicleBuilding>(*d);
    ASSERT_EQ(shed->BayCount(), 4);
    ASSERT_EQ(shed->ConnectorCount(), 3);
    ExpectNear(shed->Bay(0)->Position(), {0, 0, 0});
    for (int i = 1; i < 4; ++i) {
      auto corner = [&](int bay, const TGXVector3& p) {
        const gx::TGXNode* n = shed->Bay(bay);
        return n->Position() + gx::RotateVector(p, n->Rotation());
      };
      ExpectNear(corner(i, TRRVehicleBuilding::kBackCorner), corner(i - 1, TRRVehicleBuilding::kFrontCorner));
      ExpectNear(gx::RotateVector({1, 0, 0}, shed->Bay(i)->Rotation()),
                 gx::RotateVector({1, 0, 0}, gx::GXQuaternionRotationAxis({0, 1, 0}, -i * angle)));
      const TRRModelEntity* c = shed->Connector(i - 1);
      EXPECT_FLOAT_EQ(c->Scale().z, 2 * angle);
      ExpectNear(c->Position(), corner(i - 1, TRRVehicleBuilding::kFrontCorner));
    }
    EXPECT_EQ(shed->Bay(0)->DoorCount(), 2);
    // The same angle again leaves the bays as they are (a bay moved by hand stays moved).
    shed->Bay(1)->SetPosition({1, 2, 3});
    shed->SetBendAngle(angle);
    ExpectNear(shed->Bay(1)->Position(), {1, 2, 3});
    shed->SetBendAngle(angle + 0.1f);
    EXPECT_NE(shed->Bay(1)->Position().y, 2);
    auto back = shed->CreateDescription();
    EXPECT_EQ(static_cast<TRRVehicleBuildingDesc&>(*back).BayCount, 4);
  }
  auto one = Described<TRRVehicleBuildingDesc>(nullptr);
  one->BayModel = File("Stand.x");
  EXPECT_EQ(Create<TRRVehicleBuilding>(*one)->ConnectorCount(), 0);
}

TEST_F(Scenery, ShedDoorsOpenForAVehicleInTheDoorwayAndCloseWhenItLeaves) {
  TRRTrack* track = Track();
  auto d = Described<TRRVehicleBuildingDesc>(nullptr);
  d->BayModel = File("Stand.x");
  d->BayCount = 2;
  // Bay 0 lies along +x; turned a quarter, its doorway (x = -12.49) is at z = 12.49 on the track.
  d->SetRotation(gx::GXQuaternionRotationAxis({0, 1, 0}, 1.5707964f));
  auto* shed = Create<TRRVehicleBuilding>(*d);
  TRRTrackVehicle* loco = Vehicle(track, 150);  // at z = -50
  Frame();
  EXPECT_TRUE(shed->Bay(0)->DoorsClosed());
  loco->PlaceOnRoute(track->GetRoute(0), 212);  // z = 12: in the doorway
  for (int i = 0; i < 5; ++i) Frame();
  EXPECT_FALSE(shed->Bay(0)->DoorsClosed());
  EXPECT_TRUE(shed->Bay(1)->DoorsClosed());
  EXPECT_GT(shed->Bay(0)->DoorTime(), 0);
  EXPECT_EQ(shed->Bay(1)->DoorTime(), 0);
  loco->PlaceOnRoute(track->GetRoute(0), 100);
  for (int i = 0; i < 30; ++i) Frame();
  EXPECT_TRUE(shed->Bay(0)->DoorsClosed());
  EXPECT_EQ(shed->Bay(0)->DoorTime(), 0);
}

TEST_F(Scenery, PrimitivesDressTheirShapeWithOneMaterialOfTheirOwnRules) {
  auto shape = [&](uint8_t type, float reflection) {
    auto d = Described<TRRPrimitiveDesc>(nullptr);
    d->PrimitiveType = type;
    d->Scale = {2, 1, 3};
    d->Sub().ReflectionStrength = reflection;
    d->Sub().ReflectionMode = reflection == 0 ? RRReflectionNone : RRReflectionEnvironment;
    return Create<TRRPrimitive>(*d);
  };
  auto materialOf = [](TRRPrimitive* p) {
    auto* entity = dynamic_cast<gx::TGXEntity*>(p->ShapeNode()->Objects()[0]);
    return entity->SubEntity(0)->OwnMaterial().Get();
  };
  TRRPrimitive* a = shape(6, 0);
  TRRPrimitive* b = shape(6, 0);
  ASSERT_TRUE(a->HasMesh());
  EXPECT_EQ(a->ShapeNode()->Scale(), TGXVector3(2, 1, 3));
  // The windmill's first mesh (the tower) is taken; both sub-entities of a shape share one material.
  auto* entity = dynamic_cast<gx::TGXEntity*>(a->ShapeNode()->Objects()[0]);
  ASSERT_NE(entity, nullptr);
  EXPECT_EQ(a->ShapeNode()->ObjectCount(), 1);
  EXPECT_EQ(materialOf(a), materialOf(b));  // not reflecting: one shared material
  EXPECT_NE(materialOf(shape(6, 0.5f)), materialOf(shape(6, 0.5f)));  // reflecting: one each

  a->SetColor({1, 0, 0});
  EXPECT_EQ(a->Material().Ambient, TGXVector3(1, 0, 0));
  EXPECT_EQ(a->Material().Specular, TGXVector3(1, 0, 0));
  EXPECT_NE(materialOf(a), materialOf(b));

  const struct {
    uint8_t Type;
    float Strength;
    uint8_t Mode;
  } modes[] = {{6, 0.5f, RRReflectionEnvironment}, {6, 0, RRReflectionNone}, {4, 0.5f, RRReflectionPlanar},
               {0, 1, RRReflectionEnvironment}};
  for (const auto& m : modes) {
    TRRPrimitive* p = shape(m.Type, 0);
    p->SetReflectionStrength(m.Strength);
    EXPECT_EQ(p->Material().ReflectionMode, m.Mode) << int(m.Type) << " " << m.Strength;
  }
  b->SetTexture(TRRAssetFileName("Gras.png"));
  EXPECT_EQ(static_cast<TRRPrimitiveDesc&>(*b->CreateDescription()).Sub().DiffuseMap.FileName, "Gras.png");

  // A model without a mesh leaves the shape empty and is reported.
  Reported.clear();
  TRRPrimitive* arch = shape(7, 0);
  EXPECT_FALSE(arch->HasMesh());
  EXPECT_EQ(arch->ShapeNode()->ObjectCount(), 0);
  ASSERT_EQ(Reported.size(), 1u);
  EXPECT_NE(Reported[0].File.FileName.find("RoundArch.x"), std::string::npos);
}

}  // namespace
