#pragma once
// The scenery as entries of the base catalogue, stored like the buildings (ModelCatalogue.h):
// - "Landschaft\Straßen": the street pieces as street descriptions whose contacts are their
//   road ends, and the barrier;
// - "Landschaft\Pflanzen": the plants, each drawing its own size when placed (scale seed 0);
// - "Gebäude\Lokschuppen": the engine shed of three bays at the default bend angle;
// - "Grundkörper": the eight primitives, each in a colour of its own.

#include <filesystem>
#include <memory>
#include <string>

namespace rr {
class TRRAsset;
class TRRAssetNode;
}  // namespace rr

namespace assetgen {

inline constexpr const char* PrimitiveFolder = "Grundkörper";
// The primitives' names by type (0 box ... 7 round arch).
inline constexpr const char* PrimitiveNames[8] = {"Quader", "Kugel",        "Zylinder", "Rampe",
                                                  "Ebene",  "Kreisscheibe", "Pyramide", "Rundbogen"};
inline constexpr int ShedBayCount = 3;
// The CAD types of streets (grey) and barriers (black, like the signals) in the technical view.
inline constexpr uint8_t StreetCadType = 7;
inline constexpr uint8_t BarrierCadType = 11;

// The catalogue path of an entry ("Landschaft\Straßen\Kreuzung").
std::string SceneryCataloguePath(const std::string& folder, const std::string& name);

// Adds the entries below the catalogue's root (into its folders "Landschaft" and "Gebäude", made
// when missing); the guard must outlive the package's write.
std::shared_ptr<void> AddScenery(rr::TRRAsset& catalogue, rr::TRRAssetNode& root,
                                 const std::filesystem::path& workRoot);

}  // namespace assetgen
