#pragma once
// TRRTrackParameters: the per-project track filter. It narrows the catalogue to chosen
// manufacturers, gauges (track widths) and track systems (product lines) and is saved with the
// project. Each selection is a sorted name list that compares without regard to case and ignores
// duplicates; an empty selection selects everything.
//
// Record in project files (the project serializer calls Write/Read): Integer count of
// manufacturers and that many 8-bit strings, the same for track widths, the same for track
// systems. Reading adds to what is selected (the Add operations, not exclusive); each count is
// checked against the bytes that remain.
//
// The option lists (what the filter dialog offers) come from the track descriptions of the
// catalogue. The catalogue is asked through a source function, by default the track descriptions
// of the program's asset database.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/GXStream.h"

namespace rr {

class TRREntityDescription;
class TRREntityDescriptionList;
class TRRTrackDesc;

// A sorted list of names, compared without regard to case, without duplicates.
class TRRSortedNameList {
 public:
  // False when the name is listed already (ignoring case).
  bool Add(std::string_view name);
  bool Remove(std::string_view name);
  bool Contains(std::string_view name) const { return IndexOf(name) >= 0; }
  int IndexOf(std::string_view name) const;
  int Count() const { return static_cast<int>(FItems.size()); }
  const std::string& Item(int index) const { return FItems.at(static_cast<size_t>(index)); }
  void Clear() { FItems.clear(); }
  const std::vector<std::string>& Items() const { return FItems; }

 private:
  std::vector<std::string> FItems;
};

// Appends (not owning) every track description the catalogue offers, in catalogue order.
using TRRTrackCatalogueSource = std::function<void(TRREntityDescriptionList& list)>;

class TRRTrackParameters {
 public:
  // Uses the asset database of the running program (nothing without one).
  TRRTrackParameters();
  explicit TRRTrackParameters(TRRTrackCatalogueSource source) : FSource(std::move(source)) {}

  void SetCatalogueSource(TRRTrackCatalogueSource source) { FSource = std::move(source); }

  // ---- selections ----
  // With exclusive or an empty name: clear the manufacturers, track widths and track systems
  // first. Then a non-empty name that is not selected yet is added.
  void AddManufacturer(std::string_view name, bool exclusive);
  // The same, clearing track widths and track systems.
  void AddTrackWidth(std::string_view name, bool exclusive);
  // The same, clearing track systems only.
  void AddTrackSystem(std::string_view name, bool exclusive);
  // Removes the manufacturer and then every selected gauge and track system that the remaining
  // manufacturers no longer offer (all of them when no manufacturer remains).
  void RemoveManufacturer(std::string_view name);
  // Removes the gauge and every selected track system no longer offered.
  void RemoveTrackWidth(std::string_view name);
  void RemoveTrackSystem(std::string_view name);

  bool HasManufacturer(std::string_view name) const { return FManufacturers.Contains(name); }
  bool HasTrackWidth(std::string_view name) const { return FTrackWidths.Contains(name); }
  bool HasTrackSystem(std::string_view name) const { return FTrackSystems.Contains(name); }
  const TRRSortedNameList& Manufacturers() const { return FManufacturers; }
  const TRRSortedNameList& TrackWidths() const { return FTrackWidths; }
  const TRRSortedNameList& TrackSystems() const { return FTrackSystems; }
  int ManufacturerCount() const { return FManufacturers.Count(); }
  int TrackWidthCount() const { return FTrackWidths.Count(); }
  int TrackSystemCount() const { return FTrackSystems.Count(); }
  const std::string& Manufacturer(int index) const { return FManufacturers.Item(index); }
  const std::string& TrackWidth(int index) const { return FTrackWidths.Item(index); }
  const std::string& TrackSystem(int index) const { return FTrackSystems.Item(index); }

  // ---- options ----
  // Enumeration: index 0 rebuilds the list from the catalogue; an index past the end answers
  // false and frees the list. Manufacturers: all. Gauges: of the selected manufacturers' tracks.
  // Track systems: of the tracks of the selected manufacturers and gauges (an empty selection
  // does not narrow).
  bool GetManufacturerOption(int index, std::string& name);
  bool GetTrackWidthOption(int index, std::string& name);
  bool GetTrackSystemOption(int index, std::string& name);

  // ---- filter ----
  bool Passes(const TRRTrackDesc& description) const;
  // Whether the catalogue hides an entry: its own description and those it contains (groups
  // left out) are all track descriptions and one of them does not pass.
  bool HidesEntry(const TRREntityDescription& entry) const;
  // Adds the gauge name of every passing catalogue track to list (sorted, no duplicates); with
  // stopAfterTwo it stops as soon as list holds two names.
  void CollectTrackWidths(TRRSortedNameList& list, bool stopAfterTwo) const;
  // The uniform scale for an entity dropped from the catalogue: true with the gauge's scale
  // factor when exactly one gauge passes the filter.
  bool AutomaticScale(float& scale) const;

  // ---- copy and file ----
  // All six lists.
  void Assign(const TRRTrackParameters& other);
  void WriteToStream(gx::TGXStream& s) const;
  void ReadFromStream(gx::TGXStream& s);

 private:
  void Catalogue(TRREntityDescriptionList& list) const;
  void BuildTrackWidthOptions();
  void BuildTrackSystemOptions();

  TRRTrackCatalogueSource FSource;
  TRRSortedNameList FManufacturers;
  TRRSortedNameList FTrackWidths;
  TRRSortedNameList FTrackSystems;
  TRRSortedNameList FManufacturerOptions;
  TRRSortedNameList FTrackWidthOptions;
  TRRSortedNameList FTrackSystemOptions;
};

}  // namespace rr
