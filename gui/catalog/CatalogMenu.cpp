#include "gui/catalog/CatalogMenu.h"

#include <QDrag>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QMimeData>
#include <QPushButton>
#include <QSet>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "app/RRDatabase.h"
#include "app/RRUIService.h"
#include "app/entities/RREntity.h"
#include "app/entities/RREntityDescription.h"
#include "app/entities/track/RRTrackParameters.h"
#include "gui/catalog/PackageWindow.h"
#include "gui/catalog/PreviewBalloon.h"

namespace rr {

namespace {

constexpr int kKindRole = Qt::UserRole + 1;
constexpr int kObjectRole = Qt::UserRole + 2;

void* ObjectOf(const QTreeWidgetItem* item) {
  return item ? item->data(0, kObjectRole).value<void*>() : nullptr;
}
TRRCatalogItem KindOf(const QTreeWidgetItem* item) {
  return item ? TRRCatalogItem(item->data(0, kKindRole).toInt()) : TRRCatalogItem(0);
}

QTreeWidgetItem* MakeItem(QTreeWidgetItem* parent, const QString& text, TRRCatalogItem kind, void* object) {
  auto* item = new QTreeWidgetItem(parent, {text});
  item->setData(0, kKindRole, int(kind));
  item->setData(0, kObjectRole, QVariant::fromValue(object));
  if (kind == TRRCatalogItem::Entry) item->setFlags(item->flags() | Qt::ItemIsDragEnabled);
  return item;
}

// A path of item texts that finds the same place again after the tree was rebuilt.
QString PathOf(const QTreeWidgetItem* item) {
  QString path;
  for (; item; item = item->parent()) path = item->text(0) + QChar(0x1F) + path;
  return path;
}

}  // namespace

// The tree that starts drags of catalogue entries itself: the window must know of a drag when it
// starts (the entity is made on entering the view) and when it ends, dropped or not.
class TRRCatalogTree : public QTreeWidget {
 public:
  TRRCatalogTree(TRRCatalogMenu& menu, QWidget* parent) : QTreeWidget(parent), FMenu(menu) {}

 protected:
  void startDrag(Qt::DropActions) override { FMenu.StartDrag(currentItem()); }

 private:
  TRRCatalogMenu& FMenu;
};

TRRCatalogMenu::TRRCatalogMenu(TRRDatabase& database, IRRUIService& ui, QWidget* parent)
    : QWidget(parent), FDatabase(database), FUI(ui) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  FTree = new TRRCatalogTree(*this, this);
  FTree->setHeaderHidden(true);
  FTree->setRootIsDecorated(true);
  FTree->setDragEnabled(true);
  FTree->setDragDropMode(QAbstractItemView::DragOnly);
  FTree->setSelectionMode(QAbstractItemView::SingleSelection);
  layout->addWidget(FTree, 1);

  auto* side = new QVBoxLayout;
  side->setSpacing(2);
  auto button = [&](const char* name, const QString& text, const QString& tip, auto slot) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setToolTip(tip);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, slot);
    side->addWidget(b);
    return b;
  };
  FModeButton = button("Bearbeitungsmodus", "Bearbeitungsmodus", "Katalog bearbeiten", [this] {
    SetEditMode(FModeButton->isChecked());
  });
  FModeButton->setCheckable(true);
  FFilterButton = button("Gleisfilter", "Gleisfilter setzen", "Wählt Hersteller, Spurweite und Gleissystem",
                         [this] {
                           if (FHooks.EditTrackFilter) FHooks.EditTrackFilter();
                         });
  FEditButtons = {
      button("NeuesPaket", "Neues Paket...", "Fügt ein neues Paket zur Datenbank hinzu", [this] { NewPackage(); }),
      button("Paket", "Paket...", "Ändert Eigenschaften des ausgewählten Paketes", [this] { PackageProperties(); }),
      button("NeuesVerzeichnis", "Neues Verzeichnis", "Fügt ein neues Verzeichnis zur Datenbank hinzu",
             [this] { NewFolder(); }),
      button("Umbenennen", "Umbenennen...", "Benennt das ausgewählte Objekt/Verzeichnis um", [this] { Rename(); }),
      button("Hinzufuegen", "Objekt hinzufügen", "Fügt das ausgewählte Objekt aus dem Projekt zur Datenbank hinzu",
             [this] { AddSelection(); }),
      button("Entfernen", "Entfernen", "Entfernt das ausgewählte Objekt/Verzeichnis aus der Datenbank",
             [this] { RemoveCurrent(); }),
  };
  side->addStretch(1);
  layout->addLayout(side);
  FBalloon = new TRRPreviewBalloon(this);
  FBalloon->SetSettledHandler([this](const TRREntityDescription& entry, const QImage& picture) {
    const QIcon icon(QPixmap::fromImage(picture.scaled(48, 36, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    FIcons[entry.AssetID().ToString()] = icon;
    for (QTreeWidgetItemIterator it(FTree); *it; ++it)
      if (ObjectOf(*it) == &entry) (*it)->setIcon(0, icon);
  });
  connect(FTree, &QTreeWidget::currentItemChanged, this, [this] {
    UpdateButtons();
    ShowBalloon();
  });
  connect(FTree, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
    if (KindOf(item) == TRRCatalogItem::Entry) emit EntryActivated(static_cast<TRREntityDescription*>(ObjectOf(item)));
  });
  SetEditMode(false);
}

QPushButton* TRRCatalogMenu::Button(const QString& objectName) const { return findChild<QPushButton*>(objectName); }

void TRRCatalogMenu::SetEditMode(bool editMode) {
  const bool changed = editMode != FEditMode;
  FEditMode = editMode;
  FModeButton->setChecked(editMode);
  FFilterButton->setVisible(!editMode);
  for (QPushButton* b : FEditButtons) b->setVisible(editMode);
  // Edit mode shows every entry: the filter hides only in normal mode.
  Refresh();
  if (changed && FHooks.ModeChanged) FHooks.ModeChanged(editMode);
}

void TRRCatalogMenu::Refresh() {
  QSet<QString> open;
  QString current = PathOf(FTree->currentItem());
  for (QTreeWidgetItemIterator it(FTree); *it; ++it)
    if ((*it)->isExpanded()) open.insert(PathOf(*it));
  // The balloon's entry may be gone after a write: it goes first.
  FBalloon->ShowEntry(nullptr, {});
  FTree->clear();
  FEntries = 0;
  const TRRTrackParameters* filter = !FEditMode && FHooks.TrackFilter ? FHooks.TrackFilter() : nullptr;
  std::function<void(TRRAssetNode&, QTreeWidgetItem*)> add = [&](TRRAssetNode& node, QTreeWidgetItem* parent) {
    for (int i = 0; i < node.ChildCount(); ++i) {
      TRRAssetNode* child = node.Child(i);
      add(*child, MakeItem(parent, QString::fromStdString(child->Name().GetText()), TRRCatalogItem::Folder, child));
    }
    for (TRREntityDescription* d : node.Descriptions()) {
      if (filter && filter->HidesEntry(*d)) continue;
      QTreeWidgetItem* item = MakeItem(parent, QString::fromStdString(d->Name().GetText()), TRRCatalogItem::Entry, d);
      if (auto icon = FIcons.find(d->AssetID().ToString()); icon != FIcons.end()) item->setIcon(0, icon->second);
      ++FEntries;
    }
  };
  for (int i = 0; i < FDatabase.Count(); ++i) {
    TRRAsset& a = *FDatabase.Item(i);
    QString name = QString::fromStdString(a.Name().GetText());
    if (name.isEmpty()) name = "Unbenannt";
    if (a.IsBasePackage()) name += RRTextReadOnlySuffix;
    if (a.Temporary()) name += RRTextTemporarySuffix;
    auto* package = new QTreeWidgetItem(FTree, {name});
    package->setData(0, kKindRole, int(TRRCatalogItem::Package));
    package->setData(0, kObjectRole, QVariant::fromValue(static_cast<void*>(&a)));
    add(a.Root(), package);
  }
  for (QTreeWidgetItemIterator it(FTree); *it; ++it) {
    const QString path = PathOf(*it);
    if (open.contains(path)) (*it)->setExpanded(true);
    if (path == current) FTree->setCurrentItem(*it);
  }
  UpdateButtons();
}

TRRAsset* TRRCatalogMenu::CurrentPackage() const {
  QTreeWidgetItem* item = FTree->currentItem();
  while (item && item->parent()) item = item->parent();
  return KindOf(item) == TRRCatalogItem::Package ? static_cast<TRRAsset*>(ObjectOf(item)) : nullptr;
}

TRRAssetNode* TRRCatalogMenu::CurrentFolder() const {
  for (QTreeWidgetItem* item = FTree->currentItem(); item; item = item->parent()) {
    if (KindOf(item) == TRRCatalogItem::Folder) return static_cast<TRRAssetNode*>(ObjectOf(item));
    if (KindOf(item) == TRRCatalogItem::Package) return &static_cast<TRRAsset*>(ObjectOf(item))->Root();
  }
  return nullptr;
}

TRREntityDescription* TRRCatalogMenu::CurrentEntry() const {
  QTreeWidgetItem* item = FTree->currentItem();
  return KindOf(item) == TRRCatalogItem::Entry ? static_cast<TRREntityDescription*>(ObjectOf(item)) : nullptr;
}

bool TRRCatalogMenu::SelectItem(const void* object) {
  for (QTreeWidgetItemIterator it(FTree); *it; ++it)
    if (ObjectOf(*it) == object) {
      for (QTreeWidgetItem* p = (*it)->parent(); p; p = p->parent()) p->setExpanded(true);
      FTree->setCurrentItem(*it);
      return true;
    }
  return false;
}

void TRRCatalogMenu::UpdateButtons() {
  TRRAsset* package = CurrentPackage();
  const bool writable = package && !package->IsBasePackage();
  const bool isPackage = KindOf(FTree->currentItem()) == TRRCatalogItem::Package;
  Button("NeuesPaket")->setEnabled(true);
  Button("Paket")->setEnabled(writable);
  Button("NeuesVerzeichnis")->setEnabled(writable);
  Button("Umbenennen")->setEnabled(writable && !isPackage);
  Button("Hinzufuegen")->setEnabled(writable && FHooks.Selection && !FHooks.Selection().empty());
  Button("Entfernen")->setEnabled(writable && !isPackage);
  FFilterButton->setEnabled(FHooks.TrackFilter && FHooks.TrackFilter());
}

// Runs one change of the catalogue: a refused edit (base package, empty name, ...) is shown with
// its reason; afterwards the tree shows what is there now.
void TRRCatalogMenu::Edit(const std::function<void()>& change) {
  try {
    change();
  } catch (const std::exception& e) {
    FUI.ShowMessage(e.what(), "Katalog", TRRMessageIcon::Error);
  }
  Refresh();
  if (FHooks.Changed) FHooks.Changed();
}

void TRRCatalogMenu::NewPackage() {
  TPackageWindow window(this, true);
  if (window.exec() != QDialog::Accepted) return;
  const TPackageWindow::TFields f = window.Fields();
  Edit([&] {
    TRRAsset* a = FDatabase.CreatePackage(f.File, f.Name, f.Author, f.Description);
    if (!a) return;
    if (FHooks.AddAssetPath) {
      const std::string::size_type slash = f.File.find_last_of('/');
      FHooks.AddAssetPath(slash == std::string::npos ? std::string(".") : f.File.substr(0, slash));
    }
    Refresh();
    SelectItem(a);
  });
}

void TRRCatalogMenu::PackageProperties() {
  TRRAsset* a = CurrentPackage();
  if (!a || a->IsBasePackage()) return;
  TPackageWindow window(this, false);
  window.SetFields({a->FileName(), a->Name().GetText(), a->Author().GetText(), a->Description().GetText()});
  if (window.exec() != QDialog::Accepted) return;
  const TPackageWindow::TFields f = window.Fields();
  Edit([&] { FDatabase.SetPackageProperties(*a, f.Name, f.Author, f.Description); });
}

void TRRCatalogMenu::NewFolder() {
  TRRAssetNode* parent = CurrentFolder();
  if (!parent) return;
  TRRAssetNode* made = nullptr;
  Edit([&] { made = FDatabase.AddFolder(*parent); });
  if (made) SelectItem(made);
}

void TRRCatalogMenu::Rename() {
  QTreeWidgetItem* item = FTree->currentItem();
  const TRRCatalogItem kind = KindOf(item);
  if (kind != TRRCatalogItem::Folder && kind != TRRCatalogItem::Entry) return;
  void* object = ObjectOf(item);
  bool ok = false;
  const QString name = QInputDialog::getText(this, "Umbenennen", "Neuer Name:", QLineEdit::Normal, item->text(0), &ok);
  if (!ok) return;
  Edit([&] {
    if (kind == TRRCatalogItem::Folder)
      FDatabase.RenameFolder(*static_cast<TRRAssetNode*>(object), name.toStdString());
    else
      FDatabase.RenameEntry(*static_cast<TRREntityDescription*>(object), name.toStdString());
  });
  SelectItem(object);
}

void TRRCatalogMenu::AddSelection() {
  TRRAssetNode* folder = CurrentFolder();
  if (!folder || !FHooks.Selection) return;
  const std::vector<TRREntity*> selected = FHooks.Selection();
  if (selected.empty()) return;
  TRREntityDescription* entry = CurrentEntry();
  TRRAddMode mode = TRRAddMode::Add;
  if (selected.size() == 1) {
    const std::unique_ptr<TRREntityDescription> candidate = selected.front()->CreateDescription();
    mode = TRRDatabase::QueryAddMode(FUI, entry, *candidate);
  }
  if (mode == TRRAddMode::Cancel) return;
  TRREntityDescription* added = nullptr;
  Edit([&] {
    const gx::TGXGuid oldID = entry ? entry->AssetID() : gx::TGXGuid();
    for (TRREntity* e : selected) {
      if (e->IsFixed()) continue;
      if (mode == TRRAddMode::Replace)
        added = FDatabase.ReplaceEntry(oldID, *folder, e->CreateDescription(), FHooks.Usage ? FHooks.Usage() : nullptr);
      else
        added = FDatabase.AddEntry(*folder, e->CreateDescription());
    }
  });
  if (added) SelectItem(added);
}

void TRRCatalogMenu::RemoveCurrent() {
  QTreeWidgetItem* item = FTree->currentItem();
  IRRAssetUsage* usage = FHooks.Usage ? FHooks.Usage() : nullptr;
  if (KindOf(item) == TRRCatalogItem::Entry) {
    auto* entry = static_cast<TRREntityDescription*>(ObjectOf(item));
    Edit([&] { FDatabase.RemoveEntry(*entry, FUI, usage); });
  } else if (KindOf(item) == TRRCatalogItem::Folder) {
    auto* folder = static_cast<TRRAssetNode*>(ObjectOf(item));
    Edit([&] { FDatabase.RemoveFolder(*folder, FUI, usage); });
  }
}

void TRRCatalogMenu::ShowBalloon() {
  QTreeWidgetItem* item = FTree->currentItem();
  if (KindOf(item) != TRRCatalogItem::Entry || !isVisible()) {
    FBalloon->ShowEntry(nullptr, {});
    return;
  }
  // Beside the tree at the item's height, kept on the tree's screen area above the strip.
  const QRect r = FTree->visualItemRect(item);
  QPoint at = FTree->viewport()->mapToGlobal(QPoint(FTree->viewport()->width() + 8, r.top()));
  at.setY(std::max(0, at.y() - FBalloon->height()));
  FBalloon->ShowEntry(static_cast<TRREntityDescription*>(ObjectOf(item)), at);
}

void TRRCatalogMenu::hideEvent(QHideEvent* event) {
  FBalloon->ShowEntry(nullptr, {});
  QWidget::hideEvent(event);
}

void TRRCatalogMenu::StartDrag(QTreeWidgetItem* item) {
  if (KindOf(item) != TRRCatalogItem::Entry) return;
  FBalloon->ShowEntry(nullptr, {});
  const auto* entry = static_cast<const TRREntityDescription*>(ObjectOf(item));
  if (FHooks.DragStarted) FHooks.DragStarted(*entry, FEditMode);
  auto* drag = new QDrag(this);
  auto* mime = new QMimeData;
  mime->setData(RRCatalogMimeType, QByteArray::fromStdString(entry->AssetID().ToString()));
  drag->setMimeData(mime);
  const Qt::DropAction done = drag->exec(Qt::CopyAction);
  if (FHooks.DragEnded) FHooks.DragEnded(done == Qt::CopyAction);
}

}  // namespace rr
