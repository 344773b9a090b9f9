#pragma once
// The importer of 3D Studio (.3ds) files: the 3DS reader plus the model builder.

#include "engine/render/GXModel.h"

namespace gx {

class TGX3DSImporter : public TGXModelImporter {
 public:
  // Imports the data from the stream's position to its end, or raises (EUnknownModel
  // "Unknown 3DS file.", EInvalid32BitModel, the stream's read error). Without a target node no
  // nodes, entities or animation are made.
  TGX3DSImporter(TGXStream& stream, TGXSceneNode* target);
};

}  // namespace gx
