#pragma once
// The window of one event: name, whether it is active, its condition (the kind from a list of
// seven, its fields below) and its actions (added from a menu of eight, deleted, moved up and
// down, the fields of the chosen one below). It edits a copy; OK writes the copy into the event,
// a name that is empty after trimming is refused with a message and the window stays.

#include <QDialog>
#include <memory>
#include <vector>

#include "gui/events/EventProperties.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QToolButton;

namespace rr {

class IRRUIService;
class TRREvent;

class TEventWindow : public QDialog {
  Q_OBJECT

 public:
  TEventWindow(TRREvent& event, const TEventPropertyContext& context, IRRUIService& ui, QWidget* parent = nullptr);
  ~TEventWindow() override;

  // The copy being edited.
  TRREvent& Work() const { return *FWork; }

  QLineEdit* NameEdit() const { return FName; }
  QCheckBox* EnabledBox() const { return FEnabled; }
  QComboBox* ConditionBox() const { return FConditionBox; }
  QListWidget* ActionList() const { return FActions; }
  QMenu* AddMenu() const { return FAddMenu; }
  QPushButton* DeleteButton() const { return FDelete; }
  QPushButton* UpButton() const { return FUp; }
  QPushButton* DownButton() const { return FDown; }
  QPushButton* OkButton() const { return FOk; }
  // The editor of the condition's (or the chosen action's) field with that caption, or null.
  QWidget* PropertyEditor(bool ofAction, const QString& caption) const;

  void accept() override;

 private:
  void AddAction(int classIndex);
  void MoveAction(int delta);
  void FillActions(int select);
  void BuildConditionRows();
  void BuildActionRows();
  void BuildRows(QGroupBox* box, std::vector<TEventProperty> rows, bool ofAction);
  QWidget* MakeEditor(const std::shared_ptr<TEventProperty>& p, bool ofAction);
  void UpdateButtons();

  TRREvent& FEvent;
  std::unique_ptr<TRREvent> FWork;
  TEventPropertyContext FContext;
  IRRUIService& FUI;
  QLineEdit* FName;
  QCheckBox* FEnabled;
  QComboBox* FConditionBox;
  QGroupBox* FConditionRows;
  QListWidget* FActions;
  QMenu* FAddMenu;
  QToolButton* FAdd;
  QPushButton* FDelete;
  QPushButton* FUp;
  QPushButton* FDown;
  QGroupBox* FActionRows;
  QPushButton* FOk;
};

}  // namespace rr
