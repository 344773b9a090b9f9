#include "app/RRGlobal.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/RRProject.h"
#include "app/RRUnits.h"
#include "engine/core/GXStream.h"

using namespace rr;
namespace fs = std::filesystem;

namespace {

// Every root of the program in a fresh temporary folder; the real home is never touched.
class RRGlobalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/velmora-global-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    FDir = pattern;
    for (const char* root : {"Game", "User", "CommonUser", "Documents", "CommonDocuments", "Temp"})
      FOptions.Roots.push_back({root, FDir + "/" + root});
    FOptions.UI = &FUI;
  }
  void TearDown() override { fs::remove_all(FDir); }

  std::string SettingsPath() const { return FDir + "/User/Settings.xml"; }
  std::string ReadSettings() const {
    std::ifstream in(SettingsPath(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void WriteSettings(const std::string& text) const {
    fs::create_directories(FDir + "/User");
    std::ofstream(SettingsPath(), std::ios::binary) << text;
  }
  std::string Sample() const { return FDir + "/Documents/Beispielanlagen/Kleine Beispielanlage.vmp"; }

  std::string FDir;
  TRRScriptedUIService FUI;
  TRRStartOptions FOptions;
};

std::string Recent(int n, const std::string& path) {
  std::string key = "RecentProject" + std::to_string(n);
  return "    <" + key + ">" + path + "</" + key + ">\r\n";
}

}  // namespace

TEST_F(RRGlobalTest, FirstStartWritesTheSettingsFileAndTheNextStartReadsItBack) {
  {
    TRRGlobal global(FOptions);
    EXPECT_EQ(Global(), &global);
    EXPECT_EQ(global.FileSystem().ResolvePath(RRSettingsFile), SettingsPath());
    ASSERT_EQ(global.RecentProjects(), std::vector<std::string>{Sample()});
    EXPECT_EQ(global.LengthUnitName(), "mm");
    EXPECT_EQ(global.AngleUnitName(), "°");
    EXPECT_TRUE(global.Animations());
    EXPECT_EQ(global.Volume(), 100.0f);
    EXPECT_EQ(global.RenderSettings().TextureQuality, 3);
  }
  EXPECT_EQ(Global(), nullptr);
  std::string expected =
      "<Application>\r\n"
      "  <DBSettings>\r\n"
      "    <AssetPaths />\r\n"
      "  </DBSettings>\r\n"
      "  <GeneralSettings>\r\n" +
      Recent(0, Sample());
  for (int n = 1; n < 9; ++n) expected += Recent(n, "");
  expected +=
      "    <Animations>1</Animations>\r\n"
      "  </GeneralSettings>\r\n"
      "  <SoundSettings>\r\n"
      "    <SoundEnabled>1</SoundEnabled>\r\n"
      "  </SoundSettings>\r\n"
      "  <RenderSettings />\r\n"
      "</Application>\r\n";
  EXPECT_EQ(ReadSettings(), expected);

  {
    TRRGlobal global(FOptions);
    EXPECT_EQ(global.RecentProjects(), std::vector<std::string>{Sample()});
    global.AddRecentProject(FDir + "/Anlage.vmp");
    global.SetAnimations(false);
  }
  {
    TRRGlobal global(FOptions);
    EXPECT_EQ(global.RecentProjects(), (std::vector<std::string>{FDir + "/Anlage.vmp", Sample()}));
    EXPECT_FALSE(global.Animations());
  }
  // Only the settings file is left in the folder: the temporary files were renamed or removed.
  int files = 0;
  for (auto& entry : fs::directory_iterator(FDir + "/User")) files += entry.is_regular_file();
  EXPECT_EQ(files, 1);
}

TEST_F(RRGlobalTest, RecentListKeepsNineNewestFirstComparesExactlyAndForgetsRemovedEntries) {
  {
    TRRGlobal global(FOptions);
    for (int i = 1; i <= 10; ++i) global.AddRecentProject(FDir + "/p" + std::to_string(i) + ".vmp");
    ASSERT_EQ(global.RecentProjects().size(), 9u);
    EXPECT_EQ(global.RecentProjects().front(), FDir + "/p10.vmp");
    EXPECT_EQ(global.RecentProjects().back(), FDir + "/p2.vmp");

    global.AddRecentProject(FDir + "/p5.vmp");  // moves to the top, no duplicate
    EXPECT_EQ(global.RecentProjects()[0], FDir + "/p5.vmp");
    EXPECT_EQ(global.RecentProjects()[1], FDir + "/p10.vmp");
    EXPECT_EQ(global.RecentProjects().size(), 9u);

    global.AddRecentProject(FDir + "/P5.vmp");  // another file on this system
    EXPECT_EQ(global.RecentProjects()[0], FDir + "/P5.vmp");
    EXPECT_EQ(global.RecentProjects()[1], FDir + "/p5.vmp");

    fs::path before = fs::current_path();
    fs::current_path(FDir);
    global.AddRecentProject("sub/../relativ.vmp");
    fs::current_path(before);
    EXPECT_EQ(global.RecentProjects()[0], FDir + "/relativ.vmp");

    for (int i = 0; i < 8; ++i) global.RemoveRecentProject(global.RecentProjects().back());
    EXPECT_EQ(global.RecentProjects().size(), 1u);
  }
  TRRGlobal global(FOptions);
  EXPECT_EQ(global.RecentProjects(), std::vector<std::string>{FDir + "/relativ.vmp"});
}

TEST_F(RRGlobalTest, OutOfRangeSettingsAreClampedAndWrittenBackSound) {
  WriteSettings(
      "<Application><GeneralSettings><LengthUnit>7</LengthUnit><AngleUnit>-1</AngleUnit>"
      "<Animations>true</Animations><SmartHints>0</SmartHints></GeneralSettings>"
      "<SoundSettings><Volume>99999999999</Volume><SoundEnabled>0</SoundEnabled></SoundSettings>"
      "<RenderSettings><MultiSample>99</MultiSample><TextureQuality>0</TextureQuality>"
      "<ReflectionQuality>9</ReflectionQuality><EnvReflectionQuality>-3</EnvReflectionQuality>"
      "<ShowFPS>1</ShowFPS></RenderSettings></Application>");
  {
    TRRGlobal global(FOptions);
    EXPECT_EQ(global.LengthUnit(), 4);
    EXPECT_EQ(global.LengthUnitName(), "\"");
    EXPECT_EQ(global.AngleUnit(), 0);
    EXPECT_TRUE(global.Animations());
    EXPECT_FALSE(global.GeneralSettings().SmartHints);
    EXPECT_EQ(global.Volume(), 100.0f);  // not an integer: the default
    EXPECT_FALSE(global.SoundEnabled());
    EXPECT_EQ(global.RenderSettings().MultiSample, 0);
    EXPECT_EQ(global.RenderSettings().TextureQuality, 1);
    EXPECT_EQ(global.RenderSettings().ReflectionQuality, 3);
    EXPECT_EQ(global.RenderSettings().EnvReflectionQuality, 0);
    EXPECT_TRUE(global.ShowFPS());
  }
  std::string saved = ReadSettings();
  for (const char* sound : {"<LengthUnit>4</LengthUnit>", "<AngleUnit>0</AngleUnit>", "<Animations>1</Animations>",
                            "<Volume>100</Volume>", "<MultiSample>0</MultiSample>", "<TextureQuality>1</TextureQuality>",
                            "<ReflectionQuality>3</ReflectionQuality>", "<EnvReflectionQuality>0</EnvReflectionQuality>"})
    EXPECT_NE(saved.find(sound), std::string::npos) << sound << "\n" << saved;
}

TEST_F(RRGlobalTest, TheProjectTakesTheRenderSettingsReadAtStartAndAgain) {
  WriteSettings(
      "<Application><RenderSettings><MultiSample>4</MultiSample><TextureQuality>2</TextureQuality>"
      "<ReflectionQuality>1</ReflectionQuality><EnvReflectionQuality>2</EnvReflectionQuality>"
      "</RenderSettings></Application>");
  TRRGlobal global(FOptions);
  int changed = 0;
  global.SetSettingsChangedHandler([&] { ++changed; });
  auto taken = [&] {
    const TRRProjectServices& s = global.Project().Services();
    return std::vector<int>{s.MultiSample, s.TextureQuality, s.PlanarReflectionQuality, s.EnvironmentQuality};
  };
  EXPECT_EQ(taken(), (std::vector<int>{4, 2, 1, 2}));
  global.SettingsNode("RenderSettings")->WriteInteger("MultiSample", 0);
  global.SettingsNode("RenderSettings")->WriteInteger("EnvReflectionQuality", 3);
  global.LoadSettings();
  EXPECT_EQ(taken(), (std::vector<int>{0, 2, 1, 3}));
  EXPECT_EQ(changed, 1);
}

TEST_F(RRGlobalTest, BrokenSettingsFilesStartWithDefaultsAndAreRewritten) {
  for (const std::string& text : {std::string("das ist kein XML"), std::string(),
                                  std::string("<Application><GeneralSettings><LengthUnit>3")}) {
    WriteSettings(text);
    {
      TRRGlobal global(FOptions);
      EXPECT_EQ(global.LengthUnit(), 0);
      EXPECT_EQ(global.RecentProjects(), std::vector<std::string>{Sample()});
    }
    std::string saved = ReadSettings();
    EXPECT_EQ(saved.rfind("<Application>\r\n", 0), 0u) << saved;
    gx::TGXConfiguration check;
    gx::TGXMemoryStream s(std::vector<uint8_t>(saved.begin(), saved.end()));
    EXPECT_NO_THROW(check.LoadFromStream(s));
  }
}

TEST_F(RRGlobalTest, AnUnwritableSettingsFolderDoesNotFailTheShutDown) {
  // The User root is a file, so no folder can be made there (this holds for root as well).
  std::ofstream(FDir + "/blocked") << "x";
  FOptions.Roots.push_back({"User", FDir + "/blocked"});
  auto global = std::make_unique<TRRGlobal>(FOptions);
  EXPECT_FALSE(global->SaveSettings());
  EXPECT_NO_THROW(global.reset());
  EXPECT_TRUE(fs::is_regular_file(FDir + "/blocked"));
}

TEST_F(RRGlobalTest, AssetPathsAreSortedWithoutDuplicatesAndKeepTheirSwitch) {
  TRRGlobal global(FOptions);
  global.SetAssetPaths({{"/daten/Zusatz", false}, {"/daten/alt/", true}, {"/daten/Zusatz/", false}, {"/daten/Basis/", false}});
  EXPECT_EQ(global.GetAssetPaths(), (std::vector<TRRAssetPath>{
                                        {"/daten/alt/", true}, {"/daten/Basis/", false}, {"/daten/Zusatz/", false}}));
  std::string text = global.Configuration().SaveToString();
  EXPECT_NE(text.find("<AssetPath enabled=\"0\">/daten/alt/</AssetPath>"), std::string::npos) << text;
  EXPECT_NE(text.find("<AssetPath>/daten/Basis/</AssetPath>"), std::string::npos) << text;
}

TEST_F(RRGlobalTest, DisplayUnitsFormatLengthsAndAngles) {
  ASSERT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  WriteSettings("<Application><GeneralSettings><LengthUnit>0</LengthUnit></GeneralSettings></Application>");
  TRRGlobal global(FOptions);
  gx::IGXConfigNode general = global.SettingsNode("GeneralSettings");
  struct {
    int Unit;
    double Centimetres;
    const char* Shown;
  } lengths[] = {{0, 12.345, "123.45"}, {0, 0.1, "1"},      {0, -0.0001, "0"},   {1, 16.5, "16.5"},
                 {1, 0.0005, "0.001"},  {2, 123.4, "12.34"}, {3, 123.4, "1.234"}, {4, 2.54, "1"}};
  for (const auto& c : lengths) {
    general->WriteInteger("LengthUnit", c.Unit);
    global.LoadSettings();
    EXPECT_EQ(global.FormatLength(c.Centimetres), c.Shown) << c.Unit << " " << c.Centimetres;
  }
  EXPECT_EQ(global.FormatAngle(M_PI / 2), "90");
  EXPECT_EQ(global.FormatAngle(0.5), "28.65");
  general->WriteInteger("AngleUnit", 1);
  global.LoadSettings();
  EXPECT_EQ(global.AngleUnitName(), "rad");
  EXPECT_EQ(global.FormatAngle(M_PI), "3.142");

  {
    // The display follows the user's number format; the settings file does not.
    std::string old = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "de_DE.UTF-8 fehlt (scripts/setup.sh erzeugt sie)";
    EXPECT_EQ(global.FormatAngle(M_PI / 3), "1,047");
    general->WriteFloat("Probe", 0.25);
    EXPECT_EQ(general->ReadString("Probe", ""), "0.25");
    std::setlocale(LC_ALL, old.c_str());
  }

  EXPECT_EQ(RRFormatDecimal(0.125, 2, "."), "0.13");
  EXPECT_EQ(RRFormatDecimal(-1.005, 2, ","), "-1,01");
  EXPECT_EQ(RRFormatDecimal(999.9999, 3, "."), "1000");
  EXPECT_EQ(RRFormatDecimal(1e20, 2, "."), "100000000000000000000");
  EXPECT_EQ(RRFormatNumber(2.0 / 3.0), "0.667");
}

// Numbers the user types into the pages: the locale's mark, a point or a comma, blanks and the
// unit around them; nothing that is not one finite number.
TEST(RRParseDecimal, ReadsTypedNumbersAndRefusesTheRest) {
  struct Case {
    const char* Text;
    const char* Separator;
    const char* Unit;
    std::optional<double> Value;
  };
  const Case cases[] = {
      {"12,5", ",", "", 12.5},        {"12.5", ",", "", 12.5},      {"12,5", ".", "", 12.5},
      {" -0,25 ", ",", "", -0.25},    {"+3", ".", "", 3.0},         {",5", ",", "", 0.5},
      {"7,", ",", "", 7.0},           {"12,5 cm", ",", "cm", 12.5}, {"12,5cm", ",", "cm", 12.5},
      {"1,5e2", ",", "", 150.0},      {"2e-1", ".", "", 0.2},       {"1e9", ".", "", 1e9},
      {"", ",", "", std::nullopt},    {"  ", ",", "", std::nullopt}, {"abc", ",", "", std::nullopt},
      {"1,2,3", ",", "", std::nullopt}, {"1.000,5", ",", "", std::nullopt}, {"--1", ",", "", std::nullopt},
      {"-", ",", "", std::nullopt},   {",", ",", "", std::nullopt}, {"inf", ".", "", std::nullopt},
      {"nan", ".", "", std::nullopt}, {"1e999", ".", "", std::nullopt}, {"1e", ".", "", std::nullopt},
      {"e5", ".", "", std::nullopt},  {"5 mm", ",", "cm", std::nullopt}, {"cm", ",", "cm", std::nullopt},
      {"1 2", ",", "", std::nullopt}, {"0x10", ".", "", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    const std::optional<double> v = RRParseDecimal(c.Text, c.Separator, c.Unit);
    ASSERT_EQ(v.has_value(), c.Value.has_value());
    if (v) {
      EXPECT_DOUBLE_EQ(*v, *c.Value);
    }
  }
  // A separator of more than one character (some locales) is taken as well.
  EXPECT_EQ(RRParseDecimal("3\u066B5", "\u066B"), 3.5);
}

// ---- error reports ----

namespace rrglobaltest {
__attribute__((noinline)) void FailSomewhereInside() {
  throw std::out_of_range("Index außerhalb des gültigen Bereichs");
}
}  // namespace rrglobaltest

TEST_F(RRGlobalTest, ErrorReportsForFileErrorsMissingPackageFilesAndUnexpectedErrors) {
  TRRGlobal global(FOptions);
  const std::string hint =
      ".\r\n\r\nVergewissern Sie sich, dass die Datei vorhanden ist und Sie die notwendigen Lese- bzw. "
      "Schreibrechte besitzen.";

  try {
    gx::TGXFileStream stream(FDir + "/fehlt.vmp", gx::TGXFileStream::Mode::Read);
  } catch (...) {
    global.HandleException();
  }
  try {
    global.FileSystem().OpenFile("User:\\fehlt.txt");
  } catch (...) {
    global.HandleException();
  }
  try {
    global.FileSystem().OpenFile("Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Box.gxmesh");
  } catch (...) {
    global.HandleException();
  }
  try {
    rrglobaltest::FailSomewhereInside();
  } catch (...) {
    global.HandleException();
  }
  try {
    throw 42;
  } catch (...) {
    global.HandleException();
  }

  const auto& shown = FUI.Shown();
  ASSERT_EQ(shown.size(), 5u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(shown[i].Caption, "Dateifehler");
    EXPECT_EQ(shown[i].Icon, TRRMessageIcon::Error);
  }
  EXPECT_EQ(shown[0].Text, "Datei kann nicht geöffnet werden: " + FDir + "/fehlt.vmp" + hint);
  EXPECT_EQ(shown[1].Text, "Datei " + FDir + "/User/fehlt.txt kann nicht geöffnet werden" + hint);
  EXPECT_EQ(shown[2].Text,
            "Ein Objekt referenziert eine Datei, die in keinem Datenbankpaket gefunden werden konnte.\r\n\r\n"
            "Stellen Sie sicher, dass Sie die aktuellste Programmversion besitzen und dass alle für das Projekt "
            "benötigten Datenbankpakete zur Verfügung stehen.");

  const std::string unexpected =
      "Im Programm ist ein unerwarteter Fehler aufgetreten. Es wird geraten, den Velmora zu beenden und neu zu "
      "starten. \r\n\r\nStellen Sie sicher, dass Sie stets die aktuellsten Programmupdates installiert haben. Führen "
      "Sie dazu über das Menü \"Hilfe\" -> \"3D-Velmora 2013 aktualisieren\" das automatische Update durch oder "
      "besuchen Sie das Internetforum über das Menü \"Hilfe\" -> \"Diskussionsforum\". \r\n\r\nFür weitere "
      "Informationen steht Ihnen die Hotline unter \"" +
      std::string(RRSupportAddress) + "\" zur Verfügung.";
  EXPECT_EQ(shown[3].Caption, "Unerwarteter Fehler");
  EXPECT_EQ(shown[3].Icon, TRRMessageIcon::Error);
  const std::string head = unexpected +
                           "\r\n\r\nBeschreibung: Es ist ein Fehler der Klasse \"std::out_of_range\" mit der Meldung "
                           "\"Index außerhalb des gültigen Bereichs\" aufgetreten.\r\n\r\nFehlerdetails:\r\n" +
                           TRRGlobal::ProgramVersion() + "\r\n";
  ASSERT_EQ(shown[3].Text.substr(0, head.size()), head);
  std::string stack = shown[3].Text.substr(head.size());
  EXPECT_EQ(stack.rfind("rrglobaltest::FailSomewhereInside()", 0), 0u) << stack;
  int lines = 1;
  for (size_t p = stack.find("\r\n"); p != std::string::npos; p = stack.find("\r\n", p + 2)) ++lines;
  EXPECT_EQ(lines, 8) << stack;

  // Without an exception object there is no description and no stack.
  EXPECT_EQ(shown[4].Text, unexpected + "\r\n\r\nFehlerdetails:\r\n" + TRRGlobal::ProgramVersion() + "\r\n");
  EXPECT_EQ(TRRGlobal::ProgramVersion().find('.'), TRRGlobal::ProgramVersion().size() - 3);
}

// ---- the settings file where the user keeps it ----

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string DeepNesting(int levels) {
  std::string text = "<Application>";
  for (int i = 0; i < levels; ++i) text += "<x>";
  for (int i = 0; i < levels; ++i) text += "</x>";
  return text + "</Application>";
}

std::string RandomBytes(size_t count) {
  std::string bytes;
  uint32_t state = 28;
  for (size_t i = 0; i < count; ++i) {
    state = state * 1664525u + 1013904223u;
    bytes += static_cast<char>(state >> 24);
  }
  return bytes;
}

}  // namespace

TEST_F(RRGlobalTest, AnUnreadableSettingsFileIsMovedAsideOnceAndTheProgramStartsOnDefaults) {
  const std::string good =
      "<Application><GeneralSettings><LengthUnit>3</LengthUnit><RecentProject0>/a.vmp</RecentProject0>";
  struct {
    const char* What;
    std::string Text;
    const char* Reason;
  } cases[] = {
      {"missing end tag", good + "</GeneralSettings>", "End-Tag fehlt"},
      {"cut file", good.substr(0, 50), "XML-Fehler"},
      {"NUL byte", good + std::string(1, '\0') + "</GeneralSettings></Application>", "NUL-Zeichen"},
      {"random bytes", RandomBytes(4096), ""},
      {"over 16 MiB", good + std::string(16 << 20, ' ') + "</GeneralSettings></Application>",
       "größer als 16 MiB"},
      {"20,000 levels", DeepNesting(20000), "tiefer als 256 Ebenen"},
  };
  const std::string aside = SettingsPath() + ".defekt";
  for (const auto& c : cases) {
    WriteSettings(c.Text);
    std::ofstream(aside) << "die vorige Kopie";
    FUI.ClearShown();
    {
      TRRGlobal global(FOptions);
      // Moved aside before anything could be written, with the bytes as they were.
      EXPECT_FALSE(fs::exists(SettingsPath())) << c.What;
      EXPECT_TRUE(ReadFile(aside) == c.Text) << c.What;
      ASSERT_EQ(FUI.Shown().size(), 1u) << c.What;
      const auto& shown = FUI.Shown()[0];
      EXPECT_EQ(shown.Caption, "Einstellungen");
      EXPECT_EQ(shown.Text.rfind("Die Einstellungsdatei „" + SettingsPath() + "“ war beschädigt (", 0), 0u)
          << shown.Text;
      EXPECT_NE(shown.Text.find(c.Reason), std::string::npos) << c.What << ": " << shown.Text;
      EXPECT_NE(shown.Text.find(") und wurde nach „" + aside +
                                "“ verschoben. Es gelten die Standardeinstellungen."),
                std::string::npos)
          << shown.Text;
      EXPECT_EQ(global.LengthUnit(), 0) << c.What;
      EXPECT_EQ(global.RecentProjects(), std::vector<std::string>{Sample()}) << c.What;
    }
    EXPECT_EQ(FUI.Shown().size(), 1u) << c.What;  // the shut-down adds nothing
    EXPECT_EQ(ReadSettings().rfind("<Application>\r\n", 0), 0u) << c.What;
    EXPECT_TRUE(ReadFile(aside) == c.Text) << c.What;
  }

  // Sound, missing and empty files are read without a word.
  for (const std::string& text : {good + "</GeneralSettings></Application>", std::string(" \r\n")}) {
    WriteSettings(text);
    FUI.ClearShown();
    { TRRGlobal global(FOptions); }
    EXPECT_TRUE(FUI.Shown().empty()) << FUI.Shown()[0].Text;
  }
}

TEST_F(RRGlobalTest, ADamagedSettingsFileThatCannotBeMovedAsideIsNeverOverwritten) {
  WriteSettings("<Application><GeneralSettings>");
  // A folder (not empty) under the name of the copy: the rename cannot replace it.
  fs::create_directories(SettingsPath() + ".defekt/belegt");
  {
    TRRGlobal global(FOptions);
    ASSERT_EQ(FUI.Shown().size(), 1u);
    EXPECT_EQ(FUI.Shown()[0].Text.rfind("Die Einstellungsdatei „" + SettingsPath() + "“ ist beschädigt (", 0),
              0u)
        << FUI.Shown()[0].Text;
    EXPECT_FALSE(global.SaveSettings());
  }
  EXPECT_EQ(ReadSettings(), "<Application><GeneralSettings>");
}

TEST_F(RRGlobalTest, ALinkedSettingsFileIsWrittenThroughAndRescuedWhereItsTargetLies) {
  fs::create_directories(FDir + "/User");
  fs::create_directories(FDir + "/Sicherung");
  const std::string target = FDir + "/Sicherung/velmora.xml";
  std::ofstream(target)
      << "<Application><GeneralSettings><LengthUnit>2</LengthUnit></GeneralSettings></Application>";
  fs::create_symlink("../Sicherung/velmora.xml", SettingsPath());
  {
    TRRGlobal global(FOptions);
    EXPECT_EQ(global.LengthUnit(), 2);
    global.AddRecentProject(FDir + "/Anlage.vmp");
  }
  EXPECT_TRUE(fs::is_symlink(SettingsPath()));
  EXPECT_NE(ReadFile(target).find("<RecentProject0>" + FDir + "/Anlage.vmp</RecentProject0>"),
            std::string::npos);
  EXPECT_EQ(FUI.Shown().size(), 0u);

  std::ofstream(target) << "<Application>";
  { TRRGlobal global(FOptions); }
  ASSERT_EQ(FUI.Shown().size(), 1u);
  EXPECT_NE(FUI.Shown()[0].Text.find("nach „" + target + ".defekt“ verschoben"), std::string::npos)
      << FUI.Shown()[0].Text;
  EXPECT_EQ(ReadFile(target + ".defekt"), "<Application>");
  EXPECT_TRUE(fs::is_symlink(SettingsPath()));
  EXPECT_EQ(ReadFile(target).rfind("<Application>\r\n", 0), 0u);
}

TEST_F(RRGlobalTest, AFolderInThePlaceOfTheSettingsFileIsReportedOnce) {
  fs::create_directories(SettingsPath());
  {
    TRRGlobal global(FOptions);
    EXPECT_FALSE(global.SaveSettings());
  }
  ASSERT_EQ(FUI.Texts().size(), 1u);
  EXPECT_EQ(FUI.Texts()[0],
            "An der Stelle der Einstellungsdatei „" + SettingsPath() +
                "“ liegt ein Ordner. Die Einstellungen können erst gespeichert werden, wenn er "
                "entfernt oder umbenannt ist.");
  EXPECT_TRUE(fs::is_directory(SettingsPath()));
}

TEST_F(RRGlobalTest, ValuesReadAsTheirDefaultsOrClampedAreLoggedOnceWithoutAMessage) {
  WriteSettings(
      "<Application><GeneralSettings><LengthUnit>7</LengthUnit><Animations>true</Animations>"
      "<AngleUnit>1</AngleUnit></GeneralSettings><SoundSettings><Volume>3,5</Volume></SoundSettings>"
      "<RenderSettings><MultiSample>99</MultiSample><VSync>" +
      std::string(100, 'j') + "</VSync></RenderSettings></Application>");
  TRRGlobal global(FOptions);
  EXPECT_EQ(FUI.LogLines(),
            (std::vector<std::string>{
                "Einstellung GeneralSettings/LengthUnit: „7“ liegt außerhalb von 0 bis 4, es gilt 4.",
                "Einstellung GeneralSettings/Animations: „true“ ist keine ganze Zahl, es gilt 1.",
                "Einstellung SoundSettings/Volume: „3,5“ ist keine ganze Zahl, es gilt 100.",
                "Einstellung RenderSettings/MultiSample: „99“ liegt außerhalb von 0 bis 16, es gilt 0.",
                "Einstellung RenderSettings/VSync: „" + std::string(60, 'j') +
                    "…“ ist keine ganze Zahl, es gilt 1.",
            }));
  EXPECT_TRUE(FUI.Shown().empty());
  global.LoadSettings();
  EXPECT_EQ(FUI.LogLines().size(), 5u);
}
