#pragma once
// The main window: menu and tool bar, the central area with the 3D view, the project menu strip
// and the rulers (or the start picture while no layout is open), the status bar's three panels,
// the frame loop and the flows the actions start. What is enabled, checked, shown and where it
// goes is asked of TRRShellState; the window only applies the answers.

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>

#include "app/RRAction.h"
#include "app/RRProject.h"
#include "app/RRShellState.h"

class QAction;
class QLabel;
class QMenu;
class QToolBar;

namespace rr {

class TRRGlobal;
class TRRProject;
class TRRQtUIService;
class TRRViewWidget;
class TRRProjectRuler;
class TRRProjectMenu;
class TRRLoadProgress;
class TCentralArea;
class TRRCatalogDrop;
class TTrackEditor;
class TTrackVehicleEditor;
class TRRSmartHintManager;
class TEventManagerWindow;
class TRRCatalogMenu;
class TRREntityDescription;

// A core action (undo, redo, paste) bound to a window action.
class TRRQtAction : public IRRAction {
 public:
  void Bind(QAction* action) { FAction = action; }
  void SetEnabled(bool enabled) override;
  void SetCaption(const std::string& caption) override;
  bool Enabled() const { return FEnabled; }

 private:
  QPointer<QAction> FAction;
  bool FEnabled = false;
};

class TMainWindow : public QMainWindow {
  Q_OBJECT

 public:
  TMainWindow(TRRGlobal& global, TRRQtUIService& ui);
  ~TMainWindow() override;

  QAction* Action(TRRShellAction action) const { return FActions[static_cast<size_t>(action)]; }
  QAction* RecentAction(int index) const { return FRecent[static_cast<size_t>(index)]; }
  QMenu* CameraMenu() const { return FCameraMenu; }
  TRRViewWidget* View() const { return FView; }
  TRRProjectRuler* LeftRuler() const { return FLeftRuler; }
  TRRProjectRuler* TopRuler() const { return FTopRuler; }
  QWidget* ProjectMenu() const;
  TRRCatalogMenu* Catalog() const;
  // A catalogue entry is dragged (the catalogue starts it; the tests too): the view makes the
  // entity when the drag first comes over it; the end frees it unless it was dropped.
  void BeginCatalogDrag(const TRREntityDescription& entry, bool editMode);
  void EndCatalogDrag(bool dropped);
  TRRCatalogDrop* CatalogDrop() const { return FCatalogDrop.get(); }
  TRRSmartHintManager* Hints() const { return FHints; }
  // "Gleiseditor": the one selected track replaced by one of the user's own definition (one undo step).
  void EditTrack();
  // The track editor while it is open (tests fill it in).
  TTrackEditor* OpenTrackEditor() const { return FTrackEditor; }
  // "Modell bearbeiten": the one selected vehicle through the rolling-stock editor, replaced as
  // one undo step.
  void EditVehicleModel();
  TTrackVehicleEditor* OpenVehicleEditor() const { return FVehicleEditor; }
  // "Ereignisverwaltung": the layout's events edited in their window (OK takes the changes).
  void ShowEventManager();
  // The event window while it is open (tests work in it).
  TEventManagerWindow* OpenEventManager() const { return FEventManager; }
  // "Gleisfilter setzen": edits the layout's track filter (OK assigns it and marks the layout modified).
  void EditTrackFilter();
  QLabel* StatusPanel(int index) const { return FPanels[static_cast<size_t>(index)]; }
  TRRProject& Project() const;
  bool FullScreenMode() const { return FFullScreen; }
  bool InFlow() const { return FInFlow; }

  // What the rules read now.
  TRRShellSnapshot Snapshot() const;
  // The state refresh: every action, the caption, the bars and the layout.
  void RefreshState();
  // The camera menu from the manager's camera list.
  void RebuildCameraMenu();

  // The deferred start: graphics check, then a file named on the command line, the last project
  // or the welcome window; forClient (started by the session bus) stops after the check.
  void DeferredStart(const QString& fileArgument, bool openSample, bool forClient = false);

  // ---- flows (each refuses to start inside another one's question or progress) ----
  void NewProject();
  // Opens a file (after the close flow); true when it is open.
  bool OpenProjectFile(const QString& fileName);
  void OpenProject();
  void OpenRecent(int index);
  void OpenSample();
  void SaveProject();
  void SaveProjectAs();
  // The close flow with its save question; true when the project is closed afterwards.
  bool CloseProjectFlow();
  void Import();
  void Export();
  void Print();
  void ScreenToClipboard();
  void ScreenToFile();
  void ShowWelcome();
  void ShowOptions(int page = 0);
  void ShowAbout();
  // "Stückliste": the parts list of the open layout.
  void ShowTrackList();
  // "Gleislösung": the gap solver for the two selected tracks (or two chosen in the window).
  void ShowTrackSolution();
  // After the settings were read again: the frame rate, the project menu, rulers and actions.
  void SettingsChanged();

  // Runs fn as an action slot does: an exception is reported once by the program's handler.
  void Guarded(const std::function<void()>& fn);
  // The 40 ms timer and the idle timer that call the frame step while a layout is open.
  void StartFrameLoop();
  void StopFrameLoop();
  bool FrameLoopRunning() const { return FTickTimer.isActive(); }

  // ---- the automation interface's view ----
  // The marks of SimMode, ShowGizmo, ShowSelectionBorder and ShowActiveTrack; setting one takes
  // effect at once, without the action's own toggle rules (other actions: false, nothing set).
  bool DisplayMark(TRRShellAction action) const;
  void SetDisplayMark(TRRShellAction action, bool checked);
  // Clients of the automation interface; closing the window with any asks first.
  void SetAutomationClients(std::function<int()> count) { FAutomationClients = std::move(count); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void CreateActions();
  void CreateMenus();
  void CreateToolBar();
  void CreateStatusBar();
  void ConnectProject();
  void ConnectCatalog();
  QAction* Add(TRRShellAction id, const QString& caption, const QKeySequence& key, std::function<void()> slot,
               bool checkable = false);
  void ApplyLayout(const TRRShellState& state);
  void UpdateRulers();
  void FrameTick();
  void SelectAll();
  void SetSimulationMode(bool on);
  void ToggleDisplay(TRRShellAction display);
  void ApplyDisplays(const TRRShellSnapshot& next);
  void ToggleBar(TRRShellAction bar);
  void ToggleFullScreen();
  void ToggleNight();
  void SendViewKey(int virtualKey);
  void RestorePlacement();
  void SavePlacement();
  QString InitialOpenFolder() const;
  // A flow runs only when none runs (a question or progress window of another flow is showing).
  bool BeginFlow();
  void EndFlow();
  QImage ScreenImage() const;

  TRRGlobal& FGlobal;
  TRRQtUIService& FUI;
  std::function<int()> FAutomationClients;
  std::array<QAction*, RRShellActionCount> FActions{};
  std::array<QAction*, 9> FRecent{};
  std::array<QLabel*, 3> FPanels{};
  QMenu* FCameraMenu = nullptr;
  QMenu* FFileMenu = nullptr;
  QToolBar* FToolBar = nullptr;
  TCentralArea* FCentral = nullptr;
  TRRViewWidget* FView = nullptr;
  TRRProjectMenu* FProjectMenu = nullptr;
  TRRProjectRuler* FLeftRuler = nullptr;
  TRRProjectRuler* FTopRuler = nullptr;
  TRRLoadProgress* FLoadProgress = nullptr;
  TRRQtAction FUndo, FRedo, FPaste;
  QTimer FTickTimer;
  QTimer FIdleTimer;
  // Editing displays and simulation mode (global switches other parts read).
  bool FSimulationMode = false;
  bool FShowGizmo = true;
  bool FShowSelectionBorder = true;
  bool FShowActiveTrack = true;
  bool FFullScreen = false;
  TRRMainWindowViewFlags FWindowed{true, true, true, true};
  TRRMainWindowViewFlags FFullScreenFlags{false, false, false, false};
  QRect FNormalGeometry;
  bool FInFlow = false;
  bool FAutoTerrain = true;
  std::unique_ptr<TRRCatalogDrop> FCatalogDrop;
  TTrackEditor* FTrackEditor = nullptr;
  TTrackVehicleEditor* FVehicleEditor = nullptr;
  TRRSmartHintManager* FHints = nullptr;
  TEventManagerWindow* FEventManager = nullptr;
  // Whether the catalogue was last built for an open layout (its filter applies only then).
  bool FCatalogForOpen = false;
  bool FCatalogRefreshPending = false;
  // The project's services before the window took over its callbacks (given back at the end).
  TRRProjectServices FSavedServices;
};

}  // namespace rr
