#include "app/RRTrackLibraryConvert.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>

#include "app/entities/track/RRTrackCatalogue.h"
#include "app/entities/track/RRTrackRoute.h"
#include "app/entities/track/RRTrackSystems.h"
#include "engine/core/GXStrings.h"

namespace rr {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180;
constexpr double kCentimetresPerInch = 2.54;
constexpr double kMillimetresPerInch = 25.4;
// 100 m, 1 mm and 10 km in inches.
constexpr double kMaxLength = 10000 / kCentimetresPerInch;
constexpr double kMinRadius = 1 / kMillimetresPerInch;
constexpr double kMaxCoordinate = 1000000 / kCentimetresPerInch;
// A route start placed by the route transform may miss its end point by this (inches, 0.005 mm),
// half of what the whole route may miss.
constexpr double kPlacementTolerance = 0.005 / kMillimetresPerInch;
constexpr double kShapeTolerance = RRTrackLibraryShapeTolerance;
constexpr double kNegligible = 1e-5;
constexpr double kDirectionTolerance = RRTrackLibraryDirectionTolerance * kDegree;
// Segments meeting at a larger angle make no track; smaller kinks are judged by how far the
// fitted route strays from them.
constexpr double kKinkTolerance = kDirectionTolerance;

// ---- plane geometry (x east / our X, y north / our Z; headings clockwise from +y) ----

struct V2 {
  double x = 0, y = 0;
};
V2 operator+(V2 a, V2 b) { return {a.x + b.x, a.y + b.y}; }
V2 operator-(V2 a, V2 b) { return {a.x - b.x, a.y - b.y}; }
V2 operator*(V2 a, double f) { return {a.x * f, a.y * f}; }
double Magnitude(V2 a) { return std::hypot(a.x, a.y); }
V2 Dir(double heading) { return {std::sin(heading), std::cos(heading)}; }
double HeadingOf(V2 v) { return std::atan2(v.x, v.y); }
// Into (-pi, pi].
double Wrap(double a) {
  a = std::remainder(a, 2 * kPi);
  return a <= -kPi ? a + 2 * kPi : a;
}
// The vector turned so that headings grow by phi (our rotation about +Y by phi).
V2 Turn(V2 v, double phi) {
  const double c = std::cos(phi), s = std::sin(phi);
  return {v.x * c + v.y * s, v.y * c - v.x * s};
}

std::string Decimal(double v, const char* format = "%.1f") {
  char buffer[48];
  std::snprintf(buffer, sizeof(buffer), format, v);
  std::string s = buffer;
  if (s.find('.') != std::string::npos && s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0)
    s.resize(s.size() - 2);
  for (char& c : s)
    if (c == '.') c = ',';
  return s;
}
std::string Millimetres(double inches) { return Decimal(inches * kMillimetresPerInch, "%.2f") + " mm"; }
std::string Degrees(double radians) { return Decimal(radians / kDegree, "%.2f") + "°"; }

// ---- refusals ----

struct TRefusal {
  TRRTrackRefusal Kind;
  std::string Reason;
};

// ---- segments and paths ----

// One track segment in the direction it is driven.
struct TSegment {
  bool Arc = false;
  V2 P0, P1;
  double H0 = 0, H1 = 0;  // headings of travel at both ends
  double Length = 0;
  double Turn = 0;  // signed: + bends right (clockwise)
  double Radius = 0;
  V2 Centre;
  int Number = 0;

  TSegment Reversed() const {
    TSegment r = *this;
    std::swap(r.P0, r.P1);
    r.H0 = Wrap(H1 + kPi);
    r.H1 = Wrap(H0 + kPi);
    r.Turn = -Turn;
    return r;
  }
  double Side() const { return Turn > 0 ? 1 : -1; }
  // The point at the fraction t of the length.
  V2 At(double t) const {
    if (!Arc) return P0 + (P1 - P0) * t;
    return Centre + Dir(H0 + Turn * t - Side() * kPi / 2) * Radius;
  }
  double DistanceTo(V2 p) const {
    if (Arc) {
      const double start = H0 - Side() * kPi / 2;
      double u = Side() * (HeadingOf(p - Centre) - start);
      u = std::fmod(std::fmod(u, 2 * kPi) + 2 * kPi, 2 * kPi);
      if (u <= std::fabs(Turn)) return std::fabs(Magnitude(p - Centre) - Radius);
      return std::min(Magnitude(p - P0), Magnitude(p - P1));
    }
    const V2 d = P1 - P0;
    const double l2 = d.x * d.x + d.y * d.y;
    double t = l2 > 0 ? ((p.x - P0.x) * d.x + (p.y - P0.y) * d.y) / l2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return Magnitude(p - (P0 + d * t));
  }
};

TSegment StraightSegment(V2 from, V2 to) {
  TSegment s;
  s.P0 = from;
  s.P1 = to;
  s.Length = Magnitude(to - from);
  s.H0 = s.H1 = s.Length > 0 ? HeadingOf(to - from) : 0;
  return s;
}

// An arc starting at from with the heading, turning by turn (signed) on the radius.
TSegment ArcSegment(V2 from, double heading, double turn, double radius) {
  TSegment s;
  s.Arc = true;
  s.Turn = turn;
  s.Radius = radius;
  s.P0 = from;
  s.H0 = heading;
  s.H1 = heading + turn;
  s.Centre = from + Dir(heading + s.Side() * kPi / 2) * radius;
  s.P1 = s.At(1);
  s.Length = radius * std::fabs(turn);
  return s;
}

// The shape of a route: lead-in, one arc (or none) and lead-out, as the segments give it.
struct TShape {
  bool Arc = false;
  double L1 = 0, Turn = 0, Radius = 0, L2 = 0;
  TShape Reversed() const {
    TShape s = *this;
    if (Arc) {
      std::swap(s.L1, s.L2);
      s.Turn = -Turn;
    }
    return s;
  }
};

// One route of a definition, before it is placed.
struct TRoute {
  std::string PathName;
  int EndPoint[2] = {-1, -1};  // end point at the start and at the end, -1 for an open end
  double Miss[2] = {0, 0};     // distance of an open end from the nearest end point
  V2 P[2];                     // start and end position
  double H[2] = {0, 0};        // heading of travel at the start and at the end
  TShape Shape;
  // The file's segments in the route's direction (empty for a turntable's made-up diameter).
  std::vector<TSegment> Chain;
  // Radius and turn of each arc of the chain (arcs continuing each other counted once).
  std::vector<std::pair<double, double>> Arcs;
  std::vector<int> Key;  // the segment numbers, sorted (the same track listed twice)

  TRoute Reversed() const {
    TRoute r = *this;
    std::swap(r.EndPoint[0], r.EndPoint[1]);
    std::swap(r.Miss[0], r.Miss[1]);
    std::swap(r.P[0], r.P[1]);
    r.H[0] = Wrap(H[1] + kPi);
    r.H[1] = Wrap(H[0] + kPi);
    r.Shape = Shape.Reversed();
    r.Chain.clear();
    for (auto it = Chain.rbegin(); it != Chain.rend(); ++it) r.Chain.push_back(it->Reversed());
    return r;
  }
  bool Straight() const { return !Shape.Arc; }
  double Length() const {
    return Shape.L1 + Shape.L2 + (Shape.Arc ? std::fabs(Shape.Turn) * Shape.Radius : 0);
  }
  V2 Midpoint() const { return (P[0] + P[1]) * 0.5; }
};

// The converted route in the piece's frame (inches, radians).
struct TPlaced {
  double Shift = 0, L1 = 0, Angle = 0, Radius = 0, L2 = 0, Rotation = 0;
};

class TConverter {
 public:
  explicit TConverter(const TRRTrackLibraryDefinition& d) : D(d) {}

  // Fills routes and type; a refusal otherwise.
  std::optional<TRefusal> Run();

  TRRTrackType Type = TRRTrackType::Straight;
  std::vector<TRoute> Routes;  // in output order
  std::vector<TPlaced> Placed;
  int ActiveRoute = 0;

 private:
  std::optional<TRefusal> CheckNumbers() const;
  void MakeSegments();
  std::optional<TRefusal> MakeRoutes();
  std::optional<TRefusal> MakeRoute(const TRRTrackLibraryPath& path, const std::vector<int>& numbers);
  bool RadialTurntable();
  std::optional<TRefusal> Classify();
  std::optional<TRefusal> Place();
  // Fits the route started with the heading: false when no lengths reach its end; deviation is
  // how far the fitted route strays from the file's segments.
  bool Fit(const TRoute& r, double startHeading, double frameHeading, TPlaced& out, double& deviation) const;
  TRefusal Unfit(const TRoute& r, double deviation) const;
  std::optional<TRefusal> Verify() const;

  const TRRTrackLibraryDefinition& D;
  std::vector<std::optional<TSegment>> FSegments;  // by number - 1; empty for transition curves
  std::vector<TRoute> FRoutes;                     // in path order
  std::vector<bool> FFixedOrientation;             // by route: its direction is given by the type
  std::vector<int> FPivotCandidates;               // routes that may be route 0, in order of preference
  // The piece's frame in the file: the first route's start and heading.
  V2 FOrigin;
  double FHeading = 0;
};

std::optional<TRefusal> TConverter::CheckNumbers() const {
  auto far = [](double v) { return !(std::fabs(v) <= kMaxCoordinate); };
  auto refuse = [](int line, const char* what) {
    return TRefusal{TRRTrackRefusal::Absurd, "Zeile " + std::to_string(line) + ": " + what};
  };
  for (const auto& e : D.EndPoints)
    if (far(e.X) || far(e.Y) || far(e.Angle)) return refuse(e.Line, "Koordinate außerhalb von 10 km.");
  for (const auto& s : D.Segments) {
    if (s.Kind == TRRTrackLibrarySegmentKind::Straight) {
      if (far(s.X1) || far(s.Y1) || far(s.X2) || far(s.Y2))
        return refuse(s.Line, "Koordinate außerhalb von 10 km.");
      if (std::hypot(s.X2 - s.X1, s.Y2 - s.Y1) > kMaxLength)
        return refuse(s.Line, "Gerade länger als 100 m.");
    } else if (s.Kind == TRRTrackLibrarySegmentKind::Curve) {
      if (far(s.CX) || far(s.CY) || far(s.A0) || far(s.A1))
        return refuse(s.Line, "Koordinate außerhalb von 10 km.");
      const double r = std::fabs(s.Radius);
      if (r < kMinRadius) return refuse(s.Line, "Radius unter 1 mm.");
      if (r > kMaxLength || r * std::fabs(s.A1) * kDegree > kMaxLength)
        return refuse(s.Line, "Radius oder Bogen länger als 100 m.");
      if (std::fabs(s.A1) >= 360) return refuse(s.Line, "Bogen über 360°.");
    }
  }
  return std::nullopt;
}

void TConverter::MakeSegments() {
  int number = 0;
  for (const auto& s : D.Segments) {
    ++number;
    if (s.Kind == TRRTrackLibrarySegmentKind::Easement) {
      FSegments.emplace_back();
      continue;
    }
    TSegment g;
    if (s.Kind == TRRTrackLibrarySegmentKind::Straight) {
      g = StraightSegment({s.X1, s.Y1}, {s.X2, s.Y2});
    } else {
      double a0 = s.A0, a1 = s.A1;
      if (a1 < 0) {
        a0 += a1;
        a1 = -a1;
      }
      // Angles are measured at the centre, clockwise from north: from a0 to a0 + a1 the arc is
      // driven clockwise, bending right.
      const double radius = std::fabs(s.Radius);
      g = ArcSegment(V2{s.CX, s.CY} + Dir(a0 * kDegree) * radius, Wrap((a0 + 90) * kDegree), a1 * kDegree,
                     radius);
    }
    g.Number = number;
    FSegments.push_back(g);
  }
}

std::optional<TRefusal> TConverter::MakeRoute(const TRRTrackLibraryPath& path,
                                              const std::vector<int>& numbers) {
  const std::string name = "Fahrweg \"" + path.Name + "\"";
  std::vector<TSegment> chain;
  for (int n : numbers) {
    const int i = std::abs(n);
    if (i < 1 || i > static_cast<int>(FSegments.size()))
      return TRefusal{TRRTrackRefusal::BadSegment, name + " (Zeile " + std::to_string(path.Line) +
                                                       ") nennt das Gleisstück " + std::to_string(n) +
                                                       ", das es nicht gibt."};
    if (!FSegments[static_cast<size_t>(i - 1)])
      return TRefusal{TRRTrackRefusal::Easement,
                      name +
                          " enthält einen Übergangsbogen, dem keine Fahrstrecke aus "
                          "Geraden und einem Bogen genau folgen kann."};
    const TSegment& s = *FSegments[static_cast<size_t>(i - 1)];
    // A point-like segment joins nothing and adds nothing.
    if (s.Length < 1e-9) continue;
    chain.push_back(s);
  }
  if (chain.empty()) return TRefusal{TRRTrackRefusal::NoPaths, name + " hat keine Länge."};
  // Orient the chain: each segment continues at the end nearest to where the last one ended.
  if (chain.size() >= 2) {
    const TSegment& next = chain[1];
    auto distance = [&](V2 p) { return std::min(Magnitude(p - next.P0), Magnitude(p - next.P1)); };
    if (distance(chain[0].P0) < distance(chain[0].P1)) chain[0] = chain[0].Reversed();
  }
  for (size_t k = 1; k < chain.size(); ++k) {
    if (Magnitude(chain[k].P1 - chain[k - 1].P1) < Magnitude(chain[k].P0 - chain[k - 1].P1))
      chain[k] = chain[k].Reversed();
    const double gap = Magnitude(chain[k].P0 - chain[k - 1].P1);
    if (gap > kShapeTolerance)
      return TRefusal{TRRTrackRefusal::Broken, name + " ist zwischen den Gleisstücken " +
                                                   std::to_string(chain[k - 1].Number) + " und " +
                                                   std::to_string(chain[k].Number) + " um " +
                                                   Millimetres(gap) + " unterbrochen."};
    const double kink = std::fabs(Wrap(chain[k].H0 - chain[k - 1].H1));
    if (kink > kKinkTolerance)
      return TRefusal{TRRTrackRefusal::Kink,
                      name + " knickt zwischen den Gleisstücken " + std::to_string(chain[k - 1].Number) +
                          " und " + std::to_string(chain[k].Number) + " um " + Degrees(kink) + "."};
  }

  TRoute r;
  r.PathName = path.Name;
  // The arcs, those continuing each other (same side, radius and centre) counted as one; the one
  // that turns most is the route's arc, what lies before and after it its lead-in and lead-out.
  struct TGroup {
    size_t First, Last;
    double Turn, Radius;
  };
  std::vector<TGroup> groups;
  double turn = 0;
  for (size_t k = 0; k < chain.size(); ++k) {
    const TSegment& s = chain[k];
    turn += s.Turn;
    if (!s.Arc) continue;
    if (!groups.empty() && groups.back().Last + 1 == k) {
      const TSegment& last = chain[k - 1];
      if ((last.Turn > 0) == (s.Turn > 0) && std::fabs(last.Radius - s.Radius) <= kShapeTolerance &&
          Magnitude(last.Centre - s.Centre) <= kShapeTolerance) {
        groups.back().Last = k;
        groups.back().Turn += s.Turn;
        continue;
      }
    }
    groups.push_back({k, k, s.Turn, s.Radius});
  }
  for (const TGroup& g : groups) r.Arcs.emplace_back(g.Radius, g.Turn);
  if (std::fabs(turn) >= kPi - 1e-6)
    return TRefusal{TRRTrackRefusal::SeveralArcs, name + " wendet um 180° oder mehr."};
  if (!groups.empty()) {
    const TGroup* main = &groups[0];
    for (const TGroup& g : groups)
      if (std::fabs(g.Turn) > std::fabs(main->Turn)) main = &g;
    r.Shape.Arc = true;
    r.Shape.Radius = main->Radius;
    r.Shape.Turn = turn;
    for (size_t k = 0; k < chain.size(); ++k)
      if (k < main->First)
        r.Shape.L1 += chain[k].Length;
      else if (k > main->Last)
        r.Shape.L2 += chain[k].Length;
  } else {
    for (const TSegment& s : chain) r.Shape.L1 += s.Length;
  }
  r.P[0] = chain.front().P0;
  r.P[1] = chain.back().P1;
  r.H[0] = chain.front().H0;
  r.H[1] = chain.back().H1;
  for (const TSegment& s : chain) r.Key.push_back(s.Number);
  std::sort(r.Key.begin(), r.Key.end());
  r.Chain = std::move(chain);
  if (r.Length() > kMaxLength) return TRefusal{TRRTrackRefusal::Absurd, name + " ist länger als 100 m."};
  // The end points: the route is fitted to them, so it meets them exactly.
  for (int end = 0; end < 2; ++end) {
    int best = -1;
    double bestDistance = 0;
    for (size_t e = 0; e < D.EndPoints.size(); ++e) {
      const double dist = Magnitude(V2{D.EndPoints[e].X, D.EndPoints[e].Y} - r.P[end]);
      if (best < 0 || dist < bestDistance) best = static_cast<int>(e), bestDistance = dist;
    }
    if (best < 0 || bestDistance > kShapeTolerance) {
      r.Miss[end] = best < 0 ? -1 : bestDistance;
      continue;
    }
    const TRRTrackLibraryEndPoint& e = D.EndPoints[static_cast<size_t>(best)];
    // The end point's direction points out of the piece: at the start that is against travel.
    const double heading = Wrap(e.Angle * kDegree + (end == 0 ? kPi : 0));
    const double off = std::fabs(Wrap(heading - r.H[end]));
    if (off > kDirectionTolerance)
      return TRefusal{TRRTrackRefusal::Direction, name + " verlässt den Endpunkt in Zeile " +
                                                      std::to_string(e.Line) + " um " + Degrees(off) +
                                                      " schräg zu dessen Richtung."};
    r.EndPoint[end] = best;
    r.P[end] = {e.X, e.Y};
    r.H[end] = heading;
  }
  // The same track listed again (a path named in two positions) is one route.
  for (const TRoute& other : FRoutes)
    if (other.Key == r.Key) return std::nullopt;
  // A path's segments may be drawn either way; the route runs from the end point listed first,
  // so a piece keeps the hand the file describes it with (a left curve bends left).
  if (r.EndPoint[0] >= 0 && r.EndPoint[1] >= 0 && r.EndPoint[1] < r.EndPoint[0]) r = r.Reversed();
  FRoutes.push_back(std::move(r));
  return std::nullopt;
}

std::optional<TRefusal> TConverter::MakeRoutes() {
  if (D.Paths.empty())
    return TRefusal{TRRTrackRefusal::NoPaths, "Die Definition hat keinen Fahrweg (P-Zeile)."};
  for (const TRRTrackLibraryPath& p : D.Paths) {
    std::vector<int> run;
    for (size_t i = 0; i <= p.Segments.size(); ++i) {
      if (i == p.Segments.size() || p.Segments[i] == 0) {
        if (!run.empty())
          if (auto refusal = MakeRoute(p, run)) return refusal;
        run.clear();
      } else {
        run.push_back(p.Segments[i]);
      }
    }
  }
  if (FRoutes.empty())
    return TRefusal{TRRTrackRefusal::NoPaths, "Die Fahrwege der Definition nennen kein Gleisstück."};
  if (FRoutes.size() > static_cast<size_t>(RRMaxTrackRoutes))
    return TRefusal{TRRTrackRefusal::Arrangement,
                    "Mehr als " + std::to_string(RRMaxTrackRoutes) + " Fahrwege."};
  return std::nullopt;
}

bool ContainsFlex(const TRRTrackLibraryDefinition& d) {
  std::string text = d.Description + " " + d.PartNumber;
  for (const std::string& s : d.Info) text += " " + s;
  return gx::LowerCaseText(text).find("flex") != std::string::npos;
}

std::optional<TRefusal> TConverter::Classify() {
  const size_t n = FRoutes.size();
  FFixedOrientation.assign(n, false);
  for (const TRoute& r : FRoutes) {
    if (r.EndPoint[0] < 0 && r.EndPoint[1] < 0)
      return TRefusal{TRRTrackRefusal::NotAtEndPoint,
                      "Fahrweg \"" + r.PathName + "\" beginnt und endet an keinem Endpunkt."};
    if (r.EndPoint[0] >= 0 && r.EndPoint[0] == r.EndPoint[1])
      return TRefusal{TRRTrackRefusal::Arrangement,
                      "Fahrweg \"" + r.PathName + "\" kehrt zu seinem Endpunkt zurück."};
  }
  auto order = [&](std::vector<int> first) {
    for (size_t i = 0; i < n; ++i)
      if (std::find(first.begin(), first.end(), static_cast<int>(i)) == first.end())
        first.push_back(static_cast<int>(i));
    std::vector<TRoute> routes;
    for (int i : first) routes.push_back(FRoutes[static_cast<size_t>(i)]);
    FRoutes = std::move(routes);
  };
  // One route.
  if (n == 1) {
    TRoute& r = FRoutes[0];
    if ((r.EndPoint[0] < 0 || r.EndPoint[1] < 0) && D.EndPoints.size() == 1) {
      // A buffer stop starts at its closed end: only its end connects.
      if (r.EndPoint[0] >= 0) r = r.Reversed();
      FFixedOrientation[0] = true;
      Type = TRRTrackType::BufferStop;
    } else if (r.EndPoint[0] < 0 || r.EndPoint[1] < 0) {
      const int end = r.EndPoint[0] < 0 ? 0 : 1;
      return TRefusal{TRRTrackRefusal::NotAtEndPoint,
                      "Fahrweg \"" + r.PathName + "\" " + (end == 0 ? "beginnt " : "endet ") +
                          (r.Miss[end] < 0 ? std::string("an keinem Endpunkt")
                                           : Millimetres(r.Miss[end]) + " neben dem nächsten Endpunkt") +
                          "."};
    } else if (r.Straight()) {
      Type = ContainsFlex(D) ? TRRTrackType::Flexible : TRRTrackType::Straight;
    } else {
      Type = TRRTrackType::Curve;
    }
    FPivotCandidates = {0};
    return std::nullopt;
  }
  const bool open = std::any_of(FRoutes.begin(), FRoutes.end(),
                                [](const TRoute& r) { return r.EndPoint[0] < 0 || r.EndPoint[1] < 0; });
  if (open && RadialTurntable()) {
    Type = TRRTrackType::Turntable;
    FFixedOrientation.assign(FRoutes.size(), false);
    FPivotCandidates = {0};
    return std::nullopt;
  }
  for (const TRoute& r : FRoutes)
    for (int end = 0; end < 2; ++end)
      if (r.EndPoint[end] < 0)
        return TRefusal{TRRTrackRefusal::NotAtEndPoint,
                        "Fahrweg \"" + r.PathName + "\" " + (end == 0 ? "beginnt " : "endet ") +
                            (r.Miss[end] < 0 ? std::string("an keinem Endpunkt")
                                             : Millimetres(r.Miss[end]) + " neben dem nächsten Endpunkt") +
                            "."};
  // Routes sharing one end point: a switch.
  std::map<int, int> uses;
  for (const TRoute& r : FRoutes) ++uses[r.EndPoint[0]], ++uses[r.EndPoint[1]];
  int common = -1, commons = 0;
  for (auto [e, count] : uses)
    if (count == static_cast<int>(n)) common = e, ++commons;
  if (commons > 1)
    return TRefusal{TRRTrackRefusal::Arrangement, "Zwei Fahrwege verbinden dieselben Endpunkte."};
  if (common >= 0) {
    if (n > 3)
      return TRefusal{TRRTrackRefusal::Arrangement,
                      "Mehr als drei Fahrwege beginnen an einem Endpunkt; eine solche Weiche gibt es nicht."};
    for (size_t i = 0; i < n; ++i) {
      if (FRoutes[i].EndPoint[0] != common) FRoutes[i] = FRoutes[i].Reversed();
      FFixedOrientation[i] = true;
    }
    for (const auto& [e, count] : uses)
      if (e != common && count > 1)
        return TRefusal{TRRTrackRefusal::Arrangement, "Zwei Fahrwege einer Weiche enden am selben Endpunkt."};
    Type = n == 2 ? TRRTrackType::Switch : TRRTrackType::ThreeWaySwitch;
    FPivotCandidates = {0};
    return std::nullopt;
  }
  const bool disjoint = std::all_of(uses.begin(), uses.end(), [](const auto& u) { return u.second == 1; });
  // Straight stubs of one length through one midpoint: a turntable.
  if (n >= 3 && disjoint) {
    bool turntable = true;
    for (const TRoute& r : FRoutes)
      turntable = turntable && r.Straight() &&
                  std::fabs(r.Length() - FRoutes[0].Length()) <= kShapeTolerance &&
                  Magnitude(r.Midpoint() - FRoutes[0].Midpoint()) <= kShapeTolerance;
    if (turntable) {
      Type = TRRTrackType::Turntable;
      FPivotCandidates = {0};
      return std::nullopt;
    }
  }
  if (n == 2 && disjoint) {
    Type = TRRTrackType::Crossing;
    FPivotCandidates = {0, 1};
    return std::nullopt;
  }
  // Two routes that share no end point, joined at their ends by the others: a double slip (two
  // joining routes) or a single slip (one).
  if ((n == 3 || n == 4) && uses.size() == 4) {
    for (size_t a = 0; a < n; ++a)
      for (size_t b = a + 1; b < n; ++b) {
        const TRoute& ra = FRoutes[a];
        const TRoute& rb = FRoutes[b];
        auto in = [](const TRoute& r, int e) { return r.EndPoint[0] == e || r.EndPoint[1] == e; };
        if (in(ra, rb.EndPoint[0]) || in(ra, rb.EndPoint[1])) continue;
        bool joins = true;
        for (size_t k = 0; k < n; ++k) {
          if (k == a || k == b) continue;
          const TRoute& rk = FRoutes[k];
          joins = joins && ((in(ra, rk.EndPoint[0]) && in(rb, rk.EndPoint[1])) ||
                            (in(rb, rk.EndPoint[0]) && in(ra, rk.EndPoint[1])));
        }
        if (!joins) continue;
        order({static_cast<int>(a), static_cast<int>(b)});
        Type = TRRTrackType::CrossSwitch;
        FPivotCandidates = {0, 1};
        return std::nullopt;
      }
  }
  return TRefusal{TRRTrackRefusal::Arrangement, std::to_string(n) + " Fahrwege mit " +
                                                    std::to_string(uses.size()) +
                                                    " Endpunkten ergeben keine bekannte Gleisart."};
}

// The position at distance d along a fixed route in its own frame (the formulas of the routes).
V2 RoutePosition(double l1, double angle, double radius, double l2, double d) {
  if (d <= l1) return {0, d};
  const double r = angle != 0 ? std::copysign(std::fabs(radius), angle) : radius;
  const double arc = angle * r;
  if (arc > 0 && d <= l1 + arc) {
    const double theta = angle * (d - l1) / arc;
    return {r - r * std::cos(theta), r * std::sin(theta) + l1};
  }
  const double e = d - arc - l1;
  (void)l2;
  return {r - r * std::cos(angle) + e * std::sin(angle), r * std::sin(angle) + l1 + e * std::cos(angle)};
}
double RouteLength(const TPlaced& p) {
  const double r = p.Angle != 0 ? std::copysign(std::fabs(p.Radius), p.Angle) : p.Radius;
  return p.L1 + p.L2 + p.Angle * r;
}

// The fitted route in the file's frame as segments: lead-in, arc, lead-out.
std::vector<TSegment> FittedSegments(V2 start, double heading, const TPlaced& p) {
  std::vector<TSegment> parts;
  V2 at = start;
  if (p.L1 > 0) {
    parts.push_back(StraightSegment(at, at + Dir(heading) * p.L1));
    at = parts.back().P1;
  }
  if (p.Angle != 0) {
    parts.push_back(ArcSegment(at, heading, p.Angle, std::fabs(p.Radius)));
    at = parts.back().P1;
  }
  if (p.L2 > 0) parts.push_back(StraightSegment(at, at + Dir(heading + p.Angle) * p.L2));
  return parts;
}

// How far the one set of segments strays from the other, both ways (sampled).
double Deviation(const std::vector<TSegment>& a, const std::vector<TSegment>& b) {
  constexpr int kSamples = 16;
  double worst = 0;
  auto from = [&](const std::vector<TSegment>& x, const std::vector<TSegment>& y) {
    for (const TSegment& s : x)
      for (int i = 0; i <= kSamples; ++i) {
        const V2 p = s.At(static_cast<double>(i) / kSamples);
        double best = 1e30;
        for (const TSegment& t : y) best = std::min(best, t.DistanceTo(p));
        worst = std::max(worst, best);
      }
  };
  from(a, b);
  from(b, a);
  return worst;
}

bool TConverter::Fit(const TRoute& r, double startHeading, double frameHeading, TPlaced& out,
                     double& deviation) const {
  const V2 p = Turn(r.P[1] - r.P[0], -startHeading);  // end in the route's frame: x right, y ahead
  const double delta = Wrap(r.H[1] - startHeading);
  const double accuracy = RRTrackLibraryAngleAccuracy * kDegree / 2;
  // Both ends leave in their end points' directions.
  if (r.EndPoint[0] >= 0 && std::fabs(Wrap(startHeading - r.H[0])) > accuracy) return false;
  auto strays = [&](const TPlaced& k) {
    if (r.Chain.empty()) return std::fabs(RouteLength(k) - r.Length());
    return Deviation(FittedSegments(r.P[0], startHeading, k), r.Chain);
  };
  TPlaced base;
  base.Rotation = Wrap(startHeading - frameHeading);
  if (!r.Shape.Arc) {
    // A straight reaches its end point exactly only when it lies ahead on the start line.
    if (!(p.y > 0 && std::fabs(p.x) <= kPlacementTolerance && std::fabs(delta) <= accuracy)) return false;
    out = base;
    out.L1 = p.y;
    deviation = strays(out);
    return true;
  }
  if ((delta > 0) != (r.Shape.Turn > 0) || std::fabs(delta) < 1e-9) return false;
  const double c = std::cos(delta), s = std::sin(delta);
  const double sign = delta > 0 ? 1 : -1;
  // The segments' radius with lengths that reach the end; or their lead-in, or their lead-out,
  // kept with the radius that reaches it.
  struct TCandidate {
    double L1, R, L2;
  };
  std::vector<TCandidate> candidates;
  if (std::fabs(s) > 1e-12) {
    const double rr = sign * r.Shape.Radius;
    const double l2 = (p.x - rr * (1 - c)) / s;
    candidates.push_back({p.y - rr * s - l2 * c, rr, l2});
  }
  {
    const double det = c - 1, z = p.y - r.Shape.L1;
    candidates.push_back({r.Shape.L1, (p.x * c - s * z) / det, ((1 - c) * z - s * p.x) / det});
  }
  if (1 - c > 1e-12) {
    const double rr = (p.x - r.Shape.L2 * s) / (1 - c);
    candidates.push_back({p.y - rr * s - r.Shape.L2 * c, rr, r.Shape.L2});
  }
  bool found = false;
  for (TCandidate k : candidates) {
    if (!std::isfinite(k.L1) || !std::isfinite(k.L2) || !std::isfinite(k.R)) continue;
    if (k.L1 < -kPlacementTolerance || k.L2 < -kPlacementTolerance || k.R * sign < kMinRadius) continue;
    TPlaced fit = base;
    // Lengths below a quarter of a micrometre are what the file's six decimals leave over.
    fit.L1 = k.L1 < kNegligible ? 0.0 : k.L1;
    fit.L2 = k.L2 < kNegligible ? 0.0 : k.L2;
    fit.Angle = delta;
    fit.Radius = k.R;
    const double d = strays(fit);
    if (found && d >= deviation) continue;
    found = true;
    deviation = d;
    out = fit;
    // The file's own radius is kept whenever it serves.
    if (d <= kShapeTolerance) break;
  }
  return found;
}

TRefusal TConverter::Unfit(const TRoute& r, double deviation) const {
  const std::string name = "Fahrweg \"" + r.PathName + "\"";
  if (r.Arcs.size() >= 2) {
    for (const auto& a : r.Arcs)
      if ((a.second > 0) != (r.Arcs[0].second > 0))
        return TRefusal{TRRTrackRefusal::SeveralArcs,
                        name + " bogt nach beiden Seiten (Gegenbogen); ein Fahrweg hat nur einen Bogen."};
    return TRefusal{TRRTrackRefusal::SeveralArcs,
                    name + " hat Bögen mit den Radien " + Millimetres(r.Arcs[0].first) + " und " +
                        Millimetres(r.Arcs[1].first) + "; ein Fahrweg hat nur einen Bogen."};
  }
  if (r.Straight()) {
    const double chord = HeadingOf(r.P[1] - r.P[0]);
    const double off = std::max(std::fabs(Wrap(chord - r.H[0])), std::fabs(Wrap(chord - r.H[1])));
    if (off > RRTrackLibraryAngleAccuracy * kDegree / 2)
      return TRefusal{TRRTrackRefusal::Mismatch, "Die Endpunkte des geraden " + name +
                                                     " liegen nicht in ihrer Richtung hintereinander (" +
                                                     Degrees(off) + " Abweichung)."};
  }
  if (deviation > 0 && deviation < 1e29)
    return TRefusal{TRRTrackRefusal::Mismatch,
                    name + " passt nicht zu seinen Endpunkten (Abweichung " + Millimetres(deviation) + ")."};
  return TRefusal{TRRTrackRefusal::Mismatch, name + " passt nicht zu seinen Endpunkten."};
}

std::optional<TRefusal> TConverter::Place() {
  const size_t n = FRoutes.size();
  // Headings a route may start with: its end point's; a straight's own line as well, which puts
  // both its ends exactly on their end points when their directions agree with it.
  auto headings = [](const TRoute& r) {
    std::vector<double> h = {r.H[0]};
    if (r.Straight()) h.push_back(HeadingOf(r.P[1] - r.P[0]));
    return h;
  };
  // The best fit of a route over its headings; deviation above the tolerance when none serves.
  auto fit = [&](const TRoute& r, double frameHeading, TPlaced& out, double& heading) {
    double best = 1e30;
    for (double h : headings(r)) {
      TPlaced p;
      double d = 0;
      if (!Fit(r, h, frameHeading, p, d) || d >= best) continue;
      best = d;
      out = p;
      heading = h;
      if (d <= kShapeTolerance) break;
    }
    return best;
  };
  // Each route on its own first: a shape no route can follow is the reason, wherever it lies.
  for (size_t k = 0; k < n; ++k) {
    double best = 1e30;
    for (int flip = 0; flip < (FFixedOrientation[k] ? 1 : 2) && best > kShapeTolerance; ++flip) {
      const TRoute r = flip ? FRoutes[k].Reversed() : FRoutes[k];
      TPlaced p;
      double h = 0;
      best = std::min(best, fit(r, r.H[0], p, h));
    }
    if (best > kShapeTolerance) return Unfit(FRoutes[k], best);
  }
  std::optional<TRefusal> problem;
  for (int pivot : FPivotCandidates) {
    for (int flip0 = 0; flip0 < (FFixedOrientation[static_cast<size_t>(pivot)] ? 1 : 2); ++flip0) {
      const TRoute& given = FRoutes[static_cast<size_t>(pivot)];
      const TRoute first = flip0 ? given.Reversed() : given;
      for (double h0 : headings(first)) {
        TPlaced p0;
        double dev = 1e30;
        if (!Fit(first, h0, h0, p0, dev) || dev > kShapeTolerance) {
          if (!problem) problem = Unfit(first, dev);
          continue;
        }
        const V2 origin = first.P[0];
        const V2 mid = RoutePosition(p0.L1, p0.Angle, p0.Radius, p0.L2, RouteLength(p0) / 2);
        std::vector<TRoute> routes = {first};
        std::vector<TPlaced> placed = {p0};
        bool all = true;
        for (size_t k = 0; k < n && all; ++k) {
          if (static_cast<int>(k) == pivot) continue;
          bool done = false;
          for (int flip = 0; flip < (FFixedOrientation[k] ? 1 : 2) && !done; ++flip) {
            const TRoute r = flip ? FRoutes[k].Reversed() : FRoutes[k];
            TPlaced p;
            double h = 0;
            const double d = fit(r, h0, p, h);
            if (d > kShapeTolerance) {
              if (!problem || problem->Kind == TRRTrackRefusal::Placement) problem = Unfit(r, d);
              continue;
            }
            // The start in the piece's frame, reached by a shift along the start direction and a
            // turn about the first route's midpoint.
            const V2 start = Turn(r.P[0] - origin, -h0);
            if (Magnitude(start) > 1e-12 || std::fabs(p.Rotation) > 1e-12) {
              const V2 q = mid + Turn(start - mid, -p.Rotation);
              if (std::fabs(q.x) > kPlacementTolerance) {
                if (!problem)
                  problem =
                      TRefusal{TRRTrackRefusal::Placement,
                               "Fahrweg \"" + r.PathName +
                                   "\" liegt so, dass ihn keine Verschiebung und Drehung um die Mitte des "
                                   "ersten Fahrwegs erreicht (Abstand " +
                                   Millimetres(std::fabs(q.x)) + ")."};
                continue;
              }
              p.Shift = q.y;
            } else {
              p.Rotation = 0;
            }
            routes.push_back(r);
            placed.push_back(p);
            done = true;
          }
          all = done;
        }
        if (!all) continue;
        Routes = std::move(routes);
        Placed = std::move(placed);
        FOrigin = origin;
        FHeading = h0;
        return std::nullopt;
      }
    }
  }
  return problem ? *problem
                 : TRefusal{TRRTrackRefusal::Mismatch, "Die Fahrwege passen nicht zu den Endpunkten."};
}

// Stubs from the rim of a pit outwards, all on lines through one centre, in opposite pairs: the
// diameters between opposite stubs are the turntable's routes (the bridge joins them).
bool TConverter::RadialTurntable() {
  if (FRoutes.size() < 2) return false;
  std::vector<TRoute> stubs;
  for (const TRoute& r : FRoutes) {
    if (!r.Straight() || (r.EndPoint[0] < 0) == (r.EndPoint[1] < 0)) return false;
    stubs.push_back(r.EndPoint[0] >= 0 ? r.Reversed() : r);  // inner end first
  }
  // The centre: where the first stub's line meets another one's.
  const TRoute& a = stubs[0];
  V2 centre;
  bool found = false;
  for (size_t i = 1; i < stubs.size() && !found; ++i) {
    const TRoute& b = stubs[i];
    const V2 da = Dir(a.H[1]), db = Dir(b.H[1]);
    const double cross = da.x * db.y - da.y * db.x;
    if (std::fabs(cross) < 1e-3) continue;
    const V2 w = b.P[1] - a.P[1];
    const double t = (w.x * db.y - w.y * db.x) / cross;
    centre = a.P[1] + da * t;
    found = true;
  }
  if (!found) return false;
  const double radius = Magnitude(a.P[1] - centre);
  for (const TRoute& s : stubs) {
    const V2 out = s.P[1] - centre;
    if (std::fabs(Magnitude(out) - radius) > kShapeTolerance || Magnitude(s.P[0] - centre) >= radius)
      return false;
    // On a line through the centre, pointing away from it.
    if (std::fabs(Wrap(HeadingOf(out) - s.H[1])) > kDirectionTolerance) return false;
  }
  std::vector<bool> used(stubs.size(), false);
  std::vector<TRoute> routes;
  for (size_t i = 0; i < stubs.size(); ++i) {
    if (used[i]) continue;
    size_t partner = stubs.size();
    for (size_t j = i + 1; j < stubs.size(); ++j)
      if (!used[j] && std::fabs(Wrap(stubs[j].H[1] - stubs[i].H[1] - kPi)) <= kDirectionTolerance)
        partner = j;
    if (partner == stubs.size()) return false;
    used[i] = used[partner] = true;
    TRoute r;
    r.PathName = stubs[i].PathName + "/" + stubs[partner].PathName;
    r.EndPoint[0] = stubs[i].EndPoint[1];
    r.EndPoint[1] = stubs[partner].EndPoint[1];
    r.P[0] = stubs[i].P[1];
    r.P[1] = stubs[partner].P[1];
    r.H[0] = Wrap(stubs[i].H[1] + kPi);
    r.H[1] = stubs[partner].H[1];
    r.Shape.L1 = Magnitude(r.P[1] - r.P[0]);
    routes.push_back(std::move(r));
  }
  FRoutes = std::move(routes);
  return true;
}

// Checks every route as it will be built (single-precision values, the route transform about the
// first route's midpoint) against the end points.
std::optional<TRefusal> TConverter::Verify() const {
  auto cm = [](double inches) {
    return static_cast<double>(static_cast<float>(inches * kCentimetresPerInch));
  };
  auto single = [](double v) { return static_cast<double>(static_cast<float>(v)); };
  auto length = [](double l1, double angle, double radius, double l2) {
    return l1 + l2 + angle * (angle != 0 ? std::copysign(std::fabs(radius), angle) : radius);
  };
  const TPlaced& p0 = Placed[0];
  const double m0[4] = {cm(p0.L1), single(p0.Angle), cm(p0.Radius), cm(p0.L2)};
  const V2 mid = RoutePosition(m0[0], m0[1], m0[2], m0[3], length(m0[0], m0[1], m0[2], m0[3]) / 2);
  for (size_t k = 0; k < Routes.size(); ++k) {
    const TRoute& r = Routes[k];
    const TPlaced& p = Placed[k];
    const double l1 = cm(p.L1), l2 = cm(p.L2), radius = cm(p.Radius), angle = single(p.Angle);
    const double rotation = single(p.Rotation), shift = cm(p.Shift);
    auto transform = [&](V2 v) {
      if (rotation == 0 && shift == 0) return v;
      return mid + Turn(V2{v.x, v.y + shift} - mid, rotation);
    };
    const V2 ends[2] = {transform({0, 0}),
                        transform(RoutePosition(l1, angle, radius, l2, length(l1, angle, radius, l2)))};
    const double heads[2] = {rotation, rotation + angle};
    for (int e = 0; e < 2; ++e) {
      if (r.EndPoint[e] < 0) continue;
      const TRRTrackLibraryEndPoint& ep = D.EndPoints[static_cast<size_t>(r.EndPoint[e])];
      const V2 want = Turn(V2{ep.X, ep.Y} - FOrigin, -FHeading) * kCentimetresPerInch;
      const double wantHeading = ep.Angle * kDegree + (e == 0 ? kPi : 0) - FHeading;
      const double miss = Magnitude(ends[e] - want);
      const double turn = std::fabs(Wrap(heads[e] - wantHeading));
      if (miss > RRTrackLibraryPositionAccuracy || turn > RRTrackLibraryAngleAccuracy * kDegree)
        return TRefusal{TRRTrackRefusal::Mismatch,
                        "Fahrweg \"" + r.PathName + "\" verfehlt den Endpunkt in Zeile " +
                            std::to_string(ep.Line) + " um " + Decimal(miss * 10, "%.3f") + " mm und " +
                            Degrees(turn) + "."};
    }
  }
  return std::nullopt;
}

std::optional<TRefusal> TConverter::Run() {
  if (auto r = CheckNumbers()) return r;
  MakeSegments();
  if (auto r = MakeRoutes()) return r;
  if (auto r = Classify()) return r;
  if (auto r = Place()) return r;
  if (auto r = Verify()) return r;
  ActiveRoute = 0;
  if (RRTrackTypeIsSwitchable(Type))
    for (size_t i = 0; i < Routes.size(); ++i)
      if (gx::SameText(Routes[i].PathName, "Normal")) {
        ActiveRoute = static_cast<int>(i);
        break;
      }
  return std::nullopt;
}

// ---- gauges ----

// The scales of the format that are not one of our gauges by name, with their usual ratio and
// track width (mm), so that a narrow-gauge piece lands on the gauge whose track it runs on.
struct TScaleInfo {
  const char* Name;
  double Ratio;
  double WidthMm;
};
constexpr TScaleInfo kFormatScales[] = {
    {"Nn3", 160, 6.5},      {"Nm", 160, 6.5},     {"N(UK)", 148, 9},   {"N(JP)", 150, 9},
    {"2mm(FS)", 152, 9.42}, {"HOn3.5", 87, 12},   {"HOn3", 87, 10.5},  {"HOn30", 87, 9},
    {"HOn2", 87, 7},        {"HOm", 87, 12},      {"HOe", 87, 9},      {"HOf", 87, 6.5},
    {"H0m", 87, 12},        {"H0e", 87, 9},       {"H0f", 87, 6.5},    {"P4", 76.2, 18.83},
    {"EM", 76.2, 18.2},     {"OO9", 76.2, 9},     {"On3.5", 48, 16.5}, {"On3", 48, 19.05},
    {"On30", 48, 16.5},     {"On2", 48, 12.7},    {"On18", 48, 9},     {"P48", 48, 29.9},
    {"O(Fine)", 43.5, 32},  {"On14mm", 43.5, 14}, {"S", 64, 22.43},    {"Sn3.5", 64, 16.5},
    {"Sn3", 64, 14.3},      {"Sn30", 64, 11.9},   {"Sn2", 64, 9},      {"TTn3.5", 120, 9},
    {"TTi", 120, 4.5},      {"TTm", 120, 9},      {"1/32", 32, 45},    {"Gn15", 22.5, 16.5},
    {"Gn3", 20.3, 45},      {"F", 20.3, 70.6},    {"T", 450, 3},       {"LEGO", 38, 37.6},
};
constexpr struct {
  const char* Name;
  int Index;
} kDirectScales[] = {{"Z", 0},  {"N", 1}, {"TT", 2}, {"HO", 3}, {"H0", 3}, {"OO", 3},
                     {"00", 3}, {"O", 4}, {"0", 4},  {"1", 5},  {"G", 7}};
// Our gauges with their track width (mm) and scale denominator ("Ilm" shares "G"'s and is left out).
constexpr struct {
  int Index;
  double WidthMm;
  double Ratio;
} kGauges[] = {{0, 6.5, 220}, {1, 9, 160}, {2, 12, 120}, {3, 16.5, 87},
               {4, 32, 45},   {5, 45, 32}, {7, 45, 22.5}};
constexpr double kWidthTolerance = 0.3;

bool IsScaleName(std::string_view word) {
  for (const auto& d : kDirectScales)
    if (gx::SameText(word, d.Name)) return true;
  for (const auto& f : kFormatScales)
    if (gx::SameText(word, f.Name)) return true;
  return false;
}

// ---- names ----

// Backslashes separate catalogue folders, so they become slashes; control characters become
// blanks, runs of blanks one, and the text is cut (on a character boundary) to a sane length.
std::string CleanName(std::string_view text, size_t maxBytes = 160) {
  std::string out;
  bool blank = false;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == ' ') {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += c == '\\' ? '/' : c;
  }
  if (out.size() > maxBytes) {
    size_t cut = maxBytes;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    out.resize(cut);
  }
  return std::string(gx::TrimText(out));
}

std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  std::string w;
  for (char c : text) {
    if (c == ' ' || c == '\t') {
      if (!w.empty()) words.push_back(std::move(w)), w.clear();
    } else {
      w += c;
    }
  }
  if (!w.empty()) words.push_back(std::move(w));
  return words;
}

bool IsScaleWord(const std::string& word) {
  const std::string w = gx::LowerCaseText(word);
  for (const char* generic : {"scale", "spur", "gauge", "maßstab", "massstab", "-", "/"})
    if (w == generic) return true;
  for (const char* suffix : {"-scale", "-spur"}) {
    const size_t n = std::char_traits<char>::length(suffix);
    if (w.size() > n && w.compare(w.size() - n, n, suffix) == 0)
      return IsScaleName(word.substr(0, word.size() - n));
  }
  return IsScaleName(word);
}

// Manufacturer and track system: the title's manufacturer field (the U line's when it is empty)
// is "<manufacturer> <system ...>"; a field of one word names only the manufacturer, and the
// system is then the library's heading without the manufacturer and the scale words.
void Names(const TRRTrackLibraryDefinition& d, const TRRTrackLibraryFile& file, std::string& manufacturer,
           std::string& system) {
  std::string field = CleanName(d.Manufacturer);
  if (field.empty() && d.Info.size() >= 3) field = CleanName(d.Info[2]);
  std::vector<std::string> words = Words(field);
  const std::string heading = CleanName(d.Contents.empty() ? file.Contents : d.Contents);
  if (words.empty()) words = Words(heading);
  if (words.empty()) {
    manufacturer = "Unbekannt";
    system = "Unbekannt";
    return;
  }
  manufacturer = words[0];
  std::string rest;
  for (size_t i = 1; i < words.size(); ++i) rest += (rest.empty() ? "" : " ") + words[i];
  if (rest.empty()) {
    for (const std::string& w : Words(heading))
      if (!gx::SameText(w, manufacturer) && !IsScaleWord(w) && !gx::SameText(w, d.Scale))
        rest += (rest.empty() ? "" : " ") + w;
  }
  system = rest.empty() ? manufacturer : rest;
}

std::string EntryName(const TRRTrackLibraryDefinition& d) {
  std::string name = CleanName(d.PartNumber + " " + d.Description);
  return name.empty() ? "Zeile " + std::to_string(d.Line) : name;
}

std::string DescriptionText(TRRTrackType type, const TRRTrackDesc& d) {
  const std::string label = RRTrackTypeDisplayName(type);
  const TRRTrackRouteDesc& r = *d.Route(0);
  switch (type) {
    case TRRTrackType::Straight:
    case TRRTrackType::BufferStop:
      if (r.Angle == 0) return label + ", " + Decimal((r.L1 + r.L2) * 10) + " mm";
      break;
    case TRRTrackType::Flexible:
      return label + ", " + Decimal(r.FlexL * 10) + " mm";
    case TRRTrackType::Curve:
      return label + (r.Angle > 0 ? " rechts" : " links") + ", R " + Decimal(std::fabs(r.Radius) * 10) +
             " mm, " + Decimal(std::fabs(r.Angle) / kDegree) + "°";
    default:
      break;
  }
  return label + ", " + std::to_string(d.RouteCount()) + " Fahrwege";
}

}  // namespace

const char* RRTrackRefusalLabel(TRRTrackRefusal refusal) {
  switch (refusal) {
    case TRRTrackRefusal::None:
      return "";
    case TRRTrackRefusal::Faulty:
      return "fehlerhafte Zeile";
    case TRRTrackRefusal::Truncated:
      return "ohne END";
    case TRRTrackRefusal::Scale:
      return "Maßstab ohne Gleissystem";
    case TRRTrackRefusal::NoPaths:
      return "ohne Fahrweg";
    case TRRTrackRefusal::BadSegment:
      return "Fahrweg nennt fehlendes Gleisstück";
    case TRRTrackRefusal::Absurd:
      return "unsinnige Zahlen";
    case TRRTrackRefusal::Broken:
      return "unterbrochener Fahrweg";
    case TRRTrackRefusal::Kink:
      return "Knick im Fahrweg";
    case TRRTrackRefusal::Easement:
      return "Übergangsbogen";
    case TRRTrackRefusal::SeveralArcs:
      return "mehrere Bögen";
    case TRRTrackRefusal::NotAtEndPoint:
      return "Fahrweg ohne Endpunkt";
    case TRRTrackRefusal::Direction:
      return "Richtung am Endpunkt";
    case TRRTrackRefusal::Mismatch:
      return "Fahrweg passt nicht zu den Endpunkten";
    case TRRTrackRefusal::Placement:
      return "Lage des Fahrwegs nicht darstellbar";
    case TRRTrackRefusal::Arrangement:
      return "unbekannte Gleisart";
  }
  return "";
}

int RRTrackLibraryGauge(std::string_view scale, const std::vector<TRRTrackLibraryScale>& fileScales,
                        std::string* reason) {
  for (const auto& d : kDirectScales)
    if (gx::SameText(scale, d.Name)) return d.Index;
  double width = 0, ratio = 0;
  for (const TRRTrackLibraryScale& s : fileScales)
    if (gx::SameText(s.Name, scale)) {
      width = s.GaugeInches * kMillimetresPerInch;
      ratio = s.Ratio;
      break;
    }
  if (width == 0)
    for (const TScaleInfo& f : kFormatScales)
      if (gx::SameText(f.Name, scale)) {
        width = f.WidthMm;
        ratio = f.Ratio;
        break;
      }
  if (width == 0) {
    if (reason) *reason = "Der Maßstab \"" + std::string(scale) + "\" ist unbekannt.";
    return -1;
  }
  int best = -1;
  double bestDistance = 0;
  for (const auto& g : kGauges) {
    if (std::fabs(g.WidthMm - width) > kWidthTolerance) continue;
    const double distance = ratio > 0 ? std::fabs(std::log(ratio / g.Ratio)) : 0;
    if (best < 0 || distance < bestDistance) best = g.Index, bestDistance = distance;
  }
  if (best < 0 && reason)
    *reason = "Zum Maßstab \"" + std::string(scale) + "\" mit " + Decimal(width) +
              " mm Spurweite gibt es kein Gleissystem.";
  return best;
}

TRRTrackLibraryPiece RRConvertTrackDefinition(const TRRTrackLibraryDefinition& definition,
                                              const TRRTrackLibraryFile& file) {
  TRRTrackLibraryPiece piece;
  piece.Line = definition.Line;
  piece.Name = EntryName(definition);
  Names(definition, file, piece.Manufacturer, piece.SystemName);
  auto refuse = [&](TRRTrackRefusal kind, std::string reason) {
    piece.Refusal = kind;
    piece.Reason = std::move(reason);
    return std::move(piece);
  };
  if (!definition.Fault.empty()) return refuse(TRRTrackRefusal::Faulty, definition.Fault);
  if (!definition.Ended)
    return refuse(TRRTrackRefusal::Truncated, "Die Definition endet ohne END (abgeschnitten).");
  std::string reason;
  piece.TrackWidth = RRTrackLibraryGauge(definition.Scale, file.Scales, &reason);
  if (piece.TrackWidth < 0) return refuse(TRRTrackRefusal::Scale, reason);

  TConverter converter(definition);
  if (auto refusal = converter.Run()) return refuse(refusal->Kind, refusal->Reason);

  auto d = std::make_unique<TRRTrackDesc>(converter.Type);
  for (size_t k = 0; k < converter.Placed.size(); ++k) {
    const TPlaced& p = converter.Placed[k];
    auto route = std::make_unique<TRRTrackRouteDesc>();
    if (converter.Type == TRRTrackType::Flexible) {
      route->FlexL = static_cast<float>(p.L1 * kCentimetresPerInch);
    } else {
      route->Shift = static_cast<float>(p.Shift * kCentimetresPerInch);
      route->L1 = static_cast<float>(p.L1 * kCentimetresPerInch);
      route->Angle = static_cast<float>(p.Angle);
      route->Radius = static_cast<float>(std::copysign(std::fabs(p.Radius), p.Angle) * kCentimetresPerInch);
      route->L2 = static_cast<float>(p.L2 * kCentimetresPerInch);
      route->Rotation = static_cast<float>(p.Rotation);
    }
    d->AddRoute(std::move(route));
  }
  d->SetActiveRoute(converter.ActiveRoute);
  d->SetTrackWidth(static_cast<uint8_t>(piece.TrackWidth));
  d->Name().SetText(gx::GX_LANG_GERMAN, piece.Name, true);
  d->Description().SetText(gx::GX_LANG_GERMAN, DescriptionText(converter.Type, *d), true);
  d->Manufacturer().SetText(gx::GX_LANG_GERMAN, piece.Manufacturer, true);
  d->TrackSystemName().SetText(gx::GX_LANG_GERMAN, piece.SystemName, true);
  const std::string path = std::string(RRTrackLibraryFolder) + "\\" + piece.Manufacturer + "\\" +
                           RRTrackSystemName(piece.TrackWidth) + "\\" + piece.SystemName + "\\" + piece.Name;
  d->SetCataloguePath(path);
  d->SetAssetID(RRTrackAssetID(path));
  piece.Description = std::move(d);
  return piece;
}

std::vector<TRRTrackLibraryPiece> RRConvertTrackLibrary(const TRRTrackLibraryFile& file) {
  std::vector<TRRTrackLibraryPiece> pieces;
  pieces.reserve(file.Definitions.size());
  std::map<std::string, int> seen;  // folded catalogue paths of this file
  for (const TRRTrackLibraryDefinition& d : file.Definitions) {
    TRRTrackLibraryPiece piece = RRConvertTrackDefinition(d, file);
    if (piece.Description) {
      const std::string path = piece.Description->CataloguePath();
      int& count = seen[gx::LowerCaseText(path)];
      if (++count > 1) {
        std::string unique;
        for (int k = count;; ++k) {
          unique = path + " (" + std::to_string(k) + ")";
          if (seen.find(gx::LowerCaseText(unique)) == seen.end()) break;
        }
        seen[gx::LowerCaseText(unique)] = 1;
        piece.Name = unique.substr(unique.rfind('\\') + 1);
        piece.Description->Name().SetText(gx::GX_LANG_GERMAN, piece.Name, true);
        piece.Description->SetCataloguePath(unique);
        piece.Description->SetAssetID(RRTrackAssetID(unique));
      }
    }
    pieces.push_back(std::move(piece));
  }
  return pieces;
}

}  // namespace rr
