#include "cli/GapSolveCommand.h"

#include <charconv>
#include <chrono>
#include <ostream>

#include "app/RRDatabase.h"
#include "app/RREntityManager.h"
#include "app/RRGlobal.h"
#include "app/RRLayoutFileProbe.h"
#include "app/RRProject.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "app/entities/track/RRTrackSolver.h"
#include "cli/CliJson.h"
#include "cli/CliReport.h"

namespace cli {

const char* const GapSolveCommandUsage =
    "Aufruf: velmora-cli gap-solve PROJEKT.vmp --from ID[:KONTAKT] --to ID[:KONTAKT] [--max-pieces N]\n"
    "                             [--tolerance ZEHNTEL] [--create K -o AUSGABE.vmp] [--json]\n"
    "Sucht Folgen gerader und gebogener Gleise aus dem Gleissystem der beiden Gleise, die die Lücke\n"
    "zwischen ihnen schließen (höchstens 20 Lösungen, in der Reihenfolge der Suche). KONTAKT 0 oder 1\n"
    "wählt das Ende des aktiven Fahrwegs; ohne ihn gilt das nächste Paar freier Enden. N: 1 bis 5 Gleise\n"
    "(2), ZEHNTEL: Toleranz in Zehnteln von Zentimetern, 1 bis 10 (2). --create legt Lösung K (ab 1)\n"
    "und speichert die Anlage in AUSGABE.\n";

namespace {

bool ParseInt(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && p == end;
}

// "ID" or "ID:CONTACT" (CONTACT 0 or 1, -1 when not given).
bool ParseEnd(const std::string& text, int& id, int& contact) {
  const size_t colon = text.find(':');
  contact = -1;
  if (colon != std::string::npos &&
      (!ParseInt(text.substr(colon + 1), contact) || contact < 0 || contact > 1))
    return false;
  return ParseInt(text.substr(0, colon), id) && id > 0;
}

std::string PieceName(const rr::TSolutionTrack& t) {
  return t.Description ? t.Description->Name().GetText() : "";
}

// Closes the program's project however the command ends.
struct TCloseGuard {
  rr::TRRProject& Project;
  ~TCloseGuard() { Project.CloseProject(); }
};

}  // namespace

int RunGapSolveCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string file, from, to, output;
  int pieces = rr::RRSolverDefaultPieces, tenths = rr::RRSolverDefaultTolerance, create = 0;
  bool json = false;
  auto bad = [&](const std::string& option, const std::string& value) {
    err << option << ": ungültiger Wert \"" << value << "\" (velmora-cli gap-solve --help)\n";
    return ExitUsage;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool valued = a == "--from" || a == "--to" || a == "--max-pieces" || a == "--tolerance" ||
                        a == "--create" || a == "-o" || a == "--out";
    if (a == "--json") {
      json = true;
    } else if (valued && i + 1 < args.size()) {
      const std::string& v = args[++i];
      if (a == "--from") {
        from = v;
      } else if (a == "--to") {
        to = v;
      } else if (a == "--max-pieces") {
        if (!ParseInt(v, pieces) || pieces < rr::RRSolverMinPieces || pieces > rr::RRSolverMaxPieces)
          return bad(a, v);
      } else if (a == "--tolerance") {
        if (!ParseInt(v, tenths) || tenths < rr::RRSolverMinTolerance || tenths > rr::RRSolverMaxTolerance)
          return bad(a, v);
      } else if (a == "--create") {
        if (!ParseInt(v, create) || create < 1 || create > rr::RRSolverMaxSolutions) return bad(a, v);
      } else {
        output = v;
      }
    } else if (file.empty() && !a.empty() && a[0] != '-') {
      file = a;
    } else {
      err << "Unbekannte Option: " << a << " (velmora-cli gap-solve --help)\n";
      return ExitUsage;
    }
  }
  int fromID = 0, toID = 0, fromContact = -1, toContact = -1;
  if (file.empty() || from.empty() || to.empty() || (create > 0) != !output.empty()) {
    err << "Aufruf: velmora-cli gap-solve PROJEKT.vmp --from ID[:KONTAKT] --to ID[:KONTAKT] [...] "
           "(velmora-cli gap-solve --help)\n";
    return ExitUsage;
  }
  if (!ParseEnd(from, fromID, fromContact)) return bad("--from", from);
  if (!ParseEnd(to, toID, toContact)) return bad("--to", to);
  if (fromID == toID) return bad("--to", to);

  rr::TRRProject* project = rr::CurrentProject();
  if (!project) return Fail(err, "Das Programm ist nicht gestartet.");
  if (!output.empty() && rr::RRProbeLayoutFile(rr::Global()->FileSystem(), output).Kind == rr::TRRLayoutFileKind::Folder)
    return Fail(err, "\"" + output + "\" ist ein Ordner, keine Datei.");
  if (const int status = LoadLayout(file, err); status != ExitOK) return status;
  TCloseGuard close{*project};

  rr::TRREntityManager& manager = *project->Manager();
  auto trackOf = [&](int id) { return dynamic_cast<rr::TRRTrack*>(manager.FindByID(id)); };
  rr::TRRTrack* first = trackOf(fromID);
  rr::TRRTrack* second = trackOf(toID);
  for (auto [track, id] : {std::pair{first, fromID}, std::pair{second, toID}})
    if (!track) {
      err << "In \"" << file << "\" gibt es kein Gleis mit der ID " << id << ".\n";
      return ExitUsage;
    }
  const rr::TRRGapContacts ends = rr::RRFindGapContacts(*first, *second, fromContact, toContact);
  if (!ends.Problem.empty())
    return Fail(err, std::string(rr::RRCaptionIncompatibleTracks) + ": " + ends.Problem);
  const rr::TRRSolverFrame frame = rr::RRSolverFrame(
      ends.Start->GetWorldPosition(), ends.Start->GetWorldOutward(), ends.End->GetWorldPosition());
  if (!frame.Valid) return Fail(err, frame.Problem);

  // The candidates are built here, on the calling thread, as the window does.
  rr::TRREntityDescriptionList catalogue(false);
  rr::Global()->Database().CollectCatalogByClass(rr::TRRTrackDesc::StaticClass(), catalogue);
  rr::TRRSolverProblem search;
  search.Candidates = rr::RRSolutionCandidates(catalogue, first->TrackSystemName(), first->TrackWidth());
  search.Target = frame.Target;
  search.HeadingX = frame.HeadingX;
  search.HeadingZ = frame.HeadingZ;
  search.Tolerance = static_cast<float>(tenths) * 0.1f;
  search.MaxPieces = pieces;
  const uint64_t total = rr::RRSolverTotal(search.Candidates.size(), pieces);
  const auto started = std::chrono::steady_clock::now();
  const std::vector<rr::TRRSolverSolution> solutions = rr::RRSolveGap(search);
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();

  std::vector<rr::TRRTrack*> made;
  if (create > 0) {
    if (static_cast<size_t>(create) > solutions.size()) {
      err << "--create: Lösung " << create << " gibt es nicht (" << solutions.size() << " Lösungen).\n";
      return ExitUsage;
    }
    made = rr::RRCreateSolutionTracks(manager, *ends.Start, search.Candidates,
                                      solutions[static_cast<size_t>(create) - 1]);
    if (!project->SaveProject(output))
      return Fail(err,
                  "\"" + output + "\" kann nicht geschrieben werden: " + rr::RRShortErrorText(TakeError()));
  }

  auto contactOf = [](const rr::TRRTrackRouteContact* c) { return c->Index(); };
  if (json) {
    out << "{\"file\":" << JsonString(file) << ",\"system\":" << JsonString(first->TrackSystemName())
        << ",\"trackWidth\":" << first->TrackWidth() << ",\"from\":{\"id\":" << fromID
        << ",\"route\":" << ends.Start->Route()->Index() << ",\"contact\":" << contactOf(ends.Start)
        << "},\"to\":{\"id\":" << toID << ",\"route\":" << ends.End->Route()->Index()
        << ",\"contact\":" << contactOf(ends.End) << "},\"maxPieces\":" << pieces
        << ",\"tolerance\":" << JsonNumber(search.Tolerance) << ",\"candidates\":" << search.Candidates.size()
        << ",\"combinations\":" << total << ",\"solutions\":[";
    for (size_t s = 0; s < solutions.size(); ++s) {
      out << (s ? "," : "") << "[";
      for (size_t k = 0; k < solutions[s].Candidates.size(); ++k) {
        const rr::TSolutionTrack& t = search.Candidates[static_cast<size_t>(solutions[s].Candidates[k])];
        out << (k ? "," : "") << "{\"name\":" << JsonString(PieceName(t))
            << ",\"asset\":" << JsonString(t.Description ? t.Description->AssetID().ToString() : "")
            << ",\"entry\":" << solutions[s].Entries[k] << "}";
      }
      out << "]";
    }
    out << "],\"ms\":" << JsonNumber(static_cast<float>(ms)) << ",\"created\":";
    if (made.empty()) {
      out << "null";
    } else {
      out << "{\"solution\":" << create << ",\"file\":" << JsonString(output) << ",\"ids\":[";
      for (size_t i = 0; i < made.size(); ++i) out << (i ? "," : "") << made[i]->ID();
      out << "]}";
    }
    out << "}\n";
    return ExitOK;
  }
  out << rr::RRSolverProgressText(total) << "\n";
  if (solutions.empty()) out << rr::RRTextNoSolution << "\n";
  for (size_t s = 0; s < solutions.size(); ++s) {
    out << "Lösung " << s + 1 << " von " << solutions.size() << ":";
    for (size_t k = 0; k < solutions[s].Candidates.size(); ++k) {
      const rr::TSolutionTrack& t = search.Candidates[static_cast<size_t>(solutions[s].Candidates[k])];
      out << (k ? ", " : " ") << PieceName(t) << (t.Entry ? " (vom Ende)" : "");
    }
    out << "\n";
  }
  if (!made.empty()) {
    out << "Lösung " << create << " gelegt (IDs";
    for (rr::TRRTrack* t : made) out << " " << t->ID();
    out << "), gespeichert: " << output << "\n";
  }
  return ExitOK;
}

}  // namespace cli
