#include "tools/assetgen/ModelKit.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace assetgen {

namespace {

using gx::GXVec3Cross;
using gx::GXVec3Dot;
using gx::GXVec3Normalize;

// The face's horizontal (to the right seen from the front) and its downward direction; on
// horizontal faces x and z.
void FaceAxes(const TGXVector3& n, TGXVector3& right, TGXVector3& down) {
  if (std::fabs(n.y) > 0.99f) {
    right = {1, 0, 0};
    down = {0, 0, n.y > 0 ? -1.0f : 1.0f};
    return;
  }
  right = GXVec3Normalize(GXVec3Cross(n, {0, 1, 0}));
  down = GXVec3Cross(n, right);
}

// Texture coordinates of a face's corners.
std::vector<TGXVector2> FaceUV(const std::vector<TGXVector3>& p, const TGXVector3& n, const TTile& tile) {
  TGXVector3 right, down;
  FaceAxes(n, right, down);
  std::vector<TGXVector2> uv;
  for (const TGXVector3& q : p) uv.push_back({GXVec3Dot(q, right), GXVec3Dot(q, down)});
  if (tile.Fit()) {
    float u0 = uv[0].x, u1 = uv[0].x, v0 = uv[0].y, v1 = uv[0].y;
    for (const TGXVector2& t : uv) {
      u0 = std::min(u0, t.x), u1 = std::max(u1, t.x);
      v0 = std::min(v0, t.y), v1 = std::max(v1, t.y);
    }
    for (TGXVector2& t : uv)
      t = {u1 > u0 ? (t.x - u0) / (u1 - u0) : 0.0f, v1 > v0 ? (t.y - v0) / (v1 - v0) : 0.0f};
  } else {
    for (TGXVector2& t : uv) t = {t.x / tile.U + tile.U0, t.y / tile.V + tile.V0};
  }
  return uv;
}

TGXVector3 FaceNormal(const TGXVector3& a, const TGXVector3& b, const TGXVector3& c) {
  return GXVec3Normalize(GXVec3Cross(b - a, c - a));
}

}  // namespace

TGXVector3 TWall::At(float along, float up, float out) const {
  return Origin + Right * along + TGXVector3{0, up, 0} + Normal * out;
}

std::vector<TWall> BoxWalls(float x0, float z0, float x1, float z1, float y0) {
  return {
      {{x0, y0, z0}, {1, 0, 0}, {0, 0, -1}, x1 - x0},
      {{x1, y0, z0}, {0, 0, 1}, {1, 0, 0}, z1 - z0},
      {{x1, y0, z1}, {-1, 0, 0}, {0, 0, 1}, x1 - x0},
      {{x0, y0, z1}, {0, 0, -1}, {-1, 0, 0}, z1 - z0},
  };
}

TGXQuaternion YRotation(float angle) { return {0, std::sin(angle / 2), 0, std::cos(angle / 2)}; }

TGXQuaternion AxisRotation(const TGXVector3& axis, float angle) {
  const TGXVector3 a = GXVec3Normalize(axis);
  const float s = std::sin(angle / 2);
  return {a.x * s, a.y * s, a.z * s, std::cos(angle / 2)};
}

std::string ColourMaterial(float r, float g, float b) { return gx::GXModelColorName(r, g, b, 1.0f); }

gx::TGXModelTrack RotationTrack(const std::string& node, const TGXVector3& axis, float total, uint32_t frames,
                                uint32_t step, bool ease) {
  gx::TGXModelTrack t;
  t.Name = node;
  for (uint32_t f = 0; f <= frames; f += step) {
    const float s = float(f) / float(frames);
    const float e = ease ? (1 - std::cos(s * gx::GX_PI)) / 2 : s;
    t.RotationKeys.push_back({f, AxisRotation(axis, total * e)});
  }
  return t;
}

int TModelKit::Part(const std::string& name, int parent, const TGXVector3& position,
                    const TGXQuaternion& rotation) {
  if (parent >= int(FParts.size())) throw std::logic_error("part parent out of range");
  FParts.push_back({name, parent, position, rotation, {}});
  FCurrent = int(FParts.size()) - 1;
  return FCurrent;
}

TModelKit::TGroup& TModelKit::Group(const std::string& texture) {
  if (FCurrent < 0) throw std::logic_error("no part to model into");
  std::vector<TGroup>& groups = FParts[size_t(FCurrent)].Groups;
  for (TGroup& g : groups)
    if (g.Texture == texture) return g;
  groups.push_back({texture, {}, {}});
  return groups.back();
}

uint32_t TModelKit::Vertex(TGroup& g, const TGXVector3& p, const TGXVector3& n, const TGXVector2& uv) {
  g.Vertices.push_back({p, n, uv});
  return uint32_t(g.Vertices.size() - 1);
}

void TModelKit::QuadUV(const std::string& texture, const TGXVector3& a, const TGXVector3& b,
                       const TGXVector3& c, const TGXVector3& d, const TGXVector2& ua, const TGXVector2& ub,
                       const TGXVector2& uc, const TGXVector2& ud) {
  TGroup& g = Group(texture);
  const TGXVector3 n = FaceNormal(a, b, c);
  const uint32_t i = Vertex(g, a, n, ua);
  Vertex(g, b, n, ub);
  Vertex(g, c, n, uc);
  Vertex(g, d, n, ud);
  g.Indices.insert(g.Indices.end(), {i, i + 1, i + 2, i, i + 2, i + 3});
}

void TModelKit::Quad(const std::string& texture, const TGXVector3& a, const TGXVector3& b,
                     const TGXVector3& c, const TGXVector3& d, const TTile& tile) {
  const std::vector<TGXVector2> uv = FaceUV({a, b, c, d}, FaceNormal(a, b, c), tile);
  QuadUV(texture, a, b, c, d, uv[0], uv[1], uv[2], uv[3]);
}

void TModelKit::Triangle(const std::string& texture, const TGXVector3& a, const TGXVector3& b,
                         const TGXVector3& c, const TTile& tile) {
  TGroup& g = Group(texture);
  const TGXVector3 n = FaceNormal(a, b, c);
  const std::vector<TGXVector2> uv = FaceUV({a, b, c}, n, tile);
  const uint32_t i = Vertex(g, a, n, uv[0]);
  Vertex(g, b, n, uv[1]);
  Vertex(g, c, n, uv[2]);
  g.Indices.insert(g.Indices.end(), {i, i + 1, i + 2});
}

void TModelKit::TriangleUV(const std::string& texture, const TGXVector3& a, const TGXVector3& b,
                           const TGXVector3& c, const TGXVector2& ua, const TGXVector2& ub,
                           const TGXVector2& uc) {
  TGroup& g = Group(texture);
  const TGXVector3 n = FaceNormal(a, b, c);
  const uint32_t i = Vertex(g, a, n, ua);
  Vertex(g, b, n, ub);
  Vertex(g, c, n, uc);
  g.Indices.insert(g.Indices.end(), {i, i + 1, i + 2});
}

void TModelKit::Tube(const std::string& texture, const TGXVector3& from, const TGXVector3& to, float r0,
                     float r1, int sides, uint32_t caps, const std::string& capTexture, float phase,
                     bool smooth) {
  const TGXVector3 axis = to - from;
  const float length = gx::GXVec3Length(axis);
  if (length <= 0 || sides < 3) return;
  const TGXVector3 d = axis * (1.0f / length);
  const TGXVector3 hint = std::fabs(d.y) < 0.9f ? TGXVector3{0, 1, 0} : TGXVector3{0, 0, 1};
  const TGXVector3 u = GXVec3Normalize(GXVec3Cross(hint, d));
  const TGXVector3 v = GXVec3Cross(d, u);
  auto dir = [&](int i) {
    const float a = phase + 2 * gx::GX_PI * float(i) / float(sides);
    return u * std::sin(a) + v * std::cos(a);
  };
  // Whether a face from corner i (left) to corner i + 1 (right) faces outwards; otherwise the
  // faces run the other way.
  const TGXVector3 e0 = dir(0), e1 = dir(1);
  const bool rightward = GXVec3Dot(GXVec3Cross(d, e1 - e0), (e0 + e1) * 0.5f) > 0;
  // The slope of the side: a smooth normal leans along the axis as far as the radius shrinks.
  const TGXVector3 lean = d * ((r0 - r1) / length);
  for (int i = 0; i < sides; ++i) {
    const TGXVector3 a = dir(i), b = dir(i + 1);
    const float ua = float(i) / float(sides), ub = float(i + 1) / float(sides);
    if (smooth) {
      TGroup& g = Group(texture);
      const TGXVector3 na = GXVec3Normalize(a + lean), nb = GXVec3Normalize(b + lean);
      const TGXVector3 p[4] = {from + a * r0, to + a * r1, to + b * r1, from + b * r0};
      const TGXVector3 n[4] = {na, na, nb, nb};
      const TGXVector2 t[4] = {{ua, 1}, {ua, 0}, {ub, 0}, {ub, 1}};
      const uint32_t k = uint32_t(g.Vertices.size());
      for (int c = 0; c < 4; ++c) Vertex(g, p[c], n[c], t[c]);
      if (rightward)
        g.Indices.insert(g.Indices.end(), {k, k + 1, k + 2, k, k + 2, k + 3});
      else
        g.Indices.insert(g.Indices.end(), {k + 3, k + 2, k + 1, k + 3, k + 1, k});
      continue;
    }
    if (rightward)
      QuadUV(texture, from + a * r0, to + a * r1, to + b * r1, from + b * r0, {ua, 1}, {ua, 0}, {ub, 0},
             {ub, 1});
    else
      QuadUV(texture, from + b * r0, to + b * r1, to + a * r1, from + a * r0, {ub, 1}, {ub, 0}, {ua, 0},
             {ua, 1});
  }
  const std::string& capTex = capTexture.empty() ? texture : capTexture;
  auto disc = [&](const TGXVector3& centre, float r, bool facesAlong) {
    for (int i = 0; i < sides; ++i) {
      const TGXVector3 a = dir(i), b = dir(i + 1);
      const TGXVector2 ta{0.5f + 0.5f * GXVec3Dot(a, u), 0.5f - 0.5f * GXVec3Dot(a, v)};
      const TGXVector2 tb{0.5f + 0.5f * GXVec3Dot(b, u), 0.5f - 0.5f * GXVec3Dot(b, v)};
      const bool keep = (GXVec3Dot(GXVec3Cross(a * r, b * r), d) > 0) == facesAlong;
      if (keep)
        TriangleUV(capTex, centre, centre + a * r, centre + b * r, {0.5f, 0.5f}, ta, tb);
      else
        TriangleUV(capTex, centre, centre + b * r, centre + a * r, {0.5f, 0.5f}, tb, ta);
    }
  };
  if ((caps & kTop) && r1 > 0) disc(to, r1, true);
  if ((caps & kBottom) && r0 > 0) disc(from, r0, false);
}

void TModelKit::OrientedBox(const std::string& texture, const TGXVector3& corner, const TGXVector3& x,
                            const TGXVector3& y, const TGXVector3& z, const TGXVector3& size,
                            const TTile& tile, uint32_t faces) {
  const TGXVector3 X = x * size.x, Y = y * size.y, Z = z * size.z;
  const TGXVector3 o = corner;
  // Each face as seen from outside: bottom-left, top-left, top-right, bottom-right.
  if (faces & kFront) Quad(texture, o, o + Y, o + X + Y, o + X, tile);
  if (faces & kBack) Quad(texture, o + X + Z, o + X + Y + Z, o + Y + Z, o + Z, tile);
  if (faces & kLeft) Quad(texture, o + Z, o + Y + Z, o + Y, o, tile);
  if (faces & kRight) Quad(texture, o + X, o + X + Y, o + X + Y + Z, o + X + Z, tile);
  if (faces & kTop) Quad(texture, o + Y, o + Y + Z, o + X + Y + Z, o + X + Y, tile);
  if (faces & kBottom) Quad(texture, o + Z, o, o + X, o + X + Z, tile);
}

void TModelKit::Box(const std::string& texture, const TGXVector3& min, const TGXVector3& max,
                    const TTile& tile, uint32_t faces, const std::string& top) {
  const TGXVector3 size = max - min;
  OrientedBox(texture, min, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, size, tile, faces & ~kTop);
  if (faces & kTop)
    OrientedBox(top.empty() ? texture : top, min, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, size, tile, kTop);
}

void TModelKit::Frustum(const std::string& texture, const TGXVector3& centre, float r0, float r1, float y0,
                        float y1, int sides, const TTile& tile, uint32_t caps, float phase,
                        const std::string& capTexture) {
  auto corner = [&](int i, float r, float y) {
    const float a = phase + 2 * gx::GX_PI * float(i) / float(sides);
    return TGXVector3{centre.x + std::sin(a) * r, y, centre.z + std::cos(a) * r};
  };
  // Angles grow from +z towards +x: clockwise seen from above, so seen from outside corner i is on
  // the right of corner i + 1.
  float along = 0;
  for (int i = 0; i < sides; ++i) {
    const TGXVector3 a = corner(i + 1, r0, y0), b = corner(i + 1, r1, y1), c = corner(i, r1, y1),
                     d = corner(i, r0, y0);
    const float width = gx::GXVec3Length(d - a);
    if (tile.Fit()) {
      const float u0 = float(i + 1) / float(sides), u1 = float(i) / float(sides);
      // Seen from outside the faces run from high i on the left to low i on the right.
      QuadUV(texture, a, b, c, d, {1 - u0, 1}, {1 - u0, 0}, {1 - u1, 0}, {1 - u1, 1});
    } else {
      const float v0 = -y0 / tile.V + tile.V0, v1 = -y1 / tile.V + tile.V0;
      // u falls towards the left, so each face continues its left neighbour's texture.
      const float u0 = -(along + width) / tile.U + tile.U0, u1 = -along / tile.U + tile.U0;
      QuadUV(texture, a, b, c, d, {u0, v0}, {u0, v1}, {u1, v1}, {u1, v0});
    }
    along += width;
  }
  const std::string& capTex = capTexture.empty() ? texture : capTexture;
  const TTile capTile = tile.Fit() ? TTile{2 * std::max(r0, r1), 2 * std::max(r0, r1)} : tile;
  for (int i = 1; i + 1 < sides; ++i) {
    if (caps & kTop) Triangle(capTex, corner(0, r1, y1), corner(i, r1, y1), corner(i + 1, r1, y1), capTile);
    if (caps & kBottom)
      Triangle(capTex, corner(0, r0, y0), corner(i + 1, r0, y0), corner(i, r0, y0), capTile);
  }
}

void TModelKit::Cone(const std::string& texture, const TGXVector3& centre, float r, float y0, float y1,
                     int sides, const TTile& tile, float phase) {
  auto corner = [&](int i) {
    const float a = phase + 2 * gx::GX_PI * float(i) / float(sides);
    return TGXVector3{centre.x + std::sin(a) * r, y0, centre.z + std::cos(a) * r};
  };
  const TGXVector3 apex{centre.x, y1, centre.z};
  for (int i = 0; i < sides; ++i) Triangle(texture, corner(i + 1), apex, corner(i), tile);
}

void TModelKit::Beam(const std::string& texture, const TGXVector3& from, const TGXVector3& to,
                     float thickness, const TTile& tile) {
  const TGXVector3 d = to - from;
  const float length = gx::GXVec3Length(d);
  if (length <= 0) return;
  // A frame turned from the upright one (z = x × y), its y as near the vertical as x allows.
  const TGXVector3 x = d * (1.0f / length);
  const TGXVector3 hint = std::fabs(x.y) < 0.9f ? TGXVector3{0, 1, 0} : TGXVector3{0, 0, 1};
  const TGXVector3 z = GXVec3Normalize(GXVec3Cross(x, hint));
  const TGXVector3 y = GXVec3Cross(z, x);
  OrientedBox(texture, from - y * (thickness / 2) - z * (thickness / 2), x, y, z,
              {length, thickness, thickness}, tile, kAll);
}

void TModelKit::Ring(const std::string& texture, const TGXVector3& centre, float rIn, float rOut, float y,
                     int sides, const TTile& tile, bool up) {
  auto at = [&](int i, float r) {
    const float a = 2 * gx::GX_PI * float(i) / float(sides);
    return TGXVector3{centre.x + std::sin(a) * r, y, centre.z + std::cos(a) * r};
  };
  for (int i = 0; i < sides; ++i) {
    // Seen from above, corner i + 1 lies clockwise of corner i.
    if (up)
      Quad(texture, at(i, rIn), at(i, rOut), at(i + 1, rOut), at(i + 1, rIn), tile);
    else
      Quad(texture, at(i + 1, rIn), at(i + 1, rOut), at(i, rOut), at(i, rIn), tile);
  }
}

void TModelKit::InnerWall(const std::string& texture, const TGXVector3& centre, float r, float y0, float y1,
                          int sides, const TTile& tile) {
  auto at = [&](int i, float y) {
    const float a = 2 * gx::GX_PI * float(i) / float(sides);
    return TGXVector3{centre.x + std::sin(a) * r, y, centre.z + std::cos(a) * r};
  };
  // Seen from the axis, corner i lies left of corner i + 1.
  for (int i = 0; i < sides; ++i) Quad(texture, at(i, y0), at(i, y1), at(i + 1, y1), at(i + 1, y0), tile);
}

void TModelKit::Opening(const std::string& texture, const TWall& wall, float along, float up, float width,
                        float height, float out) {
  Quad(texture, wall.At(along, up, out), wall.At(along, up + height, out),
       wall.At(along + width, up + height, out), wall.At(along + width, up, out), kFit);
}

// ---- roofs ----

namespace {

// A roof in its own frame: the ridge along a, the slopes falling along b (both unit vectors in
// the ground plane, a × b pointing up) from the footprint's centre line.
struct TRoofFrame {
  TGXVector3 Centre;  // footprint centre at height 0
  TGXVector3 A, B;
  float HalfA = 0, HalfB = 0;
  TGXVector3 At(float a, float b, float y) const { return Centre + A * a + B * b + TGXVector3{0, y, 0}; }
};

TRoofFrame FrameOf(const TModelKit::TRoof& r) {
  TRoofFrame f;
  f.Centre = {(r.X0 + r.X1) / 2, 0, (r.Z0 + r.Z1) / 2};
  if (r.AlongX) {
    f.A = {1, 0, 0};
    f.B = {0, 0, -1};
    f.HalfA = (r.X1 - r.X0) / 2;
    f.HalfB = (r.Z1 - r.Z0) / 2;
  } else {
    f.A = {0, 0, 1};
    f.B = {1, 0, 0};
    f.HalfA = (r.Z1 - r.Z0) / 2;
    f.HalfB = (r.X1 - r.X0) / 2;
  }
  return f;
}

}  // namespace

void TModelKit::GableRoof(const TRoof& r) {
  const TRoofFrame f = FrameOf(r);
  const float o = r.Overhang, t = r.Thickness;
  // The underside rests on the wall tops and rises to Ridge - t over the centre line.
  const float k = (r.Ridge - t - r.Eave) / f.HalfB;
  auto under = [&](float b) { return r.Eave + (f.HalfB - std::fabs(b)) * k; };
  const float ea = f.HalfA + o, eb = f.HalfB + o;
  const float low = under(eb);
  for (int side = 0; side < 2; ++side) {
    // side 0: the slope towards +B; side 1: towards -B (the frame turned by half a turn).
    const float s = side == 0 ? 1.0f : -1.0f;
    auto P = [&](float a, float b, float y) { return f.At(s * a, s * b, y); };
    // Cover, seen from outside (above and in front of the slope): eave at the bottom.
    Quad(r.Cover, P(-ea, eb, low + t), P(-ea, 0, r.Ridge), P(ea, 0, r.Ridge), P(ea, eb, low + t),
         r.CoverTile);
    // Underside, seen from below.
    Quad(r.Under, P(ea, eb, low), P(ea, 0, r.Ridge - t), P(-ea, 0, r.Ridge - t), P(-ea, eb, low), {4, 4});
    // Eave board.
    Quad(r.Under, P(-ea, eb, low), P(-ea, eb, low + t), P(ea, eb, low + t), P(ea, eb, low), {4, 4});
    // Verge boards along both ends of this slope.
    Quad(r.Under, P(ea, eb, low), P(ea, eb, low + t), P(ea, 0, r.Ridge), P(ea, 0, r.Ridge - t), {4, 4});
    Quad(r.Under, P(-ea, 0, r.Ridge - t), P(-ea, 0, r.Ridge), P(-ea, eb, low + t), P(-ea, eb, low), {4, 4});
    // Gable triangle on the end wall at +A (this side's own end).
    if (!r.Gable.empty())
      Triangle(r.Gable, P(f.HalfA, f.HalfB, r.Eave), P(f.HalfA, 0, r.Ridge - t), P(f.HalfA, -f.HalfB, r.Eave),
               r.GableTile);
  }
}

void TModelKit::HipRoof(const TRoof& r) {
  const TRoofFrame f = FrameOf(r);
  const float o = r.Overhang, t = r.Thickness;
  const float rise = r.Ridge - t - r.Eave;  // of the underside, over HalfB
  const float k = rise / f.HalfB;
  const float ea = f.HalfA + o, eb = f.HalfB + o;
  const float low = r.Eave - o * k;  // underside at the eave line
  // The ridge ends where a slope of the same pitch from the end walls meets it.
  const float ridgeHalf = std::max(0.0f, f.HalfA - f.HalfB);
  const float top = r.Ridge;
  for (int side = 0; side < 2; ++side) {
    const float s = side == 0 ? 1.0f : -1.0f;
    auto P = [&](float a, float b, float y) { return f.At(s * a, s * b, y); };
    // Long slope: a trapezoid from the eave to the ridge (a triangle when the roof is a pyramid).
    if (ridgeHalf > 1e-4f)
      Quad(r.Cover, P(-ea, eb, low + t), P(-ridgeHalf, 0, top), P(ridgeHalf, 0, top), P(ea, eb, low + t),
           r.CoverTile);
    else
      Triangle(r.Cover, P(-ea, eb, low + t), P(0, 0, top), P(ea, eb, low + t), r.CoverTile);
    // End slope: a triangle from the end eave to the ridge end.
    Triangle(r.Cover, P(ea, eb, low + t), P(ridgeHalf, 0, top), P(ea, -eb, low + t), r.CoverTile);
    // Eave boards on this side and this end.
    Quad(r.Under, P(-ea, eb, low), P(-ea, eb, low + t), P(ea, eb, low + t), P(ea, eb, low), {4, 4});
    Quad(r.Under, P(ea, eb, low), P(ea, eb, low + t), P(ea, -eb, low + t), P(ea, -eb, low), {4, 4});
  }
  // One flat soffit under the whole roof closes it from below.
  const TGXVector3 c0 = f.At(-ea, -eb, low), c1 = f.At(-ea, eb, low), c2 = f.At(ea, eb, low),
                   c3 = f.At(ea, -eb, low);
  Quad(r.Under, c0, c1, c2, c3, {4, 4});
}

void TModelKit::ShedRoof(const TRoof& r) {
  const TRoofFrame f = FrameOf(r);
  const float o = r.Overhang, t = r.Thickness;
  // The high edge lies at b = -HalfB, the low one at +HalfB (turned by half a turn when flipped).
  // The high edge has no overhang: it meets the wall it leans against.
  const float k = (r.Ridge - t - r.Eave) / (2 * f.HalfB);
  auto under = [&](float b) { return r.Eave + (f.HalfB - b) * k; };
  const float ea = f.HalfA + o, eb = f.HalfB + o, hb = f.HalfB;
  const float lowU = under(eb), highU = under(-hb);
  const float s = r.Flip ? -1.0f : 1.0f;
  auto P = [&](float a, float b, float y) { return f.At(s * a, s * b, y); };
  Quad(r.Cover, P(-ea, eb, lowU + t), P(-ea, -hb, highU + t), P(ea, -hb, highU + t), P(ea, eb, lowU + t),
       r.CoverTile);
  Quad(r.Under, P(ea, eb, lowU), P(ea, -hb, highU), P(-ea, -hb, highU), P(-ea, eb, lowU), {4, 4});
  Quad(r.Under, P(-ea, eb, lowU), P(-ea, eb, lowU + t), P(ea, eb, lowU + t), P(ea, eb, lowU), {4, 4});
  Quad(r.Under, P(ea, -hb, highU), P(ea, -hb, highU + t), P(-ea, -hb, highU + t), P(-ea, -hb, highU), {4, 4});
  Quad(r.Under, P(ea, eb, lowU), P(ea, eb, lowU + t), P(ea, -hb, highU + t), P(ea, -hb, highU), {4, 4});
  Quad(r.Under, P(-ea, -hb, highU), P(-ea, -hb, highU + t), P(-ea, eb, lowU + t), P(-ea, eb, lowU), {4, 4});
  if (!r.Gable.empty()) {
    // The walls' tops follow the slope: a triangle on each side wall above the eave.
    Triangle(r.Gable, P(f.HalfA, f.HalfB, r.Eave), P(f.HalfA, -f.HalfB, under(-f.HalfB)),
             P(f.HalfA, -f.HalfB, r.Eave), r.GableTile);
    Triangle(r.Gable, P(-f.HalfA, -f.HalfB, r.Eave), P(-f.HalfA, -f.HalfB, under(-f.HalfB)),
             P(-f.HalfA, f.HalfB, r.Eave), r.GableTile);
  }
}

// ---- building ----

gx::TGXModelData TModelKit::Build(gx::EGXModelFormat format) const {
  gx::TGXModelData model;
  model.Format = format;
  for (const TPart& part : FParts) {
    gx::TGXModelNode node;
    node.Name = part.Name;
    node.Parent = part.Parent;
    node.Position = part.Position;
    node.Rotation = part.Rotation;
    gx::TGXModelMesh mesh;
    mesh.Name = part.Name;
    for (const TGroup& g : part.Groups) {
      const uint32_t base = uint32_t(mesh.Vertices.size());
      if (base + g.Vertices.size() > gx::GXMaxMeshVertices)
        throw std::length_error("part " + part.Name + " has too many vertices");
      mesh.Vertices.insert(mesh.Vertices.end(), g.Vertices.begin(), g.Vertices.end());
      gx::TGXModelSubMesh sub;
      sub.FirstIndex = uint32_t(mesh.Indices.size());
      sub.IndexCount = uint32_t(g.Indices.size());
      sub.TextureName = g.Texture;
      for (uint32_t i : g.Indices) mesh.Indices.push_back(uint16_t(base + i));
      mesh.SubMeshes.push_back(std::move(sub));
    }
    if (!mesh.SubMeshes.empty()) {
      gx::GXModelCalculateBounds(mesh);
      node.Meshes.push_back(uint32_t(model.Meshes.size()));
      model.Meshes.push_back(std::move(mesh));
    }
    model.Nodes.push_back(std::move(node));
  }
  return model;
}

}  // namespace assetgen
