#include "app/entities/RRTrackVehicleEditing.h"

#include <cmath>

#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "app/entities/track/RRTrackSystems.h"

namespace rr {

int RRDefaultForwardAxis(const gx::TGXBoundingBox& box) {
  if (box.Empty) return 0;
  const gx::TGXVector3 size = box.Max() - box.Min();
  return std::fabs(size.x) >= std::fabs(size.z) ? 0 : 1;
}

void RRFinishEditedVehicle(TRRTrackVehicleDesc& v) {
  if (!v.HasEngine) {
    v.TargetSpeed = 0;
    v.CurrentSpeed = 0;
    v.Sound = {};
    v.SoundEnabled = false;
  }
  v.CockpitModel = {};
  v.CockpitOffset = 0;
}

std::vector<std::unique_ptr<TRREntityDescription>> RRVehiclePreviewScene(const TRRTrackVehicleDesc& vehicle) {
  std::vector<std::unique_ptr<TRREntityDescription>> scene;
  auto track = std::make_unique<TRRTrackDesc>(TRRTrackType::Straight);
  track->SetID(1);
  track->SetTrackWidth(uint8_t(RRTrackSystemH0));
  track->SetRotation(gx::GXQuaternionRotationAxis({0, 1, 0}, gx::GX_PI / 2));
  auto route = std::make_unique<TRRTrackRouteDesc>();
  route->L1 = RRVehiclePreviewTrackLength;
  track->AddRoute(std::move(route));
  scene.push_back(std::move(track));
  std::unique_ptr<TRREntityDescription> copy = vehicle.Clone();
  auto* v = static_cast<TRRTrackVehicleDesc*>(copy.get());
  v->SetID(2);
  v->SetPosition({0, 0, 0});
  v->SetRotation({0, 0, 0, 1});
  v->TrackID = 1;
  v->RouteIndex = 0;
  v->RoutePosition = RRVehiclePreviewTrackLength / 2;
  v->RouteDirection = 0;
  v->TargetSpeed = v->CurrentSpeed = 0;
  v->SoundEnabled = false;
  scene.push_back(std::move(copy));
  return scene;
}

}  // namespace rr
