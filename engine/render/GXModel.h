#pragma once
// Models: a model file turned into a template tree of scene nodes carrying mesh entities, the
// list of its meshes with their texture names, and an optional animation. CreateInstance copies
// the template under any node.
//
// Reading and building are split: a reader turns the file's bytes into a device-free
// TGXModelData (GXModelData.h) and does every computation the format needs; GXBuildModel only
// makes meshes, scene nodes, entities and the animation from it. An importer is a reader plus
// the builder. Importers are registered by name in a process-wide list, in the order the model
// tries them; GXRegisterModelImporters fills it explicitly (a static library would drop static
// initialisers that register themselves).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/GXGuid.h"
#include "engine/core/GXResourceManager.h"
#include "engine/core/GXSceneNode.h"
#include "engine/core/GXStream.h"
#include "engine/render/GXAnimation.h"
#include "engine/render/GXMesh.h"
#include "engine/render/GXModelData.h"

namespace gx {

// {E504E89D-B2DB-48A8-8472-F99BF237BE9B}
inline constexpr TGXGuid IID_IGXModel{
    0xE504E89D, 0xB2DB, 0x48A8, {0x84, 0x72, 0xF9, 0x9B, 0xF2, 0x37, 0xBE, 0x9B}};

struct TGXImportedMesh {
  IGXMesh Mesh;
  // One per sub-mesh, in sub-mesh order: a texture file name, or NUL and a colour text.
  std::vector<std::string> TextureNames;
};

// What GXBuildModel made.
struct TGXBuiltModel {
  std::vector<TGXImportedMesh> Meshes;
  IGXAnimation Animation;
};

// Makes one unique, manual, loaded mesh per model mesh (standard layout, one 16-bit index
// buffer per sub-mesh), and, with a target node, the node tree under it with one entity per
// mesh entry; the animation "Default" when the data has one with tracks. All meshes are checked
// before anything is made: more than GXMaxMeshVertices vertices raise EInvalid32BitModel
// ("32 bit indices not supported."), inconsistent ranges EUnknownModel; then nothing is added
// to target. Nodes whose parent index is not below their own go under the target node.
TGXBuiltModel GXBuildModel(const TGXModelData& data, TGXSceneNode* target);

// The base of the importers. A constructor that raises means the importer does not accept the
// data; afterwards the importer holds its meshes and animation, and the nodes it made belong to
// the target node.
class TGXModelImporter {
 public:
  virtual ~TGXModelImporter() = default;
  TGXModelImporter(const TGXModelImporter&) = delete;
  TGXModelImporter& operator=(const TGXModelImporter&) = delete;

  int MeshCount() const { return static_cast<int>(FMeshes.size()); }
  const TGXImportedMesh& Mesh(int index) const { return FMeshes.at(size_t(index)); }
  const std::vector<TGXImportedMesh>& Meshes() const { return FMeshes; }
  const IGXAnimation& Animation() const { return FAnimation; }
  // True for DirectX files.
  bool IsXFile() const { return FXFile; }

 protected:
  TGXModelImporter() = default;
  // Builds the data (GXBuildModel) and keeps what was made.
  void Build(const TGXModelData& data, TGXSceneNode* target);
  // The bytes from the stream's position to its end.
  static std::vector<uint8_t> ReadAll(TGXStream& stream);

  std::vector<TGXImportedMesh> FMeshes;
  IGXAnimation FAnimation;
  bool FXFile = false;
};

// Makes an importer on the stream (positioned at the data's start) with the target node or
// null; raises when the importer does not accept the data.
using TGXModelImporterCreate = std::function<std::unique_ptr<TGXModelImporter>(TGXStream&, TGXSceneNode*)>;

struct TGXModelImporterClass {
  std::string Name;
  TGXModelImporterCreate Create;
};

// Appends an importer class; a name already listed is left where it is (registration is
// idempotent).
void RegisterModelImporter(const std::string& name, TGXModelImporterCreate create);
// Removes the class of that name (tests that install their own importers).
void UnregisterModelImporter(const std::string& name);
// The registered classes in the order models try them.
const std::vector<TGXModelImporterClass>& GXModelImporterClasses();
// Registers the engine's importers (3DS first, then DirectX); calling it again changes nothing.
// The render core calls it when it is made.
void GXRegisterModelImporters();

class TGXModel : public TGXResource {
 public:
  static constexpr TGXGuid IID = IID_IGXModel;

  TGXModel(TGXWeakRef<TGXResource>* cell, std::string name, bool manual);
  std::string ClassName() const override { return "TGXModel"; }

  bool IsXFile() const { return FXFile; }
  // The template: a scene node without name or parent (null before loading).
  TGXSceneNode* GetTemplate() const { return FTemplate.get(); }
  // The template's first child, or null.
  TGXSceneNode* GetFirstNode() const;
  const IGXAnimation& GetAnimation() const { return FAnimation; }
  const std::vector<TGXImportedMesh>& MeshInfos() const { return FMeshInfos; }
  // The info of that mesh object; EGXException "Unknown mesh" when there is none.
  const TGXImportedMesh& GetMeshInfo(const TGXMesh* mesh) const;
  // Copies the template onto node: node takes the root's name and transform, every template
  // entity becomes a new entity of the same mesh on the corresponding node, every template child
  // a new scene node (name, transform) under the corresponding node, in order. Null or an
  // unloaded model do nothing.
  void CreateInstance(TGXSceneNode* node) const;

 protected:
  ~TGXModel() override;
  // The bytes from the data loader or the file of the resource name; each registered importer
  // in turn on them, each with a fresh template, until one accepts. No importer registered:
  // EGXException "CreateInstance"; all refusing: EUnknownModel "CreateInstance" with their
  // reasons.
  void DoLoad() override;

 private:
  bool FXFile = false;
  std::unique_ptr<TGXSceneNode> FTemplate;
  std::vector<TGXImportedMesh> FMeshInfos;
  IGXAnimation FAnimation;
};
using IGXModel = TGXRef<TGXModel>;

class TGXModelFactory : public TGXResourceFactory {
 public:
  using TGXResourceFactory::TGXResourceFactory;
  TGXGuid GetResourceKind() const override { return IID_IGXModel; }
  IGXResource CreateResource(TSlot* cell, const std::string& name, bool manual) override {
    return IGXResource(new TGXModel(cell, name, manual));
  }
};

}  // namespace gx
