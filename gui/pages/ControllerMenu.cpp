#include "gui/pages/ControllerMenu.h"

#include <QLabel>
#include <QSlider>
#include <cmath>

#include "app/entities/RRController.h"

namespace rr {

TControllerMenu::TControllerMenu(QWidget* parent) : TEntityPage(TRREntityPageKind::Controller, true, parent) {
  FValue = new QSlider(Qt::Horizontal, this);
  FValue->setObjectName("ValueBar");
  FValue->setRange(0, 100);
  FValue->setMinimumWidth(120);
  FValueLabel = new QLabel(this);
  FValueLabel->setMinimumWidth(40);
  Add(2, "Wert:", FValue, FValueLabel);
  // One command when the bar is let go or moved by keys.
  auto commit = [this] {
    auto* c = dynamic_cast<TRRController*>(First());
    if (Filling() || !c || FValue->isSliderDown()) return;
    const float value = static_cast<float>(FValue->value()) / 100.0f;
    if (std::fabs(value - c->Value()) < 0.005f) return;
    // The target takes the value too, so it is part of the command.
    std::vector<TRREntity*> targets = {c};
    if (TRREntity* t = c->Target(); t && t != c) targets.push_back(t);
    Change(targets, [c, value](TRREntity& e) {
      if (&e == c) static_cast<TRRController&>(e).SetValue(value);
    });
    Refresh(true);
  };
  connect(FValue, &QSlider::valueChanged, this, commit);
  connect(FValue, &QSlider::sliderReleased, this, commit);
  FTarget = new QLabel(this);
  FTarget->setObjectName("TargetLabel");
  Add(2, "Steuert:", FTarget);
  FHelp = new QLabel(this);
  FHelp->setEnabled(false);
  FHelp->setWordWrap(false);
  Grid()->addWidget(FHelp, 0, 9, 5, 1, Qt::AlignTop);
}

void TControllerMenu::RefreshPage(bool) {
  auto* c = Entities().size() == 1 ? dynamic_cast<TRRController*>(First()) : nullptr;
  FValue->setEnabled(c != nullptr);
  const float value = c ? c->Value() : 0;
  if (!FValue->isSliderDown()) FValue->setValue(static_cast<int>(std::lround(value * 100)));
  FValueLabel->setText(QString("%1 %").arg(static_cast<int>(std::lround(value * 100))));
  TRREntity* target = c ? c->Target() : nullptr;
  FTarget->setText(target ? QString::fromStdString(target->Name()) : QString("(nichts)"));
  FHelp->setText(!c ? QString() : c->Kind() == RRControllerToggle ? RRTextToggleHelp : RRTextRegulatorHelp);
}

}  // namespace rr
