// Messages as lines on standard error; the flash utility spawned from the
// program's own folder.
#pragma once

#include <string>

#include "../ports.h"

namespace kestrel {

class StderrShell final : public UserShell {
public:
    // `programDir` is the folder the flash utility is looked for in.
    explicit StderrShell(std::string programDir) : programDir_(std::move(programDir)) {}

    // Writes "caption: text" and a line feed; the style has no meaning here.
    bool ShowMessage(std::u16string_view text, int style, std::u16string_view caption) override;
    // Spawns programDir/fileName with no arguments and does not wait. A
    // window state has no meaning here.
    bool Launch(std::u16string_view fileName, int windowState) override;

private:
    std::string programDir_;
};

// The folder of the running program, or an empty text when it cannot be found.
std::string RunningProgramDir();

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);

}  // namespace kestrel
