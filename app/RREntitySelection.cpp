#include "app/RREntitySelection.h"

#include <algorithm>

#include "app/RREntityManager.h"
#include "app/entities/RREntity.h"

namespace rr {

int TRREntityList::IndexOf(const TRREntity* entity) const {
  auto it = std::find(FItems.begin(), FItems.end(), entity);
  return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

bool TRREntityList::RemoveItem(const TRREntity* entity) {
  auto it = std::find(FItems.begin(), FItems.end(), entity);
  if (it == FItems.end()) return false;
  FItems.erase(it);
  return true;
}

// ---- membership ----

void TRREntitySelection::EndUpdate() {
  if (FUpdateCount <= 0) return;
  if (--FUpdateCount == 0 && FManager) {
    FManager->SelectionChanged();
    FManager->Project().SelectionChanged();
  }
}

void TRREntitySelection::Changed() {
  FRotation = {0, 0, 0, 1};
  if (FUpdateCount == 0 && FManager) {
    FManager->SelectionChanged();
    FManager->Project().SelectionChanged();
  }
}

void TRREntitySelection::Add(TRREntity* entity) {
  if (!entity || entity->EntityDestroying() || Contains(entity)) return;
  FItems.push_back(entity);
  entity->Select();
  Changed();
}

void TRREntitySelection::Remove(TRREntity* entity) {
  if (!RemoveItem(entity)) return;
  entity->Deselect();
  Changed();
}

void TRREntitySelection::Clear() {
  if (FItems.empty()) return;
  BeginUpdate();
  // Deselect may run code of the entity; take the entries off first so the list stays sound.
  while (!FItems.empty()) {
    TRREntity* e = FItems.back();
    FItems.pop_back();
    e->Deselect();
    Changed();
  }
  EndUpdate();
}

std::vector<int32_t> TRREntitySelection::IDs() const {
  std::vector<int32_t> ids;
  ids.reserve(FItems.size());
  for (TRREntity* e : FItems) ids.push_back(e->ID());
  return ids;
}

// ---- placement ----

gx::TGXVector3 TRREntitySelection::Centre() const {
  gx::TGXVector3 sum{0, 0, 0};
  if (FItems.empty()) return sum;
  for (TRREntity* e : FItems) sum += gx::GXVec3TransformCoord(e->Pivot(), e->WorldMatrix());
  return sum * (1.0f / static_cast<float>(FItems.size()));
}

gx::TGXVector3 TRREntitySelection::Position() const {
  return FItems.size() == 1 ? FItems.front()->WorldPosition() : Centre();
}

void TRREntitySelection::MoveTo(const gx::TGXVector3& point) { Translate(point - Position()); }

void TRREntitySelection::Translate(const gx::TGXVector3& delta) {
  for (TRREntity* e : FItems) e->Translate(delta, gx::TGXTransformSpace::World);
}

void TRREntitySelection::Rotate(const gx::TGXQuaternion& rotation) {
  gx::TGXVector3 centre = Centre();
  for (TRREntity* e : FItems) e->RotateAround(rotation, centre, gx::TGXTransformSpace::World);
  FRotation = gx::GXQuaternionNormalize(gx::GXQuaternionMultiply(FRotation, rotation));
}

gx::TGXQuaternion TRREntitySelection::GetRotation() const {
  return FItems.size() == 1 ? FItems.front()->WorldRotation() : FRotation;
}

void TRREntitySelection::SetRotation(const gx::TGXQuaternion& q) {
  if (FItems.empty()) return;
  if (FItems.size() == 1) {
    FItems.front()->SetWorldRotation(q);
    return;
  }
  Rotate(gx::GXQuaternionMultiply(gx::GXQuaternionInverse(GetRotation()), q));
}

gx::TGXVector3 TRREntitySelection::GetScale() const {
  return FItems.empty() ? gx::TGXVector3{1, 1, 1} : FItems.front()->WorldScale();
}

void TRREntitySelection::SetScale(const gx::TGXVector3& v) {
  for (TRREntity* e : FItems) e->SetScale(v);
}

gx::TGXBoundingBox TRREntitySelection::GetBounds() const {
  gx::TGXBoundingBox box;
  for (TRREntity* e : FItems) gx::MergeBox(box, e->WorldBounds());
  return box;
}

void TRREntitySelection::UpdateAll() {
  for (TRREntity* e : FItems) e->Update(false);
}

void TRREntitySelection::RelinkAll() {
  for (TRREntity* e : FItems) e->Relink();
}

}  // namespace rr
