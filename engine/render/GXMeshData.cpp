#include "engine/render/GXMeshData.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "engine/core/GXException.h"

namespace gx {

const TGXVertexElement* TGXMeshData::PositionElement() const {
  for (const TGXVertexElement& e : Layout.Elements())
    if (e.Usage == GXUsagePosition && e.UsageIndex == 0 && e.Type == GXDeclFloat3) return &e;
  return nullptr;
}

uint32_t TGXMeshData::LayoutStride(uint32_t stream) const {
  uint32_t stride = 0;
  for (const TGXVertexElement& e : Layout.Elements())
    if (e.Stream == stream) stride = std::max(stride, uint32_t(e.Offset) + GXDeclTypeSize(e.Type));
  return stride;
}

std::vector<TGXVector3> TGXMeshData::Positions() const {
  std::vector<TGXVector3> positions;
  const TGXVertexElement* p = PositionElement();
  if (!p || p->Stream >= Streams.size()) return positions;
  const TGXMeshStreamData& stream = Streams[p->Stream];
  positions.resize(VertexCount);
  for (uint32_t i = 0; i < VertexCount; ++i) {
    const uint64_t at = (uint64_t(FirstVertex) + i) * stream.Stride + p->Offset;
    if (at + 12 > stream.Data.size()) {
      positions.resize(i);
      break;
    }
    std::memcpy(&positions[i], stream.Data.data() + at, 12);
  }
  return positions;
}

namespace {

[[noreturn]] void Fail(const TGXMeshSerializer& self, const char* operation, const std::string& reason) {
  throw EGXException({TGXExceptionArg::Object(self.ClassName()), operation, reason});
}

}  // namespace

void TGXMeshSerializer::Validate(const TGXMeshData& data, const char* operation) const {
  if (data.VertexCount > GXMaxMeshVertices) Fail(*this, operation, "Too many vertices");
  // Every number goes into the file as a 32-bit Integer.
  if (data.FirstVertex > uint32_t(INT32_MAX)) Fail(*this, operation, "Bad first vertex");
  if (data.Streams.size() > GXMaxVertexStreams) Fail(*this, operation, "Too many streams");
  if (data.Layout.Elements().size() > GXMaxMeshElements) Fail(*this, operation, "Too many elements");
  const std::vector<TGXVertexElement>& elements = data.Layout.Elements();
  for (size_t i = 0; i < elements.size(); ++i) {
    if (elements[i].Stream >= data.Streams.size()) Fail(*this, operation, "Element on a missing stream");
    // A usage and index name one shader input; twice would also make the element order depend
    // on how often the file was written (an equal element is inserted before the other).
    for (size_t j = 0; j < i; ++j)
      if (elements[j].Usage == elements[i].Usage && elements[j].UsageIndex == elements[i].UsageIndex)
        Fail(*this, operation, "Duplicate element");
  }
  const uint64_t drawnEnd = uint64_t(data.FirstVertex) + data.VertexCount;
  for (uint32_t s = 0; s < data.Streams.size(); ++s) {
    const TGXMeshStreamData& stream = data.Streams[s];
    if (stream.Data.size() > size_t(INT32_MAX) || stream.Stride > uint32_t(INT32_MAX))
      Fail(*this, operation, "Stream too large");
    if (stream.Stride == 0 || stream.Stride < data.LayoutStride(s)) Fail(*this, operation, "Bad stride");
    if (drawnEnd * stream.Stride > stream.Data.size()) Fail(*this, operation, "Vertex data too short");
  }
  if (const TGXVertexElement* p = data.PositionElement())
    if (uint32_t(p->Offset) + 12 > data.Streams[p->Stream].Stride)
      Fail(*this, operation, "Bad position offset");
  for (const TGXSubMeshData& sub : data.SubMeshes) {
    if (sub.Indices.size() > size_t(INT32_MAX) / 2) Fail(*this, operation, "Too many indices");
    if (uint64_t(sub.FirstIndex) + sub.IndexCount > sub.Indices.size())
      Fail(*this, operation, "Index range outside");
    for (uint16_t index : sub.Indices)
      if (index >= data.VertexCount) Fail(*this, operation, "Index outside the vertices");
  }
}

TGXMeshData TGXMeshSerializer::Read(TGXStream& s) {
  ReadFileHeader(s);
  TGXMeshData data;
  const int32_t firstVertex = ReadInteger(s);
  const int32_t vertexCount = ReadInteger(s);
  if (firstVertex < 0 || vertexCount < 0) Fail(*this, "ReadMesh", "Negative vertex range");
  if (uint32_t(vertexCount) > GXMaxMeshVertices) Fail(*this, "ReadMesh", "Too many vertices");
  data.FirstVertex = uint32_t(firstVertex);
  data.VertexCount = uint32_t(vertexCount);

  const int32_t elementCount = ReadCount(s, 8);
  // AddElement sorts by insertion, so the count is bounded before the loop.
  if (uint32_t(elementCount) > GXMaxMeshElements) Fail(*this, "ReadMesh", "Too many elements");
  for (int32_t i = 0; i < elementCount; ++i) {
    uint8_t record[8];
    s.ReadBuffer(record, 8);
    const uint16_t stream = uint16_t(record[0] | record[1] << 8);
    // The stored offset (record[2..3]) and method (record[5]) are recomputed and unused.
    if (stream >= GXMaxVertexStreams) Fail(*this, "ReadMesh", "Bad stream number");
    data.Layout.AddElement(stream, record[4], record[6], record[7]);
  }

  const int32_t streamCount = ReadCount(s, 8);
  if (uint32_t(streamCount) > GXMaxVertexStreams) Fail(*this, "ReadMesh", "Too many streams");
  data.Streams.resize(size_t(streamCount));
  for (TGXMeshStreamData& stream : data.Streams) {
    const int32_t byteSize = ReadCount(s, 1);
    const int32_t stride = ReadInteger(s);
    if (stride <= 0) Fail(*this, "ReadMesh", "Bad stride");
    stream.Stride = uint32_t(stride);
    CheckCount(s, byteSize, 1);
    stream.Data.resize(size_t(byteSize));
    s.ReadBuffer(stream.Data.data(), byteSize);
  }

  // FirstIndex, IndexCount, ByteSize and the two bounds.
  const int32_t subMeshCount = ReadCount(s, 12 + 24);
  data.SubMeshes.resize(size_t(subMeshCount));
  for (TGXSubMeshData& sub : data.SubMeshes) {
    const int32_t firstIndex = ReadInteger(s);
    const int32_t indexCount = ReadInteger(s);
    const int32_t byteSize = ReadCount(s, 1);
    if (firstIndex < 0 || indexCount < 0) Fail(*this, "ReadMesh", "Negative index range");
    if (byteSize % 2 != 0) Fail(*this, "ReadMesh", "Odd index size");
    CheckCount(s, int64_t(byteSize) + 24, 1);
    sub.FirstIndex = uint32_t(firstIndex);
    sub.IndexCount = uint32_t(indexCount);
    sub.Indices.resize(size_t(byteSize) / 2);
    s.ReadBuffer(sub.Indices.data(), byteSize);
    sub.BoundsMin = ReadVector3(s);
    sub.BoundsMax = ReadVector3(s);
  }
  Validate(data, "ReadMesh");
  return data;
}

void TGXMeshSerializer::Write(TGXStream& s, const TGXMeshData& data) const {
  Validate(data, "WriteMesh");
  WriteFileHeader(s);
  WriteInteger(s, int32_t(data.FirstVertex));
  WriteInteger(s, int32_t(data.VertexCount));
  const std::vector<TGXVertexElement>& elements = data.Layout.Elements();
  WriteInteger(s, int32_t(elements.size()));
  for (const TGXVertexElement& e : elements) {
    const uint8_t record[8] = {uint8_t(e.Stream),
                               uint8_t(e.Stream >> 8),
                               uint8_t(e.Offset),
                               uint8_t(e.Offset >> 8),
                               e.Type,
                               e.Method,
                               e.Usage,
                               e.UsageIndex};
    s.WriteBuffer(record, 8);
  }
  WriteInteger(s, int32_t(data.Streams.size()));
  for (const TGXMeshStreamData& stream : data.Streams) {
    WriteInteger(s, int32_t(stream.Data.size()));
    WriteInteger(s, int32_t(stream.Stride));
    s.WriteBuffer(stream.Data.data(), int64_t(stream.Data.size()));
  }
  WriteInteger(s, int32_t(data.SubMeshes.size()));
  for (const TGXSubMeshData& sub : data.SubMeshes) {
    WriteInteger(s, int32_t(sub.FirstIndex));
    WriteInteger(s, int32_t(sub.IndexCount));
    WriteInteger(s, int32_t(sub.Indices.size() * 2));
    s.WriteBuffer(sub.Indices.data(), int64_t(sub.Indices.size() * 2));
    WriteVector3(s, sub.BoundsMin);
    WriteVector3(s, sub.BoundsMax);
  }
}

}  // namespace gx
