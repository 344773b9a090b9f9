// The project's cameras: the three cameras of a new layout and how they are aimed, activation as
// the only way to switch (controller, technical view, fallback), the active camera after saving
// and loading, and where inserted objects go.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/RREntityManager.h"
#include "app/RRProject.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RRCameraModifiers.h"
#include "engine/core/GXFileSystem.h"
#include "engine/render/GXCamera.h"
#include "tests/app/ManagerTestSupport.h"
#include "tests/app/ProjectTestSupport.h"

using namespace rr;
namespace fsys = std::filesystem;

namespace {

void ExpectNear(const gx::TGXVector3& a, const gx::TGXVector3& b, float eps = 1e-2f) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}

struct TCameraProject : ::testing::Test {
  TRRScriptedUIService Ui;
  gx::TGXFileSystem Fs;
  std::unique_ptr<TRRProject> Project;
  fsys::path Dir;
  int CameraChanges = 0;

  void SetUp() override {
    mgrtest::RegisterKinds();
    prjtest::RegisterKinds();
    Dir = fsys::temp_directory_path() / ("velmora-cameras-" + std::to_string(getpid()));
    fsys::remove_all(Dir);
    fsys::create_directories(Dir);
    TRRProjectServices s;
    s.UI = &Ui;
    s.FileSystem = &Fs;
    s.CamerasChanged = [this] { ++CameraChanges; };
    // The stand-in light and baseboard (a unit box), the program's own cameras.
    s.FindKind = [](const char* name) -> const TRRDescriptionClass* {
      std::string n = name;
      if (n == "TRRLightDesc") return &mgrtest::TLightDesc::StaticClass();
      if (n == "TRRPanelDesc") return &mgrtest::TPanelDesc::StaticClass();
      if (n == "TRRCameraDesc") return &TRRCameraDesc::StaticClass();
      return nullptr;
    };
    Project = std::make_unique<TRRProject>(std::move(s));
  }
  void TearDown() override {
    Project.reset();
    fsys::remove_all(Dir);
  }

  TRREntityManager& M() { return *Project->Manager(); }
  TRRCamera* Cam(int i) { return static_cast<TRRCamera*>(M().Cameras().Item(i)); }
  TRRCamera* Placed(const std::string& name, gx::TGXVector3 at) {
    TRRCameraDesc d;
    d.Name().SetUserText(name);
    d.SetID(M().NextID());
    d.SetPosition(at);
    M().ReserveIDs(1);
    auto* c = static_cast<TRRCamera*>(M().CreateEntity(nullptr, d));
    Project->Scene()->Root()->Update(false);
    return c;
  }
};

}  // namespace

TEST_F(TCameraProject, NewProjectMakesThreeTypedCamerasAimedAtTheBaseboard) {
  ASSERT_TRUE(Project->NewProject({}));
  ASSERT_EQ(M().Cameras().Count(), 3);
  const uint8_t types[] = {RRCameraFree, RRCameraTopDown, RRCameraTechnical};
  const char* names[] = {RRNameFreeCamera, RRName2DCamera, RRNameTechnicalCamera};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Cam(i)->Type(), types[i]);
    EXPECT_EQ(Cam(i)->Name(), names[i]);
    EXPECT_EQ(Cam(i)->IsActive(), i == 0);
  }
  EXPECT_EQ(Project->ActiveCamera(), Cam(0));
  EXPECT_EQ(M().ActiveCamera(), Cam(0));
  EXPECT_NE(Cam(0)->Modifier(), nullptr);
  EXPECT_FALSE(M().TechnicalView());

  // The free camera looks down 45 degrees at the baseboard's centre from twice its diagonal.
  const gx::TGXBoundingBox box = M().Panels().Item(0)->WorldBounds();
  ASSERT_FALSE(box.Empty);
  ExpectNear(Cam(0)->ForwardAxis(), {0, -0.70710678f, 0.70710678f}, 1e-4f);
  const float diagonal = gx::GXVec3Length(box.Max() - box.Min());
  ExpectNear(Cam(0)->WorldPosition(),
             box.Center - Cam(0)->ForwardAxis() * std::max(2 * diagonal, RRFrameMinDistance));
  // The top-down cameras stand over it looking straight down, the view size their height.
  for (int i = 1; i < 3; ++i) {
    ExpectNear(Cam(i)->WorldPosition(), RRTopDownPlaceOver(box));
    ExpectNear(Cam(i)->ForwardAxis(), {0, -1, 0}, 1e-4f);
    EXPECT_FLOAT_EQ(Cam(i)->EngineCamera()->OrthoHeight(), Cam(i)->WorldPosition().y);
  }
}

TEST_F(TCameraProject, ActivationMovesTheControllerAndSwitchesTheTechnicalView) {
  ASSERT_TRUE(Project->NewProject({}));
  TRRCamera* free = Cam(0);
  TRRCamera* technical = Cam(2);
  const int changes = CameraChanges;
  Project->SetActiveCamera(technical);
  EXPECT_FALSE(free->IsActive());
  EXPECT_EQ(free->Modifier(), nullptr);
  EXPECT_TRUE(technical->IsActive());
  ASSERT_NE(technical->Modifier(), nullptr);
  EXPECT_NE(dynamic_cast<TRR2DCameraModifier*>(technical->Modifier()), nullptr);
  EXPECT_TRUE(M().TechnicalView());
  EXPECT_EQ(Project->PreviousCamera(), free);
  EXPECT_GT(CameraChanges, changes);
  // The controller hears the view's keys through the manager.
  TRRInputRecord r;
  r.Message = RRMsgKeyDown;
  r.Key = RRVKAdd;
  const float h = technical->WorldPosition().y;
  EXPECT_TRUE(M().HandleInput(nullptr, r));
  EXPECT_LT(technical->WorldPosition().y, h);

  Project->SetActiveCamera(Cam(1));
  EXPECT_FALSE(M().TechnicalView());
  EXPECT_EQ(technical->Modifier(), nullptr);
  // The top-down partner took the technical camera's place.
  ExpectNear(Cam(1)->WorldPosition(), technical->WorldPosition());
  // None: back to the previous one.
  Project->SetActiveCamera(nullptr);
  EXPECT_EQ(Project->ActiveCamera(), technical);
  EXPECT_TRUE(M().TechnicalView());
}

TEST_F(TCameraProject, DeletingTheActiveCameraFallsBackAndFreedCamerasAreNeverChosen) {
  ASSERT_TRUE(Project->NewProject({}));
  TRRCamera* a = Placed("Blick A", {0, 50, -200});
  TRRCamera* b = Placed("Blick B", {0, 50, -300});
  Project->SetActiveCamera(a);
  Project->SetActiveCamera(b);
  EXPECT_EQ(Project->PreviousCamera(), a);
  // The previous camera is deleted; then the active one: camera 0 takes over.
  M().Selection().Add(a);
  ASSERT_TRUE(M().CanDeleteSelection());
  M().DeleteSelection();
  EXPECT_EQ(Project->PreviousCamera(), nullptr);
  M().Selection().Add(b);
  M().DeleteSelection();
  EXPECT_EQ(Project->ActiveCamera(), Cam(0));
  EXPECT_TRUE(Cam(0)->IsActive());
  EXPECT_EQ(M().ActiveCamera(), Cam(0));
  EXPECT_NE(Cam(0)->Modifier(), nullptr);
  // A predefined camera is refused.
  M().Selection().Clear();
  M().Selection().Add(Cam(1));
  EXPECT_FALSE(M().CanDeleteSelection());
}

TEST_F(TCameraProject, OnlyTheActiveCameraIsSavedActiveAndLoadTakesIt) {
  ASSERT_TRUE(Project->NewProject({}));
  TRRCamera* placed = Placed("Blick", {10, 80, -250});
  Project->SetActiveCamera(placed);
  // A pasted copy of the active camera (its record says active) is not active, nor does it write
  // itself active.
  TRREntityDescriptionList pasted(true);
  pasted.Add(placed->CreateDescription());
  ASSERT_TRUE(dynamic_cast<TRRCameraDesc*>(pasted.Item(0))->Active());
  Project->InsertDescriptions(pasted, nullptr);
  ASSERT_EQ(M().Selection().Count(), 1);
  auto* copy = static_cast<TRRCamera*>(M().Selection().Item(0));
  EXPECT_NE(copy, placed);
  EXPECT_FALSE(copy->IsActive());
  EXPECT_FALSE(dynamic_cast<TRRCameraDesc*>(copy->CreateDescription().get())->Active());
  EXPECT_EQ(Project->ActiveCamera(), placed);

  const std::string file = (Dir / "Kameras.vmp").string();
  ASSERT_TRUE(Project->SaveProject(file));
  ASSERT_TRUE(Project->LoadProject(file, false));
  auto* active = dynamic_cast<TRRCamera*>(Project->ActiveCamera());
  ASSERT_NE(active, nullptr);
  EXPECT_EQ(active->Name(), "Blick");
  EXPECT_TRUE(active->IsActive());
  int activeCount = 0;
  for (TRREntity* c : M().Cameras()) activeCount += static_cast<TRRCamera*>(c)->IsActive();
  EXPECT_EQ(activeCount, 1);
}

TEST_F(TCameraProject, InsertedObjectsGoToThePivotSeenBeforeAndAreFramed) {
  ASSERT_TRUE(Project->NewProject({}));
  TRRCamera* free = Cam(0);
  // Looking down at the ground far from the baseboard.
  free->SetWorldPosition({1000, 100, 0});
  Project->Scene()->Root()->Update(false);
  const gx::TGXVector3 target = Project->CameraTargetPoint();
  ExpectNear(target, {1000, 0, 100}, 0.05f);
  TRREntityDescriptionList list(true);
  auto d = std::make_unique<mgrtest::TModelDesc>();
  d->SetID(1);
  list.Add(std::move(d));
  Project->InsertDescriptions(list, nullptr);
  ASSERT_EQ(M().Selection().Count(), 1);
  TRREntity* inserted = M().Selection().Item(0);
  // The unit box stands on the target.
  EXPECT_NEAR(inserted->WorldBounds().Center.x, 1000, 0.05f);
  EXPECT_NEAR(inserted->WorldBounds().Center.z, 100, 0.05f);
  // The camera frames it: at least 10 cm away, looking at it.
  const gx::TGXVector3 toBox = inserted->WorldBounds().Center - free->WorldPosition();
  EXPECT_NEAR(gx::GXVec3Length(toBox), RRFrameMinDistance, 0.05f);
  ExpectNear(gx::GXVec3Normalize(toBox), free->ForwardAxis(), 1e-3f);
}
