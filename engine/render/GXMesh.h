#pragma once
// TGXMesh: shared vertex data (one vertex geometry, possibly over several streams) and sub-meshes,
// each with its own index range, material and bounds. A mesh keeps CPU copies of its drawn
// positions and of every sub-mesh's indices for ray picking, and its buffers keep CPU copies of
// their bytes, so a mesh can give its whole contents back as TGXMeshData (GXMeshData.h).
//
// Meshes are read from mesh files (.gxmesh), built by code (SetData on a manual mesh) or made by
// the model builder. Buffers are made on the current render core's device; a mesh built by code
// without buffers (sub-meshes, CPU positions and indices only) picks without a device.
//
// Index conventions: a sub-mesh's indices count from the geometry's FirstVertex (the base vertex
// of its draws), and Positions()[i] is the position of vertex FirstVertex + i, so picking and
// drawing read the same triangles. Picking takes exactly the drawn index range of each sub-mesh
// and skips triangles with an index outside the positions.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/core/GXGuid.h"
#include "engine/core/GXMath.h"
#include "engine/core/GXResourceManager.h"
#include "engine/render/GXMaterial.h"
#include "engine/render/GXMeshData.h"
#include "engine/render/GXVertexGeometry.h"
#include "engine/render/GXVertexLayout.h"

namespace gx {

// {5DE53BD1-B3E7-4203-BA69-C98A0DADE64F}
inline constexpr TGXGuid IID_IGXMesh = TGXMeshSerializer::FileGuid;

// Buffer usage (write-only) and pool (managed) a mesh creates its buffers with by default.
inline constexpr uint32_t GXMeshDefaultUsage = 8;
inline constexpr uint32_t GXMeshDefaultPool = 1;

class TGXMesh;

class TGXSubMesh {
 public:
  explicit TGXSubMesh(TGXMesh* mesh) : FMesh(mesh) {}
  TGXSubMesh(const TGXSubMesh&) = delete;
  TGXSubMesh& operator=(const TGXSubMesh&) = delete;

  TGXMesh* Mesh() const { return FMesh; }

  // Assigned by the owner after loading; entities pick a change up at their next frame.
  IGXMaterial Material;
  // The drawn range of the index buffer.
  TGXIndexGeometry IndexGeometry;
  TGXVector3 BoundsMin{0, 0, 0}, BoundsMax{0, 0, 0};
  // The CPU copy of the whole index buffer (16-bit).
  std::vector<uint16_t> Indices;

 private:
  TGXMesh* FMesh;
};

class TGXMesh : public TGXResource {
 public:
  static constexpr TGXGuid IID = IID_IGXMesh;

  TGXMesh(TGXWeakRef<TGXResource>* cell, std::string name, bool manual);
  std::string ClassName() const override { return "TGXMesh"; }

  uint32_t GetUsage() const { return FUsage; }
  uint32_t GetPool() const { return FPool; }
  // Only before the mesh is loaded: a later change is a programming error (EGXAssertion).
  void SetUsage(uint32_t value);
  void SetPool(uint32_t value);

  const TGXVertexGeometry& GetGeometry() const { return FGeometry; }
  TGXVertexGeometry& GetGeometry() { return FGeometry; }
  // The element list the geometry's device layout was made from.
  const TGXVertexLayoutDecl& GetLayout() const { return FLayout; }

  int SubMeshCount() const { return static_cast<int>(FSubMeshes.size()); }
  // A bad index raises EInvalidParameter.
  TGXSubMesh* SubMesh(int index) const;
  const TGXVector3& GetBoundsMin() const { return FBoundsMin; }
  const TGXVector3& GetBoundsMax() const { return FBoundsMax; }
  int PositionCount() const { return static_cast<int>(FPositions.size()); }
  const TGXVector3& Position(int index) const { return FPositions.at(size_t(index)); }
  const std::vector<TGXVector3>& Positions() const { return FPositions; }

  // Appends Other's vertices and sub-meshes. Both layouts must have the same checksum, streams
  // present in both the same stride, and the vertex total stay within GXMaxMeshVertices;
  // otherwise, and for the mesh itself, EInvalidParameter (this, "ConcatenateMesh") with the
  // mesh unchanged. Each stream's buffer becomes this mesh's vertices up to the end of its drawn
  // range followed by Other's drawn vertices (zeros where one side lacks the stream); Other's
  // sub-meshes follow with their material, range and bounds and their indices (GPU and CPU)
  // offset by this mesh's former vertex count; the CPU positions are appended; then the bounds
  // are recomputed.
  void ConcatenateMesh(const TGXMesh& other);
  // The listed sub-meshes' drawn indices, in list order, become the first listed sub-mesh's
  // indices (a new 16-bit buffer and CPU copy; bounds merged); the other listed sub-meshes are
  // removed and the rest keep their order. Fewer than two entries change nothing; an index out
  // of range or repeated raises EInvalidParameter (this, "ConcatenateSubMeshes"), unchanged.
  void ConcatenateSubMeshes(std::span<const int> indices);
  // A new unique, loaded, manual mesh of the same name with copies of the buffers (made with the
  // given usage and pool), the same ranges, layout, strides, materials, bounds and CPU copies.
  TGXRef<TGXMesh> Clone(uint32_t usage, uint32_t pool) const;
  // For each sub-mesh in order, every later one with the same material is merged into it
  // (ConcatenateSubMeshes; the order of the others is kept).
  void MergeSubMeshes();
  // The CPU positions: size / stride positions, each the 12 bytes at offset within a vertex. A
  // stride of 0 or one that leaves no room for 12 bytes after offset clears them.
  void SetPositions(const void* data, size_t size, uint32_t stride, uint32_t offset);
  // The nearest hit (strictly smaller distance wins) over the drawn triangles of all
  // sub-meshes; false without CPU positions. Normal is the unit normal of the hit triangle.
  bool RayIntersect(const TGXVector3& origin, const TGXVector3& direction, TGXVector3& normal,
                    TGXVector3& hit, bool cullBackFaces) const;
  TGXSubMesh* AddSubMesh();
  // Fast removal: the last sub-mesh takes its place. A sub-mesh of another mesh is ignored.
  void RemoveSubMesh(TGXSubMesh* subMesh);
  // Bounds := component-wise minimum and maximum over the sub-mesh bounds; zero without any.
  void CalculateBounds();

  // Replaces the whole contents with buffers made from data (validated as a mesh file is; on
  // any failure the mesh is unchanged). Materials are cleared. Needs a render core unless the
  // data holds no bytes at all.
  void SetData(const TGXMeshData& data);
  // The contents as mesh data, from the buffers' CPU copies.
  TGXMeshData GetData() const;

  // Grows whenever the geometry or the sub-mesh list changes, so entities know to refresh.
  uint64_t Revision() const { return FRevision; }

 protected:
  ~TGXMesh() override;
  // A manual mesh does nothing; otherwise the mesh file named by the resource name is read
  // through the engine's file system and its contents made (SetData).
  void DoLoad() override;

 private:
  uint32_t FUsage = GXMeshDefaultUsage;
  uint32_t FPool = GXMeshDefaultPool;
  TGXVertexGeometry FGeometry;
  TGXVertexLayoutDecl FLayout;
  std::vector<std::unique_ptr<TGXSubMesh>> FSubMeshes;
  TGXVector3 FBoundsMin{0, 0, 0}, FBoundsMax{0, 0, 0};
  std::vector<TGXVector3> FPositions;
  uint64_t FRevision = 0;
};
using IGXMesh = TGXRef<TGXMesh>;

class TGXMeshFactory : public TGXResourceFactory {
 public:
  using TGXResourceFactory::TGXResourceFactory;
  TGXGuid GetResourceKind() const override { return IID_IGXMesh; }
  IGXResource CreateResource(TSlot* cell, const std::string& name, bool manual) override {
    return IGXResource(new TGXMesh(cell, name, manual));
  }
};

}  // namespace gx
