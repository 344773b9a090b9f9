// The per-frame sound update of 50 sounding locomotives, each a sound of its own (three running
// sounds shared between them), on the recording backend and on OpenAL's null output. Every frame
// each locomotive sets its volume from its speed and the camera distance and calls Play while it
// is audible, else Stop, as a vehicle's tick does.
// - "moving": speeds and the camera change every frame, so most levels change: goal < 20 us/frame;
// - "steady": levels and play states stay as they are: goal < 20 us/frame and 0 backend calls.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "engine/media/GXMediaCore.h"
#include "engine/media/GXOpenALSoundBackend.h"
#include "engine/media/GXRecordingSoundBackend.h"
#include "tests/engine/media/MediaTestSupport.h"

namespace {

using namespace gx;

constexpr int kLocomotives = 50;
constexpr float kMaxSpeed = 142.5f;    // cm/s, the fastest a train runs
constexpr float kHearingRange = 2000;  // cm from the camera at which a locomotive falls silent

// Counts the calls that reach the backend it wraps.
class TCountingBackend : public IGXSoundBackend {
 public:
  explicit TCountingBackend(std::unique_ptr<IGXSoundBackend> inner) : FInner(std::move(inner)) {}
  int64_t Calls = 0;
  std::vector<TGXSoundDeviceInfo> EnumerateDevices() override { return FInner->EnumerateDevices(); }
  void OpenDevice(const std::optional<std::string>& id) override { FInner->OpenDevice(id); }
  void CloseDevice() override { FInner->CloseDevice(); }
  bool DeviceOpen() const override { return FInner->DeviceOpen(); }
  TGXSoundHandle CreateBuffer(const TGXPCMFormat& f, std::span<const uint8_t> d) override {
    return FInner->CreateBuffer(f, d);
  }
  void DeleteBuffer(TGXSoundHandle b) override { FInner->DeleteBuffer(b); }
  TGXSoundHandle CreateSource(TGXSoundHandle b) override { return FInner->CreateSource(b); }
  void DeleteSource(TGXSoundHandle s) override { FInner->DeleteSource(s); }
  bool Play(TGXSoundHandle s) override {
    ++Calls;
    return FInner->Play(s);
  }
  void Pause(TGXSoundHandle s) override {
    ++Calls;
    FInner->Pause(s);
  }
  void Stop(TGXSoundHandle s) override {
    ++Calls;
    FInner->Stop(s);
  }
  void SetGain(TGXSoundHandle s, float g) override {
    ++Calls;
    FInner->SetGain(s, g);
  }
  TGXSoundSourceState SourceState(TGXSoundHandle s) override { return FInner->SourceState(s); }

 private:
  std::unique_ptr<IGXSoundBackend> FInner;
};

using mediatest::TBytesLoader;

std::vector<uint8_t> RunningSound(int kind) {
  std::vector<uint8_t> samples;
  for (int i = 0; i < 22050; ++i) {
    const auto v = static_cast<int16_t>(6000 * std::sin(i * 2 * M_PI * (60 + 40 * kind) / 22050));
    samples.insert(samples.end(), {uint8_t(v), uint8_t(v >> 8)});
  }
  return GXWriteWAV({1, 16, 22050}, samples);
}

struct TLocomotive {
  IGXSound Sound;
  float Speed = 0, X = 0;
};

class TFleet {
 public:
  // Null when the backend cannot open a device.
  static std::unique_ptr<TFleet> Make(std::unique_ptr<IGXSoundBackend> inner) {
    auto fleet = std::unique_ptr<TFleet>(new TFleet);
    auto counting = std::make_unique<TCountingBackend>(std::move(inner));
    fleet->FBackend = counting.get();
    fleet->FCore = std::make_unique<TGXMediaCore>(std::move(counting), &fleet->FManager);
    try {
      fleet->FCore->OpenSoundDevice();
    } catch (const EDirectSound&) {
      return nullptr;
    }
    for (int i = 0; i < kLocomotives; ++i) {
      static const char* const kFiles[] = {"Dampf.wav", "Diesel.wav", "Elektro.wav"};
      TLocomotive loco;
      loco.Sound = fleet->FManager.Get<TGXSound>(kFiles[i % 3], true);
      loco.Sound->SetDataLoader(MakeRef<TBytesLoader>(RunningSound(i % 3)));
      loco.Sound->Load();
      loco.Speed = 20 + i * 2.4f;
      loco.X = i * 80.0f;
      fleet->FLocos.push_back(std::move(loco));
    }
    return fleet;
  }
  ~TFleet() {
    FLocos.clear();
    FCore.reset();
  }

  // One frame: the volume rule per locomotive, as its tick applies it.
  void Frame(float cameraX) {
    for (TLocomotive& loco : FLocos) {
      const float distance = std::fabs(loco.X - cameraX);
      const float volume =
          std::fabs(loco.Speed) / kMaxSpeed * 100 * std::max(0.0f, 1 - distance / kHearingRange);
      if (volume > 0) {
        loco.Sound->SetVolume(volume);
        loco.Sound->Play();
      } else {
        loco.Sound->Stop();
      }
    }
  }
  void Accelerate(float dv) {
    for (TLocomotive& loco : FLocos) loco.Speed = std::fmod(loco.Speed + dv, kMaxSpeed);
  }
  int64_t Calls() const { return FBackend->Calls; }
  int Playing() const {
    int n = 0;
    for (const TLocomotive& loco : FLocos) n += loco.Sound->IsPlaying();
    return n;
  }

 private:
  TFleet() = default;
  TGXResourceManager FManager;
  TCountingBackend* FBackend = nullptr;
  std::unique_ptr<TGXMediaCore> FCore;
  std::vector<TLocomotive> FLocos;
};

std::unique_ptr<IGXSoundBackend> MakeBackend(bool openAL) {
  if (!openAL) {
    auto fake = std::make_unique<TGXRecordingSoundBackend>();
    fake->SetRecordCalls(false);
    return fake;
  }
  setenv("ALSOFT_DRIVERS", "null", 1);  // never a real sound card
  return std::make_unique<TGXOpenALSoundBackend>();
}

void Report(benchmark::State& state, const TFleet& fleet, int64_t calls, int64_t frames) {
  state.counters["backendCalls/frame"] = frames ? static_cast<double>(calls) / frames : 0;
  state.counters["playing"] = fleet.Playing();
}

void BM_SoundFrameMoving(benchmark::State& state) {
  auto fleet = TFleet::Make(MakeBackend(state.range(0) != 0));
  if (!fleet) return state.SkipWithError("no sound device opens");
  float camera = 0;
  const int64_t before = fleet->Calls();
  int64_t frames = 0;
  for (auto _ : state) {
    fleet->Accelerate(0.37f);
    camera = std::fmod(camera + 13, 4000.0f);
    fleet->Frame(camera);
    ++frames;
  }
  Report(state, *fleet, fleet->Calls() - before, frames);
  state.SetLabel(std::string(state.range(0) ? "OpenAL null" : "fake") + ", goal < 20 us/frame");
}
BENCHMARK(BM_SoundFrameMoving)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_SoundFrameSteady(benchmark::State& state) {
  auto fleet = TFleet::Make(MakeBackend(state.range(0) != 0));
  if (!fleet) return state.SkipWithError("no sound device opens");
  fleet->Frame(1000);  // the first frame sets levels and starts the audible ones
  const int64_t before = fleet->Calls();
  int64_t frames = 0;
  for (auto _ : state) {
    fleet->Frame(1000);
    ++frames;
  }
  Report(state, *fleet, fleet->Calls() - before, frames);
  state.SetLabel(std::string(state.range(0) ? "OpenAL null" : "fake") +
                 ", goal < 20 us/frame and 0 backend calls/frame");
}
BENCHMARK(BM_SoundFrameSteady)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
