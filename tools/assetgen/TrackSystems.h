#pragma once
// The track systems of the base catalogue and the default track texture of the shared package.

#include <filesystem>
#include <memory>
#include <string>

namespace rr {
class TRRAsset;
class TRRAssetNode;
}  // namespace rr

namespace assetgen {

// The folder of the text sources (the build passes it; the checkout's "data" otherwise).
std::filesystem::path DataFolder();
// Every data/tracks/*.xml (in the order of the sorted file names) into the folder "Gleise",
// whose catalogue path is folderPath. Raises rr::ETrackCatalogueError on a bad definition.
void AddTrackSystems(rr::TRRAssetNode& tracks, const std::string& folderPath);
// Writes "Textures\DefaultTrack.dds" into workFolder and lists it with the package; the file is
// removed when the returned guard goes (after the package has been written).
std::shared_ptr<void> AddTrackTextures(rr::TRRAsset& shared, const std::filesystem::path& workFolder);

}  // namespace assetgen
