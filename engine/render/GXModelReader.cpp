#include "engine/render/GXModelReader.h"

#include <algorithm>
#include <exception>

#include "engine/core/GXException.h"

namespace gx {

namespace {

// A reader's reason as one argument: an engine exception's arguments, else its message.
std::string Reason(const std::exception& e) {
  if (const auto* gx = dynamic_cast<const EGXException*>(&e)) return FormatExceptionArgs(gx->Args());
  return e.what();
}

}  // namespace

TGXModelData GXReadModel(TGXStream& s) {
  const int64_t size = s.Remaining();
  std::vector<uint8_t> data(size_t(std::max<int64_t>(size, 0)));
  if (size > 0) s.ReadBuffer(data.data(), size);
  return GXReadModel(data.data(), data.size());
}

TGXModelData GXReadModel(const uint8_t* data, size_t size) {
  std::string reason3DS;
  try {
    return GXRead3DS(data, size);
  } catch (const std::exception& e) {
    reason3DS = Reason(e);
  }
  try {
    return GXReadXFile(data, size);
  } catch (const std::exception& e) {
    throw EUnknownModel({"CreateInstance", reason3DS, Reason(e)});
  }
}

}  // namespace gx
