#include "tools/assetgen/EngineShed.h"

#include <string>

#include "tools/assetgen/Streets.h"
#include "tools/assetgen/Textures.h"

namespace assetgen {

namespace {

using K = TModelKit;
constexpr float kPi = gx::GX_PI;

const std::string kBrick = "Klinker.tga";
const std::string kStone = "Sandstein.png";
const std::string kTarPaper = "Dachpappe.png";
const std::string kTimber = "HolzNatur.png";
const std::string kPaving = "Pflaster.png";
const std::string kWindow = "Sprossenfenster.tga";
const std::string kGate = "Tor.tga";

constexpr float kWall = 0.3f;    // wall thickness
constexpr float kPlinth = 0.6f;  // the stone band at the walls' foot
// High and wide enough for a raised pantograph (6.5 above the rails) and the widest stock.
constexpr float kDoorHalf = 2.3f, kDoorTop = 7.4f;
constexpr float kEave = 8.4f, kRoofTop = kEave + 0.25f;
constexpr float kLength = ShedBackX - ShedDoorX;

// A wall face round a, b, c, d (a at the bottom left seen from outside, or any other corner: it is
// wound to face outward), tiled or fitted.
void Wall(K& k, const std::string& tex, const TGXVector3& a, const TGXVector3& b, const TGXVector3& c,
          const TGXVector3& d, const TGXVector3& outward, const TTile& tile) {
  if (gx::GXVec3Dot(gx::GXVec3Cross(b - a, c - a), outward) >= 0)
    k.Quad(tex, a, b, c, d, tile);
  else
    k.Quad(tex, a, d, c, b, tile);
}

// A brick wall face in the plane through p0 and p1 (its ends at the ground) from y0 up to y1, with
// the stone band below kPlinth.
void BrickFace(K& k, const TGXVector3& p0, const TGXVector3& p1, float y0, float y1,
               const TGXVector3& outward) {
  auto at = [](const TGXVector3& p, float y) { return TGXVector3{p.x, y, p.z}; };
  if (y0 < kPlinth) {
    Wall(k, kStone, at(p0, y0), at(p0, kPlinth), at(p1, kPlinth), at(p1, y0), outward, TileOf(kStone));
    y0 = kPlinth;
  }
  Wall(k, kBrick, at(p0, y0), at(p0, y1), at(p1, y1), at(p1, y0), outward, TileOf(kBrick));
}

// A door leaf hanging at its hinge (the node's origin) reaching width towards dir (+1: +z).
void Leaf(K& k, float dir) {
  const float z0 = dir > 0 ? 0.02f : -kDoorHalf, z1 = dir > 0 ? kDoorHalf : -0.02f;
  const TGXVector3 lo{-0.08f, 0.05f, z0}, hi{0.08f, kDoorTop - 0.05f, z1};
  k.Box(kGate, lo, hi, kFit, K::kLeft | K::kRight);
  k.Box(kTimber, lo, hi, TileOf(kTimber), K::kFront | K::kBack | K::kTop | K::kBottom);
}

}  // namespace

TSceneryItem ShedBayModel() {
  const float x0 = ShedDoorX, x1 = ShedBackX, w = ShedWallZ;
  const float ix0 = x0 + kWall, ix1 = x1 - kWall, iw = w - kWall;
  K k;
  k.Part("Stand");
  // Outside: the long walls, the back wall and the front round the doorway.
  for (float s : {-1.0f, 1.0f}) {
    BrickFace(k, {x0, 0, s * w}, {x1, 0, s * w}, 0, kEave, {0, 0, s});
    BrickFace(k, {x0, 0, s * w}, {x0, 0, s * kDoorHalf}, 0, kEave, {-1, 0, 0});
    // The doorway's reveal and the inside beside it.
    Wall(k, kBrick, {x0, 0, s * kDoorHalf}, {x0, kDoorTop, s * kDoorHalf}, {ix0, kDoorTop, s * kDoorHalf},
         {ix0, 0, s * kDoorHalf}, {0, 0, -s}, TileOf(kBrick));
    Wall(k, kBrick, {ix0, 0, s * kDoorHalf}, {ix0, kEave, s * kDoorHalf}, {ix0, kEave, s * iw},
         {ix0, 0, s * iw}, {1, 0, 0}, TileOf(kBrick));
    Wall(k, kBrick, {ix0, 0, s * iw}, {ix0, kEave, s * iw}, {ix1, kEave, s * iw}, {ix1, 0, s * iw},
         {0, 0, -s}, TileOf(kBrick));
  }
  BrickFace(k, {x1, 0, -w}, {x1, 0, w}, 0, kEave, {1, 0, 0});
  BrickFace(k, {x0, 0, -kDoorHalf}, {x0, 0, kDoorHalf}, kDoorTop, kEave, {-1, 0, 0});
  Wall(k, kBrick, {ix1, 0, -iw}, {ix1, kEave, -iw}, {ix1, kEave, iw}, {ix1, 0, iw}, {-1, 0, 0},
       TileOf(kBrick));
  Wall(k, kBrick, {ix0, kDoorTop, -kDoorHalf}, {ix0, kEave, -kDoorHalf}, {ix0, kEave, kDoorHalf},
       {ix0, kDoorTop, kDoorHalf}, {1, 0, 0}, TileOf(kBrick));
  Wall(k, kStone, {x0, kDoorTop, -kDoorHalf}, {x0, kDoorTop, kDoorHalf}, {ix0, kDoorTop, kDoorHalf},
       {ix0, kDoorTop, -kDoorHalf}, {0, -1, 0}, TileOf(kStone));
  // A stone lintel over the doorway and a cornice along the front and back (never past the long
  // walls, where the next bay joins).
  k.Box(kStone, {x0 - 0.12f, kDoorTop, -kDoorHalf - 0.4f}, {x0, kDoorTop + 0.45f, kDoorHalf + 0.4f},
        TileOf(kStone), K::kAll & ~K::kRight);
  for (float x : {x0 - 0.1f, x1})
    k.Box(kStone, {x, kEave - 0.35f, -w}, {x + 0.1f, kEave, w}, TileOf(kStone),
          K::kAll & ~K::kFront & ~K::kBack);
  // The floor inside, paved.
  Wall(k, kPaving, {x0, 0.02f, -iw}, {x0, 0.02f, iw}, {ix1, 0.02f, iw}, {ix1, 0.02f, -iw}, {0, 1, 0},
       TileOf(kPaving));

  // Windows on both long walls and on the back.
  const std::vector<TWall> walls = BoxWalls(x0, -w, x1, w);
  for (size_t side : {size_t(0), size_t(2)})
    for (int i = 0; i < 5; ++i)
      k.Opening(kWindow, walls[side], (float(i) + 0.5f) * kLength / 5 - 1.2f, 2.4f, 2.4f, 3.4f, 0.02f);
  for (float along : {2.3f, 6.94f}) k.Opening(kWindow, walls[1], along - 1.0f, 2.4f, 2.0f, 3.4f, 0.02f);

  // The flat roof, boarded underneath; the glazed lantern along the ridge and a smoke vent over the
  // doorway, where a steam engine's chimney stands.
  k.Box(kTimber, {x0 - 0.3f, kEave, -w}, {x1 + 0.3f, kRoofTop, w}, TileOf(kTimber), K::kAll, kTarPaper);
  const float lx0 = x0 + 4.0f, lx1 = x1 - 4.0f, lz = 1.6f, ly = kRoofTop + 1.0f;
  k.Box(kTimber, {lx0, kRoofTop, -lz}, {lx1, ly, lz}, TileOf(kTimber), K::kSides);
  const std::vector<TWall> lantern = BoxWalls(lx0, -lz, lx1, lz, kRoofTop);
  for (size_t side : {size_t(0), size_t(2)})
    for (int i = 0; i < 8; ++i)
      k.Opening(kWindow, lantern[side], 0.6f + float(i) * (lx1 - lx0 - 1.2f) / 8 + 0.15f, 0.15f,
                (lx1 - lx0 - 1.2f) / 8 - 0.3f, 0.7f);
  TModelKit::TRoof roof;
  roof.X0 = lx0, roof.Z0 = -lz, roof.X1 = lx1, roof.Z1 = lz;
  roof.Eave = ly, roof.Ridge = ly + 0.7f, roof.Overhang = 0.25f, roof.AlongX = true;
  roof.Cover = kTarPaper, roof.CoverTile = TileOf(kTarPaper);
  roof.Under = kTimber;
  roof.Gable = kTimber, roof.GableTile = TileOf(kTimber);
  k.GableRoof(roof);
  const float vx = x0 + 2.0f;
  k.Box(kBrick, {vx - 0.7f, kRoofTop, -0.7f}, {vx + 0.7f, kRoofTop + 2.2f, 0.7f}, TileOf(kBrick), K::kSides);
  k.Box(kStone, {vx - 0.85f, kRoofTop + 2.2f, -0.85f}, {vx + 0.85f, kRoofTop + 2.4f, 0.85f}, TileOf(kStone),
        K::kAll, kTarPaper);

  // The doors: their node in the doorway's middle, the leaves hinged at its sides just outside.
  const float doorY = RailTop + 3.5f;
  const int door = k.Part(ShedDoorNode, -1, {x0, doorY, 0});
  k.Part(ShedDoorLeaves[0], door, {-0.14f, -doorY, -kDoorHalf});
  Leaf(k, 1);
  k.Part(ShedDoorLeaves[1], door, {-0.14f, -doorY, kDoorHalf});
  Leaf(k, -1);

  TSceneryItem m;
  m.Name = ShedName;
  m.Folder = ShedFolder;
  m.FileName = "Ringlokschuppen Stand.x";
  m.Form = TModelFileForm::XText;
  m.Model = k.Build(gx::EGXModelFormat::XFile);
  // Both leaves swing out a quarter turn, their free edges away from the shed.
  m.Model.Animation.SecondsPerFrame = 0.025f;
  m.Model.Animation.Tracks = {RotationTrack(ShedDoorLeaves[0], {0, 1, 0}, -kPi / 2, 20, 2, true),
                              RotationTrack(ShedDoorLeaves[1], {0, 1, 0}, kPi / 2, 20, 2, true)};
  m.Model.HasAnimation = true;
  return m;
}

TSceneryItem ShedConnectorModel() {
  K k;
  k.Part("Verbinder");
  // The roof: its top and underside as the wedge, its edge at the back. It lies a little below the
  // bays' roofs and reaches a little under them, so no seam shows where they meet.
  const float l = kLength + 0.3f, top = kRoofTop - 0.03f, spread = 1.04f / 4;
  auto wedge = [&](float y) {
    return std::vector<TGXVector3>{{0, y, 0}, {l, y, -l * spread}, {l, y, l * spread}};
  };
  for (float y : {kEave, top}) {
    const std::vector<TGXVector3> p = wedge(y);
    const bool up = y == top;
    const std::string& tex = up ? kTarPaper : kTimber;
    if ((gx::GXVec3Cross(p[1] - p[0], p[2] - p[0]).y > 0) == up)
      k.Triangle(tex, p[0], p[1], p[2], TileOf(tex));
    else
      k.Triangle(tex, p[0], p[2], p[1], TileOf(tex));
  }
  Wall(k, kTimber, {l, kEave, -l * spread}, {l, top, -l * spread}, {l, top, l * spread},
       {l, kEave, l * spread}, {1, 0, 0}, TileOf(kTimber));
  // The back wall a little inside the bays' back corners, so its ends disappear into their walls.
  const float xb = kLength - 0.15f, xi = xb - kWall;
  BrickFace(k, {xb, 0, -xb / 4}, {xb, 0, xb / 4}, 0, kEave, {1, 0, 0});
  Wall(k, kBrick, {xi, 0, -xi / 4}, {xi, kEave, -xi / 4}, {xi, kEave, xi / 4}, {xi, 0, xi / 4}, {-1, 0, 0},
       TileOf(kBrick));
  k.Box(kStone, {xb, kEave - 0.35f, -xb / 4}, {xb + 0.1f, kEave, xb / 4}, TileOf(kStone),
        K::kAll & ~K::kFront & ~K::kBack);

  TSceneryItem m;
  m.Name = std::string(ShedName) + " Verbinder";
  m.Folder = ShedFolder;
  m.FileName = "Ringlokschuppen Verbinder.x";
  m.Form = TModelFileForm::XText;
  m.Model = k.Build(gx::EGXModelFormat::XFile);
  return m;
}

}  // namespace assetgen
