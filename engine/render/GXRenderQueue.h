#pragma once
// TGXRenderQueue: the primitives one viewport draws, one item per pass, in drawing order.
//
// Order after Finish: every item whose pass does not blend comes before every item whose pass
// blends. Opaque items: ascending layer, then grouped by technique, then ascending pass index,
// then ascending distance (front to back, so that depth testing rejects hidden pixels early).
// Blended items: descending layer, then descending distance (back to front, so that they blend
// over what lies behind them), then grouped by technique, then ascending pass index. Techniques
// are grouped in a fixed but unspecified order; the sort is not stable. A NaN layer or distance
// counts as +infinity, so it cannot upset the sort.
//
// Item records are reused from frame to frame: Clear keeps them, Finish drops those beyond the
// count.

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
  void Clear() { FCount = 0; }
  // Nothing when the primitive, its material or the material's technique is missing; otherwise
  // one item per pass of the material's technique, in pass order. The primitive must live until
  // the queue is drawn.
  void Add(TGXRenderPrimitive* primitive, float layer, float distance);
  // Drops the unused records, then sorts.
  void Finish();

  int ItemCount() const { return FCount; }
  // A bad index raises the list index error.
  const TGXRenderQueueItem& Items(int index) const;

 private:
  // The item with the keys the sort reads, so that comparing two items touches no other memory.
  struct TEntry {
    TGXRenderQueueItem Item;
    const TGXEffectTechnique* Technique;
    int PassIndex;
    bool Blend;
  };
  std::vector<TEntry> FEntries;
  int FCount = 0;
};

}  // namespace gx
