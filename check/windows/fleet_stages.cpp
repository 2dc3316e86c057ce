// The fleet mode on this machine: kestrel.exe under /quiet on the board's
// road with a log, the same only deciding (/check), a command line not
// understood, and, where this machine
// lets a flash start, /wait against the stand-in's statuses and a second
// run during a waited flash.
#include <windows.h>

#include "../fleet_outcome.h"
#include "../log_lines.h"
#include "admin_only.h"
#include "checker.h"
#include "console_end.h"
#include "console.h"
#include "handle.h"
#include "machine.h"
#include "program_path.h"
#include "text.h"

namespace kestrel::check {

namespace {

// How long a run during the flash is given to end on its own before the
// flash is let go: a right run ends with 1618 once it has read the board,
// which a WMI service that has just started takes many seconds to answer.
// A run that still has not ended by then waits for a flash of its own (a
// careless gate): the flash let go, the stage ends failed rather than at the
// first run's limit.
constexpr DWORD kDuringFlashMs = 30000;

// Runs of kestrel.exe during the stage's waited flash, outside the debug
// tree: a second run once the utility runs; once it has ended, the first
// run ended by force; then a third run; once that has ended, the stand-in
// let go (hold.txt removed). Each run is waited for to its own end: only a
// run that has not ended within kDuringFlashMs has the flash let go; one
// still going when the first run's tree is over is ended with the scratch
// folder's other leftovers, and told as still running (Finish), never by
// the status its ending gave it.
class SecondRuns : public RunWatcher {
public:
    SecondRuns(const Stage& stage, std::wstring hold) : stage_(stage), hold_(std::move(hold)) {}

    void Turn(HANDLE first, bool utilityRuns) override
    {
        if (phase_ == 0 && utilityRuns) {
            second_ = Start();
            since_ = GetTickCount();
            phase_ = 1;
        }
        if (phase_ == 1 && Ended(second_, secondExit_)) {
            TerminateProcess(first, 1);
            phase_ = 2;
        } else if (phase_ == 2 && WaitForSingleObject(first, 0) == WAIT_OBJECT_0) {
            third_ = Start();
            since_ = GetTickCount();
            phase_ = 3;
        } else if (phase_ == 3 && Ended(third_, thirdExit_)) {
            LetGo();
            phase_ = 4;
        }
        if ((phase_ == 1 || phase_ == 3) && GetTickCount() - since_ > kDuringFlashMs) LetGo();
    }
    // Once the first run's tree is over: a run whose end was not seen
    // meanwhile was still running then; it is ended, if it has not been.
    void Finish()
    {
        const bool seen[] = {phase_ >= 2, phase_ >= 4};
        Handle* runs[] = {&second_, &third_};
        unsigned long* exits[] = {&secondExit_, &thirdExit_};
        bool* left[] = {&secondLeft_, &thirdLeft_};
        for (int i = 0; i < 2; ++i) {
            if (!*runs[i] || seen[i]) continue;
            *left[i] = true;
            TerminateProcess(runs[i]->get(), 1);
            WaitForSingleObject(runs[i]->get(), 5000);
            Ended(*runs[i], *exits[i]);
        }
    }
    // "exit status N", or why there is none.
    std::string Second() const { return Told(second_, secondExit_, secondLeft_); }
    std::string Third() const { return Told(third_, thirdExit_, thirdLeft_); }
    unsigned long second() const { return secondLeft_ ? 0xFFFFFFFF : secondExit_; }
    unsigned long third() const { return thirdLeft_ ? 0xFFFFFFFF : thirdExit_; }

private:
    // In the system folder: Wine's COM surrogate starts in its caller's
    // folder and stays, and these runs are no debuggees whose surrogate the
    // check ends.
    Handle Start()
    {
        std::wstring line = L"\"" + stage_.program + L"\" /quiet";
        const std::wstring folder = SystemFolder();
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!CreateProcessW(stage_.program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            folder.empty() ? nullptr : folder.c_str(), &startup, &process))
            return Handle();
        CloseHandle(process.hThread);
        EndOnConsoleEnd(process.hProcess);
        return Handle(process.hProcess);
    }
    void LetGo()
    {
        if (!letGo_) letGo_ = DeleteFileW(hold_.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
    }
    // Whether the run has ended, its status then in `exit`; a run that could
    // not be started has ended with a status of none.
    static bool Ended(const Handle& run, unsigned long& exit)
    {
        DWORD status = 0;
        if (run && WaitForSingleObject(run.get(), 0) != WAIT_OBJECT_0) return false;
        exit = run && GetExitCodeProcess(run.get(), &status) ? status : 0xFFFFFFFF;
        if (run) ForgetOnConsoleEnd(run.get());
        return true;
    }
    static std::string Told(const Handle& run, unsigned long exit, bool left)
    {
        if (!run) return "not started";
        if (left) return "still running when the flash was over (ended by the check)";
        return "exit status " + std::to_string(exit);
    }

    const Stage& stage_;
    std::wstring hold_;
    Handle second_, third_;
    int phase_ = 0;
    DWORD since_ = 0;
    bool letGo_ = false, secondLeft_ = false, thirdLeft_ = false;
    unsigned long secondExit_ = 0xFFFFFFFF, thirdExit_ = 0xFFFFFFFF;
};

std::string Planted(const Seen& seen)
{
    std::vector<std::string> shown;
    for (const std::wstring& path : seen.planted) shown.push_back(Shown(path));
    return shown.empty() ? std::string() : "planted DLL loaded: " + List(shown) + "; ";
}

}  // namespace

void Checker::FleetLine(const std::string& check, const Stage& stage, const std::wstring& switches,
                        const FleetExpected& expected, const std::wstring& log)
{
    // kestrel.exe writes no log beyond a reparse point: nothing to read.
    if (!log.empty() && NoLogHere(check)) return;
    const std::wstring arguments = switches + (log.empty() ? L"" : L" \"/log:" + log + L"\"");
    const Seen seen = RunOnStage(stage.program, stage.cwd, stage.bin, SW_SHOWNORMAL, arguments);
    std::string fault = MeetsFleet(seen, expected, Utf8(stage.bin)) ? "" : Wanted(expected) + " expected; ";
    std::string logged;
    if (!log.empty()) {
        const auto bytes = ReadFileBytes(log);
        const std::string text = bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
        std::string wrong = LogFault(text, versionRead_, seen.exit);
        if (wrong.empty() && expected.starts) wrong = StartingFault(text);
        if (!wrong.empty()) fault += "log: " + wrong + "; ";
        else logged = "; log: " + std::to_string(RecordLines(text).size()) + " whole JSON lines naming the board";
    }
    Say(fault.empty() ? report_.Held(check, Describe(seen) + logged)
                      : report_.Failed(check, Planted(seen) + fault + Describe(seen)));
}

void Checker::Fleet()
{
    if (!Asked(kFleetStage, "fleet")) return;
    const FleetMachine machine{RunsAsAdministrator(), onBattery_};
    const std::wstring standin = InFolder(tools_, L"standin.exe");
    if (const auto stage = MakeStage(scratch_, L"quiet", program_, standin); !stage || !Plant(*stage))
        Say(report_.Failed("fleet /quiet /log:FILE", NotFilled()));
    else
        FleetLine("fleet /quiet /log:FILE", *stage, L"/quiet", FleetExpectedFor(road_, machine),
                  InFolder(stage->cwd, L"flash log.txt"));
    // Deciding only: the status the run would have had, or 10, and nothing
    // started, whatever the road.
    if (const auto stage = MakeStage(scratch_, L"check", program_, standin); !stage || !Plant(*stage))
        Say(report_.Failed("fleet /check /quiet /log:FILE", NotFilled()));
    else
        FleetLine("fleet /check /quiet /log:FILE", *stage, L"/check /quiet", DecidingExpectedFor(road_, machine),
                  InFolder(stage->cwd, L"flash log.txt"));
    if (const auto stage = MakeStage(scratch_, L"usage", program_, standin); !stage || !Plant(*stage))
        Say(report_.Failed("fleet /quiet /bogus", NotFilled()));
    else FleetLine("fleet /quiet /bogus", *stage, L"/quiet /bogus", FleetExpected{7});
}

void Checker::FleetWaits()
{
    if (!Asked(kWaitStage, "fleet /wait")) return;
    const FleetMachine machine{RunsAsAdministrator(), onBattery_,
                               UtilityOnlyWait(version_.major, version_.minor, job_)};
    const std::wstring standin = InFolder(tools_, L"standin.exe");
    if (!FleetExpectedFor(road_, machine).starts)
        return Say(
            report_.Skipped("fleet /wait", "no flash starts on this machine (the road, the rights or the power)"));
    // The stand-in stays a while, its child five seconds longer (longer than
    // a gate that gives the utility's children a few seconds more instead of
    // waiting for them would wait), and ends with a status of its own, 3010,
    // 1641, a crash's, or one of kestrel's.
    const struct {
        const char* check;
        const wchar_t* folder;
        unsigned long status;
        unsigned childMs;
    } waits[] = {
        {"fleet /quiet /wait /log:FILE, the utility ending with 0 and its child later", L"wait 0", 0, 5000},
        {"fleet /quiet /wait /log:FILE, the utility ending with 3010", L"wait 3010", 3010, 0},
        {"fleet /quiet /wait /log:FILE, the utility ending with 7 (kestrel's own: 6)", L"wait 7", 7, 0},
        // A restart started, a crash and another flash running: none is
        // success, and the last says something of kestrel's own.
        {"fleet /quiet /wait /log:FILE, the utility ending with 1641", L"wait 1641", 1641, 0},
        {"fleet /quiet /wait /log:FILE, the utility crashing (0xC0000005)", L"wait crash", 0xC0000005, 0},
        {"fleet /quiet /wait /log:FILE, the utility ending with 1618 (kestrel's own: 6)", L"wait 1618", 1618, 0},
    };
    for (const auto& wait : waits) {
        const auto stage = MakeStage(scratch_, wait.folder, program_, standin);
        if (!stage || !SetStandinEnd(stage->bin, kStandinStayMs, wait.status, wait.childMs, false) || !Plant(*stage)) {
            Say(report_.Failed(wait.check, NotFilled()));
            continue;
        }
        FleetLine(wait.check, *stage, L"/quiet /wait",
                  FleetExpectedFor(road_, machine, true, wait.status, wait.childMs != 0),
                  InFolder(stage->cwd, L"flash log.txt"));
    }
    const char* busy = "fleet /quiet /wait, then /quiet twice during its flash, the first run ended by force between";
    const auto stage = MakeStage(scratch_, L"busy", program_, standin);
    const std::wstring hold = stage ? InFolder(stage->bin, L"hold.txt") : std::wstring();
    if (!stage || !Plant(*stage)) return Say(report_.Failed(busy, NotFilled()));
    // The first run's log, where kestrel.exe writes one: ended by force
    // during the flash, the run has left its line "starting" there, or a
    // tool that ends it (an agent's time limit) finds no line of the flash.
    const std::wstring log = scratch_.ThroughReparsePoint() ? std::wstring() : InFolder(stage->cwd, L"flash log.txt");
    SecondRuns runs(*stage, hold);
    const Seen seen = RunOnStage(stage->program, stage->cwd, stage->bin, SW_SHOWNORMAL,
                                 L"/quiet /wait" + (log.empty() ? L"" : L" \"/log:" + log + L"\""), &runs);
    runs.Finish();
    const auto bytes = log.empty() ? std::nullopt : ReadFileBytes(log);
    const std::string logFault =
        log.empty() ? std::string() : ForcedEndFault(bytes ? std::string(bytes->begin(), bytes->end()) : "");
    const std::string account = "second run: " + runs.Second() + "; after the first was ended: " + runs.Third() +
                                "; the first: " + Describe(seen);
    if (!logFault.empty()) return Say(report_.Failed(busy, "log: " + logFault + "; " + Planted(seen) + account));
    Say(RefusedDuringFlash(seen, runs.second(), runs.third())
            ? report_.Held(busy, account)
            : report_.Failed(busy, "1618 and nothing started, twice, the flash on to its own end expected; " +
                                       Planted(seen) + account));
}

}  // namespace kestrel::check
