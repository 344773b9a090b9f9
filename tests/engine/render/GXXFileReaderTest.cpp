#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "engine/core/GXException.h"
#include "engine/render/GXModelWriter.h"
#include "engine/render/GXXFileReader.h"

namespace gx {
namespace {

using namespace std::string_literals;

TGXModelData ReadText(const std::string& body, const char* header = "xof 0303txt 0032\n") {
  const std::string file = header + body;
  return GXReadXFile(reinterpret_cast<const uint8_t*>(file.data()), file.size());
}

TGXModelData Read(const std::vector<uint8_t>& file) { return GXReadXFile(file.data(), file.size()); }

std::string ReasonOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EGXException& e) {
    return FormatExceptionArgs(e.Args());
  }
  return "no exception";
}

// A model using every part the writer knows: two frames (one mesh shown twice), a mesh on the
// target, a texture and a colour, and an animation of all three kinds.
TGXModelData SampleModel() {
  TGXModelData m;
  m.Format = EGXModelFormat::XFile;
  TGXModelMesh mesh;
  mesh.Name = "Mesh";
  mesh.Vertices = {{{0, 0, 0}, {0, 1, 0}, {0, 0}},
                   {{1.1f, 0, 0}, {0, 1, 0}, {1, 0}},
                   {{1.1f, 0, 1.3f}, {0, 0.6f, 0.8f}, {1, 1}},
                   {{0, 0, 1.3f}, {0, 0.6f, 0.8f}, {0, 1}}};
  mesh.Indices = {0, 2, 1, 0, 3, 2};
  mesh.SubMeshes = {{0, 3, "Holz.dds", {}, {}}, {3, 3, "\0800080FF"s, {}, {}}};
  GXModelCalculateBounds(mesh);
  m.Meshes = {mesh, mesh};
  m.Meshes[1].SubMeshes = {{0, 6, "", {}, {}}};
  GXModelCalculateBounds(m.Meshes[1]);
  m.RootMeshes = {1};
  TGXModelNode root;
  root.Name = "Root";
  root.Position = {1, 2, 3};
  root.Meshes = {0};
  TGXModelNode child;
  child.Name = "Child";
  child.Parent = 0;
  child.Rotation = GXQuaternionRotationAxis({0, 1, 0}, 0.5f);
  child.Meshes = {0};
  m.Nodes = {root, child};
  m.HasAnimation = true;
  m.Animation.SecondsPerFrame = 1.0f / 30;
  TGXModelTrack track;
  track.Name = "Child";
  track.PositionKeys = {{0, {0, 0, 0}}, {15, {0, 1, 0}}};
  track.RotationKeys = {{0, {0, 0, 0, 1}}, {30, GXQuaternionRotationAxis({0, 0, 1}, 1.0f)}};
  track.ScaleKeys = {{5, {2, 2, 2}}};
  m.Animation.Tracks = {track};
  return m;
}

void ExpectEqual(const TGXModelData& a, const TGXModelData& b, const std::string& what) {
  ASSERT_EQ(a.Meshes.size(), b.Meshes.size()) << what;
  for (size_t i = 0; i < a.Meshes.size(); ++i) {
    const TGXModelMesh &x = a.Meshes[i], &y = b.Meshes[i];
    ASSERT_EQ(x.Vertices.size(), y.Vertices.size()) << what;
    EXPECT_EQ(0,
              std::memcmp(x.Vertices.data(), y.Vertices.data(), x.Vertices.size() * sizeof(TGXModelVertex)))
        << what;
    EXPECT_EQ(x.Indices, y.Indices) << what;
    ASSERT_EQ(x.SubMeshes.size(), y.SubMeshes.size()) << what;
    for (size_t s = 0; s < x.SubMeshes.size(); ++s) {
      EXPECT_EQ(x.SubMeshes[s].TextureName, y.SubMeshes[s].TextureName) << what;
      EXPECT_EQ(x.SubMeshes[s].FirstIndex, y.SubMeshes[s].FirstIndex) << what;
      EXPECT_EQ(x.SubMeshes[s].IndexCount, y.SubMeshes[s].IndexCount) << what;
    }
  }
  EXPECT_EQ(a.RootMeshes, b.RootMeshes) << what;
  ASSERT_EQ(a.Nodes.size(), b.Nodes.size()) << what;
  for (size_t i = 0; i < a.Nodes.size(); ++i) {
    const TGXModelNode &x = a.Nodes[i], &y = b.Nodes[i];
    EXPECT_EQ(x.Name, y.Name) << what;
    EXPECT_EQ(x.Parent, y.Parent) << what;
    EXPECT_EQ(x.Meshes, y.Meshes) << what;
    EXPECT_NEAR(x.Position.x, y.Position.x, 1e-5f) << what;
    EXPECT_NEAR(x.Position.z, y.Position.z, 1e-5f) << what;
    EXPECT_NEAR(std::abs(GXQuaternionDot(x.Rotation, y.Rotation)), 1.0f, 1e-5f) << what;
  }
  ASSERT_EQ(a.HasAnimation, b.HasAnimation) << what;
  EXPECT_NEAR(a.Animation.SecondsPerFrame, b.Animation.SecondsPerFrame, 1e-7f) << what;
  ASSERT_EQ(a.Animation.Tracks.size(), b.Animation.Tracks.size()) << what;
  for (size_t i = 0; i < a.Animation.Tracks.size(); ++i) {
    const TGXModelTrack &x = a.Animation.Tracks[i], &y = b.Animation.Tracks[i];
    EXPECT_EQ(x.Name, y.Name) << what;
    ASSERT_EQ(x.PositionKeys.size(), y.PositionKeys.size()) << what;
    ASSERT_EQ(x.RotationKeys.size(), y.RotationKeys.size()) << what;
    ASSERT_EQ(x.ScaleKeys.size(), y.ScaleKeys.size()) << what;
    for (size_t k = 0; k < x.RotationKeys.size(); ++k) {
      EXPECT_EQ(x.RotationKeys[k].Frame, y.RotationKeys[k].Frame) << what;
      EXPECT_NEAR(GXQuaternionDot(x.RotationKeys[k].Value, y.RotationKeys[k].Value), 1.0f, 1e-5f) << what;
    }
    for (size_t k = 0; k < x.PositionKeys.size(); ++k) {
      EXPECT_EQ(x.PositionKeys[k].Frame, y.PositionKeys[k].Frame) << what;
      EXPECT_FLOAT_EQ(x.PositionKeys[k].Value.y, y.PositionKeys[k].Value.y) << what;
    }
  }
}

TEST(GXXFileReader, EveryFormReadsTheSameModel) {
  const TGXModelData source = SampleModel();
  const TGXModelData text = Read(GXWriteXFile(source));
  ExpectEqual(text, source, "text against the source");
  struct TCase {
    const char* Name;
    EGXXFileForm Form;
    bool Doubles;
  };
  const TCase cases[] = {
      {"binary", EGXXFileForm::Binary, false},
      {"compressed text", EGXXFileForm::CompressedText, false},
      {"compressed binary", EGXXFileForm::CompressedBinary, false},
      {"text, 64-bit floats", EGXXFileForm::Text, true},
      {"binary, 64-bit floats", EGXXFileForm::Binary, true},
      {"compressed binary, 64-bit floats", EGXXFileForm::CompressedBinary, true},
  };
  for (const TCase& c : cases) {
    const std::vector<uint8_t> file = GXWriteXFile(source, {c.Form, c.Doubles});
    EXPECT_EQ(file, GXWriteXFile(source, {c.Form, c.Doubles})) << c.Name << " is deterministic";
    ExpectEqual(Read(file), text, c.Name);
  }
}

TEST(GXXFileReader, LargeCompressedBodiesSpanBlocks) {
  TGXModelData model;
  TGXModelMesh mesh;
  for (int i = 0; i < 3000; ++i) {
    mesh.Vertices.push_back({{float(i), float(i % 7), 0.5f}, {0, 1, 0}, {0, 0}});
    if (i >= 2) mesh.Indices.insert(mesh.Indices.end(), {uint16_t(i - 2), uint16_t(i - 1), uint16_t(i)});
  }
  mesh.SubMeshes = {{0, uint32_t(mesh.Indices.size()), "", {}, {}}};
  model.Meshes = {mesh};
  model.RootMeshes = {0};
  const TGXModelData plain = Read(GXWriteXFile(model));
  const std::vector<uint8_t> packed = GXWriteXFile(model, {EGXXFileForm::CompressedText, false});
  ExpectEqual(Read(packed), plain, "several MSZIP blocks");
}

TEST(GXXFileReader, FacesReferencesAndMaterials) {
  const TGXModelData m = ReadText(R"(
template Unused { <11111111-2222-3333-4444-555555555555> DWORD x; }
Header { 1; 0; 1; }
Material Red { 1.0; 0.0; 0.0; 0.5;; 0.0; 0,0,0;; 0,0,0;; }
Material Tex { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { "C:\\Bilder\\Stein.PNG"; } }
Frame Top {
  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 5,6,7,1;; }
  Mesh Shape {
    5; 0;0;0;, 1;0;0;, 1;0;1;, 0;0;1;, 0.5;0;1.5;;
    3;
    4; 0,3,2,1;,          // a quad: two triangles
    3; 0,2,1;,
    5; 0,3,4,2,1;;        // a pentagon: three
    MeshMaterialList { 2; 3; 1, 0, 7;; { Red } { Tex } }
  }
}
Frame Other { { Shape } }
)");
  ASSERT_EQ(m.Meshes.size(), 1u) << "a referenced mesh is read once";
  ASSERT_EQ(m.Nodes.size(), 2u);
  EXPECT_EQ(m.Nodes[0].Name, "Top");
  EXPECT_EQ(m.Nodes[0].Position.x, 5.0f);
  EXPECT_EQ(m.Nodes[0].Position.z, 7.0f);
  EXPECT_EQ(m.Nodes[1].Meshes, std::vector<uint32_t>{0});
  EXPECT_TRUE(m.RootMeshes.empty());
  const TGXModelMesh& mesh = m.Meshes[0];
  // Sorted stably by material: face 1 (Red), face 0 (Tex), face 2 (no such material).
  EXPECT_EQ(mesh.Indices, (std::vector<uint16_t>{0, 2, 1, 0, 3, 2, 0, 2, 1, 0, 3, 4, 0, 4, 2, 0, 2, 1}));
  ASSERT_EQ(mesh.SubMeshes.size(), 3u);
  EXPECT_EQ(mesh.SubMeshes[0].TextureName, "\080FF0000"s);
  EXPECT_EQ(mesh.SubMeshes[1].TextureName, "C:\\\\Bilder\\\\Stein.PNG");
  EXPECT_EQ(mesh.SubMeshes[2].TextureName, "") << "faces without material";
  EXPECT_EQ(mesh.SubMeshes[1].FirstIndex, 3u);
  EXPECT_EQ(mesh.SubMeshes[1].IndexCount, 6u);
  EXPECT_EQ(mesh.SubMeshes[2].IndexCount, 9u);
  EXPECT_EQ(mesh.SubMeshes[2].BoundsMax.z, 1.5f);
  // No MeshNormals: each vertex the normal of its faces, all facing up here.
  for (const TGXModelVertex& v : mesh.Vertices) EXPECT_NEAR(v.Normal.y, 1.0f, 1e-6f);
}

TEST(GXXFileReader, NormalsWithOwnFacesSplitVertices) {
  const TGXModelData m = ReadText(R"(
Mesh {
  3; 0;0;0;, 1;0;0;, 0;1;0;;
  2; 3;0,1,2;, 3;0,2,1;;
  MeshNormals { 3; 0;0;-1;, 0;0;1;, 0;0;-1;; 2; 3;0,2,0;, 3;2,1,1;; }
  MeshTextureCoords { 2; 0.25;0.75;, 1;0;; }
}
)");
  ASSERT_EQ(m.RootMeshes, std::vector<uint32_t>{0}) << "a mesh outside frames goes on the target";
  const TGXModelMesh& mesh = m.Meshes[0];
  // Normals 0 and 2 are equal: vertex 0 keeps one vertex; vertices 2 and 1 get a copy each.
  ASSERT_EQ(mesh.Vertices.size(), 5u);
  EXPECT_EQ(mesh.Indices, (std::vector<uint16_t>{0, 1, 2, 0, 3, 4}));
  EXPECT_EQ(mesh.Vertices[0].Normal.z, -1.0f);
  EXPECT_EQ(mesh.Vertices[4].Position.x, 1.0f);
  EXPECT_EQ(mesh.Vertices[4].Normal.z, 1.0f);
  EXPECT_EQ(mesh.Vertices[4].TexCoord.x, 1.0f) << "copies keep their texture coordinate";
  EXPECT_EQ(mesh.Vertices[3].TexCoord.x, 0.0f) << "vertices without coordinates get (0, 0)";
}

TEST(GXXFileReader, AnimationKeys) {
  const std::string frames = "Frame Arm { FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; } }\n";
  struct TCase {
    const char* Name;
    std::string Body;
    float SecondsPerFrame;
    size_t Rotations, Scales, Positions;
  };
  const TCase cases[] = {
      {"ticks absent",
       "AnimationSet { Animation { { Arm } AnimationKey { 2; 2; 0; 3; 0,0,0;;, 10; 3; 1,2,3;;; } } }",
       1.0f / 4800, 0, 0, 2},
      {"ticks 0",
       "AnimTicksPerSecond { 0; } AnimationSet { Animation { { Arm } AnimationKey { 1; 1; 0; 3; 1,1,1;;; } } "
       "}",
       1.0f / 4800, 0, 1, 0},
      {"ticks 25, keys not growing dropped",
       "AnimTicksPerSecond { 25; } AnimationSet { Animation { { Arm } AnimationKey { 0; 4; 0; 4; 1,0,0,0;;, "
       "5; 4; 1,0,0,0;;, 5; 4; 0,1,0,0;;, 3; 4; 0,1,0,0;;; } } }",
       0.04f, 2, 0, 0},
      {"matrix keys",
       "AnimationSet { Animation { { Arm } AnimationKey { 4; 2; 0; 16; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;;, 4; "
       "16; 2,0,0,0,0,2,0,0,0,0,2,0,7,8,9,1;;; } } }",
       1.0f / 4800, 2, 2, 2},
      {"only the first set",
       "AnimationSet { Animation { { Arm } AnimationKey { 2; 1; 0; 3; 0,0,0;;; } } } AnimationSet { "
       "Animation { { Arm } AnimationKey { 1; 1; 0; 3; 1,1,1;;; } } }",
       1.0f / 4800, 0, 0, 1},
  };
  for (const TCase& c : cases) {
    const TGXModelData m = ReadText(frames + c.Body);
    ASSERT_TRUE(m.HasAnimation) << c.Name;
    EXPECT_FLOAT_EQ(m.Animation.SecondsPerFrame, c.SecondsPerFrame) << c.Name;
    ASSERT_EQ(m.Animation.Tracks.size(), 1u) << c.Name;
    const TGXModelTrack& t = m.Animation.Tracks[0];
    EXPECT_EQ(t.Name, "Arm") << c.Name;
    EXPECT_EQ(t.RotationKeys.size(), c.Rotations) << c.Name;
    EXPECT_EQ(t.ScaleKeys.size(), c.Scales) << c.Name;
    EXPECT_EQ(t.PositionKeys.size(), c.Positions) << c.Name;
  }
  // Stored (w, x, y, z) = (cos, sin·axis): read as the conjugate, normalised.
  const TGXModelData m =
      ReadText(frames + "AnimationSet { Animation { { Arm } AnimationKey { 0; 1; 0; 4; 0,0,2,0;;; } } }");
  const TGXQuaternion q = m.Animation.Tracks[0].RotationKeys[0].Value;
  EXPECT_NEAR(q.y, -1.0f, 1e-6f);
  EXPECT_NEAR(q.w, 0.0f, 1e-6f);
  const TGXModelTrack matrix = ReadText(frames + cases[3].Body).Animation.Tracks[0];
  EXPECT_FLOAT_EQ(matrix.PositionKeys[1].Value.y, 8.0f);
  EXPECT_FLOAT_EQ(matrix.ScaleKeys[1].Value.z, 2.0f);
}

TEST(GXXFileReader, BadFilesAreUnknownDirectXFiles) {
  std::string deep;
  for (int i = 0; i < 300; ++i) deep += "Frame {";
  for (int i = 0; i < 300; ++i) deep += "}";
  struct TCase {
    const char* Name;
    std::string File;
  };
  const TCase cases[] = {
      {"too short", "xof 0303txt"},
      {"old version", "xof 0301txt 0032\n"},
      {"other format", "xof 0303zip 0032\n"},
      {"other float size", "xof 0303txt 0016\n"},
      {"unclosed object", "xof 0303txt 0032\nFrame A { Frame B { }"},
      {"unclosed string", "xof 0303txt 0032\nTextureFilename { \"abc }"},
      {"face index out of range", "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,3;; }"},
      {"count beyond the numbers", "xof 0303txt 0032\nMesh { 300000; 0;0;0;; }"},
      {"negative count", "xof 0303txt 0032\nMesh { -3; 0;0;0;; }"},
      {"nested too deep", "xof 0303txt 0032\n" + deep},
      {"binary list past the end",
       "xof 0303bin 0032"s + "\x01\x00\x04\x00\x00\x00Mesh\x0a\x00\x07\x00\xff\xff\x00\x00"s},
      {"binary unknown token", "xof 0303bin 0032"s + "\x63\x00"s},
      {"compressed, no blocks", "xof 0303tzip0032"s + "\x20\x00\x00\x00"s},
      {"compressed, too large", "xof 0303tzip0032"s + "\x10\x00\x00\x11"s},
  };
  for (const TCase& c : cases) {
    const std::vector<uint8_t> file(c.File.begin(), c.File.end());
    EXPECT_EQ(ReasonOf([&] { Read(file); }), "Unknown DirectX file.") << c.Name;
  }
  std::string big = "Mesh { 65536; ";
  for (int i = 0; i < 65536; ++i) big += "0;0;0;,";
  big += "; 0;; }";
  EXPECT_EQ(ReasonOf([&] { ReadText(big); }), "32 bit indices not supported.");
}

TEST(GXXFileReader, CompressedBlocksMustMatchTheirSizes) {
  const std::string body = "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }";
  const std::vector<uint8_t> good =
      GXDeflateXFileBody(reinterpret_cast<const uint8_t*>(body.data()), body.size());
  EXPECT_EQ(GXInflateXFileBody(good.data(), good.size()), std::vector<uint8_t>(body.begin(), body.end()));
  auto changed = [&](size_t at, int delta) {
    std::vector<uint8_t> f = good;
    f[at] = uint8_t(f[at] + delta);
    return f;
  };
  struct TCase {
    const char* Name;
    std::vector<uint8_t> Data;
  };
  const TCase cases[] = {
      {"header size too big", changed(0, 1)},
      {"header size too small", changed(0, -1)},
      {"block claims more", changed(4, 1)},
      {"block claims less", changed(4, -1)},
      {"packed size past the end", changed(6, 1)},
      {"no CK", changed(8, 1)},
      {"trailing bytes",
       [&] {
         auto f = good;
         f.push_back(0);
         return f;
       }()},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(ReasonOf([&] { GXInflateXFileBody(c.Data.data(), c.Data.size()); }), "Unknown DirectX file.")
        << c.Name;
}

}  // namespace
}  // namespace gx
