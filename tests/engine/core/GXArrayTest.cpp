#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "engine/core/GXArray.h"

using namespace gx;

namespace {
void* P(intptr_t v) { return reinterpret_cast<void*>(v); }
intptr_t V(void* p) { return reinterpret_cast<intptr_t>(p); }
std::vector<intptr_t> Values(const TGXArray& a) {
  std::vector<intptr_t> r;
  for (void* p : a) r.push_back(V(p));
  return r;
}
int Ascending(void* a, void* b) { return V(a) < V(b) ? -1 : (V(a) > V(b) ? 1 : 0); }
}  // namespace

TEST(GXArray, GrowsByTheRuleOneByOne) {
  TGXArray a;
  std::vector<int> capacities{a.Capacity()};
  for (int i = 0; i < 95; ++i) {
    a.Add(P(i));
    if (a.Capacity() != capacities.back()) capacities.push_back(a.Capacity());
  }
  EXPECT_EQ(capacities, (std::vector<int>{0, 4, 8, 12, 28, 44, 60, 76, 95}));
  a.Add(P(95));
  EXPECT_EQ(a.Capacity(), 95 + 95 / 4);
}

TEST(GXArray, DeleteRemoveAndBadIndices) {
  TGXArray a;
  for (int i = 1; i <= 5; ++i) a.Add(P(i));
  a.Delete(1, true);  // fast: the last entry fills the hole
  EXPECT_EQ(Values(a), (std::vector<intptr_t>{1, 5, 3, 4}));
  a.Delete(0);  // ordered
  EXPECT_EQ(Values(a), (std::vector<intptr_t>{5, 3, 4}));
  EXPECT_TRUE(a.Remove(P(4), true));  // the last one: nothing moves
  EXPECT_FALSE(a.Remove(P(42)));
  EXPECT_EQ(Values(a), (std::vector<intptr_t>{5, 3}));
  EXPECT_EQ(a.IndexOf(P(3)), 1);
  EXPECT_EQ(a.IndexOf(P(4)), -1);

  try {
    a.Delete(2);
    FAIL();
  } catch (const EGXListError& e) {
    EXPECT_STREQ(e.what(), "Listenindex überschreitet das Maximum (2)");
  }
  EXPECT_THROW(a.Delete(-1), EGXListError);
  EXPECT_THROW(a[2], EGXListError);
  EXPECT_EQ(a.Count(), 2);
}

TEST(GXArray, CapacityAndAssign) {
  TGXArray a;
  for (int i = 0; i < 10; ++i) a.Add(P(i));
  a.SetCapacity(5);  // below Count: ignored
  EXPECT_EQ(a.Capacity(), 12);
  a.SetCapacity(10);
  EXPECT_EQ(a.Capacity(), 10);

  TGXArray b;
  b.Add(P(99));
  b.Assign(a);
  EXPECT_EQ(Values(b), Values(a));
  EXPECT_EQ(b.Capacity(), 10);
  b.Assign(b);
  EXPECT_EQ(b.Count(), 10);
  TGXArray c(std::move(b));
  EXPECT_EQ(c.Count(), 10);
  EXPECT_EQ(b.Count(), 0);
}

TEST(GXArray, SortsSmallAndLargeRangesAndSubRanges) {
  std::mt19937 rng(7);
  for (int n : {2, 7, 512, 513, 5000}) {
    TGXArray a;
    std::vector<intptr_t> expected;
    for (int i = 0; i < n; ++i) {
      intptr_t v = static_cast<intptr_t>(rng() % 300);  // many equal keys
      a.Add(P(v));
      expected.push_back(v);
    }
    a.Sort(Ascending);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Values(a), expected) << n;
  }

  TGXArray a;
  for (intptr_t v : {9, 8, 7, 6, 5, 4}) a.Add(P(v));
  a.Sort(Ascending, 1, 3);
  EXPECT_EQ(Values(a), (std::vector<intptr_t>{9, 6, 7, 8, 5, 4}));
  a.Sort(Ascending, 3, 3);   // first = last
  a.Sort(Ascending, -1, 3);  // out of range
  a.Sort(Ascending, 2, 6);
  EXPECT_EQ(Values(a), (std::vector<intptr_t>{9, 6, 7, 8, 5, 4}));

  TGXArrayOf<int> typed;
  int x[3] = {3, 1, 2};
  for (int& i : x) typed.Add(&i);
  typed.Sort([](int* l, int* r) { return *l - *r; });
  EXPECT_EQ(*typed[0] * 100 + *typed[1] * 10 + *typed[2], 123);
}

TEST(GXArray, SortWithAContradictoryCompareEndsAndKeepsTheEntries) {
  std::mt19937 rng(3);
  TGXArray a;
  for (int i = 0; i < 3000; ++i) a.Add(P(i));
  a.Sort([&rng](void*, void*) { return static_cast<int>(rng() % 3) - 1; });
  std::vector<intptr_t> v = Values(a);
  std::sort(v.begin(), v.end());
  for (int i = 0; i < 3000; ++i) ASSERT_EQ(v[i], i);
}
