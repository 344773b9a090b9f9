#include "app/edit/RRTransformationModifier.h"

#include <cmath>
#include <cstdlib>

#include "app/RREntityManager.h"
#include "app/RRHistory.h"
#include "app/RRInput.h"
#include "app/RRProjectHost.h"
#include "app/edit/RRTransformationGizmo.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RREntity.h"
#include "app/entities/RREntityDescription.h"
#include "engine/core/GXSerialization.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXScene.h"

namespace rr {

using gx::TGXQuaternion;
using gx::TGXVector3;

namespace {

constexpr int32_t kKeyW = 87, kKeyS = 83, kKeyA = 65, kKeyD = 68, kKeyQ = 81, kKeyY = 89;
// The layout's box when the scene has none: a square of two kilometres; otherwise the layout's
// box with the camera in it and ten metres beside and below.
constexpr float kNoExtent = 100000;
constexpr float kMargin = 1000;

bool Finite(const TGXVector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
bool Finite(const TGXQuaternion& q) {
  return std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) && std::isfinite(q.w);
}

bool SamePlacement(const TGXVector3& a, const TGXQuaternion& qa, const TGXVector3& b,
                   const TGXQuaternion& qb) {
  return std::fabs(a.x - b.x) <= 0.01f && std::fabs(a.y - b.y) <= 0.01f && std::fabs(a.z - b.z) <= 0.01f &&
         std::fabs(qa.x - qb.x) <= 0.001f && std::fabs(qa.y - qb.y) <= 0.001f &&
         std::fabs(qa.z - qb.z) <= 0.001f && std::fabs(qa.w - qb.w) <= 0.001f;
}

std::vector<uint8_t> RecordBytes(const TRREntityDescription& d) {
  gx::TGXMemoryStream s;
  TRREntityDescription::WriteRecord(d, s);
  return s.Data();
}

// The ray parameter where it meets the plane, when ahead of the origin.
std::optional<TGXVector3> RayHitsPlane(const TGXVector3& o, const TGXVector3& d, const gx::TGXPlane& p) {
  const float denom = p.a * d.x + p.b * d.y + p.c * d.z;
  if (std::fabs(denom) < 1e-12f) return std::nullopt;
  const float t = -(p.a * o.x + p.b * o.y + p.c * o.z + p.d) / denom;
  if (!(t > 1e-6f) || !std::isfinite(t)) return std::nullopt;
  return o + d * t;
}

}  // namespace

TRRTransformationModifier::TRRTransformationModifier(TRREntityManager& manager, TRRTransformationGizmo* gizmo)
    : FManager(manager), FGizmo(gizmo) {}

TRRTransformationModifier::~TRRTransformationModifier() {
  if (FDragMode != RRDragNone) {
    try {
      EndDrag();
    } catch (...) {
      // A destructor must not raise; the drag's command is lost, the placement stays.
    }
  }
  Release();
  if (FGizmo) FGizmo->SetShown(false);
}

void TRRTransformationModifier::Release() {
  if (FCaptured) FManager.Project().ReleaseMouse();
  FCaptured = false;
  FPending = false;
}

bool TRRTransformationModifier::ModifierKeysHeld() const {
  const IRRProjectHost& host = FManager.Project();
  return (FButtons & (RRMKShift | RRMKControl)) != 0 || FAltDown || host.KeyDown(RRVKShift) ||
         host.KeyDown(RRVKControl) || host.KeyDown(RRVKMenu);
}

gx::TGXVector3 TRRTransformationModifier::Clamp(const TGXVector3& p) const {
  if (FBounds.Empty) return p;
  const TGXVector3& lo = FBounds.Min();
  const TGXVector3& hi = FBounds.Max();
  return {std::clamp(p.x, lo.x, hi.x), std::clamp(p.y, lo.y, hi.y), std::clamp(p.z, lo.z, hi.z)};
}

void TRRTransformationModifier::SetPlacement(const TGXVector3& position, const TGXQuaternion& rotation) {
  TRREntitySelection& sel = FManager.Selection();
  sel.SetRotation(rotation);
  sel.UpdateAll();
  sel.MoveTo(position);
  sel.UpdateAll();
}

// ---- input ----

bool TRRTransformationModifier::MouseEvent(gx::TGXRenderTarget*, uint32_t message, int32_t phase,
                                           const TRRInputRecord& record, uint32_t) {
  FButtons = record.Buttons;
  FAltDown = record.AltDown;
  if (message == RRMsgLButtonDown) {
    if (FDragMode != RRDragNone) return true;
    bool armed = false;
    auto arm = [&](int mode, const TGXVector3& point, const TGXVector3& normal) {
      FPending = armed = true;
      FPendingMode = mode;
      FPressPoint = point;
      FPressNormal = normal;
    };
    if (phase == 0 && FGizmo && FGizmo->Shown()) {
      gx::TGXSceneCamera* camera = FManager.ViewCamera();
      const TRRGizmoCamera c =
          camera ? TRRGizmoCamera::FromMatrices(camera->GetViewMatrix(), camera->GetProjectionMatrix())
                 : TRRGizmoCamera{};
      const TRRGizmoHit hit = FGizmo->Pick(FManager.RayOrigin(), FManager.RayDirection(), c.Position);
      if (hit.Handle) arm(RRDragModeOfHandle(hit.Handle), hit.Point, hit.Normal);
    }
    // Control and Alt clicks belong to the selection (remove, duplicate), not to a move.
    TRREntity* hovered = FManager.HoveredEntity();
    if (!armed && hovered && FManager.Selection().Contains(hovered) && !(record.Buttons & RRMKControl) &&
        !record.AltDown)
      arm(RRDragFree, FManager.HitPoint(), {0, 1, 0});
    if (!armed) return false;
    FPressX = record.X;
    FPressY = record.Y;
    if (!FCaptured) FManager.Project().CaptureMouse();
    FCaptured = true;
    return true;
  }
  if (message == RRMsgMouseMove) {
    if (FPending && FDragMode == RRDragNone &&
        (std::abs(record.X - FPressX) > RRDragThresholdX ||
         std::abs(record.Y - FPressY) >= RRDragThresholdY)) {
      FPending = false;
      BeginDrag(FPendingMode, FPressPoint, FPressNormal, true);
    }
    return FPending || FDragMode != RRDragNone;
  }
  if (message == RRMsgLButtonUp) {
    const bool had = FPending || FDragMode != RRDragNone || FCaptured;
    FPending = false;
    if (FDragMode != RRDragNone) EndDrag();
    Release();
    return had;
  }
  return false;
}

bool TRRTransformationModifier::KeyEvent(gx::TGXRenderTarget*, uint32_t message, const TRRInputRecord&,
                                         int32_t key) {
  if (message != RRMsgKeyDown) return false;
  if (key == RRVKEscape && (FDragMode != RRDragNone || FPending)) {
    CancelDrag();
    return true;
  }
  TGXVector3 step{0, 0, 0};
  switch (key) {
    case kKeyW:
      step.z = RRKeyMoveStep;
      break;
    case kKeyS:
      step.z = -RRKeyMoveStep;
      break;
    case kKeyA:
      step.x = -RRKeyMoveStep;
      break;
    case kKeyD:
      step.x = RRKeyMoveStep;
      break;
    case kKeyQ:
      step.y = RRKeyMoveStep;
      break;
    case kKeyY:
      step.y = -RRKeyMoveStep;
      break;
    default:
      return false;
  }
  if (FDragMode != RRDragNone || !FManager.TransformEnabled()) return true;
  TRREntitySelection& sel = FManager.Selection();
  if (ApplyWithSnapping(sel.Position() + step, sel.GetRotation())) FManager.Project().SetModified();
  return true;
}

void TRRTransformationModifier::Tick() {
  if (FDragMode != RRDragNone) DragFrame();
  UpdateGizmo();
}

// ---- drag ----

void TRRTransformationModifier::BeginDrag(int mode, const TGXVector3& point, const TGXVector3& normal,
                                          bool recordUndo) {
  TRREntitySelection& sel = FManager.Selection();
  if (!FManager.TransformEnabled() || sel.Empty() || mode < RRDragFree || mode > RRDragRotateZ) return;
  gx::TGXSceneCamera* camera = FManager.ViewCamera();
  const TRRGizmoCamera view =
      camera ? TRRGizmoCamera::FromMatrices(camera->GetViewMatrix(), camera->GetProjectionMatrix())
             : TRRGizmoCamera{};
  FStartPosition = sel.Position();
  FStartRotation = sel.GetRotation();
  FGrabOffset = point - FStartPosition;
  TGXVector3 n = gx::GXVec3LengthSq(normal) > 0 ? gx::GXVec3Normalize(normal) : TGXVector3{0, 1, 0};
  // An arrow grabbed on its end face: its plane would hold the pointer on the axis. Use the plane
  // through the point that contains the axis and faces the camera best.
  if (mode >= RRDragMoveX && mode <= RRDragMoveZ) {
    const TGXVector3 axis = mode == RRDragMoveX   ? TGXVector3{1, 0, 0}
                            : mode == RRDragMoveY ? TGXVector3{0, 1, 0}
                                                  : TGXVector3{0, 0, 1};
    if (std::fabs(gx::GXVec3Dot(n, axis)) > 0.99f) {
      TGXVector3 toCamera = view.Position - point;
      toCamera = toCamera - axis * gx::GXVec3Dot(toCamera, axis);
      if (gx::GXVec3LengthSq(toCamera) > 1e-12f) n = gx::GXVec3Normalize(toCamera);
    }
  }
  FDragPlane = {n.x, n.y, n.z, -gx::GXVec3Dot(n, point)};
  FStartMouseX = FManager.PickCursorX();
  FStartMouseY = FManager.PickCursorY();
  // The layout's box, raised to the camera; an empty scene gives a wide square.
  gx::TGXBoundingBox extent;
  if (gx::TGXScene* scene = FManager.PickScene()) extent = scene->Root()->WorldBounds();
  TGXVector3 lo{-kNoExtent, -kNoExtent, -kNoExtent}, hi{kNoExtent, kNoExtent, kNoExtent};
  if (!extent.Empty && Finite(extent.Min()) && Finite(extent.Max())) {
    lo = extent.Min();
    hi = extent.Max();
  }
  // Room around the layout and the camera: objects may be put down beside the baseboard.
  for (int i = 0; i < 3; ++i) {
    (&lo.x)[i] = std::min((&lo.x)[i], (&view.Position.x)[i]) - kMargin;
    (&hi.x)[i] = std::max((&hi.x)[i], (&view.Position.x)[i]) + (i == 1 ? 0 : kMargin);
  }
  FBounds = gx::BoxFromMinMax(lo, hi);
  FDragMode = mode;
  FCommand.reset();
  if (recordUndo)
    if (TRRHistory* history = FManager.Project().History()) {
      FCommand = history->OpenCommand();
      // The group keeps the selection; its members only their entity (a copy of a large
      // selection in every member would cost its square).
      for (TRREntity* e : sel) FCommand->AddChild(std::make_unique<TRRCommand>(e));
    }
}

void TRRTransformationModifier::DragFrame() {
  TRREntitySelection& sel = FManager.Selection();
  if (sel.Empty()) return;
  const TGXVector3 origin = FManager.RayOrigin(), direction = FManager.RayDirection();
  TGXVector3 position = sel.Position();
  TGXQuaternion rotation = sel.GetRotation();
  if (FDragMode <= RRDragMoveZ) {
    const std::optional<TGXVector3> hit = RayHitsPlane(origin, direction, FDragPlane);
    if (!hit) return;  // the last target stays
    const TGXVector3 point = Clamp(*hit);
    if (FDragMode == RRDragFree) {
      position = point - FGrabOffset;
      // Left Control inverts the automatic alignment to what lies below.
      if (FManager.Project().KeyDown(RRVKLControl) != FManager.Project().AutoTerrainAlign())
        DropBelow(position, rotation);
    } else {
      position = FStartPosition;
      if (FDragMode == RRDragMoveX) position.x = point.x - FGrabOffset.x;
      if (FDragMode == RRDragMoveY) position.y = point.y - FGrabOffset.y;
      if (FDragMode == RRDragMoveZ) position.z = point.z - FGrabOffset.z;
    }
  } else {
    const float dx = static_cast<float>(FManager.PickCursorX() - FStartMouseX);
    const float dy = static_cast<float>(FManager.PickCursorY() - FStartMouseY);
    TGXVector3 axis{1, 0, 0};
    float angle = -0.01f * dy;
    if (FDragMode == RRDragRotateY) axis = {0, 1, 0}, angle = -0.01f * dx;
    if (FDragMode == RRDragRotateZ) axis = {0, 0, 1}, angle = 0.01f * dy;
    // From the start state every frame, so rounding never piles up into a skew.
    const TGXVector3 before = sel.Position();
    const TGXQuaternion beforeRotation = sel.GetRotation();
    SetPlacement(FStartPosition, FStartRotation);
    sel.Rotate(gx::GXQuaternionRotationAxis(axis, angle));
    sel.UpdateAll();
    position = sel.Position();
    rotation = gx::GXQuaternionNormalize(sel.GetRotation());
    SetPlacement(before, beforeRotation);
  }
  position = Clamp(position);
  if (!Finite(position) || !Finite(rotation)) return;
  if (!SamePlacement(position, rotation, sel.Position(), sel.GetRotation()))
    ApplyWithSnapping(position, rotation);
}

void TRRTransformationModifier::EndDrag() {
  if (FDragMode == RRDragNone) return;
  FDragMode = RRDragNone;
  std::unique_ptr<TRRCommand> command = std::move(FCommand);
  TRRHistory* history = FManager.Project().History();
  if (!command || !history) return;
  TRREntitySelection& sel = FManager.Selection();
  // Back where it started: nothing to record, unless a snap or a drop changed something else.
  bool changed = !SamePlacement(sel.Position(), sel.GetRotation(), FStartPosition, FStartRotation);
  for (int i = 0; !changed && i < command->ChildCount(); ++i) {
    const TRRCommand* c = command->Child(i);
    TRREntity* e = FManager.FindByID(c->BeforeID());
    changed = !e || !c->BeforeSnapshot() ||
              RecordBytes(*e->CreateDescription()) != RecordBytes(*c->BeforeSnapshot());
  }
  if (!changed) return;
  for (int i = 0; i < command->ChildCount(); ++i) {
    TRRCommand* c = command->Child(i);
    c->SetAfter(FManager.FindByID(c->BeforeID()));
  }
  history->Push(std::move(command));
}

void TRRTransformationModifier::CancelDrag() {
  if (FDragMode != RRDragNone) {
    SetPlacement(FStartPosition, FStartRotation);
    FManager.Selection().RelinkAll();
  }
  FDragMode = RRDragNone;
  FCommand.reset();
  Release();
}

// ---- placement ----

TRRTransformationModifier::TSnapQuery TRRTransformationModifier::QuerySnaps() {
  TSnapQuery q;
  float best = 0;
  std::function<void(TRREntity*)> visit = [&](TRREntity* e) {
    for (TRREntity* child : e->ChildEntities()) visit(child);
    bool snapped = false;
    TGXVector3 position = e->WorldPosition();
    TGXQuaternion rotation = e->WorldRotation();
    if (!e->Snap(snapped, position, rotation)) q.Acceptable = false;
    if (!snapped || !Finite(position) || !Finite(rotation)) return;
    const TGXVector3 translation = position - e->WorldPosition();
    const float length = gx::GXVec3Length(translation);
    if (q.Snapped && length >= best) return;
    q.Snapped = true;
    best = length;
    q.Translation = translation;
    q.Point = position;
    q.Rotation = gx::QuaternionDifference(e->WorldRotation(), rotation);
  };
  for (TRREntity* e : FManager.Selection()) visit(e);
  return q;
}

bool TRRTransformationModifier::ApplyWithSnapping(const TGXVector3& position, const TGXQuaternion& rotation) {
  TRREntitySelection& sel = FManager.Selection();
  if (sel.Empty() || !Finite(position) || !Finite(rotation)) return false;
  const TGXVector3 rememberPosition = sel.Position();
  const TGXQuaternion rememberRotation = sel.GetRotation();
  SetPlacement(position, rotation);
  const TSnapQuery first = QuerySnaps();
  if (!first.Snapped && !first.Acceptable) {
    SetPlacement(rememberPosition, rememberRotation);
    return false;
  }
  if (first.Snapped) {
    sel.Translate(first.Translation);
    for (TRREntity* e : sel) e->RotateAround(first.Rotation, first.Point, gx::TGXTransformSpace::World);
    sel.UpdateAll();
    if (!QuerySnaps().Acceptable) {
      if (!first.Acceptable) {
        SetPlacement(rememberPosition, rememberRotation);
        return false;
      }
      SetPlacement(position, rotation);
    }
  }
  sel.RelinkAll();
  return true;
}

bool TRRTransformationModifier::DropBelow(TGXVector3& position, TGXQuaternion& rotation) {
  TRREntitySelection& sel = FManager.Selection();
  // A baseboard alone is never put onto other things.
  if (sel.Count() == 1 && TRREntityManager::KindListOf(sel.First()->GetClass()) == TRREntityKindList::Panels)
    return false;
  gx::TGXScene* scene = FManager.PickScene();
  auto* project = dynamic_cast<gx::TGXSceneNode*>(FManager.Project().ProjectNode());
  if (!scene || !project) return false;
  const TGXVector3 rememberPosition = sel.Position();
  const TGXQuaternion rememberRotation = sel.GetRotation();
  SetPlacement(position, rotation);
  const gx::TGXBoundingBox box = sel.GetBounds();
  bool found = false;
  if (!box.Empty && Finite(box.Center)) {
    const TGXVector3 origin{box.Center.x, box.Center.y + 1000, box.Center.z};
    float nearest = 0;
    // Only what belongs to an entity that is not moving: never the floor, the sky or the tools.
    // One walk from the project node; its direct children must be unselected entities.
    const gx::TGXPickResult hit = scene->Pick(
        project, origin, {0, -1, 0}, [project](const gx::TGXSceneNode& node) {
          if (node.Parent() != static_cast<gx::TGXNode*>(project)) return true;
          auto* e = dynamic_cast<const TRREntity*>(&node);
          return e && !e->Selected();
        });
    if (hit.Object) {
      const float d = gx::GXVec3Length(hit.Hit - origin);
      found = d * d < 1.0e10f;
      nearest = d;
    }
    if (found) {
      const float offset = (box.Center.y - box.Min().y) - (nearest - 1000.01f);
      sel.Translate({0, offset, 0});
      sel.UpdateAll();
      position = sel.Position();
      rotation = sel.GetRotation();
    }
  }
  SetPlacement(rememberPosition, rememberRotation);
  return found;
}

// ---- the gizmo ----

void TRRTransformationModifier::UpdateGizmo() {
  if (!FGizmo) return;
  TRREntitySelection& sel = FManager.Selection();
  FGizmo->SetEnabled(FManager.TransformEnabled());
  const auto* camera = dynamic_cast<const TRRCamera*>(FManager.ActiveCamera());
  FGizmo->SetFlatView(camera && (camera->Type() == 3 || camera->Type() == 4));
  gx::TGXSceneCamera* view = FManager.ViewCamera();
  const bool shown =
      FActive && FManager.Project().GizmoEnabled() && !ModifierKeysHeld() && view && !sel.Empty();
  FGizmo->SetShown(shown);
  if (!shown) return;
  const TRRGizmoCamera c = TRRGizmoCamera::FromMatrices(view->GetViewMatrix(), view->GetProjectionMatrix());
  FGizmo->Place(sel.Centre(), c);
  FGizmo->HighlightForMode(FDragMode);
  if (FDragMode == RRDragNone) {
    const TRRGizmoHit hit = FGizmo->Pick(FManager.RayOrigin(), FManager.RayDirection(), c.Position);
    if (hit.Handle) FGizmo->SetHighlight(hit.Handle, RRGizmoHighlighted);
  }
}

}  // namespace rr
