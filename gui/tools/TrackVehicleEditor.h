#pragma once
// "Rollmaterial-Editor": a vehicle's model file, forward axis, kind (locomotive or wagon),
// running sound, track scaling, slope speed and baseline, with the vehicle standing on a short
// straight track in a turning preview. OK gives the edited description (the caller replaces the
// vehicle with it as one undo step).

#include <QDialog>
#include <memory>

#include "app/entities/RRTrackVehicleEditing.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace rr {

class IRRUIService;
class TRRPreviewView;

// The box of a model file's meshes (empty when it has none); raises when the file cannot be read
// as a model.
gx::TGXBoundingBox RRModelFileBox(const std::string& file);

class TTrackVehicleEditor : public QDialog {
  Q_OBJECT

 public:
  TTrackVehicleEditor(QWidget* parent, const TRRTrackVehicleDesc& vehicle, int lengthUnit, IRRUIService& ui);
  ~TTrackVehicleEditor() override;

  // The description as edited (with what OK drops already dropped once OK was pressed).
  const TRRTrackVehicleDesc& Description() const { return *FVehicle; }
  std::unique_ptr<TRRTrackVehicleDesc> TakeDescription() { return std::move(FVehicle); }

  // A model file for the vehicle (false, with the message shown, when it cannot be loaded).
  bool ChooseModel(const std::string& file);
  bool ChooseSound(const std::string& file);

  QComboBox* AxisBox() const { return FAxis; }
  QComboBox* TypeBox() const { return FType; }
  QLineEdit* BaselineEdit() const { return FBaseline; }
  QCheckBox* ScalingBox() const { return FScaling; }
  QCheckBox* SlopeBox() const { return FSlope; }
  QPushButton* OkButton() const { return FOk; }
  QWidget* SoundRow() const { return FSoundRow; }
  void StepPreview();
  QImage PreviewImage() const;

 private:
  void ReadWidgets();
  void ShowState();
  void Rebuild();

  std::unique_ptr<TRRTrackVehicleDesc> FVehicle;
  int FLengthUnit;
  IRRUIService& FUI;
  QLineEdit* FModel;
  QComboBox* FAxis;
  QComboBox* FType;
  QWidget* FSoundRow;
  QLineEdit* FSound;
  QCheckBox* FScaling;
  QCheckBox* FSlope;
  QLineEdit* FBaseline;
  QPushButton* FOk;
  TRRPreviewView* FPreview;
  bool FFilling = false;
};

}  // namespace rr
