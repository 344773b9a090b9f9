// Track drawing on a real GL device (llvmpipe): the seven effects compile with both techniques,
// the bent geometry lands where the route is, the active switch route lies on top, batched and
// unbatched frames give the same pixels. Every picture is written as PNG into the test output
// folder (track-pictures/) for a developer to look at.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackGeometry.h"
#include "app/entities/track/RRTrackPrimitives.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/core/GXEngine.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXImageReader.h"
#include "engine/render/GXMesh.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderWindow.h"
#include "engine/render/GXScene.h"
#include "engine/render/GXVertexLayout.h"
#include "tests/app/entities/EntityTestSupport.h"
#include "tools/assetgen/TrackMeshes.h"

namespace {

using namespace rr;

constexpr uint32_t kWidth = 256, kHeight = 256;
constexpr uint32_t kBackground = 0xFF3A5A2Au;  // grass green

void PutBE(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(uint8_t(v >> (8 * i)));
}

void Chunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
  PutBE(png, uint32_t(data.size()));
  std::vector<uint8_t> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  png.insert(png.end(), body.begin(), body.end());
  PutBE(png, uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

// An 8-bit RGB PNG of the 0xAARRGGBB pixels (row 0 the top).
void WritePng(const std::string& name, const std::vector<uint32_t>& pixels, uint32_t w, uint32_t h) {
  const std::filesystem::path folder = std::filesystem::path(VELMORA_TEST_OUTPUT_DIR) / "track-pictures";
  std::filesystem::create_directories(folder);
  std::vector<uint8_t> raw;
  for (uint32_t y = 0; y < h; ++y) {
    raw.push_back(0);
    for (uint32_t x = 0; x < w; ++x) {
      const uint32_t p = pixels[size_t(y) * w + x];
      raw.insert(raw.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
    }
  }
  uLongf size = compressBound(uLong(raw.size()));
  std::vector<uint8_t> packed(size);
  compress2(packed.data(), &size, raw.data(), uLong(raw.size()), 9);
  packed.resize(size);
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  PutBE(header, w);
  PutBE(header, h);
  header.insert(header.end(), {8, 2, 0, 0, 0});
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", packed);
  Chunk(png, "IEND", {});
  std::ofstream(folder / (name + ".png"), std::ios::binary)
      .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
}

std::string ReadText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct TManager : rrtest::TTestManager {
  TRRTrackResources* Resources = nullptr;
  bool Technical = false;
  TRRTrackResources* TrackResources() override { return Resources; }
  bool TechnicalView() const override { return Technical; }
};

class TTrackGLTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Engine = gx::TGXEngine::CreateEngine();
    try {
      Engine->AttachRenderCore(std::make_unique<gx::TGXRenderCore>());
    } catch (const std::exception& e) {
      FAIL() << "No OpenGL 3.3 core context: " << e.what();
    }
    Core = gx::GXCurrentRenderCore();
    Resources = std::make_unique<TRRTrackResources>(Source(0));
    Manager.Resources = Resources.get();
    Surface = std::make_unique<gx::TGXOffscreenSurface>(kWidth, kHeight);
    Window = gx::MakeRef<gx::TGXRenderWindow>(Surface.get());
    Eye = new gx::TGXSceneNode("Auge", Scene.Root());
    Camera = gx::MakeRef<gx::TGXCamera>();
    Eye->AttachObject(Camera.Get());
    // Looking straight down.
    Eye->SetRotation(gx::GXQuaternionRotationAxis({1, 0, 0}, 3.14159265f / 2));
    Camera->SetOrthographic(1, 500, 60);
    gx::TGXViewport* v = Window->AddViewport(0, 0, 1, 1);
    v->SetScene(&Scene);
    v->SetCamera(Camera.Get());
    v->SetClearColor(kBackground);
    TRRTrack::SetShowActiveSwitch(true);
  }
  void TearDown() override {
    TRRTrack::SetShowActiveSwitch(false);
    if (Window) Window->Viewport(0)->SetScene(nullptr);
    Window.Reset();
    for (TRRTrack* t : Tracks) delete t;
    Tracks.clear();
    Resources.reset();
    Engine.reset();
  }

  TRRTrackResources::TSource Source(int style) {
    TRRTrackResources::TSource s;
    s.Device = &Core->Device();
    s.LoadMesh = [](const std::string& file) {
      gx::IGXMesh mesh = gx::MakeRef<gx::TGXMesh>(nullptr, file, true);
      mesh->SetData(assetgen::TrackSegmentMesh(file == RRTrackMeshBed));
      TRRSegmentMesh m;
      m.Data = mesh->GetData();
      m.Layout = mesh->GetGeometry().Layout;
      m.Vertices = mesh->GetGeometry();
      m.Indices = mesh->SubMesh(0)->IndexGeometry;
      return m;
    };
    s.LoadEffect = [](const std::string& file) {
      const std::filesystem::path folder =
          std::filesystem::path(VELMORA_SOURCE_DIR) / "data" / "shaders" / "tracks";
      std::string text = ReadText(folder / std::filesystem::path(file.substr(file.rfind('\\') + 1)));
      const std::string include = "#include \"TrackCommon.fxh\"";
      text.replace(text.find(include), include.size(), ReadText(folder / "TrackCommon.fxh"));
      gx::IGXEffect effect = gx::MakeRef<gx::TGXEffect>(nullptr, file, true);
      effect->SetSourceText(text);
      effect->Load();
      if (!effect->IsLoaded()) throw std::runtime_error(effect->LoadError());
      return effect;
    };
    s.LoadDefaultTexture = [this, style] {
      gx::TGXImage image;
      image.Width = image.Height = 128;
      image.Pixels = assetgen::TrackTexture(style);
      return gx::TGXRef<gx::TGXRefCounted>(Core->Device().CreateTexture(image, 0).Get());
    };
    s.Report = [this](const std::string& text) { Reports.push_back(text); };
    return s;
  }

  TRRTrack* Make(TRRTrackType type, std::vector<TRRTrackRouteDesc> routes, gx::TGXVector3 at, bool bed = true,
                 int width = 3) {
    TRRTrackDesc d(type);
    d.SetID(int(Tracks.size()) + 1);
    d.SetTrackWidth(uint8_t(width));
    d.SetHasBed(bed);
    for (auto& r : routes) d.AddRoute(std::make_unique<TRRTrackRouteDesc>(r));
    auto* t = static_cast<TRRTrack*>(TRRTrack::StaticClass().Create(Scene.Root(), &Manager, d));
    t->SetPosition(at);
    Tracks.push_back(t);
    return t;
  }

  std::vector<uint32_t> Render(float centreX, float centreZ, float height) {
    Eye->SetPosition({centreX, 100, centreZ});
    Camera->SetOrthographic(1, 500, height);
    Window->RenderAll();
    return Surface->Frame();
  }

  // The pixel of a world point on the ground seen by the last Render.
  uint32_t At(const std::vector<uint32_t>& frame, float x, float z, float cx, float cz, float height) const {
    const float scale = float(kHeight) / height;
    const int px = int(std::lround(float(kWidth) / 2 + (x - cx) * scale));
    // The camera looks down with +Z up in the picture, +X to the right.
    const int py = int(std::lround(float(kHeight) / 2 - (z - cz) * scale));
    if (px < 0 || py < 0 || px >= int(kWidth) || py >= int(kHeight)) return 0;
    return frame[size_t(py) * kWidth + size_t(px)];
  }

  std::unique_ptr<gx::TGXEngine> Engine;
  gx::TGXRenderCore* Core = nullptr;
  std::unique_ptr<TRRTrackResources> Resources;
  TManager Manager;
  gx::TGXScene Scene;
  std::unique_ptr<gx::TGXOffscreenSurface> Surface;
  gx::TGXRef<gx::TGXRenderWindow> Window;
  gx::TGXSceneNode* Eye = nullptr;
  gx::TGXRef<gx::TGXCamera> Camera;
  std::vector<TRRTrack*> Tracks;
  std::vector<std::string> Reports;
};

TRRTrackRouteDesc Fixed(float l1, float angle = 0, float radius = 0, float l2 = 0) {
  TRRTrackRouteDesc d;
  d.L1 = l1;
  d.Angle = angle;
  d.Radius = radius;
  d.L2 = l2;
  return d;
}

// A gently bent flexible route of n points at the spacing.
TRRTrackRouteDesc Bent(int n, float spacing, float bend) {
  TRRTrackRouteDesc d;
  float heading = 0, x = 0, z = 0;
  for (int i = 0; i < n; ++i) {
    d.FlexPoints.push_back({std::sin(heading), std::cos(heading), x, z});
    heading += bend;
    x += std::sin(heading - bend / 2) * spacing;
    z += std::cos(heading - bend / 2) * spacing;
  }
  d.FlexL = float(n - 1) * spacing;
  return d;
}

bool IsBackground(uint32_t p) { return p == kBackground; }

}  // namespace

TEST_F(TTrackGLTest, EveryEffectCompilesWithBothTechniques) {
  for (int kind = 0; kind < RRTrackEffectKinds; ++kind) {
    TRRTrackEffect* e = Resources->Effect(kind);
    ASSERT_NE(e, nullptr) << RRTrackEffectFile(kind) << (Reports.empty() ? "" : Reports.back());
    EXPECT_EQ(e->DefaultTechnique()->Name(), "Main");
    EXPECT_EQ(e->CADTechnique()->Name(), "CAD");
    EXPECT_TRUE(e->CADTechnique()->Valid());
    EXPECT_TRUE(e->InstanceParameters(false).Complete());
  }
  for (int kind = 0; kind < RRTrackGeometryKinds; ++kind) EXPECT_NE(Resources->Geometry(kind), nullptr);
  EXPECT_TRUE(Reports.empty());
}

TEST_F(TTrackGLTest, BentTracksLieOnTheirRoutesAtH0AndN) {
  // A straight with bed, a curve without, a flexible track and a twisted straight.
  TRRTrack* straight = Make(TRRTrackType::Straight, {Fixed(40)}, {-25, 0, -25});
  TRRTrack* curve = Make(TRRTrackType::Curve, {Fixed(0, 1.5708f, 20)}, {-18, 0, -25}, false);
  TRRTrack* flex = Make(TRRTrackType::Flexible, {Bent(41, 1, 0.02f)}, {12, 0, -25}, true);
  TRRTrack* twisted = Make(TRRTrackType::Straight, {Fixed(20)}, {-5, 0, 5});
  twisted->GetRoute(0)->Contact(1)->SetRoll(0.6f);
  const std::vector<uint32_t> frame = Render(0, 0, 60);
  WritePng("h0-mixed", frame, kWidth, kHeight);
  for (TRRTrack* t : {straight, curve, flex, twisted}) {
    TRRTrackRoute* r = t->GetRoute(0);
    for (float f : {0.1f, 0.5f, 0.9f}) {
      const gx::TGXVector3 p = r->GetWorldPosition(r->GetLength() * f);
      EXPECT_FALSE(IsBackground(At(frame, p.x, p.z, 0, 0, 60))) << t->ID() << " at " << f;
      // 4 units to the side of the centre line is beyond the rails (ballast at most).
      const gx::TGXVector3 side = gx::GXVec3Cross({0, 1, 0}, r->GetWorldTangent(r->GetLength() * f));
      const gx::TGXVector3 q = p + side * 4.0f;
      EXPECT_TRUE(IsBackground(At(frame, q.x, q.z, 0, 0, 60))) << t->ID() << " beside " << f;
    }
  }
  // Inside the quarter circle, off the arc: nothing.
  EXPECT_TRUE(IsBackground(At(frame, -18 + 20 - 20 * 0.7071f + 6, -25 + 20 * 0.7071f - 6, 0, 0, 60)));

  // N scale: the same layout smaller.
  for (TRRTrack* t : Tracks) delete t;
  Tracks.clear();
  Make(TRRTrackType::Straight, {Fixed(20)}, {-10, 0, -10}, true, 1);
  Make(TRRTrackType::Curve, {Fixed(0, 1.5708f, 15)}, {-10, 0, -7}, false, 1);
  Make(TRRTrackType::Flexible, {Bent(41, 0.54375f, -0.03f)}, {9, 0, -10}, true, 1);
  const std::vector<uint32_t> n = Render(0, 0, 30);
  WritePng("n-mixed", n, kWidth, kHeight);
  for (TRRTrack* t : Tracks) {
    const gx::TGXVector3 p = t->GetRoute(0)->GetWorldPosition(t->GetRoute(0)->GetLength() * 0.5f);
    EXPECT_FALSE(IsBackground(At(n, p.x, p.z, 0, 0, 30)));
  }
}

TEST_F(TTrackGLTest, ActiveSwitchRouteLiesOnTopAndTheTechnicalViewIsFlat) {
  TRRTrack* sw =
      Make(TRRTrackType::ThreeWaySwitch, {Fixed(30), Fixed(0, 0.4f, 60), Fixed(0, -0.4f, 60)}, {0, 0, -15});
  for (int active : {0, 1}) {
    sw->SetActiveRoute(active);
    for (bool technical : {false, true}) {
      Manager.Technical = technical;
      const std::vector<uint32_t> frame = Render(0, 0, 40);
      WritePng(
          std::string(technical ? "cad" : "textured").append("-switch-active").append(std::to_string(active)),
          frame, kWidth, kHeight);
      if (!technical) continue;
      // Near the start all three routes overlap: the bed shows undimmed (the active route on top).
      const uint32_t p = At(frame, 1.2f, -14.5f, 0, 0, 40);
      EXPECT_NEAR(int((p >> 16) & 0xFF), 204, 3) << std::hex << p;
      // Further on only the dimmed route 2 lies there (on its bed, clear of its rails).
      const gx::TGXVector3 q = sw->GetRoute(2)->GetWorldPosition(22);
      const uint32_t dim = At(frame, q.x - 1.4f, q.z, 0, 0, 40);
      EXPECT_NEAR(int((dim >> 16) & 0xFF), 133, 3) << std::hex << dim;
    }
  }
  Manager.Technical = false;
}

TEST_F(TTrackGLTest, TexturesAndBedsShowInTheirPictures) {
  Resources = std::make_unique<TRRTrackResources>(Source(3));
  Manager.Resources = Resources.get();
  Make(TRRTrackType::Straight, {Fixed(30)}, {-6, 0, -15}, true);
  Make(TRRTrackType::Straight, {Fixed(30)}, {6, 0, -15}, false);
  const std::vector<uint32_t> frame = Render(0, 0, 34);
  WritePng("bed-and-no-bed-dark-brown", frame, kWidth, kHeight);
  // The bed is wider than the ballast strip without bed.
  EXPECT_FALSE(IsBackground(At(frame, -6 + 2.2f, 0, 0, 0, 34)));
  EXPECT_TRUE(IsBackground(At(frame, 6 + 2.2f, 0, 0, 0, 34)));
  EXPECT_FALSE(IsBackground(At(frame, 6 + 0.825f, 0, 0, 0, 34)));  // a rail
}

TEST_F(TTrackGLTest, BatchedFramesEqualUnbatchedOnesInFewerDrawCalls) {
  for (int i = 0; i < 40; ++i) {
    Make(TRRTrackType::Straight, {Fixed(10)}, {-40 + float(i % 10) * 8, 0, -30 + float(i / 10) * 12},
         i % 2 != 0);
    Make(TRRTrackType::Curve, {Fixed(0, 0.5f, 12)}, {-38 + float(i % 10) * 8, 0, -25 + float(i / 10) * 12},
         i % 2 == 0);
  }
  Resources->SetBatching(false);
  const std::vector<uint32_t> single = Render(0, 0, 90);
  const int singleCalls = Core->Renderer().DrawCallCount();
  Resources->SetBatching(true);
  const std::vector<uint32_t> batched = Render(0, 0, 90);
  const int batchedCalls = Core->Renderer().DrawCallCount();
  WritePng("batched", batched, kWidth, kHeight);
  WritePng("unbatched", single, kWidth, kHeight);
  EXPECT_EQ(singleCalls, 80);
  // Four groups of 20 (straight and curve, with and without bed): one instanced draw each.
  EXPECT_EQ(batchedCalls, 4);
  int differing = 0;
  for (size_t i = 0; i < single.size(); ++i) differing += single[i] != batched[i];
  EXPECT_EQ(differing, 0);
}

TEST_F(TTrackGLTest, ContactMarkersShowThroughTheBedOnlyWithoutDepthTest) {
  // The model effect's flat colour, as the marker material; zEnable is its depth-test value.
  bool zEnable = true;
  TRRTrackResources::TSource s = Source(0);
  s.LineLayout = [this] {
    gx::TGXVertexLayoutDecl decl;
    decl.AddElement(0, gx::GXDeclFloat3, gx::GXUsagePosition, 0);
    return Core->VertexLayouts().GetLayout(decl);
  };
  s.MakeLineMaterial = [&zEnable](const gx::TGXVector3& colour) {
    gx::IGXEffect effect = gx::MakeRef<gx::TGXEffect>(nullptr, "Marker.fx", true);
    effect->SetMacros({"ENABLE_EXPLICIT_COLOR"});
    effect->SetSourceText(
        ReadText(std::filesystem::path(VELMORA_SOURCE_DIR) / "data" / "shaders" / "Model.fx"));
    effect->Load();
    if (!effect->IsLoaded()) throw std::runtime_error(effect->LoadError());
    gx::IGXMaterial m = gx::MakeRef<gx::TGXMaterial>(nullptr, "Marker", true);
    m->SetEffect(effect);
    m->Load();
    m->FindValue("ExplicitColor")->SetFloats({colour.x, colour.y, colour.z, 1});
    const int32_t z = zEnable ? 1 : 0;
    m->FindValue("ZEnable")->SetRaw(&z, 4);
    return m;
  };
  Resources = std::make_unique<TRRTrackResources>(std::move(s));
  Manager.Resources = Resources.get();
  // Two bedded straights meeting at z = 15: the markers there lie inside both beds.
  TRRTrack* a = Make(TRRTrackType::Straight, {Fixed(30)}, {0, 0, -15});
  Make(TRRTrackType::Straight, {Fixed(30)}, {0, 0, 15});
  Manager.Technical = true;
  auto markerShows = [&](const std::vector<uint32_t>& frame) {
    int hits = 0;
    for (float x : {-1.0f, 1.0f})
      for (float z : {14.9f, 15.0f, 15.1f}) {
        const uint32_t p = At(frame, x, z, 0, 0, 40);
        hits += p == 0xFFFF0000u || p == 0xFF00FF00u;
      }
    return hits;
  };
  for (TRRTrack* t : Tracks) t->UpdateView(true);
  ASSERT_TRUE(a->GetRoute(0)->Contact(1)->MarkerVisible());
  const std::vector<uint32_t> hidden = Render(0, 0, 40);
  EXPECT_EQ(markerShows(hidden), 0);
  zEnable = false;
  for (TRRTrack* t : Tracks)
    for (int c = 0; c < 2; ++c) t->GetRoute(0)->Contact(c)->SetMarkerColour({0, 1, 0});  // a new material
  const std::vector<uint32_t> shown = Render(0, 0, 40);
  WritePng("cad-contact-markers", shown, kWidth, kHeight);
  EXPECT_GE(markerShows(shown), 2);
  EXPECT_TRUE(Reports.empty());
  Manager.Technical = false;
}
