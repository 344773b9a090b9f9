#include "app/entities/RRCamera.h"

#include <algorithm>
#include <cmath>

#include "app/RREntityManager.h"
#include "app/entities/RRCameraModifiers.h"
#include "app/entities/RREntityRegistry.h"
#include "app/entities/RREntity_10.h"
#include "engine/core/GXSerialization.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXEffect.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXScene.h"

namespace rr {

namespace {

gx::TGXVector3 g_LastCameraPosition{0, 0, 0};

bool Finite(const gx::TGXVector3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// The rows of a rotation: right, up, forward.
gx::TGXVector3 Row(const gx::TGXQuaternion& q, int row) {
  const gx::TGXMatrix m = gx::GXMatrixRotationQuaternion(gx::GXQuaternionNormalize(q));
  return {m.m[row][0], m.m[row][1], m.m[row][2]};
}

gx::TGXQuaternion FromAxes(const gx::TGXVector3& right, const gx::TGXVector3& up,
                           const gx::TGXVector3& forward) {
  gx::TGXMatrix m;
  m.m[0][0] = right.x, m.m[0][1] = right.y, m.m[0][2] = right.z;
  m.m[1][0] = up.x, m.m[1][1] = up.y, m.m[1][2] = up.z;
  m.m[2][0] = forward.x, m.m[2][1] = forward.y, m.m[2][2] = forward.z;
  return gx::GXQuaternionNormalize(gx::GXQuaternionRotationMatrix(m));
}

constexpr float kDegenerate = 1e-8f;

TRREntityManager* ManagerOf(const TRREntity& e) { return dynamic_cast<TRREntityManager*>(e.Manager()); }

}  // namespace

// ---- roll-free rotations ----

bool RRRollFreeRotation(const gx::TGXVector3& forwardIn, const gx::TGXVector3& rightHint,
                        gx::TGXQuaternion& out) {
  if (!Finite(forwardIn) || gx::GXVec3LengthSq(forwardIn) < kDegenerate) return false;
  const gx::TGXVector3 forward = gx::GXVec3Normalize(forwardIn);
  const gx::TGXVector3 flat{rightHint.x, 0, rightHint.z};
  const bool flatUsable = Finite(flat) && gx::GXVec3LengthSq(flat) >= kDegenerate;
  gx::TGXVector3 right = gx::GXVec3Cross({0, 1, 0}, forward);
  if (gx::GXVec3LengthSq(right) >= kDegenerate) {
    right = gx::GXVec3Normalize(right);
    // A camera that was upside down stays so.
    if (flatUsable && gx::GXVec3Dot(right, flat) < 0) right = right * -1.0f;
  } else if (flatUsable) {
    right = gx::GXVec3Normalize(flat);
  } else {
    return false;
  }
  const gx::TGXVector3 up = gx::GXVec3Normalize(gx::GXVec3Cross(forward, right));
  out = FromAxes(right, up, forward);
  return GXIsFinite(out);
}

gx::TGXQuaternion RRMakeRollFree(const gx::TGXQuaternion& q) {
  if (!GXIsFinite(q) || gx::GXQuaternionLength(q) < 1e-6f) return q;
  // Already level: kept as it is, so reading a record twice gives the same bytes.
  if (std::fabs(Row(q, 0).y) <= 1e-5f && std::fabs(gx::GXQuaternionLength(q) - 1) <= 1e-5f) return q;
  gx::TGXQuaternion r;
  if (!RRRollFreeRotation(Row(q, 2), Row(q, 0), r)) return q;
  return r;
}

float RRCockpitOffsetDivisor(const gx::TGXBoundingBox& parentBounds) {
  if (parentBounds.Empty) return 1.0f;
  const float d = parentBounds.Max().z - parentBounds.Min().z;
  return std::isfinite(d) && d > 1e-6f ? d : 1.0f;
}

// ---- descriptions ----

RR_DEFINE_DESCRIPTION_CLASS(TRRCameraDesc, TRRModelDesc)
RR_DEFINE_DESCRIPTION_CLASS(TRRCockpitDesc, TRRCameraDesc)

TRRCameraDesc::TRRCameraDesc() { SetCADType(RRCameraCadType); }

TRRCockpitDesc::TRRCockpitDesc() { SetType(RRCameraCockpit); }

void TRRCameraDesc::LoadFromStream(gx::TGXStream& s) {
  TRRModelDesc::LoadFromStream(s);
  const int32_t version = gx::ReadInteger(s);
  if (version < 1 || version > RRCameraDescVersion) throw EUnknownEntityDescription();
  uint8_t type = gx::ReadByte(s);
  int32_t target = 0;
  bool linkPending = false;
  if (version == 1) {
    const int32_t link = gx::ReadInteger(s);
    SetLinkTarget(link);
    linkPending = link != 0;
  } else {
    target = gx::ReadInteger(s);
  }
  const bool active = gx::ReadBoolean(s);
  const bool visible = gx::ReadBoolean(s);
  // A type this program does not know is a placed camera (deletable, without controller).
  if (type >= RRCameraTypeCount) type = RRCameraPlaced;
  FType = type;
  FLookAtTarget = target < 0 ? 0 : target;
  FActive = active;
  FCameraVisible = visible;
  FLinkPending = linkPending;
  if (FType != RRCameraPlaced) SetRotation(RRMakeRollFree(Rotation()));
}

void TRRCameraDesc::SaveToStream(gx::TGXStream& s) const {
  TRRModelDesc::SaveToStream(s);
  gx::WriteInteger(s, RRCameraDescVersion);
  gx::WriteByte(s, FType);
  gx::WriteInteger(s, FLookAtTarget);
  gx::WriteBoolean(s, FActive);
  gx::WriteBoolean(s, FCameraVisible);
}

void TRRCameraDesc::GetPropertyAccess(TRRPropertyAccessList& list) {
  TRRModelDesc::GetPropertyAccess(list);
  list.Add<TRREntityIDRefAccess>(FLookAtTarget);
}

void TRRCameraDesc::LoadFromPropertyBag(const TRREntityDescription_10& bag, std::string& modelFileName) {
  TRRModelDesc::LoadFromPropertyBag(bag, modelFileName);
  int32_t type = -1;
  if (bag.GetInteger("CameraType", type)) {
    switch (type) {
      case 0:
        FType = RRCameraPlaced;
        break;
      case 1:
        FType = RRCameraFree;
        break;
      case 2:
        FType = RRCameraTopDown;
        break;
      case 3:
        FType = RRCameraTechnical;
        break;
      default:
        break;
    }
  }
  int32_t link = 0;
  if (bag.GetIDRef("LinkID", link) && link > 0) {
    SetLinkTarget(link);
    FLinkPending = true;
  }
  bool active = false;
  if (bag.GetBoolean("ActiveCamera", active)) FActive = active;
  SetCADType(RRCameraCadType);
  if (FType != RRCameraPlaced) SetRotation(RRMakeRollFree(Rotation()));
}

// ---- camera ----

RR_DEFINE_ENTITY_CLASS(TRRCamera, TRRModel)
RR_DEFINE_ENTITY_CLASS(TRRCockpit, TRRCamera)

void TRRCamera::RegisterKinds(TRRRegisteredEntityList& list) {
  list.Register(gx::TGXGuid::Parse(RRKindCockpit), TRRCockpit::StaticClass(), TRRCockpitDesc::StaticClass());
  list.Register(gx::TGXGuid::Parse(RRKindCamera), StaticClass(), TRRCameraDesc::StaticClass());
}

TRRCamera::TRRCamera(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description)
    : TRRModel(parent, manager, description) {
  const auto* d = dynamic_cast<const TRRCameraDesc*>(&description);
  const TRRCameraDesc defaults;
  if (!d) d = &defaults;
  FType = d->Type() < RRCameraTypeCount ? d->Type() : RRCameraPlaced;
  FCamera = new gx::TGXCamera(this);
  ApplyProjection();
  FLookAtTarget = d->LookAtTarget();
  FActive = false;  // only the project activates (the description's flag chooses at load)
  FLinkPending = d->LinkPending();
  FShowModel = FType == RRCameraPlaced && d->CameraVisible();
  SetVisible(FShowModel);
  SetCADType(RRCameraCadType);
  // The camera menu hears of the new camera once it is registered (the project's entity-created
  // hook).
}

TRRCamera::~TRRCamera() {
  BeginDestruction();
  TRREntityManager* manager = ManagerOf(*this);
  // The controller goes first: it may still look at the camera and the manager.
  if (manager && manager->ActiveCamera() == this) manager->SetCamera(nullptr);
  FModifier.reset();
  if (manager) {
    if (FActive) manager->Project().ActiveCameraDestroyed(this);
    manager->Project().CamerasChanged();
  }
}

void TRRCamera::ApplyProjection() {
  if (RRIsOrthographicCameraType(FType)) {
    FCamera->SetOrthographic(RRCameraNearPlane, RRCameraFarPlane, RRCameraOrthoSize);
  } else {
    FCamera->SetPerspective(RRCameraFieldOfView, RRCameraNearPlane, RRCameraFarPlane);
  }
  FOrthoHeight = -1;
}

bool TRRCamera::Update(bool force) {
  const bool changed = TRRModel::Update(force);
  if (RRIsOrthographicCameraType(FType) && FCamera) {
    const float h = std::max(WorldPosition().y, 0.01f);
    if (changed || h != FOrthoHeight) {
      FOrthoHeight = h;
      FCamera->SetOrthoHeight(h);
    }
  }
  return changed;
}

gx::TGXVector3 TRRCamera::ForwardAxis() const { return Row(WorldRotation(), 2); }
gx::TGXVector3 TRRCamera::RightAxis() const { return Row(WorldRotation(), 0); }
gx::TGXVector3 TRRCamera::UpAxis() const { return Row(WorldRotation(), 1); }

bool TRRCamera::LookAt(const gx::TGXVector3& point) {
  if (!Finite(point)) return false;
  gx::TGXQuaternion q;
  // At the camera, or straight above or below it, no heading follows from the direction: the
  // orientation stays.
  if (!RRRollFreeRotation(point - WorldPosition(), {0, 0, 0}, q)) return false;
  SetWorldRotation(q);
  return true;
}

void TRRCamera::CoverBox(const gx::TGXBoundingBox& box) {
  if (!FCamera || !FCamera->Perspective()) return;
  const float base = FType == RRCameraCockpit ? RRCockpitFarPlane : RRCameraFarPlane;
  float far = base;
  if (!box.Empty) {
    const gx::TGXVector3& p = WorldPosition();
    float reach = 0;
    for (const gx::TGXVector3& c : box.Corners()) reach = std::max(reach, gx::GXVec3LengthSq(c - p));
    reach = std::sqrt(reach) * 1.01f;
    if (std::isfinite(reach)) far = std::max(base, reach);
  }
  if (far != FCamera->FarPlane()) FCamera->SetPerspective(FCamera->FieldOfView(), FCamera->NearPlane(), far);
}

void TRRCamera::Animate(bool animationsOn, float deltaTime) {
  if (FLinkPending) {
    FLinkPending = false;
    TRREntity* target = Manager() ? Manager()->FindByID(LinkTarget()) : nullptr;
    if (target == this) target = nullptr;
    if (target) target->Update(false);
    Update(false);
    SetLinkTarget(target);
  }
  TRRModel::Animate(animationsOn, deltaTime);
  if (FLookAtTarget != 0 && Manager()) {
    TRREntity* target = Manager()->FindByID(FLookAtTarget);
    if (target && target != this) {
      target->Update(false);
      Update(false);
      LookAt(target->WorldPosition());
    }
  }
  Update(false);
  if (TRREntityManager* manager = ManagerOf(*this)) {
    if (auto* projectNode = dynamic_cast<gx::TGXSceneNode*>(manager->ProjectNode()))
      CoverBox(projectNode->WorldBounds());
  }
  if (FActive) {
    g_LastCameraPosition = WorldPosition();
    if (gx::TGXRenderCore* core = gx::GXCurrentRenderCore()) {
      if (auto* source = dynamic_cast<gx::TGXEffectValueSource*>(
              core->EffectParameters().FindSource("CAMERAPOSITION"))) {
        const gx::TGXVector3& p = g_LastCameraPosition;
        if (source->Type() == gx::TGXEffectValueType::Float3) source->SetFloats({p.x, p.y, p.z});
      }
    }
  }
}

gx::TGXVector3 TRRCamera::LastCameraPosition() { return g_LastCameraPosition; }

bool TRRCamera::CanDelete(std::string& reason) const {
  // A cockpit goes with its vehicle: it never keeps the vehicle from being deleted.
  if (FType == RRCameraPlaced || FType == RRCameraCockpit) {
    reason.clear();
    return true;
  }
  reason = RRTextPredefinedCamera;
  return false;
}

std::unique_ptr<TRREntityDescription> TRRCamera::CreateDescription() const {
  std::unique_ptr<TRREntityDescription> base = TRRModel::CreateDescription();
  if (auto* d = dynamic_cast<TRRCameraDesc*>(base.get())) {
    d->SetType(FType);
    d->SetLookAtTarget(FLookAtTarget);
    d->SetActive(FActive);
    d->SetCameraVisible(FType == RRCameraPlaced ? FShowModel : true);
    d->SetCADType(RRCameraCadType);
  }
  return base;
}

void TRRCamera::SetShowModel(bool value) {
  FShowModel = FType == RRCameraPlaced && value;
  SetVisible(FShowModel && !FActive);
}

void TRRCamera::SetActive(bool value) {
  FModifier.reset();
  FActive = value;
  SetVisible(FShowModel && !FActive);
  if (!value) return;
  switch (FType) {
    case RRCameraFree:
      FModifier = std::make_unique<TRRFreeCameraModifier>(*this);
      break;
    case RRCameraTopDown:
    case RRCameraTechnical:
      FModifier = std::make_unique<TRR2DCameraModifier>(*this);
      break;
    default:
      break;
  }
}

void TRRCamera::SetLookAtTarget(TRREntity* target) {
  FLookAtTarget = target && target != this ? target->ID() : 0;
}

bool TRRCamera::FrameEntities(const std::vector<TRREntity*>& entities) {
  if (FType == RRCameraCockpit) return false;
  gx::TGXVector3 lo{0, 0, 0}, hi{0, 0, 0};
  bool any = false;
  for (TRREntity* e : entities) {
    if (!e || e == this) continue;
    const gx::TGXBoundingBox& b = e->WorldBounds();
    if (b.Empty || !Finite(b.Min()) || !Finite(b.Max())) continue;
    lo = any ? gx::GXVec3Minimize(lo, b.Min()) : b.Min();
    hi = any ? gx::GXVec3Maximize(hi, b.Max()) : b.Max();
    any = true;
  }
  if (!any) return false;
  const gx::TGXVector3 centre = (lo + hi) * 0.5f;
  const float distance = std::max(2.0f * gx::GXVec3Length(hi - lo), RRFrameMinDistance);
  gx::TGXVector3 forward = ForwardAxis();
  if (gx::GXVec3LengthSq(forward) < kDegenerate) forward = {0, 0, 1};
  gx::TGXVector3 p = centre - gx::GXVec3Normalize(forward) * distance;
  if (RRIsOrthographicCameraType(FType)) p.y = std::max(p.y, RRTopDownMinHeight);
  if (!Finite(p)) return false;
  SetWorldPosition(p);
  Update(false);
  return true;
}

// ---- cockpit ----

TRRCockpit::TRRCockpit(gx::TGXNode* parent, IRREntityManager* manager,
                       const TRREntityDescription& description)
    : TRRCamera(parent, manager, description) {
  const auto* d = dynamic_cast<const TRRCockpitDesc*>(&description);
  const TRRCockpitDesc defaults;
  if (!d) d = &defaults;
  // The owner: the nearest enclosing entity that carries cockpits.
  for (gx::TGXNode* n = Parent(); n && !FOwner; n = n->Parent()) FOwner = dynamic_cast<IRRCockpitOwner*>(n);
  if (!d->CockpitModel().Model.EffectiveFileName().empty() && Parent()) {
    FCab = new TRRModelEntity(Parent(), FCabMaterials, d->CockpitModel());
    if (const gx::IGXAnimation& animation = FCab->Animation()) {
      FControl = std::make_unique<gx::TGXAnimationController>();
      FControl->Bind(animation, FCab);
      FControl->SetSecondsPerFrame(RRCockpitControlDuration / 100.0f);
      FControl->SetEndFrame(100);
      FControl->SetLoop(false);
    }
  }
  if (Parent()) {
    Parent()->Update(false);
    float depth = 1.0f;
    if (auto* p = dynamic_cast<gx::TGXSceneNode*>(Parent())) depth = RRCockpitOffsetDivisor(p->LocalBounds());
    float offset = d->CockpitOffset() * 1.0f / depth;
    if (!std::isfinite(offset)) offset = 0;
    Translate({0, 0, offset}, gx::TGXTransformSpace::Parent);
  }
  ShowOwnerParts(false);
  EngineCamera()->SetPerspective(RRCockpitFieldOfView, RRCockpitNearPlane, RRCockpitFarPlane);
  SetControlSpeed(0);
}

TRRCockpit::~TRRCockpit() {
  BeginDestruction();
  FControl.reset();
  if (IsActive()) {
    if (TRREntityManager* manager = ManagerOf(*this)) manager->SetShowOverlay(true);
    // The vehicle shows its outside again unless it is going too.
    if (Parent() && !Parent()->Destroying()) ShowOwnerParts(false);
  }
  // The cab is a sibling: it goes with the camera (the parent may already be freeing it).
  if (FCab && Parent() && !Parent()->Destroying()) delete FCab;
  FCab = nullptr;
}

void TRRCockpit::ShowOwnerParts(bool active) {
  if (!FOwner) return;
  if (gx::TGXSceneNode* exterior = FOwner->CockpitExteriorNode()) exterior->SetVisible(!active);
  if (gx::TGXSceneNode* interior = FOwner->CockpitInteriorNode()) interior->SetVisible(active);
}

void TRRCockpit::SetActive(bool value) {
  TRRCamera::SetActive(value);
  ShowOwnerParts(value);
  TRREntityManager* manager = ManagerOf(*this);
  if (!manager) return;
  if (value && FOwner) {
    if (TRREntity* owner = FOwner->CockpitOwnerEntity()) {
      TRREntitySelection& selection = manager->Selection();
      selection.BeginUpdate();
      selection.Clear();
      selection.Add(owner);
      selection.EndUpdate();
    }
  }
  manager->SetShowOverlay(!value);
}

void TRRCockpit::SetControlSpeed(float speed) {
  if (!FControl || !std::isfinite(speed)) return;
  const float v = std::clamp(speed, -RRCockpitControlSpeedRange, RRCockpitControlSpeedRange);
  FControl->SetTime((v + RRCockpitControlSpeedRange) / (2 * RRCockpitControlSpeedRange) *
                    FControl->Duration());
}

gx::TGXVector3 RRTopDownPlaceOver(const gx::TGXBoundingBox& box) {
  if (box.Empty || !Finite(box.Min()) || !Finite(box.Max())) return {0, RRTopDownDefaultHeight, 0};
  const gx::TGXVector3 size = box.Max() - box.Min();
  const gx::TGXVector3 centre = (box.Min() + box.Max()) * 0.5f;
  const float shows = std::max(size.z, size.x * 3.0f / 4.0f);
  const float height = std::min(std::max(RRTopDownDefaultHeight, shows), RRTopDownMaxHeight);
  return {centre.x, height, centre.z};
}

// ---- pivot ----

gx::TGXVector3 RRCameraRotationPivot(TRRCamera& camera, TRREntityManager& manager, bool ignoreSelection) {
  camera.Update(false);
  const gx::TGXVector3 origin = camera.WorldPosition();
  gx::TGXVector3 dir = camera.ForwardAxis();
  if (gx::GXVec3LengthSq(dir) < kDegenerate || !Finite(origin)) return origin + gx::TGXVector3{0, 0, 100};
  dir = gx::GXVec3Normalize(dir);

  // 1. The selection's centre when it lies near the middle of the view.
  TRREntitySelection& selection = manager.Selection();
  if (!ignoreSelection && !selection.Empty()) {
    const bool singlePanel =
        selection.Count() == 1 &&
        TRREntityManager::KindListOf(selection.Item(0)->GetClass()) == TRREntityKindList::Panels;
    if (!singlePanel) {
      const gx::TGXVector3 c = selection.Centre();
      gx::TGXCamera* cam = camera.EngineCamera();
      if (Finite(c) && cam->IsPointVisible(c)) {
        const gx::TGXVector4 v = gx::GXVec3Transform(c, cam->GetViewProjectionMatrix());
        if (v.w > 0) {
          const float x = v.x / v.w, y = v.y / v.w;
          // A third of the viewport's width (height) from the middle is 2/3 in clip units.
          if (std::fabs(x) < 2.0f / 3.0f && std::fabs(y) < 2.0f / 3.0f) return c;
        }
      }
    }
  }
  // 2. The nearest entity on the view ray.
  if (auto* projectNode = dynamic_cast<gx::TGXSceneNode*>(manager.ProjectNode())) {
    if (gx::TGXScene* scene = projectNode->Scene()) {
      // The camera's own model would be hit from inside.
      const bool wasVisible = camera.Visible();
      if (wasVisible) camera.SetVisible(false);
      gx::TGXPickResult hit = scene->Pick(projectNode, origin, dir);
      if (wasVisible) camera.SetVisible(true);
      if (hit.Object && Finite(hit.Hit) && gx::GXVec3Dot(hit.Hit - origin, dir) > 0) return hit.Hit;
    }
  }
  // 3. The nearest panel plane in front.
  float best = INFINITY;
  for (TRREntity* panel : manager.Panels()) {
    gx::TGXVector3 n = gx::GXVec3Normalize(Row(panel->WorldRotation(), 1));
    const float denom = gx::GXVec3Dot(dir, n);
    if (std::fabs(denom) < 1e-6f) continue;
    const float t = gx::GXVec3Dot(panel->WorldPosition() - origin, n) / denom;
    if (std::isfinite(t) && t > 0 && t < best) best = t;
  }
  if (best < INFINITY) return origin + dir * best;
  // 4. The ground.
  if (std::fabs(dir.y) > 1e-6f) {
    const float t = -origin.y / dir.y;
    if (std::isfinite(t) && t > 0) return origin + dir * t;
  }
  // 5. Ahead.
  return origin + dir * 100.0f;
}

}  // namespace rr
