#pragma once
// "Gleisfilter": which track makers, gauges and track systems the catalogue offers for this
// layout. The window edits a copy; OK hands it back (the caller assigns it to the layout). Each
// list offers what the choices above it leave; nothing ticked in a list means all of it.

#include <QDialog>

#include "app/entities/track/RRTrackParameters.h"

class QListWidget;

namespace rr {

class TTrackFilterWindow : public QDialog {
  Q_OBJECT

 public:
  TTrackFilterWindow(QWidget* parent, const TRRTrackParameters& filter);
  const TRRTrackParameters& Filter() const { return FFilter; }
  QListWidget* Manufacturers() const { return FLists[0]; }
  QListWidget* Gauges() const { return FLists[1]; }
  QListWidget* Systems() const { return FLists[2]; }

 private:
  void Fill();
  TRRTrackParameters FFilter;
  QListWidget* FLists[3];
  bool FFilling = false;
};

}  // namespace rr
