#include "checker.h"

#include <windows.h>
#include <objbase.h>

#include "../report.h"
#include "console.h"
#include "debuggee.h"
#include "machine.h"
#include "message_shell.h"
#include "probe.h"
#include "program_path.h"
#include "text.h"
#include "wide.h"
#include "wmi_management.h"

namespace kestrel::check {

Checker::Checker(const Scratch& scratch, std::wstring program, std::wstring tools, unsigned stages)
    : scratch_(scratch), program_(std::move(program)), tools_(std::move(tools)), stages_(stages)
{
}

bool Checker::Asked(unsigned stage, const char* check)
{
    if (stages_ & stage) return true;
    Say(report_.Skipped(check, "not among --stages"));
    return false;
}

bool Checker::NoLogHere(const std::string& check)
{
    if (!scratch_.ThroughReparsePoint()) return false;
    Say(report_.Skipped(check, "the scratch folder lies through the reparse point " + Utf8(scratch_.Detour()) +
                                   ", where kestrel.exe writes no log"));
    return true;
}

void Checker::Machine()
{
    version_ = RunningWindowsVersion();
    Say(report_.Noted(MachineLine(version_)));
    const auto imports = ImportsOf(program_);
    if (!imports) {
        Say(report_.Failed("static imports", "the program's import directory cannot be read"));
        return;
    }
    const auto known = KnownDlls();
    if (!known || known->empty()) {
        Say(report_.Skipped("static imports", "this system has no KnownDLLs key"));
        return;
    }
    known_ = *known;
    const std::wstring system = SystemFolder();
    const auto closure = WithDependencies(*known, [&](const std::string& name) {
        return ImportsOf(InFolder(system, Wide(name))).value_or(std::vector<std::string>{});
    });
    Say(report_.Noted("machine: KnownDLLs " + std::to_string(known->size()) + " names, " +
                      std::to_string(closure.size()) + " with their dependencies"));
    std::vector<std::string> writable;
    for (const std::wstring& folder : WritablePathFolders()) writable.push_back(Utf8(folder));
    Say(report_.Noted("machine: folders on PATH this account can write to: " +
                      (writable.empty() ? "none" : List(writable))));
    Say(report_.Noted(PowerLine(onBattery_)));
    std::string job;
    job_ = JobOfRuns(job);
    Say(report_.Noted(job));
    const auto outside = NotAmong(*imports, closure);
    if (outside.empty())
        Say(report_.Held("static imports", List(*imports) + ": each a KnownDLL or a dependency of one"));
    else Say(report_.Failed("static imports", "not a KnownDLL nor a dependency of one: " + List(outside)));
}

void Checker::Board()
{
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        WmiManagement management;
        const BoardReport board = ReadBoard(management);
        const BoardPrefix& prefix = board.prefix;
        versionRead_ = board.version;
        biosRead_ = ReadBios(management).version;
        road_ = Decide(prefix);
        const std::string version =
            prefix.kind() == BoardPrefix::Kind::Text
                ? "begins with \"" + Utf8(kestrel::Wide(prefix.text())) + "\""
                : (prefix.kind() == BoardPrefix::Kind::Null ? "has no value" : "could not be read");
        Say(report_.Noted("board: Win32_BaseBoard Version " + version + ": " + RoadName(road_)));
    }
    if (!BoxSeen(ThisBoxSeat()))
        Say(report_.Noted(
            "note: nobody sees a box here (a window station or session nobody looks at): a road with a box is "
            "checked for none, as kestrel.exe sends its message to the console session instead, which no check "
            "here sees; run the check from a desktop session to see the box itself"));
    if (SUCCEEDED(com)) CoUninitialize();
}

void Checker::Road()
{
    if (!Asked(kRoadStage, "road")) return;
    const auto stage = MakeStage(scratch_, L"road", program_, InFolder(tools_, L"standin.exe"));
    if (!stage) return Say(report_.Failed("road", NotFilled()));
    RunAndReport("road", *stage, SW_SHOWNORMAL, road_);
}

void Checker::UtilityBesideOnly()
{
    if (!Asked(kBesideStage, "utility beside only")) return;
    // No utility beside the program, the decoy in the current folder: a gate
    // that searches for WinPhlash.exe (the current folder, PATH) finds the
    // decoy. The launch road ends with status 3 and nothing shown or started.
    const auto stage = MakeStage(scratch_, L"absent", program_, InFolder(tools_, L"standin.exe"));
    if (!stage || !DeleteFileW(InFolder(stage->bin, L"WinPhlash.exe").c_str()) || !Plant(*stage))
        return Say(report_.Failed("utility beside only", NotFilled()));
    const Expected expected =
        road_ == Decision::Launch ? Expected{false, {}, {}, kExitLaunchFailed, false} : ExpectedHere(road_);
    const Seen seen = RunOnStage(stage->program, stage->cwd, stage->bin, SW_SHOWNORMAL);
    const std::string account = Describe(seen);
    if (!seen.planted.empty()) {
        std::vector<std::string> shown;
        for (const std::wstring& path : seen.planted) shown.push_back(Shown(path));
        return Say(report_.Failed("utility beside only", "planted DLL loaded: " + List(shown) + "; " + account));
    }
    Say(AsExpected(seen, expected, Utf8(stage->bin), !OnWine())
            ? report_.Held("utility beside only", "none beside it, the current folder's left alone: " + account)
            : report_.Failed(
                  "utility beside only",
                  (road_ == Decision::Launch ? std::string("exit status 3 and nothing started") : RoadName(road_)) +
                      " expected; " + account));
}

void Checker::HiddenStart()
{
    if (!Asked(kHiddenStage, "hidden start")) return;
    const auto stage = MakeStage(scratch_, L"hidden", program_, InFolder(tools_, L"standin.exe"));
    if (!stage || !Plant(*stage)) return Say(report_.Failed("hidden start", NotFilled()));
    RunAndReport("hidden start", *stage, SW_HIDE, road_);
}

void Checker::RootOfDrive()
{
    if (!Asked(kDriveStage, "root of a drive")) return;
    const std::wstring folder = scratch_.Folder(L"drive");
    const std::wstring file = program_.substr(program_.find_last_of(L"\\/") + 1);
    const Stage planted{folder, folder, InFolder(folder, L"other x"), InFolder(folder, file)};
    if (folder.empty() || scratch_.Folder(L"drive\\other x").empty() ||
        !CopyFileW(program_.c_str(), planted.program.c_str(), FALSE) ||
        !CopyFileW(InFolder(tools_, L"standin.exe").c_str(), InFolder(folder, L"WinPhlash.exe").c_str(), FALSE))
        return Say(report_.Failed("root of a drive", NotFilled()));
    // The letter before the planted names: where the stage cannot be
    // reached, nothing is planted for nothing.
    const DriveLetter drive(folder);
    if (drive.Root().empty()) return Say(report_.Skipped("root of a drive", drive.Why()));
    if (!SetStandinEnd(folder, kStandinStayMs, 0) || !Plant(planted))
        return Say(report_.Failed("root of a drive", NotFilled()));
    const Expected expected = ExpectedHere(road_);
    const Seen seen =
        RunOnStage(InFolder(drive.Root(), file), InFolder(drive.Root(), L"other x"), folder, SW_SHOWNORMAL);
    const std::string account = roadRun_ ? DescribeAgainst(seen, roadSeen_) : Describe(seen);
    if (AsExpected(seen, expected, Utf8(drive.Root()), !OnWine()))
        Say(report_.Held("root of a drive", "from " + Utf8(drive.Root()) + ": " + account));
    else
        Say(report_.Failed("root of a drive",
                           RoadName(road_) + " from " + Utf8(drive.Root()) + " expected; " + account));
}

void Checker::Elevation(bool asked)
{
    if (!asked) return Say(report_.Skipped("elevation", "needs --elevation and a person at the machine"));
    if (version_.major < 6) return Say(report_.Skipped("elevation", "Windows before Vista asks no consent"));
    if (road_ != Decision::Launch)
        return Say(report_.Skipped("elevation", "this machine's board does not take the launch road"));
    const struct {
        const char* check;
        const wchar_t* folder;
        const char* ask;
        DWORD status;
    } steps[] = {
        {"elevation accepted", L"accept", "ACCEPT the consent prompt that comes up next.", kExitLaunched},
        {"elevation declined", L"decline", "DECLINE the consent prompt that comes up next.", kExitLaunchFailed},
    };
    bool inFront = true;
    for (const auto& step : steps) {
        const auto stage = MakeStage(scratch_, step.folder, program_, InFolder(tools_, L"standin-admin.exe"));
        if (!stage) {
            Say(report_.Failed(step.check, NotFilled()));
            continue;
        }
        Say(step.ask);
        DebugRun run = RunDebuggee(stage->program, L"", stage->cwd, SW_SHOWNORMAL);
        run.seen.utility = StandinRecord(stage->bin, step.status == kExitLaunched);
        const bool held = !run.seen.startError && !run.seen.timedOut && run.seen.exit == step.status &&
                          run.seen.boxes.empty() && run.seen.utility.empty() == (step.status != kExitLaunched);
        Say(held ? report_.Held(step.check, Describe(run.seen)) : report_.Failed(step.check, Describe(run.seen)));
        inFront = Ask("Did the consent prompt come up in front (not as a flashing taskbar button)? [y/n]") && inFront;
    }
    Say(inFront ? report_.Held("consent prompt in front", "as the person saw it")
                : report_.Failed("consent prompt in front", "the person saw it elsewhere"));
}

}  // namespace kestrel::check
