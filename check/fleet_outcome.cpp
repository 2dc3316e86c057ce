#include "fleet_outcome.h"

#include "report.h"

namespace kestrel::check {

unsigned long WaitedStatusFor(unsigned long utility)
{
    for (const unsigned long own : {1ul, 2ul, 3ul, 4ul, 6ul, 7ul, 9ul, 10ul, 11ul, 12ul, 70ul, 259ul, 1618ul})
        if (utility == own) return 6;
    return utility;
}

bool UtilityOnlyWait(unsigned long major, unsigned long minor, AgentJob job)
{
    const bool nests = major > 6 || (major == 6 && minor >= 2);
    return job == AgentJob::Kept && !nests;
}

FleetExpected FleetExpectedFor(Decision road, const FleetMachine& machine, bool wait, unsigned long standinStatus,
                               bool child)
{
    switch (road) {
    case Decision::Launch: break;
    case Decision::WrongModel: return {kExitWrongModel};
    case Decision::Privilege: return {kExitPrivilege};
    }
    if (!machine.administrator) return {kExitPrivilege};
    if (machine.onBattery) return {4};
    if (!wait) return {kExitLaunched, true};
    const bool utilityOnly = child && machine.utilityOnlyWait;
    return {WaitedStatusFor(standinStatus), true, true, child && !utilityOnly, utilityOnly};
}

FleetExpected DecidingExpectedFor(Decision road, const FleetMachine& machine)
{
    const FleetExpected run = FleetExpectedFor(road, machine);
    return FleetExpected{run.starts ? 10ul : run.status};
}

bool MeetsFleet(const Seen& seen, const FleetExpected& expected, std::string_view utilityFolder,
                std::string_view arguments)
{
    if (!seen.planted.empty() || seen.startError || seen.timedOut || seen.exit != expected.status ||
        !seen.boxes.empty() || !seen.decoy.empty() || !seen.children.empty() || !seen.leftovers.empty())
        return false;
    const auto starts = StartLines(seen.utility);
    if (!expected.starts) return starts.empty();
    const auto start = starts.size() == 1 ? ParseStart(starts[0]) : std::nullopt;
    // Started as the plain road starts it: shown, with no arguments of the
    // gate's own (only those given after "--"), in its folder.
    if (!start || !start->useStartup || start->show != 1 || start->args != arguments ||
        Lower(start->cwd) != Lower(utilityFolder) || !EndedOnItsOwn(seen.utility))
        return false;
    if (!expected.waits) return seen.endedWhileUtilityRan;
    if (expected.utilityOnly) return seen.endedAfterUtility;
    return seen.endedLast && (!expected.child || ChildEnded(seen.utility));
}

std::string Wanted(const FleetExpected& expected)
{
    const std::string status = "exit status " + std::to_string(expected.status);
    if (!expected.starts) return status + ", no box, nothing started";
    if (!expected.waits) return status + " while the utility runs on, no box";
    if (expected.utilityOnly)
        return status +
               " once the utility's own process had ended (its child outside the wait: Windows 7 or "
               "earlier in a job that allows no breakaway), no box";
    return status + " once the utility" + (expected.child ? " and its child" : "") + " had ended, no box";
}

bool RefusedDuringFlash(const Seen& first, unsigned long second, unsigned long third)
{
    return second == 1618 && third == 1618 && first.planted.empty() && first.boxes.empty() && first.decoy.empty() &&
           first.children.empty() && first.leftovers.empty() && StartLines(first.utility).size() == 1 &&
           EndedOnItsOwn(first.utility);
}

std::string TimeLimitFault(unsigned long exit, unsigned long endedAfterMs, unsigned long limitMs, unsigned long slackMs,
                           std::string_view utility, bool utilityRan)
{
    const std::size_t starts = StartLines(utility).size();
    if (starts != 1) return "the utility started " + std::to_string(starts) + " times";
    if (exit != 9) return "exit status " + std::to_string(exit) + ", not 9";
    if (endedAfterMs < limitMs) return "ended before its time limit";
    if (endedAfterMs > limitMs + slackMs) return "ended long after its time limit";
    if (!utilityRan || EndedOnItsOwn(utility)) return "the utility was no longer running";
    return {};
}

}  // namespace kestrel::check
