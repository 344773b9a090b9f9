#include "app/entities/scenery/RRPlantBatch.h"

#include <algorithm>

#include "app/RRMaterial.h"
#include "app/entities/RREntity.h"
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
  ~TRRPlantProxy() override;

  // For good: the model entity's subtree is collected as any again, and a field lets the plant go.
  void Stop();

  void AddToRenderQueue(gx::TGXSceneCamera* camera, gx::TGXRenderQueue* queue) override {
    if (FStopped || !queue) return;
    if (FPlant.ModelEntity() != FModel) {
      // A replaced model is not ours to switch; its entities draw as any.
      Stop();
      return;
    }
    if (!FModel) return;
    const bool fast = Fast();
    // Written only when it changes: the model's node stays out of the frame's memory traffic.
    if (fast != FModelOff) {
      FModel->SetRenderEnabled(!fast);
      FModelOff = fast;
    }
    // Otherwise the entities queue themselves right after this (their node is collected next),
    // through their hooks.
    if (!fast) return;
    FBatch->BeginIfNew(queue);
    Place();
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
    Offer();
  }

  // Joins the field of the plant's parent (made when missing), without handing the plant over.
  void Join();
  // Whether it draws its plant for the batch (not stopped, its model not replaced).
  bool Draws(const TRRPlantBatch& batch) const {
    return !FStopped && FBatch.Get() == &batch && FPlant.ModelEntity() == FModel;
  }

 private:
  friend class TRRPlantField;

  struct TEntry {
    gx::TGXEntity* Entity;  // below the model entity: the node tree owns it
    gx::TGXMatrix Local;    // the entity's node in the plant's space
    gx::TGXMatrix World;    // Local carried by the plant's world matrix of revision FPlaced
    TRRPlantGroup* Group;
    uint64_t Serial;
  };

  bool Fast() { return !FPlant.Selected() && !FPlant.CadDisplayOn() && !FPlant.HasAnimation() && Ready(); }

  // The entities' world matrices are made again only when the plant moved.
  void Place() {
    if (FPlaced == FPlant.MatrixRevision()) return;
    FPlaced = FPlant.MatrixRevision();
    const gx::TGXMatrix& world = FPlant.WorldMatrix();
    for (TEntry& e : FEntries) e.World = e.Local * world;
  }

  // Whether the plant's node draws nothing but through this proxy (else a field switching the node
  // off would hide the rest).
  bool Alone() const {
    if (FPlant.ChildCount() != 1 || FPlant.Child(0) != FModel) return false;
    for (int k = 0; k < FPlant.ObjectCount(); ++k) {
      gx::TGXSceneObject* object = FPlant.Objects()[k];
      if (object->Visible() && !dynamic_cast<TRRPlantProxy*>(object)) return false;
    }
    return true;
  }

  // What a field asks when it (again) takes a plant over: whether the proxy would draw it the
  // fast way, with the world matrices made for the plant's current place.
  bool Refresh() {
    if (FStopped || !Visible() || !FModel || FPlant.ModelEntity() != FModel || !FModelOff || !Alone() ||
        !Fast())
      return false;
    Place();
    return true;
  }

  // Called after the proxy drew its plant the fast way: the field of the plant's parent draws it
  // from the next collection on.
  void Offer();

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
  TRRPlantField* FField = nullptr;  // the field it joined; each tells the other when it goes
  size_t FSlot = 0;                 // its place in the field
};

// ---- field ----

class TRRPlantField : public gx::TGXSceneObject {
 public:
  explicit TRRPlantField(gx::TGXRef<TRRPlantBatch> batch) : FBatch(std::move(batch)) {}

  // The field of the batch on parent, attached when missing.
  static TRRPlantField& Of(gx::TGXSceneNode& parent, TRRPlantBatch& batch) {
    for (int k = 0; k < parent.ObjectCount(); ++k)
      if (auto* field = dynamic_cast<TRRPlantField*>(parent.Objects()[k]);
          field && field->FBatch.Get() == &batch)
        return *field;
    auto field = gx::MakeRef<TRRPlantField>(gx::TGXRef<TRRPlantBatch>(&batch));
    parent.AttachObject(field.Get());
    return *field;
  }

  // Plants it switched off draw themselves again.
  ~TRRPlantField() override {
    for (TSlot& s : FSlots) {
      if (s.Adopted && !s.Node->Destroying()) s.Node->SetRenderEnabled(true);
      if (FProxies[s.Cold]) FProxies[s.Cold]->FField = nullptr;
    }
  }

  void Join(TRRPlantProxy& proxy) {
    proxy.FField = this;
    proxy.FSlot = FSlots.size();
    FSlots.push_back({&proxy.FPlant, 0, -1, 0, 0, false, FProxies.size()});
    FProxies.push_back(&proxy);
    FPositions.emplace_back();
    FOrderChanged = true;
  }

  // From the next collection on the field draws the plant; its node is switched off now (the
  // collector has passed its parent's boxes for this collection).
  void Adopt(TRRPlantProxy& proxy) {
    TSlot& s = FSlots[proxy.FSlot];
    if (s.Adopted) return;
    s.Adopted = true;
    s.Revision = 0;  // its entries are taken at the next collection
    s.Node->SetRenderEnabled(false);
  }

  void Forget(TRRPlantProxy& proxy) {
    TSlot& s = FSlots[proxy.FSlot];
    if (s.Adopted && !s.Node->Destroying()) s.Node->SetRenderEnabled(true);
    s.Adopted = false;
    s.Node = nullptr;
    FProxies[s.Cold] = nullptr;
    proxy.FField = nullptr;
    FOrderChanged = true;
  }

  gx::TGXSceneNode* Parent() const { return Node(); }

  bool RayIntersect(const gx::TGXVector3&, const gx::TGXVector3&, gx::TGXVector3&, gx::TGXVector3&) override {
    return false;
  }

  void AddToRenderQueue(gx::TGXSceneCamera* camera, gx::TGXRenderQueue* queue) override;

 private:
  // Read for every plant in every collection, so kept small; the rest lies in cold arrays.
  struct TSlot {
    gx::TGXSceneNode* Node;  // the plant (null once its proxy went)
    uint64_t Revision;       // the plant's matrix revision its entries were taken for
    int32_t Index;           // its place among the parent's children
    uint32_t First;          // its entries in FEntries
    uint16_t Count;
    bool Adopted;  // whether the field draws it (its node is switched off)
    size_t Cold;   // its proxy and position in FProxies, FPositions
  };
  struct TEntry {
    TRRPlantGroup* Group;
    gx::TGXEntity* Entity;
    gx::TGXMatrix World;
  };
  struct TKeptGroup {
    TRRPlantGroup* Group;
    uint64_t Serial;
    uint64_t Revision;
  };

  void HandBack(TSlot& s) {
    s.Adopted = false;
    s.Node->SetRenderEnabled(true);
  }
  // The slots in child order, without the gone ones; plants that left the parent are let go.
  void Reorder(gx::TGXSceneNode& parent);
  // Takes the plant's state anew: false when it is no longer the field's to draw.
  bool Refresh(TSlot& s, uint64_t revision);
  bool GroupsHold() const;

  gx::TGXRef<TRRPlantBatch> FBatch;
  std::vector<TSlot> FSlots;
  std::vector<TRRPlantProxy*> FProxies;
  std::vector<gx::TGXVector3> FPositions;
  std::vector<TEntry> FEntries;
  size_t FLiveEntries = 0;
  std::vector<TKeptGroup> FGroups;
  bool FOrderChanged = false;
  uint64_t FParentRevision = 0;
  uint64_t FChanges = 0, FSelection = 0, FBuilds = 0;
};

TRRPlantProxy::~TRRPlantProxy() {
  if (FField) FField->Forget(*this);
}

void TRRPlantProxy::Stop() {
  if (!FStopped && FModelOff && FPlant.ModelEntity() == FModel) FModel->SetRenderEnabled(true);
  FStopped = true;
  if (FField) FField->Forget(*this);
}

void TRRPlantProxy::Join() {
  if (FField || FStopped || !FBatch->PlantFields()) return;
  if (auto* parent = dynamic_cast<gx::TGXSceneNode*>(FPlant.Parent()))
    TRRPlantField::Of(*parent, *FBatch).Join(*this);
}

void TRRPlantProxy::Offer() {
  if (!FBatch->PlantFields() || !FPlant.Visible() || FPlant.WorldBounds().Empty || !Alone()) return;
  auto* parent = dynamic_cast<gx::TGXSceneNode*>(FPlant.Parent());
  if (FField && FField->Parent() != parent) FField->Forget(*this);
  if (!parent) return;
  Join();
  if (FField) FField->Adopt(*this);
}

bool TRRPlantField::GroupsHold() const {
  if (FBuilds != FBatch->FBuilds) return false;
  for (const TKeptGroup& k : FGroups) {
    const gx::TGXMesh* mesh = k.Group->Mesh();
    if (k.Group->FSerial != k.Serial || !mesh || mesh->Revision() != k.Revision) return false;
  }
  return true;
}

void TRRPlantField::Reorder(gx::TGXSceneNode& parent) {
  FOrderChanged = false;
  FParentRevision = parent.MatrixRevision();
  std::vector<TSlot> slots;
  slots.reserve(FSlots.size());
  for (TSlot& s : FSlots) {
    if (!s.Node) continue;
    if (s.Node->Parent() != &parent) {
      // Moved elsewhere: the proxy joins the field of its new parent when it draws next.
      if (s.Adopted) HandBack(s);
      FProxies[s.Cold]->FField = nullptr;
      continue;
    }
    s.Index = s.Node->IndexInParent();
    slots.push_back(s);
  }
  std::sort(slots.begin(), slots.end(), [](const TSlot& a, const TSlot& b) { return a.Index < b.Index; });
  // The cold arrays and the entries follow the new order; entries of plants not drawn are taken
  // again on adoption.
  std::vector<TRRPlantProxy*> proxies;
  std::vector<gx::TGXVector3> positions;
  std::vector<TEntry> entries;
  proxies.reserve(slots.size());
  positions.reserve(slots.size());
  entries.reserve(FLiveEntries);
  for (size_t k = 0; k < slots.size(); ++k) {
    TSlot& s = slots[k];
    proxies.push_back(FProxies[s.Cold]);
    positions.push_back(FPositions[s.Cold]);
    s.Cold = k;
    proxies.back()->FSlot = k;
    if (!s.Adopted) {
      s.Count = 0;
      s.Revision = 0;
      continue;
    }
    const uint32_t first = static_cast<uint32_t>(entries.size());
    entries.insert(entries.end(), FEntries.begin() + s.First, FEntries.begin() + s.First + s.Count);
    s.First = first;
  }
  FSlots = std::move(slots);
  FProxies = std::move(proxies);
  FPositions = std::move(positions);
  FEntries = std::move(entries);
  FLiveEntries = FEntries.size();
}

bool TRRPlantField::Refresh(TSlot& s, uint64_t revision) {
  TRRPlantProxy& proxy = *FProxies[s.Cold];
  if (!proxy.Refresh()) return false;
  const auto& entries = proxy.FEntries;
  if (entries.size() != s.Count) {
    // Taken at the end; the old ones are dropped at the next reorder.
    FLiveEntries = FLiveEntries - s.Count + entries.size();
    s.First = static_cast<uint32_t>(FEntries.size());
    s.Count = static_cast<uint16_t>(entries.size());
    FEntries.resize(FEntries.size() + entries.size());
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    const auto& e = entries[i];
    FEntries[s.First + i] = {e.Group, e.Entity, e.World};
    if (!std::any_of(FGroups.begin(), FGroups.end(), [&](const TKeptGroup& k) { return k.Group == e.Group; }))
      FGroups.push_back({e.Group, e.Group->FSerial, e.Group->FRevision});
  }
  FPositions[s.Cold] = proxy.FPlant.WorldPosition();
  s.Revision = revision;
  return true;
}

void TRRPlantField::AddToRenderQueue(gx::TGXSceneCamera* camera, gx::TGXRenderQueue* queue) {
  gx::TGXSceneNode* parent = Node();
  if (!queue || !parent || FSlots.empty()) return;
  const gx::TGXArrayView<gx::TGXNode> children = parent->Children();
  const std::vector<gx::TGXChildExtent>& extents = parent->ChildExtents();
  const std::vector<uint64_t>& revisions = parent->ChildRevisions();
  const size_t n = children.size();
  if (extents.size() != n || revisions.size() != n) {
    // The parent's copies are not current: the collector visits every plant itself.
    for (TSlot& s : FSlots)
      if (s.Adopted) HandBack(s);
    return;
  }
  // Children come and go only with a change of the parent's own matrices (AddChild and
  // RemoveChild invalidate it).
  if (FOrderChanged || FParentRevision != parent->MatrixRevision()) Reorder(*parent);
  // A selection or material change anywhere, or a group built anew, and every plant is looked at.
  bool all = false;
  const uint64_t changes = gx::GXSubEntityMaterialChanges(), selection = RREntitySelectionChanges();
  if (changes != FChanges || selection != FSelection || !GroupsHold()) {
    FChanges = changes;
    FSelection = selection;
    FBuilds = FBatch->FBuilds;
    FGroups.clear();
    all = true;
  }
  FBatch->BeginIfNew(queue);
  gx::TGXVector3 eye;
  if (camera && camera->Node()) eye = camera->Node()->WorldPosition();
  for (TSlot& s : FSlots) {
    if (!s.Adopted) continue;
    const size_t index = size_t(s.Index);
    const gx::TGXChildExtent& extent = extents[index];
    // Hidden or without bounds: the collector decides, as for any node.
    if (!extent.Usable) {
      HandBack(s);
      continue;
    }
    if ((all || revisions[index] != s.Revision) && !Refresh(s, revisions[index])) {
      HandBack(s);  // drawn by its proxy or its entities in this collection
      continue;
    }
    if (!camera->IsExtentVisible(extent)) continue;
    float distance = -1;
    for (uint32_t i = s.First, end = s.First + s.Count; i < end; ++i) {
      const TEntry& e = FEntries[i];
      TRRPlantGroup& g = *e.Group;
      if (g.FCount + 1 < RRPlantBatchThreshold || g.FCount >= RRPlantMaxInstances) {
        e.Entity->AddToRenderQueue(camera, queue);  // the first of its group, through its hook
      } else {
        if (!g.FQueued && distance < 0) distance = gx::DistanceSquared(eye, FPositions[s.Cold]);
        FBatch->AddInstance(g, e.World, distance, queue);
      }
    }
  }
}

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
  if (plant.HasAnimation()) return;
  // Registered again (Attach after Attach): one proxy draws the plant, not one per registration.
  for (int k = 0; k < plant.ObjectCount(); ++k)
    if (auto* p = dynamic_cast<TRRPlantProxy*>(plant.Objects()[k]); p && p->Draws(*this)) return;
  auto proxy = gx::MakeRef<TRRPlantProxy>(gx::TGXRef<TRRPlantBatch>(this), plant);
  plant.AttachObject(proxy.Get());
  proxy->Join();
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
  ++FBuilds;
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
      ++FBuilds;
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
