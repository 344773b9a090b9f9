#include "engine/render/GXScene.h"

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "engine/core/GXGeometry.h"

namespace gx {

namespace {

struct TPickWalk {
  TGXVector3 Origin;
  TGXVector3 Direction;
  TGXPickResult Best;
  float BestDistance = 0;
  const TGXPickFilter* Filter = nullptr;

  void Visit(const TGXSceneNode* node) {
    const TGXBoundingBox& bounds = node->WorldBounds();
    if (!node->Visible() || bounds.Empty) return;
    if (Filter && *Filter && !(*Filter)(*node)) return;
    if (!BoxContains(bounds, Origin)) {
      std::optional<TGXRayHit> entry = RayBox(bounds, Origin, Direction);
      if (!entry) return;
      if (Best.Object && DistanceSquared(entry->Point, Origin) > BestDistance) return;
    }
    const int objects = node->ObjectCount();
    if (objects > 0) {
      const TGXMatrix& inverse = node->InverseWorldMatrix();
      const TGXVector3 localOrigin = GXVec3TransformCoord(Origin, inverse);
      const TGXVector3 localDirection = GXVec3TransformNormal(Direction, inverse);
      // Re-read the count: an object's test may not detach objects, but must not crash if it does.
      for (int i = 0; i < node->ObjectCount(); ++i) {
        TGXSceneObject* object = node->Objects().At(i);
        if (!object->Visible()) continue;
        TGXVector3 normal, hit;
        if (!object->RayIntersect(localOrigin, localDirection, normal, hit)) continue;
        const TGXMatrix& world = node->WorldMatrix();
        const TGXVector3 worldHit = GXVec3TransformCoord(hit, world);
        const float distance = DistanceSquared(worldHit, Origin);
        // A hit that is not a finite point would win every later comparison or none.
        if (!std::isfinite(distance)) continue;
        if (Best.Object && !(distance < BestDistance)) continue;
        Best.Object = object;
        Best.Hit = worldHit;
        Best.Normal = GXVec3TransformNormal(normal, world);
        BestDistance = distance;
      }
    }
    const TGXArrayView<TGXNode> children = node->Children();
    const int n = children.size();
    const std::vector<TGXChildExtent>& extents = node->ChildExtents();
    if (static_cast<int>(extents.size()) != n) {
      // Not updated since the children changed (cannot happen after Update): the plain walk.
      for (int i = 0; i < n; ++i) Visit(static_cast<const TGXSceneNode*>(children[i]));
      return;
    }
    // The children's boxes lie side by side here; a child's own memory is touched only when the
    // ray may meet its box, which keeps a node with many children cheap to pass.
    for (int i = 0; i < n; ++i)
      if (MayHit(extents[i])) Visit(static_cast<const TGXSceneNode*>(children[i]));
  }

  // A slab test widened by a small tolerance: it may let through a box the exact test misses,
  // never the other way round, so the results equal those of the plain walk.
  bool MayHit(const TGXChildExtent& e) const {
    if (!e.Usable) return false;
    float tNear = 0.0f, tFar = std::numeric_limits<float>::infinity();
    for (int a = 0; a < 3; ++a) {
      const float o = Origin[a], d = Direction[a];
      const float margin = 1e-4f * (std::fabs(e.Min[a]) + std::fabs(e.Max[a])) + 1e-5f;
      const float lo = e.Min[a] - margin, hi = e.Max[a] + margin;
      if (d == 0.0f) {
        if (o < lo || o > hi) return false;
        continue;
      }
      const float inv = 1.0f / d;
      float t0 = (lo - o) * inv, t1 = (hi - o) * inv;
      if (t0 > t1) std::swap(t0, t1);
      if (t0 > tNear) tNear = t0;
      if (t1 < tFar) tFar = t1;
      if (tNear > tFar) return false;
    }
    return true;  // NaN comparisons fall through to here: the exact test decides
  }
};

}  // namespace

TGXScene::TGXScene() : FRoot(std::make_unique<TGXSceneNode>("Root")) { FRoot->SetScene(this); }

TGXScene::~TGXScene() = default;

TGXSceneNode* TGXScene::FindNode(std::string_view name) const {
  if (FRoot->Name() == name) return FRoot.get();
  return dynamic_cast<TGXSceneNode*>(FRoot->FindChild(name, true));
}

TGXPickResult TGXScene::Pick(const TGXVector3& origin, const TGXVector3& direction) {
  FRoot->Update(false);
  TPickWalk walk;
  walk.Origin = origin;
  walk.Direction = direction;
  walk.Visit(FRoot.get());
  return walk.Best;
}

TGXPickResult TGXScene::Pick(TGXSceneNode* node, const TGXVector3& origin, const TGXVector3& direction) {
  return Pick(node, origin, direction, TGXPickFilter());
}

TGXPickResult TGXScene::Pick(TGXSceneNode* node, const TGXVector3& origin, const TGXVector3& direction,
                             const TGXPickFilter& filter) {
  if (!node) return {};
  // The node's world matrix and bounds depend on its ancestors, so the update starts at the root
  // of the tree it hangs in (this scene's root for an attached node).
  TGXNode* top = node;
  while (top->Parent()) top = top->Parent();
  top->Update(false);
  TPickWalk walk;
  walk.Origin = origin;
  walk.Direction = direction;
  walk.Filter = &filter;
  walk.Visit(node);
  return walk.Best;
}

}  // namespace gx
