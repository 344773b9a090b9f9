#pragma once
// Rolling stock: TRRTrackVehicle is a locomotive or a wagon that stands on a track route and,
// while animations run, drives along the route network at its target speed. Vehicles whose
// couplers touch move together as a train; a train stops at, or reverses before, open ends,
// switches set against it (or throws them), occupied crossings and other vehicles. Every route
// boundary a train's leading or trailing coupler crosses is reported to the event notifier as a
// track entered or left.
//
// Description payload (after the model payload, little-endian): Integer version (3 written;
// 1..3 read), version >= 2: forward-axis byte; track ID (an ID reference), route index
// (Integer), route position (Single); route direction, has engine, change direction, unlock
// switches bytes, version >= 2: automatic-scaling byte; target and current speed (Single);
// sound (asset file name); sound-enabled byte; cockpit model (model file name); cockpit offset
// (Single); version 3: adapt-speed byte and baseline offset (Single). Non-finite numbers read
// as 0; forward axes beyond 5 read as 0; speeds are clamped (target to +-75, current to +-142.5).
//
// Speeds are world units (centimetres) per second, positive along the vehicle's forward axis.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/RRModelServices.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RRModel.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/core/GXMath.h"

namespace gx {
struct TGXBoundingSphere;
}  // namespace gx

namespace rr {

class TRREntityList;
class TRRTrack;
class TRRTrackVehicle;
struct TRRVehicleIndex;

inline constexpr const char* RRKindTrackVehicle = "{DFDA4971-3DA2-470D-AD29-F543697ECBCA}";
inline constexpr int32_t RRTrackVehicleDescVersion = 3;
// The target speed's range (+-) and the current speed's (downhill reaches 190 % of the target).
inline constexpr float RRMaxTargetSpeed = 75.0f;
inline constexpr float RRMaxCurrentSpeed = 1.9f * RRMaxTargetSpeed;
// Speed change per second, the longest single move of a train and the coupling distance.
inline constexpr float RRVehicleAcceleration = 10.0f;
inline constexpr float RRVehicleMoveStep = 0.5f;
inline constexpr float RRCouplingDistance = 0.5f;
// The search radius for a dragged vehicle's track and for re-finding a lost route.
inline constexpr float RRVehicleSnapRadius = 3.0f;
inline constexpr float RRVehicleFindRadius = 1.0f;

// The forward axes a model may have, as listed ("+ X", "+ Y", "+ Z", "- X", "- Y", "- Z"; the
// labels count Z as up, so "+ Y" is the engine's +Z).
inline constexpr int RRForwardAxisCount = 6;
extern const char* const RRForwardAxisLabels[RRForwardAxisCount];
// The model-space axis of an index (indices beyond 5 count as 0).
gx::TGXVector3 RRForwardAxis(int index);
// The rotation that turns the model's forward axis onto +Z with +Y up.
gx::TGXQuaternion RRForwardAlignment(int index);

// ---- description ----

class TRRTrackVehicleDesc : public TRRModelDesc {
  RR_DESCRIPTION_CLASS()

 public:
  void LoadFromStream(gx::TGXStream& s) override;
  void SaveToStream(gx::TGXStream& s) const override;
  // The model's accessors, then the track ID, the sound and the cockpit model.
  void GetPropertyAccess(TRRPropertyAccessList& list) override;
  // From another vehicle description: the model's data, sound, cockpit model and offset and the
  // baseline offset.
  void AssignFrom(const TRREntityDescription& other) override;
  // The model's keys, "TrackID", "RouteIndex", "RoutePosition", "RouteDirection", "HasEngine",
  // "ChangeDirection", "UnlockSwitchs", "TargetSpeed", "CurrentSpeed" and, for locomotives,
  // "SoundEnabled".
  void LoadFromPropertyBag(const TRREntityDescription_10& bag, std::string& modelFileName) override;

  uint8_t ForwardAxis = 0;
  int32_t TrackID = 0;
  int32_t RouteIndex = 0;
  float RoutePosition = 0;
  uint8_t RouteDirection = 0;
  bool HasEngine = false;
  bool ChangeDirection = true;
  bool UnlockSwitches = true;
  bool AutomaticScaling = true;
  float TargetSpeed = 0;
  float CurrentSpeed = 0;
  bool AdaptSpeed = true;
  TRRAssetFileName Sound;
  bool SoundEnabled = false;
  TRRModelFileName CockpitModel;
  float CockpitOffset = 0;
  float BaselineOffset = 0;
};

// ---- couplers ----

// One end of a vehicle: index 0 front, 1 rear; its distance from the pivot along the forward
// axis in model units (the effective distance is that times the world scale).
struct TRRVehicleSocket {
  TRRTrackVehicle* Vehicle = nullptr;
  int Index = 0;
  float Distance = 0;
  float EffectiveDistance() const;
};

// Where a coupler is: its route, distance and the direction it faces outward (no route: off the
// tracks).
struct TRRCouplerPlace {
  TRRTrackRoute* Route = nullptr;
  float Distance = 0;
  int32_t Direction = 0;
};

// What lies ahead of a train (LookAhead).
struct TRRLookAhead {
  enum : int32_t { Free = 0, Vehicle = 1, SwitchAgainst = 2, OpenEnd = 3 };
  int32_t Status = Free;
  float Distance = 0;
  // Status SwitchAgainst: the route the train wants (on the switch to throw).
  TRRTrackRoute* Blocked = nullptr;
};

// ---- the vehicle ----

class TRRTrackVehicle : public TRRModel, public IRRCockpitOwner {
  RR_ENTITY_CLASS()

 public:
  TRRTrackVehicle(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description);
  ~TRRTrackVehicle() override;

  static void RegisterKinds(TRRRegisteredEntityList& list);

  // ---- TRREntity ----
  void Animate(bool animationsOn, float deltaTime) override;
  std::unique_ptr<TRREntityDescription> CreateDescription() const override;

  // ---- driving ----
  // Clamped to +-75 (not finite: 0); handed to the cockpit's control animation.
  void SetTargetSpeed(float value);
  float TargetSpeed() const { return FTargetSpeed; }
  // Clamped to +-142.5 (not finite: 0).
  void SetCurrentSpeed(float value);
  float CurrentSpeed() const { return FCurrentSpeed; }
  // Target and current speed 0.
  void Stop();
  // Target negated, current speed 0.
  void Reverse();
  bool HasEngine() const { return FHasEngine; }
  bool ChangeDirection() const { return FChangeDirection; }
  void SetChangeDirection(bool value) { FChangeDirection = value; }
  bool UnlockSwitches() const { return FUnlockSwitches; }
  void SetUnlockSwitches(bool value) { FUnlockSwitches = value; }
  bool AdaptSpeed() const { return FAdaptSpeed; }
  void SetAdaptSpeed(bool value) { FAdaptSpeed = value; }
  bool AutomaticScaling() const { return FAutomaticScaling; }

  // ---- location ----
  // Puts the vehicle on the route at the distance, direction 0, and places it.
  void PlaceOnRoute(TRRTrackRoute* route, float distance);
  // The stored route when its track exists and the position lies on it; otherwise the nearest
  // route within 1 of the pivot (stored with the direction the vehicle faces), or none.
  TRRTrackRoute* GetRoute();
  int32_t TrackID() const { return FTrackID; }
  int32_t RouteIndex() const { return FRouteIndex; }
  float RoutePosition() const { return FRoutePosition; }
  int32_t RouteDirection() const { return FRouteDirection; }
  // Puts the node on the rails at the stored location (nothing without a route).
  void UpdatePlacement();
  // On the track's route now, or reached from here within the front coupler's distance.
  bool IsOnTrack(int32_t trackID);
  // The world point the vehicle turns about (its pivot).
  gx::TGXVector3 WorldPivot() const;
  // Forgets the stored track, places the vehicle on the nearest route within the snap radius and
  // closes up to the vehicles it touches (after a drag or a drop).
  void Relink() override;
  // Where a dragged vehicle's pivot would stand: on the nearest rail within radius 3, skipping the
  // tracks of the vehicle's own outermost entity and of excluded ones. False when no route is near.
  bool SnapPivot(const gx::TGXVector3& pivot, gx::TGXVector3& snapped,
                 const std::vector<const TRREntity*>& excluded = {}) const;
  // The drag's snap: the proposed position moved so that the pivot lies on the nearest rail (the
  // dragged selection's tracks skipped); the rotation stays.
  bool Snap(bool& snapped, gx::TGXVector3& position, gx::TGXQuaternion& rotation) override;

  // ---- trains ----
  // Moves the train this vehicle belongs to by x along this vehicle's forward axis; pushing is
  // the coupler of the vehicle that pushes (excluded from the train), or null.
  void Move(const TRRVehicleSocket* pushing, float x);
  // Moves only this vehicle by step; false (and nothing moved) when the route network ends or
  // is blocked within the step.
  bool MoveVehicle(float step);
  const TRRVehicleSocket& Coupler(int index) const { return FCouplers[index & 1]; }
  TRRCouplerPlace CouplerPlace(int index);
  // The nearest other vehicle whose facing coupler lies within limit of this vehicle's coupler,
  // and the gap (1e10 and null for none).
  TRRTrackVehicle* FindCoupledVehicle(int couplerIndex, float limit, float& gap,
                                      const TRRVehicleSocket** facing = nullptr);
  TRRLookAhead LookAhead(const TRRVehicleSocket& coupler, float x,
                         const std::vector<TRRTrackVehicle*>& train);
  // Set by Move for the vehicles of the train it moved this frame.
  uint64_t MovedInFrame() const { return FMovedFrame; }

  // ---- model parts ----
  gx::TGXSceneNode* Bogie(int index) const { return FBogies[index & 1]; }
  const std::vector<gx::TGXSceneNode*>& Wheels() const { return FWheels; }
  const std::vector<gx::TGXSceneNode*>& LightCones() const { return FLightCones; }
  const gx::TGXVector3& Pivot() const { return FPivot; }
  float HalfBogieDistance() const { return FHalfBogieDistance; }
  float WorldScaleFactor() const;
  int ForwardAxisIndex() const { return FForwardAxis; }

  // ---- sound ----
  // Off frees the sound; on loads the sound file when the program has a sound device and keeps
  // the flag only when that worked.
  void SetSoundEnabled(bool value);
  bool SoundEnabled() const { return FSoundEnabled; }
  const TRRAssetFileName& SoundFile() const { return FSoundFile; }
  // Whether the running sound plays now, and its volume (0..100).
  bool SoundPlaying() const;
  float SoundVolume() const;

  // ---- cockpit ----
  TRRCockpit* Cockpit() const { return FCockpit; }
  TRREntity* CockpitOwnerEntity() override { return this; }
  gx::TGXSceneNode* CockpitExteriorNode() override { return ModelEntity(); }
  gx::TGXSceneNode* CockpitInteriorNode() override { return nullptr; }

 private:
  void SetUp(const TRRTrackVehicleDesc& d);
  void FindParts();
  // Asks the memory for the vehicle and its model's nodes ahead of their placement and update: a
  // train's move otherwise waits for them node after node. Only a hint; nothing changes.
  void FetchAhead() const;
  // Notes this vehicle's train as the one moving now (after the one that moved last) and returns
  // the vehicle whose train moved after it in the last pass over the entities, if any.
  const TRRTrackVehicle* NoteMoveOrder();
  // Asks the memory for this vehicle's kept train, in stages 0 to 3 (see Move).
  void FetchTrainLater(int stage) const;
  // The bogies turned to the rails at their points (rails: the frames there, where a point moved).
  void PlaceBogies(const RouteLocation* points, const TRRTrackRoute::TWorldRailFrame* rails,
                   const gx::TGXVector3& forward, const gx::TGXQuaternion& rotation);
  // The vehicles of the manager and its tracks (null without a full entity manager).
  const TRREntityList* VehicleList() const;
  const TRREntityList* TrackList() const;
  void UpdateSound(bool animationsOn);
  // Whether a vehicle outside the train stands on the piece (its route or either coupler's).
  bool OccupiedByOthers(const TRRTrack& track, const std::vector<TRRTrackVehicle*>& train);
  void AnimateModel(float deltaTime);
  // After a change of the track layout, every vehicle of the manager finds its route again before
  // the first train of the frame moves (once per layout generation).
  void FindRoutesAfterLayoutChange();
  // The wheel sets' angles advance by the step; ShowWheels turns their nodes to them.
  void TurnWheels(float step);
  // The same by an angle (the step over the world scale).
  void TurnWheelsBy(float angle);
  void ShowWheels();
  // MoveVehicle, placing the vehicle on the rails now or (place false) leaving that to the train.
  bool StepAlong(float step, bool place);
  // All of a move's steps (each negated when backward) at once for a vehicle that stays on its
  // route throughout: the same additions and wheel turns as StepAlong's, without its look-ups per
  // step. False, with nothing changed, when a step would leave the route or change the scale.
  bool StepWithinRoute(const std::vector<float>& steps, bool backward);
  // The stored route when its track exists and the position lies on it (GetRoute's first answer,
  // without looking for another).
  TRRTrackRoute* StoredRoute() const;
  // The route StoredRoute keeps while its track layout generation stands, else null: a kept
  // route of an older generation may be gone.
  const TRRTrackRoute* KeptRouteNow() const;
  // The index of the vehicles by the route they stand on, current for the list; kept up to date
  // by every change of a member's stored track or route.
  std::shared_ptr<TRRVehicleIndex> IndexFor(const TRREntityList& vehicles);
  // Whether the index was made for the list as it is now (IndexFor would keep it).
  static bool IndexCurrent(const TRRVehicleIndex& index, const TRREntityList& vehicles);
  void Reindex();
  void Unindex();
  // The train of this vehicle, coupler by coupler (Move's first step): its vehicles, their outer
  // couplers and how many of them lie ahead of the own front coupler. Kept for the next move.
  void CollectTrain(const TRRVehicleSocket* pushing, std::vector<const TRRVehicleSocket*>& couplers,
                    std::vector<TRRTrackVehicle*>& vehicles, size_t& frontCount);
  // Whether the train kept by the last move may be moved again without collecting it anew.
  bool KeptTrainCurrent() const;
  // Its first half: nothing that makes up the train changed, so every kept vehicle still exists
  // (no kept pointer is followed to find out).
  bool KeptTrainIntact() const;
  // Notes where the vehicle stands now, for KeptTrainCurrent.
  void NoteLeftAt();
  bool LeftWhereNoted() const;
  // Where the vehicle stands now, as NoteLeftAt keeps it.
  struct TLeftAt;
  TLeftAt Here() const;
  // The original search over every vehicle of the list, for one vehicle.
  void ConsiderByWalk(TRRTrackVehicle* w, TRRTrackRoute* start, int32_t walkDir, float own, float limit,
                      const gx::TGXBoundingSphere& reach, float& gap, TRRTrackVehicle*& best,
                      const TRRVehicleSocket** facing);

  uint8_t FForwardAxis = 0;
  gx::TGXQuaternion FAlignment;
  gx::TGXQuaternion FCreationRotation;
  gx::TGXSceneNode* FBogies[2] = {nullptr, nullptr};
  gx::TGXQuaternion FBogieRest[2];
  // The turn of the body and of each bogie at their last placement, with what it was made of: on
  // unchanged rails (a straight piece) it is taken as it is instead of reckoned again.
  struct TTurnFrom {
    bool Valid = false;
    // Whether the turn is to be applied (a bogie's is not when it came out non-finite).
    bool Apply = false;
    gx::TGXVector3 Forward, Up;
    gx::TGXQuaternion ParentWorld, Rest, Turn;
  };
  TTurnFrom FBodyTurn, FBogieTurn[2];
  std::vector<gx::TGXSceneNode*> FWheels;
  std::vector<gx::TGXQuaternion> FWheelRest;
  std::vector<float> FWheelAngle;
  bool FWheelsTurned = false;
  std::vector<gx::TGXSceneNode*> FLightCones;
  // Every scene node of the model (FetchAhead).
  std::vector<gx::TGXSceneNode*> FParts;
  gx::TGXVector3 FPivot{0, 0, 0};
  float FHalfBogieDistance = 0;
  float FBaselineOffset = 0;
  TRRVehicleSocket FCouplers[2];
  int32_t FTrackID = 0;
  int32_t FRouteIndex = 0;
  float FRoutePosition = 0;
  int32_t FRouteDirection = 0;
  bool FHasEngine = false;
  bool FChangeDirection = true;
  bool FUnlockSwitches = true;
  bool FAutomaticScaling = true;
  bool FAdaptSpeed = true;
  float FTargetSpeed = 0;
  float FCurrentSpeed = 0;
  TRRAssetFileName FSoundFile;
  bool FSoundEnabled = false;
  std::shared_ptr<IRRSound> FSound;
  TRRModelFileName FCockpitModel;
  float FCockpitOffset = 0;
  gx::TGXSceneNode* FCockpitNode = nullptr;
  TRRCockpit* FCockpit = nullptr;
  uint64_t FMovedFrame = 0;
  // The vehicle whose train moved next after this one's in the last pass (a hint only).
  int32_t FNextMoverID = 0;
  // The IDs of the other vehicles of the train this vehicle moved last (only fetched ahead).
  std::vector<int32_t> FLastTrain;
  // The train this vehicle's last move collected (its vehicles and their outer couplers, the
  // first FrontCount from the own front coupler forward) and the counts it was collected at.
  // A train's make-up changes only when trains meet, a vehicle cannot follow, vehicles are made,
  // gone or put elsewhere, the layout changes or a switch is thrown: until one of these, its next
  // move takes the kept train instead of searching coupler by coupler.
  struct TKeptTrain {
    std::vector<TRRTrackVehicle*> Vehicles;
    std::vector<const TRRVehicleSocket*> Couplers;
    size_t FrontCount = 0;
    uint64_t TrainGeneration = 0;
    uint64_t LayoutGeneration = 0;
    uint64_t SwitchGeneration = 0;
    const TRRVehicleIndex* Index = nullptr;
    uint64_t IndexBuild = 0;
  } FKeptTrain;
  // Where a train's move last left this vehicle: a vehicle put anywhere else since is looked at
  // anew by every train it may belong to.
  struct TLeftAt {
    bool Noted = false;
    int32_t TrackID = 0, RouteIndex = 0, RouteDirection = 0;
    float RoutePosition = 0;
    const gx::TGXNode* Parent = nullptr;
    gx::TGXVector3 Position{0, 0, 0}, Scale{0, 0, 0};
    gx::TGXQuaternion Rotation;
    // The parent's world values (a group moved or scaled carries its vehicles off their places).
    gx::TGXVector3 ParentPosition{0, 0, 0}, ParentScale{0, 0, 0};
    gx::TGXQuaternion ParentRotation;
  } FLeftAt;
  std::shared_ptr<TRRVehicleIndex> FIndex;
  uint64_t FIndexKey = 0;
  size_t FIndexSlot = 0;
  // FIndex's bucket of FIndexKey (the index's buckets stay where they are until it is rebuilt).
  std::vector<TRRTrackVehicle*>* FIndexBucket = nullptr;
  uint64_t FSearchMark = 0;
  // StoredRoute's look-up of the track by ID and of its route, kept while the track layout
  // generation stands (a track's routes are made with it, and a track that goes bumps the
  // generation); the position is checked on every call.
  mutable TRRTrackRoute* FKeptRoute = nullptr;
  mutable const IRREntityManager* FKeptManager = nullptr;
  mutable uint64_t FKeptAt = 0;
  mutable int32_t FKeptTrackID = 0;
  mutable int32_t FKeptRouteIndex = 0;
};

}  // namespace rr
