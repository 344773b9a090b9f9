#pragma once
// Sounds: resources of the kind IGXSound that play a WAV file in a loop at a volume of 0 ... 100.
// The sound factory exists only while the media core has a device open; it knows every sound it
// made (shared and unique ones), so closing the device silences them and frees their device
// objects before the device goes. Such a sound stays usable and silent.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/GXResourceManager.h"
#include "engine/media/GXSoundBufferCache.h"
#include "engine/media/GXWAVFile.h"

namespace gx {

// {CCB28391-680B-49BC-83B7-5D43CEBFFA4E}
inline constexpr TGXGuid IID_IGXSound{
    0xCCB28391, 0x680B, 0x49BC, {0x83, 0xB7, 0x5D, 0x43, 0xCE, 0xBF, 0xFA, 0x4E}};

// The volume rule. A volume is clamped to 0 ... 100 (NaN gives 0); its level in hundredths of a
// decibel is round(ln(volume + 1) x 2149.8385662239173 - 10000), so 0 gives -10000 (silence), 50
// gives -1547 and 100 gives -78; the device takes the level as the amplitude factor
// 10^(level / 2000), with -10000 (and below) as exactly 0.
float GXClampSoundVolume(float volume);
int GXSoundVolumeLevel(float volume);
float GXSoundLevelGain(int level);

class TGXSoundFactory;

class TGXSound : public TGXResource {
 public:
  static constexpr TGXGuid IID = IID_IGXSound;

  TGXSound(TGXWeakRef<TGXResource>* cell, std::string name, bool manual, TGXSoundFactory* factory);
  std::string ClassName() const override { return "TGXSound"; }

  // True once the device plays the sound; a silent sound never plays.
  bool IsPlaying() const { return FPlaying; }
  float GetVolume() const { return FVolume; }
  // Stores the clamped volume and gives its level to the device when it differs from the last.
  void SetVolume(float value);
  // Starts the sound when it is not playing (callers may call it every frame).
  void Play();
  // Stops it where it is; the next Play continues from there.
  void Pause();
  // Stops it and rewinds; the next Play starts from the beginning.
  void Stop();

  // The sound data on the device; null for a silent sound (not loaded, not a readable WAV file,
  // no free source, or its device closed).
  TGXSoundFile* SoundFile() const { return FSoundFile.get(); }
  // Why a loaded sound is silent (the discarded error's text); empty otherwise.
  const std::string& SilenceReason() const { return FSilenceReason; }

 protected:
  ~TGXSound() override;
  // Opens the file of the sound's name (its data loader's bytes when it has one) through the
  // engine's file system; that failure passes out. A file that is not a playable WAV file, or a
  // device that cannot take it, leaves the sound loaded and silent.
  void DoLoad() override;

 private:
  friend class TGXSoundFactory;
  // The device closes: stop, free the device objects, become silent.
  void Detach(const char* reason);

  TGXSoundFactory* FFactory;
  std::unique_ptr<TGXSoundFile> FSoundFile;
  bool FPlaying = false;
  float FVolume = 0;
  std::string FSilenceReason;
};
using IGXSound = TGXRef<TGXSound>;

class TGXSoundFactory : public TGXResourceFactory {
 public:
  TGXSoundFactory(TGXResourceManager* manager, IGXSoundBackend& backend);
  // Silences every sound still alive, then unregisters.
  ~TGXSoundFactory() override;

  TGXGuid GetResourceKind() const override { return IID_IGXSound; }
  IGXResource CreateResource(TSlot* cell, const std::string& name, bool manual) override;

  TGXSoundBufferCache& Buffers() { return FBuffers; }
  // Sounds alive that this factory made, unique ones included.
  int SoundCount() const { return static_cast<int>(FSounds.size()); }
  // Stops and frees the device objects of every sound; they stay alive and silent.
  void DetachSounds();

 private:
  friend class TGXSound;
  void Forget(TGXSound* sound);

  TGXSoundBufferCache FBuffers;
  std::vector<TGXSound*> FSounds;
};

}  // namespace gx
