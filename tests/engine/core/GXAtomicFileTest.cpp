#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "engine/core/GXAtomicFile.h"
#include "engine/core/GXException.h"

using namespace gx;
namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

// Each test runs once with unnamed temporary files (where the file system has them) and once with
// named ones, the form other file systems get.
class GXAtomicFileTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "velmora-atomic-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    FDir = pattern;
    TGXAtomicFile::SetUnnamedAllowed(GetParam());
  }
  void TearDown() override {
    TGXAtomicFile::SetUnnamedAllowed(true);
    fs::remove_all(FDir);
  }
  std::string FDir;
};

}  // namespace

TEST_P(GXAtomicFileTest, TheTargetChangesOnlyOnCommitAndNothingElseStays) {
  const std::string target = FDir + "/Anlage.vmp";
  WriteAll(target, "alt");
  chmod(target.c_str(), 0640);
  {
    TGXAtomicFile file(target);
    EXPECT_EQ(file.Unnamed(), GetParam() && file.TemporaryName().empty());
    file.WriteBuffer("neu und länger", 15);
    EXPECT_EQ(ReadAll(target), "alt");
    // A named temporary file is hidden beside the target; an unnamed one is not in the folder.
    std::set<std::string> expected = {"Anlage.vmp"};
    if (!file.Unnamed()) expected.insert(fs::path(file.TemporaryName()).filename().string());
    EXPECT_EQ(Names(FDir), expected);
    if (!file.Unnamed()) {
      EXPECT_EQ(file.TemporaryName().rfind(FDir + "/.Anlage.vmp.", 0), 0u);
    }
    file.Commit();
    EXPECT_TRUE(file.Committed());
  }
  EXPECT_EQ(ReadAll(target), "neu und länger");
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Names(FDir), std::set<std::string>{"Anlage.vmp"});

  // Abandoned (destroyed without commit, or discarded): the target and the folder are as before.
  {
    TGXAtomicFile file(target);
    file.WriteBuffer("halb", 4);
  }
  {
    TGXAtomicFile file(target);
    file.Discard();
    EXPECT_THROW(file.WriteBuffer("x", 1), EInvalidCall);
  }
  {
    TGXAtomicFile file(FDir + "/Neu.vmp");
    file.WriteBuffer("halb", 4);
  }
  EXPECT_EQ(ReadAll(target), "neu und länger");
  EXPECT_EQ(Names(FDir), std::set<std::string>{"Anlage.vmp"});

  TGXAtomicFile::WriteFile(FDir + "/Neu.vmp", "frisch", 6);
  EXPECT_EQ(ReadAll(FDir + "/Neu.vmp"), "frisch");
  EXPECT_EQ(Names(FDir), (std::set<std::string>{"Anlage.vmp", "Neu.vmp"}));
}

TEST_P(GXAtomicFileTest, LinksAreWrittenThroughAndTheLinksStay) {
  fs::create_directories(FDir + "/Daten/tief");
  WriteAll(FDir + "/Daten/tief/echt.xml", "alt");
  fs::create_symlink("tief/echt.xml", FDir + "/Daten/kette");         // relative to the link's folder
  fs::create_symlink(FDir + "/Daten/kette", FDir + "/Settings.xml");  // absolute, to another link
  fs::create_symlink("fehlt.xml", FDir + "/Daten/lose");              // dangling: its target is made

  struct {
    std::string Link;
    std::string Final;
  } cases[] = {{FDir + "/Settings.xml", FDir + "/Daten/tief/echt.xml"},
               {FDir + "/Daten/lose", FDir + "/Daten/fehlt.xml"}};
  for (const auto& c : cases) {
    TGXAtomicFile file(c.Link);
    EXPECT_EQ(file.Target(), c.Final);
    file.WriteBuffer("neu", 3);
    file.Commit();
    EXPECT_TRUE(fs::is_symlink(c.Link)) << c.Link;
    EXPECT_EQ(ReadAll(c.Final), "neu") << c.Final;
  }
  EXPECT_EQ(Names(FDir + "/Daten/tief"), std::set<std::string>{"echt.xml"});
  EXPECT_EQ(Names(FDir + "/Daten"), (std::set<std::string>{"tief", "kette", "lose", "fehlt.xml"}));
}

TEST_P(GXAtomicFileTest, FoldersPipesLinkLoopsAndMissingFoldersAreRefusedNamingTheTarget) {
  fs::create_directories(FDir + "/Ordner");
  fs::create_symlink(FDir + "/b", FDir + "/a");
  fs::create_symlink(FDir + "/a", FDir + "/b");
  ASSERT_EQ(mkfifo((FDir + "/Rohr").c_str(), 0600), 0);
  for (const std::string& target :
       {FDir + "/Ordner", FDir + "/a", FDir + "/fehlt/Datei.xml", FDir + "/Rohr"}) {
    try {
      TGXAtomicFile file(target);
      ADD_FAILURE() << target;
    } catch (const EGXFileOpenError& e) {
      EXPECT_EQ(std::string(e.what()), "Datei kann nicht geöffnet werden: " + target);
    }
  }
  EXPECT_EQ(Names(FDir), (std::set<std::string>{"Ordner", "a", "b", "Rohr"}));
}

// A process killed while writing leaves no temporary file: unnamed files vanish with the process,
// named ones are removed by the signal handler before the signal ends it.
TEST_P(GXAtomicFileTest, AKilledWriterLeavesNothingBehind) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    const std::string target = FDir + "/Paket.vma";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      TGXAtomicFile file(target);
      file.WriteBuffer("halb geschrieben", 16);
      raise(signal);
      _exit(3);  // not reached: the signal ends the process
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << " " << status;
    EXPECT_TRUE(Names(FDir).empty()) << signal;
  }

  // A program that ignores a signal goes on writing: its temporary file must not vanish underneath.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGHUP, SIG_IGN);
    TGXAtomicFile file(FDir + "/Weiter.vma");
    file.WriteBuffer("ganz", 4);
    raise(SIGHUP);
    try {
      file.Commit();
    } catch (...) {
      _exit(1);
    }
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(ReadAll(FDir + "/Weiter.vma"), "ganz");
}

INSTANTIATE_TEST_SUITE_P(TemporaryFiles, GXAtomicFileTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Unnamed" : "Named"; });
