// Message boxes and the launch of the flash utility, on Windows.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "../elevation.h"
#include "../ports.h"

namespace kestrel {

class FlashJob;

// Starts the flash utility in `folder`, its working folder: CreateProcessW
// first; ShellExecuteExW, which can ask the user for consent, when the
// utility's manifest asks for rights this program does not have. Without
// arguments its command line is its quoted path alone; `arguments` follow
// it as they stand. The handles are closed at once, nothing waits; unless
// `keepProcess`, when the started process's handle is kept for a wait.
// Given a flash job whose lock this run holds (or can take, at the start),
// the utility is started suspended and joins it before it runs.
class WindowsStarter : public ProcessStarter {
public:
    explicit WindowsStarter(std::wstring folder, std::wstring arguments = {}, bool keepProcess = false,
                            FlashJob* job = nullptr)
        : folder_(std::move(folder)), arguments_(std::move(arguments)), keepProcess_(keepProcess), job_(job)
    {
    }
    ~WindowsStarter() override;
    WindowsStarter(const WindowsStarter&) = delete;
    WindowsStarter& operator=(const WindowsStarter&) = delete;
    Result Start(std::u16string_view path, int windowState) override;
    bool StartElevated(std::u16string_view path, int windowState) override;
    // The started process, when kept (null when the shell gave none).
    HANDLE process() const { return process_; }
    // Whether the utility stayed in a job this process is in, as that job
    // allows no breakaway.
    bool keptInAgentJob() const { return keptInAgentJob_; }

private:
    // Keeps `process` when asked to, else closes it.
    void Keep(HANDLE process);

    std::wstring folder_;
    std::wstring arguments_;
    bool keepProcess_;
    FlashJob* job_;
    HANDLE process_ = nullptr;
    bool keptInAgentJob_ = false;
};

class MessageShell final : public UserShell {
public:
    // `programDir` is the folder the flash utility is looked for in;
    // `starter` starts it; `job` is the machine's flash lock, if any.
    MessageShell(std::wstring programDir, ProcessStarter& starter, FlashJob* job = nullptr)
        : programDir_(std::move(programDir)), starter_(starter), job_(job)
    {
    }

    // MessageBoxW with no owner window, where someone can see it (BoxSeen).
    // Anywhere else (a service, a deployment agent's session 0, a station
    // of its own) a box would wait forever: the same box goes, without
    // waiting, to the user of the active console session, if any, and the
    // call returns at once.
    bool ShowMessage(std::u16string_view text, int style, std::u16string_view caption) override;
    // Starts programDir\fileName with the window state as its show-window
    // state.
    bool Launch(std::u16string_view fileName, int windowState) override;
    // Only an administrator's run can tell: an administrators' lock that a
    // live process of another flash holds (or another run's start held
    // past its wait). A user's object of the lock's name proves nothing.
    bool FlashRunning() override;

private:
    std::wstring programDir_;
    ProcessStarter& starter_;
    FlashJob* job_;
};

// What the elevating start hands to ShellExecuteExW: the file, no verb, the
// working folder, the window state, `owner` as the window the consent prompt
// belongs to, a process handle back, no error box of the shell's own, and
// the request finished before the call returns.
SHELLEXECUTEINFOW ElevatedStartInfo(const wchar_t* file, const wchar_t* folder, int windowState, HWND owner);

// The running program's full path, or an empty text when it cannot be found.
std::wstring RunningProgramPath();

// Where this process would show a box: whether its window station is one
// that a user sees, and its session beside the active console's.
struct BoxSeat {
    bool stationVisible = false;  // WSF_VISIBLE; false when unreadable
    bool sessionKnown = false;    // ProcessIdToSessionId answered
    unsigned long processSession = 0;
    unsigned long consoleSession = 0;  // 0xFFFFFFFF: no one at the console
    // This session's connect state (WTSQuerySessionInformationW,
    // WTSConnectState): whether it could be read, and whether it is
    // WTSActive, a user connected and looking at it.
    bool stateKnown = false;
    bool active = false;
};

// Whether a box shown here is seen by someone. The window station must be
// visible, and the session active: a disconnected Remote Desktop session, a
// user switched away from, or XP's session 0 with nobody logged on is not,
// and XP's session 0 taken over by Remote Desktop is. Where the state cannot
// be read, the session must be known and the process not in session 0 while
// the console is another session: from Vista on, session 0 is the services'
// and nobody looks at it ("Services cannot directly interact with a user as
// of Windows Vista", Microsoft, "Interactive Services"), though its WinSta0
// is as visible as any; on XP the console user shares session 0 and sees
// it. Everywhere else the message goes to the console session.
bool BoxSeen(const BoxSeat& seat);

// This process's seat, as the system tells it.
BoxSeat ThisBoxSeat();

}  // namespace kestrel
