// A stand-in for the flash utility: records that it started, with the
// show-window state it was given, its working folder and the error mode it
// started with, in launched.txt beside itself, as UTF-8. (Wine gives every
// process the default error mode; on Windows the mode shows whether the
// starter passed its own on.)
#include <windows.h>

#include <string>

namespace {

std::string Utf8(const std::wstring& text)
{
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(std::size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int)
{
    wchar_t self[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 1;
    std::wstring log(self, n);
    const std::size_t slash = log.find_last_of(L'\\');
    if (slash == std::wstring::npos) return 1;
    log = log.substr(0, slash + 1) + L"launched.txt";

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    const UINT errorMode = SetErrorMode(0);
    const std::string record = "started usestartup=" + std::to_string((startup.dwFlags & STARTF_USESHOWWINDOW) ? 1 : 0) +
                               " show=" + std::to_string(startup.wShowWindow) + " args=[" +
                               Utf8(arguments ? arguments : L"") + "] cwd=" + Utf8(folder) +
                               " errormode=" + std::to_string(errorMode) + "\n";
    const HANDLE out = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    const bool ok = WriteFile(out, record.data(), DWORD(record.size()), &written, nullptr) && written == record.size();
    return CloseHandle(out) && ok ? 0 : 1;
}
