#pragma once
// TPanelHeightMenu: the height page of one baseboard panel. The brush ("Pinsel": size in the
// user's length unit, gradient in percent, shape) and the mode button "Höhenmodus": while it is
// down a height brush (TRRPanelModifier, mode 1) sits on the manager's modifier stack and marks
// grid points; the panel "Selektion" then shows the height range of the marked points and takes a
// new height for them (one command). Leaving the page frees the brush and releases the button.
// "Höhenfeld importieren" replaces the panel's heights from a file (one command, the panel keeps
// its ID); "Höhenfeld exportieren" writes them as a grey picture or text.
//
// The brush settings are shared by every panel for the run. Hint balloons come from the hint
// manager set once for all pages (SetHints), so the page needs no main window.

#include <memory>

#include <QDialog>

#include "app/entities/panel/RRPanelHeightFiles.h"
#include "app/entities/panel/RRPanelRules.h"
#include "gui/pages/EntityPage.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QToolButton;

namespace rr {

class TRRPanel;
class TRRPanelModifier;
class TRRSmartHintManager;

inline constexpr const char* RRTextHeightMode = "Höhenmodus";
inline constexpr const char* RRTextHeightModeHint =
    "Markieren Sie beliebige Punkte auf der Bodenplatte und halten Sie anschließend die UMSCHALT-Taste "
    "gedrückt. Sie können nun mit gedrückter Maustaste die Höhe dynamisch beeinflussen.";

// The look of a mode button that is down.
inline constexpr const char* RRModeButtonStyle =
    "QPushButton:checked { background-color: palette(highlight); color: palette(highlighted-text); "
    "border: 1px solid palette(dark); border-radius: 2px; padding: 3px 8px; }";

// The display unit of lengths chosen in the settings.
const TRRDisplayUnit& RRPageLengthUnit();

// A number edit with its unit label and two small step buttons, in one row.
struct TRRStepEdit {
  QLineEdit* Edit = nullptr;
  QLabel* Unit = nullptr;
  QToolButton* Up = nullptr;
  QToolButton* Down = nullptr;
  QWidget* Box = nullptr;
};

// The import dialog ("Höhenfeld importieren"): a height file (grey picture or "x,y,height" text),
// the height range the picture's greys span and the origin on the panel, in the display unit.
// OK with no file read ends as cancelled.
//
// It works on a copy of the panel's description (given a new asset identifier) that a turning
// preview shows at the origin, drawn from a 30 ms timer while the dialog is shown. A file read
// recomputes the preview at once; a change of the range or the origin does so 500 ms after the
// last keystroke. The preview and the import the page runs after OK go through the same
// ApplyTo, so the page gets the heights the preview showed. Without a render core there is no
// preview and the dialog works as before.
class TRRPreviewView;

// What an import does with the file: the origin in grid points, the range in cm.
struct TRRHeightImportSettings {
  int64_t X0 = 0, Y0 = 0;
  float Low = 0, High = 100;
};

class TPanelHeightImport : public QDialog {
  Q_OBJECT

 public:
  // panel: a copy of the panel's description (null: no preview, grid 1 cm).
  explicit TPanelHeightImport(std::unique_ptr<TRREntityDescription> panel, QWidget* parent = nullptr);
  ~TPanelHeightImport() override;

  // Reads the file (a failure shows the message and keeps what was read before).
  bool Load(const std::string& fileName);
  bool Loaded() const { return FLoaded; }
  const TRRHeightFile& File() const { return FFile; }
  // The typed values in cm (unparsable: 0 and 100 for the range, 0 for the origin).
  float Low() const;
  float High() const;
  double OriginX() const;
  double OriginY() const;
  // The typed values for a panel of that grid spacing.
  TRRHeightImportSettings Settings(uint32_t grid) const;
  // Resets the panel's heights and imports the file read with the typed values (nothing without
  // a file): the one computation of the preview and of the page's import.
  void ApplyTo(TRRPanel& panel) const;
  // The preview's panel as a description placed and numbered as the copy it started from (null
  // without a file read or without a preview).
  std::unique_ptr<TRREntityDescription> Result() const;

  QLineEdit* NameEdit() const { return FName; }
  QPushButton* OpenButton() const { return FOpen; }
  QLineEdit* LowEdit() const { return FLow; }
  QLineEdit* HighEdit() const { return FHigh; }
  QLineEdit* OriginXEdit() const { return FX; }
  QLineEdit* OriginYEdit() const { return FY; }
  QLabel* HintLabel() const { return FHint; }
  TRRPreviewView* PreviewView() const { return FPreviewView; }
  // The panel the preview shows (null without a preview).
  TRRPanel* PreviewPanel() const;
  QTimer* RecomputeTimer() const { return FRecompute; }

  void accept() override;
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Recompute();

  QLineEdit* FName;
  QPushButton* FOpen;
  QLineEdit* FLow;
  QLineEdit* FHigh;
  QWidget* FRange;
  QLabel* FRangeLabel;
  QLineEdit* FX;
  QLineEdit* FY;
  QLabel* FHint;
  TRRPreviewView* FPreviewView = nullptr;
  QTimer* FRecompute;
  std::unique_ptr<TRREntityDescription> FPanel;
  bool FShown = false;
  TRRHeightFile FFile;
  bool FLoaded = false;
};

class TPanelHeightMenu : public TEntityPage {
  Q_OBJECT

 public:
  explicit TPanelHeightMenu(QWidget* parent = nullptr);
  ~TPanelHeightMenu() override;

  // The hint balloons of every height page (null: none shown).
  static void SetHints(TRRSmartHintManager* hints);
  static const TRRBrushSettings& Settings();

  void Leave() override;
  void Tick() override;

  QLineEdit* WidthEdit() const { return FWidth.Edit; }
  QToolButton* WidthUp() const { return FWidth.Up; }
  QToolButton* WidthDown() const { return FWidth.Down; }
  QLineEdit* GradientEdit() const { return FGradient.Edit; }
  QToolButton* GradientUp() const { return FGradient.Up; }
  QToolButton* GradientDown() const { return FGradient.Down; }
  QComboBox* ShapeBox() const { return FShape; }
  QPushButton* StartButton() const { return FStart; }
  QGroupBox* HeightPanel() const { return FHeightPanel; }
  QLabel* SelectionLabel() const { return FSelection; }
  QLineEdit* NewHeightEdit() const { return FHeight; }
  TRRPanelModifier* Modifier() const { return FModifier.get(); }
  QPushButton* ImportButton() const { return FImport; }
  QPushButton* ExportButton() const { return FExport; }

 protected:
  void RefreshPage(bool force) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  TRRPanel* Panel() const;
  void ReadSettings();
  void ShowSettings();
  void ApplySettings();
  void StepSize(bool up);
  void StepGradient(bool up);
  void StartBrush(bool on);
  // Frees the brush; release: the mode button goes up too.
  void StopBrush(bool release = true);
  void ShowSelection();
  void CommitHeight();
  void ImportHeights();
  void ExportHeights();

  TRRStepEdit FWidth, FGradient;
  QComboBox* FShape;
  QPushButton* FStart;
  QGroupBox* FHeightPanel;
  QLabel* FSelection;
  QLineEdit* FHeight;
  QLabel* FHeightUnit;
  QPushButton* FImport;
  QPushButton* FExport;
  QTimer* FTimer;
  std::unique_ptr<TRRPanelModifier> FModifier;
};

// Builds a step edit on the page (the edit commits through the page's NumberEdit).
TRRStepEdit RRMakeStepEdit(QWidget* parent, QLineEdit* edit, const QString& unit);

}  // namespace rr
