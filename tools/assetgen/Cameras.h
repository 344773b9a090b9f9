#pragma once
// The placeable camera as a catalogue entry ("Kamera": a small film camera on a short stand,
// looking along +z as every camera does) and the cameras of the sample layout: the three
// predefined ones of every layout, aimed at it much as a new layout aims them at its baseboard, and a
// placed camera "Blick über die Anlage" looking over the layout from one corner. The top-down
// cameras stand as high as shows the whole (small) layout at 16:9.

#include <filesystem>
#include <memory>
#include <string>

#include "engine/core/GXMath.h"
#include "engine/render/GXModelData.h"

namespace rr {
class TRRAsset;
class TRRCamera;
class TRRDatabase;
class TRREntityManager;
}  // namespace rr

namespace assetgen {

inline constexpr const char* CameraCataloguePath = "Kamera";
inline constexpr const char* SampleViewCameraName = "Blick über die Anlage";

gx::TGXModelData CameraModel();

// Adds the camera entry at the catalogue's top. The guard removes the scratch files; it must
// outlive the catalogue package's write.
std::shared_ptr<void> AddCameraEntry(rr::TRRAsset& catalogue, const std::filesystem::path& workRoot);

// The sample layout's cameras, made after everything else so that they frame it all; the free
// camera is the active one.
void AddSampleCameras(rr::TRREntityManager& manager, const rr::TRRDatabase& database);

// A camera of the catalogue's entry named name, standing at eye and looking at target (world
// values), its model hidden. Raises when the catalogue has no camera.
rr::TRRCamera* AddPlacedCamera(rr::TRREntityManager& manager, const rr::TRRDatabase& database,
                               const std::string& name, const gx::TGXVector3& eye, const gx::TGXVector3& target);

}  // namespace assetgen
