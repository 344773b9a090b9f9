#include "gui/pages/ModelMenu.h"

#include <QCheckBox>
#include <QLineEdit>
#include <algorithm>

#include "app/RRUnits.h"
#include "app/entities/RRModel.h"

namespace rr {

namespace {

TRRModel* AsModel(TRREntity* e) { return e ? dynamic_cast<TRRModel*>(e) : nullptr; }

}  // namespace

TModelMenu::TModelMenu(TRREntityPageKind kind, QWidget* parent) : TEntityPage(kind, true, parent) {
  FPlay = new QCheckBox(RRTextPlayAnimation, this);
  FPlay->setObjectName("PlayCheck");
  connect(FPlay, &QCheckBox::clicked, this, [this](bool on) {
    if (Filling() || !AsModel(First())) return;
    Change({First()}, [on](TRREntity& e) {
      auto& m = static_cast<TRRModel&>(e);
      if (on)
        m.StartAnimation();
      else
        m.StopAnimation();
    });
    Refresh(true);
  });
  AddWide(2, FPlay);
  FLoop = new QCheckBox(RRTextLoopAnimation, this);
  FLoop->setObjectName("LoopCheck");
  connect(FLoop, &QCheckBox::clicked, this, [this](bool on) {
    if (Filling() || !AsModel(First())) return;
    Change({First()}, [on](TRREntity& e) { static_cast<TRRModel&>(e).SetLoop(on); });
    Refresh(true);
  });
  AddWide(2, FLoop);
  FSpeed = NumberEdit([this](const QString& text) {
    TRRModel* m = AsModel(First());
    const std::optional<double> v = RRParseDecimal(text.toStdString(), RRDecimalSeparator());
    if (!m || !v) return;
    const float speed = static_cast<float>(std::clamp(*v, -RRMaxAnimationSpeed, RRMaxAnimationSpeed));
    if (speed != m->Speed()) Change({m}, [speed](TRREntity& e) { static_cast<TRRModel&>(e).SetSpeed(speed); });
  });
  FSpeed->setObjectName("AnimationSpeedEdit");
  FSpeed->setToolTip("Abspielgeschwindigkeit der Animation (1 = normal)");
  Add(2, "Geschwindigkeit:", FSpeed);
}

void TModelMenu::RefreshPage(bool force) {
  const std::vector<TRREntity*> all = Entities();
  TRRModel* m = all.size() == 1 ? AsModel(all.front()) : nullptr;
  const bool animated = m && m->HasAnimation();
  for (QWidget* w : {static_cast<QWidget*>(FPlay), static_cast<QWidget*>(FLoop), static_cast<QWidget*>(FSpeed)})
    w->setEnabled(animated);
  FPlay->setChecked(animated && m->AnimationEnabled());
  FLoop->setChecked(animated && m->Loop());
  Show(FSpeed, m ? QString::fromStdString(RRFormatNumber(m->Speed())) : QString(), force);
}

}  // namespace rr
