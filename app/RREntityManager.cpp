#include "app/RREntityManager.h"

#include <algorithm>
#include <limits>

#include "app/RRClipboard.h"
#include "app/RRHistory.h"
#include "app/edit/RROverlay.h"
#include "app/edit/RRTransformationGizmo.h"
#include "app/edit/RRTransformationModifier.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RREntityDescription.h"
#include "app/entities/RREntityGroup.h"
#include "app/entities/RREntityRegistry.h"
#include "app/entities/track/RRTrackConnections.h"
#include "app/entities/track/RRTrackGeometry.h"
#include "engine/core/GXException.h"
#include "engine/core/GXStrings.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXRenderTarget.h"
#include "engine/render/GXScene.h"

namespace rr {

namespace {

gx::EGXException CreateEntityError(const char* text) {
  return gx::EGXException({gx::TGXExceptionArg::Object("TRREntityManager"), "CreateEntity", text});
}

// The table holds one pointer per ID ever used; an ID beyond this is refused rather than
// growing the table without bound (a layout uses a few ten thousand).
constexpr int32_t MaxEntityID = 1 << 24;

bool HasSelectedAncestor(const TRREntity* e) {
  for (const gx::TGXNode* n = e->Parent(); n; n = n->Parent())
    if (auto* a = dynamic_cast<const TRREntity*>(n); a && a->Selected()) return true;
  return false;
}

// Closes a selection bracket however the block is left.
struct TSelectionBracket {
  explicit TSelectionBracket(TRREntitySelection& s) : Selection(s) { Selection.BeginUpdate(); }
  ~TSelectionBracket() { Selection.EndUpdate(); }
  TRREntitySelection& Selection;
};

bool IsMouseDown(uint32_t m) { return m == RRMsgLButtonDown; }
bool IsSelectClick(uint32_t m) { return m == RRMsgLButtonDown || m == RRMsgLButtonDblClk; }

}  // namespace

TRREntityManager::TRREntityManager(IRRProjectHost& project, gx::TGXRenderTarget* view, gx::TGXScene* scene)
    : FProject(project), FView(view), FScene(scene), FSelection(this) {
  FOwnOverlay = std::make_unique<TRROverlay>(*this);
  FOwnOverlay->Attach(view);
  FOverlay = FOwnOverlay.get();
}

TRREntityManager::~TRREntityManager() {
  // A drag still running is put back: its command has no history left to go to.
  if (FTransformModifier) FTransformModifier->CancelDrag();
  FTransformModifier.reset();
  for (TRREntityModifier* m : FModifiers) m->SetManager(nullptr);
  FModifiers.clear();
  FOwnOverlay.reset();
}

// ---- track drawing ----

TRRTrackResources* TRREntityManager::TrackResources() {
  if (!FTrackResources) {
    IRRProjectHost* project = &FProject;
    FTrackResources = std::make_unique<TRRTrackResources>(
        TRRTrackResources::EngineSource([project](const std::string& text) { project->UI().Log(text); }));
  }
  return FTrackResources.get();
}

TRRTrackGeometry* TRREntityManager::GetTrackGeometry(int kind) { return TrackResources()->Geometry(kind); }
TRRTrackEffect* TRREntityManager::GetTrackEffect(int kind) { return TrackResources()->Effect(kind); }

void TRREntityManager::SetTrackResources(std::unique_ptr<TRRTrackResources> resources) {
  FTrackResources = std::move(resources);
}

// ---- IDs ----

void TRREntityManager::ReserveIDs(int32_t count) {
  if (count < 0 || count > MaxEntityID - FNextID)
    throw gx::EInvalidParameter(
        {gx::TGXExceptionArg::Object("TRREntityManager"), "ReserveIDs", "ID range exhausted"});
  FNextID += count;
}

TRREntity* TRREntityManager::CreateEntity(gx::TGXNode* parent, const TRREntityDescription& description) {
  const TRRRegisteredEntity* entry = RegisteredEntities().FindByDescriptionClass(description.GetClass());
  if (!entry) throw CreateEntityError(RRTextUnknownEntityClass);
  if (!parent) parent = ProjectNode();
  if (description.ID() <= 0 || description.ID() > MaxEntityID)
    throw CreateEntityError(RRTextInvalidDescription);
  if (FindByID(description.ID())) throw CreateEntityError(RRTextDuplicateEntityID);
  TRREntity* entity = entry->EntityClass->Create(parent, this, description);
  for (int i = 0; i < description.ChildCount(); ++i) CreateEntity(entity, *description.Child(i));
  return entity;
}

// ---- registration ----

TRREntityKindList TRREntityManager::KindListOf(const TRREntityClass& cls) {
  static const std::pair<const char*, TRREntityKindList> kinds[] = {
      {"TRRCamera", TRREntityKindList::Cameras},        {"TRRLight", TRREntityKindList::Light},
      {"TRRPanel", TRREntityKindList::Panels},          {"TRRTrack", TRREntityKindList::Tracks},
      {"TRRTrackVehicle", TRREntityKindList::Vehicles}, {"TRRStreet", TRREntityKindList::Streets}};
  for (const auto& [name, list] : kinds)
    for (const TRREntityClass* c = &cls; c; c = c->Parent)
      if (std::string_view(c->Name) == name) return list;
  return TRREntityKindList::None;
}

void TRREntityManager::AddToKindList(TRREntity* e) {
  switch (KindListOf(e->GetClass())) {
    case TRREntityKindList::Cameras:
      FCameras.Append(e);
      break;
    case TRREntityKindList::Light:
      FLight = e;
      break;
    case TRREntityKindList::Panels:
      FPanels.Append(e);
      break;
    case TRREntityKindList::Tracks:
      FTracks.Append(e);
      break;
    case TRREntityKindList::Vehicles:
      FVehicles.Append(e);
      break;
    case TRREntityKindList::Streets:
      FStreets.Append(e);
      break;
    case TRREntityKindList::None:
      break;
  }
}

void TRREntityManager::RemoveFromKindList(TRREntity* e) {
  // Unregistering runs in the base destructor, where the entity's class is no longer known, so
  // every list is searched. A light that a newer one replaced must not take the newer one along.
  if (FLight == e) FLight = nullptr;
  for (TRREntityList* list : {&FCameras, &FPanels, &FTracks, &FVehicles, &FStreets})
    if (list->RemoveItem(e)) break;
}

void TRREntityManager::RegisterEntity(TRREntity* entity) {
  int32_t id = entity->ID();
  if (id > 0) {
    if (id > MaxEntityID) throw CreateEntityError(RRTextInvalidDescription);
    if (FindByID(id)) throw CreateEntityError(RRTextDuplicateEntityID);
    if (FEntities.size() < static_cast<size_t>(id)) {
      FEntities.resize(static_cast<size_t>(id), nullptr);
      FIdle.resize(FEntities.size(), 0);
    }
    FEntities[static_cast<size_t>(id) - 1] = entity;
    FIdle[static_cast<size_t>(id) - 1] = entity->IdleInFrames();
    AddToNameIndex(entity, entity->Name());
    // An entity built with an ID the counter has not reached yet keeps that ID to itself.
    if (id >= FNextID) FNextID = id + 1;
  }
  AddToKindList(entity);
}

void TRREntityManager::UnregisterEntity(TRREntity* entity) {
  FSelection.Remove(entity);
  int32_t id = entity->ID();
  if (id > 0 && static_cast<size_t>(id) <= FEntities.size() &&
      FEntities[static_cast<size_t>(id) - 1] == entity) {
    FEntities[static_cast<size_t>(id) - 1] = nullptr;
    FIdle[static_cast<size_t>(id) - 1] = 0;
    RemoveFromNameIndex(entity, entity->Name());
  }
  RemoveFromKindList(entity);
  if (FHoveredEntity == entity) FHoveredEntity = nullptr, FHitObject = nullptr;
  if (FLastHoveredEntity == entity) FLastHoveredEntity = nullptr;
  if (FActiveCamera == entity) FActiveCamera = nullptr, FCameraModifier = nullptr;
}

TRREntity* TRREntityManager::FindByID(int32_t id) const {
  if (id <= 0 || static_cast<size_t>(id) > FEntities.size()) return nullptr;
  return FEntities[static_cast<size_t>(id) - 1];
}

void TRREntityManager::EntityCreated(TRREntity* entity) { FProject.EntityCreated(entity); }

void TRREntityManager::FrameStepChanged(TRREntity* entity) {
  if (FindByID(entity->ID()) == entity) FIdle[static_cast<size_t>(entity->ID()) - 1] = entity->IdleInFrames();
}

void TRREntityManager::EntityRenamed(TRREntity* entity, const std::string& oldName) {
  // Only entities of the table are indexed (FindByName never saw the others either).
  if (FindByID(entity->ID()) != entity) return;
  RemoveFromNameIndex(entity, oldName);
  AddToNameIndex(entity, entity->Name());
}

void TRREntityManager::AddToNameIndex(TRREntity* entity, const std::string& name) {
  FNameIndex[gx::LowerCaseText(name)].push_back(entity);
}

void TRREntityManager::RemoveFromNameIndex(TRREntity* entity, const std::string& name) {
  auto it = FNameIndex.find(gx::LowerCaseText(name));
  if (it == FNameIndex.end()) return;
  std::erase(it->second, entity);
  if (it->second.empty()) FNameIndex.erase(it);
}

gx::TGXRef<gx::TGXSceneObject> TRREntityManager::CreateSelectionBox(TRREntity* entity) {
  if (!entity) return nullptr;
  auto box = gx::MakeRef<TRRSelectionBox>();
  entity->AttachObject(box.Get());
  return box;
}

bool TRREntityManager::ShowSelectionBorders() const {
  return FShowOverlay && FProject.SelectionBordersEnabled();
}

// ---- lookups ----

TRREntity* TRREntityManager::FindByName(const TRREntityClass* cls, const std::string& name) const {
  auto it = FNameIndex.find(gx::LowerCaseText(name));
  if (it == FNameIndex.end()) return nullptr;
  // The lowest ID wins, as a walk of the table in ID order would find it.
  TRREntity* found = nullptr;
  for (TRREntity* e : it->second)
    if ((!found || e->ID() < found->ID()) && (!cls || e->GetClass().InheritsFrom(*cls)) &&
        gx::SameText(e->Name(), name))
      found = e;
  return found;
}

void TRREntityManager::FindByAsset(const gx::TGXGuid& asset, std::vector<TRREntity*>& list) const {
  for (TRREntity* e : FEntities)
    if (e && e->AssetID() == asset) list.push_back(e);
}

void TRREntityManager::FindByClass(const TRREntityClass& cls, std::vector<TRREntity*>& list) const {
  for (TRREntity* e : FEntities)
    if (e && e->GetClass().InheritsFrom(cls)) list.push_back(e);
}

// ---- view state ----

void TRREntityManager::SetTechnicalView(bool value) {
  FTechnicalView = value;
  if (FSelection.Count() == 1 && KindListOf(FSelection.First()->GetClass()) == TRREntityKindList::Panels) {
    TRREntity* panel = FSelection.First();
    TSelectionBracket bracket(FSelection);
    FSelection.Remove(panel);
    FSelection.Add(panel);
  }
}

void TRREntityManager::SetShowOverlay(bool value) {
  if (value == FShowOverlay) return;
  FShowOverlay = value;
  RefreshSelectionBorders();
}

void TRREntityManager::SetCamera(TRREntity* camera, TRREntityModifier* cameraModifier) {
  FActiveCamera = camera;
  FCameraModifier = cameraModifier;
}

void TRREntityManager::RefreshSelectionBorders() {
  // Deselect frees the borders, Select builds them again if they are to be shown.
  for (TRREntity* e : FSelection) {
    e->Deselect();
    e->Select();
  }
}

// ---- picking and frame ----

gx::TGXScene* TRREntityManager::PickScene() const {
  if (FScene) return FScene;
  if (!FView || FView->ViewportCount() == 0) return nullptr;
  return FView->Viewport(0)->Scene();
}

void TRREntityManager::UpdatePick() {
  int64_t now = FProject.FrameCounter();
  if (now == FLastPickTime) return;
  FLastPickTime = now;
  ++FPickCount;
  FPickCursorX = FCursorX;
  FPickCursorY = FCursorY;
  FHitObject = nullptr;
  FHoveredEntity = nullptr;
  // Without a pointer over the view nothing is under it (and no ray is cast every frame).
  if (!FCursorInside) return;
  if (!FView || FView->ViewportCount() == 0) return;
  gx::TGXViewport* viewport = FView->Viewport(0);
  gx::TGXSceneCamera* camera = viewport->Camera();
  gx::TGXScene* scene = FScene ? FScene : viewport->Scene();
  if (!camera || !scene) return;
  const gx::TGXMatrix identity;
  const gx::TGXViewportRect& rect = viewport->Rect();
  float x = static_cast<float>(FCursorX), y = static_cast<float>(FCursorY);
  FRayOrigin =
      gx::GXVec3Unproject({x, y, 0}, rect, camera->GetProjectionMatrix(), camera->GetViewMatrix(), identity);
  gx::TGXVector3 far =
      gx::GXVec3Unproject({x, y, 1}, rect, camera->GetProjectionMatrix(), camera->GetViewMatrix(), identity);
  FRayDirection = far - FRayOrigin;
  gx::TGXPickResult hit = scene->Pick(FRayOrigin, FRayDirection);
  if (!hit.Object) return;
  FHitObject = hit.Object;
  FHitPoint = hit.Hit;
  FHitDistance = gx::GXVec3Length(hit.Hit - FRayOrigin);
  for (gx::TGXNode* n = hit.Object->Node(); n; n = n->Parent())
    if (auto* e = dynamic_cast<TRREntity*>(n)) FHoveredEntity = e;
}

void TRREntityManager::UpdateFrame() {
  UpdatePick();
  if (FHoveredEntity != FLastHoveredEntity) {
    FProject.ShowStatusText(FHoveredEntity ? FHoveredEntity->Name() : std::string());
    FLastHoveredEntity = FHoveredEntity;
  }
  // A tick may take a modifier off the stack; walk a copy and skip the ones that left.
  std::vector<TRREntityModifier*> modifiers = FModifiers;
  for (TRREntityModifier* m : modifiers)
    if (std::find(FModifiers.begin(), FModifiers.end(), m) != FModifiers.end()) m->Tick();
  if (FCameraModifier) FCameraModifier->Tick();
  // Entities may be freed by what they run (an animation deleting a vehicle); read each slot
  // when its turn comes.
  for (size_t i = 0; i < FEntities.size(); ++i)
    if (TRREntity* e = FEntities[i]) e->UpdateView(FTechnicalView);
  if (FTechnicalView) {
    const int64_t now = FProject.FrameCounter();
    const int64_t period = std::max<int64_t>(FProject.FrameFrequency(), 1) / 5;
    // A counter that went back (a new timer) counts as a period passed.
    if (FLastConnectionRefresh < 0 || now - FLastConnectionRefresh >= period ||
        now < FLastConnectionRefresh) {
      RRRefreshConnections(FTracks);
      FLastConnectionRefresh = now;
    }
  }
  AnimateEntities(FProject.AnimationsOn(), FProject.FrameDeltaTime());
  if (FOwnOverlay) FOwnOverlay->Update();
}

void TRREntityManager::AnimateEntities(bool animationsOn, float deltaTime) {
  ++FAnimationFrame;
  // The flags are read first: an idle entity's memory is not touched at all. Both tables are
  // read again at every slot, since an animation may create or free entities.
  for (size_t i = 0; i < FEntities.size(); ++i)
    if (!FIdle[i])
      if (TRREntity* e = FEntities[i]) e->Animate(animationsOn, deltaTime);
}

// ---- input ----

template <class Fn>
bool TRREntityManager::OfferToModifiers(Fn&& fn) {
  std::vector<TRREntityModifier*> modifiers = FModifiers;
  for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) {
    TRREntityModifier* m = *it;
    if (std::find(FModifiers.begin(), FModifiers.end(), m) == FModifiers.end()) continue;
    if (fn(m)) return true;
    if (m->IsExclusive()) break;
  }
  return false;
}

bool TRREntityManager::HandleInput(gx::TGXRenderTarget* view, const TRRInputRecord& record) {
  if (RRIsMouseMessage(record.Message)) SetCursor(record.X, record.Y);
  if (record.Message == RRMsgMouseLeave) {
    FCursorInside = false;
    FLastPickTime = -1;  // the next frame's pick clears what was under the pointer
    return false;
  }
  UpdatePick();
  if (RRIsKeyMessage(record.Message)) return HandleKey(view, record);
  if (RRIsMouseMessage(record.Message)) return HandleMouse(view, record);
  return false;
}

bool TRREntityManager::HandleKey(gx::TGXRenderTarget* view, const TRRInputRecord& record) {
  if (!FSelection.Empty()) {
    if (OfferToModifiers(
            [&](TRREntityModifier* m) { return m->KeyEvent(view, record.Message, record, record.Key); }))
      return true;
    // Only pressing Delete deletes: a character message carrying 46 is a typed ".", and the
    // key-up of Delete must not ask a second time.
    if (record.Message == RRMsgKeyDown && record.Key == RRVKDelete) {
      if (CanDeleteSelection()) DeleteSelection();
      return true;
    }
  }
  if (FCameraModifier && FCameraModifier->KeyEvent(view, record.Message, record, record.Key)) return true;
  return FOverlay ? FOverlay->KeyEvent(view, record) : false;
}

bool TRREntityManager::HandleMouse(gx::TGXRenderTarget* view, const TRRInputRecord& record) {
  const uint32_t msg = record.Message;
  const bool ctrl = (record.Buttons & RRMKControl) != 0;
  if (!FSelection.Empty()) {
    bool handled = OfferToModifiers(
        [&](TRREntityModifier* m) { return m->MouseEvent(view, msg, 0, record, record.Buttons); });
    if (FHoveredEntity && FHoveredEntity->Selected() && IsMouseDown(msg)) {
      handled = true;
      if (ctrl)
        FSelection.Remove(FHoveredEntity);
      else if (record.AltDown)
        DuplicateSelection();
    }
    if (handled) return true;
  }
  bool handled = false;
  if (IsSelectClick(msg) && FHoveredEntity) {
    TRREntity* e = FHoveredEntity;
    bool plainPick =
        IsMouseDown(msg) && !e->Locked() && KindListOf(e->GetClass()) != TRREntityKindList::Panels;
    if (plainPick || (IsMouseDown(msg) && ctrl) || msg == RRMsgLButtonDblClk) {
      {
        TSelectionBracket bracket(FSelection);
        if (e->Selected()) {
          FSelection.Remove(e);
        } else {
          if (!ctrl) FSelection.Clear();
          FSelection.Add(e);
        }
      }
      handled = true;
    }
    if (!ctrl && OfferToModifiers([&](TRREntityModifier* m) {
          return m->MouseEvent(view, msg, 1, record, record.Buttons);
        }))
      handled = true;
    if (handled) return true;
  }
  if (IsSelectClick(msg) && !ctrl) FSelection.Clear();
  if (FCameraModifier && FCameraModifier->MouseEvent(view, msg, 0, record, record.Buttons)) return true;
  return FOverlay ? FOverlay->MouseEvent(view, record) : false;
}

// ---- transformation tools ----

bool TRREntityManager::TransformEnabled() const {
  const auto* camera = dynamic_cast<const TRRCamera*>(FActiveCamera);
  return FTransformEnabled && !(camera && camera->Type() == RRCameraCockpit);
}

void TRREntityManager::EndTransformation() {
  if (FTransformModifier) FTransformModifier->EndDrag();
}

gx::TGXSceneCamera* TRREntityManager::ViewCamera() const {
  if (!FView || FView->ViewportCount() == 0) return nullptr;
  return FView->Viewport(0)->Camera();
}

void TRREntityManager::SelectionChanged() {
  // The old modifier ends its drag (pushing its command) before it goes.
  FTransformModifier.reset();
  if (FSelection.Empty()) return;
  if (!FGizmo) FGizmo = new TRRTransformationGizmo;
  FTransformModifier = std::make_unique<TRRTransformationModifier>(*this, FGizmo.Get());
  // At the bottom: the kinds' own tools see the input first; an exclusive one hides it.
  AddModifier(FTransformModifier.get(), 0);
  for (size_t i = 1; i < FModifiers.size(); ++i)
    if (FModifiers[i]->IsExclusive()) FTransformModifier->Deactivate();
}

// ---- modifiers ----

void TRREntityManager::AddModifier(TRREntityModifier* modifier, int position) {
  if (!modifier || std::find(FModifiers.begin(), FModifiers.end(), modifier) != FModifiers.end())
    throw gx::EInvalidParameter(
        {gx::TGXExceptionArg::Object("TRREntityManager"), "AddModifier", "Invalid modifier"});
  if (modifier->IsExclusive())
    for (TRREntityModifier* m : FModifiers) m->Deactivate();
  if (position < 0 || position > ModifierCount()) position = ModifierCount();
  FModifiers.insert(FModifiers.begin() + position, modifier);
  modifier->SetManager(this);
  modifier->Activate();
}

void TRREntityManager::RemoveModifier(TRREntityModifier* modifier) {
  auto it = std::find(FModifiers.begin(), FModifiers.end(), modifier);
  if (it == FModifiers.end()) return;
  modifier->Deactivate();
  FModifiers.erase(it);
  modifier->SetManager(nullptr);
  bool hidden = false;
  for (auto m = FModifiers.rbegin(); m != FModifiers.rend(); ++m) {
    if (hidden) {
      (*m)->Deactivate();
    } else {
      (*m)->Activate();
      if ((*m)->IsExclusive()) hidden = true;
    }
  }
}

// ---- editing ----

bool TRREntityManager::CanDeleteSelection() {
  bool referenced = false;
  std::string reason;
  // Depth first: the entity, then each child entity with its own children.
  std::vector<TRREntity*> stack;
  for (TRREntity* e : FSelection) {
    stack.assign(1, e);
    while (!stack.empty()) {
      TRREntity* x = stack.back();
      stack.pop_back();
      if (!x->CanDelete(reason)) {
        FProject.UI().ShowMessage(reason, RRCaptionDelete, TRRMessageIcon::Information);
        return false;
      }
      referenced = referenced || FProject.IsReferencedByEvents(x);
      std::vector<TRREntity*> children = x->ChildEntities();
      stack.insert(stack.end(), children.rbegin(), children.rend());
    }
  }
  if (!referenced) return true;
  const char* text = FSelection.Count() == 1 ? RRTextDeleteReferencedOne : RRTextDeleteReferencedMany;
  return FProject.UI().Ask(text, RRCaptionDelete, TRRButtons::OKCancel, TRRMessageIcon::Question) ==
         TRRAnswer::OK;
}

void TRREntityManager::DeleteSelection() {
  EndTransformation();
  TRRHistory* history = FProject.History();
  std::vector<std::unique_ptr<TRRCommand>> commands;
  // An entity inside a selected entity goes with it and is in that entity's snapshot already: a
  // second snapshot would make undo create it twice.
  if (history)
    for (TRREntity* e : FSelection)
      if (!HasSelectedAncestor(e)) commands.push_back(std::make_unique<TRRCommand>(e));
  std::unique_ptr<TRRCommand> compound = history ? history->OpenCommand(nullptr) : nullptr;
  {
    TSelectionBracket bracket(FSelection);
    if (!FSelection.Empty()) FProject.ShowEntityMenuPage(-1);
    while (!FSelection.Empty()) delete FSelection.First();
  }
  if (!history) {
    FProject.SetModified();
    return;
  }
  for (auto& c : commands) {
    c->SetAfter(nullptr);
    compound->AddChild(std::move(c));
  }
  history->Push(std::move(compound));
}

void TRREntityManager::GroupSelection() {
  std::vector<TRREntity*> members;
  for (TRREntity* e : FSelection)
    if (!e->IsFixed() && !HasSelectedAncestor(e)) members.push_back(e);
  if (members.size() < 2) return;
  TRRHistory* history = FProject.History();
  std::vector<std::unique_ptr<TRRCommand>> commands;
  if (history) {
    commands.push_back(std::make_unique<TRRCommand>(nullptr));
    for (TRREntity* m : members) commands.push_back(std::make_unique<TRRCommand>(m));
  }
  TRREntityGroupDesc description;
  description.Name().SetUserText(RRTextGroupName);
  description.SetID(FNextID);
  ReserveIDs(1);
  // The member operations read the cached world values.
  ProjectNode()->Update(false);
  auto* group =
      static_cast<TRREntityGroup*>(TRREntityGroup::StaticClass().Create(ProjectNode(), this, description));
  group->BeginUpdate();
  for (TRREntity* m : members) group->AddMember(m);
  group->EndUpdate();
  std::unique_ptr<TRRCommand> compound = history ? history->OpenCommand(nullptr) : nullptr;
  {
    TSelectionBracket bracket(FSelection);
    FSelection.Clear();
    FSelection.Add(group);
  }
  if (!history) {
    FProject.SetModified();
    return;
  }
  commands[0]->SetAfter(group);
  for (size_t i = 1; i < commands.size(); ++i) commands[i]->SetAfter(nullptr);
  for (auto& c : commands) compound->AddChild(std::move(c));
  history->Push(std::move(compound));
}

void TRREntityManager::UngroupSelection() {
  if (FSelection.Count() != 1 || !FSelection.First()->Is<TRREntityGroup>()) return;
  auto* group = static_cast<TRREntityGroup*>(FSelection.First());
  std::vector<TRREntity*> members = group->ChildEntities();
  TRRHistory* history = FProject.History();
  std::vector<std::unique_ptr<TRRCommand>> commands;
  std::unique_ptr<TRRCommand> groupCommand;
  if (history) {
    for (size_t i = 0; i < members.size(); ++i) commands.push_back(std::make_unique<TRRCommand>(nullptr));
    groupCommand = std::make_unique<TRRCommand>(group);
  }
  std::unique_ptr<TRRCommand> compound = history ? history->OpenCommand(nullptr) : nullptr;
  ProjectNode()->Update(false);
  group->BeginUpdate();
  group->ReleaseAll();
  {
    TSelectionBracket bracket(FSelection);
    delete group;
    FSelection.Clear();
    for (size_t i = 0; i < members.size(); ++i) {
      FSelection.Add(members[i]);
      if (history) commands[i]->SetAfter(members[i]);
    }
  }
  if (!history) {
    FProject.SetModified();
    return;
  }
  groupCommand->SetAfter(nullptr);
  for (auto& c : commands) compound->AddChild(std::move(c));
  compound->AddChild(std::move(groupCommand));
  history->Push(std::move(compound));
}

int TRREntityManager::DuplicateSelection() {
  TRRClipboard* clipboard = FProject.Clipboard();
  if (!clipboard || FSelection.Empty()) return 0;
  clipboard->Copy(FSelection);
  // The copies stay where the originals are: the move that usually follows places them.
  return clipboard->Paste(*this, gx::TGXVector3{0, 0, 0});
}

}  // namespace rr
