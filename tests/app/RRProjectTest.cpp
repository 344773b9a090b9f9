#include "app/RRProject.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/RRAssetFileLoader.h"
#include "app/RRDatabase.h"
#include "app/RREntityManager.h"
#include "app/RREventActions.h"
#include "app/RREventConditions.h"
#include "app/RREvents.h"
#include "app/RREntitySerializer.h"
#include "app/RRHistory.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RREntity.h"
#include "app/entities/panel/RRPanel.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXTimer.h"
#include "tests/app/ManagerTestSupport.h"
#include "tests/app/ProjectTestSupport.h"
#include "tests/app/entities/EntityTestSupport.h"

using namespace rr;
using prjtest::TFileDesc;
using rrtest::TBytes;
namespace fsys = std::filesystem;

namespace {

std::vector<uint8_t> ReadAllBytes(const fsys::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), {}};
}

void WriteAllBytes(const fsys::path& p, const std::vector<uint8_t>& data) {
  std::ofstream f(p, std::ios::binary);
  f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

struct TProjectFixture : ::testing::Test {
  TRRScriptedUIService Ui;
  gx::TGXFileSystem Fs;
  std::vector<std::string> Recent;
  std::vector<std::string> Errors;
  std::vector<std::string> Launched;
  bool LaunchWorks = true;
  gx::TGXVector3 Target{100, 20, -50};
  std::optional<TRRBitmap> View;
  prjtest::TEventStub* LastEvents = nullptr;
  std::unique_ptr<TRRProject> Project;
  fsys::path Dir;

  void SetUp() override {
    mgrtest::RegisterKinds();
    prjtest::RegisterKinds();
    Dir = fsys::temp_directory_path() / ("velmora-project-" + std::to_string(getpid()));
    fsys::remove_all(Dir);
    fsys::create_directories(Dir);
    TRRProjectServices s;
    s.UI = &Ui;
    s.FileSystem = &Fs;
    s.AddRecentProject = [this](const std::string& f) { Recent.push_back(f); };
    s.HandleException = [this](std::exception_ptr e) {
      try {
        std::rethrow_exception(e);
      } catch (const std::exception& x) {
        Errors.push_back(x.what());
      }
    };
    s.LaunchProgram = [this](const std::string& p) {
      Launched.push_back(p);
      return LaunchWorks;
    };
    s.CameraTarget = [this] { return Target; };
    s.ViewImage = [this] { return View; };
    // Stand-ins for the program's light and baseboard kinds; the program's own cameras.
    s.FindKind = [](const char* name) -> const TRRDescriptionClass* {
      std::string n = name;
      if (n == "TRRLightDesc") return &mgrtest::TLightDesc::StaticClass();
      if (n == "TRRPanelDesc") return &TRRPanelDesc::StaticClass();
      if (n == "TRRCameraDesc") return &TRRCameraDesc::StaticClass();
      return nullptr;
    };
    s.CreateEventSection = [this]() -> std::unique_ptr<IRRProjectEventSection> {
      auto e = std::make_unique<prjtest::TEventStub>();
      LastEvents = e.get();
      return e;
    };
    Project = std::make_unique<TRRProject>(std::move(s));
  }
  void TearDown() override {
    Project.reset();
    fsys::remove_all(Dir);
  }

  TRREntityManager& M() { return *Project->Manager(); }
  std::string File(const char* name) { return (Dir / name).string(); }
  TRREntity* AddFile(const std::string& name, gx::TGXVector3 pos, int32_t link = 0) {
    TFileDesc d;
    d.Name().SetUserText(name);
    d.SetPosition(pos);
    d.SetID(M().NextID());
    d.SetLinkTarget(link);
    M().ReserveIDs(1);
    return M().CreateEntity(nullptr, d);
  }
};

// A project file by hand: version 12, no thumbnail, empty lists, the records, event bytes.
std::vector<uint8_t> HandWrittenProject(std::initializer_list<const TRREntityDescription*> list) {
  gx::TGXMemoryStream records;
  for (auto* d : list) TRREntityDescription::WriteRecord(*d, records);
  TBytes inner;
  inner.I32(static_cast<int64_t>(list.size())).Raw(records.Data());
  uLongf size = compressBound(static_cast<uLong>(inner.Data.size()));
  std::vector<uint8_t> z(size);
  compress2(z.data(), &size, inner.Data.data(), static_cast<uLong>(inner.Data.size()), 9);
  z.resize(size);
  TBytes b;
  b.U16(0x2305).Guid(RRGuidProjectSerializer).I32(12).U8(0).I32(0).I32(0).I32(0);
  b.U16(0x2305).Guid(RRGuidEntitySerializer).I32(3).Raw(z).Raw({1, 2, 3});
  return b.Data;
}

}  // namespace

TEST_F(TProjectFixture, NewProjectCreatesTheDefaultObjectsInOrder) {
  ASSERT_TRUE(Project->NewProject({}));
  EXPECT_TRUE(Project->IsOpen());
  EXPECT_TRUE(Project->IsModified());
  const char* names[] = {RRNameLight, RRNamePanel, RRNameFreeCamera, RRName2DCamera, RRNameTechnicalCamera};
  gx::TGXNode* node = Project->ProjectNode();
  ASSERT_EQ(node->ChildCount(), 5);
  for (int i = 0; i < 5; ++i) {
    auto* e = dynamic_cast<TRREntity*>(node->Child(i));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->ID(), i + 1);
    EXPECT_EQ(e->CreateDescription()->Name().GetText(), names[i]);
  }
  EXPECT_EQ(M().NextID(), 6);
  EXPECT_NE(M().Light(), nullptr);
  EXPECT_EQ(M().Panels().Count(), 1);
  EXPECT_EQ(M().Cameras().Count(), 3);
  EXPECT_EQ(Project->ActiveCamera(), M().FindByID(3));
  EXPECT_EQ(M().FindByID(4)->Position().y, 300.0f);
}

TEST_F(TProjectFixture, NewProjectBuildsTheBaseboardFromTheShapeRecord) {
  TRRPanelParams shape;
  shape.Shape = 1, shape.A = 200, shape.B = 100, shape.C = 50, shape.D = 40, shape.QuadWidth = 5;
  const auto bytes = shape.ToBytes();
  ASSERT_TRUE(Project->NewProject({}, std::vector<uint8_t>(bytes.begin(), bytes.end())));
  ASSERT_EQ(M().Panels().Count(), 1);
  auto* panel = dynamic_cast<TRRPanel*>(M().Panels().Item(0));
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->Params(), shape);
  EXPECT_EQ(panel->PartitionCount(), 2);
  // Without a record the default board: 300 x 150 cm on a 10 cm grid.
  Project->CloseProject();
  ASSERT_TRUE(Project->NewProject({}));
  EXPECT_EQ(dynamic_cast<TRRPanel*>(M().Panels().Item(0))->Params(), TRRPanelParams{});
}

TEST_F(TProjectFixture, SaveLoadSaveIsByteIdenticalAndRenumbersIDs) {
  TRRTrackParameters lists{TRRTrackCatalogueSource()};
  lists.AddManufacturer("Hersteller", false);
  lists.AddTrackWidth("H0", false);
  ASSERT_TRUE(Project->NewProject(lists));
  TRREntity* a = AddFile("Haus", {10, 0, 10});
  AddFile("Anbau", {20, 0, 10}, a->ID());
  std::string first = File("Anlage.vmp");
  ASSERT_TRUE(Project->SaveProject(first));
  EXPECT_FALSE(Project->IsModified());
  EXPECT_EQ(Recent.back(), first);

  ASSERT_TRUE(Project->LoadProject(first, false)) << (Errors.empty() ? "" : Errors[0]);
  EXPECT_FALSE(Project->IsModified());
  EXPECT_EQ(Project->TrackParameters().Manufacturers().Items(), std::vector<std::string>{"Hersteller"});
  EXPECT_EQ(Project->TrackParameters().TrackWidths().Items(), std::vector<std::string>{"H0"});
  std::string second = File("Kopie.vmp");
  ASSERT_TRUE(Project->SaveProject(second));
  EXPECT_EQ(ReadAllBytes(first), ReadAllBytes(second));

  // IDs 3, 7 and 9 become 1, 2 and 3; the link from 9 to 3 follows; a reference to an entity
  // not in the file is cut; the event section is told every pair.
  TFileDesc d3, d7, d9;
  d3.SetID(3);
  d7.SetID(7);
  d7.Ref = 42;
  d9.SetID(9);
  d9.SetLinkTarget(3);
  d9.Ref = 7;
  std::string hand = File("Hand.vmp");
  WriteAllBytes(hand, HandWrittenProject({&d3, &d7, &d9}));
  ASSERT_TRUE(Project->LoadProject(hand, false)) << (Errors.empty() ? "" : Errors[0]);
  ASSERT_NE(M().FindByID(3), nullptr);
  EXPECT_EQ(M().FindByID(3)->LinkTarget(), 1);
  EXPECT_EQ(static_cast<prjtest::TFileEntity*>(M().FindByID(3))->Ref, 2);
  EXPECT_EQ(static_cast<prjtest::TFileEntity*>(M().FindByID(2))->Ref, 0);
  EXPECT_EQ(M().NextID(), 4);
  ASSERT_NE(LastEvents, nullptr);
  EXPECT_EQ(LastEvents->Pairs, (std::vector<std::pair<int32_t, int32_t>>{{3, 1}, {7, 2}, {9, 3}}));
  EXPECT_EQ(LastEvents->Loaded, (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(TProjectFixture, ABrokenFileClosesTheProjectWithOneMessage) {
  std::vector<uint8_t> junk(300);
  for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>(i * 37 + 11);
  WriteAllBytes(Dir / "Zufall.vmp", junk);
  ASSERT_TRUE(Project->NewProject({}));
  EXPECT_FALSE(Project->LoadProject(File("Zufall.vmp"), false));
  EXPECT_FALSE(Project->IsOpen());
  EXPECT_EQ(Project->Manager(), nullptr);
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0], "Exception EGXException raised with args: TRRProjectSerializer, ReadFileHeader, Wrong header id");

  // A file cut inside the entity section.
  TFileDesc d;
  d.SetID(1);
  std::vector<uint8_t> file = HandWrittenProject({&d});
  file.resize(file.size() - 12);
  WriteAllBytes(Dir / "Kurz.vmp", file);
  EXPECT_FALSE(Project->LoadProject(File("Kurz.vmp"), false));
  EXPECT_FALSE(Project->IsOpen());
  EXPECT_EQ(Errors.size(), 2u);
}

TEST_F(TProjectFixture, SaveOntoAReadOnlyFileShowsTheMessageAndWritesNothing) {
  fsys::path target = Dir / "Geschützt.vmp";
  WriteAllBytes(target, {1, 2, 3});
  fsys::permissions(target, fsys::perms::owner_read | fsys::perms::group_read);
  // Root may write a file without write bits; the immutable flag stops everyone.
  bool immutable = false;
  if (geteuid() == 0) {
    int fd = open(target.c_str(), O_RDONLY);
    int flags = 0;
    if (fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags |= FS_IMMUTABLE_FL;
      immutable = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    if (fd >= 0) close(fd);
    if (!immutable) GTEST_SKIP() << "no way to make a file read-only for root here";
  }
  ASSERT_TRUE(Project->NewProject({}));
  Ui.ClearShown();
  EXPECT_FALSE(Project->SaveProject(target.string()));
  ASSERT_EQ(Ui.Texts().size(), 1u);
  EXPECT_EQ(Ui.Texts()[0],
            "Die Datei \"Geschützt.vmp\" ist schreibgeschützt. Bitte wählen Sie einen anderen Dateinamen aus.");
  EXPECT_EQ(Ui.Shown().back().Caption, RRCaptionSaveFailed);
  EXPECT_TRUE(Project->IsModified());
  // The close question offers saving again; Yes with the same read-only file keeps it open.
  Ui.QueueAnswer(TRRAnswer::Yes);
  Ui.QueuePath(target.string());  // a new project: the save-as dialog
  EXPECT_FALSE(Project->CloseQuery());
  EXPECT_TRUE(Project->IsOpen());
  if (immutable) {
    int fd = open(target.c_str(), O_RDONLY);
    int flags = 0;
    ioctl(fd, FS_IOC_GETFLAGS, &flags);
    flags &= ~FS_IMMUTABLE_FL;
    ioctl(fd, FS_IOC_SETFLAGS, &flags);
    close(fd);
  }
  EXPECT_EQ(ReadAllBytes(target), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(TProjectFixture, AFailedSaveLeavesTheOldFileAndNoTemporaryFile) {
  ASSERT_TRUE(Project->NewProject({}));
  fsys::path target = Dir / "Alt.vmp";
  ASSERT_TRUE(Project->SaveProject(target.string()));
  std::vector<uint8_t> before = ReadAllBytes(target);
  // An entity of a class without a registered kind cannot be written.
  rrtest::TModelTestDesc d;
  new rrtest::TUnregisteredEntity(Project->ProjectNode(), nullptr, d);
  Project->SetModifiedFlag(true);
  EXPECT_FALSE(Project->SaveProject(target.string()));
  EXPECT_EQ(Errors.size(), 1u);
  EXPECT_TRUE(Project->IsModified());
  EXPECT_EQ(ReadAllBytes(target), before);
  int files = 0;
  for (auto& e : fsys::directory_iterator(Dir)) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
}

TEST_F(TProjectFixture, MissingFileReportGroupsDiskAndPackageFiles) {
  ASSERT_TRUE(Project->NewProject({}));
  const char* pkgA = "{11111111-2222-3333-4444-555555555555}";
  const char* pkgB = "{AAAAAAAA-2222-3333-4444-555555555555}";
  for (TRRAssetFileName n : {TRRAssetFileName{"/daten/zaun.x"},
                             TRRAssetFileName{"Game:\\x", std::string(pkgB) + "\\Texturen\\Gras.dds"},
                             TRRAssetFileName{"/daten/Baum.x"},
                             TRRAssetFileName{"Game:\\y", std::string(pkgA) + "\\Haus.gxmodel"},
                             TRRAssetFileName{"/DATEN/ZAUN.X"},
                             TRRAssetFileName{"Game:\\z", std::string(pkgB) + "\\Dach.dds"}})
    Project->ReportAssetError(std::make_exception_ptr(EAssetFileException(n)));
  Project->ReportAssetError(std::make_exception_ptr(std::runtime_error("anderes")));
  EXPECT_EQ(Project->MissingFiles().size(), 6u);
  Ui.ClearShown();
  Project->ReportMissingFiles(false);
  ASSERT_EQ(Ui.Texts().size(), 1u);
  EXPECT_EQ(Ui.Texts()[0],
            "Es sind Fehler beim Laden des Projektes aufgetreten. Folgende Dateien konnten nicht gefunden werden:\r\n"
            "\r\nDateien auf der Festplatte:\r\n  /daten/Baum.x\r\n  /daten/zaun.x\r\n"
            "\r\nDateien im Datenbankpaket mit der Kennung {AAAAAAAA-2222-3333-4444-555555555555}:\r\n"
            "  Dach.dds\r\n  Texturen\\Gras.dds\r\n"
            "\r\nDateien im Datenbankpaket mit der Kennung {11111111-2222-3333-4444-555555555555}:\r\n  Haus.gxmodel\r\n"
            "\r\nDie fehlenden Dateien wurden durch Platzhalter ersetzt.");
  // Starting the project shows the list once and forgets it.
  Project->StartProject();
  EXPECT_TRUE(Project->MissingFiles().empty());
  EXPECT_EQ(RRBuildMissingFilesReport({{"/a"}}, true).rfind(RRTextMissingImport, 0), 0u);
}

TEST_F(TProjectFixture, ImportTwiceGivesFreshEntitiesAtTheCameraTarget) {
  ASSERT_TRUE(Project->NewProject({}));
  TRREntity* a = AddFile("Haus", {0, 5, 0});
  TRREntity* b = AddFile("Schuppen", {10, 7, 0}, a->ID());
  TRREntity* c = AddFile("Baum", {0, 0, 0}, M().FindByID(1)->ID());  // linked to the light
  Project->ProjectNode()->Update(false);
  M().Selection().Add(a);
  M().Selection().Add(b);
  M().Selection().Add(c);
  M().Selection().Add(M().Light());
  std::string vme = File("Objekte.vme");
  ASSERT_TRUE(Project->ExportSelection(vme));
  EXPECT_EQ(Ui.Shown().back().Caption, RRCaptionExportDone);

  // Three records: the light is fixed and stays behind.
  {
    std::vector<uint8_t> bytes = ReadAllBytes(vme);
    gx::TGXMemoryStream s(bytes);
    TRREntityDescriptionList list(true);
    TRREntitySerializer(s, vme, &Fs).ReadAll(list);
    EXPECT_EQ(list.Count(), 3);
  }
  int32_t next = M().NextID();
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(Project->ImportFile(vme));
    ASSERT_EQ(M().Selection().Count(), 3);
    TRREntity* ia = M().Selection().Item(0);
    TRREntity* ib = M().Selection().Item(1);
    TRREntity* ic = M().Selection().Item(2);
    EXPECT_EQ(ia->ID(), next + 3 * round);
    EXPECT_EQ(ib->LinkTarget(), ia->ID());
    EXPECT_EQ(ic->LinkTarget(), 0);
    gx::TGXVector3 centre = M().Selection().Centre();
    EXPECT_NEAR(centre.x, Target.x, 1e-3);
    EXPECT_NEAR(centre.z, Target.z, 1e-3);
    // The lowest point (the pivots here: the entities have no extent) 0.01 above the target.
    EXPECT_NEAR(ic->WorldPosition().y, Target.y + 0.01f, 1e-3);
  }
  EXPECT_TRUE(Project->IsModified());

  WriteAllBytes(Dir / "Unsinn.vme", {1, 2, 3, 4});
  Ui.ClearShown();
  EXPECT_FALSE(Project->ImportFile(File("Unsinn.vme")));
  EXPECT_EQ(Ui.Texts().back(), "Fehler beim Importieren von " + File("Unsinn.vme") + ". Die Datei hat ein unbekanntes Format.");
}

TEST_F(TProjectFixture, CompanionProgramQuestionAndAFailedStart) {
  ASSERT_TRUE(Project->NewProject({}));
  std::string file = File("Steuerung.vmp");
  ASSERT_TRUE(Project->SaveProject(file));
  fsys::path program = Dir / "Steuerung.sh";
  WriteAllBytes(program, {'#', '!', '/', 'b', 'i', 'n', '/', 's', 'h', '\n'});
  fsys::permissions(program, fsys::perms::owner_all);
  EXPECT_EQ(RRFindCompanionProgram(file), program.string());

  LaunchWorks = false;
  Ui.ClearShown();
  Ui.QueueAnswer(TRRAnswer::Yes);
  ASSERT_TRUE(Project->LoadProject(file, true));
  EXPECT_TRUE(Project->IsOpen());
  ASSERT_EQ(Ui.Texts().size(), 2u);
  EXPECT_EQ(Ui.Texts()[0], std::string(RRTextCompanion) + program.string());
  EXPECT_EQ(Ui.Texts()[1], std::string(RRTextCompanionFailed) + program.string());
  for (const auto& shown : Ui.Shown())
    if (shown.Kind == TRRScriptedUIService::TKind::Question) {
      EXPECT_EQ(shown.DefaultButton, TRRAnswer::No);
    }
  EXPECT_EQ(Launched, std::vector<std::string>{program.string()});

  // A plain file without the execute bit is no program.
  fsys::permissions(program, fsys::perms::owner_read | fsys::perms::owner_write);
  if (geteuid() != 0) {
    EXPECT_EQ(RRFindCompanionProgram(file), "");
  }
}

TEST_F(TProjectFixture, CloseQuestionCancelKeepsTheProjectAndClearsTheInstaller) {
  bool cleared = false;
  TRRProjectServices s = Project->Services();
  s.ClearPendingInstaller = [&] { cleared = true; };
  Project = std::make_unique<TRRProject>(s);
  ASSERT_TRUE(Project->NewProject({}));
  Ui.QueueAnswer(TRRAnswer::Cancel);
  EXPECT_FALSE(Project->CloseQuery());
  EXPECT_TRUE(Project->IsOpen());
  EXPECT_TRUE(cleared);
  Ui.QueueAnswer(TRRAnswer::No);
  EXPECT_TRUE(Project->CloseQuery());
  EXPECT_FALSE(Project->IsOpen());
}

// The package download asks once per load: its memory is forgotten when a load or an import
// begins, so a package refused during one load is offered again at the next.
TEST_F(TProjectFixture, EachLoadAndImportStartsTheDownloadMemoryAfresh) {
  int resets = 0;
  TRRProjectServices s = Project->Services();
  s.ResetDownloads = [&] { ++resets; };
  Project = std::make_unique<TRRProject>(s);
  ASSERT_TRUE(Project->NewProject({}));
  AddFile("Haus", {0, 0, 0});
  std::string file = File("Anlage.vmp");
  ASSERT_TRUE(Project->SaveProject(file));
  int before = resets;
  ASSERT_TRUE(Project->LoadProject(file, false)) << (Errors.empty() ? "" : Errors[0]);
  int afterLoad = resets;
  EXPECT_GT(afterLoad, before);
  ASSERT_TRUE(Project->ImportFile(file));
  EXPECT_GT(resets, afterLoad);
}

// Catalogue editing reaches the layout through the project: entities of an entry are counted,
// removed with it, or rebuilt in place when the entry is replaced.
TEST_F(TProjectFixture, CatalogueEditsCountRemoveAndRebuildTheEntitiesOfAnEntry) {
  EXPECT_EQ(Project->AssetUsage(), nullptr);  // nothing open, nothing in use
  ASSERT_TRUE(Project->NewProject({}));
  const gx::TGXGuid a = gx::TGXGuid::Parse("{11111111-2222-3333-4444-555555555555}");
  const gx::TGXGuid b = gx::TGXGuid::Parse("{66666666-7777-8888-9999-AAAAAAAAAAAA}");
  auto add = [&](const gx::TGXGuid& asset, gx::TGXVector3 pos) {
    TFileDesc d;
    d.SetAssetID(asset);
    d.SetPosition(pos);
    d.SetID(M().NextID());
    M().ReserveIDs(1);
    return M().CreateEntity(nullptr, d);
  };
  TRREntity* a1 = add(a, {1, 0, 0});
  add(a, {2, 0, 0});
  TRREntity* b1 = add(b, {3, 0, 0});
  int32_t bID = b1->ID();
  IRRAssetUsage* usage = Project->AssetUsage();
  ASSERT_NE(usage, nullptr);
  EXPECT_EQ(usage->CountUsers({a}), 2);
  EXPECT_EQ(usage->CountUsers({a, b, a}), 3);

  Project->SetModifiedFlag(false);
  int32_t oldID = a1->ID();
  TFileDesc replacement;
  replacement.SetAssetID(a);
  usage->ReplaceUsers(a, replacement);
  EXPECT_TRUE(Project->IsModified());
  EXPECT_EQ(M().FindByID(oldID), nullptr);  // rebuilt under fresh IDs
  std::vector<TRREntity*> rebuilt;
  M().FindByAsset(a, rebuilt);
  ASSERT_EQ(rebuilt.size(), 2u);
  std::vector<float> xs;
  for (TRREntity* e : rebuilt) xs.push_back(e->Position().x);
  std::sort(xs.begin(), xs.end());
  EXPECT_EQ(xs, (std::vector<float>{1, 2}));  // in place
  EXPECT_EQ(M().FindByID(bID), b1);

  usage->RemoveUsers({a});
  EXPECT_EQ(usage->CountUsers({a}), 0);
  EXPECT_EQ(usage->CountUsers({b}), 1);
  EXPECT_EQ(M().FindByID(bID), b1);
}

TEST_F(TProjectFixture, ThumbnailSizesAndTheStoredImage) {
  int w = 0, h = 0;
  RRThumbnailSize(1024, 512, 512, w, h);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(512, 256));
  RRThumbnailSize(300, 200, 512, w, h);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(300, 200));
  RRThumbnailSize(512, 1024, 512, w, h);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(256, 512));
  RRThumbnailSize(5000, 0, 512, w, h);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(512, 1));

  TRRBitmap image;
  image.Width = 1024;
  image.Height = 512;
  image.Pixels.assign(1024 * 512 * 3, 200);
  View = image;
  ASSERT_TRUE(Project->NewProject({}));
  std::string file = File("Bild.vmp");
  ASSERT_TRUE(Project->SaveProject(file));
  std::vector<uint8_t> bytes = ReadAllBytes(file);
  ASSERT_GT(bytes.size(), 30u);
  EXPECT_EQ(bytes[22], 1);
  gx::TGXMemoryStream s(bytes);
  TRRProjectSerializer ser(s, &Fs);
  TRREntityDescriptionList list(true);
  ser.ReadProject(file, nullptr, list);
  TRRBitmap decoded;
  ASSERT_TRUE(RRDecodeJpeg(ser.Thumbnail(), decoded));
  EXPECT_EQ(decoded.Width, 512);
  EXPECT_EQ(decoded.Height, 256);
  EXPECT_NEAR(decoded.Pixels[0], 200, 3);
  EXPECT_FALSE(RRDecodeJpeg({0xFF, 0xD8, 0xFF, 0x00}, decoded));
}

namespace {
struct TFakeClock : gx::IGXClock {
  int64_t Freq = 1000000, Count = 5000000;
  uint32_t Ticks = 1000;
  int64_t Frequency() const override { return Freq; }
  int64_t Counter() const override { return Count; }
  uint32_t TickCount() const override { return Ticks; }
  void Advance(int ms) {
    Count += Freq * ms / 1000;
    Ticks += static_cast<uint32_t>(ms);
  }
};
}  // namespace

TEST(FrameTimer, DeltaTimeFollowsTheCounterAndIgnoresJumps) {
  TFakeClock clock;
  gx::TGXTimer timer(&clock);
  clock.Advance(40);
  timer.Tick();
  EXPECT_NEAR(timer.DeltaTime(), 0.040f, 1e-6);
  EXPECT_EQ(timer.CurrentCounter(), 40000);
  // The counter jumps 5 s ahead while the tick count moves 40 ms: the jump is taken out.
  clock.Count += 5 * clock.Freq;
  clock.Advance(40);
  timer.Tick();
  EXPECT_NEAR(timer.DeltaTime(), 0.040f, 1e-3);
  clock.Advance(20);
  timer.Tick();
  EXPECT_NEAR(timer.DeltaTime(), 0.020f, 1e-6);
  // A run longer than the tick count's range (2^32 ms) keeps measuring after the wrap.
  TFakeClock longRun;
  gx::TGXTimer steady(&longRun);
  for (int day = 0; day < 50; ++day) {
    longRun.Count += longRun.Freq * 86400;
    longRun.Ticks += 86400000u;
    steady.Tick();
  }
  longRun.Advance(40);
  steady.Tick();
  EXPECT_NEAR(steady.DeltaTime(), 0.040f, 1e-6);
  // Without a counter the tick count alone measures, also across its wrap.
  TFakeClock noCounter;
  noCounter.Freq = 0;
  noCounter.Ticks = 0xFFFFFFF0u;
  gx::TGXTimer coarse(&noCounter);
  noCounter.Ticks += 32;
  coarse.Tick();
  EXPECT_FALSE(coarse.HasPerformanceCounter());
  EXPECT_NEAR(coarse.DeltaTime(), 0.032f, 1e-6);
}

TEST_F(TProjectFixture, FrameStepCountsFramesAndShowsTheRate) {
  TFakeClock clock;
  std::vector<std::string> fps;
  TRRProjectServices s = Project->Services();
  s.Clock = &clock;
  s.ShowFPS = [] { return true; };
  s.ShowFPSText = [&](const std::string& t) { fps.push_back(t); };
  Project = std::make_unique<TRRProject>(s);
  ASSERT_TRUE(Project->NewProject({}));
  for (int i = 0; i < 30; ++i) {
    clock.Advance(40);
    Project->Tick();
  }
  // 40 ms frames: the 26th frame reaches one second (the first measures the start).
  ASSERT_EQ(fps.size(), 1u);
  EXPECT_EQ(fps[0], "FPS: 26");
}

TEST_F(TProjectFixture, AFailingFrameStepIsReportedOnceWhileItsReportShows) {
  TFakeClock clock;
  int reports = 0;
  TRRProjectServices s = Project->Services();
  s.Clock = &clock;
  s.ShowFPS = [] { return true; };
  s.ShowFPSText = [](const std::string&) { throw std::runtime_error("Statuszeile weg"); };
  // The report's modal box runs the event loop: the frame timers fire again meanwhile.
  s.HandleException = [&](std::exception_ptr) {
    if (++reports > 10) return;  // without the guard: a report per tick, nested
    for (int i = 0; i < 5; ++i) {
      clock.Advance(400);
      Project->Tick();
    }
  };
  Project = std::make_unique<TRRProject>(s);
  ASSERT_TRUE(Project->NewProject({}));
  // The first step only measures the start; the steps after it fail.
  for (int i = 0; i < 10 && reports == 0; ++i) {
    clock.Advance(1000);
    Project->Tick();
  }
  ASSERT_EQ(reports, 1);
  for (int i = 0; i < 2; ++i) {
    clock.Advance(1000);
    Project->Tick();
  }
  EXPECT_EQ(reports, 3);  // one per failed step, none from the steps inside the report
  EXPECT_TRUE(Project->IsOpen());
}

TEST_F(TProjectFixture, EventsRunInTheFrameStepAndACloseAskedForThereWaitsForItsEnd) {
  TFakeClock clock;
  TRRProjectServices s = Project->Services();
  s.CreateEventSection = nullptr;
  s.Clock = &clock;
  Project = std::make_unique<TRRProject>(s);
  ASSERT_TRUE(Project->NewProject({}));
  TRRTrackDesc d(TRRTrackType::Switch);
  d.SetID(M().NextID());
  M().ReserveIDs(1);
  for (int i = 0; i < 2; ++i) d.AddRoute(std::make_unique<TRRTrackRouteDesc>());
  auto* turnout = static_cast<TRRTrack*>(M().CreateEntity(nullptr, d));
  // A countdown runs out and its action throws the turnout; whoever hears of that closes the
  // layout while the event manager is still running its actions.
  TRREventManager* events = Project->EventManager();
  auto e = std::make_unique<TRREvent>(events);
  auto c = std::make_unique<TRRCountdownCondition>();
  c->SetCountdownName("Abfahrt");
  e->SetCondition(std::move(c));
  auto a = std::make_unique<TRRSwitchTrackRouteAction>();
  a->SetTrackID(turnout->ID());
  e->AddAction(std::move(a));
  e->AddAction(std::make_unique<TRRStopCountdownAction>());  // runs after the close was asked for
  events->Root().AddEvent(std::move(e));
  events->StartCountdown("Abfahrt", false, 0, 0.1f);
  int switched = 0;
  Project->AddEventObserver([&](TRRConditionKind kind, const TRREventNotification&) {
    if (kind != TRRConditionKind::Switch) return;
    ++switched;
    Project->CloseProject();
    EXPECT_TRUE(Project->IsOpen()) << "closed in the middle of the frame step";
  });
  for (int i = 0; i < 10 && Project->IsOpen(); ++i) {
    clock.Advance(40);
    Project->Tick();
  }
  EXPECT_EQ(switched, 1);
  EXPECT_FALSE(Project->IsOpen());
}

// A piece of track has nothing to animate, and the frame step passes it by; linked, it follows its
// target (a link made later as well as one read from the description), and stops once unlinked.
TEST_F(TProjectFixture, TheFrameStepPassesUnlinkedPiecesByAndLinkedOnesFollow) {
  TFakeClock clock;
  TRRProjectServices s = Project->Services();
  s.Clock = &clock;
  Project = std::make_unique<TRRProject>(s);
  ASSERT_TRUE(Project->NewProject({}));
  auto piece = [&](float x, int32_t link) {
    TRRTrackDesc d(TRRTrackType::Straight);
    d.SetID(M().NextID());
    M().ReserveIDs(1);
    d.SetPosition({x, 0, 0});
    d.SetLinkTarget(link);
    d.AddRoute(std::make_unique<TRRTrackRouteDesc>());
    return static_cast<TRRTrack*>(M().CreateEntity(nullptr, d));
  };
  auto frames = [&] {
    for (int i = 0; i < 2; ++i) {
      clock.Advance(40);
      Project->Tick();
    }
  };
  TRRTrack* target = piece(0, 0);
  TRRTrack* later = piece(10, 0);
  TRRTrack* fromFile = piece(20, target->ID());
  frames();
  EXPECT_TRUE(later->IdleInFrames());
  EXPECT_FALSE(fromFile->IdleInFrames());
  later->SetLinkTarget(target);
  EXPECT_FALSE(later->IdleInFrames());
  target->SetPosition({0, 0, 5});
  frames();
  EXPECT_NEAR(later->WorldPosition().z, 5, 1e-4f);
  EXPECT_NEAR(fromFile->WorldPosition().z, 5, 1e-4f);
  later->SetLinkTarget(nullptr);
  EXPECT_TRUE(later->IdleInFrames());
  target->SetPosition({0, 0, 9});
  frames();
  EXPECT_NEAR(later->WorldPosition().z, 5, 1e-4f);
  EXPECT_NEAR(fromFile->WorldPosition().z, 9, 1e-4f);
}

TEST_F(TProjectFixture, EventReferencesFollowTheRenumberingOnLoadAndImport) {
  // The program's event manager instead of the recording stand-in.
  TRRProjectServices s = Project->Services();
  s.CreateEventSection = nullptr;
  Project = std::make_unique<TRRProject>(s);
  ASSERT_TRUE(Project->NewProject({}));
  for (int i = 6; i <= 8; ++i) AddFile("Gleis " + std::to_string(i), {static_cast<float>(i), 0, 0});
  TRREventManager* events = Project->EventManager();
  ASSERT_NE(events, nullptr);
  auto addEvent = [&](int32_t track) {
    auto e = std::make_unique<TRREvent>(events);
    auto c = std::make_unique<TRRSwitchCondition>(e.get());
    c->SetTrackID(track);
    e->SetCondition(std::move(c));
    events->Root().AddEvent(std::move(e));
  };
  addEvent(8);
  addEvent(-1);
  // A deleted entity leaves a gap that closes on load (its place among the children goes to the
  // last child, so the file holds 1 ... 5, 8, 7).
  delete M().FindByID(6);
  std::string file = File("Ereignisse.vmp");
  ASSERT_TRUE(Project->SaveProject(file));
  ASSERT_TRUE(Project->LoadProject(file, false)) << (Errors.empty() ? "" : Errors[0]);
  events = Project->EventManager();
  ASSERT_EQ(events->Root().EventCount(), 2);
  auto track = [&](int i) {
    return static_cast<TRRSwitchCondition*>(events->Root().Event(i)->Condition())->TrackID();
  };
  EXPECT_EQ(track(0), 6);
  EXPECT_EQ(track(1), -1);
  EXPECT_EQ(M().FindByID(6)->CreateDescription()->Name().GetText(), "Gleis 8");
  EXPECT_TRUE(Project->IsReferencedByEvents(M().FindByID(6)));
  EXPECT_FALSE(Project->IsReferencedByEvents(M().FindByID(7)));

  // Importing the file into itself: the imported event follows the imported copy.
  int32_t next = M().NextID();
  ASSERT_TRUE(Project->ImportFile(file));
  ASSERT_EQ(events->Root().EventCount(), 4);
  // The light and the cameras are fixed and stay behind: the panel, then "Gleis 8".
  EXPECT_EQ(track(2), next + 1);
}
