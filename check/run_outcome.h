// What one run of the program under check showed, what its road asks of it,
// and which of the images the loader mapped into it count as planted: the
// release check's decisions, free of any platform.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "standin_record.h"
#include "update_gate.h"

namespace kestrel::check {

struct Box {
    std::string caption, text;                  // UTF-8
    bool warning = false;                       // the system's warning icon, as shown
    std::vector<std::string> buttons = {"OK"};  // their texts, without the '&' of an access key
    bool onlyOk = true;                         // one button, and it is OK (IDOK)
};

struct Seen {
    unsigned long startError = 0;  // set when it could not be started
    bool timedOut = false;
    unsigned long exit = 0;
    std::vector<Box> boxes;
    std::string utility;                // the stand-in's record, a line a start, UTF-8; empty when none
    std::vector<std::wstring> planted;  // images mapped from the scratch folder
    std::string decoy;                  // the record of the current folder's WinPhlash.exe, the wrong one
    std::vector<std::string> children;  // other programs it started, UTF-8
    // Processes from the scratch folder still running once the run was
    // over, by their image (UTF-8): ended by the check, and a fault.
    std::vector<std::string> leftovers;
    std::vector<std::string> platform;  // what the platform started for it (COM's surrogate), named only
    bool endedWhileUtilityRan = false;  // the program ended while the utility it started still ran
    bool endedLast = false;             // the program ended after every other process of its tree
    bool endedAfterUtility = false;     // the program ended after the utility it started (its own process)
};

// What a road asks of the program.
struct Expected {
    bool launches = false;
    std::string caption, text;
    unsigned long status = 0;
    bool box = true;  // without a launch: the box, or (false) nothing at all
};
Expected ExpectedFor(Decision road);
std::string RoadName(Decision road);

// Whether a run went as the road says: the box (caption, text, warning icon,
// one button: OK) and no start, or no box and exactly one start, given its
// window state (shown normal), no arguments, in `utilityFolder` (UTF-8), the
// utility's own, and, where `errorModeCounts` (Windows, not Wine), the
// system's default error mode, with the program ended while the utility ran
// on, to its own end; and the exit status. A planted image, a start of the
// current folder's WinPhlash.exe or of any other program, or a process left
// running fails it.
bool AsExpected(const Seen& seen, const Expected& expected, std::string_view utilityFolder,
                bool errorModeCounts = false);

// "box "CAPTION": "TEXT" with the warning icon; exit status N; utility: ...".
std::string Describe(const Seen& seen);
// Only what `now` showed that `road`, the same road's first run, did not;
// "as on the road" when nothing differs.
std::string DescribeAgainst(const Seen& now, const Seen& road);

// The images among `images` that lie under `scratch`, in any of its
// spellings (its long form, and its 8.3 form, in which XP's loader may name
// what it maps), and are not `program` itself. Paths are compared as the
// loader and the file system report them: a "\\?\" prefix dropped, "/" as
// "\", ASCII letters without regard to case.
std::vector<std::wstring> PlantedImages(const std::vector<std::wstring>& images,
                                        const std::vector<std::wstring>& scratch, std::wstring_view program);

}  // namespace kestrel::check
