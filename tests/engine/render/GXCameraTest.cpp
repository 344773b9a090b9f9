#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/render/GXCamera.h"
#include "engine/render/GXScene.h"
#include "tests/engine/render/GXRenderTestSupport.h"

namespace gx {
namespace {

using test::Box;

void ExpectMatrixNear(const TGXMatrix& actual, const TGXMatrix& expected, float tolerance = 1e-5f) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      EXPECT_NEAR(actual.m[r][c], expected.m[r][c], tolerance) << "m[" << r << "][" << c << "]";
}

bool AllFinite(const TGXMatrix& m) { return GXIsFinite(m); }
bool AllFinite(const std::array<TGXPlane, 6>& planes) {
  for (const TGXPlane& p : planes)
    if (!std::isfinite(p.a) || !std::isfinite(p.b) || !std::isfinite(p.c) || !std::isfinite(p.d))
      return false;
  return true;
}

struct CameraFixture : ::testing::Test {
  TGXScene Scene;
  TGXSceneNode* Node = new TGXSceneNode("Camera", Scene.Root());
  TGXCamera* Camera = new TGXCamera(Node);

  void Update() { Scene.Root()->Update(false); }
};

TEST_F(CameraFixture, ProjectionMatricesMatchHandComputedValues) {
  EXPECT_TRUE(Camera->ViewDirty());
  EXPECT_TRUE(Camera->ProjectionDirty());
  EXPECT_EQ(Camera->FieldOfView(), 0.62831855f);
  EXPECT_EQ(Camera->NearPlane(), 1);
  EXPECT_EQ(Camera->FarPlane(), 5000);

  // 90 degrees, aspect 2, near 1, far 101: y scale cot(45 deg) = 1, x scale 1 / 2,
  // depth 101 / 100 with offset -1 * 101 / 100.
  Camera->SetPerspective(GX_PI / 2, 1, 101);
  Camera->SetAspect(2);
  ExpectMatrixNear(Camera->GetProjectionMatrix(),
                   TGXMatrix(0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1.01f, 1, 0, 0, -1.01f, 0));
  EXPECT_FALSE(Camera->ProjectionDirty());

  // Orthographic 10 high, 20 wide, depth 1 .. 11.
  Camera->SetOrthographic(1, 11, 10);
  EXPECT_TRUE(Camera->ProjectionDirty());
  ExpectMatrixNear(Camera->GetProjectionMatrix(),
                   TGXMatrix(0.1f, 0, 0, 0, 0, 0.2f, 0, 0, 0, 0, 0.1f, 0, 0, 0, -0.1f, 1));

  // Setters mark the projection stale only on a change.
  Camera->SetAspect(2);
  Camera->SetOrthoHeight(10);
  Camera->SetClipPlaneEnabled(false);
  Camera->SetAspectLocked(false);
  EXPECT_FALSE(Camera->ProjectionDirty());
  Camera->SetOrthoHeight(4);
  EXPECT_TRUE(Camera->ProjectionDirty());
}

TEST_F(CameraFixture, ViewMatrixFollowsTheNodeLazily) {
  // At (10, 0, 0) turned 90 degrees about y: the camera looks along +x, its right is -z.
  Node->SetPosition({10, 0, 0});
  Node->SetRotation(GXQuaternionRotationAxis({0, 1, 0}, GX_PI / 2));
  Update();
  const TGXMatrix expected(0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, -10, 1);
  ExpectMatrixNear(Camera->GetViewMatrix(), expected);
  const TGXVector3 ahead = GXVec3TransformCoord({20, 0, 0}, Camera->GetViewMatrix());
  EXPECT_NEAR(ahead.z, 10, 1e-5f);
  const TGXVector3 right = GXVec3TransformCoord({10, 0, -3}, Camera->GetViewMatrix());
  EXPECT_NEAR(right.x, 3, 1e-5f);

  // Moving the node is enough; the view-projection follows.
  Node->SetPosition({0, 5, 0});
  Update();
  EXPECT_NEAR(Camera->GetViewMatrix().m[3][1], -5, 1e-5f);
  ExpectMatrixNear(Camera->GetViewProjectionMatrix(),
                   Camera->GetViewMatrix() * Camera->GetProjectionMatrix());

  // A camera without a node looks from the origin along +z.
  TGXRef<TGXCamera> loose = MakeRef<TGXCamera>();
  ExpectMatrixNear(loose->GetViewMatrix(), TGXMatrix());
}

TEST_F(CameraFixture, FrustumPlanesPointOutwardsAndCullBoxes) {
  Camera->SetPerspective(GX_PI / 2, 1, 100);
  Camera->SetAspect(1);
  Update();
  const float h = std::sqrt(0.5f);
  const auto& planes = Camera->GetFrustumPlanes();
  const TGXPlane expected[4] = {{-h, 0, -h, 0}, {h, 0, -h, 0}, {0, h, -h, 0}, {0, -h, -h, 0}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(planes[i].a, expected[i].a, 1e-5f) << i;
    EXPECT_NEAR(planes[i].b, expected[i].b, 1e-5f) << i;
    EXPECT_NEAR(planes[i].c, expected[i].c, 1e-5f) << i;
    EXPECT_NEAR(planes[i].d, expected[i].d, 1e-5f) << i;
  }
  EXPECT_NEAR(planes[GXFrustumFar].c, 1, 1e-5f);
  EXPECT_NEAR(planes[GXFrustumFar].d, -100, 1e-3f);
  EXPECT_NEAR(planes[GXFrustumNear].c, -1, 1e-5f);

  EXPECT_TRUE(Camera->IsBoxVisible(Box(-1, -1, 9, 1, 1, 11)));      // inside
  EXPECT_TRUE(Camera->IsBoxVisible(Box(9, -1, 9, 30, 1, 11)));      // across the right plane
  EXPECT_FALSE(Camera->IsBoxVisible(Box(40, -1, 9, 50, 1, 11)));    // right of it
  EXPECT_FALSE(Camera->IsBoxVisible(Box(-1, -1, -20, 1, 1, -10)));  // behind the camera
  EXPECT_FALSE(Camera->IsBoxVisible(Box(-1, -1, 200, 1, 1, 210)));  // beyond the far plane
  EXPECT_TRUE(Camera->IsBoxVisible(Box(-1, -1, 99, 1, 1, 101)));    // across it
  EXPECT_TRUE(Camera->IsBoxVisible(TGXBoundingBox()));              // empty: never culled
  EXPECT_TRUE(Camera->IsPointVisible({0, 0, 50}));
  EXPECT_FALSE(Camera->IsPointVisible({0, 60, 50}));

  // Turning the node turns the frustum.
  Node->SetRotation(GXQuaternionRotationAxis({0, 1, 0}, GX_PI));
  Update();
  EXPECT_FALSE(Camera->IsBoxVisible(Box(-1, -1, 9, 1, 1, 11)));
  EXPECT_TRUE(Camera->IsBoxVisible(Box(-1, -1, -11, 1, 1, -9)));
}

TEST_F(CameraFixture, ViewportSizeSetsTheAspectUnlessLocked) {
  Camera->SetViewportSize(800, 400);
  EXPECT_EQ(Camera->Aspect(), 2);
  Camera->GetProjectionMatrix();
  Camera->SetViewportSize(1600, 800);
  EXPECT_FALSE(Camera->ProjectionDirty());  // same aspect
  Camera->SetViewportSize(300, 0);          // height 0 counts as 1
  EXPECT_EQ(Camera->Aspect(), 300);
  Camera->SetAspectLocked(true);
  Camera->SetViewportSize(100, 100);
  EXPECT_EQ(Camera->Aspect(), 300);
}

TEST_F(CameraFixture, DegenerateInputNeverGivesNaN) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  auto expectFinite = [this](const char* what) {
    EXPECT_TRUE(AllFinite(Camera->GetViewMatrix())) << what;
    EXPECT_TRUE(AllFinite(Camera->GetProjectionMatrix())) << what;
    EXPECT_TRUE(AllFinite(Camera->GetViewProjectionMatrix())) << what;
    EXPECT_TRUE(AllFinite(Camera->GetFrustumPlanes())) << what;
  };

  Node->SetRotation({0, 0, 0, 0});
  Update();
  expectFinite("zero rotation");
  ExpectMatrixNear(Camera->GetViewMatrix(), TGXMatrix());

  Node->SetRotation({nan, 0, 0, 1});
  Node->SetPosition({nan, 1, 2});
  Update();
  expectFinite("NaN rotation and position");
  EXPECT_TRUE(Camera->IsBoxVisible(Box(-1, -1, 5, 1, 1, 6)));

  // A non-unit rotation is normalised: the view stays a rotation.
  Node->SetPosition({0, 0, 0});
  Node->SetRotation({0, 0, 0, 3});
  Update();
  ExpectMatrixNear(Camera->GetViewMatrix(), TGXMatrix());

  Camera->SetViewportSize(0, 0);
  expectFinite("zero-size viewport");
  EXPECT_EQ(Camera->Aspect(), 0);
  Camera->SetPerspective(0, 1, 1);
  expectFinite("zero field of view, near = far");
  Camera->SetOrthographic(1, 100, 0);
  expectFinite("ortho height 0");
  Camera->SetAspect(nan);
  expectFinite("NaN aspect");
  Camera->SetClipPlane({0, 0, 0, 0});
  Camera->SetClipPlaneEnabled(true);
  expectFinite("zero clip plane");
}

TEST_F(CameraFixture, ObliqueClipPlaneReplacesTheNearPlaneAndFollowsTheCamera) {
  // Looking along +z from (0, 10, -50); the world plane y = 0 with its normal up clips what lies
  // below it.
  Node->SetPosition({0, 10, -50});
  Camera->SetPerspective(GX_PI / 2, 1, 1000);
  Camera->SetClipPlane({0, 1, 0, 0});
  Camera->SetClipPlaneEnabled(true);
  Update();
  auto depth = [this](const TGXVector3& p) {
    const TGXVector4 v = GXVec3Transform(p, Camera->GetViewProjectionMatrix());
    return v.z / v.w;
  };
  EXPECT_NEAR(depth({0, 0, 0}), 0, 1e-4f);
  EXPECT_NEAR(depth({3, 0, 20}), 0, 1e-4f);
  EXPECT_GT(depth({0, 5, 0}), 0);
  EXPECT_LT(depth({0, -5, 0}), 0);

  // The plane is fixed in the world: after the camera moves it still clips at y = 0.
  Node->SetPosition({0, 30, -50});
  Update();
  EXPECT_NEAR(depth({0, 0, 0}), 0, 1e-4f);
  EXPECT_LT(depth({0, -5, 0}), 0);

  Camera->SetClipPlaneEnabled(false);
  EXPECT_GT(depth({0, -5, 0}), 0);
}

TEST_F(CameraFixture, AProjectionWindowStretchesItsPartOfTheImageAndNarrowsTheFrustum) {
  // With an oblique clip plane too: the window changes x and y only, never the depth.
  Node->SetPosition({0, 10, -50});
  Camera->SetPerspective(0.8f, 1, 1000);
  Camera->SetAspect(16.0f / 9.0f);
  Camera->SetClipPlane({0, 1, 0, 0});
  Camera->SetClipPlaneEnabled(true);
  Update();
  const TGXVector3 points[] = {{0, 5, 0}, {-20, 12, 40}, {30, -4, 100}, {1, 1, 10}};
  TGXVector4 full[4];
  for (int i = 0; i < 4; ++i) full[i] = GXVec3Transform(points[i], Camera->GetViewProjectionMatrix());

  const TGXVector4 window{-0.25f, 0.1f, 0.5f, 0.6f};
  Camera->SetProjectionWindow(window);
  EXPECT_TRUE(Camera->ProjectionDirty());
  for (int i = 0; i < 4; ++i) {
    const TGXVector4 v = GXVec3Transform(points[i], Camera->GetViewProjectionMatrix());
    const float x = full[i].x / full[i].w, y = full[i].y / full[i].w;
    EXPECT_NEAR(v.x / v.w, (2 * x - (window.x + window.z)) / (window.z - window.x), 1e-4f) << i;
    EXPECT_NEAR(v.y / v.w, (2 * y - (window.y + window.w)) / (window.w - window.y), 1e-4f) << i;
    EXPECT_NEAR(v.z / v.w, full[i].z / full[i].w, 1e-5f) << i;
    // Seen exactly when it falls inside the window (and in front of the clip plane).
    const bool inside = x > window.x && x < window.z && y > window.y && y < window.w && full[i].z > 0;
    EXPECT_EQ(Camera->IsPointVisible(points[i]), inside) << i;
  }

  // A window that is empty, turned over or not finite is the whole image.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const TGXVector4& bad : {TGXVector4{0.5f, 0, 0.5f, 1}, TGXVector4{1, 1, -1, -1}, TGXVector4{nan, 0, 1, 1}}) {
    Camera->SetProjectionWindow(bad);
    EXPECT_EQ(Camera->ProjectionWindow(), TGXVector4(-1, -1, 1, 1));
    const TGXVector4 v = GXVec3Transform(points[1], Camera->GetViewProjectionMatrix());
    EXPECT_NEAR(v.x / v.w, full[1].x / full[1].w, 1e-5f);
  }
}

}  // namespace
}  // namespace gx
