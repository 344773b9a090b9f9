#include "app/RREventConditions.h"

#include "engine/core/GXSerialization.h"

namespace rr {

using gx::ReadAnsiString;
using gx::ReadInteger;
using gx::WriteAnsiString;
using gx::WriteInteger;

void TRREntityStateCondition::ReadFromStream(gx::TGXStream& s, int32_t) {
  FEntityID = ReadInteger(s);
  FState = ReadInteger(s);
}

void TRREntityStateCondition::WriteToStream(gx::TGXStream& s) const {
  WriteInteger(s, FEntityID);
  WriteInteger(s, FState);
}

void TRRTrackCondition::ReadFromStream(gx::TGXStream& s, int32_t version) {
  if (version <= RREventOldFormMaxVersion) {
    FVehicleID = -1;
  } else {
    FVehicleID = ReadInteger(s);
  }
  FTrackID = ReadInteger(s);
}

void TRRTrackCondition::WriteToStream(gx::TGXStream& s) const {
  WriteInteger(s, FVehicleID);
  WriteInteger(s, FTrackID);
}

void TRREventEnabledCondition::ReadFromStream(gx::TGXStream& s, int32_t) {
  FEventID = ReadInteger(s);
  FState = ReadInteger(s);
}

void TRREventEnabledCondition::WriteToStream(gx::TGXStream& s) const {
  WriteInteger(s, FEventID);
  WriteInteger(s, FState);
}

void TRRCountdownCondition::ReadFromStream(gx::TGXStream& s, int32_t) { FName = ReadAnsiString(s); }

void TRRCountdownCondition::WriteToStream(gx::TGXStream& s) const { WriteAnsiString(s, FName); }

namespace {

template <class T>
std::unique_ptr<TRRCondition> Construct(TRREvent* event) {
  return std::make_unique<T>(event);
}

}  // namespace

#define RR_CONDITION_CREATE_NEW(Class) \
  std::unique_ptr<TRRCondition> Class::CreateNew(TRREvent* event) const { return Construct<Class>(event); }

RR_CONDITION_CREATE_NEW(TRRSwitchCondition)
RR_CONDITION_CREATE_NEW(TRRSignalSwitchCondition)
RR_CONDITION_CREATE_NEW(TRRControllerCondition)
RR_CONDITION_CREATE_NEW(TRRTrackEnterCondition)
RR_CONDITION_CREATE_NEW(TRRTrackExitCondition)
RR_CONDITION_CREATE_NEW(TRREventEnabledCondition)
RR_CONDITION_CREATE_NEW(TRRCountdownCondition)

const std::vector<TRRConditionClass>& RRConditionClasses() {
  static const std::vector<TRRConditionClass> classes{
      {"TRRSwitchCondition", "Weiche schaltet", &Construct<TRRSwitchCondition>},
      {"TRRSignalSwitchCondition", "Signal schaltet", &Construct<TRRSignalSwitchCondition>},
      {"TRRTrackEnterCondition", "Zug betritt ein Gleis", &Construct<TRRTrackEnterCondition>},
      {"TRRTrackExitCondition", "Zug verlässt ein Gleis", &Construct<TRRTrackExitCondition>},
      {"TRRControllerCondition", "Kippschalter wird betätigt", &Construct<TRRControllerCondition>},
      {"TRREventEnabledCondition", "Ereignis/Gruppe wird aktiviert/deaktiviert",
       &Construct<TRREventEnabledCondition>},
      {"TRRCountdownCondition", "Countdown läuft ab", &Construct<TRRCountdownCondition>},
  };
  return classes;
}

const TRRConditionClass* RRFindConditionClass(std::string_view name) {
  for (const TRRConditionClass& c : RRConditionClasses())
    if (name == c.Name) return &c;
  return nullptr;
}

}  // namespace rr
