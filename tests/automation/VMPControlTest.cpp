// The automation object on a small layout of the program's own kinds: a new project (light,
// baseboard, three cameras) with two tracks, a locomotive, a wagon, a signal and two controllers.
// Covers the common frame (no project, unknown and wrong-class names), codes and filters, units
// and axes, the rotation round trip, ignored input, busy refusals, saving and loading, the event
// mapping and the hook, the name index behind every lookup, and the interface table.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>

#include "app/RREntityManager.h"
#include "app/RREvents.h"
#include "app/RRProject.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RRController.h"
#include "app/entities/RRLight.h"
#include "app/entities/RRSignal.h"
#include "app/entities/RRTrackVehicle.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "automation/VMPControl.h"
#include "automation/Velmora_TLB.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXGeometry.h"
#include "engine/render/GXScene.h"

using namespace rr;
namespace fsys = std::filesystem;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct TAutomation : ::testing::Test {
  TRRScriptedUIService Ui;
  gx::TGXFileSystem Fs;
  std::unique_ptr<TRRProject> Project;
  TRRPlainAutomationHost Host;
  TVMPControl Ctl{Host};
  fsys::path Dir;
  TRRTrack *Straight = nullptr, *Switch = nullptr;
  TRRTrackVehicle *Loco = nullptr, *Wagon = nullptr;
  TRRSignal* Signal = nullptr;
  TRRController *Toggle = nullptr, *Regulator = nullptr;
  std::vector<TRRAutomationEvent> Events;

  void SetUp() override {
    Dir = fsys::temp_directory_path() / ("velmora-automation-" + std::to_string(getpid()));
    fsys::remove_all(Dir);
    fsys::create_directories(Dir);
    TRRProjectServices s;
    s.UI = &Ui;
    s.FileSystem = &Fs;
    Project = std::make_unique<TRRProject>(std::move(s));
    Host.SetProject(Project.get());
    ASSERT_TRUE(Project->NewProject({}));
    Straight = Track(TRRTrackType::Straight, "Gerade 1", 2, {0, 0, 0});
    Switch = Track(TRRTrackType::Switch, "Weiche 1", 2, {0, 0, 300});
    Loco = Vehicle("Lok", true, 50);
    Wagon = Vehicle("Wagen", false, 0);
    TRRSignalDesc sd;
    Named(sd, "Signal 1");
    Signal = static_cast<TRRSignal*>(M().CreateEntity(nullptr, sd));
    Toggle = Controller("Schalter", RRControllerToggle);
    Regulator = Controller("Regler", RRControllerRegulator);
    Project->Scene()->Root()->Update(false);
  }
  void TearDown() override {
    Ctl.DisconnectEvents();
    Project.reset();
    fsys::remove_all(Dir);
  }

  TRREntityManager& M() { return *Project->Manager(); }
  void Named(TRREntityDescription& d, const std::string& name) {
    d.Name().SetUserText(name);
    d.SetID(M().NextID());
    M().ReserveIDs(1);
  }
  TRRTrack* Track(TRRTrackType type, const std::string& name, int routes, gx::TGXVector3 at) {
    TRRTrackDesc d(type);
    Named(d, name);
    d.SetPosition(at);
    for (int i = 0; i < routes; ++i) {
      auto r = std::make_unique<TRRTrackRouteDesc>();
      r->L1 = 100;
      d.AddRoute(std::move(r));
    }
    return static_cast<TRRTrack*>(M().CreateEntity(nullptr, d));
  }
  TRRTrackVehicle* Vehicle(const std::string& name, bool engine, float target) {
    TRRTrackVehicleDesc d;
    Named(d, name);
    d.TrackID = Straight->ID();
    d.RoutePosition = engine ? 20 : 60;
    d.HasEngine = engine;
    d.TargetSpeed = target;
    return static_cast<TRRTrackVehicle*>(M().CreateEntity(nullptr, d));
  }
  TRRController* Controller(const std::string& name, uint8_t kind) {
    TRRControllerDesc d;
    Named(d, name);
    d.Kind = kind;
    return static_cast<TRRController*>(M().CreateEntity(nullptr, d));
  }
  void Connect() {
    Ctl.ConnectEvents([this](const TRRAutomationEvent& e) { Events.push_back(e); });
  }
};

void ExpectVector(const TRRAutomationVector& v, float x, float y, float z, float eps = 1e-3f) {
  EXPECT_NEAR(v[0], x, eps);
  EXPECT_NEAR(v[1], y, eps);
  EXPECT_NEAR(v[2], z, eps);
}

}  // namespace

// ---- common frame ----

TEST_F(TAutomation, WithoutAnOpenProjectLayoutCallsGiveClearedValuesAndTheRestStillWorks) {
  for (bool closed : {true, false}) {
    if (closed)
      Project->CloseProject();
    else
      Host.SetProject(nullptr);
    SCOPED_TRACE(closed ? "closed project" : "no project object");
    EXPECT_TRUE(Ctl.GetEntities(0).empty());
    EXPECT_TRUE(Ctl.GetCameras(0).empty());
    EXPECT_EQ(Ctl.GetSignalState("Signal 1"), 0);
    EXPECT_EQ(Ctl.GetActiveCamera(), "");
    EXPECT_EQ(Ctl.GetProjectFileName(), "");
    ExpectVector(Ctl.GetPosition("Lok"), 0, 0, 0);
    Ctl.SetPosition("Lok", 1, 2, 3);
    Ctl.SelectEntity("Lok", false);
    Ctl.SetLight(0, 0, 0, true);
    Ctl.SaveProject((Dir / "nie.vmp").string());
    EXPECT_FALSE(fsys::exists(Dir / "nie.vmp"));
    // Units, switches and the program path need no project.
    EXPECT_FALSE(Ctl.GetAppFileName().empty());
    Ctl.SetLengthUnit(3);
    EXPECT_EQ(Ctl.GetLengthUnit(), 3);
    Ctl.EnableAnimations(false);
    EXPECT_FALSE(Ctl.AnimationsEnabled());
    Ctl.EnableSounds(false);
    EXPECT_FALSE(Ctl.SoundsEnabled());
    Ctl.SetSimulationMode(5);
    EXPECT_EQ(Ctl.GetSimulationMode(), 5);
  }
}

TEST_F(TAutomation, UnknownAndWrongClassNamesChangeNothingAndReadCleared) {
  // Every name of another class: the signal's name asked as track, the track's as signal ...
  for (const std::string& name : {std::string("fehlt"), std::string("Gerade 1"), std::string("Signal 1")}) {
    SCOPED_TRACE(name);
    const bool isTrack = name == "Gerade 1", isSignal = name == "Signal 1";
    if (!isSignal) {
      EXPECT_EQ(Ctl.GetSignalState(name), 0);
    }
    if (!isTrack) {
      EXPECT_EQ(Ctl.GetTrackType(name), 0);
      EXPECT_EQ(Ctl.GetTrackRouteCount(name), 0);
      EXPECT_EQ(Ctl.GetTrackRouteLength(name, 0), 0);
    }
    EXPECT_EQ(Ctl.GetTrackVehicleSpeed(name), 0);
    EXPECT_EQ(Ctl.GetControllerType(name), 0);
    EXPECT_EQ(Ctl.GetControllerValue(name), 0);
    Ctl.SetTrackVehicleSpeed(name, 10);
    Ctl.SetControllerValue(name, 1);
    Ctl.SetActiveCamera(name);
  }
  EXPECT_EQ(Ctl.GetEntityType("fehlt"), 0);
  EXPECT_FLOAT_EQ(Loco->TargetSpeed(), 50);
  EXPECT_EQ(Ctl.GetActiveCamera(), Project->ActiveCamera()->Name());
  // The wagon has no engine: it reads 0 and is not set.
  Ctl.SetTrackVehicleSpeed("Wagen", 10);
  EXPECT_EQ(Ctl.GetTrackVehicleSpeed("wagen"), 0);
  EXPECT_FLOAT_EQ(Wagon->TargetSpeed(), 0);
}

// ---- codes and filters ----

TEST_F(TAutomation, ListsFollowTheirFiltersAndTypeCodes) {
  using L = TRRNameList;
  EXPECT_EQ(Ctl.GetCameras(1), (L{RRNameFreeCamera, RRName2DCamera, RRNameTechnicalCamera}));
  EXPECT_TRUE(Ctl.GetCameras(2).empty());
  EXPECT_TRUE(Ctl.GetCameras(4).empty());
  EXPECT_EQ(Ctl.GetCameras(0).size(), 3u);
  EXPECT_EQ(Ctl.GetTrackVehicles(0), (L{"Lok", "Wagen"}));
  EXPECT_EQ(Ctl.GetTrackVehicles(1), (L{"Lok"}));
  EXPECT_EQ(Ctl.GetTrackVehicles(2), (L{"Wagen"}));
  EXPECT_TRUE(Ctl.GetTrackVehicles(3).empty());
  EXPECT_EQ(Ctl.GetTracks(0), (L{"Gerade 1", "Weiche 1"}));
  EXPECT_EQ(Ctl.GetTracks(4), (L{"Weiche 1"}));
  EXPECT_TRUE(Ctl.GetTracks(99).empty());
  EXPECT_EQ(Ctl.GetControllers(0), (L{"Schalter", "Regler"}));
  EXPECT_EQ(Ctl.GetControllers(2), (L{"Schalter"}));
  EXPECT_EQ(Ctl.GetControllers(1), (L{"Regler"}));
  EXPECT_EQ(Ctl.GetSignals(), (L{"Signal 1"}));
  EXPECT_TRUE(Ctl.GetAnimations().empty());  // no model here carries an animation
  struct TCase {
    const char* Name;
    int32_t Type;
  };
  for (const TCase& c : {TCase{"Gerade 1", 1},
                         {"Lok", 2},
                         {"Signal 1", 3},
                         {RRNameFreeCamera, 7},
                         {RRNameLight, 8},
                         {RRNamePanel, 9},
                         {"Regler", 11}}) {
    EXPECT_EQ(Ctl.GetEntityType(c.Name), c.Type) << c.Name;
    const TRRNameList same = Ctl.GetEntities(c.Type);
    EXPECT_NE(std::find(same.begin(), same.end(), c.Name), same.end()) << c.Name;
  }
  EXPECT_EQ(Ctl.GetEntities(0).size(), 12u);
  EXPECT_TRUE(Ctl.GetEntities(-1).empty());
  EXPECT_EQ(Ctl.GetTrackType("weiche 1"), 4);
  EXPECT_EQ(Ctl.GetTrackRouteCount("Weiche 1"), 2);
}

TEST_F(TAutomation, SignalsAndRoutesTranslateTheirCodes) {
  Signal->SetSignalState(RRSignalOpen);
  EXPECT_EQ(Ctl.GetSignalState("Signal 1"), 1);
  Ctl.SetSignalState("Signal 1", 0);
  EXPECT_EQ(Signal->SignalState(), RRSignalClosed);
  for (int32_t bad : {2, -1, 1 << 30}) Ctl.SetSignalState("Signal 1", bad);
  EXPECT_EQ(Signal->SignalState(), RRSignalClosed);
  Ctl.SetActiveTrackRoute("Weiche 1", 1 << 30);  // clamped
  EXPECT_EQ(Ctl.GetActiveTrackRoute("Weiche 1"), 1);
  Ctl.SetActiveTrackRoute("Gerade 1", 1);  // not switchable
  EXPECT_EQ(Ctl.GetActiveTrackRoute("Gerade 1"), 0);
}

// ---- units and axes ----

TEST_F(TAutomation, LengthsSpeedsAndPositionsUseTheClientsUnitWithHeightAsZ) {
  Ctl.SetLengthUnit(3);  // m
  EXPECT_FLOAT_EQ(Ctl.GetTrackVehicleSpeed("Lok"), 0.5f);
  Ctl.SetTrackVehicleSpeed("Lok", 2);
  EXPECT_FLOAT_EQ(Loco->TargetSpeed(), RRMaxTargetSpeed);
  const float length = Straight->GetRoute(0)->GetLength();
  EXPECT_NEAR(Ctl.GetTrackRouteLength("Gerade 1", 0), length * 0.01f, 1e-5f);
  EXPECT_EQ(Ctl.GetTrackRouteLength("Gerade 1", 2), 0);
  EXPECT_EQ(Ctl.GetTrackRouteLength("Gerade 1", -1), 0);
  for (int32_t bad : {5, -1, 1 << 30}) Ctl.SetLengthUnit(bad);
  for (int32_t bad : {2, -1}) Ctl.SetAngularUnit(bad);
  EXPECT_EQ(Ctl.GetLengthUnit(), 3);
  EXPECT_EQ(Ctl.GetAngularUnit(), 1);

  Ctl.SetLengthUnit(1);
  Ctl.SetPosition("Signal 1", 10, 30, 20);
  const gx::TGXVector3 p = Signal->TransformPoint(Signal->Pivot(), gx::TGXTransformSpace::World);
  EXPECT_NEAR(p.x, 10, 1e-4f);
  EXPECT_NEAR(p.y, 20, 1e-4f);
  EXPECT_NEAR(p.z, 30, 1e-4f);
  ExpectVector(Ctl.GetPosition("Signal 1"), 10, 30, 20);
  Ctl.SetPosition("Signal 1", 10, 30, 20);
  ExpectVector(Ctl.GetPosition("signal 1"), 10, 30, 20);
  Ctl.SetLengthUnit(0);  // mm
  ExpectVector(Ctl.GetPosition("Signal 1"), 100, 300, 200, 1e-2f);
}

TEST_F(TAutomation, GetRotationGivesBackWhatSetRotationSet) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> full(-3.1f, 3.1f), half(-1.55f, 1.55f);
  for (int i = 0; i < 200; ++i) {
    const float x = half(random), y = full(random), z = full(random);
    Ctl.SetRotation("Signal 1", x, y, z);
    ExpectVector(Ctl.GetRotation("Signal 1"), x, y, z, 2e-3f);
  }
  // In degrees, from any rotation before: 90 about the vertical, the pivot where it was.
  Ctl.SetAngularUnit(0);
  Ctl.SetPosition("Signal 1", 5, 6, 7);
  Ctl.SetRotation("Signal 1", 0, 0, 90);
  ExpectVector(Ctl.GetRotation("Signal 1"), 0, 0, 90, 1e-2f);
  ExpectVector(Ctl.GetPosition("Signal 1"), 5, 6, 7);
  const gx::TGXVector3 forward = gx::RotateVector({0, 0, 1}, Signal->WorldRotation());
  EXPECT_NEAR(forward.x, 1, 1e-4f);
  EXPECT_NEAR(forward.y, 0, 1e-4f);
}

TEST(GXYawPitchRoll, InvertsTheQuaternionOfTheAnglesAndAgreesWithEulerWherePitchOrRollIsZero) {
  std::mt19937 random(11);
  std::uniform_real_distribution<float> full(-3.1f, 3.1f), half(-1.55f, 1.55f);
  for (int i = 0; i < 1000; ++i) {
    const float yaw = full(random), pitch = half(random), roll = full(random);
    const gx::TGXYawPitchRoll r =
        gx::QuaternionToYawPitchRoll(gx::GXQuaternionRotationYawPitchRoll(yaw, pitch, roll));
    EXPECT_NEAR(r.Yaw, yaw, 2e-3f);
    EXPECT_NEAR(r.Pitch, pitch, 2e-3f);
    EXPECT_NEAR(r.Roll, roll, 2e-3f);
    // The old angles keep the attitude (roll) within +-90 degrees, where both decompositions agree.
    for (auto [p, ro] : {std::pair{0.0f, std::clamp(roll, -1.55f, 1.55f)}, std::pair{pitch, 0.0f}}) {
      const gx::TGXQuaternion q = gx::GXQuaternionRotationYawPitchRoll(yaw, p, ro);
      const gx::TGXYawPitchRoll n = gx::QuaternionToYawPitchRoll(q);
      const gx::TGXEulerAngles o = gx::QuaternionToEuler(q);
      EXPECT_NEAR(n.Pitch, o.Bank, 1e-4f);
      EXPECT_NEAR(n.Roll, o.Attitude, 1e-4f);
      EXPECT_NEAR(n.Yaw, o.Heading, 1e-4f);
    }
  }
  // At the poles the roll folds into the yaw; the rotation stays the same and nothing is NaN.
  for (float pitch : {1.5707964f, -1.5707964f}) {
    const gx::TGXQuaternion q = gx::GXQuaternionRotationYawPitchRoll(0.7f, pitch, 0.3f);
    const gx::TGXYawPitchRoll r = gx::QuaternionToYawPitchRoll(q);
    EXPECT_EQ(r.Roll, 0);
    const gx::TGXQuaternion back = gx::GXQuaternionRotationYawPitchRoll(r.Yaw, r.Pitch, r.Roll);
    EXPECT_NEAR(std::fabs(gx::GXQuaternionDot(q, back)), 1, 1e-4f);
  }
  const gx::TGXYawPitchRoll bad = gx::QuaternionToYawPitchRoll({kNaN, 0, 0, 1});
  EXPECT_EQ(bad.Yaw + bad.Pitch + bad.Roll, 0);
}

// ---- ignored input ----

TEST_F(TAutomation, NonFiniteNumbersAndAZeroScaleAreIgnored) {
  Ctl.SetPosition("Signal 1", 1, 2, 3);
  Ctl.SetRotation("Signal 1", 0.1f, 0.2f, 0.3f);
  Ctl.SetScaling("Signal 1", 2);
  Regulator->SetValue(0.25f);
  for (float bad : {kNaN, kInf, -kInf}) {
    Ctl.SetPosition("Signal 1", bad, 0, 0);
    Ctl.SetRotation("Signal 1", 0, 0, bad);
    Ctl.SetScaling("Signal 1", bad);
    Ctl.SetTrackVehicleSpeed("Lok", bad);
    Ctl.SetControllerValue("Regler", bad);
  }
  Ctl.SetScaling("Signal 1", 0);
  Ctl.SetLengthUnit(3);
  Ctl.SetPosition("Signal 1", 3e38f, 0, 0);  // beyond single range in centimetres
  Ctl.SetLengthUnit(1);
  ExpectVector(Ctl.GetPosition("Signal 1"), 1, 2, 3);
  ExpectVector(Ctl.GetRotation("Signal 1"), 0.1f, 0.2f, 0.3f);
  EXPECT_FLOAT_EQ(Ctl.GetScaling("Signal 1"), 2);
  EXPECT_FLOAT_EQ(Loco->TargetSpeed(), 50);
  EXPECT_FLOAT_EQ(Ctl.GetControllerValue("Regler"), 0.25f);
  // A track piece never scales.
  Ctl.SetScaling("Gerade 1", 3);
  EXPECT_FLOAT_EQ(Ctl.GetScaling("Gerade 1"), 1);
}

// ---- entities, selection, light, switches ----

TEST_F(TAutomation, LinksSelectionLightAndSimulationMode) {
  Ctl.LinkEntities("Signal 1", "Signal 1");
  EXPECT_EQ(Signal->LinkTarget(), 0);
  Ctl.LinkEntities("Signal 1", "Regler");
  EXPECT_EQ(Signal->LinkTarget(), Regulator->ID());
  Ctl.LinkEntities("Signal 1", "fehlt");
  EXPECT_EQ(Signal->LinkTarget(), 0);
  Ctl.LinkEntities("Signal 1", "Regler");
  Ctl.UnlinkEntity("SIGNAL 1");
  EXPECT_EQ(Signal->LinkTarget(), 0);

  Ctl.SelectEntity("Lok", false);
  Ctl.SelectEntity("Wagen", true);
  EXPECT_EQ(Ctl.GetSelectedEntities(), (TRRNameList{"Lok", "Wagen"}));
  Ctl.SelectEntity("fehlt", false);
  EXPECT_TRUE(Ctl.GetSelectedEntities().empty());

  Ctl.SetLight(static_cast<int32_t>(0xFF102030u), 0x7FFF8000, 0x00FFFFFF, true);
  TRRLight* light = Project->Light();
  ASSERT_NE(light, nullptr);
  EXPECT_EQ(light->SkyColor(), 0xFF102030u);
  EXPECT_NEAR(light->Ambient().x, 1, 1e-6f);
  EXPECT_NEAR(light->Ambient().y, 0.5019608f, 1e-6f);
  EXPECT_NEAR(light->Ambient().z, 0, 1e-6f);
  EXPECT_NEAR(light->Diffuse().y, 1, 1e-6f);
  EXPECT_TRUE(light->Spotlights());

  Ctl.SetSimulationMode(0);
  EXPECT_TRUE(Host.Mark(TRRShellAction::SimMode));
  EXPECT_EQ(Ctl.GetSimulationMode(), 0);
  Ctl.SetSimulationMode(8);
  EXPECT_FALSE(Host.Mark(TRRShellAction::SimMode));
  EXPECT_EQ(Ctl.GetSimulationMode(), 0);
  Ctl.SetSimulationMode(6);
  EXPECT_EQ(Ctl.GetSimulationMode(), 6);
  EXPECT_EQ(Host.LayoutCount(), 3);
}

// ---- project files ----

TEST_F(TAutomation, SavingAndLoadingRaiseTheirErrorsAndAreRefusedWhileBusy) {
  const std::string file = (Dir / "Anlage.vmp").string();
  Host.SetBusy(true);
  for (auto call : {&TVMPControl::SaveProject, &TVMPControl::LoadProject}) {
    try {
      (Ctl.*call)(file);
      ADD_FAILURE() << "not refused";
    } catch (const EAutomationError& e) {
      EXPECT_STREQ(e.what(), RRTextAutomationBusy);
    }
  }
  EXPECT_EQ(Ctl.GetTracks(0).size(), 2u) << "reads stay";
  Host.SetBusy(false);

  EXPECT_THROW(Ctl.SaveProject((Dir / "fehlt" / "Anlage.vmp").string()), EAutomationError);
  Ctl.SaveProject(file);
  EXPECT_EQ(Ctl.GetProjectFileName(), file);
  EXPECT_EQ(Host.RefreshCount(), 1);
  // Read-only: only where this process cannot write it (root may write anything).
  ::chmod(file.c_str(), 0444);
  if (RRIsReadOnlyFile(file)) {
    try {
      Ctl.SaveProject(file);
      ADD_FAILURE() << "not refused";
    } catch (const EAutomationError& e) {
      EXPECT_NE(std::string(e.what()).find(RRTextReadOnly2), std::string::npos);
    }
  }
  ::chmod(file.c_str(), 0644);

  // A modified project asks first; Cancel loads nothing.
  Project->SetModifiedFlag(true);
  Ui.QueueAnswer(TRRAnswer::Cancel);
  Ctl.LoadProject(file);
  EXPECT_EQ(Ctl.GetEntityType("Lok"), 2);
  Ui.QueueAnswer(TRRAnswer::No);
  Ctl.LoadProject(file);
  ASSERT_TRUE(Project->IsOpen());
  EXPECT_EQ(Ctl.GetProjectFileName(), file);
  EXPECT_EQ(Ctl.GetTracks(0), (TRRNameList{"Gerade 1", "Weiche 1"}));
  // A file that cannot be loaded leaves the project closed, reported by the project itself.
  Ctl.LoadProject((Dir / "fehlt.vmp").string());
  EXPECT_EQ(Ctl.GetProjectFileName(), "");
}

// ---- events ----

TEST_F(TAutomation, NotificationsMapToTheirEvents) {
  TRRTrackRoute* route = Switch->GetRoute(1);
  ASSERT_NE(route, nullptr);
  struct TCase {
    TRRConditionKind Kind;
    TRREventNotification N;
    int32_t DispId;  // 0: none
    std::vector<TRRAutomationValue> Args;
  };
  using V = std::vector<TRRAutomationValue>;
  const TCase cases[] = {
      {TRRConditionKind::TrackEnter,
       {Loco->ID(), Loco, Switch->ID(), 1, route, 0, {}},
       201,
       V{"Weiche 1", "Lok", 1}},
      {TRRConditionKind::TrackExit,
       {Loco->ID(), Loco, Switch->ID(), 1, route, 0, {}},
       202,
       V{"Weiche 1", "Lok", 1}},
      // By IDs alone (no pointers): looked up in the manager.
      {TRRConditionKind::TrackExit,
       {Loco->ID(), nullptr, Switch->ID(), 0, nullptr, 0, {}},
       202,
       V{"Weiche 1", "Lok", 0}},
      {TRRConditionKind::Switch,
       {Switch->ID(), Switch, Switch->ID(), 1, route, 1, {}},
       203,
       V{"Weiche 1", 1}},
      {TRRConditionKind::SignalSwitch, {Signal->ID(), Signal, 0, -1, nullptr, 1, {}}, 204, V{"Signal 1", 1}},
      {TRRConditionKind::Controller, {Toggle->ID(), Toggle, 0, -1, nullptr, 1, {}}, 205, V{"Schalter", 1.0f}},
      {TRRConditionKind::Controller,
       {Regulator->ID(), Regulator, 0, -1, nullptr, std::bit_cast<int32_t>(0.7f), {}},
       205,
       V{"Regler", 0.7f}},
      {TRRConditionKind::Countdown, {0, nullptr, 0, -1, nullptr, 0, "Uhr"}, 206, V{"Uhr"}},
      {TRRConditionKind::EventEnabled, {5, nullptr, 0, -1, nullptr, 1, {}}, 0, {}},
      {static_cast<TRRConditionKind>(99), {}, 0, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.DispId);
    std::optional<TRRAutomationEvent> e = RRAutomationEventOf(c.Kind, c.N, &M());
    if (!c.DispId) {
      EXPECT_FALSE(e);
      continue;
    }
    ASSERT_TRUE(e);
    EXPECT_EQ(e->DispId, c.DispId);
    EXPECT_EQ(e->Name, RRFindAutomationEvent(c.DispId)->Name);
    EXPECT_EQ(e->Args, c.Args);
    // Each argument has the type the event table gives it.
    const auto& params = RRFindAutomationEvent(c.DispId)->Args;
    ASSERT_EQ(e->Args.size(), params.size());
    for (size_t i = 0; i < params.size(); ++i)
      EXPECT_EQ(std::string(params[i].Type), e->Args[i].index() == 0   ? "s"
                                             : e->Args[i].index() == 1 ? "i"
                                                                       : "d");
  }
}

TEST_F(TAutomation, ChangesMadeByTheClientArriveAsEventsBeforeTheCallReturns) {
  Connect();
  Signal->SetSignalState(RRSignalOpen);
  Events.clear();
  Ctl.SetSignalState("Signal 1", 0);
  ASSERT_EQ(Events.size(), 1u);
  EXPECT_EQ(Events[0].Name, "SignalStateChanged");
  EXPECT_EQ(Events[0].Args, (std::vector<TRRAutomationValue>{"Signal 1", 1}));
  Ctl.SetSignalState("Signal 1", 2);
  EXPECT_EQ(Events.size(), 1u);
  Ctl.SetControllerValue("Schalter", 0.7f);
  Ctl.SetControllerValue("Regler", 0.7f);
  ASSERT_EQ(Events.size(), 3u);
  EXPECT_EQ(Events[1].Args[1], TRRAutomationValue(1.0f));
  EXPECT_EQ(Events[2].Args[1], TRRAutomationValue(0.7f));

  // Every connected object receives each event; disconnecting one leaves the others theirs, and a
  // destroyed object stops receiving.
  std::vector<TRRAutomationEvent> second;
  {
    TVMPControl other(Host);
    other.ConnectEvents([&](const TRRAutomationEvent& e) { second.push_back(e); });
    EXPECT_TRUE(Ctl.EventsConnected());
    Ctl.SetSignalState("Signal 1", 1);
    EXPECT_EQ(Events.size(), 4u);
    EXPECT_EQ(second.size(), 1u);
    Ctl.DisconnectEvents();
    Ctl.SetSignalState("Signal 1", 0);
    EXPECT_EQ(Events.size(), 4u);
    EXPECT_EQ(second.size(), 2u);
    Connect();
  }
  Ctl.SetSignalState("Signal 1", 1);
  EXPECT_EQ(Events.size(), 5u);
  EXPECT_EQ(second.size(), 2u);
}

// ---- name index ----

TEST_F(TAutomation, NameLookupsFollowRenamesRemovalsAndTheFirstIDWins) {
  Signal->SetName("Einfahrt Ä");
  EXPECT_EQ(Ctl.GetEntityType("Signal 1"), 0);
  EXPECT_EQ(Ctl.GetEntityType("EINFAHRT ä"), 3);
  // Two entities of one name: the lower ID, unless the class asked for excludes it.
  Regulator->SetName("einfahrt ä");
  EXPECT_EQ(M().FindByName(nullptr, "Einfahrt Ä"), Signal);
  EXPECT_EQ(Ctl.GetControllerType("Einfahrt Ä"), 1);
  delete Signal;
  Signal = nullptr;
  EXPECT_EQ(M().FindByName(nullptr, "Einfahrt Ä"), Regulator);
  Regulator->SetName("Regler");
  EXPECT_EQ(M().FindByName(nullptr, "einfahrt ä"), nullptr);
  EXPECT_EQ(M().FindByName(&TRRController::StaticClass(), "REGLER"), Regulator);
}

// ---- interface table ----

TEST(VelmoraTLB, MethodsAndEventsRunInDispatchOrderAndTheCommittedIntrospectionMatches) {
  auto methods = RRAutomationMethods();
  ASSERT_EQ(methods.size(), static_cast<size_t>(RRAutomationMethodCount));
  for (size_t i = 0; i < methods.size(); ++i) EXPECT_EQ(methods[i].DispId, 201 + static_cast<int>(i));
  EXPECT_STREQ(methods[9].Name, "ResetAnimation");
  EXPECT_EQ(methods[22].Signature(false), "s");
  EXPECT_EQ(methods[22].Signature(true), "ad");
  EXPECT_EQ(methods[49].Signature(false), "iiib");
  ASSERT_EQ(RRAutomationEvents().size(), static_cast<size_t>(RRAutomationEventCount));
  EXPECT_EQ(RRFindAutomationEvent(207), nullptr);
  EXPECT_EQ(RRFindAutomationMethod("GetEntityDepth")->DispId, 253);

  const std::string path = std::string(VELMORA_SOURCE_DIR) + "/automation/Velmora.IVMPControl.xml";
  const std::string generated = RRIntrospectionXml();
  if (std::getenv("VELMORA_UPDATE_INTROSPECTION")) std::ofstream(path, std::ios::binary) << generated;
  std::ifstream in(path, std::ios::binary);
  std::stringstream committed;
  committed << in.rdbuf();
  EXPECT_EQ(committed.str(), generated) << "run with VELMORA_UPDATE_INTROSPECTION=1 to write " << path;
}
