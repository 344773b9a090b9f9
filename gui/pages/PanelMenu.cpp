#include "gui/pages/PanelMenu.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/entities/panel/RRPanel.h"
#include "app/entities/panel/RRPanelEdits.h"

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
  FAssistant->setEnabled(false);
  FAssistant->setToolTip("Die Form der Platte kann in dieser Version nicht geändert werden");
  AddWide(2, FAssistant);
}

void TPanelMenu::RefreshPage(bool force) {
  TRRPanel* p = Entities().size() == 1 ? AsPanel(First()) : nullptr;
  FHeightUnit->setText(RRLengthUnit());
  FHeight->setEnabled(p != nullptr);
  Show(FHeight, p ? RRShowLength(p->Params().Thickness) : QString(), force);
  FTransparent->setEnabled(p != nullptr);
  FTransparent->setChecked(p && p->Transparent());
}

}  // namespace rr
