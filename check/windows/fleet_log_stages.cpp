// The fleet log's stage on this machine: a log that holds an earlier run's
// line and another writer's unfinished text, runs started at once into one
// log (held now and then by another reader), and a log that cannot be
// opened.
#include <windows.h>

#include <algorithm>
#include <optional>

#include "../fleet_outcome.h"
#include "../log_lines.h"
#include "../standin_record.h"
#include "admin_only.h"
#include "checker.h"
#include "console.h"
#include "files.h"
#include "handle.h"
#include "program_path.h"
#include "switch_runs.h"
#include "text.h"

namespace kestrel::check {

namespace {

// Until the runs have ended (a minute at most), another reader (a tail, a
// backup) holds the log 0.8 s at a time, sharing it with no writer, and
// lets it go for 0.2 s between: a run that meets it waits its
// turn, as kestrel.exe does for about two seconds, and one that gives up
// loses its line, as runs that meet each other would, which three runs seldom
// do by themselves.
void HoldNowAndThen(const std::wstring& log, const Handle (&runs)[3])
{
    HANDLE ends[3];
    DWORD n = 0;
    for (const Handle& run : runs)
        if (run) ends[n++] = run.get();
    for (const DWORD since = GetTickCount(); n > 0 && GetTickCount() - since < 60000;) {
        {
            const Handle held(
                CreateFileW(log.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
            if (held && WaitForMultipleObjects(n, ends, TRUE, 800) != WAIT_TIMEOUT) return;
        }
        if (WaitForMultipleObjects(n, ends, TRUE, 200) != WAIT_TIMEOUT) return;
    }
}

}  // namespace

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
    // Runs started at once into one log (a fleet's tools, a technician, a
    // script run twice): a whole line each, however their writes fall.
    const char* together = "fleet /check /quiet /log:FILE, three runs at once into one log";
    if (!NoLogHere(together)) {
        const auto shared = MakeStage(scratch_, L"shared log", program_, InFolder(tools_, L"standin.exe"));
        const std::wstring log = shared ? InFolder(shared->cwd, L"flash log.txt") : std::wstring();
        const FleetExpected deciding = DecidingExpectedFor(road_, machine);
        if (!shared || !WriteFileBytes(log, "", 0)) {
            Say(report_.Failed(together, NotFilled()));
        } else {
            Handle runs[3];
            for (Handle& run : runs) run = StartOutside(shared->program, L"/check /quiet \"/log:" + log + L"\"");
            HoldNowAndThen(log, runs);
            std::string fault, statuses;
            for (const Handle& run : runs) {
                const std::optional<unsigned long> end = run ? EndOf(run, 60000) : std::nullopt;
                const unsigned long status = end.value_or(0xFFFFFFFF);
                statuses += std::string(statuses.empty() ? "" : ", ") + (!run  ? "not started"
                                                                         : end ? std::to_string(status)
                                                                               : "no end within 60 s");
                if (!end || status != deciding.status) fault = Wanted(deciding) + " expected of each; ";
            }
            const std::string text = Text(log);
            if (const std::string wrong = SharedLogFault(text, versionRead_, 3); !wrong.empty())
                fault += "log: " + wrong + "; ";
            const std::string account =
                "exit statuses " + statuses + "; log: " + std::to_string(RecordLines(text).size()) + " lines";
            Say(fault.empty() ? report_.Held(together, account + ", each whole, one a run")
                              : report_.Failed(together, fault + account));
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

}  // namespace kestrel::check
