#pragma once
// The track systems (gauges) a track piece can belong to, indexed by the track width byte that
// track descriptions store. The scale factor is 87 divided by the model scale denominator: H0
// (1:87) is the reference, so a route of an N track is drawn and measured at 0.54375 of the H0
// size. The scale is the length of one track-mesh segment and the automatic scale of vehicles
// and of scenery dropped onto a layout of one gauge; the second value is compared together with
// the scale when tracks snap (only pieces that agree in both connect).

#include <cstdint>
#include <string_view>

namespace rr {

inline constexpr int RRTrackSystemCount = 8;
// The index of "H0", the answer for names the table does not know.
inline constexpr int RRTrackSystemH0 = 3;

struct TRRTrackSystem {
  const char* Name;
  float Scale;
  float SecondValue;
};

// The table entry of index modulo 128 (the width byte of old files may carry a flag in its top
// bit); an index outside the table after that gives "H0", so no stored byte reads past the end.
const TRRTrackSystem& RRTrackSystem(int index);
const char* RRTrackSystemName(int index);
float RRTrackSystemScale(int index);
float RRTrackSystemSecondValue(int index);
// Exact (case-sensitive) comparison with the table's names; an unknown name gives 3 ("H0").
int RRTrackSystemIndex(std::string_view name);

}  // namespace rr
