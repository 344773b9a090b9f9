// The switches a start by the session bus or a registration run carries, and the activation file.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "automation/VMPControlRegistration.h"

using namespace rr;
namespace fsys = std::filesystem;

TEST(AutomationSwitches, AreFoundInAnyCaseAfterSlashOrDashesAndTakenOut) {
  struct TCase {
    std::vector<std::string> Args;
    bool Automation, Embedding, Reg, Unreg;
    std::vector<std::string> Rest;
  } cases[] = {
      {{"-Automation"}, true, false, false, false, {}},
      {{"/EMBEDDING", "Anlage.vmp"}, false, true, false, false, {"Anlage.vmp"}},
      {{"--regserver", "--root", "User=/x"}, false, false, true, false, {"--root", "User=/x"}},
      {{"a.vmp", "/UnRegServer", "-automation"}, true, false, false, true, {"a.vmp"}},
      // Not switches: a word that only starts like one, a plain word, a bare slash.
      {{"-Automations", "automation", "/", "--"},
       false,
       false,
       false,
       false,
       {"-Automations", "automation", "/", "--"}},
  };
  for (TCase& c : cases) {
    const TRRAutomationSwitches s = RRTakeAutomationSwitches(c.Args);
    EXPECT_EQ(s.Automation, c.Automation);
    EXPECT_EQ(s.Embedding, c.Embedding);
    EXPECT_EQ(s.RegServer, c.Reg);
    EXPECT_EQ(s.UnregServer, c.Unreg);
    EXPECT_EQ(s.StartedByBus(), c.Automation || c.Embedding);
    EXPECT_EQ(c.Args, c.Rest);
  }
}

TEST(AutomationActivationFile, IsWrittenUnderTheDataFolderWithTheProgramQuotedAndRemovedAgain) {
  const fsys::path dir = fsys::temp_directory_path() / ("velmora-activation-" + std::to_string(getpid()));
  fsys::remove_all(dir);
  const char* oldXdg = std::getenv("XDG_DATA_HOME");
  const std::string keep = oldXdg ? oldXdg : "";
  ::setenv("XDG_DATA_HOME", dir.c_str(), 1);
  const std::string file = RRActivationFilePath();
  EXPECT_EQ(file, (dir / "dbus-1/services/Velmora.VMPControl.service").string());

  // Spaces and quotes in the path survive the bus's command-line parser.
  RRWriteActivationFile("/opt/Mein Programm/it's velmora");
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "[D-BUS Service]\nName=Velmora.VMPControl\nExec='/opt/Mein Programm/it'\\''s velmora' "
            "-Automation\n");
  EXPECT_THROW(RRWriteActivationFile("relativ/velmora"), std::runtime_error);
  RRRemoveActivationFile();
  EXPECT_FALSE(fsys::exists(file));
  EXPECT_NO_THROW(RRRemoveActivationFile());

  // A relative data folder is not used: the home folder's is.
  ::setenv("XDG_DATA_HOME", "relativ", 1);
  const char* home = std::getenv("HOME");
  if (home && *home == '/')
    EXPECT_EQ(RRActivationFilePath().rfind(std::string(home) + "/.local/share/dbus-1/", 0), 0u);
  if (oldXdg)
    ::setenv("XDG_DATA_HOME", keep.c_str(), 1);
  else
    ::unsetenv("XDG_DATA_HOME");
  fsys::remove_all(dir);
}
