#include "message_shell.h"

#include <windows.h>

#include <vector>

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

bool MessageShell::Launch(std::u16string_view fileName, int windowState)
{
    if (programDir_.empty()) return false;
    const std::wstring path = programDir_ + L"\\" + Wide(fileName);
    std::wstring commandLine = L"\"" + path + L"\"";

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(windowState);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    const Handle processHandle(process.hProcess);
    const Handle threadHandle(process.hThread);
    return true;
}

}  // namespace kestrel
