// Contacts and connections between placed tracks: partner search with its tolerances, switches,
// movement across joints, the contact index, the nearest route and snapping.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackConnections.h"
#include "app/entities/track/RRTrackRoute.h"
#include "app/entities/track/RRTrackSnap.h"
#include "tests/app/ManagerTestSupport.h"

using namespace rr;
using gx::TGXVector3;

namespace {

constexpr float kPi = gx::GX_PI;

std::unique_ptr<TRRTrackRouteDesc> Route(float l1, float angle = 0, float radius = 0, float l2 = 0) {
  auto r = std::make_unique<TRRTrackRouteDesc>();
  r->L1 = l1;
  r->Angle = angle;
  r->Radius = radius;
  r->L2 = l2;
  return r;
}

void ExpectNear(const TGXVector3& a, const TGXVector3& b, float eps = 1e-3f) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}

class TrackConnections : public ::testing::Test {
 protected:
  mgrtest::TTestProject P;

  // A track of the type with the routes, placed at position and turned by heading about +Y.
  TRRTrack* Make(TRRTrackType type, std::vector<std::unique_ptr<TRRTrackRouteDesc>> routes,
                 TGXVector3 position = {}, float heading = 0, uint8_t width = 3) {
    TRRTrackDesc d(type);
    d.SetID(P.M().NextID());
    P.M().ReserveIDs(1);
    d.SetPosition(position);
    d.SetRotation(gx::GXQuaternionRotationAxis({0, 1, 0}, heading));
    d.SetTrackWidth(width);
    for (auto& r : routes) d.AddRoute(std::move(r));
    auto* t = dynamic_cast<TRRTrack*>(P.M().CreateEntity(nullptr, d));
    EXPECT_NE(t, nullptr);
    P.Scene.Root()->Update(false);
    return t;
  }
  TRRTrack* Straight(float length, TGXVector3 position = {}, float heading = 0, uint8_t width = 3) {
    std::vector<std::unique_ptr<TRRTrackRouteDesc>> r;
    r.push_back(Route(length));
    return Make(TRRTrackType::Straight, std::move(r), position, heading, width);
  }
  TRRTrack* Curve(float angle, float radius, TGXVector3 position = {}, float heading = 0) {
    std::vector<std::unique_ptr<TRRTrackRouteDesc>> r;
    r.push_back(Route(0, angle, radius));
    return Make(TRRTrackType::Curve, std::move(r), position, heading);
  }
  static TRRTrackRoute* R(TRRTrack* t, int i = 0) { return t->GetRoute(i); }
  static TRRTrackRouteContact* C(TRRTrack* t, int contact, int route = 0) {
    return t->GetRoute(route)->Contact(contact);
  }
  static TRRTrackRouteContact* Partner(TRRTrackRouteContact* c, bool* blockedOut = nullptr) {
    bool blocked = false;
    TRRTrackRouteContact* p = c->FindPartner(blocked);
    if (blockedOut) *blockedOut = blocked;
    return p;
  }
};

}  // namespace

TEST_F(TrackConnections, ToleranceScalesWithTheGauge) {
  // 0.15 apart: within 0.2 at H0, beyond 0.10875 at N.
  TRRTrack* a = Straight(10);
  TRRTrack* b = Straight(10, {0, 0, 10.15f});
  EXPECT_EQ(Partner(C(a, 1)), C(b, 0));
  EXPECT_TRUE(C(b, 0)->IsConnected());
  EXPECT_EQ(C(a, 1)->Connection(), b->ID());
  EXPECT_EQ(C(a, 1)->MarkerColour(), TGXVector3(0, 1, 0));
  EXPECT_EQ(C(b, 0)->MarkerColour(), TGXVector3(0, 1, 0));

  TRRTrack* n1 = Straight(10, {50, 0, 0}, 0, 1);
  TRRTrack* n2 = Straight(10, {50, 0, 10.15f}, 0, 1);
  EXPECT_EQ(Partner(C(n1, 1)), nullptr);
  EXPECT_EQ(Partner(C(n2, 0)), nullptr);
  EXPECT_EQ(C(n1, 1)->MarkerColour(), TGXVector3(1, 0, 0));
  EXPECT_EQ(C(n2, 0)->MarkerColour(), TGXVector3(1, 0, 0));
  TRRTrack* n3 = Straight(10, {50, 0, -10.1f}, 0, 1);
  EXPECT_EQ(Partner(C(n1, 0)), C(n3, 1));
}

TEST_F(TrackConnections, DifferentGaugesAndDisabledContactsNeverConnect) {
  TRRTrack* h0 = Straight(10);
  TRRTrack* n = Straight(10, {0, 0, 10}, 0, 1);
  // Not even one way: the searching contact's scale decides as much as the found one's.
  EXPECT_EQ(Partner(C(h0, 1)), nullptr);
  EXPECT_EQ(Partner(C(n, 0)), nullptr);

  TRRTrack* a = Straight(10, {20, 0, 0});
  TRRTrack* b = Straight(10, {20, 0, 10});
  C(b, 0)->SetEnabled(false);
  EXPECT_EQ(Partner(C(a, 1)), nullptr);
  EXPECT_EQ(Partner(C(b, 0)), nullptr);
  EXPECT_FALSE(C(b, 0)->IsConnected());
  // A vehicle arriving at the disabled start stops there, and one leaving through it too.
  const RouteLocation l = R(b)->Advance(1, 5, 2);
  EXPECT_EQ(l.Status, RouteLocation::OpenEnd);
  EXPECT_EQ(l.Route, R(b));
  EXPECT_EQ(l.Distance, 0);
}

TEST_F(TrackConnections, BufferStopConnectsOnlyAtItsEnd) {
  std::vector<std::unique_ptr<TRRTrackRouteDesc>> r;
  r.push_back(Route(5));
  TRRTrack* stop = Make(TRRTrackType::BufferStop, std::move(r), {0, 0, 10});
  TRRTrack* before = Straight(10);
  TRRTrack* after = Straight(10, {0, 0, 15});
  EXPECT_EQ(Partner(C(before, 1)), nullptr);
  EXPECT_EQ(Partner(C(after, 0)), C(stop, 1));
  const RouteLocation l = R(before)->Advance(0, 8, 5);
  EXPECT_EQ(l.Status, RouteLocation::OpenEnd);
  EXPECT_EQ(l.Route, R(before));
  EXPECT_EQ(l.Distance, 10);
}

TEST_F(TrackConnections, RememberedTrackIsTriedFirstAndKeptWhenItGoes) {
  TRRTrack* a = Straight(10);
  TRRTrack* b = Straight(10, {0, 0, 10});
  TRRTrack* c = Straight(10, {0, 0, 10});
  // Both b and c start where a ends; the list order finds b first.
  EXPECT_EQ(Partner(C(a, 1)), C(b, 0));
  C(a, 1)->SetConnection(c->ID());
  EXPECT_EQ(Partner(C(a, 1)), C(c, 0));
  EXPECT_EQ(C(a, 1)->Connection(), c->ID());
  // A remembered track that was deleted is skipped and the scan finds the next one.
  const int32_t gone = b->ID();
  delete b;
  C(a, 1)->SetConnection(gone);
  EXPECT_EQ(Partner(C(a, 1)), C(c, 0));
  EXPECT_EQ(C(a, 1)->Connection(), c->ID());
  // Nothing left: the end is open and the ID stays until a new partner is found.
  const int32_t last = c->ID();
  delete c;
  EXPECT_EQ(Partner(C(a, 1)), nullptr);
  EXPECT_EQ(C(a, 1)->Connection(), last);
  // ToDescription writes the remembered IDs back.
  EXPECT_EQ(R(a)->ToDescription()->LastConnection[1], C(a, 1)->Connection());
}

TEST_F(TrackConnections, AdvanceCrossesJointsInBothDirections) {
  TRRTrack* a = Straight(10);
  TRRTrack* b = Straight(10, {0, 0, 10});
  RouteLocation l = R(a)->Advance(0, 15, 0);
  EXPECT_EQ(l.Route, R(b));
  EXPECT_NEAR(l.Distance, 5, 1e-4f);
  EXPECT_EQ(l.Direction, 0);
  EXPECT_EQ(l.Status, RouteLocation::Moved);
  // Backwards from b into a.
  l = R(b)->Advance(1, 4, 1);
  EXPECT_EQ(l.Route, R(a));
  EXPECT_NEAR(l.Distance, 7, 1e-4f);
  EXPECT_EQ(l.Direction, 1);
  // A negative delta near the start arrives at a's length minus the rest.
  l = R(b)->Advance(0, -3, 0.2f);
  EXPECT_EQ(l.Route, R(a));
  EXPECT_NEAR(l.Distance, 7.2f, 1e-4f);
  EXPECT_EQ(l.Direction, 0);
  // Off the far end: clamped to the open end.
  l = R(a)->Advance(0, 100, 0);
  EXPECT_EQ(l.Route, R(b));
  EXPECT_EQ(l.Distance, 10);
  EXPECT_EQ(l.Status, RouteLocation::OpenEnd);
}

TEST_F(TrackConnections, AdvanceOntoAReversedTrackTurnsTheDirection) {
  TRRTrack* a = Straight(10);
  // Runs from z = 20 back to z = 10: its end meets a's end.
  TRRTrack* b = Straight(10, {0, 0, 20}, kPi);
  RouteLocation l = R(a)->Advance(0, 12, 5);
  EXPECT_EQ(l.Route, R(b));
  EXPECT_EQ(l.Direction, 1);
  EXPECT_NEAR(l.Distance, 3, 1e-3f);
  // Direction 1 on b runs on away from a; direction 0 comes back and meets a end to end again.
  EXPECT_EQ(R(b)->Advance(1, 5, 3).Status, RouteLocation::OpenEnd);
  l = R(b)->Advance(0, 10, 3);
  EXPECT_EQ(l.Route, R(a));
  EXPECT_EQ(l.Direction, 1);
  EXPECT_NEAR(l.Distance, 7, 1e-3f);
}

TEST_F(TrackConnections, AdvanceRoundAClosedLoop) {
  // Four quarter circles of radius 10 close a circle of length 20 pi.
  TRRTrack* q0 = Curve(kPi / 2, 10);
  Curve(kPi / 2, 10, {10, 0, 10}, kPi / 2);
  TRRTrack* q2 = Curve(kPi / 2, 10, {20, 0, 0}, kPi);
  Curve(kPi / 2, 10, {10, 0, -10}, 3 * kPi / 2);
  const float quarter = 5 * kPi;
  const RouteLocation l = R(q0)->Advance(0, 20 * kPi + 2 * quarter + 1, 0);
  EXPECT_EQ(l.Status, RouteLocation::Moved);
  EXPECT_EQ(l.Route, R(q2));
  EXPECT_NEAR(l.Distance, 1, 1e-3f);
  // Stepping hands over to the next quarter.
  RouteLocation next;
  EXPECT_NEAR(R(q0)->StepToNextRoute(0, 4, next), quarter - 4, 1e-4f);
  EXPECT_EQ(next.Status, RouteLocation::Moved);
  EXPECT_EQ(next.Distance, 0);
  EXPECT_EQ(next.Direction, 0);
  EXPECT_NE(next.Route, R(q0));
}

TEST_F(TrackConnections, ZeroLengthPiecesEndAsAnOpenEnd) {
  TRRTrack* z1 = Straight(0, {5, 0, 5});
  Straight(0, {5, 0, 5});
  // Each piece's end meets the other's start: without progress the search would go on for ever.
  const RouteLocation l = R(z1)->Advance(0, 5, 0);
  EXPECT_EQ(l.Status, RouteLocation::OpenEnd);
  // An absurd delta on a real loop stops too instead of spinning.
  TRRTrack* a = Straight(10, {40, 0, 0});
  Straight(10, {40, 0, 10}, kPi);
  EXPECT_EQ(R(a)->Advance(0, 1e30f, 0).Status, RouteLocation::OpenEnd);
  EXPECT_EQ(R(a)->Advance(0, std::nanf(""), 3).Distance, 3);
}

TEST_F(TrackConnections, SwitchesLetThroughTheActiveRouteAndBlockTheOthers) {
  TRRTrack* before = Straight(10, {0, 0, -10});
  std::vector<std::unique_ptr<TRRTrackRouteDesc>> routes;
  routes.push_back(Route(10));
  routes.push_back(Route(0, 0.3f, 36));
  TRRTrack* sw = Make(TRRTrackType::Switch, std::move(routes));
  // The entry is common to both routes: the active one continues.
  RouteLocation l = R(before)->Advance(0, 15, 0);
  EXPECT_EQ(l.Route, R(sw, 0));
  EXPECT_NEAR(l.Distance, 5, 1e-4f);
  sw->SetActiveRoute(1);
  l = R(before)->Advance(0, 15, 0);
  EXPECT_EQ(l.Route, R(sw, 1));
  EXPECT_EQ(l.Status, RouteLocation::Moved);

  // A track leaving the diverging end, reached from the frog side while the switch is straight.
  const TGXVector3 end = R(sw, 1)->GetWorldPosition(R(sw, 1)->GetLength());
  TRRTrack* branch = Straight(10, end, 0.3f);
  sw->SetActiveRoute(0);
  bool blocked = false;
  EXPECT_EQ(Partner(C(branch, 0), &blocked), C(sw, 1, 1));
  EXPECT_TRUE(blocked);
  l = R(branch)->Advance(1, 5, 3);
  EXPECT_EQ(l.Status, RouteLocation::Blocked);
  EXPECT_EQ(l.Route, R(sw, 1));
  EXPECT_NEAR(l.Distance, R(sw, 1)->GetLength(), 1e-5f);
  RouteLocation next;
  R(branch)->StepToNextRoute(1, 3, next);
  EXPECT_EQ(next.Status, RouteLocation::Blocked);
  EXPECT_EQ(next.Route, R(branch));
  sw->SetActiveRoute(1);
  l = R(branch)->Advance(1, 5, 3);
  EXPECT_EQ(l.Status, RouteLocation::Moved);
  EXPECT_EQ(l.Route, R(sw, 1));
  EXPECT_EQ(l.Direction, 1);
}

TEST_F(TrackConnections, ContactFramesPointAwayFromTheTrack) {
  TRRTrack* t = Straight(10, {3, 0, 0}, kPi / 2);
  ExpectNear(C(t, 0)->GetWorldPosition(), {3, 0, 0});
  ExpectNear(C(t, 1)->GetWorldPosition(), {13, 0, 0});
  ExpectNear(C(t, 1)->GetWorldOutward(), {1, 0, 0});
  ExpectNear(C(t, 0)->GetWorldOutward(), {-1, 0, 0});
  ExpectNear(C(t, 0)->GetWorldSide(), {0, 0, 1});
  ExpectNear(C(t, 1)->GetWorldSide(), {0, 0, -1});
  ExpectNear(C(t, 1)->GetWorldUp(), {0, 1, 0});
  EXPECT_EQ(C(t, 0)->GetOpposite(), C(t, 1));
  // The world orientation carries +Z to the world tangent.
  const gx::TGXQuaternion q = R(t)->GetWorldOrientation(4);
  ExpectNear(gx::RotateVector({0, 0, 1}, q), R(t)->GetWorldTangent(4));
  ExpectNear(gx::RotateVector({0, 1, 0}, q), R(t)->GetWorldUp(4));
  ExpectNear(R(t)->GetWorldRailPosition(4), {7, RRTrackSegmentShape().RailHeight(), 0});
  EXPECT_FLOAT_EQ(C(t, 1)->GetDistance(), 10);
  // Picked from above within 1.5 scales, not from below and not farther away.
  EXPECT_TRUE(C(t, 1)->HitTest({13.5f, 10, 1}, {0, -1, 0}).has_value());
  EXPECT_FALSE(C(t, 1)->HitTest({13.5f, -10, 1}, {0, 1, 0}).has_value());
  EXPECT_FALSE(C(t, 1)->HitTest({15, 10, 0}, {0, -1, 0}).has_value());
  // Coincidence is absolute (0.2) and needs the same gauge.
  TRRTrack* u = Straight(10, {13.15f, 0, 0}, kPi / 2, 1);
  TRRTrack* v = Straight(10, {13.15f, 0, 0}, kPi / 2);
  EXPECT_FALSE(C(t, 1)->Coincides(*C(u, 0)));
  EXPECT_TRUE(C(t, 1)->Coincides(*C(v, 0)));
}

TEST_F(TrackConnections, CrossingRouteTurnsAboutTheFirstRoutesMidpoint) {
  std::vector<std::unique_ptr<TRRTrackRouteDesc>> routes;
  routes.push_back(Route(20));
  auto second = Route(10);
  second->Rotation = kPi / 2;
  routes.push_back(std::move(second));
  TRRTrack* x = Make(TRRTrackType::Crossing, std::move(routes));
  // Route 1 (0..10 along +Z) turned about (0, 0, 10), not about its own midpoint (0, 0, 5).
  ExpectNear(R(x, 1)->GetPosition(0), {-10, 0, 10});
  ExpectNear(R(x, 1)->GetPosition(10), {0, 0, 10});
  ExpectNear(R(x, 1)->GetTangent(5), {1, 0, 0});
}

TEST_F(TrackConnections, IndexFindsExactlyWhatTheScanFinds) {
  // A grid of short pieces: straights, N-gauge pieces, switches and disabled contacts, with
  // several candidates at many points so that list order matters.
  std::vector<TRRTrack*> tracks;
  for (int i = 0; i < 12; ++i)
    for (int j = 0; j < 6; ++j) {
      const TGXVector3 p{static_cast<float>(i) * 0.5f, 0, static_cast<float>(j) * 5};
      if ((i + j) % 5 == 0) {
        std::vector<std::unique_ptr<TRRTrackRouteDesc>> r;
        r.push_back(Route(5));
        r.push_back(Route(0, 0.2f, 25));
        tracks.push_back(Make(TRRTrackType::Switch, std::move(r), p));
        if (j % 2) tracks.back()->SetActiveRoute(1);
      } else {
        tracks.push_back(Straight(5, p, (i % 3 == 0) ? kPi : 0, (i % 4 == 1) ? 1 : 3));
      }
      if (i % 7 == 3) C(tracks.back(), 0)->SetEnabled(false);
    }
  struct TAnswer {
    TRRTrackRouteContact* Contact;
    bool Blocked;
  };
  std::vector<TRRTrackRouteContact*> all;
  for (TRRTrack* t : tracks)
    for (int r = 0; r < t->GetRouteCount(); ++r)
      for (int i = 0; i < 2; ++i) all.push_back(R(t, r)->Contact(i));
  std::vector<TAnswer> scan, indexed;
  int found = 0;
  for (TRRTrackRouteContact* c : all) {
    c->SetConnection(0);
    bool b = false;
    TRRTrackRouteContact* p = c->FindPartner(b);
    scan.push_back({p, b});
    found += p != nullptr;
  }
  EXPECT_GT(found, 100);
  const TRRContactIndex index(P.M().Tracks());
  for (TRRTrackRouteContact* c : all) {
    c->SetConnection(0);
    bool b = false;
    TRRTrackRouteContact* p = c->FindPartner(b, &index);
    indexed.push_back({p, b});
  }
  for (size_t k = 0; k < all.size(); ++k) {
    EXPECT_EQ(scan[k].Contact, indexed[k].Contact) << k;
    EXPECT_EQ(scan[k].Blocked, indexed[k].Blocked) << k;
  }
  EXPECT_EQ(RRRefreshConnections(P.M().Tracks()), found);
}

TEST_F(TrackConnections, OpenEndsSearchedAgainFindWhatTheFirstScanOfTheirLayoutFinds) {
  // Pieces scattered with many near misses and joints; every contact forgets its track, so each
  // search runs over the layout: once as the first search after a change (the list scanned), once
  // with the layout standing (from the second search on, the layout's index answers).
  std::vector<TRRTrack*> tracks;
  uint32_t seed = 12345;
  auto next = [&seed](float range) {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<float>(seed >> 8) / static_cast<float>(1u << 24) * range;
  };
  for (int k = 0; k < 90; ++k) {
    // Half the pieces start where an earlier one ends (within the tolerance or just beyond it).
    TGXVector3 p{next(40), 0, next(40)};
    if (k > 0 && k % 2 == 0) {
      const TRRTrack* previous = tracks[size_t(next(float(tracks.size())))];
      p = C(const_cast<TRRTrack*>(previous), 1)->GetWorldPosition() + TGXVector3{next(0.5f) - 0.25f, 0, 0};
    }
    tracks.push_back(Straight(2 + next(6), p, next(2 * kPi), k % 9 == 4 ? 1 : 3));
    if (k % 11 == 5) C(tracks.back(), 0)->SetEnabled(false);
  }
  std::vector<TRRTrackRouteContact*> all;
  for (TRRTrack* t : tracks)
    for (int i = 0; i < 2; ++i) all.push_back(C(t, i));
  struct TAnswer {
    TRRTrackRouteContact* Contact;
    bool Blocked;
  };
  auto search = [&](bool layoutChangedBefore) {
    std::vector<TAnswer> answers;
    RRTrackLayoutChanged();
    for (TRRTrackRouteContact* c : all) {
      if (layoutChangedBefore) RRTrackLayoutChanged();
      c->SetConnection(0);
      bool b = false;
      TRRTrackRouteContact* p = c->FindPartner(b);
      answers.push_back({p, b});
    }
    return answers;
  };
  const std::vector<TAnswer> scanned = search(true), standing = search(false);
  int found = 0;
  for (size_t k = 0; k < all.size(); ++k) {
    EXPECT_EQ(scanned[k].Contact, standing[k].Contact) << k;
    EXPECT_EQ(scanned[k].Blocked, standing[k].Blocked) << k;
    found += scanned[k].Contact != nullptr;
  }
  EXPECT_GT(found, 40);
  EXPECT_LT(found, int(all.size()));

  // A piece laid at an open end after the layout's index was made is found there.
  TRRTrackRouteContact* open = nullptr;
  for (size_t k = 0; k < all.size() && !open; ++k)
    if (!standing[k].Contact && all[k]->Enabled() && all[k]->Route()->Scale() == R(tracks[0])->Scale()) open = all[k];
  ASSERT_NE(open, nullptr);
  RRTrackLayoutChanged();
  for (TRRTrackRouteContact* c : all) Partner(c);
  TRRTrack* laid = Straight(3, open->GetWorldPosition());
  open->SetConnection(0);
  TRRTrackRouteContact* p = Partner(open);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->Route()->Track(), laid);
}

TEST_F(TrackConnections, NearestRouteReachesTheEndsOfLongTracks) {
  TRRTrack* a = Straight(10);
  Straight(10, {20, 0, 0});
  const float rail = RRTrackSegmentShape().RailHeight();
  TRRNearestRoute n = FindNearestRoute(P.M().Tracks(), {1, rail, 5}, 3);
  EXPECT_EQ(n.Route, R(a));
  EXPECT_NEAR(n.Distance, 5, 1e-4f);
  EXPECT_EQ(FindNearestRoute(P.M().Tracks(), {10, rail, 5}, 3).Route, nullptr);
  // Just beyond the end of a long track: outside its bounding sphere but within the radius.
  TRRTrack* longTrack = Straight(200, {100, 0, 0});
  n = FindNearestRoute(P.M().Tracks(), {100, rail, 200.4f}, 1);
  EXPECT_EQ(n.Route, R(longTrack));
  EXPECT_NEAR(n.Distance, 200, 1e-3f);
}

TEST_F(TrackConnections, SnappingPutsTheContactOntoTheOtherFacingIt) {
  TRRTrack* fixed = Curve(0.5f, 36, {5, 0, 7}, 0.3f);
  TRRTrack* moving = Straight(10, {40, 0, 40}, 2.0f);
  TRRTrackRouteContact* own = C(moving, 0);
  TRRTrackRouteContact* foreign = C(fixed, 1);
  TGXVector3 position;
  gx::TGXQuaternion rotation;
  RRSnapTransform(*own, *foreign, position, rotation);
  moving->SetPosition(position);
  moving->SetRotation(rotation);
  P.Scene.Root()->Update(false);
  ExpectNear(own->GetWorldPosition(), foreign->GetWorldPosition());
  ExpectNear(own->GetWorldOutward(), -foreign->GetWorldOutward());
  ExpectNear(own->GetWorldUp(), {0, 1, 0});
  EXPECT_EQ(Partner(foreign), own);
  EXPECT_EQ(R(fixed)->Advance(0, 3, R(fixed)->GetLength()).Route, R(moving));
}

TEST_F(TrackConnections, TechnicalViewRefreshesConnectionsAtMostEveryFifthOfASecond) {
  TRRTrack* a = Straight(10);
  TRRTrack* b = Straight(10, {0, 0, 10});
  const gx::TGXVector3 green{0, 1, 0}, red{1, 0, 0};
  P.Counter = 1000;
  P.M().UpdateFrame();  // no technical view: nothing is searched
  EXPECT_EQ(C(a, 1)->Connection(), 0);
  P.M().SetTechnicalView(true);
  P.M().UpdateFrame();
  EXPECT_EQ(C(a, 1)->Connection(), b->ID());
  EXPECT_EQ(C(b, 0)->MarkerColour(), green);
  // Pulled apart: the markers turn red at the next refresh, not before 0.2 s have passed.
  b->SetPosition({0, 0, 12});
  P.Scene.Root()->Update(false);
  P.Counter += 199;
  P.M().UpdateFrame();
  EXPECT_EQ(C(b, 0)->MarkerColour(), green);
  P.Counter += 1;
  P.M().UpdateFrame();
  EXPECT_EQ(C(b, 0)->MarkerColour(), red);
  EXPECT_EQ(C(a, 1)->Connection(), b->ID());  // the remembered ID stays
}
