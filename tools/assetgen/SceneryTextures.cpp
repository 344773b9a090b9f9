#include "tools/assetgen/SceneryTextures.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <stdexcept>

namespace assetgen {

namespace {

struct TColour {
  float R, G, B;
};

TColour Of(uint32_t c) { return {float((c >> 16) & 255), float((c >> 8) & 255), float(c & 255)}; }
TColour Times(const TColour& c, float f) { return {c.R * f, c.G * f, c.B * f}; }
TColour Blend(const TColour& a, const TColour& b, float t) {
  return {a.R + (b.R - a.R) * t, a.G + (b.G - a.G) * t, a.B + (b.B - a.B) * t};
}
uint32_t Packed(const TColour& c, uint32_t alpha = 255) {
  auto b = [](float v) { return uint32_t(std::clamp(int(std::lround(v)), 0, 255)); };
  return (alpha << 24) | (b(c.R) << 16) | (b(c.G) << 8) | b(c.B);
}

// Noise that repeats every 128 pixels both ways (every picture here is a multiple of that wide
// and high, or fitted), around 0.
float Noise(float x, float y, uint32_t cell, uint32_t seed) {
  const uint32_t period = std::max<uint32_t>(1, 128 / cell);
  return Smooth(x, y, cell, period, seed) - 0.5f;
}

// ---- road surfaces ----

// Asphalt: dark grey, coarse patches, light grains of chippings and a few darker pores.
TColour AsphaltAt(uint32_t x, uint32_t y, uint32_t seed) {
  const TColour base = Of(0xFF4C4D4F);
  float shade =
      1.0f + 0.16f * Noise(float(x), float(y), 32, seed) + 0.1f * Noise(float(x), float(y), 8, seed + 1);
  const float grain = Random(x, y, seed + 2);
  if (grain > 0.93f) shade += 0.28f * (grain - 0.93f) / 0.07f;
  if (grain < 0.04f) shade -= 0.2f;
  return Times(base, shade);
}

TImage Asphalt(uint32_t seed) {
  TImage img(128, 128);
  for (uint32_t y = 0; y < img.Height; ++y)
    for (uint32_t x = 0; x < img.Width; ++x) img.At(x, y) = Packed(AsphaltAt(x, y, seed));
  return img;
}

// The carriageway across its whole width: asphalt, a continuous edge line a little in from
// either edge and a dashed centre line (a dash over 35 % of the repeat). A worn band in each
// lane where the wheels run.
TImage Carriageway(uint32_t seed) {
  TImage img(128, 256);
  const float pxPerUnit = float(img.Width) / RoadWidth;
  auto across = [&](float units) { return units * pxPerUnit; };
  const float edgeIn = across(0.2f), edgeWidth = across(0.16f), centreHalf = across(0.06f);
  const TColour paint = Of(0xFFE8E6DE);
  for (uint32_t y = 0; y < img.Height; ++y)
    for (uint32_t x = 0; x < img.Width; ++x) {
      TColour c = AsphaltAt(x, y, seed);
      const float u = float(x) + 0.5f, mid = float(img.Width) / 2;
      // The wheel tracks are a little lighter and smoother.
      const float lane = std::fabs(std::fabs(u - mid) - float(img.Width) / 4) / (float(img.Width) / 16);
      if (lane < 1) c = Blend(c, Of(0xFF5A5B5C), 0.25f * (1 - lane));
      const bool edge = (u >= edgeIn && u < edgeIn + edgeWidth) ||
                        (u > float(img.Width) - edgeIn - edgeWidth && u <= float(img.Width) - edgeIn);
      const bool dash = std::fabs(u - mid) < centreHalf && float(y) < 0.35f * float(img.Height);
      // Paint wears through in specks.
      if ((edge || dash) && Random(x, y, seed + 5) > 0.06f)
        c = Times(paint, 0.94f + 0.08f * Random(x, y, seed + 6));
      img.At(x, y) = Packed(c);
    }
  return img;
}

// ---- cut-out foliage ----

// Leaves or needles are drawn as filled ellipses on a transparent picture whose colour is the
// foliage's mean (so filtering at the cut-out's edge does not fringe it dark or light).
void Ellipse(TImage& img, float cx, float cy, float a, float b, float angle, const TColour& c) {
  const float ca = std::cos(angle), sa = std::sin(angle);
  const float r = std::max(a, b) + 1;
  for (int y = int(std::floor(cy - r)); y <= int(std::ceil(cy + r)); ++y)
    for (int x = int(std::floor(cx - r)); x <= int(std::ceil(cx + r)); ++x) {
      if (x < 0 || y < 0 || x >= int(img.Width) || y >= int(img.Height)) continue;
      const float dx = float(x) + 0.5f - cx, dy = float(y) + 0.5f - cy;
      const float along = (dx * ca + dy * sa) / a, side = (-dx * sa + dy * ca) / b;
      const float d = along * along + side * side;
      if (d > 1) continue;
      // Darker along the midrib and towards the tip.
      const float midrib = std::fabs(side) < 0.25f ? 0.88f : 1.0f;
      img.At(uint32_t(x), uint32_t(y)) = Packed(Times(c, midrib * (1.05f - 0.15f * along)));
    }
}

// A line of the given width from (x0, y0) to (x1, y1).
void Stroke(TImage& img, float x0, float y0, float x1, float y1, float width, const TColour& c) {
  const float length = std::hypot(x1 - x0, y1 - y0);
  const int steps = std::max(1, int(length * 2));
  for (int i = 0; i <= steps; ++i) {
    const float t = float(i) / float(steps);
    Ellipse(img, x0 + (x1 - x0) * t, y0 + (y1 - y0) * t, width / 2 + 0.01f, width / 2 + 0.01f, 0, c);
  }
}

struct TFoliage {
  uint32_t Dark, Light;   // the shades of the leaves in the shadow and in the light
  uint32_t Blossom = 0;   // flowers among them (0: none)
  float LeafSize = 4.5f;  // half the length of a leaf, pixels
  int Leaves = 900;
  float Ragged = 0.25f;  // how deep the outline's bays cut in
};

// A cluster of leaves filling a rounded, ragged outline: dark leaves deep inside first, lighter
// ones on top and towards the upper side, where the light comes from.
TImage LeafCluster(const TFoliage& f, uint32_t seed) {
  TImage img(128, 128);
  img.Alpha = true;
  const TColour dark = Of(f.Dark), light = Of(f.Light);
  std::fill(img.Pixels.begin(), img.Pixels.end(), Packed(Blend(dark, light, 0.5f), 0));
  const float c = 64, radius = 58;
  auto inside = [&](float x, float y) {
    const float a = std::atan2(y - c, x - c);
    // A ragged outline: the radius dips in a few bays round the cluster.
    const float bay = 0.5f + 0.5f * std::sin(5 * a + 6.28f * Random(0, 0, seed)) * std::sin(3 * a + 1.3f);
    const float r = radius * (1 - f.Ragged * bay * bay);
    return std::hypot(x - c, y - c) < r;
  };
  for (int layer = 0; layer < 3; ++layer)
    for (int i = 0; i < f.Leaves / 3; ++i) {
      const uint32_t k = uint32_t(i + layer * 10007);
      const float x = 6 + 116 * Random(k, 1, seed), y = 6 + 116 * Random(k, 2, seed);
      if (!inside(x, y)) continue;
      const float up = 1 - y / 128;  // 0 at the bottom, 1 at the top
      const float t = std::clamp(0.2f * float(layer) + 0.35f * up + 0.3f * Random(k, 3, seed), 0.0f, 1.0f);
      const float size = f.LeafSize * (0.75f + 0.5f * Random(k, 4, seed));
      Ellipse(img, x, y, size, size * 0.55f, 6.283f * Random(k, 5, seed), Blend(dark, light, t));
    }
  if (f.Blossom)
    for (int i = 0; i < f.Leaves / 4; ++i) {
      const float x = 6 + 116 * Random(uint32_t(i), 7, seed), y = 6 + 116 * Random(uint32_t(i), 8, seed);
      if (inside(x, y) && Random(uint32_t(i), 9, seed) < 0.7f)
        Ellipse(img, x, y, 1.6f, 1.3f, 0, Times(Of(f.Blossom), 0.85f + 0.3f * Random(uint32_t(i), 10, seed)));
    }
  return img;
}

// Needles round a twig from (x0, y0) to (x1, y1): short strokes slanting forward on both sides,
// shorter towards its tip.
void Needles(TImage& img, float x0, float y0, float x1, float y1, float reach, const TColour& dark,
             const TColour& light, uint32_t k, uint32_t seed) {
  const float length = std::hypot(x1 - x0, y1 - y0);
  if (length <= 0) return;
  const float dx = (x1 - x0) / length, dy = (y1 - y0) / length;
  for (float s = 0; s < length; s += 0.8f) {
    const float px = x0 + dx * s, py = y0 + dy * s;
    for (float side : {-1.0f, 1.0f}) {
      const float n = reach * (0.6f + 0.5f * Random(uint32_t(s * 10), k, seed)) * (1 - 0.5f * s / length);
      const float nx = dx * 0.55f - dy * side * 0.83f, ny = dy * 0.55f + dx * side * 0.83f;
      const float t = 0.15f + 0.6f * Random(uint32_t(s * 7), k + 1, seed) + (side < 0 ? 0.2f : 0.0f);
      Stroke(img, px, py, px + nx * n, py + ny * n, 1.1f, Blend(dark, light, std::min(1.0f, t)));
    }
  }
}

const TColour kFirDark = Of(0xFF142A1A), kFirLight = Of(0xFF3A6638);

// A fir branch seen from above, from the trunk (u = 0) to its tip (u = 1) along the middle row:
// a brown twig with side twigs slanting towards the tip, dense with short needles.
TImage FirBranch(uint32_t seed) {
  TImage img(128, 64);
  img.Alpha = true;
  std::fill(img.Pixels.begin(), img.Pixels.end(), Packed(Blend(kFirDark, kFirLight, 0.4f), 0));
  const float mid = 32;
  for (int i = 0; i < 30; ++i) {
    const float x = 4 + float(i) * 3.9f;
    const float reach = 26 * (1 - x / 136) * (0.8f + 0.3f * Random(uint32_t(i), 11, seed));
    const float side = i % 2 ? 1.0f : -1.0f;
    Needles(img, x, mid, x + reach * 0.75f, mid + side * reach, 4.5f, kFirDark, kFirLight,
            uint32_t(100 + i * 3), seed);
  }
  Needles(img, 2, mid, 124, mid, 5.0f, kFirDark, kFirLight, 90, seed);
  Stroke(img, 0, mid, 118, mid, 1.6f, Of(0xFF4A3524));
  return img;
}

// A fir seen from the side, for crossed upright cards: tier upon tier of drooping branches, the
// tiers narrowing to the top (row 0); dark inside, lighter at the branches' ends.
TImage FirSilhouette(uint32_t seed) {
  TImage img(128, 256);
  img.Alpha = true;
  std::fill(img.Pixels.begin(), img.Pixels.end(), Packed(Blend(kFirDark, kFirLight, 0.3f), 0));
  const int tiers = 11;
  for (int t = 0; t < tiers; ++t) {
    // Each tier hangs from its row on the trunk out and down to its tips.
    const float top = 6 + 240 * float(t) / float(tiers);
    const float reach = 6 + 56 * (float(t) + 1) / float(tiers);
    for (float side : {-1.0f, 1.0f})
      for (int b = 0; b < 4; ++b) {
        const float out =
            reach * (0.55f + 0.15f * float(b)) * (0.9f + 0.2f * Random(uint32_t(t), uint32_t(b), seed));
        const float drop = out * (0.35f + 0.1f * float(b));
        Needles(img, 64, top + float(b) * 2.0f, 64 + side * out, top + float(b) * 2.0f + drop, 4.0f, kFirDark,
                kFirLight, uint32_t(t * 37 + b * 5 + (side > 0 ? 1 : 0)), seed);
      }
  }
  return img;
}

// A hedge's side seen face on: dense small leaves up to a ragged top edge (the top fifth of the
// picture), hardly a gap further down; the picture repeats along u.
TImage HedgeSide(uint32_t seed) {
  TImage img(256, 64);
  img.Alpha = true;
  const TColour dark = Of(0xFF1C3A18), light = Of(0xFF66963E);
  std::fill(img.Pixels.begin(), img.Pixels.end(), Packed(Blend(dark, light, 0.45f), 0));
  // The top edge dips in bays along the hedge (whole waves over the width, so it repeats).
  auto topAt = [](float x) {
    return 4 + 5 * (0.5f + 0.5f * std::sin(x * 6.2832f * 5 / 256)) +
           4 * (0.5f + 0.5f * std::sin(x * 6.2832f * 13 / 256 + 1));
  };
  // A dense dark body first, so no gaps remain below the top.
  for (uint32_t y = 0; y < img.Height; ++y)
    for (uint32_t x = 0; x < img.Width; ++x)
      if (float(y) > topAt(float(x)) + 4)
        img.At(x, y) = Packed(Times(dark, 0.8f + 0.35f * Random(x / 2, y / 2, seed)));
  for (int i = 0; i < 7000; ++i) {
    const float x = 256 * Random(uint32_t(i), 1, seed), y = 2 + 62 * Random(uint32_t(i), 2, seed);
    if (y < topAt(x)) continue;
    const float t =
        std::clamp(0.2f + 0.45f * (1 - y / 64) + 0.45f * Random(uint32_t(i), 3, seed), 0.0f, 1.0f);
    const float size = 2.2f * (0.75f + 0.6f * Random(uint32_t(i), 4, seed));
    const TColour c = Blend(dark, light, t);
    const float angle = 6.283f * Random(uint32_t(i), 5, seed);
    // Drawn at both ends' wrap too, so the repeat has no seam.
    for (float shift : {-256.0f, 0.0f, 256.0f}) Ellipse(img, x + shift, y, size, size * 0.6f, angle, c);
  }
  return img;
}

struct TDefinition {
  TTextureInfo Info;
  std::function<TImage()> Paint;
};

const std::vector<TDefinition>& Definitions() {
  static const std::vector<TDefinition> defs = {
      {{"Asphalt.png", {RoadWidth, RoadWidth}}, [] { return Asphalt(41); }},
      {{"Fahrbahn.png", kFit}, [] { return Carriageway(41); }},
      {{"Laubkrone.tga", kFit},
       [] {
         return LeafCluster({0xFF24421C, 0xFF6E9A3A, 0, 4.5f, 1100, 0.3f}, 42);
       }},
      {{"Busch.tga", kFit},
       [] {
         return LeafCluster({0xFF2C4A20, 0xFF7FA848, 0, 3.2f, 1500, 0.2f}, 43);
       }},
      {{"Ginster.tga", kFit},
       [] {
         return LeafCluster({0xFF2A4220, 0xFF6C8C34, 0xFFF0C828, 2.6f, 1500, 0.25f}, 44);
       }},
      {{"Nadelzweig.tga", kFit}, [] { return FirBranch(45); }},
      {{"Tanne.tga", kFit}, [] { return FirSilhouette(47); }},
      {{"Hecke.tga", kFit}, [] { return HedgeSide(46); }},
  };
  return defs;
}

}  // namespace

const std::vector<TTextureInfo>& SceneryTextures() {
  static const std::vector<TTextureInfo> list = [] {
    std::vector<TTextureInfo> l;
    for (const TDefinition& d : Definitions()) l.push_back(d.Info);
    return l;
  }();
  return list;
}

TImage PaintSceneryTexture(const std::string& fileName) {
  for (const TDefinition& d : Definitions())
    if (d.Info.FileName == fileName) return d.Paint();
  return PaintTexture(fileName);
}

}  // namespace assetgen
