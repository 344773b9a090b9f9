#include "gui/SelectWindow.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "app/RREntityManager.h"
#include "app/entities/RREntity.h"

namespace rr {

namespace {

// The kinds by class record name; a class not named here shows its nearest named base class.
struct TKindName {
  const char* ClassName;
  const char* Caption;
};
constexpr TKindName KindNames[] = {
    {"TRRCockpit", "Führerstand"},   {"TRRCamera", "Kamera"},        {"TRRLight", "Licht"},
    {"TRRPanel", "Grundplatte"},     {"TRRTrack", "Gleis"},          {"TRRTrackVehicle", "Fahrzeug"},
    {"TRRSignal", "Signal"},         {"TRRController", "Regler"},    {"TRRVegetation", "Pflanze"},
    {"TRRStreet", "Straße"},         {"TRRBarrier", "Schranke"},     {"TRRVehicleBuilding", "Lokschuppen"},
    {"TRRPrimitive", "Grundkörper"}, {"TRRCatenary", "Oberleitung"}, {"TRREntityGroup", RRTextGroupName},
    {"TRRModel", "Modell"},          {"TRREntity", "Objekt"},
};

constexpr int IDRole = Qt::UserRole;

}  // namespace

std::string RRSelectKindName(const TRREntity& entity) {
  for (const TRREntityClass* c = &entity.GetClass(); c; c = c->Parent)
    for (const TKindName& k : KindNames)
      if (std::strcmp(c->Name, k.ClassName) == 0) return k.Caption;
  return "Objekt";
}

std::vector<TRRSelectRow> RRSelectRows(const TRREntityManager& manager) {
  std::vector<TRRSelectRow> rows;
  gx::TGXNode* node = manager.ProjectNode();
  if (!node) return rows;
  rows.reserve(size_t(node->ChildCount()));
  for (int i = 0; i < node->ChildCount(); ++i)
    if (auto* e = dynamic_cast<TRREntity*>(node->Child(i)))
      rows.push_back(
          {e->ID(), QString::fromStdString(e->Name()), QString::fromStdString(RRSelectKindName(*e))});
  return rows;
}

std::vector<int32_t> RRMatchingEntities(const std::vector<TRRSelectRow>& rows, const std::string& text,
                                        const std::string& kind) {
  const QString part = QString::fromStdString(text);
  const QString wanted = QString::fromStdString(kind);
  std::vector<const TRRSelectRow*> hits;
  for (const TRRSelectRow& r : rows)
    if ((wanted.isEmpty() || r.Kind == wanted) && r.Name.contains(part, Qt::CaseInsensitive))
      hits.push_back(&r);
  std::sort(hits.begin(), hits.end(), [](const TRRSelectRow* a, const TRRSelectRow* b) {
    const int c = QString::localeAwareCompare(a->Name, b->Name);
    return c != 0 ? c < 0 : a->ID < b->ID;
  });
  std::vector<int32_t> ids;
  ids.reserve(hits.size());
  for (const TRRSelectRow* r : hits) ids.push_back(r->ID);
  return ids;
}

std::vector<int32_t> RRMatchingEntities(const TRREntityManager& manager, const std::string& text,
                                        const std::string& kind) {
  return RRMatchingEntities(RRSelectRows(manager), text, kind);
}

std::vector<QString> RRSelectKinds(const std::vector<TRRSelectRow>& rows) {
  std::vector<QString> kinds;
  for (const TRRSelectRow& r : rows)
    if (std::find(kinds.begin(), kinds.end(), r.Kind) == kinds.end()) kinds.push_back(r.Kind);
  std::sort(kinds.begin(), kinds.end(),
            [](const QString& a, const QString& b) { return QString::localeAwareCompare(a, b) < 0; });
  return kinds;
}

TSelectWindow::TSelectWindow(TRREntityManager& manager, QWidget* parent)
    : QDialog(parent), FRows(RRSelectRows(manager)) {
  setWindowTitle(RRTextSelectCaption);
  for (const TRREntity* e : manager.Selection()) FChosen.insert(e->ID());

  auto* root = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  FText = new QLineEdit(this);
  FText->setClearButtonEnabled(true);
  form->addRow("Name enthält:", FText);
  FKind = new QComboBox(this);
  FKind->addItem(RRTextAllKinds, QString());
  for (const QString& k : RRSelectKinds(FRows)) FKind->addItem(k, k);
  form->addRow("Art:", FKind);
  root->addLayout(form);

  FList = new QTreeWidget(this);
  FList->setColumnCount(2);
  FList->setHeaderLabels({"Name", "Art"});
  FList->setRootIsDecorated(false);
  FList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  FList->setUniformRowHeights(true);  // thousands of rows stay quick
  FList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  FList->header()->setStretchLastSection(false);
  root->addWidget(FList, 1);

  auto* buttons = new QDialogButtonBox(this);
  FAll = buttons->addButton("Alle", QDialogButtonBox::ActionRole);
  QPushButton* ok = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  buttons->addButton("Abbrechen", QDialogButtonBox::RejectRole);
  // Enter in the text field or the list means OK, not "Alle".
  FAll->setAutoDefault(false);
  ok->setDefault(true);
  root->addWidget(buttons);

  connect(FText, &QLineEdit::textChanged, this, [this] { Refill(); });
  connect(FKind, &QComboBox::currentIndexChanged, this, [this] { Refill(); });
  connect(FList, &QTreeWidget::itemSelectionChanged, this, [this] { RememberChoice(); });
  connect(FList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    FList->clearSelection();
    item->setSelected(true);
    accept();
  });
  connect(FAll, &QPushButton::clicked, FList, &QTreeWidget::selectAll);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  Refill();
  resize(420, 480);
  FText->setFocus();
}

void TSelectWindow::Refill() {
  std::unordered_map<int32_t, const TRRSelectRow*> byID;
  for (const TRRSelectRow& r : FRows) byID[r.ID] = &r;
  const std::vector<int32_t> ids =
      RRMatchingEntities(FRows, FText->text().toStdString(), FKind->currentData().toString().toStdString());
  FFilling = true;
  FList->clear();
  QList<QTreeWidgetItem*> items;
  items.reserve(qsizetype(ids.size()));
  for (int32_t id : ids) {
    const TRRSelectRow& r = *byID.at(id);
    auto* item = new QTreeWidgetItem({r.Name.isEmpty() ? QString(RRTextNoName) : r.Name, r.Kind});
    item->setData(0, IDRole, id);
    items.append(item);
  }
  FList->addTopLevelItems(items);
  for (QTreeWidgetItem* item : items)
    if (FChosen.count(item->data(0, IDRole).toInt())) item->setSelected(true);
  FFilling = false;
}

void TSelectWindow::RememberChoice() {
  if (FFilling) return;
  for (int i = 0; i < FList->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = FList->topLevelItem(i);
    const int32_t id = item->data(0, IDRole).toInt();
    if (item->isSelected())
      FChosen.insert(id);
    else
      FChosen.erase(id);
  }
}

std::vector<int32_t> TSelectWindow::ChosenIDs() const {
  std::vector<int32_t> ids;
  for (int i = 0; i < FList->topLevelItemCount(); ++i)
    if (FList->topLevelItem(i)->isSelected()) ids.push_back(FList->topLevelItem(i)->data(0, IDRole).toInt());
  return ids;
}

void TSelectWindow::Apply(TRREntityManager& manager) const {
  TRREntitySelection& selection = manager.Selection();
  selection.BeginUpdate();
  selection.Clear();
  for (int32_t id : ChosenIDs())
    if (TRREntity* e = manager.FindByID(id)) selection.Add(e);
  selection.EndUpdate();
}

}  // namespace rr
