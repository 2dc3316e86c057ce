// Test builds of kestrel.exe only: the release check's controls that read
// the utility's exit status carelessly, kestrel.exe in every other way. The
// build compiles kestrel.exe's Windows layer again with its calls of
// GetExitCodeProcess renamed to CarelessExitCode (a definition given to the
// compiler, nothing in its sources), which this file answers. One fault each:
//  - CARELESS_STATUS_1641: 1641 (the installer started a restart) read as 0;
//  - CARELESS_STATUS_CRASH: an exception's status (0xC0000005 and the like)
//    read as 0.
#include <windows.h>

#undef GetExitCodeProcess
extern "C" __declspec(dllimport) BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD status);

namespace {

BOOL WINAPI ReadCarelessly(HANDLE process, LPDWORD status)
{
    const BOOL read = GetExitCodeProcess(process, status);
#if defined(CARELESS_STATUS_1641)
    if (read && *status == 1641) *status = 0;
#elif defined(CARELESS_STATUS_CRASH)
    if (read && *status >= 0xC0000000u) *status = 0;
#endif
    return read;
}

}  // namespace

// The import slot the renamed calls read.
extern "C" __attribute__((used))
BOOL(WINAPI* const kCarelessExitSlot)(HANDLE, LPDWORD) asm("__imp__CarelessExitCode@8") = ReadCarelessly;
