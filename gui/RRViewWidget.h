#pragma once
// The 3D view of the desktop program. The engine renders the project on its own EGL surfaceless
// context into the view's surface (the same path as velmora-cli render, so both show the same
// pixels and the window system needs no GL); the widget paints the read-back frame 1:1 and turns
// the toolkit's input into the core's input records.

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <set>

#include "app/RRInput.h"
#include "engine/render/GXRenderWindow.h"

namespace rr {

class TRRViewWidget;

// The surface the project's render window draws on: the widget's size once a resize has
// settled (one back-buffer rebuild per resize, not one per step of a drag).
class TRRQtViewSurface : public gx::TGXOffscreenSurface {
 public:
  explicit TRRQtViewSurface(TRRViewWidget& widget);
  uint32_t ClientWidth() const override;
  uint32_t ClientHeight() const override;
  bool Minimised() const override;
  bool Present(gx::TGXGLRenderDevice& device, gx::TGXDeviceSurface* color) override;

 private:
  TRRViewWidget& FWidget;
};

class TRRViewWidget : public QWidget {
  Q_OBJECT

 public:
  explicit TRRViewWidget(QWidget* parent = nullptr);
  ~TRRViewWidget() override;

  TRRQtViewSurface& Surface() { return *FSurface; }
  // The size the surface reports (the widget's, once a resize has settled).
  QSize SettledSize() const { return FSettled; }
  // Whether the window is minimised or the view has no pixels: no frames are drawn.
  bool Hidden() const;
  // The last frame shown (empty before the first).
  QImage FrameImage() const;
  int FramesShown() const { return FFramesShown; }

  // Input goes to this handler (the project's entity manager); it answers whether it was handled.
  void SetInputHandler(std::function<bool(const TRRInputRecord&)> handler) { FHandler = std::move(handler); }
  // Catalogue entries dragged over the view: over answers whether a drop is possible at the
  // point, drop takes it (true when something was placed).
  void SetDropHandlers(std::function<bool(QPoint)> over, std::function<bool()> drop) {
    FDragOver = std::move(over);
    FDrop = std::move(drop);
  }
  // Told when the view starts and stops following the pointer: a move with a button held starts
  // it, the release or a pointer held still for a quarter of a second ends it.
  void SetFollowHandler(std::function<void(bool)> handler) { FFollow = std::move(handler); }
  bool FollowingPointer() const { return FFollowing; }
  // Keys held now (virtual keys, left Control also as 162).
  bool KeyDown(int32_t virtualKey) const { return FKeysDown.count(virtualKey) != 0; }
  void CaptureMouse();
  void ReleaseMouse();
  // The view stops drawing old frames (the project closed).
  void ClearFrame();

 signals:
  void FramePresented();
  void MouseMovedTo(QPoint position);

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  friend class TRRQtViewSurface;
  void Deliver(const std::vector<TRRInputRecord>& records);
  void Follow(bool value);
  void Presented();
  std::unique_ptr<TRRQtViewSurface> FSurface;
  std::function<bool(const TRRInputRecord&)> FHandler;
  std::function<bool(QPoint)> FDragOver;
  std::function<bool()> FDrop;
  std::set<int32_t> FKeysDown;
  std::function<void(bool)> FFollow;
  bool FFollowing = false;
  QTimer FStillTimer;
  QTimer FSettleTimer;
  QSize FSettled;
  // The last frame's pixels and the view size it stands for (larger while a drag on a CPU
  // rasteriser draws smaller frames).
  QSize FFrameSize;
  QSize FShownSize;
  int FFramesShown = 0;
  bool FCaptured = false;
};

}  // namespace rr
