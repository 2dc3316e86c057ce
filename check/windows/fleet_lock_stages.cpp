// The flash lock's stages: a user's object of the lock's name, a plain run
// during a flash, a run inside a job that ends its processes as it closes.
#include <windows.h>
#include <objbase.h>
#include <sddl.h>

#include <algorithm>
#include <optional>

#include "../fleet_outcome.h"
#include "../log_lines.h"
#include "admin_only.h"
#include "bitlocker.h"
#include "checker.h"
#include "console.h"
#include "console_end.h"
#include "flash_job.h"
#include "handle.h"
#include "machine.h"
#include "message_shell.h"
#include "processes.h"
#include "switch_runs.h"
#include "program_path.h"
#include "text.h"
#include "wide.h"

namespace kestrel::check {

namespace {

// The account of this process's token, as a SID's text; empty when unread.
std::wstring OwnAccount()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    Handle held(token);
    BYTE buffer[256];
    DWORD size = 0;
    LPWSTR text = nullptr;
    if (!GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text))
        return {};
    std::wstring sid = text;
    LocalFree(text);
    return sid;
}

}  // namespace

void Checker::FleetSquatter()
{
    if (!Asked(kLockStage, "fleet lock")) return;
    const FleetMachine machine{RunsAsAdministrator(), onBattery_};
    // A user's object of the lock's name: owned by this account, as a
    // standard user's objects are, which only its user and SYSTEM may open.
    // Before any stage's flash: a job of that name (Wine keeps one after its
    // flash) takes the name from any other kind of object.
    const char* squat = "fleet /quiet /log:FILE, a user's object holding the flash lock's name";
    const std::wstring owner = OwnAccount();
    if (!FleetExpectedFor(road_, machine).starts)
        return Say(report_.Skipped(squat, "no flash starts on this machine (the road, the rights or the power)"));
    if (owner.empty() || owner == L"S-1-5-18")
        return Say(report_.Skipped(squat,
                                   "the check runs as SYSTEM (or its account is unread): an object it makes "
                                   "is no user's"));
    // Nothing planted yet this early: the double-click's run below is.
    const auto stage = MakeStage(scratch_, L"squatted", program_, InFolder(tools_, L"standin.exe"));
    if (!stage) return Say(report_.Failed(squat, NotFilled()));
    PSECURITY_DESCRIPTOR sd = nullptr;
    const std::wstring sddl = L"O:" + owner + L"D:(A;;GA;;;" + owner + L")(A;;GA;;;SY)";
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr))
        attributes.lpSecurityDescriptor = sd;
    const Handle object(sd ? CreateMutexW(&attributes, FALSE, kFlashLockName) : nullptr);
    const DWORD error = GetLastError();
    if (sd) LocalFree(sd);
    // An object of that name already there: a flash runs, or has just run.
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_INVALID_HANDLE || error == ERROR_ACCESS_DENIED)
        return Say(report_.Skipped(squat, "an object of the lock's name is there already (error " +
                                              std::to_string(error) + "): a flash runs"));
    if (!object)
        return Say(report_.Failed(squat, "the object could not be made (error " + std::to_string(error) + ")"));
    SwitchLine(squat, *stage, L"/quiet", kRefused, InFolder(stage->cwd, L"flash log.txt"));
}

void Checker::FleetLock()
{
    if (!(stages_ & kLockStage)) return;
    const FleetMachine machine{RunsAsAdministrator(), onBattery_};
    const std::wstring standin = InFolder(tools_, L"standin.exe");
    // A technician's double-click while a fleet flash runs: the box that
    // says so, nothing started.
    const char* plain = "plain run (no switches) while a /quiet flash runs";
    if (!FleetExpectedFor(road_, machine).starts)
        return Say(report_.Skipped(plain, "no flash starts on this machine (the road, the rights or the power)"));
    const auto flash = MakeStage(scratch_, L"flash", program_, standin);
    const auto twice = MakeStage(scratch_, L"double click", program_, standin);
    if (!flash || !twice || !SetStandinEnd(flash->bin, 500, 0, 0, true) || !Plant(*twice))
        return Say(report_.Failed(plain, NotFilled()));
    const Handle first = StartOutside(flash->program, L"/quiet");
    const bool running = first && Until([&] { return !StartLines(LiveRecord(flash->bin)).empty(); }, 30000);
    const unsigned long firstExit = first ? EndOf(first, 30000).value_or(0xFFFFFFFF) : 0xFFFFFFFF;
    if (!running || firstExit != 0) {
        EndScratchProcesses(ScratchSpellings(flash->folder));
        return Say(report_.Failed(
            plain, "the /quiet flash before it did not start (exit status " + std::to_string(firstExit) + ")"));
    }
    Expected expected{false, Utf8(kestrel::Wide(kWrongModelCaption)), Utf8(kestrel::Wide(kFlashRunningText)), 1618,
                      true};
    if (!BoxSeen(ThisBoxSeat())) expected.box = false;
    const Seen seen = RunOnStage(twice->program, twice->cwd, twice->bin, SW_SHOWNORMAL, {}, nullptr, twice->folder);
    DeleteFileW(InFolder(flash->bin, L"hold.txt").c_str());
    Until([&] { return EndedOnItsOwn(LiveRecord(flash->bin)); }, 10000);
    EndScratchProcesses(ScratchSpellings(flash->folder));
    std::vector<std::string> planted;
    for (const std::wstring& path : seen.planted) planted.push_back(Shown(path));
    const std::string account = Describe(seen);
    if (!planted.empty()) Say(report_.Failed(plain, "planted DLL loaded: " + List(planted) + "; " + account));
    else if (!AsExpected(seen, expected, Utf8(twice->bin), !OnWine()))
        Say(report_.Failed(
            plain, "the box \"" + expected.text + "\", exit status 1618, nothing started expected; " + account));
    else Say(report_.Held(plain, account));
}

void Checker::FleetAgentJob()
{
    const char* check = "fleet /quiet /log:FILE in a job that ends its processes as it closes, closed at its end";
    if (!Asked(kAgentJobStage, "fleet in an agent's job")) return;
    const FleetMachine machine{RunsAsAdministrator(), onBattery_};
    if (!FleetExpectedFor(road_, machine).starts)
        return Say(report_.Skipped("fleet in an agent's job",
                                   "no flash starts on this machine (the road, the rights or the power)"));
    if (NoLogHere(check)) return;
    // The stand-in stays while hold.txt is there, which goes once the job
    // has closed: the flash is still running when the job closes, however
    // long kestrel.exe takes to end after its start.
    const auto stage = MakeStage(scratch_, L"agent job", program_, InFolder(tools_, L"standin.exe"));
    if (!stage || !SetStandinEnd(stage->bin, 500, 0, 0, true)) return Say(report_.Failed(check, NotFilled()));
    // As a deployment agent's: it lets its processes break away, and ends
    // those that did not as its last handle goes.
    Handle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    if (!job || !SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits))
        return Say(report_.Failed(check, "the job could not be made (error " + std::to_string(GetLastError()) + ")"));
    const std::wstring log = InFolder(stage->cwd, L"flash log.txt");
    const Handle run = StartOutside(stage->program, L"/quiet \"/log:" + log + L"\"", job.get());
    // Windows 7 and earlier put a process in one job only: a check that runs
    // in one already cannot put kestrel.exe in another.
    if (!run)
        return Say(report_.Skipped(check, "kestrel.exe could not be put in a job (error " +
                                              std::to_string(GetLastError()) +
                                              "): this check runs in a job already, on a Windows that nests none"));
    const auto exit = EndOf(run, 30000);
    // The agent closes its job once the utility has been seen to start.
    Until([&] { return !StartLines(LiveRecord(stage->bin)).empty(); }, 5000);
    job.Close();
    DeleteFileW(InFolder(stage->bin, L"hold.txt").c_str());
    // The flash goes on to its own end; one ended with the job lets go of
    // its record at once, without the line that says it ended.
    // A stand-in slow to start may write its start only now.
    const std::wstring launched = InFolder(stage->bin, L"launched.txt");
    Until([&] { return !StartLines(LiveRecord(stage->bin)).empty() && ReadFileBytes(launched).has_value(); }, 15000);
    const bool ended = EndedOnItsOwn(LiveRecord(stage->bin));
    EndScratchProcesses(ScratchSpellings(stage->folder));
    const std::string record = LiveRecord(stage->bin);
    const std::size_t starts = StartLines(record).size();
    std::string fault;
    if (!exit || *exit != 0) fault += "exit status 0 expected; ";
    if (starts != 1 || !ended)
        fault += "the utility started once and on to its own end after the job closed expected; ";
    if (const std::string wrong = LogFault(Text(log), versionRead_, exit.value_or(0)); !wrong.empty())
        fault += "log: " + wrong + "; ";
    const std::string account = (exit ? "exit status " + std::to_string(*exit) : std::string("no end within 30 s")) +
                                "; utility started " + std::to_string(starts) + " times, " +
                                (ended ? "ended on its own after the job closed" : "ended with the job");
    Say(fault.empty() ? report_.Held(check, account) : report_.Failed(check, fault + account));
}

}  // namespace kestrel::check
