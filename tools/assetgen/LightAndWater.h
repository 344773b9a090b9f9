#pragma once
// The light's bulb, a pond with a mirroring water surface and a polished tank that shows an
// environment map, as catalogue entries, and their places in the sample layout.
//
// The bulb ("Birne", catalogue path "Birne.gxmodel") is the model every layout's light shows; a
// new layout finds it by that path. The water of the pond ("Teich") lies on a part named
// "Spiegel" and the tank's ("Tank") shell on a part named "Glanz", which the material rules turn
// into a planar mirror and an environment map.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/render/GXModelData.h"

namespace rr {
class TRRAsset;
class TRRAssetNode;
class TRRDatabase;
class TRREntityManager;
class TRRTrack;
}  // namespace rr

namespace assetgen {

inline constexpr const char* LightCataloguePath = "Birne.gxmodel";

struct TSceneryModel {
  std::string Name;      // catalogue name
  std::string FileName;  // model file
  gx::TGXModelData Model;
};

// The bulb, the pond and the tank.
std::vector<TSceneryModel> LightAndWaterModels();

// Adds the bulb (a light description, at the catalogue's top) and the pond and tank (model
// descriptions below folder, whose catalogue path is folderPath). The guard removes the scratch
// files; it must outlive the catalogue package's write.
std::shared_ptr<void> AddLightAndWater(rr::TRRAsset& catalogue, rr::TRRAssetNode& folder,
                                       const std::string& folderPath, const std::filesystem::path& workRoot);

// The sample layout's light ("Licht" with the presets "Tag" and "Nacht"), the pond beside the
// oval and the tank inside it, both clear of every track and building.
void AddSampleLightAndWater(rr::TRREntityManager& manager, const rr::TRRDatabase& database,
                            const std::vector<rr::TRRTrack*>& tracks);

}  // namespace assetgen
