#pragma once
// The sky around the camera: the upper half of a unit cube (x and z from −0.5 to 0.5, y from 0
// to 0.5) with four side faces (0–3) and the top face (4), 20 vertices of position, colour and
// texture coordinate and 30 indices, each face drawn by its own primitive with its own
// "Skybox" material (DiffuseMap "Skybox\1.png" … "5.png"). Vertices at y = 0 have alpha 0 and
// those at y = 0.5 alpha 255: the sky shader fades into the sky colour at the horizon, which is
// also the background the view is cleared with.
//
// The project's "Skybox" node carries it, scaled 1000 and moved to the camera every frame. A
// box of ±5 m would hide everything farther away, so the sky is drawn at the far depth (the
// shader puts z at w), without writing depth and with the depth test LESS-EQUAL: whatever the
// scene draws lies in front of it. The sky answers no ray hits.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/GXMath.h"
#include "engine/core/GXSceneNode.h"
#include "engine/render/GXMaterial.h"
#include "engine/render/GXRenderPrimitive.h"

namespace rr {

inline constexpr const char* RRSkyboxNodeName = "Skybox";
inline constexpr const char* RRSkyboxMaterialName = "Skybox";
inline constexpr const char* RRSkyboxEffectFile =
    "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Shader\\Skybox.fx";
inline constexpr float RRSkyboxScale = 1000;
inline constexpr int RRSkyboxFaces = 5;
// The face's texture, "Game:\{17A372D8-…}\Skybox\<face + 1>.png".
std::string RRSkyboxTextureFile(int face);

// Position, texture coordinate and colour (0xAARRGGBB): 24 bytes, in the order the vertex
// layout puts the elements.
struct TRRSkyVertex {
  float X, Y, Z;
  float U, V;
  uint32_t Color;
};

// Four vertices per face in face order (sides at z = +0.5, x = +0.5, z = −0.5, x = −0.5, then
// the top), the texture's top row at the upper edge; six indices per face, its triangles
// clockwise seen from inside the box (drawn with the default cull mode).
std::vector<TRRSkyVertex> RRSkyboxVertices();
// The point of the face where its texture's (u, v) is drawn (u, v in 0 … 1, v = 0 the top row):
// what the sky textures are painted for, so their edges meet.
gx::TGXVector3 RRSkyboxFacePoint(int face, float u, float v);
std::vector<uint16_t> RRSkyboxIndices();

class TRRSkyboxPrimitive : public gx::TGXRenderPrimitive {
 public:
  const gx::TGXMatrix* GetWorldMatrix() override { return &World; }
  gx::TGXMatrix World = gx::GXMatrixIdentity();
};

class TRRSkybox : public gx::TGXSceneObject {
 public:
  // Geometry and materials on the current render core; without one the sky draws nothing.
  TRRSkybox();

  bool RayIntersect(const gx::TGXVector3&, const gx::TGXVector3&, gx::TGXVector3&, gx::TGXVector3&) override {
    return false;
  }
  void AddToRenderQueue(gx::TGXSceneCamera* camera, gx::TGXRenderQueue* queue) override;

  // Every face material's SkyColor.
  void SetSkyColor(uint32_t colour);
  const gx::TGXVector4& SkyColor() const { return FSkyColor; }
  // The technical view hides the sky.
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool IsShown() const { return Visible(); }

  TRRSkyboxPrimitive& Primitive(int face) { return FPrimitives.at(face); }
  bool Drawable() const;

 private:
  std::array<TRRSkyboxPrimitive, RRSkyboxFaces> FPrimitives;
  gx::TGXVector4 FSkyColor{1, 1, 1, 1};
};

}  // namespace rr
