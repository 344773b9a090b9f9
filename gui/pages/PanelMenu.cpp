#include "gui/pages/PanelMenu.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <exception>

#include "app/entities/panel/RRPanel.h"
#include "app/RRGlobal.h"
#include "app/RRUIService.h"
#include "app/entities/panel/RRPanelEdits.h"
#include "app/entities/panel/RRPanelShape.h"
#include "gui/ProjectPanelWindow.h"

namespace rr {

namespace {

TRRPanel* AsPanel(TRREntity* e) { return e ? dynamic_cast<TRRPanel*>(e) : nullptr; }


}  // namespace

TPanelMenu::TPanelMenu(QWidget* parent) : TEntityPage(TRREntityPageKind::Panel, true, parent) {
  FHeight = NumberEdit([this](const QString& text) {
    TRRPanel* p = AsPanel(First());
    const std::optional<double> v = RRReadLength(text, RRPanelMinThickness, RRPanelMaxThickness);
    if (!p || !v || static_cast<float>(*v) == p->Params().Thickness) return;
    // The panel's own edit: one command with the panel's shared-block snapshots.
    RRPanelSetThickness(*p, static_cast<float>(*v));
  });
  FHeight->setObjectName("HeightEdit");
  FHeightUnit = new QLabel(this);
  Add(2, "Dicke:", FHeight, FHeightUnit);
  FTransparent = new QCheckBox(RRTextTransparent, this);
  FTransparent->setObjectName("TransparentCheck");
  FTransparent->setToolTip(RRTextTransparentHint);
  connect(FTransparent, &QCheckBox::clicked, this, [this](bool on) {
    TRRPanel* p = AsPanel(First());
    if (Filling() || !p || p->Transparent() == on) return;
    RRPanelSetTransparent(*p, on);
    Refresh(true);
  });
  AddWide(2, FTransparent);
  FAssistant = new QPushButton("Assistent", this);
  FAssistant->setObjectName("AssistantBtn");
  FAssistant->setToolTip("Grundform, Maße und Raster der Bodenplatte ändern");
  connect(FAssistant, &QPushButton::clicked, this, [this] { RunAssistant(); });
  AddWide(2, FAssistant);
}

void TPanelMenu::RefreshPage(bool force) {
  TRRPanel* p = Entities().size() == 1 ? AsPanel(First()) : nullptr;
  FHeightUnit->setText(RRLengthUnit());
  FHeight->setEnabled(p != nullptr);
  Show(FHeight, p ? RRShowLength(p->Params().Thickness) : QString(), force);
  FTransparent->setEnabled(p != nullptr);
  FTransparent->setChecked(p && p->Transparent());
  // A record of an unknown shape (read from a file) has no outline the assistant could show.
  FAssistant->setEnabled(p != nullptr && p->Params().Shape <= 3);
}

void TPanelMenu::RunAssistant() {
  TRRPanel* p = Entities().size() == 1 ? AsPanel(First()) : nullptr;
  if (!p || p->Params().Shape > 3) return;
  TProjectPanelWindow dialog(p->Params(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  // Undo or an automation client may have made the panel anew (or taken it) meanwhile.
  p = Entities().size() == 1 ? AsPanel(First()) : nullptr;
  if (!p) return;
  TRRPanelParams wanted = dialog.Shape();
  wanted.Thickness = p->Params().Thickness;
  if (RRSamePanelOutline(wanted, p->Params()) && wanted.QuadWidth == p->Params().QuadWidth) return;
  try {
    RRPanelReshape(*p, wanted);
  } catch (const std::exception& e) {
    if (Global()) Global()->UI().ShowMessage(e.what(), "Fehler", TRRMessageIcon::Error);
  }
  Refresh(true);
}

}  // namespace rr
