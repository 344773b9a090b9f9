#include "engine/render/GX3DSReader.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>
#include <type_traits>
#include <unordered_map>

#include "engine/core/GXException.h"
#include "engine/core/GXSerialization.h"
#include "engine/core/GXStrings.h"

namespace gx {

namespace {

[[noreturn]] void Unknown3DS() { throw EUnknownModel({"Unknown 3DS file."}); }

// A chunk's data and sub-chunks as a stream of their own, so every count read inside is checked
// against the chunk's bytes, never the file's.
struct TChunk {
  uint16_t Tag = 0;
  const uint8_t* Data = nullptr;  // after the 6 header bytes
  int64_t Size = 0;               // data and sub-chunks
};

class TChunkReader {
 public:
  TChunkReader(const uint8_t* data, int64_t size) : FStream(const_cast<uint8_t*>(data), size), FData(data) {}

  TGXStream& Stream() { return FStream; }
  int64_t Position() { return FStream.Position(); }
  bool AtEnd() { return FStream.Remaining() == 0; }

  // The next sub-chunk; its length must hold its header and stay inside this chunk.
  TChunk Next() {
    if (FStream.Remaining() < 6) Unknown3DS();
    TChunk c;
    c.Tag = ReadWord(FStream);
    const uint32_t length = ReadCardinal(FStream);
    if (length < 6 || int64_t(length) - 6 > FStream.Remaining()) Unknown3DS();
    c.Data = FData + FStream.Position();
    c.Size = int64_t(length) - 6;
    FStream.Seek(c.Size, TGXSeekOrigin::Current);
    return c;
  }

  // A NUL-terminated 8-bit string inside the chunk; an unterminated one is corrupt.
  std::string String() {
    const int64_t pos = FStream.Position();
    const int64_t remaining = FStream.Remaining();
    const void* nul = std::memchr(FData + pos, 0, size_t(remaining));
    if (!nul) Unknown3DS();
    const int64_t length = static_cast<const uint8_t*>(nul) - (FData + pos);
    std::string text =
        AnsiToUtf8(std::string_view(reinterpret_cast<const char*>(FData + pos), size_t(length)));
    FStream.Seek(length + 1, TGXSeekOrigin::Current);
    return text;
  }

  // The rest of the chunk as sub-chunks.
  TChunkReader Rest() { return TChunkReader(FData + FStream.Position(), FStream.Remaining()); }

 private:
  TGXMemoryStreamAdapter FStream;
  const uint8_t* FData;
};

TChunkReader Open(const TChunk& c) { return TChunkReader(c.Data, c.Size); }

// y and z swapped: 3DS files are right-handed with z up.
TGXVector3 Swap(const TGXVector3& v) { return {v.x, v.z, v.y}; }

struct TFace {
  uint16_t A, B, C, Flags;
};
static_assert(sizeof(TFace) == 8);

struct TGroup {
  std::string Material;
  std::vector<uint16_t> Faces;
};

struct TObject {
  std::string Name;
  bool HasMesh = false;
  std::vector<TGXVector3> Vertices;  // as stored
  std::vector<TFace> Faces;
  std::vector<TGXVector2> TexCoords;
  std::vector<uint32_t> Masks;
  bool HasMasks = false;
  std::vector<TGroup> Groups;
  float Matrix[12] = {};
};

struct TMaterial {
  std::string Name;
  std::string Texture;
  uint8_t Color[3] = {0, 0, 0};
  float Transparency = 0;
};

template <typename T>
struct TKey {
  uint32_t Frame;
  T Value;
};

struct TNodeChunk {
  std::optional<uint16_t> Id;
  std::string ObjectName;
  std::string InstanceName;
  uint16_t Flags1 = 0;
  uint16_t ParentId = 0xFFFF;
  TGXVector3 Pivot{0, 0, 0};
  std::vector<TKey<TGXVector3>> Positions;
  std::vector<TKey<TGXVector4>> Rotations;  // angle in w, axis in x, y, z (as stored)
  std::vector<TKey<TGXVector3>> Scales;
};

template <typename T>
void ReadArray(TGXStream& s, std::vector<T>& out, int64_t count) {
  CheckCount(s, count, sizeof(T));
  out.resize(size_t(count));
  if (count) s.ReadBuffer(out.data(), count * int64_t(sizeof(T)));
}

void ReadColor(const TChunk& chunk, TMaterial& m) {
  TChunkReader r = Open(chunk);
  bool gamma = false;
  while (!r.AtEnd()) {
    TChunk c = r.Next();
    if ((c.Tag == 0x0011 && !gamma) || c.Tag == 0x0012) {
      if (c.Size < 3) Unknown3DS();
      std::memcpy(m.Color, c.Data, 3);
      gamma = gamma || c.Tag == 0x0012;
    }
  }
}

void ReadTransparency(const TChunk& chunk, TMaterial& m) {
  TChunkReader r = Open(chunk);
  std::optional<float> percent, single;
  while (!r.AtEnd()) {
    TChunk c = r.Next();
    TChunkReader v = Open(c);
    if (c.Tag == 0x0030 && !percent) percent = ReadWord(v.Stream()) / 100.0f;
    if (c.Tag == 0x0031 && !single) single = ReadSingle(v.Stream());
  }
  m.Transparency = percent ? *percent : single ? *single : 0.0f;
}

TMaterial ReadMaterial(const TChunk& chunk) {
  TMaterial m;
  bool negate = false;
  TChunkReader r = Open(chunk);
  while (!r.AtEnd()) {
    TChunk c = r.Next();
    switch (c.Tag) {
      case 0xA000:
        m.Name = Open(c).String();
        break;
      case 0xA020:
        ReadColor(c, m);
        break;
      case 0xA050:
        ReadTransparency(c, m);
        break;
      case 0xA08A:
        negate = true;
        break;
      case 0xA200: {
        TChunkReader t = Open(c);
        while (!t.AtEnd()) {
          TChunk n = t.Next();
          if (n.Tag == 0xA300) m.Texture = Open(n).String();
        }
        break;
      }
      default:
        break;
    }
  }
  if (negate) m.Transparency = -m.Transparency;
  return m;
}

void ReadFaces(const TChunk& chunk, TObject& o) {
  TChunkReader r = Open(chunk);
  ReadArray(r.Stream(), o.Faces, ReadWord(r.Stream()));
  TChunkReader rest = r.Rest();
  while (!rest.AtEnd()) {
    TChunk c = rest.Next();
    TChunkReader s = Open(c);
    if (c.Tag == 0x4130) {
      TGroup g;
      g.Material = s.String();
      ReadArray(s.Stream(), g.Faces, ReadWord(s.Stream()));
      o.Groups.push_back(std::move(g));
    } else if (c.Tag == 0x4150) {
      ReadArray(s.Stream(), o.Masks, c.Size / 4);
      o.HasMasks = true;
    }
  }
}

void ReadMeshChunk(const TChunk& chunk, TObject& o) {
  o.HasMesh = true;
  TChunkReader r = Open(chunk);
  while (!r.AtEnd()) {
    TChunk c = r.Next();
    TChunkReader s = Open(c);
    switch (c.Tag) {
      case 0x4110:
        ReadArray(s.Stream(), o.Vertices, ReadWord(s.Stream()));
        break;
      case 0x4120:
        ReadFaces(c, o);
        break;
      case 0x4140:
        ReadArray(s.Stream(), o.TexCoords, ReadWord(s.Stream()));
        break;
      case 0x4160:
        CheckCount(s.Stream(), 12, 4);
        s.Stream().ReadBuffer(o.Matrix, sizeof o.Matrix);
        break;
      default:
        break;
    }
  }
}

template <typename T>
void ReadTrack(const TChunk& chunk, std::vector<TKey<T>>& keys, int valueCount) {
  TChunkReader r = Open(chunk);
  TGXStream& s = r.Stream();
  ReadWord(s);
  ReadCardinal(s);
  ReadCardinal(s);
  const uint32_t count = ReadCardinal(s);
  CheckCount(s, count, 6 + 4 * valueCount);
  keys.resize(count);
  for (TKey<T>& key : keys) {
    key.Frame = ReadCardinal(s);
    const uint16_t flags = ReadWord(s);
    for (uint16_t bit = 1; bit <= 0x10; bit <<= 1)
      if (flags & bit) ReadSingle(s);
    float v[4] = {};
    CheckCount(s, valueCount, 4);
    s.ReadBuffer(v, 4 * valueCount);
    if constexpr (std::is_same_v<T, TGXVector4>)
      key.Value = {v[1], v[2], v[3], v[0]};
    else
      key.Value = {v[0], v[1], v[2]};
  }
}

TNodeChunk ReadObjectNode(const TChunk& chunk) {
  TNodeChunk n;
  TChunkReader r = Open(chunk);
  while (!r.AtEnd()) {
    TChunk c = r.Next();
    TChunkReader s = Open(c);
    switch (c.Tag) {
      case 0xB030:
        n.Id = ReadWord(s.Stream());
        break;
      case 0xB010:
        n.ObjectName = s.String();
        n.Flags1 = ReadWord(s.Stream());
        ReadWord(s.Stream());
        n.ParentId = ReadWord(s.Stream());
        break;
      case 0xB011:
        n.InstanceName = s.String();
        break;
      case 0xB013:
        n.Pivot = ReadVector3(s.Stream());
        break;
      case 0xB020:
        ReadTrack(c, n.Positions, 3);
        break;
      case 0xB021:
        ReadTrack(c, n.Rotations, 4);
        break;
      case 0xB022:
        ReadTrack(c, n.Scales, 3);
        break;
      default:
        break;
    }
  }
  return n;
}

struct TFile {
  std::vector<TObject> Objects;
  std::vector<TMaterial> Materials;
  std::vector<TNodeChunk> Nodes;
};

TFile ReadChunks(const uint8_t* data, int64_t size) {
  TChunkReader file(data, size);
  if (size < 6) Unknown3DS();
  TChunk main = file.Next();
  if (main.Tag != 0x4D4D && main.Tag != 0xC23D && main.Tag != 0x3DAA) Unknown3DS();
  TFile f;
  TChunkReader top = Open(main);
  while (!top.AtEnd()) {
    TChunk c = top.Next();
    if (c.Tag == 0x3D3D) {
      TChunkReader editor = Open(c);
      while (!editor.AtEnd()) {
        TChunk e = editor.Next();
        if (e.Tag == 0x4000) {
          TChunkReader o = Open(e);
          TObject object;
          object.Name = o.String();
          TChunkReader parts = o.Rest();
          while (!parts.AtEnd()) {
            TChunk p = parts.Next();
            if (p.Tag == 0x4100) ReadMeshChunk(p, object);
          }
          f.Objects.push_back(std::move(object));
        } else if (e.Tag == 0xAFFF) {
          f.Materials.push_back(ReadMaterial(e));
        }
      }
    } else if (c.Tag == 0xB000) {
      TChunkReader keyframer = Open(c);
      while (!keyframer.AtEnd()) {
        TChunk k = keyframer.Next();
        if (k.Tag == 0xB002) f.Nodes.push_back(ReadObjectNode(k));
      }
    }
  }
  return f;
}

// The engine matrix of a 3DS mesh matrix: rows and columns y/z-swapped.
TGXMatrix ConvertMatrix(const float (&m)[12]) {
  bool zero = true;
  for (float v : m) zero = zero && v == 0.0f;
  if (zero) return GXMatrixIdentity();
  return TGXMatrix(m[0], m[2], m[1], 0,  //
                   m[6], m[8], m[7], 0,  //
                   m[3], m[5], m[4], 0,  //
                   m[9], m[11], m[10], 1);
}

bool SameNormal(const TGXVector3& a, const TGXVector3& b) {
  return std::abs(a.x - b.x) <= 0.001f && std::abs(a.y - b.y) <= 0.001f && std::abs(a.z - b.z) <= 0.001f;
}

const TMaterial* FindMaterial(const std::vector<TMaterial>& materials, const std::string& name) {
  for (const TMaterial& m : materials)
    if (SameText(m.Name, name)) return &m;
  return nullptr;
}

// One object into a mesh. keepFileSpace: the file has no object nodes to place the object, so its
// vertices stay where the file puts them.
TGXModelMesh BuildMesh(const TObject& o, const std::vector<TMaterial>& materials, bool keepFileSpace) {
  const size_t vertexCount = o.Vertices.size();
  const size_t faceCount = o.Faces.size();
  for (const TFace& f : o.Faces)
    if (f.A >= vertexCount || f.B >= vertexCount || f.C >= vertexCount) Unknown3DS();

  bool mirrored = false;
  TGXMatrix inverse = GXMatrixIdentity();
  if (!keepFileSpace) {
    TGXMatrix m = ConvertMatrix(o.Matrix);
    TGXMatrix inv;
    // A singular (or non-finite) matrix places nothing: the identity.
    if (!GXIsFinite(m) || !GXMatrixInverse(inv, nullptr, m) || !GXIsFinite(inv)) {
      m = GXMatrixIdentity();
      inv = m;
    }
    TGXVector3 scale, translation;
    TGXQuaternion rotation;
    GXMatrixDecompose(scale, rotation, translation, m);
    // Our decompose puts a mirror into a negative x scale; M itself stays as it is, since
    // scaling by (-sx, sy, sz) would shrink a scaled mirror.
    mirrored = scale.x < 0 || scale.y < 0 || scale.z < 0;
    inverse = inv;
  }

  TGXModelMesh mesh;
  mesh.Name = o.Name;
  mesh.Vertices.resize(vertexCount);
  const size_t uvCount = std::min(vertexCount, o.TexCoords.size());
  for (size_t i = 0; i < vertexCount; ++i) {
    TGXModelVertex& v = mesh.Vertices[i];
    v.Position = GXVec3TransformCoord(Swap(o.Vertices[i]), inverse);
    v.Normal = {0, 0, 0};
    v.TexCoord = i < uvCount ? TGXVector2{o.TexCoords[i].x, 1.0f - o.TexCoords[i].y} : TGXVector2{0, 0};
  }

  // Corners per face in drawing order.
  std::vector<uint16_t> corners(faceCount * 3);
  for (size_t f = 0; f < faceCount; ++f) {
    const TFace& face = o.Faces[f];
    if (mirrored) {
      corners[f * 3] = face.A, corners[f * 3 + 1] = face.B, corners[f * 3 + 2] = face.C;
    } else {
      corners[f * 3] = face.C, corners[f * 3 + 1] = face.B, corners[f * 3 + 2] = face.A;
    }
  }
  std::vector<TGXVector3> faceNormals(faceCount);
  for (size_t f = 0; f < faceCount; ++f) {
    const TGXVector3& p0 = mesh.Vertices[corners[f * 3]].Position;
    const TGXVector3& p1 = mesh.Vertices[corners[f * 3 + 1]].Position;
    const TGXVector3& p2 = mesh.Vertices[corners[f * 3 + 2]].Position;
    faceNormals[f] = GXVec3Normalize(GXVec3Cross(p1 - p0, p2 - p0));
  }
  auto mask = [&](size_t f) -> uint32_t { return o.HasMasks && f < o.Masks.size() ? o.Masks[f] : 0; };

  // Faces per vertex (each face once per vertex it uses), in face order: smoothing looks only at
  // a vertex's own faces.
  std::vector<uint32_t> start(vertexCount + 1, 0);
  for (size_t f = 0; f < faceCount; ++f) {
    if (!mask(f)) continue;
    const uint16_t* c = &corners[f * 3];
    ++start[c[0] + 1];
    if (c[1] != c[0]) ++start[c[1] + 1];
    if (c[2] != c[0] && c[2] != c[1]) ++start[c[2] + 1];
  }
  for (size_t v = 0; v < vertexCount; ++v) start[v + 1] += start[v];
  std::vector<uint32_t> vertexFaces(start[vertexCount]);
  {
    std::vector<uint32_t> fill(start.begin(), start.end() - 1);
    for (size_t f = 0; f < faceCount; ++f) {
      if (!mask(f)) continue;
      const uint16_t* c = &corners[f * 3];
      vertexFaces[fill[c[0]]++] = uint32_t(f);
      if (c[1] != c[0]) vertexFaces[fill[c[1]]++] = uint32_t(f);
      if (c[2] != c[0] && c[2] != c[1]) vertexFaces[fill[c[2]]++] = uint32_t(f);
    }
  }

  // The normal of each corner: the face normal, or the smoothed normal of the face's highest
  // smoothing group at that vertex.
  std::vector<TGXVector3> cornerNormals(faceCount * 3);
  for (size_t f = 0; f < faceCount; ++f) {
    const uint32_t m = mask(f);
    for (int k = 0; k < 3; ++k) {
      if (!m) {
        cornerNormals[f * 3 + k] = faceNormals[f];
        continue;
      }
      const uint32_t bit = 1u << (31 - std::countl_zero(m));
      const uint16_t vertex = corners[f * 3 + k];
      TGXVector3 n{0, 0, 0};
      for (uint32_t i = start[vertex]; i < start[vertex + 1]; ++i) {
        const uint32_t other = vertexFaces[i];
        if (mask(other) & bit) n = GXVec3Normalize(n + faceNormals[other]);
      }
      cornerNormals[f * 3 + k] = n;
    }
  }

  // Each vertex keeps its first normal; every further distinct normal gets a copy of the vertex.
  struct TVariant {
    TGXVector3 Normal;
    uint32_t Vertex;
    uint32_t Next;  // next variant of the same original vertex, or UINT32_MAX
  };
  constexpr uint32_t kNone = UINT32_MAX;
  std::vector<uint32_t> firstVariant(vertexCount, kNone);
  std::vector<TVariant> variants;
  variants.reserve(vertexCount);
  std::vector<uint32_t> finalCorners(faceCount * 3);
  for (size_t i = 0; i < faceCount * 3; ++i) {
    const uint16_t vertex = corners[i];
    const TGXVector3& n = cornerNormals[i];
    uint32_t* link = &firstVariant[vertex];
    uint32_t found = kNone;
    while (*link != kNone) {
      if (SameNormal(variants[*link].Normal, n)) {
        found = variants[*link].Vertex;
        break;
      }
      link = &variants[*link].Next;
    }
    if (found == kNone) {
      if (firstVariant[vertex] == kNone) {
        found = vertex;
        mesh.Vertices[vertex].Normal = n;
      } else {
        found = uint32_t(mesh.Vertices.size());
        if (found >= GXMaxMeshVertices) throw EInvalid32BitModel({"32 bit indices not supported."});
        TGXModelVertex copy = mesh.Vertices[vertex];
        copy.Normal = n;
        mesh.Vertices.push_back(copy);
      }
      *link = uint32_t(variants.size());
      variants.push_back({n, found, kNone});
    }
    finalCorners[i] = found;
  }
  if (mirrored)
    for (TGXModelVertex& v : mesh.Vertices) v.Normal = -v.Normal;

  auto addFace = [&](size_t f) {
    for (int k = 0; k < 3; ++k) mesh.Indices.push_back(uint16_t(finalCorners[f * 3 + k]));
  };
  if (o.Groups.empty()) {
    mesh.Indices.reserve(faceCount * 3);
    for (size_t f = 0; f < faceCount; ++f) addFace(f);
    mesh.SubMeshes.push_back({0, uint32_t(mesh.Indices.size()), std::string(), {}, {}});
  } else {
    for (const TGroup& g : o.Groups) {
      const TMaterial* material = FindMaterial(materials, g.Material);
      if (!material) continue;  // its faces are not drawn
      TGXModelSubMesh sub;
      sub.FirstIndex = uint32_t(mesh.Indices.size());
      for (uint16_t f : g.Faces)
        if (f < faceCount) addFace(f);
      sub.IndexCount = uint32_t(mesh.Indices.size()) - sub.FirstIndex;
      if (!material->Texture.empty())
        sub.TextureName = material->Texture;
      else
        sub.TextureName = GXModelColorName(material->Color[0] / 255.0f, material->Color[1] / 255.0f,
                                           material->Color[2] / 255.0f, 1.0f - material->Transparency);
      mesh.SubMeshes.push_back(std::move(sub));
    }
  }
  GXModelCalculateBounds(mesh);
  return mesh;
}

TGXQuaternion AxisAngle(const TGXVector4& stored) {
  return GXQuaternionNormalize(GXQuaternionRotationAxis(Swap({stored.x, stored.y, stored.z}), stored.w));
}

// Keys whose frame does not grow are dropped, as the animation does when it is given them.
template <typename T>
void AddKey(std::vector<TGXModelKey<T>>& keys, uint32_t frame, const T& value) {
  if (keys.empty() || frame > keys.back().Frame) keys.push_back({frame, value});
}

void BuildNodes(const TFile& f, TGXModelData& model) {
  const size_t count = f.Nodes.size();
  bool allIds = true;
  for (const TNodeChunk& n : f.Nodes) allIds = allIds && n.Id.has_value();
  std::unordered_map<uint16_t, uint32_t> byId;
  for (size_t i = 0; i < count; ++i) byId.emplace(allIds ? *f.Nodes[i].Id : uint16_t(i), uint32_t(i));

  // Parents in file numbering; a node whose chain comes back to itself, or would nest too deep,
  // goes to the target node.
  std::vector<int32_t> parent(count, -1);
  for (size_t i = 0; i < count; ++i) {
    const uint16_t id = f.Nodes[i].ParentId;
    if (id == 0xFFFF) continue;
    auto it = byId.find(id);
    if (it != byId.end()) parent[i] = int32_t(it->second);
  }
  std::vector<uint8_t> state(count, 0);  // 0 new, 1 on the current path, 2 done
  std::vector<uint32_t> depth(count, 0);
  std::vector<uint32_t> path;
  for (size_t i = 0; i < count; ++i) {
    if (state[i]) continue;
    path.clear();
    int32_t n = int32_t(i);
    while (n >= 0 && state[size_t(n)] == 0) {
      state[size_t(n)] = 1;
      path.push_back(uint32_t(n));
      n = parent[size_t(n)];
    }
    if (n >= 0 && state[size_t(n)] == 1) parent[path.back()] = -1;  // the link closing the cycle
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
      const int32_t p = parent[*it];
      depth[*it] = p < 0 ? 1 : depth[size_t(p)] + 1;
      if (depth[*it] > GXMaxModelNodeDepth) {
        parent[*it] = -1;
        depth[*it] = 1;
      }
      state[*it] = 2;
    }
  }

  // Pre-order, so parents come first and siblings keep file order.
  std::vector<std::vector<uint32_t>> children(count);
  std::vector<uint32_t> roots;
  for (size_t i = 0; i < count; ++i)
    (parent[i] < 0 ? roots : children[size_t(parent[i])]).push_back(uint32_t(i));
  std::vector<int32_t> newIndex(count, -1);
  std::vector<uint32_t> stack(roots.rbegin(), roots.rend());
  std::vector<uint32_t> order;
  order.reserve(count);
  while (!stack.empty()) {
    const uint32_t n = stack.back();
    stack.pop_back();
    newIndex[n] = int32_t(order.size());
    order.push_back(n);
    for (auto it = children[n].rbegin(); it != children[n].rend(); ++it) stack.push_back(*it);
  }

  TGXModelAnimation& animation = model.Animation;
  animation.SecondsPerFrame = 0.04f;
  model.Nodes.reserve(count);
  for (uint32_t i : order) {
    const TNodeChunk& c = f.Nodes[i];
    TGXModelNode node;
    node.Name = c.InstanceName.empty() ? c.ObjectName : c.InstanceName;
    node.Parent = parent[i] < 0 ? -1 : newIndex[size_t(parent[i])];
    if (!c.Positions.empty()) node.Position = Swap(c.Positions[0].Value) - Swap(c.Pivot);
    if (!c.Rotations.empty()) node.Rotation = AxisAngle(c.Rotations[0].Value);
    if (!c.Scales.empty()) node.Scale = Swap(c.Scales[0].Value);
    if (c.InstanceName.empty() || c.Flags1 != 0x4000) {
      for (size_t m = 0; m < model.Meshes.size(); ++m)
        if (model.Meshes[m].Name == c.ObjectName) {
          node.Meshes.push_back(uint32_t(m));
          break;
        }
    }
    if (c.Positions.size() > 1 || c.Rotations.size() > 1 || c.Scales.size() > 1) {
      TGXModelTrack track;
      track.Name = node.Name;
      if (c.Positions.size() > 1)
        for (const auto& k : c.Positions) AddKey(track.PositionKeys, k.Frame, Swap(k.Value));
      if (c.Scales.size() > 1)
        for (const auto& k : c.Scales) AddKey(track.ScaleKeys, k.Frame, Swap(k.Value));
      if (c.Rotations.size() > 1) {
        TGXQuaternion q{0, 0, 0, 1};
        for (size_t k = 0; k < c.Rotations.size(); ++k) {
          const TGXQuaternion r = AxisAngle(c.Rotations[k].Value);
          q = k == 0 ? r : GXQuaternionMultiply(q, r);
          AddKey(track.RotationKeys, c.Rotations[k].Frame, q);
        }
      }
      animation.Tracks.push_back(std::move(track));
    }
    model.Nodes.push_back(std::move(node));
  }
  model.HasAnimation = !animation.Tracks.empty();
}

}  // namespace

TGXModelData GXRead3DS(TGXStream& s) {
  const int64_t size = s.Remaining();
  std::vector<uint8_t> data(size_t(std::max<int64_t>(size, 0)));
  if (size > 0) s.ReadBuffer(data.data(), size);
  return GXRead3DS(data.data(), data.size());
}

TGXModelData GXRead3DS(const uint8_t* data, size_t size) {
  const TFile f = ReadChunks(data, int64_t(size));
  TGXModelData model;
  model.Format = EGXModelFormat::Format3DS;
  const bool keepFileSpace = f.Nodes.empty();
  for (const TObject& o : f.Objects) {
    if (!o.HasMesh || o.Vertices.empty() || o.Faces.empty()) continue;
    model.Meshes.push_back(BuildMesh(o, f.Materials, keepFileSpace));
  }
  if (keepFileSpace) {
    for (size_t m = 0; m < model.Meshes.size(); ++m) model.RootMeshes.push_back(uint32_t(m));
  } else {
    BuildNodes(f, model);
  }
  return model;
}

}  // namespace gx
