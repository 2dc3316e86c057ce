// Runs a program as this tool's debuggee and sees what it does: every image
// the loader maps into it, as the loader maps it (whether or not its code
// runs), each message box it shows, and how it ends.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "../run_outcome.h"

namespace kestrel::check {

struct DebugRun {
    Seen seen;                         // boxes, exit; no utility record, no verdict on the images
    std::vector<std::wstring> images;  // every DLL mapped, by the path its file has now
    int unnamed = 0;                   // DLLs mapped whose file could not be named
};

// Starts `program` with `arguments` in `cwd` with the show state, as a
// debuggee of this thread only (DEBUG_ONLY_THIS_PROCESS): the initial
// breakpoint is continued, every other exception passed on to the program
// unhandled. Each message box it shows is read and its OK pressed, until it
// ends; after a minute it is ended. It never outlives the tool: the system
// ends a debuggee whose debugger goes (DebugSetProcessKillOnExit).
DebugRun RunDebuggee(const std::wstring& program, const std::wstring& arguments, const std::wstring& cwd, WORD show);

}  // namespace kestrel::check
