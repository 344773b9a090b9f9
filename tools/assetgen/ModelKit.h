#pragma once
// A small kit for modelling the catalogue's buildings and track accessories in code.
//
// A model is a set of parts; each part becomes one node with one mesh, and the mesh's faces are
// grouped into one sub-mesh per texture (in the order the textures were first used), so every
// part draws with as few materials as possible and reads back the same from .3ds and .x files.
// Positions are scene units (centimetres, H0 size), y up, in the part's own frame.
//
// Faces are given as seen from the outside: a quad as bottom-left, top-left, top-right,
// bottom-right; they are wound clockwise from the front, the engine's front faces. Texture
// coordinates either fit the face (0..1) or tile it: the texture then repeats every Tile.U units
// along the face's horizontal and every Tile.V units down it, measured from the part's origin, so
// walls of one height show their bricks at the same heights all round.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/GXMath.h"
#include "engine/render/GXModelData.h"

namespace assetgen {

using gx::TGXQuaternion;
using gx::TGXVector2;
using gx::TGXVector3;

// How a face takes its texture: U and V zero fit the texture to the face; otherwise the world
// size of one repeat, with an offset in repeats.
struct TTile {
  float U = 0, V = 0;
  float U0 = 0, V0 = 0;
  bool Fit() const { return U <= 0 || V <= 0; }
};
inline constexpr TTile kFit{};

// A wall seen from outside: its bottom-left corner, the direction to the right along it and its
// outward normal. Points on it are given as (along, up, out).
struct TWall {
  TGXVector3 Origin;
  TGXVector3 Right;
  TGXVector3 Normal;
  float Length = 0;
  TGXVector3 At(float along, float up, float out = 0) const;
};

// The four walls of the box x0..x1, z0..z1 standing on y = y0, in the order front (-z), right
// (+x), back (+z), left (-x).
std::vector<TWall> BoxWalls(float x0, float z0, float x1, float z1, float y0 = 0);

// A rotation about the vertical axis (y) by angle radians, and about any axis.
TGXQuaternion YRotation(float angle);
TGXQuaternion AxisRotation(const TGXVector3& axis, float angle);

// The material of an untextured part in an opaque colour (channels 0 … 1).
std::string ColourMaterial(float r, float g, float b);

// The keys of a node turning about axis through the angles 0 … total (radians) over frames, a key
// every step frames from frame 0, eased at both ends when ease is set. Keys replace the node's
// rotation, so the node rests unturned: its first key is its rest pose.
gx::TGXModelTrack RotationTrack(const std::string& node, const TGXVector3& axis, float total, uint32_t frames,
                                uint32_t step, bool ease);

class TModelKit {
 public:
  // A new part under parent (-1: the model's target node), placed at position with rotation;
  // later faces go into it. Returns its index.
  int Part(const std::string& name, int parent = -1, const TGXVector3& position = {0, 0, 0},
           const TGXQuaternion& rotation = {0, 0, 0, 1});
  void Use(int part) { FCurrent = part; }
  int Current() const { return FCurrent; }

  // ---- faces ----
  void Quad(const std::string& texture, const TGXVector3& a, const TGXVector3& b, const TGXVector3& c,
            const TGXVector3& d, const TTile& tile);
  // A quad with the given texture coordinates at a, b, c, d.
  void QuadUV(const std::string& texture, const TGXVector3& a, const TGXVector3& b, const TGXVector3& c,
              const TGXVector3& d, const TGXVector2& ua, const TGXVector2& ub, const TGXVector2& uc,
              const TGXVector2& ud);
  // A triangle a, b, c clockwise from the front, tiled (a fitted triangle takes the fit of its
  // bounding quad).
  void Triangle(const std::string& texture, const TGXVector3& a, const TGXVector3& b, const TGXVector3& c,
                const TTile& tile);
  // A triangle with the given texture coordinates at a, b, c.
  void TriangleUV(const std::string& texture, const TGXVector3& a, const TGXVector3& b, const TGXVector3& c,
                  const TGXVector2& ua, const TGXVector2& ub, const TGXVector2& uc);

  // ---- solids ----
  // An axis-aligned box; faces is a mask of kFront (-z), kBack (+z), kLeft (-x), kRight (+x), kTop,
  // kBottom. top names the texture of the top face (empty: the sides' texture).
  enum : uint32_t {
    kFront = 1,
    kBack = 2,
    kLeft = 4,
    kRight = 8,
    kTop = 16,
    kBottom = 32,
    kAll = 63,
    kSides = 15
  };
  void Box(const std::string& texture, const TGXVector3& min, const TGXVector3& max, const TTile& tile,
           uint32_t faces = kAll & ~kBottom, const std::string& top = {});
  // A box with edges along the axes x, y, z (unit vectors) from corner, size along each.
  void OrientedBox(const std::string& texture, const TGXVector3& corner, const TGXVector3& x,
                   const TGXVector3& y, const TGXVector3& z, const TGXVector3& size, const TTile& tile,
                   uint32_t faces = kAll);
  // An upright n-sided frustum around the vertical axis through centre: radius r0 at height y0,
  // r1 at y1 (the corners' circle); caps as kTop and kBottom. The first corner lies on +z rotated
  // by phase radians towards +x.
  void Frustum(const std::string& texture, const TGXVector3& centre, float r0, float r1, float y0, float y1,
               int sides, const TTile& tile, uint32_t caps = kTop, float phase = 0,
               const std::string& capTexture = {});
  // A tube along any axis: an n-sided frustum from the point from (corner radius r0) to the point
  // to (r1), its faces towards the outside. caps: kBottom closes it at from, kTop at to, each as a
  // disc that shows the whole texture (its centre on the axis: wheels, buffer heads, lamps). The
  // side wraps the texture once around and once along. A smooth side is shaded round (its
  // normals point away from the axis) instead of showing its facets.
  void Tube(const std::string& texture, const TGXVector3& from, const TGXVector3& to, float r0, float r1,
            int sides, uint32_t caps = 0, const std::string& capTexture = {}, float phase = 0,
            bool smooth = false);
  // A pointed roof or spire: n-sided cone from radius r at height y0 to the apex at y1.
  void Cone(const std::string& texture, const TGXVector3& centre, float r, float y0, float y1, int sides,
            const TTile& tile, float phase = 0);
  // A beam of square section (thickness) centred on the line from one point to another.
  void Beam(const std::string& texture, const TGXVector3& from, const TGXVector3& to, float thickness,
            const TTile& tile);
  // A flat ring between radii rIn and rOut at height y, facing up (or down), n segments.
  void Ring(const std::string& texture, const TGXVector3& centre, float rIn, float rOut, float y, int sides,
            const TTile& tile, bool up = true);
  // The inside of an upright n-sided tube (radius r from y0 to y1), facing the axis.
  void InnerWall(const std::string& texture, const TGXVector3& centre, float r, float y0, float y1, int sides,
                 const TTile& tile);
  // A flat opening (window, door) on a wall: a fitted quad slightly in front of it.
  void Opening(const std::string& texture, const TWall& wall, float along, float up, float width,
               float height, float out = 0.03f);

  // ---- roofs ----
  struct TRoof {
    float X0 = 0, Z0 = 0, X1 = 0, Z1 = 0;  // the walls' footprint
    float Eave = 0;                        // wall top, where the roof's underside rests
    float Ridge = 0;                       // top of the ridge
    float Overhang = 0.5f;                 // beyond the walls, horizontally
    float Thickness = 0.2f;
    bool AlongX = true;  // ridge direction
    bool Flip = false;   // shed roof: falls towards the back instead
    std::string Cover;   // roof texture (tiled)
    TTile CoverTile{4, 4};
    std::string Under;  // underside and edges
    std::string Gable;  // gable walls (empty: none)
    TTile GableTile{4, 4};
  };
  // A saddle roof over the footprint with its gable triangles on the end walls.
  void GableRoof(const TRoof& roof);
  // A hipped roof: the ridge is shortened at both ends so that all four faces have the same slope.
  void HipRoof(const TRoof& roof);
  // A roof of one slope: along x it falls from the back (+z) to the front, across from -x to +x;
  // Flip turns that round. Eave is the underside at the low edge's wall line, Ridge the top of the
  // high edge, which has no overhang (it leans against a wall).
  void ShedRoof(const TRoof& roof);

  // The model: one node per part with its mesh (a part without faces gets no mesh), no animation.
  gx::TGXModelData Build(gx::EGXModelFormat format) const;

 private:
  struct TGroup {
    std::string Texture;
    std::vector<gx::TGXModelVertex> Vertices;
    std::vector<uint32_t> Indices;  // into this group's vertices
  };
  struct TPart {
    std::string Name;
    int Parent = -1;
    TGXVector3 Position;
    TGXQuaternion Rotation;
    std::vector<TGroup> Groups;
  };
  TGroup& Group(const std::string& texture);
  uint32_t Vertex(TGroup& g, const TGXVector3& p, const TGXVector3& n, const TGXVector2& uv);

  std::vector<TPart> FParts;
  int FCurrent = -1;
};

}  // namespace assetgen
