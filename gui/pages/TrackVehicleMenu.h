#pragma once
// TTrackVehicleMenu: the page of one track vehicle. Locomotives get the speed bar (-75..75 world
// units per second), the target speed in the user's length unit per second, the current speed
// and the stop button; every vehicle the switches for the direction change, the switch
// unlocking and the running sound, and the cockpit button while it has a cockpit. A drag of the
// bar is one command from press to release.

#include <memory>

#include "gui/pages/EntityPage.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace rr {

class TRRCommand;
class TRRTrackVehicle;

inline constexpr const char* RRTextStopTrain = "Stoppt den Zug";
inline constexpr const char* RRTextChangeDirection = "Automatischer Richtungswechsel";
inline constexpr const char* RRTextUnlockSwitches = "Weichen freischalten";
inline constexpr const char* RRTextRunningSound = "Fahrgeräusche";
inline constexpr const char* RRTextEnterCockpit = "Cockpit betreten";
inline constexpr const char* RRTextLeaveCockpit = "Cockpit verlassen";
inline constexpr const char* RRTextEditModel = "Modell bearbeiten";

class TTrackVehicleMenu : public TEntityPage {
  Q_OBJECT

 public:
  explicit TTrackVehicleMenu(QWidget* parent = nullptr);
  ~TTrackVehicleMenu() override;

  QSlider* SpeedBar() const { return FSpeedBar; }
  QLineEdit* TargetEdit() const { return FTarget; }
  QLabel* CurrentLabel() const { return FCurrent; }
  QPushButton* StopButton() const { return FStop; }
  QCheckBox* ChangeDirectionCheck() const { return FChangeDirection; }
  QCheckBox* UnlockSwitchesCheck() const { return FUnlockSwitches; }
  QCheckBox* SoundCheck() const { return FSound; }
  QPushButton* CockpitButton() const { return FCockpit; }
  QPushButton* EditModelButton() const { return FEditModel; }

  void Tick() override;

 protected:
  void RefreshPage(bool force) override;
  // The cockpit carries the vehicle's name.
  void Rename(TRREntity& entity, const std::string& name) override;

 private:
  TRRTrackVehicle* Vehicle() const;
  void SetTarget(float speed);
  void ShowSpeeds(bool force);

  QSlider* FSpeedBar;
  QLineEdit* FTarget;
  QLabel* FTargetUnit;
  QLabel* FCurrent;
  QPushButton* FStop;
  QCheckBox* FChangeDirection;
  QCheckBox* FUnlockSwitches;
  QCheckBox* FSound;
  QPushButton* FCockpit;
  QPushButton* FEditModel;
  // The command of a bar drag, open from press to release.
  std::unique_ptr<TRRCommand> FDrag;
};

}  // namespace rr
