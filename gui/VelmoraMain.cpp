// The desktop program: start-up (the application object before the program's global state),
// the database check, the main window and its deferred start, the event loop, shut-down.
//
//   velmora [--root NAME=DIR ...] [--sample] [LAYOUT.vmp] [-Automation | -Embedding]
//   velmora --regserver | --unregserver

#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/RRGlobal.h"
#include "engine/core/GXEngine.h"
#include "engine/core/GXFileSystem.h"
#include "engine/media/GXMediaCore.h"
#include "engine/render/GXRenderCore.h"
#include "gui/DesktopAutomation.h"
#include "gui/MainWindow.h"
#include "gui/RRApplication.h"
#include "gui/RRQtUIService.h"

namespace {

// The program's own path, for the activation file (before any window system is asked for).
std::string ProgramPath() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.string();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  // Registration runs without a window and ends the program.
  const rr::TRRAutomationSwitches automation = rr::RRTakeAutomationSwitches(args);
  if (automation.RegServer || automation.UnregServer)
    return rr::RRRunRegistrationSwitch(automation, ProgramPath());

  rr::TRRApplication app(argc, argv);
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  QTranslator qtTranslations;
  if (qtTranslations.load(QLocale(QLocale::German), "qtbase", "_",
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    app.installTranslator(&qtTranslations);
  app.setWindowIcon(QIcon(":/velmora-256.png"));

  std::vector<gx::TGXRootOption> roots;
  try {
    roots = gx::TakeRootOptions(args);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velmora: %s\n", e.what());
    return 2;
  }
  const bool sample = std::erase(args, std::string("--sample")) > 0;
  // The first argument that is no switch names a layout to open.
  QString file;
  for (const std::string& a : args)
    if (!a.empty() && a[0] != '-') {
      file = QString::fromStdString(a);
      break;
    }

  rr::TRRQtUIService ui;
  rr::TRRStartOptions options;
  options.UI = &ui;
  options.Roots = roots;
  options.CreateRenderCore = [](gx::TGXEngine&) { return std::make_unique<gx::TGXRenderCore>(); };
  options.CreateMediaCore = [](gx::TGXEngine&) { return std::make_unique<gx::TGXMediaCore>(); };
  std::unique_ptr<rr::TRRGlobal> global;
  try {
    global = std::make_unique<rr::TRRGlobal>(options);
  } catch (...) {
    rr::TRRGlobal::ReportException(ui, std::current_exception());
    return 1;
  }
  if (!global->CheckDatabase()) return 1;
  int result = 0;
  {
    rr::TMainWindow window(*global, ui);
    window.setEnabled(false);
    window.show();
    rr::TRRDesktopAutomation server(window, *global, ui, automation);
    QTimer::singleShot(200, &window, [&] {
      window.Guarded([&] { window.DeferredStart(file, sample, automation.StartedByBus()); });
    });
    result = app.exec();
  }
  global.reset();
  return result;
}
