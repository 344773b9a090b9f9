#include "engine/core/GXArray.h"

#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace gx {

EGXListError EGXListError::IndexOutOfRange(long long index) {
  return EGXListError("Listenindex überschreitet das Maximum (" + std::to_string(index) + ")");
}

EGXListError EGXListError::Duplicate(std::uintptr_t code) {
  char hex[32];
  std::snprintf(hex, sizeof hex, "%" PRIxPTR, code);
  return EGXListError(std::string("Liste gestattet keine doppelten Einträge ($0") + hex + ")");
}

void TGXArray::ThrowIndex(long long index) { throw EGXListError::IndexOutOfRange(index); }

TGXArray& TGXArray::operator=(TGXArray&& other) noexcept {
  if (this != &other) {
    std::free(FItems);
    FItems = std::exchange(other.FItems, nullptr);
    FCount = std::exchange(other.FCount, 0);
    FCapacity = std::exchange(other.FCapacity, 0);
  }
  return *this;
}

TGXArray::~TGXArray() { std::free(FItems); }

void TGXArray::Reallocate(int capacity) {
  if (capacity == 0) {
    std::free(FItems);
    FItems = nullptr;
  } else {
    void* p = std::realloc(FItems, static_cast<size_t>(capacity) * sizeof(void*));
    if (!p) throw std::bad_alloc();
    FItems = static_cast<TGXPointerArray>(p);
  }
  FCapacity = capacity;
}

void TGXArray::Grow() {
  int delta = FCapacity > 64 ? FCapacity / 4 : (FCapacity > 8 ? 16 : 4);
  if (FCapacity > INT_MAX - delta) {
    if (FCapacity == INT_MAX) throw std::bad_alloc();
    delta = INT_MAX - FCapacity;
  }
  Reallocate(FCapacity + delta);
}

int TGXArray::Add(void* p) {
  if (FCount == FCapacity) Grow();
  FItems[FCount] = p;
  return FCount++;
}

int TGXArray::IndexOf(const void* p) const {
  for (int i = 0; i < FCount; ++i)
    if (FItems[i] == p) return i;
  return -1;
}

void TGXArray::Delete(int index, bool fast) {
  if (index < 0 || index >= FCount) ThrowIndex(index);
  const int last = FCount - 1;
  if (index != last) {
    if (fast) {
      FItems[index] = FItems[last];
    } else {
      for (int i = index; i < last; ++i) FItems[i] = FItems[i + 1];
    }
  }
  FItems[last] = nullptr;
  FCount = last;
}

bool TGXArray::Remove(const void* p, bool fast) {
  int i = IndexOf(p);
  if (i < 0) return false;
  Delete(i, fast);
  return true;
}

void TGXArray::SetCapacity(int n) {
  if (n >= FCount && n != FCapacity) Reallocate(n);
}

void TGXArray::Clear() {
  FCount = 0;
  Reallocate(0);
}

void TGXArray::Assign(const TGXArray& other) {
  if (&other == this) return;
  FCount = 0;
  SetCapacity(other.FCount);
  for (int i = 0; i < other.FCount; ++i) FItems[i] = other.FItems[i];
  FCount = other.FCount;
}

namespace {

constexpr int kInsertionLimit = 512;

void InsertionSort(void** items, int lo, int hi, TGXArray::TCompare compare, void* ctx) {
  for (int i = lo + 1; i <= hi; ++i) {
    void* v = items[i];
    int j = i - 1;
    while (j >= lo && compare(ctx, items[j], v) > 0) {
      items[j + 1] = items[j];
      --j;
    }
    items[j + 1] = v;
  }
}

}  // namespace

void TGXArray::Sort(TCompare compare, void* context, int first, int last) {
  if (last == -1) last = FCount - 1;
  if (!compare || first < 0 || first >= last || last >= FCount) return;
  void** items = FItems;
  int lo = first, hi = last;
  // Recurse into the smaller part and loop on the larger one, so the stack stays logarithmic.
  for (;;) {
    if (hi - lo + 1 <= kInsertionLimit) {
      InsertionSort(items, lo, hi, compare, context);
      return;
    }
    void* pivot = items[lo + (hi - lo) / 2];
    int i = lo, j = hi;
    do {
      // The bounds on the scans only matter for compare functions that contradict themselves;
      // a consistent one stops at the pivot anyway.
      while (i < hi && compare(context, items[i], pivot) < 0) ++i;
      while (j > lo && compare(context, items[j], pivot) > 0) --j;
      if (i <= j) {
        std::swap(items[i], items[j]);
        ++i;
        --j;
      }
    } while (i <= j);
    // Both parts are strictly smaller than lo .. hi, so this always ends.
    if (j - lo < hi - i) {
      if (lo < j) Sort(compare, context, lo, j);
      lo = i;
    } else {
      if (i < hi) Sort(compare, context, i, hi);
      hi = j;
    }
    if (lo >= hi) return;
  }
}

}  // namespace gx
