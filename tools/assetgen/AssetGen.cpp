// assetgen: writes the two base packages the program needs to start, into the folder given on the
// command line (the build puts them into the "Data" folder next to the programs). With --desktop
// it writes the desktop program's start picture and icons instead (DesktopPictures.h).
//
// Output is byte-identical on every run: identifiers are fixed, nothing depends on the time, the
// random generator or the order of a directory listing. Every kind that gets catalogue entries or
// shared data adds them here.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "app/RRDatabase.h"
#include "app/entities/RREntityGroup.h"
#include "engine/core/GXFileSystem.h"
#include "tools/assetgen/AccessoryCatalogue.h"
#include "tools/assetgen/BaseMaterials.h"
#include "tools/assetgen/Cameras.h"
#include "tools/assetgen/Catenary.h"
#include "tools/assetgen/DesktopPictures.h"
#include "tools/assetgen/LightAndWater.h"
#include "tools/assetgen/ModelCatalogue.h"
#include "tools/assetgen/PanelAssets.h"
#include "tools/assetgen/Primitives.h"
#include "tools/assetgen/RollingStockCatalogue.h"
#include "tools/assetgen/SampleLayouts.h"
#include "tools/assetgen/SceneryCatalogue.h"
#include "tools/assetgen/Surroundings.h"
#include "tools/assetgen/TrackMeshes.h"
#include "tools/assetgen/TrackModels.h"
#include "tools/assetgen/TrackSystems.h"

namespace {

using namespace rr;

// Fixed file names: the start-up looks packages up by identifier, people by name.
constexpr const char* kCatalogueFile = "Basiskatalog.vma";
constexpr const char* kSharedDataFile = "Basisdaten.vma";

void SetGerman(gx::TGXLocalizedString& s, const char* text) { s.SetText(gx::GX_LANG_GERMAN, text, true); }

TRRAssetNode* AddFolder(TRRAssetNode& parent, const char* name) {
  TRRAssetNode* node = parent.AddChild();
  SetGerman(node->Name(), name);
  return node;
}

void AddGroup(TRRAssetNode& folder, const char* assetId, const char* name, const char* path) {
  auto d = std::make_unique<TRREntityGroupDesc>();
  d->SetAssetID(gx::TGXGuid::Parse(assetId));
  SetGerman(d->Name(), name);
  d->SetCataloguePath(path);
  folder.AddDescription(std::move(d));
}

void WriteCatalogue(TRRDatabase& db, const std::string& file) {
  TRRAsset a(&db);
  a.SetIdentifier(gx::TGXGuid::Parse(RRBasePackage1));
  SetGerman(a.Name(), "3D-Velmora Basiskatalog");
  SetGerman(a.Author(), RRPublisherName);
  SetGerman(a.Description(), "Gleise, Modelle und Zubehör, die mit dem Programm ausgeliefert werden.");
  SetGerman(a.Root().Name(), "Katalog");
  assetgen::AddTrackSystems(*AddFolder(a.Root(), "Gleise"), "Gleise");
  auto lightAndWater = assetgen::AddLightAndWater(a, *AddFolder(a.Root(), "Landschaft"), "Landschaft",
                                                 std::filesystem::path(file).parent_path());
  auto camera = assetgen::AddCameraEntry(a, std::filesystem::path(file).parent_path());
  auto buildings = assetgen::AddBuildings(a, *AddFolder(a.Root(), "Gebäude"), "Gebäude",
                                         std::filesystem::path(file).parent_path());
  auto rollingStock = assetgen::AddRollingStock(a, *AddFolder(a.Root(), assetgen::RollingStockFolder),
                                               assetgen::RollingStockFolder,
                                               std::filesystem::path(file).parent_path());
  AddFolder(a.Root(), "Fahrzeuge");
  auto accessories = assetgen::AddAccessories(a, a.Root(), std::filesystem::path(file).parent_path());
  auto scenery = assetgen::AddScenery(a, a.Root(), std::filesystem::path(file).parent_path());
  auto catenary = assetgen::AddCatenary(a, a.Root(), std::filesystem::path(file).parent_path());
  TRRAssetNode* groups = AddFolder(a.Root(), "Gruppen");
  AddGroup(*groups, "{5B0D7E0A-4C1E-4B8A-9E51-6F2C3A8D1001}", "Leere Gruppe", "Gruppen\\Leere Gruppe");
  a.WritePackage(file, false);
}

void WriteSharedData(TRRDatabase& db, const std::string& file) {
  TRRAsset a(&db);
  a.SetIdentifier(gx::TGXGuid::Parse(RRBasePackage2));
  SetGerman(a.Name(), "3D-Velmora Basisdaten");
  SetGerman(a.Author(), RRPublisherName);
  SetGerman(a.Description(), "Gemeinsame Standarddaten (Texturen, Platzhaltermodell).");
  SetGerman(a.Root().Name(), "Basisdaten");
  auto trackTextures = assetgen::AddTrackTextures(a, std::filesystem::path(file).parent_path());
  auto primitives = assetgen::AddPrimitives(a, std::filesystem::path(file).parent_path());
  auto trackModels = assetgen::AddTrackModels(a, std::filesystem::path(file).parent_path());
  auto trackDrawing = assetgen::AddTrackDrawing(a, std::filesystem::path(file).parent_path(),
                                                std::filesystem::path(VELMORA_DATA_DIR) / "shaders" / "tracks");
  auto materials = assetgen::AddMaterialFiles(a, std::filesystem::path(file).parent_path(), VELMORA_DATA_DIR);
  auto panels = assetgen::AddPanelAssets(a, std::filesystem::path(file).parent_path(),
                                         std::filesystem::path(VELMORA_DATA_DIR) / "shaders" / "Bodenplatte");
  auto surroundings =
      assetgen::AddSurroundingsFiles(a, std::filesystem::path(file).parent_path(), VELMORA_DATA_DIR);
  a.WritePackage(file, false);
}

}  // namespace

int main(int argc, char** argv) {
  const bool desktop = argc == 3 && std::string(argv[1]) == "--desktop";
  if ((argc != 2 && !desktop) || std::string(argv[argc - 1]).empty() || (argc == 2 && argv[1][0] == '-')) {
    std::fprintf(stderr, "Aufruf: assetgen AUSGABEORDNER\n       assetgen --desktop AUSGABEORDNER\n");
    return 2;
  }
  try {
    std::filesystem::path out = std::filesystem::absolute(argv[argc - 1]);
    if (desktop) {
      assetgen::WriteDesktopFiles(out);
      return 0;
    }
    std::filesystem::create_directories(out);
    gx::TGXFileSystem fileSystem;
    // The packages are written through the database's own writer; nothing installed is read
    // (the generator's folder has no "Data").
    TRRDatabase db(fileSystem, {});
    WriteCatalogue(db, (out / kCatalogueFile).string());
    WriteSharedData(db, (out / kSharedDataFile).string());
    assetgen::WriteSampleLayouts(out);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "assetgen: %s\n", e.what());
    return 1;
  }
  return 0;
}
