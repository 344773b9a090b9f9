// The camera page's small picture: the layout through a placed camera, drawn without changing
// the 3D view's projection (its picks read it), a double click asking for activation, and
// nothing kept (and no crash) once the layout is closed.

#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QSignalSpy>
#include <QTabWidget>

#include "app/RREntityManager.h"
#include "app/RRProject.h"
#include "app/RRProjectRenderWindow.h"
#include "app/entities/RRCamera.h"
#include "engine/core/GXConfiguration.h"
#include "engine/render/GXCamera.h"
#include "gui/CameraRenderWindow.h"
#include "tests/gui/GuiTestSupport.h"

using namespace rr;
using guitest::Pump;

namespace {

// The sample open in the window, and its placed camera.
void OpenWithPlacedCamera(guitest::TProgram& P, TMainWindow& W, TRRCamera*& placed) {
  ASSERT_TRUE(W.OpenProjectFile(QString::fromStdString(P.Sample())));
  Pump(300);
  TRREntityManager& m = *P.Project().Manager();
  for (int i = 0; i < m.EntitySlotCount() && !placed; ++i)
    if (auto* c = dynamic_cast<TRRCamera*>(m.EntitySlot(i)); c && c->Name() == "Blick über die Anlage") placed = c;
  ASSERT_NE(placed, nullptr);
}

}  // namespace

TEST(CameraRenderWindow, ShowsTheLayoutThroughTheCameraAndLetsGoWhenClosed) {
  guitest::TProgram P;
  TMainWindow& W = P.MakeSmallWindow();
  TRRCamera* placed = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenWithPlacedCamera(P, W, placed));
  gx::TGXCamera* main = P.Project().RenderWindow()->Camera();
  ASSERT_NE(main, nullptr);
  const gx::TGXMatrix before = main->GetProjectionMatrix();

  TRRCameraRenderWindow w;
  w.resize(200, 120);
  w.show();
  w.SetCamera(&P.Project(), placed->ID());
  w.Step();
  const QImage picture = w.Picture();
  ASSERT_FALSE(picture.isNull());
  EXPECT_EQ(picture.width(), 200);
  int differing = 0;
  for (int y = 0; y < picture.height(); y += 2)
    for (int x = 0; x < picture.width(); x += 2) differing += picture.pixel(x, y) != picture.pixel(0, 0);
  EXPECT_GT(differing, picture.width() * picture.height() / 16);
  picture.save(QString(VELMORA_TEST_OUTPUT_DIR) + "/desktop-camera-picture.png");
  const gx::TGXMatrix after = main->GetProjectionMatrix();
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_FLOAT_EQ(after.m[r][c], before.m[r][c]) << r << c;

  QSignalSpy activate(&w, &TRRCameraRenderWindow::ActivateRequested);
  QMouseEvent twice(QEvent::MouseButtonDblClick, QPointF(10, 10), QPointF(w.mapToGlobal(QPoint(10, 10))),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&w, &twice);
  EXPECT_EQ(activate.count(), 1);

  // No camera of that ID, then no layout: no picture, no crash.
  w.SetCamera(&P.Project(), 999999);
  EXPECT_TRUE(w.Picture().isNull());
  w.SetCamera(&P.Project(), placed->ID());
  P.Ui.Answers = {"&Nein"};
  ASSERT_TRUE(W.CloseProjectFlow());
  w.Step();
  EXPECT_TRUE(w.Picture().isNull());
}

TEST(CameraRenderWindow, TheCameraPageShowsWhatItsCameraSees) {
  guitest::TProgram P;
  TMainWindow& W = P.MakeSmallWindow();
  TRRCamera* placed = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenWithPlacedCamera(P, W, placed));
  TRREntityManager& m = *P.Project().Manager();
  m.Selection().Clear();
  m.Selection().Add(placed);
  W.ProjectMenu()->findChild<QTabWidget*>()->setCurrentIndex(1);
  Pump(600);
  auto* picture = W.findChild<TRRCameraRenderWindow*>("CameraPicture");
  ASSERT_NE(picture, nullptr);
  ASSERT_TRUE(picture->isVisible());
  EXPECT_EQ(picture->CameraID(), placed->ID());
  EXPECT_FALSE(picture->Picture().isNull());
  W.grab().scaledToWidth(640, Qt::SmoothTransformation).save(QString(VELMORA_TEST_OUTPUT_DIR) + "/desktop-camera-page.png");
  // A double click makes it the view's camera.
  QMouseEvent twice(QEvent::MouseButtonDblClick, QPointF(10, 10), QPointF(picture->mapToGlobal(QPoint(10, 10))),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(picture, &twice);
  EXPECT_EQ(P.Project().ActiveCamera(), placed);
}
