// Route geometry of single routes (no track: the world frame is the identity), route
// descriptions in stream and property-bag form.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "app/entities/RREntityDescription.h"
#include "app/entities/RREntity_10.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/core/GXException.h"
#include "engine/core/GXSerialization.h"
#include "engine/core/GXStream.h"

using namespace rr;
using gx::TGXVector3;

namespace {

constexpr float kEps = 1e-4f;

gx::TGXRef<TRRTrackRoute> Fixed(float l1, float angle = 0, float radius = 0, float l2 = 0, float scale = 1,
                                float rotation = 0, float shift = 0) {
  TRRTrackRouteDesc d;
  d.L1 = l1;
  d.Angle = angle;
  d.Radius = radius;
  d.L2 = l2;
  d.Rotation = rotation;
  d.Shift = shift;
  return gx::TGXRef<TRRTrackRoute>(new TRRTrackRoute(nullptr, 0, d, scale));
}

gx::TGXRef<TRRTrackRoute> Flexible(float flexL, TRRFlexPointArray points = {}, float offset = 0,
                                   float scale = 1) {
  TRRTrackRouteDesc d;
  d.FlexL = flexL;
  d.FlexPoints = std::move(points);
  d.FlexOffset = offset;
  return gx::TGXRef<TRRTrackRoute>(new TRRTrackRoute(nullptr, 0, d, scale));
}

void ExpectNear(const TGXVector3& a, const TGXVector3& b, float eps = kEps) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}

float Angle(const TGXVector3& a, const TGXVector3& b) {
  return std::acos(std::clamp(gx::GXVec3Dot(gx::GXVec3Normalize(a), gx::GXVec3Normalize(b)), -1.0f, 1.0f));
}

// Flex points on a circle of radius r turning right from +Z, one per step along the arc.
TRRFlexPointArray ArcPoints(float r, float step, int count) {
  TRRFlexPointArray pts;
  for (int i = 0; i < count; ++i) {
    const float th = static_cast<float>(i) * step / r;
    pts.push_back({std::sin(th), std::cos(th), r - r * std::cos(th), r * std::sin(th)});
  }
  return pts;
}

}  // namespace

TEST(TrackRouteGeometry, StraightExtrapolatesAlongItsEnds) {
  auto r = Fixed(10);
  EXPECT_FLOAT_EQ(r->GetLength(), 10);
  ExpectNear(r->GetPosition(15), {0, 0, 15});
  ExpectNear(r->GetPosition(-2), {0, 0, -2});
  ExpectNear(r->GetTangent(5), {0, 0, 1});
  ExpectNear(r->GetUp(5), {0, 1, 0});
  ExpectNear(r->GetSide(5), {1, 0, 0});
  ExpectNear(r->GetRailPosition(3), {0, RRTrackSegmentShape().RailHeight(), 3});
  const gx::TGXMatrix f = r->GetFrame(4);
  EXPECT_FLOAT_EQ(f(0, 0), 1);
  EXPECT_FLOAT_EQ(f(1, 1), 1);
  EXPECT_FLOAT_EQ(f(2, 2), 1);
  EXPECT_FLOAT_EQ(f(3, 2), 4);
  EXPECT_FLOAT_EQ(f(3, 3), 1);
}

TEST(TrackRouteGeometry, LeftAndRightCurvesMirrorAndMixedSignsBendWithTheAngle) {
  auto right = Fixed(0, 0.5f, 36);
  auto left = Fixed(0, -0.5f, -36);
  EXPECT_NEAR(right->GetLength(), 18, kEps);
  EXPECT_NEAR(left->GetLength(), 18, kEps);
  const TGXVector3 end = right->GetPosition(18);
  ExpectNear(end, {36 - 36 * std::cos(0.5f), 0, 36 * std::sin(0.5f)});
  ExpectNear(left->GetPosition(18), {-end.x, 0, end.z});
  ExpectNear(right->GetTangent(18), {std::sin(0.5f), 0, std::cos(0.5f)});
  ExpectNear(left->GetTangent(9), {-std::sin(0.25f), 0, std::cos(0.25f)});
  // Beyond the end the route goes on straight along the end tangent.
  ExpectNear(right->GetPosition(20), end + right->GetTangent(18) * 2);

  // A radius whose sign disagrees with the angle's: the length stays positive, the curve bends
  // the way the angle says, and the stored values are handed back as they were.
  auto mixed = Fixed(0, -0.5f, 36);
  EXPECT_NEAR(mixed->GetLength(), 18, kEps);
  ExpectNear(mixed->GetPosition(18), left->GetPosition(18));
  const auto d = mixed->ToDescription();
  EXPECT_EQ(d->Radius, 36);
  EXPECT_EQ(d->Angle, -0.5f);
}

TEST(TrackRouteGeometry, LeadInArcAndLeadOut) {
  const float pi = gx::GX_PI;
  auto r = Fixed(5, pi / 2, 10, 5);
  EXPECT_NEAR(r->GetLength(), 10 + 5 * pi, kEps);
  ExpectNear(r->GetPosition(5), {0, 0, 5});
  ExpectNear(r->GetPosition(5 + 2.5f * pi), {10 - 10 * std::cos(pi / 4), 0, 5 + 10 * std::sin(pi / 4)});
  ExpectNear(r->GetPosition(r->GetLength()), {15, 0, 15});
  ExpectNear(r->GetTangent(r->GetLength()), {1, 0, 0});
  ExpectNear(r->GetTangent(2), {0, 0, 1});
  // An angle without radius is a kink: the lead-out leaves at the angle.
  auto kink = Fixed(4, pi / 2, 0, 3);
  EXPECT_FLOAT_EQ(kink->GetLength(), 7);
  ExpectNear(kink->GetPosition(7), {3, 0, 4});
}

TEST(TrackRouteGeometry, ShiftAndRotationTurnAboutTheMidpoint) {
  const float pi = gx::GX_PI;
  auto r = Fixed(10, 0, 0, 0, 1, pi / 2);
  // Turned by 90 degrees about its own midpoint (0, 0, 5).
  ExpectNear(r->GetPosition(0), {-5, 0, 5});
  ExpectNear(r->GetPosition(10), {5, 0, 5});
  ExpectNear(r->GetTangent(3), {1, 0, 0});
  ExpectNear(r->GetSide(3), {0, 0, -1});
  auto shifted = Fixed(10, 0, 0, 0, 1, 0, 2);
  ExpectNear(shifted->GetPosition(0), {0, 0, 2});
  ExpectNear(shifted->GetPosition(10), {0, 0, 12});
}

TEST(TrackRouteGeometry, RollTiltsTheUpVectorAndFlatFramesIgnoreIt) {
  auto r = Fixed(10);
  r->Contact(1)->SetRoll(0.2f);
  EXPECT_TRUE(r->IsTwisted());
  ExpectNear(r->GetUp(5), {-std::sin(0.1f), std::cos(0.1f), 0});
  ExpectNear(r->GetUp(-1), {0, 1, 0});
  ExpectNear(r->GetUp(12), {-std::sin(0.2f), std::cos(0.2f), 0});
  const gx::TGXMatrix flat = r->GetFrame(5, true);
  EXPECT_FLOAT_EQ(flat(1, 0), 0);
  EXPECT_FLOAT_EQ(flat(1, 1), 1);
  const gx::TGXQuaternion q = r->GetOrientation(5);
  const gx::TGXQuaternion e = gx::QuaternionFromAxes(r->GetTangent(5), r->GetUp(5), r->GetSide(5));
  EXPECT_NEAR(q.x, e.x, kEps);
  EXPECT_NEAR(q.z, e.z, kEps);
  EXPECT_NEAR(q.w, e.w, kEps);
  r->Contact(1)->SetRoll(0.05f);
  EXPECT_FALSE(r->IsTwisted());
}

// The one-query rail frame a vehicle reads at its bogies gives the bits of the three single
// queries, on every kind of route (turned, rolled, scaled, flexible) and past its ends.
TEST(TrackRouteGeometry, TheRailFrameHasTheBitsOfTheSingleQueries) {
  auto rolled = Fixed(10, 0.8f, 12, 4, 1.0f / 87, 0.3f, 1.5f);
  rolled->Contact(0)->SetRoll(-0.1f);
  rolled->Contact(1)->SetRoll(0.25f);
  const gx::TGXRef<TRRTrackRoute> routes[] = {Fixed(10), rolled, Flexible(11, ArcPoints(10, 1, 12))};
  auto same = [](const TGXVector3& a, const TGXVector3& b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  for (const auto& r : routes)
    for (float d : {-1.0f, 0.0f, 3.3f, 9.99f, r->GetLength(), r->GetLength() + 2}) {
      const TRRTrackRoute::TWorldRailFrame f = r->GetWorldRailFrame(d);
      EXPECT_TRUE(same(f.RailPosition, r->GetWorldRailPosition(d))) << d;
      EXPECT_TRUE(same(f.Tangent, r->GetWorldTangent(d))) << d;
      EXPECT_TRUE(same(f.Up, r->GetWorldUp(d))) << d;
    }
}

TEST(TrackRouteGeometry, SegmentCountsRoundHalvesToEven) {
  auto r = Fixed(10);
  EXPECT_EQ(r->SegmentCount(2.5f), 2);
  EXPECT_FLOAT_EQ(r->SegmentLength(2.5f), 1.25f);
  EXPECT_EQ(r->SegmentCount(3.5f), 4);
  EXPECT_EQ(r->SegmentCount(0.4f), 0);
  EXPECT_EQ(r->SegmentLength(0.4f), 0);
  EXPECT_EQ(r->SegmentCount(-3), 0);
  EXPECT_EQ(r->SegmentCount(std::nanf("")), 0);
  EXPECT_EQ(r->SegmentCount(1e30f), RRMaxRouteSegments);
}

TEST(TrackRouteGeometry, FlexibleRouteFromLengthHasTheSpacingOfItsPoints) {
  // 10.5 at scale 1 gives 10 segments (halves to even) of 1.05: the offset makes the spacing
  // that lookups use equal to the points' distance, so the length is FlexL.
  auto r = Flexible(10.5f);
  ASSERT_EQ(r->FlexPoints().size(), 11u);
  EXPECT_NEAR(r->FlexOffset(), 0.05f, 1e-6f);
  EXPECT_NEAR(r->GetLength(), 10.5f, kEps);
  ExpectNear(r->GetPosition(10.5f), {0, 0, 10.5f});
  ExpectNear(r->GetPosition(5.25f), {0, 0, 5.25f});
  ExpectNear(r->GetPosition(-2), {0, 0, -2});
  ExpectNear(r->GetPosition(12), {0, 0, 12});
  const auto d = r->ToDescription();
  EXPECT_EQ(d->FlexL, 10.5f);
  EXPECT_EQ(d->FlexPoints.size(), 11u);
  EXPECT_EQ(d->FlexOffset, r->FlexOffset());
}

TEST(TrackRouteGeometry, FlexibleLookupsNearTheEndUseTheLastSegment) {
  // 12 points a tenth of a radian apart on a circle of radius 10 (spacing 1).
  auto r = Flexible(11, ArcPoints(10, 1, 12));
  const float length = r->GetLength();
  ASSERT_FLOAT_EQ(length, 11);
  const TRRFlexPoint& last = r->FlexPoints().back();
  const TGXVector3 lastPos{last.PosX, 0, last.PosZ};
  const TGXVector3 lastDir{last.DirX, 0, last.DirZ};
  // Just below the length the point is the end of the last segment, not its start.
  const float nearEnd = std::nextafter(length, 0.0f);
  ExpectNear(r->GetPosition(nearEnd), lastPos, 1e-3f);
  EXPECT_LT(Angle(r->GetTangent(nearEnd), lastDir), 0.01f);
  // Directions are continuous across the end and across every point.
  EXPECT_LT(Angle(r->GetTangent(length), lastDir), 1e-4f);
  for (int i = 1; i < 11; ++i) {
    const float d = static_cast<float>(i);
    EXPECT_LT(Angle(r->GetTangent(std::nextafter(d, 0.0f)), r->GetTangent(d)), 0.01f) << i;
  }
  // Beyond the start the route continues behind the first point along its heading.
  ExpectNear(r->GetPosition(-2), {0, 0, -2});
  ExpectNear(r->GetPosition(length + 1), lastPos + lastDir, 1e-4f);
}

TEST(TrackRouteGeometry, FlexibleRouteWithTooFewPointsFailsAsserted) {
  // Its contacts need positions, so creating it fails already (the entity loader reports it).
  EXPECT_THROW(Flexible(5, {{0, 1, 0, 0}}), gx::EGXAssertion);
}

TEST(TrackRouteGeometry, AbsurdNumbersStayBounded) {
  // An arc far longer than any layout gets at most the segment limit of boxes.
  auto huge = Fixed(1e30f, 1.0f, 1e30f, 1e30f);
  EXPECT_LE(huge->Boxes().size(), static_cast<size_t>(RRMaxRouteSegments) + 2);
  auto nan = Fixed(std::nanf(""), std::nanf(""), 3, std::numeric_limits<float>::infinity());
  EXPECT_EQ(nan->GetLength(), 0);
  EXPECT_EQ(nan->GetPosition(2), TGXVector3(0, 0, 2));
  EXPECT_EQ(Fixed(-5, 0, 0, -1)->GetLength(), 0);
  // An offset that would make the spacing vanish is not used.
  auto flex = Flexible(3, {{0, 1, 0, 0}, {0, 1, 0, 1}, {0, 1, 0, 2}}, -1);
  EXPECT_FLOAT_EQ(flex->GetSpacing(), 1);
  EXPECT_FLOAT_EQ(flex->GetLength(), 2);
}

TEST(TrackRouteGeometry, SetParametersRefusesTheWrongKindAndEmptyRoutes) {
  auto fixed = Fixed(10);
  EXPECT_THROW(fixed->SetParameters({}, 10), gx::EInvalidCall);
  auto flex = Flexible(10);
  EXPECT_THROW(flex->SetParameters(0, 1, 0, 0, 0, 0), gx::EInvalidCall);
  EXPECT_THROW(flex->SetParameters({}, 0.3f), gx::EInvalidCall);
  EXPECT_THROW(Flexible(0.3f), gx::EInvalidCall);
  // Negative and enormous lengths from a file are refused the same way (found by fuzzing).
  EXPECT_THROW(Flexible(-10), gx::EInvalidCall);
  EXPECT_THROW(Flexible(-3e38f), gx::EInvalidCall);
  EXPECT_THROW(Flexible(3e38f), gx::EInvalidCall);
  // A FlexL of 0 is a fixed route of length 0.
  auto zero = Flexible(0);
  EXPECT_FALSE(zero->IsFlexible());
  EXPECT_EQ(zero->GetLength(), 0);
}

TEST(TrackRouteBending, BentRouteEndsExactlyOnTheTarget) {
  auto r = Flexible(20);
  const TGXVector3 p0{0, 0, 0}, p1{10, 0, 25};
  // t0 and t1 are the directions the route's contacts point to afterwards.
  ASSERT_TRUE(r->BendFlexible(p0, {0, 0, -1}, {0, 0, 1}, p1));
  const auto& pts = r->FlexPoints();
  ASSERT_GE(pts.size(), 20u);
  ExpectNear(r->GetPosition(0), p0, 1e-3f);
  ExpectNear(r->GetPosition(r->GetLength()), p1, 1e-5f);
  ExpectNear(r->GetTangent(r->GetLength()), {0, 0, 1}, 1e-5f);
  ExpectNear(r->GetTangent(0), {0, 0, 1}, 1e-3f);
  ExpectNear(r->Contact(1)->GetWorldPosition(), p1, 1e-5f);
  ExpectNear(r->Contact(0)->GetWorldOutward(), {0, 0, -1}, 1e-3f);
  // Evenly spaced at the spacing the lookups use.
  const float spacing = r->GetSpacing();
  EXPECT_NEAR(spacing, 1 + r->FlexOffset(), 1e-6f);
  for (size_t i = 0; i + 1 < pts.size(); ++i) {
    const float gap = std::hypot(pts[i + 1].PosX - pts[i].PosX, pts[i + 1].PosZ - pts[i].PosZ);
    EXPECT_NEAR(gap, spacing, 0.02f) << i;
  }
}

TEST(TrackRouteBending, RefusesShortSharpAndFoldedCurvesAndKeepsTheShape) {
  auto r = Flexible(20);
  const auto before = r->FlexPoints();
  // Ends closer than three scales.
  EXPECT_FALSE(r->BendFlexible({0, 0, 0}, {0, 0, -1}, {0, 0, 1}, {0, 0, 2.9f}));
  // A hairpin: leaving and arriving in opposite directions side by side.
  EXPECT_FALSE(r->BendFlexible({0, 0, 0}, {0, 0, -1}, {0, 0, -1}, {4, 0, 0}));
  // Along a straight line but with both tangents against it: the curve runs back on itself, a
  // turn of 180 degrees between two samples.
  EXPECT_FALSE(r->BendFlexible({0, 0, 0}, {0, 0, 1}, {0, 0, -1}, {0, 0, 10}));
  EXPECT_EQ(r->FlexPoints(), before);
  auto fixed = Fixed(10);
  EXPECT_FALSE(fixed->BendFlexible({0, 0, 0}, {0, 0, -1}, {0, 0, 1}, {0, 0, 20}));
}

TEST(TrackRouteGeometry, NearestDistanceAndHiddenStretch) {
  auto r = Fixed(10);
  EXPECT_NEAR(r->FindNearestDistance({1, 0, 3.3f}), 3.3f, kEps);
  EXPECT_NEAR(r->FindNearestDistance({0, 0, -5}), 0, kEps);
  EXPECT_NEAR(r->FindNearestDistance({0, 0, 50}), 10, kEps);
  auto curve = Fixed(0, 1.0f, 20);
  const TGXVector3 onArc = curve->GetPosition(7.3f) + curve->GetSide(7.3f) * 0.5f;
  EXPECT_NEAR(curve->FindNearestDistance(onArc), 7.3f, 0.02f);
  r->SetHiddenInterval(2, 8);
  EXPECT_EQ(r->FindNearestDistance({0, 0, 5}), 99999997952.0f);
  EXPECT_NEAR(r->FindNearestDistance({0, 0, 1}), 1, kEps);
  // A zero-length route answers 0.
  EXPECT_EQ(Fixed(0)->FindNearestDistance({3, 0, 3}), 0);
}

TEST(TrackRouteGeometry, BoundsHoldTheTrackAlongTheRoute) {
  auto r = Fixed(10, 0, 0, 0, 2);
  const TRRTrackSegmentShape& s = RRTrackSegmentShape();
  ExpectNear(r->Bounds().Min(), {s.Min.x * 2, s.Min.y * 2, 0});
  ExpectNear(r->Bounds().Max(), {s.Max.x * 2, s.Max.y * 2, 10});
  EXPECT_EQ(r->LocalBounds().Max(), r->Bounds().Max());
  auto curve = Fixed(3, gx::GX_PI, 10, 3);
  for (float d = 0; d <= curve->GetLength(); d += 0.5f)
    EXPECT_TRUE(gx::BoxContains(curve->Bounds(), curve->GetPosition(d))) << d;
  EXPECT_NEAR(curve->Bounds().Max().x, 20 + s.Max.x, 0.05f);
}

TEST(TrackRouteGeometry, PickingBoxesFollowTheRouteAndSkipTheHiddenStretch) {
  // Lead-in, 18 arc segments, lead-out.
  auto r = Fixed(4, 0.5f, 36, 4);
  EXPECT_EQ(r->Boxes().size(), 20u);
  auto straight = Fixed(10);
  ASSERT_EQ(straight->Boxes().size(), 1u);
  TGXVector3 n, hit;
  EXPECT_TRUE(straight->RayIntersect({0, 10, 5}, {0, -1, 0}, n, hit));
  EXPECT_NEAR(hit.z, 5, kEps);
  EXPECT_FALSE(straight->RayIntersect({6, 10, 5}, {0, -1, 0}, n, hit));
  straight->SetHiddenInterval(2, 8);
  EXPECT_EQ(straight->Boxes().size(), 2u);
  EXPECT_FALSE(straight->RayIntersect({0, 10, 5}, {0, -1, 0}, n, hit));
  EXPECT_TRUE(straight->RayIntersect({0, 10, 1}, {0, -1, 0}, n, hit));
  EXPECT_TRUE(straight->RayIntersect({0, 10, 9}, {0, -1, 0}, n, hit));
  // A curve is picked along the arc, not in the chord's middle.
  const TGXVector3 mid = r->GetPosition(r->GetLength() / 2);
  EXPECT_TRUE(r->RayIntersect({mid.x, 10, mid.z}, {0, -1, 0}, n, hit));
  auto flex = Flexible(6);
  EXPECT_EQ(flex->Boxes().size(), 6u);
}

// ---- descriptions ----

TEST(TrackRouteDescription, StreamBytesOfVersionTwo) {
  TRRTrackRouteDesc d;
  d.Shift = 1;
  d.L1 = 2;
  d.Angle = 3;
  d.Radius = 4;
  d.L2 = 5;
  d.FlexL = 6;
  d.Rotation = 7;
  d.FlexPoints = {{0.5f, 0.25f, 8, 9}};
  d.FlexOffset = 10;
  d.LastConnection[0] = 11;
  d.LastConnection[1] = -12;
  gx::TGXMemoryStream s;
  d.SaveToStream(s);
  ASSERT_EQ(s.Size(), 4 + 7 * 4 + 4 + 16 + 4 + 8);
  const auto* b = static_cast<const uint8_t*>(s.Memory());
  auto i32 = [&](int at) {
    int32_t v;
    std::memcpy(&v, b + at, 4);
    return v;
  };
  auto f32 = [&](int at) {
    float v;
    std::memcpy(&v, b + at, 4);
    return v;
  };
  EXPECT_EQ(i32(0), 2);
  for (int k = 0; k < 7; ++k) EXPECT_EQ(f32(4 + 4 * k), static_cast<float>(k + 1)) << k;
  EXPECT_EQ(i32(32), 1);
  EXPECT_EQ(f32(36), 0.5f);
  EXPECT_EQ(f32(40), 0.25f);
  EXPECT_EQ(f32(44), 8);
  EXPECT_EQ(f32(48), 9);
  EXPECT_EQ(f32(52), 10);
  EXPECT_EQ(i32(56), 11);
  EXPECT_EQ(i32(60), -12);

  s.SetPosition(0);
  TRRTrackRouteDesc back;
  back.LoadFromStream(s);
  EXPECT_EQ(back.Shift, 1);
  EXPECT_EQ(back.FlexPoints, d.FlexPoints);
  EXPECT_EQ(back.LastConnection[1], -12);
  const auto copy = d.Clone();
  EXPECT_EQ(copy->Rotation, 7);
  EXPECT_EQ(copy->FlexPoints, d.FlexPoints);
}

TEST(TrackRouteDescription, VersionOneHasNoShiftAndOthersAreRefused) {
  gx::TGXMemoryStream s;
  gx::WriteInteger(s, 1);
  for (int k = 0; k < 6; ++k) gx::WriteSingle(s, static_cast<float>(k + 2));
  gx::WriteInteger(s, 0);
  gx::WriteSingle(s, 0.5f);
  gx::WriteInteger(s, 3);
  gx::WriteInteger(s, 4);
  s.SetPosition(0);
  TRRTrackRouteDesc d;
  d.LoadFromStream(s);
  EXPECT_EQ(d.Shift, 0);
  EXPECT_EQ(d.L1, 2);
  EXPECT_EQ(d.Rotation, 7);
  EXPECT_EQ(d.FlexOffset, 0.5f);
  EXPECT_EQ(d.LastConnection[1], 4);
  EXPECT_EQ(s.Remaining(), 0);

  gx::TGXMemoryStream v3;
  gx::WriteInteger(v3, 3);
  v3.SetPosition(0);
  EXPECT_THROW(d.LoadFromStream(v3), EUnknownEntityDescription);
}

TEST(TrackRouteDescription, CorruptStreamsFailAndLeaveTheDescriptionAlone) {
  TRRTrackRouteDesc d;
  d.L1 = 42;
  // A flex point count far beyond the bytes that follow.
  gx::TGXMemoryStream huge;
  gx::WriteInteger(huge, 2);
  for (int k = 0; k < 7; ++k) gx::WriteSingle(huge, 1);
  gx::WriteInteger(huge, 0x7FFFFFFF);
  huge.SetPosition(0);
  EXPECT_ANY_THROW(d.LoadFromStream(huge));
  EXPECT_EQ(d.L1, 42);
  // Truncated in the middle.
  TRRTrackRouteDesc full;
  full.FlexPoints.resize(3);
  gx::TGXMemoryStream s;
  full.SaveToStream(s);
  for (int64_t cut : {int64_t(2), int64_t(20), int64_t(40), s.Size() - 1}) {
    gx::TGXMemoryStream t;
    t.WriteBuffer(s.Memory(), cut);
    t.SetPosition(0);
    EXPECT_THROW(d.LoadFromStream(t), gx::EGXStreamReadError) << cut;
    EXPECT_EQ(d.L1, 42);
  }
}

TEST(TrackRouteDescription, PropertyBagKeysAndIDReferences) {
  TRRTrackRouteDesc d;
  d.L1 = 1;
  d.Angle = 0.25f;
  d.Radius = 30;
  d.L2 = 2;
  d.FlexL = 0;
  d.Rotation = 0.5f;
  d.FlexPoints = {{0, 1, 0, 0}, {0, 1, 0, 1}};
  d.FlexOffset = 0.1f;
  d.LastConnection[0] = 7;
  d.LastConnection[1] = 9;
  TRREntityDescription_10 bag("TRRLinearTrack", "TRRTrackDesc");
  d.SaveToPropertyBag(bag, 1);
  EXPECT_NE(bag.FindProperty("Route1:Radius"), nullptr);
  EXPECT_NE(bag.FindProperty("Route1:LastConnection1"), nullptr);
  TRRTrackRouteDesc back;
  back.L2 = 99;
  back.LoadFromPropertyBag(bag, 1);
  EXPECT_EQ(back.L1, 1);
  EXPECT_EQ(back.Radius, 30);
  EXPECT_EQ(back.Rotation, 0.5f);
  EXPECT_EQ(back.FlexPoints, d.FlexPoints);
  EXPECT_EQ(back.FlexOffset, 0.1f);
  EXPECT_EQ(back.LastConnection[0], 7);
  EXPECT_EQ(back.LastConnection[1], 9);
  // Another route number finds nothing: every field 0.
  back.LoadFromPropertyBag(bag, 0);
  EXPECT_EQ(back.L1, 0);
  EXPECT_TRUE(back.FlexPoints.empty());
  EXPECT_EQ(back.LastConnection[1], 0);

  // A key of another type is ignored; a memory block's length gives the point count.
  TRREntityDescription_10 odd("TRRLinearTrack", "TRRTrackDesc");
  odd.AddProperty(TRREntityPropertyType_10::Integer, "Route0:L1", {5, 0, 0, 0});
  odd.AddProperty(TRREntityPropertyType_10::Memory, "Route0:FlexPoints", std::vector<uint8_t>(40, 0));
  back.LoadFromPropertyBag(odd, 0);
  EXPECT_EQ(back.L1, 0);
  EXPECT_EQ(back.FlexPoints.size(), 2u);

  TRRPropertyAccessList list;
  d.GetPropertyAccess(list);
  auto ids = list.OfType<TRREntityIDRefAccess>();
  ASSERT_EQ(ids.size(), 2u);
  ids[1]->SetValue(33);
  EXPECT_EQ(d.LastConnection[1], 33);
}

TEST(TrackRouteDescription, RoutesGiveBackWhatTheyWereMadeOf) {
  TRRTrackRouteDesc d;
  d.Shift = 0.5f;
  d.L1 = 3;
  d.Angle = 0.2f;
  d.Radius = 40;
  d.L2 = 1;
  d.Rotation = 0.1f;
  d.LastConnection[0] = 5;
  d.LastConnection[1] = 6;
  gx::TGXRef<TRRTrackRoute> r(new TRRTrackRoute(nullptr, 0, d, 1));
  const auto back = r->ToDescription();
  gx::TGXMemoryStream a, b;
  d.SaveToStream(a);
  back->SaveToStream(b);
  ASSERT_EQ(a.Size(), b.Size());
  EXPECT_EQ(std::memcmp(a.Memory(), b.Memory(), static_cast<size_t>(a.Size())), 0);
}

// Long flexible routes are written and read in groups of points: the bytes stay those of one
// value after another, across group boundaries and read back from a fixed block as from a file.
TEST(TrackRouteDescription, LongFlexibleRoutesKeepTheirBytesAcrossGroups) {
  TRRTrackRouteDesc d;
  d.L1 = 1.5f;
  for (int i = 0; i < 150; ++i)
    d.FlexPoints.push_back({0.001f * i, 1 - 0.001f * i, static_cast<float>(i), -0.5f * i});
  d.FlexOffset = 3;
  d.LastConnection[0] = -1;
  d.LastConnection[1] = 77;
  gx::TGXMemoryStream s;
  d.SaveToStream(s);

  gx::TGXMemoryStream expected;
  gx::WriteInteger(expected, 2);
  for (float f : {d.Shift, d.L1, d.Angle, d.Radius, d.L2, d.FlexL, d.Rotation}) gx::WriteSingle(expected, f);
  gx::WriteInteger(expected, 150);
  for (const TRRFlexPoint& p : d.FlexPoints)
    for (float f : {p.DirX, p.DirZ, p.PosX, p.PosZ}) gx::WriteSingle(expected, f);
  gx::WriteSingle(expected, 3);
  gx::WriteInteger(expected, -1);
  gx::WriteInteger(expected, 77);
  ASSERT_EQ(s.Data(), expected.Data());

  gx::TGXMemoryStreamAdapter block(s.Data().data(), s.Size());
  TRRTrackRouteDesc back;
  back.LoadFromStream(block);
  EXPECT_EQ(back.FlexPoints, d.FlexPoints);
  EXPECT_EQ(back.L1, 1.5f);
  EXPECT_EQ(back.FlexOffset, 3);
  EXPECT_EQ(back.LastConnection[0], -1);
  EXPECT_EQ(back.LastConnection[1], 77);
  EXPECT_EQ(block.Remaining(), 0);

  // Cut inside the tail: the read fails at the end of the block and the description stays.
  gx::TGXMemoryStreamAdapter cut(s.Data().data(), s.Size() - 5);
  EXPECT_THROW(back.LoadFromStream(cut), gx::EGXStreamReadError);
  EXPECT_EQ(cut.Remaining(), 0);
  EXPECT_EQ(back.LastConnection[1], 77);
  EXPECT_EQ(back.FlexPoints.size(), 150u);
}
