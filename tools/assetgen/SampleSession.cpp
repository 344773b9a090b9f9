#include "tools/assetgen/SampleSession.h"

#include <stdexcept>

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

const rr::TRRTrackDesc* TSampleSession::FindTrack(const std::string& name) const {
  for (rr::TRREntityDescription* d : FTracks) {
    auto* t = dynamic_cast<rr::TRRTrackDesc*>(d);
    if (t && t->Name().GetText() == name && t->Manufacturer().GetText() == "Brettmann" && t->TrackWidth() == 3)
      return t;
  }
  return nullptr;
}

rr::TRRTrack* TSampleSession::MakeTrack(const std::string& name, const gx::TGXVector3& position,
                                        const gx::TGXQuaternion& rotation) {
  const rr::TRRTrackDesc* catalogue = FindTrack(name);
  if (!catalogue) throw std::runtime_error("Gleis " + name + " fehlt im Katalog.");
  std::unique_ptr<rr::TRREntityDescription> d = catalogue->Clone();
  d->SetID(FManager->NextID());
  FManager->ReserveIDs(1);
  d->SetPosition(position);
  d->SetRotation(rotation);
  auto* track = static_cast<rr::TRRTrack*>(FManager->CreateEntity(nullptr, *d));
  FHost.Scene.Root()->Update(false);
  return track;
}

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
