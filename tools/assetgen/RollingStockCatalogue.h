#pragma once
// The rolling stock as entries of the base catalogue: a track-vehicle description
// (TRRTrackVehicleDesc) per vehicle in "Rollmaterial\Lokomotiven" (with engine, running sound,
// the electric one with its cab) and "Rollmaterial\Wagen" (without engine).
//
// As with the buildings, models, textures, the cab and the sounds are written to a work folder
// and stored once through the package writer into a scratch package carrying the catalogue's
// identifier, which is then mounted; the entries name the stored data under the SDK's source
// folders, never under a path of the generating machine.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace rr {
class TRRAsset;
class TRRAssetNode;
}  // namespace rr

namespace assetgen {

inline constexpr const char* RollingStockFolder = "Rollmaterial";
// The CAD type of vehicles in the technical view (blue).
inline constexpr uint8_t RollingStockCadType = 3;
// The catalogue's target speed of a locomotive (cm/s) and the model's forward axis (+z, listed
// as "+ Y").
inline constexpr float LocomotiveTargetSpeed = 25.0f;
inline constexpr uint8_t VehicleForwardAxis = 1;

// The catalogue path of a vehicle ("Rollmaterial\Wagen\Kesselwagen").
std::string VehicleCataloguePath(const std::string& folder, const std::string& name);

// Adds the vehicles below folder (the catalogue's "Rollmaterial", whose path is folderPath). The
// returned guard unmounts and deletes the scratch package and the work folder; it must outlive
// the catalogue package's write.
std::shared_ptr<void> AddRollingStock(rr::TRRAsset& catalogue, rr::TRRAssetNode& folder,
                                      const std::string& folderPath, const std::filesystem::path& workRoot);

}  // namespace assetgen
