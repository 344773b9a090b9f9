#pragma once
// Helpers of the track library tests: building an imported piece as a real track and checking its
// route ends against the definition's end points.

#include <string>

#include "app/RRTrackLibrary.h"
#include "app/entities/track/RRTrack.h"
#include "tests/app/ManagerTestSupport.h"

namespace tlibtest {

// Builds the description as a track (the route code as the layout uses it) and expects every
// route end, except the closed start of a buffer stop, to lie on one of the definition's end
// points within 0.01 mm and to leave in its direction within 0.01 degrees, for one placement of
// the definition's frame on the piece's (found from the first route's ends). where names the
// piece in failures.
void ExpectRoutesMeetEndPoints(mgrtest::TTestProject& project, const rr::TRRTrackDesc& piece,
                               const rr::TRRTrackLibraryDefinition& definition, const std::string& where);

}  // namespace tlibtest
