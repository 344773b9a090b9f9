#include "app/entities/RRTrackVehicle.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <memory>
#include <unordered_map>

#include "app/RREntityManager.h"
#include "app/entities/RREntityRegistry.h"
#include "app/entities/RREntity_10.h"
#include "app/entities/RRLight.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackConnections.h"
#include "app/entities/track/RRTrackEvents.h"
#include "engine/core/GXGeometry.h"
#include "engine/core/GXSerialization.h"
#include "engine/render/GXAnimation.h"

namespace rr {

using gx::TGXQuaternion;
using gx::TGXVector3;

const char* const RRForwardAxisLabels[RRForwardAxisCount] = {"+ X", "+ Y", "+ Z", "- X", "- Y", "- Z"};

TGXVector3 RRForwardAxis(int index) {
  static const TGXVector3 axes[RRForwardAxisCount] = {{1, 0, 0},  {0, 0, 1},  {0, 1, 0},
                                                      {-1, 0, 0}, {0, 0, -1}, {0, -1, 0}};
  return axes[index >= 0 && index < RRForwardAxisCount ? index : 0];
}

TGXQuaternion RRForwardAlignment(int index) {
  const TGXVector3 axis = RRForwardAxis(index);
  // The up of a model is +Y; a model whose forward axis is Y itself takes Z as its reference.
  TGXVector3 reference{0, 1, 0};
  if (std::fabs(axis.y) > 0.5f) reference = {0, 0, 1};
  const TGXVector3 side = gx::GXVec3Cross(reference, axis);
  const TGXVector3 up = gx::GXVec3Cross(axis, side);
  return gx::QuaternionDifference(gx::QuaternionFromAxes(axis, up, side), TGXQuaternion());
}

namespace {

float Finite(float v) { return std::isfinite(v) ? v : 0.0f; }
float ClampTarget(float v) { return std::clamp(Finite(v), -RRMaxTargetSpeed, RRMaxTargetSpeed); }
float ClampCurrent(float v) { return std::clamp(Finite(v), -RRMaxCurrentSpeed, RRMaxCurrentSpeed); }

const TRRTrackVehicleDesc* AsVehicleDesc(const TRREntityDescription& d) {
  return dynamic_cast<const TRRTrackVehicleDesc*>(&d);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The box of a node's subtree in the space of an ancestor.
gx::TGXBoundingBox BoxIn(const gx::TGXSceneNode& node, const gx::TGXNode& space) {
  const gx::TGXBoundingBox& local = node.LocalBounds();
  if (local.Empty) return {};
  return gx::TransformBox(local, node.WorldMatrix() * space.InverseWorldMatrix());
}

// The same number to the last bit (a reckoning done for one may stand for the other).
bool SameBits(float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); }
bool SameBits(const TGXVector3& a, const TGXVector3& b) {
  return SameBits(a.x, b.x) && SameBits(a.y, b.y) && SameBits(a.z, b.z);
}
bool SameBits(const TGXQuaternion& a, const TGXQuaternion& b) {
  return SameBits(a.x, b.x) && SameBits(a.y, b.y) && SameBits(a.z, b.z) && SameBits(a.w, b.w);
}

// How far a coupler's walk over a step looks: a hair further than the step, since the new place
// comes from the vehicle's own advance and may lie just across a joint the walk would stop short of.
float WalkReach(float distance) { return std::fabs(distance) * (1 + 1e-4f) + 1e-4f; }

// A route change of a coupler within one step: walks from the old place over the distance and
// lists the routes met after the first one (UpToPlace cuts the list at the route actually reached).
void RoutesPassed(const TRRCouplerPlace& from, float distance, std::vector<TRRTrackRoute*>& out) {
  if (!from.Route) return;
  TRRTrackRoute* route = from.Route;
  float d = from.Distance;
  int32_t dir = from.Direction;
  float left = WalkReach(distance);
  for (int hop = 0; hop < RRMaxStalledHops; ++hop) {
    RouteLocation next;
    const float remaining = route->StepToNextRoute(dir, d, next);
    if (!(remaining < left) || next.Status != RouteLocation::Moved) return;
    left -= remaining;
    route = next.Route;
    d = next.Distance;
    dir = next.Direction;
    out.push_back(route);
  }
}

// Whether a coupler standing at place (walking inward: against its facing) stays on its route for
// the whole distance, with the margin of the walk above: then no step of the move takes it into
// another route.
bool StaysOnRoute(const TRRCouplerPlace& place, bool inward, float distance) {
  if (!place.Route) return false;
  const int32_t dir = inward ? 1 - place.Direction : place.Direction;
  const float remaining = dir == 1 ? place.Distance : place.Route->GetLength() - place.Distance;
  return remaining >= WalkReach(distance);
}

// The bucket of a stored location: the track's ID and the route's index (all vehicles without a
// track share bucket 0).
uint64_t LocationKey(int32_t trackID, int32_t routeIndex) {
  if (trackID == 0) return 0;
  return (static_cast<uint64_t>(static_cast<uint32_t>(trackID)) << 32) | static_cast<uint32_t>(routeIndex);
}

// A route an end coupler of a moving train entered or left.
struct TPassedRoute {
  bool Entered;
  TRRTrackRoute* Route;
};

// The lists a train's move works with, kept from one move to the next so that a frame of running
// trains allocates nothing. A move started from within another (by an event's handler) leases
// lists of its own.
struct TMoveScratch {
  std::vector<const TRRVehicleSocket*> Couplers;
  std::vector<TRRTrackVehicle*> Vehicles;
  std::vector<TPassedRoute> Passed;
  std::vector<TRRTrackRoute*> Routes;
  std::vector<char> Stepped;
  std::vector<float> Steps;
  std::vector<char> Whole;
};

class TMoveScratchLease {
 public:
  TMoveScratchLease() {
    std::vector<std::unique_ptr<TMoveScratch>>& free = Free();
    if (free.empty()) {
      FScratch = std::make_unique<TMoveScratch>();
    } else {
      FScratch = std::move(free.back());
      free.pop_back();
    }
  }
  ~TMoveScratchLease() {
    FScratch->Couplers.clear();
    FScratch->Vehicles.clear();
    FScratch->Passed.clear();
    FScratch->Routes.clear();
    FScratch->Stepped.clear();
    FScratch->Steps.clear();
    FScratch->Whole.clear();
    Free().push_back(std::move(FScratch));
  }
  TMoveScratchLease(const TMoveScratchLease&) = delete;
  TMoveScratchLease& operator=(const TMoveScratchLease&) = delete;
  TMoveScratch& operator*() const { return *FScratch; }

 private:
  static std::vector<std::unique_ptr<TMoveScratch>>& Free() {
    thread_local std::vector<std::unique_ptr<TMoveScratch>> free;
    return free;
  }
  std::unique_ptr<TMoveScratch> FScratch;
};

// The routes passed on the way to the route reached: the walk's list cut after the last time it
// meets that route (the walk's hair beyond the step adds at most the next route); false (the
// list left alone) when it does not meet it.
bool UpToPlace(std::vector<TRRTrackRoute*>& routes, TRRTrackRoute* reached) {
  const auto at = std::find(routes.rbegin(), routes.rend(), reached);
  if (at == routes.rend()) return false;
  routes.erase(at.base(), routes.end());
  return true;
}

}  // namespace

// The vehicles of one vehicle list by the route they stand on, so that a coupler search looks at
// the vehicles on the routes it walks over instead of testing every vehicle of the layout. Its
// members keep their bucket current; a vehicle added to or gone from the list makes it rebuilt.
struct TRRVehicleIndex {
  const TRREntityList* List = nullptr;
  std::unordered_map<uint64_t, std::vector<TRRTrackVehicle*>> Buckets;
  // The list as it was indexed (a vehicle appended changes its count and last entry).
  int ListCount = -1;
  const TRREntity* Last = nullptr;
  bool MemberGone = false;
  // The largest effective front coupler distance of a member (bounds the search's walk).
  float MaxFront = 0;
  // Which building of an index this is (unique over all of them, so a kept train notices a
  // rebuilt index even at the same address).
  uint64_t Build = 0;
};

namespace {

std::unordered_map<const TRREntityList*, std::weak_ptr<TRRVehicleIndex>>& VehicleIndexes() {
  static std::unordered_map<const TRREntityList*, std::weak_ptr<TRRVehicleIndex>> indexes;
  return indexes;
}

uint64_t NextSearchMark() {
  static uint64_t mark = 0;
  return ++mark;
}

uint64_t NextIndexBuild() {
  static uint64_t build = 0;
  return ++build;
}

// Counts what may couple or part vehicles besides their trains' own moves (see TKeptTrain): a
// train running up to another vehicle, a vehicle that cannot follow its train or changes its
// scale, vehicles made, set up, put on a route, found anew or gone, a move with a pusher.
uint64_t GTrainGeneration = 1;
void TrainsChanged() { ++GTrainGeneration; }

}  // namespace

// ---- description ----

RR_DEFINE_DESCRIPTION_CLASS(TRRTrackVehicleDesc, TRRModelDesc)

void TRRTrackVehicleDesc::LoadFromStream(gx::TGXStream& s) {
  TRRModelDesc::LoadFromStream(s);
  const int32_t version = gx::ReadInteger(s);
  if (version < 1 || version > RRTrackVehicleDescVersion) throw EUnknownEntityDescription();
  TRRTrackVehicleDesc d;
  if (version >= 2) d.ForwardAxis = gx::ReadByte(s);
  if (d.ForwardAxis >= RRForwardAxisCount) d.ForwardAxis = 0;
  d.TrackID = gx::ReadInteger(s);
  d.RouteIndex = gx::ReadInteger(s);
  d.RoutePosition = Finite(gx::ReadSingle(s));
  d.RouteDirection = gx::ReadByte(s) != 0 ? 1 : 0;
  d.HasEngine = gx::ReadBoolean(s);
  d.ChangeDirection = gx::ReadBoolean(s);
  d.UnlockSwitches = gx::ReadBoolean(s);
  if (version >= 2) d.AutomaticScaling = gx::ReadBoolean(s);
  d.TargetSpeed = ClampTarget(gx::ReadSingle(s));
  d.CurrentSpeed = ClampCurrent(gx::ReadSingle(s));
  d.Sound.ReadFromStream(s);
  d.SoundEnabled = gx::ReadBoolean(s);
  d.CockpitModel.ReadFromStream(s);
  d.CockpitOffset = Finite(gx::ReadSingle(s));
  if (version >= 3) {
    d.AdaptSpeed = gx::ReadBoolean(s);
    d.BaselineOffset = Finite(gx::ReadSingle(s));
  }
  // Nothing is taken over until everything was read.
  ForwardAxis = d.ForwardAxis;
  TrackID = d.TrackID;
  RouteIndex = d.RouteIndex;
  RoutePosition = d.RoutePosition;
  RouteDirection = d.RouteDirection;
  HasEngine = d.HasEngine;
  ChangeDirection = d.ChangeDirection;
  UnlockSwitches = d.UnlockSwitches;
  AutomaticScaling = d.AutomaticScaling;
  TargetSpeed = d.TargetSpeed;
  CurrentSpeed = d.CurrentSpeed;
  Sound = std::move(d.Sound);
  SoundEnabled = d.SoundEnabled;
  CockpitModel = std::move(d.CockpitModel);
  CockpitOffset = d.CockpitOffset;
  AdaptSpeed = d.AdaptSpeed;
  BaselineOffset = d.BaselineOffset;
}

void TRRTrackVehicleDesc::SaveToStream(gx::TGXStream& s) const {
  TRRModelDesc::SaveToStream(s);
  gx::WriteInteger(s, RRTrackVehicleDescVersion);
  gx::WriteByte(s, ForwardAxis < RRForwardAxisCount ? ForwardAxis : 0);
  gx::WriteInteger(s, TrackID);
  gx::WriteInteger(s, RouteIndex);
  gx::WriteSingle(s, RoutePosition);
  gx::WriteByte(s, RouteDirection != 0 ? 1 : 0);
  gx::WriteBoolean(s, HasEngine);
  gx::WriteBoolean(s, ChangeDirection);
  gx::WriteBoolean(s, UnlockSwitches);
  gx::WriteBoolean(s, AutomaticScaling);
  gx::WriteSingle(s, TargetSpeed);
  gx::WriteSingle(s, CurrentSpeed);
  Sound.WriteToStream(s);
  gx::WriteBoolean(s, SoundEnabled);
  CockpitModel.WriteToStream(s);
  gx::WriteSingle(s, CockpitOffset);
  gx::WriteBoolean(s, AdaptSpeed);
  gx::WriteSingle(s, BaselineOffset);
}

void TRRTrackVehicleDesc::GetPropertyAccess(TRRPropertyAccessList& list) {
  TRRModelDesc::GetPropertyAccess(list);
  list.Add<TRREntityIDRefAccess>(TrackID);
  list.Add<TRRAssetFileNameAccess>(Sound);
  list.Add<TRRModelFileNameAccess>(CockpitModel);
}

void TRRTrackVehicleDesc::AssignFrom(const TRREntityDescription& other) {
  TRRModelDesc::AssignFrom(other);
  const TRRTrackVehicleDesc* o = AsVehicleDesc(other);
  if (!o || o == this) return;
  Sound = o->Sound;
  CockpitModel = o->CockpitModel;
  CockpitOffset = o->CockpitOffset;
  BaselineOffset = o->BaselineOffset;
}

void TRRTrackVehicleDesc::LoadFromPropertyBag(const TRREntityDescription_10& bag, std::string& modelFileName) {
  TRRModelDesc::LoadFromPropertyBag(bag, modelFileName);
  if (!bag.GetIDRef("TrackID", TrackID)) bag.GetInteger("TrackID", TrackID);
  bag.GetInteger("RouteIndex", RouteIndex);
  if (bag.GetSingle("RoutePosition", RoutePosition)) RoutePosition = Finite(RoutePosition);
  int32_t direction = RouteDirection;
  if (bag.GetInteger("RouteDirection", direction)) RouteDirection = direction != 0 ? 1 : 0;
  bag.GetBoolean("HasEngine", HasEngine);
  bag.GetBoolean("ChangeDirection", ChangeDirection);
  bag.GetBoolean("UnlockSwitchs", UnlockSwitches);
  if (bag.GetSingle("TargetSpeed", TargetSpeed)) TargetSpeed = ClampTarget(TargetSpeed);
  if (bag.GetSingle("CurrentSpeed", CurrentSpeed)) CurrentSpeed = ClampCurrent(CurrentSpeed);
  if (HasEngine) bag.GetBoolean("SoundEnabled", SoundEnabled);
}

// ---- couplers ----

float TRRVehicleSocket::EffectiveDistance() const { return Vehicle ? Distance * Vehicle->WorldScaleFactor() : Distance; }

// ---- vehicle ----

RR_DEFINE_ENTITY_CLASS(TRRTrackVehicle, TRRModel)

void TRRTrackVehicle::RegisterKinds(TRRRegisteredEntityList& list) {
  list.Register(gx::TGXGuid::Parse(RRKindTrackVehicle), StaticClass(), TRRTrackVehicleDesc::StaticClass());
}

TRRTrackVehicle::TRRTrackVehicle(gx::TGXNode* parent, IRREntityManager* manager,
                                 const TRREntityDescription& description)
    : TRRModel(parent, manager, description) {
  const TRRTrackVehicleDesc defaults;
  const TRRTrackVehicleDesc* d = AsVehicleDesc(description);
  SetUp(d ? *d : defaults);
}

TRRTrackVehicle::~TRRTrackVehicle() {
  BeginDestruction();
  TrainsChanged();
  Unindex();
  FSound.reset();
}

float TRRTrackVehicle::WorldScaleFactor() const {
  // From the parent's (current) world scale and the own scale, so no update of the vehicle's
  // nodes is needed between placing and measuring.
  const gx::TGXNode* parent = Parent();
  const float s = (parent ? parent->WorldScale().x : 1.0f) * Scale().x;
  return std::isfinite(s) && s > 0 ? s : 1.0f;
}

const TRREntityList* TRRTrackVehicle::VehicleList() const {
  auto* m = dynamic_cast<TRREntityManager*>(Manager());
  return m ? &m->Vehicles() : nullptr;
}

const TRREntityList* TRRTrackVehicle::TrackList() const {
  auto* m = dynamic_cast<TRREntityManager*>(Manager());
  return m ? &m->Tracks() : nullptr;
}

void TRRTrackVehicle::FindParts() {
  gx::TGXSceneNode* model = ModelEntity();
  if (!model) return;
  std::vector<gx::TGXNode*> stack{model};
  while (!stack.empty()) {
    gx::TGXNode* n = stack.back();
    stack.pop_back();
    for (gx::TGXNode* child : n->Children()) stack.push_back(child);
    auto* node = dynamic_cast<gx::TGXSceneNode*>(n);
    if (!node) continue;
    FParts.push_back(node);
    if (node == model) continue;
    const std::string name = Lower(node->Name());
    if (name == "rad0" && !FBogies[0]) FBogies[0] = node;
    else if (name == "rad1" && !FBogies[1]) FBogies[1] = node;
    else if (name.rfind("radanim", 0) == 0) FWheels.push_back(node);
    else if (name.rfind("lk", 0) == 0) FLightCones.push_back(node);
  }
  // A deterministic order, whatever the walk.
  auto byName = [](gx::TGXSceneNode* a, gx::TGXSceneNode* b) { return a->Name() < b->Name(); };
  std::sort(FWheels.begin(), FWheels.end(), byName);
  std::sort(FLightCones.begin(), FLightCones.end(), byName);
  for (gx::TGXSceneNode* cone : FLightCones) cone->SetVisible(false);
  for (gx::TGXSceneNode* wheel : FWheels) FWheelRest.push_back(wheel->Rotation());
  FWheelAngle.assign(FWheels.size(), 0.0f);
  if (!FBogies[0] || !FBogies[1]) FBogies[0] = FBogies[1] = nullptr;
}

namespace {

// A hint only: the lines of the block are asked for, nothing is read. Level 3 brings them into
// every cache level, level 2 only as far as the second (for what is needed a little later).
template <int Level = 3>
inline void FetchLines(const void* block, size_t size) {
  const char* p = static_cast<const char*>(block);
  for (size_t at = 0; at < size; at += 64) __builtin_prefetch(p + at, 0, Level);
}

// The same for the child lists of the nodes (their storage, packed boxes and revisions), once the
// nodes are there.
template <int Level = 3>
inline void FetchChildLists(const std::vector<gx::TGXSceneNode*>& nodes) {
  for (const gx::TGXSceneNode* node : nodes) {
    if (node->ChildCount() == 0) continue;
    __builtin_prefetch(node->Children().data(), 0, Level);
    __builtin_prefetch(node->ChildExtents().data(), 0, Level);
    __builtin_prefetch(node->ChildRevisions().data(), 0, Level);
  }
}

}  // namespace

void TRRTrackVehicle::FetchAhead() const {
  FetchLines(this, sizeof(*this));
  for (const gx::TGXSceneNode* node : FParts) FetchLines(node, sizeof(gx::TGXSceneNode));
}

namespace {

// The train that moved last in the current pass over the entities: its next move in the next
// pass names the train after it, whose memory is then asked for while it moves.
struct TLastMover {
  const IRREntityManager* Manager = nullptr;
  int32_t ID = 0;
} GLastMover;

}  // namespace

const TRRTrackVehicle* TRRTrackVehicle::NoteMoveOrder() {
  IRREntityManager* m = Manager();
  if (!m) return nullptr;
  if (GLastMover.Manager == m && GLastMover.ID != ID())
    if (auto* last = dynamic_cast<TRRTrackVehicle*>(m->FindByID(GLastMover.ID))) last->FNextMoverID = ID();
  GLastMover = {m, ID()};
  if (FNextMoverID == ID()) return nullptr;
  // Only a kept train whose vehicles all still exist is followed.
  const auto* next = dynamic_cast<const TRRTrackVehicle*>(m->FindByID(FNextMoverID));
  return next && next->KeptTrainIntact() ? next : nullptr;
}

void TRRTrackVehicle::FetchTrainLater(int stage) const {
  // In stages, each reading only what the one before asked for, so that none waits: the
  // vehicles, then where their node lists and routes lie, then the nodes, then their child lists.
  // Into the second-level cache only: this train is not needed before the current one is done.
  // Asked again at every stage: what ran in between may have changed the make-up.
  if (!KeptTrainIntact()) return;
  // Neighbours mostly share their route: each route is asked for once.
  const TRRTrackRoute* lastRoute = nullptr;
  for (const TRRTrackVehicle* v : FKeptTrain.Vehicles) {
    // Not before stage 1: in stage 0 the vehicle is only being asked for, and reading it would wait.
    const TRRTrackRoute* route = stage == 1 || stage == 2 ? v->KeptRouteNow() : nullptr;
    switch (stage) {
      case 0:
        FetchLines<2>(v, sizeof(*v));
        break;
      case 1:
        FetchLines<2>(v->FParts.data(), v->FParts.size() * sizeof(v->FParts[0]));
        if (route && route != lastRoute) FetchLines<2>(route, sizeof(*route));
        break;
      case 2:
        for (const gx::TGXSceneNode* node : v->FParts) FetchLines<2>(node, sizeof(gx::TGXSceneNode));
        // What the rail queries read besides the route: its ends and its track's placement.
        if (route && route != lastRoute) {
          for (int i = 0; i < 2; ++i)
            if (const TRRTrackRouteContact* contact = route->Contact(i))
              FetchLines<2>(contact, sizeof(*contact));
          if (route->Track()) FetchLines<2>(route->Track(), sizeof(TRRTrack));
        }
        break;
      default:
        FetchChildLists<2>(v->FParts);
    }
    lastRoute = route;
  }
}

void TRRTrackVehicle::SetUp(const TRRTrackVehicleDesc& d) {
  TrainsChanged();
  FForwardAxis = d.ForwardAxis < RRForwardAxisCount ? d.ForwardAxis : 0;
  FAlignment = RRForwardAlignment(FForwardAxis);
  FBodyTurn = FBogieTurn[0] = FBogieTurn[1] = TTurnFrom();
  FCreationRotation = Rotation();
  FBaselineOffset = d.BaselineOffset;
  FCouplers[0] = {this, 0, 0};
  FCouplers[1] = {this, 1, 0};

  // 1.-4. Named model nodes, pivot and couplers, in model space (the node's own).
  FindParts();
  Update(true);
  const TGXVector3 axis = RRForwardAxis(FForwardAxis);
  gx::TGXBoundingBox box;
  if (gx::TGXSceneNode* model = ModelEntity()) box = BoxIn(*model, *this);
  if (!box.Empty) {
    const TGXVector3 centre = (box.Min() + box.Max()) * 0.5f;
    const std::optional<gx::TGXInterval> along = gx::ProjectBox(box, axis);
    const float extent = along ? along->Max - along->Min : 0.0f;
    const TGXVector3 front = centre + axis * (extent * 0.5f), rear = centre - axis * (extent * 0.5f);
    if (FBogies[0]) {
      TGXVector3 p[2];
      float lowest = 1e30f;
      for (int i = 0; i < 2; ++i) {
        p[i] = gx::GXVec3TransformCoord(FBogies[i]->WorldPosition(), InverseWorldMatrix());
        const gx::TGXBoundingBox b = BoxIn(*FBogies[i], *this);
        lowest = std::min(lowest, b.Empty ? p[i].y : b.Min().y);
      }
      // Bogie 0 is the one nearer the front end.
      if (gx::GXVec3LengthSq(p[1] - front) < gx::GXVec3LengthSq(p[0] - front)) {
        std::swap(FBogies[0], FBogies[1]);
        std::swap(p[0], p[1]);
      }
      FPivot = (p[0] + p[1]) * 0.5f;
      FPivot.y = lowest - FBaselineOffset;
      FHalfBogieDistance = gx::GXVec3Length(p[0] - p[1]) * 0.5f;
    } else {
      FPivot = {centre.x, box.Min().y - FBaselineOffset, centre.z};
      FHalfBogieDistance = 0.2f * extent;
    }
    FCouplers[0].Distance = std::max(0.0f, gx::GXVec3Dot(front - FPivot, axis));
    FCouplers[1].Distance = std::max(0.0f, gx::GXVec3Dot(FPivot - rear, axis));
  }
  for (int i = 0; i < 2; ++i)
    if (FBogies[i]) FBogieRest[i] = FBogies[i]->Rotation();

  // 5. The model's animation (doors, a pantograph) runs by the vehicle's speed, not on its own.
  if (gx::TGXAnimationController* c = OwnController()) {
    c->SetSecondsPerFrame(0.04f);
    c->SetEndFrame(20);
    c->SetLoop(false);
    c->SetTime(0);
    SetHasAnimation(false);
  }

  // 6. Location, flags and speeds.
  FTrackID = d.TrackID;
  FRouteIndex = d.RouteIndex;
  FRoutePosition = Finite(d.RoutePosition);
  FRouteDirection = d.RouteDirection != 0 ? 1 : 0;
  FHasEngine = d.HasEngine;
  FChangeDirection = d.ChangeDirection;
  FUnlockSwitches = d.UnlockSwitches;
  FAutomaticScaling = d.AutomaticScaling;
  FAdaptSpeed = d.AdaptSpeed;
  FCockpitModel = d.CockpitModel;
  FCockpitOffset = d.CockpitOffset;
  SetCurrentSpeed(d.CurrentSpeed);
  if (FHasEngine) {
    FSoundFile = d.Sound;
    SetSoundEnabled(d.SoundEnabled);
  }

  // 7. The cab camera of a locomotive.
  if (FHasEngine && !FCockpitModel.Model.IsEmpty() && Manager()) {
    auto* manager = dynamic_cast<TRREntityManager*>(Manager());
    FCockpitNode = new gx::TGXSceneNode("Cockpit", this);
    if (!box.Empty) FCockpitNode->SetPosition((box.Min() + box.Max()) * 0.5f);
    // The cab looks along the vehicle's forward axis (a quarter turn about Y for "+ X" models).
    FCockpitNode->SetRotation(gx::GXQuaternionInverse(FAlignment));
    if (manager) {
      TRRCockpitDesc cab;
      cab.Name().SetUserText(Name());
      cab.CockpitModel() = FCockpitModel;
      cab.SetCockpitOffset(FCockpitOffset);
      cab.SetID(manager->NextID());
      manager->ReserveIDs(1);
      FCockpit = dynamic_cast<TRRCockpit*>(manager->CreateEntity(FCockpitNode, cab));
    }
    FCockpitNode->Update(true);
    const float depth = RRCockpitOffsetDivisor(FCockpitNode->LocalBounds());
    const float s = 1.0f / depth;
    if (std::isfinite(s)) FCockpitNode->SetScale({s, s, s});
  }
  SetTargetSpeed(d.TargetSpeed);

  // 8.
  UpdatePlacement();
}

std::unique_ptr<TRREntityDescription> TRRTrackVehicle::CreateDescription() const {
  std::unique_ptr<TRREntityDescription> base = TRRModel::CreateDescription();
  if (auto* d = dynamic_cast<TRRTrackVehicleDesc*>(base.get())) {
    d->ForwardAxis = FForwardAxis;
    d->TrackID = FTrackID;
    d->RouteIndex = FRouteIndex;
    d->RoutePosition = FRoutePosition;
    d->RouteDirection = static_cast<uint8_t>(FRouteDirection);
    d->HasEngine = FHasEngine;
    d->ChangeDirection = FChangeDirection;
    d->UnlockSwitches = FUnlockSwitches;
    d->AutomaticScaling = FAutomaticScaling;
    d->TargetSpeed = FTargetSpeed;
    d->CurrentSpeed = FCurrentSpeed;
    d->AdaptSpeed = FAdaptSpeed;
    d->Sound = FSoundFile;
    d->SoundEnabled = FSoundEnabled;
    d->CockpitModel = FCockpitModel;
    d->CockpitOffset = FCockpitOffset;
    d->BaselineOffset = FBaselineOffset;
  }
  return base;
}

// ---- speeds ----

void TRRTrackVehicle::SetTargetSpeed(float value) {
  FTargetSpeed = ClampTarget(value);
  if (FCockpit) FCockpit->SetControlSpeed(FTargetSpeed);
}

void TRRTrackVehicle::SetCurrentSpeed(float value) { FCurrentSpeed = ClampCurrent(value); }

void TRRTrackVehicle::Stop() {
  SetTargetSpeed(0);
  FCurrentSpeed = 0;
}

void TRRTrackVehicle::Reverse() {
  SetTargetSpeed(-FTargetSpeed);
  FCurrentSpeed = 0;
}

// ---- location ----

void TRRTrackVehicle::PlaceOnRoute(TRRTrackRoute* route, float distance) {
  if (!route || !route->Track()) return;
  TrainsChanged();
  FTrackID = route->Track()->ID();
  FRouteIndex = route->Index();
  Reindex();
  FRoutePosition = std::clamp(Finite(distance), 0.0f, route->GetLength());
  FRouteDirection = 0;
  UpdatePlacement();
}

TGXVector3 TRRTrackVehicle::WorldPivot() const {
  // From the own local placement and the parent's world matrix: current right after a placement,
  // before the scene's next update.
  const TGXVector3& s = Scale();
  const TGXVector3 local =
      Position() + gx::RotateVector(TGXVector3{FPivot.x * s.x, FPivot.y * s.y, FPivot.z * s.z}, Rotation());
  const gx::TGXNode* parent = Parent();
  return parent ? gx::GXVec3TransformCoord(local, parent->WorldMatrix()) : local;
}

const TRRTrackRoute* TRRTrackVehicle::KeptRouteNow() const {
  return FKeptRoute && FKeptAt == RRTrackLayoutGeneration() && FKeptManager == Manager() ? FKeptRoute
                                                                                         : nullptr;
}

TRRTrackRoute* TRRTrackVehicle::StoredRoute() const {
  // A train's every step asks for the route several times: the look-up by ID is kept.
  const uint64_t generation = RRTrackLayoutGeneration();
  TRRTrackRoute* route = nullptr;
  if (FKeptRoute && FKeptAt == generation && FKeptTrackID == FTrackID && FKeptRouteIndex == FRouteIndex &&
      FKeptManager == Manager()) {
    route = FKeptRoute;
  } else if (Manager()) {
    if (auto* track = dynamic_cast<TRRTrack*>(Manager()->FindByID(FTrackID)))
      route = track->GetRoute(FRouteIndex);
    // Only a route found is kept: a track that appears later need not change the generation
    // before it is asked for.
    FKeptRoute = route;
    FKeptManager = Manager();
    FKeptAt = generation;
    FKeptTrackID = FTrackID;
    FKeptRouteIndex = FRouteIndex;
  }
  if (route && FRoutePosition >= 0 && FRoutePosition <= route->GetLength()) return route;
  return nullptr;
}

TRRTrackRoute* TRRTrackVehicle::GetRoute() {
  if (TRRTrackRoute* route = StoredRoute()) return route;
  TrainsChanged();
  const TRREntityList* tracks = TrackList();
  TRRNearestRoute found;
  if (tracks) found = FindNearestRoute(*tracks, WorldPivot(), RRVehicleFindRadius);
  if (!found.Route || !found.Route->Track()) {
    FTrackID = 0;
    Reindex();
    return nullptr;
  }
  FTrackID = found.Route->Track()->ID();
  FRouteIndex = found.Route->Index();
  Reindex();
  FRoutePosition = found.Distance;
  // The way the vehicle faces now decides its direction on the route.
  const TGXVector3 forward = gx::RotateVector(RRForwardAxis(FForwardAxis), WorldRotation());
  FRouteDirection = gx::GXVec3Dot(forward, found.Route->GetWorldTangent(found.Distance)) < 0 ? 1 : 0;
  return found.Route;
}

void TRRTrackVehicle::UpdatePlacement() {
  TRRTrackRoute* route = GetRoute();
  if (!route) return;
  if (FAutomaticScaling && route->Track()) {
    const float s = route->Track()->SystemScale();
    if (std::isfinite(s) && s > 0) SetScale({s, s, s});
  }
  // The node is placed from its parent's world values and carried into world space (with its
  // bogies) once: by the train after its last step, else by the scene's next update.
  const float scale = WorldScaleFactor();
  const float d = FRoutePosition;
  const int32_t dir = FRouteDirection;
  RouteLocation points[2];
  points[0] = route->Advance(dir, FHalfBogieDistance * scale, d);
  points[1] = route->Advance(1 - dir, FHalfBogieDistance * scale, d);
  // The rails at both bogie points: their positions place the body, their directions the bogies.
  TRRTrackRoute::TWorldRailFrame rails[2];
  for (int i = 0; i < 2; ++i)
    if (points[i].Status == RouteLocation::Moved && points[i].Route)
      rails[i] = points[i].Route->GetWorldRailFrame(points[i].Distance);
  TGXVector3 centre, forward;
  bool fromBogies = points[0].Status == RouteLocation::Moved && points[1].Status == RouteLocation::Moved &&
                    points[0].Route && points[1].Route;
  if (fromBogies) {
    const TGXVector3& a = rails[0].RailPosition;
    const TGXVector3& b = rails[1].RailPosition;
    const TGXVector3 between = a - b;
    // Coincident bogie points (no bogie distance) give no direction: the rail's tangent does.
    if (gx::GXVec3Length(between) < 1e-4f * scale) {
      fromBogies = false;
    } else {
      forward = gx::GXVec3Normalize(between);
      centre = (a + b) * 0.5f;
    }
  }
  if (!fromBogies) {
    centre = route->GetWorldRailPosition(d);
    forward = route->GetWorldTangent(d);
    if (dir == 1) forward = -forward;
  }
  const TGXVector3 railUp = route->GetWorldUp(d);
  // The same direction and up as at the last placement (a train on a straight piece): the same turn.
  TTurnFrom& last = FBodyTurn;
  if (!last.Valid || !SameBits(forward, last.Forward) || !SameBits(railUp, last.Up)) {
    const TGXVector3 side = gx::GXVec3Normalize(gx::GXVec3Cross(railUp, forward));
    const TGXVector3 up = gx::GXVec3Normalize(gx::GXVec3Cross(forward, side));
    const TGXQuaternion turn =
        gx::GXQuaternionMultiply(FAlignment, gx::QuaternionFromAxes(forward, up, side));
    last = {true, true, forward, railUp, {}, {}, turn};
  }
  const TGXQuaternion rotation = last.Turn;
  if (!gx::GXIsFinite(rotation) || !gx::GXIsFinite(centre)) return;
  SetWorldRotation(rotation);
  SetWorldPosition(centre - gx::RotateVector(FPivot, rotation) * scale);
  PlaceBogies(points, rails, forward, rotation);
  if (FIndex) FIndex->MaxFront = std::max(FIndex->MaxFront, FCouplers[0].EffectiveDistance());
}

void TRRTrackVehicle::PlaceBogies(const RouteLocation* points, const TRRTrackRoute::TWorldRailFrame* rails,
                                  const TGXVector3& vehicleForward, const TGXQuaternion& vehicleRotation) {
  // The turn of a bogie's parent, worked out once for bogies that share their parent.
  const gx::TGXNode* turnOf = nullptr;
  TGXQuaternion parentWorld, parentTurnInverse;
  bool haveInverse = false;
  // The rail's direction and up at the bogie before, and the turn made of them: on a straight
  // piece both bogies find the same bits, and the same reckoning gives the same turn.
  bool haveFrame = false;
  TGXVector3 frameForward, frameUp;
  TGXQuaternion world;
  // The last bogie's rest and the local turn made of it, world and the parent's turn.
  bool haveLocal = false, localFinite = false;
  TGXQuaternion localRest, local;
  for (int i = 0; i < 2; ++i) {
    gx::TGXSceneNode* bogie = FBogies[i];
    if (!bogie) continue;
    const RouteLocation& p = points[i];
    if (p.Status != RouteLocation::Moved || !p.Route) {
      bogie->SetRotation(FBogieRest[i]);
      continue;
    }
    TGXVector3 forward = rails[i].Tangent;
    // Both bogies face the way the vehicle does: on a straight track each is at rest.
    if (gx::GXVec3Dot(forward, vehicleForward) < 0) forward = -forward;
    const TGXVector3& railUp = rails[i].Up;
    // The bogie's parent turns with the vehicle: its own turn within the model, then the vehicle's.
    bool newParent = false;
    if (!turnOf || turnOf != bogie->Parent()) {
      newParent = true;
      turnOf = bogie->Parent();
      parentWorld = TGXQuaternion();
      for (const gx::TGXNode* n = bogie->Parent(); n && n != this; n = n->Parent())
        parentWorld = gx::GXQuaternionMultiply(parentWorld, n->Rotation());
      parentWorld = gx::GXQuaternionMultiply(parentWorld, vehicleRotation);
      haveInverse = false;
    }
    // The same rails, parent turn and rest as at the bogie's last placement: the same turn.
    TTurnFrom& last = FBogieTurn[i];
    if (last.Valid && SameBits(forward, last.Forward) && SameBits(railUp, last.Up) &&
        SameBits(parentWorld, last.ParentWorld) && SameBits(FBogieRest[i], last.Rest)) {
      if (last.Apply) bogie->SetRotation(last.Turn);
      continue;
    }
    bool same = haveFrame && SameBits(forward, frameForward) && SameBits(railUp, frameUp);
    if (!same) {
      const TGXVector3 side = gx::GXVec3Normalize(gx::GXVec3Cross(railUp, forward));
      const TGXVector3 up = gx::GXVec3Normalize(gx::GXVec3Cross(forward, side));
      world = gx::GXQuaternionMultiply(FAlignment, gx::QuaternionFromAxes(forward, up, side));
      haveFrame = true;
      frameForward = forward;
      frameUp = railUp;
    }
    if (newParent) same = false;
    if (!haveInverse) {
      parentTurnInverse = gx::GXQuaternionInverse(parentWorld);
      haveInverse = true;
    }
    if (!same || !haveLocal || !SameBits(FBogieRest[i], localRest)) {
      local = gx::GXQuaternionMultiply(gx::GXQuaternionMultiply(FBogieRest[i], world), parentTurnInverse);
      localFinite = gx::GXIsFinite(local);
      if (localFinite) local = gx::GXQuaternionNormalize(local);
      haveLocal = true;
      localRest = FBogieRest[i];
    }
    last = {true, localFinite, forward, railUp, parentWorld, FBogieRest[i], local};
    if (localFinite) bogie->SetRotation(local);
  }
}

bool TRRTrackVehicle::IsOnTrack(int32_t trackID) {
  TRRTrackRoute* route = GetRoute();
  if (!route) return false;
  if (route->Track() && route->Track()->ID() == trackID) return true;
  const float reach = FCouplers[0].EffectiveDistance();
  for (int32_t dir : {0, 1}) {
    TRRTrackRoute* r = route;
    float d = FRoutePosition, walked = 0;
    int32_t dd = dir;
    for (int hop = 0; hop < RRMaxStalledHops; ++hop) {
      RouteLocation next;
      walked += r->StepToNextRoute(dd, d, next);
      if (!(walked <= reach) || next.Status != RouteLocation::Moved || !next.Route) break;
      if (next.Route->Track() && next.Route->Track()->ID() == trackID) return true;
      r = next.Route;
      d = next.Distance;
      dd = next.Direction;
    }
  }
  return false;
}

bool TRRTrackVehicle::Snap(bool& snapped, TGXVector3& position, TGXQuaternion& rotation) {
  snapped = false;
  std::vector<const TRREntity*> dragged;
  if (auto* m = dynamic_cast<TRREntityManager*>(Manager()))
    for (int i = 0; i < m->Selection().Count(); ++i) dragged.push_back(m->Selection().Item(i));
  const TGXVector3 pivot = position + gx::RotateVector(FPivot, rotation) * WorldScaleFactor();
  TGXVector3 rail;
  if (!SnapPivot(pivot, rail, dragged)) return true;
  position = position + (rail - pivot);
  snapped = true;
  return true;
}

bool TRRTrackVehicle::SnapPivot(const TGXVector3& pivot, TGXVector3& snapped,
                                const std::vector<const TRREntity*>& excluded) const {
  const TRREntityList* tracks = TrackList();
  if (!tracks) return false;
  auto outermost = [](const gx::TGXNode* n) {
    const TRREntity* top = nullptr;
    for (; n; n = n->Parent())
      if (auto* e = dynamic_cast<const TRREntity*>(n)) top = e;
    return top;
  };
  const TRREntity* own = outermost(this);
  const TRRNearestRoute found = FindNearestRoute(*tracks, pivot, RRVehicleSnapRadius, [&](const TRRTrack& t) {
    const TRREntity* top = outermost(&t);
    return top != own && std::find(excluded.begin(), excluded.end(), top) == excluded.end();
  });
  if (!found.Route) return false;
  snapped = found.Route->GetWorldRailPosition(found.Distance);
  return gx::GXIsFinite(snapped);
}

void TRRTrackVehicle::Relink() {
  TRRModel::Relink();
  FTrackID = 0;
  Reindex();
  UpdatePlacement();
  if (!GetRoute()) return;
  // Close up to the vehicles just ahead and behind.
  for (int side = 0; side < 2; ++side) {
    float gap = 0;
    const TRRVehicleSocket* facing = nullptr;
    TRRTrackVehicle* other = FindCoupledVehicle(side, 1.5f, gap, &facing);
    if (!other || !facing || gap <= 0) continue;
    other->Move(&FCouplers[side], facing->Index == 0 ? gap : -gap);
  }
}

// ---- couplers and trains ----

TRRCouplerPlace TRRTrackVehicle::CouplerPlace(int index) {
  TRRCouplerPlace place;
  TRRTrackRoute* route = GetRoute();
  if (!route) return place;
  const int32_t outward = (index & 1) == 0 ? FRouteDirection : 1 - FRouteDirection;
  const RouteLocation at = route->Advance(outward, FCouplers[index & 1].EffectiveDistance(), FRoutePosition);
  if (at.Status != RouteLocation::Moved || !at.Route) return place;
  place.Route = at.Route;
  place.Distance = at.Distance;
  place.Direction = at.Direction;
  return place;
}

std::shared_ptr<TRRVehicleIndex> TRRTrackVehicle::IndexFor(const TRREntityList& vehicles) {
  const TRREntity* last = vehicles.Empty() ? nullptr : vehicles.Item(vehicles.Count() - 1);
  std::shared_ptr<TRRVehicleIndex> index = FIndex && FIndex->List == &vehicles ? FIndex : nullptr;
  if (!index) {
    auto& all = VehicleIndexes();
    index = all[&vehicles].lock();
    if (!index) {
      std::erase_if(all, [](const auto& entry) { return entry.second.expired(); });
      index = std::make_shared<TRRVehicleIndex>();
      index->List = &vehicles;
      all[&vehicles] = index;
    }
  }
  if (!index->MemberGone && index->ListCount == vehicles.Count() && index->Last == last) return index;
  // Rebuilt from the list as it is now.
  for (auto& [key, bucket] : index->Buckets)
    for (TRRTrackVehicle* v : bucket) v->FIndex.reset();
  index->Buckets.clear();
  index->MaxFront = 0;
  for (TRREntity* e : vehicles) {
    auto* v = dynamic_cast<TRRTrackVehicle*>(e);
    if (!v) continue;
    v->Unindex();
    v->FIndex = index;
    v->FIndexKey = LocationKey(v->FTrackID, v->FRouteIndex);
    std::vector<TRRTrackVehicle*>& bucket = index->Buckets[v->FIndexKey];
    v->FIndexBucket = &bucket;
    v->FIndexSlot = bucket.size();
    bucket.push_back(v);
    index->MaxFront = std::max(index->MaxFront, v->FCouplers[0].EffectiveDistance());
  }
  index->ListCount = vehicles.Count();
  index->Last = last;
  index->MemberGone = false;
  index->Build = NextIndexBuild();
  return index;
}

bool TRRTrackVehicle::IndexCurrent(const TRRVehicleIndex& index, const TRREntityList& vehicles) {
  return index.List == &vehicles && !index.MemberGone && index.ListCount == vehicles.Count() &&
         index.Last == (vehicles.Empty() ? nullptr : vehicles.Item(vehicles.Count() - 1));
}

void TRRTrackVehicle::Unindex() {
  if (!FIndex) return;
  std::shared_ptr<TRRVehicleIndex> index = std::move(FIndex);
  FIndex.reset();
  auto it = index->Buckets.find(FIndexKey);
  if (it != index->Buckets.end() && FIndexSlot < it->second.size() && it->second[FIndexSlot] == this) {
    std::vector<TRRTrackVehicle*>& bucket = it->second;
    bucket[FIndexSlot] = bucket.back();
    bucket[FIndexSlot]->FIndexSlot = FIndexSlot;
    bucket.pop_back();
  }
  index->MemberGone = true;
}

void TRRTrackVehicle::Reindex() {
  if (!FIndex) return;
  const uint64_t key = LocationKey(FTrackID, FRouteIndex);
  if (key == FIndexKey) return;
  std::vector<TRRTrackVehicle*>& old = FIndex->Buckets[FIndexKey];
  if (FIndexSlot < old.size() && old[FIndexSlot] == this) {
    old[FIndexSlot] = old.back();
    old[FIndexSlot]->FIndexSlot = FIndexSlot;
    old.pop_back();
  }
  std::vector<TRRTrackVehicle*>& bucket = FIndex->Buckets[key];
  FIndexKey = key;
  FIndexBucket = &bucket;
  FIndexSlot = bucket.size();
  bucket.push_back(this);
}

void TRRTrackVehicle::ConsiderByWalk(TRRTrackVehicle* w, TRRTrackRoute* start, int32_t walkDir, float own,
                                     float limit, const gx::TGXBoundingSphere& reach, float& gap,
                                     TRRTrackVehicle*& best, const TRRVehicleSocket** facing) {
  if (!gx::SpheresIntersect(reach, gx::SphereFromBox(w->WorldBounds()))) return;
  TRRTrackRoute* target = w->GetRoute();
  if (!target) return;
  const float maxWalk =
      1.1f * (1.5f * std::fabs(limit) + FCouplers[0].EffectiveDistance() + w->FCouplers[0].EffectiveDistance());
  // Walk from this vehicle's position until w's route is met ahead.
  TRRTrackRoute* route = start;
  float d = FRoutePosition, walked = 0;
  int32_t dir = walkDir;
  bool found = false;
  for (int hop = 0; hop <= RRMaxStalledHops; ++hop) {
    if (route == target) {
      const float along = dir == 0 ? w->FRoutePosition - d : d - w->FRoutePosition;
      if (along >= 0) {
        walked += along;
        found = true;
        break;
      }
    }
    RouteLocation next;
    walked += route->StepToNextRoute(dir, d, next);
    if (!(walked <= maxWalk) || next.Status != RouteLocation::Moved || !next.Route) break;
    route = next.Route;
    d = next.Distance;
    dir = next.Direction;
  }
  if (!found || !(walked <= maxWalk)) return;
  // The coupler of w that faces this vehicle: its front when w is turned against the walk.
  const TRRVehicleSocket& theirs = w->FCouplers[w->FRouteDirection != dir ? 0 : 1];
  const float g = walked - own - theirs.EffectiveDistance();
  if (g <= limit && g < gap) {
    gap = g;
    best = w;
    if (facing) *facing = &theirs;
  }
}

TRRTrackVehicle* TRRTrackVehicle::FindCoupledVehicle(int couplerIndex, float limit, float& gap,
                                                     const TRRVehicleSocket** facing) {
  gap = 1e10f;
  if (facing) *facing = nullptr;
  const TRREntityList* vehicles = VehicleList();
  TRRTrackRoute* start = GetRoute();
  if (!vehicles || !start || !std::isfinite(limit)) return nullptr;
  const int32_t walkDir = (couplerIndex & 1) == 0 ? FRouteDirection : 1 - FRouteDirection;
  const float own = FCouplers[couplerIndex & 1].EffectiveDistance();
  gx::TGXBoundingSphere reach = gx::SphereFromBox(WorldBounds());
  if (reach.Empty) return nullptr;
  reach.Radius += 1.5f * std::fabs(limit);
  // The own index when it is current (no reference counted per search), else the one made now.
  std::shared_ptr<TRRVehicleIndex> made;
  TRRVehicleIndex* index = FIndex.get();
  if (!index || !IndexCurrent(*index, *vehicles)) {
    made = IndexFor(*vehicles);
    index = made.get();
  }
  const uint64_t mark = NextSearchMark();
  FSearchMark = mark;

  // What the search over every vehicle in list order found: the smallest gap, of equal gaps the
  // vehicle listed first.
  TRRTrackVehicle* best = nullptr;
  const TRRVehicleSocket* bestFacing = nullptr;
  auto take = [&](TRRTrackVehicle* w, float candidateGap, const TRRVehicleSocket* theirs) {
    if (best && candidateGap == gap && vehicles->IndexOf(w) > vehicles->IndexOf(best)) return;
    gap = candidateGap;
    best = w;
    bestFacing = theirs;
  };
  // Vehicles whose stored place is no route: each looks for its route and is walked to alone.
  std::vector<TRRTrackVehicle*> alone;
  if (auto it = index->Buckets.find(0); it != index->Buckets.end())
    for (TRRTrackVehicle* w : it->second)
      if (w->FSearchMark != mark) {
        w->FSearchMark = mark;
        alone.push_back(w);
      }

  // One walk ahead of the coupler meets every vehicle standing on a route within reach.
  const float maxFront = std::max(index->MaxFront, FCouplers[0].EffectiveDistance());
  const float bound = 1.1f * (1.5f * std::fabs(limit) + FCouplers[0].EffectiveDistance() + maxFront);
  TRRTrackRoute* route = start;
  float d = FRoutePosition, walked = 0;
  int32_t dir = walkDir;
  for (int hop = 0; hop <= RRMaxStalledHops; ++hop) {
    TRRTrack* track = route->Track();
    // The own route's bucket is known without a look-up.
    const std::vector<TRRTrackVehicle*>* bucket = nullptr;
    if (track) {
      const uint64_t key = LocationKey(track->ID(), route->Index());
      if (index == FIndex.get() && key == FIndexKey && FIndexBucket)
        bucket = FIndexBucket;
      else if (auto it = index->Buckets.find(key); it != index->Buckets.end())
        bucket = &it->second;
    }
    if (bucket)
      for (TRRTrackVehicle* w : *bucket) {
        if (w->FSearchMark == mark) continue;
        if (w->StoredRoute() != route) {
          w->FSearchMark = mark;
          alone.push_back(w);
          continue;
        }
        if (!gx::SpheresIntersect(reach, gx::SphereFromBox(w->WorldBounds()))) {
          w->FSearchMark = mark;
          continue;
        }
        const float along = dir == 0 ? w->FRoutePosition - d : d - w->FRoutePosition;
        if (along < 0) continue;  // behind on this route: perhaps met again further on
        w->FSearchMark = mark;
        const float total = walked + along;
        const float maxWalk = 1.1f * (1.5f * std::fabs(limit) + FCouplers[0].EffectiveDistance() +
                                      w->FCouplers[0].EffectiveDistance());
        if (!(total <= maxWalk)) continue;
        const TRRVehicleSocket& theirs = w->FCouplers[w->FRouteDirection != dir ? 0 : 1];
        const float g = total - own - theirs.EffectiveDistance();
        if (g <= limit && g <= gap) take(w, g, &theirs);
      }
    RouteLocation next;
    walked += route->StepToNextRoute(dir, d, next);
    if (!(walked <= bound) || next.Status != RouteLocation::Moved || !next.Route) break;
    route = next.Route;
    d = next.Distance;
    dir = next.Direction;
  }

  for (TRRTrackVehicle* w : alone) {
    if (w == this) continue;
    float g = 1e10f;
    TRRTrackVehicle* found = nullptr;
    const TRRVehicleSocket* theirs = nullptr;
    ConsiderByWalk(w, start, walkDir, own, limit, reach, g, found, &theirs);
    if (found && g <= gap) take(found, g, theirs);
  }
  if (facing) *facing = bestFacing;
  return best;
}

bool TRRTrackVehicle::OccupiedByOthers(const TRRTrack& track, const std::vector<TRRTrackVehicle*>& train) {
  const TRREntityList* vehicles = VehicleList();
  if (!vehicles) return false;
  for (TRREntity* e : *vehicles) {
    auto* w = dynamic_cast<TRRTrackVehicle*>(e);
    if (!w || std::find(train.begin(), train.end(), w) != train.end()) continue;
    // A vehicle stands on a piece with its route or with either coupler.
    TRRTrackRoute* routes[3] = {w->GetRoute(), w->CouplerPlace(0).Route, w->CouplerPlace(1).Route};
    for (TRRTrackRoute* r : routes)
      if (r && r->Track() == &track) return true;
  }
  return false;
}

TRRLookAhead TRRTrackVehicle::LookAhead(const TRRVehicleSocket& coupler, float x,
                                        const std::vector<TRRTrackVehicle*>& train) {
  TRRLookAhead result;
  TRRTrackVehicle* vehicle = coupler.Vehicle;
  if (!vehicle) return {TRRLookAhead::OpenEnd, 0, nullptr};
  float gap = 0;
  const TRRVehicleSocket* facing = nullptr;
  // Searched a coupling distance further than the move: a vehicle there may be coupled after
  // it, so every kept train is collected anew (the nearest within x is the same either way).
  if (TRRTrackVehicle* other = vehicle->FindCoupledVehicle(coupler.Index, x + RRCouplingDistance, gap, &facing);
      other && std::find(train.begin(), train.end(), other) == train.end()) {
    TrainsChanged();
    if (gap <= x) return {TRRLookAhead::Vehicle, gap, nullptr};
  }
  const TRRCouplerPlace place = vehicle->CouplerPlace(coupler.Index);
  if (!place.Route) return {TRRLookAhead::OpenEnd, 0, nullptr};
  const RouteLocation at = place.Route->Advance(place.Direction, x, place.Distance);
  if (at.Status == RouteLocation::Blocked) return {TRRLookAhead::SwitchAgainst, 0, at.Route};
  if (at.Status != RouteLocation::Moved || !at.Route) return {TRRLookAhead::OpenEnd, 0, nullptr};
  // A crossing another train stands on is as good as a vehicle in the way.
  TRRTrack* track = at.Route->Track();
  if (track && track->GetRouteCount() >= 2 && !track->IsSwitchable()) {
    if (OccupiedByOthers(*track, train)) return {TRRLookAhead::Vehicle, 0, nullptr};
  }
  return result;
}

bool TRRTrackVehicle::MoveVehicle(float step) {
  // Moved on its own, perhaps away from its train or up to another.
  TrainsChanged();
  return StepAlong(step, true);
}

bool TRRTrackVehicle::StepAlong(float step, bool place) {
  TRRTrackRoute* route = GetRoute();
  if (!route || !std::isfinite(step)) return false;
  const RouteLocation at = route->Advance(FRouteDirection, step, FRoutePosition);
  if (at.Status != RouteLocation::Moved || !at.Route || !at.Route->Track()) {
    // Left behind by its train (or the train ends here): the train's make-up may change.
    TrainsChanged();
    return false;
  }
  FTrackID = at.Route->Track()->ID();
  FRouteIndex = at.Route->Index();
  Reindex();
  FRouteDirection = at.Direction;
  FRoutePosition = at.Distance;
  // A train places its vehicles once after its last step (only the stored location counts in
  // between), unless the new track changes the vehicle's scale and so its coupler distances.
  if (!place && FAutomaticScaling) {
    const float s = at.Route->Track()->SystemScale();
    place = std::isfinite(s) && s > 0 && s != Scale().x;
    // A new scale moves the couplers: the gaps to the neighbours change.
    if (place) TrainsChanged();
  }
  TurnWheels(step);
  if (place) {
    UpdatePlacement();
    ShowWheels();
  }
  return true;
}

bool TRRTrackVehicle::StepWithinRoute(const std::vector<float>& steps, bool backward) {
  if (steps.empty() || (FRouteDirection != 0 && FRouteDirection != 1)) return false;
  TRRTrackRoute* route = StoredRoute();
  if (!route || !route->Track()) return false;
  if (FAutomaticScaling) {
    const float s = route->Track()->SystemScale();
    if (std::isfinite(s) && s > 0 && s != Scale().x) return false;
  }
  // Advance's reckoning while it stays on the route: q = c + a (c - a backward along it).
  const float length = route->GetLength();
  float c = FRoutePosition;
  for (const float step : steps) {
    const float a = backward ? -step : step;
    const float q = FRouteDirection == 1 ? c - a : c + a;
    if (!(q >= 0 && q <= length)) return false;
    c = q;
  }
  FRoutePosition = c;
  if (!FWheels.empty()) {
    const float scale = WorldScaleFactor();
    for (const float step : steps) TurnWheelsBy((backward ? -step : step) / scale);
  }
  return true;
}

void TRRTrackVehicle::TurnWheels(float step) {
  if (!FWheels.empty()) TurnWheelsBy(step / WorldScaleFactor());
}

void TRRTrackVehicle::TurnWheelsBy(float angle) {
  // Kept within one turn, so the angle never loses its precision. Wheel sets that stand at the
  // same angle (all of them, unless the model's animation turned one) share the reckoning.
  float before = 0, after = 0;
  for (size_t i = 0; i < FWheelAngle.size(); ++i) {
    float& a = FWheelAngle[i];
    if (i == 0 || !SameBits(a, before)) {
      before = a;
      after = a + angle;
      // Mostly one step over the half turn, taken back as remainder would (one rounding).
      if (after > gx::GX_PI && after < 3 * gx::GX_PI)
        after -= 2 * gx::GX_PI;
      else if (after < -gx::GX_PI && after > -3 * gx::GX_PI)
        after += 2 * gx::GX_PI;
      else if (!(std::fabs(after) <= gx::GX_PI))
        after = std::remainder(after, 2 * gx::GX_PI);
    }
    a = after;
  }
  FWheelsTurned = true;
}

void TRRTrackVehicle::ShowWheels() {
  // Once per placement, not per step: each turn of a node marks its path up to the root.
  if (!FWheelsTurned) return;
  FWheelsTurned = false;
  TGXQuaternion turn;
  for (size_t i = 0; i < FWheels.size(); ++i) {
    // One turn for the wheel sets at the same angle.
    if (i == 0 || !SameBits(FWheelAngle[i], FWheelAngle[i - 1])) turn = gx::GXQuaternionRotationAxis({1, 0, 0}, FWheelAngle[i]);
    FWheels[i]->SetRotation(gx::GXQuaternionMultiply(turn, FWheelRest[i]));
  }
}

TRRTrackVehicle::TLeftAt TRRTrackVehicle::Here() const {
  TLeftAt a;
  a.Noted = true;
  a.TrackID = FTrackID;
  a.RouteIndex = FRouteIndex;
  a.RouteDirection = FRouteDirection;
  a.RoutePosition = FRoutePosition;
  a.Parent = Parent();
  a.Position = Position();
  a.Scale = Scale();
  a.Rotation = Rotation();
  if (a.Parent) {
    a.ParentPosition = a.Parent->WorldPosition();
    a.ParentScale = a.Parent->WorldScale();
    a.ParentRotation = a.Parent->WorldRotation();
  }
  return a;
}

bool TRRTrackVehicle::LeftWhereNoted() const {
  const TLeftAt& a = FLeftAt;
  const TLeftAt b = Here();
  return a.Noted && a.TrackID == b.TrackID && a.RouteIndex == b.RouteIndex && a.RouteDirection == b.RouteDirection &&
         SameBits(a.RoutePosition, b.RoutePosition) && a.Parent == b.Parent && SameBits(a.Position, b.Position) &&
         SameBits(a.Rotation, b.Rotation) && SameBits(a.Scale, b.Scale) && SameBits(a.ParentPosition, b.ParentPosition) &&
         SameBits(a.ParentRotation, b.ParentRotation) && SameBits(a.ParentScale, b.ParentScale);
}

void TRRTrackVehicle::NoteLeftAt() { FLeftAt = Here(); }

bool TRRTrackVehicle::KeptTrainIntact() const {
  const TKeptTrain& k = FKeptTrain;
  if (k.Vehicles.empty() || k.TrainGeneration != GTrainGeneration || k.LayoutGeneration != RRTrackLayoutGeneration() ||
      k.SwitchGeneration != RRTrackSwitchGeneration())
    return false;
  // The index tells whether a vehicle went (before any kept pointer is followed).
  const TRREntityList* list = VehicleList();
  return list && FIndex && FIndex.get() == k.Index && FIndex->Build == k.IndexBuild &&
         IndexCurrent(*FIndex, *list);
}

bool TRRTrackVehicle::KeptTrainCurrent() const {
  if (!KeptTrainIntact()) return false;
  const TKeptTrain& k = FKeptTrain;
  for (const TRRTrackVehicle* v : k.Vehicles) FetchLines(v, sizeof(*v));
  // (A rebuilt index or a member gone was seen above: every kept vehicle is still in this index.)
  for (const TRRTrackVehicle* v : k.Vehicles)
    if (!v->LeftWhereNoted()) return false;
  return true;
}

void TRRTrackVehicle::CollectTrain(const TRRVehicleSocket* pushing, std::vector<const TRRVehicleSocket*>& couplers,
                                   std::vector<TRRTrackVehicle*>& vehicles, size_t& frontCount) {
  // Counted before the search: anything that changes the make-up during this move makes the next
  // one collect again.
  const uint64_t generation = GTrainGeneration;
  couplers.push_back(&FCouplers[0]);
  vehicles.push_back(this);
  // The train this vehicle moved last is most likely the one found below: its vehicles are asked
  // for first, so that the search does not wait for them one after the other.
  if (IRREntityManager* m = Manager()) {
    for (int32_t id : FLastTrain)
      if (const TRREntity* e = m->FindByID(id)) __builtin_prefetch(e);
    for (int32_t id : FLastTrain)
      if (const auto* v = dynamic_cast<const TRRTrackVehicle*>(m->FindByID(id))) v->FetchAhead();
  }
  FetchAhead();
  auto collect = [&](const TRRVehicleSocket* from) {
    for (const TRRVehicleSocket* current = from;;) {
      float gap = 0;
      const TRRVehicleSocket* facing = nullptr;
      TRRTrackVehicle* next = current->Vehicle->FindCoupledVehicle(current->Index, RRCouplingDistance, gap, &facing);
      if (!next || !facing || facing == pushing) return;
      if (std::find(vehicles.begin(), vehicles.end(), next) != vehicles.end()) return;
      const TRRVehicleSocket* far = &next->FCouplers[1 - facing->Index];
      next->FetchAhead();
      vehicles.push_back(next);
      couplers.push_back(far);
      current = far;
    }
  };
  collect(&FCouplers[0]);
  frontCount = couplers.size();
  collect(&FCouplers[1]);
  FLastTrain.clear();
  for (const TRRTrackVehicle* v : vehicles)
    if (v != this) FLastTrain.push_back(v->ID());

  // Kept for the next move when it is the whole train (a pusher's train is not part of it) and
  // every vehicle is in the index the search used.
  FKeptTrain.Vehicles.clear();
  if (pushing || !FIndex) return;
  for (const TRRTrackVehicle* v : vehicles) {
    if (v->FIndex != FIndex) return;
  }
  FKeptTrain.Vehicles = vehicles;
  FKeptTrain.Couplers = couplers;
  FKeptTrain.FrontCount = frontCount;
  FKeptTrain.TrainGeneration = generation;
  FKeptTrain.LayoutGeneration = RRTrackLayoutGeneration();
  FKeptTrain.SwitchGeneration = RRTrackSwitchGeneration();
  FKeptTrain.Index = FIndex.get();
  FKeptTrain.IndexBuild = FIndex->Build;
  for (TRRTrackVehicle* v : vehicles) v->NoteLeftAt();
}

void TRRTrackVehicle::Move(const TRRVehicleSocket* pushing, float x) {
  if (!std::isfinite(x) || x == 0) return;
  // No train covers more than ten metres in one frame; a stalled program catches up no further.
  x = std::clamp(x, -1000.0f, 1000.0f);

  // 1. The train: from the own front coupler forward, then from the own rear coupler backward.
  const TMoveScratchLease lease;
  TMoveScratch& scratch = *lease;
  // The train that moved after this one in the last pass is likely to move next again.
  const TRRTrackVehicle* nextTrain = pushing ? nullptr : NoteMoveOrder();
  if (nextTrain) nextTrain->FetchTrainLater(0);
  std::vector<const TRRVehicleSocket*>& couplers = scratch.Couplers;
  std::vector<TRRTrackVehicle*>& vehicles = scratch.Vehicles;
  size_t c = 0;
  const bool kept = pushing == nullptr && KeptTrainCurrent();
  if (kept) {
    couplers = FKeptTrain.Couplers;
    vehicles = FKeptTrain.Vehicles;
    c = FKeptTrain.FrontCount;
    for (const TRRTrackVehicle* v : vehicles) v->FetchAhead();
  } else {
    CollectTrain(pushing, couplers, vehicles, c);
  }
  if (pushing) TrainsChanged();
  if (nextTrain) nextTrain->FetchTrainLater(1);

  // 2. Leading and trailing couplers.
  const TRRVehicleSocket* frontEnd = couplers[c - 1];
  const TRRVehicleSocket* rearEnd = couplers.size() > c ? couplers.back() : &FCouplers[1];
  const bool forward = x >= 0;
  const TRRVehicleSocket* leading = forward ? frontEnd : rearEnd;
  const TRRVehicleSocket* trailing = forward ? rearEnd : frontEnd;

  auto endOfRoute = [&](bool reverse) {
    for (TRRTrackVehicle* v : vehicles)
      if (v->HasEngine()) reverse ? v->Reverse() : v->Stop();
  };

  // 3.-4. What lies ahead.
  const TRRLookAhead ahead = LookAhead(*leading, std::fabs(x), vehicles);
  switch (ahead.Status) {
    case TRRLookAhead::Vehicle:
      x = (x < 0 ? -1.0f : 1.0f) * std::max(ahead.Distance, 0.0f);
      break;
    case TRRLookAhead::SwitchAgainst: {
      if (!FUnlockSwitches) {
        endOfRoute(FChangeDirection);
        return;
      }
      TRRTrack* track = ahead.Blocked ? ahead.Blocked->Track() : nullptr;
      if (!track) return;
      // A switch another train stands on is not thrown under it: wait.
      if (OccupiedByOthers(*track, vehicles)) return;
      track->SetActiveRoute(ahead.Blocked->Index());
      return;
    }
    case TRRLookAhead::OpenEnd:
      endOfRoute(FChangeDirection);
      return;
    default:
      break;
  }

  for (const TRRTrackVehicle* v : vehicles) FetchChildLists(v->FParts);
  // 5. In steps of at most 0.5, noting every route the end couplers pass.
  std::vector<TPassedRoute>& passed = scratch.Passed;
  std::vector<TRRTrackRoute*>& routes = scratch.Routes;
  const auto steps = static_cast<long>(std::ceil(std::fabs(x) / RRVehicleMoveStep));
  std::vector<char>& stepped = scratch.Stepped;
  stepped.assign(couplers.size(), 0);
  // Where the end couplers stand before a step: before the first one, then where the last step
  // left them (nothing moves in between).
  TRRCouplerPlace leadBefore, trailBefore;
  if (steps > 0 && x != 0) {
    leadBefore = leading->Vehicle->CouplerPlace(leading->Index);
    trailBefore = trailing->Vehicle->CouplerPlace(trailing->Index);
  }
  auto along = [&](size_t i) {
    const bool front = couplers[i]->Index == 0;
    return (i < c && front) || (i >= c && !front);
  };
  // The steps, as the loop below takes them from x.
  std::vector<float>& stepList = scratch.Steps;
  stepList.clear();
  for (float remaining = x; long(stepList.size()) < steps && remaining != 0;) {
    const float step = std::clamp(remaining, -RRVehicleMoveStep, RRVehicleMoveStep);
    stepList.push_back(step);
    const float rest = remaining - step;
    remaining = (rest > 0) == (remaining > 0) ? rest : 0;
  }
  // A vehicle between the train's ends that stays on its route takes all steps at once: only the
  // end couplers are asked where they stand after each step, and a vehicle's step touches nothing
  // but the vehicle (it finds no new route, so the index stays as it is). The end vehicles do the
  // same when both end couplers stay on their routes for the whole move: then no step enters or
  // leaves a route (the common frame, far from any joint).
  const bool endsStay = steps > 0 && StaysOnRoute(leadBefore, false, x) && StaysOnRoute(trailBefore, true, x);
  std::vector<char>& whole = scratch.Whole;
  whole.assign(couplers.size(), 0);
  bool allWhole = endsStay;
  for (size_t i = 0; i < couplers.size(); ++i) {
    TRRTrackVehicle* v = couplers[i]->Vehicle;
    if (!endsStay && (v == leading->Vehicle || v == trailing->Vehicle)) continue;
    if (v->StepWithinRoute(stepList, !along(i)))
      whole[i] = stepped[i] = 1;
    else
      allWhole = false;
  }
  for (long n = 0; !allWhole && n < steps && x != 0; ++n) {
    const float step = std::clamp(x, -RRVehicleMoveStep, RRVehicleMoveStep);
    for (size_t i = 0; i < couplers.size(); ++i) {
      if (whole[i]) continue;
      if (couplers[i]->Vehicle->StepAlong(along(i) ? step : -step, false)) stepped[i] = 1;
    }
    // The leading coupler enters every route it reaches; the trailing one leaves every route it
    // passes over.
    routes.clear();
    RoutesPassed(leadBefore, std::fabs(step), routes);
    const TRRCouplerPlace leadAfter = leading->Vehicle->CouplerPlace(leading->Index);
    if (leadAfter.Route != leadBefore.Route) {
      if (!UpToPlace(routes, leadAfter.Route)) {
        routes.clear();
        if (leadAfter.Route) routes.push_back(leadAfter.Route);
      }
      for (TRRTrackRoute* r : routes) passed.push_back({true, r});
    }
    routes.clear();
    const TRRCouplerPlace trailAfter = trailing->Vehicle->CouplerPlace(trailing->Index);
    if (trailAfter.Route != trailBefore.Route) {
      // Walking inward from the old place: the trailing coupler faces backward.
      TRRCouplerPlace inward = trailBefore;
      inward.Direction = 1 - inward.Direction;
      RoutesPassed(inward, std::fabs(step), routes);
      if (!UpToPlace(routes, trailAfter.Route)) routes.assign(1, trailAfter.Route);
      TRRTrackRoute* left = trailBefore.Route;
      for (TRRTrackRoute* r : routes) {
        if (left) passed.push_back({false, left});
        left = r;
      }
    }
    leadBefore = leadAfter;
    trailBefore = trailAfter;
    const float rest = x - step;
    x = (rest > 0) == (x > 0) ? rest : 0;
  }

  // The next train's nodes while this one is placed, their child lists once that is done: each
  // stage then finds what the one before asked for already there (most moves take no single steps).
  if (nextTrain) nextTrain->FetchTrainLater(2);
  for (size_t i = 0; i < couplers.size(); ++i)
    if (stepped[i]) {
      TRRTrackVehicle* v = couplers[i]->Vehicle;
      v->UpdatePlacement();
      v->ShowWheels();
      // Carried into world space now, while its nodes are still in the cache: this was its last
      // placement in this frame, and the scene's next update finds it done.
      v->Update(false);
    }

  if (nextTrain) nextTrain->FetchTrainLater(3);
  // Every vehicle of the train moved in this frame (a second locomotive does not move it again).
  if (auto* m = dynamic_cast<TRREntityManager*>(Manager()))
    for (TRRTrackVehicle* v : vehicles) v->FMovedFrame = m->AnimationFrame();
  // Where this move left them: the kept train stays good while they stand there.
  for (TRRTrackVehicle* v : vehicles) v->NoteLeftAt();

  // 6. The notifications, after the last step.
  if (passed.empty()) return;
  IRREventNotifier* notifier = RREventNotifierOf(Manager());
  if (!notifier) return;
  for (const TPassedRoute& p : passed) {
    TRREventNotification n;
    n.SubjectID = ID();
    n.Subject = this;
    n.Route = p.Route;
    n.TrackID = p.Route->Track() ? p.Route->Track()->ID() : 0;
    n.RouteIndex = p.Route->Index();
    notifier->Notify(p.Entered ? TRRConditionKind::TrackEnter : TRRConditionKind::TrackExit, n);
  }
}

// ---- frame ----

void TRRTrackVehicle::AnimateModel(float deltaTime) {
  gx::TGXAnimationController* c = OwnController();
  if (!c) return;
  const float t = c->Time(), end = c->Duration();
  if (std::fabs(FTargetSpeed) > 0.001f) {
    if (t < end) c->SetTime(std::min(end, t + deltaTime));
  } else if (t > 0) {
    c->SetTime(std::max(0.0f, t - deltaTime));
  }
}

void TRRTrackVehicle::FindRoutesAfterLayoutChange() {
  // A piece under a train deleted and laid anew: each vehicle finds the new piece when it is asked
  // for its route. Without this, the locomotive would find it in its own tick and leave the wagons
  // that tick after it behind, not knowing yet that they stand on the piece it runs on.
  static struct {
    const IRREntityManager* Manager = nullptr;
    uint64_t Generation = 0;
  } seen;
  const uint64_t generation = RRTrackLayoutGeneration();
  if (generation == seen.Generation && Manager() == seen.Manager) return;
  seen = {Manager(), generation};
  if (const TRREntityList* vehicles = VehicleList())
    for (TRREntity* e : *vehicles)
      if (auto* v = dynamic_cast<TRRTrackVehicle*>(e)) v->GetRoute();
}

void TRRTrackVehicle::Animate(bool animationsOn, float deltaTime) {
  if (!std::isfinite(deltaTime) || deltaTime < 0) deltaTime = 0;
  TRRModel::Animate(animationsOn, deltaTime);
  // Asked for only where needed: most vehicles of a layout are wagons without lights that stand
  // or are moved by their locomotive, and the cast costs more than the rest of their frame.
  TRREntityManager* manager = nullptr;
  bool managerAsked = false;
  auto fullManager = [&] {
    if (!managerAsked) manager = dynamic_cast<TRREntityManager*>(Manager());
    managerAsked = true;
    return manager;
  };

  // 2. Headlight cones at night, never in the technical view.
  if (!FLightCones.empty()) {
    bool cones = false;
    if (TRREntityManager* m = fullManager())
      if (auto* light = dynamic_cast<TRRLight*>(m->Light())) cones = light->Spotlights() && !m->TechnicalView();
    for (gx::TGXSceneNode* cone : FLightCones)
      if (cone->Visible() != cones) cone->SetVisible(cones);
  }

  // 3.-4.
  UpdateSound(animationsOn);
  if (!animationsOn) return;

  // 5.-6.
  AnimateModel(deltaTime);
  FindRoutesAfterLayoutChange();
  if (!GetRoute()) {
    Stop();
    return;
  }

  // 7. The effective target: slower uphill, faster downhill.
  float target = FTargetSpeed;
  // (A standing target stays 0 on any gradient: a wagon's frame skips the reckoning.)
  if (FAdaptSpeed && FTargetSpeed != 0) {
    const TGXVector3 forward = gx::GXVec3Normalize(gx::RotateVector(RRForwardAxis(FForwardAxis), WorldRotation()));
    float g = 5.0f * forward.y;
    if (FCurrentSpeed < 0) g = -g;
    g = std::clamp(Finite(g), -0.9f, 0.9f);
    target = (1 - g) * FTargetSpeed;
  }

  // 8. Acceleration.
  const float change = RRVehicleAcceleration * deltaTime;
  if (FCurrentSpeed < target)
    FCurrentSpeed = std::min(FCurrentSpeed + change, target);
  else if (FCurrentSpeed > target)
    FCurrentSpeed = std::max(FCurrentSpeed - change, target);
  FCurrentSpeed = ClampCurrent(FCurrentSpeed);

  // 9. A train moves once per frame, by the first of its locomotives to tick.
  if (FCurrentSpeed == 0) return;
  if (fullManager() && FMovedFrame == manager->AnimationFrame() && manager->AnimationFrame() != 0) return;
  Move(nullptr, deltaTime * FCurrentSpeed);
}

// ---- sound ----

void TRRTrackVehicle::SetSoundEnabled(bool value) {
  if (value == FSoundEnabled) return;
  if (!value) {
    if (FSound) FSound->Stop();
    FSound.reset();
    FSoundEnabled = false;
    return;
  }
  const TRRModelServices* services = TRRModelServices::Get();
  if (!services || !services->LoadSound || FSoundFile.IsEmpty()) return;
  try {
    FSound = services->LoadSound(FSoundFile);
  } catch (...) {
    FSound.reset();  // a sound that cannot be loaded leaves the vehicle silent
  }
  FSoundEnabled = FSound != nullptr;
}

bool TRRTrackVehicle::SoundPlaying() const { return FSound && FSound->IsPlaying(); }
float TRRTrackVehicle::SoundVolume() const { return FSound ? FSound->Volume() : 0.0f; }

void TRRTrackVehicle::UpdateSound(bool animationsOn) {
  if (!FSound) return;
  const TRRModelServices* services = TRRModelServices::Get();
  const bool on = !services || !services->SoundOn || services->SoundOn();
  if (!FSoundEnabled || !on || !animationsOn) {
    if (FSound->IsPlaying()) FSound->Stop();
    return;
  }
  float distance = 0;
  if (auto* manager = dynamic_cast<TRREntityManager*>(Manager()))
    if (TRREntity* camera = manager->ActiveCamera()) distance = gx::GXVec3Length(camera->WorldPosition() - WorldPivot());
  const float level = std::clamp(std::fabs(FCurrentSpeed) * 0.1f * (1 - std::clamp(distance * 0.005f, 0.0f, 1.0f)),
                                 0.0f, 1.0f);
  float volume = services && services->SoundVolume ? services->SoundVolume() : 100.0f;
  FSound->SetVolume(Finite(level * volume));
  FSound->Play();
}

}  // namespace rr
