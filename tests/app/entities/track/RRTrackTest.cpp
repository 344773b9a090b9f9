// Track entities: switching and its notification, colours and depth bias, buffer stops,
// turntables, the no-scaling rule, descriptions and snapping.

#include <gtest/gtest.h>

#include <cmath>

#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackEvents.h"
#include "app/entities/track/RRTrackRoute.h"
#include "app/entities/track/RRTrackSystems.h"
#include "engine/core/GXSceneNode.h"
#include "tests/app/ManagerTestSupport.h"
#include "tests/app/entities/EntityTestSupport.h"

using namespace rr;

namespace {

constexpr float kPi = 3.14159265f;

// A manager that also listens to events.
class TEventManager : public rrtest::TTestManager, public IRREventNotifierHost, public IRREventNotifier {
 public:
  IRREventNotifier* EventNotifier() override { return this; }
  void Notify(TRRConditionKind condition, const TRREventNotification& n) override {
    EXPECT_EQ(n.SubjectID, n.Subject ? n.Subject->ID() : 0);
    Events.push_back({condition, n.Subject, n.Parameter});
  }
  struct TEvent {
    TRRConditionKind Condition;
    TRREntity* Subject;
    int32_t Parameter;
  };
  std::vector<TEvent> Events;
};

std::unique_ptr<TRRTrackRouteDesc> Route(float l1, float angle = 0, float radius = 0, float l2 = 0,
                                         float rotation = 0) {
  auto r = std::make_unique<TRRTrackRouteDesc>();
  r->L1 = l1;
  r->Angle = angle;
  r->Radius = radius;
  r->L2 = l2;
  r->Rotation = rotation;
  return r;
}

std::unique_ptr<TRRTrackDesc> SwitchDesc(TRRTrackType type, int routes, int id = 1) {
  auto d = std::make_unique<TRRTrackDesc>(type);
  d->SetID(id);
  for (int i = 0; i < routes; ++i) d->AddRoute(Route(18.83f, i == 0 ? 0 : 0.3927f * i, i == 0 ? 0 : 43.7f));
  return d;
}

std::unique_ptr<TRRTrackDesc> TurntableDesc(float length, int32_t active, int width = 3) {
  auto d = std::make_unique<TRRTrackDesc>(TRRTrackType::Turntable);
  d->SetID(1);
  d->SetTrackWidth(static_cast<uint8_t>(width));
  for (int i = 0; i < 12; ++i) d->AddRoute(Route(length, 0, 0, 0, i * kPi / 12));
  d->SetActiveRoute(active);
  return d;
}

struct TScene {
  TEventManager Manager;  // outlives the tracks under Root
  gx::TGXSceneNode Root{"Wurzel"};
  TRRTrack* Make(const TRRTrackDesc& d) {
    auto* t = static_cast<TRRTrack*>(TRRTrack::StaticClass().Create(&Root, &Manager, d));
    Root.Update(true);
    return t;
  }
};

bool Near(const gx::TGXVector3& a, const gx::TGXVector3& b, float tol = 1e-4f) {
  return std::fabs(a.x - b.x) < tol && std::fabs(a.y - b.y) < tol && std::fabs(a.z - b.z) < tol;
}

}  // namespace

TEST(RRTrack, SwitchingNotifiesOncePerRealChangeAndClamps) {
  TScene s;
  TRRTrack* straight = s.Make(*SwitchDesc(TRRTrackType::Straight, 1));
  straight->SetActiveRoute(1);
  EXPECT_EQ(straight->ActiveRoute(), 0);
  EXPECT_TRUE(s.Manager.Events.empty());

  auto crossing = SwitchDesc(TRRTrackType::Crossing, 2, 2);
  TRRTrack* cross = s.Make(*crossing);
  EXPECT_FALSE(cross->IsSwitchable());
  cross->SetActiveRoute(1);
  EXPECT_EQ(cross->ActiveRoute(), 0);
  EXPECT_TRUE(s.Manager.Events.empty());

  TRRTrack* sw = s.Make(*SwitchDesc(TRRTrackType::Switch, 2, 3));
  ASSERT_TRUE(sw->IsSwitchable());
  sw->SetActiveRoute(5);
  EXPECT_EQ(sw->ActiveRoute(), 1);
  ASSERT_EQ(s.Manager.Events.size(), 1u);
  EXPECT_EQ(s.Manager.Events[0].Condition, TRRConditionKind::Switch);
  EXPECT_EQ(s.Manager.Events[0].Subject, sw);
  EXPECT_EQ(s.Manager.Events[0].Parameter, 1);
  sw->SetActiveRoute(1);
  EXPECT_EQ(s.Manager.Events.size(), 1u);
  sw->SetActiveRoute(-7);
  EXPECT_EQ(sw->ActiveRoute(), 0);
  ASSERT_EQ(s.Manager.Events.size(), 2u);
  EXPECT_EQ(s.Manager.Events[1].Parameter, 0);

  // A stored active route outside the routes is clamped on creation.
  auto d = SwitchDesc(TRRTrackType::ThreeWaySwitch, 3, 4);
  d->SetActiveRoute(9);
  EXPECT_EQ(s.Make(*d)->ActiveRoute(), 2);

  // Without a listener switching still works.
  rrtest::TTestManager quiet;
  gx::TGXSceneNode root("r");
  auto* lone = static_cast<TRRTrack*>(
      TRRTrack::StaticClass().Create(&root, &quiet, *SwitchDesc(TRRTrackType::Switch, 2)));
  lone->SetActiveRoute(1);
  EXPECT_EQ(lone->ActiveRoute(), 1);
}

TEST(RRTrack, InactiveSwitchRoutesAreDimmedAndDrawnBelowTheActiveOne) {
  TScene s;
  auto d = SwitchDesc(TRRTrackType::ThreeWaySwitch, 3);
  d->SetActiveRoute(1);
  TRRTrack* t = s.Make(*d);
  TRRTrack::SetShowActiveSwitch(true);
  t->SetHighlight(0);
  t->SetHighlight(1);  // recolours
  int dimmed = 0;
  for (int i = 0; i < 3; ++i) {
    gx::TGXVector4 c = t->GetRoute(i)->Colour();
    if (i == 1) {
      EXPECT_FLOAT_EQ(c.z, 0.5f);
    } else {
      EXPECT_FLOAT_EQ(c.x, 0.65f);
      EXPECT_FLOAT_EQ(c.z, 0.325f);
      EXPECT_FLOAT_EQ(c.w, 1);
      ++dimmed;
    }
  }
  EXPECT_EQ(dimmed, 2);
  // Others 0, -2e-6 in route order; the active one the most negative.
  EXPECT_FLOAT_EQ(t->GetRoute(0)->DepthBias(), 0);
  EXPECT_FLOAT_EQ(t->GetRoute(2)->DepthBias(), -2e-6f);
  EXPECT_FLOAT_EQ(t->GetRoute(1)->DepthBias(), -4e-6f);

  t->SetHighlight(7);  // not a state: ignored
  EXPECT_EQ(t->Highlight(), 1);
  TRRTrack::SetShowActiveSwitch(false);
  t->SetHighlight(2);
  EXPECT_FLOAT_EQ(t->GetRoute(0)->Colour().x, 0.5f);  // marked, not dimmed
  TRRTrack::SetShowActiveSwitch(true);

  // A crossing cannot switch: route 0 is the one on top, and nothing is dimmed.
  TRRTrack* cross = s.Make(*SwitchDesc(TRRTrackType::Crossing, 2, 2));
  EXPECT_FLOAT_EQ(cross->GetRoute(0)->DepthBias(), -2e-6f);
  EXPECT_FLOAT_EQ(cross->GetRoute(1)->DepthBias(), 0);
  EXPECT_FLOAT_EQ(cross->GetRoute(1)->Colour().x, 1);
}

TEST(RRTrack, BufferStopConnectsOnlyAtItsEndAndShowsTheModelForItsBed) {
  TScene s;
  TRRTrackDesc d(TRRTrackType::BufferStop);
  d.SetID(1);
  d.SetTrackWidth(1);
  d.AddRoute(Route(5));
  d.SetHasBed(false);
  TRRTrack* t = s.Make(d);
  EXPECT_FALSE(t->GetRoute(0)->Contact(0)->Enabled());
  EXPECT_TRUE(t->GetRoute(0)->Contact(1)->Enabled());
  ASSERT_NE(t->BedModelNode(), nullptr);
  ASSERT_NE(t->NoBedModelNode(), nullptr);
  EXPECT_FALSE(t->BedModelNode()->Visible());
  EXPECT_TRUE(t->NoBedModelNode()->Visible());
  EXPECT_TRUE(Near(t->BedModelNode()->Scale(), {0.54375f, 0.54375f, 0.54375f}));
  t->SetHasBed(true);
  EXPECT_TRUE(t->BedModelNode()->Visible());
  EXPECT_FALSE(t->NoBedModelNode()->Visible());

  // Selecting shows only the enabled markers.
  t->Select();
  EXPECT_FALSE(t->GetRoute(0)->Contact(0)->MarkerVisible());
  EXPECT_TRUE(t->GetRoute(0)->Contact(1)->MarkerVisible());
  t->Deselect();
  t->UpdateView(false);
  EXPECT_FALSE(t->GetRoute(0)->Contact(1)->MarkerVisible());
  t->UpdateView(true);
  EXPECT_TRUE(t->GetRoute(0)->Contact(1)->MarkerVisible());
}

TEST(RRTrack, TurntableStretchesItsModelHidesThePitAndTurnsTheBridge) {
  TScene s;
  TRRTrack* t = s.Make(*TurntableDesc(25.8f, 2));
  EXPECT_NEAR(t->TurntableScale(), 1.0f, 1e-6f);
  ASSERT_NE(t->BridgeNode(), nullptr);
  ASSERT_NE(t->HutNode(), nullptr);
  EXPECT_TRUE(Near(t->TurntableModelNode()->Position(), {0, 0, 12.9f}));
  // Stubs of 2.9 at each end; the route the bridge points to is drawn whole.
  for (int i = 0; i < 12; ++i) {
    if (i == 2) {
      EXPECT_FLOAT_EQ(t->GetRoute(i)->HiddenStart(), 0);
      EXPECT_FLOAT_EQ(t->GetRoute(i)->HiddenEnd(), 0);
    } else {
      EXPECT_NEAR(t->GetRoute(i)->HiddenStart(), 2.9f, 1e-5f);
      EXPECT_NEAR(t->GetRoute(i)->HiddenEnd(), 22.9f, 1e-5f);
    }
  }
  auto bridgeAngle = [&] {
    gx::TGXVector3 z = gx::RotateVector({0, 0, 1}, t->BridgeNode()->Rotation());
    return std::atan2(z.x, z.z);
  };
  EXPECT_NEAR(std::fabs(bridgeAngle()), 2 * kPi / 12, 1e-4f);
  t->SetActiveRoute(5);
  EXPECT_EQ(t->BridgeRoute(), 5);
  EXPECT_NEAR(std::fabs(bridgeAngle()), 5 * kPi / 12, 1e-4f);
  EXPECT_NEAR(t->GetRoute(2)->HiddenStart(), 2.9f, 1e-5f);
  EXPECT_FLOAT_EQ(t->GetRoute(5)->HiddenEnd(), 0);
  // Turntable routes share one depth.
  for (int i = 0; i < 12; ++i) EXPECT_FLOAT_EQ(t->GetRoute(i)->DepthBias(), 0);

  // In N the model is squashed in height and the hut keeps the system scale.
  TScene n;
  TRRTrack* small = n.Make(*TurntableDesc(25.8f * 0.54375f, 0, 1));
  EXPECT_NEAR(small->TurntableModelNode()->Scale().y, 0.54375f, 1e-6f);
  EXPECT_TRUE(Near(small->HutNode()->WorldScale(), {0.54375f, 0.54375f, 0.54375f}));
}

TEST(RRTrack, IsNeverScaledAndTurnsBackIntoItsDescription) {
  TScene s;
  auto d = SwitchDesc(TRRTrackType::Switch, 2);
  d->Manufacturer().SetText(0x0407, "Brettmann");
  d->TrackSystemName().SetText(0x0407, "Profil");
  d->SetScale({2, 2, 2});
  d->SetActiveRoute(1);
  d->Texture() = TRRAssetFileName("Eigene.dds");
  TRRTrack* t = s.Make(*d);
  EXPECT_FALSE(t->CanScale());
  EXPECT_TRUE(Near(t->WorldScale(), {1, 1, 1}));
  t->SetScale({3, 1, 1});
  s.Root.Update(false);
  EXPECT_TRUE(Near(t->WorldScale(), {1, 1, 1}));

  // Centre: the average of the route midpoints.
  gx::TGXVector3 m0 = t->GetRoute(0)->GetPosition(t->GetRoute(0)->GetLength() / 2);
  gx::TGXVector3 m1 = t->GetRoute(1)->GetPosition(t->GetRoute(1)->GetLength() / 2);
  EXPECT_TRUE(Near(t->Centre(), (m0 + m1) * 0.5f));

  std::unique_ptr<TRREntityDescription> back = t->CreateDescription();
  auto* b = dynamic_cast<TRRTrackDesc*>(back.get());
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->Type(), TRRTrackType::Switch);
  EXPECT_EQ(b->Manufacturer().GetText(), "Brettmann");
  EXPECT_EQ(b->Manufacturer().Items().at(0).Language, 1031);
  EXPECT_EQ(b->TrackSystemName().GetText(), "Profil");
  EXPECT_EQ(b->ActiveRoute(), 1);
  EXPECT_EQ(b->RouteCount(), 2);
  EXPECT_FLOAT_EQ(b->Route(1)->Radius, 43.7f);
  EXPECT_EQ(b->Texture().FileName, "Eigene.dds");

  TRREntityDescriptionList list(false);
  list.Add(d.get());
  list.Add(b);
  EXPECT_EQ(TRRTrack::FindDescriptionByType(list, TRRTrackType::Switch), d.get());
  EXPECT_EQ(TRRTrack::FindDescriptionByType(list, TRRTrackType::Turntable), nullptr);
}

TEST(RRTrack, ADescriptionOfAnotherKindIsRefused) {
  gx::TGXSceneNode root("r");
  TRREntityDescription plain;
  plain.SetID(1);
  EXPECT_THROW(TRRTrack::StaticClass().Create(&root, nullptr, plain), EUnknownTrackType);
  EXPECT_EQ(root.ChildCount(), 0);
}

TEST(RRTrack, SnapsAFreeEndOntoTheNearestContactOfAnotherTrack) {
  mgrtest::TTestProject p;
  auto make = [&](const gx::TGXVector3& position, float yaw, int width = 3) {
    TRRTrackDesc d(TRRTrackType::Straight);
    d.SetID(p.M().NextID());
    p.M().ReserveIDs(1);
    d.SetTrackWidth(static_cast<uint8_t>(width));
    d.AddRoute(Route(10));
    d.SetPosition(position);
    d.SetRotation(gx::GXQuaternionRotationAxis({0, 1, 0}, yaw));
    auto* t = static_cast<TRRTrack*>(p.M().CreateEntity(nullptr, d));
    p.Scene.Root()->Update(false);
    return t;
  };
  make({0, 0, 0}, 0);
  // Dragged so that its start lies 0.5 from the other's end and it is turned a little.
  TRRTrack* a = make({0.3f, 0, 10.4f}, 0.1f);
  gx::TGXVector3 position;
  gx::TGXQuaternion rotation;
  ASSERT_TRUE(a->FindSnap(0, position, rotation));
  EXPECT_TRUE(Near(position, {0, 0, 10}, 1e-3f));
  gx::TGXVector3 forward = gx::RotateVector({0, 0, 1}, rotation);
  EXPECT_TRUE(Near(forward, {0, 0, 1}, 1e-3f));
  bool snapped = false;
  EXPECT_TRUE(a->Snap(snapped, position, rotation));
  EXPECT_TRUE(snapped);

  // Beyond twice the scale nothing snaps; nor does a track of another gauge.
  TRRTrack* far = make({3, 0, 13}, 0);
  EXPECT_FALSE(far->FindSnap(0, position, rotation));
  TRRTrack* other = make({40, 0, 0}, 0, 6);
  TRRTrack* near = make({40, 0, 10.2f}, 0, 3);
  (void)other;
  gx::TGXVector3 p2;
  gx::TGXQuaternion r2;
  EXPECT_FALSE(near->FindSnap(0, p2, r2));
}

TEST(RRTrack, TextureFallsBackToTheDefaultAndKeepsTheChosenName) {
  struct TTexture : gx::TGXRefCounted {
    explicit TTexture(std::string n) : Name(std::move(n)) {}
    std::string Name;
  };
  std::vector<std::string> reports;
  TRRTrack::SetTextureServices(
      [](const TRRAssetFileName& name) -> gx::TGXRef<gx::TGXRefCounted> {
        if (name.FileName == "Fehlt.dds") throw std::runtime_error("Datei fehlt");
        return gx::TGXRef<gx::TGXRefCounted>(new TTexture(name.FileName));
      },
      [&](const TRRAssetFileName& name, const std::string& message) {
        reports.push_back(name.FileName + ": " + message);
      });
  TScene s;
  TRRTrack* t = s.Make(*SwitchDesc(TRRTrackType::Switch, 2));
  auto name = [](const gx::TGXRef<gx::TGXRefCounted>& r) { return static_cast<TTexture*>(r.Get())->Name; };
  EXPECT_EQ(name(t->GetRoute(1)->Texture()), RRDefaultTrackTextureName);
  t->SetTexture(TRRAssetFileName("Fehlt.dds"));
  EXPECT_EQ(reports, (std::vector<std::string>{"Fehlt.dds: Datei fehlt"}));
  EXPECT_EQ(t->Texture().FileName, "Fehlt.dds");
  EXPECT_EQ(name(t->GetRoute(0)->Texture()), RRDefaultTrackTextureName);
  t->SetTexture(TRRAssetFileName("Fehlt.dds"));  // unchanged: not loaded again
  EXPECT_EQ(reports.size(), 1u);
  t->SetTexture(TRRAssetFileName("Beton.dds"));
  EXPECT_EQ(name(t->GetRoute(1)->Texture()), "Beton.dds");
  TRRTrack::SetTextureServices(nullptr, nullptr);
}

TEST(RRTrack, PiecesWithoutRoutesAreCreatedWithoutHarm) {
  TScene s;
  for (TRRTrackType type : {TRRTrackType::BufferStop, TRRTrackType::Turntable, TRRTrackType::Switch}) {
    TRRTrackDesc d(type);
    d.SetID(1);
    d.SetActiveRoute(3);
    TRRTrack* t = s.Make(d);
    EXPECT_EQ(t->GetRouteCount(), 0);
    EXPECT_EQ(t->GetRoute(0), nullptr);
    t->SetActiveRoute(1);
    EXPECT_EQ(t->ActiveRoute(), 0);
    EXPECT_EQ(t->ToDescription()->RouteCount(), 0);
  }
  EXPECT_TRUE(s.Manager.Events.empty());
}

TEST(RRTrack, SelectionFrustumMeetsTheRouteBoxes) {
  TScene s;
  TRRTrackDesc d(TRRTrackType::Curve);
  d.SetID(1);
  d.AddRoute(Route(0, kPi / 2, 36));  // quarter circle from (0, 0, 0) to (36, 0, 36)
  TRRTrack* t = s.Make(d);
  auto frustum = [](gx::TGXVector3 min, gx::TGXVector3 max) {
    gx::TGXOrientedBox box;
    gx::BoxFromMinMax(box, min, max);
    return gx::FrustumFromCorners(std::span<const gx::TGXVector3, 8>(box.Corners, 8));
  };
  // On the arc (radius 36 about (36, 0, 0): the point at 45 degrees is (10.5, 0, 25.5)).
  EXPECT_TRUE(t->HitTest(frustum({9.5f, -1, 24.5f}, {11.5f, 1, 26.5f})));
  // Inside the track's bounding box but off the arc.
  EXPECT_FALSE(t->HitTest(frustum({28, -1, 4}, {32, 1, 8})));
}
