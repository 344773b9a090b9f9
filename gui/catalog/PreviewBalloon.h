#pragma once
// The catalogue's balloon: the current entry turning in a small 3D preview beside the tree, with
// its name. A left drag in it turns the view, the wheel brings it nearer or further; it is drawn
// from a 30 ms timer (never inside a paint). Without a render core it stays hidden.

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace rr {

class TRREntityDescription;
class TRRPreviewRenderWindow;

class TRRPreviewBalloon : public QWidget {
  Q_OBJECT

 public:
  static constexpr int PreviewWidth = 200, PreviewHeight = 150;
  // Frames drawn before the picture counts as settled (the distance has reached its goal).
  static constexpr int SettledFrames = 12;

  explicit TRRPreviewBalloon(QWidget* parent = nullptr);
  ~TRRPreviewBalloon() override;

  // Shows the entry beside the point (global coordinates); null hides the balloon. False when
  // there is nothing to show (no render core, or the entry makes no object).
  bool ShowEntry(const TRREntityDescription* entry, QPoint at);
  const TRREntityDescription* Entry() const { return FEntry; }
  // Draws one frame now (the timer does this every 30 ms).
  void Step();
  QImage Picture() const { return FPicture; }
  int FramesDrawn() const { return FFrames; }
  TRRPreviewRenderWindow* Preview() const { return FPreview.get(); }
  // Called once per entry when its picture has settled (the catalogue keeps it as the entry's icon).
  void SetSettledHandler(std::function<void(const TRREntityDescription&, const QImage&)> handler) {
    FSettled = std::move(handler);
  }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  std::unique_ptr<TRRPreviewRenderWindow> FPreview;
  const TRREntityDescription* FEntry = nullptr;
  QString FTitle;
  QImage FPicture;
  QTimer FTimer;
  int FFrames = 0;
  std::function<void(const TRREntityDescription&, const QImage&)> FSettled;
};

}  // namespace rr
