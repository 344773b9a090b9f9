#pragma once
// A resource loader that hands out bytes held in memory (sounds made by the tests and benchmarks).

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/GXResourceManager.h"
#include "engine/core/GXStream.h"

namespace mediatest {

class TBytesLoader : public gx::TGXDataLoader {
 public:
  explicit TBytesLoader(std::vector<uint8_t> bytes) : FBytes(std::move(bytes)) {}
  std::unique_ptr<gx::TGXMemoryStream> LoadData() override { return std::make_unique<gx::TGXMemoryStream>(FBytes); }

 private:
  std::vector<uint8_t> FBytes;
};

}  // namespace mediatest
