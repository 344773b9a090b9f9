#pragma once
// The input record: one keyboard or mouse message of the 3D view as the core sees it. The codes
// are the window system's own numbers (the program was built around them and the tools compare
// against them), so the desktop program translates its toolkit's events into this form.

#include <cstdint>

namespace rr {

// Keyboard messages.
inline constexpr uint32_t RRMsgKeyDown = 256;
inline constexpr uint32_t RRMsgKeyUp = 257;
inline constexpr uint32_t RRMsgChar = 258;
inline constexpr uint32_t RRMsgDeadChar = 259;
inline constexpr uint32_t RRMsgSysKeyDown = 260;
inline constexpr uint32_t RRMsgSysKeyUp = 261;
// Mouse messages.
inline constexpr uint32_t RRMsgMouseMove = 512;
inline constexpr uint32_t RRMsgLButtonDown = 513;
inline constexpr uint32_t RRMsgLButtonUp = 514;
inline constexpr uint32_t RRMsgLButtonDblClk = 515;
inline constexpr uint32_t RRMsgRButtonDown = 516;
inline constexpr uint32_t RRMsgRButtonUp = 517;
inline constexpr uint32_t RRMsgRButtonDblClk = 518;
inline constexpr uint32_t RRMsgMButtonDown = 519;
inline constexpr uint32_t RRMsgMButtonUp = 520;
inline constexpr uint32_t RRMsgMButtonDblClk = 521;
inline constexpr uint32_t RRMsgMouseWheel = 522;
// The pointer left the view: nothing lies under it until it moves in again.
inline constexpr uint32_t RRMsgMouseLeave = 675;

// Button and modifier state of mouse messages.
inline constexpr uint32_t RRMKLButton = 1;
inline constexpr uint32_t RRMKRButton = 2;
inline constexpr uint32_t RRMKShift = 4;
inline constexpr uint32_t RRMKControl = 8;
inline constexpr uint32_t RRMKMButton = 16;

// Virtual keys the core looks at.
inline constexpr int32_t RRVKBack = 8;
inline constexpr int32_t RRVKReturn = 13;
inline constexpr int32_t RRVKShift = 16;
inline constexpr int32_t RRVKControl = 17;
inline constexpr int32_t RRVKMenu = 18;  // Alt
inline constexpr int32_t RRVKEscape = 27;
inline constexpr int32_t RRVKSpace = 32;
inline constexpr int32_t RRVKPrior = 33;  // page up
inline constexpr int32_t RRVKNext = 34;   // page down
inline constexpr int32_t RRVKEnd = 35;
inline constexpr int32_t RRVKHome = 36;
inline constexpr int32_t RRVKLeft = 37;
inline constexpr int32_t RRVKUp = 38;
inline constexpr int32_t RRVKRight = 39;
inline constexpr int32_t RRVKDown = 40;
inline constexpr int32_t RRVKDelete = 46;
inline constexpr int32_t RRVKLControl = 162;

// One wheel notch.
inline constexpr int32_t RRWheelDelta = 120;

struct TRRInputRecord {
  uint32_t Message = 0;
  // Key messages: the virtual key (key down/up) or the character code (character messages).
  int32_t Key = 0;
  // Mouse messages: RRMK* flags of the buttons and of Shift and Ctrl.
  uint32_t Buttons = 0;
  // Mouse position in the view's client coordinates (may be negative while captured).
  int32_t X = 0;
  int32_t Y = 0;
  // Wheel messages: multiples of RRWheelDelta, positive away from the user.
  int32_t WheelDelta = 0;
  // The Alt key is held (mouse messages carry no flag for it).
  bool AltDown = false;
};

inline bool RRIsKeyMessage(uint32_t message) {
  return message == RRMsgKeyDown || message == RRMsgKeyUp || message == RRMsgChar || message == RRMsgSysKeyDown ||
         message == RRMsgSysKeyUp;
}
inline bool RRIsMouseMessage(uint32_t message) { return message >= RRMsgMouseMove && message <= RRMsgMouseWheel; }

}  // namespace rr
