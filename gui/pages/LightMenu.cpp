#include "gui/pages/LightMenu.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QPushButton>
#include <algorithm>
#include <cmath>

#include "app/entities/RRLight.h"

namespace rr {

namespace {

TRRLight* AsLight(TRREntity* e) { return e ? dynamic_cast<TRRLight*>(e) : nullptr; }

QColor FromVector(const gx::TGXVector3& v) {
  auto c = [](float x) { return std::isfinite(x) ? std::clamp(static_cast<int>(std::lround(x * 255)), 0, 255) : 0; };
  return QColor(c(v.x), c(v.y), c(v.z));
}

gx::TGXVector3 ToVector(const QColor& c) {
  return {static_cast<float>(c.redF()), static_cast<float>(c.greenF()), static_cast<float>(c.blueF())};
}

}  // namespace

TLightMenu::TLightMenu(QWidget* parent) : TEntityPage(TRREntityPageKind::Light, true, parent) {
  FPreset = new QComboBox(this);
  FPreset->setObjectName("PresetBox");
  FPreset->setMaximumWidth(200);
  connect(FPreset, &QComboBox::activated, this, [this](int index) {
    TRRLight* l = AsLight(First());
    if (Filling() || !l || index < 0 || index >= l->PresetCount() || index == l->ActiveIndex()) return;
    Change({l}, [index](TRREntity& e) { static_cast<TRRLight&>(e).ApplyPreset(index, true); });
    Refresh(true);
  });
  Add(2, "Beleuchtung:", FPreset);
  FSpotlights = new QCheckBox(RRTextSpotlights, this);
  FSpotlights->setObjectName("SpotlightsCheck");
  connect(FSpotlights, &QCheckBox::clicked, this, [this](bool on) {
    if (Filling() || !AsLight(First())) return;
    Change({First()}, [on](TRREntity& e) { static_cast<TRRLight&>(e).SetSpotlights(on); });
    Refresh(true);
  });
  AddWide(2, FSpotlights);
  static const char* const labels[3] = {"Himmel:", "Umgebungslicht:", "Streulicht:"};
  for (int i = 0; i < 3; ++i) {
    FColour[i] = new QPushButton(this);
    FColour[i]->setObjectName(QString("ColourButton%1").arg(i));
    FColour[i]->setFixedSize(48, 20);
    FColour[i]->setToolTip("Farbe wählen...");
    connect(FColour[i], &QPushButton::clicked, this, [this, i] {
      const QColor chosen = QColorDialog::getColor(Colour(TColour(i)), this, "Farbe wählen");
      if (chosen.isValid()) SetColour(TColour(i), chosen);
    });
    Add(3, labels[i], FColour[i]);
  }
}

QColor TLightMenu::Colour(TColour which) const {
  TRRLight* l = AsLight(First());
  if (!l) return QColor();
  switch (which) {
    case TColour::Sky: return QColor::fromRgb(l->SkyColor() & 0xFFFFFFu);
    case TColour::Ambient: return FromVector(l->Ambient());
    case TColour::Diffuse: return FromVector(l->Diffuse());
  }
  return QColor();
}

void TLightMenu::SetColour(TColour which, const QColor& colour) {
  TRRLight* l = AsLight(First());
  if (!l || !colour.isValid() || colour.rgb() == Colour(which).rgb()) return;
  Change({l}, [which, colour](TRREntity& e) {
    auto& light = static_cast<TRRLight&>(e);
    switch (which) {
      case TColour::Sky: light.SetSkyColor(0xFF000000u | (colour.rgb() & 0xFFFFFFu)); break;
      case TColour::Ambient: light.SetAmbient(ToVector(colour)); break;
      case TColour::Diffuse: light.SetDiffuse(ToVector(colour)); break;
    }
  });
  Refresh(true);
}

void TLightMenu::RefreshPage(bool) {
  TRRLight* l = Entities().size() == 1 ? AsLight(First()) : nullptr;
  QStringList names;
  for (int i = 0; l && i < l->PresetCount(); ++i) {
    const QString name = QString::fromStdString(l->Preset(i).Name.GetText());
    names << (name.isEmpty() ? QString("Beleuchtung %1").arg(i + 1) : name);
  }
  QStringList shown;
  for (int i = 0; i < FPreset->count(); ++i) shown << FPreset->itemText(i);
  if (shown != names) {
    FPreset->clear();
    FPreset->addItems(names);
  }
  FPreset->setCurrentIndex(l ? l->ActiveIndex() : -1);
  FPreset->setEnabled(l && l->PresetCount() > 0);
  const bool active = l && l->ActiveIndex() >= 0;
  FSpotlights->setEnabled(active);
  FSpotlights->setChecked(active && l->Spotlights());
  for (int i = 0; i < 3; ++i) {
    FColour[i]->setEnabled(active);
    const QColor c = active ? Colour(TColour(i)) : QColor(Qt::transparent);
    const QString style = active ? QString("background-color: %1; border: 1px solid #666;").arg(c.name()) : QString();
    // Style sheets are costly to apply; the timer refreshes four times a second.
    if (FColour[i]->styleSheet() != style) FColour[i]->setStyleSheet(style);
  }
}

}  // namespace rr
