#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <optional>

#include "engine/core/GXException.h"
#include "engine/render/GX3DSReader.h"
#include "engine/render/GXModelReader.h"
#include "engine/render/GXModelWriter.h"

namespace gx {
namespace {

// ---- a small description of a 3DS file, written with the chunk writer ----

using TFace3 = std::array<uint16_t, 3>;

struct TObj {
  std::string Name = "Obj";
  std::vector<TGXVector3> Vertices;  // 3DS space (z up)
  std::vector<TFace3> Faces;         // a, b, c as stored
  std::vector<uint32_t> Masks;       // no smoothing chunk when empty
  std::vector<std::pair<std::string, std::vector<uint16_t>>> Groups;
  std::optional<std::array<float, 12>> Matrix;
};

struct TMat {
  std::string Name;
  std::array<uint8_t, 3> Rgb{0, 0, 0};
  std::optional<uint16_t> Percent;
  bool Negate = false;
  std::string Texture;
};

struct TKeys {
  std::vector<std::pair<uint32_t, std::array<float, 4>>> Keys;  // frame, values as stored
};

struct TNode3 {
  std::optional<uint16_t> Id;
  std::string Object;
  std::string Instance;
  uint16_t Flags1 = 0;
  uint16_t Parent = 0xFFFF;
  TGXVector3 Pivot{0, 0, 0};
  TKeys Position, Rotation, Scale;
};

void WriteTrack(TGX3DSChunkWriter& w, uint16_t tag, const TKeys& keys, int values) {
  if (keys.Keys.empty()) return;
  w.Begin(tag);
  w.Word(0), w.Cardinal(0), w.Cardinal(0), w.Cardinal(uint32_t(keys.Keys.size()));
  for (const auto& [frame, v] : keys.Keys) {
    w.Cardinal(frame);
    w.Word(0);
    for (int i = 0; i < values; ++i) w.Single(v[size_t(i)]);
  }
  w.End();
}

std::vector<uint8_t> Make3DS(const std::vector<TObj>& objects, const std::vector<TMat>& materials = {},
                             const std::vector<TNode3>& nodes = {}, uint16_t mainTag = 0x4D4D) {
  TGX3DSChunkWriter w;
  w.Begin(mainTag);
  w.Begin(0x3D3D);
  for (const TMat& m : materials) {
    w.Begin(0xAFFF);
    w.Begin(0xA000), w.String(m.Name), w.End();
    w.Begin(0xA020), w.Begin(0x0011), w.Bytes(m.Rgb.data(), 3), w.End(), w.End();
    if (m.Percent) w.Begin(0xA050), w.Begin(0x0030), w.Word(*m.Percent), w.End(), w.End();
    if (m.Negate) w.Begin(0xA08A), w.End();
    if (!m.Texture.empty()) w.Begin(0xA200), w.Begin(0xA300), w.String(m.Texture), w.End(), w.End();
    w.End();
  }
  for (const TObj& o : objects) {
    w.Begin(0x4000);
    w.String(o.Name);
    w.Begin(0x4100);
    w.Begin(0x4110), w.Word(uint16_t(o.Vertices.size()));
    for (const TGXVector3& v : o.Vertices) w.Vector(v);
    w.End();
    if (o.Matrix) w.Begin(0x4160), w.Bytes(o.Matrix->data(), 48), w.End();
    w.Begin(0x4120), w.Word(uint16_t(o.Faces.size()));
    for (const TFace3& f : o.Faces) w.Word(f[0]), w.Word(f[1]), w.Word(f[2]), w.Word(0);
    for (const auto& [material, faces] : o.Groups) {
      w.Begin(0x4130), w.String(material), w.Word(uint16_t(faces.size()));
      for (uint16_t f : faces) w.Word(f);
      w.End();
    }
    if (!o.Masks.empty()) {
      w.Begin(0x4150);
      for (uint32_t m : o.Masks) w.Cardinal(m);
      w.End();
    }
    w.End();
    w.End();
    w.End();
  }
  w.End();
  if (!nodes.empty()) {
    w.Begin(0xB000);
    for (const TNode3& n : nodes) {
      w.Begin(0xB002);
      if (n.Id) w.Begin(0xB030), w.Word(*n.Id), w.End();
      w.Begin(0xB010), w.String(n.Object), w.Word(n.Flags1), w.Word(0), w.Word(n.Parent), w.End();
      if (!n.Instance.empty()) w.Begin(0xB011), w.String(n.Instance), w.End();
      w.Begin(0xB013), w.Vector(n.Pivot), w.End();
      WriteTrack(w, 0xB020, n.Position, 3);
      WriteTrack(w, 0xB021, n.Rotation, 4);
      WriteTrack(w, 0xB022, n.Scale, 3);
      w.End();
    }
    w.End();
  }
  w.End();
  return w.Data();
}

TGXModelData Read(const std::vector<uint8_t>& file) { return GXRead3DS(file.data(), file.size()); }

// A triangle in the 3DS ground plane and one standing on its x edge.
TObj Fold(std::vector<uint32_t> masks) {
  TObj o;
  o.Vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  o.Faces = {{0, 1, 2}, {0, 1, 3}};
  o.Masks = std::move(masks);
  return o;
}

void ExpectNear(const TGXVector3& a, const TGXVector3& b, const char* what) {
  EXPECT_NEAR(a.x, b.x, 1e-5f) << what;
  EXPECT_NEAR(a.y, b.y, 1e-5f) << what;
  EXPECT_NEAR(a.z, b.z, 1e-5f) << what;
}

const TGXVector3& NormalAt(const TGXModelMesh& m, const TGXVector3& position, size_t which = 0) {
  for (const TGXModelVertex& v : m.Vertices)
    if (v.Position.x == position.x && v.Position.y == position.y && v.Position.z == position.z &&
        which-- == 0)
      return v.Normal;
  ADD_FAILURE() << "no vertex at the position";
  static TGXVector3 none{};
  return none;
}

TEST(GX3DSReader, FileSpaceSwapsAxesReversesFacesAndFlipsTexCoords) {
  TObj o;
  o.Vertices = {{1, 2, 3}, {4, 5, 6}, {7, 8, 10}};
  o.Faces = {{0, 1, 2}};
  o.Matrix = std::array<float, 12>{2, 0, 0, 0, 2, 0, 0, 0, 2, 100, 100, 100};  // no nodes: not applied
  std::vector<uint8_t> file = Make3DS({o});
  const TGXModelData model = Read(file);
  ASSERT_EQ(model.Meshes.size(), 1u);
  const TGXModelMesh& m = model.Meshes[0];
  EXPECT_EQ(m.Name, "Obj");
  ASSERT_EQ(m.Vertices.size(), 3u);
  ExpectNear(m.Vertices[0].Position, {1, 3, 2}, "y and z swapped");
  ExpectNear(m.Vertices[2].Position, {7, 10, 8}, "y and z swapped");
  EXPECT_EQ(m.Indices, (std::vector<uint16_t>{2, 1, 0}));
  EXPECT_EQ(model.RootMeshes, std::vector<uint32_t>{0})
      << "without object nodes every mesh sits on the target";
  EXPECT_TRUE(model.Nodes.empty());
  EXPECT_FALSE(model.HasAnimation);
  ASSERT_EQ(m.SubMeshes.size(), 1u);
  EXPECT_EQ(m.SubMeshes[0].TextureName, "");
  ExpectNear(m.SubMeshes[0].BoundsMin, {1, 3, 2}, "bounds");
  ExpectNear(m.SubMeshes[0].BoundsMax, {7, 10, 8}, "bounds");
}

TEST(GX3DSReader, MeshMatricesPlaceObjectsThatHaveNodes) {
  struct TCase {
    const char* Name;
    std::array<float, 12> Matrix;
    TGXVector3 Stored;
    TGXVector3 Expected;
    bool Mirrored;
  };
  const TCase cases[] = {
      {"translation", {1, 0, 0, 0, 1, 0, 0, 0, 1, 10, 20, 30}, {11, 20, 30}, {1, 0, 0}, false},
      {"singular counts as identity", {0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 5, 5}, {1, 2, 3}, {1, 3, 2}, false},
      {"mirror", {-1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}, {1, 2, 3}, {-1, 3, 2}, true},
      {"scaled mirror keeps its size", {-2, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}, {2, 0, 0}, {-1, 0, 0}, true},
  };
  for (const TCase& c : cases) {
    TObj o;
    o.Vertices = {c.Stored, {0, 0, 0}, {0, 1, 0}};
    o.Faces = {{0, 1, 2}};
    o.Matrix = c.Matrix;
    TNode3 node;
    node.Object = "Obj";
    const TGXModelData model = Read(Make3DS({o}, {}, {node}));
    ASSERT_EQ(model.Meshes.size(), 1u) << c.Name;
    const TGXModelMesh& m = model.Meshes[0];
    ExpectNear(m.Vertices[0].Position, c.Expected, c.Name);
    EXPECT_EQ(m.Indices, c.Mirrored ? (std::vector<uint16_t>{0, 1, 2}) : (std::vector<uint16_t>{2, 1, 0}))
        << c.Name;
    // Face normal from the final positions in drawing order, negated for mirrors.
    const TGXVector3& p0 = m.Vertices[m.Indices[0]].Position;
    const TGXVector3 n = GXVec3Normalize(
        GXVec3Cross(m.Vertices[m.Indices[1]].Position - p0, m.Vertices[m.Indices[2]].Position - p0));
    ExpectNear(m.Vertices[1].Normal, c.Mirrored ? -n : n, c.Name);
    ASSERT_EQ(model.Nodes.size(), 1u);
    EXPECT_EQ(model.Nodes[0].Meshes, std::vector<uint32_t>{0}) << c.Name;
    EXPECT_TRUE(model.RootMeshes.empty());
  }
}

TEST(GX3DSReader, SmoothingGroupsShareOrSplitVertices) {
  const TGXVector3 up{0, 1, 0}, front{0, 0, -1};
  const TGXVector3 smooth = GXVec3Normalize(up + front);
  struct TCase {
    const char* Name;
    std::vector<uint32_t> Masks;
    size_t Vertices;
    TGXVector3 SharedNormal;  // of the first vertex at the origin
  };
  const TCase cases[] = {
      {"no smoothing chunk", {}, 6, up},           {"both in group 1", {1, 1}, 4, smooth},
      {"different groups", {1, 2}, 6, up},         {"mask 0 is flat", {0, 1}, 6, up},
      {"highest common group", {3, 2}, 4, smooth}, {"missing masks are 0", {1}, 6, up},
  };
  for (const TCase& c : cases) {
    const TGXModelData model = Read(Make3DS({Fold(c.Masks)}));
    const TGXModelMesh& m = model.Meshes[0];
    EXPECT_EQ(m.Vertices.size(), c.Vertices) << c.Name;
    ExpectNear(NormalAt(m, {0, 0, 0}), c.SharedNormal, c.Name);
    ExpectNear(NormalAt(m, {0, 0, 1}), up, c.Name);     // only in the ground face
    ExpectNear(NormalAt(m, {0, 1, 0}), front, c.Name);  // only in the standing face
    for (uint16_t i : m.Indices) EXPECT_LT(i, m.Vertices.size()) << c.Name;
  }
}

TEST(GX3DSReader, SplitVerticesAboveTheLimitAreRefused) {
  TObj o;
  o.Vertices.assign(GXMaxMeshVertices, TGXVector3{0, 0, 0});
  o.Vertices[1] = {1, 0, 0}, o.Vertices[2] = {0, 1, 0};
  o.Faces = {{0, 1, 2}, {2, 1, 0}};  // opposite normals: three more vertices
  try {
    Read(Make3DS({o}));
    FAIL() << "no exception";
  } catch (const EInvalid32BitModel& e) {
    EXPECT_EQ(FormatExceptionArgs(e.Args()), "32 bit indices not supported.");
  }
  o.Faces.pop_back();
  EXPECT_EQ(Read(Make3DS({o})).Meshes[0].Vertices.size(), GXMaxMeshVertices);
}

TEST(GX3DSReader, MaterialGroupsAndColourTexts) {
  const std::vector<TMat> materials = {
      {"Orange", {255, 128, 0}, std::nullopt, false, ""},
      {"HalfClear", {255, 128, 0}, 50, false, ""},
      {"Negated", {255, 128, 0}, 50, true, ""},
      {"Clear", {0, 0, 16}, 100, false, ""},
      {"Wood", {1, 2, 3}, std::nullopt, false, "Tex\\Wood.bmp"},
  };
  TObj o;
  o.Vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  o.Faces = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}};
  o.Groups = {{"orange", {0, 7}},  // case-insensitive; face 7 does not exist
              {"Missing", {1}},    // not drawn
              {"HalfClear", {1, 2}}, {"Negated", {2}}, {"Clear", {0}}, {"WOOD", {2, 0}}};
  const TGXModelMesh m = Read(Make3DS({o}, materials)).Meshes[0];
  using namespace std::string_literals;
  const std::vector<std::pair<std::string, uint32_t>> expected = {{"\0FFFF8000"s, 3},
                                                                  {"\080FF8000"s, 6},
                                                                  {"\0FFFF8000"s, 3},
                                                                  {std::string(1, '\0') + "10", 3},
                                                                  {"Tex\\Wood.bmp", 6}};
  ASSERT_EQ(m.SubMeshes.size(), expected.size());
  uint32_t first = 0;
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(m.SubMeshes[i].TextureName, expected[i].first) << i;
    EXPECT_EQ(m.SubMeshes[i].FirstIndex, first) << i;
    EXPECT_EQ(m.SubMeshes[i].IndexCount, expected[i].second) << i;
    first += expected[i].second;
  }
  EXPECT_EQ(m.Indices.size(), first);
  // The last group lists face 2 before face 0: group order, not face order.
  EXPECT_EQ(m.Indices[first - 6], m.Indices[6]);
}

TEST(GX3DSReader, NodesNamesParentsAndEntities) {
  TObj a = Fold({}), b = Fold({});
  a.Name = "A", b.Name = "B";
  std::vector<TNode3> nodes(6);
  nodes[0].Id = 10, nodes[0].Object = "A";  // root, shows A
  nodes[1].Id = 11, nodes[1].Object = "B", nodes[1].Instance = "B1", nodes[1].Parent = 10;
  nodes[2].Id = 12, nodes[2].Object = "B", nodes[2].Instance = "B2", nodes[2].Flags1 = 0x4000,
  nodes[2].Parent = 11;
  nodes[3].Id = 13, nodes[3].Object = "$$$DUMMY", nodes[3].Instance = "C1",
  nodes[3].Parent = 14;  // cycle with 14
  nodes[4].Id = 14, nodes[4].Object = "$$$DUMMY", nodes[4].Instance = "C2", nodes[4].Parent = 13;
  nodes[5].Id = 10, nodes[5].Object = "a", nodes[5].Parent = 99;  // duplicate id, unknown parent
  const TGXModelData model = Read(Make3DS({a, b}, {}, nodes));
  ASSERT_EQ(model.Nodes.size(), 6u);
  std::vector<std::string> names;
  for (const TGXModelNode& n : model.Nodes) {
    names.push_back(n.Name);
    if (n.Parent >= 0) {
      EXPECT_LT(n.Parent, int32_t(&n - model.Nodes.data()));
    }
  }
  // Parents first: C1 hangs under C2 once the cycle is cut.
  EXPECT_EQ(names, (std::vector<std::string>{"A", "B1", "B2", "C2", "C1", "a"}));
  auto parentName = [&](size_t i) {
    return model.Nodes[i].Parent < 0 ? std::string("-") : model.Nodes[size_t(model.Nodes[i].Parent)].Name;
  };
  EXPECT_EQ(parentName(1), "A") << "the first node with id 10";
  EXPECT_EQ(parentName(2), "B1");
  EXPECT_EQ(parentName(3), "-") << "the link that closes the cycle (C2's) goes to the target";
  EXPECT_EQ(parentName(4), "C2");
  EXPECT_EQ(parentName(5), "-");
  EXPECT_EQ(model.Nodes[0].Meshes, std::vector<uint32_t>{0});
  EXPECT_EQ(model.Nodes[1].Meshes, std::vector<uint32_t>{1});
  EXPECT_TRUE(model.Nodes[2].Meshes.empty()) << "instance with flag 0x4000";
  EXPECT_TRUE(model.Nodes[5].Meshes.empty()) << "names compare as texts, case and all";
  EXPECT_TRUE(model.RootMeshes.empty());
}

TEST(GX3DSReader, NodesWithoutIdsAreNumberedInFileOrder) {
  std::vector<TNode3> nodes(3);
  nodes[0].Object = "P";
  nodes[1].Object = "Q", nodes[1].Parent = 0;
  nodes[2].Object = "R", nodes[2].Parent = 1, nodes[2].Id = 0;  // one id is not enough
  const TGXModelData model = Read(Make3DS({Fold({})}, {}, nodes));
  ASSERT_EQ(model.Nodes.size(), 3u);
  EXPECT_EQ(model.Nodes[1].Parent, 0);
  EXPECT_EQ(model.Nodes[2].Parent, 1);
}

TEST(GX3DSReader, TracksGiveTransformAndAnimation) {
  const float quarter = GX_PI / 2;
  TNode3 n;
  n.Object = "Obj";
  n.Pivot = {1, 2, 3};
  n.Position.Keys = {{0, {10, 20, 30, 0}},
                     {10, {11, 21, 31, 0}},
                     {10, {0, 0, 0, 0}},
                     {5, {0, 0, 0, 0}},
                     {20, {12, 22, 32, 0}}};
  n.Rotation.Keys = {{0, {quarter, 0, 0, 1}}, {10, {quarter, 0, 0, 1}}};  // about the 3DS z axis
  n.Scale.Keys = {{0, {2, 3, 4, 0}}};
  TNode3 still;
  still.Object = "$$$DUMMY", still.Instance = "Still";
  still.Position.Keys = {{0, {1, 1, 1, 0}}};
  const TGXModelData model = Read(Make3DS({Fold({})}, {}, {n, still}));
  ASSERT_EQ(model.Nodes.size(), 2u);
  const TGXModelNode& node = model.Nodes[0];
  ExpectNear(node.Position, {9, 27, 18}, "first key minus pivot, swapped");
  ExpectNear(node.Scale, {2, 4, 3}, "swapped");
  const TGXQuaternion quarterY = GXQuaternionRotationAxis({0, 1, 0}, quarter);
  EXPECT_NEAR(std::abs(GXQuaternionDot(node.Rotation, quarterY)), 1.0f, 1e-5f);
  ASSERT_TRUE(model.HasAnimation);
  EXPECT_FLOAT_EQ(model.Animation.SecondsPerFrame, 0.04f);
  ASSERT_EQ(model.Animation.Tracks.size(), 1u) << "single keys make no track";
  const TGXModelTrack& t = model.Animation.Tracks[0];
  EXPECT_EQ(t.Name, "Obj");
  ASSERT_EQ(t.PositionKeys.size(), 3u) << "keys whose frame does not grow are dropped";
  EXPECT_EQ(t.PositionKeys[2].Frame, 20u);
  ExpectNear(t.PositionKeys[1].Value, {11, 31, 21}, "no pivot in keys");
  ASSERT_EQ(t.RotationKeys.size(), 2u);
  const TGXQuaternion halfY = GXQuaternionRotationAxis({0, 1, 0}, GX_PI);
  EXPECT_NEAR(std::abs(GXQuaternionDot(t.RotationKeys[1].Value, halfY)), 1.0f, 1e-5f) << "keys accumulate";
  EXPECT_TRUE(t.ScaleKeys.empty());
}

TEST(GX3DSReader, CorruptFilesAreRefused) {
  TObj good = Fold({});
  const std::vector<uint8_t> base = Make3DS({good});
  auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
    std::vector<uint8_t> f = base;
    std::copy(bytes.begin(), bytes.end(), f.begin() + std::ptrdiff_t(at));
    return f;
  };
  TObj outOfRange = good;
  outOfRange.Faces[1][2] = 4;
  struct TCase {
    const char* Name;
    std::vector<uint8_t> File;
  };
  const TCase cases[] = {
      {"empty", {}},
      {"short", {0x4D, 0x4D, 6, 0}},
      {"other first chunk", Make3DS({good}, {}, {}, 0x3D3D)},
      {"length below the header", patched(2, {5, 0, 0, 0})},
      {"length past the file", patched(2, {0xFF, 0xFF, 0, 0})},
      {"sub-chunk past its parent", patched(8, {0xFF, 0xFF, 0, 0})},
      {"vertex number out of range", Make3DS({outOfRange})},
      {"truncated", std::vector<uint8_t>(base.begin(), base.end() - 3)},
  };
  for (const TCase& c : cases) {
    EXPECT_ANY_THROW(Read(c.File)) << c.Name;
  }
  try {
    Read(Make3DS({good}, {}, {}, 0x1234));
    FAIL();
  } catch (const EUnknownModel& e) {
    EXPECT_EQ(FormatExceptionArgs(e.Args()), "Unknown 3DS file.");
  }
  // A count beyond its chunk: the vertex count of the only object raised to 1000.
  std::vector<uint8_t> f = base;
  for (size_t i = 0; i + 1 < f.size(); ++i)
    if (f[i] == 0x10 && f[i + 1] == 0x41) {
      f[i + 6] = 0xE8, f[i + 7] = 0x03;
      break;
    }
  EXPECT_ANY_THROW(Read(f));
  // An object name without its NUL.
  TGX3DSChunkWriter w;
  w.Begin(0x4D4D), w.Begin(0x3D3D), w.Begin(0x4000), w.Bytes("Name", 4), w.End(), w.End(), w.End();
  EXPECT_ANY_THROW(Read(w.Data()));
}

TEST(GX3DSReader, WriterRoundTrip) {
  TGXModelData model;
  TGXModelMesh mesh;
  mesh.Name = "Quad";
  mesh.Vertices = {{{0, 0, 0}, {0, 1, 0}, {0, 0}},
                   {{1, 0, 0}, {0, 1, 0}, {1, 0}},
                   {{1, 0, 1}, {0, 1, 0}, {1, 1}},
                   {{0, 0, 1}, {0, 1, 0}, {0, 1}}};
  mesh.Indices = {0, 2, 1, 0, 3, 2};
  using namespace std::string_literals;
  mesh.SubMeshes = {{0, 3, "Gras.dds", {}, {}}, {3, 3, "\0FF00FF00"s, {}, {}}};
  GXModelCalculateBounds(mesh);
  model.Meshes.push_back(mesh);
  model.RootMeshes = {0};
  const TGXModelData read = Read(GXWrite3DS(model));
  ASSERT_EQ(read.Meshes.size(), 1u);
  const TGXModelMesh& r = read.Meshes[0];
  EXPECT_EQ(r.Name, "Quad");
  EXPECT_EQ(r.Indices, mesh.Indices);
  ASSERT_EQ(r.Vertices.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    ExpectNear(r.Vertices[i].Position, mesh.Vertices[i].Position, "position");
    ExpectNear(r.Vertices[i].Normal, mesh.Vertices[i].Normal, "normal");
    EXPECT_FLOAT_EQ(r.Vertices[i].TexCoord.y, mesh.Vertices[i].TexCoord.y);
  }
  ASSERT_EQ(r.SubMeshes.size(), 2u);
  EXPECT_EQ(r.SubMeshes[0].TextureName, "Gras.dds");
  EXPECT_EQ(r.SubMeshes[1].TextureName, "\0FF00FF00"s);
  EXPECT_EQ(GXWrite3DS(model), GXWrite3DS(model)) << "deterministic";
}

TEST(GXModelReader, TriesThreeDSThenX) {
  const std::vector<uint8_t> threeDS = Make3DS({Fold({})});
  EXPECT_EQ(GXReadModel(threeDS.data(), threeDS.size()).Format, EGXModelFormat::Format3DS);
  const std::string x = "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }";
  EXPECT_EQ(GXReadModel(reinterpret_cast<const uint8_t*>(x.data()), x.size()).Format, EGXModelFormat::XFile);
  const std::string neither = "neither of them";
  try {
    GXReadModel(reinterpret_cast<const uint8_t*>(neither.data()), neither.size());
    FAIL();
  } catch (const EUnknownModel& e) {
    EXPECT_EQ(FormatExceptionArgs(e.Args()), "CreateInstance, Unknown 3DS file., Unknown DirectX file.");
  }
}

}  // namespace
}  // namespace gx
