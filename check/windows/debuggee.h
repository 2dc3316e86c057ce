// Runs a program as this tool's debuggee and sees what it does: every image
// the loader maps into it, as the loader maps it (whether or not its code
// runs), each message box it shows, every process its tree starts, in what
// order they end, and what of the scratch folder still runs after it.
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
    // Boxes, the first process's exit and the order of the ends, what was
    // left running; no record, no verdict on the images.
    Seen seen;
    std::vector<Loaded> images;         // every DLL mapped into any process of the tree
    std::vector<std::wstring> started;  // every process the program's tree started, by its image
    int unnamed = 0;                    // DLLs mapped whose file could not be named
};

// Whether an image is the utility's (WinPhlash.exe in any folder): the
// stand-in beside the program, or a decoy of that name.
bool IsUtilityImage(const std::wstring& image);

// What a stage does while its run goes on: called on every turn of the run
// (a few times a second at least), with the program's process and whether a
// process of the utility is running. It may start other runs, or end the
// program by force.
class RunWatcher {
public:
    virtual ~RunWatcher() = default;
    virtual void Turn(HANDLE program, bool utilityRuns) = 0;
};

// Starts `program` with `arguments` in `cwd` with the show state, as a
// debuggee of this thread with every process it starts (DEBUG_PROCESS), each
// kept apart by its id: the initial breakpoints are continued, every other
// exception passed on to the program unhandled. Each message box the program
// shows is read and one of its buttons pressed. The run ends when every
// process of the tree has ended and no process the tree made is still to
// raise its first event; after a minute (looked at on every turn, however
// busy the tree is) they are ended. A process that still will not end is
// ended and then detached (DebugActiveProcessStop, which closes the
// debugger's handles to it), so that no event of it reaches the next run.
// COM's surrogate, dllhost.exe from outside `scratch` (the scratch
// folder's spellings), is not waited for: Wine starts it from its caller and
// keeps it. Then every process still running from the scratch folder is a
// leftover: named, and ended. No debuggee outlives the tool: the system ends
// those of a debugger that goes (DebugSetProcessKillOnExit), and a check
// stopped from its console ends them first (EndOnConsoleEnd).
DebugRun RunDebuggee(const std::wstring& program, const std::wstring& arguments, const std::wstring& cwd, WORD show,
                     const std::vector<std::wstring>& scratch = {}, RunWatcher* watcher = nullptr);

}  // namespace kestrel::check
