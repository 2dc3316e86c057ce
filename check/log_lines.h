// A fleet run's log as the release check reads it: every line a whole JSON
// object naming the board as it was read, and the last line's status the
// run's own. Free of any platform.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "board_prefix.h"

namespace kestrel::check {

// One top-level member of a log line: a string decoded to UTF-8, a number
// as written, null, or anything else (true, false, an object, an array).
struct JsonMember {
    enum class Kind { String, Number, Null, Other };
    std::string key;
    Kind kind = Kind::Other;
    std::string value;
};

// The members of a line that is one whole JSON object and nothing else
// (blanks around it aside); nothing when it is not one.
std::optional<std::vector<JsonMember>> JsonObject(std::string_view line);

// What is wrong with the log of a run that ended with `status`, or "" when
// nothing is: it holds at least one line, each a whole JSON object ending
// with its line feed; each names the board as the check read it ("board"
// that text, or null where the version held no value; where no version was
// read, null or none, with "notRead" or "boardNotRead" naming the step); the
// last one's "status" is `status` as a signed 32-bit number (a line before
// it may hold none yet).
std::string LogFault(std::string_view log, const VersionRead& board, unsigned long status);

// The keys each line of the log has, null where they say nothing, as
// deploying.md lists them; a later release appends its own after them.
inline constexpr std::string_view kLogKeys[] = {
    "started", "kestrel",     "run",        "computer",   "account",  "session",   "board",  "boardNotRead",
    "bios",    "biosNotRead", "target",     "bitlocker",  "argument", "decision",  "result", "status",
    "utility", "utilityHex",  "durationMs", "accountSid", "agentJob", "lockOwner", "from",   "charge",
};

// What is wrong with a log that held `before` (earlier runs' lines, another
// writer's text, perhaps no final line feed) once a run that ended with
// `status` has written to it (`after`), or "" when nothing is: every earlier
// byte kept as it was, a line feed added where the text did not end in one,
// and then the run's own lines, as LogFault reads a log, each with every key
// of kLogKeys (the tools that read the log look for them).
std::string KeptLogFault(std::string_view before, std::string_view after, const VersionRead& board,
                         unsigned long status);

// What is wrong with the lines of one run that started the utility (a log
// LogFault has read whole), or "" when nothing is: the line "starting"
// (no status yet) comes before the run's last line, both of the same run,
// so that a run a tool kills during the flash still leaves its line.
std::string StartingFault(std::string_view log);

// What is wrong with the log of a run ended by force during its flash, or ""
// when nothing is: its line "starting" (every key, no status yet) is there,
// written before the start, since a run so ended writes nothing more. A log
// alone cannot tell a line written before the start from one held back to the
// run's end; only a run ended during the flash can.
std::string ForcedEndFault(std::string_view log);

// What is wrong with a log that `runs` runs, started at once, wrote into
// together, each one line, or "" when nothing is: every line a whole JSON
// object with every key of kLogKeys, naming the board as it was read, and
// one line of each run (no two lines of one run id, as many ids as runs).
std::string SharedLogFault(std::string_view log, const VersionRead& board, std::size_t runs);

}  // namespace kestrel::check
