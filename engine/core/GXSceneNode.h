#pragma once
// TGXSceneNode: a node with what the renderer needs - the scene it belongs to, the scene objects
// attached to it, the bounding boxes of its whole subtree and two visibility switches.
// TGXSceneObject: the attachment side of the drawable and pickable contents; the render layer
// derives the concrete objects from it.
//
// Bounds: a node's LocalBounds (in its own space) is the union of its visible objects' boxes and
// of its visible children's LocalBounds carried through their LocalMatrix; WorldBounds is
// LocalBounds carried through WorldMatrix (the axis-aligned box around the eight carried
// corners). Update recomputes them for every node whose subtree changed, children before parents;
// a node keeps its children's boxes, so when only some children changed it takes only theirs.
// Invisible objects and invisible children (with their subtrees) are left out; RenderEnabled has
// no influence on bounds. Attaching, detaching, a change of visibility and BoundsChanged
// invalidate the node, so the next Update brings its bounds and its ancestors' up to date.
//
// Ownership: a node holds one reference to each attached object. Detaching drops it (hold a
// TGXRef to keep a detached object alive); destroying the node clears each object's Node and
// drops its reference. An object whose last reference goes while it is attached detaches itself.
//
// Scene: every node of a subtree belongs to the scene of its root. Adding a subtree under a node
// gives all of it that node's scene, removing it clears the scene of all of it.

#include <cstdint>
#include <vector>
#include <string>

#include "engine/core/GXArray.h"
#include "engine/core/GXGeometry.h"
#include "engine/core/GXNode.h"
#include "engine/core/GXRefCounted.h"

namespace gx {

class TGXScene;
class TGXSceneNode;
// Render-layer classes the object's hooks name; they are defined above this layer.
class TGXSceneCamera;
class TGXRenderQueue;

class TGXSceneObject : public TGXRefCounted {
 public:
  TGXSceneObject() = default;

  // The node the object is attached to, or null.
  TGXSceneNode* Node() const { return FNode; }
  // In the node's space; kept by the concrete object.
  const TGXBoundingBox& LocalBounds() const { return FLocalBounds; }
  // LocalBounds carried into world space by the node's world matrix as of its last update
  // (visible or not). Carried when asked after the matrix changed, so a moving node does not
  // touch its objects every frame; a detached object keeps the last box.
  const TGXBoundingBox& WorldBounds() const;
  bool Visible() const { return FVisible; }
  // Invalidates the node when the value changes.
  void SetVisible(bool value);
  // Stores the box and reports the change to the node.
  void SetLocalBounds(const TGXBoundingBox& box);
  // Tells the node that LocalBounds changed, so the next Update recomputes the bounds.
  void BoundsChanged();

  // ---- hooks for the concrete objects, in this order ----

  // The ray (origin, direction) in the node's local space: true with the hit point and the
  // surface normal there. The base tests LocalBounds when the object is visible (a ray that
  // starts inside the box or points away from it hits nothing).
  virtual bool RayIntersect(const TGXVector3& origin, const TGXVector3& direction, TGXVector3& normal,
                            TGXVector3& hit);
  // Hands the object's render primitives to the queue when the camera sees it; the base has none.
  virtual void AddToRenderQueue(TGXSceneCamera* camera, TGXRenderQueue* queue) {}

 protected:
  // Detaches the object from its node when it dies while still attached.
  ~TGXSceneObject() override;

 private:
  friend class TGXSceneNode;
  // FVisible sits next to the start of FLocalBounds: the bounds update reads both together.
  TGXSceneNode* FNode = nullptr;
  bool FVisible = true;
  TGXBoundingBox FLocalBounds;
  mutable TGXBoundingBox FWorldBounds;
  // The node's matrix revision FWorldBounds was carried with (0: carry again).
  mutable uint64_t FWorldBoundsAt = 0;
};

// A child's world box as the parent last saw it in UpdateBounds, packed small. Usable is false
// for an invisible child or one with empty bounds (such children are skipped by every walk).
// Drawn is the child's RenderEnabled, kept current by SetRenderEnabled, so the render collector
// passes over a switched-off child without touching its memory.
struct TGXChildExtent {
  float Min[3];
  float Max[3];
  bool Usable;
  bool Drawn;
};

class TGXSceneNode : public TGXNode {
 public:
  // With a parent, parent->AddChild(this) once the scene node is complete.
  explicit TGXSceneNode(std::string name = {}, TGXNode* parent = nullptr);
  // Destroy listeners, then the attached objects (Node cleared, reference dropped), then as a
  // node: leaves the parent, frees the children.
  ~TGXSceneNode() override;

  // The child must be a TGXSceneNode (EInvalidParameter otherwise, nothing changed); the whole
  // added subtree takes this node's scene.
  TGXNode* AddChild(TGXNode* child) override;
  using TGXNode::AddChild;
  // The removed subtree leaves the scene.
  bool RemoveChild(TGXNode* child) override;
  // The node update, then UpdateBounds when anything in the subtree was recomputed.
  bool Update(bool force = false) override;

  TGXScene* Scene() const { return FScene; }
  // Gives the node and its subtree a scene. Only for a node without a scene-node parent (the
  // root of a scene): others take their parent's scene, and raise EInvalidCall here.
  void SetScene(TGXScene* scene);

  const TGXArrayOf<TGXSceneObject>& Objects() const { return FObjects; }
  int ObjectCount() const { return FObjects.Count(); }
  // Detaches the object from its previous node, appends it, takes a reference and invalidates
  // this node. Null or a node being destroyed raise EInvalidParameter / EInvalidCall.
  void AttachObject(TGXSceneObject* object);
  // False when the object is not attached here. Otherwise fast removal, Node cleared, this node
  // invalidated, and the node's reference dropped (which frees an object nobody else holds).
  bool DetachObject(TGXSceneObject* object);
  // For every object: Node cleared, reference dropped; then the array is emptied.
  void DestroyObjects();

  const TGXBoundingBox& LocalBounds() const { return FLocalBounds; }
  const TGXBoundingBox& WorldBounds() const { return FWorldBounds; }
  // An invisible node and its subtree are left out of bounds, picking and rendering.
  bool Visible() const { return FVisible; }
  void SetVisible(bool value);
  // When false the subtree is not drawn but still counts for bounds and picking. The value is
  // also written into the parent's packed copy (ChildExtents) while that is current.
  bool RenderEnabled() const { return FRenderEnabled; }
  void SetRenderEnabled(bool value);

  // Recomputes LocalBounds and WorldBounds from the objects and the children's LocalBounds, and
  // every object's WorldBounds. Uses the cached matrices as they are.
  void UpdateBounds();

  // The children's world boxes in child order, refreshed by UpdateBounds. Ray and frustum walks
  // over a node with many children test this contiguous copy first and touch a child's own
  // memory only when its box may matter. Valid after Update; its size equals ChildCount then.
  const std::vector<TGXChildExtent>& ChildExtents() const { return FChildExtents; }
  // The children's MatrixRevision as of the same step, in child order: whoever keeps values
  // derived from many children's matrices sees which children moved without visiting them.
  const std::vector<uint64_t>& ChildRevisions() const { return FChildRevisions; }

 private:
  friend class TGXSceneObject;
  void AssignScene(TGXScene* scene);
  void UpdateChangedBounds();
  void MergeKeptBounds();
  void ObjectsChanged();

  // FVisible before the box: a parent's bounds step reads both for every child.
  bool FVisible = true;
  bool FRenderEnabled = true;
  TGXBoundingBox FLocalBounds;
  TGXArrayOf<TGXSceneObject> FObjects;
  TGXScene* FScene = nullptr;
  TGXBoundingBox FWorldBounds;
  std::vector<TGXChildExtent> FChildExtents;
  std::vector<uint64_t> FChildRevisions;
  // The children's LocalBounds carried into this node's space, in child order, and the union of
  // the visible objects' boxes: an update in which only a few of many children moved takes
  // those anew and merges the rest as they are.
  std::vector<TGXChildExtent> FChildLocal;
  TGXChildExtent FObjectsLocal{};
  // Set by every change of the objects (attached, detached, visibility, bounds): FObjectsLocal
  // is merged anew only then, not for every move.
  bool FObjectsChanged = true;
};

}  // namespace gx
