#include "engine/media/GXMediaCore.h"

#include "engine/media/GXOpenALSoundBackend.h"

namespace gx {

TGXMediaCore::TGXMediaCore(std::unique_ptr<IGXSoundBackend> backend, TGXResourceManager* manager)
    : FBackend(backend ? std::move(backend) : std::make_unique<TGXOpenALSoundBackend>()), FManager(manager) {
  if (!FManager && Engine()) FManager = &Engine()->ResourceManager();
  try {
    for (TGXSoundDeviceInfo& device : FBackend->EnumerateDevices())
      FAdapters.push_back({std::move(device.Identifier), std::move(device.Description)});
  } catch (const std::exception&) {
    // A machine whose devices cannot be listed has none for the program.
    FAdapters.clear();
  }
  FVideoFactory = std::make_unique<TGXVideoFactory>(FManager);
}

TGXMediaCore::~TGXMediaCore() {
  CloseSoundDevice();
  FVideoFactory.reset();
  FAdapters.clear();
}

void TGXMediaCore::OpenSoundDevice(const TGXSoundAdapter* adapter) {
  GX_ASSERT(!DeviceOpen() && !FBackend->DeviceOpen());
  FBackend->OpenDevice(adapter ? adapter->Identifier : std::nullopt);
  try {
    FSoundFactory = std::make_unique<TGXSoundFactory>(FManager, *FBackend);
  } catch (...) {
    CloseSoundDevice();
    throw;
  }
}

void TGXMediaCore::CloseSoundDevice() {
  if (FSoundFactory) {
    FSoundFactory->DetachSounds();
    FSoundFactory.reset();
  }
  FBackend->CloseDevice();
}

TGXMediaCore* GXEngineMediaCore() {
  TGXEngine* engine = Engine();
  return engine ? dynamic_cast<TGXMediaCore*>(engine->MediaCore()) : nullptr;
}

}  // namespace gx
