#pragma once
// The meshes and models of the catalogue's primitives, written into the shared base package:
// "Box.gxmesh", "Sphere.gxmesh", "Cylinder.gxmesh", "Ramp.gxmesh" (engine mesh files), "Plane.3ds",
// "Circle.3ds" (3D Studio files) and "Pyramid.x", "RoundArch.x" (DirectX files). Each is 10 units
// across, stands on y = 0 and has texture coordinates from 0 to 1, so a primitive's scale gives
// its size and a texture covers each face once.

#include <filesystem>
#include <memory>

#include "app/RRDatabase.h"
#include "engine/render/GXModelData.h"

namespace assetgen {

// The primitive shapes as model meshes (one sub-mesh, no texture name).
gx::TGXModelMesh PrimitiveBox();
gx::TGXModelMesh PrimitiveSphere();
gx::TGXModelMesh PrimitiveCylinder();
gx::TGXModelMesh PrimitiveRamp();
gx::TGXModelMesh PrimitivePlane();
gx::TGXModelMesh PrimitiveCircle();
gx::TGXModelMesh PrimitivePyramid();
gx::TGXModelMesh PrimitiveRoundArch();

// Writes the eight files into workFolder and lists them as additional files of the shared
// package; the returned handle removes them again.
std::shared_ptr<void> AddPrimitives(rr::TRRAsset& shared, const std::filesystem::path& workFolder);

}  // namespace assetgen
