#include <windows.h>

#include "runtime.h"

namespace kestrel {

void EndOnInternalFailure()
{
    // Ends at once: no exit handlers, no DLL detach code, nothing shown.
    TerminateProcess(GetCurrentProcess(), kInternalFailureExit);
    ExitProcess(kInternalFailureExit);
}

}  // namespace kestrel
