#pragma once
// The sound backend of the program: OpenAL Soft. One context on the opened device, made current
// for the whole process while the device is open. Each sound gets its own looping source,
// listener-relative at the listener's position without distance attenuation, so its gain alone
// sets its level. Run with ALSOFT_DRIVERS=null to play into OpenAL's null output (no sound card).

#include "engine/media/GXSoundBackend.h"

namespace gx {

class TGXOpenALSoundBackend : public IGXSoundBackend {
 public:
  TGXOpenALSoundBackend() = default;
  ~TGXOpenALSoundBackend() override;
  TGXOpenALSoundBackend(const TGXOpenALSoundBackend&) = delete;
  TGXOpenALSoundBackend& operator=(const TGXOpenALSoundBackend&) = delete;

  // The default device (under the name the library gives its default), then every device of the
  // full device list where the library has one, else of the basic list.
  std::vector<TGXSoundDeviceInfo> EnumerateDevices() override;
  void OpenDevice(const std::optional<std::string>& identifier) override;
  void CloseDevice() override;
  bool DeviceOpen() const override { return FDevice != nullptr; }
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
  // The library's types stay out of the header (ALCdevice*, ALCcontext*).
  void* FDevice = nullptr;
  void* FContext = nullptr;
};

}  // namespace gx
