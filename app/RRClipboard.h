#pragma once
// TRRClipboard: copies of entities as descriptions, for cut, copy, paste and duplicate. The
// program has one (owned by the application object), so its content outlives the project it was
// copied from. The system clipboard is not involved.
//
// Fixed entities (the light, predefined cameras) are never copied. The descriptions keep the IDs
// they had; each paste renumbers them from the manager's counter, so references between copied
// entities follow the copies and references to anything else are cut. Every paste puts the copies
// at the same offset from the original placement.

#include <cstdint>

#include "app/RRAction.h"
#include "app/entities/RREntityDescription.h"
#include "engine/core/GXGuid.h"
#include "engine/core/GXMath.h"

namespace rr {

class TRREntitySelection;
class TRREntityManager;

// Where pasted entities go relative to the originals, in world space.
inline constexpr gx::TGXVector3 RRPasteOffset{-5, 0, 5};

class TRRClipboard {
 public:
  TRRClipboard() = default;
  TRRClipboard(const TRRClipboard&) = delete;
  TRRClipboard& operator=(const TRRClipboard&) = delete;

  // Stores the action (or none) and enables it while the clipboard holds something.
  void SetPasteAction(IRRAction* action);
  // Replaces the content with the selection's entities that are not fixed, in selection order,
  // without fixed descendants.
  void Copy(const TRREntitySelection& selection);
  void Clear();
  int Count() const { return FItems.Count(); }
  TRREntityDescription* Item(int index) const { return FItems.Item(index); }
  // Renumbers the content from nextID (no event references); returns the number of IDs used.
  int32_t AssignIDs(int32_t nextID);
  // Deletes the descriptions, top-level or nested, made from that catalogue entry.
  void RemoveAsset(const gx::TGXGuid& asset);
  // Creates the content as new entities of the manager's project, moved by offset in world space,
  // selects them and records one command. Returns the number of entities created. When creating
  // one fails, those created before it stay, nothing is recorded, the project is marked modified
  // and the error is passed on.
  int Paste(TRREntityManager& manager, const gx::TGXVector3& offset = RRPasteOffset);

 private:
  void RefreshAction();

  TRREntityDescriptionList FItems{true};
  IRRAction* FPasteAction = nullptr;
};

}  // namespace rr
