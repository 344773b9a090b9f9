// The pages of the project menu's entity area on the small sample: the page follows the
// selection, every field edit is one history command that the window's undo takes back (and the
// page shows the old value again), typed numbers are read in the display unit with a decimal
// comma, and text that is no number keeps the value.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTabWidget>
#include <QtTest/QTest>
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/RREntityManager.h"
#include "app/RRHistory.h"
#include "app/RRProject.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RRCameraModifiers.h"
#include "app/RRInput.h"
#include "app/entities/RRModel.h"
#include "app/entities/RRTrackVehicle.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackModifier.h"
#include "app/entities/track/RRTrackRoute.h"
#include <QMenu>
#include "engine/render/GXCamera.h"
#include "gui/ProjectMenu.h"
#include "app/entities/RRController.h"
#include "app/entities/RRLight.h"
#include "app/entities/RRSignal.h"
#include "app/entities/panel/RRPanel.h"
#include "app/entities/track/RRCatenary.h"
#include "gui/pages/CameraMenu.h"
#include "gui/pages/CatenaryMenu.h"
#include "gui/pages/ControllerMenu.h"
#include "gui/pages/GroupMenu.h"
#include "gui/pages/LightMenu.h"
#include "gui/pages/PanelMenu.h"
#include "gui/pages/PrimitiveMenu.h"
#include "gui/pages/VehicleBuildingMenu.h"
#include "app/entities/scenery/RRPrimitive.h"
#include "app/entities/scenery/RRVehicleBuilding.h"
#include "gui/pages/SignalMenu.h"
#include "gui/pages/EntityMenu.h"
#include "gui/pages/EntityPage.h"
#include "gui/pages/TrackMenu.h"
#include "gui/pages/TrackVehicleMenu.h"
#include "tests/gui/GuiTestSupport.h"

using namespace rr;
using guitest::Pump;
using K = TRREntityPageKind;

namespace {

struct EntityPages : ::testing::Test {
  guitest::TProgram P;
  TMainWindow* W = nullptr;
  void SetUp() override { W = &P.MakeWindow(); }

  // The sample in a small window without reflections; lengths in the unit given (0 mm, 1 cm).
  bool Open(int lengthUnit = 0) {
    W->resize(1000, 640);
    P.Global().SettingsNode("GeneralSettings")->WriteInteger("LengthUnit", lengthUnit);
    P.Global().SettingsNode("RenderSettings")->WriteInteger("ReflectionQuality", 0);
    P.Global().SettingsNode("RenderSettings")->WriteInteger("EnvReflectionQuality", 0);
    P.Global().LoadSettings();
    const bool ok = W->OpenProjectFile(QString::fromStdString(P.Sample()));
    Pump(100);
    auto* menu = static_cast<TRRProjectMenu*>(W->ProjectMenu());
    menu->Tabs()->setCurrentWidget(menu->EntityMenu());
    Pump(20);
    return ok;
  }
  TRREntityManager* M() { return P.Project().Manager(); }
  TRREntityMenu* Menu() { return static_cast<TRRProjectMenu*>(W->ProjectMenu())->EntityMenu(); }
  TRRHistory* H() { return P.Project().History(); }
  void Undo() {
    W->Action(TRRShellAction::Undo)->trigger();
    Pump(30);
  }
  // The first top-level entity that passes the test.
  TRREntity* Find(const std::function<bool(TRREntity&)>& test) {
    for (int i = 0; i < M()->EntitySlotCount(); ++i)
      if (TRREntity* e = M()->EntitySlot(i); e && !e->EntityDestroying() && test(*e)) return e;
    return nullptr;
  }
  template <class T>
  T* FindKind() {
    return static_cast<T*>(Find([](TRREntity& e) { return e.Is<T>(); }));
  }
  void Select(const std::vector<TRREntity*>& entities) {
    M()->Selection().BeginUpdate();
    M()->Selection().Clear();
    for (TRREntity* e : entities) M()->Selection().Add(e);
    M()->Selection().EndUpdate();
    Pump(20);
  }
  // Types into the edit as a user does and confirms with Return.
  static void Type(QLineEdit* edit, const QString& text) {
    // Typed in as an input method does (key clicks know only ASCII).
    edit->selectAll();
    edit->insert(text);
    edit->setModified(true);
    QTest::keyClick(edit, Qt::Key_Return);
    Pump(10);
  }
};

}  // namespace

TEST_F(EntityPages, ThePageFollowsTheSelectionAndItsKind) {
  ASSERT_TRUE(Open());
  Select({});
  EXPECT_EQ(Menu()->CurrentPage()->Kind(), K::None);
  EXPECT_EQ(static_cast<TRRProjectMenu*>(W->ProjectMenu())->SelectionText(), "Keine Auswahl");
  TRRTrack* track = FindKind<TRRTrack>();
  TRRCamera* camera = FindKind<TRRCamera>();
  TRREntity* model = Find([](TRREntity& e) { return e.GetClass().Name == std::string("TRRModel"); });
  ASSERT_TRUE(track && camera && model);
  Select({track});
  EXPECT_EQ(Menu()->CurrentPage()->Kind(), K::Track);
  EXPECT_EQ(Menu()->EntityMenuPage(), static_cast<int32_t>(K::Track));
  Select({camera});
  EXPECT_EQ(Menu()->CurrentPage()->Kind(), K::Camera);
  Select({model});
  EXPECT_EQ(Menu()->CurrentPage()->Kind(), K::Model);
  EXPECT_TRUE(static_cast<TRRProjectMenu*>(W->ProjectMenu())->SelectionText().startsWith(
      QString::fromStdString(model->Name())));
  // Any selection holding a track shows the track page; others of several kinds the page for
  // several entities, whose name field is off.
  Select({model, track});
  EXPECT_EQ(Menu()->CurrentPage()->Kind(), K::Track);
  // Each kind on its page (the kinds that are models without fields of their own on theirs).
  const std::vector<std::pair<const char*, K>> kinds = {
      {"TRRLight", K::Light},       {"TRRPanel", K::Panel},       {"TRRSignal", K::Signal},
      {"TRRController", K::Controller}, {"TRRCatenary", K::Catenary}, {"TRRStreet", K::Street},
      {"TRRVegetation", K::Plant},  {"TRRBarrier", K::Barrier},   {"TRRVehicleBuilding", K::VehicleBuilding},
      {"TRRTrackVehicle", K::TrackVehicle}, {"TRRCockpit", K::Entity}};
  for (const auto& [name, kind] : kinds) {
    SCOPED_TRACE(name);
    TRREntity* e = Find([name = std::string(name)](TRREntity& x) { return x.GetClass().Name == name; });
    ASSERT_NE(e, nullptr);
    Select({e});
    EXPECT_EQ(Menu()->CurrentPage()->Kind(), kind);
    EXPECT_EQ(Menu()->CurrentPage()->NameEdit()->text(), QString::fromStdString(e->Name()));
  }
  Select({model, camera});
  EXPECT_EQ(Menu()->CurrentPage()->Kind(), K::Multi);
  EXPECT_FALSE(Menu()->CurrentPage()->NameEdit()->isEnabled());
  EXPECT_EQ(Menu()->CurrentPage()->NameEdit()->text(), "Mehrfachselektion");
  EXPECT_EQ(static_cast<TRRProjectMenu*>(W->ProjectMenu())->SelectionText(), "2 Objekte ausgewählt");
  // A page asked for that does not fit the selection is not shown.
  Menu()->ShowEntityMenuPage(static_cast<int32_t>(K::Panel));
  EXPECT_EQ(Menu()->CurrentPage()->Kind(), K::Multi);
  Menu()->ShowEntityMenuPage(-1);
  EXPECT_EQ(Menu()->CurrentPage()->Kind(), K::None);
}

// Name, position, turn and lock of one model: each edit one command, undo brings the old value
// back onto the entity (made anew under its ID) and onto the page.
TEST_F(EntityPages, CommonFieldsAreOneCommandEachAndUndoShowsTheOldValue) {
  ASSERT_TRUE(Open(1));
  TRREntity* model = Find([](TRREntity& e) { return e.GetClass().Name == std::string("TRRModel"); });
  ASSERT_NE(model, nullptr);
  const int32_t id = model->ID();
  Select({model});
  TEntityPage* page = Menu()->CurrentPage();
  ASSERT_EQ(page->Kind(), K::Model);
  const std::string name = model->Name();
  const gx::TGXVector3 p0 = model->WorldPosition();
  const float yaw0 = RRYawOf(*model);

  struct Case {
    const char* What;
    std::function<void()> Edit;
    std::function<bool(TRREntity&)> Changed;
  };
  const std::vector<Case> cases = {
      {"name", [&] { Type(page->NameEdit(), "Stellwerk Süd"); },
       [](TRREntity& e) { return e.Name() == "Stellwerk Süd"; }},
      // A German decimal comma, in centimetres (the default unit).
      {"x", [&] { Type(page->PositionEdit(0), "12,5"); },
       [](TRREntity& e) { return std::fabs(e.WorldPosition().x - 12.5f) < 1e-3f; }},
      {"z with a point and the unit", [&] { Type(page->PositionEdit(2), "-40.25 cm"); },
       [](TRREntity& e) { return std::fabs(e.WorldPosition().z + 40.25f) < 1e-3f; }},
      {"turn in degrees", [&] { Type(page->TurnEdit(), "90"); },
       [](TRREntity& e) { return std::fabs(RRYawOf(e) - 1.5707964f) < 1e-3f; }},
      {"lock", [&] { page->LockedCheck()->click(); }, [](TRREntity& e) { return e.Locked(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    const int before = H()->Current();
    c.Edit();
    model = M()->FindByID(id);
    ASSERT_NE(model, nullptr);
    EXPECT_TRUE(c.Changed(*model));
    EXPECT_EQ(H()->Current(), before + 1);
    Undo();
    model = M()->FindByID(id);
    ASSERT_NE(model, nullptr);
    EXPECT_FALSE(c.Changed(*model));
    EXPECT_EQ(model->Name(), name);
    EXPECT_NEAR(model->WorldPosition().x, p0.x, 1e-3f);
    EXPECT_NEAR(model->WorldPosition().z, p0.z, 1e-3f);
    EXPECT_NEAR(std::remainder(RRYawOf(*model) - yaw0, 6.2831853f), 0, 1e-3f);
    // The page shows the entity that undo made, with the old values.
    EXPECT_EQ(Menu()->CurrentPage(), page);
    EXPECT_EQ(page->First(), model);
    EXPECT_EQ(page->NameEdit()->text(), QString::fromStdString(name));
    EXPECT_EQ(page->PositionEdit(0)->text(), RRShowLength(p0.x));
    EXPECT_FALSE(page->LockedCheck()->isChecked());
  }
}

// Text that is no finite number keeps the value (and no command is made); a number out of range
// is clamped to it.
TEST_F(EntityPages, BadNumbersKeepTheValueAndHugeOnesAreClamped) {
  ASSERT_TRUE(Open());
  TRREntity* model = Find([](TRREntity& e) { return e.GetClass().Name == std::string("TRRModel"); });
  ASSERT_NE(model, nullptr);
  Select({model});
  TEntityPage* page = Menu()->CurrentPage();
  const float x0 = model->WorldPosition().x;
  for (const char* text : {"abc", "", "inf", "nan", "1e999", "12,5,3", "--3", "1e"}) {
    SCOPED_TRACE(text);
    const int before = H()->Current();
    Type(page->PositionEdit(0), text);
    EXPECT_EQ(H()->Current(), before);
    EXPECT_EQ(model->WorldPosition().x, x0);
    EXPECT_EQ(page->PositionEdit(0)->text(), RRShowLength(x0));
  }
  // An empty name keeps the old one.
  const std::string name = model->Name();
  const int count = H()->Current();
  Type(page->NameEdit(), "   ");
  EXPECT_EQ(model->Name(), name);
  EXPECT_EQ(H()->Current(), count);
  EXPECT_EQ(page->NameEdit()->text(), QString::fromStdString(name));
  // Another length unit: the page shows and reads metres.
  P.Global().SettingsNode("GeneralSettings")->WriteInteger("LengthUnit", 3);
  P.Global().LoadSettings();
  static_cast<TRRProjectMenu*>(W->ProjectMenu())->SettingsChanged();
  EXPECT_EQ(page->PositionUnit(0)->text(), "m");
  EXPECT_EQ(page->PositionEdit(0)->text(), RRShowLength(x0));
  Type(page->PositionEdit(0), "0,5");
  EXPECT_FLOAT_EQ(model->WorldPosition().x, 50.0f);
  Type(page->PositionEdit(0), "1e9");
  EXPECT_FLOAT_EQ(model->WorldPosition().x, static_cast<float>(RRPageMaxPosition));
  Type(page->PositionEdit(0), "-1e12");
  EXPECT_FLOAT_EQ(model->WorldPosition().x, static_cast<float>(-RRPageMaxPosition));
}

// "Gesperrt" on several entities is one command; undo unlocks them all.
TEST_F(EntityPages, AnEditOfSeveralEntitiesIsOneCommand) {
  ASSERT_TRUE(Open());
  std::vector<TRREntity*> models;
  for (int i = 0; i < M()->EntitySlotCount() && models.size() < 3; ++i)
    if (TRREntity* e = M()->EntitySlot(i); e && e->GetClass().Name == std::string("TRRModel") && !e->Locked())
      models.push_back(e);
  ASSERT_EQ(models.size(), 3u);
  std::vector<int32_t> ids;
  for (TRREntity* e : models) ids.push_back(e->ID());
  Select(models);
  TEntityPage* page = Menu()->CurrentPage();
  ASSERT_EQ(page->Kind(), K::Multi);
  const int before = H()->Current();
  page->LockedCheck()->click();
  EXPECT_EQ(H()->Current(), before + 1);
  EXPECT_EQ(H()->Command(H()->Current())->ChildCount(), 3);
  for (int32_t id : ids) EXPECT_TRUE(M()->FindByID(id)->Locked());
  Undo();
  for (int32_t id : ids) EXPECT_FALSE(M()->FindByID(id)->Locked());
  EXPECT_EQ(Menu()->CurrentPage()->Kind(), K::Multi);
  EXPECT_EQ(page->LockedCheck()->checkState(), Qt::Unchecked);
}

TEST_F(EntityPages, TrackPageSetsTheBedAndTheSwitchRoute) {
  ASSERT_TRUE(Open());
  TRREntity* sw = Find([](TRREntity& e) { return e.Is<TRRTrack>() && static_cast<TRRTrack&>(e).IsSwitchable(); });
  ASSERT_NE(sw, nullptr);
  const int32_t id = sw->ID();
  Select({sw});
  auto* page = dynamic_cast<TTrackMenu*>(Menu()->CurrentPage());
  ASSERT_NE(page, nullptr);
  EXPECT_FALSE(page->DescriptionLabel()->text().isEmpty());
  const bool bed = static_cast<TRRTrack*>(sw)->HasBed();
  EXPECT_EQ(page->BedCheck()->isChecked(), bed);
  page->BedCheck()->click();
  EXPECT_EQ(static_cast<TRRTrack*>(M()->FindByID(id))->HasBed(), !bed);
  Undo();
  EXPECT_EQ(static_cast<TRRTrack*>(M()->FindByID(id))->HasBed(), bed);
  EXPECT_EQ(page->BedCheck()->isChecked(), bed);

  ASSERT_TRUE(page->RouteBox()->isEnabled());
  auto* track = static_cast<TRRTrack*>(M()->FindByID(id));
  EXPECT_EQ(page->RouteBox()->count(), track->GetRouteCount());
  const int route0 = track->ActiveRoute();
  const int other = (route0 + 1) % track->GetRouteCount();
  page->RouteBox()->setCurrentIndex(other);
  emit page->RouteBox()->activated(other);
  Pump(10);
  EXPECT_EQ(static_cast<TRRTrack*>(M()->FindByID(id))->ActiveRoute(), other);
  Undo();
  EXPECT_EQ(static_cast<TRRTrack*>(M()->FindByID(id))->ActiveRoute(), route0);
  EXPECT_EQ(page->RouteBox()->currentIndex(), route0);

  // Several tracks: the bed box is grey while mixed and a click beds them all.
  TRREntity* straight =
      Find([](TRREntity& e) { return e.Is<TRRTrack>() && static_cast<TRRTrack&>(e).Type() == TRRTrackType::Straight; });
  ASSERT_NE(straight, nullptr);
  const int32_t sid = straight->ID();
  track = static_cast<TRRTrack*>(M()->FindByID(id));
  Select({track});
  if (track->HasBed()) page->BedCheck()->click();
  track = static_cast<TRRTrack*>(M()->FindByID(id));
  ASSERT_FALSE(track->HasBed());
  ASSERT_TRUE(static_cast<TRRTrack*>(M()->FindByID(sid))->HasBed());
  Select({track, M()->FindByID(sid)});
  EXPECT_EQ(page->BedCheck()->checkState(), Qt::PartiallyChecked);
  EXPECT_FALSE(page->RouteBox()->isEnabled());
  page->BedCheck()->click();
  EXPECT_TRUE(static_cast<TRRTrack*>(M()->FindByID(id))->HasBed());
  EXPECT_TRUE(static_cast<TRRTrack*>(M()->FindByID(sid))->HasBed());
}

TEST_F(EntityPages, VehiclePageSetsSpeedAndSwitchesAndUndoTakesThemBack) {
  ASSERT_TRUE(Open());
  TRREntity* loco =
      Find([](TRREntity& e) { return e.Is<TRRTrackVehicle>() && static_cast<TRRTrackVehicle&>(e).HasEngine(); });
  ASSERT_NE(loco, nullptr);
  const int32_t id = loco->ID();
  auto V = [&] { return static_cast<TRRTrackVehicle*>(M()->FindByID(id)); };
  V()->SetTargetSpeed(0);
  Select({loco});
  auto* page = dynamic_cast<TTrackVehicleMenu*>(Menu()->CurrentPage());
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->SpeedBar()->minimum(), -75);
  EXPECT_EQ(page->SpeedBar()->maximum(), 75);
  EXPECT_EQ(page->StopButton()->toolTip(), "Stoppt den Zug");
  EXPECT_FALSE(page->StopButton()->isVisible());

  // The target speed typed with a comma in millimetres per second; out of range clamped to 75
  // centimetres per second.
  EXPECT_EQ(page->findChild<QLabel*>("TargetUnit")->text(), "mm/s");
  Type(page->TargetEdit(), "305,5");
  EXPECT_FLOAT_EQ(V()->TargetSpeed(), 30.55f);
  EXPECT_EQ(page->SpeedBar()->value(), 31);
  EXPECT_TRUE(page->StopButton()->isVisible());
  EXPECT_EQ(page->CurrentLabel()->text().right(5), " mm/s");
  Type(page->TargetEdit(), "5000");
  EXPECT_FLOAT_EQ(V()->TargetSpeed(), 75.0f);
  Undo();
  EXPECT_FLOAT_EQ(V()->TargetSpeed(), 30.55f);
  EXPECT_EQ(page->TargetEdit()->text(), RRShowLength(30.55f));
  page->StopButton()->click();
  EXPECT_EQ(V()->TargetSpeed(), 0.0f);
  Undo();
  EXPECT_FLOAT_EQ(V()->TargetSpeed(), 30.55f);
  Undo();
  EXPECT_EQ(V()->TargetSpeed(), 0.0f);
  EXPECT_EQ(page->TargetEdit()->text(), "0");

  // A drag of the bar is one command, however many values it passes.
  const int before = H()->Current();
  page->SpeedBar()->setSliderDown(true);
  emit page->SpeedBar()->sliderPressed();
  for (int v : {10, 20, -40}) page->SpeedBar()->setValue(v);
  page->SpeedBar()->setSliderDown(false);
  emit page->SpeedBar()->sliderReleased();
  Pump(10);
  EXPECT_EQ(H()->Current(), before + 1);
  EXPECT_FLOAT_EQ(V()->TargetSpeed(), -40.0f);
  Undo();
  EXPECT_EQ(V()->TargetSpeed(), 0.0f);
  EXPECT_EQ(page->SpeedBar()->value(), 0);

  struct Switch {
    QCheckBox* Box;
    std::function<bool(TRRTrackVehicle&)> Get;
  };
  for (const Switch& s : {Switch{page->ChangeDirectionCheck(), [](TRRTrackVehicle& v) { return v.ChangeDirection(); }},
                          Switch{page->UnlockSwitchesCheck(), [](TRRTrackVehicle& v) { return v.UnlockSwitches(); }},
                          Switch{page->SoundCheck(), [](TRRTrackVehicle& v) { return v.SoundEnabled(); }}}) {
    SCOPED_TRACE(s.Box->text().toStdString());
    // Without a sound file there is nothing to switch on.
    if (s.Box == page->SoundCheck() && V()->SoundFile().IsEmpty()) {
      EXPECT_FALSE(s.Box->isEnabled());
      continue;
    }
    const bool old = s.Get(*V());
    EXPECT_EQ(s.Box->isChecked(), old);
    const int count = H()->Current();
    s.Box->click();
    if (s.Box == page->SoundCheck() && s.Get(*V()) == old) {
      // The sound could not be loaded (no sound output here): nothing recorded, box as before.
      EXPECT_EQ(H()->Current(), count);
      EXPECT_EQ(s.Box->isChecked(), old);
      continue;
    }
    EXPECT_EQ(s.Get(*V()), !old);
    Undo();
    EXPECT_EQ(s.Get(*V()), old);
    EXPECT_EQ(s.Box->isChecked(), old);
  }
  EXPECT_EQ(page->ChangeDirectionCheck()->text(), "Automatischer Richtungswechsel");
  EXPECT_EQ(page->UnlockSwitchesCheck()->text(), "Weichen freischalten");
  EXPECT_EQ(page->SoundCheck()->text(), "Fahrgeräusche");
}

TEST_F(EntityPages, CameraPageActivatesAndSetsTheFieldOfView) {
  ASSERT_TRUE(Open());
  TRRCamera* camera = static_cast<TRRCamera*>(Find([&](TRREntity& e) {
    return e.Is<TRRCamera>() && !e.Is<TRRCockpit>() && static_cast<TRRCamera&>(e).Type() != RRCameraTechnical &&
           static_cast<TRRCamera&>(e).Type() != RRCameraTopDown && P.Project().ActiveCamera() != &e;
  }));
  TRREntity* active = P.Project().ActiveCamera();
  ASSERT_TRUE(camera && active);
  Select({camera});
  auto* page = dynamic_cast<TCameraMenu*>(Menu()->CurrentPage());
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->ActivateButton()->text(), "Aktivieren");
  EXPECT_EQ(page->ShowModelCheck()->isEnabled(), camera->Type() == RRCameraPlaced);
  page->ActivateButton()->click();
  EXPECT_EQ(P.Project().ActiveCamera(), camera);
  EXPECT_EQ(page->ActivateButton()->text(), "Deaktivieren");
  page->ActivateButton()->click();
  EXPECT_EQ(P.Project().ActiveCamera(), active);
  // 0..100 on the bar is 10..90 degrees.
  page->FieldOfViewBar()->setValue(100);
  EXPECT_NEAR(camera->EngineCamera()->FieldOfView(), 1.5707963f, 1e-4f);
  EXPECT_EQ(page->FieldOfViewLabel()->text(), "90 °");
  page->FieldOfViewBar()->setValue(0);
  EXPECT_NEAR(camera->EngineCamera()->FieldOfView(), 0.1745329f, 1e-4f);
  EXPECT_EQ(RRFieldOfViewPosition(RRCameraFieldOfView), 25);
  EXPECT_EQ(RRFieldOfViewPosition(std::nanf("")), 0);
  EXPECT_EQ(RRFieldOfViewPosition(10.0f), 100);
}

// Pictures of the track and the vehicle page in the window for the documentation.
TEST_F(EntityPages, PicturesOfThePages) {
  ASSERT_TRUE(Open());
  W->resize(1100, 700);
  const QString dir = QString(VELMORA_TEST_OUTPUT_DIR) + "/";
  TRREntity* sw = Find([](TRREntity& e) { return e.Is<TRRTrack>() && static_cast<TRRTrack&>(e).IsSwitchable(); });
  TRREntity* loco =
      Find([](TRREntity& e) { return e.Is<TRRTrackVehicle>() && static_cast<TRRTrackVehicle&>(e).HasEngine(); });
  ASSERT_TRUE(sw && loco);
  Select({sw});
  Pump(300);
  EXPECT_TRUE(W->grab().save(dir + "pages-track.png"));
  // The page with a strip of the view above it, for the documentation.
  QWidget* strip = W->ProjectMenu();
  const QPoint top = strip->mapTo(W, QPoint(0, 0));
  const QRect part(0, std::max(0, top.y() - 280), W->width(), strip->height() + std::min(280, top.y()));
  EXPECT_TRUE(W->grab(part).toImage().scaledToWidth(640, Qt::SmoothTransformation).save(dir + "fenster-seite-gleis.png"));
  Select({loco});
  Pump(300);
  EXPECT_TRUE(W->grab().save(dir + "pages-vehicle.png"));
  for (const char* kind : {"TRRCamera", "TRRLight", "TRRController"}) {
    Select({Find([kind](TRREntity& e) { return e.GetClass().Name == std::string(kind); })});
    Pump(100);
    EXPECT_TRUE(W->ProjectMenu()->grab().save(dir + "pages-" + QString(kind).mid(3).toLower() + ".png"));
  }
}

TEST_F(EntityPages, LightPageSwitchesSpotlightsPresetsAndColours) {
  ASSERT_TRUE(Open());
  TRRLight* light = FindKind<TRRLight>();
  ASSERT_NE(light, nullptr);
  const int32_t id = light->ID();
  auto L = [&] { return static_cast<TRRLight*>(M()->FindByID(id)); };
  Select({light});
  auto* page = dynamic_cast<TLightMenu*>(Menu()->CurrentPage());
  ASSERT_NE(page, nullptr);
  // The light is not moved by hand.
  EXPECT_FALSE(page->PositionEdit(0)->isEnabled());
  EXPECT_EQ(page->SpotlightsCheck()->text(), "Scheinwerfer aktivieren");
  const bool spots = L()->Spotlights();
  page->SpotlightsCheck()->click();
  EXPECT_EQ(L()->Spotlights(), !spots);
  Undo();
  EXPECT_EQ(L()->Spotlights(), spots);
  EXPECT_EQ(page->SpotlightsCheck()->isChecked(), spots);

  ASSERT_GE(L()->PresetCount(), 2);
  const int preset = L()->ActiveIndex();
  const int other = preset == 0 ? 1 : 0;
  EXPECT_EQ(page->PresetBox()->count(), L()->PresetCount());
  page->PresetBox()->setCurrentIndex(other);
  emit page->PresetBox()->activated(other);
  EXPECT_EQ(L()->ActiveIndex(), other);
  Undo();
  EXPECT_EQ(L()->ActiveIndex(), preset);
  EXPECT_EQ(page->PresetBox()->currentIndex(), preset);

  const QColor sky = page->Colour(TLightMenu::TColour::Sky);
  page->SetColour(TLightMenu::TColour::Sky, QColor(10, 20, 30));
  EXPECT_EQ(L()->SkyColor() & 0xFFFFFFu, 0x0A141Eu);
  page->SetColour(TLightMenu::TColour::Ambient, QColor(255, 0, 0));
  EXPECT_NEAR(L()->Ambient().x, 1.0f, 1e-3f);
  EXPECT_NEAR(L()->Ambient().y, 0.0f, 1e-3f);
  Undo();
  Undo();
  EXPECT_EQ(page->Colour(TLightMenu::TColour::Sky).rgb(), sky.rgb());
}

TEST_F(EntityPages, PanelPageSetsThicknessAndTransparency) {
  ASSERT_TRUE(Open(1));
  TRRPanel* panel = FindKind<TRRPanel>();
  ASSERT_NE(panel, nullptr);
  const int32_t id = panel->ID();
  auto Pn = [&] { return static_cast<TRRPanel*>(M()->FindByID(id)); };
  Select({panel});
  auto* page = dynamic_cast<TPanelMenu*>(Menu()->CurrentPage());
  ASSERT_NE(page, nullptr);
  const float thickness = Pn()->Params().Thickness;
  struct Case {
    const char* Text;
    float Expected;
  };
  // Typed in centimetres with a comma; below 0.1 and above 100 clamped; no number keeps it.
  for (const Case& c : {Case{"7,5", 7.5f}, Case{"0,01", 0.1f}, Case{"5000", 100.0f}, Case{"dick", 100.0f}}) {
    SCOPED_TRACE(c.Text);
    Type(page->HeightEdit(), c.Text);
    EXPECT_FLOAT_EQ(Pn()->Params().Thickness, c.Expected);
    EXPECT_EQ(page->HeightEdit()->text(), RRShowLength(c.Expected));
  }
  Undo();
  Undo();
  Undo();
  EXPECT_FLOAT_EQ(Pn()->Params().Thickness, thickness);
  EXPECT_EQ(page->HeightEdit()->text(), RRShowLength(thickness));

  EXPECT_EQ(page->TransparentCheck()->toolTip(), "Ermöglicht die Selektion unterhalb der Plattenoberfläche");
  const bool transparent = Pn()->Transparent();
  page->TransparentCheck()->click();
  EXPECT_EQ(Pn()->Transparent(), !transparent);
  Undo();
  EXPECT_EQ(Pn()->Transparent(), transparent);
}

TEST_F(EntityPages, SignalControllerAndMastPagesAreUndoable) {
  ASSERT_TRUE(Open());
  TRRSignal* signal = FindKind<TRRSignal>();
  ASSERT_NE(signal, nullptr);
  const int32_t sid = signal->ID();
  Select({signal});
  auto* sp = dynamic_cast<TSignalMenu*>(Menu()->CurrentPage());
  ASSERT_NE(sp, nullptr);
  const int state = signal->SignalState();
  emit sp->StateBox()->activated(1 - state);
  EXPECT_EQ(static_cast<TRRSignal*>(M()->FindByID(sid))->SignalState(), 1 - state);
  Undo();
  EXPECT_EQ(static_cast<TRRSignal*>(M()->FindByID(sid))->SignalState(), state);
  EXPECT_EQ(sp->StateBox()->currentIndex(), state);

  // A controller moves its target: undo brings both back, as one command.
  TRRController* controller = static_cast<TRRController*>(
      Find([](TRREntity& e) { return e.Is<TRRController>() && static_cast<TRRController&>(e).Target(); }));
  ASSERT_NE(controller, nullptr);
  const int32_t cid = controller->ID();
  Select({controller});
  auto* cp = dynamic_cast<TControllerMenu*>(Menu()->CurrentPage());
  ASSERT_NE(cp, nullptr);
  EXPECT_EQ(cp->TargetLabel()->text(), QString::fromStdString(controller->Target()->Name()));
  const float value = controller->Value();
  const int position = value > 0.5f ? 0 : 100;
  const int before0 = H()->Current();
  cp->ValueBar()->setValue(position);
  EXPECT_EQ(H()->Current(), before0 + 1);
  auto* c = static_cast<TRRController*>(M()->FindByID(cid));
  if (c->Kind() == RRControllerToggle)
    EXPECT_EQ(c->Value(), position == 100 ? 1.0f : 0.0f);
  else
    EXPECT_NEAR(c->Value(), position / 100.0f, 1e-3f);
  Undo();
  EXPECT_NEAR(static_cast<TRRController*>(M()->FindByID(cid))->Value(), value, 1e-3f);

  // Unlinking a mast removes its link and the links to it in one command.
  TRRCatenary* mast = static_cast<TRRCatenary*>(
      Find([](TRREntity& e) { return e.Is<TRRCatenary>() && static_cast<TRRCatenary&>(e).GetLinkedMast(); }));
  ASSERT_NE(mast, nullptr);
  const int32_t mid = mast->ID();
  const int32_t linked = mast->ConnectionID();
  Select({mast});
  auto* mp = dynamic_cast<TCatenaryMenu*>(Menu()->CurrentPage());
  ASSERT_NE(mp, nullptr);
  EXPECT_EQ(mp->LinkLabel()->text(), QString::fromStdString(mast->GetLinkedMast()->Name()));
  EXPECT_TRUE(mp->UnlinkButton()->isVisible());
  const int before = H()->Current();
  mp->UnlinkButton()->click();
  EXPECT_EQ(H()->Current(), before + 1);
  EXPECT_EQ(static_cast<TRRCatenary*>(M()->FindByID(mid))->ConnectionID(), 0);
  for (int i = 0; i < M()->EntitySlotCount(); ++i)
    if (auto* other = dynamic_cast<TRRCatenary*>(M()->EntitySlot(i))) {
      EXPECT_NE(other->ConnectionID(), mid);
    }
  EXPECT_FALSE(mp->UnlinkButton()->isVisible());
  Undo();
  EXPECT_EQ(static_cast<TRRCatenary*>(M()->FindByID(mid))->ConnectionID(), linked);
}

TEST_F(EntityPages, GroupPageCountsAndUngroups) {
  ASSERT_TRUE(Open());
  std::vector<TRREntity*> models;
  for (int i = 0; i < M()->EntitySlotCount() && models.size() < 2; ++i)
    if (TRREntity* e = M()->EntitySlot(i); e && e->GetClass().Name == std::string("TRRModel")) models.push_back(e);
  ASSERT_EQ(models.size(), 2u);
  Select(models);
  auto* multi = dynamic_cast<TMultiSelectionMenu*>(Menu()->CurrentPage());
  ASSERT_NE(multi, nullptr);
  EXPECT_EQ(multi->CountLabel()->text(), "2 Objekte ausgewählt");
  M()->GroupSelection();
  Pump(20);
  auto* page = dynamic_cast<TGroupMenu*>(Menu()->CurrentPage());
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->CountLabel()->text(), "2 Objekte");
  page->UngroupButton()->click();
  Pump(20);
  EXPECT_EQ(Menu()->CurrentPage()->Kind(), K::Multi);
}

// The track tool list offers what the selection allows, starts the tool on the manager's stack,
// ends it with the selection and starts the mode chosen last again.
TEST_F(EntityPages, TrackPageStartsAndEndsTheTrackTool) {
  ASSERT_TRUE(Open());
  TRRTrackModifier::SetLastMode(RRTrackToolNone);
  TRREntity* straight =
      Find([](TRREntity& e) { return e.Is<TRRTrack>() && static_cast<TRRTrack&>(e).Type() == TRRTrackType::Straight; });
  TRREntity* sw = Find([](TRREntity& e) { return e.Is<TRRTrack>() && static_cast<TRRTrack&>(e).IsSwitchable(); });
  ASSERT_TRUE(straight && sw);
  auto tools = [&] {
    int n = 0;
    for (int i = 0; i < M()->ModifierCount(); ++i) n += dynamic_cast<TRRTrackModifier*>(M()->Modifier(i)) != nullptr;
    return n;
  };
  Select({straight});
  auto* page = dynamic_cast<TTrackMenu*>(Menu()->CurrentPage());
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(page->ToolBox()->isEnabled());
  QStringList items;
  for (int i = 0; i < page->ToolBox()->count(); ++i) items << page->ToolBox()->itemText(i);
  EXPECT_EQ(items, QStringList({"Keine", "Biegen", "Anstellen"}));
  EXPECT_EQ(tools(), 0);
  emit page->ToolBox()->activated(1);
  ASSERT_NE(page->Tool(), nullptr);
  EXPECT_EQ(page->Tool()->Mode(), RRTrackToolBend);
  EXPECT_EQ(tools(), 1);
  // A switch alone has no tool; the list shows only "Keine".
  Select({sw});
  EXPECT_EQ(tools(), 0);
  EXPECT_FALSE(page->ToolBox()->isEnabled());
  EXPECT_EQ(page->ToolBox()->count(), 1);
  // Another page ends it too; the straight again gets the mode chosen last.
  Select({straight});
  EXPECT_EQ(tools(), 1);
  EXPECT_EQ(page->ToolBox()->currentText(), "Biegen");
  Select({FindKind<TRRCamera>()});
  EXPECT_EQ(tools(), 0);
  Select({straight});
  emit page->ToolBox()->activated(0);
  EXPECT_EQ(tools(), 0);
  EXPECT_EQ(TRRTrackModifier::LastMode(), RRTrackToolNone);
  // Closing the layout with the tool running leaves nothing behind.
  emit page->ToolBox()->activated(2);
  EXPECT_EQ(tools(), 1);
  P.Project().CloseProject();
  Pump(20);
  EXPECT_EQ(page->Tool(), nullptr);
  TRRTrackModifier::SetLastMode(RRTrackToolNone);
}

// A new name reaches the window's camera menu, and a locomotive's cab carries its name.
TEST_F(EntityPages, RenamingACameraOrALocomotiveRenamesWhatShowsIt) {
  ASSERT_TRUE(Open());
  TRRCamera* camera = static_cast<TRRCamera*>(
      Find([](TRREntity& e) { return e.Is<TRRCamera>() && !e.Is<TRRCockpit>(); }));
  ASSERT_NE(camera, nullptr);
  Select({camera});
  Type(Menu()->CurrentPage()->NameEdit(), "Blick vom Berg");
  Pump(20);
  bool listed = false;
  for (QAction* a : W->CameraMenu()->actions()) listed = listed || a->text().contains("Blick vom Berg");
  EXPECT_TRUE(listed);

  TRRTrackVehicle* loco = static_cast<TRRTrackVehicle*>(
      Find([](TRREntity& e) { return e.Is<TRRTrackVehicle>() && static_cast<TRRTrackVehicle&>(e).Cockpit(); }));
  ASSERT_NE(loco, nullptr);
  const int32_t id = loco->ID();
  const std::string name = loco->Name();
  Select({loco});
  Type(Menu()->CurrentPage()->NameEdit(), "Lok 2");
  EXPECT_EQ(static_cast<TRRTrackVehicle*>(M()->FindByID(id))->Cockpit()->Name(), "Lok 2");
  Undo();
  EXPECT_EQ(static_cast<TRRTrackVehicle*>(M()->FindByID(id))->Cockpit()->Name(), name);
}

// "Verbinden mit..." stacks the picking tool while it is down; letting it up or selecting
// something else ends the tool.
TEST_F(EntityPages, MastPagePicksThePartnerWhileTheButtonIsDown) {
  ASSERT_TRUE(Open());
  TRREntity* mast = FindKind<TRRCatenary>();
  ASSERT_NE(mast, nullptr);
  auto pickers = [&] {
    int n = 0;
    for (int i = 0; i < M()->ModifierCount(); ++i) n += dynamic_cast<TRRCatenaryModifier*>(M()->Modifier(i)) != nullptr;
    return n;
  };
  Select({mast});
  auto* page = dynamic_cast<TCatenaryMenu*>(Menu()->CurrentPage());
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->LinkWithButton()->text(), "Verbinden mit...");
  page->LinkWithButton()->click();
  EXPECT_TRUE(page->LinkWithButton()->isChecked());
  EXPECT_EQ(pickers(), 1);
  ASSERT_NE(page->Picker(), nullptr);
  EXPECT_EQ(page->Picker()->MastID(), mast->ID());
  page->LinkWithButton()->click();
  EXPECT_EQ(pickers(), 0);
  page->LinkWithButton()->click();
  Select({FindKind<TRRSignal>()});
  EXPECT_EQ(pickers(), 0);
  Select({mast});
  EXPECT_FALSE(page->LinkWithButton()->isChecked());
  Pump(10);
}

TEST_F(EntityPages, PrimitiveAndEngineShedPagesReadTheirNumbers) {
  ASSERT_TRUE(Open());
  // A box made for the test (the sample has no simple shapes).
  TRRPrimitiveDesc box;
  box.PrimitiveType = 0;
  box.Scale = {1, 1, 1};
  box.SetID(M()->NextID());
  M()->ReserveIDs(1);
  TRREntity* made = M()->CreateEntity(P.Project().ProjectNode(), box);
  ASSERT_NE(made, nullptr);
  const int32_t id = made->ID();
  auto Pr = [&] { return static_cast<TRRPrimitive*>(M()->FindByID(id)); };
  Select({made});
  auto* page = dynamic_cast<TPrimitiveMenu*>(Menu()->CurrentPage());
  ASSERT_NE(page, nullptr);
  Type(page->SizeEdit(0), "2,5");
  EXPECT_FLOAT_EQ(Pr()->PrimitiveScale().x, 2.5f);
  Type(page->SizeEdit(1), "0");
  EXPECT_FLOAT_EQ(Pr()->PrimitiveScale().y, 0.01f);
  Type(page->OpacityEdit(), "50 %");
  EXPECT_FLOAT_EQ(Pr()->Opacity(), 0.5f);
  Type(page->ReflectionEdit(), "150");
  EXPECT_FLOAT_EQ(Pr()->ReflectionStrength(), 1.0f);
  page->SetColour(QColor(255, 0, 0));
  EXPECT_FLOAT_EQ(Pr()->Color().x, 1.0f);
  EXPECT_FLOAT_EQ(Pr()->Color().y, 0.0f);
  for (int i = 0; i < 5; ++i) Undo();
  EXPECT_FLOAT_EQ(Pr()->PrimitiveScale().x, 1.0f);
  EXPECT_FLOAT_EQ(Pr()->PrimitiveScale().y, 1.0f);
  EXPECT_EQ(page->SizeEdit(0)->text(), "1");

  TRRVehicleBuilding* shed = FindKind<TRRVehicleBuilding>();
  ASSERT_NE(shed, nullptr);
  const int32_t sid = shed->ID();
  const float bend = shed->BendAngle();
  Select({shed});
  auto* sp = dynamic_cast<TVehicleBuildingMenu*>(Menu()->CurrentPage());
  ASSERT_NE(sp, nullptr);
  // Degrees, the default angle unit; beyond a quarter turn clamped.
  Type(sp->BendEdit(), "12,5");
  EXPECT_NEAR(static_cast<TRRVehicleBuilding*>(M()->FindByID(sid))->BendAngle(), 0.2181662f, 1e-5f);
  Type(sp->BendEdit(), "200");
  EXPECT_NEAR(static_cast<TRRVehicleBuilding*>(M()->FindByID(sid))->BendAngle(), 1.5707964f, 1e-5f);
  Undo();
  Undo();
  EXPECT_FLOAT_EQ(static_cast<TRRVehicleBuilding*>(M()->FindByID(sid))->BendAngle(), bend);
  EXPECT_EQ(sp->BendEdit()->text(), RRShowAngle(bend));
}

// "Verfolgen..." stacks the picking tool; Escape cancels it. "Lösen" lets go of the target as
// one command.
TEST_F(EntityPages, CameraPageFollowsAndLetsGoOfATarget) {
  ASSERT_TRUE(Open());
  TRRCamera* camera = static_cast<TRRCamera*>(Find([&](TRREntity& e) {
    return e.Is<TRRCamera>() && !e.Is<TRRCockpit>() && static_cast<TRRCamera&>(e).Type() == RRCameraFree;
  }));
  TRREntity* model = Find([](TRREntity& e) { return e.GetClass().Name == std::string("TRRModel"); });
  ASSERT_TRUE(camera && model);
  const int32_t id = camera->ID();
  Select({camera});
  auto* page = dynamic_cast<TCameraMenu*>(Menu()->CurrentPage());
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->FollowButton()->text(), "Verfolgen...");
  EXPECT_FALSE(page->UnfollowButton()->isVisible());
  page->FollowButton()->click();
  ASSERT_NE(page->Picker(), nullptr);
  bool stacked = false;
  for (int i = 0; i < M()->ModifierCount(); ++i) stacked = stacked || M()->Modifier(i) == page->Picker();
  EXPECT_TRUE(stacked);
  TRRInputRecord key;
  EXPECT_TRUE(page->Picker()->KeyEvent(nullptr, RRMsgKeyDown, key, RRVKEscape));
  EXPECT_EQ(page->Picker(), nullptr);
  EXPECT_FALSE(page->FollowButton()->isChecked());
  Pump(10);

  camera->SetLookAtTarget(model);
  Select({camera});
  EXPECT_EQ(page->FollowButton()->text(), QString::fromStdString(model->Name()));
  EXPECT_TRUE(page->UnfollowButton()->isVisible());
  const int before = H()->Current();
  page->UnfollowButton()->click();
  EXPECT_EQ(H()->Current(), before + 1);
  EXPECT_EQ(static_cast<TRRCamera*>(M()->FindByID(id))->LookAtTarget(), 0);
  EXPECT_EQ(page->FollowButton()->text(), "Verfolgen...");
  Undo();
  EXPECT_EQ(static_cast<TRRCamera*>(M()->FindByID(id))->LookAtTarget(), model->ID());
}

// A texture chosen for two tracks is one command with an entry per track.
TEST_F(EntityPages, TrackPageSetsTheTextureOfEveryTrackInOneCommand) {
  ASSERT_TRUE(Open());
  std::vector<TRREntity*> tracks;
  for (int i = 0; i < M()->EntitySlotCount() && tracks.size() < 2; ++i)
    if (TRREntity* e = M()->EntitySlot(i); e && e->Is<TRRTrack>()) tracks.push_back(e);
  ASSERT_EQ(tracks.size(), 2u);
  const int32_t a = tracks[0]->ID(), b = tracks[1]->ID();
  const std::string old = static_cast<TRRTrack*>(tracks[0])->Texture().EffectiveFileName();
  Select(tracks);
  auto* page = dynamic_cast<TTrackMenu*>(Menu()->CurrentPage());
  ASSERT_NE(page, nullptr);
  ASSERT_GE(page->TextureBox()->count(), 2);
  const int shown = page->TextureBox()->currentIndex();
  ASSERT_GE(shown, 0);
  const int other = shown == 0 ? 1 : 0;
  const int before = H()->Current();
  emit page->TextureBox()->activated(other);
  EXPECT_EQ(H()->Current(), before + 1);
  EXPECT_EQ(H()->Command(H()->Current())->ChildCount(), 2);
  for (int32_t id : {a, b})
    EXPECT_EQ(static_cast<TRRTrack*>(M()->FindByID(id))->Texture().FileName,
              page->TextureBox()->itemText(other).toStdString());
  EXPECT_EQ(page->TextureBox()->currentIndex(), other);
  Undo();
  EXPECT_EQ(static_cast<TRRTrack*>(M()->FindByID(a))->Texture().EffectiveFileName(), old);
  EXPECT_EQ(page->TextureBox()->currentIndex(), shown);
}

// "Weiteres Gleis anfügen" lays a copy onto the one free end, selects it, and undo removes it.
TEST_F(EntityPages, TrackPageAppendsACopyAtTheFreeEnd) {
  ASSERT_TRUE(Open());
  // The sample's track is closed: a straight loses the neighbour at its end.
  auto* straight = static_cast<TRRTrack*>(Find([](TRREntity& e) {
    auto* t = dynamic_cast<TRRTrack*>(&e);
    return t && t->Type() == TRRTrackType::Straight && t->GetRoute(0)->Contact(0)->IsConnected() &&
           t->GetRoute(0)->Contact(1)->IsConnected();
  }));
  ASSERT_NE(straight, nullptr);
  bool blocked = false;
  TRRTrackRouteContact* partner = straight->GetRoute(0)->Contact(1)->FindPartner(blocked);
  ASSERT_NE(partner, nullptr);
  TRREntity* neighbour = M()->FindByID(partner->Route()->Track()->ID());
  ASSERT_NE(neighbour, nullptr);
  Select({neighbour});
  M()->DeleteSelection();
  Pump(20);
  const int free = 1;
  TRRTrack* end = straight;
  ASSERT_FALSE(end->GetRoute(0)->Contact(1)->IsConnected());
  const int32_t id = end->ID();
  Select({end});
  auto* page = dynamic_cast<TTrackMenu*>(Menu()->CurrentPage());
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(page->AppendButton()->isVisible());
  const int before = H()->Current();
  page->AppendButton()->click();
  Pump(20);
  EXPECT_EQ(H()->Current(), before + 1);
  ASSERT_EQ(M()->Selection().Count(), 1);
  auto* made = dynamic_cast<TRRTrack*>(M()->Selection().First());
  ASSERT_NE(made, nullptr);
  EXPECT_NE(made->ID(), id);
  EXPECT_EQ(made->Type(), end->Type());
  // Both ends meet: the old free end is connected now, and so is the copy's other end.
  EXPECT_TRUE(static_cast<TRRTrack*>(M()->FindByID(id))->GetRoute(0)->Contact(free)->IsConnected());
  EXPECT_TRUE(made->GetRoute(0)->Contact(1 - free)->IsConnected());
  EXPECT_LT(gx::GXVec3Length(made->GetRoute(0)->Contact(1 - free)->GetWorldPosition() -
                             static_cast<TRRTrack*>(M()->FindByID(id))->GetRoute(0)->Contact(free)->GetWorldPosition()),
            0.01f);
  const int32_t madeID = made->ID();
  Undo();
  EXPECT_EQ(M()->FindByID(madeID), nullptr);
  ASSERT_EQ(M()->Selection().Count(), 1);
  EXPECT_EQ(M()->Selection().First()->ID(), id);
  // A switch has no such button.
  Select({Find([](TRREntity& e) { return e.Is<TRRTrack>() && static_cast<TRRTrack&>(e).IsSwitchable(); })});
  EXPECT_FALSE(page->AppendButton()->isVisible());
}

TEST_F(EntityPages, ANarrowWindowScrollsThePageInsteadOfSqueezingIt) {
  ASSERT_TRUE(Open());
  auto* scroll = Menu()->findChild<QScrollArea*>("EntityPageScroll");
  ASSERT_NE(scroll, nullptr);
  TRRCamera* camera = FindKind<TRRCamera>();
  struct TCase {
    int Width;
    TRREntity* Selected;
    bool Scrolls;
  };
  // The camera page is wider than 800 pixels; "Keine Auswahl" is not (the wide pages do not count).
  for (const TCase& c : {TCase{800, camera, true}, {800, nullptr, false}, {1400, camera, false}}) {
    W->resize(c.Width, 640);
    Select(c.Selected ? std::vector<TRREntity*>{c.Selected} : std::vector<TRREntity*>{});
    Pump(100);
    QWidget* page = Menu()->CurrentPage();
    SCOPED_TRACE(c.Width);
    EXPECT_GE(page->width(), page->minimumSizeHint().width());
    EXPECT_EQ(scroll->horizontalScrollBar()->maximum() > 0, c.Scrolls);
  }
}
