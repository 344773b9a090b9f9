#pragma once
// An object dragged from the catalogue into the 3D view. The drag carries a copy of the catalogue
// description; the first time the pointer is over the view (and the view shows its overlay) the
// copy is numbered from the manager's next ID and becomes an entity under the project node,
// scaled to the layout's one scale when there is one, as the only selected entity, which the
// transformation modifier then moves with the pointer. Dropping ends the move and puts one
// command on the history that creates the entity; cancelling frees it and gives the old
// selection back. Nothing is left behind when the drop object goes away without a drop, and
// nothing is touched once the layout has closed under the drag.

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/GXMath.h"

namespace gx {
class TGXNode;
}

namespace rr {

class TRRCommand;
class TRREntity;
class TRREntityDescription;
class TRREntityManager;

class TRRCatalogDrop {
 public:
  // uniformScale > 0: the entity is scaled by it uniformly when its kind can be scaled.
  TRRCatalogDrop(TRREntityManager& manager, const TRREntityDescription& description, float uniformScale = 0);
  ~TRRCatalogDrop();
  TRRCatalogDrop(const TRRCatalogDrop&) = delete;
  TRRCatalogDrop& operator=(const TRRCatalogDrop&) = delete;

  // The pointer is over the view at (x, y): creates the entity the first time and moves the
  // pointer there. False when nothing can be dropped (no overlay, editing off, the description
  // makes no entity).
  bool Over(int32_t x, int32_t y);
  // Ends the move; the created entity stays and one command for it goes on the history. Null
  // when nothing was created.
  TRREntity* Drop();
  // Frees the entity (if any) and selects what was selected before.
  void Cancel();

  // The created entity (null before the first Over, or when it is gone).
  TRREntity* Entity() const;
  bool Finished() const { return FFinished; }

 private:
  bool Create(int32_t x, int32_t y);
  // The layout closed during the drag (its project node went before its manager): from now on
  // nothing is touched.
  void ProjectGone(gx::TGXNode* node);

  TRREntityManager& FManager;
  std::unique_ptr<TRREntityDescription> FDescription;
  float FScale = 0;
  int32_t FEntityID = 0;
  std::unique_ptr<TRRCommand> FCommand;
  std::vector<int32_t> FSelectionBefore;
  gx::TGXNode* FWatched = nullptr;
  bool FRefused = false;
  bool FFinished = false;
};

}  // namespace rr
