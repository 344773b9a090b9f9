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

TEST_F(PackCommandTest, FailuresPrintTheMessageAndExitWithTwo) {
  Write("bad.vma", "this is not a package at all");
  EXPECT_EQ(Run({"list", P("bad.vma")}), 2);
  EXPECT_EQ(Err.str(), "Wrong package signature.\n");

  ASSERT_EQ(Run({"create", P("p.vma"), P("a.txt") + "=x.txt"}), 0);
  EXPECT_EQ(Run({"extract", P("p.vma"), "y.txt"}), 2);
  EXPECT_EQ(Err.str(), "Datei y.txt kann nicht geöffnet werden\n");

  // A duplicate name leaves neither a package nor a temporary file behind.
  EXPECT_EQ(Run({"create", P("dup.vma"), P("a.txt") + "=x.txt", P("a.txt") + "=X.TXT"}), 2);
  EXPECT_EQ(Err.str(), "File already exists.\n");
  EXPECT_EQ(Run({"create", P("dup.vma"), P("missing.txt")}), 2);
  for (auto& e : fs::directory_iterator(Dir))
    EXPECT_EQ(e.path().filename().string().find("dup"), std::string::npos);

  EXPECT_EQ(Run({"create", P("q.vma"), "--level", "13", P("a.txt")}), 2);
  EXPECT_EQ(Err.str().rfind("Ungültige Stufe: 13\n", 0), 0u);
  EXPECT_EQ(Run({"frobnicate"}), 2);
  EXPECT_EQ(Run({}), 2);
}
