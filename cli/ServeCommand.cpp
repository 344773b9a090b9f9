#include "cli/ServeCommand.h"

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <ostream>

#include "app/RRGlobal.h"
#include "app/RRLayoutFileProbe.h"
#include "app/RRProject.h"
#include "automation/VMPControl.h"
#include "automation/VMPControlServer.h"
#include "automation/Velmora_TLB.h"
#include "cli/CliJson.h"
#include "cli/CliReport.h"
#include "engine/core/GXTimer.h"

namespace cli {

const char* const ServeCommandUsage =
    "Aufruf: velmora-cli serve [PROJEKT.vmp] [--fixed-step] [--json]\n"
    "Bietet die Automatisierung (Velmora.VMPControl auf dem Sitzungsbus) ohne Bildschirm an und lässt die\n"
    "Anlage alle 40 ms einen Schritt weiterlaufen; --fixed-step rechnet die Schritte ohne Pause mit je\n"
    "40 ms Anlagenzeit. --json nennt die Busnamen als eine JSON-Zeile. Fragen vor dem Schließen werden\n"
    "mit \"Nein\" beantwortet: ein Client speichert mit SaveProject. Ende mit SIGTERM oder SIGINT.\n";

namespace {

constexpr int kFrameMilliseconds = 40;

std::atomic<bool> GStop{false};
extern "C" void StopServing(int) { GStop = true; }

// Layout time that moves on by one frame per step.
class TFixedClock final : public gx::IGXClock {
 public:
  int64_t Frequency() const override { return 1000000; }
  int64_t Counter() const override { return FNow; }
  uint32_t TickCount() const override { return uint32_t(FNow / 1000); }
  void Advance() { FNow += kFrameMilliseconds * 1000; }

 private:
  int64_t FNow = 0;
};

// The program without a window: closing never asks, it drops the changes (and says so).
class TServeHost final : public rr::TRRPlainAutomationHost {
 public:
  TServeHost(rr::TRRGlobal& global, std::ostream& log) : TRRPlainAutomationHost(global), FLog(log) {}
  bool CloseProject() override {
    rr::TRRProject* project = Project();
    if (!project) return true;
    if (project->IsOpen() && project->IsModified())
      FLog << "Die Anlage wird ohne Speichern geschlossen (Antwort \"Nein\").\n" << std::flush;
    project->CloseProject();
    return !project->IsOpen();
  }

 private:
  std::ostream& FLog;
};

int Usage(std::ostream& err, const std::string& line) {
  err << line << " (velmora-cli serve --help)\n";
  return ExitUsage;
}

}  // namespace

int RunServeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string input;
  bool fixedStep = false, json = false;
  for (const std::string& a : args) {
    if (a == "--fixed-step")
      fixedStep = true;
    else if (a == "--json")
      json = true;
    else if (!a.empty() && a[0] != '-' && input.empty())
      input = a;
    else
      return Usage(err, "Unbekannte Option: " + a);
  }
  rr::TRRGlobal* global = rr::Global();
  if (!global) return Fail(err, "Das Programm ist nicht gestartet.");
  if (const int status = EnsureRenderCore(err); status != ExitOK) return status;

  static int argc = 1;
  static char name[] = "velmora-cli";
  static char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);

  rr::TRRProject& project = global->Project();
  TFixedClock fixedClock;
  gx::IGXClock* const ownClock = project.Services().Clock;
  gx::TGXRenderSurface* const ownSurface = project.Services().ViewSurface;
  project.SetViewSurface(nullptr);
  if (fixedStep) project.SetFrameClock(&fixedClock);
  struct TRestore {
    rr::TRRProject& Project;
    gx::IGXClock* Clock;
    gx::TGXRenderSurface* Surface;
    ~TRestore() {
      Project.CloseProject();
      Project.SetFrameClock(Clock);
      Project.SetViewSurface(Surface);
    }
  } restore{project, ownClock, ownSurface};

  if (!input.empty())
    if (const int status = LoadLayout(input, err); status != ExitOK) return status;

  TServeHost host(*global, err);
  rr::TVMPControlServer server(host);
  if (std::string problem; !server.Start(problem)) return Fail(err, problem);
  if (json)
    out << "{\"busName\":" << JsonString(rr::RRAutomationBusName)
        << ",\"uniqueName\":" << JsonString(server.UniqueName().toStdString())
        << ",\"object\":" << JsonString(rr::RRAutomationObjectPath) << "}\n";
  else
    out << "Automatisierung bereit: " << rr::RRAutomationBusName << " (" << server.UniqueName().toStdString()
        << "), Objekt " << rr::RRAutomationObjectPath << "\n";
  out.flush();

  GStop = false;
  std::signal(SIGTERM, StopServing);
  std::signal(SIGINT, StopServing);
  QTimer frames;
  frames.setInterval(fixedStep ? 0 : kFrameMilliseconds);
  QObject::connect(&frames, &QTimer::timeout, [&] {
    if (GStop) {
      frames.stop();
      QCoreApplication::quit();
      return;
    }
    if (fixedStep) fixedClock.Advance();
    try {
      project.Tick();
    } catch (...) {
      // The server stays up; the error is told as the program's handler would.
      err << rr::RRShortErrorText(std::current_exception()) << "\n" << std::flush;
    }
  });
  frames.start();
  app.exec();
  std::signal(SIGTERM, SIG_DFL);
  std::signal(SIGINT, SIG_DFL);
  return ExitOK;
}

}  // namespace cli
