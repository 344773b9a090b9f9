#include "tools/assetgen/VehicleTextures.h"

#include "tools/assetgen/Textures.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <stdexcept>

namespace assetgen {

namespace {

// ---- colours and noise (the same recipes as the buildings' textures) ----

struct TRgb {
  float R, G, B;
};

TRgb Rgb(uint32_t c) { return {float((c >> 16) & 255), float((c >> 8) & 255), float(c & 255)}; }
uint32_t Pack(const TRgb& c) {
  auto b = [](float v) { return uint32_t(std::clamp(int(std::lround(v)), 0, 255)); };
  return 0xFF000000u | (b(c.R) << 16) | (b(c.G) << 8) | b(c.B);
}
TRgb Mix(const TRgb& a, const TRgb& b, float t) {
  return {a.R + (b.R - a.R) * t, a.G + (b.G - a.G) * t, a.B + (b.B - a.B) * t};
}
TRgb Scale(const TRgb& c, float f) { return {c.R * f, c.G * f, c.B * f}; }
uint32_t Shade(uint32_t c, float f) { return Pack(Scale(Rgb(c), f)); }


// A little weathering around 0 (about -0.5..0.5).
float Grain(const TImage& img, uint32_t x, uint32_t y, uint32_t seed) {
  const uint32_t cell = 16, period = std::max<uint32_t>(1, img.Width / cell);
  return 0.6f * Smooth(float(x), float(y), cell, period, seed) + 0.4f * Random(x, y, seed + 1) - 0.5f;
}

void Paint(TImage& img, const std::function<uint32_t(uint32_t x, uint32_t y)>& f) {
  for (uint32_t y = 0; y < img.Height; ++y)
    for (uint32_t x = 0; x < img.Width; ++x) img.At(x, y) = f(x, y);
}

void FillRect(TImage& img, int x0, int y0, int x1, int y1, uint32_t colour) {
  for (int y = std::max(0, y0); y < std::min(int(img.Height), y1); ++y)
    for (int x = std::max(0, x0); x < std::min(int(img.Width), x1); ++x)
      img.At(uint32_t(x), uint32_t(y)) = colour;
}

// An unfilled rectangle one pixel wide.
void FrameRect(TImage& img, int x0, int y0, int x1, int y1, uint32_t colour) {
  FillRect(img, x0, y0, x1, y0 + 1, colour);
  FillRect(img, x0, y1 - 1, x1, y1, colour);
  FillRect(img, x0, y0, x0 + 1, y1, colour);
  FillRect(img, x1 - 1, y0, x1, y1, colour);
}

void FillDisc(TImage& img, float cx, float cy, float r, uint32_t colour) {
  for (int y = int(cy - r) - 1; y <= int(cy + r) + 1; ++y)
    for (int x = int(cx - r) - 1; x <= int(cx + r) + 1; ++x) {
      if (x < 0 || y < 0 || x >= int(img.Width) || y >= int(img.Height)) continue;
      const float dx = float(x) + 0.5f - cx, dy = float(y) + 0.5f - cy;
      if (dx * dx + dy * dy <= r * r) img.At(uint32_t(x), uint32_t(y)) = colour;
    }
}

void Line(TImage& img, float x0, float y0, float x1, float y1, float width, uint32_t colour) {
  const int steps = int(std::max(std::fabs(x1 - x0), std::fabs(y1 - y0)) * 2) + 1;
  for (int i = 0; i <= steps; ++i) {
    const float t = float(i) / float(steps);
    FillDisc(img, x0 + (x1 - x0) * t, y0 + (y1 - y0) * t, width / 2, colour);
  }
}

// Glass with the sky mirrored in its top and a light streak, inside a frame.
void Pane(TImage& img, int x0, int y0, int x1, int y1, uint32_t frame, int border, uint32_t seed) {
  const TRgb glass = Rgb(0xFF2C3640), sky = Rgb(0xFF9DB0BE);
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const float t = float(y - y0) / float(std::max(1, y1 - y0 - 1));
      TRgb g = Mix(sky, glass, 0.3f + 0.65f * t);
      const int streak = (x - x0) - (y - y0) + (x1 - x0) / 4;
      if (streak > 0 && streak < std::max(2, (x1 - x0) / 5)) g = Mix(g, sky, 0.4f);
      g = Scale(g, 0.96f + 0.08f * Random(uint32_t(x), uint32_t(y), seed));
      img.At(uint32_t(x), uint32_t(y)) = Pack(g);
    }
  for (int b = 0; b < border; ++b) FrameRect(img, x0 + b, y0 + b, x1 - b, y1 - b, b == border - 1 ? Shade(frame, 0.75f) : frame);
}

// The railway's sign: a ring with a fir tree standing in it.
void Logo(TImage& img, float cx, float cy, float r, uint32_t ring, uint32_t field) {
  FillDisc(img, cx, cy, r, ring);
  FillDisc(img, cx, cy, r * 0.78f, field);
  // Three tiers of the tree, each a triangle, and the trunk.
  for (int tier = 0; tier < 3; ++tier) {
    const float top = cy - r * 0.62f + float(tier) * r * 0.3f, bottom = top + r * 0.42f;
    const float half = r * (0.22f + 0.12f * float(tier));
    for (int y = int(top); y <= int(bottom); ++y) {
      const float t = (float(y) - top) / (bottom - top);
      const float w = half * t;
      FillRect(img, int(std::lround(cx - w)), y, int(std::lround(cx + w)) + 1, y + 1, ring);
    }
  }
  FillRect(img, int(cx - r * 0.08f), int(cy + r * 0.45f), int(cx + r * 0.08f) + 1, int(cy + r * 0.62f), ring);
}

// ---- the block font ----

const std::map<char, std::vector<const char*>>& Font() {
  static const std::map<char, std::vector<const char*>> font = {
      {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
      {'B', {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."}},
      {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
      {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
      {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
      {'F', {"#####", "#....", "#....", "####.", "#....", "#....", "#...."}},
      {'G', {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"}},
      {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
      {'I', {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
      {'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
      {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
      {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
      {'N', {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"}},
      {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
      {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
      {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
      {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
      {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
      {'U', {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
      {'W', {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "##.##", "#...#"}},
      {'Z', {"#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"}},
      {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
      {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
      {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
      {'3', {"####.", "....#", "....#", ".###.", "....#", "....#", "####."}},
      {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
      {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
      {'6', {".###.", "#....", "#....", "####.", "#...#", "#...#", ".###."}},
      {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
      {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
      {'9', {".###.", "#...#", "#...#", ".####", "....#", "....#", ".###."}},
      {'-', {".....", ".....", ".....", "#####", ".....", ".....", "....."}},
      {'.', {".....", ".....", ".....", ".....", ".....", ".##..", ".##.."}},
      {' ', {".....", ".....", ".....", ".....", ".....", ".....", "....."}},
  };
  return font;
}

// ---- wheels ----

// A spoked driving wheel: steel tyre, red centre with spokes, hub and a counterweight.
TImage SpokedWheel() {
  TImage img(64, 64, Pack(Rgb(0xFF1A1A1A)));
  const float c = 32, tyre = 31, rim = 27, hub = 6;
  const uint32_t red = 0xFF9E2420, steel = 0xFF8C8C88, dark = 0xFF262220;
  FillDisc(img, c, c, tyre, steel);
  FillDisc(img, c, c, rim, red);
  FillDisc(img, c, c, rim - 2.5f, dark);
  for (int s = 0; s < 14; ++s) {
    const float a = float(s) * 2 * gx::GX_PI / 14;
    Line(img, c, c, c + std::cos(a) * (rim - 1), c + std::sin(a) * (rim - 1), 2.6f, red);
  }
  // The counterweight: a crescent between the spokes on one side.
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const float dx = float(x) + 0.5f - c, dy = float(y) + 0.5f - c;
      const float d = std::sqrt(dx * dx + dy * dy), a = std::atan2(dy, dx);
      if (d > 13 && d < rim - 1 && std::fabs(a - 1.2f) < 0.75f) img.At(uint32_t(x), uint32_t(y)) = red;
    }
  FillDisc(img, c, c, hub + 2, red);
  FillDisc(img, c, c, hub - 1, Shade(red, 0.7f));
  // The crank pin, the eye catches it turning.
  FillDisc(img, c + 12 * std::cos(-1.9f), c + 12 * std::sin(-1.9f), 3.2f, steel);
  return img;
}

// A disc wheel of a carriage: dark centre with six holes, steel tyre, a light mark.
TImage DiscWheel() {
  TImage img(64, 64, Pack(Rgb(0xFF1A1A1A)));
  const float c = 32;
  FillDisc(img, c, c, 31, 0xFF8A8A86);
  FillDisc(img, c, c, 27, 0xFF302C2A);
  for (int s = 0; s < 6; ++s) {
    const float a = float(s) * 2 * gx::GX_PI / 6;
    FillDisc(img, c + std::cos(a) * 16, c + std::sin(a) * 16, 3.5f, 0xFF141210);
  }
  FillDisc(img, c, c, 8, 0xFF4A4642);
  FillDisc(img, c, c, 4, 0xFF7A7670);
  FillRect(img, 30, 4, 34, 12, 0xFFC8C0A8);  // paint mark on the rim
  return img;
}

// ---- liveries ----

constexpr uint32_t kCoachGreen = 0xFF2F5B3F, kCream = 0xFFE6DAB2, kSolebar = 0xFF1C1C1C,
                   kWagonBrown = 0xFF7A3B2A, kDieselRed = 0xFFA3262A, kElectricBlue = 0xFF2A4872,
                   kBrass = 0xFFD4AE4A, kWhite = 0xFFEDEBE4;

// Painted steel sheet: the colour with a little weathering and faint panel seams every seam px.
TImage Sheet(uint32_t w, uint32_t h, uint32_t colour, uint32_t seed, uint32_t seam = 0) {
  TImage img(w, h);
  const TRgb c = Rgb(colour);
  Paint(img, [&](uint32_t x, uint32_t y) {
    float f = 1.0f + 0.06f * Grain(img, x, y, seed);
    if (seam && x % seam == 0) f *= 0.82f;
    return Pack(Scale(c, f));
  });
  return img;
}

// The coach side (24 x 2.9 units): green, a cream band under the windows, eight windows, a door at
// each end, the railway's letters and sign, the class numeral beside the doors.
TImage CoachSide() {
  TImage img = Sheet(512, 64, kCoachGreen, 31, 64);
  FillRect(img, 0, 0, 512, 3, Shade(kCoachGreen, 0.7f));
  FillRect(img, 0, 37, 512, 41, kCream);
  FillRect(img, 0, 60, 512, 64, kSolebar);
  for (int i = 0; i < 8; ++i) {
    const int x = 62 + i * 50;
    Pane(img, x, 9, x + 38, 33, kCream, 2, 32 + uint32_t(i));
    FillRect(img, x + 2, 16, x + 36, 18, kCream);  // the drop light's top rail
  }
  for (int x0 : {8, 472}) {
    FillRect(img, x0, 6, x0 + 32, 60, Shade(kCoachGreen, 1.08f));
    FrameRect(img, x0, 6, x0 + 32, 60, Shade(kCoachGreen, 0.55f));
    Pane(img, x0 + 6, 10, x0 + 26, 30, kCream, 2, 40);
    FillRect(img, x0 + 25, 38, x0 + 29, 40, kBrass);  // handle
  }
  const std::string letters = RailwayLetters;
  const int w = BlockTextWidth(letters, 2);
  Logo(img, 256 - w / 2 - 16, 50, 8, kCream, kCoachGreen);
  DrawBlockText(img, 256 - w / 2 + 4, 44, letters, 2, kCream);
  for (int x : {48, 456}) DrawBlockText(img, x, 44, "2", 2, kCream);
  return img;
}

// The coach's end wall (2.9 x 2.9): the door to the gangway with its window.
TImage CoachEnd() {
  TImage img = Sheet(64, 64, kCoachGreen, 33);
  FillRect(img, 0, 0, 64, 3, Shade(kCoachGreen, 0.7f));
  FillRect(img, 20, 6, 44, 64, Shade(kCoachGreen, 0.85f));
  FrameRect(img, 20, 6, 44, 64, Shade(kCoachGreen, 0.5f));
  Pane(img, 24, 10, 40, 30, kCream, 2, 34);
  FillRect(img, 0, 37, 20, 41, kCream);
  FillRect(img, 44, 37, 64, 41, kCream);
  FillRect(img, 0, 60, 64, 64, kSolebar);
  return img;
}

// Upright boarding of a goods wagon (its colour, dark joints every board px).
void Boarding(TImage& img, uint32_t colour, uint32_t board, uint32_t seed) {
  const TRgb c = Rgb(colour);
  Paint(img, [&](uint32_t x, uint32_t y) {
    float f = 0.92f + 0.14f * Random(x / board, 0, seed) + 0.07f * Grain(img, x, y, seed + 1);
    if (x % board == 0) f *= 0.6f;
    return Pack(Scale(c, f));
  });
}

// The covered wagon's side (12 x 2.75): boards in a steel frame, the sliding door in the middle
// with its brace, the letters and sign, and the data panels as white bars.
TImage CoveredWagonSide() {
  TImage img(256, 64);
  Boarding(img, kWagonBrown, 6, 35);
  const uint32_t frame = Shade(kWagonBrown, 0.55f);
  FillRect(img, 0, 0, 256, 4, frame);
  FillRect(img, 0, 58, 256, 64, kSolebar);
  for (int x : {0, 62, 194, 252}) FillRect(img, x, 0, x + 4, 64, frame);
  // Diagonal braces in the outer fields.
  Line(img, 4, 56, 62, 6, 3, frame);
  Line(img, 252, 56, 194, 6, 3, frame);
  // The door: a darker leaf with its Z brace and the running rail above.
  FillRect(img, 96, 6, 160, 58, Shade(kWagonBrown, 0.9f));
  FrameRect(img, 96, 6, 160, 58, frame);
  FrameRect(img, 97, 7, 159, 57, frame);
  Line(img, 98, 30, 158, 30, 3, frame);
  Line(img, 98, 56, 158, 32, 3, frame);
  Line(img, 98, 28, 158, 8, 3, frame);
  FillRect(img, 90, 4, 166, 6, 0xFF2A2A2A);
  // Letters and sign on the left field, the data panels on the right.
  DrawBlockText(img, 70, 12, RailwayLetters, 2, kWhite);
  Logo(img, 79, 44, 8, kWhite, kWagonBrown);
  for (int r = 0; r < 4; ++r) FillRect(img, 168, 14 + r * 6, 168 + (r % 2 ? 16 : 22), 16 + r * 6, kWhite);
  FillRect(img, 166, 40, 190, 52, 0xFF1E1E1E);
  for (int r = 0; r < 3; ++r) FillRect(img, 168, 42 + r * 3, 186 - r * 4, 43 + r * 3, kWhite);
  return img;
}

// The covered wagon's end (2.9 x 2.75): boards with a frame and a cross brace.
TImage CoveredWagonEnd() {
  TImage img(64, 64);
  Boarding(img, kWagonBrown, 6, 36);
  const uint32_t frame = Shade(kWagonBrown, 0.55f);
  FillRect(img, 0, 0, 64, 4, frame);
  FillRect(img, 0, 58, 64, 64, kSolebar);
  FillRect(img, 0, 0, 4, 64, frame);
  FillRect(img, 60, 0, 64, 64, frame);
  Line(img, 4, 56, 60, 6, 3, frame);
  Line(img, 60, 56, 4, 6, 3, frame);
  return img;
}

// Horizontal planks (open wagon sides and ends), stanchions every post px.
void Planks(TImage& img, uint32_t colour, uint32_t post, uint32_t seed) {
  const TRgb c = Rgb(colour);
  const uint32_t plank = img.Height / 4;
  Paint(img, [&](uint32_t x, uint32_t y) {
    float f = 0.9f + 0.16f * Random(y / plank, x / 64, seed) + 0.07f * Grain(img, x, y, seed + 1);
    if (y % plank == 0) f *= 0.6f;
    return Pack(Scale(c, f));
  });
  const uint32_t steel = 0xFF2A2624;
  if (post)
    for (uint32_t x = 0; x + 4 <= img.Width; x += post) FillRect(img, int(x), 0, int(x) + 4, int(img.Height), steel);
  FillRect(img, 0, 0, int(img.Width), 2, steel);
  FillRect(img, 0, int(img.Height) - 3, int(img.Width), int(img.Height), steel);
}

// The open wagon's side (11 x 1.75): planks between steel stanchions, the letters in the middle.
TImage OpenWagonSide() {
  TImage img(256, 32);
  Planks(img, 0xFF6A5A4A, 42, 37);
  FillRect(img, 88, 6, 168, 27, 0xFF6A5A4A);
  DrawBlockText(img, 128 - BlockTextWidth(RailwayLetters, 2) / 2, 9, RailwayLetters, 2, kWhite);
  return img;
}

TImage OpenWagonEnd() {
  TImage img(64, 32);
  Planks(img, 0xFF6A5A4A, 0, 38);
  return img;
}

// Lumps of coal: dark noise with glints (tiled, 3 x 3 units).
TImage Coal() {
  TImage img(64, 64);
  Paint(img, [&](uint32_t x, uint32_t y) {
    const float lump = Smooth(float(x), float(y), 4, 16, 39);
    const float f = 18 + 34 * lump + 14 * Random(x, y, 40);
    const bool glint = Random(x / 2, y / 2, 41) > 0.96f;
    return Pack(glint ? TRgb{96, 96, 104} : TRgb{f, f, f * 1.06f});
  });
  return img;
}

// The panel on the tank wagon's barrel: the letters, the sign and the load ("OEL").
TImage TankPanel() {
  TImage img = Sheet(128, 32, 0xFF1E1E20, 42);
  FrameRect(img, 1, 1, 127, 31, kWhite);
  Logo(img, 16, 16, 11, kWhite, 0xFF1E1E20);
  DrawBlockText(img, 34, 6, RailwayLetters, 2, kWhite);
  DrawBlockText(img, 76, 10, "OEL", 1, 0xFFE0B040);
  FillRect(img, 34, 24, 120, 26, kWhite);
  return img;
}

// The locomotive's number plate: brass border, black field, the letters above the number.
TImage NumberPlate(const std::string& number) {
  TImage img(64, 32, kBrass);
  FillRect(img, 2, 2, 62, 30, 0xFF141414);
  DrawBlockText(img, 32 - BlockTextWidth(RailwayLetters, 1) / 2, 5, RailwayLetters, 1, kBrass);
  DrawBlockText(img, 32 - BlockTextWidth(number, 2) / 2, 15, number, 2, kBrass);
  // Rivets.
  for (int x : {4, 59}) FillRect(img, x, 14, x + 2, 16, 0xFF8A6A28);
  return img;
}

// A cab window: black frame round the glass.
TImage CabWindow() {
  TImage img(32, 32, 0xFF161616);
  Pane(img, 3, 3, 29, 29, 0xFF2A2A2A, 1, 43);
  return img;
}

// The steam engine's tender side (8 x 2.4): black with red lining and the letters in brass.
TImage TenderSide() {
  TImage img = Sheet(256, 64, 0xFF1C1C1E, 44);
  const uint32_t red = 0xFFB03028;
  FrameRect(img, 8, 8, 248, 56, red);
  FrameRect(img, 9, 9, 247, 55, red);
  const std::string letters = RailwayLetters;
  const int w = BlockTextWidth(letters, 3);
  DrawBlockText(img, 128 - w / 2, 21, letters, 3, kBrass);
  Logo(img, 40, 32, 12, kBrass, 0xFF1C1C1E);
  Logo(img, 216, 32, 12, kBrass, 0xFF1C1C1E);
  return img;
}

// The smokebox door: a dark disc with a rim, hinges and the number plate.
TImage SmokeboxDoor() {
  TImage img(64, 64, 0xFF141414);
  FillDisc(img, 32, 32, 31, 0xFF2A2A2C);
  FillDisc(img, 32, 32, 27, 0xFF202022);
  for (int y : {20, 44}) FillRect(img, 6, y - 2, 40, y + 2, 0xFF3A3A3C);
  FillDisc(img, 32, 32, 3, 0xFF8A8A88);
  FillRect(img, 18, 46, 46, 56, kBrass);
  FillRect(img, 19, 47, 45, 55, 0xFF141414);
  DrawBlockText(img, 32 - BlockTextWidth("17", 1) / 2, 48, "17", 1, kBrass);
  return img;
}

// Louvre doors of a hood: rows of slats in panels, a cream stripe along the foot, the letters.
TImage DieselHood() {
  TImage img = Sheet(256, 64, kDieselRed, 45);
  for (int p = 0; p < 4; ++p) {
    const int x0 = 8 + p * 62;
    if (p == 1 || p == 2) {
      FrameRect(img, x0, 8, x0 + 54, 48, Shade(kDieselRed, 0.6f));
      for (int y = 12; y < 45; y += 4) FillRect(img, x0 + 4, y, x0 + 50, y + 2, Shade(kDieselRed, 0.55f));
    } else {
      FrameRect(img, x0, 8, x0 + 54, 48, Shade(kDieselRed, 0.6f));
      FillRect(img, x0 + 46, 26, x0 + 49, 30, 0xFFB8B8B0);  // latch
    }
  }
  FillRect(img, 0, 52, 256, 60, kCream);
  FillRect(img, 0, 60, 256, 64, 0xFF3A3A3A);
  DrawBlockText(img, 8 + 27 - BlockTextWidth(RailwayLetters, 2) / 2, 20, RailwayLetters, 2, kCream);
  Logo(img, 8 + 3 * 62 + 27, 28, 11, kCream, kDieselRed);
  return img;
}

// The diesel cab's side (3.4 x 2.8): a window over the door, the number plate beside it.
TImage DieselCabSide() {
  TImage img = Sheet(64, 64, kDieselRed, 46);
  FillRect(img, 6, 6, 30, 60, Shade(kDieselRed, 0.95f));
  FrameRect(img, 6, 6, 30, 60, Shade(kDieselRed, 0.55f));
  Pane(img, 9, 9, 27, 27, 0xFF202020, 2, 47);
  Pane(img, 36, 9, 58, 27, 0xFF202020, 2, 48);
  FillRect(img, 26, 36, 28, 42, 0xFFB8B8B0);
  FillRect(img, 0, 52, 64, 60, kCream);
  FillRect(img, 0, 60, 64, 64, 0xFF3A3A3A);
  DrawBlockText(img, 38, 34, "24", 2, kCream);
  return img;
}

// The electric locomotive's side (17.6 x 2.8): a door and window at each cab, the machine room's
// windows and louvres between, a cream band, the letters, sign and number.
TImage ElectricSide() {
  TImage img = Sheet(512, 64, kElectricBlue, 49, 0);
  FillRect(img, 0, 0, 512, 3, Shade(kElectricBlue, 0.7f));
  FillRect(img, 0, 44, 512, 49, kCream);
  FillRect(img, 0, 60, 512, 64, 0xFF242424);
  for (int end = 0; end < 2; ++end) {
    const int door = end == 0 ? 30 : 512 - 30 - 22;
    const int window = end == 0 ? 58 : 512 - 58 - 26;
    FillRect(img, door, 6, door + 22, 60, Shade(kElectricBlue, 1.08f));
    FrameRect(img, door, 6, door + 22, 60, Shade(kElectricBlue, 0.5f));
    Pane(img, door + 4, 10, door + 18, 28, 0xFF202020, 2, 50 + uint32_t(end));
    Pane(img, window, 10, window + 26, 30, 0xFF202020, 2, 52 + uint32_t(end));
  }
  // Machine room: four small windows and two louvre grilles.
  for (int i = 0; i < 4; ++i) Pane(img, 120 + i * 24 + (i >= 2 ? 176 : 0), 10, 136 + i * 24 + (i >= 2 ? 176 : 0), 24, 0xFF202020, 1, 54 + uint32_t(i));
  for (int g = 0; g < 2; ++g) {
    const int x0 = 178 + g * 86;
    FrameRect(img, x0, 8, x0 + 70, 38, Shade(kElectricBlue, 0.55f));
    for (int y = 11; y < 36; y += 3) FillRect(img, x0 + 3, y, x0 + 67, y + 1, Shade(kElectricBlue, 0.5f));
  }
  const int w = BlockTextWidth(RailwayLetters, 2);
  DrawBlockText(img, 256 - w / 2 + 10, 50, RailwayLetters, 1, kElectricBlue);
  Logo(img, 256 - w / 2 - 4, 52, 6, kElectricBlue, kCream);
  DrawBlockText(img, 150, 28, "07", 1, kCream);
  DrawBlockText(img, 334, 28, "07", 1, kCream);
  return img;
}

// The electric locomotive's front (3.0 x 2.8): two windscreens, the cream band, the sign.
TImage ElectricFront() {
  TImage img = Sheet(64, 64, kElectricBlue, 56);
  FillRect(img, 0, 0, 64, 3, Shade(kElectricBlue, 0.7f));
  Pane(img, 4, 8, 30, 28, 0xFF202020, 2, 57);
  Pane(img, 34, 8, 60, 28, 0xFF202020, 2, 58);
  FillRect(img, 0, 44, 64, 49, kCream);
  Logo(img, 32, 37, 6, kCream, kElectricBlue);
  FillRect(img, 0, 60, 64, 64, 0xFF242424);
  return img;
}

// The cab's instrument panel: two round gauges with needles, a row of lamps, switches.
TImage Instruments() {
  TImage img = Sheet(128, 64, 0xFF3A4A44, 59);
  for (int g = 0; g < 2; ++g) {
    const float cx = 24 + float(g) * 44, cy = 28;
    FillDisc(img, cx, cy, 19, 0xFF101010);
    FillDisc(img, cx, cy, 17, 0xFFEEEAD8);
    for (int t = 0; t <= 10; ++t) {
      const float a = 2.4f + float(t) * 0.46f;
      Line(img, cx + std::cos(a) * 13, cy + std::sin(a) * 13, cx + std::cos(a) * 16, cy + std::sin(a) * 16, 1.2f,
           0xFF101010);
    }
    const float a = g == 0 ? 3.6f : 5.2f;
    Line(img, cx, cy, cx + std::cos(a) * 14, cy + std::sin(a) * 14, 1.6f, 0xFFC02020);
    FillDisc(img, cx, cy, 2, 0xFF101010);
  }
  const uint32_t lamps[] = {0xFF30C040, 0xFFE0B020, 0xFFD03020, 0xFF3070E0};
  for (int i = 0; i < 4; ++i) FillDisc(img, 102 + float(i % 2) * 14, 14 + float(i / 2) * 14, 4.5f, lamps[i]);
  for (int i = 0; i < 5; ++i) {
    FillRect(img, 8 + i * 22, 52, 20 + i * 22, 60, 0xFF1A1A1A);
    FillRect(img, 12 + i * 22, 50, 16 + i * 22, 56, 0xFFB0B0A8);
  }
  return img;
}

struct TVehicleTextureDef {
  TTextureInfo Info;
  std::function<TImage()> Paint;
};

const std::vector<TVehicleTextureDef>& Definitions() {
  static const std::vector<TVehicleTextureDef> defs = {
      {{"PersonenwagenSeite.png", kFit}, CoachSide},
      {{"PersonenwagenStirn.png", kFit}, CoachEnd},
      {{"GedeckterWagenSeite.png", kFit}, CoveredWagonSide},
      {{"GedeckterWagenStirn.png", kFit}, CoveredWagonEnd},
      {{"OffenerWagenSeite.png", kFit}, OpenWagonSide},
      {{"OffenerWagenStirn.png", kFit}, OpenWagonEnd},
      {{"Kohle.png", {3, 3}}, Coal},
      {{"KesselwagenTafel.png", kFit}, TankPanel},
      {{"Speichenrad.png", kFit}, SpokedWheel},
      {{"Scheibenrad.png", kFit}, DiscWheel},
      {{"LokschildDampf.png", kFit}, [] { return NumberPlate("17"); }},
      {{"Lokfenster.png", kFit}, CabWindow},
      {{"TenderSeite.png", kFit}, TenderSide},
      {{"Rauchkammertuer.png", kFit}, SmokeboxDoor},
      {{"DieselHaube.png", kFit}, DieselHood},
      {{"DieselFuehrerhaus.png", kFit}, DieselCabSide},
      {{"EllokSeite.png", kFit}, ElectricSide},
      {{"EllokStirn.png", kFit}, ElectricFront},
      {{"Instrumente.png", kFit}, Instruments},
  };
  return defs;
}

}  // namespace

const char* const* BlockGlyph(char c) {
  const auto& font = Font();
  auto it = font.find(c);
  return it == font.end() ? nullptr : it->second.data();
}

int BlockTextWidth(const std::string& text, int scale) {
  if (text.empty()) return 0;
  return int(text.size()) * 6 * scale - scale;
}

int DrawBlockText(TImage& image, int x, int y, const std::string& text, int scale, uint32_t colour) {
  int cx = x;
  for (char c : text) {
    if (const char* const* rows = BlockGlyph(c))
      for (int r = 0; r < 7; ++r)
        for (int col = 0; col < 5; ++col)
          if (rows[r][col] == '#')
            FillRect(image, cx + col * scale, y + r * scale, cx + (col + 1) * scale, y + (r + 1) * scale, colour);
    cx += 6 * scale;
  }
  return BlockTextWidth(text, scale);
}

const std::vector<TTextureInfo>& VehicleTextures() {
  static const std::vector<TTextureInfo> list = [] {
    std::vector<TTextureInfo> l;
    for (const TVehicleTextureDef& d : Definitions()) l.push_back(d.Info);
    return l;
  }();
  return list;
}

TImage PaintVehicleTexture(const std::string& fileName) {
  for (const TVehicleTextureDef& d : Definitions())
    if (d.Info.FileName == fileName) return d.Paint();
  throw std::invalid_argument("unknown vehicle texture " + fileName);
}

}  // namespace assetgen
