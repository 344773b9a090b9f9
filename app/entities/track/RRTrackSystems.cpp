#include "app/entities/track/RRTrackSystems.h"

namespace rr {

namespace {

// Scale factors as single-precision values of 87 / denominator (Z 1:220, N 1:160, TT 1:120,
// H0 1:87, 0 1:45, 1 1:32, Ilm and G 1:22.5).
constexpr TRRTrackSystem kSystems[RRTrackSystemCount] = {
    {"Z", 0.39545456f, 0.0f}, {"N", 0.54375f, 0.0f}, {"TT", 0.725f, 0.0f},      {"H0", 1.0f, 0.0f},
    {"0", 1.9333333f, 0.0f},  {"1", 2.71875f, 0.0f}, {"Ilm", 3.8666666f, 9.4f}, {"G", 3.8666666f, 9.4f},
};

}  // namespace

const TRRTrackSystem& RRTrackSystem(int index) {
  int i = index % 128;
  if (i < 0 || i >= RRTrackSystemCount) i = RRTrackSystemH0;
  return kSystems[i];
}

const char* RRTrackSystemName(int index) { return RRTrackSystem(index).Name; }
float RRTrackSystemScale(int index) { return RRTrackSystem(index).Scale; }
float RRTrackSystemSecondValue(int index) { return RRTrackSystem(index).SecondValue; }

int RRTrackSystemIndex(std::string_view name) {
  for (int i = 0; i < RRTrackSystemCount; ++i)
    if (name == kSystems[i].Name) return i;
  return RRTrackSystemH0;
}

}  // namespace rr
