#include "cli/ProjectCommands.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "app/RRGlobal.h"
#include "app/RRProject.h"
#include "app/RREntityManager.h"
#include "app/entities/RREntityGroup.h"

namespace fs = std::filesystem;

namespace {

struct TCliProject : ::testing::Test {
  std::string Dir;
  rr::TRRScriptedUIService Ui;
  std::unique_ptr<rr::TRRGlobal> Global;

  void SetUp() override {
    Dir = (fs::temp_directory_path() / "velmora-projectcmd-XXXXXX").string();
    ASSERT_NE(mkdtemp(Dir.data()), nullptr);
    rr::TRRStartOptions options;
    options.UI = &Ui;
    for (const char* root : {"Game", "User", "CommonUser", "Documents", "CommonDocuments", "Temp"})
      options.Roots.push_back({root, Dir + "/" + root});
    Global = std::make_unique<rr::TRRGlobal>(options);
  }
  void TearDown() override {
    Global.reset();
    fs::remove_all(Dir);
  }
};

}  // namespace

TEST_F(TCliProject, InfoListsTheEntitiesOfASavedLayoutAndConvertKeepsItsBytes) {
  rr::TRRProject& project = Global->Project();
  ASSERT_TRUE(project.NewProject({}));
  rr::TRREntityGroupDesc group, member;
  group.Name().SetUserText("Bahnhof \"Süd\"");
  group.SetPosition({1, 2, 3});
  group.SetID(project.Manager()->NextID());
  member.SetID(group.ID() + 1);
  member.SetLinkTarget(group.ID());
  group.AddChild(member.Clone());
  project.Manager()->ReserveIDs(2);
  project.Manager()->CreateEntity(nullptr, group);
  std::string file = Dir + "/Anlage.vmp";
  ASSERT_TRUE(project.SaveProject(file));
  project.CloseProject();

  std::ostringstream out, err;
  ASSERT_EQ(cli::RunInfoCommand({file, "--json"}, out, err), 0) << err.str();
  const std::string json = out.str();
  auto has = [&](const std::string& part) { EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json; };
  has("\"header\":{\"guid\":\"{C6E7B3C7-D72C-4451-8C41-032323E8F90D}\",\"version\":12},\"thumbnailSize\":0");
  has("\"entityCount\":1");
  has("{\"id\":1,\"kind\":\"TRREntityGroupDesc\",\"kindId\":\"{280464B0-A843-4A29-A93E-4065F9C4EBC5}\","
      "\"name\":\"Bahnhof \\\"Süd\\\"\",\"position\":[1,2,3],\"rotation\":[0,0,0,1],\"link\":0,"
      "\"children\":[{\"id\":2,");
  has("\"link\":1,\"children\":[]}]}");
  EXPECT_FALSE(project.IsOpen());

  std::string copy = Dir + "/Kopie.vmp";
  ASSERT_EQ(cli::RunConvertCommand({file, copy}, out, err), 0) << err.str();
  std::ifstream a(file, std::ios::binary), b(copy, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(a), {}), std::string(std::istreambuf_iterator<char>(b), {}));

  EXPECT_EQ(cli::RunInfoCommand({}, out, err), 2);
  EXPECT_EQ(cli::RunConvertCommand({Dir + "/fehlt.vmp", copy}, out, err), 1);
}

TEST(SampleLayouts, AreCopiedIntoTheDocumentsAtTheFirstStartOnly) {
  std::string dir = (fs::temp_directory_path() / "velmora-samples-XXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  fs::create_directories(dir + "/Game/Beispielanlagen");
  std::ofstream(dir + "/Game/Beispielanlagen/Kleine Beispielanlage.vmp") << "neu";
  std::ofstream(dir + "/Game/Beispielanlagen/Zweite.vmp") << "zwei";
  rr::TRRScriptedUIService ui;
  rr::TRRStartOptions options;
  options.UI = &ui;
  for (const char* root : {"Game", "User", "CommonUser", "Documents", "CommonDocuments", "Temp"})
    options.Roots.push_back({root, dir + "/" + root});
  auto read = [](const std::string& f) {
    std::ifstream in(f);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  { rr::TRRGlobal global(options); }
  EXPECT_EQ(read(dir + "/Documents/Beispielanlagen/Kleine Beispielanlage.vmp"), "neu");
  EXPECT_EQ(read(dir + "/Documents/Beispielanlagen/Zweite.vmp"), "zwei");
  // A sample the user changed stays as it is.
  std::ofstream(dir + "/Documents/Beispielanlagen/Kleine Beispielanlage.vmp") << "geändert";
  { rr::TRRGlobal global(options); }
  EXPECT_EQ(read(dir + "/Documents/Beispielanlagen/Kleine Beispielanlage.vmp"), "geändert");
  fs::remove_all(dir);
}
