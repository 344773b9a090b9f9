#pragma once
// The automation interface in the desktop program: the host that lets the automation objects
// reach the main window (its close flow, refresh, display marks, busy state), and the start-up
// around the session-bus server (registration switches, the activation file, ending when the
// last client of a bus-started program is gone).

#include <memory>
#include <string>
#include <vector>

#include "automation/VMPControl.h"
#include "automation/VMPControlRegistration.h"

namespace rr {

class TMainWindow;
class TRRGlobal;
class TRRQtUIService;
class TVMPControlServer;

inline constexpr const char* RRTextAutomationCloseWarning =
    "Diese Anwendung enthält noch aktive COM-Objekte.Mindestens ein Client verweist noch auf diese "
    "Objekte,so dass "
    "manuelles Schließen dieser Anwendung dazu führen könnte, dass die Client-Anwendungennicht korrekt "
    "funktionieren.\r\n\r\nSind Sie sicher, dass Sie diese Anwendung schließen möchten?";
inline constexpr const char* RRTextAutomationCloseWarningTitle = "Warnung des COM-Servers";

class TRRDesktopAutomationHost final : public IRRAutomationHost {
 public:
  TRRDesktopAutomationHost(TMainWindow& window, TRRGlobal& global, TRRQtUIService& ui)
      : FWindow(window), FGlobal(global), FUI(ui) {}

  TRRProject* Project() override;
  std::string AppFileName() override;
  bool Animations() override;
  void SetAnimations(bool value) override;
  bool Sounds() override;
  void SetSounds(bool value) override;
  bool CloseProject() override;
  void Refresh() override;
  void Layout() override;
  bool Mark(TRRShellAction action) override;
  void SetMark(TRRShellAction action, bool checked) override;
  bool GraphicsPresent() override;
  bool Busy() override;

 private:
  TMainWindow& FWindow;
  TRRGlobal& FGlobal;
  TRRQtUIService& FUI;
};

// The server of a running desktop program, made after the main window and freed before the
// program's global state. Without a bus, or with the name taken, the program runs on without
// automation (logged once).
class TRRDesktopAutomation {
 public:
  TRRDesktopAutomation(TMainWindow& window, TRRGlobal& global, TRRQtUIService& ui,
                       const TRRAutomationSwitches& switches);
  ~TRRDesktopAutomation();
  TVMPControlServer* Server() const { return FServer.get(); }

 private:
  TMainWindow& FWindow;
  TRRDesktopAutomationHost FHost;
  std::unique_ptr<TVMPControlServer> FServer;
};

// --regserver / --unregserver: writes or removes the activation file for the program at
// programPath; 0, or 1 with the German reason on standard error.
int RRRunRegistrationSwitch(const TRRAutomationSwitches& switches, const std::string& programPath);

}  // namespace rr
