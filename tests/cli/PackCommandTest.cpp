#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/PackCommand.h"
#include "engine/core/GXPackage.h"

namespace fs = std::filesystem;

namespace {

class PackCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (fs::temp_directory_path() / "velmora-pack-XXXXXX").string();
    Dir = mkdtemp(templ.data());
    Write("a.txt", "Hallo Welt");
    Write("tex/Gleis.dds", std::string(5000, 'g'));
  }
  void TearDown() override { fs::remove_all(Dir); }

  std::string P(const std::string& name) const { return Dir + "/" + name; }
  void Write(const std::string& name, const std::string& text) {
    fs::create_directories(fs::path(P(name)).parent_path());
    std::ofstream(P(name), std::ios::binary) << text;
  }
  std::string Read(const std::string& name) {
    std::ifstream in(P(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  int Run(std::vector<std::string> args) {
    Out.str(""), Err.str("");
    return cli::RunPackCommand(args, Out, Err);
  }

  std::string Dir;
  std::ostringstream Out, Err;
};

}  // namespace

TEST_F(PackCommandTest, CreateListExtractCheck) {
  ASSERT_EQ(Run({"create", P("p.vma"), P("a.txt") + "=Texte\\Gruss.txt", "--level", "0",
                 P("tex/Gleis.dds") + "=tex/Gleis.dds"}),
            0)
      << Err.str();
  EXPECT_EQ(Out.str(), "2 Dateien gepackt: " + P("p.vma") + "\n");

  ASSERT_EQ(Run({"list", P("p.vma"), "--json"}), 0);
  gx::TGXPackageReader r(P("p.vma"));
  std::string json = Out.str();
  // Directory order: "tex\\" sorts before "texte\\"; a.txt was added first (offset 16, 10 + 11 bytes).
  EXPECT_EQ(json.find("{\"name\":\"tex\\\\Gleis.dds\",\"offset\":37,\"size\":5000,\"compressedSize\":5011,"),
            1u)
      << json;
  EXPECT_NE(json.find("\"name\":\"Texte\\\\Gruss.txt\""), std::string::npos);
  EXPECT_NE(json.find("\"md5\":\"" + gx::GXDigestToHex(gx::GXMD5("Hallo Welt")) + "\""), std::string::npos);

  ASSERT_EQ(Run({"list", P("p.vma")}), 0);
  EXPECT_NE(Out.str().find(gx::GXDigestToHex(r.File(1).Digest) + "  Texte\\Gruss.txt\n"), std::string::npos)
      << Out.str();

  ASSERT_EQ(Run({"extract", P("p.vma"), "TEXTE/gruss.txt"}), 0);
  EXPECT_EQ(Out.str(), "Hallo Welt");
  ASSERT_EQ(Run({"extract", P("p.vma"), "tex\\gleis.dds", "-o", P("out.dds")}), 0);
  EXPECT_EQ(Read("out.dds"), std::string(5000, 'g'));

  EXPECT_EQ(Run({"check", P("p.vma")}), 0);
  EXPECT_EQ(Out.str(), "2 Einträge geprüft, 0 fehlerhaft.\n");
}

TEST_F(PackCommandTest, CheckNamesDamagedEntries) {
  ASSERT_EQ(Run({"create", P("p.vma"), "--level", "0", P("a.txt") + "=a.txt", P("tex/Gleis.dds") + "=b.dds"}),
            0);
  gx::TGXPackageReader r(P("p.vma"));
  int32_t pos = r.File(0).Offset + 9;  // inside the stored bytes of a.txt
  std::string bytes = Read("p.vma");
  bytes[pos] ^= 0x20;
  Write("p.vma", bytes);
  EXPECT_EQ(Run({"check", P("p.vma")}), 1);
  EXPECT_EQ(Out.str(), "FEHLER a.txt: Corrupt package entry: a.txt\n2 Einträge geprüft, 1 fehlerhaft.\n");
}

TEST_F(PackCommandTest, FailuresPrintTheMessageAndExitWithOneOrTwo) {
  // The work failed: exit status 1 and the message alone.
  Write("bad.vma", "this is not a package at all");
  EXPECT_EQ(Run({"list", P("bad.vma")}), 1);
  EXPECT_EQ(Err.str(), "Wrong package signature.\n");
  EXPECT_EQ(Run({"check", P("bad.vma")}), 1);

  ASSERT_EQ(Run({"create", P("p.vma"), P("a.txt") + "=x.txt"}), 0);
  EXPECT_EQ(Run({"extract", P("p.vma"), "y.txt"}), 1);
  EXPECT_EQ(Err.str(), "Datei y.txt kann nicht geöffnet werden\n");

  // Names equal ignoring case: both entries and their files are named, and neither a package
  // nor a temporary file is left behind.
  Write("b.txt", "b");
  EXPECT_EQ(Run({"create", P("dup.vma"), P("a.txt") + "=Ordner/x.txt", P("b.txt") + "=ordner\\.\\X.TXT"}), 1);
  EXPECT_EQ(Err.str(), "Die Einträge \"Ordner\\x.txt\" (aus " + P("a.txt") + ") und \"ordner\\X.TXT\" (aus " +
                           P("b.txt") + ") haben im Paket denselben Namen.\n");
  EXPECT_EQ(Run({"create", P("dup.vma"), P("missing.txt")}), 1);
  for (auto& e : fs::directory_iterator(Dir))
    EXPECT_EQ(e.path().filename().string().find("dup"), std::string::npos);

  // Wrong use: exit status 2, the message and the usage text.
  EXPECT_EQ(Run({"create", P("q.vma"), "--level", "13", P("a.txt")}), 2);
  EXPECT_EQ(Err.str().rfind("Ungültige Stufe: 13\nAufruf: velmora-cli pack create", 0), 0u) << Err.str();
  EXPECT_EQ(Run({"extract", P("p.vma"), "--all"}), 2);
  EXPECT_EQ(Err.str().rfind("--all braucht -o ORDNER.\nAufruf: velmora-cli pack extract", 0), 0u)
      << Err.str();
  EXPECT_EQ(Run({"extract", P("p.vma"), "x.txt", "--all", "-o", P("d")}), 2);
  EXPECT_EQ(Run({"frobnicate"}), 2);
  EXPECT_EQ(Run({}), 2);
}

TEST_F(PackCommandTest, HelpPrintsUsageAndSucceeds) {
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{{"--help"},
                                                                             {"-h"},
                                                                             {"create", "--help"},
                                                                             {"list", "x.vma", "--help"},
                                                                             {"extract", "-h"},
                                                                             {"check", "--help"}}) {
    EXPECT_EQ(Run(args), 0) << args[0];
    EXPECT_EQ(Out.str().rfind("Aufruf: velmora-cli pack ", 0), 0u) << args[0];
    EXPECT_EQ(Err.str(), "");
  }
  Run({"extract", "--help"});
  EXPECT_NE(Out.str().find("--all -o ORDNER"), std::string::npos);
}

TEST_F(PackCommandTest, ExtractAllWritesEveryEntryBelowTheFolder) {
  std::string noise(300000, '\0');  // not a run: damage to a run can inflate to the same bytes
  uint32_t x = 1;
  for (char& c : noise) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  Write("c.bin", noise);
  ASSERT_EQ(Run({"create", P("p.vma"), P("a.txt") + "=a.txt", P("tex/Gleis.dds") + "=Tex\\Gleis.dds",
                 P("c.bin") + "=Tex\\Tief\\c.bin"}),
            0);
  ASSERT_EQ(Run({"extract", P("p.vma"), "--all", "-o", P("out/neu")}), 0) << Err.str();
  EXPECT_EQ(Out.str(), "3 Dateien entpackt: " + P("out/neu") + "\n");
  EXPECT_EQ(Read("out/neu/a.txt"), "Hallo Welt");
  EXPECT_EQ(Read("out/neu/Tex/Gleis.dds"), std::string(5000, 'g'));
  EXPECT_EQ(Read("out/neu/Tex/Tief/c.bin"), noise);

  // Again into the same folder: files are replaced, never written through a link.
  fs::remove(P("out/neu/a.txt"));
  fs::create_symlink(P("a.txt"), P("out/neu/a.txt"));
  EXPECT_EQ(Run({"extract", P("p.vma"), "--all", "-o", P("out/neu")}), 1);
  EXPECT_EQ(Read("a.txt"), "Hallo Welt");
  fs::remove(P("out/neu/a.txt"));
  fs::remove_all(P("out/neu/Tex"));
  fs::create_directory_symlink(Dir, P("out/neu/Tex"));
  EXPECT_EQ(Run({"extract", P("p.vma"), "--all", "-o", P("out/neu")}), 1);
  EXPECT_EQ(Err.str(), "Ordner kann nicht angelegt werden: " + P("out/neu/Tex") + "\n");
  EXPECT_FALSE(fs::exists(P("Gleis.dds")));

  // A damaged entry leaves no file of it behind.
  gx::TGXPackageReader r(P("p.vma"));
  std::string bytes = Read("p.vma");
  bytes[r.File(r.IndexOf("Tex\\Tief\\c.bin")).Offset + 40] ^= 0x11;
  Write("broken.vma", bytes);
  EXPECT_EQ(Run({"extract", P("broken.vma"), "--all", "-o", P("kaputt")}), 1);
  EXPECT_EQ(Err.str(), "Corrupt package entry: Tex\\Tief\\c.bin\n");
  EXPECT_FALSE(fs::exists(P("kaputt/Tex/Tief/c.bin")));
  EXPECT_EQ(Run({"extract", P("broken.vma"), "Tex/Tief/c.bin", "-o", P("c.out")}), 1);
  EXPECT_FALSE(fs::exists(P("c.out")));
}
