#include "app/entities/track/RRTrackModifier.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "app/RREntityManager.h"
#include "app/RRHistory.h"
#include "app/RRInput.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/core/GXGeometry.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXRenderTarget.h"

namespace rr {

namespace {

using gx::TGXQuaternion;
using gx::TGXVector3;

int GLastMode = 0;

// A turn about a unit axis; identity about a zero axis (a normalised zero stays zero, and a
// quaternion built on it would shrink every vector it turns).
TGXQuaternion Turn(const TGXVector3& axis, float angle) {
  if (gx::GXVec3LengthSq(axis) < 0.5f || !std::isfinite(angle)) return {0, 0, 0, 1};
  return gx::GXQuaternionRotationAxis(axis, angle);
}

bool SameFlexShape(const TRRTrackRoute& route, const TRRTrackRouteDesc& saved) {
  return route.FlexPoints() == saved.FlexPoints && route.FlexOffset() == saved.FlexOffset;
}

}  // namespace

// ---- IK solver ----

void TRRTrackIKSolver::Setup(const std::vector<TGXVector3>& joints, const TGXVector3& endEffector,
                             const TGXVector3& axis, float scale) {
  FAxis = gx::GXIsFinite(axis) ? gx::GXVec3Normalize(axis) : TGXVector3{0, 0, 0};
  FScale = std::isfinite(scale) && scale > 0 ? scale : 1.0f;
  FJoints.assign(joints.size(), TJoint{});
  TGXVector3 previous{0, 0, 0};
  for (size_t i = 0; i < joints.size(); ++i) {
    FJoints[i].Offset = joints[i] - previous;
    previous = joints[i];
  }
  FEndOffset = joints.empty() ? endEffector : endEffector - joints.back();
  ForwardKinematics();
}

void TRRTrackIKSolver::ForwardKinematics() {
  // The angles share one axis, so the turn in front of a joint is the sum of the angles before it.
  TGXVector3 position{0, 0, 0};
  float total = 0;
  for (TJoint& j : FJoints) {
    position = position + gx::RotateVector(j.Offset, Turn(FAxis, total));
    j.Position = position;
    total += j.Angle;
  }
  FEndPosition = position + gx::RotateVector(FEndOffset, Turn(FAxis, total));
}

float TRRTrackIKSolver::TotalAngle(int joint) const {
  float total = 0;
  for (int i = 0; i <= joint && i < JointCount(); ++i) total += FJoints[static_cast<size_t>(i)].Angle;
  return total;
}

bool TRRTrackIKSolver::Solve(const TGXVector3& target) {
  const float toleranceSq = (0.2f * FScale) * (0.2f * FScale);
  if (FJoints.empty() || !gx::GXIsFinite(target)) return false;
  int joint = JointCount() - 1;
  for (int step = 0; step < RRTrackIKMaxIterations; ++step) {
    if (gx::DistanceSquared(FEndPosition, target) <= toleranceSq) return true;
    TJoint& j = FJoints[static_cast<size_t>(joint)];
    const TGXVector3 a = gx::GXVec3Normalize(FEndPosition - j.Position);
    const TGXVector3 b = gx::GXVec3Normalize(target - j.Position);
    // A zero direction normalises to zero: nothing to turn towards at this joint.
    if (gx::GXVec3LengthSq(a) > 0.5f && gx::GXVec3LengthSq(b) > 0.5f) {
      const float c = gx::GXVec3Dot(a, b);
      if (c < 1) {
        float angle = std::acos(std::max(c, -1.0f));
        const TGXVector3 n = gx::GXVec3Normalize(gx::GXVec3Cross(a, b));
        if (gx::GXVec3LengthSq(n) > 0.1f) {
          if (gx::GXVec3Dot(n, FAxis) < 0) angle = -angle;
          j.Angle = std::clamp(j.Angle + angle, -RRTrackIKMaxAngle, RRTrackIKMaxAngle);
          ForwardKinematics();
        }
      }
    }
    joint = joint > 0 ? joint - 1 : JointCount() - 1;
  }
  return gx::DistanceSquared(FEndPosition, target) <= toleranceSq;
}

// ---- tool ----

int TRRTrackModifier::LastMode() { return GLastMode; }

void TRRTrackModifier::SetLastMode(int mode) {
  GLastMode = mode >= 0 && mode < RRTrackToolModeCount ? mode : 0;
}

TRRTrackModifier::TRRTrackModifier(TRREntityManager& manager, int mode)
    : FManager(manager), FMode(mode >= 0 && mode < RRTrackToolModeCount ? mode : 0) {
  SetLastMode(FMode);
  int switchable = 0;
  for (TRREntity* e : manager.Selection()) {
    auto* track = dynamic_cast<TRRTrack*>(e);
    if (!track) continue;
    if (track->IsSwitchable() && ++switchable == 1) FSwitchID = track->ID();
    if (FMode != RRTrackToolNone && track->GetRouteCount() == 1 && track->Type() != TRRTrackType::Turntable)
      FTracks.push_back({track->ID(), nullptr});
  }
  if (switchable != 1) FSwitchID = 0;
  Refresh();
}

TRRTrackModifier::~TRRTrackModifier() {
  Refresh();
  if (FDragging) EndDrag();
  ReleaseCapture();
  for (TToolTrack& t : FTracks) {
    if (!t.Known) continue;
    t.Known->RemoveDestroyListener(gx::TGXMethodKey::Of(this, &TRRTrackModifier::TrackDestroyed));
    t.Known->SetHighlight(0);
  }
}

TRRTrack* TRRTrackModifier::Lookup(int32_t id) const {
  auto* track = dynamic_cast<TRRTrack*>(FManager.FindByID(id));
  return track && !track->Destroying() ? track : nullptr;
}

TRRTrackRouteContact* TRRTrackModifier::Resolve(const TContactRef& ref) const {
  TRRTrack* track = Lookup(ref.TrackID);
  TRRTrackRoute* route = track ? track->GetRoute(0) : nullptr;
  return route ? route->Contact(ref.Index) : nullptr;
}

bool TRRTrackModifier::IsToolTrack(int32_t id) const {
  return std::any_of(FTracks.begin(), FTracks.end(), [id](const TToolTrack& t) { return t.ID == id; });
}

bool TRRTrackModifier::InChain(int32_t id) const {
  return std::any_of(FChain.begin(), FChain.end(), [id](const TContactRef& c) { return c.TrackID == id; });
}

std::vector<int32_t> TRRTrackModifier::TrackIDs() const {
  std::vector<int32_t> ids;
  for (const TToolTrack& t : FTracks) ids.push_back(t.ID);
  return ids;
}

TRRTrackRouteContact* TRRTrackModifier::PickedContact() const {
  return FHasPick ? Resolve(FPicked) : nullptr;
}

TRRTrackRouteContact* TRRTrackModifier::ChainContact(int index) const {
  return Resolve(FChain.at(static_cast<size_t>(index)));
}

void TRRTrackModifier::TrackDestroyed(gx::TGXNode* node) {
  // Only flags here: the node is half destroyed and the history is in the middle of a step.
  for (TToolTrack& t : FTracks)
    if (t.Known == node) t.Known = nullptr;
  for (TSaved& s : FSaved)
    if (s.Instance == node) {
      s.Instance = nullptr;
      FDragLost = FDragging;
    }
}

void TRRTrackModifier::Refresh() {
  if (FDragLost) CancelDrag();
  for (size_t i = 0; i < FTracks.size();) {
    TToolTrack& t = FTracks[i];
    TRRTrack* track = Lookup(t.ID);
    if (!track) {
      // Deleted: it drops out, and so does a chain or pick that ran through it.
      if (t.Known)
        t.Known->RemoveDestroyListener(gx::TGXMethodKey::Of(this, &TRRTrackModifier::TrackDestroyed));
      const int32_t id = t.ID;
      FTracks.erase(FTracks.begin() + static_cast<std::ptrdiff_t>(i));
      if (!FDragging && (InChain(id) || (FHasPick && FPicked.TrackID == id))) ClearChain();
      continue;
    }
    if (track != t.Known) {
      // Made anew by undo or redo under the same ID.
      if (t.Known)
        t.Known->RemoveDestroyListener(gx::TGXMethodKey::Of(this, &TRRTrackModifier::TrackDestroyed));
      t.Known = track;
      track->AddDestroyListener(gx::TGXDestroyHandler(this, &TRRTrackModifier::TrackDestroyed));
    }
    track->SetHighlight(InChain(t.ID) ? 2 : 1);
    ++i;
  }
}

void TRRTrackModifier::Tick() { Refresh(); }

void TRRTrackModifier::Deactivate() {
  if (FDragging) EndDrag();
  ReleaseCapture();
}

void TRRTrackModifier::ReleaseCapture() {
  if (!FCaptured) return;
  FCaptured = false;
  FManager.Project().ReleaseMouse();
}

// ---- space bar ----

bool TRRTrackModifier::KeyEvent(gx::TGXRenderTarget*, uint32_t message, const TRRInputRecord&, int32_t key) {
  if (message != RRMsgKeyDown || key != RRVKSpace) return false;
  return SwitchRoute();
}

bool TRRTrackModifier::SwitchRoute() {
  TRRTrack* track = Lookup(FSwitchID);
  if (!track || !track->IsSwitchable() || track->GetRouteCount() <= 0) return false;
  TRRHistory* history = FManager.Project().History();
  std::unique_ptr<TRRCommand> command = history ? history->OpenCommand(track) : nullptr;
  track->SetActiveRoute((track->ActiveRoute() + 1) % track->GetRouteCount());
  if (command) {
    command->SetAfter(track);
    history->Push(std::move(command));
  }
  return true;
}

// ---- mouse ----

bool TRRTrackModifier::MouseEvent(gx::TGXRenderTarget* view, uint32_t message, int32_t phase,
                                  const TRRInputRecord& record, uint32_t) {
  if (phase != 0 || FMode == RRTrackToolNone) return false;
  Refresh();
  const TGXVector3& origin = FManager.RayOrigin();
  const TGXVector3& direction = FManager.RayDirection();
  switch (message) {
    case RRMsgMouseMove:
      if (!FDragging) {
        Pick(origin, direction);
        return false;
      } else {
        TGXVector3 look = direction;
        if (view && view->ViewportCount() > 0)
          if (gx::TGXSceneCamera* camera = view->Viewport(0)->Camera()) {
            const gx::TGXMatrix& v = camera->GetViewMatrix();
            look = {v.m[0][2], v.m[1][2], v.m[2][2]};
          }
        DragTo(origin, direction, look);
        return true;
      }
    case RRMsgLButtonDown:
      if (FDragging) return true;
      if (!Pick(origin, direction) || !BeginDrag()) return false;
      FPressX = record.X;
      FPressY = record.Y;
      return true;
    case RRMsgLButtonUp:
      if (!FDragging) return false;
      EndDrag();
      return true;
    default:
      return FDragging;
  }
}

bool TRRTrackModifier::Pick(const TGXVector3& origin, const TGXVector3& direction) {
  ClearChain();
  float best = 1e10f;
  bool found = false;
  TContactRef picked;
  for (const TToolTrack& t : FTracks) {
    TRRTrack* track = Lookup(t.ID);
    TRRTrackRoute* route = track ? track->GetRoute(0) : nullptr;
    if (!route) continue;
    for (int i = 0; i < 2; ++i) {
      TRRTrackRouteContact* contact = route->Contact(i);
      bool blocked = false;
      // A contact joined to another tool track is inside the chain, not an end to drag.
      if (TRRTrackRouteContact* partner = contact->FindPartner(blocked))
        if (partner->Route()->Track() && IsToolTrack(partner->Route()->Track()->ID())) continue;
      const std::optional<TGXVector3> hit = contact->HitTest(origin, direction);
      if (!hit) continue;
      const float d = gx::DistanceSquared(*hit, contact->GetWorldPosition());
      if (d < best) {
        best = d;
        picked = {t.ID, i};
        found = true;
      }
    }
  }
  if (found) BuildChain(picked);
  return found;
}

void TRRTrackModifier::ClearChain() {
  for (const TContactRef& c : FChain)
    if (TRRTrack* track = Lookup(c.TrackID)) track->SetHighlight(1);
  FChain.clear();
  FHasPick = false;
}

void TRRTrackModifier::BuildChain(const TContactRef& picked) {
  ClearChain();
  FPicked = picked;
  FHasPick = true;
  TContactRef last{picked.TrackID, picked.Index ^ 1};
  for (;;) {
    FChain.push_back(last);
    if (TRRTrack* track = Lookup(last.TrackID)) track->SetHighlight(2);
    if (FMode == RRTrackToolBendFlexible) break;
    TRRTrackRouteContact* end = Resolve(last);
    if (!end) break;
    bool found = false;
    for (const TToolTrack& t : FTracks) {
      if (t.ID == picked.TrackID || InChain(t.ID)) continue;
      TRRTrack* track = Lookup(t.ID);
      TRRTrackRoute* route = track ? track->GetRoute(0) : nullptr;
      if (!route) continue;
      for (int i = 0; i < 2 && !found; ++i)
        if (route->Contact(i)->Coincides(*end)) {
          last = {t.ID, i ^ 1};
          found = true;
        }
      if (found) break;
    }
    if (!found) break;
  }
}

TRRTrackRouteContact* TRRTrackModifier::FindContactNear(const TGXVector3& point) const {
  const int32_t own = FHasPick ? FPicked.TrackID : 0;
  for (TRREntity* e : FManager.Tracks()) {
    auto* track = dynamic_cast<TRRTrack*>(e);
    if (!track || track->ID() == own) continue;
    for (int r = 0; r < track->GetRouteCount(); ++r) {
      TRRTrackRoute* route = track->GetRoute(r);
      for (int i = 0; i < 2; ++i) {
        TRRTrackRouteContact* contact = route->Contact(i);
        if (contact->Enabled() &&
            gx::DistanceSquared(contact->GetWorldPosition(), point) < route->Scale() * route->Scale())
          return contact;
      }
    }
  }
  return nullptr;
}

// ---- drag ----

bool TRRTrackModifier::BeginDrag() {
  if (FDragging || FChain.empty()) return false;
  TRRTrackRouteContact* picked = PickedContact();
  if (!picked) return false;
  FSaved.clear();
  FSaved.reserve(FChain.size());
  TRRHistory* history = FManager.Project().History();
  for (const TContactRef& c : FChain) {
    TRRTrack* track = Lookup(c.TrackID);
    TRRTrackRouteContact* contact = Resolve(c);
    if (!track || !contact) {
      FSaved.clear();
      return false;
    }
    TSaved s;
    s.Position = track->Position();
    s.Rotation = track->Rotation();
    s.Scale = track->Scale();
    s.WorldPosition = track->WorldPosition();
    s.WorldRotation = track->WorldRotation();
    s.Pivot = contact->GetWorldPosition();
    s.Other = contact->GetOpposite()->GetWorldPosition();
    s.TiltAxis = gx::GXVec3Normalize(gx::GXVec3Cross({0, 1, 0}, s.Other - s.Pivot));
    s.Instance = track;
    if (history) s.Command = std::make_unique<TRRCommand>(track);
    FSaved.push_back(std::move(s));
  }
  FCommand = history ? history->OpenCommand() : nullptr;
  FPlanePoint = picked->GetWorldPosition();
  FPlaneNormal = picked->GetWorldUp();
  TRRTrackRouteContact* fixed = picked->GetOpposite();
  FFixedPosition = fixed->GetWorldPosition();
  FFixedOutward = fixed->GetWorldOutward();
  FGradientAngle = 0;
  FDragging = true;
  FDragLost = false;
  if (!FCaptured) {
    FCaptured = true;
    FManager.Project().CaptureMouse();
  }
  return true;
}

void TRRTrackModifier::Restore(TRRTrack& track, const TSaved& saved) const {
  track.SetPosition(saved.Position);
  track.SetRotation(saved.Rotation);
  track.SetScale(saved.Scale);
  track.Update(false);
}

void TRRTrackModifier::CancelDrag() {
  FDragLost = false;
  if (FDragging) {
    // Some chain tracks went back to an earlier state: the others follow to where the press found
    // them, and nothing is recorded.
    for (const TSaved& s : FSaved)
      if (s.Instance) Restore(*s.Instance, s);
  }
  FDragging = false;
  FSaved.clear();
  FCommand.reset();
  ClearChain();
  ReleaseCapture();
}

void TRRTrackModifier::EndDrag() {
  if (FDragLost) {
    CancelDrag();
    return;
  }
  if (!FDragging) return;
  FDragging = false;
  bool changed = false;
  for (size_t i = 0; i < FChain.size() && i < FSaved.size(); ++i) {
    TRRTrack* track = Lookup(FChain[i].TrackID);
    TSaved& s = FSaved[i];
    if (!track || !s.Command) continue;
    bool moved = track->Position() != s.Position || track->Rotation() != s.Rotation;
    if (!moved && s.Command->BeforeSnapshot()) {
      // A bend changes the shape, not the node.
      auto* before = dynamic_cast<const TRRTrackDesc*>(s.Command->BeforeSnapshot());
      TRRTrackRoute* route = track->GetRoute(0);
      if (before && route && before->RouteCount() > 0 && route->IsFlexible())
        moved = !SameFlexShape(*route, *before->Route(0));
    }
    changed = changed || moved;
    s.Command->SetAfter(track);
  }
  if (changed && FCommand) {
    for (TSaved& s : FSaved) FCommand->AddChild(std::move(s.Command));
    if (TRRHistory* history = FManager.Project().History()) history->Push(std::move(FCommand));
  }
  FCommand.reset();
  FSaved.clear();
  ReleaseCapture();
}

bool TRRTrackModifier::DragPlaneHit(const TGXVector3& origin, const TGXVector3& direction,
                                    TGXVector3& hit) const {
  const std::optional<TGXVector3> h =
      gx::RayPlane(origin, direction, FPlaneNormal, -gx::GXVec3Dot(FPlaneNormal, FPlanePoint), false);
  if (!h || !gx::GXIsFinite(*h)) return false;
  hit = *h;
  return true;
}

void TRRTrackModifier::DragTo(const TGXVector3& origin, const TGXVector3& direction,
                              const TGXVector3& viewDirection) {
  if (FDragLost) CancelDrag();
  if (!FDragging) return;
  if (FMode == RRTrackToolGradient) {
    // A vertical plane facing the camera.
    const TGXVector3 normal = gx::GXVec3Normalize({-viewDirection.x, 0, -viewDirection.z});
    if (gx::GXVec3LengthSq(normal) < 0.5f) return;
    FPlaneNormal = normal;
    FPlanePoint = FSaved.empty() ? FPlanePoint : FSaved.front().Other;
  }
  TGXVector3 hit;
  if (!DragPlaneHit(origin, direction, hit)) return;
  switch (FMode) {
    case RRTrackToolBendFlexible:
      DragFlexible(hit);
      break;
    case RRTrackToolBend:
      DragChain(hit);
      break;
    case RRTrackToolGradient:
      DragGradient(hit);
      break;
    default:
      break;
  }
}

void TRRTrackModifier::DragFlexible(const TGXVector3& hit) {
  TRRTrack* track = Lookup(FPicked.TrackID);
  TRRTrackRoute* route = track ? track->GetRoute(0) : nullptr;
  if (!route) return;
  TRRTrackRouteContact* foreign = FindContactNear(hit);
  const TGXVector3 target = foreign ? foreign->GetWorldPosition() : hit;
  TGXVector3 t = gx::GXVec3Normalize(hit - FFixedPosition);
  if (foreign) t = -foreign->GetWorldOutward();
  if (FPicked.Index == 1) {
    // BendFlexible refuses and keeps the shape when the ends come too close.
    route->BendFlexible(FFixedPosition, FFixedOutward, t, target);
    return;
  }
  // The start contact is the node's origin: the node moves to the target and the route is laid
  // back to the fixed end.
  const TGXVector3 position = track->Position();
  const TGXQuaternion rotation = track->Rotation();
  track->SetWorldPosition(target);
  track->SetWorldRotation({0, 0, 0, 1});
  track->Update(false);
  if (!route->BendFlexible(target, t, FFixedOutward, FFixedPosition)) {
    track->SetPosition(position);
    track->SetRotation(rotation);
    track->Update(false);
  }
}

void TRRTrackModifier::DragChain(const TGXVector3& hit) {
  TRRTrackRouteContact* foreign = FindContactNear(hit);
  const TGXVector3 target = foreign ? foreign->GetWorldPosition() : hit;
  const int n = static_cast<int>(FSaved.size());
  if (n == 0) return;
  // Joints from the far end (the root) to the picked track; the end effector is the picked contact.
  std::vector<TGXVector3> joints(static_cast<size_t>(n));
  for (int j = 0; j < n; ++j) joints[static_cast<size_t>(j)] = FSaved[static_cast<size_t>(n - 1 - j)].Pivot;
  TRRTrack* first = Lookup(FChain.front().TrackID);
  const float scale = first && first->GetRoute(0) ? first->GetRoute(0)->Scale() : 1.0f;
  FSolver.Setup(joints, FSaved.front().Other, FPlaneNormal, scale);
  FSolver.Solve(target);
  // Chain track i turns with every joint from the root up to its own far contact, which the
  // solver has already placed: the turns about one axis add up, so each track is set once
  // instead of turning it joint by joint.
  for (int i = 0; i < n; ++i) {
    TRRTrack* track = Lookup(FChain[static_cast<size_t>(i)].TrackID);
    if (!track) continue;
    const TSaved& s = FSaved[static_cast<size_t>(i)];
    const int joint = n - 1 - i;
    const TGXQuaternion q = Turn(FSolver.Axis(), FSolver.TotalAngle(joint));
    track->SetWorldPosition(FSolver.JointPosition(joint) + gx::RotateVector(s.WorldPosition - s.Pivot, q));
    track->SetWorldRotation(gx::GXQuaternionMultiply(s.WorldRotation, q));
    track->Update(false);
  }
}

void TRRTrackModifier::DragGradient(const TGXVector3& hit) {
  TRRTrackRouteContact* foreign = FindContactNear(hit);
  const TGXVector3 target = foreign ? foreign->GetWorldPosition() : hit;
  const int n = static_cast<int>(FSaved.size());
  if (n == 0) return;
  // Each chain track tilts about its own horizontal cross axis at its far contact and is moved
  // to join the track before it; the picked contact ends where the first track's opposite
  // contact goes. Worked out on the saved positions, so the nodes are set once per move.
  const float sign = FSaved.front().Other.y > target.y ? 1.0f : -1.0f;
  auto tiltEnd = [&](float a) {
    const float s = std::sin(a * 0.5f), c = std::cos(a * 0.5f);
    TGXVector3 join{0, 0, 0};
    for (int i = n - 1; i >= 0; --i) {
      const TSaved& t = FSaved[static_cast<size_t>(i)];
      const TGXVector3 pivot = i == n - 1 ? t.Pivot : join;
      // A zero axis (a vertical or zero-length track) does not tilt, as in Turn.
      const TGXQuaternion q = gx::GXVec3LengthSq(t.TiltAxis) < 0.5f
                                  ? TGXQuaternion{0, 0, 0, 1}
                                  : TGXQuaternion{t.TiltAxis.x * s, t.TiltAxis.y * s, t.TiltAxis.z * s, c};
      join = pivot + gx::RotateVector(t.Other - t.Pivot, q);
    }
    return join;
  };
  float a = 0, previous = std::numeric_limits<float>::infinity();
  for (;;) {
    a += sign * RRTrackGradientStep;
    const float h = gx::DistanceSquared(tiltEnd(a), target);
    if (!(h >= RRTrackGradientReachedSq && std::fabs(a) <= RRTrackGradientMaxAngle && h < previous)) break;
    previous = h;
  }
  FGradientAngle = a;
  TGXVector3 join{0, 0, 0};
  for (int i = n - 1; i >= 0; --i) {
    const TSaved& t = FSaved[static_cast<size_t>(i)];
    const TGXVector3 pivot = i == n - 1 ? t.Pivot : join;
    const TGXQuaternion q = Turn(t.TiltAxis, a);
    join = pivot + gx::RotateVector(t.Other - t.Pivot, q);
    TRRTrack* track = Lookup(FChain[static_cast<size_t>(i)].TrackID);
    if (!track) continue;
    track->SetWorldPosition(pivot + gx::RotateVector(t.WorldPosition - t.Pivot, q));
    track->SetWorldRotation(gx::GXQuaternionMultiply(t.WorldRotation, q));
    track->Update(false);
  }
}

}  // namespace rr
