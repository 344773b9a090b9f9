#pragma once
// Buildings for the sample layouts: catalogue models placed beside the track and kept clear of
// it. A model's box is taken from its model data in the rest pose; a part its animation turns
// counts with the whole sphere it sweeps, so a turning sail or an opening gate never reaches the
// track either. A track's box is the union of its routes' boxes in world space.

#include <string>
#include <vector>

#include "engine/core/GXMath.h"
#include "engine/render/GXModelData.h"

namespace rr {
class TRRTrack;
}

namespace assetgen {

struct TBox {
  gx::TGXVector3 Min{1e30f, 1e30f, 1e30f}, Max{-1e30f, -1e30f, -1e30f};
  void Add(const gx::TGXVector3& p);
  bool Empty() const { return Min.x > Max.x; }
  // Whether the boxes overlap in plan (x and z), with margin to spare.
  bool MeetsInPlan(const TBox& other, float margin = 0) const;
};

// The world box of a model placed at position, turned by rotation.
TBox PlacedModelBox(const gx::TGXModelData& model, const gx::TGXVector3& position,
                    const gx::TGXQuaternion& rotation);
// The world box of a track (its routes' boxes carried through its world matrix; the scene must
// be up to date).
TBox TrackBox(const rr::TRRTrack& track);

// Moves a model from start along direction (horizontal) in steps of a tenth of a unit until its
// box (its own box turned by rotation, which holds PlacedModelBox) keeps margin from every track
// box in plan, and returns that position; gives up (raising) after 100 units.
gx::TGXVector3 PlaceClear(const gx::TGXModelData& model, gx::TGXVector3 start,
                          const gx::TGXVector3& direction, const gx::TGXQuaternion& rotation,
                          const std::vector<TBox>& tracks, float margin);

}  // namespace assetgen

namespace rr {
class TRRDatabase;
class TRREntityManager;
}  // namespace rr

namespace assetgen {

// The sample layout's buildings from the catalogue: the country station beside the straight of
// the oval past the level crossing at its start, the goods shed beside the siding before the
// engine shed's doorway (both with their track side towards the track), the engine shed and the
// water tower near the station, the church and two houses inside the oval, the windmill outside
// it. Each is pushed away from the track until it keeps clear of every track box, and no two
// buildings meet; raises otherwise.
void AddSampleBuildings(rr::TRREntityManager& manager, const rr::TRRDatabase& database,
                        const std::vector<rr::TRRTrack*>& tracks, const rr::TRRTrack& station,
                        const rr::TRRTrack& siding);

}  // namespace assetgen
