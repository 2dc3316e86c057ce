// What a fleet run (kestrel.exe with a command line) must show on this
// machine, and whether it did: the release check's decisions on the fleet
// mode, free of any platform.
#pragma once

#include <string>

#include "fleet.h"
#include "run_outcome.h"

namespace kestrel::check {

// The status a waited run ends with when the utility ended with `utility`,
// as the table of statuses for deployers gives it: one of kestrel's own (1
// to 4, 6, 7, 9 to 12, 70, 1618) or 259 comes back as 6, any other as it is.
unsigned long WaitedStatusFor(unsigned long utility);

// What the machine lets a fleet run do.
struct FleetMachine {
    bool administrator = false;  // elevated, or SYSTEM: the flash lock may be taken
    bool onBattery = false;      // a battery present and the mains off
    // /wait waits for the utility's own process only, not for the processes
    // it starts (UtilityOnlyWait).
    bool utilityOnlyWait = false;
};

// Whether a waited run on Windows `major`.`minor`, kestrel's process being
// where `job` says with respect to its starter's job, waits for the
// utility's own process only: on Windows 7 and earlier, where a process is
// in one job at most, a utility kept in a job that allows no breakaway
// cannot join the flash's own job, and kestrel then waits for that process
// alone, as its documents say. From Windows 8 on, jobs nest.
bool UtilityOnlyWait(unsigned long major, unsigned long minor, AgentJob job);

// What a fleet run under /quiet asks of the program.
struct FleetExpected {
    unsigned long status = 0;
    bool starts = false;  // the utility started once, in its own folder
    // With /wait: the program ends after the utility and its child, each
    // ended on its own; without it, it ends while the utility runs on.
    bool waits = false;
    bool child = false;
    // With /wait and a child: the program ends once the utility's own
    // process has (FleetMachine::utilityOnlyWait); the child may outlive it.
    bool utilityOnly = false;
};

// The road's status under /quiet on this machine (the lock needs an
// administrator and comes before the power: 1, else 4 on battery, else the
// start); `waitedFor`, when set, is the stand-in's status under /wait.
FleetExpected FleetExpectedFor(Decision road, const FleetMachine& machine, bool wait = false,
                               unsigned long standinStatus = 0, bool child = false);

// The same road asked only to decide (/check): 10 where the run would start
// the utility, else the road's status; never a start.
FleetExpected DecidingExpectedFor(Decision road, const FleetMachine& machine);

// Whether a fleet run went as expected: no box at all, nothing planted, no
// other program started, nothing left running, the utility started as
// expected in `utilityFolder` (UTF-8) with `arguments` (UTF-8, what followed
// "--") or not at all, and the status.
bool MeetsFleet(const Seen& seen, const FleetExpected& expected, std::string_view utilityFolder,
                std::string_view arguments = {});

// "exit status N, no box, nothing started", ...
std::string Wanted(const FleetExpected& expected);

// Whether runs during a waited flash were refused: `second`, started while
// the first run waited, and `third`, once the first had been ended by force,
// each ended with 1618 (nothing started), and the flash (`first`, the
// waiting run) started the utility once, which ran to its own end.
bool RefusedDuringFlash(const Seen& first, unsigned long second, unsigned long third);

// What is wrong with a waited run given a time limit of `limitMs`, whose
// utility outlives it, or "" when nothing is: it ended with 9 no sooner than
// the limit after the utility's start (`endedAfterMs`) and no later than
// `slackMs` past it, the utility started once (its record `utility`) and
// still running then (`utilityRan`, and no end in its record).
std::string TimeLimitFault(unsigned long exit, unsigned long endedAfterMs, unsigned long limitMs, unsigned long slackMs,
                           std::string_view utility, bool utilityRan);

}  // namespace kestrel::check
