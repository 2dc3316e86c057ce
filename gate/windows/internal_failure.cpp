#include <windows.h>

#include "runtime.h"

namespace kestrel {

namespace {

// The one status the process ends with on an internal failure: process-wide,
// as the failure may come from anywhere.
unsigned failureStatus = kInternalFailureExit;

}  // namespace

void SetInternalFailureStatus(unsigned status) { failureStatus = status; }

void EndOnInternalFailure()
{
    // Ends at once: no exit handlers, no DLL detach code, nothing shown.
    TerminateProcess(GetCurrentProcess(), failureStatus);
    ExitProcess(failureStatus);
}

}  // namespace kestrel
