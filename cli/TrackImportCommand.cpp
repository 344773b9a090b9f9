#include "cli/TrackImportCommand.h"

#include <filesystem>
#include <ostream>
#include <utility>

#include "app/RRDatabase.h"
#include "app/RRGlobal.h"
#include "app/RRTrackLibraryImport.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "app/entities/track/RRTrackSystems.h"
#include "cli/CliJson.h"
#include "cli/CliReport.h"

namespace cli {

namespace {

using rr::TRRTrackImportFile;
using rr::TRRTrackImportResult;

std::vector<std::pair<const char*, int>> SkippedList(const rr::TRRTrackLibrarySkipped& s) {
  return {{"Zeichnung", s.Drawing},         {"STRUCTURE", s.Structure}, {"CARPART", s.CarPart},
          {"CARPROTO", s.CarProto},         {"unbekannt", s.Unknown},   {"zu lang", s.TooLong},
          {"über der Höchstzahl", s.Beyond}};
}

void FileText(const TRRTrackImportFile& f, std::ostream& out) {
  out << "Parameterdatei: " << f.File << "\n";
  if (!f.Error.empty()) {
    out << "  Fehler: " << f.Error << "\n";
    return;
  }
  out << "  " << rr::RRTrackLibraryEncodingName(f.Encoding) << ", " << f.Definitions << " Gleisdefinitionen"
      << (f.Contents.empty() ? "" : " (" + f.Contents + ")") << "\n";
  out << "  eingelesen: " << f.Imported();
  bool first = true;
  for (int t = 0; t < rr::RRTrackTypeCount; ++t) {
    if (!f.ImportedByType[static_cast<size_t>(t)]) continue;
    out << (first ? " (" : ", ") << rr::RRTrackTypeDisplayName(static_cast<rr::TRRTrackType>(t)) << " "
        << f.ImportedByType[static_cast<size_t>(t)];
    first = false;
  }
  out << (first ? "" : ")") << "\n";
  out << "  abgelehnt: " << f.Refused() << "\n";
  for (const rr::TRRTrackLibraryPiece& p : f.Pieces)
    if (!p.Description) out << "    Zeile " << p.Line << " \"" << p.Name << "\": " << p.Reason << "\n";
  out << "  übersprungene Zeilen: " << f.Skipped.Total();
  first = true;
  for (const auto& [label, count] : SkippedList(f.Skipped)) {
    if (!count) continue;
    out << (first ? " (" : ", ") << label << " " << count;
    first = false;
  }
  out << (first ? "" : ")") << "\n";
  for (const std::string& n : f.Notes) out << "  Hinweis: " << n << "\n";
}

void FileJson(const TRRTrackImportFile& f, std::ostream& out) {
  out << "{\"file\":" << JsonString(f.File);
  if (!f.Error.empty()) {
    out << ",\"error\":" << JsonString(f.Error) << "}";
    return;
  }
  out << ",\"error\":null,\"encoding\":" << JsonString(rr::RRTrackLibraryEncodingName(f.Encoding))
      << ",\"contents\":" << JsonString(f.Contents) << ",\"definitions\":" << f.Definitions
      << ",\"imported\":" << f.Imported() << ",\"importedByType\":{";
  bool first = true;
  for (int t = 0; t < rr::RRTrackTypeCount; ++t) {
    if (!f.ImportedByType[static_cast<size_t>(t)]) continue;
    out << (first ? "" : ",") << JsonString(rr::RRTrackTypeDisplayName(static_cast<rr::TRRTrackType>(t)))
        << ":" << f.ImportedByType[static_cast<size_t>(t)];
    first = false;
  }
  out << "},\"refused\":[";
  first = true;
  for (const rr::TRRTrackLibraryPiece& p : f.Pieces) {
    if (p.Description) continue;
    out << (first ? "" : ",") << "{\"line\":" << p.Line << ",\"name\":" << JsonString(p.Name)
        << ",\"kind\":" << JsonString(rr::RRTrackRefusalLabel(p.Refusal))
        << ",\"reason\":" << JsonString(p.Reason) << "}";
    first = false;
  }
  out << "],\"skipped\":{\"total\":" << f.Skipped.Total() << ",\"drawing\":" << f.Skipped.Drawing
      << ",\"structure\":" << f.Skipped.Structure << ",\"carPart\":" << f.Skipped.CarPart
      << ",\"carProto\":" << f.Skipped.CarProto << ",\"unknown\":" << f.Skipped.Unknown
      << ",\"tooLong\":" << f.Skipped.TooLong << ",\"beyondLimit\":" << f.Skipped.Beyond << "},\"notes\":[";
  for (size_t i = 0; i < f.Notes.size(); ++i) out << (i ? "," : "") << JsonString(f.Notes[i]);
  out << "],\"pieces\":[";
  first = true;
  for (const rr::TRRTrackLibraryPiece& p : f.Pieces) {
    if (!p.Description) continue;
    const rr::TRRTrackDesc& d = *p.Description;
    out << (first ? "" : ",") << "{\"line\":" << p.Line << ",\"name\":" << JsonString(p.Name)
        << ",\"type\":" << JsonString(rr::RRTrackTypeDisplayName(d.Type()))
        << ",\"manufacturer\":" << JsonString(p.Manufacturer) << ",\"system\":" << JsonString(p.SystemName)
        << ",\"gauge\":" << JsonString(rr::RRTrackSystemName(p.TrackWidth))
        << ",\"path\":" << JsonString(d.CataloguePath())
        << ",\"asset\":" << JsonString(d.AssetID().ToString()) << ",\"routes\":[";
    for (int r = 0; r < d.RouteCount(); ++r) {
      const rr::TRRTrackRouteDesc& route = *d.Route(r);
      out << (r ? "," : "") << "{\"shift\":" << JsonNumber(route.Shift) << ",\"l1\":" << JsonNumber(route.L1)
          << ",\"angle\":" << JsonNumber(route.Angle) << ",\"radius\":" << JsonNumber(route.Radius)
          << ",\"l2\":" << JsonNumber(route.L2) << ",\"flexL\":" << JsonNumber(route.FlexL)
          << ",\"rotation\":" << JsonNumber(route.Rotation) << "}";
    }
    out << "]}";
    first = false;
  }
  out << "]}";
}

// The watched folders gain the package's folder unless the database already looks there.
void WatchFolder(rr::TRRGlobal& g, const std::string& package) {
  std::string folder = std::filesystem::path(package).parent_path().string();
  if (folder.empty()) return;
  if (folder.back() != '/') folder += '/';
  std::string game = g.FileSystem().ResolvePath("Game:\\");
  if (!game.empty() && game.back() != '/') game += '/';
  if (folder == game) return;
  std::vector<rr::TRRAssetPath> paths = g.GetAssetPaths();
  for (rr::TRRAssetPath& p : paths)
    if (p.Path == folder) {
      if (!p.Disabled) return;
      p.Disabled = false;
      g.SetAssetPaths(paths);
      return;
    }
  paths.push_back({folder, false});
  g.SetAssetPaths(paths);
}

}  // namespace

int RunTrackImportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  rr::TRRGlobal* g = rr::Global();
  if (!g) {
    err << "Das Programm ist nicht gestartet.\n";
    return ExitUsage;
  }
  std::vector<std::string> files;
  std::string package;
  bool dryRun = false, json = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--dry-run") {
      dryRun = true;
    } else if (a == "--json") {
      json = true;
    } else if (a == "--package") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        err << "--package braucht eine Paketdatei.\n" << TrackImportUsage;
        return ExitUsage;
      }
      package = args[++i];
    } else if (a.size() > 1 && a[0] == '-') {
      err << "Unbekannte Option: " << a << "\n" << TrackImportUsage;
      return ExitUsage;
    } else {
      files.push_back(a);
    }
  }
  if (files.empty()) {
    err << "Keine Parameterdatei angegeben.\n" << TrackImportUsage;
    return ExitUsage;
  }
  if (package.empty()) {
    package = g->FileSystem().ResolvePath(DefaultTrackPackage);
    if (!gx::TGXFileSystem::IsDiskPath(package)) {
      err << "Der Ordner für das Paket \"" << DefaultTrackPackage << "\" ist nicht zugeordnet.\n";
      return ExitFailed;
    }
  }

  TRRTrackImportResult result = rr::RRConvertTrackLibraryFiles(files);
  bool unreadable = false;
  for (const TRRTrackImportFile& f : result.Files) unreadable = unreadable || !f.Error.empty();
  std::string failure;
  if (!dryRun && !unreadable) {
    try {
      rr::RRImportTrackPieces(g->Database(), result, package);
      WatchFolder(*g, result.Package);
    } catch (const std::exception& e) {
      failure = e.what();
    }
  }

  if (json) {
    out << "{\"dryRun\":" << (dryRun ? "true" : "false") << ",\"files\":[";
    for (size_t i = 0; i < result.Files.size(); ++i) {
      if (i) out << ",";
      FileJson(result.Files[i], out);
    }
    out << "],\"imported\":" << result.Imported() << ",\"package\":";
    if (result.Package.empty())
      out << "null";
    else
      out << "{\"file\":" << JsonString(result.Package)
          << ",\"created\":" << (result.Created ? "true" : "false") << ",\"added\":" << result.Added
          << ",\"replaced\":" << result.Replaced << "}";
    out << ",\"error\":" << (failure.empty() ? "null" : JsonString(failure)) << "}\n";
  } else {
    for (const TRRTrackImportFile& f : result.Files) FileText(f, out);
    if (dryRun)
      out << "Probelauf: " << result.Imported() << " Gleise umgesetzt, nichts geschrieben.\n";
    else if (!result.Package.empty())
      out << "Paket " << result.Package << (result.Created ? " (neu)" : "") << ": " << result.Added
          << " Gleise neu, " << result.Replaced << " ersetzt.\n";
  }
  if (unreadable) {
    err << "Nicht alle Parameterdateien sind lesbar; es wurde nichts geschrieben.\n";
    return ExitFailed;
  }
  if (!failure.empty()) return Fail(err, failure);
  return ExitOK;
}

}  // namespace cli
