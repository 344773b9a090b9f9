#pragma once
// A small picture of the layout seen through one camera (the camera page): a render window of
// its own over an offscreen surface that draws the project's scene through the camera's own
// engine camera every 250 ms, with the view's background. Its size follows the 3D view's aspect,
// so the camera's projection is the same for both views (the view's picking reads it). A double
// click activates the camera. Nothing is kept while the widget is hidden or no layout is open.

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <memory>

#include "engine/render/GXRenderWindow.h"

namespace rr {

class TRRProject;
class TRRProjectRenderWindow;

class TRRCameraRenderWindow : public QWidget {
  Q_OBJECT

 public:
  explicit TRRCameraRenderWindow(QWidget* parent = nullptr);
  ~TRRCameraRenderWindow() override;

  // The camera entity of the project shown (by ID; null or 0 shows nothing and lets go of the
  // render window, which must happen before the project's scene goes).
  void SetCamera(TRRProject* project, int32_t id);
  int32_t CameraID() const { return FCameraID; }
  // Draws one picture now (the timer does it every 250 ms).
  void Step();
  QImage Picture() const { return FPicture; }

 signals:
  void ActivateRequested();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void Release();
  TRRProject* FProject = nullptr;
  int32_t FCameraID = 0;
  std::unique_ptr<gx::TGXOffscreenSurface> FSurface;
  gx::TGXRef<TRRProjectRenderWindow> FWindow;
  const void* FScene = nullptr;  // the scene the window was made for
  QImage FPicture;
  QTimer FTimer;
};

}  // namespace rr
