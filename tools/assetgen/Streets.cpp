#include "tools/assetgen/Streets.h"

#include <cmath>
#include <utility>

#include "tools/assetgen/SceneryTextures.h"

namespace assetgen {

namespace {

using K = TModelKit;
constexpr float kPi = gx::GX_PI;
constexpr float kHalf = RoadWidth / 2;
// How far the straight pieces' arms reach from the middle, and the curve's radius and angle.
constexpr float kArm = 10.0f;
constexpr float kCurveRadius = 20.0f;
constexpr float kCurveAngle = kPi / 4;
// The rounded corners where two roads meet.
constexpr float kCornerRadius = 1.5f;
// The level crossing: its panels reach this far beside the track's centre, its ramps down to
// the street's height end at the road ends.
constexpr float kPanelEnd = 2.6f;
constexpr float kCrossingEnd = 6.0f, kFlat = 0.6f;

const std::string kCarriageway = "Fahrbahn.png";
const std::string kAsphalt = "Asphalt.png";
const std::string kSlabSide = ColourMaterial(0.26f, 0.26f, 0.27f);
const std::string kConcrete = ColourMaterial(0.5f, 0.5f, 0.48f);
const std::string kSteel = ColourMaterial(0.22f, 0.22f, 0.23f);

const TGXVector3 kUp{0, 1, 0};

// A quad round a, b, c, d with the given texture coordinates, wound so that it faces outward.
void Face(K& k, const std::string& tex, const TGXVector3& a, const TGXVector3& b, const TGXVector3& c,
          const TGXVector3& d, const TGXVector2& ua, const TGXVector2& ub, const TGXVector2& uc,
          const TGXVector2& ud, const TGXVector3& outward) {
  if (gx::GXVec3Dot(gx::GXVec3Cross(b - a, c - a), outward) >= 0)
    k.QuadUV(tex, a, b, c, d, ua, ub, uc, ud);
  else
    k.QuadUV(tex, a, d, c, b, ua, ud, uc, ub);
}

void Tri(K& k, const std::string& tex, const TGXVector3& a, const TGXVector3& b, const TGXVector3& c,
         const TGXVector2& ua, const TGXVector2& ub, const TGXVector2& uc, const TGXVector3& outward) {
  if (gx::GXVec3Dot(gx::GXVec3Cross(b - a, c - a), outward) >= 0)
    k.TriangleUV(tex, a, b, c, ua, ub, uc);
  else
    k.TriangleUV(tex, a, c, b, ua, uc, ub);
}

// Asphalt laid by world position, so neighbouring faces run on without a seam.
TGXVector2 AsphaltUV(const TGXVector3& p) { return {p.x / RoadWidth, p.z / RoadWidth}; }

// A point of a road's centre line on the ground (y lifts a ramp's point), the way the road runs
// there and how far along the road it lies.
struct TStation {
  TGXVector3 At;
  TGXVector3 Heading;
  float Along = 0;
};
// Across the road: +z where it runs along +x.
TGXVector3 Across(const TGXVector3& heading) { return {-heading.z, 0, heading.x}; }
TGXVector3 Top(const TStation& s, float offset) {
  return s.At + Across(s.Heading) * offset + TGXVector3{0, StreetTop, 0};
}
TGXVector3 Ground(const TStation& s, float offset) {
  const TGXVector3 p = s.At + Across(s.Heading) * offset;
  return {p.x, 0, p.z};
}

// The stations of a straight road from `from` to `to`, starting at along.
// The stations of a straight road from `from` to `to` (a ramp when their heights differ),
// starting at along.
std::vector<TStation> Straight(const TGXVector3& from, const TGXVector3& to, float along = 0) {
  const TGXVector3 flat{to.x - from.x, 0, to.z - from.z};
  const TGXVector3 h = gx::GXVec3Normalize(flat);
  return {{from, h, along}, {to, h, along + gx::GXVec3Length(flat)}};
}

// The road's top between the offsets s0 < s1 across it. The texture's columns are those of the
// offsets shift units further in, so a strip can show the lane without the line at its edge.
void Carriageway(K& k, const std::vector<TStation>& line, float s0, float s1, float shift = 0) {
  auto u = [&](float s) { return 0.5f + (s - shift) / RoadWidth; };
  for (size_t i = 0; i + 1 < line.size(); ++i) {
    const TStation &p = line[i], &q = line[i + 1];
    const float vp = p.Along / RoadMarkingRepeat, vq = q.Along / RoadMarkingRepeat;
    Face(k, kCarriageway, Top(p, s0), Top(p, s1), Top(q, s1), Top(q, s0), {u(s0), vp}, {u(s1), vp},
         {u(s1), vq}, {u(s0), vq}, kUp);
  }
}

// The slab's side at the offset s (its face away from the road).
void SlabSide(K& k, const std::vector<TStation>& line, float s) {
  for (size_t i = 0; i + 1 < line.size(); ++i) {
    const TStation &p = line[i], &q = line[i + 1];
    Face(k, kSlabSide, Ground(p, s), Top(p, s), Top(q, s), Ground(q, s), {0, 1}, {0, 0}, {1, 0}, {1, 1},
         Across(p.Heading) * (s > 0 ? 1.0f : -1.0f));
  }
}

// The slab's end across the road at a road end, facing out of the road (the next piece hides it).
void SlabEnd(K& k, const TStation& s, const TGXVector3& out) {
  Face(k, kSlabSide, Ground(s, -kHalf), Top(s, -kHalf), Top(s, kHalf), Ground(s, kHalf), {0, 1}, {0, 0},
       {1, 0}, {1, 1}, out);
}

// A whole plain road along the stations: top, both sides and its ends.
void Road(K& k, const std::vector<TStation>& line, bool startEnd, bool endEnd) {
  Carriageway(k, line, -kHalf, kHalf);
  SlabSide(k, line, -kHalf);
  SlabSide(k, line, kHalf);
  if (startEnd) SlabEnd(k, line.front(), line.front().Heading * -1.0f);
  if (endEnd) SlabEnd(k, line.back(), line.back().Heading);
}

// The rounded corner between two roads meeting at right angles: the corner (sx·kHalf, sz·kHalf)
// filled out to a quarter circle, whose rim is the slab's side.
void Corner(K& k, float sx, float sz) {
  const TGXVector3 corner{sx * kHalf, StreetTop, sz * kHalf};
  const TGXVector3 centre{sx * (kHalf + kCornerRadius), 0, sz * (kHalf + kCornerRadius)};
  auto rim = [&](int i, float y) {
    const float a = 0.5f * kPi * float(i) / 6;
    return centre - TGXVector3{sx * kCornerRadius * std::sin(a), -y, sz * kCornerRadius * std::cos(a)};
  };
  for (int i = 0; i < 6; ++i) {
    const TGXVector3 a = rim(i, StreetTop), b = rim(i + 1, StreetTop);
    Tri(k, kAsphalt, corner, a, b, AsphaltUV(corner), AsphaltUV(a), AsphaltUV(b), kUp);
    const TGXVector3 inward = centre - (a + b) * 0.5f;
    Face(k, kSlabSide, rim(i, 0), a, b, rim(i + 1, 0), {0, 1}, {0, 0}, {1, 0}, {1, 1},
         {inward.x, 0, inward.z});
  }
}

TSceneryItem Street(const char* name, const char* file, const K& k, std::vector<TRoadEnd> ends) {
  TSceneryItem m;
  m.Name = name;
  m.Folder = StreetFolder;
  m.FileName = file;
  m.Form = TModelFileForm::Studio3DS;
  m.Model = k.Build(gx::EGXModelFormat::Format3DS);
  m.Ends = std::move(ends);
  return m;
}

// ---- the pieces ----

TSceneryItem StraightPiece() {
  K k;
  k.Part("Strasse");
  Road(k, Straight({-kArm, 0, 0}, {kArm, 0, 0}), true, true);
  return Street("Straße gerade", "Straße gerade.3ds", k, {{{-kArm, 0, 0}, kPi}, {{kArm, 0, 0}, 0}});
}

// Starts at the origin running along +x and bends towards +z.
TSceneryItem CurvePiece() {
  K k;
  k.Part("Strasse");
  std::vector<TStation> line;
  const int segments = 8;
  for (int i = 0; i <= segments; ++i) {
    const float t = kCurveAngle * float(i) / float(segments);
    line.push_back({{kCurveRadius * std::sin(t), 0, kCurveRadius * (1 - std::cos(t))},
                    {std::cos(t), 0, std::sin(t)},
                    kCurveRadius * t});
  }
  Road(k, line, true, true);
  return Street("Straßenkurve", "Straße Kurve.3ds", k, {{{0, 0, 0}, kPi}, {line.back().At, -kCurveAngle}});
}

// The through road along x, the side road joining it from +z.
TSceneryItem JunctionPiece() {
  K k;
  k.Part("Strasse");
  const std::vector<TStation> left = Straight({-kArm, 0, 0}, {-kHalf, 0, 0});
  const std::vector<TStation> mouth = Straight({-kHalf, 0, 0}, {kHalf, 0, 0}, kArm - kHalf);
  const std::vector<TStation> right = Straight({kHalf, 0, 0}, {kArm, 0, 0}, kArm + kHalf);
  Carriageway(k, left, -kHalf, kHalf);
  Carriageway(k, right, -kHalf, kHalf);
  // Across the side road's mouth the through road's edge line is left out.
  Carriageway(k, mouth, -kHalf, kHalf - 0.45f);
  Carriageway(k, mouth, kHalf - 0.45f, kHalf, 0.5f);
  SlabSide(k, left, kHalf);
  SlabSide(k, right, kHalf);
  SlabSide(k, Straight({-kArm, 0, 0}, {kArm, 0, 0}), -kHalf);
  SlabEnd(k, left.front(), {-1, 0, 0});
  SlabEnd(k, right.back(), {1, 0, 0});
  Road(k, Straight({0, 0, kHalf}, {0, 0, kArm}), false, true);
  Corner(k, -1, 1);
  Corner(k, 1, 1);
  return Street("Einmündung", "Straße Einmündung.3ds", k,
                {{{-kArm, 0, 0}, kPi}, {{kArm, 0, 0}, 0}, {{0, 0, kArm}, -kPi / 2}});
}

TSceneryItem CrossingPiece() {
  K k;
  k.Part("Strasse");
  const TGXVector3 square[4] = {{-kHalf, StreetTop, -kHalf},
                                {-kHalf, StreetTop, kHalf},
                                {kHalf, StreetTop, kHalf},
                                {kHalf, StreetTop, -kHalf}};
  Face(k, kAsphalt, square[0], square[1], square[2], square[3], AsphaltUV(square[0]), AsphaltUV(square[1]),
       AsphaltUV(square[2]), AsphaltUV(square[3]), kUp);
  for (const TGXVector3& out :
       {TGXVector3{1, 0, 0}, TGXVector3{-1, 0, 0}, TGXVector3{0, 0, 1}, TGXVector3{0, 0, -1}})
    Road(k, Straight(out * kHalf, out * kArm), false, true);
  for (float sx : {-1.0f, 1.0f})
    for (float sz : {-1.0f, 1.0f}) Corner(k, sx, sz);
  return Street(
      "Kreuzung", "Straße Kreuzung.3ds", k,
      {{{kArm, 0, 0}, 0}, {{-kArm, 0, 0}, kPi}, {{0, 0, kArm}, -kPi / 2}, {{0, 0, -kArm}, kPi / 2}});
}

// Over the track (along x): concrete panels flush with the rail top between and beside the rails,
// a steel edge at every groove the wheels' flanges run in, and an asphalt ramp down to the street
// on either side.
TSceneryItem LevelCrossingPiece() {
  K k;
  k.Part("Bahnuebergang");
  const float x = kHalf + 0.3f;  // the panels reach a little beyond the road
  const float gauge = 0.7f, outer = 0.96f, edge = 0.06f;
  k.Box(kConcrete, {-x, 0.42f, -gauge + edge}, {x, RailTop, gauge - edge}, kFit, K::kAll & ~K::kBottom);
  for (float s : {-1.0f, 1.0f}) {
    const float zi = s * gauge, ze = s * (gauge - edge);
    k.Box(kSteel, {-x, 0.42f, std::min(zi, ze)}, {x, RailTop, std::max(zi, ze)}, kFit, K::kAll & ~K::kBottom);
    const float zo = s * outer, zp = s * kPanelEnd;
    k.Box(kSteel, {-x, 0, std::min(zo, zo + s * edge)}, {x, RailTop, std::max(zo, zo + s * edge)}, kFit,
          K::kAll & ~K::kBottom);
    k.Box(kConcrete, {-x, 0, std::min(zo + s * edge, zp)}, {x, RailTop, std::max(zo + s * edge, zp)}, kFit,
          K::kAll & ~K::kBottom);
    // The ramp: its top from the panels' height down to the street's, level over the last bit so
    // the next street joins flush.
    std::vector<TStation> ramp = Straight({0, RailTop - StreetTop, zp}, {0, 0, s * (kCrossingEnd - kFlat)});
    ramp.push_back({{0, 0, s * kCrossingEnd}, ramp.back().Heading, ramp.back().Along + kFlat});
    Carriageway(k, ramp, -kHalf, kHalf);
    for (size_t i = 0; i + 1 < ramp.size(); ++i)
      for (float side : {-1.0f, 1.0f}) {
        const TStation &p = ramp[i], &q = ramp[i + 1];
        Face(k, kSlabSide, Ground(p, side * kHalf), Top(p, side * kHalf), Top(q, side * kHalf),
             Ground(q, side * kHalf), {0, 1}, {0, 0}, {1, 0}, {1, 1}, Across(p.Heading) * side);
      }
    SlabEnd(k, ramp.back(), ramp.back().Heading);
  }
  return Street(LevelCrossingName, "Straße Bahnübergang.3ds", k,
                {{{0, 0, -kCrossingEnd}, kPi / 2}, {{0, 0, kCrossingEnd}, -kPi / 2}});
}

// ---- the barrier ----

const std::string kHousing = ColourMaterial(0.78f, 0.77f, 0.7f);
const std::string kPole = ColourMaterial(0.55f, 0.56f, 0.55f);
const std::string kRed = ColourMaterial(0.8f, 0.08f, 0.06f);
const std::string kWhite = ColourMaterial(0.95f, 0.95f, 0.92f);
const std::string kBlack = ColourMaterial(0.08f, 0.08f, 0.08f);
const std::string kLamp = ColourMaterial(0.95f, 0.25f, 0.12f);

// Beside the road's edge, so the lowered boom just reaches the middle of the road.
constexpr float kPostX = kHalf + 1.0f;
constexpr float kPivotY = 0.95f, kPivotZ = 0.38f;
constexpr float kBoomLength = kPostX;

// One board of the warning cross, lying in the plane z = zFace, facing -z, turned by angle in
// that plane: a red board with a white middle.
void CrossBoard(K& k, const TGXVector3& centre, float angle, float zFace) {
  const TGXVector3 x{std::cos(angle), std::sin(angle), 0}, y{-std::sin(angle), std::cos(angle), 0},
      z{0, 0, 1};
  auto board = [&](const std::string& tex, float length, float width, float front, float depth) {
    const TGXVector3 corner = TGXVector3{centre.x, centre.y, front} - x * (length / 2) - y * (width / 2);
    k.OrientedBox(tex, corner, x, y, z, {length, width, depth}, kFit);
  };
  board(kRed, 1.3f, 0.22f, zFace, 0.04f);
  board(kWhite, 1.18f, 0.1f, zFace - 0.01f, 0.01f);
}

// A post in its own frame: the road towards -x, the track towards +z, the traffic it stops comes
// from -z. The drive housing on a small foundation, a pole with the warning cross and the flashing
// light facing the traffic.
void Post(K& k) {
  k.Box(kPole, {-0.35f, 0, -0.4f}, {0.35f, 0.08f, 0.4f}, kFit);
  k.Box(kHousing, {-0.25f, 0.08f, -0.3f}, {0.25f, 1.15f, 0.3f}, kFit);
  k.Box(kHousing, {-0.28f, 1.15f, -0.33f}, {0.28f, 1.22f, 0.33f}, kFit, K::kAll);
  // The boom's bearing on the track side.
  k.Tube(kBlack, {0, kPivotY, 0.3f}, {0, kPivotY, kPivotZ - 0.05f}, 0.1f, 0.1f, 10);
  k.Tube(kPole, {0, 1.22f, -0.1f}, {0, 3.1f, -0.1f}, 0.06f, 0.06f, 8, K::kTop);
  const float crossY = 2.65f, face = -0.18f;
  CrossBoard(k, {0, crossY, 0}, kPi / 4, face);
  CrossBoard(k, {0, crossY, 0}, -kPi / 4, face - 0.015f);
  // The flashing light below the cross, in its black hood.
  k.Box(kBlack, {-0.22f, 1.75f, -0.24f}, {0.22f, 2.05f, -0.16f}, kFit, K::kAll);
  k.Tube(kLamp, {0, 1.9f, -0.25f}, {0, 1.9f, -0.24f}, 0.11f, 0.11f, 12, K::kBottom);
}

// The boom raised (its rest pose) in the frame of its pivot: up along +y in red and white, the
// counterweight on its short arm below.
void Boom(K& k) {
  k.Tube(kBlack, {0, 0, -0.05f}, {0, 0, 0.05f}, 0.12f, 0.12f, 10, K::kTop | K::kBottom);
  const int stripes = 8;
  const float start = 0.15f, stripe = (kBoomLength - start) / float(stripes);
  for (int i = 0; i < stripes; ++i) {
    const float y0 = start + stripe * float(i);
    k.Box(i % 2 ? kWhite : kRed, {-0.07f, y0, -0.05f}, {0.07f, y0 + stripe, 0.05f}, kFit,
          i == 0 || i + 1 == stripes ? K::kAll : K::kSides);
  }
  k.Box(kRed, {-0.05f, -0.2f, -0.04f}, {0.05f, start, 0.04f}, kFit, K::kSides);
  k.Box(kPole, {-0.15f, -0.65f, -0.09f}, {0.15f, -0.2f, 0.09f}, kFit, K::kAll);
}

}  // namespace

std::vector<TSceneryItem> StreetModels() {
  std::vector<TSceneryItem> list;
  list.push_back(StraightPiece());
  list.push_back(CurvePiece());
  list.push_back(JunctionPiece());
  list.push_back(CrossingPiece());
  list.push_back(LevelCrossingPiece());
  return list;
}

TSceneryItem BarrierModel() {
  K k;
  k.Part("Schranke");
  for (int i = 0; i < 2; ++i) {
    // Post A at the road's +x edge before the track, post B turned half round at the -x edge
    // behind it: each closes the lane that comes towards it.
    const float s = i == 0 ? 1.0f : -1.0f;
    const int post = k.Part(i == 0 ? "PostenA" : "PostenB", -1, {s * kPostX, 0, -s * BarrierPostZ},
                            YRotation(i == 0 ? 0.0f : kPi));
    Post(k);
    k.Part(BarrierBooms[i], post, {0, kPivotY, kPivotZ});
    Boom(k);
  }
  TSceneryItem m;
  m.Name = BarrierName;
  m.Folder = StreetFolder;
  m.FileName = "Schranke.x";
  m.Form = TModelFileForm::XText;
  m.Model = k.Build(gx::EGXModelFormat::XFile);
  // The booms come down a quarter turn towards the road's middle, easing in at both ends.
  m.Model.Animation.SecondsPerFrame = 1.0f / 75;
  for (const char* boom : BarrierBooms)
    m.Model.Animation.Tracks.push_back(RotationTrack(boom, {0, 0, 1}, kPi / 2, 20, 2, true));
  m.Model.HasAnimation = true;
  return m;
}

}  // namespace assetgen
