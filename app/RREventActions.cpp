#include "app/RREventActions.h"

#include <cmath>

#include "app/RREntityManager.h"
#include "app/entities/RRModel.h"
#include "app/entities/RRSignal.h"
#include "app/entities/RRTrackVehicle.h"
#include "app/entities/track/RRTrack.h"
#include "engine/core/GXSerialization.h"

namespace rr {

using gx::ReadAnsiString;
using gx::ReadByte;
using gx::ReadInteger;
using gx::ReadSingle;
using gx::WriteAnsiString;
using gx::WriteByte;
using gx::WriteInteger;
using gx::WriteSingle;

TRRAction::~TRRAction() {
  if (FEvent && FEvent->Manager()) FEvent->Manager()->Unqueue(this);
}

const char* TRRAction::DisplayName() const {
  for (const TRRActionClass& c : RRActionClasses())
    if (std::string_view(ClassName()) == c.Name) return c.DisplayName;
  return ClassName();
}

// ---- execution ----

namespace {

template <class T>
T* EntityOf(const TRRActionContext& context, int32_t id) {
  return id > 0 && context.Entities ? dynamic_cast<T*>(context.Entities->FindByID(id)) : nullptr;
}

std::string Number(float v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(v));
  return text;
}

}  // namespace

std::string TRRSwitchTrackRouteAction::Execute(TRRActionContext& context) {
  TRRTrack* track = EntityOf<TRRTrack>(context, FEntityID);
  if (!track || !track->IsSwitchable() || FValue < -1) return {};
  const int count = track->GetRouteCount();
  if (count == 0) return {};
  // -1 advances to the next route; a route beyond the last is clamped by the track.
  const int32_t route = FValue == -1 ? (track->ActiveRoute() + 1) % count : FValue;
  track->SetActiveRoute(route);
  return context.Describe ? "Fahrweg " + std::to_string(track->ActiveRoute()) : std::string();
}

std::string TRRSetSignalAction::Execute(TRRActionContext& context) {
  TRRSignal* signal = EntityOf<TRRSignal>(context, FEntityID);
  if (!signal || FValue < -1 || FValue > 1) return {};
  // -1 toggles.
  const uint8_t state = FValue == -1 ? (signal->SignalState() == RRSignalOpen ? RRSignalClosed : RRSignalOpen)
                                     : static_cast<uint8_t>(FValue);
  signal->SetSignalState(state);
  return !context.Describe ? "" : state == RRSignalOpen ? "Fahrt" : "Halt";
}

std::string TRRSetVehicleSpeedAction::Execute(TRRActionContext& context) {
  if (!context.Entities) return {};
  std::vector<TRRTrackVehicle*> vehicles;
  if (FVehicleID == -1) {
    if (auto* manager = dynamic_cast<TRREntityManager*>(context.Entities))
      for (TRREntity* e : manager->Vehicles())
        if (auto* v = dynamic_cast<TRRTrackVehicle*>(e)) vehicles.push_back(v);
  } else if (auto* v = EntityOf<TRRTrackVehicle>(context, FVehicleID)) {
    vehicles.push_back(v);
  }
  int count = 0;
  for (TRRTrackVehicle* v : vehicles) {
    if (!v->HasEngine() || (FTrackID != -1 && !v->IsOnTrack(FTrackID))) continue;
    v->SetTargetSpeed(std::isfinite(FSpeed) ? FSpeed : 0.0f);
    ++count;
  }
  if (count == 0 || !context.Describe) return {};
  return "Geschwindigkeit " + Number(std::isfinite(FSpeed) ? FSpeed : 0.0f) + " cm/s für " + std::to_string(count) +
         (count == 1 ? " Lok" : " Loks");
}

std::string TRREnableEventAction::Execute(TRRActionContext& context) {
  TRREventManager* events = context.Events;
  if (!events || FMode > ModeToggle || FEventID == 0 || FEventID == -1) return {};
  TRREventGroup* group = events->FindGroup(FEventID);
  TRREvent* event = group ? nullptr : events->FindEvent(FEventID);
  if (!group && !event) return {};
  const bool old = group ? group->Enabled() : event->Enabled();
  const bool value = FMode == ModeToggle ? !old : FMode == ModeEnable;
  if (value == old) return !context.Describe ? "" : value ? "bleibt aktiv" : "bleibt inaktiv";
  if (group)
    group->SetEnabled(value);
  else
    event->SetEnabled(value);
  TRREventNotification n;
  n.SubjectID = FEventID;
  n.Parameter = value ? 1 : 0;
  n.Name = group ? group->Name() : event->Name();
  events->Notify(TRRConditionKind::EventEnabled, n);
  return !context.Describe ? "" : value ? "aktiviert" : "deaktiviert";
}

std::string TRRStartCountdownAction::Execute(TRRActionContext& context) {
  if (!context.Events) return {};
  context.Events->StartCountdown(FName, FAutoRestart != 0, 0, FDuration);
  if (!context.Describe) return {};
  const TRRCountdownInfo* info = context.Events->FindCountdown(FName);
  return "Countdown „" + FName + "“ " + Number(info ? info->Duration : 0) + " s";
}

std::string TRRStopCountdownAction::Execute(TRRActionContext& context) {
  if (!context.Events || !context.Events->FindCountdown(FName)) return {};
  context.Events->StopCountdown(FName);
  return context.Describe ? "Countdown „" + FName + "“ gestoppt" : std::string();
}

std::string TRRStartAnimationAction::Execute(TRRActionContext& context) {
  TRRModel* model = EntityOf<TRRModel>(context, FModelID);
  if (!model || FDirection < 0 || FDirection > 2 || FStartPosition < 0 || FStartPosition > 2) return {};
  model->StartAnimationAction(FDirection, FStartPosition);
  return context.Describe ? "Animation gestartet" : "";
}

std::string TRRStopAnimationAction::Execute(TRRActionContext& context) {
  TRRModel* model = EntityOf<TRRModel>(context, FModelID);
  if (!model || FEndPosition < 0 || FEndPosition > 2) return {};
  model->StopAnimationAction(FEndPosition);
  return context.Describe ? "Animation gestoppt" : "";
}

// ---- stream ----

void TRREntityValueAction::ReadFromStream(gx::TGXStream& s, int32_t) {
  FEntityID = ReadInteger(s);
  FValue = ReadInteger(s);
}

void TRREntityValueAction::WriteToStream(gx::TGXStream& s) const {
  WriteInteger(s, FEntityID);
  WriteInteger(s, FValue);
}

void TRRSetVehicleSpeedAction::ReadFromStream(gx::TGXStream& s, int32_t version) {
  FVehicleID = ReadInteger(s);
  FTrackID = version <= RREventOldFormMaxVersion ? -1 : ReadInteger(s);
  FSpeed = ReadSingle(s);
}

void TRRSetVehicleSpeedAction::WriteToStream(gx::TGXStream& s) const {
  WriteInteger(s, FVehicleID);
  WriteInteger(s, FTrackID);
  WriteSingle(s, FSpeed);
}

void TRREnableEventAction::ReadFromStream(gx::TGXStream& s, int32_t) {
  FEventID = ReadInteger(s);
  FMode = ReadByte(s);
}

void TRREnableEventAction::WriteToStream(gx::TGXStream& s) const {
  WriteInteger(s, FEventID);
  WriteByte(s, FMode);
}

void TRRStartCountdownAction::ReadFromStream(gx::TGXStream& s, int32_t) {
  FName = ReadAnsiString(s);
  FDuration = ReadSingle(s);
  FAutoRestart = ReadByte(s);
}

void TRRStartCountdownAction::WriteToStream(gx::TGXStream& s) const {
  WriteAnsiString(s, FName);
  WriteSingle(s, FDuration);
  WriteByte(s, FAutoRestart);
}

void TRRStopCountdownAction::ReadFromStream(gx::TGXStream& s, int32_t) { FName = ReadAnsiString(s); }

void TRRStopCountdownAction::WriteToStream(gx::TGXStream& s) const { WriteAnsiString(s, FName); }

void TRRStartAnimationAction::ReadFromStream(gx::TGXStream& s, int32_t) {
  FModelID = ReadInteger(s);
  FDirection = ReadInteger(s);
  FStartPosition = ReadInteger(s);
}

void TRRStartAnimationAction::WriteToStream(gx::TGXStream& s) const {
  WriteInteger(s, FModelID);
  WriteInteger(s, FDirection);
  WriteInteger(s, FStartPosition);
}

void TRRStopAnimationAction::ReadFromStream(gx::TGXStream& s, int32_t) {
  FModelID = ReadInteger(s);
  FEndPosition = ReadInteger(s);
}

void TRRStopAnimationAction::WriteToStream(gx::TGXStream& s) const {
  WriteInteger(s, FModelID);
  WriteInteger(s, FEndPosition);
}

namespace {

template <class T>
std::unique_ptr<TRRAction> Construct(TRREvent* event) {
  return std::make_unique<T>(event);
}

}  // namespace

#define RR_ACTION_CREATE_NEW(Class) \
  std::unique_ptr<TRRAction> Class::CreateNew(TRREvent* event) const { return Construct<Class>(event); }

RR_ACTION_CREATE_NEW(TRRSwitchTrackRouteAction)
RR_ACTION_CREATE_NEW(TRRSetSignalAction)
RR_ACTION_CREATE_NEW(TRRSetVehicleSpeedAction)
RR_ACTION_CREATE_NEW(TRREnableEventAction)
RR_ACTION_CREATE_NEW(TRRStartCountdownAction)
RR_ACTION_CREATE_NEW(TRRStopCountdownAction)
RR_ACTION_CREATE_NEW(TRRStartAnimationAction)
RR_ACTION_CREATE_NEW(TRRStopAnimationAction)

const std::vector<TRRActionClass>& RRActionClasses() {
  static const std::vector<TRRActionClass> classes{
      {"TRRSwitchTrackRouteAction", "Weiche schalten", &Construct<TRRSwitchTrackRouteAction>},
      {"TRRSetSignalAction", "Signal einstellen", &Construct<TRRSetSignalAction>},
      {"TRRSetVehicleSpeedAction", "Lokgeschwindigkeit setzen", &Construct<TRRSetVehicleSpeedAction>},
      {"TRREnableEventAction", "Ereignis/Gruppe aktivieren/deaktivieren", &Construct<TRREnableEventAction>},
      {"TRRStartCountdownAction", "Countdown starten", &Construct<TRRStartCountdownAction>},
      {"TRRStopCountdownAction", "Countdown stoppen", &Construct<TRRStopCountdownAction>},
      {"TRRStartAnimationAction", "Animation starten", &Construct<TRRStartAnimationAction>},
      {"TRRStopAnimationAction", "Animation stoppen", &Construct<TRRStopAnimationAction>},
  };
  return classes;
}

const TRRActionClass* RRFindActionClass(std::string_view name) {
  for (const TRRActionClass& c : RRActionClasses())
    if (name == c.Name) return &c;
  return nullptr;
}

}  // namespace rr
