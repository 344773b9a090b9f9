#include "cli/TerrainCommand.h"

#include <charconv>
#include <cmath>
#include <ostream>

#include "app/RREntityManager.h"
#include "app/RRGlobal.h"
#include "app/RRLayoutFileProbe.h"
#include "app/RRProject.h"
#include "app/RRProjectSerializer.h"
#include "app/entities/panel/RRPanel.h"
#include "app/entities/panel/RRPanelHeightFiles.h"
#include "cli/CliJson.h"
#include "cli/CliReport.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXStrings.h"

namespace cli {

namespace {

bool ParseNumber(const std::string& text, double& value) {
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && p == end && std::isfinite(value);
}

bool ParseId(const std::string& text, int32_t& id) {
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, id);
  return ec == std::errc() && p == end && id > 0;
}

bool ParseOrigin(const std::string& text, double& x, double& y) {
  const size_t comma = text.find(',');
  return comma != std::string::npos && ParseNumber(text.substr(0, comma), x) &&
         ParseNumber(text.substr(comma + 1), y);
}

std::string LowerExtension(const std::string& file) {
  const size_t dot = file.find_last_of('.');
  const size_t slash = file.find_last_of("\\/");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = file.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

}  // namespace

int RunTerrainCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  auto usage = [&](const std::string& why) {
    err << why << " (velmora-cli terrain --help)\n";
    return ExitUsage;
  };
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    out << TerrainCommandUsage;
    return ExitOK;
  }
  if (args.empty() || (args[0] != "export" && args[0] != "import"))
    return usage("Erwartet: export oder import.");
  const bool importing = args[0] == "import";
  std::vector<std::string> positional;
  std::string output;
  double low = 0, high = 100, originX = 0, originY = 0;
  bool json = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--json") {
      json = true;
    } else if (importing && (a == "--out" || a == "--low" || a == "--high" || a == "--origin")) {
      if (i + 1 >= args.size()) return usage("Zu " + a + " fehlt der Wert.");
      const std::string& v = args[++i];
      if (a == "--out")
        output = v;
      else if (a == "--origin" ? !ParseOrigin(v, originX, originY)
                               : !ParseNumber(v, a == "--low" ? low : high))
        return usage(a + " erwartet " + (a == "--origin" ? "X,Y" : "eine Zahl") + ", nicht \"" + v + "\".");
    } else if (a.size() > 1 && a[0] == '-') {
      return usage("Unbekannte Option: " + a);
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 3 || (importing && output.empty()))
    return usage(importing ? "Aufruf: velmora-cli terrain import PROJEKT PLATTEN-ID DATEI --out AUSGABE"
                           : "Aufruf: velmora-cli terrain export PROJEKT PLATTEN-ID DATEI");
  int32_t id = 0;
  if (!ParseId(positional[1], id))
    return usage("PLATTEN-ID erwartet eine ID, nicht \"" + positional[1] + "\".");
  const std::string& heightFile = positional[2];
  const std::string ext = LowerExtension(heightFile);
  const bool known = importing ? (ext == ".png" || ext == ".bmp" || ext == ".jpg" || ext == ".jpeg" ||
                                  ext == ".txt" || ext == ".csv")
                               : (ext == ".png" || ext == ".bmp" || ext == ".txt" || ext == ".csv");
  if (!known) return usage("Unbekanntes Dateiformat: \"" + heightFile + "\".");

  rr::TRRProject* project = rr::CurrentProject();
  if (!project) return Fail(err, "Das Programm ist nicht gestartet.");
  gx::TGXFileSystem& fs = rr::Global()->FileSystem();
  const std::string& layout = positional[0];
  const rr::TRRLayoutFileProbe probe = rr::RRProbeLayoutFile(fs, layout);
  const std::string problem = rr::RRLayoutFileErrorLine(layout, probe, rr::TRRExpectedFile::Project);
  if (probe.Kind != rr::TRRLayoutFileKind::Project || probe.Version < rr::RRProjectMinVersion ||
      probe.Version > rr::RRProjectVersion)
    return Fail(err, problem);

  // The height file is read and checked before the layout is touched.
  rr::TRRHeightFile file;
  if (importing) {
    try {
      std::unique_ptr<gx::TGXMemoryStream> data = fs.OpenFile(heightFile);
      const auto& bytes = data->Data();
      file = rr::RRReadHeightFile(bytes, rr::RRHeightFileKindOf(heightFile));
    } catch (...) {
      return Fail(err, rr::RRTextHeightFileNotLoaded, std::current_exception());
    }
    const rr::TRRLayoutFileProbe target = rr::RRProbeLayoutFile(fs, output);
    if (target.Kind == rr::TRRLayoutFileKind::Folder)
      return Fail(err, "\"" + output + "\" ist ein Ordner, keine Datei.");
  }
  std::vector<uint8_t> thumbnail;
  try {
    thumbnail = rr::RRReadProjectThumbnail(fs, layout);
  } catch (...) {
    return Fail(err, problem, std::current_exception());
  }
  if (!project->LoadProject(layout, false)) return Fail(err, problem, TakeError());
  auto* panel = dynamic_cast<rr::TRRPanel*>(project->Manager()->FindByID(id));
  if (!panel) {
    project->CloseProject();
    return Fail(err,
                "In \"" + layout + "\" gibt es keine Bodenplatte mit der ID " + std::to_string(id) + ".");
  }

  if (!importing) {
    float lowest = 0, highest = 0;
    try {
      const std::vector<uint8_t> bytes =
          rr::RRExportPanelHeights(*panel, rr::RRHeightExportFormatOf(heightFile), lowest, highest);
      project->CloseProject();
      rr::RRWriteFileReplacing(fs.ResolvePath(heightFile), bytes.data(), bytes.size());
    } catch (...) {
      project->CloseProject();
      return Fail(err, std::string(rr::RRTextHeightExportFailed) + heightFile + ".",
                  std::current_exception());
    }
    if (json)
      out << "{\"file\":" << JsonString(heightFile) << ",\"panel\":" << id
          << ",\"low\":" << JsonNumber(lowest) << ",\"high\":" << JsonNumber(highest) << "}\n";
    else
      out << rr::RRTextHeightExportDone1 << heightFile << rr::RRTextHeightExportDone2 << "\n"
          << "Grauwerte 0 bis 255: " << JsonNumber(lowest) << " bis " << JsonNumber(highest) << " cm\n";
    return ExitOK;
  }

  const float lo = rr::RRClampImportHeight(low), hi = rr::RRClampImportHeight(high);
  const uint32_t grid = panel->Params().QuadWidth;
  const int64_t ox = rr::RRHeightImportOrigin(originX, grid), oy = rr::RRHeightImportOrigin(originY, grid);
  rr::RRImportPanelHeights(*panel, file, lo, hi, ox, oy);
  float lowest = 0, highest = 0;
  panel->HeightRange(lowest, highest);
  const std::string disk = fs.ResolvePath(output);
  try {
    gx::TGXMemoryStream s;
    rr::TRRProjectSerializer writer(s, &fs);
    writer.WriteProject(*project->ProjectNode(), disk, project->TrackParameters(), *project->Events(),
                        thumbnail);
    project->CloseProject();
    rr::RRWriteFileReplacing(disk, s.Memory(), s.Data().size());
  } catch (...) {
    project->CloseProject();
    return Fail(
        err,
        "\"" + output + "\" kann nicht geschrieben werden: " + rr::RRShortErrorText(std::current_exception()),
        std::current_exception());
  }
  if (json)
    out << "{\"file\":" << JsonString(output) << ",\"panel\":" << id << ",\"low\":" << JsonNumber(lowest)
        << ",\"high\":" << JsonNumber(highest) << ",\"origin\":[" << ox << "," << oy << "]}\n";
  else
    out << "Höhenfeld " << heightFile << " in Bodenplatte " << id << " übernommen (Höhen "
        << JsonNumber(lowest) << " bis " << JsonNumber(highest) << " cm), gespeichert: " << output << "\n";
  return ExitOK;
}

}  // namespace cli
