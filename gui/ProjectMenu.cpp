#include "gui/ProjectMenu.h"

#include <QHeaderView>
#include <QLabel>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/RRDatabase.h"
#include "app/entities/RREntityDescription.h"
#include "gui/pages/EntityMenu.h"

namespace rr {

namespace {

void AddNode(const TRRAssetNode& node, QTreeWidgetItem* parent, int& entries) {
  for (int i = 0; i < node.ChildCount(); ++i) {
    auto* folder = new QTreeWidgetItem(parent, {QString::fromStdString(node.Child(i)->Name().GetText())});
    AddNode(*node.Child(i), folder, entries);
  }
  for (TRREntityDescription* d : node.Descriptions()) {
    new QTreeWidgetItem(parent, {QString::fromStdString(d->Name().GetText())});
    ++entries;
  }
}

}  // namespace

TRRProjectMenu::TRRProjectMenu(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  FTabs = new QTabWidget(this);
  FTabs->setDocumentMode(true);
  FCatalogue = new QTreeWidget(FTabs);
  FCatalogue->setHeaderHidden(true);
  FCatalogue->setRootIsDecorated(true);
  FTabs->addTab(FCatalogue, "Katalog");
  FEntityMenu = new TRREntityMenu(FTabs);
  FTabs->addTab(FEntityMenu, "Objekt");
  layout->addWidget(FTabs);
  ShowSelection(nullptr);
}

void TRRProjectMenu::FillCatalogue(const TRRDatabase& database) {
  FCatalogue->clear();
  FEntries = 0;
  for (int i = 0; i < database.Count(); ++i) {
    const TRRAsset& a = *database.Item(i);
    auto* package = new QTreeWidgetItem(FCatalogue, {QString::fromStdString(a.Name().GetText())});
    AddNode(a.Root(), package, FEntries);
  }
}

void TRRProjectMenu::ShowSelection(TRRProject* project) { FEntityMenu->ShowSelection(project); }

void TRRProjectMenu::SettingsChanged() {
  FEntityMenu->Refresh();
  update();
}

QString TRRProjectMenu::SelectionText() const { return FEntityMenu->Summary(); }

}  // namespace rr
