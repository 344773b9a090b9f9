#pragma once
// The routes of a track piece (the drivable paths through it) and the contacts at their ends.
//
// TRRTrackRouteDesc is the catalogue and stream form of one route; TRRTrackRoute holds its shape
// in the track's local frame and answers every geometric question (length, position, direction,
// up vector and frame at a distance, nearest distance, bounds and picking boxes);
// TRRTrackRouteContact sits at each route end and finds the contact of another track that lies on
// it. There are no stored links: two tracks are connected exactly while two enabled contacts
// coincide, so moving, copying, deleting or loading tracks never has to update anything.
//
// Local frame of a route: it starts at the origin and leaves along +Z, +Y is up, a positive
// radius with a positive angle bends towards +X (left-handed). A fixed route is a straight
// lead-in L1, a circular arc (Angle, Radius) and a straight lead-out L2; a flexible route is a
// flat polyline of equally spaced flex points. Positions, tangents and up vectors at any distance
// are answered, beyond the ends by extrapolation along the end tangent.
//
// Routes of one track rotate (Rotation) about the midpoint of route 0 after being shifted
// (Shift) along their own start direction: turntable stubs and the second route of a crossing are
// defined this way.
//
// Stream form of a route description (little-endian): version (2 is written, 1 and 2 are read),
// Shift (version 2 only), L1, Angle, Radius, L2, FlexL, Rotation (singles), flex point count
// (int32), 16 bytes per flex point (direction x, direction z, position x, position z), FlexOffset,
// LastConnection[0], LastConnection[1] (entity IDs).

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "engine/core/GXGeometry.h"
#include "engine/core/GXMath.h"
#include "engine/core/GXRefCounted.h"
#include "engine/core/GXSceneNode.h"
#include "engine/core/GXStream.h"

namespace rr {

class TRRTrack;
class TRRTrackRoute;
class TRRTrackRouteContact;
class TRREntityDescription_10;
class TRRPropertyAccessList;
class TRRContactIndex;
class TRRTrackPrimitive;
class TRRContactLine;

// ---- constants ----

inline constexpr int32_t RRTrackRouteDescVersion = 2;
// A FlexL larger than this in magnitude makes a route flexible.
inline constexpr float RRFlexLengthThreshold = 1e-4f;
// What FindNearestDistance answers for a point inside the hidden stretch (callers treat it as a
// miss): the single nearest to 1e11.
inline constexpr float RRRouteDistanceMiss = 99999997952.0f;
// A route is twisted when its two contact rolls differ by more than this (radians).
inline constexpr float RRTwistedRollDifference = 0.1f;
// Upper bound of the segments a route is split into for boxes, bounds and nearest distance, so
// that an absurd length in a file cannot make a walk run for ever or fill the memory with
// boxes (1 km at H0; a longer route just gets longer segments).
inline constexpr int RRMaxRouteSegments = 100000;
// Advance gives up (open end) after this many hops in a row that use up no distance, or after
// this many hops in one call: a network of zero-length pieces must not keep it busy for ever.
inline constexpr int RRMaxStalledHops = 256;
inline constexpr int RRMaxAdvanceHops = 10000000;

// ---- flex points ----

// A point of a flexible route on the ground plane of the route frame, with the unit tangent there.
struct TRRFlexPoint {
  float DirX = 0, DirZ = 1;
  float PosX = 0, PosZ = 0;

  // arcsin of DirX (clamped to [-1, 1]), or pi minus that when DirZ is negative.
  float Heading() const;
  friend constexpr bool operator==(const TRRFlexPoint&, const TRRFlexPoint&) = default;
};
static_assert(sizeof(TRRFlexPoint) == 16);

using TRRFlexPointArray = std::vector<TRRFlexPoint>;

// ---- route description ----

class TRRTrackRouteDesc {
 public:
  float Shift = 0;
  float L1 = 0;
  float Angle = 0;
  float Radius = 0;
  float L2 = 0;
  float FlexL = 0;
  float Rotation = 0;
  TRRFlexPointArray FlexPoints;
  float FlexOffset = 0;
  // The tracks last found connected at the start (0) and end (1) contact; 0 = none.
  int32_t LastConnection[2] = {0, 0};

  bool IsFlexible() const;

  // Writes version 2.
  void SaveToStream(gx::TGXStream& s) const;
  // Reads versions 1 and 2 (version 1 has no Shift, which then is 0); any other version raises
  // EUnknownEntityDescription before more is read. The flex point count is checked against the
  // bytes that remain. On failure the description is left unchanged.
  void LoadFromStream(gx::TGXStream& s);

  // The keys "Route%d:L1", ":Angle", ":Radius", ":L2", ":FlexL", ":Rotation", ":FlexPoints"
  // (memory, 16 bytes per point), ":FlexOffset" and "Route%d:LastConnection0/1" (ID references)
  // of the old property bag, formatted with the route number. A missing key or one of another
  // type leaves the field at 0 (the description is reset first).
  void LoadFromPropertyBag(const TRREntityDescription_10& bag, int routeNumber);
  // Appends the same keys (the form LoadFromPropertyBag reads back).
  void SaveToPropertyBag(TRREntityDescription_10& bag, int routeNumber) const;
  // The two LastConnection fields as ID references (renumbered on load and paste).
  void GetPropertyAccess(TRRPropertyAccessList& list);

  // A copy made through the stream form (what a save and load would give).
  std::unique_ptr<TRRTrackRouteDesc> Clone() const;
  void Assign(const TRRTrackRouteDesc& other);
};

// The geometry of the track mesh that routes are measured with: the bounding box of one bedded
// segment at H0 scale (Z from 0 to 1) and the rail height (its top). The mesh generator replaces
// it once the track mesh is loaded; the built-in box fits the base catalogue's track.
struct TRRTrackSegmentShape {
  gx::TGXVector3 Min{-2.5f, 0.0f, 0.0f};
  gx::TGXVector3 Max{2.5f, 0.62f, 1.0f};
  float RailHeight() const { return Max.y; }
};
const TRRTrackSegmentShape& RRTrackSegmentShape();
void RRSetTrackSegmentShape(const TRRTrackSegmentShape& shape);

// ---- movement ----

// Where a movement along the route network ended. Direction 0 runs towards increasing distance,
// 1 towards decreasing distance.
struct RouteLocation {
  enum : int32_t { Moved = 0, OpenEnd = 1, Blocked = 2 };
  TRRTrackRoute* Route = nullptr;
  float Distance = 0;
  int32_t Direction = 0;
  int32_t Status = Moved;
};

// ---- contacts ----

class TRRTrackRouteContact {
 public:
  TRRTrackRouteContact(TRRTrackRoute* route, int32_t index, int32_t connection);
  // Detaches the marker from the node it is attached to.
  ~TRRTrackRouteContact();
  TRRTrackRouteContact(const TRRTrackRouteContact&) = delete;
  TRRTrackRouteContact& operator=(const TRRTrackRouteContact&) = delete;

  TRRTrackRoute* Route() const { return FRoute; }
  int32_t Index() const { return FIndex; }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value);
  float Roll() const { return FRoll; }
  void SetRoll(float value);
  // The track last found connected (0 = none); changes only when FindPartner succeeds.
  int32_t Connection() const { return FConnection; }
  void SetConnection(int32_t id) {
    FConnection = id;
    FPartnerAt = 0;
  }

  // Route-local frame: position, outward direction (away from the track), up, side.
  gx::TGXVector3 GetPosition() const;
  gx::TGXVector3 GetOutward() const;
  gx::TGXVector3 GetUp() const;
  gx::TGXVector3 GetSide() const;
  // The same in world space (the track node's WorldMatrix; directions normalised).
  gx::TGXVector3 GetWorldPosition() const;
  gx::TGXVector3 GetWorldOutward() const;
  gx::TGXVector3 GetWorldUp() const;
  gx::TGXVector3 GetWorldSide() const;
  // Rows side, up, outward and the position (route-local).
  gx::TGXMatrix GetFrame() const;

  // 0 for the start contact, the route length for the end contact.
  float GetDistance() const;
  TRRTrackRouteContact* GetOpposite() const;
  float DistanceSquaredTo(const TRRTrackRouteContact& other) const;

  // The enabled contact of another track lying on this one (within 0.2 scales), or null. blocked
  // is true when it belongs to a route of a switchable track that is not the active route. A
  // disabled contact finds nothing, and only tracks of the same scale connect. With an index
  // (built for the current layout) the search gives the same answer without scanning every track.
  TRRTrackRouteContact* FindPartner(bool& blocked, const TRRContactIndex* index = nullptr);
  // Enabled and FindPartner finds a contact.
  bool IsConnected();
  // The ray meets the plane through the contact normal to its world up vector (from its front)
  // within 1.5 scales of the contact: the hit point.
  std::optional<gx::TGXVector3> HitTest(const gx::TGXVector3& origin, const gx::TGXVector3& direction) const;
  // Both enabled, same track scale (within 0.001) and closer than 0.2 (absolute).
  bool Coincides(const TRRTrackRouteContact& other) const;

  // Marker of the technical view and of selected tracks (RRContactLine.h): shown or hidden, green
  // (0, 1, 0) when last found connected, red (1, 0, 0) when open. The track attaches the marker
  // object to its node; its visibility follows MarkerVisible.
  bool MarkerVisible() const { return FMarkerVisible; }
  void SetMarkerVisible(bool value);
  TRRContactLine* Marker() const { return FMarker.Get(); }
  const gx::TGXVector3& MarkerColour() const { return FMarkerColour; }
  void SetMarkerColour(const gx::TGXVector3& colour);
  // Counts colour changes (each makes the drawing build a new material).
  uint32_t MarkerRevision() const { return FMarkerRevision; }

 private:
  friend class TRRTrackRoute;
  // Recomputes the cached local frame from the route (after a change of shape or roll).
  void UpdateFrame();

  TRRTrackRoute* FRoute;
  int32_t FIndex;
  bool FEnabled = true;
  float FRoll = 0;
  int32_t FConnection = 0;
  // The layout generation at which the last search found no partner (0: search).
  uint64_t FLoneAt = 0;
  // The last partner found, the layout generation it was found at and the active route of its
  // track then: the same answer while neither changed (a train asks at every piece it passes).
  TRRTrackRouteContact* FPartner = nullptr;
  TRRTrack* FPartnerTrack = nullptr;
  uint64_t FPartnerAt = 0;
  int32_t FPartnerActive = 0;
  bool FPartnerBlocked = false;
  bool FMarkerVisible = false;
  gx::TGXVector3 FMarkerColour{1, 0, 0};
  uint32_t FMarkerRevision = 0;
  gx::TGXRef<TRRContactLine> FMarker;
  gx::TGXVector3 FPosition, FOutward{0, 0, 1}, FUp{0, 1, 0}, FSide{1, 0, 0};
};

// ---- routes ----

enum class TRRTrackRouteKind { Fixed, Flexible };

// A picking box of a route with the stretch of distance it covers.
struct TRRRouteBox {
  gx::TGXOrientedBox Box;
  float Start = 0, End = 0;
};

class TRRTrackRoute : public gx::TGXSceneObject {
 public:
  // A route of track (null for a route on its own, whose world frame is the identity) at position
  // index of its route array, measured at the track-system scale. Fixed routes take Shift, L1,
  // Angle, Radius, L2 and Rotation; flexible routes the flex points, FlexOffset and FlexL. Both
  // contacts are created from LastConnection. The track attaches the route to its node. A
  // flexible description with too few segments raises EInvalidCall (see SetParameters).
  TRRTrackRoute(TRRTrack* track, int index, const TRRTrackRouteDesc& description, float scale);

  TRRTrack* Track() const { return FTrack; }
  int Index() const { return FIndex; }
  float Scale() const { return FScale; }
  TRRTrackRouteKind Kind() const { return FKind; }
  bool IsFlexible() const { return FKind == TRRTrackRouteKind::Flexible; }

  // ---- stored shape ----
  float Shift() const { return FShift; }
  float L1() const { return FL1; }
  float Angle() const { return FAngle; }
  // As given; the geometry uses the radius with the angle's sign.
  float Radius() const { return FRadius; }
  float L2() const { return FL2; }
  float FlexL() const { return FFlexL; }
  float Rotation() const { return FRotation; }
  float FlexOffset() const { return FFlexOffset; }
  const TRRFlexPointArray& FlexPoints() const { return FFlexPoints; }

  // ---- local queries (any distance) ----
  // The track-system scale (fixed) or scale + FlexOffset (flexible).
  float GetSpacing() const;
  // round(x / spacing), halves to even, at most RRMaxRouteSegments; 0 for x <= 0.
  int SegmentCount(float x) const;
  // x / SegmentCount(x), or 0.
  float SegmentLength(float x) const;
  float GetLength() const;
  gx::TGXVector3 GetPosition(float d) const;
  gx::TGXVector3 GetRailPosition(float d) const;
  gx::TGXVector3 GetTangent(float d) const;
  gx::TGXVector3 GetUp(float d) const;
  gx::TGXVector3 GetSide(float d) const;
  gx::TGXMatrix GetFrame(float d, bool flat = false) const;
  gx::TGXQuaternion GetOrientation(float d, bool flat = false) const;
  bool IsTwisted() const;
  // The roll at d: from contact 0's to contact 1's, in proportion to the distance.
  float RollAt(float d) const { return Roll(d); }
  // The radius with the angle's sign (the arc length Angle * ArcRadius is never negative).
  float ArcRadius() const { return FArcRadius; }

  // ---- world queries (the track node's world values) ----
  gx::TGXVector3 GetWorldPosition(float d) const;
  gx::TGXVector3 GetWorldRailPosition(float d) const;
  gx::TGXVector3 GetWorldTangent(float d) const;
  gx::TGXVector3 GetWorldUp(float d) const;
  // GetWorldRailPosition, GetWorldTangent and GetWorldUp at one distance, bit for bit, reckoning
  // what they share once (a vehicle asks for all three at each bogie in every frame).
  struct TWorldRailFrame {
    gx::TGXVector3 RailPosition, Tangent, Up;
  };
  TWorldRailFrame GetWorldRailFrame(float d) const;
  gx::TGXQuaternion GetWorldOrientation(float d, bool flat = false) const;
  const gx::TGXMatrix& WorldMatrix() const;
  const gx::TGXMatrix& InverseWorldMatrix() const;

  // ---- mutators ----
  // Fixed routes only (EInvalidCall with (route, "SetParameters") otherwise). A value that is
  // not a finite number counts as 0, and so does a negative L1 or L2.
  void SetParameters(float shift, float l1, float angle, float radius, float l2, float rotation);
  // Flexible routes only, with round(flexL / spacing) > 0 (EInvalidCall otherwise). Without points
  // the route becomes a straight line of that many segments along +Z, and FlexOffset is set so
  // that the spacing equals the points' distance.
  void SetParameters(const TRRFlexPointArray& points, float flexL);
  // Bends a flexible route along the Hermite curve from world point p0 to world point p1 with the
  // end tangents -1.5 D t0 and 1.5 D t1 (D = |p0 - p1|): t0 and t1 are the world directions the
  // route's start and end contacts then point to, away from the route. The last point lies exactly
  // on p1. False and the route unchanged when the ends are closer than 3 scales, the curve turns
  // more than about 18 degrees between consecutive points (a fold-back included), or the route
  // is not flexible.
  bool BendFlexible(const gx::TGXVector3& p0, const gx::TGXVector3& t0, const gx::TGXVector3& t1,
                    const gx::TGXVector3& p1);
  // A stretch that is neither drawn nor pickable (both 0 = none).
  void SetHiddenInterval(float start, float end);
  float HiddenStart() const { return FHiddenStart; }
  float HiddenEnd() const { return FHiddenEnd; }
  // The distance of the point of the route nearest to q (local), or RRRouteDistanceMiss inside
  // the hidden stretch.
  float FindNearestDistance(const gx::TGXVector3& q) const;

  // ---- derived geometry ----
  const gx::TGXMatrix& RouteTransform() const { return FTransform; }
  // The route's axis-aligned box in the track frame (also the scene object's LocalBounds).
  const gx::TGXBoundingBox& Bounds() const { return FBounds; }
  const std::vector<TRRRouteBox>& Boxes() const { return FBoxes; }
  bool RayIntersect(const gx::TGXVector3& origin, const gx::TGXVector3& direction, gx::TGXVector3& normal,
                    gx::TGXVector3& hit) override;
  // Recomputes transform, bounds and boxes (also after route 0 of the track changed, since the
  // pivot of the other routes is its midpoint).
  void Recompute();

  // ---- description ----
  std::unique_ptr<TRRTrackRouteDesc> ToDescription() const;

  // ---- contacts and network ----
  TRRTrackRouteContact* Contact(int index) const { return FContacts[index & 1].get(); }
  // Moves by delta from distance along the connected routes.
  RouteLocation Advance(int32_t direction, float delta, float distance);
  // The distance left to the route end in the direction, and where the next route is entered.
  float StepToNextRoute(int32_t direction, float distance, RouteLocation& next);

  // ---- drawing state (set by the track, used by the mesh generator) ----
  bool Dirty() const { return FDirty; }
  void SetDirty(bool value) { FDirty = value; }
  float DepthBias() const { return FDepthBias; }
  void SetDepthBias(float value) { FDepthBias = value; }
  const gx::TGXVector4& Colour() const { return FColour; }
  void SetColour(const gx::TGXVector4& value) { FColour = value; }
  const gx::TGXRef<gx::TGXRefCounted>& Texture() const { return FTexture; }
  void SetTexture(gx::TGXRef<gx::TGXRefCounted> texture) {
    FTexture = std::move(texture);
    FDirty = true;
  }
  // The track's bed switch (true for a route without track).
  bool HasBed() const;

  // ---- drawing (RRTrackPrimitives.h) ----
  // Frees the primitives and builds them anew from the current shape; clears the dirty flag.
  void BuildPrimitives();
  const std::vector<std::unique_ptr<TRRTrackPrimitive>>& Primitives() const { return FPrimitives; }
  // Every primitive's world matrix from the track's current WorldMatrix (the track calls it
  // when its transform was updated).
  void UpdateWorldMatrices();
  // Rebuilds when dirty, then sets every primitive up (effect, technique - "CAD" in the
  // technical view - and geometry) and queues it at the squared distance from the camera node
  // to the centre of WorldBounds (0 without node). Nothing without the manager's track resources.
  void AddToRenderQueue(gx::TGXSceneCamera* camera, gx::TGXRenderQueue* queue) override;

 protected:
  ~TRRTrackRoute() override;

 private:
  void ShapeChanged();
  gx::TGXVector3 LocalPosition(float d) const;
  // Heading of the direction at d (Y rotation of +Z), for fixed and flexible routes.
  float LocalHeading(float d) const;
  float Roll(float d) const;
  gx::TGXVector3 FlexTangent(float d) const;
  void UpdateTransform();
  void UpdateBounds();
  void UpdateBoxes();
  void AddBox(float start, float length);

  TRRTrack* FTrack;
  int FIndex;
  float FScale;
  TRRTrackRouteKind FKind = TRRTrackRouteKind::Fixed;
  float FShift = 0, FL1 = 0, FAngle = 0, FRadius = 0, FL2 = 0, FFlexL = 0, FRotation = 0;
  // The radius with the angle's sign (so the arc length is never negative).
  float FArcRadius = 0;
  TRRFlexPointArray FFlexPoints;
  float FFlexOffset = 0;
  float FHiddenStart = 0, FHiddenEnd = 0;
  bool FHasTransform = false;
  gx::TGXMatrix FTransform;
  gx::TGXBoundingBox FBounds;
  std::vector<TRRRouteBox> FBoxes;
  std::array<std::unique_ptr<TRRTrackRouteContact>, 2> FContacts;
  bool FDirty = true;
  float FDepthBias = 0;
  gx::TGXVector4 FColour{1, 1, 1, 1};
  gx::TGXRef<gx::TGXRefCounted> FTexture;
  std::vector<std::unique_ptr<TRRTrackPrimitive>> FPrimitives;
};

}  // namespace rr
