// What the fleet switches' stages share: a run started outside the debug
// tree, a wait on a condition, a run's end, the stand-in's record while it
// runs, a file's text.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "../fleet_outcome.h"
#include "handle.h"

namespace kestrel::check {

// A run of `program` outside the debug tree, in the system folder (Wine's
// COM surrogate starts in its caller's folder and stays), in `job` where one
// is given: started suspended, put in it, then let run.
Handle StartOutside(const std::wstring& program, const std::wstring& arguments, HANDLE job = nullptr);

// Waits up to `ms` for `done`, looking every 50 ms.
template <typename Done>
bool Until(Done&& done, DWORD ms)
{
    const DWORD since = GetTickCount();
    while (!done()) {
        if (GetTickCount() - since > ms) return false;
        Sleep(50);
    }
    return true;
}

// The run's exit status once it has ended within `ms`, else none (and it is
// ended).
std::optional<unsigned long> EndOf(const Handle& run, DWORD ms);

// The stand-in's record in `bin` while it may still run: it keeps the file
// open for writing as long as it stays, which ReadFileBytes does not share.
std::string LiveRecord(const std::wstring& bin);

// A file's bytes as text; empty when unread.
std::string Text(const std::wstring& path);

// What the runs during a flash that goes on expect: 1618, nothing started.
constexpr FleetExpected kRefused{1618};

}  // namespace kestrel::check
