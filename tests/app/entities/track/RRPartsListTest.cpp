// The parts list: rows per (system, name) in walk order, nested tracks, renamed tracks, sorting,
// and the exact bytes of both file forms (code page, CRLF, escaping, quoting, empty layout), and
// a write that fails leaving nothing behind.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/entities/track/RRPartsList.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "app/RRUIService.h"
#include "engine/core/GXSceneNode.h"
#include "tests/app/entities/EntityTestSupport.h"

using namespace rr;

namespace {

struct TLayout {
  rrtest::TTestManager Manager;
  gx::TGXSceneNode Root{"Wurzel"};
  int NextID = 1;
  // A straight of the system, named, with a description text, under parent (the root).
  TRRTrack* Add(const std::string& system, const std::string& name, const std::string& text = "",
                gx::TGXNode* parent = nullptr) {
    TRRTrackDesc d(TRRTrackType::Straight);
    d.SetID(NextID++);
    d.Name().SetUserText(name);
    d.Description().SetUserText(text);
    d.TrackSystemName().SetUserText(system);
    auto r = std::make_unique<TRRTrackRouteDesc>();
    r->L1 = 10;
    d.AddRoute(std::move(r));
    return static_cast<TRRTrack*>(TRRTrack::StaticClass().Create(parent ? parent : &Root, &Manager, d));
  }
};

std::vector<std::string> Names(const TRRPartsList& list) {
  std::vector<std::string> out;
  for (const TRRPartsListRow& r : list.Rows()) out.push_back(r.System + "/" + r.Name + "=" + std::to_string(r.Count));
  return out;
}

}  // namespace

TEST(PartsList, CountsPerSystemAndNameInWalkOrderIncludingNestedAndRenamedTracks) {
  TLayout l;
  l.Add("Profilgleis", "G1", "Gerade 188,3 mm");
  l.Add("Profilgleis", "R1");
  l.Add("Modellgleis", "G1");  // the same name in another system is another row
  auto* group = new gx::TGXSceneNode("Gruppe", &l.Root);
  l.Add("Profilgleis", "G1", "", group);
  l.Add("Profilgleis", "R1", "", group)->SetName("R1 gekürzt");  // renamed by the user
  TRRPartsList list;
  list.Build(l.Root);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"Profilgleis/G1=2", "Profilgleis/R1=1", "Modellgleis/G1=1",
                                                   "Profilgleis/R1 gekürzt=1"}));
  EXPECT_EQ(list.Rows()[0].Description, "Gerade 188,3 mm");
  EXPECT_EQ(list.TrackCount(), 5);

  // Count descending keeps ties in walk order; text columns ignore case; clicking twice reverses.
  list.Sort(TRRPartsListColumn::Count, false);
  EXPECT_EQ(Names(list)[0], "Profilgleis/G1=2");
  EXPECT_EQ(Names(list)[1], "Profilgleis/R1=1");
  list.SortBy(TRRPartsListColumn::System);
  EXPECT_TRUE(list.SortAscending());
  EXPECT_EQ(list.Rows()[0].System, "Modellgleis");
  list.SortBy(TRRPartsListColumn::System);
  EXPECT_FALSE(list.SortAscending());
  EXPECT_EQ(list.Rows().back().System, "Modellgleis");
  list.SortBy(TRRPartsListColumn::Name);
  EXPECT_TRUE(list.SortAscending());
  EXPECT_EQ(list.Rows()[0].Name, "G1");
}

TEST(PartsList, WritesBothFormsInTheCodePageWithCrlfEscapingAndQuoting) {
  TLayout l;
  l.Add("Gleis & Co", "<G1>", "Länge \"lang\"; 20 €");
  l.Add("Gleis & Co", "Ω-Bogen");  // no Windows-1252 character
  TRRPartsList list;
  list.Build(l.Root);
  const std::string html = list.ToHtml("Anlage Süd", "01.02.2026 03:04:05");
  EXPECT_EQ(html,
            "<html>\r\n<head><title>St\xFC" "ckliste - 3D-Velmora 2013</title></head>\r\n<body>\r\n"
            "<h1>St\xFC" "ckliste - 3D-Velmora 2013</h1>\r\n<p>Anlage S\xFC" "d<br>\r\n"
            "Erstellt am 01.02.2026 03:04:05.</p>\r\n<table>\r\n<tr>\r\n<th>Gleissystem</th>\r\n<th>Name</th>\r\n"
            "<th>Anzahl</th>\r\n<th>Beschreibung</th>\r\n</tr>\r\n<tr>\r\n<td>Gleis &amp; Co</td>\r\n"
            "<td>&lt;G1&gt;</td>\r\n<td>1</td>\r\n<td>L\xE4nge &quot;lang&quot;; 20 \x80</td>\r\n</tr>\r\n"
            "<tr>\r\n<td>Gleis &amp; Co</td>\r\n<td>&#937;-Bogen</td>\r\n<td>1</td>\r\n<td></td>\r\n</tr>\r\n"
            "</table>\r\n</body>\r\n</html>\r\n");
  const std::string csv = list.ToCsv("Anlage; Süd", "01.02.2026 03:04:05");
  EXPECT_EQ(csv,
            "St\xFC" "ckliste - 3D-Velmora 2013\r\n\"Anlage; S\xFC" "d\"\r\nErstellt am 01.02.2026 03:04:05\r\n\r\n"
            "Gleissystem;Name;Anzahl;Beschreibung\r\n"
            "Gleis & Co;<G1>;1;\"L\xE4nge \"\"lang\"\"; 20 \x80\"\r\nGleis & Co;?-Bogen;1;\r\n");

  TRRPartsList empty;
  empty.Build(gx::TGXSceneNode("Leer"));
  EXPECT_NE(empty.ToHtml("Neues Projekt", "D").find("<p><b>Keine Gleise vorhanden.</b></p>\r\n</body>"),
            std::string::npos);
  EXPECT_EQ(empty.ToCsv("Neues Projekt", "D"),
            "St\xFC" "ckliste - 3D-Velmora 2013\r\nNeues Projekt\r\nErstellt am D\r\n\r\n"
            "Gleissystem;Name;Anzahl;Beschreibung\r\n");
}

TEST(PartsList, SavesThroughATemporaryFileAndReportsWhereItWent) {
  std::string dir = (std::filesystem::temp_directory_path() / "velmora-partslist-XXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  TLayout l;
  l.Add("Profilgleis", "G1");
  TRRPartsList list;
  list.Build(l.Root);
  TRRScriptedUIService ui;
  const std::string file = dir + "/liste.csv";
  list.Save(file, RRPartsListFormatOfFile(file), "A", "D", &ui);
  std::ifstream in(file, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), list.ToCsv("A", "D"));
  ASSERT_EQ(ui.Texts().size(), 1u);
  EXPECT_EQ(ui.Texts()[0], "Stückliste erfolgreich gespeichert unter " + file + ".");

  // A folder that does not exist: the error reaches the caller, nothing is said and no file stays.
  EXPECT_ANY_THROW(list.Save(dir + "/fehlt/liste.html", TRRPartsListFormat::Html, "A", "D", &ui));
  EXPECT_EQ(ui.Texts().size(), 1u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
  std::filesystem::remove_all(dir);

  // Names, extensions and the date form.
  EXPECT_EQ(RRPartsListProjectName("/x/Meine Anlage.vmp"), "Meine Anlage");
  EXPECT_EQ(RRPartsListProjectName(""), "Neues Projekt");
  EXPECT_EQ(RRPartsListFileName("/x/liste", RRPartsListFormatOfFilter(1)), "/x/liste.csv");
  EXPECT_EQ(RRPartsListFileName("/x/liste", RRPartsListFormatOfFilter(0)), "/x/liste.html");
  EXPECT_EQ(RRPartsListFileName("/x/liste.htm", TRRPartsListFormat::Csv), "/x/liste.htm");
  EXPECT_EQ(RRPartsListFormatOfFile("a.CSV"), TRRPartsListFormat::Csv);
  EXPECT_EQ(RRPartsListDate(0).size(), 19u);
  EXPECT_EQ(RRPartsListDate(0).substr(2, 1), ".");
}
