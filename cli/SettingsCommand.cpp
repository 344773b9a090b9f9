#include "cli/SettingsCommand.h"

#include <charconv>
#include <cstdio>
#include <ostream>

#include "app/RRGlobal.h"
#include "cli/CliJson.h"
#include "engine/core/GXFileSystem.h"

namespace cli {

namespace {

const char* Bool(bool value) { return value ? "true" : "false"; }
const char* JaNein(bool value) { return value ? "ja" : "nein"; }

void PrintJson(rr::TRRGlobal& g, std::ostream& out) {
  const auto& general = g.GeneralSettings();
  const auto& render = g.RenderSettings();
  out << "{\"settingsFile\":" << JsonString(g.Configuration().FileName());
  out << ",\"lengthUnit\":{\"index\":" << g.LengthUnit() << ",\"name\":" << JsonString(g.LengthUnitName())
      << ",\"factor\":" << JsonNumber(g.LengthUnitFactor()) << "}";
  out << ",\"angleUnit\":{\"index\":" << g.AngleUnit() << ",\"name\":" << JsonString(g.AngleUnitName())
      << ",\"factor\":" << JsonNumber(g.AngleUnitFactor()) << "}";
  out << ",\"recentProjects\":[";
  for (size_t i = 0; i < g.RecentProjects().size(); ++i)
    out << (i ? "," : "") << JsonString(g.RecentProjects()[i]);
  out << "],\"assetPaths\":[";
  auto paths = g.GetAssetPaths();
  for (size_t i = 0; i < paths.size(); ++i)
    out << (i ? "," : "") << "{\"path\":" << JsonString(paths[i].Path)
        << ",\"enabled\":" << Bool(!paths[i].Disabled) << "}";
  out << "],\"general\":{\"openLastProject\":" << Bool(general.OpenLastProject)
      << ",\"autoUpdate\":" << Bool(general.AutoUpdate)
      << ",\"showWelcomeWindow\":" << Bool(general.ShowWelcomeWindow)
      << ",\"smartHints\":" << Bool(general.SmartHints) << ",\"animations\":" << Bool(g.Animations())
      << ",\"autoTerrainAlignment\":" << Bool(general.AutoTerrainAlignment) << "}";
  out << ",\"render\":{\"showFPS\":" << Bool(g.ShowFPS()) << ",\"multiSample\":" << render.MultiSample
      << ",\"vSync\":" << Bool(render.VSync) << ",\"textureQuality\":" << render.TextureQuality
      << ",\"reflectionQuality\":" << render.ReflectionQuality
      << ",\"envReflectionQuality\":" << render.EnvReflectionQuality << "}";
  out << ",\"sound\":{\"enabled\":" << Bool(g.SoundEnabled()) << ",\"volume\":" << JsonNumber(g.Volume())
      << "}";
  out << ",\"roots\":{";
  bool first = true;
  for (const char* name : gx::GXStandardRoots) {
    out << (first ? "" : ",") << JsonString(name) << ":" << JsonString(g.FileSystem().GetRoot(name));
    first = false;
  }
  out << "}}\n";
}

void PrintText(rr::TRRGlobal& g, std::ostream& out) {
  const auto& general = g.GeneralSettings();
  const auto& render = g.RenderSettings();
  out << "Einstellungsdatei:     " << g.Configuration().FileName() << "\n";
  out << "Längeneinheit:         " << g.LengthUnitName() << " (" << g.LengthUnit() << ")\n";
  out << "Winkeleinheit:         " << g.AngleUnitName() << " (" << g.AngleUnit() << ")\n";
  out << "Zuletzt geöffnet:\n";
  for (size_t i = 0; i < g.RecentProjects().size(); ++i)
    out << "  " << i + 1 << " " << g.RecentProjects()[i] << "\n";
  out << "Paketordner:\n";
  auto paths = g.GetAssetPaths();
  if (paths.empty()) out << "  (keine)\n";
  for (const auto& p : paths) out << "  " << p.Path << (p.Disabled ? " (ausgeschaltet)" : "") << "\n";
  out << "Letztes Projekt öffnen: " << JaNein(general.OpenLastProject) << "\n";
  out << "Automatisches Update:  " << JaNein(general.AutoUpdate) << "\n";
  out << "Willkommensfenster:    " << JaNein(general.ShowWelcomeWindow) << "\n";
  out << "Hinweise:              " << JaNein(general.SmartHints) << "\n";
  out << "Animationen:           " << JaNein(g.Animations()) << "\n";
  out << "Geländeanpassung:      " << JaNein(general.AutoTerrainAlignment) << "\n";
  out << "Bildrate anzeigen:     " << JaNein(g.ShowFPS()) << "\n";
  out << "Kantenglättung:        " << render.MultiSample << "\n";
  out << "VSync:                 " << JaNein(render.VSync) << "\n";
  out << "Texturqualität:        " << render.TextureQuality << "\n";
  out << "Spiegelungen:          " << render.ReflectionQuality << "\n";
  out << "Umgebungsspiegelungen: " << render.EnvReflectionQuality << "\n";
  out << "Ton:                   " << JaNein(g.SoundEnabled()) << ", Lautstärke " << JsonNumber(g.Volume())
      << "\n";
  out << "Wurzeln:\n";
  for (const char* name : gx::GXStandardRoots) {
    std::string label = std::string(name) + ":";
    label.resize(17, ' ');
    out << "  " << label << g.FileSystem().GetRoot(name) << "\n";
  }
}

}  // namespace

int RunSettingsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  bool json = false;
  for (const auto& a : args) {
    if (a == "--json") {
      json = true;
    } else {
      err << "Unbekannte Option: " << a << "\n";
      return 2;
    }
  }
  rr::TRRGlobal* g = rr::Global();
  if (!g) {
    err << "Das Programm ist nicht gestartet.\n";
    return 2;
  }
  if (json)
    PrintJson(*g, out);
  else
    PrintText(*g, out);
  return 0;
}

}  // namespace cli
