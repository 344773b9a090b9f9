#pragma once
// Instanced drawing of plants. Layouts hold thousands of trees and bushes made from a handful of
// model files; drawn one by one they cost a draw call per sub-mesh per plant. A plant's model
// entity registers with the batch (TRRPlantBatch::Attach): its mesh entities get a queue hook, so
// the collector still culls every plant by itself, but a plant it sees only appends its world
// matrix to the group of its mesh and materials. A group with RRPlantBatchThreshold or more
// plants in view draws one instanced primitive per sub-mesh: the materials' instanced twins
// (TRRMaterialGenerator::InstancedMaterial, Model.fx with ENABLE_INSTANCING) read the world
// matrices from a second vertex stream that advances per instance.
//
// Where instancing does not apply the plant queues itself as before: a plant alone in its group,
// a selected plant, a plant in the technical view, materials without an instanced twin (their
// own reflecting ones, materials from elsewhere), blended materials (their plants must be sorted
// back to front), meshes whose layout already uses the instance attributes, and more than
// RRPlantMaxInstances plants of one group. The first plants of a group queue themselves until the
// group reaches the threshold; from then on they draw nothing (instance count 0) and the batch
// draws them. Every collection (render queue generation) starts the groups anew, so mirror and
// cube views draw their own plants, and a removed plant is simply not queued again.
//
// A plant registered as a whole (RegisterPlant, Attach) also carries a proxy object on its own
// node: once its mesh entities have been queued through their hooks and joined their groups, the
// proxy appends the plant's matrices (each mesh entity's place in the plant, kept, times the
// plant's world matrix) straight away and switches the model entity's subtree off for the
// collector, so a plant in view costs the visit of one node instead of its whole model. It falls
// back to the entities' own path for a selected plant, the technical view, a plant with an
// animation, a replaced model, and after any sub-entity was given another material
// (gx::GXSubEntityMaterialChanges) until its entities joined their groups again.
//
// The proxies of plants under one parent node also share a plant field, an object on that parent
// which the collector meets before the children. Once a proxy drew its plant the fast way, the
// field takes the plant over and switches the plant's node off for the collector: each collection
// it culls its plants from the parent's packed child boxes (gx::TGXSceneNode::ChildExtents) and
// appends their kept matrices, in child order, so a plant in view costs a few packed reads instead
// of a node visit. It takes a plant's matrices and state again only when the plant's matrix
// revision moved (ChildRevisions), a selection or material changed anywhere, or a group was
// built; a plant that turned out hidden, selected, animated or otherwise not fast, or that left
// the parent, it hands back to the collector within the same collection.

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "engine/core/GXMath.h"
#include "engine/core/GXRefCounted.h"
#include "engine/render/GXEntity.h"
#include "engine/render/GXMaterial.h"
#include "engine/render/GXMesh.h"
#include "engine/render/GXRenderPrimitive.h"
#include "engine/render/GXRenderQueue.h"
#include "engine/render/GXVertexLayout.h"

namespace rr {

class TRRModel;
class TRRModelEntity;
class TRRPlantBatch;
class TRRPlantField;
class TRRPlantGroup;

// Plants of one group in view from which on they are drawn instanced.
inline constexpr size_t RRPlantBatchThreshold = 2;
// The most plants one group draws in a collection; further ones draw themselves.
inline constexpr size_t RRPlantMaxInstances = size_t(1) << 20;
// The instance stream's elements: the world matrix's rows as texture coordinates 4..7.
inline constexpr uint8_t RRPlantMatrixUsageIndex = 4;

// What the batch draws through: the device for the instance buffers and the maker of the
// instanced vertex declarations (tests hand in the null device's).
struct TRRPlantBatchDevice {
  gx::TGXRenderDevice* Device = nullptr;
  std::function<gx::TGXRef<gx::TGXDeviceVertexDeclaration>(const gx::TGXVertexLayoutDecl&)> MakeDeclaration;
};

// One instanced draw of a sub-mesh for the plants of its group.
class TRRPlantPrimitive : public gx::TGXRenderPrimitive {
 public:
  TRRPlantPrimitive(TRRPlantGroup* group, int subMesh) : FGroup(group), FSubMesh(subMesh) {}
  // Writes the group's matrices (once per collection) and takes its count as instance count; 0
  // when they cannot be written.
  void BeforeRender() override;
  // Each instance carries its own world matrix.
  const gx::TGXMatrix* GetWorldMatrix() override { return nullptr; }
  int SubMeshIndex() const { return FSubMesh; }

 private:
  TRRPlantGroup* FGroup;
  int FSubMesh;
};

// The plants of one mesh with one material per sub-mesh.
class TRRPlantGroup {
 public:
  const gx::TGXMesh* Mesh() const { return FMesh.Get(); }
  // Whether the group can be drawn instanced at all.
  bool Usable() const { return FUsable; }
  // Plants queued in this collection, and their world matrices in queue order.
  size_t Count() const { return FCount; }
  const gx::TGXMatrix& Matrix(size_t index) const { return FMatrices.at(index); }
  // Whether the group's primitives are queued in this collection (it draws all its plants).
  bool Instanced() const { return FQueued; }
  int PrimitiveCount() const { return static_cast<int>(FPrimitives.size()); }
  TRRPlantPrimitive& Primitive(int index) const { return *FPrimitives.at(size_t(index)); }
  const gx::IGXMaterial& InstancedMaterial(int subMesh) const { return FTwins.at(size_t(subMesh)); }

 private:
  friend class TRRPlantBatch;
  friend class TRRPlantPrimitive;
  friend class TRRPlantProxy;
  friend class TRRPlantField;
  bool Matches(const gx::TGXEntity& entity) const;
  // Writes the matrices into the instance buffer unless done in this collection; false when
  // that fails.
  bool Upload();

  TRRPlantBatch* FBatch = nullptr;
  // Changes whenever the group is built for a mesh (anew), so a proxy that kept it notices.
  uint64_t FSerial = 0;
  bool FQueued = false;
  gx::TGXWeakRef<gx::TGXMesh> FMesh;
  uint64_t FRevision = 0;
  std::vector<gx::TGXWeakRef<gx::TGXMaterial>> FMaterials;
  std::vector<gx::IGXMaterial> FTwins;
  bool FUsable = false;
  uint32_t FInstanceStream = 0;
  std::vector<std::unique_ptr<TRRPlantPrimitive>> FPrimitives;
  // Grown, never shrunk: the instance buffer has the same size, so each write gives it all.
  std::vector<gx::TGXMatrix> FMatrices;
  size_t FCount = 0;
  // The plants queued one by one before the group reached the threshold.
  std::vector<gx::TGXEntity*> FPending;
  gx::TGXRef<gx::TGXDeviceVertexBuffer> FBuffer;
  uint64_t FWritten = 0;
  bool FWriteFailed = false;
};

class TRRPlantBatch : public gx::TGXRefCounted {
 public:
  explicit TRRPlantBatch(TRRPlantBatchDevice device);

  // The batch of the current render core, shared by the plants while any of them uses it; null
  // without a render core.
  static gx::TGXRef<TRRPlantBatch> Shared();
  // Registers the plant with the shared batch (nothing without a render core or model entity).
  static void Attach(TRRModel& plant);
  // The plant draws itself again (its entities' hooks and its proxy are gone).
  static void Detach(TRRModel& plant);

  // Gives every mesh entity below the model entity this batch's queue hook; owner (may be null)
  // is asked for the selection and the technical view.
  void Register(TRRModelEntity& entity, const TRRModel* owner);
  // Register for the plant's model entity, and a proxy on the plant's node unless the model has
  // an animation.
  void RegisterPlant(TRRModel& plant);
  // The mesh entities below the model entity queue themselves again; the proxy of the plant that
  // carries it stops.
  static void Unregister(TRRModelEntity& entity);

  // Called by the queue hook: true when the batch draws the entity.
  bool Add(gx::TGXEntity& entity, float distance, gx::TGXRenderQueue* queue);

  // The groups that took plants in the current collection, in order of their first plant.
  int ActiveGroupCount() const { return static_cast<int>(FActive.size()); }
  const TRRPlantGroup& ActiveGroup(int index) const { return *FActive.at(size_t(index)); }
  // Every group kept (usable or not), for tests.
  int GroupCount() const;
  const TRRPlantBatchDevice& Device() const { return FDevice; }
  uint64_t Generation() const { return FGeneration; }
  // Whether plants registered as a whole are taken over by plant fields (on by default); off,
  // every plant's proxy draws it from its own node.
  bool PlantFields() const { return FPlantFields; }
  void SetPlantFields(bool on) { FPlantFields = on; }

 private:
  friend class TRRPlantProxy;
  friend class TRRPlantField;
  void Begin(gx::TGXRenderQueue* queue);
  void BeginIfNew(gx::TGXRenderQueue* queue) {
    if (queue != FQueue || queue->Generation() != FGeneration) Begin(queue);
  }
  // Appends a plant's matrix to a group that has (or with it reaches) the threshold, queuing the
  // group's primitives at the first one; the plants queued one by one before draw nothing.
  void AddInstance(TRRPlantGroup& group, const gx::TGXMatrix& world, float distance, gx::TGXRenderQueue* queue);
  TRRPlantGroup* Find(gx::TGXEntity& entity);
  void Build(TRRPlantGroup& group, gx::TGXEntity& entity);

  TRRPlantBatchDevice FDevice;
  const gx::TGXRenderQueue* FQueue = nullptr;
  uint64_t FGeneration = 0;
  std::unordered_map<const gx::TGXMesh*, std::vector<std::unique_ptr<TRRPlantGroup>>> FGroups;
  size_t FPruneAt = 64;
  std::vector<TRRPlantGroup*> FActive;
  TRRPlantGroup* FLast = nullptr;
  // Moves whenever a group is built or groups are dropped: a field's kept group pointers hold
  // while it stands still.
  uint64_t FBuilds = 0;
  bool FPlantFields = true;
};

}  // namespace rr
