#include "flash_start.h"

#include <windows.h>
#include <shellapi.h>

#include "late_bound.h"
#include "handle.h"
#include "runtime.h"
#include "update_gate.h"
#include "wide.h"

namespace kestrel {

namespace {

// A window of this program's own, made the foreground window, for the
// consent prompt to belong to. kestrel has no window when it starts the
// utility, and without an active window of the caller's the prompt comes up
// as a flashing taskbar button instead of in front: "the bad HWnd value
// causes Windows Vista to fail to prompt the end user for elevation and
// instead flashes the elevation request in the taskbar ... Applications
// should be modified so that the code calling ShellExecute* passes the
// currently active HWnd value" (Microsoft, "Using the
// CorrectShellExecuteHWND Fix", Windows Vista and 7 compatibility fixes).
// The program may take the foreground: it was started by the foreground
// process and has not yet given it up (SetForegroundWindow, remarks). The
// window has no size and no taskbar button; it goes when the call returns.
class ForegroundOwner {
public:
    ForegroundOwner()
        : window_(CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 0, 0, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr))
    {
        if (window_) SetForegroundWindow(window_);
    }
    ~ForegroundOwner()
    {
        if (window_) DestroyWindow(window_);
    }
    ForegroundOwner(const ForegroundOwner&) = delete;
    ForegroundOwner& operator=(const ForegroundOwner&) = delete;
    HWND get() const { return window_; }

private:
    HWND window_;
};

}  // namespace

SHELLEXECUTEINFOW ElevatedStartInfo(const wchar_t* file, const wchar_t* folder, int windowState, HWND owner)
{
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    // A handle to close; no error box of the shell's own, so a launch that
    // fails shows nothing; and the whole request done before the call
    // returns, as kestrel ends right after it: "SEE_MASK_NOASYNC ... should
    // be used by applications that exit immediately after calling
    // ShellExecuteEx" (SHELLEXECUTEINFO, Microsoft Learn).
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.hwnd = owner;
    info.lpFile = file;
    info.lpDirectory = folder;
    info.nShow = windowState;
    return info;
}

namespace {

// What CreateProcessW answers, from Vista on, for a program whose manifest
// asks for more rights than the caller has (ERROR_ELEVATION_REQUIRED).
constexpr DWORD kElevationRequired = 740;

}  // namespace

WindowsStarter::~WindowsStarter()
{
    if (process_) CloseHandle(process_);
}

void WindowsStarter::Keep(HANDLE process)
{
    if (keepProcess_ && !process_) process_ = process;
    else if (process) CloseHandle(process);
}

ProcessStarter::Result WindowsStarter::Start(std::u16string_view path, int windowState)
{
    const std::wstring file = Wide(path);
    std::wstring commandLine = L"\"" + file + L"\"";
    if (!arguments_.empty()) commandLine += L" " + arguments_;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(windowState);
    PROCESS_INFORMATION process = {};
    // The utility gets the system's default error mode, not the one this
    // program set for itself, and its own folder as its working folder,
    // where it finds its image and settings wherever kestrel was started
    // from. Held in the flash's job, it starts suspended, so that it runs
    // only once it is in the job and holds its lock.
    // It leaves a job that kestrel was started in (an agent's, which ends
    // what it holds on its time limit), where that job lets it; where it
    // does not ("the job must set the JOB_OBJECT_LIMIT_BREAKAWAY_OK limit",
    // else ERROR_ACCESS_DENIED: CREATE_BREAKAWAY_FROM_JOB, Microsoft Learn),
    // it starts inside it. Outside any job the flag does nothing.
    const bool hold = job_ && job_->Take() == FlashLock::Held;
    const DWORD flags = CREATE_DEFAULT_ERROR_MODE | (hold ? CREATE_SUSPENDED : 0);
    const wchar_t* const folder = folder_.empty() ? nullptr : folder_.c_str();
    BOOL created = CreateProcessW(file.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                  flags | CREATE_BREAKAWAY_FROM_JOB, nullptr, folder, &startup, &process);
    if (!created && GetLastError() == ERROR_ACCESS_DENIED) {
        keptInAgentJob_ = true;
        created = CreateProcessW(file.c_str(), commandLine.data(), nullptr, nullptr, FALSE, flags, nullptr, folder,
                                 &startup, &process);
    }
    if (!created) return GetLastError() == kElevationRequired ? Result::ElevationRequired : Result::Failed;
    const Handle thread(process.hThread);
    if (hold) job_->Join(process.hProcess);
    // A utility left suspended would hold the lock for ever.
    if (hold && ResumeThread(thread.get()) == DWORD(-1)) {
        TerminateProcess(process.hProcess, kExitLaunchFailed);
        CloseHandle(process.hProcess);
        return Result::Failed;
    }
    if (hold) job_->Hold(process.hProcess, process.dwProcessId);
    // From here on, kestrel's own failure does not change what the run
    // tells: the utility runs.
    SetInternalFailureStatus(kExitLaunched);
    Keep(process.hProcess);
    return Result::Started;
}

bool WindowsStarter::StartElevated(std::u16string_view path, int windowState)
{
    // shell32 brings many DLLs along: loaded only on this road, from System32
    // only, and kept until the process ends, as the shell may still be
    // working on the request when the call returns.
    const auto shellExecuteEx = LateBound(kShellExecuteExW);
    if (!shellExecuteEx) return false;
    const std::wstring file = Wide(path);
    const ForegroundOwner owner;
    SHELLEXECUTEINFOW info =
        ElevatedStartInfo(file.c_str(), folder_.empty() ? nullptr : folder_.c_str(), windowState, owner.get());
    if (!arguments_.empty()) info.lpParameters = arguments_.c_str();
    if (!shellExecuteEx(&info)) return false;
    SetInternalFailureStatus(kExitLaunched);
    // It runs outside the flash's job: the shell starts it at once, so it
    // cannot be held before it runs. The plain road alone takes this road
    // (a fleet run never asks for consent), for a run that is no
    // administrator, which holds no lock.
    Keep(info.hProcess);
    return true;
}

}  // namespace kestrel
