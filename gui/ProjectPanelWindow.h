#pragma once
// The new-project dialog: "Gleisparameter" (which manufacturers, gauges and track systems the
// catalogue offers) and "Bodenplatte" (outline, dimensions and grid of the first baseboard, kept
// to the shape rules as the user types).

#include <QDialog>
#include <QLineEdit>
#include <array>
#include <vector>

#include "app/entities/panel/RRPanel.h"
#include "app/entities/track/RRTrackParameters.h"

class QComboBox;
class QListWidget;
class QStackedWidget;
class QPushButton;
class QLabel;

namespace rr {

inline constexpr const char* RRShapeCaptions[4] = {"Rechteck", "L-Form links", "L-Form rechts", "U-Form"};
// An edit's text as a dimension: 0.9 or more rounded to whole centimetres, anything else keeps
// the previous value; 0 and 1 become 1.
uint32_t RRShapeEditValue(const QString& text, uint32_t previous);

class TShapePreview;

class TProjectPanelWindow : public QDialog {
  Q_OBJECT

 public:
  explicit TProjectPanelWindow(QWidget* parent = nullptr);

  const TRRTrackParameters& TrackParameters() const { return FTrack; }
  // The normalised record with the chosen grid.
  const TRRPanelParams& Shape() const { return FShape; }
  std::vector<uint8_t> ShapeBytes() const;

  // For tests and the keyboard: the controls.
  QComboBox* TypeBox() const { return FType; }
  QLineEdit* Edit(int index) const { return FEdits[static_cast<size_t>(index)]; }
  QComboBox* QuadWidthBox() const { return FGrid; }
  QPushButton* NextButton() const { return FNext; }
  int Page() const;

 private:
  void Normalise();
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
  TRRTrackParameters FTrack;
  TRRPanelParams FShape;
  bool FFilling = false;
};

}  // namespace rr
