#pragma once
// TTrackMenu: the page of a selection holding tracks. Besides the common fields: the track
// system and description of one track, "Gleisbettung" for every selected track (grey while
// mixed), for one switchable track the active route ("Weichenstellung"), and the track tool
// ("Aktive Gleismodifikation": bend a flexible track, bend or tilt a chain) for selections with a
// track of one route that is no turntable; the texture of every selected track from the list of
// known track textures ("Textur:", one command); "Weiteres Gleis anfügen" for one straight or
// curve with exactly one free end: a copy laid on at that end, selected, one command. The last mode chosen is chosen again for the next
// selection that allows it; the tool ends when the page's selection changes or the page goes.

#include <memory>

#include "gui/pages/EntityPage.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace rr {

class TRRTrack;
class TRRTrackModifier;

class TTrackMenu : public TEntityPage {
  Q_OBJECT

 public:
  explicit TTrackMenu(QWidget* parent = nullptr);
  ~TTrackMenu() override;

  QCheckBox* BedCheck() const { return FBed; }
  QComboBox* RouteBox() const { return FRoute; }
  QLabel* DescriptionLabel() const { return FDescription; }
  QComboBox* ToolBox() const { return FTool; }
  QComboBox* TextureBox() const { return FTexture; }
  QPushButton* AppendButton() const { return FAppend; }
  // The track the button adds, or null when the selection does not allow it.
  TRRTrack* AppendTrack();
  TRRTrackModifier* Tool() const { return FToolModifier.get(); }

  void Leave() override;
  void Entered() override;

 protected:
  void RefreshPage(bool force) override;

 private:
  std::vector<TRREntity*> Tracks() const;
  // The modes the selection allows (0 "Keine" always).
  std::vector<int> ToolModes() const;
  void StartTool(int mode);
  // The one selected straight or curve and its free contact (the other one connected), if so.
  TRRTrack* AppendSource(int& freeContact) const;

  QLabel* FDescription;
  QPushButton* FEdit;
  QCheckBox* FBed;
  QComboBox* FRoute;
  QComboBox* FTool;
  QComboBox* FTexture;
  QPushButton* FAppend;
  std::unique_ptr<TRRTrackModifier> FToolModifier;
};

}  // namespace rr
