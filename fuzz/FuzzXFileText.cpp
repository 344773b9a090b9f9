// The .x reader on a text body: the input follows the header ("xof 0303txt 0032", or with
// 64-bit floats when the first byte is odd, which is then dropped). Any body must read into a
// sound model or end in an exception; never a crash, a hang or a read past the data.
#include <cstdint>
#include <cstring>
#include <exception>
#include <vector>

#include "engine/render/GXXFileReader.h"
#include "fuzz/FuzzModelCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bool doubles = size > 0 && (data[0] & 1);
  if (size > 0) ++data, --size;
  std::vector<uint8_t> file(16 + size);
  std::memcpy(file.data(), doubles ? "xof 0303txt 0064" : "xof 0303txt 0032", 16);
  if (size) std::memcpy(file.data() + 16, data, size);
  try {
    fuzz::CheckModel(gx::GXReadXFile(file.data(), file.size()));
  } catch (const std::exception&) {
  }
  return 0;
}
