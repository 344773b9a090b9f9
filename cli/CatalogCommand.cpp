#include "cli/CatalogCommand.h"

#include <cstdio>
#include <ostream>

#include "app/RRDatabase.h"
#include "app/RRGlobal.h"
#include "cli/CliJson.h"
#include "cli/TrackImportCommand.h"

namespace cli {

namespace {

const char* Bool(bool value) { return value ? "true" : "false"; }

void NodeJson(const rr::TRRAssetNode& node, std::ostream& out) {
  out << "{\"name\":" << JsonString(node.Name().GetText()) << ",\"entries\":[";
  bool first = true;
  for (rr::TRREntityDescription* d : node.Descriptions()) {
    out << (first ? "" : ",") << "{\"kind\":" << JsonString(d->GetClass().Name)
        << ",\"name\":" << JsonString(d->Name().GetText()) << ",\"path\":" << JsonString(d->CataloguePath())
        << ",\"asset\":" << JsonString(d->AssetID().ToString()) << "}";
    first = false;
  }
  out << "],\"folders\":[";
  for (int i = 0; i < node.ChildCount(); ++i) {
    if (i) out << ",";
    NodeJson(*node.Child(i), out);
  }
  out << "]}";
}

void NodeText(const rr::TRRAssetNode& node, int depth, std::ostream& out) {
  std::string indent(static_cast<size_t>(depth) * 2, ' ');
  for (rr::TRREntityDescription* d : node.Descriptions())
    out << indent << d->GetClass().Name << "  " << d->Name().GetText() << "  (" << d->CataloguePath()
        << ")\n";
  for (int i = 0; i < node.ChildCount(); ++i) {
    out << indent << node.Child(i)->Name().GetText() << "/\n";
    NodeText(*node.Child(i), depth + 1, out);
  }
}

void List(const rr::TRRDatabase& db, bool json, std::ostream& out) {
  if (json) {
    out << "{\"packages\":[";
    for (int i = 0; i < db.Count(); ++i) {
      const rr::TRRAsset& a = *db.Item(i);
      out << (i ? "," : "") << "{\"identifier\":" << JsonString(a.Identifier().ToString())
          << ",\"name\":" << JsonString(a.Name().GetText())
          << ",\"author\":" << JsonString(a.Author().GetText()) << ",\"revision\":" << a.Revision()
          << ",\"file\":" << JsonString(a.FileName()) << ",\"readOnly\":" << Bool(a.IsBasePackage())
          << ",\"temporary\":" << Bool(a.Temporary()) << ",\"tree\":";
      NodeJson(a.Root(), out);
      out << "}";
    }
    out << "],\"problems\":[";
    for (size_t i = 0; i < db.Problems().size(); ++i)
      out << (i ? "," : "") << "{\"file\":" << JsonString(db.Problems()[i].FileName)
          << ",\"reason\":" << JsonString(db.Problems()[i].Reason) << "}";
    out << "]}\n";
    return;
  }
  for (int i = 0; i < db.Count(); ++i) {
    const rr::TRRAsset& a = *db.Item(i);
    out << a.Identifier().ToString() << "  " << a.Name().GetText()
        << (a.IsBasePackage() ? rr::RRReadOnlySuffix : "") << (a.Temporary() ? rr::RRTemporarySuffix : "")
        << "\n  Autor: " << a.Author().GetText() << "\n  Revision: " << a.Revision()
        << "\n  Datei: " << a.FileName() << "\n";
    NodeText(a.Root(), 1, out);
  }
  for (const rr::TRRAssetProblem& p : db.Problems())
    out << "Nicht lesbar: " << p.FileName << ": " << p.Reason << "\n";
}

// Every file the description or its children refer to.
void CheckFiles(rr::TRREntityDescription& d, const rr::TRRAsset& a, gx::TGXFileSystem& fs, int& faults,
                std::ostream& out) {
  rr::TRRPropertyAccessList access;
  d.GetPropertyAccess(access);
  auto check = [&](const rr::TRRAssetFileName& name) {
    if (name.IsEmpty() || fs.FileExists(name.EffectiveFileName())) return;
    ++faults;
    out << "Datei fehlt: " << name.EffectiveFileName() << " (" << a.Identifier().ToString() << ", "
        << d.CataloguePath() << ")\n";
  };
  for (auto* f : access.OfType<rr::TRRAssetFileNameAccess>()) check(f->Value());
  for (auto* m : access.OfType<rr::TRRModelFileNameAccess>()) {
    check(m->Value().Model);
    for (const auto& c : m->Value().Companions) check(c);
  }
  for (int i = 0; i < d.ChildCount(); ++i) CheckFiles(*d.Child(i), a, fs, faults, out);
}

void CheckNode(const rr::TRRAssetNode& node, const rr::TRRAsset& a, gx::TGXFileSystem& fs, int& faults,
               std::ostream& out) {
  for (rr::TRREntityDescription* d : node.Descriptions()) CheckFiles(*d, a, fs, faults, out);
  for (int i = 0; i < node.ChildCount(); ++i) CheckNode(*node.Child(i), a, fs, faults, out);
}

}  // namespace

int RunCatalogCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  rr::TRRGlobal* g = rr::Global();
  if (!g) {
    err << "Das Programm ist nicht gestartet.\n";
    return 2;
  }
  if (!args.empty() && args[0] == "import-tracks")
    return RunTrackImportCommand(std::vector<std::string>(args.begin() + 1, args.end()), out, err);
  if (args.empty() || (args[0] != "list" && args[0] != "check")) {
    err << "Aufruf: velmora-cli catalog list [--json] | catalog check | catalog import-tracks DATEI.xtp...\n";
    return 2;
  }
  bool json = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[0] == "list" && args[i] == "--json") {
      json = true;
    } else {
      err << "Unbekannte Option: " << args[i] << "\n";
      return 2;
    }
  }
  rr::TRRDatabase& db = g->Database();
  if (args[0] == "list") {
    List(db, json, out);
    return 0;
  }
  int faults = 0;
  for (const rr::TRRAssetProblem& p : db.Problems()) {
    ++faults;
    out << "Nicht lesbar: " << p.FileName << ": " << p.Reason << "\n";
  }
  for (int i = 0; i < db.Count(); ++i)
    CheckNode(db.Item(i)->Root(), *db.Item(i), db.FileSystem(), faults, out);
  if (faults == 0) out << "Katalog in Ordnung: " << db.Count() << " Pakete.\n";
  return faults == 0 ? 0 : 1;
}

}  // namespace cli
