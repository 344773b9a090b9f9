#pragma once
// The identifiers of the automation interface: the library, the object class and its two
// interfaces with their GUIDs and help strings, the methods (dispatch IDs 201-253 in slot order)
// and the events (201-206), each with its argument names and session-bus types. The bus binding
// registers what this table says, and the committed introspection file
// automation/Velmora.IVMPControl.xml is RRIntrospectionXml() written out (a test keeps the two
// equal).
//
// Bus types: string "s", int "i", single "d", bool "b", names "as", vectors of three "ad";
// colours travel as signed "i" (0xAARRGGBB).

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace rr {

inline constexpr const char* RRAutomationLibraryName = "Velmora";
inline constexpr const char* RRAutomationLibraryGuid = "{7ADA29C1-5723-4E54-8BBB-8CA3E57AFD22}";
inline constexpr const char* RRAutomationLibraryHelp = "3D-Velmora Automatisierung";
inline constexpr int RRAutomationVersionMajor = 1;
inline constexpr int RRAutomationVersionMinor = 0;

inline constexpr const char* RRAutomationClassName = "VMPControl";
inline constexpr const char* RRAutomationClassGuid = "{51279A27-8854-4853-9E73-9828E734831C}";
inline constexpr const char* RRAutomationClassHelp = "VMPControl Objekt";

inline constexpr const char* RRAutomationInterfaceGuid = "{9E1FE920-B917-4257-8F90-AAC9B553E72D}";
inline constexpr const char* RRAutomationInterfaceHelp = "Dispatch-Interface für VMPControl-Objekt";
inline constexpr const char* RRAutomationEventsGuid = "{40320D19-CD8C-464B-BED4-61770EF3CA31}";
inline constexpr const char* RRAutomationEventsHelp = "Ereignis-Interface für VMPControl-Objekt";

// Names on the session bus.
inline constexpr const char* RRAutomationBusName = "Velmora.VMPControl";
inline constexpr const char* RRAutomationObjectPath = "/VMPControl";
inline constexpr const char* RRAutomationInterface = "Velmora.IVMPControl";
inline constexpr const char* RRAutomationEventsInterface = "Velmora.IVMPControlEvents";
inline constexpr const char* RRAutomationDispIdAnnotation = "Velmora.DispId";
inline constexpr const char* RRAutomationGuidAnnotation = "Velmora.Guid";
inline constexpr const char* RRAutomationHelpAnnotation = "Velmora.HelpString";

inline constexpr int RRAutomationFirstDispId = 201;
inline constexpr int RRAutomationMethodCount = 53;
inline constexpr int RRAutomationEventCount = 6;

struct TRRAutomationArg {
  const char* Name;
  const char* Type;  // bus signature of one argument
  bool Out = false;
};

// One method or event. A method with an optional last argument (ResetAnimation) is offered twice
// on the bus under the same name and dispatch ID: with and without it.
struct TRRAutomationMember {
  int32_t DispId;
  const char* Name;
  std::vector<TRRAutomationArg> Args;
  bool LastArgOptional = false;

  // The in (or out) arguments' signature, e.g. "si".
  std::string Signature(bool out) const;
};

// Methods in dispatch-ID order (index = DispId - 201).
std::span<const TRRAutomationMember> RRAutomationMethods();
// Events in dispatch-ID order.
std::span<const TRRAutomationMember> RRAutomationEvents();
// The member with the name (methods or events), or null.
const TRRAutomationMember* RRFindAutomationMethod(const std::string& name);
const TRRAutomationMember* RRFindAutomationEvent(int32_t dispId);

// The introspection document of the object: both interfaces, each method and signal annotated
// with its dispatch ID, each interface with its GUID and help string.
std::string RRIntrospectionXml();

}  // namespace rr
