#pragma once
// The mesh file (.gxmesh) without a device: TGXMeshData holds what a mesh file stores - the drawn
// vertex range, the vertex layout, one byte block per stream and the sub-meshes with their 16-bit
// indices and bounds - and TGXMeshSerializer reads and writes it (docs/mesh-format.md). Meshes
// (GXMesh.h) make their buffers from it and give their contents back as it, so tools, tests and
// fuzz targets work on mesh files without a render device.
//
// Reading trusts nothing: every count is checked against the bytes that remain before anything
// is allocated, and the contents are checked as a whole (Validate) before the data is handed
// out, so a mesh made from read data never draws or picks outside its buffers. Writing checks
// the same before the first byte goes out, so no half-written file is left.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/core/GXMath.h"
#include "engine/core/GXSerialization.h"
#include "engine/render/GXModelData.h"
#include "engine/render/GXVertexLayout.h"

namespace gx {

// A vertex declaration has at most this many elements.
inline constexpr uint32_t GXMaxMeshElements = 64;

struct TGXMeshStreamData {
  uint32_t Stride = 0;
  std::vector<uint8_t> Data;
};

struct TGXSubMeshData {
  uint32_t FirstIndex = 0;
  uint32_t IndexCount = 0;
  std::vector<uint16_t> Indices;
  TGXVector3 BoundsMin, BoundsMax;
};

struct TGXMeshData {
  uint32_t FirstVertex = 0;
  uint32_t VertexCount = 0;
  // Elements in canonical order with the offsets AddElement computes.
  TGXVertexLayoutDecl Layout;
  std::vector<TGXMeshStreamData> Streams;
  std::vector<TGXSubMeshData> SubMeshes;

  // The FLOAT3 POSITION element with usage index 0, or null.
  const TGXVertexElement* PositionElement() const;
  // The bytes one vertex of the stream takes by the layout (0 for a stream without elements).
  uint32_t LayoutStride(uint32_t stream) const;
  // The positions of the drawn vertices (FirstVertex onwards), empty without a position element.
  std::vector<TGXVector3> Positions() const;
};

class TGXMeshSerializer : public TGXSerializer {
 public:
  // {5DE53BD1-B3E7-4203-BA69-C98A0DADE64F}
  static constexpr TGXGuid FileGuid{
      0x5DE53BD1, 0xB3E7, 0x4203, {0xBA, 0x69, 0xC9, 0x8A, 0x0D, 0xAD, 0xE6, 0x4F}};
  static constexpr int32_t FileVersion = 3;

  TGXMeshSerializer() : TGXSerializer(FileGuid, FileVersion) {}
  std::string ClassName() const override { return "TGXMeshSerializer"; }

  // Reads a mesh file from the stream's position. Header faults raise as the header reader does,
  // short data the stream's read error, every other fault EGXException (this, "ReadMesh",
  // reason).
  TGXMeshData Read(TGXStream& s);
  // Validates, then writes the whole file.
  void Write(TGXStream& s, const TGXMeshData& data) const;
  // Raises EGXException (this, operation, reason) unless the data is a sound mesh: at most
  // GXMaxMeshVertices vertices, at most 16 streams, every element on an existing stream, every
  // stride at least its layout's and large enough for the position, every stream holding the
  // drawn vertices, every sub-mesh range inside its indices and every index below VertexCount.
  void Validate(const TGXMeshData& data, const char* operation) const;
};

}  // namespace gx
