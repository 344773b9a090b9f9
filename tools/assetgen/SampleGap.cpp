#include "tools/assetgen/SampleGap.h"

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
#include "app/entities/track/RRTrackSnap.h"
#include "engine/core/GXFileSystem.h"
#include "engine/render/GXScene.h"
#include "tools/assetgen/Cameras.h"
#include "tools/assetgen/SampleSession.h"

namespace assetgen {

namespace {

using namespace rr;

// Lays catalogue pieces by the same snap the program uses to join tracks.
class TGapLayer {
 public:
  explicit TGapLayer(TSampleSession& session) : FSession(session) {}

  // A new piece whose route-0 contact (0: start, 1: end) meets the given contact (none: placed at
  // position with rotation).
  TRRTrack* Attach(const std::string& name, TRRTrackRouteContact* to, int contact = 0,
                   gx::TGXVector3 position = {0, 0, 0}, gx::TGXQuaternion rotation = {0, 0, 0, 1}) {
    TRRTrack* track = FSession.MakeTrack(name, position, rotation);
    if (to) {
      gx::TGXVector3 p;
      gx::TGXQuaternion q;
      RRSnapTransform(*track->GetRoute(0)->Contact(contact), *to, p, q);
      track->SetPosition(p);
      track->SetRotation(q);
      FSession.Host().Scene.Root()->Update(false);
    }
    return track;
  }

 private:
  TSampleSession& FSession;
};

TRRTrackRouteContact* EndOf(TRRTrack* t) { return t->GetRoute(0)->Contact(1); }

}  // namespace

void WriteGapSample(const std::filesystem::path& dataFolder) {
  TSampleSession session(dataFolder);
  TSampleHost& host = session.Host();
  TRREntityManager& manager = session.Manager();
  TRRDatabase& db = session.Database();
  TGapLayer layer(session);
  // The first run: a straight and a curve to the right.
  TRRTrack* a = layer.Attach("G1", nullptr, 0, {-40, 0, -30});
  TRRTrackRouteContact* end = EndOf(layer.Attach("G1", EndOf(a)));
  end = EndOf(layer.Attach("R1 30° rechts", end));
  // The pieces that close the gap, laid only to place the second run's first piece and taken
  // away again, newest first (each the last child, so the others keep their order and IDs).
  TRRTrack* fillStraight = layer.Attach("G2", end);
  TRRTrack* fillCurve = layer.Attach("R1 30° rechts", EndOf(fillStraight));
  TRRTrack* placed = layer.Attach("G1", EndOf(fillCurve));
  const gx::TGXVector3 position = placed->Position();
  const gx::TGXQuaternion rotation = placed->Rotation();
  delete placed;
  delete fillCurve;
  delete fillStraight;
  host.Scene.Root()->Update(false);
  // The second run: a straight, a curve and two straights.
  TRRTrack* b = layer.Attach("G1", nullptr, 0, position, rotation);
  end = EndOf(layer.Attach("R1 30° rechts", EndOf(b)));
  end = EndOf(layer.Attach("G1", end));
  layer.Attach("G1", end);
  host.Scene.Root()->Update(false);
  AddSampleCameras(manager, db);

  session.Save("Gleislücke.vmp");
}

}  // namespace assetgen
