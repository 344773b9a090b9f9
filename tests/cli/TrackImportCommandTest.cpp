// "velmora-cli catalog import-tracks" as a user meets it: a dry run in JSON, the import into the
// default package that the catalogue then lists, re-importing, wrong use and unreadable files, and
// a layout of two connected imported pieces that keeps them connected through convert and info.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <sstream>

#include "app/RRDatabase.h"
#include "app/RREntityManager.h"
#include "app/RRGlobal.h"
#include "app/RRProject.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "cli/CatalogCommand.h"
#include "cli/ProjectCommands.h"

namespace fs = std::filesystem;

namespace {

std::string DataFile(const char* name) {
  return std::string(VELMORA_SOURCE_DIR) + "/tests/app/data/tracklib/" + name;
}

struct TCliTrackImport : ::testing::Test {
  std::string Dir;
  rr::TRRScriptedUIService Ui;
  std::unique_ptr<rr::TRRGlobal> Global;

  void SetUp() override {
    Dir = (fs::temp_directory_path() / "velmora-trackimportcmd-XXXXXX").string();
    ASSERT_NE(mkdtemp(Dir.data()), nullptr);
    Start();
  }
  void Start() {
    rr::TRRStartOptions options;
    options.UI = &Ui;
    for (const char* root : {"Game", "User", "CommonUser", "Documents", "CommonDocuments", "Temp"})
      options.Roots.push_back({root, Dir + "/" + root});
    Global.reset();
    Global = std::make_unique<rr::TRRGlobal>(options);
  }
  void TearDown() override {
    Global.reset();
    fs::remove_all(Dir);
  }
  int Run(const std::vector<std::string>& args, std::string& out, std::string& err) {
    std::ostringstream o, e;
    std::vector<std::string> all = {"import-tracks"};
    all.insert(all.end(), args.begin(), args.end());
    const int rc = cli::RunCatalogCommand(all, o, e);
    out = o.str();
    err = e.str();
    return rc;
  }
};

void ExpectHas(const std::string& text, const std::string& part) {
  EXPECT_NE(text.find(part), std::string::npos) << part << "\n---\n" << text;
}

}  // namespace

TEST_F(TCliTrackImport, ADryRunReportsInJsonAndWritesNothing) {
  std::string out, err;
  ASSERT_EQ(Run({DataFile("Suedbahn Kleingleis N.xtp"), "--dry-run", "--json"}, out, err), 0) << err;
  ExpectHas(out, "{\"dryRun\":true,\"files\":[{\"file\":");
  ExpectHas(out,
            "\"encoding\":\"Windows-1252\",\"contents\":\"Südbahn Kleingleis Spur N\",\"definitions\":3,"
            "\"imported\":3,\"importedByType\":{\"Gerades Gleis\":1,\"Gebogenes Gleis\":1,\"Weiche\":1},"
            "\"refused\":[],\"skipped\":{\"total\":4,\"drawing\":0,\"structure\":1,\"carPart\":1,"
            "\"carProto\":1,\"unknown\":1,\"tooLong\":0,\"beyondLimit\":0}");
  ExpectHas(out,
            "{\"line\":13,\"name\":\"SB 9104 Gerade 104,2 mm\",\"type\":\"Gerades Gleis\","
            "\"manufacturer\":\"Südbahn\",\"system\":\"Kleingleis\",\"gauge\":\"N\","
            "\"path\":\"Gleise\\\\Südbahn\\\\N\\\\Kleingleis\\\\SB 9104 Gerade 104,2 mm\"");
  ExpectHas(out,
            "\"routes\":[{\"shift\":0,\"l1\":10.419999,\"angle\":0,\"radius\":0,\"l2\":0,\"flexL\":0,"
            "\"rotation\":0}]");
  ExpectHas(out, "\"package\":null,\"error\":null}");
  EXPECT_FALSE(fs::exists(Dir + "/User/Pakete"));
  // The text form names what was refused and why.
  ASSERT_EQ(Run({DataFile("Nordmark Profilgleis H0.xtp"), "--dry-run"}, out, err), 0) << err;
  ExpectHas(out,
            "  UTF-8, 13 Gleisdefinitionen (Nordmark Profilgleis H0)\n  eingelesen: 13 (Gerades Gleis 2,");
  ExpectHas(out, "  abgelehnt: 0\n  übersprungene Zeilen: 8 (Zeichnung 8)\n");
  ExpectHas(out, "Probelauf: 13 Gleise umgesetzt, nichts geschrieben.\n");
}

TEST_F(TCliTrackImport, ImportsIntoTheDefaultPackageThatTheCatalogueListsAndReplacesOnReimport) {
  std::string out, err;
  ASSERT_EQ(Run({DataFile("Nordmark Profilgleis H0.xtp")}, out, err), 0) << err;
  const std::string package = Dir + "/User/Pakete/Importierte Gleise.vma";
  ExpectHas(out, "Paket " + package + " (neu): 13 Gleise neu, 0 ersetzt.\n");
  ASSERT_TRUE(fs::exists(package));
  // The next start finds the package through the watched folders.
  Start();
  std::ostringstream list, listErr;
  ASSERT_EQ(cli::RunCatalogCommand({"list"}, list, listErr), 0);
  ExpectHas(list.str(), "Importierte Gleise\n");
  ExpectHas(list.str(),
            "TRRTrackDesc  NM 1611 Weiche links 24,3°  (Gleise\\Nordmark\\H0\\Profilgleis\\NM 1611 Weiche "
            "links 24,3°)\n");
  ASSERT_EQ(Run({DataFile("Nordmark Profilgleis H0.xtp"), "--json"}, out, err), 0) << err;
  ExpectHas(out, "\"package\":{\"file\":\"" + package + "\",\"created\":false,\"added\":0,\"replaced\":13}");
  EXPECT_EQ(Global->Database().Count(), 1);
}

TEST_F(TCliTrackImport, WrongUseAndUnreadableFilesWriteNothing) {
  std::string out, err;
  EXPECT_EQ(Run({}, out, err), 2);
  ExpectHas(err, "Keine Parameterdatei angegeben.");
  EXPECT_EQ(Run({DataFile("Suedbahn Kleingleis N.xtp"), "--paket"}, out, err), 2);
  ExpectHas(err, "Unbekannte Option: --paket");
  EXPECT_EQ(Run({DataFile("Suedbahn Kleingleis N.xtp"), "--package"}, out, err), 2);
  const std::string package = Dir + "/Eigene.vma";
  EXPECT_EQ(Run({DataFile("Suedbahn Kleingleis N.xtp"), Dir + "/fehlt.xtp", "--package", package}, out, err),
            1);
  ExpectHas(out, "  Fehler: Die Parameterdatei \"" + Dir + "/fehlt.xtp\" kann nicht geöffnet werden");
  ExpectHas(err, "es wurde nichts geschrieben");
  EXPECT_FALSE(fs::exists(package));
}

TEST_F(TCliTrackImport, TwoConnectedImportedPiecesStayConnectedThroughConvertAndInfo) {
  std::string out, err;
  ASSERT_EQ(Run({DataFile("Nordmark Profilgleis H0.xtp"), "--package", Dir + "/Gleise.vma"}, out, err), 0)
      << err;
  rr::TRRDatabase& db = Global->Database();
  rr::TRRProject& project = Global->Project();
  ASSERT_TRUE(project.NewProject({}));
  auto place = [&](const char* path) {
    rr::TRREntityDescriptionList found(false);
    db.CollectCatalogByAsset(db.FindAssetIDByPath(path), found);
    EXPECT_EQ(found.Count(), 1) << path;
    std::unique_ptr<rr::TRREntityDescription> d = found.Item(0)->Clone();
    d->SetID(project.Manager()->NextID());
    project.Manager()->ReserveIDs(1);
    return static_cast<rr::TRRTrack*>(project.Manager()->CreateEntity(nullptr, *d));
  };
  rr::TRRTrack* straight = place("Gleise\\Nordmark\\H0\\Profilgleis\\NM 1188 Gerade 188,3 mm");
  rr::TRRTrack* curve = place("Gleise\\Nordmark\\H0\\Profilgleis\\NM 1330 Bogen R1 30° rechts");
  ASSERT_NE(straight, nullptr);
  ASSERT_NE(curve, nullptr);
  // The curve starts where the straight ends.
  curve->SetPosition(straight->GetRoute(0)->Contact(1)->GetPosition());
  const std::string file = Dir + "/Anlage.vmp";
  ASSERT_TRUE(project.SaveProject(file));
  project.CloseProject();
  const std::string copy = Dir + "/Kopie.vmp";
  std::ostringstream o, e;
  ASSERT_EQ(cli::RunConvertCommand({file, copy}, o, e), 0) << e.str();
  std::ostringstream info;
  ASSERT_EQ(cli::RunInfoCommand({copy, "--json"}, info, e), 0) << e.str();
  ExpectHas(info.str(), "\"name\":\"NM 1188 Gerade 188,3 mm\"");
  // What the parts list and the track filter read of a placed piece: manufacturer, system, gauge.
  ExpectHas(info.str(), "\"catalogueKey\":\"Nordmark\\\\Profilgleis\\\\H0\\\\Gerades Gleis, 188,3 mm\\\\");
  ExpectHas(info.str(), "\"routes\":[{\"length\":18.83,\"partners\":[0,7]}]");  // IDs 1-5: the new project's objects
  ExpectHas(info.str(), "\"partners\":[6,0]}]");
}
