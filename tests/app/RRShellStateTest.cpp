#include <gtest/gtest.h>

#include <set>

#include "app/RRShellState.h"
#include "engine/core/GXException.h"

using namespace rr;
using A = TRRShellAction;

namespace {

TRRShellSnapshot Closed() {
  TRRShellSnapshot s;
  // What a project left behind when it was closed must not leak into the answers.
  s.Selection = {2, 0, 0, 2};
  s.ClipboardEmpty = false;
  s.HasLight = true;
  s.SimulationMode = true;
  s.ShowGizmo = s.ShowSelectionBorder = s.ShowActiveTrack = false;
  s.Windowed = {false, false, false, false};
  return s;
}

TRRShellSnapshot Open(TRRSelectionSummary selection = {}) {
  TRRShellSnapshot s;
  s.ProjectOpen = true;
  s.Selection = selection;
  s.ClientWidth = 800;
  s.ClientHeight = 600;
  s.CoolBarHeight = 30;
  s.StatusBarHeight = 20;
  return s;
}

template <class F>
TRRShellSnapshot With(TRRShellSnapshot s, F change) {
  change(s);
  return s;
}

struct TActionCase {
  const char* Name;
  TRRShellSnapshot Snapshot;
  A Action;
  bool Enabled, Checked = false, Visible = true;
};

}  // namespace

TEST(RRShellState, ActionTable) {
  const TActionCase cases[] = {
      {"one fixed entity", Open({1, 1, 0, 0}), A::Export, false},
      {"a fixed and a free entity", Open({2, 1, 0, 0}), A::Delete, true},
      {"stale selection after close", Closed(), A::Copy, false},
      {"empty clipboard", Open(), A::Paste, false},
      {"clipboard with content", With(Open(), [](auto& s) { s.ClipboardEmpty = false; }), A::Paste, true},
      {"group of two", Open({2, 0, 0, 0}), A::Group, true},
      {"group of one", Open({1, 0, 0, 0}), A::Group, false},
      {"release one group", Open({1, 0, 1, 0}), A::ReleaseGroup, true},
      {"release group and more", Open({2, 0, 1, 0}), A::ReleaseGroup, false},
      {"solve two tracks", Open({2, 0, 0, 2}), A::ShowTrackSolution, true},
      // The window lets the user choose the tracks when the selection does not name two.
      {"solve track and model", Open({2, 0, 0, 1}), A::ShowTrackSolution, true},
      {"solve without layout", Closed(), A::ShowTrackSolution, false},
      {"parts list", Open(), A::ShowTrackList, true},
      {"edit one track", Open({1, 0, 0, 1}), A::EditTrack, true, false, true},
      {"edit two tracks", Open({2, 0, 0, 2}), A::EditTrack, false, false, false},
      {"edit model", Open({1, 0, 0, 0}), A::EditTrack, false, false, false},
      {"night", With(Open(), [](auto& s) { s.HasLight = true, s.LightPreset = 1; }), A::SetNight, true, true},
      {"day", With(Open(), [](auto& s) { s.HasLight = true; }), A::SetNight, true, false},
      {"night without light", Open(), A::SetNight, false},
      {"gizmo in simulation", With(Open(), [](auto& s) { s.SimulationMode = true, s.ShowGizmo = false; }), A::ShowGizmo, false},
      {"gizmo flag", With(Open(), [](auto& s) { s.ShowGizmo = true; }), A::ShowGizmo, true, true},
      {"border without project", Closed(), A::ShowSelectionBorder, false, true},
      {"simulation without project", Closed(), A::SimMode, false, false},
      {"simulation", With(Open(), [](auto& s) { s.SimulationMode = true; }), A::SimMode, true, true},
      {"undo", Open(), A::Undo, false},
      {"tool bar without project", Closed(), A::ShowToolbar, false, true},
      {"tool bar full screen", With(Open(), [](auto& s) { s.FullScreen = true; }), A::ShowToolbar, true,
       false},
      {"tool bar in hidden cool bar", With(Open(), [](auto& s) { s.Windowed.CoolBar = false; }),
       A::ShowToolbar, true, false},
      {"project menu without project", Closed(), A::ShowProjectMenu, false, false},
      {"status bar", Open(), A::ShowStatusBar, true, true},
      {"full screen", With(Open(), [](auto& s) { s.FullScreen = true; }), A::Fullscreen, true, true},
      {"full screen left after close", With(Closed(), [](auto& s) { s.FullScreen = true; }), A::Fullscreen,
       true, true},
      {"sounds off", With(Closed(), [](auto& s) { s.Sounds = false; }), A::Sounds, true, false},
      {"database modified", With(Closed(), [](auto& s) { s.DatabaseModified = true; }), A::SaveDB, true},
  };
  for (const auto& c : cases) {
    TRRShellActionState r = TRRShellState(c.Snapshot).Action(c.Action);
    EXPECT_EQ(r.Enabled, c.Enabled) << c.Name;
    EXPECT_EQ(r.Checked, c.Checked) << c.Name;
    EXPECT_EQ(r.Visible, c.Visible) << c.Name;
  }
  EXPECT_THROW(TRRShellState(Open()).Action(A::Count), gx::EInvalidParameter);
}

TEST(RRShellState, WithoutProjectOnlyProjectFreeActionsAreEnabled) {
  const std::set<A> always = {A::NewProject,
                              A::OpenProject,
                              A::CloseProject,
                              A::Exit,
                              A::AutoTerrainAlign,
                              A::Animations,
                              A::Sounds,
                              A::ConfigAssetPaths,
                              A::Options,
                              A::Manual,
                              A::Welcome,
                              A::Update,
                              A::Forum,
                              A::About};
  TRRShellState state(Closed());
  for (int i = 0; i < RRShellActionCount; ++i)
    EXPECT_EQ(state.Action(A(i)).Enabled, always.count(A(i)) == 1) << "action " << i;
}

TEST(RRShellState, Caption) {
  EXPECT_EQ(TRRShellState(Closed()).Caption(), "Maralt 3D-Velmora 2013");
  EXPECT_EQ(TRRShellState(Open()).Caption(), "Maralt 3D-Velmora 2013 - [Neues Projekt]");
  EXPECT_EQ(TRRShellState(With(Open(), [](auto& s) { s.FileName = "/home/anna/Süd.vmp"; })).Caption(),
            "Maralt 3D-Velmora 2013 - /home/anna/Süd.vmp");
}

TEST(RRShellState, Layout) {
  auto technical = [](auto& s) { s.ActiveCameraType = 4; };
  struct TCase {
    const char* Name;
    TRRShellSnapshot Snapshot;
    TRRShellRect View, ProjectMenu = {}, TopRuler = {}, LeftRuler = {};
  };
  const TCase cases[] = {
      {"windowed", Open(), {0, 30, 800, 370, true}, {0, 400, 800, 180, true}},
      {"technical",
       With(Open(), technical),
       {20, 50, 780, 350, true},
       {0, 400, 800, 180, true},
       {0, 30, 800, 20, true},
       {0, 50, 20, 350, true}},
      {"full screen", With(Open(), [](auto& s) { s.FullScreen = true; }), {0, 0, 800, 600, true}},
      {"no status bar",
       With(Open(), [](auto& s) { s.Windowed.StatusBar = false; }),
       {0, 30, 800, 390, true},
       {0, 420, 800, 180, true}},
      {"low window",
       With(Open(), [](auto& s) { s.ClientHeight = 100; }),
       {0, 30, 800, 0, true},
       {0, 30, 800, 50, true}},
      {"tiny technical",
       With(Open(), [](auto& s) { s.ClientWidth = 10, s.ClientHeight = 40, s.ActiveCameraType = 4; }),
       {10, 30, 0, 0, true},
       {0, 30, 10, 0, true},
       {0, 30, 10, 0, true},
       {0, 30, 10, 0, true}},
      {"negative client",
       With(Open(), [](auto& s) { s.ClientWidth = -5, s.ClientHeight = -5; }),
       {0, 0, 0, 0, true},
       {0, 0, 0, 0, true}},
  };
  for (const auto& c : cases) {
    TRRShellLayout l = TRRShellState(c.Snapshot).Layout();
    EXPECT_EQ(l.View, c.View) << c.Name;
    EXPECT_EQ(l.ProjectMenu, c.ProjectMenu) << c.Name;
    EXPECT_EQ(l.TopRuler, c.TopRuler) << c.Name;
    EXPECT_EQ(l.LeftRuler, c.LeftRuler) << c.Name;
    EXPECT_FALSE(l.StartPicture) << c.Name;
  }
}

TEST(RRShellState, LayoutWithoutProjectShowsStartPictureAndEveryBar) {
  TRRShellLayout l = TRRShellState(With(Closed(), [](auto& s) { s.ActiveCameraType = 4; })).Layout();
  EXPECT_TRUE(l.StartPicture);
  EXPECT_TRUE(l.CoolBarVisible && l.ToolBarVisible && l.StatusBarVisible);
  EXPECT_FALSE(l.ProjectMenu.Visible || l.View.Visible || l.TopRuler.Visible || l.LeftRuler.Visible);
}

TEST(RRShellState, BarsInFullScreenKeepTheirOwnSet) {
  TRRShellSnapshot s = TRRShellState(Open()).ToggleFullScreen();
  s = TRRShellState(s).ToggleBar(A::ShowStatusBar);
  s = TRRShellState(s).ToggleBar(A::ShowToolbar);
  EXPECT_EQ(s.FullScreenFlags, (TRRMainWindowViewFlags{true, true, false, true}));
  EXPECT_EQ(s.Windowed, (TRRMainWindowViewFlags{true, true, true, true}));
  EXPECT_EQ(TRRShellState(s).Layout().View, (TRRShellRect{0, 30, 800, 550, true}));
  // Hiding the tool bar again in full screen gives the cool bar's strip back to the view.
  s = TRRShellState(s).ToggleBar(A::ShowToolbar);
  EXPECT_EQ(TRRShellState(s).Layout().View, (TRRShellRect{0, 0, 800, 580, true}));
  // Windowed, the cool bar stays; a tool bar flag inside a hidden cool bar shows with one click.
  s = TRRShellState(s).ToggleFullScreen();
  s = TRRShellState(s).ToggleBar(A::ShowToolbar);
  EXPECT_EQ(s.Windowed, (TRRMainWindowViewFlags{true, false, true, true}));
  s.Windowed.CoolBar = false, s.Windowed.ToolBar = true;
  s = TRRShellState(s).ToggleBar(A::ShowToolbar);
  EXPECT_TRUE(TRRShellState(s).Action(A::ShowToolbar).Checked);
  EXPECT_THROW(TRRShellState(s).ToggleBar(A::Fullscreen), gx::EInvalidParameter);
}

TEST(RRShellState, SimulationModeAndDisplays) {
  TRRShellSnapshot s = Open();
  s.ShowGizmo = true;
  for (A display : {A::ShowGizmo, A::ShowSelectionBorder, A::ShowActiveTrack}) {
    EXPECT_FALSE(s.SimulationMode);
    s = TRRShellState(s).ToggleDisplay(display);
  }
  EXPECT_TRUE(s.SimulationMode);
  // Disabled while simulating: a toggle reported by the toolkit changes nothing.
  s = TRRShellState(s).ToggleDisplay(A::ShowGizmo);
  EXPECT_FALSE(s.ShowGizmo);
  s = TRRShellState(s).ToggleSimulationMode();
  EXPECT_TRUE(!s.SimulationMode && s.ShowGizmo && s.ShowSelectionBorder && s.ShowActiveTrack);
  s = TRRShellState(s).ToggleSimulationMode();
  EXPECT_TRUE(s.SimulationMode && !s.ShowGizmo && !s.ShowSelectionBorder && !s.ShowActiveTrack);

  TRRShellSnapshot closed = Open();
  closed.ProjectOpen = false;
  EXPECT_FALSE(TRRShellState(closed).ToggleSimulationMode().SimulationMode);
  EXPECT_TRUE(TRRShellState(closed).ToggleDisplay(A::ShowActiveTrack).ShowActiveTrack);
  EXPECT_THROW(TRRShellState(s).ToggleDisplay(A::SimMode), gx::EInvalidParameter);
}

TEST(RRCompactPath, KeepsHeadAndLongestTailByCodePoints) {
  const std::string fits69 = "/home/.../Entwürfe/Hauptbahnhof mit Schattenbahnhof und Bw Süd 12.vmp";
  std::string umlauts;
  for (int i = 0; i < 80; ++i) umlauts += "ä";
  std::string umlauts66;
  for (int i = 0; i < 66; ++i) umlauts66 += "ä";
  const struct {
    std::string Path, Expected;
  } cases[] = {
      {"/home/anna/Anlagen/Übungsanlage/Gleisplan.vmp", "/home/anna/Anlagen/Übungsanlage/Gleisplan.vmp"},
      // 69 characters but 71 bytes: it fits as it is, and as a tail of a longer path.
      {fits69, fits69},
      {"/home/anna/Modellbahn/Entwürfe/Hauptbahnhof mit Schattenbahnhof und Bw Süd 12.vmp", fits69},
      {"Documents:\\Anlagen\\Große Ausstellungsanlage Nord\\Bahnbetriebswerk mit Drehscheibe.vmp",
       "Documents:\\...\\Bahnbetriebswerk mit Drehscheibe.vmp"},
      {"/" + std::string(70, 'B') + "/Plan.vmp", ".../Plan.vmp"},
      {"/home/anna/" + umlauts, "..." + umlauts66},
      {umlauts, "..." + umlauts66},
  };
  for (const auto& c : cases) EXPECT_EQ(RRCompactPath(c.Path), c.Expected) << c.Path;
  EXPECT_EQ(RRCompactPath("abcdefgh", 5), "...gh");
  EXPECT_THROW(RRCompactPath("abcdefgh", 3), gx::EInvalidParameter);
}

TEST(RRShellState, RecentCaptionsAreNumberedCompactedAndEscaped) {
  TRRShellSnapshot s = Open();
  s.RecentProjects.assign(11, "/a.vmp");
  s.RecentProjects[0] = "/home/anna/Wald & Wiesen/Ost & West.vmp";
  s.RecentProjects[1] = "/home/" + std::string(60, 'x') + "/R&B.vmp";
  std::vector<std::string> captions = TRRShellState(s).RecentCaptions();
  ASSERT_EQ(captions.size(), 9u);
  EXPECT_EQ(captions[0], "&1 /home/anna/Wald && Wiesen/Ost && West.vmp");
  EXPECT_EQ(captions[1], "&2 /home/.../R&&B.vmp");
  EXPECT_EQ(captions[8], "&9 /a.vmp");
}

TEST(RRCameraMenu, GroupsWithSeparatorsOnlyBetweenNonEmptyGroups) {
  using I = TRRCameraMenuItem;
  auto kinds = [](const std::vector<I>& menu) {
    std::string text;
    for (const I& i : menu)
      text += i.Kind == I::Separator ? "|" : i.Kind == I::CockpitSubmenu ? "C" : std::to_string(i.Index);
    return text;
  };
  EXPECT_EQ(kinds(RRCameraMenu({{1}, {3}, {4}})), "012");
  EXPECT_EQ(kinds(RRCameraMenu({{1}, {3}, {4}, {0}, {2}, {0}, {2}, {7}})), "012|C46|35");
  EXPECT_EQ(kinds(RRCameraMenu({{0}, {1}, {3}, {4}})), "123|0");
  EXPECT_EQ(kinds(RRCameraMenu({{2}})), "C0");
  EXPECT_EQ(kinds(RRCameraMenu({})), "");

  std::vector<I> menu = RRCameraMenu({{1}, {2, true}, {0}});
  ASSERT_EQ(menu.size(), 6u);
  EXPECT_TRUE(menu[3].InSubmenu && menu[3].Checked);
  EXPECT_FALSE(menu[0].Checked || menu[5].Checked || menu[5].InSubmenu);
}
