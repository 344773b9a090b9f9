#pragma once
// The project menu strip below the 3D view (180 pixels): the catalogue of the asset database
// (gui/catalog) and the page of the selected object.

#include <QWidget>

class QTabWidget;

namespace rr {

class IRRUIService;
class TRRCatalogMenu;
class TRRDatabase;
class TRREntityMenu;
class TRRProject;

class TRRProjectMenu : public QWidget {
  Q_OBJECT

 public:
  TRRProjectMenu(TRRDatabase& database, IRRUIService& ui, QWidget* parent = nullptr);

  // The catalogue tree of every package (folders and entries, sorted as stored) built anew.
  void FillCatalogue();
  TRRCatalogMenu* Catalog() const { return FCatalogue; }
  // The page of the project's selection (null: nothing selected), see TRREntityMenu.
  void ShowSelection(TRRProject* project);
  // Settings changed (display units).
  void SettingsChanged();

  int CatalogueEntryCount() const;
  // "Keine Auswahl", "3 Objekte ausgewählt", or the one object's name and position.
  QString SelectionText() const;
  TRREntityMenu* EntityMenu() const { return FEntityMenu; }
  QTabWidget* Tabs() const { return FTabs; }

 private:
  QTabWidget* FTabs;
  TRRCatalogMenu* FCatalogue;
  TRREntityMenu* FEntityMenu;
};

}  // namespace rr
