#include "app/RRPreview.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "app/RREntityIDProcessor.h"
#include "app/RRModelServices.h"
#include "app/RRProjectRenderWindow.h"
#include "app/entities/RREntity.h"
#include "app/entities/RREntityDescription.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXScene.h"

namespace rr {

using gx::TGXVector3;

// ---- orbit camera ----

TRRPreviewCamera::TRRPreviewCamera(float fieldOfView, float pitch, float yaw)
    : FFieldOfView(std::isfinite(fieldOfView) && fieldOfView > 0.01f && fieldOfView < 3.1f ? fieldOfView : 0.5235988f),
      FPitch(std::clamp(std::isfinite(pitch) ? pitch : 0.5f, RRPreviewPitchMin, RRPreviewPitchMax)),
      FYaw(std::isfinite(yaw) ? yaw : 0.5f) {}

void TRRPreviewCamera::SetTarget(const gx::TGXBoundingBox& box) {
  TGXVector3 lo{-0.5f, -0.5f, -0.5f}, hi{0.5f, 0.5f, 0.5f};
  if (!box.Empty) {
    const TGXVector3 a = box.Min(), b = box.Max();
    if (std::isfinite(a.x + a.y + a.z + b.x + b.y + b.z)) lo = a, hi = b;
  }
  FCentre = (lo + hi) * 0.5f;
  // Far below a unit the near plane would swallow the object; a huge one stays finite.
  FRadius = std::clamp(gx::GXVec3Length(hi - lo) * 0.5f, 1.0f, 1e6f);
  FDistance = FGoal = 3.3f * FRadius;
}

void TRRPreviewCamera::Step() { FDistance += (FGoal - FDistance) * 0.5f; }

void TRRPreviewCamera::Press(int32_t x, int32_t y) {
  FPressX = x, FPressY = y;
  FPressPitch = FPitch, FPressYaw = FYaw;
}

void TRRPreviewCamera::Drag(int32_t x, int32_t y) {
  FPitch = std::clamp(FPressPitch + float(y - FPressY) * 0.01f, RRPreviewPitchMin, RRPreviewPitchMax);
  // Kept within one turn, so a long drag never loses precision.
  FYaw = std::remainder(FPressYaw + float(x - FPressX) * 0.01f, 2 * gx::GX_PI);
}

void TRRPreviewCamera::Wheel(int32_t delta) {
  FGoal = std::clamp(FGoal - float(delta) * 0.01f, FRadius, 6 * FRadius);
}

TGXVector3 TRRPreviewCamera::Eye() const {
  const float c = std::cos(FPitch);
  return FCentre + TGXVector3{c * std::sin(FYaw), std::sin(FPitch), c * std::cos(FYaw)} * FDistance;
}

float TRRPreviewCamera::NearPlane() const {
  return std::max({FDistance - 2 * FRadius + 0.1f, 0.01f * FDistance, 0.01f});
}

// ---- render window ----

TRRPreviewRenderWindow::TRRPreviewRenderWindow(uint32_t width, uint32_t height, float fieldOfView)
    : FWidth(std::clamp<uint32_t>(width, 1, 4096)),
      FHeight(std::clamp<uint32_t>(height, 1, 4096)),
      FSurface(FWidth, FHeight),
      FOrbit(fieldOfView) {
  FWindow = gx::MakeRef<TRRProjectRenderWindow>(&FSurface, &FHost.Scene, 3);
  FManager = std::make_unique<TRREntityManager>(FHost, FWindow.Get(), &FHost.Scene);
  FCameraNode = new gx::TGXSceneNode("Vorschaukamera", FHost.Scene.Root());
  FCamera = new gx::TGXCamera(FCameraNode);
  FWindow->SetCamera(FCamera);
}

TRRPreviewRenderWindow::~TRRPreviewRenderWindow() {
  Clear();
  FManager.reset();
  if (FWindow) FWindow->SetScene(nullptr);
}

void TRRPreviewRenderWindow::Clear() {
  // Last made first: a later object may refer to an earlier one.
  while (!FObjects.empty()) {
    delete FObjects.back();
    FObjects.pop_back();
  }
}

bool TRRPreviewRenderWindow::Show(const TRREntityDescription* description) {
  std::vector<std::unique_ptr<TRREntityDescription>> scene;
  if (description) {
    scene.push_back(description->Clone());
    TRREntityIDProcessor::RenumberDescription(*scene.back(), 1);
    scene.back()->SetPosition({0, 0, 0});
    scene.back()->SetRotation({0, 0, 0, 1});
  }
  return ShowScene(scene);
}

bool TRRPreviewRenderWindow::ShowScene(const std::vector<std::unique_ptr<TRREntityDescription>>& descriptions,
                                       const std::function<void(TRREntity&)>& prepare) {
  Clear();
  // The preview's objects must not join the layout's reflections: they would outlive their
  // manager (the layout may close while the preview stays) and show in the layout's mirrors.
  struct TNoReflections {
    IRRReflectionManager* Before = TRRModelServices::Get() ? TRRModelServices::Get()->Reflections : nullptr;
    TNoReflections() { TRRModelServices::SetReflections(nullptr); }
    ~TNoReflections() { TRRModelServices::SetReflections(Before); }
  } noReflections;
  bool complete = !descriptions.empty();
  gx::TGXBoundingBox box;
  try {
    for (const auto& d : descriptions) {
      if (!d) continue;
      // IDs above the counter are reserved, so the manager never hands them out twice.
      if (d->ID() >= FManager->NextID()) FManager->ReserveIDs(d->ID() - FManager->NextID() + 1);
      TRREntity* e = FManager->CreateEntity(nullptr, *d);
      if (e) FObjects.push_back(e);
    }
    FHost.Scene.Root()->Update(false);
    if (prepare)
      for (TRREntity* e : FObjects) prepare(*e);
  } catch (const std::exception&) {
    complete = false;
  }
  FHost.Scene.Root()->Update(false);
  for (TRREntity* e : FObjects) gx::MergeBox(box, e->WorldBounds());
  FOrbit.SetTarget(box);
  return complete && FObjects.size() == descriptions.size();
}

void TRRPreviewRenderWindow::RenderFrame(uint32_t background) {
  FOrbit.Step();
  FCameraNode->SetPosition(FOrbit.Eye());
  FCameraNode->Update(false);
  FCameraNode->LookAt(FOrbit.Centre(), {0, 1, 0});
  FCamera->SetPerspective(FOrbit.FieldOfView(), FOrbit.NearPlane(), FOrbit.FarPlane());
  FHost.Scene.Root()->Update(false);
  FWindow->RenderFrame(background);
}

std::vector<uint32_t> TRRPreviewRenderWindow::Frame() const { return FWindow->LastFrame(); }

}  // namespace rr
