#include "engine/render/GXScene.h"

#include <cmath>

#include "engine/core/GXGeometry.h"

namespace gx {

namespace {

struct TPickWalk {
  TGXVector3 Origin;
  TGXVector3 Direction;
  TGXPickResult Best;
  float BestDistance = 0;

  void Visit(const TGXSceneNode* node) {
    const TGXBoundingBox& bounds = node->WorldBounds();
    if (!node->Visible() || bounds.Empty) return;
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
    // The children's bounds are spread over memory; asking for them a few children ahead lets
    // the cache misses overlap (a hint only, the walk is unchanged).
    const TGXArrayView<TGXNode> children = node->Children();
    const int n = children.size();
    auto child = [&children](int i) { return static_cast<const TGXSceneNode*>(children[i]); };
    for (int i = 0; i < n; ++i) {
      if (i + 8 < n) {
        const TGXBoundingBox& b = child(i + 8)->WorldBounds();
        __builtin_prefetch(&child(i + 8)->LocalBounds());  // the visibility switch lies next to it
        __builtin_prefetch(&b);
        __builtin_prefetch(&b.Corners[6]);
        __builtin_prefetch(&b.Center);
      }
      Visit(child(i));
    }
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

}  // namespace gx
