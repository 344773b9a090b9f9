// Importing parameter files into packages: a new package, re-importing the same file (entries
// replaced, not added), the track filter seeing the imported systems, base packages refused and
// a failed write leaving the package file as it was.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/RRDatabase.h"
#include "app/RRGlobal.h"
#include "app/RRTrackLibraryImport.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackParameters.h"
#include "engine/core/GXFileSystem.h"

namespace fs = std::filesystem;
using namespace rr;

namespace {

std::string DataFile(const char* name) {
  return std::string(VELMORA_SOURCE_DIR) + "/tests/app/data/tracklib/" + name;
}

std::string Bytes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TRRAssetNode* Child(TRRAssetNode& node, const std::string& name) {
  for (int i = 0; i < node.ChildCount(); ++i)
    if (node.Child(i)->Name().GetText() == name) return node.Child(i);
  return nullptr;
}

struct TrackLibraryImport : ::testing::Test {
  std::string Dir;
  gx::TGXFileSystem FileSystem;
  void SetUp() override {
    Dir = (fs::temp_directory_path() / "velmora-trackimport-XXXXXX").string();
    ASSERT_NE(mkdtemp(Dir.data()), nullptr);
  }
  void TearDown() override { fs::remove_all(Dir); }
  std::vector<TRRAssetPath> Paths() const { return {{Dir + "/", false}}; }
};

}  // namespace

TEST_F(TrackLibraryImport, ANewPackageHoldsTheSystemsAndReimportingReplacesItsEntries) {
  const std::string package = Dir + "/Gleisbibliothek.vma";
  {
    TRRDatabase db(FileSystem, {});
    TRRTrackImportResult result = RRConvertTrackLibraryFiles({DataFile("Nordmark Profilgleis H0.xtp")});
    ASSERT_EQ(result.Files.size(), 1u);
    EXPECT_EQ(result.Files[0].Imported(), 13);
    RRImportTrackPieces(db, result, package);
    EXPECT_TRUE(result.Created);
    EXPECT_EQ(result.Added, 13);
    EXPECT_EQ(result.Package, package);
    ASSERT_EQ(db.Count(), 1);
    EXPECT_EQ(db.Item(0)->Name().GetText(), "Gleisbibliothek");
  }
  // Read back from the file: the folders of our own systems, the entries found by their paths.
  TRRDatabase db(FileSystem, Paths());
  ASSERT_EQ(db.Count(), 1) << (db.Problems().empty() ? "" : db.Problems()[0].Reason);
  TRRAsset& asset = *db.Item(0);
  TRRAssetNode* h0 = Child(*Child(*Child(*Child(asset.Root(), "Gleise"), "Nordmark"), "H0"), "Profilgleis");
  ASSERT_NE(h0, nullptr);
  EXPECT_EQ(h0->Descriptions().Count(), 12);
  TRRAssetNode* tt = Child(*Child(*Child(*Child(asset.Root(), "Gleise"), "Nordmark"), "TT"), "Schmalspur");
  ASSERT_NE(tt, nullptr);
  EXPECT_EQ(tt->Descriptions().Count(), 1);
  const gx::TGXGuid straight =
      db.FindAssetIDByPath("Gleise\\Nordmark\\H0\\Profilgleis\\NM 1188 Gerade 188,3 mm");
  EXPECT_EQ(straight, h0->Descriptions().Item(0)->AssetID());
  const int32_t revision = asset.Revision();

  // The same file again (and the other library with it): the entries are replaced in place.
  TRRTrackImportResult again = RRConvertTrackLibraryFiles(
      {DataFile("Nordmark Profilgleis H0.xtp"), DataFile("Suedbahn Kleingleis N.xtp")});
  RRImportTrackPieces(db, again, package);
  EXPECT_FALSE(again.Created);
  EXPECT_EQ(again.Replaced, 13);
  EXPECT_EQ(again.Added, 3);
  ASSERT_EQ(db.Count(), 1);
  EXPECT_EQ(db.Item(0)->Revision(), revision + 1);
  EXPECT_EQ(db.FindAssetIDByPath("Gleise\\Nordmark\\H0\\Profilgleis\\NM 1188 Gerade 188,3 mm"), straight);
  TRREntityDescriptionList tracks(false);
  db.CollectCatalogByClass(TRRTrackDesc::StaticClass(), tracks);
  EXPECT_EQ(tracks.Count(), 16);

  // The track filter offers the imported manufacturers, their gauges and systems.
  TRRTrackParameters filter(
      [&](TRREntityDescriptionList& list) { db.CollectCatalogByClass(TRRTrackDesc::StaticClass(), list); });
  std::vector<std::string> manufacturers, gauges, systems;
  std::string name;
  for (int i = 0; filter.GetManufacturerOption(i, name); ++i) manufacturers.push_back(name);
  EXPECT_EQ(manufacturers, (std::vector<std::string>{"Nordmark", "Südbahn"}));
  filter.AddManufacturer("Nordmark", true);
  for (int i = 0; filter.GetTrackWidthOption(i, name); ++i) gauges.push_back(name);
  EXPECT_EQ(gauges, (std::vector<std::string>{"H0", "TT"}));
  filter.AddTrackWidth("H0", true);
  for (int i = 0; filter.GetTrackSystemOption(i, name); ++i) systems.push_back(name);
  EXPECT_EQ(systems, std::vector<std::string>{"Profilgleis"});
  int passing = 0;
  for (TRREntityDescription* d : tracks) passing += filter.Passes(*static_cast<TRRTrackDesc*>(d)) ? 1 : 0;
  EXPECT_EQ(passing, 12);
}

TEST_F(TrackLibraryImport, BasePackagesAndUnreadablePackagesAreRefusedAndLeftAlone) {
  const std::string base = Dir + "/Basis.vma";
  {
    TRRDatabase db(FileSystem, {});
    TRRAsset a(&db);
    a.SetIdentifier(gx::TGXGuid::Parse(RRBasePackage1));
    a.WritePackage(base, false);
  }
  const std::string before = Bytes(base);
  TRRDatabase db(FileSystem, Paths());
  TRRTrackImportResult result = RRConvertTrackLibraryFiles({DataFile("Suedbahn Kleingleis N.xtp")});
  try {
    RRImportTrackPieces(db, result, base);
    ADD_FAILURE() << "a base package took the pieces";
  } catch (const EAssetError& e) {
    EXPECT_STREQ(e.what(), RRTextReadOnlyPackage);
  }
  EXPECT_EQ(Bytes(base), before);

  const std::string broken = Dir + "/kaputt.vma";
  std::ofstream(broken) << "kein Paket";
  try {
    RRImportTrackPieces(db, result, broken);
    ADD_FAILURE() << "an unreadable package took the pieces";
  } catch (const EAssetError& e) {
    EXPECT_NE(std::string(e.what()).find("kann nicht gelesen werden"), std::string::npos) << e.what();
  }
  EXPECT_EQ(Bytes(broken), "kein Paket");
}

TEST_F(TrackLibraryImport, AFailedWriteLeavesThePackageFileAsItWas) {
  const std::string package = Dir + "/Gleise.vma";
  {
    TRRDatabase db(FileSystem, {});
    TRRTrackImportResult first = RRConvertTrackLibraryFiles({DataFile("Suedbahn Kleingleis N.xtp")});
    RRImportTrackPieces(db, first, package);
  }
  const std::string before = Bytes(package);
  TRRDatabase db(FileSystem, Paths());
  ASSERT_EQ(db.Count(), 1);
  // A change waiting in the same package whose texture file is gone: the whole write fails.
  auto pending = std::make_unique<TRRTrackDesc>(TRRTrackType::Straight);
  pending->Texture() = TRRAssetFileName(Dir + "/fehlt/Textur.dds", "");
  db.Item(0)->Root().AddDescription(std::move(pending));
  TRRTrackImportResult result = RRConvertTrackLibraryFiles({DataFile("Nordmark Profilgleis H0.xtp")});
  EXPECT_THROW(RRImportTrackPieces(db, result, package), EAssetError);
  EXPECT_EQ(Bytes(package), before);
  // A new package that cannot be written leaves no file.
  const std::string blocked = Dir + "/Datei/Neu.vma";
  std::ofstream(Dir + "/Datei") << "eine Datei, kein Ordner";
  EXPECT_THROW(RRImportTrackPieces(db, result, blocked), EAssetError);
  EXPECT_FALSE(fs::exists(blocked));
}
