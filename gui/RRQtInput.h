#pragma once
// Translation of the toolkit's keyboard and mouse events into the core's input records, which
// keep the window system's message and virtual-key numbers the tools compare against.

#include <Qt>
#include <vector>

#include "app/RRInput.h"

class QKeyEvent;
class QMouseEvent;
class QWheelEvent;

namespace rr {

// The virtual key of a toolkit key (0 when there is none): letters 65-90, digits 48-57, the
// numeric pad 96-111, F1-F12 112-123 and the named keys.
int32_t RRVirtualKey(int qtKey, bool keypad);

// Key down (with Alt: the system key down 260) followed by one character message per character
// typed; an auto-repeated key gives repeated key downs. Key up (with Alt 261); the release half
// of an auto-repeat gives nothing.
std::vector<TRRInputRecord> RRTranslateKey(const QKeyEvent& event);

// Mouse buttons and Shift and Ctrl as RRMK flags.
uint32_t RRMouseFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);

// Presses, releases, double clicks (515, 518, 521) and moves, in the view's coordinates (negative
// outside it while the view holds the mouse). Buttons other than the three give nothing.
std::vector<TRRInputRecord> RRTranslateMouse(const QMouseEvent& event);

// One wheel record, 120 per notch, positive away from the user; none for a zero delta.
std::vector<TRRInputRecord> RRTranslateWheel(const QWheelEvent& event);

}  // namespace rr
