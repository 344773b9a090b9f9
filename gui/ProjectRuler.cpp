#include "gui/ProjectRuler.h"

#include <QPainter>
#include <cmath>

namespace rr {

double RRRulerStep(double unitsPerPixel, double minPixels) {
  if (!std::isfinite(unitsPerPixel) || !std::isfinite(minPixels) || unitsPerPixel <= 0 || minPixels <= 0) return 0;
  for (double step = 1; step <= 1e9; step *= 10)
    if (step / unitsPerPixel >= minPixels) return step;
  return 0;
}

TRRProjectRuler::TRRProjectRuler(Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent), FOrientation(orientation) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TRRProjectRuler::SetMapping(double firstWorld, double worldPerPixel, int viewOffset) {
  if (firstWorld == FFirst && worldPerPixel == FPerPixel && viewOffset == FOffset) return;
  FFirst = firstWorld;
  FPerPixel = worldPerPixel;
  FOffset = viewOffset;
  update();
}

void TRRProjectRuler::SetUnit(double factor, const QString& name) {
  FFactor = std::isfinite(factor) && factor > 0 ? factor : 1;
  FUnit = name;
  update();
}

void TRRProjectRuler::SetMouse(int pixel) {
  if (pixel == FMouse) return;
  FMouse = pixel;
  update();
}

void TRRProjectRuler::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(0xF4, 0xF1, 0xE8));
  p.setPen(QColor(0x70, 0x70, 0x70));
  const bool vertical = FOrientation == Qt::Vertical;
  const int length = vertical ? height() : width();
  const int thickness = vertical ? width() : height();
  if (vertical) p.drawLine(thickness - 1, 0, thickness - 1, length);
  else p.drawLine(0, thickness - 1, length, thickness - 1);
  // Ticks in the display unit: labels every step, short ticks every tenth of it.
  const double unitsPerPixel = FPerPixel * FFactor;
  const double step = RRRulerStep(unitsPerPixel, 60);
  if (step <= 0) return;
  QFont font = p.font();
  font.setPixelSize(9);
  p.setFont(font);
  const double minor = step / 10;
  const bool drawMinor = minor / unitsPerPixel >= 4;
  const double first = FFirst * FFactor;
  const int pixels = length - FOffset;
  // World value at a pixel along the ruler; the vertical ruler counts upwards.
  auto valueAt = [&](int px) { return first + (vertical ? -1.0 : 1.0) * px * unitsPerPixel; };
  const double lo = std::min(valueAt(0), valueAt(pixels)), hi = std::max(valueAt(0), valueAt(pixels));
  const double unit = drawMinor ? minor : step;
  for (double v = std::floor(lo / unit) * unit; v <= hi; v += unit) {
    const double px = (v - first) / ((vertical ? -1.0 : 1.0) * unitsPerPixel) + FOffset;
    if (px < FOffset || px > length) continue;
    const bool major = std::fabs(std::remainder(v, step)) < unit * 0.01;
    const int tick = major ? thickness / 2 : thickness / 5;
    const int at = int(std::lround(px));
    if (vertical) p.drawLine(thickness - tick, at, thickness, at);
    else p.drawLine(at, thickness - tick, at, thickness);
    if (!major) continue;
    const QString label = QString::number(std::lround(v));
    if (vertical) {
      p.save();
      p.translate(2, at - 2);
      p.rotate(-90);
      p.drawText(0, 8, label);
      p.restore();
    } else {
      p.drawText(at + 2, 9, label);
    }
  }
  if (FMouse >= 0) {
    p.setPen(QColor(0xC0, 0x20, 0x20));
    if (vertical) p.drawLine(0, FMouse + FOffset, thickness, FMouse + FOffset);
    else p.drawLine(FMouse + FOffset, 0, FMouse + FOffset, thickness);
  }
}

}  // namespace rr
