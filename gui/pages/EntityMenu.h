#pragma once
// TRREntityMenu: the entity area of the project menu. It shows the page of the selection's
// kind ("Keine Auswahl" without one, the page for several entities for a mixed selection) and
// keeps it current: the main window hands it every selection change, undo and redo show the
// page a command recorded, and a timer shows values that change without an edit (a dragged
// position, a train's speed).
//
// A panel has three pages of the same kind (the history records the kind only): its properties,
// the height page and the texture page. A tab bar above the page switches between them while a
// panel is shown, and the page chosen stays chosen for the next panel.

#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <vector>

class QStackedWidget;
class QTabBar;
class QTimer;

namespace rr {

class TEntityPage;
class TRREntity;
class TRRProject;
enum class TRREntityPageKind : int32_t;

// The page a selection is shown on: none, the kind's page for one entity, the track page for
// any selection holding a track, else the page for several entities.
TRREntityPageKind RRPageKindFor(const std::vector<TRREntity*>& entities);

class TRREntityMenu : public QWidget {
  Q_OBJECT

 public:
  explicit TRREntityMenu(QWidget* parent = nullptr);

  // The project's selection (null or closed: nothing selected) on its page.
  void ShowSelection(TRRProject* project);
  // Shows the page given by its number when it suits the selection, else the selection's own
  // page; -1 (and None) shows "Keine Auswahl" until the next selection change.
  void ShowEntityMenuPage(int32_t page);
  // The number of the page shown (TRREntityPageKind).
  int32_t EntityMenuPage() const;
  // The values shown again (after an edit elsewhere, a settings change).
  void Refresh();
  // The page shown and the page of a kind.
  TEntityPage* CurrentPage() const;
  TEntityPage* Page(TRREntityPageKind kind) const;
  // A one-line summary: "Keine Auswahl", "3 Objekte ausgewählt", or the name and position.
  QString Summary() const;
  // The panel's pages: 0 properties, 1 heights, 2 textures.
  void ShowPanelPage(int index);
  int PanelPageIndex() const;
  TEntityPage* PanelPage(int index) const;
  QTabBar* PanelTabs() const { return FPanelTabs; }

 signals:
  // A page asks for the editor window of the selected entity's kind.
  void EditorRequested(TRREntityPageKind kind);

 private:
  TRRProject* FProject = nullptr;
  // The page of a kind, for the panel the one chosen in the tab bar.
  TEntityPage* Shown(TRREntityPageKind kind) const;
  void Switch(TEntityPage* page, const std::vector<TRREntity*>& selection);
  QStackedWidget* FStack;
  QTabBar* FPanelTabs;
  std::array<TEntityPage*, 3> FPanelPages{};
  std::vector<TEntityPage*> FPages;
  QTimer* FTimer;
};

}  // namespace rr
