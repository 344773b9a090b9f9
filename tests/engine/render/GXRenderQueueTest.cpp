#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>

#include "engine/core/GXArray.h"
#include "engine/render/GXRenderQueue.h"
#include "tests/engine/render/GXRenderTestSupport.h"

namespace gx {
namespace {

using test::MakeEffect;
using test::MakeMaterial;

struct QueueFixture : ::testing::Test {
  TGXNullRenderDevice Device;
  // E1: T0 opaque one pass, T1 opaque two passes, T2 blended one pass. E2: T0 opaque.
  TGXRef<TGXEffect> E1 = MakeEffect(Device, "E1", {{false}, {false, false}, {true}});
  TGXRef<TGXEffect> E2 = MakeEffect(Device, "E2", {{false}});
  IGXMaterial Opaque = MakeMaterial(nullptr, "Opaque", E1, 0);
  IGXMaterial TwoPass = MakeMaterial(nullptr, "TwoPass", E1, 1);
  IGXMaterial Blended = MakeMaterial(nullptr, "Blended", E1, 2);
  IGXMaterial Other = MakeMaterial(nullptr, "Other", E2, 0);
  std::vector<std::unique_ptr<TGXRenderPrimitive>> Primitives;
  TGXRenderQueue Queue;

  TGXRenderPrimitive* Prim(const IGXMaterial& material) {
    Primitives.push_back(std::make_unique<TGXRenderPrimitive>());
    Primitives.back()->Material = material;
    return Primitives.back().get();
  }
};

TEST_F(QueueFixture, AddMakesOneItemPerPassAndSkipsWhatCannotBeDrawn) {
  TGXRenderPrimitive* noMaterial = Prim(nullptr);
  auto bare = MakeRef<test::TRecordingMaterial>(nullptr, "NoTechnique");  // no effect, no technique
  TGXRenderPrimitive* noTechnique = Prim(bare);
  Queue.Add(nullptr, 0, 0);
  Queue.Add(noMaterial, 0, 0);
  Queue.Add(noTechnique, 0, 0);
  EXPECT_EQ(Queue.ItemCount(), 0);

  TGXRenderPrimitive* p = Prim(TwoPass);
  Queue.Add(p, 2.5f, 7);
  ASSERT_EQ(Queue.ItemCount(), 2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(Queue.Items(i).Primitive, p);
    EXPECT_EQ(Queue.Items(i).Pass, TwoPass->GetTechnique()->Pass(i));
    EXPECT_EQ(Queue.Items(i).Layer, 2.5f);
    EXPECT_EQ(Queue.Items(i).Distance, 7);
  }
  EXPECT_THROW(Queue.Items(2), EGXListError);
  EXPECT_THROW(Queue.Items(-1), EGXListError);
}

TEST_F(QueueFixture, OpaqueFrontToBackBlendedBackToFrontOpaqueAlwaysFirst) {
  TGXRenderPrimitive* farOpaque = Prim(Opaque);
  TGXRenderPrimitive* nearOpaque = Prim(Opaque);
  TGXRenderPrimitive* highLayerOpaque = Prim(Opaque);
  TGXRenderPrimitive* nearBlended = Prim(Blended);
  TGXRenderPrimitive* farBlended = Prim(Blended);
  TGXRenderPrimitive* lowLayerBlended = Prim(Blended);
  Queue.Add(nearBlended, 0, 1);
  Queue.Add(lowLayerBlended, -5, 1000);
  Queue.Add(farOpaque, 0, 100);
  Queue.Add(highLayerOpaque, 9, 0);
  Queue.Add(farBlended, 0, 50);
  Queue.Add(nearOpaque, 0, 2);
  Queue.Finish();
  ASSERT_EQ(Queue.ItemCount(), 6);
  // Opaque: ascending layer, then nearest first. Blended: descending layer, then farthest first;
  // a blended item of a low layer still comes after an opaque item of a high one.
  const TGXRenderPrimitive* expected[] = {nearOpaque, farOpaque,   highLayerOpaque,
                                          farBlended, nearBlended, lowLayerBlended};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Queue.Items(i).Primitive, expected[i]) << "item " << i;
}

TEST_F(QueueFixture, OpaqueItemsGroupByTechniqueThenPassBeforeDistance) {
  TGXRenderPrimitive* a = Prim(TwoPass);
  TGXRenderPrimitive* b = Prim(TwoPass);
  TGXRenderPrimitive* c = Prim(Other);
  TGXRenderPrimitive* d = Prim(Opaque);
  Queue.Add(a, 0, 30);
  Queue.Add(c, 0, 20);
  Queue.Add(b, 0, 10);
  Queue.Add(d, 0, 25);
  Queue.Finish();
  ASSERT_EQ(Queue.ItemCount(), 6);
  // Each technique's items form one run; inside it, pass 0 items (nearest first) precede pass 1.
  std::vector<const TGXEffectTechnique*> runs;
  for (int i = 0; i < 6; ++i) {
    const TGXEffectTechnique* t = Queue.Items(i).Pass->Technique();
    if (runs.empty() || runs.back() != t) runs.push_back(t);
  }
  EXPECT_EQ(runs.size(), 3u);
  for (int i = 0; i + 1 < 6; ++i) {
    const auto &x = Queue.Items(i), &y = Queue.Items(i + 1);
    if (x.Pass->Technique() != y.Pass->Technique()) continue;
    EXPECT_TRUE(x.Pass->Index() < y.Pass->Index() ||
                (x.Pass->Index() == y.Pass->Index() && x.Distance <= y.Distance))
        << "items " << i << " and " << i + 1;
  }
  int first = 0;
  while (Queue.Items(first).Pass->Technique() != TwoPass->GetTechnique()) ++first;
  EXPECT_EQ(Queue.Items(first).Primitive, b);
  EXPECT_EQ(Queue.Items(first + 1).Primitive, a);
  EXPECT_EQ(Queue.Items(first + 2).Primitive, b);
  EXPECT_EQ(Queue.Items(first + 2).Pass->Index(), 1);
}

TEST_F(QueueFixture, BlendedItemsOfEqualDistanceGroupByTechniqueThenPass) {
  TGXRef<TGXEffect> e = MakeEffect(Device, "E3", {{true, true}, {true}});
  IGXMaterial m0 = MakeMaterial(nullptr, "m0", e, 0), m1 = MakeMaterial(nullptr, "m1", e, 1);
  TGXRenderPrimitive *p = Prim(m0), *q = Prim(m1), *r = Prim(m0);
  Queue.Add(p, 0, 5);
  Queue.Add(q, 0, 5);
  Queue.Add(r, 0, 5);
  Queue.Finish();
  ASSERT_EQ(Queue.ItemCount(), 5);
  int changes = 0;
  for (int i = 0; i + 1 < 5; ++i) {
    const auto &x = Queue.Items(i), &y = Queue.Items(i + 1);
    if (x.Pass->Technique() != y.Pass->Technique())
      ++changes;
    else
      EXPECT_LE(x.Pass->Index(), y.Pass->Index());
  }
  EXPECT_EQ(changes, 1);
}

// A key as the order reads it: NaN as +infinity.
float Key(float v) { return std::isnan(v) ? std::numeric_limits<float>::infinity() : v; }

TEST_F(QueueFixture, LongQueuesWithNaNKeysSortLikeShortOnes) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<TGXRenderPrimitive*> ps;
  // Two-pass opaque, one-pass opaque and blended items, more than the comparison-sort limit of
  // each kind, with repeated, negative, NaN and infinite keys. Every opaque technique and the
  // blended one are separate, so the full order is determined up to the technique runs.
  for (int i = 0; i < 3000; ++i) {
    const int kind = i % 3;
    ps.push_back(Prim(kind == 0 ? TwoPass : kind == 1 ? Opaque : Blended));
    const float layer = i % 11 == 0 ? nan : static_cast<float>((i * 7) % 5) - 2;
    const float distance = i % 13 == 0   ? nan
                           : i % 17 == 0 ? -std::numeric_limits<float>::infinity()
                                         : static_cast<float>((i * 7919) % 1000) - 100;
    Queue.Add(ps.back(), layer, distance);
  }
  Queue.Finish();
  ASSERT_EQ(Queue.ItemCount(), 4000);
  for (int i = 0; i + 1 < Queue.ItemCount(); ++i) {
    const auto &x = Queue.Items(i), &y = Queue.Items(i + 1);
    const bool bx = x.Pass->AlphaBlend(), by = y.Pass->AlphaBlend();
    ASSERT_TRUE(!bx || by) << "opaque item after a blended one at " << i;
    if (bx != by) continue;
    if (!bx) {
      ASSERT_LE(Key(x.Layer), Key(y.Layer)) << i;
      if (Key(x.Layer) != Key(y.Layer) || x.Pass->Technique() != y.Pass->Technique()) continue;
      ASSERT_LE(x.Pass->Index(), y.Pass->Index()) << i;
      if (x.Pass->Index() == y.Pass->Index()) {
        ASSERT_LE(Key(x.Distance), Key(y.Distance)) << i;
      }
    } else {
      ASSERT_GE(Key(x.Layer), Key(y.Layer)) << i;
      if (Key(x.Layer) == Key(y.Layer)) {
        ASSERT_GE(Key(x.Distance), Key(y.Distance)) << i;
      }
    }
  }
  // Inside one opaque layer each technique forms one run.
  std::map<std::pair<float, const TGXEffectTechnique*>, int> runs;
  for (int i = 0; i < Queue.ItemCount(); ++i) {
    const auto& x = Queue.Items(i);
    if (x.Pass->AlphaBlend()) break;
    if (i == 0 || Queue.Items(i - 1).Pass->Technique() != x.Pass->Technique() ||
        Key(Queue.Items(i - 1).Layer) != Key(x.Layer))
      ++runs[{Key(x.Layer), x.Pass->Technique()}];
  }
  for (const auto& [key, count] : runs) EXPECT_EQ(count, 1);

  // The records are reused; the next frame starts empty.
  Queue.Clear();
  EXPECT_EQ(Queue.ItemCount(), 0);
  Queue.Add(ps[1], 0, 3);
  Queue.Add(ps[4], 0, 1);
  Queue.Finish();
  ASSERT_EQ(Queue.ItemCount(), 2);
  EXPECT_EQ(Queue.Items(0).Primitive, ps[4]);
  EXPECT_THROW(Queue.Items(2), EGXListError);
}

TEST(GXPrimitiveCountTest, CountsPerTypeAndNothingFromTooFewVertices) {
  struct Case {
    uint32_t type, n, expected;
  } cases[] = {
      {GXPointList, 5, 5},
      {GXPointList, 0, 0},
      {GXLineList, 7, 3},
      {GXLineList, 1, 0},
      {GXLineStrip, 7, 6},
      {GXLineStrip, 1, 0},
      {GXLineStrip, 0, 0},
      {GXTriangleList, 7, 2},
      {GXTriangleList, 2, 0},
      {GXTriangleStrip, 7, 5},
      {GXTriangleStrip, 2, 0},
      {GXTriangleStrip, 0, 0},
      {GXTriangleFan, 5, 3},
      {GXTriangleFan, 1, 0},
      {0, 9, 0},
      {7, 9, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(GXPrimitiveCount(c.type, c.n), c.expected) << c.type << " " << c.n;
}

}  // namespace
}  // namespace gx
