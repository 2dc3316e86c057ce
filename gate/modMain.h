// The start-up routine: probe the board, then let the gate act on it.
#pragma once

#include "ports.h"

namespace kestrel {

// Runs once at start-up. Reports nothing of its own beyond the gate's two
// messages; returns the exit status (see ExitStatus in update_gate.h).
int Main(Management& management, UserShell& shell);

}  // namespace kestrel
