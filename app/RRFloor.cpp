#include "app/RRFloor.h"

#include <algorithm>
#include <cmath>

#include "app/RRModelServices.h"
#include "app/RRSurroundings.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderQueue.h"

namespace rr {

std::vector<TRRColorVertex> RRFloorVertices(int segments) {
  const int n = std::max(3, segments);
  std::vector<TRRColorVertex> v;
  v.reserve(size_t(2 * n + 1));
  v.push_back({0, 0, 0, 0xFFFFFFFFu});
  for (float r : {RRFloorInnerRadius, RRFloorOuterRadius})
    for (int k = 0; k < n; ++k) {
      const double theta = 2 * M_PI * k / n;
      v.push_back({float(std::sin(theta) * r), 0, float(-std::cos(theta) * r),
                   r == RRFloorInnerRadius ? 0xFFFFFFFFu : 0x00FFFFFFu});
    }
  return v;
}

std::vector<uint16_t> RRFloorIndices(int segments) {
  const int n = std::max(3, segments);
  std::vector<uint16_t> i;
  i.reserve(size_t(9 * n));
  auto inner = [n](int k) { return uint16_t(1 + k % n); };
  auto outer = [n](int k) { return uint16_t(1 + n + k % n); };
  // The ring angle grows counter-clockwise seen from above, so each triangle takes the next
  // vertex first: clockwise, the front face of the default cull mode.
  for (int k = 0; k < n; ++k) {
    i.insert(i.end(), {0, inner(k + 1), inner(k)});
    i.insert(i.end(), {inner(k), inner(k + 1), outer(k + 1)});
    i.insert(i.end(), {inner(k), outer(k + 1), outer(k)});
  }
  return i;
}

gx::TGXVector4 RRSkyColorVector(uint32_t colour) {
  return {float((colour >> 16) & 0xFF) / 255.0f, float((colour >> 8) & 0xFF) / 255.0f,
          float(colour & 0xFF) / 255.0f, 1.0f};
}

// ---- object ----

TRRFloorObject::TRRFloorObject() {
  SetLocalBounds(gx::BoxFromMinMax({-RRFloorOuterRadius, 0, -RRFloorOuterRadius},
                                   {RRFloorOuterRadius, 0, RRFloorOuterRadius}));
}

void TRRFloorObject::AddToRenderQueue(gx::TGXSceneCamera*, gx::TGXRenderQueue* queue) {
  if (!queue || !FPrimitive.Material || !FPrimitive.VertexGeometry || !Node()) return;
  FPrimitive.World = Node()->WorldMatrix();
  queue->Add(&FPrimitive, RRFloorLayer, RRFloorSortValue);
}

// ---- node ----

TRRFloor::TRRFloor(gx::TGXSceneNode* parent) : gx::TGXSceneNode(RRFloorNodeName) {
  FObject = gx::MakeRef<TRRFloorObject>();
  AttachObject(FObject.Get());
  TRRFloorPrimitive& p = FObject->Primitive();
  const std::vector<TRRColorVertex> vertices = RRFloorVertices();
  const std::vector<uint16_t> indices = RRFloorIndices();
  if (RRMakeColorGeometry(vertices.data(), uint32_t(vertices.size()), sizeof(TRRColorVertex), false, indices,
                          p)) {
    p.Material =
        RRMakeSurroundingsMaterial(RRFloorMaterialName, false, RRFloorEffectFile,
                                   {{"BaseMap", RRFloorBaseMapFile}, {"LightMap", RRFloorLightMapFile}});
  }
  SetSkyColor(0xFFFFFFFFu);
  if (parent) parent->AddChild(this);
}

bool TRRFloor::Drawable() const {
  return FObject->Primitive().Material && FObject->Primitive().VertexGeometry.has_value();
}

void TRRFloor::Place(const gx::TGXBoundingBox& b) {
  gx::TGXVector3 lo{0, 0, 0}, hi{0, 0, 0};
  if (!b.Empty) {
    lo = b.Min(), hi = b.Max();
    auto finite = [](const gx::TGXVector3& v) {
      return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
    };
    if (!finite(lo) || !finite(hi)) lo = hi = {0, 0, 0};
  }
  const float s = std::max(hi.x - lo.x, hi.z - lo.z) + RRFloorMargin;
  SetPosition({(lo.x + hi.x) / 2, lo.y - RRFloorDrop, (lo.z + hi.z) / 2});
  SetScale({s, 1, s});
}

void TRRFloor::SetSkyColor(uint32_t colour) {
  FSkyColor = RRSkyColorVector(colour);
  if (gx::TGXMaterial* m = FObject->Primitive().Material.Get()) RRSetSkyColor(*m, FSkyColor);
}

}  // namespace rr
