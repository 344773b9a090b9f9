#include "engine/media/GXWAVFile.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "engine/core/GXException.h"
#include "engine/media/GXSound.h"

namespace gx {

namespace {

[[noreturn]] void InvalidFile() {
  throw EGXException({TGXExceptionArg::Object("TGXWAVFile"), "Create", "Invalid file"});
}

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
bool IsId(const uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

struct TChunk {
  size_t Offset;  // of the chunk's content
  size_t Size;
};

// The first chunk with the id among the chunks from pos up to end, leaving pos after it. Every
// chunk passed over must fit into what is left; chunks are padded to even sizes (a missing pad
// byte at the very end is tolerated).
std::optional<TChunk> FindChunk(std::span<const uint8_t> bytes, size_t& pos, size_t end, const char* id) {
  while (pos <= end && end - pos >= 8) {
    const uint8_t* header = bytes.data() + pos;
    const size_t size = U32(header + 4);
    if (size > end - pos - 8) InvalidFile();
    const TChunk chunk{pos + 8, size};
    pos = std::min(chunk.Offset + size + (size & 1), end);
    if (IsId(header, id)) return chunk;
  }
  return std::nullopt;
}

}  // namespace

TGXWAVData GXReadWAV(std::span<const uint8_t> bytes) {
  const uint8_t* p = bytes.data();
  if (bytes.size() < 12 || !IsId(p, "RIFF") || !IsId(p + 8, "WAVE")) InvalidFile();
  const size_t riffSize = U32(p + 4);
  if (riffSize < 4 || riffSize > bytes.size() - 8) InvalidFile();
  const size_t end = 8 + riffSize;
  size_t pos = 12;

  const std::optional<TChunk> fmt = FindChunk(bytes, pos, end, "fmt ");
  if (!fmt || fmt->Size < 16) InvalidFile();
  const uint8_t* f = p + fmt->Offset;
  TGXWAVData wav;
  TGXWAVFormat& format = wav.Format;
  format.FormatTag = U16(f);
  format.Channels = U16(f + 2);
  format.SamplesPerSec = U32(f + 4);
  format.AvgBytesPerSec = U32(f + 8);
  format.BlockAlign = U16(f + 12);
  format.BitsPerSample = U16(f + 14);
  format.ExtraSize = fmt->Size >= 18 ? U16(f + 16) : 0;

  bool pcm = format.FormatTag == GXWaveFormatPCM;
  if (format.FormatTag == GXWaveFormatExtensible) {
    // The extension: valid bits, channel mask, then the sub-format GUID whose first two bytes
    // name the format the way a plain tag does.
    if (fmt->Size < 40 || format.ExtraSize < 22) InvalidFile();
    pcm = U16(f + 24) == GXWaveFormatPCM;
  }
  if (!pcm || format.Channels < 1 || format.Channels > 2 ||
      (format.BitsPerSample != 8 && format.BitsPerSample != 16) || format.SamplesPerSec < 1 ||
      format.SamplesPerSec > 384000 || format.BlockAlign != format.Channels * format.BitsPerSample / 8)
    InvalidFile();

  const std::optional<TChunk> data = FindChunk(bytes, pos, end, "data");
  if (!data) InvalidFile();
  const size_t whole = data->Size - data->Size % format.BlockAlign;
  if (whole == 0 || whole > GXMaxWAVDataSize) InvalidFile();
  wav.DataOffset = data->Offset;
  wav.DataSize = whole;
  return wav;
}

std::vector<uint8_t> GXWriteWAV(const TGXPCMFormat& format, std::span<const uint8_t> samples) {
  const uint32_t block = uint32_t{format.Channels} * format.BitsPerSample / 8;
  if (format.Channels < 1 || format.Channels > 2 ||
      (format.BitsPerSample != 8 && format.BitsPerSample != 16) || format.SamplesPerSec < 1 ||
      format.SamplesPerSec > 384000 || samples.empty() || samples.size() % block != 0 ||
      samples.size() > GXMaxWAVDataSize)
    throw EInvalidParameter({TGXExceptionArg::Object("TGXWAVFile"), "Write", "Unsupported format"});
  std::vector<uint8_t> out;
  out.reserve(44 + samples.size() + 1);
  auto id = [&](const char* s) { out.insert(out.end(), s, s + 4); };
  auto u16 = [&](uint32_t v) {
    out.push_back(v & 0xFF);
    out.push_back(v >> 8 & 0xFF);
  };
  auto u32 = [&](uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  };
  const uint32_t size = static_cast<uint32_t>(samples.size());
  id("RIFF");
  u32(4 + 24 + 8 + size + (size & 1));
  id("WAVE");
  id("fmt ");
  u32(16);
  u16(GXWaveFormatPCM);
  u16(format.Channels);
  u32(format.SamplesPerSec);
  u32(format.SamplesPerSec * block);
  u16(block);
  u16(format.BitsPerSample);
  id("data");
  u32(size);
  out.insert(out.end(), samples.begin(), samples.end());
  if (size & 1) out.push_back(0);
  return out;
}

TGXWAVFile::TGXWAVFile(TGXSoundBufferCache& buffers, const std::string& name,
                       std::unique_ptr<TGXStream> stream)
    : FBackend(buffers.Backend()) {
  if (!stream) InvalidFile();
  std::vector<uint8_t> copy;
  std::span<const uint8_t> bytes;
  if (auto* memory = dynamic_cast<TGXMemoryStream*>(stream.get())) {
    bytes = memory->Data();
  } else {
    // Room for the largest data accepted and generous headers around it.
    const int64_t size = stream->Size();
    if (size < 0 || size > static_cast<int64_t>(GXMaxWAVDataSize + (size_t{1} << 20))) InvalidFile();
    copy.resize(static_cast<size_t>(size));
    stream->Seek(0, TGXSeekOrigin::Begin);
    if (stream->Read(copy.data(), size) != size) InvalidFile();
    bytes = copy;
  }
  const TGXWAVData wav = GXReadWAV(bytes);
  FFormat = wav.Format;
  FBuffer = buffers.Acquire(name, wav.PCMFormat(), bytes.subspan(wav.DataOffset, wav.DataSize));
  FSource = FBackend.CreateSource(FBuffer->Handle());
  if (FSource == 0)
    throw EDirectSound({TGXExceptionArg::Object("TGXWAVFile"), "CreateSoundBuffer", "No free source"});
}

TGXWAVFile::~TGXWAVFile() {
  if (FState != TState::Stopped) FBackend.Stop(FSource);
  FBackend.DeleteSource(FSource);
  // The buffer goes after the source that plays it (member order).
}

bool TGXWAVFile::Play() {
  if (FState == TState::Playing) return true;
  if (!FBackend.Play(FSource)) return false;
  FState = TState::Playing;
  return true;
}

void TGXWAVFile::Pause() {
  if (FState != TState::Playing) return;
  FBackend.Pause(FSource);
  FState = TState::Paused;
}

void TGXWAVFile::Stop() {
  if (FState == TState::Stopped) return;
  FBackend.Stop(FSource);
  FState = TState::Stopped;
}

void TGXWAVFile::SetVolumeLevel(int level) {
  if (level == FLevel) return;
  FLevel = level;
  FBackend.SetGain(FSource, GXSoundLevelGain(level));
}

}  // namespace gx
