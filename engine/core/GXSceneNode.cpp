#include "engine/core/GXSceneNode.h"

#include <optional>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "engine/core/GXException.h"

namespace gx {

// ---- TGXSceneObject ----

TGXSceneObject::~TGXSceneObject() {
  if (FNode) {
    TGXSceneNode* node = FNode;
    FNode = nullptr;
    node->FObjects.Remove(this, true);
    if (!node->Destroying()) node->ObjectsChanged();
  }
}

void TGXSceneObject::SetVisible(bool value) {
  if (value == FVisible) return;
  FVisible = value;
  if (FNode) FNode->ObjectsChanged();
}

void TGXSceneObject::SetLocalBounds(const TGXBoundingBox& box) {
  FLocalBounds = box;
  BoundsChanged();
}

void TGXSceneObject::BoundsChanged() {
  FWorldBoundsAt = 0;
  if (FNode) FNode->ObjectsChanged();
}

bool TGXSceneObject::RayIntersect(const TGXVector3& origin, const TGXVector3& direction, TGXVector3& normal,
                                  TGXVector3& hit) {
  if (!FVisible) return false;
  const std::optional<TGXRayHit> h = RayBox(FLocalBounds, origin, direction);
  if (!h) return false;
  normal = h->Normal;
  hit = h->Point;
  return true;
}

// ---- TGXSceneNode ----

TGXSceneNode::TGXSceneNode(std::string name, TGXNode* parent) : TGXNode(std::move(name), nullptr) {
  // Added only now: the parent's AddChild needs the complete scene node.
  if (parent) parent->AddChild(this);
}

TGXSceneNode::~TGXSceneNode() {
  BeforeDestruction();
  DestroyObjects();
  // Leave the parent while still a scene node, so that its RemoveChild sees one.
  if (TGXNode* parent = Parent()) {
    parent->RemoveChild(this);
    if (Parent()) parent->TGXNode::RemoveChild(this);
  }
}

TGXNode* TGXSceneNode::AddChild(TGXNode* child) {
  auto* sceneChild = dynamic_cast<TGXSceneNode*>(child);
  if (!sceneChild)
    throw EInvalidParameter({TGXExceptionArg::Object("TGXSceneNode"), "AddChild",
                             child ? "Child is not a scene node" : "No child"});
  TGXNode::AddChild(child);
  sceneChild->AssignScene(FScene);
  return child;
}

bool TGXSceneNode::RemoveChild(TGXNode* child) {
  if (!TGXNode::RemoveChild(child)) return false;
  if (auto* sceneChild = dynamic_cast<TGXSceneNode*>(child)) sceneChild->AssignScene(nullptr);
  return true;
}

bool TGXSceneNode::Update(bool force) {
  bool full = false;
  const bool changed = UpdateNode(force, full);
  if (changed) {
    if (full || !ListsReports() || FChildLocal.size() != size_t(ChildCount()))
      UpdateBounds();
    else
      UpdateChangedBounds();
  }
  ForgetChangedChildren();
  return changed;
}

void TGXSceneNode::SetScene(TGXScene* scene) {
  if (dynamic_cast<TGXSceneNode*>(Parent()))
    throw EInvalidCall({TGXExceptionArg::Object("TGXSceneNode"), "SetScene", "Node has a parent"});
  AssignScene(scene);
}

void TGXSceneNode::AssignScene(TGXScene* scene) {
  // Children always share their parent's scene, so an equal scene here means the same below.
  if (FScene == scene) return;
  FScene = scene;
  for (TGXNode* child : Children()) static_cast<TGXSceneNode*>(child)->AssignScene(scene);
}

void TGXSceneNode::AttachObject(TGXSceneObject* object) {
  if (!object)
    throw EInvalidParameter({TGXExceptionArg::Object("TGXSceneNode"), "AttachObject", "No object"});
  if (Destroying())
    throw EInvalidCall({TGXExceptionArg::Object("TGXSceneNode"), "AttachObject", "Node is being destroyed"});
  // The new reference first: the old node may hold the only one.
  object->AddRef();
  if (object->FNode) object->FNode->DetachObject(object);
  FObjects.Add(object);
  object->FNode = this;
  ObjectsChanged();
}

bool TGXSceneNode::DetachObject(TGXSceneObject* object) {
  if (!object || object->FNode != this) return false;
  FObjects.Remove(object, true);
  object->WorldBounds();  // a detached object keeps the box it had here
  object->FNode = nullptr;
  if (!Destroying()) ObjectsChanged();
  object->Release();
  return true;
}

void TGXSceneNode::DestroyObjects() {
  // Take the array first: an object's destructor may run code that looks at this node.
  TGXArrayOf<TGXSceneObject> objects(std::move(FObjects));
  for (TGXSceneObject* object : objects) {
    object->WorldBounds();  // kept by an object that outlives the node
    object->FNode = nullptr;
  }
  for (TGXSceneObject* object : objects) object->Release();
  if (objects.Count() > 0 && !Destroying()) ObjectsChanged();
}

void TGXSceneNode::SetRenderEnabled(bool value) {
  FRenderEnabled = value;
  // No invalidation: the switch does not change bounds, so the parent's copy is written here.
  auto* parent = dynamic_cast<TGXSceneNode*>(Parent());
  if (!parent || parent->Destroying()) return;
  const size_t i = size_t(IndexInParent());
  if (i < parent->FChildExtents.size() && parent->FChildExtents.size() == size_t(parent->ChildCount()))
    parent->FChildExtents[i].Drawn = value;
}

void TGXSceneNode::SetVisible(bool value) {
  if (value == FVisible) return;
  FVisible = value;
  Invalidate();
}

namespace {

// A box being grown from min/max pairs; turned into a TGXBoundingBox once at the end, so the
// eight corners are written once per box instead of once per merge.
struct TExtent {
  bool Empty = true;
  TGXVector3 Min, Max;

  void Merge(const TGXVector3& mn, const TGXVector3& mx) {
    if (Empty) {
      Min = mn;
      Max = mx;
      Empty = false;
      return;
    }
    Min = GXVec3Minimize(Min, mn);
    Max = GXVec3Maximize(Max, mx);
  }
};

// The axis-aligned box around the eight corners of mn .. mx carried by m, for matrices whose last
// column is (0, 0, 0, 1) - all node matrices. Per output axis the smaller and the larger product
// of each input axis are summed in the order the point transform uses, so the result equals the
// minimum and maximum over the carried corners that TransformBox finds.
inline void CarryExtent(TGXVector3& outMin, TGXVector3& outMax, const TGXVector3& mn, const TGXVector3& mx,
                        const TGXMatrix& m) {
  float lo[4], hi[4];
#if defined(__SSE__)
  // Whole matrix rows of four at a time; the fourth lane is carried along and dropped.
  __m128 l, h;
  {
    const __m128 row = _mm_loadu_ps(m.m[0]);
    const __m128 a = _mm_mul_ps(_mm_set1_ps(mn.x), row), b = _mm_mul_ps(_mm_set1_ps(mx.x), row);
    l = _mm_min_ps(a, b);
    h = _mm_max_ps(a, b);
  }
  {
    const __m128 row = _mm_loadu_ps(m.m[1]);
    const __m128 a = _mm_mul_ps(_mm_set1_ps(mn.y), row), b = _mm_mul_ps(_mm_set1_ps(mx.y), row);
    l = _mm_add_ps(l, _mm_min_ps(a, b));
    h = _mm_add_ps(h, _mm_max_ps(a, b));
  }
  {
    const __m128 row = _mm_loadu_ps(m.m[2]);
    const __m128 a = _mm_mul_ps(_mm_set1_ps(mn.z), row), b = _mm_mul_ps(_mm_set1_ps(mx.z), row);
    l = _mm_add_ps(l, _mm_min_ps(a, b));
    h = _mm_add_ps(h, _mm_max_ps(a, b));
  }
  const __m128 row3 = _mm_loadu_ps(m.m[3]);
  _mm_storeu_ps(lo, _mm_add_ps(l, row3));
  _mm_storeu_ps(hi, _mm_add_ps(h, row3));
#else
  const float in[2][3] = {{mn.x, mn.y, mn.z}, {mx.x, mx.y, mx.z}};
  for (int j = 0; j < 3; ++j) {
    lo[j] = hi[j] = 0;
    for (int i = 0; i < 3; ++i) {
      const float a = in[0][i] * m.m[i][j], b = in[1][i] * m.m[i][j];
      lo[j] = i == 0 ? (a < b ? a : b) : lo[j] + (a < b ? a : b);
      hi[j] = i == 0 ? (a < b ? b : a) : hi[j] + (a < b ? b : a);
    }
    lo[j] += m.m[3][j];
    hi[j] += m.m[3][j];
  }
#endif
  outMin = {lo[0], lo[1], lo[2]};
  outMax = {hi[0], hi[1], hi[2]};
}

}  // namespace

namespace {

// A child's boxes as its parent keeps them: the world box for the walks and the local box carried
// into the parent's space for the parent's bounds.
void KeepChildBounds(const TGXSceneNode& child, TGXChildExtent& world, TGXChildExtent& local,
                     uint64_t& revision) {
  revision = child.MatrixRevision();
  world.Drawn = child.RenderEnabled();
  world.Usable = child.Visible() && !child.WorldBounds().Empty;
  if (world.Usable) {
    const TGXVector3& cmin = child.WorldBounds().Min();
    const TGXVector3& cmax = child.WorldBounds().Max();
    world.Min[0] = cmin.x, world.Min[1] = cmin.y, world.Min[2] = cmin.z;
    world.Max[0] = cmax.x, world.Max[1] = cmax.y, world.Max[2] = cmax.z;
  }
  local.Usable = child.Visible() && !child.LocalBounds().Empty;
  if (local.Usable) {
    TGXVector3 mn, mx;
    CarryExtent(mn, mx, child.LocalBounds().Min(), child.LocalBounds().Max(), child.LocalMatrix());
    local.Min[0] = mn.x, local.Min[1] = mn.y, local.Min[2] = mn.z;
    local.Max[0] = mx.x, local.Max[1] = mx.y, local.Max[2] = mx.z;
  }
}

}  // namespace

void TGXSceneNode::ObjectsChanged() {
  FObjectsChanged = true;
  Invalidate();
}

void TGXSceneNode::UpdateBounds() {
  const TGXMatrix& world = WorldMatrix();
  TGXVector3 mn, mx;
  if (FObjectsChanged) {
    // The objects' own world boxes are carried when asked for (TGXSceneObject::WorldBounds).
    FObjectsChanged = false;
    TExtent objects;
    for (TGXSceneObject* object : FObjects) {
      const TGXBoundingBox& box = object->FLocalBounds;
      if (object->FVisible && !box.Empty) objects.Merge(box.Min(), box.Max());
    }
    FObjectsLocal.Usable = !objects.Empty;
    if (!objects.Empty) {
      FObjectsLocal.Min[0] = objects.Min.x, FObjectsLocal.Min[1] = objects.Min.y, FObjectsLocal.Min[2] = objects.Min.z;
      FObjectsLocal.Max[0] = objects.Max.x, FObjectsLocal.Max[1] = objects.Max.y, FObjectsLocal.Max[2] = objects.Max.z;
    }
  }
  TExtent local;
  if (FObjectsLocal.Usable)
    local.Merge({FObjectsLocal.Min[0], FObjectsLocal.Min[1], FObjectsLocal.Min[2]},
                {FObjectsLocal.Max[0], FObjectsLocal.Max[1], FObjectsLocal.Max[2]});
  const TGXArrayView<TGXNode> children = Children();
  FChildExtents.resize(children.size());
  FChildRevisions.resize(children.size());
  if (ListsReports()) {
    FChildLocal.resize(children.size());
    for (int i = 0; i < int(children.size()); ++i)
      KeepChildBounds(*static_cast<const TGXSceneNode*>(children[i]), FChildExtents[size_t(i)],
                      FChildLocal[size_t(i)], FChildRevisions[size_t(i)]);
    MergeKeptBounds();
    return;
  }
  // Few children: always updated together, so their local boxes are merged and not kept.
  FChildLocal.clear();
  TGXChildExtent carried;
  for (int i = 0; i < int(children.size()); ++i) {
    KeepChildBounds(*static_cast<const TGXSceneNode*>(children[i]), FChildExtents[size_t(i)], carried,
                    FChildRevisions[size_t(i)]);
    if (carried.Usable)
      local.Merge({carried.Min[0], carried.Min[1], carried.Min[2]}, {carried.Max[0], carried.Max[1], carried.Max[2]});
  }
  if (local.Empty) {
    FLocalBounds = TGXBoundingBox();
    FWorldBounds = TGXBoundingBox();
    return;
  }
  FillBoxCorners(FLocalBounds, local.Min, local.Max);
  CarryExtent(mn, mx, local.Min, local.Max, world);
  FillBoxCorners(FWorldBounds, mn, mx);
}

void TGXSceneNode::UpdateChangedBounds() {
  // This node and its objects did not change (else the update was full): only the boxes of the
  // children that were updated are taken anew.
  for (TGXNode* node : ChangedChildren()) {
    if (!node) continue;
    const auto* child = static_cast<const TGXSceneNode*>(node);
    const size_t i = size_t(child->IndexInParent());
    KeepChildBounds(*child, FChildExtents[i], FChildLocal[i], FChildRevisions[i]);
  }
  MergeKeptBounds();
}

void TGXSceneNode::MergeKeptBounds() {
  // Min/max over a packed array: the children's own memory is not touched.
  float lo[3], hi[3];
  bool any = FObjectsLocal.Usable;
  for (int j = 0; j < 3; ++j) lo[j] = FObjectsLocal.Min[j], hi[j] = FObjectsLocal.Max[j];
  for (const TGXChildExtent& e : FChildLocal) {
    if (!e.Usable) continue;
    if (!any) {
      for (int j = 0; j < 3; ++j) lo[j] = e.Min[j], hi[j] = e.Max[j];
      any = true;
      continue;
    }
    for (int j = 0; j < 3; ++j) {
      // In the order of GXVec3Minimize(accumulated, next), so NaNs go where they always went.
      lo[j] = lo[j] < e.Min[j] ? lo[j] : e.Min[j];
      hi[j] = hi[j] > e.Max[j] ? hi[j] : e.Max[j];
    }
  }
  if (!any) {
    FLocalBounds = TGXBoundingBox();
    FWorldBounds = TGXBoundingBox();
    return;
  }
  const TGXVector3 mn{lo[0], lo[1], lo[2]}, mx{hi[0], hi[1], hi[2]};
  FillBoxCorners(FLocalBounds, mn, mx);
  TGXVector3 wmn, wmx;
  CarryExtent(wmn, wmx, mn, mx, WorldMatrix());
  FillBoxCorners(FWorldBounds, wmn, wmx);
}

const TGXBoundingBox& TGXSceneObject::WorldBounds() const {
  if (FNode && FWorldBoundsAt != FNode->MatrixRevision()) {
    FWorldBoundsAt = FNode->MatrixRevision();
    if (FLocalBounds.Empty) {
      FWorldBounds = TGXBoundingBox();
    } else {
      TGXVector3 mn, mx;
      CarryExtent(mn, mx, FLocalBounds.Min(), FLocalBounds.Max(), FNode->WorldMatrix());
      FillBoxCorners(FWorldBounds, mn, mx);
    }
  }
  return FWorldBounds;
}

}  // namespace gx
