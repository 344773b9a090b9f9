#pragma once
// The thumbnails of the ground textures the texture page shows: for every texture file two
// pictures, 16 x 16 for the list and 162 x 93 for the preview, made once per file per run.
//
// The cache is process-wide and filled for every texture of every panel after a project is made,
// loaded or has had a file imported, and on demand for a name it lacks. A file is read through
// the virtual file system: DDS files are decoded here (DXT1/3/5 through libsquish, the plain
// formats by hand, the first level of the first face), PNG, JPEG, BMP and TGA by GXReadImage. A
// file that cannot be read or decoded adds nothing (and is not read again in the run).

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "engine/render/GXImageReader.h"

namespace gx {
class TGXFileSystem;
class TGXNode;
}  // namespace gx

namespace rr {

class TRRPanel;

inline constexpr int32_t RRThumbnailSmall = 16;
inline constexpr int32_t RRThumbnailLargeWidth = 162;
inline constexpr int32_t RRThumbnailLargeHeight = 93;

// Decodes a texture file (DDS or any picture GXReadImage reads) into 32-bit pixels; raises
// EGXImageFormat on any fault.
gx::TGXImage RRDecodeTextureFile(std::span<const uint8_t> data);
// The centred crop of the image with the thumbnail's aspect (RRThumbnailCrop), scaled to width x
// height: block averages when the crop shrinks in both directions, else linear stretching.
gx::TGXImage RRMakeThumbnail(const gx::TGXImage& image, int32_t width, int32_t height);

class TRRPanelThumbnails {
 public:
  static TRRPanelThumbnails& Instance();

  // Makes the file's two thumbnails unless this was tried already in this run. True when the
  // file has its thumbnails afterwards.
  bool Add(gx::TGXFileSystem& fileSystem, const std::string& fileName);
  // Every texture of the panel (by its effective file name).
  void AddPanel(gx::TGXFileSystem& fileSystem, const TRRPanel& panel);
  // Every panel in the subtree.
  void AddPanels(gx::TGXFileSystem& fileSystem, gx::TGXNode* root);
  // The thumbnail of that width (16 or 162) of the file (names compared ignoring case), or null.
  const gx::TGXImage* Find(const std::string& fileName, int32_t width) const;
  // Find, and on a miss Add first.
  const gx::TGXImage* Get(gx::TGXFileSystem& fileSystem, const std::string& fileName, int32_t width);
  int Count() const;
  // Forgets everything (tests).
  void Clear();

 private:
  struct TEntry {
    std::string FileName;
    gx::TGXImage Picture;
  };
  static bool ByName(const std::unique_ptr<TEntry>& e, const std::string& name);
  const gx::TGXImage* FindLocked(const std::string& fileName, int32_t width) const;

  mutable std::mutex FLock;
  // Sorted by file name ignoring case; two entries per file. Entries are never freed before
  // Clear, so the pictures Find hands out stay where they are.
  std::vector<std::unique_ptr<TEntry>> FEntries;
  // Files already tried (made or failed), sorted ignoring case.
  std::vector<std::string> FTried;
};

}  // namespace rr
