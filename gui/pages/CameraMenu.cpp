#include "gui/pages/CameraMenu.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <algorithm>
#include <cmath>

#include "app/RRProject.h"
#include "app/entities/RRCamera.h"
#include "engine/render/GXCamera.h"

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
}

}  // namespace rr
