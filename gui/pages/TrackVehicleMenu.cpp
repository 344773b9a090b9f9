#include "gui/pages/TrackVehicleMenu.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <cmath>

#include "app/RRHistory.h"
#include "app/RRProject.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RRTrackVehicle.h"

namespace rr {

TTrackVehicleMenu::TTrackVehicleMenu(QWidget* parent) : TEntityPage(TRREntityPageKind::TrackVehicle, true, parent) {
  FSpeedBar = new QSlider(Qt::Horizontal, this);
  FSpeedBar->setObjectName("SpeedBar");
  FSpeedBar->setRange(-static_cast<int>(RRMaxTargetSpeed), static_cast<int>(RRMaxTargetSpeed));
  FSpeedBar->setTickPosition(QSlider::TicksBelow);
  FSpeedBar->setTickInterval(25);
  FSpeedBar->setMinimumWidth(150);
  FSpeedBar->setToolTip("Zielgeschwindigkeit (rückwärts links, vorwärts rechts)");
  Add(2, "Fahrt:", FSpeedBar);
  connect(FSpeedBar, &QSlider::sliderPressed, this, [this] {
    TRRTrackVehicle* v = Vehicle();
    if (v && Project() && Project()->History()) FDrag = Project()->History()->OpenCommand(v);
  });
  connect(FSpeedBar, &QSlider::valueChanged, this, [this](int value) {
    if (Filling()) return;
    TRRTrackVehicle* v = Vehicle();
    if (!v) return;
    if (FSpeedBar->isSliderDown() && FDrag) {
      v->SetTargetSpeed(static_cast<float>(value));
      ShowSpeeds(true);
    } else if (!FSpeedBar->isSliderDown()) {
      SetTarget(static_cast<float>(value));
    }
  });
  connect(FSpeedBar, &QSlider::sliderReleased, this, [this] {
    std::unique_ptr<TRRCommand> command = std::move(FDrag);
    TRRTrackVehicle* v = Vehicle();
    if (!command || !v || !Project() || !Project()->History()) return;
    // The bar's last value, also when the release came without a last move.
    v->SetTargetSpeed(static_cast<float>(FSpeedBar->value()));
    command->SetAfter(v);
    Project()->History()->Push(std::move(command));
    Refresh(true);
  });

  FTarget = NumberEdit([this](const QString& text) {
    const float max = RRMaxTargetSpeed;
    if (const std::optional<double> v = RRReadLength(text, -max, max)) SetTarget(static_cast<float>(*v));
  });
  FTarget->setObjectName("TargetEdit");
  FTargetUnit = new QLabel(this);
  FTargetUnit->setObjectName("TargetUnit");
  Add(2, "Ziel:", FTarget, FTargetUnit);
  FCurrent = new QLabel(this);
  FCurrent->setObjectName("CurrentLabel");
  FStop = new QPushButton("Stopp", this);
  FStop->setObjectName("StopButton");
  FStop->setToolTip(RRTextStopTrain);
  connect(FStop, &QPushButton::clicked, this, [this] { SetTarget(0); });
  Add(2, "Aktuell:", FCurrent, FStop);

  FChangeDirection = new QCheckBox(RRTextChangeDirection, this);
  FChangeDirection->setToolTip("Der Zug wechselt an einem Gleisende die Richtung");
  connect(FChangeDirection, &QCheckBox::clicked, this, [this](bool on) {
    if (!Filling() && Vehicle())
      Change({Vehicle()}, [on](TRREntity& e) { static_cast<TRRTrackVehicle&>(e).SetChangeDirection(on); });
  });
  AddWide(3, FChangeDirection);
  FUnlockSwitches = new QCheckBox(RRTextUnlockSwitches, this);
  FUnlockSwitches->setToolTip("Der Zug fährt auch über Weichen, die gegen ihn gestellt sind");
  connect(FUnlockSwitches, &QCheckBox::clicked, this, [this](bool on) {
    if (!Filling() && Vehicle())
      Change({Vehicle()}, [on](TRREntity& e) { static_cast<TRRTrackVehicle&>(e).SetUnlockSwitches(on); });
  });
  AddWide(3, FUnlockSwitches);
  FSound = new QCheckBox(RRTextRunningSound, this);
  connect(FSound, &QCheckBox::clicked, this, [this](bool on) {
    if (Filling() || !Vehicle()) return;
    // A sound that cannot be loaded leaves the vehicle silent and nothing is recorded.
    ChangeIf({Vehicle()}, [on](TRREntity& e) {
      auto& v = static_cast<TRRTrackVehicle&>(e);
      v.SetSoundEnabled(on);
      return v.SoundEnabled() == on;
    });
    Refresh(true);
  });
  AddWide(3, FSound);

  auto* buttons = new QWidget(this);
  auto* h = new QHBoxLayout(buttons);
  h->setContentsMargins(0, 0, 0, 0);
  FCockpit = new QPushButton(RRTextEnterCockpit, buttons);
  FCockpit->setObjectName("CockpitButton");
  connect(FCockpit, &QPushButton::clicked, this, [this] {
    TRRTrackVehicle* v = Vehicle();
    if (!v || !v->Cockpit() || !Project()) return;
    // Leaving gives the view back to the camera used before.
    Project()->SetActiveCamera(Project()->ActiveCamera() == v->Cockpit() ? nullptr : v->Cockpit());
    Refresh(true);
  });
  FEditModel = new QPushButton(RRTextEditModel, buttons);
  FEditModel->setObjectName("EditModelButton");
  FEditModel->setToolTip("Öffnet das Fahrzeug im Rollmaterial-Editor");
  connect(FEditModel, &QPushButton::clicked, this, [this] { emit EditorRequested(); });
  h->addWidget(FCockpit);
  h->addWidget(FEditModel);
  AddWide(3, buttons);
}

TTrackVehicleMenu::~TTrackVehicleMenu() = default;

void TTrackVehicleMenu::Rename(TRREntity& entity, const std::string& name) {
  entity.SetName(name);
  if (auto* v = dynamic_cast<TRRTrackVehicle*>(&entity); v && v->Cockpit()) {
    v->Cockpit()->SetName(name);
    if (Project()) Project()->CamerasChanged();
  }
}

TRRTrackVehicle* TTrackVehicleMenu::Vehicle() const {
  const std::vector<TRREntity*> all = Entities();
  return all.size() == 1 ? dynamic_cast<TRRTrackVehicle*>(all.front()) : nullptr;
}

void TTrackVehicleMenu::SetTarget(float speed) {
  TRRTrackVehicle* v = Vehicle();
  if (!v || !std::isfinite(speed) || speed == v->TargetSpeed()) return;
  Change({v}, [speed](TRREntity& e) { static_cast<TRRTrackVehicle&>(e).SetTargetSpeed(speed); });
  Refresh(true);
}

void TTrackVehicleMenu::ShowSpeeds(bool force) {
  TRRTrackVehicle* v = Vehicle();
  const QString unit = RRLengthUnit() + "/s";
  FTargetUnit->setText(unit);
  if (!v) return;
  Show(FTarget, RRShowLength(v->TargetSpeed()), force);
  FCurrent->setText(RRShowLength(v->CurrentSpeed()) + " " + unit);
  FStop->setVisible(v->TargetSpeed() != 0);
  if (!FSpeedBar->isSliderDown()) {
    const QSignalBlocker block(FSpeedBar);
    FSpeedBar->setValue(static_cast<int>(std::lround(v->TargetSpeed())));
  }
}

void TTrackVehicleMenu::Tick() {
  // Speeds change while the train runs; the other fields as usual.
  Refresh(false);
}

void TTrackVehicleMenu::RefreshPage(bool force) {
  TRRTrackVehicle* v = Vehicle();
  const bool engine = v && v->HasEngine();
  for (QWidget* w : {static_cast<QWidget*>(FSpeedBar), static_cast<QWidget*>(FTarget),
                     static_cast<QWidget*>(FCurrent)})
    w->setEnabled(engine);
  // Only a locomotive with a sound file can play one.
  FSound->setEnabled(engine && !v->SoundFile().IsEmpty());
  ShowSpeeds(force);
  if (!engine) FStop->setVisible(false);
  FChangeDirection->setChecked(v && v->ChangeDirection());
  FUnlockSwitches->setChecked(v && v->UnlockSwitches());
  FSound->setChecked(v && v->SoundEnabled());
  const bool cockpit = v && v->Cockpit();
  FCockpit->setVisible(cockpit);
  if (cockpit)
    FCockpit->setText(Project() && Project()->ActiveCamera() == v->Cockpit() ? RRTextLeaveCockpit
                                                                             : RRTextEnterCockpit);
}

}  // namespace rr
