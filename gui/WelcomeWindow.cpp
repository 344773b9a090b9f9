#include "gui/WelcomeWindow.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/RRShellState.h"

namespace rr {

TWelcomeWindow::TWelcomeWindow(const std::vector<std::string>& recent, bool showAtStart, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QString("Willkommen bei %1").arg(RRProductName));
  auto* root = new QVBoxLayout(this);
  auto* heading = new QLabel(QString("Willkommen bei %1").arg(RRProductName), this);
  QFont f = heading->font();
  f.setBold(true);
  f.setPointSizeF(f.pointSizeF() * 1.6);
  heading->setFont(f);
  root->addWidget(heading);
  root->addWidget(new QLabel("Zuletzt geöffnete Projekte:", this));
  FRecent = new QListWidget(this);
  for (const std::string& r : recent) {
    const QFileInfo info(QString::fromStdString(r));
    auto* item = new QListWidgetItem(info.completeBaseName(), FRecent);
    item->setToolTip(info.absoluteFilePath());
    if (!info.exists()) item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
  }
  connect(FRecent, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
    FRecentIndex = FRecent->row(item);
    Choose(OpenRecent);
  });
  root->addWidget(FRecent, 1);
  auto* buttons = new QHBoxLayout;
  auto add = [&](const char* caption, TChoice choice) {
    auto* b = new QPushButton(caption, this);
    connect(b, &QPushButton::clicked, this, [this, choice] { Choose(choice); });
    buttons->addWidget(b);
    return b;
  };
  add("Neues Projekt", NewProject)->setDefault(true);
  add("Projekt öffnen...", OpenProject);
  add("Beispielanlage öffnen", OpenSample);
  buttons->addStretch(1);
  auto* close = new QPushButton("Schließen", this);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  buttons->addWidget(close);
  root->addLayout(buttons);
  FShowAtStart = new QCheckBox("Dieses Fenster beim Start anzeigen", this);
  FShowAtStart->setChecked(showAtStart);
  root->addWidget(FShowAtStart);
  resize(520, 360);
}

bool TWelcomeWindow::ShowAtStart() const { return FShowAtStart->isChecked(); }

void TWelcomeWindow::Choose(TChoice choice) {
  FChoice = choice;
  accept();
}

}  // namespace rr
