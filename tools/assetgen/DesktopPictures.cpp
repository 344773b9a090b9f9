#include "tools/assetgen/DesktopPictures.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>

#include "app/RRProjectSerializer.h"
#include "engine/core/GXAtomicFile.h"

namespace assetgen {

namespace {

// ---- colours and noise ------------------------------------------------------------------------

struct TRgb {
  float R = 0, G = 0, B = 0;
};
TRgb operator+(TRgb a, TRgb b) { return {a.R + b.R, a.G + b.G, a.B + b.B}; }
TRgb operator-(TRgb a, TRgb b) { return {a.R - b.R, a.G - b.G, a.B - b.B}; }
TRgb operator*(TRgb a, float s) { return {a.R * s, a.G * s, a.B * s}; }
TRgb Mix(TRgb a, TRgb b, float t) { return a + (b - a) * t; }
float Mix(float a, float b, float t) { return a + (b - a) * t; }

float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }
float SmoothStep(float a, float b, float x) {
  const float t = Clamp01((x - a) / (b - a));
  return t * t * (3 - 2 * t);
}
float Fract(float v) { return v - std::floor(v); }

uint32_t Pack(TRgb c, float alpha = 1) {
  auto q = [](float v) { return uint32_t(std::lround(Clamp01(v) * 255)); };
  return q(alpha) << 24 | q(c.R) << 16 | q(c.G) << 8 | q(c.B);
}

// Lattice value noise from an integer hash: the same seed gives the same picture everywhere.
float Hash(int32_t x, int32_t y, uint32_t seed) {
  uint32_t h = uint32_t(x) * 0x8DA6B343u ^ uint32_t(y) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
  h ^= h >> 13;
  h *= 0x5BD1E995u;
  h ^= h >> 15;
  return float(h & 0xFFFFFF) / float(0xFFFFFF);
}

float Noise(float x, float y, uint32_t seed) {
  const float fx = std::floor(x), fy = std::floor(y);
  const float tx = x - fx, ty = y - fy;
  const float sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
  const int ix = int(fx), iy = int(fy);
  const float a = Hash(ix, iy, seed), b = Hash(ix + 1, iy, seed);
  const float c = Hash(ix, iy + 1, seed), d = Hash(ix + 1, iy + 1, seed);
  return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}

float Fbm(float x, float y, uint32_t seed, int octaves) {
  float sum = 0, amplitude = 0.5f, total = 0;
  for (int o = 0; o < octaves; ++o) {
    sum += Noise(x, y, seed + uint32_t(o) * 101u) * amplitude;
    total += amplitude;
    x = x * 2.03f + 17.1f, y = y * 2.03f - 9.7f, amplitude *= 0.5f;
  }
  return sum / total;
}

// ---- vectors ----------------------------------------------------------------------------------

// World coordinates in metres: X to the right, Y up, Z away from the viewer.
struct TVec {
  float X = 0, Y = 0, Z = 0;
};
TVec operator+(TVec a, TVec b) { return {a.X + b.X, a.Y + b.Y, a.Z + b.Z}; }
TVec operator-(TVec a, TVec b) { return {a.X - b.X, a.Y - b.Y, a.Z - b.Z}; }
TVec operator*(TVec a, float s) { return {a.X * s, a.Y * s, a.Z * s}; }
float Dot(TVec a, TVec b) { return a.X * b.X + a.Y * b.Y + a.Z * b.Z; }
TVec Normalised(TVec a) { return a * (1.0f / std::sqrt(Dot(a, a))); }

// ---- the scene --------------------------------------------------------------------------------

constexpr float kEyeHeight = 4.2f;
const TVec kEye{0, kEyeHeight, 0};
// Towards the sun: high on the right, a little behind the viewer.
const TVec kSun = Normalised({0.62f, 0.72f, -0.32f});
constexpr float kHazeDistance = 2600;
constexpr uint32_t kSeed = 0x7E1D0A5u;

const TRgb kEdge{0.627f, 0.765f, 0.894f};  // the calm sky colour of every border
const TRgb kHorizon{0.866f, 0.906f, 0.937f};

TRgb Haze(TRgb c, float distance) { return Mix(c, kHorizon, 1 - std::exp(-distance / kHazeDistance)); }

// The track's centre line X = g(Z): a parabola that enters at the bottom right of the picture and
// bends to the left into the distance.
constexpr float kTrackZ0 = 6, kTrackX0 = 2.2f, kTrackA = -0.30f, kTrackB = -0.0034f;
constexpr float kRailOffset = 0.7175f, kSleeperPitch = 0.62f;

float TrackX(float z) {
  return kTrackX0 + kTrackA * (z - kTrackZ0) + kTrackB * (z - kTrackZ0) * (z - kTrackZ0);
}
float TrackSlope(float z) { return kTrackA + 2 * kTrackB * (z - kTrackZ0); }
// Arc length of the centre line from Z0 (closed form of the integral of sqrt(1 + g'^2)).
float TrackLength(float z) {
  auto f = [](float u) { return 0.5f * (u * std::sqrt(1 + u * u) + std::asinh(u)); };
  return (f(TrackSlope(z)) - f(kTrackA)) / (2 * kTrackB);
}
// Along the track (S) and across it (D, positive to the right looking away from the viewer), and
// the track's forward and right directions, for a ground point.
struct TTrackPlace {
  float S = 0, D = 0;
  TVec Forward, Right;
};
TTrackPlace TrackPlace(float x, float z) {
  const float slope = TrackSlope(z), n = std::sqrt(1 + slope * slope);
  const float off = x - TrackX(z);
  TTrackPlace p;
  p.D = off / n;
  p.S = TrackLength(z) + off * slope / n;
  p.Forward = {slope / n, 0, 1 / n};
  p.Right = {1 / n, 0, -slope / n};
  return p;
}

struct THill {
  float Z, Base, Rise, Width;
  uint32_t Seed;
  TRgb Colour;
  float TreeLine;  // height of the woods along the ridge (0: none)
};
const THill kHills[] = {
    {3200, 40, 230, 1400, 11, {0.55f, 0.64f, 0.76f}, 0},
    {1300, 16, 95, 520, 23, {0.44f, 0.58f, 0.50f}, 14},
    {520, 4, 40, 210, 37, {0.42f, 0.60f, 0.34f}, 9},
    {240, 1, 17, 95, 41, {0.45f, 0.63f, 0.30f}, 7},
};
float HillHeight(const THill& h, float x) {
  return h.Base + h.Rise * Fbm(x / h.Width + 3.1f, 0.37f, kSeed + h.Seed, 4);
}

struct TTree {
  float X, Z, Height, Radius;
  uint32_t Seed;
  bool Conifer;
};
const TTree kTrees[] = {
    // Beside the viewer, framing the picture.
    {-14.5f, 23, 8.5f, 2.9f, 1, false},
    {16.5f, 25, 9.5f, 3.1f, 2, false},
    {-19, 31, 7.5f, 2.0f, 3, true},
    // Behind the station and along the road.
    {-6, 92, 12, 2.6f, 4, true},
    {-1.5f, 97, 10, 2.2f, 5, true},
    {-13, 88, 10, 4.0f, 6, false},
    {4, 104, 11, 4.2f, 7, false},
    {19, 68, 8.5f, 3.2f, 8, false},
    {27, 80, 12, 2.6f, 9, true},
    {13.5f, 45, 6.5f, 2.2f, 10, false},
    {-44, 130, 12, 4.6f, 11, false},
    {44, 140, 14, 5.0f, 12, false},
    {31, 112, 10, 3.8f, 13, false},
    // Bushes.
    {13.5f, 36, 1.9f, 1.0f, 14, false},
    {-24, 45, 2.0f, 1.1f, 16, false},
    {-9, 16, 1.4f, 0.75f, 18, false},
    {11, 19, 1.3f, 0.7f, 17, false},
};

// The road: X = r(Z), a parabola from the bottom right of the picture to the station's forecourt.
struct TRoad {
  float A = 0, B = 0, C = 0, EndZ = 0;
  float X(float z) const { return A + B * z + C * z * z; }
  float Slope(float z) const { return B + 2 * C * z; }
};

// A flat face of the station or a vehicle: a convex polygon in its own (U, V) plane.
enum class TFaceKind { LongWall, EndWall, Roof, Chimney, ChimneyTop, CarSide, CarEnd, CarRoof, CarFrame };
struct TFace {
  TVec Origin, U, V, Normal;
  std::vector<std::array<float, 2>> Corners;
  TFaceKind Kind;
  float Width = 0, Height = 0;  // of the wall or roof plane in U and V
  bool Front = false;           // the station's side towards the track, the engine's front
  int Livery = 0;               // of a vehicle: 0 engine, 1 coach
};

// A closed group of faces (station, a vehicle) inside a sphere: rays that miss it skip its faces.
struct TBody {
  std::vector<TFace> Faces;
  TVec Centre;
  float Radius = 0;

  bool MayHit(TVec from, TVec dir) const {
    const TVec to = Centre - from;
    const float along = Dot(to, dir) / Dot(dir, dir);
    const TVec off = to - dir * along;
    return Dot(off, off) < Radius * Radius;
  }
};

// The station stands beside the track where its centre line is at this depth.
constexpr float kStationZ = 47, kStationSide = 10.5f, kStationHalfLength = 6.2f, kStationHalfDepth = 3.1f;
constexpr float kWallHeight = 3.6f, kRidgeRise = 2.5f;
// The train leaves the station towards the viewer: the engine's front is this far along the track.
constexpr float kTrainFront = 31;
constexpr float kCarHalfWidth = 1.45f, kCarFloor = 1.05f, kCarEaves = 3.85f, kCarRoof = 4.25f;

// The depth at which the track's centre line has run the given length (the length grows with Z).
float TrackDepthAt(float length) {
  float lo = kTrackZ0 - 20, hi = 400;
  for (int i = 0; i < 40; ++i) {
    const float mid = 0.5f * (lo + hi);
    (TrackLength(mid) < length ? lo : hi) = mid;
  }
  return 0.5f * (lo + hi);
}

struct TScene {
  TVec StationOrigin, StationAlong, StationAcross;
  float StationS = 0;
  std::vector<TBody> Bodies;  // the station first, then the vehicles
  TVec SignalBase;
  TRoad Road;

  static void Add(TBody& body, TVec origin, TVec u, TVec v, TVec normal,
                  std::vector<std::array<float, 2>> corners, TFaceKind kind, float width, float height,
                  bool front = false, int livery = 0) {
    body.Faces.push_back({origin, u, v, normal, std::move(corners), kind, width, height, front, livery});
  }

  void AddStation() {
    const TTrackPlace here = TrackPlace(TrackX(kStationZ), kStationZ);
    StationS = here.S;
    const TVec along = StationAlong = here.Forward, across = StationAcross = here.Right;
    const TVec o = StationOrigin = TVec{TrackX(kStationZ), 0, kStationZ} + across * kStationSide;
    const TVec up{0, 1, 0};
    const float hl = kStationHalfLength, hd = kStationHalfDepth, wh = kWallHeight, rh = kRidgeRise;
    TBody body;
    // Long walls (the one at -across faces the track), end walls with their gables.
    for (int side : {-1, 1}) {
      const float f = float(side);
      Add(body, o + across * (f * hd) + along * -hl, along, up, across * f,
          {{0, 0}, {2 * hl, 0}, {2 * hl, wh}, {0, wh}}, TFaceKind::LongWall, 2 * hl, wh, side < 0);
      Add(body, o + along * (f * hl) + across * -hd, across, up, along * f,
          {{0, 0}, {2 * hd, 0}, {2 * hd, wh}, {hd, wh + rh}, {0, wh}}, TFaceKind::EndWall, 2 * hd, wh + rh);
    }
    // Roof planes with eaves and verges standing out.
    constexpr float eaves = 0.5f, verge = 0.4f;
    for (int side : {-1, 1}) {
      const float f = float(side), drop = eaves * rh / hd;
      const TVec origin = o + along * (-hl - verge) + across * (f * (hd + eaves)) + up * (wh - drop);
      const TVec slope = across * (-f * (hd + eaves)) + up * (rh + drop);
      const float length = std::sqrt(Dot(slope, slope));
      Add(body, origin, along, slope * (1 / length), Normalised(across * (f * rh) + up * hd),
          {{0, 0}, {2 * (hl + verge), 0}, {2 * (hl + verge), length}, {0, length}}, TFaceKind::Roof,
          2 * (hl + verge), length);
    }
    // A chimney through the far roof plane.
    const TVec c = o + along * 2.6f + across * 1.1f;
    constexpr float cw = 0.32f, top = kWallHeight + kRidgeRise + 0.8f;
    for (int side : {-1, 1}) {
      const float f = float(side);
      Add(body, c + across * (f * cw) + along * -cw, along, up, across * f,
          {{0, wh}, {2 * cw, wh}, {2 * cw, top}, {0, top}}, TFaceKind::Chimney, 2 * cw, top);
      Add(body, c + along * (f * cw) + across * -cw, across, up, along * f,
          {{0, wh}, {2 * cw, wh}, {2 * cw, top}, {0, top}}, TFaceKind::Chimney, 2 * cw, top);
    }
    Add(body, c + along * -cw + across * -cw + up * top, along, across, up,
        {{0, 0}, {2 * cw, 0}, {2 * cw, 2 * cw}, {0, 2 * cw}}, TFaceKind::ChimneyTop, 2 * cw, 2 * cw);
    body.Centre = o + up * 3.5f;
    body.Radius = std::sqrt(hl * hl + hd * hd + 4.5f * 4.5f) + 1;
    Bodies.push_back(std::move(body));
  }

  // A vehicle between two lengths along the track: frame, body with a rounded roof.
  void AddVehicle(float from, float to, int livery) {
    const float mid = 0.5f * (from + to), hl = 0.5f * (to - from);
    const float z = TrackDepthAt(mid);
    const TTrackPlace place = TrackPlace(TrackX(z), z);
    const TVec along = place.Forward, across = place.Right, up{0, 1, 0};
    const TVec o{TrackX(z), 0, z};
    const float hw = kCarHalfWidth, fl = kCarFloor, ev = kCarEaves, rf = kCarRoof, crown = 0.62f * hw;
    TBody body;
    for (int side : {-1, 1}) {
      const float f = float(side);
      Add(body, o + across * (f * hw) + along * -hl, along, up, across * f,
          {{0, fl}, {2 * hl, fl}, {2 * hl, ev}, {0, ev}}, TFaceKind::CarSide, 2 * hl, ev, false, livery);
      Add(body, o + along * (f * hl) + across * -hw, across, up, along * f,
          {{0, fl}, {2 * hw, fl}, {2 * hw, ev}, {hw + crown, rf}, {hw - crown, rf}, {0, ev}},
          TFaceKind::CarEnd, 2 * hw, rf, side < 0, livery);
      // The roof's rounded shoulders.
      const TVec slope = across * (-f * (hw - crown)) + up * (rf - ev);
      const float length = std::sqrt(Dot(slope, slope));
      Add(body, o + across * (f * hw) + along * -hl + up * ev, along, slope * (1 / length),
          Normalised(across * (f * (rf - ev)) + up * (hw - crown)),
          {{0, 0}, {2 * hl, 0}, {2 * hl, length}, {0, length}}, TFaceKind::CarRoof, 2 * hl, length, false,
          livery);
      // The frame with the bogies, set in a little.
      const float fw = 0.88f * hw, fh = hl - 0.6f;
      Add(body, o + across * (f * fw) + along * -fh, along, up, across * f,
          {{0, 0.3f}, {2 * fh, 0.3f}, {2 * fh, fl}, {0, fl}}, TFaceKind::CarFrame, 2 * fh, fl, false, livery);
      Add(body, o + along * (f * fh) + across * -fw, across, up, along * f,
          {{0, 0.3f}, {2 * fw, 0.3f}, {2 * fw, fl}, {0, fl}}, TFaceKind::CarFrame, 2 * fw, fl, side < 0,
          livery);
    }
    Add(body, o + along * -hl + across * -crown + up * rf, along, across, up,
        {{0, 0}, {2 * hl, 0}, {2 * hl, 2 * crown}, {0, 2 * crown}}, TFaceKind::CarRoof, 2 * hl, 2 * crown,
        false, livery);
    body.Centre = o + up * 2.2f;
    body.Radius = std::sqrt(hl * hl + hw * hw + 2.3f * 2.3f) + 0.5f;
    Bodies.push_back(std::move(body));
  }

  TScene() {
    AddStation();
    // Engine and two coaches with short gaps between them.
    float s = kTrainFront;
    AddVehicle(s, s + 13.5f, 0);
    s += 13.5f + 0.9f;
    for (int i = 0; i < 2; ++i, s += 16.5f + 0.9f) AddVehicle(s, s + 16.5f, 1);
    const float signalZ = 17;
    const TTrackPlace sp = TrackPlace(TrackX(signalZ), signalZ);
    SignalBase = TVec{TrackX(signalZ), 0, signalZ} + sp.Right * 2.7f;
    // The road through three points: the bottom right, the middle, the forecourt beside the station.
    const TVec end = StationOrigin + StationAcross * (kStationHalfDepth + 3.5f) - StationAlong * 3.0f;
    const float z0 = 9, x0 = 6.5f, z1 = 26, x1 = 6.8f, z2 = end.Z, x2 = end.X;
    Road.C = ((x2 - x0) / (z2 - z0) - (x1 - x0) / (z1 - z0)) / (z2 - z1);
    Road.B = (x1 - x0) / (z1 - z0) - Road.C * (z0 + z1);
    Road.A = x0 - Road.B * z0 - Road.C * z0 * z0;
    Road.EndZ = z2;
  }
};

const TScene& Scene() {
  static const TScene scene;
  return scene;
}

bool InsideConvex(const std::vector<std::array<float, 2>>& corners, float u, float v) {
  int sign = 0;
  for (size_t i = 0; i < corners.size(); ++i) {
    const auto& a = corners[i];
    const auto& b = corners[(i + 1) % corners.size()];
    const float cross = (b[0] - a[0]) * (v - a[1]) - (b[1] - a[1]) * (u - a[0]);
    const int s = cross > 0 ? 1 : cross < 0 ? -1 : 0;
    if (s == 0) continue;
    if (sign == 0) sign = s;
    if (s != sign) return false;
  }
  return true;
}

// Distance along the ray from `from` to the face, or infinity.
float HitFace(const TFace& f, TVec from, TVec dir, bool cull, float& u, float& v) {
  const float along = Dot(dir, f.Normal);
  if (cull ? along >= 0 : std::fabs(along) < 1e-7f) return std::numeric_limits<float>::infinity();
  const float t = Dot(f.Origin - from, f.Normal) / along;
  if (t <= 1e-4f) return std::numeric_limits<float>::infinity();
  const TVec p = from + dir * t - f.Origin;
  u = Dot(p, f.U), v = Dot(p, f.V);
  return InsideConvex(f.Corners, u, v) ? t : std::numeric_limits<float>::infinity();
}

// ---- what a ray meets -------------------------------------------------------------------------

enum class TWhat { Sky, Ground, Hill, Tree, Face, Signal };

struct THit {
  TWhat What = TWhat::Sky;
  int Index = 0;
  float T = std::numeric_limits<float>::infinity();
  TVec Point;
  float U = 0, V = 0;
  int Id() const { return int(What) * 4096 + Index; }
};

// Crown and trunk of a tree cut-out, in its own plane (u across, v up, metres). Returns whether
// the point lies on the tree and fills the colour before haze.
bool TreeAt(const TTree& tree, float u, float v, TRgb& colour) {
  const float r = tree.Radius;
  const uint32_t seed = kSeed + tree.Seed * 7919u;
  if (tree.Conifer) {
    const float foot = 0.1f * tree.Height;
    if (v >= foot && v <= tree.Height) {
      const float up = (v - foot) / (tree.Height - foot);
      const float tier = Fract(up * 5.0f + 0.3f);
      const float half = r * std::pow(1 - up, 0.9f) * (1 - 0.38f * tier) +
                         0.14f * r * (Fbm(u * 1.8f, v * 1.8f, seed, 2) - 0.5f);
      if (std::fabs(u) < half) {
        const float side = u / std::max(half, 1e-3f);
        const float lit = Clamp01(0.55f + 0.45f * side - 0.3f * (1 - tier));
        const float clumps = Fbm(u * 2.2f, v * 2.2f, seed + 3, 3);
        colour =
            Mix(TRgb{0.10f, 0.24f, 0.15f}, TRgb{0.30f, 0.47f, 0.25f}, Clamp01(lit * (0.7f + 0.6f * clumps)));
        return true;
      }
    }
    if (v >= 0 && v < foot + 0.1f && std::fabs(u) < 0.05f * tree.Height * 0.5f + 0.08f) {
      colour = {0.30f, 0.22f, 0.16f};
      return true;
    }
    return false;
  }
  const float cy = tree.Height - r;
  // A crown of five overlapping blobs, their outline roughened by noise.
  static const float blobs[5][3] = {{0, 0, 1.0f},
                                    {-0.5f, -0.28f, 0.72f},
                                    {0.52f, -0.22f, 0.74f},
                                    {-0.22f, 0.42f, 0.64f},
                                    {0.3f, 0.4f, 0.6f}};
  const float px = u / r, py = (v - cy) / r;
  float best = 1e9f, nx = 0, ny = 0;
  for (int i = 0; i < 5; ++i) {
    const float bx = blobs[i][0] + 0.12f * (Hash(i, 1, seed) - 0.5f),
                by = blobs[i][1] + 0.12f * (Hash(i, 2, seed) - 0.5f);
    const float br = blobs[i][2];
    const float dx = px - bx, dy = py - by;
    const float d = std::sqrt(dx * dx + dy * dy) - br;
    if (d < best) best = d, nx = dx / br, ny = dy / br;
  }
  const float rough = Fbm(px * 2.6f, py * 2.6f, seed, 3) - 0.5f;
  if (best + 0.38f * rough < 0) {
    const float nz = std::sqrt(std::max(0.0f, 1 - nx * nx - ny * ny));
    const float lambert = std::max(0.0f, Dot(Normalised({nx, ny, -nz - 0.2f}), kSun));
    const float clumps = Fbm(px * 7, py * 7, seed + 5, 3);
    const float lit = Clamp01(lambert * (0.55f + 0.9f * clumps) - 0.05f);
    colour = Mix(TRgb{0.13f, 0.27f, 0.11f}, TRgb{0.50f, 0.68f, 0.27f}, lit);
    return true;
  }
  if (v >= 0 && v < cy && std::fabs(u) < 0.07f * r + 0.05f * (cy - v) / cy * r) {
    colour = TRgb{0.34f, 0.25f, 0.18f} * (u > 0 ? 1.15f : 0.8f);
    return true;
  }
  return false;
}

// A semaphore signal showing "proceed": mast, ladder-less for the small size, arm raised.
bool SignalAt(float u, float v, TRgb& colour) {
  constexpr float mast = 4.4f;
  if (v >= 0 && v < 0.3f && std::fabs(u) < 0.22f) {
    colour = TRgb{0.62f, 0.61f, 0.58f} * (u > 0 ? 1.1f : 0.8f);  // foundation
    return true;
  }
  if (v >= 0 && v <= mast && std::fabs(u) < 0.09f) {
    colour = TRgb{0.45f, 0.46f, 0.47f} * (u > 0 ? 1.25f : 0.85f);
    return true;
  }
  if (std::fabs(u) < 0.14f && std::fabs(v - mast - 0.1f) < 0.12f) {
    colour = {0.2f, 0.2f, 0.2f};
    return true;
  }
  // The arm from the pivot near the mast's top, raised by 45 degrees to the left (towards the track).
  const float pu = u + 0.1f, pv = v - (mast - 0.35f);
  const float c = 0.7071f;
  const float along = -pu * c + pv * c, across = pu * c + pv * c;
  if (along > -0.25f && along < 1.7f && std::fabs(across) < 0.13f) {
    const bool band = along > 1.15f && along < 1.4f;
    colour = band ? TRgb{0.95f, 0.94f, 0.92f} : TRgb{0.78f, 0.12f, 0.10f};
    return true;
  }
  return false;
}

THit Trace(TVec dir) {
  THit hit;
  if (dir.Y < 0) {
    const float t = kEyeHeight / -dir.Y;
    hit = {TWhat::Ground, 0, t, kEye + dir * t};
  }
  for (int i = 0; i < int(std::size(kHills)); ++i) {
    const THill& h = kHills[i];
    const float t = h.Z / dir.Z;
    if (t >= hit.T) continue;
    const TVec p = kEye + dir * t;
    if (p.Y < 0 || p.Y > h.Base + h.Rise + h.TreeLine) continue;
    const float top = HillHeight(h, p.X);
    float woods = 0;
    if (h.TreeLine > 0) {
      const float n = Fbm(p.X / (h.TreeLine * 1.6f), 5.5f, kSeed + h.Seed + 900, 3);
      // Rounded crowns side by side.
      const float crown = h.TreeLine * 0.45f, cell = Fract(p.X / crown);
      const float bump = std::sqrt(std::max(0.0f, 1 - (2 * cell - 1) * (2 * cell - 1)));
      woods = h.TreeLine * SmoothStep(0.47f, 0.6f, n) *
              (0.6f + 0.25f * bump + 0.15f * Hash(int(std::floor(p.X / crown)), 3, kSeed + h.Seed));
    }
    if (p.Y <= top + woods) hit = {TWhat::Hill, i, t, p, p.X, p.Y};
  }
  for (int i = 0; i < int(std::size(kTrees)); ++i) {
    const TTree& tree = kTrees[i];
    const float t = tree.Z / dir.Z;
    if (t >= hit.T) continue;
    const TVec p = kEye + dir * t;
    TRgb unused;
    if (std::fabs(p.X - tree.X) < 1.5f * tree.Radius && p.Y < tree.Height + 0.5f * tree.Radius &&
        TreeAt(tree, p.X - tree.X, p.Y, unused))
      hit = {TWhat::Tree, i, t, p, p.X - tree.X, p.Y};
  }
  const TScene& scene = Scene();
  {
    const float t = scene.SignalBase.Z / dir.Z;
    const TVec p = kEye + dir * t;
    TRgb unused;
    if (t < hit.T && SignalAt(p.X - scene.SignalBase.X, p.Y, unused))
      hit = {TWhat::Signal, 0, t, p, p.X - scene.SignalBase.X, p.Y};
  }
  for (int b = 0; b < int(scene.Bodies.size()); ++b) {
    const TBody& body = scene.Bodies[b];
    if (!body.MayHit(kEye, dir)) continue;
    for (int i = 0; i < int(body.Faces.size()); ++i) {
      float u = 0, v = 0;
      const float t = HitFace(body.Faces[i], kEye, dir, true, u, v);
      if (t < hit.T) hit = {TWhat::Face, b * 64 + i, t, kEye + dir * t, u, v};
    }
  }
  return hit;
}

// ---- shading ----------------------------------------------------------------------------------

TRgb Sky(TVec dir) {
  const float elevation = dir.Y / std::sqrt(Dot(dir, dir));
  TRgb c = Mix(kHorizon, kEdge, std::pow(SmoothStep(0.0f, 0.36f, elevation), 0.8f));
  // A warm glow towards the sun's side, low over the hills.
  const float glow =
      std::exp(-std::pow((dir.X / dir.Z - 0.55f) * 1.6f, 2.0f)) * (1 - SmoothStep(0.0f, 0.25f, elevation));
  c = Mix(c, TRgb{0.98f, 0.94f, 0.84f}, 0.35f * glow);
  if (dir.Y <= 0) return c;
  // Fair-weather clouds on a plane high above: far ones crowd towards the horizon and thin out.
  const float t = 1600 / dir.Y;
  const float cx = dir.X * t / 1700, cz = dir.Z * t / 1700;
  const float n = Fbm(cx + 4.3f, cz * 1.4f, kSeed + 77, 6);
  const float cover = SmoothStep(0.52f, 0.64f, n) * SmoothStep(0.015f, 0.12f, elevation);
  if (cover <= 0) return c;
  // Lit where the cloud thins towards the sun, grey-blue underneath.
  const float towards = Fbm(cx + 4.3f + 0.03f, cz * 1.4f - 0.05f, kSeed + 77, 6);
  const float lit = Clamp01(0.6f + (n - towards) * 14 + 0.25f * SmoothStep(0.6f, 0.75f, n));
  const TRgb cloud = Mix(TRgb{0.76f, 0.80f, 0.87f}, TRgb{0.99f, 0.99f, 0.98f}, lit);
  return Mix(c, cloud, 0.92f * cover);
}

// Fraction of sunlight reaching a ground point (shadows of the trees and the station).
float SunLight(TVec p) {
  float light = 1;
  for (const TTree& tree : kTrees) {
    // A soft ellipse cast away from the sun.
    const float reach = (tree.Height - tree.Radius) * 0.75f;
    const float sx = tree.X - kSun.X * reach, sz = tree.Z - kSun.Z * reach;
    const float dx = (p.X - sx) / (tree.Radius * 1.3f), dz = (p.Z - sz) / (tree.Radius * 1.05f);
    const float d = std::sqrt(dx * dx + dz * dz);
    light = std::min(light, 0.7f + 0.3f * SmoothStep(0.75f, 1.1f, d));
  }
  const TScene& scene = Scene();
  for (const TBody& body : scene.Bodies) {
    if (!body.MayHit(p, kSun)) continue;
    for (const TFace& f : body.Faces) {
      float u = 0, v = 0;
      if (std::isfinite(HitFace(f, p, kSun, false, u, v))) return std::min(light, 0.7f);
    }
  }
  return light;
}

// The meadow and the fields, before the track and the haze. pixel: the size of one pixel on the
// ground (metres), so patterns finer than a pixel fade to their mean.
TRgb Meadow(float x, float z, float pixel) {
  const float patches = Fbm(x * 0.035f, z * 0.035f, kSeed + 5, 4);
  TRgb c = Mix(TRgb{0.29f, 0.50f, 0.18f}, TRgb{0.55f, 0.66f, 0.28f}, SmoothStep(0.35f, 0.7f, patches));
  // Tufts: darker clumps and lighter blades, fading where a pixel covers many.
  const float tufts = pixel < 2.5f ? Fbm(x * 0.45f, z * 0.45f, kSeed + 4, 3) - 0.5f : 0.0f;
  const float grain = pixel < 0.3f ? Fbm(x * 2.6f, z * 2.6f, kSeed + 6, 2) - 0.5f : 0.0f;
  // Blades: fine strokes that stand upright in the picture (long along the view).
  const float blades = pixel < 0.03f ? Noise(x * 45, z * 9, kSeed + 3) - 0.5f : 0.0f;
  c = c * (1 + 0.28f * tufts * (1 - SmoothStep(0.5f, 2.5f, pixel)) +
           0.3f * grain * (1 - SmoothStep(0.04f, 0.3f, pixel)) +
           0.3f * blades * (1 - SmoothStep(0.008f, 0.03f, pixel)));
  // Fields in the distance, each its own crop, edged by hedges.
  const float fields = SmoothStep(60, 130, z);
  if (fields > 0) {
    const float ca = 0.94f, sa = 0.34f;
    const float fx = (x * ca + z * sa) / 75, fz = (z * ca - x * sa) / 48;
    const int ix = int(std::floor(fx)), iz = int(std::floor(fz));
    static const TRgb crops[] = {{0.36f, 0.55f, 0.22f}, {0.80f, 0.72f, 0.40f}, {0.52f, 0.66f, 0.26f},
                                 {0.58f, 0.47f, 0.33f}, {0.42f, 0.60f, 0.25f}, {0.70f, 0.70f, 0.36f}};
    TRgb crop = crops[int(Hash(ix, iz, kSeed + 8) * 5.999f)];
    // Furrows along each field, fading where a pixel covers several.
    const float furrows = 0.5f + 0.5f * std::sin(fx * 75 / 1.2f);
    crop = crop * (1 + 0.08f * (furrows - 0.5f) * (1 - SmoothStep(0.3f, 0.9f, pixel)));
    const float ex = std::min(Fract(fx), 1 - Fract(fx)) * 75, ez = std::min(Fract(fz), 1 - Fract(fz)) * 48;
    const float hedge = 1 - SmoothStep(1.0f, 1.0f + std::max(1.5f, pixel * 1.5f), std::min(ex, ez));
    crop = Mix(crop, TRgb{0.20f, 0.36f, 0.17f}, hedge * 0.85f);
    c = Mix(c, crop, fields);
  }
  return c;
}

// Ground: meadow, the ballasted track with sleepers and rails, the platform.
// Across the road (metres from its middle), or a large number away from it; the road ends in a
// round forecourt.
float RoadDistance(float x, float z) {
  const TRoad& road = Scene().Road;
  if (z > road.EndZ) {
    const float dx = x - road.X(road.EndZ), dz = z - road.EndZ;
    return std::sqrt(dx * dx + dz * dz) - 2.0f;
  }
  const float slope = road.Slope(z);
  const float across = std::fabs(x - road.X(z)) / std::sqrt(1 + slope * slope);
  // The forecourt widens the road's last metres.
  const float widen = 2.0f * SmoothStep(road.EndZ - 9, road.EndZ, z);
  return across - widen;
}

TRgb Ground(TVec p, float footAcross, float footAlong) {
  const float pixel = std::max(footAcross, footAlong);
  TRgb c = Meadow(p.X, p.Z, pixel);
  // Flowers in the grass near the viewer.
  if (pixel < 0.03f) {
    const float cell = 0.16f;
    const int ix = int(std::floor(p.X / cell)), iz = int(std::floor(p.Z / cell));
    const float pick = Hash(ix, iz, kSeed + 90);
    if (pick > 0.9f) {
      const float fx = (Fract(p.X / cell) - 0.25f - 0.5f * Hash(ix, iz, kSeed + 91)) * cell;
      const float fz = (Fract(p.Z / cell) - 0.25f - 0.5f * Hash(ix, iz, kSeed + 92)) * cell;
      if (fx * fx + fz * fz < 0.028f * 0.028f) {
        static const TRgb blossoms[] = {
            {0.98f, 0.97f, 0.92f}, {0.98f, 0.85f, 0.25f}, {0.90f, 0.30f, 0.28f}, {0.70f, 0.55f, 0.90f}};
        c = Mix(c, blossoms[int(Hash(ix, iz, kSeed + 93) * 3.999f)], 1 - SmoothStep(0.01f, 0.03f, pixel));
      }
    }
  }
  // The gravel road with its wheel ruts and a grassy middle.
  const float road = RoadDistance(p.X, p.Z);
  if (road < 2.2f) {
    const float across = std::fabs(p.X - Scene().Road.X(std::min(p.Z, Scene().Road.EndZ)));
    TRgb gravel = TRgb{0.76f, 0.70f, 0.58f} * (0.92f + 0.16f * (Fbm(p.X * 4, p.Z * 4, kSeed + 70, 2) - 0.5f));
    const float forecourt = SmoothStep(Scene().Road.EndZ - 8, Scene().Road.EndZ - 4, p.Z);
    const float ruts = (1 - forecourt) * (1 - SmoothStep(0.12f, 0.3f, std::fabs(across - 0.8f)));
    gravel = gravel * (1 - 0.14f * ruts);
    const float middle = (1 - forecourt) * (1 - SmoothStep(0.15f, 0.35f, across));
    gravel = Mix(gravel, c * 1.05f, 0.55f * middle);
    const float edge = 1.55f + 0.25f * (Fbm(p.X * 1.3f, p.Z * 1.3f, kSeed + 71, 2) - 0.5f);
    c = Mix(gravel, c, SmoothStep(edge - 0.15f - pixel, edge + 0.15f + pixel, road));
  }
  const TTrackPlace place = TrackPlace(p.X, p.Z);
  const float d = place.D, ad = std::fabs(d);
  const TScene& scene = Scene();
  // The platform: a paved strip between track and station, its edge slabs light.
  const float ds = place.S - scene.StationS;
  const bool platform = d > 1.75f && d < kStationSide - kStationHalfDepth && std::fabs(ds) < 11;
  if (ad < 2.3f) {
    const float edge = 1.55f + 0.18f * (Fbm(place.S * 0.8f, d, kSeed + 12, 2) - 0.5f);
    TRgb ballast =
        TRgb{0.58f, 0.55f, 0.50f} * (0.86f + 0.34f * (Fbm(place.S * 9, d * 9, kSeed + 13, 2) - 0.5f) *
                                                 (1 - SmoothStep(0.05f, 0.3f, footAlong)));
    // The shoulder falls away and gets weedy.
    ballast = ballast * (1 - 0.18f * SmoothStep(1.1f, edge, ad));
    if (ad < 1.3f) {
      const float phase = Fract(place.S / kSleeperPitch);
      const float sleeper = phase < 0.42f ? 1.0f : 0.0f;
      const float perPeriod = kSleeperPitch / std::max(footAlong, 1e-4f);  // pixels per sleeper
      const float contrast = SmoothStep(1.4f, 3.5f, perPeriod);
      const float wood = Mix(0.42f, sleeper, contrast);
      ballast = Mix(ballast, TRgb{0.33f, 0.26f, 0.21f}, wood);
    }
    for (float rail : {-kRailOffset, kRailOffset}) {
      const float r = d - rail;
      if (r > -0.13f && r < -0.03f) ballast = ballast * 0.6f;  // shadow on the side away from the sun
      if (r >= -0.03f && r < 0.03f) ballast = TRgb{0.84f, 0.82f, 0.78f};
      if (r >= 0.03f && r < 0.075f) ballast = TRgb{0.38f, 0.27f, 0.20f};
    }
    if (!platform) c = Mix(ballast, c, SmoothStep(edge, edge + 0.35f, ad));
  }
  if (platform) {
    const float inside = d - 1.75f;
    TRgb paving = TRgb{0.68f, 0.66f, 0.62f};
    if (inside < 0.12f)
      paving = TRgb{0.30f, 0.29f, 0.28f};  // the platform's front wall
    else if (inside < 0.45f)
      paving = TRgb{0.88f, 0.87f, 0.83f};
    else {
      const float joints = (Fract(place.S / 0.5f) < 0.08f || Fract(inside / 0.5f) < 0.08f) ? 0.9f : 1.0f;
      paving = paving * Mix(0.97f, joints, 1 - SmoothStep(0.05f, 0.2f, footAlong));
    }
    const float ends = SmoothStep(11, 10.6f, std::fabs(ds));
    c = Mix(c, paving, ends);
  }
  return c * SunLight(p);
}

// The engine (red, cream stripe, cab windows, louvres, three lamps at the front) and the green
// coaches (a row of windows, doors at the ends), in a face's own coordinates.
TRgb VehicleColour(const TFace& f, float u, float v) {
  const bool engine = f.Livery == 0;
  const TRgb paint = engine ? TRgb{0.74f, 0.14f, 0.11f} : TRgb{0.19f, 0.42f, 0.30f};
  const TRgb cream{0.94f, 0.89f, 0.76f}, glassDark{0.14f, 0.19f, 0.25f}, glassLight{0.52f, 0.62f, 0.70f};
  auto pane = [&](float u0, float u1, float v0, float v1, TRgb frame) -> std::optional<TRgb> {
    if (u < u0 || u > u1 || v < v0 || v > v1) return std::nullopt;
    if (u < u0 + 0.07f || u > u1 - 0.07f || v < v0 + 0.07f || v > v1 - 0.07f) return frame;
    return Mix(glassDark, glassLight, SmoothStep(0.55f, 0.9f, Fract((u + v) * 0.45f)));
  };
  auto lamp = [&](float cu, float cv, float r) -> std::optional<TRgb> {
    const float d = std::sqrt((u - cu) * (u - cu) + (v - cv) * (v - cv));
    if (d < r) return TRgb{1.0f, 0.98f, 0.88f};
    if (d < r + 0.05f) return TRgb{0.15f, 0.15f, 0.15f};
    return std::nullopt;
  };
  switch (f.Kind) {
    case TFaceKind::CarRoof:
      return TRgb{0.46f, 0.46f, 0.48f} * (engine ? 1.0f : 1.08f);
    case TFaceKind::CarFrame: {
      TRgb c{0.16f, 0.16f, 0.17f};
      if (f.Front) {
        // Buffer beam with two buffers.
        if (v > 0.55f) c = engine ? TRgb{0.62f, 0.10f, 0.08f} : TRgb{0.20f, 0.20f, 0.20f};
        for (float bu : {0.38f, f.Width - 0.38f}) {
          const float d = std::sqrt((u - bu) * (u - bu) + (v - 0.8f) * (v - 0.8f));
          if (d < 0.17f) c = d < 0.12f ? TRgb{0.55f, 0.55f, 0.56f} : TRgb{0.08f, 0.08f, 0.08f};
        }
        return c;
      }
      if (f.Width < 2 * kCarHalfWidth) return c;
      // Two bogies of two wheels each.
      for (float bogie : {2.4f, f.Width - 2.4f})
        for (float axle : {-1.05f, 1.05f}) {
          const float du = u - bogie - axle, dv = v - 0.47f;
          const float d = std::sqrt(du * du + dv * dv);
          if (d < 0.46f)
            return d > 0.38f  ? TRgb{0.40f, 0.40f, 0.41f}
                   : d < 0.1f ? TRgb{0.5f, 0.5f, 0.5f}
                              : TRgb{0.12f, 0.12f, 0.13f};
        }
      return c * (std::fabs(u - f.Width * 0.5f) < f.Width * 0.5f - 3.7f && v < 0.75f ? 0.5f : 1.0f);
    }
    case TFaceKind::CarEnd: {
      if (engine && f.Front) {
        if (auto l = lamp(0.42f, 1.55f, 0.14f)) return *l;
        if (auto l = lamp(f.Width - 0.42f, 1.55f, 0.14f)) return *l;
        if (auto l = lamp(f.Width * 0.5f, 3.62f, 0.12f)) return *l;
        if (auto g = pane(0.18f, f.Width * 0.5f - 0.06f, 2.5f, 3.45f, TRgb{0.15f, 0.15f, 0.15f})) return *g;
        if (auto g = pane(f.Width * 0.5f + 0.06f, f.Width - 0.18f, 2.5f, 3.45f, TRgb{0.15f, 0.15f, 0.15f}))
          return *g;
        if (v > 2.05f && v < 2.25f) return cream;
        return v < 1.3f ? paint * 0.8f : paint;
      }
      if (!engine && std::fabs(u - f.Width * 0.5f) < 0.45f && v < 3.5f) return TRgb{0.12f, 0.12f, 0.12f};
      if (v > 2.05f && v < 2.25f) return cream;
      return paint;
    }
    default:
      break;
  }
  // The sides.
  if (engine) {
    for (float cab : {0.5f, f.Width - 1.6f})
      if (auto g = pane(cab, cab + 1.1f, 2.55f, 3.45f, TRgb{0.15f, 0.15f, 0.15f})) return *g;
    if (u > 2.6f && u < f.Width - 2.6f && v > 2.55f && v < 3.45f)
      return Fract(u / 0.16f) < 0.4f ? paint * 0.55f : paint * 0.95f;  // louvres
    if (v > 2.05f && v < 2.25f) return cream;
    if ((std::fabs(u - 1.9f) < 0.04f || std::fabs(u - (f.Width - 1.9f)) < 0.04f) && v > 1.2f && v < 3.5f)
      return paint * 0.6f;  // cab doors
    return paint;
  }
  for (float door : {0.45f, f.Width - 1.25f}) {
    if (u > door && u < door + 0.8f && v > 1.15f && v < 3.45f) {
      if (auto g = pane(door + 0.12f, door + 0.68f, 2.55f, 3.3f, paint)) return *g;
      return u < door + 0.05f || u > door + 0.75f ? paint * 0.6f : paint * 0.95f;
    }
  }
  const float inner = u - 1.7f;
  if (inner > 0 && u < f.Width - 1.7f) {
    const float pitch = 1.95f;
    const float at = Fract(inner / pitch) * pitch;
    if (auto g = pane(u - at + 0.25f, u - at + 1.7f, 2.45f, 3.35f, cream)) return *g;
  }
  if (v > 2.05f && v < 2.2f) return cream;
  return paint;
}

TRgb Shade(const THit& hit, TVec dir, float focal) {
  const TScene& scene = Scene();
  switch (hit.What) {
    case TWhat::Sky:
      return Sky(dir);
    case TWhat::Ground: {
      const TVec& p = hit.Point;
      // One pixel's size on the ground across the view and along it.
      const float across = p.Z / focal, along = p.Z * p.Z / (focal * kEyeHeight);
      const TTrackPlace place = TrackPlace(p.X, p.Z);
      const float footAlong = std::fabs(place.Forward.X) * across + std::fabs(place.Forward.Z) * along;
      const float footAcross = std::fabs(place.Right.X) * across + std::fabs(place.Right.Z) * along;
      return Haze(Ground(p, footAcross, footAlong), p.Z);
    }
    case TWhat::Hill: {
      const THill& h = kHills[hit.Index];
      const float top = HillHeight(h, hit.U);
      TRgb c;
      if (hit.V > top) {
        // Woods along the ridge.
        const float n = Fbm(hit.U * 0.4f, hit.V * 0.4f, kSeed + h.Seed + 50, 3);
        c = Mix(TRgb{0.16f, 0.30f, 0.15f}, TRgb{0.32f, 0.46f, 0.22f}, n);
      } else {
        const float up = Clamp01(hit.V / std::max(top, 1.0f));
        const float n = Fbm(hit.U / (h.Width * 0.18f), hit.V / (h.Width * 0.05f), kSeed + h.Seed + 60, 4);
        c = h.Colour * (0.86f + 0.22f * up + 0.18f * (n - 0.5f));
        // The foot of the hill becomes the meadow in front of it.
        const float foot = SmoothStep(0.0f, 0.3f * top, hit.V);
        if (foot < 1) c = Mix(Meadow(hit.U, h.Z, h.Z / focal), c, foot);
      }
      return Haze(c, h.Z * 0.45f);
    }
    case TWhat::Tree: {
      TRgb c;
      TreeAt(kTrees[hit.Index], hit.U, hit.V, c);
      return Haze(c, hit.Point.Z);
    }
    case TWhat::Signal: {
      TRgb c;
      SignalAt(hit.U, hit.V, c);
      return Haze(c, hit.Point.Z);
    }
    case TWhat::Face:
      break;
  }
  const TFace& f = scene.Bodies[size_t(hit.Index / 64)].Faces[size_t(hit.Index % 64)];
  const float light = 0.58f + 0.52f * std::max(0.0f, Dot(f.Normal, kSun));
  const float u = hit.U, v = hit.V;
  TRgb c;
  auto window = [&](float u0, float u1, float v0, float v1) {
    if (u < u0 || u > u1 || v < v0 || v > v1) return false;
    const float frame = 0.09f;
    if (u < u0 + frame || u > u1 - frame || v < v0 + frame || v > v1 - frame ||
        std::fabs(v - (v0 + v1) * 0.55f) < 0.04f || std::fabs(u - (u0 + u1) * 0.5f) < 0.035f)
      c = {0.95f, 0.94f, 0.90f};
    else
      c = Mix(TRgb{0.17f, 0.23f, 0.30f}, TRgb{0.45f, 0.55f, 0.64f},
              SmoothStep(0.3f, 1.0f, Fract((u - v) * 0.9f)));
    return true;
  };
  switch (f.Kind) {
    case TFaceKind::LongWall: {
      c = TRgb{0.93f, 0.85f, 0.68f};
      if (v < 0.45f) c = TRgb{0.56f, 0.52f, 0.47f};
      const float mid = f.Width * 0.5f;
      bool done = false;
      if (f.Front && std::fabs(u - mid) < 0.7f && v < 2.45f) {
        c = std::fabs(u - mid) > 0.6f || v > 2.35f ? TRgb{0.95f, 0.94f, 0.90f} : TRgb{0.45f, 0.27f, 0.16f};
        done = true;
      }
      for (float w : {1.7f, 3.9f, f.Width - 3.9f, f.Width - 1.7f})
        if (!done && window(w - 0.55f, w + 0.55f, 1.0f, 2.55f)) done = true;
      if (!f.Front && !done) window(mid - 0.55f, mid + 0.55f, 1.0f, 2.55f);
      break;
    }
    case TFaceKind::EndWall: {
      c = TRgb{0.93f, 0.85f, 0.68f};
      if (v < 0.45f) c = TRgb{0.56f, 0.52f, 0.47f};
      if (v > kWallHeight) {
        // Boarded gable.
        const float board = Fract(u / 0.22f);
        c = TRgb{0.55f, 0.36f, 0.22f} *
            (board < 0.12f ? 0.7f : 0.95f + 0.1f * Hash(int(u / 0.22f), 0, kSeed));
      }
      window(f.Width * 0.5f - 0.55f, f.Width * 0.5f + 0.55f, 1.0f, 2.55f);
      break;
    }
    case TFaceKind::Roof: {
      const int row = int(std::floor(v / 0.3f));
      const float tile = Fract(v / 0.3f);
      const int col = int(std::floor(u / 0.26f + (row & 1) * 0.5f));
      c = TRgb{0.66f, 0.29f, 0.20f} * (0.88f + 0.2f * Hash(col, row, kSeed + 31));
      if (tile < 0.16f) c = c * 0.68f;
      if (v > f.Height - 0.2f) c = TRgb{0.45f, 0.20f, 0.15f};
      break;
    }
    case TFaceKind::Chimney:
      c = TRgb{0.58f, 0.32f, 0.25f} * (Fract(v / 0.15f) < 0.15f ? 0.8f : 1.0f);
      if (v > kWallHeight + kRidgeRise + 0.6f) c = TRgb{0.3f, 0.28f, 0.27f};
      break;
    case TFaceKind::ChimneyTop:
      c = {0.12f, 0.11f, 0.11f};
      break;
    case TFaceKind::CarSide:
    case TFaceKind::CarEnd:
    case TFaceKind::CarRoof:
    case TFaceKind::CarFrame:
      c = VehicleColour(f, u, v);
      break;
  }
  return Haze(c * light, hit.Point.Z);
}

// How many samples a pixel needs: one where it shows a plain surface, 4 x 4 where it lies on an
// edge between two things or on rails thinner than a few pixels, and four first where it shows
// finer detail (all 16 only where those four differ).
enum class TSampling { One, Probe, All };
TSampling Sampling(const THit& hit, float focal) {
  if (hit.What == TWhat::Face || hit.What == TWhat::Signal) return TSampling::Probe;
  if (hit.What != TWhat::Ground) return TSampling::One;
  const TTrackPlace place = TrackPlace(hit.Point.X, hit.Point.Z);
  if (std::fabs(place.D) < 2.6f) return hit.Point.Z / focal > 0.012f ? TSampling::All : TSampling::Probe;
  if (RoadDistance(hit.Point.X, hit.Point.Z) < 2.6f) return TSampling::Probe;
  const bool platform = place.D > 0 && place.D < kStationSide && std::fabs(place.S - Scene().StationS) < 12;
  return platform ? TSampling::Probe : TSampling::One;
}

// ---- the icon ---------------------------------------------------------------------------------

// Signed distance to a box with rounded corners (centre, half sizes, corner radius).
float RoundBox(float u, float v, float cu, float cv, float hu, float hv, float r) {
  const float qx = std::fabs(u - cu) - hu + r, qy = std::fabs(v - cv) - hv + r;
  const float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
  return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0f) - r;
}

float Circle(float u, float v, float cu, float cv, float r) {
  return std::sqrt((u - cu) * (u - cu) + (v - cv) * (v - cv)) - r;
}

// One sample of the icon at (u, v) in [0, 1] (v downwards): a rounded square with sky and meadow,
// a track running towards the horizon and an engine's front on it. False outside the square.
bool IconSample(float u, float v, bool small, bool tiny, float size, TRgb& c) {
  const float margin = tiny ? 0.0f : 1.0f / 32, corner = 0.2f;
  const float square = RoundBox(u, v, 0.5f, 0.5f, 0.5f - margin, 0.5f - margin, corner);
  if (square > 0) return false;
  constexpr float horizon = 0.50f;
  if (v < horizon)
    c = Mix(TRgb{0.33f, 0.62f, 0.88f}, TRgb{0.78f, 0.89f, 0.97f}, SmoothStep(0.0f, horizon, v));
  else
    c = Mix(TRgb{0.42f, 0.68f, 0.28f}, TRgb{0.22f, 0.48f, 0.18f}, SmoothStep(horizon, 1.0f, v));
  // The track: ballast, sleepers closer together towards the horizon, two rails.
  if (v > horizon) {
    const float depth = (v - horizon) / (1 - horizon);  // 0 at the horizon, 1 at the bottom
    const float off = u - 0.5f;
    const float ballast = 0.44f * depth, gauge = 0.25f * depth;
    if (std::fabs(off) < ballast) c = TRgb{0.62f, 0.58f, 0.53f};
    if (!small && std::fabs(off) < gauge * 1.35f) {
      // Sleepers at equal steps on the ground: equal steps of 1 / depth.
      const float ground = 1 / std::max(depth, 0.02f);
      if (Fract(ground * 1.6f) < 0.45f * std::min(1.0f, depth * 3)) c = TRgb{0.40f, 0.29f, 0.22f};
    }
    const float rail = (small ? 0.05f : 0.03f) * std::max(depth, 0.25f);
    if (std::fabs(std::fabs(off) - gauge) < rail) c = TRgb{0.86f, 0.86f, 0.84f};
  }
  // The engine's shadow on the ground and the track.
  if (v > 0.78f && v < 0.86f && std::fabs(u - 0.5f) < 0.3f)
    c = c * (0.75f + 0.25f * SmoothStep(0.8f, 0.86f, v));
  // The engine's front, standing on the track.
  const float top = tiny ? 0.2f : 0.24f, bottom = tiny ? 0.8f : 0.8f, half = tiny ? 0.3f : 0.245f;
  const TRgb red{0.82f, 0.16f, 0.12f}, dark{0.14f, 0.13f, 0.13f}, cream{0.96f, 0.91f, 0.78f};
  const float body = RoundBox(u, v, 0.5f, (top + bottom) / 2, half, (bottom - top) / 2, tiny ? 0.1f : 0.12f);
  if (body < 0) {
    c = red * (1.08f - 0.25f * SmoothStep(top, bottom, v));
    if (!tiny && v < top + 0.05f) c = c * 1.12f;  // light on the roof's curve
    // A dark rim round the body sets it off from the sky and the track.
    const float rim = tiny ? 0.06f : small ? 0.045f : std::max(0.018f, 1.5f / size);
    if (body > -rim) c = TRgb{0.45f, 0.07f, 0.06f};
    const float paneTop = top + 0.09f, paneBottom = top + (tiny ? 0.27f : 0.24f);
    const float glassGap = tiny ? 0.0f : 0.03f;
    for (int side : {-1, 1}) {
      const float cu = 0.5f + float(side) * (half * 0.5f - (tiny ? 0.0f : 0.01f));
      const float hu = tiny ? half - 0.09f : half * 0.5f - glassGap - 0.035f;
      if (tiny && side > 0) break;
      const float pane = RoundBox(u, v, tiny ? 0.5f : cu, (paneTop + paneBottom) / 2, hu,
                                  (paneBottom - paneTop) / 2, 0.025f);
      if (pane < 0) {
        c = Mix(TRgb{0.13f, 0.18f, 0.26f}, TRgb{0.40f, 0.52f, 0.64f}, SmoothStep(paneTop, paneBottom, v));
        // A streak of reflected sky.
        const float streak = std::fabs((u - cu) + (v - paneTop) * 0.8f - 0.02f);
        if (!small && streak < 0.018f) c = Mix(c, TRgb{0.85f, 0.92f, 0.97f}, 0.8f);
      }
    }
    if (!tiny && std::fabs(v - (top + 0.33f)) < 0.022f) c = cream;
    const float lampV = top + (tiny ? 0.42f : 0.44f), lampR = tiny ? 0.085f : small ? 0.065f : 0.05f;
    for (int side : {-1, 1})
      if (Circle(u, v, 0.5f + float(side) * half * 0.58f, lampV, lampR) < 0) c = TRgb{1.0f, 0.97f, 0.80f};
    if (!small && Circle(u, v, 0.5f, top + 0.045f, 0.03f) < 0) c = TRgb{1.0f, 0.97f, 0.80f};
  }
  // Buffer beam and buffers below the body.
  const float beamTop = bottom - (tiny ? 0.1f : 0.075f);
  if (!tiny && v > beamTop && v < bottom + 0.01f && std::fabs(u - 0.5f) < half + 0.02f) c = dark;
  if (!small)
    for (int side : {-1, 1})
      if (Circle(u, v, 0.5f + float(side) * (half - 0.02f), bottom - 0.035f, 0.04f) < 0)
        c = TRgb{0.55f, 0.55f, 0.56f};
  // A thin dark edge round the square keeps it apart from light backgrounds.
  const float edge = std::max(0.012f, 0.8f / size);
  if (square > -edge) c = c * 0.72f;
  return true;
}

}  // namespace

uint32_t DesktopBackgroundEdgeColour() { return Pack(kEdge); }

std::vector<uint32_t> PaintDesktopBackground(uint32_t width, uint32_t height) {
  if (width == 0 || height == 0 || width > 8192 || height > 8192)
    throw std::invalid_argument("Bildgröße ungültig: " + std::to_string(width) + " x " +
                                std::to_string(height));
  const float h = float(height), w = float(width);
  const float focal = 1.1f * h, cx = 0.5f * w, horizon = 0.40f * h;
  auto ray = [&](float px, float py) { return TVec{(px - cx) / focal, -(py - horizon) / focal, 1}; };
  // First the thing seen through each pixel's centre; edges between things get many samples.
  std::vector<int> ids(size_t(width) * height);
  std::vector<THit> centre(size_t(width) * height);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      const size_t i = size_t(y) * width + x;
      centre[i] = Trace(ray(float(x) + 0.5f, float(y) + 0.5f));
      ids[i] = centre[i].Id();
    }
  const TRgb edge = kEdge;
  const float fadeX = 0.075f * w, fadeY = 0.06f * h;
  std::vector<uint32_t> pixels(size_t(width) * height);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      const size_t i = size_t(y) * width + x;
      TSampling sampling = Sampling(centre[i], focal);
      for (int dy = -1; dy <= 1 && sampling != TSampling::All; ++dy)
        for (int dx = -1; dx <= 1 && sampling != TSampling::All; ++dx) {
          const int nx = int(x) + dx, ny = int(y) + dy;
          if (nx >= 0 && ny >= 0 && nx < int(width) && ny < int(height) &&
              ids[size_t(ny) * width + size_t(nx)] != ids[i])
            sampling = TSampling::All;
        }
      TRgb c;
      if (sampling == TSampling::One) {
        c = Shade(centre[i], ray(float(x) + 0.5f, float(y) + 0.5f), focal);
      } else {
        // A 4 x 4 grid; the probe takes every other sample of every other row first.
        constexpr int n = 4;
        std::array<TRgb, n * n> samples;
        auto sample = [&](int sx, int sy) {
          const TVec dir = ray(float(x) + (float(sx) + 0.5f) / n, float(y) + (float(sy) + 0.5f) / n);
          samples[size_t(sy * n + sx)] = Shade(Trace(dir), dir, focal);
        };
        TRgb low{9, 9, 9}, high{-9, -9, -9}, probe;
        for (int sy = 1; sy < n; sy += 2)
          for (int sx = 1; sx < n; sx += 2) {
            sample(sx, sy);
            const TRgb& v = samples[size_t(sy * n + sx)];
            low = {std::min(low.R, v.R), std::min(low.G, v.G), std::min(low.B, v.B)};
            high = {std::max(high.R, v.R), std::max(high.G, v.G), std::max(high.B, v.B)};
            probe = probe + v * 0.25f;
          }
        const float spread = std::max({high.R - low.R, high.G - low.G, high.B - low.B});
        if (sampling == TSampling::Probe && spread < 0.05f) {
          c = probe;
        } else {
          for (int sy = 0; sy < n; ++sy)
            for (int sx = 0; sx < n; ++sx) {
              if (sx % 2 == 0 || sy % 2 == 0) sample(sx, sy);
              c = c + samples[size_t(sy * n + sx)] * (1.0f / (n * n));
            }
        }
      }
      // Every border melts into the calm sky colour the window fills its sides with.
      const float ex = SmoothStep(0, 1, std::min(float(x), w - 1 - float(x)) / fadeX);
      const float ey = SmoothStep(0, 1, std::min(float(y), h - 1 - float(y)) / fadeY);
      pixels[i] = Pack(Mix(edge, c, ex * ey));
    }
  return pixels;
}

std::vector<uint32_t> PaintProgramIcon(uint32_t size) {
  if (size < 8 || size > 1024) throw std::invalid_argument("Symbolgröße ungültig: " + std::to_string(size));
  // Small icons get more samples per pixel and fewer details; their shapes are a little bolder.
  const int n = size <= 32 ? 8 : 4;
  const bool small = size < 32, tiny = size < 24;
  std::vector<uint32_t> pixels(size_t(size) * size);
  for (uint32_t y = 0; y < size; ++y)
    for (uint32_t x = 0; x < size; ++x) {
      TRgb sum;
      float alpha = 0;
      for (int sy = 0; sy < n; ++sy)
        for (int sx = 0; sx < n; ++sx) {
          const float u = (float(x) + (float(sx) + 0.5f) / float(n)) / float(size);
          const float v = (float(y) + (float(sy) + 0.5f) / float(n)) / float(size);
          TRgb c;
          if (IconSample(u, v, small, tiny, float(size), c)) {
            sum = sum + c;
            alpha += 1;
          }
        }
      pixels[size_t(y) * size + x] = alpha > 0 ? Pack(sum * (1 / alpha), alpha / float(n * n)) : 0;
    }
  return pixels;
}

std::vector<std::string> WriteDesktopFiles(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error || !std::filesystem::is_directory(folder, error))
    throw std::runtime_error("Ordner kann nicht angelegt werden: " + folder.string());
  std::vector<std::string> names;
  auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) throw std::runtime_error("Bild konnte nicht erzeugt werden: " + name);
    gx::TGXAtomicFile::WriteFile((folder / name).string(), bytes.data(), bytes.size());
    names.push_back(name);
  };
  {
    const std::vector<uint32_t> pixels = PaintDesktopBackground(kBackgroundWidth, kBackgroundHeight);
    rr::TRRBitmap bitmap;
    bitmap.Width = int(kBackgroundWidth);
    bitmap.Height = int(kBackgroundHeight);
    bitmap.Pixels.reserve(pixels.size() * 3);
    for (uint32_t p : pixels) {
      bitmap.Pixels.push_back(uint8_t(p >> 16));
      bitmap.Pixels.push_back(uint8_t(p >> 8));
      bitmap.Pixels.push_back(uint8_t(p));
    }
    write("Background.jpg", rr::RREncodeJpeg(bitmap, 90));
  }
  for (uint32_t size : kIconSizes)
    write("velmora-" + std::to_string(size) + ".png",
          rr::RREncodePng(size, size, PaintProgramIcon(size), true));
  return names;
}

}  // namespace assetgen
