// The .x reader on a compressed body (the 32-bit size and the MSZIP blocks): the input follows
// the header "xof 0303tzip0032", or "bzip" (binary) when the first byte is odd, which is then
// dropped. Any body must inflate and read into a sound model or end in an exception; never a
// crash, a hang or an inflated size above the limit.
#include <cstdint>
#include <cstring>
#include <exception>
#include <vector>

#include "engine/render/GXXFileReader.h"
#include "fuzz/FuzzModelCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bool binary = size > 0 && (data[0] & 1);
  if (size > 0) ++data, --size;
  std::vector<uint8_t> file(16 + size);
  std::memcpy(file.data(), binary ? "xof 0303bzip0032" : "xof 0303tzip0032", 16);
  if (size) std::memcpy(file.data() + 16, data, size);
  try {
    fuzz::CheckModel(gx::GXReadXFile(file.data(), file.size()));
  } catch (const std::exception&) {
  }
  return 0;
}
