#pragma once
// The sample layout's signals, control desk and events: a main signal guards the station straight
// with a distant signal two curves before it, a shunting signal stands at the siding; on a desk
// beside the line a toggle switch is bound to the turnout and a regulator to the locomotive. The
// events stop the train in the station (signals to stop, speed 0, a countdown) and start it again
// when the countdown runs out (signals clear, forward again, the turnout thrown). So the train
// goes once round the oval and once into the siding, where it turns back at the buffer stop and
// comes backwards into the station: a run of a few minutes shows every kind of notification and
// action, and the train never stays stuck.

#include <vector>

namespace rr {
class TRRDatabase;
class TRREntityManager;
class TRREventManager;
class TRRTrack;
}  // namespace rr

namespace assetgen {

// The countdown the train waits for in the station, and how long (seconds).
inline constexpr const char* SampleStopCountdown = "Aufenthalt";
inline constexpr float SampleStopSeconds = 6.0f;

// tracks: the oval as laid (station straight first, then the pieces in driving order, the
// turnout among them); siding: the piece after the turnout's branch. Raises when an accessory is
// missing from the catalogue or the train is not on the layout.
void AddSampleSignals(rr::TRREntityManager& manager, const rr::TRRDatabase& database, rr::TRREventManager& events,
                      const std::vector<rr::TRRTrack*>& oval, rr::TRRTrack& turnout, rr::TRRTrack* siding);

// A placed camera "Am Einfahrsignal" low beside the line before the station, looking past the
// main signal along the track (made after the other cameras, so they frame the layout alone).
inline constexpr const char* SampleSignalCameraName = "Am Einfahrsignal";
void AddSampleSignalCamera(rr::TRREntityManager& manager, const rr::TRRDatabase& database);

}  // namespace assetgen
