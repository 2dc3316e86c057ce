#include "command_line.h"

#include "switches.h"

namespace kestrel {

namespace {

bool Blank(char16_t c) { return c == u' ' || c == u'\t'; }

bool Separator(char16_t c) { return c == u'\\' || c == u'/'; }

// A character of a path as it compares: ASCII letters in lower case, "/" as
// "\".
char16_t Folded(char16_t c)
{
    if (c == u'/') return u'\\';
    return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c;
}

// Whether `part` stands in `text` at `at`, compared as paths are.
bool StandsAt(std::u16string_view text, std::size_t at, std::u16string_view part)
{
    if (at > text.size() || text.size() - at < part.size()) return false;
    for (std::size_t i = 0; i < part.size(); ++i)
        if (Folded(text[at + i]) != Folded(part[i])) return false;
    return true;
}

bool SameText(std::u16string_view a, std::u16string_view b) { return a.size() == b.size() && StandsAt(a, 0, b); }

bool EndsWith(std::u16string_view text, std::u16string_view end)
{
    return text.size() >= end.size() && StandsAt(text, text.size() - end.size(), end);
}

// A path past its long-path prefix or a share's "\\", and whether it names a
// share: "\\?\C:\x" reads as "C:\x", "\\?\UNC\server\x" as "\\server\x".
struct Unprefixed {
    bool share;
    std::u16string_view rest;
};

Unprefixed WithoutPrefix(std::u16string_view path)
{
    for (const Unprefixed prefix : {Unprefixed{true, u"\\\\?\\UNC\\"},
                                    {true, u"\\\\.\\UNC\\"},
                                    {false, u"\\\\?\\"},
                                    {false, u"\\\\.\\"},
                                    {true, u"\\\\"}}) {
        if (!StandsAt(path, 0, prefix.rest)) continue;
        path.remove_prefix(prefix.rest.size());
        return {prefix.share, path};
    }
    return {false, path};
}

// A path as the system reads it: "." folders taken out, each ".." with the
// folder before it, and dots at the end of the name dropped
// (C:\x\.\y\..\k.exe. is C:\x\k.exe).
std::u16string Resolved(std::u16string_view path)
{
    std::u16string out;
    std::size_t from = 0;
    while (from <= path.size()) {
        std::size_t to = from;
        while (to < path.size() && !Separator(path[to])) ++to;
        const std::u16string_view part = path.substr(from, to - from);
        if (part == u"..") {
            // Back to before the last folder, if any.
            const std::size_t last = out.find_last_of(u'\\');
            out.resize(last == std::u16string::npos ? 0 : last);
        } else if (part != u".") {
            if (from != 0) out += u'\\';
            out += part;
        }
        from = to + 1;
    }
    while (!out.empty() && out.back() == u'.') out.pop_back();
    return out;
}

bool SamePath(std::u16string_view a, std::u16string_view b)
{
    const Unprefixed first = WithoutPrefix(a), second = WithoutPrefix(b);
    return first.share == second.share && SameText(Resolved(first.rest), Resolved(second.rest));
}

// Whether `name` is `spelling`, or its end from a "\" or "/" on: a path
// relative to one of its folders, or its file name alone.
bool PartOfSpelling(std::u16string_view name, std::u16string_view spelling)
{
    if (SamePath(name, spelling)) return true;
    return name.size() < spelling.size() && EndsWith(spelling, name) &&
           Separator(spelling[spelling.size() - name.size() - 1]);
}

// Whether `name` ends in "\" or "/" and the file name of `spelling` (all of
// it when it has neither).
bool EndsInFileName(std::u16string_view name, std::u16string_view spelling)
{
    std::u16string_view file = spelling;
    file.remove_prefix(spelling.find_last_of(u"\\/") + 1);
    return !file.empty() && name.size() > file.size() && EndsWith(name, file) &&
           Separator(name[name.size() - file.size() - 1]);
}

}  // namespace

std::size_t SkipProgramName(std::u16string_view line) { return SkipProgramName(line, {}); }

std::size_t SkipProgramName(std::u16string_view line, std::span<const std::u16string_view> spellings)
{
    // No backslash or doubled quote means anything in the program's name.
    std::size_t i = 0;
    if (i < line.size() && line[i] == u'"') {
        for (++i; i < line.size() && line[i] != u'"'; ++i) {
        }
        return i < line.size() ? i + 1 : i;
    }
    // The name ends at a blank or at the line's end. A spelling or its end,
    // the longest: started in C:\ as kestrel 2\kestrel.exe, "kestrel" is the
    // end of the spelling "C:\kestrel 2\kestrel" too. Else any path to the
    // file, the shortest, and never past a switch or a quote: the arguments
    // may name the program again, and a line of switches must not turn into
    // the plain run because one of them names it.
    std::size_t longest = 0, shortest = 0;
    bool pastSwitch = false;
    for (std::size_t end = 1; end <= line.size(); ++end) {
        if (end < line.size() && !Blank(line[end])) continue;
        const std::u16string_view name(line.data(), end);
        for (const std::u16string_view spelling : spellings) {
            if (spelling.empty()) continue;
            if (PartOfSpelling(name, spelling)) longest = end;
            if (shortest == 0 && !pastSwitch && EndsInFileName(name, spelling)) shortest = end;
        }
        const char16_t next = end + 1 < line.size() ? line[end + 1] : u' ';
        pastSwitch = pastSwitch || next == u'/' || next == u'-' || next == u'"';
    }
    if (longest != 0) return longest;
    if (shortest != 0) return shortest;
    while (i < line.size() && !Blank(line[i])) ++i;
    return i;
}

Spellings ProgramSpellings(std::u16string_view path, std::u16string_view shortPath)
{
    const auto withoutExe = [](std::u16string_view spelling) {
        return EndsWith(spelling, u".exe") ? spelling.substr(0, spelling.size() - 4) : std::u16string_view();
    };
    if (shortPath == path) shortPath = {};
    return {path, withoutExe(path), shortPath, withoutExe(shortPath)};
}

bool NextArgument(std::u16string_view line, std::size_t& at, std::u16string& value, bool* open)
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
    if (open) *open = quotes == 1;
    return true;
}

WindowsInvocation ParseWindowsCommandLine(std::u16string_view line) { return ParseWindowsCommandLine(line, {}); }

WindowsInvocation ParseWindowsCommandLine(std::u16string_view line, std::span<const std::u16string_view> spellings)
{
    using Kind = WindowsInvocation::Kind;
    WindowsInvocation out;
    std::size_t at = SkipProgramName(line, spellings);
    std::u16string argument;
    bool open = false;
    while (NextArgument(line, at, argument, &open)) {
        // A quote left open took the rest of the line into one argument, the
        // switches and "--" after it with it: that line is not understood.
        if (open) {
            if (out.kind == Kind::Plain || out.kind == Kind::Fleet) {
                out.kind = Kind::Error;
                out.error = argument;
            }
            break;
        }
        if (switches::Read<char16_t>(argument, true, out)) {
            while (at < line.size() && Blank(line[at])) ++at;
            out.utilityTail.assign(line.data() + at, line.size() - at);
            break;
        }
    }
    switches::Finish(out);
    return out;
}

}  // namespace kestrel
