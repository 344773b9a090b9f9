#include "tools/assetgen/TrackSystems.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "app/RRDatabase.h"
#include "app/entities/track/RRTrackCatalogue.h"

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

namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A 64 x 64 A8R8G8B8 texture without mip levels: grey-brown ballast with dark wooden sleepers
// across the track, the texture's V running along the track. Noise from a fixed LCG, so the
// bytes never change.
std::vector<uint8_t> DefaultTrackTexture() {
  constexpr uint32_t kSize = 64;
  std::vector<uint8_t> dds;
  Put32(dds, 0x20534444);  // "DDS "
  Put32(dds, 124);
  Put32(dds, 0x1 | 0x2 | 0x4 | 0x8 | 0x1000);  // caps, height, width, pitch, pixel format
  Put32(dds, kSize);
  Put32(dds, kSize);
  Put32(dds, kSize * 4);
  Put32(dds, 0);  // depth
  Put32(dds, 0);  // mip levels
  for (int i = 0; i < 11; ++i) Put32(dds, 0);
  Put32(dds, 32);          // pixel format size
  Put32(dds, 0x41);        // RGB with alpha
  Put32(dds, 0);           // no FourCC
  Put32(dds, 32);          // bits
  Put32(dds, 0x00FF0000);  // red
  Put32(dds, 0x0000FF00);  // green
  Put32(dds, 0x000000FF);  // blue
  Put32(dds, 0xFF000000);  // alpha
  Put32(dds, 0x1000);      // texture
  for (int i = 0; i < 4; ++i) Put32(dds, 0);
  uint32_t seed = 0x5EED1234;
  for (uint32_t y = 0; y < kSize; ++y)
    for (uint32_t x = 0; x < kSize; ++x) {
      seed = seed * 1664525u + 1013904223u;
      int noise = static_cast<int>((seed >> 24) % 40) - 20;
      bool sleeper = (y % 16) < 8 && x >= 6 && x < 58;
      int r = sleeper ? 92 : 128, g = sleeper ? 62 : 120, b = sleeper ? 38 : 108;
      auto c = [&](int v) {
        return static_cast<uint32_t>(std::clamp(v + noise / (sleeper ? 3 : 1), 0, 255));
      };
      Put32(dds, 0xFF000000u | (c(r) << 16) | (c(g) << 8) | c(b));
    }
  return dds;
}

}  // namespace

std::shared_ptr<void> AddTrackTextures(rr::TRRAsset& shared, const std::filesystem::path& workFolder) {
  std::filesystem::path file = workFolder / "DefaultTrack.dds.tmp";
  std::vector<uint8_t> bytes = DefaultTrackTexture();
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
