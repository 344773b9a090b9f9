#pragma once
// The DirectX .x file reader: text, binary and MSZIP-compressed files with 32- or 64-bit floats.
// docs/model-formats.md lists the templates it reads; every other data object is skipped.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/core/GXStream.h"
#include "engine/render/GXModelData.h"

namespace gx {

// The most bytes a compressed .x file may inflate to.
inline constexpr uint32_t GXMaxXFileInflatedSize = 256u << 20;

// Reads the bytes from the stream's position to its end. Every failure raises EUnknownModel
// "Unknown DirectX file.", except a mesh whose vertices pass GXMaxMeshVertices, which raises
// EInvalid32BitModel "32 bit indices not supported.".
TGXModelData GXReadXFile(TGXStream& s);
TGXModelData GXReadXFile(const uint8_t* data, size_t size);

// The body of a compressed file (everything after the 16-byte header) inflated: a 32-bit size
// (16 + inflated size), then MSZIP blocks. Raises EUnknownModel "Unknown DirectX file." for a
// size above GXMaxXFileInflatedSize, a block that does not inflate to exactly its stated size,
// or blocks whose sizes do not add up to the stated size.
std::vector<uint8_t> GXInflateXFileBody(const uint8_t* data, size_t size);

}  // namespace gx
