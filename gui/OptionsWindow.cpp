#include "gui/OptionsWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/RRUnits.h"
#include "engine/core/GXConfiguration.h"
#include "engine/core/GXEngine.h"
#include "engine/render/GXRenderCore.h"

namespace rr {

std::vector<TRRMultiSampleChoice> RRMultiSampleChoices(const std::vector<uint32_t>& offered) {
  std::vector<TRRMultiSampleChoice> out{{0, "Aus"}};
  std::vector<uint32_t> sorted = offered;
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  for (uint32_t t : sorted)
    if (t > 1 && t <= 16) out.push_back({int(t), std::to_string(t) + "-Fach"});
  return out;
}

int RRMultiSampleChoiceIndex(const std::vector<TRRMultiSampleChoice>& choices, int stored) {
  for (size_t i = 0; i < choices.size(); ++i)
    if (choices[i].Value == stored) return int(i);
  return 0;
}

int RRClampTextureQuality(int quality, int levels) { return std::clamp(quality, 1, std::max(levels, 1)); }

namespace {
const char* QualityNames[4] = {"Aus", "Niedrig", "Mittel", "Hoch"};
}

TOptionsWindow::TOptionsWindow(TRRGlobal& global, int page, QWidget* parent) : QDialog(parent), FGlobal(global) {
  setWindowTitle("Optionen");
  auto* root = new QVBoxLayout(this);
  FTabs = new QTabWidget(this);
  root->addWidget(FTabs, 1);
  const TRRGeneralSettings& g = global.GeneralSettings();
  const TRRRenderSettings& r = global.RenderSettings();
  gx::TGXRenderCore* core = gx::GXCurrentRenderCore();

  auto* general = new QWidget(FTabs);
  auto* gf = new QFormLayout(general);
  FShowWelcome = new QCheckBox("Willkommensfenster beim Start anzeigen", general);
  FShowWelcome->setChecked(g.ShowWelcomeWindow);
  FOpenLast = new QCheckBox("Zuletzt geöffnetes Projekt beim Start laden", general);
  FOpenLast->setChecked(g.OpenLastProject);
  FAutoUpdate = new QCheckBox("Beim Start nach Aktualisierungen suchen", general);
  FAutoUpdate->setChecked(g.AutoUpdate);
  FSmartHints = new QCheckBox("Hinweise anzeigen", general);
  FSmartHints->setChecked(g.SmartHints);
  FLengthUnit = new QComboBox(general);
  for (int i = 0; i < RRLengthUnitCount; ++i) FLengthUnit->addItem(QString::fromStdString(RRLengthUnits[i].Name));
  FLengthUnit->setCurrentIndex(global.LengthUnit());
  FAngleUnit = new QComboBox(general);
  for (int i = 0; i < RRAngleUnitCount; ++i) FAngleUnit->addItem(QString::fromStdString(RRAngleUnits[i].Name));
  FAngleUnit->setCurrentIndex(global.AngleUnit());
  gf->addRow(FShowWelcome);
  gf->addRow(FOpenLast);
  gf->addRow(FAutoUpdate);
  gf->addRow(FSmartHints);
  gf->addRow("Längeneinheit:", FLengthUnit);
  gf->addRow("Winkeleinheit:", FAngleUnit);
  FTabs->addTab(general, "Allgemein");

  auto* display = new QWidget(FTabs);
  auto* df = new QFormLayout(display);
  FTextureQuality = new QComboBox(display);
  const int levels = core ? int(core->Adapter().FilterLevels.size()) : 1;
  for (int i = 1; i <= std::max(levels, 1); ++i) FTextureQuality->addItem(QString("Stufe %1").arg(i), i);
  FTextureQuality->setCurrentIndex(RRClampTextureQuality(r.TextureQuality, levels) - 1);
  FReflection = new QComboBox(display);
  FEnvReflection = new QComboBox(display);
  for (const char* q : QualityNames) {
    FReflection->addItem(q);
    FEnvReflection->addItem(q);
  }
  FReflection->setCurrentIndex(std::clamp(r.ReflectionQuality, 0, 3));
  FEnvReflection->setCurrentIndex(std::clamp(r.EnvReflectionQuality, 0, 3));
  FMultiSample = new QComboBox(display);
  FMultiSampleChoices = RRMultiSampleChoices(core ? core->Adapter().MultiSampleTypes : std::vector<uint32_t>{});
  for (const auto& c : FMultiSampleChoices) FMultiSample->addItem(QString::fromStdString(c.Caption), c.Value);
  FMultiSample->setCurrentIndex(RRMultiSampleChoiceIndex(FMultiSampleChoices, r.MultiSample));
  FVSync = new QCheckBox("Vertikale Synchronisation", display);
  FVSync->setChecked(r.VSync);
  FShowFPS = new QCheckBox("Bilder pro Sekunde anzeigen", display);
  FShowFPS->setChecked(global.ShowFPS());
  df->addRow("Texturqualität:", FTextureQuality);
  df->addRow("Spiegelungen:", FReflection);
  df->addRow("Umgebungsspiegelungen:", FEnvReflection);
  df->addRow("Kantenglättung:", FMultiSample);
  df->addRow(FVSync);
  df->addRow(FShowFPS);
  // Without graphics these settings have nothing to act on.
  for (QWidget* w : std::initializer_list<QWidget*>{FTextureQuality, FMultiSample, FVSync, FShowFPS}) w->setEnabled(core != nullptr);
  FTabs->addTab(display, "Darstellung");

  auto* sound = new QWidget(FTabs);
  auto* sf = new QFormLayout(sound);
  FSoundEnabled = new QCheckBox("Geräusche abspielen", sound);
  FSoundEnabled->setChecked(global.SoundEnabled());
  FVolume = new QSpinBox(sound);
  FVolume->setRange(0, 100);
  FVolume->setSuffix(" %");
  FVolume->setValue(int(global.Volume()));
  sf->addRow(FSoundEnabled);
  sf->addRow("Lautstärke:", FVolume);
  const bool hasSound = global.Engine().MediaCore() != nullptr;
  FSoundEnabled->setEnabled(hasSound);
  FVolume->setEnabled(hasSound);
  FTabs->addTab(sound, "Klang");

  auto* folders = new QWidget(FTabs);
  auto* fl = new QVBoxLayout(folders);
  FFolders = new QListWidget(folders);
  for (const TRRAssetPath& p : global.GetAssetPaths()) {
    auto* item = new QListWidgetItem(QString::fromStdString(p.Path), FFolders);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(p.Disabled ? Qt::Unchecked : Qt::Checked);
  }
  fl->addWidget(FFolders, 1);
  auto* fb = new QHBoxLayout;
  auto* add = new QPushButton("Hinzufügen...", folders);
  auto* remove = new QPushButton("Entfernen", folders);
  fb->addWidget(add);
  fb->addWidget(remove);
  fb->addStretch(1);
  fl->addLayout(fb);
  fl->addWidget(new QLabel("Geänderte Paketordner gelten ab dem nächsten Start.", folders));
  connect(add, &QPushButton::clicked, this, [this] {
    const QString dir = QFileDialog::getExistingDirectory(this, "Paketordner hinzufügen");
    if (dir.isEmpty()) return;
    auto* item = new QListWidgetItem(dir.endsWith('/') ? dir : dir + "/", FFolders);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Checked);
  });
  connect(remove, &QPushButton::clicked, this, [this] { delete FFolders->currentItem(); });
  FTabs->addTab(folders, "Paketordner");
  FTabs->setCurrentIndex(std::clamp(page, 0, 3));

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  buttons->addButton("Abbrechen", QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    Apply();
    accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  root->addWidget(buttons);
  resize(480, 360);
}

void TOptionsWindow::Apply() {
  gx::IGXConfigNode general = FGlobal.SettingsNode("GeneralSettings");
  general->WriteBoolean("ShowWelcomeWindow", FShowWelcome->isChecked());
  general->WriteBoolean("OpenLastProject", FOpenLast->isChecked());
  general->WriteBoolean("AutoUpdate", FAutoUpdate->isChecked());
  general->WriteBoolean("SmartHints", FSmartHints->isChecked());
  general->WriteInteger("LengthUnit", FLengthUnit->currentIndex());
  general->WriteInteger("AngleUnit", FAngleUnit->currentIndex());
  gx::IGXConfigNode render = FGlobal.SettingsNode("RenderSettings");
  if (gx::GXCurrentRenderCore()) {
    render->WriteInteger("TextureQuality", FTextureQuality->currentData().toInt());
    render->WriteInteger("MultiSample", FMultiSample->currentData().toInt());
    render->WriteBoolean("VSync", FVSync->isChecked());
    render->WriteBoolean("ShowFPS", FShowFPS->isChecked());
  }
  render->WriteInteger("ReflectionQuality", FReflection->currentIndex());
  render->WriteInteger("EnvReflectionQuality", FEnvReflection->currentIndex());
  if (FGlobal.Engine().MediaCore()) {
    gx::IGXConfigNode sound = FGlobal.SettingsNode("SoundSettings");
    sound->WriteInteger("Volume", FVolume->value());
    sound->WriteBoolean("SoundEnabled", FSoundEnabled->isChecked());
    FGlobal.SetSoundEnabled(FSoundEnabled->isChecked());
  }
  std::vector<TRRAssetPath> paths;
  for (int i = 0; i < FFolders->count(); ++i)
    paths.push_back({FFolders->item(i)->text().toStdString(), FFolders->item(i)->checkState() != Qt::Checked});
  FGlobal.SetAssetPaths(paths);
  FGlobal.SaveSettings();
  FGlobal.LoadSettings();
}

}  // namespace rr
