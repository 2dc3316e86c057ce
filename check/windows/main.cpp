// kestrel-check.exe: the release check of kestrel.exe on a real Windows
// machine, run once by a release engineer, as a standard user, with nothing
// else to copy. It installs nothing and writes no registry value: everything
// happens in a scratch folder under %TEMP% that goes at the end.
//   kestrel-check.exe [--elevation] [--stages=LIST] [--junit=FILE] [PATH\kestrel.exe]
// --stages runs only the stages it names (road, planted, manifest, beside,
// hidden, drive, fleet, wait, target, timeout, tail, oldlog, bitlocker, lock,
// agentjob), each other one reported as skipped: for a
// look at one road, and for the tests, whose careless gates each show their
// fault in a few. --junit writes the report to FILE as JUnit XML too, for a
// machine nobody watches (a CI runner, a lab); the exit status is the
// console's, and a report that cannot be written fails a run that held.
#include <windows.h>

#include <optional>
#include <string>

#include "../junit.h"
#include "../report.h"
#include "checker.h"
#include "console.h"
#include "files.h"
#include "message_shell.h"
#include "program_path.h"
#include "text.h"

using namespace kestrel;
using namespace kestrel::check;

namespace {

// `path` as a full path, or an empty text where it has none.
std::wstring FullPath(const std::wstring& path)
{
    wchar_t full[MAX_PATH];
    const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return n > 0 && n < MAX_PATH ? std::wstring(full, n) : std::wstring();
}

// What the tool carries (kestrel-check.rc), and the names it writes them
// under in its scratch folder.
const struct {
    int resource;
    const wchar_t* file;
} kTools[] = {
    {1, L"probe.dll"},
    {2, L"standin.exe"},
    {3, L"standin-admin.exe"},
    {4, L"careless.exe"},
};

int Finish(int status)
{
    KeepConsoleOpen();
    return status;
}

// The report as JUnit XML in `file` (a full path), when one was asked for.
// A file that cannot be written is told, and a run that held ends with
// kCannotRun: a runner that finds no report must not read a pass.
int WriteJunit(const std::wstring& file, const Report& report, int status, std::string_view cannotRun = {})
{
    if (file.empty()) return status;
    const std::string xml = JunitXml(report, "kestrel-check", cannotRun);
    if (WriteFileBytes(file, xml.data(), DWORD(xml.size()))) return status;
    Say("kestrel-check: the JUnit report could not be written to " + Utf8(file) + " (error " +
        std::to_string(GetLastError()) + ")");
    return status == kHeld ? kCannotRun : status;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    // As kestrel.exe: no box of the system's own for a missing disk, and no
    // DLL from the current folder or, where it can be had, from anywhere but
    // System32.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    RestrictDllSearch();
    bool elevation = false;
    std::optional<unsigned> stages;
    std::wstring program, junit;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        const bool stageList = arg.rfind(L"--stages=", 0) == 0 && !stages;
        const bool junitFile = arg.rfind(L"--junit=", 0) == 0 && arg.size() > 8 && junit.empty();
        if (arg == L"--elevation" && !elevation) elevation = true;
        else if ((stageList && (stages = ParseStages(Utf8(arg.substr(9))))) ||
                 (junitFile && !(junit = FullPath(arg.substr(8))).empty()))
            continue;
        else if (!stageList && !junitFile && arg.rfind(L'-', 0) != 0 && program.empty()) program = arg;
        else {
            Say("usage: kestrel-check.exe [--elevation] "
                "[--stages=road,planted,manifest,beside,hidden,drive,fleet,wait,target,timeout,tail,oldlog,"
                "bitlocker,lock,agentjob] [--junit=FILE] "
                "[PATH\\kestrel.exe]");
            return Finish(kUsage);
        }
    }
    // Until the run's own report replaces it, the file says the check did
    // not finish: one ended on the way (a runner's time limit, a crash)
    // leaves no earlier run's report behind for a runner to read as a pass.
    if (!junit.empty()) {
        const std::string unfinished = JunitXml(Report(), "kestrel-check", "the check did not finish");
        WriteFileBytes(junit, unfinished.data(), DWORD(unfinished.size()));
    }
    if (program.empty()) program = InFolder(FolderOf(RunningProgramPath()), L"kestrel.exe");
    // Full path: the runs copy it from another current folder.
    const std::wstring full = FullPath(program);
    const DWORD attributes = full.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(full.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        const std::string why = "no such file: " + Utf8(program);
        Say("kestrel-check: cannot run: " + why);
        return Finish(WriteJunit(junit, Report(), kCannotRun, why));
    }
    program = full;

    int status = kCannotRun;
    {
        Scratch scratch;
        std::wstring tools = scratch.Made() ? scratch.Folder(L"tools") : std::wstring();
        for (const auto& tool : kTools)
            if (!tools.empty() && !WriteResource(tool.resource, InFolder(tools, tool.file))) tools.clear();
        if (tools.empty()) {
            const char* why = "the scratch folder could not be made";
            Say("kestrel-check: cannot run: " + std::string(why));
            status = WriteJunit(junit, Report(), kCannotRun, why);
        } else {
            Checker checker(scratch, program, tools, stages.value_or(kEveryStage));
            Say(checker.report().Noted("kestrel-check: checking " + Utf8(program)));
            Say(checker.report().Noted(
                "machine: scratch folder: " + Utf8(scratch.Root()) +
                (scratch.Detour().empty()
                     ? std::string()
                     : " (%TEMP% lies through the reparse point " + Utf8(scratch.Detour()) +
                           (scratch.ThroughReparsePoint() ? ", and so does this folder: no log of kestrel.exe there)"
                                                          : ", where kestrel.exe rightly writes no log)"))));
            checker.Machine();
            checker.Board();
            checker.FleetSquatter();
            checker.Road();
            checker.PlantedDlls();
            checker.PlantedManifest();
            checker.UtilityBesideOnly();
            checker.HiddenStart();
            checker.RootOfDrive();
            checker.Fleet();
            checker.FleetWaits();
            checker.FleetTarget();
            checker.FleetTimeLimit();
            checker.FleetTail();
            checker.FleetOldLog();
            checker.FleetBitLocker();
            checker.FleetLock();
            checker.FleetAgentJob();
            checker.Elevation(elevation);
            Say("note: no check sees a load of a name that no file of this machine's system folders has, nor one "
                "from a folder outside the scratch folder (a writable folder on PATH above, or a system folder made "
                "writable)");
            Say("note: a planted file mapped as data (LoadLibraryEx with LOAD_LIBRARY_AS_DATAFILE or "
                "LOAD_LIBRARY_AS_IMAGE_RESOURCE) or only opened raises no debug event: no check here sees it");
            Say("note: one machine shows one board: a gate that decides on more than the version's first two "
                "characters (\"contains 34\", the whole version) passes here; the release checklist's two boards "
                "tell it apart");
            const std::string root = Utf8(scratch.Root());
            if (!scratch.Remove())
                Say(checker.report().Failed("scratch folder removed", "still in use, left behind: " + root));
            for (const std::string& line : checker.report().Closing()) Say(line);
            status = WriteJunit(junit, checker.report(), checker.report().ExitStatus());
        }
    }
    return Finish(status);
}
