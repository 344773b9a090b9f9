// The track systems of the base catalogue (data/tracks) and the definition reader.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "app/RRDatabase.h"
#include "app/entities/track/RRTrackCatalogue.h"
#include "app/entities/track/RRTrackRoute.h"
#include "app/entities/track/RRTrackSystems.h"
#include "engine/core/GXFileSystem.h"
#include "tests/app/entities/EntityTestSupport.h"

using namespace rr;

namespace {

constexpr float kPi = 3.14159265f;

// The whole catalogue as assetgen builds it, in memory.
class TrackCatalogue : public ::testing::Test {
 protected:
  void SetUp() override {
    Tracks = Asset.Root().AddChild();
    Tracks->Name().SetText(gx::GX_LANG_GERMAN, "Gleise");
    std::vector<std::filesystem::path> files;
    for (const auto& e :
         std::filesystem::directory_iterator(std::filesystem::path(VELMORA_SOURCE_DIR) / "data" / "tracks"))
      files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
      std::ifstream in(f, std::ios::binary);
      std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      RRAddTrackSystem(*Tracks, "Gleise", RRReadTrackSystem(text, f.filename().string()));
    }
    Collect(*Tracks);
  }
  void Collect(TRRAssetNode& node) {
    for (TRREntityDescription* d : node.Descriptions()) All.push_back(static_cast<TRRTrackDesc*>(d));
    for (int i = 0; i < node.ChildCount(); ++i) Collect(*node.Child(i));
  }
  const TRRTrackDesc& Piece(const std::string& path) const {
    for (TRRTrackDesc* d : All)
      if (d->CataloguePath() == path) return *d;
    throw std::runtime_error("missing " + path);
  }

  gx::TGXFileSystem FileSystem;
  TRRDatabase Db{FileSystem, {}};
  TRRAsset Asset{&Db};
  TRRAssetNode* Tracks = nullptr;
  std::vector<TRRTrackDesc*> All;
};

gx::TGXRef<TRRTrackRoute> StandaloneRoute(const TRRTrackRouteDesc& d, float scale) {
  return gx::TGXRef<TRRTrackRoute>(new TRRTrackRoute(nullptr, 0, d, scale));
}

bool Near(const gx::TGXVector3& a, const gx::TGXVector3& b, float tol) {
  return std::fabs(a.x - b.x) < tol && std::fabs(a.y - b.y) < tol && std::fabs(a.z - b.z) < tol;
}

}  // namespace

TEST_F(TrackCatalogue, EverySystemHasTheFullRangeOfPieces) {
  // (manufacturer, gauge, system) -> the types and curve shapes it offers.
  struct TRange {
    std::set<int> Types;
    std::set<float> Radii, Angles;
    bool LeftCurve = false, RightCurve = false, LeftSwitch = false, RightSwitch = false;
  };
  std::map<std::string, TRange> systems;
  std::set<std::string> ids, keys;
  for (TRRTrackDesc* d : All) {
    std::string key = d->Manufacturer().GetText() + "|" + RRTrackSystemName(d->TrackWidth()) + "|" +
                      d->TrackSystemName().GetText();
    TRange& r = systems[key];
    r.Types.insert(static_cast<int>(d->Type()));
    EXPECT_TRUE(ids.insert(d->AssetID().ToString()).second) << d->CataloguePath();
    EXPECT_TRUE(keys.insert(d->CatalogueKey()).second) << d->CatalogueKey();
    EXPECT_EQ(d->AssetID(), RRTrackAssetID(d->CataloguePath()));
    EXPECT_FALSE(d->Description().GetText().empty());
    if (d->Type() == TRRTrackType::Curve) {
      const TRRTrackRouteDesc& c = *d->Route(0);
      EXPECT_GT(c.Angle * c.Radius, 0);  // arc length positive for both hands
      r.Radii.insert(std::fabs(c.Radius));
      r.Angles.insert(std::fabs(c.Angle));
      (c.Angle < 0 ? r.LeftCurve : r.RightCurve) = true;
    }
    if (d->Type() == TRRTrackType::Switch) (d->Route(1)->Angle < 0 ? r.LeftSwitch : r.RightSwitch) = true;
  }
  int h0 = 0, n = 0;
  std::set<std::string> manufacturers;
  for (const auto& [name, r] : systems) {
    SCOPED_TRACE(name);
    EXPECT_EQ(r.Types.size(), static_cast<size_t>(RRTrackTypeCount));
    EXPECT_GE(r.Radii.size(), 2u);
    EXPECT_GE(r.Angles.size(), 2u);
    EXPECT_TRUE(r.LeftCurve && r.RightCurve && r.LeftSwitch && r.RightSwitch);
    if (name.find("|H0|") != std::string::npos) ++h0, manufacturers.insert(name.substr(0, name.find('|')));
    if (name.find("|N|") != std::string::npos) ++n;
  }
  EXPECT_GE(h0, 2);
  EXPECT_GE(manufacturers.size(), 2u);
  EXPECT_GE(n, 1);

  // Folders: Gleise \ manufacturer \ gauge \ system.
  const TRRTrackDesc& g1 = Piece("Gleise\\Brettmann\\H0\\Profilgleis\\G1");
  EXPECT_FLOAT_EQ(g1.Route(0)->L1, 18.83f);  // millimetres of the model in world units
  EXPECT_EQ(Tracks->Child(0)->Name().GetText(), "Brettmann");
  EXPECT_EQ(Tracks->Child(0)->Child(0)->Name().GetText(), "H0");
}

TEST_F(TrackCatalogue, TwelveThirtyDegreeCurvesCloseACircle) {
  for (const char* path : {"Gleise\\Brettmann\\H0\\Profilgleis\\R1 30° rechts",
                           "Gleise\\Brettmann\\H0\\Profilgleis\\R2 30° links",
                           "Gleise\\Kühnel Modellbahn\\H0\\Bettungsgleis\\BR1 30° links",
                           "Gleise\\Brettmann\\N\\Profilgleis N\\NR1 30° rechts"}) {
    SCOPED_TRACE(path);
    const TRRTrackDesc& d = Piece(path);
    auto route = StandaloneRoute(*d.Route(0), RRTrackSystemScale(d.TrackWidth()));
    gx::TGXVector3 end = route->GetPosition(route->GetLength());
    float turn = d.Route(0)->Angle;
    // Chain twelve pieces: each starts where the last ended, turned by the angles so far.
    gx::TGXVector3 p{0, 0, 0};
    float heading = 0;
    for (int i = 0; i < 12; ++i) {
      p = p + gx::RotateVector(end, gx::GXQuaternionRotationAxis({0, 1, 0}, heading));
      heading += turn;
    }
    EXPECT_NEAR(std::fabs(heading), 2 * kPi, 1e-4f);
    EXPECT_TRUE(Near(p, {0, 0, 0}, 0.01f)) << p.x << " " << p.z;
  }
}

TEST_F(TrackCatalogue, SwitchAndDoubleSlipRoutesMeetAtTheirEnds) {
  gx::TGXSceneNode root("r");
  auto make = [&](const TRRTrackDesc& d) {
    auto copy = d.Clone();
    copy->SetID(1);
    auto* t = static_cast<TRRTrack*>(TRRTrack::StaticClass().Create(&root, nullptr, *copy));
    root.Update(true);
    return t;
  };
  auto end = [](TRRTrack* t, int route) {
    return t->GetRoute(route)->GetPosition(t->GetRoute(route)->GetLength());
  };

  // A turnout's diverging route ends level with its straight route.
  TRRTrack* w = make(Piece("Gleise\\Brettmann\\H0\\Profilgleis\\WL15"));
  EXPECT_NEAR(end(w, 1).z, end(w, 0).z, 1e-3f);
  EXPECT_LT(end(w, 1).x, -3.0f);  // left, 35 mm aside

  // The curved routes of a double slip join the straight routes' ends.
  for (const char* path :
       {"Gleise\\Brettmann\\H0\\Profilgleis\\DKW15", "Gleise\\Brettmann\\N\\Profilgleis N\\NDKW15"}) {
    SCOPED_TRACE(path);
    TRRTrack* k = make(Piece(path));
    ASSERT_EQ(k->GetRouteCount(), 4);
    EXPECT_TRUE(Near(end(k, 2), end(k, 1), 1e-3f));
    EXPECT_TRUE(Near(end(k, 3), end(k, 0), 1e-3f));
    EXPECT_TRUE(Near(k->GetRoute(2)->GetPosition(0), k->GetRoute(0)->GetPosition(0), 1e-3f));
  }

  // Turntable: 12 stubs 15 degrees apart across the pit.
  TRRTrack* d = make(Piece("Gleise\\Brettmann\\H0\\Profilgleis\\D310"));
  EXPECT_EQ(d->GetRouteCount(), 12);
  EXPECT_NEAR(d->GetRoute(11)->Rotation(), 11 * kPi / 12, 1e-5f);
  EXPECT_NEAR(d->TurntableScale(), 31.2f / 26, 1e-5f);
}

TEST(TrackCatalogueReader, BadDefinitionsNameFileAndPiece) {
  auto fails = [](const std::string& xml, const std::string& expected) {
    try {
      RRReadTrackSystem(xml, "test.xml");
      ADD_FAILURE() << "no error for " << xml;
    } catch (const ETrackCatalogueError& e) {
      EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
    }
  };
  const std::string head = "<Gleissystem hersteller=\"H\" system=\"S\" spurweite=\"H0\">";
  fails("<Gleissystem", "kein gültiges XML");
  fails("<Anderes/>", "Gleissystem");
  fails(
      "<Gleissystem hersteller=\"H\" system=\"S\" spurweite=\"HO\"><Gerade name=\"G\" "
      "laenge=\"1\"/></Gleissystem>",
      "unbekannte Spurweite \"HO\"");
  fails(head + "</Gleissystem>", "keine Gleise");
  fails(head + "<Gerade name=\"G1\"/></Gleissystem>", "Gleis \"G1\": Attribut \"laenge\" fehlt");
  fails(head + "<Gerade name=\"G1\" laenge=\"188,3\"/></Gleissystem>", "keine Zahl");
  fails(head + "<Gerade name=\"G1\" laenge=\"nan\"/></Gleissystem>", "keine Zahl");
  fails(head + "<Gerade name=\"G1\" laenge=\"1e30\"/></Gleissystem>", "liegt nicht zwischen");
  fails(head + "<Bogen name=\"B\" radius=\"360\" winkel=\"30\" richtung=\"oben\"/></Gleissystem>",
        "richtung");
  fails(head + "<Kreuzweiche name=\"K\" laenge=\"100\" radius=\"2000\" winkel=\"15\"/></Gleissystem>",
        "zu groß");
  fails(head + "<Weiche2 name=\"W\"/></Gleissystem>", "unbekanntes Element");

  // Names appear once per folder.
  TRRTrackSystemDefinition twice = RRReadTrackSystem(
      head + "<Gerade name=\"G\" laenge=\"10\"/><Gerade name=\"G\" laenge=\"20\"/></Gleissystem>", "t");
  gx::TGXFileSystem fs;
  TRRDatabase db(fs, {});
  TRRAsset asset(&db);
  EXPECT_THROW(RRAddTrackSystem(asset.Root(), "Gleise", std::move(twice)), ETrackCatalogueError);

  // One hand only, a given lead-out and description, no bed.
  TRRTrackSystemDefinition one = RRReadTrackSystem(
      "<Gleissystem hersteller=\"H\" system=\"S\" spurweite=\"N\" bettung=\"nein\">"
      "<Weiche name=\"W\" richtung=\"rechts\" laenge=\"100\" radius=\"200\" winkel=\"10\" l2=\"5\" "
      "beschreibung=\"X\"/>"
      "</Gleissystem>",
      "t");
  ASSERT_EQ(one.Pieces.size(), 1u);
  EXPECT_EQ(one.Pieces[0]->Name().GetText(), "W");
  EXPECT_EQ(one.Pieces[0]->Description().GetText(), "X");
  EXPECT_FALSE(one.Pieces[0]->HasBed());
  EXPECT_EQ(one.Pieces[0]->TrackWidth(), 1);
  EXPECT_FLOAT_EQ(one.Pieces[0]->Route(1)->L2, 0.5f);
  EXPECT_GT(one.Pieces[0]->Route(1)->Radius, 0);
}
