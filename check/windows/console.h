// The report's way out: a line at a time, whole in any script and language,
// to a console as UTF-16 (WriteConsoleW) and to a file or pipe as UTF-8.
#pragma once

#include <string>

namespace kestrel::check {

// Writes one line of UTF-8 text. A report nobody reads (a closed pipe) is no
// reason to stop checking: a failed write is dropped.
void Say(const std::string& line);

// Asks the person at the console a yes-or-no question; false without one.
bool Ask(const std::string& question);

// A person who double-clicked the tool must be able to read the report: the
// console stays open until a key is pressed when this process is the only
// one in it (Explorer made it), and not when the output is redirected.
void KeepConsoleOpen();

}  // namespace kestrel::check
