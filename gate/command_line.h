// The command line of a fleet run. Without arguments kestrel reads none and
// does what it always did; with arguments it runs unattended as asked:
//   kestrel.exe [/quiet] [/wait] [/log:FILE] [/?] [-- UTILITY ARGUMENTS]
// Switches start with / or - and are read without regard to case; on Linux
// the same words start with -- (--quiet, --wait, --log=FILE, --help).
// Everything after "--" belongs to the flash utility.
#pragma once

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
    std::basic_string<Char> log;    // the log file, when hasLog
    std::basic_string<Char> error;  // what was not understood, as given
};

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

// Reads the argument at or after `at` as CommandLineToArgvW does, and moves
// `at` past it; false when none is left. Arguments lie between blanks
// (space, tab); 2n backslashes before a quote are n backslashes and the quote
// opens or closes a quoted part, 2n+1 are n and a quote in the text, other
// backslashes stand as they are, and a third quote in a row is a quote in
// the text.
bool NextArgument(std::u16string_view line, std::size_t& at, std::u16string& value);

// Reads a Windows command line (GetCommandLineW: the program's name first).
WindowsInvocation ParseWindowsCommandLine(std::u16string_view line);

// Reads the Linux arguments (argv without the program's name).
LinuxInvocation ParseLinuxArguments(std::span<const std::string_view> arguments);

}  // namespace kestrel
