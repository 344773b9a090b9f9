#include "engine/render/GXEntity.h"

#include "engine/core/GXException.h"
#include "engine/core/GXGeometry.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXRenderQueue.h"

namespace gx {

const TGXMatrix* TGXSubEntity::GetWorldMatrix() {
  TGXSceneNode* node = FEntity->Node();
  return node ? &node->WorldMatrix() : nullptr;
}

namespace {
uint64_t MaterialChanges = 0;
}  // namespace

uint64_t GXSubEntityMaterialChanges() { return MaterialChanges; }

void TGXSubEntity::SetMaterial(IGXMaterial material) {
  ++MaterialChanges;
  FOwnMaterial = std::move(material);
  Material = FOwnMaterial ? FOwnMaterial : FEntity->Mesh()->SubMesh(FSubMesh)->Material;
}

TGXEntity::TGXEntity(IGXMesh mesh) : FMesh(std::move(mesh)) {
  GX_ASSERT(FMesh);
  Refresh();
}

TGXRef<TGXEntity> TGXEntity::Create(TGXSceneNode* node, IGXMesh mesh) {
  TGXRef<TGXEntity> entity = MakeRef<TGXEntity>(std::move(mesh));
  if (node) node->AttachObject(entity.Get());
  return entity;
}

void TGXEntity::Refresh() {
  if (FRevision == FMesh->Revision()) return;
  FRevision = FMesh->Revision();
  FSubEntities.clear();
  FBuilt = false;
  SetLocalBounds(BoxFromMinMax(FMesh->GetBoundsMin(), FMesh->GetBoundsMax()));
}

void TGXEntity::BuildSubEntities() {
  Refresh();
  if (FBuilt) return;
  const int count = FMesh->SubMeshCount();
  for (int i = 0; i < count; ++i) {
    auto sub = std::make_unique<TGXSubEntity>(this, i);
    sub->VertexGeometry = FMesh->GetGeometry();
    sub->IndexGeometry = FMesh->SubMesh(i)->IndexGeometry;
    FSubEntities.push_back(std::move(sub));
  }
  FBuilt = true;
}

int TGXEntity::SubEntityCount() const { return FMesh->SubMeshCount(); }

TGXSubEntity* TGXEntity::SubEntity(int index) {
  BuildSubEntities();
  if (index < 0 || index >= int(FSubEntities.size()))
    throw EInvalidParameter({TGXExceptionArg::Object("TGXEntity"), "SubEntity", index});
  TGXSubEntity* sub = FSubEntities[size_t(index)].get();
  sub->Material = sub->FOwnMaterial ? sub->FOwnMaterial : FMesh->SubMesh(index)->Material;
  return sub;
}

void TGXEntity::AddToRenderQueue(TGXSceneCamera* camera, TGXRenderQueue* queue) {
  BuildSubEntities();
  TGXVector3 eye;
  if (camera && camera->Node()) eye = camera->Node()->WorldPosition();
  const float distance = DistanceSquared(eye, WorldBounds().Center);
  for (size_t i = 0; i < FSubEntities.size(); ++i) {
    TGXSubEntity* sub = FSubEntities[i].get();
    sub->Material = sub->FOwnMaterial ? sub->FOwnMaterial : FMesh->SubMesh(int(i))->Material;
    // A hook may have taken the entity into an instanced draw in an earlier collection.
    sub->InstanceCount = 1;
  }
  if (FQueueHook && FQueueHook->Queue(*this, distance, queue)) return;
  for (const auto& sub : FSubEntities) queue->Add(sub.get(), 0.0f, distance);
}

bool TGXEntity::RayIntersect(const TGXVector3& origin, const TGXVector3& direction, TGXVector3& normal,
                             TGXVector3& hit) {
  if (!Visible()) return false;
  Refresh();
  if (!BoxContains(LocalBounds(), origin)) {
    TGXVector3 boxNormal, boxHit;
    if (!TGXSceneObject::RayIntersect(origin, direction, boxNormal, boxHit)) return false;
  }
  return FMesh->RayIntersect(origin, direction, normal, hit, false);
}

}  // namespace gx
