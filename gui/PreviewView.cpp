#include "gui/PreviewView.h"

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

TRRPreviewView::~TRRPreviewView() { FTimer.stop(); }

void TRRPreviewView::Start() {
  if (FPreview) FTimer.start();
}

void TRRPreviewView::Stop() { FTimer.stop(); }

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
