// The switches of a fleet run, read one argument at a time; shared by the
// Windows command line and the Linux argument list (command_line.h).
#pragma once

#include <string>
#include <string_view>

#include "command_line.h"

namespace kestrel::switches {

// Whether argument[from, to) is `word`: in ASCII letters of either case on
// Windows, exactly on Linux.
template <typename Char>
bool Named(std::basic_string_view<Char> argument, std::size_t from, std::size_t to, std::string_view word, bool windows)
{
    if (to - from != word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        Char c = argument[from + i];
        if (windows && c >= 'A' && c <= 'Z') c = Char(c - 'A' + 'a');
        if (c != Char(word[i])) return false;
    }
    return true;
}

// A whole number of minutes from 1 to kMostTimeoutMinutes, in ASCII digits;
// 0 for anything else.
template <typename Char>
unsigned Minutes(std::basic_string_view<Char> digits)
{
    unsigned minutes = 0;
    for (const Char c : digits) {
        if (c < '0' || c > '9') return 0;
        minutes = minutes * 10 + unsigned(c - '0');
        if (minutes > kMostTimeoutMinutes) return 0;
    }
    return minutes;
}

// A least charge: a whole percentage from 1 to 100, in ASCII digits; 0 for
// anything else.
template <typename Char>
unsigned Percent(std::basic_string_view<Char> digits)
{
    unsigned percent = 0;
    for (const Char c : digits) {
        if (c < '0' || c > '9') return 0;
        percent = percent * 10 + unsigned(c - '0');
        if (percent > 100) return 0;
    }
    return percent;
}

// Whether `list` is a /from list: one to kMostFromVersions versions
// separated by commas, each of one to kLongestFromVersion characters that
// neither begins nor ends with a blank ("1.05, 1.06" meant two versions, not
// " 1.06"); on Windows no quote in it, as in a target.
template <typename Char>
bool FromList(std::basic_string_view<Char> list, bool windows)
{
    const auto blank = [](Char c) { return c == ' ' || c == '\t'; };
    std::size_t versions = 0;
    for (std::size_t from = 0; from <= list.size();) {
        std::size_t to = list.find(Char(','), from);
        if (to == std::basic_string_view<Char>::npos) to = list.size();
        const std::size_t length = to - from;
        if (length == 0 || length > kLongestFromVersion || blank(list[from]) || blank(list[to - 1]) ||
            ++versions > kMostFromVersions)
            return false;
        from = to + 1;
    }
    return !(windows && list.find(Char('"')) != std::basic_string_view<Char>::npos);
}

// A time limit is only for a run that waits.
template <typename Char>
void Finish(Switches<Char>& out)
{
    using Kind = typename Switches<Char>::Kind;
    if (out.kind == Kind::Fleet && out.timeoutMinutes != 0 && !out.wait) {
        out.kind = Kind::Error;
        out.error = out.timeout;
    }
}

// Reads one argument before "--" into `out`; true when it is "--". On
// Windows a switch starts with / or - and its name is read without regard to
// case, a value follows ':'; on Linux it starts with -- and a value follows
// '='. An argument not understood (unknown, empty, a log without a file, a
// second log file, on Windows a log file's name with a quote in it, a time
// limit that is not a whole number of minutes from 1 to a week, a second
// one, an empty target, a second one or on Windows one with a quote in it,
// a list to flash from that FromList refuses or a second one, a least charge
// that is not a whole percentage from 1 to 100 or a second one,
// /bitlocker on Linux) makes the run
// a usage error naming the first such; the usage asked for wins over that.
template <typename Char>
bool Read(std::basic_string_view<Char> argument, bool windows, Switches<Char>& out)
{
    using Kind = typename Switches<Char>::Kind;
    if (out.kind == Kind::Plain) out.kind = Kind::Fleet;
    if (argument.size() == 2 && argument[0] == '-' && argument[1] == '-') return true;
    const std::size_t start = windows ? 1 : 2;
    const bool marked = windows ? argument.size() > 1 && (argument[0] == '/' || argument[0] == '-')
                                : argument.size() > 2 && argument[0] == '-' && argument[1] == '-';
    // The name runs up to the value's mark, if any.
    const Char mark = windows ? Char(':') : Char('=');
    std::size_t end = start;
    while (marked && end < argument.size() && argument[end] != mark) ++end;
    const bool value = end < argument.size();
    const auto is = [&](std::string_view word) {
        return marked && !value && Named(argument, start, end, word, windows);
    };
    // A log file's name, when this is one. No Windows file name holds a quote
    // ("Naming Files, Paths, and Namespaces", Microsoft Learn): one there was
    // meant to end the argument and was kept by the backslash before it, as
    // in "/log:C:\Logs\" -- /s, which takes the rest of the line into the name.
    const bool logFile = marked && value && Named(argument, start, end, "log", windows) && end + 1 < argument.size() &&
                         !(windows && argument.find(Char('"'), end + 1) != std::basic_string_view<Char>::npos);
    if (is(windows ? "?" : "help")) {
        out.kind = Kind::Help;
    } else if (is("quiet")) {
        out.quiet = true;
    } else if (is("wait")) {
        out.wait = true;
    } else if (is("check")) {
        out.check = true;
    } else if (windows && is("bitlocker")) {
        out.bitlocker = true;
    } else if (marked && value && Named(argument, start, end, "target", windows) && end + 1 < argument.size() &&
               !out.hasTarget &&
               !(windows && argument.find(Char('"'), end + 1) != std::basic_string_view<Char>::npos)) {
        out.hasTarget = true;
        out.target.assign(argument.data() + end + 1, argument.size() - end - 1);
    } else if (marked && value && Named(argument, start, end, "from", windows) && !out.hasFrom &&
               FromList(argument.substr(end + 1), windows)) {
        out.hasFrom = true;
        out.from.assign(argument.data() + end + 1, argument.size() - end - 1);
    } else if (const unsigned percent = marked && value && Named(argument, start, end, "mincharge", windows)
                                            ? Percent(argument.substr(end + 1))
                                            : 0;
               percent != 0 && out.minCharge == 0) {
        out.minCharge = percent;
    } else if (logFile && !out.hasLog) {
        out.hasLog = true;
        out.log.assign(argument.data() + end + 1, argument.size() - end - 1);
    } else if (const unsigned minutes = marked && value && Named(argument, start, end, "timeout", windows)
                                            ? Minutes(argument.substr(end + 1))
                                            : 0;
               minutes != 0 && out.timeoutMinutes == 0) {
        out.timeoutMinutes = minutes;
        out.timeout = std::basic_string<Char>(argument);
    } else if (out.kind == Kind::Fleet) {
        out.kind = Kind::Error;
        out.error = std::basic_string<Char>(argument);
    }
    return false;
}

}  // namespace kestrel::switches
