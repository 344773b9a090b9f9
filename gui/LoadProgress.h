#pragma once
// The progress of loading or making a layout, drawn over the main window's central area: a bar
// 400 pixels wide a little above the middle, a bold white label below it and, when the file
// carries one, the layout's thumbnail above it in a light frame.

#include <QImage>
#include <QWidget>
#include <memory>

#include "app/RRUIService.h"

class QProgressBar;
class QLabel;

namespace rr {

class TRRLoadProgress : public QWidget {
  Q_OBJECT

 public:
  explicit TRRLoadProgress(QWidget* parent);

  // A progress display for the core that shows this overlay while it lives.
  std::unique_ptr<IRRProgress> Begin(const std::string& text);

  int Percent() const;
  QString Text() const;
  bool HasThumbnail() const { return !FThumbnail.isNull(); }
  // How often the overlay was repainted (a step repaints only when its percentage or text changes).
  int Repaints() const { return FRepaints; }

  void SetText(const QString& text);
  void SetPercent(int percent);
  void SetThumbnail(const QImage& image);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Place();
  void Repaint();
  QProgressBar* FBar;
  QLabel* FLabel;
  QImage FThumbnail;
  int FRepaints = 0;
};

}  // namespace rr
