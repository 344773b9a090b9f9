#pragma once
// TTrackMenu: the page of a selection holding tracks. Besides the common fields: the track
// system and description of one track, "Gleisbettung" for every selected track (grey while
// mixed), and for one switchable track the active route ("Weichenstellung").

#include "gui/pages/EntityPage.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace rr {

class TRRTrack;

class TTrackMenu : public TEntityPage {
  Q_OBJECT

 public:
  explicit TTrackMenu(QWidget* parent = nullptr);

  QCheckBox* BedCheck() const { return FBed; }
  QComboBox* RouteBox() const { return FRoute; }
  QLabel* DescriptionLabel() const { return FDescription; }

 protected:
  void RefreshPage(bool force) override;

 private:
  std::vector<TRREntity*> Tracks() const;

  QLabel* FDescription;
  QPushButton* FEdit;
  QCheckBox* FBed;
  QComboBox* FRoute;
};

}  // namespace rr
