#pragma once
// TGXNode: one node of the engine's transform hierarchy. A node has a name, a parent, ordered
// children and a local transform (position, rotation, scale; local matrix = S * R * T for row
// vectors), and caches the matrices and world values derived from them.
//
// Setters only mark nodes dirty; one Update pass over the tree recomputes what is stale and
// walks only the dirty paths. Marking climbs to the first ancestor that already knows, so it is
// bounded by the depth and happens once per node between updates. A node with many children
// lists the ones that reported a change, so that the pass visits those and not every child (a
// layout root holds thousands of pieces of which a few trains move). World values and matrices are
// valid after an Update that followed the last change; SetWorldPosition/-Rotation/-Scale store
// their world value at once (the matrices still wait for Update).
//
// Ownership: a node owns its children and frees them when it dies; a root belongs to whoever
// created it (typically a std::unique_ptr). A node derives from the reference-counted base for
// its weak references (TGXWeakRef<TGXNode>), but is never held by TGXRef.
//
// Degenerate values: setters accept anything and never raise. NaN and infinite components
// propagate into the local and world matrices and world values; the inverse matrices are always
// finite (identity where no finite inverse exists). A zero scale component gives 0 in the
// matching part of the inverses (the inverse then maps onto the flattened space). A rotation that
// is not a unit quaternion gives the matrix the quaternion formula yields (not a pure rotation)
// and its general inverse. Recursion (Update, FindChild, destruction) is as deep as the tree.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/GXArray.h"
#include "engine/core/GXMath.h"
#include "engine/core/GXMethodList.h"
#include "engine/core/GXRefCounted.h"

namespace gx {

class TGXNode;

// The inverse matrices of a node, made when first asked for after its matrices changed: a frame's
// update never needs them, and most moved nodes are only drawn.
struct TGXNodeInverses {
  TGXMatrix Local, World;
  // The node's matrix revision they were made for (0: none yet).
  uint64_t Revision = 0;
};

// The space in which a translation or rotation is given.
enum class TGXTransformSpace : int { Local = 0, Parent = 1, World = 2 };

using TGXDestroyListeners = TNotifyEventList<TGXNode>;
using TGXDestroyHandler = TGXMethod<TGXNode*>;

class TGXNode : public TGXRefCounted {
 public:
  // Sets the name; with a parent, parent->AddChild(this) (the parent then owns the node).
  explicit TGXNode(std::string name = {}, TGXNode* parent = nullptr);
  // Destroy listeners first (sender = this node), then the node leaves its parent, then its
  // children are freed (each the same way), then the listener list goes.
  ~TGXNode() override;

  // ---- virtual operations, in this order ----

  // Takes ownership of child and appends it; a child of another parent is removed there first,
  // a child of this node moves to the end. The node is invalidated so that the next Update
  // recomputes it and its whole subtree, the new child included. Returns the child.
  // Null, the node itself, one of its ancestors or a node being destroyed raise
  // EInvalidParameter and change nothing.
  virtual TGXNode* AddChild(TGXNode* child);
  // False when child is not a child of this node. Otherwise fast removal (the last child takes
  // its place), the child becomes a root (its world values are recomputed by its next Update)
  // and ownership passes to the caller; this node is invalidated.
  virtual bool RemoveChild(TGXNode* child);
  // Recomputes what is stale in the subtree; Force recomputes every node in it. True when
  // anything in the subtree was recomputed.
  virtual bool Update(bool force = false);

  // ---- tree ----

  template <class T>
  T* AddChild(std::unique_ptr<T> child) {
    AddChild(static_cast<TGXNode*>(child.get()));
    return child.release();
  }
  // Removes and frees every child (the first each time, until none is left).
  void DeleteChildren();
  const std::string& Name() const { return FName; }
  void SetName(std::string name) { FName = std::move(name); }
  TGXNode* Parent() const { return FParent; }
  int ChildCount() const { return FChildren.Count(); }
  // The child at index; a bad index raises the list index error.
  TGXNode* Child(int index) const;
  // The children in order (a view; valid until the children change).
  TGXArrayView<TGXNode> Children() const { return FChildren.View(); }
  // Depth-first, pre-order search of the descendants (not the node itself): for each child in
  // order, the child when its name matches, else the match in its subtree. Case-insensitive
  // comparison folds ASCII and the Latin-1 letters. Null when nothing matches.
  TGXNode* FindChild(std::string_view name, bool caseSensitive = true) const;
  // The node's index among its parent's children (-1 for a root).
  int IndexInParent() const { return FIndexInParent; }

  // ---- local transform ----

  const TGXVector3& Position() const { return FPosition; }
  const TGXQuaternion& Rotation() const { return FRotation; }
  const TGXVector3& Scale() const { return FScale; }
  // No-ops when the value equals the stored one component by component.
  void SetPosition(const TGXVector3& v);
  void SetRotation(const TGXQuaternion& q);
  void SetScale(const TGXVector3& v);
  void ResetPosition() { SetPosition({0, 0, 0}); }
  // Always invalidate.
  void ResetRotation();
  void ResetScale();
  // Sets what is given and always invalidates. A rotation with a pivot is applied as identity
  // followed by RotateAround(rotation, pivot, local); a pivot without a rotation is ignored.
  void SetTransform(const std::optional<TGXVector3>& position = {},
                    const std::optional<TGXQuaternion>& rotation = {},
                    const std::optional<TGXVector3>& scale = {}, const std::optional<TGXVector3>& pivot = {});

  // ---- world transform (the parent's world values must be up to date) ----

  // Stores the world value at once and derives the local one from the parent: the position
  // through the parent's inverse world matrix, the rotation as Q followed by the inverse of
  // the parent's world rotation, the scale divided by the parent's world scale except where
  // that component is zero (kept undivided).
  void SetWorldPosition(const TGXVector3& v);
  void SetWorldRotation(const TGXQuaternion& q);
  void SetWorldScale(const TGXVector3& v);

  // ---- moving and turning ----

  // Local: v rotated by Rotation (the node's own scale is not applied). Parent: v as it is.
  // World: v rotated by the inverse of the parent's world rotation and divided by the parent's
  // world scale (zero components skipped), so the node moves by v in world units; without a
  // parent as Parent. Any other space only invalidates.
  void Translate(const TGXVector3& v, TGXTransformSpace space);
  void Translate(float x, float y, float z, TGXTransformSpace space) { Translate({x, y, z}, space); }
  // RotateAround about the node's own origin.
  void Rotate(const TGXQuaternion& q, TGXTransformSpace space);
  // Turns the node by q about pivot (given in the space): the position moves on the circle
  // around the pivot and the rotation turns by q - local: Rotation := q then Rotation; parent:
  // Rotation then q; world: q applied in world space. Any other space: no change.
  void RotateAround(const TGXQuaternion& q, const TGXVector3& pivot, TGXTransformSpace space);
  // Turns the node so that its +Z axis points at target and its +Y axis lies in the plane of
  // the view direction and up, seen from WorldPosition as last updated. Degenerate input
  // (target at the world position, up parallel to the view direction, non-finite values)
  // changes nothing: the last valid rotation stays.
  void LookAt(const TGXVector3& target, const TGXVector3& up);

  // Space Parent: v * LocalMatrix; World: v * WorldMatrix; otherwise v. The cached matrices are
  // used as they are (Update first after changes). Normal: without the translation.
  TGXVector3 TransformPoint(const TGXVector3& v, TGXTransformSpace space) const;
  TGXVector3 TransformNormal(const TGXVector3& v, TGXTransformSpace space) const;

  // ---- cached values ----

  const TGXMatrix& LocalMatrix() const { return FLocalMatrix; }
  const TGXMatrix& WorldMatrix() const { return FWorldMatrix; }
  // The inverses are made when first asked after the matrices changed, from the node's transform
  // and the parent's inverse as of their last Update: most moved nodes are only drawn.
  const TGXMatrix& InverseLocalMatrix() const { return Inverses().Local; }
  const TGXMatrix& InverseWorldMatrix() const { return Inverses().World; }
  const TGXVector3& WorldPosition() const { return FWorldPosition; }
  const TGXQuaternion& WorldRotation() const { return FWorldRotation; }
  // Changes whenever Update recomputes the node's matrices; unique among all nodes, so a value
  // taken from one node never matches another.
  uint64_t MatrixRevision() const { return FMatrixRevision; }
  const TGXVector3& WorldScale() const { return FWorldScale; }

  // ---- invalidation ----

  bool Dirty() const { return FDirty; }
  bool ChildDirty() const { return FChildDirty; }
  bool ParentNotified() const { return FParentNotified; }
  // Marks this node dirty and, once, its ancestors as having a dirty descendant.
  void Invalidate();
  // Marks this node as having a dirty descendant; stops where the path is already marked.
  void MarkChildDirty();

  // ---- destruction ----

  // The handler is called with this node as sender when the node is destroyed. Duplicates are
  // ignored. A listener that dies before the node must remove itself; listeners must not throw
  // (they run in the destructor).
  void AddDestroyListener(const TGXDestroyHandler& handler);
  void RemoveDestroyListener(const TGXMethodKey& key);
  bool Destroying() const { return FDestroying; }

 protected:
  // The update without forgetting the reported children: a derived Update reads them after it
  // (ChangedChildren) and then calls ForgetChangedChildren. Full is set when every child was
  // walked (the node itself changed, force, or too many reports to list).
  bool UpdateNode(bool force, bool& full);
  // The children that reported a change and were updated by the last UpdateNode that was not
  // full, in report order; an entry is null for a child removed since. Valid until
  // ForgetChangedChildren.
  const std::vector<TGXNode*>& ChangedChildren() const { return FReported; }
  void ForgetChangedChildren();
  // Whether the node has enough children to list the ones that report (else every update that
  // reaches it walks all children).
  bool ListsReports() const { return FListsReports; }

  // Calls the destroy listeners, once. A derived class whose listeners must still see it whole
  // calls this first in its destructor; ~TGXNode calls it in any case.
  void BeforeDestruction();

 private:
  void RecomputeMatrices();
  const TGXNodeInverses& Inverses() const {
    if (!FInverses || FInverses->Revision != FMatrixRevision) MakeInverses();
    return *FInverses;
  }
  void MakeInverses() const;
  // Puts child on the list of reported children, or gives the list up for a full walk.
  void NoteReport(TGXNode* child);
  bool Listed(const TGXNode* child) const;

  // Laid out for the update pass: what it reads and writes of every node it walks comes first
  // and together (flags, children, matrices, transform and world values); what only edits,
  // look-ups and reports need comes last.
  TGXNode* FParent = nullptr;
  // Held in the node: the walk goes from a node to its children without another look-up.
  TGXArrayOf<TGXNode> FChildren;
  bool FDirty = false;
  bool FChildDirty = false;
  bool FParentNotified = false;
  bool FDestroying = false;
  // True when the node has enough children to list the reported ones.
  bool FListsReports = false;
  // True when the reports are not listed and the next update walks every child.
  bool FReportedAll = false;
  int FIndexInParent = -1;
  // Where this node stands in its parent's FReported, or -1.
  int FReportSlot = -1;
  uint64_t FMatrixRevision;
  TGXMatrix FLocalMatrix;
  TGXMatrix FWorldMatrix;
  TGXVector3 FWorldPosition{0, 0, 0};
  TGXQuaternion FWorldRotation;
  TGXVector3 FWorldScale{1, 1, 1};
  TGXVector3 FPosition{0, 0, 0};
  TGXQuaternion FRotation;
  TGXVector3 FScale{1, 1, 1};
  // The rotation and scale the local matrix was last made of (its translation is its last row):
  // the inverse is made of the same values, however the transform changed since.
  TGXQuaternion FLocalRotation;
  TGXVector3 FLocalScale{1, 1, 1};
  mutable std::unique_ptr<TGXNodeInverses> FInverses;
  std::vector<TGXNode*> FReported;
  std::string FName;
  std::unique_ptr<TGXDestroyListeners> FDestroyListeners;
};

}  // namespace gx
