#pragma once
// TGXRenderQueue: the primitives one viewport draws, one item per pass, in drawing order.
//
// Order after Finish: every item whose pass does not blend comes before every item whose pass
// blends. Opaque items: ascending layer, then grouped by technique, then ascending pass index,
// then ascending distance (front to back, so that depth testing rejects hidden pixels early).
// Blended items: descending layer, then descending distance (back to front, so that they blend
// over what lies behind them), then grouped by technique, then ascending pass index. Techniques
// are grouped in the order in which they were first added since the last Clear; the sort is not
// stable. A NaN layer or distance counts as +infinity, so it cannot upset the sort.
//
// Each item's sort position is condensed into two integer keys when it is added; Finish sorts
// by them (a radix sort for long queues), so sorting a full frame costs a few passes over the
// keys instead of a comparison sort with float and NaN tests.
//
// Item records are reused from frame to frame: Clear keeps them, Finish drops those beyond the
// count.

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "engine/render/GXEffect.h"
#include "engine/render/GXRenderPrimitive.h"

namespace gx {

struct TGXRenderQueueItem {
  TGXRenderPrimitive* Primitive = nullptr;
  TGXEffectPass* Pass = nullptr;
  float Layer = 0;
  // The squared distance from the camera, or a constant that fixes the item's place.
  float Distance = 0;
};

class TGXRenderQueue {
 public:
  // Count := 0; the records stay for reuse.
  void Clear();
  // Nothing when the primitive, its material or the material's technique is missing; otherwise
  // one item per pass of the material's technique, in pass order. The primitive must live until
  // the queue is drawn.
  void Add(TGXRenderPrimitive* primitive, float layer, float distance);
  // Drops the unused records, then sorts.
  void Finish();

  int ItemCount() const { return FCount; }
  // A new number at every Clear, never given to another queue: objects that gather their
  // primitives over one collection (batching) know a new one has begun.
  uint64_t Generation() const { return FGeneration; }
  // A bad index raises the list index error.
  const TGXRenderQueueItem& Items(int index) const;

 private:
  struct TEntry {
    TGXRenderQueueItem Item;
    // Compared as the pair (Major, Minor); opaque and blended items are sorted apart.
    uint64_t Major;
    uint64_t Minor;
    bool Blend;
  };
  struct TKey {
    uint64_t Major;
    uint64_t Minor;
    uint32_t Index;
  };

  uint32_t TechniqueId(const TGXEffectTechnique* technique);
  void SortRange(size_t first, size_t last);

  std::vector<TEntry> FEntries;
  int FCount = 0;
  uint64_t FGeneration = 0;
  // Per-frame numbers of the techniques, in order of first appearance.
  std::unordered_map<const TGXEffectTechnique*, uint32_t> FTechniqueIds;
  const TGXEffectTechnique* FLastTechnique = nullptr;
  uint32_t FLastTechniqueId = 0;
  // Scratch space of the sort, kept between frames.
  std::vector<TKey> FKeys, FKeysScratch;
  std::vector<TEntry> FEntriesScratch;
};

}  // namespace gx
