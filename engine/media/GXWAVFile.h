#pragma once
// Decoded sound data and the WAV files that supply it.
//
// GXReadWAV reads the subset of RIFF WAVE files the program plays: integer PCM (format tag 1, or
// the extensible tag 0xFFFE with a PCM sub-format), one or two channels, 8 or 16 bits, 1 ...
// 384000 samples per second, block align = channels x bits / 8. Every chunk size is checked
// against the bytes that remain before it is used; anything else is "Invalid file"
// (EGXException: TGXWAVFile, "Create", "Invalid file"). See docs/sound.md.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/core/GXException.h"
#include "engine/core/GXStream.h"
#include "engine/media/GXSoundBackend.h"
#include "engine/media/GXSoundBufferCache.h"

namespace gx {

inline constexpr uint16_t GXWaveFormatPCM = 1;
inline constexpr uint16_t GXWaveFormatExtensible = 0xFFFE;
// Sample data beyond this is refused: a running sound is a loop of seconds, and the whole data
// goes into one device buffer.
inline constexpr size_t GXMaxWAVDataSize = size_t{256} << 20;

// The format record as the file stores it (its first 18 bytes; a 16-byte format chunk leaves
// ExtraSize 0, a longer one is cut to the record).
struct TGXWAVFormat {
  uint16_t FormatTag = 0;
  uint16_t Channels = 0;
  uint32_t SamplesPerSec = 0;
  uint32_t AvgBytesPerSec = 0;
  uint16_t BlockAlign = 0;
  uint16_t BitsPerSample = 0;
  uint16_t ExtraSize = 0;
};

struct TGXWAVData {
  TGXWAVFormat Format;
  // The sample data within the file, cut to whole blocks (never empty).
  size_t DataOffset = 0;
  size_t DataSize = 0;

  TGXPCMFormat PCMFormat() const { return {Format.Channels, Format.BitsPerSample, Format.SamplesPerSec}; }
};

// Reads the format and finds the sample data of a WAV file in memory. Raises "Invalid file".
TGXWAVData GXReadWAV(std::span<const uint8_t> bytes);
// A plain PCM WAV file ("fmt " of 16 bytes, then "data") with the samples, which must be whole
// sample frames of the format; EInvalidParameter for a format GXReadWAV refuses.
std::vector<uint8_t> GXWriteWAV(const TGXPCMFormat& format, std::span<const uint8_t> samples);

// Sound data on the device, as a sound plays it.
class TGXSoundFile {
 public:
  virtual ~TGXSoundFile() = default;
  // Plays from the current position, looping; true once the device plays it.
  virtual bool Play() = 0;
  // Stops where it is; the next Play continues there.
  virtual void Pause() = 0;
  // Stops and rewinds; the next Play starts from the beginning.
  virtual void Stop() = 0;
  // Sets the level in hundredths of a decibel (-10000 silence ... 0 the data's own level).
  virtual void SetVolumeLevel(int level) = 0;
};

// A WAV file on the device: the file's shared sample buffer and a source of its own.
class TGXWAVFile : public TGXSoundFile {
 public:
  enum class TState : uint8_t { Stopped, Playing, Paused };

  // Reads the whole stream from its beginning and takes the buffer for name (shared with other
  // sounds of that name) and a new source. The stream is freed in any case. Raises "Invalid
  // file", the backend's buffer failures, and EDirectSound (TGXWAVFile, "CreateSoundBuffer", "No
  // free source") when the device has no source left. Nothing stays allocated when it raises.
  TGXWAVFile(TGXSoundBufferCache& buffers, const std::string& name, std::unique_ptr<TGXStream> stream);
  // Stops the sound and frees its source and its share of the buffer.
  ~TGXWAVFile() override;
  TGXWAVFile(const TGXWAVFile&) = delete;
  TGXWAVFile& operator=(const TGXWAVFile&) = delete;

  const TGXWAVFormat& Format() const { return FFormat; }
  TGXSoundHandle Buffer() const { return FBuffer->Handle(); }
  TGXSoundHandle Source() const { return FSource; }
  TState State() const { return FState; }
  // The level last given to the device; 0 (full) until SetVolumeLevel.
  int VolumeLevel() const { return FLevel; }

  // Each calls the device only when it changes something: Play when not playing, Pause when
  // playing, Stop when not already at the start, SetVolumeLevel when the level differs.
  bool Play() override;
  void Pause() override;
  void Stop() override;
  void SetVolumeLevel(int level) override;

 private:
  IGXSoundBackend& FBackend;
  TGXWAVFormat FFormat;
  std::shared_ptr<TGXSoundBuffer> FBuffer;
  TGXSoundHandle FSource = 0;
  TState FState = TState::Stopped;
  int FLevel = 0;
};

}  // namespace gx
