// Any input must read into a sound model or end in an exception; never a crash, a hang, a read
// past the data or an allocation beyond a bound of the input's size.
#include <cstdint>
#include <exception>

#include "engine/render/GX3DSReader.h"
#include "fuzz/FuzzModelCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    fuzz::CheckModel(gx::GXRead3DS(data, size));
  } catch (const std::exception&) {
  }
  return 0;
}
