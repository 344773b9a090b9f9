#include "gui/pages/CameraMenu.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QHBoxLayout>
#include <QSlider>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "app/RREntityManager.h"
#include "app/RRHistory.h"
#include "app/RRProject.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RRCameraModifiers.h"
#include "engine/render/GXCamera.h"
#include "gui/CameraRenderWindow.h"

namespace rr {

namespace {

constexpr float FOVStep = 0.01f * 1.3962634f;
constexpr float FOVMin = 0.1745329f;

bool Perspective(const TRRCamera& c) { return c.Type() != RRCameraTopDown && c.Type() != RRCameraTechnical; }

}  // namespace

float RRFieldOfViewOf(int position) { return static_cast<float>(std::clamp(position, 0, 100)) * FOVStep + FOVMin; }

int RRFieldOfViewPosition(float radians) {
  if (!std::isfinite(radians)) return 0;
  return std::clamp(static_cast<int>(std::lround((radians - FOVMin) / FOVStep)), 0, 100);
}

TCameraMenu::TCameraMenu(QWidget* parent) : TEntityPage(TRREntityPageKind::Camera, true, parent) {
  FShowModel = new QCheckBox(RRTextShowCameraModel, this);
  FShowModel->setObjectName("ShowModelCheck");
  connect(FShowModel, &QCheckBox::clicked, this, [this](bool on) {
    if (!Filling() && Camera())
      Change({Camera()}, [on](TRREntity& e) { static_cast<TRRCamera&>(e).SetShowModel(on); });
  });
  AddWide(2, FShowModel);
  FFOVBar = new QSlider(Qt::Horizontal, this);
  FFOVBar->setObjectName("FOVBar");
  FFOVBar->setRange(0, 100);
  FFOVBar->setMinimumWidth(120);
  FFOVLabel = new QLabel(this);
  FFOVLabel->setObjectName("FOVLbl");
  FFOVLabel->setMinimumWidth(60);
  Add(2, "Sichtfeld:", FFOVBar, FFOVLabel);
  connect(FFOVBar, &QSlider::valueChanged, this, [this](int position) {
    if (Filling()) return;
    TRRCamera* c = Camera();
    if (!c || !c->EngineCamera() || !Perspective(*c)) return;
    gx::TGXCamera* engine = c->EngineCamera();
    engine->SetPerspective(RRFieldOfViewOf(position), engine->NearPlane(), engine->FarPlane());
    Refresh(true);
  });
  FActivate = new QPushButton(RRTextActivate, this);
  FActivate->setObjectName("ActivateButton");
  connect(FActivate, &QPushButton::clicked, this, [this] {
    TRRCamera* c = Camera();
    if (!c || !Project()) return;
    Project()->SetActiveCamera(Project()->ActiveCamera() == c ? nullptr : c);
    Refresh(true);
  });
  AddWide(2, FActivate);
  // What the camera sees; a double click makes it the view's camera.
  FPicture = new TRRCameraRenderWindow(this);
  FPicture->setObjectName("CameraPicture");
  FPicture->setFixedSize(176, 99);
  connect(FPicture, &TRRCameraRenderWindow::ActivateRequested, this, [this] {
    TRRCamera* c = Camera();
    if (!c || !Project() || Project()->ActiveCamera() == c) return;
    Project()->SetActiveCamera(c);
    Refresh(true);
  });
  Grid()->addWidget(FPicture, 0, 4 * 3, 4, 1, Qt::AlignTop | Qt::AlignLeft);

  auto* follow = new QWidget(this);
  auto* h = new QHBoxLayout(follow);
  h->setContentsMargins(0, 0, 0, 0);
  h->setSpacing(3);
  FFollow = new QPushButton(RRTextFollow, follow);
  FFollow->setObjectName("FollowButton");
  FFollow->setCheckable(true);
  FFollow->setMinimumWidth(110);
  FFollow->setToolTip("Klicken Sie danach in der Ansicht auf das Objekt, dem die Kamera folgen soll");
  connect(FFollow, &QPushButton::toggled, this, [this](bool down) {
    if (Filling()) return;
    StopPicking();
    TRRCamera* c = Camera();
    TRREntityManager* m = Project() && Project()->IsOpen() ? Project()->Manager() : nullptr;
    if (!down || !c || !m) {
      Refresh(true);
      return;
    }
    const int32_t id = c->ID();
    FPicker = std::make_unique<TRRCameraLinkModifier>(*c, [this, id](TRREntity* picked, bool cancelled) {
      // Inside the tool's own step: the target is recorded now, the tool freed later.
      auto* camera = Project() && Project()->Manager() ? dynamic_cast<TRRCamera*>(Project()->Manager()->FindByID(id))
                                                       : nullptr;
      if (!cancelled && picked && camera) SetTarget(*camera, picked);
      StopPicking();
      Refresh(true);
    });
    m->AddModifier(FPicker.get());
  });
  FUnfollow = new QPushButton("Lösen", follow);
  FUnfollow->setObjectName("UnfollowButton");
  FUnfollow->setToolTip("Die Kamera folgt keinem Objekt mehr");
  connect(FUnfollow, &QPushButton::clicked, this, [this] {
    if (TRRCamera* c = Camera()) SetTarget(*c, nullptr);
    Refresh(true);
  });
  h->addWidget(FFollow);
  h->addWidget(FUnfollow);
  h->addStretch(1);
  Add(3, "Ziel:", follow);
}

TCameraMenu::~TCameraMenu() { StopPicking(); }

void TCameraMenu::Leave() {
  StopPicking();
  FPicture->SetCamera(nullptr, 0);
}

void TCameraMenu::StopPicking() {
  if (!FPicker) return;
  if (TRREntityManager* m = Project() ? Project()->Manager() : nullptr) m->RemoveModifier(FPicker.get());
  QTimer::singleShot(0, [picker = FPicker.release()] { delete picker; });
}

// One command: the picking tool has set the new target already, so the before state is taken
// with the old one put back for a moment.
void TCameraMenu::SetTarget(TRRCamera& camera, TRREntity* target) {
  const int32_t old = camera.LookAtTarget();
  TRREntityManager* m = Project() ? Project()->Manager() : nullptr;
  const int32_t wanted = target && target != &camera ? target->ID() : 0;
  camera.SetLookAtTarget(m ? m->FindByID(old) : nullptr);
  if (camera.LookAtTarget() == wanted) return;
  Change({&camera}, [target](TRREntity& e) { static_cast<TRRCamera&>(e).SetLookAtTarget(target); });
}

TRRCamera* TCameraMenu::Camera() const {
  const std::vector<TRREntity*> all = Entities();
  return all.size() == 1 ? dynamic_cast<TRRCamera*>(all.front()) : nullptr;
}

void TCameraMenu::Placed(TRREntity& entity) {
  auto& c = static_cast<TRRCamera&>(entity);
  if (c.Type() != RRCameraPlaced) c.SetRotation(RRMakeRollFree(c.Rotation()));
  c.Update(true);
}

void TCameraMenu::Rename(TRREntity& entity, const std::string& name) {
  entity.SetName(name);
  if (Project()) Project()->CamerasChanged();
}

void TCameraMenu::RefreshPage(bool) {
  TRRCamera* c = Camera();
  if (!c) FPicture->SetCamera(nullptr, 0);
  else if (FPicture->CameraID() != c->ID()) FPicture->SetCamera(Project(), c->ID());
  FShowModel->setEnabled(c && c->Type() == RRCameraPlaced);
  FShowModel->setChecked(c && c->ShowModel());
  const bool perspective = c && c->EngineCamera() && Perspective(*c);
  FFOVBar->setEnabled(perspective);
  const float fov = perspective ? c->EngineCamera()->FieldOfView() : RRCameraFieldOfView;
  if (!FFOVBar->isSliderDown()) FFOVBar->setValue(RRFieldOfViewPosition(fov));
  FFOVLabel->setText(perspective ? RRShowAngle(fov) + " " + RRAngleUnit() : QString("-"));
  const bool active = c && Project() && Project()->ActiveCamera() == c;
  FActivate->setText(active ? RRTextDeactivate : RRTextActivate);
  FActivate->setEnabled(c != nullptr);
  TRREntity* target = c && c->LookAtTarget() && Project() && Project()->Manager()
                          ? Project()->Manager()->FindByID(c->LookAtTarget())
                          : nullptr;
  FFollow->setEnabled(c != nullptr);
  FFollow->setChecked(FPicker != nullptr);
  FFollow->setText(target ? QString::fromStdString(target->Name()) : QString(RRTextFollow));
  FUnfollow->setVisible(target != nullptr);
}

}  // namespace rr
