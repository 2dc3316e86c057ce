// The release check's report: one line a check, "held", "FAILED" with what
// was seen, or "skipped" with why, then the closing count, and the exit
// status that goes with it.
#pragma once

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
    // Each returns the line it adds.
    std::string Held(std::string_view check, std::string_view what);
    std::string Failed(std::string_view check, std::string_view seen);
    std::string Skipped(std::string_view check, std::string_view why);
    // "N skipped" when any were, then "N passed, N failed".
    std::vector<std::string> Closing() const;
    Status ExitStatus() const { return failed_ ? kFailed : kHeld; }

private:
    int passed_ = 0, failed_ = 0, skipped_ = 0;
};

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
