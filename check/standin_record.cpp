#include "standin_record.h"

namespace kestrel::check {

namespace {

bool HasLine(std::string_view record, std::string_view wanted)
{
    for (const std::string& line : RecordLines(record))
        if (line == wanted) return true;
    return false;
}

}  // namespace

std::vector<std::string> RecordLines(std::string_view record)
{
    std::vector<std::string> lines;
    while (!record.empty()) {
        const std::size_t end = record.find('\n');
        std::string line(record.substr(0, end));
        while (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
        if (end == std::string_view::npos) break;
        record.remove_prefix(end + 1);
    }
    return lines;
}

std::vector<std::string> StartLines(std::string_view record)
{
    std::vector<std::string> starts;
    for (std::string& line : RecordLines(record))
        if (line.rfind("started ", 0) == 0) starts.push_back(std::move(line));
    return starts;
}

bool EndedOnItsOwn(std::string_view record) { return HasLine(record, "ended"); }
bool ChildEnded(std::string_view record) { return HasLine(record, "child ended"); }

std::optional<Start> ParseStart(std::string_view line)
{
    // The arguments and the folder may hold anything: they are read between
    // the fixed fields around them, the last of which ends the line.
    constexpr std::string_view kHead = "started usestartup=";
    const std::size_t show = line.find(" show="), args = line.find(" args=["), mode = line.rfind(" errormode=");
    if (line.substr(0, kHead.size()) != kHead || show == std::string_view::npos || args == std::string_view::npos ||
        mode == std::string_view::npos || show > args || args > mode)
        return std::nullopt;
    const std::size_t cwd = line.rfind("] cwd=", mode);
    if (cwd == std::string_view::npos || cwd < args + 6) return std::nullopt;
    const auto number = [](std::string_view digits, unsigned long& out) {
        out = 0;
        if (digits.empty() || digits.size() > 9) return false;
        for (const char c : digits) {
            if (c < '0' || c > '9') return false;
            out = out * 10 + unsigned(c - '0');
        }
        return true;
    };
    unsigned long useStartup = 0, shown = 0, errorMode = 0;
    if (!number(line.substr(kHead.size(), show - kHead.size()), useStartup) ||
        !number(line.substr(show + 6, args - show - 6), shown) || !number(line.substr(mode + 11), errorMode) ||
        useStartup > 1)
        return std::nullopt;
    return Start{useStartup == 1, int(shown), std::string(line.substr(args + 7, cwd - args - 7)),
                 std::string(line.substr(cwd + 6, mode - cwd - 6)), errorMode};
}

}  // namespace kestrel::check
