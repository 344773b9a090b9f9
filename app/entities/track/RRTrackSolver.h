#pragma once
// The gap solver: finds sequences of catalogue straights and curves that close the gap between a
// free contact of one track and a free contact of another, and lays the chosen one.
//
// The pieces are laid in a plane frame: forward along the gap, side := Y x forward, up := forward
// x side; the target is the gap vector and the start heading the start contact's outward direction
// in that frame, flattened. Laying is pinned to single precision in one function that both searches
// call, so the plain depth-first search (kept as the reference) and the fast one give exactly the
// same solutions in the same order: pre-order over candidate indices, a combination ending closer
// than the tolerance is a solution and is not extended, at most RRSolverMaxSolutions.
//
// The fast search keeps that order and float state and only skips what provably holds nothing:
// a subtree whose reach (pieces left x longest chord plus a rounding margin) cannot get to the
// target, a sibling whose numbers equal those of an earlier sibling that found nothing, and the
// last two or three pieces are looked up in hash grids of their end points (each hit laid again
// with the plain code). Catalogues with numbers that are not finite or absurdly large are searched
// plainly.
//
// TSolutionThread runs a search on its own thread; the caller polls progress and solutions on its
// own timer (nothing is ever handed over synchronously, so the worker never waits for the caller).

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/core/GXMath.h"

namespace rr {

class TRREntityDescriptionList;
class TRREntityManager;
class TRRTrack;
class TRRTrackDesc;
class TRRTrackRouteContact;

inline constexpr const char* RRCaptionTrackSolution = "Gleislösung";
inline constexpr const char* RRTextTrackSolutionHint =
    "Sucht eine mögliche Verbindung zwischen zwei ausgewählten Gleisen.";
inline constexpr const char* RRCaptionIncompatibleTracks = "Inkompatible Gleise";
inline constexpr const char* RRTextDifferentTrackSystems =
    "Die ausgewählten Gleise unterscheiden sich im Gleissystem.";
inline constexpr const char* RRTextNoFreeContacts =
    "Die ausgewählten Gleise bieten keine freien Kontaktmöglichkeiten. Bedenken Sie, dass nur die aktiven "
    "Spuren von Weichen zur Lösung einbezogen werden.";
// %s: the total, grouped by thousands (RRFormatInteger).
inline constexpr const char* RRTextSolverProgress = "Berechne Kombinationen (max. %s):";
inline constexpr const char* RRTextNoSolution = "Keine Lösung gefunden.";
// %s: the track system's name.
inline constexpr const char* RRTextSolverSystemHint =
    "Es werden alle geraden und gebogenen Gleise aus dem Gleissystem \"%s\" berücksichtigt.";
inline constexpr const char* RRCaptionCreateTracks = "Gleise erzeugen";
// Why a gap cannot be searched in a plane.
inline constexpr const char* RRTextGapVertical =
    "Die beiden Gleisenden liegen genau übereinander; die Lücke lässt sich nicht in der Ebene schließen.";
inline constexpr const char* RRTextStartVertical =
    "Das Startgleis zeigt senkrecht zur Lücke; die Lücke lässt sich nicht in der Ebene schließen.";

inline constexpr int RRSolverMaxSolutions = 20;
inline constexpr int RRSolverMinPieces = 1, RRSolverMaxPieces = 5, RRSolverDefaultPieces = 2;
// The tolerance in tenths of a world unit.
inline constexpr int RRSolverMinTolerance = 1, RRSolverMaxTolerance = 10, RRSolverDefaultTolerance = 2;

// A candidate piece: route 0 of a catalogue straight or curve, entered at contact Entry (1: a
// curve entered from its end, which mirrors it: Angle and Radius negated, L1 and L2 swapped).
struct TSolutionTrack {
  const TRRTrackDesc* Description = nullptr;
  float L1 = 0;
  float Angle = 0;
  float Radius = 0;
  float L2 = 0;
  int Entry = 0;
};

// The candidates among the descriptions (in their order): every straight and curve of the track
// system (name compared ignoring case) and gauge; a straight once with entry 0, a curve as stored
// with entry 0 and mirrored with entry 1. Numbers that are not finite count as 0, and so do
// negative lengths, as on a placed track.
std::vector<TSolutionTrack> RRSolutionCandidates(const TRREntityDescriptionList& descriptions,
                                                 const std::string& systemName, int trackWidth);

// The contacts to close the gap between: the nearest pair (strictly smaller squared distance wins)
// of an enabled, unconnected contact of each track, switchable tracks offering only their active
// route. A contact index of 0 or 1 fixes that track's contact on its active route. Problem is one
// of the two messages (title RRCaptionIncompatibleTracks) when the tracks differ in system or
// gauge or offer no pair.
struct TRRGapContacts {
  TRRTrackRouteContact* Start = nullptr;
  TRRTrackRouteContact* End = nullptr;
  std::string Problem;
};
TRRGapContacts RRFindGapContacts(TRRTrack& first, TRRTrack& second, int firstContact = -1,
                                 int secondContact = -1);

// The search frame of a gap. Valid is false (Problem says why) for a zero or vertical gap and for
// a start heading that is vertical in the frame.
struct TRRSolverFrame {
  bool Valid = false;
  std::string Problem;
  gx::TGXVector3 Side{1, 0, 0}, Up{0, 1, 0}, Forward{0, 0, 1};
  gx::TGXVector3 Target{0, 0, 0};
  float HeadingX = 0, HeadingZ = 1;
};
TRRSolverFrame RRSolverFrame(const gx::TGXVector3& startPosition, const gx::TGXVector3& startOutward,
                             const gx::TGXVector3& endPosition);

// What a search works on (a copy of everything; the worker reads nothing else).
struct TRRSolverProblem {
  std::vector<TSolutionTrack> Candidates;
  gx::TGXVector3 Target{0, 0, 0};
  float HeadingX = 0, HeadingZ = 1;
  // World units; a combination ends closer than this to the target.
  float Tolerance = 0.2f;
  // Clamped to 1 ... RRSolverMaxPieces.
  int MaxPieces = RRSolverDefaultPieces;
};

// A solution: candidate indices and their entry contacts, piece by piece.
struct TRRSolverSolution {
  std::vector<int32_t> Candidates;
  std::vector<int32_t> Entries;
  bool operator==(const TRRSolverSolution&) const = default;
};

// How far the end of the solution's last piece lies from the target (world units), laid as the
// searches lay it; infinity for a solution naming a candidate the problem does not have.
float RRSolutionError(const TRRSolverProblem& problem, const TRRSolverSolution& solution);

// Sum of n^k for k = 1 ... maxPieces, saturating at UINT64_MAX.
uint64_t RRSolverTotal(uint64_t candidates, int maxPieces);
// "Berechne Kombinationen (max. 1.234.567):".
std::string RRSolverProgressText(uint64_t total);
// round(counter / total x 100) clamped to 0 ... 100; 100 when total is 0.
int RRSolverPercent(uint64_t counter, uint64_t total);

// How a search reports while it runs; every member may be null.
struct TRRSolverRun {
  const std::atomic<bool>* Stop = nullptr;
  std::atomic<uint64_t>* Counter = nullptr;
  std::function<void(const TRRSolverSolution&)> Found;
};

// The reference search, combination by combination.
std::vector<TRRSolverSolution> RRSolveGapPlain(const TRRSolverProblem& problem, TRRSolverRun* run = nullptr);
// The same solutions in the same order, much faster.
std::vector<TRRSolverSolution> RRSolveGap(const TRRSolverProblem& problem, TRRSolverRun* run = nullptr);

// Lays a solution ("Gleise erzeugen"): each piece made from its description with a fresh ID under
// the project node, its entry contact snapped (RRSnapTransform) onto the start contact for the
// first piece, else onto the previous piece's other contact; the new tracks become the selection
// and one command (a child per track) goes into the history. Returns the new tracks. A piece that
// cannot be made (a bad index or description) raises and takes back the pieces made before it.
std::vector<TRRTrack*> RRCreateSolutionTracks(TRREntityManager& manager, TRRTrackRouteContact& start,
                                              const std::vector<TSolutionTrack>& candidates,
                                              const TRRSolverSolution& solution);

// The worker of the gap solver window. Start hands it a problem built on the calling thread; the
// caller polls Counter/Percent and TakeSolutions on its timer. Restarting cancels the running
// search, starts a new generation and clears the solutions; solutions posted for an older
// generation are dropped.
class TSolutionThread {
 public:
  TSolutionThread() = default;
  // Cancels a running search.
  ~TSolutionThread();
  TSolutionThread(const TSolutionThread&) = delete;
  TSolutionThread& operator=(const TSolutionThread&) = delete;

  // fast = false runs the reference search (benchmarks and tests).
  void Start(TRRSolverProblem problem, bool fast = true);
  // Stops the search (it looks at the flag at every combination) and waits for the thread.
  void Cancel();

  uint32_t Generation() const { return FGeneration.load(); }
  bool Running() const { return FRunning.load(); }
  // The search of the current generation came to its end (not cancelled).
  bool Finished() const { return FFinished.load(); }
  uint64_t Counter() const { return FCounter.load(); }
  uint64_t Total() const { return FTotal.load(); }
  int Percent() const { return RRSolverPercent(Counter(), Total()); }
  std::string ProgressText() const { return RRSolverProgressText(Total()); }
  // "Keine Lösung gefunden." once finished without solution, else empty.
  std::string ResultText() const;

  // Appends the solutions posted since the last call; returns how many.
  int TakeSolutions(std::vector<TRRSolverSolution>& into);
  // Every solution of the current generation so far.
  int SolutionCount() const;

  // The worker's way in: a value copy into the box, dropped for another generation. Never waits
  // for the caller.
  void Post(uint32_t generation, const TRRSolverSolution& solution);

 private:
  std::thread FThread;
  std::atomic<bool> FStop{false};
  std::atomic<bool> FRunning{false};
  std::atomic<bool> FFinished{false};
  std::atomic<uint32_t> FGeneration{0};
  std::atomic<uint64_t> FCounter{0};
  std::atomic<uint64_t> FTotal{0};
  mutable std::mutex FBoxLock;
  std::vector<TRRSolverSolution> FBox;
  size_t FTaken = 0;
};

}  // namespace rr
