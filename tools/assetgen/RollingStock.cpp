#include "tools/assetgen/RollingStock.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "tools/assetgen/ModelKit.h"
#include "tools/assetgen/RunningSounds.h"

namespace assetgen {

namespace {

using K = TModelKit;
constexpr float kPi = gx::GX_PI;

// Textures (VehicleTextures.cpp paints them).
const std::string kCoachSide = "PersonenwagenSeite.png";
const std::string kCoachEnd = "PersonenwagenStirn.png";
const std::string kCoveredSide = "GedeckterWagenSeite.png";
const std::string kCoveredEnd = "GedeckterWagenStirn.png";
const std::string kOpenSide = "OffenerWagenSeite.png";
const std::string kOpenEnd = "OffenerWagenStirn.png";
const std::string kCoal = "Kohle.png";
const std::string kTankPanel = "KesselwagenTafel.png";
const std::string kSpokedWheel = "Speichenrad.png";
const std::string kDiscWheel = "Scheibenrad.png";
const std::string kSteamPlate = "LokschildDampf.png";
const std::string kCabWindow = "Lokfenster.png";
const std::string kTenderSide = "TenderSeite.png";
const std::string kSmokebox = "Rauchkammertuer.png";
const std::string kDieselHood = "DieselHaube.png";
const std::string kDieselCab = "DieselFuehrerhaus.png";
const std::string kElectricSide = "EllokSeite.png";
const std::string kElectricFront = "EllokStirn.png";
const std::string kInstruments = "Instrumente.png";

// Colours.
const std::string kBlack = ColourMaterial(0.09f, 0.09f, 0.09f);
const std::string kDark = ColourMaterial(0.17f, 0.17f, 0.18f);
const std::string kSteel = ColourMaterial(0.55f, 0.55f, 0.53f);
const std::string kBright = ColourMaterial(0.78f, 0.78f, 0.76f);
const std::string kBeamRed = ColourMaterial(0.62f, 0.12f, 0.1f);
const std::string kRoofGrey = ColourMaterial(0.42f, 0.43f, 0.44f);
const std::string kBrass = ColourMaterial(0.8f, 0.64f, 0.3f);
const std::string kLamp = ColourMaterial(1.0f, 0.97f, 0.8f);
const std::string kCoachGreen = ColourMaterial(0.18f, 0.36f, 0.25f);
const std::string kWagonBrown = ColourMaterial(0.48f, 0.23f, 0.16f);
const std::string kDieselRed = ColourMaterial(0.64f, 0.15f, 0.16f);
const std::string kElectricBlue = ColourMaterial(0.16f, 0.28f, 0.45f);
const std::string kCream = ColourMaterial(0.9f, 0.85f, 0.7f);
const std::string kTankSilver = ColourMaterial(0.7f, 0.71f, 0.7f);
const std::string kWood = ColourMaterial(0.36f, 0.27f, 0.2f);
const std::string kInsulator = ColourMaterial(0.88f, 0.84f, 0.72f);
const std::string kCone = ColourMaterial(1, 1, 1);  // light cones take their material from their name

constexpr float kBufferHeight = 1.2f;  // buffer centres above the rail top
constexpr float kBufferX = 0.95f;
constexpr float kWheelX0 = 0.7f, kWheelX1 = 0.95f;  // a wheel's inner and outer face

// An axis-aligned box from any two opposite corners.
void Block(K& k, const std::string& tex, TGXVector3 a, TGXVector3 b, uint32_t faces = K::kAll,
           const TTile& tile = kFit) {
  k.Box(tex, gx::GXVec3Minimize(a, b), gx::GXVec3Maximize(a, b), tile, faces);
}

// A quad wound so that it faces out.
void QuadOut(K& k, const std::string& tex, const TGXVector3& a, const TGXVector3& b, const TGXVector3& c,
             const TGXVector3& d, const TGXVector3& out, const TTile& tile = kFit) {
  if (gx::GXVec3Dot(gx::GXVec3Cross(b - a, c - a), out) >= 0)
    k.Quad(tex, a, b, c, d, tile);
  else
    k.Quad(tex, d, c, b, a, tile);
}

void TriangleOut(K& k, const std::string& tex, const TGXVector3& a, const TGXVector3& b, const TGXVector3& c,
                 const TGXVector3& out) {
  if (gx::GXVec3Dot(gx::GXVec3Cross(b - a, c - a), out) >= 0)
    k.Triangle(tex, a, b, c, kFit);
  else
    k.Triangle(tex, c, b, a, kFit);
}

// Both long sides of a body (x = +-w) with a fitted texture that reads from left to right seen
// from either side.
void Sides(K& k, const std::string& tex, float w, float y0, float y1, float z0, float z1) {
  k.Quad(tex, {w, y0, z0}, {w, y1, z0}, {w, y1, z1}, {w, y0, z1}, kFit);
  k.Quad(tex, {-w, y0, z1}, {-w, y1, z1}, {-w, y1, z0}, {-w, y0, z0}, kFit);
}

// An end wall at z facing forward (+z) or backward, fitted.
void EndWall(K& k, const std::string& tex, float w, float y0, float y1, float z, bool front) {
  if (front)
    k.Quad(tex, {w, y0, z}, {w, y1, z}, {-w, y1, z}, {-w, y0, z}, kFit);
  else
    k.Quad(tex, {-w, y0, z}, {-w, y1, z}, {w, y1, z}, {w, y0, z}, kFit);
}

// A curved roof along z: its edges at x = +-w on height eave, rising by rise in the middle,
// closed at both ends.
void ArcRoof(K& k, const std::string& tex, float w, float eave, float rise, float z0, float z1, int segments = 8,
             bool ends = true) {
  auto at = [&](int j) {
    const float t = kPi * float(j) / float(segments);
    return TGXVector3{-w * std::cos(t), eave + rise * std::sin(t), 0};
  };
  for (int j = 0; j < segments; ++j) {
    const TGXVector3 p = at(j), q = at(j + 1);
    const TGXVector3 out = gx::GXVec3Normalize(TGXVector3{(p.x + q.x) / 2 / (w * w), ((p.y + q.y) / 2 - eave) / (rise * rise), 0});
    QuadOut(k, tex, {p.x, p.y, z0}, {q.x, q.y, z0}, {q.x, q.y, z1}, {p.x, p.y, z1}, out, {4, 4});
  }
  // The underside closes it from below (seen from a camera under a car's overhang).
  QuadOut(k, tex, {-w, eave, z0}, {-w, eave, z1}, {w, eave, z1}, {w, eave, z0}, {0, -1, 0});
  if (!ends) return;
  for (int j = 0; j < segments; ++j) {
    const TGXVector3 p = at(j), q = at(j + 1);
    TriangleOut(k, tex, {0, eave, z1}, {p.x, p.y, z1}, {q.x, q.y, z1}, {0, 0, 1});
    TriangleOut(k, tex, {0, eave, z0}, {p.x, p.y, z0}, {q.x, q.y, z0}, {0, 0, -1});
  }
}

// Buffer beam, two buffers and the coupler at one end; the buffer heads end exactly at zEnd.
// dir is +1 at the front end, -1 at the rear.
void BufferEnd(K& k, float zEnd, float dir, const std::string& beam, float beamHalf = 1.5f,
               float beamDepth = 0.3f) {
  const float face = zEnd - dir * 0.75f;  // the beam's outer face
  Block(k, beam, {-beamHalf, 0.85f, face - dir * beamDepth}, {beamHalf, 1.55f, face});
  for (float s : {-1.0f, 1.0f}) {
    const float x = s * kBufferX;
    // Housing, plunger and head.
    k.Tube(kBlack, {x, kBufferHeight, face}, {x, kBufferHeight, face + dir * 0.32f}, 0.22f, 0.19f, 10, K::kTop);
    k.Tube(kSteel, {x, kBufferHeight, face + dir * 0.32f}, {x, kBufferHeight, zEnd - dir * 0.1f}, 0.12f, 0.12f, 8);
    k.Tube(kSteel, {x, kBufferHeight, zEnd - dir * 0.1f}, {x, kBufferHeight, zEnd}, 0.32f, 0.32f, 14,
           K::kTop | K::kBottom);
  }
  // The coupler hook with its screw link, short of the buffer heads.
  Block(k, kDark, {-0.1f, 1.08f, face}, {0.1f, 1.3f, zEnd - dir * 0.3f});
  k.Beam(kSteel, {-0.15f, 1.0f, zEnd - dir * 0.35f}, {0.15f, 1.0f, zEnd - dir * 0.35f}, 0.06f, kFit);
}

// A light cone from the lamp at apex forward, falling onto the rails some way ahead; its own
// node (lk<n>) so that the vehicle can show and hide it.
void LightCone(K& k, int& cones, const TGXVector3& apex, float reach, float radius) {
  k.Part("lk" + std::to_string(cones++), -1, apex);
  const int sides = 12;
  // The base circle stands on the rail top, so the cone never reaches below it.
  const TGXVector3 base{0, -apex.y + radius * 1.02f, reach};
  const TGXVector3 axis = gx::GXVec3Normalize(base);
  const TGXVector3 u = gx::GXVec3Normalize(gx::GXVec3Cross({0, 1, 0}, axis));
  const TGXVector3 v = gx::GXVec3Cross(axis, u);
  for (int i = 0; i < sides; ++i) {
    const float a0 = 2 * kPi * float(i) / float(sides), a1 = 2 * kPi * float(i + 1) / float(sides);
    const TGXVector3 p = base + (u * std::cos(a0) + v * std::sin(a0)) * radius;
    const TGXVector3 q = base + (u * std::cos(a1) + v * std::sin(a1)) * radius;
    const TGXVector3 mid = (p + q) * 0.5f - base;
    TriangleOut(k, kCone, {0, 0, 0}, p, q, mid);
  }
}

// A lamp on a front face: a short tube along z with its glass.
void Lamp(K& k, const TGXVector3& at, float dir, float r = 0.17f) {
  k.Tube(kBlack, at, at + TGXVector3{0, 0, dir * 0.18f}, r + 0.05f, r + 0.05f, 10);
  k.Tube(kLamp, at + TGXVector3{0, 0, dir * 0.18f}, at + TGXVector3{0, 0, dir * 0.2f}, r, r, 10, K::kTop);
}

// ---- running gear ----

struct TBuilder {
  K Kit;
  int Wheels = 0;
  int Cones = 0;
};

// A wheelset under parent: the node radanim<n> on the axle (at height r over the rail top, z
// along the parent), wheels with faces showing face, the axle between them.
void Wheelset(TBuilder& b, int parent, float z, float r, const std::string& face) {
  K& k = b.Kit;
  k.Part("radanim" + std::to_string(b.Wheels++), parent, {0, r, z});
  for (float s : {-1.0f, 1.0f}) {
    k.Tube(kDark, {s * kWheelX0, 0, 0}, {s * kWheelX1, 0, 0}, r, r, 18, K::kBottom);
    k.Tube(face, {s * (kWheelX1 - 0.001f), 0, 0}, {s * kWheelX1, 0, 0}, r * 0.999f, r * 0.999f, 18, K::kTop);
  }
  k.Tube(kDark, {-kWheelX0, 0, 0}, {kWheelX0, 0, 0}, 0.1f, 0.1f, 6);
}

// The frame of a bogie in the current part (its centre at the origin), for wheels of radius r
// wheelbase apart.
void BogieFrame(K& k, float wheelbase, float r, const std::string& tex) {
  const float half = wheelbase / 2 + r + 0.25f;
  for (float s : {-1.0f, 1.0f}) {
    const float x = s * 1.06f;
    // Side frame, the axle boxes and a leaf spring over each.
    Block(k, tex, {x - 0.06f, r - 0.05f, -half}, {x + 0.06f, r + 0.3f, half});
    Block(k, tex, {x - 0.04f, r * 0.45f, -half * 0.6f}, {x + 0.04f, r - 0.05f, half * 0.6f}, K::kSides);
    for (float z : {-wheelbase / 2, wheelbase / 2}) {
      Block(k, kBlack, {x - 0.1f, r - 0.2f, z - 0.24f}, {x + 0.1f, r + 0.2f, z + 0.24f});
      Block(k, kSteel, {x - 0.07f, r + 0.3f, z - 0.5f}, {x + 0.07f, r + 0.4f, z + 0.5f});
    }
  }
  // Bolster and end beams.
  Block(k, tex, {-1.0f, r + 0.05f, -0.3f}, {1.0f, r + 0.45f, 0.3f});
  for (float z : {-half + 0.1f, half - 0.1f}) Block(k, tex, {-1.0f, r, z - 0.08f}, {1.0f, r + 0.2f, z + 0.08f});
}

// A bogie node "Rad0"/"Rad1" (or another name) at z with its wheelsets.
int Bogie(TBuilder& b, const std::string& name, float z, float wheelbase, float r, const std::string& face,
          const std::string& frame = kDark) {
  const int part = b.Kit.Part(name, -1, {0, 0, z});
  BogieFrame(b.Kit, wheelbase, r, frame);
  for (float dz : {wheelbase / 2, -wheelbase / 2}) Wheelset(b, part, dz, r, face);
  return part;
}

// The axle of a two-axle wagon as its "bogie": guards and spring in the node, the wheelset below.
int AxleUnit(TBuilder& b, const std::string& name, float z, float r) {
  K& k = b.Kit;
  const int part = k.Part(name, -1, {0, 0, z});
  for (float s : {-1.0f, 1.0f}) {
    const float x = s * 1.08f;
    // The axle guard (two legs), the axle box and the leaf spring above it.
    Block(k, kBlack, {x - 0.05f, r - 0.3f, -0.55f}, {x + 0.05f, 1.0f, -0.42f});
    Block(k, kBlack, {x - 0.05f, r - 0.3f, 0.42f}, {x + 0.05f, 1.0f, 0.55f});
    Block(k, kBlack, {x - 0.1f, r - 0.22f, -0.25f}, {x + 0.1f, r + 0.2f, 0.25f});
    Block(k, kSteel, {x - 0.07f, r + 0.22f, -1.0f}, {x + 0.07f, r + 0.32f, 1.0f});
  }
  Wheelset(b, part, 0, r, kDiscWheel);
  return part;
}

// Thin rails along the sides (handrails on posts).
void Handrail(K& k, float x, float y, float z0, float z1, float postFoot, int posts) {
  k.Beam(kBright, {x, y, z0}, {x, y, z1}, 0.05f, kFit);
  for (int i = 0; i < posts; ++i) {
    const float z = z0 + (z1 - z0) * float(i) / float(std::max(1, posts - 1));
    k.Beam(kBright, {x, postFoot, z}, {x, y, z}, 0.05f, kFit);
  }
}

// ---- the vehicles ----

// A coach, 26 over buffers: green body with a cream band, eight windows, end doors to the
// gangways, a grey roof with vents, two bogies.
TBuilder Coach() {
  TBuilder b;
  K& k = b.Kit;
  const float w = 1.45f, y0 = 1.15f, y1 = 4.0f, z1 = 12.0f, end = 13.0f;
  k.Part("Wagenkasten");
  Sides(k, kCoachSide, w, y0, y1, -z1, z1);
  EndWall(k, kCoachEnd, w, y0, y1, z1, true);
  EndWall(k, kCoachEnd, w, y0, y1, -z1, false);
  QuadOut(k, kBlack, {-w, y0, -z1}, {-w, y0, z1}, {w, y0, z1}, {w, y0, -z1}, {0, -1, 0});
  ArcRoof(k, kRoofGrey, w + 0.07f, y1, 0.55f, -z1 - 0.15f, z1 + 0.15f, 10);
  for (int i = -2; i <= 2; ++i) {
    const float z = float(i) * 4.6f;
    k.Tube(kDark, {0, y1 + 0.5f, z - 0.35f}, {0, y1 + 0.5f, z + 0.35f}, 0.14f, 0.14f, 8, K::kTop | K::kBottom);
  }
  // Gangway bellows and the footplates at the doors, handrails beside them.
  for (float s : {-1.0f, 1.0f}) {
    Block(k, kDark, {-0.7f, 1.35f, s * z1}, {0.7f, 3.7f, s * (z1 + 0.4f)});
    for (float x : {-1.0f, 1.0f}) {
      Block(k, kBlack, {x * w, 0.72f, s * 11.65f}, {x * (w + 0.18f), 0.8f, s * 10.1f});
      Block(k, kBlack, {x * w, 0.72f, s * 11.65f}, {x * (w + 0.04f), 1.15f, s * 11.55f}, K::kSides);
      for (float z : {11.7f, 10.05f}) k.Beam(kBright, {x * (w + 0.06f), 1.5f, s * z}, {x * (w + 0.06f), 3.2f, s * z}, 0.05f, kFit);
    }
  }
  // Underframe: sole bars, the dynamo and battery boxes, truss rods.
  Block(k, kBlack, {-1.25f, 0.85f, -11.4f}, {1.25f, y0, 11.4f}, K::kAll & ~K::kTop);
  Block(k, kDark, {-0.9f, 0.5f, -2.8f}, {0.9f, 0.85f, 2.8f}, K::kAll & ~K::kTop);
  Block(k, kDark, {-0.4f, 0.55f, 4.0f}, {0.6f, 0.85f, 5.2f}, K::kAll & ~K::kTop);
  for (float x : {-1.1f, 1.1f}) {
    k.Beam(kDark, {x, 0.85f, -6.4f}, {x, 0.45f, -3.2f}, 0.05f, kFit);
    k.Beam(kDark, {x, 0.45f, -3.2f}, {x, 0.45f, 3.2f}, 0.05f, kFit);
    k.Beam(kDark, {x, 0.45f, 3.2f}, {x, 0.85f, 6.4f}, 0.05f, kFit);
  }
  BufferEnd(k, end, 1, kBlack);
  BufferEnd(k, -end, -1, kBlack);
  Bogie(b, "Rad0", 8.5f, 2.5f, 0.5f, kDiscWheel);
  Bogie(b, "Rad1", -8.5f, 2.5f, 0.5f, kDiscWheel);
  return b;
}

// A covered goods wagon, 14 over buffers, two axles.
TBuilder CoveredWagon() {
  TBuilder b;
  K& k = b.Kit;
  const float w = 1.45f, y0 = 1.2f, y1 = 3.95f, z1 = 6.0f, end = 7.0f;
  k.Part("Wagenkasten");
  Sides(k, kCoveredSide, w, y0, y1, -z1, z1);
  EndWall(k, kCoveredEnd, w, y0, y1, z1, true);
  EndWall(k, kCoveredEnd, w, y0, y1, -z1, false);
  ArcRoof(k, kDark, w + 0.1f, y1, 0.4f, -z1 - 0.15f, z1 + 0.15f, 8);
  // The door's running rails, its handle, a ladder-like step at each corner.
  for (float x : {-1.0f, 1.0f}) {
    k.Beam(kBlack, {x * (w + 0.04f), y1 - 0.15f, -2.6f}, {x * (w + 0.04f), y1 - 0.15f, 2.6f}, 0.07f, kFit);
    k.Beam(kBlack, {x * (w + 0.04f), y0 + 0.12f, -2.6f}, {x * (w + 0.04f), y0 + 0.12f, 2.6f}, 0.07f, kFit);
    k.Beam(kSteel, {x * (w + 0.06f), 2.2f, 1.3f}, {x * (w + 0.06f), 2.8f, 1.3f}, 0.05f, kFit);
    for (float s : {-1.0f, 1.0f}) {
      Block(k, kBlack, {x * w, 0.7f, s * 5.9f}, {x * (w + 0.15f), 0.78f, s * 5.3f});
      Block(k, kBlack, {x * w, 0.78f, s * 5.9f}, {x * (w + 0.04f), y0, s * 5.82f}, K::kSides);
    }
  }
  Block(k, kBlack, {-1.35f, 0.9f, -z1}, {1.35f, y0, z1}, K::kAll);
  Block(k, kDark, {-0.5f, 0.55f, -1.2f}, {0.5f, 0.9f, 1.2f}, K::kAll & ~K::kTop);  // brake cylinder
  BufferEnd(k, end, 1, kBlack);
  BufferEnd(k, -end, -1, kBlack);
  AxleUnit(b, "Rad0", 3.5f, 0.5f);
  AxleUnit(b, "Rad1", -3.5f, 0.5f);
  return b;
}

// An open goods wagon loaded with coal, 13 over buffers, two axles.
TBuilder OpenWagon() {
  TBuilder b;
  K& k = b.Kit;
  const float w = 1.45f, t = 0.08f, y0 = 1.2f, y1 = 2.95f, z1 = 5.5f, end = 6.5f;
  k.Part("Wagenkasten");
  Sides(k, kOpenSide, w, y0, y1, -z1, z1);
  EndWall(k, kOpenEnd, w, y0, y1, z1, true);
  EndWall(k, kOpenEnd, w, y0, y1, -z1, false);
  // The inside faces, the top rims and the floor.
  const std::string inner = ColourMaterial(0.3f, 0.26f, 0.22f);
  for (float s : {-1.0f, 1.0f}) {
    QuadOut(k, inner, {s * (w - t), y0, -z1 + t}, {s * (w - t), y1, -z1 + t}, {s * (w - t), y1, z1 - t},
            {s * (w - t), y0, z1 - t}, {-s, 0, 0});
    QuadOut(k, inner, {-w + t, y0, s * (z1 - t)}, {-w + t, y1, s * (z1 - t)}, {w - t, y1, s * (z1 - t)},
            {w - t, y0, s * (z1 - t)}, {0, 0, -s});
    Block(k, kBlack, {s * (w - t), y1, -z1}, {s * w, y1 + 0.05f, z1}, K::kTop | K::kLeft | K::kRight);
    Block(k, kBlack, {-w, y1, s * (z1 - t)}, {w, y1 + 0.05f, s * z1}, K::kTop | K::kFront | K::kBack);
  }
  // The coal, heaped in ridges, nearly to the brim along the sides.
  K::TRoof heap;
  heap.X0 = -w + t, heap.X1 = w - t, heap.Z0 = -z1 + t, heap.Z1 = z1 - t;
  heap.Eave = y1 - 0.2f, heap.Ridge = y1 + 0.28f, heap.Overhang = 0, heap.Thickness = 0.02f;
  heap.AlongX = false, heap.Cover = kCoal, heap.CoverTile = {3, 3}, heap.Under = kCoal;
  k.HipRoof(heap);
  Block(k, kBlack, {-1.35f, 0.9f, -z1}, {1.35f, y0, z1}, K::kAll & ~K::kTop);
  for (float x : {-1.0f, 1.0f})
    for (float s : {-1.0f, 1.0f}) {
      Block(k, kBlack, {x * w, 0.7f, s * 5.4f}, {x * (w + 0.15f), 0.78f, s * 4.8f});
      Block(k, kBlack, {x * w, 0.78f, s * 5.4f}, {x * (w + 0.04f), y0, s * 5.32f}, K::kSides);
    }
  BufferEnd(k, end, 1, kBlack);
  BufferEnd(k, -end, -1, kBlack);
  AxleUnit(b, "Rad0", 3.2f, 0.5f);
  AxleUnit(b, "Rad1", -3.2f, 0.5f);
  return b;
}

// A tank wagon, 12.5 over buffers: a silver barrel with dished ends, dome, straps, walkway and
// ladder on a black frame, two axles.
TBuilder TankWagon() {
  TBuilder b;
  K& k = b.Kit;
  const float r = 1.3f, cy = 2.65f, z1 = 4.8f, end = 6.25f;
  k.Part("Kessel");
  k.Tube(kTankSilver, {0, cy, -z1}, {0, cy, z1}, r, r, 24, 0, {}, kPi / 24, true);
  for (float s : {-1.0f, 1.0f}) {
    // Dished ends: two rings closing in, then the flat middle.
    k.Tube(kTankSilver, {0, cy, s * z1}, {0, cy, s * (z1 + 0.25f)}, r, r * 0.85f, 24, 0, {}, kPi / 24, true);
    k.Tube(kTankSilver, {0, cy, s * (z1 + 0.25f)}, {0, cy, s * (z1 + 0.4f)}, r * 0.85f, r * 0.55f, 24, K::kTop, {},
           kPi / 24, true);
  }
  for (float z : {-2.6f, 2.6f})
    k.Tube(kBlack, {0, cy, z - 0.07f}, {0, cy, z + 0.07f}, r + 0.03f, r + 0.03f, 24, 0, {}, kPi / 24, true);
  // Dome with its lid, the walkway round it and the ladder up the right side.
  k.Frustum(kTankSilver, {0, 0, 0}, 0.5f, 0.46f, cy + r - 0.1f, cy + r + 0.45f, 16, kFit, K::kTop);
  k.Frustum(kDark, {0, 0, 0}, 0.4f, 0.25f, cy + r + 0.45f, cy + r + 0.55f, 16, kFit, K::kTop);
  Block(k, kWood, {-0.7f, cy + r - 0.05f, -0.8f}, {0.7f, cy + r + 0.02f, 0.8f}, K::kAll);
  for (float x : {-0.68f, 0.68f}) Handrail(k, x, cy + r + 0.75f, -0.75f, 0.75f, cy + r, 2);
  for (float z : {0.9f, 1.3f}) k.Beam(kBright, {1.55f, 1.35f, z}, {1.0f, cy + r, z}, 0.05f, kFit);
  for (int i = 1; i < 6; ++i) {
    const float f = float(i) / 6, y = 1.35f + (cy + r - 1.35f) * f, x = 1.55f + (1.0f - 1.55f) * f;
    k.Beam(kBright, {x, y, 0.9f}, {x, y, 1.3f}, 0.04f, kFit);
  }
  // The railway's panel on both sides of the barrel.
  const float px = r + 0.02f, ya = cy - 0.45f, yb = cy + 0.35f;
  k.Quad(kTankPanel, {px, ya, -3.7f}, {px, yb, -3.7f}, {px, yb, -1.0f}, {px, ya, -1.0f}, kFit);
  k.Quad(kTankPanel, {-px, ya, -1.0f}, {-px, yb, -1.0f}, {-px, yb, -3.7f}, {-px, ya, -3.7f}, kFit);
  // Saddles and the frame.
  for (float z : {-3.8f, 3.8f}) Block(k, kBlack, {-1.0f, 1.25f, z - 0.2f}, {1.0f, cy - r + 0.35f, z + 0.2f}, K::kSides);
  Block(k, kBlack, {-1.3f, 0.9f, -5.5f}, {1.3f, 1.25f, 5.5f}, K::kAll);
  Block(k, kWood, {-1.45f, 1.25f, -5.5f}, {1.45f, 1.3f, -4.9f}, K::kAll & ~K::kBottom);
  Block(k, kWood, {-1.45f, 1.25f, 4.9f}, {1.45f, 1.3f, 5.5f}, K::kAll & ~K::kBottom);
  for (float x : {-1.0f, 1.0f}) Handrail(k, x * 1.4f, 2.05f, 4.95f, 5.45f, 1.3f, 2);
  BufferEnd(k, end, 1, kBlack);
  BufferEnd(k, -end, -1, kBlack);
  AxleUnit(b, "Rad0", 3.0f, 0.5f);
  AxleUnit(b, "Rad1", -3.0f, 0.5f);
  return b;
}

// A tender engine with its tender in one model, 22 over buffers: leading truck ("Rad0"), three
// coupled axles on the frame, boiler with smokebox, chimney and domes, the cab, and the tender
// with coal on two bogies (the rear one "Rad1").
TBuilder SteamEngine() {
  TBuilder b;
  K& k = b.Kit;
  const float end = 11.0f, cy = 3.0f, rb = 1.0f, rd = 0.85f;
  const int body = k.Part("Lok");
  // Frame, running boards, cylinders and rods.
  Block(k, kBlack, {-0.72f, 0.45f, -1.9f}, {0.72f, 1.9f, 9.95f});
  Block(k, kBlack, {-1.5f, 1.9f, -0.2f}, {1.5f, 2.0f, 9.95f});
  Block(k, kBeamRed, {-1.5f, 1.86f, -0.2f}, {-1.46f, 1.9f, 9.95f}, K::kLeft);
  Block(k, kBeamRed, {1.46f, 1.86f, -0.2f}, {1.5f, 1.9f, 9.95f}, K::kRight);
  for (float s : {-1.0f, 1.0f}) {
    const float x = s * 1.25f;
    k.Tube(kDark, {x, 1.35f, 7.3f}, {x, 1.35f, 8.6f}, 0.4f, 0.4f, 14, K::kTop | K::kBottom, {}, 0, true);
    k.Beam(kSteel, {x, 1.35f, 7.3f}, {x, 1.35f, 6.7f}, 0.08f, kFit);
    Block(k, kSteel, {x - 0.08f, 1.2f, 6.45f}, {x + 0.08f, 1.5f, 6.75f});  // crosshead
    k.Beam(kSteel, {s * 1.05f, rd, 1.9f}, {s * 1.05f, rd, 6.2f}, 0.1f, kFit);  // coupling rod
    k.Beam(kSteel, {s * 1.15f, rd, 6.1f}, {x, 1.35f, 6.6f}, 0.09f, kFit);     // connecting rod
    // Sand pipes and the steps under the cab.
    Block(k, kBlack, {s * 1.5f, 0.9f, -1.2f}, {s * 1.62f, 1.0f, -0.5f});
    Block(k, kBlack, {s * 1.5f, 1.0f, -1.2f}, {s * 1.54f, 1.9f, -1.12f}, K::kSides);
  }
  // Boiler, its bands and handrails; the smokebox with its door; chimney, domes, safety valves.
  k.Tube(kBlack, {0, cy, 1.3f}, {0, cy, 8.2f}, rb, rb, 22, 0, {}, 0, true);
  for (float z : {3.0f, 4.8f, 6.6f})
    k.Tube(kBrass, {0, cy, z}, {0, cy, z + 0.08f}, rb + 0.02f, rb + 0.02f, 22, 0, {}, 0, true);
  k.Tube(kDark, {0, cy, 8.2f}, {0, cy, 9.85f}, rb + 0.08f, rb + 0.08f, 22, K::kBottom, {}, 0, true);
  k.Tube(kSmokebox, {0, cy, 9.85f}, {0, cy, 9.9f}, rb + 0.02f, rb + 0.02f, 22, K::kTop);
  Block(k, kBlack, {-0.72f, 1.9f, 8.3f}, {0.72f, cy - 0.6f, 9.6f}, K::kSides);
  for (float s : {-1.0f, 1.0f}) {
    k.Beam(kBright, {s * 1.06f, cy + 0.35f, 1.6f}, {s * 1.06f, cy + 0.35f, 9.5f}, 0.05f, kFit);
    k.Beam(kBright, {s * 0.8f, cy + 0.78f, 9.5f}, {s * 1.06f, cy + 0.35f, 9.5f}, 0.05f, kFit);
  }
  k.Frustum(kBlack, {0, 0, 9.05f}, 0.3f, 0.36f, cy + 0.8f, cy + 2.0f, 16, kFit, 0);
  k.Frustum(kBlack, {0, 0, 9.05f}, 0.45f, 0.45f, cy + 1.95f, cy + 2.1f, 16, kFit, K::kTop | K::kBottom);
  k.Frustum(kBlack, {0, 0, 5.6f}, 0.55f, 0.42f, cy + 0.75f, cy + 1.45f, 16, kFit, 0);
  k.Frustum(kBlack, {0, 0, 5.6f}, 0.42f, 0.15f, cy + 1.45f, cy + 1.6f, 16, kFit, K::kTop);
  k.Frustum(kBlack, {0, 0, 3.4f}, 0.45f, 0.34f, cy + 0.75f, cy + 1.3f, 16, kFit, 0);
  k.Frustum(kBlack, {0, 0, 3.4f}, 0.34f, 0.12f, cy + 1.3f, cy + 1.42f, 16, kFit, K::kTop);
  for (float x : {-0.15f, 0.15f}) k.Frustum(kBrass, {x, 0, 2.0f}, 0.1f, 0.08f, cy + 0.8f, cy + 1.35f, 8, kFit, K::kTop);
  k.Frustum(kBrass, {0, 0, 1.55f}, 0.06f, 0.08f, cy + 0.8f, cy + 1.55f, 8, kFit, K::kTop);  // whistle
  // Lamps on the beam and over the smokebox door.
  for (float s : {-1.0f, 1.0f}) Lamp(k, {s * 0.9f, 2.25f, 9.95f}, 1);
  Lamp(k, {0, cy + 1.25f, 9.7f}, 1, 0.14f);
  Block(k, kBlack, {-0.95f - 0.2f, 1.98f, 9.9f}, {-0.95f + 0.2f, 2.05f, 9.97f}, K::kTop);
  // The cab: walls with windows, the number plate, roof.
  const float cw = 1.5f, cz0 = -1.6f, cz1 = 1.4f, cb = 2.0f, ct = 4.45f;
  Block(k, kBlack, {-cw, cb, cz0}, {cw, ct, cz1}, K::kSides);
  for (float s : {-1.0f, 1.0f}) {
    const float x = s * (cw + 0.02f);
    const float za = s > 0 ? 0.1f : 1.1f, zb = s > 0 ? 1.1f : 0.1f;
    k.Quad(kCabWindow, {x, 3.2f, za}, {x, 4.05f, za}, {x, 4.05f, zb}, {x, 3.2f, zb}, kFit);
    const float pa = s > 0 ? -1.2f : -0.2f, pb = s > 0 ? -0.2f : -1.2f;
    k.Quad(kSteamPlate, {x, 2.55f, pa}, {x, 3.05f, pa}, {x, 3.05f, pb}, {x, 2.55f, pb}, kFit);
  }
  for (float s : {-1.0f, 1.0f})
    k.Quad(kCabWindow, {s * 1.25f, 3.5f, cz1 + 0.02f}, {s * 1.25f, 4.15f, cz1 + 0.02f},
           {s * 0.55f, 4.15f, cz1 + 0.02f}, {s * 0.55f, 3.5f, cz1 + 0.02f}, kFit);
  ArcRoof(k, kBlack, cw + 0.12f, ct, 0.3f, cz0 - 0.25f, cz1 + 0.15f, 8);
  // Coupled wheels on the frame.
  for (float z : {1.95f, 4.05f, 6.15f}) Wheelset(b, body, z, rd, kSpokedWheel);
  k.Use(body);
  // Front beam with buffers; the fall plate to the tender.
  BufferEnd(k, end, 1, kBeamRed);
  Block(k, kDark, {-0.7f, 1.85f, -2.4f}, {0.7f, 1.93f, -1.9f}, K::kAll);
  // The leading truck.
  {
    const int truck = k.Part("Rad0", -1, {0, 0, 9.1f});
    for (float s : {-1.0f, 1.0f}) Block(k, kBlack, {s * 1.0f, 0.3f, -0.5f}, {s * 1.12f, 0.72f, 0.5f});
    Block(k, kBlack, {-1.0f, 0.55f, -0.15f}, {1.0f, 0.7f, 0.15f});
    Wheelset(b, truck, 0, 0.5f, kSpokedWheel);
  }
  // The tender: body, coal and water filler, frame, two bogies.
  const float tw = 1.45f, tz0 = -9.9f, tz1 = -2.4f, tb = 1.35f, tt = 3.55f;
  k.Part("Tender");
  Sides(k, kTenderSide, tw, tb, tt, tz0, tz1);
  EndWall(k, kBlack, tw, tb, tt, tz1, true);
  EndWall(k, kBlack, tw, tb, tt, tz0, false);
  Block(k, kBlack, {-tw - 0.05f, tt, tz0}, {tw + 0.05f, tt + 0.12f, tz1}, K::kSides);
  QuadOut(k, kBlack, {-tw, tt - 0.1f, tz0}, {-tw, tt - 0.1f, -6.6f}, {tw, tt - 0.1f, -6.6f}, {tw, tt - 0.1f, tz0}, {0, 1, 0});
  K::TRoof coal;
  coal.X0 = -tw + 0.05f, coal.X1 = tw - 0.05f, coal.Z0 = -6.6f, coal.Z1 = tz1 - 0.05f;
  coal.Eave = tt - 0.15f, coal.Ridge = tt + 0.45f, coal.Overhang = 0, coal.Thickness = 0.02f;
  coal.AlongX = false, coal.Cover = kCoal, coal.CoverTile = {3, 3}, coal.Under = kCoal;
  k.HipRoof(coal);
  k.Frustum(kDark, {0, 0, -8.4f}, 0.4f, 0.4f, tt - 0.1f, tt + 0.2f, 12, kFit, K::kTop);
  for (float s : {-1.0f, 1.0f}) Handrail(k, s * (tw + 0.05f), 3.0f, tz1 + 0.1f, tz1 + 0.1f, 1.6f, 1);
  Block(k, kBlack, {-1.2f, 0.95f, -10.0f}, {1.2f, tb, -2.2f});
  BufferEnd(k, -end, -1, kBeamRed);
  Lamp(k, {0.9f, 2.25f, -10.25f}, -1);
  const int front = Bogie(b, "Drehgestell", -4.3f, 1.8f, 0.5f, kDiscWheel, kBlack);
  (void)front;
  Bogie(b, "Rad1", -7.9f, 1.8f, 0.5f, kDiscWheel, kBlack);
  // Light cones from the two lamps on the beam.
  for (float s : {-1.0f, 1.0f}) LightCone(k, b.Cones, {s * 0.9f, 2.25f, 10.15f}, 6.0f, 1.0f);
  return b;
}

// A centre-cab diesel, 18.5 over buffers: long and short hood with louvres, the cab between,
// handrails along the running boards, two bogies.
TBuilder DieselEngine() {
  TBuilder b;
  K& k = b.Kit;
  const float end = 9.25f, deck = 1.75f, hw = 1.05f, hood = 3.7f, cw = 1.5f, cab = 4.75f;
  const float cz0 = -2.3f, cz1 = 1.2f;
  k.Part("Lok");
  Block(k, kDark, {-1.55f, 1.4f, -8.5f}, {1.55f, deck, 8.5f});
  Block(k, kCream, {-1.56f, 1.4f, -8.5f}, {-1.55f, 1.55f, 8.5f}, K::kLeft);
  Block(k, kCream, {1.55f, 1.4f, -8.5f}, {1.56f, 1.55f, 8.5f}, K::kRight);
  Block(k, kDark, {-1.1f, 0.65f, -2.4f}, {1.1f, 1.4f, 2.4f}, K::kAll);  // fuel tank
  // Long hood ahead of the cab, short hood behind it.
  for (float s : {-1.0f, 1.0f}) {
    const float za = s > 0 ? cz1 : -8.1f, zb = s > 0 ? 8.1f : cz0;
    const float top = s > 0 ? hood : hood - 0.15f;
    Sides(k, kDieselHood, hw, deck, top, za, zb);
    EndWall(k, kDieselRed, hw, deck, top, s > 0 ? zb : za, s > 0);
    ArcRoof(k, ColourMaterial(0.5f, 0.12f, 0.13f), hw, top, 0.22f, za, zb, 6);
    // The radiator grille on the hood's end and its lamps.
    const float zf = s > 0 ? zb + 0.01f : za - 0.01f;
    QuadOut(k, kDark, {-0.6f, 2.4f, zf}, {-0.6f, 3.3f, zf}, {0.6f, 3.3f, zf}, {0.6f, 2.4f, zf}, {0, 0, s});
    Lamp(k, {0, top - 0.05f, zf}, s, 0.14f);
    for (float x : {-0.8f, 0.8f}) Lamp(k, {x, 2.05f, s * 8.25f}, s);
  }
  k.Tube(kBlack, {0, hood, 5.0f}, {0, hood + 0.5f, 5.0f}, 0.15f, 0.15f, 10, K::kTop);
  // The cab: textured sides, windows front and back, roof.
  Sides(k, kDieselCab, cw, deck, cab, cz0, cz1);
  for (float s : {-1.0f, 1.0f}) {
    const float z = s > 0 ? cz1 : cz0;
    EndWall(k, kDieselRed, cw, deck, cab, z, s > 0);
    for (float x : {-1.0f, 1.0f})
      QuadOut(k, kCabWindow, {x * 0.15f, 3.95f, z + s * 0.01f}, {x * 0.15f, 4.55f, z + s * 0.01f},
              {x * 1.3f, 4.55f, z + s * 0.01f}, {x * 1.3f, 3.95f, z + s * 0.01f}, {0, 0, s});
  }
  ArcRoof(k, kRoofGrey, cw + 0.08f, cab, 0.25f, cz0 - 0.1f, cz1 + 0.1f, 8);
  // Handrails along both running boards and at the ends.
  for (float x : {-1.45f, 1.45f}) {
    Handrail(k, x, 2.7f, cz1 + 0.2f, 8.3f, deck, 5);
    Handrail(k, x, 2.7f, -8.3f, cz0 - 0.2f, deck, 4);
  }
  for (float s : {-1.0f, 1.0f}) k.Beam(kBright, {-1.4f, 2.7f, s * 8.3f}, {1.4f, 2.7f, s * 8.3f}, 0.05f, kFit);
  BufferEnd(k, end, 1, kDieselRed);
  BufferEnd(k, -end, -1, kDieselRed);
  Bogie(b, "Rad0", 5.2f, 2.4f, 0.55f, kDiscWheel);
  Bogie(b, "Rad1", -5.2f, 2.4f, 0.55f, kDiscWheel);
  for (float x : {-0.8f, 0.8f}) LightCone(k, b.Cones, {x, 2.05f, 8.47f}, 6.0f, 1.0f);
  return b;
}

// A pantograph on the roof at z (raised: head at the contact wire's height; lowered: folded).
void Pantograph(K& k, float roof, float z, bool raised) {
  for (float x : {-0.45f, 0.45f})
    for (float dz : {-0.5f, 0.5f}) k.Tube(kInsulator, {x, roof - 0.05f, z + dz}, {x, roof + 0.25f, z + dz}, 0.08f, 0.06f, 8, K::kTop);
  Block(k, kDark, {-0.55f, roof + 0.25f, z - 0.6f}, {0.55f, roof + 0.33f, z + 0.6f});
  const TGXVector3 hinge{0, roof + 0.38f, z - 0.5f};
  const TGXVector3 knee = raised ? TGXVector3{0, roof + 1.05f, z + 1.0f} : TGXVector3{0, roof + 0.48f, z + 1.3f};
  const TGXVector3 head = raised ? TGXVector3{0, 6.5f, z - 0.15f} : TGXVector3{0, roof + 0.62f, z - 0.2f};
  for (float x : {-0.3f, 0.3f}) k.Beam(kDark, hinge + TGXVector3{x, 0, 0}, knee, 0.07f, kFit);
  k.Beam(kDark, knee, head, 0.06f, kFit);
  k.Beam(kDark, hinge, knee * 0.3f + hinge * 0.7f + TGXVector3{0, 0.1f, 0}, 0.04f, kFit);  // guide rod
  // The head: two contact strips with their horns.
  for (float dz : {-0.12f, 0.12f}) {
    k.Beam(kSteel, {-0.8f, head.y, head.z + dz}, {0.8f, head.y, head.z + dz}, 0.06f, kFit);
    for (float s : {-1.0f, 1.0f})
      k.Beam(kDark, {s * 0.8f, head.y, head.z + dz}, {s * 1.0f, head.y - 0.18f, head.z + dz}, 0.05f, kFit);
  }
  k.Beam(kDark, {-0.5f, head.y - 0.08f, head.z}, {0.5f, head.y - 0.08f, head.z}, 0.05f, kFit);
}

// A box-cab electric, 19 over buffers: blue body with cream band, a cab at either end, roof
// with two pantographs (the front one raised) and its line, two bogies.
TBuilder ElectricEngine() {
  TBuilder b;
  K& k = b.Kit;
  const float end = 9.5f, w = 1.5f, y0 = 1.75f, y1 = 4.5f, z1 = 8.6f, roof = 4.85f;
  k.Part("Lok");
  Sides(k, kElectricSide, w, y0, y1, -z1, z1);
  EndWall(k, kElectricFront, w, y0, y1, z1, true);
  EndWall(k, kElectricFront, w, y0, y1, -z1, false);
  ArcRoof(k, kRoofGrey, w + 0.05f, y1, roof - y1, -z1 - 0.1f, z1 + 0.1f, 10);
  Block(k, kDark, {-w, 1.3f, -8.75f}, {w, y0, 8.75f});
  Block(k, kDark, {-1.2f, 0.7f, -2.3f}, {1.2f, 1.3f, 2.3f}, K::kAll);  // transformer
  // Roof: walkway, the line between the pantographs on insulators.
  Block(k, kDark, {-0.3f, roof - 0.02f, -2.8f}, {0.3f, roof + 0.04f, 2.8f});
  k.Beam(kBrass, {0.2f, roof + 0.5f, -3.6f}, {0.2f, roof + 0.5f, 3.6f}, 0.05f, kFit);
  for (float z : {-2.0f, 0.0f, 2.0f}) k.Tube(kInsulator, {0.2f, roof - 0.05f, z}, {0.2f, roof + 0.48f, z}, 0.07f, 0.05f, 8, K::kTop);
  Pantograph(k, roof, 4.2f, true);
  Pantograph(k, roof, -4.2f, false);
  // Lamps at both ends, handrails beside the cab doors, steps below them.
  for (float s : {-1.0f, 1.0f}) {
    for (float x : {-0.9f, 0.9f}) Lamp(k, {x, 2.2f, s * z1}, s);
    Lamp(k, {0, 4.2f, s * z1}, s, 0.13f);
    for (float x : {-1.0f, 1.0f}) {
      for (float z : {7.55f, 6.85f}) k.Beam(kBright, {x * (w + 0.06f), 2.0f, s * z}, {x * (w + 0.06f), 3.6f, s * z}, 0.05f, kFit);
      Block(k, kBlack, {x * w, 0.8f, s * 7.55f}, {x * (w + 0.15f), 0.88f, s * 6.85f});
      Block(k, kBlack, {x * w, 0.88f, s * 7.55f}, {x * (w + 0.04f), 1.3f, s * 7.5f}, K::kSides);
    }
    k.Beam(kBright, {-1.2f, 1.7f, s * 8.78f}, {1.2f, 1.7f, s * 8.78f}, 0.05f, kFit);
  }
  BufferEnd(k, end, 1, kBeamRed);
  BufferEnd(k, -end, -1, kBeamRed);
  Bogie(b, "Rad0", 5.4f, 2.8f, 0.6f, kDiscWheel);
  Bogie(b, "Rad1", -5.4f, 2.8f, 0.6f, kDiscWheel);
  for (float x : {-0.9f, 0.9f}) LightCone(k, b.Cones, {x, 2.2f, z1 + 0.2f}, 6.0f, 1.0f);
  LightCone(k, b.Cones, {0, 4.2f, z1 + 0.2f}, 7.0f, 1.2f);
  return b;
}

}  // namespace

gx::TGXModelData CabModel() {
  K k;
  // The front cab of the electric locomotive from inside, measured as in the locomotive (walls
  // from x = -1.42 to 1.42, floor 1.85, ceiling 4.4, the front wall at z = 8.5, the back wall at
  // 6.75) and moved as a whole so that the driver's eye is the origin.
  const float w = 1.42f, floor = 1.85f, ceiling = 4.4f, front = 8.5f, back = 6.75f;
  const float wy0 = 3.35f, wy1 = 4.2f;  // windows
  const std::string wall = ColourMaterial(0.62f, 0.66f, 0.6f), dark = ColourMaterial(0.2f, 0.22f, 0.22f),
                    desk = ColourMaterial(0.32f, 0.4f, 0.36f), frame = ColourMaterial(0.12f, 0.12f, 0.12f),
                    roof = ColourMaterial(0.82f, 0.82f, 0.78f), rubber = ColourMaterial(0.1f, 0.1f, 0.1f),
                    red = ColourMaterial(0.75f, 0.12f, 0.1f);
  k.Part("Fuehrerstand", -1, {0, -CabEyeHeight, -CabEyeZ});
  // Floor and ceiling.
  QuadOut(k, dark, {-w, floor, back}, {-w, floor, front}, {w, floor, front}, {w, floor, back}, {0, 1, 0});
  QuadOut(k, roof, {-w, ceiling, back}, {-w, ceiling, front}, {w, ceiling, front}, {w, ceiling, back}, {0, -1, 0});
  // The front wall round the two windscreens (panes open; their frames stand out).
  const float xs[] = {-w, -1.28f, -0.12f, 0.12f, 1.28f, w};
  QuadOut(k, wall, {-w, floor, front}, {-w, wy0, front}, {w, wy0, front}, {w, floor, front}, {0, 0, -1});
  QuadOut(k, wall, {-w, wy1, front}, {-w, ceiling, front}, {w, ceiling, front}, {w, wy1, front}, {0, 0, -1});
  for (int i : {0, 2, 4})
    QuadOut(k, wall, {xs[i], wy0, front}, {xs[i], wy1, front}, {xs[i + 1], wy1, front}, {xs[i + 1], wy0, front},
            {0, 0, -1});
  for (int pane : {0, 1}) {
    const float xa = pane == 0 ? -1.28f : 0.12f, xb = pane == 0 ? -0.12f : 1.28f;
    k.Beam(frame, {xa, wy0, front - 0.02f}, {xb, wy0, front - 0.02f}, 0.06f, kFit);
    k.Beam(frame, {xa, wy1, front - 0.02f}, {xb, wy1, front - 0.02f}, 0.06f, kFit);
    k.Beam(frame, {xa, wy0, front - 0.02f}, {xa, wy1, front - 0.02f}, 0.06f, kFit);
    k.Beam(frame, {xb, wy0, front - 0.02f}, {xb, wy1, front - 0.02f}, 0.06f, kFit);
    // The wiper resting at the bottom of the pane.
    k.Beam(rubber, {(xa + xb) / 2, wy0 + 0.05f, front - 0.04f}, {(xa + xb) / 2 + 0.45f, wy0 + 0.12f, front - 0.04f},
           0.03f, kFit);
  }
  // Side walls with a window each, the back wall with its door.
  const float sz0 = 7.1f, sz1 = 8.2f;
  for (float s : {-1.0f, 1.0f}) {
    const TGXVector3 in{-s, 0, 0};
    const float x = s * w;
    QuadOut(k, wall, {x, floor, back}, {x, wy0, back}, {x, wy0, front}, {x, floor, front}, in);
    QuadOut(k, wall, {x, wy1, back}, {x, ceiling, back}, {x, ceiling, front}, {x, wy1, front}, in);
    QuadOut(k, wall, {x, wy0, back}, {x, wy1, back}, {x, wy1, sz0}, {x, wy0, sz0}, in);
    QuadOut(k, wall, {x, wy0, sz1}, {x, wy1, sz1}, {x, wy1, front}, {x, wy0, front}, in);
    for (float z : {sz0, sz1}) k.Beam(frame, {x - s * 0.02f, wy0, z}, {x - s * 0.02f, wy1, z}, 0.05f, kFit);
    for (float y : {wy0, wy1}) k.Beam(frame, {x - s * 0.02f, y, sz0}, {x - s * 0.02f, y, sz1}, 0.05f, kFit);
  }
  QuadOut(k, wall, {-w, floor, back}, {-w, ceiling, back}, {w, ceiling, back}, {w, floor, back}, {0, 0, 1});
  QuadOut(k, ColourMaterial(0.5f, 0.54f, 0.5f), {-0.45f, floor, back + 0.01f}, {-0.45f, 3.9f, back + 0.01f},
          {0.45f, 3.9f, back + 0.01f}, {0.45f, floor, back + 0.01f}, {0, 0, 1});
  // The desk across the front, its sloping instrument panel, two gauge bezels standing out of it
  // and the brake valve beside the controller.
  const float dz0 = 7.8f, top = 2.95f, panelTop = 3.25f;
  Block(k, desk, {-w, floor, dz0}, {w, top, front}, K::kFront | K::kTop);
  QuadOut(k, kInstruments, {-0.8f, top, dz0 + 0.05f}, {-0.8f, panelTop, front - 0.05f},
          {0.8f, panelTop, front - 0.05f}, {0.8f, top, dz0 + 0.05f}, {0, 1, -1});
  QuadOut(k, desk, {-w, top, dz0}, {-w, panelTop, front}, {-0.8f, panelTop, front}, {-0.8f, top, dz0}, {0, 1, -1});
  QuadOut(k, desk, {0.8f, top, dz0}, {0.8f, panelTop, front}, {w, panelTop, front}, {w, top, dz0}, {0, 1, -1});
  Block(k, dark, {-w, top - 0.05f, dz0 - 0.08f}, {w, top + 0.02f, dz0}, K::kAll);
  for (float u : {0.19f, 0.53f}) {
    // Gauge centres on the panel texture (at a fifth and half of its width, a little above its
    // middle) with a ring standing out of the sloping face.
    const float x = -0.8f + 1.6f * u, t = 0.56f;
    const TGXVector3 c{x, top + (panelTop - top) * t, dz0 + 0.05f + (front - 0.1f - dz0) * t};
    const TGXVector3 n = gx::GXVec3Normalize({0, front - 0.1f - dz0, -(panelTop - top)});
    k.Tube(frame, c, c + n * 0.03f, 0.2f, 0.19f, 16);
  }
  k.Tube(dark, {-0.55f, top + 0.02f, 7.95f}, {-0.55f, top + 0.22f, 7.95f}, 0.09f, 0.07f, 10, K::kTop);
  k.Beam(red, {-0.55f, top + 0.2f, 7.95f}, {-0.85f, top + 0.24f, 7.8f}, 0.05f, kFit);
  // The controller: a quadrant on the desk and the lever that swings with the target speed.
  k.Tube(dark, {0.45f, top, 7.95f}, {0.65f, top, 7.95f}, 0.14f, 0.14f, 12, K::kTop | K::kBottom);
  k.Part(CabControlNode, 0, {0.55f, top + 0.04f, 7.95f});
  k.Beam(ColourMaterial(0.7f, 0.7f, 0.68f), {0, 0, 0}, {0, 0.42f, 0}, 0.05f, kFit);
  k.Tube(ColourMaterial(0.15f, 0.15f, 0.15f), {0, 0.4f, 0}, {0, 0.52f, 0}, 0.07f, 0.07f, 10, K::kTop | K::kBottom);

  gx::TGXModelData model = k.Build(gx::EGXModelFormat::XFile);
  // 100 frames of 0.04 s: fully back at 0, upright at 50, fully forward at 100.
  gx::TGXModelTrack track;
  track.Name = CabControlNode;
  for (uint32_t f = 0; f <= 100; f += 10) {
    const float a = CabControlSwing * (float(f) - 50) / 50;
    track.RotationKeys.push_back({f, AxisRotation({1, 0, 0}, a)});
  }
  model.Animation.SecondsPerFrame = 0.04f;
  model.Animation.Tracks.push_back(std::move(track));
  model.HasAnimation = true;
  return model;
}

TVehicleSpan VehicleSpan(const gx::TGXModelData& model) {
  std::vector<gx::TGXMatrix> world(model.Nodes.size());
  std::vector<bool> cone(model.Nodes.size(), false);
  TGXVector3 lo{1e30f, 1e30f, 1e30f}, hi{-1e30f, -1e30f, -1e30f};
  float bogie[2] = {0, 0};
  int bogies = 0;
  for (size_t i = 0; i < model.Nodes.size(); ++i) {
    const gx::TGXModelNode& n = model.Nodes[i];
    world[i] = gx::GXMatrixTransformation(n.Scale, n.Rotation, n.Position);
    if (n.Parent >= 0) world[i] = world[i] * world[size_t(n.Parent)];
    cone[i] = n.Name.rfind("lk", 0) == 0 || (n.Parent >= 0 && cone[size_t(n.Parent)]);
    if (n.Name == "Rad0" || n.Name == "Rad1") {
      bogie[n.Name == "Rad0" ? 0 : 1] = gx::GXVec3TransformCoord({0, 0, 0}, world[i]).z;
      ++bogies;
    }
    if (cone[i]) continue;
    for (uint32_t m : n.Meshes)
      for (const gx::TGXModelVertex& v : model.Meshes.at(m).Vertices) {
        const TGXVector3 p = gx::GXVec3TransformCoord(v.Position, world[i]);
        lo = gx::GXVec3Minimize(lo, p);
        hi = gx::GXVec3Maximize(hi, p);
      }
  }
  TVehicleSpan s;
  s.Pivot = bogies == 2 ? (bogie[0] + bogie[1]) / 2 : (lo.z + hi.z) / 2;
  s.Front = hi.z - s.Pivot;
  s.Rear = s.Pivot - lo.z;
  s.MinY = lo.y, s.MaxY = hi.y;
  s.Width = hi.x - lo.x;
  return s;
}

std::vector<TVehicleModel> VehicleModels() {
  std::vector<TVehicleModel> list;
  auto add = [&](const char* name, const char* folder, const char* file, TVehicleKind kind, bool engine,
                 const char* sound, TBuilder built) {
    TVehicleModel v;
    v.Name = name;
    v.Folder = folder;
    v.FileName = file;
    v.Kind = kind;
    v.Locomotive = engine;
    v.SoundFile = sound ? sound : "";
    v.Model = built.Kit.Build(gx::EGXModelFormat::XFile);
    list.push_back(std::move(v));
    return &list.back();
  };
  add("Dampflok Falke mit Schlepptender", "Lokomotiven", "Dampflok.x", TVehicleKind::Steam, true, SteamSoundFile,
      SteamEngine());
  add("Diesellok Dachs", "Lokomotiven", "Diesellok.x", TVehicleKind::Diesel, true, DieselSoundFile,
      DieselEngine());
  add("Elektrolok Sperber", "Lokomotiven", "Ellok.x", TVehicleKind::Electric, true, ElectricSoundFile,
      ElectricEngine())
      ->Cab = true;
  add("Personenwagen 2. Klasse", "Wagen", "Personenwagen.x", TVehicleKind::Coach, false, nullptr, Coach());
  add("Gedeckter Güterwagen", "Wagen", "GedeckterWagen.x", TVehicleKind::CoveredWagon, false, nullptr,
      CoveredWagon());
  add("Offener Güterwagen mit Kohle", "Wagen", "OffenerWagen.x", TVehicleKind::OpenWagon, false, nullptr,
      OpenWagon());
  add("Kesselwagen", "Wagen", "Kesselwagen.x", TVehicleKind::TankWagon, false, nullptr, TankWagon());
  return list;
}

}  // namespace assetgen
