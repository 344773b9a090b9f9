#include "engine/render/GXXFileImporter.h"

#include "engine/render/GXXFileReader.h"

namespace gx {

TGXXFileImporter::TGXXFileImporter(TGXStream& stream, TGXSceneNode* target) {
  const std::vector<uint8_t> bytes = ReadAll(stream);
  Build(GXReadXFile(bytes.data(), bytes.size()), target);
}

}  // namespace gx
