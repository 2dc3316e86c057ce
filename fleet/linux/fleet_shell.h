// A fleet run's platform on Linux: the messages on standard error, the
// utility spawned with its arguments and waited for, the run's facts and the
// log. Linux has no flash lock and no power check here: the lock is always
// this run's, and the machine is taken to be on mains; a battery's charge is
// read when a least charge is asked for.
#pragma once

#include "../fleet.h"
#include "power_supply.h"
#include "stderr_shell.h"

namespace kestrel {

// Bytes as text: ASCII as it is, anything else as U+FFFD.
std::u16string Ascii(std::string_view text);

class LinuxFleetShell final : public FleetShell {
public:
    // `programDir` as for StderrShell; `arguments` (ended by a null) go to
    // the utility; `log` is the log file, or null.
    LinuxFleetShell(const char* programDir, const char* const* arguments, const char* log)
        : boxes_(programDir), programDir_(programDir), arguments_(arguments), log_(log)
    {
    }

    bool ShowMessage(std::u16string_view text, int style, std::u16string_view caption) override
    {
        return boxes_.ShowMessage(text, style, caption);
    }
    FlashLock TakeFlashLock() override { return FlashLock::Held; }
    FlashLock PeekFlashLock() override { return FlashLock::Held; }
    std::string_view LockSquatter() override { return {}; }
    AgentJob UtilityJob() override { return AgentJob::None; }
    // A regular file in the program's folder that this account may run and
    // the kernel can start: a script that names its interpreter (which is
    // there), or an ELF program whole (ReadProgramFile). Launch asks the
    // same, so that --check and the run agree.
    bool UtilityPresent(std::u16string_view fileName) override;
    bool OnBattery() override { return false; }
    BatteryCharge Charge() override { return ReadBatteryCharge("/sys/class/power_supply"); }
    // Spawns the utility, in a session of its own, when UtilityPresent
    // holds; with `wait`, through a keeper: a process of kestrel's own, in
    // a session of its own too, that spawns it, becomes the reaper of every
    // process it leaves behind, and tells kestrel when the last of them has
    // ended: a utility that hands the flash to a child and ends is not the
    // flash's end, and a child kestrel was given by the program that started
    // it is no part of the flash. The status is the utility's own. Nothing
    // starts when the keeper cannot become that reaper. `mayPrompt` has no
    // meaning here.
    UtilityEnd Launch(std::u16string_view fileName, int windowState, bool wait, unsigned timeoutMinutes,
                      bool mayPrompt) override;
    // The help on standard output, a usage error on standard error.
    void TellUsage(std::u16string_view text, bool error) override;
    RunFacts Facts() override;
    std::uint32_t Ticks() override;
    // Appends to a regular file of one name, created with mode 0600 when
    // missing, reached through no symbolic link, and for a run as root one
    // that root owns; anything else at the path (a symbolic link, or one on
    // its way, a FIFO, a device, a file with another name, another
    // account's file) gets nothing. One writer at a time: a log
    // another writer holds for about two seconds gets no line. A log that
    // does not end in a line feed gets one first (what stands there stays),
    // and a line not written whole is taken back.
    bool AppendLog(std::string_view line) override;

private:
    StderrShell boxes_;
    const char* programDir_;
    const char* const* arguments_;
    const char* log_;
};

}  // namespace kestrel
