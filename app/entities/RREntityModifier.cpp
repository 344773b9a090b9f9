#include "app/entities/RREntityModifier.h"

#include "app/entities/RREntity.h"

namespace rr {

TRREntityModifier::~TRREntityModifier() {
  if (IRREntityManager* manager = FManager) {
    FManager = nullptr;
    manager->RemoveModifier(this);
  }
}

}  // namespace rr
