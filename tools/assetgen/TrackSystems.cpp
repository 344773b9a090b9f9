#include "tools/assetgen/TrackSystems.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "app/RRDatabase.h"
#include "app/entities/track/RRTrackCatalogue.h"
#include "tools/assetgen/TrackMeshes.h"

namespace assetgen {

std::filesystem::path DataFolder() {
#ifdef VELMORA_DATA_DIR
  return VELMORA_DATA_DIR;
#else
  return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "data";
#endif
}

void AddTrackSystems(rr::TRRAssetNode& tracks, const std::string& folderPath) {
  std::filesystem::path folder = DataFolder() / "tracks";
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.is_regular_file() && entry.path().extension() == ".xml") files.push_back(entry.path());
  // Sorted: the catalogue order must not depend on the directory listing.
  std::sort(files.begin(), files.end());
  if (files.empty()) throw rr::ETrackCatalogueError("Keine Gleissysteme in " + folder.string() + ".");
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof())
      throw rr::ETrackCatalogueError("Gleiskatalog " + file.string() + " ist nicht lesbar.");
    rr::RRAddTrackSystem(tracks, folderPath, rr::RRReadTrackSystem(text, file.filename().string()));
  }
}

std::shared_ptr<void> AddTrackTextures(rr::TRRAsset& shared, const std::filesystem::path& workFolder) {
  std::filesystem::path file = workFolder / "DefaultTrack.dds.tmp";
  // The default texture in the track atlas layout (TrackMeshes.h).
  std::vector<uint8_t> bytes = TrackTextureDds(0);
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw rr::ETrackCatalogueError("Datei kann nicht geschrieben werden: " + file.string());
  }
  shared.AdditionalFiles().push_back({file.string(), "Textures\\DefaultTrack.dds"});
  return std::shared_ptr<void>(nullptr, [file](void*) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
  });
}

}  // namespace assetgen
