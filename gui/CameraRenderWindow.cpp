#include "gui/CameraRenderWindow.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <exception>

#include "app/RREntityManager.h"
#include "app/RRProject.h"
#include "app/RRProjectRenderWindow.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RRLight.h"
#include "engine/render/GXRenderCore.h"

namespace rr {

TRRCameraRenderWindow::TRRCameraRenderWindow(QWidget* parent) : QWidget(parent) {
  setMinimumSize(120, 68);
  setToolTip("Doppelklick aktiviert die Kamera");
  FTimer.setInterval(250);
  connect(&FTimer, &QTimer::timeout, this, [this] { Step(); });
}

TRRCameraRenderWindow::~TRRCameraRenderWindow() { Release(); }

void TRRCameraRenderWindow::SetCamera(TRRProject* project, int32_t id) {
  if (project != FProject || !project || id == 0) Release();
  FProject = project;
  FCameraID = id;
  if (isVisible()) Step();
}

void TRRCameraRenderWindow::Release() {
  if (FWindow) FWindow->SetScene(nullptr);
  FWindow.Reset();
  FSurface.reset();
  FScene = nullptr;
}

void TRRCameraRenderWindow::Step() {
  TRREntityManager* m = FProject ? FProject->Manager() : nullptr;
  auto* camera = m && FProject->IsOpen() ? dynamic_cast<TRRCamera*>(m->FindByID(FCameraID)) : nullptr;
  if (!camera || !camera->EngineCamera() || !gx::GXCurrentRenderCore() || !FProject->Scene()) {
    Release();
    FPicture = QImage();
    update();
    return;
  }
  // The size of the widget at the 3D view's aspect.
  float aspect = 4.0f / 3.0f;
  if (TRRProjectRenderWindow* view = FProject->RenderWindow(); view && view->CanRender()) aspect = view->Aspect();
  const int w = std::clamp(width(), 16, 1024);
  const int h = std::clamp(int(float(w) / aspect + 0.5f), 8, 1024);
  try {
    if (!FWindow || FScene != FProject->Scene()) {
      Release();
      FSurface = std::make_unique<gx::TGXOffscreenSurface>(uint32_t(w), uint32_t(h));
      FWindow = gx::MakeRef<TRRProjectRenderWindow>(FSurface.get(), FProject->Scene(), 1);
      FScene = FProject->Scene();
    } else if (FSurface->ClientWidth() != uint32_t(w) || FSurface->ClientHeight() != uint32_t(h)) {
      FSurface->SetClientSize(uint32_t(w), uint32_t(h));
      FWindow->UpdateSize();
    }
    FWindow->SetCamera(camera->EngineCamera());
    uint32_t background = RRTechnicalBackground;
    if (!m->TechnicalView())
      if (auto* light = dynamic_cast<TRRLight*>(m->Light())) background = light->SkyColor();
    FWindow->RenderFrame(background);
    // The main view's camera is set again for its own pictures and picks.
    if (TRRProjectRenderWindow* view = FProject->RenderWindow(); view && view->Camera())
      view->SetCamera(view->Camera());
  } catch (const std::exception&) {
    Release();
    FPicture = QImage();
    update();
    return;
  }
  const std::vector<uint32_t> frame = FWindow->LastFrame();
  if (frame.size() == size_t(FWindow->FrameWidth()) * FWindow->FrameHeight() && !frame.empty())
    FPicture = QImage(reinterpret_cast<const uchar*>(frame.data()), int(FWindow->FrameWidth()),
                      int(FWindow->FrameHeight()), int(FWindow->FrameWidth()) * 4, QImage::Format_RGB32)
                   .copy();
  update();
}

void TRRCameraRenderWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(0x50, 0x50, 0x50));
  if (!FPicture.isNull()) {
    const QImage scaled = FPicture.scaled(size(), Qt::KeepAspectRatio);
    p.drawImage((width() - scaled.width()) / 2, (height() - scaled.height()) / 2, scaled);
  }
}

void TRRCameraRenderWindow::mouseDoubleClickEvent(QMouseEvent*) { emit ActivateRequested(); }

void TRRCameraRenderWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  FTimer.start();
  Step();
}

void TRRCameraRenderWindow::hideEvent(QHideEvent* event) {
  FTimer.stop();
  Release();
  QWidget::hideEvent(event);
}

}  // namespace rr
