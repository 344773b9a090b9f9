#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/core/GXGeometry.h"

using namespace gx;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

void ExpectNear(const TGXVector3& a, const TGXVector3& b, float eps = 1e-5f) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}

void ExpectSameRotation(const TGXQuaternion& a, const TGXQuaternion& b, float eps = 1e-5f) {
  // q and -q are the same rotation.
  EXPECT_NEAR(std::fabs(GXQuaternionDot(a, b)), 1.0f, eps);
}

const TGXBoundingBox kUnitCube = BoxFromMinMax({-1, -1, -1}, {1, 1, 1});

TGXOrientedBox Oriented(const TGXBoundingBox& box, const TGXMatrix& m) {
  return TransformOrientedBox(box, m);
}

// A camera at (0, 0, -10) looking at the origin, 90 degrees square field of view, depth 1 to 100:
// in front of the camera at distance z the view spans -z ... z in x and y.
struct TestCamera {
  TGXMatrix View = GXMatrixLookAtLH({0, 0, -10}, {0, 0, 0}, {0, 1, 0});
  TGXMatrix Projection = GXMatrixPerspectiveFovLH(GX_PI / 2, 1.0f, 1.0f, 100.0f);

  TGXFrustum Frustum() const {
    TGXMatrix inverse;
    EXPECT_TRUE(GXMatrixInverse(inverse, nullptr, View * Projection));
    TGXVector3 corners[8];
    for (int i = 0; i < 8; ++i) {
      float x = (i == 1 || i == 2 || i == 5 || i == 6) ? 1.f : -1.f;
      float y = i >= 4 ? 1.f : -1.f;
      float depth = (i == 2 || i == 3 || i == 6 || i == 7) ? 1.f : 0.f;
      corners[i] = GXVec3TransformCoord({x, y, depth}, inverse);
    }
    return FrustumFromCorners(corners);
  }
};

}  // namespace

TEST(GXGeometry, BoxTransformMergeAndContainment) {
  TGXBoundingBox turned = TransformBox(kUnitCube, GXMatrixRotationY(GX_PI / 4));
  ExpectNear(turned.Min(), {-1.4142f, -1, -1.4142f}, 1e-4f);
  ExpectNear(turned.Max(), {1.4142f, 1, 1.4142f}, 1e-4f);

  // The oriented box keeps corner roles: corner 1 is still the end of the box's own x edge.
  TGXOrientedBox oriented =
      TransformOrientedBox(kUnitCube, GXMatrixRotationY(GX_PI / 2) * GXMatrixTranslation(5, 0, 0));
  EXPECT_FALSE(oriented.Empty);
  ExpectNear(oriented.Corners[1] - oriented.Corners[0], {0, 0, -2});
  ExpectNear(oriented.Center, {5, 0, 0});
  EXPECT_TRUE(TransformOrientedBox(TGXBoundingBox(), TGXMatrix()).Empty);
  EXPECT_TRUE(TransformBox(TGXBoundingBox(), TGXMatrix()).Empty);

  TGXBoundingBox target;
  MergeBox(target, kUnitCube);
  EXPECT_EQ(target.Min(), TGXVector3(-1, -1, -1));
  MergeBox(target, TGXBoundingBox());
  EXPECT_EQ(target.Max(), TGXVector3(1, 1, 1));
  MergeBox(target, BoxFromMinMax({0, 0, 0}, {3, 0.5f, 0.5f}));
  EXPECT_EQ(target.Max(), TGXVector3(3, 1, 1));
  ExpectNear(target.Center, {1, 0, 0});

  EXPECT_TRUE(BoxContains(kUnitCube, {1, -1, 0.5f}));  // the boundary belongs to the box
  EXPECT_FALSE(BoxContains(kUnitCube, {1.0001f, 0, 0}));
  EXPECT_FALSE(BoxContains(TGXBoundingBox(), {0, 0, 0}));
  EXPECT_FALSE(BoxContains(kUnitCube, {kNaN, 0, 0}));

  const float kInf = std::numeric_limits<float>::infinity();
  const struct {
    TGXBoundingBox Other;
    bool Meets;
  } meets[] = {
      {BoxFromMinMax({0.5f, 0.5f, 0.5f}, {3, 3, 3}), true},  // overlapping
      {BoxFromMinMax({1, -5, -5}, {2, 5, 5}), true},          // touching face
      {BoxFromMinMax({1, 1, 1}, {2, 2, 2}), true},            // touching corner
      {BoxFromMinMax({-0.1f, -0.1f, -0.1f}, {0.1f, 0.1f, 0.1f}), true},  // inside
      {BoxFromMinMax({1.001f, 0, 0}, {2, 1, 1}), false},
      {BoxFromMinMax({0, 0, -3}, {0, 0, -1.5f}), false},      // apart along z only
      {TGXBoundingBox(), false},
      {BoxFromMinMax({kNaN, 0, 0}, {1, 1, 1}), false},
      {BoxFromMinMax({-kInf, -kInf, -kInf}, {kInf, kInf, kInf}), false},
  };
  for (const auto& m : meets) {
    EXPECT_EQ(BoxesIntersect(kUnitCube, m.Other), m.Meets) << m.Other.Min().x << " " << m.Other.Max().z;
    EXPECT_EQ(BoxesIntersect(m.Other, kUnitCube), m.Meets);
  }

  auto interval = ProjectBox(BoxFromMinMax({1, 2, 3}, {3, 4, 5}), {1, -2, 0});
  ASSERT_TRUE(interval);
  EXPECT_FLOAT_EQ(interval->Min, -7);  // centre (2, 3, 4) gives -4, half extents 1 + 2
  EXPECT_FLOAT_EQ(interval->Max, -1);
  EXPECT_FALSE(ProjectBox(TGXBoundingBox(), {1, 0, 0}));
  EXPECT_FALSE(ProjectBox(kUnitCube, {kNaN, 0, 0}));
}

TEST(GXGeometry, Spheres) {
  TGXBoundingSphere a = SphereFrom({0, 0, 0}, -2);
  EXPECT_FALSE(a.Empty);
  EXPECT_EQ(a.Radius, 2);
  TGXBoundingSphere fromBox = SphereFromBox(kUnitCube);
  EXPECT_NEAR(fromBox.Radius, std::sqrt(3.0f), 1e-6f);
  EXPECT_TRUE(SphereFromBox(TGXBoundingBox()).Empty);

  EXPECT_TRUE(SpheresIntersect(a, SphereFrom({3, 0, 0}, 1)));  // touching
  EXPECT_FALSE(SpheresIntersect(a, SphereFrom({3.01f, 0, 0}, 1)));
  EXPECT_FALSE(SpheresIntersect(a, TGXBoundingSphere()));
  EXPECT_FALSE(SpheresIntersect(a, SphereFrom({kNaN, 0, 0}, 1)));
}

TEST(GXGeometry, BoxCornersFollowTheirNumbering) {
  // Signs per axis: - is the minimum, + the maximum.
  const char* signs[8] = {"---", "+--", "+-+", "--+", "-+-", "++-", "+++", "-++"};
  const TGXVector3 lo{1, 2, 3}, hi{4, 5, 6};
  const TGXBoundingBox box = BoxFromMinMax(lo, hi);
  const std::array<TGXVector3, 8> corners = box.Corners();
  for (int k = 0; k < 8; ++k)
    for (int a = 0; a < 3; ++a)
      EXPECT_EQ(corners[size_t(k)][a], signs[k][a] == '+' ? hi[a] : lo[a]) << k << a;
  EXPECT_EQ(box.Min(), lo);
  EXPECT_EQ(box.Max(), hi);
  EXPECT_EQ(box.Center, TGXVector3(2.5f, 3.5f, 4.5f));
}

TEST(GXGeometry, EdgeAndFaceTablesDescribeTheBox) {
  const auto c = kUnitCube.Corners();
  // Edges come in groups of four along x, y and z.
  for (int i = 0; i < 12; ++i) {
    TGXVector3 e = c[GXBoxEdges[i][1]] - c[GXBoxEdges[i][0]];
    EXPECT_EQ(e[i / 4], 2) << "edge " << i;
    EXPECT_EQ(GXVec3LengthSq(e), 4) << "edge " << i;
  }
  // Both triangles of a face point out through the same face.
  for (int i = 0; i < 12; ++i) {
    const int* t = GXBoxFaceTriangles[i];
    TGXVector3 n = GXVec3Cross(c[t[1]] - c[t[0]], c[t[2]] - c[t[0]]);
    TGXVector3 centroid = (c[t[0]] + c[t[1]] + c[t[2]]) * (1.0f / 3);
    EXPECT_GT(GXVec3Dot(n, centroid), 0) << "triangle " << i;
    if (i % 2) {
      const int* u = GXBoxFaceTriangles[i - 1];
      EXPECT_EQ(GXVec3Normalize(n), GXVec3Normalize(GXVec3Cross(c[u[1]] - c[u[0]], c[u[2]] - c[u[0]])));
    }
  }
}

TEST(GXGeometry, RayPlaneAndTriangle) {
  // Plane z = 2: normal (0, 0, 1), distance -2.
  auto hit = RayPlane({1, 1, 0}, {0, 0, 3}, {0, 0, 1}, -2, false);
  ASSERT_TRUE(hit);
  ExpectNear(*hit, {1, 1, 2});
  EXPECT_FALSE(RayPlane({1, 1, 0}, {0, 0, 1}, {0, 0, 1}, -2, true));  // travels along the normal
  EXPECT_TRUE(RayPlane({1, 1, 0}, {0, 0, 1}, TGXPlane(0, 0, -1, 2), true));
  EXPECT_FALSE(RayPlane({1, 1, 0}, {1, 0, 0}, {0, 0, 1}, -2, false));  // parallel
  EXPECT_FALSE(RayPlane({1, 1, 3}, {0, 0, 1}, {0, 0, 1}, -2, false));  // behind the origin
  EXPECT_FALSE(RayPlane({1, 1, 0}, {0, 0, 0}, {0, 0, 1}, -2, false));  // no direction
  EXPECT_FALSE(RayPlane({1, 1, 0}, {kNaN, 0, 1}, {0, 0, 1}, -2, false));
  EXPECT_FALSE(RayPlane({kInf, 1, 0}, {0, 0, 1}, {0, 0, 1}, -2, false));

  const TGXVector3 v0{0, 0, 0}, v1{0, 2, 0}, v2{2, 0, 0};  // normal (0, 0, -4) faces -z
  auto tri = RayTriangle({0.5f, 0.5f, -4}, {0, 0, 2}, v0, v1, v2, true);
  ASSERT_TRUE(tri);
  EXPECT_NEAR(tri->Distance, 2, 1e-6f);
  ExpectNear(tri->Point, {0.5f, 0.5f, 0});
  EXPECT_EQ(tri->Normal, TGXVector3(0, 0, -4));
  EXPECT_FALSE(RayTriangle({0.5f, 0.5f, 4}, {0, 0, -1}, v0, v1, v2, true));
  EXPECT_TRUE(RayTriangle({0.5f, 0.5f, 4}, {0, 0, -1}, v0, v1, v2, false));
  EXPECT_FALSE(RayTriangle({1.5f, 1.5f, -4}, {0, 0, 1}, v0, v1, v2, false));
  // NaN would slip through every comparison of the barycentric test.
  EXPECT_FALSE(RayTriangle({kNaN, 0.5f, -4}, {0, 0, 1}, v0, v1, v2, false));
  EXPECT_FALSE(RayTriangle({0.5f, 0.5f, -4}, {0, 0, 1}, v0, v1, {kInf, 0, 0}, false));
}

TEST(GXGeometry, RaySphere) {
  auto front = RaySphere({0, 0, -5}, {0, 0, 2}, {0, 0, 0}, 1);
  ASSERT_TRUE(front);
  ExpectNear(*front, {0, 0, -1});
  auto inside = RaySphere({0, 0, 0}, {0, 0, 1}, {0, 0, 0}, -1);
  ASSERT_TRUE(inside);
  ExpectNear(*inside, {0, 0, 1});                                // from inside: where the ray leaves
  EXPECT_FALSE(RaySphere({0, 0, 5}, {0, 0, 1}, {0, 0, 0}, 1));   // sphere behind
  EXPECT_FALSE(RaySphere({0, 2, -5}, {0, 0, 1}, {0, 0, 0}, 1));  // passes by
  EXPECT_FALSE(RaySphere({0, 0, -5}, {0, 0, 0}, {0, 0, 0}, 1));
  EXPECT_FALSE(RaySphere({0, 0, -5}, {0, 0, 1}, {0, 0, 0}, kNaN));
}

TEST(GXGeometry, RayBox) {
  auto hit = RayBox(kUnitCube, {0, 0, -5}, {0, 0, 1});
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->Point, TGXVector3(0, 0, -1));
  EXPECT_EQ(hit->Normal, TGXVector3(0, 0, -1));
  EXPECT_FLOAT_EQ(hit->Distance, 4);
  auto side = RayBox(kUnitCube, {0.5f, 7, 0.25f}, {0, -2, 0});
  ASSERT_TRUE(side);
  EXPECT_EQ(side->Normal, TGXVector3(0, 1, 0));
  ExpectNear(side->Point, {0.5f, 1, 0.25f});

  EXPECT_FALSE(RayBox(kUnitCube, {0, 0, 0}, {0, 0, 1}));    // from inside
  EXPECT_FALSE(RayBox(kUnitCube, {0, 0, -5}, {0, 0, -1}));  // away from it
  EXPECT_FALSE(RayBox(kUnitCube, {0, 1.5f, -5}, {0, 0, 1}));
  EXPECT_TRUE(RayBox(kUnitCube, {0, 1, -5}, {0, 0, 1}));  // along the boundary
  // Through an edge the earlier face in the order +z, -z, +y, -y, +x, -x wins.
  auto edge = RayBox(kUnitCube, {-2, 0, -2}, {1, 0, 1});
  ASSERT_TRUE(edge);
  EXPECT_EQ(edge->Normal, TGXVector3(0, 0, -1));
  EXPECT_FALSE(RayBox(TGXBoundingBox(), {0, 0, -5}, {0, 0, 1}));
  EXPECT_FALSE(RayBox(kUnitCube, {0, 0, -5}, {0, kNaN, 1}));
  EXPECT_FALSE(RayBox(kUnitCube, {0, 0, -5}, {0, 0, 0}));
  EXPECT_FALSE(RayBox(BoxFromMinMax({-1, -1, -kInf}, {1, 1, 1}), {0, 0, -5}, {0, 0, 1}));
}

TEST(GXGeometry, RayOrientedBox) {
  // Turned 90 degrees about y and moved to x = 5: its own -z face now faces -x, where the ray
  // from the origin enters.
  TGXOrientedBox box = Oriented(kUnitCube, GXMatrixRotationY(GX_PI / 2) * GXMatrixTranslation(5, 0, 0));
  auto hit = RayOrientedBox(box, {0, 0.5f, 0}, {1, 0, 0});
  ASSERT_TRUE(hit);
  ExpectNear(hit->Point, {4, 0.5f, 0});
  ExpectNear(GXVec3Normalize(hit->Normal), {-1, 0, 0});
  EXPECT_NEAR(hit->Distance, 4, 1e-5f);
  EXPECT_FALSE(RayOrientedBox(box, {5, 0, 0}, {1, 0, 0}));  // from inside
  EXPECT_FALSE(RayOrientedBox(box, {0, 0.5f, 0}, {-1, 0, 0}));
  EXPECT_FALSE(RayOrientedBox(TGXOrientedBox(), {0, 0, 0}, {1, 0, 0}));
  EXPECT_FALSE(RayOrientedBox(box, {0, 0.5f, 0}, {kNaN, 0, 0}));

  // Through the edge shared by the -z and -x faces the -z triangles come first in the table.
  TGXOrientedBox unit = Oriented(kUnitCube, TGXMatrix());
  auto edge = RayOrientedBox(unit, {-2, 0, -2}, {1, 0, 1});
  ASSERT_TRUE(edge);
  ExpectNear(edge->Point, {-1, 0, -1});
  EXPECT_EQ(edge->Normal, TGXVector3(0, 0, -4));

  // A mirrored box must still report the face the ray enters, with an outward normal, and
  // nothing from inside.
  TGXOrientedBox mirrored = Oriented(kUnitCube, GXMatrixScaling(-1, 1, 1) * GXMatrixTranslation(0, 0, 5));
  auto entry = RayOrientedBox(mirrored, {0.25f, 0.5f, 0}, {0, 0, 1});
  ASSERT_TRUE(entry);
  ExpectNear(entry->Point, {0.25f, 0.5f, 4});
  EXPECT_LT(entry->Normal.z, 0);
  EXPECT_FALSE(RayOrientedBox(mirrored, {0.25f, 0.5f, 5}, {0, 0, 1}));
}

TEST(GXGeometry, FrustumFromViewProjectionAgainstBoxes) {
  TestCamera camera;
  TGXFrustum f = camera.Frustum();
  ASSERT_FALSE(f.Empty);
  // Planes point outwards: a point well inside lies behind all six.
  for (const TGXPlane& p : f.Planes) EXPECT_LT(GXPlaneDotCoord(p, {1, 2, 30}), 0);
  ExpectNear(f.Corners[6], {100, 100, 90}, 1e-2f);  // far top right, 100 in front of the eye

  auto boxAt = [](TGXVector3 center, float half) {
    return Oriented(
        BoxFromMinMax(center - TGXVector3(half, half, half), center + TGXVector3(half, half, half)),
        TGXMatrix());
  };
  // The view 50 in front of the eye (world z = 40) spans -50 ... 50.
  EXPECT_TRUE(FrustumIntersectsOrientedBox(f, boxAt({0, 0, 0}, 1)));
  EXPECT_TRUE(FrustumIntersectsOrientedBox(f, boxAt({50, 0, 40}, 5)));   // straddles the right plane
  EXPECT_FALSE(FrustumIntersectsOrientedBox(f, boxAt({70, 0, 40}, 5)));  // right of it
  EXPECT_FALSE(FrustumIntersectsOrientedBox(f, boxAt({0, 0, 93}, 2)));   // beyond the far plane
  EXPECT_TRUE(FrustumIntersectsOrientedBox(f, boxAt({0, 0, 89}, 2)));    // reaches over it
  EXPECT_FALSE(FrustumIntersectsOrientedBox(f, boxAt({0, 0, -20}, 5)));  // behind the camera
  EXPECT_TRUE(FrustumIntersectsOrientedBox(f, boxAt({0, 0, 0}, 1000)));  // holds the whole frustum
  EXPECT_TRUE(FrustumIntersectsOrientedBox(
      f, Oriented(kUnitCube, GXMatrixScaling(3, 3, 3) * GXMatrixRotationYawPitchRoll(0.3f, 0.7f, 0.1f))));

  // A thin diamond (a box turned 45 degrees about z) off the top left edge: it reaches into the
  // inner side of the left plane and of the top plane, yet misses the frustum. Only the axes
  // across the frustum's edges separate it.
  TGXOrientedBox diamond = Oriented(BoxFromMinMax({-10, -10, -1}, {10, 10, 1}),
                                    GXMatrixRotationZ(GX_PI / 4) * GXMatrixTranslation(-60, 60, 40));
  for (const TGXPlane& p : f.Planes) {
    bool allOutside = true;
    for (const TGXVector3& c : diamond.Corners) allOutside = allOutside && GXPlaneDotCoord(p, c) > 0;
    EXPECT_FALSE(allOutside);
  }
  EXPECT_FALSE(FrustumIntersectsOrientedBox(f, diamond));
  // Moved 5 towards the edge it touches the frustum.
  EXPECT_TRUE(FrustumIntersectsOrientedBox(
      f, Oriented(BoxFromMinMax({-10, -10, -1}, {10, 10, 1}),
                  GXMatrixRotationZ(GX_PI / 4) * GXMatrixTranslation(-55, 55, 40))));

  // Degenerate input: empty volumes, NaN corners, flat boxes.
  EXPECT_FALSE(FrustumIntersectsOrientedBox(TGXFrustum(), boxAt({0, 0, 0}, 1)));
  EXPECT_FALSE(FrustumIntersectsOrientedBox(f, TGXOrientedBox()));
  EXPECT_FALSE(FrustumIntersectsOrientedBox(f, boxAt({kNaN, 0, 0}, 1)));
  EXPECT_TRUE(FrustumIntersectsOrientedBox(f, Oriented(BoxFromMinMax({-1, 0, -1}, {1, 0, 1}), TGXMatrix())));
  EXPECT_FALSE(
      FrustumIntersectsOrientedBox(f, Oriented(BoxFromMinMax({-1, 0, -15}, {1, 0, -12}), TGXMatrix())));
}

TEST(GXGeometry, SelectionFrustumFromScreenRays) {
  TestCamera camera;
  TGXViewportRect vp{0, 0, 800, 600, 0, 1};
  // A rectangle around the centre of the screen; screen y grows downwards.
  auto ray = [&](int32_t x, int32_t y) {
    auto r = ScreenToRay({x, y}, vp, camera.View, camera.Projection);
    EXPECT_TRUE(r);
    return r.value_or(TGXRay());
  };
  TGXRay bl = ray(300, 400), br = ray(500, 400), tr = ray(500, 200), tl = ray(300, 200);
  TGXFrustum f = FrustumFromRays(bl.Origin, bl.Direction, br.Origin, br.Direction, tr.Origin, tr.Direction,
                                 tl.Origin, tl.Direction, 1000);
  ExpectNear(f.Corners[0], bl.Origin);
  ExpectNear(f.Corners[2], br.Origin + br.Direction * 1000, 1e-3f);
  ExpectNear(f.Corners[4], tl.Origin);
  ExpectNear(f.Corners[6], tr.Origin + tr.Direction * 1000, 1e-3f);
  TGXRay centre = ray(400, 300);
  for (const TGXPlane& p : f.Planes) EXPECT_LT(GXPlaneDotCoord(p, centre.Origin + centre.Direction * 20), 0);
  EXPECT_TRUE(FrustumIntersectsOrientedBox(f, Oriented(kUnitCube, TGXMatrix())));
  EXPECT_FALSE(FrustumIntersectsOrientedBox(f, Oriented(kUnitCube, GXMatrixTranslation(6, 0, 0))));
  EXPECT_FALSE(FrustumIntersectsOrientedBox(f, Oriented(kUnitCube, GXMatrixTranslation(0, 6, 0))));

  // Four rays from one point without direction make a frustum that is a single point.
  TGXVector3 p{0.5f, 0.5f, 0.5f}, zero;
  TGXFrustum point = FrustumFromRays(p, zero, p, zero, p, zero, p, zero, 10);
  EXPECT_TRUE(FrustumIntersectsOrientedBox(point, Oriented(kUnitCube, TGXMatrix())));
  EXPECT_FALSE(FrustumIntersectsOrientedBox(point, Oriented(kUnitCube, GXMatrixTranslation(2, 0, 0))));
}

TEST(GXGeometry, ScreenProjection) {
  TestCamera camera;
  TGXViewportRect vp{0, 0, 800, 600, 0, 1};
  EXPECT_EQ(WorldToScreen({0, 0, 0}, vp, camera.Projection, camera.View), TGXPoint({400, 300}));
  auto r = ScreenToRay({600, 150}, vp, camera.View, camera.Projection);
  ASSERT_TRUE(r);
  EXPECT_NEAR(GXVec3Length(r->Direction), 1, 1e-6f);
  EXPECT_EQ(WorldToScreen(r->Origin + r->Direction * 30, vp, camera.Projection, camera.View),
            TGXPoint({600, 150}));

  TGXMatrix singular = GXMatrixScaling(1, 0, 1);
  EXPECT_FALSE(ScreenToRay({1, 1}, vp, singular, camera.Projection));
  EXPECT_FALSE(WorldToScreen({kNaN, 0, 0}, vp, camera.Projection, camera.View));
  // A point almost in the eye's plane lands far outside; the pixel is clamped, not overflowed.
  auto far = WorldToScreen({1e6f, 0, -9.9999f}, vp, camera.Projection, camera.View);
  ASSERT_TRUE(far);
  EXPECT_EQ(far->X, std::numeric_limits<int32_t>::max());
}

TEST(GXGeometry, PointDistances) {
  EXPECT_EQ(DistanceSquared({1, 2, 3}, {1, 4, 3}), 4);
  EXPECT_EQ(DistanceSquared({1, 2, 3}, {1, 4, 3}, 1.5f), 2.5f);

  auto inner = PointSegmentDistanceSquared({1, 2, 0}, {0, 0, 0}, {4, 0, 0});
  EXPECT_FLOAT_EQ(inner.DistanceSquared, 4);
  EXPECT_FLOAT_EQ(inner.T, 0.25f);
  auto before = PointSegmentDistanceSquared({-1, 1, 0}, {0, 0, 0}, {4, 0, 0});
  EXPECT_FLOAT_EQ(before.DistanceSquared, 2);
  EXPECT_EQ(before.T, 0);
  auto after = PointSegmentDistanceSquared({6, 0, 0}, {0, 0, 0}, {4, 0, 0});
  EXPECT_FLOAT_EQ(after.DistanceSquared, 4);
  EXPECT_EQ(after.T, 1);
  auto same = PointSegmentDistanceSquared({1, 1, 1}, {1, 2, 3}, {1, 2, 3});  // tie goes to B
  EXPECT_FLOAT_EQ(same.DistanceSquared, 5);
  EXPECT_EQ(same.T, 1);
}

TEST(GXGeometry, QuaternionHelpers) {
  TGXQuaternion q = GXQuaternionRotationAxis({0.3f, 1, -0.5f}, 1.1f);
  TGXMatrix m = GXMatrixRotationQuaternion(q);
  for (TGXVector3 v : {TGXVector3(1, 0, 0), TGXVector3(0.2f, -3, 4)})
    ExpectNear(RotateVector(v, q), GXVec3TransformCoord(v, m));

  // Rows of the matrix are right, up, forward.
  TGXVector3 right{m.m[0][0], m.m[0][1], m.m[0][2]}, up{m.m[1][0], m.m[1][1], m.m[1][2]},
      forward{m.m[2][0], m.m[2][1], m.m[2][2]};
  ExpectSameRotation(QuaternionFromAxes(forward, up, right), q);
  ExpectSameRotation(QuaternionFromAxesNormalized(forward * 3, up * 0.5f, right * 7), q);
  EXPECT_EQ(QuaternionFromAxes({kNaN, 0, 1}, {0, 1, 0}, {1, 0, 0}), TGXQuaternion());
  EXPECT_TRUE(GXIsFinite(QuaternionFromAxesNormalized({0, 0, 0}, {0, 0, 0}, {0, 0, 0})));

  TGXQuaternion b = GXQuaternionRotationAxis({1, 0, 0}, -0.4f);
  ExpectSameRotation(GXQuaternionMultiply(q, QuaternionDifference(q, b)), b);
}

TEST(GXGeometry, QuaternionToEuler) {
  TGXEulerAngles identity = QuaternionToEuler(TGXQuaternion());
  EXPECT_EQ(identity.Bank, 0);
  EXPECT_EQ(identity.Heading, 0);
  EXPECT_EQ(identity.Attitude, 0);

  // The angles rebuild the rotation as bank (x), then attitude (z), then heading (y).
  auto rebuild = [](const TGXEulerAngles& e) {
    return GXQuaternionMultiply(GXQuaternionMultiply(GXQuaternionRotationAxis({1, 0, 0}, e.Bank),
                                                     GXQuaternionRotationAxis({0, 0, 1}, e.Attitude)),
                                GXQuaternionRotationAxis({0, 1, 0}, e.Heading));
  };
  TGXQuaternion q = GXQuaternionRotationAxis({0.3f, 1, -0.5f}, 1.1f);
  ExpectSameRotation(rebuild(QuaternionToEuler(q)), q);

  // At the poles: attitude +-90 degrees after a heading. The float quaternion is a few units in
  // the last place off; stretched slightly it used to give NaN.
  for (float attitude : {GX_PI / 2, -GX_PI / 2}) {
    TGXQuaternion pole = GXQuaternionMultiply(GXQuaternionRotationAxis({0, 0, 1}, attitude),
                                              GXQuaternionRotationAxis({0, 1, 0}, 0.4f));
    for (float stretch : {1.0f, 1.0000004f, 0.9999996f}) {
      TGXQuaternion s{pole.x * stretch, pole.y * stretch, pole.z * stretch, pole.w * stretch};
      TGXEulerAngles e = QuaternionToEuler(s);
      ASSERT_FALSE(std::isnan(e.Bank) || std::isnan(e.Heading) || std::isnan(e.Attitude)) << stretch;
      EXPECT_NEAR(e.Attitude, attitude, 5e-3f);
      EXPECT_EQ(e.Bank, 0);
      ExpectSameRotation(rebuild(e), pole, 1e-4f);
    }
  }
  TGXEulerAngles bad = QuaternionToEuler({kNaN, 0, 0, 1});
  EXPECT_EQ(bad.Heading, 0);
}

TEST(GXGeometry, HermiteDivisorAndPlanes) {
  TGXVector3 p0{0, 0, 0}, t0{1, 2, 0}, p1{3, 1, -1}, t1{0, 1, 4};
  for (float t : {0.0f, 0.3f, 1.0f}) {
    const float h = 1e-3f;
    TGXVector3 numeric =
        (GXVec3Hermite(p0, t0, p1, t1, t + h) - GXVec3Hermite(p0, t0, p1, t1, t - h)) * (0.5f / h);
    ExpectNear(HermiteTangent(p0, t0, p1, t1, t), numeric, 2e-3f);
  }
  ExpectNear(HermiteTangent(p0, t0, p1, t1, 0), t0);

  EXPECT_EQ(GreatestCommonDivisor(12, -18), 6);
  EXPECT_EQ(GreatestCommonDivisor(-7, 0), 7);
  EXPECT_EQ(GreatestCommonDivisor(0, 0), 0);
  EXPECT_EQ(GreatestCommonDivisor(std::numeric_limits<int32_t>::min(), 0), int64_t(1) << 31);
  EXPECT_EQ(GreatestCommonDivisor(std::numeric_limits<int32_t>::min(), -1), 1);

  // The plane y = 1 scaled by 3 and moved up by 2 becomes y = 5.
  auto moved = TransformPlane({0, 2, 0, -2}, GXMatrixScaling(3, 3, 3) * GXMatrixTranslation(0, 2, 0));
  ASSERT_TRUE(moved);
  EXPECT_NEAR(moved->b, 1, 1e-6f);
  EXPECT_NEAR(moved->d, -5, 1e-5f);
  EXPECT_FALSE(TransformPlane({0, 1, 0, 0}, GXMatrixScaling(1, 0, 1)));
  EXPECT_FALSE(TransformPlane({0, kNaN, 0, 0}, TGXMatrix()));
}
