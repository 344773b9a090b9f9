#include "app/entities/track/RRTrackRoute.h"

#include "app/entities/track/RRTrackConnections.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>

#include "app/entities/RREntityDescription.h"
#include "app/entities/RREntity_10.h"
#include "app/entities/track/RRContactLine.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackPrimitives.h"
#include "engine/core/GXException.h"
#include "engine/core/GXSerialization.h"
#include "engine/render/GXCamera.h"

namespace rr {

using gx::TGXMatrix;
using gx::TGXQuaternion;
using gx::TGXVector3;

namespace {

const TGXMatrix& Identity() {
  static const TGXMatrix m;
  return m;
}

float Finite(float v) { return std::isfinite(v) ? v : 0.0f; }

// (sin h, 0, cos h): +Z turned about Y by h.
// Sine and cosine, at a zero angle (straight pieces, pieces without cant: most calls of a
// running train) without the library call; sin(+-0) is +-0 and cos(+-0) is 1, so the bits match.
inline float Sin(float a) { return a == 0 ? a : std::sin(a); }
inline float Cos(float a) { return a == 0 ? 1.0f : std::cos(a); }

TGXVector3 HeadingVector(float h) { return {Sin(h), 0.0f, Cos(h)}; }

// (0, 1, 0) rolled about Z by roll, then turned about Y by heading.
TGXVector3 RolledUp(float roll, float heading) {
  const float sr = Sin(roll), cr = Cos(roll);
  const float sh = Sin(heading), ch = Cos(heading);
  // Rz(roll) takes (0, 1, 0) to (-sin r, cos r, 0); Ry(h) takes (x, y, z) to
  // (x cos h + z sin h, y, -x sin h + z cos h).
  return {-sr * ch, cr, sr * sh};
}

TGXVector3 Side(const TGXVector3& up, const TGXVector3& t) {
  return {up.y * t.z - up.z * t.y, up.z * t.x - up.x * t.z, up.x * t.y - up.y * t.x};
}

TGXMatrix FrameMatrix(const TGXVector3& side, const TGXVector3& up, const TGXVector3& forward,
                      const TGXVector3& pos) {
  return TGXMatrix(side.x, side.y, side.z, 0, up.x, up.y, up.z, 0, forward.x, forward.y, forward.z, 0, pos.x,
                   pos.y, pos.z, 1);
}

std::string RouteKey(int number, const char* name) { return "Route" + std::to_string(number) + ":" + name; }

std::vector<uint8_t> SingleBytes(float v) {
  std::vector<uint8_t> b(4);
  std::memcpy(b.data(), &v, 4);
  return b;
}

std::vector<uint8_t> IntegerBytes(int32_t v) {
  std::vector<uint8_t> b(4);
  std::memcpy(b.data(), &v, 4);
  return b;
}

TRRTrackSegmentShape& SegmentShapeSlot() {
  static TRRTrackSegmentShape shape;
  return shape;
}

}  // namespace

// ---- flex points ----

float TRRFlexPoint::Heading() const {
  float a = std::asin(std::clamp(DirX, -1.0f, 1.0f));
  if (DirZ < 0) a = gx::GX_PI - a;
  return a;
}

// ---- segment shape ----

const TRRTrackSegmentShape& RRTrackSegmentShape() { return SegmentShapeSlot(); }
void RRSetTrackSegmentShape(const TRRTrackSegmentShape& shape) { SegmentShapeSlot() = shape; }

// ---- route description ----

bool TRRTrackRouteDesc::IsFlexible() const { return std::fabs(FlexL) > RRFlexLengthThreshold; }

namespace {

// A route record is mostly singles; they move through the stream in blocks (the head, the flex
// points, the tail) instead of one stream call per value. The bytes are those of single writes.
void PutCardinal(uint8_t*& p, uint32_t v) {
  for (int i = 0; i < 4; ++i) *p++ = static_cast<uint8_t>(v >> (8 * i));
}
void PutSingle(uint8_t*& p, float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  PutCardinal(p, bits);
}
uint32_t TakeCardinal(const uint8_t*& p) {
  uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  p += 4;
  return v;
}
float TakeSingle(const uint8_t*& p) {
  uint32_t bits = TakeCardinal(p);
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

// Flex points in groups so the stack buffer stays small.
constexpr size_t kFlexPointsPerBlock = 64;

}  // namespace

void TRRTrackRouteDesc::SaveToStream(gx::TGXStream& s) const {
  uint8_t head[4 + 7 * 4 + 4];
  uint8_t* p = head;
  PutCardinal(p, static_cast<uint32_t>(RRTrackRouteDescVersion));
  for (float f : {Shift, L1, Angle, Radius, L2, FlexL, Rotation}) PutSingle(p, f);
  PutCardinal(p, static_cast<uint32_t>(static_cast<int32_t>(FlexPoints.size())));
  s.WriteBuffer(head, sizeof head);
  uint8_t points[16 * kFlexPointsPerBlock];
  for (size_t first = 0; first < FlexPoints.size(); first += kFlexPointsPerBlock) {
    const size_t n = std::min(kFlexPointsPerBlock, FlexPoints.size() - first);
    p = points;
    for (size_t i = first; i < first + n; ++i) {
      const TRRFlexPoint& fp = FlexPoints[i];
      PutSingle(p, fp.DirX), PutSingle(p, fp.DirZ), PutSingle(p, fp.PosX), PutSingle(p, fp.PosZ);
    }
    s.WriteBuffer(points, static_cast<int64_t>(16 * n));
  }
  uint8_t tail[12];
  p = tail;
  PutSingle(p, FlexOffset);
  PutCardinal(p, static_cast<uint32_t>(LastConnection[0]));
  PutCardinal(p, static_cast<uint32_t>(LastConnection[1]));
  s.WriteBuffer(tail, sizeof tail);
}

void TRRTrackRouteDesc::LoadFromStream(gx::TGXStream& s) {
  const int32_t version = gx::ReadInteger(s);
  if (version != 1 && version != 2) throw EUnknownEntityDescription();
  TRRTrackRouteDesc d;
  // Version 1 has no shift.
  uint8_t head[7 * 4];
  const int singles = version >= 2 ? 7 : 6;
  s.ReadBuffer(head, 4 * singles);
  const uint8_t* p = head;
  if (version >= 2) d.Shift = TakeSingle(p);
  for (float* f : {&d.L1, &d.Angle, &d.Radius, &d.L2, &d.FlexL, &d.Rotation}) *f = TakeSingle(p);
  const int32_t n = gx::ReadCount(s, 16);
  d.FlexPoints.resize(static_cast<size_t>(n));
  uint8_t points[16 * kFlexPointsPerBlock];
  for (size_t first = 0; first < d.FlexPoints.size(); first += kFlexPointsPerBlock) {
    const size_t count = std::min(kFlexPointsPerBlock, d.FlexPoints.size() - first);
    s.ReadBuffer(points, static_cast<int64_t>(16 * count));
    p = points;
    for (size_t i = first; i < first + count; ++i) {
      TRRFlexPoint& fp = d.FlexPoints[i];
      fp.DirX = TakeSingle(p), fp.DirZ = TakeSingle(p), fp.PosX = TakeSingle(p), fp.PosZ = TakeSingle(p);
    }
  }
  uint8_t tail[12];
  s.ReadBuffer(tail, sizeof tail);
  p = tail;
  d.FlexOffset = TakeSingle(p);
  d.LastConnection[0] = static_cast<int32_t>(TakeCardinal(p));
  d.LastConnection[1] = static_cast<int32_t>(TakeCardinal(p));
  *this = std::move(d);
}

void TRRTrackRouteDesc::LoadFromPropertyBag(const TRREntityDescription_10& bag, int routeNumber) {
  *this = TRRTrackRouteDesc();
  bag.GetSingle(RouteKey(routeNumber, "L1"), L1);
  bag.GetSingle(RouteKey(routeNumber, "Angle"), Angle);
  bag.GetSingle(RouteKey(routeNumber, "Radius"), Radius);
  bag.GetSingle(RouteKey(routeNumber, "L2"), L2);
  bag.GetSingle(RouteKey(routeNumber, "FlexL"), FlexL);
  bag.GetSingle(RouteKey(routeNumber, "Rotation"), Rotation);
  bag.GetSingle(RouteKey(routeNumber, "FlexOffset"), FlexOffset);
  std::vector<uint8_t> memory;
  if (bag.GetMemory(RouteKey(routeNumber, "FlexPoints"), memory)) {
    FlexPoints.resize(memory.size() / 16);
    for (size_t i = 0; i < FlexPoints.size(); ++i) std::memcpy(&FlexPoints[i], memory.data() + 16 * i, 16);
  }
  for (int i = 0; i < 2; ++i)
    bag.GetIDRef(RouteKey(routeNumber, "LastConnection") + std::to_string(i), LastConnection[i]);
}

void TRRTrackRouteDesc::SaveToPropertyBag(TRREntityDescription_10& bag, int routeNumber) const {
  using P = TRREntityPropertyType_10;
  bag.AddProperty(P::Single, RouteKey(routeNumber, "L1"), SingleBytes(L1));
  bag.AddProperty(P::Single, RouteKey(routeNumber, "Angle"), SingleBytes(Angle));
  bag.AddProperty(P::Single, RouteKey(routeNumber, "Radius"), SingleBytes(Radius));
  bag.AddProperty(P::Single, RouteKey(routeNumber, "L2"), SingleBytes(L2));
  bag.AddProperty(P::Single, RouteKey(routeNumber, "FlexL"), SingleBytes(FlexL));
  bag.AddProperty(P::Single, RouteKey(routeNumber, "Rotation"), SingleBytes(Rotation));
  std::vector<uint8_t> memory(FlexPoints.size() * 16);
  if (!memory.empty()) std::memcpy(memory.data(), FlexPoints.data(), memory.size());
  bag.AddProperty(P::Memory, RouteKey(routeNumber, "FlexPoints"), std::move(memory));
  bag.AddProperty(P::Single, RouteKey(routeNumber, "FlexOffset"), SingleBytes(FlexOffset));
  for (int i = 0; i < 2; ++i)
    bag.AddProperty(P::IDRef, RouteKey(routeNumber, "LastConnection") + std::to_string(i),
                    IntegerBytes(LastConnection[i]));
}

void TRRTrackRouteDesc::GetPropertyAccess(TRRPropertyAccessList& list) {
  list.Add<TRREntityIDRefAccess>(LastConnection[0]);
  list.Add<TRREntityIDRefAccess>(LastConnection[1]);
}

std::unique_ptr<TRRTrackRouteDesc> TRRTrackRouteDesc::Clone() const {
  auto copy = std::make_unique<TRRTrackRouteDesc>();
  copy->Assign(*this);
  return copy;
}

void TRRTrackRouteDesc::Assign(const TRRTrackRouteDesc& other) {
  if (&other == this) return;
  gx::TGXMemoryStream s;
  other.SaveToStream(s);
  s.SetPosition(0);
  LoadFromStream(s);
}

// ---- contacts ----

TRRTrackRouteContact::TRRTrackRouteContact(TRRTrackRoute* route, int32_t index, int32_t connection)
    : FRoute(route), FIndex(index), FConnection(connection), FMarker(gx::MakeRef<TRRContactLine>(this)) {}

TRRTrackRouteContact::~TRRTrackRouteContact() {
  FMarker->Orphan();
  if (gx::TGXSceneNode* node = FMarker->Node()) node->DetachObject(FMarker.Get());
}

void TRRTrackRouteContact::SetMarkerVisible(bool value) {
  FMarkerVisible = value;
  FMarker->SetVisible(value);
}

void TRRTrackRouteContact::SetEnabled(bool value) {
  if (value != FEnabled) RRTrackLayoutChanged();
  FEnabled = value;
}

void TRRTrackRouteContact::SetRoll(float value) {
  value = Finite(value);
  if (value == FRoll) return;
  FRoll = value;
  // The roll bends every up vector of the route, and with them bounds and boxes.
  FRoute->Recompute();
  FRoute->SetDirty(true);
}

void TRRTrackRouteContact::UpdateFrame() {
  const float d = GetDistance();
  FPosition = FRoute->GetPosition(d);
  const TGXVector3 t = FRoute->GetTangent(d);
  FUp = FRoute->GetUp(d);
  const TGXVector3 side = FRoute->GetSide(d);
  FOutward = FIndex == 1 ? t : -t;
  FSide = FIndex == 1 ? side : -side;
}

TGXVector3 TRRTrackRouteContact::GetPosition() const { return FPosition; }
TGXVector3 TRRTrackRouteContact::GetOutward() const { return FOutward; }
TGXVector3 TRRTrackRouteContact::GetUp() const { return FUp; }
TGXVector3 TRRTrackRouteContact::GetSide() const { return FSide; }

TGXVector3 TRRTrackRouteContact::GetWorldPosition() const {
  return gx::GXVec3TransformCoord(FPosition, FRoute->WorldMatrix());
}
TGXVector3 TRRTrackRouteContact::GetWorldOutward() const {
  return gx::GXVec3Normalize(gx::GXVec3TransformNormal(FOutward, FRoute->WorldMatrix()));
}
TGXVector3 TRRTrackRouteContact::GetWorldUp() const {
  return gx::GXVec3Normalize(gx::GXVec3TransformNormal(FUp, FRoute->WorldMatrix()));
}
TGXVector3 TRRTrackRouteContact::GetWorldSide() const {
  return gx::GXVec3Normalize(gx::GXVec3TransformNormal(FSide, FRoute->WorldMatrix()));
}

TGXMatrix TRRTrackRouteContact::GetFrame() const { return FrameMatrix(FSide, FUp, FOutward, FPosition); }

float TRRTrackRouteContact::GetDistance() const { return FIndex == 0 ? 0.0f : FRoute->GetLength(); }

TRRTrackRouteContact* TRRTrackRouteContact::GetOpposite() const { return FRoute->Contact(1 - FIndex); }

float TRRTrackRouteContact::DistanceSquaredTo(const TRRTrackRouteContact& other) const {
  return gx::DistanceSquared(GetWorldPosition(), other.GetWorldPosition());
}

bool TRRTrackRouteContact::IsConnected() {
  bool blocked = false;
  return FEnabled && FindPartner(blocked) != nullptr;
}

std::optional<TGXVector3> TRRTrackRouteContact::HitTest(const TGXVector3& origin,
                                                        const TGXVector3& direction) const {
  const TGXVector3 p = GetWorldPosition();
  const TGXVector3 n = GetWorldUp();
  const std::optional<TGXVector3> hit = gx::RayPlane(origin, direction, n, -gx::GXVec3Dot(n, p), true);
  if (!hit) return std::nullopt;
  const float r = 1.5f * FRoute->Scale();
  if (gx::DistanceSquared(*hit, p) < r * r) return hit;
  return std::nullopt;
}

bool TRRTrackRouteContact::Coincides(const TRRTrackRouteContact& other) const {
  if (!FEnabled || !other.FEnabled) return false;
  if (std::fabs(FRoute->Scale() - other.FRoute->Scale()) > 0.001f) return false;
  return DistanceSquaredTo(other) < 0.2f * 0.2f;
}

void TRRTrackRouteContact::SetMarkerColour(const TGXVector3& colour) {
  if (colour == FMarkerColour) return;
  FMarkerColour = colour;
  ++FMarkerRevision;
}

// ---- routes ----

TRRTrackRoute::TRRTrackRoute(TRRTrack* track, int index, const TRRTrackRouteDesc& description, float scale)
    : FTrack(track), FIndex(index), FScale(std::isfinite(scale) && scale > 0 ? scale : 1.0f) {
  FContacts[0] = std::make_unique<TRRTrackRouteContact>(this, 0, description.LastConnection[0]);
  FContacts[1] = std::make_unique<TRRTrackRouteContact>(this, 1, description.LastConnection[1]);
  if (description.IsFlexible()) {
    FKind = TRRTrackRouteKind::Flexible;
    FFlexOffset = Finite(description.FlexOffset);
    SetParameters(description.FlexPoints, description.FlexL);
  } else {
    SetParameters(description.Shift, description.L1, description.Angle, description.Radius, description.L2,
                  description.Rotation);
  }
}

TRRTrackRoute::~TRRTrackRoute() = default;

bool TRRTrackRoute::HasBed() const { return FTrack ? FTrack->HasBed() : true; }

// ---- drawing ----

void TRRTrackRoute::BuildPrimitives() {
  FPrimitives.clear();
  FPrimitives = RRBuildTrackPrimitives(*this);
  FDirty = false;
}

void TRRTrackRoute::UpdateWorldMatrices() {
  for (auto& p : FPrimitives) p->UpdateWorldMatrix();
}

void TRRTrackRoute::AddToRenderQueue(gx::TGXSceneCamera* camera, gx::TGXRenderQueue* queue) {
  IRREntityManager* manager = FTrack ? FTrack->Manager() : nullptr;
  TRRTrackResources* resources = manager ? manager->TrackResources() : nullptr;
  if (!resources || !queue) return;
  if (FDirty) BuildPrimitives();
  const bool technical = manager->TechnicalView();
  float distance = 0;
  if (camera && camera->Node()) distance = gx::DistanceSquared(camera->Node()->WorldPosition(), WorldBounds().Center);
  const bool batching = resources->Batching();
  TRRTrackBatcher& batcher = resources->Batcher();
  for (auto& p : FPrimitives)
    if (p->SetUp(*resources, technical)) batcher.Add(p.get(), queue, distance, batching);
}

float TRRTrackRoute::GetSpacing() const { return IsFlexible() ? FScale + FFlexOffset : FScale; }

int TRRTrackRoute::SegmentCount(float x) const {
  const float spacing = GetSpacing();
  if (!(x > 0) || !(spacing > 0) || !std::isfinite(x)) return 0;
  const float ratio = x / spacing;
  if (!(ratio < static_cast<float>(RRMaxRouteSegments))) return RRMaxRouteSegments;
  return static_cast<int>(std::nearbyint(ratio));  // the default rounding mode: halves to even
}

float TRRTrackRoute::SegmentLength(float x) const {
  const int c = SegmentCount(x);
  return c > 0 ? x / static_cast<float>(c) : 0.0f;
}

float TRRTrackRoute::GetLength() const {
  if (IsFlexible()) {
    const size_t n = FFlexPoints.size();
    return n < 2 ? 0.0f : static_cast<float>(n - 1) * GetSpacing();
  }
  return FAngle * FArcRadius + FL1 + FL2;
}

TGXVector3 TRRTrackRoute::LocalPosition(float d) const {
  if (IsFlexible()) {
    const size_t n = FFlexPoints.size();
    if (n < 2) gx::GXAssertionFailed("Source/Entities/Track/RRTrackRoute", __LINE__);
    const float length = GetLength();
    if (d <= 0) {
      const TRRFlexPoint& p = FFlexPoints.front();
      return TGXVector3(p.PosX, 0, p.PosZ) + HeadingVector(p.Heading()) * d;
    }
    if (d >= length) {
      const TRRFlexPoint& p = FFlexPoints.back();
      return TGXVector3(p.PosX, 0, p.PosZ) + HeadingVector(p.Heading()) * (d - length);
    }
    const float t = d / GetSpacing();
    // The fraction is taken from the clamped index, so a distance that rounds up to the last
    // point still lands on the last segment's end instead of its start.
    const size_t i = static_cast<size_t>(std::clamp(std::floor(t), 0.0f, static_cast<float>(n - 2)));
    const float f = std::clamp(t - static_cast<float>(i), 0.0f, 1.0f);
    const TRRFlexPoint& a = FFlexPoints[i];
    const TRRFlexPoint& b = FFlexPoints[i + 1];
    return {a.PosX + (b.PosX - a.PosX) * f, 0, a.PosZ + (b.PosZ - a.PosZ) * f};
  }
  if (d <= FL1) return {0, 0, d};
  const float arc = FAngle * FArcRadius;
  const float r = FArcRadius;
  if (arc > 0 && d <= FL1 + arc) {
    const float theta = FAngle * (d - FL1) / arc;
    return {r - r * std::cos(theta), 0, r * std::sin(theta) + FL1};
  }
  const float e = d - arc - FL1;
  return {r - r * std::cos(FAngle) + e * std::sin(FAngle), 0,
          r * std::sin(FAngle) + FL1 + e * std::cos(FAngle)};
}

TGXVector3 TRRTrackRoute::FlexTangent(float d) const {
  const size_t n = FFlexPoints.size();
  if (n < 2) gx::GXAssertionFailed("Source/Entities/Track/RRTrackRoute", __LINE__);
  if (d <= 0) return HeadingVector(FFlexPoints.front().Heading());
  if (d >= GetLength()) return HeadingVector(FFlexPoints.back().Heading());
  const float t = d / GetSpacing();
  const size_t i = static_cast<size_t>(std::clamp(std::floor(t), 0.0f, static_cast<float>(n - 2)));
  const float f = std::clamp(t - static_cast<float>(i), 0.0f, 1.0f);
  // Between two points the direction turns from the one to the other, so the direction is exact
  // at every point and never jumps by the bend between two points.
  const TGXVector3 a = HeadingVector(FFlexPoints[i].Heading());
  const TGXVector3 b = HeadingVector(FFlexPoints[i + 1].Heading());
  const TGXVector3 m = gx::GXVec3Normalize(gx::GXVec3Lerp(a, b, f));
  if (gx::GXVec3LengthSq(m) == 0) return f < 0.5f ? a : b;
  return m;
}

float TRRTrackRoute::LocalHeading(float d) const {
  if (IsFlexible()) {
    const TGXVector3 t = FlexTangent(d);
    return std::atan2(t.x, t.z);
  }
  if (d <= FL1) return 0;
  const float arc = FAngle * FArcRadius;
  if (arc > 0 && d <= FL1 + arc) return FAngle * (d - FL1) / arc;
  return FAngle;
}

float TRRTrackRoute::Roll(float d) const {
  const float r0 = FContacts[0]->Roll();
  const float r1 = FContacts[1]->Roll();
  const float length = GetLength();
  if (d <= 0) return r0;
  if (d >= length) return r1;
  return r0 + (r1 - r0) * (d / length);
}

bool TRRTrackRoute::IsTwisted() const {
  return std::fabs(FContacts[0]->Roll() - FContacts[1]->Roll()) > RRTwistedRollDifference;
}

TGXVector3 TRRTrackRoute::GetPosition(float d) const {
  const TGXVector3 p = LocalPosition(d);
  return FHasTransform ? gx::GXVec3TransformCoord(p, FTransform) : p;
}

TGXVector3 TRRTrackRoute::GetTangent(float d) const {
  const TGXVector3 t = IsFlexible() ? FlexTangent(d) : HeadingVector(LocalHeading(d));
  return FHasTransform ? gx::GXVec3TransformNormal(t, FTransform) : t;
}

TGXVector3 TRRTrackRoute::GetUp(float d) const {
  const TGXVector3 u = RolledUp(Roll(d), LocalHeading(d));
  return FHasTransform ? gx::GXVec3TransformNormal(u, FTransform) : u;
}

TGXVector3 TRRTrackRoute::GetSide(float d) const { return Side(GetUp(d), GetTangent(d)); }

TGXVector3 TRRTrackRoute::GetRailPosition(float d) const {
  return GetPosition(d) + GetUp(d) * (RRTrackSegmentShape().RailHeight() * FScale);
}

TGXMatrix TRRTrackRoute::GetFrame(float d, bool flat) const {
  const TGXVector3 t = GetTangent(d);
  const TGXVector3 up = flat ? TGXVector3(0, 1, 0) : GetUp(d);
  return FrameMatrix(Side(up, t), up, t, GetPosition(d));
}

TGXQuaternion TRRTrackRoute::GetOrientation(float d, bool flat) const {
  const TGXVector3 t = GetTangent(d);
  const TGXVector3 up = flat ? TGXVector3(0, 1, 0) : GetUp(d);
  return gx::QuaternionFromAxes(t, up, Side(up, t));
}

const TGXMatrix& TRRTrackRoute::WorldMatrix() const { return FTrack ? FTrack->WorldMatrix() : Identity(); }
const TGXMatrix& TRRTrackRoute::InverseWorldMatrix() const {
  return FTrack ? FTrack->InverseWorldMatrix() : Identity();
}

TGXVector3 TRRTrackRoute::GetWorldPosition(float d) const {
  return gx::GXVec3TransformCoord(GetPosition(d), WorldMatrix());
}
TGXVector3 TRRTrackRoute::GetWorldRailPosition(float d) const {
  return gx::GXVec3TransformCoord(GetRailPosition(d), WorldMatrix());
}
TGXVector3 TRRTrackRoute::GetWorldTangent(float d) const {
  return gx::GXVec3Normalize(gx::GXVec3TransformNormal(GetTangent(d), WorldMatrix()));
}
TGXVector3 TRRTrackRoute::GetWorldUp(float d) const {
  return gx::GXVec3Normalize(gx::GXVec3TransformNormal(GetUp(d), WorldMatrix()));
}
TRRTrackRoute::TWorldRailFrame TRRTrackRoute::GetWorldRailFrame(float d) const {
  // The steps of GetTangent, GetUp and GetRailPosition, in their order, with the heading and the
  // up vector taken once.
  TGXVector3 t;
  float heading;
  if (IsFlexible()) {
    t = FlexTangent(d);
    heading = std::atan2(t.x, t.z);
  } else {
    heading = LocalHeading(d);
    t = HeadingVector(heading);
  }
  TGXVector3 u = RolledUp(Roll(d), heading);
  TGXVector3 p = LocalPosition(d);
  if (FHasTransform) {
    t = gx::GXVec3TransformNormal(t, FTransform);
    u = gx::GXVec3TransformNormal(u, FTransform);
    p = gx::GXVec3TransformCoord(p, FTransform);
  }
  const TGXMatrix& world = WorldMatrix();
  return {gx::GXVec3TransformCoord(p + u * (RRTrackSegmentShape().RailHeight() * FScale), world),
          gx::GXVec3Normalize(gx::GXVec3TransformNormal(t, world)),
          gx::GXVec3Normalize(gx::GXVec3TransformNormal(u, world))};
}

TGXQuaternion TRRTrackRoute::GetWorldOrientation(float d, bool flat) const {
  const TGXQuaternion local = GetOrientation(d, flat);
  return FTrack ? gx::GXQuaternionMultiply(local, FTrack->WorldRotation()) : local;
}

// ---- mutators ----

void TRRTrackRoute::SetParameters(float shift, float l1, float angle, float radius, float l2,
                                  float rotation) {
  if (IsFlexible()) throw gx::EInvalidCall({gx::TGXExceptionArg::Object("TRRTrackRoute"), "SetParameters"});
  FShift = Finite(shift);
  FL1 = std::max(Finite(l1), 0.0f);  // a straight of negative length would run backwards
  FAngle = Finite(angle);
  FRadius = Finite(radius);
  FL2 = std::max(Finite(l2), 0.0f);
  FRotation = Finite(rotation);
  ShapeChanged();
}

void TRRTrackRoute::SetParameters(const TRRFlexPointArray& points, float flexL) {
  if (!IsFlexible()) throw gx::EInvalidCall({gx::TGXExceptionArg::Object("TRRTrackRoute"), "SetParameters"});
  float offset = FFlexOffset;
  if (!(FScale + offset > 0.01f * FScale)) offset = 0;  // a corrupt offset must not make the spacing vanish
  const float spacing = FScale + offset;
  const float ratio = flexL / spacing;
  // Negative, non-finite and huge lengths give no segment count at all (and no out-of-range cast).
  const int c =
      ratio > 0 && ratio < RRMaxRouteSegments ? static_cast<int>(std::nearbyint(ratio)) : 0;
  if (c <= 0) throw gx::EInvalidCall({gx::TGXExceptionArg::Object("TRRTrackRoute"), "SetParameters"});
  TRRFlexPointArray stored;
  if (points.empty()) {
    // Straight along +Z; the offset makes the spacing the lookups use equal to the points' distance.
    const float step = flexL / static_cast<float>(c);
    stored.resize(static_cast<size_t>(c) + 1);
    for (int i = 0; i <= c; ++i) stored[static_cast<size_t>(i)] = {0, 1, 0, static_cast<float>(i) * step};
    offset = step - FScale;
  } else {
    stored = points;
    for (TRRFlexPoint& p : stored) {
      if (!std::isfinite(p.DirX) || !std::isfinite(p.DirZ)) p.DirX = 0, p.DirZ = 1;
      p.PosX = Finite(p.PosX);
      p.PosZ = Finite(p.PosZ);
    }
  }
  FFlexL = flexL;
  FFlexOffset = offset;
  FFlexPoints = std::move(stored);
  FShift = FL1 = FAngle = FRadius = FL2 = FRotation = 0;
  ShapeChanged();
}

bool TRRTrackRoute::BendFlexible(const TGXVector3& p0, const TGXVector3& t0, const TGXVector3& t1,
                                 const TGXVector3& p1) {
  if (!IsFlexible()) return false;
  const float distance = gx::GXVec3Length(p0 - p1);
  if (!std::isfinite(distance) || distance <= 3.0f * FScale) return false;
  const TGXMatrix& inv = InverseWorldMatrix();
  const TGXVector3 a = gx::GXVec3TransformCoord(p0, inv);
  const TGXVector3 b = gx::GXVec3TransformCoord(p1, inv);
  const TGXVector3 m0 = gx::GXVec3TransformNormal(t0, inv) * (-1.5f * distance);
  const TGXVector3 m1 = gx::GXVec3TransformNormal(t1, inv) * (1.5f * distance);
  if (!gx::GXIsFinite(m0) || !gx::GXIsFinite(m1) || gx::GXVec3LengthSq(m0) == 0 ||
      gx::GXVec3LengthSq(m1) == 0)
    return false;

  // Samples at i * step: an accumulated single-precision parameter would drift and stop short.
  constexpr int kSteps = 50000;
  constexpr float kStep = 1.0f / kSteps;
  auto unitTangent = [&](float s) { return gx::GXVec3Normalize(gx::HermiteTangent(a, m0, b, m1, s)); };

  // Counting pass: points about one scale apart, none turning more than ~18 degrees from the
  // previous one. The dot product is signed, so a fold-back is refused too.
  const float minSq = FScale * FScale;
  int k = 0;
  TGXVector3 last, lastTangent;
  for (int i = 0; i < kSteps; ++i) {
    const float s = static_cast<float>(i) * kStep;
    const TGXVector3 h = gx::GXVec3Hermite(a, m0, b, m1, s);
    if (k > 0 && gx::DistanceSquared(h, last) < minSq) continue;
    const TGXVector3 t = unitTangent(s);
    if (k > 0 && gx::GXVec3Dot(t, lastTangent) < 0.95f) return false;
    last = h;
    lastTangent = t;
    ++k;
  }
  const TGXVector3 endTangent = unitTangent(1.0f);
  if (gx::GXVec3Dot(endTangent, lastTangent) < 0.95f) return false;
  if (k < 2) return false;
  const float offset = gx::GXVec3Length(b - last) / static_cast<float>(k - 1);

  // Storing pass at the widened spacing; the last point is the target itself with its tangent,
  // so the bent track ends exactly on the contact it was bent to.
  const float spacing = FScale + offset;
  const float spacingSq = spacing * spacing;
  TRRFlexPointArray points;
  points.reserve(static_cast<size_t>(k));
  TGXVector3 lastStored;
  auto store = [&](const TGXVector3& h, const TGXVector3& t) {
    const TGXVector3 flat = gx::GXVec3Normalize({t.x, 0, t.z});
    points.push_back({flat.x, flat.z, h.x, h.z});
    lastStored = h;
  };
  for (int i = 0; i < kSteps && static_cast<int>(points.size()) < k - 1; ++i) {
    const float s = static_cast<float>(i) * kStep;
    const TGXVector3 h = gx::GXVec3Hermite(a, m0, b, m1, s);
    if (!points.empty() && gx::DistanceSquared(h, lastStored) < spacingSq) continue;
    store(h, unitTangent(s));
  }
  store(b, endTangent);
  if (points.size() < 2) return false;
  for (const TRRFlexPoint& p : points)
    if (!std::isfinite(p.DirX) || !std::isfinite(p.DirZ) || !std::isfinite(p.PosX) || !std::isfinite(p.PosZ))
      return false;

  FFlexPoints = std::move(points);
  FFlexOffset = offset;
  ShapeChanged();
  return true;
}

void TRRTrackRoute::SetHiddenInterval(float start, float end) {
  FHiddenStart = Finite(start);
  FHiddenEnd = Finite(end);
  UpdateBoxes();
  FDirty = true;
}

float TRRTrackRoute::FindNearestDistance(const TGXVector3& q) const {
  const float length = GetLength();
  int count = SegmentCount(length);
  if (count == 0) count = 1;
  const float g = length > 0 ? length / static_cast<float>(count) : 0.0f;
  int best = 0;
  float bestSq = 0, bestT = 0;
  TGXVector3 a = GetPosition(0);
  for (int j = 0; j < count; ++j) {
    const TGXVector3 b = GetPosition(static_cast<float>(j + 1) * g);
    const gx::TGXPointSegmentDistance r = gx::PointSegmentDistanceSquared(q, a, b);
    if (j == 0 || r.DistanceSquared < bestSq) {
      best = j;
      bestSq = r.DistanceSquared;
      bestT = r.T;
    }
    a = b;
  }
  const float result = static_cast<float>(best) * g + bestT * g;
  if (FHiddenStart > 0 && FHiddenEnd > 0 && result > FHiddenStart && result < FHiddenEnd)
    return RRRouteDistanceMiss;
  return result;
}

// ---- derived geometry ----

void TRRTrackRoute::ShapeChanged() {
  RRTrackLayoutChanged();
  Recompute();
  if (FTrack) {
    // The other routes turn about this route's midpoint.
    if (FIndex == 0)
      for (int i = 1; i < FTrack->GetRouteCount(); ++i)
        if (TRRTrackRoute* r = FTrack->GetRoute(i); r && r != this) r->Recompute();
    FTrack->RouteShapeChanged();
  }
}

void TRRTrackRoute::Recompute() {
  FArcRadius = FAngle != 0 ? std::copysign(std::fabs(FRadius), FAngle) : FRadius;
  UpdateTransform();
  FContacts[0]->UpdateFrame();
  FContacts[1]->UpdateFrame();
  UpdateBounds();
  UpdateBoxes();
  FDirty = true;
}

void TRRTrackRoute::UpdateTransform() {
  FHasTransform = false;
  FTransform = TGXMatrix();
  if (FRotation == 0 && FShift == 0) return;
  TGXVector3 m;
  const TRRTrackRoute* first = FTrack && FIndex != 0 ? FTrack->GetRoute(0) : nullptr;
  if (first && first != this)
    m = first->LocalPosition(first->GetLength() * 0.5f);
  else
    m = LocalPosition(GetLength() * 0.5f);
  FTransform = gx::GXMatrixTranslation(-m.x, -m.y, FShift - m.z) * gx::GXMatrixRotationY(FRotation) *
               gx::GXMatrixTranslation(m.x, m.y, m.z);
  FHasTransform = true;
}

void TRRTrackRoute::UpdateBounds() {
  const TRRTrackSegmentShape& shape = RRTrackSegmentShape();
  const TGXVector3 mn = shape.Min * FScale;
  const TGXVector3 mx = shape.Max * FScale;
  TGXVector3 lo = mn, hi = mx;
  const float length = GetLength();
  const int count = SegmentCount(length);
  if (count > 0) {
    const float g = length / static_cast<float>(count);
    const TGXVector3 corners[4] = {
        {mn.x, mn.y, mn.z}, {mx.x, mn.y, mn.z}, {mn.x, mx.y, mn.z}, {mx.x, mx.y, mn.z}};
    for (int j = 0; j <= count; ++j) {
      const TGXMatrix f = GetFrame(static_cast<float>(j) * g);
      for (const TGXVector3& c : corners) {
        const TGXVector3 p = gx::GXVec3TransformCoord(c, f);
        lo = gx::GXVec3Minimize(lo, p);
        hi = gx::GXVec3Maximize(hi, p);
      }
    }
  }
  FBounds = gx::BoxFromMinMax(lo, hi);
  SetLocalBounds(FBounds);
}

void TRRTrackRoute::AddBox(float start, float length) {
  // The hidden stretch is cut out of the box, so what is not drawn is not picked either.
  float pieces[2][2] = {{start, start + length}, {0, 0}};
  int count = 1;
  if (FHiddenStart > 0 && FHiddenEnd > FHiddenStart) {
    const float s = start, e = start + length;
    count = 0;
    if (s < FHiddenStart) pieces[count][0] = s, pieces[count++][1] = std::min(e, FHiddenStart);
    if (e > FHiddenEnd) pieces[count][0] = std::max(s, FHiddenEnd), pieces[count++][1] = e;
  }
  const TRRTrackSegmentShape& shape = RRTrackSegmentShape();
  for (int i = 0; i < count; ++i) {
    const float s = pieces[i][0], e = pieces[i][1];
    if (!(e > s)) continue;
    TRRRouteBox box;
    box.Start = s;
    box.End = e;
    const gx::TGXBoundingBox local = gx::BoxFromMinMax({shape.Min.x * FScale, shape.Min.y * FScale, 0},
                                                       {shape.Max.x * FScale, shape.Max.y * FScale, e - s});
    box.Box = gx::TransformOrientedBox(local, GetFrame(s));
    FBoxes.push_back(box);
  }
}

void TRRTrackRoute::UpdateBoxes() {
  FBoxes.clear();
  if (IsFlexible()) {
    const float length = GetLength();
    const int count = SegmentCount(length);
    const float g = SegmentLength(length);
    for (int j = 0; j < count; ++j) AddBox(static_cast<float>(j) * g, g);
    return;
  }
  if (SegmentCount(FL1) > 0) AddBox(0, FL1);
  const float arc = FAngle * FArcRadius;
  const int count = SegmentCount(arc);
  const float g = SegmentLength(arc);
  for (int j = 0; j < count; ++j) AddBox(FL1 + static_cast<float>(j) * g, g);
  if (SegmentCount(FL2) > 0) AddBox(FL1 + std::max(arc, 0.0f), FL2);
}

bool TRRTrackRoute::RayIntersect(const TGXVector3& origin, const TGXVector3& direction, TGXVector3& normal,
                                 TGXVector3& hit) {
  TGXVector3 n, h;
  if (!TGXSceneObject::RayIntersect(origin, direction, n, h)) return false;
  for (const TRRRouteBox& b : FBoxes) {
    if (const std::optional<gx::TGXRayHit> r = gx::RayOrientedBox(b.Box, origin, direction)) {
      normal = r->Normal;
      hit = r->Point;
      return true;
    }
  }
  return false;
}

// ---- description ----

std::unique_ptr<TRRTrackRouteDesc> TRRTrackRoute::ToDescription() const {
  auto d = std::make_unique<TRRTrackRouteDesc>();
  if (IsFlexible()) {
    d->FlexL = FFlexL;
    d->FlexPoints = FFlexPoints;
    d->FlexOffset = FFlexOffset;
  } else {
    d->Shift = FShift;
    d->L1 = FL1;
    d->Angle = FAngle;
    d->Radius = FRadius;
    d->L2 = FL2;
    d->Rotation = FRotation;
  }
  d->LastConnection[0] = FContacts[0]->Connection();
  d->LastConnection[1] = FContacts[1]->Connection();
  return d;
}

// ---- movement ----

RouteLocation TRRTrackRoute::Advance(int32_t direction, float delta, float distance) {
  TRRTrackRoute* route = this;
  int32_t dir = direction == 1 ? 1 : 0;
  float c = distance;
  float a = std::isfinite(delta) ? delta : 0.0f;
  float rest = std::fabs(a);
  int stalled = 0;
  for (int hop = 0;; ++hop) {
    const float length = route->GetLength();
    const float q = dir == 1 ? c - a : c + a;
    if (q >= 0 && q <= length) return {route, q, dir, RouteLocation::Moved};
    TRRTrackRouteContact* exit = route->Contact(q > length ? 1 : 0);
    bool blocked = false;
    TRRTrackRouteContact* partner = exit->FindPartner(blocked);
    if (!partner) return {route, exit->GetDistance(), dir, RouteLocation::OpenEnd};
    float o = q >= 0 ? q - length : -q;
    if (exit->Index() == partner->Index()) dir = 1 - dir;
    TRRTrackRoute* next = partner->Route();
    const float e = partner->GetDistance();
    if (blocked) return {next, e, dir, RouteLocation::Blocked};
    if ((dir == 0 && partner->Index() == 1) || (dir == 1 && partner->Index() == 0)) o = -o;
    // A hop that uses up no distance (zero-length pieces, or a delta so large that a route's
    // length vanishes in its rounding) makes no progress; a run of them is an open end.
    if (std::fabs(o) >= rest) {
      if (++stalled > RRMaxStalledHops) return {next, e, dir, RouteLocation::OpenEnd};
    } else {
      stalled = 0;
    }
    if (hop >= RRMaxAdvanceHops) return {next, e, dir, RouteLocation::OpenEnd};
    rest = std::fabs(o);
    route = next;
    c = e;
    a = o;
  }
}

float TRRTrackRoute::StepToNextRoute(int32_t direction, float distance, RouteLocation& next) {
  TRRTrackRouteContact* exit = direction == 1 ? FContacts[0].get() : FContacts[1].get();
  const float remaining = direction == 1 ? distance : GetLength() - distance;
  bool blocked = false;
  TRRTrackRouteContact* partner = exit->FindPartner(blocked);
  TRRTrackRouteContact* at = exit;
  if (!partner)
    next.Status = RouteLocation::OpenEnd;
  else if (blocked)
    next.Status = RouteLocation::Blocked;
  else {
    next.Status = RouteLocation::Moved;
    at = partner;
  }
  next.Route = at->Route();
  if (at->Index() == 1) {
    next.Distance = at->Route()->GetLength();
    next.Direction = 1;
  } else {
    next.Distance = 0;
    next.Direction = 0;
  }
  return remaining;
}

}  // namespace rr
