// Contact markers on the null device: when they show, where the shared line lies, and when
// their material is made.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>

#include "app/entities/track/RRContactLine.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/render/GXRenderQueue.h"
#include "tests/app/MaterialTestSupport.h"
#include "tests/app/entities/track/TrackDrawingSupport.h"

namespace {

using namespace rr;

// Tracks whose markers draw with counted test materials.
struct TMarkers {
  tracktest::TCapturingDevice Device;
  std::vector<gx::TGXVector3> Made;
  std::unique_ptr<TRRTrackResources> Resources;
  tracktest::TDrawingManager Manager;
  gx::TGXSceneNode Root{"Wurzel"};
  TMarkers() {
    TRRTrackResources::TSource s;
    s.Device = &Device;
    s.MakeLineMaterial = [this](const gx::TGXVector3& colour) {
      Made.push_back(colour);
      auto m = gx::MakeRef<gx::TGXMaterial>(nullptr, "Marker" + std::to_string(Made.size()), true);
      m->SetEffect(tracktest::MakeTrackEffect(Device, RREffectLinear));
      m->Load();
      return m;
    };
    Resources = std::make_unique<TRRTrackResources>(std::move(s));
    Manager.Resources = Resources.get();
  }
  TRRTrack* Make(int id, float x = 0) {
    TRRTrackDesc d(TRRTrackType::Straight);
    d.SetID(id);
    auto r = std::make_unique<TRRTrackRouteDesc>();
    r->L1 = 10;
    d.AddRoute(std::move(r));
    auto* t = static_cast<TRRTrack*>(TRRTrack::StaticClass().Create(&Root, &Manager, d));
    t->SetPosition({x, 0, 0});
    Root.Update(true);
    return t;
  }
  // Items the marker of the contact queues.
  int Queued(TRRTrackRouteContact* c) {
    gx::TGXRenderQueue q;
    q.Clear();
    c->Marker()->AddToRenderQueue(nullptr, &q);
    return q.ItemCount();
  }
};

}  // namespace

TEST(RRContactLine, MarkersShowOnSelectionAndInTheTechnicalViewOnly) {
  struct TCase {
    const char* Name;
    bool Select, Technical, DisableStart;
    bool Start, End;  // expected markers
  } cases[] = {
      {"nothing", false, false, false, false, false},
      {"selected", true, false, false, true, true},
      {"technical view", false, true, false, true, true},
      {"disabled start in the technical view", false, true, true, false, true},
      {"deselected again", true, false, false, true, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TMarkers s;
    TRRTrack* t = s.Make(1);
    TRRTrackRoute* r = t->GetRoute(0);
    ASSERT_EQ(r->Contact(0)->Marker()->Node(), t);
    EXPECT_FALSE(r->Contact(0)->Marker()->Visible());  // created hidden
    if (c.DisableStart) r->Contact(0)->SetEnabled(false);
    if (c.Select) t->Select();
    t->UpdateView(c.Technical);
    for (int i = 0; i < 2; ++i) {
      const bool expected = i == 0 ? c.Start : c.End;
      EXPECT_EQ(r->Contact(i)->Marker()->Visible(), expected) << i;
      EXPECT_EQ(s.Queued(r->Contact(i)), expected ? 1 : 0) << i;
    }
    if (std::string(c.Name) == "deselected again") {
      t->Deselect();
      EXPECT_FALSE(r->Contact(0)->Marker()->Visible());
      EXPECT_EQ(s.Queued(r->Contact(0)), 0);
    }
  }
}

TEST(RRContactLine, LineLiesAcrossTheTrackEndAboveTheContact) {
  TMarkers s;
  TRRTrack* t = s.Make(1, 7);
  t->SetRotation(gx::GXQuaternionRotationAxis({0, 1, 0}, 0.5f));
  s.Root.Update(true);
  t->UpdateView(true);
  for (int i = 0; i < 2; ++i) {
    TRRTrackRouteContact* c = t->GetRoute(0)->Contact(i);
    ASSERT_EQ(s.Queued(c), 1);
    const gx::TGXMatrix& w = c->Marker()->Primitive().WorldMatrix();
    const float scale = c->Route()->Scale();
    for (float side : {-1.0f, 1.0f}) {
      const gx::TGXVector3 drawn = gx::GXVec3TransformCoord({side * 4.5f, 0.23f, 0}, w);
      const gx::TGXVector3 expected = c->GetWorldPosition() + c->GetWorldUp() * (0.23f * scale) +
                                      c->GetWorldSide() * (side * 4.5f * scale);
      EXPECT_NEAR(std::sqrt(gx::DistanceSquared(drawn, expected)), 0, 1e-3f) << i << " " << side;
    }
  }
}

TEST(RRContactLine, MaterialIsMadeAgainOnlyWhenTheColourRevisionChanges) {
  TMarkers s;
  TRRTrack* t = s.Make(1);
  t->UpdateView(true);
  TRRTrackRouteContact* c = t->GetRoute(0)->Contact(1);
  TRRContactLinePrimitive& p = c->Marker()->Primitive();
  s.Queued(c);
  s.Queued(c);
  ASSERT_EQ(s.Made.size(), 1u);  // drawn twice, made once
  EXPECT_EQ(s.Made[0], gx::TGXVector3(1, 0, 0));
  s.Queued(t->GetRoute(0)->Contact(0));
  EXPECT_EQ(s.Made.size(), 2u);  // each marker has its own
  const int before = p.MaterialsMade();
  gx::IGXMaterial first = p.Material;
  c->SetMarkerColour({1, 0, 0});  // the colour it has: no new revision
  s.Queued(c);
  EXPECT_EQ(p.MaterialsMade(), before);
  EXPECT_EQ(p.Material.Get(), first.Get());
  c->SetMarkerColour({0, 1, 0});
  s.Queued(c);
  s.Queued(c);
  EXPECT_EQ(p.MaterialsMade(), before + 1);
  EXPECT_NE(p.Material.Get(), first.Get());
  EXPECT_EQ(s.Made.back(), gx::TGXVector3(0, 1, 0));
}

TEST(RRContactLine, AllMarkersShareOneTwoVertexBuffer) {
  TMarkers s;
  std::vector<TRRTrack*> tracks = {s.Make(1), s.Make(2, 30), s.Make(3, 60)};
  std::set<const void*> buffers;
  for (TRRTrack* t : tracks) {
    t->UpdateView(true);
    for (int i = 0; i < 2; ++i) {
      TRRTrackRouteContact* c = t->GetRoute(0)->Contact(i);
      ASSERT_EQ(s.Queued(c), 1);
      const gx::TGXRenderPrimitive& p = c->Marker()->Primitive();
      EXPECT_EQ(p.PrimitiveType, uint32_t(gx::GXLineList));
      ASSERT_TRUE(p.VertexGeometry);
      EXPECT_EQ(p.VertexGeometry->VertexCount, 2u);
      EXPECT_EQ(p.VertexGeometry->Strides, std::vector<uint32_t>{12});
      buffers.insert(p.VertexGeometry->Buffers.at(0).Get());
    }
  }
  EXPECT_EQ(buffers.size(), 1u);
  int created = 0;
  for (const std::string& line : s.Device.Log()) created += line.rfind("CreateVertexBuffer(24)", 0) == 0;
  EXPECT_EQ(created, 1);
  const float* v = reinterpret_cast<const float*>(s.Device.VertexBytes.data());
  ASSERT_EQ(s.Device.VertexBytes.size(), 24u);
  EXPECT_EQ(std::vector<float>(v, v + 6), (std::vector<float>{-4.5f, 0.23f, 0, 4.5f, 0.23f, 0}));
}

TEST(RRContactLine, ARouteOutlivedByNothingLeavesNoMarkerBehind) {
  TMarkers s;
  TRRTrack* t = s.Make(1);
  const int objects = t->ObjectCount();
  EXPECT_EQ(objects, 3);  // the route and its two markers
  delete t;
  EXPECT_EQ(s.Root.ChildCount(), 0);
  // Without a manager's resources, a visible marker draws nothing.
  TRRTrackRouteDesc d;
  d.L1 = 5;
  gx::TGXRef<TRRTrackRoute> lone = gx::MakeRef<TRRTrackRoute>(nullptr, 0, d, 1.0f);
  lone->Contact(0)->SetMarkerVisible(true);
  EXPECT_EQ(s.Queued(lone->Contact(0)), 0);
}

// The generator's marker material, on the real model effect.
class TContactLineMaterialTest : public rr::test::TMaterialTest {};

TEST_F(TContactLineMaterialTest, MarkerDrawsWithItsOwnColouredCopyWithoutDepthTest) {
  auto zEnabled = [](const gx::IGXMaterial& m) {
    gx::TGXEffectValueSource* z = m->FindValue("ZEnable");
    if (!z) return -1;
    for (uint8_t b : z->Data())
      if (b) return 1;
    return 0;
  };
  TRRMaterialSubDesc sub;
  sub.Lit = false;
  sub.Diffuse = {0, 1, 0};
  gx::IGXMaterial shared = TRRMaterialGenerator::MakeMaterial(sub);
  ASSERT_TRUE(shared);
  gx::IGXMaterial green = TRRContactLineTemplate::GeneratorMaterial({0, 1, 0});
  gx::IGXMaterial red = TRRContactLineTemplate::GeneratorMaterial({1, 0, 0});
  ASSERT_TRUE(green && red);
  EXPECT_NE(green.Get(), shared.Get());
  EXPECT_NE(green.Get(), red.Get());
  EXPECT_EQ(zEnabled(shared), 1);  // models keep their depth test
  EXPECT_EQ(zEnabled(green), 0);
  EXPECT_EQ(zEnabled(red), 0);
  EXPECT_EQ(green->GetTechnique(), shared->GetTechnique());
  const std::vector<float> expected[] = {{0, 1, 0, 1}, {1, 0, 0, 1}};
  const gx::IGXMaterial* made[] = {&green, &red};
  for (int i = 0; i < 2; ++i) {
    gx::TGXEffectValueSource* c = (*made[i])->FindValue("ExplicitColor");
    ASSERT_TRUE(c);
    std::vector<float> f(4);
    std::memcpy(f.data(), c->Data().data(), 16);
    EXPECT_EQ(f, expected[i]) << i;
  }
}
