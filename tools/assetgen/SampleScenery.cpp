#include "tools/assetgen/SampleScenery.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/RRDatabase.h"
#include "app/RREntityManager.h"
#include "app/RRProjectHost.h"
#include "app/entities/RRModel.h"
#include "app/entities/RRTrackVehicle.h"
#include "app/entities/panel/RRPanel.h"
#include "app/entities/scenery/RRBarrier.h"
#include "app/entities/scenery/RRStreet.h"
#include "app/entities/scenery/RRVegetation.h"
#include "app/entities/scenery/RRVehicleBuilding.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXGeometry.h"
#include "engine/render/GXModelReader.h"
#include "tools/assetgen/Cameras.h"
#include "tools/assetgen/EngineShed.h"
#include "tools/assetgen/LayoutScenery.h"
#include "tools/assetgen/Plants.h"
#include "tools/assetgen/SceneryCatalogue.h"
#include "tools/assetgen/Streets.h"
#include "tools/assetgen/Textures.h"

namespace assetgen {

namespace {

using gx::TGXQuaternion;
using gx::TGXVector3;

// The turn about +y that points +x along direction, and a direction flattened into the ground.
float Yaw(const TGXVector3& direction) { return std::atan2(-direction.z, direction.x); }
TGXVector3 Flat(const TGXVector3& v) { return gx::GXVec3Normalize({v.x, 0, v.z}); }
TGXVector3 RightOf(const TGXVector3& h) { return {h.z, 0, -h.x}; }

// A model's footprint in plan as placed: its triangles (rest pose) laid flat into world space.
struct TFootprint {
  std::vector<std::array<TGXVector3, 3>> Triangles;
  TBox Bounds;

  // The triangles that reach below height (above the model's origin; all by default).
  TFootprint(const gx::TGXModelData& model, const TGXVector3& at, const TGXQuaternion& turn,
             float height = 1e30f) {
    const gx::TGXMatrix placed = gx::GXMatrixTransformation({1, 1, 1}, turn, at);
    std::vector<gx::TGXMatrix> world(model.Nodes.size());
    auto add = [&](uint32_t mesh, const gx::TGXMatrix& m) {
      const gx::TGXModelMesh& data = model.Meshes.at(mesh);
      for (size_t i = 0; i + 2 < data.Indices.size(); i += 3) {
        std::array<TGXVector3, 3> t;
        float low = 1e30f;
        for (int c = 0; c < 3; ++c) {
          const TGXVector3 p =
              gx::GXVec3TransformCoord(data.Vertices.at(data.Indices[i + size_t(c)]).Position, m);
          t[size_t(c)] = {p.x, 0, p.z};
          low = std::min(low, p.y - at.y);
        }
        if (low >= height) continue;
        for (const TGXVector3& p : t) Bounds.Add(p);
        Triangles.push_back(t);
      }
    };
    for (uint32_t m : model.RootMeshes) add(m, placed);
    for (size_t i = 0; i < model.Nodes.size(); ++i) {
      const gx::TGXModelNode& n = model.Nodes[i];
      world[i] = gx::GXMatrixTransformation(n.Scale, n.Rotation, n.Position) *
                 (n.Parent >= 0 ? world[size_t(n.Parent)] : placed);
      for (uint32_t m : n.Meshes) add(m, world[i]);
    }
  }

  TFootprint() = default;
  // The rectangle x0..x1, z0..z1 of a model's space, placed.
  static TFootprint Rectangle(float x0, float z0, float x1, float z1, const TGXVector3& at,
                              const TGXQuaternion& turn) {
    TFootprint f;
    auto corner = [&](float x, float z) {
      const TGXVector3 p = at + gx::RotateVector({x, 0, z}, turn);
      f.Bounds.Add({p.x, 0, p.z});
      return TGXVector3{p.x, 0, p.z};
    };
    const TGXVector3 a = corner(x0, z0), b = corner(x1, z0), c = corner(x1, z1), d = corner(x0, z1);
    f.Triangles = {{a, b, c}, {a, c, d}};
    return f;
  }
  // A track's bed along each of its routes.
  explicit TFootprint(const rr::TRRTrack& track) {
    for (int r = 0; r < track.GetRouteCount(); ++r) {
      const rr::TRRTrackRoute& route = *track.GetRoute(r);
      const int steps = std::max(1, int(std::ceil(route.GetLength())));
      auto edge = [&](int i, float side) {
        const float d = route.GetLength() * float(i) / float(steps);
        const TGXVector3 p = route.GetWorldPosition(d), h = Flat(route.GetWorldTangent(d));
        return TGXVector3{p.x, 0, p.z} + RightOf(h) * (side * 2.5f);
      };
      for (int i = 0; i < steps; ++i) {
        const TGXVector3 a = edge(i, -1), b = edge(i, 1), c = edge(i + 1, 1), d = edge(i + 1, -1);
        Triangles.push_back({a, b, c});
        Triangles.push_back({a, c, d});
        for (const TGXVector3& p : {a, b, c, d}) Bounds.Add(p);
      }
    }
  }

  // Whether any two triangles come within margin of each other in plan (separating axes).
  bool Meets(const TFootprint& other, float margin) const {
    if (!Bounds.MeetsInPlan(other.Bounds, margin)) return false;
    auto apart = [&](const std::array<TGXVector3, 3>& a, const std::array<TGXVector3, 3>& b) {
      for (const auto* t : {&a, &b})
        for (int e = 0; e < 3; ++e) {
          const TGXVector3 edge = (*t)[size_t(e + 1) % 3] - (*t)[size_t(e)];
          const float length = std::hypot(edge.x, edge.z);
          if (length < 1e-6f) continue;
          const TGXVector3 axis{-edge.z / length, 0, edge.x / length};
          float alo = 1e30f, ahi = -1e30f, blo = 1e30f, bhi = -1e30f;
          for (const TGXVector3& p : a)
            alo = std::min(alo, gx::GXVec3Dot(p, axis)), ahi = std::max(ahi, gx::GXVec3Dot(p, axis));
          for (const TGXVector3& p : b)
            blo = std::min(blo, gx::GXVec3Dot(p, axis)), bhi = std::max(bhi, gx::GXVec3Dot(p, axis));
          if (ahi + margin < blo || bhi + margin < alo) return true;
        }
      return false;
    };
    for (const auto& a : Triangles) {
      TBox ab;
      for (const TGXVector3& p : a) ab.Add(p);
      if (!ab.MeetsInPlan(other.Bounds, margin)) continue;
      for (const auto& b : other.Triangles)
        if (!apart(a, b)) return true;
    }
    return false;
  }

  // How far a point lies from the footprint in plan (0 on it).
  float Distance(const TGXVector3& p) const {
    const float dx = std::max({Bounds.Min.x - p.x, 0.0f, p.x - Bounds.Max.x});
    const float dz = std::max({Bounds.Min.z - p.z, 0.0f, p.z - Bounds.Max.z});
    float best = std::sqrt(dx * dx + dz * dz);
    if (best > 20) return best;
    best = 1e30f;
    for (const auto& t : Triangles) {
      float inside = 0;
      for (int e = 0; e < 3; ++e) {
        const TGXVector3 a = t[size_t(e)], b = t[size_t(e + 1) % 3];
        const TGXVector3 ab = b - a, ap = TGXVector3{p.x, 0, p.z} - a;
        const float len = gx::GXVec3Dot(ab, ab);
        const float k = len > 0 ? std::clamp(gx::GXVec3Dot(ap, ab) / len, 0.0f, 1.0f) : 0.0f;
        best = std::min(best, gx::GXVec3Length(ap - ab * k));
        const float side = ab.x * ap.z - ab.z * ap.x;
        inside += side > 0 ? 1.0f : side < 0 ? -1.0f : 0.0f;
      }
      if (std::fabs(inside) == 3) return 0;
    }
    return best;
  }
};

// A free road end in world space: its middle and the way out of the road.
struct TEnd {
  TGXVector3 At, Forward;
};

class TScenery {
 public:
  TScenery(rr::TRREntityManager& manager, const rr::TRRDatabase& database)
      : FManager(manager), FDatabase(database) {
    for (TSceneryItem& m : StreetModels())
      FModels.emplace(SceneryCataloguePath(m.Folder, m.Name), std::move(m));
    for (TSceneryItem& m : PlantModels())
      FModels.emplace(SceneryCataloguePath(m.Folder, m.Name), std::move(m));
    TSceneryItem barrier = BarrierModel();
    FModels.emplace(SceneryCataloguePath(barrier.Folder, barrier.Name), std::move(barrier));
  }

  const gx::TGXModelData& Model(const std::string& path) const { return FModels.at(path).Model; }

  void Refresh() {
    if (auto* node = dynamic_cast<gx::TGXSceneNode*>(FManager.Project().ProjectNode())) node->Update(false);
  }

  // A clone of the catalogue entry at path with a fresh identifier, placed and made.
  template <class T>
  T* Make(const std::string& path, const TGXVector3& at, const TGXQuaternion& turn,
          const std::function<void(rr::TRREntityDescription&)>& tweak = {}) {
    rr::TRREntityDescriptionList found(false);
    FDatabase.CollectCatalogByAsset(FDatabase.FindAssetIDByPath(path), found);
    if (found.Count() == 0) throw std::runtime_error("Beispielanlage: " + path + " fehlt im Katalog.");
    std::unique_ptr<rr::TRREntityDescription> d = found.Item(0)->Clone();
    d->SetID(FManager.NextID());
    FManager.ReserveIDs(1);
    d->SetPosition(at);
    d->SetRotation(turn);
    if (tweak) tweak(*d);
    auto* e = dynamic_cast<T*>(FManager.CreateEntity(nullptr, *d));
    if (!e) throw std::runtime_error("Beispielanlage: " + path + " hat die falsche Art.");
    Refresh();
    return e;
  }

  // The footprint of a model entity, from its model file (each file read once).
  TFootprint ModelFootprint(const rr::TRRModel& m) {
    // The generator draws nothing, so the model's file is known from its description only.
    const std::unique_ptr<rr::TRREntityDescription> d = m.CreateDescription();
    const auto* md = dynamic_cast<const rr::TRRModelDesc*>(d.get());
    const std::string file = md ? md->ModelFile().Model.EffectiveFileName() : std::string();
    if (file.empty()) return TFootprint();
    auto it = FFiles.find(file);
    if (it == FFiles.end()) {
      std::unique_ptr<gx::TGXMemoryStream> s = FDatabase.FileSystem().OpenFile(file);
      it = FFiles.emplace(file, gx::GXReadModel(s->Data().data(), s->Data().size())).first;
    }
    return TFootprint(it->second, m.Position(), m.Rotation());
  }

  // ---- streets ----

  TEnd EndOf(const rr::TRRStreet& s, size_t i) const {
    const rr::TRRStreetContact& c = s.Contacts().at(i);
    return {s.ContactWorldPosition(c), Flat(gx::RotateVector(c.Forward, s.WorldRotation()))};
  }

  // The turn and position that put the street's road end own onto the free end `to`.
  std::pair<TGXQuaternion, TGXVector3> Fit(const std::string& name, size_t own, const TEnd& to) const {
    const TRoadEnd& end = FModels.at(SceneryCataloguePath(StreetFolder, name)).Ends.at(own);
    const TGXQuaternion turn = YRotation(Yaw(to.Forward * -1.0f) - end.Angle);
    return {turn, to.At - gx::RotateVector(end.Position, turn)};
  }
  // Where the street's road end other would lie if own met `to`.
  TGXVector3 Reach(const std::string& name, size_t own, const TEnd& to, size_t other) const {
    const auto [turn, at] = Fit(name, own, to);
    return at + gx::RotateVector(FModels.at(SceneryCataloguePath(StreetFolder, name)).Ends.at(other).Position,
                                 turn);
  }

  // The street at path whose road end own meets the free end `to`: turned and moved there by its
  // catalogue contacts, then put exactly by the street's own snapping.
  rr::TRRStreet* Join(const std::string& name, size_t own, const TEnd& to) {
    const std::string path = SceneryCataloguePath(StreetFolder, name);
    const auto [turn, at] = Fit(name, own, to);
    rr::TRRStreet* s = Make<rr::TRRStreet>(path, at, turn);
    bool snapped = false;
    TGXVector3 p = s->Position();
    TGXQuaternion q = s->Rotation();
    if (!s->Snap(snapped, p, q) || !snapped)
      throw std::runtime_error("Beispielanlage: " + name + " schließt nicht an.");
    s->SetPosition(p);
    s->SetRotation(q);
    Refresh();
    FRoads.push_back({name, TFootprint(Model(path), p, q)});
    return s;
  }
  void AddRoad(const std::string& name, const TFootprint& f) { FRoads.push_back({name, f}); }
  const std::vector<std::pair<std::string, TFootprint>>& Roads() const { return FRoads; }

 private:
  rr::TRREntityManager& FManager;
  const rr::TRRDatabase& FDatabase;
  std::map<std::string, TSceneryItem> FModels;
  std::map<std::string, gx::TGXModelData> FFiles;
  std::vector<std::pair<std::string, TFootprint>> FRoads;
};

rr::TRRPanel* Baseboard(rr::TRREntityManager& manager) {
  for (int i = 0; i < manager.EntitySlotCount(); ++i)
    if (auto* p = dynamic_cast<rr::TRRPanel*>(manager.EntitySlot(i))) return p;
  return nullptr;
}

// Whether the board shows water at a point (the hollow beside the oval).
bool Water(const rr::TRRPanel& board, const TGXVector3& at) {
  std::vector<uint32_t> layers;
  board.GetTextureLayers(at.x - board.Position().x, at.z - board.Position().z, layers);
  for (uint32_t layer : layers) {
    const int texture = int(layer >> 16);
    if (texture < board.TextureCount() && (layer & 0xFFFF) > 60 &&
        board.TextureEntry(texture).FileName.FileName.find("Wasser") != std::string::npos)
      return true;
  }
  return false;
}

// Where the program puts the bays of an engine shed in the building's space: bay 0 unturned at
// the origin, each further one turned by the bend angle against the one before with its back
// doorway corner on the previous bay's front corner (RRVehicleBuilding.h).
std::vector<std::pair<TGXVector3, TGXQuaternion>> ShedLayout(int count, float bend) {
  const TGXVector3 back{ShedDoorX, 0, -ShedWallZ}, front{ShedDoorX, 0, ShedWallZ};
  std::vector<std::pair<TGXVector3, TGXQuaternion>> bays{{{0, 0, 0}, {0, 0, 0, 1}}};
  for (int i = 1; i < count; ++i) {
    const TGXQuaternion turn = YRotation(-float(i) * bend);
    const TGXVector3 corner = bays.back().first + gx::RotateVector(front, bays.back().second);
    bays.push_back({corner - gx::RotateVector(back, turn), turn});
  }
  return bays;
}

// Levels the board under the footprints to its top: flat up to a grid step round them (so no
// slope between grid points reaches under them), blending into the ground over the next step.
void Level(rr::TRRPanel& panel, const std::vector<TFootprint>& areas) {
  const TGXVector3 origin = panel.Position();
  const float step = float(panel.Params().QuadWidth);
  panel.ForEachGridPoint([&](int64_t x, int64_t y) {
    const TGXVector3 p{origin.x + float(x) * step, 0, origin.z - float(y) * step};
    float nearest = 1e30f;
    for (const TFootprint& f : areas) nearest = std::min(nearest, f.Distance(p));
    const float t = std::clamp((nearest - step) / step, 0.0f, 1.0f);
    if (t < 1) panel.SetHeight(x, y, panel.GetHeight(x, y) * t * t * (3 - 2 * t));
  });
  panel.UpdateBounds();
  panel.FinishEdit();
}

}  // namespace

void AddSampleScenery(rr::TRREntityManager& manager, const rr::TRRDatabase& database,
                      const std::vector<rr::TRRTrack*>& tracks, const rr::TRRTrack& station,
                      const rr::TRRTrack& siding) {
  TScenery scenery(manager, database);
  scenery.Refresh();

  // What is there already: the tracks and every model that stays put (buildings, signals, desks,
  // pond, tank; not the train).
  std::vector<std::pair<const rr::TRRTrack*, TFootprint>> trackBoxes;
  for (const rr::TRRTrack* t : tracks) trackBoxes.push_back({t, TFootprint(*t)});
  std::vector<std::pair<std::string, TFootprint>> objects;
  for (int i = 0; i < manager.EntitySlotCount(); ++i)
    if (auto* m = dynamic_cast<rr::TRRModel*>(manager.EntitySlot(i));
        m && m != manager.Light() && !dynamic_cast<rr::TRRTrackVehicle*>(m))
      objects.push_back({m->Name(), scenery.ModelFootprint(*m)});

  // ---- the road over the level crossing ----
  const rr::TRRTrackRoute& line = *station.GetRoute(0);
  const TGXVector3 heading = Flat(line.GetWorldTangent(SampleCrossingAt));
  const TGXVector3 outside = RightOf(heading);  // where the station stands
  const TGXVector3 centre = line.GetWorldPosition(SampleCrossingAt);
  const TGXQuaternion across = YRotation(Yaw(heading));
  auto* plate =
      scenery.Make<rr::TRRStreet>(SceneryCataloguePath(StreetFolder, LevelCrossingName), centre, across);
  scenery.AddRoad(
      LevelCrossingName,
      TFootprint(scenery.Model(SceneryCataloguePath(StreetFolder, LevelCrossingName)), centre, across));
  const size_t out = gx::GXVec3Dot(scenery.EndOf(*plate, 0).Forward, outside) > 0 ? 0 : 1;
  // Outside: two straights to a crossing with side roads either way and the road going on.
  TEnd end = scenery.EndOf(*scenery.Join("Straße gerade", 0, scenery.EndOf(*plate, out)), 1);
  end = scenery.EndOf(*scenery.Join("Straße gerade", 0, end), 1);
  rr::TRRStreet* crossing = scenery.Join("Kreuzung", 1, end);
  for (size_t arm : {size_t(0), size_t(2), size_t(3)})
    scenery.Join("Straße gerade", 0, scenery.EndOf(*crossing, arm));
  // Inside: a curve bending the way the track runs, then a straight into the village.
  const TEnd in = scenery.EndOf(*plate, 1 - out);
  const size_t from = gx::GXVec3Dot(scenery.Reach("Straßenkurve", 0, in, 1) - in.At, heading) > 0 ? 0 : 1;
  rr::TRRStreet* curve = scenery.Join("Straßenkurve", from, in);
  scenery.Join("Straße gerade", 0, scenery.EndOf(*curve, 1 - from));

  // Nothing of the road meets a building, a signal or a track (the plate's own track aside).
  for (const auto& [name, road] : scenery.Roads()) {
    for (const auto& [object, b] : objects)
      if (road.Meets(b, 0.3f))
        throw std::runtime_error("Beispielanlage: " + name + " trifft " + object + ".");
    for (const auto& [track, b] : trackBoxes)
      if (name != LevelCrossingName && road.Meets(b, 0.3f))
        throw std::runtime_error("Beispielanlage: " + name + " trifft " + track->Name() + ".");
  }

  // ---- the barrier ----
  // Made on the plate's middle, put onto the track by its own snapping, which stands it on the
  // ground the track lies on.
  {
    auto* barrier =
        scenery.Make<rr::TRRBarrier>(SceneryCataloguePath(StreetFolder, BarrierName), centre, across);
    bool snapped = false;
    TGXVector3 p = barrier->Position();
    TGXQuaternion q = barrier->Rotation();
    if (!barrier->Snap(snapped, p, q) || !snapped)
      throw std::runtime_error("Beispielanlage: die Schranke findet kein Gleis.");
    barrier->SetPosition(p);
    barrier->SetRotation(q);
    scenery.Refresh();
    objects.push_back({BarrierName, TFootprint(scenery.Model(SceneryCataloguePath(StreetFolder, BarrierName)),
                                               barrier->Position(), q)});
  }

  // ---- the engine shed ----
  // One bay takes the siding: its doorway on the siding, its track along it to the siding's end;
  // the others fan out from there. Three bays where they fit, else two; the first bay on the
  // siding (the fan opening away from the goods shed) before the others. The doorway lies as
  // early on the siding as the bays, with room before the other bays' doors, keep clear of
  // tracks, buildings and roads.
  const TSceneryItem bayModel = ShedBayModel();
  const rr::TRRTrackRoute& spur = *siding.GetRoute(0);
  const TGXVector3 spurEnd = spur.GetWorldPosition(spur.GetLength());
  const float bend = rr::RRDefaultBendAngle;
  std::vector<TFootprint> bays;
  TGXVector3 shedAt;
  TGXQuaternion shedTurn;
  // Whether the shed of count bays with bay aligned on the siding, its doorway at door along it,
  // keeps clear; it is then where shedAt, shedTurn and bays say.
  auto fits = [&](int count, int aligned, float door) {
    const std::vector<std::pair<TGXVector3, TGXQuaternion>> layout = ShedLayout(count, bend);
    const TGXVector3 doorway = spur.GetWorldPosition(door);
    const TGXVector3 axis = Flat(spurEnd - doorway);
    shedTurn = YRotation(Yaw(axis) + float(aligned) * bend);
    shedAt = doorway - axis * ShedDoorX - gx::RotateVector(layout[size_t(aligned)].first, shedTurn);
    bays.clear();
    std::vector<TFootprint> taken;
    for (int i = 0; i < count; ++i) {
      const TGXVector3 at = shedAt + gx::RotateVector(layout[size_t(i)].first, shedTurn);
      const TGXQuaternion q = gx::GXQuaternionMultiply(layout[size_t(i)].second, shedTurn);
      bays.push_back(TFootprint(bayModel.Model, at, q));
      taken.push_back(bays.back());
      if (i != aligned)
        taken.push_back(TFootprint::Rectangle(ShedDoorX - SampleShedApron, -3, ShedDoorX, 3, at, q));
    }
    // Some room round it, so it does not crowd the oval or the windmill.
    for (const TFootprint& b : taken) {
      for (const auto& [track, t] : trackBoxes)
        if (track != &siding && track->Type() != rr::TRRTrackType::BufferStop && b.Meets(t, 2.0f))
          return false;
      for (const auto& [object, o] : objects)
        if (b.Meets(o, 2.0f)) return false;
      for (const auto& [road, r] : scenery.Roads())
        if (b.Meets(r, 0.5f)) return false;
    }
    return true;
  };
  int bayCount = 0, aligned = 0;
  for (int count = ShedBayCount; count >= 2 && !bayCount; --count)
    for (int bay = 0; bay < count; ++bay)
      for (float door = SampleShedDoorAt; door < spur.GetLength() - 4 && !bayCount; door += 0.5f)
        if (fits(count, bay, door)) bayCount = count, aligned = bay;
  if (!bayCount) throw std::runtime_error("Beispielanlage: kein Platz für den Lokschuppen.");
  auto* shed = scenery.Make<rr::TRRVehicleBuilding>(
      SceneryCataloguePath(ShedFolder, ShedName), shedAt, shedTurn,
      [&](rr::TRREntityDescription& d) { static_cast<rr::TRRVehicleBuildingDesc&>(d).BayCount = bayCount; });
  // The building lays its bays out as assumed here.
  const TGXVector3 expected =
      shedAt + gx::RotateVector(ShedLayout(bayCount, bend)[size_t(aligned)].first, shedTurn);
  if (shed->BayCount() != bayCount ||
      gx::GXVec3Length(shed->Bay(aligned)->WorldPosition() - expected) > 1e-3f)
    throw std::runtime_error("Beispielanlage: der Lokschuppen legt seine Stände anders.");

  // The ground levelled under the roads and the shed.
  std::vector<TFootprint> level = bays;
  for (const auto& [road, f] : scenery.Roads()) level.push_back(f);
  rr::TRRPanel* board = Baseboard(manager);
  if (board) Level(*board, level);

  // ---- plants ----
  // Each plant stands where its footprint keeps clear of the tracks' beds, the roads, the
  // buildings, the shed and the plants before it, on the ground as the board lies there; a spot
  // without room is left out.
  std::vector<TFootprint> planted;
  const TGXVector3 boardAt = board ? board->Position() : TGXVector3{};
  int count = 0;
  auto plant = [&](const std::string& name, const TGXVector3& spot, float yaw) {
    const std::string path = SceneryCataloguePath(PlantFolder, name);
    const TGXQuaternion turn = YRotation(yaw);
    const TGXVector3 at{spot.x, board ? board->HeightAt(spot.x - boardAt.x, spot.z - boardAt.z) : 0.0f,
                        spot.z};
    // Meadow only: not on the rocks, not in the water.
    if (board && (at.y > 12 || Water(*board, spot))) return false;
    // A tree's crown may reach over a road or another plant, never over a track or a roof.
    const TFootprint f(scenery.Model(path), at, turn), foot(scenery.Model(path), at, turn, 2.0f);
    for (const auto& [track, t] : trackBoxes)
      if (f.Meets(t, 1.0f)) return false;
    for (const auto& [road, r] : scenery.Roads())
      if (foot.Meets(r, 0.6f)) return false;
    for (const auto& [object, o] : objects)
      if (f.Meets(o, 0.6f)) return false;
    for (const TFootprint& b : bays)
      if (f.Meets(b, 0.6f)) return false;
    for (const TFootprint& other : planted)
      if (foot.Meets(other, 0.8f)) return false;
    planted.push_back(foot);
    // Sizes drawn here, so the file is the same on every run.
    const float size = 1.0f + rr::RRVegetationScaleSpread * Random(uint32_t(++count), 9, 61);
    scenery.Make<rr::TRRVegetation>(path, at, turn, [&](rr::TRREntityDescription& d) {
      static_cast<rr::TRRVegetationDesc&>(d).ScaleSeed = size;
    });
    return true;
  };
  const char* kinds[] = {"Laubbaum", "Nadelbaum", "Busch", "Ginsterbusch"};
  auto jitter = [](uint32_t i, uint32_t j) { return Random(i, j, 62) - 0.5f; };
  // An avenue along the road east of the level crossing, on both sides (the plate's road end lies
  // 6 from the track, the junction's middle 56).
  for (int i = 0; i < 9; ++i)
    for (float side : {-1.0f, 1.0f})
      plant("Laubbaum", centre + outside * (10.0f + 4.5f * float(i)) + heading * (side * 7.5f),
            6.283f * Random(uint32_t(i), side > 0 ? 1 : 2, 63));
  // A hedge along the road that leads north from the junction, on its far side.
  for (int i = 0; i < 2; ++i)
    plant("Hecke", centre + outside * 62.0f + heading * (20.0f + 10.0f * float(i)), Yaw(heading));
  // Bushes round the church and the pond.
  for (const auto& [name, f] : objects) {
    if (name != "Dorfkirche" && name != "Teich") continue;
    const TGXVector3 middle = (f.Bounds.Min + f.Bounds.Max) * 0.5f;
    for (int i = 0; i < 10; ++i) {
      const float a = 0.628f * float(i) + 0.3f * jitter(uint32_t(i), 8);
      plant(i % 3 ? "Busch" : "Ginsterbusch", middle + TGXVector3{std::sin(a), 0, std::cos(a)} * 13.0f, a);
    }
  }
  // Firs at the foot of the hill, and trees and bushes scattered round the layout.
  for (int i = 0; i < 9; ++i)
    plant("Nadelbaum",
          {-88.0f + 9.0f * float(i % 3) + 4 * jitter(uint32_t(i), 1), 0,
           66.0f + 8.0f * float(i / 3) + 4 * jitter(uint32_t(i), 2)},
          6.283f * Random(uint32_t(i), 3, 64));
  for (int i = 0; i < 60; ++i) {
    const float x = -110.0f + 185.0f * Random(uint32_t(i), 4, 65),
                z = -95.0f + 190.0f * Random(uint32_t(i), 5, 65);
    plant(kinds[Hash(uint32_t(i), 6, 65) % 4], {x, 0, z}, 6.283f * Random(uint32_t(i), 7, 65));
  }
}

void AddSampleSceneryCameras(rr::TRREntityManager& manager, const rr::TRRDatabase& database) {
  rr::TRRBarrier* barrier = nullptr;
  rr::TRRVehicleBuilding* shed = nullptr;
  for (int i = 0; i < manager.EntitySlotCount(); ++i) {
    if (auto* b = dynamic_cast<rr::TRRBarrier*>(manager.EntitySlot(i))) barrier = b;
    if (auto* v = dynamic_cast<rr::TRRVehicleBuilding*>(manager.EntitySlot(i))) shed = v;
  }
  if (!barrier || !shed) throw std::runtime_error("Beispielanlage: Schranke oder Lokschuppen fehlt.");
  // Beside the road a little way off, the booms and the warning crosses against the plate.
  const TGXVector3 at = barrier->WorldPosition();
  const TGXVector3 along = gx::RotateVector({1, 0, 0}, barrier->WorldRotation());
  const TGXVector3 across = gx::RotateVector({0, 0, 1}, barrier->WorldRotation());
  AddPlacedCamera(manager, database, SampleCrossingCameraName, at + along * 10.0f - across * 22.0f + TGXVector3(0, 8, 0),
                  at + TGXVector3(0, 2, 0));
  // Before the first bay's doorway, looking in along its track.
  const rr::TRRVehicleSubBuilding* bay = shed->Bay(0);
  const gx::TGXMatrix& m = bay->WorldMatrix();
  const TGXVector3 door = gx::GXVec3TransformCoord({-12.49f, 0, 0}, m);
  const TGXVector3 in = gx::GXVec3Normalize(gx::GXVec3TransformNormal({1, 0, 0}, m));
  const TGXVector3 side = gx::GXVec3Normalize(gx::GXVec3TransformNormal({0, 0, 1}, m));
  AddPlacedCamera(manager, database, SampleShedCameraName, door - in * 30.0f + side * 12.0f + TGXVector3(0, 12, 0),
                  door + in * 6.0f + TGXVector3(0, 3, 0));
}

}  // namespace assetgen
