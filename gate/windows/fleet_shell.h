// A fleet run's platform on Windows: the plain routine's boxes, the start of
// the utility with its arguments and a wait for every process of its flash,
// the machine's flash lock, its power source, the run's facts and the log.
#pragma once

#include <windows.h>

#include <string>

#include "../fleet.h"
#include "flash_job.h"
#include "message_shell.h"

namespace kestrel {

class WindowsFleetShell final : public FleetShell {
public:
    // `boxes` shows the routine's messages, `starter` starts the utility in
    // `folder` (keeping its process for a wait) in `job`; `log` is the log
    // file, or empty. Each must outlive the shell.
    WindowsFleetShell(MessageShell& boxes, WindowsStarter& starter, FlashJob& job, const std::wstring& folder,
                      const std::wstring& log)
        : boxes_(boxes), starter_(starter), job_(job), folder_(folder), log_(log)
    {
    }

    bool ShowMessage(std::u16string_view text, int style, std::u16string_view caption) override;
    FlashLock TakeFlashLock() override { return job_.Take(); }
    FlashLock PeekFlashLock() override { return job_.Peek(); }
    std::string_view LockSquatter() override { return job_.squatter(); }
    AgentJob UtilityJob() override { return AgentJobOfThisProcess(); }
    // A file (not a folder) of that name in the program's folder.
    bool UtilityPresent(std::u16string_view fileName) override;
    // OnBatteryPower of GetSystemPowerStatus's answer; a failed call is
    // not battery.
    bool OnBattery() override;
    UtilityEnd Launch(std::u16string_view fileName, int windowState, bool wait, unsigned timeoutMinutes,
                      bool mayPrompt) override;
    // On the console the program was started from, else in a box.
    void TellUsage(std::u16string_view text, bool error) override;
    // The start's local time, the id, the computer, the account with its
    // domain (as the system names it, "NT AUTHORITY\SYSTEM"), the session.
    RunFacts Facts() override;
    std::uint32_t Ticks() override { return GetTickCount(); }
    // One writer at a time (others wait up to two seconds), a fragment left
    // by an earlier write cut off first, and the line written whole or not
    // at all. Only a disk file with one link, never through a reparse
    // point; made by an administrator, only administrators and SYSTEM may
    // open it. The folder is not made.
    bool AppendLog(std::string_view line) override;

private:
    MessageShell& boxes_;
    WindowsStarter& starter_;
    FlashJob& job_;
    const std::wstring& folder_;
    const std::wstring& log_;
};

// Local time with its offset from UTC, as ISO 8601: "2026-12-08T14:05:09+01:00".
std::string LocalTimeText(const SYSTEMTIME& local, long biasMinutes);

}  // namespace kestrel
