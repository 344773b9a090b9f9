#include "cli/CatalogCommand.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/RRDatabase.h"
#include "app/RRGlobal.h"
#include "app/entities/RREntityGroup.h"
#include "engine/core/GXPackage.h"

namespace fs = std::filesystem;

namespace {

// Both base packages (one with a folder and a group entry) and a damaged file in Game.
void WritePackages(const std::string& game) {
  gx::TGXFileSystem fileSystem;
  rr::TRRDatabase db(fileSystem, {});
  for (const char* id : {rr::RRBasePackage1, rr::RRBasePackage2}) {
    rr::TRRAsset a(&db);
    a.SetIdentifier(gx::TGXGuid::Parse(id));
    a.Name().SetText(gx::GX_LANG_GERMAN, "Paket \"B\"");
    auto d = std::make_unique<rr::TRREntityGroupDesc>();
    d->SetCataloguePath("Gruppen\\Leer");
    a.Root().AddChild()->AddDescription(std::move(d));
    a.WritePackage(game + "/" + id + ".vma", false);
  }
}

}  // namespace

TEST(CatalogCommand, ListsPackagesAndTreeAndChecksThem) {
  std::string dir = (fs::temp_directory_path() / "velmora-catalog-XXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  fs::create_directories(dir + "/Game");
  WritePackages(dir + "/Game");
  rr::TRRScriptedUIService ui;
  rr::TRRStartOptions options;
  options.UI = &ui;
  for (const char* root : {"Game", "User", "CommonUser", "Documents", "CommonDocuments", "Temp"})
    options.Roots.push_back({root, dir + "/" + root});
  {
    rr::TRRGlobal global(options);
    EXPECT_TRUE(global.CheckDatabase());
    std::ostringstream out, err;
    ASSERT_EQ(cli::RunCatalogCommand({"list", "--json"}, out, err), 0) << err.str();
    const std::string json = out.str();
    EXPECT_NE(json.find("{\"identifier\":\"{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\",\"name\":\"Paket \\\"B\\\"\","
                        "\"author\":\"\",\"revision\":2,\"file\":\"" + dir + "/Game/{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}.vma\","
                        "\"readOnly\":true,\"temporary\":false,\"tree\":{\"name\":\"\",\"entries\":[],\"folders\":"
                        "[{\"name\":\"\",\"entries\":[{\"kind\":\"TRREntityGroupDesc\",\"name\":\"\",\"path\":\"Gruppen\\\\Leer\""),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"problems\":[]"), std::string::npos);
    std::ostringstream checked;
    EXPECT_EQ(cli::RunCatalogCommand({"check"}, checked, err), 0);
    EXPECT_EQ(cli::RunCatalogCommand({"list", "--xml"}, out, err), 2);
    EXPECT_EQ(cli::RunCatalogCommand({}, out, err), 2);
  }
  // A damaged package makes the check fail and is named.
  std::ofstream(dir + "/Game/kaputt.vma") << "kein Paket";
  fs::remove(dir + "/Game/" + std::string(rr::RRBasePackage1) + ".vma");
  {
    rr::TRRGlobal global(options);
    EXPECT_FALSE(global.CheckDatabase());
    ASSERT_EQ(ui.Shown().size(), 1u);
    EXPECT_EQ(ui.Shown()[0].Text, rr::RRTextDatabaseProblem);
    EXPECT_EQ(ui.Shown()[0].Caption, "Datenbankproblem");
    EXPECT_EQ(ui.Shown()[0].Icon, rr::TRRMessageIcon::Error);
    std::ostringstream out, err;
    EXPECT_EQ(cli::RunCatalogCommand({"check"}, out, err), 1);
    EXPECT_NE(out.str().find("Nicht lesbar: " + dir + "/Game/kaputt.vma"), std::string::npos) << out.str();
  }
  fs::remove_all(dir);
}
