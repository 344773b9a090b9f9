// The two track tool windows as a user meets them: the parts list of the sample (rows, sorting,
// saving through the save dialog, printing to PDF), and the gap solver on the gap sample (the
// search on its worker, restarts that leave no stale solution behind, closing while it runs, the
// chosen solution laid and taken back by one undo).

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPageSize>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "app/RRDatabase.h"
#include "app/RREntityManager.h"
#include "app/RRHistory.h"
#include "app/RRProject.h"
#include "app/entities/track/RRPartsList.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "app/entities/track/RRTrackSolver.h"
#include "engine/core/GXNode.h"
#include "engine/core/GXStrings.h"
#include "gui/tools/TrackListWindow.h"
#include "gui/tools/TrackSolutionWindow.h"
#include "tests/gui/GuiTestSupport.h"

using namespace rr;
using guitest::Pump;
using A = TRRShellAction;
namespace fs = std::filesystem;

namespace {

const QString OutDir = QString(VELMORA_TEST_OUTPUT_DIR) + "/";

struct ToolWindows : ::testing::Test {
  guitest::TProgram P;
  TMainWindow* W = nullptr;
  void SetUp() override {
    W = &P.MakeSmallWindow();
  }
  bool Open(const std::string& file) {
    const bool ok = W->OpenProjectFile(QString::fromStdString(file));
    Pump(50);
    return ok;
  }
  std::string GapSample() const { return (fs::path(P.Sample()).parent_path() / "Gleislücke.vmp").string(); }
  TRREntityManager& M() { return *P.Project().Manager(); }
  int TrackCount() { return M().Tracks().Count(); }
  void Select(const std::vector<int32_t>& ids) {
    TRREntitySelection& s = M().Selection();
    s.BeginUpdate();
    s.Clear();
    for (int32_t id : ids) s.Add(M().FindByID(id));
    s.EndUpdate();
  }
  // Triggers the action and runs step inside its modal window of type T once it shows.
  template <class T>
  bool WithWindow(A action, const std::function<void(T&)>& step) {
    bool seen = false;
    QTimer::singleShot(50, W, [&] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<T*>(w); d && d->isVisible()) {
          seen = true;
          step(*d);
          if (d->isVisible()) d->reject();
        }
    });
    W->Action(action)->trigger();
    return seen;
  }
  // The facing free ends of the gap sample: the pair of tracks whose free contacts lie nearest.
  std::pair<int32_t, int32_t> GapTracks() {
    std::pair<int32_t, int32_t> best{0, 0};
    float bestDistance = 1e30f;
    for (TRREntity* a : M().Tracks())
      for (TRREntity* b : M().Tracks()) {
        if (a->ID() >= b->ID()) continue;
        const TRRGapContacts ends = RRFindGapContacts(*static_cast<TRRTrack*>(a), *static_cast<TRRTrack*>(b));
        if (!ends.Start) continue;
        const float d = gx::GXVec3LengthSq(ends.Start->GetWorldPosition() - ends.End->GetWorldPosition());
        if (d < bestDistance) bestDistance = d, best = {a->ID(), b->ID()};
      }
    return best;
  }
  // A track with no free end (inside a run).
  int32_t InnerTrack() {
    for (TRREntity* e : M().Tracks()) {
      auto* t = static_cast<TRRTrack*>(e);
      if (t->GetRouteCount() == 1 && t->GetRoute(0)->Contact(0)->IsConnected() &&
          t->GetRoute(0)->Contact(1)->IsConnected())
        return t->ID();
    }
    return 0;
  }
  static bool WaitForSearch(TTrackSolutionWindow& w, int milliseconds = 20000) {
    QElapsedTimer t;
    t.start();
    while (w.Searching() && t.elapsed() < milliseconds) Pump(10);
    return !w.Searching();
  }
  static std::string ReadFile(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

std::vector<std::string> Column(QTreeWidget* table, int column) {
  std::vector<std::string> out;
  for (int i = 0; i < table->topLevelItemCount(); ++i) out.push_back(table->topLevelItem(i)->text(column).toStdString());
  return out;
}

}  // namespace

TEST_F(ToolWindows, PartsListShowsSortsSavesAndPrintsTheSamplesTracks) {
  // The tool windows need a layout; the track editor also one selected track.
  for (A a : {A::ShowTrackList, A::ShowTrackSolution, A::ShowEventManager}) EXPECT_FALSE(W->Action(a)->isEnabled());
  ASSERT_TRUE(Open(P.Sample()));
  for (A a : {A::ShowTrackList, A::ShowTrackSolution, A::ShowEventManager}) EXPECT_TRUE(W->Action(a)->isEnabled());
  EXPECT_FALSE(W->Action(A::EditTrack)->isEnabled());
  // What the window must show: the core's list, most used first.
  TRRPartsList expected;
  expected.Build(*P.Project().ProjectNode());
  expected.Sort(TRRPartsListColumn::Count, false);
  ASSERT_GT(expected.Rows().size(), 2u);
  const std::string dir = P.Dir() + "/";

  const bool seen = WithWindow<TTrackListWindow>(A::ShowTrackList, [&](TTrackListWindow& w) {
    EXPECT_EQ(w.windowTitle(), "Stückliste");
    EXPECT_EQ(w.SaveButton()->text(), " Speichern ");
    EXPECT_EQ(w.PrintButton()->text(), "Drucken");
    EXPECT_EQ(w.CloseButton()->text(), "Schließen");
    QTreeWidget* t = w.Table();
    ASSERT_EQ(t->topLevelItemCount(), int(expected.Rows().size()));
    for (int c = 0; c < RRPartsListColumnCount; ++c) {
      EXPECT_EQ(t->headerItem()->text(c).toStdString(), RRPartsListCaptions[c]);
      for (size_t r = 0; r < expected.Rows().size(); ++r)
        EXPECT_EQ(t->topLevelItem(int(r))->text(c).toStdString(),
                  expected.Rows()[r].Cell(static_cast<TRRPartsListColumn>(c)));
    }
    w.grab().save(OutDir + "fenster-stueckliste.png");

    // A header click sorts by that column, a second one turns the order round.
    t->header()->sectionClicked(int(TRRPartsListColumn::Name));
    std::vector<std::string> names = Column(t, 1);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(),
                               [](auto& a, auto& b) { return gx::CompareText(a, b) < 0; }));
    t->header()->sectionClicked(int(TRRPartsListColumn::Name));
    std::vector<std::string> reversed = Column(t, 1);
    std::reverse(reversed.begin(), reversed.end());
    EXPECT_EQ(reversed, names);

    // Saving: the format follows the ending; a file that cannot be written is told, not raised.
    struct TSave {
      std::string File;
      bool Written;
      std::string Start;   // of the file
      std::string Box;     // start of the message
    } saves[] = {
        {dir + "liste.html", true, "<html>\r\n<head><title>Stückliste - 3D-Velmora 2013</title>", "Stückliste erfolgreich gespeichert unter "},
        {dir + "liste.csv", true, "Stückliste - 3D-Velmora 2013\r\nKleine Beispielanlage\r\n", "Stückliste erfolgreich gespeichert unter "},
        {dir + "fehlt/liste.csv", false, "", "Die Stückliste konnte nicht unter \""},
    };
    for (const TSave& s : saves) {
      P.Ui.Boxes.clear();
      P.Ui.Paths.push_back(s.File);
      w.SaveButton()->click();
      EXPECT_EQ(P.Ui.Paths.size(), 0u);
      ASSERT_EQ(P.Ui.Boxes.size(), 1u) << s.File;
      EXPECT_EQ(P.Ui.Boxes[0].Text.rfind(s.Box, 0), 0u) << P.Ui.Boxes[0].Text;
      EXPECT_EQ(P.Ui.Boxes[0].Caption, "Stückliste");
      EXPECT_EQ(fs::exists(s.File), s.Written) << s.File;
      if (!s.Written) continue;
      // Windows-1252 on disk: "ü" is one byte.
      const std::string bytes = ReadFile(s.File);
      std::string start;
      for (size_t i = 0; i < s.Start.size(); ++i)
        if (s.Start.compare(i, 2, "\xC3\xBC") == 0)
          start += '\xFC', ++i;
        else
          start += s.Start[i];
      EXPECT_EQ(bytes.rfind(start, 0), 0u) << bytes.substr(0, 120);
      for (const TRRPartsListRow& r : expected.Rows()) {
        if (std::all_of(r.Name.begin(), r.Name.end(), [](char ch) { return ch > ' ' && ch < 0x7F && ch != '&'; })) {
          EXPECT_NE(bytes.find(r.Name), std::string::npos) << r.Name;
        }
      }
    }
    // A cancelled dialog writes nothing and says nothing.
    P.Ui.Boxes.clear();
    P.Ui.Paths.push_back(std::nullopt);
    EXPECT_FALSE(w.Save());
    EXPECT_TRUE(P.Ui.Boxes.empty());

    // Printing: one page on A4, several on a page that holds two rows; a printer that takes no
    // page is told.
    struct TPrint {
      std::string File;
      QPageSize Size;
      int MinPages, MaxPages;
    } prints[] = {
        {dir + "liste.pdf", QPageSize(QPageSize::A4), 1, 1},
        {dir + "klein.pdf", QPageSize(QSizeF(120, 50), QPageSize::Millimeter), 2, 100},
        {dir + "fehlt/liste.pdf", QPageSize(QPageSize::A4), 0, 0},
    };
    for (const TPrint& pr : prints) {
      P.Ui.Boxes.clear();
      QPrinter printer(QPrinter::HighResolution);
      printer.setOutputFormat(QPrinter::PdfFormat);
      printer.setOutputFileName(QString::fromStdString(pr.File));
      printer.setPageSize(pr.Size);
      printer.setPageMargins(QMarginsF(5, 5, 5, 5), QPageLayout::Millimeter);
      const int pages = w.PrintTo(printer);
      EXPECT_GE(pages, pr.MinPages) << pr.File;
      EXPECT_LE(pages, pr.MaxPages) << pr.File;
      if (pr.MaxPages == 0) {
        ASSERT_EQ(P.Ui.Boxes.size(), 1u);
        EXPECT_EQ(P.Ui.Boxes[0].Text, RRTextPartsListPrintFailed);
        continue;
      }
      EXPECT_TRUE(P.Ui.Boxes.empty());
      ASSERT_TRUE(fs::exists(pr.File));
      const std::string pdf = ReadFile(pr.File);
      EXPECT_GT(pdf.size(), 1000u);
      EXPECT_EQ(pdf.rfind("%PDF", 0), 0u);
    }

    w.CloseButton()->click();
    EXPECT_FALSE(w.isVisible());
  });
  EXPECT_TRUE(seen);
  // Nothing in the layout changed.
  EXPECT_FALSE(P.Project().IsModified());
}

TEST_F(ToolWindows, PartsListOfALayoutWithoutTracksSaysSoAndStillPrints) {
  const gx::TGXNode empty("Projekt");
  TTrackListWindow w(empty, "Leer", P.Ui, W);
  ASSERT_EQ(w.Table()->topLevelItemCount(), 1);
  EXPECT_EQ(w.Table()->topLevelItem(0)->text(0).toStdString(), RRTextPartsListEmpty);
  const std::string file = P.Dir() + "/leer.html";
  P.Ui.Paths.push_back(file);
  EXPECT_TRUE(w.Save());
  EXPECT_NE(ReadFile(file).find("<p><b>Keine Gleise vorhanden.</b></p>"), std::string::npos);
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(P.Dir() + "/leer.pdf"));
  EXPECT_EQ(w.PrintTo(printer), 1);
  EXPECT_GT(fs::file_size(P.Dir() + "/leer.pdf"), 0u);
}

TEST_F(ToolWindows, GapSolutionIsFoundLaidAndTakenBackByOneUndo) {
  ASSERT_TRUE(Open(GapSample()));
  const auto [from, to] = GapTracks();
  ASSERT_NE(from, 0);
  const int tracksBefore = TrackCount();
  const int stepsBefore = P.Project().History()->Count();
  Select({from, to});
  ASSERT_TRUE(W->Action(A::ShowTrackSolution)->isEnabled());

  std::vector<int32_t> made;
  const bool seen = WithWindow<TTrackSolutionWindow>(A::ShowTrackSolution, [&](TTrackSolutionWindow& w) {
    EXPECT_EQ(w.windowTitle(), "Gleislösung");
    EXPECT_EQ(w.FirstBox()->currentData().toInt(), from);
    EXPECT_EQ(w.SecondBox()->currentData().toInt(), to);
    EXPECT_EQ(w.PiecesBox()->value(), 2);
    EXPECT_EQ(w.ToleranceBox()->value(), 2);
    ASSERT_TRUE(WaitForSearch(w));
    ASSERT_FALSE(w.Solutions().empty()) << w.StatusLabel()->text().toStdString();
    EXPECT_EQ(w.SolutionList()->topLevelItemCount(), int(w.Solutions().size()));
    for (int i = 0; i < int(w.Solutions().size()); ++i) EXPECT_LT(w.SolutionError(i), 0.2f);
    EXPECT_EQ(w.ProgressBar()->value(), 100);
    EXPECT_TRUE(w.StatusLabel()->text().startsWith("Es werden alle geraden und gebogenen Gleise aus dem Gleissystem \""));
    EXPECT_TRUE(w.CreateButton()->isEnabled());
    EXPECT_EQ(w.PieceList()->topLevelItemCount(), int(w.Solutions()[0].Candidates.size()));
    EXPECT_EQ(w.SolutionLabel()->text(), QString("Lösung (1 von %1)").arg(w.Solutions().size()));
    w.grab().save(OutDir + "fenster-gleisloesung.png");
    const size_t pieces = w.Solutions()[0].Candidates.size();
    w.CreateButton()->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(TrackCount(), tracksBefore + int(pieces));
    for (TRREntity* e : M().Selection()) made.push_back(e->ID());
    EXPECT_EQ(made.size(), pieces);
  });
  ASSERT_TRUE(seen);
  ASSERT_FALSE(made.empty());
  // The gap is closed: both facing tracks are joined now.
  const TRRGapContacts after = RRFindGapContacts(*static_cast<TRRTrack*>(M().FindByID(from)),
                                                 *static_cast<TRRTrack*>(M().FindByID(to)));
  EXPECT_GT(gx::GXVec3LengthSq(after.Start ? after.Start->GetWorldPosition() - after.End->GetWorldPosition()
                                           : gx::TGXVector3{1e3f, 0, 0}),
            1.0f);
  // One step, and one undo through the window's action removes every laid piece.
  EXPECT_EQ(P.Project().History()->Count(), stepsBefore + 1);
  ASSERT_TRUE(W->Action(A::Undo)->isEnabled());
  W->Action(A::Undo)->trigger();
  EXPECT_EQ(TrackCount(), tracksBefore);
  for (int32_t id : made) EXPECT_EQ(M().FindByID(id), nullptr);
  W->Action(A::Redo)->trigger();
  EXPECT_EQ(TrackCount(), tracksBefore + int(made.size()));
}

TEST_F(ToolWindows, GapChoicesThatCannotBeSearchedAreToldAndLayNothing) {
  ASSERT_TRUE(Open(GapSample()));
  const auto [from, to] = GapTracks();
  const int32_t inner = InnerTrack();
  ASSERT_NE(inner, 0);
  // Two selected tracks without free ends: the message, and the window stays closed.
  Select({inner, from});
  P.Ui.Boxes.clear();
  EXPECT_FALSE(WithWindow<TTrackSolutionWindow>(A::ShowTrackSolution, [](TTrackSolutionWindow&) {}));
  ASSERT_EQ(P.Ui.Boxes.size(), 1u);
  EXPECT_EQ(P.Ui.Boxes[0].Caption, "Inkompatible Gleise");
  EXPECT_EQ(P.Ui.Boxes[0].Text, RRTextNoFreeContacts);

  // In the window: each choice tells its problem and offers nothing to lay.
  TTrackSolutionWindow w(P.Project(), P.Global(), P.Ui, W);
  struct TCase {
    int32_t First, Second;
    std::string Problem;
  } cases[] = {
      {0, 0, RRTextChooseTwoTracks},
      {from, 0, RRTextChooseTwoTracks},
      {from, from, RRTextSameTrackTwice},
      {inner, to, RRTextNoFreeContacts},
      {from, 999999, RRTextChooseTwoTracks},
  };
  const int tracks = TrackCount();
  for (const TCase& c : cases) {
    EXPECT_EQ(w.SetTracks(c.First, c.Second), c.Problem) << c.First << " " << c.Second;
    EXPECT_FALSE(w.Searching());
    EXPECT_EQ(w.StatusLabel()->text().toStdString(), c.Problem);
    EXPECT_FALSE(w.CreateButton()->isEnabled());
    EXPECT_TRUE(w.CreateChosen().empty());
  }
  EXPECT_EQ(TrackCount(), tracks);
  // One piece cannot close this gap: "Keine Lösung gefunden.".
  w.PiecesBox()->setValue(1);
  EXPECT_EQ(w.SetTracks(from, to), "");
  ASSERT_TRUE(WaitForSearch(w));
  EXPECT_TRUE(w.Solutions().empty());
  EXPECT_TRUE(w.StatusLabel()->text().endsWith("\nKeine Lösung gefunden."));
  EXPECT_FALSE(w.CreateButton()->isEnabled());
}

TEST_F(ToolWindows, GapSearchRestartsOnEveryChangeAndClosingJoinsTheWorker) {
  ASSERT_TRUE(Open(GapSample()));
  const auto [from, to] = GapTracks();
  // The solutions the core finds for the last inputs are exactly what the window lists after a
  // burst of changes: nothing of an older search survives.
  auto coreSolutions = [&](int pieces, int tenths) {
    auto* a = static_cast<TRRTrack*>(M().FindByID(from));
    const TRRGapContacts ends = RRFindGapContacts(*a, *static_cast<TRRTrack*>(M().FindByID(to)));
    const TRRSolverFrame f =
        RRSolverFrame(ends.Start->GetWorldPosition(), ends.Start->GetWorldOutward(), ends.End->GetWorldPosition());
    TRREntityDescriptionList catalogue(false);
    P.Global().Database().CollectCatalogByClass(TRRTrackDesc::StaticClass(), catalogue);
    TRRSolverProblem p;
    p.Candidates = RRSolutionCandidates(catalogue, a->TrackSystemName(), a->TrackWidth());
    p.Target = f.Target;
    p.HeadingX = f.HeadingX;
    p.HeadingZ = f.HeadingZ;
    p.Tolerance = tenths * 0.1f;
    p.MaxPieces = pieces;
    return RRSolveGap(p);
  };
  struct TBurst {
    std::vector<std::pair<int, int>> Changes;  // (pieces, tenths), each applied at once
  } bursts[] = {
      {{{5, 10}, {1, 2}, {3, 5}}},
      {{{5, 10}, {4, 10}, {2, 2}}},
      {{{3, 1}, {5, 10}, {3, 3}}},
  };
  for (const TBurst& b : bursts) {
    TTrackSolutionWindow w(P.Project(), P.Global(), P.Ui, W);
    ASSERT_EQ(w.SetTracks(from, to), "");
    const uint32_t start = w.Generation();
    for (auto [pieces, tenths] : b.Changes) {
      w.PiecesBox()->setValue(pieces);
      w.ToleranceBox()->setValue(tenths);
    }
    EXPECT_GT(w.Generation(), start);
    ASSERT_TRUE(WaitForSearch(w));
    const auto [pieces, tenths] = b.Changes.back();
    EXPECT_EQ(w.Solutions(), coreSolutions(pieces, tenths));
    EXPECT_EQ(w.SolutionList()->topLevelItemCount(), int(w.Solutions().size()));
  }

  // Closing in the middle of the largest search: the worker stops and is joined; the reports it
  // had queued go nowhere.
  for (int round = 0; round < 5; ++round) {
    auto w = std::make_unique<TTrackSolutionWindow>(P.Project(), P.Global(), P.Ui, W);
    w->PiecesBox()->setValue(5);
    w->ToleranceBox()->setValue(10);
    ASSERT_EQ(w->SetTracks(from, to), "");
    w->show();
    if (round) Pump(round * 5);
    w->reject();
    EXPECT_FALSE(w->Searching());
    const size_t shown = w->Solutions().size();
    if (round % 2) w.reset();
    Pump(20);
    if (w) {
      EXPECT_EQ(w->Solutions().size(), shown);
    }
  }
}

TEST(ToleranceBox, ShowsAndTakesLengthsInTheUsersUnit) {
  struct TCase {
    float Factor;
    const char* Unit;
    const char* Typed;
    std::optional<int> Tenths;
  } cases[] = {
      {10, "mm", "2", 2},     {10, "mm", "1,5", 2},  {10, "mm", "10 mm", 10}, {10, "mm", "0,4", std::nullopt},
      {10, "mm", "11", std::nullopt}, {1, "cm", "0.3", 3}, {1, "cm", "abc", std::nullopt}, {0.01f, "m", "0.01", 10},
  };
  for (const TCase& c : cases) {
    TToleranceBox box(c.Factor, c.Unit);
    EXPECT_EQ(box.TenthsOf(c.Typed), c.Tenths) << c.Unit << " " << c.Typed;
  }
  TToleranceBox mm(10, "mm");
  EXPECT_EQ(mm.value(), 2);
  EXPECT_EQ(mm.text(), "2 mm");
}
