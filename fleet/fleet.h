// A fleet run: the same probe and decision as the plain routine, asked for on
// the command line, with no box under /quiet, a wait for the utility under
// /wait, one flash at a time, no flash on battery, and a line in a log.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ports.h"
#include "probe.h"
#include "protection.h"
#include "update_gate.h"

namespace kestrel {

// kestrel's own statuses beside those of the plain routine (0 to 3) and of
// an internal failure (70). A waited utility's status is passed on as it is
// unless it is one of these (or 1 to 3, or 70), which would say something
// of kestrel's own: then the status is kExitUtilityStatusHidden and the log
// has the utility's. Intune retries 1618 by default, Configuration Manager
// 1618 (and, as those who run it report, 4 and 70 for a package's program);
// 6, 7, 9, 10, 11, 12 and 15 are retried by neither, as a second run would
// do no better (15 is past the 13 and 14 those lists are reported to hold).
enum FleetExitStatus : int {
    kExitOnBattery = 4,            // on battery power: nothing started
    kExitUtilityStatusHidden = 6,  // the utility ended with a status of ours, or one not known
    kExitUsage = 7,                // a command line not understood: nothing started
    kExitTimedOut = 9,             // the wait's time limit passed: the flash may still run
    kExitWouldStart = 10,          // asked only to decide: the utility would be started
    kExitAtTarget = 11,            // the firmware is already at the target version: nothing to do
    kExitProtected = 12,           // disk protection is on and was not suspended: nothing started
    kExitNotListed = 15,           // the firmware's version is not one the flash may start from
    kExitInternalFailure = 70,
    // kExitFlashRunning (1618, update_gate.h): another flash runs, or an
    // object that no administrator made holds the lock's name.
};

// The status a fleet run ends with, for a utility that was waited for and
// ended with `utility` (nothing when its status could not be read). 259 is
// STILL_ACTIVE: a caller that polls GetExitCodeProcess would read it as a
// kestrel that never ends, so it is hidden too.
int WaitedStatus(std::optional<std::uint32_t> utility);

// The facts of the run that go into each of its log lines, taken as it
// starts.
struct RunFacts {
    std::string started;      // local time with its offset, ISO 8601 (ASCII)
    std::string run;          // the run's id: no other run on the machine has it
    std::uint32_t ticks = 0;  // the shell's clock (Ticks) at the start
    std::u16string computer;
    std::u16string account;  // with its domain, in the system's language
    std::string accountSid;  // the same account's SID ("S-1-5-18"), in every language; empty when unknown
    std::optional<std::uint32_t> session;
};

// A run's id: the process's id and its start time (in any unit that no two
// runs share), as hexadecimal digits.
std::string RunId(std::uint32_t process, std::uint64_t time);

struct UtilityEnd {
    bool started = false;
    // Not started: the utility asks for rights this run lacks, and nobody
    // may be asked for consent.
    bool needsElevation = false;
    // The wait's time limit passed before the flash had ended.
    bool timedOut = false;
    // Started inside the agent's job, which its breakaway was refused.
    bool keptInAgentJob = false;
    // Set when the run waited and the utility's status could be read.
    std::optional<std::uint32_t> status;
};

// A battery's charge as the machine tells it: no battery at all, or one
// whose charge is known (0 to 100 percent) or not.
struct BatteryCharge {
    bool battery = true;
    std::optional<unsigned> percent;
};

// Where the utility runs with respect to a job that kestrel was started in
// (a deployment agent's, the Task Scheduler's): that job's end, or its time
// limit, ends every process in it and in the jobs nested in it.
enum class AgentJob {
    None,  // kestrel runs in no job
    Left,  // the job lets the utility break away: it does
    Kept,  // it does not: the agent's end ends the flash
};

// The processes of a flash that have been given the lock's handle, however
// many. A process is known by its id and its start time together: an id is a
// process's own only "until the process terminates" (GetCurrentProcessId,
// Microsoft Learn), and a later process may get it.
class FlashMembers {
public:
    bool Holds(std::uint32_t id, std::uint64_t start) const;
    void Add(std::uint32_t id, std::uint64_t start) { members_.push_back({id, start}); }

private:
    struct Member {
        std::uint32_t id;
        std::uint64_t start;
    };
    std::vector<Member> members_;
};

// What a fleet run finds of the machine's flash lock.
enum class FlashLock {
    Held,          // this run's now: its flash may start
    FlashRunning,  // another flash runs: some process of it still lives
    NoRights,      // only an administrator may take it, and this run is none
    // An object of one of the lock's names that neither Administrators nor
    // SYSTEM owns, a user's: nothing can be told of a flash, none starts.
    Squatted,
};

// The platform's side of a fleet run. The shell knows the utility's
// arguments and the log file; the flash lock, once held, belongs to the
// flash and goes with its last process.
class FleetShell {
public:
    virtual ~FleetShell() = default;
    // The plain routine's box (or message, where nobody sees a box).
    virtual bool ShowMessage(std::u16string_view text, int style, std::u16string_view caption) = 0;
    // Takes the machine's flash lock for this run's flash, which keeps it
    // until its last process has ended.
    virtual FlashLock TakeFlashLock() = 0;
    // What TakeFlashLock would find, without taking the lock.
    virtual FlashLock PeekFlashLock() = 0;
    // Squatted: the owner's SID of the object found ("S-1-5-21-..."),
    // empty when it could not be read; it lasts as long as the shell.
    virtual std::string_view LockSquatter() = 0;
    // Where the utility will run, as far as kestrel's own job tells it.
    virtual AgentJob UtilityJob() = 0;
    // Whether the utility is there to be started, where Launch looks for it.
    virtual bool UtilityPresent(std::u16string_view fileName) = 0;
    // True only when the machine says it runs on battery power.
    virtual bool OnBattery() = 0;
    // The battery's charge, where there is one.
    virtual BatteryCharge Charge() = 0;
    // Starts the utility with its arguments; waits for every process of the
    // flash when `wait`, for `timeoutMinutes` at most unless that is 0.
    // Unless `mayPrompt`, a utility that needs elevation is not started.
    // A fleet run never prompts: the shell's elevated start cannot hold
    // the process before it runs, so the utility would run outside the lock.
    virtual UtilityEnd Launch(std::u16string_view fileName, int windowState, bool wait, unsigned timeoutMinutes,
                              bool mayPrompt) = 0;
    // The usage, where the user is: the console the program was started
    // from, else a box; `error` when the command line was not understood.
    virtual void TellUsage(std::u16string_view text, bool error) = 0;
    virtual RunFacts Facts() = 0;
    // Milliseconds on a clock that only goes forward (wrapping around).
    virtual std::uint32_t Ticks() = 0;
    // Appends a line (UTF-8, with its line feed) to the log, if there is one;
    // true when it was written whole.
    virtual bool AppendLog(std::string_view line) = 0;
};

enum class FleetOutcome {
    Privilege,
    WrongModel,
    FlashRunning,
    OnBattery,
    LaunchFailed,
    Launched,
    Usage,
    NeedsAdministrator,  // the lock or the utility needs rights this run lacks
    TimedOut,            // started, and still running when the wait's time was up
    WouldStart,          // asked only to decide, and the utility would be started
    AtTarget,            // the firmware's version is the target's
    Protected,           // disk protection stays on: the flash would lock the disk
    NotListed,           // the firmware's version is not in the list to flash from
    LowCharge,           // a battery below the charge asked for, or of a charge unknown
    LockSquatted,        // a user's object holds the lock's name: nothing started
};

struct FleetRequest {
    bool quiet = false;
    bool wait = false;
    unsigned timeoutMinutes = 0;  // with wait; 0: no limit
    // Decide only: no box, nothing started, no lock taken; the status the
    // run would have had, or kExitWouldStart for a start.
    bool check = false;
    // The firmware version the flash brings: a machine that has it already
    // is not flashed again. Compared whole and exactly.
    std::optional<std::u16string> target;
    // Suspend disk protection for the restart after the flash.
    bool bitlocker = false;
    // The firmware versions a flash may start from, separated by commas
    // (FromListed): a machine on any other, or on one that cannot be read,
    // is not flashed.
    std::optional<std::u16string> from;
    // The least charge, in percent, of a battery the flash may start on.
    std::optional<unsigned> minCharge;
};

// Whether `version` is one of the comma-separated `list`'s, compared whole
// and exactly.
bool FromListed(std::u16string_view list, std::u16string_view version);

struct FleetResult {
    FleetOutcome outcome = FleetOutcome::Privilege;
    int status = kExitPrivilege;
    BoardReport board;
    BoardReport bios;  // the firmware's version: its prefix unused
    ProtectionStep protection = ProtectionStep::NotAsked;
    UtilityEnd utility;
    std::u16string argument;  // Usage: what was not understood
    // With a least charge asked for: the battery's charge, when read.
    std::optional<unsigned> charge;
    AgentJob job = AgentJob::None;  // set once the utility is to start
    std::string_view squatter;      // LockSquatted: the object's owner SID, the shell's
};

// Reads the board and the firmware, decides as the plain routine does, and
// acts as asked; the log gets a line just before the utility starts.
FleetResult RunFleet(Management& management, FleetShell& shell, VolumeEncryption& encryption,
                     const FleetRequest& request, const RunFacts& facts);

inline constexpr std::u16string_view kUsageCaption = u"kestrel";
inline constexpr int kUsageErrorStyle = 48;  // OK button, exclamation icon
inline constexpr int kUsageHelpStyle = 64;   // OK button, information icon

// A command line that was not understood: the usage told (unless quiet)
// after a line naming the argument (`why` before it), nothing started, the
// usage status.
FleetResult RunUsageError(FleetShell& shell, const FleetRequest& request, std::u16string_view argument,
                          std::u16string_view usage, std::u16string_view why = u"Unknown: ");

// The usage asked for (`argument`): told unless quiet, nothing started, and
// the usage status, as a run that did nothing must not read as success. An
// empty `why` is what tells it from an error.
inline FleetResult RunHelp(FleetShell& shell, const FleetRequest& request, std::u16string_view argument,
                           std::u16string_view usage)
{
    return RunUsageError(shell, request, argument, usage, u"");
}

}  // namespace kestrel
