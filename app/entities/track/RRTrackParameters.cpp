#include "app/entities/track/RRTrackParameters.h"

#include <algorithm>

#include "app/RRDatabase.h"
#include "app/RRGlobal.h"
#include "app/entities/RREntityDescription.h"
#include "app/entities/RREntityGroup.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackSystems.h"
#include "engine/core/GXSerialization.h"
#include "engine/core/GXStrings.h"

namespace rr {

// ---- sorted names ----

namespace {

auto LowerBound(const std::vector<std::string>& items, std::string_view name) {
  return std::lower_bound(items.begin(), items.end(), name,
                          [](const std::string& a, std::string_view b) { return gx::CompareText(a, b) < 0; });
}

}  // namespace

int TRRSortedNameList::IndexOf(std::string_view name) const {
  auto it = LowerBound(FItems, name);
  if (it == FItems.end() || gx::CompareText(*it, name) != 0) return -1;
  return static_cast<int>(it - FItems.begin());
}

bool TRRSortedNameList::Add(std::string_view name) {
  auto it = LowerBound(FItems, name);
  if (it != FItems.end() && gx::CompareText(*it, name) == 0) return false;
  FItems.insert(it, std::string(name));
  return true;
}

bool TRRSortedNameList::Remove(std::string_view name) {
  int i = IndexOf(name);
  if (i < 0) return false;
  FItems.erase(FItems.begin() + i);
  return true;
}

// ---- parameters ----

TRRTrackParameters::TRRTrackParameters()
    : FSource([](TRREntityDescriptionList& list) {
        if (TRRGlobal* g = Global()) g->Database().CollectCatalogByClass(TRRTrackDesc::StaticClass(), list);
      }) {}

void TRRTrackParameters::Catalogue(TRREntityDescriptionList& list) const {
  if (FSource) FSource(list);
}

void TRRTrackParameters::AddManufacturer(std::string_view name, bool exclusive) {
  if (exclusive || name.empty()) {
    FManufacturers.Clear();
    FTrackWidths.Clear();
    FTrackSystems.Clear();
  }
  if (!name.empty()) FManufacturers.Add(name);
}

void TRRTrackParameters::AddTrackWidth(std::string_view name, bool exclusive) {
  if (exclusive || name.empty()) {
    FTrackWidths.Clear();
    FTrackSystems.Clear();
  }
  if (!name.empty()) FTrackWidths.Add(name);
}

void TRRTrackParameters::AddTrackSystem(std::string_view name, bool exclusive) {
  if (exclusive || name.empty()) FTrackSystems.Clear();
  if (!name.empty()) FTrackSystems.Add(name);
}

void TRRTrackParameters::RemoveManufacturer(std::string_view name) {
  FManufacturers.Remove(name);
  if (FManufacturers.Count() == 0) {
    FTrackWidths.Clear();
    FTrackSystems.Clear();
    return;
  }
  BuildTrackWidthOptions();
  // Copies: the removal below changes the lists being walked.
  for (const std::string& width : std::vector<std::string>(FTrackWidths.Items()))
    if (!FTrackWidthOptions.Contains(width)) RemoveTrackWidth(width);
  BuildTrackSystemOptions();
  for (const std::string& system : std::vector<std::string>(FTrackSystems.Items()))
    if (!FTrackSystemOptions.Contains(system)) RemoveTrackSystem(system);
  FTrackWidthOptions.Clear();
  FTrackSystemOptions.Clear();
}

void TRRTrackParameters::RemoveTrackWidth(std::string_view name) {
  FTrackWidths.Remove(name);
  if (FTrackWidths.Count() == 0) {
    FTrackSystems.Clear();
    return;
  }
  BuildTrackSystemOptions();
  for (const std::string& system : std::vector<std::string>(FTrackSystems.Items()))
    if (!FTrackSystemOptions.Contains(system)) RemoveTrackSystem(system);
  FTrackSystemOptions.Clear();
}

void TRRTrackParameters::RemoveTrackSystem(std::string_view name) { FTrackSystems.Remove(name); }

// ---- options ----

namespace {

bool Enumerate(TRRSortedNameList& cache, int index, std::string& name) {
  if (index < 0 || index >= cache.Count()) {
    cache.Clear();
    return false;
  }
  name = cache.Item(index);
  return true;
}

std::string GaugeName(const TRRTrackDesc& d) { return RRTrackSystemName(d.TrackWidth()); }

}  // namespace

void TRRTrackParameters::BuildTrackWidthOptions() {
  FTrackWidthOptions.Clear();
  TRREntityDescriptionList list(false);
  Catalogue(list);
  for (TRREntityDescription* e : list) {
    const auto& d = static_cast<const TRRTrackDesc&>(*e);
    if (FManufacturers.Count() == 0 || FManufacturers.Contains(d.Manufacturer().GetText()))
      FTrackWidthOptions.Add(GaugeName(d));
  }
}

void TRRTrackParameters::BuildTrackSystemOptions() {
  FTrackSystemOptions.Clear();
  TRREntityDescriptionList list(false);
  Catalogue(list);
  for (TRREntityDescription* e : list) {
    const auto& d = static_cast<const TRRTrackDesc&>(*e);
    if (FManufacturers.Count() != 0 && !FManufacturers.Contains(d.Manufacturer().GetText())) continue;
    if (FTrackWidths.Count() != 0 && !FTrackWidths.Contains(GaugeName(d))) continue;
    std::string system = d.TrackSystemName().GetText();
    if (!system.empty()) FTrackSystemOptions.Add(system);
  }
}

bool TRRTrackParameters::GetManufacturerOption(int index, std::string& name) {
  if (index == 0) {
    FManufacturerOptions.Clear();
    TRREntityDescriptionList list(false);
    Catalogue(list);
    for (TRREntityDescription* e : list) {
      std::string m = static_cast<const TRRTrackDesc&>(*e).Manufacturer().GetText();
      if (!m.empty()) FManufacturerOptions.Add(m);
    }
  }
  return Enumerate(FManufacturerOptions, index, name);
}

bool TRRTrackParameters::GetTrackWidthOption(int index, std::string& name) {
  if (index == 0) BuildTrackWidthOptions();
  return Enumerate(FTrackWidthOptions, index, name);
}

bool TRRTrackParameters::GetTrackSystemOption(int index, std::string& name) {
  if (index == 0) BuildTrackSystemOptions();
  return Enumerate(FTrackSystemOptions, index, name);
}

// ---- filter ----

bool TRRTrackParameters::Passes(const TRRTrackDesc& d) const {
  if (FManufacturers.Count() != 0 && !FManufacturers.Contains(d.Manufacturer().GetText())) return false;
  if (FTrackWidths.Count() != 0 && !FTrackWidths.Contains(GaugeName(d))) return false;
  if (FTrackSystems.Count() != 0 && !FTrackSystems.Contains(d.TrackSystemName().GetText())) return false;
  return true;
}

namespace {

// allTracks stays true while every non-group description met is a track; failed turns true at
// the first track that does not pass.
void Inspect(const TRREntityDescription& d, const TRRTrackParameters& p, bool& allTracks, bool& failed) {
  if (!d.Is<TRREntityGroupDesc>()) {
    if (!d.Is<TRRTrackDesc>())
      allTracks = false;
    else if (!p.Passes(static_cast<const TRRTrackDesc&>(d)))
      failed = true;
  }
  for (int i = 0; i < d.ChildCount() && allTracks; ++i) Inspect(*d.Child(i), p, allTracks, failed);
}

}  // namespace

bool TRRTrackParameters::HidesEntry(const TRREntityDescription& entry) const {
  bool allTracks = true, failed = false;
  Inspect(entry, *this, allTracks, failed);
  return allTracks && failed;
}

void TRRTrackParameters::CollectTrackWidths(TRRSortedNameList& list, bool stopAfterTwo) const {
  TRREntityDescriptionList catalogue(false);
  Catalogue(catalogue);
  for (TRREntityDescription* e : catalogue) {
    if (stopAfterTwo && list.Count() >= 2) return;
    const auto& d = static_cast<const TRRTrackDesc&>(*e);
    if (Passes(d)) list.Add(GaugeName(d));
  }
}

bool TRRTrackParameters::AutomaticScale(float& scale) const {
  TRRSortedNameList widths;
  CollectTrackWidths(widths, true);
  if (widths.Count() != 1) return false;
  scale = RRTrackSystemScale(RRTrackSystemIndex(widths.Item(0)));
  return true;
}

// ---- copy and file ----

void TRRTrackParameters::Assign(const TRRTrackParameters& other) {
  if (&other == this) return;
  FManufacturers = other.FManufacturers;
  FTrackWidths = other.FTrackWidths;
  FTrackSystems = other.FTrackSystems;
  FManufacturerOptions = other.FManufacturerOptions;
  FTrackWidthOptions = other.FTrackWidthOptions;
  FTrackSystemOptions = other.FTrackSystemOptions;
}

namespace {

void WriteList(gx::TGXStream& s, const TRRSortedNameList& list) {
  gx::WriteInteger(s, list.Count());
  for (const std::string& name : list.Items()) gx::WriteAnsiString(s, name);
}

// Each string takes at least its 4-byte length.
std::vector<std::string> ReadList(gx::TGXStream& s) {
  int32_t count = gx::ReadCount(s, 4);
  std::vector<std::string> names;
  names.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) names.push_back(gx::ReadAnsiString(s));
  return names;
}

}  // namespace

void TRRTrackParameters::WriteToStream(gx::TGXStream& s) const {
  WriteList(s, FManufacturers);
  WriteList(s, FTrackWidths);
  WriteList(s, FTrackSystems);
}

void TRRTrackParameters::ReadFromStream(gx::TGXStream& s) {
  // The whole record first: a short record changes nothing.
  std::vector<std::string> manufacturers = ReadList(s);
  std::vector<std::string> widths = ReadList(s);
  std::vector<std::string> systems = ReadList(s);
  // An empty name would clear the selections (what it means when the user adds one): a file
  // holding one must not undo the names read before it.
  for (const std::string& m : manufacturers)
    if (!m.empty()) AddManufacturer(m, false);
  for (const std::string& w : widths)
    if (!w.empty()) AddTrackWidth(w, false);
  for (const std::string& t : systems)
    if (!t.empty()) AddTrackSystem(t, false);
}

}  // namespace rr
