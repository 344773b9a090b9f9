#include "tools/assetgen/LightAndWater.h"

#include <cmath>
#include <fstream>
#include <stdexcept>

#include "app/RRDatabase.h"
#include "app/RREntityManager.h"
#include "app/entities/RRLight.h"
#include "app/entities/RRModel.h"
#include "app/entities/track/RRTrack.h"
#include "tools/assetgen/Buildings.h"
#include "tools/assetgen/LayoutScenery.h"
#include "tools/assetgen/ModelCatalogue.h"
#include "tools/assetgen/ModelKit.h"

namespace assetgen {

namespace {

namespace fs = std::filesystem;
using K = TModelKit;

// A bulb hanging from its socket: modelled standing (socket down), the light turns it over.
// Large, since the light shows it at a fifth of its size.
gx::TGXModelData Bulb() {
  K k;
  k.Part("Birne");
  const std::string glass = ColourMaterial(1.0f, 0.96f, 0.7f), metal = ColourMaterial(0.55f, 0.55f, 0.5f);
  k.Frustum(metal, {0, 0, 0}, 5, 5, 0, 6, 12, kFit, K::kBottom);
  k.Frustum(metal, {0, 0, 0}, 5, 6, 6, 8, 12, kFit, 0);
  // The glass: a bulb of rings from the neck up to the crown.
  const float radii[] = {6, 9, 12.5f, 14.5f, 15, 14, 11, 6.5f, 0};
  const float heights[] = {8, 11, 15, 19, 23, 27, 31, 34, 35.5f};
  for (int i = 0; i + 1 < 9; ++i)
    k.Frustum(glass, {0, 0, 0}, radii[i], radii[i + 1], heights[i], heights[i + 1], 16, kFit, 0);
  return k.Build(gx::EGXModelFormat::XFile);
}

// A pond: a stone rim round a sunken bed and the water surface on the part "Spiegel".
gx::TGXModelData Pond() {
  K k;
  k.Part("Teich");
  const std::string stone = ColourMaterial(0.52f, 0.5f, 0.46f), bed = ColourMaterial(0.18f, 0.2f, 0.14f);
  // The rim: a ring of flat stones and its outer edge.
  k.Ring(stone, {0, 0, 0}, 7, 8.5f, 0.6f, 20, kFit);
  k.Frustum(stone, {0, 0, 0}, 8.8f, 8.5f, 0, 0.6f, 20, kFit, 0);
  k.InnerWall(stone, {0, 0, 0}, 7, -0.5f, 0.6f, 20, kFit);
  k.Ring(bed, {0, 0, 0}, 0, 7, -0.5f, 20, kFit);
  k.Part("Spiegel", -1, {0, 0.3f, 0});
  k.Ring(ColourMaterial(0.16f, 0.3f, 0.38f), {0, 0, 0}, 0, 7.05f, 0, 20, kFit);
  return k.Build(gx::EGXModelFormat::XFile);
}

// A polished upright tank on a concrete plinth; its shell lies on the part "Glanz".
gx::TGXModelData Tank() {
  K k;
  k.Part("Tank");
  const std::string concrete = ColourMaterial(0.62f, 0.61f, 0.58f);
  k.Box(concrete, {-4, 0, -4}, {4, 0.8f, 4}, kFit);
  k.Part("Glanz", -1, {0, 0.8f, 0});
  const std::string steel = ColourMaterial(0.78f, 0.8f, 0.82f);
  k.Frustum(steel, {0, 0, 0}, 3.2f, 3.2f, 0, 9, 24, kFit, 0);
  k.Frustum(steel, {0, 0, 0}, 3.2f, 2.2f, 9, 10.5f, 24, kFit, 0);
  k.Frustum(steel, {0, 0, 0}, 2.2f, 0.5f, 10.5f, 11.2f, 24, kFit, K::kTop);
  return k.Build(gx::EGXModelFormat::XFile);
}

std::string SourceName(const std::string& file) {
  return std::string(ModelSourceFolder) + "\\Landschaft\\" + file;
}

}  // namespace

std::vector<TSceneryModel> LightAndWaterModels() {
  return {{"Birne", "Birne.x", Bulb()}, {"Teich", "Teich.x", Pond()}, {"Tank", "Tank.x", Tank()}};
}

std::shared_ptr<void> AddLightAndWater(rr::TRRAsset& catalogue, rr::TRRAssetNode& folder,
                                       const std::string& folderPath, const fs::path& workRoot) {
  auto scratch = std::make_shared<TScratch>();
  scratch->Folder = workRoot / "Landschaftsquellen.tmp";
  fs::remove_all(scratch->Folder);
  fs::create_directories(scratch->Folder);
  const std::vector<TSceneryModel> models = LightAndWaterModels();
  for (const TSceneryModel& m : models)
    WriteFile(scratch->Folder / m.FileName, ModelFileBytes(m.Model, TModelFileForm::XText));

  // Stored once through the package writer, then named as the SDK keeps them.
  scratch->Package = std::make_unique<rr::TRRAsset>(catalogue.Database());
  scratch->Package->SetIdentifier(catalogue.Identifier());
  std::vector<rr::TRRModelDesc*> stored;
  for (const TSceneryModel& m : models) {
    auto d = std::make_unique<rr::TRRModelDesc>();
    d->SetAssetID(ModelAssetID(m.Name));
    d->ModelFile().Model.FileName = (scratch->Folder / m.FileName).string();
    stored.push_back(static_cast<rr::TRRModelDesc*>(scratch->Package->Root().AddDescription(std::move(d))));
  }
  scratch->Package->WritePackage((scratch->Folder / "Quellen.vma").string(), true);
  scratch->Package->Mount();

  for (size_t i = 0; i < models.size(); ++i) {
    const TSceneryModel& m = models[i];
    rr::TRRModelFileName file = stored[i]->ModelFile();
    if (file.Model.RelativeName.empty()) throw std::runtime_error("Modell " + m.Name + " nicht gespeichert.");
    file.Model.FileName = SourceName(m.FileName);
    std::unique_ptr<rr::TRRModelDesc> d;
    std::string path;
    if (m.Name == "Birne") {
      auto light = std::make_unique<rr::TRRLightDesc>();
      light->Presets() = rr::RRDefaultLightPresets();
      d = std::move(light);
      path = LightCataloguePath;
    } else {
      d = std::make_unique<rr::TRRModelDesc>();
      d->SetCADType(m.Name == "Teich" ? 9 : 7);
      path = folderPath + "\\" + m.Name;
    }
    d->SetAssetID(ModelAssetID(path));
    d->Name().SetText(gx::GX_LANG_GERMAN, m.Name == "Birne" ? std::string("Licht") : m.Name, true);
    d->SetCataloguePath(path);
    d->ModelFile() = std::move(file);
    if (m.Name == "Birne")
      catalogue.Root().AddDescription(std::move(d));
    else
      folder.AddDescription(std::move(d));
  }
  return scratch;
}

void AddSampleLightAndWater(rr::TRREntityManager& manager, const rr::TRRDatabase& database,
                            const std::vector<rr::TRRTrack*>& tracks) {
  std::vector<TBox> taken;
  for (const rr::TRRTrack* t : tracks) taken.push_back(TrackBox(*t));
  // The buildings placed already, by their catalogue names.
  const std::vector<TBuildingModel> buildings = BuildingModels();
  gx::TGXNode* root = manager.Project().ProjectNode();
  for (int i = 0; i < root->ChildCount(); ++i) {
    auto* model = dynamic_cast<rr::TRRModel*>(root->Child(i));
    if (!model) continue;
    for (const TBuildingModel& b : buildings)
      if (b.Name == model->Name())
        taken.push_back(PlacedModelBox(b.Model, model->Position(), model->Rotation()));
  }

  const std::vector<TSceneryModel> models = LightAndWaterModels();
  auto entry = [&](const std::string& path) -> std::unique_ptr<rr::TRREntityDescription> {
    const gx::TGXGuid id = database.FindAssetIDByPath(path);
    rr::TRREntityDescriptionList found(false);
    database.CollectCatalogByAsset(id, found);
    if (found.Count() == 0) throw std::runtime_error("Beispielanlage: " + path + " fehlt im Katalog.");
    std::unique_ptr<rr::TRREntityDescription> d = found.Item(0)->Clone();
    d->SetID(manager.NextID());
    manager.ReserveIDs(1);
    return d;
  };

  // The light where a new layout has it, with the day and night presets and a dusk after them
  // (the desktop's night switch goes between the first two).
  {
    std::unique_ptr<rr::TRREntityDescription> d = entry(LightCataloguePath);
    if (auto* light = dynamic_cast<rr::TRRLightDesc*>(d.get())) {
      light->Presets() = rr::RRDefaultLightPresets();
      rr::TRRLightParameter dusk;
      dusk.Name.SetText(gx::GX_LANG_GERMAN, "Dämmerung");
      dusk.SkyColor = 0xFF8A6F86;
      dusk.Ambient = {0.32f, 0.28f, 0.3f};
      dusk.Diffuse = {0.75f, 0.55f, 0.42f};
      dusk.Spotlights = true;
      light->Presets().push_back(dusk);
      light->SetActiveIndex(0);
    }
    d->SetPosition({-300, 300, 300});
    manager.CreateEntity(nullptr, *d);
  }
  // The pond starts in front of the church and is moved along +x until clear (it ends beyond the
  // oval, by the engine shed); the tank stands west of the church, out of the road that comes in
  // over the level crossing. Both keep clear of the tracks, the buildings and each other.
  struct TPlace {
    const char* Name;
    gx::TGXVector3 Start, Direction;
  } places[] = {{"Teich", {-40, 0, -22}, {1, 0, 0}}, {"Tank", {-56, 0, 2}, {0, 0, 1}}};
  for (const TPlace& p : places) {
    const gx::TGXModelData* model = nullptr;
    for (const TSceneryModel& m : models)
      if (m.Name == p.Name) model = &m.Model;
    const gx::TGXQuaternion none{0, 0, 0, 1};
    const gx::TGXVector3 at = PlaceClear(*model, p.Start, p.Direction, none, taken, 2.0f);
    taken.push_back(PlacedModelBox(*model, at, none));
    std::unique_ptr<rr::TRREntityDescription> d = entry(std::string("Landschaft\\") + p.Name);
    d->SetPosition(at);
    manager.CreateEntity(nullptr, *d);
  }
}

}  // namespace assetgen
