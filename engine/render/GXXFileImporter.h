#pragma once
// The importer of DirectX (.x) files: the .x reader plus the model builder.

#include "engine/render/GXModel.h"

namespace gx {

class TGXXFileImporter : public TGXModelImporter {
 public:
  // Imports the data from the stream's position to its end, or raises (EUnknownModel
  // "Unknown DirectX file.", EInvalid32BitModel "32 bit indices not supported."). Without a
  // target node no nodes or entities are made; the animation still is.
  TGXXFileImporter(TGXStream& stream, TGXSceneNode* target);
};

}  // namespace gx
