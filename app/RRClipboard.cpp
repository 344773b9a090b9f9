#include "app/RRClipboard.h"

#include "app/RREntityIDProcessor.h"
#include "app/RREntityManager.h"
#include "app/RRHistory.h"
#include "app/entities/RREntity.h"

namespace rr {

void TRRClipboard::SetPasteAction(IRRAction* action) {
  FPasteAction = action;
  RefreshAction();
}

void TRRClipboard::RefreshAction() {
  if (FPasteAction) FPasteAction->SetEnabled(FItems.Count() > 0);
}

void TRRClipboard::Copy(const TRREntitySelection& selection) {
  FItems.Clear();
  for (TRREntity* e : selection) {
    if (e->IsFixed()) continue;
    std::unique_ptr<TRREntityDescription> d = e->CreateDescription();
    d->RemoveFixed();
    FItems.Add(std::move(d));
  }
  RefreshAction();
}

void TRRClipboard::Clear() {
  FItems.Clear();
  RefreshAction();
}

int32_t TRRClipboard::AssignIDs(int32_t nextID) { return TRREntityIDProcessor::RenumberList(FItems, nextID); }

void TRRClipboard::RemoveAsset(const gx::TGXGuid& asset) {
  for (int i = FItems.Count() - 1; i >= 0; --i)
    if (FItems.Item(i)->AssetID() == asset) FItems.Delete(i);
  // The nested ones, depth first; a removed description takes its subtree along.
  std::vector<TRREntityDescription*> stack(FItems.begin(), FItems.end());
  while (!stack.empty()) {
    TRREntityDescription* d = stack.back();
    stack.pop_back();
    for (int i = d->ChildCount() - 1; i >= 0; --i) {
      TRREntityDescription* c = d->Child(i);
      if (c->AssetID() == asset)
        d->ExtractChild(c);  // the returned owner frees it
      else
        stack.push_back(c);
    }
  }
  RefreshAction();
}

int TRRClipboard::Paste(TRREntityManager& manager, const gx::TGXVector3& offset) {
  TRRHistory* history = manager.Project().History();
  std::unique_ptr<TRRCommand> compound = history ? history->OpenCommand(nullptr) : nullptr;
  std::vector<std::unique_ptr<TRRCommand>> commands;
  TRREntitySelection& selection = manager.Selection();
  selection.BeginUpdate();
  try {
    selection.Clear();
    int32_t used = AssignIDs(manager.NextID());
    manager.ReserveIDs(used);
    for (TRREntityDescription* d : FItems) {
      TRREntity* e = manager.CreateEntity(nullptr, *d);
      e->Update(false);
      e->Translate(offset, gx::TGXTransformSpace::World);
      if (history) {
        commands.push_back(std::make_unique<TRRCommand>(nullptr));
        commands.back()->SetAfter(e);
      }
      selection.Add(e);
    }
  } catch (...) {
    // What was created stays, but no command can take it back.
    selection.EndUpdate();
    manager.Project().SetModified();
    throw;
  }
  selection.EndUpdate();
  int created = static_cast<int>(commands.size());
  if (!history) {
    created = selection.Count();
    if (created > 0) manager.Project().SetModified();
    return created;
  }
  if (created == 0) return 0;
  for (auto& c : commands) compound->AddChild(std::move(c));
  history->Push(std::move(compound));
  return created;
}

}  // namespace rr
