#pragma once
// What writing a sample layout takes: the track catalogue of the base packages already written to
// the Data folder, a bare project (scene, empty event tree with a fixed identifier, so the file
// is the same on every run) and its entity manager; Save writes the layout below
// "Beispielanlagen" through a temporary file.

#include <filesystem>
#include <memory>
#include <string>

#include "app/RRBareProjectHost.h"
#include "app/RRDatabase.h"
#include "app/RREntityManager.h"
#include "app/RRProject.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXMath.h"

namespace rr {
class TRRTrack;
class TRRTrackDesc;
}  // namespace rr

namespace assetgen {

using TSampleHost = rr::TRRBareProjectHost<rr::TRRConsoleUIService>;

class TSampleSession {
 public:
  explicit TSampleSession(const std::filesystem::path& dataFolder);
  // The entities go before the manager they are registered with, also on failure.
  ~TSampleSession();
  TSampleSession(const TSampleSession&) = delete;
  TSampleSession& operator=(const TSampleSession&) = delete;

  rr::TRRDatabase& Database() { return FDatabase; }
  // Every track description of the catalogue, in catalogue order.
  const rr::TRREntityDescriptionList& Tracks() const { return FTracks; }
  TSampleHost& Host() { return FHost; }
  rr::TRREntityManager& Manager() { return *FManager; }
  rr::TRREventManagerSection& Events() { return FEvents; }

  // The base catalogue's "Brettmann" H0 piece of that name, or null.
  const rr::TRRTrackDesc* FindTrack(const std::string& name) const;
  // A new track of that piece with a fresh ID at position and rotation, the scene updated; raises
  // when the catalogue lacks the piece.
  rr::TRRTrack* MakeTrack(const std::string& name, const gx::TGXVector3& position = {0, 0, 0},
                          const gx::TGXQuaternion& rotation = {0, 0, 0, 1});

  // Writes "Beispielanlagen/<name>" below the Data folder.
  void Save(const std::string& name);

 private:
  std::filesystem::path FDataFolder;
  gx::TGXFileSystem FFileSystem;
  rr::TRRDatabase FDatabase;
  rr::TRREntityDescriptionList FTracks{false};
  TSampleHost FHost;
  rr::TRREventManagerSection FEvents;
  std::unique_ptr<rr::TRREntityManager> FManager;
};

}  // namespace assetgen
