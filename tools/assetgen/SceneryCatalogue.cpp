#include "tools/assetgen/SceneryCatalogue.h"

#include <set>
#include <vector>

#include "app/RRDatabase.h"
#include "app/entities/scenery/RRBarrier.h"
#include "app/entities/scenery/RRPrimitive.h"
#include "app/entities/scenery/RRStreet.h"
#include "app/entities/scenery/RRVegetation.h"
#include "app/entities/scenery/RRVehicleBuilding.h"
#include "tools/assetgen/EngineShed.h"
#include "tools/assetgen/ModelCatalogue.h"
#include "tools/assetgen/Plants.h"
#include "tools/assetgen/SceneryTextures.h"
#include "tools/assetgen/Streets.h"

namespace assetgen {

namespace {

namespace fs = std::filesystem;

// The folder below parent along a backslash path, each step made when missing.
rr::TRRAssetNode* FolderAt(rr::TRRAssetNode& parent, const std::string& path) {
  rr::TRRAssetNode* node = &parent;
  size_t start = 0;
  while (start <= path.size()) {
    const size_t cut = std::min(path.find('\\', start), path.size());
    node = SubFolder(*node, path.substr(start, cut - start));
    start = cut + 1;
  }
  return node;
}

template <class D>
std::unique_ptr<D> Entry(const std::string& folder, const std::string& name) {
  auto d = std::make_unique<D>();
  const std::string path = SceneryCataloguePath(folder, name);
  d->SetAssetID(ModelAssetID(path));
  d->Name().SetText(gx::GX_LANG_GERMAN, name, true);
  d->SetCataloguePath(path);
  return d;
}

struct TPrimitiveColour {
  float R, G, B;
};
constexpr TPrimitiveColour kPrimitiveColours[8] = {
    {0.78f, 0.62f, 0.42f},  // sandstone
    {0.84f, 0.3f, 0.24f},   // signal red
    {0.3f, 0.5f, 0.76f},    // blue
    {0.58f, 0.58f, 0.55f},  // concrete
    {0.42f, 0.6f, 0.32f},   // meadow
    {0.3f, 0.56f, 0.7f},    // water
    {0.86f, 0.72f, 0.36f},  // ochre
    {0.7f, 0.44f, 0.34f},   // terracotta
};

}  // namespace

std::string SceneryCataloguePath(const std::string& folder, const std::string& name) {
  return folder + "\\" + name;
}

std::shared_ptr<void> AddScenery(rr::TRRAsset& catalogue, rr::TRRAssetNode& root, const fs::path& workRoot) {
  auto scratch = std::make_shared<TScratch>();
  scratch->Folder = workRoot / "Landschaftsquellen.tmp";
  fs::remove_all(scratch->Folder);
  fs::create_directories(scratch->Folder);

  // Streets, barrier and plants are entries of their own; the shed's bay and connector make one.
  std::vector<TSceneryItem> models = StreetModels();
  const size_t barrier = models.size();
  models.push_back(BarrierModel());
  const size_t plants = models.size();
  for (TSceneryItem& p : PlantModels()) models.push_back(std::move(p));
  const size_t bay = models.size();
  models.push_back(ShedBayModel());
  models.push_back(ShedConnectorModel());

  std::set<std::string> textures;
  std::vector<TScratchModel> files;
  for (const TSceneryItem& m : models) {
    const std::vector<std::string> names = ModelTextures(m.Model);
    textures.insert(names.begin(), names.end());
    WriteFile(scratch->Folder / m.FileName, ModelFileBytes(m.Model, m.Form));
    files.push_back({m.FileName, names.size(), SceneryCataloguePath(m.Folder, m.Name)});
  }
  for (const std::string& t : textures)
    WriteFile(scratch->Folder / t, EncodeTexture(t, PaintSceneryTexture(t)));
  std::vector<rr::TRRModelFileName> stored =
      StoreModelFiles(catalogue, *scratch, files, [&](size_t i, const std::string& f) {
        return std::string(ModelSourceFolder) + "\\" + models[i].Folder + "\\" + f;
      });

  for (size_t i = 0; i < barrier; ++i) {
    auto d = Entry<rr::TRRStreetDesc>(models[i].Folder, models[i].Name);
    for (const TRoadEnd& e : models[i].Ends) d->Contacts.push_back({e.Position, e.Angle});
    d->SetCADType(StreetCadType);
    d->ModelFile() = std::move(stored[i]);
    FolderAt(root, models[i].Folder)->AddDescription(std::move(d));
  }
  {
    auto d = Entry<rr::TRRBarrierDesc>(models[barrier].Folder, models[barrier].Name);
    d->SetCADType(BarrierCadType);
    // The booms follow the barrier's state, not the model's own playback.
    d->SetLoop(false);
    d->SetAnimationEnabled(false);
    d->ModelFile() = std::move(stored[barrier]);
    FolderAt(root, models[barrier].Folder)->AddDescription(std::move(d));
  }
  for (size_t i = plants; i < bay; ++i) {
    auto d = Entry<rr::TRRVegetationDesc>(models[i].Folder, models[i].Name);
    d->ScaleSeed = 0;
    d->ModelFile() = std::move(stored[i]);
    FolderAt(root, models[i].Folder)->AddDescription(std::move(d));
  }
  {
    auto d = Entry<rr::TRRVehicleBuildingDesc>(models[bay].Folder, models[bay].Name);
    d->BayModel = std::move(stored[bay]);
    d->ConnectorModel = std::move(stored[bay + 1]);
    d->BayCount = ShedBayCount;
    FolderAt(root, models[bay].Folder)->AddDescription(std::move(d));
  }
  rr::TRRAssetNode* primitives = FolderAt(root, PrimitiveFolder);
  for (uint8_t type = 0; type < 8; ++type) {
    auto d = Entry<rr::TRRPrimitiveDesc>(PrimitiveFolder, PrimitiveNames[type]);
    d->PrimitiveType = type;
    const TPrimitiveColour& c = kPrimitiveColours[type];
    rr::TRRMaterialSubDesc& sub = d->Sub();
    sub.Diffuse = sub.Ambient = sub.Specular = {c.R, c.G, c.B};
    primitives->AddDescription(std::move(d));
  }
  return scratch;
}

}  // namespace assetgen
