#include "tools/assetgen/SampleLayouts.h"

#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/RRBareProjectHost.h"
#include "app/RRDatabase.h"
#include "app/RREntityManager.h"
#include "app/RRProject.h"
#include "app/RRProjectSerializer.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackParameters.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/core/GXFileSystem.h"
#include "engine/render/GXScene.h"
#include "tools/assetgen/Cameras.h"
#include "tools/assetgen/LayoutScenery.h"
#include "tools/assetgen/SampleBaseboard.h"
#include "tools/assetgen/SampleCatenary.h"
#include "tools/assetgen/SampleGap.h"
#include "tools/assetgen/SampleScenery.h"
#include "tools/assetgen/SampleSession.h"
#include "tools/assetgen/SampleSignals.h"
#include "tools/assetgen/SampleTrain.h"
#include "tools/assetgen/LightAndWater.h"

namespace assetgen {

namespace {

using namespace rr;

// Lays track pieces end to end on the flat baseboard.
class TLayer {
 public:
  explicit TLayer(TSampleSession& session) : FSession(session) {}

  const TRRTrackDesc* Find(const std::string& name) const { return FSession.FindTrack(name); }

  // A new piece whose route-0 contact (0: start, 1: end) meets the given contact (none: at the
  // origin).
  TRRTrack* Attach(const std::string& name, TRRTrackRouteContact* to, int contact = 0) {
    TRRTrack* track = FSession.MakeTrack(name);
    FLaid.push_back(track);
    if (!to) return track;
    gx::TGXNode* root = FSession.Host().Scene.Root();
    TRRTrackRouteContact* start = track->GetRoute(0)->Contact(contact);
    // Turn about the vertical axis until the contact faces the other end, then move it there.
    gx::TGXVector3 want = to->GetWorldOutward(), have = start->GetWorldOutward();
    float angle = std::atan2(-want.x, -want.z) - std::atan2(have.x, have.z);
    track->SetRotation({0, std::sin(angle / 2), 0, std::cos(angle / 2)});
    root->Update(false);
    gx::TGXVector3 p = to->GetWorldPosition(), q = start->GetWorldPosition(), pos = track->Position();
    track->SetPosition({pos.x + p.x - q.x, pos.y + p.y - q.y, pos.z + p.z - q.z});
    root->Update(false);
    return track;
  }

  const std::vector<TRRTrack*>& Laid() const { return FLaid; }

 private:
  TSampleSession& FSession;
  std::vector<TRRTrack*> FLaid;
};

}  // namespace

void WriteSampleLayouts(const std::filesystem::path& dataFolder) {
  {
    TSampleSession session(dataFolder);
    TRREntityManager& manager = session.Manager();
    TSampleHost& host = session.Host();
    TRRDatabase& db = session.Database();
    TRREventManagerSection& events = session.Events();
    TLayer layer(session);
    // The oval: twelve R1 curves and two straights a side; one straight is a right turnout whose
    // branch turns back parallel to the main line into a short siding that ends at a buffer stop.
    TRRTrack* first = layer.Attach("G1", nullptr);
    TRRTrackRouteContact* end = first->GetRoute(0)->Contact(1);
    for (int i = 0; i < 6; ++i) end = layer.Attach("R1 30° links", end)->GetRoute(0)->Contact(1);
    TRRTrack* turnout = layer.Attach("WR15", end);
    end = turnout->GetRoute(0)->Contact(1);
    for (int i = 0; i < 6; ++i) end = layer.Attach("R1 30° links", end)->GetRoute(0)->Contact(1);
    TRRTrack* siding = nullptr;
    if (turnout->GetRouteCount() > 1) {
      TRRTrackRouteContact* parallel =
          layer.Attach("R2 15° links", turnout->GetRoute(1)->Contact(1))->GetRoute(0)->Contact(1);
      // The siding: a flexible track without bed, two straights long and gently bent, in the
      // dark brown texture; the buffer stop follows its end.
      siding = layer.Find("F914") ? layer.Attach("F914", parallel) : layer.Attach("G1", parallel);
      if (siding->GetRoute(0)->IsFlexible()) {
        TRRTrackRoute* flex = siding->GetRoute(0);
        flex->SetParameters({}, 2 * 18.83f);
        host.Scene.Root()->Update(false);
        const gx::TGXVector3 p0 = flex->Contact(0)->GetWorldPosition();
        const gx::TGXVector3 out = flex->Contact(0)->GetWorldOutward();
        const gx::TGXVector3 side = flex->Contact(0)->GetWorldSide();
        const gx::TGXVector3 p1 = p0 - out * 37.0f + side * 2.0f;
        const gx::TGXVector3 t1 = gx::GXVec3Normalize(-out * 37.0f + side * 4.0f);
        flex->BendFlexible(p0, out, t1, p1);
        siding->SetHasBed(false);
        siding->SetTexture(TRRAssetFileName(
            "Holz und Schotter (Dunkelbraun)",
            std::string(RRBasePackage2) + "\\Textures\\Tracks\\Holz und Schotter (Dunkelbraun).dds"));
        host.Scene.Root()->Update(false);
      }
      TRRTrackRouteContact* branch = siding->GetRoute(0)->Contact(1);
      // A buffer stop connects only at the end of its route.
      if (layer.Find("P75")) layer.Attach("P75", branch, 1);
    }
    // The buildings, clear of every track.
    if (siding) assetgen::AddSampleBuildings(manager, db, layer.Laid(), *first, *siding);
    // The light, the pond and the polished tank, clear of tracks and buildings.
    assetgen::AddSampleLightAndWater(manager, db, layer.Laid());
    // The baseboard under the oval.
    assetgen::AddSampleBaseboard(manager, layer.Laid());
    host.Scene.Root()->Update(false);
    // The train on the straight and the curves before the turnout.
    const std::vector<TRRTrack*> chain(layer.Laid().begin(), layer.Laid().begin() + 7);
    assetgen::AddSampleTrain(manager, db, chain);
    host.Scene.Root()->Update(false);
    // Signals, the control desk and the events that run the station.
    const std::vector<TRRTrack*> oval(layer.Laid().begin(), layer.Laid().begin() + 14);
    assetgen::AddSampleSignals(manager, db, events.Manager(), oval, *turnout, siding);
    host.Scene.Root()->Update(false);
    // Streets, the level crossing, the engine shed over the siding and the plants.
    if (siding) assetgen::AddSampleScenery(manager, db, layer.Laid(), *first, *siding);
    // The overhead wire over the station straight and the curve after it.
    assetgen::AddSampleCatenary(manager, db, {layer.Laid().begin(), layer.Laid().begin() + 7});
    // The cameras last, so that they frame everything.
    assetgen::AddSampleCameras(manager, db);
    assetgen::AddSampleSignalCamera(manager, db);
    if (siding) assetgen::AddSampleSceneryCameras(manager, db);

    session.Save("Kleine Beispielanlage.vmp");
  }
  // The layout with a gap for the gap solver.
  WriteGapSample(dataFolder);
}

}  // namespace assetgen
