#include "gui/catalog/PackageWindow.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace rr {

TPackageWindow::TPackageWindow(QWidget* parent, bool newPackage) : QDialog(parent), FNew(newPackage) {
  setWindowTitle("Paketkonfiguration");
  setObjectName("Paketkonfiguration");
  auto* form = new QFormLayout;
  FFile = new QLineEdit(this);
  FFile->setReadOnly(!newPackage);
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(FFile, 1);
  if (newPackage) {
    auto* browse = new QPushButton("...", this);
    browse->setToolTip("Datei wählen");
    connect(browse, &QPushButton::clicked, this, [this] {
      const QString file = QFileDialog::getSaveFileName(this, "Paketdatei", FFile->text(), "Pakete (*.vma)");
      if (!file.isEmpty()) FFile->setText(file);
    });
    fileRow->addWidget(browse);
  }
  form->addRow("Datei:", fileRow);
  FName = new QLineEdit(this);
  FAuthor = new QLineEdit(this);
  FDescription = new QPlainTextEdit(this);
  FDescription->setTabChangesFocus(true);
  form->addRow("Name:", FName);
  form->addRow("Autor:", FAuthor);
  form->addRow("Beschreibung:", FDescription);
  auto* buttons = new QDialogButtonBox(this);
  FOk = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  buttons->addButton("Abbrechen", QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  connect(FFile, &QLineEdit::textChanged, this, [this] { UpdateOk(); });
  connect(FName, &QLineEdit::textChanged, this, [this] { UpdateOk(); });
  resize(460, 280);
  UpdateOk();
}

void TPackageWindow::SetFields(const TFields& f) {
  FFile->setText(QString::fromStdString(f.File));
  FName->setText(QString::fromStdString(f.Name));
  FAuthor->setText(QString::fromStdString(f.Author));
  FDescription->setPlainText(QString::fromStdString(f.Description));
}

TPackageWindow::TFields TPackageWindow::Fields() const {
  QString file = FFile->text().trimmed();
  if (FNew && !file.isEmpty() && !file.endsWith(".vma", Qt::CaseInsensitive)) file += ".vma";
  return {file.toStdString(), FName->text().trimmed().toStdString(), FAuthor->text().trimmed().toStdString(),
          FDescription->toPlainText().toStdString()};
}

void TPackageWindow::UpdateOk() {
  FOk->setEnabled(!FName->text().trimmed().isEmpty() && (!FNew || !FFile->text().trimmed().isEmpty()));
}

}  // namespace rr
