// The desktop program as a user meets it: the closed window, opening the sample, cameras, undo,
// saving, the close question, bars and full screen, keys for the view, errors, and the view's
// picture against the command line's.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QDialog>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QtTest/QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "app/RREntityManager.h"
#include "app/RRHistory.h"
#include "app/RRProject.h"
#include "app/RRProjectRenderWindow.h"
#include "app/edit/RROverlay.h"
#include "app/edit/RRTransformationGizmo.h"
#include "app/edit/RRTransformationModifier.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RRModel.h"
#include "cli/RenderCommand.h"
#include "engine/core/GXConfiguration.h"
#include "engine/core/GXGeometry.h"
#include "engine/core/GXTimer.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXViewport.h"
#include "gui/DesktopAutomation.h"
#include "gui/LoadProgress.h"
#include "gui/ProjectRuler.h"
#include "gui/RRViewWidget.h"
#include "gui/SelectWindow.h"
#include "tests/gui/GuiTestSupport.h"

using namespace rr;
using guitest::Pump;
using A = TRRShellAction;
namespace fs = std::filesystem;

namespace {

struct Desktop : ::testing::Test {
  guitest::TProgram P;
  TMainWindow* W = nullptr;
  void SetUp() override { W = &P.MakeWindow(); }
  QAction* Act(A a) { return W->Action(a); }
  int EntityCount() {
    TRREntityManager* m = P.Project().Manager();
    int n = 0;
    for (int i = 0; m && i < m->EntitySlotCount(); ++i) n += m->EntitySlot(i) != nullptr;
    return n;
  }
  TRRCamera* Active() { return dynamic_cast<TRRCamera*>(P.Project().ActiveCamera()); }
  QAction* CameraItem(const QString& name) {
    for (QAction* a : W->CameraMenu()->actions())
      if (a->text() == name) return a;
    return nullptr;
  }
  bool OpenSample() {
    const bool ok = W->OpenProjectFile(QString::fromStdString(P.Sample()));
    Pump(100);
    return ok;
  }
  // The sample in a small window without reflections: tests that draw many frames stay quick on
  // the test machine's software renderer.
  bool OpenSmallSample() {
    P.Shrink();
    return OpenSample();
  }
};

}  // namespace

TEST_F(Desktop, TheClosedWindowShowsTheStartPictureAndOnlyWhatWorksWithoutALayout) {
  EXPECT_EQ(W->windowTitle(), "Maralt 3D-Velmora 2013");
  EXPECT_FALSE(W->View()->isVisible());
  EXPECT_FALSE(W->ProjectMenu()->isVisible());
  EXPECT_TRUE(W->menuBar()->isVisible());
  EXPECT_TRUE(W->statusBar()->isVisible());
  for (A a : {A::NewProject, A::OpenProject, A::CloseProject, A::Exit, A::Options, A::About})
    EXPECT_TRUE(Act(a)->isEnabled()) << int(a);
  for (A a : {A::SaveProject, A::SaveProjectAs, A::Import, A::Export, A::Undo, A::Delete, A::SelectAll, A::Print,
              A::SimMode, A::Fullscreen})
    EXPECT_FALSE(Act(a)->isEnabled()) << int(a);
  // The first start lists the sample as the recent project.
  EXPECT_TRUE(W->RecentAction(0)->isVisible());
  EXPECT_TRUE(W->RecentAction(0)->text().startsWith("&1 "));
  EXPECT_FALSE(W->RecentAction(1)->isVisible());
  // German shortcut names in the menus.
  EXPECT_EQ(Act(A::SaveProject)->shortcut().toString(QKeySequence::NativeText), "Strg+S");
  EXPECT_EQ(Act(A::Fullscreen)->shortcut().toString(QKeySequence::NativeText), "F12");
}

TEST_F(Desktop, TheSampleOpensWithItsCamerasAndDraws) {
  ASSERT_TRUE(OpenSample());
  EXPECT_TRUE(W->windowTitle().startsWith("Maralt 3D-Velmora 2013 - "));
  EXPECT_TRUE(W->windowTitle().endsWith("Kleine Beispielanlage.vmp"));
  EXPECT_TRUE(W->View()->isVisible());
  EXPECT_TRUE(W->ProjectMenu()->isVisible());
  EXPECT_TRUE(W->FrameLoopRunning());
  Pump(600);
  EXPECT_GT(W->View()->FramesShown(), 0);
  EXPECT_FALSE(W->View()->FrameImage().isNull());
  // The camera menu: the predefined cameras first, the placed one after a separator; the
  // active camera is checked.
  QAction* free = CameraItem("Freie Kamera");
  QAction* placed = CameraItem("Blick über die Anlage");
  ASSERT_NE(free, nullptr);
  ASSERT_NE(placed, nullptr);
  const QList<QAction*> items = W->CameraMenu()->actions();
  EXPECT_LT(items.indexOf(free), items.indexOf(placed));
  EXPECT_TRUE(items[items.indexOf(placed) - 1]->isSeparator());
  ASSERT_NE(Active(), nullptr);
  EXPECT_TRUE(CameraItem(QString::fromStdString(Active()->Name()))->isChecked());
}

TEST_F(Desktop, TheTechnicalCameraNarrowsTheViewForItsRulers) {
  ASSERT_TRUE(OpenSample());
  CameraItem("Freie Kamera")->trigger();
  Pump(50);
  const QRect free = W->View()->geometry();
  EXPECT_FALSE(W->LeftRuler()->isVisible());
  CameraItem("2D-Kamera (technische Zeichnung)")->trigger();
  Pump(50);
  ASSERT_NE(Active(), nullptr);
  EXPECT_EQ(Active()->Type(), RRCameraTechnical);
  const QRect technical = W->View()->geometry();
  EXPECT_EQ(technical.x(), free.x() + 20);
  EXPECT_EQ(technical.y(), free.y() + 20);
  EXPECT_EQ(technical.width(), free.width() - 20);
  EXPECT_TRUE(W->LeftRuler()->isVisible());
  EXPECT_TRUE(W->TopRuler()->isVisible());
  EXPECT_TRUE(CameraItem("2D-Kamera (technische Zeichnung)")->isChecked());
  EXPECT_FALSE(CameraItem("Freie Kamera")->isChecked());
}

TEST_F(Desktop, DeleteAndUndoAndTheViewKeysComeFirst) {
  ASSERT_TRUE(OpenSample());
  const int before = EntityCount();
  Act(A::SelectAll)->trigger();
  TRREntityManager* m = P.Project().Manager();
  ASSERT_GT(m->Selection().Count(), 1);
  EXPECT_TRUE(Act(A::Delete)->isEnabled());
  EXPECT_TRUE(Act(A::Group)->isEnabled());
  // Delete pressed in the view reaches the view (and so the manager), not only the window's
  // action: one undo step, not two.
  W->View()->setFocus();
  const int steps = P.Project().History()->Count();
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
  QKeyEvent override(QEvent::ShortcutOverride, Qt::Key_Delete, Qt::NoModifier);
  QApplication::sendEvent(W->View(), &override);
  EXPECT_TRUE(override.isAccepted());
  QApplication::sendEvent(W->View(), &press);
  Pump(20);
  EXPECT_LT(EntityCount(), before);
  EXPECT_EQ(P.Project().History()->Count(), steps + 1);
  EXPECT_TRUE(Act(A::Undo)->isEnabled());
  Act(A::Undo)->trigger();
  EXPECT_EQ(EntityCount(), before);
  EXPECT_TRUE(Act(A::Redo)->isEnabled());
  Act(A::Redo)->trigger();
  EXPECT_LT(EntityCount(), before);
  // Numpad plus goes to the view's camera too.
  QKeyEvent plus(QEvent::ShortcutOverride, Qt::Key_Plus, Qt::KeypadModifier);
  QApplication::sendEvent(W->View(), &plus);
  EXPECT_TRUE(plus.isAccepted());
}

TEST_F(Desktop, SaveAsAndTheCloseQuestion) {
  ASSERT_TRUE(OpenSample());
  Act(A::SelectAll)->trigger();
  Act(A::Delete)->trigger();
  ASSERT_TRUE(P.Project().IsModified());
  // The sample's events name some of what went: the user was warned first.
  ASSERT_EQ(P.Ui.Boxes.size(), 1u);
  EXPECT_EQ(P.Ui.Boxes[0].Text.rfind("Die zu löschenden Objekte werden von mindestens einem Ereignis referenziert.", 0),
            0u);
  P.Ui.Boxes.clear();
  // Cancel keeps the layout open; a recent item clicked then opens nothing.
  P.Ui.Answers = {"Abbrechen"};
  EXPECT_FALSE(W->CloseProjectFlow());
  EXPECT_TRUE(P.Project().IsOpen());
  ASSERT_EQ(P.Ui.Boxes.size(), 1u);
  EXPECT_EQ(P.Ui.Boxes[0].Text, "Sollen Ihre Änderungen am Projekt gespeichert werden?");
  // The program's own button texts (their order is the desktop's).
  std::vector<std::string> buttons = P.Ui.Boxes[0].Buttons;
  std::sort(buttons.begin(), buttons.end());
  EXPECT_EQ(buttons, (std::vector<std::string>{"&Ja", "&Nein", "Abbrechen"}));
  P.Ui.Answers = {"Abbrechen"};
  W->RecentAction(0)->trigger();
  EXPECT_TRUE(P.Project().IsOpen());
  // Yes saves under a chosen name first (the layout had one: save as goes to a new file).
  const std::string copy = P.Dir() + "/Kopie.vmp";
  P.Ui.Paths = {copy};
  Act(A::SaveProjectAs)->trigger();
  EXPECT_EQ(P.Ui.DialogTitles.back(), "Projekt speichern unter...");
  EXPECT_TRUE(fs::exists(copy));
  EXPECT_TRUE(W->windowTitle().endsWith("Kopie.vmp"));
  EXPECT_FALSE(P.Project().IsModified());
  Act(A::SelectAll)->trigger();
  EXPECT_FALSE(Act(A::Delete)->isEnabled());  // nothing left to delete but fixed objects
  // No: closed without saving.
  P.Ui.Boxes.clear();
  EXPECT_TRUE(W->CloseProjectFlow());
  EXPECT_TRUE(P.Ui.Boxes.empty());  // unchanged since saving: no question
  EXPECT_FALSE(P.Project().IsOpen());
  EXPECT_EQ(W->windowTitle(), "Maralt 3D-Velmora 2013");
  EXPECT_FALSE(W->View()->isVisible());
}

TEST_F(Desktop, BarsSimulationModeAndFullScreenFollowTheRules) {
  ASSERT_TRUE(OpenSample());
  Act(A::ShowStatusBar)->trigger();
  EXPECT_FALSE(W->statusBar()->isVisible());
  Act(A::ShowProjectMenu)->trigger();
  EXPECT_FALSE(W->ProjectMenu()->isVisible());
  EXPECT_FALSE(Act(A::ShowProjectMenu)->isChecked());
  Act(A::ShowProjectMenu)->trigger();
  Act(A::ShowStatusBar)->trigger();
  // Simulation mode switches the three displays off and disables them.
  Act(A::SimMode)->trigger();
  EXPECT_TRUE(Act(A::SimMode)->isChecked());
  for (A a : {A::ShowGizmo, A::ShowSelectionBorder, A::ShowActiveTrack}) {
    EXPECT_FALSE(Act(a)->isChecked());
    EXPECT_FALSE(Act(a)->isEnabled());
  }
  Act(A::SimMode)->trigger();
  EXPECT_TRUE(Act(A::ShowSelectionBorder)->isChecked());
  // Full screen: the hint, then the full-screen bar set (all hidden by default).
  P.Ui.Boxes.clear();
  Act(A::Fullscreen)->trigger();
  Pump(100);
  ASSERT_EQ(P.Ui.Boxes.size(), 1u);
  EXPECT_EQ(P.Ui.Boxes[0].Text, "Drücken Sie F12, um den Vollbildmodus zu verlassen.");
  EXPECT_TRUE(W->FullScreenMode());
  EXPECT_FALSE(W->menuBar()->isVisible());
  EXPECT_FALSE(W->statusBar()->isVisible());
  EXPECT_FALSE(W->ProjectMenu()->isVisible());
  // The status bar shown in full screen stays off in the window.
  Act(A::ShowStatusBar)->trigger();
  EXPECT_TRUE(W->statusBar()->isVisible());
  Act(A::Fullscreen)->trigger();
  Pump(100);
  EXPECT_FALSE(W->FullScreenMode());
  EXPECT_TRUE(W->menuBar()->isVisible());
  EXPECT_TRUE(W->statusBar()->isVisible());
}

TEST_F(Desktop, ErrorsAreReportedOnceAndADamagedFileEndsClosed) {
  P.Ui.Boxes.clear();
  W->Guarded([] { throw std::runtime_error("Testfehler"); });
  ASSERT_EQ(P.Ui.Boxes.size(), 1u);
  EXPECT_EQ(P.Ui.Boxes[0].Caption, "Unerwarteter Fehler");
  EXPECT_NE(P.Ui.Boxes[0].Text.find("Testfehler"), std::string::npos);

  // A layout cut in half: one error, the window closed again.
  std::ifstream in(P.Sample(), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  const std::string cut = P.Dir() + "/Halb.vmp";
  std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
  P.Ui.Boxes.clear();
  EXPECT_FALSE(W->OpenProjectFile(QString::fromStdString(cut)));
  EXPECT_EQ(P.Ui.Boxes.size(), 1u);
  EXPECT_FALSE(P.Project().IsOpen());
  EXPECT_EQ(W->windowTitle(), "Maralt 3D-Velmora 2013");
  EXPECT_FALSE(W->FrameLoopRunning());
  // A flow started inside another one's question is refused.
  EXPECT_TRUE(OpenSample());
  Act(A::SelectAll)->trigger();
  Act(A::Delete)->trigger();
  bool inner = true;
  P.Ui.SetBoxHook([&](QMessageBox& box) {
    inner = W->CloseProjectFlow();
    for (QAbstractButton* b : box.buttons())
      if (b->text() == "Abbrechen") b->click();
  });
  EXPECT_FALSE(W->CloseProjectFlow());
  EXPECT_FALSE(inner);
  EXPECT_TRUE(P.Project().IsOpen());
}

namespace {
// Stands still until moved on by one frame, as the command line's clock.
struct TFrameClock : gx::IGXClock {
  int64_t Now = 0;
  int64_t Frequency() const override { return 1000; }
  int64_t Counter() const override { return Now; }
  uint32_t TickCount() const override { return uint32_t(Now); }
};
}  // namespace

TEST_F(Desktop, TheViewShowsThePixelsTheCommandLineRenders) {
  // The pointer away from the view (Xvfb puts it in the middle of the screen).
  QCursor::setPos(1599, 999);
  Pump(50);
  // The view's size comes with the first layout.
  ASSERT_TRUE(OpenSample());
  const QSize size = W->View()->SettledSize();
  ASSERT_FALSE(size.isEmpty());
  ASSERT_TRUE(W->CloseProjectFlow());
  // The same layout through velmora-cli render at the view's size...
  const std::string png = P.Dir() + "/render.png";
  std::ostringstream out, err;
  const std::string sizeText = std::to_string(size.width()) + "x" + std::to_string(size.height());
  ASSERT_EQ(cli::RunRenderCommand({P.Sample(), "-o", png, "--size", sizeText}, out, err), 0) << err.str();
  // ... and in the window, on the same fixed 40 ms clock for one frame.
  TFrameClock clock;
  P.Project().SetFrameClock(&clock);
  ASSERT_TRUE(W->OpenProjectFile(QString::fromStdString(P.Sample())));
  W->StopFrameLoop();
  ASSERT_EQ(W->View()->SettledSize(), size);
  ASSERT_EQ(P.Project().RenderWindow()->FramesRendered(), 0);  // the first frame is the one compared
  clock.Now += 40;
  P.Project().Tick();
  P.Project().SetFrameClock(nullptr);
  const QImage view = W->View()->FrameImage().convertToFormat(QImage::Format_RGB32);
  const QImage cli = QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(view.size(), cli.size());
  int differing = 0;
  QImage diff(view.size(), QImage::Format_RGB32);
  diff.fill(Qt::black);
  for (int y = 0; y < view.height(); ++y)
    for (int x = 0; x < view.width(); ++x)
      if (view.pixel(x, y) != cli.pixel(x, y)) {
        ++differing;
        diff.setPixel(x, y, 0xFFFF0000u);
      }
  EXPECT_EQ(differing, 0);
  view.save(QString(VELMORA_TEST_OUTPUT_DIR) + "/desktop-view.png");
  if (differing) {
    cli.save(QString(VELMORA_TEST_OUTPUT_DIR) + "/desktop-view-cli.png");
    diff.save(QString(VELMORA_TEST_OUTPUT_DIR) + "/desktop-view-diff.png");
  }
}

TEST_F(Desktop, StatusPanelsShowTheEntityUnderThePointerAndTheFrameRateUntilClosed) {
  P.Global().SettingsNode("RenderSettings")->WriteBoolean("ShowFPS", true);
  ASSERT_TRUE(OpenSmallSample());
  QWidget* view = W->View();
  TRREntity* hovered = nullptr;
  for (int y = 2; !hovered && y < 8; ++y)
    for (int x = 2; !hovered && x < 8; ++x) {
      QTest::mouseMove(view, QPoint(view->width() * x / 10, view->height() * y / 10));
      Pump(90);
      hovered = P.Project().Manager()->HoveredEntity();
    }
  ASSERT_NE(hovered, nullptr);
  EXPECT_EQ(W->StatusPanel(1)->text().toStdString(), hovered->Name());
  Pump(1300);  // the rate is counted over a second of frames
  EXPECT_TRUE(W->StatusPanel(2)->text().startsWith("FPS: ")) << W->StatusPanel(2)->text().toStdString();
  // Off the view nothing is under the pointer.
  QTest::mouseMove(W->menuBar(), QPoint(5, 5));
  Pump(150);
  EXPECT_EQ(P.Project().Manager()->HoveredEntity(), nullptr);
  EXPECT_TRUE(W->StatusPanel(1)->text().isEmpty());
  ASSERT_TRUE(W->CloseProjectFlow());
  EXPECT_TRUE(W->StatusPanel(1)->text().isEmpty());
  EXPECT_TRUE(W->StatusPanel(2)->text().isEmpty());
}

// The gizmo in the window: a drag along the X arrow and one round the ring about Y, each one
// undoable step; a rubber band over the layout; pictures of both.
TEST_F(Desktop, TheGizmoMovesAndTurnsTheSelectionWithTheMouseAndUndoTakesItBack) {
  ASSERT_TRUE(OpenSmallSample());
  QWidget* view = W->View();
  TRREntityManager* m = P.Project().Manager();
  gx::TGXSceneCamera* camera = m->ViewCamera();
  ASSERT_NE(camera, nullptr);
  const gx::TGXViewportRect rect = P.Project().RenderWindow()->View()->Rect();
  auto screen = [&](const gx::TGXVector3& v) {
    const std::optional<gx::TGXPoint> p =
        gx::WorldToScreen(v, rect, camera->GetProjectionMatrix(), camera->GetViewMatrix());
    return p ? QPoint(p->X, p->Y) : QPoint(-1, -1);
  };
  // The plain model (no vehicle, no signal) nearest the middle of the view.
  TRREntity* chosen = nullptr;
  int best = 1 << 30;
  for (int i = 0; i < m->EntitySlotCount(); ++i) {
    auto* e = dynamic_cast<TRRModel*>(m->EntitySlot(i));
    if (!e || e->Parent() != P.Project().ProjectNode() || std::string(e->GetClass().Name) != "TRRModel") continue;
    // In front of the camera, and not so near that the gizmo would fill the view.
    if (gx::GXVec3TransformCoord(e->WorldPosition(), camera->GetViewMatrix()).z < 50) continue;
    const QPoint q = screen(e->WorldPosition()) - QPoint(view->width() / 2, view->height() / 2);
    if (q.manhattanLength() < best) best = q.manhattanLength(), chosen = e;
  }
  ASSERT_NE(chosen, nullptr);
  m->Selection().Add(chosen);
  Pump(150);
  TRRTransformationGizmo* g = m->Gizmo();
  ASSERT_TRUE(g && g->Shown());
  ASSERT_TRUE(m->Overlay()->Viewport()->Enabled());

  auto mouse = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(at), view->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(view, &e);
  };
  auto drag = [&](QPoint from, QPoint by) {
    mouse(QEvent::MouseMove, from, Qt::NoButton, Qt::NoButton);
    Pump(80);  // the frame casts the ray the press picks with
    mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    for (int k = 1; k <= 2; ++k) {
      mouse(QEvent::MouseMove, from + by * k / 2, Qt::NoButton, Qt::LeftButton);
      Pump(60);
    }
    mouse(QEvent::MouseButtonRelease, from + by, Qt::LeftButton, Qt::NoButton);
    Pump(60);
  };
  const gx::TGXVector3 centre = g->Centre();
  // The ring about Y where it lies between the X and Z axes on the camera's side (where the
  // other rings are not).
  const gx::TGXVector3 toCamera = camera->Node()->WorldPosition() - centre;
  const gx::TGXVector3 ringPoint =
      gx::GXVec3Normalize({toCamera.x < 0 ? -1.0f : 1.0f, 0, toCamera.z < 0 ? -1.0f : 1.0f}) * g->Radius();
  const QPoint arrow = screen(centre + gx::TGXVector3{g->Length() * 0.6f, 0, 0});
  QPoint along = screen(centre + gx::TGXVector3{g->Length(), 0, 0}) - screen(centre);
  along = along * 50 / std::max(1, int(std::hypot(along.x(), along.y())));
  struct {
    const char* Name;
    QPoint From, By;
    bool Turns;
  } cases[] = {{"X-Pfeil", arrow, along, false},
               {"Ring um Y", screen(centre + ringPoint), QPoint(40, 0), true}};
  const int32_t id = chosen->ID();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const gx::TGXVector3 p0 = chosen->WorldPosition();
    const gx::TGXQuaternion q0 = chosen->WorldRotation();
    const int steps = P.Project().History()->Current();
    drag(c.From, c.By);
    const gx::TGXVector3 p1 = chosen->WorldPosition();
    if (c.Turns) {
      EXPECT_GT(std::fabs(gx::GXQuaternionDot(q0, chosen->WorldRotation())), 0.0f);
      EXPECT_LT(std::fabs(gx::GXQuaternionDot(q0, chosen->WorldRotation())), 0.999f);
    } else {
      EXPECT_GT(p1.x - p0.x, 1.0f);
      EXPECT_NEAR(p1.y, p0.y, 1e-3f);
      EXPECT_NEAR(p1.z, p0.z, 1e-3f);
    }
    EXPECT_EQ(P.Project().History()->Current(), steps + 1);
    Act(A::Undo)->trigger();
    Pump(60);
    // Undo makes the entity anew under its ID.
    chosen = m->FindByID(id);
    ASSERT_NE(chosen, nullptr);
    EXPECT_NEAR(gx::GXVec3Length(chosen->WorldPosition() - p0), 0, 1e-3f);
    EXPECT_NEAR(std::fabs(gx::GXQuaternionDot(q0, chosen->WorldRotation())), 1, 1e-4f);
    if (!chosen->Selected()) m->Selection().Add(chosen);
    Pump(60);
  }
  const QString dir = QString(VELMORA_TEST_OUTPUT_DIR) + "/";
  mouse(QEvent::MouseMove, arrow, Qt::NoButton, Qt::NoButton);
  Pump(200);
  EXPECT_TRUE(W->grab().toImage().scaledToWidth(640, Qt::SmoothTransformation).save(dir + "desktop-gizmo.png"));
  // A band from a point on the baseboard, held open for the picture, then let go.
  const QPoint start(view->width() / 8, view->height() * 7 / 8);
  mouse(QEvent::MouseMove, start, Qt::NoButton, Qt::NoButton);
  Pump(80);
  mouse(QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
  mouse(QEvent::MouseMove, QPoint(view->width() * 5 / 8, view->height() * 3 / 8), Qt::NoButton, Qt::LeftButton);
  Pump(200);
  if (m->Overlay()->BandActive()) {
    EXPECT_TRUE(m->Overlay()->Border().BandShown());
    EXPECT_TRUE(W->grab().toImage().scaledToWidth(640, Qt::SmoothTransformation).save(dir + "desktop-band.png"));
  }
  mouse(QEvent::MouseButtonRelease, QPoint(view->width() * 5 / 8, view->height() * 3 / 8), Qt::LeftButton,
        Qt::NoButton);
  Pump(60);
  EXPECT_FALSE(m->Overlay()->BandActive());
  EXPECT_FALSE(m->Selection().Empty());
}

// A pointer moving with a button held makes a CPU rasteriser draw half-size frames, shown over
// the whole view; letting go, or holding the pointer still, brings full-size frames back.
TEST_F(Desktop, ADragDrawsSmallerFramesOnACpuRasteriserUntilThePointerIsLetGoOrStill) {
  QCursor::setPos(1599, 999);
  ASSERT_TRUE(OpenSmallSample());
  TRRViewWidget* view = W->View();
  TRRProjectRenderWindow* window = P.Project().RenderWindow();
  ASSERT_NE(window, nullptr);
  const bool cpu = gx::GXCurrentRenderCore()->Adapter().Info.Software;
  const QSize full = view->SettledSize();
  auto move = [&](QPoint at, Qt::MouseButtons held) {
    QMouseEvent e(QEvent::MouseMove, QPointF(at), view->mapToGlobal(QPointF(at)), Qt::NoButton, held,
                  Qt::NoModifier);
    QApplication::sendEvent(view, &e);
  };
  // Away from anything the press would pick: the sky at the top edge.
  const QPoint at(full.width() / 2, 3);
  for (const bool letGo : {true, false}) {
    SCOPED_TRACE(letGo ? "losgelassen" : "stillgehalten");
    move(at, Qt::LeftButton);
    move(at + QPoint(4, 0), Qt::LeftButton);
    EXPECT_TRUE(view->FollowingPointer());
    P.Project().Tick();
    view->repaint();
    const QSize drawn(int(window->FrameWidth()), int(window->FrameHeight()));
    EXPECT_EQ(drawn, cpu ? QSize((full.width() + 1) / 2, (full.height() + 1) / 2) : full);
    // Stretched over the whole view: the painted view and the frame image (scaled to the view)
    // agree in the far quarter too, where an unscaled frame would leave edge-coloured strips.
    const QImage frame = view->FrameImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(frame.size(), full);
    const QImage shown = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int differing = 0;
    for (int j = 0; j < 5; ++j)
      for (int i = 0; i < 5; ++i) {
        const QPoint q(full.width() * (11 + 2 * i) / 20, full.height() * (11 + 2 * j) / 20);
        const QColor a(frame.pixel(q)), b(shown.pixel(q));
        differing +=
            std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) >
            60;
      }
    EXPECT_LE(differing, 2);
    if (letGo) shown.save(QString(VELMORA_TEST_OUTPUT_DIR) + "/desktop-drag.png");
    if (letGo) {
      QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), view->mapToGlobal(QPointF(at)),
                          Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
      QApplication::sendEvent(view, &release);
    }
    if (!letGo) Pump(400);
    EXPECT_FALSE(view->FollowingPointer());
    P.Project().Tick();
    EXPECT_EQ(QSize(int(window->FrameWidth()), int(window->FrameHeight())), full);
  }
}

TEST(RulerSteps, GrowByTensAndStopForAbsurdSpans) {
  struct TCase {
    double PerPixel, Want;
  } cases[] = {{0.01, 1}, {0.5, 100}, {2, 1000}, {0, 0}, {-1, 0}, {1e12, 0},
               {std::numeric_limits<double>::quiet_NaN(), 0}, {std::numeric_limits<double>::infinity(), 0}};
  for (const TCase& c : cases) EXPECT_EQ(RRRulerStep(c.PerPixel, 60), c.Want) << c.PerPixel;
}

// Pictures of the window for the developers to look at (they go into the test's output folder):
// the closed window, the sample through the free and the technical camera, the load progress,
// the options and a question.
TEST_F(Desktop, PicturesOfTheWindow) {
  const QString dir = QString(VELMORA_TEST_OUTPUT_DIR) + "/";
  Pump(200);
  EXPECT_TRUE(W->grab().toImage().scaledToWidth(640, Qt::SmoothTransformation).save(dir + "desktop-closed.png"));
  ASSERT_TRUE(OpenSample());
  Pump(1500);
  EXPECT_TRUE(W->grab().toImage().scaledToWidth(640, Qt::SmoothTransformation).save(dir + "desktop-free.png"));
  CameraItem("2D-Kamera (technische Zeichnung)")->trigger();
  Pump(1500);
  EXPECT_TRUE(W->grab().toImage().scaledToWidth(640, Qt::SmoothTransformation).save(dir + "desktop-technical.png"));
  QDialog* options = nullptr;
  QTimer::singleShot(300, W, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible() && d->windowTitle() == "Optionen") options = d;
    if (options) {
      options->grab().save(dir + "desktop-options.png");
      options->reject();
    }
  });
  W->ShowOptions();
  EXPECT_NE(options, nullptr);
  // A German question.
  Act(A::SelectAll)->trigger();
  Act(A::Delete)->trigger();
  P.Ui.SetBoxHook([&](QMessageBox& box) {
    box.grab().save(dir + "desktop-question.png");
    for (QAbstractButton* b : box.buttons())
      if (b->text() == "Abbrechen") b->click();
  });
  W->CloseProjectFlow();
  EXPECT_TRUE(QFile::exists(dir + "desktop-question.png"));
}

TEST_F(Desktop, TheDeferredStartOpensTheNamedFileTheLastProjectOrTheWelcomeWindow) {
  // A file named on the command line.
  W->DeferredStart(QString::fromStdString(P.Sample()), false);
  Pump(50);
  EXPECT_TRUE(P.Project().IsOpen());
  ASSERT_TRUE(W->CloseProjectFlow());
  // A name that is no file falls through to the welcome window (shown at the first start).
  QString welcome;
  QTimer::singleShot(200, W, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) {
        welcome = d->windowTitle();
        d->reject();
      }
  });
  W->DeferredStart(QString::fromStdString(P.Dir() + "/fehlt.vmp"), false);
  EXPECT_EQ(welcome, "Willkommen bei 3D-Velmora 2013");
  EXPECT_FALSE(P.Project().IsOpen());
  // With "open the last project" the newest recent layout opens.
  P.Global().SettingsNode("GeneralSettings")->WriteBoolean("OpenLastProject", true);
  P.Global().LoadSettings();
  W->DeferredStart({}, false);
  EXPECT_TRUE(P.Project().IsOpen());
  EXPECT_EQ(P.Project().FileName(), P.Global().RecentProjects().front());
}

TEST(LoadProgress, RepaintsOnlyWhenThePercentOrTheTextChanges) {
  QWidget host;
  host.resize(800, 600);
  TRRLoadProgress overlay(&host);
  std::unique_ptr<IRRProgress> p = overlay.Begin("Lade Projekt...");
  const int start = overlay.Repaints();
  for (int i = 0; i < 400; ++i) {
    p->SetText("Lade Projekt...");
    p->SetProgress(i, 100000);  // under half a percent all along
  }
  EXPECT_EQ(overlay.Repaints(), start);
  p->SetProgress(50, 100);
  p->SetText("Fertig.");
  EXPECT_EQ(overlay.Repaints(), start + 2);
  EXPECT_EQ(overlay.Percent(), 50);
  EXPECT_TRUE(overlay.isVisible() || !host.isVisible());
  p.reset();
  EXPECT_FALSE(overlay.isVisible());
}

TEST_F(Desktop, AutomationClientsSeeTheWindowsMarksAndBusyStateAndClosingWithThemAsksFirst) {
  TRRDesktopAutomationHost host(*W, P.Global(), P.Ui);
  // Marks set by a client take effect without the actions' toggle rules.
  // (Without a layout the display actions show checked whatever their marks.)
  const bool before = host.Mark(A::ShowGizmo);
  host.SetMark(A::ShowGizmo, !before);
  EXPECT_EQ(W->DisplayMark(A::ShowGizmo), !before);
  host.SetMark(A::ShowGizmo, before);
  EXPECT_EQ(W->DisplayMark(A::ShowGizmo), Act(A::ShowGizmo)->isChecked());
  host.SetMark(A::Exit, true);
  EXPECT_FALSE(host.Mark(A::Exit));
  // Any open progress display makes the program busy for loads and saves.
  EXPECT_FALSE(host.Busy());
  {
    std::unique_ptr<IRRProgress> progress = P.Ui.BeginProgress("Speichern", "", false);
    EXPECT_TRUE(host.Busy());
  }
  EXPECT_FALSE(host.Busy());

  int clients = 1;
  W->SetAutomationClients([&] { return clients; });
  QString caption;
  P.Ui.SetBoxHook([&](QMessageBox& box) {
    caption = box.windowTitle();
    for (QAbstractButton* b : box.buttons())
      if (b->text() == RRButtonNo) b->click();
  });
  EXPECT_FALSE(W->close());
  EXPECT_EQ(caption, RRTextAutomationCloseWarningTitle);
  EXPECT_TRUE(W->isVisible());
  // Without clients nothing is asked about them.
  clients = 0;
  caption.clear();
  P.Ui.SetBoxHook({});
  W->SetAutomationClients(nullptr);
}

TEST(SelectWindowMatching, FiltersByPartOfTheNameAndKindAndSortsByName) {
  // Equal names come in reverse ID order so that the ID tie-break shows.
  const std::vector<TRRSelectRow> rows = {
      {5, "Bahnhof Nord", "Modell"}, {2, "Weiche am Bahnhof", "Gleis"}, {3, "Gleis 1", "Gleis"},
      {4, "Tank Öl", "Modell"},      {1, "Bahnhof Nord", "Modell"},     {6, "Licht", "Licht"},
      {7, "Brücke", "Modell"},
  };
  const struct {
    const char* Name;
    std::string Text, Kind;
    std::vector<int32_t> Expected;
  } cases[] = {
      {"alles", "", "", {1, 5, 7, 3, 6, 4, 2}},   {"Groß und klein gemischt", "bAhNhOf", "", {1, 5, 2}},
      {"Umlaut in anderer Größe", "öL", "", {4}}, {"Umlaut nicht umschrieben", "oel", "", {}},
      {"kein Treffer", "Tunnel", "", {}},         {"nur die Art", "", "Gleis", {3, 2}},
      {"Text und Art", "bahnhof", "Gleis", {2}},  {"Art nicht vorhanden", "", "Signal", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(RRMatchingEntities(rows, c.Text, c.Kind), c.Expected);
  }
  EXPECT_EQ(RRSelectKinds(rows), (std::vector<QString>{"Gleis", "Licht", "Modell"}));
}

TEST_F(Desktop, TheSelectWindowReplacesTheSelectionWithTheChosenEntitiesInOneChange) {
  ASSERT_TRUE(OpenSmallSample());
  TRREntityManager* m = P.Project().Manager();
  ASSERT_NE(m, nullptr);
  int changes = 0;
  std::function<void()>& hook = P.Project().EditServices().SelectionChanged;
  hook = [changes = &changes, before = hook] {
    ++*changes;
    if (before) before();
  };
  // The most frequent kind of the sample and the first letters of one of its names, in other case.
  const std::vector<TRRSelectRow> rows = RRSelectRows(*m);
  ASSERT_GT(rows.size(), 3u);
  std::map<QString, int> perKind;
  for (const TRRSelectRow& r : rows) ++perKind[r.Kind];
  const QString kind = std::max_element(perKind.begin(), perKind.end(), [](auto& a, auto& b) {
                         return a.second < b.second;
                       })->first;
  QString text;
  for (const TRRSelectRow& r : rows)
    if (r.Kind == kind && r.Name.size() >= 3) text = r.Name.left(3).toUpper();
  ASSERT_FALSE(text.isEmpty());
  const std::vector<int32_t> expected = RRMatchingEntities(*m, text.toStdString(), kind.toStdString());
  ASSERT_FALSE(expected.empty());
  ASSERT_LT(expected.size(), rows.size());
  for (int32_t id : expected) {
    TRREntity* e = m->FindByID(id);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Parent(), P.Project().ProjectNode());
    EXPECT_EQ(QString::fromStdString(RRSelectKindName(*e)), kind);
  }

  // Runs step inside the window once it is open.
  auto withWindow = [&](const std::function<void(TSelectWindow&)>& step) {
    bool seen = false;
    QTimer::singleShot(100, W, [&] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<TSelectWindow*>(w); d && d->isVisible()) {
          seen = true;
          EXPECT_EQ(d->windowTitle(), "Auswählen");
          EXPECT_EQ(d->focusWidget(), d->TextEdit());
          step(*d);
          if (d->isVisible()) d->reject();
        }
    });
    Act(A::Select)->trigger();
    EXPECT_TRUE(seen);
  };

  // Filter, kind, "Alle", Enter.
  withWindow([&](TSelectWindow& d) {
    EXPECT_EQ(d.List()->topLevelItemCount(), int(rows.size()));
    QTest::keyClicks(d.TextEdit(), text);
    d.KindBox()->setCurrentIndex(d.KindBox()->findText(kind));
    d.AllButton()->click();
    QTest::keyClick(d.TextEdit(), Qt::Key_Return);
    EXPECT_FALSE(d.isVisible());
  });
  EXPECT_EQ(m->Selection().IDs(), expected);
  EXPECT_EQ(changes, 1);

  // The selection starts chosen; Escape after another choice changes nothing.
  withWindow([&](TSelectWindow& d) {
    EXPECT_EQ(d.ChosenIDs(), expected);
    d.List()->clearSelection();
    QTest::keyClicks(d.TextEdit(), "zzz");
    EXPECT_EQ(d.List()->topLevelItemCount(), 0);
    QTest::keyClick(d.TextEdit(), Qt::Key_Escape);
    EXPECT_FALSE(d.isVisible());
  });
  EXPECT_EQ(m->Selection().IDs(), expected);
  EXPECT_EQ(changes, 1);

  // A double click takes just that row.
  withWindow([&](TSelectWindow& d) {
    QTest::keyClicks(d.TextEdit(), text);
    QTreeWidgetItem* first = d.List()->topLevelItem(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->data(0, Qt::UserRole).toInt(), expected.front());
    // As the window system delivers it: a click, then the second press as a double click.
    const QPoint at = d.List()->visualItemRect(first).center();
    QTest::mouseClick(d.List()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(d.List()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_FALSE(d.isVisible());
  });
  const int32_t clicked = expected.front();
  EXPECT_EQ(m->Selection().IDs(), std::vector<int32_t>{clicked});
  EXPECT_EQ(changes, 2);

  // An entity deleted while the window is open is left out.
  withWindow([&](TSelectWindow& d) {
    d.AllButton()->click();
    ASSERT_TRUE(m->CanDeleteSelection());
    m->DeleteSelection();
    ASSERT_EQ(m->FindByID(clicked), nullptr);
    d.accept();
  });
  std::vector<int32_t> rest = RRMatchingEntities(*m, "", "");
  EXPECT_EQ(rest.size(), rows.size() - 1);
  EXPECT_EQ(m->Selection().IDs(), rest);
}
