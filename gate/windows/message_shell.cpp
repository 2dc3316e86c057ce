#include "message_shell.h"

#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "../elevation.h"
#include "dll_search.h"
#include "wide.h"

namespace kestrel {

namespace {

// Closes a kernel handle when it goes.
class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle()
    {
        if (h_) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

private:
    HANDLE h_;
};

// Frees a loaded DLL when it goes.
class Library {
public:
    explicit Library(HMODULE module) : module_(module) {}
    ~Library()
    {
        if (module_) FreeLibrary(module_);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    HMODULE get() const { return module_; }

private:
    HMODULE module_;
};

}  // namespace

std::wstring RunningProgramDir()
{
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            std::wstring full(path.data(), n);
            const auto slash = full.find_last_of(L"\\/");
            return slash == std::wstring::npos ? std::wstring() : full.substr(0, slash);
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

bool MessageShell::ShowMessage(std::u16string_view text, int style, std::u16string_view caption)
{
    return MessageBoxW(nullptr, Wide(text).c_str(), Wide(caption).c_str(), static_cast<UINT>(style)) != 0;
}

namespace {

// What CreateProcessW answers, from Vista on, for a program whose manifest
// asks for more rights than the caller has (ERROR_ELEVATION_REQUIRED).
constexpr DWORD kElevationRequired = 740;

// CreateProcessW first; ShellExecuteExW, which can ask for consent, when the
// utility's manifest asks for rights this program does not have.
class WindowsStarter final : public ProcessStarter {
public:
    Result Start(std::u16string_view path, int windowState) override
    {
        const std::wstring file = Wide(path);
        std::wstring commandLine = L"\"" + file + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(windowState);
        PROCESS_INFORMATION process = {};
        if (!CreateProcessW(file.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process))
            return GetLastError() == kElevationRequired ? Result::ElevationRequired : Result::Failed;
        const Handle processHandle(process.hProcess);
        const Handle threadHandle(process.hThread);
        return Result::Started;
    }

    bool StartElevated(std::u16string_view path, int windowState) override
    {
        // shell32 brings many DLLs along: loaded only on this road, and from
        // System32 only.
        const Library shell(LoadSystemLibrary(L"shell32.dll"));
        using ShellExecuteExFunction = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);
        const auto shellExecuteEx = ExportOf<ShellExecuteExFunction>(shell.get(), "ShellExecuteExW");
        if (!shellExecuteEx) return false;
        const std::wstring file = Wide(path);
        SHELLEXECUTEINFOW info = {};
        info.cbSize = sizeof info;
        // A handle to close, and no error box of the shell's own: a launch
        // that fails shows nothing.
        info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
        info.lpFile = file.c_str();
        info.nShow = windowState;
        if (!shellExecuteEx(&info)) return false;
        const Handle processHandle(info.hProcess);
        return true;
    }
};

}  // namespace

bool MessageShell::Launch(std::u16string_view fileName, int windowState)
{
    if (programDir_.empty()) return false;
    const std::u16string path = std::u16string(programDir_.begin(), programDir_.end()) + u"\\" + std::u16string(fileName);
    WindowsStarter starter;
    return StartElevatingIfRequired(starter, path, windowState);
}

}  // namespace kestrel
