// The asset database over packages written into a temporary folder: the catalogue bytes, reading
// old versions, discovery order, lookups, writing with data files and the safety of WriteChanges.

#include "app/RRDatabase.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/entities/RREntityGroup.h"
#include "engine/core/GXPackage.h"
#include "engine/core/GXStrings.h"
#include "tests/app/entities/EntityTestSupport.h"

namespace rrtest {

// A catalogue entry that refers to one data file.
class TFileTestDesc : public rr::TRREntityDescription {
  RR_DESCRIPTION_CLASS()
 public:
  void LoadFromStream(gx::TGXStream& s) override {
    TRREntityDescription::LoadFromStream(s);
    File.ReadFromStream(s);
  }
  void SaveToStream(gx::TGXStream& s) const override {
    TRREntityDescription::SaveToStream(s);
    File.WriteToStream(s);
  }
  void GetPropertyAccess(rr::TRRPropertyAccessList& list) override {
    TRREntityDescription::GetPropertyAccess(list);
    list.Add<rr::TRRAssetFileNameAccess>(File);
  }
  rr::TRRAssetFileName File;
};
RR_DEFINE_DESCRIPTION_CLASS(TFileTestDesc, rr::TRREntityDescription)

// Its own entity class: the registry answers class lookups with the first kind of a class.
class TFileTestEntity : public rr::TRREntity {
  RR_ENTITY_CLASS()
 public:
  using TRREntity::TRREntity;
};
RR_DEFINE_ENTITY_CLASS(TFileTestEntity, rr::TRREntity)

}  // namespace rrtest

namespace {

namespace fs = std::filesystem;
using namespace rr;
using rrtest::TFileTestDesc;

constexpr const char* kFileTestKind = "{6A1C0F52-0C5B-4E57-9B2E-1D0B8E7A0DB1}";

void RegisterFileKind() {
  static bool done = [] {
    rr::RegisteredEntities().Register(gx::TGXGuid::Parse(kFileTestKind), rrtest::TFileTestEntity::StaticClass(),
                                      TFileTestDesc::StaticClass());
    return true;
  }();
  (void)done;
}

std::vector<uint8_t> ReadAll(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& file, const std::string& data) {
  std::ofstream out(file, std::ios::binary);
  out << data;
}

class DatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterFileKind();
    rrtest::RegisterTestKinds();
    char tmpl[] = "/tmp/rrdbtestXXXXXX";
    FDir = mkdtemp(tmpl);
    fs::create_directories(FDir + "/Game");
    FFs.SetRoot("Game", FDir + "/Game");
  }
  void TearDown() override { fs::remove_all(FDir); }

  // A package written through the database code: one folder "Gleise" with a group entry.
  std::string MakePackage(const std::string& file, const gx::TGXGuid& id, const std::string& path,
                          const std::string& name = "Paket") {
    TRRDatabase empty(FFs, {});
    TRRAsset a(&empty);
    a.SetIdentifier(id);
    a.Name().SetText(gx::GX_LANG_GERMAN, name);
    TRRAssetNode* folder = a.Root().AddChild();
    folder->Name().SetText(gx::GX_LANG_GERMAN, "Gleise");
    auto d = std::make_unique<TRREntityGroupDesc>();
    d->SetCataloguePath(path);
    folder->AddDescription(std::move(d));
    a.WritePackage(file, false);
    return file;
  }

  std::string FDir;
  gx::TGXFileSystem FFs;
};

}  // namespace

namespace {

const gx::TGXGuid kIdA = gx::TGXGuid::Parse("{11111111-2222-3333-4444-555555555555}");
const gx::TGXGuid kIdB = gx::TGXGuid::Parse("{AAAAAAAA-2222-3333-4444-555555555555}");

// Info.dat bytes with a version given by hand (no descriptions).
std::vector<uint8_t> HandInfo(const char* id, int32_t version, bool withRevision, int32_t revision = 0) {
  rrtest::TBytes b;
  b.Guid(id).Text(gx::GX_LANG_GERMAN, "Wurzel").I32(0).I32(1).Text(gx::GX_LANG_GERMAN, "Ordner").I32(0).I32(0);
  b.I32(version).Text(gx::GX_LANG_GERMAN, "Name").Text(gx::GX_LANG_GERMAN, "Autor").I32(0);
  if (withRevision) b.I32(revision);
  return b.Data;
}

void WriteRawPackage(const std::string& file, const std::vector<std::pair<std::string, std::vector<uint8_t>>>& entries) {
  gx::TGXPackageWriter w(file);
  for (const auto& [name, data] : entries) {
    gx::TGXMemoryStream s(data);
    w.AddFile(s, name, 3);
  }
  w.Finish();
}

std::vector<uint8_t> ExtractInfo(const std::string& file) {
  gx::TGXPackageReader r(file);
  return r.Extract(RRAssetInfoEntry)->Data();
}

TEST_F(DatabaseTest, NewPackageInfoHasTheCurrentLayoutAndRevisionTwo) {
  std::string file = FDir + "/Game/neu.vma";
  TRRDatabase db(FFs, {});
  TRRAsset a(&db);
  a.SetIdentifier(kIdA);
  a.Name().SetText(gx::GX_LANG_GERMAN, "N");
  a.WritePackage(file, true);
  EXPECT_EQ(a.Revision(), 2);
  EXPECT_EQ(a.FileName(), file);
  EXPECT_FALSE(a.Modified());

  rrtest::TBytes expected;
  expected.Guid("{11111111-2222-3333-4444-555555555555}").I32(0).I32(0).I32(0);  // empty root
  expected.I32(1201).Text(gx::GX_LANG_GERMAN, "N").I32(0).I32(0).I32(2);
  EXPECT_EQ(ExtractInfo(file), expected.Data);
}

TEST_F(DatabaseTest, OldVersionsAreReadAndRewrittenWithTheRevisionCountingUp) {
  std::string file = FDir + "/Game/alt.vma";
  WriteRawPackage(file, {{"Info.dat", HandInfo("{11111111-2222-3333-4444-555555555555}", 1200, false)}});
  {
    TRRDatabase db(FFs, {});
    ASSERT_EQ(db.Count(), 1);
    TRRAsset* a = db.Item(0);
    EXPECT_EQ(a->Revision(), 1);
    EXPECT_EQ(a->Root().ChildCount(), 1);
    EXPECT_EQ(a->Author().GetText(), "Autor");
    a->MarkModified();
    EXPECT_TRUE(db.IsModified());
    EXPECT_TRUE(db.WriteChanges(nullptr));
    EXPECT_FALSE(db.IsModified());
    ASSERT_EQ(db.Count(), 1);
    EXPECT_EQ(db.Item(0)->Revision(), 2);
  }
  std::vector<uint8_t> info = ExtractInfo(file);
  EXPECT_EQ(info, HandInfo("{11111111-2222-3333-4444-555555555555}", 1201, true, 2));

  // Version 2 is fine for a user package, refused for a base package; unknown versions are refused.
  WriteRawPackage(FDir + "/Game/v2.vma", {{"Info.dat", HandInfo("{AAAAAAAA-2222-3333-4444-555555555555}", 2, false)}});
  WriteRawPackage(FDir + "/Game/v2base.vma", {{"Info.dat", HandInfo(RRBasePackage2, 2, false)}});
  WriteRawPackage(FDir + "/Game/v9.vma", {{"Info.dat", HandInfo("{BBBBBBBB-2222-3333-4444-555555555555}", 9, true)}});
  TRRDatabase db(FFs, {});
  EXPECT_NE(db.FindAsset(kIdB), nullptr);
  EXPECT_EQ(db.FindAsset(gx::TGXGuid::Parse(RRBasePackage2)), nullptr);
  EXPECT_EQ(db.Count(), 2);
  ASSERT_EQ(db.Problems().size(), 2u);
  EXPECT_EQ(db.Problems()[0].Reason, RRTextIncompatibleAsset);
  EXPECT_EQ(db.Problems()[1].Reason, RRTextUnknownAssetVersion);
}

TEST_F(DatabaseTest, DamagedPackagesAreReportedAndNeverMounted) {
  // No catalogue: once this was mounted under the zero identifier.
  WriteRawPackage(FDir + "/Game/a.vma", {{"Readme.txt", {'x'}}});
  // Absurd counts and truncation.
  std::vector<uint8_t> huge = HandInfo("{11111111-2222-3333-4444-555555555555}", 1201, true, 1);
  huge[16 + 22 + 3] = 0x7F;  // the root's description count becomes enormous
  WriteRawPackage(FDir + "/Game/b.vma", {{"Info.dat", huge}});
  std::vector<uint8_t> cut = HandInfo("{11111111-2222-3333-4444-555555555555}", 1201, true, 1);
  cut.resize(cut.size() - 3);
  WriteRawPackage(FDir + "/Game/c.vma", {{"Info.dat", cut}});
  // Folders nested without end.
  rrtest::TBytes deep;
  deep.Guid("{11111111-2222-3333-4444-555555555555}");
  for (int i = 0; i < 2000; ++i) deep.I32(0).I32(0).I32(1);
  WriteRawPackage(FDir + "/Game/d.vma", {{"Info.dat", deep.Data}});
  WriteAll(FDir + "/Game/e.vma", "not a package");

  TRRDatabase db(FFs, {});
  EXPECT_EQ(db.Count(), 0);
  ASSERT_EQ(db.Problems().size(), 5u);
  EXPECT_EQ(db.Problems()[0].Reason, RRTextMissingAssetInfo);
  EXPECT_EQ(db.Problems()[3].Reason, RRTextAssetTooDeep);
  EXPECT_TRUE(FFs.Packages().empty());
  EXPECT_EQ(db.FindAsset(gx::TGXGuid()), nullptr);
}

TEST_F(DatabaseTest, FirstIdentifierWinsAndDisabledFoldersAreNotScanned) {
  fs::create_directories(FDir + "/on");
  fs::create_directories(FDir + "/off");
  MakePackage(FDir + "/Game/b.vma", kIdA, "Zweite");
  MakePackage(FDir + "/Game/A.vma", kIdA, "Erste");
  MakePackage(FDir + "/on/x.VMA", kIdB, "Beobachtet");
  MakePackage(FDir + "/off/y.vma", gx::TGXGuid::Parse("{CCCCCCCC-2222-3333-4444-555555555555}"), "Aus");
  WriteAll(FDir + "/Game/ignored.txt", "x");

  TRRDatabase db(FFs, {{FDir + "/off/", true}, {FDir + "/on/", false}});
  ASSERT_EQ(db.Count(), 2);
  EXPECT_EQ(db.Item(0)->FileName(), FDir + "/Game/A.vma");
  EXPECT_EQ(db.FindAsset(kIdA)->FileName(), FDir + "/Game/A.vma");
  EXPECT_EQ(db.FindAsset(kIdB)->FileName(), FDir + "/on/x.VMA");
  EXPECT_EQ(db.FindAssetByFile(FDir + "/game/a.VMA"), db.Item(0));
  EXPECT_EQ(db.Problems().size(), 1u);  // the duplicate

  // Mounted at Game:\{ID}.
  EXPECT_TRUE(FFs.FileExists("Game:\\" + kIdA.ToString() + "\\Info.dat"));
  EXPECT_EQ(db.FindAssetIDByPath("ZWEITE"), gx::TGXGuid());
  gx::TGXGuid first = db.FindAssetIDByPath("erste");
  EXPECT_FALSE(first.IsNull());
  EXPECT_FALSE(db.FindAssetIDByPath("Beobachtet").IsNull());
  EXPECT_TRUE(db.FindAssetIDByPath("Aus").IsNull());
}

TEST_F(DatabaseTest, LookupsFollowTheCatalogueOrder) {
  TRRDatabase db(FFs, {});
  auto a = std::make_unique<TRRAsset>(&db);
  TRRAssetNode* sub = a->Root().AddChild();
  auto g = std::make_unique<TRREntityGroupDesc>();
  g->SetCataloguePath("Häuser\\Bahnhof");
  g->Description().SetText(gx::GX_LANG_GERMAN, "aus der Datenbank");
  auto child = std::make_unique<rrtest::TModelTestDesc>();
  child->SetCataloguePath("Kind");
  g->AddChild(std::move(child));
  TRREntityDescription* inSub = sub->AddDescription(std::move(g));
  auto m = std::make_unique<rrtest::TModelTestDesc>();
  m->SetCataloguePath("häuser\\bahnhof");
  TRREntityDescription* inRoot = a->Root().AddDescription(std::move(m));
  // Zero identifiers were replaced, down to the child.
  EXPECT_FALSE(inSub->AssetID().IsNull());
  EXPECT_FALSE(inSub->Child(0)->AssetID().IsNull());
  db.AppendPackage(std::move(a));

  // The root's own descriptions come before its folders; case is folded for Latin letters too.
  EXPECT_EQ(db.FindAssetIDByPath("HÄUSER\\BAHNHOF"), inRoot->AssetID());
  TRREntityDescriptionList byClass(false);
  db.CollectCatalogByClass(rrtest::TModelTestDesc::StaticClass(), byClass);
  ASSERT_EQ(byClass.Count(), 1);
  EXPECT_EQ(byClass.Item(0), inRoot);

  // A placed copy takes the catalogue's data, its children looked up by their own identifiers.
  std::unique_ptr<TRREntityDescription> placed = inSub->Clone();
  placed->Description().SetText(gx::GX_LANG_GERMAN, "alt", true);
  db.RefreshDescription(*placed);
  EXPECT_EQ(placed->Description().GetText(), "aus der Datenbank");
  TRREntityDescriptionList byAsset(false);
  db.CollectCatalogByAsset(inSub->AssetID(), byAsset);
  EXPECT_EQ(byAsset.Count(), 1);
}

TEST_F(DatabaseTest, DataFilesAreStoredOnceUnderTheirDigestAndSharedFilesStayShared) {
  WriteAll(FDir + "/textur.dds", "DDS data");
  TRRDatabase db(FFs, {});
  TRRAsset a(&db);
  a.SetIdentifier(kIdA);
  auto d = std::make_unique<TFileTestDesc>();
  d->File = TRRAssetFileName(FDir + "/textur.dds");
  TFileTestDesc* desc = static_cast<TFileTestDesc*>(a.Root().AddDescription(std::move(d)));
  auto shared = std::make_unique<TFileTestDesc>();
  shared->File = TRRAssetFileName("", std::string(RRBasePackage2) + "\\Textures\\DefaultTrack.dds");
  TFileTestDesc* sharedDesc = static_cast<TFileTestDesc*>(a.Root().AddDescription(std::move(shared)));

  std::string file = FDir + "/Game/daten.vma";
  a.WritePackage(file, true);
  std::string entry = RRAssetDataName("DDS data", 8);
  EXPECT_EQ(desc->File.RelativeName, kIdA.ToString() + "\\" + entry);
  EXPECT_EQ(sharedDesc->File.RelativeName, std::string(RRBasePackage2) + "\\Textures\\DefaultTrack.dds");
  a.Mount();
  // The second write reads the data back from the mounted package and stores it once again.
  fs::remove(FDir + "/textur.dds");
  std::string copy = FDir + "/kopie.vma";
  a.WritePackage(copy, false);
  EXPECT_EQ(a.Revision(), 3);
  gx::TGXPackageReader r(copy);
  ASSERT_EQ(r.FileCount(), 2);
  EXPECT_TRUE(r.Contains(entry));
  EXPECT_TRUE(r.Contains("Info.dat"));
}

TEST_F(DatabaseTest, CancelledOrFailedWritesLeaveEveryPackageAsItWas) {
  MakePackage(FDir + "/Game/a.vma", kIdA, "A");
  MakePackage(FDir + "/Game/b.vma", kIdB, "B");
  std::vector<uint8_t> beforeA = ReadAll(FDir + "/Game/a.vma"), beforeB = ReadAll(FDir + "/Game/b.vma");
  auto sameFiles = [&] {
    EXPECT_EQ(ReadAll(FDir + "/Game/a.vma"), beforeA);
    EXPECT_EQ(ReadAll(FDir + "/Game/b.vma"), beforeB);
    int n = 0;
    for (auto& e : fs::directory_iterator(FDir + "/Game")) n += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(n, 2) << "no temporary file stays behind";
  };
  WriteAll(FDir + "/data.bin", "payload");

  TRRDatabase db(FFs, {});
  ASSERT_EQ(db.Count(), 2);
  for (int i = 0; i < 2; ++i) {
    auto d = std::make_unique<TFileTestDesc>();
    d->File = TRRAssetFileName(FDir + "/data.bin");
    db.Item(i)->Root().AddDescription(std::move(d));
    db.Item(i)->MarkModified();
  }

  // Cancelled after the first package was written to its temporary file.
  TRRScriptedUIService ui;
  ui.CancelProgressAfter(2);
  {
    auto progress = ui.BeginProgress(RRCaptionWriteDatabase, "", true);
    EXPECT_FALSE(db.WriteChanges(progress.get()));
  }
  sameFiles();
  EXPECT_TRUE(db.IsModified());
  TFileTestDesc* d0 = static_cast<TFileTestDesc*>(db.Item(0)->Root().Descriptions().Item(0));
  EXPECT_TRUE(d0->File.RelativeName.empty()) << "names point at the data they pointed at before";

  // A data file that cannot be read fails the whole write.
  fs::remove(FDir + "/data.bin");
  try {
    db.WriteChanges(nullptr);
    ADD_FAILURE();
  } catch (const EAssetError& e) {
    EXPECT_STREQ(e.what(), RRTextWriteDatabaseError);
  }
  sameFiles();
  EXPECT_EQ(db.Item(0)->Revision(), 2);

  // Written: every package read again, the new revision in memory.
  WriteAll(FDir + "/data.bin", "payload");
  EXPECT_TRUE(db.WriteChanges(nullptr));
  ASSERT_EQ(db.Count(), 2);
  EXPECT_EQ(db.FindAsset(kIdA)->Revision(), 3);
  EXPECT_EQ(db.FindAsset(kIdA)->Root().Descriptions().Count(), 1);
  EXPECT_TRUE(FFs.FileExists("Game:\\" + kIdB.ToString() + "\\" + RRAssetDataName("payload", 7)));
}

TEST_F(DatabaseTest, StoredDownloadsGetSafeUniqueNames) {
  EXPECT_EQ(TRRDatabase::SanitizePackageName("../x"), "__x");
  EXPECT_EQ(TRRDatabase::SanitizePackageName(" a:b\\c\x01 "), "a_b_c_");
  EXPECT_EQ(TRRDatabase::SanitizePackageName(".."), "_");
  EXPECT_EQ(TRRDatabase::SanitizePackageName(".."), "_");

  fs::create_directories(FDir + "/dl");
  MakePackage(FDir + "/dl/1.vma", kIdA, "A", "Bahnhof");
  MakePackage(FDir + "/dl/2.vma", kIdB, "B", "Bahnhof");
  std::string target = FDir + "/Pakete";
  {
    TRRDatabase db(FFs, {});
    ASSERT_TRUE(db.AddPackage(FDir + "/dl/1.vma", true));
    ASSERT_TRUE(db.AddPackage(FDir + "/dl/2.vma", true));
    EXPECT_TRUE(db.HasTemporary());
    db.StoreTemporary(target);
    EXPECT_FALSE(db.HasTemporary());
    EXPECT_EQ(db.FindAsset(kIdA)->FileName(), target + "/Bahnhof.vma");
    EXPECT_EQ(db.FindAsset(kIdB)->FileName(), target + "/Bahnhof(2).vma");
    EXPECT_FALSE(fs::exists(FDir + "/dl/1.vma"));
  }
  // Stored packages survive the database; temporary ones do not.
  EXPECT_TRUE(fs::exists(target + "/Bahnhof(2).vma"));
  MakePackage(FDir + "/dl/3.vma", kIdA, "A");
  {
    TRRDatabase db(FFs, {});
    ASSERT_TRUE(db.AddPackage(FDir + "/dl/3.vma", true));
  }
  EXPECT_FALSE(fs::exists(FDir + "/dl/3.vma"));
}

}  // namespace

namespace {

// The start-up check with the packages in a temporary Game root.
TEST(DatabaseStartup, CheckDatabaseNeedsBothBasePackages) {
  char tmpl[] = "/tmp/rrdbstartXXXXXX";
  std::string dir = mkdtemp(tmpl);
  TRRScriptedUIService ui;
  TRRStartOptions options;
  options.UI = &ui;
  for (const char* root : {"Game", "User", "CommonUser", "Documents", "CommonDocuments", "Temp"})
    options.Roots.push_back({root, dir + "/" + root});
  fs::create_directories(dir + "/Game");
  auto write = [&](const char* id) {
    gx::TGXFileSystem other;
    TRRDatabase db(other, {});
    TRRAsset a(&db);
    a.SetIdentifier(gx::TGXGuid::Parse(id));
    a.WritePackage(dir + "/Game/" + std::string(id).substr(1, 8) + ".vma", false);
  };
  auto check = [&] {
    TRRGlobal global(options);
    return global.CheckDatabase();
  };
  write(RRBasePackage1);
  EXPECT_FALSE(check());
  fs::remove_all(dir + "/Game");
  fs::create_directories(dir + "/Game");
  write(RRBasePackage2);
  EXPECT_FALSE(check());
  ASSERT_EQ(ui.Shown().size(), 2u);
  EXPECT_EQ(ui.Shown()[1].Text, RRTextDatabaseProblem);
  EXPECT_EQ(ui.Shown()[1].Caption, RRCaptionDatabaseProblem);
  write(RRBasePackage1);
  EXPECT_TRUE(check());
  EXPECT_EQ(ui.Shown().size(), 2u);
  fs::remove_all(dir);
}

}  // namespace

namespace {

TEST_F(DatabaseTest, WritingOnAWorkerReportsFailuresToTheUser) {
  MakePackage(FDir + "/Game/a.vma", kIdA, "A");
  WriteAll(FDir + "/data.bin", "payload");
  TRRDatabase db(FFs, {});
  ASSERT_EQ(db.Count(), 1);
  auto d = std::make_unique<TFileTestDesc>();
  d->File = TRRAssetFileName(FDir + "/data.bin");
  db.Item(0)->Root().AddDescription(std::move(d));
  db.Item(0)->MarkModified();
  std::vector<uint8_t> before = ReadAll(FDir + "/Game/a.vma");

  TRRScriptedUIService ui;
  fs::remove(FDir + "/data.bin");
  EXPECT_EQ(db.WriteChangesWithProgress(ui), TRRWriteResult::Failed);
  ASSERT_EQ(ui.Texts().size(), 1u);
  EXPECT_EQ(ui.Texts()[0], RRTextWriteDatabaseError);
  EXPECT_EQ(ReadAll(FDir + "/Game/a.vma"), before);
  EXPECT_TRUE(db.IsModified()) << "the edits are still there to be written again";

  WriteAll(FDir + "/data.bin", "payload");
  ui.ClearShown();
  EXPECT_EQ(db.WriteChangesWithProgress(ui), TRRWriteResult::Written);
  EXPECT_TRUE(ui.Texts().empty());
  EXPECT_FALSE(db.IsModified());
  EXPECT_EQ(db.Item(0)->Revision(), 3);
}

TEST_F(DatabaseTest, NewFoldersGetTheFirstFreeName) {
  TRRDatabase db(FFs, {});
  TRRAsset a(&db);
  EXPECT_EQ(a.Root().AddNewFolder()->Name().GetText(), "Neues Verzeichnis");
  a.Root().AddChild()->Name().SetUserText("neues verzeichnis (1)");
  EXPECT_EQ(a.Root().AddNewFolder()->Name().GetText(), "Neues Verzeichnis (2)");
}

}  // namespace

namespace {

TEST_F(DatabaseTest, NewPackagesAreWrittenAtOnceAndMounted) {
  TRRDatabase db(FFs, {});
  TRRAsset* a = db.CreatePackage(FDir + "/eigen.vma", "Meine Häuser", "Anna", "");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Revision(), 2);
  EXPECT_FALSE(db.IsModified());
  EXPECT_TRUE(FFs.FileExists("Game:\\" + a->Identifier().ToString() + "\\Info.dat"));
  TRRDatabase again(FFs, {{FDir + "/", false}});
  ASSERT_NE(again.FindAsset(a->Identifier()), nullptr);
  EXPECT_EQ(again.FindAsset(a->Identifier())->Name().GetText(), "Meine Häuser");

  EXPECT_ANY_THROW(db.CreatePackage(FDir + "/fehlt/eigen.vma", "X", "", ""));
  EXPECT_FALSE(fs::exists(FDir + "/fehlt/eigen.vma"));
  EXPECT_EQ(db.Count(), 1);
}

}  // namespace
