#include "gui/catalog/PreviewBalloon.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <exception>

#include "app/RRPreview.h"
#include "app/entities/RREntityDescription.h"
#include "engine/render/GXRenderCore.h"
#include "gui/PreviewView.h"
#include "gui/RRPreviewImage.h"

namespace rr {

namespace {
constexpr int kMargin = 6, kTitleHeight = 20;
}

TRRPreviewBalloon::TRRPreviewBalloon(QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
  setObjectName("Vorschau");
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFixedSize(PreviewWidth + 2 * kMargin, PreviewHeight + 2 * kMargin + kTitleHeight);
  FTimer.setInterval(30);
  connect(&FTimer, &QTimer::timeout, this, [this] { Step(); });
}

TRRPreviewBalloon::~TRRPreviewBalloon() = default;

bool TRRPreviewBalloon::ShowEntry(const TRREntityDescription* entry, QPoint at) {
  FEntry = nullptr;
  FFrames = 0;
  FPicture = QImage();
  if (!entry || !gx::GXCurrentRenderCore()) {
    hide();
    return false;
  }
  bool shown = false;
  try {
    if (!FPreview) FPreview = std::make_unique<TRRPreviewRenderWindow>(PreviewWidth, PreviewHeight);
    shown = FPreview->Show(entry);
  } catch (const std::exception&) {
    // A preview that cannot be drawn is no reason to bother the user: no balloon.
    FPreview.reset();
    shown = false;
  }
  if (!shown) {
    hide();
    return false;
  }
  FEntry = entry;
  FTitle = QString::fromStdString(entry->Name().GetText());
  move(at);
  show();
  raise();
  Step();
  FTimer.start();
  return true;
}

void TRRPreviewBalloon::Step() {
  if (!FPreview || !FEntry) return;
  try {
    FPreview->RenderFrame();
  } catch (const std::exception&) {
    FTimer.stop();
    return;
  }
  FPicture = RRPreviewImage(*FPreview);
  if (FPicture.isNull()) return;
  if (++FFrames == SettledFrames && FSettled) FSettled(*FEntry, FPicture);
  update();
}

void TRRPreviewBalloon::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QColor paper(0xFF, 0xFB, 0xE8);
  p.fillRect(rect(), paper);
  p.setPen(QColor(0x80, 0x78, 0x60));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  if (!FPicture.isNull()) p.drawImage(kMargin, kMargin, FPicture);
  QFont f = font();
  f.setBold(true);
  p.setFont(f);
  p.setPen(Qt::black);
  p.drawText(QRect(kMargin, kMargin + PreviewHeight, PreviewWidth, kTitleHeight), Qt::AlignCenter | Qt::TextSingleLine,
             fontMetrics().elidedText(FTitle, Qt::ElideRight, PreviewWidth));
}

void TRRPreviewBalloon::mousePressEvent(QMouseEvent* event) {
  if (FPreview) RRTurnPreviewByMouse(FPreview->Camera(), event);
}

void TRRPreviewBalloon::mouseMoveEvent(QMouseEvent* event) {
  if (FPreview) RRTurnPreviewByMouse(FPreview->Camera(), event);
}

void TRRPreviewBalloon::wheelEvent(QWheelEvent* event) {
  if (FPreview) RRTurnPreviewByMouse(FPreview->Camera(), event);
  event->accept();
}

void TRRPreviewBalloon::hideEvent(QHideEvent* event) {
  FTimer.stop();
  QWidget::hideEvent(event);
}

}  // namespace rr
