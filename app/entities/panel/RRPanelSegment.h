#pragma once
// A leaf of the panel's drawing tree (RRPanelPartition.h): one rectangle of at most 500 grid
// cells and everything drawn for it.
//
// - TRRPanelSegmentSurface: the terrain mesh. One vertex per grid point (position + normal, 24
//   bytes, row 0 = y0), 16-bit indices whose quads are split along alternating diagonals by the
//   parity of the global grid indices, so neighbouring segments meet without seams.
// - TRRPanelTexturePack: up to four ground textures blended over the surface; their weights at a
//   vertex are the four bytes of one 32-bit value (slot 0 in the low byte). The first pack draws
//   opaque, later ones blend over it ("BlendingEnabled" = ordinal).
// - TRRPanelSpecialSurface: the surface of transparent panels and of the technical view.
// - TRRPanelSegmentBase: the board below the terrain: top plate, walls along the exterior edges
//   and the underside, in the default texture.
//
// Buffers: while a surface or base is edited its buffers are dynamic (default pool, written with
// discard); FinishEdit makes them static again (managed pool). A switch releases the buffers,
// which are made again before the next draw; dirty arrays are uploaded once per frame. A lost
// device releases the vertex buffers (index buffers stay). Without draw services no buffer is
// ever made.

#include <cstdint>
#include <memory>
#include <vector>

#include "app/entities/panel/RRPanelPartition.h"
#include "engine/core/GXSceneNode.h"
#include "engine/render/GXRenderPrimitive.h"

namespace rr {

class TRRPanelSegment;

struct TRRPanelVertex {
  gx::TGXVector3 Position;
  gx::TGXVector3 Normal;
};
static_assert(sizeof(TRRPanelVertex) == 24);

struct TRRPanelBaseVertex {
  gx::TGXVector3 Position;
  gx::TGXVector3 Normal;
  float U = 0, V = 0;
};
static_assert(sizeof(TRRPanelBaseVertex) == 32);

// The effects and materials of the drawing tree.
inline constexpr const char* RRPanelEffectFolder =
    "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Shader\\Bodenplatte\\";
// The effect of a pack of 1 to 4 textures ("TerrainOneTile.fx" ... "TerrainFourTiles.fx").
std::string RRPanelPackEffect(int textures);
std::string RRPanelTransparentEffect();
std::string RRPanelCADEffect();
inline constexpr const char* RRPanelRasterTexture =
    "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Textures\\Bodenraster.png";
inline constexpr float RRPanelCADAlpha = 0.7f;
inline constexpr float RRPanelBasePlateHeight = -0.15f;

// How a buffer is made: static (write-only, managed pool, written without flags) or dynamic
// (dynamic write-only, default pool, written with discard).
struct TRRPanelBufferState {
  gx::TGXRef<gx::TGXDeviceVertexBuffer> Buffer;
  bool Dynamic = false;
  bool Dirty = true;
  // Releases the buffer when the use changes.
  void SetDynamic(bool value);
  // Makes the buffer when it is missing and uploads the bytes when dirty. Failures raise
  // EDirect3D (operation, "CreateVertexBuffer failed" / "Lock failed").
  void Update(gx::TGXRenderDevice& device, const char* operation, const void* data, uint32_t size);
};

class TRRPanelTexturePack : public gx::TGXRenderPrimitive {
 public:
  TRRPanelTexturePack(TRRPanelSegment& segment, int ordinal);
  int Ordinal() const { return FOrdinal; }
  int TextureCount() const { return FCount; }
  TRRPanelTexture* Slot(int slot) const { return FSlots[slot]; }
  // The slot holding the entry, or -1.
  int SlotOf(const TRRPanelTexture& texture) const;
  // Adds the entry to the next slot (the pack must have fewer than four) and rebuilds the
  // material; returns the slot.
  int AddTexture(TRRPanelTexture& texture);
  uint8_t Weight(uint32_t vertex, int slot) const {
    return static_cast<uint8_t>(FWeights[vertex] >> (8 * slot));
  }
  void SetWeight(uint32_t vertex, int slot, uint8_t weight);
  const std::vector<uint32_t>& Weights() const { return FWeights; }
  // "TexScaling" and "TexOffset" from the entries' current scales.
  void RefreshScales();
  // The effect the material was built with ("" without material).
  const std::string& EffectFile() const { return FEffectFile; }

  TRRPanelBufferState& WeightBuffer() { return FBuffer; }
  const gx::TGXMatrix* GetWorldMatrix() override;

 private:
  void BuildMaterial();
  TRRPanelSegment& FSegment;
  int FOrdinal;
  int FCount = 0;
  TRRPanelTexture* FSlots[4] = {};
  std::vector<uint32_t> FWeights;
  TRRPanelBufferState FBuffer;
  std::string FEffectFile;
};

class TRRPanelSpecialSurface : public gx::TGXRenderPrimitive {
 public:
  explicit TRRPanelSpecialSurface(TRRPanelSegment& segment);
  // Chooses the material for the view: technical: "CADSurface" ("BlendEnable" 1 when
  // transparent), else "TransparentSurface".
  void SelectMaterial(bool technical, bool transparent);
  const gx::IGXMaterial& TransparentMaterial() const { return FTransparent; }
  const gx::IGXMaterial& CADMaterial() const { return FCAD; }
  const gx::TGXMatrix* GetWorldMatrix() override;

 private:
  TRRPanelSegment& FSegment;
  gx::IGXMaterial FTransparent;
  gx::IGXMaterial FCAD;
};

class TRRPanelSegmentSurface {
 public:
  explicit TRRPanelSegmentSurface(TRRPanelSegment& segment);
  ~TRRPanelSegmentSurface();

  const std::vector<TRRPanelVertex>& Vertices() const { return FVertices; }
  const std::vector<uint16_t>& Indices() const { return FIndices; }
  float TopHeight() const { return FTopHeight; }
  int PackCount() const { return static_cast<int>(FPacks.size()); }
  TRRPanelTexturePack& Pack(int index) const { return *FPacks.at(index); }
  TRRPanelSpecialSurface& Special() { return FSpecial; }
  bool Dynamic() const { return FBuffer.Dynamic; }
  bool Dirty() const { return FBuffer.Dirty; }

  // Draws the vertex at max(h, 0); true when the top height rose.
  bool SetHeight(uint32_t vertex, float h);
  void SetWeight(TRRPanelTexture& texture, uint32_t vertex, bool normalise, uint8_t weight);
  uint8_t GetWeight(const TRRPanelTexture& texture, uint32_t vertex) const;
  // Pack order, slot order, weights above 0.
  void GetLayers(uint32_t vertex, std::vector<TRRPanelLayer>& layers) const;
  void FinishEdit();
  // Surface and packs to dynamic (editing) or static use.
  void SetDynamic(bool value);
  // The highest drawn height of the vertices.
  float RecomputeTopHeight();
  // Normals (when dirty), the stream-0 buffer, the packs' weight buffers and scales.
  void UpdateBuffers(gx::TGXRenderDevice& device);
  void ReleaseVertexBuffers();
  gx::TGXDeviceVertexBuffer* VertexBuffer() const { return FBuffer.Buffer.Get(); }
  gx::TGXDeviceIndexBuffer* IndexBuffer() const { return FIndexBuffer.Get(); }

 private:
  void CheckVertex(uint32_t vertex, int line) const;
  TRRPanelSegment& FSegment;
  std::vector<TRRPanelVertex> FVertices;
  std::vector<uint16_t> FIndices;
  float FTopHeight = 0;
  std::vector<std::unique_ptr<TRRPanelTexturePack>> FPacks;
  TRRPanelSpecialSurface FSpecial;
  TRRPanelBufferState FBuffer;
  gx::TGXRef<gx::TGXDeviceIndexBuffer> FIndexBuffer;
};

class TRRPanelSegmentBase : public gx::TGXRenderPrimitive {
 public:
  // An edge clipped to the segment, with the index of its first (top-row) vertex.
  struct TEdge {
    TRRPanelEdge Edge;
    uint32_t FirstVertex = 0;
    uint32_t Points = 0;
  };
  explicit TRRPanelSegmentBase(TRRPanelSegment& segment, const TRRPanelEdge (&edges)[4]);

  const TEdge& Edge(int side) const { return FEdges[side]; }
  const std::vector<TRRPanelBaseVertex>& Vertices() const { return FVertices; }
  const std::vector<uint16_t>& Indices() const { return FIndices; }
  bool Dynamic() const { return FBuffer.Dynamic; }
  // The wall top vertices at the grid point follow the drawn height max(h, 0).
  void SetHeight(uint32_t x, uint32_t y, float h);
  void FinishEdit() { FBuffer.SetDynamic(false); }
  // Index range and material follow the flag.
  void SetTransparent(bool value);
  // First index drawn: 6 for a transparent panel (no top plate), else 0.
  uint32_t FirstDrawnIndex() const { return FTransparent ? 6 : 0; }
  void UpdateBuffers(gx::TGXRenderDevice& device);
  void ReleaseVertexBuffers() {
    FBuffer.Buffer = {};
    FBuffer.Dirty = true;
  }
  gx::TGXDeviceVertexBuffer* VertexBuffer() const { return FBuffer.Buffer.Get(); }
  gx::TGXDeviceIndexBuffer* IndexBuffer() const { return FIndexBuffer.Get(); }
  const gx::TGXMatrix* GetWorldMatrix() override;

 private:
  void BuildMaterial();
  TRRPanelSegment& FSegment;
  TEdge FEdges[4];
  std::vector<TRRPanelBaseVertex> FVertices;
  std::vector<uint16_t> FIndices;
  TRRPanelBufferState FBuffer;
  gx::TGXRef<gx::TGXDeviceIndexBuffer> FIndexBuffer;
  bool FTransparent = false;
};

// Clips an edge to a segment's rectangle: it counts only on the segment's border line and stays
// exterior only while its clipped range is longer than one point.
TRRPanelEdge RRClipPanelEdge(const TRRPanelEdge& edge, int side, uint32_t x0, uint32_t y0, uint32_t x1,
                             uint32_t y1);

class TRRPanelSegment : public gx::TGXSceneObject, public gx::IGXDeviceCallback {
 public:
  explicit TRRPanelSegment(const TRRPanelObjectCreation& creation);

  uint32_t X0() const { return FX0; }
  uint32_t Y0() const { return FY0; }
  uint32_t X1() const { return FX1; }
  uint32_t Y1() const { return FY1; }
  uint32_t RowLength() const { return FX1 - FX0 + 1; }
  uint32_t VertexCount() const { return RowLength() * (FY1 - FY0 + 1); }
  int32_t QuadWidth() const { return FCreation.QuadWidth; }
  float Thickness() const { return FCreation.Thickness; }
  const TRRPanelObjectCreation& Creation() const { return FCreation; }
  // No cell: zero width or depth (no indices, nothing drawn or picked).
  bool ZeroCells() const { return FX0 == FX1 || FY0 == FY1; }
  bool Contains(uint32_t x, uint32_t y) const { return x >= FX0 && x <= FX1 && y >= FY0 && y <= FY1; }
  uint32_t VertexIndex(uint32_t x, uint32_t y) const { return (x - FX0) + (y - FY0) * RowLength(); }

  TRRPanelSegmentSurface& Surface() { return *FSurface; }
  const TRRPanelSegmentSurface& Surface() const { return *FSurface; }
  TRRPanelSegmentBase& Base() { return *FBase; }
  const TRRPanelSegmentBase& Base() const { return *FBase; }
  bool Transparent() const { return FTransparent; }
  bool Technical() const { return FCreation.TechnicalView && *FCreation.TechnicalView; }
  // The board block below the terrain.
  const gx::TGXBoundingBox& PickBox() const { return FPickBox; }

  void SetHeight(uint32_t x, uint32_t y, float h);
  void SetWeight(TRRPanelTexture& texture, uint32_t x, uint32_t y, bool normalise, uint8_t weight);
  uint8_t GetWeight(const TRRPanelTexture& texture, uint32_t x, uint32_t y) const;
  void FinishEdit();
  // The box top follows the highest drawn height, up and down.
  void UpdateBounds();
  void SetTransparent(bool value);

  // In the node's space: the nearest surface triangle (not for a transparent panel), else the
  // board block when it is nearer.
  bool RayIntersect(const gx::TGXVector3& origin, const gx::TGXVector3& direction, gx::TGXVector3& normal,
                    gx::TGXVector3& hit) override;
  void AddToRenderQueue(gx::TGXSceneCamera* camera, gx::TGXRenderQueue* queue) override;
  void OnDeviceLost() override;
  void OnDeviceReset() override {}

  // The node's world matrix (identity while detached).
  const gx::TGXMatrix& WorldMatrix();

 protected:
  ~TRRPanelSegment() override;

 private:
  void SetBoxTop(float top);
  gx::TGXDeviceVertexDeclaration* Layout(int kind);
  TRRPanelObjectCreation FCreation;
  uint32_t FX0, FY0, FX1, FY1;
  std::unique_ptr<TRRPanelSegmentSurface> FSurface;
  std::unique_ptr<TRRPanelSegmentBase> FBase;
  bool FTransparent = false;
  gx::TGXBoundingBox FPickBox;
  gx::TGXMatrix FWorld;
  gx::TGXRef<gx::TGXDeviceVertexDeclaration> FLayouts[3];
};

}  // namespace rr
