// Runs a program as this tool's debuggee and sees what it does: every image
// the loader maps into it, as the loader maps it (whether or not its code
// runs), each message box it shows, and how it ends.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "../run_outcome.h"

namespace kestrel::check {

// A DLL mapped into one process of the run's tree.
struct Loaded {
    std::wstring process;  // the process's image, by the path its file has now ("" when unnamed)
    std::wstring image;    // the DLL, the same way
    bool child = false;    // in a process that the program's tree started, not the program's own
};

struct DebugRun {
    Seen seen;                          // boxes, the first process's exit; no record, no verdict on the images
    std::vector<Loaded> images;         // every DLL mapped into any process of the tree
    std::vector<std::wstring> started;  // every process the program's tree started, by its image
    int unnamed = 0;                    // DLLs mapped whose file could not be named
};

// Starts `program` with `arguments` in `cwd` with the show state, as a
// debuggee of this thread with every process it starts (DEBUG_PROCESS), each
// kept apart by its id: the initial breakpoints are continued, every other
// exception passed on to the program unhandled. Each message box the program
// shows is read and its OK pressed. The run ends when every process of the
// tree has ended; after a minute (looked at on every turn, however busy the
// tree is) they are ended. A process that still will not end is detached
// (DebugActiveProcessStop) and ended, so that no event of it reaches the next
// run. COM's surrogate, dllhost.exe from outside `scratch` (the scratch
// folder's spellings), is not waited for: Wine starts it from its caller and
// keeps it. No debuggee outlives the tool: the system ends those of a
// debugger that goes (DebugSetProcessKillOnExit).
DebugRun RunDebuggee(const std::wstring& program, const std::wstring& arguments, const std::wstring& cwd, WORD show,
                     const std::vector<std::wstring>& scratch = {});

}  // namespace kestrel::check
