#include "app/RRAssetFileLoader.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "app/RRGlobal.h"
#include "engine/core/GXStrings.h"

namespace rr {

TRRAssetFileLoader::TRRAssetFileLoader(gx::TGXFileSystem& fileSystem, TRRAssetFileName name, TRRPackageRequest request)
    : gx::TGXDataLoader(name.EffectiveFileName()), FFileSystem(fileSystem), FFileName(std::move(name)),
      FRequest(std::move(request)) {}

std::unique_ptr<gx::TGXMemoryStream> TRRAssetFileLoader::TryOpen() {
  try {
    return FFileSystem.OpenFile(FFileName.EffectiveFileName());
  } catch (...) {
    // Whatever keeps the file from opening means the same here: it is not available.
    return nullptr;
  }
}

std::unique_ptr<gx::TGXMemoryStream> TRRAssetFileLoader::CreateStream() {
  std::unique_ptr<gx::TGXMemoryStream> stream = TryOpen();
  if (!stream && !FFileName.RelativeName.empty() && FRequest && FRequest(FFileName.RelativeName)) stream = TryOpen();
  if (!stream) throw EAssetFileException(FFileName);
  return stream;
}

int TRRAssetFileNameList::Add(const TRRAssetFileName& name) {
  if (FUnique) {
    int existing = IndexOf(name.EffectiveFileName());
    if (existing >= 0) return existing;
  }
  FItems.push_back(name);
  return Count() - 1;
}

int TRRAssetFileNameList::IndexOf(std::string_view effectiveFileName) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (gx::SameText(FItems[i].EffectiveFileName(), effectiveFileName)) return static_cast<int>(i);
  return -1;
}

void TRRAssetFileNameList::Sort() {
  std::stable_sort(FItems.begin(), FItems.end(), [](const TRRAssetFileName& a, const TRRAssetFileName& b) {
    return gx::CompareText(a.FileName, b.FileName) < 0;
  });
}

std::string UniqueFileName(const std::string& fileName) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::exists(fileName, ec)) return fileName;
  fs::path p(fileName);
  std::string folder = p.has_parent_path() ? p.parent_path().string() + "/" : std::string();
  std::string stem = p.stem().string(), ext = p.extension().string();
  for (int n = 2;; ++n) {
    std::string candidate = folder + stem + "(" + std::to_string(n) + ")" + ext;
    if (!fs::exists(candidate, ec)) return candidate;
  }
}

std::string TempFileName() {
  const char* dir = std::getenv("TMPDIR");
  std::string name = std::string(dir && *dir == '/' ? dir : "/tmp") + "/XXXXXX";
  int fd = mkstemp(name.data());
  if (fd < 0) throw gx::EGXFileOpenError("Datei kann nicht geöffnet werden: " + name);
  close(fd);
  return name;
}

std::unique_ptr<TRRAssetFileNameList> RRCreateTrackTextureList() {
  static const char* const kTextures[][2] = {
      {"Holz und Schotter (Standard)", "Textures\\DefaultTrack.dds"},
      {"Beton und Schotter (Grau)", "Textures\\Tracks\\Beton und Schotter (Grau).dds"},
      {"Holz und Schotter (Beige)", "Textures\\Tracks\\Holz und Schotter (Beige).dds"},
      {"Holz und Schotter (Dunkelbraun)", "Textures\\Tracks\\Holz und Schotter (Dunkelbraun).dds"},
      {"Holz und Schotter (Grau)", "Textures\\Tracks\\Holz und Schotter (Grau).dds"},
      {"Stahl und Schotter (Grau)", "Textures\\Tracks\\Stahl und Schotter (Grau).dds"},
      {"Stahl und Schotter (Mittelbraun)", "Textures\\Tracks\\Stahl und Schotter (Mittelbraun).dds"},
  };
  auto list = std::make_unique<TRRAssetFileNameList>(true);
  for (const auto& t : kTextures) list->Add(TRRAssetFileName(t[0], std::string(RRBasePackage2) + "\\" + t[1]));
  return list;
}

}  // namespace rr
