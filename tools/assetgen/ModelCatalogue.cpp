#include "tools/assetgen/ModelCatalogue.h"

#include <fstream>
#include <set>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "app/RRDatabase.h"
#include "app/entities/RRModel.h"
#include "engine/core/GXDigest.h"
#include "engine/core/GXStrings.h"
#include "tools/assetgen/Buildings.h"
#include "tools/assetgen/Textures.h"

namespace assetgen {

namespace {

namespace fs = std::filesystem;

std::string SourceName(const std::string& folder, const std::string& file) {
  return std::string(ModelSourceFolder) + "\\Gebäude\\" + folder + "\\" + file;
}

}  // namespace

void WriteFile(const fs::path& file, const std::vector<uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (!out) throw std::runtime_error("Datei kann nicht geschrieben werden: " + file.string());
}

std::string FilePart(const std::string& path) {
  const size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

rr::TRRAssetNode* SubFolder(rr::TRRAssetNode& parent, const std::string& name) {
  for (int i = 0; i < parent.ChildCount(); ++i)
    if (parent.Child(i)->Name().GetText() == name) return parent.Child(i);
  rr::TRRAssetNode* node = parent.AddChild();
  node->Name().SetText(gx::GX_LANG_GERMAN, name, true);
  return node;
}

TScratch::~TScratch() {
  Package.reset();
  std::error_code ignored;
  fs::remove_all(Folder, ignored);
}

gx::TGXGuid ModelAssetID(std::string_view cataloguePath) {
  gx::TGXDigest digest = gx::GXMD5("3D-Velmora Modellkatalog\\" + gx::LowerCaseText(cataloguePath));
  digest[6] = static_cast<uint8_t>((digest[6] & 0x0F) | 0x30);
  digest[8] = static_cast<uint8_t>((digest[8] & 0x3F) | 0x80);
  return gx::TGXGuid::FromBytes(digest.data());
}

std::shared_ptr<void> AddBuildings(rr::TRRAsset& catalogue, rr::TRRAssetNode& folder,
                                   const std::string& folderPath, const fs::path& workRoot) {
  auto scratch = std::make_shared<TScratch>();
  scratch->Folder = workRoot / "Modellquellen.tmp";
  fs::remove_all(scratch->Folder);
  fs::create_directories(scratch->Folder);

  // The models and, once each, the textures they name, side by side as an author keeps them.
  const std::vector<TBuildingModel> buildings = BuildingModels();
  std::set<std::string> textures;
  for (const TBuildingModel& b : buildings) {
    for (const std::string& t : ModelTextures(b.Model)) textures.insert(t);
    WriteFile(scratch->Folder / b.FileName, ModelFileBytes(b.Model, b.Form));
  }
  for (const std::string& t : textures) WriteFile(scratch->Folder / t, EncodeTexture(t, PaintTexture(t)));

  std::vector<TScratchModel> files;
  for (const TBuildingModel& b : buildings) files.push_back({b.FileName, ModelTextures(b.Model).size(), b.Name});
  std::vector<rr::TRRModelFileName> stored =
      StoreModelFiles(catalogue, *scratch, files,
                      [&](size_t i, const std::string& f) { return SourceName(buildings[i].Folder, f); });

  for (size_t i = 0; i < buildings.size(); ++i) {
    const TBuildingModel& b = buildings[i];
    const std::string path = folderPath + "\\" + b.Folder + "\\" + b.Name;
    auto d = std::make_unique<rr::TRRModelDesc>();
    d->SetAssetID(ModelAssetID(path));
    d->Name().SetText(gx::GX_LANG_GERMAN, b.Name, true);
    d->SetCataloguePath(path);
    d->SetCADType(BuildingCadType);
    d->SetLoop(b.Loop);
    d->SetAnimationEnabled(true);
    d->ModelFile() = std::move(stored[i]);
    SubFolder(folder, b.Folder)->AddDescription(std::move(d));
  }
  return scratch;
}

std::vector<rr::TRRModelFileName> StoreModelFiles(
    rr::TRRAsset& catalogue, TScratch& scratch, const std::vector<TScratchModel>& models,
    const std::function<std::string(size_t, const std::string&)>& sourceName) {
  // Stored once through the package writer: it finds the companions and converts them.
  scratch.Package = std::make_unique<rr::TRRAsset>(catalogue.Database());
  scratch.Package->SetIdentifier(catalogue.Identifier());
  std::vector<rr::TRRModelDesc*> stored;
  for (const TScratchModel& m : models) {
    auto d = std::make_unique<rr::TRRModelDesc>();
    d->SetAssetID(ModelAssetID(m.Key));
    d->ModelFile().Model.FileName = (scratch.Folder / m.File).string();
    stored.push_back(static_cast<rr::TRRModelDesc*>(scratch.Package->Root().AddDescription(std::move(d))));
  }
  scratch.Package->WritePackage((scratch.Folder / "Quellen.vma").string(), true);
  scratch.Package->Mount();

  std::vector<rr::TRRModelFileName> out;
  for (size_t i = 0; i < models.size(); ++i) {
    rr::TRRModelFileName file = stored[i]->ModelFile();
    if (file.Model.RelativeName.empty() || file.Companions.size() != models[i].Textures)
      throw std::runtime_error("Modell " + models[i].File + ": Texturen nicht gefunden.");
    file.Model.FileName = sourceName(i, models[i].File);
    for (rr::TRRAssetFileName& c : file.Companions) c.FileName = sourceName(i, FilePart(c.FileName));
    out.push_back(std::move(file));
  }
  return out;
}

}  // namespace assetgen
