#pragma once
// Baseboard panels: TRRPanel is the board a layout stands on, a flat board of fixed outline
// (rectangle, L open to the left or right, U) whose top is a height field sampled on a square
// grid and painted with blended ground textures; TRRPanelDesc is its description.
//
// Shape record TRRPanelParams (36 bytes, little-endian, stored byte for byte): Shape (byte, 0..3),
// three zero bytes, A, B, C, D, E, F, QuadWidth (unsigned 32 each, centimetres), Thickness
// (Single). The outline is the union of one to three partitions (inclusive grid rectangles,
// RRPanelPartitionShapes); neighbouring partitions share the grid row y = l.
//
// Grid point (x, y) lies at local position (x * grid, height, -y * grid).
//
// Description payload (after the base payload): Integer version (2 written, 1 and 2 read), the
// 36-byte record, Integer data size and that many bytes (a zlib stream of the grid data), Integer
// texture count and the textures (version 2: TRRAssetFileName and Single scale; version 1: a wide
// string with a root-prefixed name, then the scale), transparent byte. docs/panel-format.md.
//
// Grid data (inflated): for each partition in order a height block (Singles, rows outer, columns
// inner) and a layer block (per point an unsigned 32-bit count n and n values
// (texture index shl 16) or weight, weight 1..255).
//
// Everything a description can hold is checked before the panel changes: a record that cannot be
// built (RRCheckPanelParams), counts beyond what remains, or grid data that does not inflate to
// exactly the size the record implies raise EGXException "Invalid description" and leave the panel
// as it was (SetParams, RemoveTexture and ReplaceTexture build aside and swap).

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/RREntityManager.h"
#include "app/entities/RREntity.h"
#include "app/entities/RREntityDescription.h"
#include "app/entities/panel/RRPanelPartition.h"
#include "app/entities/panel/RRPanelTexture.h"
#include "engine/core/GXMath.h"
#include "engine/render/GXEffect.h"
#include "engine/render/GXImageReader.h"

namespace rr {

class TRRRegisteredEntityList;

inline constexpr const char* RRKindPanel = "{EEA00247-0129-4C69-AAB1-D7CFA5808E42}";
inline constexpr int32_t RRPanelDescVersion = 2;

// Caps of a buildable record.
inline constexpr uint32_t RRPanelMaxDimension = 100000;  // cm
inline constexpr uint64_t RRPanelMaxGridPoints = uint64_t(1) << 22;
inline constexpr float RRPanelMinThickness = 0.1f;
inline constexpr float RRPanelMaxThickness = 100.0f;

// RRTextInvalidDescription ("Invalid description") is the entity manager's (RREntityManager.h).

// The four terrain effects a panel keeps loaded.
inline constexpr const char* RRPanelEffectFiles[4] = {
    "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Shader\\Bodenplatte\\TerrainOneTile.fx",
    "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Shader\\Bodenplatte\\TerrainTwoTiles.fx",
    "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Shader\\Bodenplatte\\TerrainThreeTiles.fx",
    "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Shader\\Bodenplatte\\TerrainFourTiles.fx"};

// ---- shape record ----

struct TRRPanelParams {
  static constexpr size_t Size = 36;
  uint8_t Shape = 0;  // 0 rectangle, 1 L open to the left, 2 L open to the right, 3 U
  uint32_t A = 300, B = 150, C = 0, D = 0, E = 0, F = 0;
  uint32_t QuadWidth = 10;
  float Thickness = 5.0f;

  std::array<uint8_t, Size> ToBytes() const;
  // Padding bytes are ignored.
  static TRRPanelParams FromBytes(std::span<const uint8_t, Size> bytes);
  void WriteToStream(gx::TGXStream& s) const;
  void ReadFromStream(gx::TGXStream& s);
  friend bool operator==(const TRRPanelParams&, const TRRPanelParams&) = default;
};

// Whether a panel can be built from the record: shapes above 3 always can (they have no
// partitions); otherwise QuadWidth > 0, A..F multiples of it and at most RRPanelMaxDimension, the
// arms inside the outline (C, E <= A, D < B, l <= f), at most RRPanelMaxGridPoints grid points and
// a finite thickness within 0.1..100. reason (when given) names the first fault.
bool RRCheckPanelParams(const TRRPanelParams& params, std::string* reason = nullptr);

// A partition rectangle in grid points (inclusive) with its edges front (y = y0), left (x = x0),
// right (x = x1), back (y = y1) (TRRPanelEdge of RRPanelPartition.h).
struct TRRPanelPartitionShape {
  uint32_t X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
  TRRPanelEdge Edges[4];
  bool Contains(int64_t x, int64_t y) const { return x >= X0 && x <= X1 && y >= Y0 && y <= Y1; }
  uint64_t PointCount() const { return uint64_t(X1 - X0 + 1) * (Y1 - Y0 + 1); }
};
// The partitions of a record that RRCheckPanelParams accepts (none for shapes above 3).
std::vector<TRRPanelPartitionShape> RRPanelPartitionShapes(const TRRPanelParams& params);
// The inflated size of the grid data's height blocks plus the smallest layer blocks (a count per
// point) - the least a sound grid holds.
uint64_t RRPanelMinGridDataSize(const TRRPanelParams& params);

// ---- grid data ----

// The grid data in its inflated form: per partition the heights and the layers of every point.
// Shared between descriptions and snapshots; never changed once made.
struct TRRPanelGrid {
  std::vector<TRRPanelPartitionShape> Partitions;
  // Per partition: heights row by row; layer offsets (PointCount + 1 entries into Layers).
  std::vector<std::vector<float>> Heights;
  std::vector<std::vector<uint32_t>> LayerStart;
  std::vector<std::vector<uint32_t>> Layers;

  // The inflated byte form (heights and layer blocks per partition).
  std::vector<uint8_t> Encode() const;
  // Parses the inflated bytes for the partitions of params. Raises EGXException
  // "Invalid description" when the bytes do not hold exactly the blocks the record implies or a
  // layer count exceeds what remains.
  static std::shared_ptr<const TRRPanelGrid> Decode(const TRRPanelParams& params,
                                                    std::span<const uint8_t> bytes);
};

// zlib helpers of the grid data: deflate at zlib's default level; inflate refuses more than
// maxSize bytes of output (EGXException "Invalid description").
std::vector<uint8_t> RRPanelDeflate(std::span<const uint8_t> data);
std::vector<uint8_t> RRPanelInflate(std::span<const uint8_t> data, uint64_t maxSize);

// One line of a height text file: "x,y,height" with integer x and y (32-bit) and a finite decimal
// height ("." as separator); blanks around the fields, a carriage return and a leading byte-order
// mark are ignored, fields after the third too. False for any other line.
bool RRParseHeightLine(std::string_view line, int32_t& x, int32_t& y, float& height);

// ---- description ----

struct TRRPanelSnapshot;

class TRRPanelDesc : public TRREntityDescription {
  RR_DESCRIPTION_CLASS()

 public:
  void LoadFromStream(gx::TGXStream& s) override;
  void SaveToStream(gx::TGXStream& s) const override;
  // Base accessors, then one per texture.
  void GetPropertyAccess(TRRPropertyAccessList& list) override;
  // Base keys, "PanelParams" (36-byte memory property, required: EGXException
  // "LoadFromOldDescription" "Invalid description" otherwise), "PanelData", "TextureCount" with
  // "TextureName%d" / "TextureScale%d", "Transparent".
  void LoadFromPropertyBag(const TRREntityDescription_10& bag, std::string& modelFileName) override;

  TRRPanelParams& Params() { return FParams; }
  const TRRPanelParams& Params() const { return FParams; }
  TRRPanelTextureDescArray& Textures() { return FTextures; }
  const TRRPanelTextureDescArray& Textures() const { return FTextures; }
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool value) { FTransparent = value; }

  // The stored grid data (the zlib stream). A description filled by a panel holds the inflated
  // grid or a snapshot's blocks and deflates them here on first use (writing to a stream uses
  // this); the bytes are those SaveToDesc gives for the same state.
  const std::vector<uint8_t>& Data() const;
  void SetData(std::vector<uint8_t> data);
  // The inflated grid a panel wrote, or null (then Data() is what there is). A description holding
  // a snapshot makes the grid from its blocks on first call and keeps it.
  std::shared_ptr<const TRRPanelGrid> Grid() const;
  void SetGrid(std::shared_ptr<const TRRPanelGrid> grid);
  // The undo snapshot whose blocks are the grid (shared, never changed), or null. A panel loads
  // from the blocks directly; nothing flat is made unless Data() or Grid() is asked for.
  const std::shared_ptr<const TRRPanelSnapshot>& Snapshot() const { return FSnapshot; }
  void SetSnapshot(std::shared_ptr<const TRRPanelSnapshot> snapshot);

 private:
  TRRPanelParams FParams;
  mutable std::vector<uint8_t> FData;
  mutable bool FDataValid = true;
  mutable std::shared_ptr<const TRRPanelGrid> FGrid;
  std::shared_ptr<const TRRPanelSnapshot> FSnapshot;
  TRRPanelTextureDescArray FTextures;
  bool FTransparent = false;
};

// The description `new` and a new project start with: the default record (rectangle 300 x 150 cm,
// grid 10 cm, thickness 5 cm), no grid data (flat, covered with wood), no textures.
std::unique_ptr<TRRPanelDesc> RRDefaultPanelDesc();

// ---- snapshots ----

// A panel's state for undo: the record, the texture list, the transparency and the grid as blocks
// of at most RRPanelSnapshotBlockSize x RRPanelSnapshotBlockSize points per partition, each block
// in the grid data's encoding (heights, then counts and layer values of its points). Blocks are
// shared between snapshots: a snapshot taken after a stroke copies only the blocks it touched.
inline constexpr uint32_t RRPanelSnapshotBlockSize = 32;

struct TRRPanelSnapshotBlock {
  uint32_t Partition = 0, X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
  std::vector<float> Heights;
  std::vector<uint32_t> LayerStart;  // point count + 1
  std::vector<uint32_t> Layers;
  size_t MemorySize() const;
};

struct TRRPanelSnapshot {
  uint64_t EditCounter = 0;
  TRRPanelParams Params;
  TRRPanelTextureDescArray Textures;
  bool Transparent = false;
  std::vector<std::shared_ptr<const TRRPanelSnapshotBlock>> Blocks;
  // Bytes held by the blocks (shared blocks count in every snapshot holding them).
  size_t MemorySize() const;
};

// The inflated grid of a snapshot (a point without a block has height 0 and no layers).
std::shared_ptr<const TRRPanelGrid> RRPanelGridFromSnapshot(const TRRPanelSnapshot& snapshot);

// ---- the panel ----

class TRRPanel : public TRREntity {
  RR_ENTITY_CLASS()

 public:
  // Builds the panel from the description (a TRRPanelDesc; any other description gives the
  // default record). A description that cannot be built raises and no panel is made.
  TRRPanel(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description);
  ~TRRPanel() override;

  static void RegisterKinds(TRRRegisteredEntityList& list);

  // ---- TRREntity ----
  std::unique_ptr<TRREntityDescription> CreateDescription() const override;
  bool CanScale() const override { return false; }
  void UpdateView(bool technicalView) override;
  // A baseboard adds nothing to Animate: unlinked, the frame step passes it by.
  bool AnimatesItself() const override { return false; }

  // ---- building ----
  // Frees all partitions and all texture-list entries.
  void Clear();
  // Rebuilds everything from the description; checks it completely first (EGXException "Invalid
  // description" leaves the panel unchanged).
  void LoadFromDesc(const TRRPanelDesc& desc);
  // Shape, textures, transparency and the grid sampled for params (which may differ from the
  // panel's own record: that is how resampling works).
  void SaveToDesc(TRRPanelDesc& desc, const TRRPanelParams& params) const;
  // Changes shape, dimensions, grid or thickness keeping the terrain by resampling. A record
  // RRCheckPanelParams refuses raises EGXException "Invalid description"; the panel stays whole.
  void SetParams(const TRRPanelParams& params);
  const TRRPanelParams& Params() const { return FParams; }
  // Makes the partition nodes of the record anew and fills them from the panel's grid.
  void BuildPartitions();
  // The partition rectangles of the current record.
  const std::vector<TRRPanelPartitionShape>& PartitionShapes() const { return FShapes; }
  int PartitionCount() const { return static_cast<int>(FPartitions.size()); }
  TRRPanelPartition* Partition(int index) const { return FPartitions.at(static_cast<size_t>(index)); }

  // ---- textures ----
  // The index of an equal entry (TRRAssetFileName::SameFile), else a new entry at the end.
  int AddTexture(const TRRAssetFileName& fileName, float scale);
  // Clamps index to the list and tries to load the entry once per load (a failure is reported
  // through the model services' asset-error report once and the entry keeps its place).
  void ValidateTexture(int& index);
  // Weights go to the default texture, later indices move down. Removing the default texture or
  // an index outside the list does nothing.
  void RemoveTexture(int index);
  // The weights of index go to byIndex, index leaves the list and is appended again without
  // weights (unless it is a built-in that the load re-adds). index == byIndex does nothing.
  void ReplaceTexture(int index, int byIndex);
  void SetTextureScale(int index, float scale);
  int TextureCount() const { return static_cast<int>(FTextures.size()); }
  // A copy of the entry after ValidateTexture.
  TRRPanelTexture GetTexture(int index);
  // The entry itself, not validated (index must be valid).
  const TRRPanelTexture& TextureEntry(int index) const { return *FTextures.at(static_cast<size_t>(index)); }
  // The first entry holding that texture resource, or -1.
  int IndexOfTexture(const gx::TGXTexture* texture) const;
  // The texture the default entry draws with (loaded when it could be).
  const gx::IGXTexture& DefaultTexture() const { return FDefaultTexture; }

  // ---- heights and weights ----
  // Sets the height in every partition holding the point; NaN and infinities become 0.
  void SetHeight(int64_t x, int64_t y, float height);
  float TryGetHeight(int64_t x, int64_t y, bool& found) const;
  float GetHeight(int64_t x, int64_t y) const;
  // Bilinear height at a local position (0 outside every partition).
  float HeightAt(float x, float z) const;
  // Raises the texture's weight at the point (normalising the others when asked) in every
  // partition holding it. An index outside the list goes to the default texture (without
  // normalising: the weight is added to what the default texture has there, capped at 255).
  void SetTextureWeight(int texture, int64_t x, bool normalise, int weight, int64_t y);
  int GetTextureWeight(int texture, int64_t x, int64_t y);
  void FillTexture(int texture, int weight);
  // The layers ((texture shl 16) or weight) of the grid point nearest to a local position.
  void GetTextureLayers(float x, float z, std::vector<uint32_t>& list) const;
  // The layers of a grid point, from the first partition holding it (empty outside).
  void GetPointLayers(int64_t x, int64_t y, std::vector<uint32_t>& list) const;
  void ResetHeights();
  gx::TGXVector3 VertexNormal(int64_t x, int64_t y) const;
  void FinishEdit();
  // Every segment recomputes its top height (raising or lowering its box).
  void UpdateBounds();
  void SetTransparent(bool value);
  bool Transparent() const { return FTransparent; }

  // Calls visit(x, y) for every grid point of the outline once (points on a shared row belong to
  // the first partition holding them), partition by partition, row by row.
  void ForEachGridPoint(const std::function<void(int64_t x, int64_t y)>& visit) const;
  // Lowest and highest height over the outline (0, 0 without partitions).
  void HeightRange(float& lowest, float& highest) const;
  // Grid points over the outline (each shared point once).
  uint64_t GridPointCount() const;

  // ---- height files ----
  // Maps the blue channel of every pixel inside the panel (x0 + column, y0 + row) linearly from
  // the picture's range onto low..high; a flat picture gives low.
  void ImportHeightsFromBitmap(const gx::TGXImage& picture, int64_t x0, float high, float low, int64_t y0);
  // Lines "x,y,height" (integers x and y, finite decimal height with "."): SetHeight(x0 + x, y0 + y,
  // height); others are skipped. Blanks, a carriage return and a leading byte-order mark are
  // ignored.
  void ImportHeightsFromText(const std::vector<std::string>& lines, int64_t x0, int64_t y0);
  // The extents of the partitions in grid points (columns, rows); false without partitions.
  bool HeightExtents(uint32_t& columns, uint32_t& rows) const;
  // Grey values (row by row) spanning the height range (lowest, highest); 0 outside the outline.
  // False without partitions.
  bool ExportHeightsToBitmap(uint32_t& width, uint32_t& height, std::vector<uint8_t>& grey, float& lowest,
                             float& highest) const;
  // One line "%d,%d,%.3f" per grid point inside the outline; false without partitions.
  bool ExportHeightsToText(std::vector<std::string>& lines) const;

  // ---- snapshots (undo) ----
  // Counts every change of heights, weights, textures, record or transparency.
  uint64_t EditCounter() const { return FEditCounter; }
  // Rises whenever the drawing tree is freed: whoever holds segments of the old tree must let go.
  uint64_t NodeGeneration() const { return FNodeGeneration; }
  // The state now; blocks untouched since the last snapshot are shared with it.
  std::shared_ptr<const TRRPanelSnapshot> TakeSnapshot();
  // Puts the panel into the snapshot's state (the entity's ID and placement stay).
  void RestoreSnapshot(const TRRPanelSnapshot& snapshot);
  void RestoreSnapshot(const std::shared_ptr<const TRRPanelSnapshot>& snapshot);
  // The description fields of the snapshot (record, textures, transparency, grid); the base
  // fields are taken from the panel. The description shares the snapshot's blocks.
  void WriteSnapshotToDesc(const TRRPanelSnapshot& snapshot, TRRPanelDesc& desc) const;
  void WriteSnapshotToDesc(const std::shared_ptr<const TRRPanelSnapshot>& snapshot, TRRPanelDesc& desc) const;

 private:
  // The panel's own copy of the grid, per partition: heights and one weight byte per point for
  // every texture used in the partition (planes in the order the textures were first used).
  struct TPlane {
    int Texture = 0;
    std::vector<uint8_t> Weights;
  };
  struct TPart {
    TRRPanelPartitionShape Shape;
    std::vector<float> Heights;
    std::vector<TPlane> Planes;
    std::vector<int32_t> PlaneOf;  // texture index -> plane, -1 when unused
    size_t Index(int64_t x, int64_t y) const {
      return size_t(y - Shape.Y0) * (Shape.X1 - Shape.X0 + 1) + size_t(x - Shape.X0);
    }
    TPlane& PlaneFor(int texture, size_t points);
    uint8_t Weight(int texture, size_t i) const;
  };
  struct TBuilt {
    TRRPanelParams Params;
    std::vector<TPart> Parts;
    std::vector<std::unique_ptr<TRRPanelTexture>> Textures;
    std::vector<uint8_t> StoredData;
    bool Transparent = false;
  };
  static int AddTextureTo(std::vector<std::unique_ptr<TRRPanelTexture>>& list,
                          const TRRAssetFileName& fileName, float scale);
  static void RaiseWeight(std::vector<TPart>& parts, int texture, int64_t x, int64_t y, bool normalise,
                          int weight);
  // Everything of a description checked and built aside; raises before anything changes.
  // The grid comes from grid, else from the snapshot's blocks, else from the zlib stream data.
  static TBuilt Prepare(const TRRPanelParams& params, const TRRPanelTextureDescArray& textures,
                        const TRRPanelGrid* grid, const TRRPanelSnapshot* snapshot,
                        const std::vector<uint8_t>* data, bool transparent);
  void Swap(TBuilt&& built);
  void BuildNodes();
  void FreeNodes();
  void MarkTouched(int64_t x, int64_t y);
  void MarkAllTouched();
  size_t BlockCount() const;
  void CollectLayers(int64_t x, int64_t y, int removed, int receiver, std::vector<uint32_t>& list) const;
  std::shared_ptr<const TRRPanelGrid> SampleGrid(const TRRPanelParams& params, int removed,
                                                 int receiver) const;
  TRRPanelTextureDescArray TextureDescs(int removed) const;
  void SaveToDescRemoving(TRRPanelDesc& desc, const TRRPanelParams& params, int removed, int receiver) const;

  TRRPanelParams FParams;
  std::vector<TRRPanelPartitionShape> FShapes;
  std::vector<TPart> FParts;
  std::vector<TRRPanelPartition*> FPartitions;  // child nodes (the node owns them)
  std::vector<std::unique_ptr<TRRPanelTexture>> FTextures;
  std::vector<uint8_t> FStoredData;  // the grid data of a shape without partitions, kept as read
  gx::IGXTexture FDefaultTexture;
  std::vector<gx::IGXEffect> FEffects;
  bool FTransparent = false;
  bool FTechnicalView = false;
  uint64_t FEditCounter = 0;
  uint64_t FNodeGeneration = 0;
  // Snapshot bookkeeping: the last snapshot and which of its blocks changed since.
  std::shared_ptr<const TRRPanelSnapshot> FLastSnapshot;
  std::vector<uint8_t> FBlockTouched;
};

}  // namespace rr
