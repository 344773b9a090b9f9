#include "tools/assetgen/SampleSignals.h"

#include <cmath>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/RRDatabase.h"
#include "app/RREntityManager.h"
#include "app/RREventActions.h"
#include "app/RREventConditions.h"
#include "app/RREvents.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RRController.h"
#include "app/entities/RRSignal.h"
#include "app/entities/RRTrackVehicle.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "tools/assetgen/AccessoryCatalogue.h"
#include "tools/assetgen/Accessories.h"
#include "tools/assetgen/Cameras.h"
#include "tools/assetgen/LayoutScenery.h"
#include "tools/assetgen/ModelKit.h"
#include "tools/assetgen/SampleTrain.h"

namespace assetgen {

namespace {

// How far beside the track's centre line a signal stands (cm): clear of the widest wagon.
constexpr float kSignalOffset = 4.0f;

// An entity from the catalogue entry of the accessory, placed, turned and named; tweak changes
// its description before it is made (creation never pushes a controller's value to its target).
template <class T, class D>
T* Place(rr::TRREntityManager& manager, const rr::TRRDatabase& database, const std::string& folder,
         const std::string& name, const gx::TGXVector3& position, const gx::TGXQuaternion& rotation,
         const std::string& shownName, const std::function<void(D&)>& tweak = {}) {
  rr::TRREntityDescriptionList found(false);
  database.CollectCatalogByAsset(database.FindAssetIDByPath(AccessoryCataloguePath(folder, name)), found);
  if (found.Count() == 0) throw std::runtime_error("Beispielanlage: " + name + " fehlt im Katalog.");
  std::unique_ptr<rr::TRREntityDescription> d = found.Item(0)->Clone();
  d->SetID(manager.NextID());
  manager.ReserveIDs(1);
  d->SetPosition(position);
  d->SetRotation(rotation);
  d->Name().SetUserText(shownName);
  auto* own = dynamic_cast<D*>(d.get());
  if (!own) throw std::runtime_error("Beispielanlage: " + name + " hat die falsche Art.");
  if (tweak) tweak(*own);
  auto* entity = dynamic_cast<T*>(manager.CreateEntity(nullptr, *d));
  if (!entity) throw std::runtime_error("Beispielanlage: " + name + " hat die falsche Art.");
  return entity;
}

// A signal at the start of the track's route 0, on the right of a train running along it, its
// front (-z) towards the train.
rr::TRRSignal* SignalAt(rr::TRREntityManager& manager, const rr::TRRDatabase& database, const rr::TRRTrack& track,
                        const std::string& name, const std::string& shownName, uint8_t state = rr::RRSignalOpen) {
  const gx::TGXVector3 start = track.GetRoute(0)->Contact(0)->GetWorldPosition();
  const gx::TGXVector3 t = track.GetRoute(0)->GetWorldTangent(0);
  const gx::TGXVector3 ahead = gx::GXVec3Normalize({t.x, 0, t.z});
  const gx::TGXVector3 right{ahead.z, 0, -ahead.x};
  return Place<rr::TRRSignal, rr::TRRSignalDesc>(
      manager, database, "Signale", name, {start.x + right.x * kSignalOffset, 0, start.z + right.z * kSignalOffset},
      YRotation(std::atan2(ahead.x, ahead.z)), shownName, [&](rr::TRRSignalDesc& d) { d.SignalState = state; });
}

rr::TRREvent* NewEvent(rr::TRREventManager& events, int32_t id, const std::string& name,
                       std::unique_ptr<rr::TRRCondition> condition) {
  auto e = std::make_unique<rr::TRREvent>(&events);
  e->SetName(name);
  e->SetID(id);
  e->SetCondition(std::move(condition));
  return events.Root().AddEvent(std::move(e));
}

template <class T>
T* Add(rr::TRREvent* e) {
  return static_cast<T*>(e->AddAction(std::make_unique<T>()));
}

}  // namespace

void AddSampleSignals(rr::TRREntityManager& manager, const rr::TRRDatabase& database, rr::TRREventManager& events,
                      const std::vector<rr::TRRTrack*>& oval, rr::TRRTrack& turnout, rr::TRRTrack* siding) {
  if (oval.size() < 4) throw std::runtime_error("Beispielanlage: das Oval ist zu kurz für Signale.");
  rr::TRRTrack& station = *oval.front();
  // The train comes into the station from the oval's last piece; its distant signal stands two
  // pieces earlier.
  rr::TRRSignal* home = SignalAt(manager, database, station, "Hauptsignal", "Einfahrsignal");
  rr::TRRSignal* distant = SignalAt(manager, database, *oval[oval.size() - 2], "Vorsignal", "Vorsignal Bahnhof");
  if (siding) SignalAt(manager, database, *siding, "Rangiersignal", "Gleissperre Ladegleis", rr::RRSignalClosed);

  // The desks inside the oval, across the line from the station, their fronts towards the track;
  // the switch shows the turnout's route, the regulator the locomotive's speed.
  rr::TRRTrackVehicle* loco = nullptr;
  for (rr::TRREntity* e : manager.Vehicles())
    if (auto* v = dynamic_cast<rr::TRRTrackVehicle*>(e); v && v->HasEngine() && !loco) loco = v;
  if (!loco) throw std::runtime_error("Beispielanlage: die Lok fehlt.");
  const gx::TGXVector3 mid = station.GetRoute(0)->GetWorldRailPosition(station.GetRoute(0)->GetLength() / 2);
  const gx::TGXQuaternion facing = YRotation(std::atan2(-1.0f, 0.0f));
  auto bind = [](int32_t target) {
    return std::function<void(rr::TRRControllerDesc&)>([target](rr::TRRControllerDesc& d) { d.TargetID = target; });
  };
  // Inside the oval south of the road, clear of the curve into the station.
  Place<rr::TRRController, rr::TRRControllerDesc>(manager, database, "Steuerung", "Kippschalter",
                                                  {mid.x - 16, 0, mid.z - 18.5f}, facing, "Weichenschalter",
                                                  bind(turnout.ID()));
  Place<rr::TRRController, rr::TRRControllerDesc>(manager, database, "Steuerung", "Drehregler",
                                                  {mid.x - 16, 0, mid.z - 13.5f}, facing, "Fahrregler",
                                                  bind(loco->ID()));

  // Into the station: both signals to stop, the train stops, the stay begins. Out again when it
  // is over: signals clear, the train runs on, and the turnout is thrown for the next round.
  int32_t id = events.Root().ID() + 1;
  auto enter = std::make_unique<rr::TRRTrackEnterCondition>();
  enter->SetTrackID(station.ID());
  rr::TRREvent* arrive = NewEvent(events, id++, "Einfahrt Bahnhof", std::move(enter));
  for (rr::TRRSignal* s : {home, distant}) {
    auto* set = Add<rr::TRRSetSignalAction>(arrive);
    set->SetSignalID(s->ID());
    set->SetState(rr::RRSignalClosed);
  }
  // The locomotive by its ID: running backwards out of the siding it enters the station last.
  auto* stop = Add<rr::TRRSetVehicleSpeedAction>(arrive);
  stop->SetVehicleID(loco->ID());
  stop->SetSpeed(0);
  auto* stay = Add<rr::TRRStartCountdownAction>(arrive);
  stay->SetCountdownName(SampleStopCountdown);
  stay->SetDuration(SampleStopSeconds);

  auto over = std::make_unique<rr::TRRCountdownCondition>();
  over->SetCountdownName(SampleStopCountdown);
  rr::TRREvent* leave = NewEvent(events, id++, "Abfahrt", std::move(over));
  for (rr::TRRSignal* s : {home, distant}) {
    auto* set = Add<rr::TRRSetSignalAction>(leave);
    set->SetSignalID(s->ID());
    set->SetState(rr::RRSignalOpen);
  }
  auto* go = Add<rr::TRRSetVehicleSpeedAction>(leave);
  go->SetVehicleID(loco->ID());
  go->SetSpeed(SampleTrainSpeed);
  Add<rr::TRRSwitchTrackRouteAction>(leave)->SetTrackID(turnout.ID());
}

void AddSampleSignalCamera(rr::TRREntityManager& manager, const rr::TRRDatabase& database) {
  rr::TRRSignal* home = nullptr;
  for (int i = 0; i < manager.EntitySlotCount() && !home; ++i)
    if (auto* s = dynamic_cast<rr::TRRSignal*>(manager.EntitySlot(i)); s && s->Name() == "Einfahrsignal") home = s;
  if (!home) throw std::runtime_error("Beispielanlage: das Einfahrsignal fehlt.");
  // Behind the signal's back, a little to the outside and above it: the arm against the sky, the
  // station straight beyond it.
  const gx::TGXVector3 at = home->WorldPosition();
  AddPlacedCamera(manager, database, SampleSignalCameraName, {at.x + 9, 7, at.z - 24}, {at.x - 3, 3, at.z + 10});
}

}  // namespace assetgen
