// Whether a message box shows the system's warning icon, read from the
// screen: an icon handle means nothing in another process.
#pragma once

#include <windows.h>

namespace kestrel::check {

// The box's icon control (a visible static control showing an icon), or
// null; asked with a time limit, as its process may be stopped by a debug
// event.
HWND IconControlOf(HWND box);

// The control's pixels are compared with the warning icon drawn over a copy
// of them, at the control's own size from the icon image nearest to it, as
// the box draws it at any DPI: where the box shows the warning icon the two
// differ in almost no pixel, where it shows another icon, or none, in many.
bool ShowsWarningIcon(HWND box);

}  // namespace kestrel::check
