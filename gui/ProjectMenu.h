#pragma once
// The project menu strip below the 3D view (180 pixels): the catalogue of the asset database and
// the page of the selected object. Placing from the catalogue and the entity pages with their
// properties join with the editing tools; the strip already shows what there is.

#include <QWidget>

class QTabWidget;
class QTreeWidget;
class QLabel;

namespace rr {

class TRRDatabase;
class TRREntityMenu;
class TRRProject;

class TRRProjectMenu : public QWidget {
  Q_OBJECT

 public:
  explicit TRRProjectMenu(QWidget* parent = nullptr);

  // The catalogue tree of every package (folders and entries, sorted as stored).
  void FillCatalogue(const TRRDatabase& database);
  // The page of the project's selection (null: nothing selected), see TRREntityMenu.
  void ShowSelection(TRRProject* project);
  // Settings changed (display units).
  void SettingsChanged();

  int CatalogueEntryCount() const { return FEntries; }
  // "Keine Auswahl", "3 Objekte ausgewählt", or the one object's name and position.
  QString SelectionText() const;
  TRREntityMenu* EntityMenu() const { return FEntityMenu; }
  QTabWidget* Tabs() const { return FTabs; }

 private:
  QTabWidget* FTabs;
  QTreeWidget* FCatalogue;
  TRREntityMenu* FEntityMenu;
  int FEntries = 0;
};

}  // namespace rr
