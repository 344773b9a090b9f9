#pragma once
// A project stand-in for the entity manager, history and clipboard tests: a scene whose root is
// the project node, a 640 x 480 view looking down +z from the origin, a scripted UI, and small
// entity kinds - a model with a unit box, the light and a panel (named like the program's kinds,
// which is how the manager sorts them into its lists) - and the program's own cameras.

#include <memory>
#include <string>
#include <vector>

#include "app/RRClipboard.h"
#include "app/RREntityManager.h"
#include "app/RRHistory.h"
#include "app/RRProjectHost.h"
#include "app/RRUIService.h"
#include "app/entities/RREntityGroup.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXRenderTarget.h"
#include "engine/render/GXScene.h"

namespace mgrtest {

class TModelDesc : public rr::TRREntityDescription {
  RR_DESCRIPTION_CLASS()
};
class TModel : public rr::TRREntity {
  RR_ENTITY_CLASS()
 public:
  TModel(gx::TGXNode* parent, rr::IRREntityManager* manager, const rr::TRREntityDescription& d);
};

class TLightDesc : public rr::TRREntityDescription {
  RR_DESCRIPTION_CLASS()
 public:
  bool IsFixed() const override { return true; }
};
class TRRLight : public TModel {
  RR_ENTITY_CLASS()
 public:
  using TModel::TModel;
  bool IsFixed() const override { return true; }
  bool CanDelete(std::string& reason) const override;
};

class TPanelDesc : public rr::TRREntityDescription {
  RR_DESCRIPTION_CLASS()
};
class TRRPanel : public TModel {
  RR_ENTITY_CLASS()
 public:
  using TModel::TModel;
};

void RegisterKinds();

struct TTestProject : rr::IRRProjectHost {
  gx::TGXScene Scene;
  gx::TGXRef<gx::TGXRenderTarget> View = gx::MakeRef<gx::TGXRenderTarget>(640, 480);
  rr::TRRScriptedUIService Ui;
  rr::TRRClipboard Board;
  rr::TRRActionState UndoAction, RedoAction, PasteAction;
  std::unique_ptr<rr::TRREntityManager> Manager;
  std::unique_ptr<rr::TRRHistory> Hist;
  int Modified = 0;
  int SelectionChanges = 0;
  int64_t Counter = 1;
  int64_t Frequency = 1000;
  std::vector<int32_t> Referenced;

  TTestProject();
  ~TTestProject() override;

  gx::TGXNode* ProjectNode() override { return Scene.Root(); }
  rr::IRRUIService& UI() override { return Ui; }
  rr::TRRHistory* History() override { return Hist.get(); }
  rr::TRRClipboard* Clipboard() override { return &Board; }
  void SetModified() override { ++Modified; }
  void SelectionChanged() override { ++SelectionChanges; }
  bool IsReferencedByEvents(const rr::TRREntity* e) const override;
  int64_t FrameCounter() const override { return Counter; }
  int64_t FrameFrequency() const override { return Frequency; }

  rr::TRREntityManager& M() { return *Manager; }
  // A top-level entity of the class with a fresh ID from the counter.
  template <class D>
  rr::TRREntity* Make(const std::string& name, gx::TGXVector3 position = {0, 0, 0}, gx::TGXNode* parent = nullptr) {
    D d;
    d.Name().SetUserText(name);
    d.SetID(M().NextID());
    d.SetPosition(position);
    M().ReserveIDs(1);
    rr::TRREntity* e = M().CreateEntity(parent, d);
    Scene.Root()->Update(false);
    return e;
  }
  // A camera of the program's kind: type 0 placed (deletable), 1, 3 and 4 predefined.
  rr::TRREntity* Camera(const std::string& name, uint8_t type);
  rr::TRREntity* Model(const std::string& name, gx::TGXVector3 position = {0, 0, 0}, gx::TGXNode* parent = nullptr) {
    return Make<TModelDesc>(name, position, parent);
  }
  // A click in the middle of the view (where an entity at (0, 0, 20) is) on a new frame.
  bool Click(uint32_t message, uint32_t buttons = 0, bool alt = false);
  bool Key(uint32_t message, int32_t key);
};

}  // namespace mgrtest
