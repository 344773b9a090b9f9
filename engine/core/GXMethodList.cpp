#include "engine/core/GXMethodList.h"

namespace gx {

TMethodList::~TMethodList() {
  // A notification running on this list keeps the entries alive through its copy; marking them
  // stops it from calling any more of them.
  Clear();
}

const TGXMethodKey& TMethodList::Key(int index) const {
  if (index < 0 || index >= Count()) throw EGXListError::IndexOutOfRange(index);
  return FEntries[static_cast<size_t>(index)]->Key;
}

int TMethodList::IndexOf(const TGXMethodKey& key) const {
  for (size_t i = 0; i < FEntries.size(); ++i)
    if (FEntries[i]->Key == key) return static_cast<int>(i);
  return -1;
}

int TMethodList::Remove(const TGXMethodKey& key) {
  int i = IndexOf(key);
  if (i >= 0) {
    FEntries[static_cast<size_t>(i)]->Listed = false;
    FEntries.erase(FEntries.begin() + i);
  }
  return i;
}

void TMethodList::Clear() {
  for (auto& e : FEntries) e->Listed = false;
  FEntries.clear();
}

void TMethodList::Assign(const TMethodList& other) {
  if (&other == this) return;
  TSnapshot copies;
  copies.reserve(other.FEntries.size());
  for (const auto& e : other.FEntries) copies.push_back(e->Clone());
  Clear();
  FEntries = std::move(copies);
}

int TMethodList::AddEntry(std::shared_ptr<TEntry> entry) {
  if (FDuplicates != TGXDuplicates::Accept && IndexOf(entry->Key) >= 0) {
    if (FDuplicates == TGXDuplicates::Error) throw EGXListError::Duplicate(entry->Key.Code[0]);
    return -1;
  }
  FEntries.push_back(std::move(entry));
  return Count() - 1;
}

}  // namespace gx
