// Messages as lines on standard error; the flash utility spawned from the
// program's own folder. Nothing here allocates or throws.
#pragma once

#include <sys/types.h>

#include <climits>
#include <cstddef>

#include "../ports.h"

namespace kestrel {

class StderrShell final : public UserShell {
public:
    // `programDir` is the folder the flash utility is looked for in, and must
    // outlive the shell; null or empty when it is not known, and then
    // nothing is launched.
    explicit StderrShell(const char* programDir) : programDir_(programDir) {}

    // Writes "caption: text" and a line feed; the style has no meaning here.
    // False when the line could not be written whole (standard error closed,
    // or a pipe nobody reads).
    bool ShowMessage(std::u16string_view text, int style, std::u16string_view caption) override;
    // Spawns programDir/fileName with no arguments, in programDir as its
    // working folder, and does not wait. A window state has no meaning here.
    bool Launch(std::u16string_view fileName, int windowState) override;

private:
    const char* programDir_;
};

// The most arguments Spawn passes to the utility.
inline constexpr std::size_t kMostUtilityArguments = 64;

// programDir/fileName into `path`; false when programDir is not an absolute
// path or the whole does not fit.
bool UtilityPath(const char* programDir, std::u16string_view fileName, char (&path)[PATH_MAX]);

// Spawns programDir/fileName in programDir, in a session of its own, with
// `arguments` (a list ended by a null; none when null; at most
// kMostUtilityArguments) after its path, and does not wait; its process id
// into `child` when that is not null. False when it could not be started
// (the kernel refused the file: posix_spawn reports what execve answered).
bool Spawn(const char* programDir, std::u16string_view fileName, const char* const* arguments, pid_t* child);

// The folder of the running program, as an absolute path, into `dir`; false
// when it cannot be known: the program's file has no path in the file system
// (an in-memory file), or the path no longer names it (deleted or replaced).
bool RunningProgramDir(char (&dir)[PATH_MAX]);

// Writing to a pipe whose reader is gone must fail the write, not end the
// program: call once at start.
void IgnoreBrokenPipes();

}  // namespace kestrel
