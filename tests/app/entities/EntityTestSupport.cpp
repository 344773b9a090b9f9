#include "tests/app/entities/EntityTestSupport.h"

namespace rrtest {

RR_DEFINE_DESCRIPTION_CLASS(TModelTestDesc, rr::TRREntityDescription)
RR_DEFINE_DESCRIPTION_CLASS(TLightTestDesc, TModelTestDesc)
RR_DEFINE_DESCRIPTION_CLASS(TUnregisteredDesc, rr::TRREntityDescription)
RR_DEFINE_ENTITY_CLASS(TModelTestEntity, rr::TRREntity)
RR_DEFINE_ENTITY_CLASS(TUnregisteredEntity, rr::TRREntity)

void RegisterTestKinds() {
  static bool done = [] {
    auto& list = rr::RegisteredEntities();
    list.Register(gx::TGXGuid::Parse(kModelTestKind), TModelTestEntity::StaticClass(), TModelTestDesc::StaticClass());
    list.Register(gx::TGXGuid::Parse(kLightTestKind), TModelTestEntity::StaticClass(), TLightTestDesc::StaticClass());
    return true;
  }();
  (void)done;
}

}  // namespace rrtest
