// What a check stopped from its console (Ctrl+C, Ctrl+Break, the window
// closed) must not leave behind, which no destructor then removes: the live
// processes of its runs, the scratch folder and the drive letter. The
// handler runs on a thread of its own while the main thread goes on
// answering debug events; returning, it lets the default handler end the
// process, and the system its debuggees with it.
#pragma once

#include <windows.h>

#include <string>

namespace kestrel::check {

// The scratch folder to remove, in its two spellings; an empty root: none
// (it is gone). The first call sets the handler.
void RemoveScratchOnConsoleEnd(const std::wstring& root, const std::wstring& loaderRoot = {});

// A drive letter to take back, as the scratch folder is; empty texts: none.
void RemoveOnConsoleEnd(const std::wstring& device, const std::wstring& target);

// A process of a run, ended first, and waited for (its debug events are
// answered meanwhile), before anything is removed: a live process keeps the
// files it maps, and with them the scratch folder. Every process that runs
// from the scratch folder is ended too. Forget it once it has ended.
void EndOnConsoleEnd(HANDLE process);
void ForgetOnConsoleEnd(HANDLE process);

// True once the check is being stopped from its console: no run starts.
bool ConsoleEnding();

}  // namespace kestrel::check
