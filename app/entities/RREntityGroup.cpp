#include "app/entities/RREntityGroup.h"

#include "app/entities/RREntityRegistry.h"
#include "engine/core/GXException.h"

namespace rr {

RR_DEFINE_DESCRIPTION_CLASS(TRREntityGroupDesc, TRREntityDescription)
RR_DEFINE_ENTITY_CLASS(TRREntityGroup, TRREntity)

void TRREntityGroup::RegisterKinds(TRRRegisteredEntityList& list) {
  list.Register(gx::TGXGuid::Parse(RRKindEntityGroup), StaticClass(), TRREntityGroupDesc::StaticClass());
}

bool TRREntityGroup::HitTest(const gx::TGXFrustum& volume) {
  if (!TRREntity::HitTest(volume)) return false;
  for (TRREntity* member : ChildEntities())
    if (member->HitTest(volume)) return true;
  return false;
}

void TRREntityGroup::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) Recenter();
}

namespace {

// Moves node under newParent and gives it back the world placement it had.
void Reparent(gx::TGXNode* node, gx::TGXNode* newParent) {
  gx::TGXVector3 position = node->WorldPosition();
  gx::TGXQuaternion rotation = node->WorldRotation();
  gx::TGXVector3 scale = node->WorldScale();
  newParent->AddChild(node);
  node->SetWorldPosition(position);
  node->SetWorldRotation(rotation);
  node->SetWorldScale(scale);
}

}  // namespace

void TRREntityGroup::AddMember(TRREntity* entity) {
  if (!entity || entity == this) throw gx::EInvalidParameter({gx::TGXExceptionArg::Object("TRREntityGroup"), "AddMember", "Invalid member"});
  Reparent(entity, this);
  Recenter();
}

void TRREntityGroup::ReleaseMember(TRREntity* entity) {
  if (!entity || entity->Parent() != this) return;
  if (!Parent()) throw gx::EInvalidCall({gx::TGXExceptionArg::Object("TRREntityGroup"), "ReleaseMember", "Group has no parent"});
  Reparent(entity, Parent());
  Recenter();
}

void TRREntityGroup::ReleaseAll() {
  BeginUpdate();
  for (TRREntity* member : ChildEntities()) ReleaseMember(member);
  EndUpdate();
}

void TRREntityGroup::Recenter() {
  if (FUpdateCount != 0) return;
  std::vector<TRREntity*> members = ChildEntities();

  // 1. Express every member relative to the group's parent (the group is about to become the
  //    identity), from the world values it has now.
  gx::TGXMatrix parentInverse;
  gx::TGXQuaternion parentRotation;
  if (gx::TGXNode* p = Parent()) parentInverse = p->InverseWorldMatrix(), parentRotation = p->WorldRotation();
  gx::TGXQuaternion parentRotationInverse = gx::GXQuaternionInverse(parentRotation);
  for (TRREntity* m : members) {
    gx::TGXVector3 position = gx::GXVec3TransformCoord(m->WorldPosition(), parentInverse);
    gx::TGXQuaternion rotation = gx::GXQuaternionMultiply(m->WorldRotation(), parentRotationInverse);
    gx::TGXVector3 scale = gx::GXVec3Modulate(m->Scale(), Scale());
    m->SetPosition(position);
    m->SetRotation(rotation);
    m->SetScale(scale);
  }

  // 2. Identity placement, then the members' box in the group's (= the parent's) space.
  ResetPosition();
  ResetRotation();
  ResetScale();
  Update(false);
  if (LocalBounds().Empty) return;
  gx::TGXVector3 centre = LocalBounds().Center;

  // 3. The group moves to the centre, its members by the opposite amount.
  SetPosition(centre);
  for (TRREntity* m : members) m->Translate(-centre, gx::TGXTransformSpace::Parent);
  Update(false);
}

}  // namespace rr
