// The floor and the sky without a render core: their geometry as the default cull mode sees it
// (the floor from above, the sky from inside), the floor's placement under the layout, the sky
// colour, that neither answers a ray, and what the project makes of them in its frame step.

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>

#include "app/RRFloor.h"
#include "app/RRProject.h"
#include "app/RRProjectRenderWindow.h"
#include "app/RRSkybox.h"
#include "app/RRUIService.h"
#include "engine/core/GXFileSystem.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXRenderQueue.h"
#include "engine/render/GXScene.h"
#include "engine/render/GXVertexLayout.h"

namespace {

using namespace rr;
using gx::TGXVector3;

// Signed area of the triangle on the screen (y downwards): positive when clockwise, which is
// what the default cull mode (counter-clockwise culled) draws.
float ScreenArea(gx::TGXCamera& camera, const TGXVector3& a, const TGXVector3& b, const TGXVector3& c) {
  const gx::TGXMatrix& vp = camera.GetViewProjectionMatrix();
  auto screen = [&](const TGXVector3& p) {
    const gx::TGXVector4 h = gx::GXVec4Transform({p.x, p.y, p.z, 1}, vp);
    EXPECT_GT(h.w, 0) << "behind the camera";
    return std::pair<float, float>{h.x / h.w, -h.y / h.w};
  };
  auto [ax, ay] = screen(a);
  auto [bx, by] = screen(b);
  auto [cx, cy] = screen(c);
  return (bx - ax) * (cy - ay) - (cx - ax) * (by - ay);
}

struct TEye {
  gx::TGXScene Scene;
  gx::TGXSceneNode* Node = new gx::TGXSceneNode("Auge", Scene.Root());
  gx::TGXRef<gx::TGXCamera> Camera = gx::MakeRef<gx::TGXCamera>();
  TEye(const TGXVector3& position, const gx::TGXQuaternion& rotation) {
    Node->AttachObject(Camera.Get());
    Camera->SetPerspective(2.0f, 0.001f, 100);
    Camera->SetAspect(1);
    Node->SetPosition(position);
    Node->SetRotation(rotation);
    Scene.Root()->Update(false);
  }
};

TEST(RRFloorGeometry, DiscOfRingsFadingAtTheRimDrawnFromAbove) {
  for (int n : {32, 3, 1}) {
    const int segments = std::max(3, n);
    const std::vector<TRRColorVertex> v = RRFloorVertices(n);
    const std::vector<uint16_t> idx = RRFloorIndices(n);
    ASSERT_EQ(v.size(), size_t(2 * segments + 1)) << n;
    ASSERT_EQ(idx.size(), size_t(9 * segments)) << n;
    EXPECT_EQ(v[0].Color, 0xFFFFFFFFu);
    for (int k = 0; k < segments; ++k) {
      const TRRColorVertex& inner = v[size_t(1 + k)];
      const TRRColorVertex& outer = v[size_t(1 + segments + k)];
      EXPECT_NEAR(std::hypot(inner.X, inner.Z), RRFloorInnerRadius, 1e-5f);
      EXPECT_NEAR(std::hypot(outer.X, outer.Z), RRFloorOuterRadius, 1e-5f);
      EXPECT_EQ(inner.Color, 0xFFFFFFFFu);
      EXPECT_EQ(outer.Color, 0x00FFFFFFu);
    }
    // Ring vertex 0 lies at angle 0: (0, 0, -r).
    EXPECT_NEAR(v[1].Z, -RRFloorInnerRadius, 1e-6f);
    // A camera above looking straight down (forward -y, up +z) sees every triangle clockwise.
    TEye eye({0, 2, 0}, gx::GXQuaternionRotationAxis({1, 0, 0}, float(M_PI / 2)));
    for (size_t t = 0; t < idx.size(); t += 3) {
      const auto p = [&](size_t i) { return TGXVector3{v[idx[i]].X, v[idx[i]].Y, v[idx[i]].Z}; };
      EXPECT_GT(ScreenArea(*eye.Camera, p(t), p(t + 1), p(t + 2)), 1e-6f)
          << "segments " << n << " triangle " << t / 3;
    }
  }
}

TEST(RRSkyboxGeometry, FiveFacesFadingAtTheHorizonSeenFromInside) {
  const std::vector<TRRSkyVertex> v = RRSkyboxVertices();
  const std::vector<uint16_t> idx = RRSkyboxIndices();
  ASSERT_EQ(v.size(), 20u);
  ASSERT_EQ(idx.size(), 30u);
  for (const TRRSkyVertex& s : v) {
    EXPECT_TRUE(s.Y == 0 || s.Y == 0.5f);
    EXPECT_EQ(s.Color >> 24, s.Y == 0 ? 0u : 255u);
    EXPECT_LE(std::abs(s.X), 0.5f);
    EXPECT_LE(std::abs(s.Z), 0.5f);
  }
  // Faces 0-3 stand on the horizon, face 4 is the top.
  for (int c = 0; c < 4; ++c) EXPECT_EQ(v[size_t(16 + c)].Y, 0.5f);
  for (int f = 0; f < 4; ++f) EXPECT_EQ(v[size_t(4 * f + 3)].Y, 0.0f) << f;
  // From the centre of the box, looking at each face, its two triangles are clockwise.
  const gx::TGXQuaternion looks[5] = {
      {0, 0, 0, 1},
      gx::GXQuaternionRotationAxis({0, 1, 0}, float(M_PI / 2)),
      gx::GXQuaternionRotationAxis({0, 1, 0}, float(M_PI)),
      gx::GXQuaternionRotationAxis({0, 1, 0}, float(-M_PI / 2)),
      gx::GXQuaternionRotationAxis({1, 0, 0}, float(-M_PI / 2)),
  };
  for (int f = 0; f < 5; ++f) {
    TEye eye({0, 0.25f, 0}, looks[f]);
    for (int t = 0; t < 2; ++t) {
      const auto p = [&](int i) {
        const TRRSkyVertex& s = v[idx[size_t(6 * f + 3 * t + i)]];
        return TGXVector3{s.X, s.Y, s.Z};
      };
      EXPECT_GT(ScreenArea(*eye.Camera, p(0), p(1), p(2)), 1e-6f) << "face " << f << " triangle " << t;
    }
  }
}

// The device reads the vertices by the layout's offsets, which follow the canonical element
// order (position, texture coordinate, colour), not the order they were added in.
TEST(RRSkyboxGeometry, VertexRecordsMatchTheLayoutOffsets) {
  gx::TGXVertexLayoutDecl sky;
  sky.AddElement(0, gx::GXDeclFloat3, gx::GXUsagePosition, 0);
  sky.AddElement(0, gx::GXDeclColor, gx::GXUsageColor, 0);
  sky.AddElement(0, gx::GXDeclFloat2, gx::GXUsageTexCoord, 0);
  for (const gx::TGXVertexElement& e : sky.Elements()) {
    if (e.Usage == gx::GXUsageColor) {
      EXPECT_EQ(e.Offset, offsetof(TRRSkyVertex, Color));
    }
    if (e.Usage == gx::GXUsageTexCoord) {
      EXPECT_EQ(e.Offset, offsetof(TRRSkyVertex, U));
    }
  }
  EXPECT_EQ(sizeof(TRRSkyVertex), 24u);
  gx::TGXVertexLayoutDecl floor;
  floor.AddElement(0, gx::GXDeclFloat3, gx::GXUsagePosition, 0);
  floor.AddElement(0, gx::GXDeclColor, gx::GXUsageColor, 0);
  EXPECT_EQ(floor.Elements().back().Offset, offsetof(TRRColorVertex, Color));
  EXPECT_EQ(sizeof(TRRColorVertex), 16u);
}

TEST(RRSkyboxGeometry, TexturePointsMatchTheVerticesAndMeetAtEveryEdge) {
  const std::vector<TRRSkyVertex> v = RRSkyboxVertices();
  for (int f = 0; f < 5; ++f)
    for (int c = 0; c < 4; ++c) {
      const TRRSkyVertex& s = v[size_t(4 * f + c)];
      const TGXVector3 p = RRSkyboxFacePoint(f, s.U, s.V);
      EXPECT_NEAR(p.x, s.X, 1e-6f);
      EXPECT_NEAR(p.y, s.Y, 1e-6f);
      EXPECT_NEAR(p.z, s.Z, 1e-6f);
    }
  auto near = [](const TGXVector3& a, const TGXVector3& b) { return gx::GXVec3Length(a - b) < 1e-5f; };
  for (int f = 0; f < 4; ++f)
    for (float t : {0.0f, 0.3f, 1.0f}) {
      // A side's right edge is the next side's left edge: the panorama runs round without a seam.
      EXPECT_TRUE(near(RRSkyboxFacePoint(f, 1, t), RRSkyboxFacePoint((f + 1) % 4, 0, t))) << f;
      // A side's upper edge lies on the top face's rim.
      const TGXVector3 top = RRSkyboxFacePoint(f, t, 0);
      EXPECT_FLOAT_EQ(top.y, 0.5f);
      EXPECT_TRUE(std::abs(std::abs(top.x) - 0.5f) < 1e-6f || std::abs(std::abs(top.z) - 0.5f) < 1e-6f);
    }
  EXPECT_EQ(RRSkyboxTextureFile(0), "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Skybox\\1.png");
  EXPECT_EQ(RRSkyboxTextureFile(4), "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Skybox\\5.png");
}

TEST(RRFloor, PlacedUnderTheLayoutAndReachingBeyondIt) {
  constexpr float nan = std::numeric_limits<float>::quiet_NaN();
  struct TCase {
    const char* Name;
    bool Empty;
    TGXVector3 Min, Max, Position, Scale;
  } cases[] = {
      {"empty", true, {}, {}, {0, -50, 0}, {4000, 1, 4000}},
      {"wide in x", false, {-100, 0, -50}, {300, 20, 150}, {100, -50, 50}, {4400, 1, 4400}},
      {"deep in z", false, {10, -30, -600}, {30, 5, 600}, {20, -80, 0}, {5200, 1, 5200}},
      {"not finite", false, {nan, 0, 0}, {1, 1, 1}, {0, -50, 0}, {4000, 1, 4000}},
  };
  gx::TGXScene scene;
  auto* floor = new TRRFloor(scene.Root());
  EXPECT_EQ(floor->Name(), "Boden");
  EXPECT_FALSE(floor->Drawable());
  for (const TCase& c : cases) {
    gx::TGXBoundingBox box;
    if (!c.Empty) box = gx::BoxFromMinMax(c.Min, c.Max);
    if (std::isnan(c.Min.x)) box.Low.x = nan;
    floor->Place(box);
    EXPECT_EQ(floor->Position(), c.Position) << c.Name;
    EXPECT_EQ(floor->Scale(), c.Scale) << c.Name;
  }
}

TEST(RRFloorAndSky, SkyColourFromThePresetAndNoRayHits) {
  EXPECT_EQ(RRSkyColorVector(0xFFC8E1FA), (gx::TGXVector4{200 / 255.0f, 225 / 255.0f, 250 / 255.0f, 1}));
  // The alpha byte of the preset does not matter: the sky is opaque.
  EXPECT_EQ(RRSkyColorVector(0x00112233), (gx::TGXVector4{0x11 / 255.0f, 0x22 / 255.0f, 0x33 / 255.0f, 1}));

  gx::TGXScene scene;
  auto* floor = new TRRFloor(scene.Root());
  floor->SetScale({5000, 1, 5000});
  auto* skyNode = new gx::TGXSceneNode("Skybox", scene.Root());
  skyNode->SetScale({1000, 1000, 1000});
  gx::TGXRef<TRRSkybox> sky = gx::MakeRef<TRRSkybox>();
  skyNode->AttachObject(sky.Get());
  floor->SetSkyColor(0xFF111111);
  sky->SetSkyColor(0xFF111111);
  EXPECT_EQ(floor->SkyColor(), RRSkyColorVector(0xFF111111));
  EXPECT_EQ(sky->SkyColor(), RRSkyColorVector(0xFF111111));
  // Rays straight down onto the floor, up into the sky and sideways through a side face.
  for (const auto& [origin, direction] : {std::pair<TGXVector3, TGXVector3>{{0, 100, 0}, {0, -1, 0}},
                                          {{0, 100, 0}, {0, 1, 0}},
                                          {{-2000, 100, 0}, {1, 0, 0}}})
    EXPECT_EQ(scene.Pick(origin, direction).Object, nullptr);
  // Without a render core neither has anything to draw.
  EXPECT_FALSE(sky->Drawable());
  gx::TGXRenderQueue queue;
  gx::TGXRef<gx::TGXCamera> camera = gx::MakeRef<gx::TGXCamera>();
  floor->Object()->AddToRenderQueue(camera.Get(), &queue);
  sky->AddToRenderQueue(camera.Get(), &queue);
  queue.Finish();
  EXPECT_EQ(queue.ItemCount(), 0);
  // The technical view hides both.
  floor->Hide();
  sky->Hide();
  EXPECT_FALSE(floor->IsShown());
  EXPECT_FALSE(sky->IsShown());
  floor->Show();
  EXPECT_TRUE(floor->IsShown());
}

TEST(RRProjectRenderWindow, FilterLevelFromTheTextureQuality) {
  const int cases[][3] = {{1, 3, 0}, {2, 3, 1}, {3, 3, 2},  {9, 3, 2},
                          {3, 1, 0}, {0, 3, 0}, {-5, 2, 0}, {2, 0, 0}};
  for (const auto& c : cases) EXPECT_EQ(RRFilterLevelFor(c[0], c[1]), c[2]) << c[0] << " of " << c[1];
}

TEST(RRProjectSurroundings, MadeInInitializeAndPlacedByTheFrameStep) {
  TRRScriptedUIService ui;
  gx::TGXFileSystem fs;
  TRRProjectServices s;
  s.UI = &ui;
  s.FileSystem = &fs;
  TRRProject project(std::move(s));
  project.Initialize();
  gx::TGXSceneNode* root = project.Scene()->Root();
  ASSERT_EQ(root->ChildCount(), 3);
  EXPECT_EQ(root->Child(0)->Name(), "Project");
  EXPECT_EQ(root->Child(1), project.Floor());
  EXPECT_EQ(root->Child(2), project.SkyboxNode());
  EXPECT_EQ(project.SkyboxNode()->Name(), "Skybox");
  EXPECT_EQ(project.SkyboxNode()->Scale(), (TGXVector3{1000, 1000, 1000}));
  ASSERT_NE(project.Skybox(), nullptr);
  EXPECT_EQ(project.Skybox()->Node(), project.SkyboxNode());
  // No surface: no view, the frames are still counted.
  EXPECT_EQ(project.RenderWindow(), nullptr);

  auto* thing = new gx::TGXSceneNode("Ding", project.ProjectNode());
  gx::TGXRef<gx::TGXSceneObject> box = gx::MakeRef<gx::TGXSceneObject>();
  box->SetLocalBounds(gx::BoxFromMinMax({-200, 10, 0}, {600, 40, 100}));
  thing->AttachObject(box.Get());
  project.StartProject();
  project.Tick();
  EXPECT_EQ(project.Floor()->Position(), (TGXVector3{200, -40, 50}));
  EXPECT_EQ(project.Floor()->Scale(), (TGXVector3{4800, 1, 4800}));
  EXPECT_EQ(project.FramesCounted(), 1);
  project.CloseProject();
  EXPECT_EQ(project.Floor(), nullptr);
  EXPECT_EQ(project.SkyboxNode(), nullptr);
}

}  // namespace
