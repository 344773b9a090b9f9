#include "app/RREventActions.h"

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
