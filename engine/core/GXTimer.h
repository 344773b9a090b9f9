#pragma once
// TGXTimer: the frame timer. It measures the time between two Tick calls with a
// high-resolution counter and keeps it in step with a millisecond tick count: when the two
// disagree by more than 30 ms the counter has jumped (a suspended machine, a counter that
// changed cores) and its start is moved so that the jump does not reach the frame time.
//
// Both come from an injectable clock (IGXClock); the program uses TGXSteadyClock over
// std::chrono::steady_clock, tests use a clock they advance by hand.

#include <cstdint>

namespace gx {

class IGXClock {
 public:
  virtual ~IGXClock() = default;
  // Counts per second of Counter; 0 when the clock has no high-resolution counter.
  virtual int64_t Frequency() const = 0;
  virtual int64_t Counter() const = 0;
  // Milliseconds since some fixed start (32-bit, wraps like a system tick count).
  virtual uint32_t TickCount() const = 0;
};

class TGXSteadyClock : public IGXClock {
 public:
  int64_t Frequency() const override;
  int64_t Counter() const override;
  uint32_t TickCount() const override;
  // The one instance the program uses.
  static TGXSteadyClock& Instance();
};

class TGXTimer {
 public:
  // The program's clock when none is given; the clock must outlive the timer. Resets.
  explicit TGXTimer(IGXClock* clock = nullptr);

  void Reset();
  void Tick();

  // Seconds between the last two ticks.
  float DeltaTime() const { return FDeltaTime; }
  // Counter units (or milliseconds without a counter) since the last reset.
  int64_t CurrentCounter() const { return FCurrentCounter; }
  bool HasPerformanceCounter() const { return FHasPerformanceCounter; }
  int64_t Frequency() const { return FHasPerformanceCounter ? FFrequency : 1000; }

 private:
  IGXClock* FClock;
  bool FHasPerformanceCounter = false;
  int64_t FFrequency = 0;
  int64_t FStartCounter = 0;
  int64_t FLastElapsed = 0;
  uint32_t FStartTick = 0;
  uint32_t FLastTick = 0;
  int64_t FCurrentCounter = 0;
  float FDeltaTime = 0;
};

}  // namespace gx
