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

// Spreads every bit of its input over the whole word (MurmurHash3's
// finaliser), so that the fast-changing low bits of the counters reach the
// guard's high bits too.
__attribute__((no_stack_protector)) std::uint32_t Mix(std::uint32_t h)
{
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

// The first of the program's own constructors (priority 101), before any
// protected function can run with an old guard on its stack. In kestrel.exe,
// which links no crtbegin.o, it runs first. In the other programs one
// constructor runs before it: GCC's frame registration (crtbegin's
// __gcc_register_frame, listed by crtend in .ctors.65535, and the start-up
// code calls the list from its end). That one is not protected and loads
// nothing: it asks GetModuleHandleA for a shared libgcc, which these static
// programs never have loaded, and takes a reference with LoadLibraryA only if
// it has.
__attribute__((constructor(101), no_stack_protector)) void SeedStackGuard()
{
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);
    volatile std::uintptr_t here = 0;
    const std::uint32_t sources[] = {
        static_cast<std::uint32_t>(now.dwLowDateTime),
        static_cast<std::uint32_t>(now.dwHighDateTime),
        static_cast<std::uint32_t>(GetCurrentProcessId()),
        static_cast<std::uint32_t>(GetCurrentThreadId()),
        static_cast<std::uint32_t>(GetTickCount()),
        static_cast<std::uint32_t>(counter.LowPart),
        static_cast<std::uint32_t>(counter.HighPart),
        static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&here)),
        static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&SeedStackGuard)),
    };
    std::uint32_t seed = 0;
    for (const std::uint32_t source : sources) seed = Mix(seed ^ source);
    if (seed == 0) seed = 0xBB40E64E;
    __stack_chk_guard = reinterpret_cast<void*>(static_cast<std::uintptr_t>(seed));
}

}  // namespace
