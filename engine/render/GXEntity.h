#pragma once
// TGXEntity: the scene object that draws and picks a mesh. It has one TGXSubEntity (a render
// primitive) per sub-mesh; sub-entities follow the mesh: a changed sub-mesh list or geometry
// (the mesh's revision) is picked up before the next draw, a material assigned to a sub-mesh at
// every draw - unless the sub-entity has a material of its own (SetMaterial), which instances of
// one shared mesh need to look different.
//
// A queue hook (SetQueueHook) may take over queuing: the application gathers many entities of one
// mesh and material into one instanced draw and tells the entities it took to draw nothing.

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/GXSceneNode.h"
#include "engine/render/GXMesh.h"
#include "engine/render/GXRenderPrimitive.h"

namespace gx {

class TGXEntity;

// How many times any sub-entity was given a material of its own (SetMaterial): whoever keeps what
// materials entities draw with compares it to know that nothing changed.
uint64_t GXSubEntityMaterialChanges();

class TGXSubEntity : public TGXRenderPrimitive {
 public:
  TGXSubEntity(TGXEntity* entity, int subMesh) : FEntity(entity), FSubMesh(subMesh) {}
  TGXEntity* Entity() const { return FEntity; }
  int SubMeshIndex() const { return FSubMesh; }
  // The sub-entity's own material, drawn instead of the sub-mesh's; null goes back to the
  // sub-mesh's. Kept until the mesh's sub-meshes change.
  void SetMaterial(IGXMaterial material);
  // The material set with SetMaterial, or null.
  const IGXMaterial& OwnMaterial() const { return FOwnMaterial; }
  // The entity's node's world matrix (null while the entity is detached).
  const TGXMatrix* GetWorldMatrix() override;

 private:
  friend class TGXEntity;
  TGXEntity* FEntity;
  int FSubMesh;
  IGXMaterial FOwnMaterial;
};

// Queues an entity's sub-entities in its place. Held by the entities it serves.
class TGXEntityQueueHook : public TGXRefCounted {
 public:
  // Called whenever the camera sees the entity, with its sub-entities built, their materials set
  // and their instance counts at 1; distance is the entity's squared camera distance. False lets
  // the entity queue its sub-entities itself.
  virtual bool Queue(TGXEntity& entity, float distance, TGXRenderQueue* queue) = 0;
};

class TGXEntity : public TGXSceneObject {
 public:
  // Mesh is required (EGXAssertion otherwise). LocalBounds := the mesh's bounds.
  explicit TGXEntity(IGXMesh mesh);
  // A new entity of the mesh attached to the node.
  static TGXRef<TGXEntity> Create(TGXSceneNode* node, IGXMesh mesh);

  const IGXMesh& Mesh() const { return FMesh; }
  int SubEntityCount() const;
  TGXSubEntity* SubEntity(int index);

  // The sub-entities as built (empty until the first draw or SubEntity call), for queue hooks.
  const std::vector<std::unique_ptr<TGXSubEntity>>& SubEntities() const { return FSubEntities; }
  // Null queues the sub-entities as usual.
  void SetQueueHook(TGXRef<TGXEntityQueueHook> hook) { FQueueHook = std::move(hook); }
  TGXEntityQueueHook* QueueHook() const { return FQueueHook.Get(); }

  // Every sub-entity, on layer 0, at the squared distance from the camera's node to the centre
  // of the entity's world bounds - unless the queue hook takes them.
  void AddToRenderQueue(TGXSceneCamera* camera, TGXRenderQueue* queue) override;
  // The box test first - skipped when the ray starts inside the box, which the box test never
  // reports as a hit - then the mesh's triangles with back faces not culled.
  bool RayIntersect(const TGXVector3& origin, const TGXVector3& direction, TGXVector3& normal,
                    TGXVector3& hit) override;

 private:
  // Rebuilds the sub-entities (and the bounds) when the mesh changed since the last time. The
  // sub-entities are made only when first needed: instances of large models are made by the
  // thousand, and most never draw before the frame that shows them.
  void Refresh();
  void BuildSubEntities();

  IGXMesh FMesh;
  std::vector<std::unique_ptr<TGXSubEntity>> FSubEntities;
  TGXRef<TGXEntityQueueHook> FQueueHook;
  uint64_t FRevision = ~uint64_t(0);
  bool FBuilt = false;
};

}  // namespace gx
