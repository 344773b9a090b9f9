#include "gui/pages/SignalMenu.h"

#include <QComboBox>
#include <QLabel>

#include "app/entities/RRSignal.h"

namespace rr {

TSignalMenu::TSignalMenu(QWidget* parent) : TEntityPage(TRREntityPageKind::Signal, true, parent) {
  FState = new QComboBox(this);
  FState->setObjectName("StateBox");
  FState->addItems({"Fahrt", "Halt"});
  connect(FState, &QComboBox::activated, this, [this](int index) {
    auto* s = dynamic_cast<TRRSignal*>(First());
    if (Filling() || !s || index < 0 || index > 1 || index == s->SignalState()) return;
    Change({s}, [index](TRREntity& e) { static_cast<TRRSignal&>(e).SetSignalState(static_cast<uint8_t>(index)); });
    Refresh(true);
  });
  Add(2, "Stellung:", FState);
  auto* hint = new QLabel("Leertaste: Stellung wechseln", this);
  hint->setEnabled(false);
  AddWide(2, hint);
}

void TSignalMenu::RefreshPage(bool) {
  auto* s = Entities().size() == 1 ? dynamic_cast<TRRSignal*>(First()) : nullptr;
  FState->setEnabled(s != nullptr);
  FState->setCurrentIndex(s ? (s->SignalState() != RRSignalOpen ? 1 : 0) : -1);
}

}  // namespace rr
