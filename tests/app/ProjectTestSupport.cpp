#include "tests/app/ProjectTestSupport.h"

#include "app/entities/RREntityRegistry.h"
#include "engine/core/GXSerialization.h"

namespace prjtest {

RR_DEFINE_DESCRIPTION_CLASS(TFileDesc, rr::TRREntityDescription)
RR_DEFINE_ENTITY_CLASS(TFileEntity, rr::TRREntity)

void TFileDesc::LoadFromStream(gx::TGXStream& s) {
  TRREntityDescription::LoadFromStream(s);
  Texture.ReadFromStream(s);
  Other.ReadFromStream(s);
  Model.ReadFromStream(s);
  Ref = gx::ReadInteger(s);
}

void TFileDesc::SaveToStream(gx::TGXStream& s) const {
  TRREntityDescription::SaveToStream(s);
  Texture.WriteToStream(s);
  Other.WriteToStream(s);
  Model.WriteToStream(s);
  gx::WriteInteger(s, Ref);
}

void TFileDesc::GetPropertyAccess(rr::TRRPropertyAccessList& list) {
  TRREntityDescription::GetPropertyAccess(list);
  list.Add<rr::TRRAssetFileNameAccess>(Texture);
  list.Add<rr::TRRAssetFileNameAccess>(Other);
  list.Add<rr::TRRModelFileNameAccess>(Model);
  list.Add<rr::TRREntityIDRefAccess>(Ref);
}

TFileEntity::TFileEntity(gx::TGXNode* parent, rr::IRREntityManager* manager, const rr::TRREntityDescription& d)
    : TRREntity(parent, manager, d) {
  if (auto* f = dynamic_cast<const TFileDesc*>(&d)) {
    Texture = f->Texture;
    Other = f->Other;
    Model = f->Model;
    Ref = f->Ref;
  }
}

std::unique_ptr<rr::TRREntityDescription> TFileEntity::CreateDescription() const {
  auto d = TRREntity::CreateDescription();
  auto& f = static_cast<TFileDesc&>(*d);
  f.Texture = Texture;
  f.Other = Other;
  f.Model = Model;
  f.Ref = Ref;
  return d;
}

void RegisterKinds() {
  static bool done = [] {
    rr::RegisteredEntities().Register(gx::TGXGuid::Parse(kFileKind), TFileEntity::StaticClass(), TFileDesc::StaticClass());
    return true;
  }();
  (void)done;
}

}  // namespace prjtest
