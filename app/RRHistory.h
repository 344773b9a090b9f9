#pragma once
// Undo and redo on whole-entity snapshots. A command remembers an entity as it was before an
// edit (its description) and as it is after it; undoing frees the entity in its after state and
// recreates it from the before snapshot, redoing the reverse. Snapshots carry the entities' IDs
// (and their children's), and the manager never hands out an ID twice, so a recreated entity is
// found again by every reference to it. Compound commands (no manager of their own) bundle the
// commands of one user action: reverting runs the children first to last, re-applying last to
// first, and the editing operations order their children for that.
//
// The history keeps at most RRHistoryLimit commands. Dropping the oldest one loses the way back
// to the saved state, so the project is then marked modified: undoing everything that is left
// must not make a changed project look unchanged.

#include <cstdint>
#include <memory>
#include <vector>

#include "app/RRAction.h"

namespace rr {

class TRREntity;
class TRREntityDescription;
class TRREntityManager;

inline constexpr int RRHistoryLimit = 50;
inline constexpr const char* RRCaptionUndo = "Rückgängig";
inline constexpr const char* RRCaptionRedo = "Wiederherstellen";

class TRRCommand {
 public:
  // With an entity: its manager, ID, snapshot and parent ID become the before state.
  explicit TRRCommand(TRREntity* entity = nullptr);
  ~TRRCommand();
  TRRCommand(const TRRCommand&) = delete;
  TRRCommand& operator=(const TRRCommand&) = delete;

  // Replaces the after state: nothing for null, else the entity as it is now.
  void SetAfter(TRREntity* entity);
  // The same with a snapshot the caller made of the entity as it is now (a kind may have a
  // cheaper form than CreateDescription that shares data between snapshots). The ID, parent and
  // manager are the entity's.
  void SetBefore(TRREntity* entity, std::unique_ptr<TRREntityDescription> snapshot);
  void SetAfter(TRREntity* entity, std::unique_ptr<TRREntityDescription> snapshot);
  void AddChild(std::unique_ptr<TRRCommand> command);
  int ChildCount() const { return static_cast<int>(FChildren.size()); }
  TRRCommand* Child(int index) const { return FChildren.at(static_cast<size_t>(index)).get(); }

  // Frees the after state's entity and recreates the before state, then the children in order.
  void Revert();
  // Frees the before state's entity and recreates the after state, then the children backwards.
  void Reapply();

  TRREntityManager* Manager() const { return FManager; }
  int32_t BeforeID() const { return FBeforeID; }
  int32_t BeforeParentID() const { return FBeforeParentID; }
  const TRREntityDescription* BeforeSnapshot() const { return FBefore.get(); }
  int32_t AfterID() const { return FAfterID; }
  int32_t AfterParentID() const { return FAfterParentID; }
  const TRREntityDescription* AfterSnapshot() const { return FAfter.get(); }
  const std::vector<int32_t>& SelectionBefore() const { return FSelectionBefore; }
  const std::vector<int32_t>& SelectionAfter() const { return FSelectionAfter; }
  int32_t MenuPageBefore() const { return FMenuPageBefore; }
  int32_t MenuPageAfter() const { return FMenuPageAfter; }

 private:
  friend class TRRHistory;
  void Swap(int32_t freeID, const TRREntityDescription* snapshot, int32_t parentID);

  TRREntityManager* FManager = nullptr;
  int32_t FBeforeID = 0;
  std::unique_ptr<TRREntityDescription> FBefore;
  int32_t FBeforeParentID = 0;
  std::vector<int32_t> FSelectionBefore;
  int32_t FMenuPageBefore = 0;
  int32_t FAfterID = 0;
  std::unique_ptr<TRREntityDescription> FAfter;
  int32_t FAfterParentID = 0;
  std::vector<int32_t> FSelectionAfter;
  int32_t FMenuPageAfter = 0;
  std::vector<std::unique_ptr<TRRCommand>> FChildren;
};

class TRRHistory {
 public:
  // The actions may be null; they are bound by the main window and refreshed here.
  explicit TRRHistory(TRREntityManager& manager, IRRAction* undoAction = nullptr, IRRAction* redoAction = nullptr);
  ~TRRHistory();
  TRRHistory(const TRRHistory&) = delete;
  TRRHistory& operator=(const TRRHistory&) = delete;

  void SetActions(IRRAction* undoAction, IRRAction* redoAction);

  // A command with the entity (or nothing) as before state and the current selection and menu
  // page recorded. The caller edits, sets the after state and pushes (or drops) it.
  std::unique_ptr<TRRCommand> OpenCommand(TRREntity* entity = nullptr);
  void Push(std::unique_ptr<TRRCommand> command);
  bool CanUndo() const { return FCurrent >= 0; }
  bool CanRedo() const { return FCurrent < Count() - 1; }
  // Raise what a revert raises; the selection bracket is closed in any case and the project is
  // then marked modified (the scene is part-way between two states).
  void Undo();
  void Redo();
  void Clear();

  int Count() const { return static_cast<int>(FCommands.size()); }
  int Current() const { return FCurrent; }
  TRRCommand* Command(int index) const { return FCommands.at(static_cast<size_t>(index)).get(); }

 private:
  void Step(TRRCommand* command, bool undo);
  void RefreshActions();
  void Restore(const std::vector<int32_t>& ids);

  TRREntityManager& FManager;
  std::vector<std::unique_ptr<TRRCommand>> FCommands;
  int FCurrent = -1;
  IRRAction* FUndoAction;
  IRRAction* FRedoAction;
};

}  // namespace rr
