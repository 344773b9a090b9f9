#include "engine/core/GXSceneNode.h"

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
    throw EInvalidParameter(
        {TGXExceptionArg::Object("TGXSceneNode"), "AddChild", child ? "Child is not a scene node" : "No child"});
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

void TGXSceneNode::UpdateBounds() {
  const TGXMatrix& world = WorldMatrix();
  FLocalBounds = TGXBoundingBox();
  for (TGXSceneObject* object : FObjects) {
    if (object->FVisible) MergeBox(FLocalBounds, object->FLocalBounds);
    object->FWorldBounds = TransformBox(object->FLocalBounds, world);
  }
  for (TGXNode* node : Children()) {
    const auto* child = static_cast<const TGXSceneNode*>(node);
    if (child->FVisible) MergeBox(FLocalBounds, TransformBox(child->FLocalBounds, child->LocalMatrix()));
  }
  FWorldBounds = TransformBox(FLocalBounds, world);
}

}  // namespace gx
