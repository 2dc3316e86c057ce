// A fleet run's platform on Windows: the plain routine's boxes, the start of
// the utility with its arguments and a wait for it, the machine's flash lock,
// its power source, the run's facts and the log.
#pragma once

#include <windows.h>

#include <string>

#include "../fleet.h"
#include "message_shell.h"

namespace kestrel {

// The machine-wide lock of a flash: a named mutex in the global namespace,
// so that every session shares it.
inline constexpr wchar_t kFlashLockName[] = L"Global\\kestrel-flash";

class WindowsFleetShell final : public FleetShell {
public:
    // `boxes` shows the routine's messages, `starter` starts the utility in
    // `folder` (keeping its process for a wait); `log` is the log file, or
    // empty.
    WindowsFleetShell(MessageShell& boxes, WindowsStarter& starter, std::wstring folder, std::wstring log)
        : boxes_(boxes), starter_(starter), folder_(std::move(folder)), log_(std::move(log))
    {
    }
    ~WindowsFleetShell() override;
    WindowsFleetShell(const WindowsFleetShell&) = delete;
    WindowsFleetShell& operator=(const WindowsFleetShell&) = delete;

    bool ShowMessage(std::u16string_view text, int style, std::u16string_view caption) override;
    // Takes the lock without waiting: free, or left by a run that ended
    // without releasing it (WAIT_ABANDONED: the lock passes to this run).
    // A lock that cannot be opened (another account's) is another run's.
    bool HoldFlashLock() override;
    // GetSystemPowerStatus's ACLineStatus 0; unknown (255) and a failed
    // call are not battery.
    bool OnBattery() override;
    UtilityEnd Launch(std::u16string_view fileName, int windowState, bool wait) override;
    // On the console the program was started from, else in a box.
    void TellUsage(std::u16string_view text, bool error) override;
    RunFacts Facts() override;
    // Opened for appending only, shared with other writers, and written in
    // one call: the system appends each write whole at the end of the file,
    // so lines of runs at the same time do not mix. The folder is not made.
    bool AppendLog(std::string_view line) override;

private:
    MessageShell& boxes_;
    WindowsStarter& starter_;
    std::wstring folder_;
    std::wstring log_;
    HANDLE lock_ = nullptr;
};

// Local time with its offset from UTC, as ISO 8601: "2026-12-08T14:05:09+01:00".
std::string LocalTimeText(const SYSTEMTIME& local, long biasMinutes);

}  // namespace kestrel
