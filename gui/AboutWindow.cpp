#include "gui/AboutWindow.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "app/RRGlobal.h"
#include "app/RRShellState.h"

namespace rr {

TAboutWindow::TAboutWindow(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString("Über %1").arg(RRProductName));
  auto* root = new QVBoxLayout(this);
  auto* icon = new QLabel(this);
  icon->setPixmap(QApplication::windowIcon().pixmap(96, 96));
  icon->setAlignment(Qt::AlignHCenter);
  root->addWidget(icon);
  auto* text = new QLabel(this);
  text->setTextFormat(Qt::RichText);
  text->setAlignment(Qt::AlignHCenter);
  text->setOpenExternalLinks(false);
  text->setText(QString("<h2>%1</h2><p>Version %2</p><p>Planung von Modellbahnanlagen in 3D</p>"
                        "<p>%3<br>%4<br>%5</p>")
                    .arg(RRProductName, QString::fromStdString(TRRGlobal::ProgramVersion()), RRPublisherName,
                         RRPublisherWeb, RRPublisherMail));
  root->addWidget(text);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  root->addWidget(buttons);
}

}  // namespace rr
