#pragma once
// The sample layout's overhead wire: catenary masts from the catalogue beside the station
// straight and the curve after it, each linked to the next, so the wire runs over the middle of
// the track. Every mast's +z points at the next one (the wire's messenger then hangs above its
// contact wire) and its cantilever reaches across the track, the anchor right above the centre
// line; the masts stand on the inside of the oval, clear of the level crossing's road, the
// signals and the control desks.

#include <vector>

namespace rr {
class TRRDatabase;
class TRREntityManager;
class TRRTrack;
}  // namespace rr

namespace assetgen {

// line: the straight and the curve pieces after it, in driving order. Raises when the mast is
// missing from the catalogue.
void AddSampleCatenary(rr::TRREntityManager& manager, const rr::TRRDatabase& database,
                       const std::vector<rr::TRRTrack*>& line);

}  // namespace assetgen
