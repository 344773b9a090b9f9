#pragma once
// The window "Auswählen" (Edit menu, Ctrl+F): the layout's top-level entities by name and kind,
// narrowed by a part of the name and a kind. OK replaces the selection with the chosen rows in
// one change. The window keeps IDs, not entities: what is freed while it is open is skipped.

#include <QDialog>
#include <QString>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace rr {

class TRREntity;
class TRREntityManager;

inline constexpr const char* RRTextSelectCaption = "Auswählen";
inline constexpr const char* RRTextAllKinds = "Alle Arten";
inline constexpr const char* RRTextNoName = "(ohne Namen)";

// The German name of an entity's kind: that of its class or of the nearest base class with one.
std::string RRSelectKindName(const TRREntity& entity);

// One listed entity.
struct TRRSelectRow {
  int32_t ID = 0;
  QString Name;
  QString Kind;
};

// The children of the project node that are entities, in child order.
std::vector<TRRSelectRow> RRSelectRows(const TRREntityManager& manager);
// The IDs of the rows whose name contains text ignoring case (umlauts fold only with
// themselves) and whose kind is kind (empty: any), by name in the locale's order, equal names by
// ID.
std::vector<int32_t> RRMatchingEntities(const std::vector<TRRSelectRow>& rows, const std::string& text,
                                        const std::string& kind);
std::vector<int32_t> RRMatchingEntities(const TRREntityManager& manager, const std::string& text,
                                        const std::string& kind);
// The kinds of the rows, each once, in the locale's order.
std::vector<QString> RRSelectKinds(const std::vector<TRRSelectRow>& rows);

class TSelectWindow : public QDialog {
  Q_OBJECT

 public:
  // Lists the manager's top-level entities; those selected now start chosen.
  explicit TSelectWindow(TRREntityManager& manager, QWidget* parent = nullptr);

  // The IDs of the chosen rows among those shown, in list order.
  std::vector<int32_t> ChosenIDs() const;
  // Replaces the manager's selection with the chosen entities still alive (one change).
  void Apply(TRREntityManager& manager) const;

  QLineEdit* TextEdit() const { return FText; }
  QComboBox* KindBox() const { return FKind; }
  QTreeWidget* List() const { return FList; }
  QPushButton* AllButton() const { return FAll; }

 private:
  void Refill();
  void RememberChoice();

  std::vector<TRRSelectRow> FRows;
  // The chosen IDs, also of rows the filter hides, so that narrowing and widening keeps them.
  std::set<int32_t> FChosen;
  bool FFilling = false;
  QLineEdit* FText;
  QComboBox* FKind;
  QTreeWidget* FList;
  QPushButton* FAll;
};

}  // namespace rr
