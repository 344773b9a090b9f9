#include "tests/app/ManagerTestSupport.h"

#include <algorithm>

#include "app/RRInput.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RREntityRegistry.h"
#include "engine/core/GXGeometry.h"

namespace mgrtest {

RR_DEFINE_DESCRIPTION_CLASS(TModelDesc, rr::TRREntityDescription)
RR_DEFINE_DESCRIPTION_CLASS(TLightDesc, rr::TRREntityDescription)
RR_DEFINE_DESCRIPTION_CLASS(TPanelDesc, rr::TRREntityDescription)
RR_DEFINE_ENTITY_CLASS(TModel, rr::TRREntity)
RR_DEFINE_ENTITY_CLASS(TRRLight, TModel)
RR_DEFINE_ENTITY_CLASS(TRRPanel, TModel)

namespace {
class TBox : public gx::TGXSceneObject {
 public:
  TBox() { SetLocalBounds(gx::BoxFromMinMax({-1, -1, -1}, {1, 1, 1})); }
};
}  // namespace

TModel::TModel(gx::TGXNode* parent, rr::IRREntityManager* manager, const rr::TRREntityDescription& d)
    : TRREntity(parent, manager, d) {
  AttachObject(gx::MakeRef<TBox>().Get());
}

bool TRRLight::CanDelete(std::string& reason) const {
  reason = "Die globale Lichtquelle kann nicht entfernt werden.";
  return false;
}

void RegisterKinds() {
  static bool done = [] {
    auto& list = rr::RegisteredEntities();
    auto reg = [&](const char* g, const rr::TRREntityClass& e, const rr::TRRDescriptionClass& d) {
      list.Register(gx::TGXGuid::Parse(g), e, d);
    };
    reg("{7D3E0A11-5B2C-4F60-8C1A-2E4B6D8F0001}", TModel::StaticClass(), TModelDesc::StaticClass());
    reg("{7D3E0A11-5B2C-4F60-8C1A-2E4B6D8F0002}", TRRLight::StaticClass(), TLightDesc::StaticClass());
    reg("{7D3E0A11-5B2C-4F60-8C1A-2E4B6D8F0005}", TRRPanel::StaticClass(), TPanelDesc::StaticClass());
    return true;
  }();
  (void)done;
}

rr::TRREntity* TTestProject::Camera(const std::string& name, uint8_t type) {
  rr::TRRCameraDesc d;
  d.SetType(type);
  d.Name().SetUserText(name);
  d.SetID(M().NextID());
  M().ReserveIDs(1);
  rr::TRREntity* e = M().CreateEntity(nullptr, d);
  Scene.Root()->Update(false);
  return e;
}

TTestProject::TTestProject() {
  RegisterKinds();
  gx::TGXViewport* viewport = View->AddViewport(0, 0, 1, 1);
  auto* cameraNode = new gx::TGXSceneNode("Camera", Scene.Root());
  auto* camera = new gx::TGXCamera(cameraNode);
  camera->SetViewportSize(640, 480);
  viewport->SetScene(&Scene);
  viewport->SetCamera(camera);
  Manager = std::make_unique<rr::TRREntityManager>(*this, View.Get(), &Scene);
  Hist = std::make_unique<rr::TRRHistory>(*Manager, &UndoAction, &RedoAction);
  Board.SetPasteAction(&PasteAction);
}

TTestProject::~TTestProject() {
  // The entities go before the manager, as when a project closes.
  Scene.Root()->DeleteChildren();
  Hist.reset();
  Manager.reset();
}

bool TTestProject::IsReferencedByEvents(const rr::TRREntity* e) const {
  return std::find(Referenced.begin(), Referenced.end(), e->ID()) != Referenced.end();
}

bool TTestProject::Click(uint32_t message, uint32_t buttons, bool alt) {
  ++Counter;
  Scene.Root()->Update(false);
  rr::TRRInputRecord r;
  r.Message = message;
  r.Buttons = buttons;
  r.X = 320;
  r.Y = 240;
  r.AltDown = alt;
  return M().HandleInput(View.Get(), r);
}

bool TTestProject::Key(uint32_t message, int32_t key) {
  ++Counter;
  rr::TRRInputRecord r;
  r.Message = message;
  r.Key = key;
  return M().HandleInput(View.Get(), r);
}

}  // namespace mgrtest
