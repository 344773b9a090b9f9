#include "engine/media/GXRecordingSoundBackend.h"

#include <cstdio>

namespace gx {

const char* GXSoundOperationName(TGXSoundOperation op) {
  switch (op) {
    case TGXSoundOperation::Enumerate:
      return "Enumerate";
    case TGXSoundOperation::OpenDevice:
      return "OpenDevice";
    case TGXSoundOperation::DeviceContext:
      return "DeviceContext";
    case TGXSoundOperation::CloseDevice:
      return "CloseDevice";
    case TGXSoundOperation::CreateBuffer:
      return "CreateBuffer";
    case TGXSoundOperation::FillBuffer:
      return "FillBuffer";
    case TGXSoundOperation::DeleteBuffer:
      return "DeleteBuffer";
    case TGXSoundOperation::CreateSource:
      return "CreateSource";
    case TGXSoundOperation::DeleteSource:
      return "DeleteSource";
    case TGXSoundOperation::Play:
      return "Play";
    case TGXSoundOperation::Pause:
      return "Pause";
    case TGXSoundOperation::Stop:
      return "Stop";
    case TGXSoundOperation::SetGain:
      return "SetGain";
  }
  return "?";
}

TGXRecordingSoundBackend::TGXRecordingSoundBackend()
    : FDevices{{std::nullopt, "Standardgerät"}, {"Testgeraet", "Testgerät"}} {}

void TGXRecordingSoundBackend::Advance(int64_t bytes) {
  for (auto& [handle, source] : FSources) {
    if (!source.Playing) continue;
    auto buffer = FBuffers.find(source.Buffer);
    const int64_t size = buffer == FBuffers.end() ? 0 : static_cast<int64_t>(buffer->second.Data.size());
    source.Offset = size > 0 ? (source.Offset + bytes) % size : 0;
  }
}

void TGXRecordingSoundBackend::ClearCalls() {
  FCalls.clear();
  FCallCount = 0;
  FCounts.fill(0);
}

std::string TGXRecordingSoundBackend::Log() const {
  std::string text;
  char line[96];
  for (const TCall& c : FCalls) {
    if (c.Op == TGXSoundOperation::SetGain)
      std::snprintf(line, sizeof line, "%s %u %.6g\n", GXSoundOperationName(c.Op), c.Handle, c.Value);
    else
      std::snprintf(line, sizeof line, "%s %u\n", GXSoundOperationName(c.Op), c.Handle);
    text += line;
  }
  return text;
}

const TGXRecordingSoundBackend::TSource* TGXRecordingSoundBackend::Source(TGXSoundHandle source) const {
  auto it = FSources.find(source);
  return it == FSources.end() ? nullptr : &it->second;
}

const long long* TGXRecordingSoundBackend::Failing(TGXSoundOperation op) const {
  auto it = FFailing.find(op);
  return it == FFailing.end() ? nullptr : &it->second;
}

TGXRecordingSoundBackend::TSource* TGXRecordingSoundBackend::LiveSource(TGXSoundOperation op,
                                                                        TGXSoundHandle source) {
  auto it = FSources.find(source);
  if (it != FSources.end() && FOpen) return &it->second;
  Violation(std::string(GXSoundOperationName(op)) + " on source " + std::to_string(source) +
            " that does not exist");
  return nullptr;
}

std::vector<TGXSoundDeviceInfo> TGXRecordingSoundBackend::EnumerateDevices() {
  Record(TGXSoundOperation::Enumerate);
  if (Failing(TGXSoundOperation::Enumerate)) return {};
  return FDevices;
}

void TGXRecordingSoundBackend::OpenDevice(const std::optional<std::string>& identifier) {
  Record(TGXSoundOperation::OpenDevice);
  if (FOpen) Violation("OpenDevice while a device is open");
  if (const long long* code = Failing(TGXSoundOperation::OpenDevice)) GXRaiseOpenDeviceFailed(*code);
  if (const long long* code = Failing(TGXSoundOperation::DeviceContext)) GXRaiseDeviceContextFailed(*code);
  FOpen = true;
  FOpenedIdentifier = identifier;
}

void TGXRecordingSoundBackend::CloseDevice() {
  if (!FOpen) return;
  Record(TGXSoundOperation::CloseDevice);
  if (!FSources.empty() || !FBuffers.empty())
    Violation("CloseDevice with " + std::to_string(FSources.size()) + " sources and " +
              std::to_string(FBuffers.size()) + " buffers alive");
  FSources.clear();
  FBuffers.clear();
  FOpen = false;
  FOpenedIdentifier.reset();
}

TGXSoundHandle TGXRecordingSoundBackend::CreateBuffer(const TGXPCMFormat& format,
                                                      std::span<const uint8_t> data) {
  Record(TGXSoundOperation::CreateBuffer, 0, static_cast<double>(data.size()));
  if (!FOpen) Violation("CreateBuffer without a device");
  if (const long long* code = Failing(TGXSoundOperation::CreateBuffer)) GXRaiseCreateBufferFailed(*code);
  if (const long long* code = Failing(TGXSoundOperation::FillBuffer)) GXRaiseFillBufferFailed(*code);
  const size_t frame = size_t{format.Channels} * (format.BitsPerSample / 8);
  if (frame == 0 || data.size() % frame != 0) Violation("CreateBuffer with a partial sample frame");
  const TGXSoundHandle handle = FNextHandle++;
  FBuffers[handle] = TBuffer{format, std::vector<uint8_t>(data.begin(), data.end())};
  return handle;
}

void TGXRecordingSoundBackend::DeleteBuffer(TGXSoundHandle buffer) {
  Record(TGXSoundOperation::DeleteBuffer, buffer);
  if (!FBuffers.count(buffer)) {
    Violation("DeleteBuffer of buffer " + std::to_string(buffer) + " that does not exist");
    return;
  }
  for (const auto& [handle, source] : FSources)
    if (source.Buffer == buffer)
      Violation("DeleteBuffer of buffer " + std::to_string(buffer) + " still used by a source");
  FBuffers.erase(buffer);
}

TGXSoundHandle TGXRecordingSoundBackend::CreateSource(TGXSoundHandle buffer) {
  Record(TGXSoundOperation::CreateSource, buffer);
  if (!FBuffers.count(buffer))
    Violation("CreateSource on buffer " + std::to_string(buffer) + " that does not exist");
  if (Failing(TGXSoundOperation::CreateSource) || static_cast<int>(FSources.size()) >= FSourceLimit) return 0;
  const TGXSoundHandle handle = FNextHandle++;
  FSources[handle] = TSource{buffer};
  return handle;
}

void TGXRecordingSoundBackend::DeleteSource(TGXSoundHandle source) {
  Record(TGXSoundOperation::DeleteSource, source);
  if (LiveSource(TGXSoundOperation::DeleteSource, source)) FSources.erase(source);
}

bool TGXRecordingSoundBackend::Play(TGXSoundHandle source) {
  Record(TGXSoundOperation::Play, source);
  TSource* s = LiveSource(TGXSoundOperation::Play, source);
  if (!s || Failing(TGXSoundOperation::Play)) return false;
  s->Playing = true;
  return true;
}

void TGXRecordingSoundBackend::Pause(TGXSoundHandle source) {
  Record(TGXSoundOperation::Pause, source);
  if (TSource* s = LiveSource(TGXSoundOperation::Pause, source)) s->Playing = false;
}

void TGXRecordingSoundBackend::Stop(TGXSoundHandle source) {
  Record(TGXSoundOperation::Stop, source);
  if (TSource* s = LiveSource(TGXSoundOperation::Stop, source)) {
    s->Playing = false;
    s->Offset = 0;
  }
}

void TGXRecordingSoundBackend::SetGain(TGXSoundHandle source, float gain) {
  Record(TGXSoundOperation::SetGain, source, gain);
  if (TSource* s = LiveSource(TGXSoundOperation::SetGain, source)) s->Gain = gain;
}

TGXSoundSourceState TGXRecordingSoundBackend::SourceState(TGXSoundHandle source) {
  const TSource* s = Source(source);
  return s ? TGXSoundSourceState{s->Playing, s->Offset} : TGXSoundSourceState{};
}

}  // namespace gx
