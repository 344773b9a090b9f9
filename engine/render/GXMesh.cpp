#include "engine/render/GXMesh.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/core/GXEngine.h"
#include "engine/core/GXException.h"
#include "engine/core/GXGeometry.h"
#include "engine/render/GXGeometryBuffers.h"
#include "engine/render/GXRenderCore.h"

namespace gx {

namespace {

TGXRenderCore& CoreFor(const TGXMesh& mesh, const char* operation) {
  TGXRenderCore* core = GXCurrentRenderCore();
  if (!core) throw EInvalidCall({TGXExceptionArg::Object(mesh.ClassName()), operation, "No render core"});
  return *core;
}

// Mesh buffers are always made by the GL device; anything else is a caller's mistake.
const TGXGLVertexBuffer* GLVertices(const TGXMesh& mesh, const TGXDeviceVertexBuffer* buffer,
                                    const char* operation) {
  if (!buffer) return nullptr;
  auto gl = dynamic_cast<const TGXGLVertexBuffer*>(buffer);
  if (!gl)
    throw EInvalidCall({TGXExceptionArg::Object(mesh.ClassName()), operation, "Foreign vertex buffer"});
  return gl;
}

const TGXGLIndexBuffer* GLIndices(const TGXMesh& mesh, const TGXDeviceIndexBuffer* buffer,
                                  const char* operation) {
  if (!buffer) return nullptr;
  auto gl = dynamic_cast<const TGXGLIndexBuffer*>(buffer);
  if (!gl) throw EInvalidCall({TGXExceptionArg::Object(mesh.ClassName()), operation, "Foreign index buffer"});
  return gl;
}

TGXRef<TGXDeviceIndexBuffer> MakeIndexBuffer(TGXRenderCore* core, const std::vector<uint16_t>& indices) {
  if (indices.empty()) return nullptr;
  return TGXRef<TGXDeviceIndexBuffer>(GXCreateIndexBuffer(core->Device(), indices).Get());
}

void MergeBounds(TGXVector3& min, TGXVector3& max, const TGXVector3& otherMin, const TGXVector3& otherMax) {
  min = GXVec3Minimize(min, otherMin);
  max = GXVec3Maximize(max, otherMax);
}

}  // namespace

TGXMesh::TGXMesh(TGXWeakRef<TGXResource>* cell, std::string name, bool manual)
    : TGXResource(cell, std::move(name), manual) {}

TGXMesh::~TGXMesh() = default;

void TGXMesh::SetUsage(uint32_t value) {
  GX_ASSERT(IsUnloaded());
  FUsage = value;
}

void TGXMesh::SetPool(uint32_t value) {
  GX_ASSERT(IsUnloaded());
  FPool = value;
}

TGXSubMesh* TGXMesh::SubMesh(int index) const {
  if (index < 0 || index >= SubMeshCount())
    throw EInvalidParameter({TGXExceptionArg::Object(ClassName()), "SubMesh", index});
  return FSubMeshes[size_t(index)].get();
}

TGXSubMesh* TGXMesh::AddSubMesh() {
  FSubMeshes.push_back(std::make_unique<TGXSubMesh>(this));
  ++FRevision;
  return FSubMeshes.back().get();
}

void TGXMesh::RemoveSubMesh(TGXSubMesh* subMesh) {
  for (size_t i = 0; i < FSubMeshes.size(); ++i) {
    if (FSubMeshes[i].get() != subMesh) continue;
    if (i + 1 != FSubMeshes.size()) std::swap(FSubMeshes[i], FSubMeshes.back());
    FSubMeshes.pop_back();
    ++FRevision;
    return;
  }
}

void TGXMesh::CalculateBounds() {
  if (FSubMeshes.empty()) {
    FBoundsMin = FBoundsMax = TGXVector3(0, 0, 0);
    return;
  }
  FBoundsMin = FSubMeshes[0]->BoundsMin;
  FBoundsMax = FSubMeshes[0]->BoundsMax;
  for (const auto& sub : FSubMeshes) MergeBounds(FBoundsMin, FBoundsMax, sub->BoundsMin, sub->BoundsMax);
}

void TGXMesh::SetPositions(const void* data, size_t size, uint32_t stride, uint32_t offset) {
  FPositions.clear();
  if (!data || stride == 0 || uint64_t(offset) + 12 > stride) return;
  const size_t count = size / stride;
  FPositions.resize(count);
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < count; ++i) std::memcpy(&FPositions[i], bytes + i * stride + offset, 12);
}

bool TGXMesh::RayIntersect(const TGXVector3& origin, const TGXVector3& direction, TGXVector3& normal,
                           TGXVector3& hit, bool cullBackFaces) const {
  const size_t positionCount = FPositions.size();
  if (positionCount == 0 || !GXIsFinite(origin) || !GXIsFinite(direction)) return false;
  bool found = false;
  float best = std::numeric_limits<float>::infinity();
  TGXVector3 bestNormal, bestPoint;
  const TGXVector3* p = FPositions.data();
  for (const auto& sub : FSubMeshes) {
    const std::vector<uint16_t>& indices = sub->Indices;
    const uint64_t first = std::min<uint64_t>(sub->IndexGeometry.FirstIndex, indices.size());
    const uint64_t end = std::min<uint64_t>(first + sub->IndexGeometry.IndexCount, indices.size());
    for (uint64_t i = first; i + 3 <= end; i += 3) {
      const uint16_t i0 = indices[i], i1 = indices[i + 1], i2 = indices[i + 2];
      if (i0 >= positionCount || i1 >= positionCount || i2 >= positionCount) continue;
      const TGXVector3 &p0 = p[i0], &p1 = p[i1], &p2 = p[i2];
      // A quick filter with the arithmetic of the exact test and a small tolerance: most
      // triangles end here, and RayTriangle decides the few left (the same result as testing
      // every triangle with it, at a fraction of the cost).
      const TGXVector3 e1 = p1 - p0, e2 = p2 - p0;
      const TGXVector3 q = GXVec3Cross(direction, e2);
      const float det = GXVec3Dot(e1, q);
      if (det == 0) continue;
      const float inv = 1.0f / det;
      const TGXVector3 s = origin - p0;
      const float u = GXVec3Dot(s, q) * inv;
      if (!(u >= -1e-4f && u <= 1.0001f)) continue;
      const TGXVector3 r = GXVec3Cross(s, e1);
      const float v = GXVec3Dot(direction, r) * inv;
      if (!(v >= -1e-4f && u + v <= 1.0001f)) continue;
      const float t = GXVec3Dot(e2, r) * inv;
      if (!(t >= -1e-4f * (1 + std::abs(t))) || !(t <= best * 1.0001f + 1e-4f)) continue;
      const std::optional<TGXRayHit> h = RayTriangle(origin, direction, p0, p1, p2, cullBackFaces);
      if (!h || !(h->Distance < best)) continue;
      best = h->Distance;
      bestPoint = h->Point;
      bestNormal = GXVec3Normalize(GXVec3Cross(e1, e2));
      found = true;
    }
  }
  if (found) {
    normal = bestNormal;
    hit = bestPoint;
  }
  return found;
}

void TGXMesh::SetData(const TGXMeshData& data) {
  TGXMeshSerializer().Validate(data, "SetData");
  bool hasBytes = false;
  for (const TGXMeshStreamData& s : data.Streams) hasBytes |= !s.Data.empty();
  for (const TGXSubMeshData& s : data.SubMeshes) hasBytes |= !s.Indices.empty();
  // Without bytes there is nothing to put on a device: such meshes (empty, or built for tests)
  // need no render core, but take its layout when there is one.
  TGXRenderCore* core = hasBytes ? &CoreFor(*this, "SetData") : GXCurrentRenderCore();

  // Everything is made first, so a failure leaves the mesh as it was.
  TGXVertexGeometry geometry;
  geometry.FirstVertex = data.FirstVertex;
  geometry.VertexCount = data.VertexCount;
  if (core && !data.Layout.Elements().empty()) geometry.Layout = core->VertexLayouts().GetLayout(data.Layout);
  for (const TGXMeshStreamData& s : data.Streams) {
    geometry.Buffers.push_back(
        s.Data.empty() ? nullptr
                       : TGXRef<TGXDeviceVertexBuffer>(GXCreateVertexBuffer(core->Device(), s.Data).Get()));
    geometry.Strides.push_back(s.Stride);
  }
  std::vector<std::unique_ptr<TGXSubMesh>> subMeshes;
  for (const TGXSubMeshData& s : data.SubMeshes) {
    auto sub = std::make_unique<TGXSubMesh>(this);
    sub->IndexGeometry = {s.FirstIndex, s.IndexCount, MakeIndexBuffer(core, s.Indices)};
    sub->Indices = s.Indices;
    sub->BoundsMin = s.BoundsMin;
    sub->BoundsMax = s.BoundsMax;
    subMeshes.push_back(std::move(sub));
  }
  std::vector<TGXVector3> positions = data.Positions();

  FGeometry = std::move(geometry);
  FLayout = data.Layout;
  FSubMeshes = std::move(subMeshes);
  FPositions = std::move(positions);
  CalculateBounds();
  ++FRevision;
}

TGXMeshData TGXMesh::GetData() const {
  TGXMeshData data;
  data.FirstVertex = FGeometry.FirstVertex;
  data.VertexCount = FGeometry.VertexCount;
  data.Layout = FLayout;
  for (size_t i = 0; i < FGeometry.Buffers.size(); ++i) {
    TGXMeshStreamData stream;
    stream.Stride = i < FGeometry.Strides.size() ? FGeometry.Strides[i] : 0;
    if (const TGXGLVertexBuffer* b = GLVertices(*this, FGeometry.Buffers[i].Get(), "GetData"))
      stream.Data = b->Data();
    data.Streams.push_back(std::move(stream));
  }
  for (const auto& sub : FSubMeshes) {
    TGXSubMeshData s;
    s.FirstIndex = sub->IndexGeometry.FirstIndex;
    s.IndexCount = sub->IndexGeometry.IndexCount;
    s.Indices = sub->Indices;
    s.BoundsMin = sub->BoundsMin;
    s.BoundsMax = sub->BoundsMax;
    data.SubMeshes.push_back(std::move(s));
  }
  return data;
}

void TGXMesh::DoLoad() {
  if (IsManual()) return;
  TGXEngine* engine = Engine();
  if (!engine) throw EInvalidCall({TGXExceptionArg::Object(ClassName()), "DoLoad", "No engine"});
  std::unique_ptr<TGXMemoryStream> file = engine->FileSystem().OpenFile(GetName().Text());
  SetData(TGXMeshSerializer().Read(*file));
}

TGXRef<TGXMesh> TGXMesh::Clone(uint32_t usage, uint32_t pool) const {
  TGXRef<TGXMesh> clone = MakeRef<TGXMesh>(nullptr, GetName().Text(), true);
  clone->FUsage = usage;
  clone->FPool = pool;
  TGXVertexGeometry& g = clone->FGeometry;
  g.FirstVertex = FGeometry.FirstVertex;
  g.VertexCount = FGeometry.VertexCount;
  g.Layout = FGeometry.Layout;
  g.Strides = FGeometry.Strides;
  for (const TGXRef<TGXDeviceVertexBuffer>& b : FGeometry.Buffers) {
    const TGXGLVertexBuffer* gl = GLVertices(*this, b.Get(), "Clone");
    g.Buffers.push_back(
        gl ? TGXRef<TGXDeviceVertexBuffer>(GXCopyVertexBuffer(CoreFor(*this, "Clone").Device(), *gl).Get())
           : nullptr);
  }
  // Sub-meshes sharing a buffer share its copy too.
  std::vector<std::pair<const TGXDeviceIndexBuffer*, TGXRef<TGXDeviceIndexBuffer>>> copies;
  for (const auto& sub : FSubMeshes) {
    TGXSubMesh* s = clone->AddSubMesh();
    s->Material = sub->Material;
    s->BoundsMin = sub->BoundsMin;
    s->BoundsMax = sub->BoundsMax;
    s->Indices = sub->Indices;
    s->IndexGeometry.FirstIndex = sub->IndexGeometry.FirstIndex;
    s->IndexGeometry.IndexCount = sub->IndexGeometry.IndexCount;
    const TGXDeviceIndexBuffer* source = sub->IndexGeometry.Buffer.Get();
    if (!source) continue;
    auto known = std::find_if(copies.begin(), copies.end(), [&](const auto& c) { return c.first == source; });
    if (known == copies.end()) {
      const TGXGLIndexBuffer* gl = GLIndices(*this, source, "Clone");
      TGXGLRenderDevice& device = CoreFor(*this, "Clone").Device();
      copies.emplace_back(source, TGXRef<TGXDeviceIndexBuffer>(GXOffsetIndexBuffer(device, *gl, 0).Get()));
      known = copies.end() - 1;
    }
    s->IndexGeometry.Buffer = known->second;
  }
  clone->FLayout = FLayout;
  clone->FPositions = FPositions;
  clone->FBoundsMin = FBoundsMin;
  clone->FBoundsMax = FBoundsMax;
  clone->Load();
  return clone;
}

void TGXMesh::ConcatenateMesh(const TGXMesh& other) {
  auto refuse = [this](const char* reason) {
    throw EInvalidParameter({TGXExceptionArg::Object(ClassName()), "ConcatenateMesh", reason});
  };
  if (&other == this) refuse("Same mesh");
  if (FLayout.Checksum() != other.FLayout.Checksum()) refuse("Different vertex layouts");
  const uint32_t oldCount = FGeometry.VertexCount;
  if (uint64_t(oldCount) + other.FGeometry.VertexCount > GXMaxMeshVertices) refuse("Too many vertices");
  for (const auto& sub : other.FSubMeshes)
    for (uint16_t index : sub->Indices)
      if (uint32_t(index) + oldCount > GXMaxMeshVertices) refuse("Too many vertices");

  const size_t streams = std::max(FGeometry.Buffers.size(), other.FGeometry.Buffers.size());
  auto strideOf = [](const TGXVertexGeometry& g, size_t s) -> uint32_t {
    return s < g.Buffers.size() && s < g.Strides.size() && g.Buffers[s] ? g.Strides[s] : 0;
  };
  for (size_t s = 0; s < streams; ++s) {
    const uint32_t a = strideOf(FGeometry, s), b = strideOf(other.FGeometry, s);
    if (a && b && a != b) refuse("Different strides");
  }

  // Made first, committed after: a device failure leaves the mesh unchanged.
  TGXRenderCore* core = nullptr;
  std::vector<TGXRef<TGXDeviceVertexBuffer>> buffers;
  std::vector<uint32_t> strides;
  const uint32_t newCount = oldCount + other.FGeometry.VertexCount;
  for (size_t s = 0; s < streams; ++s) {
    const uint32_t stride = std::max(strideOf(FGeometry, s), strideOf(other.FGeometry, s));
    strides.push_back(stride);
    if (stride == 0) {
      buffers.push_back(nullptr);
      continue;
    }
    const TGXGLVertexBuffer* a = s < FGeometry.Buffers.size()
                                     ? GLVertices(*this, FGeometry.Buffers[s].Get(), "ConcatenateMesh")
                                     : nullptr;
    const TGXGLVertexBuffer* b = s < other.FGeometry.Buffers.size()
                                     ? GLVertices(other, other.FGeometry.Buffers[s].Get(), "ConcatenateMesh")
                                     : nullptr;
    // This mesh's vertices up to the end of its drawn range, then Other's drawn vertices.
    const uint64_t mine = (uint64_t(FGeometry.FirstVertex) + oldCount) * stride;
    const uint64_t total = mine + uint64_t(other.FGeometry.VertexCount) * stride;
    if ((!a && !b) || total == 0) {
      buffers.push_back(nullptr);
      continue;
    }
    std::vector<uint8_t> bytes(size_t(total), 0);
    if (a) std::memcpy(bytes.data(), a->Data().data(), size_t(std::min<uint64_t>(mine, a->Data().size())));
    if (b) {
      const uint64_t from = uint64_t(other.FGeometry.FirstVertex) * stride;
      const uint64_t size = uint64_t(other.FGeometry.VertexCount) * stride;
      if (from < b->Data().size())
        std::memcpy(bytes.data() + mine, b->Data().data() + from,
                    size_t(std::min<uint64_t>(size, b->Data().size() - from)));
    }
    if (!core) core = &CoreFor(*this, "ConcatenateMesh");
    buffers.push_back(TGXRef<TGXDeviceVertexBuffer>(GXCreateVertexBuffer(core->Device(), bytes).Get()));
  }
  std::vector<std::unique_ptr<TGXSubMesh>> added;
  for (const auto& sub : other.FSubMeshes) {
    auto s = std::make_unique<TGXSubMesh>(this);
    s->Material = sub->Material;
    s->BoundsMin = sub->BoundsMin;
    s->BoundsMax = sub->BoundsMax;
    s->IndexGeometry.FirstIndex = sub->IndexGeometry.FirstIndex;
    s->IndexGeometry.IndexCount = sub->IndexGeometry.IndexCount;
    s->Indices.reserve(sub->Indices.size());
    for (uint16_t index : sub->Indices) s->Indices.push_back(uint16_t(index + oldCount));
    if (sub->IndexGeometry.Buffer && !s->Indices.empty()) {
      if (!core) core = &CoreFor(*this, "ConcatenateMesh");
      s->IndexGeometry.Buffer = MakeIndexBuffer(core, s->Indices);
    }
    added.push_back(std::move(s));
  }
  std::vector<TGXVector3> positions;
  if (!FPositions.empty() || !other.FPositions.empty()) {
    positions = FPositions;
    positions.resize(oldCount);
    positions.insert(positions.end(), other.FPositions.begin(), other.FPositions.end());
    positions.resize(newCount);
  }

  FGeometry.Buffers = std::move(buffers);
  FGeometry.Strides = std::move(strides);
  FGeometry.VertexCount = newCount;
  for (auto& s : added) FSubMeshes.push_back(std::move(s));
  FPositions = std::move(positions);
  CalculateBounds();
  ++FRevision;
}

void TGXMesh::ConcatenateSubMeshes(std::span<const int> list) {
  if (list.size() < 2) return;
  std::vector<bool> seen(FSubMeshes.size(), false);
  for (int index : list) {
    if (index < 0 || index >= SubMeshCount() || seen[size_t(index)])
      throw EInvalidParameter({TGXExceptionArg::Object(ClassName()), "ConcatenateSubMeshes", index});
    seen[size_t(index)] = true;
  }
  TGXSubMesh* target = FSubMeshes[size_t(list[0])].get();
  std::vector<uint16_t> indices;
  TGXVector3 min = target->BoundsMin, max = target->BoundsMax;
  for (int index : list) {
    const TGXSubMesh& s = *FSubMeshes[size_t(index)];
    const size_t first = std::min<size_t>(s.IndexGeometry.FirstIndex, s.Indices.size());
    const size_t end = std::min<size_t>(first + s.IndexGeometry.IndexCount, s.Indices.size());
    indices.insert(indices.end(), s.Indices.begin() + ptrdiff_t(first), s.Indices.begin() + ptrdiff_t(end));
    MergeBounds(min, max, s.BoundsMin, s.BoundsMax);
  }
  // Meshes built without buffers (picking only) stay without them.
  bool buffered = false;
  for (int index : list) buffered |= bool(FSubMeshes[size_t(index)]->IndexGeometry.Buffer);
  TGXRef<TGXDeviceIndexBuffer> buffer =
      buffered && !indices.empty() ? MakeIndexBuffer(&CoreFor(*this, "ConcatenateSubMeshes"), indices)
                                   : nullptr;

  target->IndexGeometry = {0, uint32_t(indices.size()), std::move(buffer)};
  target->Indices = std::move(indices);
  target->BoundsMin = min;
  target->BoundsMax = max;
  // Ordered removal of the others, so that every sub-mesh not listed keeps its place.
  std::vector<std::unique_ptr<TGXSubMesh>> kept;
  for (size_t i = 0; i < FSubMeshes.size(); ++i)
    if (!seen[i] || FSubMeshes[i].get() == target) kept.push_back(std::move(FSubMeshes[i]));
  FSubMeshes = std::move(kept);
  CalculateBounds();
  ++FRevision;
}

void TGXMesh::MergeSubMeshes() {
  for (size_t i = 0; i < FSubMeshes.size(); ++i) {
    std::vector<int> group{int(i)};
    for (size_t j = i + 1; j < FSubMeshes.size(); ++j)
      if (FSubMeshes[j]->Material == FSubMeshes[i]->Material) group.push_back(int(j));
    ConcatenateSubMeshes(group);
  }
}

}  // namespace gx
