// The track editor window on the sample: a straight track turned into a curve through the window
// (its preview drawn), replaced under its ID as one undo step; typed values that make no track
// keep OK off with the reason shown, and an overlong one is held at the limit.

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "app/RREntityManager.h"
#include "app/RRProject.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackEditing.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/core/GXConfiguration.h"
#include "gui/tools/TrackEditor.h"
#include "tests/gui/GuiTestSupport.h"

using namespace rr;
using guitest::Pump;
using A = TRRShellAction;

namespace {

struct TrackEditorWindow : ::testing::Test {
  guitest::TProgram P;
  TMainWindow* W = nullptr;
  TRRTrack* Straight = nullptr;

  void SetUp() override {
    W = &P.MakeSmallWindow();
    ASSERT_TRUE(W->OpenProjectFile(QString::fromStdString(P.Sample())));
    Pump(100);
    TRREntityManager& m = *P.Project().Manager();
    for (int i = 0; i < m.EntitySlotCount() && !Straight; ++i)
      if (auto* t = dynamic_cast<TRRTrack*>(m.EntitySlot(i)); t && t->Type() == TRRTrackType::Straight) Straight = t;
    ASSERT_NE(Straight, nullptr);
    m.Selection().Clear();
    m.Selection().Add(Straight);
    Pump(50);
  }
  // Opens the editor through its action, lets fill work on it, then presses OK or cancels.
  void Edit(const std::function<void(TTrackEditor&)>& fill, bool ok) {
    bool seen = false;
    QTimer::singleShot(200, W, [&] {
      TTrackEditor* e = W->OpenTrackEditor();
      ASSERT_NE(e, nullptr);
      seen = true;
      fill(*e);
      ok ? e->OkButton()->click() : e->reject();
    });
    ASSERT_TRUE(W->Action(A::EditTrack)->isEnabled());
    W->Action(A::EditTrack)->trigger();
    EXPECT_TRUE(seen);
  }
};

}  // namespace

TEST_F(TrackEditorWindow, AStraightBecomesACurveInOneUndoStep) {
  const int32_t id = Straight->ID();
  Edit(
      [&](TTrackEditor& e) {
        e.TypeBox()->setCurrentIndex(int(TRRTrackType::Curve));
        ASSERT_NE(e.Cell(0, ColRadius), nullptr);
        EXPECT_EQ(e.Cell(0, ColLength2), nullptr);
        e.Cell(0, ColRadius)->setText("360");
        e.Cell(0, ColAngle)->setText("30");
        e.NameEdit()->setText("Mein Bogen");
        ASSERT_NE(e.Description(), nullptr);
        EXPECT_EQ(e.Description()->Type(), TRRTrackType::Curve);
        for (int i = 0; i < 12; ++i) e.StepPreview();
        const QImage preview = e.PreviewImage();
        if (!preview.isNull()) {
          int differing = 0;
          for (int y = 0; y < preview.height(); y += 2)
            for (int x = 0; x < preview.width(); x += 2) differing += preview.pixel(x, y) != preview.pixel(0, 0);
          EXPECT_GT(differing, 100);
        }
        Pump(50);
        e.grab().save(QString(VELMORA_TEST_OUTPUT_DIR) + "/desktop-track-editor.png");
      },
      true);
  auto* made = dynamic_cast<TRRTrack*>(P.Project().Manager()->FindByID(id));
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->Type(), TRRTrackType::Curve);
  EXPECT_EQ(made->Name(), "Mein Bogen");
  W->Action(A::Undo)->trigger();
  made = dynamic_cast<TRRTrack*>(P.Project().Manager()->FindByID(id));
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->Type(), TRRTrackType::Straight);
}

TEST_F(TrackEditorWindow, ValuesThatMakeNoTrackKeepOkOffAndCancelChangesNothing) {
  const int32_t id = Straight->ID();
  const float before = Straight->GetRoute(0)->GetLength();
  Edit(
      [&](TTrackEditor& e) {
        for (const char* text : {"abc", "inf", "1e999", "-5", "0", ""}) {
          e.Cell(0, ColLength1)->setText(text);
          EXPECT_FALSE(e.OkButton()->isEnabled()) << text;
          EXPECT_FALSE(e.Problem()->text().isEmpty()) << text;
        }
        e.Cell(0, ColLength1)->setText("99999");
        ASSERT_TRUE(e.OkButton()->isEnabled());
        EXPECT_FLOAT_EQ(e.Description()->Routes()[0]->L1, 200);
      },
      false);
  auto* same = dynamic_cast<TRRTrack*>(P.Project().Manager()->FindByID(id));
  ASSERT_EQ(same, Straight);
  EXPECT_FLOAT_EQ(same->GetRoute(0)->GetLength(), before);
}

TEST_F(TrackEditorWindow, TheTrackPageOpensTheEditor) {
  Pump(300);
  auto* change = W->findChild<QPushButton*>("EditTrackButton");
  ASSERT_NE(change, nullptr);
  ASSERT_TRUE(change->isEnabled());
  bool seen = false;
  QTimer::singleShot(200, W, [&] {
    seen = W->OpenTrackEditor() != nullptr;
    if (seen) W->OpenTrackEditor()->reject();
  });
  change->click();
  EXPECT_TRUE(seen);
}
