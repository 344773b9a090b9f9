#pragma once
// A turning preview in a window (the track editor, the rolling-stock editor): a label showing
// the pictures of a preview render window, drawn from a 30 ms timer (never inside a paint).
// Without a render core (or when drawing fails) it shows "Keine Vorschau" and draws nothing.
// The timer runs from the start; a dialog stops it when it closes and starts it when shown again.
// A left drag turns the preview, the wheel brings it nearer, as in the catalogue's balloon.

#include <QImage>
#include <QLabel>
#include <QTimer>
#include <memory>

namespace rr {

class TRRPreviewRenderWindow;
class TRRPreviewCamera;

// Turns a preview's orbit camera by a mouse event: a left press and drag turn it, the wheel
// brings it nearer or further. False for every other event.
bool RRTurnPreviewByMouse(TRRPreviewCamera& camera, QEvent* event);

class TRRPreviewView : public QLabel {
  Q_OBJECT

 public:
  TRRPreviewView(int width, int height, QWidget* parent = nullptr);
  ~TRRPreviewView() override;

  // The preview to put objects into (null without one).
  TRRPreviewRenderWindow* Preview() const { return FPreview.get(); }
  // Draws one picture now.
  void Step();
  QImage Picture() const { return FPicture; }
  // The 30 ms drawing (only with a preview).
  void Start();
  void Stop();
  bool Running() const { return FTimer.isActive(); }

 protected:
  bool event(QEvent* event) override;

 private:
  std::unique_ptr<TRRPreviewRenderWindow> FPreview;
  QImage FPicture;
  QTimer FTimer;
};

}  // namespace rr
