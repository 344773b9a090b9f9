#include "gui/pages/PanelHeightMenu.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QApplication>
#include <algorithm>
#include <fstream>
#include <iterator>

#include "app/RREntityManager.h"
#include "app/RRHistory.h"
#include "app/RRPreview.h"
#include "app/RRGlobal.h"
#include "app/RRProject.h"
#include "app/RRUIService.h"
#include "app/entities/panel/RRPanel.h"
#include "app/entities/panel/RRPanelEdits.h"
#include "app/entities/panel/RRPanelModifier.h"
#include "gui/PreviewView.h"
#include "gui/SmartHints.h"

namespace rr {

namespace {

QPointer<TRRSmartHintManager> GHints;

TRRBrushSettings& HeightSettings() {
  static TRRBrushSettings settings = RRHeightPageDefaults();
  return settings;
}

QString Show(double centimetres) {
  return QString::fromStdString(RRFormatLength(centimetres, RRPageLengthUnit()));
}

}  // namespace

const TRRDisplayUnit& RRPageLengthUnit() {
  const int i = Global() ? Global()->LengthUnit() : 1;
  return RRLengthUnits[std::clamp(i, 0, RRLengthUnitCount - 1)];
}

TRRStepEdit RRMakeStepEdit(QWidget* parent, QLineEdit* edit, const QString& unit) {
  TRRStepEdit s;
  s.Edit = edit;
  // After Return the value shown is selected, ready to be typed over.
  QObject::connect(edit, &QLineEdit::returnPressed, edit, &QLineEdit::selectAll, Qt::QueuedConnection);
  s.Box = new QWidget(parent);
  auto* h = new QHBoxLayout(s.Box);
  h->setContentsMargins(0, 0, 0, 0);
  h->setSpacing(2);
  s.Unit = new QLabel(unit, s.Box);
  s.Up = new QToolButton(s.Box);
  s.Up->setArrowType(Qt::UpArrow);
  s.Up->setAutoRepeat(true);
  s.Down = new QToolButton(s.Box);
  s.Down->setArrowType(Qt::DownArrow);
  s.Down->setAutoRepeat(true);
  h->addWidget(edit, 1);
  h->addWidget(s.Unit);
  h->addWidget(s.Up);
  h->addWidget(s.Down);
  return s;
}

void TPanelHeightMenu::SetHints(TRRSmartHintManager* hints) { GHints = hints; }
const TRRBrushSettings& TPanelHeightMenu::Settings() { return HeightSettings(); }

TPanelHeightMenu::TPanelHeightMenu(QWidget* parent) : TEntityPage(TRREntityPageKind::Panel, false, parent) {
  setObjectName("HeightPage");
  // Size and gradient take their text on Return or leaving the edit.
  FWidth = RRMakeStepEdit(this, NumberEdit([this](const QString&) { ReadSettings(); }), "cm");
  FWidth.Edit->setObjectName("WidthEdit");
  FWidth.Edit->setToolTip("Durchmesser des Pinsels");
  connect(FWidth.Up, &QToolButton::clicked, this, [this] { StepSize(true); });
  connect(FWidth.Down, &QToolButton::clicked, this, [this] { StepSize(false); });
  Add(0, "Pinsel:", FWidth.Box);
  FGradient = RRMakeStepEdit(this, NumberEdit([this](const QString&) { ReadSettings(); }), "%");
  FGradient.Edit->setObjectName("GradientEdit");
  FGradient.Edit->setToolTip("Breite des weichen Randes in Prozent des Pinsels");
  connect(FGradient.Up, &QToolButton::clicked, this, [this] { StepGradient(true); });
  connect(FGradient.Down, &QToolButton::clicked, this, [this] { StepGradient(false); });
  Add(0, "Verlauf:", FGradient.Box);
  FShape = new QComboBox(this);
  FShape->setObjectName("ShapeBox");
  for (const char* name : RRBrushShapeNames) FShape->addItem(name);
  connect(FShape, &QComboBox::activated, this, [this] { ReadSettings(); });
  Add(0, "Form:", FShape);

  FStart = new QPushButton(RRTextHeightMode, this);
  FStart->setObjectName("StartBtn");
  FStart->setCheckable(true);
  // The mode is on while the button is down: shown plainly.
  FStart->setMinimumWidth(FStart->sizeHint().width() + 16);
  FStart->setStyleSheet(RRModeButtonStyle);
  FStart->setToolTip("Punkte der Bodenplatte markieren und ihre Höhe ändern");
  connect(FStart, &QPushButton::toggled, this, [this](bool on) { StartBrush(on); });
  AddWide(1, FStart);

  FImport = new QPushButton("Höhenfeld importieren", this);
  FImport->setObjectName("ImportBtn");
  connect(FImport, &QPushButton::clicked, this, [this] {
    // The dialog opens after the click is done.
    setEnabled(false);
    QTimer::singleShot(0, this, [this] {
      setEnabled(true);
      ImportHeights();
    });
  });
  AddWide(1, FImport);
  FExport = new QPushButton("Höhenfeld exportieren", this);
  FExport->setObjectName("ExportBtn");
  connect(FExport, &QPushButton::clicked, this, [this] { ExportHeights(); });
  AddWide(1, FExport);

  FHeightPanel = new QGroupBox("Selektion", this);
  FHeightPanel->setObjectName("HeightPanel");
  auto* g = new QGridLayout(FHeightPanel);
  g->setContentsMargins(6, 4, 6, 4);
  g->setVerticalSpacing(3);
  g->addWidget(new QLabel("Aktuelle Höhe:", FHeightPanel), 0, 0);
  FSelection = new QLabel(FHeightPanel);
  FSelection->setObjectName("SelectionLbl");
  g->addWidget(FSelection, 0, 1, 1, 2);
  g->addWidget(new QLabel("Neue Höhe:", FHeightPanel), 1, 0);
  FHeight = new QLineEdit(FHeightPanel);
  FHeight->setObjectName("HeightEdit");
  FHeight->setAlignment(Qt::AlignRight);
  FHeight->setMaximumWidth(90);
  connect(FHeight, &QLineEdit::returnPressed, this, [this] { CommitHeight(); });
  g->addWidget(FHeight, 1, 1);
  FHeightUnit = new QLabel("cm", FHeightPanel);
  g->addWidget(FHeightUnit, 1, 2);
  FHeightPanel->setVisible(false);
  Grid()->addWidget(FHeightPanel, 0, 6, 3, 2);

  FTimer = new QTimer(this);
  FTimer->setInterval(250);
  connect(FTimer, &QTimer::timeout, this, [this] { ShowSelection(); });
  ShowSettings();
}

TPanelHeightMenu::~TPanelHeightMenu() { StopBrush(); }

TRRPanel* TPanelHeightMenu::Panel() const {
  const std::vector<TRREntity*> all = Entities();
  return all.size() == 1 ? dynamic_cast<TRRPanel*>(all.front()) : nullptr;
}

void TPanelHeightMenu::ShowSettings() {
  const TRRBrushSettings& s = HeightSettings();
  const QString unit = QString::fromUtf8(RRPageLengthUnit().Name);
  FWidth.Unit->setText(unit);
  FHeightUnit->setText(unit);
  Show(FWidth.Edit, rr::Show(s.Size), true);
  Show(FGradient.Edit, QString::number(RRGradientUpDownPosition(s.Gradient)), true);
  FShape->setCurrentIndex(std::clamp(s.Shape, 0, FShape->count() - 1));
}

void TPanelHeightMenu::ApplySettings() {
  const TRRBrushSettings& s = HeightSettings();
  if (FModifier) FModifier->SetHeightBrush(s.Shape, s.Gradient, s.Size * 0.5f);
}

void TPanelHeightMenu::ReadSettings() {
  TRRBrushSettings& s = HeightSettings();
  s.Size = RRBrushSizeFromText(FWidth.Edit->text().toStdString(), RRPageLengthUnit(), s.Size);
  s.Gradient = RRBrushGradientFromText(FGradient.Edit->text().toStdString(), s.Gradient);
  s.Shape = std::max(0, FShape->currentIndex());
  ShowSettings();
  ApplySettings();
}

void TPanelHeightMenu::StepSize(bool up) {
  TRRBrushSettings& s = HeightSettings();
  s.Size = RRBrushSizeStep(FWidth.Edit->text().toStdString(), RRPageLengthUnit(), s.Size, up);
  Show(FWidth.Edit, rr::Show(s.Size), true);
  ReadSettings();
}

void TPanelHeightMenu::StepGradient(bool up) {
  TRRBrushSettings& s = HeightSettings();
  const int pos = std::clamp(RRGradientUpDownPosition(s.Gradient) + (up ? 1 : -1), 0, 100);
  Show(FGradient.Edit, QString::number(pos), true);
  ReadSettings();
}

void TPanelHeightMenu::RefreshPage(bool force) {
  const bool one = Panel() != nullptr;
  FStart->setEnabled(one);
  FImport->setEnabled(one);
  FExport->setEnabled(one);
  if (force) ShowSettings();
  ShowSelection();
}

void TPanelHeightMenu::StartBrush(bool on) {
  if (!on) {
    StopBrush();
    return;
  }
  StopBrush(false);
  TRRPanel* panel = Panel();
  TRREntityManager* m = Project() && Project()->IsOpen() ? Project()->Manager() : nullptr;
  if (!panel || !m) {
    const QSignalBlocker block(FStart);
    FStart->setChecked(false);
    return;
  }
  FModifier = std::make_unique<TRRPanelModifier>(*panel, 1);
  m->AddModifier(FModifier.get(), -1);
  ReadSettings();
  if (GHints)
    GHints->Show("panel-height-mode", RRHintTitle, RRTextHeightModeHint,
                 FStart->mapToGlobal(QPoint(FStart->width() / 2, FStart->height())));
  ShowSelection();
}

void TPanelHeightMenu::StopBrush(bool release) {
  if (FModifier) {
    // Freed while the manager it works with still exists (an open command is pushed then).
    if (TRREntityManager* m = Project() ? Project()->Manager() : nullptr) m->RemoveModifier(FModifier.get());
    FModifier.reset();
  }
  if (release && FStart && FStart->isChecked()) {
    const QSignalBlocker block(FStart);
    FStart->setChecked(false);
  }
  if (FHeightPanel) FHeightPanel->setVisible(false);
}

void TPanelHeightMenu::Leave() { StopBrush(); }

void TPanelHeightMenu::Tick() {
  // Undo made the panel anew: the brush on the old one does nothing any more.
  if (FModifier && !FModifier->Panel()) StopBrush();
  Refresh(false);
}

void TPanelHeightMenu::showEvent(QShowEvent* event) {
  TEntityPage::showEvent(event);
  ShowSelection();
  FTimer->start();
}

void TPanelHeightMenu::hideEvent(QHideEvent* event) {
  FTimer->stop();
  StopBrush();
  TEntityPage::hideEvent(event);
}

void TPanelHeightMenu::ShowSelection() {
  const bool marks = FModifier && FModifier->Panel() && FModifier->HasMarks();
  FHeightPanel->setVisible(marks);
  if (!marks) return;
  float low = 0, high = 0;
  FModifier->MarkedHeightRange(low, high);
  FSelection->setText(QString("%1 bis %2 %3").arg(rr::Show(low), rr::Show(high),
                                                    QString::fromUtf8(RRPageLengthUnit().Name)));
}

void TPanelHeightMenu::CommitHeight() {
  const std::optional<float> h = RRMarkedHeightFromText(FHeight->text().toStdString(), RRPageLengthUnit());
  if (!h || !FModifier || !FModifier->Panel()) return;
  FHeight->setText(rr::Show(*h));
  // One command: the marked points take the height by their marks.
  RRPanelSetMarkedHeights(*FModifier, *h);
  ShowSelection();
  FHeight->clear();
}

void TPanelHeightMenu::ExportHeights() {
  TRRPanel* p = Panel();
  if (!p || !Global()) return;
  TRRFileDialogOptions o;
  o.Title = "Datei und Format wählen";
  o.Filters = {{"Graustufenbild (*.bmp)", "*.bmp"},
               {"Graustufenbild (*.png)", "*.png"},
               {"Kommagetrennte Textdatei (*.csv)", "*.csv"}};
  o.DefaultExtension = "bmp";
  const std::optional<std::string> file = Global()->UI().SaveFileDialog(o);
  if (!file || file->empty()) return;
  const std::string shown = QFileInfo(QString::fromStdString(*file)).fileName().toStdString();
  bool ok = false;
  try {
    float low = 0, high = 0;
    const std::vector<uint8_t> bytes = RRExportPanelHeights(*p, RRHeightExportFormatOf(*file), low, high);
    std::ofstream out(*file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    ok = !out.fail();
  } catch (const std::exception&) {
    ok = false;
  }
  if (ok)
    Global()->UI().ShowMessage(std::string(RRTextHeightExportDone1) + shown + RRTextHeightExportDone2, "Export",
                               TRRMessageIcon::Information);
  else
    Global()->UI().ShowMessage(std::string(RRTextHeightExportFailed) + shown + ".", "Fehler", TRRMessageIcon::Error);
}

void TPanelHeightMenu::ImportHeights() {
  TRRPanel* p = Panel();
  if (!p) return;
  // The dialog's preview works on a copy of the panel.
  TPanelHeightImport dialog(p->CreateDescription(), this);
  if (dialog.exec() != QDialog::Accepted || !dialog.Loaded()) return;
  // The panel may have gone while the dialog was open.
  p = Panel();
  if (!p) return;
  // A running brush works on the old heights: it ends first.
  StopBrush();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  // In place, as one command: the panel keeps its ID and the heights are the preview's.
  std::unique_ptr<TRRCommand> command = RRPanelOpenCommand(*p);
  std::string failure;
  try {
    dialog.ApplyTo(*p);
  } catch (const std::exception& e) {
    failure = e.what();
  }
  // Whatever changed before a failure stays undoable.
  RRPanelPushCommand(std::move(command), *p);
  QApplication::restoreOverrideCursor();
  if (!failure.empty() && Global()) Global()->UI().ShowMessage(failure, "Fehler", TRRMessageIcon::Error);
  Refresh(true);
}

// ---- the import dialog ----------------------------------------------------------------------

TPanelHeightImport::TPanelHeightImport(std::unique_ptr<TRREntityDescription> panel, QWidget* parent)
    : QDialog(parent), FPanel(std::move(panel)) {
  // The preview's panel is an object of its own, not the layout's.
  if (FPanel) FPanel->SetAssetID(gx::TGXGuid::NewGuid());
  setObjectName("HeightImportDialog");
  setWindowTitle("Höhenfeld importieren");
  auto* v = new QVBoxLayout(this);
  v->addWidget(new QLabel("Geben Sie die Eigenschaften für das Höhenfeld an.", this));
  auto* g = new QGridLayout;
  v->addLayout(g);
  const QString unit = QString::fromUtf8(RRPageLengthUnit().Name);
  auto edit = [this](const QString& text) {
    auto* e = new QLineEdit(text, this);
    e->setAlignment(Qt::AlignRight);
    e->setMaximumWidth(90);
    return e;
  };
  g->addWidget(new QLabel("Dateiname:", this), 0, 0);
  FName = new QLineEdit(this);
  FName->setObjectName("FileNameEdit");
  FName->setReadOnly(true);
  FOpen = new QPushButton("…", this);
  FOpen->setObjectName("OpenBtn");
  auto* nameRow = new QHBoxLayout;
  nameRow->addWidget(FName, 1);
  nameRow->addWidget(FOpen);
  g->addLayout(nameRow, 0, 1);
  FRangeLabel = new QLabel("Höhenbereich:", this);
  g->addWidget(FRangeLabel, 1, 0);
  FRange = new QWidget(this);
  auto* range = new QHBoxLayout(FRange);
  range->setContentsMargins(0, 0, 0, 0);
  FLow = edit(rr::Show(0));
  FLow->setObjectName("LowEdit");
  FHigh = edit(rr::Show(100));
  FHigh->setObjectName("HighEdit");
  range->addWidget(FLow);
  range->addWidget(new QLabel("bis", FRange));
  range->addWidget(FHigh);
  range->addWidget(new QLabel(unit, FRange));
  range->addStretch(1);
  g->addWidget(FRange, 1, 1);
  g->addWidget(new QLabel("Ursprung:", this), 2, 0);
  auto* origin = new QHBoxLayout;
  FX = edit("0");
  FX->setObjectName("OriginXEdit");
  FY = edit("0");
  FY->setObjectName("OriginYEdit");
  origin->addWidget(FX);
  origin->addWidget(FY);
  origin->addWidget(new QLabel(unit, this));
  origin->addStretch(1);
  g->addLayout(origin, 2, 1);
  FRecompute = new QTimer(this);
  FRecompute->setSingleShot(true);
  FRecompute->setInterval(500);
  connect(FRecompute, &QTimer::timeout, this, [this] { Recompute(); });
  for (QLineEdit* e : {FLow, FHigh, FX, FY})
    connect(e, &QLineEdit::textChanged, FRecompute, qOverload<>(&QTimer::start));
  if (FPanel) {
    FPreviewView = new TRRPreviewView(300, 200, this);
    FPreviewView->setObjectName("PreviewView");
    // It draws only while the dialog is shown.
    FPreviewView->Stop();
    v->addWidget(FPreviewView, 0, Qt::AlignHCenter);
  }
  FHint = new QLabel(this);
  FHint->setObjectName("HintLbl");
  FHint->setWordWrap(true);
  v->addWidget(FHint);
  FRange->setVisible(false);
  FRangeLabel->setVisible(false);
  FHint->setVisible(false);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Cancel)->setText("Abbrechen");
  v->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(FOpen, &QPushButton::clicked, this, [this] {
    if (!Global()) return;
    TRRFileDialogOptions o;
    o.Title = "Höhenfeld wählen";
    o.Filters = {{"Alle Formate", "*.bmp;*.png;*.jpg;*.jpeg;*.csv"},
                 {"Graustufenbild (*.bmp, *.png, *.jpg)", "*.bmp;*.png;*.jpg;*.jpeg"},
                 {"Kommagetrennte Textdatei (*.csv)", "*.csv"}};
    const std::optional<std::string> file = Global()->UI().OpenFileDialog(o);
    if (file && !file->empty()) Load(*file);
  });
}

bool TPanelHeightImport::Load(const std::string& fileName) {
  TRRHeightFile file;
  bool ok = false;
  try {
    std::ifstream in(fileName, std::ios::binary);
    if (in) {
      const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (!in.bad()) {
        file = RRReadHeightFile(data, RRHeightFileKindOf(fileName));
        ok = true;
      }
    }
  } catch (const std::exception&) {
    ok = false;
  }
  if (!ok) {
    if (Global())
      Global()->UI().ShowMessage(RRTextHeightFileNotLoaded, RRTextHeightFileInvalidCaption, TRRMessageIcon::Error);
    return false;
  }
  FFile = std::move(file);
  FLoaded = true;
  const bool picture = FFile.Kind == TRRHeightFileKind::Picture;
  FName->setText(QFileInfo(QString::fromStdString(fileName)).fileName());
  FRange->setVisible(picture);
  FRangeLabel->setVisible(picture);
  FHint->setText(picture ? "Jeder Pixel im Höhenfeld entspricht einem Rasterpunkt auf der Bodenplatte."
                         : "Jede Zeile im Höhenfeld entspricht einem Rasterpunkt auf der Bodenplatte.");
  FHint->setVisible(true);
  Recompute();
  return true;
}

float TPanelHeightImport::Low() const {
  const std::optional<double> v = RRReadLength(FLow->text(), RRHeightImportMin, RRHeightImportMax);
  return v ? float(*v) : 0.0f;
}

float TPanelHeightImport::High() const {
  const std::optional<double> v = RRReadLength(FHigh->text(), RRHeightImportMin, RRHeightImportMax);
  return v ? float(*v) : 100.0f;
}

double TPanelHeightImport::OriginX() const {
  return RRReadLength(FX->text(), -RRPageMaxPosition, RRPageMaxPosition).value_or(0.0);
}

double TPanelHeightImport::OriginY() const {
  return RRReadLength(FY->text(), -RRPageMaxPosition, RRPageMaxPosition).value_or(0.0);
}

TPanelHeightImport::~TPanelHeightImport() {
  FRecompute->stop();
  if (FPreviewView) FPreviewView->Stop();
}

TRRHeightImportSettings TPanelHeightImport::Settings(uint32_t grid) const {
  TRRHeightImportSettings s;
  s.X0 = RRHeightImportOrigin(OriginX(), std::max<uint32_t>(grid, 1));
  s.Y0 = RRHeightImportOrigin(OriginY(), std::max<uint32_t>(grid, 1));
  s.Low = Low();
  s.High = High();
  return s;
}

void TPanelHeightImport::ApplyTo(TRRPanel& panel) const {
  if (!FLoaded) return;
  const TRRHeightImportSettings s = Settings(panel.Params().QuadWidth);
  RRImportPanelHeights(panel, FFile, s.Low, s.High, s.X0, s.Y0);
}

TRRPanel* TPanelHeightImport::PreviewPanel() const {
  TRRPreviewRenderWindow* preview = FPreviewView ? FPreviewView->Preview() : nullptr;
  return preview ? dynamic_cast<TRRPanel*>(preview->Object()) : nullptr;
}

void TPanelHeightImport::Recompute() {
  FRecompute->stop();
  TRRPanel* panel = PreviewPanel();
  if (!panel || !FLoaded) return;
  try {
    ApplyTo(*panel);
  } catch (const std::exception&) {
    // The preview keeps what it showed; the page's import reports its own failure.
    return;
  }
  // Look at the new heights (their box may have grown far beyond the flat board).
  gx::TGXNode* top = panel;
  while (top->Parent()) top = top->Parent();
  top->Update(false);
  FPreviewView->Preview()->Camera().SetTarget(panel->WorldBounds());
  FPreviewView->Step();
}

std::unique_ptr<TRREntityDescription> TPanelHeightImport::Result() const {
  TRRPanel* panel = PreviewPanel();
  if (!panel || !FLoaded || !FPanel) return nullptr;
  std::unique_ptr<TRREntityDescription> result = panel->CreateDescription();
  if (!result) return nullptr;
  result->SetID(FPanel->ID());
  result->SetPosition(FPanel->Position());
  result->SetRotation(FPanel->Rotation());
  return result;
}

void TPanelHeightImport::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!FPreviewView || !FPreviewView->Preview()) return;
  if (!FShown) {
    FShown = true;
    try {
      FPreviewView->Preview()->Show(FPanel.get());
    } catch (const std::exception&) {
      return;
    }
    Recompute();
  }
  FPreviewView->Start();
}

void TPanelHeightImport::accept() {
  // Nothing read: the same as cancelling.
  if (!FLoaded) {
    reject();
    return;
  }
  // A change still waiting for its timer: the preview shows what OK takes.
  if (FRecompute->isActive()) Recompute();
  QDialog::accept();
}

void TPanelHeightImport::done(int result) {
  FRecompute->stop();
  if (FPreviewView) FPreviewView->Stop();
  QDialog::done(result);
}

}  // namespace rr
