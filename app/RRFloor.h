#pragma once
// The ground floor under the layout: a scene node "Boden" carrying one floor object whose
// primitive is a disc of 32 segments in the XZ plane (a centre vertex, an inner ring of radius
// 0.45 and an outer ring of radius 0.5). The centre and the inner ring are opaque white, the
// outer ring white with alpha 0: the floor shader fades the rim into the sky colour, so the
// floor ends in the horizon without an edge. The frame step scales the node to the layout's
// extent plus 40 m and puts it 50 cm under the layout's lowest point (Place).
//
// The floor answers no ray hits (tools pick through it) and is queued with the fixed sort value
// 10000. Geometry and material are made on the current render core; without one the node keeps
// its shape and colour but draws nothing.

#include <cstdint>
#include <vector>

#include "engine/core/GXGeometry.h"
#include "engine/core/GXMath.h"
#include "engine/core/GXSceneNode.h"
#include "engine/render/GXMaterial.h"
#include "engine/render/GXRenderPrimitive.h"

namespace rr {

inline constexpr const char* RRFloorNodeName = "Boden";
inline constexpr const char* RRFloorMaterialName = "Floor";
inline constexpr const char* RRFloorEffectFile =
    "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Shader\\Floor.fx";
inline constexpr const char* RRFloorBaseMapFile =
    "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Textures\\Floor.dds";
inline constexpr const char* RRFloorLightMapFile =
    "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Textures\\FloorLightmap.dds";
inline constexpr int RRFloorSegments = 32;
inline constexpr float RRFloorInnerRadius = 0.45f, RRFloorOuterRadius = 0.5f;
inline constexpr float RRFloorSortValue = 10000;
// The queue groups opaque items by layer first and by technique only then, so the distance alone
// cannot put the floor after the scene. In a layer after the baseboard's (its first texture pack
// draws in layer 1) the floor costs no pixels where the baseboard and the models cover it.
inline constexpr float RRFloorLayer = 50;
// The floor lies this far under the layout and reaches this far beyond it (centimetres).
inline constexpr float RRFloorDrop = 50, RRFloorMargin = 4000;

// Position and colour (0xAARRGGBB, stored as B, G, R, A bytes): 16 bytes.
struct TRRColorVertex {
  float X, Y, Z;
  uint32_t Color;
};

// The disc of n segments (n below 3 counts as 3): vertex 0 the centre, 1..n the inner ring,
// n+1..2n the outer ring, ring vertex k at angle 2πk/n at (sin θ·r, 0, −cos θ·r); triangles
// clockwise seen from above (drawn with the default cull mode).
std::vector<TRRColorVertex> RRFloorVertices(int segments = RRFloorSegments);
std::vector<uint16_t> RRFloorIndices(int segments = RRFloorSegments);
// The sky colour as the shaders take it: RGB of 0xAARRGGBB divided by 255, alpha 1.
gx::TGXVector4 RRSkyColorVector(uint32_t colour);

class TRRFloorPrimitive : public gx::TGXRenderPrimitive {
 public:
  const gx::TGXMatrix* GetWorldMatrix() override { return &World; }
  gx::TGXMatrix World = gx::GXMatrixIdentity();
};

class TRRFloorObject : public gx::TGXSceneObject {
 public:
  TRRFloorObject();
  bool RayIntersect(const gx::TGXVector3&, const gx::TGXVector3&, gx::TGXVector3&, gx::TGXVector3&) override {
    return false;
  }
  void AddToRenderQueue(gx::TGXSceneCamera* camera, gx::TGXRenderQueue* queue) override;
  TRRFloorPrimitive& Primitive() { return FPrimitive; }

 private:
  TRRFloorPrimitive FPrimitive;
};

class TRRFloor : public gx::TGXSceneNode {
 public:
  explicit TRRFloor(gx::TGXSceneNode* parent);

  // At (centre.x, min.y − 50, centre.z), scaled (s, 1, s) with s = the larger of the box's x and
  // z extents + 4000; an empty (or not finite) box counts as all zero.
  void Place(const gx::TGXBoundingBox& projectBounds);
  // The floor material's SkyColor (the rim fades into it).
  void SetSkyColor(uint32_t colour);
  const gx::TGXVector4& SkyColor() const { return FSkyColor; }
  // The technical view hides the floor.
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool IsShown() const { return Visible(); }

  TRRFloorObject* Object() const { return FObject.Get(); }
  // Whether geometry and material were made (a render core existed).
  bool Drawable() const;

 private:
  gx::TGXRef<TRRFloorObject> FObject;
  gx::TGXVector4 FSkyColor{1, 1, 1, 1};
};

}  // namespace rr
