// The gap solver: candidates, the search frame, the search rules (tolerance, prefix, cap), the
// fast search against the plain one, totals and texts, the worker, and laying a solution.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <random>
#include <thread>

#include "app/RRUnits.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "app/entities/track/RRTrackSolver.h"
#include "engine/core/GXException.h"
#include "tests/app/ManagerTestSupport.h"

using namespace rr;
using gx::TGXVector3;

namespace {

std::unique_ptr<TRRTrackDesc> Piece(TRRTrackType type, const std::string& system, float l1, float angle = 0,
                                    float radius = 0, float l2 = 0, uint8_t width = 3) {
  auto d = std::make_unique<TRRTrackDesc>(type);
  d->TrackSystemName().SetUserText(system);
  d->SetTrackWidth(width);
  auto r = std::make_unique<TRRTrackRouteDesc>();
  r->L1 = l1;
  r->Angle = angle;
  r->Radius = radius;
  r->L2 = l2;
  d->AddRoute(std::move(r));
  return d;
}

TSolutionTrack Straight(float l) { return {nullptr, l, 0, 0, 0, 0}; }
TSolutionTrack Curve(float angle, float radius, int entry = 0) {
  return {nullptr, 0, angle, radius, 0, entry};
}

TRRSolverProblem Problem(std::vector<TSolutionTrack> candidates, TGXVector3 target, int pieces = 2,
                         float tolerance = 0.2f) {
  TRRSolverProblem p;
  p.Candidates = std::move(candidates);
  p.Target = target;
  p.MaxPieces = pieces;
  p.Tolerance = tolerance;
  return p;
}

std::vector<std::vector<int32_t>> Sequences(const std::vector<TRRSolverSolution>& list) {
  std::vector<std::vector<int32_t>> out;
  for (const auto& s : list) out.push_back(s.Candidates);
  return out;
}

}  // namespace

TEST(TrackSolver, CandidatesAreTheSystemsStraightsAndCurvesWithCurvesMirrored) {
  TRREntityDescriptionList list(true);
  list.Add(Piece(TRRTrackType::Straight, "Profilgleis", 18.83f));
  list.Add(Piece(TRRTrackType::Curve, "Profilgleis", 1, 0.5f, 36, 2));
  list.Add(Piece(TRRTrackType::Straight, "PROFILGLEIS", 9.42f));                       // case ignored
  list.Add(Piece(TRRTrackType::Straight, "Profilgleis", 5, 0, 0, 0, 1));               // another gauge
  list.Add(Piece(TRRTrackType::Straight, "Bettungsgleis", 5));                         // another system
  list.Add(Piece(TRRTrackType::Switch, "Profilgleis", 18.83f));                        // no switch
  list.Add(Piece(TRRTrackType::Straight, "Profilgleis", std::nanf(""), 0, 0, -3.0f));  // cleaned to 0
  const auto c = RRSolutionCandidates(list, "profilgleis", 3);
  ASSERT_EQ(c.size(), 5u);
  EXPECT_EQ(c[0].Description, list.Item(0));
  EXPECT_FLOAT_EQ(c[0].L1, 18.83f);
  EXPECT_EQ(c[0].Entry, 0);
  // The curve as stored, then entered from its end: angle and radius negated, lead-in and
  // lead-out swapped.
  EXPECT_EQ(c[1].Description, list.Item(1));
  EXPECT_EQ(c[2].Description, list.Item(1));
  EXPECT_EQ(c[1].Entry, 0);
  EXPECT_EQ(c[2].Entry, 1);
  EXPECT_FLOAT_EQ(c[1].Angle, 0.5f);
  EXPECT_FLOAT_EQ(c[2].Angle, -0.5f);
  EXPECT_FLOAT_EQ(c[2].Radius, -36);
  EXPECT_FLOAT_EQ(c[2].L1, 2);
  EXPECT_FLOAT_EQ(c[2].L2, 1);
  EXPECT_EQ(c[3].Description, list.Item(2));
  EXPECT_EQ(c[4].L1, 0);
  EXPECT_EQ(c[4].L2, 0);
}

TEST(TrackSolver, FrameLaysTheGapAlongForward) {
  // A gap of 30 along +X from a start heading along +X tilted upwards: the target lies straight
  // ahead and the heading is flattened.
  const TRRSolverFrame f = RRSolverFrame({5, 1, 2}, gx::GXVec3Normalize({1, 0.5f, 0}), {35, 1, 2});
  ASSERT_TRUE(f.Valid);
  EXPECT_NEAR(f.Target.x, 0, 1e-5f);
  EXPECT_NEAR(f.Target.y, 0, 1e-5f);
  EXPECT_NEAR(f.Target.z, 30, 1e-4f);
  EXPECT_NEAR(f.HeadingX, 0, 1e-6f);
  EXPECT_NEAR(f.HeadingZ, 1, 1e-6f);
  // Side is Y x forward.
  EXPECT_NEAR(f.Side.z, -1, 1e-6f);
  EXPECT_NEAR(f.Up.y, 1, 1e-6f);
}

TEST(TrackSolver, DegenerateFramesSayWhyAndNeverGiveNaN) {
  const float nan = std::nanf("");
  struct TCase {
    TGXVector3 Start, Outward, End;
    const char* Problem;
  } cases[] = {
      {{1, 2, 3}, {0, 0, 1}, {1, 2, 3}, RRTextGapVertical},         // no gap
      {{1, 2, 3}, {0, 0, 1}, {1, 12, 3}, RRTextGapVertical},        // straight up
      {{0, 0, 0}, {0, 1, 0}, {10, 0, 0}, RRTextStartVertical},      // start points up
      {{0, 0, 0}, {0, 0, 0}, {10, 0, 0}, RRTextStartVertical},      // no direction at all
      {{nan, 0, 0}, {0, 0, 1}, {10, 0, 0}, RRTextGapVertical},      // corrupt position
      {{0, 0, 0}, {nan, 0, nan}, {10, 0, 0}, RRTextStartVertical},  // corrupt direction
  };
  for (const TCase& c : cases) {
    const TRRSolverFrame f = RRSolverFrame(c.Start, c.Outward, c.End);
    EXPECT_FALSE(f.Valid);
    EXPECT_STREQ(f.Problem.c_str(), c.Problem);
  }
}

TEST(TrackSolver, ToleranceBorderAndCountRules) {
  struct TCase {
    std::vector<TSolutionTrack> Candidates;
    TGXVector3 Target;
    int Pieces;
    std::vector<std::vector<int32_t>> Want;
  } cases[] = {
      // 0.15 from the target is in, 0.25 is out (default tolerance 0.2).
      {{Straight(20)}, {0, 0, 20.15f}, 1, {{0}}},
      {{Straight(20)}, {0, 0, 20.25f}, 1, {}},
      {{Straight(20)}, {0, 0.15f, 20}, 1, {{0}}},
      // A straight of 20 at count 1; at count 2 also two of 10, and a solution is never extended.
      {{Straight(20), Straight(10)}, {0, 0, 20}, 1, {{0}}},
      {{Straight(20), Straight(10)}, {0, 0, 20}, 2, {{0}, {1, 1}}},
      {{Straight(10), Straight(0)}, {0, 0, 10}, 2, {{0}, {1, 0}}},
      // A left-hand gap is bridged by the curve entered from its end (the mirrored candidate).
      {{Curve(0.5f, 36), Curve(-0.5f, -36, 1)},
       {-36 * (1 - std::cos(0.5f)), 0, 36 * std::sin(0.5f)},
       1,
       {{1}}},
  };
  for (const TCase& c : cases) {
    const TRRSolverProblem p = Problem(c.Candidates, c.Target, c.Pieces);
    EXPECT_EQ(Sequences(RRSolveGapPlain(p)), c.Want);
    const auto found = RRSolveGap(p);
    EXPECT_EQ(Sequences(found), c.Want);
    // The error the window shows is what the search measured: below the tolerance.
    for (const TRRSolverSolution& s : found) EXPECT_LT(RRSolutionError(p, s), p.Tolerance);
  }
  // A straight of 10 towards a target 20 ahead misses by 10; an unknown candidate never fits.
  const TRRSolverProblem half = Problem({Straight(10)}, {0, 0, 20});
  EXPECT_NEAR(RRSolutionError(half, {{0}, {0}}), 10.0f, 1e-5f);
  EXPECT_NEAR(RRSolutionError(half, {{0, 0}, {0, 0}}), 0.0f, 1e-5f);
  EXPECT_TRUE(std::isinf(RRSolutionError(half, {{3}, {0}})));
  // Entries travel with the solution.
  const auto mirrored = RRSolveGap(Problem(cases[6].Candidates, cases[6].Target, 1));
  ASSERT_EQ(mirrored.size(), 1u);
  EXPECT_EQ(mirrored[0].Entries, std::vector<int32_t>{1});
}

TEST(TrackSolver, AtMostTwentySolutionsTheFirstInOrder) {
  std::vector<TSolutionTrack> same(30, Straight(10));
  for (int pieces = 1; pieces <= 3; ++pieces) {
    const TRRSolverProblem p = Problem(same, {0, 0, 10}, pieces);
    const auto plain = RRSolveGapPlain(p), fast = RRSolveGap(p);
    ASSERT_EQ(plain.size(), 20u);
    for (int32_t i = 0; i < 20; ++i) EXPECT_EQ(plain[size_t(i)].Candidates, std::vector<int32_t>{i});
    EXPECT_EQ(fast, plain);
  }
}

// Random catalogues and gaps, many of them closable (the target is where a random combination
// ends), some with equal pieces: the fast search gives exactly the plain search's list.
TEST(TrackSolver, FastSearchGivesThePlainSearchesSolutionsInOrder) {
  std::mt19937 rng(4711);
  std::uniform_real_distribution<float> unit(0, 1);
  int withSolutions = 0;
  for (int round = 0; round < 300; ++round) {
    const int pieces = 1 + int(rng() % 5);
    const int n = 1 + int(rng() % (pieces >= 4 ? 7 : 14));
    std::vector<TSolutionTrack> c;
    for (int i = 0; i < n; ++i) {
      if (!c.empty() && rng() % 5 == 0) {
        c.push_back(c[rng() % c.size()]);  // equal numbers
      } else if (rng() % 3 == 0) {
        c.push_back(Straight(1 + 30 * unit(rng)));
      } else {
        const float a = 0.05f + unit(rng), r = 20 + 60 * unit(rng);
        c.push_back({nullptr, 3 * unit(rng), a, r, 3 * unit(rng), 0});
        c.push_back({nullptr, c.back().L2, -a, -r, c.back().L1, 1});
      }
    }
    TRRSolverProblem p = Problem(c, {}, pieces, 0.01f + unit(rng));
    const float heading = 6.28f * unit(rng);
    p.HeadingX = std::sin(heading);
    p.HeadingZ = std::cos(heading);
    if (rng() % 4) {
      // End of a random combination, a little off.
      float x = 0, z = 0, hx = p.HeadingX, hz = p.HeadingZ;
      for (int k = 0, m = 1 + int(rng() % pieces); k < m; ++k) {
        const TSolutionTrack& t = c[rng() % c.size()];
        x += hx * t.L1, z += hz * t.L1;
        if (t.Angle * t.Radius > 0) {
          const float s = t.Radius - t.Radius * std::cos(t.Angle), f = t.Radius * std::sin(t.Angle);
          x += hz * s + hx * f, z += -hx * s + hz * f;
          const float nx = hx * std::cos(t.Angle) + hz * std::sin(t.Angle);
          hz = -hx * std::sin(t.Angle) + hz * std::cos(t.Angle), hx = nx;
        }
        x += hx * t.L2, z += hz * t.L2;
      }
      p.Target = {x + 0.3f * (unit(rng) - 0.5f), 0.05f * unit(rng), z + 0.3f * (unit(rng) - 0.5f)};
    } else {
      p.Target = {200 * (unit(rng) - 0.5f), 0, 200 * unit(rng)};
    }
    const auto plain = RRSolveGapPlain(p);
    withSolutions += !plain.empty();
    ASSERT_EQ(RRSolveGap(p), plain) << "round " << round;
  }
  EXPECT_GT(withSolutions, 100);
}

TEST(TrackSolver, AbsurdNumbersEndTheSearchAndBothAgree) {
  const float nan = std::nanf(""), inf = std::numeric_limits<float>::infinity(), huge = 3e38f;
  const std::vector<TSolutionTrack> candidates = {
      {nullptr, nan, 0.3f, 20, 0, 0}, {nullptr, 10, nan, nan, 0, 0},     {nullptr, huge, 0, 0, huge, 0},
      {nullptr, 1, inf, 10, 0, 0},    {nullptr, -5, 1e30f, 1e30f, 2, 0}, Straight(10)};
  const TGXVector3 targets[] = {{0, 0, 10}, {nan, 0, 10}, {0, 0, inf}, {0, 0, huge}};
  for (const TGXVector3& t : targets)
    for (float tolerance : {0.2f, nan, -1.0f, huge}) {
      TRRSolverProblem p = Problem(candidates, t, 4, tolerance);
      EXPECT_EQ(RRSolveGap(p), RRSolveGapPlain(p));
      p.HeadingX = nan;
      EXPECT_EQ(RRSolveGap(p), RRSolveGapPlain(p));
    }
  // A sane catalogue with a huge heading still agrees.
  TRRSolverProblem p = Problem({Straight(10)}, {0, 0, 10}, 2);
  p.HeadingZ = 1e20f;
  EXPECT_EQ(RRSolveGap(p), RRSolveGapPlain(p));
}

TEST(TrackSolver, TotalsSaturateAndPercentsNeverDivideByZero) {
  EXPECT_EQ(RRSolverTotal(0, 5), 0u);
  EXPECT_EQ(RRSolverTotal(37, 5), 37ull + 1369 + 50653 + 1874161 + 69343957);
  EXPECT_EQ(RRSolverTotal(70000, 5), std::numeric_limits<uint64_t>::max());
  EXPECT_EQ(RRSolverTotal(std::numeric_limits<uint64_t>::max(), 1), std::numeric_limits<uint64_t>::max());
  EXPECT_EQ(RRSolverPercent(0, 0), 100);
  EXPECT_EQ(RRSolverPercent(1, 3), 33);
  EXPECT_EQ(RRSolverPercent(5, 3), 100);
  EXPECT_EQ(RRSolverPercent(std::numeric_limits<uint64_t>::max() / 2, std::numeric_limits<uint64_t>::max()),
            50);
  EXPECT_EQ(RRFormatInteger(0, "."), "0");
  EXPECT_EQ(RRFormatInteger(999, "."), "999");
  EXPECT_EQ(RRFormatInteger(1000, "."), "1.000");
  EXPECT_EQ(RRFormatInteger(71270177, "'"), "71'270'177");
  EXPECT_EQ(RRFormatInteger(std::numeric_limits<uint64_t>::max(), "."), "18.446.744.073.709.551.615");
  EXPECT_EQ(RRSolverProgressText(1000), "Berechne Kombinationen (max. " + RRFormatInteger(1000) + "):");
}

// ---- the worker ----

namespace {

// A search that takes long: many candidates, five pieces, no solution.
TRRSolverProblem LongProblem() {
  std::vector<TSolutionTrack> c;
  for (int i = 0; i < 60; ++i) c.push_back(Straight(1 + 0.01f * float(i)));
  return Problem(c, {0, 0, 3.333f}, 5, 0.0001f);
}

void WaitUntilDone(TSolutionThread& t) {
  while (t.Running()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

}  // namespace

TEST(SolutionThread, PostsTheSearchesSolutionsAndEndsAtTheTotal) {
  const TRRSolverProblem p = Problem({Straight(20), Straight(10), Straight(5)}, {0, 0, 20}, 3);
  TSolutionThread t;
  t.Start(p);
  WaitUntilDone(t);
  EXPECT_TRUE(t.Finished());
  std::vector<TRRSolverSolution> got;
  EXPECT_EQ(t.TakeSolutions(got), int(RRSolveGapPlain(p).size()));
  EXPECT_EQ(got, RRSolveGapPlain(p));
  EXPECT_EQ(t.TakeSolutions(got), 0);
  EXPECT_EQ(t.Counter(), t.Total());
  EXPECT_EQ(t.Percent(), 100);
  EXPECT_EQ(t.ResultText(), "");

  // Without candidates: finished at once, 100 %, no solution.
  t.Start(Problem({}, {0, 0, 20}));
  WaitUntilDone(t);
  EXPECT_EQ(t.Total(), 0u);
  EXPECT_EQ(t.Percent(), 100);
  EXPECT_EQ(t.ResultText(), RRTextNoSolution);
}

TEST(SolutionThread, CancelRestartAndStalePosts) {
  TSolutionThread t;
  t.Start(LongProblem(), false);
  const uint32_t first = t.Generation();
  EXPECT_TRUE(t.Running());
  t.Cancel();
  EXPECT_FALSE(t.Running());
  EXPECT_FALSE(t.Finished());

  // A restart clears the list and drops what the old generation still posts.
  t.Start(LongProblem(), false);
  t.Post(first, {{0}, {0}});
  t.Post(t.Generation(), {{1}, {0}});
  std::vector<TRRSolverSolution> got;
  EXPECT_EQ(t.TakeSolutions(got), 1);
  EXPECT_EQ(got[0].Candidates, std::vector<int32_t>{1});
  t.Start(Problem({Straight(20)}, {0, 0, 20}, 1));
  EXPECT_GT(t.Generation(), first + 1);
  WaitUntilDone(t);
  got.clear();
  EXPECT_EQ(t.TakeSolutions(got), 1);
  EXPECT_EQ(got[0].Candidates, std::vector<int32_t>{0});
  t.Post(first, {{0}, {0}});
  EXPECT_EQ(t.SolutionCount(), 1);
}

TEST(SolutionThread, DestroyingWhileRunningStopsTheSearch) {
  for (bool fast : {false, true}) {
    auto t = std::make_unique<TSolutionThread>();
    t->Start(LongProblem(), fast);
    t.reset();
  }
}

// ---- laying a solution ----

namespace {

class SolutionTracks : public ::testing::Test {
 protected:
  mgrtest::TTestProject P;
  TRREntityDescriptionList Catalogue{true};

  TRRTrack* Place(float length, TGXVector3 position, float heading) {
    std::unique_ptr<TRRTrackDesc> d = Piece(TRRTrackType::Straight, "Test", length);
    d->SetID(P.M().NextID());
    P.M().ReserveIDs(1);
    d->SetPosition(position);
    d->SetRotation(gx::GXQuaternionRotationAxis({0, 1, 0}, heading));
    auto* t = dynamic_cast<TRRTrack*>(P.M().CreateEntity(nullptr, *d));
    P.Scene.Root()->Update(false);
    return t;
  }
  static int32_t PartnerID(TRRTrackRouteContact* c) {
    bool blocked = false;
    TRRTrackRouteContact* p = c->FindPartner(blocked);
    return p ? p->Route()->Track()->ID() : 0;
  }
  // Solves the gap between a and b and lays the first solution.
  std::vector<TRRTrack*> Close(TRRTrack* a, TRRTrack* b, int pieces) {
    const TRRGapContacts ends = RRFindGapContacts(*a, *b);
    EXPECT_EQ(ends.Problem, "");
    if (!ends.Start) return {};
    const TRRSolverFrame f = RRSolverFrame(ends.Start->GetWorldPosition(), ends.Start->GetWorldOutward(),
                                           ends.End->GetWorldPosition());
    EXPECT_TRUE(f.Valid);
    TRRSolverProblem p = Problem(RRSolutionCandidates(Catalogue, "test", 3), f.Target, pieces);
    p.HeadingX = f.HeadingX;
    p.HeadingZ = f.HeadingZ;
    const auto solutions = RRSolveGap(p);
    EXPECT_FALSE(solutions.empty());
    if (solutions.empty()) return {};
    return RRCreateSolutionTracks(P.M(), *ends.Start, p.Candidates, solutions[0]);
  }
};

}  // namespace

TEST_F(SolutionTracks, ContactPairAndItsMessages) {
  TRRTrack* a = Place(20, {0, 0, 0}, 0);
  TRRTrack* b = Place(20, {0, 0, 40}, 0);
  const TRRGapContacts ends = RRFindGapContacts(*a, *b);
  EXPECT_EQ(ends.Start, a->GetRoute(0)->Contact(1));
  EXPECT_EQ(ends.End, b->GetRoute(0)->Contact(0));
  // A fixed contact is taken as it is.
  EXPECT_EQ(RRFindGapContacts(*a, *b, 0, 1).End, b->GetRoute(0)->Contact(1));
  // Connected contacts do not count: with the gap filled only the outer ends are left, and with
  // those taken too there is nothing.
  Place(20, {0, 0, 20}, 0);
  EXPECT_EQ(RRFindGapContacts(*a, *b).Start, a->GetRoute(0)->Contact(0));
  EXPECT_EQ(RRFindGapContacts(*a, *b).End, b->GetRoute(0)->Contact(1));
  Place(20, {0, 0, -20}, 0);
  Place(20, {0, 0, 60}, 0);
  EXPECT_EQ(RRFindGapContacts(*a, *b).Problem, RRTextNoFreeContacts);

  std::unique_ptr<TRRTrackDesc> other = Piece(TRRTrackType::Straight, "Anders", 20);
  other->SetID(P.M().NextID());
  P.M().ReserveIDs(1);
  auto* d = dynamic_cast<TRRTrack*>(P.M().CreateEntity(nullptr, *other));
  EXPECT_EQ(RRFindGapContacts(*a, *d).Problem, RRTextDifferentTrackSystems);
}

TEST_F(SolutionTracks, LaidPiecesConnectBothEndsAndUndoAsOneCommand) {
  Catalogue.Add(Piece(TRRTrackType::Straight, "Test", 10));
  Catalogue.Add(Piece(TRRTrackType::Curve, "Test", 0, 0.5f, 36));
  TRRTrack* a = Place(20, {3, 0, 1}, 0.2f);
  // b starts where a right curve entered from its end (bending left), then a straight of 10, end.
  const TGXVector3 end = a->GetRoute(0)->Contact(1)->GetWorldPosition();
  const float h0 = 0.2f, h1 = 0.2f - 0.5f;
  const TGXVector3 arcEnd = end + TGXVector3{std::sin(h0), 0, std::cos(h0)} * (36 * std::sin(0.5f)) -
                            TGXVector3{std::cos(h0), 0, -std::sin(h0)} * (36 * (1 - std::cos(0.5f)));
  TRRTrack* b = Place(20, arcEnd + TGXVector3{std::sin(h1), 0, std::cos(h1)} * 10, h1);
  const int historyBefore = P.Hist->Count();

  const std::vector<TRRTrack*> made = Close(a, b, 2);
  ASSERT_EQ(made.size(), 2u);
  P.Scene.Root()->Update(false);
  EXPECT_EQ(made[0]->Type(), TRRTrackType::Curve);
  EXPECT_EQ(PartnerID(a->GetRoute(0)->Contact(1)), made[0]->ID());
  EXPECT_EQ(PartnerID(b->GetRoute(0)->Contact(0)), made[1]->ID());
  EXPECT_EQ(P.M().Selection().Count(), 2);
  ASSERT_EQ(P.Hist->Count(), historyBefore + 1);
  EXPECT_EQ(P.Hist->Command(P.Hist->Current())->ChildCount(), 2);

  const int32_t ids[2] = {made[0]->ID(), made[1]->ID()};
  P.Hist->Undo();
  EXPECT_EQ(P.M().FindByID(ids[0]), nullptr);
  EXPECT_EQ(P.M().FindByID(ids[1]), nullptr);
  EXPECT_EQ(PartnerID(a->GetRoute(0)->Contact(1)), 0);
  P.Hist->Redo();
  P.Scene.Root()->Update(false);
  ASSERT_NE(P.M().FindByID(ids[0]), nullptr);
  EXPECT_EQ(PartnerID(a->GetRoute(0)->Contact(1)), ids[0]);
  EXPECT_EQ(PartnerID(b->GetRoute(0)->Contact(0)), ids[1]);
}

TEST_F(SolutionTracks, APieceThatCannotBeMadeTakesBackTheWholeSolution) {
  Catalogue.Add(Piece(TRRTrackType::Straight, "Test", 10));
  // A description without routes: no track can be laid from it.
  auto broken = std::make_unique<TRRTrackDesc>(TRRTrackType::Straight);
  broken->TrackSystemName().SetUserText("Test");
  TRRTrack* a = Place(20, {0, 0, 0}, 0);
  TRRTrack* b = Place(20, {0, 0, 100}, 0);
  P.M().Selection().Add(b);
  const std::vector<TSolutionTrack> candidates = RRSolutionCandidates(Catalogue, "test", 3);
  ASSERT_EQ(candidates.size(), 1u);
  std::vector<TSolutionTrack> withBroken = candidates;
  withBroken.push_back({broken.get(), 10, 0, 0, 0, 0});
  const int tracks = P.M().Tracks().Count(), steps = P.Hist->Count();
  struct TCase {
    const char* What;
    TRRSolverSolution Solution;
  } cases[] = {
      {"bad description after a good piece", {{0, 0, 1}, {0, 0, 0}}},
      {"index past the candidates", {{0, 5}, {0, 0}}},
  };
  for (const TCase& c : cases) {
    EXPECT_THROW(RRCreateSolutionTracks(P.M(), *a->GetRoute(0)->Contact(1), withBroken, c.Solution),
                 gx::EInvalidParameter)
        << c.What;
    EXPECT_EQ(P.M().Tracks().Count(), tracks) << c.What;
    EXPECT_EQ(P.Hist->Count(), steps) << c.What;
    ASSERT_EQ(P.M().Selection().Count(), 1) << c.What;
    EXPECT_EQ(P.M().Selection().Item(0), b) << c.What;
  }
}
