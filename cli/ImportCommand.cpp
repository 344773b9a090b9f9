#include "cli/ImportCommand.h"

#include <charconv>
#include <cmath>
#include <ostream>

#include "app/RREntityManager.h"
#include "app/RRGlobal.h"
#include "app/RRLayoutFileProbe.h"
#include "app/RRProject.h"
#include "app/RRProjectSerializer.h"
#include "app/entities/RREntity.h"
#include "app/entities/RREntityRegistry.h"
#include "app/entities/RRModel.h"
#include "cli/CliJson.h"
#include "cli/CliReport.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXStrings.h"

namespace cli {

namespace {

// "X,Y,Z" with three finite numbers (a point as the C locale writes it).
bool ParsePoint(const std::string& text, gx::TGXVector3& point) {
  float v[3];
  const char* p = text.data();
  const char* end = text.data() + text.size();
  for (int i = 0; i < 3; ++i) {
    auto [next, ec] = std::from_chars(p, end, v[i]);
    if (ec != std::errc() || !std::isfinite(v[i])) return false;
    p = next;
    if (i < 2) {
      if (p == end || *p != ',') return false;
      ++p;
    }
  }
  if (p != end) return false;
  point = {v[0], v[1], v[2]};
  return true;
}

struct TImported {
  std::string Source;
  std::vector<std::string> Json;
  std::vector<std::string> Text;
};

std::string JsonNames(const std::vector<std::string>& names) {
  std::string s = "[";
  for (size_t i = 0; i < names.size(); ++i) s += (i ? "," : "") + JsonString(names[i]);
  return s + "]";
}

void AddUnique(std::vector<std::string>& list, const std::string& name) {
  for (const std::string& n : list)
    if (gx::SameText(n, name)) return;
  list.push_back(name);
}

// One new object: its listing lines, and every file it (or an object inside it) names that the
// file system cannot find.
void Describe(const rr::TRREntity& e, gx::TGXFileSystem& fs, TImported& into,
              std::vector<std::string>& missing) {
  std::unique_ptr<rr::TRREntityDescription> d = e.CreateDescription();
  const rr::TRRRegisteredEntity* reg = rr::RegisteredEntities().FindByDescriptionClass(d->GetClass());
  std::string json = "{\"id\":" + std::to_string(e.ID()) + ",\"kind\":" + JsonString(d->GetClass().Name) +
                     ",\"kindId\":" + JsonString(reg ? reg->Kind.ToString() : std::string()) +
                     ",\"name\":" + JsonString(d->Name().GetText());
  std::string text =
      "  " + std::to_string(e.ID()) + " " + d->GetClass().Name + " \"" + d->Name().GetText() + "\"";
  if (auto* m = dynamic_cast<rr::TRRModelDesc*>(d.get())) {
    std::vector<std::string> companions;
    for (const rr::TRRAssetFileName& c : m->ModelFile().Companions)
      companions.push_back(c.EffectiveFileName());
    const std::string model = m->ModelFile().Model.EffectiveFileName();
    json += ",\"modelFile\":" + JsonString(model) + ",\"companions\":" + JsonNames(companions);
    text += " Modell " + model;
    for (const std::string& c : companions) text += "\n    Begleitdatei " + c;
  }
  into.Json.push_back(json + "}");
  into.Text.push_back(text);
  rr::TRRPropertyAccessList access;
  std::vector<rr::TRREntityDescription*> pending{d.get()};
  while (!pending.empty()) {
    rr::TRREntityDescription* next = pending.back();
    pending.pop_back();
    next->GetPropertyAccess(access);
    for (int i = 0; i < next->ChildCount(); ++i) pending.push_back(next->Child(i));
  }
  auto check = [&](const rr::TRRAssetFileName& f) {
    const std::string name = f.EffectiveFileName();
    if (!name.empty() && !fs.FileExists(name)) AddUnique(missing, name);
  };
  for (auto* a : access.OfType<rr::TRRAssetFileNameAccess>()) check(a->Value());
  for (auto* m : access.OfType<rr::TRRModelFileNameAccess>()) {
    check(m->Value().Model);
    for (const rr::TRRAssetFileName& c : m->Value().Companions) check(c);
  }
}

}  // namespace

int RunImportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> files;
  std::string output;
  gx::TGXVector3 at{0, 0, 0};
  bool json = false;
  auto usage = [&](const std::string& why) {
    err << why << " (velmora-cli import --help)\n";
    return ExitUsage;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--json") {
      json = true;
    } else if (a == "--out" || a == "--at") {
      if (i + 1 >= args.size()) return usage("Zu " + a + " fehlt der Wert.");
      if (a == "--out")
        output = args[++i];
      else if (!ParsePoint(args[++i], at))
        return usage("--at erwartet X,Y,Z, nicht \"" + args[i] + "\".");
    } else if (a.size() > 1 && a[0] == '-') {
      return usage("Unbekannte Option: " + a);
    } else {
      files.push_back(a);
    }
  }
  if (files.size() < 2 || output.empty()) {
    err << "Aufruf: velmora-cli import PROJEKT DATEI... --out AUSGABE [--at X,Y,Z] [--json]\n";
    return ExitUsage;
  }
  rr::TRRProject* project = rr::CurrentProject();
  if (!project) return Fail(err, "Das Programm ist nicht gestartet.");
  gx::TGXFileSystem& fs = rr::Global()->FileSystem();

  const std::string& layout = files[0];
  const rr::TRRLayoutFileProbe probe = rr::RRProbeLayoutFile(fs, layout);
  const std::string problem = rr::RRLayoutFileErrorLine(layout, probe, rr::TRRExpectedFile::Project);
  if (probe.Kind != rr::TRRLayoutFileKind::Project || probe.Version < rr::RRProjectMinVersion ||
      probe.Version > rr::RRProjectVersion)
    return Fail(err, problem);
  const rr::TRRLayoutFileProbe target = rr::RRProbeLayoutFile(fs, output);
  if (target.Kind == rr::TRRLayoutFileKind::Folder)
    return Fail(err, "\"" + output + "\" ist ein Ordner, keine Datei.");
  // The layout's picture stays with it.
  std::vector<uint8_t> thumbnail;
  try {
    thumbnail = rr::RRReadProjectThumbnail(fs, layout);
  } catch (...) {
    return Fail(err, problem, std::current_exception());
  }
  if (!project->LoadProject(layout, false)) return Fail(err, problem, TakeError());
  project->SetCameraTarget([at] { return at; });

  std::vector<TImported> imported;
  std::vector<std::string> missing;
  int count = 0;
  for (size_t i = 1; i < files.size(); ++i) {
    std::string error;
    if (!project->ImportFile(files[i], &error)) {
      project->CloseProject();
      return Fail(err, error, TakeError());
    }
    TImported item;
    item.Source = files[i];
    for (const rr::TRRAssetFileName& f : project->LastMissingFiles())
      AddUnique(missing, f.EffectiveFileName());
    for (rr::TRREntity* e : project->Manager()->Selection()) {
      Describe(*e, fs, item, missing);
      ++count;
    }
    imported.push_back(std::move(item));
  }

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

  if (json) {
    out << "{\"file\":" << JsonString(output) << ",\"imported\":[";
    for (size_t i = 0; i < imported.size(); ++i) {
      out << (i ? "," : "") << "{\"source\":" << JsonString(imported[i].Source) << ",\"entities\":[";
      for (size_t j = 0; j < imported[i].Json.size(); ++j) out << (j ? "," : "") << imported[i].Json[j];
      out << "]}";
    }
    out << "],\"missing\":" << JsonNames(missing) << "}\n";
  } else {
    out << count << (count == 1 ? " Objekt" : " Objekte") << " importiert, gespeichert: " << output << "\n";
    for (const TImported& item : imported) {
      out << item.Source << ":\n";
      for (const std::string& line : item.Text) out << line << "\n";
    }
    if (!missing.empty()) {
      out << "Nicht gefunden:\n";
      for (const std::string& m : missing) out << "  " << m << "\n";
    }
  }
  return ExitOK;
}

}  // namespace cli
