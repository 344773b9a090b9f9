#include "engine/render/GXRenderQueue.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/core/GXArray.h"

namespace gx {

namespace {

// NaN compares false both ways and would break the ordering; it sorts as +infinity.
inline float SortKey(float v) { return std::isnan(v) ? std::numeric_limits<float>::infinity() : v; }

}  // namespace

void TGXRenderQueue::Add(TGXRenderPrimitive* primitive, float layer, float distance) {
  if (!primitive || !primitive->Material) return;
  TGXEffectTechnique* technique = primitive->Material->GetTechnique();
  if (!technique) return;
  const int passes = technique->PassCount();
  for (int i = 0; i < passes; ++i) {
    TGXEffectPass* pass = technique->Pass(i);
    TEntry entry{{primitive, pass, layer, distance}, technique, pass->Index(), pass->AlphaBlend()};
    if (FCount < static_cast<int>(FEntries.size()))
      FEntries[FCount] = entry;
    else
      FEntries.push_back(entry);
    ++FCount;
  }
}

void TGXRenderQueue::Finish() {
  FEntries.resize(FCount);
  if (FCount < 2) return;
  std::sort(FEntries.begin(), FEntries.end(), [](const TEntry& a, const TEntry& b) {
    if (a.Blend != b.Blend) return b.Blend;
    const float la = SortKey(a.Item.Layer), lb = SortKey(b.Item.Layer);
    const float da = SortKey(a.Item.Distance), db = SortKey(b.Item.Distance);
    if (!a.Blend) {
      if (la != lb) return la < lb;
      if (a.Technique != b.Technique) return std::less<>()(a.Technique, b.Technique);
      if (a.PassIndex != b.PassIndex) return a.PassIndex < b.PassIndex;
      return da < db;
    }
    if (la != lb) return la > lb;
    if (da != db) return da > db;
    if (a.Technique != b.Technique) return std::less<>()(a.Technique, b.Technique);
    return a.PassIndex < b.PassIndex;
  });
}

const TGXRenderQueueItem& TGXRenderQueue::Items(int index) const {
  if (index < 0 || index >= FCount) throw EGXListError::IndexOutOfRange(index);
  return FEntries[index].Item;
}

}  // namespace gx
