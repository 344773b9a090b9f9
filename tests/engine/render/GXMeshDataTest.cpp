#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "engine/core/GXException.h"
#include "engine/core/GXStream.h"
#include "engine/render/GXMeshData.h"

namespace gx::test {
namespace {

// A mesh file written field by field, so that tests can store what no writer would.
struct TRawElement {
  uint16_t Stream = 0;
  uint8_t Type = GXDeclFloat3, Usage = GXUsagePosition, UsageIndex = 0;
};
struct TRawStream {
  int32_t ByteSize = -1;  // -1: the size of Data
  int32_t Stride = 0;
  std::vector<uint8_t> Data;
};
struct TRawSubMesh {
  int32_t FirstIndex = 0, IndexCount = 0, ByteSize = -1;  // -1: the size of Indices
  std::vector<uint16_t> Indices;
};
struct TRawMesh {
  int32_t FirstVertex = 0, VertexCount = 0;
  std::vector<TRawElement> Elements;
  std::vector<TRawStream> Streams;
  std::vector<TRawSubMesh> SubMeshes;

  std::vector<uint8_t> Bytes() const {
    TGXMemoryStream s;
    TGXMeshSerializer().WriteFileHeader(s);
    WriteInteger(s, FirstVertex);
    WriteInteger(s, VertexCount);
    WriteInteger(s, int32_t(Elements.size()));
    for (const TRawElement& e : Elements) {
      // A stored offset that must be ignored.
      const uint8_t r[8] = {uint8_t(e.Stream), uint8_t(e.Stream >> 8), 0x77, 0x77, e.Type, 0, e.Usage,
                            e.UsageIndex};
      s.WriteBuffer(r, 8);
    }
    WriteInteger(s, int32_t(Streams.size()));
    for (const TRawStream& st : Streams) {
      WriteInteger(s, st.ByteSize >= 0 ? st.ByteSize : int32_t(st.Data.size()));
      WriteInteger(s, st.Stride);
      s.WriteBuffer(st.Data.data(), int64_t(st.Data.size()));
    }
    WriteInteger(s, int32_t(SubMeshes.size()));
    for (const TRawSubMesh& sub : SubMeshes) {
      WriteInteger(s, sub.FirstIndex);
      WriteInteger(s, sub.IndexCount);
      WriteInteger(s, sub.ByteSize >= 0 ? sub.ByteSize : int32_t(sub.Indices.size() * 2));
      s.WriteBuffer(sub.Indices.data(), int64_t(sub.Indices.size() * 2));
      WriteVector3(s, {0, 0, 0});
      WriteVector3(s, {1, 1, 1});
    }
    return s.Data();
  }
};

// Four vertices (two skipped before FirstVertex) of position, normal and texture coordinate,
// listed in the reverse of their canonical order.
TRawMesh SampleRaw() {
  TRawMesh m;
  m.FirstVertex = 2;
  m.VertexCount = 4;
  m.Elements = {{0, GXDeclFloat2, GXUsageTexCoord, 0},
                {0, GXDeclFloat3, GXUsageNormal, 0},
                {0, GXDeclFloat3, GXUsagePosition, 0}};
  TRawStream stream;
  stream.Stride = 32;
  for (int v = 0; v < 6; ++v) {
    const float vertex[8] = {float(v), float(10 * v), float(100 * v), 0, 1, 0, 0.5f, 0.25f};
    const auto* b = reinterpret_cast<const uint8_t*>(vertex);
    stream.Data.insert(stream.Data.end(), b, b + 32);
  }
  m.Streams = {stream};
  TRawSubMesh a, b;
  a.IndexCount = 3, a.Indices = {0, 1, 2};
  b.FirstIndex = 3, b.IndexCount = 3, b.Indices = {9, 9, 9, 1, 2, 3};
  m.SubMeshes = {a, b};
  return m;
}

TGXMeshData Read(const std::vector<uint8_t>& bytes) {
  TGXMemoryStream s(bytes);
  return TGXMeshSerializer().Read(s);
}

TEST(TGXMeshDataTest, ReadsTheCanonicalLayoutAndWritesTheSameFileBack) {
  std::vector<uint8_t> bytes = SampleRaw().Bytes();
  // The sub-mesh indices 9 lie outside the drawn vertices: refused until they are in range.
  EXPECT_THROW(Read(bytes), EGXException);
  TRawMesh raw = SampleRaw();
  raw.SubMeshes[1].Indices = {3, 3, 3, 1, 2, 3};
  const TGXMeshData data = Read(raw.Bytes());

  ASSERT_EQ(data.Layout.Elements().size(), 3u);
  const uint8_t usages[] = {GXUsagePosition, GXUsageNormal, GXUsageTexCoord};
  const uint16_t offsets[] = {0, 12, 24};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(data.Layout.Elements()[i].Usage, usages[i]);
    EXPECT_EQ(data.Layout.Elements()[i].Offset, offsets[i]);
  }
  EXPECT_EQ(data.FirstVertex, 2u);
  EXPECT_EQ(data.SubMeshes[1].FirstIndex, 3u);
  EXPECT_EQ(data.SubMeshes[1].BoundsMax, TGXVector3(1, 1, 1));
  // Positions start at the first drawn vertex.
  const std::vector<TGXVector3> positions = data.Positions();
  ASSERT_EQ(positions.size(), 4u);
  EXPECT_EQ(positions[0], TGXVector3(2, 20, 200));
  EXPECT_EQ(positions[3], TGXVector3(5, 50, 500));

  TGXMemoryStream written;
  TGXMeshSerializer().Write(written, data);
  TGXMeshData again = Read(written.Data());
  EXPECT_EQ(again.Streams[0].Data, data.Streams[0].Data);
  EXPECT_EQ(again.SubMeshes[1].Indices, data.SubMeshes[1].Indices);
  TGXMemoryStream rewritten;
  TGXMeshSerializer().Write(rewritten, again);
  EXPECT_EQ(rewritten.Data(), written.Data());
}

TEST(TGXMeshDataTest, RefusesFilesThatWouldDrawOrPickOutsideTheirData) {
  TRawMesh valid = SampleRaw();
  valid.SubMeshes[1].Indices = {3, 3, 3, 1, 2, 3};
  ASSERT_NO_THROW(Read(valid.Bytes()));
  const std::vector<std::pair<const char*, std::function<void(TRawMesh&)>>> faults = {
      {"negative vertex count", [](TRawMesh& m) { m.VertexCount = -1; }},
      {"more vertices than 16-bit indices reach", [](TRawMesh& m) { m.VertexCount = 65536; }},
      {"element on a missing stream",
       [](TRawMesh& m) {
         m.Elements.push_back({1, GXDeclColor, GXUsageColor, 0});
       }},
      // A fuzz find: two elements of the same usage and index swapped places on every rewrite.
      {"the same usage and index twice",
       [](TRawMesh& m) {
         m.Elements.push_back({0, GXDeclFloat1, GXUsagePosition, 0});
       }},
      {"stream number of the end marker", [](TRawMesh& m) { m.Elements[0].Stream = 0xFF; }},
      {"unknown element type", [](TRawMesh& m) { m.Elements[0].Type = 40; }},
      {"seventeen streams", [](TRawMesh& m) { m.Streams.resize(17, m.Streams[0]); }},
      {"stride 0", [](TRawMesh& m) { m.Streams[0].Stride = 0; }},
      {"stride below the layout", [](TRawMesh& m) { m.Streams[0].Stride = 28; }},
      {"negative stride", [](TRawMesh& m) { m.Streams[0].Stride = -32; }},
      {"data short of the drawn vertices", [](TRawMesh& m) { m.VertexCount = 5; }},
      {"byte size beyond the file", [](TRawMesh& m) { m.Streams[0].ByteSize = 1 << 30; }},
      {"odd index size", [](TRawMesh& m) { m.SubMeshes[0].ByteSize = 5; }},
      {"index range outside", [](TRawMesh& m) { m.SubMeshes[0].IndexCount = 4; }},
      {"negative first index", [](TRawMesh& m) { m.SubMeshes[0].FirstIndex = -3; }},
      {"index at the vertex count", [](TRawMesh& m) { m.SubMeshes[0].Indices[2] = 4; }},
      {"position pushed past the stride",
       [](TRawMesh& m) {
         m.Elements = {{0, GXDeclFloat4, GXUsageTexCoord, 0},
                       {0, GXDeclFloat3, GXUsagePosition, 0},
                       {0, GXDeclFloat2, GXUsageTexCoord, 1}};
       }},
  };
  for (const auto& [name, fault] : faults) {
    TRawMesh m = valid;
    fault(m);
    EXPECT_ANY_THROW(Read(m.Bytes())) << name;
  }
}

TEST(TGXMeshDataTest, EveryTruncationRaisesAndAHostileCountAllocatesNothing) {
  TRawMesh valid = SampleRaw();
  valid.SubMeshes[1].Indices = {3, 3, 3, 1, 2, 3};
  const std::vector<uint8_t> bytes = valid.Bytes();
  for (size_t size = 0; size < bytes.size(); ++size) {
    const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + ptrdiff_t(size));
    EXPECT_ANY_THROW(Read(cut)) << size;
  }
  // A sub-mesh count of two billion in a short file is refused by the count check.
  std::vector<uint8_t> hostile = bytes;
  // The count, then two sub-meshes of 12 header bytes, 3 and 6 indices and two bounds.
  const size_t at = bytes.size() - (4 + (12 + 6 + 24) + (12 + 12 + 24));
  const int32_t huge = 0x7FFFFFFF;
  std::memcpy(&hostile[at], &huge, 4);
  EXPECT_THROW(Read(hostile), EGXStreamReadError);
}

TEST(TGXMeshDataTest, TheWriterRefusesUnsoundDataBeforeWritingAByte) {
  TGXMeshData data;
  data.VertexCount = 3;
  data.Layout.AddElement(0, GXDeclFloat3, GXUsagePosition, 0);
  data.Streams.push_back({12, std::vector<uint8_t>(36)});
  data.SubMeshes.push_back({0, 3, {0, 1, 2}, {}, {}});
  {
    TGXMemoryStream s;
    EXPECT_NO_THROW(TGXMeshSerializer().Write(s, data));
  }
  const std::vector<std::pair<const char*, std::function<void(TGXMeshData&)>>> faults = {
      {"index outside", [](TGXMeshData& d) { d.SubMeshes[0].Indices[1] = 3; }},
      {"too many vertices", [](TGXMeshData& d) { d.VertexCount = GXMaxMeshVertices + 1; }},
      {"short stream", [](TGXMeshData& d) { d.Streams[0].Data.resize(35); }},
      {"no stream for the element", [](TGXMeshData& d) { d.Streams.clear(); }},
  };
  for (const auto& [name, fault] : faults) {
    TGXMeshData d = data;
    fault(d);
    TGXMemoryStream s;
    EXPECT_THROW(TGXMeshSerializer().Write(s, d), EGXException) << name;
    EXPECT_EQ(s.Size(), 0) << name;
  }
}

}  // namespace
}  // namespace gx::test
