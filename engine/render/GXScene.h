#pragma once
// TGXScene: a tree of scene nodes under a root named "Root". Objects attached to the nodes are
// what the renderer draws and what ray picks hit.
//
// Picking walks the tree and prunes with the nodes' world bounds: a subtree is skipped when the
// node is invisible, its bounds are empty, the ray misses its bounds, or its bounds begin farther
// away than the best hit so far. Nodes that are not render-enabled are still picked. Each object
// tests the ray in its node's space (TGXSceneObject::RayIntersect); the nearest hit wins.

#include <functional>
#include <memory>
#include <string_view>

#include "engine/core/GXMath.h"
#include "engine/core/GXSceneNode.h"

namespace gx {

struct TGXPickResult {
  // The object hit, or null.
  TGXSceneObject* Object = nullptr;
  // Where the ray meets it and the surface normal there, in world space.
  TGXVector3 Hit;
  TGXVector3 Normal;
};

// Decides for each node a pick reaches whether it takes part: false leaves the node out with its
// whole subtree.
using TGXPickFilter = std::function<bool(const TGXSceneNode& node)>;

class TGXScene {
 public:
  TGXScene();
  TGXScene(const TGXScene&) = delete;
  TGXScene& operator=(const TGXScene&) = delete;
  // Frees the root and with it the whole tree.
  ~TGXScene();

  TGXSceneNode* Root() const { return FRoot.get(); }
  // The root when its name equals name exactly, otherwise the root's first descendant of that
  // name (case-sensitive, depth first), or null.
  TGXSceneNode* FindNode(std::string_view name) const;
  // The nearest hit of the world-space ray (any direction length) on a visible object. Brings the
  // scene's transforms and bounds up to date first.
  TGXPickResult Pick(const TGXVector3& origin, const TGXVector3& direction);
  // The same pick limited to node and its subtree (the editing tools aim at one entity). The
  // scene's transforms are brought up to date first; a null node hits nothing.
  TGXPickResult Pick(TGXSceneNode* node, const TGXVector3& origin, const TGXVector3& direction);
  // The same pick over the nodes the filter lets through (one walk instead of one per subtree).
  TGXPickResult Pick(TGXSceneNode* node, const TGXVector3& origin, const TGXVector3& direction,
                     const TGXPickFilter& filter);

 private:
  std::unique_ptr<TGXSceneNode> FRoot;
};

}  // namespace gx
