#include "engine/media/GXOpenALSoundBackend.h"

#include <AL/al.h>
#include <AL/alc.h>

#include <limits>

namespace gx {

namespace {

ALCdevice* Dev(void* p) { return static_cast<ALCdevice*>(p); }
ALCcontext* Ctx(void* p) { return static_cast<ALCcontext*>(p); }

// A list of NUL-terminated names ended by an empty name.
std::vector<std::string> SplitList(const ALCchar* list) {
  std::vector<std::string> names;
  if (!list) return names;
  while (*list) {
    std::string name(list);
    list += name.size() + 1;
    names.push_back(std::move(name));
  }
  return names;
}

ALenum FormatOf(const TGXPCMFormat& f) {
  if (f.Channels == 1 && f.BitsPerSample == 8) return AL_FORMAT_MONO8;
  if (f.Channels == 1 && f.BitsPerSample == 16) return AL_FORMAT_MONO16;
  if (f.Channels == 2 && f.BitsPerSample == 8) return AL_FORMAT_STEREO8;
  if (f.Channels == 2 && f.BitsPerSample == 16) return AL_FORMAT_STEREO16;
  return 0;
}

}  // namespace

TGXOpenALSoundBackend::~TGXOpenALSoundBackend() { CloseDevice(); }

std::vector<TGXSoundDeviceInfo> TGXOpenALSoundBackend::EnumerateDevices() {
  std::vector<std::string> names;
  const ALCchar* defaultName = nullptr;
  if (alcIsExtensionPresent(nullptr, "ALC_ENUMERATE_ALL_EXT")) {
    names = SplitList(alcGetString(nullptr, ALC_ALL_DEVICES_SPECIFIER));
    defaultName = alcGetString(nullptr, ALC_DEFAULT_ALL_DEVICES_SPECIFIER);
  } else if (alcIsExtensionPresent(nullptr, "ALC_ENUMERATION_EXT")) {
    names = SplitList(alcGetString(nullptr, ALC_DEVICE_SPECIFIER));
    defaultName = alcGetString(nullptr, ALC_DEFAULT_DEVICE_SPECIFIER);
  }
  std::vector<TGXSoundDeviceInfo> devices;
  // Without any device there is no default one either.
  if (names.empty()) return devices;
  devices.push_back({std::nullopt, defaultName && *defaultName ? std::string(defaultName) : names.front()});
  for (std::string& name : names) devices.push_back({name, name});
  return devices;
}

void TGXOpenALSoundBackend::OpenDevice(const std::optional<std::string>& identifier) {
  CloseDevice();
  ALCdevice* device = alcOpenDevice(identifier ? identifier->c_str() : nullptr);
  if (!device) GXRaiseOpenDeviceFailed(alcGetError(nullptr));
  ALCcontext* context = alcCreateContext(device, nullptr);
  if (!context || !alcMakeContextCurrent(context)) {
    const ALCenum code = alcGetError(device);
    if (context) alcDestroyContext(context);
    alcCloseDevice(device);
    GXRaiseDeviceContextFailed(code);
  }
  FDevice = device;
  FContext = context;
  alGetError();
}

void TGXOpenALSoundBackend::CloseDevice() {
  if (!FDevice) return;
  if (alcGetCurrentContext() == Ctx(FContext)) alcMakeContextCurrent(nullptr);
  alcDestroyContext(Ctx(FContext));
  alcCloseDevice(Dev(FDevice));
  FContext = nullptr;
  FDevice = nullptr;
}

TGXSoundHandle TGXOpenALSoundBackend::CreateBuffer(const TGXPCMFormat& format,
                                                   std::span<const uint8_t> data) {
  if (!FDevice) GXRaiseCreateBufferFailed(AL_INVALID_OPERATION);
  const ALenum alFormat = FormatOf(format);
  if (alFormat == 0 || data.size() > static_cast<size_t>(std::numeric_limits<ALsizei>::max()) ||
      format.SamplesPerSec > static_cast<uint32_t>(std::numeric_limits<ALsizei>::max()))
    GXRaiseCreateBufferFailed(AL_INVALID_VALUE);
  alGetError();
  ALuint buffer = 0;
  alGenBuffers(1, &buffer);
  if (ALenum code = alGetError(); code != AL_NO_ERROR || buffer == 0) GXRaiseCreateBufferFailed(code);
  alBufferData(buffer, alFormat, data.data(), static_cast<ALsizei>(data.size()),
               static_cast<ALsizei>(format.SamplesPerSec));
  if (ALenum code = alGetError(); code != AL_NO_ERROR) {
    alDeleteBuffers(1, &buffer);
    alGetError();
    GXRaiseFillBufferFailed(code);
  }
  return buffer;
}

void TGXOpenALSoundBackend::DeleteBuffer(TGXSoundHandle buffer) {
  if (!FDevice || buffer == 0) return;
  ALuint b = buffer;
  alDeleteBuffers(1, &b);
  alGetError();
}

TGXSoundHandle TGXOpenALSoundBackend::CreateSource(TGXSoundHandle buffer) {
  if (!FDevice) return 0;
  alGetError();
  ALuint source = 0;
  alGenSources(1, &source);
  if (alGetError() != AL_NO_ERROR || source == 0) return 0;
  alSourcei(source, AL_LOOPING, AL_TRUE);
  alSourcei(source, AL_SOURCE_RELATIVE, AL_TRUE);
  alSource3f(source, AL_POSITION, 0, 0, 0);
  alSourcef(source, AL_ROLLOFF_FACTOR, 0);
  alSourcei(source, AL_BUFFER, static_cast<ALint>(buffer));
  if (alGetError() != AL_NO_ERROR) {
    alDeleteSources(1, &source);
    alGetError();
    return 0;
  }
  return source;
}

void TGXOpenALSoundBackend::DeleteSource(TGXSoundHandle source) {
  if (!FDevice || source == 0) return;
  ALuint s = source;
  alSourceStop(s);
  alDeleteSources(1, &s);
  alGetError();
}

bool TGXOpenALSoundBackend::Play(TGXSoundHandle source) {
  if (!FDevice) return false;
  alGetError();
  alSourcePlay(source);
  return alGetError() == AL_NO_ERROR;
}

void TGXOpenALSoundBackend::Pause(TGXSoundHandle source) {
  if (!FDevice) return;
  alSourcePause(source);
  alGetError();
}

void TGXOpenALSoundBackend::Stop(TGXSoundHandle source) {
  if (!FDevice) return;
  // Rewinding stops the source and puts it back to its start.
  alSourceRewind(source);
  alGetError();
}

void TGXOpenALSoundBackend::SetGain(TGXSoundHandle source, float gain) {
  if (!FDevice) return;
  alSourcef(source, AL_GAIN, gain);
  alGetError();
}

TGXSoundSourceState TGXOpenALSoundBackend::SourceState(TGXSoundHandle source) {
  if (!FDevice) return {};
  ALint state = AL_INITIAL, offset = 0;
  alGetSourcei(source, AL_SOURCE_STATE, &state);
  alGetSourcei(source, AL_BYTE_OFFSET, &offset);
  alGetError();
  return {state == AL_PLAYING, offset};
}

}  // namespace gx
