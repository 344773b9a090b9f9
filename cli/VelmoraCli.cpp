// velmora-cli: the layout application's core without a window, for batch work, support and
// tests. Commands are looked up in a table so that each feature adds its own.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "app/RRGlobal.h"
#include "app/RRLayoutFileProbe.h"
#include "cli/CatalogCommand.h"
#include "cli/CliJson.h"
#include "cli/CliReport.h"
#include "cli/GapSolveCommand.h"
#include "cli/GlInfoCommand.h"
#include "cli/ImportCommand.h"
#include "cli/ModelCommand.h"
#include "cli/PackCommand.h"
#include "cli/PackageServerCommand.h"
#include "cli/PartsListCommand.h"
#include "cli/ProjectCommands.h"
#include "cli/RenderCommand.h"
#include "cli/RunCommand.h"
#include "cli/ServeCommand.h"
#include "cli/SettingsCommand.h"
#include "cli/TerrainCommand.h"
#include "engine/core/GXSelfCheck.h"

#ifndef VELMORA_VERSION
#define VELMORA_VERSION "0.0.0"
#endif

namespace {

struct TCliCommand {
  const char* Name;
  const char* Summary;
  // The command's own help (velmora-cli COMMAND --help); commands that answer --help themselves
  // (their sub-commands have their own) leave it empty.
  const char* Usage;
  std::function<int(const std::vector<std::string>&)> Run;
  // Runs inside the program's start-up and shut-down (rr::Global() exists while it runs).
  bool NeedsStartup = false;
};

constexpr const char* kCommonOptions =
    "\nAllgemeine Optionen:\n"
    "  --root NAME=ORDNER  ordnet einen Ordner zu (Game, User, CommonUser, Documents, CommonDocuments, "
    "Temp)\n"
    "  --verbose           zeigt bei Fehlern den vollständigen Fehlerbericht\n"
    "Exit-Status: 0 Erfolg, 1 die Arbeit ist fehlgeschlagen, 2 falscher Aufruf.\n";

int RunSelfCheck(const std::vector<std::string>& args) {
  bool json = false;
  for (const auto& a : args) {
    if (a == "--json")
      json = true;
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
      std::printf("%s{\"name\":%s,\"passed\":%s,\"detail\":%s}", i ? "," : "",
                  cli::JsonString(it.Name).c_str(), it.Passed ? "true" : "false",
                  cli::JsonString(it.Detail).c_str());
    } else {
      std::printf("%-12s %s  %s\n", it.Name.c_str(), it.Passed ? "ok    " : "FEHLER", it.Detail.c_str());
    }
  }
  if (json)
    std::printf("]\n");
  else
    std::printf(all ? "Selbsttest bestanden.\n" : "Selbsttest fehlgeschlagen.\n");
  return all ? 0 : 1;
}

const std::vector<TCliCommand>& Commands() {
  static const std::vector<TCliCommand> commands = {
      {"selfcheck", "prüft Mathematik, Ausnahmen und Bibliotheken der Engine [--json]",
       "Aufruf: velmora-cli selfcheck [--json]\nPrüft Mathematik, Ausnahmen und Bibliotheken der Engine; "
       "Exit-Status 1, "
       "wenn eine Prüfung fehlschlägt.\n",
       RunSelfCheck},
      {"glinfo", "zeigt Grafikkarte, Fähigkeiten und Filterstufen, wie die Engine sie sieht [--json]",
       "Aufruf: velmora-cli glinfo [--json]\nZeigt Grafikkarte, Grenzen, Farb- und Tiefenformate und "
       "Filterstufen.\n",
       [](const std::vector<std::string>& args) {
         return cli::RunGlInfoCommand(args, std::cout, std::cerr);
       }},
      {"pack", "erstellt, listet, entpackt und prüft Paketarchive (.vma)", "",
       [](const std::vector<std::string>& args) { return cli::RunPackCommand(args, std::cout, std::cerr); }},
      {"package-server",
       "stellt die Pakete eines Ordners zum Download bereit (--dir ORDNER --listen ADRESSE:PORT)", "",
       [](const std::vector<std::string>& args) {
         return cli::RunPackageServerCommand(args, std::cout, std::cerr);
       }},
      {"settings", "zeigt die wirksamen Einstellungen und Ordner nach dem Start [--json]",
       "Aufruf: velmora-cli settings [--json]\nZeigt die Einstellungen und Ordner, wie das Programm sie nach "
       "dem Start "
       "verwendet.\n",
       [](const std::vector<std::string>& args) {
         return cli::RunSettingsCommand(args, std::cout, std::cerr);
       },
       true},
      {"catalog",
       "listet die Pakete und den Katalog der Datenbank [--json], prüft sie oder liest Gleisbibliotheken ein "
       "(list | check | import-tracks)",
       "Aufruf: velmora-cli catalog list [--json]\n       velmora-cli catalog check\n"
       "       velmora-cli catalog import-tracks DATEI.xtp... [--package PAKET.vma] [--dry-run] [--json]\n"
       "list zeigt die Pakete und den Katalogbaum; check prüft, ob jedes Paket lesbar ist und jede genannte Datei "
       "vorhanden (Exit-Status 1 bei Fehlern); import-tracks liest die Gleise von XTrackCAD-Parameterdateien in ein "
       "Benutzerpaket (ohne --package \"User:\\Pakete\\Importierte Gleise.vma\"), --dry-run zeigt nur, was "
       "eingelesen würde.\n",
       [](const std::vector<std::string>& args) {
         return cli::RunCatalogCommand(args, std::cout, std::cerr);
       },
       true},
      {"new",
       "legt ein neues Projekt mit den Standardobjekten an [--out DATEI] [--force] [--shape 0-3] [--size A,B[,C,D[,E,F]]] "
       "[--grid N] [--thickness T]",
       "Aufruf: velmora-cli new [--out DATEI] [--force] [--shape 0-3] [--size A,B[,C,D[,E,F]]] [--grid N] "
       "[--thickness T]\nDie Bodenplatte: Form 0 Rechteck, 1 L-Form links, 2 L-Form rechts, 3 U-Form, Maße in cm "
       "(werden wie im Assistenten angepasst), Raster N (einer der passenden Teiler), Dicke T in cm; ohne diese "
       "Angaben 300 x 150 cm mit 10 cm Raster.\nLegt ein neues Projekt mit den Standardobjekten an "
       "(ohne "
       "--out: \"Neues Projekt.vmp\") und nennt die angelegten Objekte. Eine vorhandene Datei wird nur mit "
       "--force "
       "überschrieben.\n",
       [](const std::vector<std::string>& args) { return cli::RunNewCommand(args, std::cout, std::cerr); },
       true},
      {"info", "zeigt Kopf, Gleisfilter, Objekte und Ereignisse einer Projektdatei [--json]",
       "Aufruf: velmora-cli info DATEI [--json]\nZeigt Kopf, Gleisfilter, Objekte (Gleise mit Fahrwegen und "
       "Anschlüssen) und Ereignisse einer Projektdatei.\n",
       [](const std::vector<std::string>& args) { return cli::RunInfoCommand(args, std::cout, std::cerr); },
       true},
      {"convert",
       "liest eine Projekt- oder Objektdatei und schreibt sie im aktuellen Format (EINGABE AUSGABE)",
       "Aufruf: velmora-cli convert EINGABE AUSGABE\nLiest eine Projekt- oder Objektdatei jeder lesbaren "
       "Version "
       "und schreibt sie im aktuellen Format.\n",
       [](const std::vector<std::string>& args) {
         return cli::RunConvertCommand(args, std::cout, std::cerr);
       },
       true},
      {"import",
       "importiert Objektdateien, 3D-Modelle und Projektdateien in eine Projektdatei (PROJEKT DATEI... --out "
       "AUSGABE)",
       cli::ImportCommandUsage,
       [](const std::vector<std::string>& args) { return cli::RunImportCommand(args, std::cout, std::cerr); },
       true},
      {"render",
       "zeichnet die 3D-Ansicht einer Projektdatei in ein Bild (PROJEKT -o BILD [--camera NAME] [--size BxH] "
       "[--json])",
       cli::RenderCommandUsage,
       [](const std::vector<std::string>& args) { return cli::RunRenderCommand(args, std::cout, std::cerr); },
       true},
      {"run",
       "lässt eine Anlage ohne Bildschirm laufen und zeigt, was die Züge melden (PROJEKT --seconds S [--dt T] "
       "[--json])",
       cli::RunCommandUsage,
       [](const std::vector<std::string>& args) { return cli::RunRunCommand(args, std::cout, std::cerr); },
       true},
      {"gap-solve",
       "sucht Gleisfolgen, die die Lücke zwischen zwei Gleisen schließen, und legt eine davon (PROJEKT --from ID "
       "--to ID [--create K -o AUSGABE] [--json])",
       cli::GapSolveCommandUsage,
       [](const std::vector<std::string>& args) {
         return cli::RunGapSolveCommand(args, std::cout, std::cerr);
       },
       true},
      {"terrain",
       "exportiert oder importiert die Höhen einer Bodenplatte (export|import PROJEKT PLATTEN-ID DATEI ...)",
       cli::TerrainCommandUsage,
       [](const std::vector<std::string>& args) { return cli::RunTerrainCommand(args, std::cout, std::cerr); },
       true},
      {"parts-list",
       "zählt die Gleise einer Projektdatei und schreibt die Stückliste (PROJEKT [--format csv|html] [-o DATEI] "
       "[--json])",
       cli::PartsListCommandUsage,
       [](const std::vector<std::string>& args) { return cli::RunPartsListCommand(args, std::cout, std::cerr); },
       true},
      {"serve",
       "bietet die Automatisierung auf dem Sitzungsbus ohne Bildschirm an ([PROJEKT] [--fixed-step] [--json])",
       cli::ServeCommandUsage,
       [](const std::vector<std::string>& args) { return cli::RunServeCommand(args, std::cout, std::cerr); },
       true},
      {"model", "zeigt, was eine Modelldatei (.3ds, .x, .gxmesh) enthält (info DATEI [--json])",
       cli::ModelCommandUsage,
       [](const std::vector<std::string>& args) { return cli::RunModelCommand(args, std::cout, std::cerr); },
       true},
  };
  return commands;
}

// Start-up, the command, shut-down - as the desktop program runs them, with messages and
// questions answered by the console policy. Errors the program's handler takes become one line
// (the full report with --verbose). Exit status: the command's; 1 when the start-up or its
// database check fails or the command raises.
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
    return cli::Fail(std::cerr, rr::RRShortErrorText(std::current_exception()), std::current_exception());
  }
  if (!global->CheckDatabase()) return cli::ExitFailed;
  global->SetExceptionHook([](std::exception_ptr e) {
    cli::KeepError(e);
    return true;
  });
  int result = cli::ExitFailed;
  try {
    result = command.Run(args);
  } catch (...) {
    cli::KeepError(std::current_exception());
  }
  // An error the command did not report itself.
  if (std::exception_ptr e = cli::TakeError()) {
    cli::Fail(std::cerr, rr::RRShortErrorText(e), e);
    if (result == cli::ExitOK) result = cli::ExitFailed;
  }
  global->SetExceptionHook(nullptr);
  global.reset();
  return result;
}

void PrintVersion() { std::printf("velmora-cli %s (3D-Velmora 2013)\n", VELMORA_VERSION); }

void PrintHelp() {
  PrintVersion();
  std::printf(
      "\nAufruf: velmora-cli <Befehl> [Optionen] [--root NAME=ORDNER ...] [--verbose]\n"
      "       velmora-cli --version | --help\n       velmora-cli <Befehl> --help\n\nBefehle:\n");
  for (const auto& c : Commands()) std::printf("  %-14s %s\n", c.Name, c.Summary);
  std::printf("%s", kCommonOptions);
}

bool AsksForHelp(const std::vector<std::string>& args) {
  return std::any_of(args.begin(), args.end(),
                     [](const std::string& a) { return a == "--help" || a == "-h"; });
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    PrintHelp();
    return cli::ExitUsage;
  }
  if (args[0] == "--version" || args[0] == "-V") {
    PrintVersion();
    return cli::ExitOK;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    PrintHelp();
    return cli::ExitOK;
  }
  const size_t before = args.size();
  std::erase(args, std::string("--verbose"));
  cli::SetVerbose(args.size() != before);
  std::vector<gx::TGXRootOption> roots;
  try {
    roots = gx::TakeRootOptions(args);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velmora-cli: %s\n", e.what());
    return cli::ExitUsage;
  }
  if (args.empty()) {
    PrintHelp();
    return cli::ExitUsage;
  }
  for (const auto& c : Commands()) {
    if (args[0] != c.Name) continue;
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (*c.Usage && AsksForHelp(rest)) {
      std::printf("%s%s", c.Usage, kCommonOptions);
      return cli::ExitOK;
    }
    if (c.NeedsStartup) return RunWithStartup(c, rest, roots);
    try {
      return c.Run(rest);
    } catch (...) {
      return cli::Fail(std::cerr, rr::RRShortErrorText(std::current_exception()), std::current_exception());
    }
  }
  std::fprintf(stderr, "Unbekannter Befehl: %s (velmora-cli --help zeigt alle Befehle)\n", args[0].c_str());
  return cli::ExitUsage;
}
