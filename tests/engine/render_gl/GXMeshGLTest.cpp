// Meshes with device buffers: files loaded through the file system, contents given back from the
// buffers' CPU copies, clones and concatenations of buffers, and the factories of the render core.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine/core/GXEngine.h"
#include "engine/core/GXException.h"
#include "engine/render/GXEntity.h"
#include "engine/render/GXMesh.h"
#include "engine/render/GXModel.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXTexture.h"

namespace gx::test {
namespace {

namespace fs = std::filesystem;

// A quad of four 32-byte vertices (position, normal, texture coordinate) at height z, drawn from
// vertex 1 of a buffer of five, as two sub-meshes of one triangle each.
TGXMeshData Quad(float z) {
  TGXMeshData data;
  data.FirstVertex = 1;
  data.VertexCount = 4;
  data.Layout.AddElement(0, GXDeclFloat3, GXUsagePosition, 0);
  data.Layout.AddElement(0, GXDeclFloat3, GXUsageNormal, 0);
  data.Layout.AddElement(0, GXDeclFloat2, GXUsageTexCoord, 0);
  TGXMeshStreamData stream;
  stream.Stride = 32;
  const float corners[5][2] = {{9, 9}, {0, 0}, {0, 1}, {1, 1}, {1, 0}};
  for (const auto& c : corners) {
    const float v[8] = {c[0], c[1], z, 0, 0, -1, c[0], c[1]};
    const auto* b = reinterpret_cast<const uint8_t*>(v);
    stream.Data.insert(stream.Data.end(), b, b + 32);
  }
  data.Streams.push_back(stream);
  data.SubMeshes.push_back({0, 3, {0, 1, 2}, {0, 0, z}, {1, 1, z}});
  data.SubMeshes.push_back({3, 3, {3, 3, 3, 0, 2, 3}, {0, 0, z}, {1, 1, z}});
  return data;
}

class TMeshGLTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velmora-mesh-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    Dir = pattern;
    Engine = TGXEngine::CreateEngine();
    Engine->FileSystem().SetRoot("Game", Dir);
    try {
      Engine->AttachRenderCore(std::make_unique<TGXRenderCore>());
    } catch (const std::exception& e) {
      FAIL() << "No OpenGL 3.3 core context: " << e.what();
    }
  }
  void TearDown() override {
    Engine.reset();
    fs::remove_all(Dir);
  }
  void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(Dir + "/" + path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  IGXMesh Manual(const TGXMeshData& data) {
    IGXMesh mesh = Engine->ResourceManager().Get<TGXMesh>("Code", true, true);
    mesh->SetData(data);
    mesh->Load();
    return mesh;
  }
  static const TGXGLVertexBuffer& Vertices(const TGXMesh& mesh, int stream = 0) {
    return *static_cast<const TGXGLVertexBuffer*>(mesh.GetGeometry().Buffers.at(size_t(stream)).Get());
  }
  static const TGXGLIndexBuffer& Indices(const TGXMesh& mesh, int sub) {
    return *static_cast<const TGXGLIndexBuffer*>(mesh.SubMesh(sub)->IndexGeometry.Buffer.Get());
  }

  std::string Dir;
  std::unique_ptr<TGXEngine> Engine;
};

TEST_F(TMeshGLTest, TheRenderCoreRegistersItsFactoriesInOrder) {
  const TGXGuid kinds[] = {IID_IGXEffect,      IID_IGXMaterial, IID_IGXTexture,
                           IID_IGXCubeTexture, IID_IGXMesh,     IID_IGXModel};
  TGXResourceManager& manager = Engine->ResourceManager();
  ASSERT_EQ(manager.FactoryCount(), 6);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(manager.Factory(i)->GetResourceKind(), kinds[i]) << i;
  const size_t importers = GXModelImporterClasses().size();
  GXRegisterModelImporters();
  EXPECT_EQ(GXModelImporterClasses().size(), importers);
}

TEST_F(TMeshGLTest, MeshFilesLoadThroughTheFileSystemAndComeBackFromTheBuffers) {
  TGXMemoryStream file;
  TGXMeshSerializer().Write(file, Quad(2));
  Write("Quad.gxmesh", file.Data());
  IGXMesh mesh = Engine->ResourceManager().Get<TGXMesh>("Game:\\Quad.gxmesh");
  mesh->Load();
  ASSERT_TRUE(mesh->IsLoaded()) << mesh->LoadError();
  ASSERT_EQ(mesh->GetGeometry().Buffers.size(), 1u);
  EXPECT_NE(mesh->GetGeometry().Layout, nullptr);
  EXPECT_EQ(Vertices(*mesh).Size(), 5u * 32);
  EXPECT_EQ(Indices(*mesh, 1).IndexCount(), 6u);
  EXPECT_EQ(mesh->Position(0), TGXVector3(0, 0, 2));
  EXPECT_EQ(mesh->GetBoundsMax(), TGXVector3(1, 1, 2));
  TGXMemoryStream back;
  TGXMeshSerializer().Write(back, mesh->GetData());
  EXPECT_EQ(back.Data(), file.Data());

  // Faults of the file fail the load.
  std::vector<uint8_t> bad = file.Data();
  bad[bad.size() - 24 - 2] = 4;  // the last index of the last sub-mesh: vertex 4 of 4
  Write("Bad.gxmesh", bad);
  IGXMesh broken = Engine->ResourceManager().Get<TGXMesh>("Game:\\Bad.gxmesh");
  EXPECT_THROW(broken->Load(), EGXException);
  EXPECT_TRUE(broken->IsFailed());
  EXPECT_EQ(broken->SubMeshCount(), 0);
  IGXMesh missing = Engine->ResourceManager().Get<TGXMesh>("Game:\\Missing.gxmesh");
  EXPECT_ANY_THROW(missing->Load());
}

TEST_F(TMeshGLTest, ClonesCopyBuffersAndCpuCopies) {
  IGXMesh mesh = Manual(Quad(2));
  auto material = MakeRef<TGXMaterial>(nullptr, "M", true);
  mesh->SubMesh(1)->Material = material;
  TGXRef<TGXMesh> clone = mesh->Clone(0, 0);
  EXPECT_TRUE(clone->IsLoaded());
  EXPECT_TRUE(clone->IsManual());
  EXPECT_EQ(clone->GetName().Text(), "Code");
  EXPECT_EQ(clone->GetUsage(), 0u);
  EXPECT_NE(&Vertices(*clone), &Vertices(*mesh));
  EXPECT_EQ(Vertices(*clone).Data(), Vertices(*mesh).Data());
  EXPECT_NE(&Indices(*clone, 1), &Indices(*mesh, 1));
  EXPECT_EQ(Indices(*clone, 1).Data(), Indices(*mesh, 1).Data());
  EXPECT_EQ(clone->SubMesh(1)->Material, material);
  EXPECT_EQ(clone->SubMesh(1)->IndexGeometry.FirstIndex, 3u);
  EXPECT_EQ(clone->Positions(), mesh->Positions());
  EXPECT_EQ(clone->GetGeometry().Layout, mesh->GetGeometry().Layout);
  TGXVector3 n, h;
  EXPECT_TRUE(clone->RayIntersect({0.7f, 0.2f, -1}, {0, 0, 1}, n, h, false));
}

TEST_F(TMeshGLTest, ConcatenationCombinesBuffersAndOffsetsIndices) {
  IGXMesh mesh = Manual(Quad(2));
  IGXMesh other = Manual(Quad(5));
  mesh->ConcatenateMesh(*other);
  EXPECT_EQ(mesh->GetGeometry().VertexCount, 8u);
  // This mesh's five vertices (up to its drawn end), then the other's four drawn ones.
  ASSERT_EQ(Vertices(*mesh).Size(), 9u * 32);
  float z;
  std::memcpy(&z, Vertices(*mesh).Data().data() + 5 * 32 + 8, 4);
  EXPECT_EQ(z, 5);
  float x;
  std::memcpy(&x, Vertices(*mesh).Data().data() + 5 * 32, 4);
  EXPECT_EQ(x, 0);  // the other's vertex 1, not its skipped vertex 0
  ASSERT_EQ(mesh->SubMeshCount(), 4);
  EXPECT_EQ(Indices(*mesh, 3).Index(5), 7u);
  EXPECT_EQ(mesh->SubMesh(3)->Indices[5], 7u);
  EXPECT_EQ(mesh->Position(4), TGXVector3(0, 0, 5));
  // Every sub-mesh draws inside the vertices: what GetData gives back is a sound mesh file.
  TGXMemoryStream s;
  EXPECT_NO_THROW(TGXMeshSerializer().Write(s, mesh->GetData()));

  mesh->ConcatenateSubMeshes(std::vector<int>{3, 0});
  // The first listed takes both; the one removed leaves the others in their order.
  ASSERT_EQ(mesh->SubMeshCount(), 3);
  EXPECT_EQ(mesh->SubMesh(1)->Indices, (std::vector<uint16_t>{4, 5, 6}));
  EXPECT_EQ(Indices(*mesh, 2).IndexCount(), 6u);
  EXPECT_EQ(mesh->SubMesh(2)->Indices, (std::vector<uint16_t>{4, 6, 7, 0, 1, 2}));
  EXPECT_EQ(Indices(*mesh, 2).Index(0), 4u);
}

TEST_F(TMeshGLTest, BuiltModelMeshesHoldTheStandardVerticesAndEachSubMeshItsOwnIndices) {
  TGXModelData data;
  TGXModelMesh mesh;
  mesh.Name = "Box";
  for (int i = 0; i < 4; ++i) mesh.Vertices.push_back({{float(i), 0, 1}, {0, 0, -1}, {0.5f, float(i)}});
  mesh.Indices = {0, 1, 2, 0, 2, 3};
  mesh.SubMeshes.push_back({0, 3, "a.png", {0, 0, 1}, {2, 0, 1}});
  mesh.SubMeshes.push_back({3, 3, "b.png", {0, 0, 1}, {3, 0, 1}});
  data.Meshes.push_back(mesh);
  TGXBuiltModel built = GXBuildModel(data, nullptr);
  ASSERT_EQ(built.Meshes.size(), 1u);
  const TGXMesh& m = *built.Meshes[0].Mesh;
  EXPECT_TRUE(m.IsLoaded());
  EXPECT_EQ(m.GetName().Text(), "Box");
  EXPECT_EQ(Vertices(m).Size(), 4u * 32);
  float v;
  std::memcpy(&v, Vertices(m).Data().data() + 3 * 32 + 28, 4);
  EXPECT_EQ(v, 3);  // the texture coordinate's v at offset 28 of vertex 3
  EXPECT_EQ(m.GetGeometry().Strides, (std::vector<uint32_t>{32}));
  EXPECT_EQ(m.SubMesh(1)->Indices, (std::vector<uint16_t>{0, 2, 3}));
  EXPECT_EQ(Indices(m, 1).IndexCount(), 3u);
  EXPECT_EQ(m.SubMesh(1)->IndexGeometry.FirstIndex, 0u);
  EXPECT_EQ(m.GetBoundsMax().x, 3);
  EXPECT_EQ(m.Position(2), TGXVector3(2, 0, 1));
  const TGXMeshData back = m.GetData();
  EXPECT_EQ(back.PositionElement()->Offset, 0);
  EXPECT_EQ(back.Layout.Elements().back().Offset, 24);
}

TEST_F(TMeshGLTest, EntitiesQueueOneSubEntityPerSubMesh) {
  IGXMesh mesh = Manual(Quad(2));
  TGXSceneNode node;
  auto entity = TGXEntity::Create(&node, mesh);
  ASSERT_EQ(entity->SubEntityCount(), 2);
  TGXSubEntity* sub = entity->SubEntity(1);
  ASSERT_TRUE(sub->VertexGeometry.has_value());
  EXPECT_EQ(sub->VertexGeometry->FirstVertex, 1u);
  EXPECT_EQ(sub->IndexGeometry->FirstIndex, 3u);
  EXPECT_EQ(sub->GetWorldMatrix(), &node.WorldMatrix());
}

}  // namespace
}  // namespace gx::test
