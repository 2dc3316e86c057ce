// Message boxes and the launch of the flash utility, on Windows.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "../ports.h"

namespace kestrel {

class MessageShell final : public UserShell {
public:
    // `programDir` is the folder the flash utility is looked for in.
    explicit MessageShell(std::wstring programDir) : programDir_(std::move(programDir)) {}

    // MessageBoxW with no owner window.
    bool ShowMessage(std::u16string_view text, int style, std::u16string_view caption) override;
    // CreateProcessW on programDir\fileName, with the window state as the
    // show-window state; when that fails because the utility needs
    // elevation, ShellExecuteExW on the same path, which asks the user for
    // consent. The handles are closed at once, nothing waits.
    bool Launch(std::u16string_view fileName, int windowState) override;

private:
    std::wstring programDir_;
};

// What the elevating start hands to ShellExecuteExW: the file, no verb, the
// window state, `owner` as the window the consent prompt belongs to, a
// process handle back, no error box of the shell's own, and the request
// finished before the call returns.
SHELLEXECUTEINFOW ElevatedStartInfo(const wchar_t* file, int windowState, HWND owner);

// The folder of the running program (no trailing backslash), or an empty
// text when it cannot be found.
std::wstring RunningProgramDir();

}  // namespace kestrel
