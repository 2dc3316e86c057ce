// One run of the program on a stage, and its report line: what the run
// showed, read against what its road asks.
#include <windows.h>

#include "../report.h"
#include "checker.h"
#include "console.h"
#include "machine.h"
#include "message_shell.h"
#include "program_path.h"
#include "text.h"

namespace kestrel::check {

namespace {

// How long a stand-in is held at most once it runs: a gate that waits for
// its utility is let go after that, and then ends after it.
constexpr DWORD kHoldMs = 5000;

// Lets the stand-in go (hold.txt beside it removed) once the program has
// ended: a right gate's utility runs on after it, however loaded the
// machine; one that waits for its utility is let go after kHoldMs.
class HoldUntilEnd : public RunWatcher {
public:
    explicit HoldUntilEnd(std::wstring hold) : hold_(std::move(hold)) {}
    void Turn(HANDLE program, bool utilityRuns) override
    {
        if (released_) return;
        if (utilityRuns && !since_) since_ = GetTickCount() | 1;
        if (WaitForSingleObject(program, 0) == WAIT_OBJECT_0 || (since_ && GetTickCount() - since_ > kHoldMs))
            released_ = DeleteFileW(hold_.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
    }

private:
    std::wstring hold_;
    DWORD since_ = 0;
    bool released_ = false;
};

}  // namespace

std::vector<std::wstring> Checker::ScratchSpellings() const
{
    std::vector<std::wstring> spellings{scratch_.LoaderRoot(), scratch_.Root()};
    wchar_t shortRoot[MAX_PATH] = {};
    const DWORD n = GetShortPathNameW(scratch_.Root().c_str(), shortRoot, MAX_PATH);
    if (n > 0 && n < MAX_PATH) spellings.emplace_back(shortRoot, n);
    return spellings;
}

bool Checker::Plant(const Stage& stage) const
{
    const std::wstring probe = InFolder(tools_, L"probe.dll"), standin = InFolder(tools_, L"standin.exe");
    bool placed = !names_.empty() && !programs_.empty();
    for (std::size_t i = 0; placed && i < names_.size(); ++i)
        placed = PlaceFile(probe, InFolder(stage.bin, names_[i])) && PlaceFile(probe, InFolder(stage.cwd, names_[i]));
    for (std::size_t i = 0; placed && i < programs_.size(); ++i)
        placed = PlaceFile(standin, InFolder(stage.bin, programs_[i])) &&
                 PlaceFile(standin, InFolder(stage.cwd, programs_[i]));
    return placed;
}

Seen Checker::RunOnStage(const std::wstring& program, const std::wstring& cwd, const std::wstring& utilityFolder,
                         WORD show, const std::wstring& arguments, RunWatcher* watcher)
{
    const auto spellings = ScratchSpellings();
    HoldUntilEnd hold(InFolder(utilityFolder, L"hold.txt"));
    DebugRun run = RunDebuggee(program, arguments, cwd, show, spellings, watcher ? watcher : &hold);
    // The whole tree has ended: the records are read as they stand. The
    // stand-ins' own images aside, any image from the scratch folder in any
    // process counts, named with its process where that is not the program.
    for (const Loaded& loaded : run.images) {
        if (IsUtilityImage(loaded.process)) continue;
        for (const std::wstring& planted : PlantedImages({loaded.image}, spellings, program))
            run.seen.planted.push_back(loaded.child ? planted + L" (in " + Wide(Shown(loaded.process)) + L")"
                                                    : planted);
    }
    for (int i = 0; i < run.unnamed; ++i) run.seen.planted.push_back(L"(a DLL whose file could not be named)");
    // Any other program the tree started fails the run: a decoy where a
    // path left unquoted is cut, a planted program's name, the system's own
    // started by a bare name.
    for (const std::wstring& started : run.started)
        if (!IsUtilityImage(started)) run.seen.children.push_back(Shown(started));
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
    const Seen seen = RunOnStage(stage.program, stage.cwd, stage.bin, show);
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

}  // namespace kestrel::check
