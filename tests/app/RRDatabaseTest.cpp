// The asset database over packages written into a temporary folder: the catalogue bytes, reading
// old versions, discovery order, lookups, writing with data files and the safety of WriteChanges.

#include "app/RRDatabase.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/RRTextureConverter.h"
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

// A catalogue entry that refers to a model with companion files.
class TModelFileTestDesc : public rr::TRREntityDescription {
  RR_DESCRIPTION_CLASS()
 public:
  void LoadFromStream(gx::TGXStream& s) override {
    TRREntityDescription::LoadFromStream(s);
    Model.ReadFromStream(s);
  }
  void SaveToStream(gx::TGXStream& s) const override {
    TRREntityDescription::SaveToStream(s);
    Model.WriteToStream(s);
  }
  void GetPropertyAccess(rr::TRRPropertyAccessList& list) override {
    TRREntityDescription::GetPropertyAccess(list);
    list.Add<rr::TRRModelFileNameAccess>(Model);
  }
  rr::TRRModelFileName Model;
};
RR_DEFINE_DESCRIPTION_CLASS(TModelFileTestDesc, rr::TRREntityDescription)

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
    rr::RegisteredEntities().Register(gx::TGXGuid::Parse("{6A1C0F52-0C5B-4E57-9B2E-1D0B8E7A0DB2}"),
                                      rrtest::TFileTestEntity::StaticClass(), rrtest::TModelFileTestDesc::StaticClass());
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

namespace {

// The layout's side of catalogue edits, counted by identifier.
class TFakeUsage : public IRRAssetUsage {
 public:
  std::unordered_map<gx::TGXGuid, int> Users;
  std::vector<gx::TGXGuid> Removed;
  std::vector<gx::TGXGuid> Replaced;
  int CountUsers(const std::vector<gx::TGXGuid>& ids) override {
    int n = 0;
    for (const auto& id : ids) n += Users.count(id) ? Users[id] : 0;
    return n;
  }
  void RemoveUsers(const std::vector<gx::TGXGuid>& ids) override {
    for (const auto& id : ids) {
      if (Users.erase(id)) Removed.push_back(id);
    }
  }
  void ReplaceUsers(const gx::TGXGuid& id, const TRREntityDescription&) override { Replaced.push_back(id); }
};

std::string Expected(std::string text, const std::string& name, int count = -1) {
  text.replace(text.find("%s"), 2, name);
  if (count >= 0) text.replace(text.find("%d"), 2, std::to_string(count));
  return text;
}

TEST_F(DatabaseTest, CatalogueEditsMarkTheirPackagesAndBasePackagesRefuse) {
  MakePackage(FDir + "/Game/a.vma", kIdA, "Bahnhof");
  MakePackage(FDir + "/Game/base.vma", gx::TGXGuid::Parse(RRBasePackage1), "Basis");
  TRRDatabase db(FFs, {});
  ASSERT_EQ(db.Count(), 2);
  int changes = 0;
  db.SetChangeHandler([&] { ++changes; });
  TRRAsset* a = db.FindAsset(kIdA);
  TRRAsset* base = db.FindAsset(gx::TGXGuid::Parse(RRBasePackage1));
  TRREntityDescription* entry = a->Root().Child(0)->Descriptions().Item(0);

  auto refused = [](auto&& edit, const char* text) {
    try {
      edit();
      ADD_FAILURE() << "accepted";
    } catch (const EAssetError& e) {
      EXPECT_STREQ(e.what(), text);
    }
  };
  refused([&] { db.RenameFolder(*base->Root().Child(0), "X"); }, RRTextReadOnlyPackage);
  refused([&] { db.RenameEntry(*base->Root().Child(0)->Descriptions().Item(0), "X"); }, RRTextReadOnlyPackage);
  refused([&] { db.AddFolder(base->Root()); }, RRTextReadOnlyPackage);
  refused([&] { db.MoveEntry(*entry, *base->Root().Child(0)); }, RRTextReadOnlyPackage);
  refused([&] { db.RenameFolder(*a->Root().Child(0), "  "); }, RRTextEmptyName);
  auto loose = std::make_unique<rrtest::TModelTestDesc>();
  refused([&] { db.RenameEntry(*loose, "X"); }, RRTextNotInCatalogue);
  EXPECT_FALSE(db.IsModified());
  EXPECT_EQ(changes, 0);

  db.RenameFolder(*a->Root().Child(0), " Weichen ");
  db.RenameEntry(*entry, "Stellwerk");
  TRRAssetNode* folder = db.AddFolder(a->Root());
  EXPECT_EQ(folder->Name().GetText(), "Neues Verzeichnis");
  db.SetPackageProperties(*a, "Mein Paket", "Anna", "Gebäude");
  EXPECT_TRUE(a->Modified());
  EXPECT_FALSE(base->Modified());
  EXPECT_GE(changes, 4);

  ASSERT_TRUE(db.WriteChanges(nullptr));
  a = db.FindAsset(kIdA);
  EXPECT_EQ(a->Name().GetText(), "Mein Paket");
  EXPECT_EQ(a->Root().Child(0)->Name().GetText(), "Weichen");
  EXPECT_EQ(a->Root().Child(0)->Descriptions().Item(0)->Name().GetText(), "Stellwerk");
  EXPECT_EQ(a->Root().ChildCount(), 2);
}

TEST_F(DatabaseTest, AddedEntitiesBecomeFreshEntriesAndReplacementsKeepTheirPlaceAndIdentifier) {
  MakePackage(FDir + "/Game/a.vma", kIdA, "Bahnhof");
  TRRDatabase db(FFs, {});
  TRRAssetNode& folder = *db.FindAsset(kIdA)->Root().Child(0);

  // An entity's description: placed, locked, with a fixed child that has no place in the catalogue.
  auto placed = [] {
    auto d = std::make_unique<rrtest::TModelTestDesc>();
    d->SetAssetID(kIdB);
    d->SetID(17);
    d->SetLocked(true);
    d->SetPosition({1, 2, 3});
    d->SetRotation({0, 1, 0, 0});
    auto child = std::make_unique<rrtest::TModelTestDesc>();
    child->SetAssetID(kIdB);
    d->AddChild(std::move(child));
    d->AddChild(std::make_unique<rrtest::TLightTestDesc>());
    return d;
  };
  TRREntityDescription* added = db.AddEntry(folder, placed());
  EXPECT_EQ(folder.Descriptions().Count(), 2);
  EXPECT_EQ(folder.Descriptions().Item(1), added);
  EXPECT_NE(added->AssetID(), kIdB);
  EXPECT_EQ(added->ID(), 0);
  EXPECT_FALSE(added->Locked());
  EXPECT_EQ(added->Position().x, 0.0f);
  EXPECT_EQ(added->Rotation().w, 1.0f);
  ASSERT_EQ(added->ChildCount(), 1) << "the fixed child is dropped";
  EXPECT_NE(added->Child(0)->AssetID(), kIdB);
  EXPECT_NE(added->Child(0)->AssetID(), added->AssetID());
  EXPECT_THROW(db.AddEntry(folder, std::make_unique<rrtest::TLightTestDesc>()), EAssetError);

  // The question comes only for an entry of the same class that is no group.
  TRRScriptedUIService ui;
  TRREntityDescription* group = folder.Descriptions().Item(0);
  EXPECT_EQ(TRRDatabase::QueryAddMode(ui, group, *placed()), TRRAddMode::Add);
  EXPECT_EQ(TRRDatabase::QueryAddMode(ui, nullptr, *placed()), TRRAddMode::Add);
  EXPECT_TRUE(ui.Shown().empty());
  ui.QueueAnswer(TRRAnswer::Cancel);
  ui.QueueAnswer(TRRAnswer::Yes);
  EXPECT_EQ(TRRDatabase::QueryAddMode(ui, added, *placed()), TRRAddMode::Cancel);
  EXPECT_EQ(TRRDatabase::QueryAddMode(ui, added, *placed()), TRRAddMode::Replace);
  EXPECT_EQ(ui.Shown()[0].Text, RRTextReplaceEntry);
  EXPECT_EQ(ui.Shown()[0].Caption, RRCaptionAddEntry);
  EXPECT_EQ(ui.Shown()[0].DefaultButton, TRRAnswer::Cancel);

  // Replacing the first entry: same identifier, same position, the old one gone, users rebuilt.
  gx::TGXGuid oldID = group->AssetID();
  TFakeUsage usage;
  TRREntityDescription* replacement = db.ReplaceEntry(oldID, folder, placed(), &usage);
  ASSERT_EQ(folder.Descriptions().Count(), 2);
  EXPECT_EQ(folder.Descriptions().Item(0), replacement);
  EXPECT_EQ(replacement->AssetID(), oldID);
  EXPECT_EQ(folder.Descriptions().Item(1), added);
  EXPECT_EQ(usage.Replaced, std::vector<gx::TGXGuid>{oldID});
  TRREntityDescriptionList found(false);
  db.CollectCatalogByAsset(oldID, found);
  ASSERT_EQ(found.Count(), 1);
  EXPECT_EQ(found.Item(0), replacement);
  // An identifier no longer in the catalogue: appended to the given folder.
  db.ReplaceEntry(kIdB, folder, placed(), nullptr);
  EXPECT_EQ(folder.Descriptions().Count(), 3);
  EXPECT_TRUE(db.IsModified());
}

TEST_F(DatabaseTest, RemovingAsksWithTheUsageAndRemovesTheUsersToo) {
  MakePackage(FDir + "/Game/a.vma", kIdA, "Bahnhof");
  TRRDatabase db(FFs, {});
  TRRAsset* a = db.FindAsset(kIdA);
  TRRAssetNode& folder = *a->Root().Child(0);
  TRREntityDescription* entry = folder.Descriptions().Item(0);
  entry->Name().SetUserText("Stellwerk");
  auto child = std::make_unique<rrtest::TModelTestDesc>();
  TRREntityDescription* inner = entry->AddChild(std::move(child));
  inner->SetAssetID(gx::TGXGuid::NewGuid());
  TFakeUsage usage;
  usage.Users[entry->AssetID()] = 2;
  usage.Users[inner->AssetID()] = 1;

  TRRScriptedUIService ui;
  ui.QueueAnswer(TRRAnswer::No);
  EXPECT_FALSE(db.RemoveEntry(*entry, ui, &usage));
  EXPECT_EQ(ui.Shown().back().Text, Expected(RRTextRemoveUsedEntry, "Stellwerk", 3));
  EXPECT_EQ(ui.Shown().back().Caption, RRCaptionRemoveEntry);
  EXPECT_EQ(ui.Shown().back().DefaultButton, TRRAnswer::No);
  EXPECT_EQ(folder.Descriptions().Count(), 1);
  EXPECT_FALSE(db.IsModified());

  // A folder with one used object, then the folder's own texts when nothing is used.
  ui.QueueAnswer(TRRAnswer::No);
  EXPECT_FALSE(db.RemoveFolder(folder, ui, &usage));
  usage.Users.erase(entry->AssetID());
  ui.QueueAnswer(TRRAnswer::No);
  EXPECT_FALSE(db.RemoveFolder(folder, ui, &usage));
  EXPECT_EQ(ui.Shown()[1].Text, Expected(RRTextFolderUsesMany, "Gleise", 3) + RRTextRemoveUsedFolder);
  EXPECT_EQ(ui.Shown()[2].Text, Expected(RRTextFolderUsesOne, "Gleise") + RRTextRemoveUsedFolder);

  ui.QueueAnswer(TRRAnswer::Yes);
  EXPECT_TRUE(db.RemoveEntry(*entry, ui, &usage));
  EXPECT_EQ(usage.Removed.size(), 1u);
  EXPECT_TRUE(usage.Users.empty());
  EXPECT_EQ(folder.Descriptions().Count(), 0);
  EXPECT_TRUE(a->Modified());

  TRRAssetNode* full = db.AddFolder(a->Root());
  db.AddFolder(*full);
  ui.QueueAnswer(TRRAnswer::No);
  ui.QueueAnswer(TRRAnswer::Yes);
  EXPECT_FALSE(db.RemoveFolder(*full, ui, nullptr));
  EXPECT_TRUE(db.RemoveFolder(folder, ui, nullptr));
  EXPECT_EQ(ui.Shown()[4].Text, Expected(RRTextRemoveFolder, "Neues Verzeichnis"));
  EXPECT_EQ(ui.Shown()[5].Text, Expected(RRTextRemoveEmptyFolder, "Gleise"));
  ASSERT_EQ(a->Root().ChildCount(), 1);
  EXPECT_EQ(a->Root().Child(0), full);
  EXPECT_THROW(db.RemoveFolder(a->Root(), ui, nullptr), EAssetError);
}

TEST_F(DatabaseTest, MovesBetweenPackagesCarryTheDataFiles) {
  MakePackage(FDir + "/Game/a.vma", kIdA, "A");
  MakePackage(FDir + "/Game/b.vma", kIdB, "B");
  WriteAll(FDir + "/data.bin", "payload");
  {
    TRRDatabase db(FFs, {});
    auto d = std::make_unique<TFileTestDesc>();
    d->File = TRRAssetFileName(FDir + "/data.bin");
    db.AddEntry(*db.FindAsset(kIdA)->Root().Child(0), std::move(d));
    ASSERT_TRUE(db.WriteChanges(nullptr));
  }
  fs::remove(FDir + "/data.bin");

  TRRDatabase db(FFs, {});
  TRRAsset* a = db.FindAsset(kIdA);
  TRRAsset* b = db.FindAsset(kIdB);
  TRRAssetNode& fromFolder = *a->Root().Child(0);
  TRREntityDescription* moving = fromFolder.Descriptions().Item(1);
  db.MoveEntry(*moving, b->Root(), 0);
  EXPECT_EQ(b->Root().Descriptions().Item(0), moving);
  EXPECT_EQ(fromFolder.Descriptions().Count(), 1);
  EXPECT_TRUE(a->Modified() && b->Modified());

  // Folders: never into themselves; into another package they and their content change owner.
  TRRAssetNode* sub = db.AddFolder(fromFolder);
  EXPECT_THROW(db.MoveFolder(fromFolder, *sub), EAssetError);
  EXPECT_THROW(db.MoveFolder(fromFolder, fromFolder), EAssetError);
  db.MoveFolder(fromFolder, b->Root(), 0);
  EXPECT_EQ(a->Root().ChildCount(), 0);
  ASSERT_EQ(b->Root().ChildCount(), 2);
  EXPECT_EQ(b->Root().Child(0), &fromFolder);
  EXPECT_EQ(fromFolder.Asset(), b);
  EXPECT_EQ(sub->Asset(), b);
  EXPECT_EQ(fromFolder.Parent(), &b->Root());

  ASSERT_TRUE(db.WriteChanges(nullptr));
  std::string entry = RRAssetDataName("payload", 7);
  gx::TGXPackageReader rb(db.FindAsset(kIdB)->FileName());
  EXPECT_TRUE(rb.Contains(entry));
  auto* stored = static_cast<TFileTestDesc*>(db.FindAsset(kIdB)->Root().Descriptions().Item(0));
  EXPECT_EQ(stored->File.RelativeName, kIdB.ToString() + "\\" + entry);
  EXPECT_TRUE(FFs.FileExists(stored->File.EffectiveFileName()));
}

TEST_F(DatabaseTest, ClosingNeverLosesChangesSilently) {
  MakePackage(FDir + "/Game/a.vma", kIdA, "A");
  WriteAll(FDir + "/data.bin", "payload");
  TRRDatabase db(FFs, {});
  auto d = std::make_unique<TFileTestDesc>();
  d->File = TRRAssetFileName(FDir + "/data.bin");
  db.AddEntry(*db.FindAsset(kIdA)->Root().Child(0), std::move(d));
  fs::remove(FDir + "/data.bin");

  // Yes fails: the failure is shown and the question comes again; Cancel keeps the program open.
  TRRScriptedUIService ui;
  ui.QueueAnswer(TRRAnswer::Yes);
  ui.QueueAnswer(TRRAnswer::Cancel);
  EXPECT_FALSE(db.CloseQuery(ui, nullptr));
  std::vector<std::string> texts = ui.Texts();
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0], RRTextSaveDatabaseQuestion);
  EXPECT_EQ(texts[1], RRTextWriteDatabaseError);
  EXPECT_EQ(texts[2], RRTextSaveDatabaseQuestion);
  EXPECT_TRUE(db.IsModified());

  // Written on the second try; then the downloaded package is kept in the chosen folder.
  MakePackage(FDir + "/dl.vma", kIdB, "B", "Geladen");
  ASSERT_TRUE(db.AddPackage(FDir + "/dl.vma", true));
  WriteAll(FDir + "/data.bin", "payload");
  ui.ClearShown();
  ui.QueueAnswer(TRRAnswer::Yes);  // write: succeeds now
  ui.QueueAnswer(TRRAnswer::Yes);  // keep the downloads
  ui.QueuePath(std::nullopt);      // no folder chosen: not closed
  EXPECT_FALSE(db.CloseQuery(ui, nullptr));
  EXPECT_FALSE(db.IsModified());
  EXPECT_TRUE(db.HasTemporary());
  ui.QueueAnswer(TRRAnswer::Yes);
  ui.QueuePath(FDir + "/Pakete");
  std::vector<std::string> watched;
  EXPECT_TRUE(db.CloseQuery(ui, [&](const std::string& f) { watched.push_back(f); }));
  EXPECT_EQ(watched, std::vector<std::string>{FDir + "/Pakete"});
  EXPECT_FALSE(db.HasTemporary());
  EXPECT_TRUE(fs::exists(FDir + "/Pakete/Geladen.vma"));
  EXPECT_EQ(ui.PendingAnswers(), 0u);
}

}  // namespace

namespace {

TEST_F(DatabaseTest, ModelsFromDiskTakeTheirTexturesConvertedAlong) {
  // A 2x2 BMP (24 bits, blue) beside the model, and a broken one for the failing write.
  std::vector<uint8_t> bmp(54 + 16, 0);
  const uint8_t header[] = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24};
  std::copy(std::begin(header), std::end(header), bmp.begin());
  for (int p : {54, 57, 62, 65}) bmp[p] = 255;
  std::ofstream(FDir + "/blau.bmp", std::ios::binary).write(reinterpret_cast<const char*>(bmp.data()), 70);
  WriteAll(FDir + "/kaputt.bmp", "BM kaputt");
  WriteAll(FDir + "/haus.x", "model");
  std::vector<std::string> listed = {"blau.bmp"};
  RRSetModelTextureLister([&](const std::string&) { return listed; });

  TRRDatabase db(FFs, {});
  TRRAsset a(&db);
  a.SetIdentifier(kIdA);
  auto d = std::make_unique<rrtest::TModelFileTestDesc>();
  d->Model.Model = TRRAssetFileName(FDir + "/haus.x");
  d->Model.Companions.push_back(TRRAssetFileName(FDir + "/alt.png"));
  auto* desc = static_cast<rrtest::TModelFileTestDesc*>(a.Root().AddDescription(std::move(d)));

  // A texture that cannot be converted fails the write and leaves the names as they were.
  listed = {"blau.bmp", "kaputt.bmp"};
  EXPECT_THROW(a.WritePackage(FDir + "/p.vma", false), ETextureConversion);
  ASSERT_EQ(desc->Model.Companions.size(), 1u);
  EXPECT_EQ(desc->Model.Companions[0].FileName, FDir + "/alt.png");
  EXPECT_TRUE(desc->Model.Model.RelativeName.empty());

  listed = {"blau.bmp"};
  a.WritePackage(FDir + "/p.vma", true);
  RRSetModelTextureLister({});
  ASSERT_EQ(desc->Model.Companions.size(), 1u);
  const TRRAssetFileName& companion = desc->Model.Companions[0];
  EXPECT_EQ(companion.FileName, FDir + "/blau.bmp");
  gx::TGXPackageReader r(FDir + "/p.vma");
  std::unique_ptr<gx::TGXMemoryStream> stored = r.Extract(companion.RelativeName.substr(39));
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(stored->Memory()), 4), "DDS ");
  EXPECT_EQ(desc->Model.Model.RelativeName, kIdA.ToString() + "\\" + RRAssetDataName("model", 5));
  EXPECT_EQ(r.FileCount(), 3);
}

TEST_F(DatabaseTest, AnOversizedCatalogueIsRefusedBeforeItIsInflated) {
  // A real catalogue followed by zeros, just above the cap: refused by its stated size (read
  // whole, it would be accepted after 64 MiB had been inflated, at every start).
  std::vector<uint8_t> info = HandInfo("{11111111-2222-3333-4444-555555555555}", 1201, true, 1);
  info.resize(static_cast<size_t>(RRMaxAssetInfoSize) + 1);
  WriteRawPackage(FDir + "/Game/gross.vma", {{"Info.dat", info}});
  info.resize(1000);
  WriteRawPackage(FDir + "/Game/klein.vma", {{"Info.dat", info}});

  TRRDatabase db(FFs, {});
  ASSERT_EQ(db.Problems().size(), 1u);
  EXPECT_EQ(db.Problems()[0].Reason, "Corrupt package entry: Info.dat");
  EXPECT_EQ(db.Count(), 1);
}

}  // namespace
