// Message boxes and the launch of the flash utility, on Windows.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "../elevation.h"
#include "../ports.h"

namespace kestrel {

// Starts the flash utility in `folder`, its working folder: CreateProcessW
// first; ShellExecuteExW, which can ask the user for consent, when the
// utility's manifest asks for rights this program does not have. The
// handles are closed at once, nothing waits.
class WindowsStarter : public ProcessStarter {
public:
    explicit WindowsStarter(std::wstring folder) : folder_(std::move(folder)) {}
    Result Start(std::u16string_view path, int windowState) override;
    bool StartElevated(std::u16string_view path, int windowState) override;

private:
    std::wstring folder_;
};

class MessageShell final : public UserShell {
public:
    // `programDir` is the folder the flash utility is looked for in;
    // `starter` starts it.
    MessageShell(std::wstring programDir, ProcessStarter& starter)
        : programDir_(std::move(programDir)), starter_(starter)
    {
    }

    // MessageBoxW with no owner window, where someone can see it. On a
    // window station nobody sees (a service, a deployment agent's session
    // 0, a station of its own) a box would wait forever: the same box goes,
    // without waiting, to the user of the active console session, if any,
    // and the call returns at once.
    bool ShowMessage(std::u16string_view text, int style, std::u16string_view caption) override;
    // Starts programDir\fileName with the window state as its show-window
    // state.
    bool Launch(std::u16string_view fileName, int windowState) override;

private:
    std::wstring programDir_;
    ProcessStarter& starter_;
};

// What the elevating start hands to ShellExecuteExW: the file, no verb, the
// working folder, the window state, `owner` as the window the consent prompt
// belongs to, a process handle back, no error box of the shell's own, and
// the request finished before the call returns.
SHELLEXECUTEINFOW ElevatedStartInfo(const wchar_t* file, const wchar_t* folder, int windowState, HWND owner);

// The running program's full path, or an empty text when it cannot be found.
std::wstring RunningProgramPath();

// The folder part of a full path (no trailing backslash), or an empty text
// when it has none.
std::wstring FolderOf(const std::wstring& path);

// Whether this process's window station is one that a user sees
// (WSF_VISIBLE). One whose flags cannot be read counts as unseen.
bool WindowStationVisible();

}  // namespace kestrel
