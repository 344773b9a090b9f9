#pragma once
// A street piece: a model whose road ends (contacts) snap together like track ends. Each contact
// has a position in the street model's space and an angle about the vertical axis; its forward
// direction, (1, 0, 0) turned by the angle, points out of the road end.
//
// Description payload (after the model payload): Integer version (1), Integer contact count, per
// contact Integer version (1), position (3 Singles) and angle (Single). The count is checked
// against the bytes left (20 per contact) before anything is allocated; a contact of another
// version raises before its fields are read; a non-finite position or angle reads as 0.
//
// Snap: the pair of an own contact and a contact of another street (not this street, nor one in
// the same outermost entity) whose world positions lie closest together, closer than 3 units at
// every scale. The answer turns the street so that its contact faces the other one (forwards
// opposite, up directions on the same side) and moves it so the contact points coincide.

#include <cstdint>
#include <memory>
#include <vector>

#include "app/entities/RRModel.h"

namespace rr {

class TRRRegisteredEntityList;

inline constexpr const char* RRKindStreet = "{65599099-5EBC-4239-A867-8BD70694D6C2}";
inline constexpr int32_t RRStreetDescVersion = 1;
inline constexpr int32_t RRStreetContactVersion = 1;
// Contacts farther apart than this (squared: 9) do not snap.
inline constexpr float RRStreetSnapDistance = 3.0f;

struct TRRStreetContactDesc {
  gx::TGXVector3 Position;
  float Angle = 0;
};

class TRRStreetDesc : public TRRModelDesc {
  RR_DESCRIPTION_CLASS()

 public:
  void LoadFromStream(gx::TGXStream& s) override;
  void SaveToStream(gx::TGXStream& s) const override;
  // The model's part and, from another street description, the contacts.
  void AssignFrom(const TRREntityDescription& other) override;

  std::vector<TRRStreetContactDesc> Contacts;
};

class TRRStreet;

// A road end of a placed street, in the street's model space.
struct TRRStreetContact {
  TRRStreet* Street = nullptr;
  gx::TGXVector3 Position;
  float Angle = 0;
  gx::TGXVector3 Forward{1, 0, 0};
  gx::TGXVector3 Up{0, 1, 0};
  gx::TGXVector3 Side{0, 0, 1};
};

class TRRStreet : public TRRModel {
  RR_ENTITY_CLASS()

 public:
  TRRStreet(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description);
  static void RegisterKinds(TRRRegisteredEntityList& list);

  std::unique_ptr<TRREntityDescription> CreateDescription() const override;
  // position and rotation are world values; the answer is always acceptable.
  bool Snap(bool& snapped, gx::TGXVector3& position, gx::TGXQuaternion& rotation) override;

  const std::vector<TRRStreetContact>& Contacts() const { return FContacts; }
  // The contact's point in world space (its position through the street's world matrix).
  gx::TGXVector3 ContactWorldPosition(const TRRStreetContact& contact) const;

 private:
  std::vector<TRRStreetContact> FContacts;
};

// The placement (world position and rotation) that puts own's street so that own faces foreign:
// own's forward opposite foreign's, own's up kept on its side, the two points together. own's
// offset is scaled by worldScale, the street's scale in world space.
void RRStreetSnapTransform(const TRRStreetContact& own, const gx::TGXQuaternion& ownStreetRotation,
                           const gx::TGXVector3& worldScale, const gx::TGXVector3& foreignPoint,
                           const gx::TGXVector3& foreignForward, gx::TGXVector3& position,
                           gx::TGXQuaternion& rotation);

}  // namespace rr
