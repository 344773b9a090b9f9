#include "app/entities/RREntityRegistry.h"

#include "app/entities/RRCamera.h"
#include "app/entities/RREntityGroup.h"
#include "app/entities/RRController.h"
#include "app/entities/RRLight.h"
#include "app/entities/RRModel.h"
#include "app/entities/RRSignal.h"
#include "app/entities/RRTrackVehicle.h"
#include "app/entities/panel/RRPanel.h"
#include "app/entities/scenery/RRBarrier.h"
#include "app/entities/scenery/RRPrimitive.h"
#include "app/entities/scenery/RRStreet.h"
#include "app/entities/scenery/RRVegetation.h"
#include "app/entities/scenery/RRVehicleBuilding.h"
#include "app/entities/track/RRCatenary.h"
#include "app/entities/track/RRTrack.h"

namespace rr {

void TRRRegisteredEntityList::Register(const gx::TGXGuid& kind, const TRREntityClass& entityClass,
                                       const TRRDescriptionClass& descriptionClass) {
  if (FindByKind(kind)) throw EDuplicateRegisteredEntity();
  FItems.push_back({kind, &entityClass, &descriptionClass});
}

const TRRRegisteredEntity* TRRRegisteredEntityList::FindByKind(const gx::TGXGuid& kind) const {
  for (const auto& e : FItems)
    if (e.Kind == kind) return &e;
  return nullptr;
}

const TRRRegisteredEntity* TRRRegisteredEntityList::FindByEntityClass(const TRREntityClass& entityClass) const {
  for (const auto& e : FItems)
    if (e.EntityClass == &entityClass) return &e;
  return nullptr;
}

const TRRRegisteredEntity* TRRRegisteredEntityList::FindByDescriptionClass(
    const TRRDescriptionClass& descriptionClass) const {
  for (const auto& e : FItems)
    if (e.DescriptionClass == &descriptionClass) return &e;
  return nullptr;
}

const TRRDescriptionClass* TRRRegisteredEntityList::FindDescriptionClass(std::string_view name) const {
  for (const auto& e : FItems)
    if (name == e.DescriptionClass->Name) return e.DescriptionClass;
  return nullptr;
}

// Every kind of the program. A kind built later adds its registration call here.
void RRRegisterEntityKinds(TRRRegisteredEntityList& list) {
  TRREntityGroup::RegisterKinds(list);
  TRRTrack::RegisterKinds(list);
  TRRModel::RegisterKinds(list);
  TRRTrackVehicle::RegisterKinds(list);
  TRRCamera::RegisterKinds(list);
  TRRLight::RegisterKinds(list);
  TRRSignal::RegisterKinds(list);
  TRRController::RegisterKinds(list);
  TRRPanel::RegisterKinds(list);
  TRRVegetation::RegisterKinds(list);
  TRRStreet::RegisterKinds(list);
  TRRBarrier::RegisterKinds(list);
  TRRVehicleBuilding::RegisterKinds(list);
  TRRPrimitive::RegisterKinds(list);
  TRRCatenary::RegisterKinds(list);
}

TRRRegisteredEntityList& RegisteredEntities() {
  static TRRRegisteredEntityList list = [] {
    TRRRegisteredEntityList l;
    RRRegisterEntityKinds(l);
    return l;
  }();
  return list;
}

}  // namespace rr
