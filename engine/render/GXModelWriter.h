#pragma once
// Deterministic writers of TGXModelData as .3ds and .x files, for the generated base package,
// test fixtures and fuzz seeds. What the readers compute (axis swap, face order, UV flip,
// inverted rotation keys) is undone here, so reading a written file gives the data back; the
// same data always gives the same bytes.

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/core/GXMath.h"
#include "engine/render/GXModelData.h"

namespace gx {

// Builds 3D Studio chunks: Begin writes a tag and a length that End fills in.
class TGX3DSChunkWriter {
 public:
  void Begin(uint16_t tag);
  void End();
  void Word(uint16_t v);
  void Cardinal(uint32_t v);
  void Single(float v);
  void Vector(const TGXVector3& v);  // as stored, no axis swap
  void String(std::string_view utf8);
  void Bytes(const void* data, size_t size);
  const std::vector<uint8_t>& Data() const { return FData; }

 private:
  std::vector<uint8_t> FData;
  std::vector<size_t> FOpen;
};

struct TGX3DSWriteOptions {
  // Every face in smoothing group 1 (smooth shading across shared vertices); else no smoothing
  // chunk, so every face is flat.
  bool Smooth = false;
};

// The meshes as named objects with identity mesh matrices; the sub-meshes' texture names as
// materials ("Material1", ...), a colour name as diffuse colour and transparency; a mesh whose only
// sub-mesh has an empty texture name without material groups. With nodes, a keyframer with one
// object node per node (its transform as first keys, the animation's keys after it); without, none.
// A mesh with more than 65,535 vertices or faces raises EInvalidParameter (the counts are 16 bit).
std::vector<uint8_t> GXWrite3DS(const TGXModelData& model, const TGX3DSWriteOptions& options = {});

enum class EGXXFileForm : uint8_t { Text, Binary, CompressedText, CompressedBinary };

struct TGXXFileWriteOptions {
  EGXXFileForm Form = EGXXFileForm::Text;
  bool Doubles = false;  // "0064": 64-bit floats
};

// Every mesh at the top level (named "Mesh0", ...), nodes as frames with their matrices that
// reference the meshes they show, normals with their own faces, texture coordinates, one material
// per sub-mesh with a texture name, the animation as one AnimationSet. A top-level mesh no frame
// references is read back on the target node, so a mesh both on the target and on a node comes
// back only on the node.
std::vector<uint8_t> GXWriteXFile(const TGXModelData& model, const TGXXFileWriteOptions& options = {});

// The MSZIP body of a compressed .x file: the 32-bit size (16 + body size), then blocks of at most
// 32768 bytes, each raw deflate with the previous block as dictionary.
std::vector<uint8_t> GXDeflateXFileBody(const uint8_t* body, size_t size);

}  // namespace gx
