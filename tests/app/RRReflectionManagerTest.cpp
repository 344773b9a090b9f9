// The reflection manager's bookkeeping on the recording null device: target sizes per quality,
// pools, the shared static cube, rendered-once, quality changes and their listeners, device loss,
// failing target creation, renders that raise, the mirrored camera (and a camera under the
// mirror or an orthographic one), and records that follow their nodes and materials.

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "app/RRReflectionManager.h"
#include "app/entities/RRLight.h"
#include "engine/render/GXEffect.h"
#include "engine/render/GXMaterial.h"
#include "engine/render/GXTexture.h"
#include "engine/render/GXViewport.h"
#include "tests/app/MaterialTestSupport.h"
#include "tests/app/ReflectionTestSupport.h"

using namespace rr;

namespace {

class TCountingListener : public IRRReflectionListener {
 public:
  void ReflectionSettingsChanged() override {
    ++Calls;
    if (OnCall) OnCall();
  }
  int Calls = 0;
  std::function<void()> OnCall;
};

class TRRReflectionManagerTest : public test::TMaterialTest {
 protected:
  void SetUp() override {
    TMaterialTest::SetUp();
    RRAddGlobalEffectSources(Parameters);
    Make(2, 1);
  }
  void TearDown() override {
    Scene.reset();
    Manager.reset();
    TMaterialTest::TearDown();
  }
  // A fresh manager with the qualities, installed as the materials' reflections, and a fresh
  // scene.
  void Make(uint8_t planar, uint8_t environment) {
    Scene.reset();
    auto device = std::make_unique<TRRNullReflectionDevice>(Device, Parameters);
    NullDevice = device.get();
    Manager = std::make_unique<TRRReflectionManager>(std::move(device), planar, environment);
    Reflections = Manager.get();
    Install();
    Scene = std::make_unique<test::TReflectionScene>(Device, Parameters);
  }
  void Frame() {
    Scene->Update();
    Manager->Update(Scene->Camera, 0xFF336699, Scene->Skybox, 16.0f / 9.0f);
  }
  gx::TGXEffectTextureSource* Map(int material, const char* name) {
    return Scene->Materials.at(static_cast<size_t>(material))->FindTexture(name);
  }
  float Strength(int material) {
    gx::TGXEffectValueSource* v = Scene->Materials.at(static_cast<size_t>(material))->FindValue("Reflection");
    float f = -1;
    if (v) std::memcpy(&f, v->Data().data(), 4);
    return f;
  }
  gx::TGXVector3 CameraSource() {
    auto* s = dynamic_cast<gx::TGXEffectValueSource*>(Parameters.FindSource(RRSourceCameraPosition));
    gx::TGXVector3 v;
    std::memcpy(&v, s->Data().data(), 12);
    return v;
  }

  gx::TGXNullRenderDevice Device;
  TRRNullReflectionDevice* NullDevice = nullptr;
  std::unique_ptr<TRRReflectionManager> Manager;
  std::unique_ptr<test::TReflectionScene> Scene;
};

}  // namespace

TEST(RRMirrorPixelRect, CoversWhereTheBoxShowsWithTheFiltersMargin) {
  // A camera at the origin looking along +z (90 degrees, square): x / z and y / z on the screen.
  const gx::TGXMatrix viewProjection = gx::GXMatrixPerspectiveFovLH(gx::GX_PI / 2, 1, 1, 1000);
  auto box = [](gx::TGXVector3 lo, gx::TGXVector3 hi) {
    gx::TGXBoundingBox b;
    gx::FillBoxCorners(b, lo, hi);
    return b;
  };
  struct TCase {
    const char* What;
    gx::TGXBoundingBox Box;
    TRRPixelRect Expected;
  } cases[] = {
      // x from -0.25 to 0.25 -> pixels 75 ... 125 of 200, widened by 2; y the same, rows from the top.
      {"centred", box({-25, -25, 100}, {25, 25, 100}), {73, 73, 127, 127}},
      {"upper right", box({50, 50, 100}, {75, 75, 100}), {148, 23, 177, 52}},
      {"partly off the screen", box({50, -25, 100}, {500, 25, 100}), {148, 73, 200, 127}},
      {"off the screen", box({500, 0, 100}, {600, 10, 100}), {}},
      {"behind the eye", box({-10, -10, -5}, {10, 10, 5}), {0, 0, 200, 200}},
      {"empty", gx::TGXBoundingBox(), {}},
  };
  for (const TCase& c : cases) {
    const TRRPixelRect r = RRMirrorPixelRect(c.Box, viewProjection, 200);
    EXPECT_EQ(r.Empty(), c.Expected.Empty()) << c.What;
    if (c.Expected.Empty()) continue;
    EXPECT_EQ(r.Left, c.Expected.Left) << c.What;
    EXPECT_EQ(r.Top, c.Expected.Top) << c.What;
    EXPECT_EQ(r.Right, c.Expected.Right) << c.What;
    EXPECT_EQ(r.Bottom, c.Expected.Bottom) << c.What;
  }
}

TEST(RRReflectionSizes, FollowTheQualities) {
  struct TCase {
    uint8_t Quality;
    uint32_t Planar, Cube;
  } cases[] = {{0, 0, 0}, {1, 256, 64}, {2, 512, 64}, {3, 1024, 256}, {9, 1024, 256}};
  for (const TCase& c : cases) {
    EXPECT_EQ(RRPlanarReflectionSize(c.Quality), c.Planar) << int(c.Quality);
    EXPECT_EQ(RREnvironmentMapSize(c.Quality), c.Cube) << int(c.Quality);
  }
  // The faces look along +x, -x, +y, -y, +z, -z.
  const gx::TGXVector3 axes[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
  for (int f = 0; f < 6; ++f) {
    const gx::TGXMatrix m = gx::GXMatrixRotationQuaternion(RRCubeFaceRotation(f));
    EXPECT_NEAR(m.m[2][0], axes[f].x, 1e-6) << f;
    EXPECT_NEAR(m.m[2][1], axes[f].y, 1e-6) << f;
    EXPECT_NEAR(m.m[2][2], axes[f].z, 1e-6) << f;
  }
}

TEST_F(TRRReflectionManagerTest, PlanarTargetsHaveTheQualitysSizeAndGoBackToThePool) {
  for (uint8_t quality : {uint8_t(1), uint8_t(2), uint8_t(3)}) {
    Make(quality, 1);
    gx::TGXSceneNode* pond = Scene->AddReflecting({0, 0, 200}, RRReflectionPlanar);
    Scene->AddBox({0, 20, 200});
    Frame();
    ASSERT_EQ(Manager->RecordCount(), 1);
    const TRRReflectionManager::TRecordInfo r = Manager->Record(0);
    EXPECT_EQ(r.Node, pond);
    ASSERT_NE(r.Target, nullptr);
    EXPECT_EQ(r.Target->Size, RRPlanarReflectionSize(quality));
    EXPECT_EQ(Manager->DepthSurfaceCount(), 1);
    EXPECT_EQ(Map(0, "ReflectionMap")->GetTexture(), r.Target->Texture.Get());
    EXPECT_FLOAT_EQ(Strength(0), 0.6f);
  }

  // The pond leaves the view: its target goes to the pool and the material shows no mirror;
  // another pond coming into view takes the pooled target.
  Scene->CameraNode->SetPosition({0, 100, 3000});
  Frame();
  EXPECT_EQ(Manager->Record(0).Target, nullptr);
  EXPECT_EQ(Manager->FreePlanarTargets(), 1);
  EXPECT_EQ(Map(0, "ReflectionMap")->GetTexture(), nullptr);
  EXPECT_FLOAT_EQ(Strength(0), 0.0f);
  Scene->AddReflecting({0, 0, 3300}, RRReflectionPlanar);
  Frame();
  EXPECT_EQ(Manager->FreePlanarTargets(), 0);
  EXPECT_EQ(NullDevice->PlanarTargetsMade, 1);
  EXPECT_NE(Manager->Record(1).Target, nullptr);
}

TEST_F(TRRReflectionManagerTest, TheMirroredCameraIsRestoredAndUnderTheMirrorTheTargetIsCleared) {
  gx::TGXSceneNode* mirror = Scene->AddReflecting({0, 10, 200}, RRReflectionPlanar);
  Scene->AddBox({0, 30, 200});
  Scene->Update();
  const gx::TGXVector3 eye = Scene->CameraNode->WorldPosition();
  const gx::TGXQuaternion turn = Scene->CameraNode->Rotation();
  struct TSeen {
    bool Drawn = false;
    gx::TGXVector3 Eye, Source;
    bool Clip = false, Locked = false;
    float Aspect = 0;
    gx::TGXViewportRect Rect{};
    gx::TGXVector4 Window;
  } seen;
  NullDevice->BeforeRender = [&](gx::TGXViewport& v) {
    seen = {};
    seen.Drawn = v.Scene() != nullptr;
    seen.Eye = Scene->CameraNode->WorldPosition();
    seen.Source = CameraSource();
    seen.Clip = Scene->Camera->ClipPlaneEnabled();
    seen.Locked = Scene->Camera->AspectLocked();
    seen.Aspect = Scene->Camera->Aspect();
    seen.Rect = v.Rect();
    seen.Window = Scene->Camera->ProjectionWindow();
  };
  // The view's aspect decides where the mirror shows, not the one the camera still has from
  // before (the view sets it only when it is drawn, after the reflections).
  Scene->Camera->SetAspect(16.0f / 9.0f);
  const gx::TGXMatrix mainView = Scene->Camera->GetViewProjectionMatrix();
  Scene->Camera->SetAspect(0.5f);
  Frame();
  ASSERT_TRUE(seen.Drawn);
  // Mirrored in the plane y = 10, with the main view's aspect and the mirror as clip plane.
  EXPECT_NEAR(seen.Eye.y, 20 - eye.y, 1e-3);
  EXPECT_NEAR(seen.Eye.z, eye.z, 1e-3);
  EXPECT_NEAR(seen.Source.y, 20 - eye.y, 1e-3);
  EXPECT_TRUE(seen.Clip);
  EXPECT_TRUE(seen.Locked);
  EXPECT_FLOAT_EQ(seen.Aspect, 16.0f / 9.0f);
  // Only the pixels where the mirror shows are drawn, and the projection's window is those pixels.
  const TRRPixelRect pixels = RRMirrorPixelRect(mirror->WorldBounds(), mainView, 512);
  ASSERT_FALSE(pixels.Empty());
  EXPECT_LT((pixels.Right - pixels.Left) * (pixels.Bottom - pixels.Top), 512u * 512u);
  EXPECT_EQ(seen.Rect.X, pixels.Left);
  EXPECT_EQ(seen.Rect.Y, pixels.Top);
  EXPECT_EQ(seen.Rect.Width, pixels.Right - pixels.Left);
  EXPECT_EQ(seen.Rect.Height, pixels.Bottom - pixels.Top);
  EXPECT_FLOAT_EQ(seen.Window.x, 2.0f * float(pixels.Left) / 512 - 1);
  EXPECT_FLOAT_EQ(seen.Window.w, 1 - 2.0f * float(pixels.Top) / 512);
  // Everything is given back.
  EXPECT_EQ(Scene->Camera->ProjectionWindow(), gx::TGXVector4(-1, -1, 1, 1));
  EXPECT_EQ(Scene->CameraNode->Position(), eye);
  EXPECT_EQ(Scene->CameraNode->Rotation(), turn);
  EXPECT_FALSE(Scene->Camera->ClipPlaneEnabled());
  EXPECT_FALSE(Scene->Camera->AspectLocked());
  EXPECT_EQ(Scene->Skybox->Position(), gx::TGXVector3(0, 0, 0));
  EXPECT_NEAR(CameraSource().y, eye.y, 1e-3);

  // Under the mirror and with an orthographic camera the target is only cleared (no stale
  // picture), and it still goes to the material.
  struct TCase {
    const char* What;
    gx::TGXVector3 Position;
    bool Ortho;
  } cases[] = {{"under", {0, 5, -300}, false},
               {"in the plane", {0, 10, -300}, false},
               {"ortho", {0, 100, -300}, true}};
  for (const TCase& c : cases) {
    Scene->CameraNode->SetPosition(c.Position);
    Scene->CameraNode->SetRotation({0, 0, 0, 1});
    if (c.Ortho) Scene->Camera->SetOrthographic(1, 5000, 400);
    seen.Drawn = true;
    Frame();
    EXPECT_FALSE(seen.Drawn) << c.What;
    EXPECT_NE(Map(0, "ReflectionMap")->GetTexture(), nullptr) << c.What;
  }
}

TEST_F(TRRReflectionManagerTest, ARenderThatRaisesGivesCameraSkyAndHiddenNodesBack) {
  for (uint8_t mode : {RRReflectionPlanar, RRReflectionEnvironment}) {
    Make(2, 2);
    gx::TGXSceneNode* node = Scene->AddReflecting({0, 0, 200}, mode);
    Scene->Update();
    const gx::TGXVector3 eye = Scene->CameraNode->Position();
    NullDevice->BeforeRender = [](gx::TGXViewport&) { throw std::runtime_error("Zeichnen fehlgeschlagen"); };
    EXPECT_THROW(Frame(), std::runtime_error) << int(mode);
    EXPECT_EQ(Scene->CameraNode->Position(), eye);
    EXPECT_FALSE(Scene->Camera->ClipPlaneEnabled());
    EXPECT_FALSE(Scene->Camera->AspectLocked());
    EXPECT_EQ(Scene->Skybox->Position(), gx::TGXVector3(0, 0, 0));
    EXPECT_TRUE(node->RenderEnabled());
    // The next frame draws normally.
    NullDevice->BeforeRender = nullptr;
    EXPECT_NO_THROW(Frame());
  }
}

TEST_F(TRRReflectionManagerTest, TheSharedCubeIsDrawnOnceAfterEachLightingChangeAndNeverPooled) {
  gx::TGXSceneNode* a = Scene->AddReflecting({-100, 0, 200}, RRReflectionEnvironment);
  Scene->AddReflecting({100, 0, 200}, RRReflectionEnvironment);
  bool projectShown = true;
  NullDevice->BeforeRender = [&](gx::TGXViewport&) {
    projectShown = projectShown && Scene->Project->RenderEnabled();
  };
  ASSERT_TRUE(Manager->EnvironmentMapsEnabled());
  Frame();
  ASSERT_NE(Manager->SharedCube(), nullptr);
  EXPECT_EQ(Manager->SharedCube()->Size, 64u);
  EXPECT_EQ(Manager->Record(0).Target, Manager->SharedCube());
  EXPECT_EQ(Manager->Record(1).Target, Manager->SharedCube());
  EXPECT_EQ(NullDevice->CubeTargetsMade, 1);
  EXPECT_EQ(NullDevice->Renders, 6);  // one cube, six faces
  EXPECT_FALSE(projectShown);         // the layout is hidden while the cube is drawn
  EXPECT_TRUE(Scene->Project->RenderEnabled());
  EXPECT_TRUE(Manager->RenderedOnce());
  EXPECT_EQ(Map(0, "EnvironmentMap")->GetCubeTexture(), Manager->SharedCube()->CubeTexture.Get());

  Frame();
  EXPECT_EQ(NullDevice->Renders, 6);
  Manager->LightingChanged();
  Frame();
  EXPECT_EQ(NullDevice->Renders, 12);

  // Out of view: the shared cube stays the manager's, nothing enters the pool.
  a->SetVisible(false);
  Frame();
  EXPECT_EQ(Manager->Record(0).Target, nullptr);
  EXPECT_EQ(Manager->FreeCubeTargets(), 0);
  EXPECT_NE(Manager->SharedCube(), nullptr);
}

TEST_F(TRRReflectionManagerTest, PerObjectCubesAreDrawnEveryFrameWithTheObjectHidden) {
  Make(2, 3);
  gx::TGXSceneNode* tank = Scene->AddReflecting({0, 0, 200}, RRReflectionEnvironment);
  Scene->AddReflecting({150, 0, 200}, RRReflectionEnvironment);
  int tankShown = 0;
  NullDevice->BeforeRender = [&](gx::TGXViewport&) { tankShown += tank->RenderEnabled() ? 1 : 0; };
  Frame();
  Frame();
  EXPECT_EQ(NullDevice->Renders, 24);
  EXPECT_EQ(tankShown, 12);  // hidden in its own six faces of each frame only
  EXPECT_EQ(NullDevice->CubeTargetsMade, 2);
  EXPECT_EQ(Manager->Record(0).Target->Size, 256u);
  EXPECT_EQ(Manager->SharedCube(), nullptr);
  EXPECT_EQ(Manager->DepthSurfaceCount(), 1);
  tank->SetVisible(false);
  Frame();
  EXPECT_EQ(Manager->FreeCubeTargets(), 1);
}

TEST_F(TRRReflectionManagerTest, QualityChangesReleaseTargetsAndSwitchingAKindRebuildsMaterials) {
  Scene->AddReflecting({0, 0, 200}, RRReflectionPlanar);
  TCountingListener first, second, late;
  Manager->AddListener(&first);
  Manager->AddListener(&first);  // listed once
  Manager->AddListener(&second);
  // A listener that takes another away and adds a new one while it is told.
  first.OnCall = [&] {
    Manager->RemoveListener(&second);
    Manager->AddListener(&late);
  };
  Frame();
  ASSERT_NE(Manager->Record(0).Target, nullptr);

  struct TCase {
    const char* What;
    uint8_t Planar, Environment;
    int Records;  // afterwards
    int FirstCalls;
  } cases[] = {{"unchanged", 2, 1, 1, 0}, {"512 to 1024", 3, 1, 1, 0}, {"planar off", 0, 1, 0, 1}};
  for (const TCase& c : cases) {
    const int before = first.Calls;
    Manager->SetQualities(c.Planar, c.Environment);
    EXPECT_EQ(Manager->RecordCount(), c.Records) << c.What;
    EXPECT_EQ(first.Calls - before, c.FirstCalls) << c.What;
    // Only a real change gives the targets up.
    if (c.Records) {
      EXPECT_EQ(Manager->Record(0).Target == nullptr, c.Planar != 2) << c.What;
    }
  }
  EXPECT_EQ(second.Calls, 0);  // removed by the first before its turn
  EXPECT_EQ(late.Calls, 0);    // added during the notice: not told this time
  EXPECT_EQ(Manager->FreePlanarTargets(), 0);
  EXPECT_FALSE(Manager->PlanarReflectionsEnabled());
  // With planar reflections off the generator gives no mirror material and registers nothing.
  Scene->AddReflecting({0, 0, 100}, RRReflectionPlanar);
  EXPECT_EQ(Manager->RecordCount(), 0);
  EXPECT_EQ(Map(1, "ReflectionMap") == nullptr || Map(1, "ReflectionMap")->GetTexture() == nullptr, true);
}

TEST_F(TRRReflectionManagerTest, DeviceLossGivesEverythingUpAndFailedCreationWaitsForAReset) {
  Scene->AddReflecting({0, 0, 200}, RRReflectionPlanar);
  Scene->AddReflecting({100, 0, 200}, RRReflectionEnvironment);
  Frame();
  ASSERT_NE(Manager->SharedCube(), nullptr);
  Manager->OnDeviceLost();
  EXPECT_EQ(Manager->Record(0).Target, nullptr);
  EXPECT_EQ(Manager->Record(1).Target, nullptr);
  EXPECT_EQ(Manager->SharedCube(), nullptr);
  EXPECT_EQ(Manager->DepthSurfaceCount(), 0);
  EXPECT_FALSE(Manager->RenderedOnce());
  EXPECT_EQ(Map(0, "ReflectionMap")->GetTexture(), nullptr);

  // Creation fails: nothing drawn, and not tried again every frame.
  NullDevice->FailCreation = true;
  const int renders = NullDevice->Renders;
  Frame();
  EXPECT_TRUE(Manager->CreationBlocked());
  NullDevice->FailCreation = false;
  Frame();
  EXPECT_EQ(NullDevice->Renders, renders);
  EXPECT_EQ(Manager->Record(0).Target, nullptr);
  // A reset (or a quality change) lets it try again.
  Manager->OnDeviceReset();
  Frame();
  EXPECT_FALSE(Manager->CreationBlocked());
  EXPECT_NE(Manager->Record(0).Target, nullptr);
  EXPECT_GT(NullDevice->Renders, renders);
}

TEST_F(TRRReflectionManagerTest, RecordsFollowTheirNodesAndMaterials) {
  gx::TGXSceneNode* pond = Scene->AddReflecting({0, 0, 200}, RRReflectionPlanar);
  gx::TGXSceneNode* other = Scene->AddReflecting({50, 0, 200}, RRReflectionPlanar);
  Frame();
  ASSERT_EQ(Manager->RecordCount(), 2);
  // A second registration of the same material is not counted twice.
  Manager->RegisterMaterial(Scene->Materials[0].Get(), pond, RRReflectionPlanar);
  Manager->RegisterMaterial(Scene->Materials[0].Get(), pond, 0);
  EXPECT_EQ(Manager->Record(Manager->FindRecord(pond, RRReflectionPlanar)).MaterialCount, 1);
  // A node that goes takes its record along; its target goes to the pool.
  delete pond;
  EXPECT_EQ(Manager->RecordCount(), 1);
  EXPECT_EQ(Manager->FreePlanarTargets(), 1);
  // A record whose materials all died is dropped at the next frame.
  for (auto& p : Scene->Primitives) p->Material = Scene->Plain;
  Scene->Materials.clear();
  Frame();
  EXPECT_EQ(Manager->RecordCount(), 0);
  (void)other;
}

TEST_F(TRRReflectionManagerTest, ADeadRecordBeforeAVisibleOneLeavesTheVisibleOneItsTarget) {
  Scene->AddReflecting({0, 0, 200}, RRReflectionPlanar);
  gx::TGXSceneNode* kept = Scene->AddReflecting({50, 0, 200}, RRReflectionPlanar);
  Frame();
  ASSERT_EQ(Manager->RecordCount(), 2);
  // Only the first record's material dies; the second is still in view.
  Scene->Primitives[0]->Material = Scene->Plain;
  Scene->Materials.erase(Scene->Materials.begin());
  Frame();
  ASSERT_EQ(Manager->RecordCount(), 1);
  EXPECT_EQ(Manager->Record(0).Node, kept);
  EXPECT_NE(Manager->Record(0).Target, nullptr);
}
