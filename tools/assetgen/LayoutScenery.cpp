#include "tools/assetgen/LayoutScenery.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>

#include "app/RRDatabase.h"
#include "app/RREntityManager.h"
#include "app/entities/RRModel.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "tools/assetgen/Buildings.h"
#include "tools/assetgen/ModelKit.h"
#include "tools/assetgen/SampleScenery.h"

namespace assetgen {

void TBox::Add(const gx::TGXVector3& p) {
  Min = gx::GXVec3Minimize(Min, p);
  Max = gx::GXVec3Maximize(Max, p);
}

bool TBox::MeetsInPlan(const TBox& other, float margin) const {
  if (Empty() || other.Empty()) return false;
  return Min.x < other.Max.x + margin && other.Min.x < Max.x + margin && Min.z < other.Max.z + margin &&
         other.Min.z < Max.z + margin;
}

TBox PlacedModelBox(const gx::TGXModelData& model, const gx::TGXVector3& position,
                    const gx::TGXQuaternion& rotation) {
  const gx::TGXMatrix placed = gx::GXMatrixTransformation({1, 1, 1}, rotation, position);
  auto animated = [&](const std::string& name) {
    if (!model.HasAnimation) return false;
    return std::any_of(model.Animation.Tracks.begin(), model.Animation.Tracks.end(),
                       [&](const gx::TGXModelTrack& t) { return t.Name == name; });
  };
  TBox box;
  std::vector<gx::TGXMatrix> world(model.Nodes.size());
  std::vector<bool> turns(model.Nodes.size(), false);
  for (uint32_t m : model.RootMeshes)
    for (const gx::TGXModelVertex& v : model.Meshes.at(m).Vertices)
      box.Add(gx::GXVec3TransformCoord(v.Position, placed));
  for (size_t i = 0; i < model.Nodes.size(); ++i) {
    const gx::TGXModelNode& n = model.Nodes[i];
    const gx::TGXMatrix local = gx::GXMatrixTransformation(n.Scale, n.Rotation, n.Position);
    world[i] = local * (n.Parent >= 0 ? world[size_t(n.Parent)] : placed);
    turns[i] = animated(n.Name) || (n.Parent >= 0 && turns[size_t(n.Parent)]);
    for (uint32_t m : n.Meshes) {
      const gx::TGXModelMesh& mesh = model.Meshes.at(m);
      if (!turns[i]) {
        for (const gx::TGXModelVertex& v : mesh.Vertices)
          box.Add(gx::GXVec3TransformCoord(v.Position, world[i]));
        continue;
      }
      // Whatever way it turns, it stays within this sphere round its node.
      float radius = 0;
      for (const gx::TGXModelVertex& v : mesh.Vertices)
        radius = std::max(radius, gx::GXVec3Length(gx::GXVec3TransformCoord(v.Position, world[i]) -
                                                   gx::GXVec3TransformCoord({0, 0, 0}, world[i])));
      const gx::TGXVector3 c = gx::GXVec3TransformCoord({0, 0, 0}, world[i]);
      box.Add(c - gx::TGXVector3{radius, radius, radius});
      box.Add(c + gx::TGXVector3{radius, radius, radius});
    }
  }
  return box;
}

TBox TrackBox(const rr::TRRTrack& track) {
  TBox box;
  for (int r = 0; r < track.GetRouteCount(); ++r) {
    const gx::TGXBoundingBox& b = track.GetRoute(r)->Bounds();
    if (b.Empty) continue;
    for (const gx::TGXVector3& c : b.Corners()) box.Add(gx::GXVec3TransformCoord(c, track.WorldMatrix()));
  }
  return box;
}

gx::TGXVector3 PlaceClear(const gx::TGXModelData& model, gx::TGXVector3 start,
                          const gx::TGXVector3& direction, const gx::TGXQuaternion& rotation,
                          const std::vector<TBox>& tracks, float margin) {
  // The model's own box carried along: a little wider than its vertices' box when turned, never
  // narrower, and far cheaper than carrying every vertex at every step.
  const TBox local = PlacedModelBox(model, {0, 0, 0}, {0, 0, 0, 1});
  const gx::TGXMatrix turn = gx::GXMatrixRotationQuaternion(rotation);
  TBox turned;
  for (int i = 0; i < 8; ++i)
    turned.Add(gx::GXVec3TransformCoord({i & 1 ? local.Max.x : local.Min.x, i & 2 ? local.Max.y : local.Min.y,
                                         i & 4 ? local.Max.z : local.Min.z},
                                        turn));
  for (int step = 0; step <= 1000; ++step) {
    const gx::TGXVector3 p = start + direction * (0.1f * float(step));
    TBox box;
    box.Add(turned.Min + p);
    box.Add(turned.Max + p);
    if (std::none_of(tracks.begin(), tracks.end(), [&](const TBox& t) { return box.MeetsInPlan(t, margin); }))
      return p;
  }
  throw std::runtime_error("Beispielanlage: kein freier Platz für ein Gebäude.");
}

}  // namespace assetgen

namespace assetgen {

namespace {

// The horizontal heading of a track's route 0 at distance d, and the right of it.
gx::TGXVector3 Heading(const rr::TRRTrack& track, float d) {
  const gx::TGXVector3 t = track.GetRoute(0)->GetWorldTangent(d);
  return gx::GXVec3Normalize({t.x, 0, t.z});
}
gx::TGXVector3 RightOf(const gx::TGXVector3& h) { return {h.z, 0, -h.x}; }

// The turn about y that points the model's +z along direction.
gx::TGXQuaternion FacingPlusZ(const gx::TGXVector3& direction) {
  return YRotation(std::atan2(direction.x, direction.z));
}

}  // namespace

void AddSampleBuildings(rr::TRREntityManager& manager, const rr::TRRDatabase& database,
                        const std::vector<rr::TRRTrack*>& tracks, const rr::TRRTrack& station,
                        const rr::TRRTrack& siding) {
  std::vector<TBox> trackBoxes;
  for (const rr::TRRTrack* t : tracks) trackBoxes.push_back(TrackBox(*t));
  const std::vector<TBuildingModel> buildings = BuildingModels();
  auto model = [&](const std::string& name) -> const TBuildingModel& {
    for (const TBuildingModel& b : buildings)
      if (b.Name == name) return b;
    throw std::runtime_error("Beispielanlage: Gebäude " + name + " fehlt.");
  };

  struct TPlaced {
    std::string Name;
    gx::TGXVector3 Position;
    gx::TGXQuaternion Rotation;
  };
  std::vector<TPlaced> placed;
  // Beside a track: centred on the middle of its route 0 (or slid along it, so that its extent
  // along the route stays within first..last), track side (+z) towards the track, moved out to its
  // right. Returns how far it was slid.
  auto beside = [&](const std::string& name, const rr::TRRTrack& track, float first = -1e30f,
                    float last = 1e30f) {
    const gx::TGXModelData& m = model(name).Model;
    const float d = track.GetRoute(0)->GetLength() / 2;
    const gx::TGXVector3 h = Heading(track, d), right = RightOf(h);
    const gx::TGXQuaternion q = FacingPlusZ(right * -1.0f);
    // The model's own x runs along the track; centre its extent on the anchor.
    const TBox local = PlacedModelBox(m, {0, 0, 0}, {0, 0, 0, 1});
    const gx::TGXVector3 along = gx::GXVec3TransformCoord({1, 0, 0}, gx::GXMatrixRotationQuaternion(q));
    const float half = (local.Max.x - local.Min.x) / 2;
    const float slide = std::max(std::min(0.0f, last - d - half), first - d + half);
    const gx::TGXVector3 centre =
        track.GetRoute(0)->GetWorldPosition(d) + h * slide - along * ((local.Min.x + local.Max.x) / 2);
    // Slid further by up to six units (away from a limit) where that lets it stand closer (the
    // boxes of the neighbouring curves reach out further than their beds).
    gx::TGXVector3 best;
    float bestOut = 1e30f;
    for (int i = 0; i <= 24; ++i) {
      const float away = slide > 0 ? 1.0f : slide < 0 ? -1.0f : (i % 2 ? 1.0f : -1.0f);
      const float shift = float((i + 1) / 2) * 0.5f * away;
      if (d + slide + shift - half < first - 1e-3f || d + slide + shift + half > last + 1e-3f) continue;
      const gx::TGXVector3 start = centre + h * shift;
      const gx::TGXVector3 p = PlaceClear(m, {start.x, 0, start.z}, right, q, trackBoxes, 0.3f);
      const float out = gx::GXVec3Dot(p - start, right);
      if (out < bestOut - 1e-3f) bestOut = out, best = p;
    }
    if (bestOut > 1e29f) throw std::runtime_error("Beispielanlage: kein Platz für " + name + ".");
    placed.push_back({name, best, q});
    return slide;
  };
  // Free-standing: at a spot, its front (-z) towards a point, moved along direction if needed.
  auto at = [&](const std::string& name, const gx::TGXVector3& spot, const gx::TGXVector3& faces,
                const gx::TGXVector3& direction) {
    const gx::TGXQuaternion q = FacingPlusZ(spot - faces);
    placed.push_back({name, PlaceClear(model(name).Model, spot, direction, q, trackBoxes, 1.0f), q});
  };
  // The station leaves the straight's first part to the level crossing; the old engine shed
  // keeps its place by the straight.
  const float slide = beside("Landbahnhof", station, SampleCrossingClear);
  beside("Güterschuppen", siding, -1e30f, SampleShedDoorAt);
  const gx::TGXVector3 stationAt =
      placed[0].Position - Heading(station, station.GetRoute(0)->GetLength() / 2) * slide;
  at("Lokschuppen", stationAt + gx::TGXVector3{4, 0, -31}, stationAt + gx::TGXVector3{4, 0, 0}, {1, 0, 0});
  at("Wasserturm", placed[0].Position + gx::TGXVector3{2, 0, 25}, placed[0].Position, {1, 0, 0});
  const gx::TGXVector3 village{-36, 0, 6};
  at("Dorfkirche", village, village + gx::TGXVector3{0, 0, -10}, {0, 0, 1});
  at("Einfamilienhaus", {-20, 0, 33}, village, {0, 0, -1});
  at("Stadthaus", {-52, 0, 31}, village, {0, 0, -1});
  at("Windmühle", {-36, 0, -62}, village, {0, 0, -1});

  for (size_t i = 0; i < placed.size(); ++i)
    for (size_t j = i + 1; j < placed.size(); ++j)
      if (PlacedModelBox(model(placed[i].Name).Model, placed[i].Position, placed[i].Rotation)
              .MeetsInPlan(
                  PlacedModelBox(model(placed[j].Name).Model, placed[j].Position, placed[j].Rotation)))
        throw std::runtime_error("Beispielanlage: " + placed[i].Name + " und " + placed[j].Name +
                                 " überlappen.");

  rr::TRREntityDescriptionList found(false);
  database.CollectCatalogByClass(rr::TRRModelDesc::StaticClass(), found);
  for (const TPlaced& p : placed) {
    const rr::TRREntityDescription* entry = nullptr;
    const std::string path = "Gebäude\\" + model(p.Name).Folder + "\\" + p.Name;
    for (const rr::TRREntityDescription* d : found)
      if (d->CataloguePath() == path) entry = d;
    if (!entry) throw std::runtime_error("Beispielanlage: " + p.Name + " fehlt im Katalog.");
    std::unique_ptr<rr::TRREntityDescription> d = entry->Clone();
    d->SetID(manager.NextID());
    manager.ReserveIDs(1);
    d->SetPosition(p.Position);
    d->SetRotation(p.Rotation);
    manager.CreateEntity(nullptr, *d);
  }
}

}  // namespace assetgen
