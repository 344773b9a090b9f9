#include "tools/assetgen/SampleSession.h"

#include "app/RRProjectSerializer.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackParameters.h"
#include "engine/core/GXStream.h"

namespace assetgen {

namespace {

gx::TGXFileSystem& GameRoot(gx::TGXFileSystem& fs, const std::filesystem::path& dataFolder) {
  fs.SetRoot("Game", dataFolder.string());
  return fs;
}

}  // namespace

TSampleSession::TSampleSession(const std::filesystem::path& dataFolder)
    : FDataFolder(dataFolder), FDatabase(GameRoot(FFileSystem, dataFolder), {}) {
  FDatabase.CollectCatalogByClass(rr::TRRTrackDesc::StaticClass(), FTracks);
  FEvents.Manager().Root().SetID(1);
  FManager = std::make_unique<rr::TRREntityManager>(FHost, nullptr, &FHost.Scene);
}

TSampleSession::~TSampleSession() { FHost.Scene.Root()->DeleteChildren(); }

void TSampleSession::Save(const std::string& name) {
  gx::TGXMemoryStream s;
  const std::filesystem::path folder = FDataFolder / "Beispielanlagen";
  std::filesystem::create_directories(folder);
  const std::string file = (folder / name).string();
  rr::TRRTrackParameters none{rr::TRRTrackCatalogueSource()};
  rr::TRRProjectSerializer(s, &FFileSystem).WriteProject(*FHost.Scene.Root(), file, none, FEvents, nullptr);
  rr::RRWriteFileReplacing(file, s.Memory(), s.Data().size());
}

}  // namespace assetgen
