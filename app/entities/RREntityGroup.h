#pragma once
// A group: an entity whose members are its child entities. After every change its rotation and
// scale are identity and its position is the centre of its members' bounding box, so the gizmo
// and the pivot sit in the middle of what was grouped. TRREntityGroupDesc adds nothing to the
// base description; the members are its child descriptions.
//
// The member operations keep every member's world placement. They read the cached world values,
// so the scene must have been updated since the last change (as it is between frames).

#include "app/entities/RREntity.h"
#include "app/entities/RREntityDescription.h"

namespace rr {

class TRRRegisteredEntityList;

inline constexpr const char* RRKindEntityGroup = "{280464B0-A843-4A29-A93E-4065F9C4EBC5}";

class TRREntityGroupDesc : public TRREntityDescription {
  RR_DESCRIPTION_CLASS()
};

class TRREntityGroup : public TRREntity {
  RR_ENTITY_CLASS()

 public:
  TRREntityGroup(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description)
      : TRREntity(parent, manager, description) {}

  static void RegisterKinds(TRRRegisteredEntityList& list);

  // Only when the group's own box is hit and then some member is hit.
  bool HitTest(const gx::TGXFrustum& volume) override;

  // Nest; EndUpdate re-centres when the counter returns to 0.
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }
  // Moves the entity under the group keeping its world placement, then Recenter.
  void AddMember(TRREntity* entity);
  // Moves a member under the group's parent keeping its world placement, then Recenter. Nothing
  // happens for an entity that is not a member; a group without parent raises EInvalidCall (the
  // member would have no owner).
  void ReleaseMember(TRREntity* entity);
  void ReleaseAll();
  // Outside an update bracket: places the group at the centre of its members' bounds with
  // identity rotation and scale, leaving the members where they are in the world.
  void Recenter();

 private:
  int FUpdateCount = 0;
};

}  // namespace rr
