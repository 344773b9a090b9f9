#pragma once
// The kind registry: which entity class and which description class a kind GUID stands for.
// Files name kinds only by these GUIDs. A class may be registered under several kinds (the track
// piece keeps the GUIDs of its former classes); the first registered kind of a class is the one
// written.
//
// RegisteredEntities() is the program's one list, created on first use and freed at exit. It is
// filled by RRRegisterEntityKinds (RREntityRegistry.cpp), which calls the registration function
// of every kind the program has. Each kind's unit provides that function and the kind adds its
// one line there when it is built; static initialisers would be dropped by the linker from a
// static library whose object files nothing references.

#include <stdexcept>
#include <string_view>
#include <vector>

#include "app/entities/RREntity.h"
#include "app/entities/RREntityDescription.h"
#include "engine/core/GXGuid.h"

namespace rr {

// Registering a kind GUID twice: "Duplicate registered entity." (a programming error).
class EDuplicateRegisteredEntity : public std::logic_error {
 public:
  EDuplicateRegisteredEntity() : std::logic_error("Duplicate registered entity.") {}
};

struct TRRRegisteredEntity {
  gx::TGXGuid Kind;
  const TRREntityClass* EntityClass;
  const TRRDescriptionClass* DescriptionClass;
};

class TRRRegisteredEntityList {
 public:
  // Raises EDuplicateRegisteredEntity when the kind is registered already.
  void Register(const gx::TGXGuid& kind, const TRREntityClass& entityClass, const TRRDescriptionClass& descriptionClass);
  // Null when nothing is registered under the kind.
  const TRRRegisteredEntity* FindByKind(const gx::TGXGuid& kind) const;
  // The first entry of exactly that class (no subclass matching), or null.
  const TRRRegisteredEntity* FindByEntityClass(const TRREntityClass& entityClass) const;
  const TRRRegisteredEntity* FindByDescriptionClass(const TRRDescriptionClass& descriptionClass) const;
  // The registered description class with that name (exact), or null. The old property bag names
  // classes by text.
  const TRRDescriptionClass* FindDescriptionClass(std::string_view name) const;

  int Count() const { return static_cast<int>(FItems.size()); }
  const TRRRegisteredEntity& Item(int index) const { return FItems.at(static_cast<size_t>(index)); }

 private:
  std::vector<TRRRegisteredEntity> FItems;
};

// Fills list with every kind of the program.
void RRRegisterEntityKinds(TRRRegisteredEntityList& list);
// The program's registry, filled on first use.
TRRRegisteredEntityList& RegisteredEntities();

}  // namespace rr
