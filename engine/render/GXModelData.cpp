#include "engine/render/GXModelData.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace gx {

namespace {

uint32_t ColorChannel(float c) {
  if (!(c >= 0.0f)) return 0;  // below 0 and NaN
  if (c > 1.0f) return 255;
  return static_cast<uint32_t>(std::trunc(c * 255.0f + 0.5f));
}

}  // namespace

std::string GXModelColorText(float r, float g, float b, float a) {
  const uint32_t value =
      (ColorChannel(a) << 24) | (ColorChannel(r) << 16) | (ColorChannel(g) << 8) | ColorChannel(b);
  char text[16];
  std::snprintf(text, sizeof text, "%X", value);
  return text;
}

std::string GXModelColorName(float r, float g, float b, float a) {
  std::string name(1, '\0');
  name += GXModelColorText(r, g, b, a);
  return name;
}

void GXModelCalculateBounds(TGXModelMesh& mesh) {
  const size_t vertexCount = mesh.Vertices.size();
  bool meshAny = false;
  mesh.BoundsMin = mesh.BoundsMax = TGXVector3{0, 0, 0};
  for (TGXModelSubMesh& sub : mesh.SubMeshes) {
    bool any = false;
    TGXVector3 lo{0, 0, 0}, hi{0, 0, 0};
    const size_t end = std::min<size_t>(mesh.Indices.size(), size_t(sub.FirstIndex) + sub.IndexCount);
    for (size_t i = sub.FirstIndex; i < end; ++i) {
      const uint16_t index = mesh.Indices[i];
      if (index >= vertexCount) continue;
      const TGXVector3& p = mesh.Vertices[index].Position;
      if (!any) {
        lo = hi = p;
        any = true;
      } else {
        lo = GXVec3Minimize(lo, p);
        hi = GXVec3Maximize(hi, p);
      }
    }
    sub.BoundsMin = lo;
    sub.BoundsMax = hi;
    if (!meshAny) {
      mesh.BoundsMin = lo;
      mesh.BoundsMax = hi;
      meshAny = true;
    } else {
      mesh.BoundsMin = GXVec3Minimize(mesh.BoundsMin, lo);
      mesh.BoundsMax = GXVec3Maximize(mesh.BoundsMax, hi);
    }
  }
}

uint32_t GXModelEndFrame(const TGXModelAnimation& animation) {
  uint32_t end = 0;
  for (const TGXModelTrack& track : animation.Tracks) {
    if (!track.PositionKeys.empty()) end = std::max(end, track.PositionKeys.back().Frame);
    if (!track.RotationKeys.empty()) end = std::max(end, track.RotationKeys.back().Frame);
    if (!track.ScaleKeys.empty()) end = std::max(end, track.ScaleKeys.back().Frame);
  }
  return end;
}

size_t GXModelNodeDepth(const std::vector<TGXModelNode>& nodes) {
  std::vector<size_t> depth(nodes.size(), 1);
  size_t deepest = 0;
  for (size_t i = 0; i < nodes.size(); ++i) {
    const int32_t parent = nodes[i].Parent;
    if (parent >= 0 && size_t(parent) < i) depth[i] = depth[size_t(parent)] + 1;
    deepest = std::max(deepest, depth[i]);
  }
  return deepest;
}

}  // namespace gx
