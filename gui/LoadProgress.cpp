#include "gui/LoadProgress.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <algorithm>

namespace rr {

namespace {
constexpr int kBarWidth = 400;
constexpr int kThumbnailWidth = 256;
constexpr QRgb kFrameColour = 0xFFC8C8C8;  // 13158600

class TOverlayProgress : public IRRProgress {
 public:
  TOverlayProgress(TRRLoadProgress& overlay, const std::string& text) : FOverlay(&overlay) {
    overlay.SetThumbnail({});
    overlay.SetPercent(0);
    overlay.SetText(QString::fromStdString(text));
    overlay.show();
    overlay.raise();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  ~TOverlayProgress() override {
    if (FOverlay) FOverlay->hide();
  }
  void SetText(const std::string& text) override {
    if (FOverlay) FOverlay->SetText(QString::fromStdString(text));
  }
  void SetProgress(int64_t done, int64_t total) override {
    if (!FOverlay) return;
    const int percent = total <= 0 ? 0 : int(std::clamp<int64_t>((done * 100 + total / 2) / total, 0, 100));
    FOverlay->SetPercent(percent);
  }
  bool Cancelled() const override { return false; }
  void ShowThumbnail(const std::vector<uint8_t>& jpeg) override {
    QImage image;
    if (FOverlay && image.loadFromData(jpeg.data(), int(jpeg.size()), "JPG")) FOverlay->SetThumbnail(image);
  }

 private:
  QPointer<TRRLoadProgress> FOverlay;
};
}  // namespace

TRRLoadProgress::TRRLoadProgress(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  FBar = new QProgressBar(this);
  FBar->setRange(0, 100);
  FBar->setTextVisible(false);
  FBar->setFixedSize(kBarWidth, 18);
  FLabel = new QLabel(this);
  QFont f = FLabel->font();
  f.setBold(true);
  f.setPointSize(12);
  FLabel->setFont(f);
  FLabel->setStyleSheet("color: white;");
  FLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  hide();
}

std::unique_ptr<IRRProgress> TRRLoadProgress::Begin(const std::string& text) {
  if (parentWidget()) setGeometry(parentWidget()->rect());
  return std::make_unique<TOverlayProgress>(*this, text);
}

int TRRLoadProgress::Percent() const { return FBar->value(); }
QString TRRLoadProgress::Text() const { return FLabel->text(); }

void TRRLoadProgress::Repaint() {
  ++FRepaints;
  update();
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TRRLoadProgress::SetText(const QString& text) {
  if (text == FLabel->text()) return;
  FLabel->setText(text);
  Repaint();
}

void TRRLoadProgress::SetPercent(int percent) {
  if (percent == FBar->value()) return;
  FBar->setValue(percent);
  Repaint();
}

void TRRLoadProgress::SetThumbnail(const QImage& image) {
  FThumbnail = image.isNull() ? QImage() : image.scaledToWidth(kThumbnailWidth, Qt::SmoothTransformation);
  Place();
  if (!image.isNull()) Repaint();
}

void TRRLoadProgress::resizeEvent(QResizeEvent*) { Place(); }

void TRRLoadProgress::Place() {
  const int shift = FThumbnail.isNull() ? 0 : FThumbnail.height() / 2;
  const int barY = height() / 2 - height() / 20 + shift;
  FBar->move((width() - kBarWidth) / 2, barY);
  FLabel->setGeometry(0, barY + FBar->height() + 10, width(), 30);
}

void TRRLoadProgress::paintEvent(QPaintEvent*) {
  QPainter p(this);
  // The layout is not there yet: a calm dark ground under the bar.
  p.fillRect(rect(), QColor(0x2E, 0x3B, 0x33, 230));
  if (FThumbnail.isNull()) return;
  const QRect image((width() - FThumbnail.width()) / 2, FBar->y() - 20 - FThumbnail.height(), FThumbnail.width(),
                    FThumbnail.height());
  p.fillRect(image.adjusted(-2, -2, 2, 2), QColor::fromRgba(kFrameColour));
  p.drawImage(image.topLeft(), FThumbnail);
}

}  // namespace rr
