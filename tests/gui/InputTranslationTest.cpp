// The toolkit's key and mouse events as the core's input records.

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include "gui/RRQtInput.h"
#include "gui/RRQtUIService.h"

using namespace rr;

TEST(InputTranslation, VirtualKeys) {
  struct TCase {
    int Key;
    bool Keypad;
    int32_t Want;
  } cases[] = {{Qt::Key_A, false, 65},     {Qt::Key_Z, false, 90},       {Qt::Key_0, false, 48},
               {Qt::Key_7, true, 103},     {Qt::Key_Plus, true, 107},    {Qt::Key_Minus, true, 109},
               {Qt::Key_Asterisk, true, 106}, {Qt::Key_Slash, true, 111}, {Qt::Key_Period, true, 110},
               {Qt::Key_Enter, true, 13},  {Qt::Key_F1, false, 112},     {Qt::Key_F12, false, 123},
               {Qt::Key_Delete, false, 46}, {Qt::Key_Escape, false, 27}, {Qt::Key_Left, false, 37},
               {Qt::Key_PageDown, false, 34}, {Qt::Key_Control, false, 17}, {Qt::Key_Alt, false, 18},
               {Qt::Key_unknown, false, 0}};
  for (const TCase& c : cases) EXPECT_EQ(RRVirtualKey(c.Key, c.Keypad), c.Want) << c.Key;
}

TEST(InputTranslation, KeysGiveKeyDownsCharactersAndSystemKeysWithAlt) {
  QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "ä");
  auto r = RRTranslateKey(a);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].Message, RRMsgKeyDown);
  EXPECT_EQ(r[0].Key, 65);
  EXPECT_EQ(r[1].Message, RRMsgChar);
  EXPECT_EQ(r[1].Key, 0xE4);
  // Alt: system key messages and no character.
  QKeyEvent alt(QEvent::KeyPress, Qt::Key_X, Qt::AltModifier, "x");
  r = RRTranslateKey(alt);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].Message, RRMsgSysKeyDown);
  EXPECT_TRUE(r[0].AltDown);
  QKeyEvent altUp(QEvent::KeyRelease, Qt::Key_X, Qt::AltModifier);
  EXPECT_EQ(RRTranslateKey(altUp).at(0).Message, RRMsgSysKeyUp);
  // An auto-repeated key repeats its key down; the repeat's release half gives nothing.
  QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier, QString(), true);
  EXPECT_EQ(RRTranslateKey(repeat).at(0).Message, RRMsgKeyDown);
  QKeyEvent repeatUp(QEvent::KeyRelease, Qt::Key_Left, Qt::NoModifier, QString(), true);
  EXPECT_TRUE(RRTranslateKey(repeatUp).empty());
  // Several characters in one event: one character message each.
  QKeyEvent text(QEvent::KeyPress, 0, Qt::NoModifier, "ab");
  r = RRTranslateKey(text);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].Key, 'a');
  EXPECT_EQ(r[1].Key, 'b');
}

TEST(InputTranslation, MouseButtonsDoubleClicksWheelAndNegativePositions) {
  struct TCase {
    QEvent::Type Type;
    Qt::MouseButton Button;
    uint32_t Want;
  } cases[] = {{QEvent::MouseButtonPress, Qt::LeftButton, RRMsgLButtonDown},
               {QEvent::MouseButtonRelease, Qt::LeftButton, RRMsgLButtonUp},
               {QEvent::MouseButtonDblClick, Qt::LeftButton, RRMsgLButtonDblClk},
               {QEvent::MouseButtonPress, Qt::RightButton, RRMsgRButtonDown},
               {QEvent::MouseButtonDblClick, Qt::RightButton, RRMsgRButtonDblClk},
               {QEvent::MouseButtonRelease, Qt::MiddleButton, RRMsgMButtonUp},
               {QEvent::MouseButtonDblClick, Qt::MiddleButton, RRMsgMButtonDblClk},
               {QEvent::MouseButtonPress, Qt::BackButton, 0}};
  for (const TCase& c : cases) {
    QMouseEvent e(c.Type, QPointF(-3.5, 7), QPointF(-3.5, 7), c.Button, c.Button, Qt::ShiftModifier);
    auto r = RRTranslateMouse(e);
    if (c.Want == 0) {
      EXPECT_TRUE(r.empty());
      continue;
    }
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].Message, c.Want);
    EXPECT_EQ(r[0].X, -4);  // outside the view while it holds the mouse
    EXPECT_EQ(r[0].Y, 7);
    EXPECT_TRUE(r[0].Buttons & RRMKShift);
  }
  QMouseEvent move(QEvent::MouseMove, QPointF(10, 20), QPointF(10, 20), Qt::NoButton,
                   Qt::LeftButton | Qt::RightButton, Qt::ControlModifier);
  auto m = RRTranslateMouse(move);
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].Message, RRMsgMouseMove);
  EXPECT_EQ(m[0].Buttons, RRMKLButton | RRMKRButton | RRMKControl);
  QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, -240), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  auto w = RRTranslateWheel(wheel);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0].Message, RRMsgMouseWheel);
  EXPECT_EQ(w[0].WheelDelta, -240);
}

TEST(QtUIService, FiltersAndDefaultExtensions) {
  EXPECT_EQ(RRQtFilterText({{"Projektdateien (*.vmp)", "*.vmp"}, {"Alle Dateien (*.*)", "*.*"}}),
            "Projektdateien (*.vmp *.VMP);;Alle Dateien (*)");
  EXPECT_EQ(RRWithDefaultExtension("/tmp/Anlage", "vmp"), "/tmp/Anlage.vmp");
  EXPECT_EQ(RRWithDefaultExtension("/tmp/Anlage.vmp", "vmp"), "/tmp/Anlage.vmp");
  EXPECT_EQ(RRWithDefaultExtension("/tmp/Anlage.alt", "vmp"), "/tmp/Anlage.alt");
}
