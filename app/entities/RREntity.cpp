#include "app/entities/RREntity.h"

#include <atomic>

#include "app/entities/RREntityDescription.h"
#include "app/entities/RREntityRegistry.h"

namespace rr {

// ---- class records ----

bool TRREntityClass::InheritsFrom(const TRREntityClass& other) const {
  for (const TRREntityClass* c = this; c; c = c->Parent)
    if (c == &other) return true;
  return false;
}

TRREntity* TRREntityClass::Create(gx::TGXNode* parent, IRREntityManager* manager,
                                  const TRREntityDescription& description) const {
  TRREntity* entity = Construct(parent, manager, description);
  try {
    entity->AfterConstruction();
  } catch (...) {
    delete entity;  // leaves its parent and unregisters if it got that far
    throw;
  }
  return entity;
}

const TRREntityClass& TRREntity::StaticClass() {
  static const TRREntityClass info{"TRREntity", nullptr,
                                   [](gx::TGXNode* parent, IRREntityManager* manager,
                                      const TRREntityDescription& description) -> TRREntity* {
                                     return new TRREntity(parent, manager, description);
                                   }};
  return info;
}

// ---- lifetime ----

TRREntity::TRREntity(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description)
    : gx::TGXSceneNode({}, parent), FAssetID(description.AssetID()), FManager(manager), FID(description.ID()) {
  SetName(description.Name().GetText());
  FDescriptionText = description.Description().GetText();
  FLocked = description.Locked();
  FPivot = description.Pivot();
  SetPosition(description.Position());
  SetRotation(description.Rotation());
  SetScale(description.Scale());
  FLinkTarget = description.LinkTarget();
  FLinkOffset = description.LinkOffset();
  FLinkRotation = description.LinkRotation();
}

TRREntity::~TRREntity() {
  FDestroying = true;
  if (FRegistered && FManager) FManager->UnregisterEntity(this);
  FreeSelectionBorders();
}

void TRREntity::SetName(std::string name) {
  if (name == Name()) return;
  std::string old = Name();
  gx::TGXNode::SetName(std::move(name));
  if (FRegistered && FManager) FManager->EntityRenamed(this, old);
}

void TRREntity::AfterConstruction() {
  if (!FManager || FRegistered) return;
  FManager->RegisterEntity(this);
  FRegistered = true;
  FManager->EntityCreated(this);
}

// ---- virtual operations ----

void TRREntity::Animate(bool animationsOn, float deltaTime) {
  if (FLinkTarget == 0 || !FManager) return;
  TRREntity* target = FManager->FindByID(FLinkTarget);
  if (!target) return;
  target->Update(false);
  SetWorldPosition(target->WorldPosition() + gx::GXVec3TransformNormal(FLinkOffset, target->WorldMatrix()));
  SetWorldRotation(gx::GXQuaternionMultiply(FLinkRotation, target->WorldRotation()));
}

void TRREntity::CreateSelectionBorder() {
  if (!FManager) return;
  if (auto box = FManager->CreateSelectionBox(this)) FSelectionBorders.push_back(std::move(box));
}

bool TRREntity::CanDelete(std::string& reason) const {
  reason.clear();
  return true;
}

std::unique_ptr<TRREntityDescription> TRREntity::CreateDescription() const {
  const TRRRegisteredEntity* entry = RegisteredEntities().FindByEntityClass(GetClass());
  if (!entry) throw EUnknownEntityClass(std::string("Unknown entity class: ") + GetClass().Name);
  std::unique_ptr<TRREntityDescription> d = entry->DescriptionClass->Create();
  d->SetAssetID(FAssetID);
  d->SetID(FID);
  d->Name().SetUserText(Name());
  d->Description().SetUserText(FDescriptionText);
  d->SetLocked(FLocked);
  d->SetPivot(FPivot);
  d->SetPosition(Position());
  d->SetRotation(Rotation());
  d->SetScale(Scale());
  d->SetLinkTarget(FLinkTarget);
  d->SetLinkOffset(FLinkOffset);
  d->SetLinkRotation(FLinkRotation);
  for (TRREntity* child : ChildEntities()) d->AddChild(child->CreateDescription());
  return d;
}

bool TRREntity::Snap(bool& snapped, gx::TGXVector3& position, gx::TGXQuaternion& rotation) {
  snapped = false;
  return true;
}

void TRREntity::Relink() {
  if (FManager) SetLinkTarget(FManager->FindByID(FLinkTarget));
  for (TRREntity* child : ChildEntities()) child->Relink();
}

namespace {
std::atomic<uint64_t> SelectionChanges{0};
}  // namespace

uint64_t RREntitySelectionChanges() { return SelectionChanges.load(std::memory_order_relaxed); }

void TRREntity::Select() {
  SelectionChanges.fetch_add(1, std::memory_order_relaxed);
  FSelected = true;
  if (FManager && FManager->ShowSelectionBorders()) CreateSelectionBorder();
}

void TRREntity::Deselect() {
  SelectionChanges.fetch_add(1, std::memory_order_relaxed);
  FreeSelectionBorders();
  FSelected = false;
}

void TRREntity::FreeSelectionBorders() {
  auto borders = std::move(FSelectionBorders);
  FSelectionBorders.clear();
  for (auto& b : borders)
    if (gx::TGXSceneNode* node = b->Node()) node->DetachObject(b.Get());
}

bool TRREntity::HitTest(const gx::TGXFrustum& volume) {
  if (!Visible()) return false;
  return gx::FrustumIntersectsOrientedBox(volume, gx::TransformOrientedBox(LocalBounds(), WorldMatrix()));
}

// ---- links ----

void TRREntity::SetLinkTarget(TRREntity* target) {
  const int32_t before = FLinkTarget;
  if (!target) {
    FLinkTarget = 0;
  } else {
    FLinkTarget = target->ID();
    FLinkOffset =
        gx::GXVec3TransformNormal(WorldPosition() - target->WorldPosition(), target->InverseWorldMatrix());
    FLinkRotation =
        gx::GXQuaternionMultiply(WorldRotation(), gx::GXQuaternionInverse(target->WorldRotation()));
  }
  if (FRegistered && FManager && (before == 0) != (FLinkTarget == 0)) FManager->FrameStepChanged(this);
}

// ---- tree ----

TRREntity* TRREntity::OutermostEntity() {
  TRREntity* outermost = this;
  for (gx::TGXNode* n = Parent(); n; n = n->Parent())
    if (auto* e = dynamic_cast<TRREntity*>(n)) outermost = e;
  return outermost;
}

bool TRREntity::IsSelectedOrInSelected() const {
  for (const gx::TGXNode* n = this; n; n = n->Parent())
    if (auto* e = dynamic_cast<const TRREntity*>(n); e && e->FSelected) return true;
  return false;
}

std::vector<TRREntity*> TRREntity::ChildEntities() const {
  std::vector<TRREntity*> out;
  for (gx::TGXNode* child : Children())
    if (auto* e = dynamic_cast<TRREntity*>(child)) out.push_back(e);
  return out;
}

}  // namespace rr
