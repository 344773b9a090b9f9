#pragma once
// The sample layout's streets, level crossing, engine shed and plants, from the catalogue:
// - a road comes in from the outside of the oval, crosses the station straight on the
//   level-crossing plate a little after the straight's start and bends away into the village
//   inside the oval; outside, a crossing sends side roads off either way and the road goes on.
//   Every piece is joined to the one before by the street's own snapping; the barrier, snapped
//   onto the track, guards the plate.
// - The engine shed's bays fan out from the siding's far part, one of them taking the siding on
//   its track, so a train entering the siding goes into the shed.
// - An avenue along the road, a hedge, bushes round the church and the pond, firs at the foot of
//   the hill and trees and bushes round the layout, clear of the tracks, the roads, the buildings
//   and each other.
// The ground is levelled under the roads and the shed. Everything follows from the laid track,
// so the layout is the same on every run.

#include <vector>

namespace rr {
class TRRDatabase;
class TRREntityManager;
class TRRTrack;
}  // namespace rr

namespace assetgen {

// Where the level crossing's middle lies along the station straight's route 0, and from where on
// the station building may stand beside it (clear of the barrier's posts).
inline constexpr float SampleCrossingAt = 6.5f;
inline constexpr float SampleCrossingClear = SampleCrossingAt + 6.5f;
// Where the engine shed's doorway lies at the earliest along the siding's route (the goods shed
// beside the siding ends before it), and the room the other bays' doors need before them.
inline constexpr float SampleShedDoorAt = 30.0f;
inline constexpr float SampleShedApron = 12.0f;

// tracks: every laid piece; station: the straight the road crosses; siding: the piece the shed
// covers (the buffer stop follows it). Raises when an entry is missing from the catalogue or
// something finds no room.
void AddSampleScenery(rr::TRREntityManager& manager, const rr::TRRDatabase& database,
                      const std::vector<rr::TRRTrack*>& tracks, const rr::TRRTrack& station,
                      const rr::TRRTrack& siding);

// Placed cameras "Am Bahnübergang" (beside the road, the barrier and the plate before it) and
// "Am Lokschuppen" (before the shed's doors); made after the other cameras, like the signal's.
inline constexpr const char* SampleCrossingCameraName = "Am Bahnübergang";
inline constexpr const char* SampleShedCameraName = "Am Lokschuppen";
void AddSampleSceneryCameras(rr::TRREntityManager& manager, const rr::TRRDatabase& database);

}  // namespace assetgen
