#include "app/entities/RREntityDescription.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/entities/RREntityRegistry.h"
#include "app/entities/RREntity_10.h"
#include "engine/core/GXException.h"

namespace rr {

// ---- class records ----

bool TRRDescriptionClass::InheritsFrom(const TRRDescriptionClass& other) const {
  for (const TRRDescriptionClass* c = this; c; c = c->Parent)
    if (c == &other) return true;
  return false;
}

TRREntityDescription* TRRDescriptionClass::Create(TRREntityDescription* parent) const {
  auto d = Construct();
  return parent ? parent->AddChild(std::move(d)) : d.release();
}

const TRRDescriptionClass& TRREntityDescription::StaticClass() {
  static const TRRDescriptionClass info{"TRREntityDescription", nullptr,
                                        []() { return std::make_unique<TRREntityDescription>(); }};
  return info;
}

// ---- property access ----

std::unique_ptr<TRRPropertyAccess> TRRPropertyAccessList::Extract(int index) {
  auto item = std::move(FItems.at(static_cast<size_t>(index)));
  FItems.erase(FItems.begin() + index);
  return item;
}

// ---- payload ----

TRREntityDescription::~TRREntityDescription() = default;

namespace {

// The fixed fields behind the texts move as one block (one stream call instead of one per value).
// Version 1 ends after visible; version 2 adds the link fields.
constexpr int kFixedSize1 = 1 + 12 + 12 + 16 + 12 + 1;
constexpr int kFixedSize2 = kFixedSize1 + 4 + 12 + 16;

struct TBlockReader {
  const uint8_t* P;
  uint32_t Cardinal() {
    uint32_t v = uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
    P += 4;
    return v;
  }
  float Single() {
    uint32_t bits = Cardinal();
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
  }
  bool Boolean() { return *P++ != 0; }
  gx::TGXVector3 Vector3() {
    gx::TGXVector3 v;
    v.x = Single(), v.y = Single(), v.z = Single();
    return v;
  }
  gx::TGXQuaternion Quaternion() {
    gx::TGXQuaternion q;
    q.x = Single(), q.y = Single(), q.z = Single(), q.w = Single();
    return q;
  }
};

struct TBlockWriter {
  uint8_t* P;
  void Cardinal(uint32_t v) {
    for (int i = 0; i < 4; ++i) *P++ = static_cast<uint8_t>(v >> (8 * i));
  }
  void Single(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    Cardinal(bits);
  }
  void Boolean(bool b) { *P++ = b ? 1 : 0; }
  void Vector3(const gx::TGXVector3& v) { Single(v.x), Single(v.y), Single(v.z); }
  void Quaternion(const gx::TGXQuaternion& q) { Single(q.x), Single(q.y), Single(q.z), Single(q.w); }
};

thread_local int GRepairedValues = 0;

bool Finite(const gx::TGXVector3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}
bool Finite(const gx::TGXQuaternion& q) {
  return std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) && std::isfinite(q.w);
}
void Repair(gx::TGXVector3& v, float fallback) {
  if (Finite(v)) return;
  for (float* c : {&v.x, &v.y, &v.z})
    if (!std::isfinite(*c)) *c = fallback;
  ++GRepairedValues;
}
void Repair(gx::TGXQuaternion& q) {
  if (Finite(q)) return;
  q = {0, 0, 0, 1};
  ++GRepairedValues;
}

}  // namespace

int RRRepairedDescriptionValues() { return GRepairedValues; }

void TRREntityDescription::RepairNonFiniteValues() {
  Repair(FPivot, 0);
  Repair(FPosition, 0);
  Repair(FRotation);
  Repair(FScale, 1);
  Repair(FLinkOffset, 0);
  Repair(FLinkRotation);
}

void TRREntityDescription::LoadFromStream(gx::TGXStream& s) {
  int32_t version = gx::ReadInteger(s);
  if (version < 1 || version > RRDescriptionVersion) throw EUnknownEntityDescription();
  FAssetID = gx::ReadGuid(s);
  FCataloguePath = gx::ReadAnsiString(s);
  FID = gx::ReadInteger(s);
  FName.ReadLocalized(s);
  FDescription.ReadLocalized(s);
  uint8_t fixed[kFixedSize2];
  s.ReadBuffer(fixed, version >= 2 ? kFixedSize2 : kFixedSize1);
  TBlockReader r{fixed};
  FLocked = r.Boolean();
  FPivot = r.Vector3();
  FPosition = r.Vector3();
  FRotation = r.Quaternion();
  FScale = r.Vector3();
  FVisible = r.Boolean();
  if (version >= 2) {
    FLinkTarget = static_cast<int32_t>(r.Cardinal());
    FLinkOffset = r.Vector3();
    FLinkRotation = r.Quaternion();
  }
  RepairNonFiniteValues();
}

void TRREntityDescription::SaveToStream(gx::TGXStream& s) const {
  gx::WriteInteger(s, RRDescriptionVersion);
  gx::WriteGuid(s, FAssetID);
  gx::WriteAnsiString(s, FCataloguePath);
  gx::WriteInteger(s, FID);
  FName.WriteLocalized(s);
  FDescription.WriteLocalized(s);
  uint8_t fixed[kFixedSize2];
  TBlockWriter w{fixed};
  w.Boolean(FLocked);
  w.Vector3(FPivot);
  w.Vector3(FPosition);
  w.Quaternion(FRotation);
  w.Vector3(FScale);
  w.Boolean(FVisible);
  w.Cardinal(static_cast<uint32_t>(FLinkTarget));
  w.Vector3(FLinkOffset);
  w.Quaternion(FLinkRotation);
  s.WriteBuffer(fixed, kFixedSize2);
}

void TRREntityDescription::GetPropertyAccess(TRRPropertyAccessList& list) {
  list.Add<TRREntityIDRefAccess>(FLinkTarget);
}

void TRREntityDescription::AssignFrom(const TRREntityDescription& other) {
  FDescription = other.FDescription;
}

void TRREntityDescription::LoadFromPropertyBag(const TRREntityDescription_10& bag,
                                               std::string& modelFileName) {
  modelFileName.clear();
  if (const TRREntityProperty_10* id = bag.FindPropertyOfType(TRREntityPropertyType_10::ID))
    id->GetInteger(FID);
  std::string text;
  if (bag.GetString("Name", text)) FName.SetText(gx::GX_LANG_GERMAN, text);
  if (bag.GetString("Description", text)) FDescription.SetText(gx::GX_LANG_GERMAN, text);
  bag.GetBoolean("Locked", FLocked);
  bag.GetVector3("Pivot", FPivot);
  bag.GetVector3("Position", FPosition);
  bag.GetVector3("Scale", FScale);
  bag.GetQuaternion("Rotation", FRotation);
  RepairNonFiniteValues();
}

// ---- tree ----

TRREntityDescription* TRREntityDescription::AddChild(std::unique_ptr<TRREntityDescription>&& child) {
  if (!child || child->FParent)
    throw gx::EInvalidParameter(
        {gx::TGXExceptionArg::Object(GetClass().Name), "AddChild", "Child has a parent"});
  for (const TRREntityDescription* d = this; d; d = d->FParent)
    if (d == child.get())
      throw gx::EInvalidParameter(
          {gx::TGXExceptionArg::Object(GetClass().Name), "AddChild", "Child is an ancestor"});
  child->FParent = this;
  FChildren.push_back(std::move(child));
  return FChildren.back().get();
}

std::unique_ptr<TRREntityDescription> TRREntityDescription::ExtractChild(TRREntityDescription* child) {
  auto it =
      std::find_if(FChildren.begin(), FChildren.end(), [child](const auto& c) { return c.get() == child; });
  if (it == FChildren.end()) return nullptr;
  auto owned = std::move(*it);
  FChildren.erase(it);
  owned->FParent = nullptr;
  return owned;
}

void TRREntityDescription::ClearChildren() {
  // Detach first so that a child's destructor never sees a half-cleared parent.
  auto children = std::move(FChildren);
  FChildren.clear();
  for (auto& c : children) c->FParent = nullptr;
}

std::unique_ptr<TRREntityDescription> TRREntityDescription::Clone() const {
  gx::TGXMemoryStream stream;
  WriteRecord(*this, stream);
  stream.SetPosition(0);
  return ReadRecord(stream);
}

void TRREntityDescription::CollectByClass(const TRRDescriptionClass& cls, TRREntityDescriptionList& list) {
  for (auto& c : FChildren) {
    if (c->GetClass().InheritsFrom(cls)) list.Add(c.get());
    c->CollectByClass(cls, list);
  }
}

void TRREntityDescription::RemoveFixed() {
  std::erase_if(FChildren, [](const std::unique_ptr<TRREntityDescription>& c) { return c->IsFixed(); });
  for (auto& c : FChildren) c->RemoveFixed();
}

// ---- records ----

void TRREntityDescription::WriteRecord(const TRREntityDescription& description, gx::TGXStream& s) {
  const TRRRegisteredEntity* entry = RegisteredEntities().FindByDescriptionClass(description.GetClass());
  if (!entry)
    throw EUnknownEntityClass(std::string(RRTextUnknownDescriptionClass) + description.GetClass().Name);
  gx::WriteGuid(s, entry->Kind);
  description.SaveToStream(s);
  gx::WriteInteger(s, description.ChildCount());
  for (const auto& c : description.FChildren) WriteRecord(*c, s);
}

namespace {

std::unique_ptr<TRREntityDescription> ReadRecordAt(gx::TGXStream& s, int depth) {
  if (depth > RRMaxDescriptionDepth)
    throw gx::EGXException({gx::TGXExceptionArg::Object("TRREntityDescription"), "ReadRecord",
                            "Nesting deeper than " + std::to_string(RRMaxDescriptionDepth)});
  gx::TGXGuid kind = gx::ReadGuid(s);
  const TRRRegisteredEntity* entry = RegisteredEntities().FindByKind(kind);
  if (!entry) throw EUnknownEntityClass(RRTextUnknownDescriptionClass + kind.ToString());
  std::unique_ptr<TRREntityDescription> description = entry->DescriptionClass->Create();
  description->LoadFromStream(s);
  int32_t count = gx::ReadCount(s, RRMinDescriptionRecordSize);
  // A child that fails takes the whole description with it (the unique_ptr frees what was read).
  for (int32_t i = 0; i < count; ++i) description->AddChild(ReadRecordAt(s, depth + 1));
  return description;
}

}  // namespace

std::unique_ptr<TRREntityDescription> TRREntityDescription::ReadRecord(gx::TGXStream& s) {
  return ReadRecordAt(s, 0);
}

TRREntityDescription* TRREntityDescription::ReadRecord(TRREntityDescription* parent, gx::TGXStream& s) {
  if (!parent)
    throw gx::EInvalidParameter(
        {gx::TGXExceptionArg::Object("TRREntityDescription"), "ReadRecord", "No parent"});
  int depth = 0;
  for (const TRREntityDescription* d = parent; d; d = d->FParent) ++depth;
  return parent->AddChild(ReadRecordAt(s, depth));
}

// ---- list ----

void TRREntityDescriptionList::Add(TRREntityDescription* description) {
  if (FOwnsItems && description && description->Parent())
    throw gx::EInvalidParameter(
        {gx::TGXExceptionArg::Object("TRREntityDescriptionList"), "Add", "Item has a parent"});
  FItems.push_back(description);
}

void TRREntityDescriptionList::Add(std::unique_ptr<TRREntityDescription> description) {
  // A list that does not own its items would keep a pointer to a freed description.
  if (!FOwnsItems)
    throw gx::EInvalidCall(
        {gx::TGXExceptionArg::Object("TRREntityDescriptionList"), "Add", "List does not own its items"});
  Add(description.get());
  description.release();
}

int TRREntityDescriptionList::IndexOf(const TRREntityDescription* description) const {
  auto it = std::find(FItems.begin(), FItems.end(), description);
  return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

void TRREntityDescriptionList::Delete(int index) {
  TRREntityDescription* d = Extract(index);
  if (FOwnsItems) delete d;
}

TRREntityDescription* TRREntityDescriptionList::Extract(int index) {
  TRREntityDescription* d = FItems.at(static_cast<size_t>(index));
  FItems.erase(FItems.begin() + index);
  return d;
}

void TRREntityDescriptionList::Clear() {
  auto items = std::move(FItems);
  FItems.clear();
  if (FOwnsItems)
    for (auto* d : items) delete d;
}

}  // namespace rr
