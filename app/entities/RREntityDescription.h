#pragma once
// TRREntityDescription: the plain data from which an entity is built and into which it is turned
// back. The catalogue offers descriptions, project and object files store them, the clipboard and
// the undo history keep them as snapshots. A description owns its child descriptions.
//
// Description record (the form in files, little-endian throughout):
//   kind GUID (16 bytes) - the registered kind of the description's class (RREntityRegistry.h);
//   payload            - SaveToStream: the base payload, then each subclass's own fields;
//   child count        - Integer;
//   children           - that many records.
// Base payload: Integer version (2 is written; 1 and 2 are read), asset GUID, catalogue path
// (8-bit string), ID, name and description (texts per language), locked (byte), pivot,
// position, rotation (x, y, z, w), scale, visible (byte); version 2 adds link target (Integer),
// link offset and link rotation. A version-1 record leaves the link fields as constructed.
//
// Reading is defensive: every count is checked against the bytes that remain before anything is
// allocated, nesting is limited to RRMaxDescriptionDepth levels, an unknown kind or version raises
// before a byte of its payload is interpreted, and a description that fails half-way is freed
// together with what it had read - it never stays behind in its parent.
//
// Class identity: every description class names itself through a TRRDescriptionClass record
// (RR_DESCRIPTION_CLASS / RR_DEFINE_DESCRIPTION_CLASS), which gives the registry exact-class
// lookups, CollectByClass its subclass test and the reader a way to construct by kind.
//
// Seams for later parts of the program: IsFixed is answered by the light and camera descriptions
// when those kinds exist; LoadFromPropertyBag is where each kind reads its own old-format keys;
// GetPropertyAccess is where each kind exposes its ID references and file names.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/entities/RRAssetFileName.h"
#include "engine/core/GXGuid.h"
#include "engine/core/GXMath.h"
#include "engine/core/GXSerialization.h"
#include "engine/core/GXStream.h"

namespace rr {

class TRREntityDescription;
class TRREntityDescription_10;
class TRREntityDescriptionList;

// ---- errors ----

// A kind GUID no class is registered for (reading), or a class without a registered kind
// (writing): "Unknown description class: {GUID}" or "Unknown description class: TRRSomeDesc".
class EUnknownEntityClass : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A payload version the reader does not know: "Unsupported description version.".
class EUnknownEntityDescription : public std::runtime_error {
 public:
  EUnknownEntityDescription() : std::runtime_error("Unsupported description version.") {}
};

inline constexpr const char* RRTextUnknownDescriptionClass = "Unknown description class: ";

// How many placement values the readers of this thread have repaired so far (see
// TRREntityDescription::RepairNonFiniteValues); a load compares it before and after to report
// the repairs once.
int RRRepairedDescriptionValues();

// The version of the base payload that is written; versions 1 and 2 are read.
inline constexpr int32_t RRDescriptionVersion = 2;
// Records nested deeper than this are refused (a layout nests groups a few levels deep; the limit
// keeps the recursive reader's stack bounded on hostile input).
inline constexpr int RRMaxDescriptionDepth = 256;
// The smallest record: kind, a version-1 base payload with empty strings and texts, child count.
inline constexpr int64_t RRMinDescriptionRecordSize = 16 + 90 + 4;

// ---- class records ----

struct TRRDescriptionClass {
  const char* Name;
  const TRRDescriptionClass* Parent;  // null for TRREntityDescription
  std::unique_ptr<TRREntityDescription> (*Construct)();

  // True for the class itself and every class derived from other.
  bool InheritsFrom(const TRRDescriptionClass& other) const;
  // A new description without parent, or appended to parent (which then owns it).
  std::unique_ptr<TRREntityDescription> Create() const { return Construct(); }
  TRREntityDescription* Create(TRREntityDescription* parent) const;
};

// In the class body of every description class (after the opening brace).
#define RR_DESCRIPTION_CLASS()                           \
 public:                                                 \
  static const ::rr::TRRDescriptionClass& StaticClass(); \
  const ::rr::TRRDescriptionClass& GetClass() const override { return StaticClass(); }

// Once per description class in its .cpp, inside namespace rr.
#define RR_DEFINE_DESCRIPTION_CLASS(ThisClass, ParentClass)                                             \
  const ::rr::TRRDescriptionClass& ThisClass::StaticClass() {                                           \
    static const ::rr::TRRDescriptionClass info{                                                        \
        #ThisClass, &ParentClass::StaticClass(),                                                        \
        []() -> std::unique_ptr<::rr::TRREntityDescription> { return std::make_unique<ThisClass>(); }}; \
    return info;                                                                                        \
  }

// ---- property access ----

// Uniform access to the fields of a description that refer to something outside it: entity IDs
// (renumbered on load and paste) and file names (made relative on save, collected for packages).
// An accessor points into its description and is valid while the description lives.
class TRRPropertyAccess {
 public:
  virtual ~TRRPropertyAccess() = default;
};

class TRREntityIDRefAccess : public TRRPropertyAccess {
 public:
  explicit TRREntityIDRefAccess(int32_t& field) : FField(&field) {}
  int32_t Value() const { return *FField; }
  void SetValue(int32_t id) { *FField = id; }

 private:
  int32_t* FField;
};

class TRRAssetFileNameAccess : public TRRPropertyAccess {
 public:
  explicit TRRAssetFileNameAccess(TRRAssetFileName& field) : FField(&field) {}
  TRRAssetFileName& Value() const { return *FField; }

 private:
  TRRAssetFileName* FField;
};

class TRRModelFileNameAccess : public TRRPropertyAccess {
 public:
  explicit TRRModelFileNameAccess(TRRModelFileName& field) : FField(&field) {}
  TRRModelFileName& Value() const { return *FField; }

 private:
  TRRModelFileName* FField;
};

// Owns its accessors; Extract hands one over (the ID renumbering keeps the ID accessors).
class TRRPropertyAccessList {
 public:
  template <class T, class... Args>
  T* Add(Args&&... args) {
    FItems.push_back(std::make_unique<T>(std::forward<Args>(args)...));
    return static_cast<T*>(FItems.back().get());
  }
  int Count() const { return static_cast<int>(FItems.size()); }
  TRRPropertyAccess* Item(int index) const { return FItems.at(static_cast<size_t>(index)).get(); }
  std::unique_ptr<TRRPropertyAccess> Extract(int index);
  // The accessors of one kind, in list order.
  template <class T>
  std::vector<T*> OfType() const {
    std::vector<T*> out;
    for (const auto& a : FItems)
      if (auto* t = dynamic_cast<T*>(a.get())) out.push_back(t);
    return out;
  }

 private:
  std::vector<std::unique_ptr<TRRPropertyAccess>> FItems;
};

// ---- the description ----

class TRREntityDescription {
 public:
  // Rotation and link rotation (0, 0, 0, 1), scale (1, 1, 1), visible, no parent, no children.
  TRREntityDescription() = default;
  virtual ~TRREntityDescription();
  TRREntityDescription(const TRREntityDescription&) = delete;
  TRREntityDescription& operator=(const TRREntityDescription&) = delete;

  static const TRRDescriptionClass& StaticClass();
  virtual const TRRDescriptionClass& GetClass() const { return StaticClass(); }
  template <class T>
  bool Is() const {
    return GetClass().InheritsFrom(T::StaticClass());
  }

  // ---- virtual operations ----

  // The payload of this class (subclasses read and write the inherited payload first). A
  // version outside 1..2 raises EUnknownEntityDescription before anything else is read.
  virtual void LoadFromStream(gx::TGXStream& s);
  virtual void SaveToStream(gx::TGXStream& s) const;
  // Appends one accessor per field that refers outside the description; the base: link target.
  virtual void GetPropertyAccess(TRRPropertyAccessList& list);
  // Takes the catalogue-defined data of another description of the same kind (when the catalogue
  // entry of placed entities is exchanged). The base copies the description text.
  virtual void AssignFrom(const TRREntityDescription& other);
  // Fills fields from a node of the old property bag. The base reads the ID (first ID property),
  // "Name" and "Description" (German texts), "Locked", "Pivot", "Position", "Rotation", "Scale";
  // a missing key or one of another type leaves the field as it is. modelFileName names the
  // model file (without folder) the old-format reader looks the asset up by; the base clears it.
  virtual void LoadFromPropertyBag(const TRREntityDescription_10& bag, std::string& modelFileName);
  // Non-finite numbers in the placement (a damaged or hand-made file) would spread through every
  // transform and be written back: pivot, position and link offset components become 0, scale
  // components 1, a rotation with any non-finite component the identity. Both readers call it;
  // each repaired value counts in RRRepairedDescriptionValues.
  void RepairNonFiniteValues();
  // A fixed description (the light, a predefined camera) cannot be deleted, copied, exported or
  // grouped. The base answers false; those kinds answer for themselves.
  virtual bool IsFixed() const { return false; }

  // ---- tree ----

  TRREntityDescription* Parent() const { return FParent; }
  int ChildCount() const { return static_cast<int>(FChildren.size()); }
  // A bad index raises std::out_of_range.
  TRREntityDescription* Child(int index) const { return FChildren.at(static_cast<size_t>(index)).get(); }
  // Takes ownership and appends; returns the child. The child must be a root (ExtractChild it from
  // its former parent first) and neither this description nor one of its ancestors; otherwise
  // EInvalidParameter is raised and the child stays with the caller.
  TRREntityDescription* AddChild(std::unique_ptr<TRREntityDescription>&& child);
  // Removes the child without freeing it; null when it is not a child of this description.
  std::unique_ptr<TRREntityDescription> ExtractChild(TRREntityDescription* child);
  void ClearChildren();

  // An independent deep copy without parent, made through the record form (so it is exactly what
  // a save and load would give). Raises EUnknownEntityClass for an unregistered class.
  std::unique_ptr<TRREntityDescription> Clone() const;
  // Appends every descendant (not this description) of the class or a subclass, depth first,
  // each child before its own descendants.
  void CollectByClass(const TRRDescriptionClass& cls, TRREntityDescriptionList& list);
  // Deletes every fixed description below this one (with its subtree); looks into the others.
  void RemoveFixed();

  // ---- records ----

  static void WriteRecord(const TRREntityDescription& description, gx::TGXStream& s);
  // A description read from its record, without parent.
  static std::unique_ptr<TRREntityDescription> ReadRecord(gx::TGXStream& s);
  // The same, appended to parent once it is read completely (null parent: raises
  // EInvalidParameter; use the other form). On failure nothing is appended.
  static TRREntityDescription* ReadRecord(TRREntityDescription* parent, gx::TGXStream& s);

  // ---- fields ----

  const gx::TGXGuid& AssetID() const { return FAssetID; }
  void SetAssetID(const gx::TGXGuid& id) { FAssetID = id; }
  const std::string& CataloguePath() const { return FCataloguePath; }
  void SetCataloguePath(std::string path) { FCataloguePath = std::move(path); }
  int32_t ID() const { return FID; }
  void SetID(int32_t id) { FID = id; }
  gx::TGXLocalizedString& Name() { return FName; }
  const gx::TGXLocalizedString& Name() const { return FName; }
  gx::TGXLocalizedString& Description() { return FDescription; }
  const gx::TGXLocalizedString& Description() const { return FDescription; }
  bool Locked() const { return FLocked; }
  void SetLocked(bool value) { FLocked = value; }
  const gx::TGXVector3& Pivot() const { return FPivot; }
  void SetPivot(const gx::TGXVector3& v) { FPivot = v; }
  const gx::TGXVector3& Position() const { return FPosition; }
  void SetPosition(const gx::TGXVector3& v) { FPosition = v; }
  const gx::TGXQuaternion& Rotation() const { return FRotation; }
  void SetRotation(const gx::TGXQuaternion& q) { FRotation = q; }
  const gx::TGXVector3& Scale() const { return FScale; }
  void SetScale(const gx::TGXVector3& v) { FScale = v; }
  // Stored and copied; what it means is up to the kinds.
  bool Visible() const { return FVisible; }
  void SetVisible(bool value) { FVisible = value; }
  // The entity this one follows (0 = none), with the offset in the target's frame and the
  // rotation relative to it (see TRREntity::SetLinkTarget).
  int32_t LinkTarget() const { return FLinkTarget; }
  void SetLinkTarget(int32_t id) { FLinkTarget = id; }
  const gx::TGXVector3& LinkOffset() const { return FLinkOffset; }
  void SetLinkOffset(const gx::TGXVector3& v) { FLinkOffset = v; }
  const gx::TGXQuaternion& LinkRotation() const { return FLinkRotation; }
  void SetLinkRotation(const gx::TGXQuaternion& q) { FLinkRotation = q; }

 private:
  TRREntityDescription* FParent = nullptr;
  std::vector<std::unique_ptr<TRREntityDescription>> FChildren;
  gx::TGXGuid FAssetID;
  std::string FCataloguePath;
  int32_t FID = 0;
  gx::TGXLocalizedString FName;
  gx::TGXLocalizedString FDescription;
  bool FLocked = false;
  gx::TGXVector3 FPivot{0, 0, 0};
  gx::TGXVector3 FPosition{0, 0, 0};
  gx::TGXQuaternion FRotation{0, 0, 0, 1};
  gx::TGXVector3 FScale{1, 1, 1};
  bool FVisible = true;
  int32_t FLinkTarget = 0;
  gx::TGXVector3 FLinkOffset{0, 0, 0};
  gx::TGXQuaternion FLinkRotation{0, 0, 0, 1};
};

// An ordered list of descriptions that either owns its items (frees them with itself) or not, as
// its creator says. An owning list only takes descriptions without parent.
class TRREntityDescriptionList {
 public:
  explicit TRREntityDescriptionList(bool ownsItems) : FOwnsItems(ownsItems) {}
  ~TRREntityDescriptionList() { Clear(); }
  TRREntityDescriptionList(const TRREntityDescriptionList&) = delete;
  TRREntityDescriptionList& operator=(const TRREntityDescriptionList&) = delete;

  bool OwnsItems() const { return FOwnsItems; }
  // An owning list takes ownership.
  void Add(TRREntityDescription* description);
  // Only for an owning list (EInvalidCall otherwise).
  void Add(std::unique_ptr<TRREntityDescription> description);
  int Count() const { return static_cast<int>(FItems.size()); }
  TRREntityDescription* Item(int index) const { return FItems.at(static_cast<size_t>(index)); }
  int IndexOf(const TRREntityDescription* description) const;
  // Removes the item; an owning list frees it.
  void Delete(int index);
  // Removes the item and hands it to the caller, who then owns it.
  TRREntityDescription* Extract(int index);
  void Clear();
  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

 private:
  bool FOwnsItems;
  std::vector<TRREntityDescription*> FItems;
};

}  // namespace rr
