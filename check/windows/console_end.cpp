#include "console_end.h"

#include "files.h"
#include "processes.h"

namespace kestrel::check {

namespace {

// Plain arrays: nothing to construct or destroy, so nothing the C++
// runtime must guard.
struct Leftovers {
    wchar_t scratch[1024];
    wchar_t loaderScratch[1024];
    wchar_t device[8];
    wchar_t target[1024];
    HANDLE live[256];  // duplicates of the live processes' handles
    volatile LONG lock;
    volatile LONG ending;
    volatile LONG handlerSet;
};
Leftovers pending;

class LiveLock {
public:
    LiveLock()
    {
        while (InterlockedCompareExchange(&pending.lock, 1, 0) != 0) Sleep(0);
    }
    ~LiveLock() { InterlockedExchange(&pending.lock, 0); }
    LiveLock(const LiveLock&) = delete;
    LiveLock& operator=(const LiveLock&) = delete;
};

template <std::size_t N>
void Keep(wchar_t (&into)[N], const std::wstring& text)
{
    const std::size_t n = text.size() < N ? text.size() : 0;
    text.copy(into, n);
    into[n] = L'\0';
}

// The live tree first: ended, then waited for while the check's main
// thread answers their last debug events; then whatever else runs from the
// scratch folder; then the folder.
BOOL WINAPI OnConsoleEnd(DWORD)
{
    InterlockedExchange(&pending.ending, 1);
    {
        const LiveLock lock;
        for (const HANDLE process : pending.live)
            if (process) TerminateProcess(process, 99);
    }
    const DWORD until = GetTickCount() + 5000;
    for (const HANDLE process : pending.live) {
        const DWORD now = GetTickCount();
        if (process && now < until) WaitForSingleObject(process, until - now);
    }
    if (pending.device[0])
        DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE | DDD_NO_BROADCAST_SYSTEM, pending.device,
                         pending.target);
    if (pending.scratch[0]) {
        EndScratchProcesses({pending.scratch, pending.loaderScratch});
        for (int i = 0; i < 30 && !RemoveTree(pending.scratch); ++i) Sleep(100);
    }
    // The check ends here, as the system's own handler would end it
    // (STATUS_CONTROL_C_EXIT), and not as a pass: the stages still running
    // on the main thread would report on processes and a folder that are
    // gone, and end with a status a release script might read as success.
    ExitProcess(0xC000013A);
}

}  // namespace

void RemoveScratchOnConsoleEnd(const std::wstring& root, const std::wstring& loaderRoot)
{
    Keep(pending.scratch, root);
    Keep(pending.loaderScratch, loaderRoot.empty() ? root : loaderRoot);
    if (!root.empty() && InterlockedExchange(&pending.handlerSet, 1) == 0) SetConsoleCtrlHandler(OnConsoleEnd, TRUE);
}

void RemoveOnConsoleEnd(const std::wstring& device, const std::wstring& target)
{
    Keep(pending.device, device);
    Keep(pending.target, target);
}

void EndOnConsoleEnd(HANDLE process)
{
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &copy, PROCESS_TERMINATE | SYNCHRONIZE,
                         FALSE, 0))
        return;
    const LiveLock lock;
    for (HANDLE& slot : pending.live) {
        if (slot) continue;
        slot = copy;
        return;
    }
    CloseHandle(copy);  // more than the table holds: the system ends them when the check goes
}

void ForgetOnConsoleEnd(HANDLE process)
{
    const DWORD id = GetProcessId(process);
    const LiveLock lock;
    for (HANDLE& slot : pending.live) {
        if (!slot || GetProcessId(slot) != id) continue;
        CloseHandle(slot);
        slot = nullptr;
    }
}

bool ConsoleEnding() { return pending.ending != 0; }

}  // namespace kestrel::check
