#pragma once
// The buildings as entries of the base catalogue.
//
// Each building becomes a model description (TRRModelDesc) in "Gebäude\<folder>", its asset
// identifier derived from its catalogue path. Its model file and textures are written to disk and
// stored through the database's package writer, which finds the textures beside the model and
// converts them to DDS companions. That first write goes into a scratch package carrying the
// catalogue's identifier; it is then mounted, and the entries' names are pointed at its data
// under the names of the models' source folder in the SDK, so the catalogue package holds the
// same data files without any path of the machine that generated it.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/entities/RRAssetFileName.h"
#include "engine/core/GXGuid.h"

namespace rr {
class TRRAsset;
class TRRAssetNode;
}  // namespace rr

namespace assetgen {

// Where the models' sources live in the SDK; the materials treat textures from there as cut-out
// alpha.
inline constexpr const char* ModelSourceFolder = "D:\\Projekte\\Velmora SDK\\3D-Modelle";
// The CAD type of buildings in the technical view (dark red).
inline constexpr uint8_t BuildingCadType = 6;

// Shared by the generators that store models through a scratch package: writes a file whole
// (a German error when that fails), the file-name part of a disk or backslash path, the catalogue
// folder of that name below parent (made when missing), and the work folder with its scratch
// package, removed (package first) when the guard goes.
void WriteFile(const std::filesystem::path& file, const std::vector<uint8_t>& bytes);
std::string FilePart(const std::string& path);
rr::TRRAssetNode* SubFolder(rr::TRRAssetNode& parent, const std::string& name);
struct TScratch {
  std::filesystem::path Folder;
  std::unique_ptr<rr::TRRAsset> Package;
  ~TScratch();
};

// The asset identifier of a model's catalogue path: an MD5 name-based GUID (version 3 layout).
gx::TGXGuid ModelAssetID(std::string_view cataloguePath);

// A model file written into a scratch folder: its name, the count of textures beside it and the
// key of its entry's asset identifier in the scratch package.
struct TScratchModel {
  std::string File;
  size_t Textures = 0;
  std::string Key;
};
// Stores the models through a scratch package carrying the catalogue's identifier, which stays
// mounted; returns each model's stored file name with the model and its companions named by
// sourceName(index of the model, file name). Raises when a model's textures were not found.
std::vector<rr::TRRModelFileName> StoreModelFiles(
    rr::TRRAsset& catalogue, TScratch& scratch, const std::vector<TScratchModel>& models,
    const std::function<std::string(size_t, const std::string&)>& sourceName);

// Adds the buildings below folder (whose catalogue path is folderPath) of the catalogue package.
// The files go into a work folder below workRoot. The returned guard unmounts and deletes the
// scratch package and the work folder; it must outlive the catalogue package's write.
std::shared_ptr<void> AddBuildings(rr::TRRAsset& catalogue, rr::TRRAssetNode& folder,
                                   const std::string& folderPath, const std::filesystem::path& workRoot);

}  // namespace assetgen
