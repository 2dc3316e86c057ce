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

namespace {

std::string List(const std::vector<std::string>& names)
{
    std::string list;
    for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
    return list;
}

// A path as the report shows it: without the "\\?\" of a final path.
std::string Shown(const std::wstring& path)
{
    return Utf8(path.compare(0, 4, L"\\\\?\\") == 0 ? std::wstring_view(path).substr(4) : std::wstring_view(path));
}

}  // namespace

Checker::Checker(const Scratch& scratch, std::wstring program, std::wstring tools)
    : scratch_(scratch), program_(std::move(program)), tools_(std::move(tools))
{
}

void Checker::Machine()
{
    version_ = RunningWindowsVersion();
    Say(MachineLine(version_));
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
    Say("machine: KnownDLLs " + std::to_string(known->size()) + " names, " + std::to_string(closure.size()) +
        " with their dependencies");
    std::vector<std::string> writable;
    for (const std::wstring& folder : WritablePathFolders()) writable.push_back(Utf8(folder));
    Say("machine: folders on PATH this account can write to: " + (writable.empty() ? "none" : List(writable)));
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
        const BoardPrefix prefix = ProbeBoard(management);
        road_ = Decide(prefix);
        const std::string version =
            prefix.kind() == BoardPrefix::Kind::Text
                ? "begins with \"" + Utf8(kestrel::Wide(prefix.text())) + "\""
                : (prefix.kind() == BoardPrefix::Kind::Null ? "has no value" : "could not be read");
        Say("board: Win32_BaseBoard Version " + version + ": " + RoadName(road_));
    }
    if (!BoxSeen(ThisBoxSeat()))
        Say("note: nobody sees a box here (a window station or session nobody looks at): a road with a box is "
            "checked for none, as kestrel.exe sends its message to the console session instead, which no check "
            "here sees; run the check from a desktop session to see the box itself");
    if (SUCCEEDED(com)) CoUninitialize();
}

namespace {

// Two paths of one file, as the system gives them ("\\?\" or not).
bool SameFile(const std::wstring& a, const std::wstring& b) { return Lower(Shown(a)) == Lower(Shown(b)); }

// A stand-in's process: the one beside the program or the current folder's
// decoy, whatever spelling of its folder the system gives.
bool IsStandin(const std::wstring& image)
{
    const std::wstring_view file = std::wstring_view(image).substr(image.find_last_of(L"\\/") + 1);
    return SameFile(std::wstring(file), L"WinPhlash.exe");
}

// Wine says who it is through ntdll; Windows has no such export.
bool OnWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

}  // namespace

std::vector<std::wstring> Checker::ScratchSpellings() const
{
    std::vector<std::wstring> spellings{scratch_.LoaderRoot(), scratch_.Root()};
    wchar_t shortRoot[MAX_PATH] = {};
    const DWORD n = GetShortPathNameW(scratch_.Root().c_str(), shortRoot, MAX_PATH);
    if (n > 0 && n < MAX_PATH) spellings.emplace_back(shortRoot, n);
    return spellings;
}

Seen Checker::RunOnStage(const std::wstring& program, const std::wstring& cwd, const std::wstring& utilityFolder,
                         WORD show, bool)
{
    DebugRun run = RunDebuggee(program, L"", cwd, show, ScratchSpellings());
    // The whole tree has ended: the records are read as they stand. The
    // stand-ins' own images aside, any image from the scratch folder in any
    // process counts, named with its process where that is not the program.
    const auto spellings = ScratchSpellings();
    for (const Loaded& loaded : run.images) {
        if (IsStandin(loaded.process)) continue;
        for (const std::wstring& planted : PlantedImages({loaded.image}, spellings, program))
            run.seen.planted.push_back(loaded.child ? planted + L" (in " + Wide(Shown(loaded.process)) + L")"
                                                    : planted);
    }
    for (int i = 0; i < run.unnamed; ++i) run.seen.planted.push_back(L"(a DLL whose file could not be named)");
    for (const std::wstring& started : run.started)
        if (!IsStandin(started)) run.seen.children.push_back(Shown(started));
    run.seen.utility = StandinRecord(utilityFolder, true, false);
    run.seen.decoy = StandinRecord(cwd, false, false);
    return run.seen;
}

Expected Checker::ExpectedHere(Decision road)
{
    Expected expected = ExpectedFor(road);
    if (!expected.launches && !BoxSeen(ThisBoxSeat())) expected.box = false;
    return expected;
}

void Checker::RunAndReport(const std::string& check, const Stage& stage, WORD show, Decision road)
{
    const Expected expected = ExpectedHere(road);
    const Seen seen = RunOnStage(stage.program, stage.cwd, stage.bin, show, expected.launches);
    std::string account = (!roadRun_ || road != road_) ? Describe(seen) : DescribeAgainst(seen, roadSeen_);
    if (!seen.planted.empty()) {
        std::vector<std::string> shown;
        for (const std::wstring& path : seen.planted) shown.push_back(Shown(path));
        Say(report_.Failed(check, "planted DLL loaded: " + List(shown) + "; " + account));
    } else if (!AsExpected(seen, expected, Utf8(stage.bin), !OnWine())) {
        Say(report_.Failed(check, RoadName(road) + " expected; " + account));
    } else {
        Say(report_.Held(check, RoadName(road) + ": " + account));
    }
    if (!roadRun_ && road == road_) roadSeen_ = seen, roadRun_ = true;
}

void Checker::Road()
{
    const auto stage = MakeStage(scratch_, L"road", program_, InFolder(tools_, L"standin.exe"));
    if (!stage) return Say(report_.Failed("road", NotFilled()));
    RunAndReport("road", *stage, SW_SHOWNORMAL, road_);
}

void Checker::UtilityBesideOnly()
{
    // No utility beside the program, the decoy in the current folder: a gate
    // that searches for WinPhlash.exe (the current folder, PATH) finds the
    // decoy. The launch road ends with status 3 and nothing shown or started.
    const auto stage = MakeStage(scratch_, L"absent", program_, InFolder(tools_, L"standin.exe"));
    if (!stage || !DeleteFileW(InFolder(stage->bin, L"WinPhlash.exe").c_str()))
        return Say(report_.Failed("utility beside only", NotFilled()));
    const Expected expected =
        road_ == Decision::Launch ? Expected{false, {}, {}, kExitLaunchFailed, false} : ExpectedHere(road_);
    const Seen seen = RunOnStage(stage->program, stage->cwd, stage->bin, SW_SHOWNORMAL, false);
    const std::string account = Describe(seen);
    if (!seen.planted.empty()) return Say(report_.Failed("utility beside only", "planted DLL loaded; " + account));
    Say(AsExpected(seen, expected, Utf8(stage->bin), !OnWine())
            ? report_.Held("utility beside only", "none beside it, the current folder's left alone: " + account)
            : report_.Failed(
                  "utility beside only",
                  (road_ == Decision::Launch ? std::string("exit status 3 and nothing started") : RoadName(road_)) +
                      " expected; " + account));
}

void Checker::HiddenStart()
{
    const auto stage = MakeStage(scratch_, L"hidden", program_, InFolder(tools_, L"standin.exe"));
    if (!stage) return Say(report_.Failed("hidden start", NotFilled()));
    RunAndReport("hidden start", *stage, SW_HIDE, road_);
}

void Checker::RootOfDrive()
{
    const std::wstring folder = scratch_.Folder(L"drive");
    const std::wstring file = program_.substr(program_.find_last_of(L"\\/") + 1);
    if (folder.empty() || scratch_.Folder(L"drive\\other").empty() ||
        !CopyFileW(program_.c_str(), InFolder(folder, file).c_str(), FALSE) ||
        !CopyFileW(InFolder(tools_, L"standin.exe").c_str(), InFolder(folder, L"WinPhlash.exe").c_str(), FALSE))
        return Say(report_.Failed("root of a drive", NotFilled()));
    const DriveLetter drive(folder);
    if (drive.Root().empty()) return Say(report_.Skipped("root of a drive", drive.Why()));
    const Expected expected = ExpectedHere(road_);
    const Seen seen = RunOnStage(InFolder(drive.Root(), file), InFolder(drive.Root(), L"other"), folder, SW_SHOWNORMAL,
                                 expected.launches);
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
