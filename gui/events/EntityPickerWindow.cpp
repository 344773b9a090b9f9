#include "gui/events/EntityPickerWindow.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/entities/RREntity.h"
#include "gui/events/EventProperties.h"

namespace rr {

TEntityPickerWindow::TEntityPickerWindow(const TEventProperty& property, const TRREntityManager* entities,
                                         int32_t current, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle("Selektieren");
  FList = new QListWidget;
  auto add = [&](const std::string& text, int32_t id) {
    auto* item = new QListWidgetItem(QString::fromStdString(text), FList);
    item->setData(Qt::UserRole, id);
    if (id == current) FList->setCurrentItem(item);
  };
  add(RRPropertyEntityText(property, -1, entities), -1);
  for (const TRREntity* e : RRPropertyEntities(property, entities)) add(e->Name(), e->ID());
  if (!FList->currentItem()) FList->setCurrentRow(0);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setText("OK");
  buttons->button(QDialogButtonBox::Cancel)->setText("Abbrechen");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(FList, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(FList);
  layout->addWidget(buttons);
  resize(320, 380);
}

int32_t TEntityPickerWindow::ChosenID() const {
  const QListWidgetItem* item = FList->currentItem();
  return item ? item->data(Qt::UserRole).toInt() : -1;
}

}  // namespace rr
