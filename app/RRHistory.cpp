#include "app/RRHistory.h"

#include "app/RREntityManager.h"
#include "app/entities/RREntity.h"
#include "app/entities/RREntityDescription.h"

namespace rr {

namespace {

int32_t ParentEntityID(const TRREntity* e) {
  auto* parent = dynamic_cast<const TRREntity*>(e->Parent());
  return parent ? parent->ID() : 0;
}

}  // namespace

// ---- command ----

TRRCommand::TRRCommand(TRREntity* entity) {
  if (!entity) return;
  FManager = dynamic_cast<TRREntityManager*>(entity->Manager());
  FBeforeID = entity->ID();
  FBefore = entity->CreateDescription();
  FBeforeParentID = ParentEntityID(entity);
}

TRRCommand::~TRRCommand() = default;

void TRRCommand::SetAfter(TRREntity* entity) {
  FAfterID = 0;
  FAfter.reset();
  FAfterParentID = 0;
  if (!entity) return;
  FManager = dynamic_cast<TRREntityManager*>(entity->Manager());
  FAfterID = entity->ID();
  FAfter = entity->CreateDescription();
  FAfterParentID = ParentEntityID(entity);
}

void TRRCommand::SetBefore(TRREntity* entity, std::unique_ptr<TRREntityDescription> snapshot) {
  FBeforeID = 0;
  FBefore.reset();
  FBeforeParentID = 0;
  if (!entity) return;
  FManager = dynamic_cast<TRREntityManager*>(entity->Manager());
  FBeforeID = entity->ID();
  FBefore = snapshot ? std::move(snapshot) : entity->CreateDescription();
  FBeforeParentID = ParentEntityID(entity);
}

void TRRCommand::SetAfter(TRREntity* entity, std::unique_ptr<TRREntityDescription> snapshot) {
  FAfterID = 0;
  FAfter.reset();
  FAfterParentID = 0;
  if (!entity) return;
  FManager = dynamic_cast<TRREntityManager*>(entity->Manager());
  FAfterID = entity->ID();
  FAfter = snapshot ? std::move(snapshot) : entity->CreateDescription();
  FAfterParentID = ParentEntityID(entity);
}

void TRRCommand::AddChild(std::unique_ptr<TRRCommand> command) {
  if (command) FChildren.push_back(std::move(command));
}

void TRRCommand::Swap(int32_t freeID, const TRREntityDescription* snapshot, int32_t parentID) {
  if (!FManager) return;
  delete FManager->FindByID(freeID);
  if (!snapshot) return;
  gx::TGXNode* parent = parentID ? FManager->FindByID(parentID) : nullptr;
  // A parent that is gone (the history was cut short) leaves the entity at the top level rather
  // than losing it.
  FManager->CreateEntity(parent ? parent : FManager->ProjectNode(), *snapshot);
}

void TRRCommand::Revert() {
  Swap(FAfterID, FBefore.get(), FBeforeParentID);
  for (auto& c : FChildren) c->Revert();
}

void TRRCommand::Reapply() {
  Swap(FBeforeID, FAfter.get(), FAfterParentID);
  for (auto it = FChildren.rbegin(); it != FChildren.rend(); ++it) (*it)->Reapply();
}

// ---- history ----

TRRHistory::TRRHistory(TRREntityManager& manager, IRRAction* undoAction, IRRAction* redoAction)
    : FManager(manager), FUndoAction(undoAction), FRedoAction(redoAction) {
  RefreshActions();
}

TRRHistory::~TRRHistory() = default;

void TRRHistory::SetActions(IRRAction* undoAction, IRRAction* redoAction) {
  FUndoAction = undoAction;
  FRedoAction = redoAction;
  RefreshActions();
}

void TRRHistory::RefreshActions() {
  if (FUndoAction) {
    FUndoAction->SetEnabled(CanUndo());
    FUndoAction->SetCaption(RRCaptionUndo);
  }
  if (FRedoAction) {
    FRedoAction->SetEnabled(CanRedo());
    FRedoAction->SetCaption(RRCaptionRedo);
  }
}

std::unique_ptr<TRRCommand> TRRHistory::OpenCommand(TRREntity* entity) {
  auto command = std::make_unique<TRRCommand>(entity);
  command->FSelectionBefore = FManager.Selection().IDs();
  command->FMenuPageBefore = FManager.Project().EntityMenuPage();
  return command;
}

void TRRHistory::Push(std::unique_ptr<TRRCommand> command) {
  if (!command) return;
  FCommands.resize(static_cast<size_t>(FCurrent + 1));
  command->FSelectionAfter = FManager.Selection().IDs();
  command->FMenuPageAfter = FManager.Project().EntityMenuPage();
  FCommands.push_back(std::move(command));
  if (Count() > RRHistoryLimit) {
    FCommands.erase(FCommands.begin());
    // The saved state can no longer be reached by undoing.
    FManager.Project().SetModified();
  }
  FCurrent = Count() - 1;
  RefreshActions();
}

void TRRHistory::Restore(const std::vector<int32_t>& ids) {
  for (int32_t id : ids) FManager.Selection().Add(FManager.FindByID(id));
}

void TRRHistory::Undo() {
  // A drag still running becomes a command first, so undo takes it back.
  FManager.EndTransformation();
  if (CanUndo()) Step(Command(FCurrent), true);
}

void TRRHistory::Redo() {
  FManager.EndTransformation();
  if (CanRedo()) Step(Command(FCurrent + 1), false);
}

// Reverts (undo) or reapplies (redo) one command inside one selection bracket, which is closed on
// every path: a raising command leaves the project marked modified and the actions refreshed.
void TRRHistory::Step(TRRCommand* command, bool undo) {
  TRREntitySelection& selection = FManager.Selection();
  selection.BeginUpdate();
  try {
    selection.Clear();
    if (undo) {
      command->Revert();
      --FCurrent;
    } else {
      command->Reapply();
      ++FCurrent;
    }
    RefreshActions();
    Restore(undo ? command->SelectionBefore() : command->SelectionAfter());
  } catch (...) {
    selection.EndUpdate();
    FManager.Project().SetModified();
    RefreshActions();
    throw;
  }
  selection.EndUpdate();
  FManager.Project().ShowEntityMenuPage(undo ? command->MenuPageBefore() : command->MenuPageAfter());
}

void TRRHistory::Clear() {
  FCommands.clear();
  FCurrent = -1;
  RefreshActions();
}

}  // namespace rr
