#pragma once
// A level-crossing barrier: a model that closes while a track vehicle is within its detection
// box and snaps onto a track. The model's animation (20 frames of 1/75 s) runs towards its end
// pose (booms lowered) while closed and back while open; the model's own playback never runs it.
//
// The description is the model's (no payload of its own).
//
// With animations on, the barrier looks for vehicles at most every 0.1 s of the frame timer
// (the first frame always looks): closed := its detection box, carried into world space as the
// turned box it is, meets a vehicle's world box. The vehicles' boxes are gathered once per frame for all barriers and
// buildings (RRVehicleBoxes).

#include <cstdint>
#include <memory>
#include <vector>

#include "app/entities/RRModel.h"
#include "engine/core/GXGeometry.h"

namespace rr {

class TRRRegisteredEntityList;

inline constexpr const char* RRKindBarrier = "{119BE222-A998-49FF-9CEE-5EC6F417981E}";
// Search radius of the snap onto a track.
inline constexpr float RRBarrierSnapRadius = 3.0f;
// Seconds between two looks for vehicles.
inline constexpr float RRBarrierCheckInterval = 0.1f;

class TRRBarrierDesc : public TRRModelDesc {
  RR_DESCRIPTION_CLASS()
};

// The world boxes of the track vehicles of a manager, in structure-of-arrays form so a test of
// one box against all of them runs without branches.
class TRRVehicleBoxes {
 public:
  void Clear();
  void Add(const gx::TGXBoundingBox& box);
  int Count() const { return static_cast<int>(FMinX.size()); }
  // Whether any box meets b (touching counts); an empty or non-finite b meets nothing.
  bool AnyMeets(const gx::TGXBoundingBox& b) const;
  // Whether any box meets the box local carried into world space by world (inverse: its
  // inverse) as the turned box it is: a box whose axis-aligned world box meets a vehicle's is
  // then tested in local's own space, so a turned box does not reach the track beside it.
  bool AnyMeets(const gx::TGXBoundingBox& local, const gx::TGXMatrix& world, const gx::TGXMatrix& inverse) const;
  // The boxes of the manager's vehicles as of stamp (a frame timer count): gathered again only
  // when the manager or the stamp differ from the last call, so all barriers and buildings of a
  // frame share one gathering.
  static const TRRVehicleBoxes& Of(IRREntityManager* manager, int64_t stamp);
  // The boxes when a look is due by the manager's frame timer (nextCheck below 0 or passed), with
  // nextCheck moved on by RRBarrierCheckInterval; null otherwise or without a manager.
  static const TRRVehicleBoxes* Due(IRREntityManager* manager, int64_t& nextCheck);

 private:
  // The axis-aligned test, then exact(i) for each box i that passed it.
  template <class Exact>
  bool AnyMeets(const gx::TGXBoundingBox& b, Exact&& exact) const;

  std::vector<float> FMinX, FMinY, FMinZ, FMaxX, FMaxY, FMaxZ;
};

class TRRBarrier : public TRRModel {
  RR_ENTITY_CLASS()

 public:
  TRRBarrier(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description);
  static void RegisterKinds(TRRRegisteredEntityList& list);

  // The model's frame step; with animations on the vehicle check when due and the booms.
  void Animate(bool animationsOn, float deltaTime) override;
  // Onto the nearest route within 3 of the barrier's bottom centre (tracks in the barrier's own
  // outermost entity ignored): the bottom centre onto the route's nearest point at the track's
  // level (not the rail top), turned like the route there plus a quarter turn about the
  // vertical; the barrier takes the route's scale. Always acceptable.
  bool Snap(bool& snapped, gx::TGXVector3& position, gx::TGXQuaternion& rotation) override;

  bool Closed() const { return FClosed; }
  // The detection box carried into world space by the barrier's world matrix.
  gx::TGXBoundingBox WorldDetectionBox() const;
  // closed := the world detection box meets one of the boxes; returns the new state.
  bool CheckVehicles(const TRRVehicleBoxes& vehicles);
  // The frame timer count of the next look (-1: the next frame looks).
  int64_t NextCheck() const { return FNextCheck; }

  static gx::TGXBoundingBox DetectionBox() { return gx::BoxFromMinMax({-15, 0, -4}, {15, 5, 4}); }

 private:
  bool FClosed = false;
  int64_t FNextCheck = -1;
};

}  // namespace rr
