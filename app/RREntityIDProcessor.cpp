#include "app/RREntityIDProcessor.h"

#include <cstdint>
#include <unordered_map>

#include "engine/core/GXException.h"

namespace rr {

void TRREntityIDProcessor::Collect(TRREntityDescription& description) {
  FCollected.push_back(&description);
  // Iterative pre-order walk: nesting depth comes from the data and must not grow the stack.
  std::vector<TRREntityDescription*> stack{&description};
  while (!stack.empty()) {
    TRREntityDescription* d = stack.back();
    stack.pop_back();
    auto record = std::make_unique<TRRIDDesc>();
    record->Description = d;
    record->OldID = d->ID();
    d->SetID(0);
    TRRPropertyAccessList accessors;
    d->GetPropertyAccess(accessors);
    for (int i = 0; i < accessors.Count(); ++i) {
      auto* ref = dynamic_cast<TRREntityIDRefAccess*>(accessors.Item(i));
      // 0 is "none" and negative values are sentinels, not entities.
      if (!ref || ref->Value() <= 0) continue;
      record->OldRefs.push_back(ref->Value());
      ref->SetValue(0);
      record->Refs.emplace_back(static_cast<TRREntityIDRefAccess*>(accessors.Extract(i).release()));
      --i;
    }
    FRecords.push_back(std::move(record));
    for (int i = d->ChildCount() - 1; i >= 0; --i) stack.push_back(d->Child(i));
  }
}

void TRREntityIDProcessor::CollectList(const TRREntityDescriptionList& list) {
  for (TRREntityDescription* d : list) Collect(*d);
}

int32_t TRREntityIDProcessor::Assign(int32_t nextID, IRREntityRemapListener* listener) {
  const int64_t count = static_cast<int64_t>(FRecords.size());
  if (count > 0 && (nextID <= 0 || static_cast<int64_t>(nextID) + count - 1 > INT32_MAX))
    throw gx::EInvalidParameter({gx::TGXExceptionArg::Object("TRREntityIDProcessor"), "Assign", "ID range exhausted"});
  if (listener) listener->BeginRemap();
  // Old ID -> new ID; a later description with the same old ID takes the references over.
  std::unordered_map<int32_t, int32_t> newIDs;
  newIDs.reserve(FRecords.size());
  int32_t id = nextID;
  for (auto& r : FRecords) {
    r->Description->SetID(id);
    if (r->OldID > 0) {
      newIDs[r->OldID] = id;
      if (listener) listener->Remap(r->OldID, id);
    }
    ++id;
  }
  for (auto& r : FRecords)
    for (size_t i = 0; i < r->Refs.size(); ++i)
      if (auto it = newIDs.find(r->OldRefs[i]); it != newIDs.end()) r->Refs[i]->SetValue(it->second);
  if (listener) listener->EndRemap();
  return static_cast<int32_t>(count);
}

int32_t TRREntityIDProcessor::RenumberDescription(TRREntityDescription& description, int32_t nextID,
                                                  IRREntityRemapListener* listener) {
  TRREntityIDProcessor p;
  p.Collect(description);
  return p.Assign(nextID, listener);
}

int32_t TRREntityIDProcessor::RenumberList(const TRREntityDescriptionList& list, int32_t nextID,
                                           IRREntityRemapListener* listener) {
  TRREntityIDProcessor p;
  p.CollectList(list);
  return p.Assign(nextID, listener);
}

}  // namespace rr
