// The gauge table and the per-project track filter.

#include <gtest/gtest.h>

#include "app/entities/RREntityGroup.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackParameters.h"
#include "app/entities/track/RRTrackSystems.h"
#include "engine/core/GXSerialization.h"
#include "tests/app/entities/EntityTestSupport.h"

using namespace rr;

namespace {

// A catalogue of track descriptions: (manufacturer, gauge index, track system).
class TCatalogue {
 public:
  void Add(const char* manufacturer, int width, const char* system) {
    auto d = std::make_unique<TRRTrackDesc>();
    d->Manufacturer().SetText(gx::GX_LANG_GERMAN, manufacturer);
    d->TrackSystemName().SetText(gx::GX_LANG_GERMAN, system);
    d->SetTrackWidth(static_cast<uint8_t>(width));
    Items.Add(std::move(d));
  }
  TRRTrackCatalogueSource Source() {
    return [this](TRREntityDescriptionList& list) {
      for (TRREntityDescription* d : Items) list.Add(d);
    };
  }
  TRREntityDescriptionList Items{true};
};

// A: H0 "A-Profil" and N "A-Mini"; B: H0 "B-Gleis" only.
TCatalogue& Standard() {
  static TCatalogue* c = [] {
    auto* t = new TCatalogue;
    t->Add("A", 3, "A-Profil");
    t->Add("A", 1, "A-Mini");
    t->Add("B", 3, "B-Gleis");
    t->Add("a", 3, "A-Profil");  // same names in other case: one option
    return t;
  }();
  return *c;
}

std::vector<std::string> Names(const TRRSortedNameList& list) { return list.Items(); }

}  // namespace

TEST(RRTrackSystems, TableAndLookups) {
  const char* names[] = {"Z", "N", "TT", "H0", "0", "1", "Ilm", "G"};
  for (int i = 0; i < RRTrackSystemCount; ++i) {
    EXPECT_STREQ(RRTrackSystemName(i), names[i]);
    EXPECT_EQ(RRTrackSystemIndex(names[i]), i);
  }
  // 87 divided by the scale denominator.
  EXPECT_FLOAT_EQ(RRTrackSystemScale(0), 87.0f / 220);
  EXPECT_FLOAT_EQ(RRTrackSystemScale(1), 87.0f / 160);
  EXPECT_FLOAT_EQ(RRTrackSystemScale(3), 1.0f);
  EXPECT_FLOAT_EQ(RRTrackSystemScale(7), 87.0f / 22.5f);
  EXPECT_FLOAT_EQ(RRTrackSystemSecondValue(6), 9.4f);
  EXPECT_FLOAT_EQ(RRTrackSystemSecondValue(3), 0);
  // Unknown and differently cased names map to H0; indices are taken modulo 128, and a byte the
  // table does not have reads as H0 instead of past its end.
  EXPECT_EQ(RRTrackSystemIndex("h0"), 3);
  EXPECT_EQ(RRTrackSystemIndex("Spur 0"), 3);
  EXPECT_FLOAT_EQ(RRTrackSystemScale(128 + 1), 0.54375f);
  EXPECT_STREQ(RRTrackSystemName(100), "H0");
  EXPECT_STREQ(RRTrackSystemName(255), "H0");
  EXPECT_STREQ(RRTrackSystemName(-1), "H0");
}

TEST(RRTrackParameters, SelectionsAreSortedCaseInsensitiveAndClearDownwards) {
  TRRTrackParameters p(Standard().Source());
  p.AddManufacturer("b", false);
  p.AddManufacturer("A", false);
  p.AddManufacturer("B", false);
  EXPECT_EQ(Names(p.Manufacturers()), (std::vector<std::string>{"A", "b"}));
  EXPECT_TRUE(p.HasManufacturer("a"));
  p.AddTrackWidth("H0", false);
  p.AddTrackSystem("A-Profil", false);
  // Exclusive (or empty) clears its own list and those below it.
  p.AddTrackWidth("N", true);
  EXPECT_EQ(Names(p.TrackWidths()), (std::vector<std::string>{"N"}));
  EXPECT_EQ(p.TrackSystemCount(), 0);
  EXPECT_EQ(p.ManufacturerCount(), 2);
  p.AddManufacturer("", false);
  EXPECT_EQ(p.ManufacturerCount() + p.TrackWidthCount() + p.TrackSystemCount(), 0);
}

TEST(RRTrackParameters, RemovingAManufacturerRemovesWhatNoOtherOffers) {
  TRRTrackParameters p(Standard().Source());
  p.AddManufacturer("A", false);
  p.AddTrackWidth("H0", false);
  p.AddTrackSystem("A-Profil", false);
  // The only manufacturer: everything below goes.
  p.RemoveManufacturer("A");
  EXPECT_EQ(p.TrackWidthCount(), 0);
  EXPECT_EQ(p.TrackSystemCount(), 0);

  // A and B, gauge N (only A has it) and A's systems: removing A removes N and A's systems.
  p.AddManufacturer("A", false);
  p.AddManufacturer("B", false);
  p.AddTrackWidth("N", false);
  p.AddTrackSystem("A-Mini", false);
  p.RemoveManufacturer("A");
  EXPECT_EQ(Names(p.Manufacturers()), (std::vector<std::string>{"B"}));
  EXPECT_EQ(p.TrackWidthCount(), 0);
  EXPECT_EQ(p.TrackSystemCount(), 0);

  // H0 stays with B; A's H0 system goes, B's stays.
  p.AddManufacturer("A", false);
  p.AddTrackWidth("H0", false);
  p.AddTrackSystem("A-Profil", false);
  p.AddTrackSystem("B-Gleis", false);
  p.RemoveManufacturer("A");
  EXPECT_EQ(Names(p.TrackWidths()), (std::vector<std::string>{"H0"}));
  EXPECT_EQ(Names(p.TrackSystems()), (std::vector<std::string>{"B-Gleis"}));

  p.RemoveTrackWidth("H0");
  EXPECT_EQ(p.TrackSystemCount(), 0);
}

TEST(RRTrackParameters, OptionsFollowTheSelectionAndEndPastTheLast) {
  TRRTrackParameters p(Standard().Source());
  std::vector<std::string> got;
  std::string name;
  for (int i = 0; p.GetManufacturerOption(i, name); ++i) got.push_back(name);
  EXPECT_EQ(got, (std::vector<std::string>{"A", "B"}));
  EXPECT_FALSE(p.GetManufacturerOption(5, name));

  got.clear();
  for (int i = 0; p.GetTrackWidthOption(i, name); ++i) got.push_back(name);
  EXPECT_EQ(got, (std::vector<std::string>{"H0", "N"}));

  p.AddManufacturer("B", false);
  got.clear();
  for (int i = 0; p.GetTrackWidthOption(i, name); ++i) got.push_back(name);
  EXPECT_EQ(got, (std::vector<std::string>{"H0"}));

  p.AddManufacturer("A", true);
  p.AddTrackWidth("H0", false);
  got.clear();
  for (int i = 0; p.GetTrackSystemOption(i, name); ++i) got.push_back(name);
  EXPECT_EQ(got, (std::vector<std::string>{"A-Profil"}));
}

TEST(RRTrackParameters, FilterAndAutomaticScale) {
  TRRTrackParameters p(Standard().Source());
  TRRSortedNameList widths;
  // No selection: everything passes, two gauges, so no automatic scaling.
  p.CollectTrackWidths(widths, true);
  EXPECT_EQ(widths.Count(), 2);
  float scale = 0;
  EXPECT_FALSE(p.AutomaticScale(scale));

  p.AddManufacturer("B", false);
  EXPECT_TRUE(p.AutomaticScale(scale));
  EXPECT_FLOAT_EQ(scale, 1.0f);
  p.AddManufacturer("A", true);
  p.AddTrackWidth("n", false);
  ASSERT_TRUE(p.AutomaticScale(scale));
  EXPECT_FLOAT_EQ(scale, 0.54375f);

  TRRTrackDesc h0;
  h0.Manufacturer().SetText(gx::GX_LANG_GERMAN, "A");
  EXPECT_FALSE(p.Passes(h0));
  // A group holding only that track is hidden; a group with a non-track member and an empty group
  // are not.
  TRREntityGroupDesc group;
  group.AddChild(h0.Clone());
  EXPECT_TRUE(p.HidesEntry(group));
  rrtest::RegisterTestKinds();
  group.AddChild(rrtest::TModelTestDesc::StaticClass().Create());
  EXPECT_FALSE(p.HidesEntry(group));
  TRREntityGroupDesc empty;
  EXPECT_FALSE(p.HidesEntry(empty));
}

TEST(RRTrackParameters, RecordAddsToTheSelectionAndRefusesBadCounts) {
  TRRTrackParameters p(Standard().Source());
  p.AddManufacturer("A", false);
  p.AddManufacturer("Kühnel", false);
  p.AddTrackWidth("H0", false);
  gx::TGXMemoryStream s;
  p.WriteToStream(s);
  rrtest::TBytes expected;
  expected.I32(2).Str("A").I32(6).Raw({'K', 0xFC, 'h', 'n', 'e', 'l'}).I32(1).Str("H0").I32(0);
  EXPECT_EQ(s.Data(), expected.Data);

  TRRTrackParameters q(Standard().Source());
  q.AddManufacturer("B", false);
  s.SetPosition(0);
  q.ReadFromStream(s);
  EXPECT_EQ(Names(q.Manufacturers()), (std::vector<std::string>{"A", "B", "Kühnel"}));
  EXPECT_TRUE(q.HasTrackWidth("H0"));

  // An empty name in a file is skipped: added by hand it would clear what was read before it.
  rrtest::TBytes withEmpty;
  withEmpty.I32(2).Str("A").Str("").I32(2).Str("H0").Str("").I32(1).Str("");
  gx::TGXMemoryStream e(withEmpty.Data);
  TRRTrackParameters r(Standard().Source());
  r.ReadFromStream(e);
  EXPECT_EQ(Names(r.Manufacturers()), (std::vector<std::string>{"A"}));
  EXPECT_TRUE(r.HasTrackWidth("H0"));

  TRRTrackParameters copy(Standard().Source());
  copy.Assign(q);
  EXPECT_EQ(Names(copy.Manufacturers()), Names(q.Manufacturers()));

  // A count larger than the bytes left, or negative, raises and leaves the selection alone.
  for (int64_t count : {int64_t{1000000}, int64_t{-1}}) {
    rrtest::TBytes bad;
    bad.I32(0).I32(count);
    gx::TGXMemoryStream b(bad.Data);
    TRRTrackParameters r(Standard().Source());
    r.AddManufacturer("B", false);
    EXPECT_ANY_THROW(r.ReadFromStream(b));
    EXPECT_EQ(Names(r.Manufacturers()), (std::vector<std::string>{"B"}));
  }
}
