#include "gui/pages/PanelHeightMenu.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

#include "app/RREntityManager.h"
#include "app/RRGlobal.h"
#include "app/RRProject.h"
#include "app/entities/panel/RRPanel.h"
#include "app/entities/panel/RRPanelEdits.h"
#include "app/entities/panel/RRPanelModifier.h"
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

}  // namespace rr
