// The fleet switches on this machine, one stage each, every line naming the
// switches it ran: /target: at the firmware's own version, at another and
// misspelt; /wait /timeout:1 with a utility that outlives it, and runs
// during that flash; what follows "--"; /check /bitlocker. The flash lock's
// stages are in fleet_lock_stages.cpp, the log's in fleet_log_stages.cpp.
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

std::string ProtectionName(VolumeProtection protection)
{
    switch (protection) {
    case VolumeProtection::Absent: return "absent";
    case VolumeProtection::Off: return "off";
    case VolumeProtection::On: return "on";
    case VolumeProtection::Converting: return "converting";
    case VolumeProtection::Unknown: break;
    }
    return "unknown";
}

}  // namespace

void Checker::SwitchLine(const std::string& check, const Stage& stage, const std::wstring& switches,
                         const FleetExpected& expected, const std::wstring& log, const std::wstring& tail)
{
    if (!log.empty() && NoLogHere(check)) return;
    std::wstring arguments = switches + (log.empty() ? L"" : L" \"/log:" + log + L"\"");
    if (!tail.empty()) arguments += L" -- " + tail;
    const Seen seen = RunOnStage(stage.program, stage.cwd, stage.bin, SW_SHOWNORMAL, arguments, nullptr, stage.folder);
    std::string fault = MeetsFleet(seen, expected, Utf8(stage.bin), Utf8(tail)) ? "" : Wanted(expected) + " expected; ";
    if (!tail.empty() && expected.starts) {
        const auto starts = StartLines(seen.utility);
        const auto start = starts.size() == 1 ? ParseStart(starts[0]) : std::nullopt;
        if (!start || start->args != Utf8(tail)) fault += "the utility's arguments [" + Utf8(tail) + "] expected; ";
    }
    std::string logged;
    if (!log.empty()) {
        const std::string wrong = LogFault(Text(log), versionRead_, seen.exit);
        if (!wrong.empty()) fault += "log: " + wrong + "; ";
        else logged = "; log: " + std::to_string(RecordLines(Text(log)).size()) + " whole JSON lines naming the board";
    }
    std::vector<std::string> planted;
    for (const std::wstring& path : seen.planted) planted.push_back(Shown(path));
    if (!planted.empty()) fault = "planted DLL loaded: " + List(planted) + "; " + fault;
    Say(fault.empty() ? report_.Held(check, Describe(seen) + logged) : report_.Failed(check, fault + Describe(seen)));
}

void Checker::FleetTarget()
{
    if (!Asked(kTargetStage, "fleet /target:")) return;
    if (road_ != Decision::Launch)
        return Say(report_.Skipped("fleet /target:", "this board does not take the launch road"));
    const std::wstring own = biosRead_.status == VersionRead::Status::Text ? kestrel::Wide(biosRead_.text) : L"";
    if (own.empty() || own.find(L'"') != std::wstring::npos)
        return Say(report_.Skipped("fleet /target:",
                                   "the firmware's SMBIOSBIOSVersion could not be read, or holds "
                                   "a quote no command line can give"));
    const FleetMachine machine{RunsAsAdministrator(), onBattery_};
    const std::wstring standin = InFolder(tools_, L"standin.exe");
    // At its own version a machine is left alone before anything else is
    // asked (rights, lock, power); at another, it is flashed as any run is.
    // A misspelt switch is no switch: nothing starts.
    const struct {
        std::string check;
        const wchar_t* folder;
        std::wstring switches;
        FleetExpected expected;
    } runs[] = {
        {"fleet /quiet /target:VERSION /log:FILE, the machine's own (\"" + Utf8(own) + "\")", L"target own",
         L"/quiet \"/target:" + own + L"\"", FleetExpected{11}},
        {"fleet /quiet /wait /target:VERSION, another (\"" + Utf8(own) + "-next\")", L"target next",
         L"/quiet /wait \"/target:" + own + L"-next\"", FleetExpectedFor(road_, machine, true)},
        {"fleet /quiet /taget:VERSION, misspelt, the machine's own", L"target misspelt",
         L"/quiet \"/taget:" + own + L"\"", FleetExpected{7}},
    };
    for (const auto& run : runs) {
        // Waited for: the stand-in is not held, and stays briefly.
        const auto stage = MakeStage(scratch_, run.folder, program_, standin);
        if (!stage || !SetStandinEnd(stage->bin, 300, 0, 0, false) || !Plant(*stage)) {
            Say(report_.Failed(run.check, NotFilled()));
            continue;
        }
        SwitchLine(run.check, *stage, run.switches, run.expected,
                   run.expected.status == 11 ? InFolder(stage->cwd, L"flash log.txt") : std::wstring());
    }
}

void Checker::FleetTimeLimit()
{
    const char* waited = "fleet /quiet /wait /timeout:1 /log:FILE, the utility staying on past the minute";
    if (!Asked(kTimeoutStage, "fleet /wait /timeout:1")) return;
    const FleetMachine machine{RunsAsAdministrator(), onBattery_};
    if (!FleetExpectedFor(road_, machine).starts)
        return Say(report_.Skipped("fleet /wait /timeout:1",
                                   "no flash starts on this machine (the road, the rights or the power)"));
    if (NoLogHere(waited)) return;
    const std::wstring standin = InFolder(tools_, L"standin.exe");
    // The stand-in stays while hold.txt is there (a minute at most), then
    // half a minute more: well past the limit, whatever the machine's pace.
    const auto stage = MakeStage(scratch_, L"time limit", program_, standin);
    if (!stage || !SetStandinEnd(stage->bin, 30000, 0, 0, true)) return Say(report_.Failed(waited, NotFilled()));
    const std::wstring log = InFolder(stage->cwd, L"flash log.txt");
    const Handle first = StartOutside(stage->program, L"/quiet /wait /timeout:1 \"/log:" + log + L"\"");
    if (!first)
        return Say(report_.Failed(waited, "could not be started (error " + std::to_string(GetLastError()) + ")"));
    DWORD utilityStart = 0;
    Until(
        [&] {
            utilityStart = GetTickCount();
            return !StartLines(LiveRecord(stage->bin)).empty() || WaitForSingleObject(first.get(), 0) == WAIT_OBJECT_0;
        },
        30000);
    // While the flash runs, the log already says so: a run ended meanwhile
    // (an agent's time limit, a restart the utility makes) leaves a line.
    const std::vector<std::string> early = RecordLines(Text(log));
    const bool lineBefore = !early.empty() && JsonObject(early[0]).has_value();
    // During its minute, the runs it must refuse, each debugged in a stage
    // of its own: a second waiting run, and one that would not wait.
    if (!StartLines(LiveRecord(stage->bin)).empty()) {
        const struct {
            const char* check;
            const wchar_t* folder;
            const wchar_t* switches;
        } during[] = {
            {"fleet /quiet /wait during the flash of /wait /timeout:1", L"during wait", L"/quiet /wait"},
            {"fleet /quiet during the flash of /wait /timeout:1", L"during quiet", L"/quiet"},
        };
        for (const auto& run : during) {
            const auto other = MakeStage(scratch_, run.folder, program_, standin);
            if (!other || !Plant(*other)) Say(report_.Failed(run.check, NotFilled()));
            else SwitchLine(run.check, *other, run.switches, kRefused, {});
        }
    }
    // A right run ends a minute after the utility's start, give or take the
    // machine's pace; one that ignores the limit is not waited for past it.
    constexpr DWORD kLimitMs = 60000, kSlackMs = 20000;
    const DWORD left = kLimitMs + kSlackMs - std::min<DWORD>(GetTickCount() - utilityStart, kLimitMs + kSlackMs);
    const auto exit = EndOf(first, left);
    const DWORD after = GetTickCount() - utilityStart;
    const std::string record = LiveRecord(stage->bin);
    // Whatever still runs of the stage now is the flash that outlived the
    // wait: the stand-in is ended here (it would stay on half a minute).
    bool utilityRan = false;
    for (const std::wstring& left : EndScratchProcesses(ScratchSpellings(stage->folder)))
        utilityRan = utilityRan || IsUtilityImage(left);
    // The utility's start is seen a little after kestrel.exe's clock began.
    std::string fault = exit ? TimeLimitFault(*exit, after, kLimitMs - 5000, kSlackMs + 5000, record, utilityRan)
                             : "no end within " + std::to_string((kLimitMs + kSlackMs) / 1000) +
                                   " s of the utility's start: the limit not kept";
    const std::string text = Text(log);
    if (fault.empty())
        if (const std::string wrong = LogFault(text, versionRead_, 9); !wrong.empty()) fault = "log: " + wrong;
    if (fault.empty() && !lineBefore) fault = "log: no whole line in it while the flash ran";
    const std::string account = (exit ? "exit status " + std::to_string(*exit) : std::string("still running, ended")) +
                                " " + std::to_string(after / 1000) + " s after the utility started; utility started " +
                                std::to_string(StartLines(record).size()) + " times, " +
                                (utilityRan && !EndedOnItsOwn(record) ? "still running then" : "not running then");
    Say(fault.empty()
            ? report_.Held(waited, account + "; log: a line while the flash ran, " +
                                       std::to_string(RecordLines(text).size()) + " whole JSON lines naming the board")
            : report_.Failed(waited,
                             "exit status 9 about a minute after the start, the utility running on "
                             "expected; " +
                                 fault + "; " + account));
}

void Checker::FleetTail()
{
    const char* check = "fleet /quiet -- ARGUMENTS (quotes, blanks, a trailing backslash, letters outside ASCII)";
    if (!Asked(kTailStage, "fleet -- ARGUMENTS")) return;
    const FleetMachine machine{RunsAsAdministrator(), onBattery_};
    const FleetExpected expected = FleetExpectedFor(road_, machine);
    if (!expected.starts)
        return Say(report_.Skipped("fleet -- ARGUMENTS",
                                   "no flash starts on this machine (the road, the rights or the power)"));
    const auto stage = MakeStage(scratch_, L"tail", program_, InFolder(tools_, L"standin.exe"));
    if (!stage || !Plant(*stage)) return Say(report_.Failed(check, NotFilled()));
    SwitchLine(check, *stage, L"/quiet", expected, {},
               L"/s \"C:\\Program Files\\flash x\" \"say \\\"hi\\\"\" 'one' Jos\u00e9-\u56fa\u4ef6 end\\");
    // No utility beside it, as a copy left half made: 3, and under /quiet
    // no box says so.
    const char* absent = "fleet /quiet, no utility beside it";
    const auto bare = MakeStage(scratch_, L"no utility", program_, InFolder(tools_, L"standin.exe"));
    if (!bare || !DeleteFileW(InFolder(bare->bin, L"WinPhlash.exe").c_str()) || !Plant(*bare))
        return Say(report_.Failed(absent, NotFilled()));
    SwitchLine(absent, *bare, L"/quiet", FleetExpected{3}, {});
}

void Checker::FleetBitLocker()
{
    // Not quiet: deciding shows no box of its own either. /check after
    // another switch, as deployers write it.
    const char* check = "fleet /bitlocker /check: the protection read, never changed, no box";
    if (!Asked(kBitLockerStage, "fleet /check /bitlocker")) return;
    const FleetMachine machine{RunsAsAdministrator(), onBattery_};
    const auto stage = MakeStage(scratch_, L"bitlocker", program_, InFolder(tools_, L"standin.exe"));
    if (!stage || !Plant(*stage)) return Say(report_.Failed(check, NotFilled()));
    // Read as kestrel.exe reads it, before and after its run; where the run
    // would start the flash, the protection decides between 10 and 12.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    VolumeProtection before = VolumeProtection::Unknown, after = VolumeProtection::Unknown;
    FleetExpected expected = DecidingExpectedFor(road_, machine);
    Seen seen;
    {
        BitLocker bitlocker;
        before = bitlocker.Protection();
        if (expected.status == 10 && !FlashMayStart(LookBeforeFlash(bitlocker))) expected.status = 12;
        seen = RunOnStage(stage->program, stage->cwd, stage->bin, SW_SHOWNORMAL, L"/bitlocker /check");
        BitLocker again;
        after = again.Protection();
    }
    if (SUCCEEDED(com)) CoUninitialize();
    std::string fault = MeetsFleet(seen, expected, Utf8(stage->bin)) ? "" : Wanted(expected) + " expected; ";
    if (before != after) fault += "the protection changed; ";
    const std::string account =
        Describe(seen) + "; protection before: " + ProtectionName(before) + ", after: " + ProtectionName(after);
    // Unread before and after is no protection seen unchanged (a standard
    // user may not read it, a WMI that does not answer).
    const bool unread = before == VolumeProtection::Unknown && after == VolumeProtection::Unknown;
    if (fault.empty() && unread)
        return Say(report_.Skipped(check, "the protection could not be read, so no change could be seen; " + account));
    Say(fault.empty() ? report_.Held(check, account) : report_.Failed(check, fault + account));
}

}  // namespace kestrel::check
