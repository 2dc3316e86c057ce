// The release check's report: one line a check, "held", "FAILED" with what
// was seen, or "skipped" with why, then the closing count, and the exit
// status that goes with it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::check {

// The tool's exit statuses.
enum Status : int {
    kHeld = 0,       // nothing failed
    kFailed = 1,     // a check failed
    kCannotRun = 2,  // no such program, no scratch folder
    kUsage = 64,     // a wrong command line
};

class Report {
public:
    enum class Verdict { Held, Failed, Skipped };
    // One check's line, as kept for a report written to a file.
    struct Line {
        Verdict verdict;
        std::string check, text;  // UTF-8; `text` is what follows "check: "
    };
    // A fact of the machine, "topic: value" on the console.
    struct Fact {
        std::string topic, value;
    };

    // Each returns the line it adds.
    std::string Held(std::string_view check, std::string_view what);
    std::string Failed(std::string_view check, std::string_view seen);
    std::string Skipped(std::string_view check, std::string_view why);
    // Keeps a console line "topic: value" (the machine, the board, the
    // program checked) as a fact, and returns it as it is.
    std::string Noted(std::string line);
    // "N skipped" when any were, then "N passed, N failed".
    std::vector<std::string> Closing() const;
    Status ExitStatus() const { return failed_ ? kFailed : kHeld; }
    const std::vector<Line>& lines() const { return lines_; }
    const std::vector<Fact>& facts() const { return facts_; }

private:
    std::string Add(Verdict verdict, std::string_view check, std::string_view text);

    int passed_ = 0, failed_ = 0, skipped_ = 0;
    std::vector<Line> lines_;
    std::vector<Fact> facts_;
};

// Today's console line of a kept line: "held     check: text", ...
std::string ConsoleLine(const Report::Line& line);

// The stages of a run of the check, as `--stages=` names them, a bit each.
// The machine and the board are read on every run: the board decides what
// each stage asks.
enum Stages : unsigned {
    kRoadStage = 1u << 0,      // "road": the plain run
    kPlantedStage = 1u << 1,   // "planted": every system image name planted, with the control
    kManifestStage = 1u << 2,  // "manifest": a manifest planted beside the program
    kBesideStage = 1u << 3,    // "beside": no utility beside the program, a decoy in the current folder
    kHiddenStage = 1u << 4,    // "hidden": started hidden
    kDriveStage = 1u << 5,     // "drive": from the root of a drive
    kFleetStage = 1u << 6,     // "fleet": /quiet with a log, /check, a switch not understood
    kWaitStage = 1u << 7,      // "wait": /wait against the stand-in's statuses, and runs during its flash
    kTargetStage = 1u << 8,    // "target": /target: the machine's own firmware version, another, one misspelt
    // "timeout": /wait /timeout:1 with a utility that outlives it (a real
    // minute), and runs during its flash
    kTimeoutStage = 1u << 9,
    kTailStage = 1u << 10,       // "tail": what follows "--" reaches the utility as it stands
    kOldLogStage = 1u << 11,     // "oldlog": earlier lines and another writer's text kept; runs at once into one log
    kBitLockerStage = 1u << 12,  // "bitlocker": /check /bitlocker reads the protection, changes nothing
    kLockStage = 1u << 13,       // "lock": a user's object of the lock's name, a plain run during a flash
    kAgentJobStage = 1u << 14,   // "agentjob": run in a job that ends its processes as it closes
    kEveryStage = (1u << 15) - 1,
};
// "road,planted,...": the stages named, each once, in any order; nothing
// for an empty list, a name not among them or one named twice.
std::optional<unsigned> ParseStages(std::string_view list);

// The names among `imports` that are not in `known`, compared without regard
// to the case of ASCII letters.
std::vector<std::string> NotAmong(const std::vector<std::string>& imports, const std::vector<std::string>& known);

// `roots` and, over and over, the DLLs each of them imports (`importsOf`
// answers for one name), each name once, in lower case.
template <typename ImportsOf>
std::vector<std::string> WithDependencies(const std::vector<std::string>& roots, ImportsOf&& importsOf);

std::string Lower(std::string_view text);

template <typename ImportsOf>
std::vector<std::string> WithDependencies(const std::vector<std::string>& roots, ImportsOf&& importsOf)
{
    std::vector<std::string> all;
    std::vector<std::string> pending(roots.begin(), roots.end());
    while (!pending.empty()) {
        std::string name = Lower(pending.back());
        pending.pop_back();
        bool seen = false;
        for (const std::string& known : all) seen = seen || known == name;
        if (seen) continue;
        all.push_back(name);
        for (const std::string& dependency : importsOf(name)) pending.push_back(dependency);
    }
    return all;
}

}  // namespace kestrel::check
