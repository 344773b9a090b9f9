#include "tools/assetgen/SampleCatenary.h"

#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/RRDatabase.h"
#include "app/RREntityManager.h"
#include "app/entities/track/RRCatenary.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "tools/assetgen/Catenary.h"
#include "tools/assetgen/ModelKit.h"

namespace assetgen {

namespace {

using gx::TGXVector3;

TGXVector3 Flat(const TGXVector3& v) { return gx::GXVec3Normalize({v.x, 0, v.z}); }
// The right of a horizontal heading (left-handed, y up).
TGXVector3 RightOf(const TGXVector3& h) { return {h.z, 0, -h.x}; }

}  // namespace

void AddSampleCatenary(rr::TRREntityManager& manager, const rr::TRRDatabase& database,
                       const std::vector<rr::TRRTrack*>& line) {
  if (line.empty()) return;
  rr::TRREntityDescriptionList found(false);
  database.CollectCatalogByAsset(
      database.FindAssetIDByPath(std::string(CatenaryFolder) + "\\" + CatenaryMastName), found);
  if (found.Count() == 0)
    throw std::runtime_error(std::string("Beispielanlage: ") + CatenaryMastName + " fehlt im Katalog.");

  // The points under the anchors: the straight's start and then every piece's end.
  std::vector<TGXVector3> points{line.front()->GetRoute(0)->GetWorldPosition(0)};
  for (const rr::TRRTrack* t : line)
    points.push_back(t->GetRoute(0)->GetWorldPosition(t->GetRoute(0)->GetLength()));

  std::vector<rr::TRRCatenary*> masts;
  for (size_t i = 0; i < points.size(); ++i) {
    // +z towards the next mast (the last one looks on from the one before); the cantilever (+x)
    // reaches from the inside of the oval, on the left of the driving direction, to the anchor.
    const TGXVector3 ahead =
        i + 1 < points.size() ? Flat(points[i + 1] - points[i]) : Flat(points[i] - points[i - 1]);
    const TGXVector3 across = RightOf(ahead);
    const TGXVector3 pole = points[i] - across * CatenaryReach;
    std::unique_ptr<rr::TRREntityDescription> d = found.Item(0)->Clone();
    d->SetID(manager.NextID());
    manager.ReserveIDs(1);
    d->SetPosition(pole);
    d->SetRotation(YRotation(std::atan2(ahead.x, ahead.z)));
    d->Name().SetUserText(std::string(CatenaryMastName) + " " + std::to_string(i + 1));
    auto* mast = dynamic_cast<rr::TRRCatenary*>(manager.CreateEntity(nullptr, *d));
    if (!mast)
      throw std::runtime_error(std::string("Beispielanlage: ") + CatenaryMastName + " hat die falsche Art.");
    masts.push_back(mast);
  }
  for (size_t i = 0; i + 1 < masts.size(); ++i) masts[i]->Link(*masts[i + 1]);
}

}  // namespace assetgen
