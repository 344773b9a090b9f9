#include "gui/events/EventManagerWindow.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QGridLayout>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>
#include <set>

#include "app/RRGlobal.h"
#include "app/RRProject.h"
#include "app/RREvents.h"
#include "app/RRUIService.h"
#include "engine/core/GXStream.h"
#include "gui/events/EventGroupWindow.h"
#include "gui/events/EventWindow.h"

namespace rr {

namespace {

constexpr int IDRole = Qt::UserRole;
constexpr int GroupRole = Qt::UserRole + 1;

std::vector<uint8_t> Bytes(const TRREventGroup& group) {
  gx::TGXMemoryStream m;
  group.WriteToStream(m);
  return m.Data();
}

}  // namespace

// The tree: a drop moves the dragged events and groups into the group dropped on (or the group
// of the event dropped on; the top group when dropped on nothing). The move waits until the drag
// has returned, as the items it started from are made anew.
class TEventTree : public QTreeWidget {
 public:
  explicit TEventTree(TEventManagerWindow* window) : FWindow(window) {}

 protected:
  void dropEvent(QDropEvent* event) override {
    FWindow->DropOn(itemAt(event->position().toPoint()));
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
  }

 private:
  TEventManagerWindow* FWindow;
};

TEventManagerWindow::TEventManagerWindow(TRRGlobal& global, IRRUIService& ui, QWidget* parent)
    : QDialog(parent), FGlobal(global), FUI(ui), FAnimations(global.Animations()) {
  setWindowTitle(RRTextEventManagerCaption);
  const TRREventManager* events = global.Project().EventManager();
  FCopy = events ? events->Clone() : std::make_unique<TRREventManager>();
  // Countdowns stand still while the events are edited.
  global.SetAnimations(false);

  auto command = [&](TCommand c, const char* text, std::function<void()> slot) {
    FCommands[c] = new QAction(QString::fromUtf8(text), this);
    connect(FCommands[c], &QAction::triggered, this, std::move(slot));
  };
  command(NewGroup, "Neue Ereignisgruppe", [this] { AddNew(true); });
  command(NewEvent, "Neues Ereignis", [this] { AddNew(false); });
  command(EditGroup, "Ereignisgruppe bearbeiten", [this] { EditChosen(); });
  command(EditEvent, "Ereignis bearbeiten", [this] { EditChosen(); });
  command(Duplicate, "Ereignis/Gruppe duplizieren", [this] { DuplicateChosen(); });
  command(Delete, "Selektierte Ereignisse/Gruppen löschen", [this] { DeleteChosen(); });
  FCommands[Delete]->setShortcut(QKeySequence::Delete);
  FCommands[Delete]->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  // Two rows of buttons: making, then changing what is there.
  auto* commands = new QGridLayout;
  const TCommand order[] = {NewGroup, NewEvent, Duplicate, EditGroup, EditEvent, Delete};
  for (int i = 0; i < CommandCount; ++i) {
    auto* button = new QToolButton;
    button->setDefaultAction(FCommands[order[i]]);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    commands->addWidget(button, i / 3, i % 3);
  }
  addAction(FCommands[Delete]);

  FSearch = new QLineEdit;
  FSearch->setPlaceholderText("Suchbegriff");
  FSearch->setClearButtonEnabled(true);
  connect(FSearch, &QLineEdit::textChanged, this, [this](const QString& text) { Search(text); });

  FTree = new TEventTree(this);
  FTree->setHeaderHidden(true);
  FTree->setSelectionMode(QAbstractItemView::ExtendedSelection);
  FTree->setDragDropMode(QAbstractItemView::InternalMove);
  FTree->setDefaultDropAction(Qt::MoveAction);
  FTree->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  connect(FTree, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateCommands(); });
  connect(FTree, &QTreeWidget::currentItemChanged, this, [this] { UpdateCommands(); });
  connect(FTree, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) { Renamed(item); });
  connect(FTree, &QTreeWidget::itemDoubleClicked, this, [this] { EditChosen(); });

  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  FOk = box->button(QDialogButtonBox::Ok);
  FOk->setText("OK");
  FOk->setAutoDefault(false);
  box->button(QDialogButtonBox::Cancel)->setText("Abbrechen");
  box->button(QDialogButtonBox::Cancel)->setAutoDefault(false);
  connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(commands);
  layout->addWidget(FSearch);
  layout->addWidget(FTree, 1);
  layout->addWidget(box);
  Fill(FCopy->Root().ID());
  FTree->setFocus();
  resize(620, 560);
}

TEventManagerWindow::~TEventManagerWindow() { RestoreAnimations(); }

QTreeWidget* TEventManagerWindow::Tree() const { return FTree; }

void TEventManagerWindow::RestoreAnimations() {
  if (FRestored) return;
  FRestored = true;
  FGlobal.SetAnimations(FAnimations);
}

void TEventManagerWindow::done(int result) {
  RestoreAnimations();
  QDialog::done(result);
}

void TEventManagerWindow::accept() {
  FCopy->RemoveUnusedCountdowns();
  TRRProject& project = FGlobal.Project();
  if (TRREventManager* events = project.EventManager(); events && Bytes(events->Root()) != Bytes(FCopy->Root())) {
    events->Assign(*FCopy);
    project.SetModifiedFlag(true);
  }
  QDialog::accept();
}

// ---- the tree ----

void TEventManagerWindow::Fill(int32_t select) {
  FFilling = true;
  FTree->clear();
  auto* root = new QTreeWidgetItem(FTree);
  root->setText(0, QString::fromStdString(FCopy->Root().Name()));
  root->setData(0, IDRole, FCopy->Root().ID());
  root->setData(0, GroupRole, true);
  root->setFlags((root->flags() | Qt::ItemIsEditable | Qt::ItemIsDropEnabled) & ~Qt::ItemIsDragEnabled);
  AddItems(root, FCopy->Root());
  FTree->expandAll();
  FFilling = false;
  QTreeWidgetItem* chosen = ItemOf(select);
  FTree->setCurrentItem(chosen ? chosen : root);
  UpdateCommands();
}

void TEventManagerWindow::AddItems(QTreeWidgetItem* parent, TRREventGroup& group) {
  auto style = [](QTreeWidgetItem* item, bool enabled) {
    if (enabled) return;
    QFont font = item->font(0);
    font.setItalic(true);
    item->setFont(0, font);
    item->setForeground(0, QColor(128, 128, 128));
  };
  style(parent, group.Enabled());
  for (int i = 0; i < group.GroupCount(); ++i) {
    TRREventGroup* g = group.Group(i);
    auto* item = new QTreeWidgetItem(parent);
    item->setText(0, QString::fromStdString(g->Name()));
    item->setData(0, IDRole, g->ID());
    item->setData(0, GroupRole, true);
    item->setFlags(item->flags() | Qt::ItemIsEditable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled);
    AddItems(item, *g);
  }
  for (int i = 0; i < group.EventCount(); ++i) {
    TRREvent* e = group.Event(i);
    auto* item = new QTreeWidgetItem(parent);
    item->setText(0, QString::fromStdString(e->Name()));
    item->setData(0, IDRole, e->ID());
    item->setData(0, GroupRole, false);
    item->setFlags((item->flags() | Qt::ItemIsEditable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled));
    style(item, e->Enabled());
  }
}

QTreeWidgetItem* TEventManagerWindow::ItemOf(int32_t id) const {
  for (QTreeWidgetItemIterator it(FTree); *it; ++it)
    if ((*it)->data(0, IDRole).toInt() == id) return *it;
  return nullptr;
}

TRREvent* TEventManagerWindow::EventOf(const QTreeWidgetItem* item) const {
  return item && !item->data(0, GroupRole).toBool() ? FCopy->FindEvent(item->data(0, IDRole).toInt()) : nullptr;
}

TRREventGroup* TEventManagerWindow::GroupOf(const QTreeWidgetItem* item) const {
  return item && item->data(0, GroupRole).toBool() ? FCopy->FindGroup(item->data(0, IDRole).toInt()) : nullptr;
}

TRREventGroup* TEventManagerWindow::ChosenGroup() const {
  QTreeWidgetItem* item = FTree->currentItem();
  if (TRREventGroup* g = GroupOf(item)) return g;
  if (TRREvent* e = EventOf(item); e && e->Parent()) return e->Parent();
  return &FCopy->Root();
}

void TEventManagerWindow::UpdateCommands() {
  QTreeWidgetItem* item = FTree->currentItem();
  const bool group = GroupOf(item) != nullptr;
  const bool event = EventOf(item) != nullptr;
  const bool root = item && GroupOf(item) == &FCopy->Root();
  bool deletable = false;
  for (QTreeWidgetItem* s : FTree->selectedItems()) deletable |= s->parent() != nullptr;
  FCommands[EditGroup]->setEnabled(group);
  FCommands[EditEvent]->setEnabled(event);
  FCommands[Duplicate]->setEnabled(event || (group && !root));
  FCommands[Delete]->setEnabled(deletable);
}

// ---- commands ----

void TEventManagerWindow::AddNew(bool group) {
  TRREventGroup* target = ChosenGroup();
  const int32_t id = FCopy->NewID();
  if (group) {
    auto g = std::make_unique<TRREventGroup>();
    g->SetID(id);
    try {
      target->AddGroup(std::move(g));
    } catch (const std::exception&) {
      // Nested too deep: the group would not read back.
      FUI.ShowMessage(RRTextEventGroupsTooDeep, RRTextEventManagerCaption, TRRMessageIcon::Error);
      return;
    }
  } else {
    auto e = std::make_unique<TRREvent>();
    e->SetID(id);
    target->AddEvent(std::move(e));
  }
  Fill(id);
  if (QTreeWidgetItem* item = ItemOf(id)) FTree->editItem(item, 0);
}

void TEventManagerWindow::EditChosen() {
  QTreeWidgetItem* item = FTree->currentItem();
  int32_t id = 0;
  if (TRREventGroup* g = GroupOf(item)) {
    id = g->ID();
    TEventGroupWindow window(*g, FUI, this);
    FEditor = &window;
    const bool ok = window.exec() == QDialog::Accepted;
    FEditor = nullptr;
    if (!ok) return;
  } else if (TRREvent* e = EventOf(item)) {
    id = e->ID();
    TEventPropertyContext context;
    context.Entities = FGlobal.Project().Manager();
    context.Events = FCopy.get();
    context.LengthUnit = FGlobal.LengthUnitName();
    context.LengthFactor = FGlobal.LengthUnitFactor();
    TEventWindow window(*e, context, FUI, this);
    FEditor = &window;
    const bool ok = window.exec() == QDialog::Accepted;
    FEditor = nullptr;
    if (!ok) return;
  } else {
    return;
  }
  Fill(id);
}

void TEventManagerWindow::DuplicateChosen() {
  QTreeWidgetItem* item = FTree->currentItem();
  int32_t id = 0;
  if (TRREvent* e = EventOf(item); e && e->Parent()) {
    std::unique_ptr<TRREvent> copy = e->Clone();
    FCopy->AssignNewIDs(*FCopy, nullptr, copy.get());
    id = copy->ID();
    e->Parent()->InsertEvent(e->Index() + 1, std::move(copy));
  } else if (TRREventGroup* g = GroupOf(item); g && g->Parent()) {
    std::unique_ptr<TRREventGroup> copy = g->Clone();
    FCopy->AssignNewIDs(*FCopy, copy.get(), nullptr);
    id = copy->ID();
    g->Parent()->InsertGroup(g->Index() + 1, std::move(copy));
  } else {
    return;
  }
  Fill(id);
}

void TEventManagerWindow::DeleteChosen() {
  // The chosen items below the top group, without those inside another chosen group.
  std::vector<QTreeWidgetItem*> chosen;
  const QList<QTreeWidgetItem*> selected = FTree->selectedItems();
  const std::set<QTreeWidgetItem*> all(selected.begin(), selected.end());
  for (QTreeWidgetItem* item : selected) {
    if (!item->parent()) continue;
    bool inside = false;
    // The top group is never deleted, so being below it chosen does not count.
    for (QTreeWidgetItem* p = item->parent(); p && p->parent() && !inside; p = p->parent()) inside = all.count(p) > 0;
    if (!inside) chosen.push_back(item);
  }
  if (chosen.empty()) return;
  const char* question = chosen.size() > 1                   ? RRTextAskDeleteSeveral
                         : chosen.front()->data(0, GroupRole).toBool() ? RRTextAskDeleteGroup
                                                                       : RRTextAskDeleteEvent;
  if (FUI.Ask(question, RRTextEventManagerCaption, TRRButtons::YesNo, TRRMessageIcon::Question, TRRAnswer::No) !=
      TRRAnswer::Yes)
    return;
  int32_t select = FCopy->Root().ID();
  for (QTreeWidgetItem* item : chosen) {
    if (TRREvent* e = EventOf(item); e && e->Parent()) {
      select = e->Parent()->ID();
      e->Parent()->ExtractEvent(e);
    } else if (TRREventGroup* g = GroupOf(item); g && g->Parent()) {
      select = g->Parent()->ID();
      g->Parent()->ExtractGroup(g);
    }
  }
  Fill(FCopy->FindGroup(select) ? select : FCopy->Root().ID());
}

void TEventManagerWindow::DropOn(QTreeWidgetItem* at) {
  int32_t target = FCopy->Root().ID();
  if (at) target = (at->data(0, GroupRole).toBool() || !at->parent() ? at : at->parent())->data(0, IDRole).toInt();
  std::vector<int32_t> ids;
  for (QTreeWidgetItem* item : FTree->selectedItems()) ids.push_back(item->data(0, IDRole).toInt());
  QTimer::singleShot(0, this, [this, ids, target] {
    std::vector<QTreeWidgetItem*> items;
    for (int32_t id : ids)
      if (QTreeWidgetItem* item = ItemOf(id)) items.push_back(item);
    MoveInto(items, FCopy->FindGroup(target));
  });
}

void TEventManagerWindow::MoveInto(const std::vector<QTreeWidgetItem*>& items, TRREventGroup* target) {
  if (!target) return;
  std::vector<int32_t> events, groups;
  for (QTreeWidgetItem* item : items) (item->data(0, GroupRole).toBool() ? groups : events).push_back(item->data(0, IDRole).toInt());
  for (int32_t id : groups) {
    TRREventGroup* g = FCopy->FindGroup(id);
    // Not the top group, not into itself or below itself, not where it is.
    if (!g || !g->Parent() || g->Contains(target) || g->Parent() == target) continue;
    if (target->Depth() + 1 + g->Height() > RRMaxEventGroupDepth) continue;
    target->AddGroup(g->Parent()->ExtractGroup(g));
  }
  for (int32_t id : events) {
    TRREvent* e = FCopy->FindEvent(id);
    if (!e || !e->Parent() || e->Parent() == target) continue;
    // Moved along with its group already.
    bool inMoved = false;
    for (int32_t gid : groups)
      if (TRREventGroup* g = FCopy->FindGroup(gid); g && g->Contains(e->Parent()) && g->Parent() == target)
        inMoved = true;
    if (inMoved) continue;
    target->AddEvent(e->Parent()->ExtractEvent(e));
  }
  Fill(items.empty() ? target->ID() : items.front()->data(0, IDRole).toInt());
}

void TEventManagerWindow::Renamed(QTreeWidgetItem* item) {
  if (FFilling) return;
  TRREventGroup* g = GroupOf(item);
  TRREvent* e = g ? nullptr : EventOf(item);
  if (!g && !e) return;
  const QString name = item->text(0).trimmed();
  const std::string old = g ? g->Name() : e->Name();
  FFilling = true;
  if (name.isEmpty()) {
    // An empty name is no name: the old one stays.
    item->setText(0, QString::fromStdString(old));
  } else {
    g ? g->SetName(name.toStdString()) : e->SetName(name.toStdString());
    item->setText(0, name);
  }
  FFilling = false;
}

void TEventManagerWindow::Search(const QString& text) {
  const QString wanted = text.trimmed().toLower();
  if (wanted.isEmpty()) return;
  for (QTreeWidgetItemIterator it(FTree); *it; ++it)
    if ((*it)->text(0).toLower().contains(wanted)) {
      FTree->clearSelection();
      FTree->setCurrentItem(*it);
      FTree->scrollToItem(*it);
      return;
    }
}

}  // namespace rr
