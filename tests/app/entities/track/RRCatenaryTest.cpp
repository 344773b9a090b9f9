// Catenary masts: their record, the wire stretched between two masts, the frame step that lays it
// again, the picking tool, the commands of linking and unlinking, deleted partners, copies, and
// models a mast cannot be made of. The test mast has its wire anchor 3 beside and 8 above its
// foot; the wire is 10 high.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "app/RREntityIDProcessor.h"
#include "app/RREntityManager.h"
#include "app/RRHistory.h"
#include "app/RRInput.h"
#include "app/entities/RREntity_10.h"
#include "app/entities/track/RRCatenary.h"
#include "engine/core/GXException.h"
#include "engine/core/GXSerialization.h"
#include "tests/app/ManagerTestSupport.h"
#include "tests/app/MaterialTestSupport.h"
#include "tests/app/ModelTestSupport.h"
#include "tests/app/entities/EntityTestSupport.h"

using namespace rr;
using gx::TGXQuaternion;
using gx::TGXVector3;

namespace {

constexpr const char* kPackage = "{3C7F0A52-9E61-4B2D-8A14-6D5E2F9B1C07}";

void ExpectNear(const TGXVector3& a, const TGXVector3& b, float tolerance = 2e-3f) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

TGXQuaternion AboutY(float angle) { return gx::GXQuaternionRotationAxis({0, 1, 0}, angle); }

enum class TShape { Flat, Nested, NoWire, FlatWire };

// The pole "Mast" (with an arm) and the wire "Kabel", 10 high along +y from its anchor. Nested:
// the wire hangs below an arm node turned a quarter about y and scaled 2, at (1, 1, 0) in it,
// which puts its anchor at (3, 8, 0) like the flat one.
gx::TGXModelData MastModel(TShape shape) {
  gx::TGXModelData data;
  data.Format = gx::EGXModelFormat::XFile;
  gx::TGXModelMesh pole;
  pole.Name = "Mast";
  modeltest::AddBox(pole, {-0.5f, 0, -0.5f}, {0.5f, 12, 0.5f});
  modeltest::AddBox(pole, {0.5f, 8, -0.2f}, {3.5f, 8.4f, 0.2f});
  modeltest::CloseSubMesh(pole, 0, gx::GXModelColorName(0.4f, 0.4f, 0.4f, 1));
  gx::GXModelCalculateBounds(pole);
  gx::TGXModelMesh wire;
  wire.Name = "Kabel";
  modeltest::AddBox(wire, {-0.05f, 0, -0.05f}, {0.05f, shape == TShape::FlatWire ? 0.0f : 10.0f, 0.05f});
  modeltest::CloseSubMesh(wire, 0, gx::GXModelColorName(0.1f, 0.1f, 0.1f, 1));
  gx::GXModelCalculateBounds(wire);
  data.Meshes = {pole, wire};
  data.Nodes.push_back({"Mast", -1, {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1}, {0}});
  if (shape == TShape::Nested) {
    data.Nodes.push_back({"Ausleger", -1, {3, 6, -2}, AboutY(1.5707964f), {2, 2, 2}, {}});
    data.Nodes.push_back({"Kabel", 1, {1, 1, 0}, {0, 0, 0, 1}, {1, 1, 1}, {1}});
  } else if (shape != TShape::NoWire) {
    data.Nodes.push_back({"Kabel", -1, {3, 8, 0}, {0, 0, 0, 1}, {1, 1, 1}, {1}});
  }
  return data;
}

// A scene object picked by its box: the geometry-free models have no triangles to hit.
class TPickBox : public gx::TGXSceneObject {
 public:
  TPickBox() { SetLocalBounds(gx::BoxFromMinMax({-1, -10, -1}, {1, 20, 1})); }
};

class Catenary : public test::TMaterialTest {
 protected:
  void SetUp() override {
    TMaterialTest::SetUp();
    Models = std::make_unique<modeltest::TGeometryFreeModels>(&Resources);
    Install();
    const struct {
      const char* Name;
      TShape Shape;
    } files[] = {{"Mast.x", TShape::Flat},
                 {"Ausleger.x", TShape::Nested},
                 {"OhneKabel.x", TShape::NoWire},
                 {"FlachesKabel.x", TShape::FlatWire}};
    for (const auto& f : files)
      PutFile(std::string(kPackage) + "\\" + f.Name, modeltest::Write(MastModel(f.Shape)));
    P = std::make_unique<mgrtest::TTestProject>();
  }
  void TearDown() override {
    P.reset();
    TRRModelServices::Clear();
    Models.reset();
    TMaterialTest::TearDown();
  }

  TRREntityManager& M() { return P->M(); }

  std::unique_ptr<TRRCatenaryDesc> Described(const TGXVector3& position, float turn = 0,
                                             const char* file = "Mast.x") {
    auto d = std::make_unique<TRRCatenaryDesc>();
    d->SetID(M().NextID());
    M().ReserveIDs(1);
    d->ModelFile() = {TRRAssetFileName(file, std::string(kPackage) + "\\" + file), {}};
    d->SetPosition(position);
    d->SetRotation(AboutY(turn));
    return d;
  }
  TRRCatenary* Mast(const TGXVector3& position, float turn = 0, const char* file = "Mast.x") {
    auto* e = static_cast<TRRCatenary*>(M().CreateEntity(nullptr, *Described(position, turn, file)));
    P->Scene.Root()->Update(false);
    return e;
  }
  TRRCatenary* Find(int32_t id) { return dynamic_cast<TRRCatenary*>(M().FindByID(id)); }

  // One frame: the scene brought up to date, then every entity's step.
  void Frame() {
    P->Scene.Root()->Update(false);
    for (int i = 0; i < M().EntitySlotCount(); ++i)
      if (TRREntity* e = M().EntitySlot(i)) e->Animate(true, 0.04f);
    P->Scene.Root()->Update(false);
  }

  static TGXVector3 Anchor(const TRRCatenary& m) { return m.WireNode()->WorldPosition(); }
  // Where the wire's far end lies in the world.
  static TGXVector3 Tip(const TRRCatenary& m) {
    return gx::GXVec3TransformCoord({0, m.RestLength(), 0}, m.WireNode()->WorldMatrix());
  }

  std::unique_ptr<modeltest::TGeometryFreeModels> Models;
  std::unique_ptr<mgrtest::TTestProject> P;
};

// ---- record ----

TEST(CatenaryDesc, RecordVersionsAndOldKeys) {
  TRRCatenaryDesc d;
  EXPECT_EQ(d.CADType(), RRCatenaryCadType);
  d.ConnectionID = 42;
  gx::TGXMemoryStream s;
  d.SaveToStream(s);
  s.SetPosition(0);
  TRRCatenaryDesc back;
  back.LoadFromStream(s);
  EXPECT_EQ(back.ConnectionID, 42);
  EXPECT_EQ(s.Position(), s.Size());

  // Versions other than 1 are refused; a record cut short too.
  for (int32_t version : {0, 2, -1}) {
    gx::TGXMemoryStream v;
    TRRModelDesc().SaveToStream(v);
    gx::WriteInteger(v, version);
    gx::WriteInteger(v, 3);
    v.SetPosition(0);
    TRRCatenaryDesc r;
    EXPECT_THROW(r.LoadFromStream(v), EUnknownEntityDescription) << version;
  }
  gx::TGXMemoryStream cut;
  TRRModelDesc().SaveToStream(cut);
  gx::WriteInteger(cut, 1);
  cut.SetPosition(0);
  EXPECT_THROW(TRRCatenaryDesc().LoadFromStream(cut), std::runtime_error);

  // The connection is an ID reference: renumbering follows it inside the set and cuts it outside.
  TRREntityDescriptionList list(true);
  for (int32_t id : {5, 9}) {
    auto m = std::make_unique<TRRCatenaryDesc>();
    m->SetID(id);
    m->ConnectionID = id == 5 ? 9 : 77;
    list.Add(std::move(m));
  }
  TRREntityIDProcessor::RenumberList(list, 100);
  EXPECT_EQ(static_cast<TRRCatenaryDesc*>(list.Item(0))->ConnectionID, 101);
  EXPECT_EQ(static_cast<TRRCatenaryDesc*>(list.Item(1))->ConnectionID, 0);

  TRREntityDescription_10 bag("TRRCatenary", "TRRCatenaryDesc");
  const int32_t partner = 12;
  bag.AddProperty(TRREntityPropertyType_10::IDRef, "ConnectionID", rrtest::BagBytes(&partner, 4));
  TRRCatenaryDesc old;
  std::string model;
  old.LoadFromPropertyBag(bag, model);
  EXPECT_EQ(old.ConnectionID, 12);
}

TEST(CatenaryDesc, TheFuzzSeedsAreMastRecords) {
  const std::string folder = std::string(VELMORA_SOURCE_DIR) + "/fuzz/corpus/FuzzEntityDescription/";
  for (const char* file : {"mast-v1.bin", "mast-self.bin"}) {
    std::ifstream in(folder + file, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 1u) << file;
    gx::TGXMemoryStream s(std::vector<uint8_t>(bytes.begin() + 1, bytes.end()));
    auto d = TRREntityDescription::ReadRecord(s);
    EXPECT_EQ(&d->GetClass(), &TRRCatenaryDesc::StaticClass()) << file;
    EXPECT_EQ(s.Position(), s.Size()) << file;
  }
}

// ---- models ----

TEST_F(Catenary, AModelWithoutWireOrWithAFlatWireCannotBeMade) {
  for (const char* file : {"OhneKabel.x", "FlachesKabel.x"}) {
    try {
      M().CreateEntity(nullptr, *Described({0, 0, 0}, 0, file));
      ADD_FAILURE() << file;
    } catch (const gx::EGXException& e) {
      EXPECT_NE(std::string(e.what()).find(RRTextInvalidModel), std::string::npos) << e.what();
    }
  }
  // A missing file shows the placeholder; without model services nothing is loaded: both stay
  // masts without a wire, so a layout still loads.
  TRRCatenary* missing = Mast({0, 0, 0}, 0, "Fehlt.x");
  EXPECT_EQ(missing->WireNode(), nullptr);
  TRRModelServices::Clear();
  TRRCatenary* bare = Mast({5, 0, 0});
  EXPECT_EQ(bare->WireNode(), nullptr);
  bare->Link(*missing);
  Frame();
  EXPECT_FALSE(bare->WireVisible());
  EXPECT_TRUE(bare->WireShown());
}

// ---- the wire ----

TEST_F(Catenary, TheWireRunsFromAnchorToAnchor) {
  const struct {
    const char* File;
    TGXVector3 Other;
    float OwnTurn, OtherTurn;
    float Length;  // the expected scale along (0: not checked)
  } cases[] = {
      {"Mast.x", {30, 0, 0}, 0, 0, 3},          // 30 apart: three rest lengths
      {"Mast.x", {0, -30, 0}, 0, 0, 3},         // straight down: half a turn, not left pointing up
      {"Mast.x", {0, 30, 0}, 0, 0, 3},          // straight up: no turn
      {"Mast.x", {20, 5, 15}, 0.4f, -0.7f, 0},  // oblique, both turned
      {"Mast.x", {-12, 0, 9}, 3.0f, 1.0f, 0},   // across the mast's own back
      {"Ausleger.x", {30, 0, 0}, 0, 0, 1.5f},   // nested under an arm scaled 2
      {"Ausleger.x", {25, -4, 10}, 0.3f, 2.0f, 0},
  };
  for (const auto& c : cases) {
    TRRCatenary* own = Mast({0, 0, 0}, c.OwnTurn, c.File);
    TRRCatenary* other = Mast(c.Other, c.OtherTurn, c.File);
    ASSERT_NE(own->WireNode(), nullptr);
    EXPECT_FLOAT_EQ(own->RestLength(), 10);
    EXPECT_FALSE(own->WireVisible());
    own->Link(*other);
    P->Scene.Root()->Update(false);
    EXPECT_TRUE(own->WireVisible()) << c.Other.x;
    ExpectNear(Tip(*own), Anchor(*other));
    EXPECT_NEAR(own->WireLength(), gx::GXVec3Length(Anchor(*other) - Anchor(*own)), 1e-3f);
    const TGXVector3 scale = own->WireNode()->Scale();
    EXPECT_FLOAT_EQ(scale.x, 0.5f);
    EXPECT_FLOAT_EQ(scale.z, 0.5f);
    if (c.Length > 0) {
      EXPECT_NEAR(scale.y, c.Length, 1e-5f);
    }
    delete other;
    delete own;
  }
}

TEST_F(Catenary, AnchorsOnTopOfEachOtherHideTheWire) {
  TRRCatenary* a = Mast({4, 0, 4});
  TRRCatenary* b = Mast({4, 0, 4});
  a->Link(*b);
  Frame();
  EXPECT_FALSE(a->WireVisible());
  EXPECT_FALSE(a->WireShown());
  EXPECT_EQ(a->WireLength(), 0);
  EXPECT_TRUE(gx::GXIsFinite(a->WireNode()->Scale()));
  EXPECT_TRUE(gx::GXIsFinite(a->WireNode()->Rotation()));
  // Moved apart, the wire shows again.
  b->SetPosition({24, 0, 4});
  Frame();
  EXPECT_TRUE(a->WireVisible());
  ExpectNear(Tip(*a), Anchor(*b));
}

TEST_F(Catenary, TheFrameLaysTheWireAgainOnlyWhenAMastMoved) {
  const struct {
    bool Partner;  // which mast changes
    TGXVector3 Move;
    float Turn;
    float Scale;
    bool Lays;
  } cases[] = {
      {false, {0.005f, 0, 0}, 0, 1, false}, {true, {0, 0.009f, 0}, 0, 1, false},
      {false, {0.02f, 0, 0}, 0, 1, true},   {true, {0, 0, 0.5f}, 0, 1, true},
      {false, {}, 0.001f, 1, false},        {true, {}, 0.01f, 1, true},
      {true, {}, 0, 1.005f, false},         {false, {}, 0, 1.5f, true},
  };
  for (const auto& c : cases) {
    TRRCatenary* a = Mast({0, 0, 0});
    TRRCatenary* b = Mast({30, 0, 10});
    a->Link(*b);
    Frame();
    const int64_t laid = a->LayCount();
    Frame();
    EXPECT_EQ(a->LayCount(), laid) << "standing still";
    TRRCatenary* moved = c.Partner ? b : a;
    moved->SetPosition(moved->Position() + c.Move);
    moved->SetRotation(AboutY(c.Turn));
    moved->SetScale({c.Scale, c.Scale, c.Scale});
    Frame();
    EXPECT_EQ(a->LayCount(), laid + (c.Lays ? 1 : 0)) << c.Move.x << " " << c.Turn << " " << c.Scale;
    if (c.Lays) ExpectNear(Tip(*a), Anchor(*b));
    delete b;
    delete a;
  }
}

// ---- picking ----

TEST_F(Catenary, ThePickingToolLinksByTheRules) {
  // Masts: 0 the page's mast, 1 the one clicked, 2 and 3 partners. Links given as indices
  // (-1 none); the clicked mast stands in the pick ray at (0, 0, 20).
  const struct {
    int OwnLink, ClickedLink;
    int Clicked;  // -1: nothing pickable under the cursor
    int WantFrom, WantTo;
  } cases[] = {
      {-1, -1, 1, 0, 1},    // neither linked: this mast links to the other
      {2, -1, 1, 1, 0},     // this one has a link, the other none: the other links here
      {2, 3, 1, 0, 1},      // both have one: this mast's link moves to the other
      {1, -1, 1, -1, -1},   // already linked to it
      {-1, 0, 1, -1, -1},   // it links here already
      {-1, -1, 0, -1, -1},  // the mast itself
      {-1, -1, -1, -1, -1},
  };
  for (const auto& c : cases) {
    std::vector<TRRCatenary*> masts;
    for (int i = 0; i < 4; ++i)
      masts.push_back(Mast(i == c.Clicked ? TGXVector3{0, -8, 20} : TGXVector3{60.0f + 10 * i, 0, 0}));
    if (c.Clicked >= 0) masts[c.Clicked]->MastNode()->AttachObject(new TPickBox());
    if (c.OwnLink >= 0) masts[0]->Link(*masts[c.OwnLink]);
    if (c.ClickedLink >= 0) masts[1]->Link(*masts[c.ClickedLink]);
    std::vector<int32_t> before;
    for (TRRCatenary* m : masts) before.push_back(m->ConnectionID());
    M().Selection().Add(masts[0]);
    const int commands = P->Hist->Count();
    TRRCatenaryModifier tool(*masts[0]);
    int finished = 0;
    TRRCatenary* next = masts[3];
    tool.Finished = [&](TRRCatenary* m) { ++finished, next = m; };
    M().AddModifier(&tool);
    EXPECT_TRUE(P->Click(RRMsgLButtonDown));
    EXPECT_EQ(finished, 0);
    M().UpdateFrame();
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(next, nullptr);
    EXPECT_EQ(M().Selection().First(), masts[0]);
    for (int i = 0; i < 4; ++i) {
      const int32_t want = i == c.WantFrom ? masts[c.WantTo]->ID() : before[size_t(i)];
      EXPECT_EQ(masts[size_t(i)]->ConnectionID(), want) << c.OwnLink << " " << c.ClickedLink << " " << i;
    }
    EXPECT_EQ(P->Hist->Count(), commands + (c.WantFrom >= 0 ? 1 : 0));
    M().Selection().Clear();
    M().RemoveModifier(&tool);
    for (TRRCatenary* m : masts) delete m;
  }
}

TEST_F(Catenary, InChainModeTheClickedMastIsSelectedAfterTheClick) {
  TRRCatenary* a = Mast({60, 0, 0});
  TRRCatenary* b = Mast({0, -8, 20});
  b->MastNode()->AttachObject(new TPickBox());
  M().Selection().Add(a);
  TRRCatenaryModifier tool(*a, true);
  TRRCatenary* next = nullptr;
  tool.Finished = [&](TRRCatenary* m) { next = m; };
  M().AddModifier(&tool);
  // A right click is not the tool's.
  EXPECT_FALSE(tool.MouseEvent(nullptr, RRMsgRButtonDown, 0, {}, 0));
  EXPECT_TRUE(P->Click(RRMsgLButtonDblClk));
  EXPECT_EQ(a->ConnectionID(), b->ID());
  // Not inside the click: the page's tool would be freed inside its own handler.
  EXPECT_EQ(M().Selection().First(), a);
  EXPECT_TRUE(tool.Pending());
  M().UpdateFrame();
  EXPECT_EQ(next, b);
  EXPECT_EQ(M().Selection().First(), b);
  EXPECT_EQ(M().Selection().Count(), 1);
  EXPECT_EQ(tool.MastID(), b->ID());
  M().RemoveModifier(&tool);
}

// ---- commands ----

TEST_F(Catenary, LinkingAndUnlinkingAreUndoneAsOneStepEach) {
  TRRCatenary* a = Mast({0, 0, 0});
  TRRCatenary* b = Mast({30, 0, 0});
  TRRCatenary* c = Mast({0, 0, 30});
  TRRCatenary* d = Mast({30, 0, 30});
  const int32_t ia = a->ID(), ib = b->ID(), ic = c->ID(), id = d->ID();
  RRLinkMast(*a, *b);
  EXPECT_EQ(P->Hist->Count(), 1);
  P->Hist->Undo();
  EXPECT_EQ(Find(ia)->ConnectionID(), 0);
  P->Hist->Redo();
  EXPECT_EQ(Find(ia)->ConnectionID(), ib);
  Frame();
  EXPECT_TRUE(Find(ia)->WireVisible());

  RRLinkMast(*Find(ic), *Find(ib));
  RRLinkMast(*Find(ib), *Find(id));
  const int before = P->Hist->Count();
  EXPECT_EQ(RRUnlinkMast(*Find(ib)), 3);
  EXPECT_EQ(P->Hist->Count(), before + 1);
  for (int32_t m : {ia, ib, ic}) EXPECT_EQ(Find(m)->ConnectionID(), 0);
  Frame();
  EXPECT_FALSE(Find(ia)->WireVisible());
  P->Hist->Undo();
  EXPECT_EQ(Find(ia)->ConnectionID(), ib);
  EXPECT_EQ(Find(ic)->ConnectionID(), ib);
  EXPECT_EQ(Find(ib)->ConnectionID(), id);
  Frame();
  for (int32_t m : {ia, ib, ic}) EXPECT_TRUE(Find(m)->WireVisible()) << m;
  // Nothing to unlink: no step.
  EXPECT_EQ(RRUnlinkMast(*Mast({60, 0, 0})), 0);
  EXPECT_EQ(P->Hist->Count(), before + 1);
}

TEST_F(Catenary, ADeletedPartnerHidesTheWireAndIsWrittenAsZero) {
  TRRCatenary* a = Mast({0, 0, 0});
  TRRCatenary* b = Mast({30, 0, 0});
  const int32_t ia = a->ID(), ib = b->ID();
  a->Link(*b);
  Frame();
  ASSERT_TRUE(a->WireVisible());
  M().Selection().Add(b);
  M().DeleteSelection();
  Frame();
  EXPECT_FALSE(Find(ia)->WireVisible());
  EXPECT_EQ(static_cast<TRRCatenaryDesc&>(*Find(ia)->CreateDescription()).ConnectionID, 0);
  // Undoing the delete brings the wire back.
  P->Hist->Undo();
  ASSERT_NE(Find(ib), nullptr);
  Frame();
  EXPECT_TRUE(Find(ia)->WireVisible());
  ExpectNear(Tip(*Find(ia)), Anchor(*Find(ib)));
}

TEST_F(Catenary, CopiesLinkToCopiesAndNeverToThemselves) {
  TRRCatenary* a = Mast({0, 0, 0});
  TRRCatenary* b = Mast({30, 0, 0});
  a->Link(*b);
  M().Selection().Add(a);
  M().Selection().Add(b);
  P->Board.Copy(M().Selection());
  ASSERT_EQ(P->Board.Paste(M()), 2);
  auto* a1 = dynamic_cast<TRRCatenary*>(M().Selection().Item(0));
  auto* b1 = dynamic_cast<TRRCatenary*>(M().Selection().Item(1));
  ASSERT_TRUE(a1 && b1);
  EXPECT_NE(a1->ID(), a->ID());
  EXPECT_EQ(a1->ConnectionID(), b1->ID());
  // Alone, the copy's link is cut.
  M().Selection().Clear();
  M().Selection().Add(a);
  P->Board.Copy(M().Selection());
  ASSERT_EQ(P->Board.Paste(M()), 1);
  EXPECT_EQ(dynamic_cast<TRRCatenary*>(M().Selection().First())->ConnectionID(), 0);
  // A record naming itself (a damaged file) makes a mast without link.
  auto self = Described({0, 0, 50});
  self->ConnectionID = self->ID();
  auto* s = static_cast<TRRCatenary*>(M().CreateEntity(nullptr, *self));
  EXPECT_EQ(s->ConnectionID(), 0);
  s->Link(*s);
  EXPECT_EQ(s->ConnectionID(), 0);
}

TEST_F(Catenary, OnlyThePoleCountsForTheBoxTest) {
  TRRCatenary* a = Mast({0, 0, 0});
  TRRCatenary* b = Mast({30, 0, 0});
  a->Link(*b);
  Frame();
  // A small frustum round a point: on the pole it hits, on the wire half-way it does not.
  auto around = [](const TGXVector3& p) {
    const TGXVector3 d{0, 0, 1};
    return gx::FrustumFromRays(p + TGXVector3{-0.1f, -0.1f, -1}, d, p + TGXVector3{0.1f, -0.1f, -1}, d,
                               p + TGXVector3{0.1f, 0.1f, -1}, d, p + TGXVector3{-0.1f, 0.1f, -1}, d, 2);
  };
  EXPECT_TRUE(a->HitTest(around({0, 6, 0})));
  EXPECT_FALSE(a->HitTest(around({18, 8, 0})));
  const gx::TGXBoundingBox box = a->MastBounds();
  EXPECT_NEAR(box.Max().y, 12, 1e-4f);
  EXPECT_NEAR(box.Max().x, 3.5f, 1e-4f);
}

}  // namespace
