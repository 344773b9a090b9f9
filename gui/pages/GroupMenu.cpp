#include "gui/pages/GroupMenu.h"

#include <QLabel>
#include <QPushButton>

#include "app/RREntityManager.h"
#include "app/RRProject.h"
#include "app/entities/RREntityGroup.h"

namespace rr {

TGroupMenu::TGroupMenu(QWidget* parent) : TEntityPage(TRREntityPageKind::Group, true, parent) {
  FCount = new QLabel(this);
  FCount->setObjectName("CountLabel");
  Add(2, "Inhalt:", FCount);
  FUngroup = new QPushButton("Gruppe auflösen", this);
  FUngroup->setObjectName("UngroupButton");
  connect(FUngroup, &QPushButton::clicked, this, [this] {
    if (Project() && Project()->Manager() && First()) Project()->Manager()->UngroupSelection();
  });
  AddWide(2, FUngroup);
}

void TGroupMenu::RefreshPage(bool) {
  TRREntity* g = Entities().size() == 1 ? First() : nullptr;
  FCount->setText(g ? QString("%1 Objekte").arg(g->ChildEntities().size()) : QString());
  FUngroup->setEnabled(g != nullptr);
}

TMultiSelectionMenu::TMultiSelectionMenu(QWidget* parent) : TEntityPage(TRREntityPageKind::Multi, true, parent) {
  FCount = new QLabel(this);
  FCount->setObjectName("CountLabel");
  Add(2, "Auswahl:", FCount);
}

void TMultiSelectionMenu::RefreshPage(bool) {
  FCount->setText(QString("%1 Objekte ausgewählt").arg(Entities().size()));
}

}  // namespace rr
