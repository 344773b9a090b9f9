// Reading XTrackCAD parameter files: our own small libraries (every piece type and segment kind,
// UTF-8 and Windows-1252), faults and limits of hostile files, the conversion of each piece type,
// the gauge mapping, refusals with their reasons and the names and paths of the entries.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/RRTrackLibrary.h"
#include "app/RRTrackLibraryConvert.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackCatalogue.h"
#include "app/entities/track/RRTrackRoute.h"
#include "tests/app/ManagerTestSupport.h"
#include "tests/app/TrackLibraryTestSupport.h"

namespace fs = std::filesystem;
using namespace rr;

namespace {

constexpr double kPi = 3.14159265358979323846;

std::string DataFile(const char* name) {
  return std::string(VELMORA_SOURCE_DIR) + "/tests/app/data/tracklib/" + name;
}
const char* const kNordmark = "Nordmark Profilgleis H0.xtp";
const char* const kSuedbahn = "Suedbahn Kleingleis N.xtp";

// One definition in a file of its own, converted.
TRRTrackLibraryPiece ConvertOne(const std::string& definition, const std::string& prelude = "") {
  TRRTrackLibraryFile f = RRReadTrackLibrary(prelude + definition, "test.xtp");
  EXPECT_EQ(f.Definitions.size(), 1u) << definition;
  if (f.Definitions.empty()) return {};
  return RRConvertTrackDefinition(f.Definitions[0], f);
}

}  // namespace

// ---- reading ----

TEST(TrackLibraryReader, ReadsBothEncodingsHeadingsTitlesAndCountsWhatItSkips) {
  TRRTrackLibraryFile utf8 = RRReadTrackLibraryFile(DataFile(kNordmark));
  EXPECT_EQ(utf8.Encoding, TRRTrackLibraryEncoding::Utf8);
  EXPECT_EQ(utf8.Contents, "Nordmark Profilgleis H0");
  ASSERT_GE(utf8.Definitions.size(), 13u);
  const TRRTrackLibraryDefinition& straight = utf8.Definitions[0];
  EXPECT_EQ(straight.Scale, "HO");
  EXPECT_EQ(straight.Manufacturer, "Nordmark Profilgleis");
  EXPECT_EQ(straight.Description, "Gerade 188,3 mm");
  EXPECT_EQ(straight.PartNumber, "NM 1188");
  EXPECT_EQ(straight.SubContents, "Nordmark Profilgleis Gleise");
  ASSERT_EQ(straight.Info.size(), 5u);
  EXPECT_EQ(straight.Info[2], "Nordmark Profilgleis");
  EXPECT_TRUE(straight.Ended);
  EXPECT_TRUE(straight.Fault.empty());
  ASSERT_EQ(straight.EndPoints.size(), 2u);
  EXPECT_DOUBLE_EQ(straight.EndPoints[1].X, 7.413386);
  EXPECT_DOUBLE_EQ(straight.EndPoints[1].Angle, 90);
  ASSERT_EQ(straight.Paths.size(), 1u);
  EXPECT_EQ(straight.Paths[0].Name, "Normal");
  EXPECT_EQ(straight.Paths[0].Segments, std::vector<int>{1});
  EXPECT_EQ(utf8.Definitions[1].Description, "Bogen R1 30° rechts");
  // The crossing's two simultaneous tracks are one path with a 0 between them.
  EXPECT_EQ(utf8.Definitions[5].Paths[0].Segments, (std::vector<int>{1, 0, 2}));
  // A drawing line, a polygon with its four number lines, a point and a circle.
  EXPECT_EQ(utf8.Skipped.Drawing, 1 + 5 + 1 + 1);
  EXPECT_EQ(utf8.Skipped.Unknown, 0);

  TRRTrackLibraryFile ansi = RRReadTrackLibraryFile(DataFile(kSuedbahn));
  EXPECT_EQ(ansi.Encoding, TRRTrackLibraryEncoding::Windows1252);
  EXPECT_EQ(ansi.Contents, "Südbahn Kleingleis Spur N");
  ASSERT_EQ(ansi.Definitions.size(), 3u);
  EXPECT_EQ(ansi.Definitions[0].Manufacturer, "Südbahn Kleingleis");
  EXPECT_EQ(ansi.Definitions[1].Description, "Bogen R 192 mm 30°");
  EXPECT_EQ(ansi.Definitions[2].SubContents, "Südbahn Kleingleis Weichen");
  EXPECT_EQ(ansi.Skipped.Structure, 1);
  EXPECT_EQ(ansi.Skipped.CarPart, 1);
  EXPECT_EQ(ansi.Skipped.CarProto, 1);
  EXPECT_EQ(ansi.Skipped.Unknown, 1);
  ASSERT_EQ(ansi.Scales.size(), 1u);
  EXPECT_EQ(ansi.Scales[0].Name, "Nm");
  EXPECT_DOUBLE_EQ(ansi.Scales[0].GaugeInches, 0.256);

  // Plain ASCII, a byte-order mark and CR LF line ends.
  TRRTrackLibraryFile plain =
      RRReadTrackLibrary("\xEF\xBB\xBFTURNOUT N \"a\"\r\n\tE 0 0 90\r\n\tEND\r\n", "x");
  EXPECT_EQ(plain.Encoding, TRRTrackLibraryEncoding::Ascii);
  ASSERT_EQ(plain.Definitions.size(), 1u);
  EXPECT_TRUE(plain.Definitions[0].Ended);
  EXPECT_EQ(plain.Definitions[0].Description, "a");
}

TEST(TrackLibraryReader, FaultyDefinitionsCarryTheirFirstFaultWithTheLine) {
  struct TCase {
    std::string Text;
    bool Ended;
    const char* Fault;  // part of the fault, "" for none
  };
  const std::string longLine = "\tP \"N\" " + std::string(RRMaxTrackLibraryLineLength, '1') + "\n";
  const std::vector<TCase> cases = {
      {"TURNOUT HO \"t\"\n\tE nan 0 90\n\tEND\n", true, "Zeile 2: Eine Angabe ist keine endliche Zahl."},
      {"TURNOUT HO \"t\"\n\tE inf 0 90\n\tEND\n", true, "keine endliche Zahl"},
      {"TURNOUT HO \"t\"\n\tS 0 0 1e400 0 1 0\n\tEND\n", true, "keine endliche Zahl"},
      {"TURNOUT HO \"t\"\n\tC 0 0 1 2\n\tEND\n", true, "Zeile 2: Es fehlen Zahlen."},
      {"TURNOUT HO \"t\"\n\tP \"N\" 1 x\n\tEND\n", true, "als eine Gleisstücknummer"},
      {"TURNOUT HO \"t\"\n\tP \"N\" 99999999\n\tEND\n", true, "als eine Gleisstücknummer"},
      {"TURNOUT HO\n\tEND\n", true, "Titel"},
      {"TURNOUT \"t\"\n\tEND\n", true, "Maßstab"},
      {"TURNOUT HO \"t\"\n" + longLine + "\tEND\n", true, "ist länger als"},
      // Cut off by the next definition, by another block and by the end of the file.
      {"TURNOUT HO \"t\"\n\tE 0 0 90\nTURNOUT HO \"u\"\n\tEND\n", false, ""},
      {"TURNOUT HO \"t\"\n\tE 0 0 90\nSTRUCTURE HO \"s\"\n\tEND\n", false, ""},
      {"TURNOUT HO \"t\"\n\tE 0 0 90\n", false, ""},
  };
  for (const TCase& c : cases) {
    TRRTrackLibraryFile f = RRReadTrackLibrary(c.Text, "x");
    ASSERT_GE(f.Definitions.size(), 1u) << c.Text.substr(0, 80);
    const TRRTrackLibraryDefinition& d = f.Definitions[0];
    EXPECT_EQ(d.Ended, c.Ended) << c.Text;
    if (*c.Fault)
      EXPECT_NE(d.Fault.find(c.Fault), std::string::npos) << c.Text << " -> " << d.Fault;
    else
      EXPECT_TRUE(d.Fault.empty()) << d.Fault;
    TRRTrackLibraryPiece p = RRConvertTrackDefinition(d, f);
    EXPECT_EQ(p.Description, nullptr);
    EXPECT_EQ(p.Refusal, *c.Fault ? TRRTrackRefusal::Faulty : TRRTrackRefusal::Truncated) << c.Text;
  }
}

TEST(TrackLibraryReader, AMillionDefinitionsAndMegabyteLinesStayWithinTheLimits) {
  std::string text;
  const std::string one = "TURNOUT HO \"a\tb\tc\"\nEND\n";
  text.reserve(one.size() * 1000000 + 2000000);
  for (int i = 0; i < 1000000; ++i) text += one;
  text += std::string(1 << 20, 'x') + "\n";
  TRRTrackLibraryFile f = RRReadTrackLibrary(text, "gross.xtp");
  EXPECT_EQ(f.Definitions.size(), static_cast<size_t>(RRMaxTrackLibraryDefinitions));
  EXPECT_EQ(f.Skipped.Beyond, 1000000 - RRMaxTrackLibraryDefinitions);
  EXPECT_EQ(f.Skipped.TooLong, 1);
  ASSERT_EQ(f.Notes.size(), 1u);
  EXPECT_NE(f.Notes[0].find("mehr als 20000 Gleisdefinitionen"), std::string::npos);
  EXPECT_EQ(f.Lines, 2000001);
}

TEST(TrackLibraryReader, FilesThatCannotBeReadRaiseOneClearMessage) {
  std::string dir = (fs::temp_directory_path() / "velmora-tracklib-XXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const std::string big = dir + "/gross.xtp";
  { std::ofstream(big) << "x"; }
  fs::resize_file(big, static_cast<uintmax_t>(RRMaxTrackLibraryFileSize) + 1);
  struct TCase {
    std::string Path;
    const char* Message;
  };
  for (const TCase& c : std::vector<TCase>{{dir + "/fehlt.xtp", "kann nicht geöffnet werden"},
                                           {dir, "ist keine Datei"},
                                           {big, "ist größer als 64 MiB"}}) {
    try {
      RRReadTrackLibraryFile(c.Path);
      ADD_FAILURE() << c.Path;
    } catch (const ETrackLibraryError& e) {
      EXPECT_NE(std::string(e.what()).find(c.Message), std::string::npos) << e.what();
    }
  }
  fs::remove_all(dir);
}

// ---- conversion ----

TEST(TrackLibraryConvert, EveryPieceTypeOfOurLibraryImportsAndMeetsItsEndPoints) {
  TRRTrackLibraryFile file = RRReadTrackLibraryFile(DataFile(kNordmark));
  std::vector<TRRTrackLibraryPiece> pieces = RRConvertTrackLibrary(file);
  struct TCase {
    const char* Name;
    TRRTrackType Type;
    int Routes;
    int Active;
  };
  const std::vector<TCase> cases = {
      {"NM 1188 Gerade 188,3 mm", TRRTrackType::Straight, 1, 0},
      {"NM 1330 Bogen R1 30° rechts", TRRTrackType::Curve, 1, 0},
      {"NM 1331 Bogen R1 30° links", TRRTrackType::Curve, 1, 0},
      {"NM 1611 Weiche links 24,3°", TRRTrackType::Switch, 2, 0},
      {"NM 1630 Dreiwegweiche 24,3°", TRRTrackType::ThreeWaySwitch, 3, 1},
      {"NM 1640 Kreuzung 24,3°", TRRTrackType::Crossing, 2, 0},
      {"NM 1624 Doppelte Kreuzungsweiche 24,3°", TRRTrackType::CrossSwitch, 4, 0},
      {"NM 1977 Prellbock 77,5 mm", TRRTrackType::BufferStop, 1, 0},
      {"NM 1861 Drehscheibe 300 mm", TRRTrackType::Turntable, 3, 0},
      {"NM 1862 Segmentdrehscheibe 4 Gleise", TRRTrackType::Turntable, 2, 0},
      {"NM 1900 Flexgleis 914 mm", TRRTrackType::Flexible, 1, 0},
      {"NM 1672 Bogenweiche rechts 30°", TRRTrackType::Switch, 2, 0},
      {"NM 2100 Gerade 100 mm", TRRTrackType::Straight, 1, 0},
  };
  ASSERT_EQ(pieces.size(), cases.size());
  mgrtest::TTestProject project;
  for (size_t i = 0; i < cases.size(); ++i) {
    const TCase& c = cases[i];
    const TRRTrackLibraryPiece& p = pieces[i];
    ASSERT_EQ(p.Name, c.Name);
    ASSERT_NE(p.Description, nullptr) << c.Name << ": " << p.Reason;
    EXPECT_EQ(p.Description->Type(), c.Type) << c.Name;
    EXPECT_EQ(p.Description->RouteCount(), c.Routes) << c.Name;
    EXPECT_EQ(p.Description->ActiveRoute(), c.Active) << c.Name;
    tlibtest::ExpectRoutesMeetEndPoints(project, *p.Description, file.Definitions[i], c.Name);
  }
  // The numbers of the simple pieces (centimetres, radians, right bends positive).
  const TRRTrackRouteDesc& straight = *pieces[0].Description->Route(0);
  EXPECT_NEAR(straight.L1, 18.83f, 1e-4f);
  const TRRTrackRouteDesc& right = *pieces[1].Description->Route(0);
  EXPECT_NEAR(right.Radius, 36.0f, 1e-4f);
  EXPECT_NEAR(right.Angle, kPi / 6, 1e-6);
  const TRRTrackRouteDesc& left = *pieces[2].Description->Route(0);
  EXPECT_NEAR(left.Radius, -36.0f, 1e-4f);
  EXPECT_NEAR(left.Angle, -kPi / 6, 1e-6);
  // The switch's diverging route keeps the file's radius after its lead-in.
  const TRRTrackRouteDesc& diverging = *pieces[3].Description->Route(1);
  EXPECT_NEAR(diverging.L1, 0.648601f * 2.54f, 1e-4f);
  EXPECT_NEAR(diverging.Radius, -43.75f, 1e-4f);
  EXPECT_NEAR(diverging.L2, 0.6f * 2.54f, 1e-4f);
  // The crossing's second route turns about the first one's midpoint.
  EXPECT_NEAR(pieces[5].Description->Route(1)->Rotation, 24.3 * kPi / 180, 1e-6);
  EXPECT_NEAR(pieces[5].Description->Route(1)->Shift, 0, 1e-4);
  // Turntables: diameters 60 and 90 degrees apart.
  EXPECT_NEAR(pieces[8].Description->Route(1)->Rotation, kPi / 3, 1e-6);
  EXPECT_NEAR(pieces[9].Description->Route(0)->L1, 30.0f, 1e-4f);
  EXPECT_NEAR(std::fabs(pieces[9].Description->Route(1)->Rotation), kPi / 2, 1e-6);
  // Flexible track keeps only its length.
  EXPECT_NEAR(pieces[10].Description->Route(0)->FlexL, 91.4f, 1e-3f);
  EXPECT_TRUE(pieces[10].Description->Route(0)->IsFlexible());
  // Texts: the manufacturer's first word, the rest its system; the gauge from the scale.
  EXPECT_EQ(pieces[0].Description->Manufacturer().GetText(), "Nordmark");
  EXPECT_EQ(pieces[0].Description->TrackSystemName().GetText(), "Profilgleis");
  EXPECT_EQ(pieces[0].Description->Description().GetText(), "Gerades Gleis, 188,3 mm");
  EXPECT_EQ(pieces[1].Description->Description().GetText(), "Gebogenes Gleis rechts, R 360 mm, 30°");
  EXPECT_EQ(pieces[0].Description->TrackWidth(), 3);
  EXPECT_EQ(pieces[12].Description->TrackWidth(), 2);  // HOm runs on TT track
  EXPECT_EQ(pieces[0].Description->CataloguePath(),
            "Gleise\\Nordmark\\H0\\Profilgleis\\NM 1188 Gerade 188,3 mm");
  EXPECT_EQ(pieces[0].Description->AssetID(), RRTrackAssetID(pieces[0].Description->CataloguePath()));
  EXPECT_EQ(pieces[12].Description->CataloguePath(),
            "Gleise\\Nordmark\\TT\\Schmalspur\\NM 2100 Gerade 100 mm");
}

TEST(TrackLibraryConvert, TheWindows1252LibraryImportsWithItsTexts) {
  TRRTrackLibraryFile file = RRReadTrackLibraryFile(DataFile(kSuedbahn));
  std::vector<TRRTrackLibraryPiece> pieces = RRConvertTrackLibrary(file);
  ASSERT_EQ(pieces.size(), 3u);
  mgrtest::TTestProject project;
  const TRRTrackType types[3] = {TRRTrackType::Straight, TRRTrackType::Curve, TRRTrackType::Switch};
  for (size_t i = 0; i < 3; ++i) {
    ASSERT_NE(pieces[i].Description, nullptr) << pieces[i].Reason;
    EXPECT_EQ(pieces[i].Description->Type(), types[i]);
    EXPECT_EQ(pieces[i].Description->TrackWidth(), 1);
    EXPECT_EQ(pieces[i].Description->Manufacturer().GetText(), "Südbahn");
    tlibtest::ExpectRoutesMeetEndPoints(project, *pieces[i].Description, file.Definitions[i], pieces[i].Name);
  }
  EXPECT_EQ(pieces[1].Name, "SB 9130 Bogen R 192 mm 30°");
}

TEST(TrackLibraryConvert, ScalesMapToGaugesDirectlyOrByTheirTrackWidth) {
  const std::vector<TRRTrackLibraryScale> fileScales = {{"Sm", 64, 0.4724}, {"Schmal", 60, 0.5}};
  struct TCase {
    const char* Scale;
    int Gauge;
  };
  for (const TCase& c : std::vector<TCase>{
           {"Z", 0},   {"N", 1},    {"TT", 2},   {"HO", 3},      {"OO", 3},    {"O", 4},     {"1", 5},
           {"G", 7},   {"ho", 3},   {"HOm", 2},  {"HOe", 1},     {"HOn30", 1}, {"OO9", 1},   {"On30", 3},
           {"Nm", 0},  {"Gn15", 3}, {"1/32", 5}, {"Gn3", 7},     {"Sm", 2},    {"HOn3", -1}, {"S", -1},
           {"EM", -1}, {"P4", -1},  {"*", -1},   {"Schmal", -1}, {"Xyz", -1},  {"", -1}}) {
    std::string reason;
    EXPECT_EQ(RRTrackLibraryGauge(c.Scale, fileScales, &reason), c.Gauge) << c.Scale;
    EXPECT_EQ(reason.empty(), c.Gauge >= 0) << c.Scale << ": " << reason;
  }
  std::string reason;
  RRTrackLibraryGauge("HOn3", {}, &reason);
  EXPECT_EQ(reason, "Zum Maßstab \"HOn3\" mit 10,5 mm Spurweite gibt es kein Gleissystem.");
  RRTrackLibraryGauge("Xyz", {}, &reason);
  EXPECT_EQ(reason, "Der Maßstab \"Xyz\" ist unbekannt.");
}

TEST(TrackLibraryConvert, DefinitionsNoRouteCanFollowAreRefusedWithTheirReason) {
  struct TCase {
    const char* Name;
    std::string Text;
    TRRTrackRefusal Refusal;
    const char* Reason;  // part of the reason
  };
  const std::string head = "TURNOUT HO \"M\tT\t1\"\n";
  const std::vector<TCase> cases = {
      {"no path", head + "\tE 0 0 270\n\tE 1 0 90\n\tS 0 0 0 0 1 0\n\tEND\n", TRRTrackRefusal::NoPaths,
       "keinen Fahrweg"},
      {"missing segment", head + "\tP \"N\" 5\n\tE 0 0 270\n\tS 0 0 0 0 1 0\n\tEND\n",
       TRRTrackRefusal::BadSegment, "nennt das Gleisstück 5"},
      {"easement", head + "\tP \"N\" 1\n\tE 0 0 270\n\tJ 0 0 0 0 90 1 2 3\n\tEND\n",
       TRRTrackRefusal::Easement, "Übergangsbogen"},
      {"two radii",
       head + "\tP \"N\" 1 2\n\tE 0 0 270\n\tE 6.8301270 -3.1698730 150\n"
              "\tC 0 0 10 0 -10 0 30\n\tC 0 0 5 2.5 -5.6698730 30 30\n\tEND\n",
       TRRTrackRefusal::SeveralArcs, "Bögen mit den Radien 254,00 mm und 127,00 mm"},
      {"S curve",
       head + "\tP \"N\" 1 2\n\tE 0 0 270\n\tE 10 -2.6794919 90\n"
              "\tC 0 0 10 0 -10 0 30\n\tC 0 0 -10 10 7.3205081 180 30\n\tEND\n",
       TRRTrackRefusal::SeveralArcs, "Gegenbogen"},
      {"gap",
       head + "\tP \"N\" 1 2\n\tE 0 0 270\n\tE 2.5 0 90\n\tS 0 0 0 0 1 0\n\tS 0 0 1.5 0 2.5 0\n\tEND\n",
       TRRTrackRefusal::Broken, "um 12,70 mm unterbrochen"},
      {"kink",
       head + "\tP \"N\" 1 2\n\tE 0 0 270\n\tE 1.9396926 0.3420201 70\n"
              "\tS 0 0 0 0 1 0\n\tS 0 0 1 0 1.9396926 0.3420201\n\tEND\n",
       TRRTrackRefusal::Kink, "knickt zwischen den Gleisstücken 1 und 2 um 20,00°"},
      {"off the end point", head + "\tP \"N\" 1\n\tE 0 0 270\n\tE 1.4 0 90\n\tS 0 0 0 0 1 0\n\tEND\n",
       TRRTrackRefusal::NotAtEndPoint, "endet 10,16 mm neben dem nächsten Endpunkt"},
      {"direction", head + "\tP \"N\" 1\n\tE 0 0 270\n\tE 1 0 100\n\tS 0 0 0 0 1 0\n\tEND\n",
       TRRTrackRefusal::Direction, "um 10,00° schräg"},
      {"straight at an angle", head + "\tP \"N\" 1\n\tE 0 0 270\n\tE 4 0 90.5\n\tS 0 0 0 0 4 0\n\tEND\n",
       TRRTrackRefusal::Mismatch, "nicht in ihrer Richtung hintereinander (0,50° Abweichung)"},
      {"tiny radius", head + "\tP \"N\" 1\n\tE 0 0 270\n\tC 0 0 0.01 0 -0.01 0 30\n\tEND\n",
       TRRTrackRefusal::Absurd, "Radius unter 1 mm"},
      {"200 m", head + "\tP \"N\" 1\n\tE 0 0 270\n\tS 0 0 0 0 7874 0\n\tEND\n", TRRTrackRefusal::Absurd,
       "länger als 100 m"},
      {"far out", head + "\tP \"N\" 1\n\tE 1e12 0 270\n\tS 0 0 0 0 1 0\n\tEND\n", TRRTrackRefusal::Absurd,
       "außerhalb von 10 km"},
      {"no gauge", "TURNOUT HOn3 \"M\tT\t1\"\n\tP \"N\" 1\n\tE 0 0 270\n\tE 1 0 90\n\tS 0 0 0 0 1 0\n\tEND\n",
       TRRTrackRefusal::Scale, "10,5 mm Spurweite"},
      {"double track",
       head + "\tP \"N\" 1 0 2\n\tE 0 0 270\n\tE 4 0 90\n\tE 0 1.5 270\n\tE 4 1.5 90\n"
              "\tS 0 0 0 0 4 0\n\tS 0 0 0 1.5 4 1.5\n\tEND\n",
       TRRTrackRefusal::Placement, "keine Verschiebung und Drehung"},
      {"four-way",
       head + "\tP \"A\" 1\n\tP \"B\" 2\n\tP \"C\" 3\n\tP \"D\" 4\n\tE 0 0 270\n\tE 6 0 90\n"
              "\tE 5 -1.3397460 120\n\tE 5 1.3397460 60\n\tE 5.1763809 -0.6814835 105\n"
              "\tS 0 0 0 0 6 0\n\tC 0 0 10 0 -10 0 30\n\tC 0 0 -10 0 10 150 30\n"
              "\tC 0 0 20 0 -20 0 15\n\tEND\n",
       TRRTrackRefusal::Arrangement, "Mehr als drei Fahrwege"},
  };
  for (const TCase& c : cases) {
    TRRTrackLibraryPiece p = ConvertOne(c.Text);
    EXPECT_EQ(p.Description, nullptr) << c.Name;
    EXPECT_EQ(p.Refusal, c.Refusal) << c.Name << ": " << p.Reason;
    EXPECT_NE(p.Reason.find(c.Reason), std::string::npos) << c.Name << ": " << p.Reason;
    EXPECT_FALSE(std::string(RRTrackRefusalLabel(p.Refusal)).empty());
  }
}

TEST(TrackLibraryConvert, SegmentsSlightlyOffTheirEndPointsStillGiveExactRoutes) {
  // The file's arc ends 0.5 mm beyond its end point along the track: the route reaches the end
  // point exactly with the file's radius and a lead-in 0.5 mm shorter, staying within 1 mm of the
  // file's track; overlapping straights and a gap of 0.5 mm at a joint count as one track.
  const std::string text =
      "TURNOUT HO \"M\tT\t1\"\n\tP \"N\" 1 2 3\n\tE 0 0 270\n\tE 5.0 -0.6698730 120.0\n"
      "\tS 0 0 0 0 2 0\n\tS 0 0 1.98 0 2.5 0\n\tC 0 0 5 2.52 -5 0 30\n\tEND\n";
  TRRTrackLibraryFile f = RRReadTrackLibrary(text, "x");
  TRRTrackLibraryPiece p = RRConvertTrackDefinition(f.Definitions[0], f);
  ASSERT_NE(p.Description, nullptr) << p.Reason;
  mgrtest::TTestProject project;
  tlibtest::ExpectRoutesMeetEndPoints(project, *p.Description, f.Definitions[0], "offset arc");
}

TEST(TrackLibraryConvert, NamesRepeatedInAFileGetNumbersAndPathsStayTheSame) {
  const std::string one =
      "TURNOUT HO \"Werk\\Bahn\tGerade\t7\"\n\tP \"N\" 1\n\tE 0 0 270\n\tE 2 0 90\n"
      "\tS 0 0 0 0 2 0\n\tEND\n";
  TRRTrackLibraryFile f = RRReadTrackLibrary("CONTENTS Werk HO Scale\n" + one + one + one, "x");
  std::vector<TRRTrackLibraryPiece> a = RRConvertTrackLibrary(f), b = RRConvertTrackLibrary(f);
  ASSERT_EQ(a.size(), 3u);
  // A backslash would split a catalogue folder: it becomes a slash.
  EXPECT_EQ(a[0].Manufacturer, "Werk/Bahn");
  EXPECT_EQ(a[0].Name, "7 Gerade");
  EXPECT_EQ(a[1].Name, "7 Gerade (2)");
  EXPECT_EQ(a[2].Name, "7 Gerade (3)");
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(a[i].Description->CataloguePath(), b[i].Description->CataloguePath());
    EXPECT_EQ(a[i].Description->AssetID(), b[i].Description->AssetID());
    EXPECT_EQ(a[i].Description->Name().GetText(), a[i].Name);
  }
  EXPECT_NE(a[0].Description->AssetID(), a[1].Description->AssetID());
  // A one-word manufacturer takes its system from the heading without the scale words.
  EXPECT_EQ(
      ConvertOne(
          "TURNOUT N \"Werk\tGerade\t8\"\n\tP \"N\" 1\n\tE 0 0 270\n\tE 2 0 90\n\tS 0 0 0 0 2 0\n\tEND\n",
          "CONTENTS Werk N-Scale Feingleis\n")
          .SystemName,
      "Feingleis");
}

TEST(TrackLibraryConvert, ImportedPiecesSnapAndConnectLikeOurOwn) {
  TRRTrackLibraryFile file = RRReadTrackLibraryFile(DataFile(kNordmark));
  std::vector<TRRTrackLibraryPiece> pieces = RRConvertTrackLibrary(file);
  mgrtest::TTestProject project;
  auto place = [&](const TRRTrackDesc& d, gx::TGXVector3 position, gx::TGXQuaternion rotation) {
    std::unique_ptr<TRREntityDescription> copy = d.Clone();
    copy->SetID(project.M().NextID());
    project.M().ReserveIDs(1);
    copy->SetPosition(position);
    copy->SetRotation(rotation);
    auto* t = static_cast<TRRTrack*>(project.M().CreateEntity(nullptr, *copy));
    project.Scene.Root()->Update(false);
    return t;
  };
  // A curve, then a switch dropped near the curve's end and turned roughly: snapping puts the
  // switch's start exactly onto it, and the two are connected.
  TRRTrack* curve = place(*pieces[1].Description, {0, 0, 0}, {0, 0, 0, 1});
  TRRTrackRouteContact* end = curve->GetRoute(0)->Contact(1);
  const gx::TGXVector3 at = end->GetWorldPosition();
  TRRTrack* sw = place(*pieces[3].Description, {at.x + 0.3f, 0, at.z - 0.2f},
                       gx::GXQuaternionRotationAxis({0, 1, 0}, static_cast<float>(kPi / 6 + 0.05)));
  gx::TGXVector3 position;
  gx::TGXQuaternion rotation;
  ASSERT_TRUE(sw->FindSnap(0, position, rotation));
  sw->SetPosition(position);
  sw->SetRotation(rotation);
  project.Scene.Root()->Update(false);
  bool blocked = false;
  EXPECT_EQ(end->FindPartner(blocked), sw->GetRoute(0)->Contact(0));
  EXPECT_EQ(sw->GetRoute(1)->Contact(0)->FindPartner(blocked), end);
}
