#include "tools/assetgen/Textures.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <stdexcept>

#include "app/RRProjectSerializer.h"

namespace assetgen {

// A hash of integer coordinates: the same value for the same input on every machine.
uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
  uint32_t h = seed * 0x9E3779B1u ^ x * 0x85EBCA77u ^ y * 0xC2B2AE3Du;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return h;
}
float Random(uint32_t x, uint32_t y, uint32_t seed) { return float(Hash(x, y, seed) >> 8) / 16777216.0f; }

// Smooth value noise in 0..1 with cells of the given size, repeating every period cells (so a
// texture of period x cell pixels tiles without a seam).
float Smooth(float x, float y, uint32_t cell, uint32_t period, uint32_t seed) {
  const float fx = x / float(cell), fy = y / float(cell);
  const int ix = int(std::floor(fx)), iy = int(std::floor(fy));
  const float tx = fx - float(ix), ty = fy - float(iy);
  auto v = [&](int cx, int cy) {
    const uint32_t px = uint32_t((cx % int(period) + int(period)) % int(period));
    const uint32_t py = uint32_t((cy % int(period) + int(period)) % int(period));
    return Random(px, py, seed);
  };
  const float sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
  const float a = v(ix, iy) + (v(ix + 1, iy) - v(ix, iy)) * sx;
  const float b = v(ix, iy + 1) + (v(ix + 1, iy + 1) - v(ix, iy + 1)) * sx;
  return a + (b - a) * sy;
}

namespace {

// ---- colours and noise ----

struct TRgb {
  float R, G, B;
};

TRgb Rgb(uint32_t c) { return {float((c >> 16) & 255), float((c >> 8) & 255), float(c & 255)}; }
uint32_t Pack(const TRgb& c, uint32_t alpha = 255) {
  auto b = [](float v) { return uint32_t(std::clamp(int(std::lround(v)), 0, 255)); };
  return (alpha << 24) | (b(c.R) << 16) | (b(c.G) << 8) | b(c.B);
}
TRgb Mix(const TRgb& a, const TRgb& b, float t) {
  return {a.R + (b.R - a.R) * t, a.G + (b.G - a.G) * t, a.B + (b.B - a.B) * t};
}
TRgb Scale(const TRgb& c, float f) { return {c.R * f, c.G * f, c.B * f}; }


// Two octaves of smooth noise plus fine grain, around 0 (about -0.5..0.5).
float Grain(const TImage& img, uint32_t x, uint32_t y, uint32_t seed, uint32_t cell) {
  const uint32_t period = std::max<uint32_t>(1, img.Width / cell);
  const float coarse = Smooth(float(x), float(y), cell, period, seed);
  const float fine = Smooth(float(x), float(y), std::max<uint32_t>(1, cell / 4), period * 4, seed + 1);
  return 0.5f * coarse + 0.3f * fine + 0.2f * Random(x, y, seed + 2) - 0.5f;
}

void Paint(TImage& img, const std::function<TRgb(uint32_t x, uint32_t y)>& f) {
  for (uint32_t y = 0; y < img.Height; ++y)
    for (uint32_t x = 0; x < img.Width; ++x) img.At(x, y) = Pack(f(x, y));
}

void FillRect(TImage& img, int x0, int y0, int x1, int y1, uint32_t colour) {
  for (int y = std::max(0, y0); y < std::min(int(img.Height), y1); ++y)
    for (int x = std::max(0, x0); x < std::min(int(img.Width), x1); ++x)
      img.At(uint32_t(x), uint32_t(y)) = colour;
}

// ---- tiled surfaces ----

TImage Plaster(uint32_t base, uint32_t seed) {
  TImage img(128, 128);
  const TRgb c = Rgb(base);
  Paint(img, [&](uint32_t x, uint32_t y) { return Scale(c, 1.0f + 0.12f * Grain(img, x, y, seed, 32)); });
  return img;
}

// Bricks in stretcher bond: rows of rowPx with 1-pixel joints, every other row shifted by half a
// brick; each brick its own shade.
TImage Brick(uint32_t base, uint32_t mortar, uint32_t seed) {
  TImage img(128, 128);
  const uint32_t rowPx = 4, brickPx = 16;
  const TRgb b = Rgb(base), m = Rgb(mortar);
  Paint(img, [&](uint32_t x, uint32_t y) {
    const uint32_t row = y / rowPx;
    const uint32_t shifted = (x + (row % 2) * (brickPx / 2)) % img.Width;
    const uint32_t brick = shifted / brickPx;
    const bool joint = y % rowPx == rowPx - 1 || shifted % brickPx == brickPx - 1;
    const float n = 0.08f * Grain(img, x, y, seed, 16);
    if (joint) return Scale(m, 1.0f + n);
    const float shade = 0.82f + 0.3f * Random(brick, row, seed + 7);
    return Scale(b, shade + n);
  });
  return img;
}

// Roof tiles: rows of rowPx falling downwards (v grows down the slope), each tile darker towards
// its lower edge where it overlaps the next row, with a shadowed gap between tiles.
TImage RoofTiles(uint32_t base, uint32_t seed) {
  TImage img(128, 128);
  const uint32_t rowPx = 8, tilePx = 8;
  const TRgb c = Rgb(base);
  Paint(img, [&](uint32_t x, uint32_t y) {
    const uint32_t row = y / rowPx;
    const uint32_t sx = (x + (row % 2) * (tilePx / 2)) % img.Width;
    const uint32_t tile = sx / tilePx;
    const float inRow = float(y % rowPx) / float(rowPx - 1);
    const float across = float(sx % tilePx) / float(tilePx - 1);
    float shade = 1.08f - 0.35f * inRow * inRow;           // lower edge in shadow
    shade *= 0.85f + 0.3f * std::sin(across * gx::GX_PI);  // rounded pan
    if (sx % tilePx == 0) shade *= 0.55f;                  // gap
    shade *= 0.9f + 0.2f * Random(tile, row, seed);        // weathering per tile
    return Scale(c, shade + 0.05f * Grain(img, x, y, seed + 3, 32));
  });
  return img;
}

TImage Slate(uint32_t seed) {
  TImage img(128, 128);
  const uint32_t rowPx = 8, slatePx = 16;
  const TRgb c = Rgb(0xFF4A5058);
  Paint(img, [&](uint32_t x, uint32_t y) {
    const uint32_t row = y / rowPx;
    const uint32_t offset = uint32_t(Random(row, 0, seed) * slatePx);
    const uint32_t sx = (x + offset) % img.Width;
    const uint32_t slate = sx / slatePx;
    float shade = 0.9f + 0.25f * Random(slate, row, seed + 1);
    if (y % rowPx == rowPx - 1) shade *= 0.6f;
    if (sx % slatePx == 0) shade *= 0.75f;
    return Scale(c, shade + 0.1f * Grain(img, x, y, seed + 2, 16));
  });
  return img;
}

// Vertical boarding: boards of boardPx with a dark gap and a cover strip, grain along the boards.
TImage Boards(uint32_t base, uint32_t seed) {
  TImage img(128, 128);
  const uint32_t boardPx = 16;
  const TRgb c = Rgb(base);
  Paint(img, [&](uint32_t x, uint32_t y) {
    const uint32_t board = x / boardPx;
    const uint32_t in = x % boardPx;
    const float grain =
        std::sin(float(x) * 1.7f + 6.0f * Smooth(float(x), float(y), 16, 8, seed + board)) * 0.06f;
    float shade = 0.9f + 0.2f * Random(board, 0, seed) + grain;
    if (in == 0) shade *= 0.45f;
    if (in == 1 || in == boardPx - 1) shade *= 0.8f;
    return Scale(c, shade + 0.05f * Grain(img, x, y, seed + 4, 32));
  });
  return img;
}

// Stone blocks (plinths, the water tower's base): courses of rowPx, blocks of varying length.
TImage Ashlar(uint32_t base, uint32_t seed) {
  TImage img(128, 128);
  const uint32_t rowPx = 16, len = 32;
  const TRgb c = Rgb(base), joint = Scale(c, 0.7f);
  Paint(img, [&](uint32_t x, uint32_t y) {
    const uint32_t row = y / rowPx;
    const uint32_t sx = (x + (row % 2) * len / 2) % img.Width;
    if (y % rowPx == 0 || sx % len == 0) return joint;
    const uint32_t block = sx / len;
    return Scale(c, 0.92f + 0.14f * Random(block, row, seed) + 0.1f * Grain(img, x, y, seed + 1, 16));
  });
  return img;
}

TImage Paving(uint32_t seed) {
  TImage img(128, 128);
  const TRgb c = Rgb(0xFF9A968E);
  Paint(img, [&](uint32_t x, uint32_t y) {
    const uint32_t slab = 32;
    if (x % slab == 0 || y % slab == 0) return Scale(c, 0.7f);
    return Scale(c,
                 0.92f + 0.12f * Random(x / slab, y / slab, seed) + 0.12f * Grain(img, x, y, seed + 1, 16));
  });
  return img;
}

TImage TarPaper(uint32_t seed) {
  TImage img(128, 128);
  const TRgb c = Rgb(0xFF3C3C3E);
  Paint(img, [&](uint32_t x, uint32_t y) {
    float shade = 1.0f + 0.18f * Grain(img, x, y, seed, 16);
    if (y % 32 == 0 || y % 32 == 1) shade *= 1.25f;  // overlapping strips
    return Scale(c, shade);
  });
  return img;
}

// One storey of half-timbering (4 x 3 units, so the picture is stretched upright): sill and head
// beams, posts every two units, braces in each field below a rail at window height; white infill.
TImage HalfTimber(uint32_t seed) {
  TImage img(128, 128);
  const TRgb infill = Rgb(0xFFEDE8DA), beam = Rgb(0xFF4A3020);
  Paint(img,
        [&](uint32_t x, uint32_t y) { return Scale(infill, 1.0f + 0.06f * Grain(img, x, y, seed, 32)); });
  auto beamAt = [&](uint32_t x, uint32_t y) {
    img.At(x, y) = Pack(Scale(beam, 0.9f + 0.2f * Random(x / 4, y / 4, seed + 1)));
  };
  for (uint32_t x = 0; x < 128; ++x)
    for (uint32_t y = 0; y < 128; ++y) {
      const bool sill = y >= 117, head = y < 9, rail = y >= 69 && y < 76;
      const bool post = x % 64 < 6;
      // Braces from the posts' feet up to the rail, both ways.
      const float fx = float(x % 64), fy = float(128 - y) * 0.75f;
      const bool brace =
          (std::fabs(fx - fy * 0.6f) < 3.5f || std::fabs((64 - fx) - fy * 0.6f) < 3.5f) && y > 75;
      if (sill || head || rail || post || brace) beamAt(x, y);
    }
  return img;
}

// ---- fitted pictures ----

// A window: white frame, a cross of glazing bars, panes darkening downwards with a light streak.
TImage Window(uint32_t frame, int columns, int rows, uint32_t seed) {
  TImage img(64, 64);
  const TRgb glass = Rgb(0xFF34414E), sky = Rgb(0xFF8FA4B4), f = Rgb(frame);
  Paint(img, [&](uint32_t x, uint32_t y) {
    const float t = float(y) / 63.0f;
    TRgb g = Mix(sky, glass, 0.35f + 0.6f * t);
    const float streak = float(int(x) - int(y) + 10);
    if (streak > 0 && streak < 10) g = Mix(g, sky, 0.35f);
    return Scale(g, 1.0f + 0.05f * Grain(img, x, y, seed, 16));
  });
  const uint32_t frameColour = Pack(f), shadow = Pack(Scale(f, 0.7f));
  FillRect(img, 0, 0, 64, 5, frameColour);
  FillRect(img, 0, 59, 64, 64, frameColour);
  FillRect(img, 0, 0, 5, 64, frameColour);
  FillRect(img, 59, 0, 64, 64, frameColour);
  for (int c = 1; c < columns; ++c) {
    const int x = 5 + (54 * c) / columns;
    FillRect(img, x - 1, 0, x + 2, 64, frameColour);
    FillRect(img, x + 2, 5, x + 3, 59, shadow);
  }
  for (int r = 1; r < rows; ++r) {
    const int y = 5 + (54 * r) / rows;
    FillRect(img, 0, y - 1, 64, y + 2, frameColour);
    FillRect(img, 5, y + 2, 59, y + 3, shadow);
  }
  FillRect(img, 5, 5, 59, 6, shadow);
  return img;
}

// A panelled front door with a small glazed top.
TImage Door(uint32_t seed) {
  TImage img(64, 128);
  const TRgb wood = Rgb(0xFF6B3A22), frame = Rgb(0xFFE8E4DA);
  Paint(img, [&](uint32_t x, uint32_t y) {
    return Scale(wood,
                 0.95f + 0.06f * std::sin(float(x) * 0.9f + 4 * Smooth(float(x), float(y), 8, 8, seed)));
  });
  const uint32_t f = Pack(frame), dark = Pack(Scale(wood, 0.6f)), light = Pack(Scale(wood, 1.2f));
  FillRect(img, 0, 0, 64, 6, f);
  FillRect(img, 0, 0, 6, 128, f);
  FillRect(img, 58, 0, 64, 128, f);
  // Glazed top and two panels.
  FillRect(img, 14, 14, 50, 40, Pack(Rgb(0xFF3A4856)));
  FillRect(img, 14, 14, 50, 16, dark);
  for (int p = 0; p < 2; ++p) {
    const int y0 = 50 + p * 38;
    FillRect(img, 14, y0, 50, y0 + 30, dark);
    FillRect(img, 17, y0 + 3, 47, y0 + 27, light);
  }
  FillRect(img, 49, 64, 54, 68, Pack(Rgb(0xFFD8C060)));  // handle
  return img;
}

// A large boarded gate leaf with a Z brace (engine shed, goods shed).
TImage Gate(uint32_t base, uint32_t seed) {
  TImage img(128, 128);
  const TRgb c = Rgb(base), frame = Scale(Rgb(base), 0.75f);
  Paint(img, [&](uint32_t x, uint32_t y) {
    float shade = 0.92f + 0.12f * Random(x / 16, 0, seed) + 0.05f * Grain(img, x, y, seed + 1, 16);
    if (x % 16 == 0) shade *= 0.55f;
    return Scale(c, shade);
  });
  const uint32_t f = Pack(frame);
  FillRect(img, 0, 0, 128, 10, f);
  FillRect(img, 0, 118, 128, 128, f);
  FillRect(img, 0, 59, 128, 69, f);
  FillRect(img, 0, 0, 8, 128, f);
  FillRect(img, 120, 0, 128, 128, f);
  for (int y = 10; y < 59; ++y) {
    const int x = 8 + (59 - y) * 112 / 49;
    FillRect(img, x - 5, y, x + 5, y + 1, f);
  }
  for (int y = 69; y < 118; ++y) {
    const int x = 8 + (118 - y) * 112 / 49;
    FillRect(img, x - 5, y, x + 5, y + 1, f);
  }
  return img;
}

// A windmill sail: the whip along the left edge and a lattice of bars with open fields between
// them (alpha 0), as a cut-out texture.
TImage SailLattice(uint32_t seed) {
  TImage img(64, 256, 0x00000000u);
  img.Alpha = true;
  const TRgb wood = Rgb(0xFF8A6A48), cloth = Rgb(0xFFE2D8C2);
  for (uint32_t y = 0; y < 256; ++y)
    for (uint32_t x = 0; x < 64; ++x) {
      const bool whip = x < 10;
      const bool edge = x >= 58 || y < 4 || y >= 252;
      const bool bar = y % 21 < 3;
      const bool rail = (x >= 30 && x < 33);
      if (whip || edge || bar || rail) {
        img.At(x, y) = Pack(Scale(wood, 0.85f + 0.25f * Random(x / 4, y / 8, seed)));
      } else if (y > 150) {
        // The inner part carries its sail cloth; the outer fields stay open.
        img.At(x, y) = Pack(Scale(cloth, 0.9f + 0.1f * Random(x, y, seed + 1)));
      }
    }
  return img;
}

struct TTextureDef {
  TTextureInfo Info;
  std::function<TImage()> Paint;
};

const std::vector<TTextureDef>& Definitions() {
  static const std::vector<TTextureDef> defs = {
      {{"Putz.png", {6, 6}}, [] { return Plaster(0xFFE6DCC4, 11); }},
      {{"PutzOcker.png", {6, 6}}, [] { return Plaster(0xFFD9B77A, 12); }},
      {{"Klinker.tga", {4, 4}}, [] { return Brick(0xFF9C4430, 0xFFB8B0A0, 13); }},
      {{"KlinkerGelb.tga", {4, 4}}, [] { return Brick(0xFFC8A66A, 0xFFE0DACA, 14); }},
      {{"Dachziegel.png", {3, 3}}, [] { return RoofTiles(0xFF7E2E1E, 15); }},
      {{"Schiefer.tga", {3, 3}}, [] { return Slate(16); }},
      {{"Holz.png", {3, 3}}, [] { return Boards(0xFF7A3A26, 17); }},
      {{"HolzNatur.png", {3, 3}}, [] { return Boards(0xFF8C6A46, 18); }},
      {{"Fachwerk.png", {4, 3}}, [] { return HalfTimber(19); }},
      {{"Sandstein.png", {4, 4}}, [] { return Ashlar(0xFFB8A888, 20); }},
      {{"Pflaster.png", {4, 4}}, [] { return Paving(21); }},
      {{"Dachpappe.png", {4, 4}}, [] { return TarPaper(22); }},
      {{"Fenster.png", kFit}, [] { return Window(0xFFF2F0EA, 2, 2, 23); }},
      {{"Sprossenfenster.tga", kFit}, [] { return Window(0xFF3A3E40, 4, 4, 24); }},
      {{"Tuer.png", kFit}, [] { return Door(25); }},
      {{"Tor.tga", kFit}, [] { return Gate(0xFF3E5A3A, 26); }},
      {{"TorRot.png", kFit}, [] { return Gate(0xFF7A3A26, 27); }},
      {{"Fluegel.tga", kFit}, [] { return SailLattice(28); }},
  };
  return defs;
}

}  // namespace

std::vector<uint8_t> EncodeTga(const TImage& image) {
  std::vector<uint8_t> out(18, 0);
  out[2] = 2;  // uncompressed true colour
  out[12] = uint8_t(image.Width), out[13] = uint8_t(image.Width >> 8);
  out[14] = uint8_t(image.Height), out[15] = uint8_t(image.Height >> 8);
  out[16] = image.Alpha ? 32 : 24;
  out[17] = uint8_t(0x20 | (image.Alpha ? 8 : 0));  // rows from the top, alpha bits
  for (uint32_t p : image.Pixels) {
    out.push_back(uint8_t(p));
    out.push_back(uint8_t(p >> 8));
    out.push_back(uint8_t(p >> 16));
    if (image.Alpha) out.push_back(uint8_t(p >> 24));
  }
  return out;
}

const std::vector<TTextureInfo>& BuildingTextures() {
  static const std::vector<TTextureInfo> list = [] {
    std::vector<TTextureInfo> l;
    for (const TTextureDef& d : Definitions()) l.push_back(d.Info);
    return l;
  }();
  return list;
}

TTile TileOf(const std::string& fileName) {
  for (const TTextureDef& d : Definitions())
    if (d.Info.FileName == fileName) return d.Info.Tile;
  return kFit;
}

TImage PaintTexture(const std::string& fileName) {
  for (const TTextureDef& d : Definitions())
    if (d.Info.FileName == fileName) return d.Paint();
  throw std::invalid_argument("unknown texture " + fileName);
}

std::vector<uint8_t> EncodeTexture(const std::string& fileName, const TImage& image) {
  if (fileName.size() > 4 && fileName.compare(fileName.size() - 4, 4, ".tga") == 0) return EncodeTga(image);
  std::vector<uint8_t> png = rr::RREncodePng(image.Width, image.Height, image.Pixels, image.Alpha);
  if (png.empty()) throw std::runtime_error("PNG encoding failed: " + fileName);
  return png;
}

}  // namespace assetgen
