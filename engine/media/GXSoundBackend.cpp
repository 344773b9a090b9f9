#include "engine/media/GXSoundBackend.h"

#include "engine/core/GXException.h"

namespace gx {

// The texts are those the program has always reported for the matching steps of opening a device
// and making a sample buffer, so logs and tests read the same on every platform; the last
// argument is the audio library's own error code.

void GXRaiseOpenDeviceFailed(long long code) {
  throw EDirectSound(
      {TGXExceptionArg::Object("TGXMediaCore"), "CreateSound", "DirectSoundCreate8 failed", code});
}

void GXRaiseDeviceContextFailed(long long code) {
  throw EDirectSound(
      {TGXExceptionArg::Object("TGXMediaCore"), "CreateSound", "SetCooperativeLevel failed", code});
}

void GXRaiseCreateBufferFailed(long long code) {
  throw EDirectSound(
      {TGXExceptionArg::Object("TGXWAVFile"), "CreateSoundBuffer", "CreateSoundBuffer failed", code});
}

void GXRaiseFillBufferFailed(long long code) {
  throw EDirectSound({TGXExceptionArg::Object("TGXWAVFile"), "CreateSoundBuffer", "Lock failed", code});
}

}  // namespace gx
