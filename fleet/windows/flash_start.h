// The flash utility's start on Windows, held in the flash's job: the plain
// routine's launch and a fleet run's alike.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "elevation.h"
#include "flash_job.h"

namespace kestrel {

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
    // Only an administrator's run can tell: an administrators' lock that a
    // live process of another flash holds (or another run's start held
    // past its wait). A user's object of the lock's name proves nothing.
    bool FlashRunning() override { return job_ && job_->Take() == FlashLock::FlashRunning; }
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

// What the elevating start hands to ShellExecuteExW: the file, no verb, the
// working folder, the window state, `owner` as the window the consent prompt
// belongs to, a process handle back, no error box of the shell's own, and
// the request finished before the call returns.
SHELLEXECUTEINFOW ElevatedStartInfo(const wchar_t* file, const wchar_t* folder, int windowState, HWND owner);

}  // namespace kestrel
