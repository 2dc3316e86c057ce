// What one run of the program under check showed, what its road asks of it,
// and which of the images the loader mapped into it count as planted: the
// release check's decisions, free of any platform.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "update_gate.h"

namespace kestrel::check {

struct Box {
    std::string caption, text;  // UTF-8
    bool warning = false;       // the system's warning icon, as shown
};

struct Seen {
    unsigned long startError = 0;  // set when it could not be started
    bool timedOut = false;
    unsigned long exit = 0;
    std::vector<Box> boxes;
    std::string utility;                // the stand-in's record of its start, UTF-8; empty when none
    std::vector<std::wstring> planted;  // images mapped from the scratch folder
};

// What a road asks of the program.
struct Expected {
    bool launches = false;
    std::string caption, text;
    unsigned long status = 0;
};
Expected ExpectedFor(Decision road);
std::string RoadName(Decision road);

// Whether a run went as the road says: the box (caption, text, warning icon)
// and no start, or no box and a start with a normal window in `utilityFolder`
// (UTF-8), the utility's own; and the exit status. A planted image fails it.
bool AsExpected(const Seen& seen, const Expected& expected, std::string_view utilityFolder);

// "box "CAPTION": "TEXT" with the warning icon; exit status N; utility: ...".
std::string Describe(const Seen& seen);
// Only what `now` showed that `road`, the same road's first run, did not;
// "as on the road" when nothing differs.
std::string DescribeAgainst(const Seen& now, const Seen& road);

// The images among `images` that lie under `scratch` and are not `program`
// itself. Paths are compared as the loader and the file system report them:
// a "\\?\" prefix dropped, "/" as "\", ASCII letters without regard to case.
std::vector<std::wstring> PlantedImages(const std::vector<std::wstring>& images, std::wstring_view scratch,
                                        std::wstring_view program);

}  // namespace kestrel::check
