#include "app/RRSkybox.h"

#include <algorithm>

#include "app/RRFloor.h"
#include "app/RRSurroundings.h"
#include "engine/core/GXGeometry.h"
#include "engine/render/GXRenderQueue.h"

namespace rr {

namespace {

// Corners of each face as seen from inside: upper left, upper right, lower right, lower left.
struct TFace {
  gx::TGXVector3 Corner[4];
};

constexpr float H = 0.5f;
const TFace kFaces[RRSkyboxFaces] = {
    // Looking along +z, +x is to the right.
    {{{-H, H, H}, {H, H, H}, {H, 0, H}, {-H, 0, H}}},
    // Looking along +x, −z is to the right.
    {{{H, H, H}, {H, H, -H}, {H, 0, -H}, {H, 0, H}}},
    // Looking along −z, −x is to the right.
    {{{H, H, -H}, {-H, H, -H}, {-H, 0, -H}, {H, 0, -H}}},
    // Looking along −x, +z is to the right.
    {{{-H, H, -H}, {-H, H, H}, {-H, 0, H}, {-H, 0, -H}}},
    // The top face, its picture's top row along z = −0.5.
    {{{-H, H, -H}, {H, H, -H}, {H, H, H}, {-H, H, H}}},
};
// The sky's picture runs from the horizon (bottom) to the zenith, the top face's from −z to +z.
constexpr float kU[4] = {0, 1, 1, 0}, kV[4] = {0, 0, 1, 1};
// Distance sort value: after the opaque scene, so what the scene covers costs no sky pixels.
constexpr float kSkySortValue = 20000;
// After the floor's layer (app/RRFloor.h): the sky is drawn last of all opaque things, only where
// nothing covers it.
constexpr float kSkyLayer = RRFloorLayer + 10;

}  // namespace

std::string RRSkyboxTextureFile(int face) {
  return "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Skybox\\" + std::to_string(face + 1) + ".png";
}

gx::TGXVector3 RRSkyboxFacePoint(int face, float u, float v) {
  const TFace& f = kFaces[std::clamp(face, 0, RRSkyboxFaces - 1)];
  const gx::TGXVector3 top = f.Corner[0] + (f.Corner[1] - f.Corner[0]) * u;
  const gx::TGXVector3 bottom = f.Corner[3] + (f.Corner[2] - f.Corner[3]) * u;
  return top + (bottom - top) * v;
}

std::vector<TRRSkyVertex> RRSkyboxVertices() {
  std::vector<TRRSkyVertex> v;
  v.reserve(4 * RRSkyboxFaces);
  for (const TFace& f : kFaces)
    for (int c = 0; c < 4; ++c) {
      const gx::TGXVector3& p = f.Corner[c];
      v.push_back({p.x, p.y, p.z, kU[c], kV[c], p.y > 0 ? 0xFFFFFFFFu : 0x00FFFFFFu});
    }
  return v;
}

std::vector<uint16_t> RRSkyboxIndices() {
  std::vector<uint16_t> i;
  i.reserve(6 * RRSkyboxFaces);
  // Upper left, upper right, lower right is clockwise as seen from inside.
  for (int f = 0; f < RRSkyboxFaces; ++f) {
    const uint16_t b = uint16_t(4 * f);
    i.insert(i.end(), {b, uint16_t(b + 1), uint16_t(b + 2), b, uint16_t(b + 2), uint16_t(b + 3)});
  }
  return i;
}

TRRSkybox::TRRSkybox() {
  SetLocalBounds(gx::BoxFromMinMax({-H, 0, -H}, {H, H, H}));
  const std::vector<TRRSkyVertex> vertices = RRSkyboxVertices();
  const std::vector<uint16_t> indices = RRSkyboxIndices();
  TRRSkyboxPrimitive all;
  if (!RRMakeColorGeometry(vertices.data(), uint32_t(vertices.size()), sizeof(TRRSkyVertex), true, indices,
                           all))
    return;
  for (int f = 0; f < RRSkyboxFaces; ++f) {
    TRRSkyboxPrimitive& p = FPrimitives[size_t(f)];
    p.VertexGeometry = all.VertexGeometry;
    p.IndexGeometry = all.IndexGeometry;
    p.IndexGeometry->FirstIndex = uint32_t(6 * f);
    p.IndexGeometry->IndexCount = 6;
    p.Material = RRMakeSurroundingsMaterial(RRSkyboxMaterialName, true, RRSkyboxEffectFile,
                                            {{"DiffuseMap", RRSkyboxTextureFile(f)}});
  }
}

bool TRRSkybox::Drawable() const {
  for (const TRRSkyboxPrimitive& p : FPrimitives)
    if (!p.Material || !p.VertexGeometry) return false;
  return true;
}

void TRRSkybox::AddToRenderQueue(gx::TGXSceneCamera*, gx::TGXRenderQueue* queue) {
  if (!queue || !Node()) return;
  for (TRRSkyboxPrimitive& p : FPrimitives) {
    if (!p.Material || !p.VertexGeometry) continue;
    p.World = Node()->WorldMatrix();
    queue->Add(&p, kSkyLayer, kSkySortValue);
  }
}

void TRRSkybox::SetSkyColor(uint32_t colour) {
  FSkyColor = RRSkyColorVector(colour);
  for (TRRSkyboxPrimitive& p : FPrimitives)
    if (p.Material) RRSetSkyColor(*p.Material, FSkyColor);
}

}  // namespace rr
