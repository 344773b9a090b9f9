#include "app/entities/scenery/RRStreet.h"

#include <cmath>
#include <limits>

#include "app/RREntityManager.h"
#include "app/entities/RREntityRegistry.h"
#include "engine/core/GXGeometry.h"
#include "engine/core/GXSerialization.h"

namespace rr {

using gx::TGXQuaternion;
using gx::TGXVector3;

namespace {

constexpr int64_t kContactRecordSize = 20;  // version, position, angle

float Finite(float v) { return std::isfinite(v) ? v : 0.0f; }

}  // namespace

// ---- description ----

RR_DEFINE_DESCRIPTION_CLASS(TRRStreetDesc, TRRModelDesc)

void TRRStreetDesc::LoadFromStream(gx::TGXStream& s) {
  TRRModelDesc::LoadFromStream(s);
  if (gx::ReadInteger(s) != RRStreetDescVersion) throw EUnknownEntityDescription();
  const int32_t count = gx::ReadCount(s, kContactRecordSize);
  std::vector<TRRStreetContactDesc> contacts(static_cast<size_t>(count));
  for (TRRStreetContactDesc& c : contacts) {
    if (gx::ReadInteger(s) != RRStreetContactVersion) throw EUnknownEntityDescription();
    const TGXVector3 p = gx::ReadVector3(s);
    c.Position = {Finite(p.x), Finite(p.y), Finite(p.z)};
    c.Angle = Finite(gx::ReadSingle(s));
  }
  Contacts = std::move(contacts);
}

void TRRStreetDesc::SaveToStream(gx::TGXStream& s) const {
  TRRModelDesc::SaveToStream(s);
  gx::WriteInteger(s, RRStreetDescVersion);
  gx::WriteInteger(s, static_cast<int32_t>(Contacts.size()));
  for (const TRRStreetContactDesc& c : Contacts) {
    gx::WriteInteger(s, RRStreetContactVersion);
    gx::WriteVector3(s, c.Position);
    gx::WriteSingle(s, c.Angle);
  }
}

void TRRStreetDesc::AssignFrom(const TRREntityDescription& other) {
  TRRModelDesc::AssignFrom(other);
  if (const auto* o = dynamic_cast<const TRRStreetDesc*>(&other); o && o != this) Contacts = o->Contacts;
}

// ---- street ----

RR_DEFINE_ENTITY_CLASS(TRRStreet, TRRModel)

void TRRStreet::RegisterKinds(TRRRegisteredEntityList& list) {
  list.Register(gx::TGXGuid::Parse(RRKindStreet), StaticClass(), TRRStreetDesc::StaticClass());
}

TRRStreet::TRRStreet(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description)
    : TRRModel(parent, manager, description) {
  const auto* d = dynamic_cast<const TRRStreetDesc*>(&description);
  if (!d) return;
  FContacts.reserve(d->Contacts.size());
  for (const TRRStreetContactDesc& c : d->Contacts) {
    TRRStreetContact contact;
    contact.Street = this;
    contact.Position = c.Position;
    contact.Angle = c.Angle;
    const TGXQuaternion turn = gx::GXQuaternionRotationAxis({0, 1, 0}, c.Angle);
    contact.Forward = gx::RotateVector({1, 0, 0}, turn);
    contact.Up = gx::RotateVector({0, 1, 0}, turn);
    contact.Side = gx::RotateVector({0, 0, 1}, turn);
    FContacts.push_back(contact);
  }
}

std::unique_ptr<TRREntityDescription> TRRStreet::CreateDescription() const {
  std::unique_ptr<TRREntityDescription> base = TRRModel::CreateDescription();
  if (auto* d = dynamic_cast<TRRStreetDesc*>(base.get())) {
    d->Contacts.clear();
    for (const TRRStreetContact& c : FContacts) d->Contacts.push_back({c.Position, c.Angle});
  }
  return base;
}

TGXVector3 TRRStreet::ContactWorldPosition(const TRRStreetContact& contact) const {
  return gx::GXVec3TransformCoord(contact.Position, WorldMatrix());
}

bool TRRStreet::Snap(bool& snapped, TGXVector3& position, TGXQuaternion& rotation) {
  snapped = false;
  auto* manager = dynamic_cast<TRREntityManager*>(Manager());
  if (!manager || FContacts.empty()) return true;
  Update(false);
  std::vector<TGXVector3> own;
  own.reserve(FContacts.size());
  for (const TRRStreetContact& c : FContacts) own.push_back(ContactWorldPosition(c));

  const float limit = RRStreetSnapDistance * RRStreetSnapDistance;
  float best = limit;
  const TRRStreetContact* ownBest = nullptr;
  const TRRStreetContact* foreignBest = nullptr;
  const TRREntity* group = OutermostEntity();
  for (TRREntity* e : manager->Streets()) {
    auto* other = static_cast<TRRStreet*>(e);
    if (other == this || other->Contacts().empty() || other->OutermostEntity() == group) continue;
    for (const TRRStreetContact& theirs : other->Contacts()) {
      const TGXVector3 q = other->ContactWorldPosition(theirs);
      for (size_t i = 0; i < own.size(); ++i) {
        const float d = gx::GXVec3LengthSq(own[i] - q);
        if (d < best) {
          best = d;
          ownBest = &FContacts[i];
          foreignBest = &theirs;
        }
      }
    }
  }
  if (!ownBest) return true;
  const TRRStreet& foreign = *foreignBest->Street;
  const TGXVector3 foreignForward = gx::RotateVector(foreignBest->Forward, foreign.WorldRotation());
  TGXVector3 p = position;
  TGXQuaternion r = rotation;
  RRStreetSnapTransform(*ownBest, rotation, WorldScale(), foreign.ContactWorldPosition(*foreignBest),
                        foreignForward, p, r);
  if (!gx::GXIsFinite(p) || !gx::GXIsFinite(r)) return true;
  position = p;
  rotation = r;
  snapped = true;
  return true;
}

void RRStreetSnapTransform(const TRRStreetContact& own, const TGXQuaternion& ownStreetRotation,
                           const TGXVector3& worldScale, const TGXVector3& foreignPoint,
                           const TGXVector3& foreignForward, TGXVector3& position, TGXQuaternion& rotation) {
  // The frame the own contact must have in world space: forward against the other's, up as near
  // the own contact's present up as that allows.
  const TGXVector3 forward = gx::GXVec3Normalize(-foreignForward);
  auto across = [&](const TGXVector3& v) { return v - forward * gx::GXVec3Dot(v, forward); };
  TGXVector3 up = across(gx::RotateVector(own.Up, ownStreetRotation));
  if (gx::GXVec3LengthSq(up) < 1e-6f) up = across(gx::RotateVector(own.Forward, ownStreetRotation));
  if (gx::GXVec3LengthSq(up) < 1e-6f) up = across({0, 1, 0});
  up = gx::GXVec3Normalize(up);
  const TGXVector3 side = gx::GXVec3Cross(forward, up);
  // The contact's axes are the street's turned by the contact angle: contact, then street.
  const TGXQuaternion contactFrame = gx::QuaternionFromAxes(side, up, forward);
  const TGXQuaternion contactTurn = gx::GXQuaternionRotationAxis({0, 1, 0}, own.Angle);
  rotation = gx::GXQuaternionNormalize(gx::QuaternionDifference(contactTurn, contactFrame));
  const TGXVector3 offset{own.Position.x * worldScale.x, own.Position.y * worldScale.y,
                          own.Position.z * worldScale.z};
  position = foreignPoint - gx::RotateVector(offset, rotation);
}

}  // namespace rr
