#include "report.h"

#include <iterator>

namespace kestrel::check {

std::string Lower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

std::string ConsoleLine(const Report::Line& line)
{
    const char* word = line.verdict == Report::Verdict::Held     ? "held     "
                       : line.verdict == Report::Verdict::Failed ? "FAILED   "
                                                                 : "skipped  ";
    return word + line.check + ": " + line.text;
}

std::string Report::Add(Verdict verdict, std::string_view check, std::string_view text)
{
    lines_.push_back({verdict, std::string(check), std::string(text)});
    return ConsoleLine(lines_.back());
}

std::string Report::Held(std::string_view check, std::string_view what)
{
    ++passed_;
    return Add(Verdict::Held, check, what);
}

std::string Report::Failed(std::string_view check, std::string_view seen)
{
    ++failed_;
    return Add(Verdict::Failed, check, seen);
}

std::string Report::Skipped(std::string_view check, std::string_view why)
{
    ++skipped_;
    return Add(Verdict::Skipped, check, why);
}

std::string Report::Noted(std::string line)
{
    const std::size_t colon = line.find(": ");
    if (colon == std::string::npos) facts_.push_back({line, {}});
    else facts_.push_back({line.substr(0, colon), line.substr(colon + 2)});
    return line;
}

std::vector<std::string> Report::Closing() const
{
    std::vector<std::string> lines;
    if (skipped_) lines.push_back(std::to_string(skipped_) + " skipped");
    lines.push_back(std::to_string(passed_) + " passed, " + std::to_string(failed_) + " failed");
    return lines;
}

std::optional<unsigned> ParseStages(std::string_view list)
{
    static constexpr std::string_view kNames[] = {"road",  "planted", "manifest",  "beside", "hidden",
                                                  "drive", "fleet",   "wait",      "target", "timeout",
                                                  "tail",  "oldlog",  "bitlocker", "lock",   "agentjob"};
    unsigned stages = 0;
    while (true) {
        const std::size_t comma = list.find(',');
        const std::string_view name = list.substr(0, comma);
        unsigned bit = 0;
        for (std::size_t i = 0; i < std::size(kNames); ++i)
            if (name == kNames[i]) bit = 1u << i;
        if (bit == 0 || (stages & bit)) return std::nullopt;
        stages |= bit;
        if (comma == std::string_view::npos) return stages;
        list.remove_prefix(comma + 1);
    }
}

std::vector<std::string> NotAmong(const std::vector<std::string>& imports, const std::vector<std::string>& known)
{
    std::vector<std::string> outside;
    for (const std::string& name : imports) {
        bool found = false;
        for (const std::string& k : known) found = found || Lower(k) == Lower(name);
        if (!found) outside.push_back(name);
    }
    return outside;
}

}  // namespace kestrel::check
