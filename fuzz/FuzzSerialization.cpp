// The shared binary encodings: 8-bit and wide strings, localized strings, counts and the engine
// file header, read from arbitrary bytes. The first byte chooses what to read, repeatedly, until
// the data runs out.

#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "engine/core/GXException.h"
#include "engine/core/GXSerialization.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  gx::TGXMemoryStreamAdapter stream(const_cast<uint8_t*>(data + 1), static_cast<int64_t>(size - 1));
  gx::TGXSerializer serializer(gx::TGXGuid::Parse("{5DE53BD1-B3E7-4203-BA69-C98A0DADE64F}"), 3);
  gx::TGXLocalizedString localized;
  uint8_t selector = data[0];
  try {
    for (int round = 0; round < 64 && stream.Remaining() > 0; ++round) {
      switch ((selector + round) % 6) {
        case 0:
          gx::ReadAnsiString(stream);
          break;
        case 1:
          gx::ReadWideString(stream);
          break;
        case 2: {
          localized.ReadLocalized(stream);
          gx::TGXMemoryStream copy;
          localized.WriteLocalized(copy);
          copy.SetPosition(0);
          gx::TGXLocalizedString again;
          again.ReadLocalized(copy);
          if (!(again == localized)) __builtin_trap();  // what was read must write back the same
          break;
        }
        case 3:
          serializer.ReadFileHeader(stream, selector & 1);
          break;
        case 4:
          gx::ReadCount(stream, 1 + selector % 40);
          break;
        case 5:
          gx::SplitString(gx::ReadAnsiString(stream), ";");
          break;
      }
    }
  } catch (const std::runtime_error&) {
    // stream read errors and EGXException
  }
  return 0;
}
