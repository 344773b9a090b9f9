// Any input must be refused with "Invalid file" or give a playable format whose sample data lies
// inside the input in whole blocks; a file the reader accepts must also make a sound on the
// recording backend without misuse, and leave nothing behind when the sound goes.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "engine/media/GXRecordingSoundBackend.h"
#include "engine/media/GXWAVFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static gx::TGXRecordingSoundBackend backend;
  static gx::TGXSoundBufferCache buffers(backend);
  if (!backend.DeviceOpen()) backend.OpenDevice(std::nullopt);
  try {
    const gx::TGXWAVData wav = gx::GXReadWAV(std::span<const uint8_t>(data, size));
    const gx::TGXWAVFormat& f = wav.Format;
    if (wav.DataOffset > size || wav.DataSize > size - wav.DataOffset || wav.DataSize == 0) std::abort();
    if (f.Channels < 1 || f.Channels > 2 || (f.BitsPerSample != 8 && f.BitsPerSample != 16)) std::abort();
    if (f.BlockAlign != f.Channels * f.BitsPerSample / 8 || wav.DataSize % f.BlockAlign != 0) std::abort();
  } catch (const gx::EGXException&) {
  }
  try {
    auto stream = std::make_unique<gx::TGXMemoryStream>(std::vector<uint8_t>(data, data + size));
    gx::TGXWAVFile file(buffers, "Fuzz.wav", std::move(stream));
    file.SetVolumeLevel(-1547);
    if (!file.Play()) std::abort();
    file.Pause();
    file.Stop();
  } catch (const gx::EGXException&) {
  }
  if (!backend.Violations().empty() || !backend.Sources().empty() || !backend.Buffers().empty()) std::abort();
  backend.ClearCalls();
  return 0;
}
