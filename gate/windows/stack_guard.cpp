// The stack protector's guard and its failure handlers, in place of GCC's
// libssp. libssp seeds the guard in a constructor through
// CryptAcquireContext/CryptGenRandom: that loads a crypto provider's DLLs
// before wWinMain, so before the program restricts its DLL search, and
// imports ADVAPI32. Defining every symbol of libssp's ssp.o here keeps that
// object out of the link; the fortified string functions (__memcpy_chk and
// the like) still come from libssp and fail through __chk_fail below.
//
// The seed loads nothing. It mixes what the Microsoft C runtime mixes into
// its /GS cookie (__security_init_cookie): the system time, the process and
// thread identifiers, the tick count and the performance counter, plus the
// addresses of the stack and of the image, which differ from run to run
// where the system randomises them. RtlGenRandom is not used: on Windows 7
// ADVAPI32 forwards it to cryptbase.dll, which is not a KnownDLL, so
// resolving it before the restriction would search the program's folder.
#include <windows.h>

#include <cstdint>

#include "runtime.h"

// The names are the compiler's, defined here on purpose.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" {

// Read by every protected function's prologue and epilogue.
void* __stack_chk_guard = reinterpret_cast<void*>(std::uintptr_t(0xBB40E64E));

__attribute__((noreturn)) void __stack_chk_fail() { kestrel::EndOnInternalFailure(); }
__attribute__((noreturn)) void __stack_chk_fail_local() { kestrel::EndOnInternalFailure(); }
__attribute__((noreturn)) void __chk_fail() { kestrel::EndOnInternalFailure(); }

}  // extern "C"
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)

namespace {

// First of the constructors, before any protected function can run with an
// old guard on its stack.
__attribute__((constructor(101), no_stack_protector)) void SeedStackGuard()
{
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);
    volatile std::uintptr_t here = 0;
    std::uintptr_t seed = now.dwLowDateTime ^ now.dwHighDateTime;
    seed ^= GetCurrentProcessId();
    seed ^= std::uintptr_t(GetCurrentThreadId()) << 8;
    seed ^= GetTickCount();
    seed ^= counter.LowPart ^ std::uintptr_t(counter.HighPart);
    seed ^= reinterpret_cast<std::uintptr_t>(&here);
    seed ^= reinterpret_cast<std::uintptr_t>(&SeedStackGuard) << 12;
    if (seed == 0) seed = 0xBB40E64E;
    __stack_chk_guard = reinterpret_cast<void*>(seed);
}

}  // namespace
