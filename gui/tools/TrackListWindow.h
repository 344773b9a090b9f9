#pragma once
// The window "Stückliste" (Extras menu): the track pieces of the open layout counted per track
// system and name as the core's parts list counts them, sorted by a click on a column header
// (first by "Anzahl", most first), saved as a web page or as semicolon-separated text through the
// UI service's save dialog, and printed. The window is modal and keeps its own copy of the rows,
// so nothing it shows can go stale while it is open.

#include <QDialog>
#include <functional>
#include <string>

#include "app/entities/track/RRPartsList.h"

class QLabel;
class QPainter;
class QPrinter;
class QPushButton;
class QTreeWidget;

namespace gx {
class TGXNode;
}

namespace rr {

class IRRUIService;

inline constexpr const char* RRTextPartsListSaveFailed = "Die Stückliste konnte nicht unter \"%s\" gespeichert werden:\r\n%s";
inline constexpr const char* RRTextPartsListPrintFailed = "Die Stückliste konnte nicht gedruckt werden: der Drucker nimmt keine Seiten an.";

class TTrackListWindow : public QDialog {
  Q_OBJECT

 public:
  // Counts the tracks below root. projectName heads the saved and printed list.
  TTrackListWindow(const gx::TGXNode& root, std::string projectName, IRRUIService& ui, QWidget* parent = nullptr);

  const TRRPartsList& List() const { return FList; }
  QTreeWidget* Table() const { return FTable; }
  QPushButton* SaveButton() const { return FSave; }
  QPushButton* PrintButton() const { return FPrint; }
  QPushButton* CloseButton() const { return FClose; }
  // The date the list is headed with (fixed when the window opens).
  const std::string& Date() const { return FDate; }

  // " Speichern ": the save dialog, then the file in the format of its ending. A file that cannot
  // be written is told in a message; true when written.
  bool Save();
  // "Drucken": the print dialog, then PrintTo.
  void Print();
  // Prints the list on a printer the caller set up (a PDF file in the tests): the heading, then
  // the table with framed cells, a new page whenever the next row would pass the bottom. Returns
  // the number of pages, 0 (and a message) when the printer takes none.
  int PrintTo(QPrinter& printer);
  // The pages on any painter that works in tenths of a millimetre from the top left of the
  // printable area; newPage starts the next page (false: stop). Returns the number of pages.
  int PaintPages(QPainter& painter, int pageWidth, int pageHeight, const std::function<bool()>& newPage);

 private:
  void Refill();
  void SortBy(int column);

  TRRPartsList FList;
  std::string FProjectName;
  std::string FDate;
  IRRUIService& FUI;
  QTreeWidget* FTable;
  QPushButton* FSave;
  QPushButton* FPrint;
  QPushButton* FClose;
};

}  // namespace rr
