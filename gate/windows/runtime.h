// How kestrel.exe ends when it cannot go on: a failed allocation, or a length
// past what a container can hold. Such a failure is no outcome of the gate,
// so it shows nothing (no box of the C runtime's own) and ends with a status
// that no outcome uses.
#pragma once

namespace kestrel {

// 70: an internal software error, as in BSD's sysexits.h (kExitInternalFailure
// in fleet.h, which keeps a waited utility's 70 apart from it). The outcomes
// are 0 to 3, and in fleet mode 4, 6, 7 and 1618 (formsdemo's usage error is
// 64).
inline constexpr unsigned kInternalFailureExit = 70;

// Ends the program at once with the internal failure's status, or with the
// one set since.
[[noreturn]] void EndOnInternalFailure();

// What an internal failure ends with from now on: once the utility runs, the
// status of the road it took, never 70, as a tool that sees 70 may run the
// flash again.
void SetInternalFailureStatus(unsigned status);

}  // namespace kestrel
