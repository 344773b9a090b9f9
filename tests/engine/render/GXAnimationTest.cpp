#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "engine/core/GXException.h"
#include "engine/core/GXNode.h"
#include "engine/render/GXAnimation.h"

namespace gx::test {
namespace {

IGXAnimation NewAnimation() { return MakeRef<TGXAnimation>(nullptr, "Default", true); }

TEST(TGXAnimationTest, KeysMustGrowAndTheAnimationSpansTheirFrames) {
  IGXAnimation animation = NewAnimation();
  TGXSubAnimation* a = animation->AddSubAnimation("A");
  a->AddRotationKey(5, {});
  a->AddRotationKey(5, {1, 0, 0, 0});
  a->AddRotationKey(3, {1, 0, 0, 0});
  a->AddPositionKey(2, {});
  a->AddPositionKey(40, {});
  animation->AddSubAnimation("B")->AddScaleKey(7, {});
  EXPECT_EQ(a->RotationKeys().size(), 1u);
  EXPECT_EQ(a->RotationKeys()[0].Value, TGXQuaternion());
  EXPECT_EQ(animation->StartFrame(), 0u);
  EXPECT_EQ(animation->EndFrame(), 40u);
  animation->Load();
  EXPECT_THROW(animation->AddSubAnimation("C"), EInvalidCall);
  for (float bad :
       {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()})
    animation->SetSecondsPerFrame(bad);
  EXPECT_FLOAT_EQ(animation->GetSecondsPerFrame(), 0.04f);
}

TEST(TGXAnimationTest, SamplingClampsInterpolatesAndIgnoresTheHint) {
  TGXSubAnimation track("T");
  track.AddPositionKey(10, {0, 0, 0});
  track.AddPositionKey(20, {10, 0, 0});
  track.AddPositionKey(30, {10, 20, 0});
  track.AddPositionKey(34, {10, 20, 4});
  track.AddRotationKey(0, {});
  track.AddRotationKey(10, {0, 1, 0, 0});  // half a turn about y
  const struct {
    float Frame;
    TGXVector3 Position;
  } cases[] = {{0, {0, 0, 0}},    {10, {0, 0, 0}},      {15, {5, 0, 0}},
               {20, {10, 0, 0}},  {25.5f, {10, 11, 0}}, {33, {10, 20, 3}},
               {34, {10, 20, 4}}, {1000, {10, 20, 4}},  {-5, {0, 0, 0}}};
  // Every hint (stale, far ahead, far behind, beyond the keys) gives the same sample.
  for (uint32_t start : {0u, 1u, 2u, 3u, 99u}) {
    for (const auto& c : cases) {
      uint32_t hint = start;
      const TGXVector3 p = track.SamplePosition(c.Frame, hint);
      EXPECT_NEAR(p.x, c.Position.x, 1e-5) << c.Frame << " from " << start;
      EXPECT_NEAR(p.y, c.Position.y, 1e-5) << c.Frame << " from " << start;
      EXPECT_NEAR(p.z, c.Position.z, 1e-5) << c.Frame << " from " << start;
      EXPECT_LT(hint, 4u);
    }
  }
  uint32_t hint = 0;
  const TGXQuaternion q = track.SampleRotation(5, hint);
  EXPECT_NEAR(q.y, std::sqrt(0.5f), 1e-5);
  EXPECT_NEAR(q.w, std::sqrt(0.5f), 1e-5);
  EXPECT_EQ(track.SampleScale(5, hint), TGXVector3(1, 1, 1));

  // Between any two keys the sample is the slerp of their values, also across the short way
  // round (a negative dot product) and for keys too close for the spherical formula.
  TGXSubAnimation turns("Turns");
  const TGXQuaternion keys[] = {{}, GXQuaternionRotationAxis({0, 1, 0}, 2.5f), {0, -1, 0, 0},
                                GXQuaternionRotationAxis({1, 0, 0}, 1e-4f), {0, 0, 0, 1}};
  for (uint32_t k = 0; k < 5; ++k) turns.AddRotationKey(k * 10, keys[k]);
  for (uint32_t k = 0; k < 4; ++k)
    for (float t : {0.1f, 0.5f, 0.75f}) {
      const TGXQuaternion expected = GXQuaternionSlerp(keys[k], keys[k + 1], t);
      const TGXQuaternion q = turns.SampleRotation(float(k * 10) + t * 10, hint);
      EXPECT_NEAR(q.x, expected.x, 1e-6) << k << " " << t;
      EXPECT_NEAR(q.y, expected.y, 1e-6) << k << " " << t;
      EXPECT_NEAR(q.w, expected.w, 1e-6) << k << " " << t;
    }
}

class TGXAnimationControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Root = std::make_unique<TGXNode>("Root");
    Arm = new TGXNode("Arm", Root.get());
    Hand = new TGXNode("Hand", Arm);
    Animation = NewAnimation();
    TGXSubAnimation* arm = Animation->AddSubAnimation("Arm");
    arm->AddPositionKey(0, {0, 0, 0});
    arm->AddPositionKey(50, {50, 0, 0});
    Animation->AddSubAnimation("Nowhere")->AddPositionKey(0, {1, 1, 1});
    TGXSubAnimation* hand = Animation->AddSubAnimation("Hand");
    hand->AddScaleKey(0, {1, 1, 1});
    hand->AddScaleKey(50, {3, 3, 3});
    Animation->AddSubAnimation("Root")->AddRotationKey(0, {0, 0, 1, 0});
    Animation->SetSecondsPerFrame(0.02f);
  }

  std::unique_ptr<TGXNode> Root;
  TGXNode* Arm = nullptr;
  TGXNode* Hand = nullptr;
  IGXAnimation Animation;
  TGXAnimationController Controller;
};

TEST_F(TGXAnimationControllerTest, BindingFindsTheTracksNodesAndDrivesThem) {
  Controller.Bind(Animation, Root.get());
  EXPECT_TRUE(Animation->IsLoaded());
  EXPECT_FLOAT_EQ(Controller.SecondsPerFrame(), 0.02f);
  ASSERT_EQ(Controller.BindingCount(), 1);
  EXPECT_EQ(Controller.BoundNode(0, 0), Arm);
  EXPECT_EQ(Controller.BoundNode(0, 1), nullptr);
  EXPECT_EQ(Controller.BoundNode(0, 2), Hand);
  EXPECT_EQ(Controller.BoundNode(0, 3), Root.get());
  Controller.SetEndFrame(Animation->EndFrame());
  EXPECT_FLOAT_EQ(Controller.Duration(), 1.0f);
  Controller.SetTime(0.5f);  // frame 25
  EXPECT_FLOAT_EQ(Arm->Position().x, 25);
  EXPECT_FLOAT_EQ(Hand->Scale().x, 2);
  EXPECT_EQ(Root->Rotation(), TGXQuaternion(0, 0, 1, 0));
  // Kinds without keys leave the node alone.
  EXPECT_EQ(Arm->Scale(), TGXVector3(1, 1, 1));
  // Binding again replaces the binding.
  Controller.Bind(Animation, Root.get());
  EXPECT_EQ(Controller.BindingCount(), 1);
  Controller.Unbind(Animation.Get());
  EXPECT_EQ(Controller.BindingCount(), 0);
}

TEST_F(TGXAnimationControllerTest, TimeWrapsIntoTheDurationOrIsClamped) {
  Controller.SetSecondsPerFrame(0.04f);
  Controller.SetEndFrame(50);  // 2 seconds
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    bool Loop;
    float Before, T, Time;
  } cases[] = {{true, 0, 2.5f, 0.5f},  {true, 0, -0.5f, 1.5f},    {false, 0, 2.5f, 2},
               {false, 0, -0.5f, 0},   {true, 0, 2, 0},           {true, 0, 7.25f, 1.25f},
               {true, 0, -4.5f, 1.5f}, {true, 1.25f, nan, 1.25f}, {false, 1, INFINITY, 1},
               {false, 0, 1.5f, 1.5f}};
  for (const auto& c : cases) {
    Controller.SetLoop(c.Loop);
    Controller.SetTime(c.Before);
    Controller.SetTime(c.T);
    EXPECT_NEAR(Controller.Time(), c.Time, 1e-5) << c.Loop << " " << c.T;
  }
  Controller.SetLoop(true);
  Controller.SetTime(1.5f);
  Controller.Advance(1);
  EXPECT_NEAR(Controller.Time(), 0.5f, 1e-5);
  for (float bad : {0.0f, -0.04f, nan}) Controller.SetSecondsPerFrame(bad);
  EXPECT_FLOAT_EQ(Controller.Duration(), 2);
  Controller.SetEndFrame(0);
  Controller.SetTime(0.7f);
  EXPECT_EQ(Controller.Time(), 0);
}

TEST_F(TGXAnimationControllerTest, DyingNodesLeaveTheirTracksUnbound) {
  Controller.Bind(Animation, Root.get());
  Controller.SetEndFrame(50);
  delete Arm;  // Hand goes with it
  EXPECT_EQ(Controller.BoundNode(0, 0), nullptr);
  EXPECT_EQ(Controller.BoundNode(0, 2), nullptr);
  EXPECT_EQ(Controller.BoundNode(0, 3), Root.get());
  Controller.SetTime(0.5f);
  EXPECT_EQ(Root->Rotation(), TGXQuaternion(0, 0, 1, 0));
  {
    // A controller that dies first leaves no listener behind on the nodes it drove.
    auto other = std::make_unique<TGXAnimationController>();
    other->Bind(Animation, Root.get());
    other.reset();
  }
  Root.reset();
}

}  // namespace
}  // namespace gx::test
