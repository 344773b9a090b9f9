// velmora-cli: the layout application's core without a window, for batch work, support and
// tests. Commands are looked up in a table so that each feature adds its own.

#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "app/RRGlobal.h"
#include "cli/CatalogCommand.h"
#include "cli/GlInfoCommand.h"
#include "cli/PackCommand.h"
#include "cli/PackageServerCommand.h"
#include "cli/ProjectCommands.h"
#include "cli/SettingsCommand.h"
#include "engine/core/GXSelfCheck.h"

#ifndef VELMORA_VERSION
#define VELMORA_VERSION "0.0.0"
#endif

namespace {

struct TCliCommand {
  const char* Name;
  const char* Summary;
  std::function<int(const std::vector<std::string>&)> Run;
  // Runs inside the program's start-up and shut-down (rr::Global() exists while it runs).
  bool NeedsStartup = false;
};

int RunSelfCheck(const std::vector<std::string>& args) {
  bool json = false;
  for (const auto& a : args) {
    if (a == "--json") json = true;
    else {
      std::fprintf(stderr, "Unbekannte Option: %s\n", a.c_str());
      return 2;
    }
  }
  auto items = gx::RunEngineSelfCheck();
  bool all = true;
  if (json) std::printf("[");
  for (size_t i = 0; i < items.size(); ++i) {
    const auto& it = items[i];
    all = all && it.Passed;
    if (json) {
      std::string detail;
      for (char c : it.Detail) {
        if (c == '"' || c == '\\') detail += '\\';
        detail += c;
      }
      std::printf("%s{\"name\":\"%s\",\"passed\":%s,\"detail\":\"%s\"}", i ? "," : "", it.Name.c_str(),
                  it.Passed ? "true" : "false", detail.c_str());
    } else {
      std::printf("%-12s %s  %s\n", it.Name.c_str(), it.Passed ? "ok    " : "FEHLER", it.Detail.c_str());
    }
  }
  if (json) std::printf("]\n");
  else std::printf(all ? "Selbsttest bestanden.\n" : "Selbsttest fehlgeschlagen.\n");
  return all ? 0 : 1;
}

const std::vector<TCliCommand>& Commands() {
  static const std::vector<TCliCommand> commands = {
      {"selfcheck", "prüft Mathematik, Ausnahmen und Bibliotheken der Engine [--json]", RunSelfCheck},
      {"glinfo", "zeigt Grafikkarte, Fähigkeiten und Filterstufen, wie die Engine sie sieht [--json]",
       [](const std::vector<std::string>& args) { return cli::RunGlInfoCommand(args, std::cout, std::cerr); }},
      {"pack", "erstellt, listet, entpackt und prüft Paketarchive (.vma)",
       [](const std::vector<std::string>& args) { return cli::RunPackCommand(args, std::cout, std::cerr); }},
      {"package-server", "stellt die Pakete eines Ordners zum Download bereit (--dir ORDNER --listen ADRESSE:PORT)",
       [](const std::vector<std::string>& args) { return cli::RunPackageServerCommand(args, std::cout, std::cerr); }},
      {"settings", "zeigt die wirksamen Einstellungen und Ordner nach dem Start [--json]",
       [](const std::vector<std::string>& args) { return cli::RunSettingsCommand(args, std::cout, std::cerr); }, true},
      {"catalog", "listet die Pakete und den Katalog der Datenbank [--json] oder prüft sie (list | check)",
       [](const std::vector<std::string>& args) { return cli::RunCatalogCommand(args, std::cout, std::cerr); }, true},
      {"new", "legt ein neues Projekt mit den Standardobjekten an [--out DATEI]",
       [](const std::vector<std::string>& args) { return cli::RunNewCommand(args, std::cout, std::cerr); }, true},
      {"info", "zeigt Kopf, Gleisfilter, Objekte und Ereignisse einer Projektdatei [--json]",
       [](const std::vector<std::string>& args) { return cli::RunInfoCommand(args, std::cout, std::cerr); }, true},
      {"convert", "liest eine Projekt- oder Objektdatei und schreibt sie im aktuellen Format (EINGABE AUSGABE)",
       [](const std::vector<std::string>& args) { return cli::RunConvertCommand(args, std::cout, std::cerr); }, true},
  };
  return commands;
}

// Start-up, the command, shut-down - as the desktop program runs them, with messages and
// questions answered by the console policy. Exit status: the command's; 1 when the start-up
// check fails; 2 when the start-up fails or the command raises (reported with the program's
// error texts).
int RunWithStartup(const TCliCommand& command, const std::vector<std::string>& args,
                   const std::vector<gx::TGXRootOption>& roots) {
  rr::TRRConsoleUIService ui;
  rr::TRRStartOptions options;
  options.UI = &ui;
  options.Roots = roots;
  std::unique_ptr<rr::TRRGlobal> global;
  try {
    global = std::make_unique<rr::TRRGlobal>(options);
  } catch (...) {
    rr::TRRGlobal::ReportException(ui, std::current_exception());
    return 2;
  }
  if (!global->CheckDatabase()) return 1;
  int result = 2;
  try {
    result = command.Run(args);
  } catch (...) {
    global->HandleException();
  }
  global.reset();
  return result;
}

void PrintVersion() { std::printf("velmora-cli %s (3D-Velmora 2013)\n", VELMORA_VERSION); }

void PrintHelp() {
  PrintVersion();
  std::printf("\nAufruf: velmora-cli <Befehl> [Optionen] [--root NAME=ORDNER ...]\n       velmora-cli --version | --help\n\nBefehle:\n");
  for (const auto& c : Commands()) std::printf("  %-12s %s\n", c.Name, c.Summary);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    PrintHelp();
    return 2;
  }
  if (args[0] == "--version" || args[0] == "-V") {
    PrintVersion();
    return 0;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    PrintHelp();
    return 0;
  }
  std::vector<gx::TGXRootOption> roots;
  try {
    roots = gx::TakeRootOptions(args);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 2;
  }
  if (args.empty()) {
    PrintHelp();
    return 2;
  }
  for (const auto& c : Commands()) {
    if (args[0] == c.Name) {
      if (c.NeedsStartup) return RunWithStartup(c, std::vector<std::string>(args.begin() + 1, args.end()), roots);
      try {
        return c.Run(std::vector<std::string>(args.begin() + 1, args.end()));
      } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
      }
    }
  }
  std::fprintf(stderr, "Unbekannter Befehl: %s (velmora-cli --help zeigt alle Befehle)\n", args[0].c_str());
  return 2;
}
