#include "engine/core/GXMath.h"

#include <gtest/gtest.h>

#include <limits>

using namespace gx;

namespace {

void ExpectNear(const TGXVector3& a, const TGXVector3& b, float eps = 1e-5f) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}

void ExpectNear(const TGXMatrix& a, const TGXMatrix& b, float eps = 1e-5f) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(a.m[r][c], b.m[r][c], eps) << "at " << r << "," << c;
}

}  // namespace

TEST(GXMath, QuaternionOrderIsFirstThenSecond) {
  // 90 degrees about Y, then 90 degrees about X: +X goes to -Z, then -Z goes to +Y... check by
  // composing matrices, which apply left to right for row vectors.
  TGXQuaternion a = GXQuaternionRotationAxis({0, 1, 0}, GX_PI / 2);
  TGXQuaternion b = GXQuaternionRotationAxis({1, 0, 0}, GX_PI / 2);
  TGXMatrix viaMatrices = GXMatrixRotationQuaternion(a) * GXMatrixRotationQuaternion(b);
  TGXMatrix viaProduct = GXMatrixRotationQuaternion(GXQuaternionMultiply(a, b));
  ExpectNear(viaMatrices, viaProduct);
  ExpectNear(GXVec3TransformCoord({1, 0, 0}, viaProduct), {0, 1, 0});
}

TEST(GXMath, RotationMatrixRoundTripsThroughQuaternionInAllBranches) {
  // Angles near 180 degrees take the branches of the largest diagonal element.
  const TGXVector3 axes[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 2, 3}};
  for (const auto& axis : axes) {
    for (float angle : {0.3f, 2.0f, 3.1f, GX_PI}) {
      TGXQuaternion q = GXQuaternionRotationAxis(axis, angle);
      TGXQuaternion back = GXQuaternionRotationMatrix(GXMatrixRotationQuaternion(q));
      // q and -q are the same rotation.
      float sign = GXQuaternionDot(q, back) < 0 ? -1.f : 1.f;
      EXPECT_NEAR(q.x, sign * back.x, 1e-5f);
      EXPECT_NEAR(q.y, sign * back.y, 1e-5f);
      EXPECT_NEAR(q.z, sign * back.z, 1e-5f);
      EXPECT_NEAR(q.w, sign * back.w, 1e-5f);
    }
  }
}

TEST(GXMath, ElementaryRotationsAreLeftHanded) {
  // Positive angles turn clockwise when looking along the axis towards the origin.
  ExpectNear(GXVec3TransformCoord({1, 0, 0}, GXMatrixRotationY(GX_PI / 2)), {0, 0, -1});
  ExpectNear(GXVec3TransformCoord({0, 1, 0}, GXMatrixRotationX(GX_PI / 2)), {0, 0, 1});
  ExpectNear(GXVec3TransformCoord({1, 0, 0}, GXMatrixRotationZ(GX_PI / 2)), {0, 1, 0});
  ExpectNear(GXMatrixRotationY(0.7f), GXMatrixRotationAxis({0, 1, 0}, 0.7f));
  ExpectNear(GXMatrixRotationQuaternion(GXQuaternionRotationYawPitchRoll(0.3f, -0.4f, 1.1f)),
             GXMatrixRotationYawPitchRoll(0.3f, -0.4f, 1.1f));
}

TEST(GXMath, InverseOfTransformAndSingularMatrix) {
  TGXMatrix m = GXMatrixTransformation({2, -3, 0.5f}, GXQuaternionRotationAxis({1, 1, 0}, 0.8f), {4, 5, 6});
  ExpectNear(m, GXMatrixScaling(2, -3, 0.5f) * GXMatrixRotationAxis({1, 1, 0}, 0.8f) * GXMatrixTranslation(4, 5, 6));
  TGXMatrix inv;
  float det = 0;
  ASSERT_TRUE(GXMatrixInverse(inv, &det, m));
  EXPECT_NEAR(det, -3.0f, 1e-4f);
  ExpectNear(m * inv, TGXMatrix(), 1e-5f);

  // A zero scale makes the matrix singular: no NaN, identity, failure reported.
  TGXMatrix singular = GXMatrixScaling(1, 0, 1);
  TGXMatrix out = GXMatrixTranslation(9, 9, 9);
  EXPECT_FALSE(GXMatrixInverse(out, nullptr, singular));
  EXPECT_TRUE(GXMatrixIsIdentity(out));
  TGXMatrix nan = GXMatrixTranslation(std::numeric_limits<float>::quiet_NaN(), 0, 0);
  EXPECT_FALSE(GXMatrixInverse(out, nullptr, nan));
  EXPECT_TRUE(GXIsFinite(out));
}

TEST(GXMath, DegenerateVectorsStayFinite) {
  EXPECT_EQ(GXVec3Normalize({0, 0, 0}), TGXVector3(0, 0, 0));
  float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(GXVec3Normalize({inf, 0, 0}), TGXVector3(0, 0, 0));
  EXPECT_EQ(GXQuaternionInverse({0, 0, 0, 0}), TGXQuaternion());
  EXPECT_EQ(GXPlaneNormalize({0, 0, 0, 5}), TGXPlane());
  // A projective w of zero is not divided by.
  TGXMatrix m;
  m.m[3][3] = 0;
  EXPECT_TRUE(GXIsFinite(GXVec3TransformCoord({1, 2, 3}, m)));
}

TEST(GXMath, ViewAndProjectionMatchHandComputedValues) {
  TGXMatrix view = GXMatrixLookAtLH({0, 0, -10}, {0, 0, 0}, {0, 1, 0});
  ExpectNear(GXVec3TransformCoord({0, 0, 0}, view), {0, 0, 10});
  ExpectNear(GXVec3TransformCoord({1, 0, 0}, view), {1, 0, 10});

  TGXMatrix proj = GXMatrixPerspectiveFovLH(GX_PI / 2, 2.0f, 1.0f, 101.0f);
  // Depth maps to [0, 1]: 0 on the near plane, 1 on the far plane.
  EXPECT_NEAR(GXVec3TransformCoord({0, 0, 1}, proj).z, 0.0f, 1e-6f);
  EXPECT_NEAR(GXVec3TransformCoord({0, 0, 101}, proj).z, 1.0f, 1e-6f);
  // fov 90 degrees: y = z lies on the top edge; aspect 2: x = 2z on the right edge.
  ExpectNear(GXVec3TransformCoord({2, 1, 1}, proj), {1, 1, 0});

  TGXMatrix ortho = GXMatrixOrthoOffCenterLH(-4, 4, -2, 2, 0, 10);
  ExpectNear(GXVec3TransformCoord({4, 2, 10}, ortho), {1, 1, 1});
  ExpectNear(GXVec3TransformCoord({-4, -2, 0}, ortho), {-1, -1, 0});
}

TEST(GXMath, ProjectAndUnprojectAreInverse) {
  TGXViewportRect vp{10, 20, 640, 480, 0, 1};
  TGXMatrix view = GXMatrixLookAtLH({3, 4, -12}, {0, 0, 0}, {0, 1, 0});
  TGXMatrix proj = GXMatrixPerspectiveFovLH(0.9f, 640.f / 480.f, 0.5f, 500.f);
  TGXVector3 p{1.5f, -2.f, 3.f};
  TGXVector3 s = GXVec3Project(p, vp, proj, view, TGXMatrix());
  EXPECT_GE(s.x, 10);
  EXPECT_LE(s.x, 650);
  ExpectNear(GXVec3Unproject(s, vp, proj, view, TGXMatrix()), p, 2e-3f);
  // The centre of the view projects to the viewport's centre.
  TGXVector3 c = GXVec3Project({0, 0, 0}, vp, proj, view, TGXMatrix());
  EXPECT_NEAR(c.x, 330, 1e-3f);
  EXPECT_NEAR(c.y, 260, 1e-3f);
}

TEST(GXMath, PlanesAndTriangleIntersection) {
  TGXPlane p = GXPlaneFromPoints({0, 1, 0}, {0, 1, 1}, {1, 1, 0});
  EXPECT_NEAR(p.b, 1.0f, 1e-6f);
  EXPECT_NEAR(p.d, -1.0f, 1e-6f);
  EXPECT_NEAR(GXPlaneDotCoord(p, {5, 3, 5}), 2.0f, 1e-6f);
  // Carrying the plane up by 2 with the inverse transpose.
  TGXMatrix t = GXMatrixTranslation(0, 2, 0), inv;
  ASSERT_TRUE(GXMatrixInverse(inv, nullptr, t));
  TGXPlane moved = GXPlaneNormalize(GXPlaneTransform(p, GXMatrixTranspose(inv)));
  EXPECT_NEAR(moved.d, -3.0f, 1e-6f);

  float u, v, d;
  ASSERT_TRUE(GXIntersectTri({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.25f, 0.25f, -2}, {0, 0, 1}, &u, &v, &d));
  EXPECT_NEAR(u, 0.25f, 1e-6f);
  EXPECT_NEAR(v, 0.25f, 1e-6f);
  EXPECT_NEAR(d, 2.0f, 1e-6f);
  EXPECT_FALSE(GXIntersectTri({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.25f, 0.25f, 2}, {0, 0, 1}, &u, &v, &d));
  EXPECT_FALSE(GXIntersectTri({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.8f, 0.8f, -2}, {0, 0, 1}, &u, &v, &d));
}

TEST(GXMath, HermiteAndSlerpEndPoints) {
  TGXVector3 p0{0, 0, 0}, t0{1, 0, 0}, p1{1, 1, 0}, t1{0, 1, 0};
  ExpectNear(GXVec3Hermite(p0, t0, p1, t1, 0), p0);
  ExpectNear(GXVec3Hermite(p0, t0, p1, t1, 1), p1);
  TGXQuaternion a = GXQuaternionRotationAxis({0, 1, 0}, 0.2f), b = GXQuaternionRotationAxis({0, 1, 0}, 1.0f);
  TGXQuaternion mid = GXQuaternionSlerp(a, b, 0.5f);
  TGXQuaternion expect = GXQuaternionRotationAxis({0, 1, 0}, 0.6f);
  EXPECT_NEAR(mid.y, expect.y, 1e-5f);
  EXPECT_NEAR(mid.w, expect.w, 1e-5f);
}

TEST(GXMath, DecomposeRecoversScaleRotationTranslation) {
  TGXQuaternion q = GXQuaternionRotationAxis({0.3f, 1, -0.2f}, 1.2f);
  TGXMatrix m = GXMatrixTransformation({2, 3, 4}, q, {7, 8, 9});
  TGXVector3 s, t;
  TGXQuaternion r;
  ASSERT_TRUE(GXMatrixDecompose(s, r, t, m));
  ExpectNear(s, {2, 3, 4}, 1e-5f);
  ExpectNear(t, {7, 8, 9});
  EXPECT_NEAR(std::fabs(GXQuaternionDot(r, q)), 1.0f, 1e-5f);
  EXPECT_FALSE(GXMatrixDecompose(s, r, t, GXMatrixScaling(0, 1, 1)));
}
