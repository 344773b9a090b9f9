#pragma once
// The new-project dialog: "Gleisparameter" (which manufacturers, gauges and track systems the
// catalogue offers) and "Bodenplatte" (outline, dimensions and grid of the first baseboard, kept
// to the shape rules as the user types). The panel page's assistant opens the "Bodenplatte" page
// alone, filled with an existing panel's record, with "Ok" and "Abbrechen".
//
// Dimensions are shown and typed in the display length unit. The grid stays as chosen while the
// outline does not change; a new outline takes the rules' grid again.

#include <QDialog>
#include <QLineEdit>
#include <array>
#include <vector>

#include "app/entities/panel/RRPanel.h"
#include "app/RRUnits.h"
#include "app/entities/track/RRTrackParameters.h"

class QComboBox;
class QListWidget;
class QStackedWidget;
class QPushButton;
class QLabel;

namespace rr {

inline constexpr const char* RRShapeCaptions[4] = {"Rechteck", "L-Form links", "L-Form rechts", "U-Form"};
// An edit's text as a dimension: the typed number (in the display unit given; a point or a comma,
// the unit name may follow) converted to cm, 0.9 cm or more rounded to whole centimetres (at
// most RRPanelMaxDimension), anything else keeps the previous value; 0 and 1 become 1.
uint32_t RRShapeEditValue(const QString& text, uint32_t previous,
                          const TRRDisplayUnit& unit = RRLengthUnits[1]);

class TShapePreview;

class TProjectPanelWindow : public QDialog {
  Q_OBJECT

 public:
  explicit TProjectPanelWindow(QWidget* parent = nullptr);
  // The shape page alone for an existing panel, filled with its record (dimensions a shape does
  // not use show the page's defaults, so switching the shape finds sensible values).
  explicit TProjectPanelWindow(const TRRPanelParams& shape, QWidget* parent = nullptr);

  bool ShapeOnly() const { return FShapeOnly; }

  const TRRTrackParameters& TrackParameters() const { return FTrack; }
  // The normalised record with the chosen grid.
  const TRRPanelParams& Shape() const { return FShape; }
  std::vector<uint8_t> ShapeBytes() const;

  // For tests and the keyboard: the controls.
  QComboBox* TypeBox() const { return FType; }
  QLineEdit* Edit(int index) const { return FEdits[static_cast<size_t>(index)]; }
  QComboBox* QuadWidthBox() const { return FGrid; }
  // "Weiter >" / "Fertig stellen"; "Ok" on the shape page alone.
  QPushButton* NextButton() const { return FNext; }
  QPushButton* CancelButton() const { return FCancel; }
  int Page() const;

 private:
  void Build();
  void FillEdits(const TRRPanelParams& shown);
  // A dimension in the display unit, without the unit's name.
  QString ShowDimension(uint32_t centimetres) const;
  // Reads the edits into the record by the shape rules; keepGrid keeps the chosen grid while the
  // outline stays the same and the grid is still offered.
  void Normalise(bool keepGrid = true);
  void ShowPage(int page);
  void FillTrackLists();
  void TrackListChanged(int list);
  QStackedWidget* FPages;
  QLabel* FCaption;
  QLabel* FHint;
  std::array<QListWidget*, 3> FTrackLists{};
  QComboBox* FType;
  std::array<QLineEdit*, 6> FEdits{};
  std::array<QLabel*, 6> FEditLabels{};
  QComboBox* FGrid;
  TShapePreview* FPreview;
  QPushButton* FBack;
  QPushButton* FNext;
  QPushButton* FCancel;
  TRRTrackParameters FTrack;
  TRRPanelParams FShape;
  const TRRDisplayUnit& FUnit;
  bool FShapeOnly = false;
  bool FFilling = false;
};

}  // namespace rr
