#pragma once
// TRRPartsList: the parts list of a layout. It counts the track pieces of a scene, one row per
// track system and name, so that the user knows what to buy, and writes the list as a web page
// or as semicolon-separated text in Windows-1252 with CRLF line ends (what spreadsheet programs
// on the user's desktop read without asking). Files are written to a temporary file that
// replaces the target only when complete.
//
// Rows are keyed by (track system, name): two systems that both have a "G1" are two rows. A track
// the user renamed has the new name and so a row of its own. Rows keep the order in which the
// depth-first walk of the scene met them; sorting is stable, so ties stay in that order.

#include <cstdint>
#include <string>
#include <vector>

namespace gx {
class TGXNode;
}

namespace rr {

class IRRUIService;

inline constexpr const char* RRTextPartsListCaption = "Stückliste";
inline constexpr const char* RRTextPartsListHint =
    "Zeigt alle im Projekt verwendeten Gleise an und bietet die Möglichkeit zum Speichern und Drucken der "
    "Stückliste.";
inline constexpr const char* RRTextPartsListTitle = "Stückliste - 3D-Velmora 2013";
inline constexpr const char* RRTextPartsListSaveTitle = "Stückliste speichern unter";
inline constexpr const char* RRTextPartsListSaved = "Stückliste erfolgreich gespeichert unter %s.";
inline constexpr const char* RRTextPartsListEmpty = "Keine Gleise vorhanden.";
// The project name of a layout that was never saved.
inline constexpr const char* RRTextPartsListUnsaved = "Neues Projekt";

enum class TRRPartsListColumn : uint8_t { System = 0, Name = 1, Count = 2, Description = 3 };
inline constexpr int RRPartsListColumnCount = 4;
// "Gleissystem", "Name", "Anzahl", "Beschreibung".
extern const char* const RRPartsListCaptions[RRPartsListColumnCount];

enum class TRRPartsListFormat : uint8_t { Html = 0, Csv = 1 };

struct TRRPartsListRow {
  std::string System;
  std::string Name;
  int64_t Count = 0;
  std::string Description;
  // The cell text of a column ("Anzahl" as a decimal number).
  std::string Cell(TRRPartsListColumn column) const;
};

class TRRPartsList {
 public:
  // Walks root depth first (each node, then its children) and counts every track; tracks inside
  // groups count too.
  void Build(const gx::TGXNode& root);
  const std::vector<TRRPartsListRow>& Rows() const { return FRows; }
  int64_t TrackCount() const;

  // Clicking a column header: the same column again reverses the direction, another column
  // starts ascending. Text compares without regard to case, "Anzahl" numerically.
  void SortBy(TRRPartsListColumn column);
  // Sorts by column in the given direction (what the window shows first: "Anzahl" descending).
  void Sort(TRRPartsListColumn column, bool ascending);
  TRRPartsListColumn SortColumn() const { return FSortColumn; }
  bool SortAscending() const { return FAscending; }

  // The file's bytes. projectName and date are UTF-8; the result is Windows-1252.
  std::string ToHtml(const std::string& projectName, const std::string& date) const;
  std::string ToCsv(const std::string& projectName, const std::string& date) const;
  std::string ToBytes(TRRPartsListFormat format, const std::string& projectName, const std::string& date) const;

  // Writes the file (temporary file and rename; raises the file system's error and leaves no
  // file behind) and then tells the user where it went ("Stückliste").
  void Save(const std::string& fileName, TRRPartsListFormat format, const std::string& projectName,
            const std::string& date, IRRUIService* ui) const;

 private:
  std::vector<TRRPartsListRow> FRows;
  TRRPartsListColumn FSortColumn = TRRPartsListColumn::Count;
  bool FAscending = false;
  bool FSorted = false;
};

// The layout's file name without folder and extension; "Neues Projekt" when it has none.
std::string RRPartsListProjectName(const std::string& layoutFile);
// "%d.%m.%Y %H:%M:%S" in local time, whatever the locale.
std::string RRPartsListDate(int64_t unixSeconds);
// The format the save dialog's filter index chose (0 web page, 1 text) and the file name with the
// filter's default extension when the name has none.
TRRPartsListFormat RRPartsListFormatOfFilter(int filterIndex);
std::string RRPartsListFileName(const std::string& chosen, TRRPartsListFormat format);
// By extension: ".csv" is text, everything else a web page.
TRRPartsListFormat RRPartsListFormatOfFile(const std::string& fileName);

}  // namespace rr
