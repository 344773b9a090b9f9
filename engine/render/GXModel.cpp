#include "engine/render/GXModel.h"

#include <algorithm>
#include <cstring>

#include "engine/core/GXException.h"
#include "engine/render/GX3DSImporter.h"
#include "engine/render/GXEntity.h"
#include "engine/render/GXTexture.h"
#include "engine/render/GXXFileImporter.h"

namespace gx {

// ---- building ----

namespace {

TGXVertexLayoutDecl StandardLayout() {
  TGXVertexLayoutDecl layout;
  layout.AddElement(0, GXDeclFloat3, GXUsagePosition, 0);
  layout.AddElement(0, GXDeclFloat3, GXUsageNormal, 0);
  layout.AddElement(0, GXDeclFloat2, GXUsageTexCoord, 0);
  return layout;
}

[[noreturn]] void BadModel(const char* reason) {
  throw EUnknownModel({TGXExceptionArg::Object("GXBuildModel"), "BuildModel", reason});
}

void CheckMesh(const TGXModelMesh& mesh) {
  if (mesh.Vertices.size() > GXMaxMeshVertices)
    throw EInvalid32BitModel({TGXExceptionArg::Object("GXBuildModel"), "32 bit indices not supported."});
  for (uint16_t index : mesh.Indices)
    if (index >= mesh.Vertices.size()) BadModel("Index outside the vertices");
  for (const TGXModelSubMesh& sub : mesh.SubMeshes)
    if (uint64_t(sub.FirstIndex) + sub.IndexCount > mesh.Indices.size()) BadModel("Index range outside");
}

IGXMesh MakeMesh(const TGXModelMesh& source, const TGXVertexLayoutDecl& layout) {
  TGXMeshData data;
  data.VertexCount = uint32_t(source.Vertices.size());
  data.Layout = layout;
  TGXMeshStreamData stream;
  stream.Stride = sizeof(TGXModelVertex);
  stream.Data.resize(source.Vertices.size() * sizeof(TGXModelVertex));
  if (!stream.Data.empty()) std::memcpy(stream.Data.data(), source.Vertices.data(), stream.Data.size());
  data.Streams.push_back(std::move(stream));
  for (const TGXModelSubMesh& sub : source.SubMeshes) {
    TGXSubMeshData s;
    s.Indices.assign(source.Indices.begin() + ptrdiff_t(sub.FirstIndex),
                     source.Indices.begin() + ptrdiff_t(sub.FirstIndex + sub.IndexCount));
    s.IndexCount = sub.IndexCount;
    s.BoundsMin = sub.BoundsMin;
    s.BoundsMax = sub.BoundsMax;
    data.SubMeshes.push_back(std::move(s));
  }
  IGXMesh mesh = MakeRef<TGXMesh>(nullptr, source.Name, true);
  mesh->SetData(data);
  mesh->Load();
  return mesh;
}

}  // namespace

TGXBuiltModel GXBuildModel(const TGXModelData& data, TGXSceneNode* target) {
  for (const TGXModelMesh& mesh : data.Meshes) CheckMesh(mesh);
  TGXBuiltModel built;
  const TGXVertexLayoutDecl layout = StandardLayout();
  for (const TGXModelMesh& mesh : data.Meshes) {
    TGXImportedMesh info;
    info.Mesh = MakeMesh(mesh, layout);
    for (const TGXModelSubMesh& sub : mesh.SubMeshes) info.TextureNames.push_back(sub.TextureName);
    built.Meshes.push_back(std::move(info));
  }

  if (target) {
    auto attach = [&](TGXSceneNode* node, const std::vector<uint32_t>& meshes) {
      for (uint32_t m : meshes)
        if (m < built.Meshes.size()) TGXEntity::Create(node, built.Meshes[m].Mesh);
    };
    std::vector<TGXSceneNode*> nodes;
    nodes.reserve(data.Nodes.size());
    for (size_t i = 0; i < data.Nodes.size(); ++i) {
      const TGXModelNode& n = data.Nodes[i];
      TGXSceneNode* parent = n.Parent >= 0 && size_t(n.Parent) < i ? nodes[size_t(n.Parent)] : target;
      auto* node = new TGXSceneNode(n.Name, parent);
      node->SetPosition(n.Position);
      node->SetRotation(n.Rotation);
      node->SetScale(n.Scale);
      attach(node, n.Meshes);
      nodes.push_back(node);
    }
    attach(target, data.RootMeshes);
  }

  if (data.HasAnimation && !data.Animation.Tracks.empty()) {
    IGXAnimation animation = MakeRef<TGXAnimation>(nullptr, "Default", true);
    animation->SetSecondsPerFrame(data.Animation.SecondsPerFrame);
    for (const TGXModelTrack& track : data.Animation.Tracks) {
      TGXSubAnimation* sub = animation->AddSubAnimation(track.Name);
      for (const auto& k : track.PositionKeys) sub->AddPositionKey(k.Frame, k.Value);
      for (const auto& k : track.RotationKeys) sub->AddRotationKey(k.Frame, k.Value);
      for (const auto& k : track.ScaleKeys) sub->AddScaleKey(k.Frame, k.Value);
    }
    animation->Load();
    built.Animation = std::move(animation);
  }
  return built;
}

// ---- importers ----

void TGXModelImporter::Build(const TGXModelData& data, TGXSceneNode* target) {
  TGXBuiltModel built = GXBuildModel(data, target);
  FMeshes = std::move(built.Meshes);
  FAnimation = std::move(built.Animation);
  FXFile = data.Format == EGXModelFormat::XFile;
}

std::vector<uint8_t> TGXModelImporter::ReadAll(TGXStream& stream) {
  const int64_t remaining = stream.Size() - stream.Seek(0, TGXSeekOrigin::Current);
  std::vector<uint8_t> bytes(size_t(remaining > 0 ? remaining : 0));
  if (!bytes.empty()) stream.ReadBuffer(bytes.data(), int64_t(bytes.size()));
  return bytes;
}

namespace {

std::vector<TGXModelImporterClass>& Importers() {
  static std::vector<TGXModelImporterClass> importers;
  return importers;
}

}  // namespace

void RegisterModelImporter(const std::string& name, TGXModelImporterCreate create) {
  for (const TGXModelImporterClass& c : Importers())
    if (c.Name == name) return;
  Importers().push_back({name, std::move(create)});
}

void UnregisterModelImporter(const std::string& name) {
  std::erase_if(Importers(), [&](const TGXModelImporterClass& c) { return c.Name == name; });
}

const std::vector<TGXModelImporterClass>& GXModelImporterClasses() { return Importers(); }

void GXRegisterModelImporters() {
  // The engine's importers, in the order models try them: 3DS first, then DirectX.
  RegisterModelImporter("TGX3DSImporter",
                        [](TGXStream& s, TGXSceneNode* target) -> std::unique_ptr<TGXModelImporter> {
                          return std::make_unique<TGX3DSImporter>(s, target);
                        });
  RegisterModelImporter("TGXXFileImporter",
                        [](TGXStream& s, TGXSceneNode* target) -> std::unique_ptr<TGXModelImporter> {
                          return std::make_unique<TGXXFileImporter>(s, target);
                        });
}

// ---- model ----

TGXModel::TGXModel(TGXWeakRef<TGXResource>* cell, std::string name, bool manual)
    : TGXResource(cell, std::move(name), manual) {}

TGXModel::~TGXModel() = default;

TGXSceneNode* TGXModel::GetFirstNode() const {
  if (!FTemplate || FTemplate->ChildCount() == 0) return nullptr;
  return static_cast<TGXSceneNode*>(FTemplate->Child(0));
}

const TGXImportedMesh& TGXModel::GetMeshInfo(const TGXMesh* mesh) const {
  for (const TGXImportedMesh& info : FMeshInfos)
    if (info.Mesh.Get() == mesh) return info;
  throw EGXException({TGXExceptionArg::Object(ClassName()), "GetMeshInfo", "Unknown mesh"});
}

void TGXModel::DoLoad() {
  const std::vector<TGXModelImporterClass> importers = GXModelImporterClasses();
  if (importers.empty())
    throw EGXException({TGXExceptionArg::Object(ClassName()), "CreateInstance", "No model importer"});
  std::vector<uint8_t> bytes = GXLoadResourceBytes(*this, GetName().Text());
  TGXExceptionArgs reasons{TGXExceptionArg::Object(ClassName()), "CreateInstance"};
  for (const TGXModelImporterClass& c : importers) {
    // A fresh template per attempt, so that a refusing importer leaves no nodes behind.
    auto target = std::make_unique<TGXSceneNode>();
    TGXMemoryStreamAdapter stream(bytes.data(), int64_t(bytes.size()));
    std::unique_ptr<TGXModelImporter> importer;
    try {
      importer = c.Create(stream, target.get());
    } catch (const std::exception& e) {
      reasons.push_back(c.Name + ": " + e.what());
      continue;
    }
    if (!importer) continue;
    FTemplate = std::move(target);
    FMeshInfos = importer->Meshes();
    FAnimation = importer->Animation();
    FXFile = importer->IsXFile();
    return;
  }
  throw EUnknownModel(std::move(reasons));
}

void TGXModel::CreateInstance(TGXSceneNode* node) const {
  if (!node || !FTemplate) return;
  // An explicit stack: template depth is whatever the file gave.
  std::vector<std::pair<const TGXSceneNode*, TGXSceneNode*>> pending{{FTemplate.get(), node}};
  bool root = true;
  while (!pending.empty()) {
    auto [from, to] = pending.back();
    pending.pop_back();
    if (root) {
      to->SetName(from->Name());
      root = false;
    }
    to->SetPosition(from->Position());
    to->SetRotation(from->Rotation());
    to->SetScale(from->Scale());
    for (TGXSceneObject* object : from->Objects())
      if (auto* entity = dynamic_cast<TGXEntity*>(object)) TGXEntity::Create(to, entity->Mesh());
    const int count = from->ChildCount();
    // Children are made in order now; they are filled later from the stack.
    const size_t at = pending.size();
    for (int i = 0; i < count; ++i) {
      auto* child = static_cast<const TGXSceneNode*>(from->Child(i));
      pending.emplace_back(child, new TGXSceneNode(child->Name(), to));
    }
    std::reverse(pending.begin() + ptrdiff_t(at), pending.end());
  }
}

}  // namespace gx
