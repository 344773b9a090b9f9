#pragma once
// "Gleiseditor": one selected track turned into a track of the user's own definition. The window
// edits the typed values (type, gauge, names, texture, bed, the route rows in the user's units),
// builds the track anew on every change and shows it turning in a preview drawn every 30 ms; OK
// stays off (with the reason shown) while the values make no track. The caller replaces the
// track with the description the window made.

#include <QDialog>
#include <memory>
#include <vector>

#include "app/entities/track/RRTrackEditing.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace rr {

class IRRUIService;
class TRRPreviewView;

class TTrackEditor : public QDialog {
  Q_OBJECT

 public:
  // catalogue: the track descriptions buffer stops and turntables take their models from (may
  // be null).
  TTrackEditor(QWidget* parent, const TRRTrackDesc& start, const TRREntityDescriptionList* catalogue,
               int lengthUnit, int angleUnit, IRRUIService& ui);
  ~TTrackEditor() override;

  // The description the values make now (null while they make no track).
  const TRRTrackDesc* Description() const { return FDescription.get(); }
  std::unique_ptr<TRRTrackDesc> TakeDescription() { return std::move(FDescription); }

  QComboBox* TypeBox() const { return FType; }
  QComboBox* GaugeBox() const { return FGauge; }
  QComboBox* TextureBox() const { return FTexture; }
  QLineEdit* NameEdit() const { return FName; }
  // The value edit of a row and column (null when that cell is not shown).
  QLineEdit* Cell(int row, TRRTrackEditorColumn column) const;
  QLineEdit* CrossAngleEdit() const { return FCrossAngle; }
  QPushButton* OkButton() const { return FOk; }
  QLabel* Problem() const { return FProblem; }
  // Draws the preview once (it draws itself every 30 ms); its last picture.
  void StepPreview();
  QImage PreviewImage() const;

 private:
  void LayOutRows();
  void Rebuild();
  void ReadWidgets();

  const std::unique_ptr<TRRTrackDesc> FStart;
  const TRREntityDescriptionList* FCatalogue;
  IRRUIService& FUI;
  TRRTrackEditorValues FValues;
  std::unique_ptr<TRRTrackDesc> FDescription;
  std::vector<TRRAssetFileName> FTextures;

  QComboBox* FType;
  QComboBox* FGauge;
  QComboBox* FTexture;
  QLineEdit* FName;
  QLineEdit* FDescriptionText;
  QLineEdit* FManufacturer;
  QLineEdit* FSystem;
  QCheckBox* FBed;
  QGridLayout* FRowGrid;
  QWidget* FRowArea;
  std::vector<std::vector<QLineEdit*>> FCells;  // by row, by column (null when not shown)
  QLineEdit* FCrossAngle;
  QLabel* FCrossAngleLabel;
  QLabel* FAnnotation;
  QLabel* FProblem;
  QPushButton* FOk;
  TRRPreviewView* FPreview;
  bool FFilling = false;
};

}  // namespace rr
