#pragma once
// "Ereignisverwaltung": the project's events and groups as a tree, edited on a copy. Within a
// level the groups come before the events, each in their stored order; inactive ones are shown
// in grey italics. New groups and events go into the chosen group (their name is then edited in
// place); events and groups are edited in their windows, duplicated (right after the original,
// with fresh IDs that references inside the copy follow), deleted after a question, moved
// between groups by dragging and renamed in the tree. The search field chooses the first item
// whose name contains the text. While the window is open the program's animations stand still
// (countdowns do not run); closing puts the setting back.
//
// OK drops the countdowns no condition waits for and, when the tree differs from the project's,
// gives the project a copy of it and marks the project modified. Cancel leaves the project as it
// was.

#include <QDialog>
#include <cstdint>
#include <memory>
#include <vector>

class QAction;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace rr {

class IRRUIService;
class TRREvent;
class TRREventGroup;
class TRREventManager;
class TRRGlobal;
class TEventTree;

inline constexpr const char* RRTextEventManagerCaption = "Ereignisverwaltung";
inline constexpr const char* RRTextAskDeleteSeveral = "Sollen die ausgewählten Ereignisse und Gruppen gelöscht werden?";
inline constexpr const char* RRTextAskDeleteEvent = "Soll das ausgewählte Ereignis gelöscht werden?";
inline constexpr const char* RRTextAskDeleteGroup =
    "Soll die ausgewählte Ereignisgruppe mit allen untergeordneten Ereignissen und Gruppen gelöscht werden?";

class TEventManagerWindow : public QDialog {
  Q_OBJECT

 public:
  enum TCommand { NewGroup, NewEvent, EditGroup, EditEvent, Duplicate, Delete, CommandCount };

  TEventManagerWindow(TRRGlobal& global, IRRUIService& ui, QWidget* parent = nullptr);
  ~TEventManagerWindow() override;

  // The copy being edited.
  TRREventManager& Copy() const { return *FCopy; }
  QTreeWidget* Tree() const;
  QLineEdit* SearchEdit() const { return FSearch; }
  QAction* Command(TCommand command) const { return FCommands[command]; }
  QPushButton* OkButton() const { return FOk; }
  // The tree item of an event or group of the copy, or null.
  QTreeWidgetItem* ItemOf(int32_t id) const;
  // The event or group an item shows.
  TRREvent* EventOf(const QTreeWidgetItem* item) const;
  TRREventGroup* GroupOf(const QTreeWidgetItem* item) const;
  // The edit window while open (tests fill it in): an event's or a group's.
  QDialog* OpenEditor() const { return FEditor; }

  // A drop of the chosen items on an item: they move into its group (the group of an event; the
  // top group when dropped on nothing) once the drag has returned.
  void DropOn(QTreeWidgetItem* at);
  // Moves the events and groups of the chosen items into target (appended); a group never into
  // itself or below itself. The tree shows the result.
  void MoveInto(const std::vector<QTreeWidgetItem*>& items, TRREventGroup* target);
  // Chooses the first item, in tree order, whose name contains the trimmed text ignoring case.
  void Search(const QString& text);

  void accept() override;
  void done(int result) override;

 private:
  void Fill(int32_t select);
  void AddItems(QTreeWidgetItem* parent, TRREventGroup& group);
  void UpdateCommands();
  TRREventGroup* ChosenGroup() const;
  void AddNew(bool group);
  void EditChosen();
  void DuplicateChosen();
  void DeleteChosen();
  void Renamed(QTreeWidgetItem* item);
  void RestoreAnimations();

  TRRGlobal& FGlobal;
  IRRUIService& FUI;
  std::unique_ptr<TRREventManager> FCopy;
  bool FAnimations;
  bool FRestored = false;
  bool FFilling = false;
  TEventTree* FTree;
  QLineEdit* FSearch;
  QAction* FCommands[CommandCount] = {};
  QPushButton* FOk;
  QDialog* FEditor = nullptr;
};

}  // namespace rr
