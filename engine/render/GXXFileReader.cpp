#include "engine/render/GXXFileReader.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/core/GXException.h"
#include "engine/core/GXSerialization.h"
#include "engine/core/GXStrings.h"

namespace gx {

namespace {

[[noreturn]] void UnknownXFile() { throw EUnknownModel({"Unknown DirectX file."}); }

// One data object of the file, kept generically: the numbers and strings of its own members in
// order, its child objects and its references ({ Name }).
struct TXObject {
  std::string Type;
  std::string Name;
  std::vector<double> Numbers;
  std::vector<std::string> Strings;
  std::vector<uint32_t> Children;  // into TXFile::Objects
  std::vector<std::string> References;
};

struct TXFile {
  std::vector<TXObject> Objects;
  std::vector<uint32_t> TopLevel;
};

enum class TTok { End, Name, String, Number, Numbers, OBrace, CBrace, Guid, Template, Separator };

// ---- text files ----

class TTextLexer {
 public:
  TTextLexer(const uint8_t* data, size_t size)
      : FPos(reinterpret_cast<const char*>(data)), FEnd(FPos + size) {}

  // The next token; for Name and String the text is in Text(), for Number the value in Value().
  TTok Next() {
    SkipSpace();
    if (FPos >= FEnd) return TTok::End;
    const char c = *FPos;
    if (c == '{') return ++FPos, TTok::OBrace;
    if (c == '}') return ++FPos, TTok::CBrace;
    if (c == ',' || c == ';') return ++FPos, TTok::Separator;
    if (c == '<') {
      const void* close = std::memchr(FPos, '>', size_t(FEnd - FPos));
      if (!close) UnknownXFile();
      FPos = static_cast<const char*>(close) + 1;
      return TTok::Guid;
    }
    if (c == '"') {
      const void* close = std::memchr(FPos + 1, '"', size_t(FEnd - FPos - 1));
      if (!close) UnknownXFile();
      FText = std::string_view(FPos + 1, size_t(static_cast<const char*>(close) - FPos - 1));
      FPos = static_cast<const char*>(close) + 1;
      return TTok::String;
    }
    if (IsNameStart(c)) {
      const char* start = FPos;
      while (FPos < FEnd && IsNameChar(*FPos)) ++FPos;
      FText = std::string_view(start, size_t(FPos - start));
      return FText == "template" ? TTok::Template : TTok::Name;
    }
    if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.') {
      const char* start = FPos + (c == '+' ? 1 : 0);
      auto [end, ec] = std::from_chars(start, FEnd, FValue);
      if (ec == std::errc::result_out_of_range) {
        FValue = 0;  // a denormal or huge literal reads as 0, never as garbage
        while (end < FEnd && IsNumberChar(*end)) ++end;
      } else if (ec != std::errc()) {
        UnknownXFile();
      }
      FPos = end;
      return TTok::Number;
    }
    UnknownXFile();
  }

  // After a data object's identifier: its optional name (any run of characters up to white space
  // or the brace), then the opening brace.
  std::string ObjectName() {
    SkipSpace();
    const char* start = FPos;
    while (FPos < FEnd && *FPos != '{' && !IsSpace(*FPos)) ++FPos;
    std::string name(start, size_t(FPos - start));
    if (Next() != TTok::OBrace) UnknownXFile();
    return name;
  }

  // After the opening brace of a reference: the name up to white space, '<' or '}'.
  std::string ReferenceName() {
    SkipSpace();
    const char* start = FPos;
    while (FPos < FEnd && *FPos != '}' && *FPos != '<' && !IsSpace(*FPos)) ++FPos;
    return std::string(start, size_t(FPos - start));
  }

  std::string_view Text() const { return FText; }
  double Value() const { return FValue; }
  // Text lists are single numbers.
  void AppendNumbers(std::vector<double>&) {}

 private:
  static bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
  }
  static bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
  static bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }
  static bool IsNumberChar(char c) {
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
  }

  void SkipSpace() {
    while (FPos < FEnd) {
      const char c = *FPos;
      if (IsSpace(c)) {
        ++FPos;
      } else if (c == '#' || (c == '/' && FPos + 1 < FEnd && FPos[1] == '/')) {
        const void* eol = std::memchr(FPos, '\n', size_t(FEnd - FPos));
        FPos = eol ? static_cast<const char*>(eol) + 1 : FEnd;
      } else {
        break;
      }
    }
  }

  const char* FPos;
  const char* FEnd;
  std::string_view FText;
  double FValue = 0;
};

// ---- binary files ----

enum : uint16_t {
  kTokName = 1,
  kTokString = 2,
  kTokInteger = 3,
  kTokGuid = 5,
  kTokIntegerList = 6,
  kTokFloatList = 7,
  kTokOBrace = 10,
  kTokCBrace = 11,
  kTokTemplate = 31,
};

class TBinaryLexer {
 public:
  TBinaryLexer(const uint8_t* data, size_t size, bool doubles)
      : FStream(const_cast<uint8_t*>(data), int64_t(size)), FData(data), FDoubles(doubles) {}

  TTok Next() {
    if (FPending != TTok::End) {
      const TTok t = FPending;
      FPending = TTok::End;
      return t;
    }
    if (FStream.Remaining() == 0) return TTok::End;
    if (FStream.Remaining() < 2) UnknownXFile();
    const uint16_t token = ReadWord(FStream);
    switch (token) {
      case kTokName: {
        FText = Chars(ReadCardinal(FStream));
        return TTok::Name;
      }
      case kTokString: {
        FText = Chars(ReadCardinal(FStream));
        ReadWord(FStream);  // the terminating separator token
        return TTok::String;
      }
      case kTokInteger:
        FValue = ReadCardinal(FStream);
        return TTok::Number;
      case kTokGuid:
        Skip(16);
        return TTok::Guid;
      case kTokIntegerList: {
        const uint32_t count = ReadCardinal(FStream);
        CheckCount(FStream, count, 4);
        FListAt = FStream.Position();
        FListCount = count;
        FListFloat = false;
        Skip(int64_t(count) * 4);
        return TTok::Numbers;
      }
      case kTokFloatList: {
        const uint32_t count = ReadCardinal(FStream);
        const int64_t width = FDoubles ? 8 : 4;
        CheckCount(FStream, count, width);
        FListAt = FStream.Position();
        FListCount = count;
        FListFloat = true;
        Skip(int64_t(count) * width);
        return TTok::Numbers;
      }
      case kTokOBrace:
        return TTok::OBrace;
      case kTokCBrace:
        return TTok::CBrace;
      case kTokTemplate:
        return TTok::Template;
      default:
        // Separators, brackets and the type keywords of template definitions carry no data.
        if (token >= 10 && token <= 53) return TTok::Separator;
        UnknownXFile();
    }
  }

  std::string ObjectName() {
    std::string name;
    TTok t = Next();
    if (t == TTok::Name) {
      name = std::string(FText);
      t = Next();
    }
    if (t == TTok::Guid) t = Next();
    if (t != TTok::OBrace) UnknownXFile();
    return name;
  }

  std::string ReferenceName() {
    const TTok t = Next();
    if (t == TTok::Name) return std::string(FText);
    FPending = t;
    return std::string();
  }

  std::string_view Text() const { return FText; }
  double Value() const { return FValue; }

  // The values of the list token just read.
  void AppendNumbers(std::vector<double>& out) {
    const uint8_t* p = FData + FListAt;
    const size_t base = out.size();
    out.resize(base + FListCount);
    double* d = out.data() + base;
    if (!FListFloat) {
      for (uint32_t i = 0; i < FListCount; ++i) {
        uint32_t v;
        std::memcpy(&v, p + size_t(i) * 4, 4);
        d[i] = v;
      }
    } else if (FDoubles) {
      std::memcpy(d, p, size_t(FListCount) * 8);
    } else {
      for (uint32_t i = 0; i < FListCount; ++i) {
        float v;
        std::memcpy(&v, p + size_t(i) * 4, 4);
        d[i] = v;
      }
    }
  }

 private:
  std::string_view Chars(uint32_t count) {
    CheckCount(FStream, count, 1);
    const auto* p = reinterpret_cast<const char*>(FData + FStream.Position());
    Skip(count);
    return std::string_view(p, count);
  }
  void Skip(int64_t count) {
    CheckCount(FStream, count, 1);
    FStream.Seek(count, TGXSeekOrigin::Current);
  }

  TGXMemoryStreamAdapter FStream;
  const uint8_t* FData;
  bool FDoubles;
  TTok FPending = TTok::End;
  std::string_view FText;
  double FValue = 0;
  int64_t FListAt = 0;
  uint32_t FListCount = 0;
  bool FListFloat = false;
};

// ---- the object tree ----

template <typename TLexer>
class TParser {
 public:
  explicit TParser(TLexer& lexer) : FLexer(lexer) {}

  TXFile Parse() {
    TXFile file;
    FFile = &file;
    for (;;) {
      const TTok t = FLexer.Next();
      if (t == TTok::End) break;
      if (t == TTok::Template) {
        SkipTemplate();
      } else if (t == TTok::Name) {
        file.TopLevel.push_back(Object(std::string(FLexer.Text()), 1));
      } else if (t != TTok::Separator) {
        UnknownXFile();
      }
    }
    return file;
  }

 private:
  void SkipTemplate() {
    int depth = 0;
    for (;;) {
      const TTok t = FLexer.Next();
      if (t == TTok::End) UnknownXFile();
      if (t == TTok::OBrace) ++depth;
      if (t == TTok::CBrace && --depth <= 0) return;
    }
  }

  uint32_t Object(std::string type, uint32_t depth) {
    if (depth > GXMaxModelNodeDepth) UnknownXFile();
    const uint32_t index = uint32_t(FFile->Objects.size());
    FFile->Objects.emplace_back();
    std::string name = FLexer.ObjectName();
    {
      TXObject& o = FFile->Objects[index];
      o.Type = std::move(type);
      o.Name = std::move(name);
    }
    for (;;) {
      const TTok t = FLexer.Next();
      switch (t) {
        case TTok::Number:
          FFile->Objects[index].Numbers.push_back(FLexer.Value());
          break;
        case TTok::Numbers:
          FLexer.AppendNumbers(FFile->Objects[index].Numbers);
          break;
        case TTok::String:
          FFile->Objects[index].Strings.push_back(AnsiToUtf8(FLexer.Text()));
          break;
        case TTok::Name: {
          const uint32_t child = Object(std::string(FLexer.Text()), depth + 1);
          FFile->Objects[index].Children.push_back(child);
          break;
        }
        case TTok::OBrace: {
          std::string reference = FLexer.ReferenceName();
          TTok close = FLexer.Next();
          if (close == TTok::Guid) close = FLexer.Next();
          if (close != TTok::CBrace) UnknownXFile();
          FFile->Objects[index].References.push_back(std::move(reference));
          break;
        }
        case TTok::CBrace:
          return index;
        case TTok::Guid:
        case TTok::Separator:
          break;
        case TTok::End:
        case TTok::Template:
          UnknownXFile();
      }
    }
  }

  TLexer& FLexer;
  TXFile* FFile = nullptr;
};

// ---- from the object tree to the model ----

// Sequential reading of an object's numbers; running out is a corrupt file.
class TValues {
 public:
  explicit TValues(const TXObject& o) : FNumbers(o.Numbers) {}
  double Number() {
    if (FAt >= FNumbers.size()) UnknownXFile();
    return FNumbers[FAt++];
  }
  float Single() { return static_cast<float>(Number()); }
  uint32_t Count(size_t minValuesEach) {
    const double v = Number();
    if (!(v >= 0) || v > 4294967295.0 || v != std::floor(v)) UnknownXFile();
    const uint32_t n = uint32_t(v);
    // Each element needs at least minValuesEach more numbers: no count larger than the file.
    if (minValuesEach && n > (FNumbers.size() - FAt) / minValuesEach) UnknownXFile();
    return n;
  }
  TGXVector3 Vector() {
    const float x = Single(), y = Single(), z = Single();
    return {x, y, z};
  }
  size_t Left() const { return FNumbers.size() - FAt; }

 private:
  const std::vector<double>& FNumbers;
  size_t FAt = 0;
};

struct TXMaterial {
  std::string TextureName;
};

class TBuilder {
 public:
  TBuilder(const TXFile& file, TGXModelData& model) : FFile(file), FModel(model) {
    for (uint32_t i = 0; i < file.Objects.size(); ++i)
      if (!file.Objects[i].Name.empty()) FByName.emplace(file.Objects[i].Name, i);  // first wins
  }

  void Build() {
    FModel.Format = EGXModelFormat::XFile;
    // Meshes referenced from frames appear there, not also on the target node.
    std::vector<bool> referencedMesh(FFile.Objects.size(), false);
    for (const TXObject& o : FFile.Objects)
      if (o.Type == "Frame")
        for (const std::string& r : o.References)
          if (const TXObject* target = Find(r); target && target->Type == "Mesh")
            referencedMesh[size_t(target - FFile.Objects.data())] = true;
    uint32_t ticks = 0;
    const TXObject* animationSet = nullptr;
    for (uint32_t top : FFile.TopLevel) {
      const TXObject& o = FFile.Objects[top];
      if (o.Type == "Frame") {
        Frame(top, -1);
      } else if (o.Type == "Mesh") {
        const uint32_t mesh = MeshIndex(top);
        if (!referencedMesh[top]) FModel.RootMeshes.push_back(mesh);
      } else if (o.Type == "AnimTicksPerSecond") {
        TValues v(o);
        ticks = v.Count(0);
      } else if (o.Type == "AnimationSet" && !animationSet) {
        animationSet = &o;
      }
    }
    if (animationSet) Animation(*animationSet, ticks ? ticks : 4800);
  }

 private:
  const TXObject* Find(const std::string& name) const {
    auto it = FByName.find(name);
    return it == FByName.end() ? nullptr : &FFile.Objects[it->second];
  }

  void Frame(uint32_t index, int32_t parent) {
    const TXObject& o = FFile.Objects[index];
    const int32_t self = int32_t(FModel.Nodes.size());
    FModel.Nodes.emplace_back();
    FModel.Nodes[size_t(self)].Name = o.Name;
    FModel.Nodes[size_t(self)].Parent = parent;
    for (uint32_t c : o.Children) {
      const TXObject& child = FFile.Objects[c];
      if (child.Type == "FrameTransformMatrix") {
        TValues v(child);
        TGXMatrix m;
        for (int r = 0; r < 4; ++r)
          for (int k = 0; k < 4; ++k) m.m[r][k] = v.Single();
        Decompose(m, FModel.Nodes[size_t(self)]);
      } else if (child.Type == "Mesh") {
        const uint32_t mesh = MeshIndex(c);
        FModel.Nodes[size_t(self)].Meshes.push_back(mesh);
      } else if (child.Type == "Frame") {
        Frame(c, self);
      }
    }
    for (const std::string& r : o.References)
      if (const TXObject* target = Find(r); target && target->Type == "Mesh") {
        const uint32_t mesh = MeshIndex(uint32_t(target - FFile.Objects.data()));
        FModel.Nodes[size_t(self)].Meshes.push_back(mesh);
      }
  }

  static void Decompose(const TGXMatrix& m, TGXModelNode& node) {
    TGXVector3 scale, translation;
    TGXQuaternion rotation;
    if (!GXIsFinite(m) || !GXMatrixDecompose(scale, rotation, translation, m)) {
      // A degenerate matrix keeps its translation and scale; no rotation can be told.
      node.Position = GXIsFinite(m) ? translation : TGXVector3{0, 0, 0};
      node.Scale = GXIsFinite(m) ? scale : TGXVector3{1, 1, 1};
      node.Rotation = {0, 0, 0, 1};
      return;
    }
    node.Position = translation;
    node.Rotation = GXQuaternionNormalize(rotation);
    node.Scale = scale;
  }

  // The model mesh of a Mesh object, converted once however often it is referenced.
  uint32_t MeshIndex(uint32_t object) {
    auto it = FMeshOf.find(object);
    if (it != FMeshOf.end()) return it->second;
    const uint32_t index = uint32_t(FModel.Meshes.size());
    FModel.Meshes.push_back(Mesh(FFile.Objects[object]));
    FMeshOf.emplace(object, index);
    return index;
  }

  std::string MaterialTexture(const TXObject& material) const {
    for (uint32_t c : material.Children) {
      const TXObject& child = FFile.Objects[c];
      if (child.Type == "TextureFilename" && !child.Strings.empty() && !child.Strings[0].empty())
        return child.Strings[0];
    }
    TValues v(material);
    float rgba[4] = {0, 0, 0, 0};
    for (float& c : rgba)
      if (v.Left()) c = v.Single();
    return GXModelColorName(rgba[0], rgba[1], rgba[2], rgba[3]);
  }

  TGXModelMesh Mesh(const TXObject& o) const {
    TValues v(o);
    const uint32_t vertexCount = v.Count(3);
    if (vertexCount > GXMaxMeshVertices) throw EInvalid32BitModel({"32 bit indices not supported."});
    std::vector<TGXVector3> positions(vertexCount);
    for (TGXVector3& p : positions) p = v.Vector();
    // Faces: per face its first corner in faceCorners and its corner count.
    const uint32_t faceCount = v.Count(1);
    std::vector<uint32_t> faceStart(size_t(faceCount) + 1, 0);
    std::vector<uint32_t> faceCorners;
    faceCorners.reserve(size_t(faceCount) * 3);
    for (uint32_t f = 0; f < faceCount; ++f) {
      const uint32_t n = v.Count(1);
      for (uint32_t k = 0; k < n; ++k) {
        const uint32_t index = v.Count(0);
        if (index >= vertexCount) UnknownXFile();
        faceCorners.push_back(index);
      }
      faceStart[f + 1] = uint32_t(faceCorners.size());
    }

    const TXObject* normalsObject = nullptr;
    const TXObject* uvObject = nullptr;
    const TXObject* materialList = nullptr;
    for (uint32_t c : o.Children) {
      const TXObject& child = FFile.Objects[c];
      if (child.Type == "MeshNormals" && !normalsObject) normalsObject = &child;
      if (child.Type == "MeshTextureCoords" && !uvObject) uvObject = &child;
      if (child.Type == "MeshMaterialList" && !materialList) materialList = &child;
    }

    std::vector<TGXVector2> uvs(vertexCount, TGXVector2{0, 0});
    if (uvObject) {
      TValues u(*uvObject);
      const uint32_t count = u.Count(2);
      for (uint32_t i = 0; i < count; ++i) {
        const float s = u.Single(), t = u.Single();
        if (i < vertexCount) uvs[i] = {s, t};
      }
    }

    // Normals with their own faces: a normal index per corner.
    std::vector<TGXVector3> normals;
    std::vector<uint32_t> normalCorners;
    if (normalsObject) {
      TValues n(*normalsObject);
      const uint32_t count = n.Count(3);
      normals.resize(count);
      for (TGXVector3& nv : normals) nv = n.Vector();
      const uint32_t faces = n.Count(1);
      bool matches = faces == faceCount;
      normalCorners.reserve(faceCorners.size());
      for (uint32_t f = 0; f < faces; ++f) {
        const uint32_t corners = n.Count(1);
        if (matches && corners != faceStart[f + 1] - faceStart[f]) matches = false;
        for (uint32_t k = 0; k < corners; ++k) {
          const uint32_t index = n.Count(0);
          if (index >= count) UnknownXFile();
          if (matches) normalCorners.push_back(index);
        }
      }
      // Normal faces that do not match the mesh's faces cannot be paired: computed normals instead.
      if (!matches) normalCorners.clear();
    }

    // Material per face; faces without one get the empty texture name.
    std::vector<std::string> textures;
    std::vector<uint32_t> faceMaterial(faceCount, UINT32_MAX);
    if (materialList) {
      TValues m(*materialList);
      const uint32_t materialCount = m.Count(0);
      const uint32_t indexCount = m.Count(1);
      for (uint32_t i = 0; i < indexCount; ++i) {
        const uint32_t material = m.Count(0);
        if (i < faceCount) faceMaterial[i] = material;
      }
      for (uint32_t c : materialList->Children)
        if (FFile.Objects[c].Type == "Material") textures.push_back(MaterialTexture(FFile.Objects[c]));
      for (const std::string& r : materialList->References)
        if (const TXObject* target = Find(r); target && target->Type == "Material")
          textures.push_back(MaterialTexture(*target));
      (void)materialCount;
      for (uint32_t& fm : faceMaterial)
        if (fm >= textures.size()) fm = UINT32_MAX;
    }

    TGXModelMesh mesh;
    mesh.Name = "Mesh";
    mesh.Vertices.resize(vertexCount);
    for (uint32_t i = 0; i < vertexCount; ++i) mesh.Vertices[i] = {positions[i], {0, 0, 0}, uvs[i]};

    // Corner vertices: split per (position, normal) where the normals have faces of their own.
    std::vector<uint32_t> cornerVertex(faceCorners.begin(), faceCorners.end());
    if (!normalCorners.empty()) {
      constexpr uint32_t kNone = UINT32_MAX;
      std::vector<uint32_t> firstVariant(vertexCount, kNone);
      std::vector<uint32_t> nextVariant;
      std::vector<TGXVector3> variantNormal;
      std::vector<uint32_t> variantVertex;
      for (size_t i = 0; i < faceCorners.size(); ++i) {
        const uint32_t p = faceCorners[i];
        const TGXVector3& n = normals[normalCorners[i]];
        uint32_t* link = &firstVariant[p];
        uint32_t found = kNone;
        while (*link != kNone) {
          if (std::memcmp(&variantNormal[*link], &n, sizeof n) == 0) {
            found = variantVertex[*link];
            break;
          }
          link = &nextVariant[*link];
        }
        if (found == kNone) {
          if (firstVariant[p] == kNone) {
            found = p;
          } else {
            found = uint32_t(mesh.Vertices.size());
            if (found >= GXMaxMeshVertices) throw EInvalid32BitModel({"32 bit indices not supported."});
            mesh.Vertices.push_back(mesh.Vertices[p]);
          }
          mesh.Vertices[found].Normal = n;
          *link = uint32_t(variantNormal.size());
          variantNormal.push_back(n);
          variantVertex.push_back(found);
          nextVariant.push_back(kNone);
        }
        cornerVertex[i] = found;
      }
    } else {
      // Missing normals: each vertex the normalised sum of the normals of the faces around it.
      std::vector<TGXVector3> sum(vertexCount, TGXVector3{0, 0, 0});
      for (uint32_t f = 0; f < faceCount; ++f) {
        const uint32_t s = faceStart[f], e = faceStart[f + 1];
        if (e - s < 3) continue;
        TGXVector3 n{0, 0, 0};
        for (uint32_t k = s + 1; k + 1 < e; ++k) {
          const TGXVector3& p0 = positions[faceCorners[s]];
          n = n + GXVec3Cross(positions[faceCorners[k]] - p0, positions[faceCorners[k + 1]] - p0);
        }
        n = GXVec3Normalize(n);
        for (uint32_t k = s; k < e; ++k) sum[faceCorners[k]] = sum[faceCorners[k]] + n;
      }
      for (uint32_t i = 0; i < vertexCount; ++i) mesh.Vertices[i].Normal = GXVec3Normalize(sum[i]);
    }

    // Faces sorted stably by material (faces without one last), each a fan of triangles.
    std::vector<uint32_t> order(faceCount);
    for (uint32_t f = 0; f < faceCount; ++f) order[f] = f;
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return faceMaterial[a] < faceMaterial[b]; });
    mesh.Indices.reserve(faceCorners.size());
    uint32_t current = UINT32_MAX - 1;  // no group yet
    for (uint32_t f : order) {
      const uint32_t s = faceStart[f], e = faceStart[f + 1];
      if (e - s < 3) continue;
      if (faceMaterial[f] != current || mesh.SubMeshes.empty()) {
        current = faceMaterial[f];
        TGXModelSubMesh sub;
        sub.FirstIndex = uint32_t(mesh.Indices.size());
        if (current != UINT32_MAX) sub.TextureName = textures[current];
        mesh.SubMeshes.push_back(std::move(sub));
      }
      for (uint32_t k = s + 1; k + 1 < e; ++k) {
        mesh.Indices.push_back(uint16_t(cornerVertex[s]));
        mesh.Indices.push_back(uint16_t(cornerVertex[k]));
        mesh.Indices.push_back(uint16_t(cornerVertex[k + 1]));
      }
      mesh.SubMeshes.back().IndexCount = uint32_t(mesh.Indices.size()) - mesh.SubMeshes.back().FirstIndex;
    }
    GXModelCalculateBounds(mesh);
    return mesh;
  }

  template <typename T>
  static void AddKey(std::vector<TGXModelKey<T>>& keys, double time, const T& value) {
    // Frames are whole ticks; keys whose frame does not grow are dropped.
    const double rounded = std::round(time);
    if (!(rounded >= 0) || rounded > 4294967295.0) return;
    const uint32_t frame = uint32_t(rounded);
    if (keys.empty() || frame > keys.back().Frame) keys.push_back({frame, value});
  }

  void Animation(const TXObject& set, uint32_t ticks) {
    TGXModelAnimation& animation = FModel.Animation;
    animation.SecondsPerFrame = 1.0f / float(ticks);
    for (uint32_t a : set.Children) {
      const TXObject& anim = FFile.Objects[a];
      if (anim.Type != "Animation") continue;
      TGXModelTrack track;
      if (!anim.References.empty()) track.Name = anim.References.front();
      for (uint32_t c : anim.Children) {
        const TXObject& child = FFile.Objects[c];
        if (child.Type == "Frame" && track.Name.empty()) track.Name = child.Name;
        if (child.Type != "AnimationKey") continue;
        TValues v(child);
        const uint32_t kind = v.Count(0);
        const uint32_t keyCount = v.Count(2);
        for (uint32_t k = 0; k < keyCount; ++k) {
          const double time = v.Number();
          const uint32_t n = v.Count(1);
          float values[16] = {};
          for (uint32_t i = 0; i < n; ++i) {
            const float value = v.Single();
            if (i < 16) values[i] = value;
          }
          if (kind == 0 && n >= 4) {
            const TGXQuaternion q{values[1], values[2], values[3], values[0]};
            AddKey(track.RotationKeys, time, GXQuaternionConjugate(GXQuaternionNormalize(q)));
          } else if (kind == 1 && n >= 3) {
            AddKey(track.ScaleKeys, time, TGXVector3{values[0], values[1], values[2]});
          } else if (kind == 2 && n >= 3) {
            AddKey(track.PositionKeys, time, TGXVector3{values[0], values[1], values[2]});
          } else if (kind == 4 && n >= 16) {
            TGXMatrix m;
            std::memcpy(m.m, values, sizeof values);
            TGXModelNode parts;
            Decompose(m, parts);
            AddKey(track.ScaleKeys, time, parts.Scale);
            AddKey(track.RotationKeys, time, parts.Rotation);
            AddKey(track.PositionKeys, time, parts.Position);
          }
        }
      }
      if (track.Name.empty() ||
          (track.PositionKeys.empty() && track.RotationKeys.empty() && track.ScaleKeys.empty()))
        continue;
      animation.Tracks.push_back(std::move(track));
    }
    FModel.HasAnimation = !animation.Tracks.empty();
  }

  const TXFile& FFile;
  TGXModelData& FModel;
  std::unordered_map<std::string, uint32_t> FByName;
  std::unordered_map<uint32_t, uint32_t> FMeshOf;
};

}  // namespace

std::vector<uint8_t> GXInflateXFileBody(const uint8_t* data, size_t size) {
  TGXMemoryStreamAdapter s(const_cast<uint8_t*>(data), int64_t(size));
  if (size < 4) UnknownXFile();
  const uint32_t total = ReadCardinal(s);
  if (total < 16 || total - 16 > GXMaxXFileInflatedSize) UnknownXFile();
  const uint32_t expected = total - 16;
  std::vector<uint8_t> out;
  // Room for what the blocks can give at deflate's best ratio (about 1032 : 1), never more than
  // stated: a lying header cannot make the reader allocate beyond a bound of the input's size,
  // and sound files inflate without reallocating.
  out.reserve(size_t(std::min<uint64_t>(expected, uint64_t(size) * 1032)));
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) UnknownXFile();
  struct TEnd {
    z_stream& Z;
    ~TEnd() { inflateEnd(&Z); }
  } end{z};
  size_t previous = 0;  // start of the previous block's output
  while (s.Remaining() > 0) {
    if (s.Remaining() < 6) UnknownXFile();
    const uint16_t blockSize = ReadWord(s);
    const uint16_t packed = ReadWord(s);
    if (blockSize == 0 || blockSize > 32768 || packed < 2 || packed > s.Remaining()) UnknownXFile();
    const uint8_t* block = data + s.Position();
    s.Seek(packed, TGXSeekOrigin::Current);
    if (block[0] != 'C' || block[1] != 'K') UnknownXFile();
    // The output grows block by block, so a lying header never allocates more than the blocks give.
    if (out.size() + blockSize > expected) UnknownXFile();
    const size_t at = out.size();
    out.resize(at + blockSize);
    if (inflateReset(&z) != Z_OK) UnknownXFile();
    if (at > previous && inflateSetDictionary(&z, out.data() + previous, uInt(at - previous)) != Z_OK)
      UnknownXFile();
    z.next_in = const_cast<Bytef*>(block + 2);
    z.avail_in = uInt(packed - 2);
    z.next_out = out.data() + at;
    z.avail_out = blockSize;
    const int result = inflate(&z, Z_FINISH);
    if (result != Z_STREAM_END || z.avail_out != 0) UnknownXFile();
    previous = at;
  }
  if (out.size() != expected) UnknownXFile();
  return out;
}

TGXModelData GXReadXFile(TGXStream& s) {
  const int64_t size = s.Remaining();
  std::vector<uint8_t> data(size_t(std::max<int64_t>(size, 0)));
  if (size > 0) s.ReadBuffer(data.data(), size);
  return GXReadXFile(data.data(), data.size());
}

TGXModelData GXReadXFile(const uint8_t* data, size_t size) {
  if (size < 16 || std::memcmp(data, "xof ", 4) != 0) UnknownXFile();
  const std::string_view version(reinterpret_cast<const char*>(data) + 4, 4);
  const std::string_view format(reinterpret_cast<const char*>(data) + 8, 4);
  const std::string_view floats(reinterpret_cast<const char*>(data) + 12, 4);
  if (version != "0302" && version != "0303") UnknownXFile();
  if (floats != "0032" && floats != "0064") UnknownXFile();
  const bool doubles = floats == "0064";
  std::vector<uint8_t> inflated;
  const uint8_t* body = data + 16;
  size_t bodySize = size - 16;
  bool binary;
  if (format == "txt " || format == "bin ") {
    binary = format == "bin ";
  } else if (format == "tzip" || format == "bzip") {
    binary = format == "bzip";
    inflated = GXInflateXFileBody(body, bodySize);
    body = inflated.data();
    bodySize = inflated.size();
  } else {
    UnknownXFile();
  }
  try {
    TXFile file;
    if (binary) {
      TBinaryLexer lexer(body, bodySize, doubles);
      file = TParser<TBinaryLexer>(lexer).Parse();
    } else {
      TTextLexer lexer(body, bodySize);
      file = TParser<TTextLexer>(lexer).Parse();
    }
    TGXModelData model;
    TBuilder(file, model).Build();
    return model;
  } catch (const EUnknownModel&) {
    throw;
  } catch (const EInvalid32BitModel&) {
    throw;
  } catch (const std::exception&) {
    // Stream read errors of the binary form are corrupt files too.
    UnknownXFile();
  }
}

}  // namespace gx
