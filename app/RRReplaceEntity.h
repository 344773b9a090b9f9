#pragma once
// Replacing a placed entity by one made from an edited description (the custom track editor,
// the rolling-stock editor): the old entity is freed and the new one made under the same ID and
// parent, so references to it (events, links) stay valid; it becomes the only selection and the
// change is one command. When the new entity cannot be made the old one is made again from its
// snapshot and the error is raised.

namespace rr {

class TRREntity;
class TRREntityDescription;
class TRREntityManager;

TRREntity* RRReplaceEntity(TRREntityManager& manager, TRREntity& entity, const TRREntityDescription& description);

}  // namespace rr
