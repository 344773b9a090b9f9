#pragma once
// The window "Gleislösung" (Extras menu): searches sequences of catalogue straights and curves
// that close the gap between free ends of two tracks (the two selected ones, or two chosen in the
// window), lists the solutions with their piece count and remaining error, and lays the chosen
// one as one undo step.
//
// The search runs on a worker thread. It gets a copy of everything it needs, never touches a
// widget, and reports each solution and its end to the window's thread through queued calls that
// carry the generation of the search; the window reads the combination counter (an atomic) on a
// timer for the progress bar. Every change of the tracks, the piece count or the tolerance stops
// the running search, joins its thread and starts a new generation, so reports of an older search
// are dropped. Closing the window stops and joins the thread before anything else goes.
//
// The window keeps track IDs, not tracks: laying looks the tracks up again, so a track that went
// away in the meantime is told, never touched.

#include <QDialog>
#include <QSpinBox>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/entities/RREntityDescription.h"
#include "app/entities/track/RRTrackSolver.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace rr {

class IRRUIService;
class TRRGlobal;
class TRRProject;
class TRRTrack;

inline constexpr const char* RRTextChooseTwoTracks = "Wählen Sie zwei Gleise mit freien Enden.";
inline constexpr const char* RRTextSameTrackTwice = "Wählen Sie zwei verschiedene Gleise.";
// %s: the track system's name.
inline constexpr const char* RRTextNoCandidates =
    "Im Katalog gibt es keine geraden oder gebogenen Gleise des Gleissystems \"%s\".";
inline constexpr const char* RRTextSolverFailed = "Die Suche ist fehlgeschlagen: %s";
inline constexpr const char* RRTextSolutionTracksGone =
    "Die Gleise der Lücke gibt es nicht mehr. Wählen Sie die Gleise neu aus.";
// %d of %d: the shown solution and how many there are.
inline constexpr const char* RRTextSolutionOf = "Lösung (%1 von %2)";

// The tolerance box: its value is tenths of a world unit (1 ... 10); it shows and takes the
// length in the user's display unit. A typed length is rounded to tenths and taken only within
// the range.
class TToleranceBox : public QSpinBox {
  Q_OBJECT

 public:
  TToleranceBox(float unitFactor, std::string unitName, QWidget* parent = nullptr);
  // The tenths a typed text means; nothing when it is no number or out of range.
  std::optional<int> TenthsOf(const QString& text) const;

 protected:
  QString textFromValue(int value) const override;
  int valueFromText(const QString& text) const override;
  QValidator::State validate(QString& input, int& pos) const override;

 private:
  float FFactor;
  std::string FUnit;
};

class TTrackSolutionWindow : public QDialog {
  Q_OBJECT

 public:
  TTrackSolutionWindow(TRRProject& project, TRRGlobal& global, IRRUIService& ui, QWidget* parent = nullptr);
  // Stops and joins the search.
  ~TTrackSolutionWindow() override;

  // Chooses the two tracks by ID (the boxes follow) and starts the search. Returns why the gap
  // cannot be searched (the texts of the core's check), empty when the search runs.
  std::string SetTracks(int32_t first, int32_t second);
  // Why the current choice cannot be searched; empty while searching or after a search.
  const std::string& Problem() const { return FProblem; }

  QComboBox* FirstBox() const { return FFirst; }
  QComboBox* SecondBox() const { return FSecond; }
  QSpinBox* PiecesBox() const { return FPieces; }
  TToleranceBox* ToleranceBox() const { return FTolerance; }
  QProgressBar* ProgressBar() const { return FProgress; }
  QLabel* StatusLabel() const { return FStatus; }
  QTreeWidget* SolutionList() const { return FSolutionList; }
  QTreeWidget* PieceList() const { return FPieceList; }
  QLabel* SolutionLabel() const { return FSolutionLabel; }
  QPushButton* CreateButton() const { return FCreate; }

  // A search runs (its thread has not reported its end yet).
  bool Searching() const { return FSearching; }
  // Searches started so far (every restart counts).
  uint32_t Generation() const { return FGeneration; }
  const std::vector<TRRSolverSolution>& Solutions() const { return FSolutions; }
  // The remaining error of a listed solution, world units.
  float SolutionError(int index) const;

  // "Gleise erzeugen": lays the chosen solution (one undo step, the new tracks selected) and
  // accepts the window. Returns the new tracks; nothing (and a message) when it cannot.
  std::vector<TRRTrack*> CreateChosen();

 public slots:
  void done(int result) override;

 private:
  void FillTrackBoxes();
  void Restart();
  void StopSearch();
  void Found(uint32_t generation, const TRRSolverSolution& solution);
  void Finished(uint32_t generation, const std::string& failure);
  void ShowProgress();
  void ShowChosen();
  QString LengthText(float centimetres) const;

  TRRProject& FProject;
  TRRGlobal& FGlobal;
  IRRUIService& FUI;
  TRREntityDescriptionList FCatalogue{false};

  // The gap of the current search: the start track, its route and contact.
  int32_t FStartTrack = 0, FStartRoute = 0, FStartContact = 0;
  std::string FSystem;
  std::string FProblem;
  TRRSolverProblem FSearch;
  std::vector<TRRSolverSolution> FSolutions;

  // The worker and what it shares with the window.
  std::thread FThread;
  std::atomic<bool> FStop{false};
  std::atomic<uint64_t> FCounter{0};
  uint64_t FTotal = 0;
  uint32_t FGeneration = 0;
  bool FSearching = false;
  bool FFilling = false;
  QTimer FProgressTimer;

  QComboBox* FFirst;
  QComboBox* FSecond;
  QSpinBox* FPieces;
  TToleranceBox* FTolerance;
  QLabel* FStatus;
  QProgressBar* FProgress;
  QTreeWidget* FSolutionList;
  QLabel* FSolutionLabel;
  QTreeWidget* FPieceList;
  QPushButton* FCreate;
};

}  // namespace rr
