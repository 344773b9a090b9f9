#pragma once
// TRREntity: every layout object (track piece, baseboard panel, model, light, camera, vehicle,
// group ...) is a scene node with an ID, the catalogue entry it came from, a pivot, an optional
// link to another entity that it follows, and a selection state. Entities are built from
// descriptions (RREntityDescription.h) and turned back into them by CreateDescription.
//
// Construction: TRREntityClass::Create constructs the entity of the registered class and then
// calls AfterConstruction, which registers it with its manager and reports it through the
// manager's entity-created hook. Both happen once the object is complete, so that the manager
// sees the entity's final class (a base-class constructor cannot). Destruction unregisters it;
// the node then frees its children and with them every child entity.
//
// Link following: an entity with a link target keeps its placement relative to that entity.
// SetLinkTarget stores the offset in the target's frame and the rotation relative to the target;
// Animate puts the entity back there every frame:
//   world position = target position + offset carried as a direction by the target's world matrix
//   world rotation = link rotation followed by the target's world rotation
// so the stored link rotation is the entity's world rotation followed by the inverse of the
// target's (with "A followed by B" products the other order is only right when the two rotations
// commute).
//
// Seams: the entity manager (ID table, kind lists, selection, picking, modifier stack) implements
// IRREntityManager; an entity without manager works as a plain node (no registration, no link
// lookup, no selection boxes). The selection-box display object comes from the manager too.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/GXGeometry.h"
#include "engine/core/GXGuid.h"
#include "engine/core/GXMath.h"
#include "engine/core/GXRefCounted.h"
#include "engine/core/GXSceneNode.h"

namespace rr {

class TRREntity;
class TRREntityDescription;
class TRREntityModifier;
class TRRTrackResources;

// Counts every Select and Deselect of any entity: code that keeps state derived from many
// entities' selection looks at them again only when this moved.
uint64_t RREntitySelectionChanges();

// What an entity and a modifier ask of the manager that keeps the entities of a project.
class IRREntityManager {
 public:
  virtual ~IRREntityManager() = default;

  // Called once per entity when it is complete, and again when it is destroyed (only if the
  // registration happened).
  virtual void RegisterEntity(TRREntity* entity) = 0;
  virtual void UnregisterEntity(TRREntity* entity) = 0;
  // The entity with that ID, or null (also for ID <= 0).
  virtual TRREntity* FindByID(int32_t id) const = 0;
  // The entity-created callback, called after RegisterEntity.
  virtual void EntityCreated(TRREntity* entity) {}
  // A registered entity's name changed from oldName (TRREntity::SetName); the name index follows.
  virtual void EntityRenamed(TRREntity* entity, const std::string& oldName) {}
  // A registered entity's IdleInFrames may have changed (its link did).
  virtual void FrameStepChanged(TRREntity* entity) {}
  // Whether selected entities show selection boxes now (the manager's overlay switch and the
  // program's selection-border display).
  virtual bool ShowSelectionBorders() const { return false; }
  // The selection-box display object for the entity, drawn with the manager's selection
  // primitive; null when there is none.
  virtual gx::TGXRef<gx::TGXSceneObject> CreateSelectionBox(TRREntity* entity) { return nullptr; }
  // Removes the modifier from the stack (the modifier's destructor calls it).
  virtual void RemoveModifier(TRREntityModifier* modifier) {}
  // The shared track geometries and effects (RRTrackGeometry.h); null when tracks are not drawn.
  virtual TRRTrackResources* TrackResources() { return nullptr; }
  // The technical view is on (the active camera is the technical-drawing camera).
  virtual bool TechnicalView() const { return false; }
};

// ---- class records ----

struct TRREntityClass {
  const char* Name;
  const TRREntityClass* Parent;  // null for TRREntity
  TRREntity* (*Construct)(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description);

  bool InheritsFrom(const TRREntityClass& other) const;
  // Constructs the entity under parent (which owns it; without parent the caller does) and runs
  // AfterConstruction. The description's children are not created (the manager does that).
  TRREntity* Create(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description) const;
};

#define RR_ENTITY_CLASS()                       \
 public:                                        \
  static const ::rr::TRREntityClass& StaticClass(); \
  const ::rr::TRREntityClass& GetClass() const override { return StaticClass(); }

#define RR_DEFINE_ENTITY_CLASS(ThisClass, ParentClass)                                                   \
  const ::rr::TRREntityClass& ThisClass::StaticClass() {                                                \
    static const ::rr::TRREntityClass info{                                                             \
        #ThisClass, &ParentClass::StaticClass(),                                                        \
        [](::gx::TGXNode* parent, ::rr::IRREntityManager* manager,                                      \
           const ::rr::TRREntityDescription& description) -> ::rr::TRREntity* {                          \
          return new ThisClass(parent, manager, description);                                           \
        }};                                                                                             \
    return info;                                                                                        \
  }

// ---- the entity ----

class TRREntity : public gx::TGXSceneNode {
 public:
  // A node without name under parent; asset identifier, ID, name and description text (in the
  // current language), locked, pivot, position, rotation, scale and the link fields from the
  // description.
  TRREntity(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description);
  ~TRREntity() override;

  static const TRREntityClass& StaticClass();
  virtual const TRREntityClass& GetClass() const { return StaticClass(); }
  template <class T>
  bool Is() const {
    return GetClass().InheritsFrom(T::StaticClass());
  }

  // Registers the entity with its manager and calls the entity-created hook; once, after the
  // most derived constructor (TRREntityClass::Create does this).
  void AfterConstruction();

  // ---- virtual operations ----

  // Called every frame before Animate with the manager's technical-view flag.
  virtual void UpdateView(bool technicalView) {}
  // Called every frame; the base follows the link target.
  virtual void Animate(bool animationsOn, float deltaTime);
  // True while Animate does nothing whatever the frame: no link to follow, and a kind that adds
  // nothing to the base Animate. The manager's frame step passes such an entity by without
  // touching it (a large layout holds thousands of pieces of track).
  bool IdleInFrames() const { return FLinkTarget == 0 && !AnimatesItself(); }
  // Appends a selection box for this entity to the selection borders.
  virtual void CreateSelectionBorder();
  // True with an empty reason; kinds that must stay answer false with the reason shown.
  virtual bool CanDelete(std::string& reason) const;
  // A new description of the registered description class with this entity's state and one child
  // description per child entity, in child order. Raises EUnknownEntityClass for an unregistered
  // class. Kinds with own fields call the inherited operation first.
  virtual std::unique_ptr<TRREntityDescription> CreateDescription() const;
  // Whether the entity may be scaled (for example to the layout's model scale when dropped).
  virtual bool CanScale() const { return true; }
  // A fixed entity (the light, a predefined camera) cannot be deleted, copied or grouped; the
  // kinds that are fixed answer for themselves.
  virtual bool IsFixed() const { return false; }
  // Snaps a proposed placement to a neighbour; the base never snaps (snapped false, result true).
  virtual bool Snap(bool& snapped, gx::TGXVector3& position, gx::TGXQuaternion& rotation);
  // Sets the link again from the current placement (the target looked up by the stored ID, so a
  // vanished target clears the link) and recurses into the child entities. Without a manager
  // there is nothing to look the target up in and the link stays as it is.
  virtual void Relink();
  virtual void Select();
  // Frees the selection borders.
  virtual void Deselect();
  // False for an invisible node; else whether the world-carried box of LocalBounds meets the
  // volume (a selection rectangle's frustum).
  virtual bool HitTest(const gx::TGXFrustum& volume);

  // ---- links ----

  // Null clears the link. Otherwise the link target becomes the target's ID, the offset the
  // difference of the world positions carried into the target's frame, and the rotation this
  // entity's world rotation followed by the inverse of the target's. Both nodes' world values
  // must be up to date.
  void SetLinkTarget(TRREntity* target);

  // ---- tree ----

  // The last entity met walking from this node up through its parents (itself when no entity
  // contains it): the top-level entity a click on it selects.
  TRREntity* OutermostEntity();
  const TRREntity* OutermostEntity() const { return const_cast<TRREntity*>(this)->OutermostEntity(); }
  // This entity or an entity above it is selected.
  bool IsSelectedOrInSelected() const;
  // The child nodes that are entities, in child order.
  std::vector<TRREntity*> ChildEntities() const;

  // ---- fields ----

  IRREntityManager* Manager() const { return FManager; }
  // Hides the node's SetName so that the manager's name index follows every rename of an entity;
  // entities are renamed through this (a TRREntity pointer), never through their node base.
  void SetName(std::string name);
  int32_t ID() const { return FID; }
  const gx::TGXGuid& AssetID() const { return FAssetID; }
  bool Selected() const { return FSelected; }
  // Set from the start of destruction on: a destroying entity is never selected again nor chosen
  // as camera.
  bool EntityDestroying() const { return FDestroying || Destroying(); }
  const gx::TGXVector3& Pivot() const { return FPivot; }
  void SetPivot(const gx::TGXVector3& v) { FPivot = v; }
  const std::string& DescriptionText() const { return FDescriptionText; }
  void SetDescriptionText(std::string text) { FDescriptionText = std::move(text); }
  bool Locked() const { return FLocked; }
  void SetLocked(bool value) { FLocked = value; }
  int32_t LinkTarget() const { return FLinkTarget; }
  const gx::TGXVector3& LinkOffset() const { return FLinkOffset; }
  const gx::TGXQuaternion& LinkRotation() const { return FLinkRotation; }
  const std::vector<gx::TGXRef<gx::TGXSceneObject>>& SelectionBorders() const { return FSelectionBorders; }

 protected:
  // Whether the kind's Animate does more than follow the link. A kind that adds nothing to it
  // answers false (and must answer true again where a derived kind overrides Animate).
  virtual bool AnimatesItself() const { return true; }

  // For subclasses whose destructor must already count as destruction (before the base runs).
  void BeginDestruction() { FDestroying = true; }
  void FreeSelectionBorders();

 private:
  bool FSelected = false;
  bool FDestroying = false;
  bool FRegistered = false;
  gx::TGXGuid FAssetID;
  IRREntityManager* FManager;
  int32_t FID = 0;
  gx::TGXVector3 FPivot{0, 0, 0};
  std::string FDescriptionText;
  int32_t FLinkTarget = 0;
  gx::TGXVector3 FLinkOffset{0, 0, 0};
  gx::TGXQuaternion FLinkRotation{0, 0, 0, 1};
  std::vector<gx::TGXRef<gx::TGXSceneObject>> FSelectionBorders;
  bool FLocked = false;
};

}  // namespace rr
