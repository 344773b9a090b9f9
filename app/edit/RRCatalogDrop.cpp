#include "app/edit/RRCatalogDrop.h"

#include <cmath>

#include "app/RREntityIDProcessor.h"
#include "app/RREntityManager.h"
#include "app/RRHistory.h"
#include "app/edit/RRTransformationGizmo.h"
#include "app/edit/RRTransformationModifier.h"
#include "app/entities/RREntity.h"
#include "app/entities/RREntityDescription.h"
#include "engine/core/GXException.h"
#include "engine/core/GXNode.h"

namespace rr {

using gx::TGXVector3;

namespace {

// Where the pointer's ray meets what lies under it: the picked point, else the ground plane
// y = 0, else (looking up) ten metres along the ray.
TGXVector3 PointUnderCursor(TRREntityManager& m) {
  if (m.HitObject()) return m.HitPoint();
  const TGXVector3 o = m.RayOrigin(), d = m.RayDirection();
  if (std::fabs(d.y) > 1e-6f) {
    const float t = -o.y / d.y;
    if (t > 1e-6f && std::isfinite(t)) return o + d * t;
  }
  const float len = gx::GXVec3Length(d);
  return len > 0 && std::isfinite(len) ? o + d * (1000.0f / len) : o;
}

bool Finite(const TGXVector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

}  // namespace

TRRCatalogDrop::TRRCatalogDrop(TRREntityManager& manager, const TRREntityDescription& description,
                               float uniformScale)
    : FManager(manager), FDescription(description.Clone()), FScale(uniformScale) {
  FWatched = manager.ProjectNode();
  if (FWatched) FWatched->AddDestroyListener(gx::TGXDestroyHandler(this, &TRRCatalogDrop::ProjectGone));
}

TRRCatalogDrop::~TRRCatalogDrop() {
  if (!FFinished) Cancel();
  if (FWatched) FWatched->RemoveDestroyListener(gx::TGXMethodKey::Of(this, &TRRCatalogDrop::ProjectGone));
}

void TRRCatalogDrop::ProjectGone(gx::TGXNode*) {
  FWatched = nullptr;
  FFinished = true;
  FEntityID = 0;
  FCommand.reset();
}

TRREntity* TRRCatalogDrop::Entity() const { return FEntityID && FWatched ? FManager.FindByID(FEntityID) : nullptr; }

bool TRRCatalogDrop::Over(int32_t x, int32_t y) {
  if (FFinished || FRefused) return false;
  if (!FManager.ShowOverlay() || !FManager.TransformEnabled()) return false;
  FManager.SetCursor(x, y);
  if (FEntityID != 0) return FManager.FindByID(FEntityID) != nullptr;
  return Create(x, y);
}

bool TRRCatalogDrop::Create(int32_t x, int32_t y) {
  TRREntitySelection& selection = FManager.Selection();
  FSelectionBefore = selection.IDs();
  if (TRRHistory* history = FManager.Project().History()) FCommand = history->OpenCommand(nullptr);
  TRREntity* e = nullptr;
  try {
    FManager.ReserveIDs(TRREntityIDProcessor::RenumberDescription(*FDescription, FManager.NextID()));
    e = FManager.CreateEntity(nullptr, *FDescription);
  } catch (const gx::EGXException&) {
    e = nullptr;
  }
  if (!e) {
    // A description that makes no entity (an unknown kind) is refused for the rest of the drag.
    FRefused = true;
    FCommand.reset();
    return false;
  }
  FEntityID = e->ID();
  if (FScale > 0 && std::isfinite(FScale) && e->CanScale()) e->SetScale({FScale, FScale, FScale});
  FManager.UpdatePick();
  TGXVector3 point = PointUnderCursor(FManager);
  if (!Finite(point)) point = {0, 0, 0};
  e->SetWorldPosition(point);
  e->Update(false);
  selection.BeginUpdate();
  selection.Clear();
  selection.Add(e);
  selection.EndUpdate();
  // The selection change made the modifier; it moves the new entity with the pointer until the
  // drop. Its own command is not wanted: the drop records the creation.
  if (TRRTransformationModifier* modifier = FManager.FindTransformationModifier())
    modifier->BeginDrag(RRDragFree, e->WorldPosition(), {0, 1, 0}, false);
  return true;
}

TRREntity* TRRCatalogDrop::Drop() {
  if (FFinished) return nullptr;
  FFinished = true;
  TRREntity* e = FEntityID ? FManager.FindByID(FEntityID) : nullptr;
  if (TRRTransformationModifier* modifier = FManager.FindTransformationModifier())
    if (modifier->DragMode() != RRDragNone) modifier->EndDrag();
  if (!e) {
    FCommand.reset();
    return nullptr;
  }
  if (FCommand) {
    FCommand->SetAfter(e);
    if (TRRHistory* history = FManager.Project().History()) history->Push(std::move(FCommand));
  } else {
    FManager.Project().SetModified();
  }
  return e;
}

void TRRCatalogDrop::Cancel() {
  if (FFinished) return;
  FFinished = true;
  FCommand.reset();
  TRREntity* e = FEntityID ? FManager.FindByID(FEntityID) : nullptr;
  if (!e) return;
  if (TRRTransformationModifier* modifier = FManager.FindTransformationModifier())
    if (modifier->DragMode() != RRDragNone) modifier->CancelDrag();
  TRREntitySelection& selection = FManager.Selection();
  selection.BeginUpdate();
  selection.Clear();
  delete e;
  for (int32_t id : FSelectionBefore)
    if (TRREntity* before = FManager.FindByID(id)) selection.Add(before);
  selection.EndUpdate();
}

}  // namespace rr
