#include "engine/media/GXSound.h"

#include <algorithm>
#include <cmath>

#include "engine/core/GXEngine.h"

namespace gx {

float GXClampSoundVolume(float volume) {
  if (!(volume > 0)) return 0;  // NaN too
  return std::min(volume, 100.0f);
}

int GXSoundVolumeLevel(float volume) {
  const double v = GXClampSoundVolume(volume);
  return static_cast<int>(std::lround(std::log(v + 1) * 2149.8385662239173 - 10000));
}

float GXSoundLevelGain(int level) {
  if (level <= -10000) return 0;
  if (level >= 0) return 1;
  return static_cast<float>(std::pow(10.0, level / 2000.0));
}

// ---- TGXSound -------------------------------------------------------------------------------

TGXSound::TGXSound(TGXWeakRef<TGXResource>* cell, std::string name, bool manual, TGXSoundFactory* factory)
    : TGXResource(cell, std::move(name), manual), FFactory(factory) {
  if (FFactory) FFactory->FSounds.push_back(this);
}

TGXSound::~TGXSound() {
  FSoundFile.reset();
  if (FFactory) FFactory->Forget(this);
}

void TGXSound::SetVolume(float value) {
  FVolume = GXClampSoundVolume(value);
  if (FSoundFile) FSoundFile->SetVolumeLevel(GXSoundVolumeLevel(FVolume));
}

void TGXSound::Play() {
  if (FPlaying || !FSoundFile) return;
  FPlaying = FSoundFile->Play();
}

void TGXSound::Pause() {
  if (!FSoundFile) return;
  FSoundFile->Pause();
  FPlaying = false;
}

void TGXSound::Stop() {
  if (!FSoundFile) return;
  FSoundFile->Stop();
  FPlaying = false;
}

void TGXSound::DoLoad() {
  std::unique_ptr<TGXStream> stream;
  if (IGXDataLoader loader = GetDataLoader()) {
    stream = loader->LoadData();
  } else {
    TGXEngine* engine = Engine();
    if (!engine) throw EInvalidCall({TGXExceptionArg::Object(ClassName()), "DoLoad", "No engine"});
    stream = engine->FileSystem().OpenFile(GetName().Text());
  }
  if (!stream) throw EInvalidCall({TGXExceptionArg::Object(ClassName()), "DoLoad", "No data"});
  if (!FFactory) {
    FSilenceReason = "No sound device";
    return;
  }
  try {
    FSoundFile = std::make_unique<TGXWAVFile>(FFactory->Buffers(), GetName().Text(), std::move(stream));
    FSilenceReason.clear();
  } catch (const std::exception& e) {
    // A sound that cannot play is silent, never an error for its user.
    FSoundFile.reset();
    FSilenceReason = e.what();
  }
}

void TGXSound::Detach(const char* reason) {
  FSoundFile.reset();
  FPlaying = false;
  FFactory = nullptr;
  if (IsLoaded()) FSilenceReason = reason;
}

// ---- TGXSoundFactory ------------------------------------------------------------------------

TGXSoundFactory::TGXSoundFactory(TGXResourceManager* manager, IGXSoundBackend& backend)
    : TGXResourceFactory(manager), FBuffers(backend) {}

TGXSoundFactory::~TGXSoundFactory() { DetachSounds(); }

IGXResource TGXSoundFactory::CreateResource(TSlot* cell, const std::string& name, bool manual) {
  return IGXResource(new TGXSound(cell, name, manual, this));
}

void TGXSoundFactory::DetachSounds() {
  // Detaching never frees a sound, so the list does not change under the loop.
  std::vector<TGXSound*> sounds;
  sounds.swap(FSounds);
  for (TGXSound* s : sounds) s->Detach("Sound device closed");
}

void TGXSoundFactory::Forget(TGXSound* sound) { std::erase(FSounds, sound); }

}  // namespace gx
