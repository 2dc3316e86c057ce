// libFuzzer target: the bytes as a Windows command line (UTF-16, two bytes a
// unit) and as a Linux argument list (split at NUL bytes). Checks that the
// reader only moves forward, ends the program's name where a name can end,
// hands the utility a tail of the line itself, keeps no quote in a log
// file's name, and that a run's log line is one line, whatever the board's
// version.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "command_line.h"
#include "fleet.h"
#include "run_log.h"

namespace {

void Require(bool condition)
{
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kestrel;
    std::u16string line;
    for (std::size_t i = 0; i + 1 < size; i += 2) line += char16_t(data[i] | (data[i + 1] << 8));

    std::size_t at = SkipProgramName(line);
    Require(at <= line.size());
    for (std::u16string value; NextArgument(line, at, value);) {
        Require(at <= line.size());
        Require(value.size() <= line.size());
    }
    // The program spelled as the line's first half and its second: the name
    // skipped ends where a quoted name ends, else at a blank or the end.
    const Spellings spellings = ProgramSpellings(std::u16string_view(line).substr(0, line.size() / 2),
                                                 std::u16string_view(line).substr(line.size() / 2));
    const std::size_t skipped = SkipProgramName(line, spellings);
    Require(skipped <= line.size());
    if (!line.empty() && line[0] == u'"') Require(skipped == SkipProgramName(line));
    else Require(skipped == line.size() || line[skipped] == u' ' || line[skipped] == u'\t');

    for (const WindowsInvocation& windows : {ParseWindowsCommandLine(line), ParseWindowsCommandLine(line, spellings)}) {
        Require(windows.utilityTail.size() <= line.size());
        Require(line.compare(line.size() - windows.utilityTail.size(), std::u16string::npos, windows.utilityTail) == 0);
        Require(windows.kind != WindowsInvocation::Kind::Plain || (!windows.quiet && !windows.wait && !windows.hasLog));
        Require(windows.log.find(u'"') == std::u16string::npos);
    }

    std::vector<std::string_view> arguments;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (std::size_t start = 0; start <= bytes.size();) {
        const std::size_t end = std::min(bytes.find('\0', start), bytes.size());
        arguments.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    const LinuxInvocation linux = ParseLinuxArguments(arguments);
    Require(linux.utilityArguments.size() < arguments.size());

    // The board's version as WMI could give it, the computer's and the
    // account's names and the target: any UTF-16 at all.
    RunFacts facts;
    facts.started = "2026-12-08T14:05:09+01:00";
    facts.run = "1";
    facts.computer = line;
    facts.account = line;
    FleetRequest request;
    request.wait = true;
    request.target = line;
    FleetResult result;
    result.board.version = VersionRead::Text(line);
    for (const LogMoment moment : {LogMoment::Starting, LogMoment::Ended}) {
        const std::string logged = LogLine(facts, request, result, 1, moment);
        Require(!logged.empty() && logged.back() == '\n');
        for (std::size_t i = 0; i + 1 < logged.size(); ++i) Require(static_cast<unsigned char>(logged[i]) >= 0x20);
    }
    return 0;
}
