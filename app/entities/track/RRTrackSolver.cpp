#include "app/entities/track/RRTrackSolver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>

#include "app/RREntityManager.h"
#include "app/RRHistory.h"
#include "app/RRProjectHost.h"
#include "app/RRUnits.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "app/entities/track/RRTrackSnap.h"
#include "engine/core/GXException.h"
#include "engine/core/GXStrings.h"

namespace rr {

namespace {

constexpr uint64_t kSaturated = std::numeric_limits<uint64_t>::max();

uint64_t AddSaturated(uint64_t a, uint64_t b) { return a > kSaturated - b ? kSaturated : a + b; }
uint64_t MulSaturated(uint64_t a, uint64_t b) { return b != 0 && a > kSaturated / b ? kSaturated : a * b; }

float Clean(float v) { return std::isfinite(v) ? v : 0.0f; }
float CleanLength(float v) { return std::isfinite(v) && v > 0 ? v : 0.0f; }

// ---- laying (pinned: single precision, this order of operations, shared by both searches) ----

// The numbers a candidate is laid with, computed once.
struct TPiece {
  float L1 = 0, L2 = 0;
  bool Arc = false;
  float Side = 0, Ahead = 0;  // R - R cos A across, R sin A ahead
  float Cos = 1, Sin = 0;
};

// Position and heading in the search frame's XZ plane.
struct TLay {
  float X, Z, HX, HZ;
};

struct TTarget {
  float X, Y, Z, Tolerance2;
};

TPiece PieceOf(const TSolutionTrack& c) {
  TPiece p;
  p.L1 = c.L1;
  p.L2 = c.L2;
  p.Arc = c.Angle * c.Radius > 0;
  if (p.Arc) {
    p.Cos = std::cos(c.Angle);
    p.Sin = std::sin(c.Angle);
    p.Side = c.Radius - c.Radius * p.Cos;
    p.Ahead = c.Radius * p.Sin;
  }
  return p;
}

// Out of line so that every caller runs the very same instructions (no contraction or
// reassociation can differ between inlined copies): the searches must agree bit for bit.
[[gnu::noinline]] TLay LayPiece(TLay s, const TPiece& p) {
  if (p.L1 > 0) {
    s.X = s.X + s.HX * p.L1;
    s.Z = s.Z + s.HZ * p.L1;
  }
  if (p.Arc) {
    // side' = Y x heading = (HZ, 0, -HX); the heading turns by the angle about +Y.
    const float dx = s.HZ * p.Side + s.HX * p.Ahead;
    const float dz = -s.HX * p.Side + s.HZ * p.Ahead;
    s.X = s.X + dx;
    s.Z = s.Z + dz;
    const float hx = s.HX * p.Cos + s.HZ * p.Sin;
    const float hz = -s.HX * p.Sin + s.HZ * p.Cos;
    s.HX = hx;
    s.HZ = hz;
  }
  if (p.L2 > 0) {
    s.X = s.X + s.HX * p.L2;
    s.Z = s.Z + s.HZ * p.L2;
  }
  return s;
}

[[gnu::noinline]] bool Reaches(const TLay& s, const TTarget& t) {
  const float dx = s.X - t.X, dy = -t.Y, dz = s.Z - t.Z;
  return dx * dx + dy * dy + dz * dz < t.Tolerance2;
}

int ClampPieces(int n) { return std::clamp(n, RRSolverMinPieces, RRSolverMaxPieces); }

// ---- the plain search ----

class TSearch {
 public:
  TSearch(const TRRSolverProblem& problem, TRRSolverRun* run) : FProblem(problem), FRun(run) {
    FPieces.reserve(problem.Candidates.size());
    for (const TSolutionTrack& c : problem.Candidates) FPieces.push_back(PieceOf(c));
    FMax = ClampPieces(problem.MaxPieces);
    FTarget = {problem.Target.x, problem.Target.y, problem.Target.z, problem.Tolerance * problem.Tolerance};
    FStart = {0, 0, problem.HeadingX, problem.HeadingZ};
    FStop = run ? run->Stop : nullptr;
    FCounter = run ? run->Counter : nullptr;
  }
  virtual ~TSearch() = default;

  std::vector<TRRSolverSolution> Run() {
    Search();
    Flush();
    return std::move(FSolutions);
  }

 protected:
  virtual void Search() { Plain(FStart, 0); }

  // Candidate by candidate in pre-order; a hit is reported and not extended.
  void Plain(const TLay& s, int depth) {
    const int n = static_cast<int>(FPieces.size());
    for (int i = 0; i < n; ++i) {
      if (Stopped() || Full()) return;
      FSequence.push_back(i);
      Count(1);
      const TLay next = LayPiece(s, FPieces[static_cast<size_t>(i)]);
      if (Reaches(next, FTarget))
        Report();
      else if (depth + 1 < FMax)
        Plain(next, depth + 1);
      FSequence.pop_back();
    }
  }

  bool Stopped() const { return FStop && FStop->load(std::memory_order_relaxed); }
  bool Full() const { return FSolutions.size() >= static_cast<size_t>(RRSolverMaxSolutions); }
  void Count(uint64_t k) {
    FPending = AddSaturated(FPending, k);
    if (FPending >= 4096) Flush();
  }
  void Flush() {
    // The worker is the only writer, so load and store saturate without a race.
    if (FCounter && FPending)
      FCounter->store(AddSaturated(FCounter->load(std::memory_order_relaxed), FPending),
                      std::memory_order_relaxed);
    FPending = 0;
  }
  void Report() {
    TRRSolverSolution s;
    s.Candidates = FSequence;
    for (int32_t i : FSequence) s.Entries.push_back(FProblem.Candidates[static_cast<size_t>(i)].Entry);
    FSolutions.push_back(s);
    if (FRun && FRun->Found) FRun->Found(FSolutions.back());
  }

  const TRRSolverProblem& FProblem;
  TRRSolverRun* FRun;
  const std::atomic<bool>* FStop = nullptr;
  std::atomic<uint64_t>* FCounter = nullptr;
  std::vector<TPiece> FPieces;
  int FMax = 1;
  TTarget FTarget{};
  TLay FStart{};
  std::vector<int32_t> FSequence;
  std::vector<TRRSolverSolution> FSolutions;
  uint64_t FPending = 0;
};

// ---- the fast search ----

// Grid entries over all suffix lengths stay below this (about 16 bytes each).
constexpr uint64_t kMaxGridEntries = 1200000;
// Numbers beyond these are searched plainly (the rounding margins below assume sane magnitudes).
constexpr double kMaxLength = 1e6, kMaxAngle = 1e3, kMaxTarget = 1e7;
// The bounds' rounding margin, relative to the magnitudes involved: single precision errs by
// about 1e-7 per operation and a search chains at most a few dozen of them.
constexpr double kRelativeMargin = 1e-5, kAbsoluteMargin = 1e-5;
// More cells than this for one lookup: the subtree is searched plainly.
constexpr double kMaxLookupCells = 256;

class TFastSearch : public TSearch {
 public:
  using TSearch::TSearch;

  // False: the problem's numbers are outside what the bounds are proven for.
  bool Sane() const {
    auto finite = [](double v, double limit) { return std::isfinite(v) && std::fabs(v) <= limit; };
    if (FPieces.empty()) return false;
    for (const TSolutionTrack& c : FProblem.Candidates)
      if (!finite(c.L1, kMaxLength) || !finite(c.L2, kMaxLength) || !finite(c.Radius, kMaxLength) ||
          !finite(c.Angle, kMaxAngle))
        return false;
    const double h2 = double(FStart.HX) * FStart.HX + double(FStart.HZ) * FStart.HZ;
    return finite(FTarget.X, kMaxTarget) && finite(FTarget.Y, kMaxTarget) && finite(FTarget.Z, kMaxTarget) &&
           std::isfinite(h2) && h2 > 0.25 && h2 < 4 && std::isfinite(FProblem.Tolerance) &&
           FProblem.Tolerance > 0 && FProblem.Tolerance <= kMaxLength;
  }

 protected:
  void Search() override {
    if (!Sane()) return Plain(FStart, 0);
    Prepare();
    if (Stopped()) return;
    Visit(FStart, 0);
  }

 private:
  struct TEntry {
    float X, Z;
    uint32_t Code;  // the suffix's candidate indices, base n, first piece most significant
  };
  // A hash grid of the canonical end points of all suffixes of one length.
  struct TGrid {
    std::vector<uint32_t> Start;  // bucket b holds Entries[Start[b] .. Start[b + 1])
    std::vector<TEntry> Entries;
    uint64_t Mask = 0;
  };

  static uint64_t Bucket(int64_t ix, int64_t iz, uint64_t mask) {
    uint64_t h =
        static_cast<uint64_t>(ix) * 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(iz) * 0xC2B2AE3D27D4EB4Full;
    h ^= h >> 29;
    return h & mask;
  }
  int64_t CellOf(double v) const { return static_cast<int64_t>(std::floor(v / FCell)); }

  double Margin(double position, double reach) const {
    return kRelativeMargin * (position + FTargetLength + reach + FProblem.Tolerance) + kAbsoluteMargin;
  }

  void Prepare() {
    const size_t n = FPieces.size();
    // Pieces with equal numbers lay identically: the first of them stands for the group.
    FGroup.resize(n);
    for (size_t i = 0; i < n; ++i) {
      FGroup[i] = static_cast<int32_t>(i);
      const TSolutionTrack& a = FProblem.Candidates[i];
      for (size_t j = 0; j < i; ++j) {
        const TSolutionTrack& b = FProblem.Candidates[j];
        if (FGroup[j] == static_cast<int32_t>(j) && a.L1 == b.L1 && a.L2 == b.L2 && a.Angle == b.Angle &&
            a.Radius == b.Radius) {
          FGroup[i] = static_cast<int32_t>(j);
          break;
        }
      }
    }
    // The longest chord, bounded from above: lead-in + |arc's two legs| + lead-out.
    FMaxReach = 0;
    for (const TSolutionTrack& c : FProblem.Candidates) {
      double reach = std::max(0.0, double(c.L1)) + std::max(0.0, double(c.L2));
      if (c.Angle * c.Radius > 0)
        reach += std::fabs(double(c.Radius)) *
                 (std::fabs(1 - std::cos(double(c.Angle))) + std::fabs(std::sin(double(c.Angle))));
      FMaxReach = std::max(FMaxReach, reach);
    }
    // Every displacement scales with the heading's length, which the turns keep.
    FMaxReach *= std::sqrt(double(FStart.HX) * FStart.HX + double(FStart.HZ) * FStart.HZ);
    FTargetLength = std::sqrt(double(FTarget.X) * FTarget.X + double(FTarget.Y) * FTarget.Y +
                              double(FTarget.Z) * FTarget.Z);
    FSubtree.assign(static_cast<size_t>(FMax) + 1, 0);
    uint64_t power = 1;
    for (int k = 1; k <= FMax; ++k) {
      power = MulSaturated(power, n);
      FSubtree[static_cast<size_t>(k)] = AddSaturated(FSubtree[static_cast<size_t>(k) - 1], power);
    }
    // The longest suffix the grids can hold.
    FSuffix = 0;
    while (FSuffix < std::min(FMax, 3) && FSubtree[static_cast<size_t>(FSuffix) + 1] <= kMaxGridEntries)
      ++FSuffix;
    FNothing.assign(static_cast<size_t>(FMax), std::vector<uint32_t>(n, 0));
    if (FSuffix == 0) return;
    FCell = std::max(
        {double(FProblem.Tolerance) + Margin(0, FSuffix * FMaxReach), FSuffix * FMaxReach * 1e-6, 1e-6});
    FGrids.assign(static_cast<size_t>(FSuffix), TGrid{});
    for (int len = 1; len <= FSuffix; ++len) {
      TGrid& g = FGrids[static_cast<size_t>(len) - 1];
      const uint64_t entries = FSubtree[static_cast<size_t>(len)] - FSubtree[static_cast<size_t>(len) - 1];
      uint64_t buckets = 1;
      while (4 * buckets < entries) buckets <<= 1;
      g.Mask = buckets - 1;
      g.Start.assign(buckets + 1, 0);
      g.Entries.resize(entries);
    }
    // Two passes over the suffixes (laying is cheaper than keeping them twice): count per
    // bucket, then place each entry at its bucket's cursor.
    Canonical({0, 0, 0, 1}, 1, 0, false);
    for (TGrid& g : FGrids)
      for (uint64_t b = 0; b <= g.Mask; ++b) g.Start[b + 1] += g.Start[b];
    Canonical({0, 0, 0, 1}, 1, 0, true);
    // Each cursor ran to the next bucket's start: shift them back.
    for (TGrid& g : FGrids) {
      for (uint64_t b = g.Mask + 1; b > 0; --b) g.Start[b] = g.Start[b - 1];
      g.Start[0] = 0;
    }
  }

  // End points of every suffix up to FSuffix pieces from the origin heading +Z.
  void Canonical(const TLay& s, int length, uint32_t code, bool place) {
    const uint32_t n = static_cast<uint32_t>(FPieces.size());
    TGrid& g = FGrids[static_cast<size_t>(length) - 1];
    for (uint32_t i = 0; i < n; ++i) {
      if ((i & 1023) == 0 && Stopped()) return;
      const TLay next = LayPiece(s, FPieces[i]);
      const uint32_t c = code * n + i;
      const uint64_t b = Bucket(CellOf(next.X), CellOf(next.Z), g.Mask);
      if (place)
        g.Entries[g.Start[b]++] = {next.X, next.Z, c};
      else
        ++g.Start[b + 1];
      if (length < FSuffix) Canonical(next, length + 1, c, place);
    }
  }

  void Visit(const TLay& s, int depth) {
    if (Stopped()) return;
    const int left = FMax - depth;
    const double dx = double(s.X) - FTarget.X, dy = FTarget.Y, dz = double(s.Z) - FTarget.Z;
    const double distance = std::sqrt(dx * dx + dy * dy + dz * dz);
    const double position = std::sqrt(double(s.X) * s.X + double(s.Z) * s.Z);
    // Nothing below can get within the tolerance: skip the subtree, count it as tried.
    if (distance > left * FMaxReach + FProblem.Tolerance + Margin(position, left * FMaxReach)) {
      Count(FSubtree[static_cast<size_t>(left)]);
      return;
    }
    if (left <= FSuffix) return Lookup(s, depth);
    const uint32_t stamp = ++FStamp;
    std::vector<uint32_t>& nothing = FNothing[static_cast<size_t>(depth)];
    const int n = static_cast<int>(FPieces.size());
    for (int i = 0; i < n; ++i) {
      if (Stopped() || Full()) return;
      const int32_t group = FGroup[static_cast<size_t>(i)];
      // An earlier piece with the same numbers found nothing here: neither does this one.
      if (nothing[static_cast<size_t>(group)] == stamp) {
        Count(AddSaturated(1, FSubtree[static_cast<size_t>(left) - 1]));
        continue;
      }
      FSequence.push_back(i);
      Count(1);
      const TLay next = LayPiece(s, FPieces[static_cast<size_t>(i)]);
      const size_t before = FSolutions.size();
      if (Reaches(next, FTarget))
        Report();
      else
        Visit(next, depth + 1);
      FSequence.pop_back();
      if (FSolutions.size() == before && !Stopped()) nothing[static_cast<size_t>(group)] = stamp;
    }
  }

  // The last pieces from the grids: every suffix whose canonical end point lies near the target
  // seen from this state, laid again with the plain code, kept in pre-order.
  void Lookup(const TLay& s, int depth) {
    const int left = FMax - depth;
    const double hx = s.HX, hz = s.HZ, h2 = hx * hx + hz * hz;
    if (!(h2 > 0.25 && h2 < 4)) return Plain(s, depth);
    const double position = std::sqrt(double(s.X) * s.X + double(s.Z) * s.Z);
    // Canonical end points are those of a unit heading: distances shrink by the heading's length.
    const double radius = (double(FProblem.Tolerance) + Margin(position, left * FMaxReach)) / std::sqrt(h2);
    const double span = std::ceil(2 * radius / FCell) + 1;
    if (!(span * span <= kMaxLookupCells)) return Plain(s, depth);
    // The target in the frame of this state's heading, scaled to a unit heading.
    const double dx = double(FTarget.X) - s.X, dz = double(FTarget.Z) - s.Z;
    const double qx = (dx * hz - dz * hx) / h2, qz = (dx * hx + dz * hz) / h2;
    const double r2 = radius * radius;
    const uint32_t n = static_cast<uint32_t>(FPieces.size());
    FHits.clear();
    for (int len = 1; len <= left; ++len) {
      const TGrid& g = FGrids[static_cast<size_t>(len) - 1];
      for (int64_t ix = CellOf(qx - radius); ix <= CellOf(qx + radius); ++ix)
        for (int64_t iz = CellOf(qz - radius); iz <= CellOf(qz + radius); ++iz) {
          const uint64_t b = Bucket(ix, iz, g.Mask);
          for (uint32_t e = g.Start[b]; e < g.Start[b + 1]; ++e) {
            const TEntry& entry = g.Entries[e];
            const double ex = entry.X - qx, ez = entry.Z - qz;
            if (ex * ex + ez * ez > r2) continue;
            // Decode and lay exactly as the plain search would; a hit before the last piece
            // ends the combination there (its own entry reports it).
            std::vector<int32_t> suffix(static_cast<size_t>(len));
            uint32_t code = entry.Code;
            for (int k = len - 1; k >= 0; --k) {
              suffix[static_cast<size_t>(k)] = static_cast<int32_t>(code % n);
              code /= n;
            }
            TLay state = s;
            bool solution = false;
            for (int k = 0; k < len; ++k) {
              state = LayPiece(state, FPieces[static_cast<size_t>(suffix[static_cast<size_t>(k)])]);
              solution = Reaches(state, FTarget);
              if (solution && k + 1 < len) {
                solution = false;
                break;
              }
            }
            if (solution) FHits.push_back(std::move(suffix));
          }
        }
    }
    Count(FSubtree[static_cast<size_t>(left)]);
    std::sort(FHits.begin(), FHits.end());
    FHits.erase(std::unique(FHits.begin(), FHits.end()), FHits.end());  // two cells, one bucket
    for (const std::vector<int32_t>& suffix : FHits) {
      if (Stopped() || Full()) return;
      const size_t keep = FSequence.size();
      FSequence.insert(FSequence.end(), suffix.begin(), suffix.end());
      Report();
      FSequence.resize(keep);
    }
  }

  std::vector<int32_t> FGroup;
  double FMaxReach = 0;
  double FTargetLength = 0;
  std::vector<uint64_t> FSubtree;
  int FSuffix = 0;
  double FCell = 1;
  std::vector<TGrid> FGrids;
  std::vector<std::vector<uint32_t>> FNothing;
  uint32_t FStamp = 0;
  std::vector<std::vector<int32_t>> FHits;
};

}  // namespace

// ---- candidates, contacts, frame ----

std::vector<TSolutionTrack> RRSolutionCandidates(const TRREntityDescriptionList& descriptions,
                                                 const std::string& systemName, int trackWidth) {
  std::vector<TSolutionTrack> out;
  for (const TRREntityDescription* d : descriptions) {
    const auto* t = dynamic_cast<const TRRTrackDesc*>(d);
    if (!t || (t->Type() != TRRTrackType::Straight && t->Type() != TRRTrackType::Curve)) continue;
    if (t->TrackWidth() != trackWidth || t->RouteCount() < 1 || t->Route(0)->IsFlexible()) continue;
    if (!gx::SameText(t->TrackSystemName().GetText(), systemName)) continue;
    const TRRTrackRouteDesc& r = *t->Route(0);
    const float l1 = CleanLength(r.L1), l2 = CleanLength(r.L2), angle = Clean(r.Angle),
                radius = Clean(r.Radius);
    out.push_back({t, l1, angle, radius, l2, 0});
    if (t->Type() == TRRTrackType::Curve) out.push_back({t, l2, -angle, -radius, l1, 1});
  }
  return out;
}

TRRGapContacts RRFindGapContacts(TRRTrack& first, TRRTrack& second, int firstContact, int secondContact) {
  TRRGapContacts result;
  if (first.TrackSystemName() != second.TrackSystemName() || first.TrackWidth() != second.TrackWidth()) {
    result.Problem = RRTextDifferentTrackSystems;
    return result;
  }
  auto freeContacts = [](TRRTrack& t, int fixed) {
    std::vector<TRRTrackRouteContact*> out;
    for (int r = 0; r < t.GetRouteCount(); ++r) {
      if ((t.IsSwitchable() || fixed >= 0) && r != t.ActiveRoute()) continue;
      for (int c = 0; c < 2; ++c) {
        if (fixed >= 0 && c != fixed) continue;
        TRRTrackRouteContact* contact = t.GetRoute(r)->Contact(c);
        if (contact->Enabled() && !contact->IsConnected()) out.push_back(contact);
      }
    }
    return out;
  };
  const auto a = freeContacts(first, firstContact), b = freeContacts(second, secondContact);
  float best = 1e10f;
  for (TRRTrackRouteContact* x : a)
    for (TRRTrackRouteContact* y : b) {
      const float d2 = gx::GXVec3LengthSq(x->GetWorldPosition() - y->GetWorldPosition());
      if (d2 < best) {
        best = d2;
        result.Start = x;
        result.End = y;
      }
    }
  if (!result.Start) result.Problem = RRTextNoFreeContacts;
  return result;
}

TRRSolverFrame RRSolverFrame(const gx::TGXVector3& startPosition, const gx::TGXVector3& startOutward,
                             const gx::TGXVector3& endPosition) {
  TRRSolverFrame f;
  const gx::TGXVector3 d = endPosition - startPosition;
  const float length = gx::GXVec3Length(d);
  if (!std::isfinite(length) || length < 1e-6f) {
    f.Problem = RRTextGapVertical;
    return f;
  }
  f.Forward = d * (1.0f / length);
  // Y x forward; it vanishes for a vertical gap.
  const gx::TGXVector3 side{f.Forward.z, 0, -f.Forward.x};
  const float sideLength = gx::GXVec3Length(side);
  if (!(sideLength >= 1e-6f)) {
    f.Problem = RRTextGapVertical;
    return f;
  }
  f.Side = side * (1.0f / sideLength);
  f.Up = gx::GXVec3Cross(f.Forward, f.Side);
  f.Target = {gx::GXVec3Dot(d, f.Side), gx::GXVec3Dot(d, f.Up), gx::GXVec3Dot(d, f.Forward)};
  const float ox = gx::GXVec3Dot(startOutward, f.Side), oz = gx::GXVec3Dot(startOutward, f.Forward);
  const float headingLength = std::sqrt(ox * ox + oz * oz);
  if (!std::isfinite(headingLength) || headingLength < 1e-6f) {
    f.Problem = RRTextStartVertical;
    return f;
  }
  f.HeadingX = ox / headingLength;
  f.HeadingZ = oz / headingLength;
  f.Valid = true;
  return f;
}

// ---- totals and texts ----

uint64_t RRSolverTotal(uint64_t candidates, int maxPieces) {
  uint64_t total = 0, power = 1;
  for (int k = 1; k <= maxPieces; ++k) {
    power = MulSaturated(power, candidates);
    total = AddSaturated(total, power);
  }
  return total;
}

std::string RRSolverProgressText(uint64_t total) {
  const std::string number = RRFormatInteger(total);
  std::string text = RRTextSolverProgress;
  text.replace(text.find("%s"), 2, number);
  return text;
}

int RRSolverPercent(uint64_t counter, uint64_t total) {
  if (total == 0) return 100;
  const long double ratio =
      static_cast<long double>(std::min(counter, total)) / static_cast<long double>(total);
  return static_cast<int>(std::lround(static_cast<double>(ratio * 100)));
}

// ---- searches ----

std::vector<TRRSolverSolution> RRSolveGapPlain(const TRRSolverProblem& problem, TRRSolverRun* run) {
  return TSearch(problem, run).Run();
}

std::vector<TRRSolverSolution> RRSolveGap(const TRRSolverProblem& problem, TRRSolverRun* run) {
  return TFastSearch(problem, run).Run();
}

float RRSolutionError(const TRRSolverProblem& problem, const TRRSolverSolution& solution) {
  TLay s{0, 0, problem.HeadingX, problem.HeadingZ};
  for (int32_t i : solution.Candidates) {
    if (i < 0 || static_cast<size_t>(i) >= problem.Candidates.size())
      return std::numeric_limits<float>::infinity();
    s = LayPiece(s, PieceOf(problem.Candidates[static_cast<size_t>(i)]));
  }
  const float dx = s.X - problem.Target.x, dy = -problem.Target.y, dz = s.Z - problem.Target.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// ---- creating a solution ----

std::vector<TRRTrack*> RRCreateSolutionTracks(TRREntityManager& manager, TRRTrackRouteContact& start,
                                              const std::vector<TSolutionTrack>& candidates,
                                              const TRRSolverSolution& solution) {
  for (int32_t i : solution.Candidates)
    if (i < 0 || static_cast<size_t>(i) >= candidates.size() ||
        !candidates[static_cast<size_t>(i)].Description)
      throw gx::EInvalidParameter(
          {gx::TGXExceptionArg::Object("TSolutionTrack"), "RRCreateSolutionTracks", "Invalid candidate"});
  TRRHistory* history = manager.Project().History();
  std::unique_ptr<TRRCommand> compound = history ? history->OpenCommand(nullptr) : nullptr;
  std::vector<std::unique_ptr<TRRCommand>> commands;
  std::vector<TRRTrack*> tracks;
  TRREntitySelection& selection = manager.Selection();
  std::vector<int32_t> selectedBefore;
  for (const TRREntity* e : selection) selectedBefore.push_back(e->ID());
  selection.BeginUpdate();
  try {
    selection.Clear();
    TRRTrackRouteContact* foreign = &start;
    for (int32_t i : solution.Candidates) {
      const TSolutionTrack& piece = candidates[static_cast<size_t>(i)];
      std::unique_ptr<TRREntityDescription> d = piece.Description->Clone();
      d->SetID(manager.NextID());
      manager.ReserveIDs(1);
      TRREntity* entity = manager.CreateEntity(nullptr, *d);
      auto* track = dynamic_cast<TRRTrack*>(entity);
      if (!track || track->GetRouteCount() < 1) {
        delete entity;
        throw gx::EInvalidParameter(
            {gx::TGXExceptionArg::Object("TSolutionTrack"), "RRCreateSolutionTracks", "Invalid description"});
      }
      track->Update(false);
      TRRTrackRouteContact* own = track->GetRoute(0)->Contact(piece.Entry);
      gx::TGXVector3 position;
      gx::TGXQuaternion rotation;
      RRSnapTransform(*own, *foreign, position, rotation);
      track->SetPosition(position);
      track->SetRotation(rotation);
      // The next piece reads this one's contact in the world.
      track->Update(false);
      tracks.push_back(track);
      selection.Add(track);
      if (history) {
        commands.push_back(std::make_unique<TRRCommand>(nullptr));
        commands.back()->SetAfter(track);
      }
      foreign = own->GetOpposite();
    }
  } catch (...) {
    // Nothing half-laid stays behind without a way back: the pieces made so far go again and the
    // selection is what it was.
    selection.Clear();
    for (auto it = tracks.rbegin(); it != tracks.rend(); ++it) delete *it;
    for (int32_t id : selectedBefore)
      if (TRREntity* e = manager.FindByID(id)) selection.Add(e);
    selection.EndUpdate();
    throw;
  }
  selection.EndUpdate();
  if (!history) {
    if (!tracks.empty()) manager.Project().SetModified();
    return tracks;
  }
  if (commands.empty()) return tracks;
  for (auto& c : commands) compound->AddChild(std::move(c));
  history->Push(std::move(compound));
  return tracks;
}

// ---- the worker ----

TSolutionThread::~TSolutionThread() { Cancel(); }

void TSolutionThread::Cancel() {
  FStop.store(true);
  if (FThread.joinable()) FThread.join();
  FRunning.store(false);
}

void TSolutionThread::Start(TRRSolverProblem problem, bool fast) {
  Cancel();
  const uint32_t generation = FGeneration.load() + 1;
  {
    std::lock_guard<std::mutex> lock(FBoxLock);
    FGeneration.store(generation);
    FBox.clear();
    FTaken = 0;
  }
  FStop.store(false);
  FFinished.store(false);
  FCounter.store(0);
  FTotal.store(RRSolverTotal(problem.Candidates.size(), ClampPieces(problem.MaxPieces)));
  FRunning.store(true);
  FThread = std::thread([this, generation, fast, problem = std::move(problem)] {
    TRRSolverRun run;
    run.Stop = &FStop;
    run.Counter = &FCounter;
    run.Found = [this, generation](const TRRSolverSolution& s) { Post(generation, s); };
    if (fast)
      RRSolveGap(problem, &run);
    else
      RRSolveGapPlain(problem, &run);
    if (!FStop.load()) {
      FCounter.store(FTotal.load());
      FFinished.store(true);
    }
    FRunning.store(false);
  });
}

void TSolutionThread::Post(uint32_t generation, const TRRSolverSolution& solution) {
  std::lock_guard<std::mutex> lock(FBoxLock);
  if (generation != FGeneration.load() || FBox.size() >= static_cast<size_t>(RRSolverMaxSolutions)) return;
  FBox.push_back(solution);
}

int TSolutionThread::TakeSolutions(std::vector<TRRSolverSolution>& into) {
  std::lock_guard<std::mutex> lock(FBoxLock);
  const int taken = static_cast<int>(FBox.size() - FTaken);
  into.insert(into.end(), FBox.begin() + static_cast<std::ptrdiff_t>(FTaken), FBox.end());
  FTaken = FBox.size();
  return taken;
}

int TSolutionThread::SolutionCount() const {
  std::lock_guard<std::mutex> lock(FBoxLock);
  return static_cast<int>(FBox.size());
}

std::string TSolutionThread::ResultText() const {
  return Finished() && SolutionCount() == 0 ? RRTextNoSolution : "";
}

}  // namespace rr
