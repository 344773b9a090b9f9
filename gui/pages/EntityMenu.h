#pragma once
// TRREntityMenu: the entity area of the project menu. It shows the page of the selection's
// kind ("Keine Auswahl" without one, the page for several entities for a mixed selection) and
// keeps it current: the main window hands it every selection change, undo and redo show the
// page a command recorded, and a timer shows values that change without an edit (a dragged
// position, a train's speed).

#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <vector>

class QStackedWidget;
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

 signals:
  // A page asks for the editor window of the selected entity's kind.
  void EditorRequested(TRREntityPageKind kind);

 private:
  TRRProject* FProject = nullptr;
  QStackedWidget* FStack;
  std::vector<TEntityPage*> FPages;
  QTimer* FTimer;
};

}  // namespace rr
