#include "app/entities/scenery/RRPlantBatch.h"

#include <algorithm>

#include "app/RRMaterial.h"
#include "app/entities/RRModel.h"
#include "engine/render/GXGLRenderDevice.h"
#include "engine/render/GXRenderCore.h"

namespace rr {

namespace {

// The hook every mesh entity of one plant shares.
class TRRPlantHook : public gx::TGXEntityQueueHook {
 public:
  TRRPlantHook(gx::TGXRef<TRRPlantBatch> batch, const TRRModel* owner)
      : FBatch(std::move(batch)), FOwner(owner) {}
  bool Queue(gx::TGXEntity& entity, float distance, gx::TGXRenderQueue* queue) override {
    // A selected plant and the technical view's flat colours draw as before.
    if (FOwner && (FOwner->Selected() || FOwner->CadDisplayOn())) return false;
    return FBatch->Add(entity, distance, queue);
  }

 private:
  gx::TGXRef<TRRPlantBatch> FBatch;
  const TRRModel* FOwner;
};

// Every mesh entity below node, depth first; shownOnly leaves out hidden entities and the
// subtrees of hidden nodes.
template <class Fn>
void ForEachMeshEntity(gx::TGXNode* node, Fn&& fn, bool shownOnly = false) {
  auto* scene = dynamic_cast<gx::TGXSceneNode*>(node);
  if (shownOnly && scene && !scene->Visible()) return;
  if (scene)
    for (int k = 0; k < scene->ObjectCount(); ++k)
      if (auto* entity = dynamic_cast<gx::TGXEntity*>(scene->Objects()[k]); entity && (!shownOnly || entity->Visible()))
        fn(*entity);
  for (int i = 0; i < node->ChildCount(); ++i) ForEachMeshEntity(node->Child(i), fn, shownOnly);
}

bool Blends(const gx::TGXMaterial& material) {
  const gx::TGXEffectTechnique* technique = material.GetTechnique();
  if (!technique) return true;
  for (int i = 0; i < technique->PassCount(); ++i)
    if (technique->Pass(i)->AlphaBlend()) return true;
  return false;
}

}  // namespace

// ---- group ----

bool TRRPlantGroup::Matches(const gx::TGXEntity& entity) const {
  const gx::TGXMesh* mesh = FMesh.Get();
  if (!mesh || mesh != entity.Mesh().Get() || FRevision != mesh->Revision()) return false;
  const auto& subs = entity.SubEntities();
  if (subs.size() != FMaterials.size()) return false;
  for (size_t i = 0; i < subs.size(); ++i)
    if (FMaterials[i].Get() != subs[i]->Material.Get() || !subs[i]->Material) return false;
  return true;
}

bool TRRPlantGroup::Upload() {
  const uint64_t generation = FBatch->Generation();
  if (FWritten == generation) return !FWriteFailed;
  FWritten = generation;
  FWriteFailed = true;
  gx::TGXRenderDevice* device = FBatch->Device().Device;
  if (!device || FCount == 0) return false;
  const uint32_t size = static_cast<uint32_t>(FMatrices.size() * sizeof(gx::TGXMatrix));
  try {
    if (!FBuffer || FBuffer->Size() != size) {
      FBuffer = device->CreateVertexBuffer(size, gx::GXBufferUsageDynamicWriteOnly, gx::GXPoolDefault);
      for (const auto& p : FPrimitives) p->VertexGeometry->Buffers[FInstanceStream] = FBuffer;
    }
  } catch (const gx::EGXException&) {
    FBuffer.Reset();
    return false;
  }
  // The whole buffer, so the device may give it fresh storage instead of waiting for the draws
  // of an earlier collection.
  if (!device->WriteVertexBuffer(FBuffer.Get(), 0, FMatrices.data(), size, gx::GXLockDiscard)) return false;
  FWriteFailed = false;
  return true;
}

void TRRPlantPrimitive::BeforeRender() {
  InstanceCount = FGroup->Instanced() && FGroup->Upload() ? static_cast<uint32_t>(FGroup->FCount) : 0;
}

// ---- proxy ----

class TRRPlantProxy : public gx::TGXSceneObject {
 public:
  TRRPlantProxy(gx::TGXRef<TRRPlantBatch> batch, TRRModel& plant)
      : FBatch(std::move(batch)), FPlant(plant), FModel(plant.ModelEntity()) {}

  // For good: the model entity's subtree is collected as any again.
  void Stop() {
    if (!FStopped && FModelOff && FPlant.ModelEntity() == FModel) FModel->SetRenderEnabled(true);
    FStopped = true;
  }

  void AddToRenderQueue(gx::TGXSceneCamera* camera, gx::TGXRenderQueue* queue) override {
    if (FStopped || !queue) return;
    if (FPlant.ModelEntity() != FModel) {
      // A replaced model is not ours to switch; its entities draw as any.
      FStopped = true;
      return;
    }
    if (!FModel) return;
    const bool fast = !FPlant.Selected() && !FPlant.CadDisplayOn() && !FPlant.HasAnimation() && Ready();
    // Written only when it changes: the model's node stays out of the frame's memory traffic.
    if (fast != FModelOff) {
      FModel->SetRenderEnabled(!fast);
      FModelOff = fast;
    }
    // Otherwise the entities queue themselves right after this (their node is collected next),
    // through their hooks.
    if (!fast) return;
    FBatch->BeginIfNew(queue);
    // The entities' world matrices are made again only when the plant moved.
    if (FPlaced != FPlant.MatrixRevision()) {
      FPlaced = FPlant.MatrixRevision();
      const gx::TGXMatrix& world = FPlant.WorldMatrix();
      for (TEntry& e : FEntries) e.World = e.Local * world;
    }
    gx::TGXVector3 eye;
    if (camera && camera->Node()) eye = camera->Node()->WorldPosition();
    const float distance = gx::DistanceSquared(eye, FPlant.WorldPosition());
    for (const TEntry& e : FEntries) {
      TRRPlantGroup& g = *e.Group;
      if (g.FCount + 1 < RRPlantBatchThreshold || g.FCount >= RRPlantMaxInstances)
        e.Entity->AddToRenderQueue(camera, queue);  // the first of its group, through its hook
      else
        FBatch->AddInstance(g, e.World, distance, queue);
    }
  }

 private:
  struct TEntry {
    gx::TGXEntity* Entity;  // below the model entity: the node tree owns it
    gx::TGXMatrix Local;    // the entity's node in the plant's space
    gx::TGXMatrix World;    // Local carried by the plant's world matrix of revision FPlaced
    TRRPlantGroup* Group;
    uint64_t Serial;
  };

  // Whether the kept entries still hold; else they are taken anew (once per change).
  bool Ready() {
    const uint64_t changes = gx::GXSubEntityMaterialChanges();
    if (FResolved && changes == FChanges) {
      bool valid = true;
      for (const TEntry& e : FEntries) {
        const gx::TGXMesh* mesh = e.Group->Mesh();
        valid = valid && e.Group->FSerial == e.Serial && mesh && mesh->Revision() == e.Group->FRevision;
      }
      if (valid) return true;
    }
    // A failed take is tried once more (after the entities went through their hooks, which
    // sets their materials), then again only after a material changed somewhere.
    if (changes != FChanges) FFailures = 0;
    if (FFailures >= 2) return false;
    FChanges = changes;
    FResolved = Resolve();
    FFailures = FResolved ? 0 : FFailures + 1;
    return FResolved;
  }

  bool Resolve() {
    FEntries.clear();
    bool complete = true;
    const gx::TGXMatrix& inverse = FPlant.InverseWorldMatrix();
    ForEachMeshEntity(
        FModel,
        [&](gx::TGXEntity& entity) {
      if (!complete) return;
      const auto& subs = entity.SubEntities();
      complete = entity.Node() && !subs.empty() && int(subs.size()) == entity.Mesh()->SubMeshCount();
      for (const auto& sub : subs) complete = complete && sub->Material;
      if (!complete) return;
      TRRPlantGroup* g = FBatch->Find(entity);
      complete = g->Usable();
      if (complete) FEntries.push_back({&entity, entity.Node()->WorldMatrix() * inverse, {}, g, g->FSerial});
        },
        true);
    FPlaced = 0;
    if (!complete) FEntries.clear();
    return complete && !FEntries.empty();
  }

  gx::TGXRef<TRRPlantBatch> FBatch;
  TRRModel& FPlant;
  TRRModelEntity* FModel;
  std::vector<TEntry> FEntries;
  uint64_t FPlaced = 0;  // the plant's matrix revision the entries' world matrices were made for
  uint64_t FChanges = 0;
  bool FResolved = false;
  int FFailures = 0;  // takes that failed since the material count last moved
  bool FModelOff = false;  // whether this proxy switched the model's subtree off
  bool FStopped = false;
};

// ---- batch ----

TRRPlantBatch::TRRPlantBatch(TRRPlantBatchDevice device) : FDevice(std::move(device)) {}

gx::TGXRef<TRRPlantBatch> TRRPlantBatch::Shared() {
  static gx::TGXRenderCore* core = nullptr;
  static gx::TGXWeakRef<TRRPlantBatch> shared;
  gx::TGXRenderCore* current = gx::GXCurrentRenderCore();
  if (!current) return nullptr;
  if (current == core)
    if (gx::TGXRef<TRRPlantBatch> batch = shared.Lock()) return batch;
  TRRPlantBatchDevice device;
  device.Device = &current->Device();
  device.MakeDeclaration = [gl = &current->Device()](const gx::TGXVertexLayoutDecl& decl) {
    return gl->CreateVertexDeclaration(decl.Elements(), decl.Frequencies());
  };
  auto batch = gx::MakeRef<TRRPlantBatch>(std::move(device));
  core = current;
  shared = batch.Get();
  return batch;
}

void TRRPlantBatch::Attach(TRRModel& plant) {
  if (!plant.ModelEntity()) return;
  if (gx::TGXRef<TRRPlantBatch> batch = Shared()) batch->RegisterPlant(plant);
}

void TRRPlantBatch::Detach(TRRModel& plant) {
  if (plant.ModelEntity()) Unregister(*plant.ModelEntity());
}

void TRRPlantBatch::Register(TRRModelEntity& entity, const TRRModel* owner) {
  auto hook = gx::MakeRef<TRRPlantHook>(gx::TGXRef<TRRPlantBatch>(this), owner);
  ForEachMeshEntity(&entity, [&hook](gx::TGXEntity& e) { e.SetQueueHook(hook); });
}

void TRRPlantBatch::RegisterPlant(TRRModel& plant) {
  TRRModelEntity* model = plant.ModelEntity();
  if (!model) return;
  Register(*model, &plant);
  if (!plant.HasAnimation()) plant.AttachObject(gx::MakeRef<TRRPlantProxy>(gx::TGXRef<TRRPlantBatch>(this), plant).Get());
}

void TRRPlantBatch::Unregister(TRRModelEntity& entity) {
  ForEachMeshEntity(&entity, [](gx::TGXEntity& e) {
    if (dynamic_cast<TRRPlantHook*>(e.QueueHook())) e.SetQueueHook(nullptr);
  });
  if (auto* plant = dynamic_cast<gx::TGXSceneNode*>(entity.Parent()))
    for (int k = 0; k < plant->ObjectCount(); ++k)
      if (auto* proxy = dynamic_cast<TRRPlantProxy*>(plant->Objects()[k])) proxy->Stop();
}

int TRRPlantBatch::GroupCount() const {
  size_t n = 0;
  for (const auto& [mesh, groups] : FGroups) n += groups.size();
  return static_cast<int>(n);
}

void TRRPlantBatch::Begin(gx::TGXRenderQueue* queue) {
  FQueue = queue;
  FGeneration = queue->Generation();
  for (TRRPlantGroup* g : FActive) {
    g->FCount = 0;
    g->FQueued = false;
    g->FPending.clear();
  }
  FActive.clear();
  FLast = nullptr;
}

void TRRPlantBatch::Build(TRRPlantGroup& g, gx::TGXEntity& entity) {
  static uint64_t serial = 0;
  const gx::IGXMesh& mesh = entity.Mesh();
  const auto& subs = entity.SubEntities();
  g.FBatch = this;
  g.FSerial = ++serial;
  g.FMesh = mesh.Get();
  g.FRevision = mesh->Revision();
  g.FMaterials.clear();
  g.FTwins.clear();
  g.FPrimitives.clear();
  g.FBuffer.Reset();
  g.FWritten = 0;
  g.FUsable = false;
  for (const auto& sub : subs) g.FMaterials.emplace_back(sub->Material.Get());
  if (subs.empty() || !FDevice.Device || !FDevice.MakeDeclaration) return;
  for (const auto& sub : subs) {
    if (!sub->Material || Blends(*sub->Material)) return;
    gx::IGXMaterial twin = TRRMaterialGenerator::InstancedMaterial(sub->Material.Get());
    if (!twin) return;
    g.FTwins.push_back(std::move(twin));
  }
  // The mesh's own streams come first; the matrices take the next one, and its attributes must
  // be free.
  const gx::TGXVertexGeometry& geometry = mesh->GetGeometry();
  g.FInstanceStream = static_cast<uint32_t>(geometry.Buffers.size());
  if (g.FInstanceStream >= gx::GXMaxVertexStreams) return;
  gx::TGXVertexLayoutDecl layout = mesh->GetLayout();
  for (const gx::TGXVertexElement& e : layout.Elements())
    if (e.Usage == gx::GXUsageTexCoord && e.UsageIndex >= RRPlantMatrixUsageIndex) return;
  const auto stream = static_cast<uint16_t>(g.FInstanceStream);
  for (uint8_t row = 0; row < 4; ++row)
    layout.AddElement(stream, gx::GXDeclFloat4, gx::GXUsageTexCoord, uint8_t(RRPlantMatrixUsageIndex + row));
  layout.SetStreamFrequency(stream, 1);
  gx::TGXVertexGeometry vertices = geometry;
  try {
    vertices.Layout = FDevice.MakeDeclaration(layout);
  } catch (const gx::EGXException&) {
    return;
  }
  if (!vertices.Layout) return;
  vertices.Buffers.emplace_back();
  vertices.Strides.push_back(sizeof(gx::TGXMatrix));
  for (size_t i = 0; i < subs.size(); ++i) {
    auto p = std::make_unique<TRRPlantPrimitive>(&g, int(i));
    p->Material = g.FTwins[i];
    p->VertexGeometry = vertices;
    p->IndexGeometry = subs[i]->IndexGeometry;
    p->PrimitiveType = subs[i]->PrimitiveType;
    g.FPrimitives.push_back(std::move(p));
  }
  g.FUsable = true;
}

TRRPlantGroup* TRRPlantBatch::Find(gx::TGXEntity& entity) {
  if (FLast && FLast->Matches(entity)) return FLast;
  const gx::TGXMesh* mesh = entity.Mesh().Get();
  auto it = FGroups.find(mesh);
  if (it == FGroups.end()) {
    // Meshes come and go with their models: entries whose meshes all died are dropped now and
    // then, so the table stays as large as the meshes alive.
    if (FGroups.size() >= FPruneAt) {
      std::erase_if(FGroups, [](const auto& item) {
        return std::none_of(item.second.begin(), item.second.end(), [](const auto& g) { return g->Mesh(); });
      });
      FPruneAt = std::max<size_t>(64, FGroups.size() * 2);
    }
    it = FGroups.emplace(mesh, std::vector<std::unique_ptr<TRRPlantGroup>>()).first;
  }
  std::vector<std::unique_ptr<TRRPlantGroup>>& groups = it->second;
  TRRPlantGroup* free = nullptr;
  for (const auto& g : groups) {
    if (g->Matches(entity)) return FLast = g.get();
    // A group of a dead mesh, an older revision or a dead material is taken again, unless it
    // holds plants of this collection.
    bool stale = !g->Mesh() || g->FRevision != g->Mesh()->Revision();
    for (const auto& m : g->FMaterials) stale = stale || !m;
    if (stale && g->FCount == 0 && !free) free = g.get();
  }
  if (!free) {
    groups.push_back(std::make_unique<TRRPlantGroup>());
    free = groups.back().get();
  }
  Build(*free, entity);
  return FLast = free;
}

bool TRRPlantBatch::Add(gx::TGXEntity& entity, float distance, gx::TGXRenderQueue* queue) {
  if (!queue || !entity.Node()) return false;
  BeginIfNew(queue);
  TRRPlantGroup* g = Find(entity);
  if (!g->FUsable || g->FCount >= RRPlantMaxInstances) return false;
  if (!g->FQueued && g->FCount + 1 < RRPlantBatchThreshold) {
    if (g->FCount == 0) FActive.push_back(g);
    if (g->FCount == g->FMatrices.size()) g->FMatrices.resize(std::max<size_t>(16, g->FMatrices.size() * 2));
    g->FMatrices[g->FCount++] = entity.Node()->WorldMatrix();
    g->FPending.push_back(&entity);
    return false;
  }
  AddInstance(*g, entity.Node()->WorldMatrix(), distance, queue);
  return true;
}

void TRRPlantBatch::AddInstance(TRRPlantGroup& g, const gx::TGXMatrix& world, float distance,
                                gx::TGXRenderQueue* queue) {
  if (g.FCount == 0) FActive.push_back(&g);
  if (g.FCount == g.FMatrices.size()) g.FMatrices.resize(std::max<size_t>(16, g.FMatrices.size() * 2));
  g.FMatrices[g.FCount++] = world;
  if (g.FQueued) return;
  // The plants queued so far are drawn by the batch from now on.
  for (gx::TGXEntity* e : g.FPending)
    for (const auto& sub : e->SubEntities()) sub->InstanceCount = 0;
  g.FPending.clear();
  for (const auto& p : g.FPrimitives) queue->Add(p.get(), 0.0f, distance);
  g.FQueued = true;
}

}  // namespace rr
