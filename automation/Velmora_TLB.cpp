#include "automation/Velmora_TLB.h"

#include "app/RRMarkup.h"

namespace rr {

namespace {

using A = TRRAutomationArg;

const A Name{"Name", "s"};
A Out(const char* name, const char* type) { return {name, type, true}; }

const std::vector<TRRAutomationMember>& Methods() {
  static const std::vector<TRRAutomationMember> methods = {
      {201, "GetCameras", {{"Type", "i"}, Out("Names", "as")}},
      {202, "GetActiveCamera", {Out("Name", "s")}},
      {203, "SetActiveCamera", {Name}},
      {204, "GetTrackVehicles", {{"Type", "i"}, Out("Names", "as")}},
      {205, "GetTrackVehicleSpeed", {Name, Out("Speed", "d")}},
      {206, "SetTrackVehicleSpeed", {Name, {"Speed", "d"}}},
      {207, "GetAnimations", {Out("Names", "as")}},
      {208, "StartAnimation", {Name, {"Direction", "i"}, {"Loop", "b"}}},
      {209, "StopAnimation", {Name}},
      {210, "ResetAnimation", {Name, {"ResetToEnd", "b"}}, true},
      {211, "GetSignals", {Out("Names", "as")}},
      {212, "GetSignalState", {Name, Out("State", "i")}},
      {213, "SetSignalState", {Name, {"State", "i"}}},
      {214, "GetTracks", {{"Type", "i"}, Out("Names", "as")}},
      {215, "GetTrackType", {Name, Out("Type", "i")}},
      {216, "GetTrackRouteCount", {Name, Out("RouteCount", "i")}},
      {217, "GetActiveTrackRoute", {Name, Out("Route", "i")}},
      {218, "SetActiveTrackRoute", {Name, {"Route", "i"}}},
      {219, "GetControllers", {{"Type", "i"}, Out("Names", "as")}},
      {220, "GetControllerType", {Name, Out("Type", "i")}},
      {221, "GetControllerValue", {Name, Out("Value", "d")}},
      {222, "SetControllerValue", {Name, {"Value", "d"}}},
      {223, "GetPosition", {Name, Out("Position", "ad")}},
      {224, "SetPosition", {Name, {"X", "d"}, {"Y", "d"}, {"Z", "d"}}},
      {225, "GetRotation", {Name, Out("Rotation", "ad")}},
      {226, "SetRotation", {Name, {"X", "d"}, {"Y", "d"}, {"Z", "d"}}},
      {227, "GetScaling", {Name, Out("Scaling", "d")}},
      {228, "SetScaling", {Name, {"Scaling", "d"}}},
      {229, "GetAppFileName", {Out("FileName", "s")}},
      {230, "GetProjectFileName", {Out("FileName", "s")}},
      {231, "GetEntities", {{"Type", "i"}, Out("Names", "as")}},
      {232, "GetEntityType", {Name, Out("Type", "i")}},
      {233, "GetSelectedEntities", {Out("Names", "as")}},
      {234, "LinkEntities", {{"Source", "s"}, {"Target", "s"}}},
      {235, "UnlinkEntity", {Name}},
      {236, "LoadProject", {{"FileName", "s"}}},
      {237, "SaveProject", {{"FileName", "s"}}},
      {238, "EnableAnimations", {{"Enable", "b"}}},
      {239, "EnableSounds", {{"Enable", "b"}}},
      {240, "GetSimulationMode", {Out("Mode", "i")}},
      {241, "SetSimulationMode", {{"Mode", "i"}}},
      {242, "GetLengthUnit", {Out("Unit", "i")}},
      {243, "SetLengthUnit", {{"Unit", "i"}}},
      {244, "GetAngularUnit", {Out("Unit", "i")}},
      {245, "SetAngularUnit", {{"Unit", "i"}}},
      {246, "GetTrackRouteLength", {Name, {"RouteIndex", "i"}, Out("Length", "d")}},
      {247, "AnimationsEnabled", {Out("Result", "b")}},
      {248, "SoundsEnabled", {Out("Result", "b")}},
      {249, "SelectEntity", {Name, {"KeepExisting", "b"}}},
      {250,
       "SetLight",
       {{"SkyColor", "i"}, {"AmbientColor", "i"}, {"DiffuseColor", "i"}, {"EnableHeadlights", "b"}}},
      {251, "GetEntityWidth", {Name, Out("Result", "d")}},
      {252, "GetEntityHeight", {Name, Out("Result", "d")}},
      {253, "GetEntityDepth", {Name, Out("Result", "d")}},
  };
  return methods;
}

const std::vector<TRRAutomationMember>& Events() {
  static const std::vector<TRRAutomationMember> events = {
      {201, "TrackEntered", {{"TrackName", "s"}, {"VehicleName", "s"}, {"RouteIndex", "i"}}},
      {202, "TrackLeft", {{"TrackName", "s"}, {"VehicleName", "s"}, {"RouteIndex", "i"}}},
      {203, "ActiveTrackRouteChanged", {Name, {"RouteIndex", "i"}}},
      {204, "SignalStateChanged", {Name, {"State", "i"}}},
      {205, "ControllerValueChanged", {Name, {"Value", "d"}}},
      {206, "CountdownFinished", {Name}},
  };
  return events;
}

void Annotation(std::string& out, const char* indent, const char* name, const std::string& value) {
  out += std::string(indent) + "<annotation name=\"" + name + "\" value=\"" + RREscapeMarkup(value, true) + "\"/>\n";
}

void Member(std::string& out, const TRRAutomationMember& m, bool signal, size_t argCount) {
  const char* tag = signal ? "signal" : "method";
  out += std::string("    <") + tag + " name=\"" + m.Name + "\">\n";
  for (size_t i = 0; i < argCount; ++i) {
    const TRRAutomationArg& a = m.Args[i];
    out += std::string("      <arg name=\"") + a.Name + "\" type=\"" + a.Type + "\"";
    if (!signal) out += a.Out ? " direction=\"out\"" : " direction=\"in\"";
    out += "/>\n";
  }
  Annotation(out, "      ", RRAutomationDispIdAnnotation, std::to_string(m.DispId));
  out += std::string("    </") + tag + ">\n";
}

}  // namespace

std::string TRRAutomationMember::Signature(bool out) const {
  std::string s;
  for (const TRRAutomationArg& a : Args)
    if (a.Out == out) s += a.Type;
  return s;
}

std::span<const TRRAutomationMember> RRAutomationMethods() { return Methods(); }
std::span<const TRRAutomationMember> RRAutomationEvents() { return Events(); }

const TRRAutomationMember* RRFindAutomationMethod(const std::string& name) {
  for (const TRRAutomationMember& m : Methods())
    if (name == m.Name) return &m;
  return nullptr;
}

const TRRAutomationMember* RRFindAutomationEvent(int32_t dispId) {
  const int32_t i = dispId - RRAutomationFirstDispId;
  return i >= 0 && i < RRAutomationEventCount ? &Events()[static_cast<size_t>(i)] : nullptr;
}

std::string RRIntrospectionXml() {
  std::string out =
      "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
      " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n";
  out += std::string("<!-- Generated from automation/Velmora_TLB.cpp (RRIntrospectionXml); bus name ") +
         RRAutomationBusName + ". -->\n";
  out += std::string("<node name=\"") + RRAutomationObjectPath + "\">\n";
  out += std::string("  <interface name=\"") + RRAutomationInterface + "\">\n";
  Annotation(out, "    ", RRAutomationGuidAnnotation, RRAutomationInterfaceGuid);
  Annotation(out, "    ", RRAutomationHelpAnnotation, RRAutomationInterfaceHelp);
  Annotation(out, "    ", "Velmora.ClassGuid", RRAutomationClassGuid);
  Annotation(out, "    ", "Velmora.ClassHelpString", RRAutomationClassHelp);
  Annotation(out, "    ", "Velmora.LibraryGuid", RRAutomationLibraryGuid);
  Annotation(out, "    ", "Velmora.Version",
             std::to_string(RRAutomationVersionMajor) + "." + std::to_string(RRAutomationVersionMinor));
  for (const TRRAutomationMember& m : Methods()) {
    Member(out, m, false, m.Args.size());
    if (m.LastArgOptional) Member(out, m, false, m.Args.size() - 1);
  }
  out += "  </interface>\n";
  out += std::string("  <interface name=\"") + RRAutomationEventsInterface + "\">\n";
  Annotation(out, "    ", RRAutomationGuidAnnotation, RRAutomationEventsGuid);
  Annotation(out, "    ", RRAutomationHelpAnnotation, RRAutomationEventsHelp);
  for (const TRRAutomationMember& e : Events()) Member(out, e, true, e.Args.size());
  out += "  </interface>\n";
  out += "</node>\n";
  return out;
}

}  // namespace rr
