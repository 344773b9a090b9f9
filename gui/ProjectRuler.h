#pragma once
// The rulers along the left and top edge of the 3D view while the technical-drawing camera is
// active: ticks in the user's length unit at the positions the camera shows, and a mark where
// the mouse is.

#include <QWidget>

namespace rr {

// The distance between labelled ticks: the smallest of 1, 10, 100, ... (in the ruler's unit)
// that puts labels at least minPixels apart. 0 (draw nothing) for a span that is 0, negative or
// not finite, or that would need a step above 1e9.
double RRRulerStep(double unitsPerPixel, double minPixels);

class TRRProjectRuler : public QWidget {
  Q_OBJECT

 public:
  // Vertical: along the left edge (world z upwards), else along the top (world x to the right).
  TRRProjectRuler(Qt::Orientation orientation, QWidget* parent = nullptr);

  // The world coordinate at the ruler's first pixel of the view and the world units per pixel;
  // the offset is the view's position along the ruler.
  void SetMapping(double firstWorld, double worldPerPixel, int viewOffset);
  // Display unit: value shown = centimetres x factor, with the unit's name.
  void SetUnit(double factor, const QString& name);
  void SetMouse(int pixel);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Qt::Orientation FOrientation;
  double FFirst = 0, FPerPixel = 0, FFactor = 1;
  int FOffset = 0, FMouse = -1;
  QString FUnit = "cm";
};

}  // namespace rr
