#pragma once
// The 3D Studio (.3ds) chunk-file reader; docs/model-formats.md lists the chunks it reads.

#include <cstddef>
#include <cstdint>

#include "engine/core/GXStream.h"
#include "engine/render/GXModelData.h"

namespace gx {

// Reads the bytes from the stream's position to its end. Raises EUnknownModel "Unknown 3DS file."
// when the first chunk is not a 3DS file or the chunk structure is corrupt (a length below its
// header or past its parent, a count beyond its chunk, an unterminated string, a vertex number
// out of range), and EInvalid32BitModel "32 bit indices not supported." when an object's
// vertices, split for their normals, pass GXMaxMeshVertices.
TGXModelData GXRead3DS(TGXStream& s);
TGXModelData GXRead3DS(const uint8_t* data, size_t size);

}  // namespace gx
