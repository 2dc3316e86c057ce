// The stand-in utility's record of its starts (launched.txt beside it, a
// line each): read apart from any platform.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::check {

// One start of the stand-in, as its record line says:
// "started usestartup=N show=N args=[...] cwd=... errormode=N".
struct Start {
    bool useStartup = false;
    int show = -1;
    std::string args, cwd;
    unsigned long errorMode = 0;
};
std::optional<Start> ParseStart(std::string_view line);
// A record's lines, without their line ends.
std::vector<std::string> RecordLines(std::string_view record);
// Its lines of a start ("started ..."), without the lines of its end.
std::vector<std::string> StartLines(std::string_view record);
// Whether the stand-in ended on its own after the stay its stage gave it:
// it writes "ended" then, and nothing when it was ended from outside.
bool EndedOnItsOwn(std::string_view record);
// Whether the child the stand-in started ended on its own ("child ended").
bool ChildEnded(std::string_view record);

}  // namespace kestrel::check
