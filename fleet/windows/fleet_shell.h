// A fleet run's platform on Windows: the plain routine's boxes, the start of
// the utility with its arguments and a wait for every process of its flash,
// the machine's flash lock, its power source, the run's facts and the log.
#pragma once

#include <windows.h>

#include <string>

#include "../fleet.h"
#include "flash_job.h"
#include "flash_start.h"
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
    // A file (not a folder) of that name in the program's folder that maps
    // as a program image (MapsAsImage): what CreateProcessW needs first.
    bool UtilityPresent(std::u16string_view fileName) override;
    // OnBatteryPower of GetSystemPowerStatus's answer; a failed call is
    // not battery.
    bool OnBattery() override;
    // ChargeOf GetSystemPowerStatus's answer; a failed call is a battery of
    // a charge unknown.
    BatteryCharge Charge() override;
    // A utility that its loader ends (PastLoader) is not started, waited
    // for or not.
    UtilityEnd Launch(std::u16string_view fileName, int windowState, bool wait, unsigned timeoutMinutes,
                      bool mayPrompt) override;
    // On the console the program was started from, else in a box.
    void TellUsage(std::u16string_view text, bool error) override;
    // The start's local time, the id, the computer, the account with its
    // domain (as the system names it, "NT AUTHORITY\SYSTEM") and its SID,
    // the session.
    RunFacts Facts() override;
    std::uint32_t Ticks() override { return GetTickCount(); }
    // One writer at a time (others wait up to two seconds), never waiting
    // on another's opportunistic lock, after a line feed when the log does
    // not end in one (nothing there is taken away), and the line written
    // whole or not at all. Only a disk file with one link, never through a
    // reparse point; made by an administrator, only administrators and
    // SYSTEM may open it, and an administrator's run writes only to a log
    // that the Administrators group, SYSTEM or its own account owns (its
    // account as Facts read it). The folder is not made.
    // A line not written is said once on the console the program was
    // started from, if any; the run's status stays its road's.
    bool AppendLog(std::string_view line) override;

private:
    MessageShell& boxes_;
    WindowsStarter& starter_;
    FlashJob& job_;
    const std::wstring& folder_;
    const std::wstring& log_;
    bool toldLog_ = false;
    BYTE account_[68] = {};  // the SID of the run's account, as Facts read it; zeros when unknown
};

// The NT name of a full path, as NtCreateFile takes it: \??\C:\Logs\f for
// C:\Logs\f, \??\UNC\server\share\f for \\server\share\f, \??\... for
// \\?\...; empty for anything else (a device's name).
std::wstring NtName(const std::wstring& path);

// Local time with its offset from UTC, as ISO 8601: "2026-12-08T14:05:09+01:00".
std::string LocalTimeText(const SYSTEMTIME& local, long biasMinutes);

}  // namespace kestrel
