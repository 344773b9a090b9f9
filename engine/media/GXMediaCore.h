#pragma once
// TGXMediaCore: the sound side of the engine. It lists the machine's output devices when it is
// made, opens one device for the program (per project) and, while that device is open, makes
// sounds through its sound factory. Attached to the engine with AttachMediaCore; the program runs
// without sound when no device is listed or opening fails.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/GXEngine.h"
#include "engine/media/GXSound.h"
#include "engine/media/GXSoundBackend.h"
#include "engine/media/GXVideo.h"

namespace gx {

// One output device found by enumeration.
struct TGXSoundAdapter {
  // None for the system's default device, which the list names first.
  std::optional<std::string> Identifier;
  std::string Description;
};

class TGXMediaCore : public TGXEngineCore {
 public:
  // Lists the devices through the backend (OpenAL when none is given) without opening one, and
  // registers the video factory with the manager (the live engine's when none is given and an
  // engine exists). A failing enumeration leaves the list empty.
  explicit TGXMediaCore(std::unique_ptr<IGXSoundBackend> backend = nullptr,
                        TGXResourceManager* manager = nullptr);
  // CloseSoundDevice, then the video factory and the adapters go.
  ~TGXMediaCore() override;
  TGXMediaCore(const TGXMediaCore&) = delete;
  TGXMediaCore& operator=(const TGXMediaCore&) = delete;

  const std::vector<TGXSoundAdapter>& Adapters() const { return FAdapters; }

  // Opens the adapter's device (the default device when none is given) and registers the sound
  // factory. Opening while a device is open is a programming error (EGXAssertion). Failures are
  // EDirectSound (TGXMediaCore, "CreateSound", reason, error code) and leave neither device nor
  // factory.
  void OpenSoundDevice(const TGXSoundAdapter* adapter = nullptr);
  // Silences every sound still held (they stay alive, silent), frees the sound factory (the
  // sound kind is unregistered) and closes the device. Harmless when nothing is open.
  void CloseSoundDevice();
  bool DeviceOpen() const { return FSoundFactory != nullptr; }

  // Null while no device is open.
  TGXSoundFactory* SoundFactory() const { return FSoundFactory.get(); }
  TGXVideoFactory& VideoFactory() const { return *FVideoFactory; }
  IGXSoundBackend& Backend() const { return *FBackend; }

 private:
  std::unique_ptr<IGXSoundBackend> FBackend;
  TGXResourceManager* FManager;
  std::vector<TGXSoundAdapter> FAdapters;
  std::unique_ptr<TGXSoundFactory> FSoundFactory;
  std::unique_ptr<TGXVideoFactory> FVideoFactory;
};

// The media core attached to the live engine, or null.
TGXMediaCore* GXEngineMediaCore();

}  // namespace gx
