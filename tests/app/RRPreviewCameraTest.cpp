// The preview's orbit camera: distances from the object's size, the half-way steps, the wheel and
// drag limits, and a near plane that never reaches the eye, also for boxes that are empty,
// tiny, huge or not finite.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/RRPreview.h"

using namespace rr;
using gx::TGXVector3;

TEST(PreviewCamera, DistancesFollowTheBoxAndTheWheelStaysInRange) {
  const float inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
  struct TCase {
    const char* Name;
    gx::TGXBoundingBox Box;
    float Radius;
    TGXVector3 Centre;
  } cases[] = {
      {"box 6 x 8 x 0", gx::BoxFromMinMax({0, 0, 0}, {6, 8, 0}), 5, {3, 4, 0}},
      {"tiny", gx::BoxFromMinMax({0, 0, 0}, {0.1f, 0.1f, 0.1f}), 1, {0.05f, 0.05f, 0.05f}},
      {"empty", gx::TGXBoundingBox(), 1, {0, 0, 0}},
      {"not finite", gx::BoxFromMinMax({nan, 0, 0}, {inf, 1, 1}), 1, {0, 0, 0}},
      {"huge", gx::BoxFromMinMax({-1e30f, 0, 0}, {1e30f, 1, 1}), 1e6f, {0, 0.5f, 0.5f}},
  };
  for (const TCase& c : cases) {
    TRRPreviewCamera cam;
    cam.SetTarget(c.Box);
    EXPECT_FLOAT_EQ(cam.Radius(), c.Radius) << c.Name;
    EXPECT_NEAR(gx::GXVec3Length(cam.Centre() - c.Centre), 0, 1e-3f) << c.Name;
    EXPECT_FLOAT_EQ(cam.Distance(), 3.3f * c.Radius) << c.Name;
    EXPECT_NEAR(gx::GXVec3Length(cam.Eye() - cam.Centre()), cam.Distance(), cam.Distance() * 1e-5f) << c.Name;
    // Nearest: the near plane stays in front of the eye; furthest: 6 r.
    cam.Wheel(2000000000);
    EXPECT_FLOAT_EQ(cam.Goal(), c.Radius) << c.Name;
    for (int i = 0; i < 40; ++i) cam.Step();
    EXPECT_GT(cam.NearPlane(), 0) << c.Name;
    EXPECT_LT(cam.NearPlane(), cam.Distance()) << c.Name;
    EXPECT_GT(cam.FarPlane(), cam.Distance() + c.Radius) << c.Name;
    cam.Wheel(-2000000000);
    EXPECT_FLOAT_EQ(cam.Goal(), 6 * c.Radius) << c.Name;
  }
}

TEST(PreviewCamera, StepsHalfWayAndDragsTurnWithinLimits) {
  TRRPreviewCamera cam(0.5f, 0.5f, 0.5f);
  cam.SetTarget(gx::BoxFromMinMax({-10, -10, -10}, {10, 10, 10}));
  const float r = cam.Radius(), start = cam.Distance();
  cam.Wheel(120);  // goal 1.2 nearer
  cam.Step();
  EXPECT_FLOAT_EQ(cam.Distance(), start - 0.6f);
  cam.Step();
  EXPECT_FLOAT_EQ(cam.Distance(), start - 0.9f);
  EXPECT_GT(r, 17);

  cam.Press(100, 100);
  cam.Drag(150, 120);  // 0.5 rad round, 0.2 rad up
  EXPECT_FLOAT_EQ(cam.Yaw(), 1.0f);
  EXPECT_FLOAT_EQ(cam.Pitch(), 0.7f);
  cam.Drag(100, 100000);  // far down: the pitch stops short of straight above
  EXPECT_FLOAT_EQ(cam.Pitch(), RRPreviewPitchMax);
  cam.Drag(100, -100000);
  EXPECT_FLOAT_EQ(cam.Pitch(), RRPreviewPitchMin);
  cam.Drag(100000000, 100);  // a long drag round keeps the yaw within a turn
  EXPECT_LE(std::fabs(cam.Yaw()), gx::GX_PI);
  EXPECT_TRUE(std::isfinite(cam.Eye().x));
}
