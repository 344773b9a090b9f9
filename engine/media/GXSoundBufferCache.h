#pragma once
// Sample buffers shared per file: every sound of the same file name plays from one backend
// buffer (through its own source), which is deleted when the last of them lets go. A file name
// whose data now has another format or length gets a buffer of its own; the old one lives on for
// the sounds that still play it.

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>

#include "engine/media/GXSoundBackend.h"

namespace gx {

class TGXSoundBuffer {
 public:
  TGXSoundBuffer(IGXSoundBackend& backend, TGXSoundHandle handle, const TGXPCMFormat& format, size_t size)
      : FBackend(backend), FHandle(handle), FFormat(format), FSize(size) {}
  ~TGXSoundBuffer() { FBackend.DeleteBuffer(FHandle); }
  TGXSoundBuffer(const TGXSoundBuffer&) = delete;
  TGXSoundBuffer& operator=(const TGXSoundBuffer&) = delete;

  TGXSoundHandle Handle() const { return FHandle; }
  const TGXPCMFormat& Format() const { return FFormat; }
  size_t Size() const { return FSize; }

 private:
  IGXSoundBackend& FBackend;
  TGXSoundHandle FHandle;
  TGXPCMFormat FFormat;
  size_t FSize;
};

class TGXSoundBufferCache {
 public:
  explicit TGXSoundBufferCache(IGXSoundBackend& backend) : FBackend(backend) {}
  TGXSoundBufferCache(const TGXSoundBufferCache&) = delete;
  TGXSoundBufferCache& operator=(const TGXSoundBufferCache&) = delete;

  IGXSoundBackend& Backend() { return FBackend; }
  // The live buffer of the name when its format and length match, else a new buffer with the
  // data (the backend's failures pass on and nothing is remembered).
  std::shared_ptr<TGXSoundBuffer> Acquire(const std::string& name, const TGXPCMFormat& format,
                                          std::span<const uint8_t> data);
  // Buffers alive now.
  int LiveCount() const;

 private:
  IGXSoundBackend& FBackend;
  std::map<std::string, std::weak_ptr<TGXSoundBuffer>> FBuffers;
};

}  // namespace gx
