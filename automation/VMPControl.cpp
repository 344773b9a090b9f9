#include "automation/VMPControl.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "app/RREntityManager.h"
#include "app/RREvents.h"
#include "app/RRGlobal.h"
#include "app/RRProject.h"
#include "app/RRUnits.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RRController.h"
#include "app/entities/RRLight.h"
#include "app/entities/RRModel.h"
#include "app/entities/RRSignal.h"
#include "app/entities/RRTrackVehicle.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "automation/Velmora_TLB.h"
#include "engine/core/GXGeometry.h"
#include "engine/render/GXRenderCore.h"

namespace rr {

namespace {

// Every object whose events are connected, in the order connected. The process's notification
// hook is installed while the list is not empty; each notification is mapped once per object (the
// objects may serve different hosts) and handed to every sink.
std::vector<TVMPControl*>& Subscribers() {
  static std::vector<TVMPControl*> list;
  return list;
}

bool Finite(float v) { return std::isfinite(v); }

// Everything a call raises leaves as EAutomationError with the program's message.
template <class F>
auto Guarded(F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const EAutomationError&) {
    throw;
  } catch (const std::exception& e) {
    throw EAutomationError(e.what());
  } catch (...) {
    throw EAutomationError(RRCaptionUnexpectedError);
  }
}

// Class or ancestor by the class record's name (the kinds need not be linked in to be asked for).
bool IsKind(const TRREntityClass& cls, std::string_view name) {
  for (const TRREntityClass* c = &cls; c; c = c->Parent)
    if (name == c->Name) return true;
  return false;
}

// Entity type codes 1-12, tested in this order.
constexpr const char* kEntityKinds[] = {
    "TRRTrack",  "TRRTrackVehicle", "TRRSignal", "TRRBarrier",   "TRRVehicleBuilding", "TRRCatenary",
    "TRRCamera", "TRRLight",        "TRRPanel",  "TRRPrimitive", "TRRController",      "TRREntityGroup"};

int32_t TrackTypeCode(const TRRTrack& track) {
  const int type = static_cast<int>(track.Type());
  return type >= 0 && type < RRTrackTypeCount ? type + 1 : 0;
}

int32_t ControllerTypeCode(const TRRController& controller) {
  switch (controller.Kind()) {
    case RRControllerRegulator:
      return 1;
    case RRControllerToggle:
      return 2;
    default:
      return 0;
  }
}

bool CameraMatches(int32_t filter, uint8_t type) {
  switch (filter) {
    case 0:
      return true;
    case 1:
      return type == RRCameraFree || type == RRCameraTopDown || type == RRCameraTechnical;
    case 2:
      return type == RRCameraPlaced;
    case 3:
      return type == RRCameraCockpit;
    default:
      return false;
  }
}

TRREntity* Named(TRREntity* subject, int32_t id, const TRREntityManager* entities) {
  if (subject) return subject;
  return entities ? entities->FindByID(id) : nullptr;
}

std::string NameOf(const TRREntity* e) { return e ? e->Name() : std::string(); }

gx::TGXVector3 WorldPivot(const TRREntity& e) {
  return e.TransformPoint(e.Pivot(), gx::TGXTransformSpace::World);
}

// Closes a selection bracket however the block is left.
struct TSelectionBracket {
  explicit TSelectionBracket(TRREntitySelection& s) : Selection(s) { Selection.BeginUpdate(); }
  ~TSelectionBracket() { Selection.EndUpdate(); }
  TRREntitySelection& Selection;
};

}  // namespace

// ---- plain host ----

TRRPlainAutomationHost::TRRPlainAutomationHost(TRRGlobal& global) : FGlobal(&global) {}
TRRPlainAutomationHost::TRRPlainAutomationHost(TRRProject* project) : FProject(project) {}

TRRProject* TRRPlainAutomationHost::Project() { return FGlobal ? &FGlobal->Project() : FProject; }

std::string TRRPlainAutomationHost::AppFileName() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.string();
}

bool TRRPlainAutomationHost::Animations() { return FGlobal ? FGlobal->Animations() : FAnimations; }
void TRRPlainAutomationHost::SetAnimations(bool value) {
  if (FGlobal) FGlobal->SetAnimations(value);
  FAnimations = value;
}
bool TRRPlainAutomationHost::Sounds() { return FGlobal ? FGlobal->SoundEnabled() : FSounds; }
void TRRPlainAutomationHost::SetSounds(bool value) {
  if (FGlobal) FGlobal->SetSoundEnabled(value);
  FSounds = value;
}

bool TRRPlainAutomationHost::CloseProject() {
  TRRProject* project = Project();
  return !project || project->CloseQuery();
}

bool TRRPlainAutomationHost::Mark(TRRShellAction action) {
  const bool* mark = RRDisplayMark(FMarks, action);
  return mark && *mark;
}

void TRRPlainAutomationHost::SetMark(TRRShellAction action, bool checked) {
  if (bool* mark = RRDisplayMark(FMarks, action)) *mark = checked;
}

bool TRRPlainAutomationHost::GraphicsPresent() { return gx::GXCurrentRenderCore() != nullptr; }

// ---- events ----

std::optional<TRRAutomationEvent> RRAutomationEventOf(TRRConditionKind kind, const TRREventNotification& n,
                                                      const TRREntityManager* entities) {
  TRRAutomationEvent ev;
  switch (kind) {
    case TRRConditionKind::TrackEnter:
    case TRRConditionKind::TrackExit: {
      ev.DispId = kind == TRRConditionKind::TrackEnter ? 201 : 202;
      TRREntity* track = n.Route && n.Route->Track() ? n.Route->Track() : Named(nullptr, n.TrackID, entities);
      const int32_t index = n.Route ? n.Route->Index() : n.RouteIndex;
      ev.Args = {NameOf(track), NameOf(Named(n.Subject, n.SubjectID, entities)), index};
      break;
    }
    case TRRConditionKind::Switch:
      ev.DispId = 203;
      ev.Args = {NameOf(Named(n.Subject, n.SubjectID, entities)), n.Parameter};
      break;
    case TRRConditionKind::SignalSwitch:
      ev.DispId = 204;
      ev.Args = {NameOf(Named(n.Subject, n.SubjectID, entities)), n.Parameter};
      break;
    case TRRConditionKind::Controller: {
      ev.DispId = 205;
      TRREntity* subject = Named(n.Subject, n.SubjectID, entities);
      auto* controller = dynamic_cast<TRRController*>(subject);
      // A toggle switch notifies 0 or 1, a regulator the bits of its value.
      const float value = controller && controller->Kind() == RRControllerToggle
                              ? static_cast<float>(n.Parameter)
                              : std::bit_cast<float>(n.Parameter);
      ev.Args = {NameOf(subject), value};
      break;
    }
    case TRRConditionKind::Countdown:
      ev.DispId = 206;
      ev.Args = {n.Name};
      break;
    default:  // enabled conditions are not forwarded
      return std::nullopt;
  }
  ev.Name = RRFindAutomationEvent(ev.DispId)->Name;
  return ev;
}

// ---- the object ----

TVMPControl::TVMPControl(IRRAutomationHost& host) : FHost(host) {}

TVMPControl::~TVMPControl() { DisconnectEvents(); }

TRREntityManager* TVMPControl::Layout() {
  TRRProject* project = FHost.Project();
  return project && project->IsOpen() ? project->Manager() : nullptr;
}

TRREntity* TVMPControl::Find(const TRREntityClass* cls, const std::string& name) {
  TRREntityManager* m = Layout();
  return m ? m->FindByName(cls, name) : nullptr;
}

template <class T>
T* TVMPControl::Find(const std::string& name) {
  return static_cast<T*>(Find(&T::StaticClass(), name));
}

float TVMPControl::LengthFactor() const { return RRLengthUnits[FLengthUnit].Factor; }
float TVMPControl::AngleFactor() const { return RRAngleUnits[FAngleUnit].Factor; }

void TVMPControl::RefuseWhileBusy() {
  if (FHost.Busy()) throw EAutomationError(RRTextAutomationBusy);
}

int32_t TVMPControl::EntityTypeCode(const TRREntity& entity) {
  const TRREntityClass& cls = entity.GetClass();
  for (int32_t i = 0; i < static_cast<int32_t>(std::size(kEntityKinds)); ++i)
    if (IsKind(cls, kEntityKinds[i])) return i + 1;
  return 13;
}

// -- cameras --

TRRNameList TVMPControl::GetCameras(int32_t type) {
  return Guarded([&] {
    TRRNameList names;
    if (TRREntityManager* m = Layout())
      for (TRREntity* e : m->Cameras())
        if (auto* c = dynamic_cast<TRRCamera*>(e); c && CameraMatches(type, c->Type()))
          names.push_back(c->Name());
    return names;
  });
}

std::string TVMPControl::GetActiveCamera() {
  return Guarded([&] {
    TRREntityManager* m = Layout();
    return m ? NameOf(FHost.Project()->ActiveCamera()) : std::string();
  });
}

void TVMPControl::SetActiveCamera(const std::string& name) {
  Guarded([&] {
    if (auto* c = Find<TRRCamera>(name)) FHost.Project()->SetActiveCamera(c);
  });
}

// -- vehicles --

TRRNameList TVMPControl::GetTrackVehicles(int32_t type) {
  return Guarded([&] {
    TRRNameList names;
    if (TRREntityManager* m = Layout())
      for (TRREntity* e : m->Vehicles()) {
        auto* v = dynamic_cast<TRRTrackVehicle*>(e);
        if (v && (type == 0 || (type == 1 && v->HasEngine()) || (type == 2 && !v->HasEngine())))
          names.push_back(v->Name());
      }
    return names;
  });
}

float TVMPControl::GetTrackVehicleSpeed(const std::string& name) {
  return Guarded([&] {
    auto* v = Find<TRRTrackVehicle>(name);
    return v && v->HasEngine() ? v->TargetSpeed() * LengthFactor() : 0.0f;
  });
}

void TVMPControl::SetTrackVehicleSpeed(const std::string& name, float speed) {
  Guarded([&] {
    const float cm = speed / LengthFactor();
    if (!Finite(cm)) return;
    if (auto* v = Find<TRRTrackVehicle>(name); v && v->HasEngine()) v->SetTargetSpeed(cm);
  });
}

// -- animations --

TRRNameList TVMPControl::GetAnimations() {
  return Guarded([&] {
    TRRNameList names;
    if (TRREntityManager* m = Layout())
      for (int i = 0; i < m->EntitySlotCount(); ++i)
        if (auto* model = dynamic_cast<TRRModel*>(m->EntitySlot(i)); model && model->HasAnimation())
          names.push_back(model->Name());
    return names;
  });
}

void TVMPControl::StartAnimation(const std::string& name, int32_t direction, bool loop) {
  Guarded([&] {
    auto* model = Find<TRRModel>(name);
    if (!model || !model->HasAnimation()) return;
    model->SetLoop(loop);
    const float speed = std::fabs(model->Speed());
    model->SetSpeed(direction >= 0 ? speed : -speed);
    model->StartAnimation();
  });
}

void TVMPControl::StopAnimation(const std::string& name) {
  Guarded([&] {
    if (auto* model = Find<TRRModel>(name); model && model->HasAnimation()) model->StopAnimation();
  });
}

void TVMPControl::ResetAnimation(const std::string& name, bool resetToEnd) {
  Guarded([&] {
    if (auto* model = Find<TRRModel>(name); model && model->HasAnimation())
      model->ResetAnimation(!resetToEnd);
  });
}

// -- signals --

TRRNameList TVMPControl::GetSignals() {
  return Guarded([&] {
    TRRNameList names;
    if (TRREntityManager* m = Layout()) {
      std::vector<TRREntity*> signals;
      m->FindByClass(TRRSignal::StaticClass(), signals);
      for (TRREntity* e : signals) names.push_back(e->Name());
    }
    return names;
  });
}

int32_t TVMPControl::GetSignalState(const std::string& name) {
  return Guarded([&] {
    auto* s = Find<TRRSignal>(name);
    return s && s->SignalState() == RRSignalOpen ? 1 : 0;
  });
}

void TVMPControl::SetSignalState(const std::string& name, int32_t state) {
  Guarded([&] {
    if (state != 0 && state != 1) return;
    if (auto* s = Find<TRRSignal>(name)) s->SetSignalState(state == 1 ? RRSignalOpen : RRSignalClosed);
  });
}

// -- tracks --

TRRNameList TVMPControl::GetTracks(int32_t type) {
  return Guarded([&] {
    TRRNameList names;
    if (TRREntityManager* m = Layout())
      for (TRREntity* e : m->Tracks())
        if (auto* t = dynamic_cast<TRRTrack*>(e); t && (type == 0 || TrackTypeCode(*t) == type))
          names.push_back(t->Name());
    return names;
  });
}

int32_t TVMPControl::GetTrackType(const std::string& name) {
  return Guarded([&] {
    auto* t = Find<TRRTrack>(name);
    return t ? TrackTypeCode(*t) : 0;
  });
}

int32_t TVMPControl::GetTrackRouteCount(const std::string& name) {
  return Guarded([&] {
    auto* t = Find<TRRTrack>(name);
    return t ? t->GetRouteCount() : 0;
  });
}

int32_t TVMPControl::GetActiveTrackRoute(const std::string& name) {
  return Guarded([&] {
    auto* t = Find<TRRTrack>(name);
    return t ? t->ActiveRoute() : 0;
  });
}

void TVMPControl::SetActiveTrackRoute(const std::string& name, int32_t route) {
  Guarded([&] {
    if (auto* t = Find<TRRTrack>(name)) t->SetActiveRoute(route);
  });
}

float TVMPControl::GetTrackRouteLength(const std::string& name, int32_t routeIndex) {
  return Guarded([&] {
    auto* t = Find<TRRTrack>(name);
    if (!t || routeIndex < 0 || routeIndex >= t->GetRouteCount()) return 0.0f;
    const TRRTrackRoute* r = t->GetRoute(routeIndex);
    return r ? r->GetLength() * LengthFactor() : 0.0f;
  });
}

// -- controllers --

TRRNameList TVMPControl::GetControllers(int32_t type) {
  return Guarded([&] {
    TRRNameList names;
    if (TRREntityManager* m = Layout()) {
      std::vector<TRREntity*> controllers;
      m->FindByClass(TRRController::StaticClass(), controllers);
      for (TRREntity* e : controllers)
        if (type == 0 || ControllerTypeCode(static_cast<TRRController&>(*e)) == type)
          names.push_back(e->Name());
    }
    return names;
  });
}

int32_t TVMPControl::GetControllerType(const std::string& name) {
  return Guarded([&] {
    auto* c = Find<TRRController>(name);
    return c ? ControllerTypeCode(*c) : 0;
  });
}

float TVMPControl::GetControllerValue(const std::string& name) {
  return Guarded([&] {
    auto* c = Find<TRRController>(name);
    return c ? c->Value() : 0.0f;
  });
}

void TVMPControl::SetControllerValue(const std::string& name, float value) {
  Guarded([&] {
    if (!Finite(value)) return;
    if (auto* c = Find<TRRController>(name)) c->SetValue(value);
  });
}

// -- transforms --

TRRAutomationVector TVMPControl::GetPosition(const std::string& name) {
  return Guarded([&] {
    TRREntity* e = Find(nullptr, name);
    if (!e) return TRRAutomationVector{0, 0, 0};
    const gx::TGXVector3 p = WorldPivot(*e);
    const float f = LengthFactor();
    return TRRAutomationVector{p.x * f, p.z * f, p.y * f};
  });
}

void TVMPControl::SetPosition(const std::string& name, float x, float y, float z) {
  Guarded([&] {
    const float f = LengthFactor();
    const gx::TGXVector3 t{x / f, z / f, y / f};
    if (!Finite(t.x) || !Finite(t.y) || !Finite(t.z)) return;
    TRREntity* e = Find(nullptr, name);
    if (!e) return;
    const gx::TGXVector3 p = WorldPivot(*e);
    e->Translate({t.x - p.x, t.y - p.y, t.z - p.z}, gx::TGXTransformSpace::World);
    e->Update(false);
  });
}

TRRAutomationVector TVMPControl::GetRotation(const std::string& name) {
  return Guarded([&] {
    TRREntity* e = Find(nullptr, name);
    if (!e) return TRRAutomationVector{0, 0, 0};
    // The inverse of SetRotation's yaw-pitch-roll: client X pitch, Y roll, Z yaw.
    const gx::TGXYawPitchRoll r = gx::QuaternionToYawPitchRoll(e->WorldRotation());
    const float a = AngleFactor();
    return TRRAutomationVector{r.Pitch * a, r.Roll * a, r.Yaw * a};
  });
}

void TVMPControl::SetRotation(const std::string& name, float x, float y, float z) {
  Guarded([&] {
    const float a = AngleFactor();
    const float pitch = x / a, roll = y / a, yaw = z / a;
    if (!Finite(pitch) || !Finite(roll) || !Finite(yaw)) return;
    TRREntity* e = Find(nullptr, name);
    if (!e) return;
    // First back to no world rotation about the pivot, then the new one: the rotation is absolute
    // and the pivot stays where it is.
    e->RotateAround(gx::GXQuaternionInverse(e->WorldRotation()), WorldPivot(*e),
                    gx::TGXTransformSpace::World);
    e->Update(false);
    e->RotateAround(gx::GXQuaternionRotationYawPitchRoll(yaw, pitch, roll), WorldPivot(*e),
                    gx::TGXTransformSpace::World);
    e->Update(false);
  });
}

float TVMPControl::GetScaling(const std::string& name) {
  return Guarded([&] {
    TRREntity* e = Find(nullptr, name);
    return e ? e->WorldScale().x : 0.0f;
  });
}

void TVMPControl::SetScaling(const std::string& name, float scaling) {
  Guarded([&] {
    if (!Finite(scaling) || scaling == 0) return;
    TRREntity* e = Find(nullptr, name);
    if (!e || !e->CanScale()) return;
    e->SetWorldScale({scaling, scaling, scaling});
    e->Update(false);
  });
}

float TVMPControl::EntitySize(const std::string& name, int axis) {
  return Guarded([&] {
    TRREntity* e = Find(nullptr, name);
    if (!e) return 0.0f;
    const gx::TGXBoundingBox& b = e->LocalBounds();
    if (b.Empty) return 0.0f;
    const float extent[3] = {b.Max().x - b.Min().x, b.Max().y - b.Min().y, b.Max().z - b.Min().z};
    const float scale[3] = {e->WorldScale().x, e->WorldScale().y, e->WorldScale().z};
    return extent[axis] * scale[axis] * LengthFactor();
  });
}

float TVMPControl::GetEntityWidth(const std::string& name) { return EntitySize(name, 0); }
float TVMPControl::GetEntityHeight(const std::string& name) { return EntitySize(name, 1); }
float TVMPControl::GetEntityDepth(const std::string& name) { return EntitySize(name, 2); }

// -- files --

std::string TVMPControl::GetAppFileName() {
  return Guarded([&] { return FHost.AppFileName(); });
}

std::string TVMPControl::GetProjectFileName() {
  return Guarded([&] { return Layout() ? FHost.Project()->FileName() : std::string(); });
}

void TVMPControl::LoadProject(const std::string& fileName) {
  Guarded([&] {
    RefuseWhileBusy();
    TRRProject* project = FHost.Project();
    if (!project) return;
    // A cancelled save question loads nothing; a failed load is reported by the project itself
    // and leaves it closed, which the client sees in GetProjectFileName.
    if (!FHost.CloseProject() || project->IsOpen()) return;
    project->LoadProject(fileName, false);
    FHost.Refresh();
  });
}

void TVMPControl::SaveProject(const std::string& fileName) {
  Guarded([&] {
    RefuseWhileBusy();
    if (!Layout()) return;
    FHost.Project()->SaveProjectOrRaise(fileName);
    FHost.Refresh();
  });
}

// -- entities --

TRRNameList TVMPControl::GetEntities(int32_t type) {
  return Guarded([&] {
    TRRNameList names;
    if (TRREntityManager* m = Layout())
      for (int i = 0; i < m->EntitySlotCount(); ++i)
        if (TRREntity* e = m->EntitySlot(i); e && (type == 0 || EntityTypeCode(*e) == type))
          names.push_back(e->Name());
    return names;
  });
}

int32_t TVMPControl::GetEntityType(const std::string& name) {
  return Guarded([&] {
    TRREntity* e = Find(nullptr, name);
    return e ? EntityTypeCode(*e) : 0;
  });
}

TRRNameList TVMPControl::GetSelectedEntities() {
  return Guarded([&] {
    TRRNameList names;
    if (TRREntityManager* m = Layout())
      for (TRREntity* e : m->Selection()) names.push_back(e->Name());
    return names;
  });
}

void TVMPControl::LinkEntities(const std::string& source, const std::string& target) {
  Guarded([&] {
    TRREntity* s = Find(nullptr, source);
    if (!s) return;
    TRREntity* t = Find(nullptr, target);
    if (t != s) s->SetLinkTarget(t);  // an unknown target clears the link
  });
}

void TVMPControl::UnlinkEntity(const std::string& name) {
  Guarded([&] {
    if (TRREntity* e = Find(nullptr, name)) e->SetLinkTarget(nullptr);
  });
}

void TVMPControl::SelectEntity(const std::string& name, bool keepExisting) {
  Guarded([&] {
    TRREntityManager* m = Layout();
    if (!m) return;
    TSelectionBracket bracket(m->Selection());
    if (!keepExisting) m->Selection().Clear();
    if (TRREntity* e = m->FindByName(nullptr, name)) m->Selection().Add(e);
  });
}

// -- switches and units --

void TVMPControl::EnableAnimations(bool enable) {
  Guarded([&] {
    FHost.SetAnimations(enable);
    FHost.Refresh();
  });
}

void TVMPControl::EnableSounds(bool enable) {
  Guarded([&] {
    FHost.SetSounds(enable);
    FHost.Refresh();
  });
}

bool TVMPControl::AnimationsEnabled() {
  return Guarded([&] { return FHost.Animations(); });
}

bool TVMPControl::SoundsEnabled() {
  return Guarded([&] { return FHost.Sounds(); });
}

int32_t TVMPControl::GetSimulationMode() {
  return Guarded([&] {
    return (FHost.Mark(TRRShellAction::ShowGizmo) ? 1 : 0) |
           (FHost.Mark(TRRShellAction::ShowSelectionBorder) ? 2 : 0) |
           (FHost.Mark(TRRShellAction::ShowActiveTrack) ? 4 : 0);
  });
}

void TVMPControl::SetSimulationMode(int32_t mode) {
  Guarded([&] {
    FHost.SetMark(TRRShellAction::ShowGizmo, (mode & 1) != 0);
    FHost.SetMark(TRRShellAction::ShowSelectionBorder, (mode & 2) != 0);
    FHost.SetMark(TRRShellAction::ShowActiveTrack, (mode & 4) != 0);
    FHost.SetMark(TRRShellAction::SimMode, mode == 0);
    FHost.Layout();
  });
}

void TVMPControl::SetLengthUnit(int32_t unit) {
  if (unit >= 0 && unit < RRLengthUnitCount) FLengthUnit = unit;
}

void TVMPControl::SetAngularUnit(int32_t unit) {
  if (unit >= 0 && unit < RRAngleUnitCount) FAngleUnit = unit;
}

void TVMPControl::SetLight(int32_t skyColor, int32_t ambientColor, int32_t diffuseColor,
                           bool enableHeadlights) {
  Guarded([&] {
    TRREntityManager* m = Layout();
    auto* light = m ? dynamic_cast<TRRLight*>(m->Light()) : nullptr;
    if (!light) return;
    // Ambient and diffuse read 0x00RRGGBB: the top byte is ignored.
    auto rgb = [](int32_t colour) {
      const auto c = static_cast<uint32_t>(colour);
      return gx::TGXVector3{static_cast<float>((c >> 16) & 255) / 255.0f,
                            static_cast<float>((c >> 8) & 255) / 255.0f,
                            static_cast<float>(c & 255) / 255.0f};
    };
    light->SetSkyColor(static_cast<uint32_t>(skyColor));
    light->SetAmbient(rgb(ambientColor));
    light->SetDiffuse(rgb(diffuseColor));
    light->SetSpotlights(enableHeadlights);
  });
}

// -- event hook --

void TVMPControl::ConnectEvents(std::function<void(const TRRAutomationEvent&)> sink) {
  FSink = std::move(sink);
  std::vector<TVMPControl*>& list = Subscribers();
  if (std::find(list.begin(), list.end(), this) != list.end()) return;
  list.push_back(this);
  if (list.size() > 1) return;
  TRREventManager::SetNotifyHook([](TRRConditionKind kind, const TRREventNotification& n) {
    // A copy: a sink may connect or disconnect objects while it runs.
    const std::vector<TVMPControl*> now = Subscribers();
    for (TVMPControl* c : now) {
      const std::vector<TVMPControl*>& current = Subscribers();
      if (std::find(current.begin(), current.end(), c) == current.end() || !c->FSink) continue;
      if (std::optional<TRRAutomationEvent> ev = RRAutomationEventOf(kind, n, c->Layout())) c->FSink(*ev);
    }
  });
}

void TVMPControl::DisconnectEvents() {
  FSink = nullptr;
  std::vector<TVMPControl*>& list = Subscribers();
  const auto it = std::find(list.begin(), list.end(), this);
  if (it == list.end()) return;
  list.erase(it);
  if (list.empty()) TRREventManager::SetNotifyHook({});
}

bool TVMPControl::EventsConnected() const {
  const std::vector<TVMPControl*>& list = Subscribers();
  return std::find(list.begin(), list.end(), this) != list.end();
}

}  // namespace rr
