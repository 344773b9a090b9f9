#include "gui/catalog/TrackFilterWindow.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <string>

namespace rr {

TTrackFilterWindow::TTrackFilterWindow(QWidget* parent, const TRRTrackParameters& filter) : QDialog(parent) {
  setWindowTitle("Gleisfilter");
  setObjectName("Gleisfilter");
  FFilter.Assign(filter);
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel("Wählen Sie den gewünschten Gleishersteller, die Spurweite sowie das Gleissystem.", this);
  text->setWordWrap(true);
  layout->addWidget(text);
  auto* grid = new QGridLayout;
  const char* titles[3] = {"Hersteller:", "Spurweite:", "Gleissystem:"};
  for (int i = 0; i < 3; ++i) {
    grid->addWidget(new QLabel(titles[i], this), 0, i);
    FLists[i] = new QListWidget(this);
    grid->addWidget(FLists[i], 1, i);
    connect(FLists[i], &QListWidget::itemChanged, this, [this, i](QListWidgetItem* item) {
      if (FFilling) return;
      const std::string name = item->text().toStdString();
      const bool on = item->checkState() == Qt::Checked;
      if (i == 0) on ? FFilter.AddManufacturer(name, false) : FFilter.RemoveManufacturer(name);
      if (i == 1) on ? FFilter.AddTrackWidth(name, false) : FFilter.RemoveTrackWidth(name);
      if (i == 2) on ? FFilter.AddTrackSystem(name, false) : FFilter.RemoveTrackSystem(name);
      Fill();
    });
  }
  layout->addLayout(grid, 1);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  buttons->addButton("Abbrechen", QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(620, 360);
  Fill();
}

void TTrackFilterWindow::Fill() {
  FFilling = true;
  using TOption = bool (TRRTrackParameters::*)(int, std::string&);
  using THas = bool (TRRTrackParameters::*)(std::string_view) const;
  const TOption options[3] = {&TRRTrackParameters::GetManufacturerOption, &TRRTrackParameters::GetTrackWidthOption,
                              &TRRTrackParameters::GetTrackSystemOption};
  const THas has[3] = {&TRRTrackParameters::HasManufacturer, &TRRTrackParameters::HasTrackWidth,
                       &TRRTrackParameters::HasTrackSystem};
  for (int i = 0; i < 3; ++i) {
    FLists[i]->clear();
    std::string name;
    for (int k = 0; (FFilter.*options[i])(k, name); ++k) {
      auto* item = new QListWidgetItem(QString::fromStdString(name), FLists[i]);
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState((FFilter.*has[i])(name) ? Qt::Checked : Qt::Unchecked);
    }
  }
  FFilling = false;
}

}  // namespace rr
