#include "app/entities/track/RRTrackSnap.h"

#include <cmath>

#include "app/RREntityManager.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/core/GXGeometry.h"

namespace rr {

bool RRFindSnapPair(TRRTrack* a, float radius, TRRTrackRouteContact*& own, TRRTrackRouteContact*& foreign) {
  own = foreign = nullptr;
  auto* manager = dynamic_cast<TRREntityManager*>(a ? a->Manager() : nullptr);
  if (!manager) return false;
  const float r2 = radius * radius;
  float best = 1e10f;
  TRREntity* outerA = a->OutermostEntity();
  for (TRREntity* e : manager->Tracks()) {
    auto* b = dynamic_cast<TRRTrack*>(e);
    if (!b || b == a || b->EntityDestroying()) continue;
    TRREntity* outerB = b->OutermostEntity();
    if (outerB == outerA) continue;
    if (outerB->Selected() && outerA->Selected()) continue;
    if (std::fabs(a->SystemScale() - b->SystemScale()) > 0.1f ||
        std::fabs(a->SystemSecondValue() - b->SystemSecondValue()) > 0.1f)
      continue;
    for (int ra = 0; ra < a->GetRouteCount(); ++ra)
      for (int rb = 0; rb < b->GetRouteCount(); ++rb)
        for (int ib = 0; ib < 2; ++ib) {
          TRRTrackRouteContact* cb = b->GetRoute(rb)->Contact(ib);
          if (!cb->Enabled()) continue;
          for (int ia = 0; ia < 2; ++ia) {
            TRRTrackRouteContact* ca = a->GetRoute(ra)->Contact(ia);
            if (!ca->Enabled()) continue;
            float d = ca->DistanceSquaredTo(*cb);
            if (d < r2 && d < best) {
              best = d;
              own = ca;
              foreign = cb;
            }
          }
        }
  }
  return own != nullptr;
}

void RRSnapTransform(const TRRTrackRouteContact& own, const TRRTrackRouteContact& foreign,
                     gx::TGXVector3& position, gx::TGXQuaternion& rotation) {
  const gx::TGXQuaternion current =
      gx::QuaternionFromAxes(own.GetWorldOutward(), own.GetWorldUp(), own.GetWorldSide());
  const gx::TGXVector3 side = -foreign.GetWorldSide();
  gx::TGXVector3 up = own.GetWorldUp();
  if (gx::GXVec3Dot(up, side) > 0.9f) up = own.GetWorldSide();
  if ((foreign.GetWorldUp().y < 0) != (up.y < 0) && foreign.GetWorldUp().y != 0 && up.y != 0) up = -up;
  const gx::TGXVector3 forward = gx::GXVec3Normalize(gx::GXVec3Cross(side, up));
  const gx::TGXVector3 targetUp = gx::GXVec3Normalize(gx::GXVec3Cross(forward, side));
  const gx::TGXQuaternion target = gx::QuaternionFromAxes(forward, targetUp, side);
  const gx::TGXQuaternion delta = gx::QuaternionDifference(current, target);
  TRRTrack* track = own.Route()->Track();
  const gx::TGXQuaternion base = track ? track->WorldRotation() : gx::TGXQuaternion{0, 0, 0, 1};
  rotation = gx::GXQuaternionMultiply(base, delta);
  position = foreign.GetWorldPosition() - gx::RotateVector(own.GetPosition(), rotation);
}

}  // namespace rr
