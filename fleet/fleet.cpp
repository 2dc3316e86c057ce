#include "fleet.h"

#include "run_log.h"

namespace kestrel {

std::string RunId(std::uint32_t process, std::uint64_t time)
{
    constexpr char kDigits[] = "0123456789abcdef";
    std::string id;
    for (int shift = 28; shift >= 0; shift -= 4) id += kDigits[(process >> shift) & 0xF];
    id += '-';
    for (int shift = 60; shift >= 0; shift -= 4) id += kDigits[(time >> shift) & 0xF];
    return id;
}

bool FlashMembers::Holds(std::uint32_t id, std::uint64_t start) const
{
    for (const Member& member : members_)
        if (member.id == id && member.start == start) return true;
    return false;
}

int WaitedStatus(std::optional<std::uint32_t> utility)
{
    if (!utility) return kExitUtilityStatusHidden;
    const std::uint32_t status = *utility;
    constexpr std::uint32_t kStillActive = 259;
    // 1 to 4, 6, 7, 9 to 12, 15, 70 and 1618 are kestrel's own.
    if ((status >= kExitPrivilege && status <= kExitOnBattery) || status == kExitUtilityStatusHidden ||
        status == kExitUsage || (status >= kExitTimedOut && status <= kExitProtected) || status == kExitNotListed ||
        status == kExitInternalFailure || status == kExitFlashRunning || status == kStillActive)
        return kExitUtilityStatusHidden;
    return static_cast<int>(status);
}

bool FromListed(std::u16string_view list, std::u16string_view version)
{
    for (std::size_t from = 0; from <= list.size();) {
        std::size_t to = list.find(u',', from);
        if (to == std::u16string_view::npos) to = list.size();
        if (list.substr(from, to - from) == version) return true;
        from = to + 1;
    }
    return false;
}

namespace {

// The run ends on a road: its outcome and status.
FleetResult& Ended(FleetResult& result, FleetOutcome outcome, int status)
{
    result.outcome = outcome;
    result.status = status;
    return result;
}

}  // namespace

FleetResult RunFleet(Management& management, FleetShell& shell, VolumeEncryption& encryption,
                     const FleetRequest& request, const RunFacts& facts)
{
    FleetResult result;
    result.board = ReadBoard(management);
    result.bios = ReadBios(management);
    Decision decision = Decide(result.board.prefix);
    // Already there: nothing to flash, and no lock needed to say so. A
    // version that cannot be read is no version: the flash goes on.
    if (decision == Decision::Launch && request.target && result.bios.version.status == VersionRead::Status::Text &&
        result.bios.version.text == *request.target) {
        return Ended(result, FleetOutcome::AtTarget, kExitAtTarget);
    }
    // Only from a version listed: a later one, or one not read, is left
    // alone. Versions have no order that kestrel could trust.
    if (decision == Decision::Launch && request.from &&
        !(result.bios.version.status == VersionRead::Status::Text &&
          FromListed(*request.from, result.bios.version.text)))
        return Ended(result, FleetOutcome::NotListed, kExitNotListed);
    // A run without the rights to the flash lock takes the privilege road:
    // its message says what is missing. Only deciding: the lock is looked
    // at, not taken.
    const FlashLock lock = decision != Decision::Launch ? FlashLock::Held
                           : request.check              ? shell.PeekFlashLock()
                                                        : shell.TakeFlashLock();
    if (lock == FlashLock::NoRights) decision = Decision::Privilege;
    if (decision != Decision::Launch) {
        const Warning warning = WarningOf(decision);
        if (!request.quiet && !request.check) shell.ShowMessage(warning.text, kWarningStyle, warning.caption);
        result.outcome = lock == FlashLock::NoRights        ? FleetOutcome::NeedsAdministrator
                         : decision == Decision::WrongModel ? FleetOutcome::WrongModel
                                                            : FleetOutcome::Privilege;
        result.status = decision == Decision::WrongModel ? kExitWrongModel : kExitPrivilege;
        return result;
    }
    if (lock == FlashLock::FlashRunning) return Ended(result, FleetOutcome::FlashRunning, kExitFlashRunning);
    // Fail closed: a flash that is refused can be run again, two at once
    // cannot be undone. The owner is logged for an administrator to find.
    if (lock == FlashLock::Squatted) {
        result.squatter = shell.LockSquatter();
        return Ended(result, FleetOutcome::LockSquatted, kExitFlashRunning);
    }
    if (shell.OnBattery()) return Ended(result, FleetOutcome::OnBattery, kExitOnBattery);
    // A battery that might not carry the flash through a pulled plug: its
    // charge below the least asked for, or not known.
    if (request.minCharge) {
        const BatteryCharge charge = shell.Charge();
        result.charge = charge.percent;
        if (charge.battery && (!charge.percent || *charge.percent < *request.minCharge))
            return Ended(result, FleetOutcome::LowCharge, kExitOnBattery);
    }
    // Protection is touched only now, when the utility is there to be
    // started; a run that decides only looks.
    const bool present = shell.UtilityPresent(kFlashUtility);
    if (request.bitlocker && present)
        result.protection = request.check ? LookBeforeFlash(encryption) : SuspendBeforeFlash(encryption);
    if (request.check && !present) return Ended(result, FleetOutcome::LaunchFailed, kExitLaunchFailed);
    if (!FlashMayStart(result.protection)) return Ended(result, FleetOutcome::Protected, kExitProtected);
    if (request.check) return Ended(result, FleetOutcome::WouldStart, kExitWouldStart);
    // Written before the start: a flash that restarts the machine, or a run
    // that is ended (by an agent's time limit too), still leaves a line.
    result.job = shell.UtilityJob();
    shell.AppendLog(LogLine(facts, request, result, shell.Ticks() - facts.ticks, LogMoment::Starting));
    result.utility =
        shell.Launch(kFlashUtility, kNormalWindow, request.wait, request.wait ? request.timeoutMinutes : 0, false);
    // What the start found of the agent's job's breakaway stands; nothing
    // started, nothing is in it.
    if (!result.utility.started) result.job = AgentJob::None;
    else if (result.job != AgentJob::None) result.job = result.utility.keptInAgentJob ? AgentJob::Kept : AgentJob::Left;
    if (!result.utility.started) result.protection = ResumeAfterNoStart(encryption, result.protection);
    // A utility that needs elevation is never started through the consent
    // road: the elevated process would run outside the lock.
    if (result.utility.needsElevation) {
        if (!request.quiet) shell.ShowMessage(kPrivilegeText, kWarningStyle, kPrivilegeCaption);
        return Ended(result, FleetOutcome::NeedsAdministrator, kExitPrivilege);
    }
    if (!result.utility.started) return Ended(result, FleetOutcome::LaunchFailed, kExitLaunchFailed);
    // Past the time limit kestrel stops waiting; the flash goes on, and
    // keeps the lock.
    if (result.utility.timedOut) return Ended(result, FleetOutcome::TimedOut, kExitTimedOut);
    return Ended(result, FleetOutcome::Launched, request.wait ? WaitedStatus(result.utility.status) : kExitLaunched);
}

FleetResult RunUsageError(FleetShell& shell, const FleetRequest& request, std::u16string_view argument,
                          std::u16string_view usage, std::u16string_view why)
{
    FleetResult result;
    result.outcome = FleetOutcome::Usage;
    result.status = kExitUsage;
    result.argument = std::u16string(argument);
    if (request.quiet) return result;
    if (why.empty()) {
        shell.TellUsage(usage, false);
        return result;
    }
    std::u16string text(why);
    text += argument;
    text += u"\n";
    text += usage;
    shell.TellUsage(text, true);
    return result;
}

}  // namespace kestrel
