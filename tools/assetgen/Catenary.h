#pragma once
// The catenary mast of the base catalogue ("Oberleitung\Oberleitungsmast"), modelled in code at H0
// size: a slim H-profile pole on a concrete foundation at the origin with a cantilever reaching
// along +x over the track, and the wire (node "Kabel") hanging from the cantilever's tip.
//
// The wire is modelled along +y from its anchor, 10 long: the contact wire on the axis and the
// messenger wire beside it towards -z, joined by droppers. The program turns +y towards the next
// mast by the shortest turn, which carries local -z upwards when that mast stands ahead along the
// mast's +z; so masts are placed with their +z along the line and the messenger hangs above the
// contact wire. Across the wire the program scales by 0.5, which the offsets and thicknesses
// allow for.

#include <filesystem>
#include <memory>
#include <string>

#include "engine/render/GXModelData.h"

namespace rr {
class TRRAsset;
class TRRAssetNode;
}  // namespace rr

namespace assetgen {

inline constexpr const char* CatenaryFolder = "Oberleitung";
inline constexpr const char* CatenaryMastName = "Oberleitungsmast";
// How far the pole stands beside the track's centre line, and the contact wire's height above
// the track's base (the rail top of the base catalogue's track, 0.62, and 6.5 above it).
inline constexpr float CatenaryReach = 4.0f;
inline constexpr float CatenaryWireHeight = 0.62f + 6.5f;
// The wire as modelled: its length and the messenger's distance from the contact wire before the
// program halves it.
inline constexpr float CatenaryWireLength = 10.0f;
inline constexpr float CatenaryMessengerOffset = 2.4f;

// The mast model (nodes "Mast" and "Kabel").
gx::TGXModelData CatenaryMastModel();

// Adds the folder "Oberleitung" with the mast below the catalogue's root; the guard must outlive
// the package's write.
std::shared_ptr<void> AddCatenary(rr::TRRAsset& catalogue, rr::TRRAssetNode& root,
                                  const std::filesystem::path& workRoot);

}  // namespace assetgen
