#include "engine/core/GXGeometry.h"

namespace gx {

namespace {
template <class Box>
void FillCorners(Box& b, const TGXVector3& mn, const TGXVector3& mx) {
  b.Empty = false;
  b.Corners[0] = {mn.x, mn.y, mn.z};
  b.Corners[1] = {mx.x, mn.y, mn.z};
  b.Corners[2] = {mx.x, mn.y, mx.z};
  b.Corners[3] = {mn.x, mn.y, mx.z};
  b.Corners[4] = {mn.x, mx.y, mn.z};
  b.Corners[5] = {mx.x, mx.y, mn.z};
  b.Corners[6] = {mx.x, mx.y, mx.z};
  b.Corners[7] = {mn.x, mx.y, mx.z};
  b.Center = mn + (mx - mn) * 0.5f;
}
}  // namespace

TGXBoundingBox BoxFromMinMax(const TGXVector3& min, const TGXVector3& max) {
  TGXBoundingBox b;
  FillCorners(b, min, max);
  return b;
}

void BoxFromMinMax(TGXOrientedBox& box, const TGXVector3& min, const TGXVector3& max) { FillCorners(box, min, max); }

TGXBoundingBox TransformBox(const TGXBoundingBox& box, const TGXMatrix& m) {
  if (box.Empty) return {};
  TGXVector3 mn = GXVec3TransformCoord(box.Corners[0], m), mx = mn;
  for (int i = 1; i < 8; ++i) {
    TGXVector3 p = GXVec3TransformCoord(box.Corners[i], m);
    mn = GXVec3Minimize(mn, p);
    mx = GXVec3Maximize(mx, p);
  }
  return BoxFromMinMax(mn, mx);
}

void MergeBox(TGXBoundingBox& target, const TGXBoundingBox& source) {
  if (source.Empty) return;
  if (target.Empty) {
    target = BoxFromMinMax(source.Min(), source.Max());
    return;
  }
  target = BoxFromMinMax(GXVec3Minimize(target.Min(), source.Min()), GXVec3Maximize(target.Max(), source.Max()));
}

}  // namespace gx
