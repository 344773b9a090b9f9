#pragma once
// The device-free model readers: a .3ds or .x file into TGXModelData. Each reader takes the bytes
// from the stream's position to its end and raises on anything it cannot read.

#include "engine/core/GXStream.h"
#include "engine/render/GX3DSReader.h"
#include "engine/render/GXModelData.h"
#include "engine/render/GXXFileReader.h"

namespace gx {

// The 3DS reader, then the .x reader, each from the stream's starting position. When both fail:
// EUnknownModel with the arguments "CreateInstance" and then each reader's own message.
TGXModelData GXReadModel(TGXStream& s);
TGXModelData GXReadModel(const uint8_t* data, size_t size);

}  // namespace gx
