#include "tools/assetgen/RollingStockCatalogue.h"

#include <fstream>
#include <set>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "app/RRDatabase.h"
#include "app/entities/RRTrackVehicle.h"
#include "tools/assetgen/Buildings.h"
#include "tools/assetgen/ModelCatalogue.h"
#include "tools/assetgen/RollingStock.h"
#include "tools/assetgen/RunningSounds.h"
#include "tools/assetgen/VehicleTextures.h"

namespace assetgen {

namespace {

namespace fs = std::filesystem;

// Where a model or texture of a vehicle folder lives in the SDK.
std::string ModelSource(const std::string& folder, const std::string& file) {
  return std::string(ModelSourceFolder) + "\\" + RollingStockFolder + "\\" + folder + "\\" + file;
}

// A stored model file named by its SDK source (companions beside it).
rr::TRRModelFileName SourceNamed(rr::TRRModelFileName file, const std::string& folder, const std::string& model,
                                 size_t textures) {
  if (file.Model.RelativeName.empty() || file.Companions.size() != textures)
    throw std::runtime_error("Fahrzeug " + model + ": Texturen nicht gefunden.");
  file.Model.FileName = ModelSource(folder, model);
  for (rr::TRRAssetFileName& c : file.Companions) c.FileName = ModelSource(folder, FilePart(c.FileName));
  return file;
}

}  // namespace

std::string VehicleCataloguePath(const std::string& folder, const std::string& name) {
  return std::string(RollingStockFolder) + "\\" + folder + "\\" + name;
}

std::shared_ptr<void> AddRollingStock(rr::TRRAsset& catalogue, rr::TRRAssetNode& folder,
                                      const std::string& folderPath, const fs::path& workRoot) {
  auto scratch = std::make_shared<TScratch>();
  scratch->Folder = workRoot / "Fahrzeugquellen.tmp";
  fs::remove_all(scratch->Folder);
  fs::create_directories(scratch->Folder);

  // Models, the cab, their textures once each and the sounds, side by side.
  const std::vector<TVehicleModel> vehicles = VehicleModels();
  const gx::TGXModelData cab = CabModel();
  std::set<std::string> textures;
  for (const TVehicleModel& v : vehicles) {
    for (const std::string& t : ModelTextures(v.Model)) textures.insert(t);
    WriteFile(scratch->Folder / v.FileName, ModelFileBytes(v.Model, TModelFileForm::XText));
  }
  for (const std::string& t : ModelTextures(cab)) textures.insert(t);
  WriteFile(scratch->Folder / CabModelFile, ModelFileBytes(cab, TModelFileForm::XText));
  for (const std::string& t : textures) WriteFile(scratch->Folder / t, EncodeTexture(t, PaintVehicleTexture(t)));
  for (const std::string& s : RunningSoundFiles())
    WriteFile(scratch->Folder / s, EncodeWav(RunningSoundSamples(s), RunningSoundRate));

  // Stored once through the package writer, which converts the textures and stores the sounds.
  scratch->Package = std::make_unique<rr::TRRAsset>(catalogue.Database());
  scratch->Package->SetIdentifier(catalogue.Identifier());
  std::vector<rr::TRRTrackVehicleDesc*> stored;
  for (const TVehicleModel& v : vehicles) {
    auto d = std::make_unique<rr::TRRTrackVehicleDesc>();
    d->SetAssetID(ModelAssetID(VehicleCataloguePath(v.Folder, v.Name) + "\\Quelle"));
    d->ModelFile().Model.FileName = (scratch->Folder / v.FileName).string();
    if (!v.SoundFile.empty()) d->Sound.FileName = (scratch->Folder / v.SoundFile).string();
    if (v.Cab) d->CockpitModel.Model.FileName = (scratch->Folder / CabModelFile).string();
    stored.push_back(static_cast<rr::TRRTrackVehicleDesc*>(scratch->Package->Root().AddDescription(std::move(d))));
  }
  scratch->Package->WritePackage((scratch->Folder / "Quellen.vma").string(), true);
  scratch->Package->Mount();

  const std::string own = catalogue.Identifier().ToString() + "\\";
  for (size_t i = 0; i < vehicles.size(); ++i) {
    const TVehicleModel& v = vehicles[i];
    const rr::TRRTrackVehicleDesc& s = *stored[i];
    const std::string path = folderPath + "\\" + v.Folder + "\\" + v.Name;
    auto d = std::make_unique<rr::TRRTrackVehicleDesc>();
    d->SetAssetID(ModelAssetID(path));
    d->Name().SetText(gx::GX_LANG_GERMAN, v.Name, true);
    d->Description().SetText(gx::GX_LANG_GERMAN, std::string(v.Locomotive ? "Lokomotive" : "Wagen") +
                                                      " der " + RailwayName + " (" + RailwayLetters + ")",
                             true);
    d->SetCataloguePath(path);
    d->SetCADType(RollingStockCadType);
    d->SetAnimationEnabled(true);
    d->ModelFile() = SourceNamed(s.ModelFile(), v.Folder, v.FileName, ModelTextures(v.Model).size());
    d->ForwardAxis = VehicleForwardAxis;
    d->HasEngine = v.Locomotive;
    d->ChangeDirection = true;
    d->UnlockSwitches = true;
    d->AutomaticScaling = true;
    d->TargetSpeed = v.Locomotive ? LocomotiveTargetSpeed : 0.0f;
    if (v.Locomotive) {
      if (s.Sound.RelativeName.rfind(own, 0) != 0)
        throw std::runtime_error("Fahrzeug " + v.Name + ": Geräusch nicht gespeichert.");
      d->Sound = rr::TRRAssetFileName(std::string(SoundSourceFolder) + "\\" + v.SoundFile, s.Sound.RelativeName);
      d->SoundEnabled = true;
    }
    if (v.Cab) {
      d->CockpitModel = SourceNamed(s.CockpitModel, v.Folder, CabModelFile, ModelTextures(cab).size());
      // The camera stands at the cab's origin, the driver's eye.
      d->CockpitOffset = 0;
    }
    SubFolder(folder, v.Folder)->AddDescription(std::move(d));
  }
  return scratch;
}

}  // namespace assetgen
