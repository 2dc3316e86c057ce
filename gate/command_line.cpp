#include "command_line.h"

#include "switches.h"

namespace kestrel {

namespace {

bool Blank(char16_t c) { return c == u' ' || c == u'\t'; }

}  // namespace

std::size_t SkipProgramName(std::u16string_view line)
{
    // No backslash or doubled quote means anything in the program's name.
    std::size_t i = 0;
    if (i < line.size() && line[i] == u'"') {
        for (++i; i < line.size() && line[i] != u'"'; ++i) {
        }
        return i < line.size() ? i + 1 : i;
    }
    while (i < line.size() && !Blank(line[i])) ++i;
    return i;
}

bool NextArgument(std::u16string_view line, std::size_t& at, std::u16string& value)
{
    value.clear();
    while (at < line.size() && Blank(line[at])) ++at;
    if (at >= line.size()) return false;
    std::size_t backslashes = 0;
    int quotes = 0;  // 1: inside a quoted part
    while (at < line.size() && !(quotes == 0 && Blank(line[at]))) {
        const char16_t c = line[at++];
        if (c != u'"') {
            backslashes = c == u'\\' ? backslashes + 1 : 0;
            value += c;
            continue;
        }
        value.resize(value.size() - backslashes / 2);
        if (backslashes % 2 == 1) value.back() = u'"';
        else ++quotes;
        backslashes = 0;
        // Quotes in a row: every third one is a quote in the text.
        for (; at < line.size() && line[at] == u'"'; ++at) {
            if (++quotes == 3) {
                value += u'"';
                quotes = 0;
            }
        }
        if (quotes == 2) quotes = 0;
    }
    return true;
}

WindowsInvocation ParseWindowsCommandLine(std::u16string_view line)
{
    WindowsInvocation out;
    std::size_t at = SkipProgramName(line);
    std::u16string argument;
    while (NextArgument(line, at, argument)) {
        if (switches::Read<char16_t>(argument, true, out)) {
            while (at < line.size() && Blank(line[at])) ++at;
            out.utilityTail.assign(line.data() + at, line.size() - at);
            break;
        }
    }
    return out;
}

}  // namespace kestrel
