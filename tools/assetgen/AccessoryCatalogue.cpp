#include "tools/assetgen/AccessoryCatalogue.h"

#include <vector>

#include "app/RRDatabase.h"
#include "app/entities/RRController.h"
#include "app/entities/RRSignal.h"
#include "tools/assetgen/Accessories.h"
#include "tools/assetgen/Buildings.h"
#include "tools/assetgen/ModelCatalogue.h"

namespace assetgen {

namespace {

namespace fs = std::filesystem;

// A toggle switch bound to a locomotive sets these speeds (cm/s).
constexpr float kToggleOnSpeed = 40;
constexpr float kToggleOffSpeed = 0;
// The CAD type of signals in the technical view (black, like the symbols of a track plan).
constexpr uint8_t kSignalCadType = 11;

}  // namespace

std::string AccessoryCataloguePath(const std::string& folder, const std::string& name) {
  return folder + "\\" + name;
}

std::shared_ptr<void> AddAccessories(rr::TRRAsset& catalogue, rr::TRRAssetNode& root, const fs::path& workRoot) {
  auto scratch = std::make_shared<TScratch>();
  scratch->Folder = workRoot / "Zubehoerquellen.tmp";
  fs::remove_all(scratch->Folder);
  fs::create_directories(scratch->Folder);

  const std::vector<TAccessoryModel> accessories = AccessoryModels();
  std::vector<TScratchModel> files;
  for (const TAccessoryModel& a : accessories) {
    WriteFile(scratch->Folder / a.FileName, ModelFileBytes(a.Model, TModelFileForm::XText));
    files.push_back({a.FileName, ModelTextures(a.Model).size(), AccessoryCataloguePath(a.Folder, a.Name)});
  }
  std::vector<rr::TRRModelFileName> stored =
      StoreModelFiles(catalogue, *scratch, files, [&](size_t i, const std::string& f) {
        return std::string(ModelSourceFolder) + "\\" + accessories[i].Folder + "\\" + f;
      });

  for (size_t i = 0; i < accessories.size(); ++i) {
    const TAccessoryModel& a = accessories[i];
    std::unique_ptr<rr::TRRModelDesc> d;
    if (a.Signal) {
      auto s = std::make_unique<rr::TRRSignalDesc>();
      s->SetCADType(kSignalCadType);
      d = std::move(s);
    } else {
      auto c = std::make_unique<rr::TRRControllerDesc>();
      c->Kind = a.ControllerKind;
      c->Value = a.ControllerKind == rr::RRControllerToggle ? 0.0f : 0.5f;
      c->OnSpeed = kToggleOnSpeed;
      c->OffSpeed = kToggleOffSpeed;
      d = std::move(c);
    }
    const std::string path = AccessoryCataloguePath(a.Folder, a.Name);
    d->SetAssetID(ModelAssetID(path));
    d->Name().SetText(gx::GX_LANG_GERMAN, a.Name, true);
    d->SetCataloguePath(path);
    // Signals and controllers play their animation by their state, not by themselves.
    d->SetLoop(false);
    d->SetAnimationEnabled(false);
    d->ModelFile() = std::move(stored[i]);
    SubFolder(root, a.Folder)->AddDescription(std::move(d));
  }
  return scratch;
}

}  // namespace assetgen
