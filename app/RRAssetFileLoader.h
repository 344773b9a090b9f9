#pragma once
// Loading the files entities name (models, textures, sounds) through their asset file names.
//
// TRRAssetFileLoader is the data loader the resource manager uses for application assets: it
// opens the effective file name ("Game:\" + relative path when set, else the file name). When
// the file is missing and comes from a package, it asks once per load for the package (the
// download of a missing package) and tries again if a package was added. A file that still
// cannot be opened raises EAssetFileException, which names the file; the code that created the
// resource records it as missing and goes on with a placeholder.
//
// TRRAssetFileNameList: an ordered list of asset file names; with the unique flag, adding a name
// whose effective file name is listed already (ignoring case) returns the existing position.

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/entities/RRAssetFileName.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXResourceManager.h"

namespace rr {

inline constexpr const char* RRTextAssetFileLoaderFailed = "TRRAssetFileLoader.CreateStream";

class EAssetFileException : public std::runtime_error {
 public:
  explicit EAssetFileException(TRRAssetFileName name)
      : std::runtime_error(RRTextAssetFileLoaderFailed), FName(std::move(name)) {}
  const TRRAssetFileName& AssetFileName() const { return FName; }

 private:
  TRRAssetFileName FName;
};

// Asked with the relative path of a missing packaged file; true when a package was added.
using TRRPackageRequest = std::function<bool(const std::string& relativePath)>;

class TRRAssetFileLoader : public gx::TGXDataLoader {
 public:
  TRRAssetFileLoader(gx::TGXFileSystem& fileSystem, TRRAssetFileName name, TRRPackageRequest request = {});

  const TRRAssetFileName& AssetFileName() const { return FFileName; }
  // The file's bytes at position 0; raises EAssetFileException.
  std::unique_ptr<gx::TGXMemoryStream> CreateStream();
  std::unique_ptr<gx::TGXMemoryStream> LoadData() override { return CreateStream(); }

 private:
  std::unique_ptr<gx::TGXMemoryStream> TryOpen();

  gx::TGXFileSystem& FFileSystem;
  TRRAssetFileName FFileName;
  TRRPackageRequest FRequest;
};

class TRRAssetFileNameList {
 public:
  explicit TRRAssetFileNameList(bool unique) : FUnique(unique) {}

  // The position of the name (a copy is kept).
  int Add(const TRRAssetFileName& name);
  // Position of the first entry with this effective file name (ignoring case), or -1.
  int IndexOf(std::string_view effectiveFileName) const;
  // By the first string, ignoring case (stable).
  void Sort();
  int Count() const { return static_cast<int>(FItems.size()); }
  const TRRAssetFileName& Item(int index) const { return FItems.at(static_cast<size_t>(index)); }
  bool Unique() const { return FUnique; }

 private:
  bool FUnique;
  std::vector<TRRAssetFileName> FItems;
};

// The name itself when no such file exists, else the first free "folder/base(n).ext" for
// n = 2, 3, ...
std::string UniqueFileName(const std::string& fileName);
// A new, empty, uniquely named file in the system's temporary folder ($TMPDIR, else /tmp);
// raises gx::EGXFileOpenError when none can be created.
std::string TempFileName();

// The track-texture list the program starts with: unique, the seven textures of the shared base
// package with their display names.
std::unique_ptr<TRRAssetFileNameList> RRCreateTrackTextureList();

}  // namespace rr
