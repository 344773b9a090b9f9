// The package download end to end: the program's start-up, a missing packaged file, the package
// server on 127.0.0.1 (a free port) and, for hostile answers, a server of the test's own.

#include "cli/PackageServerCommand.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/RRAssetDownloader.h"
#include "app/RRAssetFileLoader.h"
#include "app/RRDatabase.h"
#include "app/RRGlobal.h"

namespace fs = std::filesystem;
using namespace rr;

namespace {

const gx::TGXGuid kX = gx::TGXGuid::Parse("{0A000000-1111-2222-3333-444444444444}");
const gx::TGXGuid kY = gx::TGXGuid::Parse("{0B000000-1111-2222-3333-444444444444}");
const gx::TGXGuid kZ = gx::TGXGuid::Parse("{0C000000-1111-2222-3333-444444444444}");
const gx::TGXGuid kAbsent = gx::TGXGuid::Parse("{0D000000-1111-2222-3333-444444444444}");
const gx::TGXGuid kRefused = gx::TGXGuid::Parse("{0E000000-1111-2222-3333-444444444444}");

void WriteText(const std::string& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary);
  out << text;
}

std::string ReadText(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A package carrying the additional file "Readme.txt".
void MakePackage(const std::string& file, const gx::TGXGuid& id, const std::string& readme) {
  gx::TGXFileSystem fileSystem;
  TRRDatabase db(fileSystem, {});
  TRRAsset a(&db);
  a.SetIdentifier(id);
  a.Name().SetUserText("Paket");
  WriteText(file + ".readme", readme);
  a.AdditionalFiles().push_back({file + ".readme", "Readme.txt"});
  a.WritePackage(file, false);
  fs::remove(file + ".readme");
}

void MakeZip(const std::string& file, const std::vector<std::pair<std::string, std::string>>& entries) {
  int error = 0;
  zip_t* z = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(z, nullptr);
  for (const auto& [name, source] : entries) {
    zip_source_t* s = zip_source_file(z, source.c_str(), 0, -1);
    ASSERT_NE(s, nullptr);
    ASSERT_GE(zip_file_add(z, name.c_str(), s, ZIP_FL_ENC_UTF_8), 0);
  }
  ASSERT_EQ(zip_close(z), 0);
}

class TDownloadFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    FDir = (fs::temp_directory_path() / "velmora-download-XXXXXX").string();
    ASSERT_NE(mkdtemp(FDir.data()), nullptr);
    for (const char* root : {"Game", "User", "CommonUser", "Documents", "CommonDocuments", "Temp", "tmp", "serve"})
      fs::create_directories(FDir + "/" + root);
    // Downloads land in the test's own temporary folder, so leftovers can be counted.
    const char* old = getenv("TMPDIR");
    FOldTmp = old ? old : "";
    setenv("TMPDIR", (FDir + "/tmp").c_str(), 1);
    FOptions.UI = &FUI;
    for (const char* root : {"Game", "User", "CommonUser", "Documents", "CommonDocuments", "Temp"})
      FOptions.Roots.push_back({root, FDir + "/" + root});
  }
  void TearDown() override {
    if (FOldTmp.empty()) unsetenv("TMPDIR");
    else setenv("TMPDIR", FOldTmp.c_str(), 1);
    fs::remove_all(FDir);
  }

  // Opens a packaged file the way entities do, with the program's package request.
  static std::string Load(const gx::TGXGuid& id, const std::string& file) {
    TRRAssetFileLoader loader(Global()->FileSystem(), TRRAssetFileName("", id.ToString() + "\\" + file),
                              [](const std::string& path) { return Global()->RequestPackage(path); });
    std::unique_ptr<gx::TGXMemoryStream> s = loader.CreateStream();
    return std::string(reinterpret_cast<const char*>(s->Memory()), s->Data().size());
  }
  static bool Missing(const gx::TGXGuid& id, const std::string& file) {
    try {
      Load(id, file);
      return false;
    } catch (const EAssetFileException&) {
      return true;
    }
  }
  size_t Questions() const {
    size_t n = 0;
    for (const auto& s : FUI.Shown()) n += s.Kind == TRRScriptedUIService::TKind::Question ? 1 : 0;
    return n;
  }
  size_t LeftInTmp() const {
    size_t n = 0;
    // (the program's instance lock lives there too)
    for (auto& e : fs::directory_iterator(FDir + "/tmp")) n += e.path().extension() != ".lock" ? 1 : 0;
    return n;
  }

  std::string FDir, FOldTmp;
  TRRScriptedUIService FUI;
  TRRStartOptions FOptions;
};

TEST_F(TDownloadFixture, MissingPackagesComeFromThePackageServerOncePerLoad) {
  MakePackage(FDir + "/serve/Bahnhof.vma", kX, "Hallo");
  MakePackage(FDir + "/y.vma", kY, "Ypsilon");
  MakePackage(FDir + "/z.vma", kZ, "Zett");
  MakeZip(FDir + "/serve/Zwei Pakete.zip", {{"Pakete/y.vma", FDir + "/y.vma"}, {"z.VMA", FDir + "/z.vma"}});

  cli::TPackageServer server(FDir + "/serve");
  ASSERT_EQ(server.Offers().size(), 3u);
  int port = server.Bind("127.0.0.1", 0);
  ASSERT_GT(port, 0);
  std::thread serving([&] { server.Run(); });

  {
    TRRGlobal global(FOptions);
    // Without a server: one clear message per load, no question.
    EXPECT_TRUE(Missing(kX, "Readme.txt"));
    EXPECT_TRUE(Missing(kY, "Readme.txt"));
    ASSERT_EQ(FUI.Texts().size(), 1u);
    EXPECT_EQ(FUI.Texts()[0], RRTextNoPackageServer);
    EXPECT_EQ(server.InfoRequests(), 0);

    global.SetPackageServer("http://127.0.0.1:" + std::to_string(port));
    global.ResetDownloadState();
    FUI.ClearShown();
    FUI.QueueAnswer(TRRAnswer::Yes);
    EXPECT_EQ(Load(kX, "Readme.txt"), "Hallo");
    EXPECT_EQ(Questions(), 1u);
    EXPECT_EQ(FUI.Shown()[0].Text, RRTextPackageDownloadQuestion);
    EXPECT_EQ(FUI.Shown()[0].Caption, RRCaptionPackageDownload);
    EXPECT_EQ(server.InfoRequests(), 1);
    ASSERT_NE(global.Database().FindAsset(kX), nullptr);
    EXPECT_TRUE(global.Database().FindAsset(kX)->Temporary());
    bool showedBytes = false;
    for (const auto& t : FUI.ProgressTexts()) showedBytes = showedBytes || t.rfind("Lade Datenbankpaket... (", 0) == 0;
    EXPECT_TRUE(showedBytes);

    // A file missing from an installed package never asks the server.
    EXPECT_TRUE(Missing(kX, "Fehlt.txt"));
    // A package the server does not have: one request, then no more for this load.
    EXPECT_TRUE(Missing(kAbsent, "a.dds"));
    EXPECT_TRUE(Missing(kAbsent, "b.dds"));
    EXPECT_EQ(server.InfoRequests(), 2);
    // The zip holds two packages: both come in with one request.
    EXPECT_EQ(Load(kY, "Readme.txt"), "Ypsilon");
    EXPECT_EQ(Load(kZ, "Readme.txt"), "Zett");
    EXPECT_EQ(server.InfoRequests(), 3);
    EXPECT_EQ(Questions(), 1u);

    // The next load asks again; "Nein" stops every request of that load.
    global.ResetDownloadState();
    FUI.QueueAnswer(TRRAnswer::No);
    EXPECT_TRUE(Missing(kRefused, "a.dds"));
    EXPECT_TRUE(Missing(kAbsent, "c.dds"));
    EXPECT_EQ(Questions(), 2u);
    EXPECT_EQ(server.InfoRequests(), 3);
    EXPECT_EQ(FUI.PendingAnswers(), 0u);
    EXPECT_TRUE(global.Database().HasTemporary());
  }
  server.Stop();
  serving.join();
  // Downloaded packages that were not stored go with the program.
  EXPECT_EQ(LeftInTmp(), 0u);
}

TEST_F(TDownloadFixture, AnswersThatDoNotFitAreRefusedAndLeaveNothingBehind) {
  MakePackage(FDir + "/other.vma", kX, "Hallo");
  const std::string other = ReadText(FDir + "/other.vma");
  const std::string zipped = FDir + "/serve/bad.zip";
  WriteText(FDir + "/readme.vma", "kein Paket");
  MakeZip(zipped, {{"../x.vma", FDir + "/other.vma"}, {"C:\\x.vma", FDir + "/other.vma"}, {"a.vma", FDir + "/readme.vma"}});
  const std::string badZip = ReadText(zipped);

  // Every identifier gets an answer, but none of them fits: another package, an oversized
  // answer, an oversized file, a zip with only unsafe or broken entries, a file that is neither.
  httplib::Server fake;
  fake.Post(RRPackageInfoPath, [&](const httplib::Request& req, httplib::Response& res) {
    std::string id = req.get_param_value("ID");
    std::string file = id == "0B000000-1111-2222-3333-444444444444"   ? "other"
                       : id == "0A000000-1111-2222-3333-444444444444" ? "big"
                       : id == "0C000000-1111-2222-3333-444444444444" ? "zip"
                                                                      : "text";
    if (id == "0D000000-1111-2222-3333-444444444444") {
      res.set_content(std::string(5000, ' ') + "<a/>", "text/xml");
      return;
    }
    res.set_content("<assets>\n  Text\n  <!-- x --><asset revision=\"1\" url=\"/f/" + file + "\"/></assets>", "text/xml");
  });
  fake.Get(R"(/f/(\w+))", [&](const httplib::Request& req, httplib::Response& res) {
    std::string f = req.matches[1];
    res.set_content(f == "other" ? other : f == "big" ? std::string(20000, 'x') : f == "zip" ? badZip : "Hallo",
                    "application/octet-stream");
  });
  int port = fake.bind_to_any_port("127.0.0.1");
  ASSERT_GT(port, 0);
  std::thread serving([&] { fake.listen_after_bind(); });

  {
    TRRGlobal global(FOptions);
    global.SetPackageServer("http://127.0.0.1:" + std::to_string(port) + "/");
    global.PackageRequests().Limits().MaxAnswerSize = 4096;
    global.PackageRequests().Limits().MaxPackageSize = 10000;
    FUI.QueueAnswer(TRRAnswer::Yes);
    int changes = 0;
    global.Database().SetChangeHandler([&] { ++changes; });
    // Asked for Y, delivered X: added, found to be the wrong one, taken out again.
    EXPECT_FALSE(global.RequestPackage(kY.ToString() + "\\a"));
    EXPECT_EQ(changes, 2);
    EXPECT_FALSE(global.RequestPackage(kAbsent.ToString() + "\\a"));
    EXPECT_FALSE(global.RequestPackage(kZ.ToString() + "\\a"));
    EXPECT_FALSE(global.RequestPackage(kRefused.ToString() + "\\a"));
    EXPECT_EQ(global.Database().Count(), 0);
    EXPECT_FALSE(global.Database().HasTemporary());
    EXPECT_EQ(LeftInTmp(), 0u);
    // Asked for X, answered with a file of 20000 bytes.
    EXPECT_FALSE(global.RequestPackage(kX.ToString() + "\\a"));
    EXPECT_EQ(LeftInTmp(), 0u);
    EXPECT_EQ(Questions(), 1u);
  }
  fake.stop();
  serving.join();
}

// ---- what the server serves ---------------------------------------------------------------------

cli::THttpRequest Request(const std::string& method, const std::string& path, const std::string& range = {},
                          const std::string& body = {}) {
  cli::THttpRequest r;
  r.Method = method;
  r.Path = path;
  r.Body = body;
  r.Headers = {{"Host", "evil.example"}};
  if (!range.empty()) r.Headers.push_back({"Range", range});
  return r;
}

std::string HeaderOf(const cli::THttpResponse& r, const std::string& name) {
  for (const auto& [n, v] : r.Headers)
    if (n == name) return v;
  return {};
}

// The status of a request; a file answer's descriptor is closed.
int StatusOf(cli::TPackageServer& server, const cli::THttpRequest& request) {
  cli::THttpResponse r = server.Handle(request);
  if (r.File >= 0) close(r.File);
  return r.Status;
}

TEST_F(TDownloadFixture, OnlyTheFilesFoundAtStartAreServedAndOnlyWhileTheyAreThoseFiles) {
  const std::string serve = FDir + "/serve", file = serve + "/a.vma";
  MakePackage(file, kX, "Hallo");
  MakePackage(FDir + "/y.vma", kY, "Ypsilon");
  fs::create_symlink(FDir + "/y.vma", serve + "/link.vma");
  const int64_t size = static_cast<int64_t>(fs::file_size(file));
  cli::TPackageServer server(serve);
  ASSERT_EQ(server.Offers().size(), 1u);
  ASSERT_FALSE(server.Problems().empty());
  EXPECT_NE(server.Problems().back().find("link.vma"), std::string::npos);

  struct TCase {
    const char* Method;
    std::string Path, Range;
    int Status;
    std::string ContentRange;
    int64_t Offset, Length;
  } cases[] = {
      {"GET", "/packages/a.vma", "", 200, "", 0, size},
      {"HEAD", "/packages/a.vma", "", 200, "", 0, size},
      {"GET", "/packages/a.vma", "bytes=10-19", 206, "bytes 10-19/" + std::to_string(size), 10, 10},
      {"GET", "/packages/a.vma", "bytes=-5", 206,
       "bytes " + std::to_string(size - 5) + "-" + std::to_string(size - 1) + "/" + std::to_string(size),
       size - 5, 5},
      {"GET", "/packages/a.vma", "bytes=" + std::to_string(size) + "-", 416,
       "bytes */" + std::to_string(size), 0, 0},
      {"POST", "/packages/a.vma", "", 405, "", 0, 0},
      {"GET", "/packages/link.vma", "", 404, "", 0, 0},
      {"GET", "/packages/../serve/a.vma", "", 404, "", 0, 0},
      {"GET", "/packages/", "", 404, "", 0, 0},
      {"GET", "/a.vma", "", 404, "", 0, 0},
      {"GET", rr::RRPackageInfoPath, "", 405, "", 0, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Method) + " " + c.Path + " " + c.Range);
    cli::THttpResponse r = server.Handle(Request(c.Method, c.Path, c.Range));
    EXPECT_EQ(r.Status, c.Status);
    EXPECT_EQ(HeaderOf(r, "Content-Range"), c.ContentRange);
    EXPECT_EQ(r.File >= 0, c.Status == 200 || c.Status == 206);
    if (r.File < 0) continue;
    EXPECT_EQ(r.FileOffset, c.Offset);
    EXPECT_EQ(r.FileLength, c.Length);
    close(r.File);
  }

  // The name swapped for a link to a secret, for a copy, for a pipe: none of them is served.
  // The very file put back is served again.
  fs::rename(file, FDir + "/a.orig");
  WriteText(FDir + "/secret", "GEHEIM");
  fs::create_symlink(FDir + "/secret", file);
  EXPECT_EQ(StatusOf(server, Request("GET", "/packages/a.vma")), 404);
  fs::remove(file);
  fs::copy_file(FDir + "/a.orig", file);
  EXPECT_EQ(StatusOf(server, Request("GET", "/packages/a.vma")), 404);
  fs::remove(file);
  ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
  EXPECT_EQ(StatusOf(server, Request("GET", "/packages/a.vma")), 404);
  fs::remove(file);
  fs::rename(FDir + "/a.orig", file);
  EXPECT_EQ(StatusOf(server, Request("GET", "/packages/a.vma")), 200);

  EXPECT_FALSE(cli::TPackageServer(FDir + "/nicht-da").FolderFound());
}

TEST_F(TDownloadFixture, DownloadAddressesComeFromThePublicUrlOrAreRelativeNeverFromTheHost) {
  MakePackage(FDir + "/serve/a b.vma", kX, "Hallo");
  const std::string body = "ID=0A000000-1111-2222-3333-444444444444";
  cli::TPackageServer relative(FDir + "/serve");
  cli::THttpResponse r = relative.Handle(Request("POST", rr::RRPackageInfoPath, "", body));
  EXPECT_EQ(r.Status, 200);
  EXPECT_NE(r.Body.find("url=\"/packages/a%20b.vma\""), std::string::npos) << r.Body;
  EXPECT_EQ(r.Body.find("evil"), std::string::npos);
  cli::TPackageServer configured(FDir + "/serve", "https://pakete.example/verein/");
  r = configured.Handle(Request("POST", rr::RRPackageInfoPath, "", body));
  EXPECT_NE(r.Body.find("url=\"https://pakete.example/verein/packages/a%20b.vma\""), std::string::npos)
      << r.Body;
  EXPECT_EQ(configured.InfoRequests(), 1);
  // The downloader joins a relative address with the server it asked.
  EXPECT_EQ(
      RRParsePackageInfo(relative.InfoAnswer("0A000000-1111-2222-3333-444444444444", ""), 0, "http://h:1/"),
      "http://h:1/packages/a%20b.vma");
}

TEST(FormValue, DecodesTheNamedFieldAndNothingElse) {
  struct TCase {
    const char* Form;
    const char* Value;
  } cases[] = {{"ID=ABC", "ABC"},   {"x=1&ID=a+b%21&ID=2", "a b!"},
               {"ID=%zz", ""},      {"ID=%00", ""},
               {"IDX=1&xID=2", ""}, {"", ""},
               {"ID", ""},          {"&&ID=&", ""}};
  for (const TCase& c : cases) EXPECT_EQ(cli::FormValue(c.Form, "ID"), c.Value) << c.Form;
}

// A zip entry written from memory (libzip compresses it).
void AddToZip(zip_t* z, const std::string& name, const std::string& bytes) {
  void* copy = malloc(bytes.size());
  memcpy(copy, bytes.data(), bytes.size());
  zip_source_t* s = zip_source_buffer(z, copy, bytes.size(), 1);
  ASSERT_NE(s, nullptr);
  ASSERT_GE(zip_file_add(z, name.c_str(), s, ZIP_FL_ENC_UTF_8), 0);
}

TEST_F(TDownloadFixture, ZipEntriesInflateOnlyWithinTheirCapPerEntryAndPerArchive) {
  MakePackage(FDir + "/ok.vma", kX, "Hallo");
  const std::string package = ReadText(FDir + "/ok.vma"), zeros(900 << 10, '\0');
  rr::TRRDownloadLimits limits;
  limits.MaxInflateRatio = 50;
  limits.MinRatioCheckedSize = 1 << 20;
  struct TCase {
    std::vector<std::pair<std::string, std::string>> Entries;
    size_t Files;
    std::vector<std::string> Skipped;
  } cases[] = {
      // 16 MiB in some 16 KB: beyond 50 times its stored size.
      {{{"ok.vma", package}, {"bomb.vma", std::string(16 << 20, '\0')}}, 1, {"bomb.vma: entpackt zu groß"}},
      // Each entry under the 1 MiB that always passes, but not all of them together.
      {{{"b1.vma", zeros}, {"b2.vma", zeros}, {"b3.vma", zeros}},
       1,
       {"b2.vma: entpackt zu groß", "b3.vma: entpackt zu groß"}},
  };
  for (const TCase& c : cases) {
    const std::string zipped = FDir + "/bombs.zip", out = FDir + "/out";
    int error = 0;
    zip_t* z = zip_open(zipped.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(z, nullptr);
    for (const auto& [name, bytes] : c.Entries) AddToZip(z, name, bytes);
    ASSERT_EQ(zip_close(z), 0);
    fs::remove_all(out);
    fs::create_directories(out);
    std::vector<std::string> skipped;
    EXPECT_EQ(RRExtractZipPackages(zipped, out, limits, &skipped).size(), c.Files);
    EXPECT_EQ(skipped, c.Skipped);
    size_t left = 0;
    for (auto& e : fs::directory_iterator(out)) left += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(left, c.Files);
    // Without the ratio (the downloader's default) the same archive is taken whole.
    fs::remove_all(out);
    fs::create_directories(out);
    EXPECT_EQ(RRExtractZipPackages(zipped, out).size(), c.Entries.size());
  }
}

}  // namespace
