#include "tools/assetgen/Accessories.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "tools/assetgen/ModelKit.h"

namespace assetgen {

namespace {

using K = TModelKit;
constexpr float kPi = gx::GX_PI;

// Every accessory moves through 20 frames of 0.02 s.
constexpr uint32_t kFrames = 20;
constexpr float kSecondsPerFrame = 0.02f;
// Signals ease into their end poses (a key every other frame); controllers turn evenly, so that
// the pose follows the value.
constexpr uint32_t kSignalStep = 2;
constexpr uint32_t kControllerStep = 5;

const std::string kPlate = ColourMaterial(0.33f, 0.32f, 0.29f);
const std::string kConcrete = ColourMaterial(0.63f, 0.62f, 0.58f);
const std::string kMastGrey = ColourMaterial(0.45f, 0.47f, 0.46f);
const std::string kGrating = ColourMaterial(0.3f, 0.3f, 0.3f);
const std::string kHousing = ColourMaterial(0.2f, 0.21f, 0.2f);
const std::string kBlack = ColourMaterial(0.08f, 0.08f, 0.08f);
const std::string kWhite = ColourMaterial(0.94f, 0.94f, 0.91f);
const std::string kRed = ColourMaterial(0.78f, 0.1f, 0.08f);
const std::string kYellow = ColourMaterial(0.96f, 0.76f, 0.08f);
const std::string kRedGlass = ColourMaterial(0.9f, 0.16f, 0.12f);
const std::string kGreenGlass = ColourMaterial(0.12f, 0.68f, 0.38f);
const std::string kLampGlass = ColourMaterial(1.0f, 0.94f, 0.72f);
const std::string kDesk = ColourMaterial(0.2f, 0.21f, 0.22f);
const std::string kPanel = ColourMaterial(0.3f, 0.31f, 0.32f);
const std::string kKnob = ColourMaterial(0.11f, 0.11f, 0.12f);
const std::string kChrome = ColourMaterial(0.8f, 0.8f, 0.82f);
const std::string kLabel = ColourMaterial(0.9f, 0.88f, 0.8f);

// ---- building blocks ----

// The model with its one animation: track over kFrames frames.
gx::TGXModelData Animated(const K& k, gx::TGXModelTrack track) {
  gx::TGXModelData m = k.Build(gx::EGXModelFormat::XFile);
  m.Animation.SecondsPerFrame = kSecondsPerFrame;
  m.Animation.Tracks = {std::move(track)};
  m.HasAnimation = true;
  return m;
}

// A disc of radius r facing -z (front) or +z (back) with its face at centre, thickness t behind it.
void Disc(K& k, const std::string& tex, const TGXVector3& centre, float r, float t, bool front = true,
          int sides = 24) {
  const TGXVector3 behind = centre + TGXVector3{0, 0, front ? t : -t};
  k.Tube(tex, centre, behind, r, r, sides, K::kBottom);
}

// A thin plate the accessory stands on, as model accessories come.
constexpr float kPlateTop = 0.06f;
void BasePlate(K& k, float x0, float z0, float x1, float z1) {
  k.Box(kPlate, {x0, 0, z0}, {x1, kPlateTop, z1}, kFit);
}

// A square concrete foundation on the plate, centred on (x, z).
void Foundation(K& k, float x, float z, float half, float top) {
  k.Box(kConcrete, {x - half, kPlateTop, z - half}, {x + half, top, z + half}, kFit);
}

// A square lattice mast round the vertical through (x, z) from y0 to y1, half its width w0 at the
// foot and w1 at the head: four corner posts, a zigzag of braces on every face and struts at both
// ends.
void LatticeMast(K& k, const std::string& tex, float x, float z, float y0, float y1, float w0, float w1,
                 int panels) {
  // Corners 0 … 3 anticlockwise seen from above, starting front left.
  auto corner = [&](int i, float y) {
    const float w = w0 + (w1 - w0) * (y - y0) / (y1 - y0);
    const float sx = (i == 1 || i == 2) ? 1.0f : -1.0f, sz = i >= 2 ? 1.0f : -1.0f;
    return TGXVector3{x + sx * w, y, z + sz * w};
  };
  for (int i = 0; i < 4; ++i) {
    k.Beam(tex, corner(i, y0), corner(i, y1), 0.06f, kFit);
    const int j = (i + 1) % 4;
    k.Beam(tex, corner(i, y0 + 0.03f), corner(j, y0 + 0.03f), 0.04f, kFit);
    k.Beam(tex, corner(i, y1 - 0.03f), corner(j, y1 - 0.03f), 0.04f, kFit);
    for (int p = 0; p < panels; ++p) {
      const float ya = y0 + (y1 - y0) * float(p) / float(panels);
      const float yb = y0 + (y1 - y0) * float(p + 1) / float(panels);
      const bool rising = p % 2 == 0;
      k.Beam(tex, corner(rising ? i : j, ya), corner(rising ? j : i, yb), 0.03f, kFit);
    }
  }
}

// A ladder in the plane z = const, centred on x, from y0 to y1: two stiles and a rung every
// spacing up to top (the stiles go on as handholds).
void Ladder(K& k, const std::string& tex, float x, float z, float y0, float top, float y1, float width,
            float spacing) {
  for (float s : {-width / 2, width / 2}) k.Beam(tex, {x + s, y0, z}, {x + s, y1, z}, 0.035f, kFit);
  const int rungs = int((top - y0) / spacing);
  for (int i = 1; i <= rungs; ++i) {
    const float y = y0 + spacing * float(i);
    k.Beam(tex, {x - width / 2, y, z}, {x + width / 2, y, z}, 0.02f, kFit);
  }
}

// A flat band facing up (+y of the part) between radii rIn and rOut at height y round centre,
// from angle a0 to a1 > a0 (radians from +z towards +x, clockwise seen from above).
void Arc(K& k, const std::string& tex, const TGXVector3& centre, float rIn, float rOut, float y, float a0,
         float a1, int segments) {
  auto at = [&](int i, float r) {
    const float a = a0 + (a1 - a0) * float(i) / float(segments);
    return TGXVector3{centre.x + std::sin(a) * r, y, centre.z + std::cos(a) * r};
  };
  for (int i = 0; i < segments; ++i)
    k.Quad(tex, at(i, rIn), at(i, rOut), at(i + 1, rOut), at(i + 1, rIn), kFit);
}

// The direction at angle a (radians from +z towards +x) in the part's horizontal plane.
TGXVector3 Heading(float a) { return {std::sin(a), 0, std::cos(a)}; }

// ---- signals ----

// Main signal: a tapering lattice mast on its foundation with a ladder up to a platform; at its
// head the red and white arm pivots in front of the mast, pointing right (+x). The spectacle on
// the arm's other end holds the red glass before the lamp while the arm is level and the green one
// when it is raised by 45°.
gx::TGXModelData Hauptsignal() {
  K k;
  const float mx = -1.3f, mz = 0.2f;     // the mast's axis
  const float foot = 0.4f, head = 6.9f;  // the lattice between the foundation and the head
  const float w0 = 0.2f, w1 = 0.12f;     // the mast's half widths there
  auto halfWidth = [&](float y) { return w0 + (w1 - w0) * (y - foot) / (head - foot); };
  const float pivotY = 6.5f, pivotZ = mz - halfWidth(pivotY) - 0.12f;
  const float raise = kPi / 4;
  const float spectacle = 0.5f;    // the glasses' distance from the pivot
  const float reach = 1.95f - mx;  // from the pivot to the end of the arm

  k.Part("Mast");
  BasePlate(k, mx - 0.65f, mz - 0.8f, mx + 0.65f, mz + 0.75f);
  Foundation(k, mx, mz, 0.36f, foot);
  LatticeMast(k, kMastGrey, mx, mz, foot, head, w0, w1, 14);
  k.Box(kMastGrey, {mx - 0.17f, head, mz - 0.17f}, {mx + 0.17f, head + 0.06f, mz + 0.17f}, kFit, K::kAll);
  k.Cone(kMastGrey, {mx, 0, mz}, 0.16f, head + 0.06f, head + 0.36f, 4, kFit, kPi / 4);
  // The arm's bearing: an axle from the mast's face to the pivot.
  k.Tube(kBlack, {mx, pivotY, mz - halfWidth(pivotY) + 0.02f}, {mx, pivotY, pivotZ + 0.04f}, 0.05f, 0.05f, 8);
  // Mast sign: a white plate with a red band.
  const float signY = 2.9f, signZ = mz - halfWidth(signY);
  k.Box(kWhite, {mx - 0.13f, signY - 0.3f, signZ - 0.03f}, {mx + 0.13f, signY + 0.3f, signZ}, kFit, K::kAll);
  k.Box(kRed, {mx - 0.13f, signY - 0.08f, signZ - 0.04f}, {mx + 0.13f, signY + 0.08f, signZ - 0.03f}, kFit,
        K::kAll & ~K::kBack);

  // The lamp hangs at the glasses' place while the arm is level (down and left of the pivot),
  // behind the spectacle, its lens forward.
  const float d = spectacle * std::cos(kPi / 4);
  const TGXVector3 lamp{mx - d, pivotY - d, pivotZ + 0.22f};
  k.Box(kBlack, {lamp.x - 0.15f, lamp.y - 0.2f, lamp.z - 0.15f},
        {lamp.x + 0.15f, lamp.y + 0.18f, lamp.z + 0.15f}, kFit, K::kAll);
  k.Cone(kBlack, {lamp.x, 0, lamp.z}, 0.24f, lamp.y + 0.18f, lamp.y + 0.3f, 4, kFit, kPi / 4);
  k.Tube(kBlack, {lamp.x, lamp.y + 0.24f, lamp.z}, {lamp.x, lamp.y + 0.38f, lamp.z}, 0.04f, 0.04f, 8,
         K::kTop);
  Disc(k, kLampGlass, {lamp.x, lamp.y, lamp.z - 0.16f}, 0.09f, 0.01f);
  k.Beam(kBlack, {lamp.x + 0.15f, lamp.y + 0.1f, lamp.z},
         {mx - halfWidth(lamp.y) + 0.02f, lamp.y + 0.1f, lamp.z}, 0.05f, kFit);

  // The platform under the lamp with a railing on its left and back, and the ladder up to its
  // back edge behind the mast, held off the mast by three stays.
  const float deck = lamp.y - 0.45f, rail = deck + 0.45f, edge = mz + 0.42f;
  k.Box(kGrating, {mx - 0.62f, deck - 0.04f, mz - 0.3f}, {mx + 0.3f, deck, edge}, kFit, K::kAll);
  for (float z : {mz - 0.28f, mz + 0.07f, edge - 0.02f})
    k.Beam(kMastGrey, {mx - 0.6f, deck, z}, {mx - 0.6f, rail, z}, 0.03f, kFit);
  k.Beam(kMastGrey, {mx - 0.6f, rail, mz - 0.3f}, {mx - 0.6f, rail, edge - 0.02f}, 0.03f, kFit);
  k.Beam(kMastGrey, {mx - 0.6f, rail, edge - 0.02f}, {mx - 0.22f, rail, edge - 0.02f}, 0.03f, kFit);
  k.Beam(kMastGrey, {mx - 0.22f, deck, edge - 0.02f}, {mx - 0.22f, rail, edge - 0.02f}, 0.03f, kFit);
  const float ladderZ = edge + 0.04f, ladderWidth = 0.32f;
  Ladder(k, kMastGrey, mx, ladderZ, kPlateTop, deck, deck + 0.5f, ladderWidth, 0.26f);
  for (float y : {1.2f, 3.2f, 5.2f})
    for (float s : {-ladderWidth / 2, ladderWidth / 2})
      k.Beam(kMastGrey, {mx + s, y, ladderZ}, {mx + s * 0.6f, y, mz + halfWidth(y) - 0.02f}, 0.03f, kFit);

  // The arm, level at rest: hub, strap, the red blade with its white field and the round end,
  // both faces alike; the spectacle with the red and the green glass on the other side.
  k.Part("Fluegel", -1, {mx, pivotY, pivotZ});
  k.Tube(kBlack, {0, 0, -0.05f}, {0, 0, 0.05f}, 0.1f, 0.1f, 12, K::kTop | K::kBottom);
  k.Box(kBlack, {0.05f, -0.05f, -0.025f}, {0.42f, 0.05f, 0.025f}, kFit, K::kAll);
  const float discR = 0.3f, discX = reach - discR;
  k.Box(kRed, {0.35f, -0.14f, -0.02f}, {discX, 0.14f, 0.02f}, kFit, K::kAll);
  k.Tube(kRed, {discX, 0, -0.02f}, {discX, 0, 0.02f}, discR, discR, 24, K::kTop | K::kBottom);
  for (bool front : {true, false}) {
    const float face = front ? -0.03f : 0.03f, back = front ? -0.02f : 0.02f;
    k.Box(kWhite, {0.45f, -0.08f, std::min(face, back)}, {discX - 0.15f, 0.08f, std::max(face, back)}, kFit,
          front ? K::kFront : K::kBack);
    Disc(k, kWhite, {discX, 0, face}, discR - 0.07f, 0.01f, front);
  }
  const std::pair<float, const std::string*> glasses[] = {{kPi + raise, &kRedGlass}, {kPi, &kGreenGlass}};
  for (const auto& [angle, glass] : glasses) {
    const TGXVector3 dir{std::cos(angle), std::sin(angle), 0};
    const TGXVector3 centre = dir * spectacle;
    k.Beam(kBlack, dir * 0.08f, dir * (spectacle - 0.15f), 0.05f, kFit);
    k.Tube(kBlack, centre + TGXVector3{0, 0, -0.015f}, centre + TGXVector3{0, 0, 0.015f}, 0.17f, 0.17f, 16,
           K::kTop | K::kBottom);
    Disc(k, *glass, centre + TGXVector3{0, 0, -0.025f}, 0.12f, 0.01f);
  }
  return Animated(k, RotationTrack("Fluegel", {0, 0, 1}, raise, kFrames, kSignalStep, true));
}

// Distant signal: a round mast with a ladder behind it and a lamp case; from a bracket at its
// head the yellow disc with its black ring and white rim hangs towards the driver and folds
// forward until it lies flat, face up.
gx::TGXModelData Vorsignal() {
  K k;
  const float mz = 0.45f, foot = 0.35f, head = 6.0f;
  const float r0 = 0.11f, r1 = 0.08f;
  auto radius = [&](float y) { return r0 + (r1 - r0) * (y - foot) / (head - foot); };
  const float hingeY = 5.6f, pivotZ = mz - radius(hingeY) - 0.14f;
  const float discR = 0.7f, discY = -0.05f - discR;  // the disc's centre below the axle

  k.Part("Mast");
  BasePlate(k, -0.55f, mz - 0.55f, 0.55f, mz + 0.6f);
  Foundation(k, 0, mz, 0.3f, foot);
  k.Tube(kMastGrey, {0, foot, mz}, {0, foot + 0.1f, mz}, 0.2f, 0.2f, 12, K::kTop);
  k.Tube(kMastGrey, {0, foot, mz}, {0, head, mz}, r0, r1, 12, 0, {}, 0, true);
  k.Tube(kMastGrey, {0, head, mz}, {0, head + 0.12f, mz}, 0.1f, 0.04f, 12, K::kTop, {}, 0, true);
  // The bracket carrying the disc's axle.
  k.Box(kBlack, {-0.04f, hingeY - 0.05f, pivotZ + 0.03f},
        {0.04f, hingeY + 0.05f, mz - radius(hingeY) + 0.02f}, kFit, K::kAll);
  k.Box(kBlack, {-0.26f, hingeY + 0.05f, pivotZ - 0.04f}, {0.26f, hingeY + 0.1f, pivotZ + 0.06f}, kFit,
        K::kAll);
  // The lamp case below the disc: two lamps rising to the right.
  const float caseZ = mz - radius(3.3f);
  k.Box(kBlack, {-0.26f, 3.0f, caseZ - 0.22f}, {0.26f, 3.6f, caseZ + 0.02f}, kFit, K::kAll);
  for (float s : {-1.0f, 1.0f}) {
    const TGXVector3 lens{s * 0.11f, 3.3f + s * 0.13f, caseZ - 0.22f};
    Disc(k, kBlack, lens + TGXVector3{0, 0, -0.01f}, 0.09f, 0.01f, true, 12);
    Disc(k, kLampGlass, lens + TGXVector3{0, 0, -0.02f}, 0.065f, 0.01f, true, 12);
  }
  Ladder(k, kMastGrey, 0, mz + 0.3f, kPlateTop, 5.0f, 5.3f, 0.26f, 0.26f);
  for (float y : {1.0f, 3.0f, 5.0f})
    for (float s : {-0.13f, 0.13f})
      k.Beam(kMastGrey, {s, y, mz + 0.3f}, {s * 0.5f, y, mz + radius(y) - 0.02f}, 0.03f, kFit);

  // The disc on its axle (along x through the pivot), its layers stacked towards the driver.
  k.Part("Scheibe", -1, {0, hingeY, pivotZ});
  k.Tube(kBlack, {-0.22f, 0, 0}, {0.22f, 0, 0}, 0.04f, 0.04f, 8, K::kTop | K::kBottom);
  for (float x : {-0.15f, 0.15f})
    k.Box(kBlack, {x - 0.03f, discY + 0.3f, 0.0f}, {x + 0.03f, 0.0f, 0.05f}, kFit, K::kAll);
  const TGXVector3 c{0, discY, 0};
  k.Tube(kBlack, c, c + TGXVector3{0, 0, 0.03f}, discR, discR, 32, K::kTop | K::kBottom);
  Disc(k, kWhite, c + TGXVector3{0, 0, -0.01f}, discR, 0.01f, true, 32);
  Disc(k, kYellow, c + TGXVector3{0, 0, -0.02f}, discR - 0.07f, 0.01f, true, 32);
  Disc(k, kBlack, c + TGXVector3{0, 0, -0.03f}, 0.62f * discR, 0.01f, true, 32);
  Disc(k, kYellow, c + TGXVector3{0, 0, -0.04f}, 0.5f * discR, 0.01f, true, 32);
  return Animated(k, RotationTrack("Scheibe", {1, 0, 0}, kPi / 2, kFrames, kSignalStep, true));
}

// Shunting signal: a low lamp housing on a concrete foot with two lenses towards the driver; on a
// spindle above it the plate with its black bar on white, facing the driver at rest and turned
// edge-on (a quarter turn about the spindle) when open.
gx::TGXModelData Rangiersignal() {
  K k;
  const float top = 1.22f, spindle = 1.5f;

  k.Part("Gehaeuse");
  BasePlate(k, -0.8f, -0.7f, 0.8f, 0.7f);
  k.Box(kConcrete, {-0.55f, kPlateTop, -0.45f}, {0.55f, 0.3f, 0.45f}, kFit);
  k.Box(kHousing, {-0.45f, 0.3f, -0.32f}, {0.45f, 1.15f, 0.32f}, kFit);
  k.Box(kHousing, {-0.52f, 1.15f, -0.4f}, {0.52f, top, 0.4f}, kFit, K::kAll);
  for (float x : {-0.2f, 0.2f}) {
    Disc(k, kBlack, {x, 0.72f, -0.34f}, 0.14f, 0.02f, true, 16);
    Disc(k, kLampGlass, {x, 0.72f, -0.35f}, 0.1f, 0.01f, true, 16);
  }
  // A door at the back with its handle.
  k.Box(kGrating, {-0.3f, 0.4f, 0.32f}, {0.3f, 1.05f, 0.34f}, kFit, K::kAll & ~K::kFront);
  k.Box(kChrome, {0.18f, 0.7f, 0.34f}, {0.24f, 0.76f, 0.38f}, kFit, K::kAll & ~K::kFront);
  k.Tube(kMastGrey, {0, top, 0}, {0, spindle, 0}, 0.05f, 0.05f, 10);

  k.Part("Schild", -1, {0, spindle, 0});
  k.Tube(kMastGrey, {0, 0, 0}, {0, 0.1f, 0}, 0.08f, 0.08f, 10, K::kTop);
  k.Box(kBlack, {-0.6f, 0.1f, -0.02f}, {0.6f, 0.85f, 0.02f}, kFit, K::kAll);
  k.Box(kWhite, {-0.54f, 0.16f, -0.03f}, {0.54f, 0.79f, -0.02f}, kFit, K::kAll & ~K::kBack);
  k.Box(kBlack, {-0.46f, 0.41f, -0.04f}, {0.46f, 0.54f, -0.03f}, kFit, K::kAll & ~K::kBack);
  return Animated(k, RotationTrack("Schild", {0, 1, 0}, kPi / 2, kFrames, kSignalStep, true));
}

// ---- control elements ----

// The desk both control elements sit on: a dark grey body on four feet with its top slanting up
// towards the back, and a lighter panel on the top. Returns the panel's part, whose frame lies in
// the top (origin in its middle, y the top's normal, z up the slope); the panel's face is at
// y = kPanelFace.
constexpr float kPanelFace = 0.03f;
int Desk(K& k) {
  const float x0 = -1.7f, x1 = 1.7f, z0 = -1.4f, z1 = 1.4f;
  const float feet = 0.08f, front = 0.75f, back = 1.55f;
  k.Part("Pult");
  for (float x : {x0 + 0.3f, x1 - 0.3f})
    for (float z : {z0 + 0.3f, z1 - 0.3f})
      k.Box(kBlack, {x - 0.15f, 0, z - 0.15f}, {x + 0.15f, feet, z + 0.15f}, kFit);
  // Each face as seen from outside: bottom-left, top-left, top-right, bottom-right.
  k.Quad(kDesk, {x0, feet, z0}, {x0, front, z0}, {x1, front, z0}, {x1, feet, z0}, kFit);
  k.Quad(kDesk, {x1, feet, z1}, {x1, back, z1}, {x0, back, z1}, {x0, feet, z1}, kFit);
  k.Quad(kDesk, {x0, feet, z1}, {x0, back, z1}, {x0, front, z0}, {x0, feet, z0}, kFit);
  k.Quad(kDesk, {x1, feet, z0}, {x1, front, z0}, {x1, back, z1}, {x1, feet, z1}, kFit);
  k.Quad(kDesk, {x0, front, z0}, {x0, back, z1}, {x1, back, z1}, {x1, front, z0}, kFit);
  k.Quad(kDesk, {x0, feet, z1}, {x0, feet, z0}, {x1, feet, z0}, {x1, feet, z1}, kFit);
  k.Beam(kChrome, {x0, front, z0}, {x1, front, z0}, 0.05f, kFit);

  const float slope = std::atan2(back - front, z1 - z0);
  const float half = 0.5f * std::hypot(back - front, z1 - z0);
  const int panel = k.Part("Bedienfeld", -1, {0, (front + back) / 2, 0}, AxisRotation({1, 0, 0}, -slope));
  k.Box(kPanel, {x0 + 0.12f, 0, -half + 0.12f}, {x1 - 0.12f, kPanelFace, half - 0.12f}, kFit);
  return panel;
}

// Toggle switch: a chrome lever with a red tip in its nut, tilting from 30° left (off) to 30°
// right (on) across the panel; a label plate in front of it marks off in red and on in green.
gx::TGXModelData Kippschalter() {
  K k;
  const int panel = Desk(k);
  const TGXVector3 at{0, kPanelFace, 0.3f};
  k.Frustum(kChrome, at, 0.2f, 0.2f, kPanelFace, 0.11f, 6, kFit, K::kTop);
  k.Frustum(kChrome, at, 0.12f, 0.12f, 0.11f, 0.24f, 12, kFit, K::kTop);
  k.Box(kLabel, {-0.75f, kPanelFace, -1.05f}, {0.75f, 0.06f, -0.5f}, kFit);
  k.Box(kRed, {-0.62f, 0.06f, -0.9f}, {-0.36f, 0.075f, -0.65f}, kFit);
  k.Box(kGreenGlass, {0.36f, 0.06f, -0.9f}, {0.62f, 0.075f, -0.65f}, kFit);
  k.Box(kBlack, {-0.22f, 0.06f, -0.8f}, {0.22f, 0.07f, -0.75f}, kFit);

  // The lever is modelled in its off pose, leaning left; its track turns it through 60° to the
  // right about the panel's up-slope axis.
  const float lean = kPi / 6;
  k.Part("Hebel", panel, {0, 0.24f, at.z});
  const TGXVector3 u{-std::sin(lean), std::cos(lean), 0};
  k.Tube(kChrome, u * -0.06f, u * 0.08f, 0.1f, 0.1f, 12, K::kTop | K::kBottom, {}, 0, true);
  k.Tube(kChrome, u * 0.0f, u * 0.8f, 0.05f, 0.035f, 12, 0, {}, 0, true);
  k.Tube(kRed, u * 0.78f, u * 1.0f, 0.075f, 0.075f, 12, K::kTop | K::kBottom, {}, 0, true);
  return Animated(k, RotationTrack("Hebel", {0, 0, -1}, 2 * lean, kFrames, kControllerStep, false));
}

// Rotary regulator: a black knob with a chrome cap and a white pointer on its skirt and cap; a
// white scale round it from 135° left of up (minimum) clockwise to 135° right (maximum, red).
gx::TGXModelData Drehregler() {
  K k;
  const int panel = Desk(k);
  const float sweep = 1.5f * kPi, from = -sweep / 2;
  const TGXVector3 at{0, kPanelFace, 0.15f};
  Arc(k, kWhite, at, 0.66f, 0.7f, kPanelFace + 0.005f, from, from + sweep, 30);
  for (int i = 0; i <= 10; ++i) {
    const TGXVector3 dir = Heading(from + sweep * float(i) / 10);
    const float length = i % 5 == 0 ? 0.2f : 0.12f;
    k.Beam(i == 10 ? kRed : kWhite, at + dir * 0.74f + TGXVector3{0, 0.02f, 0},
           at + dir * (0.74f + length) + TGXVector3{0, 0.02f, 0}, 0.04f, kFit);
  }

  // The knob is modelled at its minimum; its track turns it clockwise through the scale.
  k.Part("Knopf", panel, at);
  const TGXVector3 pointer = Heading(from);
  k.Frustum(kBlack, {0, 0, 0}, 0.5f, 0.5f, 0, 0.08f, 32, kFit, K::kTop);
  k.Frustum(kKnob, {0, 0, 0}, 0.42f, 0.37f, 0.08f, 0.5f, 24, kFit, K::kTop);
  k.Frustum(kChrome, {0, 0, 0}, 0.3f, 0.3f, 0.5f, 0.53f, 24, kFit, K::kTop);
  k.Beam(kWhite, pointer * 0.05f + TGXVector3{0, 0.54f, 0}, pointer * 0.36f + TGXVector3{0, 0.54f, 0}, 0.05f,
         kFit);
  k.Beam(kWhite, pointer * 0.4f + TGXVector3{0, 0.09f, 0}, pointer * 0.52f + TGXVector3{0, 0.09f, 0}, 0.04f,
         kFit);
  return Animated(k, RotationTrack("Knopf", {0, 1, 0}, sweep, kFrames, kControllerStep, false));
}

}  // namespace

std::vector<TAccessoryModel> AccessoryModels() {
  std::vector<TAccessoryModel> list;
  auto add = [&](const char* name, const char* folder, bool signal, uint8_t kind, gx::TGXModelData model) {
    TAccessoryModel a;
    a.Name = name;
    a.Folder = folder;
    a.FileName = std::string(name) + ".x";
    a.Signal = signal;
    a.ControllerKind = kind;
    a.Model = std::move(model);
    list.push_back(std::move(a));
  };
  add("Hauptsignal", "Signale", true, 0, Hauptsignal());
  add("Vorsignal", "Signale", true, 0, Vorsignal());
  add("Rangiersignal", "Signale", true, 0, Rangiersignal());
  add("Kippschalter", "Steuerung", false, 1, Kippschalter());
  add("Drehregler", "Steuerung", false, 0, Drehregler());
  return list;
}

}  // namespace assetgen
