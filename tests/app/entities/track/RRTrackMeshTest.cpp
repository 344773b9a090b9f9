// Track drawing on the null device: the shared segment geometries and effects, the primitives
// a route is drawn with, their per-frame set-up and parameters, and batching.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "app/RRAssetFileLoader.h"
#include "app/RRProject.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackPrimitives.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/render/GXDdsReader.h"
#include "engine/render/GXRenderQueue.h"
#include "engine/render/GXTexture.h"
#include "tests/app/entities/track/TrackDrawingSupport.h"

namespace {

using namespace rr;
using tracktest::TDrawing;
using tracktest::TDrawingManager;

std::unique_ptr<TRRTrackRouteDesc> Straight(float l1, float angle = 0, float radius = 0, float l2 = 0) {
  auto r = std::make_unique<TRRTrackRouteDesc>();
  r->L1 = l1;
  r->Angle = angle;
  r->Radius = radius;
  r->L2 = l2;
  return r;
}

TRRTrackRouteDesc Flex(int points, float spacing = 1) {
  TRRTrackRouteDesc d;
  for (int i = 0; i < points; ++i) d.FlexPoints.push_back({0, 1, 0, float(i) * spacing});
  d.FlexL = float(points - 1) * spacing;
  return d;
}

gx::TGXRef<TRRTrackRoute> Route(const TRRTrackRouteDesc& d, float scale = 1) {
  return gx::MakeRef<TRRTrackRoute>(nullptr, 0, d, scale);
}

float Value(const gx::IGXMaterial& m, const char* name, int element = 0) {
  gx::TGXEffectValueSource* v = m->FindValue(name);
  if (!v) return NAN;
  float f;
  std::memcpy(&f, v->Data().data() + size_t(element) * 4, 4);
  return f;
}

// A scene of tracks drawn by the test manager.
struct TTracks {
  TDrawing Drawing;
  std::unique_ptr<TRRTrackResources> Resources = Drawing.Make();
  TDrawingManager Manager;
  gx::TGXSceneNode Root{"Wurzel"};
  TTracks() {
    Manager.Resources = Resources.get();
    Resources->SetBatching(false);
  }
  TRRTrack* Make(TRRTrackType type, std::vector<std::unique_ptr<TRRTrackRouteDesc>> routes, int id = 1) {
    TRRTrackDesc d(type);
    d.SetID(id);
    for (auto& r : routes) d.AddRoute(std::move(r));
    auto* t = static_cast<TRRTrack*>(TRRTrack::StaticClass().Create(&Root, &Manager, d));
    Root.Update(true);
    return t;
  }
  TRRTrack* Make(std::unique_ptr<TRRTrackRouteDesc> route, int id = 1) {
    std::vector<std::unique_ptr<TRRTrackRouteDesc>> v;
    v.push_back(std::move(route));
    return Make(TRRTrackType::Straight, std::move(v), id);
  }
};

std::vector<std::unique_ptr<TRRTrackRouteDesc>> Routes(int n) {
  std::vector<std::unique_ptr<TRRTrackRouteDesc>> v;
  for (int i = 0; i < n; ++i) v.push_back(Straight(18.83f, i == 0 ? 0 : 0.3927f * i, i == 0 ? 0 : 43.7f));
  return v;
}

}  // namespace

// ---- geometries ----

TEST(RRTrackGeometry, SixtyFourCopiesAreMadeThroughTheDevice) {
  TDrawing d;
  const gx::TGXMeshData mesh = assetgen::TrackSegmentMesh(true);
  const uint32_t vc = mesh.VertexCount, ic = mesh.SubMeshes[0].IndexCount;
  TRRTrackBedGeometry g(d.Device, tracktest::SegmentMesh(d.Device, mesh));
  EXPECT_EQ(g.Vertices().VertexCount, 64 * vc);
  EXPECT_EQ(g.Vertices().Strides, std::vector<uint32_t>{32});
  EXPECT_EQ(g.Indices().IndexCount, 64 * ic);
  EXPECT_EQ(g.SegmentIndexCount(), ic);
  const std::vector<std::string> log = d.Device.Log();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0], "CreateVertexBuffer(" + std::to_string(64 * vc * 32) + ") -> VertexBuffer1");
  EXPECT_EQ(log[1], "WriteVertexBuffer(VertexBuffer1, 0, " + std::to_string(64 * vc * 32) + ")");
  EXPECT_EQ(log[2], "CreateIndexBuffer(" + std::to_string(64 * ic * 2) + ", 101) -> IndexBuffer2");
  // Copy i is the segment moved by i along Z, its indices moved by i vertex counts.
  for (int copy : {0, 1, 63})
    for (uint32_t v : {0u, vc - 1}) {
      float a[8], b[8];
      std::memcpy(a, mesh.Streams[0].Data.data() + v * 32, 32);
      std::memcpy(b, d.Device.VertexBytes.data() + (copy * vc + v) * 32, 32);
      EXPECT_FLOAT_EQ(b[2], a[2] + float(copy));
      EXPECT_EQ(std::memcmp(a, b, 8), 0);
      EXPECT_EQ(std::memcmp(a + 3, b + 3, 20), 0);
    }
  for (int copy : {0, 5, 63})
    for (uint32_t i : {0u, ic - 1})
      EXPECT_EQ(d.Device.IndexValues[copy * ic + i], mesh.SubMeshes[0].Indices[i] + copy * vc);
}

TEST(RRTrackGeometry, UnusableSegmentMeshesAreRefusedBeforeAnyBuffer) {
  auto base = [] { return assetgen::TrackSegmentMesh(false); };
  struct TCase {
    const char* Name;
    std::function<void(gx::TGXMeshData&)> Spoil;
  };
  const TCase cases[] = {
      {"other stride",
       [](gx::TGXMeshData& m) {
         m.Streams[0].Stride = 36;
         m.Streams[0].Data.resize(m.VertexCount * 36);
       }},
      {"two streams", [](gx::TGXMeshData& m) { m.Streams.push_back(m.Streams[0]); }},
      {"too many vertices",
       [](gx::TGXMeshData& m) {
         m.VertexCount = 1025;
         m.Streams[0].Data.resize(1025 * 32);
       }},
      {"no vertices", [](gx::TGXMeshData& m) { m.VertexCount = 0; }},
      {"no sub-mesh", [](gx::TGXMeshData& m) { m.SubMeshes.clear(); }},
      {"index beyond the vertices",
       [](gx::TGXMeshData& m) { m.SubMeshes[0].Indices[0] = uint16_t(m.VertexCount); }},
      {"range beyond the indices", [](gx::TGXMeshData& m) { m.SubMeshes[0].IndexCount += 3; }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TDrawing d;
    gx::TGXMeshData m = base();
    c.Spoil(m);
    for (int kind = 0; kind < RRTrackGeometryKinds; ++kind) {
      try {
        RRCreateTrackGeometry(kind, d.Device, tracktest::SegmentMesh(d.Device, m));
        ADD_FAILURE() << "kind " << kind << " accepted";
      } catch (const gx::EGXAssertion& e) {
        EXPECT_EQ(e.File(), RRTrackGeometrySource);
      }
    }
    EXPECT_TRUE(d.Device.Log().empty());
  }
}

TEST(RRTrackGeometry, FailedLocksRaiseAndLeaveNothingCached) {
  for (int failing = 0; failing < 2; ++failing) {
    TDrawing d;
    struct TFailing : tracktest::TCapturingDevice {
      int FailAt = 0, Calls = 0;
      bool WriteVertexBuffer(gx::TGXDeviceVertexBuffer* b, uint32_t o, const void* p, uint32_t s) override {
        return Calls++ != FailAt && TCapturingDevice::WriteVertexBuffer(b, o, p, s);
      }
      bool WriteIndexBuffer(gx::TGXDeviceIndexBuffer* b, uint32_t o, const void* p, uint32_t s) override {
        return Calls++ != FailAt && TCapturingDevice::WriteIndexBuffer(b, o, p, s);
      }
    } device;
    device.FailAt = failing;
    try {
      TRRTrackNoBedGeometry g(device, tracktest::SegmentMesh(device, assetgen::TrackSegmentMesh(false)));
      ADD_FAILURE();
    } catch (const gx::EDirect3D& e) {
      EXPECT_EQ(e.Args()[1].Text(), failing ? "CreateIndices" : "CreateVertices");
      EXPECT_EQ(e.Args()[2].Text(), "Lock failed");
    }
  }
  // Through the resources: one report, null from then on, no second attempt.
  TDrawing d;
  d.Device.SetWriteResult(false);
  auto r = d.Make();
  EXPECT_EQ(r->Geometry(RRGeometryBed), nullptr);
  EXPECT_EQ(r->Geometry(RRGeometryBed), nullptr);
  EXPECT_EQ(r->ReportCount(), 1);
  ASSERT_EQ(d.Reports.size(), 1u);
  EXPECT_NE(d.Reports[0].find("Lock failed"), std::string::npos);
  EXPECT_EQ(d.Loads[RRTrackMeshBed], 1);
  // The one-segment geometry needs no new buffer and is made.
  ASSERT_NE(r->Geometry(RRGeometryBedLow), nullptr);
  EXPECT_EQ(r->Geometry(RRGeometryBedLow)->SegmentIndexCount(),
            assetgen::TrackSegmentMesh(true).SubMeshes[0].IndexCount);
}

TEST(RRTrackGeometry, GeneratedAssetsKeepTheSegmentContract) {
  const TRRTrackSegmentShape builtIn;
  for (bool bed : {false, true}) {
    SCOPED_TRACE(bed ? "bed" : "no bed");
    const gx::TGXMeshData m = assetgen::TrackSegmentMesh(bed);
    EXPECT_NO_THROW(RRCheckSegmentMesh(m));
    EXPECT_LT(m.VertexCount, 100u);  // lean: tens of vertices
    gx::TGXVector3 lo, hi;
    RRSegmentBounds(m, lo, hi);
    EXPECT_FLOAT_EQ(hi.y, builtIn.RailHeight());
    EXPECT_FLOAT_EQ(lo.y, 0);  // nothing floats
    EXPECT_FLOAT_EQ(lo.z, 0);
    EXPECT_FLOAT_EQ(hi.z, 1);
    if (bed) {
      EXPECT_EQ(lo, builtIn.Min);
      EXPECT_EQ(hi, builtIn.Max);
    }
    // The file reads back to the same mesh.
    const std::vector<uint8_t> file = assetgen::TrackSegmentMeshFile(bed);
    gx::TGXMemoryStream s;
    s.WriteBuffer(file.data(), int64_t(file.size()));
    s.SetPosition(0);
    EXPECT_EQ(gx::TGXMeshSerializer().Read(s).Streams[0].Data, m.Streams[0].Data);
  }
  for (int style = 0; style < assetgen::TrackTextureCount; ++style) {
    const std::vector<uint8_t> dds = assetgen::TrackTextureDds(style);
    const gx::TGXDdsImage image = gx::GXReadDds(dds);
    EXPECT_EQ(image.Width, 128u);
    EXPECT_EQ(image.Levels, 8u);
  }
  EXPECT_NE(assetgen::TrackTexture(1), assetgen::TrackTexture(3));
}

// ---- effects ----

TEST(RRTrackEffect, EveryKindFindsItsParametersAndRefusesWhatLacksOne) {
  for (int kind = 0; kind < RRTrackEffectKinds; ++kind) {
    SCOPED_TRACE(RRTrackEffectFile(kind));
    TDrawing d;
    auto effect = RRCreateTrackEffect(kind, tracktest::MakeTrackEffect(d.Device, kind));
    EXPECT_EQ(effect->DefaultTechnique()->Name(), "Main");
    EXPECT_EQ(effect->CADTechnique()->Name(), "CAD");
    EXPECT_EQ(effect->Material(true)->GetTechnique(), effect->CADTechnique());
    EXPECT_NE(effect->Material(false), effect->Material(true));
    EXPECT_TRUE(effect->InstanceParameters(false).Complete());
    EXPECT_EQ(effect->InstanceParameters(false).SegmentInfo != nullptr, kind >= RREffectFlexible);
    std::vector<std::string> names = {"DepthBias", "SpecialColor", "DiffuseMap"};
    for (auto& [name, type] : tracktest::OwnParameters(kind)) names.push_back(name);
    for (const std::string& missing : names) {
      try {
        RRCreateTrackEffect(kind, tracktest::MakeTrackEffect(d.Device, kind, missing));
        ADD_FAILURE() << missing;
      } catch (const gx::EGXException& e) {
        EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
      }
    }
  }
  TDrawing d;
  EXPECT_THROW(RRCreateTrackEffect(RREffectFlexible,
                                   tracktest::MakeTrackEffect(d.Device, RREffectFlexible, {}, false, 63)),
               gx::EGXException);
  // Through the resources: reported once, and that kind is not drawn.
  d.LeaveOut[RREffectCurve] = "Radius";
  auto r = d.Make();
  EXPECT_EQ(r->Effect(RREffectCurve), nullptr);
  EXPECT_EQ(r->Effect(RREffectCurve), nullptr);
  EXPECT_NE(r->Effect(RREffectLinear), nullptr);
  EXPECT_EQ(d.Reports.size(), 1u);
}

TEST(RRTrackResources, WithoutADeviceNothingIsMadeOrReported) {
  TRRTrackResources r({});
  EXPECT_EQ(r.Geometry(0), nullptr);
  EXPECT_EQ(r.Effect(0), nullptr);
  EXPECT_EQ(r.DefaultTexture(), nullptr);
  EXPECT_EQ(r.ReportCount(), 0);
  TDrawing d;
  d.MissingFiles.insert(RRTrackMeshNoBed);
  auto made = d.Make();
  EXPECT_EQ(made->Geometry(RRGeometryNoBed), nullptr);
  EXPECT_EQ(made->Geometry(RRGeometryNoBed), nullptr);
  EXPECT_EQ(made->Geometry(7), nullptr);
  EXPECT_EQ(made->Effect(-1), nullptr);
  EXPECT_EQ(d.Reports.size(), 1u);
  EXPECT_EQ(made->Geometry(RRGeometryBed), made->Geometry(RRGeometryBed));
}

// ---- building primitives ----

TEST(RRTrackPrimitives, RoutesSplitIntoChunksByTheirShape) {
  struct TExpect {
    TRRTrackPrimitiveKind Kind;
    int Segments;
    float Start;
  };
  using K = TRRTrackPrimitiveKind;
  struct TCase {
    const char* Name;
    TRRTrackRouteDesc Desc;
    float Scale;
    float Hidden[2];
    std::vector<TExpect> Expect;
  };
  auto fixed = [](float l1, float a = 0, float r = 0, float l2 = 0) { return *Straight(l1, a, r, l2); };
  std::vector<TExpect> eight;
  for (int i = 0; i < 8; ++i) eight.push_back({K::Curved, 45, 45.0f * float(i)});
  const TCase cases[] = {
      {"straight of 100", fixed(100), 1, {0, 0}, {{K::Linear, 64, 0}, {K::Linear, 36, 64}}},
      {"curve of radius 360, angle 1", fixed(0, 1.0f, 360), 1, {0, 0}, eight},
      {"N scale straight",
       fixed(100),
       0.54375f,
       {0, 0},
       {{K::Linear, 64, 0}, {K::Linear, 64, 64 * 100 / 184.0f}, {K::Linear, 56, 128 * 100 / 184.0f}}},
      {"lead-in, arc, lead-out",
       fixed(10, 0.5f, 20, 5),
       1,
       {0, 0},
       {{K::Linear, 10, 0}, {K::Curved, 10, 10}, {K::Linear, 5, 20}}},
      {"opposite signs drive the arc", fixed(0, -0.5f, 20), 1, {0, 0}, {{K::Curved, 10, 0}}},
      {"shorter than half a scale", fixed(0.4f), 1, {0, 0}, {}},
      {"zero length", fixed(0), 1, {0, 0}, {}},
      {"hidden stretch", fixed(30), 1, {10, 20}, {{K::Linear, 10, 0}, {K::Linear, 10, 20}}},
      {"hidden stretch past the end", fixed(30), 1, {10, 50}, {{K::Linear, 10, 0}}},
      {"hidden stretch covering all", fixed(30), 1, {0.1f, 50}, {}},
      {"flexible of 130 points",
       Flex(130),
       1,
       {0, 0},
       {{K::FreeForm, 63, 0}, {K::FreeForm, 63, 63}, {K::FreeForm, 3, 126}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto route = Route(c.Desc, c.Scale);
    route->SetHiddenInterval(c.Hidden[0], c.Hidden[1]);
    route->BuildPrimitives();
    EXPECT_FALSE(route->Dirty());
    const auto& p = route->Primitives();
    ASSERT_EQ(p.size(), c.Expect.size());
    for (size_t i = 0; i < p.size(); ++i) {
      EXPECT_EQ(p[i]->Kind(), c.Expect[i].Kind) << i;
      EXPECT_EQ(p[i]->SegmentCount(), c.Expect[i].Segments) << i;
      EXPECT_NEAR(p[i]->StartDistance(), c.Expect[i].Start, 1e-3f) << i;
      // The local matrix starts the primitive on the route, scaled by the track-system scale.
      const gx::TGXVector3 at = gx::GXVec3TransformCoord({0, 0, 0}, p[i]->LocalMatrix());
      const gx::TGXVector3 want = route->GetPosition(p[i]->StartDistance());
      if (p[i]->Kind() != K::FreeForm) {
        EXPECT_LT(gx::DistanceSquared(at, want), 1e-6f) << i;
      }
      EXPECT_NEAR(gx::GXVec3Length(gx::GXVec3TransformNormal({1, 0, 0}, p[i]->LocalMatrix())), c.Scale,
                  1e-5f);
      // Segments of the stretch it covers, in model units.
      if (p[i]->Kind() != K::FreeForm) {
        EXPECT_NEAR(p[i]->SegmentLength() * c.Scale * float(p[i]->SegmentCount()),
                    p[i]->EndDistance() - p[i]->StartDistance(), 1e-3f);
      }
    }
  }
  // The eight arc pieces turn by an eighth each, with the radius in model units.
  auto curve = Route(fixed(0, 1.0f, 360), 0.5f);
  curve->BuildPrimitives();
  auto* first = dynamic_cast<TRRCurvedTrackPrimitive*>(curve->Primitives()[0].get());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(curve->Primitives().size(), 16u);
  EXPECT_FLOAT_EQ(first->Angle(), 1.0f / 16);
  EXPECT_FLOAT_EQ(first->Radius(), 720);
  auto opposite = Route(fixed(0, -0.5f, 20));
  opposite->BuildPrimitives();
  auto* o = dynamic_cast<TRRCurvedTrackPrimitive*>(opposite->Primitives()[0].get());
  EXPECT_FLOAT_EQ(o->Angle(), -0.5f);
  EXPECT_FLOAT_EQ(o->Radius(), -20);
}

TEST(RRTrackPrimitives, AbsurdNumbersMakeFewOrNoPrimitivesAndEnd) {
  const float inf = INFINITY, nan = NAN, huge = 1e30f;
  const float shapes[][4] = {{nan, nan, nan, nan}, {inf, 0, 0, 0},     {huge, 0, 0, 0},  {0, huge, huge, 0},
                             {0, 1e-30f, huge, 0}, {0, 3.0f, 1e7f, 0}, {-5, -1, -1, -5}, {0, nan, 10, inf}};
  for (const auto& s : shapes) {
    auto route = Route(*Straight(s[0], s[1], s[2], s[3]));
    route->BuildPrimitives();
    // Lengths are bounded by the route's segment limit: at most three stretches of it.
    EXPECT_LE(route->Primitives().size(), size_t(3 * RRMaxRouteSegments / 32));
    for (const auto& p : route->Primitives()) {
      EXPECT_GT(p->SegmentCount(), 0);
      EXPECT_LE(p->SegmentCount(), 64);
      EXPECT_TRUE(std::isfinite(p->SegmentLength()));
    }
  }
}

TEST(RRTrackPrimitives, TwistRunsOnAcrossChunkBorders) {
  TTracks s;
  TRRTrack* t = s.Make(Straight(128));
  TRRTrackRoute* r = t->GetRoute(0);
  r->Contact(1)->SetRoll(1.0f);
  r->BuildPrimitives();
  const auto& p = r->Primitives();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_FLOAT_EQ(p[0]->TwistAngle0(), 0);
  EXPECT_FLOAT_EQ(p[0]->TwistAngle1(), 0.5f);
  EXPECT_FLOAT_EQ(p[1]->TwistAngle0(), 0.5f);
  EXPECT_FLOAT_EQ(p[1]->TwistAngle1(), 1.0f);
  gx::TGXRenderQueue queue;
  queue.Clear();
  r->AddToRenderQueue(nullptr, &queue);
  p[1]->BeforeRender();
  const gx::IGXMaterial& m = p[1]->Material;
  EXPECT_FLOAT_EQ(Value(m, "TwistAngle0"), 0.5f);
  EXPECT_FLOAT_EQ(Value(m, "TwistAngle1"), 1.0f);
  EXPECT_FLOAT_EQ(Value(m, "Length"), 64);
}

// ---- set-up and parameters ----

TEST(RRTrackPrimitives, SetUpFollowsBedRollAndTechnicalViewWithoutRebuild) {
  struct TCase {
    const char* Name;
    bool Flex, Curve, Bed, Twisted, Technical;
    int Effect, Geometry;
    const char* Technique;
  };
  const TCase cases[] = {
      {"straight with bed", false, false, true, false, false, RREffectLinearLow, RRGeometryBedLow, "Main"},
      {"straight without bed", false, false, false, false, false, RREffectLinear, RRGeometryNoBed, "Main"},
      {"twisted straight with bed", false, false, true, true, false, RREffectTwistedLinear, RRGeometryBed,
       "Main"},
      {"twisted straight without bed", false, false, false, true, true, RREffectTwistedLinear,
       RRGeometryNoBed, "CAD"},
      {"curve with bed", false, true, true, false, false, RREffectCurve, RRGeometryBed, "Main"},
      {"twisted curve without bed", false, true, false, true, true, RREffectTwistedCurve, RRGeometryNoBed,
       "CAD"},
      {"flexible with bed", true, false, true, false, true, RREffectFlexible, RRGeometryBed, "CAD"},
      {"twisted flexible", true, false, false, true, false, RREffectTwistedFlexible, RRGeometryNoBed, "Main"},
  };
  TTracks s;
  TRRTrack* straight = s.Make(Straight(10), 1);
  TRRTrack* curve = s.Make(Straight(0, 0.5f, 20), 2);
  std::vector<std::unique_ptr<TRRTrackRouteDesc>> flex;
  flex.push_back(std::make_unique<TRRTrackRouteDesc>(Flex(11)));
  TRRTrack* flexible = s.Make(TRRTrackType::Flexible, std::move(flex), 3);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TRRTrack* t = c.Flex ? flexible : c.Curve ? curve : straight;
    TRRTrackRoute* r = t->GetRoute(0);
    gx::TGXRenderQueue queue;
    queue.Clear();
    r->AddToRenderQueue(nullptr, &queue);  // built
    TRRTrackPrimitive* p = r->Primitives()[0].get();
    t->SetHasBed(c.Bed);
    r->Contact(1)->SetRoll(c.Twisted ? 0.5f : 0);
    r->SetDirty(false);  // the per-frame choice needs no rebuild
    s.Manager.Technical = c.Technical;
    queue.Clear();
    r->AddToRenderQueue(nullptr, &queue);
    ASSERT_EQ(r->Primitives()[0].get(), p);
    EXPECT_EQ(p->EffectKind(), c.Effect);
    EXPECT_EQ(p->GeometryKind(), c.Geometry);
    EXPECT_EQ(p->Material->GetTechnique()->Name(), c.Technique);
    EXPECT_EQ(p->Material->GetEffect(), s.Resources->Effect(c.Effect)->Effect());
    TRRTrackGeometry* g = s.Resources->Geometry(c.Geometry);
    EXPECT_EQ(p->IndexGeometry->Buffer, g->Indices().Buffer);
    EXPECT_EQ(p->IndexGeometry->IndexCount, c.Geometry == RRGeometryBedLow
                                                ? g->Indices().IndexCount
                                                : uint32_t(p->SegmentCount()) * g->SegmentIndexCount());
    EXPECT_EQ(queue.ItemCount(), int(r->Primitives().size()));
  }
}

TEST(RRTrackPrimitives, ParametersPerKindColourBiasAndTexture) {
  TTracks s;
  TRRTrack* sw = s.Make(TRRTrackType::ThreeWaySwitch, Routes(3));
  TRRTrack::SetShowActiveSwitch(true);
  sw->SetActiveRoute(1);
  gx::TGXRenderQueue queue;
  queue.Clear();
  float bias[3];
  for (int i = 0; i < 3; ++i) {
    TRRTrackRoute* r = sw->GetRoute(i);
    r->AddToRenderQueue(nullptr, &queue);
    TRRTrackPrimitive* p = r->Primitives()[0].get();
    p->BeforeRender();
    bias[i] = Value(p->Material, "DepthBias");
    EXPECT_FLOAT_EQ(bias[i], r->DepthBias());
    const float colour[4] = {r->Colour().x, r->Colour().y, r->Colour().z, r->Colour().w};
    for (int c = 0; c < 4; ++c) EXPECT_FLOAT_EQ(Value(p->Material, "SpecialColor", c), colour[c]);
    // No texture of its own: the default one.
    EXPECT_EQ(static_cast<gx::TGXRefCounted*>(p->Material->FindTexture("DiffuseMap")->GetTexture()),
              s.Drawing.DefaultTexture.Get());
  }
  EXPECT_LT(bias[1], bias[0]);  // the active route on top
  EXPECT_LT(bias[1], bias[2]);
  EXPECT_FLOAT_EQ(Value(sw->GetRoute(0)->Primitives()[0]->Material, "SpecialColor"), 0.65f);
  // The straight route with bed: the stretched one-segment mesh.
  TRRTrackPrimitive* low = sw->GetRoute(0)->Primitives()[0].get();
  low->BeforeRender();
  EXPECT_FLOAT_EQ(Value(low->Material, "Length"), 18.83f);
  EXPECT_FLOAT_EQ(Value(low->Material, "SegmentCount"), 19);
  // A curve: piece angle, radius in model units.
  TRRTrackPrimitive* arc = sw->GetRoute(2)->Primitives().back().get();
  arc->BeforeRender();
  EXPECT_FLOAT_EQ(Value(arc->Material, "Angle"), 0.7854f);
  EXPECT_FLOAT_EQ(Value(arc->Material, "Radius"), 43.7f);
  EXPECT_FLOAT_EQ(Value(arc->Material, "Length"), 0.7854f * 43.7f);
  // A texture of its own.
  gx::IGXTexture own(gx::MakeRef<tracktest::TFakeTexture>(nullptr, "Eigene", true).Get());
  sw->GetRoute(0)->SetTexture(gx::TGXRef<gx::TGXRefCounted>(own.Get()));
  queue.Clear();
  sw->GetRoute(0)->AddToRenderQueue(nullptr, &queue);
  sw->GetRoute(0)->Primitives()[0]->BeforeRender();
  EXPECT_EQ(sw->GetRoute(0)->Primitives()[0]->Material->FindTexture("DiffuseMap")->GetTexture(), own.Get());
  TRRTrack::SetShowActiveSwitch(false);

  // Flexible: the chunk's points from its first one, the scale as segment size.
  std::vector<std::unique_ptr<TRRTrackRouteDesc>> flex;
  flex.push_back(std::make_unique<TRRTrackRouteDesc>(Flex(70)));
  TRRTrack* f = s.Make(TRRTrackType::Flexible, std::move(flex), 9);
  queue.Clear();
  f->GetRoute(0)->AddToRenderQueue(nullptr, &queue);
  TRRTrackPrimitive* second = f->GetRoute(0)->Primitives()[1].get();
  second->BeforeRender();
  EXPECT_FLOAT_EQ(Value(second->Material, "SegmentInfo", 3), 63);  // position z of point 63
  EXPECT_FLOAT_EQ(Value(second->Material, "SegmentInfo", 6 * 4 + 3), 69);
  EXPECT_FLOAT_EQ(Value(second->Material, "SegmentSize"), 1);
}

TEST(RRTrackPrimitives, SortKeyAndWorldMatrixAfterRebuildAndMove) {
  TTracks s;
  TRRTrack* t = s.Make(Straight(10));
  t->SetPosition({100, 0, 0});
  s.Root.Update(false);
  TRRTrackRoute* r = t->GetRoute(0);
  gx::TGXSceneNode eye("Auge", &s.Root);
  eye.SetPosition({100, 50, 0});
  s.Root.Update(false);
  auto camera = gx::MakeRef<gx::TGXNullCamera>();
  eye.AttachObject(camera.Get());
  gx::TGXRenderQueue queue;
  queue.Clear();
  r->AddToRenderQueue(camera.Get(), &queue);
  ASSERT_EQ(queue.ItemCount(), 1);
  EXPECT_FLOAT_EQ(queue.Items(0).Distance, gx::DistanceSquared(eye.WorldPosition(), r->WorldBounds().Center));
  const gx::TGXVector3 origin = gx::GXVec3TransformCoord({0, 0, 0}, *r->Primitives()[0]->GetWorldMatrix());
  EXPECT_FLOAT_EQ(origin.x, 100);
  // A rebuild without any move is still drawn where the track is.
  r->SetParameters(0, 12, 0, 0, 0, 0);
  queue.Clear();
  r->AddToRenderQueue(nullptr, &queue);
  EXPECT_FLOAT_EQ(gx::GXVec3TransformCoord({0, 0, 0}, *r->Primitives()[0]->GetWorldMatrix()).x, 100);
  EXPECT_EQ(queue.Items(0).Distance, 0);  // no camera node
  // Moving the track refreshes the primitives' world matrix.
  t->SetPosition({-30, 5, 0});
  s.Root.Update(false);
  const gx::TGXVector3 moved = gx::GXVec3TransformCoord({0, 0, 0}, *r->Primitives()[0]->GetWorldMatrix());
  EXPECT_FLOAT_EQ(moved.x, -30);
  EXPECT_FLOAT_EQ(moved.y, 5);
}

// ---- batching ----

TEST(RRTrackBatching, BatchedAndSinglePathsDrawTheSamePrimitives) {
  for (int count : {RRTrackBatchThreshold - 1, 40}) {
    SCOPED_TRACE(count);
    TTracks s;
    std::vector<TRRTrack*> tracks;
    for (int i = 0; i < count; ++i) {
      tracks.push_back(s.Make(Straight(10), i + 1));
      tracks.back()->SetPosition({float(i) * 10, 0, 0});
    }
    s.Root.Update(false);
    struct TDrawn {
      std::set<const gx::TGXMatrix*> Singles;
      std::vector<gx::TGXMatrix> Instanced;
      int Calls = 0;
    };
    auto frame = [&](bool batching) {
      s.Resources->SetBatching(batching);
      gx::TGXRenderQueue queue;
      queue.Clear();
      for (TRRTrack* t : tracks) t->GetRoute(0)->AddToRenderQueue(nullptr, &queue);
      TDrawn d;
      for (int i = 0; i < queue.ItemCount(); ++i) {
        gx::TGXRenderPrimitive* p = queue.Items(i).Primitive;
        p->BeforeRender();
        if (p->InstanceCount == 0) continue;
        ++d.Calls;
        if (auto* batch = dynamic_cast<TRRTrackBatchPrimitive*>(p)) {
          gx::TGXEffectValueSource* w = p->Material->FindValue("InstanceWorld");
          EXPECT_FLOAT_EQ(Value(p->Material, "Instanced"), 1);
          for (uint32_t k = 0; k < p->InstanceCount; ++k) {
            gx::TGXMatrix m;
            std::memcpy(&m, w->Data().data() + k * 64, 64);
            d.Instanced.push_back(m);
          }
          EXPECT_GT(batch->InstanceCount, 0u);
        } else {
          EXPECT_FLOAT_EQ(Value(p->Material, "Instanced"), 0);
          d.Singles.insert(p->GetWorldMatrix());
        }
      }
      return d;
    };
    const TDrawn single = frame(false);
    const TDrawn batched = frame(true);
    EXPECT_EQ(single.Calls, count);
    EXPECT_TRUE(single.Instanced.empty());
    if (count < RRTrackBatchThreshold) {
      EXPECT_EQ(batched.Calls, count);
      EXPECT_EQ(batched.Singles, single.Singles);
    } else {
      EXPECT_EQ(batched.Calls, (count + RRTrackMaxInstances - 1) / RRTrackMaxInstances);
      ASSERT_EQ(batched.Instanced.size(), size_t(count));
      for (int i = 0; i < count; ++i)
        EXPECT_EQ(batched.Instanced[size_t(i)],
                  tracks[size_t(i)]->GetRoute(0)->Primitives()[0]->WorldMatrix());
    }
    // A new collection starts the groups afresh.
    const TDrawn again = frame(true);
    EXPECT_EQ(again.Calls, batched.Calls);
  }
}

// ---- texture list ----

TEST(RRTrackTextures, EveryCreatedTrackAddsItsTextureOnce) {
  auto list = RRCreateTrackTextureList();
  ASSERT_EQ(list->Count(), 7);
  TRRScriptedUIService ui;
  gx::TGXFileSystem fs;
  TRRProjectServices services;
  services.UI = &ui;
  services.FileSystem = &fs;
  services.TrackTextures = list.get();
  TRRProject project(services);
  TTracks s;
  TRRTrack* standard = s.Make(Straight(10), 1);
  project.EntityCreated(standard);  // the default texture is listed already
  EXPECT_EQ(list->Count(), 7);
  TRRTrackDesc d(TRRTrackType::Straight);
  d.SetID(2);
  d.AddRoute(Straight(5));
  d.Texture() = TRRAssetFileName("/home/anlage/Eigene Schwellen.png");
  auto* own = static_cast<TRRTrack*>(TRRTrack::StaticClass().Create(&s.Root, &s.Manager, d));
  project.EntityCreated(own);
  project.EntityCreated(own);
  ASSERT_EQ(list->Count(), 8);
  EXPECT_EQ(list->Item(7).FileName, "/home/anlage/Eigene Schwellen.png");
  delete own;
  delete standard;
}
