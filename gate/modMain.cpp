#include "modMain.h"

#include "probe.h"
#include "update_gate.h"

namespace kestrel {

int Main(Management& management, UserShell& shell) { return RunGate(ProbeBoard(management), shell); }

}  // namespace kestrel
