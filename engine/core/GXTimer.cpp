#include "engine/core/GXTimer.h"

#include <algorithm>
#include <chrono>

namespace gx {

// ---- steady clock -----------------------------------------------------------------------------

int64_t TGXSteadyClock::Frequency() const {
  using P = std::chrono::steady_clock::period;
  return static_cast<int64_t>(P::den / P::num);
}

int64_t TGXSteadyClock::Counter() const {
  return static_cast<int64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}

uint32_t TGXSteadyClock::TickCount() const {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<uint32_t>(ms.count());
}

TGXSteadyClock& TGXSteadyClock::Instance() {
  static TGXSteadyClock clock;
  return clock;
}

// ---- timer ------------------------------------------------------------------------------------

TGXTimer::TGXTimer(IGXClock* clock) : FClock(clock ? clock : &TGXSteadyClock::Instance()) { Reset(); }

void TGXTimer::Reset() {
  FFrequency = FClock->Frequency();
  FHasPerformanceCounter = FFrequency > 0;
  if (FHasPerformanceCounter) {
    FStartCounter = FClock->Counter();
    FLastElapsed = 0;
  }
  FStartTick = FClock->TickCount();
  FLastTick = 0;
  FCurrentCounter = 0;
  FDeltaTime = 0;
}

void TGXTimer::Tick() {
  // Unsigned difference: the tick count may wrap between reset and now.
  uint32_t ticks = FClock->TickCount() - FStartTick;
  if (FHasPerformanceCounter) {
    int64_t elapsed = FClock->Counter() - FStartCounter;
    // Milliseconds by which the counter ran ahead of the tick count; the tick count only has
    // millisecond steps, so small differences are ordinary.
    // Compared modulo 2^32 like the tick count itself, so a run past 49.7 days does not see the
    // tick count's wrap as a jump of the counter (and freeze at delta 0).
    const int64_t elapsedMs = static_cast<int64_t>(static_cast<long double>(elapsed) * 1000 / FFrequency);
    const int64_t d = static_cast<int32_t>(static_cast<uint32_t>(elapsedMs) - ticks);
    if (d < -30 || d > 30) {
      int64_t correction = std::min<int64_t>(static_cast<int64_t>(static_cast<long double>(d) * FFrequency / 1000),
                                             elapsed - FLastElapsed);
      FStartCounter += correction;
      elapsed -= correction;
    }
    FDeltaTime = static_cast<float>(static_cast<double>(elapsed - FLastElapsed) / static_cast<double>(FFrequency));
    FLastElapsed = elapsed;
    FCurrentCounter = elapsed;
  } else {
    FDeltaTime = static_cast<float>(ticks - FLastTick) * 0.001f;
    FLastTick = ticks;
    FCurrentCounter = ticks;
  }
}

}  // namespace gx
