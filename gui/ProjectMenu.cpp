#include "gui/ProjectMenu.h"

#include <QHeaderView>
#include <QLabel>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/RRDatabase.h"
#include "app/RREntitySelection.h"
#include "app/RRGlobal.h"
#include "app/entities/RREntity.h"
#include "app/entities/RREntityDescription.h"
#include "gui/catalog/CatalogMenu.h"

namespace rr {

TRRProjectMenu::TRRProjectMenu(TRRDatabase& database, IRRUIService& ui, QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  FTabs = new QTabWidget(this);
  FTabs->setDocumentMode(true);
  FCatalogue = new TRRCatalogMenu(database, ui, FTabs);
  FTabs->addTab(FCatalogue, "Katalog");
  FSelection = new QLabel(FTabs);
  FSelection->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  FSelection->setMargin(8);
  FSelection->setTextFormat(Qt::PlainText);
  FTabs->addTab(FSelection, "Objekt");
  layout->addWidget(FTabs);
  ShowSelection(nullptr);
}

void TRRProjectMenu::FillCatalogue() { FCatalogue->Refresh(); }

int TRRProjectMenu::CatalogueEntryCount() const { return FCatalogue->EntryCount(); }

void TRRProjectMenu::ShowSelection(const TRREntitySelection* selection) {
  if (!selection || selection->Empty()) {
    FSelection->setText("Keine Auswahl");
    return;
  }
  if (selection->Count() > 1) {
    FSelection->setText(QString("%1 Objekte ausgewählt").arg(selection->Count()));
    return;
  }
  const TRREntity* e = selection->First();
  const gx::TGXVector3 p = e->WorldPosition();
  const TRRGlobal* global = Global();
  auto length = [&](float v) {
    return global ? QString::fromStdString(global->FormatLength(v) + " " + global->LengthUnitName())
                  : QString::number(v) + " cm";
  };
  FSelection->setText(QString("%1\nPosition: %2, %3, %4")
                          .arg(QString::fromStdString(e->Name()), length(p.x), length(p.y), length(p.z)));
}

void TRRProjectMenu::SettingsChanged() { update(); }

QString TRRProjectMenu::SelectionText() const { return FSelection->text(); }

}  // namespace rr
