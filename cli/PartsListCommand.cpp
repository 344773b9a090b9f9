#include "cli/PartsListCommand.h"

#include <chrono>
#include <cstdio>
#include <ostream>

#include "app/RRGlobal.h"
#include "app/RRLayoutFileProbe.h"
#include "app/RRProject.h"
#include "app/entities/track/RRPartsList.h"
#include "cli/CliJson.h"
#include "cli/CliReport.h"
#include "engine/core/GXStrings.h"

namespace cli {

const char* const PartsListCommandUsage =
    "Aufruf: velmora-cli parts-list PROJEKT.vmp [--format csv|html] [-o DATEI] [--date TEXT] [--json]\n"
    "Zählt die Gleise einer Projektdatei je Gleissystem und Name und schreibt die Stückliste als Webseite\n"
    "oder als Text mit Semikolons (Windows-1252, CRLF) in DATEI oder auf die Standardausgabe. Ohne --format\n"
    "bestimmt die Endung von DATEI das Format (Vorgabe html); --date ersetzt Datum und Uhrzeit der Liste;\n"
    "--json zeigt die Zeilen und die geschriebene Datei.\n";

namespace {

int Usage(std::ostream& err, const std::string& line) {
  err << line << " (velmora-cli parts-list --help)\n";
  return ExitUsage;
}

}  // namespace

int RunPartsListCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string input, output, date, format;
  bool json = false, haveDate = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--json") {
      json = true;
    } else if (a == "--format" || a == "-o" || a == "--date") {
      if (!hasValue) return Usage(err, a + " braucht einen Wert.");
      const std::string& v = args[++i];
      if (a == "--format") format = v;
      if (a == "-o") output = v;
      if (a == "--date") date = v, haveDate = true;
    } else if (!a.empty() && a[0] == '-') {
      return Usage(err, "Unbekannte Option: " + a);
    } else if (input.empty()) {
      input = a;
    } else {
      return Usage(err, "Nur eine Projektdatei: " + a);
    }
  }
  if (input.empty()) return Usage(err, "Keine Projektdatei angegeben.");
  if (!format.empty() && !gx::SameText(format, "csv") && !gx::SameText(format, "html"))
    return Usage(err, "Unbekanntes Format: " + format + " (csv, html)");
  const rr::TRRPartsListFormat kind =
      format.empty() ? rr::RRPartsListFormatOfFile(output)
                     : (gx::SameText(format, "csv") ? rr::TRRPartsListFormat::Csv : rr::TRRPartsListFormat::Html);
  if (!haveDate)
    date = rr::RRPartsListDate(std::chrono::duration_cast<std::chrono::seconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count());

  if (const int status = LoadLayout(input, err); status != ExitOK) return status;
  rr::TRRProject& project = rr::Global()->Project();
  rr::TRRPartsList list;
  list.Build(*project.ProjectNode());
  // What the window shows first.
  list.Sort(rr::TRRPartsListColumn::Count, false);
  const std::string name = rr::RRPartsListProjectName(input);
  project.CloseProject();

  if (!output.empty()) {
    try {
      list.Save(output, kind, name, date, nullptr);
    } catch (...) {
      return Fail(err, "\"" + output + "\" kann nicht geschrieben werden: " + rr::RRShortErrorText(std::current_exception()),
                  std::current_exception());
    }
  }
  if (json) {
    out << "{\"file\":" << (output.empty() ? "null" : JsonString(output)) << ",\"project\":" << JsonString(name)
        << ",\"format\":\"" << (kind == rr::TRRPartsListFormat::Csv ? "csv" : "html") << "\",\"tracks\":"
        << list.TrackCount() << ",\"rows\":[";
    for (size_t i = 0; i < list.Rows().size(); ++i) {
      const rr::TRRPartsListRow& r = list.Rows()[i];
      out << (i ? "," : "") << "{\"system\":" << JsonString(r.System) << ",\"name\":" << JsonString(r.Name)
          << ",\"count\":" << r.Count << ",\"description\":" << JsonString(r.Description) << "}";
    }
    out << "]}\n";
  } else if (output.empty()) {
    out << list.ToBytes(kind, name, date);
  } else {
    char text[4096];
    std::snprintf(text, sizeof text, rr::RRTextPartsListSaved, output.c_str());
    out << text << "\n";
  }
  return ExitOK;
}

}  // namespace cli
