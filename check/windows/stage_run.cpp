// One run of the program on a stage, and its report line: what the run
// showed, read against what its road asks.
#include <windows.h>

#include <utility>

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

std::vector<std::wstring> Checker::ScratchSpellings(const std::wstring& within) const
{
    const bool inside = within.size() > scratch_.Root().size() && within.rfind(scratch_.Root(), 0) == 0;
    const std::wstring rest = inside ? within.substr(scratch_.Root().size()) : std::wstring();
    std::vector<std::wstring> spellings{scratch_.LoaderRoot() + rest, scratch_.Root() + rest};
    wchar_t shortRoot[MAX_PATH] = {};
    const DWORD n = GetShortPathNameW(spellings.back().c_str(), shortRoot, MAX_PATH);
    if (n > 0 && n < MAX_PATH) spellings.emplace_back(shortRoot, n);
    return spellings;
}

namespace {

// A folder's entries by name (".", ".." left out), with what the listing
// says of each; nothing where the folder cannot be listed.
std::vector<WIN32_FIND_DATAW> Entries(const std::wstring& folder)
{
    std::vector<WIN32_FIND_DATAW> entries;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(InFolder(folder, L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return entries;
    do {
        const std::wstring_view name = found.cFileName;
        if (name != L"." && name != L"..") entries.push_back(found);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return entries;
}

// Moves each of `names` from `from` into `to`; where one cannot be moved,
// those already moved go back, and the answer is false.
bool MoveAll(const std::vector<std::wstring>& names, const std::wstring& from, const std::wstring& to)
{
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (MoveFileW(InFolder(from, names[i]).c_str(), InFolder(to, names[i]).c_str())) continue;
        while (i-- > 0) MoveFileW(InFolder(to, names[i]).c_str(), InFolder(from, names[i]).c_str());
        return false;
    }
    return true;
}

}  // namespace

bool Checker::IsPlanted(const WIN32_FIND_DATAW& entry) const
{
    const auto found = planted_.find(Lower(Utf8(entry.cFileName)));
    if (found == planted_.end() || (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    const WIN32_FILE_ATTRIBUTE_DATA& source = found->second;
    return entry.nFileSizeLow == source.nFileSizeLow && entry.nFileSizeHigh == source.nFileSizeHigh &&
           CompareFileTime(&entry.ftLastWriteTime, &source.ftLastWriteTime) == 0;
}

bool Checker::HandOver(const std::wstring& holder, const std::wstring& folder) const
{
    // Every planted name still there as it was copied; the rest is what the
    // earlier stage made, and goes.
    std::vector<std::wstring> stale;
    std::size_t intact = 0;
    for (const WIN32_FIND_DATAW& entry : Entries(holder)) {
        if (IsPlanted(entry)) ++intact;
        else stale.emplace_back(entry.cFileName);
    }
    if (intact != planted_.size()) return false;
    std::vector<std::wstring> own;
    for (const WIN32_FIND_DATAW& entry : Entries(folder)) {
        if (planted_.count(Lower(Utf8(entry.cFileName)))) return false;
        own.emplace_back(entry.cFileName);
    }
    for (const std::wstring& name : stale) {
        const std::wstring path = InFolder(holder, name);
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileW(path.c_str()) && !RemoveTree(path)) return false;
    }
    // The stage's own files into the holder, and the holder in the stage's
    // place; any step that fails puts them back.
    if (!MoveAll(own, folder, holder)) return false;
    if (RemoveDirectoryW(folder.c_str())) {
        if (MoveFileW(holder.c_str(), folder.c_str())) return true;
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    MoveAll(own, holder, folder);
    return false;
}

bool Checker::PlantIn(const std::wstring& folder, const std::wstring& holder)
{
    const std::wstring probe = InFolder(tools_, L"probe.dll"), standin = InFolder(tools_, L"standin.exe");
    if (planted_.empty()) {
        WIN32_FILE_ATTRIBUTE_DATA probeData{}, standinData{};
        if (!GetFileAttributesExW(probe.c_str(), GetFileExInfoStandard, &probeData) ||
            !GetFileAttributesExW(standin.c_str(), GetFileExInfoStandard, &standinData))
            return false;
        for (const std::wstring& name : names_) planted_[Lower(Utf8(name))] = probeData;
        for (const std::wstring& name : programs_) planted_[Lower(Utf8(name))] = standinData;
    }
    // The planted folder of an earlier stage, taken over whole: a copy of
    // each name costs as much again, and a check plants a dozen stages.
    if (!holder.empty() && HandOver(holder, folder)) return true;
    const FileCopies probes(probe), standins(standin);
    bool placed = true;
    for (std::size_t i = 0; placed && i < names_.size(); ++i) placed = probes.Place(InFolder(folder, names_[i]));
    for (std::size_t i = 0; placed && i < programs_.size(); ++i)
        placed = standins.Place(InFolder(folder, programs_[i]));
    return placed;
}

bool Checker::Plant(const Stage& stage)
{
    if (names_.empty() || programs_.empty()) return false;
    const std::vector<std::wstring> earlier = std::exchange(holders_, {});
    const bool placed = PlantIn(stage.bin, earlier.empty() ? std::wstring() : earlier[0]) &&
                        PlantIn(stage.cwd, earlier.size() < 2 ? std::wstring() : earlier[1]);
    // The stage's folders hold the planted names now: the next stage takes
    // them from here.
    if (placed) holders_ = {stage.bin, stage.cwd};
    return placed;
}

Seen Checker::RunOnStage(const std::wstring& program, const std::wstring& cwd, const std::wstring& utilityFolder,
                         WORD show, const std::wstring& arguments, RunWatcher* watcher, const std::wstring& within)
{
    const auto spellings = ScratchSpellings(within);
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
    if (!roadRun_ && road == road_) {
        roadSeen_ = seen;
        roadRun_ = true;
    }
}

}  // namespace kestrel::check
