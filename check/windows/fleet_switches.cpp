// The fleet switches on this machine, one stage each, every line naming the
// switches it ran: /target: at the firmware's own version, at another and
// misspelt; /wait /timeout:1 with a utility that outlives it, and runs
// during that flash; what follows "--"; a log that holds others' text;
// /check /bitlocker; a user's object of the lock's name and a plain run
// during a flash; a run inside a job that ends its processes as it closes.
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
#include "program_path.h"
#include "text.h"
#include "wide.h"

namespace kestrel::check {

namespace {

// A run of `program` outside the debug tree, in the system folder (Wine's
// COM surrogate starts in its caller's folder and stays), in `job` where one
// is given: started suspended, put in it, then let run.
Handle StartOutside(const std::wstring& program, const std::wstring& arguments, HANDLE job = nullptr)
{
    std::wstring line = L"\"" + program + L"\" " + arguments;
    const std::wstring folder = SystemFolder();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, job ? CREATE_SUSPENDED : 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process))
        return Handle();
    Handle run(process.hProcess);
    EndOnConsoleEnd(run.get());
    if (job && !AssignProcessToJobObject(job, run.get())) {
        TerminateProcess(run.get(), 1);
        ForgetOnConsoleEnd(run.get());
        CloseHandle(process.hThread);
        return Handle();
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    return run;
}

// Waits up to `ms` for `done`, looking every 50 ms.
template <typename Done>
bool Until(Done&& done, DWORD ms)
{
    const DWORD since = GetTickCount();
    while (!done()) {
        if (GetTickCount() - since > ms) return false;
        Sleep(50);
    }
    return true;
}

// The run's exit status once it has ended within `ms`, else none (and it is
// ended).
std::optional<unsigned long> EndOf(const Handle& run, DWORD ms)
{
    DWORD status = 0;
    const bool ended = WaitForSingleObject(run.get(), ms) == WAIT_OBJECT_0 && GetExitCodeProcess(run.get(), &status);
    if (!ended) TerminateProcess(run.get(), 1);
    ForgetOnConsoleEnd(run.get());
    if (!ended) return std::nullopt;
    return status;
}

// The stand-in's record in `bin` while it may still run: it keeps the file
// open for writing as long as it stays, which ReadFileBytes does not share.
std::string LiveRecord(const std::wstring& bin)
{
    const HANDLE file = CreateFileW(InFolder(bin, L"launched.txt").c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string record;
    char buffer[4096];
    DWORD got = 0;
    while (record.size() < (1u << 20) && ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        record.append(buffer, got);
    CloseHandle(file);
    return record;
}

std::string Text(const std::wstring& path)
{
    const auto bytes = ReadFileBytes(path);
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

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

// What the runs during a flash that goes on expect: 1618, nothing started.
constexpr FleetExpected kRefused{1618};

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

void Checker::FleetOldLog()
{
    const char* check = "fleet /quiet /log:FILE, the log holding earlier lines and another's text, no final line feed";
    if (!Asked(kOldLogStage, "fleet /log:FILE, a log written before")) return;
    const FleetMachine machine{RunsAsAdministrator(), onBattery_};
    const FleetExpected expected = FleetExpectedFor(road_, machine);
    // An earlier run's line, and a note that another tool left unfinished.
    const std::string before =
        "{\"run\":\"earlier\",\"board\":\"34B\",\"decision\":\"launched\",\"status\":0}\r\n"
        "note from another writer: Gr\xc3\xbc\xc3\x9f"
        "e, \xe5\x9b\xba\xe4\xbb\xb6, no line feed";
    if (!NoLogHere(check)) {
        const auto stage = MakeStage(scratch_, L"old log", program_, InFolder(tools_, L"standin.exe"));
        const std::wstring log = stage ? InFolder(stage->cwd, L"flash log.txt") : std::wstring();
        if (!stage || !Plant(*stage) || !WriteFileBytes(log, before.data(), DWORD(before.size()))) {
            Say(report_.Failed(check, NotFilled()));
        } else {
            const Seen seen =
                RunOnStage(stage->program, stage->cwd, stage->bin, SW_SHOWNORMAL, L"/quiet \"/log:" + log + L"\"");
            const std::string after = Text(log);
            std::string fault = MeetsFleet(seen, expected, Utf8(stage->bin)) ? "" : Wanted(expected) + " expected; ";
            if (const std::string wrong = KeptLogFault(before, after, versionRead_, seen.exit); !wrong.empty())
                fault += "log: " + wrong + "; ";
            const std::string kept =
                "; log: the " + std::to_string(before.size()) + " earlier bytes kept, then " +
                std::to_string(RecordLines(after.substr(std::min(before.size(), after.size()))).size()) +
                " whole JSON lines";
            Say(fault.empty() ? report_.Held(check, Describe(seen) + kept)
                              : report_.Failed(check, fault + Describe(seen)));
        }
    }
    // A log that cannot be opened (a folder holds its name): no line, and
    // the road's status all the same, never a success of its own.
    const char* closed = "fleet /quiet /log:FILE, a log that cannot be opened (a folder of its name)";
    const auto other = MakeStage(scratch_, L"closed log", program_, InFolder(tools_, L"standin.exe"));
    const std::wstring folder = other ? InFolder(other->cwd, L"flash log.txt") : std::wstring();
    if (!other || !Plant(*other) || !CreateDirectoryW(folder.c_str(), nullptr))
        return Say(report_.Failed(closed, NotFilled()));
    SwitchLine(closed, *other, L"/quiet \"/log:" + folder + L"\"", expected, {});
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
