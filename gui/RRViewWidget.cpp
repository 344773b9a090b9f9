#include "gui/RRViewWidget.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QWindow>

#include "gui/RRQtInput.h"
#include "gui/catalog/CatalogMenu.h"

namespace rr {

namespace {
// A resize is taken once the size has stood still this long.
constexpr int kSettleMs = 120;
// A drag whose pointer stands still this long is drawn sharp again.
constexpr int kStillMs = 250;

// Keys the tools use: while the view has the focus they reach it before any window shortcut.
bool ToolKey(const QKeyEvent& e) {
  switch (e.key()) {
    case Qt::Key_Delete:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Plus:
    case Qt::Key_Minus:
    case Qt::Key_Space:
    case Qt::Key_Escape:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_W:
    case Qt::Key_A:
    case Qt::Key_S:
    case Qt::Key_D:
    case Qt::Key_Q:
    case Qt::Key_Y:
      return !(e.modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    default:
      return false;
  }
}
}  // namespace

TRRQtViewSurface::TRRQtViewSurface(TRRViewWidget& widget) : gx::TGXOffscreenSurface(0, 0), FWidget(widget) {}

uint32_t TRRQtViewSurface::ClientWidth() const { return uint32_t(std::max(0, FWidget.FSettled.width())); }
uint32_t TRRQtViewSurface::ClientHeight() const { return uint32_t(std::max(0, FWidget.FSettled.height())); }
bool TRRQtViewSurface::Minimised() const { return FWidget.Hidden(); }

bool TRRQtViewSurface::Present(gx::TGXGLRenderDevice& device, gx::TGXDeviceSurface* color) {
  const bool ok = gx::TGXOffscreenSurface::Present(device, color);
  // The frame stands for the size reported when it began; it was drawn at that size or, while
  // the pointer drags on a CPU rasteriser, smaller (then shown scaled up).
  FWidget.FShownSize = QSize(int(ClientWidth()), int(ClientHeight()));
  FWidget.FFrameSize = color ? QSize(int(color->Width()), int(color->Height())) : FWidget.FShownSize;
  FWidget.Presented();
  return ok;
}

TRRViewWidget::TRRViewWidget(QWidget* parent) : QWidget(parent), FSurface(std::make_unique<TRRQtViewSurface>(*this)) {
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setAcceptDrops(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  FSettleTimer.setSingleShot(true);
  FSettleTimer.setInterval(kSettleMs);
  connect(&FSettleTimer, &QTimer::timeout, this, [this] { FSettled = size(); });
  FStillTimer.setSingleShot(true);
  FStillTimer.setInterval(kStillMs);
  connect(&FStillTimer, &QTimer::timeout, this, [this] { Follow(false); });
}

void TRRViewWidget::Follow(bool value) {
  if (value)
    FStillTimer.start();
  else
    FStillTimer.stop();
  if (value == FFollowing) return;
  FFollowing = value;
  if (FFollow) FFollow(value);
}

TRRViewWidget::~TRRViewWidget() = default;

bool TRRViewWidget::Hidden() const {
  const QWidget* top = window();
  return !isVisible() || FSettled.isEmpty() || (top && top->isMinimized());
}

QImage TRRViewWidget::FrameImage() const {
  const std::vector<uint32_t>& frame = FSurface->Frame();
  const int w = FFrameSize.width(), h = FFrameSize.height();
  if (frame.empty() || frame.size() != size_t(w) * size_t(h)) return {};
  // 0xAARRGGBB words, top row first, shown opaque: the alpha the effects leave in the frame is no
  // part of the picture (the command line writes the colours alone).
  const QImage image(reinterpret_cast<const uchar*>(frame.data()), w, h, w * 4, QImage::Format_RGB32);
  if (FShownSize.isEmpty() || FShownSize == FFrameSize) return image.copy();
  return image.scaled(FShownSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void TRRViewWidget::ClearFrame() {
  FFramesShown = 0;
  update();
}

void TRRViewWidget::Presented() {
  ++FFramesShown;
  update();
  emit FramePresented();
}

void TRRViewWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const std::vector<uint32_t>& frame = FSurface->Frame();
  const int w = FFrameSize.width(), h = FFrameSize.height();
  if (FFramesShown > 0 && !frame.empty() && frame.size() == size_t(w) * size_t(h)) {
    const QImage image(reinterpret_cast<const uchar*>(frame.data()), w, h, w * 4, QImage::Format_RGB32);
    // A frame drawn smaller is stretched over the size it stands for.
    const QSize shown = FShownSize.isEmpty() ? FFrameSize : FShownSize;
    if (shown == FFrameSize) {
      p.drawImage(0, 0, image);
    } else {
      p.setRenderHint(QPainter::SmoothPixmapTransform);
      p.drawImage(QRect(QPoint(0, 0), shown), image);
    }
    // While a resize settles the old frame stays; the new strips take its edge colour.
    const int sw = shown.width(), sh = shown.height();
    if (width() > sw) p.fillRect(sw, 0, width() - sw, height(), QColor::fromRgba(frame[size_t(w) - 1]));
    if (height() > sh)
      p.fillRect(0, sh, std::min(sw, width()), height() - sh, QColor::fromRgba(frame[frame.size() - 1]));
  } else {
    p.fillRect(rect(), QColor(0xAB, 0xAB, 0xAB));
  }
}

void TRRViewWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // Only a shown view being dragged larger or smaller waits for the size to settle; a hidden one
  // (placed before a layout opens) takes it at once.
  if (FSettled.isEmpty() || !isVisible()) FSettled = size();
  else FSettleTimer.start();
}

void TRRViewWidget::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  FSettleTimer.stop();
  FSettled = size();
}

bool TRRViewWidget::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (ToolKey(*key)) {
      event->accept();
      return true;
    }
  }
  return QWidget::event(event);
}

void TRRViewWidget::Deliver(const std::vector<TRRInputRecord>& records) {
  for (const TRRInputRecord& r : records)
    if (FHandler) FHandler(r);
}

void TRRViewWidget::keyPressEvent(QKeyEvent* event) {
  const std::vector<TRRInputRecord> records = RRTranslateKey(*event);
  for (const TRRInputRecord& r : records)
    if (r.Message == RRMsgKeyDown || r.Message == RRMsgSysKeyDown) {
      FKeysDown.insert(r.Key);
      if (r.Key == RRVKControl) FKeysDown.insert(RRVKLControl);
    }
  Deliver(records);
  event->accept();
}

void TRRViewWidget::keyReleaseEvent(QKeyEvent* event) {
  const std::vector<TRRInputRecord> records = RRTranslateKey(*event);
  for (const TRRInputRecord& r : records) {
    FKeysDown.erase(r.Key);
    if (r.Key == RRVKControl) FKeysDown.erase(RRVKLControl);
  }
  Deliver(records);
  event->accept();
}

void TRRViewWidget::focusOutEvent(QFocusEvent* event) {
  // Releases never arrive for keys let go elsewhere.
  FKeysDown.clear();
  QWidget::focusOutEvent(event);
}

void TRRViewWidget::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  Deliver(RRTranslateMouse(*event));
}

void TRRViewWidget::mouseReleaseEvent(QMouseEvent* event) {
  Deliver(RRTranslateMouse(*event));
  if (event->buttons() == Qt::NoButton) Follow(false);
}
void TRRViewWidget::mouseDoubleClickEvent(QMouseEvent* event) { Deliver(RRTranslateMouse(*event)); }

void TRRViewWidget::mouseMoveEvent(QMouseEvent* event) {
  Follow(event->buttons() != Qt::NoButton);
  Deliver(RRTranslateMouse(*event));
  emit MouseMovedTo(event->position().toPoint());
}

void TRRViewWidget::leaveEvent(QEvent* event) {
  TRRInputRecord leave;
  leave.Message = RRMsgMouseLeave;
  Deliver({leave});
  QWidget::leaveEvent(event);
}

void TRRViewWidget::wheelEvent(QWheelEvent* event) {
  Deliver(RRTranslateWheel(*event));
  event->accept();
}

// ---- catalogue drops ----

void TRRViewWidget::dragEnterEvent(QDragEnterEvent* event) {
  if (!event->mimeData()->hasFormat(RRCatalogMimeType) || !FDragOver) return event->ignore();
  // Accepted even where nothing can be dropped yet: the moves that follow decide per point.
  event->acceptProposedAction();
  dragMoveEvent(event);
}

void TRRViewWidget::dragMoveEvent(QDragMoveEvent* event) {
  if (FDragOver && event->mimeData()->hasFormat(RRCatalogMimeType) && FDragOver(event->position().toPoint())) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void TRRViewWidget::dropEvent(QDropEvent* event) {
  if (!FDrop || !event->mimeData()->hasFormat(RRCatalogMimeType) || !FDrop()) return event->ignore();
  event->setDropAction(Qt::CopyAction);
  event->accept();
  setFocus(Qt::OtherFocusReason);
}

void TRRViewWidget::CaptureMouse() {
  if (FCaptured) return;
  FCaptured = true;
  grabMouse();
}

void TRRViewWidget::ReleaseMouse() {
  if (!FCaptured) return;
  FCaptured = false;
  releaseMouse();
}

}  // namespace rr
