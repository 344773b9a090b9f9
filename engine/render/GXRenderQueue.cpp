#include "engine/render/GXRenderQueue.h"

#include <atomic>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/core/GXArray.h"

namespace gx {

namespace {

// A float as an unsigned integer of the same order (negative numbers below positive ones); NaN
// sorts as +infinity.
inline uint32_t OrderedBits(float v) {
  if (std::isnan(v)) v = std::numeric_limits<float>::infinity();
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return (bits & 0x80000000u) ? ~bits : (bits | 0x80000000u);
}

inline bool KeyLess(uint64_t aMajor, uint64_t aMinor, uint64_t bMajor, uint64_t bMinor) {
  return aMajor < bMajor || (aMajor == bMajor && aMinor < bMinor);
}

// Below this many items a comparison sort beats the radix sort's fixed costs.
constexpr size_t kRadixThreshold = 256;

}  // namespace

void TGXRenderQueue::Clear() {
  FCount = 0;
  // Unique over all queues, so that a new queue at a freed one's address is never taken for it.
  static std::atomic<uint64_t> generations{0};
  FGeneration = ++generations;
  FTechniqueIds.clear();
  FLastTechnique = nullptr;
}

uint32_t TGXRenderQueue::TechniqueId(const TGXEffectTechnique* technique) {
  // Consecutive adds mostly share one technique (one object's primitives, one kind of object).
  if (technique == FLastTechnique) return FLastTechniqueId;
  auto [it, added] = FTechniqueIds.try_emplace(technique, static_cast<uint32_t>(FTechniqueIds.size()));
  FLastTechnique = technique;
  FLastTechniqueId = it->second;
  return it->second;
}

void TGXRenderQueue::Add(TGXRenderPrimitive* primitive, float layer, float distance) {
  if (!primitive || !primitive->Material) return;
  TGXEffectTechnique* technique = primitive->Material->GetTechnique();
  if (!technique) return;
  const uint64_t tech = TechniqueId(technique);
  const uint64_t layerBits = OrderedBits(layer), distanceBits = OrderedBits(distance);
  const int passes = technique->PassCount();
  for (int i = 0; i < passes; ++i) {
    TGXEffectPass* pass = technique->Pass(i);
    TEntry entry;
    entry.Item = {primitive, pass, layer, distance};
    entry.Blend = pass->AlphaBlend();
    const uint64_t passIndex = static_cast<uint32_t>(pass->Index());
    if (!entry.Blend) {
      // Layer up, technique, pass up, distance up.
      entry.Major = layerBits << 32 | tech;
      entry.Minor = passIndex << 32 | distanceBits;
    } else {
      // Layer down, distance down, technique, pass up.
      entry.Major = (~layerBits & 0xFFFFFFFFu) << 32 | (~distanceBits & 0xFFFFFFFFu);
      entry.Minor = tech << 32 | passIndex;
    }
    if (FCount < static_cast<int>(FEntries.size()))
      FEntries[FCount] = entry;
    else
      FEntries.push_back(entry);
    ++FCount;
  }
}

void TGXRenderQueue::SortRange(size_t first, size_t last) {
  const size_t n = last - first;
  if (n < 2) return;
  auto begin = FEntries.begin() + static_cast<std::ptrdiff_t>(first);
  if (n < kRadixThreshold) {
    std::sort(begin, begin + static_cast<std::ptrdiff_t>(n),
              [](const TEntry& a, const TEntry& b) { return KeyLess(a.Major, a.Minor, b.Major, b.Minor); });
    return;
  }

  // Least significant digit first, one byte per pass over the 128-bit key; a byte that is the
  // same in every key (most of the layer, technique and pass bytes) needs no pass.
  FKeys.resize(n);
  FKeysScratch.resize(n);
  static thread_local uint32_t counts[16][256];
  std::memset(counts, 0, sizeof counts);
  for (size_t i = 0; i < n; ++i) {
    const TEntry& e = FEntries[first + i];
    FKeys[i] = {e.Major, e.Minor, static_cast<uint32_t>(i)};
    for (int d = 0; d < 8; ++d) {
      ++counts[d][(e.Minor >> (8 * d)) & 0xFF];
      ++counts[8 + d][(e.Major >> (8 * d)) & 0xFF];
    }
  }
  for (int d = 0; d < 16; ++d) {
    uint32_t* c = counts[d];
    const uint64_t probe = d < 8 ? FKeys[0].Minor >> (8 * d) : FKeys[0].Major >> (8 * (d - 8));
    if (c[probe & 0xFF] == n) continue;
    uint32_t sum = 0;
    for (int b = 0; b < 256; ++b) {
      const uint32_t k = c[b];
      c[b] = sum;
      sum += k;
    }
    for (const TKey& key : FKeys) {
      const uint64_t word = d < 8 ? key.Minor >> (8 * d) : key.Major >> (8 * (d - 8));
      FKeysScratch[c[word & 0xFF]++] = key;
    }
    FKeys.swap(FKeysScratch);
  }
  FEntriesScratch.resize(n);
  for (size_t i = 0; i < n; ++i) FEntriesScratch[i] = FEntries[first + FKeys[i].Index];
  std::copy(FEntriesScratch.begin(), FEntriesScratch.end(), begin);
}

void TGXRenderQueue::Finish() {
  FEntries.resize(FCount);
  if (FCount < 2) return;
  const auto blended =
      std::partition(FEntries.begin(), FEntries.end(), [](const TEntry& e) { return !e.Blend; });
  const size_t opaque = static_cast<size_t>(blended - FEntries.begin());
  SortRange(0, opaque);
  SortRange(opaque, FEntries.size());
}

const TGXRenderQueueItem& TGXRenderQueue::Items(int index) const {
  if (index < 0 || index >= FCount) throw EGXListError::IndexOutOfRange(index);
  return FEntries[index].Item;
}

}  // namespace gx
