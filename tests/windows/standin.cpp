// A stand-in for the flash utility: records that it started, with the
// show-window state it was given, its working folder and the error mode it
// started with, in launched.txt beside itself. (Wine gives every process the
// default error mode; on Windows the mode shows whether the starter passed
// its own on.)
#include <windows.h>

#include <cstdio>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int)
{
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring log(path, n);
    log = log.substr(0, log.find_last_of(L'\\') + 1) + L"launched.txt";

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    const UINT errorMode = SetErrorMode(0);
    FILE* out = _wfopen(log.c_str(), L"a");
    if (!out) return 1;
    std::fprintf(out, "started usestartup=%d show=%d args=[%ls] cwd=%ls errormode=%u\n",
                 (startup.dwFlags & STARTF_USESHOWWINDOW) ? 1 : 0, startup.wShowWindow, arguments ? arguments : L"",
                 folder, errorMode);
    std::fclose(out);
    return 0;
}
