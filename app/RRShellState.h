#pragma once
// The main window's rules without a window: from a snapshot of the program's state it answers
// which actions are enabled, checked and visible, the window caption, whether the start picture
// shows, where the bars, the project menu, the 3D view and the rulers go, how simulation mode and
// the three editing displays follow each other, the order of the camera menu and the captions of
// the recent-project items. The desktop window only applies the answers; the automation's headless
// server asks the same rules.

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/RRGlobal.h"  // the publisher and product names

namespace rr {

// Every action of the main window (menus and tool bar), in menu order.
enum class TRRShellAction : int {
  // "&Datei"
  NewProject,
  OpenProject,
  SaveProject,
  SaveProjectAs,
  CloseProject,
  Import,
  Export,
  Print,
  ScreenToClipboard,
  ScreenToFile,
  Exit,
  // "&Bearbeiten"
  Undo,
  Redo,
  Cut,
  Copy,
  Paste,
  Delete,
  Group,
  ReleaseGroup,
  Select,
  SelectAll,
  // "&Ansicht"
  Center,
  ZoomIn,
  ZoomOut,
  SetNight,
  SimMode,
  ShowGizmo,
  ShowSelectionBorder,
  ShowActiveTrack,
  ShowToolbar,
  ShowProjectMenu,
  ShowStatusBar,
  Fullscreen,
  // "E&xtras"
  AutoTerrainAlign,
  Animations,
  Sounds,
  ShowTrackList,
  ShowEventManager,
  ShowTrackSolution,
  EditTrack,
  SaveDB,
  ConfigAssetPaths,
  Options,
  // "&Hilfe"
  Manual,
  Welcome,
  Update,
  Forum,
  About,
  Count
};
inline constexpr int RRShellActionCount = static_cast<int>(TRRShellAction::Count);

// The four bars of one window state (windowed or full screen).
struct TRRMainWindowViewFlags {
  bool CoolBar = true;
  bool ToolBar = true;
  bool ProjectMenu = true;
  bool StatusBar = true;
  friend bool operator==(const TRRMainWindowViewFlags&, const TRRMainWindowViewFlags&) = default;
};

// The selection as the actions see it, gathered in one pass over the selected entities.
struct TRRSelectionSummary {
  int Count = 0;       // selected entities
  int FixedCount = 0;  // of them fixed (the light, predefined cameras)
  int GroupCount = 0;  // of them entity groups
  int TrackCount = 0;  // of them track pieces
};

// Everything the rules read. The window fills it from the project, the settings and its own
// geometry; tests fill it by hand.
struct TRRShellSnapshot {
  bool ProjectOpen = false;
  std::string FileName;  // empty for a new project that was never saved
  TRRSelectionSummary Selection;
  bool ClipboardEmpty = true;
  bool HasLight = false;
  int LightPreset = 0;  // the light's active preset (1 = night)
  bool DatabaseModified = false;
  bool Animations = true;
  bool Sounds = true;
  bool AutoTerrainAlign = true;
  // The three editing displays and simulation mode.
  bool SimulationMode = false;
  bool ShowGizmo = true;
  bool ShowSelectionBorder = true;
  bool ShowActiveTrack = true;
  // Bars: the full-screen flag chooses the set in use.
  bool FullScreen = false;
  TRRMainWindowViewFlags Windowed{true, true, true, true};
  TRRMainWindowViewFlags FullScreenFlags{false, false, false, false};
  // Camera type of the active camera, -1 without one.
  int ActiveCameraType = -1;
  // Client area of the window and the heights of the bars as the toolkit lays them out (pixels).
  int ClientWidth = 0;
  int ClientHeight = 0;
  int CoolBarHeight = 0;
  int StatusBarHeight = 0;
  // Recent projects, newest first (at most nine are shown).
  std::vector<std::string> RecentProjects;
};

// The flag of the snapshot behind one of the four marks automation reads and sets (simulation
// mode and the three editing displays); null for any other action.
bool* RRDisplayMark(TRRShellSnapshot& s, TRRShellAction action);

struct TRRShellActionState {
  bool Enabled = false;
  bool Checked = false;
  bool Visible = true;
};

struct TRRShellRect {
  int X = 0, Y = 0, Width = 0, Height = 0;
  bool Visible = false;
  friend bool operator==(const TRRShellRect&, const TRRShellRect&) = default;
};

// Where the window's parts go. Widths and heights never go below 0. The cool bar keeps the top
// and the status bar the bottom of the client; in a window too low for everything the project menu
// gets what is left between them and the view what is left above the project menu, so no two
// parts overlap. With the technical-drawing camera the top ruler spans the whole client width
// (its first 20 pixels are the corner square) and the left ruler runs beside the view, so
// rulers and view tile the space between the bars exactly. Hidden parts keep an empty rectangle.
struct TRRShellLayout {
  bool CoolBarVisible = true;
  bool ToolBarVisible = true;
  bool StatusBarVisible = true;
  TRRShellRect ProjectMenu;   // 180 pixels above the status bar (or the bottom edge)
  TRRShellRect View;          // the 3D view
  TRRShellRect LeftRuler;     // technical drawing only: 20 pixels wide left of the view
  TRRShellRect TopRuler;      // technical drawing only: 20 pixels high above the view
  bool StartPicture = false;  // the start picture fills the client (no project open)
};

inline constexpr int RRProjectMenuHeight = 180;
inline constexpr int RRRulerSize = 20;
inline constexpr int RRRecentCaptionLength = 69;
inline constexpr int RRRecentProjectItems = 9;
inline constexpr const char* RRTextNewProjectCaption = "[Neues Projekt]";
inline constexpr const char* RRTextCockpitCameras = "Cockpit-Kameras";
inline constexpr const char* RRTextFullScreenHint = "Drücken Sie F12, um den Vollbildmodus zu verlassen.";
inline constexpr const char* RRTextFullScreenHintTitle = "Hinweis";

// One item of the camera menu: a camera (index into the list given), a separator or the
// "Cockpit-Kameras" submenu holding the cockpit cameras that follow it.
struct TRRCameraMenuItem {
  enum TKind { Camera, Separator, CockpitSubmenu } Kind = Camera;
  int Index = -1;          // the camera's index in the list given (Camera items)
  bool InSubmenu = false;  // a cockpit camera inside the submenu
  bool Checked = false;    // the active camera
};

struct TRRCameraMenuEntry {
  int Type = 0;
  bool Active = false;
};

class TRRShellState {
 public:
  explicit TRRShellState(TRRShellSnapshot snapshot) : FSnapshot(std::move(snapshot)) {}

  const TRRShellSnapshot& Snapshot() const { return FSnapshot; }

  // Enabled, checked and visible of one action. Undo and redo are left to the history (the
  // answer for them is disabled, as the state refresh leaves them). While no project is open the
  // selection counts as empty, simulation mode as off and the three displays as on. Full screen
  // can always be left, also after the project was closed in it. Raises EInvalidParameter for a
  // value outside the actions.
  TRRShellActionState Action(TRRShellAction action) const;
  // The window caption: "Maralt 3D-Velmora 2013 - <file>", "... - [Neues Projekt]" or
  // "Maralt 3D-Velmora 2013" when closed.
  std::string Caption() const;
  // The bars of the set in use; while no project is open cool bar, tool bar and status bar show
  // whatever the flags say and the project menu does not.
  TRRMainWindowViewFlags BarsInUse() const;
  TRRShellLayout Layout() const;
  // Captions "&1 <compacted path>" ... "&9 ..." of the recent items that exist; '&' in a path is
  // doubled so it shows as itself.
  std::vector<std::string> RecentCaptions() const;

  // ---- transitions: each returns the snapshot after the user's action ----
  // A disabled action changes nothing (the snapshot comes back as it is), so a toolkit that
  // reports a programmatic check change cannot break the rules. Actions a transition does not
  // handle raise EInvalidParameter.
  // Simulation mode on: the three displays off; off: all three on.
  TRRShellSnapshot ToggleSimulationMode() const;
  // One display toggled; all three off switches simulation mode on. display: ShowGizmo,
  // ShowSelectionBorder or ShowActiveTrack.
  TRRShellSnapshot ToggleDisplay(TRRShellAction display) const;
  // The tool-bar, project-menu or status-bar flag of the set in use toggled (the tool-bar flag
  // also sets the cool-bar flag in full screen). The tool bar toggles from what is shown, and
  // showing it shows the cool bar that holds it in either set.
  TRRShellSnapshot ToggleBar(TRRShellAction bar) const;
  // Full screen entered or left.
  TRRShellSnapshot ToggleFullScreen() const;

 private:
  TRRShellSnapshot FSnapshot;
};

// The camera menu: types 1, 3 and 4 in list order, a separator, the submenu "Cockpit-Kameras" with
// the type-2 cameras (only when there is one), a separator, the type-0 cameras. Separators stand
// only between groups that have items; cameras of other types are not listed.
std::vector<TRRCameraMenuItem> RRCameraMenu(const std::vector<TRRCameraMenuEntry>& cameras);

// A path shortened to at most maxLength characters (UTF-8 characters, not bytes): the first
// component, "...", and the longest tail of whole components that fits; when the first component
// leaves no room for the name, "..." and the name; a single name that is too long keeps its end,
// cut at its front behind "...". Both '/' and '\\' separate components; a path that fits stays.
// Raises EInvalidParameter for maxLength below 4 (no room for "..." and one character).
std::string RRCompactPath(const std::string& path, int maxLength = RRRecentCaptionLength);

// Doubles every '&' so a name shows as itself in a menu caption.
std::string RREscapeMnemonic(const std::string& text);

}  // namespace rr
