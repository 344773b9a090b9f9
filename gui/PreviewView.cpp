#include "gui/PreviewView.h"

#include <QMouseEvent>
#include <QWheelEvent>
#include <exception>

#include "app/RRPreview.h"
#include "engine/render/GXRenderCore.h"
#include "gui/RRPreviewImage.h"

namespace rr {

TRRPreviewView::TRRPreviewView(int width, int height, QWidget* parent) : QLabel(parent) {
  setFixedSize(width, height);
  setAlignment(Qt::AlignCenter);
  setFrameShape(QFrame::StyledPanel);
  setText("Keine Vorschau");
  if (gx::GXCurrentRenderCore()) try {
      FPreview = std::make_unique<TRRPreviewRenderWindow>(uint32_t(width), uint32_t(height));
    } catch (const std::exception&) {
      FPreview.reset();
    }
  FTimer.setInterval(30);
  connect(&FTimer, &QTimer::timeout, this, [this] { Step(); });
  if (FPreview) FTimer.start();
}

bool RRTurnPreviewByMouse(TRRPreviewCamera& camera, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::Wheel) {
    camera.Wheel(static_cast<QWheelEvent*>(event)->angleDelta().y());
    event->accept();
    return true;
  }
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove) return false;
  auto* mouse = static_cast<QMouseEvent*>(event);
  const QPoint at = mouse->position().toPoint();
  if (type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton)
    camera.Press(at.x(), at.y());
  else if (type == QEvent::MouseMove && (mouse->buttons() & Qt::LeftButton))
    camera.Drag(at.x(), at.y());
  else
    return false;
  return true;
}

TRRPreviewView::~TRRPreviewView() { FTimer.stop(); }

void TRRPreviewView::Start() {
  if (FPreview) FTimer.start();
}

void TRRPreviewView::Stop() { FTimer.stop(); }

bool TRRPreviewView::event(QEvent* event) {
  if (FPreview && RRTurnPreviewByMouse(FPreview->Camera(), event)) return true;
  return QLabel::event(event);
}

void TRRPreviewView::Step() {
  if (!FPreview) return;
  try {
    FPreview->RenderFrame();
  } catch (const std::exception&) {
    FTimer.stop();
    return;
  }
  FPicture = RRPreviewImage(*FPreview);
  if (!FPicture.isNull()) setPixmap(QPixmap::fromImage(FPicture));
}

}  // namespace rr
