#include "gui/DesktopAutomation.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <cstdio>

#include "app/RRGlobal.h"
#include "automation/VMPControlServer.h"
#include "engine/render/GXRenderCore.h"
#include "gui/MainWindow.h"
#include "gui/RRQtUIService.h"

namespace rr {

TRRProject* TRRDesktopAutomationHost::Project() { return &FGlobal.Project(); }

std::string TRRDesktopAutomationHost::AppFileName() {
  return QCoreApplication::applicationFilePath().toStdString();
}

bool TRRDesktopAutomationHost::Animations() { return FGlobal.Animations(); }
void TRRDesktopAutomationHost::SetAnimations(bool value) { FGlobal.SetAnimations(value); }
bool TRRDesktopAutomationHost::Sounds() { return FGlobal.SoundEnabled(); }
void TRRDesktopAutomationHost::SetSounds(bool value) { FGlobal.SetSoundEnabled(value); }

bool TRRDesktopAutomationHost::CloseProject() {
  return FWindow.CloseProjectFlow() && !FGlobal.Project().IsOpen();
}

void TRRDesktopAutomationHost::Refresh() {
  // A layout a client loaded runs like one the user opened.
  if (FGlobal.Project().IsOpen() && !FWindow.FrameLoopRunning()) {
    FWindow.StartFrameLoop();
    FWindow.RebuildCameraMenu();
  }
  FWindow.RefreshState();
}

void TRRDesktopAutomationHost::Layout() { FWindow.RefreshState(); }
bool TRRDesktopAutomationHost::Mark(TRRShellAction action) { return FWindow.DisplayMark(action); }
void TRRDesktopAutomationHost::SetMark(TRRShellAction action, bool checked) {
  FWindow.SetDisplayMark(action, checked);
}
bool TRRDesktopAutomationHost::GraphicsPresent() { return gx::GXCurrentRenderCore() != nullptr; }
bool TRRDesktopAutomationHost::Busy() { return FWindow.InFlow() || FUI.OpenProgressCount() > 0; }

TRRDesktopAutomation::TRRDesktopAutomation(TMainWindow& window, TRRGlobal& global, TRRQtUIService& ui,
                                           const TRRAutomationSwitches& switches)
    : FWindow(window), FHost(window, global, ui) {
  // A normal start keeps the activation file current; a failure only costs the bus start.
  try {
    RRWriteActivationFile(QCoreApplication::applicationFilePath().toStdString());
  } catch (const std::exception&) {
  }
  auto server = std::make_unique<TVMPControlServer>(FHost);
  if (std::string problem; !server->Start(problem)) {
    global.UI().Log("Automatisierung nicht verfügbar: " + problem);
    return;
  }
  FServer = std::move(server);
  window.SetAutomationClients([this] { return FServer ? FServer->ClientCount() : 0; });
  if (switches.StartedByBus()) {
    // Started for a client: when the last one is gone the window closes (with the save question
    // for a modified layout), outside the bus's notification.
    QPointer<TMainWindow> target(&window);
    FServer->SetLastClientGone([target] {
      QTimer::singleShot(0, target, [target] {
        if (target) target->close();
      });
    });
  }
}

TRRDesktopAutomation::~TRRDesktopAutomation() { FWindow.SetAutomationClients(nullptr); }

int RRRunRegistrationSwitch(const TRRAutomationSwitches& switches, const std::string& programPath) {
  try {
    if (switches.UnregServer)
      RRRemoveActivationFile();
    else if (switches.RegServer)
      RRWriteActivationFile(programPath);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velmora: %s\n", e.what());
    return 1;
  }
  return 0;
}

}  // namespace rr
