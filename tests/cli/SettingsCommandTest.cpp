#include "cli/SettingsCommand.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <sstream>

#include "app/RRGlobal.h"

namespace fs = std::filesystem;

TEST(SettingsCommand, PrintsTheEffectiveSettingsAndRootsAsJson) {
  std::string dir = (fs::temp_directory_path() / "velmora-settings-XXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  rr::TRRScriptedUIService ui;
  rr::TRRStartOptions options;
  options.UI = &ui;
  for (const char* root : {"Game", "User", "CommonUser", "Documents", "CommonDocuments", "Temp"})
    options.Roots.push_back({root, dir + "/" + root});
  std::ostringstream out, err;
  {
    rr::TRRGlobal global(options);
    global.SetAssetPaths({{dir + "/Pakete\"neu\"", true}});
    ASSERT_EQ(cli::RunSettingsCommand({"--json"}, out, err), 0) << err.str();
    EXPECT_EQ(cli::RunSettingsCommand({"--xml"}, out, err), 2);
  }
  const std::string json = out.str();
  auto has = [&](const std::string& part) { EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json; };
  has("{\"settingsFile\":\"" + dir + "/User/Settings.xml\"");
  has("\"lengthUnit\":{\"index\":0,\"name\":\"mm\",\"factor\":10}");
  has("\"angleUnit\":{\"index\":0,\"name\":\"°\",\"factor\":57.29578}");
  has("\"recentProjects\":[\"" + dir + "/Documents/Beispielanlagen/Kleine Beispielanlage.vmp\"]");
  has("\"assetPaths\":[{\"path\":\"" + dir + "/Pakete\\\"neu\\\"/\",\"enabled\":false}]");
  has("\"render\":{\"showFPS\":false,\"multiSample\":0,\"vSync\":true,\"textureQuality\":3,\"reflectionQuality\":3,"
      "\"envReflectionQuality\":1}");
  has("\"sound\":{\"enabled\":true,\"volume\":100}");
  has("\"roots\":{\"Game\":\"" + dir + "/Game/\",\"User\":\"" + dir + "/User/\"");
  EXPECT_EQ(err.str(), "Unbekannte Option: --xml\n");
  // Outside the program's lifetime the command refuses instead of crashing.
  EXPECT_EQ(cli::RunSettingsCommand({}, out, err), 2);
  fs::remove_all(dir);
}
