#include "gui/ProjectMenu.h"

#include <QTabWidget>
#include <QVBoxLayout>

#include "app/RRDatabase.h"
#include "app/entities/RREntityDescription.h"
#include "gui/catalog/CatalogMenu.h"
#include "gui/pages/EntityMenu.h"

namespace rr {

TRRProjectMenu::TRRProjectMenu(TRRDatabase& database, IRRUIService& ui, QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  FTabs = new QTabWidget(this);
  FTabs->setDocumentMode(true);
  FCatalogue = new TRRCatalogMenu(database, ui, FTabs);
  FTabs->addTab(FCatalogue, "Katalog");
  FEntityMenu = new TRREntityMenu(FTabs);
  FTabs->addTab(FEntityMenu, "Objekt");
  layout->addWidget(FTabs);
  ShowSelection(nullptr);
}

void TRRProjectMenu::FillCatalogue() { FCatalogue->Refresh(); }

int TRRProjectMenu::CatalogueEntryCount() const { return FCatalogue->EntryCount(); }

void TRRProjectMenu::ShowSelection(TRRProject* project) { FEntityMenu->ShowSelection(project); }

void TRRProjectMenu::SettingsChanged() {
  FEntityMenu->Refresh();
  update();
}

QString TRRProjectMenu::SelectionText() const { return FEntityMenu->Summary(); }

}  // namespace rr
