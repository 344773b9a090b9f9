// The window "Ereignisverwaltung" on the sample layout and its two edit windows: new groups and
// events, a condition and an action changed through their fields, duplicating, deleting after
// the question, moving into groups, searching; OK hands the changed tree to the layout, Cancel
// and an unchanged OK leave it alone; animations stand still while the window is open.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

#include "app/RREntityManager.h"
#include "app/RREventActions.h"
#include "app/RREventConditions.h"
#include "app/RREvents.h"
#include "app/RRProject.h"
#include "app/entities/track/RRTrack.h"
#include "engine/core/GXConfiguration.h"
#include "engine/core/GXStream.h"
#include "gui/events/EntityPickerWindow.h"
#include "gui/events/EventGroupWindow.h"
#include "gui/events/EventManagerWindow.h"
#include "gui/events/EventWindow.h"
#include "tests/gui/GuiTestSupport.h"

using namespace rr;
using guitest::Pump;
using A = TRRShellAction;
using W = TEventManagerWindow;

namespace {

TRREvent* Named(const TRREventManager& m, const std::string& name) {
  TRREvent* found = nullptr;
  m.ForEachEvent([&](TRREvent& e) {
    if (!found && e.Name() == name) found = &e;
  });
  return found;
}

std::vector<uint8_t> Bytes(const TRREventManager& m) {
  gx::TGXMemoryStream s;
  m.SaveToStream(s);
  return s.Data();
}

// Runs fn on the modal window that opens next (within the time given), after start opened it.
template <class T>
void OnModal(const std::function<void()>& start, const std::function<void(T&)>& fn, int delay = 150) {
  bool seen = false;
  QTimer::singleShot(delay, [&] {
    auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
    ASSERT_NE(window, nullptr) << "no " << T::staticMetaObject.className();
    seen = true;
    fn(*window);
  });
  start();
  EXPECT_TRUE(seen);
}

struct EventWindows : ::testing::Test {
  guitest::TProgram P;
  TMainWindow* Main = nullptr;

  void SetUp() override {
    Main = &P.MakeSmallWindow();
    ASSERT_TRUE(Main->OpenProjectFile(QString::fromStdString(P.Sample())));
    Pump(100);
    ASSERT_NE(Named(Events(), "Einfahrt Bahnhof"), nullptr);
    ASSERT_NE(Named(Events(), "Abfahrt"), nullptr);
  }
  TRREventManager& Events() { return *P.Project().EventManager(); }

  // Opens "Ereignisverwaltung" through its action, works in it, then OK or Cancel.
  void Manage(const std::function<void(W&)>& work, bool ok) {
    ASSERT_TRUE(Main->Action(A::ShowEventManager)->isEnabled());
    OnModal<W>([&] { Main->Action(A::ShowEventManager)->trigger(); },
               [&](W& w) {
                 EXPECT_EQ(Main->OpenEventManager(), &w);
                 work(w);
                 ok ? w.OkButton()->click() : w.reject();
               });
    EXPECT_EQ(Main->OpenEventManager(), nullptr);
  }
  // Chooses the item of an event or group alone.
  static void Choose(W& w, int32_t id) {
    w.Tree()->clearSelection();
    w.Tree()->setCurrentItem(w.ItemOf(id));
  }
  static int32_t CurrentID(W& w) {
    return w.Tree()->currentItem() ? w.Tree()->currentItem()->data(0, Qt::UserRole).toInt() : 0;
  }
  // Edits the chosen event in its window.
  static void EditEvent(W& w, const std::function<void(TEventWindow&)>& fn) {
    OnModal<TEventWindow>([&] { w.Command(W::EditEvent)->trigger(); }, fn);
  }
};

}  // namespace

TEST_F(EventWindows, EditsOnTheCopyAndOkHandsTheChangedTreeToTheLayout) {
  const int32_t arrival = Named(Events(), "Einfahrt Bahnhof")->ID();
  const int32_t departure = Named(Events(), "Abfahrt")->ID();
  const auto* switchTrack = [&]() -> TRRTrack* {
    TRREntityManager& m = *P.Project().Manager();
    for (int i = 0; i < m.EntitySlotCount(); ++i)
      if (auto* t = dynamic_cast<TRRTrack*>(m.EntitySlot(i)); t && t->IsSwitchable()) return t;
    return nullptr;
  }();
  ASSERT_NE(switchTrack, nullptr);
  int32_t group = 0, fresh = 0, copy = 0;
  Manage(
      [&](W& w) {
        // The tree: the top group with the two events.
        QTreeWidgetItem* root = w.Tree()->topLevelItem(0);
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(root->text(0), "Ereignisse");
        EXPECT_EQ(root->childCount(), 2);
        // A new group in the top group, then a new event in the new group; each name is edited.
        w.Command(W::NewGroup)->trigger();
        group = CurrentID(w);
        ASSERT_NE(w.Copy().FindGroup(group), nullptr);
        EXPECT_EQ(w.Copy().FindGroup(group)->Parent(), &w.Copy().Root());
        root = w.Tree()->topLevelItem(0);  // the tree is made anew
        EXPECT_EQ(root->child(0)->text(0), "Ereignisgruppe") << "groups come before events";
        auto* inPlace = w.Tree()->findChild<QLineEdit*>();
        ASSERT_NE(inPlace, nullptr) << "the new name is edited in place";
        EXPECT_EQ(inPlace->text(), "Ereignisgruppe");
        w.Command(W::NewEvent)->trigger();
        fresh = CurrentID(w);
        ASSERT_NE(w.Copy().FindEvent(fresh), nullptr);
        EXPECT_EQ(w.Copy().FindEvent(fresh)->Parent(), w.Copy().FindGroup(group));
        // Renaming in the tree; an empty name keeps the old one.
        w.ItemOf(fresh)->setText(0, "  Blockstelle ");
        EXPECT_EQ(w.Copy().FindEvent(fresh)->Name(), "Blockstelle");
        w.ItemOf(fresh)->setText(0, "   ");
        EXPECT_EQ(w.Copy().FindEvent(fresh)->Name(), "Blockstelle");
        EXPECT_EQ(w.ItemOf(fresh)->text(0), "Blockstelle");

        // The arrival waits for the turnout now; the speed of its third action changes.
        Choose(w, arrival);
        EditEvent(w, [&](TEventWindow& e) {
          e.ConditionBox()->setCurrentText("Weiche schaltet");
          ASSERT_STREQ(e.Work().Condition()->ClassName(), "TRRSwitchCondition");
          auto* turnout = qobject_cast<QPushButton*>(e.PropertyEditor(false, "Weiche"));
          ASSERT_NE(turnout, nullptr);
          EXPECT_EQ(turnout->text(), "[Leer]");
          EXPECT_EQ(e.PropertyEditor(false, "Position"), nullptr) << "no routes without a track";
          OnModal<TEntityPickerWindow>([&] { turnout->click(); },
                                       [&](TEntityPickerWindow& picker) {
                                         EXPECT_EQ(picker.windowTitle(), "Selektieren");
                                         EXPECT_EQ(picker.List()->item(0)->text(), "[Leer]");
                                         for (int i = 0; i < picker.List()->count(); ++i)
                                           if (picker.List()->item(i)->data(Qt::UserRole).toInt() == switchTrack->ID())
                                             picker.List()->setCurrentRow(i);
                                         picker.accept();
                                       });
          Pump(20);
          auto* position = qobject_cast<QComboBox*>(e.PropertyEditor(false, "Position"));
          ASSERT_NE(position, nullptr);
          EXPECT_EQ(position->count(), 1 + switchTrack->GetRouteCount());
          EXPECT_EQ(position->itemText(0), "Jede Position");
          position->setCurrentIndex(2);
          auto* c = dynamic_cast<TRRSwitchCondition*>(e.Work().Condition());
          EXPECT_EQ(c->TrackID(), switchTrack->ID());
          EXPECT_EQ(c->Route(), 1);

          ASSERT_EQ(e.ActionList()->count(), 4);
          e.ActionList()->setCurrentRow(2);
          EXPECT_EQ(e.ActionList()->currentItem()->text(), "Lokgeschwindigkeit setzen");
          auto* speed = qobject_cast<QLineEdit*>(e.PropertyEditor(true, "Geschwindigkeit"));
          ASSERT_NE(speed, nullptr);
          speed->setText("12,5");
          EXPECT_FLOAT_EQ(dynamic_cast<TRRSetVehicleSpeedAction*>(e.Work().Action(2))->Speed(),
                          float(12.5 / P.Global().LengthUnitFactor()));
          speed->setText("schnell");  // not a number: the field keeps its value
          speed->setText("900");      // held at the limit
          EXPECT_FLOAT_EQ(dynamic_cast<TRRSetVehicleSpeedAction*>(e.Work().Action(2))->Speed(),
                          float(75 / P.Global().LengthUnitFactor()));
          // A new action at the end, moved up once, then deleted.
          e.AddMenu()->actions().at(7)->trigger();
          ASSERT_EQ(e.ActionList()->count(), 5);
          EXPECT_EQ(e.ActionList()->currentRow(), 4);
          e.UpButton()->click();
          EXPECT_STREQ(e.Work().Action(3)->ClassName(), "TRRStopAnimationAction");
          EXPECT_EQ(e.ActionList()->currentRow(), 3);
          e.DeleteButton()->click();
          EXPECT_EQ(e.Work().ActionCount(), 4);
          e.OkButton()->click();
        });
        EXPECT_STREQ(w.Copy().FindEvent(arrival)->Condition()->ClassName(), "TRRSwitchCondition");
        EXPECT_STREQ(Named(Events(), "Einfahrt Bahnhof")->Condition()->ClassName(), "TRRTrackEnterCondition")
            << "the layout's events wait for OK";

        // Duplicating puts a copy with a fresh ID right after the original.
        Choose(w, departure);
        w.Command(W::Duplicate)->trigger();
        copy = CurrentID(w);
        ASSERT_NE(copy, departure);
        TRREvent* twin = w.Copy().FindEvent(copy);
        ASSERT_NE(twin, nullptr);
        EXPECT_EQ(twin->Name(), "Abfahrt");
        EXPECT_EQ(twin->Index(), w.Copy().FindEvent(departure)->Index() + 1);

        // Deleting asks; No keeps it, Yes deletes it.
        P.Ui.Answers = {"&Nein"};
        w.Command(W::Delete)->trigger();
        EXPECT_NE(w.Copy().FindEvent(copy), nullptr);
        P.Ui.Answers = {"&Ja"};
        w.Command(W::Delete)->trigger();
        EXPECT_EQ(w.Copy().FindEvent(copy), nullptr);
        ASSERT_EQ(P.Ui.Boxes.size(), 2u);
        EXPECT_EQ(P.Ui.Boxes[0].Text, RRTextAskDeleteEvent);
        EXPECT_EQ(P.Ui.Boxes[1].Clicked, "&Ja");
      },
      true);
  EXPECT_TRUE(P.Project().IsModified());
  ASSERT_NE(Events().FindGroup(group), nullptr);
  ASSERT_NE(Events().FindEvent(fresh), nullptr);
  EXPECT_EQ(Events().FindEvent(fresh)->Name(), "Blockstelle");
  EXPECT_EQ(Events().FindEvent(copy), nullptr);
  auto* c = dynamic_cast<TRRSwitchCondition*>(Events().FindEvent(arrival)->Condition());
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->TrackID(), switchTrack->ID());
  EXPECT_EQ(c->Route(), 1);
  EXPECT_FLOAT_EQ(dynamic_cast<TRRSetVehicleSpeedAction*>(Events().FindEvent(arrival)->Action(2))->Speed(),
                  float(75 / P.Global().LengthUnitFactor()));
}

// OK with a change replaces the layout's events and marks it modified; Cancel, and OK without a
// change, leave it as it was. Either way the animations setting comes back.
TEST_F(EventWindows, OnlyAChangeConfirmedWithOkReachesTheLayoutAndAnimationsComeBack) {
  struct TCase {
    bool Animations, Change, Ok;
  } cases[] = {{true, true, true}, {true, true, false}, {false, true, true}, {true, false, true}, {false, false, false}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "animations " << c.Animations << " change " << c.Change << " ok " << c.Ok);
    P.Project().SetModifiedFlag(false);
    P.Global().SetAnimations(c.Animations);
    Main->RefreshState();
    const std::vector<uint8_t> before = Bytes(Events());
    Manage(
        [&](W& w) {
          EXPECT_FALSE(P.Global().Animations());
          if (c.Change) w.Command(W::NewGroup)->trigger();
        },
        c.Ok);
    EXPECT_EQ(P.Global().Animations(), c.Animations);
    EXPECT_EQ(Main->Action(A::Animations)->isChecked(), c.Animations);
    EXPECT_EQ(P.Project().IsModified(), c.Change && c.Ok);
    EXPECT_EQ(Bytes(Events()) != before, c.Change && c.Ok);
  }
}

TEST_F(EventWindows, DeletingAsksTheQuestionThatFitsTheChoice) {
  struct TCase {
    const char* Text;
    std::vector<std::string> Chosen;  // event names, or "+" for a new group
  } cases[] = {{RRTextAskDeleteEvent, {"Abfahrt"}},
               {RRTextAskDeleteGroup, {"+"}},
               {RRTextAskDeleteSeveral, {"Abfahrt", "Einfahrt Bahnhof"}}};
  Manage(
      [&](W& w) {
        for (const TCase& c : cases) {
          SCOPED_TRACE(c.Text);
          P.Ui.Boxes.clear();
          w.Tree()->clearSelection();
          for (const std::string& name : c.Chosen) {
            if (name == "+") {
              Choose(w, w.Copy().Root().ID());
              w.Command(W::NewGroup)->trigger();
              w.Tree()->currentItem()->setSelected(true);
            } else {
              w.ItemOf(Named(w.Copy(), name)->ID())->setSelected(true);
            }
          }
          const std::vector<uint8_t> before = Bytes(w.Copy());
          w.Command(W::Delete)->trigger();  // no answer: the default button, No
          ASSERT_EQ(P.Ui.Boxes.size(), 1u);
          EXPECT_EQ(P.Ui.Boxes[0].Text, c.Text);
          EXPECT_EQ(P.Ui.Boxes[0].Clicked, "&Nein");
          EXPECT_EQ(Bytes(w.Copy()), before);
        }
        // The top group is never deleted, even among the chosen.
        w.Tree()->selectAll();
        P.Ui.Answers = {"&Ja"};
        P.Ui.Boxes.clear();
        w.Command(W::Delete)->trigger();
        ASSERT_EQ(P.Ui.Boxes.size(), 1u);
        EXPECT_EQ(P.Ui.Boxes[0].Text, RRTextAskDeleteSeveral);
        EXPECT_EQ(w.Copy().Root().EventCount() + w.Copy().Root().GroupCount(), 0);
        EXPECT_EQ(w.Tree()->topLevelItemCount(), 1);
      },
      false);
}

TEST_F(EventWindows, AnEmptyNameIsRefusedWithAMessageAndTheWindowStays) {
  for (bool group : {true, false}) {
    SCOPED_TRACE(group ? "group" : "event");
    Manage(
        [&](W& w) {
          const int32_t id = group ? w.Copy().Root().ID() : Named(w.Copy(), "Abfahrt")->ID();
          Choose(w, id);
          P.Ui.Boxes.clear();
          auto fill = [&](QDialog& d, QLineEdit* name, QPushButton* ok) {
            name->setText("   ");
            ok->click();
            ASSERT_EQ(P.Ui.Boxes.size(), 1u);
            EXPECT_EQ(P.Ui.Boxes[0].Text, "Bitte geben Sie einen gültigen Namen ein.");
            EXPECT_EQ(P.Ui.Boxes[0].Caption, "Eingabefehler");
            EXPECT_TRUE(d.isVisible());
            name->setText(" Neu ");
            ok->click();
            EXPECT_FALSE(d.isVisible());
          };
          if (group)
            OnModal<TEventGroupWindow>([&] { w.Command(W::EditGroup)->trigger(); },
                                       [&](TEventGroupWindow& d) {
                                         d.EnabledBox()->setChecked(false);
                                         fill(d, d.NameEdit(), d.OkButton());
                                       });
          else
            EditEvent(w, [&](TEventWindow& d) { fill(d, d.NameEdit(), d.OkButton()); });
          const std::string name = group ? w.Copy().Root().Name() : w.Copy().FindEvent(id)->Name();
          EXPECT_EQ(name, "Neu");
          if (group) {
            EXPECT_FALSE(w.Copy().Root().Enabled());
            EXPECT_TRUE(w.ItemOf(id)->font(0).italic()) << "inactive items are italic";
          }
        },
        false);
  }
}

TEST_F(EventWindows, SearchChoosesTheFirstMatchAndDropsMoveIntoGroups) {
  Manage(
      [&](W& w) {
        const int32_t arrival = Named(w.Copy(), "Einfahrt Bahnhof")->ID();
        const int32_t departure = Named(w.Copy(), "Abfahrt")->ID();
        EXPECT_EQ(w.SearchEdit()->placeholderText(), "Suchbegriff");
        struct TCase {
          const char* Text;
          int32_t Expected;
        } cases[] = {{"  ABFAHRT ", departure}, {"bahn", arrival}, {"ereig", w.Copy().Root().ID()},
                     {"gibt es nicht", w.Copy().Root().ID()}, {"   ", w.Copy().Root().ID()}};
        for (const TCase& c : cases) {
          Choose(w, w.Copy().Root().ID());
          w.SearchEdit()->setText(c.Text);
          EXPECT_EQ(CurrentID(w), c.Expected) << c.Text;
        }
        // Both events into a new group; the group cannot go into itself.
        Choose(w, w.Copy().Root().ID());
        w.Command(W::NewGroup)->trigger();
        TRREventGroup* group = w.Copy().FindGroup(CurrentID(w));
        ASSERT_NE(group, nullptr);
        // Dropped on the group in the tree, after the drag returned.
        w.Tree()->clearSelection();
        w.ItemOf(arrival)->setSelected(true);
        w.DropOn(w.ItemOf(group->ID()));
        Pump(20);
        EXPECT_EQ(w.Copy().FindEvent(arrival)->Parent(), group);
        w.MoveInto({w.ItemOf(arrival), w.ItemOf(departure)}, group);
        EXPECT_EQ(group->EventCount(), 2);
        EXPECT_EQ(w.Copy().Root().EventCount(), 0);
        w.MoveInto({w.ItemOf(group->ID())}, group);
        EXPECT_EQ(group->Parent(), &w.Copy().Root());
        EXPECT_EQ(w.ItemOf(arrival)->parent(), w.ItemOf(group->ID()));
        // A duplicated group refers to its own copies.
        Choose(w, group->ID());
        w.Command(W::Duplicate)->trigger();
        TRREventGroup* twin = w.Copy().FindGroup(CurrentID(w));
        ASSERT_NE(twin, nullptr);
        ASSERT_NE(twin, group);
        EXPECT_EQ(twin->Index(), group->Index() + 1);
        EXPECT_NE(twin->Event(0)->ID(), group->Event(0)->ID());
      },
      false);
}

TEST(EventProperties, ListsShowTheHeldOptionAndNumbersAreReadWithinTheirRange) {
  TEventProperty routes;
  routes.Options = {{"Jede Position", -1}, {"0", 0}, {"1", 1}};
  TEventProperty events;
  events.Options = {{"Ereignisse", 11}, {"  Abfahrt", 12}};
  struct TChoice {
    const TEventProperty* List;
    int32_t Value;
    int Index;
  } choices[] = {{&routes, -1, 0}, {&routes, 1, 2}, {&routes, 7, 2}, {&routes, -9, 0},
                 {&events, 12, 1}, {&events, 0, -1}, {&events, 99, -1}};
  for (const TChoice& c : choices) EXPECT_EQ(RRChoiceIndex(*c.List, c.Value), c.Index) << c.Value;

  TEventProperty speed;
  speed.Min = -75;
  speed.Max = 75;
  speed.Factor = 10;  // millimetres
  struct TNumber {
    const char* Text;
    bool Read;
    double Stored;
  } numbers[] = {{"12,5", true, 1.25}, {" -30.5 ", true, -3.05}, {"1e9", true, 7.5}, {"-1e999", false, 0},
                 {"nan", false, 0},    {"inf", false, 0},        {"", false, 0},     {"12 mm", false, 0}};
  for (const TNumber& n : numbers) {
    double stored = 0;
    EXPECT_EQ(RRParsePropertyNumber(speed, n.Text, stored), n.Read) << n.Text;
    if (n.Read) EXPECT_DOUBLE_EQ(stored, n.Stored) << n.Text;
  }
}

// Pictures of the two windows for the documents, and both side by side at most 640 pixels wide.
TEST_F(EventWindows, Pictures) {
  QPixmap manager, event;
  Manage(
      [&](W& w) {
        Choose(w, Named(w.Copy(), "Einfahrt Bahnhof")->ID());
        Pump(50);
        manager = w.grab();
        EditEvent(w, [&](TEventWindow& e) {
          e.ActionList()->setCurrentRow(2);
          Pump(50);
          event = e.grab();
          e.reject();
        });
      },
      false);
  ASSERT_FALSE(manager.isNull());
  ASSERT_FALSE(event.isNull());
  const QString dir(VELMORA_TEST_OUTPUT_DIR);
  manager.save(dir + "/desktop-event-manager.png");
  event.save(dir + "/desktop-event-window.png");
  QImage both(manager.width() + event.width(), std::max(manager.height(), event.height()), QImage::Format_RGB32);
  both.fill(QColor(239, 239, 239));
  QPainter painter(&both);
  painter.drawPixmap(0, 0, manager);
  painter.drawPixmap(manager.width(), 0, event);
  painter.end();
  both.scaledToWidth(640, Qt::SmoothTransformation).save(dir + "/fenster-ereignisse.png");
}
