// Whether a message box shows the system's warning icon, read from the icon
// the box holds; where this process cannot read it (Wine), from the screen,
// with the box raised above every other window first.
#pragma once

#include <windows.h>

namespace kestrel::check {

// How long a window of the debuggee is asked anything: its process may be
// stopped at a debug event that this thread has not yet continued.
constexpr UINT kAskTimeoutMs = 1000;

// The box's icon control (a visible static control showing an icon), or
// null; asked with a time limit, as its process may be stopped by a debug
// event.
HWND IconControlOf(HWND box);

// Puts the box above every other window, topmost, without activating it and
// without waiting for its thread: a window over the screen's centre would
// otherwise hide the icon from a reading of the screen.
void RaiseBox(HWND box);

// Where the box's icon is read from the screen (its handle cannot be read
// here: Wine) and a window of another program lies over it: moves the box,
// keeping its size and place among the windows, to where its icon is clear
// of every visible window of another program on the screen. A window that
// keeps itself above every other (a kiosk's, a call's, a magnifier's) would
// otherwise hide the icon however often the box is raised. True when the
// box was moved: it is read once it has drawn itself there.
bool MoveIconClear(HWND box);

// The icon the box's control holds, drawn at its own size, against the
// warning icon drawn at that size from the icon image nearest to it (as the
// box takes it at any DPI): where the box shows the warning icon the two
// differ in almost no pixel, where it shows another icon, or none, in many.
// Where the icon's handle cannot be read here, the control's pixels on the
// screen are compared with the warning icon drawn over a copy of them.
bool ShowsWarningIcon(HWND box);

}  // namespace kestrel::check
