#include "app/RREventConditions.h"

#include "engine/core/GXSerialization.h"
#include "engine/core/GXStrings.h"

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

// ---- matching ----

// Entity and event IDs are positive: -1 ("any") and 0 ("none") in a subject field never match.
bool TRREntityStateCondition::Matches(const TRREventNotification& n) const {
  return FEntityID > 0 && n.SubjectID == FEntityID && (FState == -1 || FState == n.Parameter);
}

bool TRRTrackCondition::Matches(const TRREventNotification& n) const {
  return n.RouteIndex >= 0 && FTrackID > 0 && n.TrackID == FTrackID &&
         (FVehicleID == -1 || (n.SubjectID > 0 && n.SubjectID == FVehicleID));
}

bool TRREventEnabledCondition::Matches(const TRREventNotification& n) const {
  return FEventID != 0 && FEventID != -1 && n.SubjectID == FEventID && (FState == -1 || FState == n.Parameter);
}

bool TRRCountdownCondition::Matches(const TRREventNotification& n) const { return gx::SameText(n.Name, FName); }

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

int RRConditionKindOf(const TRRCondition& condition) {
  const std::vector<TRRConditionClass>& classes = RRConditionClasses();
  const std::string_view name = condition.ClassName();
  for (size_t i = 0; i < classes.size(); ++i)
    if (name == classes[i].Name) return static_cast<int>(i);
  return -1;
}

}  // namespace rr
