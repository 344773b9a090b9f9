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
    if (!node->Destroying()) node->Invalidate();
  }
}

void TGXSceneObject::SetVisible(bool value) {
  if (value == FVisible) return;
  FVisible = value;
  if (FNode) FNode->Invalidate();
}

void TGXSceneObject::SetLocalBounds(const TGXBoundingBox& box) {
  FLocalBounds = box;
  BoundsChanged();
}

void TGXSceneObject::BoundsChanged() {
  if (FNode) FNode->Invalidate();
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
  if (!TGXNode::Update(force)) return false;
  UpdateBounds();
  return true;
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
  Invalidate();
}

bool TGXSceneNode::DetachObject(TGXSceneObject* object) {
  if (!object || object->FNode != this) return false;
  FObjects.Remove(object, true);
  object->FNode = nullptr;
  if (!Destroying()) Invalidate();
  object->Release();
  return true;
}

void TGXSceneNode::DestroyObjects() {
  // Take the array first: an object's destructor may run code that looks at this node.
  TGXArrayOf<TGXSceneObject> objects(std::move(FObjects));
  for (TGXSceneObject* object : objects) object->FNode = nullptr;
  for (TGXSceneObject* object : objects) object->Release();
  if (objects.Count() > 0 && !Destroying()) Invalidate();
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

void TGXSceneNode::UpdateBounds() {
  const TGXMatrix& world = WorldMatrix();
  TExtent local;
  TGXVector3 mn, mx;
  for (TGXSceneObject* object : FObjects) {
    const TGXBoundingBox& box = object->FLocalBounds;
    if (box.Empty) {
      object->FWorldBounds = TGXBoundingBox();
      continue;
    }
    if (object->FVisible) local.Merge(box.Min(), box.Max());
    CarryExtent(mn, mx, box.Min(), box.Max(), world);
    FillBoxCorners(object->FWorldBounds, mn, mx);
  }
  const TGXArrayView<TGXNode> children = Children();
  FChildExtents.resize(children.size());
  TGXChildExtent* extent = FChildExtents.data();
  for (TGXNode* node : children) {
    const auto* child = static_cast<const TGXSceneNode*>(node);
    TGXChildExtent& e = *extent++;
    e.Usable = child->FVisible && !child->FWorldBounds.Empty;
    if (e.Usable) {
      const TGXVector3& cmin = child->FWorldBounds.Corners[0];
      const TGXVector3& cmax = child->FWorldBounds.Corners[6];
      e.Min[0] = cmin.x, e.Min[1] = cmin.y, e.Min[2] = cmin.z;
      e.Max[0] = cmax.x, e.Max[1] = cmax.y, e.Max[2] = cmax.z;
    }
    if (!child->FVisible || child->FLocalBounds.Empty) continue;
    CarryExtent(mn, mx, child->FLocalBounds.Min(), child->FLocalBounds.Max(), child->LocalMatrix());
    local.Merge(mn, mx);
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

}  // namespace gx
