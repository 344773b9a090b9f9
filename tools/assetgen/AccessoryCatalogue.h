#pragma once
// The signals and control elements as entries of the base catalogue: "Signale\<name>" as signal
// descriptions, "Steuerung\<name>" as controller descriptions (a toggle switch that switches a
// locomotive between 40 and 0 cm/s, a regulator in its middle position), stored like the
// buildings (ModelCatalogue.h).

#include <filesystem>
#include <memory>
#include <string>

namespace rr {
class TRRAsset;
class TRRAssetNode;
}  // namespace rr

namespace assetgen {

// The catalogue path of an accessory ("Signale\Hauptsignal").
std::string AccessoryCataloguePath(const std::string& folder, const std::string& name);

// Adds the accessories below the catalogue's root; the guard must outlive the package's write.
std::shared_ptr<void> AddAccessories(rr::TRRAsset& catalogue, rr::TRRAssetNode& root,
                                     const std::filesystem::path& workRoot);

}  // namespace assetgen
