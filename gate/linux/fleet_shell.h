// A fleet run's platform on Linux: the messages on standard error, the
// utility spawned with its arguments and waited for, the run's facts and the
// log. Linux has no flash lock and no power check here: the lock is always
// this run's, and the machine is taken to be on mains.
#pragma once

#include "../fleet.h"
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
    bool HoldFlashLock() override { return true; }
    bool OnBattery() override { return false; }
    UtilityEnd Launch(std::u16string_view fileName, int windowState, bool wait) override;
    // The help on standard output, a usage error on standard error.
    void TellUsage(std::u16string_view text, bool error) override;
    RunFacts Facts() override;
    // Opened for appending (O_APPEND), created with mode 0644 when missing,
    // and written in one call: each line lands whole at the end.
    bool AppendLog(std::string_view line) override;

private:
    StderrShell boxes_;
    const char* programDir_;
    const char* const* arguments_;
    const char* log_;
};

}  // namespace kestrel
