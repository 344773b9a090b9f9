#pragma once
// Snapping a dragged track onto a free contact of another track.
//
// RRFindSnapPair: for a track A, the pair (own contact, foreign contact) with the smallest squared
// distance below radius², looking at every other track of the manager's track list except those
// in the same outermost entity and those dragged along with A (outermost entity selected while
// A's is too), and only at tracks whose system scale and second value agree with A's within 0.1.
// Only enabled contacts count.
//
// RRSnapTransform: the world rotation and position of the own contact's track that turn the own
// contact to face the foreign one (opposite side vectors) and put it onto it, keeping the track's
// own up direction as far as the geometry allows.

#include "engine/core/GXMath.h"

namespace rr {

class TRRTrack;
class TRRTrackRouteContact;

bool RRFindSnapPair(TRRTrack* track, float radius, TRRTrackRouteContact*& own,
                    TRRTrackRouteContact*& foreign);
void RRSnapTransform(const TRRTrackRouteContact& own, const TRRTrackRouteContact& foreign,
                     gx::TGXVector3& position, gx::TGXQuaternion& rotation);

}  // namespace rr
