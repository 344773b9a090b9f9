#include "engine/render/GX3DSImporter.h"

#include "engine/render/GX3DSReader.h"

namespace gx {

TGX3DSImporter::TGX3DSImporter(TGXStream& stream, TGXSceneNode* target) {
  const std::vector<uint8_t> bytes = ReadAll(stream);
  TGXModelData data = GXRead3DS(bytes.data(), bytes.size());
  // The keyframer's animation only drives the nodes it came with.
  if (!target) data.HasAnimation = false;
  Build(data, target);
}

}  // namespace gx
