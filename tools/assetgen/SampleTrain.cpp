#include "tools/assetgen/SampleTrain.h"

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "app/RRDatabase.h"
#include "app/RREntityManager.h"
#include "app/RRModelServices.h"
#include "app/entities/RRTrackVehicle.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "tools/assetgen/RollingStock.h"
#include "tools/assetgen/RollingStockCatalogue.h"

namespace assetgen {

namespace {

// The generator has no sound device: a vehicle keeps its sound switched on only when its sound
// loads, so a silent stand-in is loaded for it while the train is made.
class TSilentSound : public rr::IRRSound {
 public:
  void SetVolume(float volume) override { FVolume = volume; }
  float Volume() const override { return FVolume; }
  void Play() override {}
  void Stop() override {}
  bool IsPlaying() const override { return false; }

 private:
  float FVolume = 0;
};

void SwitchSoundOn(rr::TRRTrackVehicle& vehicle) {
  std::optional<rr::TRRModelServices> before;
  if (const rr::TRRModelServices* installed = rr::TRRModelServices::Get()) before = *installed;
  rr::TRRModelServices services = before.value_or(rr::TRRModelServices{});
  services.LoadSound = [](const rr::TRRAssetFileName&) { return std::make_shared<TSilentSound>(); };
  rr::TRRModelServices::Install(services);
  vehicle.SetSoundEnabled(true);
  if (before)
    rr::TRRModelServices::Install(*before);
  else
    rr::TRRModelServices::Clear();
}

}  // namespace

void AddSampleTrain(rr::TRREntityManager& manager, const rr::TRRDatabase& database,
                    const std::vector<rr::TRRTrack*>& chain) {
  if (chain.empty()) return;
  // The train from front to back: the locomotive with the cab, then the wagons.
  const std::vector<TVehicleModel> models = VehicleModels();
  auto find = [&](TVehicleKind kind) -> const TVehicleModel& {
    for (const TVehicleModel& m : models)
      if (m.Kind == kind) return m;
    throw std::logic_error("no such vehicle");
  };
  const TVehicleKind order[] = {TVehicleKind::Electric, TVehicleKind::CoveredWagon, TVehicleKind::OpenWagon,
                                TVehicleKind::TankWagon, TVehicleKind::CoveredWagon};

  // Where each piece starts along the chain.
  std::vector<float> start{0};
  for (rr::TRRTrack* t : chain) start.push_back(start.back() + t->GetRoute(0)->GetLength());
  auto place = [&](float along, rr::TRRTrackVehicleDesc& d) {
    for (size_t i = 0; i < chain.size(); ++i)
      if (along >= start[i] && along < start[i + 1]) {
        d.TrackID = chain[i]->ID();
        d.RouteIndex = 0;
        d.RoutePosition = along - start[i];
        d.RouteDirection = 0;
        return;
      }
    throw std::runtime_error("Beispielanlage: der Zug passt nicht auf die Gleise.");
  };

  float front = start.back() - 1.0f;  // the leading buffers
  for (TVehicleKind kind : order) {
    const TVehicleModel& m = find(kind);
    const TVehicleSpan span = VehicleSpan(m.Model);
    const gx::TGXGuid id = database.FindAssetIDByPath(VehicleCataloguePath(m.Folder, m.Name));
    rr::TRREntityDescriptionList found(false);
    database.CollectCatalogByAsset(id, found);
    if (found.Count() == 0) throw std::runtime_error("Beispielanlage: " + m.Name + " fehlt im Katalog.");
    std::unique_ptr<rr::TRREntityDescription> clone = found.Item(0)->Clone();
    auto* d = dynamic_cast<rr::TRRTrackVehicleDesc*>(clone.get());
    if (!d) throw std::runtime_error("Beispielanlage: " + m.Name + " ist kein Fahrzeug.");
    const float pivot = front - span.Front;
    if (pivot - span.Rear < 0) throw std::runtime_error("Beispielanlage: der Zug passt nicht auf die Gleise.");
    place(pivot, *d);
    d->ChangeDirection = true;
    d->UnlockSwitches = true;
    if (m.Locomotive) {
      d->TargetSpeed = SampleTrainSpeed;
      d->CurrentSpeed = SampleTrainSpeed;
      d->SoundEnabled = true;
    } else {
      d->TargetSpeed = 0;
      d->CurrentSpeed = 0;
    }
    d->SetID(manager.NextID());
    manager.ReserveIDs(1);
    auto* vehicle = static_cast<rr::TRRTrackVehicle*>(manager.CreateEntity(nullptr, *d));
    if (m.Locomotive) SwitchSoundOn(*vehicle);
    front = pivot - span.Rear - SampleTrainGap;
  }
}

}  // namespace assetgen
