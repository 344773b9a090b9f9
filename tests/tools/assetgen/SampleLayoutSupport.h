#pragma once
// The generated sample layout as the tests read it: its entity descriptions, read as the program
// reads the file, and an entity manager over a bare host to make entities from them (they go
// before the manager).

#include <memory>
#include <string>

#include "app/RRBareProjectHost.h"
#include "app/RRDatabase.h"
#include "app/RREntityManager.h"
#include "app/RRProjectSerializer.h"
#include "app/entities/track/RRTrackParameters.h"
#include "engine/core/GXFileSystem.h"

namespace assetgentest {

struct TSampleLayout {
  rr::TRREntityDescriptionList List{true};
  rr::TRRBareProjectHost<rr::TRRConsoleUIService> Host;
  rr::TRREntityManager Manager{Host, nullptr, &Host.Scene};

  TSampleLayout(gx::TGXFileSystem& fileSystem, rr::TRRDatabase* database) {
    const std::string file = std::string(VELMORA_CLI_DATA_DIR) + "/Beispielanlagen/Kleine Beispielanlage.vmp";
    std::unique_ptr<gx::TGXMemoryStream> bytes = fileSystem.OpenFile(file);
    rr::TRRTrackParameters parameters{rr::TRRTrackCatalogueSource()};
    rr::TRRProjectSerializer(*bytes, &fileSystem).ReadProject(file, &parameters, List, database);
  }
  ~TSampleLayout() { Host.Scene.Root()->DeleteChildren(); }
  TSampleLayout(const TSampleLayout&) = delete;
  TSampleLayout& operator=(const TSampleLayout&) = delete;
};

}  // namespace assetgentest
