#pragma once
// The drawing tree of a panel. The panel makes one top-level TRRPanelPartition per rectangle of
// its outline (BuildPartitions); a partition whose rectangle has more than 500 grid cells splits
// itself in halves along its longer side until every leaf holds at most 500 cells, so that the
// 16-bit indices of a leaf always hold. Each leaf carries one TRRPanelSegment (RRPanelSegment.h):
// the terrain surface, the blended ground-texture packs, the surface of the technical view and of
// transparent panels, and the side walls with the underside.
//
// Grid coordinates are the panel's absolute grid indices (column x along +X, row y along -Z).
// Every partition node sits at the minimum corner (x0, y0) of its rectangle relative to its
// parent, so grid point (x, y) lies at ((x - x0) * grid, height, -(y - y0) * grid) in the node.
//
// Edits go down the tree to every segment holding the grid point (a split line or a row shared by
// two partitions is a vertex of each segment that contains it) and change the segments' CPU
// arrays; the device buffers follow on the next frame. Without draw services (no render core) no
// device object is ever made: picking, editing and reading use the CPU arrays alone.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/GXMath.h"
#include "engine/core/GXSceneNode.h"
#include "engine/render/GXMaterial.h"
#include "engine/render/GXRenderDevice.h"
#include "engine/render/GXTexture.h"

namespace gx {
class TGXD3DDeviceCallback;
}

namespace rr {

// One entry of the panel's texture list (RRPanelTexture.h). The drawing tree identifies a ground
// texture by the address of its entry (the entry's place in the list is its identity in the grid
// data); an entry whose texture resource is empty draws with the default texture.
struct TRRPanelTexture;
class TRRPanelSegment;

// Leaves hold at most this many grid cells, and no side of a leaf is longer.
inline constexpr uint32_t RRPanelMaxSegmentCells = 500;

enum TRRPanelEdgeSide : int {
  RRPanelEdgeFront = 0,  // y = y0
  RRPanelEdgeLeft = 1,   // x = x0
  RRPanelEdgeRight = 2,  // x = x1
  RRPanelEdgeBack = 3,   // y = y1
};

// One side of a rectangle: exterior sides get a wall over [start, end] (grid points).
struct TRRPanelEdge {
  uint8_t Exterior = 0;
  int32_t StartX = 0, StartY = 0;
  int32_t EndX = 0, EndY = 0;
};

// Where the drawing tree gets its device objects from. The panel hands the same services to all
// its partitions; RRPanelEngineDrawServices gives the engine's on the current render core.
struct TRRPanelDrawServices {
  enum TLayoutKind : int {
    LayoutSurface = 0,  // stream 0 position + normal (24 bytes), stream 1 colour (4 bytes)
    LayoutSpecial = 1,  // stream 0 position + normal
    LayoutBase = 2,     // stream 0 position, normal, texture coordinate (32 bytes)
  };
  gx::TGXRenderDevice* Device = nullptr;
  // The device's vertex layout of a kind; null when it cannot be made.
  std::function<gx::TGXRef<gx::TGXDeviceVertexDeclaration>(int kind)> Layout;
  // A new private, loaded material of the name drawing with the effect file; null when the
  // effect cannot be had (reported by the services, once per file).
  std::function<gx::IGXMaterial(const std::string& name, const std::string& effectFile)> MakeMaterial;
  // A loaded texture of the file; null when it cannot be had.
  std::function<gx::IGXTexture(const std::string& file)> LoadTexture;
  // The board's material from the material generator: diffuse map = the texture's resource name,
  // two-sided as asked, depth bias 0.00001; null when none can be made.
  std::function<gx::IGXMaterial(const std::string& diffuseMap, bool twoSided)> BaseMaterial;
  // The list segments register with to hear of a lost device; null: none.
  gx::TGXD3DDeviceCallback* DeviceEvents = nullptr;
};

// The engine's services on the current render core; null without one (nothing is drawn).
// Services installed by a TRRPanelDrawServicesScope come first.
std::shared_ptr<TRRPanelDrawServices> RRPanelEngineDrawServices();

// Hands panels built during its lifetime the given services (a recording device for benchmarks
// and tests) and restores the ones installed before.
class TRRPanelDrawServicesScope {
 public:
  explicit TRRPanelDrawServicesScope(std::shared_ptr<TRRPanelDrawServices> services);
  ~TRRPanelDrawServicesScope();
  TRRPanelDrawServicesScope(const TRRPanelDrawServicesScope&) = delete;
  TRRPanelDrawServicesScope& operator=(const TRRPanelDrawServicesScope&) = delete;

 private:
  std::shared_ptr<TRRPanelDrawServices> FPrevious;
};

// The record the panel hands to every partition, a partition to its halves and to its segment.
struct TRRPanelObjectCreation {
  // Inclusive grid rectangle.
  uint32_t X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
  // Grid spacing in cm.
  int32_t QuadWidth = 10;
  // Front, left, right, back (TRRPanelEdgeSide).
  TRRPanelEdge Edges[4];
  // The default texture ("Holz.dds") and its resource name; the texture is null without a
  // render core, the name is what the board's material names as its diffuse map.
  gx::IGXTexture DefaultTexture;
  std::string DefaultTextureName;
  // Board thickness in cm.
  float Thickness = 5;
  // The panel's vertex normal at a grid point (unit length); without one the normal is up.
  std::function<gx::TGXVector3(uint32_t x, uint32_t y)> VertexNormal;
  // The entity manager's technical-view flag (true while the technical drawing is shown); null:
  // never technical.
  const bool* TechnicalView = nullptr;
  // Null: no device objects are made.
  std::shared_ptr<TRRPanelDrawServices> Services;
};

// One layer of a grid point: a texture entry and its weight there.
struct TRRPanelLayer {
  TRRPanelTexture* Texture = nullptr;
  uint8_t Weight = 0;
};

// A hit of a pick, in the space the ray was given in.
struct TRRPanelPickHit {
  TRRPanelSegment* Segment = nullptr;
  gx::TGXVector3 Point;
  gx::TGXVector3 Normal;
};

class TRRPanelPartition : public gx::TGXSceneNode {
 public:
  // Builds the subtree of the rectangle (splitting it while it has more than 500 cells). A
  // top-level partition also keeps the grid heights as given (zeros at first).
  TRRPanelPartition(const TRRPanelObjectCreation& creation, bool topLevel);
  ~TRRPanelPartition() override;

  uint32_t X0() const { return FX0; }
  uint32_t Y0() const { return FY0; }
  uint32_t X1() const { return FX1; }
  uint32_t Y1() const { return FY1; }
  bool TopLevel() const { return FTopLevel; }
  // The two halves, or null for a leaf.
  TRRPanelPartition* Half(int index) const { return index == 0 ? FFirst : index == 1 ? FSecond : nullptr; }
  // The leaf's segment, or null for a split partition.
  TRRPanelSegment* Segment() const { return FSegment.Get(); }

  bool Contains(uint32_t x, uint32_t y) const { return x >= FX0 && x <= FX1 && y >= FY0 && y <= FY1; }
  // Every segment holding the point draws it at max(h, 0); a top-level partition stores h. A
  // height that is not finite counts as 0 everywhere.
  void SetHeight(uint32_t x, uint32_t y, float h);
  // The stored height (top-level partitions only); 0 outside or without a height array.
  float GetHeight(uint32_t x, uint32_t y) const;
  // Every segment holding the point raises the texture's weight there to weight (never lowers
  // it), scaling the other textures there to 255 - weight when normalise is set.
  void SetWeight(TRRPanelTexture& texture, uint32_t x, uint32_t y, bool normalise, uint8_t weight);
  // The first non-zero weight of the texture at the point among the segments holding it
  // (depth first); 0 when none.
  uint8_t GetWeight(const TRRPanelTexture& texture, uint32_t x, uint32_t y) const;
  // Depth first, the first segment containing the point, with the point's vertex index in it;
  // null when none.
  TRRPanelSegment* FindSegment(uint32_t x, uint32_t y, uint32_t& vertexIndex) const;
  // The layers of the point in the first segment containing it: pack order, slot order, weights
  // above 0 only. Empty when no segment holds it.
  void GetLayers(uint32_t x, uint32_t y, std::vector<TRRPanelLayer>& layers) const;
  // The sum of the normals of the up to four grid quads around the point inside this rectangle
  // (unnormalised; grid units across, cm up, drawn heights max(h, 0)). Top-level only; zero
  // otherwise.
  gx::TGXVector3 Normal(uint32_t x, uint32_t y) const;

  void FinishEdit();
  void UpdateBounds();
  void SetTransparent(bool value);

  // Every segment of the subtree, depth first (first half before second).
  void ForEachSegment(const std::function<void(TRRPanelSegment&)>& visit) const;
  // The nearest hit of a world-space ray on the subtree's segments (transparent surfaces are not
  // hit, their board blocks are); uses the nodes' current world matrices.
  bool Pick(const gx::TGXVector3& origin, const gx::TGXVector3& direction, TRRPanelPickHit& hit) const;
  // The stored heights, row-major (empty below the top level).
  const std::vector<float>& Heights() const { return FHeights; }

 private:
  uint32_t FX0, FY0, FX1, FY1;
  bool FTopLevel;
  int32_t FQuadWidth;
  std::vector<float> FHeights;
  TRRPanelPartition* FFirst = nullptr;
  TRRPanelPartition* FSecond = nullptr;
  gx::TGXRef<TRRPanelSegment> FSegment;
};

}  // namespace rr
