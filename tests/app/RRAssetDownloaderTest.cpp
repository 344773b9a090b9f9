// The pieces of the package download that need no server: the request body, the size texts,
// reading the information answer and taking packages out of zip archives.

#include "app/RRAssetDownloader.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <zip.h>

#include <clocale>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace rr;

namespace {

TEST(AssetDownloader, RequestBodyAndSizeTexts) {
  EXPECT_EQ(RRFormEncode("0A000000-1111-abcd"), "0A000000-1111-abcd");
  EXPECT_EQ(RRFormEncode("a b&{}ä"), "a+b%26%7b%7d%c3%a4");
  EXPECT_EQ(RRFormatDownloadSize(0), "0 KB");
  EXPECT_EQ(RRFormatDownloadSize(1048575), "1023 KB");
  EXPECT_EQ(RRFormatDownloadSize(1048576), "1.00 MB");
  EXPECT_EQ(RRFormatDownloadSize(5 * 1048576 + 1048576 / 4), "5.25 MB");
  // The separator follows the number format in use.
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
    EXPECT_EQ(RRFormatDownloadSize(1048576), "1,00 MB");
    std::setlocale(LC_NUMERIC, "C");
  }
}

TEST(AssetDownloader, InformationAnswers) {
  const std::string server = "http://host:81/";
  // The first element counts, whatever text, whitespace or comments come before it.
  EXPECT_EQ(RRParsePackageInfo("<a>\n  <p revision=\"3\" url=\"http://x/p.vma\"/><q revision=\"9\" url=\"u\"/></a>", 0, server),
            "http://x/p.vma");
  EXPECT_EQ(RRParsePackageInfo("<a>Text<!-- c --><p revision=\"1\" url=\" /d/p.zip \"/></a>", 1, server),
            "http://host:81/d/p.zip");
  // Below the minimum revision, without url, without or with a broken revision, no element, no XML.
  EXPECT_EQ(RRParsePackageInfo("<a><p revision=\"1\" url=\"u\"/></a>", 2, server), std::nullopt);
  EXPECT_EQ(RRParsePackageInfo("<a><p revision=\"1\"/></a>", 0, server), std::nullopt);
  EXPECT_EQ(RRParsePackageInfo("<a><p url=\"u\"/></a>", 0, server), std::nullopt);
  EXPECT_EQ(RRParsePackageInfo("<a><p revision=\"1x\" url=\"u\"/></a>", 0, server), std::nullopt);
  EXPECT_EQ(RRParsePackageInfo("<a>  </a>", 0, server), std::nullopt);
  EXPECT_EQ(RRParsePackageInfo("<a><p", 0, server), std::nullopt);
  EXPECT_EQ(RRParsePackageInfo("", 0, server), std::nullopt);
}

TEST(AssetDownloader, ZipEntriesStayInsideTheirFolder) {
  for (const char* good : {"a.vma", "Pakete/a.vma", "x/./y.vma", "a..b.vma"}) EXPECT_TRUE(RRIsSafeArchiveEntryName(good)) << good;
  for (const char* bad : {"", "../a.vma", "x/../../a.vma", "x\\..\\a.vma", "/etc/a.vma", "\\a.vma", "C:a.vma",
                          "C:\\a.vma", "a.vma:stream", "..", "a\x01.vma"})
    EXPECT_FALSE(RRIsSafeArchiveEntryName(bad)) << bad;

  std::string dir = (fs::temp_directory_path() / "velmora-zip-XXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  fs::create_directories(dir + "/out");
  auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(dir + "/" + name, std::ios::binary) << text;
  };
  write("small", "klein");
  write("large", std::string(5000, 'x'));
  int error = 0;
  zip_t* z = zip_open((dir + "/p.zip").c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(z, nullptr);
  auto add = [&](const char* name, const char* source) {
    zip_source_t* s = zip_source_file(z, (dir + "/" + source).c_str(), 0, -1);
    ASSERT_GE(zip_file_add(z, name, s, 0), 0);
  };
  add("eins.vma", "small");
  add("../zwei.vma", "small");
  add("sub\\..\\..\\drei.vma", "small");
  add("liesmich.txt", "small");
  add("gross.vma", "large");
  add("Ordner/vier.VMA", "small");
  ASSERT_GE(zip_dir_add(z, "leer.vma/", 0), 0);
  ASSERT_EQ(zip_close(z), 0);

  TRRDownloadLimits limits;
  limits.MaxPackageSize = 1000;
  std::vector<std::string> files = RRExtractZipPackages(dir + "/p.zip", dir + "/out", limits);
  ASSERT_EQ(files.size(), 2u);
  for (const std::string& f : files) {
    EXPECT_EQ(fs::path(f).parent_path(), fs::path(dir + "/out"));
    EXPECT_EQ(fs::file_size(f), 5u);
  }
  size_t inOut = 0;
  for (auto& e : fs::recursive_directory_iterator(dir + "/out")) inOut += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(inOut, 2u) << "nothing else was written, also not the oversized entry";
  EXPECT_FALSE(fs::exists(dir + "/zwei.vma"));
  EXPECT_TRUE(RRExtractZipPackages(dir + "/small", dir + "/out").empty());
  EXPECT_TRUE(RRExtractZipPackages(dir + "/fehlt.zip", dir + "/out").empty());
  fs::remove_all(dir);
}

}  // namespace
