#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "engine/core/GXException.h"
#include "engine/core/GXFileSystem.h"

using namespace gx;
namespace fs = std::filesystem;

namespace {

std::string Content(TGXStream& s) {
  std::string out(static_cast<size_t>(s.Size()), '\0');
  s.SetPosition(0);
  s.ReadBuffer(out.data(), s.Size());
  return out;
}

// A fresh folder with the roots pointing into it; nothing outside it is touched.
class GXFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (fs::temp_directory_path() / "gxfs-XXXXXX").string();
    Dir = mkdtemp(templ.data());
    fs::create_directories(Dir + "/game/Data");
    fs::create_directories(Dir + "/user");
    FS.SetRoot("Game", Dir + "/game/Data");
    FS.SetRoot("User", Dir + "/user/");
  }
  void TearDown() override { fs::remove_all(Dir); }

  void WriteFile(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
  void WritePackage(const std::string& path, std::vector<std::pair<std::string, std::string>> entries) {
    TGXPackageWriter w(path);
    for (auto& [name, text] : entries) {
      TGXMemoryStream s(std::vector<uint8_t>(text.begin(), text.end()));
      w.AddFile(s, name);
    }
    w.Finish();
  }
  std::string Open(const std::string& path) { return Content(*FS.OpenFile(path)); }

  std::string Dir;
  TGXFileSystem FS;
};

}  // namespace

TEST_F(GXFileSystemTest, RootsAreCaseInsensitiveAndCanBeRemoved) {
  EXPECT_EQ(FS.GetRoot("game"), Dir + "/game/Data/");
  EXPECT_EQ(FS.GetRoot("USER"), Dir + "/user/");
  EXPECT_EQ(FS.GetRoot(""), "");
  EXPECT_EQ(FS.GetRoot("nothing"), "");
  EXPECT_EQ(FS.ResolvePath("user:\\Settings.xml"), FS.ResolvePath("User:\\Settings.xml"));
  EXPECT_EQ(FS.ResolvePath("User:\\Settings.xml"), Dir + "/user/Settings.xml");
  EXPECT_EQ(FS.ResolvePath("User:\\"), Dir + "/user/");

  // Every default root exists (the application replaces them at start-up).
  for (const char* root : {"Game", "User", "CommonUser", "Documents", "CommonDocuments", "Temp"})
    EXPECT_EQ(FS.GetRoot(root).back(), '/') << root;

  FS.SetRoot("Temp", "");
  EXPECT_EQ(FS.GetRoot("Temp"), "");
  EXPECT_EQ(FS.ResolvePath("Temp:\\a\\..\\b.txt"), "Temp:\\b.txt");
  EXPECT_EQ(FS.Roots().size(), 5u);
  FS.SetRoot("Temp", "");  // removing twice is harmless

  // A root may be given through another root; a folder without a disk mapping is refused.
  FS.SetRoot("Cache", "User:\\cache");
  EXPECT_EQ(FS.GetRoot("cache"), Dir + "/user/cache/");
  EXPECT_THROW(FS.SetRoot("X", "C:\\Programme"), EInvalidParameter);
  EXPECT_THROW(FS.SetRoot("A:B", Dir), EInvalidParameter);
}

TEST_F(GXFileSystemTest, PathsAreCanonicalAndNeverLeaveTheirRoot) {
  EXPECT_EQ(FS.ResolvePath("User:\\a\\.\\b\\..\\c.txt"), Dir + "/user/a/c.txt");
  EXPECT_EQ(FS.ResolvePath("User:\\..\\..\\x"), Dir + "/user/x");
  EXPECT_EQ(FS.ResolvePath("User:/sub//x"), Dir + "/user/sub/x");
  // POSIX absolute paths are disk paths as they are.
  EXPECT_EQ(FS.ResolvePath("/home/anna/../bert/./x.vmp"), "/home/bert/x.vmp");
  EXPECT_EQ(FS.ResolvePath("/../x"), "/x");
  // Prefixes without a root keep their own canonical form: no disk mapping.
  EXPECT_EQ(FS.ResolvePath("C:\\Programme\\..\\Daten\\x.vmp"), "C:\\Daten\\x.vmp");
  EXPECT_EQ(FS.ResolvePath("C:\\..\\x"), "C:\\x");
  EXPECT_EQ(FS.ResolvePath("\\\\server\\share\\..\\x"), "\\\\server\\x");
  EXPECT_FALSE(TGXFileSystem::IsDiskPath(FS.ResolvePath("C:\\x")));

  // Relative paths are relative to the working folder.
  std::string old = fs::current_path();
  fs::current_path(Dir);
  EXPECT_EQ(FS.ResolvePath("sub\\..\\a.txt"), fs::current_path().string() + "/a.txt");
  EXPECT_EQ(FS.ResolvePath("a:b\\c"), fs::current_path().string() + "/a:b/c");
  fs::current_path(old);
}

TEST_F(GXFileSystemTest, OpenFilePrefersDiskThenPackagesInMountOrder) {
  WriteFile(Dir + "/game/Data/Shared.txt", "disk");
  WritePackage(Dir + "/first.vma",
               {{"Shared.txt", "first"}, {"Only\\First.txt", "first only"}, {"Both.txt", "first"}});
  WritePackage(Dir + "/second.vma", {{"Both.txt", "second"}, {"Sub\\Second.txt", "second only"}});
  FS.SetRoot("Packages", Dir);
  FS.MountPackage("Packages:\\first.vma", "Game:\\");
  FS.MountPackage(Dir + "/sub/../second.vma", Dir + "/game/Data");
  ASSERT_EQ(FS.Packages().size(), 2u);
  EXPECT_EQ(FS.Packages()[0].PackagePath, Dir + "/first.vma");
  EXPECT_EQ(FS.Packages()[1].MountPath, Dir + "/game/Data/");

  EXPECT_EQ(Open("Game:\\Shared.txt"), "disk");
  EXPECT_EQ(Open("Game:\\both.TXT"), "first");
  EXPECT_EQ(Open("game:\\SUB\\x\\..\\second.txt"), "second only");
  EXPECT_EQ(Open(Dir + "/game/Data/Only/First.txt"), "first only");
  EXPECT_TRUE(FS.FileExists("Game:\\Sub\\Second.txt"));
  EXPECT_FALSE(FS.FileExists("Game:\\Third.txt"));

  FS.UnmountPackage("PACKAGES:\\FIRST.VMA");
  ASSERT_EQ(FS.Packages().size(), 1u);
  EXPECT_EQ(Open("Game:\\Both.txt"), "second");
  EXPECT_THROW(FS.OpenFile("Game:\\Only\\First.txt"), EGXPackageFileOpenError);
}

TEST_F(GXFileSystemTest, DiskLookupRetriesIgnoringCase) {
  WriteFile(Dir + "/game/Data/Texturen/Gleis/Schiene.DDS", "rail");
  EXPECT_EQ(Open("Game:\\texturen\\GLEIS\\schiene.dds"), "rail");
  EXPECT_EQ(FS.LocateFile("GAME:\\TEXTUREN\\gleis\\Schiene.dds"),
            Dir + "/game/Data/Texturen/Gleis/Schiene.DDS");
  EXPECT_EQ(FS.LocateFile("Game:\\Texturen\\Gleis"), "");  // a folder is not a file
  EXPECT_EQ(FS.LocateFile("Game:\\Texturen\\Gleis\\Schiene.dds\\x"), "");

  // Among names that differ only in case the byte-wise smallest wins.
  WriteFile(Dir + "/user/a.txt", "lower");
  WriteFile(Dir + "/user/A.txt", "upper");
  EXPECT_EQ(Open("User:\\a.TXT"), "upper");
  EXPECT_EQ(Open("User:\\a.txt"), "lower");  // the exact name first
}

TEST_F(GXFileSystemTest, UnresolvableAndMissingFilesRaiseTheFileOpenError) {
  WriteFile(Dir + "/C:/x.txt", "never");  // a relative "C:" folder must not be used
  std::string old = fs::current_path();
  fs::current_path(Dir);
  for (std::string path : {"C:\\x.txt", "\\\\server\\x.txt", "User:\\missing.txt"}) {
    try {
      FS.OpenFile(path);
      ADD_FAILURE() << path;
    } catch (const EGXPackageFileOpenError& e) {
      EXPECT_EQ(e.RequestedPath(), path);
      EXPECT_EQ(std::string(e.what()), "Datei " + e.ResolvedPath() + " kann nicht geöffnet werden");
    }
  }
  fs::current_path(old);
  try {
    FS.OpenFile("User:\\a\\..\\fehlt.txt");
    FAIL();
  } catch (const EGXFileOpenError& e) {  // the run-time library's file-open error
    EXPECT_EQ(std::string(e.what()), "Datei " + Dir + "/user/fehlt.txt kann nicht geöffnet werden");
  }
  FS.SetRoot("User", "");
  EXPECT_THROW(FS.OpenFile("User:\\a.txt"), EGXPackageFileOpenError);

  EXPECT_THROW(FS.MountPackage("Game:\\fehlt.vma", "Game:\\"), EGXPackageFileOpenError);
  WriteFile(Dir + "/kaputt.vma", "kein Paket");
  try {
    FS.MountPackage(Dir + "/kaputt.vma", "Game:\\");
    FAIL();
  } catch (const EGXPackageError& e) {
    EXPECT_STREQ(e.what(), "Wrong package signature.");
  }
  EXPECT_TRUE(FS.Packages().empty());
}

TEST(GXRootOption, ParsesAndAppliesOverrides) {
  std::vector<std::string> args = {"pack",   "--root", "Game=/opt/v/Data", "x", "--root=User=rel/dir",
                                   "--root", "Temp="};
  auto options = TakeRootOptions(args);
  EXPECT_EQ(args, (std::vector<std::string>{"pack", "x"}));
  ASSERT_EQ(options.size(), 3u);
  EXPECT_EQ(options[0].Name, "Game");
  EXPECT_EQ(options[0].Folder, "/opt/v/Data");
  EXPECT_EQ(options[2].Folder, "");

  TGXFileSystem fs;
  ApplyRootOptions(fs, options);
  EXPECT_EQ(fs.GetRoot("Game"), "/opt/v/Data/");
  EXPECT_EQ(fs.GetRoot("User"), std::filesystem::current_path().string() + "/rel/dir/");
  EXPECT_EQ(fs.GetRoot("Temp"), "");

  // Root names are compared ignoring case and come back in the root's own spelling; a name no
  // program maps is a typo and refused.
  EXPECT_EQ(ParseRootOption("documents=/d").Name, "Documents");
  for (const char* bad : {"Game", "=/x", "C:=/x", "a\\b=/x", "Dokumente=/x", "Gamer=/x"})
    EXPECT_THROW(ParseRootOption(bad), EInvalidParameter) << bad;
  std::vector<std::string> dangling = {"--root"};
  EXPECT_THROW(TakeRootOptions(dangling), EInvalidParameter);
}
