#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>

#include "app/RREntityManager.h"
#include "app/RRGlobal.h"
#include "app/RRProject.h"
#include "app/RREventActions.h"
#include "app/RREventConditions.h"
#include "app/RREvents.h"
#include "app/entities/RREntityGroup.h"
#include "app/entities/RRSignal.h"
#include "app/entities/RRTrackVehicle.h"
#include "app/entities/track/RRTrack.h"
#include "cli/CliJson.h"
#include "cli/ProjectCommands.h"
#include "cli/RunCommand.h"

namespace fs = std::filesystem;

namespace {

struct TCliProject : ::testing::Test {
  std::string Dir;
  rr::TRRScriptedUIService Ui;
  std::unique_ptr<rr::TRRGlobal> Global;

  void SetUp() override {
    Dir = (fs::temp_directory_path() / "velmora-projectcmd-XXXXXX").string();
    ASSERT_NE(mkdtemp(Dir.data()), nullptr);
    rr::TRRStartOptions options;
    options.UI = &Ui;
    for (const char* root : {"Game", "User", "CommonUser", "Documents", "CommonDocuments", "Temp"})
      options.Roots.push_back({root, Dir + "/" + root});
    Global = std::make_unique<rr::TRRGlobal>(options);
  }
  void TearDown() override {
    Global.reset();
    fs::remove_all(Dir);
  }
};

}  // namespace

TEST_F(TCliProject, InfoListsTheEntitiesOfASavedLayoutAndConvertKeepsItsBytes) {
  rr::TRRProject& project = Global->Project();
  ASSERT_TRUE(project.NewProject({}));
  rr::TRREntityGroupDesc group, member;
  group.Name().SetUserText("Bahnhof \"Süd\"");
  group.SetPosition({1, 2, 3});
  group.SetID(project.Manager()->NextID());
  member.SetID(group.ID() + 1);
  member.SetLinkTarget(group.ID());
  group.AddChild(member.Clone());
  project.Manager()->ReserveIDs(2);
  project.Manager()->CreateEntity(nullptr, group);
  std::string file = Dir + "/Anlage.vmp";
  ASSERT_TRUE(project.SaveProject(file));
  project.CloseProject();

  std::ostringstream out, err;
  ASSERT_EQ(cli::RunInfoCommand({file, "--json"}, out, err), 0) << err.str();
  const std::string json = out.str();
  auto has = [&](const std::string& part) {
    EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
  };
  has("\"header\":{\"guid\":\"{C6E7B3C7-D72C-4451-8C41-032323E8F90D}\",\"version\":12},\"thumbnailSize\":0");
  // A new project holds the light, the baseboard and the three fixed cameras (IDs 1 to 5).
  has("\"entityCount\":6");
  // The free camera is the active one; the light starts at its first preset.
  has("\"camera\":{\"type\":1,\"active\":true,\"target\":0,");
  has("\"camera\":{\"type\":3,\"active\":false,");
  has("\"camera\":{\"type\":4,\"active\":false,");
  has("\"light\":{\"index\":0,");
  has("{\"id\":6,\"kind\":\"TRREntityGroupDesc\",\"kindId\":\"{280464B0-A843-4A29-A93E-4065F9C4EBC5}\","
      "\"name\":\"Bahnhof \\\"Süd\\\"\",\"position\":[1,2,3],\"rotation\":[0,0,0,1],\"link\":0,"
      "\"children\":[{\"id\":7,");
  has("\"link\":6,\"children\":[]}]}");
  EXPECT_FALSE(project.IsOpen());

  std::string copy = Dir + "/Kopie.vmp";
  ASSERT_EQ(cli::RunConvertCommand({file, copy}, out, err), 0) << err.str();
  std::ifstream a(file, std::ios::binary), b(copy, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(a), {}),
            std::string(std::istreambuf_iterator<char>(b), {}));

  EXPECT_EQ(cli::RunInfoCommand({}, out, err), 2);
  EXPECT_EQ(cli::RunConvertCommand({Dir + "/fehlt.vmp", copy}, out, err), 1);
}

TEST(SampleLayouts, AreCopiedIntoTheDocumentsAtTheFirstStartOnly) {
  std::string dir = (fs::temp_directory_path() / "velmora-samples-XXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  fs::create_directories(dir + "/Game/Beispielanlagen");
  std::ofstream(dir + "/Game/Beispielanlagen/Kleine Beispielanlage.vmp") << "neu";
  std::ofstream(dir + "/Game/Beispielanlagen/Zweite.vmp") << "zwei";
  rr::TRRScriptedUIService ui;
  rr::TRRStartOptions options;
  options.UI = &ui;
  for (const char* root : {"Game", "User", "CommonUser", "Documents", "CommonDocuments", "Temp"})
    options.Roots.push_back({root, dir + "/" + root});
  auto read = [](const std::string& f) {
    std::ifstream in(f);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  { rr::TRRGlobal global(options); }
  EXPECT_EQ(read(dir + "/Documents/Beispielanlagen/Kleine Beispielanlage.vmp"), "neu");
  EXPECT_EQ(read(dir + "/Documents/Beispielanlagen/Zweite.vmp"), "zwei");
  // A sample the user changed stays as it is.
  std::ofstream(dir + "/Documents/Beispielanlagen/Kleine Beispielanlage.vmp") << "geändert";
  { rr::TRRGlobal global(options); }
  EXPECT_EQ(read(dir + "/Documents/Beispielanlagen/Kleine Beispielanlage.vmp"), "geändert");
  fs::remove_all(dir);
}

namespace {

std::string ReadFile(const std::string& f) {
  std::ifstream in(f, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
void WriteFile(const std::string& f, const std::string& bytes) {
  std::ofstream(f, std::ios::binary) << bytes;
}

}  // namespace

// Input a command cannot use gives one line naming the file and what is wrong, and exit status 1.
TEST_F(TCliProject, FilesOfAnotherKindOrVersionGiveOneLineEach) {
  rr::TRRProject& project = Global->Project();
  ASSERT_TRUE(project.NewProject({}));
  const std::string layout = Dir + "/Anlage.vmp";
  ASSERT_TRUE(project.SaveProject(layout));
  project.CloseProject();
  const std::string bytes = ReadFile(layout);
  std::string newer = bytes, older = bytes;
  newer[18] = 13;  // the header's version (bytes 18..21)
  older[18] = 7;
  // An object file: the engine header with the object file's class and version 3.
  const std::string object =
      std::string("\x05\x23", 2) +
      std::string("\x72\x6C\xA9\xF5\x1D\xCB\xCA\x46\x92\xF7\x4D\x4F\xF9\xE5\x99\x55", 16) +
      std::string("\x03\0\0\0", 4);
  const struct {
    const char* Name;
    std::string Bytes;  // empty: the name is a folder
    const char* Info;
    const char* Convert;
  } cases[] = {
      {"text.vmp", "Hallo, ich bin keine Anlage.\n", "ist keine Projektdatei.",
       "ist weder eine Projekt- noch eine Objektdatei."},
      {"object.vme", object, "ist eine Objektdatei, keine Projektdatei.", "ist beschädigt."},
      {"newer.vmp", newer, "wurde mit einer neueren Version erstellt.",
       "wurde mit einer neueren Version erstellt."},
      {"older.vmp", older, "wurde mit einer zu alten Version", "wurde mit einer zu alten Version"},
      {"cut.vmp", bytes.substr(0, bytes.size() - 9), "ist beschädigt.", "ist beschädigt."},
      {"ordner.vmp", "", "ist ein Ordner, keine Datei.", "ist ein Ordner, keine Datei."},
      {"fehlt.vmp", "-", "wurde nicht gefunden.", "wurde nicht gefunden."},
  };
  for (const auto& c : cases) {
    const std::string file = Dir + "/" + c.Name;
    if (c.Bytes.empty())
      fs::create_directory(file);
    else if (c.Bytes != "-")
      WriteFile(file, c.Bytes);
    for (bool info : {true, false}) {
      std::ostringstream out, err;
      int rc = info ? cli::RunInfoCommand({file}, out, err)
                    : cli::RunConvertCommand({file, Dir + "/out.vmp"}, out, err);
      EXPECT_EQ(rc, 1) << c.Name;
      const std::string line = err.str();
      EXPECT_EQ(line.find("\"" + file + "\" " + (info ? c.Info : c.Convert)), 0u) << c.Name << ": " << line;
      EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
    }
  }
  EXPECT_FALSE(fs::exists(Dir + "/out.vmp"));
  // A folder as the output, and "new" over an existing file without --force.
  std::ostringstream out, err;
  EXPECT_EQ(cli::RunConvertCommand({layout, Dir + "/ordner.vmp"}, out, err), 1);
  EXPECT_NE(err.str().find("ordner.vmp\" ist ein Ordner"), std::string::npos) << err.str();
  EXPECT_EQ(cli::RunNewCommand({"--out", layout}, out, err), 1);
  EXPECT_NE(err.str().find("--force"), std::string::npos) << err.str();
  EXPECT_EQ(ReadFile(layout), bytes);
  EXPECT_EQ(cli::RunNewCommand({"--out", layout, "--force"}, out, err), 0) << err.str();
}

// Stored placements that are not finite load as 0 and the identity, are reported once, and are
// never written back or printed as something no JSON reader takes.
TEST_F(TCliProject, NonFinitePlacementsLoadAsZeroAndAreReportedOnce) {
  rr::TRRProject& project = Global->Project();
  ASSERT_TRUE(project.NewProject({}));
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  rr::TRREntityGroupDesc group;
  group.SetID(project.Manager()->NextID());
  group.SetPosition({nan, 2, -inf});
  group.SetRotation({0, inf, 0, 1});
  group.SetScale({nan, 2, 2});
  project.Manager()->ReserveIDs(1);
  project.Manager()->CreateEntity(nullptr, group);
  const std::string file = Dir + "/Kaputt.vmp";
  ASSERT_TRUE(project.SaveProject(file));
  project.CloseProject();
  Ui.ClearShown();

  std::ostringstream out, err;
  ASSERT_EQ(cli::RunInfoCommand({file, "--json"}, out, err), 0) << err.str();
  EXPECT_NE(out.str().find("\"position\":[0,2,0],\"rotation\":[0,0,0,1]"), std::string::npos) << out.str();
  int reports = 0;
  for (const std::string& t : Ui.Texts()) reports += t.find("3 ungültige Zahlenwerte") != std::string::npos;
  EXPECT_EQ(reports, 1);
  const std::string copy = Dir + "/Heil.vmp";
  ASSERT_EQ(cli::RunConvertCommand({file, copy}, out, err), 0) << err.str();
  Ui.ClearShown();
  ASSERT_EQ(cli::RunInfoCommand({copy}, out, err), 0);
  EXPECT_TRUE(Ui.Texts().empty()) << Ui.Texts()[0];
  EXPECT_EQ(cli::JsonNumber(nan), "null");
  EXPECT_EQ(cli::JsonNumber(-inf), "null");
}

namespace {

// A straight piece of the given length whose start lies at z.
int32_t Straight(rr::TRRProject& project, float z, float length) {
  rr::TRRTrackDesc d(rr::TRRTrackType::Straight);
  d.SetID(project.Manager()->NextID());
  project.Manager()->ReserveIDs(1);
  d.SetPosition({0, 0, z});
  auto r = std::make_unique<rr::TRRTrackRouteDesc>();
  r->L1 = length;
  d.AddRoute(std::move(r));
  return project.Manager()->CreateEntity(nullptr, d)->ID();
}

template <class T>
T* Added(rr::TRREvent* e) {
  return static_cast<T*>(e->AddAction(std::make_unique<T>()));
}

}  // namespace

TEST_F(TCliProject, RunLogsTheEventsThatStopAndStartATrainAtASignal) {
  rr::TRRProject& project = Global->Project();
  ASSERT_TRUE(project.NewProject({}));
  Straight(project, 0, 100);
  const int32_t station = Straight(project, 100, 100);
  Straight(project, 200, 400);
  rr::TRRTrackVehicleDesc loco;
  loco.SetID(project.Manager()->NextID());
  loco.Name().SetUserText("Sperber");
  loco.ForwardAxis = 1;
  loco.TrackID = station - 1;
  loco.RoutePosition = 50;
  loco.HasEngine = true;
  loco.TargetSpeed = loco.CurrentSpeed = 40;
  rr::TRRSignalDesc signal;
  signal.SetID(loco.ID() + 1);
  signal.Name().SetUserText("Einfahrsignal");
  project.Manager()->ReserveIDs(2);
  project.Manager()->CreateEntity(nullptr, loco);
  project.Manager()->CreateEntity(nullptr, signal);

  rr::TRREventManager& events = *project.EventManager();
  auto event = [&](const std::string& name, std::unique_ptr<rr::TRRCondition> condition) {
    auto e = std::make_unique<rr::TRREvent>(&events);
    e->SetName(name);
    e->SetID(events.NewID());
    e->SetCondition(std::move(condition));
    return events.Root().AddEvent(std::move(e));
  };
  auto enter = std::make_unique<rr::TRRTrackEnterCondition>();
  enter->SetTrackID(station);
  rr::TRREvent* arrive = event("Einfahrt", std::move(enter));
  auto* close = Added<rr::TRRSetSignalAction>(arrive);
  close->SetSignalID(signal.ID());
  close->SetState(1);
  auto* stop = Added<rr::TRRSetVehicleSpeedAction>(arrive);
  stop->SetTrackID(station);
  auto* wait = Added<rr::TRRStartCountdownAction>(arrive);
  wait->SetCountdownName("Aufenthalt");
  wait->SetDuration(2);
  auto expired = std::make_unique<rr::TRRCountdownCondition>();
  expired->SetCountdownName("Aufenthalt");
  rr::TRREvent* leave = event("Ausfahrt", std::move(expired));
  static_cast<rr::TRRSetSignalAction*>(leave->AddAction(std::make_unique<rr::TRRSetSignalAction>()))
      ->SetSignalID(signal.ID());  // toggles back to open
  auto* go = Added<rr::TRRSetVehicleSpeedAction>(leave);
  go->SetVehicleID(loco.ID());
  go->SetSpeed(40);
  const std::string file = Dir + "/Bahnhof.vmp";
  ASSERT_TRUE(project.SaveProject(file));
  project.CloseProject();

  std::ostringstream out, err;
  ASSERT_EQ(cli::RunRunCommand({file, "--seconds", "8"}, out, err), 0) << err.str();
  const std::string log = out.str();
  // In this order: the train enters the station, the three actions run in the same frame step
  // (the signal's change reported as it happens), the countdown runs out two seconds later and
  // its actions open the signal and start the train again.
  const std::vector<std::string> lines = {
      "Zug betritt ein Gleis: \"Sperber\"",
      "Signal schaltet: \"Einfahrsignal\"",
      "Aktion \"Signal einstellen\" von \"Einfahrt\": Halt",
      "Aktion \"Lokgeschwindigkeit setzen\" von \"Einfahrt\": Geschwindigkeit 0 cm/s für 1 Lok",
      "Aktion \"Countdown starten\" von \"Einfahrt\": Countdown „Aufenthalt“ 2 s",
      "Countdown läuft ab: \"Aufenthalt\"",
      "Signal schaltet: \"Einfahrsignal\"",
      "Aktion \"Signal einstellen\" von \"Ausfahrt\": Fahrt",
      "Aktion \"Lokgeschwindigkeit setzen\" von \"Ausfahrt\": Geschwindigkeit 40 cm/s für 1 Lok",
  };
  size_t at = 0;
  for (const std::string& line : lines) {
    const size_t found = log.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << "\n" << log;
    at = found + line.size();
  }
  EXPECT_NE(log.find("Signale:\n  ID " + std::to_string(signal.ID()) + " \"Einfahrsignal\": Fahrt"), std::string::npos)
      << log;
  // The countdown's two seconds: from the frame after the entry to its expiry.
  const auto time = [&](const std::string& line) { return std::stod(log.substr(log.rfind('\n', log.find(line)) + 1)); };
  EXPECT_NEAR(time("Countdown läuft ab") - time("Aktion \"Countdown starten\""), 2.0, 0.05);

  // A hand on the layout: the signal set at 0.5 s (the first frame from then on), by ID and by
  // name, the night's light first; a countdown still running is saved and listed.
  std::ostringstream hand, handErr;
  const std::string saved = Dir + "/Halt.vmp";
  ASSERT_EQ(cli::RunRunCommand({file, "--seconds", "2", "--set", "0.5:#" + std::to_string(signal.ID()) + "=1",
                                "--set", "1.0:Einfahrsignal=0", "--light", "nacht", "--out", saved},
                               hand, handErr),
            0)
      << handErr.str();
  const std::string handLog = hand.str();
  EXPECT_NE(handLog.find("0.520 s  Bild 13  Signal schaltet: \"Einfahrsignal\""), std::string::npos) << handLog;
  EXPECT_NE(handLog.find("1.000 s  Bild 25  Signal schaltet: \"Einfahrsignal\""), std::string::npos) << handLog;
  EXPECT_NE(handLog.find("Beleuchtung: Nacht"), std::string::npos) << handLog;
  std::ostringstream info, infoErr;
  ASSERT_EQ(cli::RunInfoCommand({saved, "--json"}, info, infoErr), 0) << infoErr.str();
  EXPECT_NE(info.str().find("\"countdowns\":[{\"name\":\"Aufenthalt\",\"duration\":2,\"autoRestart\":false,"),
            std::string::npos)
      << info.str();
  // What cannot be set by hand, and lights that do not exist, are wrong use.
  for (const std::vector<std::string>& wrong :
       {std::vector<std::string>{file, "--seconds", "1", "--set", "0.5:Sperber=1"},
        std::vector<std::string>{file, "--seconds", "1", "--set", "0.5:Niemand=1"},
        std::vector<std::string>{file, "--seconds", "1", "--set", "halb:Einfahrsignal=1"},
        std::vector<std::string>{file, "--seconds", "1", "--light", "Mondschein"}}) {
    std::ostringstream o, e;
    EXPECT_EQ(cli::RunRunCommand(wrong, o, e), 2) << wrong.back();
    EXPECT_FALSE(e.str().empty());
  }
}
