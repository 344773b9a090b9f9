// The custom track editor's core: typed values in the user's units become routes within the
// limits (left curves too, non-finite text as 0), type changes, models and the active route,
// the replacement of a placed track under its ID with undo and a failure that keeps the old
// track, and the entry in the user's own package.

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <filesystem>

#include "app/RRDatabase.h"
#include "app/entities/track/RRTrackEditing.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/core/GXFileSystem.h"
#include "tests/app/ManagerTestSupport.h"

using namespace rr;

namespace {

constexpr float kPi = 3.14159265f;

std::unique_ptr<TRRTrackDesc> StartDesc(TRRTrackType type = TRRTrackType::Straight, int routes = 1) {
  auto d = std::make_unique<TRRTrackDesc>(type);
  d->SetID(7);
  d->SetPosition({1, 2, 3});
  d->Name().SetUserText("G1");
  for (int i = 0; i < routes; ++i) {
    auto r = std::make_unique<TRRTrackRouteDesc>();
    r->L1 = 18.83f;
    d->AddRoute(std::move(r));
  }
  return d;
}

// The straight the editor is opened with in most cases.
const TRRTrackDesc& Start() {
  static std::unique_ptr<TRRTrackDesc> d = StartDesc();
  return *d;
}

TRRTrackEditorValues Values(TRRTrackType type, std::vector<std::array<std::string, 5>> rows, int lengthUnit = 0,
                            int angleUnit = 0, int gauge = 3) {
  TRRTrackEditorValues v;
  v.SetType(type);
  for (size_t i = 0; i < rows.size() && i < v.Rows.size(); ++i) v.Rows[i] = rows[i];
  v.LengthUnit = lengthUnit, v.AngleUnit = angleUnit, v.Gauge = gauge;
  v.Name = "Mein Gleis";
  return v;
}

}  // namespace

TEST(TrackEditor, TypedValuesBecomeRoutesWithinTheLimits) {
  struct TCase {
    const char* What;
    TRRTrackType Type;
    std::array<std::string, 5> Row;  // Start, Länge 1, Radius, Winkel, Länge 2
    int LengthUnit, Gauge;
    float L1, Radius, Angle, FlexL;
  };
  const TCase cases[] = {
      {"left curve in mm and degrees", TRRTrackType::Curve, {"", "", "360", "-30", ""}, 0, 3, 0, -36, -0.5236f, 0},
      {"typed negative radius counts as its size", TRRTrackType::Curve, {"", "", "-360", "30", ""}, 0, 3, 0, 36,
       0.5236f, 0},
      {"straight longer than the limit", TRRTrackType::Straight, {"", "2500", "", "", ""}, 0, 3, 200, 0, 0, 0},
      {"right arc held to 200", TRRTrackType::Curve, {"", "", "150", "90", ""}, 1, 3, 0, 127.32f, 1.5708f, 0},
      {"left arc held to 200 too", TRRTrackType::Curve, {"", "", "150", "-90", ""}, 1, 3, 0, -127.32f, -1.5708f, 0},
      {"angle clamped to a full turn", TRRTrackType::Curve, {"", "", "1", "1000", ""}, 1, 3, 0, 1, 2 * kPi, 0},
      {"not a number reads as 0", TRRTrackType::Straight, {"", "12abc", "", "", ""}, 0, 3, 0, 0, 0, 0},
      {"infinite reads as 0", TRRTrackType::Straight, {"", "1e999", "", "", ""}, 0, 3, 0, 0, 0, 0},
      {"nan reads as 0", TRRTrackType::Curve, {"", "", "nan", "inf", ""}, 0, 3, 0, 0, 0, 0},
      {"comma as decimal separator", TRRTrackType::Straight, {"", " 188,3 ", "", "", ""}, 0, 3, 18.83f, 0, 0, 0},
      {"flexible at least one scale long (N)", TRRTrackType::Flexible, {"", "0", "", "", ""}, 0, 1, 0, 0, 0,
       0.54375f},
      {"flexible at most 200", TRRTrackType::Flexible, {"", "5000", "", "", ""}, 0, 3, 0, 0, 0, 200},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    std::unique_ptr<TRRTrackDesc> d =
        RRBuildTrackDescription(Values(c.Type, {c.Row}, c.LengthUnit, 0, c.Gauge), Start(), nullptr);
    ASSERT_EQ(d->RouteCount(), 1);
    const TRRTrackRouteDesc& r = *d->Route(0);
    EXPECT_NEAR(r.L1, c.L1, 1e-3);
    EXPECT_NEAR(r.Radius, c.Radius, 1e-2);
    EXPECT_NEAR(r.Angle, c.Angle, 1e-3);
    EXPECT_NEAR(r.FlexL, c.FlexL, 1e-4);
    EXPECT_TRUE(std::isfinite(r.Radius) && std::isfinite(r.Angle));
  }
}

TEST(TrackEditor, RouteCountsRotationsShiftsAndTheDescriptionAroundThem) {
  // A turntable in N, 5 cm across: 20 scales at least, twelve routes 15 degrees apart.
  std::unique_ptr<TRRTrackDesc> turntable =
      RRBuildTrackDescription(Values(TRRTrackType::Turntable, {{"", "5", "", "", ""}}, 1, 0, 1), Start(), nullptr);
  ASSERT_EQ(turntable->RouteCount(), 12);
  EXPECT_NEAR(turntable->Route(0)->L1, 10.875f, 1e-4);
  EXPECT_NEAR(turntable->Route(11)->L1, 10.875f, 1e-4);
  EXPECT_NEAR(turntable->Route(11)->Rotation, 11 * kPi / 12, 1e-5);

  // A crossing: the second route turned by the crossing angle, starts clamped to +-200.
  TRRTrackEditorValues crossing =
      Values(TRRTrackType::Crossing, {{"-3000", "188", "", "", ""}, {"0", "188", "", "", ""}});
  crossing.CrossAngle = "30";
  std::unique_ptr<TRRTrackDesc> d = RRBuildTrackDescription(crossing, *StartDesc(TRRTrackType::Switch, 2), nullptr);
  ASSERT_EQ(d->RouteCount(), 2);
  EXPECT_EQ(d->Route(0)->Shift, -200);
  EXPECT_EQ(d->Route(0)->Rotation, 0);
  EXPECT_NEAR(d->Route(1)->Rotation, 0.5236f, 1e-4);

  // From a switch to a straight: one route; the active route follows; the base fields and a
  // fresh identifier.
  std::unique_ptr<TRRTrackDesc> switchDesc = StartDesc(TRRTrackType::Switch, 2);
  TRRTrackDesc& sw = *switchDesc;
  sw.SetActiveRoute(1);
  TRRTrackEditorValues v = TRRTrackEditorValues::FromDescription(sw, 0, 0);
  ASSERT_EQ(v.Rows.size(), 2u);
  EXPECT_EQ(v.Rows[0][ColLength1], "188.3");
  v.SetType(TRRTrackType::Straight);
  d = RRBuildTrackDescription(v, sw, nullptr);
  EXPECT_EQ(d->Type(), TRRTrackType::Straight);
  EXPECT_EQ(d->RouteCount(), 1);
  EXPECT_EQ(d->ActiveRoute(), 0);
  EXPECT_EQ(d->ID(), 7);
  EXPECT_EQ(d->Position(), (gx::TGXVector3{1, 2, 3}));
  EXPECT_NE(d->AssetID(), sw.AssetID());
  EXPECT_EQ(d->Name().GetText(1031, 1031), "G1");

  // A buffer stop takes its models from the first buffer stop of the catalogue.
  TRRTrackDesc stop(TRRTrackType::BufferStop);
  stop.BedModel().Model = TRRAssetFileName("Prellbock.gxm");
  TRREntityDescriptionList catalogue(false);
  catalogue.Add(&stop);
  d = RRBuildTrackDescription(Values(TRRTrackType::BufferStop, {{"", "10", "", "", ""}}), Start(), &catalogue);
  EXPECT_EQ(d->BedModel().Model.FileName, "Prellbock.gxm");

  EXPECT_EQ(RRTrackEditorAnnotation(TRRTrackType::Switch, 0, 0), "Längen in mm, Winkel in °");
  EXPECT_EQ(RRTrackEditorAnnotation(TRRTrackType::Curve, 1, 1), "Längen in cm");
}

TEST(TrackEditor, ReplacesThePlacedTrackUnderItsIdAsOneCommand) {
  mgrtest::TTestProject p;
  std::unique_ptr<TRRTrackDesc> startDesc = StartDesc();
  TRRTrackDesc& start = *startDesc;
  start.SetID(p.M().NextID());
  p.M().ReserveIDs(1);
  const int32_t id = start.ID();
  auto* track = static_cast<TRRTrack*>(p.M().CreateEntity(nullptr, start));
  const int before = p.Hist->Count();

  std::unique_ptr<TRRTrackDesc> edited =
      RRBuildTrackDescription(Values(TRRTrackType::Curve, {{"", "", "360", "-30", ""}}), *track->ToDescription(), nullptr);
  TRRTrack* made = RRReplaceTrack(p.M(), *track, *edited);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->ID(), id);
  EXPECT_EQ(p.M().FindByID(id), made);
  EXPECT_EQ(made->Type(), TRRTrackType::Curve);
  EXPECT_TRUE(made->Selected());
  EXPECT_EQ(p.Hist->Count(), before + 1);
  p.Hist->Undo();
  auto* back = dynamic_cast<TRRTrack*>(p.M().FindByID(id));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->Type(), TRRTrackType::Straight);
  p.Hist->Redo();
  EXPECT_EQ(static_cast<TRRTrack*>(p.M().FindByID(id))->Type(), TRRTrackType::Curve);

  // A description no track can be made of: the old track is there again and the error passes.
  std::unique_ptr<TRRTrackDesc> broken = static_cast<TRRTrack*>(p.M().FindByID(id))->ToDescription();
  broken->SetType(static_cast<TRRTrackType>(42));
  EXPECT_ANY_THROW(RRReplaceTrack(p.M(), *static_cast<TRRTrack*>(p.M().FindByID(id)), *broken));
  auto* kept = dynamic_cast<TRRTrack*>(p.M().FindByID(id));
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->Type(), TRRTrackType::Curve);
  EXPECT_EQ(p.Hist->Count(), before + 1);

  // The preview's check says so instead of raising.
  TRRTrackEditorValues bad = Values(TRRTrackType::Straight, {{"", "10", "", "", ""}});
  bad.Type = static_cast<TRRTrackType>(42);
  TRRTrackEditorResult tried = RRTryBuildTrack(bad, start, nullptr);
  EXPECT_EQ(tried.Description, nullptr);
  EXPECT_EQ(tried.Problem.rfind(RRTextTrackEditorNotBuildable, 0), 0u);
  EXPECT_NE(RRTryBuildTrack(Values(TRRTrackType::Straight, {{"", "10", "", "", ""}}), start, nullptr).Description,
            nullptr);
}

TEST(TrackEditor, TheUserPackageIsMadeOnceAndHoldsEachTrackOnce) {
  std::string dir = (std::filesystem::temp_directory_path() / "velmora-editor-XXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const std::string package = dir + "/Pakete/Eigene Gleise.vma";
  std::unique_ptr<TRRTrackDesc> d = RRBuildTrackDescription(Values(TRRTrackType::Straight, {{"", "100", "", "", ""}}),
                                                            Start(), nullptr);
  d->Manufacturer().SetUserText("Eigenbau");
  d->TrackSystemName().SetUserText("Werkstatt");
  {
    gx::TGXFileSystem fs;
    TRRDatabase db(fs, {});
    std::vector<std::string> watched;
    auto watch = [&](const std::string& folder) { watched.push_back(folder); };
    TRREntityDescription* entry = RRAddUserTrack(db, package, *d, watch);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(watched, std::vector<std::string>{dir + "/Pakete"});
    // The same track again (another identifier, the same catalogue key): no second entry.
    std::unique_ptr<TRRTrackDesc> again = RRBuildTrackDescription(
        Values(TRRTrackType::Straight, {{"", "100", "", "", ""}}), Start(), nullptr);
    again->Manufacturer().SetUserText("Eigenbau");
    again->TrackSystemName().SetUserText("Werkstatt");
    EXPECT_EQ(RRAddUserTrack(db, package, *again, watch), entry);
    EXPECT_EQ(watched.size(), 1u);
    ASSERT_TRUE(db.WriteChanges(nullptr));
  }
  gx::TGXFileSystem fs;
  TRRDatabase db(fs, {{dir + "/Pakete/", false}});
  TRREntityDescriptionList tracks(false);
  db.CollectCatalogByClass(TRRTrackDesc::StaticClass(), tracks);
  ASSERT_EQ(tracks.Count(), 1);
  EXPECT_EQ(tracks.Item(0)->CataloguePath(), "Gleise\\Eigenbau\\H0\\Werkstatt\\Mein Gleis");
  std::filesystem::remove_all(dir);
}

TEST(TrackEditorBuild, RoutesOfNoLengthMakeNoTrack) {
  TRRTrackDesc start(TRRTrackType::Straight);
  struct TCase {
    TRRTrackType Type;
    std::array<std::string, RRTrackEditorColumns> Row;
    bool Buildable;
  } cases[] = {
      {TRRTrackType::Straight, {"", "0", "", "", ""}, false},
      {TRRTrackType::Straight, {"", "abc", "", "", ""}, false},
      {TRRTrackType::Straight, {"", "0,5", "", "", ""}, true},
      {TRRTrackType::Curve, {"", "", "50", "0", ""}, false},
      {TRRTrackType::Curve, {"", "", "50", "30", ""}, true},
  };
  for (const TCase& c : cases) {
    TRRTrackEditorValues v;
    v.SetType(c.Type);
    v.Rows.assign(1, c.Row);
    const TRRTrackEditorResult r = RRTryBuildTrack(v, start, nullptr);
    EXPECT_EQ(r.Description != nullptr, c.Buildable) << int(c.Type) << " " << c.Row[1] << c.Row[2] << c.Row[3];
    if (!c.Buildable) {
      EXPECT_NE(r.Problem.find("keine Länge"), std::string::npos);
    }
  }
}
