#pragma once
// Searches over the tracks of a layout: the partner of a contact (TRRTrackRouteContact::
// FindPartner, implemented here), the route nearest to a point (vehicles and catenary masts are
// put on track with it) and the refresh of every contact's connection that the technical view
// runs a few times a second.
//
// A partner search tries the track the contact remembers first; only when that fails does it look
// at the layout's track list in order and take the first track that yields an enabled contact
// within 0.2 scales. For a batch of searches (every contact of a layout) a TRRContactIndex built
// once over the layout replaces that scan: it finds the tracks with an enabled contact near the
// point and runs the same per-track test on them in list order, so its answers are exactly those
// of the scan. The index is a snapshot: it is valid until a track moves, changes shape or is
// added or removed. The partner search keeps one such index of the layout's track list for the
// contacts that find nothing on their remembered track: after a change of the layout, the first
// of them scans the list and the further ones in the same generation ask the index.

#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include "engine/core/GXMath.h"

namespace rr {

class TRREntityList;
class TRREntityManager;
class TRRTrack;
class TRRTrackRoute;
class TRRTrackRouteContact;

class TRRContactIndex {
 public:
  // Every enabled contact of the tracks in the list, at its current world position.
  explicit TRRContactIndex(const TRREntityList& tracks);

  // The tracks (with their position in the list) having an enabled contact closer than
  // sqrt(toleranceSq) to point, in list order.
  void TracksNear(const gx::TGXVector3& point, float toleranceSq, std::vector<TRRTrack*>& out) const;
  int ContactCount() const { return FCount; }

 private:
  struct TEntry {
    gx::TGXVector3 Position;
    int Order;
    TRRTrack* Track;
  };
  static int64_t Cell(float v);
  static uint64_t Key(int64_t x, int64_t y, int64_t z);

  std::unordered_map<uint64_t, std::vector<TEntry>> FCells;
  int FCount = 0;
};

// Counts the changes of the track layout that may join or part contacts: tracks made, removed,
// moved or reshaped, contacts switched on or off. A contact that found no partner remembers the
// count and answers again without a search until the count moves on (trains ask at open ends
// many times a frame).
uint64_t RRTrackLayoutGeneration();
void RRTrackLayoutChanged();
// Counts the switches thrown (a train keeps its make-up only while no switch under it changed).
uint64_t RRTrackSwitchGeneration();
void RRTrackSwitchThrown();

// The route nearest to a world point within radius, with the distance along it.
struct TRRNearestRoute {
  TRRTrackRoute* Route = nullptr;
  float Distance = 0;
};
// Looks at every track whose bounding sphere comes within radius of the point; on each route the
// nearest distance, accepted when the rail position there is closer than radius (radius² times
// the route scale against the squared distance) and nearer than anything found before.
// accept, when given, picks the tracks looked at.
TRRNearestRoute FindNearestRoute(const TRREntityList& tracks, const gx::TGXVector3& point, float radius,
                                 const std::function<bool(const TRRTrack&)>& accept = {});

// FindPartner for both contacts of every route of every track in the list (through one index),
// which brings the connection IDs and marker colours up to date. Returns the number of contacts
// found connected.
int RRRefreshConnections(const TRREntityList& tracks);

}  // namespace rr
