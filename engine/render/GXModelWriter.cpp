#include "engine/render/GXModelWriter.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>

#include "engine/core/GXException.h"
#include "engine/core/GXStrings.h"

namespace gx {

namespace {

TGXVector3 Swap(const TGXVector3& v) { return {v.x, v.z, v.y}; }

// A colour name back into its channels (0xAARRGGBB).
uint32_t ParseColorName(std::string_view name) {
  uint32_t value = 0;
  for (char c : name.substr(1)) {
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                             : 0;
    value = value << 4 | uint32_t(digit);
  }
  return value;
}

// The track of a node, if the animation has one.
const TGXModelTrack* TrackOf(const TGXModelData& model, const std::string& name) {
  if (!model.HasAnimation) return nullptr;
  for (const TGXModelTrack& t : model.Animation.Tracks)
    if (t.Name == name) return &t;
  return nullptr;
}

std::vector<std::vector<uint32_t>> ChildLists(const TGXModelData& model, std::vector<uint32_t>& roots) {
  std::vector<std::vector<uint32_t>> children(model.Nodes.size());
  for (uint32_t i = 0; i < model.Nodes.size(); ++i) {
    const int32_t p = model.Nodes[i].Parent;
    if (p >= 0 && uint32_t(p) < i)
      children[size_t(p)].push_back(i);
    else
      roots.push_back(i);
  }
  return children;
}

}  // namespace

// ---- 3DS ----

void TGX3DSChunkWriter::Begin(uint16_t tag) {
  FOpen.push_back(FData.size());
  Word(tag);
  Cardinal(0);
}

void TGX3DSChunkWriter::End() {
  if (FOpen.empty()) throw std::logic_error("TGX3DSChunkWriter::End without Begin");
  const size_t start = FOpen.back();
  FOpen.pop_back();
  const uint32_t length = uint32_t(FData.size() - start);
  std::memcpy(FData.data() + start + 2, &length, 4);
}

void TGX3DSChunkWriter::Word(uint16_t v) { Bytes(&v, 2); }
void TGX3DSChunkWriter::Cardinal(uint32_t v) { Bytes(&v, 4); }
void TGX3DSChunkWriter::Single(float v) { Bytes(&v, 4); }
void TGX3DSChunkWriter::Vector(const TGXVector3& v) {
  Single(v.x);
  Single(v.y);
  Single(v.z);
}
void TGX3DSChunkWriter::String(std::string_view utf8) {
  const std::string ansi = Utf8ToAnsi(utf8);
  Bytes(ansi.data(), ansi.size());
  FData.push_back(0);
}
void TGX3DSChunkWriter::Bytes(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  FData.insert(FData.end(), p, p + size);
}

namespace {

void WriteRotationKeys(TGX3DSChunkWriter& w, const std::vector<TGXModelKey<TGXQuaternion>>& keys) {
  w.Begin(0xB021);
  w.Word(0);
  w.Cardinal(0);
  w.Cardinal(0);
  w.Cardinal(uint32_t(keys.size()));
  TGXQuaternion previous{0, 0, 0, 1};
  for (size_t k = 0; k < keys.size(); ++k) {
    // Each stored key turns on from the previous one.
    const TGXQuaternion q = GXQuaternionNormalize(keys[k].Value);
    const TGXQuaternion step = k == 0 ? q : GXQuaternionMultiply(GXQuaternionInverse(previous), q);
    previous = q;
    TGXVector3 axis;
    float angle;
    GXQuaternionToAxisAngle(step, axis, angle);
    if (GXVec3LengthSq(axis) == 0) axis = {0, 1, 0};
    axis = Swap(GXVec3Normalize(axis));
    w.Cardinal(keys[k].Frame);
    w.Word(0);
    w.Single(angle);
    w.Vector(axis);
  }
  w.End();
}

void WriteVectorKeys(TGX3DSChunkWriter& w, uint16_t tag, const std::vector<TGXModelKey<TGXVector3>>& keys) {
  w.Begin(tag);
  w.Word(0);
  w.Cardinal(0);
  w.Cardinal(0);
  w.Cardinal(uint32_t(keys.size()));
  for (const auto& key : keys) {
    w.Cardinal(key.Frame);
    w.Word(0);
    w.Vector(Swap(key.Value));
  }
  w.End();
}

}  // namespace

std::vector<uint8_t> GXWrite3DS(const TGXModelData& model, const TGX3DSWriteOptions& options) {
  // Materials: one per distinct texture name, in order of first use.
  std::map<std::string, std::string> materialOf;
  std::vector<std::string> textures;
  for (const TGXModelMesh& mesh : model.Meshes)
    for (const TGXModelSubMesh& sub : mesh.SubMeshes)
      if (!sub.TextureName.empty() && !materialOf.count(sub.TextureName)) {
        textures.push_back(sub.TextureName);
        materialOf[sub.TextureName] = "Material" + std::to_string(textures.size());
      }

  // Counts are 16 bit in the file: a mesh beyond them cannot be written.
  for (const TGXModelMesh& mesh : model.Meshes)
    if (mesh.Vertices.size() > 0xFFFF || mesh.Indices.size() / 3 > 0xFFFF)
      throw EInvalidParameter(
          {TGXExceptionArg::Object("GXWrite3DS"), "WriteMesh", "Zu viele Ecken oder Flächen"});
  TGX3DSChunkWriter w;
  w.Begin(0x4D4D);
  w.Begin(0x0002);
  w.Cardinal(3);
  w.End();
  w.Begin(0x3D3D);
  for (const std::string& texture : textures) {
    w.Begin(0xAFFF);
    w.Begin(0xA000);
    w.String(materialOf[texture]);
    w.End();
    if (GXModelIsColorName(texture)) {
      const uint32_t argb = ParseColorName(texture);
      const uint8_t rgb[3] = {uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb)};
      w.Begin(0xA020);
      w.Begin(0x0011);
      w.Bytes(rgb, 3);
      w.End();
      w.End();
      w.Begin(0xA050);
      w.Begin(0x0031);
      w.Single(1.0f - float(argb >> 24) / 255.0f);
      w.End();
      w.End();
    } else {
      w.Begin(0xA200);
      w.Begin(0xA300);
      w.String(texture);
      w.End();
      w.End();
    }
    w.End();
  }
  for (const TGXModelMesh& mesh : model.Meshes) {
    w.Begin(0x4000);
    w.String(mesh.Name);
    w.Begin(0x4100);
    w.Begin(0x4110);
    w.Word(uint16_t(mesh.Vertices.size()));
    for (const TGXModelVertex& v : mesh.Vertices) w.Vector(Swap(v.Position));
    w.End();
    w.Begin(0x4140);
    w.Word(uint16_t(mesh.Vertices.size()));
    for (const TGXModelVertex& v : mesh.Vertices) {
      w.Single(v.TexCoord.x);
      w.Single(1.0f - v.TexCoord.y);
    }
    w.End();
    w.Begin(0x4160);
    const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    w.Bytes(identity, sizeof identity);
    w.End();
    const size_t faceCount = mesh.Indices.size() / 3;
    w.Begin(0x4120);
    w.Word(uint16_t(faceCount));
    for (size_t f = 0; f < faceCount; ++f) {
      // The reader draws (c, b, a).
      w.Word(mesh.Indices[f * 3 + 2]);
      w.Word(mesh.Indices[f * 3 + 1]);
      w.Word(mesh.Indices[f * 3]);
      w.Word(0);
    }
    const bool grouped = !(mesh.SubMeshes.size() == 1 && mesh.SubMeshes[0].TextureName.empty());
    if (grouped) {
      for (const TGXModelSubMesh& sub : mesh.SubMeshes) {
        w.Begin(0x4130);
        w.String(sub.TextureName.empty() ? std::string() : materialOf[sub.TextureName]);
        w.Word(uint16_t(sub.IndexCount / 3));
        for (uint32_t f = 0; f < sub.IndexCount / 3; ++f) w.Word(uint16_t(sub.FirstIndex / 3 + f));
        w.End();
      }
    }
    if (options.Smooth) {
      w.Begin(0x4150);
      for (size_t f = 0; f < faceCount; ++f) w.Cardinal(1);
      w.End();
    }
    w.End();
    w.End();
    w.End();
  }
  w.End();

  if (!model.Nodes.empty()) {
    w.Begin(0xB000);
    for (size_t i = 0; i < model.Nodes.size(); ++i) {
      const TGXModelNode& node = model.Nodes[i];
      w.Begin(0xB002);
      w.Begin(0xB030);
      w.Word(uint16_t(i));
      w.End();
      w.Begin(0xB010);
      w.String(node.Meshes.empty() ? std::string("$$$DUMMY") : model.Meshes[node.Meshes[0]].Name);
      w.Word(0);
      w.Word(0);
      w.Word(node.Parent < 0 ? 0xFFFF : uint16_t(node.Parent));
      w.End();
      w.Begin(0xB011);
      w.String(node.Name);
      w.End();
      w.Begin(0xB013);
      w.Vector({0, 0, 0});
      w.End();
      const TGXModelTrack* track = TrackOf(model, node.Name);
      const bool animatedPosition = track && track->PositionKeys.size() > 1;
      const bool animatedRotation = track && track->RotationKeys.size() > 1;
      const bool animatedScale = track && track->ScaleKeys.size() > 1;
      WriteVectorKeys(
          w, 0xB020,
          animatedPosition ? track->PositionKeys : std::vector<TGXModelKey<TGXVector3>>{{0, node.Position}});
      WriteRotationKeys(w, animatedRotation ? track->RotationKeys
                                            : std::vector<TGXModelKey<TGXQuaternion>>{{0, node.Rotation}});
      WriteVectorKeys(
          w, 0xB022,
          animatedScale ? track->ScaleKeys : std::vector<TGXModelKey<TGXVector3>>{{0, node.Scale}});
      w.End();
    }
    w.End();
  }
  w.End();
  return w.Data();
}

// ---- .x ----

namespace {

// Data objects in either encoding.
class TXEmitter {
 public:
  virtual ~TXEmitter() = default;
  virtual void Begin(std::string_view type, std::string_view name) = 0;
  virtual void Integers(const std::vector<uint32_t>& values) = 0;
  virtual void Floats(const std::vector<double>& values) = 0;
  virtual void String(std::string_view utf8) = 0;
  virtual void Reference(std::string_view name) = 0;
  virtual void End() = 0;
  std::vector<uint8_t> Out;

 protected:
  void Append(std::string_view s) { Out.insert(Out.end(), s.begin(), s.end()); }
};

class TXTextEmitter : public TXEmitter {
 public:
  explicit TXTextEmitter(bool doubles) : FDoubles(doubles) {}
  void Begin(std::string_view type, std::string_view name) override {
    Indent();
    Append(type);
    if (!name.empty()) {
      Append(" ");
      Append(name);
    }
    Append(" {\n");
    ++FDepth;
  }
  void Integers(const std::vector<uint32_t>& values) override {
    Indent();
    for (size_t i = 0; i < values.size(); ++i) {
      Append(std::to_string(values[i]));
      Append(i + 1 < values.size() ? ";" : ";\n");
    }
    if (values.empty()) Append("\n");
  }
  void Floats(const std::vector<double>& values) override {
    Indent();
    char text[40];
    for (size_t i = 0; i < values.size(); ++i) {
      // Enough digits that the value reads back exactly.
      std::snprintf(text, sizeof text, FDoubles ? "%.17g" : "%.9g", values[i]);
      Append(text);
      Append(i + 1 < values.size() ? ((i + 1) % 3 ? ";" : ";\n") : ";\n");
    }
  }
  void String(std::string_view utf8) override {
    Indent();
    Append("\"");
    Append(Utf8ToAnsi(utf8));
    Append("\";\n");
  }
  void Reference(std::string_view name) override {
    Indent();
    Append("{ ");
    Append(name);
    Append(" }\n");
  }
  void End() override {
    --FDepth;
    Indent();
    Append("}\n");
  }

 private:
  void Indent() { Out.insert(Out.end(), size_t(FDepth) * 1, ' '); }
  bool FDoubles;
  int FDepth = 0;
};

class TXBinaryEmitter : public TXEmitter {
 public:
  explicit TXBinaryEmitter(bool doubles) : FDoubles(doubles) {}
  void Begin(std::string_view type, std::string_view name) override {
    Name(type);
    if (!name.empty()) Name(name);
    Word(10);
  }
  void Integers(const std::vector<uint32_t>& values) override {
    Word(6);
    Cardinal(uint32_t(values.size()));
    for (uint32_t v : values) Cardinal(v);
  }
  void Floats(const std::vector<double>& values) override {
    Word(7);
    Cardinal(uint32_t(values.size()));
    for (double v : values) {
      if (FDoubles) {
        Raw(&v, 8);
      } else {
        const float f = float(v);
        Raw(&f, 4);
      }
    }
  }
  void String(std::string_view utf8) override {
    const std::string ansi = Utf8ToAnsi(utf8);
    Word(2);
    Cardinal(uint32_t(ansi.size()));
    Append(ansi);
    Word(20);
  }
  void Reference(std::string_view name) override {
    Word(10);
    Name(name);
    Word(11);
  }
  void End() override { Word(11); }

 private:
  void Name(std::string_view s) {
    const std::string ansi = Utf8ToAnsi(s);
    Word(1);
    Cardinal(uint32_t(ansi.size()));
    Append(ansi);
  }
  void Word(uint16_t v) { Raw(&v, 2); }
  void Cardinal(uint32_t v) { Raw(&v, 4); }
  void Raw(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    Out.insert(Out.end(), b, b + n);
  }
  bool FDoubles;
};

class TXWriter {
 public:
  TXWriter(const TGXModelData& model, TXEmitter& e)
      : FModel(model), E(e), FWritten(model.Meshes.size(), false) {}

  void Write() {
    if (FModel.HasAnimation) {
      const float spf = FModel.Animation.SecondsPerFrame;
      double ticks = spf > 0 ? std::round(1.0 / double(spf)) : 4800.0;
      ticks = std::min(std::max(ticks, 1.0), 4294967295.0);
      E.Begin("AnimTicksPerSecond", "");
      E.Integers({uint32_t(ticks)});
      E.End();
    }
    // Every mesh at the top level, in order, so that reading keeps the order; frames reference
    // them by name.
    for (uint32_t m = 0; m < FModel.Meshes.size(); ++m) {
      FWritten[m] = true;
      Mesh(FModel.Meshes[m], MeshName(m));
    }
    std::vector<uint32_t> roots;
    FChildren = ChildLists(FModel, roots);
    for (uint32_t r : roots) Frame(r);
    if (FModel.HasAnimation) Animation();
  }

 private:
  static std::string MeshName(uint32_t m) { return "Mesh" + std::to_string(m); }

  void MeshOrReference(uint32_t m) {
    if (m >= FModel.Meshes.size()) return;
    if (FWritten[m]) {
      E.Reference(MeshName(m));
      return;
    }
    FWritten[m] = true;
    Mesh(FModel.Meshes[m], MeshName(m));
  }

  void Frame(uint32_t n) {
    // Iterative over the tree, so deep trees write without deep recursion.
    std::vector<std::pair<uint32_t, size_t>> stack{{n, 0}};
    OpenFrame(n);
    while (!stack.empty()) {
      auto& [node, next] = stack.back();
      if (next < FChildren[node].size()) {
        const uint32_t child = FChildren[node][next++];
        OpenFrame(child);
        stack.push_back({child, 0});
      } else {
        E.End();
        stack.pop_back();
      }
    }
  }

  void OpenFrame(uint32_t n) {
    const TGXModelNode& node = FModel.Nodes[n];
    E.Begin("Frame", node.Name);
    E.Begin("FrameTransformMatrix", "");
    const TGXMatrix m = GXMatrixTransformation(node.Scale, node.Rotation, node.Position);
    std::vector<double> values;
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) values.push_back(m.m[r][c]);
    E.Floats(values);
    E.End();
    for (uint32_t mesh : node.Meshes) MeshOrReference(mesh);
  }

  void Mesh(const TGXModelMesh& mesh, const std::string& name) {
    const uint32_t faceCount = uint32_t(mesh.Indices.size() / 3);
    E.Begin("Mesh", name);
    E.Integers({uint32_t(mesh.Vertices.size())});
    std::vector<double> floats;
    for (const TGXModelVertex& v : mesh.Vertices)
      floats.insert(floats.end(), {v.Position.x, v.Position.y, v.Position.z});
    E.Floats(floats);
    std::vector<uint32_t> faces{faceCount};
    for (uint32_t f = 0; f < faceCount; ++f)
      faces.insert(faces.end(), {3u, mesh.Indices[f * 3], mesh.Indices[f * 3 + 1], mesh.Indices[f * 3 + 2]});
    E.Integers(faces);

    E.Begin("MeshNormals", "");
    E.Integers({uint32_t(mesh.Vertices.size())});
    floats.clear();
    for (const TGXModelVertex& v : mesh.Vertices)
      floats.insert(floats.end(), {v.Normal.x, v.Normal.y, v.Normal.z});
    E.Floats(floats);
    E.Integers(faces);
    E.End();

    E.Begin("MeshTextureCoords", "");
    E.Integers({uint32_t(mesh.Vertices.size())});
    floats.clear();
    for (const TGXModelVertex& v : mesh.Vertices) floats.insert(floats.end(), {v.TexCoord.x, v.TexCoord.y});
    E.Floats(floats);
    E.End();

    // One material per sub-mesh with a texture name; faces of the others have none.
    std::vector<uint32_t> materialOfSub(mesh.SubMeshes.size(), UINT32_MAX);
    uint32_t materialCount = 0;
    for (size_t s = 0; s < mesh.SubMeshes.size(); ++s)
      if (!mesh.SubMeshes[s].TextureName.empty()) materialOfSub[s] = materialCount++;
    std::vector<uint32_t> list{materialCount, faceCount};
    for (uint32_t f = 0; f < faceCount; ++f) {
      uint32_t material = materialCount;
      for (size_t s = 0; s < mesh.SubMeshes.size(); ++s) {
        const TGXModelSubMesh& sub = mesh.SubMeshes[s];
        if (f * 3 >= sub.FirstIndex && f * 3 < sub.FirstIndex + sub.IndexCount) {
          if (materialOfSub[s] != UINT32_MAX) material = materialOfSub[s];
          break;
        }
      }
      list.push_back(material);
    }
    E.Begin("MeshMaterialList", "");
    E.Integers(list);
    for (size_t s = 0; s < mesh.SubMeshes.size(); ++s) {
      if (materialOfSub[s] == UINT32_MAX) continue;
      const std::string& texture = mesh.SubMeshes[s].TextureName;
      E.Begin("Material", "");
      double rgba[4] = {1, 1, 1, 1};
      if (GXModelIsColorName(texture)) {
        const uint32_t argb = ParseColorName(texture);
        rgba[0] = ((argb >> 16) & 0xFF) / 255.0;
        rgba[1] = ((argb >> 8) & 0xFF) / 255.0;
        rgba[2] = (argb & 0xFF) / 255.0;
        rgba[3] = (argb >> 24) / 255.0;
      }
      E.Floats({rgba[0], rgba[1], rgba[2], rgba[3], 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0});
      if (!GXModelIsColorName(texture)) {
        E.Begin("TextureFilename", "");
        E.String(texture);
        E.End();
      }
      E.End();
    }
    E.End();
    E.End();
  }

  void Animation() {
    E.Begin("AnimationSet", "Default");
    for (const TGXModelTrack& track : FModel.Animation.Tracks) {
      E.Begin("Animation", "");
      E.Reference(track.Name);
      if (!track.RotationKeys.empty()) {
        E.Begin("AnimationKey", "");
        E.Integers({0, uint32_t(track.RotationKeys.size())});
        for (const auto& k : track.RotationKeys) {
          // The reader conjugates rotation keys.
          const TGXQuaternion q = GXQuaternionConjugate(GXQuaternionNormalize(k.Value));
          E.Integers({k.Frame, 4});
          E.Floats({q.w, q.x, q.y, q.z});
        }
        E.End();
      }
      auto vectors = [&](uint32_t kind, const std::vector<TGXModelKey<TGXVector3>>& keys) {
        if (keys.empty()) return;
        E.Begin("AnimationKey", "");
        E.Integers({kind, uint32_t(keys.size())});
        for (const auto& k : keys) {
          E.Integers({k.Frame, 3});
          E.Floats({k.Value.x, k.Value.y, k.Value.z});
        }
        E.End();
      };
      vectors(1, track.ScaleKeys);
      vectors(2, track.PositionKeys);
      E.End();
    }
    E.End();
  }

  const TGXModelData& FModel;
  TXEmitter& E;
  std::vector<bool> FWritten;
  std::vector<std::vector<uint32_t>> FChildren;
};

}  // namespace

std::vector<uint8_t> GXDeflateXFileBody(const uint8_t* body, size_t size) {
  std::vector<uint8_t> out(4);
  const uint32_t total = uint32_t(16 + size);
  std::memcpy(out.data(), &total, 4);
  z_stream z{};
  if (deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::vector<uint8_t> packed(compressBound(32768) + 64);
  for (size_t at = 0; at < size; at += 32768) {
    const size_t blockSize = std::min<size_t>(32768, size - at);
    deflateReset(&z);
    if (at > 0) deflateSetDictionary(&z, body + at - 32768, 32768);
    z.next_in = const_cast<Bytef*>(body + at);
    z.avail_in = uInt(blockSize);
    z.next_out = packed.data();
    z.avail_out = uInt(packed.size());
    const int result = deflate(&z, Z_FINISH);
    if (result != Z_STREAM_END) {
      deflateEnd(&z);
      throw std::runtime_error("deflate");
    }
    const size_t packedSize = packed.size() - z.avail_out;
    const uint16_t sizes[2] = {uint16_t(blockSize), uint16_t(packedSize + 2)};
    const auto* s = reinterpret_cast<const uint8_t*>(sizes);
    out.insert(out.end(), s, s + 4);
    out.push_back('C');
    out.push_back('K');
    out.insert(out.end(), packed.begin(), packed.begin() + std::ptrdiff_t(packedSize));
  }
  deflateEnd(&z);
  return out;
}

std::vector<uint8_t> GXWriteXFile(const TGXModelData& model, const TGXXFileWriteOptions& options) {
  const bool binary = options.Form == EGXXFileForm::Binary || options.Form == EGXXFileForm::CompressedBinary;
  const bool compressed =
      options.Form == EGXXFileForm::CompressedText || options.Form == EGXXFileForm::CompressedBinary;
  TXTextEmitter text(options.Doubles);
  TXBinaryEmitter bin(options.Doubles);
  TXEmitter& e = binary ? static_cast<TXEmitter&>(bin) : static_cast<TXEmitter&>(text);
  TXWriter(model, e).Write();
  std::string header = "xof 0303";
  header += compressed ? (binary ? "bzip" : "tzip") : (binary ? "bin " : "txt ");
  header += options.Doubles ? "0064" : "0032";
  std::vector<uint8_t> out(header.begin(), header.end());
  if (!binary && !compressed) {
    out.push_back('\n');
    out.push_back('\n');
  }
  if (compressed) {
    const std::vector<uint8_t> packed = GXDeflateXFileBody(e.Out.data(), e.Out.size());
    out.insert(out.end(), packed.begin(), packed.end());
  } else {
    out.insert(out.end(), e.Out.begin(), e.Out.end());
  }
  return out;
}

}  // namespace gx
