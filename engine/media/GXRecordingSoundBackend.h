#pragma once
// A sound backend without sound: it records every call, keeps the state a real device would
// (buffers, sources, play state, position, gain), can be told to fail an operation or to run out
// of sources, and counts misuse a real device would punish (a buffer deleted while a source plays
// it, a handle used after deletion, the device closed with objects still alive). Tests and
// benchmarks run the media core on it.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/media/GXSoundBackend.h"

namespace gx {

enum class TGXSoundOperation : uint8_t {
  Enumerate,
  OpenDevice,
  DeviceContext,  // the second step of opening: the device opened but cannot be used
  CloseDevice,
  CreateBuffer,
  FillBuffer,
  DeleteBuffer,
  CreateSource,
  DeleteSource,
  Play,
  Pause,
  Stop,
  SetGain,
};

const char* GXSoundOperationName(TGXSoundOperation op);

class TGXRecordingSoundBackend : public IGXSoundBackend {
 public:
  struct TCall {
    TGXSoundOperation Op;
    TGXSoundHandle Handle = 0;
    double Value = 0;
  };
  struct TBuffer {
    TGXPCMFormat Format;
    std::vector<uint8_t> Data;
  };
  struct TSource {
    TGXSoundHandle Buffer = 0;
    bool Playing = false;
    int64_t Offset = 0;
    float Gain = 1;
  };

  // Two devices: the default one and one with the identifier "Testgeraet".
  TGXRecordingSoundBackend();

  // ---- set-up
  void SetDevices(std::vector<TGXSoundDeviceInfo> devices) { FDevices = std::move(devices); }
  // The operation fails from now on with the given code (raises where the interface raises,
  // else answers as the real backend does); NoFail undoes it.
  void FailOn(TGXSoundOperation op, long long code = 0xA005) { FFailing[op] = code; }
  void NoFail(TGXSoundOperation op) { FFailing.erase(op); }
  // At most this many sources at a time (a real device has a fixed number).
  void SetSourceLimit(int limit) { FSourceLimit = limit; }
  // Moves every playing source on by the given bytes, wrapping like a loop.
  void Advance(int64_t bytes);

  // ---- what happened
  // Off: calls are only counted, not listed (long benchmark runs).
  void SetRecordCalls(bool on) { FRecordCalls = on; }
  const std::vector<TCall>& Calls() const { return FCalls; }
  int64_t CallCount() const { return FCallCount; }
  int64_t Count(TGXSoundOperation op) const { return FCounts[static_cast<size_t>(op)]; }
  void ClearCalls();
  // Calls as text, one per line ("Play 3", "SetGain 3 0.5"), for readable test failures.
  std::string Log() const;
  // Misuse seen so far, as text lines; empty when every call was sound.
  const std::vector<std::string>& Violations() const { return FViolations; }
  const std::map<TGXSoundHandle, TBuffer>& Buffers() const { return FBuffers; }
  const std::map<TGXSoundHandle, TSource>& Sources() const { return FSources; }
  const TSource* Source(TGXSoundHandle source) const;
  std::optional<std::string> OpenedIdentifier() const { return FOpenedIdentifier; }

  // ---- IGXSoundBackend
  std::vector<TGXSoundDeviceInfo> EnumerateDevices() override;
  void OpenDevice(const std::optional<std::string>& identifier) override;
  void CloseDevice() override;
  bool DeviceOpen() const override { return FOpen; }
  TGXSoundHandle CreateBuffer(const TGXPCMFormat& format, std::span<const uint8_t> data) override;
  void DeleteBuffer(TGXSoundHandle buffer) override;
  TGXSoundHandle CreateSource(TGXSoundHandle buffer) override;
  void DeleteSource(TGXSoundHandle source) override;
  bool Play(TGXSoundHandle source) override;
  void Pause(TGXSoundHandle source) override;
  void Stop(TGXSoundHandle source) override;
  void SetGain(TGXSoundHandle source, float gain) override;
  TGXSoundSourceState SourceState(TGXSoundHandle source) override;

 private:
  void Record(TGXSoundOperation op, TGXSoundHandle handle = 0, double value = 0) {
    ++FCallCount;
    ++FCounts[static_cast<size_t>(op)];
    if (FRecordCalls) FCalls.push_back({op, handle, value});
  }
  const long long* Failing(TGXSoundOperation op) const;
  TSource* LiveSource(TGXSoundOperation op, TGXSoundHandle source);
  void Violation(std::string text) { FViolations.push_back(std::move(text)); }

  std::vector<TGXSoundDeviceInfo> FDevices;
  std::map<TGXSoundOperation, long long> FFailing;
  int FSourceLimit = 256;
  bool FOpen = false;
  std::optional<std::string> FOpenedIdentifier;
  TGXSoundHandle FNextHandle = 1;
  std::map<TGXSoundHandle, TBuffer> FBuffers;
  std::map<TGXSoundHandle, TSource> FSources;
  bool FRecordCalls = true;
  std::vector<TCall> FCalls;
  int64_t FCallCount = 0;
  std::array<int64_t, static_cast<size_t>(TGXSoundOperation::SetGain) + 1> FCounts{};
  std::vector<std::string> FViolations;
};

}  // namespace gx
