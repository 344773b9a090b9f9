#pragma once
// Renumbering of descriptions before they become entities of a project (load, import, paste,
// duplicate, drop from the catalogue): every collected description gets a fresh consecutive ID
// and every entity reference inside the collected set follows its target. References to
// entities outside the set are cut (0).
//
// Only positive values are entity references. 0 means "none" and negative values are sentinels
// some references use (-1 "any" or "none"); both are left exactly as they are.
//
// References are resolved through a table from old ID to new ID, so the work grows with the
// number of descriptions plus references. Should two collected descriptions carry the same old
// ID, references follow the later one (each description takes over the references to its old ID
// as it is numbered, so the last one keeps them).

#include <cstdint>
#include <memory>
#include <vector>

#include "app/entities/RREntityDescription.h"

namespace rr {

// The other side of a renumbering: the event manager rewrites its own entity references.
// BeginRemap comes first, then one Remap per renumbered description with a positive old ID, in
// numbering order, then EndRemap.
class IRREntityRemapListener {
 public:
  virtual ~IRREntityRemapListener() = default;
  virtual void BeginRemap() = 0;
  virtual void Remap(int32_t oldID, int32_t newID) = 0;
  virtual void EndRemap() = 0;
};

class TRREntityIDProcessor {
 public:
  // One collected description.
  struct TRRIDDesc {
    TRREntityDescription* Description;
    int32_t OldID;
    // The positive references found, with their accessors (owned).
    std::vector<int32_t> OldRefs;
    std::vector<std::unique_ptr<TRREntityIDRefAccess>> Refs;
  };

  // The description and its descendants, each before its children. Sets their IDs and their
  // positive references to 0 until Assign.
  void Collect(TRREntityDescription& description);
  void CollectList(const TRREntityDescriptionList& list);
  // Numbers the collected descriptions from nextID in collection order and rewrites the
  // references; returns the number of IDs used. Raises EInvalidParameter when the IDs would
  // leave the positive range.
  int32_t Assign(int32_t nextID, IRREntityRemapListener* listener = nullptr);

  int RecordCount() const { return static_cast<int>(FRecords.size()); }
  const TRRIDDesc& Record(int index) const { return *FRecords.at(static_cast<size_t>(index)); }

  static int32_t RenumberDescription(TRREntityDescription& description, int32_t nextID,
                                     IRREntityRemapListener* listener = nullptr);
  static int32_t RenumberList(const TRREntityDescriptionList& list, int32_t nextID,
                              IRREntityRemapListener* listener = nullptr);

 private:
  std::vector<TRREntityDescription*> FCollected;
  std::vector<std::unique_ptr<TRRIDDesc>> FRecords;
};

}  // namespace rr
