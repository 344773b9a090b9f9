#pragma once
// Model files for the model-entity tests, made in code with the engine's writers: a small house
// (textured walls, a roof in a colour of its own, a door node) and a windmill whose sails turn
// (an animation). Both are a few units across and stand on y = 0.

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/render/GXModelData.h"
#include "engine/render/GXModel.h"
#include "engine/render/GXModelReader.h"
#include "engine/render/GXModelWriter.h"

namespace modeltest {

// Reads the file with the real readers and keeps nodes, sub-meshes with their texture names and
// the animation, but no vertices.
class TGeometryFreeImporter : public gx::TGXModelImporter {
 public:
  TGeometryFreeImporter(gx::TGXStream& stream, gx::TGXSceneNode* target) {
    gx::TGXModelData data = gx::GXReadModel(stream);
    for (gx::TGXModelMesh& mesh : data.Meshes) {
      mesh.Vertices.clear();
      mesh.Indices.clear();
      for (gx::TGXModelSubMesh& sub : mesh.SubMeshes) sub.FirstIndex = sub.IndexCount = 0;
    }
    FXFile = data.Format == gx::EGXModelFormat::XFile;
    Build(data, target);
  }
};


// While it lives, model files load through TGeometryFreeImporter alone, made by a model factory
// of the given resources; the importers registered before come back afterwards.
class TGeometryFreeModels {
 public:
  explicit TGeometryFreeModels(gx::TGXResourceManager* resources) : FSaved(gx::GXModelImporterClasses()) {
    for (const gx::TGXModelImporterClass& c : FSaved) gx::UnregisterModelImporter(c.Name);
    gx::RegisterModelImporter("GeometryFree", [](gx::TGXStream& s, gx::TGXSceneNode* t) {
      return std::make_unique<TGeometryFreeImporter>(s, t);
    });
    FFactory = std::make_unique<gx::TGXModelFactory>(resources);
  }
  ~TGeometryFreeModels() {
    FFactory.reset();
    gx::UnregisterModelImporter("GeometryFree");
    for (const gx::TGXModelImporterClass& c : FSaved) gx::RegisterModelImporter(c.Name, c.Create);
  }
  TGeometryFreeModels(const TGeometryFreeModels&) = delete;
  TGeometryFreeModels& operator=(const TGeometryFreeModels&) = delete;

 private:
  std::vector<gx::TGXModelImporterClass> FSaved;
  std::unique_ptr<gx::TGXModelFactory> FFactory;
};

// An axis-aligned box as 12 triangles with outward faces (left-handed, clockwise seen from
// outside), each face with its own vertices and texture coordinates 0..1.
inline void AddBox(gx::TGXModelMesh& mesh, const gx::TGXVector3& min, const gx::TGXVector3& max) {
  const gx::TGXVector3 c[8] = {{min.x, min.y, min.z}, {max.x, min.y, min.z}, {max.x, max.y, min.z},
                               {min.x, max.y, min.z}, {min.x, min.y, max.z}, {max.x, min.y, max.z},
                               {max.x, max.y, max.z}, {min.x, max.y, max.z}};
  // Per face the corners in order around it and the outward normal.
  struct TFace {
    int A, B, C, D;
    gx::TGXVector3 N;
  } faces[6] = {{0, 3, 2, 1, {0, 0, -1}}, {5, 6, 7, 4, {0, 0, 1}}, {4, 7, 3, 0, {-1, 0, 0}},
                {1, 2, 6, 5, {1, 0, 0}},  {3, 7, 6, 2, {0, 1, 0}}, {4, 0, 1, 5, {0, -1, 0}}};
  for (const TFace& f : faces) {
    const uint16_t base = static_cast<uint16_t>(mesh.Vertices.size());
    const gx::TGXVector2 uv[4] = {{0, 1}, {0, 0}, {1, 0}, {1, 1}};
    const int corners[4] = {f.A, f.B, f.C, f.D};
    for (int i = 0; i < 4; ++i) mesh.Vertices.push_back({c[corners[i]], f.N, uv[i]});
    for (uint16_t i : {0, 1, 2, 0, 2, 3}) mesh.Indices.push_back(static_cast<uint16_t>(base + i));
  }
}

// Appends a sub-mesh over the indices added since firstIndex.
inline void CloseSubMesh(gx::TGXModelMesh& mesh, uint32_t firstIndex, std::string texture) {
  mesh.SubMeshes.push_back(
      {firstIndex, static_cast<uint32_t>(mesh.Indices.size()) - firstIndex, std::move(texture), {}, {}});
}

// A house 4 wide, 3 high, 3 deep: walls with the texture, a roof slab in a colour (alpha as
// given) and a door box on the node "Tuer".
inline gx::TGXModelData House(gx::EGXModelFormat format, const std::string& wallTexture = "Putz.png",
                              float roofAlpha = 1.0f) {
  gx::TGXModelData data;
  data.Format = format;
  gx::TGXModelMesh body;
  body.Name = "Haus";
  AddBox(body, {-2, 0, -1.5f}, {2, 2.5f, 1.5f});
  CloseSubMesh(body, 0, wallTexture);
  const uint32_t roof = static_cast<uint32_t>(body.Indices.size());
  AddBox(body, {-2.2f, 2.5f, -1.7f}, {2.2f, 3, 1.7f});
  CloseSubMesh(body, roof, gx::GXModelColorName(0.7f, 0.1f, 0.1f, roofAlpha));
  gx::GXModelCalculateBounds(body);
  gx::TGXModelMesh door;
  door.Name = "Tuer";
  AddBox(door, {-0.4f, 0, -0.05f}, {0.4f, 1.6f, 0.05f});
  CloseSubMesh(door, 0, gx::GXModelColorName(0.3f, 0.2f, 0.1f, 1));
  gx::GXModelCalculateBounds(door);
  data.Meshes = {body, door};
  gx::TGXModelNode house;
  house.Name = "Haus";
  house.Meshes = {0};
  gx::TGXModelNode doorNode;
  doorNode.Name = "Tuer";
  doorNode.Parent = 0;
  doorNode.Position = {0, 0, -1.55f};
  doorNode.Meshes = {1};
  data.Nodes = {house, doorNode};
  return data;
}

// A windmill: a tower and on the node "Fluegel" two crossed sails that turn once about z in
// frames 0..40 (1.6 s at 0.04 s a frame).
inline gx::TGXModelData Windmill(gx::EGXModelFormat format) {
  gx::TGXModelData data;
  data.Format = format;
  gx::TGXModelMesh tower;
  tower.Name = "Turm";
  AddBox(tower, {-1, 0, -1}, {1, 5, 1});
  CloseSubMesh(tower, 0, gx::GXModelColorName(0.8f, 0.8f, 0.7f, 1));
  gx::GXModelCalculateBounds(tower);
  gx::TGXModelMesh sails;
  sails.Name = "Fluegel";
  AddBox(sails, {-3, -0.25f, -0.05f}, {3, 0.25f, 0.05f});
  AddBox(sails, {-0.25f, -3, -0.05f}, {0.25f, 3, 0.05f});
  CloseSubMesh(sails, 0, gx::GXModelColorName(0.2f, 0.2f, 0.9f, 1));
  gx::GXModelCalculateBounds(sails);
  data.Meshes = {tower, sails};
  gx::TGXModelNode towerNode;
  towerNode.Name = "Turm";
  towerNode.Meshes = {0};
  gx::TGXModelNode sailNode;
  sailNode.Name = "Fluegel";
  sailNode.Parent = 0;
  sailNode.Position = {0, 4, -1.2f};
  sailNode.Meshes = {1};
  data.Nodes = {towerNode, sailNode};
  data.HasAnimation = true;
  data.Animation.SecondsPerFrame = 0.04f;
  gx::TGXModelTrack track;
  track.Name = "Fluegel";
  for (uint32_t f = 0; f <= 40; f += 10) {
    const float angle = static_cast<float>(f) / 40 * 3.14159265f;  // half a turn: the sails repeat
    track.RotationKeys.push_back({f, {0, 0, std::sin(angle / 2), std::cos(angle / 2)}});
  }
  track.PositionKeys = {{0, sailNode.Position}, {40, sailNode.Position}};
  data.Animation.Tracks.push_back(track);
  return data;
}

inline std::vector<uint8_t> Write(const gx::TGXModelData& data) {
  return data.Format == gx::EGXModelFormat::XFile ? gx::GXWriteXFile(data) : gx::GXWrite3DS(data);
}

}  // namespace modeltest
