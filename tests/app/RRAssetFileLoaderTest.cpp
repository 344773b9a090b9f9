// Asset files through the loader: packaged and disk files, the one package request per load,
// the exception that names the missing file, and the file-name list.

#include "app/RRAssetFileLoader.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "app/RRGlobal.h"

namespace fs = std::filesystem;
using namespace rr;

namespace {

std::string ReadText(gx::TGXMemoryStream& s) { return std::string(s.Data().begin(), s.Data().end()); }

TEST(AssetFileLoader, RequestsTheMissingPackageOnceAndNamesWhatStaysMissing) {
  char tmpl[] = "/tmp/rrloaderXXXXXX";
  std::string dir = mkdtemp(tmpl);
  gx::TGXFileSystem fileSystem;
  fileSystem.SetRoot("Game", dir);
  const std::string rel = std::string(RRBasePackage2) + "\\Box.gxmesh";

  std::vector<std::string> asked;
  // The "download" puts the file in place and says a package was added.
  TRRAssetFileLoader loader(fileSystem, TRRAssetFileName("", rel), [&](const std::string& path) {
    asked.push_back(path);
    fs::create_directories(dir + "/" + RRBasePackage2);
    std::ofstream(dir + "/" + RRBasePackage2 + "/Box.gxmesh") << "mesh";
    return true;
  });
  EXPECT_EQ(loader.GetName(), "Game:\\" + rel);
  auto s = loader.LoadData();
  EXPECT_EQ(ReadText(*s), "mesh");
  EXPECT_EQ(asked, std::vector<std::string>{rel});
  loader.LoadData();
  EXPECT_EQ(asked.size(), 1u) << "a file that is there needs no request";

  // A refused request and a disk file without relative path: no second try, the name is carried.
  int requests = 0;
  TRRAssetFileLoader refused(fileSystem, TRRAssetFileName("", "{00000000-0000-0000-0000-000000000001}\\x"),
                             [&](const std::string&) { return ++requests, false; });
  try {
    refused.CreateStream();
    ADD_FAILURE();
  } catch (const EAssetFileException& e) {
    EXPECT_STREQ(e.what(), "TRRAssetFileLoader.CreateStream");
    EXPECT_EQ(e.AssetFileName().RelativeName, "{00000000-0000-0000-0000-000000000001}\\x");
  }
  EXPECT_EQ(requests, 1);
  TRRAssetFileLoader disk(fileSystem, TRRAssetFileName(dir + "/fehlt.dds"), [&](const std::string&) { return ++requests, true; });
  EXPECT_THROW(disk.CreateStream(), EAssetFileException);
  EXPECT_EQ(requests, 1);
  fs::remove_all(dir);
}

TEST(AssetFileNameList, UniqueListsReturnTheExistingPosition) {
  std::unique_ptr<TRRAssetFileNameList> textures = RRCreateTrackTextureList();
  ASSERT_EQ(textures->Count(), 7);
  EXPECT_EQ(textures->Item(0).EffectiveFileName(), "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Textures\\DefaultTrack.dds");
  // Same effective name in other case: already there.
  EXPECT_EQ(textures->Add(TRRAssetFileName("anders", "{17a372d8-e05d-4119-ae3f-8d4f79d1d0d9}\\textures\\defaulttrack.DDS")), 0);
  EXPECT_EQ(textures->Add(TRRAssetFileName("Aaa", "{X}\\neu.dds")), 7);
  textures->Sort();
  EXPECT_EQ(textures->Item(0).FileName, "Aaa");
  EXPECT_EQ(textures->IndexOf("GAME:\\{X}\\NEU.DDS"), 0);
  EXPECT_EQ(textures->IndexOf("Game:\\{X}\\alt.dds"), -1);

  TRRAssetFileNameList plain(false);
  EXPECT_EQ(plain.Add(TRRAssetFileName("a")), 0);
  EXPECT_EQ(plain.Add(TRRAssetFileName("A")), 1);
}

}  // namespace

namespace {

TEST(AssetFileNames, UniqueAndTemporaryNames) {
  std::string temp = TempFileName();
  EXPECT_TRUE(fs::is_regular_file(temp));
  EXPECT_EQ(fs::file_size(temp), 0u);
  std::string other = TempFileName();
  EXPECT_NE(other, temp);
  fs::remove(other);
  std::string dir = temp + ".d";
  fs::create_directories(dir);
  EXPECT_EQ(UniqueFileName(dir + "/Paket.vma"), dir + "/Paket.vma");
  std::ofstream(dir + "/Paket.vma") << "1";
  std::ofstream(dir + "/Paket(2).vma") << "2";
  EXPECT_EQ(UniqueFileName(dir + "/Paket.vma"), dir + "/Paket(3).vma");
  fs::remove_all(dir);
  fs::remove(temp);
}

}  // namespace
