#pragma once
// TVMPControl: the object other programs drive a running instance through. Each of its 53
// operations finds a layout object by name and calls the operation of that object's kind; what
// is fixed here is the boundary: the client's length and angle units, the swapped axes, the
// codes, and the behaviour without a project or with an unknown name. The session-bus binding
// (a later layer) turns calls into these functions, an EAutomationError into an error reply and
// TRRAutomationEvent into a signal; nothing here knows the bus.
//
// Common frame of every operation:
//   - out values start cleared: 0, false, empty string, empty list, (0, 0, 0);
//   - operations on the layout return the cleared value at once while no project exists or it
//     is not open; the switches, units, program path and the load need no project;
//   - names are looked up with the entity manager's FindByName (ignoring case, first in ID
//     order, an entity of another class does not match); not found: nothing happens;
//   - invalid codes, non-finite numbers and a scale of 0 are ignored, never raised;
//   - errors raised by the layout (a file that cannot be written) leave as EAutomationError with
//     the program's German message; what changed before the error stays changed.
//
// Units: lengths, speeds, positions and sizes cross the boundary multiplied by the length factor
// f of the object's length unit (0 mm, 1 cm, 2 dm, 3 m, 4 inch; initially cm), angles by the
// factor of its angle unit (0 degrees, 1 radians; initially radians). Scale factors and
// controller values carry no unit. Axes: the client's (X, Y, Z) is the world's (X, Z, Y), so
// the client's Z is the height.
//
// The program around the object is reached through IRRAutomationHost; TRRPlainAutomationHost
// serves tests and the headless program. Everything runs on the thread of the frame loop.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "app/RRShellState.h"
#include "app/entities/track/RRTrackEvents.h"

namespace rr {

class TRRGlobal;
class TRRProject;
class TRREntity;
class TRREntityManager;
struct TRREntityClass;

inline constexpr const char* RRTextAutomationBusy =
    "3D-Velmora ist gerade beschäftigt. Bitte versuchen Sie es später noch einmal.";

// An error of an automation call; the message is the program's (German) text.
class EAutomationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using TRRNameList = std::vector<std::string>;
using TRRAutomationVector = std::array<float, 3>;

// What the object needs from the program's shell (the desktop main window or the headless
// program).
class IRRAutomationHost {
 public:
  virtual ~IRRAutomationHost() = default;
  // The program's one project object; null when none exists (start-up, shut-down).
  virtual TRRProject* Project() = 0;
  // Full path of the running program's file.
  virtual std::string AppFileName() = 0;
  // The global animation and sound switches.
  virtual bool Animations() = 0;
  virtual void SetAnimations(bool value) = 0;
  virtual bool Sounds() = 0;
  virtual void SetSounds(bool value) = 0;
  // The close flow of the main window: the save question when modified, then close. True when
  // the project is closed afterwards (false: the user cancelled, or saving failed).
  virtual bool CloseProject() = 0;
  // The main window's refresh (actions, caption, pages follow the project and the switches).
  virtual void Refresh() = 0;
  // The main window's layout, which copies the three display marks into the display switches.
  virtual void Layout() = 0;
  // The check marks of SimMode, ShowGizmo, ShowSelectionBorder and ShowActiveTrack; setting one
  // does not run the action's own toggle rules. Other actions: false, nothing set.
  virtual bool Mark(TRRShellAction action) = 0;
  virtual void SetMark(TRRShellAction action, bool checked) = 0;
  // A render core exists (models are drawn and have their real bounds).
  virtual bool GraphicsPresent() = 0;
  // A flow or a worker's progress runs (a load, a save, a database write, a download): loads,
  // saves and database calls are refused until it ends.
  virtual bool Busy() = 0;
};

// The host without a window: the project object and the switches of the application object when
// given one, else a project handed in (or none) and switches of its own; the marks are its own,
// refresh and layout only count.
class TRRPlainAutomationHost : public IRRAutomationHost {
 public:
  explicit TRRPlainAutomationHost(TRRGlobal& global);
  explicit TRRPlainAutomationHost(TRRProject* project = nullptr);

  TRRProject* Project() override;
  std::string AppFileName() override;
  bool Animations() override;
  void SetAnimations(bool value) override;
  bool Sounds() override;
  void SetSounds(bool value) override;
  bool CloseProject() override;
  void Refresh() override { ++FRefreshCount; }
  void Layout() override { ++FLayoutCount; }
  bool Mark(TRRShellAction action) override;
  void SetMark(TRRShellAction action, bool checked) override;
  bool GraphicsPresent() override;
  bool Busy() override { return FBusy; }

  void SetProject(TRRProject* project) { FProject = project; }
  void SetBusy(bool value) { FBusy = value; }
  int RefreshCount() const { return FRefreshCount; }
  int LayoutCount() const { return FLayoutCount; }

 private:
  TRRGlobal* FGlobal = nullptr;
  TRRProject* FProject = nullptr;
  bool FAnimations = true;
  bool FSounds = true;
  bool FBusy = false;
  // The marks: simulation mode off, the three displays as a new window shows them.
  TRRShellSnapshot FMarks;
  int FRefreshCount = 0;
  int FLayoutCount = 0;
};

// ---- events ----

using TRRAutomationValue = std::variant<std::string, int32_t, float>;

// One event to send: its dispatch ID and name (Velmora_TLB.h) and its arguments in the order of
// the event's parameters.
struct TRRAutomationEvent {
  int32_t DispId = 0;
  std::string Name;
  std::vector<TRRAutomationValue> Args;
};

// The event a notification of the event manager raises, or none (an enabled-condition
// notification, an unknown kind). Tracks entered or left are named by the track that owns the
// route and the route's index in it; a switch by the track and its new route; a signal by its own
// state (0 open, 1 closed); a controller by 0 or 1 for a toggle switch, else by the float the
// notified bits hold; a countdown by its name. Subjects are named from the notification's
// pointers, else looked up by ID in entities (when given); unknown ones give an empty name.
std::optional<TRRAutomationEvent> RRAutomationEventOf(TRRConditionKind kind, const TRREventNotification& n,
                                                      const TRREntityManager* entities = nullptr);

// ---- the object ----

class TVMPControl {
 public:
  explicit TVMPControl(IRRAutomationHost& host);
  // Disconnects its events.
  ~TVMPControl();
  TVMPControl(const TVMPControl&) = delete;
  TVMPControl& operator=(const TVMPControl&) = delete;

  // 201-203 cameras. Filter: 0 all; 1 free, top-down and technical (types 1, 3, 4); 2 placed
  // (type 0); 3 cockpit (type 2); others none.
  TRRNameList GetCameras(int32_t type);
  std::string GetActiveCamera();
  void SetActiveCamera(const std::string& name);
  // 204-206 vehicles. Filter: 0 all, 1 with engine, 2 without, others none. The speed is the
  // target speed in lengths per second (0 for a vehicle without engine).
  TRRNameList GetTrackVehicles(int32_t type);
  float GetTrackVehicleSpeed(const std::string& name);
  void SetTrackVehicleSpeed(const std::string& name, float speed);
  // 207-210 model animations (models whose has-animation flag is set). Direction >= 0 forward.
  TRRNameList GetAnimations();
  void StartAnimation(const std::string& name, int32_t direction, bool loop);
  void StopAnimation(const std::string& name);
  void ResetAnimation(const std::string& name, bool resetToEnd = false);
  // 211-213 signals: 1 open, 0 closed (the reverse of the signal's own state).
  TRRNameList GetSignals();
  int32_t GetSignalState(const std::string& name);
  void SetSignalState(const std::string& name, int32_t state);
  // 214-218 tracks: type = track kind + 1 (0 an unknown kind); filter 0 all.
  TRRNameList GetTracks(int32_t type);
  int32_t GetTrackType(const std::string& name);
  int32_t GetTrackRouteCount(const std::string& name);
  int32_t GetActiveTrackRoute(const std::string& name);
  void SetActiveTrackRoute(const std::string& name, int32_t route);
  // 219-222 controllers: type 1 rotary regulator, 2 toggle switch, 0 other; filter 0 all.
  TRRNameList GetControllers(int32_t type);
  int32_t GetControllerType(const std::string& name);
  float GetControllerValue(const std::string& name);
  void SetControllerValue(const std::string& name, float value);
  // 223-228 any entity: the pivot's world position, the world rotation (pitch, roll, yaw: the
  // angles about the client's X, Y and Z axes) and the world scale's X component. The rotation set
  // is absolute and GetRotation gives it back.
  TRRAutomationVector GetPosition(const std::string& name);
  void SetPosition(const std::string& name, float x, float y, float z);
  TRRAutomationVector GetRotation(const std::string& name);
  void SetRotation(const std::string& name, float x, float y, float z);
  float GetScaling(const std::string& name);
  void SetScaling(const std::string& name, float scaling);
  // 229-230 files.
  std::string GetAppFileName();
  std::string GetProjectFileName();
  // 231-235 entities: type codes 1 track, 2 vehicle, 3 signal, 4 barrier, 5 vehicle building,
  // 6 catenary mast, 7 camera, 8 light, 9 panel, 10 primitive, 11 controller, 12 group, 13 other.
  TRRNameList GetEntities(int32_t type);
  int32_t GetEntityType(const std::string& name);
  TRRNameList GetSelectedEntities();
  void LinkEntities(const std::string& source, const std::string& target);
  void UnlinkEntity(const std::string& name);
  // 236-237 the project file. Both raise RRTextAutomationBusy while the host is busy; a save onto
  // a read-only file or a failing write raises the program's message.
  void LoadProject(const std::string& fileName);
  void SaveProject(const std::string& fileName);
  // 238-248 switches, simulation mode (bit 0 gizmo, bit 1 selection border, bit 2 active track)
  // and the object's units; none needs a project.
  void EnableAnimations(bool enable);
  void EnableSounds(bool enable);
  int32_t GetSimulationMode();
  void SetSimulationMode(int32_t mode);
  int32_t GetLengthUnit() const { return FLengthUnit; }
  void SetLengthUnit(int32_t unit);
  int32_t GetAngularUnit() const { return FAngleUnit; }
  void SetAngularUnit(int32_t unit);
  float GetTrackRouteLength(const std::string& name, int32_t routeIndex);
  bool AnimationsEnabled();
  bool SoundsEnabled();
  // 249-253.
  void SelectEntity(const std::string& name, bool keepExisting);
  // Colours 0xAARRGGBB: the sky colour as it is, ambient and diffuse from their RGB bytes.
  void SetLight(int32_t skyColor, int32_t ambientColor, int32_t diffuseColor, bool enableHeadlights);
  float GetEntityWidth(const std::string& name);
  float GetEntityHeight(const std::string& name);
  float GetEntityDepth(const std::string& name);

  // ---- events ----
  // Hands every notification of the process's event managers, mapped (RRAutomationEventOf), to
  // sink; every connected object receives each one, in the order the objects were connected. The
  // process-wide notification hook is installed while any object is connected. A failing sink is
  // the event manager's to report; the notification goes on.
  void ConnectEvents(std::function<void(const TRRAutomationEvent&)> sink);
  // Stops this object's events (the others keep theirs); the destructor does it too.
  void DisconnectEvents();
  bool EventsConnected() const;

  // The entity type code of the entity (13 for a kind without a code of its own).
  static int32_t EntityTypeCode(const TRREntity& entity);

 private:
  // The open project's manager, or null.
  TRREntityManager* Layout();
  TRREntity* Find(const TRREntityClass* cls, const std::string& name);
  template <class T>
  T* Find(const std::string& name);
  float LengthFactor() const;
  float AngleFactor() const;
  float EntitySize(const std::string& name, int axis);
  void RefuseWhileBusy();

  IRRAutomationHost& FHost;
  int32_t FLengthUnit = 1;
  int32_t FAngleUnit = 1;
  std::function<void(const TRRAutomationEvent&)> FSink;
};

}  // namespace rr
