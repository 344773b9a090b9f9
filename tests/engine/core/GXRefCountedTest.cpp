#include "engine/core/GXRefCounted.h"

#include <gtest/gtest.h>

using namespace gx;

namespace {
struct Tracked : TGXRefCounted {
  explicit Tracked(int* alive) : Alive(alive) { ++*Alive; }
  ~Tracked() override { --*Alive; }
  int* Alive;
};
}  // namespace

TEST(GXRefCounted, LastStrongReferenceFreesAndClearsWeakSlots) {
  int alive = 0;
  TGXWeakRef<Tracked> w1, w2;
  {
    TGXRef<Tracked> a = MakeRef<Tracked>(&alive);
    w1 = a.Get();
    w2 = w1;
    TGXRef<Tracked> b = a;
    EXPECT_EQ(a->RefCount(), 2);
    a.Reset();
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(w1.Get(), b.Get());
  }
  EXPECT_EQ(alive, 0);
  EXPECT_EQ(w1.Get(), nullptr);
  EXPECT_EQ(w2.Get(), nullptr);
  EXPECT_FALSE(w1.Lock());
}

TEST(GXRefCounted, WeakReferenceThatDiesFirstUnregisters) {
  int alive = 0;
  TGXRef<Tracked> a = MakeRef<Tracked>(&alive);
  { TGXWeakRef<Tracked> w(a.Get()); }
  TGXWeakRef<Tracked> kept(a.Get());
  a.Reset();  // must not touch the destroyed slot of the first weak reference
  EXPECT_EQ(kept.Get(), nullptr);
}
