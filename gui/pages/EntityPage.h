#pragma once
// TEntityPage: the base of the pages of the project menu's entity area. A page shows the
// entities it was given (kept by ID: undo frees an entity and makes it anew under the same ID)
// and changes them through the history: every edit is one command (OpenCommand, change,
// SetAfter, Push); with several entities one compound command with a child per entity.
//
// The common fields of every kind: the name, the world position X/Y/Z and the turn about the
// vertical axis in the user's display units, and "Gesperrt". Typed values are read with the
// unit's factor and the locale's decimal mark (a point or a comma is taken too); a text that is
// no finite number keeps the old value, a number outside the field's range is clamped.

#include <QGridLayout>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;

class QLabel;
class QLineEdit;

namespace rr {

class TRREntity;
class TRRProject;

// The page numbers of the entity area, recorded by the history with every command.
enum class TRREntityPageKind : int32_t {
  None = 0,         // "Keine Auswahl"
  Multi = 1,        // several entities of different kinds
  Entity = 2,       // an entity without a page of its own
  Model = 3,
  Group = 4,
  Track = 5,
  TrackVehicle = 6,
  Camera = 7,
  Light = 8,
  Panel = 9,
  Signal = 10,
  Controller = 11,
  Catenary = 12,
  Street = 13,
  Plant = 14,
  Barrier = 15,
  VehicleBuilding = 16,
  Primitive = 17,
};
inline constexpr int32_t RREntityPageKindCount = 18;

inline constexpr const char* RRTextNoSelection = "Keine Auswahl";
inline constexpr const char* RRTextMultiSelection = "Mehrfachselektion";
inline constexpr const char* RRTextLocked = "Gesperrt";

// Limits of typed positions (centimetres): 1 km either way.
inline constexpr double RRPageMaxPosition = 100000.0;

// A typed length or angle read with the current display unit: the value in centimetres or
// radians, clamped to [min, max]; none when the text is no finite number.
std::optional<double> RRReadLength(const QString& text, double min, double max);
std::optional<double> RRReadAngle(const QString& text, double min, double max);
// A length or angle formatted in the display unit, without the unit name.
QString RRShowLength(double centimetres);
QString RRShowAngle(double radians);
QString RRLengthUnit();
QString RRAngleUnit();
// The turn of a world rotation about the vertical axis (radians, -pi..pi).
float RRYawOf(const TRREntity& entity);

class TEntityPage : public QWidget {
  Q_OBJECT

 public:
  // commonFields: the name, position, turn and lock rows are made.
  TEntityPage(TRREntityPageKind kind, bool commonFields, QWidget* parent = nullptr);

  TRREntityPageKind Kind() const { return FKind; }
  // The entities shown from now on (the project gives the history and the manager).
  void SetEntities(TRRProject* project, const std::vector<TRREntity*>& entities);
  // After the entities were set: a page that offers a tool may start it again.
  virtual void Entered() {}
  // Before other entities are set (their IDs given): by default the page is left.
  virtual void EntitiesChanging(const std::vector<int32_t>& ids) { Leave(); }
  // The entities still alive, in the order given.
  std::vector<TRREntity*> Entities() const;
  TRREntity* First() const;
  // Shows the entities' values again; fields being typed in keep their text unless forced.
  void Refresh(bool force = true);
  // The periodic refresh: values that change without an edit (positions after a drag, speeds).
  virtual void Tick() { Refresh(false); }
  // The page is no longer shown, or its entities change: tools it made end here (before the
  // project's manager can go).
  virtual void Leave() {}

  QLineEdit* NameEdit() const { return FName; }
  QLineEdit* PositionEdit(int axis) const { return FPosition[axis]; }
  QLabel* PositionUnit(int axis) const { return FLengthUnits[axis]; }
  QLineEdit* TurnEdit() const { return FTurn; }
  QCheckBox* LockedCheck() const { return FLocked; }

 signals:
  // The page asks for its kind's editor window (the track editor, the rolling-stock editor).
  void EditorRequested();

 protected:
  // Shows the kind's own values (the common fields are done already).
  virtual void RefreshPage(bool force) {}
  // After a typed position or turn, inside the command: a kind that keeps rules about its
  // placement applies them here (the default brings the world transform up to date).
  virtual void Placed(TRREntity& entity);
  // The name typed, inside the command (a kind whose name is shown elsewhere follows here).
  virtual void Rename(TRREntity& entity, const std::string& name);
  // One history command for the change applied to every entity (or the ones given).
  void Change(const std::function<void(TRREntity&)>& change);
  void Change(const std::vector<TRREntity*>& targets, const std::function<void(TRREntity&)>& change);
  // The same for a change that may not take (it returns whether the entity changed): nothing
  // is recorded when none did.
  void ChangeIf(const std::vector<TRREntity*>& targets, const std::function<bool(TRREntity&)>& change);
  TRRProject* Project() const { return FProject; }
  bool Filling() const { return FFilling > 0; }

  // The grid of label/field pairs, several columns. Add puts a labelled field into the next
  // cell of the column given; AddWide a field without a label over both cells.
  QGridLayout* Grid() const { return FGrid; }
  void Add(int column, const QString& label, QWidget* field, QWidget* unit = nullptr);
  void AddWide(int column, QWidget* field);
  // A line edit for a number that commits on Return or leaving it (once per change of text).
  QLineEdit* NumberEdit(const std::function<void(const QString&)> commit);
  // Sets an edit's text unless the user is typing in it (force: always).
  static void Show(QLineEdit* edit, const QString& text, bool force);

 private:
  void CommitName();
  void CommitPosition(int axis);
  void CommitTurn();

  TRREntityPageKind FKind;
  TRRProject* FProject = nullptr;
  std::vector<int32_t> FIDs;
  int FFilling = 0;
  QGridLayout* FGrid;
  std::vector<int> FRows;
  QLineEdit* FName = nullptr;
  QLineEdit* FPosition[3] = {nullptr, nullptr, nullptr};
  QLineEdit* FTurn = nullptr;
  QCheckBox* FLocked = nullptr;
  // Unit labels follow the settings in Refresh.
  QLabel* FLengthUnits[3] = {nullptr, nullptr, nullptr};
  QLabel* FAngleUnit = nullptr;
};

}  // namespace rr
