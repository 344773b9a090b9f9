#pragma once
// TRREntityList: entities in an order, not owned. TRREntitySelection: the manager's selection.
// Additions and removals are bracketed: BeginUpdate/EndUpdate nest, and the project hears of a
// change once, when the outermost bracket closes (whether or not anything changed); outside a
// bracket every single change is reported. Selected entities know it (Select/Deselect), so the
// selection boxes appear and disappear with membership.

#include <cstdint>
#include <vector>

#include "engine/core/GXGeometry.h"
#include "engine/core/GXMath.h"

namespace rr {

class TRREntity;
class TRREntityManager;

class TRREntityList {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  bool Empty() const { return FItems.empty(); }
  TRREntity* Item(int index) const { return FItems.at(static_cast<size_t>(index)); }
  TRREntity* First() const { return FItems.empty() ? nullptr : FItems.front(); }
  int IndexOf(const TRREntity* entity) const;
  bool Contains(const TRREntity* entity) const { return IndexOf(entity) >= 0; }
  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }
  // Plain list operations (the selection adds Select/Deselect and notifications on top).
  void Append(TRREntity* entity) { FItems.push_back(entity); }
  bool RemoveItem(const TRREntity* entity);

 protected:
  std::vector<TRREntity*> FItems;
};

class TRREntitySelection : public TRREntityList {
 public:
  explicit TRREntitySelection(TRREntityManager* manager) : FManager(manager) {}
  TRREntitySelection(const TRREntitySelection&) = delete;
  TRREntitySelection& operator=(const TRREntitySelection&) = delete;

  void BeginUpdate() { ++FUpdateCount; }
  // Reports the change when the counter returns to 0.
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

  // Adds the entity unless it is null, already selected or being destroyed.
  void Add(TRREntity* entity);
  // Removes it if selected.
  void Remove(TRREntity* entity);
  void Clear();
  // The IDs in selection order.
  std::vector<int32_t> IDs() const;

  // Mean of the world positions of the pivots; zero when empty.
  gx::TGXVector3 Centre() const;
  // A single entity's world position, else Centre.
  gx::TGXVector3 Position() const;
  void MoveTo(const gx::TGXVector3& point);
  void Translate(const gx::TGXVector3& delta);
  // About Centre in world space; accumulates for several entities.
  void Rotate(const gx::TGXQuaternion& rotation);
  gx::TGXQuaternion GetRotation() const;
  void SetRotation(const gx::TGXQuaternion& q);
  gx::TGXVector3 GetScale() const;
  void SetScale(const gx::TGXVector3& v);
  gx::TGXBoundingBox GetBounds() const;
  void UpdateAll();
  void RelinkAll();

 private:
  void Changed();

  TRREntityManager* FManager;
  int FUpdateCount = 0;
  gx::TGXQuaternion FRotation{0, 0, 0, 1};
};

}  // namespace rr
