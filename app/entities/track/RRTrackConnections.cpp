#include "app/entities/track/RRTrackConnections.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "app/RREntityManager.h"
#include "app/RREntitySelection.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/core/GXGeometry.h"

namespace rr {

namespace {

constexpr float kCellSize = 1.0f;
const gx::TGXVector3 kGreen{0, 1, 0};
const gx::TGXVector3 kRed{1, 0, 0};

TRRTrack* AsTrack(TRREntity* e) {
  if (!e || e->EntityDestroying() || !e->Is<TRRTrack>()) return nullptr;
  return static_cast<TRRTrack*>(e);
}

// The first enabled contact of the route (start, then end) within tolerance of p, on a route of
// the same scale.
TRRTrackRouteContact* MatchRoute(TRRTrackRoute* route, const gx::TGXVector3& p, float toleranceSq,
                                 float scale) {
  if (!route || std::fabs(route->Scale() - scale) > 0.001f) return nullptr;
  for (int i = 0; i < 2; ++i) {
    TRRTrackRouteContact* c = route->Contact(i);
    if (c->Enabled() && gx::DistanceSquared(c->GetWorldPosition(), p) < toleranceSq) return c;
  }
  return nullptr;
}

// A switchable track answers from its active route first; a contact of another of its routes
// is found blocked.
TRRTrackRouteContact* SearchTrack(TRRTrack* u, const gx::TGXVector3& p, float toleranceSq, float scale,
                                  bool& blocked) {
  if (u->IsSwitchable()) {
    const int active = u->ActiveRoute();
    if (TRRTrackRouteContact* c = MatchRoute(u->GetRoute(active), p, toleranceSq, scale)) return c;
    for (int i = 0; i < u->GetRouteCount(); ++i) {
      if (i == active) continue;
      if (TRRTrackRouteContact* c = MatchRoute(u->GetRoute(i), p, toleranceSq, scale)) {
        blocked = true;
        return c;
      }
    }
    return nullptr;
  }
  for (int i = 0; i < u->GetRouteCount(); ++i)
    if (TRRTrackRouteContact* c = MatchRoute(u->GetRoute(i), p, toleranceSq, scale)) return c;
  return nullptr;
}

}  // namespace

// ---- partner search ----

namespace {
uint64_t GLayoutGeneration = 1;
uint64_t GSwitchGeneration = 1;
}  // namespace

uint64_t RRTrackLayoutGeneration() { return GLayoutGeneration; }
void RRTrackLayoutChanged() { ++GLayoutGeneration; }
uint64_t RRTrackSwitchGeneration() { return GSwitchGeneration; }
void RRTrackSwitchThrown() { ++GSwitchGeneration; }

namespace {

// The index of one track list for the scans of contacts that found no partner on the track they
// remember. After a change of the layout every open end of it scans the whole list once; from
// the second scan in the same generation on, an index over the list answers instead (with the
// scan's answers). It stands while the generation, the list and its count and last entry do: a
// track that moves, changes shape, comes or goes moves the generation on.
struct TLoneSearch {
  const TRREntityList* List = nullptr;
  uint64_t Generation = 0;
  int Count = -1;
  const TRREntity* Last = nullptr;
  int Scans = 0;
  std::unique_ptr<TRRContactIndex> Index;
};

const TRRContactIndex* LayoutContactIndex(const TRREntityList& tracks) {
  static TLoneSearch search;
  const TRREntity* last = tracks.Empty() ? nullptr : tracks.Item(tracks.Count() - 1);
  if (search.List != &tracks || search.Generation != GLayoutGeneration || search.Count != tracks.Count() ||
      search.Last != last) {
    search.List = &tracks;
    search.Generation = GLayoutGeneration;
    search.Count = tracks.Count();
    search.Last = last;
    search.Scans = 0;
    search.Index.reset();
  }
  // The first scan of a generation runs over the list: a single open end (a piece being dragged
  // changes the generation every frame) costs no more than before.
  if (++search.Scans < 2) return nullptr;
  if (!search.Index) search.Index = std::make_unique<TRRContactIndex>(tracks);
  return search.Index.get();
}

}  // namespace

TRRTrackRouteContact* TRRTrackRouteContact::FindPartner(bool& blocked, const TRRContactIndex* index) {
  blocked = false;
  TRRTrack* own = FRoute->Track();
  // A disabled contact (the start of a buffer stop) connects to nothing, from either side.
  if (!FEnabled || !own || !own->Manager()) {
    SetMarkerColour(kRed);
    return nullptr;
  }
  // Pieces only move, appear, vanish or change their contacts with a new layout generation.
  // The partner's track is kept with it (a route never changes its track), so the test does not
  // wait for the partner's route before it can look at the track.
  if (FPartnerAt == GLayoutGeneration && FPartner && FPartnerTrack &&
      FPartnerTrack->ActiveRoute() == FPartnerActive) {
    blocked = FPartnerBlocked;
    SetMarkerColour(kGreen);
    FPartner->SetMarkerColour(kGreen);
    return FPartner;
  }
  const float scale = FRoute->Scale();
  const float toleranceSq = (0.2f * scale) * (0.2f * scale);
  const gx::TGXVector3 p = GetWorldPosition();
  TRRTrackRouteContact* found = nullptr;
  TRRTrack* foundTrack = nullptr;

  if (FConnection != 0) {
    TRRTrack* u = AsTrack(own->Manager()->FindByID(FConnection));
    if (u && u != own) {
      bool b = false;
      if ((found = SearchTrack(u, p, toleranceSq, scale, b))) {
        blocked = b;
        foundTrack = u;
      }
    }
  }
  // Nothing changed since the last search found nothing: still nothing.
  if (!found && FLoneAt == GLayoutGeneration) return nullptr;
  if (!found) {
    // The tracks near the point from an index, in list order.
    auto searchNear = [&](const TRRContactIndex& near) {
      std::vector<TRRTrack*> tracks;
      near.TracksNear(p, toleranceSq, tracks);
      for (TRRTrack* u : tracks) {
        if (u == own) continue;
        bool b = false;
        if ((found = SearchTrack(u, p, toleranceSq, scale, b))) {
          blocked = b;
          foundTrack = u;
          return;
        }
      }
    };
    if (index) {
      searchNear(*index);
    } else if (auto* manager = dynamic_cast<TRREntityManager*>(own->Manager())) {
      if (const TRRContactIndex* shared = LayoutContactIndex(manager->Tracks())) {
        searchNear(*shared);
      } else {
        for (TRREntity* e : manager->Tracks()) {
          TRRTrack* u = AsTrack(e);
          if (!u || u == own) continue;
          bool b = false;
          if ((found = SearchTrack(u, p, toleranceSq, scale, b))) {
            blocked = b;
            foundTrack = u;
            break;
          }
        }
      }
    }
  }
  if (!found) {
    SetMarkerColour(kRed);
    FLoneAt = GLayoutGeneration;
    return nullptr;
  }
  FLoneAt = 0;
  FConnection = foundTrack->ID();
  FPartner = found;
  FPartnerTrack = found->FRoute->Track();
  FPartnerAt = GLayoutGeneration;
  FPartnerActive = foundTrack->ActiveRoute();
  FPartnerBlocked = blocked;
  SetMarkerColour(kGreen);
  found->SetMarkerColour(kGreen);
  return found;
}

// ---- contact index ----

int64_t TRRContactIndex::Cell(float v) {
  const float c = std::floor(v / kCellSize);
  // Far-away or broken positions share the outermost cells; the exact test sorts them out.
  return static_cast<int64_t>(std::clamp(std::isfinite(c) ? c : 0.0f, -1.0e6f, 1.0e6f));
}

uint64_t TRRContactIndex::Key(int64_t x, int64_t y, int64_t z) {
  const uint64_t ux = static_cast<uint64_t>(x + (1 << 21)) & 0x1FFFFF;
  const uint64_t uy = static_cast<uint64_t>(y + (1 << 21)) & 0x1FFFFF;
  const uint64_t uz = static_cast<uint64_t>(z + (1 << 21)) & 0x1FFFFF;
  return (ux << 42) | (uy << 21) | uz;
}

TRRContactIndex::TRRContactIndex(const TRREntityList& tracks) {
  int order = 0;
  for (TRREntity* e : tracks) {
    TRRTrack* t = AsTrack(e);
    const int o = order++;
    if (!t) continue;
    for (int r = 0; r < t->GetRouteCount(); ++r) {
      TRRTrackRoute* route = t->GetRoute(r);
      for (int i = 0; i < 2; ++i) {
        const TRRTrackRouteContact* c = route->Contact(i);
        if (!c->Enabled()) continue;
        const gx::TGXVector3 p = c->GetWorldPosition();
        FCells[Key(Cell(p.x), Cell(p.y), Cell(p.z))].push_back({p, o, t});
        ++FCount;
      }
    }
  }
}

void TRRContactIndex::TracksNear(const gx::TGXVector3& point, float toleranceSq,
                                 std::vector<TRRTrack*>& out) const {
  out.clear();
  const float r = std::sqrt(std::max(toleranceSq, 0.0f));
  std::vector<std::pair<int, TRRTrack*>> hits;
  for (int64_t x = Cell(point.x - r); x <= Cell(point.x + r); ++x)
    for (int64_t y = Cell(point.y - r); y <= Cell(point.y + r); ++y)
      for (int64_t z = Cell(point.z - r); z <= Cell(point.z + r); ++z) {
        const auto it = FCells.find(Key(x, y, z));
        if (it == FCells.end()) continue;
        for (const TEntry& e : it->second)
          if (gx::DistanceSquared(e.Position, point) < toleranceSq) hits.emplace_back(e.Order, e.Track);
      }
  std::sort(hits.begin(), hits.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& h : hits)
    if (out.empty() || out.back() != h.second) out.push_back(h.second);
}

// ---- layout searches ----

TRRNearestRoute FindNearestRoute(const TRREntityList& tracks, const gx::TGXVector3& point, float radius,
                                 const std::function<bool(const TRRTrack&)>& accept) {
  TRRNearestRoute result;
  float best = 1e10f;
  for (TRREntity* e : tracks) {
    TRRTrack* t = AsTrack(e);
    if (!t || (accept && !accept(*t))) continue;
    const gx::TGXBoundingSphere sphere = gx::SphereFromBox(t->WorldBounds());
    if (sphere.Empty) continue;
    // Within reach when the point is no farther from the sphere than the search radius.
    if (!(gx::GXVec3Length(sphere.Center - point) <= sphere.Radius + radius)) continue;
    const gx::TGXVector3 local = gx::GXVec3TransformCoord(point, t->InverseWorldMatrix());
    for (int r = 0; r < t->GetRouteCount(); ++r) {
      TRRTrackRoute* route = t->GetRoute(r);
      const float d = route->FindNearestDistance(local);
      if (d == RRRouteDistanceMiss) continue;
      const float h = gx::DistanceSquared(local, route->GetRailPosition(d));
      if (radius * radius * route->Scale() > h && h < best) {
        best = h;
        result.Route = route;
        result.Distance = d;
      }
    }
  }
  return result;
}

int RRRefreshConnections(const TRREntityList& tracks) {
  const TRRContactIndex index(tracks);
  int connected = 0;
  for (TRREntity* e : tracks) {
    TRRTrack* t = AsTrack(e);
    if (!t) continue;
    for (int r = 0; r < t->GetRouteCount(); ++r)
      for (int i = 0; i < 2; ++i) {
        bool blocked = false;
        if (t->GetRoute(r)->Contact(i)->FindPartner(blocked, &index)) ++connected;
      }
  }
  return connected;
}

}  // namespace rr
