// The command line of a fleet run. Without arguments kestrel reads none and
// does what it always did; with arguments it runs unattended as asked:
//   kestrel.exe [/check] [/quiet] [/wait [/timeout:MINUTES]] [/target:VERSION] [/from:V1,V2,...]
//               [/mincharge:PERCENT] [/bitlocker] [/log:FILE] [/?] [-- UTILITY ARGUMENTS]
// Switches start with / or - and are read without regard to case; on Linux
// the same words start with -- (--check, --quiet, --wait, --timeout=MINUTES,
// --target=VERSION, --from=V1,V2,..., --mincharge=PERCENT, --log=FILE,
// --help; no --bitlocker). A time limit without a wait is not understood.
// Everything after "--" belongs to the flash utility.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

template <typename Char>
struct Switches {
    enum class Kind {
        Plain,  // no arguments: the routine as it always ran
        Fleet,  // switches that were all understood
        Help,   // the usage was asked for
        Error,  // an argument that is not understood; `error` names it
    };
    Kind kind = Kind::Plain;
    bool quiet = false;
    bool wait = false;
    bool hasLog = false;
    std::basic_string<Char> log;  // the log file, when hasLog
    // With wait: how many minutes to wait at most (1 to kMostTimeoutMinutes);
    // 0 for no limit.
    unsigned timeoutMinutes = 0;
    std::basic_string<Char> timeout;  // the time limit's argument, as given
    bool check = false;               // decide only: nothing started, no lock taken
    bool hasTarget = false;
    std::basic_string<Char> target;  // the firmware version the flash brings, when hasTarget
    bool bitlocker = false;          // suspend disk protection for the flash's restart
    bool hasFrom = false;
    std::basic_string<Char> from;   // the versions a flash may start from, separated by commas
    unsigned minCharge = 0;         // the least battery charge in percent (1 to 100); 0: none asked
    std::basic_string<Char> error;  // what was not understood, as given
};

// The longest time limit a run may be given: a week.
inline constexpr unsigned kMostTimeoutMinutes = 7 * 24 * 60;

// The most versions a /from list may hold, and the longest each may be.
inline constexpr std::size_t kMostFromVersions = 64;
inline constexpr std::size_t kLongestFromVersion = 128;

// A Windows command line: the switches, and the rest of the line after
// "--", as it stands, for the utility.
struct WindowsInvocation : Switches<char16_t> {
    std::u16string utilityTail;
};

// A Linux argument list: the switches, and the arguments after "--".
struct LinuxInvocation : Switches<char> {
    std::vector<std::string> utilityArguments;
};

// Where the arguments of a whole Windows command line begin: after the
// program's name, which runs up to the next quote when it starts with one,
// else up to a blank.
std::size_t SkipProgramName(std::u16string_view line);

// The same, knowing how the running program may be spelled (`spellings`, from
// ProgramSpellings). A quoted name ends at the next quote as above. An
// unquoted one may hold blanks: a program started as CreateProcessW(path,
// NULL, ...) gets its path as the whole line, unquoted, spaces and all. Its
// name then ends at a blank or at the line's end, and is, of the parts of the
// line so ended:
//  - the longest that is a spelling, or a spelling's end from a "\" or "/"
//    on (a path relative to one of the program's folders, its file name);
//  - else the shortest that ends in "\" or "/" and a spelling's file name
//    (".\kestrel.exe", the program's file reached by another folder);
//  - else the first: the name ends at the first blank.
// Names are compared without regard to the case of ASCII letters, "/" and
// "\" alike, "\\?\C:\x" as "C:\x" and "\\?\UNC\server\share" as
// "\\server\share". A name never ends inside a word: "C:\Program" does not
// start "C:\Program Files\...".
std::size_t SkipProgramName(std::u16string_view line, std::span<const std::u16string_view> spellings);

// How the program at `path` (its full path, GetModuleFileNameW) may be
// spelled at the start of its command line: that path, it without a final
// ".exe" (in any case), its short form (`shortPath`) where that differs, and
// the short form without ".exe". A spelling that does not apply is empty, and
// an empty spelling names nothing. A fixed four, each a part of `path` or
// `shortPath`, which must outlive them.
using Spellings = std::array<std::u16string_view, 4>;
Spellings ProgramSpellings(std::u16string_view path, std::u16string_view shortPath);

// Reads the argument at or after `at` as CommandLineToArgvW does, and moves
// `at` past it; false when none is left. Arguments lie between blanks
// (space, tab); 2n backslashes before a quote are n backslashes and the quote
// opens or closes a quoted part, 2n+1 are n and a quote in the text, other
// backslashes stand as they are, and a third quote in a row is a quote in
// the text. `open`, when given, tells whether the argument ended with the
// line inside a quoted part, which took the rest of the line into it.
bool NextArgument(std::u16string_view line, std::size_t& at, std::u16string& value, bool* open = nullptr);

// Reads a Windows command line (GetCommandLineW: the program's name first).
WindowsInvocation ParseWindowsCommandLine(std::u16string_view line);

// The same, the program's name skipped by its spellings (SkipProgramName).
WindowsInvocation ParseWindowsCommandLine(std::u16string_view line, std::span<const std::u16string_view> spellings);

// Reads the Linux arguments (argv without the program's name).
LinuxInvocation ParseLinuxArguments(std::span<const std::string_view> arguments);

}  // namespace kestrel
