#pragma once
// The sound output as the media core sees it: a small interface over the machine's audio library,
// so the core's rules (device life, shared sample buffers, volume, play state) are tested on a
// recording fake while the real program plays through OpenAL. One device at a time; every call on
// the main thread.
//
// Handles are non-zero numbers the backend gives out; 0 means none. Device failures and failed
// buffer uploads raise EDirectSound (argument list: object, operation, reason, the library's error
// code). Playing, pausing, stopping and gain changes never raise: a sound that cannot play stays
// silent instead of failing every frame.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace gx {

using TGXSoundHandle = uint32_t;

// One output device found by enumeration. The system's default device comes first and has no
// identifier.
struct TGXSoundDeviceInfo {
  std::optional<std::string> Identifier;
  std::string Description;
};

// Interleaved PCM: 8-bit samples unsigned, 16-bit samples signed little-endian.
struct TGXPCMFormat {
  uint16_t Channels = 0;
  uint16_t BitsPerSample = 0;
  uint32_t SamplesPerSec = 0;
  friend bool operator==(const TGXPCMFormat&, const TGXPCMFormat&) = default;
};

// What a source does right now, as the backend reports it.
struct TGXSoundSourceState {
  bool Playing = false;
  // Byte position within the buffer; 0 after a stop.
  int64_t Offset = 0;
};

class IGXSoundBackend {
 public:
  virtual ~IGXSoundBackend() = default;

  // Lists the output devices without opening any. Empty when the machine has none.
  virtual std::vector<TGXSoundDeviceInfo> EnumerateDevices() = 0;
  // Opens the device (none: the system's default). Opening while open is the caller's error.
  virtual void OpenDevice(const std::optional<std::string>& identifier) = 0;
  // Closes the device; harmless when none is open. Sources and buffers must be gone first.
  virtual void CloseDevice() = 0;
  virtual bool DeviceOpen() const = 0;

  // A buffer holding the sample data. `data` holds whole sample frames.
  virtual TGXSoundHandle CreateBuffer(const TGXPCMFormat& format, std::span<const uint8_t> data) = 0;
  virtual void DeleteBuffer(TGXSoundHandle buffer) = 0;
  // A looping source playing the buffer at full gain, relative to the listener without distance
  // attenuation, stopped at its start. 0 when the device has no free source.
  virtual TGXSoundHandle CreateSource(TGXSoundHandle buffer) = 0;
  virtual void DeleteSource(TGXSoundHandle source) = 0;

  // Plays from the current position, looping; false when the source did not start.
  virtual bool Play(TGXSoundHandle source) = 0;
  // Stops and keeps the position.
  virtual void Pause(TGXSoundHandle source) = 0;
  // Stops and rewinds to the start.
  virtual void Stop(TGXSoundHandle source) = 0;
  // Linear amplitude factor, 0 (silence) ... 1 (the data's own level).
  virtual void SetGain(TGXSoundHandle source, float gain) = 0;
  virtual TGXSoundSourceState SourceState(TGXSoundHandle source) = 0;
};

// The failures' argument lists, shared by every backend so callers see the same exception
// whichever library plays.
[[noreturn]] void GXRaiseOpenDeviceFailed(long long code);     // the device does not open
[[noreturn]] void GXRaiseDeviceContextFailed(long long code);  // the opened device cannot be used
[[noreturn]] void GXRaiseCreateBufferFailed(long long code);   // no buffer object
[[noreturn]] void GXRaiseFillBufferFailed(long long code);     // the samples were not taken

}  // namespace gx
