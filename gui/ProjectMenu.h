#pragma once
// The project menu strip below the 3D view (180 pixels): the catalogue of the asset database
// (gui/catalog) and the page of the selected object.

#include <QWidget>

class QTabWidget;
class QTreeWidget;
class QLabel;

namespace rr {

class IRRUIService;
class TRRCatalogMenu;
class TRRDatabase;
class TRREntitySelection;

class TRRProjectMenu : public QWidget {
  Q_OBJECT

 public:
  TRRProjectMenu(TRRDatabase& database, IRRUIService& ui, QWidget* parent = nullptr);

  // The catalogue tree of every package (folders and entries, sorted as stored) built anew.
  void FillCatalogue();
  TRRCatalogMenu* Catalog() const { return FCatalogue; }
  // The selection's page: the one selected object, or how many are selected.
  void ShowSelection(const TRREntitySelection* selection);
  // Settings changed (display units).
  void SettingsChanged();

  int CatalogueEntryCount() const;
  QString SelectionText() const;
  QTabWidget* Tabs() const { return FTabs; }

 private:
  QTabWidget* FTabs;
  TRRCatalogMenu* FCatalogue;
  QLabel* FSelection;
};

}  // namespace rr
