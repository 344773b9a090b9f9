// The desktop program under Xvfb (xvfb-run -a ./DesktopBench): start-up until the window is
// enabled and until the sample's first frame is shown (median of 5 starts); a view frame at
// 1280 x 720 beside the same frame on the command line's offscreen surface in the same run; the
// paint that shows a finished frame; the state refresh; the refresh after selecting 20,000
// objects. Needs the generated base packages and the sample layout.
//
// Goals: window enabled <= 1.0 s, first frame <= 1.5 s; paint <= 3 ms; a view frame <= 1.15 x the
// offscreen frame; state refresh <= 0.1 ms; select-all refresh on 20,000 objects <= 2 ms; a pointer
// move during a drag to its shown frame < 40 ms (drawn at half size on a CPU rasteriser, as the
// program draws drags there; drawn_w/drawn_h tell the size).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <filesystem>
#include <memory>
#include <string>

#include "app/RREntityManager.h"
#include "app/RRGlobal.h"
#include "app/RRProject.h"
#include "app/RRProjectRenderWindow.h"
#include "app/edit/RRTransformationGizmo.h"
#include "app/edit/RRTransformationModifier.h"
#include "app/entities/RREntityGroup.h"
#include "app/entities/RRModel.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderWindow.h"
#include "gui/MainWindow.h"
#include "gui/RRApplication.h"
#include "gui/RRQtUIService.h"
#include "gui/RRViewWidget.h"

namespace {

using namespace rr;

// A program start in a fresh folder with the build's packages.
struct TStart {
  TRRQtUIService Ui;
  std::unique_ptr<TRRGlobal> Global;
  std::unique_ptr<TMainWindow> Window;
  std::string Dir;

  TStart() {
    Dir = (std::filesystem::temp_directory_path() / "velmora-desktop-bench-XXXXXX").string();
    if (!mkdtemp(Dir.data())) throw std::runtime_error("no temporary folder");
    TRRStartOptions options;
    options.UI = &Ui;
    options.Roots.push_back({"Game", VELMORA_CLI_DATA_DIR});
    for (const char* root : {"User", "CommonUser", "Documents", "CommonDocuments", "Temp"})
      options.Roots.push_back({root, Dir + "/" + root});
    options.CreateRenderCore = [](gx::TGXEngine&) -> std::unique_ptr<gx::TGXEngineCore> {
      return std::make_unique<gx::TGXRenderCore>();
    };
    Global = std::make_unique<TRRGlobal>(options);
    if (!Global->CheckDatabase()) throw std::runtime_error("no base packages");
  }
  ~TStart() {
    if (Global) Global->Project().CloseProject();
    Window.reset();
    Global.reset();
    std::filesystem::remove_all(Dir);
  }
  TMainWindow& Show() {
    Window = std::make_unique<TMainWindow>(*Global, Ui);
    Window->setWindowState(Qt::WindowNoState);
    Window->setGeometry(0, 0, 1280, 960);
    Window->show();
    QApplication::processEvents();
    return *Window;
  }
  // The sample open in a window whose view has the size asked for (the frame loop stopped).
  TMainWindow& ShowSample(QSize viewSize) {
    TMainWindow& w = Show();
    w.OpenSample();
    w.StopFrameLoop();
    for (int i = 0; i < 4 && w.View()->size() != viewSize; ++i) {
      w.resize(w.size() + (viewSize - w.View()->size()));
      QElapsedTimer t;
      t.start();
      while (t.elapsed() < 300) QApplication::processEvents(QEventLoop::AllEvents, 10);  // the size settles
    }
    return w;
  }
  std::string Sample() const {
    return Global->FileSystem().ResolvePath("Documents:\\Beispielanlagen\\Kleine Beispielanlage.vmp");
  }
};

void WaitForFrame(TMainWindow& w, int framesBefore) {
  QElapsedTimer t;
  t.start();
  while (w.View()->FramesShown() <= framesBefore && t.elapsed() < 20000)
    QApplication::processEvents(QEventLoop::AllEvents, 5);
}

void BM_StartToWindowEnabled(benchmark::State& state) {
  for (auto _ : state) {
    TStart start;
    TMainWindow& w = start.Show();
    w.setEnabled(true);
    QApplication::processEvents();
    state.PauseTiming();
    start.Window.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_StartToWindowEnabled)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_StartToFirstFrame(benchmark::State& state) {
  for (auto _ : state) {
    TStart start;
    TMainWindow& w = start.Show();
    w.setEnabled(true);
    w.OpenSample();
    WaitForFrame(w, 0);
    state.PauseTiming();
    start.Global->Project().CloseProject();
    start.Window.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_StartToFirstFrame)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)
    ->ReportAggregatesOnly(true);

// One frame step of the sample and its paint, in the window (0) or on the command line's offscreen
// surface of the same size (1).
void BM_ViewFrame(benchmark::State& state) {
  // The pointer outside the window: the hover pick under the mouse is no part of drawing.
  QCursor::setPos(1599, 999);
  TStart start;
  TMainWindow& w = start.ShowSample(QSize(1280, 720));
  const QSize size = w.View()->SettledSize();
  gx::TGXOffscreenSurface offscreen(uint32_t(size.width()), uint32_t(size.height()));
  TRRProject& project = start.Global->Project();
  if (state.range(0) == 1) {
    project.CloseProject();
    project.SetViewSurface(&offscreen);
    project.LoadProject(start.Sample(), false);
  }
  for (int i = 0; i < 3; ++i) project.Tick();
  for (auto _ : state) {
    project.Tick();
    if (state.range(0) == 0) w.View()->repaint();
  }
  state.SetLabel((state.range(0) == 0 ? "window " : "offscreen ") + std::to_string(size.width()) + "x" +
                 std::to_string(size.height()));
  project.CloseProject();
  project.SetViewSurface(&w.View()->Surface());
}
BENCHMARK(BM_ViewFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// Showing a finished frame: the read-back image painted into the widget.
void BM_ViewPaint(benchmark::State& state) {
  TStart start;
  TMainWindow& w = start.ShowSample(QSize(1280, 720));
  start.Global->Project().Tick();
  state.SetLabel(std::to_string(w.View()->width()) + "x" + std::to_string(w.View()->height()));
  for (auto _ : state) w.View()->repaint();
}
BENCHMARK(BM_ViewPaint)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The state refresh after a change: snapshot, every action, caption, bars, layout.
void BM_StateRefresh(benchmark::State& state) {
  TStart start;
  TMainWindow& w = start.Show();
  w.OpenSample();
  w.StopFrameLoop();
  TRREntityManager& m = *start.Global->Project().Manager();
  const int extra = int(state.range(0));
  if (extra > 0) {
    // Plain groups as objects: the refresh only counts them.
    for (int i = 0; i < extra; ++i) {
      TRREntityGroupDesc d;
      d.SetID(m.NextID());
      m.ReserveIDs(1);
      m.CreateEntity(nullptr, d);
    }
    w.Action(TRRShellAction::SelectAll)->trigger();
  }
  for (auto _ : state) w.RefreshState();
  state.counters["selected"] = double(m.Selection().Count());
}
BENCHMARK(BM_StateRefresh)->Arg(0)->Arg(20000)->Unit(benchmark::kMicrosecond);

// Moving the selection with the mouse: one pointer move over the view during a free drag of a
// building to the frame that shows it (frame step, drag with snapping and drop, draw, paint),
// beside the same frame with the pointer standing still.
void BM_DragMoveToFrame(benchmark::State& state) {
  QCursor::setPos(1599, 999);
  TStart start;
  TMainWindow& w = start.ShowSample(QSize(1280, 720));
  TRRProject& project = start.Global->Project();
  TRREntityManager& m = *project.Manager();
  TRREntity* building = nullptr;
  for (int i = 0; i < m.EntitySlotCount() && !building; ++i)
    if (auto* e = dynamic_cast<TRRModel*>(m.EntitySlot(i)); e && e->Parent() == project.ProjectNode() && !e->Locked())
      building = e;
  if (!building) {
    state.SkipWithError("no building in the sample");
    return;
  }
  m.Selection().Add(building);
  for (int i = 0; i < 3; ++i) project.Tick();
  const bool moving = state.range(0) == 1;
  if (moving) m.FindTransformationModifier()->BeginDrag(RRDragFree, building->WorldPosition(), {0, 1, 0}, true);
  const QPoint centre = w.View()->rect().center();
  int step = 0;
  for (auto _ : state) {
    if (moving) {
      const QPoint at = centre + QPoint((step++ % 40) * 4 - 80, 0);
      QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(w.View()->mapToGlobal(at)), Qt::NoButton,
                       Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(w.View(), &move);
    }
    project.Tick();
    w.View()->repaint();
  }
  // The size the frames were drawn at: half the view's while the pointer drags on a CPU rasteriser.
  if (TRRProjectRenderWindow* rw = project.RenderWindow()) {
    state.counters["drawn_w"] = rw->FrameWidth();
    state.counters["drawn_h"] = rw->FrameHeight();
  }
  if (moving) m.FindTransformationModifier()->CancelDrag();
  state.SetLabel(moving ? "Zeiger bewegt, Ziel < 40 ms" : "Zeiger steht (Vergleich)");
}
BENCHMARK(BM_DragMoveToFrame)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  TRRApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
