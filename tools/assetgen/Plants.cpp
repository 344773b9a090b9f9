#include "tools/assetgen/Plants.h"

#include <cmath>

#include "tools/assetgen/SceneryTextures.h"

namespace assetgen {

namespace {

using K = TModelKit;
constexpr float kPi = gx::GX_PI;
constexpr float kGoldenAngle = 2.3999632f;

const std::string kBark = ColourMaterial(0.34f, 0.26f, 0.19f);
const std::string kFirBark = ColourMaterial(0.32f, 0.21f, 0.15f);
const std::string kLeaves = "Laubkrone.tga";
const std::string kBush = "Busch.tga";
const std::string kBroom = "Ginster.tga";
const std::string kNeedles = "Nadelzweig.tga";
const std::string kFir = "Tanne.tga";
const std::string kHedge = "Hecke.tga";

// A card: the quad a (u0, v1), b (u0, v0), c (u1, v0), d (u1, v1) of a leaf picture, its face
// towards outward (the side it is lit from; the program draws it from both sides).
void Card(K& k, const std::string& tex, const TGXVector3& a, const TGXVector3& b, const TGXVector3& c,
          const TGXVector3& d, const TGXVector3& outward, TGXVector2 uv0 = {0, 0}, TGXVector2 uv1 = {1, 1}) {
  const TGXVector2 ua{uv0.x, uv1.y}, ub{uv0.x, uv0.y}, uc{uv1.x, uv0.y}, ud{uv1.x, uv1.y};
  if (gx::GXVec3Dot(gx::GXVec3Cross(b - a, c - a), outward) >= 0)
    k.QuadUV(tex, a, b, c, d, ua, ub, uc, ud);
  else
    k.QuadUV(tex, a, d, c, b, ua, ud, uc, ub);
}

// A square card of the given size round centre, facing normal, turned by twist about it.
void FacingCard(K& k, const std::string& tex, const TGXVector3& centre, const TGXVector3& normal, float size,
                float twist) {
  const TGXVector3 n = gx::GXVec3Normalize(normal);
  const TGXVector3 hint = std::fabs(n.y) < 0.9f ? TGXVector3{0, 1, 0} : TGXVector3{1, 0, 0};
  const TGXVector3 r0 = gx::GXVec3Normalize(gx::GXVec3Cross(hint, n)), u0 = gx::GXVec3Cross(n, r0);
  const TGXVector3 r = (r0 * std::cos(twist) + u0 * std::sin(twist)) * (size / 2);
  const TGXVector3 u = (u0 * std::cos(twist) - r0 * std::sin(twist)) * (size / 2);
  Card(k, tex, centre - r - u, centre - r + u, centre + r + u, centre + r - u, n);
}

// An upright card of width w from y0 to y1, centred on the vertical through centre, turned by
// angle about it.
void UprightCard(K& k, const std::string& tex, const TGXVector3& centre, float w, float y0, float y1,
                 float angle) {
  const TGXVector3 r{std::cos(angle) * w / 2, 0, std::sin(angle) * w / 2};
  const TGXVector3 n{-std::sin(angle), 0, std::cos(angle)};
  const TGXVector3 lo{centre.x, y0, centre.z}, hi{centre.x, y1, centre.z};
  Card(k, tex, lo - r, hi - r, hi + r, lo + r, n);
}

// Cards spread over an ellipsoid (centre, horizontal and vertical radii), each facing away from
// the centre and turned its own way; those on the lowest part (direction y below minY) are left
// out, where nobody looks.
void Crown(K& k, const std::string& tex, const TGXVector3& centre, float rh, float rv, int count, float size,
           float minY, uint32_t seed) {
  for (int i = 0; i < count; ++i) {
    const float y = 1 - 2 * (float(i) + 0.5f) / float(count);
    if (y < minY) continue;
    const float r = std::sqrt(std::max(0.0f, 1 - y * y)), a = float(i) * kGoldenAngle;
    const TGXVector3 dir{r * std::cos(a), y, r * std::sin(a)};
    auto jitter = [&](uint32_t j) { return Random(uint32_t(i), j, seed) - 0.5f; };
    const float depth = 0.62f + 0.2f * jitter(1);
    const TGXVector3 at = centre + TGXVector3{dir.x * rh * depth, dir.y * rv * depth, dir.z * rh * depth};
    const TGXVector3 normal = dir + TGXVector3{0.6f * jitter(2), 0.6f * jitter(3) + 0.2f, 0.6f * jitter(4)};
    const float side = size * (0.85f + 0.3f * (jitter(5) + 0.5f));
    // Lifted where its lowest corner would reach into the ground.
    FacingCard(k, tex, {at.x, std::max(at.y, side * 0.71f + 0.02f), at.z}, normal, side, 2 * kPi * jitter(6));
  }
}

TSceneryItem Plant(const char* name, const char* file, const K& k) {
  TSceneryItem m;
  m.Name = name;
  m.Folder = PlantFolder;
  m.FileName = file;
  m.Form = TModelFileForm::Studio3DS;
  m.Model = k.Build(gx::EGXModelFormat::Format3DS);
  return m;
}

// A broad-leaved tree about 15 tall: a trunk forking into three boughs under a round crown.
TSceneryItem Laubbaum() {
  K k;
  k.Part("Laubbaum");
  k.Tube(kBark, {0, 0, 0}, {0, 7.5f, 0}, 0.45f, 0.28f, 7);
  for (int i = 0; i < 3; ++i) {
    const float a = 2 * kPi * float(i) / 3 + 0.4f;
    k.Tube(kBark, {0, 6.2f, 0}, {2.4f * std::cos(a), 10.5f, 2.4f * std::sin(a)}, 0.2f, 0.07f, 5);
  }
  const TGXVector3 centre{0, 10.6f, 0};
  Crown(k, kLeaves, centre, 4.8f, 4.4f, 36, 4.4f, -0.8f, 51);
  // Crossed cards through the middle fill the crown seen from the side and from above.
  for (int i = 0; i < 3; ++i) UprightCard(k, kLeaves, centre, 8.0f, 7.0f, 14.6f, kPi * float(i) / 3);
  FacingCard(k, kLeaves, centre + TGXVector3{0, 1.0f, 0}, {0, 1, 0}, 8.0f, 0.5f);
  return Plant("Laubbaum", "Laubbaum.3ds", k);
}

// A fir about 18 tall: tiers of drooping branches round the trunk, wide at the bottom and
// narrowing to the top, which two crossed sprigs finish.
TSceneryItem Nadelbaum() {
  K k;
  k.Part("Nadelbaum");
  const float top = 18.0f, lowest = 3.0f;
  k.Tube(kFirBark, {0, 0, 0}, {0, top - 1.5f, 0}, 0.36f, 0.06f, 6);
  const int tiers = 10;
  for (int t = 0; t < tiers; ++t) {
    const float y = lowest + (top - 2.5f - lowest) * float(t) / float(tiers - 1);
    const float reach = 0.5f + 4.4f * (1 - (y - lowest) / (top - lowest));
    const int branches = t < 6 ? 6 : 4;
    for (int b = 0; b < branches; ++b) {
      const float a = 2 * kPi * float(b) / float(branches) + 0.9f * float(t);
      const float droop = 0.45f + 0.1f * Random(uint32_t(t), uint32_t(b), 52);
      const TGXVector3 out{std::cos(a), 0, std::sin(a)}, across{-std::sin(a), 0, std::cos(a)};
      const TGXVector3 along = out * std::cos(droop) - TGXVector3{0, std::sin(droop), 0};
      // The lowest branches droop no further than just above the ground.
      const TGXVector3 base = TGXVector3{0, y, 0} + out * 0.15f;
      TGXVector3 tip = base + along * reach;
      tip.y = std::max(tip.y, 0.3f);
      const TGXVector3 half = across * (0.3f * reach + 0.25f);
      Card(k, kNeedles, base - half, base + half, tip + half, tip - half, {0, 1, 0});
    }
  }
  for (int i = 0; i < 2; ++i) {
    const TGXVector3 r = TGXVector3{std::cos(kPi * float(i) / 2), 0, std::sin(kPi * float(i) / 2)} * 0.7f;
    const TGXVector3 lo{0, top - 3.2f, 0}, hi{0, top, 0};
    // The sprig's twig (u) runs up the card.
    Card(k, kNeedles, lo - r, lo + r, hi + r, hi - r, {-r.z, 0, r.x});
  }
  // Three crossed upright cards of the whole fir seen from the side fill it between the tiers.
  for (int i = 0; i < 3; ++i)
    UprightCard(k, kFir, {0, 0, 0}, 10.6f, lowest - 1.0f, top + 0.2f, kPi * float(i) / 3 + 0.3f);
  return Plant("Nadelbaum", "Nadelbaum.3ds", k);
}

// A bush: cards over a low dome, two crossed upright cards and one lying on top at its middle.
TSceneryItem Bush(const char* name, const char* file, const std::string& tex, float radius, float height,
                  uint32_t seed) {
  K k;
  k.Part("Busch");
  const TGXVector3 centre{0, height * 0.48f, 0};
  Crown(k, tex, centre, radius, height * 0.52f, 24, radius * 1.1f, -0.45f, seed);
  for (int i = 0; i < 2; ++i)
    UprightCard(k, tex, centre, radius * 1.7f, 0, height * 0.95f, kPi * float(i) / 2 + 0.4f);
  FacingCard(k, tex, centre + TGXVector3{0, height * 0.3f, 0}, {0, 1, 0}, radius * 1.5f, 1.1f);
  return Plant(name, file, k);
}

// A straight hedge piece along x: leaf walls on both sides and through the middle, a dense top,
// its ends closed, tufts sticking up along the top.
TSceneryItem Hecke() {
  K k;
  k.Part("Hecke");
  const float x = HedgeLength / 2, z = 0.8f, h = 2.6f, repeats = HedgeLength / 5;
  for (float s : {-1.0f, 0.0f, 1.0f}) {
    const float zs = s * z, hs = s == 0 ? h * 0.9f : h;
    Card(k, kHedge, {-x, 0, zs}, {-x, hs, zs}, {x, hs, zs}, {x, 0, zs}, {0, 0, s == 0 ? 1.0f : s}, {0, 0},
         {repeats, 1});
  }
  const float y = h * 0.88f;
  Card(k, kHedge, {-x, y, -z}, {-x, y, z}, {x, y, z}, {x, y, -z}, {0, 1, 0}, {0, 0.45f}, {repeats, 1});
  for (float s : {-1.0f, 1.0f})
    Card(k, kHedge, {s * x, 0, -z}, {s * x, h, -z}, {s * x, h, z}, {s * x, 0, z}, {s, 0, 0}, {0, 0},
         {2 * z / 5, 1});
  // Tufts within the piece's length, so pieces in a row meet without overlapping.
  for (int i = 0; i < 6; ++i) {
    const float a = (i % 2 ? 1.0f : -1.0f) * (0.5f + 0.2f * Random(uint32_t(i), 0, 53));
    FacingCard(k, kBush, {-x + 1.2f + float(i) * (HedgeLength - 2.4f) / 5, y + 0.2f, 0},
               {0, std::cos(a), std::sin(a)}, 1.6f, float(i));
  }
  return Plant("Hecke", "Hecke.3ds", k);
}

}  // namespace

std::vector<TSceneryItem> PlantModels() {
  std::vector<TSceneryItem> list;
  list.push_back(Laubbaum());
  list.push_back(Nadelbaum());
  list.push_back(Bush("Busch", "Busch.3ds", kBush, 2.4f, 3.6f, 54));
  list.push_back(Bush("Ginsterbusch", "Ginsterbusch.3ds", kBroom, 1.9f, 3.0f, 55));
  list.push_back(Hecke());
  return list;
}

}  // namespace assetgen
