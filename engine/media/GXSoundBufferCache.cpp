#include "engine/media/GXSoundBufferCache.h"

namespace gx {

std::shared_ptr<TGXSoundBuffer> TGXSoundBufferCache::Acquire(const std::string& name,
                                                             const TGXPCMFormat& format,
                                                             std::span<const uint8_t> data) {
  std::weak_ptr<TGXSoundBuffer>& entry = FBuffers[name];
  if (std::shared_ptr<TGXSoundBuffer> live = entry.lock())
    if (live->Format() == format && live->Size() == data.size()) return live;
  // Entries of buffers that died are dropped here, so the map never outgrows the names in use.
  std::erase_if(FBuffers, [&](const auto& e) { return e.second.expired() && &e.second != &entry; });
  const TGXSoundHandle handle = FBackend.CreateBuffer(format, data);
  std::shared_ptr<TGXSoundBuffer> buffer;
  try {
    buffer = std::make_shared<TGXSoundBuffer>(FBackend, handle, format, data.size());
  } catch (...) {
    FBackend.DeleteBuffer(handle);
    throw;
  }
  entry = buffer;
  return buffer;
}

int TGXSoundBufferCache::LiveCount() const {
  int n = 0;
  for (const auto& [name, buffer] : FBuffers) n += !buffer.expired();
  return n;
}

}  // namespace gx
