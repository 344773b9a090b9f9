#include "app/RRShellState.h"

#include <algorithm>
#include <string_view>

#include "app/entities/RRCamera.h"
#include "engine/core/GXException.h"

namespace rr {

namespace {

using A = TRRShellAction;

[[noreturn]] void RaiseInvalidAction(const char* method, TRRShellAction action) {
  throw gx::EInvalidParameter(
      {gx::TGXExceptionArg::Object("TRRShellState"), method, static_cast<int>(action)});
}

bool IsDisplayAction(TRRShellAction action) {
  return action == A::ShowGizmo || action == A::ShowSelectionBorder || action == A::ShowActiveTrack;
}

// The flag of one editing display, for reading and for toggling.
template <class TSnapshot>
auto& DisplayFlag(TSnapshot& s, TRRShellAction display) {
  switch (display) {
    case A::ShowGizmo:
      return s.ShowGizmo;
    case A::ShowSelectionBorder:
      return s.ShowSelectionBorder;
    default:
      return s.ShowActiveTrack;
  }
}

// UTF-8 lengths and cuts count code points: a continuation byte never starts a character, so
// cutting only in front of other bytes never splits one (invalid input stays as invalid as it was).
bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

int CodePoints(std::string_view text) {
  return static_cast<int>(std::count_if(text.begin(), text.end(), [](char c) { return !IsContinuation(c); }));
}

// The last `count` code points of text.
std::string_view LastCodePoints(std::string_view text, int count) {
  size_t start = text.size();
  while (start > 0 && count > 0) {
    --start;
    if (!IsContinuation(text[start])) --count;
  }
  return text.substr(start);
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

TRRMainWindowViewFlags TRRShellState::BarsInUse() const {
  // The start picture needs the menus and tools to open a project, and there is nothing to put in
  // the project menu.
  if (!FSnapshot.ProjectOpen) return {true, true, false, true};
  return FSnapshot.FullScreen ? FSnapshot.FullScreenFlags : FSnapshot.Windowed;
}

TRRShellLayout TRRShellState::Layout() const {
  const TRRShellSnapshot& s = FSnapshot;
  TRRMainWindowViewFlags bars = BarsInUse();
  TRRShellLayout layout;
  layout.CoolBarVisible = bars.CoolBar;
  // The tool bar lives inside the cool bar, so it cannot show without it.
  layout.ToolBarVisible = bars.CoolBar && bars.ToolBar;
  layout.StatusBarVisible = bars.StatusBar;
  if (!s.ProjectOpen) {
    layout.StartPicture = true;
    return layout;
  }

  const int width = std::max(0, s.ClientWidth);
  const int height = std::max(0, s.ClientHeight);
  const int top = std::clamp(bars.CoolBar ? s.CoolBarHeight : 0, 0, height);
  const int bottom = std::clamp(height - (bars.StatusBar ? std::max(0, s.StatusBarHeight) : 0), top, height);

  int viewBottom = bottom;
  if (bars.ProjectMenu) {
    const int menuHeight = std::min(RRProjectMenuHeight, bottom - top);
    viewBottom = bottom - menuHeight;
    layout.ProjectMenu = {0, viewBottom, width, menuHeight, true};
  }

  const bool technical = s.ActiveCameraType == RRCameraTechnical;
  const int rulerWidth = technical ? std::min(RRRulerSize, width) : 0;
  const int rulerHeight = technical ? std::min(RRRulerSize, viewBottom - top) : 0;
  layout.View = {rulerWidth, top + rulerHeight, width - rulerWidth, viewBottom - top - rulerHeight, true};
  if (technical) {
    layout.TopRuler = {0, top, width, rulerHeight, true};
    layout.LeftRuler = {0, layout.View.Y, rulerWidth, layout.View.Height, true};
  }
  return layout;
}

TRRShellActionState TRRShellState::Action(TRRShellAction action) const {
  if (static_cast<int>(action) < 0 || static_cast<int>(action) >= RRShellActionCount)
    RaiseInvalidAction("Action", action);
  const TRRShellSnapshot& s = FSnapshot;
  const bool open = s.ProjectOpen;
  // A closed project has no selection; a stale summary must not enable anything.
  const TRRSelectionSummary sel = open ? s.Selection : TRRSelectionSummary{};
  const bool simulation = open && s.SimulationMode;
  // A fixed entity (the light, a predefined camera) cannot be exported, cut, copied or deleted;
  // the actions apply as soon as one selected entity is not fixed.
  const bool movable = sel.Count > sel.FixedCount;

  TRRShellActionState r;
  switch (action) {
    case A::NewProject:
    case A::OpenProject:
    case A::CloseProject:
    case A::Exit:
    case A::ConfigAssetPaths:
    case A::Options:
    case A::Manual:
    case A::Welcome:
    case A::Update:
    case A::Forum:
    case A::About:
      r.Enabled = true;
      break;
    case A::SaveProject:
    case A::SaveProjectAs:
    case A::Import:
    case A::Print:
    case A::ScreenToClipboard:
    case A::ScreenToFile:
    case A::Select:
    case A::SelectAll:
    case A::ZoomIn:
    case A::ZoomOut:
    case A::ShowTrackList:
    case A::ShowEventManager:
    // The gap solver takes the two selected tracks or lets the user choose two.
    case A::ShowTrackSolution:
      r.Enabled = open;
      break;
    case A::Export:
    case A::Cut:
    case A::Copy:
    case A::Delete:
      r.Enabled = movable;
      break;
    case A::Undo:
    case A::Redo:
      break;
    case A::Paste:
      r.Enabled = open && !s.ClipboardEmpty;
      break;
    case A::Group:
      r.Enabled = sel.Count > 1;
      break;
    case A::ReleaseGroup:
      r.Enabled = sel.Count == 1 && sel.GroupCount == 1;
      break;
    case A::Center:
      r.Enabled = sel.Count > 0;
      break;
    case A::SetNight:
      r.Enabled = open && s.HasLight;
      r.Checked = r.Enabled && s.LightPreset == 1;
      break;
    case A::SimMode:
      r.Enabled = open;
      r.Checked = simulation;
      break;
    case A::ShowGizmo:
    case A::ShowSelectionBorder:
    case A::ShowActiveTrack:
      r.Enabled = open && !simulation;
      r.Checked = !open || DisplayFlag(s, action);
      break;
    case A::ShowToolbar:
      r.Enabled = open;
      r.Checked = Layout().ToolBarVisible;
      break;
    case A::ShowProjectMenu:
      r.Enabled = open;
      r.Checked = BarsInUse().ProjectMenu;
      break;
    case A::ShowStatusBar:
      r.Enabled = open;
      r.Checked = BarsInUse().StatusBar;
      break;
    case A::Fullscreen:
      // Closing the project in full screen must not leave a borderless window with no way out.
      r.Enabled = open || s.FullScreen;
      r.Checked = s.FullScreen;
      break;
    case A::AutoTerrainAlign:
      r.Enabled = true;
      r.Checked = s.AutoTerrainAlign;
      break;
    case A::Animations:
      r.Enabled = true;
      r.Checked = s.Animations;
      break;
    case A::Sounds:
      r.Enabled = true;
      r.Checked = s.Sounds;
      break;

    case A::EditTrack:
      r.Enabled = sel.Count == 1 && sel.TrackCount == 1;
      r.Visible = r.Enabled;
      break;
    case A::SaveDB:
      r.Enabled = s.DatabaseModified;
      break;
    case A::Count:
      break;
  }
  return r;
}

std::string TRRShellState::Caption() const {
  std::string caption = std::string(RRPublisherName) + " " + RRProductName;
  if (!FSnapshot.ProjectOpen) return caption;
  return caption + " - " + (FSnapshot.FileName.empty() ? RRTextNewProjectCaption : FSnapshot.FileName);
}

std::vector<std::string> TRRShellState::RecentCaptions() const {
  std::vector<std::string> captions;
  const size_t count = std::min(FSnapshot.RecentProjects.size(), static_cast<size_t>(RRRecentProjectItems));
  for (size_t i = 0; i < count; ++i) {
    // Compacted first: the length limit is about what shows, and "&&" shows as one character.
    captions.push_back("&" + std::to_string(i + 1) + " " +
                       RREscapeMnemonic(RRCompactPath(FSnapshot.RecentProjects[i])));
  }
  return captions;
}

TRRShellSnapshot TRRShellState::ToggleSimulationMode() const {
  TRRShellSnapshot s = FSnapshot;
  if (!Action(A::SimMode).Enabled) return s;
  s.SimulationMode = !s.SimulationMode;
  s.ShowGizmo = s.ShowSelectionBorder = s.ShowActiveTrack = !s.SimulationMode;
  return s;
}

TRRShellSnapshot TRRShellState::ToggleDisplay(TRRShellAction display) const {
  if (!IsDisplayAction(display)) RaiseInvalidAction("ToggleDisplay", display);
  TRRShellSnapshot s = FSnapshot;
  if (!Action(display).Enabled) return s;
  bool& flag = DisplayFlag(s, display);
  flag = !flag;
  // With nothing left to show for editing the user is watching the layout run.
  if (!s.ShowGizmo && !s.ShowSelectionBorder && !s.ShowActiveTrack) s.SimulationMode = true;
  return s;
}

TRRShellSnapshot TRRShellState::ToggleBar(TRRShellAction bar) const {
  if (bar != A::ShowToolbar && bar != A::ShowProjectMenu && bar != A::ShowStatusBar)
    RaiseInvalidAction("ToggleBar", bar);
  TRRShellSnapshot s = FSnapshot;
  if (!Action(bar).Enabled) return s;
  TRRMainWindowViewFlags& flags = s.FullScreen ? s.FullScreenFlags : s.Windowed;
  if (bar == A::ShowToolbar) {
    // Toggled from what shows: a tool bar flag set inside a hidden cool bar would otherwise need
    // two clicks to show anything.
    const bool show = !Layout().ToolBarVisible;
    flags.ToolBar = show;
    // In full screen the cool bar holds nothing else; windowed it stays when the tool bar goes.
    if (show || s.FullScreen) flags.CoolBar = show;
  } else if (bar == A::ShowProjectMenu) {
    flags.ProjectMenu = !flags.ProjectMenu;
  } else {
    flags.StatusBar = !flags.StatusBar;
  }
  return s;
}

TRRShellSnapshot TRRShellState::ToggleFullScreen() const {
  TRRShellSnapshot s = FSnapshot;
  if (Action(A::Fullscreen).Enabled) s.FullScreen = !s.FullScreen;
  return s;
}

std::vector<TRRCameraMenuItem> RRCameraMenu(const std::vector<TRRCameraMenuEntry>& cameras) {
  std::vector<TRRCameraMenuItem> views, cockpits, placed;
  for (size_t i = 0; i < cameras.size(); ++i) {
    TRRCameraMenuItem item{TRRCameraMenuItem::Camera, static_cast<int>(i), false, cameras[i].Active};
    switch (cameras[i].Type) {
      case RRCameraFree:
      case RRCameraTopDown:
      case RRCameraTechnical:
        views.push_back(item);
        break;
      case RRCameraCockpit:
        item.InSubmenu = true;
        cockpits.push_back(item);
        break;
      case RRCameraPlaced:
        placed.push_back(item);
        break;
      default:
        break;
    }
  }
  if (!cockpits.empty())
    cockpits.insert(cockpits.begin(), TRRCameraMenuItem{TRRCameraMenuItem::CockpitSubmenu});

  std::vector<TRRCameraMenuItem> menu;
  for (const auto* group : {&views, &cockpits, &placed}) {
    if (group->empty()) continue;
    if (!menu.empty()) menu.push_back({TRRCameraMenuItem::Separator});
    menu.insert(menu.end(), group->begin(), group->end());
  }
  return menu;
}

std::string RRCompactPath(const std::string& path, int maxLength) {
  if (maxLength < 4)
    throw gx::EInvalidParameter({gx::TGXExceptionArg::Object("RRCompactPath"), "maxLength", maxLength});
  if (CodePoints(path) <= maxLength) return path;
  const std::string_view p(path);
  const std::string ellipsis = "...";

  // Separators that start a tail; one at the very end belongs to the last name.
  std::vector<size_t> separators;
  for (size_t i = 0; i + 1 < p.size(); ++i)
    if (IsSeparator(p[i])) separators.push_back(i);

  if (!separators.empty()) {
    // The first component with its leading separators (a root or a network prefix) and the one
    // behind it.
    size_t headEnd = 0;
    while (headEnd < p.size() && IsSeparator(p[headEnd])) ++headEnd;
    while (headEnd < p.size() && !IsSeparator(p[headEnd])) ++headEnd;
    const std::string_view head = p.substr(0, std::min(headEnd + 1, p.size()));
    const int headLength = CodePoints(head) + 3;
    // Longest tail first; a tail has to start behind the head's own separator.
    for (size_t sep : separators) {
      if (sep < head.size()) continue;
      const std::string_view tail = p.substr(sep);
      if (headLength + CodePoints(tail) <= maxLength) return std::string(head) + ellipsis + std::string(tail);
    }
    // The name alone, when the first component does not fit beside it.
    const std::string_view name = p.substr(separators.back());
    if (3 + CodePoints(name) <= maxLength) return ellipsis + std::string(name);
  }
  const std::string_view name = separators.empty() ? p : p.substr(separators.back() + 1);
  return ellipsis + std::string(LastCodePoints(name, maxLength - 3));
}

std::string RREscapeMnemonic(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    escaped += c;
    if (c == '&') escaped += '&';
  }
  return escaped;
}

bool* RRDisplayMark(TRRShellSnapshot& s, TRRShellAction action) {
  switch (action) {
    case A::SimMode:
      return &s.SimulationMode;
    case A::ShowGizmo:
      return &s.ShowGizmo;
    case A::ShowSelectionBorder:
      return &s.ShowSelectionBorder;
    case A::ShowActiveTrack:
      return &s.ShowActiveTrack;
    default:
      return nullptr;
  }
}

}  // namespace rr
