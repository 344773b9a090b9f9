#pragma once
// Bounding volumes (axis-aligned box, oriented box, sphere, frustum) and the functions that
// build, transform, merge and intersect them, plus small vector and quaternion helpers.
// An empty volume holds nothing and every operation treats it as absent.

#include "engine/core/GXMath.h"

namespace gx {

// Axis-aligned box. Corner order (signs give min (-) or max (+) per axis x, y, z):
// 0 (-,-,-), 1 (+,-,-), 2 (+,-,+), 3 (-,-,+), 4 (-,+,-), 5 (+,+,-), 6 (+,+,+), 7 (-,+,+).
// Corner 0 is the minimum, corner 6 the maximum.
struct TGXBoundingBox {
  bool Empty = true;
  TGXVector3 Corners[8];
  TGXVector3 Center;

  const TGXVector3& Min() const { return Corners[0]; }
  const TGXVector3& Max() const { return Corners[6]; }
};

// The corners of a box carried through a matrix, not re-aligned to the axes: corner k keeps its
// role, so the edges 0->1, 0->4 and 0->3 are the box's own x, y and z directions.
struct TGXOrientedBox {
  bool Empty = true;
  TGXVector3 Corners[8];
  TGXVector3 Center;
};

TGXBoundingBox BoxFromMinMax(const TGXVector3& min, const TGXVector3& max);
void BoxFromMinMax(TGXOrientedBox& box, const TGXVector3& min, const TGXVector3& max);
// The axis-aligned box around the eight transformed corners; empty stays empty.
TGXBoundingBox TransformBox(const TGXBoundingBox& box, const TGXMatrix& m);
// Grows target to hold source; an empty source changes nothing.
void MergeBox(TGXBoundingBox& target, const TGXBoundingBox& source);

}  // namespace gx
