#pragma once
// The options window: "Allgemein" (start, units, hints), "Darstellung" (texture quality,
// reflections, multisampling, vertical sync, frame rate), "Klang" (volume, sound on) and
// "Paketordner" (the watched package folders). Applying writes the settings, saves and reloads
// them and hands the new render settings to an open layout.

#include <QDialog>
#include <vector>

#include "app/RRGlobal.h"

class QCheckBox;
class QComboBox;
class QSpinBox;
class QListWidget;
class QTabWidget;

namespace rr {

// The multisample choices: "Aus" for 0, "%d-Fach" for every other type the adapter offers (1 is
// no choice); a stored value not offered shows as "Aus".
struct TRRMultiSampleChoice {
  int Value = 0;
  std::string Caption;
};
std::vector<TRRMultiSampleChoice> RRMultiSampleChoices(const std::vector<uint32_t>& offered);
int RRMultiSampleChoiceIndex(const std::vector<TRRMultiSampleChoice>& choices, int stored);
// TextureQuality kept within 1 ... levels (levels < 1 counts as 1).
int RRClampTextureQuality(int quality, int levels);

class TOptionsWindow : public QDialog {
  Q_OBJECT

 public:
  enum TPage { General = 0, Display = 1, Sound = 2, PackageFolders = 3 };
  TOptionsWindow(TRRGlobal& global, int page, QWidget* parent = nullptr);

  // Writes every key, the asset paths, saves and reloads the settings.
  void Apply();

  QTabWidget* Tabs() const { return FTabs; }
  QComboBox* MultiSampleBox() const { return FMultiSample; }
  QComboBox* TextureQualityBox() const { return FTextureQuality; }

 private:
  TRRGlobal& FGlobal;
  QTabWidget* FTabs;
  QCheckBox* FShowWelcome;
  QCheckBox* FOpenLast;
  QCheckBox* FAutoUpdate;
  QCheckBox* FSmartHints;
  QComboBox* FLengthUnit;
  QComboBox* FAngleUnit;
  QComboBox* FTextureQuality;
  QComboBox* FReflection;
  QComboBox* FEnvReflection;
  QComboBox* FMultiSample;
  QCheckBox* FVSync;
  QCheckBox* FShowFPS;
  QSpinBox* FVolume;
  QCheckBox* FSoundEnabled;
  QListWidget* FFolders;
  std::vector<TRRMultiSampleChoice> FMultiSampleChoices;
};

}  // namespace rr
