#include "app/RRReplaceEntity.h"

#include <memory>

#include "app/RREntityManager.h"
#include "app/RRHistory.h"
#include "app/entities/RREntity.h"
#include "app/entities/RREntityDescription.h"

namespace rr {

TRREntity* RRReplaceEntity(TRREntityManager& manager, TRREntity& entity, const TRREntityDescription& description) {
  TRRHistory* history = manager.Project().History();
  std::unique_ptr<TRRCommand> command = history ? history->OpenCommand(&entity) : std::make_unique<TRRCommand>(&entity);
  const int32_t id = entity.ID();
  gx::TGXNode* parent = entity.Parent() ? entity.Parent() : manager.ProjectNode();
  const int32_t parentID = command->BeforeParentID();
  std::unique_ptr<TRREntityDescription> copy = description.Clone();
  copy->SetID(id);
  manager.Selection().BeginUpdate();
  struct TEnd {
    TRREntityManager& M;
    ~TEnd() { M.Selection().EndUpdate(); }
  } end{manager};
  // Freed first: the new entity takes the same ID, so every reference to it stays valid.
  delete &entity;
  TRREntity* made = nullptr;
  try {
    made = manager.CreateEntity(parentID ? manager.FindByID(parentID) : parent, *copy);
  } catch (...) {
    // The old entity comes back as it was.
    if (const TRREntityDescription* before = command->BeforeSnapshot())
      manager.CreateEntity(parentID ? manager.FindByID(parentID) : parent, *before);
    throw;
  }
  manager.Selection().Clear();
  if (made) manager.Selection().Add(made);
  if (history) {
    command->SetAfter(made);
    history->Push(std::move(command));
  } else {
    manager.Project().SetModified();
  }
  return made;
}

}  // namespace rr
