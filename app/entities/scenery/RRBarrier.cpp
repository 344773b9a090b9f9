#include "app/entities/scenery/RRBarrier.h"

#include <algorithm>
#include <cmath>

#include "app/RREntityManager.h"
#include "app/RRProjectHost.h"
#include "app/entities/RREntityRegistry.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackConnections.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/render/GXAnimation.h"

namespace rr {

using gx::TGXBoundingBox;
using gx::TGXQuaternion;
using gx::TGXVector3;

namespace {

// The booms: 20 frames of 1/75 s.
constexpr uint32_t kBarrierFrames = 20;
constexpr float kBarrierSecondsPerFrame = 0.013333334f;

}  // namespace

// ---- vehicle boxes ----

void TRRVehicleBoxes::Clear() {
  for (auto* v : {&FMinX, &FMinY, &FMinZ, &FMaxX, &FMaxY, &FMaxZ}) v->clear();
}

void TRRVehicleBoxes::Add(const TGXBoundingBox& box) {
  // A box that meets nothing is not worth a slot.
  if (box.Empty || !gx::GXIsFinite(box.Min()) || !gx::GXIsFinite(box.Max())) return;
  FMinX.push_back(box.Min().x);
  FMinY.push_back(box.Min().y);
  FMinZ.push_back(box.Min().z);
  FMaxX.push_back(box.Max().x);
  FMaxY.push_back(box.Max().y);
  FMaxZ.push_back(box.Max().z);
}

bool TRRVehicleBoxes::AnyMeets(const TGXBoundingBox& b) const {
  return AnyMeets(b, [](size_t) { return true; });
}

bool TRRVehicleBoxes::AnyMeets(const TGXBoundingBox& local, const gx::TGXMatrix& world,
                               const gx::TGXMatrix& inverse) const {
  return AnyMeets(gx::TransformBox(local, world), [&](size_t i) {
    const TGXBoundingBox vehicle = gx::BoxFromMinMax({FMinX[i], FMinY[i], FMinZ[i]}, {FMaxX[i], FMaxY[i], FMaxZ[i]});
    return gx::BoxesIntersect(local, gx::TransformBox(vehicle, inverse));
  });
}

template <class Exact>
bool TRRVehicleBoxes::AnyMeets(const TGXBoundingBox& b, Exact&& exact) const {
  if (b.Empty || !gx::GXIsFinite(b.Min()) || !gx::GXIsFinite(b.Max())) return false;
  const TGXVector3 mn = b.Min(), mx = b.Max();
  const size_t n = FMinX.size();
  // Blocks without early exit, so the compiler can vectorise the comparisons; a block with hits
  // is looked at again one by one for the exact test.
  constexpr size_t kBlock = 64;
  auto meets = [&](size_t i) {
    return (FMinX[i] <= mx.x) & (mn.x <= FMaxX[i]) & (FMinY[i] <= mx.y) & (mn.y <= FMaxY[i]) & (FMinZ[i] <= mx.z) &
           (mn.z <= FMaxZ[i]);
  };
  for (size_t start = 0; start < n; start += kBlock) {
    const size_t end = std::min(n, start + kBlock);
    int hits = 0;
    for (size_t i = start; i < end; ++i) hits += meets(i);
    if (!hits) continue;
    for (size_t i = start; i < end; ++i)
      if (meets(i) && exact(i)) return true;
  }
  return false;
}

const TRRVehicleBoxes& TRRVehicleBoxes::Of(IRREntityManager* manager, int64_t stamp) {
  static thread_local TRRVehicleBoxes boxes;
  static thread_local IRREntityManager* lastManager = nullptr;
  static thread_local int64_t lastStamp = 0;
  static thread_local int lastCount = -1;
  auto* m = dynamic_cast<TRREntityManager*>(manager);
  const int count = m ? m->Vehicles().Count() : 0;
  if (manager == lastManager && stamp == lastStamp && count == lastCount) return boxes;
  lastManager = manager;
  lastStamp = stamp;
  lastCount = count;
  boxes.Clear();
  if (m)
    for (TRREntity* v : m->Vehicles()) boxes.Add(v->WorldBounds());
  return boxes;
}

const TRRVehicleBoxes* TRRVehicleBoxes::Due(IRREntityManager* manager, int64_t& nextCheck) {
  auto* m = dynamic_cast<TRREntityManager*>(manager);
  if (!m) return nullptr;
  const IRRProjectHost& host = m->Project();
  const int64_t now = host.FrameCounter();
  if (nextCheck >= 0 && now < nextCheck) return nullptr;
  const int64_t frequency = std::max<int64_t>(1, host.FrameFrequency());
  nextCheck = now + std::max<int64_t>(1, std::llround(RRBarrierCheckInterval * double(frequency)));
  return &Of(m, now);
}

// ---- barrier ----

RR_DEFINE_DESCRIPTION_CLASS(TRRBarrierDesc, TRRModelDesc)
RR_DEFINE_ENTITY_CLASS(TRRBarrier, TRRModel)

void TRRBarrier::RegisterKinds(TRRRegisteredEntityList& list) {
  list.Register(gx::TGXGuid::Parse(RRKindBarrier), StaticClass(), TRRBarrierDesc::StaticClass());
}

TRRBarrier::TRRBarrier(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description)
    : TRRModel(parent, manager, description) {
  // The booms follow the barrier's state, never the model's own playback.
  SetHasAnimation(false);
  if (gx::TGXAnimationController* c = OwnController()) {
    c->SetSecondsPerFrame(kBarrierSecondsPerFrame);
    c->SetEndFrame(kBarrierFrames);
    c->SetLoop(false);
    c->SetTime(0);
  }
}

TGXBoundingBox TRRBarrier::WorldDetectionBox() const { return gx::TransformBox(DetectionBox(), WorldMatrix()); }

bool TRRBarrier::CheckVehicles(const TRRVehicleBoxes& vehicles) {
  FClosed = vehicles.AnyMeets(DetectionBox(), WorldMatrix(), InverseWorldMatrix());
  return FClosed;
}

void TRRBarrier::Animate(bool animationsOn, float deltaTime) {
  TRRModel::Animate(animationsOn, deltaTime);
  if (!animationsOn) return;
  if (const TRRVehicleBoxes* vehicles = TRRVehicleBoxes::Due(Manager(), FNextCheck)) CheckVehicles(*vehicles);
  gx::TGXAnimationController* c = OwnController();
  if (!c || !std::isfinite(deltaTime) || deltaTime <= 0) return;
  const float t = c->Time(), duration = c->Duration();
  if (FClosed && t < duration)
    c->SetTime(std::min(duration, t + deltaTime));
  else if (!FClosed && t > 0)
    c->SetTime(std::max(0.0f, t - deltaTime));
}

bool TRRBarrier::Snap(bool& snapped, TGXVector3& position, TGXQuaternion& rotation) {
  snapped = false;
  auto* manager = dynamic_cast<TRREntityManager*>(Manager());
  if (!manager) return true;
  Update(false);
  // The bottom centre of the bounds; a barrier without bounds takes its origin.
  const TGXBoundingBox& bounds = LocalBounds();
  const TGXVector3 reference =
      bounds.Empty ? TGXVector3() : TGXVector3(bounds.Center.x, bounds.Min().y, bounds.Center.z);
  const TGXVector3 scale = WorldScale();
  auto scaled = [](const TGXVector3& v, const TGXVector3& s) { return TGXVector3(v.x * s.x, v.y * s.y, v.z * s.z); };
  const TGXVector3 point = position + gx::RotateVector(scaled(reference, scale), rotation);
  const TRREntity* own = OutermostEntity();
  const TRRNearestRoute found = FindNearestRoute(manager->Tracks(), point, RRBarrierSnapRadius, [&](const TRRTrack& t) {
    return t.OutermostEntity() != own;
  });
  if (!found.Route) return true;
  // The track's own level, not the rail top: the posts stand on the ground beside the rails.
  const TGXVector3 rail = found.Route->GetWorldPosition(found.Distance);
  const TGXVector3 forward = gx::GXVec3Normalize(found.Route->GetWorldTangent(found.Distance));
  const TGXVector3 up0 = found.Route->GetWorldUp(found.Distance);
  const TGXVector3 side = gx::GXVec3Normalize(gx::GXVec3Cross(up0, forward));
  const TGXVector3 up = gx::GXVec3Normalize(gx::GXVec3Cross(forward, side));
  const TGXQuaternion along = gx::QuaternionFromAxes(forward, up, side);
  const TGXQuaternion turned =
      gx::GXQuaternionMultiply(gx::GXQuaternionRotationAxis({0, 1, 0}, 1.5707964f), along);
  if (!gx::GXIsFinite(rail) || !gx::GXIsFinite(turned)) return true;
  // The barrier takes the track's scale; the parent's scale still applies on top.
  const float routeScale = found.Route->Scale();
  if (std::isfinite(routeScale) && routeScale > 0) SetScale({routeScale, routeScale, routeScale});
  Update(false);
  rotation = turned;
  position = rail - gx::RotateVector(scaled(reference, WorldScale()), rotation);
  snapped = true;
  return true;
}

}  // namespace rr
