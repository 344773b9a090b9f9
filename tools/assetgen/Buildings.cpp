#include "tools/assetgen/Buildings.h"

#include <algorithm>
#include <cmath>

#include "tools/assetgen/ModelKit.h"
#include "tools/assetgen/Textures.h"

namespace assetgen {

namespace {

using K = TModelKit;

// Texture names (the files Textures.cpp paints).
const std::string kPlaster = "Putz.png";
const std::string kOchre = "PutzOcker.png";
const std::string kBrick = "Klinker.tga";
const std::string kYellowBrick = "KlinkerGelb.tga";
const std::string kTiles = "Dachziegel.png";
const std::string kSlate = "Schiefer.tga";
const std::string kBoards = "Holz.png";
const std::string kTimber = "HolzNatur.png";
const std::string kHalfTimber = "Fachwerk.png";
const std::string kStone = "Sandstein.png";
const std::string kPaving = "Pflaster.png";
const std::string kTarPaper = "Dachpappe.png";
const std::string kWindow = "Fenster.png";
const std::string kIndustrialWindow = "Sprossenfenster.tga";
const std::string kDoor = "Tuer.png";
const std::string kGate = "Tor.tga";
const std::string kRedGate = "TorRot.png";
const std::string kSail = "Fluegel.tga";

constexpr float kPi = gx::GX_PI;

// ---- building blocks ----

// Walls of a rectangular block between heights y0 and y1.
void Walls(K& k, const std::string& tex, float x0, float z0, float x1, float z1, float y0, float y1) {
  k.Box(tex, {x0, y0, z0}, {x1, y1, z1}, TileOf(tex), K::kSides);
}

// A box standing out from a wall: along and up on the wall, from the wall face out by depth.
void WallBox(K& k, const std::string& tex, const TWall& w, float along, float up, float width, float height,
             float depth, uint32_t faces = K::kAll & ~K::kBack) {
  // Axes right, up and into the wall, so the box's front faces the street.
  k.OrientedBox(tex, w.At(along, up, depth), w.Right, {0, 1, 0}, -w.Normal, {width, height, depth},
                TileOf(tex), faces);
}

// A plinth a little proud of the walls, with its top ledge.
void Plinth(K& k, float x0, float z0, float x1, float z1, float h, const std::string& tex = kStone) {
  k.Box(tex, {x0 - 0.1f, 0, z0 - 0.1f}, {x1 + 0.1f, h, z1 + 0.1f}, TileOf(tex), K::kSides | K::kTop);
}

// A moulded band round a block (storey band, cornice).
void Band(K& k, float x0, float z0, float x1, float z1, float y, float h, float out,
          const std::string& tex = kStone) {
  k.Box(tex, {x0 - out, y, z0 - out}, {x1 + out, y + h, z1 + out}, TileOf(tex), K::kAll);
}

// A window centred at along: the glazed opening with a stone sill under it.
void Window(K& k, const TWall& w, float centre, float up, float width, float height,
            const std::string& tex = kWindow, const std::string& sill = kStone) {
  k.Opening(tex, w, centre - width / 2, up, width, height);
  if (!sill.empty()) WallBox(k, sill, w, centre - width / 2 - 0.12f, up - 0.14f, width + 0.24f, 0.14f, 0.16f);
}

// n windows evenly spaced along a wall, centres at (i + 0.5) · length / n.
void WindowRow(K& k, const TWall& w, int n, float up, float width, float height,
               const std::string& tex = kWindow, const std::string& sill = kStone) {
  for (int i = 0; i < n; ++i)
    Window(k, w, (float(i) + 0.5f) * w.Length / float(n), up, width, height, tex, sill);
}

// A door centred at along with a step in front of it (none when step is empty or the door is at
// ground level).
void Door(K& k, const TWall& w, float centre, float up, float width, float height,
          const std::string& tex = kDoor, const std::string& step = kStone) {
  k.Opening(tex, w, centre - width / 2, up, width, height);
  if (!step.empty() && up > 0.05f) WallBox(k, step, w, centre - width / 2 - 0.2f, 0, width + 0.4f, up, 0.6f);
}

// A window or door on face `face` of an upright n-sided frustum (corner radius r0 at y0, r1 at
// y1, corners as TModelKit::Frustum places them): a quad in the face's plane, centred across it,
// from height up to up + height, lifted off the face by out.
void FrustumOpening(K& k, const std::string& tex, float r0, float r1, float y0, float y1, int sides,
                    float phase, int face, float up, float width, float height, float out = 0.03f) {
  auto corner = [&](int i, float y) {
    const float r = r0 + (r1 - r0) * (y - y0) / (y1 - y0);
    const float a = phase + 2 * gx::GX_PI * float(i) / float(sides);
    return TGXVector3{std::sin(a) * r, y, std::cos(a) * r};
  };
  const TGXVector3 left0 = corner(face + 1, up), right0 = corner(face, up);
  const TGXVector3 left1 = corner(face + 1, up + height), right1 = corner(face, up + height);
  const TGXVector3 right = gx::GXVec3Normalize(right0 - left0);
  const TGXVector3 normal = gx::GXVec3Normalize(gx::GXVec3Cross(left1 - left0, right));
  const TGXVector3 mid0 = (left0 + right0) * 0.5f + normal * out,
                   mid1 = (left1 + right1) * 0.5f + normal * out;
  const TGXVector3 half = right * (width / 2);
  k.Quad(tex, mid0 - half, mid1 - half, mid1 + half, mid0 + half, kFit);
}

// An open cone of light from the apex down to a circle round baseCentre (it may lie off the
// apex's vertical, so the light falls away from a wall).
void LightCone(K& k, const std::string& tex, const TGXVector3& apex, const TGXVector3& baseCentre,
               float radius, int sides) {
  auto corner = [&](int i) {
    const float a = 2 * gx::GX_PI * float(i) / float(sides);
    return baseCentre + TGXVector3{std::sin(a) * radius, 0, std::cos(a) * radius};
  };
  for (int i = 0; i < sides; ++i) k.Triangle(tex, corner(i + 1), apex, corner(i), kFit);
}

void Chimney(K& k, float x, float z, float y0, float y1, float size = 0.9f) {
  const float h = size / 2;
  k.Box(kBrick, {x - h, y0, z - h}, {x + h, y1, z + h}, TileOf(kBrick), K::kSides);
  k.Box(kStone, {x - h - 0.1f, y1, z - h - 0.1f}, {x + h + 0.1f, y1 + 0.2f, z + h + 0.1f}, TileOf(kStone),
        K::kAll, kTarPaper);
}

TModelKit::TRoof Roof(float x0, float z0, float x1, float z1, float eave, float ridge,
                      const std::string& cover, const std::string& gable, bool alongX = true,
                      float overhang = 0.5f, const std::string& under = kTimber) {
  TModelKit::TRoof r;
  r.X0 = x0, r.Z0 = z0, r.X1 = x1, r.Z1 = z1;
  r.Eave = eave, r.Ridge = ridge, r.Overhang = overhang, r.AlongX = alongX;
  r.Cover = cover, r.CoverTile = TileOf(cover);
  r.Under = under;
  r.Gable = gable, r.GableTile = TileOf(gable);
  return r;
}

// The wall of face i of an upright regular polygon (corner i at phase + i · 2π/n, turning from +z
// towards +x): seen from outside, corner i + 1 is its left end.
TWall PolygonWall(float radius, int sides, float phase, int face, float y0 = 0) {
  auto corner = [&](int i) {
    const float a = phase + 2 * kPi * float(i) / float(sides);
    return TGXVector3{std::sin(a) * radius, y0, std::cos(a) * radius};
  };
  const TGXVector3 left = corner(face + 1), right = corner(face);
  const TGXVector3 along = right - left;
  TWall w;
  w.Origin = left;
  w.Length = gx::GXVec3Length(along);
  w.Right = along * (1.0f / w.Length);
  w.Normal = gx::GXVec3Normalize(gx::GXVec3Cross(w.Right, {0, 1, 0})) * -1.0f;
  return w;
}

// ---- the buildings ----

// Country station: a two-storey ochre building with a one-storey wing, a platform with a canopy on
// the track side (+z) and a lamp with its light cone over the street door.
TModelKit Landbahnhof() {
  K k;
  k.Part("Bahnhof");
  // Main building 14 x 9.
  Plinth(k, -7, -4.5f, 7, 4.5f, 0.6f);
  Walls(k, kOchre, -7, -4.5f, 7, 4.5f, 0.6f, 7.6f);
  Band(k, -7, -4.5f, 7, 4.5f, 4.0f, 0.22f, 0.08f);
  Band(k, -7, -4.5f, 7, 4.5f, 7.3f, 0.3f, 0.12f);
  const std::vector<TWall> main = BoxWalls(-7, -4.5f, 7, 4.5f);
  // Street side: the door in the middle, two windows either side, five above.
  Door(k, main[0], 7.0f, 0.6f, 1.7f, 2.8f);
  for (float x : {1.6f, 4.1f, 9.9f, 12.4f}) Window(k, main[0], x, 1.5f, 1.2f, 1.8f);
  WindowRow(k, main[0], 5, 4.9f, 1.1f, 1.7f);
  // Track side: door at platform height, windows, five above.
  Door(k, main[2], 7.0f, 1.3f, 1.7f, 2.6f, kDoor, {});
  for (float x : {1.6f, 4.1f, 9.9f, 12.4f}) Window(k, main[2], x, 1.9f, 1.2f, 1.7f);
  WindowRow(k, main[2], 5, 4.9f, 1.1f, 1.7f);
  // Gable ends: two windows a storey and one in the gable.
  for (int side : {1, 3}) {
    WindowRow(k, main[size_t(side)], 2, 1.5f, 1.2f, 1.8f);
    WindowRow(k, main[size_t(side)], 2, 4.9f, 1.1f, 1.7f);
    Window(k, main[size_t(side)], 4.5f, 8.3f, 0.9f, 1.2f);
  }
  k.GableRoof(Roof(-7, -4.5f, 7, 4.5f, 7.6f, 11.6f, kTiles, kOchre, true, 0.6f));
  Chimney(k, -3, 1.2f, 9, 12.6f);
  Chimney(k, 3, -1.2f, 9, 12.6f);

  // Wing 5.5 x 7 with its ridge across.
  Plinth(k, 7, -3.5f, 12.5f, 3.5f, 0.6f);
  Walls(k, kOchre, 7, -3.5f, 12.5f, 3.5f, 0.6f, 4.4f);
  const std::vector<TWall> wing = BoxWalls(7, -3.5f, 12.5f, 3.5f);
  WindowRow(k, wing[0], 2, 1.5f, 1.1f, 1.7f);
  Door(k, wing[2], 1.6f, 1.3f, 1.3f, 2.4f, kDoor, {});
  Window(k, wing[2], 4.0f, 1.9f, 1.1f, 1.6f);
  WindowRow(k, wing[1], 2, 1.5f, 1.1f, 1.7f);
  k.GableRoof(Roof(7, -3.5f, 12.5f, 3.5f, 4.4f, 7.2f, kTiles, kOchre, false, 0.45f));

  // Platform along the track side and the canopy over it, on posts.
  k.Box(kStone, {-9, 0, 4.5f}, {14.5f, 1.3f, 10.0f}, TileOf(kStone), K::kAll & ~K::kBottom, kPaving);
  TModelKit::TRoof canopy = Roof(-7, 4.5f, 12.5f, 8.6f, 4.0f, 4.7f, kTarPaper, {}, true, 0.3f);
  canopy.Thickness = 0.18f;
  canopy.Flip = true;
  k.ShedRoof(canopy);
  for (int i = 0; i < 6; ++i) {
    const float x = -6.4f + float(i) * 3.66f;
    k.Box(kTimber, {x - 0.12f, 1.3f, 8.0f}, {x + 0.12f, 4.1f, 8.24f}, TileOf(kTimber), K::kSides);
    // A brace up to the canopy (its frame is the upright one tipped back about x).
    k.OrientedBox(kTimber, {x - 0.06f, 3.3f, 8.0f}, {1, 0, 0}, gx::GXVec3Normalize({0, 0.6f, -1}),
                  gx::GXVec3Normalize({0, 1, 0.6f}), {0.12f, 1.4f, 0.1f}, TileOf(kTimber), K::kAll);
  }
  // Station name board on the track side.
  WallBox(k, ColourMaterial(0.95f, 0.95f, 0.92f), main[2], 4.5f, 3.55f, 5.0f, 0.35f, 0.05f);
  WallBox(k, ColourMaterial(0.12f, 0.14f, 0.2f), main[2], 4.6f, 3.6f, 4.8f, 0.25f, 0.07f, K::kFront);

  // The lamp over the street door: bracket, shade and bulb, and its light cone down to the ground.
  const TWall& street = main[0];
  WallBox(k, ColourMaterial(0.1f, 0.1f, 0.1f), street, 6.95f, 3.85f, 0.1f, 0.1f, 0.7f);
  k.Frustum(ColourMaterial(0.12f, 0.25f, 0.16f), {0, 0, -5.15f}, 0.35f, 0.08f, 3.55f, 3.85f, 8, kFit,
            K::kTop);
  k.Frustum(ColourMaterial(1.0f, 0.95f, 0.75f), {0, 0, -5.15f}, 0.12f, 0.12f, 3.42f, 3.55f, 8, kFit,
            K::kBottom);
  // The light cone's material comes from its node's name; its own colour is never shown.
  k.Part("lkLampe", -1, {0, 3.45f, -5.15f});
  LightCone(k, ColourMaterial(1, 1, 1), {0, 0, 0}, {0, -3.44f, -1.3f}, 1.2f, 16);
  return k;
}

// Goods shed: a red boarded shed on a loading ramp, sliding gates on both long sides, a long roof
// overhang over the ramp and a small office at one end.
TModelKit Gueterschuppen() {
  K k;
  k.Part("Gueterschuppen");
  // The ramp, with a slope down at the left end.
  k.Box(kBrick, {-11, 0, -4.2f}, {11, 1.2f, 4.2f}, TileOf(kBrick), K::kAll & ~K::kBottom, kTimber);
  k.Quad(kPaving, {-14, 0, 4.2f}, {-11, 1.2f, 4.2f}, {-11, 1.2f, -4.2f}, {-14, 0, -4.2f}, TileOf(kPaving));
  k.Triangle(kBrick, {-14, 0, -4.2f}, {-11, 1.2f, -4.2f}, {-11, 0, -4.2f}, TileOf(kBrick));
  k.Triangle(kBrick, {-11, 0, 4.2f}, {-11, 1.2f, 4.2f}, {-14, 0, 4.2f}, TileOf(kBrick));
  // The shed.
  Walls(k, kBoards, -8, -3, 8, 3, 1.2f, 5.0f);
  const std::vector<TWall> w = BoxWalls(-8, -3, 8, 3, 1.2f);
  for (int side : {0, 2}) {
    for (float x : {3.5f, 11.0f}) {
      k.Opening(kGate, w[size_t(side)], x, 0, 2.6f, 3.0f, 0.06f);
      // The gate's rail.
      WallBox(k, ColourMaterial(0.2f, 0.2f, 0.2f), w[size_t(side)], x - 0.5f, 3.1f, 3.6f, 0.12f, 0.1f);
    }
    for (float x : {1.6f, 8.4f, 15.0f})
      Window(k, w[size_t(side)], x, 2.6f, 1.0f, 0.8f, kIndustrialWindow, kTimber);
  }
  Window(k, w[3], 3.0f, 2.6f, 1.0f, 0.8f, kIndustrialWindow, kTimber);
  k.GableRoof(Roof(-8, -3, 8, 3, 5.0f, 7.0f, kTarPaper, kBoards, true, 1.4f));
  // Office at the right end, a lean-to against the shed.
  Walls(k, kOchre, 8, -2.5f, 10.6f, 2.5f, 1.2f, 4.2f);
  const std::vector<TWall> o = BoxWalls(8, -2.5f, 10.6f, 2.5f, 1.2f);
  Door(k, o[0], 1.3f, 0, 1.1f, 2.3f, kDoor, {});
  Window(k, o[1], 2.5f, 1.0f, 1.1f, 1.3f);
  Window(k, o[2], 1.3f, 1.0f, 1.1f, 1.3f);
  TModelKit::TRoof lean = Roof(8, -2.5f, 10.6f, 2.5f, 4.2f, 4.9f, kTarPaper, kOchre, false, 0.3f);
  lean.Thickness = 0.15f;
  k.ShedRoof(lean);
  return k;
}

// Signal box: a brick base, a boarded operating floor with windows all round, a slate hipped
// roof and an outside stair up to the door on the right.
TModelKit Stellwerk() {
  K k;
  k.Part("Stellwerk");
  Plinth(k, -3, -2.2f, 3, 2.2f, 0.4f);
  Walls(k, kBrick, -3, -2.2f, 3, 2.2f, 0.4f, 3.6f);
  const std::vector<TWall> low = BoxWalls(-3, -2.2f, 3, 2.2f);
  WindowRow(k, low[0], 2, 1.4f, 0.9f, 1.2f);
  Door(k, low[3], 2.2f, 0.4f, 1.0f, 2.2f);
  Window(k, low[2], 3.0f, 1.4f, 0.9f, 1.2f);
  // The operating floor overhangs the base a little.
  Band(k, -3, -2.2f, 3, 2.2f, 3.45f, 0.2f, 0.25f, kTimber);
  Walls(k, kTimber, -3.2f, -2.4f, 3.2f, 2.4f, 3.65f, 6.6f);
  const std::vector<TWall> up = BoxWalls(-3.2f, -2.4f, 3.2f, 2.4f);
  WindowRow(k, up[0], 4, 4.3f, 1.3f, 1.7f, kIndustrialWindow, kTimber);
  WindowRow(k, up[2], 2, 4.3f, 1.3f, 1.7f, kIndustrialWindow, kTimber);
  WindowRow(k, up[3], 2, 4.3f, 1.3f, 1.7f, kIndustrialWindow, kTimber);
  Window(k, up[1], 1.3f, 4.3f, 1.3f, 1.7f, kIndustrialWindow, kTimber);
  k.Opening(kDoor, up[1], 2.9f, 3.65f, 1.1f, 2.4f);
  TModelKit::TRoof roof = Roof(-3.2f, -2.4f, 3.2f, 2.4f, 6.6f, 8.5f, kSlate, {}, true, 0.6f);
  k.HipRoof(roof);
  Chimney(k, -1.4f, 0.8f, 7.4f, 9.4f, 0.7f);
  // Stair along the right wall: ten steps up to a landing at the door.
  k.Box(kTimber, {3.2f, 3.4f, 0.4f}, {4.4f, 3.65f, 2.4f}, TileOf(kTimber), K::kAll);
  for (int i = 0; i < 10; ++i) {
    const float z0 = 0.4f - float(10 - i) * 0.3f;
    k.Box(kTimber, {3.3f, 0, z0}, {4.3f, 3.4f * float(i + 1) / 10.0f, z0 + 0.3f}, TileOf(kTimber),
          K::kAll & ~K::kBottom);
  }
  k.Box(kTimber, {4.3f, 3.65f, 0.45f}, {4.4f, 4.6f, 2.35f}, TileOf(kTimber), K::kAll);  // railing
  return k;
}

// Water tower: an octagonal brick shaft on a stone base, the boarded tank above a stone cornice,
// a slate roof with a vent.
TModelKit Wasserturm() {
  K k;
  k.Part("Wasserturm");
  const float phase = kPi / 8;  // a flat face towards every side
  k.Frustum(kStone, {0, 0, 0}, 3.2f, 3.2f, 0, 0.9f, 8, TileOf(kStone), K::kTop, phase);
  k.Frustum(kBrick, {0, 0, 0}, 2.9f, 2.9f, 0.9f, 11.0f, 8, TileOf(kBrick), 0, phase);
  k.Frustum(kStone, {0, 0, 0}, 3.3f, 3.5f, 11.0f, 11.5f, 8, TileOf(kStone), K::kBottom | K::kTop, phase);
  k.Frustum(kTimber, {0, 0, 0}, 4.1f, 4.1f, 11.5f, 15.0f, 8, TileOf(kTimber), K::kBottom, phase);
  k.Frustum(kTarPaper, {0, 0, 0}, 4.6f, 4.6f, 15.0f, 15.3f, 8, TileOf(kTarPaper), K::kTop | K::kBottom,
            phase);
  k.Cone(kSlate, {0, 0, 0}, 4.6f, 15.3f, 18.6f, 8, TileOf(kSlate), phase);
  k.Frustum(kTarPaper, {0, 0, 0}, 0.5f, 0.5f, 18.0f, 19.0f, 8, TileOf(kTarPaper), 0, phase);
  k.Cone(kSlate, {0, 0, 0}, 0.8f, 19.0f, 19.8f, 8, TileOf(kSlate), phase);
  // Faces 0 … 7 of the octagon; face 3 looks towards -z (the door), 1 to +x, 5 to -x, 7 to +z.
  for (int face : {1, 3, 5, 7}) {
    const TWall w = PolygonWall(2.9f, 8, phase, face);
    for (float y : {3.4f, 6.2f, 9.0f})
      if (!(face == 3 && y < 4)) Window(k, w, w.Length / 2, y, 0.8f, 1.3f, kIndustrialWindow, kStone);
    if (face == 3) Door(k, w, w.Length / 2, 0.9f, 1.2f, 2.2f);
  }
  // Tank windows (level gauge) and bands.
  for (int face : {3, 7}) {
    const TWall w = PolygonWall(4.1f, 8, phase, face, 11.5f);
    k.Opening(kIndustrialWindow, w, w.Length / 2 - 0.4f, 1.2f, 0.8f, 1.2f);
  }
  return k;
}

// Engine shed for one locomotive: long brick walls with tall iron windows, a tarred roof with
// smoke vents, and a two-leaf gate in the front gable that opens once (the nodes "TorLinks" and
// "TorRechts", hinged at the opening's sides).
TModelKit Lokschuppen() {
  K k;
  k.Part("Lokschuppen");
  const float x0 = -3.6f, x1 = 3.6f, z0 = -14, z1 = 14, eave = 6.5f, ridge = 9.0f;
  const float gateHalf = 2.3f, gateHeight = 5.6f, wall = 0.3f;
  const TTile brick = TileOf(kBrick);
  k.Box(kStone, {x0, 0, z0}, {x1, 0.5f, z1}, TileOf(kStone), K::kBack | K::kLeft | K::kRight);
  // Side and back walls.
  k.Box(kBrick, {x0, 0.5f, z0}, {x1, eave, z1}, brick, K::kBack | K::kLeft | K::kRight);
  const std::vector<TWall> w = BoxWalls(x0, z0, x1, z1);
  for (int side : {1, 3})
    for (int i = 0; i < 6; ++i)
      Window(k, w[size_t(side)], 2.5f + float(i) * 4.6f, 1.8f, 1.5f, 3.0f, kIndustrialWindow, kStone);
  WindowRow(k, w[2], 2, 2.0f, 1.3f, 2.6f, kIndustrialWindow, kStone);
  // The front wall around the gate opening, with a plinth and the gable above it.
  k.Quad(kBrick, {x0, 0, z0}, {x0, eave, z0}, {-gateHalf, eave, z0}, {-gateHalf, 0, z0}, brick);
  k.Quad(kBrick, {gateHalf, 0, z0}, {gateHalf, eave, z0}, {x1, eave, z0}, {x1, 0, z0}, brick);
  k.Quad(kBrick, {-gateHalf, gateHeight, z0}, {-gateHalf, eave, z0}, {gateHalf, eave, z0},
         {gateHalf, gateHeight, z0}, brick);
  WallBox(k, kStone, w[0], -0.1f, gateHeight, x1 - x0 + 0.2f, 0.3f, 0.12f);
  // The opening's reveals and the shed's inside, seen through the open gate.
  k.Quad(kBrick, {-gateHalf, 0, z0}, {-gateHalf, gateHeight, z0}, {-gateHalf, gateHeight, z0 + wall},
         {-gateHalf, 0, z0 + wall}, brick);
  k.Quad(kBrick, {gateHalf, 0, z0 + wall}, {gateHalf, gateHeight, z0 + wall}, {gateHalf, gateHeight, z0},
         {gateHalf, 0, z0}, brick);
  k.Quad(kBrick, {-gateHalf, gateHeight, z0}, {gateHalf, gateHeight, z0}, {gateHalf, gateHeight, z0 + wall},
         {-gateHalf, gateHeight, z0 + wall}, brick);
  const float ix0 = x0 + wall, ix1 = x1 - wall, iz0 = z0 + wall, iz1 = z1 - wall;
  const std::string inside = kBrick;
  // Inside faces look inwards: the left wall towards +x, the right towards -x, and so on.
  k.Quad(inside, {ix0, 0, iz0}, {ix0, eave, iz0}, {ix0, eave, iz1}, {ix0, 0, iz1}, brick);
  k.Quad(inside, {ix1, 0, iz1}, {ix1, eave, iz1}, {ix1, eave, iz0}, {ix1, 0, iz0}, brick);
  k.Quad(inside, {ix0, 0, iz1}, {ix0, eave, iz1}, {ix1, eave, iz1}, {ix1, 0, iz1}, brick);
  k.Quad(inside, {-gateHalf, 0, iz0}, {-gateHalf, eave, iz0}, {ix0, eave, iz0}, {ix0, 0, iz0}, brick);
  k.Quad(inside, {ix1, 0, iz0}, {ix1, eave, iz0}, {gateHalf, eave, iz0}, {gateHalf, 0, iz0}, brick);
  k.Quad(inside, {gateHalf, gateHeight, iz0}, {gateHalf, eave, iz0}, {-gateHalf, eave, iz0},
         {-gateHalf, gateHeight, iz0}, brick);
  k.Quad(kTimber, {ix0, eave, iz0}, {ix1, eave, iz0}, {ix1, eave, iz1}, {ix0, eave, iz1}, TileOf(kTimber));
  k.Quad(kPaving, {ix0, 0.02f, iz0}, {ix0, 0.02f, iz1}, {ix1, 0.02f, iz1}, {ix1, 0.02f, iz0},
         TileOf(kPaving));
  k.GableRoof(Roof(x0, z0, x1, z1, eave, ridge, kTarPaper, kBrick, false, 0.5f));
  // Smoke vents on the ridge.
  for (float z : {-8.0f, 0.0f, 8.0f}) {
    k.Box(kTimber, {-0.6f, ridge - 0.3f, z - 1.2f}, {0.6f, ridge + 0.8f, z + 1.2f}, TileOf(kTimber),
          K::kSides);
    k.GableRoof(
        Roof(-0.6f, z - 1.2f, 0.6f, z + 1.2f, ridge + 0.8f, ridge + 1.4f, kTarPaper, kTimber, false, 0.25f));
  }
  // The gate leaves: each a boarded leaf in front of the opening, hinged at its outer edge.
  auto leaf = [&](const char* name, float hinge, float dir) {
    k.Part(name, -1, {hinge, 0, z0 - 0.02f});
    const TGXVector3 corner{dir > 0 ? 0.0f : -gateHalf, 0.05f, -0.16f};
    k.OrientedBox(kGate, corner, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {gateHalf, gateHeight - 0.05f, 0.16f}, kFit,
                  K::kFront | K::kBack);
    k.OrientedBox(kTimber, corner, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {gateHalf, gateHeight - 0.05f, 0.16f},
                  TileOf(kTimber), K::kLeft | K::kRight | K::kTop | K::kBottom);
  };
  leaf("TorLinks", -gateHalf, 1);
  leaf("TorRechts", gateHalf, -1);
  return k;
}

// Detached house: one and a half storeys of white plaster, a steep tiled roof, a chimney, a porch
// roof over the door.
TModelKit Einfamilienhaus() {
  K k;
  k.Part("Einfamilienhaus");
  Plinth(k, -4.5f, -3.8f, 4.5f, 3.8f, 0.5f);
  Walls(k, kPlaster, -4.5f, -3.8f, 4.5f, 3.8f, 0.5f, 5.0f);
  const std::vector<TWall> w = BoxWalls(-4.5f, -3.8f, 4.5f, 3.8f);
  Door(k, w[0], 2.3f, 0.5f, 1.2f, 2.4f);
  Window(k, w[0], 5.1f, 1.5f, 1.2f, 1.4f);
  Window(k, w[0], 7.4f, 1.5f, 1.2f, 1.4f);
  WindowRow(k, w[2], 3, 1.5f, 1.2f, 1.4f);
  for (int side : {1, 3}) {
    WindowRow(k, w[size_t(side)], 2, 1.5f, 1.1f, 1.4f);
    WindowRow(k, w[size_t(side)], 2, 5.3f, 1.0f, 1.1f);
  }
  k.GableRoof(Roof(-4.5f, -3.8f, 4.5f, 3.8f, 5.0f, 9.4f, kTiles, kPlaster, true, 0.55f));
  Chimney(k, 1.6f, 1.0f, 6.5f, 10.2f, 0.8f);
  TModelKit::TRoof porch = Roof(-3.3f, -4.9f, -1.3f, -3.8f, 3.2f, 3.6f, kTiles, {}, true, 0.1f);
  porch.Thickness = 0.12f;
  k.ShedRoof(porch);
  return k;
}

// Town house: a shop on the ground floor, two storeys of yellow brick with stone bands, a slate
// hipped roof, two chimneys and an awning over the shop window.
TModelKit Stadthaus() {
  K k;
  k.Part("Stadthaus");
  Plinth(k, -5, -4.5f, 5, 4.5f, 0.4f);
  Walls(k, kPlaster, -5, -4.5f, 5, 4.5f, 0.4f, 3.8f);
  Walls(k, kYellowBrick, -5, -4.5f, 5, 4.5f, 3.8f, 10.6f);
  Band(k, -5, -4.5f, 5, 4.5f, 3.7f, 0.25f, 0.1f);
  Band(k, -5, -4.5f, 5, 4.5f, 7.1f, 0.2f, 0.08f);
  Band(k, -5, -4.5f, 5, 4.5f, 10.5f, 0.4f, 0.25f);
  const std::vector<TWall> w = BoxWalls(-5, -4.5f, 5, 4.5f);
  // Shop front: two large windows and the door, the house door at the side.
  Window(k, w[0], 2.2f, 0.9f, 2.6f, 2.2f, kWindow, {});
  Window(k, w[0], 7.8f, 0.9f, 2.6f, 2.2f, kWindow, {});
  Door(k, w[0], 5.0f, 0.4f, 1.4f, 2.6f);
  Door(k, w[3], 4.5f, 0.4f, 1.2f, 2.5f);
  WindowRow(k, w[2], 3, 1.4f, 1.1f, 1.6f);
  for (float y : {4.6f, 8.0f}) {
    WindowRow(k, w[0], 4, y, 1.0f, 1.7f);
    WindowRow(k, w[2], 4, y, 1.0f, 1.7f);
    WindowRow(k, w[1], 3, y, 1.0f, 1.7f);
    WindowRow(k, w[3], 3, y, 1.0f, 1.7f);
    // Lintels over the front windows.
    for (int i = 0; i < 4; ++i)
      WallBox(k, kStone, w[0], (float(i) + 0.5f) * 2.5f - 0.65f, y + 1.7f, 1.3f, 0.22f, 0.08f);
  }
  k.HipRoof(Roof(-5, -4.5f, 5, 4.5f, 10.9f, 13.8f, kSlate, {}, true, 0.35f));
  Chimney(k, -2.6f, 0.6f, 12.0f, 14.8f);
  Chimney(k, 2.6f, 0.6f, 12.0f, 14.8f);
  TModelKit::TRoof awning = Roof(-4.6f, -5.7f, 4.6f, -4.5f, 3.15f, 3.65f, kTarPaper, {}, true, 0.05f);
  awning.Thickness = 0.1f;
  k.ShedRoof(awning);
  return k;
}

// Farmhouse: a long house with the barn under the same roof, white plaster below, half-timbering
// above, boarded gables, a big barn gate and a steep tiled roof.
TModelKit Bauernhaus() {
  K k;
  k.Part("Bauernhaus");
  Plinth(k, -8, -5, 8, 5, 0.5f);
  Walls(k, kPlaster, -8, -5, 8, 5, 0.5f, 3.8f);
  // The half-timbered storey starts its texture at the storey's foot.
  TTile timber = TileOf(kHalfTimber);
  timber.V0 = 3.8f / timber.V;
  k.Box(kHalfTimber, {-8, 3.8f, -5}, {8, 6.8f, 5}, timber, K::kSides);
  Band(k, -8, -5, 8, 5, 3.7f, 0.15f, 0.06f, kTimber);
  const std::vector<TWall> w = BoxWalls(-8, -5, 8, 5);
  // Ground floor: house door and windows on the left, the barn gate on the right.
  Door(k, w[0], 4.0f, 0.5f, 1.2f, 2.4f);
  for (float x : {1.5f, 6.0f, 8.5f}) Window(k, w[0], x, 1.5f, 1.1f, 1.3f);
  k.Opening(kRedGate, w[0], 10.5f, 0, 3.2f, 3.4f);
  WindowRow(k, w[2], 5, 1.5f, 1.1f, 1.3f);
  for (int side : {1, 3}) WindowRow(k, w[size_t(side)], 3, 1.5f, 1.1f, 1.3f);
  // Upper windows in the fields of the timber frame (posts every two units).
  for (float x : {1.0f, 3.0f, 7.0f, 9.0f, 13.0f, 15.0f}) {
    Window(k, w[0], x, 5.25f, 1.1f, 1.2f, kWindow, kTimber);
    Window(k, w[2], x, 5.25f, 1.1f, 1.2f, kWindow, kTimber);
  }
  for (int side : {1, 3})
    for (float z : {2.0f, 8.0f}) Window(k, w[size_t(side)], z, 5.25f, 1.1f, 1.2f, kWindow, kTimber);
  TModelKit::TRoof roof = Roof(-8, -5, 8, 5, 6.8f, 12.6f, kTiles, kTimber, true, 0.5f);
  k.GableRoof(roof);
  for (int side : {1, 3}) Window(k, w[size_t(side)], 5.0f, 8.0f, 1.0f, 1.1f, kWindow, {});
  Chimney(k, -4.0f, 1.2f, 9.0f, 13.6f);
  return k;
}

// Village church in colours only: white nave with tall windows, a choir at the back, a tower with
// clock faces, louvres and a pointed spire with its ball and cross.
TModelKit Dorfkirche() {
  K k;
  k.Part("Dorfkirche");
  const std::string wall = ColourMaterial(0.93f, 0.91f, 0.86f), roof = ColourMaterial(0.47f, 0.22f, 0.16f),
                    spire = ColourMaterial(0.24f, 0.3f, 0.3f), glass = ColourMaterial(0.22f, 0.27f, 0.38f),
                    door = ColourMaterial(0.38f, 0.22f, 0.12f), stone = ColourMaterial(0.62f, 0.6f, 0.56f),
                    dark = ColourMaterial(0.12f, 0.12f, 0.12f), gold = ColourMaterial(0.85f, 0.7f, 0.3f);
  // Nave 8 x 14.
  Plinth(k, -4, -6, 4, 8, 0.6f, stone);
  Walls(k, wall, -4, -6, 4, 8, 0.6f, 7.0f);
  const std::vector<TWall> nave = BoxWalls(-4, -6, 4, 8);
  for (int side : {1, 3}) WindowRow(k, nave[size_t(side)], 4, 2.4f, 1.1f, 3.2f, glass, stone);
  k.GableRoof(Roof(-4, -6, 4, 8, 7.0f, 12.5f, roof, wall, false, 0.4f, wall));
  // Choir 5 x 3.5 at the back.
  Plinth(k, -2.5f, 8, 2.5f, 11.5f, 0.6f, stone);
  Walls(k, wall, -2.5f, 8, 2.5f, 11.5f, 0.6f, 5.6f);
  const std::vector<TWall> choir = BoxWalls(-2.5f, 8, 2.5f, 11.5f);
  Window(k, choir[2], 2.5f, 2.2f, 1.0f, 2.6f, glass, stone);
  for (int side : {1, 3}) Window(k, choir[size_t(side)], 1.75f, 2.2f, 0.9f, 2.4f, glass, stone);
  TModelKit::TRoof choirRoof = Roof(-2.5f, 8, 2.5f, 11.5f, 5.6f, 9.2f, roof, {}, false, 0.35f, wall);
  k.HipRoof(choirRoof);
  // Tower 4 x 4 in front of the nave.
  Plinth(k, -2, -10, 2, -6, 0.6f, stone);
  Walls(k, wall, -2, -10, 2, -6, 0.6f, 14.5f);
  Band(k, -2, -10, 2, -6, 14.3f, 0.35f, 0.15f, stone);
  const std::vector<TWall> tower = BoxWalls(-2, -10, 2, -6);
  Door(k, tower[0], 2.0f, 0.6f, 1.6f, 3.0f, door, stone);
  Window(k, tower[0], 2.0f, 5.0f, 0.8f, 2.0f, glass, stone);
  for (const TWall& t : tower) {
    k.Opening(dark, t, 1.3f, 11.0f, 0.5f, 1.8f);  // louvres
    k.Opening(dark, t, 2.2f, 11.0f, 0.5f, 1.8f);
    // Clock face: a white dial with a dark ring, the hands at three o'clock.
    k.Opening(dark, t, 1.25f, 8.25f, 1.5f, 1.5f, 0.03f);
    k.Opening(wall, t, 1.35f, 8.35f, 1.3f, 1.3f, 0.05f);
    WallBox(k, dark, t, 1.95f, 9.0f, 0.1f, 0.55f, 0.08f);
    WallBox(k, dark, t, 2.0f, 8.95f, 0.45f, 0.1f, 0.08f);
  }
  k.Cone(spire, {0, 0, -8}, 2.6f, 14.65f, 23.5f, 8, kFit, kPi / 8);
  k.Frustum(stone, {0, 0, -8}, 2.75f, 2.75f, 14.5f, 14.65f, 8, kFit, K::kTop | K::kBottom, kPi / 8);
  k.Frustum(gold, {0, 0, -8}, 0.25f, 0.25f, 23.3f, 23.8f, 8, kFit, K::kTop);
  k.Box(gold, {-0.05f, 23.8f, -8.05f}, {0.05f, 25.0f, -7.95f}, kFit, K::kAll);
  k.Box(gold, {-0.35f, 24.4f, -8.05f}, {0.35f, 24.5f, -7.95f}, kFit, K::kAll);
  return k;
}

// Windmill: a tapering octagonal tower of white plaster on a stone base, a gallery, a boarded cap
// and four lattice sails on the node "Fluegel" that turn about the shaft (along -z).
TModelKit Windmuehle() {
  K k;
  k.Part("Windmuehle");
  const float phase = kPi / 8;
  k.Frustum(kStone, {0, 0, 0}, 4.3f, 4.2f, 0, 0.8f, 8, TileOf(kStone), K::kTop, phase);
  k.Frustum(kPlaster, {0, 0, 0}, 4.0f, 2.7f, 0.8f, 11.5f, 8, TileOf(kPlaster), K::kTop, phase);
  // Gallery round the tower at 4.5, with a railing on posts; the sails turn in front of it.
  k.Frustum(kTimber, {0, 0, 0}, 5.0f, 5.0f, 4.4f, 4.6f, 8, TileOf(kTimber), K::kTop | K::kBottom, phase);
  std::vector<TGXVector3> posts;
  for (int i = 0; i < 8; ++i) {
    const float a = phase + 2 * kPi * float(i) / 8;
    posts.push_back({std::sin(a) * 4.9f, 5.5f, std::cos(a) * 4.9f});
    k.Box(kTimber, {posts.back().x - 0.06f, 4.6f, posts.back().z - 0.06f},
          {posts.back().x + 0.06f, 5.55f, posts.back().z + 0.06f}, TileOf(kTimber), K::kSides);
  }
  for (int i = 0; i < 8; ++i)
    k.Beam(kTimber, posts[size_t(i)], posts[size_t((i + 1) % 8)], 0.1f, TileOf(kTimber));
  // Door and windows on the faces towards -z (3), +x (1) and -x (5), in the tapering walls.
  FrustumOpening(k, kDoor, 4.0f, 2.7f, 0.8f, 11.5f, 8, phase, 3, 0.8f, 1.2f, 2.3f);
  for (int face : {1, 3, 5})
    FrustumOpening(k, kWindow, 4.0f, 2.7f, 0.8f, 11.5f, 8, phase, face, 6.4f, 0.9f, 1.2f);
  // The cap, with the shaft sticking out towards -z.
  k.Frustum(kTimber, {0, 0, 0}, 3.0f, 3.0f, 11.5f, 12.0f, 8, TileOf(kTimber), K::kBottom, phase);
  k.Cone(kTarPaper, {0, 0, 0}, 3.0f, 12.0f, 15.0f, 8, TileOf(kTarPaper), phase);
  k.Box(kTimber, {-0.3f, 12.0f, -5.2f}, {0.3f, 12.6f, 0}, TileOf(kTimber), K::kAll);
  // The sails turn about the shaft's end, clear of the gallery.
  const TGXVector3 hub{0, 12.3f, -5.3f};
  k.Part("Fluegel", -1, hub);
  k.Box(kTimber, {-0.45f, -0.45f, -0.4f}, {0.45f, 0.45f, 0.1f}, TileOf(kTimber), K::kAll);
  for (int arm = 0; arm < 4; ++arm) {
    const float a = kPi / 4 + float(arm) * kPi / 2;
    const TGXVector3 out{std::cos(a), std::sin(a), 0}, side{-std::sin(a), std::cos(a), 0};
    // The stock from the hub to the tip.
    k.OrientedBox(kTimber, out * 0.2f - side * 0.1f + TGXVector3{0, 0, -0.3f}, out, side, {0, 0, 1},
                  {9.0f, 0.2f, 0.16f}, TileOf(kTimber), K::kAll);
    // The lattice on one side of it, seen from the front and from behind.
    const TGXVector3 a0 = out * 1.4f + side * 0.1f + TGXVector3{0, 0, -0.32f};
    const TGXVector3 a1 = out * 9.0f + side * 0.1f + TGXVector3{0, 0, -0.32f};
    const TGXVector3 b0 = a0 + side * 1.9f, b1 = a1 + side * 1.9f;
    k.QuadUV(kSail, a0, a1, b1, b0, {0, 1}, {0, 0}, {1, 0}, {1, 1});
    k.QuadUV(kSail, b0, b1, a1, a0, {1, 1}, {1, 0}, {0, 0}, {0, 1});
  }
  return k;
}

}  // namespace

std::vector<uint8_t> ModelFileBytes(const gx::TGXModelData& model, TModelFileForm form) {
  switch (form) {
    case TModelFileForm::Studio3DS:
      return gx::GXWrite3DS(model);
    case TModelFileForm::XText:
      return gx::GXWriteXFile(model, {gx::EGXXFileForm::Text, false});
    case TModelFileForm::XBinary:
      return gx::GXWriteXFile(model, {gx::EGXXFileForm::Binary, false});
    case TModelFileForm::XCompressedText:
      return gx::GXWriteXFile(model, {gx::EGXXFileForm::CompressedText, false});
    case TModelFileForm::XCompressedBinary:
      return gx::GXWriteXFile(model, {gx::EGXXFileForm::CompressedBinary, false});
  }
  return {};
}

std::vector<std::string> ModelTextures(const gx::TGXModelData& model) {
  std::vector<std::string> names;
  for (const gx::TGXModelMesh& mesh : model.Meshes)
    for (const gx::TGXModelSubMesh& sub : mesh.SubMeshes)
      if (!sub.TextureName.empty() && !gx::GXModelIsColorName(sub.TextureName))
        names.push_back(sub.TextureName);
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

std::vector<TBuildingModel> BuildingModels() {
  using F = TModelFileForm;
  std::vector<TBuildingModel> list;
  auto add = [&](const char* name, const char* folder, const char* file, F form, const TModelKit& kit) {
    TBuildingModel b;
    b.Name = name;
    b.Folder = folder;
    b.FileName = file;
    b.Form = form;
    b.Model = kit.Build(form == F::Studio3DS ? gx::EGXModelFormat::Format3DS : gx::EGXModelFormat::XFile);
    list.push_back(std::move(b));
    return &list.back();
  };
  add("Landbahnhof", "Bahnhöfe", "Landbahnhof.3ds", F::Studio3DS, Landbahnhof());
  add("Güterschuppen", "Bahnhöfe", "Gueterschuppen.x", F::XText, Gueterschuppen());
  add("Stellwerk", "Bahnbetrieb", "Stellwerk.x", F::XBinary, Stellwerk());
  add("Wasserturm", "Bahnbetrieb", "Wasserturm.3ds", F::Studio3DS, Wasserturm());
  TBuildingModel* shed =
      add("Lokschuppen", "Bahnbetrieb", "Lokschuppen.x", F::XCompressedBinary, Lokschuppen());
  // The gate opens outwards in three seconds and stays open.
  shed->Model.Animation.SecondsPerFrame = 0.04f;
  shed->Model.Animation.Tracks = {RotationTrack("TorLinks", {0, 1, 0}, kPi / 2, 75, 15, true),
                                  RotationTrack("TorRechts", {0, 1, 0}, -kPi / 2, 75, 15, true)};
  shed->Model.HasAnimation = true;
  shed->Loop = false;
  add("Einfamilienhaus", "Wohnhäuser", "Einfamilienhaus.3ds", F::Studio3DS, Einfamilienhaus());
  add("Stadthaus", "Wohnhäuser", "Stadthaus.3ds", F::Studio3DS, Stadthaus());
  add("Dorfkirche", "Öffentliche Gebäude", "Dorfkirche.3ds", F::Studio3DS, Dorfkirche());
  add("Bauernhaus", "Landwirtschaft", "Bauernhaus.x", F::XCompressedText, Bauernhaus());
  TBuildingModel* mill = add("Windmühle", "Landwirtschaft", "Windmuehle.x", F::XText, Windmuehle());
  // One turn of the sails in 6.4 seconds, a key every eighth of a turn, again and again.
  mill->Model.Animation.SecondsPerFrame = 0.04f;
  mill->Model.Animation.Tracks = {RotationTrack("Fluegel", {0, 0, 1}, 2 * kPi, 160, 20, false)};
  mill->Model.HasAnimation = true;
  mill->Loop = true;
  return list;
}

}  // namespace assetgen
