#include "gui/events/EventGroupWindow.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/RREvents.h"
#include "app/RRUIService.h"

namespace rr {

bool RRCheckEventName(const QString& name, IRRUIService& ui) {
  if (!name.trimmed().isEmpty()) return true;
  ui.ShowMessage(RRTextInvalidName, RRTextInputError, TRRMessageIcon::Error);
  return false;
}

TEventGroupWindow::TEventGroupWindow(TRREventGroup& group, IRRUIService& ui, QWidget* parent)
    : QDialog(parent), FGroup(group), FUI(ui) {
  setWindowTitle("Ereignisgruppe");
  auto* form = new QFormLayout;
  FName = new QLineEdit(QString::fromStdString(group.Name()));
  form->addRow("Name:", FName);
  FEnabled = new QCheckBox("Ereignisgruppe aktivieren");
  FEnabled->setChecked(group.Enabled());
  form->addRow(FEnabled);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  FOk = buttons->button(QDialogButtonBox::Ok);
  FOk->setText("OK");
  buttons->button(QDialogButtonBox::Cancel)->setText("Abbrechen");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  setMinimumWidth(340);
}

void TEventGroupWindow::accept() {
  if (!RRCheckEventName(FName->text(), FUI)) {
    FName->setFocus();
    return;
  }
  FGroup.SetName(FName->text().trimmed().toStdString());
  FGroup.SetEnabled(FEnabled->isChecked());
  QDialog::accept();
}

}  // namespace rr
