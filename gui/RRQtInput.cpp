#include "gui/RRQtInput.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <cmath>

namespace rr {

int32_t RRVirtualKey(int qtKey, bool keypad) {
  if (keypad) {
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return 96 + (qtKey - Qt::Key_0);
    switch (qtKey) {
      case Qt::Key_Asterisk:
        return 106;
      case Qt::Key_Plus:
        return 107;
      case Qt::Key_Comma:
        return 108;
      case Qt::Key_Minus:
        return 109;
      case Qt::Key_Period:
        return 110;
      case Qt::Key_Slash:
        return 111;
      case Qt::Key_Enter:
        return RRVKReturn;
      default:
        break;
    }
  }
  if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return 65 + (qtKey - Qt::Key_A);
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return 48 + (qtKey - Qt::Key_0);
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12) return 112 + (qtKey - Qt::Key_F1);
  switch (qtKey) {
    case Qt::Key_Backspace:
      return RRVKBack;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return RRVKReturn;
    case Qt::Key_Shift:
      return RRVKShift;
    case Qt::Key_Control:
      return RRVKControl;
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
      return RRVKMenu;
    case Qt::Key_Pause:
      return 19;
    case Qt::Key_CapsLock:
      return 20;
    case Qt::Key_Escape:
      return RRVKEscape;
    case Qt::Key_Space:
      return RRVKSpace;
    case Qt::Key_PageUp:
      return 33;
    case Qt::Key_PageDown:
      return 34;
    case Qt::Key_End:
      return 35;
    case Qt::Key_Home:
      return 36;
    case Qt::Key_Left:
      return RRVKLeft;
    case Qt::Key_Up:
      return RRVKUp;
    case Qt::Key_Right:
      return RRVKRight;
    case Qt::Key_Down:
      return RRVKDown;
    case Qt::Key_Insert:
      return 45;
    case Qt::Key_Delete:
      return RRVKDelete;
    case Qt::Key_Plus:
      return 187;  // the main keyboard's plus key
    case Qt::Key_Minus:
      return 189;
    case Qt::Key_Comma:
      return 188;
    case Qt::Key_Period:
      return 190;
    default:
      return 0;
  }
}

std::vector<TRRInputRecord> RRTranslateKey(const QKeyEvent& event) {
  std::vector<TRRInputRecord> out;
  const bool alt = event.modifiers() & Qt::AltModifier;
  const int32_t vk = RRVirtualKey(event.key(), event.modifiers() & Qt::KeypadModifier);
  if (event.type() == QEvent::KeyRelease) {
    if (event.isAutoRepeat() || vk == 0) return out;
    TRRInputRecord r;
    r.Message = alt ? RRMsgSysKeyUp : RRMsgKeyUp;
    r.Key = vk;
    r.AltDown = alt;
    out.push_back(r);
    return out;
  }
  if (event.type() != QEvent::KeyPress) return out;
  if (vk != 0) {
    TRRInputRecord r;
    r.Message = alt ? RRMsgSysKeyDown : RRMsgKeyDown;
    r.Key = vk;
    r.AltDown = alt;
    out.push_back(r);
  }
  // Characters as typed (control characters other than Backspace, Tab and Return are not text).
  if (!(event.modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
    for (char32_t c : event.text().toUcs4()) {
      if (c < 32 && c != 8 && c != 9 && c != 13) continue;
      if (c == 127) continue;
      TRRInputRecord r;
      r.Message = RRMsgChar;
      r.Key = static_cast<int32_t>(c);
      out.push_back(r);
    }
  return out;
}

uint32_t RRMouseFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
  uint32_t flags = 0;
  if (buttons & Qt::LeftButton) flags |= RRMKLButton;
  if (buttons & Qt::RightButton) flags |= RRMKRButton;
  if (buttons & Qt::MiddleButton) flags |= RRMKMButton;
  if (modifiers & Qt::ShiftModifier) flags |= RRMKShift;
  if (modifiers & Qt::ControlModifier) flags |= RRMKControl;
  return flags;
}

namespace {

// Message of a button: down, up, double click for left, right and middle; 0 for others.
uint32_t ButtonMessage(Qt::MouseButton button, int phase) {
  uint32_t base = 0;
  switch (button) {
    case Qt::LeftButton:
      base = RRMsgLButtonDown;
      break;
    case Qt::RightButton:
      base = RRMsgRButtonDown;
      break;
    case Qt::MiddleButton:
      base = RRMsgMButtonDown;
      break;
    default:
      return 0;
  }
  return base + static_cast<uint32_t>(phase);
}

TRRInputRecord MouseRecord(uint32_t message, const QPointF& at, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) {
  TRRInputRecord r;
  r.Message = message;
  r.Buttons = RRMouseFlags(buttons, mods);
  r.X = static_cast<int32_t>(std::floor(at.x()));
  r.Y = static_cast<int32_t>(std::floor(at.y()));
  r.AltDown = mods & Qt::AltModifier;
  return r;
}

}  // namespace

std::vector<TRRInputRecord> RRTranslateMouse(const QMouseEvent& event) {
  uint32_t message = 0;
  switch (event.type()) {
    case QEvent::MouseMove:
      message = RRMsgMouseMove;
      break;
    case QEvent::MouseButtonPress:
      message = ButtonMessage(event.button(), 0);
      break;
    case QEvent::MouseButtonRelease:
      message = ButtonMessage(event.button(), 1);
      break;
    case QEvent::MouseButtonDblClick:
      message = ButtonMessage(event.button(), 2);
      break;
    default:
      break;
  }
  if (message == 0) return {};
  return {MouseRecord(message, event.position(), event.buttons(), event.modifiers())};
}

std::vector<TRRInputRecord> RRTranslateWheel(const QWheelEvent& event) {
  const int delta = event.angleDelta().y() != 0 ? event.angleDelta().y() : event.angleDelta().x();
  if (delta == 0) return {};
  TRRInputRecord r = MouseRecord(RRMsgMouseWheel, event.position(), event.buttons(), event.modifiers());
  r.WheelDelta = delta;
  return {r};
}

}  // namespace rr
